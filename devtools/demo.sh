#!/usr/bin/env bash
# The main job: builds the update package a technician receives and runs it under Wine and Xvfb
# on a simulated Zera machine. The package is Extractor with Brevane (a simulation build, so
# that the machine's identity comes from a profile), stand-ins for the flash tools, a generated
# 4 MiB BIOS image, a secure capsule image, an ME image and settings.ini. Extractor unpacks it
# into the temporary folder and starts Brevane, which checks the machine, flashes with the
# stand-ins and ends; our UI driver presses "Update" and answers the result box as a technician
# would. Prints the log, the tools' command lines and the exit code, and leaves a
# screenshot of the dialog in build/artifacts/demo-dialog.png.
#
# Both packages are built from the one manifest: ZeraUpdate.exe (behind the 32-bit Extractor.exe,
# starting Brevane.exe) and ZeraUpdate64.exe (behind Extractor64.exe, starting Brevane64.exe).
# Where this host runs 32-bit code the 32-bit package runs; where it cannot (as 64-bit Windows
# PE cannot), the 64-bit one does.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash devtools/setup.sh
source devtools/wine-env.sh
if brevane_host_runs_32bit; then bits=32; package=ZeraUpdate.exe; else bits=64; package=ZeraUpdate64.exe; fi
echo "== $(brevane_host_32bit_text): the demo runs the $bits-bit package $package"
# Only what the demo uses: the package writer, both Extractors, the stand-ins, the UI driver
# and the two simulation builds of Brevane (no tests). Building runs no 32-bit code.
build() { cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j "$(nproc)" --target "${@:2}"; }
build native sfxpack
build win32 Extractor standins dos_standins uidriver
build win64 Extractor standins uidriver
build win32-sim Brevane Extractor
build win64-sim Brevane Extractor

# The display comes first: a Wine session that started without one cannot open windows later.
started_xvfb=""
if [ -z "${DISPLAY:-}" ]; then
  display_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
  started_xvfb=$!
  for _ in $(seq 50); do [ -s "$display_file" ] && break; sleep 0.1; done
  export DISPLAY=":$(cat "$display_file")"
  rm -f "$display_file"
fi
cleanup() { wineserver -k 2>/dev/null || true; [ -n "$started_xvfb" ] && kill "$started_xvfb" 2>/dev/null; true; }
trap cleanup EXIT
wineserver -k 2>/dev/null || true
brevane_wine_prefix

demo="$root/build/demo"
rm -rf "$demo"
mkdir -p "$demo/stage" "$root/build/artifacts"
cp devtools/demo/*.manifest devtools/demo/*.script devtools/demo/*.SCR devtools/demo/settings.ini "$demo/"
bash devtools/demo/stage.sh "$demo/stage"

echo "== building both packages from devtools/demo/demo.manifest"
pack=build/native/devtools/sfxpack/sfxpack
$pack build build/win32/bin/Extractor.exe "$demo/demo.manifest" "$demo/ZeraUpdate.exe"
$pack build build/win64/bin/Extractor64.exe "$demo/demo.manifest" "$demo/ZeraUpdate64.exe"
$pack verify "$demo/ZeraUpdate.exe" | grep -E '^OK command|verified'
$pack verify "$demo/ZeraUpdate64.exe" | grep -E '^OK command|verified'
echo "== the package this demo runs: $package"
$pack list "$demo/$package"

# The simulated machine: a Zera Book 14 with BIOS A05 and system ID 0ABC, administrator rights,
# full Windows; a restart is recorded in reboot.log instead of happening.
site="$WINEPREFIX/drive_c/brevane-demo"
rm -rf "$site"
mkdir -p "$site/logs"
/usr/bin/python3 devtools/smbiosgen/smbiosgen.py profile --bios-version A05 --zera-id 0ABC --admin 1 --winpe 0 \
  "$site/machine" >/dev/null
cp "$demo/$package" "$site/"
# Run elevated, Extractor extracts into a new private folder <package>.<random> under the
# Windows directory's SystemTemp (Temp where there is none, as under Wine).
private_root="$WINEPREFIX/drive_c/windows/temp"
[ -d "$WINEPREFIX/drive_c/windows/SystemTemp" ] && private_root="$WINEPREFIX/drive_c/windows/SystemTemp"
rm -rf "$private_root/${package%.exe}".*
newest_private() { ls -dt "$private_root/${package%.exe}".* 2>/dev/null | head -n 1; }


echo "== running C:\\brevane-demo\\$package"
cd "$site"
BREVANE_SIM_PROFILE='C:\brevane-demo\machine\profile.ini' timeout 300 \
  bash -c "source '$root/devtools/wine-env.sh'; brevane_wine '$site/$package'" &
runner=$!

# A technician's part, played by our UI driver: press "Update", watch, answer the result box.
ui() { brevane_wine "$root/build/win$bits/bin/uidriver.exe" "$@" 2>/dev/null | tr -d '\r'; }
shot="$root/build/artifacts/demo-dialog.png"
if ui wait --title "Update BIOS" --class "#32770" --no-msgbox --timeout 60000 >/dev/null; then
  echo "== the dialog is up:"
  ui controls --title "Update BIOS" --no-msgbox | grep -E 'id=100[34] |id=1006 ' | sed 's/ style=.*//'
  echo "== pressing Update"
  ui click --title "Update BIOS" --no-msgbox --id 1000 >/dev/null
  for _ in $(seq 60); do
    sleep 0.5
    extracted_linux=$(newest_private)
    [ -n "$extracted_linux" ] && [ -f "$extracted_linux/AFUWINx64.cmdline" ] && break
  done
  sleep 2.5
  import -window root "$shot" 2>/dev/null && echo "== screenshot of the dialog during the BIOS flash: $shot"
  if box=$(ui msgbox --title "Update BIOS" --msgbox --timeout 120000); then
    echo "== result box:"
    echo "$box"
    echo "== answering Yes (restart now; the simulation records it)"
    ui answer --title "Update BIOS" --msgbox --button "&Yes" >/dev/null || ui answer --title "Update BIOS" --msgbox --button "Yes" >/dev/null || ui answer --title "Update BIOS" --msgbox --button "OK" >/dev/null
  fi
else
  echo "== the dialog did not appear"
fi
set +e
wait "$runner"
code=$?
set -e
cd "$root"

extracted_linux=$(newest_private)
echo "== extracted to C:\\windows\\${private_root##*/}\\${extracted_linux##*/}"
[ -n "$extracted_linux" ] && ls -l "$extracted_linux"
echo "== command lines the stand-in tools received"
for f in "$extracted_linux"/*.cmdline; do [ -f "$f" ] && { echo "-- $(basename "$f")"; cat "$f"; }; done
echo "== restart requests (simulation: recorded instead of restarting)"
cat "$site/machine/reboot.log" 2>/dev/null || echo "(none)"
echo "== C:\\brevane-demo\\logs\\Brevane.log"
cat "$site/logs/Brevane.log" 2>/dev/null | tr -d '\r' || echo "(no log)"
echo "== exit code of $package (Brevane's): $code"

# The same package on a machine booted into DOS: DOSBox runs the package's DOS program, which
# reads the package behind its own file, extracts the DOS entries, runs Brevane's checks and
# updates with the DOS stand-ins of the flash tools (AFUDOS.EXE and FWUPDLCL.EXE, each printing
# its .SCR script and recording its command line in C:\TOOLS.LOG). DOSBox has no SMBIOS table
# and must not restart, so the package is built here once more behind the simulation build of
# Extractor of the same kind, whose DOS program reads the same machine's table from a profile
# and records the restart in C:\SIM\REBOOT.LOG.
echo "== the same package under DOS (DOSBox, simulated Zera machine)"
dosdir="$demo/dos"
rm -rf "$dosdir"
mkdir -p "$dosdir/C/TEMP" "$dosdir/C/SIM"
sim_extractor=build/win32-sim/bin/Extractor.exe
[ "$bits" = 64 ] && sim_extractor=build/win64-sim/bin/Extractor64.exe
echo "== its DOS program is the one in the header of ${sim_extractor##*/} (simulation build)"
$pack build "$sim_extractor" "$demo/demo.manifest" "$dosdir/C/ZERAUPD.EXE" >/dev/null
/usr/bin/python3 devtools/smbiosgen/smbiosgen.py table --bios-version A05 --zera-id 0ABC "$dosdir/C/SIM/TABLE.BIN" \
  >/dev/null
printf '[platform]\r\nsmbios=C:\\SIM\\TABLE.BIN\r\nreboot_log=C:\\SIM\\REBOOT.LOG\r\n' >"$dosdir/C/SIM/PROFILE.INI"
printf '[sdl]\noutput=surface\n[cpu]\ncycles=max\n[mixer]\nnosound=true\n[speaker]\npcspeaker=false\n[sblaster]\nsbtype=none\n' \
  >"$dosdir/dosbox.conf"
{
  printf '@echo off\r\nset TEMP=C:\\TEMP\r\nset BREVANE_SIM_PROFILE=C:\\SIM\\PROFILE.INI\r\nset STANDIN_RECORD=C:\\TOOLS.LOG\r\n'
  printf 'ZERAUPD.EXE /NoPause > C:\\OUT.TXT\r\n'
  for n in $(seq 255 -1 0); do printf 'if errorlevel %d goto e%d\r\n' "$n" "$n"; done
  for n in $(seq 255 -1 0); do printf ':e%d\r\necho %d> C:\\EL.TXT\r\ngoto done\r\n' "$n" "$n"; done
  printf ':done\r\n'
} >"$dosdir/C/RUN.BAT"
SDL_VIDEODRIVER=dummy timeout -k 5 120 dosbox -conf "$dosdir/dosbox.conf" -c "mount c $dosdir/C" -c "c:" \
  -c "call RUN.BAT" -c exit </dev/null >/dev/null 2>&1 || true
echo "== C:\\ZERAUPD.EXE /NoPause printed:"
tr -d '\r' 2>/dev/null <"$dosdir/C/OUT.TXT" || echo "(nothing)"
echo "== left in C:\\TEMP: $(ls -A "$dosdir/C/TEMP" | tr '\n' ' ')"
echo "== C:\\BREVANE.LOG"
tr -d '\r' 2>/dev/null <"$dosdir/C/BREVANE.LOG" || echo "(no log)"
echo "== the tools' command lines under DOS (C:\\TOOLS.LOG)"
tr -d '\r' 2>/dev/null <"$dosdir/C/TOOLS.LOG" || echo "(no tool ran)"
echo "== restart recorded (C:\\SIM\\REBOOT.LOG): $(tr -d '\r\n' 2>/dev/null <"$dosdir/C/SIM/REBOOT.LOG" || echo none)"
echo "== exit code of ZERAUPD.EXE under DOS: $(tr -d '\r\n ' 2>/dev/null <"$dosdir/C/EL.TXT" || echo none)"
