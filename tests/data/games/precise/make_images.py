#!/usr/bin/env python3
# Writes the images of the precise-collision test game (run from any folder):
#   disc.png  32 x 32, an opaque disc of radius 16 centred at (16, 16), the corners clear;
#   bar.png   64 x 8, fully opaque;
#   dot.png   2 x 2, fully opaque.
import os
import struct
import zlib


def write_png(path, width, height, opaque):
    rows = b""
    for y in range(height):
        rows += b"\x00"
        for x in range(width):
            rows += b"\xff\xff\xff\xff" if opaque(x, y) else b"\x00\x00\x00\x00"

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


here = os.path.dirname(os.path.abspath(__file__))
write_png(os.path.join(here, "disc.png"), 32, 32, lambda x, y: (x + 0.5 - 16) ** 2 + (y + 0.5 - 16) ** 2 <= 16 * 16)
write_png(os.path.join(here, "bar.png"), 64, 8, lambda x, y: True)
write_png(os.path.join(here, "dot.png"), 2, 2, lambda x, y: True)
