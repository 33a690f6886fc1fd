"""What a normal user could leave where the elevated programs look: a library beside Brevane, a
folder or files in the destination, a program beside the package, bytes added to a signed
package's certificate table. None of it may run, and Extractor's own failures end with their
own exit codes (20 package, 21 destination, 22 extraction, 23 command)."""
from __future__ import annotations

import hashlib
import os
import shutil
import struct
import subprocess
import sys

import pytest

from e2e_harness import builds, images
from e2e_harness import wine as wine_setup
from e2e_harness.runner import WineRunner
from extractor_packages import (Entry, Package, build_package, private_root, probe_entry, read_probe_records,
                                remove_private_folders, remove_temp_destination, sfxpack, standard_entries,
                                temp_folders, the_private_folder)

RUN_SECONDS = 60
NO_DIALOG = 0x100
TEMP_OPTION = 1
CURRENT_OPTION = 2
EXIT_DESTINATION = 21
EXIT_EXTRACTION = 22



@pytest.fixture
def drive_c(wine_env):
    return wine_setup.drive_c(wine_env)


def native_first(wine) -> WineRunner:
    """Wine takes its own dbghelp before one beside a program; Windows does the opposite for a
    library that is not a known DLL. The override makes Wine search as Windows does."""
    return WineRunner({**wine.env, "WINEDLLOVERRIDES": "mscoree,mshtml=;dbghelp=n,b"})


@pytest.mark.parametrize("build", builds.under_test_param())
def test_brevane_never_loads_a_dbghelp_planted_beside_it(wine, scratch, build):
    preset, name = build.preset, build.brevane
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


@pytest.mark.parametrize("build", builds.under_test_param())
def test_brevane_imports_only_known_system_libraries(build):
    imported = images.imported_libraries(builds.program(build.preset, build.brevane))
    assert imported <= images.KNOWN_LIBRARIES, imported
    assert "kernel32.dll" in imported


def temp_destination(drive_c, base: str):
    [temp] = temp_folders(drive_c)
    return temp / base


def test_neither_the_users_temp_nor_a_folder_found_there_is_used(wine, scratch, drive_c):
    """The user's TMP and TEMP name a folder of the user's choosing, and the folder of the
    package's name already exists in the user's temporary folder, holding a read-only program
    under the command's name and a stray file. Run elevated, Extractor uses neither: it makes a
    private folder of its own, and leaves the planted folder exactly as it was."""
    package = Package(NO_DIALOG | TEMP_OPTION, "sfxprobe.exe /record probe.txt /exit 3", standard_entries())
    exe = build_package(package, scratch.file("build"), scratch.file("B.exe"))
    remove_temp_destination(drive_c, "B")
    destination = temp_destination(drive_c, "B")
    destination.mkdir()
    planted = destination / "sfxprobe.exe"
    shutil.copy2(builds.program(builds.UNDER_TEST.preset, "standins/AFUWIN.exe"), planted)  # records sfxprobe.cmdline when run
    os.chmod(planted, 0o444)
    (destination / "stray.dll").write_bytes(b"MZ planted")
    chosen = scratch.file("users-choice")
    chosen.mkdir()
    (chosen / "B").mkdir()
    env = {"TMP": scratch.winpath("users-choice"), "TEMP": scratch.winpath("users-choice")}

    result = wine.run([exe], cwd=scratch.path, env=env, timeout=RUN_SECONDS)

    assert result.exit_code == 3
    private = the_private_folder(drive_c, "B")
    [record] = read_probe_records(private / "probe.txt")
    assert record.ExtractDest.lower() == "c:\\windows\\temp\\" + private.name.lower()
    assert (private / "sfxprobe.exe").read_bytes() == builds.program(builds.UNDER_TEST.preset, "sfxprobe.exe").read_bytes()
    # Never adopted, emptied or run: the planted folder is as it was, the user's choice empty.
    assert sorted(p.name for p in destination.iterdir()) == ["sfxprobe.exe", "stray.dll"]
    assert not (destination / "sfxprobe.cmdline").exists()
    assert list((chosen / "B").iterdir()) == [] and sorted(p.name for p in chosen.iterdir()) == ["B"]
    os.chmod(planted, 0o644)
    remove_temp_destination(drive_c, "B")


def test_a_package_name_without_a_dot_leaves_the_temporary_folder_alone(wine, scratch, drive_c):
    """Its base name is empty: the destination was once the temporary folder itself, and
    everything in it went. Now the folder is named after a fixed name, and nothing else is
    touched."""
    package = Package(NO_DIALOG | TEMP_OPTION, "sfxprobe.exe /record probe.txt /exit 3", standard_entries())
    exe = build_package(package, scratch.file("build"), scratch.file("ZeraUpdate"))
    remove_private_folders(drive_c, "Package")
    [temp] = temp_folders(drive_c)
    kept = temp / "kept-by-someone.txt"
    kept.write_bytes(b"mine")
    roots = {p.name for p in private_root(drive_c).iterdir()}
    try:
        # The program file has no extension; the trailing dot keeps the start from adding one.
        result = wine.run(f'"{scratch.winpath("ZeraUpdate")}."', cwd=scratch.path, timeout=RUN_SECONDS)
        assert result.exit_code == 3
        private = the_private_folder(drive_c, "Package")
        assert len(read_probe_records(private / "probe.txt")) == 1
        assert kept.read_bytes() == b"mine"
        assert {p.name for p in private_root(drive_c).iterdir()} - roots == {private.name}
    finally:
        kept.unlink()
        remove_private_folders(drive_c, "Package")


def test_a_variable_of_the_users_is_never_expanded_in_the_stored_command(wine, scratch, drive_c):
    """Run elevated, the stored command takes only Extractor's three variables (and the
    Windows directory); a reference to any other stays as it is written, so a variable the user
    set cannot choose the program. The arguments Extractor was given still arrive."""
    planted = scratch.file("mine")
    planted.mkdir()
    shutil.copy2(builds.program(builds.UNDER_TEST.preset, "standins/AFUWIN.exe"), planted / "sfxprobe.exe")
    env = {"ZERA_TOOLS": scratch.winpath("mine"), "ZERA_ARG": "/user-chose"}
    remove_private_folders(drive_c, "var")

    package = Package(NO_DIALOG | TEMP_OPTION, "sfxprobe.exe /record probe.txt /exit 3 [%ZERA_ARG%] %SfxCmdLine%",
                      standard_entries())
    exe = build_package(package, scratch.file("build"), scratch.file("var.exe"))
    result = wine.run([exe, "/NoReboot"], cwd=scratch.path, env=env, timeout=RUN_SECONDS)
    assert result.exit_code == 3
    [record] = read_probe_records(the_private_folder(drive_c, "var") / "probe.txt")
    assert record.cmdline == "sfxprobe.exe /record probe.txt /exit 3 [%ZERA_ARG%] /NoReboot"
    remove_private_folders(drive_c, "var")

    # A program named through the user's variable: not found as written, nothing started.
    package = Package(NO_DIALOG | TEMP_OPTION, "%ZERA_TOOLS%\\sfxprobe.exe /record probe.txt /exit 3",
                      standard_entries())
    exe = build_package(package, scratch.file("build2"), scratch.file("var.exe"))
    result = wine.run([exe], cwd=scratch.path, env=env, timeout=RUN_SECONDS)
    assert result.exit_code == 23
    assert not (planted / "sfxprobe.cmdline").exists()
    remove_private_folders(drive_c, "var")


def test_a_symbolic_link_as_the_destination_is_refused(wine, scratch, drive_c):
    """The current-directory option, started from a link to another folder: nothing is written
    through it, and nothing starts."""
    package = Package(NO_DIALOG | CURRENT_OPTION, "sfxprobe.exe /record probe.txt /exit 3", standard_entries())
    exe = build_package(package, scratch.file("build"), scratch.file("B.exe"))
    target = scratch.file("elsewhere")
    target.mkdir()
    link = scratch.file("link")
    link.symlink_to(target, target_is_directory=True)

    result = wine.run([exe], cwd=link, timeout=RUN_SECONDS)

    assert result.exit_code == EXIT_DESTINATION
    assert list(target.iterdir()) == []


def test_failed_extraction_starts_nothing(wine, scratch):
    """The current directory holds a read-only file under an entry's name: extraction fails and
    the command (already lying there) is not started. (An entry name that is a link to a file
    is refused too, but Wine 8 marks only links to folders as reparse points: the reader's
    native tests cover that case.)"""
    package = Package(NO_DIALOG | CURRENT_OPTION, "sfxprobe.exe /record probe.txt /exit 3", standard_entries())
    exe = build_package(package, scratch.file("build"), scratch.file("pkg.exe"))
    work = scratch.file("work")
    work.mkdir()
    shutil.copy2(builds.program(builds.UNDER_TEST.preset, "sfxprobe.exe"), work / "sfxprobe.exe")
    blocked = work / "settings.ini"
    blocked.write_bytes(b"read-only")
    os.chmod(blocked, 0o444)

    result = wine.run([exe], cwd=work, timeout=RUN_SECONDS)

    assert result.exit_code == EXIT_EXTRACTION
    assert not (work / "probe.txt").exists()
    assert blocked.read_bytes() == b"read-only"


def test_the_command_is_never_taken_from_beside_the_package(wine, scratch, drive_c):
    """A program under the command's name lies in the folder the package was started from
    (a download folder): the one extracted into the destination runs. A command the package
    does not carry is found in the system directory."""
    package = Package(NO_DIALOG | CURRENT_OPTION, "sfxprobe.exe /record probe.txt /exit 3", standard_entries())
    exe = build_package(package, scratch.file("build"), scratch.file("pkg.exe"))
    scratch.copy_in(builds.program(builds.UNDER_TEST.preset, "standins/AFUWIN.exe"), "sfxprobe.exe")
    work = scratch.file("work")
    work.mkdir()

    remove_private_folders(drive_c, "pkg")
    result = wine.run([exe], cwd=work, timeout=RUN_SECONDS)

    assert result.exit_code == 3
    assert len(read_probe_records(the_private_folder(drive_c, "pkg") / "probe.txt")) == 1
    assert not scratch.file("sfxprobe.cmdline").exists()
    remove_private_folders(drive_c, "pkg")

    system = Package(NO_DIALOG | CURRENT_OPTION, "cmd.exe /c exit 7", [probe_entry()])
    exe = build_package(system, scratch.file("build2"), scratch.file("sys.exe"))
    assert wine.run([exe], cwd=work, timeout=RUN_SECONDS).exit_code == 7


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
    magic = struct.unpack_from("<H", signed, pe + 24)[0]
    entry = pe + 24 + (128 if magic == 0x10B else 144)  # the security directory entry of PE32 or PE32+
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


def test_a_trailer_added_to_the_certificate_table_of_a_signed_package_is_ignored(wine, scratch, drive_c):
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

    remove_private_folders(drive_c, "tampered")
    result = wine.run([tampered], cwd=work, timeout=RUN_SECONDS)

    assert result.exit_code == 3
    private = the_private_folder(drive_c, "tampered")
    assert len(read_probe_records(private / "genuine.txt")) == 1
    assert not (private / "forged.txt").exists() and not (work / "forged.txt").exists()
    remove_private_folders(drive_c, "tampered")


def test_a_package_that_is_not_the_one_its_program_records_starts_nothing(wine, scratch, drive_c):
    """The writer records the package's place and SHA-256 in the program image's slot and fixes
    the checksum. A package changed afterwards (here its stored command, as a file put in the
    package's place after the elevation prompt would be) is refused before anything is read from
    it: exit 20, no folder made, nothing extracted or started. With the slot left empty, as an
    older writer leaves it, the same bytes run as they always did."""
    folder = str(builds.REPO_ROOT / "devtools" / "dosstub")
    if folder not in sys.path:
        sys.path.insert(0, folder)
    import dosstub

    package = Package(NO_DIALOG | TEMP_OPTION, "sfxprobe.exe /record probe.txt /exit 3", standard_entries())
    exe = build_package(package, scratch.file("build"), scratch.file("bound.exe"))
    data = exe.read_bytes()
    image_size = builds.program(builds.UNDER_TEST.preset, builds.UNDER_TEST.extractor).stat().st_size
    slot = data.find(b"!SfxImageBinding")
    assert 0 < slot < image_size and data.find(b"!SfxImageBinding", slot + 1) == -1
    offset, length, digest = struct.unpack_from("<QQ32s", data, slot + 16)
    assert (offset, offset + length) == (image_size, len(data))
    assert data[offset:offset + 4] == b"!SRC"
    assert hashlib.sha256(data[offset:]).digest() == digest
    layout = dosstub.PeLayout(data)
    assert struct.unpack_from("<I", data, layout.checksum_at)[0] == dosstub.pe_checksum(data, layout.checksum_at)

    remove_temp_destination(drive_c, "bound")
    roots = {p.name for p in private_root(drive_c).iterdir()}
    try:
        assert wine.run([exe], cwd=scratch.path, timeout=RUN_SECONDS).exit_code == 3
        assert len(read_probe_records(the_private_folder(drive_c, "bound") / "probe.txt")) == 1
        remove_private_folders(drive_c, "bound")

        changed = bytearray(data)
        at = changed.rfind(b"/exit 3")
        assert at > offset
        changed[at:at + 7] = b"/exit 4"
        exe.write_bytes(bytes(changed))
        result = wine.run([exe], cwd=scratch.path, timeout=RUN_SECONDS)
        assert result.exit_code == 20
        assert {p.name for p in private_root(drive_c).iterdir()} == roots
        [temp] = temp_folders(drive_c)
        assert not (temp / "bound").exists()
        assert not (scratch.path / "probe.txt").exists() and not (scratch.path / "sfxprobe.exe").exists()

        changed[slot + 16:slot + 64] = bytes(48)
        exe.write_bytes(bytes(changed))
        assert wine.run([exe], cwd=scratch.path, timeout=RUN_SECONDS).exit_code == 4
    finally:
        remove_temp_destination(drive_c, "bound")
