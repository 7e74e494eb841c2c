#!/usr/bin/env bash
# Static analysis of the project's own code (image/, convert/, ui/, cli/; not
# the tests, the Windows-only sources or third-party headers): clang-tidy with
# the checks in .clang-tidy, then cppcheck. Any finding fails the suite. A
# suppression goes next to the code, with a one-line reason.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"

build=build/static
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DHALVEX_TESTS=OFF >/dev/null || exit 1

sources=()
for folder in image convert ui cli; do
    for file in "$folder"/*.cpp; do
        [ -e "$file" ] && sources+=("$file")
    done
done

status=0
report=$(mktemp)
trap 'rm -f "$report"' EXIT
printf '%s\n' "${sources[@]}" |
    xargs -P 2 -n 2 clang-tidy -p "$build" --quiet >"$report" 2>/dev/null
if grep -qE ': (warning|error):' "$report"; then
    echo "clang-tidy findings:"
    grep -E ': (warning|error):' "$report" | sed "s|$root/||" | sort -u
    status=1
else
    echo "clang-tidy: ${#sources[@]} files, no findings"
fi

if cppcheck --std=c++17 --language=c++ -I . --enable=warning,style,performance,portability \
    --inline-suppr --suppress=missingIncludeSystem --error-exitcode=1 -q -i ui/win32 \
    image convert ui cli; then
    echo "cppcheck: no findings"
else
    status=1
fi
exit $status
