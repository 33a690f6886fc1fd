"""Runs DOS programs in DOSBox, headless and bounded: a folder mounted as C:, a generated batch
that runs one command with its output redirected to C:\\OUT.TXT and records the errorlevel in
C:\\EL.TXT (DOS batch files can only test "errorlevel N or above", hence the descending list)."""
from __future__ import annotations

import os
import shutil
import subprocess
from dataclasses import dataclass
from pathlib import Path

import pytest

CONF = """[sdl]
output=surface
[dosbox]
memsize=16
[cpu]
core=auto
cycles=max
[mixer]
nosound=true
[speaker]
pcspeaker=false
tandy=off
[sblaster]
sbtype=none
[gus]
gus=false
[midi]
mpu401=none
[dos]
keyboardlayout=none
"""


@dataclass
class DosRun:
    exit_code: int | None  # None: the program never ended (the batch did not get that far)
    output: str            # what the program wrote to standard output, CR LF made LF


def dosbox() -> str:
    path = shutil.which("dosbox")
    if not path:
        pytest.skip("dosbox is not installed (run: devtools/setup.sh)")
    return path


def run(folder: Path, command: str, env: dict[str, str] | None = None, before: list[str] | None = None,
        timeout: float = 60) -> DosRun:
    """Runs `command` (a DOS command line) in `folder` mounted as C:, with the DOS environment
    variables `env` set first and the batch lines `before` run before it."""
    for name in ("OUT.TXT", "EL.TXT", "RUN.BAT"):
        (folder / name).unlink(missing_ok=True)
    lines = ["@echo off"]
    lines += [f"set {name}={value}" for name, value in (env or {}).items()]
    lines += before or []
    lines += [f"{command} > C:\\OUT.TXT"]
    lines += [f"if errorlevel {n} goto e{n}" for n in range(255, -1, -1)]
    for n in range(255, -1, -1):
        lines += [f":e{n}", f"echo {n}> C:\\EL.TXT", "goto done"]
    lines += [":done"]
    (folder / "RUN.BAT").write_bytes(("\r\n".join(lines) + "\r\n").encode("ascii"))
    conf = folder.parent / f"{folder.name}.dosbox.conf"
    conf.write_text(CONF)
    environment = dict(os.environ, SDL_VIDEODRIVER="dummy", SDL_AUDIODRIVER="dummy")
    # The outer bound: a program that hangs keeps DOSBox running.
    subprocess.run(["timeout", "-k", "5", str(timeout), dosbox(), "-conf", str(conf), "-c", f"mount c {folder}",
                    "-c", "c:", "-c", "call RUN.BAT", "-c", "exit"],
                   env=environment, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=timeout + 30)
    out = folder / "OUT.TXT"
    level = folder / "EL.TXT"
    return DosRun(int(level.read_text().strip()) if level.exists() else None,
                  out.read_bytes().decode("cp437").replace("\r\n", "\n") if out.exists() else "")
