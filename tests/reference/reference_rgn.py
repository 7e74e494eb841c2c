#!/usr/bin/env python3
"""An independent, deliberately plain model of the RGN/MBR conversion, used to
derive the checksums that tests/cli_test.sh holds for the sample picture.

    halvex-cli decode samples/sample.bmp sample.ppm
    tests/reference/reference_rgn.py sample.ppm

prints one line per mode and compensation: dither, on/off, sha256 of the file.
"""
import hashlib
import struct
import sys


def new_plane(pixels, width, height):
    plane = [[0] * (3 * width + 6) for _ in range(height + 2)]
    for y in range(height):
        for x in range(width):
            for c in range(3):
                plane[y][3 * x + c] = pixels[y * width + x][c] * 257
    return plane


def diffuse(pixels, width, height, comp, spread):
    P = new_plane(pixels, width, height)
    Q = [[0] * (3 * width) for _ in range(height)]
    for y in range(height):
        for j in range(3 * width):
            P[y][j] = min(P[y][j], 65535)
            s = P[y][j]
            five = j % 3 != 1 or (comp and (s == P[y][j - 1] or s == P[y][j + 1]))
            e = s & (0x7FF if five else 0x3FF)
            spread(P, y, j, e)
            Q[y][j] = s & (0xF800 if five else 0xFC00)
    return [Q[y][3 * x] + (Q[y][3 * x + 1] >> 5) + (Q[y][3 * x + 2] >> 11)
            for y in range(height) for x in range(width)]


def floyd_steinberg(P, y, j, e):
    P[y][j + 3] += (e * 7) >> 4
    if j >= 3:
        P[y + 1][j - 3] += (e * 3) >> 4
    P[y + 1][j] += (e * 5) >> 4
    P[y + 1][j + 3] += e >> 4


def atkinson_boyle(P, y, j, e):
    f = e >> 3
    P[y][j + 3] += f
    P[y][j + 6] += f
    if j >= 3:
        P[y + 1][j - 3] += f
    P[y + 1][j] += f
    P[y + 1][j + 3] += f
    P[y + 2][j] += f


def plain(pixels, comp):
    words = []
    for r, g, b in pixels:
        green = (g * 257) & (0xF800 if comp and (g == r or g == b) else 0xFC00)
        words.append(((r * 257) & 0xF800) + (green >> 5) + (((b * 257) & 0xF800) >> 11))
    return words


def main(path):
    data = open(path, "rb").read()
    magic, size, maxval, rest = data.split(b"\n", 3)
    width, height = map(int, size.split())
    pixels = [tuple(rest[i * 3:i * 3 + 3]) for i in range(width * height)]
    passes = [
        ("none", lambda comp: plain(pixels, comp)),
        ("floyd-steinberg", lambda comp: diffuse(pixels, width, height, comp, floyd_steinberg)),
        ("atkinson-boyle", lambda comp: diffuse(pixels, width, height, comp, atkinson_boyle)),
    ]
    for name, run in passes:
        for comp, label in ((0, "off"), (1, "on")):
            header = struct.pack("<12i", width, height, width * height * 2, 0x01700020, 32, 64,
                                 0, 16, 0xF800, 0x07E0, 0x001F, 0)
            body = b"".join(struct.pack("<H", w) for w in run(comp))
            print(name, label, hashlib.sha256(header + body).hexdigest())


if __name__ == "__main__":
    main(sys.argv[1])
