// Textured drawing through scaled views lands on the nearest texel by the device's rule, at
// every place and scale a game can use. A game draws one scene (sprites plain, stretched and
// mirrored, backgrounds, text, a surface, and the rooms' tiles, each at random whole room
// coordinates around the views) through views that shrink the room by up to four or magnify it
// by up to eight, across and down alike, differently, or on one axis only, anywhere in rooms up
// to 16,384 pixels wide, into ports anywhere in windows up to 2560 x 1440 and of uneven
// heights (240, 349, 640, 998, 1000). Where a view is scaled the pixel offset is gone on that
// axis: a window pixel's centre X stands for the room point vx + (X - px + o / 2) * vw / pw (o
// the offset, 1 on an axis shown 1:1, else 0), and it shows the texel that point lies in (a
// point on the edge between two: the right or lower one). So:
// - at whole coordinates every pixel of every port is the pixel at that point of the view's
//   picture drawn 1:1 (into a surface, in a room shown 1:1), whatever the scale; and a wide
//   surface and a 1024 x 1000 one drawn into 1:1 while the room's view is scaled are the same
//   surfaces drawn in the room shown 1:1;
// - at fractional coordinates (sprites at random sixty-fourths of a room pixel, plain,
//   stretched by uneven factors and mirrored, drawn over the scene), whose texel edges fall
//   inside room pixels, each pixel shows the texel of a sprite whose every texel has a colour
//   of its own; the texel is decided by exact arithmetic here.
// Played headless and on the test X server; each window reports the size its ports ask for.
// Played headless once more with GL held to 3.3 (no double precision in programs), where the
// views at the scales games use are still exact. ZB_PROPERTY_SEED changes the scene and the
// views; ZB_RUNNER names another runner to play (an earlier build, to compare): it is then only
// said how many pixels and ports differ.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "e2e/E2EGames.h"
#include "support/GameFileTools.h"
#include "support/PropertySeed.h"
#include "support/ScratchFolder.h"
#include "tools/gamepack/GamePack_Project.h"
#include "windowed/XSession.h"

namespace {

struct View {
    int roomW, roomH;     // the room's size
    int x, y, w, h;       // the view, room pixels
    int px, py, pw, ph;   // the port, window pixels (the window is px + pw by py + ph)
    bool game;            // at a scale games use (not one of the random ones)
};

// The pixel-offset pair's member of an axis: 1 shown 1:1, 0 scaled by more than a percent.
int Offset(int view, int port) { return view == port ? 1 : 0; }

// Views of rooms in ports: the 320 x 180 view of a pixel-art game shown at 1280 x 720, a view
// into a 640 x 480 port beside others, then, anywhere in rooms up to 16,384 wide and with the
// port anywhere in the window, views at the scales games show rooms at (across and down alike
// or not; a 1920 x 1080 window at any of them) and random ones from a quarter to eight times
// (more than a percent from 1:1 each way, where the offset has faded out whole), in the large
// windows and in smaller ones of any size.
std::vector<View> Views(std::mt19937& rng)
{
    auto in = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    static const int kScales[][2] = {{1, 4}, {1, 2}, {2, 3}, {3, 2}, {2, 1}, {3, 1}, {4, 1}, {8, 1}}; // port : view
    std::vector<View> views = {{960, 352, 378, 101, 320, 180, 0, 0, 1280, 720, true}, {640, 480, 3, 5, 107, 80, 0, 0, 320, 240, false},
                               // Scaled down only, across only, and unevenly.
                               {1280, 900, 17, 300, 640, 360, 0, 0, 640, 720, true}, {2000, 700, 911, 40, 320, 480, 3, 0, 640, 480, true},
                               {3000, 3000, 1234, 2019, 500, 300, 9, 14, 700, 900, false}};
    // Windows of uneven heights showing a 640 x 480 view.
    // (At 349 and 998 the view's height over the port's has a large numerator: not a scale games use.)
    for (int h : {240, 349, 640, 998, 1000}) views.push_back({4000, 3000, in(0, 3360), in(0, 2520), 640, 480, 0, 0, 640, h, h != 349 && h != 998});
    const int windows[][3] = {{1920, 1080, 1}, {2560, 1440, 0}, {0, 0, 1}, {0, 0, 0}, {0, 0, 1}, {0, 0, 0}, {0, 0, 1}, {0, 0, 0}};
    for (const auto& size : windows) {
        View v;
        v.px = in(0, 40), v.py = in(0, 30);
        v.game = size[2] != 0;
        if (size[2]) {
            const int* sx = kScales[in(0, 7)];
            const int* sy = size[0] || in(0, 1) ? sx : kScales[in(0, 7)];
            const int mx = size[0] ? size[0] / sx[0] : in((64 + sx[0] - 1) / sx[0], 900 / sx[0]);
            const int my = size[1] ? size[1] / sy[0] : in((48 + sy[0] - 1) / sy[0], 600 / sy[0]);
            v.pw = mx * sx[0], v.w = mx * sx[1], v.ph = my * sy[0], v.h = my * sy[1];
        } else {
            do {
                v.pw = size[0] ? size[0] : in(64, 900);
                v.ph = size[1] ? size[1] : in(48, 600);
                // From a quarter to eight times, held to what a surface holds for the picture 1:1.
                v.w = in((v.pw + 7) / 8, std::min(4 * v.pw, 8192));
                v.h = in((v.ph + 7) / 8, std::min(4 * v.ph, 8192));
            } while (std::abs(v.pw - v.w) * 100 < v.w * 2 || std::abs(v.ph - v.h) * 100 < v.h * 2);
        }
        v.roomW = in(v.w, 16384);
        v.roomH = in(v.h, 8192);
        v.x = in(0, v.roomW - v.w);
        v.y = in(0, v.roomH - v.h);
        views.push_back(v);
    }
    return views;
}

std::string N(int n) { return std::to_string(n); }

// A sprite at a fractional place: room x = X / 64, y = Y / 64, stretched by sx and sy
// (mirrored where negative). Its image (kCodeW x kCodeH) gives every texel a colour of its own.
struct Code {
    int64_t x, y; // sixty-fourths of a room pixel
    float sx, sy;
};
const int kCodeW = 24, kCodeH = 20;
uint32_t CodeColour(int u, int v) { return uint32_t(40 + 8 * u) << 16 | uint32_t(50 + 8 * v) << 8 | 0xE7; }

std::vector<Code> Codes(std::mt19937& rng, const View& v)
{
    auto in = [&](int64_t lo, int64_t hi) { return std::uniform_int_distribution<int64_t>(lo, hi)(rng); };
    static const float kScales[] = {1.0f, 1.0f, 2.0f, 0.5f, 1.5f, 3.0f, 0.75f, -1.0f, -2.0f, -1.5f};
    std::vector<Code> codes;
    for (int i = 0; i < 10; ++i)
        codes.push_back({in((int64_t)(v.x - 40) * 64, (int64_t)(v.x + v.w) * 64), in((int64_t)(v.y - 40) * 64, (int64_t)(v.y + v.h) * 64),
                         kScales[rng() % 10], kScales[rng() % 10]});
    return codes;
}

std::string Sixtyfourths(int64_t n) { return "(" + std::to_string(n) + " / 64)"; }

std::string CodeScene(const std::vector<Code>& codes)
{
    std::string code;
    for (const Code& c : codes) {
        char scale[64];
        std::snprintf(scale, sizeof(scale), "%g, %g", c.sx, c.sy);
        code += "draw_sprite_ext(spr_code, 0, " + Sixtyfourths(c.x) + ", " + Sixtyfourths(c.y) + ", " + scale + ", 0, c_white, 1);\n";
    }
    return code;
}

// The texel along one axis of a sprite from room a (texel 0) to room b (texel n), in
// sixty-fourths, at the room point r / den: false when the point is not in [min(a, b),
// max(a, b)); on a texel's edge the one just right of or below it.
bool Along(int64_t r, int64_t den, int64_t a, int64_t b, int n, int* t)
{
    using i128 = __int128;
    const i128 p = (i128)r * 64, lo = (i128)std::min(a, b) * den, hi = (i128)std::max(a, b) * den;
    if (p < lo || p >= hi) return false;
    // n * (p / den - a) / (b - a), the way the sample point moves when it falls.
    i128 num = (p - (i128)a * den) * n, dd = (i128)(b - a) * den;
    if (dd < 0) num = -num, dd = -dd;
    i128 f = num / dd;
    if (num % dd == 0 && b < a) --f;
    *t = (int)f;
    return true;
}

// The colour the last code sprite covering window pixel (X, Y) of the view's port shows there,
// or -1 where none does.
int64_t CodeAt(const View& v, const std::vector<Code>& codes, int X, int Y)
{
    // The room point: (2 x pw + (2 (X - px) + o) w) / 2 pw.
    const int ox = Offset(v.w, v.pw), oy = Offset(v.h, v.ph);
    const int64_t rx = (int64_t)2 * v.x * v.pw + (2 * (int64_t)(X - v.px) + ox) * v.w, ry = (int64_t)2 * v.y * v.ph + (2 * (int64_t)(Y - v.py) + oy) * v.h;
    for (size_t i = codes.size(); i-- > 0;) {
        const Code& c = codes[i];
        int u, w;
        if (Along(rx, 2 * (int64_t)v.pw, c.x, c.x + (int64_t)(c.sx * kCodeW * 64), kCodeW, &u) &&
            Along(ry, 2 * (int64_t)v.ph, c.y, c.y + (int64_t)(c.sy * kCodeH * 64), kCodeH, &w))
            return CodeColour(u, w);
    }
    return -1;
}

// The scene's drawing: calls at random whole coordinates around each view.
std::string Scene(std::mt19937& rng, const std::vector<View>& views)
{
    auto in = [&](int lo, int hi) { return N(std::uniform_int_distribution<int>(lo, hi)(rng)); };
    const char* scales[] = {"1", "2", "3", "-1", "-2"};
    std::string code = "if (!surface_exists(global.s)) { global.s = surface_create(23, 17); surface_set_target(global.s); "
                       "draw_clear(c_teal); draw_sprite(spr_ball, 2, 8, 8); surface_reset_target(); }\n";
    for (const View& v : views)
        for (int i = 0; i < 18; ++i) {
            const std::string x = in(v.x - 40, v.x + v.w), y = in(v.y - 40, v.y + v.h);
            switch (i % 6) {
            case 0: code += "draw_sprite(spr_ball, " + in(0, 3) + ", " + x + ", " + y + ");\n"; break;
            case 1:
            case 2:
                // Tinted or not: the colour multiplies the texel the pixel shows.
                code += "draw_sprite_ext(spr_wall, 0, " + x + ", " + y + ", " + scales[rng() % 5] + ", " + scales[rng() % 3] +
                        (i % 6 == 1 ? ", 0, c_white, 1);\n" : ", 0, c_orange, 1);\n");
                break;
            case 3: code += "draw_background(bg_sky, " + x + ", " + y + ");\n"; break;
            case 4: code += "draw_text(" + x + ", " + y + ", \"Wj7 ab\");\n"; break;
            default: code += "draw_surface(global.s, " + x + ", " + y + ");\n"; break;
            }
        }
    return code;
}

struct Tile {
    int x, y, left, top, w, h;
};

// A room's tiles: the row at room x 608..704 of the first view, random ones in the others.
std::vector<Tile> Tiles(std::mt19937& rng, const View& v, bool first)
{
    auto in = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    std::vector<Tile> tiles;
    if (first) {
        for (int x = 608; x <= 704; x += 32) tiles.push_back({x, 160, 16, 8, 32, 32});
        return tiles;
    }
    for (int i = 0; i < 6; ++i) {
        const int left = in(0, 48), top = in(0, 32);
        tiles.push_back({in(v.x - 40, v.x + v.w), in(v.y - 40, v.y + v.h), left, top, in(1, 64 - left), in(1, 48 - top)});
    }
    return tiles;
}

std::string Manifest(const std::vector<View>& views, const std::vector<std::vector<Tile>>& tiles, const std::string& scene,
                     const std::vector<int>& wide, const std::vector<std::vector<Code>>& codes, const std::string& codeImage)
{
    auto text = [](const std::string& s) {
        std::string out = "\"";
        for (char c : s) out += c == '"' ? std::string("\\\"") : c == '\n' ? std::string("\\n") : std::string(1, c);
        return out + "\"";
    };
    const std::string demo = std::string(ZB_SOURCE_DIR) + "/examples/demo/";
    // Room 0 is shown 1:1: it draws each view's picture 1:1 into a surface of the view's size,
    // and the wide and the tall surfaces; every other room shows its view with its sprites at
    // fractional places over it, and draws the two surfaces too.
    std::string rooms = "{\"name\": \"rm_0\", \"width\": 640, \"height\": 480, \"views_enabled\": true, \"views\": [{\"visible\": "
                        "true, \"width\": 640, \"height\": 480, \"port_width\": 640, \"port_height\": 480}], \"instances\": "
                        "[{\"object\": \"obj\", \"x\": 0, \"y\": 0}]}";
    std::string refs, wideCode = "var w; w = surface_create(8192, 32); surface_set_target(w); draw_clear(c_black);\n";
    for (int x : wide) wideCode += "draw_sprite(spr_ball, 1, " + N(x) + ", 12); draw_background(bg_sky, " + N(x + 30) + ", -20);\n";
    wideCode += "surface_reset_target(); surface_save(w, \"wide_\" + room_get_name(room) + \".png\"); surface_free(w);\n";
    // A surface 1024 x 1000: sprites and backgrounds at whole places all over it.
    wideCode += "w = surface_create(1024, 1000); surface_set_target(w); draw_clear(c_black); var i;\n"
                "for (i = 0; i < 300; i += 1) { draw_sprite(spr_wall, 0, (i * 211) mod 1040 - 16, (i * 97) mod 1016 - 16);"
                " draw_sprite(spr_ball, i mod 4, (i * 359) mod 1040 - 8, (i * 131) mod 1016 - 8); }\n"
                "draw_background(bg_sky, 500, 951); surface_reset_target(); surface_save(w, \"tall_\" + room_get_name(room) + \".png\"); surface_free(w);\n";
    std::string codeDraw;
    for (size_t i = 0; i < views.size(); ++i) {
        const View& v = views[i];
        std::string tileList, tileDraw;
        for (const Tile& t : tiles[i]) {
            tileList += std::string(tileList.empty() ? "" : ", ") + "{\"background\": \"bg_sky\", \"x\": " + N(t.x) + ", \"y\": " + N(t.y) +
                        ", \"left\": " + N(t.left) + ", \"top\": " + N(t.top) + ", \"width\": " + N(t.w) + ", \"height\": " + N(t.h) +
                        ", \"depth\": 1000}";
            tileDraw += "draw_background_part(bg_sky, " + N(t.left) + ", " + N(t.top) + ", " + N(t.w) + ", " + N(t.h) + ", " + N(t.x) +
                        ", " + N(t.y) + ");\n";
        }
        codeDraw += "if (room == rm_" + N(i + 1) + ") {\n" + CodeScene(codes[i]) + "}\n";
        rooms += ",\n{\"name\": \"rm_" + N(i + 1) + "\", \"width\": " + N(v.roomW) + ", \"height\": " + N(v.roomH) +
                 ", \"colour\": 0, \"show_colour\": true, \"views_enabled\": true, \"views\": [{\"visible\": true, \"x\": " + N(v.x) + ", \"y\": " + N(v.y) + ", \"width\": " +
                 N(v.w) + ", \"height\": " + N(v.h) + ", \"port_x\": " + N(v.px) + ", \"port_y\": " + N(v.py) + ", \"port_width\": " +
                 N(v.pw) + ", \"port_height\": " + N(v.ph) + "}], \"tiles\": [" + tileList + "], \"instances\": [{\"object\": \"obj\", \"x\": 0, \"y\": 0}]}";
        refs += "r = surface_create(" + N(v.w) + ", " + N(v.h) + "); surface_set_target(r); draw_clear(c_black); d3d_set_projection_ortho(" +
                N(v.x) + ", " + N(v.y) + ", " + N(v.w) + ", " + N(v.h) + ", 0);\n" + tileDraw +
                "scr_scene(); surface_reset_target(); surface_save(r, \"ref_" + N(i + 1) + ".png\"); surface_free(r);\n";
    }
    const std::string draw =
        "scr_scene(); scr_code();\n"
        "if (t == 2) {\n" + wideCode + "if (room == rm_0) { var r;\n" + refs + "} }\n"
        "if (t == 3) screen_save(room_get_name(room) + \"_\" + string(window_get_width()) + \"x\" + string(window_get_height()) + \".png\");\n"
        "if (t == 4) { t = 0; if (room == room_last) game_end(); else room_goto_next(); }\n";
    return "{\"name\": \"Texel rule\", \"window\": {\"width\": 640, \"height\": 480},\n"
           "\"sprites\": [{\"name\": \"spr_ball\", \"image\": \"" + demo + "ball_strip.png\", \"frames\": 4, \"origin\": [8, 8]},\n"
           "  {\"name\": \"spr_wall\", \"image\": \"" + demo + "wall.png\"},\n"
           "  {\"name\": \"spr_code\", \"image\": \"" + codeImage + "\"}],\n"
           "\"backgrounds\": [{\"name\": \"bg_sky\", \"image\": \"" + demo + "sky.png\"}],\n"
           "\"fonts\": [{\"name\": \"fnt\", \"ttf\": \"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf\", \"size\": 10}],\n"
           "\"scripts\": [{\"name\": \"scr_scene\", \"code\": " + text("draw_set_font(fnt); draw_set_color(c_yellow);\n" + scene) + "},\n"
           "  {\"name\": \"scr_code\", \"code\": " + text(codeDraw) + "}],\n"
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

// Judges one play's pictures (saved under saves); returns the ports with pixels not the
// nearest texel's, and fails each when strict (only those at the scales games use: gameOnly).
int Judge(const std::string& saves, const std::vector<View>& views, const std::vector<std::vector<Code>>& codes, const char* play,
          uint32_t seed, bool strict, bool gameOnly = false)
{
    std::string said;
    int wrongPorts = 0;
    PackImage wide0, wide, tall0, tall;
    EXPECT_TRUE(GamePack_ReadPng(saves + "wide_rm_0.png", wide0, said)) << said;
    EXPECT_TRUE(GamePack_ReadPng(saves + "tall_rm_0.png", tall0, said)) << said;
    for (size_t i = 0; i < views.size(); ++i) {
        const View& v = views[i];
        const std::string name = "rm_" + N(i + 1);
        PackImage ref, shot;
        EXPECT_TRUE(GamePack_ReadPng(saves + "ref_" + N(i + 1) + ".png", ref, said)) << said;
        // Named by the window's size as the game reads it: the ports' extent, at every size.
        if (!GamePack_ReadPng(saves + name + "_" + N(v.px + v.pw) + "x" + N(v.py + v.ph) + ".png", shot, said)) {
            ADD_FAILURE() << play << ": no picture of " << name << " in a " << v.px + v.pw << " x " << v.py + v.ph << " window: " << said;
            ++wrongPorts;
            continue;
        }
        int wrong = 0, codeWrong = 0, codePixels = 0;
        std::string first; // where the first few lie: window pixel, and the room point's fractions
        for (int y = 0; y < v.ph; ++y) {
            const int ry = int(int64_t(y) * v.h / v.ph); // the view pixel of the centre's point, exactly
            for (int x = 0; x < v.pw; ++x) {
                const uint32_t got = Rgb(shot, v.px + x, v.py + y);
                // Under a sprite at a fractional place: its texel's colour; elsewhere the scene 1:1.
                const int64_t code = CodeAt(v, codes[i], v.px + x, v.py + y);
                if (code >= 0) {
                    ++codePixels;
                    if (got == (uint32_t)code) continue;
                    ++codeWrong;
                } else if (got == Rgb(ref, int(int64_t(x) * v.w / v.pw), ry)) {
                    continue;
                }
                if (++wrong <= 4)
                    first += std::string(code >= 0 ? " fractional" : "") + " (" + N(x) + "," + N(y) + ": " +
                             N(int(int64_t(x) * v.w % v.pw)) + "/" + N(v.pw) + ", " + N(int(int64_t(y) * v.h % v.ph)) + "/" + N(v.ph) + ")";
            }
        }
        int wideWrong = 0, tallWrong = 0;
        if (GamePack_ReadPng(saves + "wide_" + name + ".png", wide, said) && wide.width == wide0.width)
            for (int y = 0; y < wide.height; ++y)
                for (int x = 0; x < wide.width; ++x) wideWrong += Rgb(wide, x, y) != Rgb(wide0, x, y);
        if (GamePack_ReadPng(saves + "tall_" + name + ".png", tall, said) && tall.width == tall0.width && tall.height == tall0.height)
            for (int y = 0; y < tall.height; ++y)
                for (int x = 0; x < tall.width; ++x) tallWrong += Rgb(tall, x, y) != Rgb(tall0, x, y);
        else
            tallWrong = -1;
        std::printf("%s, seed %u, room %dx%d, view %d,%d %dx%d in port %d,%d %dx%d: %d of %d pixels not the nearest texel's "
                    "(%d of %d at fractional places); wide surface: %d; surface 1024 x 1000: %d\n",
                    play, seed, v.roomW, v.roomH, v.x, v.y, v.w, v.h, v.px, v.py, v.pw, v.ph, wrong, v.pw * v.ph, codeWrong, codePixels,
                    wideWrong, tallWrong);
        wrongPorts += wrong != 0 || wideWrong != 0 || tallWrong != 0;
        if (strict && (v.game || !gameOnly)) {
            EXPECT_EQ(wrong, 0) << play << ", " << name << ", seed " << seed << ":" << first;
            EXPECT_EQ(wideWrong, 0) << play << ", " << name << ", seed " << seed;
            EXPECT_EQ(tallWrong, 0) << play << ", " << name << ", seed " << seed;
        }
    }
    return wrongPorts;
}

} // namespace

TEST(TexelRule, ScaledViewsShowTheNearestTexelOfTheSceneAtOneToOne)
{
    const uint32_t seed = Property_Seed(5601);
    std::mt19937 rng(seed);
    const std::vector<View> views = Views(rng);
    std::vector<std::vector<Tile>> tiles;
    for (size_t i = 0; i < views.size(); ++i) tiles.push_back(Tiles(rng, views[i], i == 0));
    std::vector<int> wide = {5000, 3940, 8150};
    for (int i = 0; i < 6; ++i) wide.push_back(std::uniform_int_distribution<int>(0, 8150)(rng));
    std::vector<std::vector<Code>> codes;
    for (const View& v : views) codes.push_back(Codes(rng, v));
    ScratchFolder dir;
    PackImage image;
    image.width = kCodeW, image.height = kCodeH;
    for (int v = 0; v < kCodeH; ++v)
        for (int u = 0; u < kCodeW; ++u) {
            const uint32_t c = CodeColour(u, v);
            image.rgba.insert(image.rgba.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 255});
        }
    TestImage_WritePng(dir / "code.png", image);
    Scratch_WriteFile(dir / "game.json", Manifest(views, tiles, Scene(rng, views), wide, codes, dir / "code.png"));
    std::string said;
    ASSERT_TRUE(e2e::Pack(dir / "game.json", dir / "game.win", "", &said)) << said;
    const char* other = std::getenv("ZB_RUNNER");
    const bool strict = !other || !*other;
    const std::string runner = strict ? ZB_RUNNER_PATH : other;
    const std::string frames = " ZIMBREL_MAX_FRAMES=" + N(int(views.size()) * 4 + 40) + " ";
    ASSERT_EQ(e2e::Shell("cd " + e2e::Quote(dir.Path()) + " && " + e2e::kHeadless + "XDG_DATA_HOME=" + e2e::Quote(dir / "headless") +
                         frames + e2e::Quote(runner) + " -game game.win >out.txt 2>&1"),
              0)
        << Scratch_ReadFile(dir / "out.txt");
    const int headless = Judge(dir / "headless/Texel rule/", views, codes, "headless", seed, strict);
    // Where GL offers no double precision in programs (Mesa held to GL 3.3), the scales games
    // use are still drawn exactly; the others are only counted.
    ASSERT_EQ(e2e::Shell("cd " + e2e::Quote(dir.Path()) + " && " + e2e::kHeadless + "MESA_GL_VERSION_OVERRIDE=3.3COMPAT " +
                         "MESA_GLSL_VERSION_OVERRIDE=330 XDG_DATA_HOME=" + e2e::Quote(dir / "single") + frames + e2e::Quote(runner) +
                         " -game game.win >out.txt 2>&1"),
              0)
        << Scratch_ReadFile(dir / "out.txt");
    const int single = Judge(dir / "single/Texel rule/", views, codes, "GL 3.3", seed, strict, true);

    XSession x(2600, 1500);
    if (!x.Ok()) GTEST_SKIP() << x.Why();
    ASSERT_EQ(e2e::Shell("cd " + e2e::Quote(dir.Path()) + " && " + x.GameEnvironment() + "XDG_DATA_HOME=" + e2e::Quote(dir / "x") +
                         frames + e2e::Quote(runner) + " -game game.win >out.txt 2>&1"),
              0)
        << Scratch_ReadFile(dir / "out.txt");
    const int onX = Judge(dir / "x/Texel rule/", views, codes, "X", seed, strict);
    std::printf("ports with pixels not the nearest texel's: headless %d, X %d, headless at GL 3.3 %d of %zu (runner %s)\n", headless,
                onX, single, views.size(), runner.c_str());
}
