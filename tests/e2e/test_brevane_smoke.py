"""Both production builds of Brevane start, refuse a run without a BIOS image in silent mode, log
it, broadcast the code and end by themselves; the 64-bit simulation build flashes with the x64
tool names."""
from __future__ import annotations

import pytest

from brevane_setup import SILENT_BOUND_SECONDS, BrevaneRun
from e2e_harness import builds
from e2e_harness.logs import assert_log


@pytest.mark.parametrize("preset,exe", [("win32", "Brevane.exe"), ("win64", "Brevane64.exe")])
def test_production_build_refuses_a_missing_image(wine, scratch, listener, preset, exe):
    program = scratch.copy_in(builds.program(preset, exe))
    result = wine.run(f'"{scratch.winpath(program.name)}" /NoPause', cwd=scratch.path, timeout=SILENT_BOUND_SECONDS)
    assert result.exit_code == 11
    assert result.seconds < SILENT_BOUND_SECONDS
    assert_log(scratch.file("Brevane.log"), [("Error", "The /BiosRomFile is not specified in command line.")])
    assert listener.stop() == [(1, 11)]


def test_64_bit_build_uses_the_x64_tools(wine, scratch, listener):
    brevane = BrevaneRun(wine, scratch, preset="win64-sim", exe="Brevane64.exe")
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
