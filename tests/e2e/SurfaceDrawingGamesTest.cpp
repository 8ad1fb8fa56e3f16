// End to end: what is drawn on a surface lands where it lands on the screen, whatever the
// surface's size against the room's (16 to 8192 pixels wide, narrower and wider than the
// room), drawn after surface_set_target or by views drawn into surfaces (one of them with its
// port inside a wider surface). The screen is the 640 x 480 one whose half-pixel offset is
// measured against its own size. The game reads the pixels back and logs where they lie.
#include <gtest/gtest.h>

#include <map>

#include "E2EGames.h"
#include "support/ScratchFolder.h"

using namespace e2e;

namespace {

// scr_mark(width): three points near the right edge of a target of that width (one on whole
// coordinates, two a tenth of a pixel from pixel edges, where any drift shows), a filled
// rectangle across the whole width (rows 10 to 14) and, where there is room, text, a circle,
// a line and a point in the 40 x 32 pixels from (0, 16).
const char* kMark = "var wd; wd = argument0;\n"
                    "draw_set_colour(c_white);\n"
                    "draw_point(wd - 4, 1);\n"
                    "draw_point(wd - 3.9, 3.1);\n"
                    "draw_point(wd - 3.1, 5.9);\n"
                    "draw_rectangle(0, 10, wd, 14, false);\n"
                    "if (wd >= 40) { draw_text(2, 16, \"srf\"); draw_circle(20, 32, 8, true); draw_line(3, 18, 30, 44); draw_point(5, 40); }\n";

// scr_scan(surface or -1 for the screen, left, width): the lit pixels of the last 12 columns,
// rows 0 to 7 (relative to the right edge), the columns lit in row 12, the rows lit in the
// first and in the last column, and the pixels of the 40 x 32 that differ from the screen's.
const char* kScan = "var sf, x0, wd, xx, yy, t, n;\n"
                    "sf = argument0; x0 = argument1; wd = argument2;\n"
                    "t = \"points\";\n"
                    "for (yy = 0; yy < 8; yy += 1) for (xx = x0 + wd - 12; xx < x0 + wd; xx += 1)\n"
                    "    if (scr_pixel(sf, xx, yy) != 0) t += \" \" + string(xx - x0 - wd) + \",\" + string(yy);\n"
                    "n = 0;\n"
                    "for (xx = x0; xx < x0 + wd; xx += 1) if (scr_pixel(sf, xx, 12) != 0) n += 1;\n"
                    "t += \" rect \" + string(n) + \" first\";\n"
                    "for (yy = 8; yy < 16; yy += 1) if (scr_pixel(sf, x0, yy) != 0) t += \" \" + string(yy);\n"
                    "t += \" last\";\n"
                    "for (yy = 8; yy < 16; yy += 1) if (scr_pixel(sf, x0 + wd - 1, yy) != 0) t += \" \" + string(yy);\n"
                    "if (wd < 40) return t;\n"
                    "n = 0;\n"
                    "for (yy = 0; yy < 32; yy += 1) for (xx = 0; xx < 40; xx += 1)\n"
                    "    if (scr_pixel(sf, x0 + xx, 16 + yy) != global.detail[yy * 40 + xx]) n += 1;\n"
                    "return t + \" detail \" + string(n);\n";

const char* kPixel = "if (argument0 < 0) return draw_getpixel(argument1, argument2);\n"
                     "return surface_getpixel(argument0, argument1, argument2);\n";

// The first room draws on the screen and on surfaces; in the second, views 1 to 3 draw into
// surfaces: 1024 and 16 pixels wide, and a port 40 wide at x 8 of a surface 64 wide.
const char* kCreate = "n = 0;\n"
                      "widths[0] = 16; widths[1] = 40; widths[2] = 128; widths[3] = 640; widths[4] = 1024;\n"
                      "widths[5] = 4096; widths[6] = 8192;\n"
                      "if (room != rm_views) exit;\n"
                      "v[1] = surface_create(1024, 48); v[2] = surface_create(16, 48); v[3] = surface_create(64, 48);\n"
                      "for (i = 1; i <= 3; i += 1) {\n"
                      "    view_surface_id[i] = v[i]; view_visible[i] = true; view_hview[i] = 48; view_hport[i] = 48;\n"
                      "    view_wview[i] = surface_get_width(v[i]); view_wport[i] = view_wview[i];\n"
                      "}\n"
                      "view_wview[3] = 40; view_wport[3] = 40; view_xport[3] = 8;\n";

const char* kDraw = "if (room == rm_views) { if (view_current != 0) scr_mark(view_wview[view_current]); exit; }\n"
                    "if (n != 1) exit;\n"
                    "var lit; lit = 0;\n"
                    "scr_mark(room_width);\n"
                    "for (yy = 0; yy < 32; yy += 1) for (xx = 0; xx < 40; xx += 1) {\n"
                    "    global.detail[yy * 40 + xx] = draw_getpixel(xx, 16 + yy); lit += global.detail[yy * 40 + xx] != 0;\n"
                    "}\n"
                    "show_debug_message(\"screen 640 \" + scr_scan(-1, 0, room_width) + \" lit \" + string(lit));\n"
                    "for (i = 0; i < 7; i += 1) {\n"
                    "    wd = widths[i]; sf = surface_create(wd, 48);\n"
                    "    surface_set_target(sf); draw_clear_alpha(c_black, 1); scr_mark(wd); surface_reset_target();\n"
                    "    show_debug_message(\"surface \" + string(wd) + \" \" + scr_scan(sf, 0, wd));\n"
                    "    surface_free(sf);\n"
                    "}\n";

const char* kStep = "n += 1;\n"
                    "if (room != rm_views) { if (n == 2) room_goto_next(); exit; }\n"
                    "if (n == 3) {\n"
                    "    show_debug_message(\"view 1024 \" + scr_scan(v[1], 0, 1024));\n"
                    "    show_debug_message(\"view 16 \" + scr_scan(v[2], 0, 16));\n"
                    "    show_debug_message(\"view 40 \" + scr_scan(v[3], 8, 40));\n"
                    "    game_end();\n"
                    "}\n";

} // namespace

TEST(SurfaceDrawingGames, WhatIsDrawnOnSurfacesOfEverySizeLandsAsOnTheScreen)
{
    ScratchFolder dir;
    Scratch_WriteFile(dir / "mark.zbl", kMark);
    Scratch_WriteFile(dir / "scan.zbl", kScan);
    Scratch_WriteFile(dir / "pixel.zbl", kPixel);
    Scratch_WriteFile(dir / "create.zbl", kCreate);
    Scratch_WriteFile(dir / "draw.zbl", kDraw);
    Scratch_WriteFile(dir / "step.zbl", kStep);
    Scratch_WriteFile(dir / "game.json", R"({"name": "Drift", "window": {"width": 640, "height": 480},
      "scripts": [{"name": "scr_mark", "file": "mark.zbl"}, {"name": "scr_scan", "file": "scan.zbl"},
                  {"name": "scr_pixel", "file": "pixel.zbl"}],
      "objects": [{"name": "obj", "events": [{"type": "create", "file": "create.zbl"}, {"type": "step", "file": "step.zbl"},
                                             {"type": "draw", "file": "draw.zbl"}]}],
      "rooms": [{"name": "rm_plain", "width": 640, "height": 480, "colour": 0, "instances": [{"object": "obj"}]},
                {"name": "rm_views", "width": 640, "height": 480, "colour": 0, "views_enabled": true,
                 "views": [{"visible": true, "width": 640, "height": 480, "port_width": 640, "port_height": 480}],
                 "instances": [{"object": "obj"}]}]})");
    std::string said;
    ASSERT_TRUE(Pack(dir / "game.json", dir / "game.win", "", &said)) << said;
    const Played p = PlayLogged("cd " + Quote(dir.Path()) + " && " + kHeadless + "ZIMBREL_MAX_FRAMES=30 " + Quote(ZB_RUNNER_PATH) +
                                    " -game game.win -output log.txt >out.txt 2>&1",
                                dir / "log.txt");
    ASSERT_EQ(p.code, 0) << Scratch_ReadFile(dir / "out.txt");

    // Each target's line after its name and width.
    std::map<std::string, std::string> found;
    for (const std::string& l : p.lines) {
        const size_t second = l.find(' ', l.find(' ') + 1);
        if (second != std::string::npos) found[l.substr(0, second)] = l.substr(second + 1);
    }
    // The screen: the points off whole coordinates lie in the pixels they fall in (moved by the
    // points' pixel offset of 1), the rectangle covers every column and rows 10 to 14.
    const std::string screen = found["screen 640"];
    const std::string middle = " -3,4 -3,6 rect ", edges = " first 10 11 12 13 14 last 10 11 12 13 14";
    const size_t at = screen.find(middle + "640" + edges + " detail 0 lit ");
    ASSERT_NE(at, std::string::npos) << p.all;
    EXPECT_GT(std::stoi(screen.substr(screen.rfind(' ') + 1)), 100) << "the text, circle and line are drawn";
    // Every surface as the screen: the point on whole coordinates where the screen's rasteriser
    // puts it, the rest where it lies, the text, circle and line pixel for pixel.
    const std::string whole = screen.substr(0, at);
    for (const std::string target : {"surface 16", "surface 40", "surface 128", "surface 640", "surface 1024", "surface 4096",
                                     "surface 8192", "view 1024", "view 16", "view 40"}) {
        const std::string width = target.substr(target.find(' ') + 1);
        EXPECT_EQ(found[target], whole + middle + width + edges + (width == "16" ? "" : " detail 0")) << target;
    }
}
