"""How a flash tool's end and the cut of its output into reads decide the verdict (64-bit
simulation build, stand-in tools): a BIOS flash tool that crashes, one that prints nothing and
one whose upper-case error text the pipe delivers in two reads each fail with 1 and
"Update Failed!"; an ME flash tool that crashes or prints nothing fails with 31; every tool's
exit code is logged, and its ordinary codes decide nothing."""
from __future__ import annotations

import pytest

from brevane_setup import SILENT_BOUND_SECONDS, BrevaneRun
from e2e_harness.logs import assert_log
from e2e_harness.uidriver import DIALOG_CLASS
from test_brevane_exit_codes import ADMIN, IDENTITY, NO_REFERENCE, exit_line, flash_lines, me_script

CHECK = f"Cur:A05, VerA:, VerX: [{NO_REFERENCE}]"
BANNER = "line banner 1\nline banner 2\nline banner 3\nsleep 300\n"

# One write of exactly 1,023 bytes, the most the reader takes at once, ending in the first two
# letters of the error word; the rest comes in a later read.
SPLIT_ERROR = BANNER + "print " + "x" * 1021 + "ER\nsleep 400\nprint ROR: SECURE FLASH ROM VERIFY FAIL.\\r\\n\nexit 0\n"

BIOS_CASES = {
    "crash": ("exit 0xC0000005\n", 0xC0000005, "Error message: AFUWINx64.exe ended abnormally, exit code 0xC0000005"),
    "silent": ("exit 0\n", 0, "Error message: AFUWINx64.exe ended without printing anything"),
    "split upper-case error": (SPLIT_ERROR, 0, "Error message: ERROR: SECURE FLASH ROM VERIFY FAIL."),
}


@pytest.fixture
def brevane(wine, scratch) -> BrevaneRun:
    return BrevaneRun(wine, scratch)


@pytest.mark.parametrize("case", BIOS_CASES)
def test_bios_flash_tool_that_crashes_is_silent_or_splits_its_error_fails_with_1(brevane, ui, listener, case):
    script, code, error_text = BIOS_CASES[case]
    brevane.script("AFUWINx64", script)
    image = brevane.file("bios.rom")
    started = brevane.start(f"/NoReboot /BiosRomFile {image} /BiosVer A06 /ZeraID 0ABC /AMD", timeout=120)
    dialog = ui.wait_window("Update BIOS", DIALOG_CLASS, timeout=30)
    ui.click(dialog, 1000)
    box, content = ui.message_box("Update BIOS", timeout=60, owner=dialog)
    assert content.text == f'Update Failed!\n"{error_text}"\nIt will take effect after reboot!'
    # The output view shows why, as it shows an error line the tool printed.
    assert error_text in ui.text(dialog, 1002)
    ui.answer(box, "OK")
    assert started.wait().exit_code == 1
    assert brevane.cmdlines("AFUWINx64") == [f'AFUWINx64.exe "{image}" /P /B /N']
    assert_log(brevane.log(), [ADMIN, IDENTITY, *flash_lines(brevane, image, "/P /B /N", CHECK, exit_code=code)])
    assert brevane.reboots() == []
    assert listener.stop() == [(1, 1)]


BIOS_OK_EXIT_7 = BANNER + "print Verifying NCBlock ..... done\\r\\n\nexit 7\n"
ME_CRASH = r"""[when -FWVER]
print FW Version: 11.8.40.3425\r\n
exit 0
[when -f]
print FW Update is complete\r\n
exit 0xC0000005
"""
ME_SILENT = r"""[when -FWVER]
print FW Version: 11.8.40.3425\r\n
exit 3
[when -f]
exit 0
"""


@pytest.mark.parametrize("case", ["crash after completion", "silent", "clean"])
def test_me_flash_tool_that_crashes_or_is_silent_fails_with_31(brevane, listener, case):
    # The BIOS tool's ordinary exit code 7 decides nothing; neither does the query's 3.
    brevane.script("AFUWINx64", BIOS_OK_EXIT_7)
    me, code, me_exit, query_exit = {"crash after completion": (ME_CRASH, 31, 0xC0000005, 0),
                                     "silent": (ME_SILENT, 31, 0, 3),
                                     "clean": (me_script(), 0, 0, 0)}[case]
    brevane.script("FWUpdLcl64", me)
    image, me_image = brevane.file("bios.rom"), brevane.file("me.bin")
    result = brevane.run(f"/NoPause /NoReboot /BiosRomFile {image} /BiosVer A06 /ZeraID 0ABC /MeRomFile {me_image} "
                         f"/MeVer 11.8.50.3425")
    assert result.seconds < SILENT_BOUND_SECONDS
    assert result.exit_code == code
    assert brevane.cmdlines("FWUpdLcl64") == ["FWUpdLcl64.exe -FWVER", f'FWUpdLcl64.exe -f "{me_image}"  -generic']
    current = "11.8.40.3425"
    assert_log(brevane.log(), [ADMIN, IDENTITY, ("GetMeVersion", "CommandLine=[FWUpdLcl64.exe -FWVER]"),
                               exit_line("GetMeVersion", query_exit),
                               *flash_lines(brevane, image, "/P /B /N", CHECK, exit_code=7),
                               ("CompareMeVersion", f'Cur:"{current}", New:"11.8.50.3425"'),
                               ("FlashME", f'CommandLine=[FWUpdLcl64.exe -f "{me_image}"  -generic]'),
                               exit_line("FlashME", me_exit)])
    assert brevane.reboots() == []
    assert listener.stop() == [(1, code)]
