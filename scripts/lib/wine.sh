# Running the Windows programs under Wine: one prefix set-up and one virtual
# display for every script that needs them (the dialog's launcher, the
# end-to-end and parity suites, the package suite).
#
#   . scripts/lib/wine.sh
#   wine_use_prefix DIR       # exports WINEPREFIX and the quiet settings;
#                             # creates a 32-bit prefix there on first use and
#                             # keeps one wineserver up so each start is quick
#   wine_virtual_display      # starts Xvfb on a free display, exports DISPLAY
#   wine_stop                 # ends the wineserver and the virtual display
#
# Callers usually `trap wine_stop EXIT` (plus their own clean-up). A script
# that shows windows calls wine_virtual_display (or has DISPLAY set) before
# wine_use_prefix: the desktop process that the first Wine program starts
# keeps the display it found for as long as the wineserver runs.

wine_xvfb_pid=

wine_use_prefix() { # DIR
    export WINEPREFIX=$1
    export WINEDEBUG=-all
    # No .NET or HTML engine: their installers would ask for downloads.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "creating the Wine prefix in $WINEPREFIX (first use only)" >&2
        mkdir -p "$(dirname "$WINEPREFIX")"
        WINEARCH=win32 timeout 300 wineboot -i >/dev/null 2>&1 || true
        # The registry reaches the disk when that first server ends.
        timeout 60 wineserver -w 2>/dev/null || true
    fi
    wineserver -p 120 2>/dev/null || true
}

wine_virtual_display() {
    local number_file
    number_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number_file" 2>/dev/null &
    wine_xvfb_pid=$!
    local tries
    for ((tries = 0; tries < 100; tries++)); do
        [ -s "$number_file" ] && break
        sleep 0.1
    done
    if [ ! -s "$number_file" ]; then
        rm -f "$number_file"
        echo "Xvfb did not start" >&2
        return 1
    fi
    export DISPLAY=:$(tr -d '\n' <"$number_file")
    rm -f "$number_file"
}

wine_stop() {
    [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null
    if [ -n "$wine_xvfb_pid" ]; then
        kill "$wine_xvfb_pid" 2>/dev/null
        wait "$wine_xvfb_pid" 2>/dev/null
        wine_xvfb_pid=
    fi
    return 0
}
