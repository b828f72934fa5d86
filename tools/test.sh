#!/usr/bin/env bash
# Sets up and builds the project, then runs every test: the unit and script
# suites of the ordinary build, and again under the address and
# undefined-behaviour sanitizers with a short hostile-argument sweep of the
# command table; then each reader's fuzz target for a short while.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/setup.sh" "$top/build"
"$top/tools/setup.sh" "$top/build-asan" -DORVANE_SANITIZE=ON

# One virtual display for the tests that need Tk, with an authorisation
# cookie so that Tk's send can drive the running program.
. "$top/tools/virtual_display.sh"
start_virtual_display 200 "$top/build/test.xauth"

status=0
(cd "$top/build" && ctest --output-on-failure) || status=1
export ASAN_OPTIONS=detect_leaks=0
(cd "$top/build-asan" && ctest --output-on-failure) || status=1
# The reader fuzz targets, 10 s each (tools/fuzz.sh HOURS*3600 for a long run).
"$top/tools/fuzz.sh" 10 || status=1
exit $status
