#!/usr/bin/env bash
# Installs what building and testing need on a Debian 12 machine. Idempotent: packages that
# are already installed are not installed again, and apt is not touched when nothing is missing.
set -euo pipefail

packages=(
  cmake make g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev zlib1g-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev
  wine wine64 wine32:i386 xvfb xauth imagemagick x11-utils
  python3 python3-pytest python3-pytest-timeout
  osslsigncode openssl zip unzip time
  dosbox nasm nlohmann-json3-dev bc
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: everything is installed"
  exit 0
fi

echo "setup: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
# With recommends: Wine needs its fonts and X libraries (fonts-wine, libxrender1, ...) to draw dialogs.
apt-get install -y -q "${missing[@]}"
