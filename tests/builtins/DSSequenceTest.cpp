// Stacks, queues, lists and priority queues through their built-ins.
#include "builtins/BuiltinsTestSupport.h"

#include "Files/Base/Random.h"
#include <algorithm>
#include <algorithm>
#include <cmath>
#include <sstream>

#include "Files/DS/DS_List.h"
#include "Files/DS/DS_Stack.h"

namespace {

class DSSequence : public BuiltinsTest {
protected:
    std::string ListText(int list)
    {
        std::string out;
        int n = int(Call("ds_list_size", {list}).Real());
        for (int i = 0; i < n; i++) {
            Val v = Call("ds_list_find_value", {list, i});
            if (i) out += ",";
            if (v.IsString()) out += "'" + v.Text() + "'";
            else {
                std::ostringstream s;
                s << v.Real();
                out += s.str();
            }
        }
        return out;
    }
};

// [SECTION] Stack and queue

TEST_F(DSSequence, StackIsLastInFirstOut)
{
    int s = int(Call("ds_stack_create").Real());
    Call("ds_stack_push", {s, "a"});
    Call("ds_stack_push", {s, 2});
    EXPECT_EQ(Call("ds_stack_top", {s}).Real(), 2);
    EXPECT_EQ(Call("ds_stack_pop", {s}).Real(), 2);
    EXPECT_EQ(Call("ds_stack_pop", {s}).Text(), "a");
    Val empty = Call("ds_stack_pop", {s});
    EXPECT_TRUE(empty.IsReal());
    EXPECT_EQ(empty.Real(), 0);
    EXPECT_EQ(Call("ds_stack_size", {s}).Real(), 0);
    EXPECT_EQ(Call("ds_stack_empty", {s}).Real(), 1);
    EXPECT_EQ(Call("ds_stack_top", {s}).Real(), 0);
}

TEST_F(DSSequence, StackCopy)
{
    int a = int(Call("ds_stack_create").Real());
    int b = int(Call("ds_stack_create").Real());
    Call("ds_stack_push", {a, "x"});
    Call("ds_stack_copy", {a, b}); // b empty
    EXPECT_EQ(Call("ds_stack_size", {a}).Real(), 0);
    Call("ds_stack_push", {b, "x"});
    Call("ds_stack_push", {b, 3});
    Call("ds_stack_copy", {a, b});
    Call("ds_stack_copy", {a, a});
    EXPECT_EQ(Call("ds_stack_pop", {a}).Real(), 3);
    EXPECT_EQ(Call("ds_stack_top", {a}).Text(), "x");
    EXPECT_EQ(Call("ds_stack_size", {b}).Real(), 2);
}

TEST_F(DSSequence, QueueIsFirstInFirstOut)
{
    int q = int(Call("ds_queue_create").Real());
    for (int i = 1; i <= 3; i++) Call("ds_queue_enqueue", {q, i});
    EXPECT_EQ(Call("ds_queue_head", {q}).Real(), 1);
    EXPECT_EQ(Call("ds_queue_tail", {q}).Real(), 3);
    EXPECT_EQ(Call("ds_queue_dequeue", {q}).Real(), 1);
    EXPECT_EQ(Call("ds_queue_size", {q}).Real(), 2);
    Call("ds_queue_clear", {q});
    EXPECT_EQ(Call("ds_queue_empty", {q}).Real(), 1);
    EXPECT_EQ(Call("ds_queue_dequeue", {q}).Real(), 0);
    EXPECT_EQ(Call("ds_queue_head", {q}).Real(), 0);
}

TEST_F(DSSequence, QueueCompactsOncePastHalfAndSixteen)
{
    int q = int(Call("ds_queue_create").Real());
    for (int i = 0; i < 40; i++) Call("ds_queue_enqueue", {q, "v" + std::to_string(i)});
    CDS_Queue* queue = DS_Queues().Get(q);
    for (int i = 0; i < 20; i++) EXPECT_EQ(Call("ds_queue_dequeue", {q}).Text(), "v" + std::to_string(i));
    EXPECT_EQ(queue->HeadIndex(), 20); // 20 is not more than 40 / 2
    EXPECT_EQ(queue->TailIndex(), 40);
    EXPECT_EQ(Call("ds_queue_dequeue", {q}).Text(), "v20");
    EXPECT_EQ(queue->HeadIndex(), 0);
    EXPECT_EQ(queue->TailIndex(), 19);
    EXPECT_EQ(queue->Capacity(), 48);
    // Every value is still there once, in order; the strings were not aliased.
    for (int i = 21; i < 40; i++) EXPECT_EQ(Call("ds_queue_dequeue", {q}).Text(), "v" + std::to_string(i));
    for (int i = 0; i < 100; i++) Call("ds_queue_enqueue", {q, "w"});
    Call("ds_queue_destroy", {q});
}

TEST_F(DSSequence, QueueCopyTakesEverySlot)
{
    int a = int(Call("ds_queue_create").Real());
    int b = int(Call("ds_queue_create").Real());
    for (int i = 1; i <= 16; i++) Call("ds_queue_enqueue", {a, i});
    Call("ds_queue_copy", {b, a});
    EXPECT_EQ(Call("ds_queue_tail", {b}).Real(), 16);
    EXPECT_EQ(Call("ds_queue_size", {b}).Real(), 16);
    Call("ds_queue_dequeue", {a});
    Call("ds_queue_copy", {b, a});
    EXPECT_EQ(Call("ds_queue_head", {b}).Real(), 2);
    EXPECT_EQ(Call("ds_queue_write", {b}).Text(), Call("ds_queue_write", {a}).Text());
}

TEST_F(DSSequence, QueueHelpersOfOtherSubsystems)
{
    int q = DS_Queue_New();
    DS_Queue_EnqueueValues(q, 2, 5.0, (const char*)nullptr, 0.0, "text");
    EXPECT_EQ(DS_Queue_Size(q), 2);
    ScriptValue r = Value_Real(0.0);
    DS_Queue_Dequeue(q, &r);
    EXPECT_EQ(r.kind, VALUE_REAL);
    EXPECT_EQ(r.real, 5.0);
    DS_Queue_Dequeue(q, &r);
    ASSERT_EQ(r.kind, VALUE_STRING);
    EXPECT_STREQ(r.text, "text");
    Value_FreeString(&r);
    EXPECT_EQ(DS_Queue_Size(-3), -3);
    DS_Queue_EnqueueValues(-1, 1, 1.0, (const char*)nullptr); // nothing
    DS_Queue_Clear(q);
    EXPECT_EQ(DS_Queue_Size(q), 0);
    EXPECT_EQ(Errors(), 0);
    DS_Queue_EnqueueValues(q + 5, 2, 1.0, (const char*)nullptr, 2.0, (const char*)nullptr);
    EXPECT_EQ(Errors(), 2);
}

// [SECTION] List

TEST_F(DSSequence, ListSortAscendingAndDescending)
{
    int l = int(Call("ds_list_create").Real());
    for (int v : {3, 1, 2}) Call("ds_list_add", {l, v});
    Call("ds_list_sort", {l, 1});
    EXPECT_EQ(ListText(l), "1,2,3");
    Call("ds_list_sort", {l, 0});
    EXPECT_EQ(ListText(l), "3,2,1");
    Call("ds_list_sort", {l, 0.5}); // 0.5 and above is ascending
    EXPECT_EQ(ListText(l), "1,2,3");

    int s = int(Call("ds_list_create").Real());
    for (const char* v : {"b", "a", "B"}) Call("ds_list_add", {s, v});
    Call("ds_list_sort", {s, 1});
    EXPECT_EQ(ListText(s), "'B','a','b'");
}

TEST_F(DSSequence, ListSortOfEqualValuesKeepsOrReversesTheirOrder)
{
    // Reals equal at single precision, told apart by their exact values.
    int l = int(Call("ds_list_create").Real());
    for (double v : {2.0, 1.0, 1.00000001, 0.5, 1.00000002}) Call("ds_list_add", {l, v});
    Call("ds_list_sort", {l, 1});
    std::vector<double> got;
    for (int i = 0; i < 5; i++) got.push_back(Call("ds_list_find_value", {l, i}).Real());
    EXPECT_EQ(got, (std::vector<double>{0.5, 1.0, 1.00000001, 1.00000002, 2.0}));
    Call("ds_list_sort", {l, 0});
    got.clear();
    for (int i = 0; i < 5; i++) got.push_back(Call("ds_list_find_value", {l, i}).Real());
    EXPECT_EQ(got, (std::vector<double>{2.0, 1.00000002, 1.00000001, 1.0, 0.5}));
}

// The insertion sort of the list under DS_CompareValues, written out here as the reference.
std::vector<Val> InsertionSort(std::vector<Val> v, bool ascending)
{
    for (size_t i = 1; i < v.size(); i++) {
        for (size_t j = i; j >= 1; j--) {
            int c = DS_CompareValues(&v[j - 1].Raw(), &v[j].Raw());
            if (ascending ? c < 1 : c > 0) break;
            std::swap(v[j - 1].Raw(), v[j].Raw());
        }
    }
    return v;
}

TEST_F(DSSequence, ListSortMatchesTheInsertionSortOnEveryMix)
{
    // Mixed kinds, close reals, duplicates, zero precision: the order of the reference.
    Random_SetSeed(7);
    for (int round = 0; round < 60; round++) {
        if (round == 40) DS_SetPrecision(0);
        if (round == 50) DS_SetPrecision(0.3);
        std::vector<Val> values;
        int n = 1 + int(Random_Int(40));
        int mode = round % 5; // 0 reals, 1 strings, 2 mixed, 3 close reals, 4 runs of each kind
        bool run = false;
        for (int i = 0; i < n; i++) {
            int r = int(Random_Int(10));
            if (Random_Int(4) == 0) run = !run;
            if (mode == 1 || (mode == 2 && r < 4) || (mode == 4 && run))
                values.emplace_back(std::string(1, char('a' + r)));
            else if (mode == 3) values.emplace_back(1.0 + r * 1e-9);
            else values.emplace_back(double(r));
        }
        for (int ascending = 0; ascending < 2; ascending++) {
            int l = int(Call("ds_list_create").Real());
            for (const Val& v : values) Call("ds_list_add", {l, v});
            Call("ds_list_sort", {l, ascending});
            std::vector<Val> expected = InsertionSort(values, ascending == 1);
            for (int i = 0; i < n; i++) {
                Val got = Call("ds_list_find_value", {l, i});
                ASSERT_EQ(got.Kind(), expected[size_t(i)].Kind()) << "round " << round << " at " << i;
                if (got.IsString()) EXPECT_EQ(got.Text(), expected[size_t(i)].Text());
                else EXPECT_EQ(got.Real(), expected[size_t(i)].Real()) << "round " << round << " at " << i;
            }
            Call("ds_list_destroy", {l});
        }
    }
}

TEST_F(DSSequence, ListPositions)
{
    int l = int(Call("ds_list_create").Real());
    Call("ds_list_delete", {l, 0}); // empty: nothing
    Call("ds_list_add", {l, "a"});
    Call("ds_list_insert", {l, 1, "c"});  // at the size: appends
    Call("ds_list_insert", {l, 1, "b"});
    Call("ds_list_insert", {l, -1, "x"}); // nothing
    Call("ds_list_insert", {l, 4, "x"});  // past the size: nothing
    EXPECT_EQ(ListText(l), "'a','b','c'");
    Call("ds_list_replace", {l, 1, 7});
    Call("ds_list_replace", {l, 3, 8}); // nothing
    EXPECT_EQ(ListText(l), "'a',7,'c'");
    Call("ds_list_delete", {l, 0});
    EXPECT_EQ(ListText(l), "7,'c'");
    EXPECT_EQ(Call("ds_list_find_value", {l, 5}).Real(), 0);
    EXPECT_FALSE(Call("ds_list_find_value", {l, 5}).IsString());
    EXPECT_EQ(Errors(), 0);
}

TEST_F(DSSequence, ListFindIndex)
{
    int l = int(Call("ds_list_create").Real());
    EXPECT_EQ(Call("ds_list_find_index", {l, 1}).Real(), -1);
    Call("ds_list_add", {l, "1"});
    Call("ds_list_add", {l, 0.1});
    Call("ds_list_add", {l, NoText()});
    EXPECT_EQ(Call("ds_list_find_index", {l, 0.1 + 1e-12}).Real(), 1);
    EXPECT_EQ(Call("ds_list_find_index", {l, 1}).Real(), -1);
    EXPECT_EQ(Call("ds_list_find_index", {l, ""}).Real(), 2);
    EXPECT_EQ(Call("ds_list_find_index", {l, "1"}).Real(), 0);
}

TEST_F(DSSequence, ListShuffleFollowsTheSeededSequence)
{
    int one = int(Call("ds_list_create").Real());
    Call("ds_list_add", {one, "only"});
    Call("ds_list_shuffle", {one});
    EXPECT_EQ(ListText(one), "'only'");

    std::string expected = RunPython("builtins/well512.py", "list_shuffle 12345 25\nlist_shuffle 4294967295 3\n");
    std::istringstream lines(expected);
    for (auto [seed, n] : {std::pair<double, int>{12345, 25}, {4294967295.0, 3}}) {
        int l = int(Call("ds_list_create").Real());
        for (int i = 0; i < n; i++) Call("ds_list_add", {l, i});
        Call("random_set_seed", {seed});
        Call("ds_list_shuffle", {l});
        std::string line;
        std::getline(lines, line);
        std::string got;
        for (int i = 0; i < n; i++) got += (i ? " " : "") + std::to_string(int(Call("ds_list_find_value", {l, i}).Real()));
        EXPECT_EQ(got, line) << "seed " << seed;
    }
}

// [SECTION] Priority queue

TEST_F(DSSequence, PriorityMinimumAndMaximum)
{
    int p = int(Call("ds_priority_create").Real());
    Call("ds_priority_add", {p, "x", 5});
    Call("ds_priority_add", {p, "y", 2});
    Call("ds_priority_add", {p, "z", 9});
    EXPECT_EQ(Call("ds_priority_find_min", {p}).Text(), "y");
    EXPECT_EQ(Call("ds_priority_find_max", {p}).Text(), "z");
    EXPECT_EQ(Call("ds_priority_delete_min", {p}).Text(), "y");
    EXPECT_EQ(Call("ds_priority_size", {p}).Real(), 2);
    EXPECT_EQ(Call("ds_priority_find_priority", {p, "x"}).Real(), 5);
    EXPECT_EQ(Call("ds_priority_find_priority", {p, "absent"}).Real(), 0);
    Call("ds_priority_change_priority", {p, "x", 10});
    EXPECT_EQ(Call("ds_priority_delete_max", {p}).Text(), "x");
    Call("ds_priority_delete_value", {p, "z"});
    EXPECT_EQ(Call("ds_priority_empty", {p}).Real(), 1);
    EXPECT_EQ(Call("ds_priority_delete_min", {p}).Real(), 0);
    EXPECT_EQ(Call("ds_priority_find_max", {p}).Real(), 0);
}

TEST_F(DSSequence, PriorityTiesAndDeletionOrder)
{
    int p = int(Call("ds_priority_create").Real());
    for (const char* v : {"a", "b", "c"}) Call("ds_priority_add", {p, v, 1});
    // The last pair moves into the hole: (c,1), (b,1).
    EXPECT_EQ(Call("ds_priority_delete_min", {p}).Text(), "a");
    EXPECT_EQ(Call("ds_priority_delete_min", {p}).Text(), "c");

    int q = int(Call("ds_priority_create").Real());
    Call("ds_priority_add", {q, "first", 1.0});
    Call("ds_priority_add", {q, "second", 1.00000001});
    EXPECT_EQ(Call("ds_priority_find_min", {q}).Text(), "first");
    EXPECT_EQ(Call("ds_priority_find_max", {q}).Text(), "first");

    int r = int(Call("ds_priority_create").Real());
    Call("ds_priority_add", {r, "v", 1});
    Call("ds_priority_add", {r, "v", 2});
    Call("ds_priority_change_priority", {r, "v", 7});
    EXPECT_EQ(Call("ds_priority_find_max", {r}).Text(), "v");
    Call("ds_priority_delete_max", {r});
    EXPECT_EQ(Call("ds_priority_find_priority", {r, "v"}).Real(), 2);

    // A string priority against a real: 1 in both orders, so the first pair is the minimum.
    int s = int(Call("ds_priority_create").Real());
    Call("ds_priority_add", {s, "A", "text"});
    Call("ds_priority_add", {s, "B", 3});
    EXPECT_EQ(Call("ds_priority_find_min", {s}).Text(), "A");
    EXPECT_EQ(Call("ds_priority_find_max", {s}).Text(), "B");
}

TEST_F(DSSequence, PriorityCopy)
{
    int a = int(Call("ds_priority_create").Real());
    int b = int(Call("ds_priority_create").Real());
    Call("ds_priority_add", {a, "v", "p"});
    Call("ds_priority_copy", {b, a});
    Call("ds_priority_copy", {b, b});
    EXPECT_EQ(Call("ds_priority_find_priority", {b, "v"}).Text(), "p");
    Call("ds_priority_clear", {a});
    EXPECT_EQ(Call("ds_priority_size", {b}).Real(), 1);
}

} // namespace
