#!/usr/bin/env bash
# Builds the seed corpora of both harnesses from the shared image corpus
# beside the project (when it is there) and from the unit tests' image
# builders: make-seeds.sh FUZZ_BUILD_DIR
# Each seed is a file's bytes behind the harness's control bytes: four zero
# bytes for fuzz_load (image at offset 0, nothing cut), one byte for
# fuzz_convert that cycles through the modes and compensation, two bytes for
# fuzz_picture that cycle through the decoders, fits, filters and sizes.
# fuzz_picture also starts from the PNG files of the corpus, the files in
# fuzz/seeds and the decoders' test files (tests/decode/fixtures: JPEG
# baseline, progressive, arithmetic, CMYK and of many scans, GIF still,
# interlaced and animated, WebP lossy, lossless, with alpha and animated).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1
corpus=${HALVEX_CORPUS:-$here/../../shared/corpus}
raw=$build/seeds/raw
rm -rf "$build/seeds"
mkdir -p "$raw" "$build/seeds/load" "$build/seeds/convert" "$build/seeds/picture"
"$build/fuzz/fuzz_seed_builder" "$raw" >/dev/null
if [ -d "$corpus" ]; then
    while IFS= read -r -d '' file; do
        rel=${file#"$corpus"/}
        cp "$file" "$raw/corpus-${rel//\//-}"
    done < <(find "$corpus" -type f \( -iname '*.bmp' -o -iname '*.tga' \) -print0 | sort -z)
    while IFS= read -r -d '' file; do
        rel=${file#"$corpus"/}
        cp "$file" "$raw/general-corpus-${rel//\//-}"
    done < <(find "$corpus" -type f -iname '*.png' -print0 | sort -z)
else
    echo "make-seeds: no image corpus at $corpus; using the built seeds only" >&2
fi
for file in "$here"/seeds/* "$here"/../tests/decode/fixtures/*.{jpg,gif,webp}; do
    cp "$file" "$raw/general-$(basename "$file")"
done
# Regression inputs already carry their control bytes.
for harness in load convert picture; do
    if [ -d "$here/regressions/$harness" ]; then
        cp "$here/regressions/$harness"/* "$build/seeds/$harness/" 2>/dev/null || true
    fi
done
n=0
for file in "$raw"/*; do
    name=$(basename "$file")
    { printf "\\$(printf '%03o' $(((n * 37) % 256)))\\$(printf '%03o' $(((n * 11) % 256)))"; cat "$file"; } \
        >"$build/seeds/picture/$name"
    case $name in general-*) n=$((n + 1)); continue ;; esac
    { printf '\0\0\0\0'; cat "$file"; } >"$build/seeds/load/$name"
    { printf "\\$(printf '%03o' $((n % 8)))"; cat "$file"; } >"$build/seeds/convert/$name"
    n=$((n + 1))
done
echo "make-seeds: $n seed files"
