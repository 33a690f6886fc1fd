#!/usr/bin/env python3
"""Writes SMBIOS structure tables for end-to-end fixtures and demos.

A table is a list of structures (formatted area and string set), written either in the firmware
table service's layout (8-byte header, then the table: the simulation profile's `smbios` key) or
bare (the `wmi_smbios` key). The `profile` command writes both tables and a simulation profile
for a Zera machine in one go. Run with --help for the options.
"""
import argparse
import os
import struct
import sys


def structure(stype, handle, formatted=b"", strings=(), length=None):
    """One structure: header, formatted area, string set (two NULs when there are no strings)."""
    length = 4 + len(formatted) if length is None else length
    data = struct.pack("<BBH", stype, length, handle) + bytes(formatted)
    if strings:
        data += b"".join(s.encode("latin-1") + b"\0" for s in strings)
    else:
        data += b"\0"
    return data + b"\0"


def bios_information(handle, version, version_number=2):
    """Type 0: vendor (string 1), BIOS Version at 05h (string 2 unless overridden), date."""
    formatted = bytes([1, version_number, 0x00, 0xE0, 3, 0x0F]) + bytes(8)
    return structure(0, handle, formatted, ["Zera Firmware", version, "06/04/2013"])


def system_information(handle, manufacturer, product):
    """Type 1: Manufacturer at 04h (string 1), Product Name at 05h (string 2)."""
    formatted = bytes([1, 2, 3, 4]) + bytes([0x5A]) * 16 + bytes([6])
    return structure(1, handle, formatted, [manufacturer, product, "1.0", "SN0001"])


def zera_oem(handle, zera_id, formatted_length=10):
    """Type 0xD0: the Zera system ID as a little-endian WORD at 08h."""
    formatted = bytes([0x11, 0x22, 0x33, 0x44]) + struct.pack("<H", zera_id)
    return structure(0xD0, handle, formatted[: max(formatted_length - 4, 0)])


def end_of_table(handle):
    return structure(127, handle)


def zera_machine(bios_version, manufacturer, product, zera_id):
    """A bare structure table of a Zera machine; zera_id None leaves out the 0xD0 structure."""
    parts = [bios_information(0, bios_version), system_information(1, manufacturer, product)]
    if zera_id is not None:
        parts.append(zera_oem(2, zera_id))
    parts.append(end_of_table(3))
    return b"".join(parts)


def firmware_table(table, reported_length=None):
    """The firmware table service's layout: calling method, SMBIOS 2.7, DMI revision, Length."""
    length = len(table) if reported_length is None else reported_length
    return struct.pack("<BBBBI", 0, 2, 7, 0, length) + table


def write_profile(folder, table, admin=None, winpe=None, affinity=None, wmi=False, firmware=True,
                  reboot_log="reboot.log"):
    """Writes smbios.bin / wmi_smbios.bin and profile.ini into `folder`; returns the profile path."""
    os.makedirs(folder, exist_ok=True)
    lines = ["[platform]"]
    if firmware:
        with open(os.path.join(folder, "smbios.bin"), "wb") as f:
            f.write(firmware_table(table))
        lines.append("smbios=smbios.bin")
    if wmi:
        with open(os.path.join(folder, "wmi_smbios.bin"), "wb") as f:
            f.write(table)
        lines.append("wmi_smbios=wmi_smbios.bin")
    for key, value in (("admin", admin), ("winpe", winpe), ("affinity", affinity)):
        if value is not None:
            lines.append("%s=%d" % (key, 1 if value else 0))
    if reboot_log:
        lines.append("reboot_log=%s" % reboot_log)
    path = os.path.join(folder, "profile.ini")
    with open(path, "w", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")
    return path


def _flag(text):
    return text not in ("0", "no", "false")


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)

    def identity(p):
        p.add_argument("--bios-version", default="A05")
        p.add_argument("--manufacturer", default="Zera Inc.")
        p.add_argument("--product", default="Zera Book 14")
        p.add_argument("--zera-id", default="0ABC", help="hex; 'none' leaves out the 0xD0 structure")

    table = sub.add_parser("table", help="write one table file")
    identity(table)
    table.add_argument("--bare", action="store_true", help="no firmware header (the wmi_smbios layout)")
    table.add_argument("--reported-length", type=lambda s: int(s, 0), help="Length field to write instead")
    table.add_argument("out")

    profile = sub.add_parser("profile", help="write tables and profile.ini into a folder")
    identity(profile)
    profile.add_argument("--admin", type=_flag)
    profile.add_argument("--winpe", type=_flag)
    profile.add_argument("--affinity", type=_flag)
    profile.add_argument("--wmi", action="store_true", help="also present the table through WMI")
    profile.add_argument("--no-firmware", action="store_true", help="no firmware table service")
    profile.add_argument("--reboot-log", default="reboot.log")
    profile.add_argument("folder")

    args = parser.parse_args(argv)
    zera_id = None if args.zera_id.lower() == "none" else int(args.zera_id, 16)
    data = zera_machine(args.bios_version, args.manufacturer, args.product, zera_id)
    if args.command == "table":
        out = data if args.bare else firmware_table(data, args.reported_length)
        with open(args.out, "wb") as f:
            f.write(out)
        print(args.out)
    else:
        print(write_profile(args.folder, data, args.admin, args.winpe, args.affinity, args.wmi,
                            not args.no_firmware, args.reboot_log))
    return 0


if __name__ == "__main__":
    sys.exit(main())
