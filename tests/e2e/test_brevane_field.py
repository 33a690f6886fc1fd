"""Brevane's field options end to end in a simulation build: the power gate, BitLocker
suspension before the flash, the bounded ME version query in silent mode, check-only runs, the
JSON result report and the help box. Each run checks its exit code, its log, the tools it
started (or did not), the restart record and the broadcast."""
from __future__ import annotations

import json
import re

import pytest

from e2e_harness import builds
from brevane_setup import BrevaneRun
from e2e_harness.logs import assert_log, log_entries
from test_brevane_exit_codes import (ADMIN, BIOS_ERROR, BIOS_OK, IDENTITY, NO_BITLOCKER, NO_REFERENCE, RESTART,
                                     bounded, flash_lines, me_script)

AMD_ARGS = "/NoPause /AMD /BiosVer A06 /ZeraID 0ABC"
FLASH_CHECK = f"Cur:A05, VerA:, VerX: [{NO_REFERENCE}]"
ISO_8601 = re.compile(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d")


@pytest.fixture
def brevane(wine, scratch) -> BrevaneRun:
    return BrevaneRun(wine, scratch)


def entries(brevane: BrevaneRun) -> list[tuple[str, str]]:
    """The log as (tag, message) pairs."""
    return [(tag.decode("cp1252"), message.decode("cp1252")) for _, tag, message in log_entries(brevane.log())]


def power_line(text: str) -> tuple[str, str]:
    return ("PowerCheck", text)


# (machine keys, extra options, exit code, power log line or None)
POWER_CASES = {
    "on battery": (dict(ac_line=0, battery_flag=1, battery_percent=90), "", 15,
                   "Result=[ERROR], running on battery power (ACLineStatus=0, BatteryFlag=1, BatteryLifePercent=90)"),
    "low battery on AC": (dict(ac_line=1, battery_flag=2, battery_percent=10), "", 15,
                          "Result=[ERROR], battery charge 10% is below 25% (ACLineStatus=1, BatteryFlag=2, "
                          "BatteryLifePercent=10)"),
    "no battery": (dict(ac_line=1, battery_flag=128, battery_percent=255), "", 0, None),
    "AC unknown": (dict(ac_line=255, battery_flag=128, battery_percent=255), "", 0,
                   "AC power state unknown (ACLineStatus=255, BatteryFlag=128, BatteryLifePercent=255), going on"),
    "ignored": (dict(ac_line=0, battery_flag=1, battery_percent=3), " /IgnorePower", 0,
                "/IgnorePower given: power check skipped (ACLineStatus=0, BatteryFlag=1, BatteryLifePercent=3)"),
}


@pytest.mark.parametrize("case", POWER_CASES)
def test_power_gate(brevane, listener, case):
    keys, extra, code, line = POWER_CASES[case]
    brevane.machine(**keys)
    brevane.script("AFUWINx64", BIOS_OK)
    image = brevane.file("bios.rom")
    result = brevane.run(f"{AMD_ARGS} /NoReboot /BiosRomFile {image}{extra}")
    bounded(result)
    assert result.exit_code == code
    power = [power_line(line)] if line else []
    if code == 15:
        assert brevane.cmdlines("AFUWINx64") == []
        assert_log(brevane.log(), [ADMIN, IDENTITY, *power])
    else:
        assert brevane.cmdlines("AFUWINx64") == [f'AFUWINx64.exe "{image}" /P /B /N']
        assert_log(brevane.log(), [ADMIN, IDENTITY, *power, *flash_lines(brevane, image, "/P /B /N", FLASH_CHECK)])
    assert brevane.reboots() == []
    assert listener.stop() == [(1, code)]


def test_power_refusal_shows_its_box_before_any_dialog(brevane, ui, listener):
    brevane.machine(ac_line=0, battery_flag=9, battery_percent=50)
    image = brevane.file("bios.rom")
    started = brevane.start(f"/AMD /BiosVer A06 /ZeraID 0ABC /BiosRomFile {image}", timeout=120)
    box, content = ui.message_box("Update BIOS", timeout=30)
    assert content.text == "The computer is running on battery power.\nConnect the AC adapter and start the update again."
    assert [text for _, text in content.buttons] == ["OK"]
    ui.answer(box, "OK")
    assert started.wait().exit_code == 15
    assert listener.stop() == [(1, 15)]


BITLOCKER_CASES = {
    "off": ("off", "", 0, "Protection off (GetProtectionStatus, hr=0x00000000)", "off"),
    "on": ("on", "", 0, "Protection suspended for one restart (DisableKeyProtectors, hr=0x00000000)", "suspended"),
    "fails": ("suspend_fails", "", 16,
              "Result=[ERROR], suspending protection failed (DisableKeyProtectors, hr=0x80310000)", "failed"),
    "fails, ignored": ("suspend_fails", " /IgnoreBitLocker", 0,
                       "Suspending protection failed (DisableKeyProtectors, hr=0x80310000); /IgnoreBitLocker given, "
                       "flashing anyway", "ignored"),
    "unavailable": ("unavailable", "", 0, "Not available on this system (ConnectServer, hr=0x8004100E), going on",
                    "unavailable"),
}


@pytest.mark.parametrize("case", BITLOCKER_CASES)
def test_bitlocker_before_the_flash(brevane, listener, case):
    answer, extra, code, line, state = BITLOCKER_CASES[case]
    brevane.machine(bitlocker=answer)
    # The flash tool records its start in the restart record, so the order of the two shows.
    brevane.script("AFUWINx64", "record reboot.log\n" + BIOS_OK)
    image = brevane.file("bios.rom")
    report = brevane.scratch.winpath("report.json")
    result = brevane.run(f"{AMD_ARGS} /BiosRomFile {image} /Report {report}{extra}")
    bounded(result)
    assert result.exit_code == code
    tool = f'AFUWINx64.exe "{image}" /P /B /N'
    lines = flash_lines(brevane, image, "/P /B /N", FLASH_CHECK)
    lines[0] = ("BitLocker", line)
    if code == 16:
        assert brevane.reboots() == []  # neither the tool nor a restart
        assert_log(brevane.log(), [ADMIN, IDENTITY, lines[0]])
    else:
        suspended = ["SuspendBitLocker"] if answer == "on" else []
        assert brevane.reboots() == [*suspended, tool, "RebootWindows"]
        assert_log(brevane.log(), [ADMIN, IDENTITY, *lines, RESTART])
    assert json.loads(brevane.scratch.file("report.json").read_bytes())["bitlocker"] == state
    assert listener.stop() == [(1, code)]


HUNG_QUERY = """[when -FWVER]
line Intel (R) Firmware Update Utility stand-in
hang
"""


def test_hung_me_version_query_is_ended_in_silent_mode(brevane, listener):
    brevane.machine(query_limit_ms=2000)
    brevane.script("FWUpdLcl64", HUNG_QUERY)
    image, me_image = brevane.file("bios.rom"), brevane.file("me.bin")
    result = brevane.run(f"/NoPause /BiosRomFile {image} /BiosVer A06 /ZeraID 0ABC /MeRomFile {me_image} "
                         f"/MeVer 11.8.50")
    bounded(result)
    assert result.exit_code == 32
    assert brevane.cmdlines("FWUpdLcl64") == ["FWUpdLcl64.exe -FWVER"]
    assert brevane.cmdlines("AFUWINx64") == []
    lines = entries(brevane)
    assert lines[:3] == [ADMIN, IDENTITY, ("GetMeVersion", "CommandLine=[FWUpdLcl64.exe -FWVER]")]
    # Ended by Brevane with STILL_ACTIVE.
    assert lines[4:] == [("GetMeVersion", "ExitCode=[0x00000103]"),
                         ("CheckMeFunction", "Result=[ME is not available now, please check it]")]
    tag, message = lines[3]
    ended = re.fullmatch(r"Result=\[TIMEOUT\], the tool was ended after (\d+)\.(\d{3}) s", message)
    assert tag == "GetMeVersion" and ended, message
    assert 2.0 <= float(f"{ended[1]}.{ended[2]}") < 10
    assert brevane.reboots() == []
    assert listener.stop() == [(1, 32)]


# A flash tool that succeeds and ends, leaving behind a helper that holds its output pipe and
# keeps it full: the tool's output never runs dry after its end. Progress lines ended by bare
# carriage returns keep the output window at one line, so only the pipe grows busy.
BIOS_OK_WITH_HELPER = (r"""[when helper]
repeat 20000
fill 65536 Updating NCBlock ... 100%\r
end
exit 0
[otherwise]
""" + BIOS_OK.replace("exit 0\n", "spawn helper\nexit 0\n"))


def test_output_that_outlives_the_flash_tool_is_waited_for_a_bounded_time(brevane, listener):
    brevane.script("AFUWINx64", BIOS_OK_WITH_HELPER)
    image = brevane.file("bios.rom")
    result = brevane.run(f"{AMD_ARGS} /NoReboot /BiosRomFile {image}")
    bounded(result)
    assert result.exit_code == 0
    # The helper's output after the tool's end is taken for 5 s at most, then the run is stopped.
    assert 5 <= result.seconds < 40
    tool, helper = brevane.cmdlines("AFUWINx64")
    assert tool == f'AFUWINx64.exe "{image}" /P /B /N'
    assert helper.endswith('AFUWINx64.exe" helper')
    # Judged by what it printed, as any flash: no other line, no reader left behind.
    assert_log(brevane.log(), [ADMIN, IDENTITY, *flash_lines(brevane, image, "/P /B /N", FLASH_CHECK)])
    assert brevane.reboots() == []
    assert listener.stop() == [(1, 0)]


# (machine keys, options, exit code); every run is a check: no dialog, no box, no tool.
CHECK_CASES = {
    "applies": ({}, "/BiosVer A06", 0),
    "version refused": ({}, "/BiosVer A05", 2),
    "no identity": (dict(smbios=False), "/BiosVer A06", 4),
    "not admin": (dict(admin=0), "/BiosVer A06", 8),
    "affinity": (dict(affinity=0), "/BiosVer A06", 9),
    "no version": ({}, "", 11),
    "image missing": ({}, "/BiosVer A06 /BiosRomFile C:\\nowhere\\bios.rom", 12),
    "other machine": (dict(zera_id=0x0ABD), "/BiosVer A06", 14),
    "on battery": (dict(ac_line=0, battery_flag=1, battery_percent=80), "/BiosVer A06", 15),
}


@pytest.mark.parametrize("case", CHECK_CASES)
def test_check_only(brevane, listener, case):
    keys, options, code = CHECK_CASES[case]
    brevane.machine(**keys)
    brevane.script("AFUWINx64", BIOS_OK)
    image = brevane.file("bios.rom")
    image_option = "" if "/BiosRomFile" in options else f" /BiosRomFile {image}"
    report = brevane.scratch.winpath("check.json")
    # Without /NoPause: a check never shows a box, so a run that waited for one would time out.
    result = brevane.run(f"/Check /AMD /ZeraID 0ABC {options}{image_option} /Report {report}")
    bounded(result)
    assert result.exit_code == code
    assert brevane.cmdlines("AFUWINx64") == [] and brevane.cmdlines("FWUpdLcl64") == []
    assert brevane.reboots() == []
    lines = entries(brevane)
    if code in (0, 2):
        assert lines[-1] == ("Check", "Result=[0], the update would run" if code == 0 else
                                   "Result=[2], Silent mode, and the new BIOS version was refused by the version "
                                   "comparison")
    else:
        assert all(tag != "Check" for tag, _ in lines)
    doc = json.loads(brevane.scratch.file("check.json").read_bytes())
    assert (doc["exitCode"], doc["checkOnly"], doc["rebootRequested"], doc["bitlocker"]) == (code, True, False, None)
    assert doc["bios"]["flashed"] is False and doc["bios"]["image"] is None
    assert listener.stop() == [(1, code)]


def me_flash_args(brevane: BrevaneRun, image: str, me_image: str, report: str) -> str:
    return (f"/NoPause /BiosRomFile {image} /BiosVer A06 /ZeraID 0ABC /MeRomFile {me_image} /MeVer 11.8.50.3425 "
            f"/CA A05 /CX X03 /Report {report}")


def test_report_of_a_successful_run(brevane, listener):
    brevane.machine(product='Zera "5500" \\ \xe9', ac_line=1, battery_flag=1, battery_percent=80, bitlocker="on")
    brevane.script("AFUWINx64", BIOS_OK)
    brevane.script("FWUpdLcl64", me_script())
    brevane.settings("[settings]\nSecEn=1\nSecAVer=A03\nSecXVer=X05\nSecCapFlie=secure.cap\n")
    image, me_image = brevane.file("bios.rom"), brevane.file("me.bin")
    report = brevane.scratch.winpath("report.json")
    result = brevane.run(me_flash_args(brevane, image, me_image, report))
    bounded(result)
    assert result.exit_code == 0
    doc = json.loads(brevane.scratch.file("report.json").read_bytes().decode("utf-8"))
    assert doc["program"] == ("Brevane" if builds.UNDER_TEST.bits == 32 else "Brevane64") and doc["version"] == "1.0.0.0"
    assert (doc["exitCode"], doc["exitMeaning"]) == (0, "Update finished without error (or nothing left to do "
                                                        "after a successful run)")
    assert (doc["checkOnly"], doc["rebootRequested"]) == (False, True)
    assert ISO_8601.fullmatch(doc["started"]) and ISO_8601.fullmatch(doc["ended"]) and doc["started"] <= doc["ended"]
    assert doc["logFile"].lower() == brevane.scratch.winpath("Brevane.log").lower()
    # The firmware's strings are decoded from Windows-1252 whatever the code page the programs
    # run in (UTF-8, as their manifests ask): its 8-bit "\xe9" is "é".
    assert doc["machine"] == {"manufacturer": "Zera Inc.", "product": 'Zera "5500" \\ é', "zeraId": "0ABC",
                              "biosVersion": "A05"}
    assert doc["bios"] == {"newVersion": "A06", "image": "secure.cap", "options": "/P /B", "flashed": True,
                           "error": None}
    assert doc["me"] == {"currentVersion": "11.8.40.3425", "newVersion": "11.8.50.3425", "flashed": True,
                         "error": None}
    assert doc["power"] == {"acLine": True, "batteryPercent": 80, "batteryPresent": True, "gate": "passed"}
    assert doc["bitlocker"] == "suspended"
    # Written beside the target, then renamed: nothing else is left there.
    assert sorted(p.name for p in brevane.scratch.path.glob("report.json*")) == ["report.json"]
    assert listener.stop() == [(1, 0)]


def test_report_of_a_refusal_and_of_a_bios_error(brevane, listener):
    brevane.machine(ac_line=0, battery_flag=1, battery_percent=55)
    image = brevane.file("bios.rom")
    report = brevane.scratch.winpath("refused.json")
    assert brevane.run(f"{AMD_ARGS} /BiosRomFile {image} /Report {report}").exit_code == 15
    doc = json.loads(brevane.scratch.file("refused.json").read_bytes())
    assert (doc["exitCode"], doc["exitMeaning"]) == (15, "Refused on power: running on battery, or the battery "
                                                         "charge is below 25%")
    assert doc["machine"]["zeraId"] == "0ABC"
    assert doc["power"] == {"acLine": False, "batteryPercent": 55, "batteryPresent": True, "gate": "refused"}
    assert doc["bios"] == {"newVersion": "A06", "image": None, "options": None, "flashed": False, "error": None}
    assert (doc["me"], doc["bitlocker"], doc["rebootRequested"]) == (None, None, False)

    brevane.machine()
    brevane.script("AFUWINx64", BIOS_ERROR)
    report = brevane.scratch.winpath("error.json")
    assert brevane.run(f"{AMD_ARGS} /NoReboot /BiosRomFile {image} /Report {report}").exit_code == 1
    doc = json.loads(brevane.scratch.file("error.json").read_bytes())
    assert doc["exitCode"] == 1 and doc["rebootRequested"] is False
    assert doc["bios"] == {"newVersion": "A06", "image": image, "options": "/P /B /N", "flashed": False,
                           "error": "Error: Secure Flash Rom Verify fail."}
    assert doc["power"] == {"acLine": True, "batteryPercent": None, "batteryPresent": False, "gate": "passed"}
    assert (doc["me"], doc["bitlocker"]) == (None, "unavailable")
    assert listener.stop() == [(1, 15), (1, 1)]


def test_a_report_that_cannot_be_written_changes_no_exit_code(brevane, listener):
    image = brevane.file("bios.rom")
    report = brevane.scratch.winpath("missing folder\\report.json")
    result = brevane.run(f"/NoPause /AMD /BiosVer A05 /ZeraID 0ABC /BiosRomFile {image} /Report \"{report}\"")
    assert result.exit_code == 2
    tag, message = entries(brevane)[-1]
    assert tag == "Report"
    assert message.startswith(f"Result=[ERROR], the report was not written: CreateFile({report}.")
    assert message.endswith(".tmp) ERR 3")
    assert listener.stop() == [(1, 2)]


def test_log_and_report_are_never_written_through_a_linked_folder(brevane, listener):
    """A folder on the way to the log or the report is a link a user planted (here a symbolic
    link, which Wine shows as a reparse point): nothing is written where it points. The log
    refused, the start line fails and the run goes on without a log; the report's refusal is
    logged where the log can be written."""
    elsewhere = brevane.scratch.file("elsewhere")
    elsewhere.mkdir()
    brevane.scratch.file("linked").symlink_to(elsewhere, target_is_directory=True)
    image = brevane.file("bios.rom")
    log = brevane.scratch.winpath("linked", "bios.log")
    result = brevane.run(f"/NoPause /AMD /BiosVer A05 /ZeraID 0ABC /BiosRomFile {image} /LogFile {log}")
    assert result.exit_code == 2
    assert list(elsewhere.iterdir()) == []
    assert brevane.log() == b""  # no fallback to the default log either

    report = brevane.scratch.winpath("linked", "report.json")
    result = brevane.run(f"/NoPause /AMD /BiosVer A05 /ZeraID 0ABC /BiosRomFile {image} /Report {report}")
    assert result.exit_code == 2
    assert list(elsewhere.iterdir()) == []
    tag, message = entries(brevane)[-1]
    assert tag == "Report"
    assert message.startswith(f"Result=[ERROR], the report was not written: CreateFile({report}.")
    assert message.endswith(".tmp) ERR 4395")
    assert listener.stop() == [(1, 2), (1, 2)]


def test_help_box_shows_options_and_exit_codes_and_checks_nothing(brevane, ui, listener):
    brevane.machine(admin=0, affinity=0)  # nothing is checked, so nothing refuses
    started = brevane.start("/? /NoPause", timeout=120)
    box, content = ui.message_box("Update BIOS", timeout=30)
    assert content.text.startswith("Options:\n/BiosRomFile <file>\tBIOS image (required)\n")
    for text in ("/IgnorePower", "/IgnoreBitLocker", "/Check", "/Report <path>", "\nExit codes:\n0\tUpdate finished",
                 "\n15\tRefused on power", "\n16\tBitLocker protection", "\n33\tThe Windows PE driver loader"):
        assert text in content.text
    ui.answer(box, "OK")
    assert started.wait().exit_code == 0
    assert brevane.log() == b""
    assert listener.stop() == [(1, 0)]
