#include <gtest/gtest.h>

#include <cstring>

#include "Platform/MemoryManager.h"

TEST(MemoryManager, ZeroSizeIsNullAndLeavesTotals)
{
    uint32_t bytes = MemoryManager::BytesInUse(), blocks = MemoryManager::BlocksInUse();
    EXPECT_EQ(MemoryManager::Alloc(0, __FILE__, __LINE__, true), nullptr);
    EXPECT_EQ(MemoryManager::BytesInUse(), bytes);
    EXPECT_EQ(MemoryManager::BlocksInUse(), blocks);
    EXPECT_EQ(MemoryManager::GetSize(nullptr), 0u);
    MemoryManager::Free(nullptr);
}

TEST(MemoryManager, HeaderGuardsAndTotals)
{
    uint32_t bytes = MemoryManager::BytesInUse(), blocks = MemoryManager::BlocksInUse();
    auto* p = static_cast<unsigned char*>(MEM_ALLOC_CLEAR(100));
    ASSERT_NE(p, nullptr);
    uint32_t words[4];
    std::memcpy(words, p - 16, 16);
    EXPECT_EQ(words[0], 100u);
    EXPECT_EQ(words[1], 0xDEADC0DEu);
    EXPECT_EQ(words[2], 0xBAADB00Bu);
    EXPECT_EQ(words[3], 0u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(p[i], 0);
    EXPECT_EQ(MemoryManager::GetSize(p), 100u);
    EXPECT_EQ(MemoryManager::BytesInUse(), bytes + 100);
    EXPECT_EQ(MemoryManager::BlocksInUse(), blocks + 1);
    MEM_FREE(p);
    EXPECT_EQ(MemoryManager::BytesInUse(), bytes);
    EXPECT_EQ(MemoryManager::BlocksInUse(), blocks);
}

TEST(MemoryManager, ReAllocKeepsBytesAndClearsTail)
{
    auto* p = static_cast<unsigned char*>(MEM_ALLOC(4));
    std::memcpy(p, "abcd", 4);
    EXPECT_EQ(MEM_REALLOC(p, 4), p) << "same size keeps the block";
    auto* q = static_cast<unsigned char*>(MEM_REALLOC(p, 10));
    EXPECT_EQ(std::memcmp(q, "abcd", 4), 0);
    for (int i = 4; i < 10; ++i) EXPECT_EQ(q[i], 0);
    auto* r = static_cast<unsigned char*>(MEM_REALLOC(q, 2));
    EXPECT_EQ(MemoryManager::GetSize(r), 2u);
    EXPECT_EQ(std::memcmp(r, "ab", 2), 0);
    EXPECT_EQ(MEM_REALLOC(r, 0), nullptr);
    auto* fresh = static_cast<unsigned char*>(MEM_REALLOC(nullptr, 8));
    for (int i = 0; i < 8; ++i) EXPECT_EQ(fresh[i], 0);
    MEM_FREE(fresh);
}

TEST(MemoryManager, ResizeKeepsBytesAndCountsAndPeak)
{
    uint32_t bytes = MemoryManager::BytesInUse();
    MemoryManager::ResetPeak();
    auto* p = static_cast<unsigned char*>(MEM_RESIZE(nullptr, 4));
    std::memcpy(p, "abcd", 4);
    // A large block, so that the C heap may grow it where it lies.
    auto* q = static_cast<unsigned char*>(MEM_RESIZE(p, 1 << 20));
    EXPECT_EQ(std::memcmp(q, "abcd", 4), 0);
    EXPECT_TRUE(MemoryManager::IsGuarded(q));
    EXPECT_EQ(MemoryManager::BytesInUse(), bytes + (1u << 20));
    auto* r = static_cast<unsigned char*>(MEM_RESIZE(q, 3));
    EXPECT_EQ(std::memcmp(r, "abc", 3), 0);
    EXPECT_EQ(MemoryManager::GetSize(r), 3u);
    EXPECT_EQ(MemoryManager::BytesInUse(), bytes + 3);
    EXPECT_EQ(MemoryManager::PeakBytes(), bytes + (1u << 20));
    EXPECT_EQ(MEM_RESIZE(r, 0), nullptr);
    EXPECT_EQ(MemoryManager::BytesInUse(), bytes);
    MemoryManager::ResetPeak();
    EXPECT_EQ(MemoryManager::PeakBytes(), bytes);
}

TEST(MemoryManager, ReAllocPtrStoresBack)
{
    char* s = nullptr;
    char* got = MemoryManager::ReAllocPtr(&s, 5, __FILE__, __LINE__);
    EXPECT_EQ(got, s);
    EXPECT_EQ(MemoryManager::GetSize(s), 5u);
    MEM_FREE(s);
}

TEST(MemoryManager, StrDup)
{
    char* s = MEM_STRDUP("hello");
    EXPECT_STREQ(s, "hello");
    EXPECT_EQ(MemoryManager::GetSize(s), 6u);
    EXPECT_EQ(MEM_STRDUP(nullptr), nullptr);
    MEM_FREE(s);
}

TEST(MemoryManagerDeath, FreeOfUnguardedBlockStops)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            // A block with a valid header area but broken guards.
            auto* raw = static_cast<unsigned char*>(std::calloc(64, 1));
            MemoryManager::Free(raw + 16);
        },
        "Fatal Memory Error");
}

TEST(MemoryManager, ASharedBlockIsNeverFreedOrWrittenUnderItsOtherHolder)
{
    const uint32_t blocks = MemoryManager::BlocksInUse();
    char* p = MEM_STRDUP("abcdef");
    MemoryManager::SetTextLength(p, 6);
    ASSERT_TRUE(MemoryManager::Share(p));
    EXPECT_FALSE(MemoryManager::Share(p)) << "one second holder at most";
    EXPECT_FALSE(MemoryManager::Reuse(p, 3));
    // Growing it, or writing it at the same size, gives a new block: the other holder's stays.
    auto* grown = static_cast<char*>(MEM_RESIZE(p, 64));
    ASSERT_TRUE(MemoryManager::Share(p));
    auto* same = static_cast<char*>(MEM_REALLOC(p, 7));
    ASSERT_TRUE(MemoryManager::Share(p));
    MEM_FREE(p); // one holder lets go
    EXPECT_NE(grown, p);
    EXPECT_NE(same, p);
    EXPECT_STREQ(grown, "abcdef");
    EXPECT_STREQ(same, "abcdef");
    EXPECT_STREQ(p, "abcdef");
    EXPECT_EQ(MemoryManager::TextLength(p), 6) << "its bytes never changed";
    EXPECT_EQ(MemoryManager::TextLength(grown), -1) << "a block written otherwise forgets the length";
    EXPECT_TRUE(MemoryManager::Reuse(p, 3));
    EXPECT_EQ(MemoryManager::TextLength(p), -1);
    for (char* q : {p, grown, same}) MEM_FREE(q);
    EXPECT_EQ(MemoryManager::BlocksInUse(), blocks);
}
