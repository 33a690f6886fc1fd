"""A Brevane run in a scratch directory: the program from a simulation build, the tool stand-ins
beside it with their scripts, a simulated Zera machine (SMBIOS table and platform answers), and
readers for what the run leaves behind (log, recorded tool command lines, restart record).
"""
from __future__ import annotations

import shutil
import struct
from pathlib import Path
from typing import Optional, Sequence

from e2e_harness import builds
from e2e_harness.runner import Completed, Started, WineRunner
from e2e_harness.scratch import Scratch

STANDINS = ("AFUWIN.exe", "AFUWINx64.exe", "FWUpdLcl.exe", "FWUpdLcl64.exe", "drvload.exe")

# Brevane starts the driver loader from the system directory, which the simulation profile
# names (system_dir): a folder of the scratch directory holds its stand-in.
SYSTEM_DIR = "system32"
SYSTEM_TOOLS = ("drvload.exe",)

# Every silent run must end by itself well within this bound.
SILENT_BOUND_SECONDS = 60


def smbios_structure(kind: int, handle: int, formatted: bytes, strings: Sequence[str]) -> bytes:
    """One structure: header, formatted area, string set (two NULs when there are no strings)."""
    header = struct.pack("<BBH", kind, 4 + len(formatted), handle)
    if strings:
        string_set = b"".join(s.encode("cp1252") + b"\0" for s in strings) + b"\0"
    else:
        string_set = b"\0\0"
    return header + formatted + string_set


def zera_table(bios_version: str, manufacturer: str, product: str, zera_id: Optional[int]) -> bytes:
    """A structure table of a Zera machine; zera_id None leaves out the 0xD0 structure."""
    bios = smbios_structure(0, 0, bytes([1, 2]) + bytes(14), ["Zera BIOS vendor", bios_version])
    system = smbios_structure(1, 1, bytes([1, 2, 0, 0]) + bytes(23), [manufacturer, product])
    parts = [bios, system]
    if zera_id is not None:
        parts.append(smbios_structure(0xD0, 2, bytes(4) + struct.pack("<H", zera_id), []))
    parts.append(smbios_structure(127, 3, b"", []))
    return b"".join(parts)


def firmware_table(table: bytes) -> bytes:
    """The firmware table service's layout: calling method, version 2.7, DMI revision, Length."""
    return struct.pack("<BBBBI", 0, 2, 7, 0, len(table)) + table


def write_machine_profile(scratch: Scratch, bios: str = "A05", manufacturer: str = "Zera Inc.",
                          product: str = "Zera 5500", zera_id: Optional[int] = 0x0ABC, admin: int = 1,
                          winpe: int = 0, affinity: int = 1, smbios: bool = True, **platform: object) -> None:
    """The simulated machine in scratch/profile.ini (and its table in smbios.bin): a restart is
    recorded in reboot.log, the system directory is scratch/system32. `platform` adds further
    profile keys as given (ac_line=0, bitlocker="on", ...)."""
    lines = ["[platform]", f"admin={admin}", f"winpe={winpe}", f"affinity={affinity}",
             f"reboot_log={scratch.winpath('reboot.log')}", f"system_dir={scratch.winpath(SYSTEM_DIR)}"]
    lines += [f"{key}={value}" for key, value in platform.items()]
    if smbios:
        scratch.file("smbios.bin").write_bytes(firmware_table(zera_table(bios, manufacturer, product, zera_id)))
        lines.append(f"smbios={scratch.winpath('smbios.bin')}")
    scratch.file("profile.ini").write_text("\r\n".join(lines) + "\r\n", encoding="ascii")


class BrevaneRun:
    def __init__(self, wine: WineRunner, scratch: Scratch, preset: str = builds.UNDER_TEST.sim_preset,
                 exe: str = builds.UNDER_TEST.brevane) -> None:
        self.wine = wine
        self.scratch = scratch
        self.exe = scratch.copy_in(builds.program(preset, exe))
        standins = builds.bin_dir(preset) / "standins"
        scratch.file(SYSTEM_DIR).mkdir(exist_ok=True)
        for name in STANDINS:
            source = standins / name
            if not source.is_file():
                import pytest
                pytest.skip(f"stand-in {name} is not built in {standins}")
            if name in SYSTEM_TOOLS:
                shutil.copy2(source, scratch.file(SYSTEM_DIR, name))
            else:
                scratch.copy_in(source)
        self.profile = scratch.file("profile.ini")
        self.machine()

    # The simulated machine.
    def machine(self, **answers: object) -> None:
        """See write_machine_profile."""
        write_machine_profile(self.scratch, **answers)

    def tool_file(self, name: str) -> Path:
        """Where a stand-in's file (or its script or record, by the same base name) lies."""
        base = name.split(".")[0]
        if any(tool.split(".")[0] == base for tool in SYSTEM_TOOLS):
            return self.scratch.file(SYSTEM_DIR, name)
        return self.scratch.file(name)

    def remove_tool(self, name: str) -> None:
        self.tool_file(name).unlink()

    def script(self, tool: str, text: str) -> None:
        """The script of a stand-in, by its base name ("AFUWINx64", "FWUpdLcl64", "drvload")."""
        self.tool_file(f"{tool}.script").write_bytes(text.encode("cp1252"))

    def file(self, name: str, data: bytes = b"image") -> str:
        """Creates a file in the scratch directory; answers its Windows path."""
        self.scratch.file(name).write_bytes(data)
        return self.scratch.winpath(name)

    def settings(self, text: str) -> None:
        """settings.ini beside the program."""
        self.scratch.file("settings.ini").write_text(text.replace("\n", "\r\n"), encoding="ascii")

    # Running.
    def command(self, args: str) -> bytes:
        return f'"{self.scratch.winpath(self.exe.name)}" {args}'.rstrip().encode("cp1252")

    def start(self, args: str, timeout: float = SILENT_BOUND_SECONDS, env: Optional[dict] = None) -> Started:
        env = {**(env or {}), "BREVANE_SIM_PROFILE": self.scratch.winpath(self.profile.name)}
        return self.wine.start(self.command(args), cwd=self.scratch.path, env=env, timeout=timeout)

    def run(self, args: str, timeout: float = SILENT_BOUND_SECONDS, env: Optional[dict] = None) -> Completed:
        return self.start(args, timeout, env).wait()

    # What the run left behind.
    def log(self) -> bytes:
        path = self.scratch.file("Brevane.log")
        return path.read_bytes() if path.is_file() else b""

    def cmdlines(self, tool: str) -> list[str]:
        """The command lines a stand-in received, in order."""
        path = self.tool_file(f"{tool}.cmdline")
        if not path.is_file():
            return []
        return path.read_bytes().decode("cp1252").splitlines()

    def reboots(self) -> list[str]:
        path = self.scratch.file("reboot.log")
        if not path.is_file():
            return []
        return [line for line in path.read_text("cp1252").splitlines() if line]
