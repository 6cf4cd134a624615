#!/bin/sh
# Host side: ImageMagick reads back every bitmap the batch conversion wrote
# under Wine (settings_dialog_test) and must see exactly the module's pixels,
# which the test left beside each file as <file>.bmp.expect.
set -eu
DIR=$1
command -v convert >/dev/null || { echo "ImageMagick's convert is not installed"; exit 1; }
n=0
for expect in $(find "$DIR" -name '*.bmp.expect' | sort); do
  bmp=${expect%.expect}
  identify "$bmp" >/dev/null
  # "x,y: (r,g,b)  #RRGGBB  name" -> "x,y: #RRGGBB"
  if ! convert "$bmp" -depth 8 txt:- | sed -n 's/^\([0-9]*,[0-9]*:\) ([^)]*) *\(#[0-9A-Fa-f]\{6\}\).*/\1 \2/p' \
       | tr 'a-f' 'A-F' | cmp -s - "$expect"; then
    echo "pixels differ: $bmp"
    exit 1
  fi
  echo "ok: $bmp $(identify -format '%wx%h %[bit-depth]-bit %m' "$bmp")"
  n=$((n + 1))
done
[ "$n" -ge 4 ] || { echo "expected at least 4 bitmaps in $DIR, found $n"; exit 1; }
