#!/usr/bin/env python3
"""Times games that make many things at run time, as a player meets them: each creator is
called N times from one create event and the game ends; the time is the processor time of
the whole run from exec to exit (shutdown included; user and system, all threads), headless,
less an empty game's. Processor time rather than wall time, so that other work on the
machine disturbs the figures less.

    python3 bench/runner_creators.py [--build build] [--runs 3] [--only NAME,...] [--sizes 10000,100000]

(the parent chain runs at 2,000 and 20,000, the objects made then deleted at 10,000 and 99,000,
unless --sizes is given).

For every creator the table shows the time at each size and the ratio of the largest to the
smallest; a table whose cost per item does not grow with the count keeps the ratio near the
ratio of the sizes (10 for 10 k and 100 k).
"""
import argparse
import os
import subprocess
import sys
import tempfile

from runner_games import pack

# name, code run once before the loop, the loop's body (i counts from 0)[, sizes of its own
# [, code run once after the loop]]
CREATORS = [
    ("buffer_create", "", "buffer_create(16, 0, 1);"),
    ("tile_add", "b = background_create_color(16, 16, c_red);",
     "tile_add(b, 0, 0, 16, 16, i mod 640, i div 640, 0);"),
    ("sprite_create_from_surface", "s = surface_create(4, 4);",
     "sprite_create_from_surface(s, 0, 0, 4, 4, false, false, 0, 0);"),
    ("background_create_color", "", "background_create_color(4, 4, c_red);"),
    ("surface_create", "", "surface_create(4, 4);"),
    ("part_system_create", "", "part_system_create();"),
    ("part_type_create", "", "part_type_create();"),
    ("part_emitter_create", "p = part_system_create();", "part_emitter_create(p);"),
    ("d3d_model_create", "", "d3d_model_create();"),
    ("mp_grid_create", "", "mp_grid_create(0, 0, 1, 1, 16, 16);"),
    ("ini_write_real new sections", "ini_open(\"probe.ini\");", "ini_write_real(\"s\" + string(i), \"k\", i);"),
    ("ini_write_real new keys", "ini_open(\"probe.ini\");", "ini_write_real(\"s\", \"k\" + string(i), i);"),
    ("sprite_add_from_surface frames",
     "s = surface_create(4, 4); spr = sprite_create_from_surface(s, 0, 0, 4, 4, false, false, 0, 0);",
     "sprite_add_from_surface(spr, s, 0, 0, 4, 4, false, false);"),
    # Object indexes stop below 100,000 (instance ids start there): the chain is measured at
    # 2,000 and 20,000.
    ("object_add + object_set_parent chain", "last = object_add();",
     "o = object_add(); object_set_parent(o, last); last = o;", [2000, 20000]),
    # N objects made, then all N deleted (after the loop, i is N).
    ("object_add, then object_delete of each", "", "made[i] = object_add();", [10000, 99000],
     "for (k = 0; k < i; k += 1) object_delete(made[k]);"),
]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "build"))
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--only", default="")
    ap.add_argument("--sizes", default="")
    a = ap.parse_args()
    a.build = os.path.abspath(a.build)  # the runner starts in the game's folder
    a.sizes_given = bool(a.sizes)
    a.sizes = a.sizes or "10000,100000"
    sizes = [int(s) for s in a.sizes.split(",")]
    only = [s for s in a.only.split(",") if s]
    runner = os.path.join(a.build, "runner")
    gamepack = os.path.join(a.build, "gamepack")
    with tempfile.TemporaryDirectory() as folder:
        env = dict(os.environ, SDL_VIDEODRIVER="offscreen", SDL_AUDIODRIVER="dummy", ALSOFT_DRIVERS="null")

        def cpu_of(game):
            """The least processor time of the runs (the child's own rusage, microseconds)."""
            best = None
            for _ in range(a.runs):
                child = subprocess.Popen([runner, "-game", game], env=env, stdout=subprocess.DEVNULL,
                                         stderr=subprocess.DEVNULL, cwd=os.path.dirname(game))
                _, status, usage = os.wait4(child.pid, 0)
                child.returncode = os.waitstatus_to_exitcode(status)
                if child.returncode != 0:
                    raise SystemExit(f"{game}: the runner ended with {child.returncode}")
                cpu = usage.ru_utime + usage.ru_stime
                best = cpu if best is None else min(best, cpu)
            return best

        empty = cpu_of(pack(gamepack, folder, "empty", "game_end();"))
        print(f"empty game {empty * 1000:.1f} ms (best of {a.runs}); times below are less the empty game")
        print(f"{'creator':<40}" + "".join(f"{n:>12}" for n in sizes) + f"{'ratio':>8}")
        for index, (name, before, body, *own) in enumerate(CREATORS):
            if only and not any(o in name for o in only):
                continue
            times = []
            counts = own[0] if own and not a.sizes_given else sizes
            after = own[1] if len(own) > 1 else ""
            for n in counts:
                code = f"{before}\nfor (i = 0; i < {n}; i += 1) {{ {body} }}\n{after}\ngame_end();"
                game = pack(gamepack, folder, f"c{index}_{n}", code)
                times.append(max(cpu_of(game) - empty, 1e-3))
            print(f"{name:<40}" + "".join(f"{t * 1000:>10.0f}ms" for t in times) + f"{times[-1] / times[0]:>8.1f}"
                  + ("" if counts is sizes else f"   (at {', '.join(str(c) for c in counts)})"))
            sys.stdout.flush()


if __name__ == "__main__":
    sys.exit(main())
