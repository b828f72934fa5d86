#!/usr/bin/env bash
# The hostile-argument sweep over the whole command table (tests/sweep).
#   tools/sweep.sh [--long] [--build DIR] [-seed N] [-calls N] [-limit S] ...
# --long calls every command with every hostile value per position (about 23500
# calls, four minutes under the sanitizers); without it a
# short run of 3000 random calls. The scripting shell of DIR runs it
# (default: build-asan when it exists, else build). Prints the counts and
# every crash or hang with the line that replays it; exits 1 on any.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$top/build-asan
[ -x "$build/orvanesh" ] || build=$top/build
args=()
while [ $# -gt 0 ]; do
  case $1 in
    --long) args+=(-long) ;;
    --build) build=$2; shift ;;
    *) args+=("$1") ;;
  esac
  shift
done
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
exec "$build/orvanesh" "$top/tests/sweep/sweep.tcl" "${args[@]}"
