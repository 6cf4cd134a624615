#!/bin/sh
# Installs what is missing, builds everything and runs every test under Wine.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/tools/setup-debian.sh"
"$ROOT/tools/build.sh"
BUILD=${KOLBRI_BUILD:-$ROOT/build}
# Leave no Wine server or X server behind when the run ends.
cleanup() {
  WINEPREFIX="$BUILD/wine" wineserver -k >/dev/null 2>&1 || true
  [ -f "$BUILD/.xvfb-pid" ] && kill "$(cat "$BUILD/.xvfb-pid")" 2>/dev/null || true
  rm -f "$BUILD/.xvfb-pid" "$BUILD/.display"
}
trap cleanup EXIT
cd "$BUILD" && ctest --output-on-failure "$@"
