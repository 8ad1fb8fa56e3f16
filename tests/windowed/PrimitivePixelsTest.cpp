// End to end: points, lines and outlines light the pixels they name, in rooms 320 to 1920
// pixels wide, 1:1 and in views that magnify or shrink the room by two, on the screen and on
// surfaces. One game plays every room: once the window has the room's size, a frame draws the
// shapes of a fixed list and 40 outlines of random size (each in a cell of its own), the next
// one 150 points spread over what the view shows; the screen is saved in the frame, the
// surface after it, and the test reads the pictures back.
//
// ZB_PIXELS_RUNNER names another runner to play the game (a build of another commit): the test
// then says what that runner draws.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <utility>

#include "e2e/E2EGames.h"
#include "GamePack_Project.h"
#include "support/ScratchFolder.h"
#include "windowed/XSession.h"

using e2e::Quote;
using e2e::Shell;
using e2e::kHeadless;

namespace {

// A room of w x h played 1:1 (scale 1), through views that magnify it by two (2) or shrink it
// by two (-2). The view's pixel that room pixel x's shapes land on is Pixel(x): 1:1 the one
// holding the room position x + 1 (the shapes' pixel offset) less the projection's half pixel,
// ties to the top and left; in the scaled views, where the offset and the half pixel are
// faded out, the one holding room position x (magnified, the first of the room pixel's
// screen pixels).
struct Room {
    int w, h, scale;
    std::string Name() const
    {
        return "rm_" + std::to_string(w) + (scale == 1 ? "_1to1" : scale == 2 ? "_magnified" : "_shrunk");
    }
    std::string Scale() const { return scale == 1 ? "1:1" : scale == 2 ? "x2" : "x1/2"; }
    int Pixel(int x) const { return scale == 1 ? x : scale == 2 ? 2 * x : x / 2; }
    // The first view pixel of room pixel x (the edge of a cell).
    int Edge(int x) const { return scale == 1 ? x : scale == 2 ? 2 * x : (x + 1) / 2; }
    // The room area the view shows.
    int ViewW() const { return scale == 2 ? w / 2 : w; }
    int ViewH() const { return scale == 2 ? h / 2 : h; }
};

// The room's entry in the manifest: views 0 and 1 alike (view 1 drawn into a surface).
std::string RoomJson(const Room& s)
{
    std::string views;
    if (s.scale != 1) {
        const int pw = s.scale == 2 ? s.w : s.w / 2, ph = s.scale == 2 ? s.h : s.h / 2;
        const std::string v = R"({"visible": true, "width": )" + std::to_string(s.ViewW()) + R"(, "height": )" +
                               std::to_string(s.ViewH()) + R"(, "port_width": )" + std::to_string(pw) +
                               R"(, "port_height": )" + std::to_string(ph) + "}";
        views = R"("views_enabled": true, "views": [)" + v + ", " + v + "], ";
    }
    return R"({"name": ")" + s.Name() + R"(", "width": )" + std::to_string(s.w) + R"(, "height": )" + std::to_string(s.h) +
           R"(, "colour": 0, )" + views + R"("instances": [{"object": "obj"}]})";
}

struct Outline {
    int x1, y1, x2, y2;
};

// The shapes of the first frame: the fixed ones, then the random outlines, one in each 16 x 16
// cell of 10 columns from (0, 32) (inside the 160 x 120 a magnified 320 x 240 room shows).
const int kCells = 40;
std::vector<Outline> RandomOutlines()
{
    std::mt19937 random(53);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    std::vector<Outline> list;
    for (int i = 0; i < kCells; ++i) {
        const int cx = (i % 10) * 16, cy = 32 + (i / 10) * 16;
        Outline o;
        o.x1 = cx + pick(1, 5), o.x2 = o.x1 + pick(3, cx + 14 - o.x1);
        o.y1 = cy + pick(1, 5), o.y2 = o.y1 + pick(3, cy + 14 - o.y1);
        list.push_back(o);
    }
    return list;
}

// Points as thousandths of the view's width and height.
std::vector<std::pair<int, int>> RandomPoints()
{
    std::mt19937 random(1053);
    std::uniform_int_distribution<int> pick(0, 999);
    std::vector<std::pair<int, int>> list;
    for (int i = 0; i < 150; ++i) {
        const int u = pick(random);
        list.emplace_back(u, pick(random));
    }
    return list;
}

std::string ShapesScript()
{
    std::string code = "draw_set_colour(c_white);\n"
                       "draw_rectangle(40, 20, 49, 29, true);\n"
                       "draw_point(10, 10);\n"
                       "draw_line(60, 20, 70, 20);\n"
                       "draw_line(80, 20, 80, 30);\n"
                       "draw_line_width(90, 20, 100, 20, 1);\n"
                       "draw_arrow(110, 8, 130, 8, 6);\n"
                       "draw_triangle(110, 20, 125, 20, 110, 30, true);\n"
                       "draw_rectangle_color(136, 20, 145, 29, c_white, c_white, c_white, c_white, true);\n"
                       // Flat shapes in a batch after a triangle (nine vertices, the last three
                       // on one row): a rectangle of no height, then the rest of a primitive.
                       "draw_primitive_begin(pr_trianglelist); draw_vertex(4, 100); draw_vertex(16, 100);\n"
                       "draw_vertex(4, 112); draw_primitive_end(); draw_rectangle(20, 106, 30, 106, false);\n"
                       "draw_point(150, 4);\n"
                       "draw_primitive_begin(pr_trianglelist); draw_vertex(40, 100); draw_vertex(52, 100);\n"
                       "draw_vertex(40, 112); draw_vertex(60, 104); draw_vertex(70, 104); draw_vertex(80, 104);\n"
                       "draw_vertex(64, 108); draw_vertex(72, 108); draw_vertex(68, 108); draw_primitive_end();\n"
                       "draw_point(150, 4);\n"
                       // The same line before and after the world moves it down 8.
                       "draw_line(100, 100, 130, 100); d3d_transform_set_translation(0, 8, 0);\n"
                       "draw_line(100, 100, 130, 100); d3d_transform_set_identity();\n";
    for (const Outline& o : RandomOutlines())
        code += "draw_rectangle(" + std::to_string(o.x1) + ", " + std::to_string(o.y1) + ", " + std::to_string(o.x2) +
                ", " + std::to_string(o.y2) + ", true);\n";
    return code;
}

std::string PointsScript()
{
    std::string code = "draw_set_colour(c_white);\n";
    for (const auto& p : RandomPoints())
        code += "draw_point(floor(" + std::to_string(p.first) + " * argument0 / 1000), floor(" + std::to_string(p.second) +
                " * argument1 / 1000));\n";
    return code;
}

// Frame 4 draws the shapes, frame 5 the points, in views 0 and 1 (or on the screen and on a
// surface set as the target); the screen is saved in the frame, the surface in the next step.
// The surface is made once the window has taken the room's size (a new size loses surfaces).
// (Headless, `screen_save` in the second frame of a room whose window had just grown now and
// then saved a picture without what the frame drew, with the build before this test too.)
const char* kStep = "n += 1;\n"
                    "if (n == 3 && view_enabled) { sf = surface_create(view_wport[1], view_hport[1]); view_surface_id[1] = sf; }\n"
                    "if (n == 3 && !view_enabled) sf = surface_create(room_width, room_height);\n"
                    "if (n == 5 || n == 6) surface_save(sf, room_get_name(room) + \"_surface_\" + string(n - 3) + \".png\");\n"
                    "if (n == 6) { surface_free(sf); if (room == room_last) game_end(); else room_goto_next(); }\n";
const char* kDraw = "if (n != 4 && n != 5) exit;\n"
                    "if (view_enabled && view_current > 1) exit;\n"
                    "var vw, vh; vw = room_width; vh = room_height;\n"
                    "if (view_enabled) { vw = view_wview[0]; vh = view_hview[0]; }\n"
                    "if (n == 4) scr_shapes(); else scr_points(vw, vh);\n"
                    "if (!view_enabled) {\n"
                    "    surface_set_target(sf); draw_clear_alpha(c_black, 1);\n"
                    "    if (n == 4) scr_shapes(); else scr_points(vw, vh);\n"
                    "    surface_reset_target();\n"
                    "}\n"
                    "if (view_current == 0) screen_save(room_get_name(room) + \"_screen_\" + string(n - 2) + \".png\");\n";

// The lit pixels of a saved picture (white drawn on black).
struct Picture {
    PackImage image;
    bool Lit(int x, int y) const
    {
        if (x < 0 || y < 0 || x >= image.width || y >= image.height) return false;
        return image.rgba[(size_t(y) * size_t(image.width) + size_t(x)) * 4] >= 128;
    }
    std::set<std::pair<int, int>> LitIn(int l, int t, int r, int b) const // [l, r) x [t, b)
    {
        std::set<std::pair<int, int>> lit;
        for (int y = t; y < b; ++y)
            for (int x = l; x < r; ++x)
                if (Lit(x, y)) lit.emplace(x, y);
        return lit;
    }
};

std::set<std::pair<int, int>> Ring(int l, int t, int r, int b)
{
    std::set<std::pair<int, int>> ring;
    for (int x = l; x <= r; ++x) ring.emplace(x, t), ring.emplace(x, b);
    for (int y = t; y <= b; ++y) ring.emplace(l, y), ring.emplace(r, y);
    return ring;
}

std::string Range(int a, int b) { return a == b ? std::to_string(a) : std::to_string(a) + "-" + std::to_string(b); }

// What a set of lit pixels is: "none", a point "(x, y)", a run "row y x a-b" or "column x y
// a-b", an outline "ring a-b x c-d" (its box's border, whole and alone), or "N px in a-b x c-d".
std::string Describe(const std::set<std::pair<int, int>>& lit)
{
    if (lit.empty()) return "none";
    int l = 1 << 30, t = 1 << 30, r = -1, b = -1;
    for (const auto& p : lit) l = std::min(l, p.first), r = std::max(r, p.first), t = std::min(t, p.second), b = std::max(b, p.second);
    const size_t n = lit.size();
    if (n == 1) return "(" + std::to_string(l) + ", " + std::to_string(t) + ")";
    if (t == b && n == size_t(r - l + 1)) return "row " + std::to_string(t) + " x " + Range(l, r);
    if (l == r && n == size_t(b - t + 1)) return "column " + std::to_string(l) + " y " + Range(t, b);
    if (r > l && b > t && lit == Ring(l, t, r, b)) return "ring " + Range(l, r) + " x " + Range(t, b);
    return std::to_string(n) + " px in " + Range(l, r) + " x " + Range(t, b);
}

// What landed in one picture pair (shapes, points) of a setup, and how it differs from where
// it belongs.
struct Landing {
    std::string outline, coloured, point, line, column, wide, shaft, triangle, points, flat;
    int closed = 0, exact = 0;
    std::vector<std::string> wrong;
};

Landing Look(const Room& s, const Picture& shapes, const Picture& points)
{
    Landing got;
    // The view pixels of room pixels [a, b) x [c, d).
    auto in = [&](int a, int c, int b, int d) { return shapes.LitIn(s.Edge(a), s.Edge(c), s.Edge(b), s.Edge(d)); };
    auto expect = [&](const std::string& what, const std::string& found, const std::set<std::string>& right) {
        if (!right.count(found)) got.wrong.push_back(what + ": " + found + ", not " + *right.begin());
    };
    auto px = [&](int x) { return s.Pixel(x); };
    got.outline = Describe(in(36, 16, 55, 32));
    expect("outline", got.outline, {"ring " + Range(px(40), px(49)) + " x " + Range(px(20), px(29))});
    got.coloured = Describe(in(132, 16, 150, 32));
    expect("coloured outline", got.coloured, {"ring " + Range(px(136), px(145)) + " x " + Range(px(20), px(29))});
    got.point = Describe(in(2, 2, 20, 20));
    expect("point", got.point, {"(" + std::to_string(px(10)) + ", " + std::to_string(px(10)) + ")"});
    // A line lights its row or column from its first end; its last pixel may be left out.
    got.line = Describe(in(56, 16, 75, 26));
    expect("line", got.line,
           {"row " + std::to_string(px(20)) + " x " + Range(px(60), px(70) - 1),
            "row " + std::to_string(px(20)) + " x " + Range(px(60), px(70))});
    got.column = Describe(in(76, 16, 85, 32));
    expect("vertical line", got.column,
           {"column " + std::to_string(px(80)) + " y " + Range(px(20), px(30) - 1),
            "column " + std::to_string(px(80)) + " y " + Range(px(20), px(30))});
    // A line one pixel wide, and an arrow's shaft, on the row of the thin line; magnified, the
    // wide line (its quad centred on room row 20, the offset gone) covers the screen rows on
    // either side of the room row's top edge.
    const std::set<std::pair<int, int>> wide = in(86, 16, 105, 26);
    got.wide = Describe(wide);
    const int first = s.scale == 2 ? px(20) - 1 : px(20), band = s.scale == 2 ? 2 : 1;
    if (wide.empty()) got.wrong.push_back("wide line: none");
    for (const auto& p : wide)
        if (p.second < first || p.second >= first + band) {
            got.wrong.push_back("wide line: " + got.wide + ", not on rows " + Range(first, first + band - 1));
            break;
        }
    got.shaft = Describe(in(106, 4, 122, 13));
    expect("arrow's shaft", got.shaft, {"row " + std::to_string(px(8)) + " x " + Range(px(110), s.Edge(122) - 1)});
    // A triangle's outline takes no pixel offset: its corner (110, 20) lies where room position
    // (110, 20) is, 1:1 one pixel up and left of a rectangle outline's corner there; in the
    // scaled views (no offset for either) on it.
    const std::set<std::pair<int, int>> triangle = in(106, 16, 130, 32);
    got.triangle = Describe(triangle);
    const int tl = s.scale == 1 ? px(109) : px(110), tt = s.scale == 1 ? px(19) : px(20);
    if (!triangle.count({tl, tt}) || !triangle.count({tl + 2, tt}) || !triangle.count({tl, tt + 2}) ||
        triangle.count({tl - 1, tt + 2}) || triangle.count({tl + 2, tt - 1}))
        got.wrong.push_back("triangle: " + got.triangle + ", its corner not at " + std::to_string(tl) + ", " + std::to_string(tt));
    // The triangles before the flat shapes drawn, the flat shapes lighting nothing where the
    // view is scaled (1:1 the rectangle is a row: the pixel offset makes it a pixel tall).
    const std::set<std::pair<int, int>> triangleA = in(4, 100, 17, 113), triangleB = in(40, 100, 53, 113);
    const std::set<std::pair<int, int>> flats = in(56, 101, 84, 112);
    const size_t rect = in(18, 102, 34, 110).size();
    got.flat = std::to_string(triangleA.size()) + " and " + std::to_string(triangleB.size()) + " px";
    if (in(5, 101, 9, 105).empty() || in(41, 101, 45, 105).empty() || !flats.empty() || (s.scale != 1 && rect != 0))
        got.wrong.push_back("triangles before flat shapes: " + got.flat + "; flat shapes " + Describe(flats) + ", " +
                            std::to_string(rect) + " px");
    std::map<int, int> rows;
    for (const auto& p : in(96, 96, 134, 112)) ++rows[p.second];
    const int along = px(130) - px(100);
    if (rows.size() != 2 || rows.begin()->first != px(100) || rows.rbegin()->first != px(108) ||
        rows.begin()->second < along || rows.rbegin()->second < along)
        got.wrong.push_back("a line before and after the world moved it: " + Describe(in(96, 96, 134, 112)));
    const std::vector<Outline> outlines = RandomOutlines();
    for (int i = 0; i < kCells; ++i) {
        const int cx = (i % 10) * 16, cy = 32 + (i / 10) * 16;
        const std::set<std::pair<int, int>> lit = in(cx, cy, cx + 16, cy + 16);
        const Outline& o = outlines[size_t(i)];
        if (lit == Ring(px(o.x1), px(o.y1), px(o.x2), px(o.y2))) ++got.exact;
        if (Describe(lit).rfind("ring ", 0) == 0) ++got.closed;
    }
    if (got.exact != kCells) got.wrong.push_back("random outlines: " + std::to_string(got.exact) + " of 40 exact");
    // The points: on their pixels, or where most of them went instead.
    std::set<std::pair<int, int>> want;
    int moved[3][3] = {};
    for (const auto& p : RandomPoints()) {
        const int x = px(p.first * s.ViewW() / 1000), y = px(p.second * s.ViewH() / 1000);
        want.emplace(x, y);
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) moved[dy + 1][dx + 1] += points.Lit(x + dx, y + dy);
    }
    const std::set<std::pair<int, int>> lit = points.LitIn(0, 0, points.image.width, points.image.height);
    int on = 0;
    for (const auto& p : want) on += lit.count(p) ? 1 : 0;
    got.points = std::to_string(on) + " of " + std::to_string(want.size()) + " on their pixel";
    if (lit.size() != size_t(on)) got.points += ", " + std::to_string(lit.size() - size_t(on)) + " elsewhere";
    int best = 0, bx = 0, by = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if ((dx || dy) && moved[dy + 1][dx + 1] > best) best = moved[dy + 1][dx + 1], bx = dx, by = dy;
    if (lit != want) {
        if (best) got.points += " (" + std::to_string(best) + " lit at " + std::to_string(bx) + ", " + std::to_string(by) + " from it)";
        got.wrong.push_back("points: " + got.points);
    }
    return got;
}

// The runner to play: ZB_PIXELS_RUNNER (a build of another commit) or this build's.
std::string Runner()
{
    const char* other = std::getenv("ZB_PIXELS_RUNNER");
    return other && *other ? other : ZB_RUNNER_PATH;
}

// Reads what one play saved in its save area and looks at every room whose screen the display
// holds whole (a larger room is shown shrunk into the window); surfaces always. Prints a table
// row for each room and target.
void LookAtPlay(const std::string& saves, const std::vector<Room>& rooms, int displayW, int displayH, const char* play)
{
    for (const Room& s : rooms)
        for (const std::string target : {"screen", "surface"}) {
            const int pw = s.scale == -2 ? s.w / 2 : s.w, ph = s.scale == -2 ? s.h / 2 : s.h;
            if (target == "screen" && (pw > displayW || ph > displayH)) continue;
            Picture shapes, points;
            std::string error;
            const std::string saved = saves + "/Pixels/" + s.Name() + "_" + target + "_";
            ASSERT_TRUE(GamePack_ReadPng(saved + "2.png", shapes.image, error)) << play << ": " << error;
            ASSERT_TRUE(GamePack_ReadPng(saved + "3.png", points.image, error)) << play << ": " << error;
            const Landing got = Look(s, shapes, points);
            std::printf("| %s | %dx%d | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %d | %d | %s |\n", play, s.w, s.h,
                        s.Scale().c_str(), target.c_str(), got.outline.c_str(), got.point.c_str(), got.line.c_str(),
                        got.column.c_str(), got.wide.c_str(), got.shaft.c_str(), got.triangle.c_str(), got.coloured.c_str(),
                        got.closed, got.exact, got.points.c_str());
            std::string wrong;
            for (const std::string& w : got.wrong) wrong += "\n  " + w;
            EXPECT_TRUE(got.wrong.empty()) << play << " " << s.w << "x" << s.h << " " << s.Scale() << " " << target << ":" << wrong;
        }
}

} // namespace

// Every shape on the pixels it names in every room size and scale, on the screen and on a
// surface; the random outlines closed and exact, every point on its pixel. The game is played
// headless (SDL's off-screen display, 1024 x 768, holds the screens of rooms up to 1024 x 768)
// and on a private X server whose screen holds the 1920 x 1080 rooms' screens too.
TEST(PrimitivePixels, PointsLinesAndOutlinesLightThePixelsTheyNameInEveryRoomSizeAndScale)
{
    std::vector<Room> rooms;
    for (const auto& size : std::vector<std::pair<int, int>>{{320, 240}, {640, 480}, {800, 600}, {1024, 768}, {1920, 1080}})
        for (int scale : {1, 2, -2}) rooms.push_back({size.first, size.second, scale});
    ScratchFolder dir;
    Scratch_WriteFile(dir / "shapes.zbl", ShapesScript());
    Scratch_WriteFile(dir / "points.zbl", PointsScript());
    Scratch_WriteFile(dir / "step.zbl", kStep);
    Scratch_WriteFile(dir / "draw.zbl", kDraw);
    std::string list;
    for (const Room& s : rooms) list += (list.empty() ? "" : ", ") + RoomJson(s);
    Scratch_WriteFile(dir / "game.json", R"({"name": "Pixels", "window": {"width": 640, "height": 480},
      "scripts": [{"name": "scr_shapes", "file": "shapes.zbl"}, {"name": "scr_points", "file": "points.zbl"}],
      "objects": [{"name": "obj", "events": [{"type": "create", "code": "n = 0;"}, {"type": "step", "file": "step.zbl"},
                                             {"type": "draw", "file": "draw.zbl"}]}],
      "rooms": [)" + list + "]}");
    std::string said;
    ASSERT_TRUE(e2e::Pack(dir / "game.json", dir / "game.win", "", &said)) << said;
    std::printf("| play | room | scale | target | outline 40,20-49,29 | point 10,10 | line 60-70,20 | line 80,20-30 | "
                "wide line 90-100,20 | arrow's shaft 110-,8 | triangle 110,20 | coloured outline 136,20-145,29 | closed | exact | "
                "points |\n");

    const std::string frames = " ZIMBREL_MAX_FRAMES=" + std::to_string(rooms.size() * 6 + 20) + " ";
    const std::string out = dir / "out.txt";
    ASSERT_EQ(Shell("cd " + Quote(dir.Path()) + " && " + kHeadless + "XDG_DATA_HOME=" + Quote(dir / "headless") + frames +
                    Quote(Runner()) + " -game game.win >" + Quote(out) + " 2>&1"),
              0)
        << Scratch_ReadFile(out);
    LookAtPlay(dir / "headless", rooms, 1024, 768, "headless");

    XSession x(2048, 1536);
    if (!x.Ok()) GTEST_SKIP() << x.Why();
    ASSERT_EQ(Shell("cd " + Quote(dir.Path()) + " && " + x.GameEnvironment() + "XDG_DATA_HOME=" + Quote(dir / "x") +
                    frames + Quote(Runner()) + " -game game.win >" + Quote(out) + " 2>&1"),
              0)
        << Scratch_ReadFile(out);
    LookAtPlay(dir / "x", rooms, 2048, 1536, "X");
}
