// String_Concat (including sources that are, or lie inside, the destination), the UTF-16
// copies and VCL_Trim. Every block must come back to the memory manager.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Files/Base/Strings.h"
#include "Platform/MemoryManager.h"

namespace {

char* Dup(const char* s) { return MEM_STRDUP(s); }

class BlockBalance {
public:
    BlockBalance() : m_blocks(MemoryManager::BlocksInUse()) {}
    ~BlockBalance() { EXPECT_EQ(MemoryManager::BlocksInUse(), m_blocks); }

private:
    uint32_t m_blocks;
};

} // namespace

TEST(String_Concat, JoinsNonEmptySourcesIntoSizedBlock)
{
    BlockBalance balance;
    char* s = String_Concat(nullptr, "ab", nullptr, "", "cd", "e", "f", "g", "h", "i", "j");
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s, "abcdefghij");
    EXPECT_EQ(MemoryManager::GetSize(s), 11u);
    s = String_Concat(s, "xyz"); // old text is replaced, not appended to
    EXPECT_STREQ(s, "xyz");
    MEM_FREE(s);
}

TEST(String_Concat, DestinationAsSourceAnywhere)
{
    BlockBalance balance;
    char* s = Dup("ab");
    s = String_Concat(s, s, "x");
    EXPECT_STREQ(s, "abx");
    s = String_Concat(s, "<", s, ">");
    EXPECT_STREQ(s, "<abx>");
    s = String_Concat(s, s, s, s);
    EXPECT_STREQ(s, "<abx><abx><abx>");
    MEM_FREE(s);
}

TEST(String_Concat, SourceInsideDestinationBlock)
{
    BlockBalance balance;
    char* s = Dup("hello world");
    s = String_Concat(s, s + 6, "!");
    EXPECT_STREQ(s, "world!");
    // Same total size as before: the block would be kept and overwritten while read.
    char* t = Dup("abcdef");
    t = String_Concat(t, "XYZ", t + 3);
    EXPECT_STREQ(t, "XYZdef");
    MEM_FREE(s);
    MEM_FREE(t);
}

TEST(String_Concat, NothingToJoinGivesNullAndKeepsDestination)
{
    BlockBalance balance;
    char* s = Dup("keep");
    EXPECT_EQ(String_Concat(s, nullptr, ""), nullptr);
    EXPECT_STREQ(s, "keep");
    EXPECT_EQ(String_Concat(nullptr), nullptr);
    MEM_FREE(s);
}

TEST(String_Wide, LatinOneRoundTrip)
{
    BlockBalance balance;
    const char text[] = "Hi \xE9\xFF\x80!";
    char16_t* w = String_ToWide(text);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w[0], u'H');
    EXPECT_EQ(w[3], char16_t(0xE9));
    EXPECT_EQ(w[4], char16_t(0xFF));
    EXPECT_EQ(w[5], char16_t(0x80));
    EXPECT_EQ(w[7], 0);
    char* back = String_FromWide(w);
    EXPECT_STREQ(back, text);
    const char16_t wide[] = {0x20AC, u'A', 0};
    char* low = String_FromWide(wide);
    EXPECT_EQ(std::string(low), std::string("\xAC" "A"));
    EXPECT_EQ(String_ToWide(nullptr), nullptr);
    EXPECT_EQ(String_FromWide(nullptr), nullptr);
    MEM_FREE(w);
    MEM_FREE(back);
    MEM_FREE(low);
}

TEST(VCL_Trim, CutsBlanksAndHighBytesAtBothEnds)
{
    BlockBalance balance;
    char* v = nullptr;
    VCL_Trim(&v, "  12.5\t\r\n");
    EXPECT_STREQ(v, "12.5");
    VCL_Trim(&v, "   ");
    EXPECT_STREQ(v, "");
    EXPECT_EQ(MemoryManager::GetSize(v), 1u);
    VCL_Trim(&v, "");
    EXPECT_STREQ(v, "");
    VCL_Trim(&v, "\x80\xC3\xA9x y\xFF");
    EXPECT_STREQ(v, "x y");
    VCL_Trim(&v, nullptr);
    EXPECT_EQ(v, nullptr);
}

TEST(VCL_Trim, ReusesLargeBlockAndTrimsItsOwnText)
{
    BlockBalance balance;
    char* v = static_cast<char*>(MEM_ALLOC(64));
    std::strcpy(v, "old");
    char* block = v;
    VCL_Trim(&v, " new ");
    EXPECT_EQ(v, block);
    EXPECT_STREQ(v, "new");
    std::strcpy(v, "   inner   ");
    VCL_Trim(&v, v); // the source is the variable's own block
    EXPECT_STREQ(v, "inner");
    VCL_Trim(&v, v + 2);
    EXPECT_STREQ(v, "ner");
    char* small = Dup("ab");
    VCL_Trim(&small, "longer text");
    EXPECT_STREQ(small, "longer text");
    MEM_FREE(v);
    MEM_FREE(small);
}
