#!/usr/bin/env python3
"""Draws the application icon and writes it as a Windows .ico file.

The picture: a rounded tile holding a colour ramp (hue across, brightness
down); its lower right half is reduced to a few levels with an ordered dither,
which is what the program does to a picture. Sizes 16, 24, 32 and 48 are
stored as 32-bit bitmaps with an AND mask, 256 as PNG.

Usage: make_icon.py OUTPUT.ico
"""

import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 256)
BAYER_2X2 = ((0, 2), (3, 1))


def hue_colour(h):
    """Red, green, blue in 0..1 for a hue in 0..1 at full saturation."""
    h = (h % 1.0) * 6.0
    i = int(h)
    f = h - i
    return [(1, f, 0), (1 - f, 1, 0), (0, 1, f), (0, 1 - f, 1), (f, 0, 1), (1, 0, 1 - f)][i % 6]


def inside_rounded_square(u, v, radius):
    """Coverage (0..1) of the point (u, v) in the unit tile with round corners."""
    cu = min(max(u, radius), 1 - radius)
    cv = min(max(v, radius), 1 - radius)
    distance = ((u - cu) ** 2 + (v - cv) ** 2) ** 0.5
    return max(0.0, min(1.0, (radius - distance) * 40 + 0.5))


def pixel(x, y, size):
    """Red, green, blue, alpha (0..255) of the icon pixel (x, y), top row first."""
    samples = 4
    total = [0.0, 0.0, 0.0, 0.0]
    cell = max(1, size // 12)
    for sy in range(samples):
        for sx in range(samples):
            u = (x + (sx + 0.5) / samples) / size
            v = (y + (sy + 0.5) / samples) / size
            coverage = inside_rounded_square(u, v, 0.2)
            if coverage == 0:
                continue
            r, g, b = hue_colour(0.95 * u)
            shade = 1.0 - 0.65 * v
            colour = [c * shade for c in (r, g, b)]
            if u + v > 1.04:  # the dithered half: 2 levels per channel
                threshold = (BAYER_2X2[(y // cell) % 2][(x // cell) % 2] + 0.5) / 4
                colour = [1.0 if c > threshold else 0.0 for c in colour]
            elif u + v > 0.96:  # the seam between the halves
                colour = [1.0, 1.0, 1.0]
            for i in range(3):
                total[i] += colour[i] * coverage
            total[3] += coverage
    n = samples * samples
    alpha = total[3] / n
    if alpha == 0:
        return (0, 0, 0, 0)
    return tuple(round(255 * total[i] / total[3]) for i in range(3)) + (round(255 * alpha),)


def draw(size):
    return [[pixel(x, y, size) for x in range(size)] for y in range(size)]


def bitmap_image(rows):
    """A 32-bit icon bitmap: header, colour rows and AND mask rows, bottom-up."""
    size = len(rows)
    mask_stride = ((size + 31) // 32) * 4
    colour = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (r, g, b, a) in enumerate(row):
            colour += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0,
                         len(colour) + len(mask), 0, 0, 0, 0)
    return header + bytes(colour) + bytes(mask)


def png_image(rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    size = len(rows)
    raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in rows)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def icon_file(sizes):
    images = [png_image(draw(s)) if s >= 256 else bitmap_image(draw(s)) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        side = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__.strip().splitlines()[-1])
    with open(sys.argv[1], "wb") as out:
        out.write(icon_file(SIZES))


if __name__ == "__main__":
    main()
