#include <gtest/gtest.h>

#include <vector>

#include "Files/Support/FileImage.h"

namespace {
std::vector<uint8_t> Bytes(std::initializer_list<int> b) { return {b.begin(), b.end()}; }
} // namespace

TEST(FileImage, LittleEndianReadsStayInside)
{
    auto data = Bytes({0x78, 0x56, 0x34, 0x12, 0xFF});
    FileImage img(data.data(), uint32_t(data.size()));
    uint32_t u = 0;
    EXPECT_TRUE(img.U32(0, u));
    EXPECT_EQ(u, 0x12345678u);
    EXPECT_TRUE(img.U32(1, u));
    EXPECT_FALSE(img.U32(2, u)) << "runs one byte past the end";
    EXPECT_FALSE(img.U32(0xFFFFFFFEu, u)) << "offset + length wraps";
    uint16_t h = 0;
    EXPECT_TRUE(img.U16(3, h));
    EXPECT_EQ(h, 0xFF12);
    EXPECT_EQ(img.Bytes(4, 1), data.data() + 4);
    EXPECT_EQ(img.Bytes(4, 2), nullptr);
    EXPECT_TRUE(img.Contains(5, 0));
    EXPECT_FALSE(img.Contains(6, 0));
}

TEST(FileImage, StringsMustBeTerminatedInside)
{
    auto data = Bytes({'a', 'b', 0, 'c', 'd'});
    FileImage img(data.data(), uint32_t(data.size()));
    bool ok = true;
    EXPECT_EQ(img.String(0, ok), nullptr) << "offset 0 means none";
    EXPECT_TRUE(ok);
    EXPECT_STREQ(img.String(1, ok), "b");
    EXPECT_TRUE(ok);
    EXPECT_EQ(img.String(3, ok), nullptr) << "no terminator before the end";
    EXPECT_FALSE(ok);
    ok = true;
    EXPECT_EQ(img.String(99, ok), nullptr);
    EXPECT_FALSE(ok);
}

TEST(FileCursor, FailureIsStickyAndYieldsZero)
{
    auto data = Bytes({1, 0, 0, 0, 2, 0, 0, 0, 3, 0});
    FileImage img(data.data(), uint32_t(data.size()));
    FileCursor c(img, 0, 8);
    EXPECT_EQ(c.U32(), 1u);
    EXPECT_EQ(c.U32(), 2u);
    EXPECT_TRUE(c.ok());
    EXPECT_EQ(c.U32(), 0u) << "the window ends at 8 though the image goes on";
    EXPECT_FALSE(c.ok());
    EXPECT_EQ(c.U8(), 0);
    EXPECT_FALSE(c.ok());
}

TEST(FileCursor, WindowsAndCounts)
{
    std::vector<uint8_t> data(64, 0);
    FileImage img(data.data(), uint32_t(data.size()));
    FileCursor bad(img, 10, 100);
    EXPECT_FALSE(bad.ok()) << "window past the image";
    FileCursor c(img, 8, 40);
    EXPECT_TRUE(c.FitsCount(8, 4));
    EXPECT_FALSE(c.FitsCount(9, 4));
    EXPECT_FALSE(c.FitsCount(0xFFFFFFFFu, 4));
    EXPECT_TRUE(c.Seek(40));
    EXPECT_FALSE(c.Seek(41));
    EXPECT_FALSE(c.ok());
    FileCursor d(img, 8, 40);
    EXPECT_FALSE(d.Skip(33));
    EXPECT_EQ(d.Pos(), 40u);
}

TEST(FileCursor, RealsAndStringRefs)
{
    std::vector<uint8_t> data(32, 0);
    double v = -2.5;
    std::memcpy(data.data(), &v, 8);
    uint32_t off = 20;
    std::memcpy(data.data() + 8, &off, 4);
    std::memcpy(data.data() + 20, "hi", 3);
    uint32_t bad = 31; // a byte before the end, and it is 0: the empty string
    std::memcpy(data.data() + 12, &bad, 4);
    FileImage img(data.data(), uint32_t(data.size()));
    FileCursor c(img);
    EXPECT_EQ(c.F64(), -2.5);
    EXPECT_STREQ(c.StringRef(), "hi");
    EXPECT_STREQ(c.StringRef(), "");
    EXPECT_TRUE(c.ok());
    EXPECT_EQ(ChunkTag("FORM"), 0x4D524F46u);
}
