#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "Files/Base/Value.h"
#include "Platform/MemoryManager.h"

TEST(Value, AppendsGrowTheTextWhereItLiesAndNeverUnderAnotherHolder)
{
    ScriptValue v{VALUE_STRING, nullptr, 0.0}, copy = Value_Real(0.0);
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
    // A second holder keeps the old text; the text may be appended to itself.
    Value_Share(&copy, &v);
    EXPECT_EQ(copy.text, v.text);
    Value_Append(&v, v.text, 2);
    Value_Append(&v, v.text + 1, 3);
    EXPECT_STREQ(v.text, "xyxyyxy");
    EXPECT_STREQ(copy.text, "xy");
    Value_FreeString(&v);
    Value_FreeString(&copy);
}
