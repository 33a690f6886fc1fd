#!/usr/bin/env python3
"""Writes the seed packages of the DOS package fuzz target (corpus/dos_package_fuzz/pkg_*).

usage: make_dos_package_seeds.py SFXPACK OUTPUT_DIR

Each seed is a small package made by the writer (sfxpack) behind a minimal PE header, so that
the fuzzer starts from tables, DOS entries and streams the reader accepts, and from the
certificate entry the signature search honours. Run again only when the format changes; the
seeds are committed.
"""
import pathlib
import struct
import subprocess
import sys
import tempfile


def pe_stub(optional_size: int = 0xE0) -> bytes:
    """MZ header, PE signature, file header and a PE32 optional header with 16 directories."""
    dos = bytearray(0x40)
    dos[0:2] = b"MZ"
    struct.pack_into("<I", dos, 0x3C, 0x40)
    file_header = struct.pack("<HHIIIHH", 0x14C, 1, 0, 0, 0, optional_size, 0x0102)
    optional = bytearray(0xE0)
    struct.pack_into("<H", optional, 0, 0x10B)
    struct.pack_into("<I", optional, 92, 16)
    return bytes(dos) + b"PE\0\0" + file_header + bytes(optional)


def sign_like(package: bytes) -> bytes:
    """Alignment and a certificate table behind the trailer, named by the security entry."""
    data = bytearray(package)
    while len(data) % 8:
        data += b"\0"
    table_at = len(data)
    table = struct.pack("<IHH", 64, 0x200, 2) + b"\x30" * 56
    data += table
    struct.pack_into("<II", data, 0x40 + 24 + 128, table_at, len(table))
    return bytes(data)


def build(sfxpack: str, work: pathlib.Path, program: bytes, manifest: str) -> bytes:
    (work / "program.bin").write_bytes(program)
    (work / "manifest.ini").write_text(manifest)
    out = work / "out.bin"
    subprocess.run([sfxpack, "build", str(work / "program.bin"), str(work / "manifest.ini"), str(out)], check=True,
                   stdout=subprocess.DEVNULL)
    return out.read_bytes()


def main() -> int:
    sfxpack, target = sys.argv[1], pathlib.Path(sys.argv[2])
    target.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory() as name:
        work = pathlib.Path(name)
        (work / "AFUDOS.EXE").write_bytes(b"MZ dos flash tool " * 12)
        (work / "IMAGE.ROM").write_bytes(bytes(range(256)) * 2)
        (work / "run.exe").write_bytes(b"windows side")
        (work / "S.BAT").write_bytes(b"@echo off\r\n")
        files = """
[file]
source = AFUDOS.EXE
platform = DOS
modified = 2014/01/22 20:22:32
[file]
source = run.exe
platform = Win32
[file]
source = IMAGE.ROM
platform = 0xFF
"""
        header = """[package]
flags = 0x301
win32 = run.exe %SfxCmdLine%
dos = /BiosRomFile IMAGE.ROM /BiosVer A06
"""
        seeds = {
            "pkg_three_entries": build(sfxpack, work, pe_stub(), header + "level = 6\n" + files),
            "pkg_stored": build(sfxpack, work, pe_stub(),
                                "[package]\nflags = 1\ndos = S.BAT\nlevel = 0\n[file]\nsource = S.BAT\nplatform = 7\n"),
            "pkg_no_pe_header": build(sfxpack, work, b"MZ" + b"\0" * 62,
                                      "[package]\ndos = X\nlevel = 9\n[file]\nsource = AFUDOS.EXE\nplatform = 1\n"),
        }
        seeds["pkg_signed"] = sign_like(seeds["pkg_three_entries"])
        for seed, data in seeds.items():
            (target / seed).write_bytes(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
