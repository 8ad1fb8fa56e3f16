// Paths: straight, smooth and closed geometry, positions along the path, transformations, the
// table and the PATH reader's clamping of its settings.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "Files/Code/Code_Error.h"
#include "Files/Path/Path.h"
#include "Files/Support/FileImage.h"

TEST(PathGeometry, StraightOpenAndClosed)
{
    CPath p;
    p.SetClosed(true);
    for (auto [x, y] : std::vector<std::pair<float, float>>{{0, 0}, {10, 0}, {10, 10}, {0, 10}}) p.AddPoint(x, y, 100);
    EXPECT_EQ(p.Computed().size(), 5u) << "a closed square returns to its first point";
    EXPECT_FLOAT_EQ(p.GetLength(), 40.0f);
    PathPoint half = p.GetPosition(0.5f);
    EXPECT_FLOAT_EQ(half.x, 10.0f);
    EXPECT_FLOAT_EQ(half.y, 10.0f);
    PathPoint q = p.GetPosition(0.125f);
    EXPECT_FLOAT_EQ(q.x, 5.0f);
    EXPECT_FLOAT_EQ(q.y, 0.0f);
    EXPECT_FLOAT_EQ(p.GetPosition(-1).x, 0.0f);
    EXPECT_FLOAT_EQ(p.GetPosition(2).y, 0.0f) << "t above 1 is the last point (the first again)";
    p.SetClosed(false);
    EXPECT_FLOAT_EQ(p.GetLength(), 30.0f);
    EXPECT_FLOAT_EQ(p.GetPosition(1).y, 10.0f);
}

TEST(PathGeometry, SmoothPaths)
{
    CPath p;
    p.SetKind(1);
    p.SetClosed(false);
    p.AddPoint(0, 0, 100);
    p.AddPoint(100, 0, 50);
    ASSERT_EQ(p.Computed().size(), 2u) << "two points make a straight line";
    EXPECT_FLOAT_EQ(p.GetPosition(0.5f).speed, 75.0f);
    p.AddPoint(100, 100, 100);
    // Open: first point, the subdivision of the corner, last point; never the midpoints.
    const auto& c = p.Computed();
    EXPECT_EQ(c.front().x, 0.0f);
    EXPECT_EQ(c.back().y, 100.0f);
    EXPECT_GT(c.size(), 3u);
    for (size_t k = 1; k < c.size(); ++k) EXPECT_GE(c[k].distance, c[k - 1].distance);
    // The curve stays inside the corner's triangle.
    for (const PathComputedPoint& pt : c) {
        EXPECT_GE(pt.x, 0.0f);
        EXPECT_LE(pt.x, 100.0f);
        EXPECT_LE(pt.y, pt.x + 1e-3f);
    }
    const size_t atFour = c.size();
    p.SetPrecision(12);
    EXPECT_EQ(p.GetPrecision(), 8);
    EXPECT_GT(p.Computed().size(), atFour);
    p.SetPrecision(0);
    EXPECT_EQ(p.Computed().size(), 2u);
    p.SetKind(5);
    EXPECT_EQ(p.GetKind(), 0);
    p.SetPrecision(4);
    p.SetKind(1);
    p.SetClosed(true);
    EXPECT_EQ(p.Computed().front().x, p.Computed().back().x) << "closed: the first computed point again at the end";
}

TEST(PathGeometry, OnePointAndCoincidentPoints)
{
    CPath p;
    p.AddPoint(100, 50, 100);
    EXPECT_FLOAT_EQ(p.GetPosition(0.3f).x, 100.0f);
    EXPECT_FLOAT_EQ(p.GetPosition(0.9f).y, 50.0f);
    CPath same;
    same.SetClosed(false);
    same.AddPoint(3, 4, 100);
    same.AddPoint(3, 4, 100);
    EXPECT_FLOAT_EQ(same.GetPosition(0.5f).x, 3.0f);
    EXPECT_EQ(CPath().GetPosition(0.5f).speed, 100.0f);
    EXPECT_EQ(p.GetPoint(5).speed, 1.0f) << "the default point out of range";
}

TEST(PathGeometry, Transformations)
{
    CPath p;
    p.SetClosed(false);
    p.AddPoint(0, 0, 100);
    p.AddPoint(20, 10, 100);
    float cx, cy;
    p.GetCenter(&cx, &cy);
    p.Rotate(90);
    float rx, ry;
    p.GetCenter(&rx, &ry);
    EXPECT_NEAR(rx, cx, 1e-4);
    EXPECT_NEAR(ry, cy, 1e-4);
    p.Mirror();
    p.Shift(5, 5);
    p.Reverse();
    CPath copy;
    copy.Assign(&p);
    EXPECT_EQ(copy.GetNumber(), 2);
    copy.Append(&copy);
    EXPECT_EQ(copy.GetNumber(), 4);
    copy.Scale(2, 2);
    EXPECT_GT(copy.GetLength(), 0.0f);
}

TEST(PathTable, AddDeleteDuplicateAssign)
{
    Path_FreeAll();
    EXPECT_EQ(Path_Add(), 0);
    EXPECT_EQ(Path_Add(), 1);
    EXPECT_STREQ(Path_GetName(1), "__newpath1");
    Path_Data(0)->AddPoint(1, 2, 100);
    EXPECT_TRUE(Path_Delete(1));
    EXPECT_FALSE(Path_Exists(1));
    EXPECT_STREQ(Path_GetName(1), "<undefined>");
    EXPECT_EQ(Path_Find("__newpath1"), -1);
    EXPECT_EQ(Path_Add(), 2) << "a deleted slot is not reused";
    EXPECT_EQ(Path_Duplicate(0), 3);
    EXPECT_EQ(Path_Data(3)->GetNumber(), 1);
    EXPECT_EQ(Path_Duplicate(1), -1);
    Code_Error_SetShowErrors(false);
    EXPECT_FALSE(Path_Assign(2, 2));
    EXPECT_TRUE(Path_Assign(1, 0)) << "an empty slot gets a new path";
    EXPECT_TRUE(Path_Exists(1));
    Path_FreeAll();
}

TEST(PathTable, ReaderClampsPrecisionAndKind)
{
    // name, kind 7, closed 0, precision 4000000000, one point.
    std::vector<uint8_t> b(16, 0);
    auto u32 = [&](uint32_t v) {
        for (int k = 0; k < 4; ++k) b.push_back(uint8_t(v >> (8 * k)));
    };
    const uint32_t name = uint32_t(b.size());
    for (char ch : std::string("p\0\0\0", 4)) b.push_back(uint8_t(ch));
    const uint32_t record = uint32_t(b.size());
    u32(name);
    u32(7);
    u32(0);
    u32(4000000000u);
    u32(2);
    float pts[6] = {0, 0, 100, 50, 0, 100};
    for (float f : pts) {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        u32(v);
    }
    const uint32_t begin = uint32_t(b.size());
    u32(1);
    u32(record);
    const uint32_t end = uint32_t(b.size());
    FileImage image(b.data(), uint32_t(b.size()));
    ASSERT_TRUE(Path_LoadChunk(image, begin, end));
    EXPECT_EQ(Path_Data(0)->GetPrecision(), 8);
    EXPECT_EQ(Path_Data(0)->GetKind(), 0);
    EXPECT_FLOAT_EQ(Path_Data(0)->GetLength(), 50.0f);
    EXPECT_STREQ(Path_GetName(0), "p");
    // A point count beyond the chunk fails the load.
    b[record + 16] = 0xFF;
    FileImage broken(b.data(), uint32_t(b.size()));
    EXPECT_FALSE(Path_LoadChunk(broken, begin, end));
    Path_FreeAll();
}
