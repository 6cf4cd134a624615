#!/bin/sh
# Configures and builds the whole tree into ${KOLBRI_BUILD:-build}.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${KOLBRI_BUILD:-$ROOT/build}
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" -j"$(nproc)"
