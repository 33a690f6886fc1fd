#!/usr/bin/env bash
# Builds every build and runs every test tier: native unit tests (plain and ASan+UBSan), the
# fuzz targets for a bounded time, the Windows-side tests under Wine (32- and 64-bit), and the
# end-to-end tests under Wine and Xvfb. Says per tier what ran, and ends with the line
# "N passed, N failed" (each test counted once); exits non-zero on any failure. A skipped test
# is a failure here: run a tier by hand to allow skips.
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

# Runs one tier: `tier NAME "how it runs" COMMAND...`. COMMAND writes its JUnit report to the file
# named by $report ($reports/NAME.xml), or one report per label beside it (NAME.LABEL.xml); its
# output goes to $reports/NAME.log, of which only the closing counts are shown (the end, when
# the tier failed). The exit status is kept for the summary, which also fails the run on any
# skipped test.
tiers="$reports/tiers.tsv"
: >"$tiers"
tier() {
  local name=$1 description=$2
  local report="$reports/$name.xml"
  shift 2
  echo "== tests $name ($description)"
  "$@" >"$reports/$name.log" 2>&1
  local status=$?
  if [ "$status" -eq 0 ]; then
    # The closing count of each run (CTest's and pytest's), and what pytest skipped.
    grep -E '^-- |tests passed|^[0-9]+ (passed|failed|skipped|error)|^(SKIPPED|FAILED|ERROR) ' "$reports/$name.log"
  else
    tail -n 40 "$reports/$name.log"
    echo "== $name exited with status $status (full output: $reports/$name.log)"
  fi
  local written=("$reports/$name".*xml)
  printf '%s\t%s\t%s' "$name" "$status" "$description" >>"$tiers"
  printf '\t%s' "${written[@]}" >>"$tiers"
  printf '\n' >>"$tiers"
}

# ctest_tier PRESET [LABEL...]: CTest in build/PRESET. With labels (what the tests cover), one
# run and report per label, each of which must find a test, and one for any test without them.
ctest_tier() {
  local preset=$1
  shift
  local options=(--test-dir "build/$preset" -j 2 --output-on-failure)
  if [ $# -eq 0 ]; then
    ctest "${options[@]}" --no-tests=error --output-junit "$report"
    return
  fi
  local status=0 label
  for label in "$@"; do
    echo "-- label $label"
    ctest "${options[@]}" -L "^$label\$" --no-tests=error --output-junit "${report%.xml}.$label.xml" || status=1
  done
  local labels
  labels=$(IFS='|'; echo "$*")
  echo "-- without a label"
  ctest "${options[@]}" -LE "^($labels)\$" --no-tests=ignore --output-junit "${report%.xml}.unlabelled.xml" || status=1
  return $status
}

# Debian's python3 carries pytest (installed by setup.sh), whatever python3 comes first on PATH.
pytest_tier() {  # pytest_tier FOLDER
  /usr/bin/python3 -m pytest -q -rfEs "$1" -p no:cacheprovider --junitxml="$report"
}

# The tiers; adding one is one line.
tier native      "natively (g++)"                  ctest_tier native portable
tier native-asan "natively under ASan+UBSan"       ctest_tier native-asan portable
tier fuzz        "libFuzzer, bounded time each"    ctest_tier fuzz fuzz
tier win32       "under Wine, 32-bit"              ctest_tier win32 portable windows
tier win64       "under Wine, 64-bit"              ctest_tier win64 windows
tier e2e         "end to end under Wine and Xvfb"  pytest_tier tests/e2e

echo "== summary"
/usr/bin/python3 devtools/summarize.py "$tiers"
