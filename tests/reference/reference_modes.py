#!/usr/bin/env python3
"""The command line's own modes (ordered, serpentine error diffusion) in the
plain style of reference_rgn.py, used to derive the checksums that
tests/cli/compare_cli_test.sh holds for the sample picture.

    halvex-cli decode samples/sample.bmp sample.ppm
    tests/reference/reference_modes.py sample.ppm

prints one line per mode and compensation: mode, on/off, sha256 of the file.
"""
import hashlib
import struct
import sys
from fractions import Fraction

from reference_rgn import new_plane

BAYER = [
    [0, 32, 8, 40, 2, 34, 10, 42], [48, 16, 56, 24, 50, 18, 58, 26],
    [12, 44, 4, 36, 14, 46, 6, 38], [60, 28, 52, 20, 62, 30, 54, 22],
    [3, 35, 11, 43, 1, 33, 9, 41], [51, 19, 59, 27, 49, 17, 57, 25],
    [15, 47, 7, 39, 13, 45, 5, 37], [63, 31, 55, 23, 61, 29, 53, 21],
]


def shown(level, bits):
    """The 8-bit value a screen shows for a level: its bits repeated."""
    return (level << (8 - bits)) | (level >> (2 * bits - 8))


def ordered_level(v, bits, index):
    top = (1 << bits) - 1
    k = max(level for level in range(top + 1) if shown(level, bits) <= v)
    if k == top:
        return top
    below, above = shown(k, bits), shown(k + 1, bits)
    return k + 1 if Fraction(v - below, above - below) > Fraction(2 * index + 1, 128) else k


def ordered(pixels, width, comp):
    words = []
    for i, (r, g, b) in enumerate(pixels):
        index = BAYER[(i // width) % 8][(i % width) % 8]
        if comp and (g == r or g == b):
            green = 2 * ordered_level(g, 5, index)
        else:
            green = ordered_level(g, 6, index)
        red, blue = ordered_level(r, 5, index), ordered_level(b, 5, index)
        words.append((red << 11) + (green << 5) + blue)
    return words


def serpentine(pixels, width, height, comp, pattern):
    """pattern: (dx, dy, share of e) with dx counted in the direction of the walk."""
    P = new_plane(pixels, width, height)
    Q = [[0] * (3 * width) for _ in range(height)]
    for y in range(height):
        ahead = 1 if y % 2 == 0 else -1
        xs = range(width) if ahead == 1 else range(width - 1, -1, -1)
        for x in xs:
            for c in range(3):
                j = 3 * x + c
                P[y][j] = min(P[y][j], 65535)
                s = P[y][j]
                five = c != 1 or (comp and (s == P[y][j - 1] or s == P[y][j + 1]))
                e = s & (0x7FF if five else 0x3FF)
                for dx, dy, share in pattern:
                    tx = x + dx * ahead
                    if tx >= 0:
                        P[y + dy][3 * tx + c] += share(e)
                Q[y][j] = s & (0xF800 if five else 0xFC00)
    return [Q[y][3 * x] + (Q[y][3 * x + 1] >> 5) + (Q[y][3 * x + 2] >> 11)
            for y in range(height) for x in range(width)]


FLOYD_STEINBERG = [(1, 0, lambda e: (e * 7) >> 4), (-1, 1, lambda e: (e * 3) >> 4),
                   (0, 1, lambda e: (e * 5) >> 4), (1, 1, lambda e: e >> 4)]
ATKINSON_BOYLE = [(dx, dy, lambda e: e >> 3)
                  for dx, dy in ((1, 0), (2, 0), (-1, 1), (0, 1), (1, 1), (0, 2))]


def main(path):
    data = open(path, "rb").read()
    magic, size, maxval, rest = data.split(b"\n", 3)
    width, height = map(int, size.split())
    pixels = [tuple(rest[i * 3:i * 3 + 3]) for i in range(width * height)]
    passes = [
        ("ordered", lambda comp: ordered(pixels, width, comp)),
        ("floyd-steinberg-serpentine",
         lambda comp: serpentine(pixels, width, height, comp, FLOYD_STEINBERG)),
        ("atkinson-boyle-serpentine",
         lambda comp: serpentine(pixels, width, height, comp, ATKINSON_BOYLE)),
    ]
    for name, run in passes:
        for comp, label in ((0, "off"), (1, "on")):
            header = struct.pack("<12i", width, height, width * height * 2, 0x01700020, 32, 64,
                                 0, 16, 0xF800, 0x07E0, 0x001F, 0)
            body = b"".join(struct.pack("<H", w) for w in run(comp))
            print(name, label, hashlib.sha256(header + body).hexdigest())


if __name__ == "__main__":
    main(sys.argv[1])
