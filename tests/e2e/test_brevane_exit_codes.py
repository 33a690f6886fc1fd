"""Brevane end to end in a simulation build with the tool stand-ins: every exit code the program
can end with, each with its log lines in order, the command lines the tools received, the
restart record (or its absence) and the broadcast exit code. Silent runs are bounded in time."""
from __future__ import annotations

import shutil

import pytest

from brevane_setup import SILENT_BOUND_SECONDS, BrevaneRun
from e2e_harness import builds
from e2e_harness.logs import assert_log, log_entries
from e2e_harness.uidriver import DIALOG_CLASS

ADMIN = ("IsAdministratorUser", "YES")
IDENTITY = ("GetSystemInfo", "OK, SystemManufacturer=[Zera Inc.], SystemProductName=[Zera 5500], SystemZeraID=[0ABC]")
NO_SECURE = ("Secure flash Info", "Disable secure update")
NO_REFERENCE = "Invalid BIOS version length(2) in command line: "
# The simulation records the restart instead of making it, after the production code's log line.
RESTART = ("RebootWindows", "Initiate ExitWindowsEx()...")
# Wine has no encryptable-volume class: every flash logs that and goes on.
NO_BITLOCKER = ("BitLocker", "Not available on this system (ConnectServer, hr=0x8004100E), going on")

BIOS_OK = r"""line Flash utility stand-in
line Copyright stand-in
line ----
sleep 200
print Reading flash ...... done\r\n
sleep 200
print Updating NCBlock ... 50%\r
sleep 200
print Updating NCBlock ... 100%\r\n
print Verifying NCBlock ..... done\r\n
exit 0
"""

BIOS_ERROR = r"""line Flash utility stand-in
line Copyright stand-in
line ----
sleep 200
line Error: Secure Flash Rom Verify fail.
exit 1
"""

ME_TOOL = r"""[when -FWVER]
line Intel (R) Firmware Update Utility stand-in
sleep 200
print FW Version: {version}\r\n
exit 0
[when -f]
print Checking firmware parameters...\r\n
sleep 200
print {flash}\r\n
exit 0
"""


def me_script(version: str = "11.8.40.3425", flash: str = "FW Update is complete") -> str:
    return ME_TOOL.format(version=version, flash=flash)


@pytest.fixture
def brevane(wine, scratch) -> BrevaneRun:
    return BrevaneRun(wine, scratch)


def bounded(result) -> None:
    assert result.seconds < SILENT_BOUND_SECONDS


def exit_line(tag: str, code: int | None) -> tuple[str, str]:
    """The line every tool run ends with; None: the exit code could not be read."""
    return (tag, "ExitCode=[unknown]" if code is None else f"ExitCode=[0x{code:08X}]")


def flash_lines(run: BrevaneRun, image: str, options: str, check: str, tool: str = "AFUWINx64.exe",
                exit_code: int | None | bool = 0):
    """The BIOS flash's lines; exit_code False: the tool did not start, so no exit code line."""
    lines = [NO_BITLOCKER, ("FlashBios", f"Check compatible : {check}"), NO_SECURE,
             ("FlashBios", f'CommandLine=[{tool} "{image}" {options}]')]
    if exit_code is not False:
        lines.append(exit_line("FlashBios", exit_code))
    return lines


def test_no_command_line_refuses_with_11_in_a_box(brevane, listener, ui):
    started = brevane.start("")
    box, content = ui.message_box("Update BIOS")
    assert content.text == "The /BiosRomFile is not specified in command line."
    assert [text for _, text in content.buttons] == ["OK"]
    ui.answer(box, "OK")
    result = started.wait()
    assert result.exit_code == 11
    assert_log(brevane.log(), [("Error", "The /BiosRomFile is not specified in command line.")])
    assert listener.stop() == [(1, 11)]
    assert brevane.reboots() == []


def test_affinity_failure_ends_with_9_and_no_log(brevane, listener):
    brevane.machine(affinity=0)
    result = brevane.run("/NoPause /BiosRomFile x.rom")
    bounded(result)
    assert result.exit_code == 9
    assert brevane.log() == b""
    assert brevane.reboots() == []
    assert listener.stop() == [(1, 9)]


def test_missing_image_ends_with_12(brevane, listener):
    missing = brevane.scratch.winpath("missing.rom")
    result = brevane.run(f"/NoPause /BiosRomFile {missing} /BiosVer A06")
    bounded(result)
    assert result.exit_code == 12
    assert_log(brevane.log(), [("Error", f"The specified bios_rom_file ({missing}) is not found")])
    assert brevane.reboots() == []
    assert listener.stop() == [(1, 12)]


def test_missing_bios_version_ends_with_11(brevane, listener):
    image = brevane.file("bios.rom")
    result = brevane.run(f"/NoPause /BiosRomFile {image}")
    assert result.exit_code == 11
    assert_log(brevane.log(), [("Error", "The /BiosVer is not specified in command line.")])
    assert brevane.reboots() == []
    assert listener.stop() == [(1, 11)]


def test_not_an_administrator_ends_with_8(brevane, listener):
    brevane.machine(admin=0)
    image = brevane.file("bios.rom")
    result = brevane.run(f"/NoPause /BiosRomFile {image} /BiosVer A06")
    bounded(result)
    assert result.exit_code == 8
    assert_log(brevane.log(), [("IsAdministratorUser", "NO")])
    assert brevane.reboots() == []
    assert listener.stop() == [(1, 8)]


def test_unreadable_identity_ends_with_4(brevane, listener):
    brevane.machine(smbios=False)
    image = brevane.file("bios.rom")
    result = brevane.run(f"/NoPause /BiosRomFile {image} /BiosVer A06 /ZeraID 0ABC /AMD")
    bounded(result)
    assert result.exit_code == 4
    # Without a table the WMI source is tried; the simulation fails it at connect
    # (WBEM_E_INVALID_NAMESPACE), and that reason follows the error text on its own line.
    assert_log(brevane.log(), [ADMIN, ("LoadDmiBodyFromWmi", "Starting..."),
                               ("GetSystemInfo", "Get System Information ERROR\nConnect to WMI ERR, hr=0x8004100E")])
    assert brevane.reboots() == []
    assert listener.stop() == [(1, 4)]


def test_other_machine_ends_with_14(brevane, listener):
    brevane.machine(zera_id=0x0ABD)
    image = brevane.file("bios.rom")
    result = brevane.run(f"/NoPause /BiosRomFile {image} /BiosVer A06 /ZeraID 0ABC 10ABC /AMD")
    bounded(result)
    assert result.exit_code == 14
    assert_log(brevane.log(), [
        ADMIN,
        ("GetSystemInfo", "OK, SystemManufacturer=[Zera Inc.], SystemProductName=[Zera 5500], SystemZeraID=[0ABD]"),
        ("Check Zera ID", "Current System = 0ABD, "),
        ("Check Zera ID", "    [0]New System = 0ABC"),
        ("Check Zera ID", "    [1]New System = 0ABC"),
    ])
    assert brevane.reboots() == []
    assert listener.stop() == [(1, 14)]


def test_missing_me_image_is_reported_before_missing_me_version(brevane, listener):
    image = brevane.file("bios.rom")
    result = brevane.run(f"/NoPause /BiosRomFile {image} /BiosVer A06 /ZeraID 0ABC")
    assert result.exit_code == 11
    assert_log(brevane.log(), [ADMIN, IDENTITY, ("Error", "The /MeRomFile is not specified in command line.")])
    assert brevane.reboots() == []
    assert listener.stop() == [(1, 11)]


def test_silent_refusal_of_an_equal_version_ends_with_2(brevane, listener):
    image = brevane.file("bios.rom")
    result = brevane.run(f"/NoPause /BiosRomFile {image} /BiosVer A05 /ZeraID 0ABC /AMD")
    bounded(result)
    assert result.exit_code == 2
    assert_log(brevane.log(), [ADMIN, IDENTITY])
    assert brevane.cmdlines("AFUWINx64") == []
    assert brevane.reboots() == []
    assert listener.stop() == [(1, 2)]


def test_forceit_without_bios_version_on_amd_flashes_and_restarts(brevane, listener):
    brevane.script("AFUWINx64", BIOS_OK)
    image = brevane.file("bios.rom")
    result = brevane.run(f"/NoPause /ForceIt /AMD /BiosRomFile {image} /ZeraID 0ABC")
    bounded(result)
    assert result.exit_code == 0
    # A 32-bit Brevane on 64-bit Windows uses the x64 tool; the ME tool never runs with /AMD.
    assert brevane.cmdlines("AFUWINx64") == [f'AFUWINx64.exe "{image}" /P /B /N']
    assert brevane.cmdlines("AFUWIN") == []
    assert brevane.cmdlines("FWUpdLcl64") == []
    assert brevane.reboots() == ["RebootWindows"]
    assert listener.stop() == [(1, 0)]
    assert_log(brevane.log(), [ADMIN, IDENTITY,
                               *flash_lines(brevane, image, "/P /B /N", f"Cur:A05, VerA:, VerX: [{NO_REFERENCE}]"),
                               RESTART])


def test_no_reboot_success_ends_with_0_and_no_restart(brevane, listener):
    brevane.script("AFUWINx64", BIOS_OK)
    image = brevane.file("bios.rom")
    result = brevane.run(f"/NoPause /NoReboot /AMD /BiosRomFile {image} /BiosVer A06 /ZeraID 0ABC /CA A05 /CX X03")
    bounded(result)
    assert result.exit_code == 0
    assert brevane.cmdlines("AFUWINx64") == [f'AFUWINx64.exe "{image}" /P /B']
    assert brevane.reboots() == []
    assert_log(brevane.log(), [ADMIN, IDENTITY, *flash_lines(brevane, image, "/P /B", "Cur:A05, VerA:A05, VerX:X03 []")])
    assert listener.stop() == [(1, 0)]


def test_flash_tool_missing_ends_with_1(brevane, listener):
    # A program of the tool's name on the search path is never the one started: tools are
    # started from Brevane's own folder only.
    brevane.remove_tool("AFUWINx64.exe")
    on_path = brevane.scratch.file("on-path")
    on_path.mkdir()
    shutil.copy2(builds.bin_dir(builds.UNDER_TEST.sim_preset) / "standins" / "AFUWINx64.exe", on_path / "AFUWINx64.exe")
    (on_path / "AFUWINx64.script").write_bytes(BIOS_OK.encode("cp1252"))
    image = brevane.file("bios.rom")
    path = brevane.scratch.winpath("on-path") + ";" + brevane.wine.expand("%PATH%")
    result = brevane.run(f"/NoPause /NoReboot /AMD /BiosRomFile {image} /BiosVer A06 /ZeraID 0ABC",
                         env={"PATH": path})
    bounded(result)
    assert result.exit_code == 1
    assert not (on_path / "AFUWINx64.cmdline").exists()
    assert_log(brevane.log(), [
        ADMIN, IDENTITY,
        *flash_lines(brevane, image, "/P /B /N", f"Cur:A05, VerA:, VerX: [{NO_REFERENCE}]", exit_code=False),
        ("FlashBios", "Result=[ERROR], ErrCode=[2]")])
    assert brevane.reboots() == []
    assert listener.stop() == [(1, 1)]


def me_run_lines(image: str, me_image: str, current_me: str, target_me: str, me_options: str | None,
                 bios_exit: int = 0, me_exit: int | None = 0):
    lines = [ADMIN, IDENTITY, ("GetMeVersion", "CommandLine=[FWUpdLcl64.exe -FWVER]"), exit_line("GetMeVersion", 0),
             *flash_lines(None, image, "/P /B /N", f"Cur:A05, VerA:, VerX: [{NO_REFERENCE}]", exit_code=bios_exit),
             ("CompareMeVersion", f'Cur:"{current_me}", New:"{target_me}"')]
    if me_options is not None:
        lines.append(("FlashME", f'CommandLine=[FWUpdLcl64.exe -f "{me_image}" {me_options}]'))
        lines.append(exit_line("FlashME", me_exit))
    return lines


def test_bios_error_with_successful_me_flash_ends_with_1_and_restarts(brevane, listener):
    brevane.script("AFUWINx64", BIOS_ERROR)
    brevane.script("FWUpdLcl64", me_script())
    image, me_image = brevane.file("bios.rom"), brevane.file("me.bin")
    result = brevane.run(f"/NoPause /BiosRomFile {image} /BiosVer A06 /ZeraID 0ABC /MeRomFile {me_image} "
                         f"/MeVer 11.8.50.3425")
    bounded(result)
    assert result.exit_code == 1
    assert brevane.cmdlines("FWUpdLcl64") == ["FWUpdLcl64.exe -FWVER", f'FWUpdLcl64.exe -f "{me_image}"  -generic']
    # A failed BIOS flash still restarts in silent mode unless /NoReboot.
    assert brevane.reboots() == ["RebootWindows"]
    assert_log(brevane.log(), [*me_run_lines(image, me_image, "11.8.40.3425", "11.8.50.3425", " -generic", bios_exit=1),
                               RESTART])
    assert listener.stop() == [(1, 1)]


def test_clean_bios_with_me_error_ends_with_31(brevane, listener):
    brevane.script("AFUWINx64", BIOS_OK)
    brevane.script("FWUpdLcl64", me_script(flash="Error 8716: Invalid usage"))
    image, me_image = brevane.file("bios.rom"), brevane.file("me.bin")
    result = brevane.run(f"/NoPause /NoReboot /BiosRomFile {image} /BiosVer A06 /ZeraID 0ABC /MeRomFile {me_image} "
                         f"/MeVer 11.8.50.3425")
    bounded(result)
    assert result.exit_code == 31
    assert_log(brevane.log(), me_run_lines(image, me_image, "11.8.40.3425", "11.8.50.3425", " -generic"))
    assert brevane.reboots() == []
    assert listener.stop() == [(1, 31)]


@pytest.mark.parametrize("meupd", [False, True])
def test_equal_me_version_flashes_only_with_meupd(brevane, listener, meupd):
    brevane.script("AFUWINx64", BIOS_OK)
    brevane.script("FWUpdLcl64", me_script(version="11.8.50.3425"))
    image, me_image = brevane.file("bios.rom"), brevane.file("me.bin")
    result = brevane.run(f"/NoPause /NoReboot /BiosRomFile {image} /BiosVer A06 /ZeraID 0ABC /MeRomFile {me_image} "
                         f"/MeVer 11.8.50.3425" + (" /MEUPD" if meupd else ""))
    bounded(result)
    assert result.exit_code == 0
    options = " -generic -allowsv " if meupd else None
    assert_log(brevane.log(), me_run_lines(image, me_image, "11.8.50.3425", "11.8.50.3425", options))
    expected = ["FWUpdLcl64.exe -FWVER"] + ([f'FWUpdLcl64.exe -f "{me_image}"  -generic -allowsv '] if meupd else [])
    assert brevane.cmdlines("FWUpdLcl64") == expected
    assert brevane.reboots() == []
    assert listener.stop() == [(1, 0)]


def test_winpe_failing_driver_load_ends_with_32(brevane, listener):
    brevane.machine(winpe=1)
    # The loader lingers, so that Brevane is the one to end it at the error (with STILL_ACTIVE).
    brevane.script("drvload", "line DrvLoad: Failed to load HECI.inf\nsleep 5000\nexit 1\n")
    image, me_image = brevane.file("bios.rom"), brevane.file("me.bin")
    result = brevane.run(f"/NoPause /BiosRomFile {image} /BiosVer A06 /ZeraID 0ABC /MeRomFile {me_image} "
                         f"/MeVer 11.8.50")
    bounded(result)
    assert result.exit_code == 32
    assert brevane.cmdlines("drvload") == ["drvload HECI.inf"]
    assert brevane.cmdlines("FWUpdLcl64") == [] and brevane.cmdlines("AFUWINx64") == []
    assert_log(brevane.log(), [ADMIN, IDENTITY, ("Load ME Driver on WinPE", "CommandLine=[drvload HECI.inf]"),
                               exit_line("Load ME Driver on WinPE", 259),
                               ("Load ME Driver on WinPE", "Result=[ME Driver load failed now, please check it]")])
    assert brevane.reboots() == []
    assert listener.stop() == [(1, 32)]


def test_winpe_missing_driver_loader_ends_with_33(brevane, listener):
    # The loader comes from the system directory only: one beside Brevane is never started.
    brevane.machine(winpe=1)
    brevane.remove_tool("drvload.exe")
    shutil.copy2(builds.bin_dir(builds.UNDER_TEST.sim_preset) / "standins" / "drvload.exe", brevane.scratch.file("drvload.exe"))
    image, me_image = brevane.file("bios.rom"), brevane.file("me.bin")
    result = brevane.run(f"/NoPause /BiosRomFile {image} /BiosVer A06 /ZeraID 0ABC /MeRomFile {me_image} "
                         f"/MeVer 11.8.50")
    bounded(result)
    assert result.exit_code == 33
    assert_log(brevane.log(), [ADMIN, IDENTITY, ("Load ME Driver on WinPE", "CommandLine=[drvload HECI.inf]"),
                               ("Load ME Driver on WinPE", "Result=[ERROR], ErrCode=[2]")])
    assert not brevane.scratch.file("drvload.cmdline").exists()
    assert brevane.reboots() == []
    assert listener.stop() == [(1, 33)]


def test_secure_capsule_replaces_the_image_in_the_flash_command(brevane, listener):
    brevane.script("AFUWINx64", BIOS_OK)
    brevane.settings("[settings]\nSecEn=1\nSecAVer=A03\nSecXVer=X05\nSecCapFlie=secure.cap\n")
    image = brevane.file("bios.rom")
    result = brevane.run(f"/NoPause /NoReboot /AMD /BiosRomFile {image} /BiosVer A06 /ZeraID 0ABC")
    bounded(result)
    assert result.exit_code == 0
    assert brevane.cmdlines("AFUWINx64") == ['AFUWINx64.exe "secure.cap" /P /B /N']
    log = brevane.log()
    assert b", $Secure flash, Change BIOS file to secure file[secure.cap]\r\n" in log
    assert [(tag, message) for _, tag, message in log_entries(log)][-2:] == [
        (b"FlashBios", b'CommandLine=[AFUWINx64.exe "secure.cap" /P /B /N]'), (b"FlashBios", b"ExitCode=[0x00000000]")]
    assert brevane.reboots() == []
    assert listener.stop() == [(1, 0)]


def test_winpe_success_loads_the_driver_and_restarts_through_winpe(brevane, listener):
    brevane.machine(winpe=1)
    brevane.script("drvload", "line DrvLoad: Successfully loaded HECI.inf.\nexit 0\n")
    brevane.script("AFUWINx64", BIOS_OK)
    brevane.script("FWUpdLcl64", me_script())
    image, me_image = brevane.file("bios.rom"), brevane.file("me.bin")
    result = brevane.run(f"/NoPause /BiosRomFile {image} /BiosVer A06 /ZeraID 0ABC /MeRomFile {me_image} "
                         f"/MeVer 11.8.50.3425")
    bounded(result)
    assert result.exit_code == 0
    assert brevane.cmdlines("drvload") == ["drvload HECI.inf"]
    assert brevane.cmdlines("FWUpdLcl64") == ["FWUpdLcl64.exe -FWVER", f'FWUpdLcl64.exe -f "{me_image}"  -generic']
    assert brevane.reboots() == ["RebootWinPE"]
    assert_log(brevane.log(), [ADMIN, IDENTITY, ("Load ME Driver on WinPE", "CommandLine=[drvload HECI.inf]"),
                               exit_line("Load ME Driver on WinPE", 0),
                               *me_run_lines(image, me_image, "11.8.40.3425", "11.8.50.3425", " -generic")[2:],
                               ("RebootWinPE", "Load NtShutdownSystem from NTDLL.DLL"),
                               ("RebootWinPE", "call NtShutdownSystem function")])
    assert listener.stop() == [(1, 0)]


def test_me_not_available_before_the_flash_ends_with_32(brevane, listener):
    brevane.script("FWUpdLcl64", "[when -FWVER]\nline Error 8193: Cannot locate ME device driver\nexit 1\n")
    image, me_image = brevane.file("bios.rom"), brevane.file("me.bin")
    result = brevane.run(f"/NoPause /BiosRomFile {image} /BiosVer A06 /ZeraID 0ABC /MeRomFile {me_image} "
                         f"/MeVer 11.8.50")
    bounded(result)
    assert result.exit_code == 32
    assert brevane.cmdlines("FWUpdLcl64") == ["FWUpdLcl64.exe -FWVER"]
    assert brevane.cmdlines("AFUWINx64") == []  # the BIOS stays untouched
    assert_log(brevane.log(), [ADMIN, IDENTITY, ("GetMeVersion", "CommandLine=[FWUpdLcl64.exe -FWVER]"),
                               exit_line("GetMeVersion", 1),
                               ("CheckMeFunction", "Result=[ME is not available now, please check it]")])
    assert brevane.reboots() == []
    assert listener.stop() == [(1, 32)]
