#!/bin/sh
# Runs install_test.exe in a prefix of its own, made afresh for each run, and
# stops that prefix's Wine and X servers afterwards.
# Usage: install_test.sh TEST_DIR install_test.exe SETUP.exe STANDIN_DIR IN_USE_EXIT
set -u
TREE=$1
shift
rm -rf "$TREE"
mkdir -p "$TREE"
export KOLBRI_BUILD="$TREE"
winpath() { echo "Z:$1" | tr / '\\'; }
sh "$(dirname "$0")/../../tools/wine-run.sh" "$1" "$(winpath "$2")" "$(winpath "$3")" "$4"
rc=$?
WINEPREFIX="$TREE/wine" wineserver -k >/dev/null 2>&1 || true
[ -f "$TREE/.xvfb-pid" ] && kill "$(cat "$TREE/.xvfb-pid")" 2>/dev/null
[ "$rc" = 0 ] && rm -rf "$TREE"   # a prefix is large; a failed run keeps its own
exit $rc
