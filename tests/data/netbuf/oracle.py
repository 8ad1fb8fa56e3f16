#!/usr/bin/env python3
"""Oracle of the buffer and JSON tests: one command a line on standard input, one answer a
line on standard output.

  pack FMT V...    hex of struct.pack("<" + FMT, V...) (integers wrapped to the field's width
                   as the runner stores them: u32 from the 64-bit truncation, the others from
                   the 32-bit one)
  unpack FMT HEX   the values struct.unpack("<" + FMT, bytes) gives, repr, one per word
  md5 HEX          MD5 of the bytes, hex
  sha1 HEX         SHA-1 of the bytes, hex
  b64 HEX          base64 of the bytes
  unb64 TEXT       hex of the base64 text decoded
  json TEXT        the text parsed (integers as reals) and printed back with sorted keys (or
                   "error")
"""
import base64
import hashlib
import json
import math
import struct
import sys

WIDTH = {"B": 8, "b": 8, "H": 16, "h": 16, "I": 32, "i": 32}


def trunc32(x):
    if math.isnan(x) or not (-2147483648.0 <= math.trunc(x) <= 2147483647.0):
        return -2147483648
    return int(math.trunc(x))


def trunc64(x):
    if math.isnan(x) or not (-9223372036854775808.0 <= math.trunc(x) < 9223372036854775808.0):
        return -9223372036854775808
    return int(math.trunc(x))


def value(f, v):
    x = float(v)
    if f in WIDTH:
        n = trunc64(x) if f == "I" else trunc32(x)
        bits = WIDTH[f]
        n &= (1 << bits) - 1
        if f.islower() and n >= 1 << (bits - 1):
            n -= 1 << bits
        return n
    if f == "?":
        return 1 if x > 0.5 else 0
    return x


def main():
    out = []
    for line in sys.stdin.read().splitlines():
        cmd, _, rest = line.partition(" ")
        if cmd == "pack":
            fmt, *values = rest.split()
            items = [value(f, v) for f, v in zip(fmt, values)]
            fmt = fmt.replace("?", "B")
            out.append(struct.pack("<" + fmt, *items).hex())
        elif cmd == "unpack":
            fmt, data = rest.split()
            out.append(" ".join(repr(float(v)) for v in struct.unpack("<" + fmt, bytes.fromhex(data))))
        elif cmd == "md5":
            out.append(hashlib.md5(bytes.fromhex(rest)).hexdigest())
        elif cmd == "sha1":
            out.append(hashlib.sha1(bytes.fromhex(rest)).hexdigest())
        elif cmd == "b64":
            out.append(base64.b64encode(bytes.fromhex(rest)).decode())
        elif cmd == "unb64":
            out.append(base64.b64decode(rest).hex())
        elif cmd == "json":
            try:
                out.append(json.dumps(json.loads(rest, parse_int=float), sort_keys=True))
            except ValueError:
                out.append("error")
        else:
            out.append("unknown")
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
