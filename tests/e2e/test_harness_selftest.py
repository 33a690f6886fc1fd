"""The harness proves itself on its own demo program (devtools/e2edemo): exit codes read in
full, the command line, directory and environment handed over exactly, the time bound ending
a whole process tree, the UI driver on a dialog and a message box, and the broadcast listener.
"""
from __future__ import annotations

import time
from pathlib import Path

import pytest

from e2e_harness import builds
from e2e_harness.host import runs_32bit
from e2e_harness.runner import RunTimeout
from e2e_harness.uidriver import DIALOG_CLASS, UiError

DEMO_TITLE = "E2E Demo"
ID_STATUS, ID_EDIT, ID_ASK, ID_DISABLED, ID_HIDDEN = 1001, 1002, 1003, 1004, 1005
ID_OK, ID_CANCEL = 1, 2
CANCEL_CODE = 2


@pytest.fixture
def demo(scratch) -> Path:
    return scratch.copy_in(builds.harness_tool("e2edemo.exe"))


# Where both builds run, the one that is not the harness's checks the runner and listener across
# the bitness boundary.
@pytest.mark.parametrize("preset", ["win32", "win64"] if runs_32bit() else ["win64"])
@pytest.mark.parametrize("code", [259, 0xFFFFFFFE, 0])
def test_exit_code_and_broadcast_are_read_in_full(wine, scratch, listener, preset, code):
    demo = scratch.copy_in(builds.program(preset, "e2edemo.exe"))

    result = wine.run([demo, "--exit", hex(code), "--broadcast"], timeout=30)

    assert result.exit_code == code
    assert listener.stop() == [(1, code)]


def test_command_line_directory_and_environment_reach_the_program(wine, demo, scratch):
    workdir = scratch.file("work dir")
    workdir.mkdir()
    command_line = f'"{wine.windows_path(demo)}"  --report  "{scratch.winpath("report.txt")}" "x \\"y\\""  '

    result = wine.run(command_line, cwd=workdir, env={"E2E_VALUE": "a b=c"}, timeout=30)

    assert result.exit_code == 0
    assert scratch.file("report.txt").read_bytes() == (
        f"cmdline={command_line}\ncwd={scratch.winpath('work dir')}\nE2E_VALUE=a b=c\n".encode())


def test_console_output_of_the_program_cannot_pass_for_the_runner_results(wine):
    result = wine.run("cmd.exe /c echo exit=7 pid=7& exit 3", timeout=30)

    assert result.exit_code == 3
    assert "exit=7 pid=7" in result.output
    assert result.pid != 7


def test_windows_temp_folder_maps_back_to_the_prefix(wine, wine_env):
    temp = wine.expand("%TEMP%")

    assert temp.upper().startswith("C:\\")
    folder = wine.linux_path(temp)
    assert folder.is_dir() and folder.is_relative_to(Path(wine_env["WINEPREFIX"]) / "drive_c")


def test_run_ends_when_everything_the_program_started_has_ended(wine, demo, scratch):
    # The program ends at once; the copy it started writes its report 1.5 s later.
    result = wine.run([demo, "--exit", "7", "--spawn-sleeper", "1500", "--report", scratch.winpath("late.txt")],
                      timeout=30)

    assert result.exit_code == 7
    assert scratch.file("late.txt").is_file()


@pytest.mark.parametrize("args, reason", [
    (["--spawn-hang"], "did not end within 3 s"),                  # the program itself hangs
    (["--spawn-sleeper", "60000"], "what it started did not end"),  # only what it started lingers
])
def test_time_bound_ends_the_whole_process_tree(wine, demo, scratch, args, reason):
    started = time.monotonic()
    with pytest.raises(RunTimeout, match=reason):
        wine.run([demo, *args], timeout=3)

    assert time.monotonic() - started < 20
    # Neither the program nor the copy it started may outlive the bound.
    leftovers = [p for p in Path("/proc").glob("[0-9]*/cmdline")
                 if scratch.win.encode() in _read_or_empty(p)]
    assert leftovers == []


def _read_or_empty(path: Path) -> bytes:
    try:
        return path.read_bytes()
    except OSError:
        return b""


def test_dialog_and_message_box_are_driven_through_the_ui_driver(wine, ui, demo, listener, screenshot):
    running = wine.start([demo, "--dialog", "--exit", "259", "--broadcast"], timeout=120)
    dialog = ui.wait_window(DEMO_TITLE, DIALOG_CLASS, timeout=30, pid=running.pid())

    controls = {c.id: c for c in ui.controls(dialog, font=("MS Shell Dlg", 8))}
    assert [(c.cls, c.text, c.visible, c.enabled) for c in controls.values()] == [
        ("Static", "Ready", True, True), ("Edit", "", True, True), ("Button", "&Ask", True, True),
        ("Button", "Disabled", True, False), ("Button", "Hidden", False, True),
        ("Button", "OK", True, True), ("Button", "Cancel", True, True)]
    assert list(controls) == [ID_STATUS, ID_EDIT, ID_ASK, ID_DISABLED, ID_HIDDEN, ID_OK, ID_CANCEL]
    # Positions in the template's dialog units (devtools/e2edemo/e2edemo.rc).
    assert [c.dlu for c in controls.values()] == [
        (10, 10, 200, 10), (10, 24, 200, 14), (10, 46, 50, 14), (70, 46, 50, 14), (130, 46, 50, 14),
        (100, 78, 50, 14), (160, 78, 50, 14)]
    assert ui.dialog_size(dialog, ("MS Shell Dlg", 8)) == (220, 100)
    assert not ui.is_enabled(dialog, ID_DISABLED) and not ui.is_visible(dialog, ID_HIDDEN)
    with pytest.raises(UiError, match="disabled"):
        ui.click(dialog, ID_DISABLED)
    assert screenshot("dialog").stat().st_size > 0
    ui.send_command(dialog, ID_HIDDEN)
    ui.wait_text(dialog, ID_STATUS, "Hidden command")

    # The box has the dialog's caption; it is found as the box all the same.
    for answer, owner in (("No", None), ("Yes", dialog)):
        ui.click(dialog, text="Ask")
        box, message = ui.message_box(DEMO_TITLE, owner=owner)
        assert box != dialog
        assert ui.wait_window(DEMO_TITLE, DIALOG_CLASS, message_box=False) == dialog
        assert message.text == "Proceed with the demo?"
        assert [text for _, text in message.buttons] == ["&Yes", "&No"]
        ui.answer(box, answer)
        ui.wait_gone(box)
        ui.wait_text(dialog, ID_STATUS, f"Answer: {answer}")

    ui.key(dialog, "enter")  # the default button, OK
    result = running.wait()
    assert result.exit_code == 259
    assert result.pid == dialog.pid
    assert listener.stop() == [(1, 259)]


@pytest.mark.parametrize("how", ["escape", "close box", "cancel by text"])
def test_dialog_cancel_paths(wine, ui, demo, how):
    running = wine.start([demo, "--dialog", "--exit", "259"], timeout=60)
    dialog = ui.wait_window(DEMO_TITLE, DIALOG_CLASS, timeout=30)

    if how == "escape":
        ui.key(dialog, "escape")
    elif how == "close box":
        ui.close(dialog)
    else:
        ui.click(dialog, text="cancel")

    assert running.wait().exit_code == CANCEL_CODE
    assert not ui.exists(dialog)


def test_control_text_is_read_byte_for_byte(wine, ui, demo):
    status = 'say "hi"\tto C:\\dir\\ \u00e9t\u00e9\r\nnext'
    running = wine.start([demo, "--dialog", "--status", status], timeout=60)
    dialog = ui.wait_window(DEMO_TITLE, DIALOG_CLASS, timeout=30)

    assert ui.text(dialog, ID_STATUS) == status
    ui.click(dialog, ID_OK)
    assert running.wait().exit_code == 0


def test_watch_records_each_change_of_a_control_text(wine, ui, demo):
    running = wine.start([demo, "--dialog"], timeout=60)
    dialog = ui.wait_window(DEMO_TITLE, DIALOG_CLASS, timeout=30)
    watch = ui.watch(dialog, ID_STATUS, duration=6)
    watch.wait_started()
    ui.click(dialog, ID_ASK, command=True)
    box, _ = ui.message_box(DEMO_TITLE)
    ui.answer(box, "Yes")
    seen = watch.changes()
    ui.click(dialog, ID_OK)

    assert [text for _, text in seen] == ["Ready", "Answer: Yes"]
    assert seen[0][0] < seen[1][0]
    assert running.wait().exit_code == 0
