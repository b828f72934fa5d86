#!/usr/bin/env bash
# Writes a PNG screenshot of each layout with the demo loaded into
# build/screens/ (on a virtual display when there is no display).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/setup.sh" "$top/build"
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  display=:$(( 300 + RANDOM % 100 ))
  export XAUTHORITY=$top/build/screens.xauth
  rm -f "$XAUTHORITY"
  xauth -q -f "$XAUTHORITY" add "$display" . "$(mcookie)"
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp -auth "$XAUTHORITY" >/dev/null 2>&1 &
  xvfb=$!
  trap 'kill $xvfb 2>/dev/null || true' EXIT
  export DISPLAY=$display
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
fi
"$top/build/orvanesh" -tk "$top/tools/screens.tcl" "$top/build" "$top/build/screens"
