// End to end: what is drawn on a surface lands where it lands on the screen, whatever the
// surface's size against the room's (16 to 8192 pixels wide, narrower and wider than the
// room), drawn after surface_set_target or by views drawn into surfaces (one of them with its
// port inside a wider surface); and on the screen, whatever the room's size, its views' and
// the window's, a point and a rectangle land as in a 640 x 480 room. The games read the pixels
// back (or save the screen) and the test looks where they lie.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "E2EGames.h"
#include "GamePack_Project.h"
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

namespace {

// A point and a filled rectangle drawn on the screen at whole room coordinates, at the second
// frame of each room (after the window has taken the room's size), in view 0 (view 1 in the
// room of two views); the screen is saved and the next room follows.
const char* kScreenDraw = "if (n != 2 || view_current != (room == rm_two_views)) exit;\n"
                          "draw_set_colour(c_white);\n"
                          "draw_point(8, 8);\n"
                          "draw_rectangle(40, 30, 61, 45, false);\n"
                          "screen_save(room_get_name(room) + \".png\");\n";
const char* kScreenStep = "n += 1;\n"
                          "if (n == 3) { if (room == room_last) game_end(); else room_goto_next(); }\n";

// A room of the screen game: its size and views ("" for none).
std::string ScreenRoom(const std::string& name, int w, int h, const std::string& views)
{
    return R"({"name": ")" + name + R"(", "width": )" + std::to_string(w) + R"(, "height": )" + std::to_string(h) +
           R"(, "colour": 0, )" + (views.empty() ? "" : R"("views_enabled": true, "views": [)" + views + "], ") +
           R"("instances": [{"object": "obj"}]})";
}

// A view of w x h room pixels at (0, 0) shown in a port of pw x ph at (px, 0).
std::string ScreenView(int w, int h, int px, int pw, int ph)
{
    return R"({"visible": true, "width": )" + std::to_string(w) + R"(, "height": )" + std::to_string(h) +
           R"(, "port_x": )" + std::to_string(px) + R"(, "port_width": )" + std::to_string(pw) + R"(, "port_height": )" +
           std::to_string(ph) + "}";
}

// "W x H point L..R T..B rect L..R T..B": the saved screen's size and the boxes of the lit
// pixels of the point (within k * 24 pixels of the corner) and of the rectangle (the rest),
// with " holes" when a box is not filled whole.
std::string Landing(const PackImage& shot, double k)
{
    struct Box {
        int l = 1 << 30, t = 1 << 30, r = -1, b = -1, n = 0;
        std::string Text() const
        {
            const bool whole = n == (r - l + 1) * (b - t + 1);
            return std::to_string(l) + ".." + std::to_string(r) + " " + std::to_string(t) + ".." + std::to_string(b) +
                   (whole ? "" : " holes");
        }
    } point, rect;
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x) {
            if (shot.rgba[(size_t(y) * size_t(shot.width) + size_t(x)) * 4] < 128) continue;
            Box& box = x < k * 24 && y < k * 24 ? point : rect;
            box.l = std::min(box.l, x), box.t = std::min(box.t, y), box.r = std::max(box.r, x), box.b = std::max(box.b, y);
            ++box.n;
        }
    return std::to_string(shot.width) + "x" + std::to_string(shot.height) + " point " + point.Text() + " rect " +
           rect.Text();
}

} // namespace

// The screen of any room and view lands a point and a rectangle as a 640 x 480 room does: 1:1
// at every room size, through a first view of equal sizes and through a view behind another
// of another port size; a window that magnifies the room by two shows the room's pixels as they
// land there, magnified whole; a view that magnifies or shrinks it by two draws without the
// pixel offset.
TEST(ScreenDrawingGames, WhatIsDrawnOnScreensOfEverySizeAndViewLandsAsIn640x480)
{
    ScratchFolder dir;
    Scratch_WriteFile(dir / "draw.zbl", kScreenDraw);
    Scratch_WriteFile(dir / "step.zbl", kScreenStep);
    const std::string rooms[] = {
        ScreenRoom("rm_640", 640, 480, ""),
        ScreenRoom("rm_320", 320, 240, ""),
        ScreenRoom("rm_1024", 1024, 768, ""),
        ScreenRoom("rm_view_1to1", 1024, 768, ScreenView(320, 240, 0, 320, 240)),
        ScreenRoom("rm_view_2to1", 1024, 768, ScreenView(640, 480, 0, 320, 240)),
        ScreenRoom("rm_view_1to2", 640, 480, ScreenView(320, 240, 0, 640, 480)),
        ScreenRoom("rm_two_views", 640, 480, ScreenView(160, 120, 480, 160, 120) + ", " + ScreenView(640, 480, 0, 640, 480)),
        ScreenRoom("rm_window_2x", 320, 240, ""),
    };
    std::string list;
    for (const std::string& r : rooms) list += (list.empty() ? "" : ", ") + r;
    Scratch_WriteFile(dir / "game.json", R"({"name": "Screens", "window": {"width": 640, "height": 480},
      "objects": [{"name": "obj", "events": [{"type": "create", "code": "n = 0; if (room == rm_window_2x) window_set_size(640, 480);"},
                                             {"type": "step", "file": "step.zbl"}, {"type": "draw", "file": "draw.zbl"}]}],
      "rooms": [)" + list + "]}");
    std::string said;
    ASSERT_TRUE(Pack(dir / "game.json", dir / "game.win", "", &said)) << said;
    const std::string out = dir / "out.txt";
    ASSERT_EQ(Shell("cd " + Quote(dir.Path()) + " && " + kHeadless + "XDG_DATA_HOME=" + Quote(dir / "save") +
                    " ZIMBREL_MAX_FRAMES=60 " + Quote(ZB_RUNNER_PATH) + " -game game.win >" + Quote(out) + " 2>&1"),
              0)
        << Scratch_ReadFile(out);
    auto landing = [&](const std::string& room, double k) {
        PackImage shot;
        std::string error;
        if (!GamePack_ReadPng(dir / ("save/Screens/" + room + ".png"), shot, error)) return room + ": " + error;
        return Landing(shot, k);
    };

    // 640 x 480: the rectangle covers its columns and rows whole; the point lies on the pixel
    // it names.
    const std::string reference = landing("rm_640", 1);
    const std::string rect = "rect 40..61 30..45";
    ASSERT_EQ(reference.substr(reference.find("rect")), rect) << reference;
    int px = -1, py = -1;
    ASSERT_EQ(std::sscanf(reference.c_str(), "640x480 point %d..%*d %d..", &px, &py), 2) << reference;
    ASSERT_TRUE(px == 8 && py == 8) << reference;
    auto point = [](int x, int y) {
        return "point " + std::to_string(x) + ".." + std::to_string(x) + " " + std::to_string(y) + ".." +
               std::to_string(y) + " ";
    };
    const std::string same = point(px, py) + rect;
    EXPECT_EQ(reference, "640x480 " + same);
    EXPECT_EQ(landing("rm_320", 1), "320x240 " + same);
    EXPECT_EQ(landing("rm_1024", 1), "1024x768 " + same);
    EXPECT_EQ(landing("rm_view_1to1", 1), "320x240 " + same);
    EXPECT_EQ(landing("rm_two_views", 1), "640x480 " + same);
    // Two room pixels a screen pixel (no pixel offset): the point at 8, 8 in 4, 4; the
    // rectangle from 40, 30 to 61, 45 covers the screen pixels whose centres it holds, columns
    // 20 to 30 and rows 15 to 22.
    EXPECT_EQ(landing("rm_view_2to1", 0.5), "320x240 point 4..4 4..4 rect 20..30 15..22");
    // Two screen pixels a room pixel, through a window twice the room's size: the rectangle's
    // pixels twice over, the point one screen pixel wide in the second of its room pixel's
    // (room position 9 is screen position 18, taken toward the top left).
    EXPECT_EQ(landing("rm_window_2x", 2), "640x480 " + point(px + 9, py + 9) + "rect 80..123 60..91");
    // Through a view magnifying by two, the pixel offset and the half pixel are faded out: the
    // point lands on the first screen pixel of its room pixel (room position 8, screen 16),
    // and the rectangle's right and bottom edges lie on room positions 61 and 45 (room columns
    // 40 to 60, rows 30 to 44).
    EXPECT_EQ(landing("rm_view_1to2", 2), "640x480 " + point(2 * px, 2 * py) + "rect 80..121 60..89");
}
