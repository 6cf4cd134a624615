#!/bin/sh
# Creates the private Wine prefix the tests and the viewer run in, deterministically:
# no prompts, nothing from the user's home, Japanese fonts, one CD-ROM letter (q:).
# Usage: wineprefix.sh PREFIX CDROM_LINK [win32|win64]
# CDROM_LINK is a symlink that the test runner repoints per test; q: resolves through it.
set -eu
PREFIX=$1
CDROM_LINK=$2
ARCH=${3:-win32}
STAMP="$PREFIX/.kolbri-prefix-v3-$ARCH"
[ -f "$STAMP" ] && exit 0

export WINEPREFIX="$PREFIX" WINEARCH="$ARCH" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINE=wine
if [ "$ARCH" = win64 ]; then WINE=/usr/lib/wine/wine64; export WINELOADER=$WINE; fi
unset DISPLAY
# A prefix of the other kind (or an older one) is replaced: its server goes first.
[ -d "$PREFIX" ] && { wineserver -k >/dev/null 2>&1 || true; wineserver -w >/dev/null 2>&1 || true; }
rm -rf "$PREFIX"
mkdir -p "$(dirname "$PREFIX")"
# 64-bit wineboot complains about syswow64\rundll32.exe; the prefix is fine.
"$WINE" wineboot -i </dev/null >/dev/null 2>&1 || true
wineserver -w
[ -f "$PREFIX/system.reg" ] || { echo "wineprefix.sh: wineboot made no prefix in $PREFIX" >&2; exit 1; }

R() { "$WINE" reg "$@" </dev/null >/dev/null 2>&1 || true; }

# Desktop and Documents are symlinks to $HOME; make them real, empty directories.
for d in "$PREFIX"/drive_c/users/*/; do
  for sub in Desktop Documents Downloads Music Pictures Videos Templates; do
    if [ -L "$d$sub" ]; then rm -f "$d$sub"; mkdir -p "$d$sub"; fi
  done
done
# The "/" entry on the desktop would expose the host's file system.
R delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\Desktop\Namespace\{9D20AAE8-0625-44B0-9CA7-71889C2254D9}' /f

# Drives: c: and z: from wineboot, q: as a CD-ROM reached through CDROM_LINK.
for l in "$PREFIX"/dosdevices/*; do
  case "$(basename "$l")" in c:|z:) ;; *) rm -f "$l" ;; esac
done
mkdir -p "$(dirname "$CDROM_LINK")"
[ -e "$CDROM_LINK" ] || [ -L "$CDROM_LINK" ] || ln -sfn /nonexistent "$CDROM_LINK"
ln -sfn "$CDROM_LINK" "$PREFIX/dosdevices/q:"
R add 'HKLM\Software\Wine\Drives' /v q: /t REG_SZ /d cdrom /f

# Japanese-capable substitutes so texts render under code page 1252 as well.
for f in 'ＭＳ Ｐゴシック' 'ＭＳ ゴシック' 'MS UI Gothic' 'MS Shell Dlg' 'MS Shell Dlg 2' 'Tahoma' 'MS Sans Serif' 'Segoe UI'; do
  R add 'HKCU\Software\Wine\Fonts\Replacements' /v "$f" /t REG_SZ /d 'IPAPGothic' /f
done
# Caption buttons are glyphs of Marlett. This Wine looks for its own fonts in
# /usr/share/fonts, not where fonts-wine puts them, so without a copy in the
# prefix the buttons show as the letters "0 1 r". Only Marlett: Wine's Tahoma and
# MS Sans Serif have no Japanese glyphs and would take the replacements' place.
if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
  mkdir -p "$PREFIX/drive_c/windows/Fonts"
  cp /usr/share/wine/fonts/marlett.ttf "$PREFIX/drive_c/windows/Fonts/"
fi
R add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f
# No crash dialog: a crashing test must end, not wait for a click.
R add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
echo 96 > "$PREFIX/.kolbri-dpi"
touch "$STAMP"
