#!/usr/bin/env bash
# Builds every build and runs every test tier: the include check of Brevane's layers, native
# unit tests (plain and ASan+UBSan), the fuzz targets for a bounded time, the Windows-side tests
# under Wine, the static checks of the 32-bit images, and the end-to-end tests under Wine and
# Xvfb. Says per tier what ran, and ends with the line "N passed, N failed" (each test counted
# once); exits non-zero on any failure. A skipped test is a failure here: run a tier by hand to
# allow skips.
#
# The Wine tiers run against each build this host can run: both where it runs 32-bit code,
# the 64-bit builds alone where it cannot (devtools/host-arch.sh finds out by trying; set
# BREVANE_FORCE_NO_32BIT=1 to take the second path on a host of the first kind). Each Wine tier
# has a prefix of its own, so that nothing one tier leaves in its registry reaches another.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash devtools/setup.sh || exit 1
bash devtools/build.sh || { echo "0 passed, 1 failed"; exit 1; }

reports="$root/build/reports"
rm -rf "$reports"
mkdir -p "$reports"

source devtools/wine-env.sh
if brevane_host_runs_32bit; then runs32=1; else runs32=0; fi
host_text=$(brevane_host_32bit_text)
echo "== $host_text"

# One X server for every tier that opens windows.
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$display_file" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$display_file")"
rm -f "$display_file"
prefixes=()
end_wine() {
  local prefix
  for prefix in "${prefixes[@]}"; do WINEPREFIX=$prefix wineserver -k 2>/dev/null; done
}
trap 'end_wine; kill $xvfb_pid 2>/dev/null' EXIT

# wine_tier_prefix NAME: a fresh prefix for one tier (build/wineprefix-NAME), exported, with its
# wineserver and desktop process started here, both detached from every pipe. Started by a test
# instead, they would inherit CTest's output pipe and hold its test discovery open until it
# times out; and a server that ends between two short runs can fail the next one's start.
wine_tier_prefix() {
  export WINEPREFIX="$root/build/wineprefix-$1"
  rm -rf "$WINEPREFIX"
  prefixes+=("$WINEPREFIX")
  brevane_wine_prefix
  wineserver -p </dev/null >/dev/null 2>&1
  "$BREVANE_WINE64" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

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


# pytest_e2e_tier BITS: the end-to-end tests against the 32- or 64-bit build.
pytest_e2e_tier() {
  wine_tier_prefix "e2e-$1"
  BREVANE_E2E_BITS=$1 pytest_tier tests/e2e
}

# ctest_wine_tier PRESET LABEL...: CTest of a Windows build in its own prefix.
ctest_wine_tier() {
  wine_tier_prefix "$1"
  ctest_tier "$@"
}

# layers_tier: the layers point one way. updater/app uses updater/platform and updater/tools;
# neither of those includes anything from updater/app. One JUnit case per folder; a failure
# lists each include that runs back up.
layers_tier() {
  local folder found cases="" failed=0
  for folder in updater/platform updater/tools; do
    found=$(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<](\.\./)*(updater/)?app/' "$folder")
    cases+="<testcase classname=\"layers\" name=\"${folder//\//.}\">"
    if [ -n "$found" ]; then
      echo "$folder includes from updater/app:"; echo "$found"
      cases+="<failure message=\"includes from updater/app\">$(sed 's/&/\&amp;/g; s/</\&lt;/g; s/>/\&gt;/g' <<<"$found")</failure>"
      failed=$((failed + 1))
    fi
    cases+="</testcase>"
  done
  echo "<testsuite name=\"layers\" tests=\"2\" failures=\"$failed\">$cases</testsuite>" >"$report"
  echo "$((2 - failed)) passed, $failed failed"
  [ "$failed" -eq 0 ]
}

# The tiers; adding one is one line.
tier layers      "includes point one way"          layers_tier
tier native      "natively (g++)"                  ctest_tier native portable
tier native-asan "natively under ASan+UBSan"       ctest_tier native-asan portable
tier fuzz        "libFuzzer, bounded time each"    ctest_tier fuzz fuzz
if [ "$runs32" = 1 ]; then
  tier win32     "under Wine, 32-bit builds"       ctest_wine_tier win32 portable windows
fi
tier win64       "under Wine, 64-bit builds"       ctest_wine_tier win64 portable windows
tier images32    "32-bit images checked statically" pytest_tier tests/static
tier e2e-64      "end to end under Wine and Xvfb: the 64-bit package, Extractor64.exe and Brevane64.exe" \
                 pytest_e2e_tier 64
if [ "$runs32" = 1 ]; then
  tier e2e-32    "end to end under Wine and Xvfb: the 32-bit package, Extractor.exe and Brevane.exe" \
                 pytest_e2e_tier 32
fi

echo "== summary"
/usr/bin/python3 devtools/summarize.py "$tiers" --host "$host_text" --runs-32bit "$runs32"
