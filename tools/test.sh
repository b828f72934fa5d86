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
# cookie so that Tk's send (which refuses an open server) can drive the
# running program.
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  display=:$(( 200 + RANDOM % 100 ))
  export XAUTHORITY=$top/build/test.xauth
  rm -f "$XAUTHORITY"
  xauth -q -f "$XAUTHORITY" add "$display" . "$(mcookie)"
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp -auth "$XAUTHORITY" >/dev/null 2>&1 &
  xvfb=$!
  trap 'kill $xvfb 2>/dev/null || true' EXIT
  export DISPLAY=$display
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
fi

status=0
(cd "$top/build" && ctest --output-on-failure) || status=1
export ASAN_OPTIONS=detect_leaks=0
(cd "$top/build-asan" && ctest --output-on-failure) || status=1
# The reader fuzz targets, 10 s each (tools/fuzz.sh HOURS*3600 for a long run).
"$top/tools/fuzz.sh" 10 || status=1
exit $status
