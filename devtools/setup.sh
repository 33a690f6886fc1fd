#!/usr/bin/env bash
# Installs what building and testing need on a Debian 12 machine. Idempotent: packages that
# are already installed are not installed again, and apt is not touched when nothing is missing.
#
# Wine's 32-bit parts (wine32:i386) are installed only where this host runs 32-bit x86 code
# (devtools/host-arch.sh finds out by trying). Elsewhere the 64-bit loader alone runs our
# 64-bit programs, and the 32-bit images are checked statically.
set -euo pipefail
cd "$(dirname "$0")/.."
source devtools/host-arch.sh

packages=(
  cmake make g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev zlib1g-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev
  wine wine64 xvfb xauth imagemagick x11-utils
  python3 python3-pytest python3-pytest-timeout
  osslsigncode openssl zip unzip time binutils-mingw-w64-x86-64
  dosbox nasm nlohmann-json3-dev bc
)
wants_i386=0
if brevane_host_runs_32bit; then
  wants_i386=1
  packages+=(wine32:i386)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: everything is installed ($(brevane_host_32bit_text))"
  exit 0
fi

echo "setup: installing ${missing[*]} ($(brevane_host_32bit_text))"
if [ "$wants_i386" = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive

# A mirror in the middle of a sync answers an index of the wrong size for a while, and
# apt-get update then exits 100 with that index missing. Try a few times; then go on with
# whatever indexes arrived: the install below is what must succeed.
for attempt in 1 2 3; do
  if apt-get update -q; then
    break
  fi
  echo "setup: apt-get update failed (attempt $attempt of 3)"
  [ "$attempt" -eq 3 ] || sleep $((attempt * 5))
done

# wine32:i386 and its libraries need the same version for amd64 and i386. When the security
# suite's i386 index is missing, the amd64 candidates would come from the security suite and
# the i386 ones from main, and apt refuses the skew: then both architectures take main's
# versions, the suite that both have.
pin=/etc/apt/preferences.d/brevane-same-suite-for-both-architectures
if [ "$wants_i386" = 1 ] \
   && ls /var/lib/apt/lists/*security*binary-amd64_Packages* >/dev/null 2>&1 \
   && ! ls /var/lib/apt/lists/*security*binary-i386_Packages* >/dev/null 2>&1; then
  echo "setup: the security suite has no i386 index; both architectures install from main"
  printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' >"$pin"
else
  rm -f "$pin"
fi

# With recommends: Wine needs its fonts and X libraries (fonts-wine, libxrender1, ...) to draw dialogs.
apt-get install -y -q "${missing[@]}"
