// The texel rule's arithmetic (Graphics_TexelRule.h), played without a device: random sprites
// as the drawing layer makes their vertices (whole and fractional positions, mirrored,
// stretched by uneven factors, turned by quarter turns and by any angle), drawn in batches
// through views scaled across, down, both or neither, ports anywhere in targets of uneven sizes
// (the view and projection handed over as the graphics layer hands them: divisions last, each
// axis with its own pixel offset), and the pictures the module's output gives judged pixel by
// pixel against an independent model:
// - a pixel centre X stands for the room point vx + w / 2 + (X - px - pw / 2 + offset / 2) *
//   w / pw (offset the pixel-offset pair's member, 0 or 1); it shows the texel of the last
//   sprite covering that point, the texel the point lies in, on an edge between texels the one
//   just right of and below it. An upright sprite covers [left, right) x [top, bottom) of the
//   room; the texel coordinate along it is a ratio of whole numbers. Both are decided in exact
//   integer arithmetic. A turned sprite's two triangles are evaluated in long double, and
//   centres within a hair of a triangle's edge, or nearer than the rounding of its corners to
//   single precision on the target can move it, are not judged (which triangle a rasteriser
//   gives them, and whether it gives them one, is its own affair), nor texels within 2^-16 of an edge where the exact program
//   drew them (it samples 2^-18 of a pixel right of and below the centre);
// - the module's settled triangles and quads are filled by the fill convention and their
//   texture coordinates interpolated as a rasteriser would, and each value must lie in the
//   right texel at least 2^-9 of a texel from its edges (the fixed-point steps of Mesa's
//   rasteriser); its exact triangles are evaluated as the program evaluates them.
// Views at the scales games use and random ones, including those that went wrong before the
// projection reached the device in double precision with each axis's own offset (a view
// 640 x 360 in a port 640 x 720, one scaled across only, heights 240, 349, 640, 998 and 1000
// with the offset faded, a 1024 x 1000 surface). ZB_PROPERTY_SEED changes them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "Files/Graphics_API/Graphics_Device.h"
#include "Files/Graphics_API/Graphics_TexelRule.h"
#include "support/PropertySeed.h"

namespace {

using i128 = __int128;

struct View {
    int vx, vy, w, h;     // room area shown
    int px, py, pw, ph;   // port on the target
    int offX, offY;       // the pixel-offset pair: 1 (1:1 on that axis) or 0 (faded)
    int targetW, targetH; // the target's size
    bool window;          // rows run from the bottom (the window), else a texture
};

struct Sprite {
    float x, y, xs, ys, angle; // anchor, scales, degrees
    int ox, oy;                // origin in texels
    int sx, sy, sw, sh;        // source rectangle on the texture
};

struct Texel {
    int64_t u = 0, v = 0;
    int drawn = 0;          // 0 none; 1 settled; 2 exact
    bool judge = true;      // the model can say (not near a turned triangle's edge)
    bool nearTexel = false; // within 2^-16 of a texel's edge (not on it)
};

// The drawing layer's corners of a sprite (GR_Texture_DrawExtTPE), TL, TR, BR, BL.
void Corners(const Sprite& s, float* x, float* y)
{
    const float left = -(float)s.ox * s.xs, top = -(float)s.oy * s.ys;
    const float right = left + s.xs * (float)s.sw, bottom = top + s.ys * (float)s.sh;
    const float lx[4] = {left, right, right, left}, ly[4] = {top, top, bottom, bottom};
    const float a = s.angle * 0.01745329238474369f;
    if (std::fabs(a) < 0.001f) {
        for (int i = 0; i < 4; ++i) x[i] = s.x + lx[i], y[i] = s.y + ly[i];
        return;
    }
    const float sn = std::sin(a), cs = std::cos(a);
    for (int i = 0; i < 4; ++i) x[i] = s.x + cs * lx[i] + sn * ly[i], y[i] = s.y - sn * lx[i] + cs * ly[i];
}

// The draw as the device hands it to the module.
GR_TexelDraw MakeDraw(const View& v, int texW, int texH, bool repeat)
{
    GfxExactProjection p{};
    const double m[16] = {2, 0, 0, 0, 0, -2, 0, 0, 0, 0, 1.0 / 31999.0, 0, 0, 0, 1.0 / -31999.0, 1};
    std::memcpy(p.m, m, sizeof(m));
    p.divide[0] = v.w, p.divide[1] = v.h;
    p.offset[0] = -v.offX, p.offset[1] = v.offY;
    p.offsetOver[0] = v.pw, p.offsetOver[1] = v.ph;
    const double view[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -(v.vx + v.w / 2.0), -(v.vy + v.h / 2.0), 16000, 1};
    const float world[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    GR_TexelDraw d;
    GR_Texel_Target(world, view, p, v.px, v.py, v.pw, v.ph, &d.target);
    d.uvAt = 16, d.colourAt = 12, d.batchLayout = true;
    d.size[0] = texW, d.size[1] = texH;
    d.period[0] = repeat ? texW : 0, d.period[1] = repeat ? texH : 0;
    d.extent[0] = v.targetW, d.extent[1] = v.targetH;
    d.fragY[0] = v.window ? -1.0 : 1.0, d.fragY[1] = v.window ? v.targetH - 0.5 : -0.5;
    return d;
}

int64_t FloorDiv(i128 a, i128 b) // b > 0
{
    i128 q = a / b;
    if (a % b != 0 && a < 0) --q;
    return (int64_t)q;
}

// A float as a whole number of 2^-40 (the sprites' floats all have that resolution).
i128 Fixed(float f)
{
    const double s = std::ldexp((double)f, 40);
    EXPECT_EQ(s, std::floor(s)) << "a float finer than 2^-40: " << f;
    return (i128)(int64_t)s;
}

// The model: the texel the last sprite covering the room point of target centre (X, Y) shows.
struct Model {
    const View& v;
    const std::vector<Sprite>& sprites;
    int texW, texH;
    bool repeat;

    int64_t Wrap(int64_t t, int size) const
    {
        if (repeat) return ((t % size) + size) % size;
        return std::min<int64_t>(std::max<int64_t>(t, 0), size - 1);
    }

    // Room point of the centre as RX / (2 pw), RY / (2 ph).
    i128 RX(int X) const { return (i128)(2 * v.vx + v.w) * v.pw + (i128)(2 * X - 2 * v.px - v.pw + v.offX) * v.w; }
    i128 RY(int Y) const { return (i128)(2 * v.vy + v.h) * v.ph + (i128)(2 * Y - 2 * v.py - v.ph + v.offY) * v.h; }

    // The texel along one upright axis: from t0 at room a to t1 at room b (a != b, 2^-40 units),
    // at room point r / den; false when the point is not in [min, max). near: the coordinate
    // lies within 2^-16 of a texel's edge without being on it.
    static bool Along(i128 r, i128 den, i128 a, i128 b, int t0, int t1, int64_t* t, bool* near)
    {
        const i128 p = r * ((i128)1 << 40); // the point in 2^-40 units times den
        const i128 lo = std::min(a, b) * den, hi = std::max(a, b) * den;
        if (p < lo || p >= hi) return false;
        // t0 + (p / den - a) * (t1 - t0) / (b - a), exactly; on an edge the texel the way it rises.
        i128 num = (p - a * den) * (t1 - t0), dd = (b - a) * den;
        if (dd < 0) num = -num, dd = -dd;
        const int64_t f = FloorDiv(num, dd);
        const i128 rest = num - (i128)f * dd; // 0 <= rest < dd
        const bool onEdge = rest == 0;
        *near |= !onEdge && (rest * 65536 < dd || (dd - rest) * 65536 < dd);
        const bool falls = (i128)(t1 - t0) * (b - a) < 0; // the coordinate falls rightward / downward
        *t = t0 + f - (onEdge && falls ? 1 : 0);
        return true;
    }

    // Whether sprite s (corners cx, cy) covers the room point of centre (X, Y), and its texel there.
    bool Cover(const Sprite& s, const float* cx, const float* cy, int X, int Y, Texel& out) const
    {
        const i128 rx = RX(X), ry = RY(Y), dx = 2 * (i128)v.pw, dy = 2 * (i128)v.ph;
        {
            int64_t u, w;
            if (std::fabs(s.angle * 0.01745329238474369f) < 0.001f) {
                bool near = false;
                if (Along(rx, dx, Fixed(cx[0]), Fixed(cx[1]), s.sx, s.sx + s.sw, &u, &near) &&
                    Along(ry, dy, Fixed(cy[0]), Fixed(cy[3]), s.sy, s.sy + s.sh, &w, &near)) {
                    out.u = Wrap(u, texW), out.v = Wrap(w, texH), out.drawn = 1, out.nearTexel = near, out.judge = true;
                    return true;
                }
                return false;
            }
            // A turned sprite: its triangles TL TR BR and BR BL TL, in long double.
            const long double px = (long double)rx / (long double)dx, py = (long double)ry / (long double)dy;
            const int tu[4] = {s.sx, s.sx + s.sw, s.sx + s.sw, s.sx}, tv[4] = {s.sy, s.sy, s.sy + s.sh, s.sy + s.sh};
            const int tri[2][3] = {{0, 1, 2}, {2, 3, 0}};
            for (const auto& t : tri) {
                long double e[3];
                bool in = true, near = false;
                const long double det = ((long double)cx[t[1]] - cx[t[0]]) * ((long double)cy[t[2]] - cy[t[0]]) -
                                        ((long double)cx[t[2]] - cx[t[0]]) * ((long double)cy[t[1]] - cy[t[0]]);
                if (det == 0) continue;
                // The rasteriser has the corners on the target in single precision: a centre
                // nearer an edge than their rounding can move it is its own affair too.
                const long double sx = (long double)v.pw / v.w, sy = (long double)v.ph / v.h;
                long double reach = 0;
                for (int k = 0; k < 3; ++k)
                    reach = std::max({reach, std::fabs(v.px + v.pw / 2.0L + (cx[t[k]] - v.vx - v.w / 2.0L) * sx),
                                      std::fabs(v.py + v.ph / 2.0L + (cy[t[k]] - v.vy - v.h / 2.0L) * sy)});
                const long double slack = 0x1p-22L * (reach + 1);
                for (int k = 0; k < 3; ++k) {
                    const int a = t[k], b = t[(k + 1) % 3];
                    e[k] = (((long double)cx[b] - cx[a]) * (py - cy[a]) - ((long double)cy[b] - cy[a]) * (px - cx[a])) / det;
                    in &= e[k] >= 0;
                    // The centre's distance from the edge in target pixels.
                    const long double ex = ((long double)cx[b] - cx[a]) * sx, ey = ((long double)cy[b] - cy[a]) * sy;
                    const long double cross = ex * (py - cy[a]) * sy - ey * (px - cx[a]) * sx;
                    near |= std::fabs(e[k]) < 1e-9L || std::fabs(cross) < slack * std::hypot(ex, ey);
                }
                if (!in && !near) continue;
                // The texel coordinates there, and a hair right of and below it (the centre
                // moved by 2^-20 of a pixel: the plane is affine, so its change tells the way).
                auto at = [&](long double qx, long double qy, long double* fu, long double* fv) {
                    long double e2[3];
                    for (int k = 0; k < 3; ++k) {
                        const int a = t[k], b = t[(k + 1) % 3];
                        e2[k] = (((long double)cx[b] - cx[a]) * (qy - cy[a]) - ((long double)cy[b] - cy[a]) * (qx - cx[a])) / det;
                    }
                    const long double wv[3] = {e2[1], e2[2], e2[0]};
                    *fu = *fv = 0;
                    for (int k = 0; k < 3; ++k) *fu += wv[k] * tu[t[k]], *fv += wv[k] * tv[t[k]];
                };
                long double fu, fv, mu, mv;
                at(px, py, &fu, &fv);
                at(px + 0x1p-20L * v.w / v.pw, py + 0x1p-20L * v.h / v.ph, &mu, &mv);
                auto texel = [](long double f, long double moved, bool* near) {
                    const long double r = std::floor(f + 0.5L);
                    if (std::fabs(f - r) <= 1e-12L) return (int64_t)r - (moved < f ? 1 : 0); // on an edge
                    *near |= std::fabs(f - r) < 0x1p-16L;
                    return (int64_t)std::floor(f);
                };
                bool nearTexel = false;
                out.u = Wrap(texel(fu, mu, &nearTexel), texW), out.v = Wrap(texel(fv, mv, &nearTexel), texH);
                out.drawn = 1;
                // Near an edge of the triangle: not judged; near a texel's: by the exact program not.
                out.judge = !near;
                out.nearTexel = nearTexel;
                return true;
            }
        }
        return false;
    }

    // The picture: each sprite painted over the ones before, on the centres around its corners.
    void Paint(std::vector<Texel>& pic, int w) const
    {
        for (const Sprite& s : sprites) {
            float cx[4], cy[4];
            Corners(s, cx, cy);
            // Room to target: X = px + pw / 2 + (x - vx - w / 2) * pw / w - offX / 2.
            double lo[2] = {1e300, 1e300}, hi[2] = {-1e300, -1e300};
            for (int c = 0; c < 4; ++c) {
                const double X = v.px + v.pw / 2.0 + (cx[c] - v.vx - v.w / 2.0) * v.pw / v.w - v.offX / 2.0;
                const double Y = v.py + v.ph / 2.0 + (cy[c] - v.vy - v.h / 2.0) * v.ph / v.h - v.offY / 2.0;
                lo[0] = std::min(lo[0], X), hi[0] = std::max(hi[0], X), lo[1] = std::min(lo[1], Y), hi[1] = std::max(hi[1], Y);
            }
            const int x0 = std::max(v.px, (int)std::floor(lo[0]) - 1), x1 = std::min(v.px + v.pw - 1, (int)std::ceil(hi[0]) + 1);
            const int y0 = std::max(v.py, (int)std::floor(lo[1]) - 1), y1 = std::min(v.py + v.ph - 1, (int)std::ceil(hi[1]) + 1);
            for (int Y = y0; Y <= y1; ++Y)
                for (int X = x0; X <= x1; ++X) {
                    Texel t;
                    if (Cover(s, cx, cy, X, Y, t)) pic[size_t(Y) * w + X] = t;
                }
        }
    }
};

// The picture the module's output gives: each centre's texel, and how it was drawn.
struct Picture {
    int w, h;
    std::vector<Texel> px;
    int64_t marginFaults = 0; // settled values nearer a texel edge than 2^-9

    Picture(int w_, int h_) : w(w_), h(h_), px(size_t(w_) * h_) {}

    // Fills a triangle of target coordinates by the fill convention (a centre on a top or left
    // edge in), calling at(X, Y, weights) for each centre.
    template <class F>
    void Fill(const double* x, const double* y, F at)
    {
        const double det = (x[1] - x[0]) * (y[2] - y[0]) - (x[2] - x[0]) * (y[1] - y[0]);
        if (det == 0) return;
        const int x0 = std::max(0, (int)std::floor(std::min({x[0], x[1], x[2]})));
        const int x1 = std::min(w - 1, (int)std::ceil(std::max({x[0], x[1], x[2]})));
        const int y0 = std::max(0, (int)std::floor(std::min({y[0], y[1], y[2]})));
        const int y1 = std::min(h - 1, (int)std::ceil(std::max({y[0], y[1], y[2]})));
        for (int Y = y0; Y <= y1; ++Y)
            for (int X = x0; X <= x1; ++X) {
                long double e[3];
                bool in = true;
                for (int k = 0; k < 3; ++k) {
                    const int a = k, b = (k + 1) % 3;
                    // Turned to run clockwise on the y-down target.
                    long double ex = (long double)x[b] - x[a], ey = (long double)y[b] - y[a];
                    if (det < 0) ex = -ex, ey = -ey;
                    e[k] = ex * ((long double)Y - y[a]) - ey * ((long double)X - x[a]);
                    // On the edge: in for a top edge (level, going right) or a left edge (going up).
                    const bool topLeft = (ey == 0 && ex > 0) || ey < 0;
                    in &= e[k] > 0 || (e[k] == 0 && topLeft);
                }
                if (!in) continue;
                long double wv[3];
                for (int k = 0; k < 3; ++k) wv[(k + 2) % 3] = std::fabs(e[k] / det);
                at(X, Y, wv);
            }
    }
};

void Draw(Picture& pic, const GR_TexelPlacer& placer, const GR_TexelDraw& d, const Model& model)
{
    for (const GR_TexelRun& run : placer.runs) {
        const uint32_t per = 3;
        for (uint32_t i = 0; i < run.count; i += per) {
            double x[4], y[4];
            long double u[4], vv[4];
            const GR_ExactVertex* ev = run.exact ? &placer.exact[run.first + i] : nullptr;
            for (uint32_t k = 0; k < per; ++k) {
                if (ev) {
                    x[k] = ev[k].x, y[k] = ev[k].y;
                } else {
                    const GR_TexelVertex& s = placer.settled[run.first + i + k];
                    x[k] = s.x, y[k] = s.y, u[k] = (long double)s.u * d.size[0], vv[k] = (long double)s.v * d.size[1];
                }
            }
            const int tris = per == 4 ? 2 : 1;
            for (int t = 0; t < tris; ++t) {
                const int idx[3] = {0, t ? 2 : 1, t ? 3 : 2};
                const double tx[3] = {x[idx[0]], x[idx[1]], x[idx[2]]}, ty[3] = {y[idx[0]], y[idx[1]], y[idx[2]]};
                pic.Fill(tx, ty, [&](int X, int Y, const long double* wv) {
                    Texel& p = pic.px[size_t(Y) * pic.w + X];
                    if (ev) {
                        // As the program: the planes in the fragment's coordinates.
                        double c[6];
                        for (int j = 0; j < 6; ++j) c[j] = (double)ev[0].coef[2 * j] + (double)ev[0].coef[2 * j + 1];
                        const double fx = X + 0.5, fy = d.fragY[0] > 0 ? Y + 0.5 : d.extent[1] - 0.5 - Y;
                        p.u = model.Wrap((int64_t)std::floor(c[0] + c[1] * fx + c[2] * fy), model.texW);
                        p.v = model.Wrap((int64_t)std::floor(c[3] + c[4] * fx + c[5] * fy), model.texH);
                        p.drawn = 2;
                        return;
                    }
                    long double fu = 0, fv = 0;
                    for (int k = 0; k < 3; ++k) fu += wv[k] * u[idx[k]], fv += wv[k] * vv[idx[k]];
                    const long double ru = std::floor(fu + 0.5L), rv = std::floor(fv + 0.5L);
                    if (std::fabs(fu - ru) < 0x1p-9L || std::fabs(fv - rv) < 0x1p-9L) ++pic.marginFaults;
                    p.u = model.Wrap((int64_t)std::floor(fu), model.texW), p.v = model.Wrap((int64_t)std::floor(fv), model.texH);
                    p.drawn = 1;
                });
            }
        }
    }
}

// Views: the ones that went wrong, then ones at the scales games use (across and down alike
// or not) and random ones, each axis 1:1 (its offset whole) or scaled by more than a percent.
std::vector<View> Views(std::mt19937& rng)
{
    auto in = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    std::vector<View> views = {
        {0, 0, 640, 360, 0, 0, 640, 720, 1, 0, 640, 720, false},     // scaled down only
        {100, 40, 320, 240, 0, 0, 640, 240, 0, 1, 640, 240, true},    // scaled across only
        {0, 0, 640, 480, 0, 0, 640, 349, 1, 0, 640, 349, true},       // a window 349 high
        {0, 0, 1024, 1000, 0, 0, 1024, 1000, 0, 0, 1024, 1000, false}, // a surface, the offset faded
    };
    for (int hgt : {240, 349, 640, 998, 1000}) views.push_back({0, 0, 400, hgt, 0, 0, 400, hgt, 0, 0, 400, hgt, false});
    static const int kScales[][2] = {{1, 1}, {1, 2}, {1, 4}, {2, 3}, {3, 2}, {2, 1}, {3, 1}, {4, 1}, {8, 1}, {5, 3}};
    for (int i = 0; i < 24; ++i) {
        View v{};
        for (int a = 0; a < 2; ++a) {
            int port, view;
            if (i % 3 != 2) {
                const int* s = kScales[in(0, 9)];
                const int m = in(20, 400 / s[0] + 20);
                port = m * s[0], view = m * s[1];
            } else {
                port = in(40, 700), view = in(port / 8 + 1, port * 4);
            }
            const int off = view == port ? 1 : std::abs(port - view) * 100 > std::min(port, view) ? 0 : -1;
            if (off < 0) view = port; // within a percent: taken 1:1
            (a ? v.ph : v.pw) = port, (a ? v.h : v.w) = view, (a ? v.offY : v.offX) = view == port ? 1 : 0;
        }
        v.vx = in(0, 12000), v.vy = in(0, 6000);
        v.px = in(0, 60), v.py = in(0, 60);
        v.targetW = v.px + v.pw + in(0, 300), v.targetH = v.py + v.ph + in(0, 300);
        v.window = in(0, 1);
        views.push_back(v);
    }
    return views;
}

std::vector<Sprite> Sprites(std::mt19937& rng, const View& v, int kind, int texW, int texH)
{
    auto in = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto frac = [&]() { return (float)in(0, 1 << 16) / 65536.0f; };
    std::vector<Sprite> out;
    for (int i = 0; i < 24; ++i) {
        Sprite s{};
        s.sw = in(1, std::min(64, texW)), s.sh = in(1, std::min(64, texH));
        s.sx = in(0, texW - s.sw), s.sy = in(0, texH - s.sh);
        s.ox = in(0, s.sw), s.oy = in(0, s.sh);
        s.x = (float)in(v.vx - 70, v.vx + v.w + 10), s.y = (float)in(v.vy - 70, v.vy + v.h + 10);
        s.xs = s.ys = 1.0f;
        switch (kind) {
        case 0: break;                                       // whole positions
        case 1: s.x += frac(), s.y += frac(); break;         // fractional
        case 2:                                              // mirrored and stretched, anywhere
            s.x += frac(), s.y += frac();
            s.xs = (float)(in(0, 1) ? -1 : 1) * (float)in(1, 4) / (float)in(1, 3);
            s.ys = (float)(in(0, 1) ? -1 : 1) * (float)in(1, 4) / (float)in(1, 3);
            break;
        case 3: s.angle = 90.0f * (float)in(1, 3); s.x += frac(); break; // quarter turns
        default: s.angle = (float)in(1, 359) + frac(); s.x += frac(), s.y += frac(); break;
        }
        out.push_back(s);
    }
    return out;
}

} // namespace

TEST(TexelRule, TheModulesPicturesShowTheTexelOfEveryCentreOnEveryViewAndTarget)
{
    const uint32_t seed = Property_Seed(6801);
    SCOPED_TRACE(Property_SeedNote(seed));
    std::mt19937 rng(seed);
    GR_TexelPlacer placer;
    int64_t judged = 0, settledPixels = 0, exactPixels = 0;
    const std::vector<View> views = Views(rng);
    for (size_t vi = 0; vi < views.size(); ++vi) {
        const View& v = views[vi];
        for (int kind = 0; kind < 5; ++kind) {
            const int texW = 64 << (rng() % 4), texH = 64 << (rng() % 3);
            const bool repeat = rng() % 2;
            const std::vector<Sprite> sprites = Sprites(rng, v, kind, texW, texH);
            std::vector<GR_TexelVertex> batch;
            for (const Sprite& s : sprites) {
                float x[4], y[4];
                Corners(s, x, y);
                const float iw = 1.0f / (float)texW, ih = 1.0f / (float)texH;
                const float u0 = (float)s.sx * iw, u1 = (float)(s.sx + s.sw) * iw, v0 = (float)s.sy * ih, v1 = (float)(s.sy + s.sh) * ih;
                const float cu[4] = {u0, u1, u1, u0}, cv[4] = {v0, v0, v1, v1};
                for (int c : {0, 1, 2, 2, 3, 0}) batch.push_back({x[c], y[c], 0.0f, 0xFFFFFFFFu, cu[c], cv[c]});
            }
            const GR_TexelDraw d = MakeDraw(v, texW, texH, repeat);
            placer.Place(d, GFX_PT_TRIANGLELIST, (uint32_t)batch.size(), reinterpret_cast<const uint8_t*>(batch.data()),
                         sizeof(GR_TexelVertex));
            const Model model{v, sprites, texW, texH, repeat};
            Picture pic(v.targetW, v.targetH);
            Draw(pic, placer, d, model);
            std::vector<Texel> wanted(pic.px.size());
            model.Paint(wanted, pic.w);
            int wrong = 0;
            std::string first;
            for (int Y = v.py; Y < v.py + v.ph; ++Y)
                for (int X = v.px; X < v.px + v.pw; ++X) {
                    const Texel& want = wanted[size_t(Y) * pic.w + X];
                    const Texel& got = pic.px[size_t(Y) * pic.w + X];
                    if (!want.drawn && !got.drawn) continue;
                    if (!want.judge || (want.nearTexel && got.drawn == 2)) continue;
                    ++judged;
                    settledPixels += got.drawn == 1, exactPixels += got.drawn == 2;
                    const bool same = want.drawn ? got.drawn && got.u == want.u && got.v == want.v : !got.drawn;
                    if (!same && ++wrong <= 3)
                        first += " (" + std::to_string(X) + "," + std::to_string(Y) + ": texel " + std::to_string(got.u) + "," +
                                 std::to_string(got.v) + (got.drawn ? got.drawn == 2 ? " exact" : " settled" : " none") + " for " +
                                 std::to_string(want.u) + "," + std::to_string(want.v) + (want.drawn ? "" : " none") + ")";
                }
            EXPECT_EQ(wrong, 0) << "view " << vi << " (" << v.vx << "," << v.vy << " " << v.w << "x" << v.h << " in port " << v.px << ","
                                << v.py << " " << v.pw << "x" << v.ph << ", offsets " << v.offX << "," << v.offY << "), sprites of kind "
                                << kind << ":" << first;
            EXPECT_EQ(pic.marginFaults, 0) << "view " << vi << ", kind " << kind << ": settled values too near a texel edge";
        }
    }
    // Every way was played: most centres by the rasteriser's own interpolation.
    EXPECT_GT(settledPixels, exactPixels);
    EXPECT_GT(exactPixels, 0);
    std::printf("%lld centres judged: %lld settled, %lld by the exact program\n", (long long)judged, (long long)settledPixels,
                (long long)exactPixels);
}
