"""The production build of Brevane starts, refuses a run without a BIOS image in silent mode, logs
it, broadcasts the code and ends by itself; the simulation build flashes with the x64 tool names
on 64-bit Windows (a 32-bit Brevane there sees WoW64)."""
from __future__ import annotations

import pytest

from brevane_setup import SILENT_BOUND_SECONDS, BrevaneRun
from e2e_harness import builds
from e2e_harness.logs import assert_log


@pytest.mark.parametrize("build", builds.under_test_param())
def test_production_build_refuses_a_missing_image(wine, scratch, listener, build):
    program = scratch.copy_in(builds.program(build.preset, build.brevane))
    result = wine.run(f'"{scratch.winpath(program.name)}" /NoPause', cwd=scratch.path, timeout=SILENT_BOUND_SECONDS)
    assert result.exit_code == 11
    assert result.seconds < SILENT_BOUND_SECONDS
    assert_log(scratch.file("Brevane.log"), [("Error", "The /BiosRomFile is not specified in command line.")])
    assert listener.stop() == [(1, 11)]


def test_on_64_bit_windows_the_x64_tools_are_used(wine, scratch, listener):
    brevane = BrevaneRun(wine, scratch)
    brevane.script("AFUWINx64", "line b1\nline b2\nline b3\nprint Verifying NCBlock ..... done\\r\\n\nexit 0\n")
    brevane.script("FWUpdLcl64", "[when -FWVER]\nprint FW Version: 11.8.50.3425\\r\\n\nexit 0\n")
    image, me_image = brevane.file("bios.rom"), brevane.file("me.bin")
    result = brevane.run(f"/NoPause /NoReboot /BiosRomFile {image} /BiosVer A06 /ZeraID 0ABC "
                         f"/MeRomFile {me_image} /MeVer 11.8.50.3425")
    assert result.exit_code == 0
    assert brevane.cmdlines("AFUWINx64") == [f'AFUWINx64.exe "{image}" /P /B /N']
    assert brevane.cmdlines("FWUpdLcl64") == ["FWUpdLcl64.exe -FWVER"]
    assert brevane.cmdlines("AFUWIN") == [] and brevane.cmdlines("FWUpdLcl") == []
    assert listener.stop() == [(1, 0)]
