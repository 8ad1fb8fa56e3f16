#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "Files/Base/Value.h"
#include "Platform/MemoryManager.h"

TEST(Value, AppendsGrowTheTextWhereItLies)
{
    ScriptValue v{VALUE_STRING, nullptr, 0.0};
    Value_Append(&v, "", 0);
    ASSERT_NE(v.text, nullptr) << "a sum always has a text, as a concatenation has";
    EXPECT_STREQ(v.text, "");
    std::string want;
    std::set<const char*> blocks;
    for (int i = 0; i < 5000; ++i) {
        const std::string piece = std::to_string(i) + ",";
        Value_Append(&v, piece.c_str(), piece.size());
        want += piece;
        blocks.insert(v.text);
    }
    EXPECT_EQ(v.text, want);
    EXPECT_LE(blocks.size(), 16u) << "the block doubles: a few moves, not one per append";
    // A writer that reuses the block makes the next append measure the text again.
    ASSERT_TRUE(MemoryManager::Reuse(v.text, 2));
    std::strcpy(v.text, "x");
    Value_Append(&v, "y", 1);
    EXPECT_STREQ(v.text, "xy");
    // The text appended to itself.
    Value_Append(&v, v.text, 2);
    Value_Append(&v, v.text + 1, 3);
    EXPECT_STREQ(v.text, "xyxyyxy");
    Value_FreeString(&v);
}

TEST(Value, ASharedTextIsCopiedBeforeItGrows)
{
    ScriptValue a{VALUE_STRING, nullptr, 0.0}, b = Value_Real(0.0), c = Value_Real(0.0);
    Value_SetString(&a, "one");
    Value_Share(&b, &a);
    EXPECT_EQ(b.text, a.text) << "the same block, held twice";
    Value_Share(&c, &a);
    EXPECT_NE(c.text, a.text) << "a block has one second holder at most: a copy";
    Value_Append(&a, a.text, 3); // from the shared block itself
    EXPECT_STREQ(a.text, "oneone");
    EXPECT_STREQ(b.text, "one");
    Value_Append(&b, "!", 1);
    EXPECT_STREQ(b.text, "one!");
    EXPECT_STREQ(a.text, "oneone");
    EXPECT_STREQ(c.text, "one");
    Value_FreeString(&a);
    Value_FreeString(&b);
    Value_FreeString(&c);
}
