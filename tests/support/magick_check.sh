#!/bin/sh
# Host side: ImageMagick reads back every picture file a test wrote under Wine and
# must see exactly the pixels the test expected, which it left beside each file
# as <file>.expect (testsupport::WriteMagickExpect).
# Usage: magick_check.sh DIR MIN_FILES
set -eu
DIR=$1
MIN=${2:-1}
command -v convert >/dev/null || { echo "ImageMagick's convert is not installed"; exit 1; }
n=0
for expect in $(find "$DIR" -name '*.expect' | sort); do
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
[ "$n" -ge "$MIN" ] || { echo "expected at least $MIN bitmaps in $DIR, found $n"; exit 1; }
