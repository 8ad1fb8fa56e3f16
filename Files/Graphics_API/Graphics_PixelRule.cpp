// Where points and lines land on a target's pixels (see Graphics_PixelRule.h).
#include "Files/Graphics_API/Graphics_PixelRule.h"

#include <algorithm>
#include <cmath>

// a / b rounded down (b > 0).
static int64_t FloorDiv(int64_t a, int64_t b)
{
    const int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

// Whether a line whose pixel on the shorter axis goes m over its n steps takes, half-way
// between two pixels, the lower one: always for a steep line (the band's left edge), for a
// shallow one when it rises to the right (its top edge is then a left edge). step: the sign of
// its way along the longer axis.
static bool TiesLow(bool xMajor, int64_t m, int64_t step) { return !xMajor || m * step < 0; }

// The greatest common divisor of a >= 0 and b > 0, by halving (no division).
static int64_t Gcd(int64_t a, int64_t b)
{
    if (a == 0) return b;
    const int shift = __builtin_ctzll(uint64_t(a | b));
    a >>= __builtin_ctzll(uint64_t(a));
    do {
        b >>= __builtin_ctzll(uint64_t(b));
        if (a > b) std::swap(a, b);
        b -= a;
    } while (b != 0);
    return a << shift;
}

// Where step k of a line whose place across goes m over its n steps lies across, from its
// first pixel: the pixel nearest k * m / n; half-way, the lower (ceil((2km - n) / 2n)) or the
// higher (floor((2km + n) / 2n)).
static int64_t Across(int64_t k, int64_t m, int64_t n, bool low)
{
    return low ? -FloorDiv(n - 2 * k * m, 2 * n) : FloorDiv(2 * k * m + n, 2 * n);
}

bool GR_Pixel_ClipFar(double ax, double ay, double bx, double by, double* t0, double* t1)
{
    const double far = GR_PIXEL_FAR * 0.5;
    const double d[2] = {bx - ax, by - ay}, p[2] = {ax, ay};
    *t0 = 0.0, *t1 = 1.0;
    for (int k = 0; k < 2; ++k) {
        if (!std::isfinite(p[k]) || !std::isfinite(d[k])) return false;
        if (d[k] == 0.0) {
            if (std::fabs(p[k]) > far) return false;
            continue;
        }
        double lo = (-far - p[k]) / d[k], hi = (far - p[k]) / d[k];
        if (lo > hi) std::swap(lo, hi);
        *t0 = std::max(*t0, lo);
        *t1 = std::min(*t1, hi);
    }
    return *t0 <= *t1;
}

bool GR_Pixel_LineBand(int64_t x0, int64_t y0, int64_t x1, int64_t y1, double corners[8], double along[4])
{
    const int64_t dx = x1 - x0, dy = y1 - y0;
    const bool xMajor = std::llabs(dx) >= std::llabs(dy);
    const int64_t n = xMajor ? std::llabs(dx) : std::llabs(dy);
    if (n == 0) return false;
    const int64_t m = xMajor ? dy : dx;
    const double a0 = double(xMajor ? x0 : y0), b0 = double(xMajor ? y0 : x0);
    const double a1 = double(xMajor ? x1 : y1), b1 = double(xMajor ? y1 : x1);
    // The band's ends lie across the first and last pixels' centres: the end crossing the
    // first pixel's centre then takes it in and the other leaves the last out, as the fill
    // convention takes a left or top edge and leaves a right or bottom one. Drawn towards the
    // left or up, those ends would do the opposite: both move past the centres by the first
    // step along the line whose place across it is a whole number of 1/256 of a pixel
    // ((n / g) / 256 of a pixel, g the greatest common divisor of the extents), which must lie
    // within the pixel.
    double past = 0.0, across = 0.0;
    if ((xMajor ? dx : dy) < 0) {
        const int64_t g = Gcd(std::llabs(m), n), q = n / g;
        if (q > 256) return false;
        past = double(q) / 256.0;
        across = -double(m / g) / 256.0;
    }
    const double ends[2][2] = {{a0 + past, b0 + across}, {a1 + past, b1 + across}};
    const double sides[4][2] = {{0, -0.5}, {1, -0.5}, {1, 0.5}, {0, 0.5}}; // (end, across) of each corner
    for (int k = 0; k < 4; ++k) {
        const int end = (int)sides[k][0];
        const double major = ends[end][0], minor = ends[end][1] + sides[k][1];
        corners[2 * k] = xMajor ? major : minor;
        corners[2 * k + 1] = xMajor ? minor : major;
        along[k] = (major - a0) / (a1 - a0);
    }
    return true;
}

// The steps [*k0, *k1) of n along an axis, step k at a0 + step * k, that lie in [lo, hi).
static void StepsInside(int64_t a0, int64_t step, int64_t n, int64_t lo, int64_t hi, int64_t* k0, int64_t* k1)
{
    *k0 = step > 0 ? std::max<int64_t>(0, lo - a0) : std::max<int64_t>(0, a0 - hi + 1);
    *k1 = step > 0 ? std::min(n, hi - a0) : std::min(n, a0 - lo + 1);
}

void GR_Pixel_LineRuns(int64_t x0, int64_t y0, int64_t x1, int64_t y1, int64_t left, int64_t top, int64_t right,
                       int64_t bottom, void (*emit)(const GR_PixelRun& run, void* ctx), void* ctx)
{
    const int64_t dx = x1 - x0, dy = y1 - y0;
    const bool xMajor = std::llabs(dx) >= std::llabs(dy);
    const int64_t n = xMajor ? std::llabs(dx) : std::llabs(dy);
    if (n == 0) return;
    const int64_t m = xMajor ? dy : dx; // the change along the shorter axis over the n steps
    const int64_t a0 = xMajor ? x0 : y0, b0 = xMajor ? y0 : x0;
    const int64_t step = (xMajor ? dx : dy) > 0 ? 1 : -1;
    const int64_t lo = xMajor ? left : top, hi = xMajor ? right : bottom;
    const int64_t minorLo = xMajor ? top : left, minorHi = xMajor ? bottom : right;
    // Step k lights a0 + step * k along the longer axis: only the steps inside the box.
    int64_t k0, k1;
    StepsInside(a0, step, n, lo, hi, &k0, &k1);
    const bool low = TiesLow(xMajor, m, step);
    GR_PixelRun run{xMajor, 0, 0, 0};
    bool open = false;
    for (int64_t k = k0; k < k1; ++k) {
        const int64_t minor = b0 + Across(k, m, n, low);
        const int64_t at = a0 + step * k;
        if (open && minor == run.minor) {
            run.last = at;
            continue;
        }
        if (open) emit(run, ctx);
        open = minor >= minorLo && minor < minorHi;
        run.first = run.last = at;
        run.minor = minor;
    }
    if (open) emit(run, ctx);
}

bool GR_Pixel_LineSteps(int64_t x0, int64_t y0, int64_t x1, int64_t y1, int64_t left, int64_t top, int64_t right,
                        int64_t bottom, int64_t* first, int64_t* last)
{
    const int64_t dx = x1 - x0, dy = y1 - y0;
    const bool xMajor = std::llabs(dx) >= std::llabs(dy);
    const int64_t n = xMajor ? std::llabs(dx) : std::llabs(dy);
    if (n == 0) return false;
    const int64_t m = xMajor ? dy : dx;
    const int64_t a0 = xMajor ? x0 : y0, b0 = xMajor ? y0 : x0;
    const int64_t step = (xMajor ? dx : dy) > 0 ? 1 : -1;
    const int64_t lo = xMajor ? left : top, hi = xMajor ? right : bottom;
    const int64_t acrossLo = (xMajor ? top : left) - b0, acrossHi = (xMajor ? bottom : right) - b0;
    if (x0 >= left && x0 < right && y0 >= top && y0 < bottom && x1 >= left && x1 < right && y1 >= top && y1 < bottom) {
        *first = 0; // every pixel between lies between the two
        *last = n - 1;
        return true;
    }
    int64_t k0, k1; // the steps [k0, k1) inside the box along the longer axis
    StepsInside(a0, step, n, lo, hi, &k0, &k1);
    if (k0 >= k1) return false;
    const bool low = TiesLow(xMajor, m, step);
    auto in = [&](int64_t k) {
        const int64_t a = Across(k, m, n, low);
        return a >= acrossLo && a < acrossHi;
    };
    // The place across moves one way only: where both ends are inside, every step between is.
    if (!in(k0) || !in(k1 - 1)) {
        // The first k in [from, to) for which the (monotonic) test holds; to when none does.
        auto firstWhere = [](int64_t from, int64_t to, auto test) {
            while (from < to) {
                const int64_t mid = from + (to - from) / 2;
                if (test(mid)) to = mid;
                else from = mid + 1;
            }
            return from;
        };
        if (m >= 0) {
            k0 = firstWhere(k0, k1, [&](int64_t k) { return Across(k, m, n, low) >= acrossLo; });
            k1 = firstWhere(k0, k1, [&](int64_t k) { return Across(k, m, n, low) >= acrossHi; });
        } else {
            k0 = firstWhere(k0, k1, [&](int64_t k) { return Across(k, m, n, low) < acrossHi; });
            k1 = firstWhere(k0, k1, [&](int64_t k) { return Across(k, m, n, low) < acrossLo; });
        }
        if (k0 >= k1) return false;
    }
    *first = k0;
    *last = k1 - 1;
    return true;
}

// Where a coordinate in 1/256 of a pixel lies in its pixel: -128 (on the edge before its
// centre) .. 127.
static int64_t InPixel(int64_t v) { return ((v + 128) & 255) - 128; }

bool GR_Pixel_LineSpan(int64_t x0, int64_t y0, int64_t x1, int64_t y1, int64_t lo, int64_t hi, const int64_t box[4],
                       GR_PixelSpan* out)
{
    const int64_t dx = x1 - x0, dy = y1 - y0;
    const bool xMajor = std::llabs(dx) >= std::llabs(dy);
    const int64_t n = xMajor ? std::llabs(dx) : std::llabs(dy);
    if (n == 0 || lo > hi) return false;
    // The straight line from its end further back along the longer axis: there a0 (along), b0
    // (across); m across over the n steps. Points of it on the grid: P(j) = (256 a0 + j q,
    // 256 b0 + j r) in 1/256 of a pixel, q = n / g and r = m / g with g the greatest common
    // divisor of n and m.
    const bool forward = (xMajor ? dx : dy) > 0;
    const int64_t a0 = forward ? (xMajor ? x0 : y0) : (xMajor ? x1 : y1);
    const int64_t b0 = forward ? (xMajor ? y0 : x0) : (xMajor ? y1 : x1);
    const int64_t m = forward ? (xMajor ? dy : dx) : -(xMajor ? dy : dx);
    const int64_t g = Gcd(std::llabs(m), n), q = n / g, r = m / g;
    // They lie on pixel centres only where q is a multiple of 256: no line of such ends is
    // kept by the rasteriser.
    if ((q & 255) == 0) return false;
    const int64_t alo = xMajor ? box[0] : box[1], ahi = xMajor ? box[2] : box[3];
    const int64_t blo = xMajor ? box[1] : box[0], bhi = xMajor ? box[3] : box[2];
    auto along = [&](int64_t j) { return 256 * a0 + j * q; };
    auto across = [&](int64_t j) { return 256 * b0 + j * r; };
    auto inBox = [&](int64_t j) {
        const int64_t a = along(j), b = across(j);
        return a > alo && a < ahi && b > blo && b < bhi;
    };
    // The roles a grid point P(j) can take, by where it lies in its pixel: f along the line
    // from the centre, and inside or outside the pixel's diamond (|f| + |across| < 1/2):
    // - before lo: it starts a line drawn forward (up the longer axis) where it lies outside the
    //   diamond in the later half of its pixel, or inside it in the earlier half (a line longer
    //   across than down: the centre too); it ends a line drawn back where it lies in the later
    //   half;
    // - after hi: it ends a line drawn forward where it lies in the earlier half; it starts a
    //   line drawn back where it lies outside the diamond in the earlier half, or inside it in
    //   the later half (a line longer down than across: the centre too).
    auto inside = [&](int64_t j, int64_t f) { return std::llabs(f) + std::llabs(InPixel(across(j))) < 128; };
    auto startsForward = [&](int64_t j) {
        const int64_t f = InPixel(along(j));
        return inside(j, f) ? (xMajor ? f <= 0 : f < 0) : f > 0;
    };
    auto startsBack = [&](int64_t j) {
        const int64_t f = InPixel(along(j));
        return inside(j, f) ? (xMajor ? f > 0 : f >= 0) : f < 0;
    };
    auto endsForward = [&](int64_t j) { return InPixel(along(j)) < 0; };
    auto endsBack = [&](int64_t j) { return InPixel(along(j)) > 0; };
    // The nearest point before lo (after hi) taking a role, among the first few outward. The
    // points lie q/256 of a pixel apart. Where that is half a pixel or less the halves of the
    // pixels outward are visited, in each the point likeliest to start a line (inside the
    // diamond or outside, as the half asks); further apart, the points one by one: their places
    // in their pixels move by q mod 256 from one to the next, slowly where that is near 0 or
    // 128, so that it can take many.
    const int tries = q <= 128 ? 12 : 256;
    auto before = [&](auto role, int64_t* found) {
        int64_t j = FloorDiv(256 * (lo - a0) - 1, q);
        for (int t = 0; t < tries; ++t) {
            if (q <= 128) {
                // The earlier half of lo (nearest its centre), then lo - 1's later half
                // (furthest from its centre) and earlier half, ...
                const int64_t column = lo - (t + 1) / 2;
                j = FloorDiv((t % 2 == 0 ? 256 * column - (t == 0 ? 1 : 0) : 256 * column + 127) - 256 * a0, q);
            }
            if (!inBox(j)) return false;
            if (role(j)) {
                *found = j;
                return true;
            }
            --j;
        }
        return false;
    };
    auto after = [&](auto role, int64_t* found) {
        int64_t j = FloorDiv(256 * (hi - a0), q) + 1;
        for (int t = 0; t < tries; ++t) {
            if (q <= 128) {
                // The later half of hi (nearest its centre), then hi + 1's earlier half
                // (furthest from its centre) and later half, ...
                const int64_t column = hi + (t + 1) / 2;
                j = -FloorDiv(256 * a0 - (t % 2 == 0 ? 256 * column + (t == 0 ? 1 : 0) : 256 * column - 128), q);
            }
            if (!inBox(j)) return false;
            if (role(j)) {
                *found = j;
                return true;
            }
            ++j;
        }
        return false;
    };
    // Forward from a start before lo to an end after hi, else back from a start after hi to an
    // end before lo.
    int64_t from = 0, to = 0;
    const bool ok = (before(startsForward, &from) && after(endsForward, &to)) || (after(startsBack, &from) && before(endsBack, &to));
    if (!ok) return false;
    out->from[0] = xMajor ? along(from) : across(from);
    out->from[1] = xMajor ? across(from) : along(from);
    out->to[0] = xMajor ? along(to) : across(to);
    out->to[1] = xMajor ? across(to) : along(to);
    return true;
}
