"""The Wine environment of devtools/wine-env.sh, the prefix, the X display, and paths."""
from __future__ import annotations

import os
import shutil
import struct
import subprocess
import tempfile
import time
from pathlib import Path, PureWindowsPath

from .builds import BUILD_ROOT, REPO_ROOT
from .host import runs_32bit

# Wine's own loaders, never Debian's `wine` wrapper: the wrapper takes the 32-bit loader
# whenever wine32 is installed, and on a host that runs no 32-bit code that loader cannot start.
WINE64 = "/usr/lib/wine/wine64"
WINE32 = "/usr/lib/wine/wine"


def pe_bits(path: Path) -> int | None:
    """32 or 64 for a PE image, None for anything else (a builtin such as cmd)."""
    try:
        with open(path, "rb") as image:
            head = image.read(4096)
    except OSError:
        return None
    if len(head) < 64 or head[:2] != b"MZ":
        return None
    at, = struct.unpack_from("<I", head, 0x3C)
    if at + 6 > len(head) or head[at:at + 4] != b"PE\0\0":
        return None
    machine, = struct.unpack_from("<H", head, at + 4)
    return {0x14C: 32, 0x8664: 64}.get(machine)


class ThirtyTwoBitRefused(AssertionError):
    """A 32-bit program was to be started where 32-bit code cannot run (or is told not to)."""


def loader_for(program: Path | str) -> str:
    """The Wine loader for `program`: 64-bit images and builtins go to wine64; a 32-bit image
    to the 32-bit loader, and only where this host runs 32-bit code."""
    if pe_bits(Path(program)) == 32:
        if not runs_32bit():
            raise ThirtyTwoBitRefused(f"{program} is a 32-bit program and this host runs none "
                                      "(or BREVANE_FORCE_NO_32BIT=1)")
        return WINE32
    return WINE64


def wine_environment() -> dict[str, str]:
    """os.environ plus the settings every Wine run of ours uses (same defaults as wine-env.sh)."""
    env = dict(os.environ)
    env.setdefault("WINEPREFIX", str(BUILD_ROOT / "wineprefix"))
    env.setdefault("WINEDEBUG", "-all")
    env.setdefault("WINEDLLOVERRIDES", "mscoree,mshtml=")
    env["WINEARCH"] = "win64"
    return env


def prefix_dir(env: dict[str, str]) -> Path:
    return Path(env["WINEPREFIX"])


def drive_c(env: dict[str, str]) -> Path:
    return prefix_dir(env) / "drive_c"


def ensure_prefix(env: dict[str, str]) -> None:
    """Creates the prefix when missing, through the same locked routine the scripts use."""
    if (prefix_dir(env) / "system.reg").is_file():
        return
    script = f'source "{REPO_ROOT}/devtools/wine-env.sh"; brevane_wine_prefix'
    subprocess.run(["bash", "-c", script], env=env, check=True, timeout=300)


def to_windows_path(path: Path, env: dict[str, str]) -> str:
    """The Windows form of a Linux path: C:\\... inside drive_c, otherwise Z:\\... ."""
    path = Path(os.path.abspath(path))
    try:
        relative = path.relative_to(drive_c(env))
        return str(PureWindowsPath("C:\\", *relative.parts))
    except ValueError:
        return str(PureWindowsPath("Z:\\", *path.parts[1:]))


def to_linux_path(windows_path: str, env: dict[str, str]) -> Path:
    """The Linux path of a C:\\ or Z:\\ path. Wine matches names without regard to case, so
    each existing component is looked up that way (C:\\Users finds drive_c/users)."""
    path = PureWindowsPath(windows_path)
    drive = path.drive.upper()
    if drive == "C:":
        current = drive_c(env)
    elif drive == "Z:":
        current = Path("/")
    else:
        raise ValueError(f"no Linux path for {windows_path!r}")
    for part in path.parts[1:]:
        exact = current / part
        if not exact.exists() and current.is_dir():
            matches = [child for child in current.iterdir() if child.name.lower() == part.lower()]
            exact = matches[0] if matches else exact
        current = exact
    return current


class Display:
    """The X display for windows: the exported DISPLAY, or an Xvfb of our own when unset."""

    def __init__(self) -> None:
        self.process: subprocess.Popen | None = None
        self.name = os.environ.get("DISPLAY", "")

    def start(self) -> str:
        if self.name:
            return self.name
        if shutil.which("Xvfb") is None:
            raise RuntimeError("DISPLAY is unset and Xvfb is not installed (devtools/setup.sh)")
        with tempfile.TemporaryFile() as number_file:
            self.process = subprocess.Popen(
                ["Xvfb", "-displayfd", str(number_file.fileno()), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                pass_fds=(number_file.fileno(),), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            deadline = time.monotonic() + 15
            while time.monotonic() < deadline:
                number_file.seek(0)
                text = number_file.read().decode().strip()
                if text:
                    self.name = f":{text}"
                    return self.name
                if self.process.poll() is not None:
                    break
                time.sleep(0.05)
        self.stop()
        raise RuntimeError("Xvfb did not start")

    @property
    def owned(self) -> bool:
        return self.process is not None

    def stop(self) -> None:
        if self.process is not None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
            self.process = None
