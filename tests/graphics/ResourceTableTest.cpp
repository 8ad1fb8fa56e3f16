// The one table shape of sprites, backgrounds and fonts, and its chunk loader: entries in order,
// empty entries null, a malformed record failing the load after the entries before it.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "Files/Graphics/ResourceTable.h"

namespace {

// A record of one u32 value; the value 0xFFFFFFFF stands for a malformed record.
struct Record {
    uint32_t value = 0;
    bool LoadFromChunk(const FileImage& image, uint32_t at, const char** name)
    {
        if (!image.U32(at, value) || value == 0xFFFFFFFFu) return false;
        *name = value == 7 ? "seven" : nullptr;
        return true;
    }
};

// A chunk of count entry offsets followed by one u32 record per non-empty entry.
std::vector<uint8_t> Chunk(const std::vector<int64_t>& values)
{
    std::vector<uint32_t> words{uint32_t(values.size())};
    const uint32_t records = 4 * (1 + uint32_t(values.size()));
    uint32_t next = records;
    for (int64_t v : values) {
        words.push_back(v < 0 ? 0 : next);
        if (v >= 0) next += 4;
    }
    for (int64_t v : values)
        if (v >= 0) words.push_back(uint32_t(v));
    std::vector<uint8_t> bytes(words.size() * 4);
    std::memcpy(bytes.data(), words.data(), bytes.size());
    return bytes;
}

bool Load(ResourceTable<Record>& table, const std::vector<uint8_t>& bytes)
{
    FileImage image(bytes.data(), uint32_t(bytes.size()));
    ChunkList list;
    return list.Read(image, 0, uint32_t(bytes.size())) && table.LoadChunk(image, list);
}

} // namespace

TEST(ResourceTable, ChunkLoaderFillsEntriesInOrderAndStopsAtAMalformedRecord)
{
    ResourceTable<Record> table;
    ASSERT_TRUE(Load(table, Chunk({5, -1, 7})));
    ASSERT_EQ(table.Count(), 3);
    EXPECT_EQ(table.Get(0)->value, 5u);
    EXPECT_EQ(table.Get(1), nullptr);
    EXPECT_STREQ(table.Name(2), "seven");
    EXPECT_EQ(table.Find("seven"), 2);

    // A second load replaces the table; a bad record fails it, the entries before it kept.
    EXPECT_FALSE(Load(table, Chunk({1, 0xFFFFFFFF, 3})));
    ASSERT_EQ(table.Count(), 3);
    EXPECT_EQ(table.Get(0)->value, 1u);
    EXPECT_EQ(table.Get(1), nullptr);
    EXPECT_EQ(table.Get(2), nullptr);
    table.Clear();
    EXPECT_EQ(table.Count(), 0);
}
