// NameIndex against the walk it stands for: after any mix of additions, removals and renames,
// with names that repeat, Find answers what a walk of the table in its own order (the ranks
// the table gives) would, and the name generation moves exactly when an answer changes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Platform/NameIndex.h"

namespace {

// The table the index follows: one optional name per slot (empty: the slot holds nothing),
// walked in the order of each slot's rank, a scramble of the slot numbers.
struct Model {
    std::vector<std::string> names;
    static uint64_t Rank(int32_t slot) { return uint64_t((slot * 37) % 512); }
    int32_t Walk(const std::string& name) const
    {
        int32_t found = -1;
        for (size_t i = 0; i < names.size(); ++i)
            if (!names[i].empty() && names[i] == name && (found < 0 || Rank(int32_t(i)) < Rank(found)))
                found = int32_t(i);
        return found;
    }
};

} // namespace

TEST(NameIndex, FollowsTheTableThroughAddsRemovesAndRenames)
{
    // Many names over a few hundred slots, so the index grows, its probe runs collide and
    // removals must move later entries back; a few names repeat across many slots.
    std::vector<std::string> pool;
    for (int k = 0; k < 300; ++k) pool.push_back(k % 50 == 0 ? "shared" : "name" + std::to_string(k));
    pool.push_back("");
    Model model;
    model.names.resize(512);
    NameIndex index;
    uint32_t seed = 7;
    auto next = [&](uint32_t n) { return ((seed = seed * 1664525u + 1013904223u) >> 8) % n; };
    for (int step = 0; step < 20000; ++step) {
        const int32_t slot = int32_t(next(512));
        std::string& held = model.names[size_t(slot)];
        const std::string old = held;
        const int32_t oldBefore = old.empty() ? -1 : model.Walk(old);
        const uint64_t generation = NameGeneration::Current();
        // Rename (or fill, or empty) the slot: the old pair leaves, the new one joins.
        if (!held.empty()) index.Remove(held.c_str(), slot, Model::Rank(slot));
        held = pool[next(uint32_t(pool.size()))];
        if (step > 10000 && next(3) == 0) held.clear(); // the table thins out again
        const int32_t newBefore = held.empty() ? -1 : index.Find(held.c_str());
        if (!held.empty()) index.Add(held.c_str(), slot, Model::Rank(slot));
        if (step % 97 == 0 && !held.empty()) index.Add(held.c_str(), slot, Model::Rank(slot)); // no change
        const bool changed = (!old.empty() && model.Walk(old) != oldBefore) ||
                             (!held.empty() && old != held && model.Walk(held) != newBefore);
        // A pair taken out and put back may move it without need; nothing else may.
        if (changed || old != held) ASSERT_EQ(NameGeneration::Current() != generation, changed) << "step " << step;
        if (step % 250 == 0)
            for (const std::string& name : pool) {
                if (name.empty()) continue;
                ASSERT_EQ(index.Find(name.c_str()), model.Walk(name)) << "step " << step << ", " << name;
            }
    }
    index.Remove("shared", 100000, 5); // a pair never held
    EXPECT_EQ(index.Find("shared"), model.Walk("shared"));
    EXPECT_EQ(index.Find("absent"), -1);
    EXPECT_EQ(index.Find(nullptr), -1);
    index.Clear();
    EXPECT_EQ(index.Find("shared"), -1);
}

TEST(NameIndex, AnUntrackedIndexLeavesTheGenerationAlone)
{
    NameIndex index(NameIndex::kUntracked);
    const uint64_t generation = NameGeneration::Current();
    index.Add("a", 3);
    index.Add("a", 1);
    index.Remove("a", 1);
    index.Clear();
    EXPECT_EQ(NameGeneration::Current(), generation);
}
