#!/bin/sh
# Seeded fuzz run of the viewer against the fuzzing module and plug-in
# (bin/variants/fuzz/) and hostile settings and plug-in files, through
# bin/fuzz/fuzzdrive.exe: one Wine process runs up to 500 seeds; a crash or a hang
# ends it and the run goes on after that seed.
#
#   tools/fuzz.sh [--seeds N] [--first S] [--arch x86_64|i686] [--replay FILE] [--build TREE]
#
# Without --arch: every architecture this machine runs (i686 needs 32-bit Wine).
# --replay FILE runs the seeds listed in FILE (first column), e.g. a failures
# file. --build TREE uses that tree (its programs decide the architecture).
# The trees must be built (tools/build.sh). Failing seeds are kept in
# TREE/fuzz/seeds/failures.txt ("SEED what"; TREE/fuzz/replay/ for --replay);
# replay them with --replay.
# Prints per architecture:  fuzz <arch>: N seeds, C crashes, H hangs, E escapes
# Exit status 1 when anything failed.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ROOT/tools/arch.sh"
kolbri_trees
SEEDS=100 FIRST=1 ARCHS= REPLAY= TREE= CHUNK=500
while [ $# -gt 0 ]; do
  case "$1" in
    --seeds) SEEDS=$2; shift 2 ;;
    --first) FIRST=$2; shift 2 ;;
    --arch) ARCHS=$2; shift 2 ;;
    --replay) REPLAY=$(cd "$(dirname "$2")" && pwd)/$(basename "$2"); shift 2 ;;
    --build) TREE=$(cd "$2" && pwd); shift 2 ;;
    *) echo "usage: fuzz.sh [--seeds N] [--first S] [--arch x86_64|i686] [--replay FILE] [--build TREE]" >&2
       exit 2 ;;
  esac
done

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

# fuzz_tree TREE ARCH: runs the seeds, prints the closing line; 1 when anything failed.
fuzz_tree() {
  tree=$1 arch=$2
  exe=$tree/bin/fuzz/fuzzdrive.exe
  if [ ! -f "$exe" ]; then
    echo "fuzz $arch: $exe is not built (tools/build.sh $arch)" >&2
    return 1
  fi
  work=$tree/fuzz/seeds; [ -z "$REPLAY" ] || work=$tree/fuzz/replay
  mkdir -p "$work"
  results=$work/results.txt
  todo=$work/todo.txt
  rm -f "$results" "$results.at"
  if [ -n "$REPLAY" ]; then
    awk '$1 ~ /^[0-9]+$/ { print $1 }' "$REPLAY" > "$todo"
  else
    seq "$FIRST" $((FIRST + SEEDS - 1)) > "$todo"
  fi
  # At most CHUNK seeds per driver process: every seed loads the stand-in
  # libraries afresh, and each load keeps one TLS slot (the static threads
  # runtime in them never frees its own), of which a process has 1,088.
  while [ -s "$todo" ]; do
    head -n "$CHUNK" "$todo" > "$todo.chunk"
    n=$(wc -l < "$todo.chunk")
    rm -f "$results.at"
    rc=0
    KOLBRI_BUILD=$tree timeout $((120 + 10 * n)) sh "$ROOT/tools/wine-run.sh" "$exe" \
      --seeds-file "$(winpath "$todo.chunk")" --results "$(winpath "$results")" \
      </dev/null >"$work/driver.log" 2>&1 || rc=$?
    if [ "$rc" = 0 ]; then
      tail -n +$((n + 1)) "$todo" > "$todo.next"
      mv "$todo.next" "$todo"
      continue
    fi
    at=$(tr -d '\r\n ' < "$results.at" 2>/dev/null || true)
    if [ -z "$at" ]; then
      echo "fuzz $arch: the driver did not start (status $rc), see $work/driver.log" >&2
      return 1
    fi
    # Ended without a word (killed, or a fault the filter never saw): a crash.
    if ! grep -Eq "^(crash|hang) $at( |\$)" "$results" 2>/dev/null; then
      echo "crash $at status-$rc" >> "$results"
    fi
    awk -v at="$at" 'found { print } $1 == at { found = 1 }' "$todo" > "$todo.next"
    mv "$todo.next" "$todo"
  done
  rm -f "$todo" "$todo.chunk" "$results.at"
  ran=$(grep -Ec '^(ok|crash|hang) ' "$results" || true)
  crashes=$(grep -c '^crash ' "$results" || true)
  hangs=$(grep -c '^hang ' "$results" || true)
  escapes=$(grep -c '^escape ' "$results" || true)
  damaged=$(grep -c '^settings ' "$results" || true)
  lost=$(grep -c '^lost ' "$results" || true)
  grep -E '^(crash|hang|escape|settings|lost) ' "$results" | awk '{ print $2, $1, $3, $4 }' \
    > "$work/failures.txt" || true
  [ "$damaged$lost" = 00 ] ||
    echo "fuzz $arch: $damaged settings files not intact, $lost pictures lost (see $work/failures.txt)"
  echo "fuzz $arch: $ran seeds, $crashes crashes, $hangs hangs, $escapes escapes"
  [ "$crashes$hangs$escapes$damaged$lost" = 00000 ]
}

status=0
if [ -n "$TREE" ]; then
  arch=$(pe_machine "$TREE/bin/fuzz/fuzzdrive.exe")
  fuzz_tree "$TREE" "$arch" || status=1
  exit $status
fi
if [ -z "$ARCHS" ]; then
  ARCHS=x86_64
  if can_run_i686; then ARCHS="i686 x86_64"; else echo "fuzz i686: skipped, this machine runs no 32-bit Wine"; fi
fi
for arch in $ARCHS; do
  case "$arch" in
    i686) fuzz_tree "$BUILD32" i686 || status=1 ;;
    x86_64) fuzz_tree "$BUILD64" x86_64 || status=1 ;;
    *) echo "unknown architecture $arch" >&2; exit 2 ;;
  esac
done
exit $status
