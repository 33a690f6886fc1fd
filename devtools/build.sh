#!/usr/bin/env bash
# Configures and builds the named presets (default: every build the tests need).
# usage: devtools/build.sh [preset ...]     presets: see CMakePresets.json
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(native native-asan fuzz win32 win64 win32-sim win64-sim)
jobs=$(nproc)
for preset in "${presets[@]}"; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done
