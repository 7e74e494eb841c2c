#!/usr/bin/env bash
# End-to-end tests of halvex.exe under Wine, on a virtual display of its own:
# the program is started, its windows are found by title, clicked and typed
# into with xdotool as a person would, and what came of it is read back with
# halvex-probe.exe (texts, check states, list entries, focus, positions), from
# the files written and from the exit status.
#
# Usage: tests/wine/e2e.sh [BUILD_DIR]   (default: build/win32 of the tree)
# HALVEX_WINE_CASES may name the cases to run (default: all).
# Every wait is a bounded poll. Prints one line per check and a closing
# "N passed, N failed"; exits non-zero when a check failed.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$root/build/win32}" && pwd)
exe=$build/ui/win32/halvex.exe
cli=$build/cli/halvex-cli.exe
probe_exe=$build/tests/wine/halvex-probe.exe
fixtures=$here/fixtures.py

for f in "$exe" "$cli" "$probe_exe"; do
    [ -f "$f" ] || { echo "missing $f: build the win32 preset first" >&2; exit 2; }
done

work=$(mktemp -d -t halvex-wine.XXXXXX)
shots=$root/build/wine-test-shots
mkdir -p "$shots"
rm -f "$shots"/*.png
export WINEPREFIX=${HALVEX_TEST_WINEPREFIX:-$root/build/wine-test-prefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
xvfb_pid=
app_pid=
holder_pid=

cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
    [ -n "$holder_pid" ] && kill "$holder_pid" 2>/dev/null
    [ -n "${DISPLAY:-}" ] && wineserver -k 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# ---- checks -------------------------------------------------------------

passed=0
failed=0
ok() {
    passed=$((passed + 1))
    echo "ok - $1"
}
not_ok() { # name [detail]
    failed=$((failed + 1))
    local shot
    shot=$shots/$(printf '%02d' "$failed").png
    import -display "$DISPLAY" -window root "$shot" 2>/dev/null || shot="(no screenshot)"
    echo "not ok - $1${2:+: $2} [screen: $shot]"
}
check() { # name command...
    local name=$1
    shift
    if "$@"; then ok "$name"; else not_ok "$name"; fi
}
check_eq() { # name expected actual
    if [ "$2" = "$3" ]; then ok "$1"; else not_ok "$1" "expected [$2], got [$3]"; fi
}

# ---- the display, the prefix, and talking to windows ---------------------

start_display() {
    local number_file=$work/display
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number_file" 2>"$work/xvfb.log" &
    xvfb_pid=$!
    local tries=0
    while [ ! -s "$number_file" ] && [ $tries -lt 100 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
    [ -s "$number_file" ] || { echo "Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 2; }
    export DISPLAY=:$(tr -d '\n' <"$number_file")
}

prepare_prefix() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "# creating the Wine prefix (first run only)"
        WINEARCH=win32 timeout 300 wineboot -i >/dev/null 2>&1 || true
    fi
    wineserver -p 2>/dev/null # stays up between the programs: each start is quick
    # No window manager runs on the virtual display: Wine draws the captions
    # and their close and maximise boxes itself.
    timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f \
        >/dev/null 2>&1
}

probe() { wine "$probe_exe" "$@" 2>/dev/null | tr -d '\r'; }

# The value of NAME=... in a probe line; quoted values lose their quotes and
# escapes.
field() { # line name
    local line=" $1" name=$2 value
    local pattern=" $name=(\"([^\"\\\\]|\\\\.)*\"|[^ ]*)"
    [[ $line =~ $pattern ]] || return 1
    value=${BASH_REMATCH[1]}
    if [ "${value#\"}" != "$value" ]; then
        value=${value#\"}
        value=${value%\"}
        value=${value//\\\"/\"}
        value=${value//\\\\/\\}
    fi
    printf '%s' "$value"
}

control_line() { probe dump "$1" | grep -m1 "^control depth=0 id=$2 "; }
control_field() { field "$(control_line "$1" "$2")" "$3"; }
window_field() { field "$(probe dump "$1" | grep -m1 '^window ')" "$2"; }
focus_id() { field "$(probe dump "$1" | grep -m1 '^focus ')" id; }

# Polls CMD... every 0.1 s until it succeeds or TIMEOUT seconds have passed.
wait_until() { # timeout command...
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -ge $deadline ] && return 1
        sleep 0.1
    done
}
field_is() { [ "$(control_field "$1" "$2" "$3")" = "$4" ]; }
focus_is() { [ "$(focus_id "$1")" = "$2" ]; }
window_there() { probe wait "$1" "${2:-15000}" >/dev/null; }
window_gone() { probe gone "$1" "${2:-15000}" >/dev/null; }

click_at() { xdotool mousemove "$1" "$2" click 1; }
click_control() { # title id
    local line x y w h
    line=$(control_line "$1" "$2") || return 1
    x=$(field "$line" x) y=$(field "$line" y) w=$(field "$line" w) h=$(field "$line" h)
    click_at $((x + w / 2)) $((y + h / 2))
}
click_caption_button() { # title close|max
    local point
    point=$(probe button "$1" "$2") || return 1
    # shellcheck disable=SC2086
    click_at $point
}
# Keys for the window TITLE. With no window manager the X keyboard focus
# follows the pointer, so the pointer goes onto that window's caption first;
# Wine hands the keys to its active window.
press_in() { # title keys...
    local line
    line=$(probe dump "$1" | grep -m1 '^window ') || return 1
    xdotool mousemove $(($(field "$line" x) + $(field "$line" w) / 2)) $(($(field "$line" y) + 8))
    shift
    [ $# -eq 0 ] || xdotool key "$@"
}
type_in() { # title text
    press_in "$1" && xdotool type --delay 4 "$2"
}
# Moves the focus with Tab, as a person would, until control ID has it.
focus_control() { # id
    local tabs=0
    until focus_is Halvex "$1"; do
        [ $tabs -ge 10 ] && return 1
        press_in Halvex Tab
        tabs=$((tabs + 1))
        wait_until 1 focus_is Halvex "$1" && return 0
    done
}

winpath() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }

# Types PATH into the file dialog TITLE once its file name box has the focus,
# confirms with Enter and waits until the dialog has gone.
# Gives the file dialog's file name box the focus, clicking it when the
# dialog is not the active window.
focus_file_name() { # title
    window_there "$1" || return 1
    wait_until 3 focus_is "$1" 1148 && return 0
    click_control "$1" 1148
    wait_until 10 focus_is "$1" 1148
}
choose_in_dialog() { # title unix-path
    focus_file_name "$1" || return 1
    type_in "$1" "$(winpath "$2")"
    press_in "$1" Return
    window_gone "$1"
}
cancel_dialog() { # title
    focus_file_name "$1" || return 1
    press_in "$1" Escape
    window_gone "$1"
}

open_title="Select BMP or TGA file"
save_title="Select RGN/MBR file to save"

start_app() { # arguments for halvex.exe...
    wine "$exe" "$@" >/dev/null 2>&1 &
    app_pid=$!
    window_there Halvex 30000 && wait_until 10 focus_is Halvex 1
}

# Waits (bounded) for the program to end and sets app_exit to its exit
# status, or to "running" after killing it when it did not end in time. Not
# for a subshell: only this shell can wait for the program.
app_exit=
finish_app() { # [timeout]
    local deadline=$((SECONDS + ${1:-15}))
    while kill -0 "$app_pid" 2>/dev/null; do
        if [ $SECONDS -ge $deadline ]; then
            kill "$app_pid" 2>/dev/null
            wait "$app_pid" 2>/dev/null
            app_pid=
            app_exit=running
            return
        fi
        sleep 0.1
    done
    wait "$app_pid"
    app_exit=$?
    app_pid=
}
check_exit() { # name expected
    finish_app
    check_eq "$1" "$2" "$app_exit"
}
end_app() { # leaves no program behind for the next case
    [ -n "$app_pid" ] || return 0
    kill "$app_pid" 2>/dev/null
    wait "$app_pid" 2>/dev/null
    app_pid=
    window_gone Halvex 10000
}

browse() { # unix-path: Browse, then that file in the open dialog
    click_control Halvex 4004 && choose_in_dialog "$open_title" "$1"
}
save_as() { # unix-path: OK, then that target in the save dialog
    click_control Halvex 1 && choose_in_dialog "$save_title" "$1"
}

# The text "File to convert" shows for a path.
shown_path() { # windows-path
    local p=$1
    if [ ${#p} -le 48 ]; then printf '%s' "$p"; else printf '...%s' "${p: -45}"; fi
}

# Where the centring hook puts a w x h window on a sw x sh screen.
centred() { # w h sw sh -> "x y"
    local x=$(($3 / 2 - $1 / 2)) y=$(($4 / 2 - $2 / 2))
    [ $x -lt 0 ] && x=0
    [ $y -lt 0 ] && y=0
    [ $((x + $1)) -gt "$3" ] && x=$(($3 - $1))
    [ $((y + $2)) -gt "$4" ] && y=$(($4 - $2))
    echo "$x $y"
}
check_centred() { # name title
    local line w h screen
    line=$(probe dump "$2" | grep -m1 '^window ')
    w=$(field "$line" w) h=$(field "$line" h) screen=$(field "$line" screen)
    check_eq "$1" "$(centred "$w" "$h" "${screen%x*}" "${screen#*x}")" \
        "$(field "$line" x) $(field "$line" y)"
}

error_text() { probe dump Error | grep -m1 -o 'text="Error[^"]*"' | sed 's/^text="//; s/"$//'; }
# Checks the error box and its text, that it is owned by the (now disabled)
# main dialog, then dismisses it with Enter.
check_error_box() { # name expected-text
    if ! window_there Error 10000; then
        not_ok "$1" "no message box"
        return
    fi
    check_eq "$1" "$2" "$(error_text)"
    check_eq "$1: the main dialog waits for the box" 0 "$(window_field Halvex enabled)"
    press_in Error Return
    window_gone Error || not_ok "$1: the box closes"
}

same_file() { cmp -s "$1" "$2"; }
cli_convert() { # dither compensation input output
    wine "$cli" convert --dither "$1" --green-compensation "$2" "$(winpath "$3")" \
        "$(winpath "$4")" >/dev/null 2>&1
}

# ---- the cases ------------------------------------------------------------

case_resources() {
    local template expected
    template=$(probe resources "$(winpath "$exe")")
    # windres stores the dialog's class name in capitals; class names are
    # matched without regard to case.
    expected=$(cat "$here/expected-resources.txt")
    check_eq "resources: dialog template, icon, manifest and version record" \
        "$expected" "$(sed 's/class="HALVEXCLASS"/class="halvexClass"/' <<<"$template")"

    local headers imports
    headers=$(i686-w64-mingw32-objdump -p "$exe")
    check "halvex.exe is a 32-bit PE of the GUI subsystem" \
        grep -Eq '^Subsystem[[:space:]]+00000002' <<<"$headers"
    check "halvex.exe is built for i386" grep -q 'file format pei-i386' <<<"$headers"
    imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'a-z' 'A-Z' | sort | tr '\n' ' ')
    check "halvex.exe needs only the DLLs that Windows ships ($imports)" \
        bash -c '[ -z "$(tr " " "\n" <<<"$1" | grep -vxE "|KERNEL32.DLL|USER32.DLL|GDI32.DLL|COMCTL32.DLL|COMDLG32.DLL|MSVCRT.DLL|ADVAPI32.DLL|SHELL32.DLL")" ]' _ "$imports"
}

case_start_defaults() {
    # A file named on the command line changes nothing.
    start_app "$(winpath "$work/pic.bmp")" || { not_ok "the dialog starts"; return; }
    local dump
    dump=$(probe dump Halvex)
    local window
    window=$(grep -m1 '^window ' <<<"$dump")
    check_eq "start: the window's class" halvexClass "$(field "$window" class)"
    local class
    class=$(grep -m1 '^class ' <<<"$dump")
    check_eq "start: halvexClass copies the dialog class's style and extra bytes" \
        "$(field "$class" dialogstyle) $(field "$class" dialogwndextra)" \
        "$(field "$class" style) $(field "$class" wndextra)"
    local combo
    combo=$(grep -m1 ' id=4001 ' <<<"$dump")
    check_eq "start: the dither list" \
        "None|Floyd-Steinberg (generic)|Atkinson-Boyle (high contrast details)" \
        "$(field "$combo" entries)"
    check_eq "start: Floyd-Steinberg is selected" 1 "$(field "$combo" selection)"
    check_eq "start: green level compensation is ticked" 1 \
        "$(field "$(grep -m1 ' id=4007 ' <<<"$dump")" check)"
    check_eq "start: no file is shown, whatever the command line" "" \
        "$(field "$(grep -m1 ' id=4006 ' <<<"$dump")" text)"
    check_eq "start: the OK button has the focus" 1 "$(focus_id Halvex)"
    check_eq "start: the controls in the order of the template" \
        "1 4001 4002 4003 4004 4005 4006 4007" \
        "$(grep '^control depth=0 ' <<<"$dump" | sed 's/.* id=\([0-9]*\) .*/\1/' | tr '\n' ' ' | sed 's/ $//')"

    # The class icon is drawn at the left of the caption.
    local x y colours
    x=$(field "$window" x) y=$(field "$window" y)
    colours=$(import -display "$DISPLAY" -window root -crop "16x16+$((x + 4))+$((y + 3))" \
        -format '%k' info: 2>/dev/null)
    check "start: the caption shows the application icon ($colours colours)" \
        test "${colours:-0}" -ge 12

    # Escape is IDCANCEL, which the dialog ignores. The Tab after it moves
    # the focus only once the Escape has been dealt with.
    press_in Halvex Escape Tab
    check "Escape, then Tab: the Tab moves the focus" wait_until 10 focus_is Halvex 4001
    check_eq "Escape does nothing" "1 running" \
        "$(probe count Halvex) $(kill -0 "$app_pid" 2>/dev/null && echo running)"

    # Resizing and maximising move no control.
    kill -0 "$app_pid" 2>/dev/null || return
    local before after
    before=$(probe dump Halvex | grep '^control depth=0 ' | sed 's/.* id=\([0-9]*\) .* w=\([0-9]*\) h=\([0-9]*\) rx=\(-*[0-9]*\) ry=\(-*[0-9]*\).*/\1 \2 \3 \4 \5/')
    local width_before
    width_before=$(window_field Halvex w)
    click_caption_button Halvex max
    wait_until 10 bash -c '[ "$(wine "$1" dump Halvex 2>/dev/null | grep -m1 "^window " | sed "s/.* w=\([0-9]*\) .*/\1/")" != "$2" ]' \
        _ "$probe_exe" "$width_before"
    after=$(probe dump Halvex | grep '^control depth=0 ' | sed 's/.* id=\([0-9]*\) .* w=\([0-9]*\) h=\([0-9]*\) rx=\(-*[0-9]*\) ry=\(-*[0-9]*\).*/\1 \2 \3 \4 \5/')
    check "maximise: the window grows ($width_before to $(window_field Halvex w) pixels)" \
        test "$(window_field Halvex w)" -gt "$width_before"
    check_eq "maximise: no control moves or changes size" "$before" "$after"
    end_app
}

case_endings() {
    start_app || { not_ok "the dialog starts"; return; }
    click_control Halvex 4003
    check_exit "Cancel ends with exit status 1" 1

    start_app || { not_ok "the dialog starts"; return; }
    click_caption_button Halvex close
    check_exit "the close box ends with exit status 0" 0

    start_app || { not_ok "the dialog starts"; return; }
    press_in Halvex alt+F4
    check_exit "Alt+F4 ends with exit status 0" 0
}

case_convert_plain() {
    local source=$work/pic.bmp target=$work/plain.rgn expected=$work/expected.rgn
    python3 "$fixtures" bmp "$source"
    python3 "$fixtures" rgn "$expected" off
    local before
    before=$(sha256sum <"$source")
    start_app || { not_ok "the dialog starts"; return; }
    browse "$source"
    check_eq "Browse shows the chosen path" "$(winpath "$source")" "$(control_field Halvex 4006 text)"
    # None, chosen from the keyboard; compensation cleared with the mouse.
    click_control Halvex 4007
    wait_until 10 field_is Halvex 4007 check 0
    focus_control 4001
    press_in Halvex Up
    wait_until 10 field_is Halvex 4001 selection 0
    click_control Halvex 1
    if window_there "$save_title"; then
        local line
        line=$(probe dump "$save_title" | grep -m1 ' id=1136 ')
        check_eq "the save dialog's file types" "RGN/MBR files|All" "$(field "$line" entries)"
        check_eq "the save dialog selects the first pair" 0 "$(field "$line" selection)"
        check_centred "the save dialog is centred on the screen" "$save_title"
    else
        not_ok "OK opens the save dialog"
    fi
    choose_in_dialog "$save_title" "$target"
    check_exit "OK and a target: exit status 0" 0
    check "mode None, compensation off: the exact RGN/MBR bytes" same_file "$expected" "$target"
    check_eq "the source is not modified" "$before" "$(sha256sum <"$source")"
}

case_convert_defaults_and_keys() {
    local source=$root/samples/sample.bmp target=$work/sample.rgn expected=$work/sample-cli.rgn
    # Both the command line and the dialog replace an existing target whole,
    # through a temporary file that does not stay behind.
    printf 'an older, longer file than the conversion will make%.0s' {1..2000} >"$expected"
    cp "$expected" "$target"
    cli_convert floyd-steinberg on "$source" "$expected"
    check_eq "halvex-cli.exe replaces an existing target" 38448 "$(stat -c %s "$expected")"
    wine "$cli" convert "$(winpath "$source")" NUL >/dev/null 2>&1
    check_eq "halvex-cli.exe writes to the NUL device in place" 0 $?
    start_app || { not_ok "the dialog starts"; return; }
    click_control Halvex 4004
    if window_there "$open_title"; then
        local line
        line=$(probe dump "$open_title" | grep -m1 ' id=1136 ')
        check_eq "the open dialog's file types" "Bitmaps|All" "$(field "$line" entries)"
        check_eq "the open dialog selects the first pair" 0 "$(field "$line" selection)"
        check_centred "the open dialog is centred on the screen" "$open_title"
    else
        not_ok "Browse opens the open dialog"
    fi
    choose_in_dialog "$open_title" "$source"
    # Enter on the dither list runs OK: cancel that save dialog, then Enter
    # on the check box runs OK again.
    focus_control 4001
    press_in Halvex Return
    check "Enter on the dither list opens the save dialog" window_there "$save_title" 10000
    cancel_dialog "$save_title"
    check_eq "cancelling the save dialog leaves the dialog open" 1 "$(probe count Halvex)"
    focus_control 4007
    press_in Halvex Return
    check "Enter on the check box opens the save dialog" window_there "$save_title" 10000
    check_eq "Enter on the check box leaves it ticked" 1 "$(control_field Halvex 4007 check)"
    choose_in_dialog "$save_title" "$target"
    check_exit "defaults: exit status 0" 0
    check "defaults (Floyd-Steinberg, compensation on): the same bytes as halvex-cli" \
        same_file "$expected" "$target"
    check_eq "no temporary file is left beside the targets" "" "$(ls -A "$work" | grep '^\.')"
}

case_convert_tga_atkinson() {
    local source=$work/pic.tga target=$work/pic.mbr expected=$work/pic-cli.mbr
    python3 "$fixtures" tga "$source"
    cli_convert atkinson-boyle off "$source" "$expected"
    start_app || { not_ok "the dialog starts"; return; }
    browse "$source"
    click_control Halvex 4007
    wait_until 10 field_is Halvex 4007 check 0
    focus_control 4001
    press_in Halvex Down
    wait_until 10 field_is Halvex 4001 selection 2
    save_as "$target"
    check_exit "TGA, Atkinson-Boyle, compensation off: exit status 0" 0
    check "TGA, Atkinson-Boyle, compensation off: the same bytes as halvex-cli" \
        same_file "$expected" "$target"
}

case_long_path() {
    local folder=$work/a-folder-whose-name-is-long-enough-to-be-cut
    mkdir -p "$folder"
    local source=$folder/picture-with-a-long-name.bmp
    python3 "$fixtures" bmp "$source"
    # A path of exactly 48 bytes is shown whole: Z:, the folder, \, name, .bmp.
    local exact= pad=$((48 - 2 - ${#work} - 1 - 4))
    if [ $pad -ge 1 ]; then
        exact=$work/$(head -c "$pad" /dev/zero | tr '\0' 'e').bmp
        cp "$source" "$exact"
    fi
    start_app || { not_ok "the dialog starts"; return; }
    browse "$source"
    check_eq "a long path is shown as ... and its last 45 bytes" \
        "$(shown_path "$(winpath "$source")")" "$(control_field Halvex 4006 text)"
    check "the shortened path is 48 bytes" test "$(control_field Halvex 4006 text | wc -c)" -eq 48
    if [ -n "$exact" ]; then
        browse "$exact"
        check_eq "a path of exactly 48 bytes is shown whole" "$(winpath "$exact")" \
            "$(control_field Halvex 4006 text)"
    fi
    end_app
}

case_bad_sources() {
    printf 'this is not a picture\n' >"$work/text.bmp"
    head -c 300 /dev/urandom >"$work/noise.tga"
    python3 "$fixtures" bmp "$work/whole.bmp"
    head -c 40 "$work/whole.bmp" >"$work/cut.bmp"
    : >"$work/empty.bmp"
    start_app || { not_ok "the dialog starts"; return; }
    local name
    for name in text.bmp noise.tga cut.bmp empty.bmp; do
        local before
        before=$(sha256sum <"$work/$name")
        browse "$work/$name"
        check_error_box "$name: the error box" "Error reading file (not BMP?)"
        check_eq "$name: the file name is cleared" "" "$(control_field Halvex 4006 text)"
        check_eq "$name: the dialog stays open" 1 "$(probe count Halvex)"
        check_eq "$name: the source is not modified" "$before" "$(sha256sum <"$work/$name")"
    done

    # A file that another program holds locked cannot be opened.
    cp "$work/whole.bmp" "$work/locked.bmp"
    coproc HOLDER { wine "$probe_exe" hold "$(winpath "$work/locked.bmp")" 20000 2>/dev/null; }
    holder_pid=$HOLDER_PID
    local held=
    read -r -t 15 held <&"${HOLDER[0]}"
    if [ "${held%$'\r'}" = held ]; then
        browse "$work/locked.bmp"
        check_error_box "a locked source: the error box" "Error opening file"
        check_eq "a locked source: the file name is cleared" "" "$(control_field Halvex 4006 text)"
    else
        not_ok "a locked source" "could not lock the file"
    fi
    kill "$holder_pid" 2>/dev/null
    wait "$holder_pid" 2>/dev/null
    holder_pid=

    # After the failures no image is held: OK writes a 0 x 0 image.
    python3 "$fixtures" empty "$work/empty-expected.rgn"
    save_as "$work/after-failure.rgn"
    check_exit "OK after a failed Browse: exit status 0" 0
    check "OK after a failed Browse: a 0 x 0 image, not the earlier size" \
        same_file "$work/empty-expected.rgn" "$work/after-failure.rgn"
}

case_cancelled_browse_and_failed_target() {
    local source=$work/pic.bmp expected=$work/expected-on.rgn
    python3 "$fixtures" bmp "$source"
    python3 "$fixtures" rgn "$expected" on
    start_app || { not_ok "the dialog starts"; return; }

    # A target that another program holds locked: the conversion fails, the
    # dialog stays open, nothing is shown and the locked file is untouched;
    # a second OK converts the same image.
    browse "$source"
    printf 'keep me' >"$work/locked.rgn"
    coproc HOLDER { wine "$probe_exe" hold "$(winpath "$work/locked.rgn")" 20000 2>/dev/null; }
    holder_pid=$HOLDER_PID
    local held=
    read -r -t 15 held <&"${HOLDER[0]}"
    focus_control 4001
    press_in Halvex Up
    wait_until 10 field_is Halvex 4001 selection 0
    save_as "$work/locked.rgn"
    # A message box would come before onOk returns, and would take the Tab.
    press_in Halvex Tab
    check "a target that cannot be written: OK returns, the dialog takes keys" \
        wait_until 10 focus_is Halvex 4001
    check_eq "a target that cannot be written: no message, the dialog stays" "0 1" \
        "$(probe count Error) $(probe count Halvex)"
    kill "$holder_pid" 2>/dev/null
    wait "$holder_pid" 2>/dev/null
    holder_pid=
    check_eq "a target that cannot be written is left as it was" "keep me" "$(cat "$work/locked.rgn")"
    check_eq "after the failed conversion the path, list and box are kept" \
        "$(winpath "$source") 0 1" \
        "$(control_field Halvex 4006 text) $(control_field Halvex 4001 selection) $(control_field Halvex 4007 check)"

    # A target in a folder that does not exist: the save dialog itself says
    # so (its own box disables it), and nothing is written.
    click_control Halvex 1
    focus_file_name "$save_title"
    type_in "$save_title" "$(winpath "$work/no-such-folder/out.rgn")"
    press_in "$save_title" Return
    check "a target in a missing folder: the save dialog refuses it" \
        wait_until 10 bash -c '[ "$(wine "$1" dump "$2" 2>/dev/null | grep -m1 "^window " | grep -o "enabled=[01]")" = enabled=0 ]' \
        _ "$probe_exe" "$save_title"
    press_in "$save_title" Return
    wait_until 10 bash -c 'wine "$1" dump "$2" 2>/dev/null | grep -q "^window .*enabled=1"' _ "$probe_exe" "$save_title"
    cancel_dialog "$save_title"
    check_eq "a target in a missing folder: nothing written, the dialog stays" "absent 1" \
        "$([ -e "$work/no-such-folder" ] && echo present || echo absent) $(probe count Halvex)"

    # The source deleted after Browse: the image is held in memory.
    rm -f "$source"
    save_as "$work/second.rgn"
    check_exit "a second OK: exit status 0" 0
    check "a second OK converts the same image (mode None, compensation on)" \
        same_file "$expected" "$work/second.rgn"

    # Browse, then cancelling the open dialog discards the image.
    python3 "$fixtures" bmp "$source"
    start_app || { not_ok "the dialog starts"; return; }
    browse "$source"
    click_control Halvex 4004
    cancel_dialog "$open_title"
    check_eq "a cancelled Browse clears the file name" "" "$(control_field Halvex 4006 text)"
    python3 "$fixtures" empty "$work/empty-expected.rgn"
    save_as "$work/after-cancel.rgn"
    check_exit "OK after a cancelled Browse: exit status 0" 0
    check "OK after a cancelled Browse writes a 0 x 0 image" \
        same_file "$work/empty-expected.rgn" "$work/after-cancel.rgn"
}

case_commands_during_file_dialogs() {
    local source=$work/pic.bmp
    python3 "$fixtures" bmp "$source"
    start_app || { not_ok "the dialog starts"; return; }
    click_control Halvex 4004
    window_there "$open_title"
    # The main dialog stays enabled, but takes no command meanwhile.
    click_control Halvex 4003
    click_control Halvex 4004
    click_control Halvex 1
    click_caption_button Halvex close
    # The clicks are dealt with in order: the Tab after them shows that all
    # have been (the main dialog now has the focus).
    press_in Halvex Tab
    wait_until 5 bash -c 'wine "$1" dump Halvex 2>/dev/null | grep -q "^focus .*active=1"' _ "$probe_exe"
    check_eq "while the open dialog is up: Cancel, Browse, OK and close are refused" \
        "1 1 0 running" \
        "$(probe count Halvex) $(probe count "$open_title") $(probe count "$save_title") $(kill -0 "$app_pid" 2>/dev/null && echo running)"
    choose_in_dialog "$open_title" "$source"
    check_eq "after that the chosen file loads" "$(winpath "$source")" "$(control_field Halvex 4006 text)"

    click_control Halvex 1
    window_there "$save_title"
    click_control Halvex 4003
    click_caption_button Halvex close
    choose_in_dialog "$save_title" "$work/during.rgn"
    check_exit "while the save dialog is up, Cancel and close are refused: exit status 0" 0
    check "and the conversion ran" test -s "$work/during.rgn"
}

# ---- run ----------------------------------------------------------------

started=$SECONDS
command -v python3 >/dev/null || { echo "python3 is needed" >&2; exit 2; }
start_display
prepare_prefix
echo "# display $DISPLAY, prefix ready after $((SECONDS - started)) s"

# HALVEX_WINE_CASES="case_endings case_long_path" runs only those cases.
all_cases="case_resources case_start_defaults case_endings case_convert_plain
    case_convert_defaults_and_keys case_convert_tga_atkinson case_long_path case_bad_sources
    case_cancelled_browse_and_failed_target case_commands_during_file_dialogs"
for test_case in ${HALVEX_WINE_CASES:-$all_cases}; do
    case_started=$SECONDS
    "$test_case"
    end_app
    echo "# $test_case: $((SECONDS - case_started)) s"
done

echo "# the Wine run took $((SECONDS - started)) s"
echo "wine: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
