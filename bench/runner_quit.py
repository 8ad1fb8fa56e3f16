#!/usr/bin/env python3
"""Times how soon one SIGTERM ends a game that is inside one long built-in, or whose room or
game end runs long after the signal: each case is a game whose step (once) builds its input,
logs "long work" and makes the one call; the signal goes 0.3 s after that line appears, and
the time is from the signal to the process's end (wall time, headless, shutdown included).

    python3 bench/runner_quit.py [--build build] [--only NAME,...] [--limit 60]

A run that is not over after --limit seconds is killed and shown as "> limit". The inputs are
large (up to some gigabytes of memory for the compile); --only picks cases by name.

    python3 bench/runner_quit.py --saves [--build build] [--runs 20]

--saves counts, over --runs plays each, what the game's end keeps after a quit: a step that
writes 1,000,000 lines with file_text_* and then an INI of what it wrote, SIGTERM 0.05 s into
it (its file whole and recorded); SIGTERM 0.1 s after the first step, while the frame waits at
a room speed of 2 (the room end sees one step); a game end event that writes 2,000,000 lines and
its INI after SIGTERM (whole and recorded); SIGTERM twice back to back, SIGHUP twice (as a
closed terminal sends it) and SIGTERM with SIGHUP (the room end and game end events ran).
"""
import argparse
import os
import shutil
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


# name, the step, the room end, the game end, the signals, when they go (after "go" appears).
SAVE = ("f = file_text_open_write('$F'); for (i = 0; i < $N; i += 1) { file_text_write_string(f, 'line ' + string(i));"
        " file_text_writeln(f); } file_text_close(f); ini_open('record.ini'); ini_write_real('s', '$F', $N); ini_close();")
SAVES = [
    ("step saves 1,000,000 lines, SIGTERM in it", "if (n == 2) { show_debug_message('go'); "
     + SAVE.replace("$F", "step.txt").replace("$N", "1000000") + " }", "", "", [signal.SIGTERM], 0.05),
    ("SIGTERM in the frame's wait", "if (n == 1) show_debug_message('go');", "show_debug_message('steps ' + string(n));", "",
     [signal.SIGTERM], 0.1),
    ("game end saves 2,000,000 lines", "show_debug_message('go');", "",
     SAVE.replace("$F", "end.txt").replace("$N", "2000000"), [signal.SIGTERM], 0.0),
    ("SIGTERM twice", "show_debug_message('go');", "", "show_debug_message('game end done');",
     [signal.SIGTERM, signal.SIGTERM], 0.0),
    ("SIGHUP twice", "show_debug_message('go');", "", "show_debug_message('game end done');",
     [signal.SIGHUP, signal.SIGHUP], 0.0),
    ("SIGTERM and SIGHUP", "show_debug_message('go');", "", "show_debug_message('game end done');",
     [signal.SIGTERM, signal.SIGHUP], 0.0),
]


def saved(case, folder, log):
    """Whether the play kept what the case asks for."""
    name = case[0]
    area = os.path.join(folder, "QuitSaves")
    record = open(os.path.join(area, "record.ini"), errors="replace").read() if os.path.exists(
        os.path.join(area, "record.ini")) else ""
    if "lines" in name:
        f = "step.txt" if name.startswith("step") else "end.txt"
        path = os.path.join(area, f)
        lines = open(path, errors="replace").read().count("\n") if os.path.exists(path) else 0
        return f + "=" in record and lines == (1000000 if f == "step.txt" else 2000000)
    if "frame" in name:
        return "steps 1\n" in log
    return "game end done\n" in log


def saves(runner, gamepack, folder, runs):
    for i, (name, step, roomEnd, gameEnd, signals, after) in enumerate(SAVES):
        events = [{"type": "create", "code": "n = 0; room_speed = 2;" if "frame" in name else "n = 0;"},
                  {"type": "step", "code": "n += 1; " + step},
                  {"type": "other", "number": 5, "code": roomEnd}, {"type": "other", "number": 3, "code": gameEnd}]
        game = pack(gamepack, folder, "QuitSaves", None, events=events, mode="--bytecode")
        kept = 0
        for r in range(runs):
            data = os.path.join(folder, "data%d-%d" % (i, r))
            log = os.path.join(data, "log.txt")
            os.makedirs(data)
            env = dict(os.environ, SDL_VIDEODRIVER="offscreen", SDL_AUDIODRIVER="dummy", ALSOFT_DRIVERS="null",
                       XDG_DATA_HOME=data)
            p = subprocess.Popen([runner, "-game", game, "-output", log], env=env, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
            start = time.monotonic()
            while time.monotonic() - start < 60 and not (os.path.exists(log) and "go\n" in open(log, errors="replace").read()):
                time.sleep(0.005)
            time.sleep(after)
            for s in signals:
                p.send_signal(s)
            try:
                p.wait(30)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
            kept += saved(SAVES[i], data, open(log, errors="replace").read())
            shutil.rmtree(data)
        print("%-40s %d of %d kept" % (name, kept, runs))
        sys.stdout.flush()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "build"))
    ap.add_argument("--only", default="")
    ap.add_argument("--limit", type=float, default=60)
    ap.add_argument("--saves", action="store_true")
    ap.add_argument("--runs", type=int, default=20)
    a = ap.parse_args()
    only = [s for s in a.only.split(",") if s]
    runner, gamepack = os.path.join(a.build, "runner"), os.path.join(a.build, "gamepack")
    with tempfile.TemporaryDirectory() as folder:
        if a.saves:
            return saves(runner, gamepack, folder, a.runs)
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
