"""Locating the builds: build/<preset>/bin for the four Windows presets, and the build the
end-to-end tests run against.

One run of the end-to-end tests runs against one build, 32- or 64-bit: its Brevane, its
Extractor and the packages made from it, its stand-ins and harness tools. BREVANE_E2E_BITS
(32 or 64) chooses it; the test command runs the tests once per build this host can run. Without
the variable the 64-bit build is taken: it runs on every host, also where 32-bit code cannot.
"""
from __future__ import annotations

import os
from dataclasses import dataclass
from pathlib import Path

import pytest

from .host import REPO_ROOT, runs_32bit

BUILD_ROOT = REPO_ROOT / "build"

WINDOWS_PRESETS = ("win32", "win64", "win32-sim", "win64-sim")

# The harness's own Windows tools; any Windows build has them.
HARNESS_TOOLS = ("runexe.exe", "uidriver.exe", "msglisten.exe", "logwatch.exe", "e2edemo.exe")


@dataclass(frozen=True)
class Build:
    """One bitness of the Windows programs and what belongs to it."""
    bits: int

    @property
    def preset(self) -> str:          # production build: Brevane, Extractor, stand-ins, tools
        return f"win{self.bits}"

    @property
    def sim_preset(self) -> str:      # simulation build: the machine's answers from a profile
        return f"win{self.bits}-sim"

    @property
    def brevane(self) -> str:
        return "Brevane.exe" if self.bits == 32 else "Brevane64.exe"

    @property
    def extractor(self) -> str:
        return "Extractor.exe" if self.bits == 32 else "Extractor64.exe"

    @property
    def objdump(self) -> str:
        return "i686-w64-mingw32-objdump" if self.bits == 32 else "x86_64-w64-mingw32-objdump"

    @property
    def id(self) -> str:              # the test id part, as the parameterised tests have used it
        return f"{self.bits}bit"


BUILD32, BUILD64 = Build(32), Build(64)


def _under_test() -> Build:
    wanted = os.environ.get("BREVANE_E2E_BITS", "64")
    if wanted not in ("32", "64"):
        raise RuntimeError(f"BREVANE_E2E_BITS must be 32 or 64, not {wanted!r}")
    return BUILD32 if wanted == "32" else BUILD64


# The build this run of the end-to-end tests runs against.
UNDER_TEST = _under_test()


def bin_dir(preset: str) -> Path:
    return BUILD_ROOT / preset / "bin"


def program(preset: str, name: str) -> Path:
    """The built program `name` of `preset`; skips the calling test when it is not built."""
    path = bin_dir(preset) / name
    if not path.is_file():
        pytest.skip(f"{name} is not built in build/{preset}/bin (run: devtools/build.sh {preset})")
    return path


def harness_tool(name: str) -> Path:
    """A harness tool from the build under test (any Windows build has them), else from
    another build this host can run."""
    presets = [UNDER_TEST.preset, UNDER_TEST.sim_preset] + [p for p in WINDOWS_PRESETS if p.startswith("win64")]
    if runs_32bit():
        presets += [p for p in WINDOWS_PRESETS if p.startswith("win32")]
    for preset in presets:
        path = bin_dir(preset) / name
        if path.is_file():
            return path
    pytest.skip(f"harness tool {name} is not built (run: devtools/build.sh {UNDER_TEST.preset})")


def under_test_param():
    """The build under test as the one parameter of a test that names its build in its id
    ("[32bit]" or "[64bit]")."""
    return [pytest.param(UNDER_TEST, id=UNDER_TEST.id)]
