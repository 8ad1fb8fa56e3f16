#!/usr/bin/env python3
"""Independent model of the runner's random numbers (WELL512a after Panneton, L'Ecuyer and
Matsumoto, in Lomont's formulation, seeded through x = ((x * 214013 + 2531011) >> 16) & 0x7FFF
per word) and of the built-ins drawn from it, used as an oracle by tests/builtins. Commands on
standard input, one per line, each printing one line of results:

  list_shuffle SEED N          the order of 0..N-1 after ds_list_shuffle
  grid_shuffle SEED W H        cells (initially x * H + y) column by column after ds_grid_shuffle
  random SEED X K              K results of random(X)
  irandom SEED X K             K results of irandom(X)
  irandom_range SEED A B K     K results of irandom_range(A, B)
  choose SEED N K              K indexes chosen by choose() among N arguments
"""
import math
import sys

M = 0xFFFFFFFF


class Well:
    def __init__(self, seed):
        x = seed & M
        self.s = []
        for _ in range(16):
            x = (((x * 214013 + 2531011) & M) >> 16) & 0x7FFF
            self.s.append(x)
        self.i = 0

    def next(self):
        s, i = self.s, self.i
        a = s[i]
        c = s[(i + 13) & 15]
        b = (a ^ c ^ (a << 16) ^ (c << 15)) & M
        c = s[(i + 9) & 15]
        c ^= c >> 11
        a = s[i] = (b ^ c) & M
        d = (a ^ ((a << 5) & 0xDA442D24)) & M
        i = (i + 15) & 15
        a = s[i]
        s[i] = (a ^ b ^ d ^ (a << 2) ^ (b << 18) ^ (c << 28)) & M
        self.i = i
        return s[i]

    def rint(self, n):
        r = self.next()
        return r % abs(n) if n else 0

    def draw63(self):
        lo = self.next()
        hi = self.next() & 0x7FFFFFFF
        return hi << 32 | lo


def trunc(x):
    return int(math.trunc(x))


def main():
    for line in sys.stdin:
        w = line.split()
        if not w:
            continue
        g = Well(int(w[1]))
        if w[0] == "list_shuffle":
            n = int(w[2])
            items = list(range(n))
            for _ in range(n * 8):
                i = g.rint(n)
                j = g.rint(n)
                items[i], items[j] = items[j], items[i]
            print(" ".join(map(str, items)))
        elif w[0] == "grid_shuffle":
            width, height = int(w[2]), int(w[3])
            cells = list(range(width * height))
            for _ in range(8 * width * height):
                x1, x2, y1, y2 = g.rint(width), g.rint(width), g.rint(height), g.rint(height)
                a, b = x1 * height + y1, x2 * height + y2
                cells[a], cells[b] = cells[b], cells[a]
            print(" ".join(map(str, cells)))
        elif w[0] == "random":
            x, k = float(w[2]), int(w[3])
            print(" ".join(repr(g.next() * 2.3283064365386963e-10 * 1.0 * x) for _ in range(k)))
        elif w[0] == "irandom":
            x, k = float(w[2]), int(w[3])
            s = -1.0 if x < 0 else 1.0
            n = trunc(x + s)
            out = []
            for _ in range(k):
                r = g.draw63() % abs(n)
                out.append(str(-r if n < 0 else r))
            print(" ".join(out))
        elif w[0] == "irandom_range":
            a, b, k = float(w[2]), float(w[3]), int(w[4])
            lo, hi = min(a, b), max(a, b)
            n = trunc((hi - lo) + 1.0)
            print(" ".join(str(trunc(float(g.draw63() % n) + lo)) for _ in range(k)))
        elif w[0] == "choose":
            n, k = int(w[2]), int(w[3])
            print(" ".join(str(min(g.rint(n), n - 1)) for _ in range(k)))


main()
