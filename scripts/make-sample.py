#!/usr/bin/env python3
"""Draws the bundled sample picture: smooth colour and grey gradients with
hard edges (a ring, stripes, a checker corner), stored as a bottom-up 24-bit
BMP of 160 x 120 pixels."""
import struct
import sys

W, H = 160, 120


def pixel(x, y):
    if y < 20:  # grey ramp: shows green-level compensation at work
        v = x * 255 // (W - 1)
        return v, v, v
    if y < 40:  # hue ramps
        t = x * 255 // (W - 1)
        return (t, 255 - t, 128) if y < 30 else (255 - t, 64, t)
    dx, dy = x - 50, y - 80
    d2 = dx * dx + dy * dy
    if 400 <= d2 <= 900:  # ring
        return 250, 200, 30
    if x >= 110:  # stripes and checker
        if y >= 100:
            return (255, 255, 255) if ((x // 4) + (y // 4)) % 2 else (0, 0, 0)
        return (200, 30, 60) if (x // 3) % 2 else (30, 60, 200)
    # diagonal sky-to-earth gradient
    return (x + y) * 255 // (W + H), 120 + y // 2, 255 - y * 2


def main(path):
    row_bytes = (3 * W + 3) & ~3
    data = bytearray()
    for y in range(H - 1, -1, -1):
        row = bytearray()
        for x in range(W):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (row_bytes - len(row))
        data += row
    header = b"BM" + struct.pack("<IHHI", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "samples/sample.bmp")
