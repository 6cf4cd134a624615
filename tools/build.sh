#!/bin/sh
# Configures and builds the 32-bit product into ${KOLBRI_BUILD:-build} and the
# x86_64 build of the same sources into ${KOLBRI_BUILD_X64:-build-x64}; with an
# argument (i686 or x86_64), only that tree. Where this machine cannot run
# 32-bit code, the 32-bit tree is still built but runs nothing at build time.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ROOT/tools/arch.sh"
kolbri_trees
build() {  # tree toolchain can-run [cmake options]
  tree=$1 chain=$2 run=$3
  shift 3
  cmake -S "$ROOT" -B "$tree" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw-$chain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DKOLBRI_CAN_RUN="$run" "$@" >/dev/null
  cmake --build "$tree" -j"$(nproc)"
}
CAN32=ON; can_run_i686 || CAN32=OFF
# A 32-bit tree that cannot draw the sample title packs the x86_64 tree's (the
# same pictures) into its demo package.
SAMPLE=; [ "$CAN32" = OFF ] && SAMPLE="-DKOLBRI_SAMPLE_CD=$BUILD64/bin/sample-cd"
case "${1:-both}" in
  x86_64) build "$BUILD64" x86_64 ON ;;
  i686) build "$BUILD32" i686 "$CAN32" ${SAMPLE:+"$SAMPLE"} ;;
  both) build "$BUILD64" x86_64 ON; build "$BUILD32" i686 "$CAN32" ${SAMPLE:+"$SAMPLE"} ;;
  *) echo "usage: build.sh [i686|x86_64]" >&2; exit 2 ;;
esac
