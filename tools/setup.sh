#!/usr/bin/env bash
# Installs every Debian package the project needs (as root) and builds it.
#   tools/setup.sh [build-dir] [extra cmake options...]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
shift || true

packages=(build-essential cmake pkg-config git
          tcl8.6 tcl8.6-dev tk8.6 tk8.6-dev bwidget libx11-dev
          libgtest-dev googletest
          python3-numpy python3-scipy python3-vtk9 libvolpack1-dev python3-skimage python3-opencv
          xvfb xauth x11-utils xdotool imagemagick
          clang libclang-rt-14-dev
          libinsighttoolkit5-dev libgdcm-dev zlib1g-dev python3-nibabel python3-pydicom)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}"
fi

cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
