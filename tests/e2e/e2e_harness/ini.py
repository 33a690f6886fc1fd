"""INI files for the programs under test: settings.ini beside Brevane, and the simulation
profile that a simulation build reads from BREVANE_SIM_PROFILE."""
from __future__ import annotations

from pathlib import Path
from typing import Mapping, Optional, Union

Value = Union[str, int, Path]


def ini_bytes(sections: Mapping[str, Mapping[str, Value]]) -> bytes:
    """Sections in the order given, "key=value" lines, CR LF line ends, code page 1252."""
    lines = []
    for section, entries in sections.items():
        lines.append(f"[{section}]")
        lines.extend(f"{key}={value}" for key, value in entries.items())
        lines.append("")
    return "\r\n".join(lines).encode("cp1252")


def write_ini(path: Path, sections: Mapping[str, Mapping[str, Value]]) -> Path:
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(ini_bytes(sections))
    return path


def write_sim_profile(path: Path, *, smbios: Optional[str] = None, wmi_smbios: Optional[str] = None,
                      admin: Optional[int] = None, winpe: Optional[int] = None, affinity: Optional[int] = None,
                      reboot_log: Optional[str] = None) -> Path:
    """A simulation profile's [platform] section; a key left None stays absent (its source then
    fails or keeps the build's default, as the simulation build defines). Paths are Windows
    paths as the program sees them."""
    keys = {"smbios": smbios, "wmi_smbios": wmi_smbios, "admin": admin, "winpe": winpe, "affinity": affinity,
            "reboot_log": reboot_log}
    return write_ini(path, {"platform": {k: v for k, v in keys.items() if v is not None}})
