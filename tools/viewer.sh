#!/bin/sh
# Installs what is missing, builds and starts the viewer under Wine on the
# bundled sample title: q: is a CD-ROM drive holding it, and the stand-in
# kolbri.dll and sample.kol lie beside kolbri.exe. The 32-bit product where this
# machine runs 32-bit code, else the x86_64 build of the same sources.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ROOT/tools/arch.sh"
kolbri_prepare_start "viewer"
# Wine maps the host's / to Z:.
PLUGIN="Z:$(echo "$BUILD/bin/sample.kol" | tr / '\\')"
exec "$ROOT/tools/wine-run.sh" --cdrom "$BUILD/bin/sample-cd" "$BUILD/bin/kolbri.exe" "$PLUGIN"
