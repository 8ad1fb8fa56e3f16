// 2D primitives, the circle table and the colour conversions (see Graphics_Draw.h). No host
// library here; vertices go to the batch of Graphics_Batch.
//
// [SECTION] Colours
// [SECTION] Circle table
// [SECTION] Vertex helpers
// [SECTION] Primitives
// [SECTION] Collected primitives
#include "Files/Graphics/Graphics_Draw.h"

#include <cmath>
#include <cstring>

#include "Files/Base/RealConvert.h"
#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics_API/Graphics_3D.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Files/Graphics_API/Graphics_Window.h"

// ============================================================================================
// [SECTION] Colours
// ============================================================================================
uint32_t GR_Colour_AlphaToByte(float alpha)
{
    if (!(alpha >= 0.0f)) alpha = 0.0f; // also NaN
    if (alpha > 1.0f) alpha = 1.0f;
    return (uint32_t)(alpha * 255.0f);
}

uint32_t GR_Colour_ToARGBByte(uint32_t colour, uint32_t alphaByte)
{
    return (alphaByte & 0xFF) << 24 | (colour & 0xFF) << 16 | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
}

uint32_t GR_Colour_SetAlphaByte(uint32_t argb, uint32_t alphaByte) { return (argb & 0xFFFFFF) | (alphaByte & 0xFF) << 24; }

uint32_t GR_Colour_PackBytes(uint32_t a, uint32_t b, uint32_t c, uint32_t d)
{
    return (d & 0xFF) << 24 | (a & 0xFF) << 16 | (b & 0xFF) << 8 | (c & 0xFF);
}

// A mixed channel: round half to even, kept to its low 8 bits.
static uint32_t Channel(double v) { return (uint32_t)Real_RoundToInt32(v) & 0xFF; }

uint32_t GR_Colour_Lerp(uint32_t c0, uint32_t c1, float t)
{
    uint32_t out = 0;
    for (int s = 0; s < 24; s += 8) {
        float v = (float)((c1 >> s) & 0xFF) * t + (float)((c0 >> s) & 0xFF) * (1.0f - t);
        out |= Channel(v) << s;
    }
    return out;
}

uint32_t GR_Colour_Merge(uint32_t c1, uint32_t c2, double amount)
{
    const double rest = (double)(float)(1.0 - amount);
    uint32_t out = 0;
    for (int s = 0; s < 24; s += 8)
        out |= Channel((double)((c2 >> s) & 0xFF) * amount + (double)((c1 >> s) & 0xFF) * rest) << s;
    return out;
}

static uint8_t Byte(double v)
{
    if (!(v >= 0.0)) return 0;
    if (v > 255.0) return 255;
    return (uint8_t)v;
}

GR_HSV GR_Colour_ToHSV(uint32_t colour)
{
    double r = (colour & 0xFF) / 255.0, g = ((colour >> 8) & 0xFF) / 255.0, b = ((colour >> 16) & 0xFF) / 255.0;
    double mx = std::fmax(r, std::fmax(g, b)), mn = std::fmin(r, std::fmin(g, b));
    double h = 0.0, s = 0.0, v = mx;
    if (mx != 0.0) {
        s = (mx - mn) / mx;
        if (s != 0.0) {
            double d = mx - mn;
            if (r == mx) h = (g - b) * 60.0 / d;
            else if (g == mx) h = (b - r) * 60.0 / d + 120.0;
            else h = (r - g) * 60.0 / d + 240.0;
            if (h < 0.0) h += 360.0;
        }
    }
    return GR_HSV{Byte(std::trunc(h * 255.0 / 360.0 + 0.5)), Byte(std::trunc(s * 255.0 + 0.5)),
                  Byte(std::trunc(v * 255.0 + 0.5))};
}

uint32_t GR_Colour_FromHSV(GR_HSV hsv)
{
    double h = hsv.hue * 360.0 / 255.0, s = hsv.saturation / 255.0, v = hsv.value / 255.0;
    if (h == 360.0) h = 0.0;
    double r, g, b;
    if (s == 0.0) {
        r = g = b = v;
    } else {
        double k = std::trunc(h / 60.0), f = h / 60.0 - k;
        double p = v * (1.0 - s), q = v * (1.0 - f * s), t = v * (1.0 - (1.0 - f) * s);
        switch ((int)k) {
        case 0: r = v, g = t, b = p; break;
        case 1: r = q, g = v, b = p; break;
        case 2: r = p, g = v, b = t; break;
        case 3: r = p, g = q, b = v; break;
        case 4: r = t, g = p, b = v; break;
        default: r = v, g = p, b = q; break;
        }
    }
    return (uint32_t)Byte(std::trunc(r * 255.0 + 0.5)) | (uint32_t)Byte(std::trunc(g * 255.0 + 0.5)) << 8 |
           (uint32_t)Byte(std::trunc(b * 255.0 + 0.5)) << 16;
}

int32_t GR_FloorF(double v)
{
    double f = std::floor(v);
    if (!(f >= -2147483648.0 && f < 2147483648.0)) return INT32_MIN;
    return (int32_t)f;
}

// ============================================================================================
// [SECTION] Circle table
// ============================================================================================
namespace {

int32_t g_precision = 24;
float g_cos[GR_CIRCLE_MAX_PRECISION + 1];
float g_sin[GR_CIRCLE_MAX_PRECISION + 1];
bool g_tableFilled = false;

void EnsureTable()
{
    if (!g_tableFilled) GR_Draw_SetCirclePrecision(g_precision);
}

} // namespace

void GR_Draw_SetCirclePrecision(int32_t precision)
{
    if (precision < 4) precision = 4;
    if (precision > GR_CIRCLE_MAX_PRECISION) precision = GR_CIRCLE_MAX_PRECISION;
    precision &= ~3;
    g_precision = precision;
    for (int32_t i = 0; i <= precision; ++i) {
        g_cos[i] = (float)std::cos((2.0 * i) * PI_FD / precision);
        g_sin[i] = (float)std::sin((2.0 * i) * PI_FD / precision);
    }
    g_tableFilled = true;
}

int32_t GR_Draw_GetCirclePrecision() { return g_precision; }
void GR_Draw_InitCircleTable() { GR_Draw_SetCirclePrecision(24); }

// ============================================================================================
// [SECTION] Vertex helpers
// ============================================================================================
namespace {

struct V16 {
    float x, y, z;
    uint32_t colour;
};
struct V24 {
    float x, y, z;
    uint32_t colour;
    float u, v;
};

// ORDER: Direct3D primitive types.
enum : int32_t { PT_POINTS = 1, PT_LINES = 2, PT_STRIP = 3, PT_TRIANGLES = 4, PT_TSTRIP = 5, PT_FAN = 6 };

V16* Thin(int32_t type, int32_t n) { return (V16*)GR_D3D_AllocVertices(type, nullptr, 16, n); }
V24* Wide(int32_t type, int32_t n) { return (V24*)GR_D3D_AllocVertices(type, nullptr, 24, n); }

inline void P16(V16* v, float x, float y, uint32_t c)
{
    v->x = x;
    v->y = y;
    v->z = GR_3D_GetDepth();
    v->colour = c;
}
inline void P24(V24* v, float x, float y, uint32_t c, float u = 0.0f, float t = 0.0f)
{
    v->x = x;
    v->y = y;
    v->z = GR_3D_GetDepth();
    v->colour = c;
    v->u = u;
    v->v = t;
}

float OX() { return GR_D3D_State().pixelOffset[0]; }
float OY() { return GR_D3D_State().pixelOffset[1]; }
uint32_t DrawColour() { return GR_Draw_GetColourARGB(); }
uint32_t DrawAlphaByte() { return GR_Draw_GetColourARGB() >> 24; }
// A script colour with the drawing alpha.
uint32_t WithDrawAlpha(uint32_t colour) { return GR_Colour_ToARGBByte(colour, DrawAlphaByte()); }

bool IsWhole(float v) { return std::isfinite(v) && std::floor(v) == v; }

} // namespace

// ============================================================================================
// [SECTION] Primitives
// ============================================================================================
void GR_Draw_Clear(uint32_t colour)
{
    GR_D3D_Flush(); // what was drawn before the clear lands before it
    GR_D3D_Clear(colour & 0xFFFFFF, 1.0f, 0, 7);
}

void GR_Draw_ClearAlpha(uint32_t colour, float alpha)
{
    GR_D3D_Flush();
    GR_D3D_Clear((colour & 0xFFFFFF) | GR_Colour_AlphaToByte(alpha) << 24, 1.0f, 0, 7);
}

void GR_Draw_PointColour(float x, float y, uint32_t colour)
{
    V16* v = Thin(PT_POINTS, 1);
    if (v) P16(v, x + OX(), y + OY(), WithDrawAlpha(colour));
}

void GR_Draw_Point(float x, float y)
{
    V16* v = Thin(PT_POINTS, 1);
    if (v) P16(v, x + OX(), y + OY(), DrawColour());
}

static void Segment(float x1, float y1, float x2, float y2, uint32_t c1, uint32_t c2)
{
    V16* v = Thin(PT_LINES, 2);
    if (!v) return;
    P16(&v[0], x1 + OX(), y1 + OY(), c1);
    P16(&v[1], x2 + OX(), y2 + OY(), c2);
}

void GR_Draw_Line(float x1, float y1, float x2, float y2) { Segment(x1, y1, x2, y2, DrawColour(), DrawColour()); }

void GR_Draw_LineColour(float x1, float y1, float x2, float y2, uint32_t c1, uint32_t c2)
{
    Segment(x1, y1, x2, y2, WithDrawAlpha(c1), WithDrawAlpha(c2));
}

static void WideLine(float x1, float y1, float x2, float y2, float width, uint32_t c1, uint32_t c2)
{
    float dx = x2 - x1, dy = y2 - y1;
    float len = std::sqrt(dx * dx + dy * dy);
    // A zero-length (or not-a-number) line has no direction: nothing is drawn, for both forms.
    if (!(len != 0.0f) || std::isnan(len)) return;
    float X1 = x1 + OX(), Y1 = y1 + OY(), X2 = x2 + OX(), Y2 = y2 + OY();
    float h = width * 0.5f;
    float nx = (Y2 - Y1) * h / len, ny = (X2 - X1) * h / len;
    V16* v = Thin(PT_FAN, 4);
    if (!v) return;
    P16(&v[0], X1 - nx, Y1 + ny, c1);
    P16(&v[1], X2 - nx, Y2 + ny, c2);
    P16(&v[2], X2 + nx, Y2 - ny, c2);
    P16(&v[3], X1 + nx, Y1 - ny, c1);
}

void GR_Draw_LineWidth(float x1, float y1, float x2, float y2, float width)
{
    WideLine(x1, y1, x2, y2, width, DrawColour(), DrawColour());
}

void GR_Draw_LineWidthColour(float x1, float y1, float x2, float y2, float width, uint32_t c1, uint32_t c2)
{
    WideLine(x1, y1, x2, y2, width, WithDrawAlpha(c1), WithDrawAlpha(c2));
}

static void Triangle(float x1, float y1, float x2, float y2, float x3, float y3, uint32_t c1, uint32_t c2,
                     uint32_t c3, bool outline)
{
    if (outline) {
        V24* v = Wide(PT_STRIP, 4);
        if (!v) return;
        P24(&v[0], x1, y1, c1);
        P24(&v[1], x2, y2, c2);
        P24(&v[2], x3, y3, c3);
        P24(&v[3], x1, y1, c1);
        return;
    }
    V24* v = Wide(PT_TRIANGLES, 3);
    if (!v) return;
    P24(&v[0], x1, y1, c1);
    P24(&v[1], x2, y2, c2);
    P24(&v[2], x3, y3, c3);
}

void GR_Draw_Triangle(float x1, float y1, float x2, float y2, float x3, float y3, bool outline)
{
    uint32_t c = DrawColour();
    Triangle(x1, y1, x2, y2, x3, y3, c, c, c, outline);
}

void GR_Draw_TriangleColour(float x1, float y1, float x2, float y2, float x3, float y3, uint32_t c1, uint32_t c2,
                            uint32_t c3, bool outline)
{
    Triangle(x1, y1, x2, y2, x3, y3, WithDrawAlpha(c1), WithDrawAlpha(c2), WithDrawAlpha(c3), outline);
}

// The outline of a rectangle, corners in any order, in colours c1..c4 (top-left, top-right,
// bottom-right, bottom-left): its edges through the corners moved by the pixel offset, and
// the corners as points, so corner pixels are always lit. It lights columns left..right of the
// top and bottom rows and rows top..bottom of the left and right columns.
static void OutlineRectangle(float x1, float y1, float x2, float y2, uint32_t c1, uint32_t c2, uint32_t c3, uint32_t c4)
{
    const float ox = OX(), oy = OY();
    const float left = std::fmin(x1, x2) + ox, right = std::fmax(x1, x2) + ox;
    const float top = std::fmin(y1, y2) + oy, bottom = std::fmax(y1, y2) + oy;
    V24* v = Wide(PT_STRIP, 5);
    if (!v) return;
    P24(&v[0], left, top, c1);
    P24(&v[1], right, top, c2);
    P24(&v[2], right, bottom, c3);
    P24(&v[3], left, bottom, c4);
    P24(&v[4], left, top, c1);
    V24* p = Wide(PT_POINTS, 4);
    if (!p) return;
    P24(&p[0], left, top, c1);
    P24(&p[1], right, top, c2);
    P24(&p[2], right, bottom, c3);
    P24(&p[3], left, bottom, c4);
}

// Filled or outlined rectangle of GR_Draw_Rectangle in one colour (corners ordered here).
static void PlainRectangle(float x1, float y1, float x2, float y2, bool outline, uint32_t c)
{
    if (outline) {
        OutlineRectangle(x1, y1, x2, y2, c, c, c, c);
        return;
    }
    float left = std::fmin(x1, x2), right = std::fmax(x1, x2), top = std::fmin(y1, y2), bottom = std::fmax(y1, y2);
    float ox = OX(), oy = OY();
    V24* v = Wide(PT_TRIANGLES, 6);
    if (!v) return;
    P24(&v[0], left, top, c);
    P24(&v[1], right + ox, top, c);
    P24(&v[2], right + ox, bottom + oy, c);
    P24(&v[3], right + ox, bottom + oy, c);
    P24(&v[4], left, bottom + oy, c);
    P24(&v[5], left, top, c);
}

void GR_Draw_Rectangle(float x1, float y1, float x2, float y2, bool outline)
{
    PlainRectangle(x1, y1, x2, y2, outline, DrawColour());
}

// Device colours c1..c4 (top-left, top-right, bottom-right, bottom-left). The outline is the
// plain outline's, so that it lies on the pixels its corners name as that one does.
static void ColourRectangle(float x1, float y1, float x2, float y2, uint32_t c1, uint32_t c2, uint32_t c3,
                            uint32_t c4, bool outline)
{
    if (outline) {
        OutlineRectangle(x1, y1, x2, y2, c1, c2, c3, c4);
        return;
    }
    float left = x1, right = x2 + OX();
    if (x1 > right) {
        left = x2 + OX();
        right = x1;
    }
    float top = y1, bottom = y2 + OY();
    if (y1 > bottom) {
        top = y2 + OY();
        bottom = y1;
    }
    if (IsWhole(right)) right += 0.01f;
    if (IsWhole(bottom)) bottom += 0.01f;
    V24* v = Wide(PT_FAN, 5);
    if (!v) return;
    P24(&v[0], left, top, c1);
    P24(&v[1], right, top, c2);
    P24(&v[2], right, bottom, c3);
    P24(&v[3], left, bottom, c4);
    P24(&v[4], left, top, c1);
}

void GR_Draw_RectangleColour(float x1, float y1, float x2, float y2, uint32_t c1, uint32_t c2, uint32_t c3,
                             uint32_t c4, bool outline)
{
    ColourRectangle(x1, y1, x2, y2, WithDrawAlpha(c1), WithDrawAlpha(c2), WithDrawAlpha(c3), WithDrawAlpha(c4),
                    outline);
}

void GR_Draw_EllipseCore(float x1, float y1, float x2, float y2, uint32_t centre, uint32_t edge, bool outline)
{
    EnsureTable();
    const int32_t p = g_precision;
    float cx = (x1 + x2) * 0.5f, cy = (y1 + y2) * 0.5f;
    float rx = std::fabs((x1 - x2) * 0.5f), ry = std::fabs((y1 - y2) * 0.5f);
    if (outline) {
        V24* v = Wide(PT_STRIP, p + 1);
        if (!v) return;
        for (int32_t i = 0; i <= p; ++i) P24(&v[i], g_cos[i] * rx + cx, g_sin[i] * ry + cy, edge);
        return;
    }
    V24* v = Wide(PT_TRIANGLES, 3 * p);
    if (!v) return;
    for (int32_t i = 0; i < p; ++i) {
        P24(&v[3 * i], cx, cy, centre);
        P24(&v[3 * i + 1], g_cos[i] * rx + cx, g_sin[i] * ry + cy, edge);
        P24(&v[3 * i + 2], g_cos[i + 1] * rx + cx, g_sin[i + 1] * ry + cy, edge);
    }
}

void GR_Draw_Circle(float x, float y, float r, bool outline)
{
    GR_Draw_EllipseCore(x - r, y - r, x + r, y + r, DrawColour(), DrawColour(), outline);
}

void GR_Draw_CircleColour(float x, float y, float r, uint32_t c1, uint32_t c2, bool outline)
{
    GR_Draw_EllipseCore(x - r, y - r, x + r, y + r, WithDrawAlpha(c1), WithDrawAlpha(c2), outline);
}

void GR_Draw_Ellipse(float x1, float y1, float x2, float y2, bool outline)
{
    GR_Draw_EllipseCore(x1, y1, x2, y2, DrawColour(), DrawColour(), outline);
}

void GR_Draw_EllipseColour(float x1, float y1, float x2, float y2, uint32_t c1, uint32_t c2, bool outline)
{
    GR_Draw_EllipseCore(x1, y1, x2, y2, WithDrawAlpha(c1), WithDrawAlpha(c2), outline);
}

void GR_Draw_RoundRectCore(float x1, float y1, float x2, float y2, float rx, float ry, uint32_t centre,
                           uint32_t edge, bool outline)
{
    EnsureTable();
    const int32_t p = g_precision;
    float w = std::fabs(x2 - x1), h = std::fabs(y2 - y1);
    rx = std::fmin(rx, w);
    ry = std::fmin(ry, h);
    float cx = (x1 + x2) * 0.5f, cy = (y1 + y2) * 0.5f;
    float ox = w * 0.5f - rx * 0.5f, oy = h * 0.5f - ry * 0.5f;
    const int32_t n = p + 6;
    V24* v = Wide(outline ? PT_STRIP : PT_FAN, n);
    if (!v) return;
    int32_t k = 0;
    P24(&v[k++], cx, cy, centre);
    struct Arc {
        int32_t from, to;
        float ax, ay;
    } arcs[4] = {{0, p / 4, cx + ox, cy + oy},
                 {p / 4, p / 2, cx - ox, cy + oy},
                 {p / 2, 3 * p / 4, cx - ox, cy - oy},
                 {3 * p / 4, p, cx + ox, cy - oy}};
    for (const Arc& a : arcs)
        for (int32_t i = a.from; i <= a.to; ++i)
            P24(&v[k++], g_cos[i] * rx * 0.5f + a.ax, g_sin[i] * ry * 0.5f + a.ay, edge);
    v[k++] = v[1];
    if (outline) v[0] = v[1];
}

// Orders the corners and moves whole right and bottom edges by 0.01 (as the coloured
// rectangle does) before the rounded rectangle is made.
static void RoundRect(float x1, float y1, float x2, float y2, float rx, float ry, uint32_t centre, uint32_t edge,
                      bool outline)
{
    float left = std::fmin(x1, x2), right = std::fmax(x1, x2), top = std::fmin(y1, y2), bottom = std::fmax(y1, y2);
    if (IsWhole(right)) right += 0.01f;
    if (IsWhole(bottom)) bottom += 0.01f;
    GR_Draw_RoundRectCore(left, top, right, bottom, rx, ry, centre, edge, outline);
}

void GR_Draw_RoundRect(float x1, float y1, float x2, float y2, float rx, float ry, bool outline)
{
    RoundRect(x1, y1, x2, y2, rx, ry, DrawColour(), DrawColour(), outline);
}

void GR_Draw_RoundRectColour(float x1, float y1, float x2, float y2, float rx, float ry, uint32_t c1, uint32_t c2,
                             bool outline)
{
    RoundRect(x1, y1, x2, y2, rx, ry, WithDrawAlpha(c1), WithDrawAlpha(c2), outline);
}

void GR_Draw_Arrow(float x1, float y1, float x2, float y2, float size)
{
    float dx = x2 - x1, dy = y2 - y1;
    float len = std::sqrt(dx * dx + dy * dy);
    if (!(len != 0.0f) || std::isnan(len)) return;
    float s = std::fmin(size, len);
    float ax = s * dx / len, ay = s * dy / len;
    uint32_t c = DrawColour();
    Segment(x1, y1, x2, y2, c, c);
    V24* v = Wide(PT_TRIANGLES, 3);
    if (!v) return;
    P24(&v[0], x2 - ax - ay / 3.0f, y2 - ay + ax / 3.0f, c);
    P24(&v[1], x2, y2, c);
    P24(&v[2], x2 - ax + ay / 3.0f, y2 - ay - ax / 3.0f, c);
}

void GR_Draw_Button(float x1, float y1, float x2, float y2, bool up)
{
    uint32_t light = WithDrawAlpha(0xFFFFFF), dark = WithDrawAlpha(0x808080);
    uint32_t upper = up ? light : dark, lower = up ? dark : light;
    V24* v = Wide(PT_TRIANGLES, 6);
    if (v) {
        P24(&v[0], x1, y1, upper);
        P24(&v[1], x2, y1, upper);
        P24(&v[2], x1, y2, upper);
        P24(&v[3], x1, y2, lower);
        P24(&v[4], x2, y1, lower);
        P24(&v[5], x2, y2, lower);
    }
    float l = x1 + 2.0f, t = y1 + 2.0f, r = x2 - 2.0f, b = y2 - 2.0f;
    PlainRectangle(l, t, r, b, false, DrawColour());
}

void GR_Draw_Healthbar(float x1, float y1, float x2, float y2, float amount, uint32_t back, uint32_t minColour,
                       uint32_t midColour, uint32_t maxColour, int32_t direction, bool showBack, bool showBorder)
{
    uint32_t black = WithDrawAlpha(0);
    if (showBack) {
        uint32_t b = WithDrawAlpha(back);
        ColourRectangle(x1, y1, x2, y2, b, b, b, b, false);
        if (showBorder) ColourRectangle(x1, y1, x2, y2, black, black, black, black, true);
    }
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
    uint32_t colour = amount > 50.0f ? GR_Colour_Lerp(midColour, maxColour, (amount - 50.0f) / 50.0f)
                                     : GR_Colour_Lerp(minColour, midColour, amount / 50.0f);
    uint32_t c = WithDrawAlpha(colour);
    ColourRectangle(l, t, r, b, c, c, c, c, false);
    if (showBorder) ColourRectangle(l, t, r, b, black, black, black, black, true);
}

// ============================================================================================
// [SECTION] Collected primitives
// ============================================================================================
namespace {

struct PrimitiveState {
    int32_t kind = 0;
    int32_t texture = -1;            // texture id, or -1
    TexturePageEntry* entry = nullptr;
    float pageWidth = 1.0f, pageHeight = 1.0f;
    int32_t count = 0;
    V24 vertices[GR_PRIMITIVE_MAX_VERTICES];
};
PrimitiveState g_prim;

void Append(float x, float y, uint32_t colour, float u, float v)
{
    if (g_prim.count >= GR_PRIMITIVE_MAX_VERTICES) return; // dropped without a message
    if (g_prim.entry) {
        const TexturePageEntry* e = g_prim.entry;
        u = ((float)e->targetWidth * u + (float)e->srcX) / g_prim.pageWidth;
        v = ((float)e->targetHeight * v + (float)e->srcY) / g_prim.pageHeight;
    }
    P24(&g_prim.vertices[g_prim.count++], x, y, colour, u, v);
}

} // namespace

void GR_Draw_PrimitiveBegin(int32_t kind, int64_t texture)
{
    g_prim.count = 0;
    g_prim.kind = kind;
    g_prim.entry = nullptr;
    g_prim.texture = -1;
    int32_t id;
    TexturePageEntry* entry;
    if (texture == -1 || !GR_Texture_ResolveArgument(texture, &id, &entry)) return;
    if (id >= 0) {
        g_prim.texture = id;
        return;
    }
    g_prim.entry = entry;
    g_prim.texture = entry->texturePage;
    TextureRecord* page = GR_Texture_GetPage(entry->texturePage);
    g_prim.pageWidth = page ? (float)page->Width() : 1.0f;
    g_prim.pageHeight = page ? (float)page->Height() : 1.0f;
}

void GR_Draw_Vertex(float x, float y) { Append(x, y, DrawColour(), 0.0f, 0.0f); }

void GR_Draw_VertexColour(float x, float y, uint32_t colour, float alpha)
{
    // Without a page entry u and v are stored as given (0 here).
    if (g_prim.count >= GR_PRIMITIVE_MAX_VERTICES) return;
    P24(&g_prim.vertices[g_prim.count++], x, y, GR_Colour_ToARGBByte(colour, GR_Colour_AlphaToByte(alpha)), 0.0f,
        0.0f);
}

void GR_Draw_VertexTexture(float x, float y, float u, float v) { Append(x, y, DrawColour(), u, v); }

void GR_Draw_VertexTextureColour(float x, float y, float u, float v, uint32_t colour, float alpha)
{
    Append(x, y, GR_Colour_ToARGBByte(colour, GR_Colour_AlphaToByte(alpha)), u, v);
}

void GR_Draw_PrimitiveEnd()
{
    if (g_prim.kind < 1 || g_prim.kind > 6 || g_prim.count == 0) return;
    TextureRecord* texture = GR_Texture_GetPage(g_prim.texture);
    V24* v = (V24*)GR_D3D_AllocVertices(g_prim.kind, texture, 24, g_prim.count);
    if (!v) return;
    std::memcpy(v, g_prim.vertices, sizeof(V24) * (size_t)g_prim.count);
}

int32_t GR_Draw_PrimitiveCount() { return g_prim.count; }
