# Sourced by the scripts that run Windows programs: one Wine prefix inside the build tree, no
# debug chatter, and no offer to install Mono or Gecko (a prompt nobody answers).
#
# Programs are started with Wine's own loaders, never through Debian's `wine` wrapper: the
# wrapper takes the 32-bit loader whenever wine32 is installed, and on a host that runs no 32-bit
# code that loader cannot start at all. 64-bit programs (and Wine's builtins: cmd, reg,
# wineboot) go to /usr/lib/wine/wine64; 32-bit programs to /usr/lib/wine/wine, only where this
# host runs 32-bit code (devtools/host-arch.sh).
: "${BREVANE_ROOT:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
source "$BREVANE_ROOT/devtools/host-arch.sh"
export WINEPREFIX="${WINEPREFIX:-$BREVANE_ROOT/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEARCH=win64
BREVANE_WINE64=/usr/lib/wine/wine64
BREVANE_WINE32=/usr/lib/wine/wine

# brevane_pe_bits FILE: prints 32 or 64 for a PE image, nothing for anything else.
brevane_pe_bits() {
  [ -f "$1" ] || return 0
  local machine
  machine=$(od -An -tx2 -j "$(( $(od -An -tu4 -j 60 -N 4 "$1" 2>/dev/null || echo 0) + 4 ))" -N 2 "$1" 2>/dev/null | tr -d ' ')
  case "$machine" in
    014c) echo 32 ;;
    8664) echo 64 ;;
  esac
}

# brevane_wine PROGRAM [ARG...]: runs PROGRAM with the loader for its kind. A 32-bit program on a
# host that cannot run 32-bit code (or is told to act so) is refused with exit status 126.
brevane_wine() {
  local program=$1 unix=$1
  case "$program" in
    [A-Za-z]:\\*) unix=$("$BREVANE_WINE64" winepath.exe -u "$program" 2>/dev/null | tr -d '\r') ;;
  esac
  if [ "$(brevane_pe_bits "$unix")" = 32 ]; then
    if ! brevane_host_runs_32bit; then
      echo "brevane_wine: $program is a 32-bit program; $(brevane_host_32bit_text)" >&2
      return 126
    fi
    "$BREVANE_WINE32" "$@"
  else
    "$BREVANE_WINE64" "$@"
  fi
}

# Creates the prefix once; concurrent callers wait for the first.
brevane_wine_prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      "$BREVANE_WINE64" wineboot.exe -i >/dev/null 2>&1 || true
      wineserver -w
    fi
  ) 9>"$WINEPREFIX.lock"
}
