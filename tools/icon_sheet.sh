#!/usr/bin/env bash
# Writes a contact sheet of the icons on the toolbar's grey: every icon at
# 16 x 16 and 32 x 32, first at 100 %, then the same sheet at 400 % without
# smoothing, so single pixels can be judged.
#   tools/icon_sheet.sh <images_dir> <out.png>
set -euo pipefail
images=$1
out=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for size in 16x16 32x32; do
  montage "$images/$size"/*.gif -tile 14x -geometry +4+4 -background '#d9d9d9' "$tmp/$size.png"
done
montage "$tmp/16x16.png" "$tmp/32x32.png" -tile 1x -geometry +0+8 -background '#d9d9d9' "$tmp/sheet.png"
montage "$tmp/sheet.png" -filter point -resize 400% -geometry +0+0 "$tmp/large.png"
montage "$tmp/sheet.png" "$tmp/large.png" -tile 1x -geometry +0+8 -background '#d9d9d9' "$out"
echo "$out"
