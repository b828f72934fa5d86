#!/usr/bin/env bash
# Writes a PNG screenshot of each layout with the demo loaded into
# build/screens/ (on a virtual display when there is no display).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/setup.sh" "$top/build"
. "$top/tools/virtual_display.sh"
start_virtual_display 300 "$top/build/screens.xauth"
"$top/build/orvanesh" -tk "$top/tools/screens.tcl" "$top/build" "$top/build/screens"
