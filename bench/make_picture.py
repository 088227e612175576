#!/usr/bin/env python3
"""Writes a synthetic 24-bit BMP test picture: sky gradient, sun, hills and a
checkerboard with sharp edges, so that smooth areas and edges both show.

usage: make_picture.py WIDTH HEIGHT OUTPUT.bmp
"""
import math
import struct
import sys


def pixel(x, y, width, height):
    u, v = x / width, y / height
    # sky: blue gradient towards the horizon
    r, g, b = 90 + 100 * v, 150 + 80 * v, 235 - 20 * v
    # sun
    if (u - 0.75) ** 2 + ((v - 0.25) * height / width) ** 2 < 0.01:
        r, g, b = 255, 230, 120
    # hills
    ridge = 0.62 + 0.08 * math.sin(7 * u) + 0.04 * math.sin(23 * u + 1)
    if v > ridge:
        shade = 0.8 + 0.2 * math.sin(40 * u + 9 * v)
        r, g, b = 60 * shade, 140 * shade, 50 * shade
    # checkerboard in the lower left corner
    if u < 0.3 and v > 0.7:
        cell = (x // max(1, width // 24) + y // max(1, height // 16)) % 2
        r = g = b = 235 if cell else 20
    return [int(max(0, min(255, c))) for c in (b, g, r)]


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    width, height, path = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
    stride = (3 * width + 3) // 4 * 4
    rows = bytearray()
    for y in reversed(range(height)):  # bottom row first
        row = bytearray()
        for x in range(width):
            row += bytes(pixel(x, y, width, height))
        rows += row + bytes(stride - 3 * width)
    header = b"BM" + struct.pack("<IHHI", 54 + len(rows), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, 0, 3780, 3780, 0, 0)
    with open(path, "wb") as out:
        out.write(header + info + rows)


if __name__ == "__main__":
    main()
