#!/usr/bin/env bash
# Builds the reader fuzz targets with clang and libFuzzer (tests/fuzz, tree
# build-fuzz), writes their seed corpora with the program's own writers and
# runs each target for a bounded time.
#   tools/fuzz.sh [seconds per target, default 15]
# For a long run give hours: tools/fuzz.sh 7200. The corpora grow in
# build-fuzz/corpus/<target> and are kept between runs; a crash leaves its
# input in build-fuzz/findings/ (replay: build-fuzz/tests/fuzz/<target>_fuzz FILE).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-15}
build=$top/build-fuzz
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$top" -B "$build" -DORVANE_FUZZ=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"$(nproc)" >/dev/null
mkdir -p "$build/corpus" "$build/findings"
"$build/tests/fuzz/make_seeds" "$build/seeds"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
status=0
total_runs=0 total_crashes=0 total_hangs=0
for target in scene pgm curve shell bodyshell sections; do
  corpus=$build/corpus/$target
  mkdir -p "$corpus"
  log=$build/findings/$target.log
  set +e
  "$build/tests/fuzz/${target}_fuzz" "$corpus" "$build/seeds/$target" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=3072 -close_fd_mask=1 \
    -artifact_prefix="$build/findings/$target-" >"$log" 2>&1
  code=$?
  set -e
  runs=$(grep -o 'Done [0-9]* runs' "$log" | grep -o '[0-9]*' | tail -1)
  counts=$(grep -o 'fuzz counts: .*' "$log" | tail -1)
  hangs=0 crashes=0
  if grep -q 'ERROR: libFuzzer: timeout' "$log"; then hangs=1; status=1
  elif [ $code -ne 0 ]; then crashes=1; status=1; fi
  total_runs=$((total_runs + ${runs:-0}))
  total_crashes=$((total_crashes + crashes))
  total_hangs=$((total_hangs + hangs))
  echo "fuzz $target: ${runs:-0} executions, ${counts#fuzz counts: }, $crashes crashes, $hangs hangs"
  if [ $((crashes + hangs)) -ne 0 ]; then
    grep -m1 -A12 'ERROR:\|runtime error' "$log" || tail -20 "$log"
  fi
done
echo "fuzz: $total_runs executions, $total_crashes crashes, $total_hangs hangs"
exit $status
