#!/usr/bin/env python3
"""Times the paths games go through every save and every frame, build against build: whole
games played headless from exec to exit, the runner under test and another (an older build)
in turn, pair by pair.

    python3 bench/runner_paths.py --runner OTHER/runner [--build build] [--runs 9]

    saves   a create event that does, 3,000 times, an ini_open/ini_write_real/ini_close, a
            file_text_open_write/file_text_write_string/file_text_close and a buffer_save of
            256 bytes (50 INI keys, 20 text and 20 buffer files of its save area)
    reads   the same files read back 3,000 times (ini_read_real, file_text_open_read,
            buffer_load)
    input   20,000 steps at room speed 9999, each reading keyboard_check_pressed and
            keyboard_check_released of 120 keys, mouse_check_button_pressed and keyboard_key
    pace    180 frames at room speed 60: the frame's sleep

For each game the medians of the wall and processor times (user + system) of both runners are
printed, with the median of the pairs' ratios (this runner / the other).
"""
import argparse
import json
import os
import statistics
import subprocess
import tempfile
import time

from runner_games import pack

SAVES = ("var b, i, f; b = buffer_create(256, 0, 1); for (i = 0; i < 3000; i += 1) { ini_open('s.ini'); "
         "ini_write_real('s', 'k' + string(i mod 50), i); ini_close(); "
         "f = file_text_open_write('t' + string(i mod 20) + '.txt'); file_text_write_string(f, 'line ' + string(i)); "
         "file_text_close(f); buffer_save(b, 'b' + string(i mod 20) + '.bin'); } buffer_delete(b); game_end();")
READS = ("var s, i, f, b; s = 0; for (i = 0; i < 3000; i += 1) { ini_open('s.ini'); "
         "s += ini_read_real('s', 'k' + string(i mod 50), 0); ini_close(); "
         "f = file_text_open_read('t' + string(i mod 20) + '.txt'); file_text_close(f); "
         "b = buffer_load('b' + string(i mod 20) + '.bin'); buffer_delete(b); } game_end();")
INPUT = ("var k; for (k = 8; k < 128; k += 1) { if (keyboard_check_pressed(k) || keyboard_check_released(k)) n += 1; } "
         "if (mouse_check_button_pressed(mb_left)) n += 1; n += keyboard_key;")


def stepping(gamepack, folder, name, step, speed):
    """A game of one instance with step code in a room of that speed."""
    manifest = {"name": name,
                "objects": [{"name": "obj_run", "events": [{"type": "create", "code": "n = 0;"},
                                                           {"type": "step", "code": step}]}],
                "rooms": [{"name": "rm", "width": 64, "height": 64, "speed": speed,
                           "instances": [{"object": "obj_run", "x": 0, "y": 0}]}]}
    path = os.path.join(folder, name + ".json")
    with open(path, "w") as f:
        json.dump(manifest, f)
    out = os.path.join(folder, name + ".win")
    subprocess.run([gamepack, path, out], check=True, capture_output=True)
    return out


def once(runner, game, frames, data):
    env = dict(os.environ, SDL_VIDEODRIVER="offscreen", SDL_AUDIODRIVER="dummy", ALSOFT_DRIVERS="null",
               XDG_DATA_HOME=data, ZIMBREL_MAX_FRAMES=str(frames))
    before = os.times()
    start = time.perf_counter()
    subprocess.run([runner, "-game", game], env=env, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, cwd=os.path.dirname(game))
    wall = time.perf_counter() - start
    after = os.times()
    return wall, after.children_user - before.children_user + after.children_system - before.children_system


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "build"))
    ap.add_argument("--runner", required=True, help="the other runner")
    ap.add_argument("--runs", type=int, default=9)
    a = ap.parse_args()
    this = os.path.join(a.build, "runner")
    gamepack = os.path.join(a.build, "gamepack")
    with tempfile.TemporaryDirectory() as folder:
        data = os.path.join(folder, "data")
        games = [("saves", pack(gamepack, folder, "saves", SAVES), 0),
                 ("reads", pack(gamepack, folder, "reads", READS), 0),
                 ("input", stepping(gamepack, folder, "input", INPUT, 9999), 20000),
                 ("pace", stepping(gamepack, folder, "pace", "n += 1;", 60), 180)]
        once(this, games[0][1], 0, data)  # the files the reads read
        print(f"{'game':8} {'this wall (cpu)':>18} {'other wall (cpu)':>18} {'ratio wall (cpu)':>18}")
        for name, game, frames in games:
            ours, theirs = [], []
            for _ in range(a.runs):
                ours.append(once(this, game, frames, data))
                theirs.append(once(a.runner, game, frames, data))
            med = lambda xs, i: statistics.median(x[i] for x in xs)
            ratio = lambda i: statistics.median(o[i] / t[i] for o, t in zip(ours, theirs) if t[i] > 0)
            print(f"{name:8} {med(ours, 0):9.3f} ({med(ours, 1):5.2f}) {med(theirs, 0):9.3f} ({med(theirs, 1):5.2f}) "
                  f"{ratio(0):10.2f} ({ratio(1):4.2f})")


if __name__ == "__main__":
    main()
