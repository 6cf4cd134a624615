#!/bin/sh
# Installs what is missing, builds both trees and runs every test under Wine:
# the x86_64 tree everywhere, the 32-bit tree too where this machine runs 32-bit
# code (elsewhere only its host-side checks), and checks that every C++ source is
# formatted as .clang-format says. Arguments go to ctest.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ROOT/tools/arch.sh"
"$ROOT/tools/setup-debian.sh"
status=0
echo "== format (.clang-format)"
"$ROOT/tools/format-check.sh" || status=1
"$ROOT/tools/build.sh"
kolbri_trees
# Leave no Wine server or X server behind when the run ends.
cleanup() {
  for b in "$BUILD64" "$BUILD32"; do
    [ -d "$b/wine" ] && WINEPREFIX="$b/wine" wineserver -k >/dev/null 2>&1 || true
    [ -f "$b/.xvfb-pid" ] && kill "$(cat "$b/.xvfb-pid")" 2>/dev/null || true
    rm -f "$b/.xvfb-pid" "$b/.display"
  done
}
trap cleanup EXIT
echo "== x86_64 (64-bit Wine): $BUILD64"
(cd "$BUILD64" && ctest --output-on-failure "$@") || status=1
if can_run_i686; then
  echo "== i686 (32-bit Wine): $BUILD32"
  (cd "$BUILD32" && ctest --output-on-failure "$@") || status=1
else
  echo "== i686: tests not run: this machine refuses 32-bit code (/usr/lib/wine/wine --version fails); the i686 tree was built, its host-side checks follow"
  (cd "$BUILD32" && ctest --output-on-failure -L host "$@") || status=1
fi
exit $status
