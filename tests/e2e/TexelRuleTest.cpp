// End to end: textured drawing at whole coordinates through scaled views lands on the nearest
// texel by the device's rule. A game draws one scene (sprites plain, stretched and mirrored,
// a background, text, a surface, each at random whole room coordinates) into a surface of the
// whole room at 1:1, then through views that shrink or magnify the room by random amounts,
// differently across and down. Once the view is scaled the pixel offset is gone: a window
// pixel's centre X stands for the room point vx + X * vw / pw, and it shows the room pixel that
// point lies in (a point on the edge between two: the right or lower one). So every pixel of
// every view's picture is the 1:1 picture's pixel at that point, whatever the scale.
// ZB_PROPERTY_SEED changes the scene and the views; ZB_RUNNER names another runner to play
// (an earlier build, to compare): it is then only said how many pixels differ.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "E2EGames.h"
#include "support/PropertySeed.h"
#include "support/ScratchFolder.h"
#include "tools/gamepack/GamePack_Project.h"

namespace {

constexpr int kRoomW = 640, kRoomH = 480, kPortW = 320, kPortH = 240;

struct View {
    int x, y, w, h;
};

// Views of the room in the port: some scales games use, then random ones (more than
// a percent from 1:1 each way, where the offset has faded out whole).
std::vector<View> Views(std::mt19937& rng)
{
    std::vector<View> views = {{0, 0, 160, 120}, {3, 5, 107, 80}, {0, 0, 213, 160}, {0, 0, kRoomW, kRoomH}};
    while (views.size() < 10) {
        const int w = std::uniform_int_distribution<int>(96, kRoomW)(rng);
        const int h = std::uniform_int_distribution<int>(72, kRoomH)(rng);
        if (std::abs(kPortW - w) * 100 < w * 2 || std::abs(kPortH - h) * 100 < h * 2) continue;
        views.push_back({std::uniform_int_distribution<int>(0, kRoomW - w)(rng),
                         std::uniform_int_distribution<int>(0, kRoomH - h)(rng), w, h});
    }
    return views;
}

// The scene's drawing, a call for each item at random whole coordinates.
std::string Scene(std::mt19937& rng)
{
    auto at = [&](int lo, int hi) { return std::to_string(std::uniform_int_distribution<int>(lo, hi)(rng)); };
    const char* scales[] = {"1", "2", "3", "-1", "-2"};
    std::string code = "if (!surface_exists(global.s)) { global.s = surface_create(23, 17); surface_set_target(global.s); "
                       "draw_clear(c_teal); draw_sprite(spr_ball, 2, 8, 8); surface_reset_target(); }\n";
    for (int i = 0; i < 48; ++i) {
        const std::string x = at(16, kRoomW - 48), y = at(16, kRoomH - 48);
        switch (i % 6) {
        case 0: code += "draw_sprite(spr_ball, " + at(0, 3) + ", " + x + ", " + y + ");\n"; break;
        case 1:
        case 2:
            code += "draw_sprite_ext(spr_wall, 0, " + x + ", " + y + ", " + scales[rng() % 5] + ", " + scales[rng() % 3] +
                    ", 0, c_white, 1);\n";
            break;
        case 3: code += "draw_background(bg_sky, " + x + ", " + y + ");\n"; break;
        case 4: code += "draw_text(" + x + ", " + y + ", \"Wj7 ab\");\n"; break;
        default: code += "draw_surface(global.s, " + x + ", " + y + ");\n"; break;
        }
    }
    return code;
}

std::string Manifest(const std::vector<View>& views, const std::string& scene)
{
    auto text = [](const std::string& s) {
        std::string out = "\"";
        for (char c : s) out += c == '"' ? std::string("\\\"") : c == '\n' ? std::string("\\n") : std::string(1, c);
        return out + "\"";
    };
    auto N = [](int n) { return std::to_string(n); };
    const std::string demo = std::string(ZB_SOURCE_DIR) + "/examples/demo/";
    std::string rooms;
    for (size_t i = 0; i <= views.size(); ++i) {
        // Room 0 draws the scene at 1:1 into a surface of the whole room.
        const View v = i == 0 ? View{0, 0, kPortW, kPortH} : views[i - 1];
        rooms += std::string(i ? ",\n" : "") + "{\"name\": \"rm_" + std::to_string(i) + "\", \"width\": " + N(kRoomW) + ", \"height\": " + N(kRoomH) + ", " +
                 "\"views_enabled\": true, \"views\": [{\"visible\": true, \"x\": " + std::to_string(v.x) + ", \"y\": " +
                 std::to_string(v.y) + ", \"width\": " + std::to_string(v.w) + ", \"height\": " + std::to_string(v.h) +
                 ", \"port_width\": " + N(kPortW) + ", \"port_height\": " + N(kPortH) + "}], \"instances\": [{\"object\": \"obj\", \"x\": 0, \"y\": 0}]}";
    }
    const std::string draw =
        "scr_scene();\n"
        "if (t == 2 && room == rm_0) { var r; r = surface_create(" + N(kRoomW) + ", " + N(kRoomH) + "); surface_set_target(r); draw_clear(c_black); "
        "scr_scene(); surface_reset_target(); surface_save(r, \"ref.png\"); surface_free(r); }\n"
        "if (t == 3) screen_save(room_get_name(room) + \".png\");\n"
        "if (t == 4) { t = 0; if (room == room_last) game_end(); else room_goto_next(); }\n";
    return "{\"name\": \"Texel rule\", \"window\": {\"width\": " + N(kPortW) + ", \"height\": " + N(kPortH) + "},\n"
           "\"sprites\": [{\"name\": \"spr_ball\", \"image\": \"" + demo + "ball_strip.png\", \"frames\": 4, \"origin\": [8, 8]},\n"
           "  {\"name\": \"spr_wall\", \"image\": \"" + demo + "wall.png\"}],\n"
           "\"backgrounds\": [{\"name\": \"bg_sky\", \"image\": \"" + demo + "sky.png\"}],\n"
           "\"fonts\": [{\"name\": \"fnt\", \"ttf\": \"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf\", \"size\": 10}],\n"
           "\"scripts\": [{\"name\": \"scr_scene\", \"code\": " + text("draw_set_font(fnt); draw_set_color(c_white);\n" + scene) + "}],\n"
           "\"objects\": [{\"name\": \"obj\", \"persistent\": false, \"events\": [{\"type\": \"create\", \"code\": \"t = 0; global.s = -1;\"},\n"
           "  {\"type\": \"step\", \"code\": \"t += 1;\"}, {\"type\": \"draw\", \"code\": " + text(draw) + "}]}],\n"
           "\"rooms\": [" + rooms + "]}\n";
}

// The pixel (r, g, b) at x, y.
uint32_t Rgb(const PackImage& img, int x, int y)
{
    const uint8_t* p = img.rgba.data() + (size_t(y) * img.width + x) * 4;
    return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}

} // namespace

TEST(TexelRule, ScaledViewsShowTheNearestTexelOfTheSceneAtOneToOne)
{
    const uint32_t seed = Property_Seed(5601);
    std::mt19937 rng(seed);
    const std::vector<View> views = Views(rng);
    ScratchFolder dir;
    Scratch_WriteFile(dir / "game.json", Manifest(views, Scene(rng)));
    std::string said;
    ASSERT_TRUE(e2e::Pack(dir / "game.json", dir / "game.win", "", &said)) << said;
    const char* other = std::getenv("ZB_RUNNER");
    const bool strict = !other || !*other;
    const std::string runner = strict ? ZB_RUNNER_PATH : other;
    ASSERT_EQ(e2e::Shell("cd " + e2e::Quote(dir.Path()) + " && " + e2e::kHeadless + "XDG_DATA_HOME=" + e2e::Quote(dir / "data") +
                         " ZIMBREL_MAX_FRAMES=200 " + e2e::Quote(runner) + " -game game.win >out.txt 2>&1"),
              0)
        << Scratch_ReadFile(dir / "out.txt");
    const std::string saves = dir / "data/Texel rule/";
    PackImage ref;
    ASSERT_TRUE(GamePack_ReadPng(saves + "ref.png", ref, said)) << said;
    ASSERT_EQ(ref.width, kRoomW);
    int wrongViews = 0;
    for (size_t i = 0; i < views.size(); ++i) {
        const View& v = views[i];
        PackImage shot;
        ASSERT_TRUE(GamePack_ReadPng(saves + "rm_" + std::to_string(i + 1) + ".png", shot, said)) << said;
        ASSERT_EQ(shot.width, kPortW);
        int wrong = 0;
        std::string first; // where the first few lie: window pixel, and the room point's fractions
        for (int y = 0; y < kPortH; ++y) {
            const int ry = v.y + y * v.h / kPortH; // the room pixel of the centre's point, exactly
            for (int x = 0; x < kPortW; ++x) {
                if (Rgb(shot, x, y) == Rgb(ref, v.x + x * v.w / kPortW, ry)) continue;
                if (++wrong <= 4)
                    first += " (" + std::to_string(x) + "," + std::to_string(y) + ": " + std::to_string(x * v.w % kPortW) + "/" + std::to_string(kPortW) + ", " +
                             std::to_string(y * v.h % kPortH) + "/" + std::to_string(kPortH) + ")";
            }
        }
        std::printf("seed %u, view %d,%d %dx%d: %d of %d pixels not the nearest texel's\n", seed, v.x, v.y, v.w, v.h, wrong,
                    kPortW * kPortH);
        wrongViews += wrong != 0;
        if (strict) {
            EXPECT_EQ(wrong, 0) << "view " << v.x << "," << v.y << " " << v.w << "x" << v.h << ", seed " << seed << ":" << first;
        }
    }
    std::printf("%d of %zu views with pixels not the nearest texel's (runner %s)\n", wrongViews, views.size(), runner.c_str());
}
