"""Test packages for the Extractor end-to-end tests: written by the package writer (sfxpack)
from a manifest, behind the built Extractor of the build under test (Extractor.exe or
Extractor64.exe), with sfxprobe.exe as their command.

sfxprobe records how it was started (command line, working directory, the three published
variables) into a file, can post "SfxKorvaleMsg", and exits with a chosen code (see
devtools/sfxprobe).
"""
from __future__ import annotations

import calendar
import glob
import re
import shutil
import subprocess
from dataclasses import dataclass, field
from pathlib import Path, PureWindowsPath

import pytest

from e2e_harness import builds

# The stored times of every fixture entry (UTC) and the same instant as a Unix time.
STORED_TIME = "2014/01/22 20:22:32"
STORED_UNIX_TIME = calendar.timegm((2014, 1, 22, 20, 22, 32))


def sfxpack() -> list[str]:
    """The writer: the native build's sfxpack (fast), else skip."""
    native = builds.BUILD_ROOT / "native" / "devtools" / "sfxpack" / "sfxpack"
    if not native.is_file():
        pytest.skip("sfxpack is not built in build/native (run: devtools/build.sh native)")
    return [str(native)]


@dataclass
class Entry:
    name: str
    platform: str          # as the manifest takes it: a number or DOS, Win32, WinPE, all
    data: bytes = b""
    source: Path | None = None
    attributes: int = 0x20


@dataclass
class Package:
    flags: int
    win32: str
    entries: list[Entry] = field(default_factory=list)
    dos: str = "dosflash.bat"


def probe_entry() -> Entry:
    return Entry("sfxprobe.exe", "Win32", source=builds.program(builds.UNDER_TEST.preset, "sfxprobe.exe"))


def standard_entries() -> list[Entry]:
    """One entry per kind of platform mask: Win32, every platform, WinPE, DOS only, none."""
    return [
        probe_entry(),
        Entry("settings.ini", "all", b"[Bios]\r\nSecureFlash=0\r\n"),
        Entry("HECI.inf", "WinPE", b"; driver\r\n"),
        Entry("AFUDOS.exe", "DOS", b"MZ dos tool"),
        Entry("nowhere.txt", "0", b"never extracted"),
    ]


def build_package(package: Package, workdir: Path, output: Path, sign: tuple[Path, Path] | None = None,
                  preset: str = builds.UNDER_TEST.preset) -> Path:
    """Writes `package` behind the Extractor of the build under test (or of `preset`) into `output`;
    with `sign` (a PKCS#12 file and its password file) the writer signs the finished file."""
    workdir.mkdir(parents=True, exist_ok=True)
    lines = ["[package]", f"flags = {package.flags:#x}", f"win32 = {package.win32}", f"dos = {package.dos}"]
    if not package.win32.lower().startswith("brevane.exe"):
        # The writer makes the 64-bit command from a command that starts Brevane.exe; any other
        # test command (sfxprobe, cmd) is the same for both package programs.
        lines.append(f"win64 = {package.win32}")
    for index, entry in enumerate(package.entries):
        source = entry.source
        if source is None:
            source = workdir / f"entry{index}.bin"
            source.write_bytes(entry.data)
        lines += ["[file]", f"source = {source}", f"name = {entry.name}", f"platform = {entry.platform}",
                  f"attributes = {entry.attributes:#x}", f"modified = {STORED_TIME}", f"created = {STORED_TIME}"]
    manifest = workdir / "package.manifest"
    manifest.write_text("\n".join(lines) + "\n")
    extractor = builds.program(preset, "Extractor64.exe" if preset.startswith("win64") else "Extractor.exe")
    signing = ["--sign", str(sign[0]), "--password-file", str(sign[1])] if sign else []
    subprocess.run([*sfxpack(), "build", str(extractor), str(manifest), str(output), *signing], check=True,
                   capture_output=True, timeout=120)
    return output


@dataclass
class ProbeRecord:
    cmdline: str
    cwd: str
    SfxCmdLine: str
    SfxPathName: str
    ExtractDest: str


def read_probe_records(path: Path) -> list[ProbeRecord]:
    """Every block sfxprobe appended to `path`, in order."""
    if not path.exists():
        return []
    records, current = [], {}
    # sfxprobe's code page is UTF-8 (its manifest).
    for line in path.read_bytes().decode("utf-8").split("\n"):
        if line == "end":
            records.append(ProbeRecord(**current))
            current = {}
        elif "=" in line:
            key, _, value = line.partition("=")
            current[key] = value
    return records


def linux_path(drive_c: Path, windows_path: str) -> Path:
    """The Linux path of a C: path inside the prefix."""
    parts = PureWindowsPath(windows_path).parts
    assert parts[0].upper() == "C:\\", windows_path
    return drive_c.joinpath(*parts[1:])


def temp_folders(drive_c: Path) -> list[Path]:
    return [Path(p) for p in glob.glob(str(drive_c / "users" / "*" / "Temp"))]


def remove_temp_destination(drive_c: Path, base_name: str) -> None:
    for temp in temp_folders(drive_c):
        shutil.rmtree(temp / base_name, ignore_errors=True)
    remove_private_folders(drive_c, base_name)


def private_root(drive_c: Path) -> Path:
    """Where an elevated Extractor makes its private folders: the Windows directory's
    SystemTemp, or its Temp where there is none (Wine has none)."""
    windows = drive_c / "windows"
    return windows / "SystemTemp" if (windows / "SystemTemp").is_dir() else windows / "temp"


def private_folders(drive_c: Path, base_name: str) -> list[Path]:
    """The private folders of packages named `base_name`: `<base>.<32 hexadecimal digits>`."""
    pattern = re.compile(re.escape(base_name) + r"\.[0-9a-f]{32}")
    root = private_root(drive_c)
    return sorted(p for p in root.glob(glob.escape(base_name) + ".*") if p.is_dir() and pattern.fullmatch(p.name))


def remove_private_folders(drive_c: Path, base_name: str) -> None:
    for folder in private_folders(drive_c, base_name):
        shutil.rmtree(folder, ignore_errors=True)


def the_private_folder(drive_c: Path, base_name: str) -> Path:
    """The one private folder a run left for `base_name` (tests remove them first)."""
    [folder] = private_folders(drive_c, base_name)
    return folder
