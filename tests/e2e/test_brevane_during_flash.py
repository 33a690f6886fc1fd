"""Brevane while a stand-in tool flashes (simulation build): the dialog's thread waits instead of
spinning, a silent update shows its dialog with the warning, nothing but the verdict ends the
dialog, and another program can read the log while it is written."""
from __future__ import annotations

import time

import pytest

from brevane_setup import BrevaneRun
from e2e_harness import artifacts
from e2e_harness.builds import harness_tool
from e2e_harness.logs import log_entries
from e2e_harness.proctimes import ProcessorShare, find_linux_pid
from e2e_harness.uidriver import DIALOG_CLASS, poll

BIOS_WARNING = "Updating BIOS. Please DO NOT POWER OFF!"


@pytest.fixture
def brevane(wine, scratch) -> BrevaneRun:
    return BrevaneRun(wine, scratch)

def slow_flash(seconds: int) -> str:
    """A BIOS flash that takes about `seconds` and prints one progress line a second."""
    steps = "".join(f"print Updating NCBlock ... {percent}%\\r\nsleep 1000\n"
                    for percent in range(0, 100, 100 // seconds))
    return ("line banner 1\nline banner 2\nline banner 3\n" + steps +
            "print Verifying NCBlock ..... done\\r\\n\nexit 0\n")


# A BIOS flash that shows its first progress and then holds until the file flash.go exists
# beside it: the test decides when the tool prints again and ends.
HELD_FLASH = ("line banner 1\nline banner 2\nline banner 3\n"
              "print Updating NCBlock ... 0%\\r\n"
              "wait-file flash.go\n"
              "print Updating NCBlock ... 100%\\r\\n\n"
              "print Verifying NCBlock ..... done\\r\\n\nexit 0\n")
FIRST_PROGRESS = "Updating NCBlock ... 0%"


# Reports 11.8.50.3425, then flashes for about 5 s in 50 chunks.
ME_TOOL = ("[when -FWVER]\nline FW Version: 11.8.50.3425\nexit 0\n"
           "[when -f]\nrepeat 50\nprint Progress\\r\\n\nsleep 100\nend\nprint FW Update is complete\\r\\n\nexit 0\n")


class LogWatch:
    """devtools/logwatch holding a file open as a log viewer does and copying what is appended."""

    def __init__(self, wine, scratch, path) -> None:
        self.copy = scratch.file("logwatch.copy")
        self.stop_file = scratch.file("logwatch.stop")
        self.process = wine.popen_wine([str(harness_tool("logwatch.exe")), "--file", wine.windows_path(path),
                                        "--copy", wine.windows_path(self.copy),
                                        "--stop", wine.windows_path(self.stop_file)])
        poll(lambda: self.copy.exists() or self.process.poll() is not None, 30)
        assert self.copy.exists(), "logwatch could not open the log"

    def stop(self) -> bytes:
        self.stop_file.touch()
        code, _, err = self.process.finish(30)
        assert code == 0, err
        return self.copy.read_bytes()


def test_silent_update_is_shown_logs_beside_a_viewer_and_leaves_the_processor_to_the_tools(brevane, wine, ui, wine_env):
    brevane.script("AFUWINx64", slow_flash(10))
    brevane.script("FWUpdLcl64", ME_TOOL)
    image, me_image = brevane.file("bios.rom"), brevane.file("me.bin")
    # A viewer holds the log from before the first line: that line decides whether the run logs
    # at all.
    brevane.scratch.file("logs").mkdir()
    log = brevane.scratch.file("logs", "update.log")
    watch = LogWatch(wine, brevane.scratch, log)
    try:
        started = brevane.start(f"/NoPause /NoReboot /LogFile {brevane.scratch.winpath('logs', 'update.log')} "
                                f"/BiosRomFile {image} /BiosVer A06 /ZeraID 0ABC /MeRomFile {me_image} "
                                f"/MeVer 11.8.51", timeout=120)
        pid = find_linux_pid(brevane.scratch.winpath(brevane.exe.name))

        # Whoever stands at the machine sees the dialog and the warning for the whole flash.
        dialog = ui.wait_window("Update BIOS", DIALOG_CLASS, timeout=30)
        ui.wait_text(dialog, 1006, BIOS_WARNING, timeout=30)
        artifacts.screenshot("brevane-silent-update", wine_env)

        # From the start of the BIOS flash to the end of the ME flash the tools do the work.
        poll(lambda: brevane.cmdlines("AFUWINx64"), 30)
        share = ProcessorShare(pid)
        while share.sample():
            time.sleep(0.2)
        result = started.wait()
    finally:
        copy = watch.stop()

    assert result.exit_code == 0
    assert brevane.cmdlines("FWUpdLcl64") == ["FWUpdLcl64.exe -FWVER", f'FWUpdLcl64.exe -f "{me_image}"  -generic']
    # A thread that polls without waiting takes what it can get: most of the processor it shares
    # with the tool on a quiet machine, still near a fifth of it on one loaded six times over.
    # Waiting, it stays near 2 % either way.
    assert share.seconds >= 10, share.seconds
    assert share.share < 0.1, f"Brevane used {share.share:.0%} of a processor while the tools ran"

    # Every line reached the file, and the viewer that held it all along read every one.
    assert [tag.decode() for _, tag, _ in log_entries(log)] == [
        "Brevane_Start", "IsAdministratorUser", "GetSystemInfo", "GetMeVersion", "GetMeVersion", "BitLocker",
        "FlashBios", "Secure flash Info",
        "FlashBios", "FlashBios", "CompareMeVersion", "FlashME", "FlashME"]
    assert copy == log.read_bytes()


def test_nothing_but_the_verdict_ends_the_dialog_during_a_flash(brevane, ui, listener):
    brevane.script("AFUWINx64", HELD_FLASH)
    image = brevane.file("bios.rom")
    started = brevane.start(f"/NoReboot /BiosRomFile {image} /BiosVer A06 /ZeraID 0ABC /AMD", timeout=120)
    dialog = ui.wait_window("Update BIOS", DIALOG_CLASS, timeout=30)
    # A key through the dialog manager puts the output view into dialog mode, where Escape in
    # it asks the dialog to close.
    ui.key(dialog, "enter")
    ui.click(dialog, 1000)
    ui.wait_text(dialog, 1006, BIOS_WARNING, timeout=30)
    # The tool has printed all it prints before it holds.
    poll(lambda: FIRST_PROGRESS in ui.text(dialog, 1002), 30)

    ui.key(dialog, "escape")
    ui.close(dialog)                # the close box
    ui.send_command(dialog, 1001)   # "Quit", disabled, pressed by another program
    ui.close(dialog, wm_close=True)
    # The attempts were posted while the tool holds; it prints again only when let go, so its
    # next output reaches the dialog behind them and shows that they have been dispatched.
    before = ui.text(dialog, 1002)
    brevane.scratch.file("flash.go").touch()
    poll(lambda: ui.text(dialog, 1002) != before, 30)
    assert brevane.cmdlines("AFUWINx64") and ui.exists(dialog)
    assert ui.text(dialog, 1006) == BIOS_WARNING

    box, content = ui.message_box("Update BIOS", timeout=60, owner=dialog)
    assert content.text == "Update successful!\nIt will take effect after reboot!"
    assert ui.exists(dialog)
    ui.answer(box, "OK")
    assert started.wait().exit_code == 0
    assert listener.stop() == [(1, 0)]
