#!/bin/sh
# Installs what is missing, builds everything and starts the viewer under Wine on
# the bundled sample title: q: is a CD-ROM drive holding it, and the stand-in
# kolbri.dll and sample.kol lie beside kolbri.exe.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/tools/setup-debian.sh"
"$ROOT/tools/build.sh"
BUILD=${KOLBRI_BUILD:-$ROOT/build}
export KOLBRI_BUILD="$BUILD"
# Show it on the caller's display when there is one, else on a private Xvfb.
[ -n "${DISPLAY:-}" ] && export KOLBRI_DISPLAY="$DISPLAY"
# Wine maps the host's / to Z:.
PLUGIN="Z:$(echo "$BUILD/bin/sample.kol" | tr / '\\')"
exec "$ROOT/tools/wine-run.sh" --cdrom "$BUILD/bin/sample-cd" "$BUILD/bin/kolbri.exe" "$PLUGIN"
