"""Extractor's silent path under Wine: a package with the no-dialog flag is extracted to the
destination its option names, the three variables are published, the stored command runs
there with the program's own arguments in place of "%SfxCmdLine%", and Extractor ends with
the command's exit code."""
from __future__ import annotations

import os
import shutil

import pytest

from e2e_harness import wine as wine_setup
from e2e_harness import builds, images
from e2e_harness.runner import WineRunner
from extractor_packages import (STORED_UNIX_TIME, Package, build_package, read_probe_records,
                                remove_private_folders, remove_temp_destination, standard_entries, temp_folders,
                                the_private_folder)

RUN_SECONDS = 60
NO_DIALOG = 0x100


@pytest.fixture
def drive_c(wine_env):
    return wine_setup.drive_c(wine_env)


def test_no_dialog_package_extracts_to_a_private_folder_named_after_the_package_and_runs_the_command(
        wine, scratch, drive_c):
    # Run elevated (as Wine runs everything), the temporary option extracts into a new folder of
    # the package's base name and a random suffix under the Windows directory's temporary
    # folder, never into the user's.
    # Bit 9 set as in the shipped package: not interpreted.
    package = Package(NO_DIALOG | 0x200 | 1, "sfxprobe.exe /record probe.txt /exit 300 %SfxCmdLine%",
                      standard_entries())
    exe = build_package(package, scratch.file("build"), scratch.file("B.exe"))
    remove_temp_destination(drive_c, "B")

    result = wine.run([exe, "/NoReboot", "two words"], cwd=scratch.path, timeout=RUN_SECONDS)

    assert result.exit_code == 300  # the command's code, beyond what a shell's 8 bits could show
    destination = the_private_folder(drive_c, "B")
    [record] = read_probe_records(destination / "probe.txt")
    assert record.ExtractDest == "C:\\windows\\Temp\\" + destination.name
    assert read_probe_records_in_temp(drive_c) == []
    assert record.cwd == record.ExtractDest
    assert record.SfxPathName == scratch.winpath("B.exe")
    assert record.SfxCmdLine == '/NoReboot "two words"'
    assert record.cmdline == 'sfxprobe.exe /record probe.txt /exit 300 /NoReboot "two words"'

    # Win32, WinPE and every-platform entries only.
    assert sorted(p.name for p in destination.iterdir()) == ["HECI.inf", "probe.txt", "settings.ini",
                                                              "sfxprobe.exe"]
    settings = destination / "settings.ini"
    assert settings.read_bytes() == b"[Bios]\r\nSecureFlash=0\r\n"
    assert int(os.stat(settings).st_mtime) == STORED_UNIX_TIME
    remove_temp_destination(drive_c, "B")


def read_probe_records_in_temp(drive_c):
    records = []
    for temp in temp_folders(drive_c):
        records += read_probe_records(temp / "B" / "probe.txt")
    return records


def test_current_directory_option_and_no_arguments(wine, scratch, drive_c):
    remove_private_folders(drive_c, "pkg")
    package = Package(NO_DIALOG | 5, "sfxprobe.exe /record probe.txt /exit 4 [%SfxCmdLine%]", standard_entries())
    exe = build_package(package, scratch.file("build"), scratch.file("pkg.exe"))
    work = scratch.file("work")
    work.mkdir()

    result = wine.run([exe], cwd=work, timeout=RUN_SECONDS)

    assert result.exit_code == 4
    # The files go where asked, but the command runs from a private copy of its own, never from
    # a folder the user can change under it.
    assert sorted(p.name for p in work.iterdir()) == ["HECI.inf", "settings.ini", "sfxprobe.exe"]
    destination = the_private_folder(drive_c, "pkg")
    [record] = read_probe_records(destination / "probe.txt")
    assert record.ExtractDest == "C:\\windows\\Temp\\" + destination.name
    # No arguments: the variable is set, and empty, before the command is expanded.
    assert record.SfxCmdLine == ""
    assert record.cmdline == "sfxprobe.exe /record probe.txt /exit 4 []"


def test_empty_command_extracts_and_starts_nothing(wine, scratch):
    package = Package(NO_DIALOG | 2, "", standard_entries())
    exe = build_package(package, scratch.file("build"), scratch.file("pkg.exe"))
    work = scratch.file("work")
    work.mkdir()

    result = wine.run([exe, "/anything"], cwd=work, timeout=RUN_SECONDS)

    assert result.exit_code == 0
    assert sorted(p.name for p in work.iterdir()) == ["HECI.inf", "settings.ini", "sfxprobe.exe"]


def test_overlong_command_after_expansion_is_never_started(wine, scratch):
    # 200 stored characters that grow past the 1023 the command buffer holds once the
    # arguments are put in: nothing may start, not even a cut-off command.
    package = Package(NO_DIALOG | 2, "sfxprobe.exe /record probe.txt /exit 6 %SfxCmdLine%", standard_entries())
    exe = build_package(package, scratch.file("build"), scratch.file("pkg.exe"))
    work = scratch.file("work")
    work.mkdir()

    result = wine.run([exe, "x" * 1100], cwd=work, timeout=RUN_SECONDS)

    assert result.exit_code == 23  # the command cannot be started
    assert not (work / "probe.txt").exists()
    assert (work / "sfxprobe.exe").exists()  # extraction itself went ahead


def test_program_without_package_ends_quietly(wine, scratch):
    exe = scratch.copy_in(builds.program(builds.UNDER_TEST.preset, builds.UNDER_TEST.extractor))

    result = wine.run([exe], cwd=scratch.path, timeout=RUN_SECONDS)

    assert result.exit_code == 20  # no message box, but not a success either
    assert sorted(p.name for p in scratch.path.iterdir()) == [builds.UNDER_TEST.extractor]


def test_a_library_planted_beside_the_package_is_never_loaded(wine, scratch, drive_c):
    """dbghelp is the library Extractor loads at run time. Wine would prefer its own copy; the
    override makes it search like Windows, native first, so that a DLL beside the program is
    taken by any ordinary load, which the control run shows."""
    package = Package(NO_DIALOG | 2, "sfxprobe.exe /record probe.txt /exit 3", standard_entries())
    exe = build_package(package, scratch.file("build"), scratch.file("pkg.exe"))
    planted = builds.program(builds.UNDER_TEST.preset, "plant/dbghelp.dll")
    work = scratch.file("work")
    work.mkdir()
    for folder in (scratch.path, work):  # beside the program and in its working directory
        shutil.copy2(planted, folder / "dbghelp.dll")
    probe = scratch.copy_in(builds.program(builds.UNDER_TEST.preset, "sfxprobe.exe"))
    marker = scratch.file("marker.txt")
    # Wine reads its load order when a process starts from the environment it was given.
    native_first = WineRunner({**wine.env, "WINEDLLOVERRIDES": "mscoree,mshtml=;dbghelp=n,b"})
    env = {"SFX_PLANT_MARKER": scratch.winpath("marker.txt")}

    control = native_first.run([probe, "/record", "control.txt", "/loadlib", "dbghelp.dll"], cwd=scratch.path, env=env,
                       timeout=RUN_SECONDS)
    assert control.exit_code == 0
    assert marker.exists(), "control: an ordinary load should have taken the planted library"
    marker.unlink()

    remove_private_folders(drive_c, "pkg")
    result = native_first.run([exe], cwd=work, env=env, timeout=RUN_SECONDS)

    assert result.exit_code == 3
    assert not marker.exists()
    # The destination was made and entered, and the command ran from its private copy.
    [record] = read_probe_records(the_private_folder(drive_c, "pkg") / "probe.txt")
    assert record.cwd == record.ExtractDest


def test_manifest_requires_administrator_and_names_the_image_architecture():
    exe = builds.program(builds.UNDER_TEST.preset, builds.UNDER_TEST.extractor)
    architecture = "x86" if builds.UNDER_TEST.bits == 32 else "amd64"
    facts = images.manifest_facts(images.manifest(exe))
    assert facts == {"architecture": architecture, "level": "requireAdministrator", "uiAccess": "false",
                     "codePage": "UTF-8", "commonControls": "6.0.0.0", "commonControlsArchitecture": architecture}
    machine, _, subsystem = images.pe_header(exe)
    assert (machine, subsystem) == ({32: images.MACHINE_I386, 64: images.MACHINE_AMD64}[builds.UNDER_TEST.bits],
                                    images.SUBSYSTEM_GUI)


def test_imports_only_libraries_the_system_keeps_in_its_own_directory():
    """Run elevated from a download folder, the program must not import a DLL that the loader
    would take from beside it: only known system libraries, and common controls through the
    manifest. Everything else (dbghelp) is loaded at run time from the system directory."""
    exe = builds.program(builds.UNDER_TEST.preset, builds.UNDER_TEST.extractor)
    imported = images.imported_libraries(exe)
    assert imported <= images.KNOWN_LIBRARIES, imported
