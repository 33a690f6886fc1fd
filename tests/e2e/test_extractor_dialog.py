"""Extractor's package dialog under Wine and Xvfb, driven through the UI driver: the listing
of a package whose no-dialog flag is clear, the close box, "Extract" and "Execute Command" with
their message boxes (the launcher message ending the wait), OK running the silent path with
every platform, and "Load From Sfx..." reached in diagnostic mode."""
from __future__ import annotations

import os
import time

import pytest

from e2e_harness import builds
from e2e_harness import wine as wine_setup
from e2e_harness.uidriver import poll
from extractor_packages import (Entry, Package, build_package, read_probe_records, remove_temp_destination,
                                standard_entries, temp_folders, the_private_folder)

RUN_SECONDS = 90
DIALOG = ("Extractor", "#32770")
LOAD, EXTRACT, EXECUTE, PATH_EDIT, WIN32_EDIT, DOS_EDIT = 1002, 1001, 1003, 1004, 1012, 1013
RADIO_CURRENT_CAPTION = 1015  # "1 (CurrentDirectory)", which carries option 1: the temporary directory


@pytest.fixture
def drive_c(wine_env):
    return wine_setup.drive_c(wine_env)


@pytest.fixture
def work(scratch):
    folder = scratch.file("work")
    folder.mkdir()
    return folder


def start_dialog_package(wine, ui, scratch, work, package: Package, name: str = "D.exe"):
    exe = build_package(package, scratch.file("build"), scratch.file(name))
    run = wine.start([exe], cwd=work, timeout=RUN_SECONDS)
    dialog = ui.wait_window(*DIALOG, timeout=30)
    return exe, run, dialog


def answer_box(ui, caption: str, expected_text: str, button: str = "OK"):
    box, content = ui.message_box(caption, timeout=30)
    assert content.text == expected_text
    ui.answer(box, button)
    ui.wait_gone(box, timeout=10)


def test_listing_then_close_box_ends_without_extracting(wine, ui, scratch, work, screenshot):
    package = Package(2, "sfxprobe.exe /record probe.txt /exit 5", standard_entries(), dos="AFUDOS.exe /P")
    exe, run, dialog = start_dialog_package(wine, ui, scratch, work, package)

    assert ui.text(dialog, PATH_EDIT) == scratch.winpath("D.exe")
    assert ui.text(dialog, WIN32_EDIT) == "sfxprobe.exe /record probe.txt /exit 5"
    assert ui.text(dialog, DOS_EDIT) == "AFUDOS.exe /P"
    # Entries loaded at start: loading another file is off, extracting is on, running waits.
    assert not ui.is_enabled(dialog, LOAD)
    assert ui.is_enabled(dialog, EXTRACT)
    assert not ui.is_enabled(dialog, EXECUTE)
    captions = {c.id: c.text for c in ui.controls(dialog)}
    assert captions[1014] == "0 (Browse)" and captions[1015] == "1 (CurrentDirectory)"
    assert captions[1016] == "2 (TempDirectory)" and captions[LOAD] == "Load From Sfx..."
    screenshot("package-listing")

    ui.close(dialog)
    result = run.wait()

    assert result.exit_code == 0
    assert list(work.iterdir()) == []


def test_extract_then_execute_command_ends_its_wait_on_the_launcher_message(wine, ui, scratch, work, drive_c):
    # The command posts "SfxKorvaleMsg" with 42 at once and would end with 9 only after 8 s.
    package = Package(2, "sfxprobe.exe /record probe.txt /post 42 /sleep 8000 /exit 9", standard_entries())
    remove_temp_destination(drive_c, "D")
    exe, run, dialog = start_dialog_package(wine, ui, scratch, work, package)

    ui.click(dialog, EXTRACT)
    # Option 2 is the current directory; the dialog extracts every platform but mask 0.
    answer_box(ui, "Extractor", f"There are 4 file been extracted!\nDestination Path: {scratch.winpath('work')}")
    assert sorted(p.name for p in work.iterdir()) == ["AFUDOS.exe", "HECI.inf", "settings.ini", "sfxprobe.exe"]
    # Enabled right after the box returns.
    poll(lambda: ui.is_enabled(dialog, EXECUTE), timeout=10)

    ui.click(dialog, EXECUTE)
    box, content = ui.message_box("Extractor", timeout=30)
    assert content.text == "Execute Command OK"
    ui.answer(box, "OK")

    # Run elevated, the command never starts from the folder the user chose: from a private
    # copy of the package's files instead.
    assert not (work / "probe.txt").exists()
    private = the_private_folder(drive_c, "D")
    [record] = read_probe_records(private / "probe.txt")
    assert record.ExtractDest.lower() == "c:\\windows\\temp\\" + private.name.lower()
    assert record.cwd == record.ExtractDest
    assert record.SfxPathName == scratch.winpath("D.exe")

    ui.close(dialog)
    result = run.wait()
    # Closing the dialog ends the program with the code the message brought; had the wait
    # ended with the command instead, the code would be its 9.
    assert result.exit_code == 42
    remove_temp_destination(drive_c, "D")


def test_ok_extracts_every_platform_to_the_package_option_and_runs(wine, ui, scratch, work, drive_c):
    package = Package(1, "sfxprobe.exe /record probe.txt /exit 5", standard_entries())
    remove_temp_destination(drive_c, "T")
    exe, run, dialog = start_dialog_package(wine, ui, scratch, work, package, "T.exe")

    # The radio choice is not what the silent path uses after OK: the package's option is.
    ui.click(dialog, 1016)
    ui.key(dialog, "enter")
    result = run.wait()

    assert result.exit_code == 5
    assert [t / "T" for t in temp_folders(drive_c) if (t / "T").is_dir()] == []
    destination = the_private_folder(drive_c, "T")
    assert sorted(p.name for p in destination.iterdir()) == ["AFUDOS.exe", "HECI.inf", "probe.txt", "settings.ini",
                                                             "sfxprobe.exe"]
    assert list(work.iterdir()) == []
    remove_temp_destination(drive_c, "T")


def test_failures_show_their_boxes(wine, ui, scratch, work):
    package = Package(2, "no-such-command.exe /x", standard_entries())
    exe, run, dialog = start_dialog_package(wine, ui, scratch, work, package)

    ui.click(dialog, EXTRACT)
    answer_box(ui, "Extractor", f"There are 4 file been extracted!\nDestination Path: {scratch.winpath('work')}")
    poll(lambda: ui.is_enabled(dialog, EXECUTE), timeout=10)
    ui.click(dialog, EXECUTE)
    answer_box(ui, "Extractor", "Execute Command error")

    # The package renamed away (Windows refuses that while Extractor holds the file; Linux does
    # not ask): the package first opened is read again, not whatever the path names now.
    exe.rename(exe.with_name("gone.bin"))
    ui.click(dialog, EXTRACT)
    answer_box(ui, "Extractor", f"There are 4 file been extracted!\nDestination Path: {scratch.winpath('work')}")

    ui.close(dialog)
    assert run.wait().exit_code == 0


@pytest.fixture
def diagnostic_mode(drive_c):
    marker = drive_c / "Temp" / "DastroComputer.txt"
    marker.parent.mkdir(exist_ok=True)
    marker.write_bytes(b"")
    yield
    marker.unlink()


def test_load_from_sfx_in_diagnostic_mode(wine, ui, scratch, work, diagnostic_mode):
    program = scratch.copy_in(builds.program(builds.UNDER_TEST.preset, builds.UNDER_TEST.extractor))
    package = build_package(Package(2, "sfxprobe.exe", [Entry("readme.txt", "Win32", b"hello")]),
                            scratch.file("build"), scratch.file("other.exe"))
    not_a_package = scratch.file("plain.exe")
    not_a_package.write_bytes(b"MZ nothing appended here")

    run = wine.start([program], cwd=work, timeout=RUN_SECONDS)
    answer_box(ui, "Extractor",
               f"Open SfxFile ERROR (No file list?)\nSfxPathName={scratch.winpath(builds.UNDER_TEST.extractor)}\nShowDlg=0")
    answer_box(ui, "Welcome Dastro", "Show UI?", "Yes")
    dialog = ui.wait_window(*DIALOG, timeout=30)
    assert ui.is_enabled(dialog, LOAD) and not ui.is_enabled(dialog, EXTRACT)

    def load(path: str):
        ui.click(dialog, LOAD)
        chooser = ui.wait_window("Open", "#32770", timeout=30)
        ui.set_text(chooser, 1148, path)
        ui.click(chooser, 1)

    load(scratch.winpath("other.exe"))
    ui.wait_gone("Open", "#32770", timeout=10)
    poll(lambda: ui.text(dialog, PATH_EDIT) == scratch.winpath("other.exe"), timeout=10)
    assert ui.text(dialog, WIN32_EDIT) == "sfxprobe.exe"
    assert ui.is_enabled(dialog, EXTRACT) and ui.is_enabled(dialog, LOAD)

    # Not a package: the reader's text, captioned with the program's own base name.
    load(scratch.winpath("plain.exe"))
    answer_box(ui, builds.UNDER_TEST.extractor[:-len(".exe")], "Find Signature SFX error")

    ui.close(dialog)
    assert run.wait().exit_code == 0
    assert list(work.iterdir()) == []


def test_extract_follows_the_radio_numbers_not_their_captions(wine, ui, scratch, work, drive_c):
    # Option 5 checks no radio button; Extract then uses the package's own option: the current
    # directory.
    package = Package(5, "sfxprobe.exe", standard_entries())
    remove_temp_destination(drive_c, "D")
    exe, run, dialog = start_dialog_package(wine, ui, scratch, work, package)

    ui.click(dialog, EXTRACT)
    answer_box(ui, "Extractor", f"There are 4 file been extracted!\nDestination Path: {scratch.winpath('work')}")

    # "1 (CurrentDirectory)" carries option 1: the temporary directory plus the base name.
    ui.click(dialog, RADIO_CURRENT_CAPTION)
    ui.click(dialog, EXTRACT)
    box, content = ui.message_box("Extractor", timeout=30)
    first, _, destination = content.text.partition("\nDestination Path: ")
    assert first == "There are 4 file been extracted!"
    temp = the_private_folder(drive_c, "D")
    assert destination.lower() == "c:\\windows\\temp\\" + temp.name.lower()
    ui.answer(box, "OK")
    assert sorted(p.name for p in temp.iterdir()) == ["AFUDOS.exe", "HECI.inf", "settings.ini", "sfxprobe.exe"]

    ui.close(dialog)
    assert run.wait().exit_code == 0
    remove_temp_destination(drive_c, "D")


def test_execute_command_stays_disabled_after_an_incomplete_extraction(wine, ui, scratch, work):
    """A read-only file a user planted under an entry's name makes the extraction fail; the
    files on disk may then be theirs, so the command cannot be run from the dialog."""
    blocked = work / "settings.ini"
    blocked.write_bytes(b"planted")
    os.chmod(blocked, 0o444)
    package = Package(2, "sfxprobe.exe /record probe.txt /exit 5", standard_entries())
    exe, run, dialog = start_dialog_package(wine, ui, scratch, work, package)

    ui.click(dialog, EXTRACT)
    answer_box(ui, "D", "Create DestFile ERR,settings.ini,#13")
    answer_box(ui, "Extractor", f"There are 0 file been extracted!\nDestination Path: {scratch.winpath('work')}")
    # The button would be enabled right after the box returns: it must stay disabled.
    deadline = time.monotonic() + 3
    while time.monotonic() < deadline:
        assert not ui.is_enabled(dialog, EXECUTE)
        time.sleep(0.2)
    assert blocked.read_bytes() == b"planted"

    ui.close(dialog)
    assert run.wait().exit_code == 0
    os.chmod(blocked, 0o644)

