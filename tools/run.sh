#!/usr/bin/env bash
# Sets up, builds and starts Orvane. Without an X display it starts a
# virtual one, waits for the main window, saves a screenshot and prints its
# path.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/setup.sh" "$top/build"

# Without files to open, the demo phantom: its grey scene and its object shell.
if [ $# -eq 0 ]; then
  set -- "$top/build/demo/phantom.scn" "$top/build/demo/phantom_labels.sh"
fi

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  "$top/build/orvane" "$@"
  exit 0
fi

display=:$(( 90 + RANDOM % 100 ))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
"$top/build/orvane" "$@"
title="3D visualization tool"
for _ in $(seq 100); do
  xwininfo -name "$title" >/dev/null 2>&1 && break
  sleep 0.1
done
sleep 1
shot=$top/build/orvane-screenshot.png
import -window root "$shot"
echo "Orvane is running on the virtual display $display (Xvfb pid $xvfb)."
echo "screenshot: $shot"
