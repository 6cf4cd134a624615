# Sourced by the tools: which Windows programs this machine can run, and which
# kind a program is.

# 32-bit Wine needs the kernel to run 32-bit x86 code; some machines refuse it
# ("Exec format error"). Prints nothing; the status answers.
can_run_i686() {
  [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

# Prints i686 (PE32), x86_64 (PE32+) or unknown from the Machine field of the
# program's PE header.
pe_machine() {
  _off=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  case "$_off" in ''|*[!0-9]*) echo unknown; return ;; esac
  case "$(od -An -tx2 -j$((_off + 4)) -N2 "$1" 2>/dev/null | tr -d ' ')" in
    014c) echo i686 ;;
    8664) echo x86_64 ;;
    *) echo unknown ;;
  esac
}

# The two build trees: the 32-bit product and the x86_64 build of the same sources.
kolbri_trees() {
  BUILD32=${KOLBRI_BUILD:-$ROOT/build}
  BUILD64=${KOLBRI_BUILD_X64:-$BUILD32-x64}
}

# Prepares a program's start: installs what is missing, picks the tree whose
# programs run here (the 32-bit product where this machine runs 32-bit code,
# else the x86_64 build), says which ($1 names the program), builds it, and
# sets BUILD and KOLBRI_BUILD to it and KOLBRI_DISPLAY to the caller's display.
kolbri_prepare_start() {
  "$ROOT/tools/setup-debian.sh"
  kolbri_trees
  if can_run_i686; then
    ARCH=i686 BUILD=$BUILD32
    echo "Starting the 32-bit $1 ($BUILD)"
  else
    ARCH=x86_64 BUILD=$BUILD64
    echo "This machine refuses 32-bit code: starting the x86_64 $1 ($BUILD)"
  fi
  "$ROOT/tools/build.sh" "$ARCH"
  export KOLBRI_BUILD="$BUILD"
  if [ -n "${DISPLAY:-}" ]; then export KOLBRI_DISPLAY="$DISPLAY"; fi
}
