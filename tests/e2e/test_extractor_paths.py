"""Extractor with paths outside any legacy ANSI code page: the package file and its folder are
named in Cyrillic, CJK and Arabic (a user name in another script is enough for that on a real
machine). With UTF-8 as its code page, Extractor opens itself, extracts into its private folder
named after the package's base name (the user's TMP, also named in other scripts, is not used
when elevated), and starts the stored command there, with the three variables naming the real
folders."""
from __future__ import annotations

import re

import pytest

from e2e_harness import wine as wine_setup
from extractor_packages import (Package, build_package, private_root, read_probe_records, remove_private_folders,
                                standard_entries, the_private_folder)

NO_DIALOG = 0x100
FOREIGN = "Пакет 更新 تحديث"
BASE = "Обновление"


@pytest.fixture
def drive_c(wine_env):
    drive = wine_setup.drive_c(wine_env)
    remove_private_folders(drive, BASE)
    return drive


def test_package_and_temporary_folder_in_other_scripts(wine, scratch, drive_c):
    folder = scratch.file(FOREIGN)
    folder.mkdir()
    temp = scratch.file("Темп 临时")
    temp.mkdir()
    package = Package(NO_DIALOG | 1, "sfxprobe.exe /record probe.txt /exit 300 %SfxCmdLine%", standard_entries())
    exe = build_package(package, scratch.file("build"), folder / "Обновление.exe")
    variables = {"TMP": wine.windows_path(temp), "TEMP": wine.windows_path(temp)}

    result = wine.run([exe, "/NoReboot", "два слова"], cwd=scratch.path, env=variables, timeout=60)

    assert result.exit_code == 300  # the command ran and its code came back
    assert list(temp.iterdir()) == []
    destination = the_private_folder(drive_c, BASE)
    [record] = read_probe_records(destination / "probe.txt")
    assert record.ExtractDest.lower() == wine.windows_path(destination).lower()
    assert record.cwd == record.ExtractDest
    assert record.SfxPathName == wine.windows_path(exe)
    assert record.SfxCmdLine == '/NoReboot "два слова"'
    assert record.cmdline == 'sfxprobe.exe /record probe.txt /exit 300 /NoReboot "два слова"'
    assert sorted(p.name for p in destination.iterdir()) == ["HECI.inf", "probe.txt", "settings.ini",
                                                              "sfxprobe.exe"]
    assert (destination / "settings.ini").read_bytes() == b"[Bios]\r\nSecureFlash=0\r\n"


def test_legacy_code_page_takes_short_names_for_what_it_cannot_spell(wine, scratch, drive_c):
    """The same package where the code page is a legacy one (Windows before 10 1903): a copy of
    Extractor whose manifest names no code page Wine knows runs in code page 1252. The folders
    it cannot spell are reached through their short names; what it can spell stays long."""
    folder = scratch.file(FOREIGN)
    folder.mkdir()
    temp = scratch.file("Темп 临时")
    temp.mkdir()
    package = Package(NO_DIALOG | 1, "sfxprobe.exe /record probe.txt /exit 301", standard_entries())
    exe = build_package(package, scratch.file("build"), folder / "Обновление.exe")
    image = exe.read_bytes()
    assert image.count(b">UTF-8</activeCodePage>") == 1
    exe.write_bytes(image.replace(b">UTF-8</activeCodePage>", b">ANSI!</activeCodePage>"))
    variables = {"TMP": wine.windows_path(temp), "TEMP": wine.windows_path(temp)}

    before = set(private_root(drive_c).iterdir())
    result = wine.run([exe], cwd=scratch.path, env=variables, timeout=60)

    assert result.exit_code == 301
    assert list(temp.iterdir()) == []
    # The package's base name as its short name spells it, and the private folder's suffix.
    [destination] = set(private_root(drive_c).iterdir()) - before
    assert re.fullmatch(r"[ -~]*~[ -~]*\.[0-9a-f]{32}", destination.name), destination.name
    [record] = read_probe_records(destination / "probe.txt")
    for path in (record.ExtractDest, record.SfxPathName):
        assert path.isascii() and "?" not in path, path
    assert record.SfxPathName.startswith(wine.windows_path(scratch.path) + "\\")
    assert record.SfxPathName.upper().endswith(".EXE")
    assert record.cwd == record.ExtractDest
    assert record.ExtractDest.lower() == wine.windows_path(destination).lower()
    assert sorted(p.name for p in destination.iterdir()) == ["HECI.inf", "probe.txt", "settings.ini",
                                                              "sfxprobe.exe"]
