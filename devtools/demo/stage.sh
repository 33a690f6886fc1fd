#!/usr/bin/env bash
# Stages the files of the demo package (demo.manifest's stage/ folder) from the builds: both
# simulation builds of Brevane (stripped, as the package carries the release images), the
# stand-ins of the outside tools, each of its own kind (AFUWIN.exe and FWUpdLcl.exe 32-bit,
# AFUWINx64.exe and FWUpdLcl64.exe 64-bit, as the real tools are), the DOS stand-ins, and
# deterministic images, so that the same sources always give the same package.
# usage: devtools/demo/stage.sh STAGE_DIR        (needs build/win32, win64, win32-sim, win64-sim)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
stage=$1
mkdir -p "$stage"
cd "$root/build"
i686-w64-mingw32-objcopy --strip-all win32-sim/bin/Brevane.exe "$stage/Brevane.exe"
x86_64-w64-mingw32-objcopy --strip-all win64-sim/bin/Brevane64.exe "$stage/Brevane64.exe"
cp win32/bin/standins/AFUWIN.exe win32/bin/standins/FWUpdLcl.exe "$stage/"
cp win64/bin/standins/AFUWINx64.exe win64/bin/standins/FWUpdLcl64.exe "$stage/"
cp win32/bin/dosstandins/AFUDOS.EXE win32/bin/dosstandins/FWUPDLCL.EXE "$stage/"
/usr/bin/python3 - "$stage" <<'PY'
import random, sys
folder = sys.argv[1]
for name, size, seed in (("image.rom", 4 << 20, 1), ("secure.rom", 4 << 20, 2), ("me.bin", 1 << 20, 3)):
    rng = random.Random(seed)
    block = bytes(rng.getrandbits(8) for _ in range(4096)) + b"\xff" * 4096
    with open(f"{folder}/{name}", "wb") as f:
        f.write((block * (size // len(block) + 1))[:size])
PY
