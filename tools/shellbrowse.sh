#!/bin/sh
# Installs what is missing, builds and starts the shell browser under Wine: a
# folder combo box above a folder tree and a file list, linked, opened on the
# sample title's picture folder (q:\cg). An argument names another folder;
# further ones go to the program: --shot Z:\tmp\shot.bmp writes the screen
# once the window has painted and ends, --menu adds the tree's shell menu.
# The 32-bit build where this machine runs 32-bit code, else the x86_64 build.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ROOT/tools/arch.sh"
kolbri_prepare_start "shell browser"
FOLDER=${1:-q:\\cg}
[ $# -gt 0 ] && shift
exec "$ROOT/tools/wine-run.sh" --cdrom "$BUILD/bin/sample-cd" "$BUILD/bin/shellbrowse.exe" "$FOLDER" "$@"
