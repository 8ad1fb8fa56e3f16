// End to end: one rule for where a coordinate lands, judged shape by shape. A game draws
// thousands of random shapes (points; lines level, upright, sloped and wide, drawn either
// way, short, across the whole target and across its edges, some of two colours (a colour and
// a shade of it) among lines of one, some drawn with a line beyond the far plane; rectangles outlined, filled,
// coloured, filled and outlined at once; triangles filled
// and outlined; arrows; health bars) at random coordinates (whole, sixteenths, any single-
// precision value), each in a cell of its own, in rooms 160 to 1920 wide shown 1:1 and through
// views that scale by 1/3, 1/2, 2/3, 1.005, 1.5, 2, 3 and differently across and down. Each
// view room shows its view in two ports (the second at odd offsets) and draws it into a
// surface; every room also draws its own shapes on a surface of odd size as the target. The
// pictures are read back with screen_save and surface_save, and every cell is judged against
// the model of the device the rule was written for (support/PixelModel.h), then against the
// same cell elsewhere (the other port, the surface: the same pixels), and as an outline (a
// closed ring of straight edges, enclosing a fill of the same rectangle). Played headless and
// on the test X server.
//
// ZB_PIXEL_SEED changes the shapes (the seed is printed); ZB_PIXELS_RUNNER names another
// runner to play the game (a build of another commit): the test then only says what that
// runner draws.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "GamePack_Project.h"
#include "e2e/E2EGames.h"
#include "support/PixelModel.h"
#include "support/ScratchFolder.h"
#include "windowed/XSession.h"

using e2e::Quote;
using e2e::Shell;
using pixelmodel::Canvas;
using pixelmodel::Mapping;

namespace {

// The colour classes of the pictures: the room's colour, the shapes' colours and black.
struct Swatch {
    int32_t script; // 0xBBGGRR
    int r, g, b;
};
const Swatch kPalette[] = {{0x202020, 32, 32, 32},   {0xFFFFFF, 255, 255, 255}, {0x0000FF, 255, 0, 0},
                           {0x00FF00, 0, 255, 0},     {0xFF0000, 0, 0, 255},     {0x00FFFF, 255, 255, 0},
                           {0xFF00FF, 255, 0, 255},   {0xFFFF00, 0, 255, 255},   {0x000000, 0, 0, 0}};
constexpr int kBackground = 0, kColours = 7, kBlack = 8, kUnknown = 15;

// A shade of a class's colour that is still of that class (each channel 40 nearer the middle),
// as a script colour: a line of two colours from one to the other is all of the class.
int32_t Shade(int k)
{
    auto towards = [](int c) { return c == 255 ? 215 : c == 0 ? 40 : c; };
    return towards(kPalette[k].r) | towards(kPalette[k].g) << 8 | towards(kPalette[k].b) << 16;
}

int ClassOf(const PackImage& image, int x, int y)
{
    if (x < 0 || y < 0 || x >= image.width || y >= image.height) return kUnknown;
    const uint8_t* p = &image.rgba[(size_t(y) * size_t(image.width) + size_t(x)) * 4];
    int best = kUnknown, distance = 64;
    for (int k = 0; k <= kBlack; ++k) {
        const int d = std::max({std::abs(p[0] - kPalette[k].r), std::abs(p[1] - kPalette[k].g), std::abs(p[2] - kPalette[k].b)});
        if (d < distance) best = k, distance = d;
    }
    return best;
}

// A room and how it is shown: whole and 1:1, or through views 0 (port at 0, 0), 1 (the same
// view in a port at odd offsets) and 2 (the same view drawn into a surface); and the odd-sized
// surface drawn on as the target.
struct Scene {
    const char* name;
    int roomW, roomH;
    bool views;
    int viewX, viewY, viewW, viewH, portW, portH;
    int surfaceW, surfaceH;
    int cell = 0;           // the cells' side in the room (0: 18 pixels on the target, at least 12 in the room)
    bool linesOnly = false; // the room's cells hold lines only (level, upright, sloped, two-colour in turn)
    int Port1X() const { return portW + 3; }
    static constexpr int kPort1Y = 5;
    float FadeX() const { return views ? pixelmodel::Fade(viewW, portW) : 1.0f; }
    float FadeY() const { return views ? pixelmodel::Fade(viewH, portH) : 1.0f; }
    // Whether the outline of a rectangle encloses its fill by the rule here: where the view is
    // scaled and the pixel offset gone. (1:1, the offset puts an outline at fractional
    // corners inside the edges of its fill; partly faded, it moves them apart.)
    bool Encloses() const { return FadeX() == 0.0f && FadeY() == 0.0f; }
};

const Scene kScenes[] = {
    {"rm_160_whole", 160, 120, false, 0, 0, 160, 120, 160, 120, 97, 61},
    {"rm_640_whole", 640, 480, false, 0, 0, 640, 480, 640, 480, 333, 211},
    {"rm_1to1", 1920, 1080, true, 1400, 700, 480, 360, 480, 360, 257, 129},
    {"rm_third", 1920, 1080, true, 300, 100, 1200, 900, 400, 300, 301, 203},
    {"rm_half", 1024, 768, true, 160, 40, 800, 600, 400, 300, 155, 297},
    {"rm_two_thirds", 1920, 1080, true, 333, 77, 600, 450, 400, 300, 211, 111},
    {"rm_1_005", 640, 480, true, 50, 50, 400, 200, 402, 201, 409, 77},
    {"rm_one_and_half", 1920, 1080, true, 1001, 503, 300, 200, 450, 300, 99, 301},
    {"rm_double", 320, 240, true, 77, 33, 200, 150, 400, 300, 181, 181},
    {"rm_triple", 1920, 1080, true, 640, 480, 150, 100, 450, 300, 73, 251},
    {"rm_x2_y_half", 800, 800, true, 20, 20, 200, 600, 400, 300, 333, 57},
    {"rm_x1_5_y2_3", 1920, 1080, true, 1500, 600, 300, 450, 450, 300, 127, 203},
    {"rm_far", 17000, 1100, true, 16001, 701, 480, 360, 480, 360, 211, 131},
    {"rm_far_lines_double", 17000, 1100, true, 16333, 517, 240, 180, 480, 360, 149, 97, 30, true},
};

// What a cell holds.
enum Kind {
    kPoint,
    kLineLevel,
    kLineUpright,
    kLineSloped,
    kLineTwoColour, // a line from a colour to a shade of it, drawn among lines of one colour
    kLineWide,
    kOutline,
    kFilled,
    kColourFilled,
    kColourOutline,
    kFilledAndOutline,
    kTriangleFilled,
    kTriangleOutline,
    kArrow,
    kHealthbar,
    kLineLong, // across a strip of the target's width: long enough to be drawn as runs of pixels
    kKinds
};
const char* const kKindNames[kKinds] = {"point",          "level line",       "upright line",   "sloped line",   "two-colour line",
                                         "wide line",      "outline",          "filled rectangle", "coloured fill",
                                         "coloured outline", "fill and outline", "filled triangle", "triangle outline",
                                         "arrow",          "health bar",        "long line"};

struct Shape {
    Kind kind = kPoint;
    float v[6] = {};
    float extra = 0; // a wide line's width, an arrow's size, a health bar's amount
    int direction = 0;
    int first = 1, second = 2; // colour classes
    int mode = 0;              // coordinates 0 whole, 1 in sixteenths, 2 any
    bool shaded = false;       // a line from the first class's colour to a shade of it (Shade)
    bool deep = false;         // a line drawn by a 3D primitive with one beyond the far plane (not drawn)

    std::string Call() const
    {
        auto num = [](float f) {
            char text[32];
            std::snprintf(text, sizeof(text), "%.9g", (double)f);
            return std::string(text);
        };
        auto colour = [](int k) { return "draw_set_colour(" + std::to_string(kPalette[k].script) + "); "; };
        auto corners = [&](int n) {
            std::string s;
            for (int i = 0; i < n; ++i) s += (i ? ", " : "") + num(v[i]);
            return s;
        };
        switch (kind) {
        case kPoint: return colour(first) + "draw_point(" + corners(2) + ");";
        case kLineLevel:
        case kLineUpright:
        case kLineSloped:
        case kLineTwoColour:
        case kLineLong:
            if (deep) {
                const std::string c = ", " + std::to_string(kPalette[first].script) + ", 1); ";
                return "d3d_primitive_begin(pr_linelist); d3d_vertex_color(" + num(v[0]) + ", " + num(v[1]) + ", 0" + c +
                       "d3d_vertex_color(" + num(v[2]) + ", " + num(v[3]) + ", 0" + c + "d3d_vertex_color(" + num(v[0]) +
                       ", " + num(v[3]) + ", 20000" + c + "d3d_vertex_color(" + num(v[2]) + ", " + num(v[1]) + ", 20000" + c +
                       "d3d_primitive_end();";
            }
            if (shaded)
                return "draw_line_color(" + corners(4) + ", " + std::to_string(kPalette[first].script) + ", " +
                       std::to_string(Shade(first)) + ");";
            return colour(first) + "draw_line(" + corners(4) + ");";
        case kLineWide: return colour(first) + "draw_line_width(" + corners(4) + ", " + num(extra) + ");";
        case kOutline: return colour(first) + "draw_rectangle(" + corners(4) + ", true);";
        case kFilled: return colour(first) + "draw_rectangle(" + corners(4) + ", false);";
        case kColourFilled:
        case kColourOutline: {
            const std::string c = std::to_string(kPalette[first].script);
            return "draw_rectangle_color(" + corners(4) + ", " + c + ", " + c + ", " + c + ", " + c + ", " +
                   (kind == kColourOutline ? "true" : "false") + ");";
        }
        case kFilledAndOutline:
            return colour(first) + "draw_rectangle(" + corners(4) + ", false); " + colour(second) + "draw_rectangle(" +
                   corners(4) + ", true);";
        case kTriangleFilled: return colour(first) + "draw_triangle(" + corners(6) + ", false);";
        case kTriangleOutline: return colour(first) + "draw_triangle(" + corners(6) + ", true);";
        case kArrow: return colour(first) + "draw_arrow(" + corners(4) + ", " + num(extra) + ");";
        case kHealthbar: {
            const std::string bar = std::to_string(kPalette[second].script);
            return "draw_healthbar(" + corners(4) + ", " + num(extra) + ", " + std::to_string(kPalette[first].script) + ", " +
                   bar + ", " + bar + ", " + std::to_string(direction) + ", true, true);";
        }
        default: return "";
        }
    }

    void Paint(Canvas& c, const Mapping& m) const
    {
        namespace pm = pixelmodel;
        switch (kind) {
        case kPoint: pm::DrawPoint(c, m, v[0], v[1], first); break;
        case kLineLevel:
        case kLineUpright:
        case kLineSloped:
        case kLineTwoColour:
        case kLineLong:
            if (deep) pm::Line(c, m, v[0], v[1], v[2], v[3], first); // no pixel offset: a 3D vertex's own place
            else pm::DrawLine(c, m, v[0], v[1], v[2], v[3], first);
            break;
        case kLineWide: pm::DrawLineWidth(c, m, v[0], v[1], v[2], v[3], extra, first); break;
        case kOutline: pm::DrawRectangle(c, m, v[0], v[1], v[2], v[3], true, first); break;
        case kFilled: pm::DrawRectangle(c, m, v[0], v[1], v[2], v[3], false, first); break;
        case kColourFilled: pm::DrawRectangleColour(c, m, v[0], v[1], v[2], v[3], false, first); break;
        case kColourOutline: pm::DrawRectangleColour(c, m, v[0], v[1], v[2], v[3], true, first); break;
        case kFilledAndOutline:
            pm::DrawRectangle(c, m, v[0], v[1], v[2], v[3], false, first);
            pm::DrawRectangle(c, m, v[0], v[1], v[2], v[3], true, second);
            break;
        case kTriangleFilled: pm::DrawTriangle(c, m, v[0], v[1], v[2], v[3], v[4], v[5], false, first); break;
        case kTriangleOutline: pm::DrawTriangle(c, m, v[0], v[1], v[2], v[3], v[4], v[5], true, first); break;
        case kArrow: pm::DrawArrow(c, m, v[0], v[1], v[2], v[3], extra, first); break;
        case kHealthbar: pm::DrawHealthbar(c, m, v[0], v[1], v[2], v[3], extra, direction, first, second, kBlack); break;
        default: break;
        }
    }

    // The class whose pixels must make a closed ring (-1: none) and those it must enclose.
    int Ring() const
    {
        return kind == kOutline || kind == kColourOutline ? first : kind == kFilledAndOutline ? second : -1;
    }
};

// The cells of one target: room squares over an area, each with its shape, and strips across
// its width below them with a long line each.
struct Cell {
    float x, y, w, h; // its room rectangle
    Shape shape;
};

// The pixel box of a room rectangle on a target: the pixels whose centres its window rectangle
// holds.
struct Box {
    int left, top, right, bottom; // [left, right) x [top, bottom)
};
Box BoxOf(const Mapping& m, float x, float y, float w, float h)
{
    auto wx = [&](double p) { return (p - m.viewX) * m.portW / m.viewW + m.portX - 0.5 * m.offsetX; };
    auto wy = [&](double p) { return (p - m.viewY) * m.portH / m.viewH + m.portY - 0.5 * m.offsetY; };
    return {(int)std::ceil(wx(x)), (int)std::ceil(wy(y)), (int)std::ceil(wx(x + w)), (int)std::ceil(wy(y + h))};
}
Box BoxOf(const Mapping& m, const Cell& c) { return BoxOf(m, c.x, c.y, c.w, c.h); }

Canvas Paint(const Shape& s, const Mapping& m, const Box& b)
{
    Canvas c(b.left, b.top, b.right - b.left, b.bottom - b.top, kBackground);
    s.Paint(c, m);
    return c;
}

class Shapes {
public:
    explicit Shapes(uint32_t seed) : m_random(seed) {}

    // A random shape inside the cell that lands within the cell's box less a pixel all round on
    // the target, and whose thin parts are not too near a pixel edge to judge: in a square the
    // kinds take turns, in a strip a long line.
    bool Make(const Mapping& m, Cell& cell, bool linesOnly = false)
    {
        const double scale = std::min((double)m.portW / m.viewW, (double)m.portH / m.viewH);
        const float margin = (float)(1.5 + 2.0 / scale);
        Box inner = BoxOf(m, cell);
        inner.left += 1, inner.top += 1, inner.right -= 1, inner.bottom -= 1;
        const bool strip = cell.w > cell.h;
        for (int attempt = 0; attempt < 40; ++attempt) {
            Shape s;
            s.kind = strip ? kLineLong : linesOnly ? Kind(kLineLevel + m_turn % 4) : Kind(m_turn % kLineLong);
            s.first = 1 + int(m_random() % kColours);
            s.second = 1 + (s.first + int(m_random() % (kColours - 1))) % kColours;
            Fill(s, cell.x + margin, cell.y + margin, cell.x + cell.w - margin, cell.y + cell.h - margin);
            Canvas c = Paint(s, m, inner);
            if (c.outside || c.unjudged) continue;
            m_turn += !strip;
            cell.shape = s;
            return true;
        }
        m_turn += !strip;
        return false;
    }

private:
    // A coordinate in [lo, hi]: whole, in sixteenths, or any single-precision value.
    float Coordinate(float lo, float hi, int mode)
    {
        const double u = std::uniform_real_distribution<double>(0.0, 1.0)(m_random);
        const double v = lo + (hi - lo) * u;
        if (mode == 0) return (float)std::round(v);
        if (mode == 1) return (float)(std::round(v * 16.0) / 16.0);
        return (float)v;
    }

    void Fill(Shape& s, float l, float t, float r, float b)
    {
        const int mode = s.mode = int(m_random() % 3);
        auto x = [&]() { return Coordinate(l, r, mode); };
        auto y = [&]() { return Coordinate(t, b, mode); };
        for (int i = 0; i < 6; i += 2) s.v[i] = x(), s.v[i + 1] = y();
        switch (s.kind) {
        case kLineLong: // from about one end of the strip to about the other (past the target's edge
                        // at times), either way, level now and then; or a short one across
                        // the target's left or right edge
            s.v[0] = Coordinate(l - (r - l) / 4, l + (r - l) / 8, mode), s.v[2] = Coordinate(r - (r - l) / 8, r + (r - l) / 4, mode);
            if (m_random() % 4 == 0) {
                const float reach = b - t, edge = m_random() % 2 ? l : r;
                s.v[0] = Coordinate(edge - reach, edge, mode), s.v[2] = Coordinate(edge, edge + reach, mode);
            }
            if (m_random() % 2) std::swap(s.v[0], s.v[2]);
            if (m_random() % 3 == 0) s.v[3] = s.v[1];
            s.shaded = m_random() % 3 == 0;
            break;
        case kLineTwoColour: // sloped, level or upright
            s.shaded = true;
            if (m_random() % 3 == 0) s.v[3] = s.v[1];
            else if (m_random() % 2 == 0) s.v[2] = s.v[0];
            break;
        case kLineLevel:
            s.v[3] = s.v[1];
            s.deep = m_random() % 4 == 0;
            break;
        case kLineSloped: s.deep = m_random() % 4 == 0; break;
        case kLineUpright: s.v[2] = s.v[0]; break;
        case kLineWide: s.extra = 0.5f + float(m_random() % 8) * 0.5f; break;
        case kArrow: s.extra = 2.0f + float(m_random() % 12); break;
        case kHealthbar:
            s.extra = float(1 + m_random() % 100);
            s.direction = int(m_random() % 4);
            break;
        default: break;
        }
    }

    std::mt19937 m_random;
    int m_turn = 0;
};

// A target of a setup: its name, its mapping, the picture it is saved in ("screen", "view",
// "surface").
struct Target {
    std::string name;
    Mapping map;
    std::string picture;
};

struct Plan {
    const Scene* setup;
    std::vector<Cell> roomCells, surfaceCells;
    std::vector<Target> roomTargets;
    Target surface;
};

Mapping ViewMapping(const Scene& s, int portX, int portY)
{
    Mapping m;
    if (s.views) m = {s.viewX, s.viewY, s.viewW, s.viewH, portX, portY, s.portW, s.portH, s.FadeX(), s.FadeY()};
    else m = {0, 0, s.roomW, s.roomH, 0, 0, s.roomW, s.roomH, 1.0f, 1.0f};
    return m;
}

// Cells of the given size over a room area: squares, then three strips across its width (the
// last rows), one shape in each.
void Layout(Shapes& shapes, const Mapping& m, float x0, float y0, float w, float h, float size, std::vector<Cell>& out,
            bool linesOnly = false)
{
    const int rows = int(h / size), strips = rows > 6 ? 3 : 0;
    for (int row = 0; row < rows - strips; ++row)
        for (float x = x0; x + size <= x0 + w; x += size) {
            Cell c{x, y0 + row * size, size, size, {}};
            if (shapes.Make(m, c, linesOnly)) out.push_back(c);
        }
    for (int row = rows - strips; row < rows; ++row) {
        Cell c{x0, y0 + row * size, w, size, {}};
        if (shapes.Make(m, c)) out.push_back(c);
    }
}

Plan MakePlan(const Scene& s, Shapes& shapes)
{
    Plan p;
    p.setup = &s;
    p.roomTargets.push_back({"port 0", ViewMapping(s, 0, 0), "screen"});
    if (s.views) {
        p.roomTargets.push_back({"port 1", ViewMapping(s, s.Port1X(), Scene::kPort1Y), "screen"});
        p.roomTargets.push_back({"view surface", ViewMapping(s, 0, 0), "view"});
    }
    p.surface = {"odd surface", {0, 0, s.surfaceW, s.surfaceH, 0, 0, s.surfaceW, s.surfaceH, s.FadeX(), s.FadeY()},
                 "surface"};
    const Mapping& m = p.roomTargets[0].map;
    const double scale = std::min((double)m.portW / m.viewW, (double)m.portH / m.viewH);
    const float size = s.cell ? (float)s.cell : (float)std::max(12.0, std::ceil(18.0 / scale));
    Layout(shapes, m, (float)m.viewX, (float)m.viewY, (float)m.viewW, (float)m.viewH, size, p.roomCells, s.linesOnly);
    Layout(shapes, p.surface.map, 0, 0, (float)s.surfaceW, (float)s.surfaceH, 14, p.surfaceCells);
    return p;
}

std::string RoomJson(const Scene& s, int index)
{
    std::string views;
    if (s.views) {
        auto view = [&](int px, int py) {
            return R"({"visible": true, "x": )" + std::to_string(s.viewX) + R"(, "y": )" + std::to_string(s.viewY) +
                   R"(, "width": )" + std::to_string(s.viewW) + R"(, "height": )" + std::to_string(s.viewH) +
                   R"(, "port_x": )" + std::to_string(px) + R"(, "port_y": )" + std::to_string(py) +
                   R"(, "port_width": )" + std::to_string(s.portW) + R"(, "port_height": )" + std::to_string(s.portH) + "}";
        };
        views = R"("views_enabled": true, "views": [)" + view(0, 0) + ", " + view(s.Port1X(), Scene::kPort1Y) + ", " +
                view(0, 0) + "], ";
    }
    return R"({"name": ")" + std::string(s.name) + R"(", "width": )" + std::to_string(s.roomW) + R"(, "height": )" +
           std::to_string(s.roomH) + R"(, "speed": 240, "colour": )" + std::to_string(kPalette[kBackground].script) +
           R"(, "show_colour": true, )" + views + R"("code": "global.plan = )" + std::to_string(index) +
           R"(; global.sw = )" + std::to_string(s.surfaceW) + "; global.sh = " + std::to_string(s.surfaceH) +
           R"(;", "instances": [{"object": "obj"}]})";
}

// Frame 4 draws every view's shapes and the odd surface's; the screen is saved after the views
// (in the GUI pass), the surfaces in the next step. Surfaces are made once the window has the
// room's size (a new size loses them).
const char* kStep = "n += 1;\n"
                    "if (n == 3) {\n"
                    "    sf = surface_create(global.sw, global.sh);\n"
                    "    if (view_enabled) { sv = surface_create(view_wport[2], view_hport[2]); view_surface_id[2] = sv; }\n"
                    "}\n"
                    "if (n == 5) {\n"
                    "    surface_save(sf, room_get_name(room) + \"_surface.png\");\n"
                    "    if (view_enabled) surface_save(sv, room_get_name(room) + \"_view.png\");\n"
                    "}\n"
                    "if (n == 6) {\n"
                    "    surface_free(sf); if (view_enabled) { view_surface_id[2] = -1; surface_free(sv); }\n"
                    "    if (room == room_last) game_end(); else room_goto_next();\n"
                    "}\n";
const char* kGui = "if (n == 4) screen_save(room_get_name(room) + \"_screen.png\");\n";

std::string DrawCode(size_t plans)
{
    std::string code = "if (n != 4) exit;\n";
    for (size_t i = 0; i < plans; ++i) code += "if (global.plan == " + std::to_string(i) + ") scr_room_" + std::to_string(i) + "();\n";
    code += "if (view_enabled && view_current != 0) exit;\n"
            "surface_set_target(sf); draw_clear(" +
            std::to_string(kPalette[kBackground].script) + ");\n";
    for (size_t i = 0; i < plans; ++i)
        code += "if (global.plan == " + std::to_string(i) + ") scr_surface_" + std::to_string(i) + "();\n";
    code += "surface_reset_target();\n";
    return code;
}

std::string Calls(const std::vector<Cell>& cells)
{
    std::string code;
    for (const Cell& c : cells) code += c.shape.Call() + "\n";
    return code;
}

// How one target of one setup came out.
struct Tally {
    int shapes = 0, longLines = 0, wrong = 0, open = 0, unenclosed = 0, otherPort = 0, onSurface = 0, unshaded = 0;
    std::map<int, int> wrongByKind, wrongByMode;
    std::vector<std::string> examples;
};

// The pixels of one class in a box of a picture.
std::set<std::pair<int, int>> PixelsOf(const PackImage& img, const Box& b, int cls)
{
    std::set<std::pair<int, int>> out;
    for (int y = b.top; y < b.bottom; ++y)
        for (int x = b.left; x < b.right; ++x)
            if (ClassOf(img, x, y) == cls) out.emplace(x, y);
    return out;
}

bool IsRing(const std::set<std::pair<int, int>>& px)
{
    if (px.empty()) return false;
    int l = 1 << 30, t = 1 << 30, r = -(1 << 30), b = -(1 << 30);
    for (const auto& p : px) l = std::min(l, p.first), r = std::max(r, p.first), t = std::min(t, p.second), b = std::max(b, p.second);
    std::set<std::pair<int, int>> ring;
    for (int x = l; x <= r; ++x) ring.emplace(x, t), ring.emplace(x, b);
    for (int y = t; y <= b; ++y) ring.emplace(l, y), ring.emplace(r, y);
    return ring == px;
}

// A cell as the model has it and as it came out, row by row: the class drawn (. for the
// background), ? where the model allows more than one, ! where the picture differs.
std::string Map(const Canvas& want, const PackImage& img, const Box& b)
{
    std::string out = "\n    from (" + std::to_string(b.left) + ", " + std::to_string(b.top) + "): model | picture";
    auto glyph = [](int cls) { return cls == kBackground ? '.' : cls == kUnknown ? '#' : char('0' + cls); };
    for (int y = b.top; y < b.bottom; ++y) {
        std::string model, got;
        for (int x = b.left; x < b.right; ++x) {
            const uint16_t allowed = want.At(x, y);
            const int cls = ClassOf(img, x, y);
            model += (allowed & (allowed - 1)) ? '?' : glyph(__builtin_ctz(allowed));
            got += (allowed & (1u << cls)) ? glyph(cls) : '!';
        }
        out += "\n    " + model + " | " + got;
    }
    return out;
}

// Judges every cell of a target: the model's verdict, then the outline's own shape.
// Whether a line of two colours on its pixels runs from its first colour to the other: its
// pixel k of n (ordered along it from its first end) k / n of the way, within what lies half a
// pixel across the line takes (a quarter of a step) and rounding.
bool RunsFromColourToShade(const Shape& s, const Canvas& want, const PackImage& img, const Box& b)
{
    std::vector<std::pair<double, const uint8_t*>> line;
    const double dx = double(s.v[2]) - s.v[0], dy = double(s.v[3]) - s.v[1];
    for (int y = b.top; y < b.bottom; ++y)
        for (int x = b.left; x < b.right; ++x)
            if (want.At(x, y) == 1u << s.first)
                line.emplace_back(x * dx + y * dy, &img.rgba[(size_t(y) * size_t(img.width) + size_t(x)) * 4]);
    std::sort(line.begin(), line.end(), [](const auto& p, const auto& q) { return p.first < q.first; });
    const int from[3] = {kPalette[s.first].r, kPalette[s.first].g, kPalette[s.first].b};
    const int32_t shade = Shade(s.first);
    const int to[3] = {shade & 0xFF, (shade >> 8) & 0xFF, (shade >> 16) & 0xFF};
    const double n = double(line.size()), slack = 2.0 + 10.0 / n;
    for (size_t k = 0; k < line.size(); ++k)
        for (int c = 0; c < 3; ++c)
            if (std::fabs(line[k].second[c] - (from[c] + (to[c] - from[c]) * double(k) / n)) > slack) return false;
    return true;
}

void JudgeCells(const std::vector<Cell>& cells, const Mapping& m, const PackImage& img, bool encloses, Tally& t,
                const std::string& where)
{
    for (const Cell& c : cells) {
        const Box b = BoxOf(m, c);
        const Canvas want = Paint(c.shape, m, b);
        ++t.shapes;
        t.longLines += c.shape.kind == kLineLong;
        int bad = 0;
        for (int y = b.top; y < b.bottom; ++y)
            for (int x = b.left; x < b.right; ++x)
                if (!(want.At(x, y) & (1u << ClassOf(img, x, y)))) ++bad;
        if (bad) {
            ++t.wrong;
            ++t.wrongByKind[c.shape.kind];
            ++t.wrongByMode[c.shape.mode];
            if (t.examples.size() < 6)
                t.examples.push_back(where + ": " + kKindNames[c.shape.kind] + " " + c.shape.Call() + " (" +
                                     std::to_string(bad) + " px)" + (t.examples.empty() ? Map(want, img, b) : ""));
        }
        if (c.shape.kind == kLineTwoColour && !bad && !RunsFromColourToShade(c.shape, want, img, b)) {
            ++t.unshaded;
            if (t.examples.size() < 6) t.examples.push_back(where + ": colours not from one to the other along " + c.shape.Call());
        }
        const int ring = c.shape.Ring();
        if (ring < 0) continue;
        const std::set<std::pair<int, int>> outline = PixelsOf(img, b, ring);
        if (!IsRing(outline)) ++t.open;
        if (c.shape.kind != kFilledAndOutline || !encloses || outline.empty()) continue;
        int l = 1 << 30, top = 1 << 30, r = -(1 << 30), bottom = -(1 << 30);
        for (const auto& p : outline) l = std::min(l, p.first), r = std::max(r, p.first), top = std::min(top, p.second), bottom = std::max(bottom, p.second);
        for (const auto& p : PixelsOf(img, b, c.shape.first))
            if (p.first < l || p.first > r || p.second < top || p.second > bottom) {
                ++t.unenclosed;
                break;
            }
    }
}

// Cells that differ between two places of the same drawing (dx, dy apart), in the pixels the
// model judges (one whose centre lies within 1/256 of an edge may go either way in each).
int Differing(const std::vector<Cell>& cells, const Mapping& m, const PackImage& a, const PackImage& b, int dx, int dy)
{
    int n = 0;
    for (const Cell& c : cells) {
        const Box box = BoxOf(m, c);
        const Canvas want = Paint(c.shape, m, box);
        bool same = true;
        for (int y = box.top; y < box.bottom && same; ++y)
            for (int x = box.left; x < box.right && same; ++x) {
                const uint16_t allowed = want.At(x, y);
                same = (allowed & (allowed - 1)) || ClassOf(a, x, y) == ClassOf(b, x + dx, y + dy);
            }
        n += !same;
    }
    return n;
}

std::string Runner()
{
    const char* other = std::getenv("ZB_PIXELS_RUNNER");
    return other && *other ? other : ZB_RUNNER_PATH;
}

uint32_t Seed()
{
    const char* s = std::getenv("ZB_PIXEL_SEED");
    return s && *s ? (uint32_t)std::strtoul(s, nullptr, 10) : 56u;
}

struct Totals {
    int shapes = 0, longLines = 0, wrong = 0, invariants = 0;
    std::map<int, int> wrongByKind, wrongByMode;
};

// Reads one play's pictures and judges every setup's targets; one table row each.
void JudgePlay(const std::string& saves, const std::vector<Plan>& plans, const char* play, uint32_t seed, bool strict,
               Totals& totals)
{
    for (const Plan& p : plans) {
        const Scene& s = *p.setup;
        std::map<std::string, PackImage> pictures;
        for (const char* file : {"screen", "view", "surface"}) {
            if (!s.views && std::string(file) == "view") continue;
            std::string error;
            const std::string path = saves + "/Pixel rule/" + s.name + "_" + file + ".png";
            ASSERT_TRUE(GamePack_ReadPng(path, pictures[file], error)) << play << ": " << error;
        }
        std::vector<std::pair<std::string, Tally>> rows;
        for (const Target& t : p.roomTargets) {
            Tally tally;
            const PackImage& img = pictures[t.picture];
            JudgeCells(p.roomCells, t.map, img, s.Encloses(), tally, std::string(play) + " " + s.name + " " + t.name);
            if (t.name == "port 1")
                tally.otherPort = Differing(p.roomCells, p.roomTargets[0].map, pictures["screen"], img, s.Port1X(), Scene::kPort1Y);
            if (t.name == "view surface")
                tally.onSurface = Differing(p.roomCells, p.roomTargets[0].map, pictures["screen"], img, 0, 0);
            rows.emplace_back(t.name, tally);
        }
        Tally odd;
        JudgeCells(p.surfaceCells, p.surface.map, pictures["surface"], s.Encloses(), odd,
                   std::string(play) + " " + s.name + " odd surface");
        rows.emplace_back("odd surface " + std::to_string(s.surfaceW) + "x" + std::to_string(s.surfaceH), odd);
        for (const auto& [name, t] : rows) {
            const auto whole = t.wrongByMode.find(0);
            std::printf("| %s | %s | %s | %d | %d | %d | %d | %d | %d | %d | %d |\n", play, s.name, name.c_str(), t.shapes,
                        t.wrong, whole == t.wrongByMode.end() ? 0 : whole->second, t.open, t.unenclosed, t.otherPort,
                        t.onSurface, t.unshaded);
            totals.shapes += t.shapes;
            totals.longLines += t.longLines;
            totals.wrong += t.wrong;
            totals.invariants += t.open + t.unenclosed + t.otherPort + t.onSurface + t.unshaded;
            for (const auto& [kind, n] : t.wrongByKind) totals.wrongByKind[kind] += n;
            for (const auto& [mode, n] : t.wrongByMode) totals.wrongByMode[mode] += n;
            if (!strict) {
                if (!t.examples.empty()) std::printf("  e.g. %s\n", t.examples[0].c_str());
                continue;
            }
            std::string examples;
            for (const std::string& e : t.examples) examples += "\n  " + e;
            EXPECT_EQ(t.wrong + t.open + t.unenclosed + t.otherPort + t.onSurface + t.unshaded, 0)
                << "seed " << seed << " (ZB_PIXEL_SEED): " << play << " " << s.name << " " << name << ": " << t.wrong
                << " shapes not as the rule draws them, " << t.open << " outlines open, " << t.unenclosed
                << " fills outside their outline, " << t.otherPort << " cells unlike port 0's, " << t.onSurface
                << " cells unlike the screen's, " << t.unshaded << " two-colour lines not from one colour to the other"
                << examples;
        }
    }
}

void PrintTotals(const char* play, const Totals& t)
{
    std::printf("%s: %d shapes (%d long lines), %d not as the rule draws them, %d against the invariants", play, t.shapes,
                t.longLines, t.wrong, t.invariants);
    static const char* const kModes[] = {"whole", "sixteenths", "any"};
    for (const auto& [mode, n] : t.wrongByMode) std::printf("; at %s coordinates %d", kModes[mode], n);
    for (const auto& [kind, n] : t.wrongByKind) std::printf("; %s %d", kKindNames[kind], n);
    std::printf("\n");
}

} // namespace

// Every shape on the pixels the rule gives, at every position and scale, on the screen (two
// ports) and on surfaces, headless and on a private X server.
TEST(PixelRule, RandomShapesLandWhereTheRuleSaysInEveryRoomScaleAndTarget)
{
    const uint32_t seed = Seed();
    Shapes shapes(seed);
    std::vector<Plan> plans;
    for (const Scene& s : kScenes) plans.push_back(MakePlan(s, shapes));

    ScratchFolder dir;
    std::string scripts, rooms;
    for (size_t i = 0; i < plans.size(); ++i) {
        const std::string n = std::to_string(i);
        Scratch_WriteFile(dir / ("room_" + n + ".zbl"), Calls(plans[i].roomCells));
        Scratch_WriteFile(dir / ("surface_" + n + ".zbl"), Calls(plans[i].surfaceCells));
        scripts += R"({"name": "scr_room_)" + n + R"(", "file": "room_)" + n + R"(.zbl"}, {"name": "scr_surface_)" + n +
                   R"(", "file": "surface_)" + n + R"(.zbl"}, )";
        rooms += (i ? ", " : "") + RoomJson(*plans[i].setup, int(i));
    }
    scripts.resize(scripts.size() - 2);
    Scratch_WriteFile(dir / "step.zbl", kStep);
    Scratch_WriteFile(dir / "draw.zbl", DrawCode(plans.size()));
    Scratch_WriteFile(dir / "gui.zbl", kGui);
    Scratch_WriteFile(dir / "game.json", R"({"name": "Pixel rule", "window": {"width": 640, "height": 480}, "scripts": [)" +
                                             scripts + R"(], "objects": [{"name": "obj", "events": [
        {"type": "create", "code": "n = 0;"}, {"type": "step", "file": "step.zbl"},
        {"type": "draw", "file": "draw.zbl"}, {"type": "draw", "number": 64, "file": "gui.zbl"}]}],
      "rooms": [)" + rooms + "]}");
    std::string said;
    ASSERT_TRUE(e2e::Pack(dir / "game.json", dir / "game.win", "", &said)) << said;

    const bool strict = !std::getenv("ZB_PIXELS_RUNNER") || !*std::getenv("ZB_PIXELS_RUNNER");
    std::printf("seed %u; runner %s\n| play | setup | target | shapes | not as the rule draws them | of those at whole "
                "coordinates | open outlines | fills outside their outline | cells unlike port 0's | cells unlike the screen's | "
                "two-colour lines not from one colour to the other |\n",
                seed, Runner().c_str());
    const std::string frames = " ZIMBREL_MAX_FRAMES=" + std::to_string(plans.size() * 6 + 20) + " ";
    const std::string out = dir / "out.txt";
    ASSERT_EQ(Shell("cd " + Quote(dir.Path()) + " && " + e2e::kHeadless + "XDG_DATA_HOME=" + Quote(dir / "headless") +
                    frames + Quote(Runner()) + " -game game.win >" + Quote(out) + " 2>&1"),
              0)
        << Scratch_ReadFile(out);
    Totals headless;
    JudgePlay(dir / "headless", plans, "headless", seed, strict, headless);

    XSession x(2048, 1536);
    if (!x.Ok()) GTEST_SKIP() << x.Why();
    ASSERT_EQ(Shell("cd " + Quote(dir.Path()) + " && " + x.GameEnvironment() + "XDG_DATA_HOME=" + Quote(dir / "x") +
                    frames + Quote(Runner()) + " -game game.win >" + Quote(out) + " 2>&1"),
              0)
        << Scratch_ReadFile(out);
    Totals onX;
    JudgePlay(dir / "x", plans, "X", seed, strict, onX);
    PrintTotals("headless", headless);
    PrintTotals("X", onX);
}
