#!/usr/bin/env python3
"""Draws the images of Gem Run and writes them as PNG files beside this script.

Standard library only (zlib and struct write the PNG files). Shapes are drawn on a 4x
supersampled canvas and averaged down, so edges are smooth. Run it again after changing a
shape; the PNG files are committed, so packing the game does not need Python.

    python3 examples/gemrun/make_images.py
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SS = 4  # supersampling factor


class Canvas:
    """An RGBA picture of w x h pixels, drawn at SS times the size."""

    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = [(0, 0, 0, 0)] * (w * SS * h * SS)

    def _blend(self, i, colour):
        r, g, b, a = colour
        if a >= 255:
            self.px[i] = (r, g, b, 255)
            return
        dr, dg, db, da = self.px[i]
        fa = a / 255.0
        oa = fa + da / 255.0 * (1 - fa)
        if oa <= 0:
            return
        mix = lambda s, d: (s * fa + d * (da / 255.0) * (1 - fa)) / oa
        self.px[i] = (mix(r, dr), mix(g, dg), mix(b, db), oa * 255)

    def shape(self, inside, colour, box=None):
        """Fills every sample whose centre (in picture pixels) satisfies inside(x, y)."""
        W, H = self.w * SS, self.h * SS
        x0, y0, x1, y1 = box if box else (0, 0, self.w, self.h)
        for sy in range(max(0, int(y0 * SS)), min(H, int(math.ceil(y1 * SS)))):
            y = (sy + 0.5) / SS
            for sx in range(max(0, int(x0 * SS)), min(W, int(math.ceil(x1 * SS)))):
                x = (sx + 0.5) / SS
                if inside(x, y):
                    self._blend(sy * W + sx, colour)

    def rect(self, x0, y0, x1, y1, colour):
        self.shape(lambda x, y: x0 <= x < x1 and y0 <= y < y1, colour, (x0, y0, x1, y1))

    def ellipse(self, cx, cy, rx, ry, colour):
        self.shape(lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0, colour,
                   (cx - rx, cy - ry, cx + rx, cy + ry))

    def polygon(self, points, colour):
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]

        def inside(x, y):
            hit = False
            j = len(points) - 1
            for i in range(len(points)):
                xi, yi = points[i]
                xj, yj = points[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    hit = not hit
                j = i
            return hit

        self.shape(inside, colour, (min(xs), min(ys), max(xs), max(ys)))

    def pixels(self):
        """The picture averaged down to w x h, as rows of RGBA bytes."""
        W = self.w * SS
        rows = []
        for y in range(self.h):
            row = bytearray()
            for x in range(self.w):
                r = g = b = a = 0.0
                for sy in range(SS):
                    for sx in range(SS):
                        pr, pg, pb, pa = self.px[(y * SS + sy) * W + x * SS + sx]
                        r += pr * pa
                        g += pg * pa
                        b += pb * pa
                        a += pa
                if a > 0:
                    r, g, b = r / a, g / a, b / a
                a /= SS * SS
                row += bytes(int(round(min(255, max(0, v)))) for v in (r, g, b, a))
            rows.append(bytes(row))
        return rows


def write_png(name, rows, w, h):
    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + r for r in rows)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(png)


def strip(name, frames, size, draw):
    """A horizontal strip of frames, each drawn by draw(canvas, x offset, frame)."""
    c = Canvas(size * frames, size)
    for k in range(frames):
        draw(c, k * size, k)
    write_png(name, c.pixels(), size * frames, size)


def player(c, ox, k):
    # A round blue creature; its feet take turns (frames 0..3).
    step = [0, 2, 0, -2][k]
    c.ellipse(ox + 10, 28.5 - max(0, step), 5, 3, (30, 40, 90, 255))
    c.ellipse(ox + 22, 28.5 - max(0, -step), 5, 3, (30, 40, 90, 255))
    c.ellipse(ox + 16, 16, 13, 12, (40, 90, 200, 255))
    c.ellipse(ox + 16, 13, 10, 7, (90, 150, 240, 255))
    for ex in (11.5, 20.5):
        c.ellipse(ox + ex, 13, 3.2, 3.8, (255, 255, 255, 255))
        c.ellipse(ox + ex + 0.8, 13.5, 1.6, 2.0, (20, 20, 30, 255))
    c.ellipse(ox + 16, 21, 4, 1.6, (20, 30, 70, 255))


def wall(c, ox, k):
    c.rect(ox, 0, ox + 32, 32, (70, 60, 70, 255))
    for row in range(4):
        shift = 0 if row % 2 == 0 else 8
        for col in range(-1, 3):
            x0 = ox + col * 16 + shift + 1
            x1 = x0 + 14
            tone = 120 + ((row * 3 + col * 5) % 4) * 10
            c.rect(max(ox, x0), row * 8 + 1, min(ox + 32, x1), row * 8 + 7, (tone, tone - 20, tone - 35, 255))
            c.rect(max(ox, x0), row * 8 + 1, min(ox + 32, x1), row * 8 + 2, (tone + 30, tone + 10, tone - 5, 255))


def gem(c, ox, k):
    # A cut gem with a glint that travels across it (frames 0..3).
    c.polygon([(ox + 16, 4), (ox + 27, 13), (ox + 16, 29), (ox + 5, 13)], (20, 150, 90, 255))
    c.polygon([(ox + 16, 4), (ox + 27, 13), (ox + 16, 13)], (60, 220, 140, 255))
    c.polygon([(ox + 5, 13), (ox + 16, 13), (ox + 16, 29)], (10, 110, 70, 255))
    c.polygon([(ox + 10, 8), (ox + 16, 4), (ox + 22, 8), (ox + 16, 13)], (150, 255, 200, 255))
    gx, gy = [(10, 9), (15, 7), (21, 10), (16, 16)][k]
    c.polygon([(ox + gx, gy - 4), (ox + gx + 1.2, gy), (ox + gx, gy + 4), (ox + gx - 1.2, gy)], (255, 255, 255, 230))
    c.polygon([(ox + gx - 4, gy), (ox + gx, gy - 1.2), (ox + gx + 4, gy), (ox + gx, gy + 1.2)], (255, 255, 255, 230))


def bat(c, ox, k):
    # A purple bat, wings up (0) and down (1).
    wing = (120, 40, 150, 255)
    if k == 0:
        c.polygon([(ox + 13, 15), (ox + 2, 5), (ox + 4, 12), (ox + 1, 18), (ox + 12, 19)], wing)
        c.polygon([(ox + 19, 15), (ox + 30, 5), (ox + 28, 12), (ox + 31, 18), (ox + 20, 19)], wing)
    else:
        c.polygon([(ox + 13, 14), (ox + 2, 20), (ox + 5, 22), (ox + 3, 27), (ox + 12, 19)], wing)
        c.polygon([(ox + 19, 14), (ox + 30, 20), (ox + 27, 22), (ox + 29, 27), (ox + 20, 19)], wing)
    c.ellipse(ox + 16, 16, 6.5, 7, (90, 25, 110, 255))
    c.polygon([(ox + 11, 11), (ox + 12, 5), (ox + 14, 10)], (90, 25, 110, 255))
    c.polygon([(ox + 21, 11), (ox + 20, 5), (ox + 18, 10)], (90, 25, 110, 255))
    for ex in (13.5, 18.5):
        c.ellipse(ox + ex, 14.5, 1.8, 1.8, (255, 220, 60, 255))


def grass(c, ox, k):
    # A 64 x 64 tile of grass that repeats without seams.
    c.rect(0, 0, 64, 64, (60, 130, 60, 255))
    for i in range(40):
        x = (i * 37) % 64
        y = (i * 23 + (i // 5) * 7) % 64
        shade = (45, 110, 50, 255) if i % 2 else (85, 160, 75, 255)
        c.polygon([(x, y + 4), (x + 1.5, y), (x + 3, y + 4)], shade)


def night(c, ox, k):
    # A 64 x 64 tile of night sky with stars.
    c.rect(0, 0, 64, 64, (18, 20, 48, 255))
    for i in range(9):
        x = (i * 29 + 5) % 64
        y = (i * 41 + 11) % 64
        r = 0.9 if i % 3 else 1.5
        c.ellipse(x, y, r, r, (230, 230, 255, 255))


def main():
    strip("player.png", 4, 32, player)
    strip("wall.png", 1, 32, wall)
    strip("gem.png", 4, 32, gem)
    strip("bat.png", 2, 32, bat)
    strip("grass.png", 1, 64, grass)
    strip("night.png", 1, 64, night)


if __name__ == "__main__":
    main()
