#!/usr/bin/env bash
# The Linux build and the 32-bit Windows build (under Wine) must read every
# file to the same result: each corpus file, the sample and a few hostile
# headers go through `decode` and through `convert` in all three modes on
# both, and the exit statuses, messages and output bytes are compared. The
# same holds for the general decoder (the PNG files of the corpus, and JPEG
# and GIF files made here), for the standard BMP and TGA reader, and for
# transparency, orientation and resizing (whose floating point must round
# alike on both).
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
corpus="$root/../shared/corpus"
linux_cli="$root/build/asan/cli/halvex-cli"
windows_cli="$root/build/win32/cli/halvex-cli.exe"

mkdir -p build
. scripts/lib/libraries.sh
build_libraries win32 || { echo "parity: building the decoder libraries failed"; exit 1; }
if ! { cmake --preset win32 && cmake --build --preset win32 -j2 --target halvex-cli; } \
    >build/parity-build.log 2>&1; then
    tail -n 40 build/parity-build.log
    echo "parity: the win32 build failed"
    exit 1
fi
[ -x "$linux_cli" ] || { echo "parity: $linux_cli is missing (the unit-test build makes it)"; exit 1; }

work=$(mktemp -d)
. scripts/lib/wine.sh
trap 'wine_stop; rm -rf "$work"' EXIT
wine_use_prefix "$root/build/wine-parity-prefix"

files=("$root/samples/sample.bmp")
if [ -d "$corpus" ]; then
    while IFS= read -r -d '' f; do files+=("$f"); done < <(find "$corpus" -type f \( -name '*.bmp' -o -name '*.tga' \) -print0 | sort -z)
else
    echo "parity: no corpus beside the project; checking the sample and the hostile headers only"
fi
python3 - "$work" <<'PY'
import struct, sys
out = sys.argv[1]
def bmp(w, h, bits, extra=b""):
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, 0, 0, 0, 0, 0, 0)
    return b"BM" + struct.pack("<IHHI", 0, 0, 0, 54 + len(extra)) + info + extra
def tga(kind, w, h):
    return bytes([0, 0, kind]) + bytes(9) + struct.pack("<HH", w, h) + bytes([24, 0]) + bytes(30) \
        + bytes(8) + b"TRUEVISION-XFILE.\0"
files = {
    "huge.bmp": bmp(30000, 30000, 24, bytes(100)),
    "past-2g.bmp": bmp(46341, 15447, 24),
    "negative-offset.bmp": bytearray(bmp(2, 1, 24, bytes(8))),
    "huge-raw.tga": tga(2, 65535, 65535),
    "huge-rle.tga": tga(10, 65535, 65535),
    "empty.bmp": b"",
}
files["negative-offset.bmp"][10:14] = b"\0\0\0\x80"
for name, data in files.items():
    open(f"{out}/{name}", "wb").write(bytes(data))
PY
for f in "$work"/*.bmp "$work"/*.tga; do [ -e "$f" ] && files+=("$f"); done

checked=0
differ=0
# The output file of each side; OUTDIR at the start of an argument is a
# folder of each side's own (there, empty, before each run), compared whole.
linux_out=$work/linux.out
windows_out=$work/windows.out
# The output files agree, or neither side wrote one (a command whose output
# is standard output or a folder).
same_output_file() {
    { [ ! -e "$linux_out" ] && [ ! -e "$windows_out" ]; } || cmp -s "$linux_out" "$windows_out"
}
run_both() { # label, then the command's arguments with OUT for the output file
    local label=$1 linux_status windows_status
    shift
    local linux_args=("${@/#OUTDIR/$work/linux.dir}") windows_args=("${@/#OUTDIR/$work/windows.dir}")
    mkdir -p "$work/linux.dir" "$work/windows.dir"
    linux_args=("${linux_args[@]/OUT/$linux_out}")
    windows_args=("${windows_args[@]/OUT/$windows_out}")
    "$linux_cli" "${linux_args[@]}" >"$work/linux.stdout" 2>"$work/linux.err"
    linux_status=$?
    wine "$windows_cli" "${windows_args[@]}" >"$work/windows.stdout" 2>"$work/windows.err"
    windows_status=$?
    tr -d '\r' <"$work/windows.err" >"$work/windows.msg"
    tr -d '\r' <"$work/windows.stdout" >"$work/windows.text"
    checked=$((checked + 1))
    if [ "$linux_status" != "$windows_status" ] || ! cmp -s "$work/linux.err" "$work/windows.msg" ||
        ! cmp -s "$work/linux.stdout" "$work/windows.text" ||
        { [ "$linux_status" = 0 ] && { ! same_output_file ||
            ! diff -r "$work/linux.dir" "$work/windows.dir" >/dev/null 2>&1; }; }; then
        echo "DIFFERS: $label (status $linux_status / $windows_status)"
        differ=$((differ + 1))
    fi
    rm -rf "$linux_out" "$windows_out" "$work/linux.dir" "$work/windows.dir"
}

# Pictures for the general decoder: photographs of odd sizes in the JPEG
# flavours, GIF with transparency, a PNG with alpha; the fuzz seeds (a PNG
# and a JPEG with a wide-gamut colour profile among them).
general=("$root"/fuzz/seeds/*)
# Every format's fixtures: JPEG baseline, progressive and arithmetic, GIF,
# WebP lossy, lossless and animated, and the refusals (too many scans).
for f in "$root"/tests/decode/fixtures/*; do
    case "$f" in *.png | *.jpg | *.gif | *.webp) general+=("$f") ;; esac
done
if command -v convert >/dev/null; then
    convert -size 333x211 plasma:fractal -seed 7 -quality 90 "$work/photo.jpg"
    convert -size 257x129 plasma:fractal -interlace JPEG -quality 60 "$work/progressive.jpg"
    convert -size 97x61 gradient:red-blue -colorspace Gray "$work/grey.jpg"
    convert -size 120x80 plasma:fractal -alpha set -channel A -fx 'i/w' "$work/alpha.png"
    convert -size 64x48 plasma:fractal -colors 32 -transparent "$(convert -size 64x48 plasma:fractal -colors 32 -format '%[pixel:p{0,0}]' info:)" "$work/anim.gif"
    general+=("$work"/photo.jpg "$work"/progressive.jpg "$work"/grey.jpg "$work"/alpha.png "$work"/anim.gif)
else
    echo "parity: no ImageMagick; JPEG and GIF checked on the fuzz seeds only"
fi
if [ -d "$corpus/png" ]; then
    while IFS= read -r -d '' f; do general+=("$f"); done < <(find "$corpus/png" -type f -name '*.png' -print0 | sort -z)
fi

for f in "${files[@]}"; do
    name=${f#"$root/"}
    name=${name#"$corpus/"}
    run_both "decode $name" decode "$f" OUT
    if [ -s "$work/linux.err" ]; then
        continue # refused on both: the conversions would only repeat the message
    fi
    for mode in none floyd-steinberg atkinson-boyle; do
        run_both "convert $mode $name" convert --dither "$mode" "$f" OUT
    done
done
# The command line's own modes, raw words and C text, and compare (its
# table, JSON and sheet) on the sample and the corpus's larger pictures.
for f in "$root/samples/sample.bmp" "${files[@]:1:12}"; do
    name=${f#"$root/"}
    name=${name#"$corpus/"}
    for mode in ordered "floyd-steinberg --serpentine" "atkinson-boyle --serpentine"; do
        # shellcheck disable=SC2086 # a mode and its flag are two words
        run_both "convert $mode $name" convert --dither $mode "$f" OUT
    done
    run_both "convert raw big-endian $name" convert --format raw --byte-order big "$f" OUT
    # C text to standard output, where both builds name the file alike.
    run_both "convert C text $name" convert --format c --dither atkinson-boyle "$f" -
    run_both "compare $name" compare "$f" --sheet OUT
    run_both "compare --json $name" compare "$f" --json --green-compensation off --sheet OUT --zoom 1
done
# The standard reader on every BMP and TGA file.
for f in "${files[@]}"; do
    name=${f#"$root/"}
    run_both "decode --decoder standard ${name#"$corpus/"}" decode --decoder standard "$f" OUT
done

# The general decoder: every file decoded, and converted once.
for f in "${general[@]}"; do
    name=${f#"$root/"}
    name=${name#"$corpus/"}
    run_both "decode $name" decode "$f" OUT
    [ -s "$work/linux.err" ] || run_both "convert $name" convert "$f" OUT
done

# Transparency, orientation and resizing: every fit and filter, shrinking
# and enlarging, one side left out, odd frames.
for f in "$work/photo.jpg" "$work/alpha.png" "$root/fuzz/seeds/exif-rotated.jpg" "$root/samples/sample.bmp"; do
    [ -e "$f" ] || continue
    name=$(basename "$f")
    for size in 100x100 41x x17 640x480 1x1 500x3; do
        for fit in contain cover stretch; do
            run_both "decode --resize $size --fit $fit $name" decode --resize "$size" --fit "$fit" \
                --background 3c91e6 "$f" OUT
        done
    done
    for filter in mitchell catmull-rom triangle box nearest; do
        run_both "convert --resize 77x55 --filter $filter $name" convert --resize 77x55 \
            --filter "$filter" --background '#ffffff' "$f" OUT
    done
done

# Names outside any ANSI code page (Cyrillic, CJK, accented) and a folder
# deeper than the old limit of 260 characters: read, written beside the
# input with a preview, converted in a batch into such a folder, previewed,
# and named in a message. The folder the batch creates is compared whole.
long="$work/names/$(printf 'folder-%02d-abcdefghijklmnopqrstuvwxyz-0123456789/' 1 2 3 4 5 6)"
mkdir -p "$long"
cp "$root/samples/sample.bmp" "$work/names/фото.bmp"
cp "$root/samples/sample.bmp" "$work/names/写真.bmp"
cp "$root/samples/sample.bmp" "$long/café.bmp"
[ -e "$work/alpha.png" ] && cp "$work/alpha.png" "$long/фото.png"
[ "${#long}" -gt 260 ] || { echo "DIFFERS: the long folder is only ${#long} characters"; differ=1; }
for f in "$work/names/фото.bmp" "$work/names/写真.bmp" "$long/café.bmp" "$long"/*.png; do
    [ -e "$f" ] || continue
    name=$(basename "$f")
    linux_out="${f%.*}-linux.rgn" windows_out="${f%.*}-windows.rgn"
    run_both "convert --preview with names: $name" convert "$f" OUT --preview "OUTDIR/$name.bmp"
done
linux_out="$long/написано-linux.bmp" windows_out="$long/написано-windows.bmp"
"$linux_cli" convert "$work/names/写真.bmp" "$long/写真.rgn" >/dev/null 2>&1
run_both "preview with names" preview "$long/写真.rgn" OUT
linux_out=$work/linux.out windows_out=$work/windows.out
run_both "batch with names" convert "$work/names/фото.bmp" "$work/names/写真.bmp" "$long/café.bmp" \
    --output-dir "OUTDIR/$(basename "$long")/вывод/結果"
run_both "missing file with names" convert "$long/нет-写真.bmp" OUT

# Both programs carry the manifest and the version record.
if ! python3 - "$windows_cli" <<'PY'; then
import sys
exe = open(sys.argv[1], "rb").read()
wanted = [b">UTF-8</activeCodePage>", b">true</longPathAware>", b"asInvoker",
          b"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", b"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
          "OriginalFilename".encode("utf-16-le"), "halvex-cli.exe".encode("utf-16-le"),
          b"\xbd\x04\xef\xfe"]  # the fixed version record's signature
sys.exit(0 if all(w in exe for w in wanted) else 1)
PY
    echo "DIFFERS: halvex-cli.exe lacks its manifest or version record"
    differ=$((differ + 1))
fi

echo "parity: $checked runs compared, $differ differ"
[ "$differ" -eq 0 ]
