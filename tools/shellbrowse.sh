#!/bin/sh
# Installs what is missing, builds and starts the shell browser under Wine: a
# folder combo box above a folder tree and a file list, linked, opened on the
# sample title's picture folder (q:\cg). An argument names another folder.
# The 32-bit build where this machine runs 32-bit code, else the x86_64 build.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ROOT/tools/arch.sh"
kolbri_prepare_start "shell browser"
exec "$ROOT/tools/wine-run.sh" --cdrom "$BUILD/bin/sample-cd" "$BUILD/bin/shellbrowse.exe" "${1:-q:\\cg}"
