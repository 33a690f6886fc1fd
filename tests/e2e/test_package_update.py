"""The update package a technician receives, built from the demo manifest behind the Extractor of
the build under test (ZeraUpdate.exe behind Extractor.exe, ZeraUpdate64.exe behind
Extractor64.exe), updating a simulated Zera machine end to end: Extractor extracts and starts
the package's Brevane (Brevane.exe or Brevane64.exe), which flashes with the stand-ins of the
64-bit tools. Silent, interactive, in simulated Windows PE, and every exit code of Brevane
passed through Extractor."""
from __future__ import annotations

import re
import shutil
import subprocess
from pathlib import Path

import pytest

from brevane_setup import SYSTEM_DIR, write_machine_profile
from e2e_harness import artifacts, builds
from e2e_harness.logs import assert_log
from e2e_harness.uidriver import DIALOG_CLASS, poll
from extractor_packages import sfxpack

DEMO = builds.REPO_ROOT / "devtools" / "demo"
BUILD = builds.UNDER_TEST
PACKAGE_NAME = "ZeraUpdate.exe" if BUILD.bits == 32 else "ZeraUpdate64.exe"
RUN_SECONDS = 120
DEMO_LOG = r"C:\brevane-demo\logs\Brevane.log"

IDENTITY = ("GetSystemInfo", "OK, SystemManufacturer=[Zera Inc.], SystemProductName=[Zera Book 14], "
                             "SystemZeraID=[0ABC]")
# Fast scripts of the x64 tools where a case needs other output than the demo's.
BIOS_ERROR = "line banner\nline Error: Secure Flash Rom Verify fail.\nexit 1\n"
ME_ERROR = ("[when -FWVER]\nprint FW Version: 11.8.50.3425\\r\\n\nexit 0\n"
            "[when -f]\nprint Error 8707: Image file not valid\\r\\n\nexit 0\n")


@pytest.fixture(scope="session")
def stage() -> Path:
    """The demo's staged files (both Brevane builds, the stand-ins, the images), made once."""
    folder = builds.BUILD_ROOT / "e2e-stage"
    shutil.rmtree(folder, ignore_errors=True)
    done = subprocess.run(["bash", str(DEMO / "stage.sh"), str(folder)], capture_output=True, text=True,
                          timeout=300)
    if done.returncode != 0:
        pytest.fail(f"staging the demo package failed: {done.stderr}")
    return folder


class DemoPackage:
    """The demo manifest, with the test's log path, record paths and chosen scripts, packed
    behind the build's Extractor into the scratch directory; and the simulated machine."""

    def __init__(self, wine, scratch, stage: Path) -> None:
        self.wine, self.scratch, self.stage = wine, scratch, stage
        self.scripts: dict[str, str] = {}
        self.left_out: set[str] = set()
        self.command_edits: list[tuple[str, str]] = []
        self.machine()

    def machine(self, **answers) -> None:
        """The simulated machine: a Zera Book 14 with BIOS A05 unless `answers` say otherwise."""
        write_machine_profile(self.scratch, product="Zera Book 14", **answers)

    def record(self, tool: str) -> str:
        """The Windows path where the stand-in `tool` records its command lines."""
        return self.scratch.winpath(f"{tool}.cmdline")

    def script_text(self, tool: str) -> str:
        text = self.scripts.get(tool)
        if text is None:
            text = (DEMO / f"{tool}.script").read_text()
        return f"record {self.record(tool)}\n{text}"

    def build(self) -> Path:
        manifest = (DEMO / "demo.manifest").read_text()
        assert DEMO_LOG in manifest
        manifest = manifest.replace(DEMO_LOG, self.scratch.winpath("Brevane.log"))
        for old, new in self.command_edits:
            assert old in manifest
            manifest = manifest.replace(old, new)
        sources = self.scratch.file("sources")
        sources.mkdir(exist_ok=True)
        blocks = manifest.split("[file]")
        kept = [blocks[0]]
        for block in blocks[1:]:
            source = re.search(r"^source = (.*)$", block, re.M).group(1).strip()
            name = source.split("/")[-1]
            if name in self.left_out:
                continue
            if name.endswith(".script"):
                path = sources / name
                path.write_text(self.script_text(name[:-len(".script")]))
            elif source.startswith("stage/"):
                path = self.stage / name
            else:
                path = DEMO / source
            kept.append(block.replace(f"source = {source}", f"source = {path}", 1))
        written = self.scratch.file("package.manifest")
        written.write_text("[file]".join(kept))
        output = self.scratch.file(PACKAGE_NAME)
        extractor = builds.program(BUILD.preset, BUILD.extractor)
        done = subprocess.run([*sfxpack(), "build", str(extractor), str(written), str(output)], capture_output=True,
                              text=True, timeout=120)
        assert done.returncode == 0, done.stderr
        return output

    def start(self, *arguments: str, timeout: float = RUN_SECONDS):
        package = self.build()
        env = {"BREVANE_SIM_PROFILE": self.scratch.winpath("profile.ini")}
        return self.wine.start([package, *arguments], cwd=self.scratch.path, env=env, timeout=timeout)

    def run(self, *arguments: str):
        return self.start(*arguments).wait()

    def cmdlines(self, tool: str) -> list[str]:
        path = self.scratch.file(f"{tool}.cmdline")
        return path.read_text("cp1252").splitlines() if path.is_file() else []

    def reboots(self) -> list[str]:
        path = self.scratch.file("reboot.log")
        return path.read_text("cp1252").split() if path.is_file() else []

    def log(self) -> Path:
        return self.scratch.file("Brevane.log")


@pytest.fixture
def package(wine, scratch, stage) -> DemoPackage:
    return DemoPackage(wine, scratch, stage)


@pytest.fixture
def system_drvload(package):
    """A driver-loader stand-in where Windows PE keeps drvload.exe: the system directory, which
    the simulated machine places in the scratch directory."""
    system32 = package.scratch.file(SYSTEM_DIR)
    system32.mkdir(exist_ok=True)
    shutil.copy2(builds.bin_dir(BUILD.sim_preset) / "standins" / "drvload.exe", system32 / "drvload.exe")

    def write_script(text: str) -> None:
        (system32 / "drvload.script").write_text(f"record {package.record('drvload')}\n{text}")

    write_script("line DrvLoad: Successfully loaded HECI.inf.\nexit 0\n")
    return write_script


def test_silent_update_flashes_with_the_x64_tools_and_restarts(package, listener):
    result = package.run("/NoPause")

    assert result.exit_code == 0
    assert package.cmdlines("AFUWINx64") == ['AFUWINx64.exe "secure.rom" /P /B']
    assert package.cmdlines("FWUpdLcl64") == ["FWUpdLcl64.exe -FWVER", 'FWUpdLcl64.exe -f "me.bin"  -generic']
    assert package.cmdlines("AFUWIN") == [] and package.cmdlines("FWUpdLcl") == []
    # The stored command with Extractor's own argument where it names %SfxCmdLine%.
    command = (f"/BiosRomFile image.rom /BiosVer A06 /MeRomFile me.bin /MeVer 11.8.60.3561 /ZeraID 0ABC 0ABD "
               f"/CA A03 /CX X03 /LogFile {package.scratch.winpath('Brevane.log')} /NoPause")
    assert_log(package.log(), [
        ("Brevane_Start", f"Brevane v1.0.0.0, Command Line=[{command}]"),
        ("IsAdministratorUser", "YES"), IDENTITY,
        ("GetMeVersion", "CommandLine=[FWUpdLcl64.exe -FWVER]"), ("GetMeVersion", "ExitCode=[0x00000000]"),
        ("BitLocker", "Not available on this system (ConnectServer, hr=0x8004100E), going on"),
        ("FlashBios", "Check compatible : Cur:A05, VerA:A03, VerX:X03 []"),
        ("Secure flash Info", "CurVer:A05, VerA:A03, VerX:X03"),
        ("Info", "A Ver cmp => Secure:3, Cur:5"),
        ("Secure flash Info", "Compare result:0 [Error:]"),
        ("Secure flash", "Change BIOS file to secure file[secure.rom]"),
        ("FlashBios", 'CommandLine=[AFUWINx64.exe "secure.rom" /P /B]'), ("FlashBios", "ExitCode=[0x00000000]"),
        ("CompareMeVersion", 'Cur:"11.8.50.3425", New:"11.8.60.3561"'),
        ("FlashME", 'CommandLine=[FWUpdLcl64.exe -f "me.bin"  -generic]'), ("FlashME", "ExitCode=[0x00000000]"),
        ("RebootWindows", "Initiate ExitWindowsEx()..."),
    ])
    assert package.reboots() == ["RebootWindows"]
    assert listener.stop() == [(1, 0)]


def test_interactive_update_is_driven_through_the_dialog(package, ui, listener, wine_env):
    started = package.start("/NoReboot")
    dialog = ui.wait_window("Update BIOS", DIALOG_CLASS, timeout=60)
    assert ui.text(dialog, 1003) == "A05" and ui.text(dialog, 1004) == "A06"
    ui.click(dialog, 1000)
    ui.wait_text(dialog, 1006, "Updating BIOS. Please DO NOT POWER OFF!", timeout=30)
    assert not ui.is_enabled(dialog, 1000) and not ui.is_enabled(dialog, 1001)
    # The picture once the flash tool's output has reached the output view.
    poll(lambda: "Reading flash" in ui.text(dialog, 1002), timeout=60)
    artifacts.screenshot(f"package-{BUILD.id}-dialog-during-update", wine_env)
    box, content = ui.message_box("Update BIOS", timeout=90, owner=dialog)
    assert content.text == "Update successful!\nIt will take effect after reboot!"
    ui.answer(box, "OK")
    result = started.wait()
    assert result.exit_code == 0
    assert package.cmdlines("AFUWINx64") == ['AFUWINx64.exe "secure.rom" /P /B']
    assert package.reboots() == []
    assert listener.stop() == [(1, 0)]


def test_quitting_the_dialog_passes_13_through(package, ui, listener):
    started = package.start()
    dialog = ui.wait_window("Update BIOS", DIALOG_CLASS, timeout=60)
    ui.click(dialog, 1001)
    result = started.wait()
    assert result.exit_code == 13
    assert package.cmdlines("FWUpdLcl64") == [] and package.cmdlines("AFUWINx64") == []
    assert listener.stop() == [(1, 13)]


def test_windows_pe_loads_the_driver_with_the_system_loader_and_restarts_through_winpe(package, system_drvload,
                                                                                        listener):
    package.machine(winpe=1)
    result = package.run("/NoPause")

    assert result.exit_code == 0
    assert package.cmdlines("drvload") == ["drvload HECI.inf"]
    assert package.cmdlines("FWUpdLcl64") == ["FWUpdLcl64.exe -FWVER", 'FWUpdLcl64.exe -f "me.bin"  -generic']
    assert package.cmdlines("AFUWINx64") == ['AFUWINx64.exe "secure.rom" /P /B']
    assert package.reboots() == ["RebootWinPE"]
    log = package.log().read_bytes()
    assert b", $Load ME Driver on WinPE, CommandLine=[drvload HECI.inf]\r\n" in log
    assert log.endswith(b", $RebootWinPE, call NtShutdownSystem function\r\n")
    assert listener.stop() == [(1, 0)]


def winpe_failing_loader(package, loader):
    package.machine(winpe=1)
    loader("line DrvLoad: Failed to load HECI.inf\nexit 1\n")


@pytest.mark.parametrize("case, code", [
    ("same BIOS version", 2),
    ("no identity", 4),
    ("not an administrator", 8),
    ("no processor binding", 9),
    ("no BIOS version in the command", 11),
    ("no BIOS image", 12),
    ("other machine", 14),
    ("BIOS flash error", 1),
    ("ME flash error", 31),
    ("Windows PE driver load fails", 32),
    ("Windows PE without a driver loader", 33),
])
def test_every_exit_code_of_brevane_passes_through_the_package(package, request, listener, case, code):
    arguments = ["/NoPause", "/NoReboot"]
    if case == "same BIOS version":
        package.machine(bios="A06")
    elif case == "no identity":
        package.machine(smbios=False)
    elif case == "not an administrator":
        package.machine(admin=0)
    elif case == "no processor binding":
        package.machine(affinity=0)
    elif case == "no BIOS version in the command":
        package.command_edits.append((" /BiosVer A06 ", " "))
    elif case == "no BIOS image":
        package.left_out.add("image.rom")
    elif case == "other machine":
        package.machine(zera_id=0x1234)
    elif case == "BIOS flash error":
        package.scripts["AFUWINx64"] = BIOS_ERROR
    elif case == "ME flash error":
        package.scripts["FWUpdLcl64"] = ME_ERROR
    elif case == "Windows PE driver load fails":
        winpe_failing_loader(package, request.getfixturevalue("system_drvload"))
    elif case == "Windows PE without a driver loader":
        package.machine(winpe=1)

    result = package.run(*arguments)

    assert result.exit_code == code
    assert listener.stop() == [(1, code)]
    assert package.reboots() == []
    flashed = package.cmdlines("AFUWINx64") != []
    assert flashed == (code in (1, 31))
