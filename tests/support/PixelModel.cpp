// A model of the device the drawing rule was written for (see PixelModel.h).
#include "support/PixelModel.h"

#include <algorithm>
#include <cmath>

namespace pixelmodel {
namespace {

using i128 = __int128;

// Window coordinates are num / (den * 2^kBits): every single-precision room coordinate of the
// size drawn here is a whole number of 2^-kBits.
constexpr int kBits = 32;
constexpr i128 kOne = i128(1) << kBits;

struct Exact {
    i128 num;
    int64_t den;
};

i128 FloorDiv(i128 a, i128 b) // b > 0
{
    i128 q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}
i128 CeilDiv(i128 a, i128 b) { return -FloorDiv(-a, b); }

// v * 2^kBits as a whole number; false when v is not one (or too large).
bool Scaled(double v, i128* out)
{
    const double s = std::ldexp(v, kBits);
    if (!(std::fabs(s) < 0x1p100) || s != std::floor(s)) return false;
    *out = (i128)s;
    return true;
}

// ((p - view) * port) / viewSize + portAt - 0.5 * offset, exactly.
bool Window(float p, int32_t view, int32_t viewSize, int32_t port, int32_t portSize, float offset, Exact* out)
{
    i128 sp, so;
    if (viewSize <= 0 || !Scaled(p, &sp) || !Scaled(0.5 * (double)offset, &so)) return false;
    out->num = (sp - i128(view) * kOne) * portSize + (i128(port) * kOne - so) * viewSize;
    out->den = viewSize;
    return true;
}

double Value(const Exact& e) { return std::ldexp((double)e.num / (double)e.den, -kBits); }

// The pixel an exact coordinate falls in (ties to the lower), and whether it lies too near a
// pixel edge to be judged (within 1/512 of it, not on it).
int64_t PixelOf(const Exact& e, bool* near)
{
    const i128 unit = i128(e.den) * kOne;
    const i128 q = FloorDiv(e.num, unit);
    const i128 fromEdge = e.num - (2 * q + 1) * (unit / 2); // unit is even
    if (fromEdge != 0 && (fromEdge < 0 ? -fromEdge : fromEdge) < unit / 512) *near = true;
    return (int64_t)CeilDiv(e.num - unit / 2, unit);
}

// Whether an exact coordinate is a whole number of 1/256 of a pixel.
bool OnGrid(const Exact& e) { return (e.num * 256) % (i128(e.den) * kOne) == 0; }

struct Vertex {
    Exact x, y;
};

bool Place(const Mapping& m, float x, float y, Vertex* v)
{
    return Window(x, m.viewX, m.viewW, m.portX, m.portW, m.offsetX, &v->x) &&
           Window(y, m.viewY, m.viewH, m.portY, m.portH, m.offsetY, &v->y);
}

bool InPort(const Mapping& m, int64_t x, int64_t y)
{
    return x >= m.portX && x < int64_t(m.portX) + m.portW && y >= m.portY && y < int64_t(m.portY) + m.portH;
}

} // namespace

float Fade(int32_t view, int32_t port)
{
    const float a = std::fabs((float)view), b = std::fabs((float)port);
    const float larger = std::fmax(a, b), smaller = std::fmin(a, b);
    const float f = (0.01f - (larger / smaller - 1.0f)) / 0.01f;
    return f > 0.0f ? f : 0.0f;
}

Canvas::Canvas(int32_t l, int32_t t, int32_t w, int32_t h, int32_t background)
    : left(l), top(t), width(w), height(h), m_px(size_t(w) * size_t(h), uint16_t(1u << background))
{
}

uint16_t Canvas::At(int32_t x, int32_t y) const
{
    if (x < left || y < top || x >= left + width || y >= top + height) return 0;
    return m_px[size_t(y - top) * size_t(width) + size_t(x - left)];
}

void Canvas::Paint(int64_t x, int64_t y, int32_t cls, bool sure)
{
    if (x < left || y < top || x >= int64_t(left) + width || y >= int64_t(top) + height) {
        ++outside;
        return;
    }
    uint16_t& p = m_px[size_t(y - top) * size_t(width) + size_t(x - left)];
    p = sure ? uint16_t(1u << cls) : uint16_t(p | (1u << cls));
}

void Point(Canvas& c, const Mapping& m, float x, float y, int32_t cls)
{
    Vertex v;
    if (!Place(m, x, y, &v)) {
        c.unjudged = true;
        return;
    }
    bool near = false;
    const int64_t px = PixelOf(v.x, &near), py = PixelOf(v.y, &near);
    if (near) c.unjudged = true;
    if (InPort(m, px, py)) c.Paint(px, py, cls, true);
}

void Line(Canvas& c, const Mapping& m, float x1, float y1, float x2, float y2, int32_t cls)
{
    Vertex a, b;
    if (!Place(m, x1, y1, &a) || !Place(m, x2, y2, &b)) {
        c.unjudged = true;
        return;
    }
    bool near = false;
    const int64_t ax = PixelOf(a.x, &near), ay = PixelOf(a.y, &near), bx = PixelOf(b.x, &near), by = PixelOf(b.y, &near);
    if (near) c.unjudged = true;
    const int64_t dx = bx - ax, dy = by - ay;
    const bool xMajor = std::llabs(dx) >= std::llabs(dy);
    const int64_t n = std::max(std::llabs(dx), std::llabs(dy));
    // Half-way between two pixels, the band's edge through the upper or left one takes it: the
    // left one for a steep line, the upper one for a shallow line rising to the right, the
    // lower one for a shallow line falling to the right.
    const bool low = !xMajor || (dx > 0) != (dy > 0);
    for (int64_t k = 0; k < n; ++k) {
        // The pixel nearest the line between the two pixels' centres.
        const int64_t along = (xMajor ? (dx > 0 ? k : -k) : (dy > 0 ? k : -k));
        const i128 twice = i128(2) * k * (xMajor ? dy : dx);
        const int64_t across = (int64_t)(low ? CeilDiv(twice - n, i128(2) * n) : FloorDiv(twice + n, i128(2) * n));
        const int64_t x = xMajor ? ax + along : ax + across, y = xMajor ? ay + across : ay + along;
        if (InPort(m, x, y)) c.Paint(x, y, cls, true);
    }
}

void Triangle(Canvas& c, const Mapping& m, const float* xy, int32_t cls)
{
    Vertex v[3];
    for (int i = 0; i < 3; ++i)
        if (!Place(m, xy[2 * i], xy[2 * i + 1], &v[i])) {
            c.unjudged = true;
            return;
        }
    // Numerators over a common denominator per axis (den is the view's size on that axis).
    const int64_t dx = v[0].x.den, dy = v[0].y.den;
    auto area = [&](const Vertex& a, const Vertex& b, i128 px, i128 py) {
        return (b.x.num - a.x.num) * (py - a.y.num) - (b.y.num - a.y.num) * (px - a.x.num);
    };
    const i128 whole = area(v[0], v[1], v[2].x.num, v[2].y.num);
    if (whole == 0) return;
    if (whole < 0) std::swap(v[1], v[2]); // the inside on the positive side of every edge
    double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
    for (const Vertex& p : v) {
        minX = std::min(minX, Value(p.x)), maxX = std::max(maxX, Value(p.x));
        minY = std::min(minY, Value(p.y)), maxY = std::max(maxY, Value(p.y));
    }
    if (!(maxX - minX < 8192 && maxY - minY < 8192)) {
        c.unjudged = true;
        return;
    }
    // A centre on an edge belongs to the triangle when the edge is a left edge (the inside to
    // its right) or a top edge (level, the inside below it). A rasteriser holds vertices to
    // 1/256 of a pixel: an edge through a vertex off that grid is moved a little, and a centre
    // on it or within 1/256 of it is not judged.
    bool takesTie[3], onGrid[3];
    double length[3];
    for (int k = 0; k < 3; ++k) {
        const Vertex &a = v[k], &b = v[(k + 1) % 3];
        const i128 nx = -(b.y.num - a.y.num), ny = b.x.num - a.x.num; // inward normal (scaled)
        takesTie[k] = nx > 0 || (nx == 0 && ny > 0);
        length[k] = std::hypot(Value(b.x) - Value(a.x), Value(b.y) - Value(a.y));
        onGrid[k] = OnGrid(a.x) && OnGrid(a.y) && OnGrid(b.x) && OnGrid(b.y);
    }
    const double scale = std::ldexp((double)dx * (double)dy, 2 * kBits);
    for (int64_t j = (int64_t)std::ceil(minY) - 1; j <= (int64_t)std::floor(maxY) + 1; ++j)
        for (int64_t i = (int64_t)std::ceil(minX) - 1; i <= (int64_t)std::floor(maxX) + 1; ++i) {
            const i128 px = i128(i) * dx * kOne, py = i128(j) * dy * kOne;
            bool out = false, unsure = false;
            for (int k = 0; k < 3 && !out; ++k) {
                const i128 e = area(v[k], v[(k + 1) % 3], px, py);
                if (e == 0) {
                    if (!onGrid[k]) unsure = true;
                    else out = !takesTie[k];
                    continue;
                }
                const double distance = (double)e / scale / length[k];
                if (!onGrid[k] && std::fabs(distance) < 1.0 / 256) unsure = true;
                else if (e < 0) out = true;
            }
            if (!out && InPort(m, i, j)) c.Paint(i, j, cls, !unsure);
        }
}

namespace {

bool IsWhole(float v) { return std::isfinite(v) && std::floor(v) == v; }

void Fill(Canvas& c, const Mapping& m, float x1, float y1, float x2, float y2, float x3, float y3, int32_t cls)
{
    const float xy[6] = {x1, y1, x2, y2, x3, y3};
    Triangle(c, m, xy, cls);
}

// The outline of a rectangle: its edges through the corners moved by the pixel offset as a
// strip, then the four corners as points.
void Outline(Canvas& c, const Mapping& m, float x1, float y1, float x2, float y2, int32_t cls)
{
    const float l = std::fmin(x1, x2) + m.offsetX, r = std::fmax(x1, x2) + m.offsetX;
    const float t = std::fmin(y1, y2) + m.offsetY, b = std::fmax(y1, y2) + m.offsetY;
    Line(c, m, l, t, r, t, cls);
    Line(c, m, r, t, r, b, cls);
    Line(c, m, r, b, l, b, cls);
    Line(c, m, l, b, l, t, cls);
    Point(c, m, l, t, cls);
    Point(c, m, r, t, cls);
    Point(c, m, r, b, cls);
    Point(c, m, l, b, cls);
}

// The filled coloured rectangle: right and bottom moved by the pixel offset, 0.01 further when
// whole; a fan of its corners.
void ColourFill(Canvas& c, const Mapping& m, float x1, float y1, float x2, float y2, int32_t cls)
{
    float left = x1, right = x2 + m.offsetX;
    if (x1 > right) left = x2 + m.offsetX, right = x1;
    float top = y1, bottom = y2 + m.offsetY;
    if (y1 > bottom) top = y2 + m.offsetY, bottom = y1;
    if (IsWhole(right)) right += 0.01f;
    if (IsWhole(bottom)) bottom += 0.01f;
    Fill(c, m, left, top, right, top, right, bottom, cls);
    Fill(c, m, left, top, right, bottom, left, bottom, cls);
}

} // namespace

void DrawPoint(Canvas& c, const Mapping& m, float x, float y, int32_t cls) { Point(c, m, x + m.offsetX, y + m.offsetY, cls); }

void DrawLine(Canvas& c, const Mapping& m, float x1, float y1, float x2, float y2, int32_t cls)
{
    Line(c, m, x1 + m.offsetX, y1 + m.offsetY, x2 + m.offsetX, y2 + m.offsetY, cls);
}

void DrawLineWidth(Canvas& c, const Mapping& m, float x1, float y1, float x2, float y2, float width, int32_t cls)
{
    const float dx = x2 - x1, dy = y2 - y1;
    const float len = std::sqrt(dx * dx + dy * dy);
    if (!(len != 0.0f) || std::isnan(len)) return;
    const float X1 = x1 + m.offsetX, Y1 = y1 + m.offsetY, X2 = x2 + m.offsetX, Y2 = y2 + m.offsetY;
    const float h = width * 0.5f;
    const float nx = (Y2 - Y1) * h / len, ny = (X2 - X1) * h / len;
    const float q[8] = {X1 - nx, Y1 + ny, X2 - nx, Y2 + ny, X2 + nx, Y2 - ny, X1 + nx, Y1 - ny};
    Fill(c, m, q[0], q[1], q[2], q[3], q[4], q[5], cls);
    Fill(c, m, q[0], q[1], q[4], q[5], q[6], q[7], cls);
}

void DrawRectangle(Canvas& c, const Mapping& m, float x1, float y1, float x2, float y2, bool outline, int32_t cls)
{
    if (outline) {
        Outline(c, m, x1, y1, x2, y2, cls);
        return;
    }
    const float l = std::fmin(x1, x2), r = std::fmax(x1, x2) + m.offsetX;
    const float t = std::fmin(y1, y2), b = std::fmax(y1, y2) + m.offsetY;
    Fill(c, m, l, t, r, t, r, b, cls);
    Fill(c, m, r, b, l, b, l, t, cls);
}

void DrawRectangleColour(Canvas& c, const Mapping& m, float x1, float y1, float x2, float y2, bool outline, int32_t cls)
{
    if (outline) Outline(c, m, x1, y1, x2, y2, cls);
    else ColourFill(c, m, x1, y1, x2, y2, cls);
}

void DrawTriangle(Canvas& c, const Mapping& m, float x1, float y1, float x2, float y2, float x3, float y3, bool outline,
                  int32_t cls)
{
    if (!outline) {
        Fill(c, m, x1, y1, x2, y2, x3, y3, cls);
        return;
    }
    Line(c, m, x1, y1, x2, y2, cls);
    Line(c, m, x2, y2, x3, y3, cls);
    Line(c, m, x3, y3, x1, y1, cls);
}

void DrawArrow(Canvas& c, const Mapping& m, float x1, float y1, float x2, float y2, float size, int32_t cls)
{
    const float dx = x2 - x1, dy = y2 - y1;
    const float len = std::sqrt(dx * dx + dy * dy);
    if (!(len != 0.0f) || std::isnan(len)) return;
    const float s = std::fmin(size, len);
    const float ax = s * dx / len, ay = s * dy / len;
    DrawLine(c, m, x1, y1, x2, y2, cls);
    Fill(c, m, x2 - ax - ay / 3.0f, y2 - ay + ax / 3.0f, x2, y2, x2 - ax + ay / 3.0f, y2 - ay - ax / 3.0f, cls);
}

void DrawHealthbar(Canvas& c, const Mapping& m, float x1, float y1, float x2, float y2, float amount, int32_t direction,
                   int32_t back, int32_t bar, int32_t border)
{
    ColourFill(c, m, x1, y1, x2, y2, back);
    Outline(c, m, x1, y1, x2, y2, border);
    if (!(amount >= 0.0f)) amount = 0.0f;
    if (amount > 100.0f) amount = 100.0f;
    if (amount == 0.0f) return;
    float l = x1, t = y1, r = x2, b = y2;
    switch (direction) {
    case 1: l = x2 - (x2 - x1) * amount / 100.0f; break;
    case 2: b = y1 + (y2 - y1) * amount / 100.0f; break;
    case 3: t = y2 - (y2 - y1) * amount / 100.0f; break;
    default: r = x1 + (x2 - x1) * amount / 100.0f; break;
    }
    ColourFill(c, m, l, t, r, b, bar);
    Outline(c, m, l, t, r, b, border);
}

} // namespace pixelmodel
