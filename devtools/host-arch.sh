# Sourced by the scripts that install, build or run Windows programs: finds out whether this host
# runs 32-bit x86 code, by trying it, never by guessing from the architecture or the kernel.
#
# Some kernels refuse every i386 program ("Exec format error"). Wine's 32-bit loader is one, so
# no 32-bit Windows program starts there, and Debian's `wine` wrapper fails even for 64-bit
# programs once the 32-bit loader is installed. The tiny program below is a complete i386 ELF
# that exits with 42; the host runs 32-bit code exactly when it does.
#
# BREVANE_FORCE_NO_32BIT=1 forces the answer "cannot", so that the 64-bit-only path can be proven
# on a host that does run 32-bit code. The summaries say when it was forced; CI never sets it.

# brevane_host_runs_32bit: status 0 when 32-bit x86 programs run here.
brevane_host_runs_32bit() {
  if [ "${BREVANE_FORCE_NO_32BIT:-0}" = 1 ]; then
    return 1
  fi
  if [ -z "${BREVANE_HOST_32BIT_RESULT:-}" ]; then
    local probe
    probe=$(mktemp "${TMPDIR:-/tmp}/brevane-i386-probe.XXXXXX")
    # ELF header (52 bytes), one PT_LOAD program header (32 bytes), then
    # mov ebx,42; mov eax,1 (exit); int 0x80.
    printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000' >"$probe"
    printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000' >>"$probe"
    printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000' >>"$probe"
    printf '\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010' >>"$probe"
    printf '\000\200\004\010\140\000\000\000\140\000\000\000\005\000\000\000' >>"$probe"
    printf '\000\020\000\000\273\052\000\000\000\270\001\000\000\000\315\200' >>"$probe"
    chmod +x "$probe"
    local status=0
    "$probe" >/dev/null 2>&1 || status=$?
    rm -f "$probe"
    if [ "$status" -eq 42 ]; then
      BREVANE_HOST_32BIT_RESULT=yes
      # Wine's own 32-bit loader must start as well where it is installed.
      if [ -x /usr/lib/wine/wine ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
        BREVANE_HOST_32BIT_RESULT=no
      fi
    else
      BREVANE_HOST_32BIT_RESULT=no
    fi
    export BREVANE_HOST_32BIT_RESULT
  fi
  [ "$BREVANE_HOST_32BIT_RESULT" = yes ]
}

# brevane_host_32bit_text: one line for summaries saying what was found and how.
brevane_host_32bit_text() {
  if [ "${BREVANE_FORCE_NO_32BIT:-0}" = 1 ]; then
    echo "32-bit programs treated as unable to run (forced by BREVANE_FORCE_NO_32BIT=1)"
  elif brevane_host_runs_32bit; then
    echo "32-bit programs run on this host"
  else
    echo "32-bit programs cannot run on this host"
  fi
}
