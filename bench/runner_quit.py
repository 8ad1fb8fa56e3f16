#!/usr/bin/env python3
"""Times how soon one SIGTERM ends a game that is inside one long built-in, or whose room or
game end runs long after the signal: each case is a game whose step (once) builds its input,
logs "long work" and makes the one call; the signal goes 0.3 s after that line appears, and
the time is from the signal to the process's end (wall time, headless, shutdown included).

    python3 bench/runner_quit.py [--build build] [--only NAME,...] [--limit 60]

A run that is not over after --limit seconds is killed and shown as "> limit". The inputs are
large (up to some gigabytes of memory for the compile); --only picks cases by name.
"""
import argparse
import os
import signal
import subprocess
import sys
import tempfile
import time

from runner_games import pack

# name, the set-up that builds the input, the call; "end:N" before the name puts both in the
# other event N (5 room end, 3 game end) after a step that loops.
CASES = [
    ("ds_list_sort 150,000 random reals", "l = ds_list_create(); repeat (150000) ds_list_add(l, random(1));",
     "ds_list_sort(l, true);"),
    ("ds_list_sort 10 M integers", "l = ds_list_create(); repeat (10000000) ds_list_add(l, irandom(1000000));",
     "ds_list_sort(l, true);"),
    ("ds_grid_sort 30 M rows", "g = ds_grid_create(1, 30000000);", "ds_grid_sort(g, 0, true);"),
    ("ds_grid_shuffle 16 M cells", "g = ds_grid_create(4096, 4096);", "ds_grid_shuffle(g);"),
    ("string_replace_all 200 MB", "s = string_repeat('ab', 100000000);", "s = string_replace_all(s, 'a', 'xy');"),
    ("string_upper 512 MB", "s = string_repeat('abcdefgh', 64000000);", "s = string_upper(s);"),
    ("json_decode 80 MB", "s = '{' + string_repeat('\"a\":1.5,', 10000000) + '\"a\":1}';", "m = json_decode(s);"),
    ("execute_string 88 MB", "s = string_repeat('a = 1; ', 12500000);", "execute_string(s);"),
    ("buffer_fill 1 GB", "b = buffer_create(1000000000, 0, 1);", "buffer_fill(b, 0, 1, 7, 1000000000);"),
    ("buffer_sha1 1 GB", "b = buffer_create(1000000000, 0, 1);", "s = buffer_sha1(b, 0, 1000000000);"),
    ("string_width 1,000 M characters", "s = string_repeat('a', 1000000000);", "w = string_width(s);"),
    ("string_height 200 M lines", "s = string_repeat('a#', 200000000);", "h = string_height(s);"),
    ("draw_text 5 x 20 M characters", "s = string_repeat('a', 20000000);", "repeat (5) draw_text(0, 0, s);"),
    ("end:5 room end loops", "", "while (true) {}"),
    ("end:3 game end sorts 150,000 reals", "l = ds_list_create(); repeat (150000) ds_list_add(l, random(1));",
     "ds_list_sort(l, true);"),
]


def events_of(name, setup, call):
    work = setup + " show_debug_message('long work'); " + call + " show_debug_message('after');"
    if not name.startswith("end:"):
        return [{"type": "step", "code": "if (!variable_local_exists('once')) { once = 1; " + work + " }"}]
    number = int(name[4:].split(" ")[0])
    return [{"type": "step", "code": "show_debug_message('long work'); while (true) {}"},
            {"type": "other", "number": number, "code": work}]


def signal_to_end(runner, game, log, limit):
    env = dict(os.environ, SDL_VIDEODRIVER="offscreen", SDL_AUDIODRIVER="dummy", ALSOFT_DRIVERS="null",
               XDG_DATA_HOME=os.path.dirname(game))
    p = subprocess.Popen([runner, "-game", game, "-output", log], env=env, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
    start = time.monotonic()
    while time.monotonic() - start < 300:
        if os.path.exists(log) and "long work\n" in open(log, errors="replace").read():
            break
        time.sleep(0.01)
    time.sleep(0.3)
    sent = time.monotonic()
    p.send_signal(signal.SIGTERM)
    try:
        p.wait(limit)
        return time.monotonic() - sent
    except subprocess.TimeoutExpired:
        p.kill()
        p.wait()
        return None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "build"))
    ap.add_argument("--only", default="")
    ap.add_argument("--limit", type=float, default=60)
    a = ap.parse_args()
    only = [s for s in a.only.split(",") if s]
    runner, gamepack = os.path.join(a.build, "runner"), os.path.join(a.build, "gamepack")
    with tempfile.TemporaryDirectory() as folder:
        for i, (name, setup, call) in enumerate(CASES):
            if only and not any(o in name for o in only):
                continue
            game = pack(gamepack, folder, "quit%d" % i, None, events=events_of(name, setup, call), mode="--bytecode")
            seconds = signal_to_end(runner, game, os.path.join(folder, "log%d.txt" % i), a.limit)
            shown = "> %.0f s" % a.limit if seconds is None else "%.2f s" % seconds
            print("%-40s %s" % (name, shown))
            sys.stdout.flush()


if __name__ == "__main__":
    main()
