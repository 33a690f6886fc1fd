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

# One wineserver for the whole run, and the desktop process started here, both detached from
# every pipe. Started by a test instead, they would inherit CTest's output pipe and hold its test
# discovery open until it times out; and a server that ends between two short runs can fail the
# next one's start.
wineserver -k 2>/dev/null || true
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1 || true

expected=()
run_ctest() {
  local preset=$1 jobs=$2
  echo "== tests $preset"
  ctest --test-dir "build/$preset" -j "$jobs" --output-on-failure --output-junit "$reports/$preset.xml" \
    | tail -n 40
  expected+=("$reports/$preset.xml")
}

run_ctest native 2
run_ctest native-asan 2
run_ctest fuzz 2
run_ctest win32 2
run_ctest win64 2

# Debian's python3 carries pytest (installed by setup.sh), whatever python3 comes first on PATH.
if [ -d tests/e2e ]; then
  echo "== tests e2e"
  /usr/bin/python3 -m pytest -q tests/e2e -p no:cacheprovider --junitxml="$reports/e2e.xml" 2>&1 | tail -n 60
  expected+=("$reports/e2e.xml")
fi

echo "== summary"
/usr/bin/python3 devtools/summarize.py "${expected[@]}"
