#!/usr/bin/env bash
# The packages as a user gets them: scripts/package builds the Debian package
# and the Windows zip; the .deb is installed (as root; CI is), the command is
# found on PATH with its man page and completion, the man page covers every
# command and long option of the help and is clean for groff, and removing
# the package leaves nothing behind. The .deb passes lintian without an error
# or a warning and hardening-check with every protection, and carries the
# copyright file and the change log. The zip unpacks its files straight into
# the folder Explorer makes for it, its text files open in any Notepad, its
# halvex-cli.exe converts the sample under Wine to the Linux build's bytes,
# and its halvex.exe is the 32-bit GUI program carrying this version.
# dist/SHA256SUMS checks out.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
. tests/cli/check_lib.sh
. scripts/lib/wine.sh

work=$(mktemp -d)
cleanup() {
    wine_stop
    rm -rf "$work"
}
trap cleanup EXIT

if ! bash scripts/package >"$work/package.out"; then
    echo "package: scripts/package failed"
    exit 1
fi
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/release/CMakeCache.txt)
deb=dist/halvex_${version}_$(dpkg --print-architecture).deb
zip=dist/halvex-${version}-win32.zip
expect_true "scripts/package names $deb and $zip" \
    test "$(cat "$work/package.out")" = "$(printf '%s\n%s' "$deb" "$zip")"
expect_true "$deb exists" test -s "$deb"
expect_true "$zip exists" test -s "$zip"
expect_true "dist/SHA256SUMS names the two packages" \
    test "$(awk '{ print $2 }' dist/SHA256SUMS)" = "$(printf '%s\n%s' "$(basename "$deb")" "$(basename "$zip")")"
expect_true "sha256sum -c dist/SHA256SUMS" sh -c 'cd dist && sha256sum --quiet --strict -c SHA256SUMS'

# ---- the man page against the help --------------------------------------

# Every command of `halvex-cli --help` and every long option that the help
# of the program or of a command shows.
help_words() { # cli
    local cli=$1 command
    "$cli" --help >"$work/help.txt"
    for command in $(awk '/^(Sub)?[Cc]ommands:/ { listed = 1; next }
                          /^$/ { listed = 0 }
                          listed && /^  [a-z]/ { print $1 }' "$work/help.txt"); do
        echo "$command"
        "$cli" "$command" --help >>"$work/help.txt"
    done
    grep -oE -- '--[a-z][a-z0-9-]*' "$work/help.txt" | sort -u
}

man_page_covers_help() { # cli man-page (compressed or not)
    local word missing=()
    zcat -f "$2" | sed 's/\\-/-/g' >"$work/man.txt"
    for word in $(help_words "$1"); do
        grep -qE -- "(^|[^a-z0-9-])$word([^a-z0-9-]|\$)" "$work/man.txt" || missing+=("$word")
    done
    [ ${#missing[@]} -eq 0 ] || echo "the man page lacks: ${missing[*]}"
    [ ${#missing[@]} -eq 0 ]
}

groff_is_silent() { # man-page (compressed or not)
    local said
    said=$(zcat -f "$1" | groff -man -ww -z 2>&1)
    [ -z "$said" ] || echo "$said"
    [ -z "$said" ]
}

linux_cli=build/release/cli/halvex-cli
man_page=build/release/doc/halvex-cli.1.gz
expect_true "the man page has every command and long option of the help" \
    man_page_covers_help "$linux_cli" "$man_page"
expect_true "groff -man -ww -z has nothing to say about the man page" groff_is_silent "$man_page"

# ---- the help as people read it ------------------------------------------

# Lines within 80 columns, value names instead of the argument library's
# type names and value tables, and a mistyped command named with the nearest
# one. The layout is cli/help_format's; until the program installs it (its
# list is headed "Commands:" rather than the library's "Subcommands:"), these
# checks are skipped with a note.
help_is_for_people() { # cli
    local cli=$1 command long internals
    "$cli" --help >"$work/all-help.txt"
    for command in $(awk '/^Commands:/ { listed = 1; next } /^$/ { listed = 0 }
                          listed && /^  [a-z]/ { print $1 }' "$work/all-help.txt"); do
        "$cli" "$command" --help >>"$work/all-help.txt"
    done
    long=$(awk 'length($0) > 80' "$work/all-help.txt")
    internals=$(grep -E 'value in \{|REQUIRED|Needs:|Excludes:|\<(TEXT|ENUM|BOOLEAN|INT|UINT|FLOAT)\>' \
        "$work/all-help.txt")
    [ -z "$long" ] || echo "help lines over 80 columns: $long"
    [ -z "$internals" ] || echo "help shows the library's internals: $internals"
    [ -z "$long" ] && [ -z "$internals" ]
}
if "$linux_cli" --help | grep -q '^Commands:'; then
    expect_true "the help is written for people" help_is_for_people "$linux_cli"
    "$linux_cli" conv in.bmp out.rgn >/dev/null 2>"$work/unknown.err"
    check "a mistyped command is a usage error" 2 $?
    expect_text "a mistyped command is named" "$work/unknown.err" "unknown command 'conv'"
    expect_text "a mistyped command gets the nearest one" "$work/unknown.err" \
        "did you mean 'convert'?"
else
    echo "package: the help layout of cli/help_format is not installed yet; its checks are skipped"
fi

# ---- the Debian package ---------------------------------------------------

# lintian's errors and warnings fail; its informational tags are shown.
lintian_is_clean() { # deb
    local said
    said=$(lintian --display-info --tag-display-limit 0 "$1" 2>&1)
    [ -z "$said" ] || echo "$said"
    ! grep -qE '^[EW]: ' <<<"$said"
}
# Every protection hardening-check knows of says yes (those that do not
# apply to the program say so, not no), but control-flow protection: Debian
# 12's C start-up files lack it, and the linker marks a program protected
# only when every part is.
hardening_is_complete() { # program
    local said
    said=$(hardening-check --nocfprotection "$1" 2>&1)
    echo "$said"
    ! grep ': no' <<<"$said" | grep -qv '(ignored)$'
}
expect_true "lintian has no error or warning about $deb" lintian_is_clean "$deb"
dpkg-deb -x "$deb" "$work/deb"
expect_true "hardening-check: halvex-cli of $deb is fully hardened" \
    hardening_is_complete "$work/deb/usr/bin/halvex-cli"

completes() { # expected words...  (the last is the word being completed)
    local expected=$1
    shift
    local got
    got=$(bash --norc --noprofile -c '
        . /usr/share/bash-completion/bash_completion
        __load_completion halvex-cli || exit 1
        function=$(complete -p halvex-cli | sed -n "s/.* -F \([^ ]*\) .*/\1/p")
        [ -n "$function" ] || exit 1
        COMP_WORDS=("$@")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        COMP_LINE="$*"
        COMP_POINT=${#COMP_LINE}
        "$function" halvex-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        echo "${COMPREPLY[*]}"' completion-test "$@")
    [ "$got" = "$expected" ] || echo "completing [$*]: got [$got], expected [$expected]"
    [ "$got" = "$expected" ]
}

if [ "$(id -u)" -ne 0 ]; then
    echo "package: not root, so the .deb is not installed (CI runs as root)"
else
    dpkg -r halvex >/dev/null 2>&1 # a copy left by an earlier run
    if dpkg -i "$deb" >"$work/dpkg.log" 2>&1; then
        expect_true "halvex-cli on PATH is the package's" test "$(command -v halvex-cli)" = /usr/bin/halvex-cli
        expect_true "halvex-cli --version says $version" \
            test "$(halvex-cli --version)" = "halvex-cli $version"
        expect_true "the web page is installed" test -s /usr/share/halvex/halvex.html
        expect_true "the copyright file is installed, machine-readable" \
            grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
            /usr/share/doc/halvex/copyright
        expect_true "the change log is installed" \
            cmp -s build/release/doc/changelog <(zcat /usr/share/doc/halvex/changelog.gz)
        expect_true "man -w halvex-cli finds the package's page" \
            test "$(man -w halvex-cli 2>/dev/null)" = /usr/share/man/man1/halvex-cli.1.gz
        expect_true "completion: conv<TAB>" completes convert halvex-cli conv
        expect_true "completion: --dither <TAB>" completes "none ordered floyd-steinberg atkinson-boyle" \
            halvex-cli convert --dither ""
        expect_true "completion: --fit c<TAB>" completes "contain cover" halvex-cli convert --fit c
        # The Linux build's bytes, for the Windows program below.
        halvex-cli convert samples/sample.bmp "$work/linux.rgn"
        dpkg-deb -c "$deb" | awk '{ print substr($6, 2) }' | grep -v '/$' >"$work/files"
        dpkg -r halvex >/dev/null 2>&1
        left=$(while read -r file; do [ -e "$file" ] && echo "$file"; done <"$work/files")
        expect_true "dpkg -r removes every file of the package${left:+ (left: $left)}" test -z "$left"
        expect_true "dpkg -r leaves no trace in dpkg's records" \
            test -z "$(dpkg-query -W -f='${Status}' halvex 2>/dev/null)"
        expect_true "dpkg -r removes the documents' folder" test ! -e /usr/share/doc/halvex
    else
        fail "dpkg -i $deb: $(cat "$work/dpkg.log")"
    fi
fi
[ -s "$work/linux.rgn" ] || "$linux_cli" convert samples/sample.bmp "$work/linux.rgn"

# ---- the Windows zip ------------------------------------------------------

# Explorer's "Extract All" makes a folder of the zip's name, halvex-<version>-win32,
# as here: the files are straight inside it, not in a folder of the same name.
folder=$work/zip/halvex-$version-win32
mkdir -p "$folder"
unzip -q "$zip" -d "$folder"
expect_true "the zip holds files only, no folder" test -z "$(zipinfo -1 "$zip" | grep /)"
for name in halvex.exe halvex-cli.exe halvex.html README.txt LICENSE.txt THIRD-PARTY.txt; do
    expect_true "the zip holds $name" test -s "$folder/$name"
done
only_crlf() { # file
    [ "$(grep -c $'\r$' "$1")" -eq "$(wc -l <"$1")" ]
}
starts_with_utf8_mark() { # file
    [ "$(head -c 3 "$1" | od -An -tx1 | tr -d ' ')" = efbbbf ]
}
for name in README.txt LICENSE.txt THIRD-PARTY.txt; do
    expect_true "$name has Windows line ends" only_crlf "$folder/$name"
    expect_true "$name starts with UTF-8's byte-order mark" starts_with_utf8_mark "$folder/$name"
done

wine_use_prefix "$root/build/wine-package-prefix"
(cd "$work" && wine "$folder/halvex-cli.exe" convert "$root/samples/sample.bmp" windows.rgn) \
    >/dev/null 2>"$work/wine.err"
same_files "halvex-cli.exe from the zip converts the sample to the Linux build's bytes" \
    "$work/linux.rgn" "$work/windows.rgn"
expect_true "halvex-cli.exe from the zip says $version" \
    test "$(wine "$folder/halvex-cli.exe" --version | tr -d '\r')" = "halvex-cli $version"

i686-w64-mingw32-objdump -p "$folder/halvex.exe" >"$work/pe.txt"
expect_true "halvex.exe is a 32-bit PE" grep -qE '^Magic[[:space:]]+010b' "$work/pe.txt"
expect_true "halvex.exe is a GUI program" grep -qE '^Subsystem[[:space:]]+00000002' "$work/pe.txt"
expect_true "halvex.exe carries the version $version" \
    python3 - "$folder/halvex.exe" "$version" <<'PY'
# The fixed part of the version record (VS_FIXEDFILEINFO, found by its
# signature) and the ProductVersion string must both say the version.
import struct, sys
data = open(sys.argv[1], "rb").read()
parts = [int(p) for p in sys.argv[2].split(".")] + [0] * 4
at = data.find(struct.pack("<I", 0xFEEF04BD))
if at < 0:
    sys.exit("no version record")
file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<4I", data, at + 8)
want_ms, want_ls = parts[0] << 16 | parts[1], parts[2] << 16 | parts[3]
if (file_ms, file_ls, product_ms, product_ls) != (want_ms, want_ls, want_ms, want_ls):
    sys.exit("fixed version %x.%x" % (file_ms, file_ls))
key = "ProductVersion\0".encode("utf-16-le")
want = (sys.argv[2] + "\0").encode("utf-16-le")
at = data.find(key)
# The value follows its key after at most one 32-bit alignment pad.
if at < 0 or want not in data[at + len(key):at + len(key) + 2 + len(want)]:
    sys.exit("ProductVersion string differs")
PY

finish_checks package
