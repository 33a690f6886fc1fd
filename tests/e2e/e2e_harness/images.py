"""What can be read from a Windows image without running it: its machine and subsystem, the
libraries it imports, its application manifest. Used by the end-to-end tests of the build under
test and by the static checks of the 32-bit images where 32-bit code cannot run."""
from __future__ import annotations

import re
import struct
import subprocess
import xml.etree.ElementTree as ET
from pathlib import Path

# Known DLLs, and common controls, which the manifest pins to the side-by-side store: nothing an
# elevated program loads may be found beside it.
KNOWN_LIBRARIES = {"kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "ole32.dll", "oleaut32.dll",
                   "comdlg32.dll", "msvcrt.dll", "advapi32.dll", "comctl32.dll"}

MACHINE_I386, MACHINE_AMD64 = 0x14C, 0x8664
SUBSYSTEM_GUI, SUBSYSTEM_CONSOLE = 2, 3


def pe_header(path: Path) -> tuple[int, int, int]:
    """(machine, optional-header magic, subsystem) of a PE image."""
    data = path.read_bytes()[:4096]
    assert data[:2] == b"MZ", f"{path} is no MZ image"
    at, = struct.unpack_from("<I", data, 0x3C)
    assert data[at:at + 4] == b"PE\0\0", f"{path} has no PE header"
    machine, = struct.unpack_from("<H", data, at + 4)
    optional = at + 24
    magic, = struct.unpack_from("<H", data, optional)
    subsystem, = struct.unpack_from("<H", data, optional + 68)  # the same offset in PE32 and PE32+
    return machine, magic, subsystem


def objdump_for(machine: int) -> str:
    return "i686-w64-mingw32-objdump" if machine == MACHINE_I386 else "x86_64-w64-mingw32-objdump"


def imported_libraries(path: Path) -> set[str]:
    """The names of the DLLs in the image's import table, in lower case."""
    machine, _, _ = pe_header(path)
    out = subprocess.run([objdump_for(machine), "-p", str(path)], check=True, capture_output=True,
                         text=True).stdout
    return {line.split(":", 1)[1].strip().lower() for line in out.splitlines() if "DLL Name:" in line}


ASM = "{urn:schemas-microsoft-com:asm.v1}"
ASM3 = "{urn:schemas-microsoft-com:asm.v3}"
SETTINGS_2019 = "{http://schemas.microsoft.com/SMI/2019/WindowsSettings}"


def manifest(path: Path) -> ET.Element:
    """The application manifest in the image's resources (stored as plain XML text)."""
    data = path.read_bytes()
    found = re.search(rb"<\?xml[^>]*\?>\s*<assembly.*?</assembly>", data, re.S)
    assert found, f"{path} carries no manifest"
    return ET.fromstring(found.group(0))


def manifest_facts(root: ET.Element) -> dict[str, str]:
    """What the programs' manifests promise: the architecture named in the identity, the
    execution level, the ANSI code page, the common-controls version and its architecture."""
    identity = root.find(f"{ASM}assemblyIdentity")
    level = root.find(f".//{ASM3}requestedExecutionLevel")
    code_page = root.find(f".//{SETTINGS_2019}activeCodePage")
    controls = [d for d in root.iter(f"{ASM}assemblyIdentity")
                if d.get("name") == "Microsoft.Windows.Common-Controls"]
    return {
        "architecture": identity.get("processorArchitecture", "") if identity is not None else "",
        "level": level.get("level", "") if level is not None else "",
        "uiAccess": level.get("uiAccess", "") if level is not None else "",
        "codePage": (code_page.text or "").strip() if code_page is not None else "",
        "commonControls": controls[0].get("version", "") if controls else "",
        "commonControlsArchitecture": controls[0].get("processorArchitecture", "") if controls else "",
    }
