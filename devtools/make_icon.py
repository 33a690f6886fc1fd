#!/usr/bin/env python3
"""Writes the programs' icon: a 32x32 chip with a lightning bolt, 32-bit colour.

Run it only to change the picture; the .ico it writes is kept in resources/."""
import struct
import sys

SIZE = 32


def pixel(x, y):
    # Dark red chip with yellow pins and a yellow bolt: the colours of the update banner.
    if 4 <= x < 28 and 4 <= y < 28:
        bolt = [(14, 6), (19, 6), (16, 14), (21, 14), (12, 26), (14, 17), (10, 17)]
        if inside(bolt, x + 0.5, y + 0.5):
            return (255, 230, 0, 255)
        return (128, 0, 0, 255)
    if (x in (1, 2, 29, 30) and y % 5 == 2 and 5 <= y <= 27) or (y in (1, 2, 29, 30) and x % 5 == 2 and 5 <= x <= 27):
        return (200, 200, 200, 255)
    return (0, 0, 0, 0)


def inside(poly, x, y):
    hit = False
    j = len(poly) - 1
    for i in range(len(poly)):
        xi, yi = poly[i]
        xj, yj = poly[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            hit = not hit
        j = i
    return hit


def main(path):
    rows = []
    for y in reversed(range(SIZE)):  # bottom-up
        row = b""
        for x in range(SIZE):
            r, g, b, a = pixel(x, y)
            row += bytes((b, g, r, a))
        rows.append(row)
    xor = b"".join(rows)
    mask = b"\x00" * (SIZE * 4)  # 32 bits a row, all opaque (alpha decides)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + xor + mask
    ico = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 22) + image
    with open(path, "wb") as f:
        f.write(ico)


if __name__ == "__main__":
    main(sys.argv[1])
