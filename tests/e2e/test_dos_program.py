"""The DOS program in the Extractor's header (Extractor.exe or Extractor64.exe, the build under test): the PE stays whole around it, and started in
DOSBox it reads the package behind its own file, extracts the DOS entries, refuses broken
packages and unsafe names, and removes what it extracted."""
from __future__ import annotations

import re
import shutil
import struct
import subprocess
import sys
from pathlib import Path

import pytest

from e2e_harness import builds, dosbox
from extractor_packages import Entry, Package, build_package


def dosstub():
    """devtools/dosstub/dosstub.py as a module."""
    folder = str(builds.REPO_ROOT / "devtools" / "dosstub")
    if folder not in sys.path:
        sys.path.insert(0, folder)
    import dosstub as module
    return module


def dos_image() -> bytes:
    path = builds.BUILD_ROOT / builds.UNDER_TEST.preset / "dos" / "extrdos.bin"
    if not path.is_file():
        pytest.skip(f"the DOS program is not built (run: devtools/build.sh {builds.UNDER_TEST.preset})")
    return path.read_bytes()


def sections(stub, data: bytes) -> list[tuple[bytes, int, bytes]]:
    """(name, RVA, raw bytes) of every section."""
    layout = stub.PeLayout(data)
    result = []
    for at, rva, _, raw_at, raw_size in layout.sections(data):
        result.append((data[at:at + 8], rva, data[raw_at:raw_at + raw_size] if raw_at else b""))
    return result


def test_extractor_exe_carries_the_dos_program_and_stays_a_valid_pe():
    stub = dosstub()
    image = dos_image()
    data = builds.program(builds.UNDER_TEST.preset, builds.UNDER_TEST.extractor).read_bytes()
    layout = stub.PeLayout(data)
    magic, last, pages, relocations, header, minimum, maximum, ss, sp, _, ip, cs = struct.unpack_from("<2s11H", data)
    assert (magic, relocations, ss, sp, ip, cs) == (b"MZ", 0, 0xFFF0, 0xFFFE, 0x100, 0xFFF0)
    assert header * 16 == layout.size_of_headers
    assert (pages - 1) * 512 + (last or 512) == layout.size_of_headers + len(image)
    assert minimum == maximum == 0x1000 - 0x10 - (len(image) + 15) // 16
    assert data[layout.size_of_headers:layout.size_of_headers + len(image)] == image
    assert struct.unpack_from("<I", data, layout.checksum_at)[0] == stub.pe_checksum(data, layout.checksum_at)
    # Every section's raw data lies behind the DOS program, in order, inside the file.
    end = layout.size_of_headers + len(image)
    for _, _, _, raw_at, raw_size in layout.sections(data):
        if raw_at:
            assert raw_at >= end and raw_at % layout.file_alignment == 0
            end = raw_at + raw_size
    assert end <= len(data)
    objdump = subprocess.run([builds.UNDER_TEST.objdump, "-h", str(builds.program(builds.UNDER_TEST.preset, builds.UNDER_TEST.extractor))],
                             capture_output=True, text=True, timeout=60)
    assert objdump.returncode == 0 and ".text" in objdump.stdout


def test_insertion_moves_every_file_offset_and_the_program_still_runs(tmp_path, wine):
    stub = dosstub()
    image = dos_image()
    original = builds.program(builds.UNDER_TEST.preset, "sfxpack.exe")  # linked like Extractor.exe, with debug data
    before = original.read_bytes()
    copy = tmp_path / "sfxpack.exe"
    copy.write_bytes(stub.insert(image, before))
    after = copy.read_bytes()

    assert sections(stub, after) == sections(stub, before)  # same names, RVAs and bytes
    old, new = stub.PeLayout(before), stub.PeLayout(after)
    shift = len(after) - len(before)
    assert shift % old.file_alignment == 0 and shift >= len(image)
    symbols_old = struct.unpack_from("<I", before, old.symbols_at)[0]
    symbols_new = struct.unpack_from("<I", after, new.symbols_at)[0]
    if symbols_old:
        assert symbols_new == symbols_old + shift
        assert after[symbols_new:symbols_new + 64] == before[symbols_old:symbols_old + 64]
    # Everything behind the headers moved unchanged except the header fields.
    assert after[new.size_of_headers + shift:] == before[old.size_of_headers:]
    assert after[0x40:old.size_of_headers] != b"" and after[new.pe:new.pe + 4] == b"PE\0\0"

    usage = wine.run_console([str(original)], timeout=60)
    assert wine.run_console([str(copy)], timeout=60) == usage
    assert usage[0] == 2  # sfxpack's usage error: the program really ran

    with pytest.raises(stub.Refused, match="already carries"):
        stub.insert(image, after)


def test_a_signed_program_is_refused_and_the_stubbed_one_signs(tmp_path):
    stub = dosstub()
    if not shutil.which("osslsigncode") or not shutil.which("openssl"):
        pytest.skip("osslsigncode or openssl missing (run: devtools/setup.sh)")
    key, cert = tmp_path / "key.pem", tmp_path / "cert.pem"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=Test", "-days", "2",
                    "-keyout", str(key), "-out", str(cert)], check=True, capture_output=True, timeout=120)

    def sign(program: Path, signed: Path) -> None:
        subprocess.run(["osslsigncode", "sign", "-certs", str(cert), "-key", str(key), "-in", str(program),
                        "-out", str(signed)], check=True, capture_output=True, timeout=120)

    signed = tmp_path / "signed.exe"
    sign(builds.program(builds.UNDER_TEST.preset, builds.UNDER_TEST.extractor), signed)
    verify = subprocess.run(["osslsigncode", "verify", "-CAfile", str(cert), "-in", str(signed)],
                            capture_output=True, text=True, timeout=120)
    assert "Signature verification: ok" in verify.stdout, verify.stdout + verify.stderr
    other = tmp_path / "other.exe"
    sign(builds.program(builds.UNDER_TEST.preset, "sfxpack.exe"), other)
    with pytest.raises(stub.Refused, match="signed already"):
        stub.insert(dos_image(), other.read_bytes())


def dos_package(tmp_path: Path, entries: list[Entry], dos: str = "", preset: str = builds.UNDER_TEST.preset) -> Path:
    folder = tmp_path / "dos"
    folder.mkdir()
    build_package(Package(flags=0x101, win32="Brevane.exe", entries=entries, dos=dos), tmp_path / "work",
                  folder / "ZERAPKG.EXE", preset=preset)
    (folder / "TEMP").mkdir()
    return folder


def simulated_zera(folder: Path, manufacturer: str = "Zera Inc.", reboot_log: bool = False) -> None:
    """A Zera Book 14 with BIOS A05 and system ID 0ABC for the simulation build's DOS program:
    C:\\SIM\\TABLE.BIN and the profile naming it (and the restart record, when asked)."""
    (folder / "SIM").mkdir()
    subprocess.run([sys.executable, str(builds.REPO_ROOT / "devtools" / "smbiosgen" / "smbiosgen.py"), "table",
                    "--bios-version", "A05", "--manufacturer", manufacturer, "--product", "Zera Book 14",
                    "--zera-id", "0ABC", str(folder / "SIM" / "TABLE.BIN")], check=True, timeout=60)
    profile = b"[platform]\r\nsmbios = C:\\SIM\\TABLE.BIN\r\n"
    if reboot_log:
        profile += b"reboot_log = C:\\SIM\\REBOOT.LOG\r\n"
    (folder / "SIM" / "PROFILE.INI").write_bytes(profile)


def sample(size: int, seed: int) -> bytes:
    words = [b"flash ", b"image ", b"BIOS ", b"Zera\r\n", bytes(range(seed % 7, 256, 7))]
    out = bytearray()
    n = seed
    while len(out) < size:
        n = (n * 1103515245 + 12345) & 0x7FFFFFFF
        out += words[n % 5]
    return bytes(out[:size])


def test_extracts_the_dos_entries_runs_the_checks_and_removes_them(tmp_path):
    entries = [Entry("Brevane.exe", "Win32", b"windows only"), Entry("AFUDOS.EXE", "DOS", sample(70000, 1)),
               Entry("IMAGE.ROM", "all", sample(300000, 2)), Entry("A windows name.txt", "Win32", b"x"),
               Entry("EMPTY.TXT", "DOS", b"")]
    folder = dos_package(tmp_path, entries, dos="/BiosRomFile IMAGE.ROM /BiosVer A06 /AMD")
    # The program's own argument follows the package's DOS command.
    run = dosbox.run(folder, "ZERAPKG.EXE /NoPause", env={"TEMP": "C:\\TEMP"})
    # DOSBox has no SMBIOS table: the production program stops where Brevane stops without one.
    assert run.exit_code == 4, run.output
    assert run.output.splitlines() == ["Extracting AFUDOS.EXE", "Extracting IMAGE.ROM", "Extracting EMPTY.TXT",
                                       "Extracted to C:\\TEMP\\ZERAPKG", "Get System Information ERROR",
                                       "SMBIOS entry point not found"]
    assert list((folder / "TEMP").iterdir()) == []
    assert log_lines(folder / "BREVANE.LOG") == [
        ("GetSystemInfo", "Get System Information ERROR"), ("SMBIOS entry point not found", None)]


LOG_LINE = re.compile(r"^(\d{4})/(\d\d)/(\d\d), (\d\d):(\d\d):(\d\d), \$([^,]*), (.*)$")


def log_lines(path: Path) -> list[tuple[str, str]]:
    """(tag, message) of each line; every line CR LF terminated and stamped."""
    data = path.read_bytes().decode("cp437")
    assert data.endswith("\r\n")
    result = []
    for line in data[:-2].split("\r\n"):
        match = LOG_LINE.match(line)
        if match:
            result.append((match.group(7), match.group(8)))
        else:  # the continuation of a message that holds a line feed
            result.append((line, None))
    return result


@pytest.mark.parametrize("dos, arguments, code, tag, text", [
    ("", "/NoPause", 11, "Error", "The /BiosRomFile is not specified in command line."),
    ("/BiosRomFile MISSING.ROM /BiosVer A06", "/NoPause", 12, "Error",
     "The specified bios_rom_file (MISSING.ROM) is not found"),
    ("/BiosRomFile IMAGE.ROM /MeRomFile ME.BIN /AMD", "/NoPause", 11, "Error",
     "The /BiosVer is not specified in command line."),
])
def test_start_up_checks_refuse_with_brevanes_codes_and_log(tmp_path, dos, arguments, code, tag, text):
    folder = dos_package(tmp_path, [Entry("IMAGE.ROM", "DOS", b"image")], dos=dos)
    run = dosbox.run(folder, f"ZERAPKG.EXE {arguments}", env={"TEMP": "C:\\TEMP"})
    assert run.exit_code == code, run.output
    assert run.output.splitlines()[-1] == text
    assert log_lines(folder / "BREVANE.LOG") == [(tag, text)]
    assert list((folder / "TEMP").iterdir()) == []


def test_log_file_option_moves_the_log_and_writes_the_start_line(tmp_path):
    dos = "/BiosRomFile MISSING.ROM /BiosVer A06 /LogFile C:\\LOGS\\DEEP\\UPD"
    folder = dos_package(tmp_path, [Entry("IMAGE.ROM", "DOS", b"image")], dos=dos)
    run = dosbox.run(folder, "ZERAPKG.EXE /NoPause", env={"TEMP": "C:\\TEMP"})
    assert run.exit_code == 12, run.output
    assert not (folder / "BREVANE.LOG").exists()
    assert log_lines(folder / "LOGS" / "DEEP" / "UPD.LOG") == [
        ("Brevane_Start", f"Brevane v1.0.0.0, Command Line=[{dos} /NoPause]"),
        ("Error", "The specified bios_rom_file (MISSING.ROM) is not found")]


@pytest.mark.parametrize("damage, code, text", [
    ("version", 20, "SfxHeaderVersion mismatched: 0101 != 0100"),
    ("stream", 22, "Decompress routine error,IMAGE.ROM,"),
    ("name", 22, "Unsafe filename for ExtractOne(),LONGNAME1.ROM"),
])
def test_refuses_a_broken_package_and_leaves_nothing(tmp_path, damage, code, text):
    entries = [Entry("AFUDOS.EXE", "DOS", sample(5000, 3)),
               Entry("LONGNAME1.ROM" if damage == "name" else "IMAGE.ROM", "DOS", sample(100000, 4))]
    folder = dos_package(tmp_path, entries)
    package = folder / "ZERAPKG.EXE"
    data = bytearray(package.read_bytes())
    if damage == "version":
        data[-14] = 1
    elif damage == "stream":
        toc = struct.unpack_from("<Q", data, len(data) - 22)[0]
        data[toc - 100] ^= 0x10  # inside the last stream, the image's
    package.write_bytes(bytes(data))
    # An unreadable package has no DOS command: only the program's own /NoPause ends the run
    # without a key press.
    run = dosbox.run(folder, "ZERAPKG.EXE /NoPause", env={"TEMP": "C:\\TEMP"})
    assert run.exit_code == code, run.output
    assert text in run.output
    if damage != "stream":
        assert "Extracting" not in run.output  # refused before anything was written
    assert list((folder / "TEMP").iterdir()) == []


NO_TOOL = [("FlashBios", "Check compatible : Cur:A05, VerA:, VerX: [Invalid BIOS version length(2) in command line: ]"),
           ("Secure flash Info", "Disable secure update"),
           ("FlashBios", 'CommandLine=[AFUDOS.exe "IMAGE.ROM" /P /B /N]'),
           ("FlashBios", "Result=[ERROR], ErrCode=[2]")]


@pytest.mark.parametrize("zera_ids, manufacturer, code, lines", [
    # Accepted: the flash starts, and with no flash tool in the package its start fails (1).
    ("0ABD 0ABC /AMD", "Zera Inc.", 1, NO_TOOL),
    ("0ABC /ForceIt", "Zera Inc.", 11, [("Error", "The /MeRomFile is not specified in command line.")]),
    # The image is not newer than A05: silent mode ends with 2, without a log line (as on Windows).
    ("0ABC /AMD /BiosVer A05", "Zera Inc.", 2, []),
    ("0ABC /AMD /BiosVer A04 /ForceIt", "Zera Inc.", 1, NO_TOOL),
    ("0ABD 1ABE", "Zera Inc.", 14, [
        ("Check Zera ID", "Current System = 0ABC, "), ("Check Zera ID", "    [0]New System = 0ABD"),
        ("Check Zera ID", "    [1]New System = 1ABE")]),
    ("0ABC", "Other Inc.", 14, []),
])
def test_simulated_machine_identity_is_checked_as_brevane_checks_it(tmp_path, zera_ids, manufacturer, code, lines):
    dos = f"/BiosRomFile IMAGE.ROM /NoPause /ZeraID {zera_ids} /BiosVer A06"
    folder = dos_package(tmp_path, [Entry("IMAGE.ROM", "DOS", b"image")], dos=dos, preset=builds.UNDER_TEST.sim_preset)
    simulated_zera(folder, manufacturer)
    run = dosbox.run(folder, "ZERAPKG.EXE", env={"TEMP": "C:\\TEMP", "BREVANE_SIM_PROFILE": "C:\\SIM\\PROFILE.INI"})
    assert run.exit_code == code, run.output
    assert log_lines(folder / "BREVANE.LOG") == [
        ("GetSystemInfo", f"OK, SystemManufacturer=[{manufacturer}], SystemProductName=[Zera Book 14], "
                          "SystemZeraID=[0ABC]")] + lines
    assert list((folder / "TEMP").iterdir()) == []
    if code in (1, 2):
        new = zera_ids.split("/BiosVer ")[1].split()[0] if "/BiosVer" in zera_ids else "A06"
        assert f"Current BIOS version: A05\nNew BIOS version:     {new}\n" in run.output
    if code == 2:
        assert run.output.splitlines()[-1] == "ERROR: The BIOS version is same or lower than current BIOS version."
    if code == 1:
        assert run.output.splitlines()[-1] == "Flash BIOS Error, GetLastError=2"


def test_production_program_holds_no_simulation():
    production = dos_image()
    assert b"BREVANE_SIM" not in production and b"[platform]" not in production.lower()
    assert b"reboot_log" not in production and b"RebootDOS" not in production
    assert b"BREVANE_SIM" in builds.program(builds.UNDER_TEST.sim_preset, builds.UNDER_TEST.extractor).read_bytes()


def test_dos_standins_record_print_and_exit_as_scripted(tmp_path):
    folder = tmp_path / "dos"
    folder.mkdir()
    for name in ("AFUDOS.EXE", "FWUPDLCL.EXE"):
        source = builds.BUILD_ROOT / builds.UNDER_TEST.preset / "bin" / "dosstandins" / name
        if not source.is_file():
            pytest.skip(f"{name} is not built (run: devtools/build.sh {builds.UNDER_TEST.preset})")
        shutil.copy(source, folder / name)
    (folder / "AFUDOS.SCR").write_bytes(b"exit=3\r\nReading flash ...... done\r\n2>Error: 0x1F\r\nEnd\r\n")
    run = dosbox.run(folder, 'AFUDOS.EXE "IMAGE.ROM" /P /B')
    assert run.exit_code == 3
    assert run.output == "Reading flash ...... done\nEnd\n"  # standard error is not redirected here
    assert (folder / "AFUDOS.CMD").read_bytes() == b'C:\\AFUDOS.EXE "IMAGE.ROM" /P /B\r\n'

    # Without a script: no output, code 0; the record goes where STANDIN_RECORD says.
    run = dosbox.run(folder, "FWUPDLCL.EXE -FWVER", env={"STANDIN_RECORD": "C:\\TOOLS.LOG"})
    assert (run.exit_code, run.output) == (0, "")
    assert (folder / "TOOLS.LOG").read_bytes() == b"C:\\FWUPDLCL.EXE -FWVER\r\n"


def standin(name: str) -> bytes:
    path = builds.BUILD_ROOT / builds.UNDER_TEST.preset / "bin" / "dosstandins" / name
    if not path.is_file():
        pytest.skip(f"{name} is not built (run: devtools/build.sh {builds.UNDER_TEST.preset})")
    return path.read_bytes()


BANNER = b"Flash tool\r\nCopyright\r\n\r\n"
BIOS_CLEAN = BANNER + b"Reading flash ...... done\r\nVerifying NCBlock ..... done\r\n"
# The error line on standard error: it is read as well, as on Windows.
BIOS_ERROR = BANNER + b"Erasing flash ...... done\r\n2>Error: 0x1F Secure Flash Rom Verify Fail\r\n"
ME_CLEAN = b"FW Version: 11.8.50.3425\r\nFW Update is complete\r\n"
ME_ERROR = b"FW Version: 11.8.50.3425\r\nError 8707: Image file not valid\r\n"
# The output file is read in pieces of 1,023 bytes: the first ends in the first two letters of
# the error word.
BIOS_SPLIT_ERROR = BANNER + b"x" * (1023 - 2 - len(BANNER)) + b"ERROR: SECURE FLASH ROM VERIFY FAIL.\r\n"
SECURE = b"[settings]\r\nSecEn=1\r\nSecAVer=A03\r\nSecXVer=X05\r\nSecCapFlie=SECURE.CAP\r\n"


@pytest.mark.parametrize("case, bios, me, settings, arguments, keys, code", [
    # A clean update with the secure capsule chosen from settings.ini; /NoPause restarts at once.
    ("clean", BIOS_CLEAN, ME_CLEAN, SECURE, "/NoPause", None, 0),
    # The BIOS tool prints an error line (its exit code 7 counts for nothing); /NoReboot.
    ("bios error", b"exit=7\r\n" + BIOS_ERROR, ME_CLEAN, None, "/NoPause /NoReboot", None, 1),
    # The ME flash reports an error; a person is asked and declines the restart.
    ("me error", BIOS_CLEAN, ME_ERROR, None, "", b"xn", 31),
    # A BIOS tool that prints nothing has not flashed anything we know of.
    ("bios silent", b"", ME_CLEAN, None, "/NoPause /NoReboot", None, 1),
    # An upper-case error text cut by the reads is found as in one read.
    ("bios split error", BIOS_SPLIT_ERROR, ME_CLEAN, None, "/NoPause /NoReboot", None, 1),
])
def test_updates_with_the_tools_and_reads_their_output(tmp_path, case, bios, me, settings, arguments, keys, code):
    entries = [Entry("AFUDOS.EXE", "DOS", standin("AFUDOS.EXE")), Entry("AFUDOS.SCR", "DOS", bios),
               Entry("FWUPDLCL.EXE", "DOS", standin("FWUPDLCL.EXE")), Entry("FWUPDLCL.SCR", "DOS", me),
               Entry("IMAGE.ROM", "DOS", b"image"), Entry("SECURE.CAP", "DOS", b"capsule"),
               Entry("ME.BIN", "DOS", b"me image")]
    if settings:
        entries.append(Entry("SETTINGS.INI", "DOS", settings))
    dos = "/BiosRomFile IMAGE.ROM /BiosVer A06 /MeRomFile ME.BIN /MeVer 11.8.60.1 /ZeraID 0ABC /CA A03 /CX X02"
    folder = dos_package(tmp_path, entries, dos=dos, preset=builds.UNDER_TEST.sim_preset)
    simulated_zera(folder, reboot_log=True)
    command = f"ZERAPKG.EXE {arguments}"
    if keys is not None:
        (folder / "KEYS.TXT").write_bytes(keys)
        command += " < C:\\KEYS.TXT"
    run = dosbox.run(folder, command, env={"TEMP": "C:\\TEMP", "BREVANE_SIM_PROFILE": "C:\\SIM\\PROFILE.INI",
                                           "STANDIN_RECORD": "C:\\TOOLS.LOG"})
    assert run.exit_code == code, run.output
    assert list((folder / "TEMP").iterdir()) == []  # every extracted file, the tool output, the folder

    image = "SECURE.CAP" if settings else "IMAGE.ROM"
    tool = "C:\\TEMP\\ZERAPKG\\"
    assert (folder / "TOOLS.LOG").read_text().upper().splitlines() == [
        f"{tool}FWUPDLCL.EXE -FWVER", f'{tool}AFUDOS.EXE "{image}" /P /B', f'{tool}FWUPDLCL.EXE -F "ME.BIN"  -GENERIC']
    secure = [("Secure flash Info", "Disable secure update")] if not settings else [
        ("Secure flash Info", "CurVer:A05, VerA:A03, VerX:X05"), ("Info", "A Ver cmp => Secure:3, Cur:5"),
        ("Secure flash Info", "Compare result:0 [Error:]"),
        ("Secure flash", "Change BIOS file to secure file[SECURE.CAP]")]
    assert log_lines(folder / "BREVANE.LOG") == [
        ("GetSystemInfo", "OK, SystemManufacturer=[Zera Inc.], SystemProductName=[Zera Book 14], SystemZeraID=[0ABC]"),
        ("GetMeVersion", "CommandLine=[FWUpdLcl.exe -FWVER]"), ("GetMeVersion", "ExitCode=[0x00000000]"),
        ("FlashBios", "Check compatible : Cur:A05, VerA:A03, VerX:X02 []")] + secure + [
        ("FlashBios", f'CommandLine=[AFUDOS.exe "{image}" /P /B]'),
        # The tool's exit code is logged and decides nothing.
        ("FlashBios", "ExitCode=[0x00000007]" if case == "bios error" else "ExitCode=[0x00000000]"),
        ("CompareMeVersion", 'Cur:"11.8.50.3425", New:"11.8.60.1"'),
        ("FlashME", 'CommandLine=[FWUpdLcl.exe -f "ME.BIN"  -generic]'), ("FlashME", "ExitCode=[0x00000000]")]

    # The tools' output is shown on the screen, then the verdict.
    output = run.output
    assert {"bios error": "Error: 0x1F", "bios silent": "AFUDOS.exe ended without printing anything",
            "bios split error": "ERROR: SECURE"}.get(case, "Verifying NCBlock ..... done") in output
    assert ("FW Update is complete" if code != 31 else "Error 8707") in output
    failed = {"bios error": "Error: 0x1F Secure Flash Rom Verify Fail",
              "bios silent": "AFUDOS.exe ended without printing anything",
              "bios split error": "Error message: ERROR: SECURE FLASH ROM VERIFY FAIL.",
              "me error": "Error 8707: Image file not valid\r\n"}.get(case)
    verdict = f'Update Failed!\n"{failed}"\nIt will take effect after reboot!' if code else \
        "Update successful!\nIt will take effect after reboot!"
    assert verdict in output, output
    assert ("Restart now? (Y/N) N" in output) == (keys is not None)
    restarted = (folder / "SIM" / "REBOOT.LOG").read_bytes() if (folder / "SIM" / "REBOOT.LOG").exists() else b""
    assert restarted == (b"RebootDOS\r\n" if case == "clean" else b"")


def test_no_pause_in_the_package_command_spares_the_key_press_of_a_refused_table(tmp_path):
    entries = [Entry("AFUDOS.EXE", "DOS", sample(5000, 3)), Entry("LONGNAME1.ROM", "DOS", sample(1000, 4))]
    folder = dos_package(tmp_path, entries, dos="/BiosRomFile LONGNAME1.ROM /NoPause")
    # No argument of its own: only the package's /NoPause can spare the key press, which nothing
    # here would give; the outer bound ends a run that waits for one.
    run = dosbox.run(folder, "ZERAPKG.EXE", env={"TEMP": "C:\\TEMP"}, timeout=20)
    assert run.exit_code == 22, run.output
    assert "Unsafe filename for ExtractOne(),LONGNAME1.ROM" in run.output
    assert "Press any key" not in run.output


PADDING = b"[padding]\r\n" + b"".join(b"key%03d=%s\r\n" % (i, b"v" * 40) for i in range(60))  # about 3 KiB


@pytest.mark.parametrize("case, settings, code", [
    # The keys behind the first 2 KiB still choose the capsule, as Windows reads the whole file.
    ("3 KiB", PADDING + SECURE, 0),
    # A file longer than the room it is read into is refused, never cut.
    ("too long", PADDING * 5 + SECURE, 1),
    # A capsule name that would break the tool's quoted argument is never handed to it.
    ("quote", SECURE.replace(b"SECURE.CAP", b'SECURE.CAP" /X'), 1),
])
def test_settings_ini_is_read_whole_and_its_capsule_name_quoted_safely(tmp_path, case, settings, code):
    entries = [Entry("AFUDOS.EXE", "DOS", standin("AFUDOS.EXE")), Entry("AFUDOS.SCR", "DOS", BIOS_CLEAN),
               Entry("IMAGE.ROM", "DOS", b"image"), Entry("SECURE.CAP", "DOS", b"capsule"),
               Entry("SETTINGS.INI", "DOS", settings)]
    dos = "/BiosRomFile IMAGE.ROM /BiosVer A06 /AMD /ZeraID 0ABC /CA A03 /CX X02 /NoPause /NoReboot"
    folder = dos_package(tmp_path, entries, dos=dos, preset=builds.UNDER_TEST.sim_preset)
    simulated_zera(folder)
    run = dosbox.run(folder, "ZERAPKG.EXE", env={"TEMP": "C:\\TEMP", "BREVANE_SIM_PROFILE": "C:\\SIM\\PROFILE.INI",
                                                 "STANDIN_RECORD": "C:\\TOOLS.LOG"}, timeout=30)
    assert run.exit_code == code, run.output
    assert list((folder / "TEMP").iterdir()) == []
    lines = log_lines(folder / "BREVANE.LOG")
    tools = (folder / "TOOLS.LOG").read_text().upper().splitlines() if (folder / "TOOLS.LOG").exists() else []
    if case == "3 KiB":
        assert ("Secure flash", "Change BIOS file to secure file[SECURE.CAP]") in lines
        assert tools == ['C:\\TEMP\\ZERAPKG\\AFUDOS.EXE "SECURE.CAP" /P /B']
    elif case == "too long":
        assert lines[-1] == ("Secure flash Info", "Result=[ERROR], settings.ini is longer than 12287 bytes")
        assert "settings.ini is longer than 12287 bytes: the BIOS was not flashed." in run.output
        assert tools == []
    else:
        assert lines[-2:] == [("FlashBios", 'CommandLine=[AFUDOS.exe "SECURE.CAP" /X" /P /B]'),
                              ("FlashBios", "Result=[ERROR], ErrCode=[123]")]
        assert "Flash BIOS Error, GetLastError=123" in run.output
        assert tools == []
