"""The simulation profile end to end: platform_probe.exe from a simulation build runs the
production platform routines under Wine while the profile presents the machine, and the
production builds are checked to carry none of the simulation.
"""
import os
import subprocess
import sys
from pathlib import Path

import pytest

from e2e_harness import builds

ROOT = Path(__file__).resolve().parents[2]
BUILD = builds.UNDER_TEST
SIM_PROBE = ROOT / "build" / BUILD.sim_preset / "bin" / "platform_probe.exe"
# Production images: the programs, and the Windows-side tests, which link every platform routine.
PRODUCTION = [ROOT / "build" / BUILD.preset / "bin" / BUILD.brevane, ROOT / "build" / BUILD.preset / "tests" / "windows_tests.exe"]
SIMULATION = [ROOT / "build" / BUILD.sim_preset / "bin" / BUILD.brevane, SIM_PROBE]
# A log tag of the platform services: an image without it does not link them at all.
PLATFORM_LINKED = b"IsAdministratorUser"
# Texts that only the simulation layer holds.
SIM_MARKERS = [b"BREVANE_SIM_PROFILE", b"wmi_smbios", b"reboot_log"]


sys.path.insert(0, str(ROOT / "devtools" / "smbiosgen"))
import smbiosgen  # noqa: E402  (the fixture writer of devtools/smbiosgen)


def winpath(path: Path) -> str:
    return "Z:" + str(path).replace("/", "\\")


def probe(folder: Path, *args: str, profile: bool = True, exe: Path = SIM_PROBE) -> dict:
    """Runs platform_probe in `folder` with its profile.ini; answers its key=value lines."""
    if not exe.is_file():
        pytest.skip(f"{exe} is not built")
    env = dict(os.environ)
    if profile:
        env["BREVANE_SIM_PROFILE"] = winpath(folder / "profile.ini")
    else:
        env.pop("BREVANE_SIM_PROFILE", None)
    done = subprocess.run([str(ROOT / "devtools" / "wine-run.sh"), str(exe), *args], cwd=folder, env=env,
                          capture_output=True, timeout=120)
    assert done.returncode == 0, done.stderr.decode(errors="replace")
    answers = {}
    for line in done.stdout.decode("latin-1").splitlines():
        key, _, value = line.rstrip("\r").partition("=")
        answers[key] = value
    return answers


def log_lines(folder: Path) -> list:
    """Brevane.log as "$tag, message" lines, time stamps cut."""
    path = folder / "Brevane.log"
    if not path.is_file():
        return []
    return [line.split(", ", 2)[2] for line in path.read_text("latin-1").splitlines() if line]


def zera(folder: Path, zera_id=0x0ABC, bios="A05", manufacturer="Zera Inc.", **keys) -> Path:
    table = smbiosgen.zera_machine(bios, manufacturer, "Zera Book 14", zera_id)
    return Path(smbiosgen.write_profile(str(folder), table, **keys))


@pytest.mark.parametrize("exe", [SIM_PROBE], ids=[BUILD.preset])
def test_identity_from_the_firmware_table(tmp_path, exe):
    zera(tmp_path, zera_id=0x0ABC, bios="X12")
    answers = probe(tmp_path, "sysinfo", exe=exe)
    assert answers == {"result": "1", "message": "OK", "manufacturer": "Zera Inc.", "product": "Zera Book 14",
                       "bios": "X12", "zeraid": "0ABC"}
    assert log_lines(tmp_path) == []  # WMI was never asked


def test_identity_from_wmi_when_the_firmware_table_service_is_missing(tmp_path):
    zera(tmp_path, zera_id=0x1234, wmi=True, firmware=False)
    answers = probe(tmp_path, "sysinfo")
    assert (answers["result"], answers["zeraid"], answers["bios"]) == ("1", "1234", "A05")
    assert answers["message"] == "No data from WMI"  # what a successful WMI run leaves behind
    size = len(smbiosgen.zera_machine("A05", "Zera Inc.", "Zera Book 14", 0x1234))
    assert log_lines(tmp_path) == ["$LoadDmiBodyFromWmi, Starting...",
                                   f"$LoadDmiBodyFromWmi, Get one SMBIOS data, Size={size}",
                                   "$LoadDmiBodyFromWmi, No query data"]


def test_both_sources_failing_reports_the_wmi_message(tmp_path):
    zera(tmp_path, firmware=False)
    answers = probe(tmp_path, "sysinfo")
    assert (answers["result"], answers["message"]) == ("0", "Connect to WMI ERR, hr=0x8004100E")
    assert (answers["manufacturer"], answers["zeraid"]) == ("", "0000")


def test_validation_against_the_simulated_machine(tmp_path):
    zera(tmp_path, zera_id=0x0ABD)
    assert probe(tmp_path, "validate", "0ABD")["result"] == "0"
    answers = probe(tmp_path, "validate", "0ABC", "10ABC")
    assert answers == {"result": "14", "message": "The system is different between current system and ROM file."}
    assert log_lines(tmp_path) == ["$Check Zera ID, Current System = 0ABD, ",
                                   "$Check Zera ID,     [0]New System = 0ABC",
                                   "$Check Zera ID,     [1]New System = 0ABC"]


def test_not_a_zera_machine(tmp_path):
    zera(tmp_path, manufacturer="ZERA INC.")
    assert probe(tmp_path, "validate", "0ABC") == {"result": "14",
                                                   "message": "The system to be updated is not a Zera system."}


@pytest.mark.parametrize("value", [0, 1])
def test_answers_replace_the_operating_system(tmp_path, value):
    zera(tmp_path, admin=value, winpe=value, affinity=value)
    assert probe(tmp_path, "admin")["result"] == str(value)
    assert probe(tmp_path, "winpe")["result"] == str(value)
    assert probe(tmp_path, "affinity")["result"] == str(value)
    assert log_lines(tmp_path) == ["$IsAdministratorUser, " + ("YES" if value else "NO")]


@pytest.mark.parametrize("exe", [SIM_PROBE], ids=[BUILD.preset])
@pytest.mark.parametrize("winpe, line, log", [
    (0, "RebootWindows", ["$RebootWindows, Initiate ExitWindowsEx()..."]),
    (1, "RebootWinPE", ["$RebootWinPE, Load NtShutdownSystem from NTDLL.DLL",
                        "$RebootWinPE, call NtShutdownSystem function"]),
])
def test_restart_is_recorded_instead_of_performed(tmp_path, winpe, line, log, exe):
    zera(tmp_path, winpe=winpe)
    answers = probe(tmp_path, "reboot", exe=exe)
    assert answers["result"] == "1"
    assert (tmp_path / "reboot.log").read_bytes() == (line + "\r\n").encode()
    assert log_lines(tmp_path) == log


def test_a_restart_that_cannot_be_recorded_fails_like_exit_windows(tmp_path):
    zera(tmp_path, winpe=0, reboot_log="missing\\folder\\reboot.log")
    answers = probe(tmp_path, "reboot")
    assert answers == {"result": "0", "message": "ExitWindowsEx() ERROR, LastError=3"}
    assert log_lines(tmp_path) == ["$RebootWindows, Initiate ExitWindowsEx()...",
                                   "$RebootWindows, ExitWindowsEx() ERROR, LastError=3"]


def test_without_a_profile_nothing_is_presented_and_nothing_restarts(tmp_path):
    answers = probe(tmp_path, "sysinfo", profile=False)
    assert (answers["result"], answers["message"]) == ("0", "Connect to WMI ERR, hr=0x8004100E")
    assert probe(tmp_path, "reboot", profile=False)["result"] == "1"  # dropped, not performed
    assert not (tmp_path / "reboot.log").exists()


def _image_id(path):
    return f"{path.parent.parent.name}-{path.stem}"


@pytest.mark.parametrize("exe", PRODUCTION, ids=_image_id)
def test_production_builds_carry_no_simulation(exe):
    if not exe.is_file():
        pytest.skip(f"{exe} is not built")
    image = exe.read_bytes()
    assert [m for m in SIM_MARKERS if m in image] == []


@pytest.mark.parametrize("exe", SIMULATION, ids=_image_id)
def test_simulation_builds_do_carry_it(exe):
    # The same search finds the markers where they belong, so the check above can fail.
    if not exe.is_file():
        pytest.skip(f"{exe} is not built")
    image = exe.read_bytes()
    if PLATFORM_LINKED not in image:
        pytest.skip(f"{exe.name} does not link the platform services")
    assert [m for m in SIM_MARKERS if m in image] == SIM_MARKERS
