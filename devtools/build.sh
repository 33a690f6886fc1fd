#!/usr/bin/env bash
# Configures and builds the named presets (default: every build the tests need on this host).
# usage: devtools/build.sh [preset ...]     presets: see CMakePresets.json
#
# Where this host runs no 32-bit code (devtools/host-arch.sh), the 32-bit build makes its
# shipped images (checked statically, and carried by the packages) without its test programs,
# which only a 32-bit process could run. Building runs no 32-bit code.
set -euo pipefail
cd "$(dirname "$0")/.."
source devtools/host-arch.sh
presets=("$@")
if [ ${#presets[@]} -eq 0 ]; then
  presets=(native native-asan fuzz win32 win64 win32-sim win64-sim)
fi
jobs=$(nproc)
for preset in "${presets[@]}"; do
  echo "== build $preset"
  options=()
  if [ "$preset" = win32 ]; then
    # Set on every configure, so that the cache follows the host.
    if brevane_host_runs_32bit; then options=(-DBREVANE_TESTS=ON); else options=(-DBREVANE_TESTS=OFF); fi
  fi
  cmake --preset "$preset" "${options[@]}" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done
