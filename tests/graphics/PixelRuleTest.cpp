// The arithmetic the OpenGL device draws points and lines by (Graphics_PixelRule.h), against
// the model of the device the rule was written for (support/PixelModel.h): the pixel a
// coordinate falls in; a line's runs of pixels; and its band, whose corners, filled by the
// fill convention, must light exactly the line's pixels. Random lines of every length and
// direction; ZB_PIXEL_SEED changes them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
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

// Runs are only those inside the box, found without stepping through the rest of the line.
TEST(PixelRule, RunsStayInsideTheBox)
{
    Pixels runs;
    GR_Pixel_LineRuns(-100000000, 5, 100000000, 7, 10, 0, 20, 100, AddRun, &runs);
    ASSERT_EQ(runs.size(), 10u);
    for (const auto& p : runs) EXPECT_TRUE(p.first >= 10 && p.first < 20 && p.second == 6) << p.first << ", " << p.second;
}
