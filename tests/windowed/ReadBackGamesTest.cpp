// End to end: a read-back holds what was drawn before it, whatever target was drawn on in
// between; a window asked larger than the device shows is held to what it shows, and its
// picture saved at that size. One game goes four times from a 320 x 240 room to an 800 x 600 one (the window grows
// past its first size: the frame is drawn into the screen texture and copied onto the window).
// In each frame of the large room it draws on the screen in the frame's colour, clears a small
// surface and reads the screen back (screen_save on even frames, draw_getpixel on odd ones);
// then it fills a surface the screen showed earlier in the frame, clears the small surface and
// reads that surface back. Played headless and on a private X server; the test reads the saved
// pictures. (Without waiting for Mesa's rasteriser, which draws behind the program, most of
// these reads gave the picture from before the frame's drawing.) ZB_WINDOWED_RUNNER names
// another runner to play the game (a build of another commit).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "e2e/E2EGames.h"
#include "GamePack_Project.h"
#include "support/ScratchFolder.h"
#include "windowed/XSession.h"

using e2e::Quote;
using e2e::Shell;

namespace {

const int kCycles = 4, kFramesPerVisit = 8;

// Frames 2 to 9 of each visit to rm_big draw and read; frame 10 goes back to rm_small.
const char* kStep = "n += 1;\n"
                    "if (room == rm_small) { if (n == 2) room_goto(rm_big); exit; }\n"
                    "if (n == 2) { sf = surface_create(512, 512); sf2 = surface_create(64, 64); }\n"
                    "if (n == 10) {\n"
                    "    surface_free(sf); surface_free(sf2);\n"
                    "    global.visits += 1;\n"
                    "    if (global.visits < global.cycles) room_goto(rm_small);\n"
                    "    else { show_debug_message(\"read back \" + string(global.frame) + \" frames, wrong:\" + global.wrong); game_end(); }\n"
                    "}\n";

// The frame's colour k mod 4 on the screen (a hundred rows of rectangles, a mark near the
// corner and one beyond the window's first size), the other surface cleared, the screen read.
// Then the surface, shown in a corner of the screen, filled with colour k + 2 mod 4, the other
// surface cleared, the surface read.
const char* kDraw = "if (room != rm_big || n < 2 || n > 9) exit;\n"
                    "var k, c, c2, i, got;\n"
                    "k = global.frame; global.frame += 1;\n"
                    "c = global.colours[k mod 4]; c2 = global.colours[(k + 2) mod 4];\n"
                    "draw_set_colour(c);\n"
                    "for (i = 0; i < 100; i += 1) draw_rectangle(i, 100, i + 300, 400, false);\n"
                    "draw_rectangle(40, 30, 61, 45, false);\n"
                    "draw_rectangle(700, 500, 720, 520, false);\n"
                    "surface_set_target(sf2); draw_clear_alpha(c_black, 1); surface_reset_target();\n"
                    "if (k mod 2 == 0) screen_save(\"frame_\" + string(k) + \".png\");\n"
                    "else {\n"
                    "    if (draw_getpixel(50, 40) != c) global.wrong += \" getpixel \" + string(k);\n"
                    "    if (draw_getpixel(710, 510) != c) global.wrong += \" getpixel_far \" + string(k);\n"
                    "}\n"
                    "draw_surface_part(sf, 0, 0, 1, 1, 790, 590);\n"
                    "surface_set_target(sf);\n"
                    "draw_set_colour(c2);\n"
                    "for (i = 0; i < 50; i += 1) draw_rectangle(i, 0, 511 - i, 511, false);\n"
                    "surface_reset_target();\n"
                    "surface_set_target(sf2); draw_clear_alpha(c_black, 1); surface_reset_target();\n"
                    "if (surface_getpixel(sf, 8, 8) != c2) global.wrong += \" surface \" + string(k);\n";

// The saved pictures of one play that do not show both marks, 800 x 600, in their frame's
// colour ("" when all do).
std::string WrongPictures(const std::string& saves)
{
    static const uint8_t kRgb[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
    std::string wrong;
    for (int k = 0; k < kCycles * kFramesPerVisit; k += 2) {
        PackImage shot;
        std::string error;
        if (!GamePack_ReadPng(saves + "/ReadBack/frame_" + std::to_string(k) + ".png", shot, error)) {
            wrong += " " + std::to_string(k) + " (" + error + ")";
            continue;
        }
        bool same = shot.width == 800 && shot.height == 600;
        for (const auto& [x, y] : {std::pair{50, 40}, std::pair{710, 510}}) {
            const uint8_t* p = same ? &shot.rgba[(size_t(y) * 800 + size_t(x)) * 4] : nullptr;
            same = same && p[0] == kRgb[k % 4][0] && p[1] == kRgb[k % 4][1] && p[2] == kRgb[k % 4][2];
        }
        if (!same) wrong += " " + std::to_string(k);
    }
    return wrong;
}

} // namespace

TEST(ReadBackGames, ScreenSavesPixelsAndSurfacesHoldWhatWasDrawnBeforeAnotherTarget)
{
    ScratchFolder dir;
    Scratch_WriteFile(dir / "step.zbl", kStep);
    Scratch_WriteFile(dir / "draw.zbl", kDraw);
    Scratch_WriteFile(dir / "create.zbl", "n = 0;\n"
                                          "if (!variable_global_exists(\"visits\")) {\n"
                                          "    global.visits = 0; global.frame = 0; global.wrong = \"\";\n"
                                          "    global.cycles = " + std::to_string(kCycles) + ";\n"
                                          "    global.colours[0] = c_red; global.colours[1] = c_lime;\n"
                                          "    global.colours[2] = c_blue; global.colours[3] = c_yellow;\n"
                                          "}\n");
    Scratch_WriteFile(dir / "game.json", R"({"name": "ReadBack", "window": {"width": 640, "height": 480},
      "objects": [{"name": "obj", "events": [{"type": "create", "file": "create.zbl"}, {"type": "step", "file": "step.zbl"},
                                             {"type": "draw", "file": "draw.zbl"}]}],
      "rooms": [{"name": "rm_small", "width": 320, "height": 240, "colour": 0, "speed": 240, "instances": [{"object": "obj"}]},
                {"name": "rm_big", "width": 800, "height": 600, "colour": 0, "speed": 240, "instances": [{"object": "obj"}]}]})");
    std::string said;
    ASSERT_TRUE(e2e::Pack(dir / "game.json", dir / "game.win", "", &said)) << said;

    // One play with the environment env, saving into saves; then what it read and saved.
    auto play = [&](const std::string& env, const std::string& saves, const char* where) {
        std::remove((dir / "log.txt").c_str());
        const std::string frames = " ZIMBREL_MAX_FRAMES=" + std::to_string(kCycles * 12 + 50) + " ";
        ASSERT_EQ(Shell("cd " + Quote(dir.Path()) + " && " + env + " XDG_DATA_HOME=" + Quote(saves) + frames +
                        Quote(WindowedRunner::RunnerPath()) + " -game game.win -output log.txt >" + Quote(dir / "out.txt") +
                        " 2>&1"),
                  0)
            << where << ": " << Scratch_ReadFile(dir / "out.txt");
        const std::string log = Scratch_ReadFile(dir / "log.txt");
        const size_t at = log.find("read back ");
        EXPECT_EQ(at == std::string::npos ? "no summary" : log.substr(at, log.find('\n', at) - at),
                  "read back " + std::to_string(kCycles * kFramesPerVisit) + " frames, wrong:")
            << where;
        EXPECT_EQ(WrongPictures(saves), "") << where << ": pictures without their frame's marks";
    };
    play(e2e::kHeadless, dir / "headless", "headless");

    XSession x(1024, 768);
    if (!x.Ok()) GTEST_SKIP() << x.Why();
    play(x.GameEnvironment(), dir / "x", "X");
}

// A window asked larger than the device shows (wider than the largest texture headless, than
// the display on X) is held to the largest it shows: the game reads back that size, the window
// is that size, the log says so once (the game asks twice), and screen_save writes its whole
// picture (the room, stretched over it, to its last column). A part of the screen that shows nothing is not
// written, and stderr says so. Headless, a game larger than the offscreen driver's display
// reads its pixels beyond it.
TEST(ReadBackGames, WindowAskedLargerThanTheDeviceShowsIsHeldAndItsPictureSaved)
{
    ScratchFolder dir;
    Scratch_WriteFile(dir / "step.zbl", "n += 1;\n"
                                        "if (n == 2 || n == 3) window_set_size(9000, 300);\n");
    Scratch_WriteFile(dir / "draw.zbl", "draw_set_colour(c_lime);\n"
                                        "if (n == 1) { draw_rectangle(1200, 900, 1210, 910, false); show_debug_message(\"far \" + string(draw_getpixel(1205, 905))); }\n"
                                        "if (n < 6) exit;\n"
                                        "draw_rectangle(1270, 320, 1280, 400, false);\n"
                                        "if (n == 6) {\n"
                                        "    w = window_get_width(); h = window_get_height();\n"
                                        "    screen_save(\"held.png\"); screen_save_part(\"beyond.png\", w, 0, 10, 10);\n"
                                        "    show_debug_message(\"size \" + string(w) + \" x \" + string(h)); show_debug_message(\"saved\");\n"
                                        "}\n");
    Scratch_WriteFile(dir / "game.json", R"({"name": "Held", "window": {"width": 1280, "height": 960},
      "objects": [{"name": "obj", "events": [{"type": "create", "code": "n = 0;"}, {"type": "step", "file": "step.zbl"},
                                             {"type": "draw", "file": "draw.zbl"}]}],
      "rooms": [{"name": "rm", "width": 1280, "height": 960, "colour": 0, "speed": 60, "instances": [{"object": "obj"}]}]})");
    std::string said;
    ASSERT_TRUE(e2e::Pack(dir / "game.json", dir / "game.win", "", &said)) << said;

    // What one play said and saved, against the width it must have held the window to.
    auto judge = [&](const std::string& log, const std::string& err, const std::string& saves, int width, const char* where) {
        const std::string held = "The window cannot be 9000 x 300 (at most ";
        const size_t at = log.find(held);
        EXPECT_NE(at, std::string::npos) << where << ": " << log;
        EXPECT_EQ(log.find(held, at + 1), std::string::npos) << where << ": said more than once";
        EXPECT_NE(log.find("): it is " + std::to_string(width) + " x 300\n"), std::string::npos) << where;
        EXPECT_NE(log.find("size " + std::to_string(width) + " x 300\n"), std::string::npos) << where;
        PackImage shot;
        std::string error;
        ASSERT_TRUE(GamePack_ReadPng(saves + "/Held/held.png", shot, error)) << where << ": " << error << "\n" << err;
        EXPECT_EQ(shot.width, width) << where;
        EXPECT_EQ(shot.height, 300) << where;
        if (shot.width == width && shot.height == 300) {
            const uint8_t* p = &shot.rgba[(size_t(105) * size_t(width) + size_t(width - 1)) * 4];
            EXPECT_TRUE(p[0] == 0 && p[1] == 255 && p[2] == 0) << where << ": the room's last columns are not at the picture's right edge";
        }
        EXPECT_NE(err.find("runner: cannot write " + saves + "/Held/beyond.png: the part at " + std::to_string(width) +
                           ", 0 of 10 x 10 pixels shows nothing of the screen (" + std::to_string(width) + " x 300)\n"),
                  std::string::npos)
            << where << ": " << err;
        EXPECT_FALSE(std::filesystem::exists(saves + "/Held/beyond.png")) << where;
    };

    ASSERT_EQ(Shell("cd " + Quote(dir.Path()) + " && " + e2e::kHeadless + " XDG_DATA_HOME=" + Quote(dir / "headless") +
                    " ZIMBREL_MAX_FRAMES=10 " + Quote(WindowedRunner::RunnerPath()) + " -game game.win -output log.txt >" +
                    Quote(dir / "out.txt") + " 2>" + Quote(dir / "err.txt")),
              0)
        << Scratch_ReadFile(dir / "out.txt");
    // Headless the window holds as much as the largest texture: 8192 pixels a side (the game's
    // first size too, larger than the offscreen driver's display: its pixels are all read).
    judge(Scratch_ReadFile(dir / "log.txt"), Scratch_ReadFile(dir / "err.txt"), dir / "headless", 8192, "headless");
    EXPECT_NE(Scratch_ReadFile(dir / "log.txt").find("far 65280\n"), std::string::npos);

    // On X, as much as the display: the window on the server is the size the game read.
    XSession x(1024, 768);
    if (!x.Ok()) GTEST_SKIP() << x.Why();
    ScratchFolder onX;
    {
        WindowedRunner r(x, dir / "game.win", onX.Path());
        ASSERT_TRUE(r.WaitForLog("saved")) << r.NoWindow();
        // The window's own size (it keeps its corner, so part of it may lie beyond the screen).
        const std::string geometry = x.Output("xdotool getwindowgeometry " + r.Window());
        EXPECT_NE(geometry.find("Geometry: 1024x300\n"), std::string::npos) << geometry;
        ASSERT_TRUE(r.RequestClose());
        EXPECT_EQ(r.Wait(), 0) << r.Stderr();
        judge(r.Log(), r.Stderr(), onX / "xdg", 1024, "X");
    }
}
