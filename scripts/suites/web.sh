#!/usr/bin/env bash
# The web page: builds halvex.html with emscripten (preset web) and the Linux
# halvex-cli, then drives the page in headless Chromium from disk and checks
# its downloads against the command line byte for byte.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
export NODE_PATH=/usr/share/nodejs
. scripts/lib/libraries.sh
build_libraries web || { echo "web: building the decoder libraries failed"; exit 1; }

{ cmake --preset web >/dev/null && cmake --build --preset web; } || { echo "web: build failed"; exit 1; }
{ cmake --preset release >/dev/null && cmake --build --preset release --target halvex-cli; } ||
    { echo "web: halvex-cli build failed"; exit 1; }
(cd web && npm ci --no-audit --no-fund --loglevel=error) || { echo "web: npm ci failed"; exit 1; }

HALVEX_PAGE="$root/build/web/web/halvex.html" \
HALVEX_CLI="$root/build/release/cli/halvex-cli" \
HALVEX_SAMPLE="$root/samples/sample.bmp" \
    node --test web/tests/
