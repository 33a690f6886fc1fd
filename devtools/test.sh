#!/usr/bin/env bash
# Builds every build and runs every test tier: native unit tests (plain and ASan+UBSan), the
# fuzz targets for a bounded time, the Windows-side tests under Wine (32- and 64-bit), and the
# end-to-end tests under Wine and Xvfb. Ends with "N passed, N failed"; exits non-zero on any
# failure.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash devtools/setup.sh || exit 1
bash devtools/build.sh || { echo "0 passed, 1 failed"; exit 1; }

reports="$root/build/reports"
rm -rf "$reports"
mkdir -p "$reports"

source devtools/wine-env.sh
brevane_wine_prefix

# One X server for every tier that opens windows.
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$display_file" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$display_file")"
rm -f "$display_file"
trap 'kill $xvfb_pid 2>/dev/null; wineserver -k 2>/dev/null' EXIT
wineserver -p 60  # keep one server alive between the many short Wine runs

run_ctest() {
  local preset=$1 jobs=$2
  echo "== tests $preset"
  ctest --test-dir "build/$preset" -j "$jobs" --output-on-failure --output-junit "$reports/$preset.xml" \
    | tail -n 40
}

run_ctest native 2
run_ctest native-asan 2
run_ctest fuzz 2
run_ctest win32 2
run_ctest win64 2

echo "== tests e2e"
# Debian's pytest is in the system interpreter; another python3 may come first on PATH.
python=python3
/usr/bin/python3 -c "import pytest" 2>/dev/null && python=/usr/bin/python3
"$python" -m pytest -q tests/e2e -p no:cacheprovider --junitxml="$reports/e2e.xml" 2>&1 | tail -n 40

echo "== summary"
python3 devtools/summarize.py "$reports"/*.xml
