#!/bin/sh
# Screenshots of the viewer for looking at, not a test: the main window on the
# sample title, its first picture fitted to the window and full screen, the
# settings dialog and the version dialog, at 96 and 144 dpi, as
# OUT/<dpi>-main.png, -fit.png, -fullscreen.png, -settings.png, -batch.png,
# -version.png.
# Usage: screenshots.sh [OUT]   (default: $KOLBRI_BUILD/screenshots; the x86_64
# tree unless KOLBRI_BUILD names another, already built)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ROOT/tools/arch.sh"
kolbri_trees
export KOLBRI_BUILD=${KOLBRI_BUILD:-$BUILD64}
OUT=${1:-$KOLBRI_BUILD/screenshots}
mkdir -p "$OUT"
BIN=$KOLBRI_BUILD/bin
PLUGIN="Z:$(echo "$BIN/sample.kol" | tr / '\\')"
shot() { sleep 2; import -window root "$OUT/$1.png"; echo "$OUT/$1.png"; }
for dpi in 96 144; do
  sh "$ROOT/tools/wine-run.sh" --dpi "$dpi" --cdrom "$BIN/sample-cd" "$BIN/kolbri.exe" "$PLUGIN" \
    >/dev/null 2>&1 &
  pid=$!
  export DISPLAY="$(cat "$KOLBRI_BUILD/.display")"
  win=
  for _ in $(seq 60); do
    win=$(xdotool search --name '^コルブリ$' 2>/dev/null | head -1) && [ -n "$win" ] && break
    sleep 1
  done
  [ -n "$win" ] || { echo "screenshots.sh: no main window at $dpi dpi" >&2; kill $pid; exit 1; }
  shot "$dpi-main"
  # The first picture (Space), fitted to the window (View > fit), full screen.
  xdotool key --window "$win" space
  sleep 1
  xdotool key --window "$win" alt+v
  sleep 1
  xdotool key w
  shot "$dpi-fit"
  xdotool key --window "$win" F11
  shot "$dpi-fullscreen"
  xdotool key --window "$win" Escape
  sleep 1
  xdotool key --window "$win" alt+v
  sleep 1
  xdotool key w
  xdotool key --window "$win" ctrl+l
  shot "$dpi-settings"
  xdotool key Escape
  sleep 1
  # The first category selected: the batch page through File > まとめ保存.
  xdotool mousemove $((55 * dpi / 96)) $((51 * dpi / 96)) click 1
  sleep 1
  xdotool key --window "$win" alt+f
  sleep 1
  xdotool key m
  shot "$dpi-batch"
  xdotool key Escape
  sleep 1
  # Help menu: contents, then the viewer's own version record.
  xdotool key --window "$win" alt+h
  sleep 1
  xdotool key Down Return
  shot "$dpi-version"
  xdotool key Escape
  kill "$pid" 2>/dev/null || true
  sleep 1
done
