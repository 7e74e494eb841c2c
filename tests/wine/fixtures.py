#!/usr/bin/env python3
"""Test pictures for the end-to-end tests, and the files they must give.

  fixtures.py bmp OUT        the 5 x 2 test picture as a bottom-up 24-bit BMP
  fixtures.py tga OUT        the same as a true-colour TGA with the 2.0 footer
  fixtures.py rgn OUT on|off what mode None makes of it, green compensation
                             on or off
  fixtures.py empty OUT      the file of a 0 x 0 image: the header alone
"""

import struct
import sys

# Top row first: the plain-quantisation table's colours and one more.
PICTURE = [
    [(255, 255, 255), (0, 0, 0), (128, 128, 128), (100, 100, 100), (4, 4, 4)],
    [(255, 255, 0), (0, 255, 0), (255, 0, 0), (0, 0, 255), (10, 200, 30)],
]


def bmp(rows):
    width, height = len(rows[0]), len(rows)
    stride = (width * 3 + 3) // 4 * 4
    data = b""
    for row in reversed(rows):  # stored bottom-up
        line = b"".join(bytes((b, g, r)) for r, g, b in row)
        data += line + b"\0" * (stride - len(line))
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(data), 0, 0, 14 + len(info))
    return header + info + data


def tga(rows):
    width, height = len(rows[0]), len(rows)
    # Image type 2 (true-colour, raw), 24 bits, top-left origin: the rows
    # are stored top row first.
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, width, height, 24, 0x20)
    data = b"".join(bytes((b, g, r)) for row in rows for r, g, b in row)
    footer = struct.pack("<II", 0, 0) + b"TRUEVISION-XFILE.\0"
    return header + data + footer


def pixel_word(r, g, b, compensation):
    green = g >> 2
    if compensation and (g == r or g == b):
        green = 2 * (g >> 3)
    return (r >> 3) << 11 | green << 5 | (b >> 3)


def rgn(rows, compensation):
    width, height = (len(rows[0]), len(rows)) if rows else (0, 0)
    words = [width, height, 2 * width * height, 0x01700020, 32, 64, 0, 16, 0xF800, 0x07E0, 0x1F, 0]
    out = struct.pack("<12i", *words)
    for row in rows:
        for r, g, b in row:
            out += struct.pack("<H", pixel_word(r, g, b, compensation))
    return out


def main():
    args = sys.argv[1:]
    if len(args) < 2:
        sys.exit(__doc__)
    kind, path = args[0], args[1]
    if kind == "bmp":
        data = bmp(PICTURE)
    elif kind == "tga":
        data = tga(PICTURE)
    elif kind == "rgn" and len(args) == 3:
        data = rgn(PICTURE, args[2] == "on")
    elif kind == "empty":
        data = rgn([], False)
    else:
        sys.exit(__doc__)
    with open(path, "wb") as out:
        out.write(data)


if __name__ == "__main__":
    main()
