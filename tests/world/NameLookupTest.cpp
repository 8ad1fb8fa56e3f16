// Finding resources by name through the tables' name indexes: after additions, deletions and
// renames at run time, and with names that repeat, each table's Find answers what a walk of
// the table in index order would (the first match: the lowest index).
#include "support/GameWorld.h"

#include <functional>
#include <string>
#include <vector>

#include "Files/Graphics/ResourceTable.h"
#include "Files/Object/Object.h"
#include "Files/Path/Path.h"
#include "Files/TimeLine/TimeLine.h"

namespace {

// One table as the check sees it: how many slots, whether a slot holds a record, its name,
// and the Find under test.
struct TableView {
    std::function<int32_t()> count;
    std::function<bool(int32_t)> exists;
    std::function<const char*(int32_t)> name;
    std::function<int32_t(const char*)> find;
};

// Every probe name is found where a walk in index order finds it first.
void ExpectFindIsTheFirstMatch(const TableView& t, const std::vector<std::string>& probes, const char* when)
{
    for (const std::string& probe : probes) {
        int32_t walk = -1;
        for (int32_t i = 0; i < t.count() && walk < 0; ++i)
            if (t.exists(i) && t.name(i) && probe == t.name(i)) walk = i;
        EXPECT_EQ(t.find(probe.c_str()), walk) << when << ": \"" << probe << "\"";
    }
}

class NameLookup : public WorldTest {};

} // namespace

TEST_F(NameLookup, ObjectsFollowAddsRenamesDeletesAndRepeatedNames)
{
    const TableView objects{Object_GetCount, Object_Exists,
                            [](int32_t i) { return Object_Exists(i) ? Object_GetName(i) : nullptr; }, Object_Find};
    const std::vector<std::string> probes{"hero", "wall", "__newobject2", "enemy", "late"};
    Obj("hero");
    Obj("wall");
    Object_Add(); // keeps its made-up name
    ExpectFindIsTheFirstMatch(objects, probes, "after adding");
    Object_Lookup(1)->SetName("hero"); // a repeated name: the lower index still answers
    ExpectFindIsTheFirstMatch(objects, probes, "after a rename to a taken name");
    ASSERT_TRUE(Object_Delete(0));
    ExpectFindIsTheFirstMatch(objects, probes, "after deleting the first holder");
    Object_Lookup(1)->SetName("enemy");
    ExpectFindIsTheFirstMatch(objects, probes, "after renaming the last holder");
    // Inserted out of index order, the same name at 520 then at 9: 9 answers, whatever the
    // table's own walking order.
    auto* high = new CObject(520); // walked before 9 in the table's own bucket order
    high->SetName("late");
    ASSERT_TRUE(Object_Insert(high));
    auto* low = new CObject(9);
    low->SetName("late");
    ASSERT_TRUE(Object_Insert(low));
    ExpectFindIsTheFirstMatch(objects, probes, "after inserting below an existing holder");
    EXPECT_EQ(Object_Find("late"), 9);
    Object_Free();
    EXPECT_EQ(Object_Find("enemy"), -1) << "a freed table finds nothing";
}

TEST_F(NameLookup, PathsTimeLinesAndResourceTablesFollowTheirChanges)
{
    Path_FreeAll();
    const TableView paths{Path_Count, Path_Exists,
                          [](int32_t i) { return Path_Exists(i) ? Path_GetName(i) : nullptr; }, Path_Find};
    const std::vector<std::string> pathProbes{"__newpath0", "__newpath1", "__newpath2"};
    Path_Add();
    Path_Add();
    ExpectFindIsTheFirstMatch(paths, pathProbes, "paths added");
    Path_Delete(0);
    Path_Duplicate(1);
    ExpectFindIsTheFirstMatch(paths, pathProbes, "a path deleted, one duplicated");
    Path_FreeAll();
    EXPECT_EQ(Path_Find("__newpath1"), -1);

    TimeLine_Free();
    const TableView lines{TimeLine_Count, TimeLine_Exists,
                          [](int32_t i) { return TimeLine_Exists(i) ? TimeLine_GetName(i) : nullptr; },
                          TimeLine_Find};
    const std::vector<std::string> lineProbes{"__newtimeline0", "__newtimeline1"};
    TimeLine_Add();
    TimeLine_Add();
    TimeLine_Delete(1);
    ExpectFindIsTheFirstMatch(lines, lineProbes, "time lines added, one deleted");
    TimeLine_Free();

    // The table sprites, backgrounds and fonts share: renames through Set, emptied entries,
    // revived ones and a dropped last addition.
    ResourceTable<int> table;
    const TableView view{[&] { return table.Count(); }, [&](int32_t i) { return table.Get(i) != nullptr; },
                         [&](int32_t i) { return table.Name(i); }, [&](const char* n) { return table.Find(n); }};
    const std::vector<std::string> probes{"spr", "other", "__new1", "__new3"};
    table.Append(new int(0), "spr");
    table.Append(new int(1), "spr");
    table.Append(new int(2), "other");
    ExpectFindIsTheFirstMatch(view, probes, "appended");
    table.Set(0, table.Get(0), "other");
    ExpectFindIsTheFirstMatch(view, probes, "entry 0 renamed");
    table.Remove(1);
    table.Set(2, nullptr, nullptr); // a named entry without a record is not found
    ExpectFindIsTheFirstMatch(view, probes, "an entry removed, another emptied");
    table.Revive(1, new int(5), "__new");
    table.AppendNumbered(new int(6), "__new");
    table.DropLast();
    ExpectFindIsTheFirstMatch(view, probes, "revived and dropped");
    table.Clear();
    EXPECT_EQ(table.Find("other"), -1);
}
