#!/usr/bin/env bash
# End-to-end checks of halvex-cli decode and convert: outputs by checksum on
# the bundled sample, and the messages and exit statuses of every failure.
. "$(dirname "$0")/check_lib.sh" "$@"

"$cli" decode "$samples/sample.bmp" "$work/s.ppm"
check "decode sample" 0 $?
expect_sha "decoded sample" "$work/s.ppm" a7cc22ad8c2ea8e291d1e201acf9dff2184e6450c5612ef1b7c2ee10672ed698

# Checksums derived with tests/reference/reference_rgn.py, an independent model of the
# conversion, from the decoded sample above.
while read -r dither comp sha; do
    "$cli" convert --dither "$dither" --green-compensation "$comp" "$samples/sample.bmp" "$work/o.rgn"
    check "convert $dither $comp" 0 $?
    expect_sha "convert $dither $comp" "$work/o.rgn" "$sha"
done <<'TABLE'
none off e17d2784a16fdc738b7371b70dff277e0b1ea47b99b954f876dcfa68d2774b9b
none on e84247cb846e1f18063c60fa03bb57c791a2806122899f6e938a68967e279568
floyd-steinberg off 0859a96d1401b0ee6dab416f1997077929c3dda8871ad5c3eeebc74d9210a831
floyd-steinberg on 5bbeb1f7a1e39e261fa624f9f3373670cf7db31cde5928fd92c3cbe3bb34b666
atkinson-boyle off eee224084a2ff46acf800333cb0a65a3ad141b7e2d15759f9b4ffc15b0b3fa3e
atkinson-boyle on a241d988135c80508fcda8c1d66bb313fddc42b1f4aa0dcb46898ce6e54f12df
TABLE

"$cli" convert "$samples/sample.bmp" "$work/default.rgn"
"$cli" convert --dither fs --green-compensation on "$samples/sample.bmp" "$work/explicit.rgn"
cmp -s "$work/default.rgn" "$work/explicit.rgn"
check "defaults are Floyd-Steinberg with compensation" 0 $?

for command in decode convert; do
    "$cli" $command "$work/missing.bmp" "$work/out" 2>"$work/err"
    check "$command missing input" 1 $?
    expect_text "$command missing input" "$work/err" "Error opening file"
    expect_true "$command creates no output for a missing input" test ! -e "$work/out"

    head -c 300 /dev/urandom >"$work/garbage.bmp"
    echo keep >"$work/existing"
    "$cli" $command "$work/garbage.bmp" "$work/existing" 2>"$work/err"
    check "$command garbage" 1 $?
    expect_text "$command garbage" "$work/err" "Error reading file (not BMP?)"
    expect_true "$command leaves the output alone" test "$(cat "$work/existing")" = keep

    "$cli" $command "$samples/sample.bmp" "$work/no/such/dir/out" 2>"$work/err"
    check "$command unwritable target" 1 $?
    expect_text "$command unwritable target" "$work/err" "$work/no/such/dir/out"
    expect_text "$command unwritable target" "$work/err" "No such file or directory"

    "$cli" $command "$samples/sample.bmp" /dev/full 2>"$work/err"
    check "$command full device" 1 $?
    expect_text "$command full device" "$work/err" "No space left on device"
    expect_true "/dev/full survives" test -c /dev/full

    "$cli" $command "$samples/sample.bmp" 2>/dev/null
    check "$command without output" 2 $?
done

# A JPEG is converted while it is decoded. One that turns out cut short
# leaves the target as it was and writes nothing to standard output, and its
# own failure comes before a full device's; a whole one gives the bytes of
# the same file read from standard input, which is decoded before it is
# converted.
fixtures=$samples/../tests/decode/fixtures
head -c 1500 "$fixtures/baseline.jpg" >"$work/cut.jpg"
echo keep >"$work/existing"
for target in "$work/existing" - /dev/full; do
    "$cli" convert "$work/cut.jpg" "$target" >"$work/out" 2>"$work/err"
    check "cut JPEG into $target" 1 $?
    expect_text "cut JPEG into $target" "$work/err" "the file ends before the picture does"
    expect_true "cut JPEG into $target: no write error" test "$(grep -c 'Error writing' "$work/err")" = 0
done
expect_true "a cut JPEG leaves the output alone" test "$(cat "$work/existing")" = keep
expect_true "a cut JPEG writes nothing to standard output" test ! -s "$work/out"
"$cli" convert "$fixtures/progressive.jpg" "$work/by-rows.rgn"
"$cli" convert - "$work/whole.rgn" <"$fixtures/progressive.jpg"
same_files "a JPEG by rows and whole" "$work/by-rows.rgn" "$work/whole.rgn"

# A named pipe nobody reads is refused at once rather than waited on.
mkfifo "$work/pipe"
for command in decode convert; do
    timeout 20 "$cli" $command "$samples/sample.bmp" "$work/pipe" 2>"$work/err"
    check "$command into a pipe without a reader" 1 $?
    expect_text "$command into a pipe without a reader" "$work/err" "$work/pipe"
    expect_true "$command leaves the pipe" test -p "$work/pipe"
done
timeout 20 "$cli" convert --preview "$work/pipe" "$samples/sample.bmp" "$work/p.rgn" 2>"$work/err"
check "preview into a pipe without a reader" 1 $?

# No command writes over one of its own inputs, whatever name reaches it.
cp "$samples/sample.bmp" "$work/self.bmp"
ln -s self.bmp "$work/self-link.bmp"
ln "$work/self.bmp" "$work/self-hard.bmp"
"$cli" convert "$samples/sample.bmp" "$work/self.rgn"
cp "$work/self.rgn" "$work/self-kept.rgn"
cp "$samples/sample.bmp" "$work/bmp-named.rgn"
mkdir "$work/sub"
while read -r description input output message; do
    before=$(sha256sum "$work/$input" | cut -d' ' -f1)
    # shellcheck disable=SC2086
    (cd "$work" && "$cli" $description $input $output) 2>"$work/err"
    check "$description onto itself ($output)" 1 $?
    expect_text "$description onto itself ($output)" "$work/err" "$message"
    expect_sha "$description leaves $input" "$work/$input" "$before"
done <<'TABLE'
decode self.bmp ./self.bmp it is the input file
convert self.bmp ./self.bmp it is the input file
convert self.bmp self-link.bmp it is the input file
convert self.bmp self-hard.bmp it is the input file
convert bmp-named.rgn bmp-named.rgn it is the input file
preview self.rgn self.rgn it is the input file
preview self.rgn sub/../self.rgn it is the input file
TABLE
for preview in self.bmp self.rgn new.rgn; do
    rm -f "$work/new.rgn"
    output=$([ "$preview" = self.bmp ] && echo out.rgn || echo self.rgn)
    [ "$preview" = new.rgn ] && output=./new.rgn
    (cd "$work" && "$cli" convert self.bmp "$output" --preview "$preview") 2>"$work/err"
    check "--preview $preview with OUTPUT $output" 1 $?
    expect_text "--preview $preview" "$work/err" "Error writing $preview: it is the"
    same_files "--preview $preview leaves the input" "$samples/sample.bmp" "$work/self.bmp"
    same_files "--preview $preview leaves the RGN" "$work/self-kept.rgn" "$work/self.rgn"
    expect_true "--preview $preview writes nothing new" test ! -e "$work/new.rgn"
done

# A symbolic link as target: the file it points to is replaced, the link
# stays a link, and the file keeps its permission bits.
echo old >"$work/pointed.rgn"
chmod 640 "$work/pointed.rgn"
ln -s pointed.rgn "$work/link.rgn"
"$cli" convert "$samples/sample.bmp" "$work/link.rgn"
check "convert onto a link" 0 $?
expect_true "the link stays a link" test -L "$work/link.rgn"
same_files "the file behind the link is replaced" "$work/pointed.rgn" "$work/self.rgn"
expect_true "permission bits kept" test "$(stat -c %a "$work/pointed.rgn")" = 640
ln -s nowhere.rgn "$work/dangling.rgn"
"$cli" convert "$samples/sample.bmp" "$work/dangling.rgn"
check "convert onto a dangling link" 0 $?
same_files "a dangling link's file is created" "$work/nowhere.rgn" "$work/self.rgn"

# Standard output and devices are written in place; - is standard output.
# The large picture overfills a pipe's buffer, so a closed reader is noticed.
python3 -c 'import struct, sys
w, h = 600, 400
pixels = (bytes(range(256)) * 3000)[:w * h * 3]
sys.stdout.buffer.write(b"BM" + struct.pack("<IHHIIiiHHIIiiII", 54 + len(pixels), 0, 0, 54, 40,
                                            w, h, 1, 24, 0, len(pixels), 0, 0, 0, 0) + pixels)' \
    >"$work/large.bmp"
for command in decode convert; do
    "$cli" $command "$samples/sample.bmp" "$work/$command.file"
    "$cli" $command "$samples/sample.bmp" - >"$work/$command.stdout"
    check "$command to -" 0 $?
    same_files "$command to - writes the same bytes" "$work/$command.file" "$work/$command.stdout"
    "$cli" $command "$samples/sample.bmp" /dev/null
    check "$command to /dev/null" 0 $?
    "$cli" $command "$work/large.bmp" - 2>"$work/err" | head -c 10 >/dev/null
    check "$command into a closed pipe" 1 "${PIPESTATUS[0]}"
    expect_text "$command into a closed pipe" "$work/err" "Error writing standard output: Broken pipe"
    "$cli" $command "$samples/sample.bmp" - >/dev/full 2>"$work/err"
    check "$command to a full standard output" 1 $?
    expect_text "$command to a full standard output" "$work/err" \
        "Error writing standard output: No space left on device"
done
"$cli" convert "$work/large.bmp" /dev/stdout 2>"$work/err" | head -c 10 >/dev/null
check "/dev/stdout into a closed pipe" 1 "${PIPESTATUS[0]}"
expect_text "/dev/stdout into a closed pipe" "$work/err" "Error writing /dev/stdout: Broken pipe"
"$cli" convert "$samples/sample.bmp" /dev/stdout >"$work/via-dev-stdout.rgn"
check "/dev/stdout redirected to a file" 0 $?
same_files "/dev/stdout redirected to a file" "$work/via-dev-stdout.rgn" "$work/convert.file"
"$cli" convert "$samples/sample.bmp" "$work/fifo.rgn" --preview - >"$work/preview.stdout"
check "--preview to -" 0 $?
"$cli" preview "$work/fifo.rgn" "$work/preview.bmp"
same_files "--preview to - writes the preview" "$work/preview.bmp" "$work/preview.stdout"
mkfifo "$work/reader-pipe"
cat "$work/reader-pipe" >"$work/from-pipe" &
reader=$!
# A pipe without a reader is refused at once, and the reader may not have
# opened it yet: try again until it has.
status=1
for ((try = 0; try < 100 && status != 0; try++)); do
    [ $try -eq 0 ] || sleep 0.05
    "$cli" convert "$samples/sample.bmp" "$work/reader-pipe" 2>"$work/err"
    status=$?
done
check "convert into a pipe with a reader" 0 $status
[ $status -eq 0 ] || kill $reader
wait
same_files "convert into a pipe" "$work/from-pipe" "$work/self.rgn"
"$cli" info "$work/self.rgn" >/dev/full 2>"$work/err"
check "info to a full standard output" 1 $?
expect_text "info to a full standard output" "$work/err" "Error writing standard output"
checks=$((checks + 1))
leftovers=$(find "$work" -name '.*.tmp*')
[ -z "$leftovers" ] || fail "temporary files left: $leftovers"

# --- raw words and C text ---------------------------------------------
# The same words as the RGN file in other wrappings; the C text compiled
# warning-free as C and C++ into programs that print the array's memory.
sample=$samples/sample.bmp
"$cli" convert --dither atkinson-boyle "$sample" "$work/w.rgn"
tail -c +49 "$work/w.rgn" >"$work/little"
dd if="$work/little" of="$work/big" conv=swab status=none
for case in "w.raw little" "w.BIN little" "big.raw big --byte-order big" \
    "f.dat little --format raw"; do
    read -r name words options <<<"$case"
    # shellcheck disable=SC2086 # the options are words
    "$cli" convert --dither atkinson-boyle $options "$sample" "$work/$name"
    check "convert to $name" 0 $?
    same_files "words of $name" "$work/$words" "$work/$name"
done
"$cli" convert --format raw --dither atkinson-boyle "$sample" - >"$work/stdout.raw"
same_files "raw to standard output" "$work/little" "$work/stdout.raw"

printf '%s\n' '#include <stdint.h>' '#include <stdio.h>' \
    'extern const uint16_t photo[160 * 120];' \
    'int main(void) { return fwrite(photo, 2, 160 * 120, stdout) == 160 * 120 ? 0 : 1; }' \
    >"$work/print.c"
printf '%s\n' '#include "logo.h"' 'const uint16_t *second(void);' \
    'const uint16_t *second(void) { return logo; }' >"$work/two.c"
printf '%s\n' '#include <stdio.h>' '#include "logo.h"' 'const uint16_t *second(void);' \
    'int main(void) {' \
    '    size_t n = LOGO_WIDTH * LOGO_HEIGHT;' \
    '    return fwrite(second(), 2, n, stdout) == n && second()[5] == logo[5] ? 0 : 1;' \
    '}' >"$work/main_h.c"
for order in little big; do
    "$cli" convert --dither atkinson-boyle --byte-order $order "$sample" "$work/photo.c"
    check "convert to C, $order" 0 $?
    "$cli" convert --dither atkinson-boyle --byte-order $order --name logo "$sample" "$work/logo.h"
    check "convert to a C header, $order" 0 $?
    for compiler in "gcc -std=c99" "g++ -std=c++17 -x c++"; do
        flags="-Wall -Wextra -pedantic -Werror"
        rm -f "$work/prog" "$work/prog_h"
        $compiler $flags -o "$work/prog" "$work/photo.c" "$work/print.c" 2>"$work/cc.log"
        check "$compiler compiles the C text ($order): $(cat "$work/cc.log")" 0 $?
        "$work/prog" >"$work/printed"
        same_files "the array in memory ($compiler, $order)" "$work/$order" "$work/printed"
        $compiler $flags -I "$work" -o "$work/prog_h" "$work/two.c" "$work/main_h.c" \
            2>"$work/cc.log"
        check "$compiler links the header included twice ($order): $(cat "$work/cc.log")" 0 $?
        "$work/prog_h" >"$work/printed"
        same_files "the header's array ($compiler, $order)" "$work/$order" "$work/printed"
    done
done
expect_text "C text names its source" "$work/photo.c" \
    "/* photo.c: the pixels of sample.bmp, 160 x 120,"
expect_text "C text says how it was made" "$work/photo.c" \
    "made with --dither atkinson-boyle --green-compensation on"

mkdir -p "$work/fw"
"$cli" convert --format c --byte-order big --dither atkinson-boyle "$sample" --output-dir "$work/fw"
check "batch of C text" 0 $?
expect_text "batch names the array after its file" "$work/fw/sample.c" \
    "const uint16_t sample[SAMPLE_WIDTH * SAMPLE_HEIGHT] = {"
"$cli" convert --extension bin --dither atkinson-boyle "$sample" --output-dir "$work/fw"
check "batch of raw words" 0 $?
same_files "batch of raw words" "$work/little" "$work/fw/sample.bin"
for usage in "x.rgn --byte-order big" "x.mbr --format rgn --byte-order big" "x.c --name 9lives" \
    "x.c --name int" "x.raw --name abc" "x.c --format tiff" \
    "--output-dir $work/fw --format c --name a"; do
    # shellcheck disable=SC2086 # the usage is words
    "$cli" convert "$sample" $usage 2>"$work/usage"
    check "usage error: $usage" 2 $?
done

"$cli" convert --dither sideways "$samples/sample.bmp" "$work/x.rgn" 2>/dev/null
check "unknown dither" 2 $?
"$cli" convert --green-compensation maybe "$samples/sample.bmp" "$work/x.rgn" 2>/dev/null
check "bad compensation switch" 2 $?
"$cli" frobnicate 2>/dev/null
check "unknown command" 2 $?
"$cli" 2>/dev/null
check "no command" 2 $?
"$cli" --help >"$work/help"
check "help" 0 $?
expect_text "help lists convert" "$work/help" "convert"
"$cli" --version >"$work/version"
check "version" 0 $?
expect_text "version" "$work/version" "halvex-cli"

finish_checks "command line"
