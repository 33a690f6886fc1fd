"""The 32-bit images as shipped (build/win32), checked without running them: the kind of image,
what they import, what their manifests ask of Windows, that no simulation is in them, that
Extractor.exe carries the DOS program and that program runs in DOSBox, and that a package made
from Extractor.exe is a 32-bit package that signs and verifies. Where 32-bit code runs, the
end-to-end tests run these images as well; where it cannot, this is what is checked of them."""
from __future__ import annotations

import shutil
import subprocess
import sys
from pathlib import Path

import pytest

from e2e_harness import builds, dosbox, images
from extractor_packages import STORED_TIME, sfxpack

PRESET = "win32"
SHIPPED = {"Brevane.exe": "*", "Extractor.exe": "x86"}  # image -> architecture its manifest names
SIM_MARKERS = [b"BREVANE_SIM_PROFILE", b"wmi_smbios", b"reboot_log"]


def image(name: str) -> Path:
    return builds.program(PRESET, name)


@pytest.mark.parametrize("name", sorted(SHIPPED))
def test_shipped_image_is_a_32_bit_windows_program(name):
    assert images.pe_header(image(name)) == (images.MACHINE_I386, 0x10B, images.SUBSYSTEM_GUI)


@pytest.mark.parametrize("name", sorted(SHIPPED))
def test_shipped_image_imports_only_known_system_libraries(name):
    imported = images.imported_libraries(image(name))
    assert "kernel32.dll" in imported and imported <= images.KNOWN_LIBRARIES, imported


@pytest.mark.parametrize("name", sorted(SHIPPED))
def test_shipped_image_asks_for_administrator_rights_utf8_and_common_controls_6(name):
    facts = images.manifest_facts(images.manifest(image(name)))
    assert facts == {"architecture": SHIPPED[name], "level": "requireAdministrator", "uiAccess": "false",
                     "codePage": "UTF-8", "commonControls": "6.0.0.0",
                     "commonControlsArchitecture": SHIPPED[name]}


@pytest.mark.parametrize("name", sorted(SHIPPED))
def test_shipped_image_carries_no_simulation(name):
    data = image(name).read_bytes()
    assert [m for m in SIM_MARKERS if m in data] == []


def test_extractor_carries_the_dos_program_which_runs_in_dosbox(tmp_path):
    program = (builds.BUILD_ROOT / PRESET / "dos" / "extrdos.bin").read_bytes()
    data = image("Extractor.exe").read_bytes()
    sys.path.insert(0, str(builds.REPO_ROOT / "devtools" / "dosstub"))
    import dosstub
    layout = dosstub.PeLayout(data)
    # The DOS program right behind the PE headers, the MZ header loading it, the checksum fixed.
    assert data[layout.size_of_headers:layout.size_of_headers + len(program)] == program
    assert int.from_bytes(data[8:10], "little") * 16 == layout.size_of_headers
    assert int.from_bytes(data[layout.checksum_at:layout.checksum_at + 4], "little") == \
        dosstub.pe_checksum(data, layout.checksum_at)

    # A package behind this very image, started under DOS: its DOS program reads the package,
    # extracts the DOS entry and refuses the missing image as Brevane does.
    folder = tmp_path / "dos"
    folder.mkdir()
    (folder / "TEMP").mkdir()
    (tmp_path / "image.rom").write_bytes(b"image")
    manifest = tmp_path / "pkg.manifest"
    manifest.write_text("[package]\nflags = 0x101\nwin32 = Brevane.exe\n"
                        "dos = /BiosRomFile MISSING.ROM /BiosVer A06\n"
                        f"[file]\nsource = {tmp_path / 'image.rom'}\nname = IMAGE.ROM\nplatform = DOS\n"
                        f"modified = {STORED_TIME}\ncreated = {STORED_TIME}\n")
    subprocess.run([*sfxpack(), "build", str(image("Extractor.exe")), str(manifest), str(folder / "ZERAPKG.EXE")],
                   check=True, capture_output=True, timeout=120)
    run = dosbox.run(folder, "ZERAPKG.EXE /NoPause", env={"TEMP": "C:\\TEMP"})
    assert run.exit_code == 12, run.output
    assert run.output.splitlines() == ["Extracting IMAGE.ROM", "Extracted to C:\\TEMP\\ZERAPKG",
                                       "The specified bios_rom_file (MISSING.ROM) is not found"]
    assert list((folder / "TEMP").iterdir()) == []


def test_package_of_the_32_bit_image_signs_and_verifies(tmp_path):
    if not shutil.which("osslsigncode") or not shutil.which("openssl"):
        pytest.fail("osslsigncode or openssl missing (run: devtools/setup.sh)")
    key, cert, pfx, password = (tmp_path / n for n in ("key.pem", "cert.pem", "key.pfx", "pass.txt"))
    password.write_text("secret\n")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Test",
                    "-keyout", key, "-out", cert], check=True, capture_output=True, timeout=120)
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", pfx, "-passout",
                    "pass:secret"], check=True, capture_output=True, timeout=120)
    (tmp_path / "Brevane.exe").write_bytes(image("Brevane.exe").read_bytes())
    manifest = tmp_path / "pkg.manifest"
    manifest.write_text("[package]\nflags = 0x101\nwin32 = Brevane.exe /NoReboot %SfxCmdLine%\n"
                        f"[file]\nsource = {tmp_path / 'Brevane.exe'}\nplatform = Win32+WinPE\n"
                        f"modified = {STORED_TIME}\ncreated = {STORED_TIME}\n")
    package = tmp_path / "ZeraUpdate.exe"
    built = subprocess.run([*sfxpack(), "build", str(image("Extractor.exe")), str(manifest), str(package), "--sign",
                            str(pfx), "--password-file", str(password)], capture_output=True, text=True, timeout=120)
    assert built.returncode == 0, built.stderr
    assert "behind a 32-bit (x86) program; command: Brevane.exe /NoReboot %SfxCmdLine%" in built.stdout

    checked = subprocess.run(["osslsigncode", "verify", "-CAfile", str(cert), "-in", str(package)],
                             capture_output=True, text=True, timeout=120)
    assert "Signature verification: ok" in checked.stdout, checked.stdout + checked.stderr
    verified = subprocess.run([*sfxpack(), "verify", str(package)], capture_output=True, text=True, timeout=120)
    assert verified.returncode == 0, verified.stdout + verified.stderr
    assert "OK command for a 32-bit (x86) program: Brevane.exe /NoReboot %SfxCmdLine%\n" in verified.stdout
    listed = subprocess.run([*sfxpack(), "list", str(package)], capture_output=True, text=True, timeout=120)
    assert "Program: 32-bit (x86)\n" in listed.stdout
