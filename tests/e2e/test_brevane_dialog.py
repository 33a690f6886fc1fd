"""The main dialog of Brevane driven through our UI driver under Wine and Xvfb (simulation build,
stand-in tools): layout, the refusal banner, Quit, Escape and Enter, the hidden commands, the
title spinner, the result boxes with their buttons and the restart taken only on Yes."""
from __future__ import annotations

import pytest

from brevane_setup import BrevaneRun
from e2e_harness import artifacts
from e2e_harness.logs import assert_log
from e2e_harness.uidriver import DIALOG_CLASS, MessageBox, UiError, Window, poll

# Template 102 in dialog units: id -> (x, y, width, height, text).
TEMPLATE = {
    1006: (4, 6, 403, 14, "Warning: Please exits all other applications before updating BIOS!"),
    1003: (84, 38, 83, 8, None),
    1004: (84, 52, 83, 8, None),
    1000: (281, 28, 50, 14, "Update"),
    1001: (282, 47, 50, 14, "Quit"),
    1009: (11, 68, 396, 11, "   ERROR: The BIOS version is same or lower than current BIOS version. "),
    1002: (4, 82, 403, 144, ""),
    1005: (343, 27, 50, 14, "Enter"),
    1008: (342, 45, 50, 14, "Button2"),
}

# Flashes until the test has watched the spinner: it goes on once the file spinner.seen exists
# beside it.
BIOS_HELD = r"""line banner 1
line banner 2
line banner 3
print Reading flash ...... done\r\n
wait-file spinner.seen
print Updating NCBlock ... 50%\r
sleep 300
print Updating NCBlock ... 100%\r\n
sleep 300
print Verifying NCBlock ..... done\r\n
exit 0
"""

BIOS_ERROR = r"""line banner 1
line banner 2
line banner 3
sleep 200
line Error: Secure Flash Rom Verify fail.
exit 1
"""

BIOS_ASKS = r"""line banner 1
line banner 2
line banner 3
line Continue? (Y/N)
echo-input
print Verifying NCBlock ..... done\r\n
exit 0
"""


@pytest.fixture
def brevane(wine, scratch) -> BrevaneRun:
    return BrevaneRun(wine, scratch)


def open_dialog(ui, started) -> Window:
    try:
        return ui.wait_window("Update BIOS", DIALOG_CLASS, timeout=30)
    except UiError:
        started.kill()
        raise


def result_box(ui, dialog: Window, timeout: float = 30) -> tuple[Window, MessageBox]:
    """The message box captioned "Update BIOS" that the dialog owns (the dialog itself carries
    the same caption)."""
    return ui.message_box("Update BIOS", timeout=timeout, owner=dialog)


def button_texts(box: MessageBox) -> list[str]:
    return [text.replace("&", "") for _, text in box.buttons]


def test_equal_version_shows_the_banner_and_only_quit_remains(brevane, ui, listener):
    image = brevane.file("bios.rom")
    started = brevane.start(f"/BiosRomFile {image} /BiosVer A05 /ZeraID 0ABC /AMD", timeout=120)
    dialog = open_dialog(ui, started)

    controls = {c.id: c for c in ui.controls(dialog)}
    # Every control at its template position: the output view fixes the scale, the rest follow.
    ref = controls[1002].rect
    sx, sy = ref[2] / 403, ref[3] / 144
    for cid, (x, y, w, h, text) in TEMPLATE.items():
        rect = controls[cid].rect
        assert abs(rect[0] - x * sx) <= 2 and abs(rect[1] - y * sy) <= 2, (cid, rect)
        assert abs(rect[2] - w * sx) <= 2 and abs(rect[3] - h * sy) <= 2, (cid, rect)
        if text is not None:
            assert controls[cid].text == text, cid
    assert controls[1003].text == "A05" and controls[1004].text == "A05"
    assert controls[1009].visible
    assert not controls[1000].enabled and controls[1001].enabled
    assert not controls[1005].visible and not controls[1005].enabled
    assert not controls[1008].visible and not controls[1008].enabled

    # Enter does nothing. Each driver action first waits until the dialog is idle, so once the
    # commands posted after the key have shown their effect, the key has been handled too.
    ui.key(dialog, "enter")

    # Command 1008 three times: one erase-progress line with the count 2 in place of the last line.
    for _ in range(3):
        ui.send_command(dialog, 1008)
    poll(lambda: ui.text(dialog, 1002) == "Erasing ..... (2 %)", 10)
    assert ui.exists(dialog)
    assert not ui.is_enabled(dialog, 1000) and ui.is_visible(dialog, 1009)

    ui.click(dialog, 1001)
    result = started.wait()
    assert result.exit_code == 13
    assert listener.stop() == [(1, 13)]
    assert brevane.reboots() == []


def test_escape_closes_an_idle_dialog_with_13(brevane, ui, listener):
    image = brevane.file("bios.rom")
    started = brevane.start(f"/BiosRomFile {image} /BiosVer A06 /ZeraID 0ABC /AMD", timeout=120)
    dialog = open_dialog(ui, started)
    assert ui.is_enabled(dialog, 1000)
    assert not ui.is_visible(dialog, 1009)
    ui.key(dialog, "escape")
    result = started.wait()
    assert result.exit_code == 13
    assert brevane.cmdlines("AFUWINx64") == []
    assert listener.stop() == [(1, 13)]


def test_successful_update_spins_and_restarts_only_on_yes(brevane, ui, listener, wine_env):
    brevane.script("AFUWINx64", BIOS_HELD)
    image = brevane.file("bios.rom")
    started = brevane.start(f"/BiosRomFile {image} /BiosVer A06 /ZeraID 0ABC /AMD", timeout=120)
    dialog = open_dialog(ui, started)
    ui.click(dialog, 1000)
    # Watched once the tool has started, while it holds the flash open, however late the watch
    # starts on a loaded machine: the spinner on the title, in its order |, /, -, \ from
    # wherever the watch comes in.
    poll(lambda: brevane.cmdlines("AFUWINx64"), 30)
    watch = ui.watch(dialog, None, duration=2.5, interval=0.02)
    watch.wait_started()
    titles = [text for _, text in watch.changes()]
    spins = [t for t in titles if t.startswith("Update BIOS ")]
    assert len(spins) >= 4, titles
    frames = "".join(t[-1] for t in spins)
    assert frames in "|/-\\" * (len(frames) // 4 + 2), titles
    assert all(t[:-1] == "Update BIOS" + " " * 7 for t in spins), spins
    assert ui.text(dialog, 1006) == "Updating BIOS. Please DO NOT POWER OFF!"
    assert not ui.is_enabled(dialog, 1000) and not ui.is_enabled(dialog, 1001)
    artifacts.screenshot("brevane-dialog-during-update", wine_env)

    brevane.scratch.file("spinner.seen").touch()
    box, content = result_box(ui, dialog)
    assert content.text == "Update successful!\nIt will take effect after reboot!\nReboot now?"
    assert button_texts(content) == ["Yes", "No"]
    ui.answer(box, "Yes")
    result = started.wait()
    assert result.exit_code == 0
    assert brevane.reboots() == ["RebootWindows"]
    assert listener.stop() == [(1, 0)]


def test_failed_update_box_and_no_restart_on_no(brevane, ui, listener):
    brevane.script("AFUWINx64", BIOS_ERROR)
    image = brevane.file("bios.rom")
    started = brevane.start(f"/BiosRomFile {image} /BiosVer A06 /ZeraID 0ABC /AMD", timeout=120)
    dialog = open_dialog(ui, started)
    ui.click(dialog, 1000)
    box, content = result_box(ui, dialog)
    assert content.text == ('Update Failed!\n"Error: Secure Flash Rom Verify fail."\n'
                            "It will take effect after reboot!\nReboot now?")
    assert button_texts(content) == ["Yes", "No"]
    ui.answer(box, "No")
    result = started.wait()
    assert result.exit_code == 1
    assert brevane.reboots() == []
    assert listener.stop() == [(1, 1)]


def test_no_reboot_boxes_have_only_ok(brevane, ui, listener):
    brevane.script("AFUWINx64", BIOS_ERROR)
    image = brevane.file("bios.rom")
    started = brevane.start(f"/NoReboot /BiosRomFile {image} /BiosVer A06 /ZeraID 0ABC /AMD", timeout=120)
    dialog = open_dialog(ui, started)
    ui.click(dialog, 1000)
    box, content = result_box(ui, dialog)
    assert content.text == ('Update Failed!\n"Error: Secure Flash Rom Verify fail."\n'
                            "It will take effect after reboot!")
    assert button_texts(content) == ["OK"]
    ui.answer(box, "OK")
    assert started.wait().exit_code == 1
    assert brevane.reboots() == []
    assert listener.stop() == [(1, 1)]


def test_flash_tool_missing_keeps_the_dialog_open(brevane, ui, listener):
    brevane.remove_tool("AFUWINx64.exe")
    image = brevane.file("bios.rom")
    started = brevane.start(f"/BiosRomFile {image} /BiosVer A06 /ZeraID 0ABC /AMD", timeout=120)
    dialog = open_dialog(ui, started)
    ui.click(dialog, 1000)
    box, content = ui.message_box("Flash BIOS", timeout=30)
    assert content.text == "Flash BIOS Error, GetLastError=2"
    ui.answer(box, "OK")
    poll(lambda: ui.text(dialog) == "Update BIOS", 10)
    assert not ui.is_enabled(dialog, 1000) and not ui.is_enabled(dialog, 1001)
    ui.key(dialog, "escape")
    assert started.wait().exit_code == 1
    assert brevane.reboots() == []
    assert listener.stop() == [(1, 1)]


def test_command_1005_answers_the_tool(brevane, ui, listener):
    brevane.script("AFUWINx64", BIOS_ASKS)
    image = brevane.file("bios.rom")
    started = brevane.start(f"/NoReboot /BiosRomFile {image} /BiosVer A06 /ZeraID 0ABC /AMD", timeout=120)
    dialog = open_dialog(ui, started)
    ui.click(dialog, 1000)
    poll(lambda: "Continue? (Y/N)" in ui.text(dialog, 1002), 20)
    ui.send_command(dialog, 1005)
    box, content = result_box(ui, dialog)
    assert content.text == "Update successful!\nIt will take effect after reboot!"
    # The tool waits for a line on its input and finishes only once it has one: the answer came.
    assert "Verifying NCBlock ..... done" in ui.text(dialog, 1002)
    ui.answer(box, "OK")
    assert started.wait().exit_code == 0
    assert listener.stop() == [(1, 0)]


def test_developer_questions_only_with_ovrel(brevane, ui, listener):
    image = brevane.file("bios.rom")
    started = brevane.start(f"/Ovrel /BiosRomFile {image} /BiosVer A06 /ZeraID 0ABC /AMD", timeout=120)
    box, content = ui.message_box("Update BIOS", timeout=30)
    assert content.text == "Bypass GetSysInfo?"
    assert button_texts(content) == ["Yes", "No"]
    ui.answer(box, "Yes")
    box, content = ui.message_box("Update BIOS", timeout=30)
    assert content.text == "Bypass ValidateSystem?"
    ui.answer(box, "No")
    # Nothing was read, so the check fails on the empty manufacturer.
    box, content = ui.message_box("Update BIOS", timeout=30)
    assert content.text == "The system to be updated is not a Zera system."
    assert button_texts(content) == ["OK"]
    ui.answer(box, "OK")
    assert started.wait().exit_code == 14
    assert_log(brevane.log(), [("IsAdministratorUser", "YES"),
                               ("GetSystemInfo", "OK, SystemManufacturer=[], SystemProductName=[], SystemZeraID=[0000]")])
    assert listener.stop() == [(1, 14)]


def test_failed_me_step_shows_its_box_and_keeps_the_dialog_open(brevane, ui, listener):
    brevane.machine(winpe=1)
    brevane.script("drvload", "line DrvLoad: Failed to load HECI.inf\nexit 1\n")
    image, me_image = brevane.file("bios.rom"), brevane.file("me.bin")
    started = brevane.start(f"/BiosRomFile {image} /BiosVer A06 /ZeraID 0ABC /MeRomFile {me_image} /MeVer 11.8.50",
                            timeout=120)
    dialog = open_dialog(ui, started)
    ui.click(dialog, 1000)
    box, content = ui.message_box("ME Info", timeout=30)
    assert content.text == "ME Driver load failed now, please check it"
    assert button_texts(content) == ["OK"]
    ui.answer(box, "OK")
    poll(lambda: ui.text(dialog) == "Update BIOS", 10)
    # Failed before the BIOS step: "Quit" is still there, "Update" is not.
    assert not ui.is_enabled(dialog, 1000) and ui.is_enabled(dialog, 1001)
    ui.click(dialog, 1001)
    assert started.wait().exit_code == 32
    assert brevane.cmdlines("AFUWINx64") == []
    assert brevane.reboots() == []
    assert listener.stop() == [(1, 32)]
