#!/usr/bin/env python3
"""Times the log as a game pays for it: a game whose create event writes --count lines with
show_debug_message (default 500,000, 41 bytes each) and ends, played headless from exec to
exit with its log going to each of the three kinds of output:

    file      the standard output a plain file
    null      "-output FILE" a plain file, the standard output /dev/null
    pipe      the standard output a pipe into `cat >/dev/null`
    terminal  the standard output a pseudo-terminal whose master side `cat >/dev/null` reads

    python3 bench/runner_log.py [--build build] [--runner OTHER/runner ...] [--runs 7] [--count 500000]

Each runner (build/runner first, then every --runner, an older build to compare with) plays
each kind --runs times, in turn; the median wall time and the median processor time (user +
system, of the runner and, for the pipe and the terminal, of cat) are printed.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

from runner_games import pack

KINDS = ("file", "null", "pipe", "terminal")


def play(runner, game, kind, folder):
    """Wall and processor seconds of one play with its log going to kind."""
    env = dict(os.environ, SDL_VIDEODRIVER="offscreen", SDL_AUDIODRIVER="dummy", ALSOFT_DRIVERS="null")
    log = os.path.join(folder, "log.txt")
    if os.path.exists(log):
        os.remove(log)
    args = [runner, "-game", game]
    before = os.times()
    start = time.perf_counter()
    if kind == "file":
        with open(log, "wb") as out:
            subprocess.run(args, env=env, check=True, stdout=out, stderr=subprocess.DEVNULL)
    elif kind == "null":
        subprocess.run(args + ["-output", log], env=env, check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    elif kind == "terminal":
        master, slave = os.openpty()
        with open(os.devnull, "wb") as null:
            cat = subprocess.Popen(["cat"], stdin=master, stdout=null, stderr=subprocess.DEVNULL)
            os.close(master)
            subprocess.run(args, env=env, check=True, stdout=slave, stderr=subprocess.DEVNULL)
            os.close(slave)
            cat.wait()  # the terminal's end (EIO) once nobody has the slave side open
    else:
        with open(os.devnull, "wb") as null:
            cat = subprocess.Popen(["cat"], stdin=subprocess.PIPE, stdout=null)
            subprocess.run(args, env=env, check=True, stdout=cat.stdin, stderr=subprocess.DEVNULL)
            cat.stdin.close()
            cat.wait()
    wall = time.perf_counter() - start
    after = os.times()
    cpu = (after.children_user - before.children_user) + (after.children_system - before.children_system)
    return wall, cpu


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build")
    parser.add_argument("--runner", action="append", default=[])
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--count", type=int, default=500000)
    a = parser.parse_args()
    runners = [os.path.abspath(os.path.join(a.build, "runner"))] + [os.path.abspath(r) for r in a.runner]
    gamepack = os.path.abspath(os.path.join(a.build, "gamepack"))
    with tempfile.TemporaryDirectory() as folder:
        create = "repeat (%d) show_debug_message('a line of the log, forty bytes long.'); game_end();" % a.count
        game = pack(gamepack, folder, "LogLines", create, mode="--bytecode")
        times = {(r, k): ([], []) for r in runners for k in KINDS}
        for _ in range(a.runs):
            for kind in KINDS:
                for runner in runners:
                    wall, cpu = play(runner, game, kind, folder)
                    times[(runner, kind)][0].append(wall)
                    times[(runner, kind)][1].append(cpu)
        print("%-8s %-50s %10s %10s" % ("output", "runner", "wall s", "cpu s"))
        for kind in KINDS:
            for runner in runners:
                wall, cpu = times[(runner, kind)]
                print("%-8s %-50s %10.3f %10.3f" % (kind, runner[-50:], statistics.median(wall), statistics.median(cpu)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
