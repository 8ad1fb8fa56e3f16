// Finding resources by name through the tables' name indexes: after additions, deletions and
// renames at run time, and with names that repeat, each table's Find answers the first match
// of a walk of the table: the object table's own walk (bucket index & 511 upwards, each bucket
// in insertion order), index order for the others.
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
// and the Find under test; walk gives the table's order (none: index order).
struct TableView {
    std::function<int32_t()> count;
    std::function<bool(int32_t)> exists;
    std::function<const char*(int32_t)> name;
    std::function<int32_t(const char*)> find;
    std::function<std::vector<int32_t>()> walk;
};

// Every probe name is found where a walk of the table finds it first.
void ExpectFindIsTheFirstMatch(const TableView& t, const std::vector<std::string>& probes, const char* when)
{
    std::vector<int32_t> order;
    if (t.walk)
        order = t.walk();
    else
        for (int32_t i = 0; i < t.count(); ++i) order.push_back(i);
    for (const std::string& probe : probes) {
        int32_t first = -1;
        for (size_t k = 0; k < order.size() && first < 0; ++k)
            if (t.exists(order[k]) && t.name(order[k]) && probe == t.name(order[k])) first = order[k];
        EXPECT_EQ(t.find(probe.c_str()), first) << when << ": \"" << probe << "\"";
    }
}

std::vector<int32_t> ObjectTableWalk()
{
    std::vector<int32_t> order;
    Object_ForEach([&](CObject* o) { order.push_back(o->m_index); });
    return order;
}

class NameLookup : public WorldTest {};

} // namespace

TEST_F(NameLookup, ObjectsFollowAddsRenamesDeletesAndRepeatedNames)
{
    const TableView objects{Object_GetCount, Object_Exists,
                            [](int32_t i) { return Object_Exists(i) ? Object_GetName(i) : nullptr; }, Object_Find,
                            ObjectTableWalk};
    const std::vector<std::string> probes{"hero", "wall", "__newobject2", "enemy", "late", "dup"};
    Obj("hero");
    Obj("wall");
    Object_Add(); // keeps its made-up name
    ExpectFindIsTheFirstMatch(objects, probes, "after adding");
    Object_Lookup(1)->SetName("hero"); // a repeated name within bucket order: 0 still answers
    ExpectFindIsTheFirstMatch(objects, probes, "after a rename to a taken name");
    ASSERT_TRUE(Object_Delete(0));
    ExpectFindIsTheFirstMatch(objects, probes, "after deleting the first holder");
    Object_Lookup(1)->SetName("enemy");
    ExpectFindIsTheFirstMatch(objects, probes, "after renaming the last holder");

    // object_add up to index 512, which sits in bucket 0: sharing a name with 1, it answers.
    while (Object_GetCount() <= 512) Object_Add();
    Object_Lookup(1)->SetName("dup");
    Object_Lookup(512)->SetName("dup");
    EXPECT_EQ(Object_Find("dup"), 512);
    ExpectFindIsTheFirstMatch(objects, probes, "names shared by 1 and 512");
    ASSERT_TRUE(Object_Delete(512));
    EXPECT_EQ(Object_Find("dup"), 1) << "the next in table order answers";
    Object_Lookup(2)->SetName("dup"); // bucket 2 comes after bucket 1
    EXPECT_EQ(Object_Find("dup"), 1);

    // Within one bucket, insertion order: 1033 inserted before 521 (both bucket 9) answers,
    // and 520 (bucket 8) before both.
    auto insert = [](int32_t index, const char* name) {
        auto* o = new CObject(index);
        o->SetName(name);
        ASSERT_TRUE(Object_Insert(o));
    };
    insert(1033, "late");
    insert(521, "late");
    EXPECT_EQ(Object_Find("late"), 1033);
    insert(520, "late");
    EXPECT_EQ(Object_Find("late"), 520);
    ExpectFindIsTheFirstMatch(objects, probes, "after inserting out of index order");
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
