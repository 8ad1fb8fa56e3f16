#!/usr/bin/env python3
"""Frames per second of alpha-blended 32x32 sprites in a 1024x768 window as programs play
them: the runner playing a packed game (one instance whose draw event is a ZBL loop of
draw_sprite over places made in its create event) and SDL_Renderer drawing the same picture
(`bench_sprites --play-sdl`), in turn, round after round, headless with SDL's offscreen driver.
Neither waits for its pictures to be finished: each goes on with the next frame while the
last is drawn, as a playing program does; but the timed span starts and ends with every frame
drawn (a read of the window), since Mesa's software rasteriser can queue seconds of frames.

    python3 bench/compare_sprites.py [--build build] [--rounds 3] [--seconds 4] [--other RUNNER]
                                     [--together] [--one-thread]

Prints each pair and, per count, the median frames per second of each side and their ratio.
--other plays the same game with another runner binary too (an earlier build), in the same
rounds. --together starts the runner and SDL's side at the same moment in each round, so that
both meet the same load from the rest of the machine (each then has about half of it).
--one-thread sets LP_NUM_THREADS=0 for both sides: Mesa's software rasteriser then draws every
frame on the program's own thread, so the figures compare the whole work of a frame without
the overlap of the rasteriser's threads.
"""
import argparse
import json
import os
import re
import statistics
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
COUNTS = (1000, 10000, 50000)
W, H, SIZE = 1024, 768, 32


def ball_png(path):
    """The sprite of bench_sprites: a ball whose edge fades out."""
    import math
    import struct
    import zlib
    rows = b""
    for y in range(SIZE):
        rows += b"\0"
        for x in range(SIZE):
            a = max(0, min(255, int((16 - math.hypot(x - 15.5, y - 15.5)) * 64)))
            rows += bytes([(x * 8) & 255, (y * 8) & 255, 200, a])

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def pack(gamepack, folder, n, seconds):
    create = ("var i; for (i = 0; i < %d; i += 1) { xx[i] = (i * 7919) mod %d; yy[i] = (i * 104729) mod %d; }"
              " frames = 0; t0 = 0;" % (n, W - SIZE, H - SIZE))
    # draw_getpixel reads the window, so the frames before it are drawn, not only queued:
    # the span starts and ends with every frame finished (see bench_sprites --play-sdl).
    step = ("frames += 1; if (frames == 20) { draw_getpixel(0, 0); t0 = current_time; }"
            " if (frames > 20 && current_time - t0 >= %d) { draw_getpixel(0, 0);"
            " show_debug_message('FPS ' + string((frames - 20) * 1000 / (current_time - t0))); game_end(); }"
            % int(seconds * 1000))
    draw = "var i; for (i = 0; i < %d; i += 1) draw_sprite(spr_ball, 0, xx[i], yy[i]);" % n
    manifest = {
        "name": "Sprites", "mode": "source", "window": {"width": W, "height": H},
        "sprites": [{"name": "spr_ball", "image": "ball.png"}],
        "objects": [{"name": "obj_draw", "events": [
            {"type": "create", "code": create}, {"type": "step", "code": step}, {"type": "draw", "code": draw}]}],
        "rooms": [{"name": "rm", "width": W, "height": H, "speed": 9999,
                   "instances": [{"object": "obj_draw", "x": 0, "y": 0}]}],
    }
    path = os.path.join(folder, "sprites%d.json" % n)
    with open(path, "w") as f:
        json.dump(manifest, f)
    out = os.path.join(folder, "sprites%d.win" % n)
    subprocess.run([gamepack, path, out], check=True, capture_output=True)
    return out


ENV = dict(os.environ, SDL_VIDEODRIVER="offscreen", SDL_AUDIODRIVER="dummy", ALSOFT_DRIVERS="null")


def fps_of(text, program):
    m = re.search(r"FPS ([0-9.]+)", text)
    if not m:
        raise SystemExit("no FPS line from %s" % program)
    return float(m.group(1))


def fps(args, cwd=None):
    return fps_of(subprocess.run(args, env=ENV, cwd=cwd, capture_output=True, text=True, check=True).stdout, args[0])


def fps_together(a_args, a_cwd, b_args):
    """Both programs started at once; their frames per second."""
    pa = subprocess.Popen(a_args, env=ENV, cwd=a_cwd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    pb = subprocess.Popen(b_args, env=ENV, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    out_a, out_b = pa.communicate()[0], pb.communicate()[0]
    return fps_of(out_a, a_args[0]), fps_of(out_b, b_args[0])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(ROOT, "build"))
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--seconds", type=float, default=4.0)
    ap.add_argument("--other", help="another runner binary to play the games in each round")
    ap.add_argument("--together", action="store_true", help="run the runner and SDL's side at once")
    ap.add_argument("--one-thread", action="store_true", help="LP_NUM_THREADS=0 for both sides")
    a = ap.parse_args()
    if a.one_thread:
        ENV["LP_NUM_THREADS"] = "0"
    runner = os.path.join(a.build, "runner")
    bench = os.path.join(a.build, "bench", "bench_sprites")
    with tempfile.TemporaryDirectory() as folder:
        ball_png(os.path.join(folder, "ball.png"))
        games = {n: pack(os.path.join(a.build, "gamepack"), folder, n, a.seconds) for n in COUNTS}
        results = {n: ([], [], []) for n in COUNTS}
        for r in range(a.rounds):
            for n in COUNTS:
                if a.together:
                    ours, theirs = fps_together([runner, "-game", games[n]], folder,
                                                [bench, "--play-sdl", str(n), str(a.seconds)])
                else:
                    ours = fps([runner, "-game", games[n]], cwd=folder)
                    theirs = fps([bench, "--play-sdl", str(n), str(a.seconds)])
                other = fps([a.other, "-game", games[n]], cwd=folder) if a.other else None
                results[n][0].append(ours)
                results[n][1].append(theirs)
                line = "round %d, %6d sprites: runner %7.2f fps, SDL %7.2f fps, ratio %.2f" % (
                    r + 1, n, ours, theirs, ours / theirs)
                if other is not None:
                    results[n][2].append(other)
                    line += "; other runner %7.2f fps, ratio %.2f" % (other, other / theirs)
                print(line, flush=True)
        print("sprites | runner fps (median) | SDL fps (median) | ratio of medians" +
              (" | other runner fps (median) | its ratio" if a.other else ""))
        for n in COUNTS:
            ours, theirs = statistics.median(results[n][0]), statistics.median(results[n][1])
            line = "%d | %.1f | %.1f | %.2f" % (n, ours, theirs, ours / theirs)
            if a.other:
                other = statistics.median(results[n][2])
                line += " | %.1f | %.2f" % (other, other / theirs)
            print(line)


if __name__ == "__main__":
    main()
