"""Brevane's start-up with only /LogFile and /NoPause: the command line is parsed, /LogFile moves
the log and writes the "Brevane_Start" line, and the first check refuses the run because no BIOS
image is named (exit code 11, one log line, no box in silent mode).
"""
from __future__ import annotations

import re

import pytest

from e2e_harness import builds
from e2e_harness.logs import assert_log

# Without /BiosRomFile the first check refuses the run.
EXIT_CODE = 11
# The log lines a run with only /LogFile and /NoPause writes after its start line.
LINES_AFTER_START: list[tuple[str, str]] = [("Error", "The /BiosRomFile is not specified in command line.")]

RUN_SECONDS = 60



def version_text() -> str:
    header = (builds.REPO_ROOT / "updater/app/version_info.h").read_text()
    return re.search(r'#define BREVANE_VERSION_TEXT "([^"]*)"', header).group(1)


def start_line(tail: str) -> tuple[str, str]:
    return ("Brevane_Start", f"Brevane v{version_text()}, Command Line=[{tail}]")


@pytest.fixture(params=builds.under_test_param())
def brevane(request, scratch):
    """Brevane of the build under test, copied into the test's scratch directory."""
    return scratch.copy_in(builds.program(request.param.preset, request.param.brevane))


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
    # The refusal goes to the default log, which has no start line.
    assert_log(scratch.file("Brevane.log"), LINES_AFTER_START)
