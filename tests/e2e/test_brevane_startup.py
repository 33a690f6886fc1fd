"""Brevane's start-up as far as it goes today: the command line is parsed, /LogFile moves the
log and writes the "Brevane_Start" line, and the program ends with its initial result code.

When start-up grows, adjust EXIT_CODE and LINES_AFTER_START below: every test here asserts
them, so that the tests keep describing a whole run.
"""
from __future__ import annotations

import re

import pytest

from e2e_harness import builds
from e2e_harness.logs import assert_log, log_entries

# Start-up ends after parsing the command line for now: the result code keeps its initial value.
EXIT_CODE = 14
# The log lines a run with only /LogFile and /NoPause writes after its start line.
LINES_AFTER_START: list[tuple[str, str]] = []

RUN_SECONDS = 60

BREVANE_BUILDS = [pytest.param(("win32", "Brevane.exe"), id="32bit"),
                  pytest.param(("win64", "Brevane64.exe"), id="64bit")]


def version_text() -> str:
    header = (builds.REPO_ROOT / "updater/app/version_info.h").read_text()
    return re.search(r'#define BREVANE_VERSION_TEXT "([^"]*)"', header).group(1)


def start_line(tail: str) -> tuple[str, str]:
    return ("Brevane_Start", f"Brevane v{version_text()}, Command Line=[{tail}]")


@pytest.fixture(params=BREVANE_BUILDS)
def brevane(request, scratch):
    """Brevane of the 32-bit or the 64-bit build, copied into the test's scratch directory."""
    preset, name = request.param
    return scratch.copy_in(builds.program(preset, name))


def run_brevane(wine, brevane, scratch, tail: str):
    command_line = f'"{wine.windows_path(brevane)}" {tail}'
    return wine.run(command_line, cwd=scratch.path, timeout=RUN_SECONDS)


def test_log_file_option_creates_the_folder_chain_and_writes_the_start_line(wine, brevane, scratch):
    log = scratch.file("logs", "deep", "chain", "upd.log")
    tail = f"/LogFile {scratch.winpath('logs', 'deep', 'chain', 'upd.log')} /NoPause"

    result = run_brevane(wine, brevane, scratch, tail)

    assert result.exit_code == EXIT_CODE
    # Byte for byte apart from the time stamp: CR LF line end, the tail exactly as received.
    assert_log(log, [start_line(tail), *LINES_AFTER_START])
    assert not scratch.file("Brevane.log").exists()


def test_start_line_keeps_the_tail_verbatim_with_quotes_and_blanks(wine, brevane, scratch):
    tail = f'/NoPause /LogFile "{scratch.winpath("My Logs", "run log.txt")}"  /ProdName  "A  B"'

    result = run_brevane(wine, brevane, scratch, tail)

    assert result.exit_code == EXIT_CODE
    # A name with a dot keeps its form: no ".log" is added.
    assert_log(scratch.file("My Logs", "run log.txt"), [start_line(tail), *LINES_AFTER_START])


def test_a_second_run_appends_to_the_same_log(wine, brevane, scratch):
    tail = f"/LogFile {scratch.winpath('upd.log')} /NoPause"

    assert run_brevane(wine, brevane, scratch, tail).exit_code == EXIT_CODE
    assert run_brevane(wine, brevane, scratch, tail + " /NoReboot").exit_code == EXIT_CODE

    assert_log(scratch.file("upd.log"), [start_line(tail), *LINES_AFTER_START,
                                         start_line(tail + " /NoReboot"), *LINES_AFTER_START])


def test_log_place_that_cannot_be_written_turns_logging_off(wine, brevane, scratch):
    scratch.file("blocker").write_bytes(b"a file where the log folder should be")
    tail = f"/LogFile {scratch.winpath('blocker', 'upd.log')} /NoPause"

    result = run_brevane(wine, brevane, scratch, tail)

    assert result.exit_code == EXIT_CODE
    assert scratch.file("blocker").read_bytes() == b"a file where the log folder should be"
    # Logging is off for the whole run: not even the default log appears.
    assert sorted(p.name for p in scratch.path.iterdir()) == sorted(["blocker", brevane.name])


def test_without_log_file_option_there_is_no_start_line(wine, brevane, scratch):
    result = run_brevane(wine, brevane, scratch, "/NoPause /BiosVer A05")

    assert result.exit_code == EXIT_CODE
    default_log = scratch.file("Brevane.log")
    if default_log.exists():  # start-up writes nothing to it yet
        assert all(entry.tag != b"Brevane_Start" for entry in log_entries(default_log))
