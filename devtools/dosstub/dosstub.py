#!/usr/bin/env python3
"""Makes DOS programs out of the flat images the DOS toolchain links (code at offset 0x100 of a
single 64 KiB segment, as dos/dos.ld lays them out).

  dosstub.py exe IMAGE OUTPUT   a stand-alone DOS .exe (an MZ header, then the image)
  dosstub.py insert IMAGE PE    puts the image into PE's header area as its DOS program

`insert` rewrites PE in place. The image becomes the MZ load module right after the PE
headers (the MZ header size is SizeOfHeaders), and everything from SizeOfHeaders on moves down
by the image's size rounded up to FileAlignment: each section's raw data, relocation and
line-number pointers, the COFF symbol table and the debug directory's data pointers move with
it. No virtual address changes, so Windows loads the program exactly as before. The checksum is
recomputed. A PE that already carries a certificate table is refused: sign after this step.
Exit code 0 on success, 1 on a refused input (the reason on stderr)."""
from __future__ import annotations

import struct
import sys

LOAD_OFFSET = 0x100  # the image's first byte in its segment (behind the PSP)
SEGMENT = 0x10000
STANDALONE_HEADER = 32
MARK_CS = 0xFFF0  # CS = SS = load segment - 0x10 = the PSP: a flat image at 0x100


class Refused(Exception):
    pass


def mz_header(image_size: int, header_size: int) -> bytearray:
    """The 28 fixed bytes of an MZ header for a flat image as its load module."""
    if header_size % 16:
        raise Refused(f"header size {header_size} is not a whole number of paragraphs")
    if LOAD_OFFSET + image_size > SEGMENT - 0x1000:
        raise Refused(f"image of {image_size} bytes leaves too little of its segment for data and stack")
    total = header_size + image_size
    image_paragraphs = (image_size + 15) // 16
    extra = SEGMENT // 16 - LOAD_OFFSET // 16 - image_paragraphs  # the rest of the 64 KiB segment
    return bytearray(struct.pack(
        "<2sHHHHHHHHHHHHH", b"MZ",
        total % 512, (total + 511) // 512,  # bytes in the last page, pages
        0, header_size // 16,                # relocations, header paragraphs
        extra, extra,                        # only the segment: the rest stays free for children
        MARK_CS, 0xFFFE,                     # SS:SP
        0, LOAD_OFFSET, MARK_CS,             # checksum, IP, CS
        0x40, 0))                            # relocation table offset, overlay


def make_exe(image: bytes) -> bytes:
    header = mz_header(len(image), STANDALONE_HEADER)
    return bytes(header) + bytes(STANDALONE_HEADER - len(header)) + image


def pe_checksum(data: bytes | bytearray, checksum_at: int) -> int:
    padded = bytes(data) + (b"\0" if len(data) % 2 else b"")
    words = struct.unpack(f"<{len(padded) // 2}H", padded)
    total = sum(words) - words[checksum_at // 2] - words[checksum_at // 2 + 1]
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


class PeLayout:
    """The file-offset fields of a PE that an insertion must move."""

    def __init__(self, data: bytes | bytearray):
        if len(data) < 0x40 or data[:2] != b"MZ":
            raise Refused("not an MZ file")
        self.pe = struct.unpack_from("<I", data, 0x3C)[0]
        if self.pe + 24 > len(data) or data[self.pe:self.pe + 4] != b"PE\0\0":
            raise Refused("no PE header")
        coff = self.pe + 4
        self.sections_count, = struct.unpack_from("<H", data, coff + 2)
        self.symbols_at = coff + 8
        optional_size, = struct.unpack_from("<H", data, coff + 16)
        self.optional = coff + 20
        magic, = struct.unpack_from("<H", data, self.optional)
        if magic == 0x10B:
            directories = self.optional + 96
        elif magic == 0x20B:
            directories = self.optional + 112
        else:
            raise Refused(f"unknown optional header magic {magic:#x}")
        self.directory_count, = struct.unpack_from("<I", data, directories - 4)
        self.directories = directories
        self.file_alignment, = struct.unpack_from("<I", data, self.optional + 36)
        self.size_of_headers, = struct.unpack_from("<I", data, self.optional + 60)
        self.checksum_at = self.optional + 64
        self.section_table = self.optional + optional_size
        if self.section_table + 40 * self.sections_count > self.size_of_headers or self.size_of_headers > len(data):
            raise Refused("section table outside the headers")
        if self.file_alignment == 0 or self.size_of_headers % 16:
            raise Refused("bad file alignment or header size")

    def directory(self, data, index: int) -> tuple[int, int]:
        if index >= self.directory_count:
            return 0, 0
        return struct.unpack_from("<II", data, self.directories + 8 * index)

    def sections(self, data):
        for i in range(self.sections_count):
            at = self.section_table + 40 * i
            vsize, rva, raw_size, raw_at = struct.unpack_from("<IIII", data, at + 8)
            yield at, rva, max(vsize, raw_size), raw_at, raw_size

    def rva_to_offset(self, data, rva: int) -> int | None:
        for _, start, size, raw_at, raw_size in self.sections(data):
            if start <= rva < start + size and rva - start < raw_size:
                return raw_at + rva - start
        return None


def insert(image: bytes, pe_bytes: bytes) -> bytes:
    data = bytearray(pe_bytes)
    layout = PeLayout(data)
    if struct.unpack_from("<H", data, 0x16)[0] == MARK_CS and struct.unpack_from("<H", data, 8)[0] * 16 == layout.size_of_headers:
        raise Refused("the PE already carries a DOS program")
    if layout.directory(data, 4)[1]:
        raise Refused("the PE is signed already; insert the DOS program before signing")
    base = layout.size_of_headers
    shift = (len(image) + layout.file_alignment - 1) // layout.file_alignment * layout.file_alignment

    def moved(offset: int) -> int:
        return offset + shift if offset >= base else offset

    # Offsets read before the move; the debug directory's entries are found through its RVA.
    debug_rva, debug_size = layout.directory(data, 6)
    debug_at = layout.rva_to_offset(data, debug_rva) if debug_rva and debug_size else None
    for at, _, _, _, _ in layout.sections(data):
        for field in (20, 24, 28):  # raw data, relocations, line numbers
            value, = struct.unpack_from("<I", data, at + field)
            if value:
                struct.pack_into("<I", data, at + field, moved(value))
    symbols, = struct.unpack_from("<I", data, layout.symbols_at)
    if symbols:
        struct.pack_into("<I", data, layout.symbols_at, moved(symbols))
    if debug_at is not None:
        for entry in range(debug_at, debug_at + debug_size - 27, 28):
            raw_at, = struct.unpack_from("<I", data, entry + 24)
            if raw_at:
                struct.pack_into("<I", data, entry + 24, moved(raw_at))

    header = mz_header(len(image), base)
    data[0:len(header)] = header
    data[base:base] = image + bytes(shift - len(image))
    struct.pack_into("<I", data, layout.checksum_at, pe_checksum(data, layout.checksum_at))
    return bytes(data)


def main(argv: list[str]) -> int:
    try:
        if len(argv) == 4 and argv[1] == "exe":
            with open(argv[2], "rb") as f:
                image = f.read()
            with open(argv[3], "wb") as f:
                f.write(make_exe(image))
            return 0
        if len(argv) == 4 and argv[1] == "insert":
            with open(argv[2], "rb") as f:
                image = f.read()
            with open(argv[3], "rb") as f:
                pe = f.read()
            result = insert(image, pe)
            with open(argv[3], "wb") as f:
                f.write(result)
            return 0
    except (OSError, Refused, struct.error) as error:
        print(f"dosstub: {error}", file=sys.stderr)
        return 1
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
