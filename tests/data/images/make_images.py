#!/usr/bin/env python3
"""Writes the PNG and BMP files the graphics tests decode, with Python's standard library
only (zlib, struct). Each image is 3 x 2 pixels with a known pattern; the expected decoded
pixels are listed in expected.txt (one line per file: name, then 0xAARRGGBB words).

Run from this folder: python3 make_images.py
"""
import struct
import zlib

W, H = 3, 2
# The reference picture, (r, g, b, a) per pixel, rows top first.
RGBA = [
    [(255, 0, 0, 255), (0, 255, 0, 128), (0, 0, 255, 0)],
    [(255, 255, 255, 255), (16, 32, 48, 64), (0, 0, 0, 255)],
]


def chunk(tag, data):
    c = struct.pack(">I", len(data)) + tag + data
    return c + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)


def png(colour_type, depth, rows, palette=None, trns=None, interlace=0):
    ihdr = struct.pack(">IIBBBBB", W, H, depth, colour_type, 0, 0, interlace)
    raw = b"".join(b"\x00" + r for r in rows)
    out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
    if palette is not None:
        out += chunk(b"PLTE", b"".join(bytes(p) for p in palette))
    if trns is not None:
        out += chunk(b"tRNS", trns)
    return out + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")


def pack_bits(values, depth):
    """Packs sample values of depth bits into bytes, high bits first."""
    out, acc, n = bytearray(), 0, 0
    for v in values:
        acc = (acc << depth) | v
        n += depth
        while n >= 8:
            n -= 8
            out.append((acc >> n) & 0xFF)
    if n:
        out.append((acc << (8 - n)) & 0xFF)
    return bytes(out)


def word(r, g, b, a):
    return (a << 24) | (r << 16) | (g << 8) | b


files, expected = {}, {}

# Truecolour 8 and 16 bits, with and without alpha.
files["rgb8.png"] = png(2, 8, [bytes(c for p in row for c in p[:3]) for row in RGBA])
expected["rgb8.png"] = [word(*p[:3], 255) for row in RGBA for p in row]
files["rgba8.png"] = png(6, 8, [bytes(c for p in row for c in p) for row in RGBA])
expected["rgba8.png"] = [word(*p) for row in RGBA for p in row]
files["rgb16.png"] = png(2, 16, [b"".join(struct.pack(">H", c * 257) for p in row for c in p[:3]) for row in RGBA])
expected["rgb16.png"] = expected["rgb8.png"]
files["rgba16.png"] = png(6, 16, [b"".join(struct.pack(">H", c * 257) for p in row for c in p) for row in RGBA])
expected["rgba16.png"] = expected["rgba8.png"]
files["rgba8_interlaced.png"] = None  # filled below (Adam7 needs its own pass layout)

# Grey at every depth, grey with alpha at 8 and 16.
for depth in (1, 2, 4, 8, 16):
    maxv = (1 << depth) - 1
    vals = [[0, maxv, maxv // 2], [maxv // 3, 0, maxv]]
    if depth == 16:
        rows = [b"".join(struct.pack(">H", v) for v in r) for r in vals]
    else:
        rows = [pack_bits(r, depth) for r in vals]
    name = "grey%d.png" % depth
    files[name] = png(0, depth, rows)
    scale = lambda v: (v * 255 + maxv // 2) // maxv if depth < 16 else v >> 8
    if depth < 8:
        scale = lambda v, d=depth: {1: v * 255, 2: v * 85, 4: v * 17}[d]
    expected[name] = [word(scale(v), scale(v), scale(v), 255) for r in vals for v in r]
files["greyalpha8.png"] = png(4, 8, [bytes(x for v, a in zip([10, 200, 90], [255, 0, 77]) for x in (v, a)),
                                      bytes(x for v, a in zip([0, 1, 2], [3, 4, 5]) for x in (v, a))])
expected["greyalpha8.png"] = [word(v, v, v, a) for v, a in zip([10, 200, 90, 0, 1, 2], [255, 0, 77, 3, 4, 5])]
files["greyalpha16.png"] = png(4, 16, [b"".join(struct.pack(">HH", v * 257, a * 257) for v, a in zip([10, 200, 90], [255, 0, 77])),
                                        b"".join(struct.pack(">HH", v * 257, a * 257) for v, a in zip([0, 1, 2], [3, 4, 5]))])
expected["greyalpha16.png"] = expected["greyalpha8.png"]
# Grey with a transparent grey value (tRNS).
files["grey8_trns.png"] = png(0, 8, [bytes([5, 6, 5]), bytes([7, 5, 8])], trns=struct.pack(">H", 5))
expected["grey8_trns.png"] = [word(v, v, v, 0 if v == 5 else 255) for v in [5, 6, 5, 7, 5, 8]]

# Palette images at 1, 2, 4 and 8 bits, with and without tRNS.
palette = [(255, 0, 0), (0, 255, 0), (0, 0, 255), (9, 8, 7)]
idx = [[0, 1, 1], [1, 0, 1]]
for depth in (1, 2, 4, 8):
    rows = [pack_bits(r, depth) for r in idx]
    name = "pal%d.png" % depth
    files[name] = png(3, depth, rows, palette=palette[:2])
    expected[name] = [word(*palette[i], 255) for r in idx for i in r]
    name = "pal%d_trns.png" % depth
    files[name] = png(3, depth, rows, palette=palette[:2], trns=bytes([40]))
    expected[name] = [word(*palette[i], 40 if i == 0 else 255) for r in idx for i in r]

# Truecolour with a transparent colour (tRNS).
files["rgb8_trns.png"] = png(2, 8, [bytes([1, 2, 3, 4, 5, 6, 1, 2, 3]), bytes([1, 2, 3, 9, 9, 9, 0, 0, 0])],
                             trns=struct.pack(">HHH", 1, 2, 3))
expected["rgb8_trns.png"] = [word(1, 2, 3, 0), word(4, 5, 6, 255), word(1, 2, 3, 0), word(1, 2, 3, 0), word(9, 9, 9, 255), word(0, 0, 0, 255)]


def adam7(pixels):
    """Interlaced scanlines of an RGBA 8-bit image (filter type 0 on each)."""
    passes = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
    out = b""
    for x0, y0, dx, dy in passes:
        for y in range(y0, H, dy):
            row = bytes(c for x in range(x0, W, dx) for c in pixels[y][x])
            if row:
                out += b"\x00" + row
    return out


ihdr = struct.pack(">IIBBBBB", W, H, 8, 6, 0, 0, 1)
files["rgba8_interlaced.png"] = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) +
                                 chunk(b"IDAT", zlib.compress(adam7(RGBA))) + chunk(b"IEND", b""))
expected["rgba8_interlaced.png"] = expected["rgba8.png"]

# Damaged files: truncated data, bad CRC, a zlib stream cut short, a huge header.
good = files["rgba8.png"]
files["bad_truncated.png"] = good[:len(good) - 20]
bad_crc = bytearray(good)
bad_crc[29] ^= 0xFF
files["bad_crc.png"] = bytes(bad_crc)
files["bad_header_only.png"] = good[:33]
files["bad_huge.png"] = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 100000, 100000, 8, 6, 0, 0, 0)) +
                         chunk(b"IDAT", zlib.compress(b"\x00" * 16)) + chunk(b"IEND", b""))
files["not_a_png.gif"] = b"GIF89a" + b"\x00" * 20


def bmp(bits, w, h, rows_bottom_up, palette=b"", top_down=False):
    stride = ((w * bits + 31) // 32) * 4
    data = b"".join(r + b"\x00" * (stride - len(r)) for r in rows_bottom_up)
    off = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", off + len(data), 0, 0, off)
    info = struct.pack("<IiiHHIIiiII", 40, w, -h if top_down else h, 1, bits, 0, len(data), 2835, 2835,
                       len(palette) // 4, 0)
    return header + info + palette + data


# 24-bit BMP of width 3 (rows padded to 12 bytes in the file).
rows = [bytes(c for p in RGBA[y] for c in (p[2], p[1], p[0])) for y in (1, 0)]
files["rgb24_w3.bmp"] = bmp(24, 3, 2, rows)
expected["rgb24_w3.bmp"] = [word(*p[:3], 255) for row in RGBA for p in row]
# The same, stored top-down.
files["rgb24_w3_topdown.bmp"] = bmp(24, 3, 2, [rows[1], rows[0]], top_down=True)
expected["rgb24_w3_topdown.bmp"] = expected["rgb24_w3.bmp"]
# 8-bit palette BMP, 2 x 2, indices 0 and 200.
pal = b"".join(struct.pack("<BBBB", i % 256, (i * 3) % 256, (i * 7) % 256, 0) for i in range(256))
files["pal8_2x2.bmp"] = bmp(8, 2, 2, [bytes([200, 0]), bytes([0, 200])], palette=pal)
colour = lambda i: word((i * 7) % 256, (i * 3) % 256, i % 256, 255)
expected["pal8_2x2.bmp"] = [colour(0), colour(200), colour(200), colour(0)]
# 32-bit BMP, 3 x 2.
rows32 = [bytes(c for p in RGBA[y] for c in (p[2], p[1], p[0], p[3])) for y in (1, 0)]
files["rgb32.bmp"] = bmp(32, 3, 2, rows32)
expected["rgb32.bmp"] = [word(*p[:3], 255) for row in RGBA for p in row]
# Damaged: a palette index past a 2-entry palette, a header claiming more rows than stored.
files["bad_palette_index.bmp"] = bmp(8, 2, 1, [bytes([1, 250])], palette=pal[:8])
expected["bad_palette_index.bmp"] = [colour(1), colour(0)]  # 250 is past the palette: entry 0
files["bad_rows.bmp"] = bmp(24, 3, 2, rows)[:-12]

for name, data in files.items():
    with open(name, "wb") as f:
        f.write(data)
with open("expected.txt", "w") as f:
    for name, words in sorted(expected.items()):
        f.write(name + " " + " ".join("%08X" % w for w in words) + "\n")
