#!/usr/bin/env python3
"""Times the runner as a player meets it: from exec to exit, headless, on games packed from
source by the game packer.

    python3 bench/runner_games.py [--build build] [--runs 15]            start-up only
    python3 bench/runner_games.py --programs [--build build] [--runs 5]  and the five programs
    python3 bench/runner_games.py --appends [--build build] [--runs 3] [--count 100000]

Start-up: an empty game (one room, one instance whose create event calls game_end) is played
`--runs` times; the minimum and the median wall time are printed (the minimum is the figure
least disturbed by other work on the machine).

--programs: each of bench/vm/*.zbl (the programs of bench_vm, at the sizes below) becomes the
create event of a game of its own (`fib` also gets its script); the program's time is the
game's minimum time less the empty game's, set beside lua5.4 running bench/lua/<name>.lua
(best of the same number of runs, its own clock).

--appends: each form of APPENDS (string appends that games write: through an instance id, an
object, `global.o.s`, 2D and local arrays, sums that go on with computed operands) appends
--count times in a create event; its time is the game's minimum less the empty game's, under
the byte-code machine and under the tree interpreter (`-oldexec`).
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)

# name, $N, $P (as bench_vm.cpp)
PROGRAMS = [("loop", 50000000, 0), ("arrays", 30000, 100), ("fib", 35, 0), ("strings", 100000, 0),
            ("fields", 20000000, 0)]


# name, the create event ($N: the count of appends)
APPENDS = [
    ("o.s += string(i) + \"abcdefghi\" (o an instance id)",
     "o = instance_create(0, 0, obj_d); o.s = ''; for (i = 0; i < $N; i += 1) o.s += string(i) + 'abcdefghi';"),
    ("global.o.s += \"abcdefghijklmn\"",
     "global.o = instance_create(0, 0, obj_d); global.o.s = ''; "
     "for (i = 0; i < $N; i += 1) global.o.s += 'abcdefghijklmn';"),
    ("obj_d.s += \"abcdefghijklmn\" (object scope)",
     "instance_create(0, 0, obj_d); obj_d.s = ''; for (i = 0; i < $N; i += 1) obj_d.s += 'abcdefghijklmn';"),
    ("a[2, 5] += string(i) + \"abcdefghi\"",
     "a[2, 5] = ''; for (i = 0; i < $N; i += 1) a[2, 5] += string(i) + 'abcdefghi';"),
    ("a[2, 5] = a[2, 5] + string(i) + \"abcdefghi\"",
     "a[2, 5] = ''; for (i = 0; i < $N; i += 1) a[2, 5] = a[2, 5] + string(i) + 'abcdefghi';"),
    ("str = str + k + string(i)",
     "k = 'k'; str = ''; for (i = 0; i < $N; i += 1) str = str + k + string(i);"),
    ("s = s + string(i) + string(i)",
     "s = ''; for (i = 0; i < $N; i += 1) s = s + string(i) + string(i);"),
    ("s = s + name + \": \" + string(score) + \"#\"",
     "name = 'player'; s = ''; for (i = 0; i < $N; i += 1) s = s + name + ': ' + string(i * 7) + '#';"),
    ("la[3] += string(i) + \"abcdefghi\" (var la)",
     "var la; la[3] = ''; for (i = 0; i < $N; i += 1) la[3] += string(i) + 'abcdefghi';"),
    ("la[1, 2] = la[1, 2] + string(i) + \"#\" (var la)",
     "var la; la[1, 2] = ''; for (i = 0; i < $N; i += 1) la[1, 2] = la[1, 2] + string(i) + '#';"),
]


def pack(gamepack, folder, name, create, scripts=(), events=None, mode="--source", objects=()):
    """A game of one instance whose create event runs create (or whose object has events);
    objects names further objects without events."""
    if events is None:
        events = [{"type": "create", "code": create}]
    manifest = {
        "name": name,
        "scripts": [{"name": n, "code": c} for n, c in scripts],
        "objects": [{"name": "obj_run", "events": events}] + [{"name": o, "events": []} for o in objects],
        "rooms": [{"name": "rm", "instances": [{"object": "obj_run", "x": 0, "y": 0}]}],
    }
    path = os.path.join(folder, name + ".json")
    with open(path, "w") as f:
        json.dump(manifest, f)
    out = os.path.join(folder, name + ".win")
    subprocess.run([gamepack, path, out, mode], check=True, capture_output=True)
    return out


def play(runner, game, runs, cpu=None, args=()):
    """Wall times of runs plays (and, into cpu, the processor time of each: user + system)."""
    env = dict(os.environ, SDL_VIDEODRIVER="offscreen", SDL_AUDIODRIVER="dummy", ALSOFT_DRIVERS="null")
    times = []
    for _ in range(runs):
        before = os.times()
        start = time.perf_counter()
        subprocess.run([runner, "-game", game, *args], env=env, check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, cwd=os.path.dirname(game))
        times.append(time.perf_counter() - start)
        after = os.times()
        if cpu is not None:
            cpu.append(after.children_user - before.children_user + after.children_system - before.children_system)
    return times


def lua(name, n, p, runs):
    best = None
    for _ in range(runs):
        args = ["lua5.4", os.path.join(HERE, "lua", name + ".lua"), str(n)] + ([str(p)] if p else [])
        seconds = float(subprocess.run(args, check=True, capture_output=True, text=True).stdout.split()[0])
        best = seconds if best is None else min(best, seconds)
    return best


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(ROOT, "build"))
    ap.add_argument("--runs", type=int, default=0)
    ap.add_argument("--programs", action="store_true")
    ap.add_argument("--appends", action="store_true")
    ap.add_argument("--count", type=int, default=100000)
    a = ap.parse_args()
    a.build = os.path.abspath(a.build)  # the runner starts in the game's folder
    runs = a.runs or (5 if a.programs else 3 if a.appends else 15)
    runner = os.path.join(a.build, "runner")
    gamepack = os.path.join(a.build, "gamepack")
    if a.appends:
        return appends(runner, gamepack, runs, a.count)
    with tempfile.TemporaryDirectory() as folder:
        cpu = []
        empty = play(runner, pack(gamepack, folder, "empty", "game_end();"), runs, cpu)
        print(f"empty game, exec to exit: min {min(empty) * 1000:.1f} ms, "
              f"median {statistics.median(empty) * 1000:.1f} ms; processor time (all threads) "
              f"min {min(cpu) * 1000:.0f} ms, median {statistics.median(cpu) * 1000:.0f} ms ({runs} runs)")
        if not a.programs:
            return
        print(f"{'program':<10} {'ZBL ms':>10} {'Lua ms':>10} {'ratio':>7}")
        for name, n, p in PROGRAMS:
            with open(os.path.join(HERE, "vm", name + ".zbl")) as f:
                text = f.read().replace("$N", str(n)).replace("$P", str(p))
            scripts = ()
            if name == "fib":
                with open(os.path.join(HERE, "vm", "fib_script.zbl")) as f:
                    scripts = (("fib", f.read()),)
            game = pack(gamepack, folder, name, text + "\ngame_end();", scripts)
            zbl = min(play(runner, game, runs)) - min(empty)
            other = lua(name, n, p, runs)
            noise = statistics.median(empty) - min(empty)
            if zbl < noise:  # the program is quicker than start-up varies
                print(f"{name:<10} {'< ' + format(noise * 1000, '.1f'):>10} {other * 1000:>10.1f} {'-':>7}")
            else:
                print(f"{name:<10} {zbl * 1000:>10.1f} {other * 1000:>10.1f} {zbl / other:>7.2f}")


def appends(runner, gamepack, runs, count):
    print(f"{count} appends, ms (the game's fastest of {runs} runs less the empty game's)")
    print(f"{'form':<56} {'machine':>10} {'-oldexec':>10}")
    with tempfile.TemporaryDirectory() as folder:
        empty = pack(gamepack, folder, "empty", "game_end();")
        base = {flags: min(play(runner, empty, runs, args=flags)) for flags in ((), ("-oldexec",))}
        for k, (name, create) in enumerate(APPENDS):
            game = pack(gamepack, folder, f"append{k}", "var i; " + create.replace("$N", str(count)) + " game_end();",
                        objects=("obj_d",))
            ms = [(min(play(runner, game, runs, args=flags)) - base[flags]) * 1000 for flags in base]
            print(f"{name:<56} {ms[0]:>10.1f} {ms[1]:>10.1f}", flush=True)


if __name__ == "__main__":
    sys.exit(main())
