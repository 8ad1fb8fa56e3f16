#!/usr/bin/env python3
"""Writes playthrough.rec, the input that plays Gem Run from the title to its results.

The file is an input record file of the runner ("-playback FILE"): one 2,939-byte record for
each step, holding the keyboard and mouse state of that step. This script makes the keyboard
part of a scripted play:

  title (Enter) -> level 1, one gem -> R restarts the game -> title (Enter)
  -> level 1, every gem -> level 2, every gem -> the results

The route through each level is found on the level's own map (read from rm_level1.zbl and
rm_level2.zbl): from the player's start it walks to the nearest gem left (breadth-first, moves
tried right, down, left, up), cell after cell. The player walks 4 pixels a step, so a cell of
32 pixels takes 8 steps of holding an arrow key. Bats are not avoided; they cost a life now
and then, as in a real play.

    python3 examples/gemrun/make_playback.py      (prints the number of steps)
"""
import os
import re
import struct
from collections import deque

HERE = os.path.dirname(os.path.abspath(__file__))

RECORD_SIZE = 2939
KEY_LASTKEY, KEY_KEY = 2052, 2056
KEY_DOWN, KEY_RELEASED, KEY_PRESSED = 2060, 2316, 2572

VK_ENTER, VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN, VK_R = 13, 37, 38, 39, 40, ord("R")
STEPS_PER_CELL = 8
MOVES = [((1, 0), VK_RIGHT), ((0, 1), VK_DOWN), ((-1, 0), VK_LEFT), ((0, -1), VK_UP)]


def level_map(name):
    """The rows of the map that the room's creation code hands to scr_build_level."""
    with open(os.path.join(HERE, name)) as f:
        text = f.read()
    return "".join(re.findall(r'"([^"]*)"', text)).split("|")


def route(rows, gems_wanted=None):
    """The arrow keys of a walk from P through the nearest gems, one key per cell."""
    cells = {(x, y): c for y, row in enumerate(rows) for x, c in enumerate(row)}
    here = next(p for p, c in cells.items() if c == "P")
    gems = {p for p, c in cells.items() if c == "G"}
    keys = []
    taken = 0
    while gems and (gems_wanted is None or taken < gems_wanted):
        came = {here: None}
        queue = deque([here])
        found = None
        while queue:
            p = queue.popleft()
            if p in gems:
                found = p
                break
            for (dx, dy), key in MOVES:
                q = (p[0] + dx, p[1] + dy)
                if q not in came and cells.get(q, "#") != "#":
                    came[q] = (p, key)
                    queue.append(q)
        if found is None:
            raise SystemExit("a gem cannot be reached: %r" % sorted(gems))
        walk = []
        p = found
        while came[p]:
            p, key = came[p]
            walk.append(key)
        keys += reversed(walk)
        gems.discard(found)
        here = found
        taken += 1
    return keys


def plan():
    """(steps, key held or None) pieces of the whole play."""
    level1 = level_map("rm_level1.zbl")
    level2 = level_map("rm_level2.zbl")
    # A level ends 41 steps after its last gem: the level's step sees no gem left and sets
    # its alarm of 40 steps. The waits after each level leave a few steps more.
    pieces = [(30, None), (1, VK_ENTER)]
    pieces += [(STEPS_PER_CELL, k) for k in route(level1, gems_wanted=1)]
    pieces += [(1, None), (1, VK_R), (20, None), (1, VK_ENTER)]
    pieces += [(STEPS_PER_CELL, k) for k in route(level1)]
    pieces += [(44, None)]
    pieces += [(STEPS_PER_CELL, k) for k in route(level2)]
    pieces += [(44, None), (10, None)]
    return pieces


def records(pieces):
    out = bytearray()
    held_before = None
    last_key = 0
    for steps, key in pieces:
        for _ in range(steps):
            r = bytearray(RECORD_SIZE)
            if key is not None:
                r[KEY_DOWN + key] = 1
                if key != held_before:
                    r[KEY_PRESSED + key] = 1
                    last_key = key
            if held_before is not None and held_before != key:
                r[KEY_RELEASED + held_before] = 1
            struct.pack_into("<ii", r, KEY_LASTKEY, last_key, key or 0)
            out += r
            held_before = key
    return bytes(out)


def main():
    data = records(plan())
    with open(os.path.join(HERE, "playthrough.rec"), "wb") as f:
        f.write(data)
    print(len(data) // RECORD_SIZE)


if __name__ == "__main__":
    main()
