#!/usr/bin/env bash
# Benchmark of the package reader, run by hand (not part of the tests):
#   1. extraction throughput of a package with a large payload, against a plain zlib inflate loop
#      over the same streams and against unzip of a zip of the same files at the same level (6);
#   2. the package program under Wine extracting the same payload, no dialog and no command,
#      beside the native reader: Extractor.exe (win32 build), or Extractor64.exe (win64 build)
#      where this host runs no 32-bit code;
#   3. peak memory of CSfxFile::Open on a 1 GiB package.
# usage: devtools/bench/run.sh [PAYLOAD_MIB]   (default 256). Work files go to build/bench.
set -euo pipefail
cd "$(dirname "$0")/../.."
mib=${1:-256}
cmake --preset native >/dev/null
cmake --build --preset native -j2 --target sfx_bench sfxpack >/dev/null
source devtools/wine-env.sh
if brevane_host_runs_32bit; then preset=win32 program=Extractor.exe; else preset=win64 program=Extractor64.exe; fi
echo "$(brevane_host_32bit_text): the run under Wine uses $program"
cmake --preset $preset >/dev/null
cmake --build --preset $preset -j2 --target Extractor >/dev/null
extractor=$(pwd)/build/$preset/bin/$program
bench=build/native/devtools/bench/sfx_bench
pack=build/native/devtools/sfxpack/sfxpack
work=$(pwd)/build/bench
rm -rf "$work"
mkdir -p "$work/payload"

$bench payload "$work/payload" "$mib"
printf 'MZ' > "$work/program.bin"
{
  echo "[package]"
  echo "flags = 0x301"
  echo "win32 = run.exe"
  for f in "$work"/payload/*.bin; do
    echo "[file]"
    echo "source = $(realpath "$f")"
    echo "platform = all"
  done
} > "$work/manifest.ini"
$pack build "$work/program.bin" "$work/manifest.ini" "$work/package.exe" >/dev/null
# The same files behind the package program: no dialog, extract into the current folder, no command.
sed -e 's/^flags = .*/flags = 0x102/' -e '/^win32 = /d' "$work/manifest.ini" > "$work/wine.ini"
$pack build "$extractor" "$work/wine.ini" "$work/wine-package.exe" >/dev/null
printf '[package]\nflags = 0x102\n[file]\nsource = %s\nplatform = all\n' "$(realpath "$work/program.bin")" > "$work/tiny.ini"
$pack build "$extractor" "$work/tiny.ini" "$work/wine-tiny.exe" >/dev/null
(cd "$work/payload" && zip -q -6 ../payload.zip ./*.bin)

now() { date +%s.%N; }
sync
result=$($bench extract "$work/package.exe" "$work/out")
sync
start=$(now)
unzip -q -o "$work/payload.zip" -d "$work/out/unzip"
unzip_seconds=$(echo "$(now) - $start" | bc -l)

# Wine: the prefix exists before timing, and a first run of a package with one small file
# starts the Wine server and shows what starting costs alone; the timed run includes it.
brevane_wine_prefix
mkdir -p "$work/out/wine-tiny" "$work/out/wine"
start=$(now)
(cd "$work/out/wine-tiny" && brevane_wine "$work/wine-tiny.exe") >/dev/null 2>&1
tiny_seconds=$(echo "$(now) - $start" | bc -l)
sync
start=$(now)
(cd "$work/out/wine" && brevane_wine "$work/wine-package.exe") >/dev/null 2>&1
wine_seconds=$(echo "$(now) - $start" | bc -l)

for f in "$work"/payload/*.bin; do
  cmp -s "$f" "$work/out/reader/$(basename "$f")" || { echo "reader output differs: $f"; exit 1; }
  cmp -s "$f" "$work/out/wine/$(basename "$f")" || { echo "$program output differs: $f"; exit 1; }
done

bytes=$(echo "$result" | awk '/^bytes/ {print $2}')
reader=$(echo "$result" | awk '/^reader_seconds/ {print $2}')
plain=$(echo "$result" | awk '/^plain_seconds/ {print $2}')
mbs() { echo "scale=1; $bytes / 1048576 / $1" | bc -l; }
echo "payload: $(echo "$bytes / 1048576" | bc) MiB in 4 files, package $(stat -c %s "$work/package.exe") bytes, zip $(stat -c %s "$work/payload.zip") bytes"
echo "CSfxFile::ExtractAll:  ${reader} s  ($(mbs "$reader") MiB/s)"
echo "plain zlib loop:       ${plain} s  ($(mbs "$plain") MiB/s)"
echo "unzip:                 ${unzip_seconds} s  ($(mbs "$unzip_seconds") MiB/s)"
echo "$program (Wine):  ${wine_seconds} s  ($(mbs "$wine_seconds") MiB/s; a one-file package takes ${tiny_seconds} s)"
echo "throughput ratio reader/plain-zlib: $(echo "scale=3; $plain / $reader" | bc -l)"
echo "throughput ratio reader/unzip:      $(echo "scale=3; $unzip_seconds / $reader" | bc -l)"
echo "throughput ratio $program under Wine/reader: $(echo "scale=3; $reader / $wine_seconds" | bc -l)"
rm -rf "$work/out" "$work/payload" "$work/payload.zip" "$work/package.exe" "$work/wine-package.exe" "$work/wine-tiny.exe"

# A 1 GiB package: the program part is a 1 GiB file (sparse), one small entry behind it.
truncate -s 1G "$work/program.bin"
printf 'hello\n' > "$work/small.txt"
printf '[package]\nwin32 = run.exe\n[file]\nsource = %s\nplatform = 2\n' "$(realpath "$work/small.txt")" > "$work/manifest.ini"
$pack build "$work/program.bin" "$work/manifest.ini" "$work/large.exe" >/dev/null
rm -f "$work/program.bin"
$bench open "$work/large.exe"
rm -rf "$work"
