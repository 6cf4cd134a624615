#!/bin/sh
# Configures and builds the 32-bit product into ${KOLBRI_BUILD:-build} and the
# x86_64 build of the same sources into ${KOLBRI_BUILD_X64:-build-x64}; with an
# argument (i686 or x86_64), only that tree. Where this machine cannot run
# 32-bit code, the 32-bit tree is still built but runs nothing at build time.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ROOT/tools/arch.sh"
kolbri_trees
build() {  # tree toolchain can-run
  cmake -S "$ROOT" -B "$1" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw-$2.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DKOLBRI_CAN_RUN="$3" >/dev/null
  cmake --build "$1" -j"$(nproc)"
}
CAN32=ON; can_run_i686 || CAN32=OFF
case "${1:-both}" in
  x86_64) build "$BUILD64" x86_64 ON ;;
  i686) build "$BUILD32" i686 "$CAN32" ;;
  both) build "$BUILD64" x86_64 ON; build "$BUILD32" i686 "$CAN32" ;;
  *) echo "usage: build.sh [i686|x86_64]" >&2; exit 2 ;;
esac
