#!/bin/sh
# Builds what it needs and runs every benchmark program under Wine (natively on
# Windows), each printing: NAME: X ms, bare Y ms, ratio R
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/tools/build.sh" >/dev/null
BUILD=${KOLBRI_BUILD:-$ROOT/build}
export KOLBRI_BUILD="$BUILD"
# Wine's own diagnostics (stderr) go to a log so the figures stay readable.
LOG="$BUILD/bench-stderr.log"
: > "$LOG"
for b in "$BUILD"/bin/bench/*.exe; do
  [ -e "$b" ] || continue
  "$ROOT/tools/wine-run.sh" "$b" 2>>"$LOG" | tr -d '\r'
done
