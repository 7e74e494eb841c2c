#!/usr/bin/env bash
# Builds the 32-bit Windows program (preset win32: halvex.exe, halvex-cli.exe
# and the test probe) and runs its end-to-end tests under Wine on a virtual
# display. One line per check; non-zero exit on any failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
mkdir -p build
log=build/wine-build.log
. scripts/lib/libraries.sh
build_libraries win32 || { echo "wine: building the decoder libraries failed"; exit 1; }
if ! { cmake --preset win32 && cmake --build --preset win32 -j2; } >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "wine: the win32 build failed (full log in $log)"
    exit 1
fi
echo "built halvex.exe and halvex-cli.exe (preset win32)"
exec bash tests/wine/e2e.sh build/win32
