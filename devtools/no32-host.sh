#!/usr/bin/env bash
# Runs a command as on a host whose kernel refuses 32-bit x86 programs, on a host that runs
# them: in a private mount namespace, Wine's 32-bit loader (/usr/lib/wine/wine) is replaced by a
# program that fails with exit status 126, as the real loader does there ("Exec format error").
# Debian's `wine` wrapper, a 32-bit program started by a 64-bit one inside Wine, and
# devtools/host-arch.sh's check of the loader then all behave as on such a host. A developer's
# check of the 64-bit-only path (needs root for the namespace); no test depends on it.
# usage: devtools/no32-host.sh COMMAND [ARG...]     e.g. devtools/no32-host.sh bash devtools/demo.sh
set -euo pipefail
if [ ! -e /usr/lib/wine/wine ]; then
  exec "$@"  # no 32-bit loader installed: already as on such a host
fi
fake=$(mktemp /tmp/brevane-no32-loader.XXXXXX)
printf '#!/bin/sh\necho "exec format error (32-bit programs cannot run on this host)" >&2\nexit 126\n' >"$fake"
chmod +x "$fake"
trap 'rm -f "$fake"' EXIT
# Wine servers started outside the namespace would start 32-bit programs with the real loader.
wineserver -k 2>/dev/null || true
unshare --mount --propagation private bash -c 'mount --bind "$0" /usr/lib/wine/wine && shift && exec "$@"' \
  "$fake" placeholder "$@"
