"""What a normal user could leave where the elevated programs look: a library beside Brevane,
bytes added to a signed package's certificate table. None of it may run."""
from __future__ import annotations

import os
import shutil
import struct
import subprocess

import pytest

from e2e_harness import builds
from e2e_harness import wine as wine_setup
from e2e_harness.runner import WineRunner
from extractor_packages import (Entry, Package, build_package, probe_entry, read_probe_records,
                                remove_temp_destination, sfxpack, standard_entries, temp_folders)

RUN_SECONDS = 60
NO_DIALOG = 0x100
TEMP_OPTION = 1
CURRENT_OPTION = 2
EXIT_DESTINATION = 21
EXIT_EXTRACTION = 22

BREVANE_BUILDS = [pytest.param(("win32", "Brevane.exe"), id="32bit"),
                  pytest.param(("win64", "Brevane64.exe"), id="64bit")]


@pytest.fixture
def drive_c(wine_env):
    return wine_setup.drive_c(wine_env)


def native_first(wine) -> WineRunner:
    """Wine takes its own dbghelp before one beside a program; Windows does the opposite for a
    library that is not a known DLL. The override makes Wine search as Windows does."""
    return WineRunner({**wine.env, "WINEDLLOVERRIDES": "mscoree,mshtml=;dbghelp=n,b"})


@pytest.mark.parametrize("build", BREVANE_BUILDS)
def test_brevane_never_loads_a_dbghelp_planted_beside_it(wine, scratch, build):
    preset, name = build
    brevane = scratch.copy_in(builds.program(preset, name))
    scratch.copy_in(builds.program(preset, "plant/dbghelp.dll"))
    probe = scratch.copy_in(builds.program(preset, "sfxprobe.exe"))
    marker = scratch.file("marker.txt")
    env = {"SFX_PLANT_MARKER": scratch.winpath("marker.txt")}
    runner = native_first(wine)

    control = runner.run([probe, "/record", "control.txt", "/loadlib", "dbghelp.dll"], cwd=scratch.path, env=env,
                         timeout=RUN_SECONDS)
    assert control.exit_code == 0
    assert marker.exists(), "control: an ordinary load should have taken the planted library"
    marker.unlink()

    # The log in a folder chain that does not exist yet: Brevane creates it with dbghelp.
    log = scratch.file("logs", "deep", "upd.log")
    result = runner.run([brevane, "/LogFile", scratch.winpath("logs", "deep", "upd.log"), "/NoPause"],
                        cwd=scratch.path, env=env, timeout=RUN_SECONDS)

    assert result.exit_code == 11  # no BIOS image named: refused as always
    assert log.exists()
    assert not marker.exists()


@pytest.mark.parametrize("build", BREVANE_BUILDS)
def test_brevane_imports_only_known_system_libraries(build):
    preset, name = build
    tool = "i686-w64-mingw32-objdump" if preset == "win32" else "x86_64-w64-mingw32-objdump"
    objdump = shutil.which(tool)
    if not objdump:
        pytest.skip(f"{tool} is not installed")
    out = subprocess.run([objdump, "-p", str(builds.program(preset, name))], check=True, capture_output=True,
                         text=True).stdout
    imported = {line.split(":", 1)[1].strip().lower() for line in out.splitlines() if "DLL Name:" in line}
    # Known DLLs, and common controls, which the manifest pins to the side-by-side store.
    assert imported <= {"kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "ole32.dll", "oleaut32.dll",
                        "msvcrt.dll", "advapi32.dll", "comctl32.dll"}, imported
    assert "kernel32.dll" in imported


def make_pfx(folder):
    if not shutil.which("osslsigncode") or not shutil.which("openssl"):
        pytest.skip("osslsigncode or openssl missing")
    key, cert, pfx, password = (folder / n for n in ("key.pem", "cert.pem", "key.pfx", "pass.txt"))
    password.write_text("secret\n")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj",
                    "/CN=ThrowAwayTest", "-keyout", key, "-out", cert], check=True, capture_output=True)
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", pfx, "-passout",
                    f"file:{password}"], check=True, capture_output=True)
    return pfx, password


def add_to_certificate_table(signed: bytes, toc_and_trailer: bytes) -> bytes:
    """Appends a table of contents and a trailer for it inside the certificate table, growing the
    table's recorded sizes so that the file still shows as signed."""
    pe = struct.unpack_from("<I", signed, 0x3C)[0]
    entry = pe + 24 + 128  # PE32 security directory entry
    table, size = struct.unpack_from("<II", signed, entry)
    assert table + size == len(signed)
    toc = toc_and_trailer[:-22]
    trailer = struct.pack("<QH", len(signed), 0x0100) + b"!Sfx_Korvale"
    added = toc + trailer
    added += b"\0" * (-len(added) % 8)
    out = bytearray(signed + added)
    struct.pack_into("<I", out, entry + 4, size + len(added))
    struct.pack_into("<I", out, table, struct.unpack_from("<I", out, table)[0] + len(added))
    return bytes(out)


def test_a_trailer_added_to_the_certificate_table_of_a_signed_package_is_ignored(wine, scratch):
    pfx, password = make_pfx(scratch.path)
    genuine = Package(NO_DIALOG | CURRENT_OPTION, "sfxprobe.exe /record genuine.txt /exit 3", [probe_entry()])
    forged = Package(NO_DIALOG | CURRENT_OPTION, "sfxprobe.exe /record forged.txt /exit 9", [probe_entry()])
    build_package(forged, scratch.file("b2"), scratch.file("forged.exe"))
    signed = scratch.file("signed.exe")
    build_package(genuine, scratch.file("b1"), signed, sign=(pfx, password))
    verify = subprocess.run([*sfxpack(), "verify", str(signed)], capture_output=True, text=True)
    assert verify.returncode == 0, verify.stderr
    assert "package inside the signed area" in verify.stdout

    forged_bytes = scratch.file("forged.exe").read_bytes()
    toc_offset = struct.unpack_from("<Q", forged_bytes, len(forged_bytes) - 22)[0]
    tampered = scratch.file("tampered.exe")
    tampered.write_bytes(add_to_certificate_table(signed.read_bytes(), forged_bytes[toc_offset:]))
    assert subprocess.run([*sfxpack(), "verify", str(tampered)], capture_output=True).returncode == 1
    work = scratch.file("work")
    work.mkdir()

    result = wine.run([tampered], cwd=work, timeout=RUN_SECONDS)

    assert result.exit_code == 3
    assert len(read_probe_records(work / "genuine.txt")) == 1
    assert not (work / "forged.txt").exists()
