// Where points and lines land on a target's pixels (see Graphics_PixelRule.h).
#include "Files/Graphics_API/Graphics_PixelRule.h"

#include <algorithm>
#include <cmath>

int64_t GR_Pixel_Of(double c) { return (int64_t)std::ceil(c - 0.5 - GR_PIXEL_TIE); }

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

static int64_t Gcd(int64_t a, int64_t b)
{
    while (b) {
        const int64_t t = a % b;
        a = b;
        b = t;
    }
    return a;
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
    int64_t k0 = 0, k1 = n;
    if (step > 0) {
        k0 = std::max(k0, lo - a0);
        k1 = std::min(k1, hi - a0);
    } else {
        k0 = std::max(k0, a0 - hi + 1);
        k1 = std::min(k1, a0 - lo + 1);
    }
    const bool low = TiesLow(xMajor, m, step);
    GR_PixelRun run{xMajor, 0, 0, 0};
    bool open = false;
    for (int64_t k = k0; k < k1; ++k) {
        // The pixel nearest b0 + k * m / n; half-way, the lower (ceil((2km - n) / 2n)) or the
        // higher (floor((2km + n) / 2n)).
        const int64_t minor = b0 + (low ? -FloorDiv(n - 2 * k * m, 2 * n) : FloorDiv(2 * k * m + n, 2 * n));
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
