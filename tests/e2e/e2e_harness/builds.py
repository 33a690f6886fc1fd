"""Locating the builds: build/<preset>/bin for the four Windows presets."""
from __future__ import annotations

import os
from pathlib import Path

import pytest

REPO_ROOT = Path(os.environ.get("BREVANE_ROOT", Path(__file__).resolve().parents[3]))
BUILD_ROOT = REPO_ROOT / "build"

WINDOWS_PRESETS = ("win32", "win64", "win32-sim", "win64-sim")

# The harness's own Windows tools; any Windows build has them.
HARNESS_TOOLS = ("runexe.exe", "uidriver.exe", "msglisten.exe", "logwatch.exe", "e2edemo.exe")


def bin_dir(preset: str) -> Path:
    return BUILD_ROOT / preset / "bin"


def program(preset: str, name: str) -> Path:
    """The built program `name` of `preset`; skips the calling test when it is not built."""
    path = bin_dir(preset) / name
    if not path.is_file():
        pytest.skip(f"{name} is not built in build/{preset}/bin (run: devtools/build.sh {preset})")
    return path


def harness_tool(name: str) -> Path:
    """A harness tool from the first Windows build that has it (32-bit first: it runs on both)."""
    for preset in WINDOWS_PRESETS:
        path = bin_dir(preset) / name
        if path.is_file():
            return path
    pytest.skip(f"harness tool {name} is not built (run: devtools/build.sh win32)")
