// The arithmetic the OpenGL device draws points and lines by (Graphics_PixelRule.h), against
// the model of the device the rule was written for (support/PixelModel.h): the pixel a
// coordinate falls in; a line's runs of pixels and the steps of it inside a box; its band,
// whose corners, filled by the fill convention, must light exactly the line's pixels; and the
// rasteriser's own line along it, set up as Mesa's software rasteriser sets up a line (its
// code transcribed below), which must keep its ends and light the line's pixels between them.
// Random lines of every length and direction; ZB_PIXEL_SEED changes them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <random>
#include <set>
#include <utility>

#include "Files/Graphics_API/Graphics_PixelRule.h"
#include "support/PixelModel.h"

namespace {

using Pixels = std::set<std::pair<int64_t, int64_t>>;

// A target of 4096 x 4096 pixels drawn 1:1 with nothing moved: room positions are window
// coordinates.
const pixelmodel::Mapping kPlain{0, 0, 4096, 4096, 0, 0, 4096, 4096, 0.0f, 0.0f};

// A canvas of the pixels around a line.
pixelmodel::Canvas Around(int64_t x0, int64_t y0, int64_t x1, int64_t y1)
{
    const int64_t l = std::min(x0, x1) - 2, t = std::min(y0, y1) - 2;
    return pixelmodel::Canvas((int32_t)l, (int32_t)t, (int32_t)(std::max(x0, x1) + 3 - l), (int32_t)(std::max(y0, y1) + 3 - t), 0);
}

Pixels Lit(const pixelmodel::Canvas& c)
{
    Pixels out;
    for (int32_t y = c.top; y < c.top + c.height; ++y)
        for (int32_t x = c.left; x < c.left + c.width; ++x)
            if (c.At(x, y) != 1u) out.emplace(x, y);
    return out;
}

void AddRun(const GR_PixelRun& run, void* ctx)
{
    Pixels& out = *static_cast<Pixels*>(ctx);
    const int64_t step = run.last >= run.first ? 1 : -1;
    for (int64_t k = run.first;; k += step) {
        out.emplace(run.xMajor ? k : run.minor, run.xMajor ? run.minor : k);
        if (k == run.last) break;
    }
}

// A one-pixel line as Mesa's llvmpipe sets it up (lp_setup_line.c, try_setup_line, lines not
// smoothed): from its ends v1, v2 (GL's window coordinates, Direct3D's plus half a pixel) the
// four corners of its band in 1/256 of a pixel of Direct3D's coordinates, after each end was
// moved to a pixel edge where its test of the diamonds the line leaves asked for it.
struct RasterLine {
    int64_t x[4], y[4];
    bool moved;
};

bool Sign(float x) { return x >= 0; }
float Frac(float f) { return f - std::floor(f); }
int64_t Snap(float a) { return (int64_t)std::lround(a * 256.0f); }

RasterLine SetUpLine(float v1x, float v1y, float v2x, float v2y)
{
    RasterLine out{};
    float dx = v1x - v2x, dy = v1y - v2y;
    float x1diff = v1x - std::floor(v1x) - 0.5f, y1diff = v1y - std::floor(v1y) - 0.5f;
    float x2diff = v2x - std::floor(v2x) - 0.5f, y2diff = v2y - std::floor(v2y) - 0.5f;
    float xOff = 0, yOff = 0, xOffEnd = 0, yOffEnd = 0;
    bool drawStart, drawEnd, willStart, willEnd;
    if (std::fabs(dx) >= std::fabs(dy)) {
        const float dydx = dy / dx;
        if (y2diff == -0.5f && dy < 0) y2diff = 0.5f;
        if (std::fabs(x1diff) + std::fabs(y1diff) < 0.5f) drawStart = true;
        else if (Sign(x1diff) == Sign(-dx)) drawStart = false;
        else if (Sign(-y1diff) != Sign(dy)) drawStart = true;
        else {
            const float yi = Frac(v1y) + x1diff * dydx;
            drawStart = yi < 1.0f && yi > 0.0f;
        }
        if (std::fabs(x2diff) + std::fabs(y2diff) < 0.5f) drawEnd = false;
        else if (Sign(x2diff) != Sign(-dx)) drawEnd = false;
        else if (Sign(-y2diff) == Sign(dy)) drawEnd = true;
        else {
            const float yi = Frac(v2y) + x2diff * dydx;
            drawEnd = yi < 1.0f && yi > 0.0f;
        }
        willStart = Sign(-x1diff) != Sign(dx);
        willEnd = Sign(x2diff) == Sign(-dx) || x2diff == 0;
        if (dx < 0) {
            std::swap(v1x, v2x), std::swap(v1y, v2y);
            if (willStart != drawStart) xOffEnd = -x1diff - 0.5f, yOffEnd = xOffEnd * dydx;
            if (willEnd != drawEnd) xOff = -x2diff - 0.5f, yOff = xOff * dydx;
        } else {
            if (willStart != drawStart) xOff = -x1diff + 0.5f, yOff = xOff * dydx;
            if (willEnd != drawEnd) xOffEnd = -x2diff + 0.5f, yOffEnd = xOffEnd * dydx;
        }
        out.x[0] = out.x[3] = Snap(v1x + xOff - 0.5f);
        out.x[1] = out.x[2] = Snap(v2x + xOffEnd - 0.5f);
        out.y[0] = Snap(v1y + yOff - 0.5f) - 128, out.y[3] = out.y[0] + 256;
        out.y[1] = Snap(v2y + yOffEnd - 0.5f) - 128, out.y[2] = out.y[1] + 256;
    } else {
        const float dxdy = dx / dy;
        if (x2diff == -0.5f && dx < 0) x2diff = 0.5f;
        if (std::fabs(x1diff) + std::fabs(y1diff) < 0.5f) drawStart = true;
        else if (Sign(-y1diff) == Sign(dy)) drawStart = false;
        else if (Sign(x1diff) != Sign(-dx)) drawStart = true;
        else {
            const float xi = Frac(v1x) + y1diff * dxdy;
            drawStart = xi < 1.0f && xi > 0.0f;
        }
        if (std::fabs(x2diff) + std::fabs(y2diff) < 0.5f) drawEnd = false;
        else if (Sign(-y2diff) != Sign(dy)) drawEnd = false;
        else if (Sign(x2diff) == Sign(-dx)) drawEnd = true;
        else {
            const float xi = Frac(v2x) + y2diff * dxdy;
            drawEnd = xi < 1.0f && xi >= 0.0f;
        }
        willStart = Sign(y1diff) == Sign(dy);
        willEnd = Sign(-y2diff) == Sign(dy) || y2diff == 0;
        if (dy > 0) {
            std::swap(v1x, v2x), std::swap(v1y, v2y);
            if (willStart != drawStart) yOffEnd = -y1diff + 0.5f, xOffEnd = yOffEnd * dxdy;
            if (willEnd != drawEnd) yOff = -y2diff + 0.5f, xOff = yOff * dxdy;
        } else {
            if (willStart != drawStart) yOff = -y1diff - 0.5f, xOff = yOff * dxdy;
            if (willEnd != drawEnd) yOffEnd = -y2diff - 0.5f, xOffEnd = yOffEnd * dxdy;
        }
        out.x[0] = Snap(v1x + xOff - 0.5f) - 128, out.x[3] = out.x[0] + 256;
        out.x[1] = Snap(v2x + xOffEnd - 0.5f) - 128, out.x[2] = out.x[1] + 256;
        out.y[0] = out.y[3] = Snap(v1y + yOff - 0.5f);
        out.y[1] = out.y[2] = Snap(v2y + yOffEnd - 0.5f);
    }
    out.moved = willStart != drawStart || willEnd != drawEnd;
    return out;
}

// Whether the set-up line lights pixel (px, py): its centre inside all four edges, one on an
// edge going to the line where the edge is a left (or top) edge.
bool Lights(const RasterLine& l, int64_t px, int64_t py)
{
    for (int i = 0; i < 4; ++i) {
        const int j = (i + 1) % 4;
        const int64_t dcdx = l.y[i] - l.y[j], dcdy = l.x[i] - l.x[j];
        int64_t c = dcdx * (l.x[i] - 256 * px) - dcdy * (l.y[i] - 256 * py);
        if (dcdx < 0 || (dcdx == 0 && dcdy > 0)) ++c;
        if (c <= 0) return false;
    }
    return true;
}

uint32_t Seed()
{
    const char* s = std::getenv("ZB_PIXEL_SEED");
    return s && *s ? (uint32_t)std::strtoul(s, nullptr, 10) : 56u;
}

} // namespace

TEST(PixelRule, ACoordinateFallsInThePixelWhoseSquareHoldsItTiesToTheLeft)
{
    EXPECT_EQ(GR_Pixel_Of(3.0), 3);
    EXPECT_EQ(GR_Pixel_Of(3.49), 3);
    EXPECT_EQ(GR_Pixel_Of(3.5), 3); // on the edge: the left pixel
    EXPECT_EQ(GR_Pixel_Of(3.5 + 1.0 / 4096), 3); // single-precision noise past the edge
    EXPECT_EQ(GR_Pixel_Of(3.5 - 1.0 / 4096), 3);
    EXPECT_EQ(GR_Pixel_Of(3.51), 4);
    EXPECT_EQ(GR_Pixel_Of(-0.5), -1);
    EXPECT_EQ(GR_Pixel_Of(-0.49), 0);
}

// Every line's runs are the model's line, and so is its band filled by the convention (where
// the band can be made); long lines drawn leftward or up with few common factors have none.
TEST(PixelRule, RunsAndBandsLightExactlyTheLinesPixels)
{
    const uint32_t seed = Seed();
    std::mt19937 random(seed);
    int bands = 0, runsOnly = 0;
    for (int i = 0; i < 2000; ++i) {
        // Along the longer axis up to 1500 pixels (long lines shallow or steep, so that their
        // pictures stay small), short ones any way.
        const int64_t reach = i % 3 == 0 ? 1500 : i % 3 == 1 ? 40 : 6, across = i % 3 == 0 ? 60 : reach;
        auto pick = [&](int64_t r) { return int64_t(random() % (2 * r + 1)) - r; };
        const int64_t x0 = 2048 + pick(6), y0 = 2048 + pick(6);
        int64_t dx = pick(reach), dy = pick(across);
        if (random() % 2) std::swap(dx, dy);
        if (i % 7 == 0) dy = 0;       // level
        if (i % 11 == 0) dx = 0;      // upright
        if (i % 13 == 0) dy = dx / 2; // half-way between two pixels at every other step
        const int64_t x1 = x0 + dx, y1 = y0 + dy;
        pixelmodel::Canvas model = Around(x0, y0, x1, y1);
        pixelmodel::Line(model, kPlain, (float)x0, (float)y0, (float)x1, (float)y1, 1);
        const Pixels want = Lit(model);
        Pixels runs;
        GR_Pixel_LineRuns(x0, y0, x1, y1, 0, 0, 4096, 4096, AddRun, &runs);
        EXPECT_EQ(runs, want) << "seed " << seed << ": (" << x0 << ", " << y0 << ") to (" << x1 << ", " << y1 << ")";
        double corners[8], along[4];
        if (!GR_Pixel_LineBand(x0, y0, x1, y1, corners, along)) {
            EXPECT_TRUE(want.empty() || (x1 < x0 && std::llabs(x1 - x0) > 256) || (y1 < y0 && std::llabs(y1 - y0) > 256));
            runsOnly += !want.empty();
            continue;
        }
        ++bands;
        pixelmodel::Canvas band = Around(x0, y0, x1, y1);
        const float a[6] = {(float)corners[0], (float)corners[1], (float)corners[2], (float)corners[3], (float)corners[4], (float)corners[5]};
        const float b[6] = {(float)corners[0], (float)corners[1], (float)corners[4], (float)corners[5], (float)corners[6], (float)corners[7]};
        pixelmodel::Triangle(band, kPlain, a, 1);
        pixelmodel::Triangle(band, kPlain, b, 1);
        EXPECT_EQ(Lit(band), want) << "seed " << seed << ": band of (" << x0 << ", " << y0 << ") to (" << x1 << ", " << y1 << ")";
        for (int k = 0; k < 4; ++k) EXPECT_TRUE(along[k] > -1.0 / 16 && along[k] < 1 + 1.0 / 16) << along[k];
    }
    EXPECT_GT(bands, 1300);
    EXPECT_GT(runsOnly, 60);
}

// The steps of a line inside a box are the line's pixels there; the rasteriser's own line along
// it keeps its ends, which lie inside the box given, and lights exactly the line's pixels
// between the steps kept, whatever its length, direction and common factors.
TEST(PixelRule, TheRasterisersLineAlongALineLightsItsPixels)
{
    const uint32_t seed = Seed();
    std::mt19937 random(seed);
    int spans = 0, cut = 0, lines = 0;
    for (int i = 0; i < 3000; ++i) {
        const int64_t reach = i % 3 == 0 ? 1500 : i % 3 == 1 ? 300 : 12;
        auto pick = [&](int64_t r) { return int64_t(random() % (2 * r + 1)) - r; };
        const int64_t x0 = 2048 + pick(6), y0 = 2048 + pick(6);
        int64_t dx = pick(reach), dy = pick(i % 3 == 0 ? 200 : reach);
        if (random() % 2) std::swap(dx, dy);
        if (i % 7 == 0) dy = 0;
        if (i % 11 == 0) dx = 0;
        if (i % 13 == 0) dy = dx / 2;
        if (i % 17 == 0) dy = dx;     // diagonal
        if (i % 19 == 0) dx = 256, dy = 1 + 2 * int64_t(random() % 100); // grid points on pixel centres only
        const int64_t x1 = x0 + dx, y1 = y0 + dy;
        pixelmodel::Canvas model = Around(x0, y0, x1, y1);
        pixelmodel::Line(model, kPlain, (float)x0, (float)y0, (float)x1, (float)y1, 1);
        const Pixels all = Lit(model);
        if (all.empty()) continue;
        // Half the lines cut by a box through them.
        int64_t left = 0, top = 0, right = 4096, bottom = 4096;
        if (i % 2) {
            left = std::min(x0, x1) + pick(40), right = std::max(x0, x1) + pick(40) + 1;
            top = std::min(y0, y1) + pick(40), bottom = std::max(y0, y1) + pick(40) + 1;
        }
        Pixels inBox;
        for (const auto& p : all)
            if (p.first >= left && p.first < right && p.second >= top && p.second < bottom) inBox.insert(p);
        int64_t k0 = 0, k1 = 0;
        const bool any = GR_Pixel_LineSteps(x0, y0, x1, y1, left, top, right, bottom, &k0, &k1);
        const std::string line = "seed " + std::to_string(seed) + ": (" + std::to_string(x0) + ", " + std::to_string(y0) +
                                 ") to (" + std::to_string(x1) + ", " + std::to_string(y1) + ")";
        ASSERT_EQ(any, !inBox.empty()) << line;
        if (!any) continue;
        ++lines;
        const bool xMajor = std::llabs(dx) >= std::llabs(dy);
        const int64_t step = (xMajor ? dx : dy) > 0 ? 1 : -1, a0 = xMajor ? x0 : y0;
        const int64_t lo = std::min(a0 + step * k0, a0 + step * k1), hi = std::max(a0 + step * k0, a0 + step * k1);
        Pixels kept;
        for (const auto& p : all)
            if ((xMajor ? p.first : p.second) >= lo && (xMajor ? p.first : p.second) <= hi) kept.insert(p);
        EXPECT_EQ(kept, inBox) << line << ": steps " << k0 << ".." << k1;
        // Ends within 16 pixels of the box kept, or of the whole canvas.
        const int64_t margin = i % 4 < 2 ? 16 : 4096;
        const int64_t box[4] = {256 * (left - margin), 256 * (top - margin), 256 * (right + margin), 256 * (bottom + margin)};
        GR_PixelSpan span;
        // Every line has such ends but those whose grid points along it all lie on pixel
        // centres and edges (a multiple of 128 steps between two of them), given room.
        const int64_t n = std::max(std::llabs(dx), std::llabs(dy)), q = n / std::gcd(n, std::llabs(xMajor ? dy : dx));
        if (!GR_Pixel_LineSpan(x0, y0, x1, y1, lo, hi, box, &span)) {
            EXPECT_TRUE(q % 128 == 0 || margin < 4096) << line;
            continue;
        }
        ++spans;
        cut += kept.size() < all.size();
        for (int k = 0; k < 2; ++k) {
            EXPECT_TRUE(span.from[k] > box[k] && span.from[k] < box[k + 2] && span.to[k] > box[k] && span.to[k] < box[k + 2]) << line;
        }
        const RasterLine l = SetUpLine(float(span.from[0]) / 256 + 0.5f, float(span.from[1]) / 256 + 0.5f,
                                       float(span.to[0]) / 256 + 0.5f, float(span.to[1]) / 256 + 0.5f);
        EXPECT_FALSE(l.moved) << line;
        Pixels lit;
        const int64_t across0 = std::min(xMajor ? y0 : x0, xMajor ? y1 : x1) - 2;
        const int64_t across1 = std::max(xMajor ? y0 : x0, xMajor ? y1 : x1) + 2;
        for (int64_t a = lo; a <= hi; ++a)
            for (int64_t b = across0; b <= across1; ++b)
                if (Lights(l, xMajor ? a : b, xMajor ? b : a)) lit.emplace(xMajor ? a : b, xMajor ? b : a);
        EXPECT_EQ(lit, kept) << line << ": from (" << span.from[0] / 256.0 << ", " << span.from[1] / 256.0 << ") to ("
                             << span.to[0] / 256.0 << ", " << span.to[1] / 256.0 << ")";
    }
    EXPECT_GT(spans, lines * 9 / 10);
    EXPECT_GT(cut, 500);
}

// Runs are only those inside the box, found without stepping through the rest of the line.
TEST(PixelRule, RunsStayInsideTheBox)
{
    Pixels runs;
    GR_Pixel_LineRuns(-100000000, 5, 100000000, 7, 10, 0, 20, 100, AddRun, &runs);
    ASSERT_EQ(runs.size(), 10u);
    for (const auto& p : runs) EXPECT_TRUE(p.first >= 10 && p.first < 20 && p.second == 6) << p.first << ", " << p.second;
}
