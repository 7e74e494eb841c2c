#!/usr/bin/env bash
# Bounded memory, measured on an optimised halvex-cli without sanitizers
# (their shadow memory would swamp the figures): files that claim huge images
# in a few bytes must be refused with a peak resident size under 32 MiB, and
# a valid 8000 x 6000 image must convert to the right pixel words.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"

limit_kib=$((32 * 1024))
build=build/release
cmake --preset release >/dev/null || exit 1
cmake --build --preset release -j2 --target halvex-cli hostile_files >/dev/null || exit 1
cli=$build/cli/halvex-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status=0
fail() {
    echo "FAIL: $*"
    status=1
}

# Runs the command under /usr/bin/time; sets peak_kib, seconds and code.
measure() {
    /usr/bin/time -f '%M %e' -o "$work/time" "$@" >"$work/out" 2>"$work/err"
    code=$?
    # A failed command adds a line of its own before the figures.
    read -r peak_kib seconds < <(tail -n 1 "$work/time")
}

"$build/tests/hostile/hostile_files" write "$work" >"$work/list" || exit 1
while IFS=$'\t' read -r name what; do
    rm -f "$work/out.rgn"
    measure "$cli" convert "$work/$name" "$work/out.rgn"
    printf '%-34s %6d KiB %5ss  %s\n' "$name" "$peak_kib" "$seconds" "$what"
    [ "$code" -eq 1 ] || fail "$name: exit status $code, expected 1"
    grep -qF 'Error reading file (not BMP?)' "$work/err" || fail "$name: message: $(cat "$work/err")"
    [ ! -e "$work/out.rgn" ] || fail "$name: a target was written"
    [ "$peak_kib" -lt "$limit_kib" ] || fail "$name: peak $peak_kib KiB, limit $limit_kib KiB"
done <"$work/list"

measure "$cli" convert --dither none --green-compensation off "$work/large.tga" "$work/large.rgn"
printf '%-34s %6d KiB %5ss  %s\n' large.tga "$peak_kib" "$seconds" "valid 8000 x 6000, mode none"
[ "$code" -eq 0 ] || fail "large.tga: exit status $code: $(cat "$work/err")"
"$build/tests/hostile/hostile_files" check-large "$work/large.rgn" || fail "large.tga: wrong pixel words"

measure "$cli" convert "$work/large.tga" "$work/large-fs.rgn"
printf '%-34s %6d KiB %5ss  %s\n' large.tga "$peak_kib" "$seconds" "valid 8000 x 6000, Floyd-Steinberg"
[ "$code" -eq 0 ] || fail "large.tga (Floyd-Steinberg): exit status $code: $(cat "$work/err")"
size=$(stat -c %s "$work/large-fs.rgn" 2>/dev/null || echo 0)
[ "$size" -eq $((48 + 2 * 8000 * 6000)) ] || fail "large.tga (Floyd-Steinberg): $size bytes"

# Small files that claim huge pictures through the general decoder: a PNG
# whose few hundred bytes claim 30000 x 30000 and a GIF and a JPEG header of
# 65535 x 65535 are refused before any pixel is allocated.
python3 - "$work" <<'PY'
import struct, sys, zlib
out = sys.argv[1]
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
row = b"\0" + bytes(30000)
idat = zlib.compress(row * 16, 9)
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 30000, 30000, 8, 0, 0, 0, 0)) \
    + chunk(b"IDAT", idat) + chunk(b"IEND", b"")
open(f"{out}/claim.png", "wb").write(png)
gif = b"GIF89a" + struct.pack("<HH", 65535, 65535) + b"\0\0\0" + b"\x2c" + struct.pack("<HHHH", 0, 0, 65535, 65535) + b"\0\x02\x02\x4c\x01\0\x3b"
open(f"{out}/claim.gif", "wb").write(gif)
sof = b"\xff\xc0" + struct.pack(">HBHHB", 17, 8, 65535, 65535, 3) + b"\x01\x11\x00\x02\x11\x01\x03\x11\x01"
open(f"{out}/claim.jpg", "wb").write(b"\xff\xd8" + sof + b"\xff\xd9")
PY
for name in claim.png claim.gif claim.jpg; do
    rm -f "$work/out.rgn"
    measure "$cli" convert "$work/$name" "$work/out.rgn"
    printf '%-34s %6d KiB %5ss  %s\n' "$name" "$peak_kib" "$seconds" "a few bytes claiming a huge picture"
    [ "$code" -eq 1 ] || fail "$name: exit status $code, expected 1"
    grep -qF 'more pixels than the limit' "$work/err" || fail "$name: message: $(cat "$work/err")"
    [ "$peak_kib" -lt "$limit_kib" ] || fail "$name: peak $peak_kib KiB, limit $limit_kib KiB"
done
measure "$cli" convert --max-pixels 900000000 "$work/claim.png" "$work/out.rgn"
printf '%-34s %6d KiB %5ss  %s\n' claim.png "$peak_kib" "$seconds" "the same with the limit raised: its data is cut short"
[ "$code" -eq 1 ] || fail "claim.png with the limit raised: exit status $code, expected 1"

# Bombs for the decoders of record: each is refused with a peak resident
# size within twice its decoded picture (RGBA) plus 64 MiB. A 1 x 1 PNG whose
# image data inflates to 1 GiB; a progressive JPEG of 2080 scans; a GIF and
# a WebP of a few bytes claiming a huge canvas. Then a valid 18000 x 18000
# PNG, beyond the default limit, is read once the limit is raised.
python3 - "$work" <<'PY'
import struct, sys, zlib
out = sys.argv[1]
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
def png(width, height, colour_type, rows):
    head = struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", head) + chunk(b"IDAT", rows) + chunk(b"IEND", b"")
inflater = zlib.compressobj(9)
zeros = bytes(1 << 20)
idat = inflater.compress(b"\0" * 4) + b"".join(inflater.compress(zeros) for _ in range(1024))
open(f"{out}/bomb.png", "wb").write(png(1, 1, 2, idat + inflater.flush()))
vp8x = b"VP8X" + struct.pack("<I", 10) + b"\0\0\0\0" + (16383).to_bytes(3, "little") * 2
open(f"{out}/claim.webp", "wb").write(b"RIFF" + struct.pack("<I", 4 + len(vp8x)) + b"WEBP" + vp8x)
gif = b"GIF89a" + struct.pack("<HH", 20000, 20000) + b"\x80\0\0" + bytes(6) \
    + b"\x2c" + struct.pack("<HHHH", 0, 0, 20000, 20000) + b"\0\x02\x02\x4c\x01\0\x3b"
open(f"{out}/canvas.gif", "wb").write(gif)
squeezer = zlib.compressobj(6)
row = b"\0" + bytes(range(256)) * 70 + bytes(18000 - 256 * 70)
big = b"".join(squeezer.compress(row) for _ in range(18000)) + squeezer.flush()
open(f"{out}/large.png", "wb").write(png(18000, 18000, 0, big))
PY
cp tests/decode/fixtures/scans-2080.jpg "$work/scans.jpg"
bound_kib() { # pixels of the decoded picture
    echo $(((2 * 4 * $1) / 1024 + 64 * 1024))
}
while IFS=: read -r name pixels limit expected what; do
    rm -f "$work/out.rgn"
    measure "$cli" convert --max-pixels "$limit" "$work/$name" "$work/out.rgn"
    printf '%-34s %6d KiB %5ss  %s\n' "$name" "$peak_kib" "$seconds" "$what"
    [ "$code" -eq 1 ] || fail "$name: exit status $code, expected 1"
    grep -qF "$expected" "$work/err" || fail "$name: message: $(cat "$work/err")"
    [ ! -e "$work/out.rgn" ] || fail "$name: a target was written"
    [ "$peak_kib" -lt "$(bound_kib "$pixels")" ] || fail "$name: peak $peak_kib KiB"
done <<'LIST'
bomb.png:1:100000000:the picture data is damaged:1 x 1 PNG whose image data inflates to 1 GiB
scans.jpg:64:100000000:more than 500 scans:progressive JPEG of 2080 scans
claim.webp:268402689:100000000:more pixels than the limit:WebP header claiming 16384 x 16384
canvas.gif:400000000:100000000:more pixels than the limit:GIF screen and frame of 20000 x 20000
canvas.gif:400000000:400000000:the file ends before:the same with the limit raised: cut short
LIST
measure "$cli" convert --dither none --max-pixels 324000000 "$work/large.png" "$work/large-png.rgn"
printf '%-34s %6d KiB %5ss  %s\n' large.png "$peak_kib" "$seconds" "valid 18000 x 18000 PNG, limit raised"
[ "$code" -eq 0 ] || fail "large.png: exit status $code: $(cat "$work/err")"
[ "$peak_kib" -lt "$(bound_kib 324000000)" ] || fail "large.png: peak $peak_kib KiB"
rm -f "$work/large-png.rgn"

[ "$status" -eq 0 ] && echo "memory bounds hold"
exit $status
