#!/bin/sh
# Installs what the build and the tests need on Debian (12): the MinGW-w64 cross
# compilers (i686 and x86_64), 32- and 64-bit Wine, Xvfb, Japanese fonts and locale, ImageMagick, GoogleTest, clang-format,
# Python (the icon and the resource and package checks; PyYAML reads the winget
# manifests) and NSIS (the installers).
# Safe to run again: it installs only what is missing.
set -eu
SUDO=; [ "$(id -u)" = 0 ] || SUDO=sudo
PKGS="mingw-w64 g++-mingw-w64-i686 g++-mingw-w64-x86-64 cmake make wine wine32:i386 wine64 xvfb xauth x11-utils \
fonts-ipafont-gothic fonts-wine locales imagemagick xdotool googletest clang-format ccache python3 python3-yaml nsis"
missing=
for p in $PKGS; do
  dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
if [ -n "$missing" ]; then
  dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
  # A mirror in mid-sync can fail one index; retry, then install from what was fetched.
  for _try in 1 2 3; do
    $SUDO apt-get update -qq && break
    echo "setup: apt-get update failed (try $_try); retrying" >&2
    sleep 10
  done
  if ! DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing; then
    # When the mirror's i386 index lags its amd64 one, multi-arch versions cannot
    # match and 32-bit Wine cannot be installed; everything else still can. The
    # tools then run as on a machine that refuses 32-bit code, and say so.
    rest=$(echo "$missing" | tr ' ' '\n' | grep -v ':i386$' | tr '\n' ' ')
    echo "setup: install failed; retrying without the 32-bit Wine (i686 tests will not run)" >&2
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $rest
  fi
fi
if ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; then
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null || echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
