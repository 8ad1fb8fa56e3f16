// Which texel each pixel of a textured triangle shows, and how a triangle is placed and settled
// for a rasteriser in single precision (see Graphics_TexelRule.h).
#include "Files/Graphics_API/Graphics_TexelRule.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "Files/Graphics_API/Graphics_Device.h"

// A whole number of grid cells, to the double-precision error of a plane's value at a centre
// near its triangle (texel coordinates below 2^14, k at most 64: some 2^-30): a value this close
// to a grid line stands on it. A true value this close without being on it would need a
// position within 2^-24 of a pixel of one on the grid.
static constexpr double kOnGrid = 0x1p-24;
// A gradient that is a whole number of k-ths of a texel to this (its division's rounding) is
// taken as that many k-ths.
static constexpr double kWholeGradient = 0x1p-32;
// A grid whose gradients are further than this from the plane's (in k-ths, per pixel) cannot
// keep a triangle of more than 16 pixels in its cells: not tried. One nearer than kGridNear
// keeps one of a thousand pixels within a thousandth of a cell: no finer one is looked for.
static constexpr double kGridDrift = 1.0 / 16.0;
static constexpr double kGridNear = 0x1p-20;

// [SECTION] Target and error bound

void GR_Texel_Target(const float* world, const double* view, const GfxExactProjection& projection, double vx,
                     double vy, double vw, double vh, GR_TexelTarget* out)
{
    // World times view: exact where the world is the identity or a translation and the view
    // one too (every 2D view).
    double wv[16];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            double s = 0.0;
            for (int i = 0; i < 4; ++i) s += (double)world[r * 4 + i] * view[i * 4 + c];
            wv[r * 4 + c] = s;
        }
    const double* p = projection.m;
    const double hw = 0.5 * vw, hh = 0.5 * vh;
    for (int r = 0; r < 4; ++r) {
        double cx = 0.0, cy = 0.0, cz = 0.0;
        for (int i = 0; i < 4; ++i) {
            cx += wv[r * 4 + i] * p[i * 4 + 0];
            cy += wv[r * 4 + i] * p[i * 4 + 1];
            cz += wv[r * 4 + i] * p[i * 4 + 2];
        }
        // Target x = (clip x + 1) * hw + vx, y = (1 - clip y) * hh + vy (rows from the top).
        out->x[r] = cx * hw;
        out->y[r] = -cy * hh;
        out->z[r] = cz;
    }
    out->divideX = projection.divide[0];
    out->divideY = projection.divide[1];
    // The pixel-offset pair's move: offset / over of clip space, (offset * half) / over pixels
    // (exactly half the offset on a viewport of over pixels).
    const double ox = projection.offsetOver[0] != 0.0 ? (projection.offset[0] * hw) / projection.offsetOver[0] : 0.0;
    const double oy = projection.offsetOver[1] != 0.0 ? (projection.offset[1] * hh) / projection.offsetOver[1] : 0.0;
    out->addX = hw + vx + ox;
    out->addY = hh + vy - oy;
    out->upright = out->x[1] == 0.0 && out->x[2] == 0.0 && out->y[0] == 0.0 && out->y[2] == 0.0;
}

double GR_TexelError(const GR_TexelPlane& p, double largest, const double* extent)
{
    const double reach = std::fabs(p.a) + 2.0 * (std::fabs(p.dx) * extent[0] + std::fabs(p.dy) * extent[1]);
    return 0x1p-20 * (largest + reach) + 0x1p-9;
}

double GR_Texels(float uv, double size)
{
    const double t = (double)uv * size, r = GR_RoundD(t * 256.0) * (1.0 / 256.0);
    return std::fabs(t - r) <= std::fabs(t) * 0x1p-21 ? r : t;
}

// Moves texel coordinates t[0..n) by whole periods of the texture (axis a) to start near 0,
// where a texel's centre in single precision stays inside it.
static inline void NearZero(const GR_TexelDraw& d, int a, double* t, int n)
{
    if (d.period[a] <= 0.0) return;
    double lo = t[0], hi = t[0];
    for (int i = 1; i < n; ++i) lo = std::min(lo, t[i]), hi = std::max(hi, t[i]);
    if (lo >= 0.0 && hi <= d.period[a]) return;
    const double whole = d.period[a] * GR_FloorD(lo / d.period[a]);
    if (std::fabs(whole) <= DBL_MAX)
        for (int i = 0; i < n; ++i) t[i] -= whole;
}

static void Split(double v, float* out)
{
    out[0] = (float)v;
    out[1] = (float)(v - (double)out[0]);
}

// [SECTION] Settling

// The denominators k up to GR_TEXEL_MAX_STEP of the continued fraction's convergents of |x|
// (the best rational approximations: x * k comes nearer a whole number than for any smaller k)
// for which x * k lies within kGridDrift of a whole number: into out (ascending), their count.
// The last is the fraction's own where x is such a fraction.
static int Convergents(double x, int* out)
{
    const double v = std::fabs(x);
    if (!(v < 0x1p30)) return 0; // also for values not finite
    int count = 0;
    double k1 = 1.0, k2 = 0.0; // the last two denominators
    double a = GR_FloorD(v), f = v - a;
    if (std::min(f, 1.0 - f) < kGridDrift) out[count++] = 1;
    for (int depth = 0; depth < 12 && f > 0x1p-40; ++depth) {
        const double r = 1.0 / f;
        a = GR_FloorD(r), f = r - a;
        const double k = a * k1 + k2;
        if (k > GR_TEXEL_MAX_STEP) break;
        const double off = std::fabs(v * k - GR_RoundD(v * k));
        if (off < kGridDrift) out[count++] = (int)k;
        k2 = k1, k1 = k;
    }
    return count;
}

// The grids of 1/k texel whose gradients px / k, py / k come nearest the plane's (dx, dy), by
// increasing k, each nearer than the ones before; one near enough ends them. The k tried are
// the least common multiples of the best approximations' of each gradient. A draw's quads
// share their gradients: the last plane's of each axis are kept.
void GR_TexelPlacer::FindGrids(Grids& c, double dx, double dy)
{
    c.dx = dx, c.dy = dy, c.count = 0;
    int kx[16], ky[16];
    const int nx = Convergents(dx, kx), ny = Convergents(dy, ky);
    uint64_t tried = 0; // bit k - 1: k is tried
    for (int i = 0; i < nx; ++i)
        for (int j = 0; j < ny; ++j) {
            int g = kx[i], h = ky[j];
            while (h) g %= h, std::swap(g, h);
            const int l = kx[i] / g * ky[j]; // the least common multiple
            if (l <= GR_TEXEL_MAX_STEP) tried |= (uint64_t)1 << (l - 1);
        }
    double best = kGridDrift;
    while (tried && c.count < 4) {
        const int k = __builtin_ctzll(tried) + 1;
        tried &= tried - 1;
        const double x = dx * k, y = dy * k, rx = GR_RoundD(x), ry = GR_RoundD(y);
        const double off = std::max(std::fabs(x - rx), std::fabs(y - ry));
        if (!(off < best)) continue;
        c.grid[c.count++] = {(double)k, rx, ry, rx / k, ry / k, x - rx, y - ry, off <= kWholeGradient};
        if (off <= kGridNear) break;
        best = off;
    }
}

// The cell n..n+1 of a grid (in its cells) that holds every centre's sample value, given the
// reference value s and how far the values drift from the grid's plane across the triangle
// (lo..hi; none on a grid the gradients are exactly on). A value on a grid line goes to the
// cell the sample point moves into (up: the plane rises there). False when a value lies too
// near a line to tell which side: the next grid is tried.
static inline bool GR_Texel_Cell(bool exact, double s, double lo, double hi, bool up, double* n)
{
    if (exact) {
        const double r = GR_RoundD(s);
        if (std::fabs(s - r) <= kOnGrid) {
            *n = up ? r : r - 1.0;
            return true;
        }
        *n = GR_FloorD(s);
        return s - *n > kOnGrid && s < *n + 1.0 - kOnGrid;
    }
    *n = GR_FloorD(s + lo);
    return s + lo - *n > kOnGrid && s + hi < *n + 1.0 - kOnGrid;
}

bool GR_TexelPlacer::Settle(const GR_TexelDraw& d, int axis, double dx, double dy, double at0,
                            const double (*points)[2], int npoints, double largest, GR_TexelPlane* out)
{
    Grids& g = m_grids[axis];
    if (!(g.count >= 0 && dx == g.dx && dy == g.dy)) FindGrids(g, dx, dy);
    // The sample point lies a hair right of and below the centre: a value on a grid line moves
    // up the way the plane rises there (not at all where it does not).
    const bool up = dx + dy >= 0.0;
    // The reference: the whole pixel centre nearest the first point (the grid's values at
    // centres are whole steps from its value there), and the value there.
    const double x0 = GR_RoundD(points[0][0]), y0 = GR_RoundD(points[0][1]);
    const double at = at0 + dx * (x0 - points[0][0]) + dy * (y0 - points[0][1]);
    for (int i = 0; i < g.count; ++i) {
        const Grid& gr = g.grid[i];
        // Where the reference value lies on the grid (in cells), and how far the true values
        // drift from the grid's plane through it across the triangle (the points' hull).
        const double s = at * gr.k;
        double lo = 0.0, hi = 0.0, n;
        if (!gr.exact) {
            lo = DBL_MAX, hi = -DBL_MAX;
            for (int p = 0; p < npoints; ++p) {
                const double drift = gr.ex * (points[p][0] - x0) + gr.ey * (points[p][1] - y0);
                lo = std::min(lo, drift), hi = std::max(hi, drift);
            }
        }
        if (!GR_Texel_Cell(gr.exact, s, lo, hi, up, &n)) continue;
        // The plane through the middles of those cells.
        out->dx = gr.gx, out->dy = gr.gy;
        out->a = (n + 0.5) / gr.k - gr.gx * x0 - gr.gy * y0;
        if (!(4.0 * gr.k * GR_TexelError(*out, largest, d.extent) <= 1.0)) continue;
        return true;
    }
    return false;
}

// Settle for a plane that changes along one axis alone (an upright quad's u across or v down):
// value at + g * (c - c0) at centres c0..c1 on that axis (c0 whole). The settled plane's value
// at c0 and its gradient.
__attribute__((always_inline)) inline bool GR_TexelPlacer::SettleLine(const GR_TexelDraw& d, int axis, double g, double at, double c0, double c1,
                                       double largest, double* value, double* gradient)
{
    Grids& gs = m_lineGrids[axis];
    if (__builtin_expect(!(gs.count >= 0 && g == gs.dx), 0)) FindGrids(gs, g, 0.0);
    const bool up = g >= 0.0;
    for (int i = 0; i < gs.count; ++i) {
        const Grid& gr = gs.grid[i];
        const double s = at * gr.k;
        const double drift = gr.exact ? 0.0 : gr.ex * (c1 - c0);
        double n;
        if (!GR_Texel_Cell(gr.exact, s, std::min(drift, 0.0), std::max(drift, 0.0), up, &n)) continue;
        const double v = (n + 0.5) / gr.k;
        // GR_TexelError of the plane through v at c0.
        const double error = 0x1p-20 * (largest + std::fabs(v - gr.gx * c0) + 2.0 * std::fabs(gr.gx) * d.extent[axis]) + 0x1p-9;
        if (!(4.0 * gr.k * error <= 1.0)) continue;
        *value = v, *gradient = gr.gx;
        return true;
    }
    return false;
}

// [SECTION] Placing

__attribute__((always_inline)) inline GR_TexelVertex* GR_TexelPlacer::SettledRoom(uint32_t vertices)
{
    if (runs.empty() || runs.back().exact) runs.push_back({false, m_settledCount, 0});
    GR_TexelVertex* v = settled.data() + m_settledCount;
    m_settledCount += vertices;
    runs.back().count += vertices;
    return v;
}

GR_ExactVertex* GR_TexelPlacer::ExactRoom(uint32_t vertices)
{
    if (runs.empty() || !runs.back().exact) runs.push_back({true, m_exactCount, 0});
    GR_ExactVertex* v = exact.data() + m_exactCount;
    m_exactCount += vertices;
    runs.back().count += vertices;
    return v;
}

static bool Rectangle(const uint8_t* first, uint32_t stride, const uint32_t* a, const uint32_t* b);

// Whether a triangle's first two edges could be those of an upright rectangle: at least one
// of them level or upright (of its three edges two are, and the diagonal is one of the first
// two or the third). A quick look that turned sprites fail.
static inline bool Upright(const uint8_t* first, uint32_t stride)
{
    float p[3][2];
    for (int i = 0; i < 3; ++i) std::memcpy(p[i], first + (size_t)i * stride, 8);
    return p[0][0] == p[1][0] || p[0][1] == p[1][1] || p[1][0] == p[2][0] || p[1][1] == p[2][1];
}

void GR_TexelPlacer::Place(const GR_TexelDraw& d, uint32_t type, uint32_t n, const uint8_t* first, uint32_t stride)
{
    const uint32_t count = type == GFX_PT_TRIANGLELIST ? n / 3 : n >= 3 ? n - 2 : 0;
    if (settled.size() < (size_t)count * 3) settled.resize((size_t)count * 3);
    if (d.program && exact.size() < (size_t)count * 3) exact.resize((size_t)count * 3);
    runs.clear();
    m_settledCount = m_exactCount = 0;
    m_inverse[0] = 1.0 / d.size[0], m_inverse[1] = 1.0 / d.size[1];
    // Quads in the batch's layout (x y z, colour, u v) under a transform without rotation.
    const GR_TexelTarget& t = d.target;
    const bool quads = type == GFX_PT_TRIANGLELIST && d.batchLayout && stride == sizeof(GR_TexelVertex) && t.upright &&
                       t.z[0] == 0.0 && t.z[1] == 0.0;
    // The triangle's vertices in the rasteriser's order (a strip's odd ones turned back).
    auto corners = [&](uint32_t k, uint32_t* idx) {
        if (type == GFX_PT_TRIANGLELIST) idx[0] = 3 * k, idx[1] = 3 * k + 1, idx[2] = 3 * k + 2;
        else if (type == GFX_PT_TRIANGLEFAN) idx[0] = 0, idx[1] = k + 1, idx[2] = k + 2;
        else if (k & 1) idx[0] = k + 1, idx[1] = k, idx[2] = k + 2;
        else idx[0] = k, idx[1] = k + 1, idx[2] = k + 2;
    };
    for (uint32_t k = 0; k < count; ++k) {
        if (quads && k + 1 < count && Upright(first + (size_t)k * 3 * stride, stride) &&
            UprightQuad(d, first + (size_t)k * 3 * stride, stride)) {
            ++k;
            continue;
        }
        uint32_t idx[3], next[3];
        corners(k, idx);
        if (t.upright && k + 1 < count) {
            corners(k + 1, next);
            if (Rectangle(first, stride, idx, next)) {
                Triangle(d, first, stride, idx, true);
                Triangle(d, first, stride, next, true);
                ++k;
                continue;
            }
        }
        Triangle(d, first, stride, idx, false);
    }
}

// Whether two triangles are the halves of one upright rectangle (their six corners four
// points, on two columns and two rows, as positions are given: the target keeps them upright).
static bool Rectangle(const uint8_t* first, uint32_t stride, const uint32_t* a, const uint32_t* b)
{
    uint64_t p[6], distinct[4];
    int n = 0;
    for (int i = 0; i < 6; ++i) {
        std::memcpy(&p[i], first + (size_t)(i < 3 ? a[i] : b[i - 3]) * stride, 8);
        int j = 0;
        while (j < n && distinct[j] != p[i]) ++j;
        if (j == n) {
            if (n == 4) return false;
            distinct[n++] = p[i];
        }
    }
    if (n != 4) return false;
    // Four distinct points of two columns and two rows: the four corners of a rectangle.
    uint64_t xs[2], ys[2];
    int nx = 0, ny = 0;
    for (int j = 0; j < 4; ++j) {
        const uint64_t x = distinct[j] & 0xFFFFFFFFu, y = distinct[j] >> 32;
        if (!(nx > 0 && xs[0] == x) && !(nx > 1 && xs[1] == x)) {
            if (nx == 2) return false;
            xs[nx++] = x;
        }
        if (!(ny > 0 && ys[0] == y) && !(ny > 1 && ys[1] == y)) {
            if (ny == 2) return false;
            ys[ny++] = y;
        }
    }
    return nx == 2 && ny == 2;
}

// The gradient dd / dD, kept for the next quad of the same size (axis a).
inline double GR_TexelPlacer::Gradient(double dd, double dD, int a)
{
    if (dd != m_gradient[a][0] || dD != m_gradient[a][1]) m_gradient[a][0] = dd, m_gradient[a][1] = dD, m_gradient[a][2] = dd / dD;
    return m_gradient[a][2];
}

// Two triangles of a list making an upright rectangle with its texture upright in it (u
// following x alone and v y alone), as sprites, tiles and backgrounds are drawn without
// rotation: placed and settled as one, as Triangle would place and settle each. False (nothing
// done) when they are not such a pair or they cannot be settled. A draw's quads come in one
// order of corners: the last one's is tried first.
bool GR_TexelPlacer::UprightQuad(const GR_TexelDraw& d, const uint8_t* first, uint32_t stride)
{
    // Each vertex's x and y, u and v, depth and colour, as bits (corner c: x of c & 1, y of c >> 1).
    uint64_t xy[6], uv[6], zc[6];
    for (int i = 0; i < 6; ++i) {
        const uint8_t* p = first + (size_t)i * stride;
        std::memcpy(&xy[i], p, 8);
        std::memcpy(&zc[i], p + 8, 8);
        std::memcpy(&uv[i], p + 16, 8);
    }
    int* corner = m_quadCorner;
    uint64_t cxy[4], cuv[4];
    auto corners = [&](uint64_t a, uint64_t b, uint64_t* c) { // a: corner 0, b: corner 3
        c[0] = a, c[3] = b;
        c[1] = (b & 0xFFFFFFFFu) | (a & ~(uint64_t)0xFFFFFFFFu);
        c[2] = (a & 0xFFFFFFFFu) | (b & ~(uint64_t)0xFFFFFFFFu);
    };
    corners(xy[m_quadAt[0]], xy[m_quadAt[1]], cxy);
    corners(uv[m_quadAt[0]], uv[m_quadAt[1]], cuv);
    bool same = true;
    for (int i = 0; i < 6; ++i) same &= (xy[i] == cxy[corner[i]]) & (uv[i] == cuv[corner[i]]);
    if (!same && !QuadOrder(xy, uv, cxy, cuv)) return false;
    float x[2], y[2], u[2], v[2];
    std::memcpy(x, &cxy[0], 4), std::memcpy(y, (const char*)&cxy[0] + 4, 4);
    std::memcpy(x + 1, &cxy[3], 4), std::memcpy(y + 1, (const char*)&cxy[3] + 4, 4);
    std::memcpy(u, &cuv[0], 4), std::memcpy(v, (const char*)&cuv[0] + 4, 4);
    std::memcpy(u + 1, &cuv[3], 4), std::memcpy(v + 1, (const char*)&cuv[3] + 4, 4);
    // Depth and colour: one for the quad, or one a corner.
    uint64_t czc[4] = {zc[0], zc[0], zc[0], zc[0]};
    bool one = true;
    for (int i = 1; i < 6; ++i) one &= zc[i] == zc[0];
    if (!one) {
        bool seen[4] = {false, false, false, false};
        for (int i = 0; i < 6; ++i) {
            const int c = corner[i];
            if (seen[c] && zc[i] != czc[c]) return false;
            seen[c] = true, czc[c] = zc[i];
        }
    }
    // Either way of each axis, on the target and in texels.
    const GR_TexelTarget& t = d.target;
    double X[2], Y[2], U[2], V[2];
    for (int i = 0; i < 2; ++i) {
        X[i] = ((double)x[i] * t.x[0] + t.x[3]) / t.divideX + t.addX;
        Y[i] = ((double)y[i] * t.y[1] + t.y[3]) / t.divideY + t.addY;
        U[i] = GR_Texels(u[i], d.size[0]);
        V[i] = GR_Texels(v[i], d.size[1]);
    }
    if (!(X[0] != X[1] && Y[0] != Y[1])) return false;
    // The edges half way between the centres they cover: a centre on the left or top edge is
    // in, on the right or bottom one out.
    double sx[2], sy[2];
    for (int i = 0; i < 2; ++i) sx[i] = GR_CeilD(X[i]) - 0.5, sy[i] = GR_CeilD(Y[i]) - 0.5;
    if (sx[0] == sx[1] || sy[0] == sy[1]) return true; // no centre
    NearZero(d, 0, U, 2);
    NearZero(d, 1, V, 2);
    const double du = Gradient(U[1] - U[0], X[1] - X[0], 0), dv = Gradient(V[1] - V[0], Y[1] - Y[0], 1);
    // The centres covered run from c0 to c1 across and down (c0 whole).
    const double cx0 = std::min(sx[0], sx[1]) + 0.5, cx1 = std::max(sx[0], sx[1]) - 0.5;
    const double cy0 = std::min(sy[0], sy[1]) + 0.5, cy1 = std::max(sy[0], sy[1]) - 0.5;
    const double largestU = std::max(std::fabs(U[0]), std::fabs(U[1])), largestV = std::max(std::fabs(V[0]), std::fabs(V[1]));
    double u0, gu, v0, gv;
    if (!SettleLine(d, 0, du, U[0] + du * (cx0 - X[0]), cx0, cx1, largestU, &u0, &gu) ||
        !SettleLine(d, 1, dv, V[0] + dv * (cy0 - Y[0]), cy0, cy1, largestV, &v0, &gv))
        return false;
    float fx[2], fy[2], fu[2], fv[2];
    for (int i = 0; i < 2; ++i) {
        fx[i] = (float)sx[i], fy[i] = (float)sy[i];
        fu[i] = (float)((u0 + gu * (sx[i] - cx0)) * m_inverse[0]);
        fv[i] = (float)((v0 + gv * (sy[i] - cy0)) * m_inverse[1]);
    }
    // The corners' clip depth and colour (in the layout's order, as the depth and colour of a vertex).
    for (int c = 0; c < 4; ++c) {
        float z;
        std::memcpy(&z, &czc[c], 4);
        z = (float)(z * t.z[2] + t.z[3]);
        std::memcpy(&czc[c], &z, 4);
    }
    // Six vertices as given: Mesa's rasteriser finds the two triangles of a rectangle in a
    // draw and fills them its quicker way, which it does not for GL's own quads.
    GR_TexelVertex* out = SettledRoom(6);
    for (int i = 0; i < 6; ++i) {
        const int c = corner[i];
        out[i].x = fx[c & 1], out[i].y = fy[c >> 1];
        std::memcpy(&out[i].z, &czc[c], 8);
        out[i].u = fu[c & 1], out[i].v = fv[c >> 1];
    }
    return true;
}

// Finds the quad's order of corners (UprightQuad) from its first vertex and the ones apart from
// it, with the corners' bits; false when the six vertices are no such quad.
bool GR_TexelPlacer::QuadOrder(const uint64_t* xy, const uint64_t* uv, uint64_t* cxy, uint64_t* cuv)
{
    float x[6], y[6];
    for (int i = 0; i < 6; ++i) std::memcpy(&x[i], &xy[i], 4), std::memcpy(&y[i], (const char*)&xy[i] + 4, 4);
    int* corner = m_quadCorner;
    int far = -1;
    for (int i = 1; i < 6; ++i) {
        const int a = x[i] != x[0], b = y[i] != y[0];
        if (a && b) far = i;
    }
    if (far < 0) return false;
    uint64_t exy[4], euv[4];
    const uint64_t a = xy[0], b = xy[far], ua = uv[0], ub = uv[far];
    exy[0] = a, exy[3] = b, exy[1] = (b & 0xFFFFFFFFu) | (a & ~(uint64_t)0xFFFFFFFFu), exy[2] = (a & 0xFFFFFFFFu) | (b & ~(uint64_t)0xFFFFFFFFu);
    euv[0] = ua, euv[3] = ub, euv[1] = (ub & 0xFFFFFFFFu) | (ua & ~(uint64_t)0xFFFFFFFFu), euv[2] = (ua & 0xFFFFFFFFu) | (ub & ~(uint64_t)0xFFFFFFFFu);
    int found[6];
    for (int i = 0; i < 6; ++i) {
        int c = 0;
        while (c < 4 && exy[c] != xy[i]) ++c;
        if (c == 4 || euv[c] != uv[i]) return false;
        found[i] = c;
    }
    for (int t = 0; t < 6; t += 3)
        if (found[t] == found[t + 1] || found[t] == found[t + 2] || found[t + 1] == found[t + 2]) return false;
    std::memcpy(corner, found, sizeof(found));
    m_quadAt[0] = 0, m_quadAt[1] = far;
    std::memcpy(cxy, exy, sizeof(exy));
    std::memcpy(cuv, euv, sizeof(euv));
    return true;
}

void GR_TexelPlacer::Triangle(const GR_TexelDraw& d, const uint8_t* first, uint32_t stride, const uint32_t* idx, bool half)
{
    const GR_TexelTarget& t = d.target;
    double X[3], Y[3], T[2][3], Z[3];
    uint32_t colour[3];
    for (int c = 0; c < 3; ++c) {
        const uint8_t* p = first + (size_t)idx[c] * stride;
        float f[3], uv[2];
        std::memcpy(f, p, sizeof(f));
        std::memcpy(uv, p + d.uvAt, sizeof(uv));
        colour[c] = 0xFFFFFFFFu;
        if (d.colourAt) std::memcpy(&colour[c], p + d.colourAt, 4);
        X[c] = (f[0] * t.x[0] + f[1] * t.x[1] + f[2] * t.x[2] + t.x[3]) / t.divideX + t.addX;
        Y[c] = (f[0] * t.y[0] + f[1] * t.y[1] + f[2] * t.y[2] + t.y[3]) / t.divideY + t.addY;
        Z[c] = f[0] * t.z[0] + f[1] * t.z[1] + f[2] * t.z[2] + t.z[3];
        T[0][c] = GR_Texels(uv[0], d.size[0]);
        T[1][c] = GR_Texels(uv[1], d.size[1]);
    }
    const double ax = X[1] - X[0], ay = Y[1] - Y[0], bx = X[2] - X[0], by = Y[2] - Y[0];
    const double det = ax * by - bx * ay;
    if (!(std::fabs(det) > 0.0 && std::fabs(det) <= DBL_MAX)) return; // no area: it covers no centre
    const double inv = 1.0 / det;
    GR_TexelPlane plane[2];
    double largest[2];
    for (int a = 0; a < 2; ++a) {
        double* v = T[a];
        NearZero(d, a, v, 3);
        GR_TexelPlane& pl = plane[a];
        pl.dx = ((v[1] - v[0]) * by - (v[2] - v[0]) * ay) * inv;
        pl.dy = ((v[2] - v[0]) * ax - (v[1] - v[0]) * bx) * inv;
        pl.a = v[0] - pl.dx * X[0] - pl.dy * Y[0];
        largest[a] = std::max(std::fabs(v[0]), std::max(std::fabs(v[1]), std::fabs(v[2])));
    }
    // Half of an upright rectangle whose other half is drawn with it: its edges moved half way
    // between the centres, a centre on a left or top edge in, on a right or bottom one out (the
    // other half's alike, so that they meet on the same diagonal).
    const double X0 = X[0], Y0 = Y[0];
    if (half) {
        for (int c = 0; c < 3; ++c) X[c] = GR_CeilD(X[c]) - 0.5, Y[c] = GR_CeilD(Y[c]) - 0.5;
        if ((X[1] - X[0]) * (Y[2] - Y[0]) == (X[2] - X[0]) * (Y[1] - Y[0])) return; // no centre
    }
    // Corners that single precision puts on one line: no area as sent. (A rasteriser may take
    // such a triangle for something else: Mesa's drops every triangle of a draw of nine
    // vertices whose last is level.)
    const float fx[3] = {(float)X[0], (float)X[1], (float)X[2]}, fy[3] = {(float)Y[0], (float)Y[1], (float)Y[2]};
    if (((double)fx[1] - fx[0]) * ((double)fy[2] - fy[0]) == ((double)fx[2] - fx[0]) * ((double)fy[1] - fy[0])) return;
    const double points[3][2] = {{X[0], Y[0]}, {X[1], Y[1]}, {X[2], Y[2]}};
    GR_TexelPlane settledPlane[2];
    bool own = true;
    for (int a = 0; a < 2 && own; ++a) {
        const GR_TexelPlane& pl = plane[a];
        own = Settle(d, a, pl.dx, pl.dy, T[a][0] + pl.dx * (X[0] - X0) + pl.dy * (Y[0] - Y0), points, 3, largest[a],
                     &settledPlane[a]);
    }
    if (!own && !d.program) {
        own = true; // single precision, GR_TEXEL_NUDGE of a pixel right and down
        for (int a = 0; a < 2; ++a) {
            settledPlane[a] = plane[a];
            settledPlane[a].a += (plane[a].dx + plane[a].dy) * (double)GR_TEXEL_NUDGE;
        }
    }
    if (own) {
        GR_TexelVertex* v = SettledRoom(3);
        for (int c = 0; c < 3; ++c) {
            v[c].x = fx[c], v[c].y = fy[c], v[c].z = (float)Z[c];
            v[c].colour = colour[c];
            const double x = fx[c], y = fy[c];
            v[c].u = (float)((settledPlane[0].a + settledPlane[0].dx * x + settledPlane[0].dy * y) * m_inverse[0]);
            v[c].v = (float)((settledPlane[1].a + settledPlane[1].dx * x + settledPlane[1].dy * y) * m_inverse[1]);
        }
        return;
    }
    // The program's planes in the fragment's coordinates (x = fragment x - 0.5, y = fragY[0] *
    // fragment y + fragY[1]), sampled GR_TEXEL_PROGRAM_NUDGE right of and below the centre.
    const double e = GR_TEXEL_PROGRAM_NUDGE;
    double coef[6];
    for (int a = 0; a < 2; ++a) {
        const GR_TexelPlane& pl = plane[a];
        coef[3 * a] = pl.a + pl.dx * (e - 0.5) + pl.dy * (d.fragY[1] + e);
        coef[3 * a + 1] = pl.dx;
        coef[3 * a + 2] = pl.dy * d.fragY[0];
    }
    GR_ExactVertex* v = ExactRoom(3);
    for (int c = 0; c < 3; ++c) {
        v[c].x = fx[c], v[c].y = fy[c], v[c].z = (float)Z[c];
        v[c].colour = colour[c];
        for (int i = 0; i < 6; ++i) Split(coef[i], v[c].coef + 2 * i);
    }
}
