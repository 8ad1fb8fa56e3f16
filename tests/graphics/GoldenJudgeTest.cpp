// How picture comparisons decide (support/Golden.h), on the error dialog's golden picture
// altered as machines legitimately differ (an edge a pixel lower, a border row one rasteriser
// draws and another leaves out) and as real faults do (a wrong button, a wrong line of text,
// a wrong colour, a missing or misplaced dialog); a failure names its region and keeps the
// actual and difference pictures.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Files/Graphics_API/Graphics_PNG.h"
#include "Platform/MemoryManager.h"
#include "support/Golden.h"
#include "support/ScratchFolder.h"

namespace {

constexpr int kTolerance = 8;

class GoldenJudge : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string bytes = Scratch_ReadFile(Golden_DataPath("windowed_golden/error.png"));
        uint32_t* block = GR_PNG_DecodeToBlock(bytes.data(), uint32_t(bytes.size()), &w, &h);
        ASSERT_NE(block, nullptr);
        golden.assign(block, block + int64_t(w) * h);
        MEM_FREE(block);
        px = golden;
    }
    uint32_t& At(int32_t x, int32_t y) { return px[size_t(y) * size_t(w) + size_t(x)]; }
    // Copies the w x h block at (fromX, fromY) of the golden picture to (toX, toY).
    void Copy(int32_t fromX, int32_t fromY, int32_t bw, int32_t bh, int32_t toX, int32_t toY)
    {
        for (int32_t y = 0; y < bh; ++y)
            for (int32_t x = 0; x < bw; ++x) At(toX + x, toY + y) = golden[size_t(fromY + y) * size_t(w) + size_t(fromX + x)];
    }
    void Fill(int32_t x0, int32_t y0, int32_t bw, int32_t bh, uint32_t colour)
    {
        for (int32_t y = y0; y < y0 + bh; ++y)
            for (int32_t x = x0; x < x0 + bw; ++x) At(x, y) = colour;
    }
    GoldenVerdict Judge() { return Golden_Judge(px.data(), golden.data(), w, h, 3, kTolerance); }
    // Whether a failing region lies within the rectangle.
    static bool FailsWithin(const GoldenVerdict& v, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
    {
        for (const GoldenRegion& r : v.regions)
            if (!r.sliver && r.x >= x0 && r.y >= y0 && r.x + r.w <= x1 && r.y + r.h <= y1) return true;
        return false;
    }

    int32_t w = 0, h = 0;
    std::vector<uint32_t> golden, px;
};

// The picture: an 800 x 600 window, the dialog from (100, 41) to (698, 558), its log text
// from y 95, the Abort button at (111, 525) - (185, 547), Ignore at (198, 525) - (272, 547),
// each with a one-pixel border.

TEST_F(GoldenJudge, WhatMachinesLegitimatelyVaryPasses)
{
    EXPECT_TRUE(Judge().same) << "the picture itself";
    for (size_t i = 0; i < px.size(); i += 7) px[i] += (i & 8) ? 0x050505 : 0; // rounding within the tolerance
    EXPECT_TRUE(Judge().same) << Judge().Describe();

    // The buttons' bottom border left out by one rasteriser (the golden one drew it), and
    // drawn a row lower by another.
    px = golden;
    Fill(112, 547, 73, 1, 0xFF22446Cu);
    Fill(199, 547, 73, 1, 0xFF22446Cu);
    GoldenVerdict v = Judge();
    EXPECT_TRUE(v.same) << v.Describe();
    EXPECT_GT(v.sliverPixels, 0);
    Fill(111, 548, 75, 1, 0xFF8188A5u);
    Fill(198, 548, 75, 1, 0xFF8188A5u);
    EXPECT_TRUE(Judge().same) << Judge().Describe();

    // The Abort button one pixel lower, the whole dialog one pixel to the right.
    px = golden;
    Copy(108, 520, 80, 30, 108, 521);
    EXPECT_TRUE(Judge().same) << Judge().Describe();
    px = golden;
    Copy(99, 40, 601, 520, 100, 40);
    EXPECT_TRUE(Judge().same) << Judge().Describe();
}

TEST_F(GoldenJudge, RealFaultsFailAndNameTheirRegion)
{
    // A wrong button: Ignore where Abort belongs.
    Copy(198, 525, 75, 23, 111, 525);
    GoldenVerdict v = Judge();
    EXPECT_FALSE(v.same);
    EXPECT_TRUE(FailsWithin(v, 108, 520, 190, 552)) << v.Describe();
    EXPECT_NE(v.Describe().find("at (1"), std::string::npos) << v.Describe();

    // A wrong line of text: "ERROR in" replaced by the line below it.
    px = golden;
    Copy(112, 127, 200, 13, 112, 114);
    v = Judge();
    EXPECT_FALSE(v.same);
    EXPECT_TRUE(FailsWithin(v, 108, 110, 320, 145)) << v.Describe();

    // A wrong colour: the text area's blue a little greener.
    px = golden;
    for (uint32_t& p : px)
        if (p == 0xFF22446Cu) p = 0xFF22506Cu;
    EXPECT_FALSE(Judge().same);

    // No dialog, and the dialog three pixels lower.
    px = golden;
    Fill(100, 41, 598, 517, 0xFF000000u);
    EXPECT_FALSE(Judge().same);
    px = golden;
    Copy(95, 35, 610, 530, 95, 38);
    EXPECT_FALSE(Judge().same) << "a shift of three pixels";
    px = golden;
    Copy(95, 35, 610, 530, 97, 35);
    EXPECT_FALSE(Judge().same) << "a shift of two pixels";
}

TEST_F(GoldenJudge, FailureKeepsTheActualAndDifferencePictures)
{
    Copy(198, 525, 75, 23, 111, 525);
    std::vector<uint8_t> rgba(px.size() * 4);
    for (size_t i = 0; i < px.size(); ++i) {
        rgba[i * 4] = uint8_t(px[i] >> 16);
        rgba[i * 4 + 1] = uint8_t(px[i] >> 8);
        rgba[i * 4 + 2] = uint8_t(px[i]);
        rgba[i * 4 + 3] = 0xFF;
    }
    ScratchFolder dir;
    const std::string shot = dir / "shot.png";
    GR_PNG_SetSavePathMapper([](const char* file) { return std::string(file); });
    ASSERT_TRUE(write_png_file(shot.c_str(), rgba.data(), w, h));
    GR_PNG_SetSavePathMapper(nullptr);
    const std::string why = Golden_CompareFile(shot, "windowed_golden/error.png", kTolerance);
    ASSERT_NE(why, "");
    int kept = 0;
    for (size_t end = why.find(".png"); end != std::string::npos; end = why.find(".png", end + 1)) {
        const size_t start = why.rfind(' ', end) + 1;
        struct stat st;
        EXPECT_EQ(stat(why.substr(start, end + 4 - start).c_str(), &st), 0) << why;
        ++kept;
    }
    EXPECT_EQ(kept, 2) << why;
}

} // namespace
