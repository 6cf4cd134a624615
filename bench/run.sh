#!/bin/sh
# Builds what it needs and runs every benchmark program under Wine (natively on
# Windows), each printing: NAME: X ms, bare Y ms, ratio R (details, architecture)
# Usage: bench/run.sh [i686|x86_64]. Without an argument: the 32-bit product
# where this machine runs 32-bit code, else the x86_64 build.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ROOT/tools/arch.sh"
kolbri_trees
case "${1:-}" in
  i686) ARCH=i686 BUILD=$BUILD32 ;;
  x86_64) ARCH=x86_64 BUILD=$BUILD64 ;;
  '') if can_run_i686; then ARCH=i686 BUILD=$BUILD32; else ARCH=x86_64 BUILD=$BUILD64; fi ;;
  *) echo "usage: bench/run.sh [i686|x86_64]" >&2; exit 2 ;;
esac
if [ "$ARCH" = i686 ] && ! can_run_i686; then
  echo "bench/run.sh: this machine cannot run 32-bit code; i686 figures need one that can" >&2
  exit 1
fi
echo "benchmarks: $ARCH ($BUILD)"
"$ROOT/tools/build.sh" "$ARCH" >/dev/null
export KOLBRI_BUILD="$BUILD"
# Wine's own diagnostics (stderr) go to a log so the figures stay readable.
LOG="$BUILD/bench-stderr.log"
: > "$LOG"
for b in "$BUILD"/bin/bench/*.exe; do
  [ -e "$b" ] || continue
  "$ROOT/tools/wine-run.sh" "$b" 2>>"$LOG" | tr -d '\r'
done
