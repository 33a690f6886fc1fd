#!/usr/bin/env bash
# The main job: builds the programs and runs Brevane under Wine with a sample command line,
# then shows its log and exit code.
set -euo pipefail
cd "$(dirname "$0")/.."
bash devtools/setup.sh
bash devtools/build.sh win32
source devtools/wine-env.sh
brevane_wine_prefix

work="$WINEPREFIX/drive_c/brevane-demo"
rm -rf "$work"
mkdir -p "$work"
cd "$work"
set +e
wine "$OLDPWD/build/win32/bin/Brevane.exe" /LogFile 'C:\brevane-demo\logs\demo.log' /BiosRomFile image.rom /BiosVer A05 /NoPause
code=$?
set -e
echo "== Brevane exit code: $code"
echo "== C:\\brevane-demo\\logs\\demo.log"
cat "$work/logs/demo.log"
