#!/bin/sh
# Runs one Windows program of the build under Wine, the way ctest and the viewer
# command need it. Options before the program:
#   --cp 932|1252     ANSI code page of the process (default 932, Japanese)
#   --dpi 96|120      screen resolution the process sees (default 96)
#   --cdrom DIR       what the CD-ROM letter q: shows (default: an empty directory)
#   --no-cdrom        q: is a plain fixed drive: no CD-ROM drive answers
# Environment: KOLBRI_BUILD (build tree, default: the program's directory's root).
# A PE32 program runs under 32-bit Wine in a win32 prefix, a PE32+ program under
# 64-bit Wine in a win64 prefix: the tree's prefix has the kind of its programs.
set -eu
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/arch.sh"
CP=932 DPI=96 CDROM=
NOCD=0
while [ $# -gt 0 ]; do
  case "$1" in
    --cp) CP=$2; shift 2 ;;
    --dpi) DPI=$2; shift 2 ;;
    --cdrom) CDROM=$2; shift 2 ;;
    --no-cdrom) NOCD=1; shift ;;
    --) shift; break ;;
    *) break ;;
  esac
done
BUILD=${KOLBRI_BUILD:?KOLBRI_BUILD must name the build tree}
[ $# -gt 0 ] || { echo "usage: wine-run.sh [options] PROGRAM [ARGS...]" >&2; exit 2; }
case "$(pe_machine "$1")" in
  i686) WINEARCH=win32 WINE=wine ;;
  # Debian's wine command picks the 32-bit loader whenever it is installed.
  x86_64) WINEARCH=win64 WINE=/usr/lib/wine/wine64; export WINELOADER=$WINE ;;
  *) echo "wine-run.sh: $1 is not a 32-bit or x86_64 Windows program" >&2; exit 2 ;;
esac
export WINEPREFIX="$BUILD/wine" WINEARCH WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
CDLINK="$BUILD/cdrom"
"$HERE/wineprefix.sh" "$WINEPREFIX" "$CDLINK" "$WINEARCH"

# One X display per build tree, started on first use.
DISP=${KOLBRI_DISPLAY:-}
if [ -z "$DISP" ] && [ -f "$BUILD/.display" ]; then
  DISP=$(cat "$BUILD/.display")
  # A socket outlives an Xvfb that was killed (a session that ended): the
  # recorded server must still be running.
  XPID=$(cat "$BUILD/.xvfb-pid" 2>/dev/null || true)
  if [ ! -e "/tmp/.X11-unix/X${DISP#:}" ] || [ -z "$XPID" ] ||
     [ "$(cat "/proc/$XPID/comm" 2>/dev/null)" != Xvfb ]; then
    DISP=
  fi
fi
if [ -z "$DISP" ]; then
  n=91
  while [ -e "/tmp/.X$n-lock" ]; do n=$((n+1)); done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
  echo $! > "$BUILD/.xvfb-pid"
  i=0; while [ ! -e "/tmp/.X11-unix/X$n" ] && [ $i -lt 50 ]; do sleep 0.1; i=$((i+1)); done
  DISP=":$n"
  echo "$DISP" > "$BUILD/.display"
fi
export DISPLAY="$DISP"

case "$CP" in
  932) export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 ;;
  1252) export LANG=en_US.UTF-8 LC_ALL=C.UTF-8 ;;
  *) echo "unknown code page $CP" >&2; exit 2 ;;
esac

# Wine reads drive types when its services start, so switching q: between
# CD-ROM and plain drive restarts the server; tests that need no CD-ROM are few.
WANT=cd; [ "$NOCD" = 1 ] && WANT=nocd
if [ "$(cat "$WINEPREFIX/.kolbri-cdmode" 2>/dev/null || echo cd)" != "$WANT" ]; then
  wineserver -k >/dev/null 2>&1 || true; wineserver -w >/dev/null 2>&1 || true
  if [ "$WANT" = nocd ]; then
    "$WINE" reg delete 'HKLM\Software\Wine\Drives' /v q: /f </dev/null >/dev/null 2>&1 || true
  else
    "$WINE" reg add 'HKLM\Software\Wine\Drives' /v q: /t REG_SZ /d cdrom /f </dev/null >/dev/null 2>&1
  fi
  wineserver -k >/dev/null 2>&1 || true; wineserver -w >/dev/null 2>&1 || true
  echo "$WANT" > "$WINEPREFIX/.kolbri-cdmode"
fi

# Keep one wineserver for the whole run and start Wine's services outside any
# output capture: a service that inherits ctest's pipe makes ctest wait for it.
wineserver -p </dev/null >/dev/null 2>&1 || true
"$WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true

if [ "$(cat "$WINEPREFIX/.kolbri-dpi" 2>/dev/null)" != "$DPI" ]; then
  "$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$DPI" /f </dev/null >/dev/null 2>&1
  echo "$DPI" > "$WINEPREFIX/.kolbri-dpi"
fi

# Without a window manager Wine waits 2 s for every managed window it hides;
# unmanaged top-level windows hide at once.
if [ ! -f "$WINEPREFIX/.kolbri-unmanaged" ]; then
  "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1
  touch "$WINEPREFIX/.kolbri-unmanaged"
fi

if [ -n "$CDROM" ]; then
  ln -sfn "$(cd "$CDROM" && pwd)" "$CDLINK"
else
  mkdir -p "$BUILD/cdrom-empty"
  ln -sfn "$BUILD/cdrom-empty" "$CDLINK"
fi

exec "$WINE" "$@"
