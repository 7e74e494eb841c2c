#!/usr/bin/env bash
# End-to-end checks of the command line's own quantisations and of compare:
# ordered and serpentine files by checksum (single and batch), their
# refusals, compare's table, JSON and contact sheet, and its failures.
. "$(dirname "$0")/check_lib.sh" "$@"

le32() { printf '%08x' "$1" | sed 's/\(..\)\(..\)\(..\)\(..\)/\4\3\2\1/'; }
bmp24() { # output, width, height, hex of the stored rows (padding included)
    local size=$(((${#4} / 2) + 54))
    printf '%s' "424d$(le32 $size)0000000036000000" \
        "28000000$(le32 "$2")$(le32 "$3")0100180000000000$(le32 $((size - 54)))" \
        "130b0000130b00000000000000000000" "$4" | xxd -r -p >"$1"
}
png_size() { # file -> "width height" from the IHDR chunk
    python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(); assert d[:8]==b"\x89PNG\r\n\x1a\n" and d[12:16]==b"IHDR" and d[-8:-4]==b"IEND"; print(*struct.unpack(">II", d[16:24]))' "$1"
}

# Checksums derived with tests/reference/reference_modes.py, an independent model of
# these passes, from the decoded sample.
mkdir -p "$work/batch"
cp "$samples/sample.bmp" "$work/batch/sample.bmp"
while read -r dither serpentine comp sha; do
    flag=()
    [ "$serpentine" = serpentine ] && flag=(--serpentine)
    "$cli" convert --dither "$dither" "${flag[@]}" --green-compensation "$comp" \
        "$samples/sample.bmp" "$work/o.rgn"
    check "convert $dither $serpentine $comp" 0 $?
    expect_sha "convert $dither $serpentine $comp" "$work/o.rgn" "$sha"
    "$cli" convert --dither "$dither" "${flag[@]}" --green-compensation "$comp" \
        "$work/batch/sample.bmp" --output-dir "$work/out" >/dev/null 2>&1
    check "batch $dither $serpentine $comp" 0 $?
    same_files "batch $dither $serpentine $comp" "$work/o.rgn" "$work/out/sample.rgn"
done <<'TABLE'
ordered plain off 6e7037c46cfd24c3723e2039a08cc758ba239006d9a6a98f3ccd77746f478ba8
ordered plain on da59f0c43b49ae195fae9204da23be8aaa34d50fa2353d470e7b808edc1c97b1
floyd-steinberg serpentine off 09e7240b614098c0bd5a70ef1ded72c58919e406af955cdc483bb279c8efac22
floyd-steinberg serpentine on 861467f03526bb4b53b34ff141b721fe45441489426b94f54d53cf4613db0f8c
atkinson-boyle serpentine off 54b87f7d2fcf54ba28789d8e80550803e85bc9887780d7669affa1a70851c8fd
atkinson-boyle serpentine on e6c66ac0a0d4913f2df9dcf7ec5c0c1fb115634536893c3efa277e7b26bd9a62
TABLE

for dither in none ordered; do
    for form in "$work/o.rgn" "--output-dir $work/out"; do
        # shellcheck disable=SC2086
        "$cli" convert --dither $dither --serpentine "$samples/sample.bmp" $form 2>"$work/err"
        check "serpentine with $dither ($form)" 2 $?
        expect_text "serpentine with $dither names the option" "$work/err" "--serpentine"
    done
done

# --- compare -----------------------------------------------------------
"$cli" compare "$samples/sample.bmp" >"$work/table" 2>"$work/err"
check "compare" 0 $?
expect_text "compare names the source" "$work/table" "sample.bmp: 160 x 120"
tail -n +2 "$work/table" >"$work/rows"
expect_sha "compare's table" "$work/rows" 509489348ed7e73436dc218c20b3ca879054998fd23a347c1c7ef449b1712882
expect_true "compare writes nothing on standard error" test ! -s "$work/err"

"$cli" compare "$samples/sample.bmp" --json >"$work/json"
check "compare --json" 0 $?
expect_true "the JSON holds the table's figures, best first" python3 - "$work/json" "$work/table" <<'PY'
import json, sys
doc = json.load(open(sys.argv[1]))
rows = [line.split() for line in open(sys.argv[2]).read().splitlines()[2:]]
assert doc["source"]["width"] == 160 and doc["source"]["height"] == 120
assert doc["source"]["path"].endswith("sample.bmp")
keys = ["dither", "serpentine", "green_compensation", "psnr", "mean_delta_e", "max_delta_e",
        "grey_drift"]
results = doc["results"]
assert len(results) == 12 and len(rows) == 12
assert len({(r["dither"], r["serpentine"], r["green_compensation"]) for r in results}) == 12
for r, row in zip(results, rows):
    assert list(r) == keys, list(r)
    assert [r["dither"], "yes" if r["serpentine"] else "no",
            "on" if r["green_compensation"] else "off"] == row[:3]
    assert [float(v) for v in row[3:]] == [r[k] for k in keys[3:]], (row, r)
means = [r["mean_delta_e"] for r in results]
assert means == sorted(means)
PY

# A file name may be any bytes; the JSON stays valid UTF-8 all the same:
# each byte outside well-formed UTF-8 becomes U+FFFD in path, control
# characters are escaped, and path_bytes keeps the exact name in hex.
mkdir -p "$work/names"
while read -r name expected; do
    # shellcheck disable=SC2059 # the name is written in printf's escapes
    file="$work/names/$(printf "$name").bmp"
    cp "$samples/sample.bmp" "$file"
    "$cli" compare "$file" --json >"$work/json"
    check "compare --json of $name" 0 $?
    expect_true "JSON of $name" python3 - "$work/json" "$file" "$expected" <<'PY'
import json, os, sys
doc = json.loads(open(sys.argv[1], "rb").read().decode("utf-8"))["source"]
name = os.fsencode(sys.argv[2])
assert list(doc) == ["path", "path_bytes", "width", "height"], list(doc)
assert bytes.fromhex(doc["path_bytes"]) == name, doc
expected = json.loads('"' + sys.argv[3] + '"')
assert doc["path"] == os.fsdecode(name[:name.rindex(b"/") + 1]) + expected + ".bmp", doc
PY
done <<'TABLE'
lat\xe9 lat\ufffd
caf\xc3\xa9-\xf0\x9f\x98\x80 caf\u00e9-\ud83d\ude00
overlong\xc0\xaf\xe0\x80\xaf overlong\ufffd\ufffd\ufffd\ufffd\ufffd
surrogate\xed\xa0\x80 surrogate\ufffd\ufffd\ufffd
above\xf4\x90\x80\x80 above\ufffd\ufffd\ufffd\ufffd
cut\xe2\x82 cut\ufffd\ufffd
lone\x80\xbf\xff lone\ufffd\ufffd\ufffd
q"b\\s\tt\x1f\x7f q\"b\\s\tt\u001f\u007f
TABLE

"$cli" compare "$samples/sample.bmp" --sheet "$work/sheet.png" >/dev/null
check "compare --sheet" 0 $?
expect_true "sheet of the sample at the default zoom 2" test "$(png_size "$work/sheet.png")" = "1320 584"
expect_sha "sheet of the sample" "$work/sheet.png" 7383c6c9cee08e396d8be5b80493d4c4f1b0e6ed05fbe4f11e8b12530c1e26aa
"$cli" compare "$samples/sample.bmp" --sheet "$work/sheet.png" --zoom 1 --green-compensation off \
    >/dev/null
check "compare --zoom 1" 0 $?
expect_true "sheet at zoom 1: the cells as wide as the labels" \
    test "$(png_size "$work/sheet.png")" = "1000 344"

# Pictures whose answers are known: black and white expand back exactly
# without compensation; one pixel makes a sheet of 256-pixel tiles; no pixels
# makes a sheet of labels.
bmp24 "$work/bw.bmp" 2 1 "000000ffffff0000"
"$cli" compare "$work/bw.bmp" --json >"$work/json"
check "compare black and white" 0 $?
expect_true "exact results have a null psnr and no difference" python3 - "$work/json" <<'PY'
import json, sys
for r in json.load(open(sys.argv[1]))["results"]:
    exact = not r["green_compensation"]
    assert (r["psnr"] is None) == exact, r
    assert (r["max_delta_e"] == 0) == exact, r
PY
bmp24 "$work/one.bmp" 1 1 "336699ff"
"$cli" compare "$work/one.bmp" --sheet "$work/one.png" >/dev/null
check "compare one pixel" 0 $?
expect_true "one pixel's sheet" test "$(png_size "$work/one.png")" = "1064 616"
bmp24 "$work/empty.bmp" 0 0 ""
"$cli" compare "$work/empty.bmp" --sheet "$work/empty.png" >"$work/table"
check "compare no pixels" 0 $?
expect_text "no pixels: nothing differs" "$work/table" "inf         0.00        0.00     0.0000"
expect_true "no pixels' sheet" test "$(png_size "$work/empty.png")" = "1000 104"

# Failures.
"$cli" compare "$work/missing.bmp" 2>"$work/err"
check "compare missing input" 1 $?
expect_text "compare missing input" "$work/err" "Error opening file"
"$cli" compare "$samples/sample.bmp" --sheet "$work/no/such/dir/s.png" >"$work/table" 2>"$work/err"
check "compare unwritable sheet" 1 $?
expect_text "compare unwritable sheet" "$work/err" "Error writing $work/no/such/dir/s.png"
expect_text "the table comes all the same" "$work/table" "grey_drift"
cp "$samples/sample.bmp" "$work/self.bmp"
"$cli" compare "$work/self.bmp" --sheet "$work/./self.bmp" 2>"$work/err"
check "compare onto its own input" 1 $?
same_files "compare leaves its input" "$samples/sample.bmp" "$work/self.bmp"
"$cli" compare "$samples/sample.bmp" --zoom 2 2>/dev/null
check "zoom without a sheet" 2 $?
"$cli" compare "$samples/sample.bmp" --sheet "$work/s.png" --zoom 0 2>/dev/null
check "zoom 0" 2 $?
"$cli" compare "$samples/sample.bmp" --dither fs 2>/dev/null
check "compare takes no --dither" 2 $?
"$cli" compare "$samples/sample.bmp" >/dev/full 2>"$work/err"
check "compare onto a full standard output" 1 $?
expect_text "compare onto a full standard output" "$work/err" "No space left on device"

finish_checks "compare and the command line's own modes"
