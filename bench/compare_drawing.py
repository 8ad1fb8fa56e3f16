#!/usr/bin/env python3
"""Frame times of pictures as a game draws them, played by this runner and, in turn, by
another runner binary (an earlier build), round after round, headless with SDL's offscreen
driver in a 1024x768 window:

- primitives: 1,000 mixed primitives a frame (points; level, upright and sloped lines;
  rectangles outlined, filled and coloured; triangles filled and outlined; circle outlines;
  health bars; arrows; wide lines) at scattered places and fractional coordinates;
- one kind at a time, 1,000 a frame: long lines (both ends anywhere in the view, every slope
  and either way, as grids, rays and lasers are drawn), short lines (up to 32 window pixels,
  every slope), rectangle outlines, triangle outlines, circle outlines, points, filled shapes
  (rectangles, triangles and circles in turn), long lines one in ten of two colours among
  lines of one (mixedcolours), and long lines all of two colours (twocolours);
- sprites: 3,000 alpha-blended 32x32 sprites a frame (the ball of bench_sprites).

Each is drawn in a room shown 1:1 and through views that scale it by 1/2, 2 and 4 (the view
W/s x H/s room pixels shown in the whole window), its shapes sized in window pixels so that
every scale draws the same picture. The game measures itself as compare_sprites.py's does:
frames per second over SECONDS after 20 frames, the span starting and ending with every frame
drawn (a read of the window).

Textured pictures as games draw them, 1:1 and through views that scale the room by 1/2, 2
and 4 (W/s x H/s room pixels in the whole window; x1.5 on request), each covering about three
windows' worth of pixels a frame at every scale, at whole room positions and at fractional
ones (`random()` places, fractional scrolling), as objects moving at fractional speeds stand:
- sprites (sprites_frac) at s: 3,000 / s^2 of the sprites above;
- text (text_frac) at s: 150 / s^2 lines of text in a game font;
- backgrounds at s: four room background layers of a 128x64 image tiled both ways, moving 1 to 4
  pixels a frame; backgrounds_frac: 300 / s^2 of that image drawn at random() places;
- tiles (tiles_frac) at s: two layers of 16x16 tiles from a tile set covering the view (the
  layers put at fractional places);
- draw_sprite_ext at fractional positions, 3,000 / s^2 a frame: turned by multiples of 90
  degrees (ext_90), by any angle (ext_angle), mirrored across, down or both (ext_mirror), and
  stretched by uneven factors such as 1.7 x 0.6 (ext_uneven);
- issue: 3,000 sprites at random() places through a 512 x 384 view shown at 1024 x 768.

Frame times are processor time by default (--measure cpu): the rasteriser on the program's own
thread (LP_NUM_THREADS=0), each game played to two frame counts (ZIMBREL_MAX_FRAMES) and the
difference of the processor time the runner used (user and system) divided by the difference
of frames, so that start-up and the machine's load drop out. --measure wall keeps the game's
own frames a second over SECONDS of wall time instead.

    python3 bench/compare_drawing.py --other RUNNER [--build build] [--rounds 3] [--seconds 2]
                                     [--pictures long,short,...] [--scales 1,0.5,2,4]
                                     [--textured with|only|without] [--kinds sprites,text_frac,...]
                                     [--tscales 1,1/2,2,4] [--measure cpu|wall]

Prints each round and, per picture and scale, the median frame time of each runner and their
ratio (this one / the other: above 1, this one is slower).
"""
import argparse
import json
import os
import statistics
import subprocess
import tempfile

from compare_sprites import ENV, ROOT, ball_png, fps

W, H = 1024, 768
SCALES = {"1": "1:1", "0.5": "1/2", "2": "x2", "4": "x4"}

# The mixed primitives: how many of each a frame (1,000 in all) and the call drawing number i
# of the arrays made in the create event.
PRIMITIVES = [
    (150, "draw_point(ax[i], ay[i]);"),
    (100, "draw_line(ax[i], ay[i], bx[i], ay[i]);"),
    (100, "draw_line(ax[i], ay[i], ax[i], by[i]);"),
    (150, "draw_line(ax[i], ay[i], bx[i], by[i]);"),
    (100, "draw_rectangle(ax[i], ay[i], bx[i], by[i], true);"),
    (100, "draw_rectangle(ax[i], ay[i], bx[i], by[i], false);"),
    (50, "draw_rectangle_color(ax[i], ay[i], bx[i], by[i], c_red, c_green, c_blue, c_white, false);"),
    (50, "draw_triangle(ax[i], ay[i], bx[i], ay[i], ax[i], by[i], false);"),
    (50, "draw_triangle(ax[i], ay[i], bx[i], ay[i], ax[i], by[i], true);"),
    (30, "draw_circle(ax[i], ay[i], 12 * k, true);"),
    (40, "draw_healthbar(ax[i], ay[i], bx[i], ay[i] + 6 * k, 60, c_black, c_red, c_green, 0, true, true);"),
    (40, "draw_arrow(ax[i], ay[i], bx[i], by[i], 8 * k);"),
    (40, "draw_line_width(ax[i], ay[i], bx[i], by[i], 3 * k);"),
]

# One kind a picture: 1,000 calls, where (a, b) are 1,000 places and their partners.
KINDS = {
    "long": "draw_line(ax[i], ay[i], cx[i], cy[i]);",
    "short": "draw_line(ax[i], ay[i], dx[i], dy[i]);",
    "rectangles": "draw_rectangle(ax[i], ay[i], bx[i], by[i], true);",
    "triangles": "draw_triangle(ax[i], ay[i], bx[i], ay[i], dx[i], by[i], true);",
    "circles": "draw_circle(ax[i], ay[i], r[i], true);",
    "points": "draw_point(ax[i], ay[i]);",
    # Long lines, one in ten of two colours (a colour fading along it) among those of one.
    "mixedcolours": ("if (i mod 10 == 0) draw_line_color(ax[i], ay[i], cx[i], cy[i], c_red, c_blue);"
                     " else draw_line(ax[i], ay[i], cx[i], cy[i]);"),
    "twocolours": "draw_line_color(ax[i], ay[i], cx[i], cy[i], c_red, c_blue);",
    "filled": ("if (i mod 3 == 0) draw_rectangle(ax[i], ay[i], bx[i], by[i], false);"
               " else if (i mod 3 == 1) draw_triangle(ax[i], ay[i], bx[i], ay[i], dx[i], by[i], false);"
               " else draw_circle(ax[i], ay[i], r[i], false);"),
}
PICTURES = ["primitives"] + list(KINDS) + ["sprites"]


def timing(seconds):
    """The step event: frames a second over SECONDS after 20 frames, the span starting and ending
    with every frame drawn (a read of the window); none when seconds is 0 (the run is ended by
    ZIMBREL_MAX_FRAMES and timed from outside)."""
    if not seconds:
        return ""
    return ("frames += 1; if (frames == 20) { draw_getpixel(0, 0); t0 = current_time; }"
            " if (frames > 20 && current_time - t0 >= %d) { draw_getpixel(0, 0);"
            " show_debug_message('FPS ' + string((frames - 20) * 1000 / (current_time - t0))); game_end(); }"
            % int(seconds * 1000))


def pack(gamepack, folder, picture, scale, seconds):
    s = float(scale)
    vw, vh = int(W / s), int(H / s)
    if picture == "sprites":
        n = 3000
        create = ("var i; for (i = 0; i < %d; i += 1) { ax[i] = (i * 7919) mod %d; ay[i] = (i * 104729) mod %d; }"
                  % (n, vw - 32, vh - 32))
        draw = "var i; for (i = 0; i < %d; i += 1) draw_sprite(spr_ball, 0, ax[i], ay[i]);" % n
        sprites = [{"name": "spr_ball", "image": "ball.png"}]
    else:
        # k: one window pixel in room pixels. Places across the view in sixteenths of a window
        # pixel; b up to 64 window pixels right of and below a, c anywhere in the view, d up
        # to 32 window pixels from a any way; radii 4 to 24 window pixels.
        create = ("k = %r; var i; for (i = 0; i < 1000; i += 1) {"
                  " ax[i] = ((i * 7919) mod %d) / 16 * k + 16 * k; ay[i] = ((i * 104729) mod %d) / 16 * k + 16 * k;"
                  " bx[i] = ax[i] + ((i * 31) mod 1024) / 16 * k; by[i] = ay[i] + ((i * 57) mod 1024) / 16 * k;"
                  " cx[i] = ((i * 15485863) mod %d) / 16 * k; cy[i] = ((i * 32452843) mod %d) / 16 * k;"
                  " dx[i] = ax[i] + (((i * 37) mod 1024) / 16 - 32) * k; dy[i] = ay[i] + (((i * 61) mod 1024) / 16 - 32) * k;"
                  " r[i] = (4 + (i * 13) mod 21) * k; }"
                  % (1.0 / s, (W - 96) * 16, (H - 96) * 16, W * 16, H * 16))
        draw = "draw_set_colour(c_white); var i;"
        if picture == "primitives":
            # The places of the mixed picture: up to 64 window pixels either way.
            create += (" for (i = 0; i < 1000; i += 1) { bx[i] = ax[i] + (((i * 31) mod 1024) / 8 - 64) * k;"
                       " by[i] = ay[i] + (((i * 57) mod 1024) / 8 - 64) * k; }")
            first = 0
            for count, call in PRIMITIVES:
                draw += " for (i = %d; i < %d; i += 1) %s" % (first, first + count, call)
                first += count
        else:
            draw += " for (i = 0; i < 1000; i += 1) %s" % KINDS[picture]
        sprites = []
    create += " frames = 0; t0 = 0;"
    step = timing(seconds)
    room = {"name": "rm", "width": max(W, vw), "height": max(H, vh), "speed": 9999,
            "instances": [{"object": "obj_draw"}]}
    if scale != "1":
        room.update({"views_enabled": True, "views": [{"visible": True, "width": vw, "height": vh,
                                                        "port_width": W, "port_height": H}]})
    manifest = {
        "name": "Drawing", "mode": "source", "window": {"width": W, "height": H}, "sprites": sprites,
        "objects": [{"name": "obj_draw", "events": [
            {"type": "create", "code": create}, {"type": "step", "code": step}, {"type": "draw", "code": draw}]}],
        "rooms": [room],
    }
    name = "%s %s" % (picture, SCALES[scale])
    path = os.path.join(folder, "%s_%s.json" % (picture, scale))
    with open(path, "w") as f:
        json.dump(manifest, f)
    out = path[:-5] + ".win"
    subprocess.run([gamepack, path, out], check=True, capture_output=True)
    return name, out


# The textured pictures' views: name, and the scale as (window pixels, room pixels).
TEXTURED_SCALES = {"1": ("1:1", 1, 1), "1/2": ("1/2", 1, 2), "1.5": ("x1.5", 3, 2), "2": ("x2", 2, 1), "4": ("x4", 4, 1)}
TEXTURED = ["sprites", "sprites_frac", "text", "text_frac", "backgrounds", "backgrounds_frac", "tiles", "tiles_frac",
            "ext_90", "ext_angle", "ext_mirror", "ext_uneven", "issue"]
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"


def tileset_png(path):
    """A 128x64 opaque image: a background, and eight by four tiles of 16x16."""
    import struct
    import zlib
    rows = b"".join(b"\0" + b"".join(bytes([(x * 37 + y) & 255, (y * 53 + x // 16 * 40) & 255, (x ^ y) * 2 & 255, 255])
                                      for x in range(128)) for y in range(64))

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 128, 64, 8, 6, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def pack_textured(gamepack, folder, picture, scale, seconds):
    label, p, q = scale
    if picture == "issue":
        label, p, q = "x2", 2, 1
    # The view and the port (the whole window) at exactly the scale: 682 x 512 at 1.5 in 1023 x 768.
    vw, vh = W * q // p, H * q // p
    pw, ph = vw * p // q, vh * p // q
    frac = picture.endswith("_frac") or picture.startswith("ext_") or picture == "issue"
    kind = picture[:-5] if picture.endswith("_frac") else picture
    create, draw, backgrounds, tiles = "frames = 0; t0 = 0; random_set_seed(7);", "", [], []
    # Places: whole ones spread by two primes, or random() ones anywhere in the view.
    if frac:
        place = "ax[i] = random(%d); ay[i] = random(%d);"
    else:
        place = "ax[i] = (i * 7919) mod %d; ay[i] = (i * 104729) mod %d;"
    if kind in ("sprites", "issue") or kind.startswith("ext_"):
        n = 3000 if kind == "issue" else 3000 * q * q // (p * p)
        create += " var i; for (i = 0; i < %d; i += 1) { %s }" % (n, place % (vw - 32, vh - 32))
        if kind in ("sprites", "issue"):
            draw = "var i; for (i = 0; i < %d; i += 1) draw_sprite(spr_ball, 0, ax[i], ay[i]);" % n
        else:
            # Each sprite's own turn, mirror or stretch, made once.
            how = {"ext_90": "sx[i] = 1; sy[i] = 1; an[i] = 90 * (i mod 4);",
                   "ext_angle": "sx[i] = 1; sy[i] = 1; an[i] = random(360);",
                   "ext_mirror": "sx[i] = 1 - 2 * (i mod 2); sy[i] = 1 - 2 * ((i div 2) mod 2); an[i] = 0;",
                   "ext_uneven": "sx[i] = choose(1.7, 0.6, 1.3, 2.3); sy[i] = choose(0.6, 1.7, 0.75, 1.45); an[i] = 0;"}[kind]
            create += " for (i = 0; i < %d; i += 1) { %s }" % (n, how)
            draw = ("var i; for (i = 0; i < %d; i += 1) draw_sprite_ext(spr_ball, 0, ax[i] + 16, ay[i] + 16, sx[i], sy[i],"
                    " an[i], c_white, 1);" % n)
    elif kind == "text":
        n = max(1, 150 * q * q // (p * p))
        create += " var i; for (i = 0; i < %d; i += 1) { %s }" % (n, place % (vw - 200, vh - 40))
        draw = ("draw_set_font(fnt); draw_set_colour(c_white); var i; for (i = 0; i < %d; i += 1)"
                " draw_text(ax[i], ay[i], 'Score 120450  Lives 3#The quick brown fox jumps');" % n)
    elif kind == "backgrounds" and not frac:
        backgrounds = [{"background": "bg_set", "hspeed": k, "vspeed": k // 2} for k in range(1, 5)]
    elif kind == "backgrounds":
        # Room layers are tiled from whole places; backgrounds drawn at random() places instead.
        n = max(1, 300 * q * q // (p * p))
        create += " var i; for (i = 0; i < %d; i += 1) { %s }" % (n, place % (vw - 64, vh - 32))
        draw = "var i; for (i = 0; i < %d; i += 1) draw_background(bg_set, ax[i] - 64, ay[i] - 32);" % n
    else:
        if frac:
            # The layers where a view following something at a fractional speed puts them.
            create += (" var l, tx, ty; for (l = 0; l < 2; l += 1) for (ty = 0; ty < %d; ty += 16) for (tx = 0; tx < %d; tx += 16)"
                       " tile_add(bg_set, (tx div 16 * 16 + ty div 16 * 48 + l * 32) mod 128, (tx div 16 + ty div 16 * 3 + l) mod 4 * 16,"
                       " 16, 16, tx + 0.37 + l * 0.34, ty + 0.61 - l * 0.48, 1000 + l);" % (vh, vw))
        else:
            tiles = [{"background": "bg_set", "x": x, "y": y, "left": (x // 16 * 16 + y // 16 * 48 + layer * 32) % 128,
                      "top": (x // 16 + y // 16 * 3 + layer) % 4 * 16, "width": 16, "height": 16, "depth": 1000 + layer}
                     for layer in range(2) for y in range(0, vh, 16) for x in range(0, vw, 16)]
    view = {"visible": True, "width": vw, "height": vh, "port_width": pw, "port_height": ph}
    manifest = {
        "name": "Drawing", "mode": "source", "window": {"width": pw, "height": ph},
        "sprites": [{"name": "spr_ball", "image": "ball.png"}], "backgrounds": [{"name": "bg_set", "image": "tileset.png"}],
        "fonts": [{"name": "fnt", "ttf": FONT, "size": 12}] if kind == "text" else [],
        "objects": [{"name": "obj_draw", "events": [
            {"type": "create", "code": create}, {"type": "step", "code": timing(seconds)}, {"type": "draw", "code": draw}]}],
        "rooms": [{"name": "rm", "width": vw, "height": vh, "speed": 9999, "backgrounds": backgrounds, "tiles": tiles,
                   "views_enabled": p != q, "views": [view] if p != q else [], "instances": [{"object": "obj_draw"}]}],
    }
    name = "%s_%s" % (picture, label.replace("/", "over").replace(":", "to"))
    path = os.path.join(folder, name + ".json")
    with open(path, "w") as f:
        json.dump(manifest, f)
    out = os.path.join(folder, name + ".win")
    subprocess.run([gamepack, path, out], check=True, capture_output=True)
    return name, out


def cpu_seconds(args, cwd, frames):
    """The processor time (user and system) a run of so many frames takes, the rasteriser on the
    program's thread."""
    env = dict(ENV, LP_NUM_THREADS="0", ZIMBREL_MAX_FRAMES=str(frames))
    p = subprocess.Popen(args, env=env, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(p.pid, 0)
    p.returncode = os.waitstatus_to_exitcode(status)
    if p.returncode != 0:
        raise SystemExit("%s ended with %d" % (args[0], p.returncode))
    return usage.ru_utime + usage.ru_stime


FIRST = 20  # frames played before the span timed from outside (start-up, first uploads)


def cpu_frame_ms(args, cwd, frames):
    """Milliseconds of processor time a frame: (time of FIRST + frames) - (time of FIRST)."""
    return 1000.0 * (cpu_seconds(args, cwd, FIRST + frames) - cpu_seconds(args, cwd, FIRST)) / frames


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(ROOT, "build"))
    ap.add_argument("--other", required=True, help="another runner binary to play the same games")
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--seconds", type=float, default=2.0, help="about how long a timed span lasts")
    ap.add_argument("--pictures", default=",".join(PICTURES), help="some of: " + ", ".join(PICTURES))
    ap.add_argument("--scales", default=",".join(SCALES), help="some of: " + ", ".join(SCALES))
    ap.add_argument("--textured", choices=("with", "only", "without"), default="with",
                    help="the textured pictures as well, alone, or not")
    ap.add_argument("--kinds", default=",".join(TEXTURED), help="textured pictures, some of: " + ", ".join(TEXTURED))
    ap.add_argument("--tscales", default="1,1/2,2,4", help="their scales, some of: " + ", ".join(TEXTURED_SCALES))
    ap.add_argument("--measure", choices=("cpu", "wall"), default="cpu",
                    help="processor time a frame from outside, or the game's own frames a second")
    a = ap.parse_args()
    runner = os.path.join(a.build, "runner")
    seconds = a.seconds if a.measure == "wall" else 0
    with tempfile.TemporaryDirectory() as folder:
        ball_png(os.path.join(folder, "ball.png"))
        tileset_png(os.path.join(folder, "tileset.png"))
        games = [] if a.textured == "only" else [
            pack(os.path.join(a.build, "gamepack"), folder, picture, scale, seconds)
            for picture in a.pictures.split(",") for scale in a.scales.split(",")]
        if a.textured != "without":
            for picture in a.kinds.split(","):
                for scale in (["2"] if picture == "issue" else a.tscales.split(",")):
                    games.append(pack_textured(os.path.join(a.build, "gamepack"), folder, picture,
                                               TEXTURED_SCALES[scale], seconds))
        results = {name: ([], []) for name, _ in games}
        frames = {}
        for r in range(a.rounds):
            for name, game in games:
                # The two in turn, which first changing each round.
                order = [(0, runner), (1, a.other)] if r % 2 == 0 else [(1, a.other), (0, runner)]
                if a.measure == "cpu" and name not in frames:
                    # As many frames as take about SECONDS of the other runner's processor time.
                    per = max(cpu_frame_ms([a.other, "-game", game], folder, 10), 0.05)
                    frames[name] = max(10, min(2000, int(a.seconds * 1000 / per)))
                got = {}
                for side, program in order:
                    if a.measure == "cpu":
                        got[side] = cpu_frame_ms([program, "-game", game], folder, frames[name])
                    else:
                        got[side] = 1000.0 / fps([program, "-game", game], cwd=folder)
                    results[name][side].append(got[side])
                print("round %d, %-22s: this runner %7.3f ms, other %7.3f ms, ratio %.2f" % (
                    r + 1, name, got[0], got[1], got[0] / got[1]), flush=True)
        print("picture | this runner ms a frame (median) | other runner ms a frame (median) | ratio of medians"
              " | rounds' ratios (median)")
        for name, _ in games:
            ours, theirs = statistics.median(results[name][0]), statistics.median(results[name][1])
            ratios = statistics.median(o / t for o, t in zip(*results[name]))
            print("%s | %.3f | %.3f | %.2f | %.2f" % (name, ours, theirs, ours / theirs, ratios))


if __name__ == "__main__":
    main()
