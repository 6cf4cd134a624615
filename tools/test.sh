#!/bin/sh
# Installs what is missing, builds everything and runs every test under Wine.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/tools/setup-debian.sh"
"$ROOT/tools/build.sh"
BUILD=${KOLBRI_BUILD:-$ROOT/build}
cd "$BUILD" && ctest --output-on-failure "$@"
