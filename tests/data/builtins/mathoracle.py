#!/usr/bin/env python3
"""Single-precision model of the maths built-ins, used as an oracle by tests/builtins. Each
input line is a function name and its arguments; each output line the expected result
(repr of the double). Single precision is emulated with struct: every step rounds to a 32-bit
float, as the runner computes it (double holds the exact product or sum of two floats, or
rounds them innocuously, so each emulated step is the correctly rounded float operation).
sin, cos, tan, atan2 and the inverse functions are the correctly rounded double results
rounded to float; the runner's single-precision library may differ by one unit in the last
place, which the test allows for those functions only.
"""
import math
import struct
import sys


def f32(x):
    try:
        return struct.unpack("<f", struct.pack("<f", x))[0]
    except OverflowError:
        return math.copysign(math.inf, x)


PI_F = f32(math.pi)
SNAP = f32(0.00001)


def snap(v):
    v = f32(v)
    return 0.0 if abs(v) < SNAP else v


def snap_fraction(v):
    frac, whole = math.modf(v)
    return whole if abs(frac) < f32(0.0001) else v


def point_direction(x1, y1, x2, y2):
    dx = f32(f32(x2) - f32(x1))
    dy = f32(f32(y2) - f32(y1))
    if dx == 0:
        return 270.0 if dy > 0 else (90.0 if dy < 0 else 0.0)
    a = f32(math.atan2(dy, dx))
    a = f32(f32(a * 180.0) / PI_F)
    return f32(360.0 - a) if a > 0 else -a


def angle(d):
    return f32(f32(f32(d) * PI_F) / 180.0)


def lengthdir_x(length, d):
    return snap_fraction(f32(f32(length) * f32(math.cos(angle(d)))))


def lengthdir_y(length, d):
    return snap_fraction(-f32(f32(length) * f32(math.sin(angle(d)))))


def point_distance(*a):
    n = len(a) // 2
    total = 0.0
    for i in range(n):
        d = f32(f32(a[n + i]) - f32(a[i]))
        total = f32(total + f32(d * d))
    return f32(math.sqrt(total))


def dot_normalised(*a):
    n = len(a) // 2
    p = [f32(v) for v in a[:n]]
    q = [f32(v) for v in a[n:]]
    dot = sum(x * y for x, y in zip(p, q))

    def length(v):
        total = 0.0
        for x in v:
            total = f32(total + f32(x * x))
        return f32(math.sqrt(total))

    return dot / (length(p) * length(q))


FUNCTIONS = {
    "abs": lambda x: abs(f32(x)),
    "sin": lambda x: snap(math.sin(f32(x))),
    "cos": lambda x: snap(math.cos(f32(x))),
    "tan": lambda x: snap(math.tan(f32(x))),
    "arcsin": lambda x: snap(math.asin(f32(x))),
    "arccos": lambda x: snap(math.acos(f32(x))),
    "arctan": lambda x: snap(math.atan(f32(x))),
    "arctan2": lambda y, x: snap(math.atan2(f32(y), f32(x))),
    "degtorad": lambda x: x * float(PI_F) / 180.0,
    "radtodeg": lambda x: x * 180.0 / float(PI_F),
    "point_direction": point_direction,
    "lengthdir_x": lengthdir_x,
    "lengthdir_y": lengthdir_y,
    "point_distance": point_distance,
    "point_distance_3d": point_distance,
    "dot_product_normalised": dot_normalised,
    "dot_product_3d_normalised": dot_normalised,
}

for line in sys.stdin:
    w = line.split()
    if w:
        print(repr(float(FUNCTIONS[w[0]](*[float(v) for v in w[1:]]))))
