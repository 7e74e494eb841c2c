#!/usr/bin/env bash
# End-to-end checks of halvex-cli's batches, previews and info: outputs of a
# batch byte for byte whatever the number of threads, the messages, the
# summary and the exit statuses.
. "$(dirname "$0")/check_lib.sh" "$@"

# A 24-bit BMP from hexadecimal bytes of the stored rows (padding included),
# with the header fields the preview writer uses (72 dots per inch).
bmp24() { # output, width, height, hex of the pixel data
    local out=$1 width=$2 height=$3 data=$4
    local size=$(((${#data} / 2) + 54))
    le32() { printf '%08x' "$1" | sed 's/\(..\)\(..\)\(..\)\(..\)/\4\3\2\1/'; }
    printf '%s' "424d$(le32 $size)0000000036000000" \
        "28000000$(le32 "$width")$(le32 "$height")0100180000000000$(le32 $((size - 54)))" \
        "130b0000130b00000000000000000000" \
        "$data" | xxd -r -p >"$out"
}

# --- batches -----------------------------------------------------------
mkdir -p "$work/in/sub"
cp "$samples/sample.bmp" "$work/in/first.bmp"
cp "$samples/sample.bmp" "$work/in/sub/photo.v2.bmp"
bmp24 "$work/in/tiny.bmp" 2 1 "0000ffffffff0000"
head -c 300 /dev/urandom >"$work/in/garbage.bmp"
inputs=("$work/in/first.bmp" "$work/in/garbage.bmp" "$work/in/sub/photo.v2.bmp"
    "$work/in/missing.bmp" "$work/in/tiny.bmp")

for jobs in 1 4; do
    "$cli" convert --dither atkinson "${inputs[@]}" --output-dir "$work/out$jobs" -j $jobs \
        >"$work/stdout$jobs" 2>"$work/stderr$jobs"
    check "batch -j $jobs with failures" 1 $?
    expect_text "batch -j $jobs summary" "$work/stdout$jobs" "3 converted, 2 failed"
    expect_text "batch -j $jobs garbage" "$work/stderr$jobs" \
        "$work/in/garbage.bmp: Error reading file (not BMP?)"
    expect_text "batch -j $jobs missing" "$work/stderr$jobs" \
        "$work/in/missing.bmp: Error opening file"
    checks=$((checks + 1))
    [ "$(wc -l <"$work/stderr$jobs")" -eq 2 ] || fail "batch -j $jobs: stderr: $(cat "$work/stderr$jobs")"
    checks=$((checks + 1))
    ! grep -q $'\r' "$work/stderr$jobs" || fail "batch -j $jobs: progress shown off a terminal"
    checks=$((checks + 1))
    [ "$(ls "$work/out$jobs" | tr '\n' ' ')" = "first.rgn photo.v2.rgn tiny.rgn " ] ||
        fail "batch -j $jobs outputs: $(ls "$work/out$jobs")"
done
for name in first photo.v2 tiny; do
    same_files "batch -j 1 against -j 4, $name" "$work/out1/$name.rgn" "$work/out4/$name.rgn"
done
# Failures are listed in the order of the inputs whatever finishes first.
same_files "failure lines in input order" "$work/stderr1" "$work/stderr4"

"$cli" convert --dither atkinson "$work/in/first.bmp" "$work/single.rgn"
same_files "batch output equals the single-file form" "$work/single.rgn" "$work/out4/first.rgn"

"$cli" convert "$work/in/first.bmp" "$work/in/tiny.bmp" --output-dir "$work/new/deeper" \
    --extension MBR >"$work/stdout" 2>"$work/stderr"
check "all good, new folder, .mbr" 0 $?
expect_text "all good summary" "$work/stdout" "2 converted, 0 failed"
checks=$((checks + 1))
[ -f "$work/new/deeper/first.mbr" ] && [ -f "$work/new/deeper/tiny.mbr" ] ||
    fail "outputs with --extension mbr: $(ls "$work/new/deeper")"
checks=$((checks + 1))
[ ! -s "$work/stderr" ] || fail "all good batch wrote to stderr: $(cat "$work/stderr")"

# Two inputs with one base name would overwrite each other: refused whole.
cp "$samples/sample.bmp" "$work/in/sub/first.bmp"
"$cli" convert "$work/in/first.bmp" "$work/in/tiny.bmp" "$work/in/sub/first.bmp" \
    --output-dir "$work/clash" 2>"$work/stderr"
check "same base name twice" 2 $?
expect_text "same base name twice" "$work/stderr" "would both be written to $work/clash/first.rgn"
checks=$((checks + 1))
[ ! -e "$work/clash" ] || fail "a refused batch created or wrote $work/clash"

# An output that is one of the inputs, by name or through a link, is refused
# before anything is converted.
mkdir -p "$work/selfbatch/out"
cp "$samples/sample.bmp" "$work/selfbatch/pic.rgn"
cp "$samples/sample.bmp" "$work/selfbatch/other.bmp"
ln -s ../other.bmp "$work/selfbatch/out/other.rgn"
for form in "pic.rgn --output-dir ." "pic.rgn other.bmp --output-dir out"; do
    # shellcheck disable=SC2086
    (cd "$work/selfbatch" && "$cli" convert $form) >/dev/null 2>"$work/stderr"
    check "batch onto an input: $form" 2 $?
    expect_text "batch onto an input: $form" "$work/stderr" "it is the input file"
    same_files "batch leaves its inputs: $form" "$work/selfbatch/pic.rgn" "$samples/sample.bmp"
    same_files "batch leaves its inputs: $form" "$work/selfbatch/other.bmp" "$samples/sample.bmp"
done

echo file >"$work/plain-file"
"$cli" convert "$work/in/tiny.bmp" --output-dir "$work/plain-file" 2>"$work/stderr"
check "output folder is a file" 1 $?
expect_text "output folder is a file" "$work/stderr" "Error creating output folder $work/plain-file"

while read -r description status args; do
    # shellcheck disable=SC2086
    "$cli" convert $args 2>"$work/stderr" >/dev/null
    check "usage: $description" "$status" $?
done <<TABLE
one_file_without_output_dir 2 $work/in/tiny.bmp
three_files_without_output_dir 2 $work/in/tiny.bmp $work/a.rgn $work/b.rgn
jobs_without_output_dir 2 -j 2 $work/in/tiny.bmp $work/a.rgn
zero_jobs 2 -j 0 $work/in/tiny.bmp --output-dir $work/o
unknown_extension 2 --extension png $work/in/tiny.bmp --output-dir $work/o
preview_with_a_batch 2 --preview $work/p.bmp $work/in/tiny.bmp --output-dir $work/o
TABLE

# On a terminal the batch keeps one progress line and rubs it out at the end.
if command -v script >/dev/null; then
    script -qec "'$cli' convert '$work/in/first.bmp' '$work/in/garbage.bmp' --output-dir '$work/tty' -j 1" \
        /dev/null >"$work/tty.log" 2>&1
    expect_text "progress on a terminal" "$work/tty.log" "converting: 1 of 2 done, 0 failed"
    expect_text "failure on a terminal" "$work/tty.log" "garbage.bmp: Error reading file (not BMP?)"
    expect_text "summary on a terminal" "$work/tty.log" "1 converted, 1 failed"
fi

# --- preview -----------------------------------------------------------
# 2 x 2 picture, stored bottom row first: (blue, green, red) bytes, rows of
# 6 bytes padded to 8. Top row: pure red, grey 100; bottom: white, (8, 4, 0).
bmp24 "$work/known.bmp" 2 2 "000408ffffff00000000ff6464640000"
"$cli" convert --dither none --green-compensation off "$work/known.bmp" "$work/known.rgn" \
    --preview "$work/known-preview.bmp"
check "convert with --preview" 0 $?
# Words: F800 632C / 0820 FFFF. Widened: red stays (255, 0, 0), grey
# becomes (99, 101, 99), (8, 4, 0) has the levels (1, 1, 0) and comes back
# as (8, 4, 0), white stays white.
bmp24 "$work/expected.bmp" 2 2 "000408ffffff00000000ff6365630000"
same_files "preview of a known picture" "$work/known-preview.bmp" "$work/expected.bmp"
"$cli" preview "$work/known.rgn" "$work/from-file.bmp"
check "preview command" 0 $?
same_files "preview command equals --preview" "$work/from-file.bmp" "$work/expected.bmp"

# The file and its preview are written together or not at all.
echo old >"$work/first.rgn"
"$cli" convert "$work/in/first.bmp" "$work/first.rgn" --preview "$work/no/such/p.bmp" 2>"$work/stderr"
check "unwritable preview" 1 $?
expect_text "unwritable preview" "$work/stderr" "Error writing $work/no/such/p.bmp"
expect_true "unwritable preview keeps the file" test "$(cat "$work/first.rgn")" = old
mkdir "$work/preview-folder"
"$cli" convert "$work/in/first.bmp" "$work/first.rgn" --preview "$work/preview-folder" 2>"$work/stderr"
check "preview onto a folder" 1 $?
expect_text "preview onto a folder" "$work/stderr" "Is a directory"
expect_true "preview onto a folder keeps the file" test "$(cat "$work/first.rgn")" = old
echo old >"$work/first.png"
"$cli" convert "$work/in/first.bmp" "$work/first.rgn" --preview "$work/first.png" 2>"$work/stderr"
status=$?
if [ "$(head -c 4 "$work/first.png" | xxd -p)" = 89504e47 ]; then
    check "PNG preview" 0 $status
else # without an encoder the pair fails whole
    check "PNG preview without an encoder" 1 $status
    expect_true "failed PNG keeps the file" test "$(cat "$work/first.rgn")" = old
    expect_true "failed PNG keeps the old preview" test "$(cat "$work/first.png")" = old
fi

head -c 54 "$work/known.rgn" >"$work/cut.rgn"
"$cli" preview "$work/cut.rgn" "$work/cut.bmp" 2>"$work/stderr"
check "preview of a damaged file" 1 $?
expect_text "preview of a damaged file" "$work/stderr" "not a consistent RGN/MBR file"
checks=$((checks + 1))
[ ! -e "$work/cut.bmp" ] || fail "preview wrote a picture of a damaged file"

"$cli" preview "$work/missing.rgn" "$work/m.bmp" 2>"$work/stderr"
check "preview of a missing file" 1 $?
expect_text "preview of a missing file" "$work/stderr" "Error opening file"

# --- info --------------------------------------------------------------
"$cli" info "$work/known.rgn" >"$work/stdout" 2>"$work/stderr"
check "info on a good file" 0 $?
for line in "width:          2" "height:         2" "pixel bytes:    8" \
    "constant at 12: 0x01700020" "bits per pixel: 16" "red mask:       0xF800" \
    "green mask:     0x07E0" "blue mask:      0x001F" "file length:    56" "consistent"; do
    expect_text "info field" "$work/stdout" "$line"
done

cp "$work/known.rgn" "$work/longer.rgn"
printf 'x' >>"$work/longer.rgn"
cp "$work/known.rgn" "$work/mask.rgn"
printf '\xe1' | dd of="$work/mask.rgn" bs=1 seek=36 conv=notrunc 2>/dev/null
while read -r file message; do
    "$cli" info "$work/$file" >"$work/stdout" 2>"$work/stderr"
    check "info on $file" 1 $?
    expect_text "info on $file" "$work/stderr" "$message"
    expect_no_line "info on $file" "$work/stdout" "consistent"
done <<'TABLE'
cut.rgn inconsistent: the file is 54 bytes long, but 48 + pixel bytes is 56
longer.rgn inconsistent: the file is 57 bytes long, but 48 + pixel bytes is 56
mask.rgn inconsistent: green mask is 0x07E1, must be 0x07E0
TABLE
head -c 20 "$work/known.rgn" >"$work/stub.rgn"
"$cli" info "$work/stub.rgn" >"$work/stdout" 2>"$work/stderr"
check "info on a stub" 1 $?
expect_text "info on a stub" "$work/stderr" "shorter than the 48-byte header"
"$cli" info "$work" 2>"$work/stderr"
check "info on a folder" 1 $?
expect_text "info on a folder" "$work/stderr" "Error opening file"

# --- reading: options, messages, standard input ---------------------------
# A TGA without the version 2.0 footer: 2 x 1, bottom-up, blue then red.
printf '\x00\x00\x02\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x01\x00\x18\x00\xff\x00\x00\x00\x00\xff' \
    >"$work/nofooter.tga"
# A 32-bit BMP with bit fields in another order than the compatible reader assumes.
printf '%s' "424d4600000000000000420000002800000001000000010000000100200003000000" \
    "0400000000000000000000000000000000000000" "0000ff0000ff0000ff000000" "0000ffff" |
    xxd -r -p >"$work/masks.bmp"
while IFS='|' read -r status text args; do
    # shellcheck disable=SC2086 # the table's arguments are words
    "$cli" $args >"$work/stdout" 2>"$work/stderr"
    check "$args" "$status" $?
    [ -z "$text" ] || expect_text "$args" "$work/stderr" "$text"
done <<TABLE
1|nofooter.tga: Error reading file (not BMP?): a TGA file without the version 2.0 footer|convert $work/nofooter.tga $work/o.rgn
0||convert --decoder standard $work/nofooter.tga $work/o.rgn
0|masks.bmp: warning:|convert $work/masks.bmp $work/o.rgn
1|missing.bmp: Error opening file: No such file or directory|convert $work/missing.bmp $work/o.rgn
1|more pixels than the limit; --max-pixels raises it|convert --max-pixels 100 $samples/sample.bmp $work/o.rgn
2|'1' is not one of|convert --dither 1 $samples/sample.bmp $work/o.rgn
2|'stretched' is not one of|convert --fit stretched $samples/sample.bmp $work/o.rgn
2|unknown command 'conv'; did you mean 'convert'?|conv $samples/sample.bmp $work/o.rgn
2|standard input (-) has no name|convert - --output-dir $work/batch-stdin
TABLE
"$cli" convert --decoder standard "$work/nofooter.tga" "$work/o.rgn"
"$cli" convert --decoder standard - "$work/stdin.rgn" <"$work/nofooter.tga"
same_files "standard input reads as the file does" "$work/o.rgn" "$work/stdin.rgn"
"$cli" decode --resize 40x - - <"$samples/sample.bmp" | head -c 15 >"$work/head.ppm"
expect_text "decode resizes, standard input to standard output" "$work/head.ppm" "40 30"

finish_checks "cli commands"
