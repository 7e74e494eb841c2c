#!/usr/bin/env bash
# Short, deterministic fuzzing: each libFuzzer harness runs a fixed number of
# inputs from a fixed seed, starting from the seed corpus (the shared image
# corpus when it is beside the project, and the built seeds), after replaying
# every regression input in fuzz/regressions. Longer runs: scripts/fuzz.
set -uo pipefail
shopt -s nullglob
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"

cmake --preset fuzz >/dev/null || exit 1
cmake --build --preset fuzz -j2 --target fuzz_load fuzz_convert fuzz_picture fuzz_seed_builder >/dev/null || exit 1
bash fuzz/make-seeds.sh build/fuzz || exit 1

status=0
for plan in load:200000 convert:6000 picture:30000; do
    harness=${plan%%:*}
    runs=${plan#*:}
    binary=build/fuzz/fuzz/fuzz_$harness
    scratch=$(mktemp -d)
    regressions=(fuzz/regressions/"$harness"/*)
    if [ ${#regressions[@]} -gt 0 ]; then
        if ! "$binary" "${regressions[@]}" >"$scratch/replay.log" 2>&1; then
            echo "fuzz $harness: a regression input fails again"
            tail -n 30 "$scratch/replay.log"
            status=1
        fi
    fi
    if "$binary" -runs="$runs" -seed=1 -max_len=65536 -timeout=10 -rss_limit_mb=1024 \
        -dict=fuzz/halvex.dict -artifact_prefix="$scratch/" -print_final_stats=1 \
        "$scratch" build/fuzz/seeds/"$harness" >"$scratch/run.log" 2>&1; then
        summary=$(grep -E '^#[0-9]+.*DONE' "$scratch/run.log" | tail -n 1)
        echo "fuzz $harness: ${#regressions[@]} regression input(s) replayed, $runs runs: ${summary#*DONE }"
    else
        echo "fuzz $harness: failed; the input is kept in fuzz/regressions/$harness/ once fixed"
        grep -E 'ERROR|runtime error|invariant|SUMMARY' "$scratch/run.log" | head -n 20
        mkdir -p build/fuzz/artifacts
        for crash in "$scratch"/crash-* "$scratch"/leak-* "$scratch"/timeout-* "$scratch"/oom-*; do
            cp "$crash" build/fuzz/artifacts/
            echo "  input: build/fuzz/artifacts/$(basename "$crash")"
        done
        status=1
    fi
    rm -rf "$scratch"
done
exit $status
