// What the data-structure kinds share: index tables, index rounding, the bad-index error,
// value comparison and precision, nesting marks and their ownership.
#include "builtins/BuiltinsTestSupport.h"

#include <cmath>

#include "Files/Code/Code_Function.h"
#include "Files/DS/DS_List.h"
#include "Files/DS/DS_Map.h"
#include "Files/DS/DS_Stack.h"

namespace {

constexpr const char* kBadIndex = "Data structure with index does not exist.";

class DSTables : public BuiltinsTest {};

int Compare(const Val& a, const Val& b) { return DS_CompareValues(&a.Raw(), &b.Raw()); }

TEST_F(DSTables, IndexesReuseTheLowestFreeSlotPerKind)
{
    EXPECT_EQ(Call("ds_list_create").Real(), 0);
    EXPECT_EQ(Call("ds_list_create").Real(), 1);
    EXPECT_EQ(Call("ds_list_create").Real(), 2);
    Call("ds_list_destroy", {1});
    EXPECT_EQ(Call("ds_map_create").Real(), 0); // its own table
    EXPECT_EQ(Call("ds_list_create").Real(), 1);
    EXPECT_EQ(Call("ds_list_create").Real(), 3);
    EXPECT_EQ(DS_Lists().Count(), 4);
}

TEST_F(DSTables, SlotArrayGrowsBySixteen)
{
    Call("ds_stack_create");
    EXPECT_EQ(DS_Stacks().Capacity(), 16);
    for (int i = 1; i < 16; i++) Call("ds_stack_create");
    EXPECT_EQ(DS_Stacks().Capacity(), 16);
    EXPECT_EQ(Call("ds_stack_create").Real(), 16);
    EXPECT_EQ(DS_Stacks().Capacity(), 32);
}

TEST_F(DSTables, IndexArgumentsRoundHalfToEvenExceptFindIndex)
{
    for (int i = 0; i < 3; i++) Call("ds_list_create");
    Call("ds_list_add", {2, "x"});
    Call("ds_list_add", {2, "y"});
    Call("ds_list_add", {1, "z"});
    EXPECT_EQ(Call("ds_list_size", {0.5}).Real(), 0);  // list 0
    EXPECT_EQ(Call("ds_list_size", {1.5}).Real(), 2);  // list 2
    EXPECT_EQ(Call("ds_list_size", {2.5}).Real(), 2);  // list 2
    EXPECT_EQ(Call("ds_list_find_index", {1.9, "z"}).Real(), 0); // truncated: list 1
    EXPECT_EQ(Call("ds_list_find_value", {2, 0.5}).Text(), "x"); // position 0
    EXPECT_EQ(Call("ds_list_find_value", {2, 1.5}).Real(), 0);   // position 2: outside
    EXPECT_EQ(Errors(), 0);
}

TEST_F(DSTables, BadIndexReportsOnceAndLeavesResult)
{
    Call("ds_stack_create");
    Val r = Call("ds_stack_size", {3});
    EXPECT_TRUE(r.IsReal());
    EXPECT_EQ(r.Real(), 0);
    EXPECT_EQ(Errors(), 1);
    EXPECT_TRUE(Logged(kBadIndex));
    ClearLog();
    // Negative, NaN and huge indexes are bad indexes too.
    Call("ds_stack_push", {-1, 5});
    Call("ds_stack_push", {std::nan(""), 5});
    Call("ds_stack_push", {1e300, 5});
    EXPECT_EQ(Errors(), 3);
    EXPECT_EQ(Call("ds_stack_size", {0}).Real(), 0);
}

TEST_F(DSTables, DestroyTwice)
{
    Call("ds_stack_create");
    Call("ds_stack_destroy", {0});
    EXPECT_EQ(Errors(), 0);
    Call("ds_stack_destroy", {0});
    EXPECT_EQ(Errors(), 1);
    ClearLog();
    Call("ds_list_create");
    Call("ds_list_destroy", {0});
    Call("ds_list_destroy", {0}); // an empty slot below the count: nothing
    Call("ds_map_create");
    Call("ds_map_destroy", {0});
    Call("ds_map_destroy", {0});
    EXPECT_EQ(Errors(), 0);
    Call("ds_list_destroy", {7}); // beyond the count: the error
    EXPECT_EQ(Errors(), 1);
}

TEST_F(DSTables, CopyChecksDestinationThenSourceWithOneMessage)
{
    Call("ds_list_create");
    Call("ds_list_copy", {0, 9});
    Call("ds_list_copy", {9, 0});
    Call("ds_list_copy", {8, 9});
    EXPECT_EQ(Errors(), 3);
}

TEST_F(DSTables, CompareRealsAtSinglePrecision)
{
    EXPECT_EQ(Compare(0.1, 0.1 + 1e-12), 0);
    EXPECT_EQ(Compare(1.0, 1.00000001), 0);
    EXPECT_EQ(Compare(1.0, 1.0000002), -1);
    EXPECT_EQ(Compare(1.0000002, 1.0), 1);
    DS_SetPrecision(-0.5);
    EXPECT_EQ(DS_GetPrecision(), 0.5);
    EXPECT_EQ(Compare(1.0, 1.4), 0);
    EXPECT_EQ(Compare(1.0, 1.6), -1);
    Call("ds_set_precision", {0.00000001});
    EXPECT_EQ(DS_GetPrecision(), 0.00000001);
}

TEST_F(DSTables, CompareEqualRealsBeyondSingleRangeAndWithZeroPrecision)
{
    EXPECT_EQ(Compare(1e300, 1e300), 0);
    EXPECT_EQ(Compare(-1e300, -1e300), 0);
    DS_SetPrecision(0);
    EXPECT_EQ(Compare(5.0, 5.0), 0);
    EXPECT_EQ(Compare(5.0, 6.0), -1);
}

TEST_F(DSTables, CompareStringsAndMixedKinds)
{
    Val three = Val(3.0), text = Val("3");
    EXPECT_EQ(Compare(three, text), 1);
    EXPECT_EQ(Compare(text, three), 1);
    EXPECT_EQ(three.Real(), 3.0);
    EXPECT_EQ(text.Text(), "3");
    EXPECT_EQ(Compare("a", "b"), -1);
    EXPECT_EQ(Compare("b", "a"), 1);
    EXPECT_EQ(Compare("B", "a"), -1);
    EXPECT_EQ(Compare("\xC3\xA9", "z"), 1); // unsigned bytes
    // A string without text is the empty string.
    EXPECT_EQ(Compare(NoText(), ""), 0);
    EXPECT_EQ(Compare("", NoText()), 0);
    EXPECT_EQ(Compare(NoText(), "a"), -1);
}

TEST_F(DSTables, DestroyingAListDestroysTheMapItsMarkedValueOwns)
{
    int list = int(Call("ds_list_create").Real());
    int inner = int(Call("ds_map_create").Real());
    DS_Lists().Get(list)->AddNested(inner, true);
    Call("ds_list_destroy", {list});
    EXPECT_EQ(DS_Maps().Get(inner), nullptr);

    list = int(Call("ds_list_create").Real());
    inner = int(Call("ds_map_create").Real());
    DS_Lists().Get(list)->AddNested(inner, true);
    Call("ds_list_delete", {list, 0});
    EXPECT_NE(DS_Maps().Get(inner), nullptr);
    Call("ds_list_destroy", {list});
    EXPECT_NE(DS_Maps().Get(inner), nullptr);
}

TEST_F(DSTables, MapClearDestroysNestedDeleteDoesNot)
{
    int map = int(Call("ds_map_create").Real());
    int a = int(Call("ds_list_create").Real());
    int b = int(Call("ds_list_create").Real());
    DS_Maps().Get(map)->AddNested("a", a, false);
    DS_Maps().Get(map)->AddNested("b", b, false);
    Call("ds_map_delete", {map, "a"});
    EXPECT_NE(DS_Lists().Get(a), nullptr);
    Call("ds_map_clear", {map});
    EXPECT_EQ(DS_Lists().Get(b), nullptr);
    EXPECT_NE(DS_Lists().Get(a), nullptr);
    EXPECT_EQ(Call("ds_map_size", {map}).Real(), 0);
}

TEST_F(DSTables, MarkCyclesAreDestroyedOnce)
{
    // A list that marks itself, and a list and a map that mark each other.
    int self = int(Call("ds_list_create").Real());
    DS_Lists().Get(self)->AddNested(self, false);
    Call("ds_list_clear", {self});
    EXPECT_NE(DS_Lists().Get(self), nullptr);
    DS_Lists().Get(self)->AddNested(self, false);
    Call("ds_list_destroy", {self});
    EXPECT_EQ(DS_Lists().Get(self), nullptr);

    int list = int(Call("ds_list_create").Real());
    int map = int(Call("ds_map_create").Real());
    DS_Lists().Get(list)->AddNested(map, true);
    DS_Maps().Get(map)->AddNested("back", list, false);
    Call("ds_list_destroy", {list});
    EXPECT_EQ(DS_Maps().Get(map), nullptr);
    EXPECT_EQ(DS_Lists().Get(list), nullptr);
}

TEST_F(DSTables, MarksNeverSpreadToOtherContainers)
{
    int list = int(Call("ds_list_create").Real());
    int inner = int(Call("ds_map_create").Real());
    DS_Lists().Get(list)->AddNested(inner, true);
    Val marked = Call("ds_list_find_value", {list, 0});
    EXPECT_EQ(marked.Kind(), DS_MARK_MAP); // as stored
    EXPECT_EQ(marked.Real(), inner);

    int other = int(Call("ds_list_create").Real());
    Call("ds_list_add", {other, marked});
    Call("ds_list_insert", {other, 0, marked});
    Call("ds_list_replace", {other, 1, marked});
    int stack = int(Call("ds_stack_create").Real());
    Call("ds_stack_push", {stack, marked});
    int map = int(Call("ds_map_create").Real());
    Call("ds_map_add", {map, "k", marked});
    int copy = int(Call("ds_list_create").Real());
    Call("ds_list_copy", {copy, list});
    int mapCopy = int(Call("ds_map_create").Real());
    DS_Maps().Get(map)->AddNested("n", inner, true);
    Call("ds_map_copy", {mapCopy, map});
    Call("ds_list_read", {copy, Call("ds_list_write", {list})});

    EXPECT_EQ(Call("ds_list_find_value", {other, 0}).Kind(), VALUE_REAL);
    EXPECT_EQ(Call("ds_list_find_value", {copy, 0}).Kind(), VALUE_REAL);
    Call("ds_list_destroy", {other});
    Call("ds_list_destroy", {copy});
    Call("ds_stack_destroy", {stack});
    Call("ds_map_destroy", {mapCopy});
    EXPECT_NE(DS_Maps().Get(inner), nullptr) << "a copy destroyed what it did not own";
    // The owners destroy it exactly once (the map's own mark comes first).
    Call("ds_map_destroy", {map});
    EXPECT_EQ(DS_Maps().Get(inner), nullptr);
    Call("ds_list_destroy", {list});
    EXPECT_EQ(Errors(), 0);
}

TEST_F(DSTables, MapFindValueClearsTheMark)
{
    int map = int(Call("ds_map_create").Real());
    int inner = int(Call("ds_list_create").Real());
    DS_Maps().Get(map)->AddNested("list", inner, false);
    Val v = Call("ds_map_find_value", {map, "list"});
    EXPECT_EQ(v.Kind(), VALUE_REAL);
    EXPECT_EQ(v.Real(), inner);
}

TEST_F(DSTables, AsyncDeliveryDestroysOnlyTheDeliveredMap)
{
    int index = DS_Map_CreateFromPairs(1, "id", 7.0, (const char*)nullptr);
    uint64_t serial = DS_Map_Serial(index);
    EXPECT_NE(serial, 0u);
    // The event destroys the map and a new one takes the slot.
    Call("ds_map_destroy", {index});
    EXPECT_EQ(Call("ds_map_create").Real(), index);
    DS_Map_DestroyDelivered(index, serial);
    EXPECT_NE(DS_Map_Data(index), nullptr);
    // Untouched, the delivered map goes.
    int second = DS_Map_CreateFromPairs(0);
    DS_Map_DestroyDelivered(second, DS_Map_Serial(second));
    EXPECT_EQ(DS_Map_Data(second), nullptr);
}

TEST_F(DSTables, RegistersAllHundredAndElevenNames)
{
    int32_t id;
    const char* names[] = {"ds_set_precision", "ds_stack_read", "ds_queue_tail", "ds_list_shuffle",
                           "ds_map_find_last", "ds_priority_find_max", "ds_grid_sort", "ds_grid_value_disk_y"};
    for (const char* n : names) EXPECT_TRUE(Code_Function_Find(n, &id)) << n;
    int count = 0;
    for (int32_t i = 0; i < Function_Count(); i++)
        if (std::string(Function_Get(i)->name).rfind("ds_", 0) == 0) count++;
    EXPECT_EQ(count, 111);
}

} // namespace
