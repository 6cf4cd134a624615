#!/bin/sh
# Host side, no Wine: every program and library of a build tree is of the tree's
# kind (PE32 for i686, PE32+ for x86_64) by both the runner's own header reader
# and objdump, needs no MinGW runtime DLL, and the libraries export exactly the
# contract's bare names: a decorated Foo@12 would not be found by
# GetProcAddress, and a stray export would hide a faulty build.
# Usage: pe_check.sh BIN_DIR i686|x86_64
set -eu
BIN=$1
ARCH=$2
. "$(dirname "$0")/../../tools/arch.sh"
OBJDUMP=x86_64-w64-mingw32-objdump   # reads PE32 and PE32+ (the i686 one only PE32)
case "$ARCH" in i686) FORMAT=pei-i386 ;; x86_64) FORMAT=pei-x86-64 ;; *) echo "kind $ARCH?"; exit 2 ;; esac
fail=0
bad() { echo "FAIL: $*"; fail=1; }

exports() { "$OBJDUMP" -p "$1" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^\t\[ *[0-9]*\] //p' | sort | tr '\n' ' '; }
expect_exports() {
  got=$(exports "$BIN/$1")
  [ "$got" = "$2" ] || bad "$1 exports '$got', expected '$2'"
}

n=0
for f in $(cd "$BIN" && find . -name '*.exe' -o -name '*.dll' -o -name '*.kol' -type f | sort); do
  [ -f "$BIN/$f" ] || continue
  case "$f" in ./variants/otherarch/*) continue ;; esac  # of the other architecture on purpose
  "$OBJDUMP" -p "$BIN/$f" >/dev/null 2>&1 || continue   # x.kol is deliberately no library
  m=$(pe_machine "$BIN/$f")
  [ "$m" = "$ARCH" ] || bad "$f: header says $m"
  fmt=$("$OBJDUMP" -f "$BIN/$f" | sed -n 's/.*file format //p')
  [ "$fmt" = "$FORMAT" ] || bad "$f: objdump says $fmt"
  if "$OBJDUMP" -p "$BIN/$f" | grep -Eiq 'DLL Name: (libgcc|libstdc|libwinpthread)'; then
    bad "$f needs a MinGW runtime DLL"
  fi
  n=$((n + 1))
done
[ "$n" -ge 20 ] || bad "only $n programs and libraries in $BIN"

FIVE="OrvuCmnInitialize OrvuCmnLoadPlugin OrvuCmnMakeBmp OrvuCmnTerminate OrvuCmnUnloadPlugin "
expect_exports kolbri.dll "$FIVE"
for v in wrongmagic v255 v256 nocontext initfault preinfo; do
  expect_exports "variants/$v/kolbri.dll" "$FIVE"
done
expect_exports variants/noentry/kolbri.dll "OrvuCmnInitialize OrvuCmnLoadPlugin OrvuCmnMakeBmp OrvuCmnUnloadPlugin "
for p in sample.kol folder.kol listed.kol; do
  expect_exports "$p" "OrvuIdvIndex OrvuIdvInitialize OrvuIdvTerminate "
done
expect_exports testplugins/good.kol "OrvuIdvInitialize OrvuIdvTerminate "
expect_exports testplugins/noterm.kol "OrvuIdvInitialize "
[ "$fail" = 0 ] && echo "ok: $n files in $BIN are $ARCH; exports as contracted"
exit "$fail"
