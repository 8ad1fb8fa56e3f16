#!/usr/bin/env python3
"""Independent model of the data structures' map walk order and binary and map text forms,
used as an oracle by tests/builtins. Reads commands on standard input, one per line:

  map BUCKETS                     start a map model with that bucket count (a power of two)
  add K V / del K                 add (first key wins) / delete a key; K, V as below
  order                           print the keys in walk order, one per line
  text KIND ITEM ...              print the text form of a structure:
      stack V...  list V...  queue TAIL HEAD V...  priority P V P V ...  grid W H V...
      map K V K V ...  (4096 buckets, walk order computed here)

Values: r:<python float literal> a real; s:<hex bytes>[:<real>] a string (with its real field).
Key CRC: zlib's CRC-32 of the string bytes or of the little-endian f64, inverted (the runner
keeps the CRC without its final inversion); bucket = CRC & (BUCKETS - 1), then insertion order.
"""
import struct
import sys
import zlib


def parse(v):
    t = v.split(":")
    if t[0] == "r":
        return ("r", float(t[1]))
    real = float(t[2]) if len(t) > 2 else 0.0
    return ("s", bytes.fromhex(t[1]), real)


def key_bytes(k):
    return k[1] if k[0] == "s" else struct.pack("<d", k[1])


def crc(k):
    return zlib.crc32(key_bytes(k)) ^ 0xFFFFFFFF


def same(a, b):
    return a[0] == b[0] and key_bytes(a) == key_bytes(b)


class MapModel:
    def __init__(self, buckets):
        self.mask = buckets - 1
        self.entries = []  # (key, value, sequence)
        self.seq = 0

    def add(self, k, v):
        if any(same(e[0], k) for e in self.entries):
            return
        self.entries.append((k, v, self.seq))
        self.seq += 1

    def delete(self, k):
        for i, e in enumerate(self.entries):
            if same(e[0], k):
                del self.entries[i]
                return

    def order(self):
        return sorted(self.entries, key=lambda e: (crc(e[0]) & self.mask, e[2]))


def show(k):
    return "s " + k[1].hex().upper() if k[0] == "s" else "r " + struct.pack("<d", k[1]).hex().upper()


def record(v):
    if v[0] == "r":
        return struct.pack("<idI", 0, v[1], 0)
    return struct.pack("<idI", 1, v[2], len(v[1])) + v[1]


def map_field(v):
    if v[0] == "s":
        return v[1].hex().upper()
    b = struct.pack(">d", v[1]).rstrip(b"\0")
    return b.hex().upper()


def text(kind, items):
    if kind == "map":
        m = MapModel(4096)
        for i in range(0, len(items), 2):
            m.add(parse(items[i]), parse(items[i + 1]))
        parts = []
        for k, v, _ in m.order():
            flag = (1 if k[0] == "s" else 0) + (2 if v[0] == "s" else 0)
            parts.append("%d:%s:%s" % (flag, map_field(k), map_field(v)))
        return ",".join(parts)
    if kind == "stack":
        body = struct.pack("<ii", 101, len(items)) + b"".join(record(parse(v)) for v in items)
    elif kind == "list":
        body = struct.pack("<ii", 301, len(items)) + b"".join(record(parse(v)) for v in items)
    elif kind == "queue":
        tail, head, values = int(items[0]), int(items[1]), items[2:]
        body = struct.pack("<iiii", 201, tail, head, len(values)) + b"".join(record(parse(v)) for v in values)
    elif kind == "priority":
        pairs = [(items[i], items[i + 1]) for i in range(0, len(items), 2)]
        body = struct.pack("<ii", 501, len(pairs))
        body += b"".join(record(parse(p)) for p, _ in pairs) + b"".join(record(parse(v)) for _, v in pairs)
    elif kind == "grid":
        w, h, values = int(items[0]), int(items[1]), items[2:]
        body = struct.pack("<iii", 601, w, h) + b"".join(record(parse(v)) for v in values)
    return body.hex().upper()


def main():
    model = None
    for line in sys.stdin:
        words = line.split()
        if not words:
            continue
        if words[0] == "map":
            model = MapModel(int(words[1]))
        elif words[0] == "add":
            model.add(parse(words[1]), parse(words[2]))
        elif words[0] == "del":
            model.delete(parse(words[1]))
        elif words[0] == "order":
            for k, _, _ in model.order():
                print(show(k))
        elif words[0] == "text":
            print(text(words[1], words[2:]))


main()
