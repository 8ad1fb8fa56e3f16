// Text forms of the data structures: the worked examples, every kind against Python's struct
// (tests/data/builtins/dsmodel.py), round trips, and texts that must leave a structure as it
// was.
#include "builtins/BuiltinsTestSupport.h"

#include <sstream>

#include "Files/DS/DS_Stack.h"

namespace {

class DSText : public BuiltinsTest {
protected:
    int Make(const char* kind) { return int(Call((std::string("ds_") + kind + "_create").c_str()).Real()); }
    std::string Write(const char* kind, int index)
    {
        return Call((std::string("ds_") + kind + "_write").c_str(), {index}).Text();
    }
    void Read(const char* kind, int index, const Val& text)
    {
        Call((std::string("ds_") + kind + "_read").c_str(), {index, text});
    }
};

TEST_F(DSText, WorkedExamples)
{
    int s = Make("stack");
    Call("ds_stack_push", {s, 1});
    EXPECT_EQ(Write("stack", s), "650000000100000000000000000000000000F03F00000000");
    int l = Make("list");
    Call("ds_list_add", {l, "hi"});
    EXPECT_EQ(Write("list", l), "2D01000001000000010000000000000000000000020000006869");
    int m = Make("map");
    Call("ds_map_add", {m, "a", 1});
    EXPECT_EQ(Write("map", m), "1:61:3FF0");
    int n = Make("map");
    Call("ds_map_add", {n, 2, "hi"});
    EXPECT_EQ(Write("map", n), "2:40:6869");
    Call("ds_map_add", {n, "a", 1});
    std::string both = Write("map", n);
    EXPECT_TRUE(both == "2:40:6869,1:61:3FF0" || both == "1:61:3FF0,2:40:6869") << both;
    EXPECT_EQ(both, RunPython("builtins/dsmodel.py", "text map r:2 s:6869 s:61 r:1\n").substr(0, both.size()));
    int e = Make("stack");
    EXPECT_EQ(Write("stack", e), "6500000000000000");
    Read("stack", s, "6500000000000000");
    EXPECT_EQ(Call("ds_stack_size", {s}).Real(), 0);
}

TEST_F(DSText, EveryKindAgainstStruct)
{
    int s = Make("stack");
    Call("ds_stack_push", {s, -2.5});
    Call("ds_stack_push", {s, "\xC3\xA9t\xC3\xA9"});
    int l = Make("list");
    Call("ds_list_add", {l, 1e300});
    Call("ds_list_add", {l, ""});
    Call("ds_list_add", {l, NoText()});
    int q = Make("queue");
    for (int i = 0; i < 3; i++) Call("ds_queue_enqueue", {q, i + 0.25});
    Call("ds_queue_dequeue", {q});
    int p = Make("priority");
    Call("ds_priority_add", {p, "v1", 3});
    Call("ds_priority_add", {p, 7, "p2"});
    int g = int(Call("ds_grid_create", {2, 2}).Real());
    Call("ds_grid_set", {g, 1, 0, "x"});
    Call("ds_grid_set", {g, 0, 1, 0.5});
    int m = Make("map");
    Call("ds_map_add", {m, "key", ""});
    Call("ds_map_add", {m, 0.0, 100});
    Call("ds_map_add", {m, -1, "v"});
    Call("ds_map_add", {m, 0.5, 2});

    std::string script =
        "text stack r:-2.5 s:C3A974C3A9\n"
        "text list r:1e300 s: s:\n"
        // capacity 16: the dequeued first value stays in its slot, the rest are cleared
        "text queue 3 1 r:0.25 r:1.25 r:2.25 r:0 r:0 r:0 r:0 r:0 r:0 r:0 r:0 r:0 r:0 r:0 r:0 r:0\n"
        "text priority r:3 s:7631 s:7032 r:7\n"
        "text grid 2 2 r:0 r:0.5 s:78 r:0\n"
        "text map s:6B6579 s: r:0 r:100 r:-1 s:76 r:0.5 r:2\n";
    std::istringstream expected(RunPython("builtins/dsmodel.py", script));
    std::string line;
    for (auto [kind, index] : std::vector<std::pair<const char*, int>>{
             {"stack", s}, {"list", l}, {"queue", q}, {"priority", p}, {"grid", g}, {"map", m}}) {
        std::getline(expected, line);
        EXPECT_EQ(Write(kind, index), line) << kind;
    }
}

TEST_F(DSText, RoundTripsEveryKind)
{
    for (const char* kind : {"stack", "queue", "list", "priority", "map"}) {
        int a = Make(kind), b = Make(kind);
        for (int i = 0; i < 40; i++) {
            Val v = i % 3 ? Val(i * 1.5) : Val("s" + std::to_string(i));
            std::string k(kind);
            if (k == "stack") Call("ds_stack_push", {a, v});
            if (k == "queue") Call("ds_queue_enqueue", {a, v});
            if (k == "list") Call("ds_list_add", {a, v});
            if (k == "priority") Call("ds_priority_add", {a, v, i % 5});
            if (k == "map") Call("ds_map_add", {a, v, i});
        }
        if (std::string(kind) == "queue")
            for (int i = 0; i < 10; i++) Call("ds_queue_dequeue", {a});
        std::string text = Write(kind, a);
        Read(kind, b, text);
        EXPECT_EQ(Write(kind, b), text) << kind;
    }
    int g = int(Call("ds_grid_create", {3, 2}).Real());
    int h = int(Call("ds_grid_create", {1, 1}).Real());
    Call("ds_grid_set", {g, 2, 1, "corner"});
    Read("grid", h, Call("ds_grid_write", {g}));
    EXPECT_EQ(Call("ds_grid_width", {h}).Real(), 3);
    EXPECT_EQ(Call("ds_grid_get", {h, 2, 1}).Text(), "corner");
    // A dequeued queue keeps its head and tail through the text.
    int q = Make("queue"), r = Make("queue");
    for (int i = 0; i < 5; i++) Call("ds_queue_enqueue", {q, i});
    Call("ds_queue_dequeue", {q});
    Read("queue", r, Call("ds_queue_write", {q}));
    EXPECT_EQ(DS_Queues().Get(r)->HeadIndex(), 1);
    EXPECT_EQ(Call("ds_queue_head", {r}).Real(), 1);
    EXPECT_EQ(Call("ds_queue_size", {r}).Real(), 4);
}

TEST_F(DSText, MapTextDetails)
{
    int m = Make("map");
    Read("map", m, "3:6B:,0::40");
    EXPECT_EQ(Call("ds_map_find_value", {m, "k"}).Text(), "");
    EXPECT_TRUE(Call("ds_map_find_value", {m, "k"}).IsString());
    EXPECT_EQ(Call("ds_map_find_value", {m, 0}).Real(), 2);
    // A repeated key gives two entries; the first is found; deleting it shows the second.
    Read("map", m, "1:61:3FF0,1:61:40");
    EXPECT_EQ(Call("ds_map_size", {m}).Real(), 2);
    EXPECT_EQ(Call("ds_map_find_value", {m, "a"}).Real(), 1);
    Call("ds_map_delete", {m, "a"});
    EXPECT_EQ(Call("ds_map_find_value", {m, "a"}).Real(), 2);
    Read("map", m, "");
    EXPECT_EQ(Call("ds_map_size", {m}).Real(), 0);
    EXPECT_EQ(Write("map", m), "");
}

TEST_F(DSText, MalformedTextsChangeNothing)
{
    int s = Make("stack"), l = Make("list"), q = Make("queue"), p = Make("priority"), m = Make("map");
    int g = int(Call("ds_grid_create", {1, 1}).Real());
    Call("ds_stack_push", {s, "keep"});
    Call("ds_list_add", {l, "keep"});
    Call("ds_queue_enqueue", {q, "keep"});
    Call("ds_priority_add", {p, "keep", 1});
    Call("ds_map_add", {m, "keep", 1});
    Call("ds_grid_set", {g, 0, 0, "keep"});
    std::string before[] = {Write("stack", s), Write("list", l), Write("queue", q), Write("priority", p),
                            Write("map", m), Write("grid", g)};
    const char* binary[] = {
        "2D010000",                                                 // list id, no count
        "2D010000FFFFFFFF",                                         // negative count
        "2D010000FFFFFF7F",                                         // huge count
        "2D01000001000000010000000000000000000000FFFFFFFF6869",     // text longer than the data
        "2D010000010000000100000000000000000000000300000068",       // text cut short
        "65000000020000000000000000000000000000000000000000000000", // second value missing
        "C900000001000000020000000200000000000000000000000000000000000000", // head after tail
        "C900000005000000000000000200000000000000000000000000000000000000", // tail past capacity
        "F501000002000000",                                         // priority: no pairs
        "590200000200000002000000",                                 // grid 2x2 without cells
        "59020000FFFFFFFF01000000",                                 // negative width
        "59020000FFFF0000FFFF0000",                                 // 65535 x 65535 cells
        "",
        "zz",
    };
    for (const char* text : binary)
        for (const char* kind : {"stack", "list", "queue", "priority", "grid"}) {
            int index = std::string(kind) == "stack" ? s : std::string(kind) == "list" ? l
                      : std::string(kind) == "queue" ? q : std::string(kind) == "priority" ? p : g;
            Read(kind, index, text);
        }
    for (const char* text : {"1:61", "1:61:3FF0,", "4:61:3F", "1:6:3F", "0:3FF00000000000000000:1",
                             "1:6G:3F", "1:61;3F", ",", "1:61:3F:40", "x"})
        Read("map", m, text);
    // Reals: nothing at all. A string without text is the empty text (the tree interpreter
    // holds '' so): too short for the binary kinds, and an empty map's text.
    for (const char* kind : {"stack", "list", "queue", "priority", "map", "grid"}) {
        Read(kind, 0, 5);
        if (std::string(kind) != "map") Read(kind, 0, NoText());
    }
    std::string after[] = {Write("stack", s), Write("list", l), Write("queue", q), Write("priority", p),
                           Write("map", m), Write("grid", g)};
    for (int i = 0; i < 6; i++) EXPECT_EQ(after[i], before[i]) << i;
    Read("map", m, NoText());
    EXPECT_EQ(Num("ds_map_size", {m}), 0);
    EXPECT_EQ(Errors(), 0);
    // Another kind's text is no error and changes nothing either.
    Read("stack", s, Write("list", l));
    EXPECT_EQ(Write("stack", s), before[0]);
}

TEST_F(DSText, ReadStripsMarksAndKindsOfOtherValues)
{
    int l = Make("list");
    // Kinds 0x40000000 (marked list 3), 7 (unknown, with a text) and 1.
    Read("list", l,
         "2D01000003000000"
         "000000400000000000000840" "00000000"
         "070000000000000000000000" "0100000041"
         "010000000000000000000000" "0100000042");
    ASSERT_EQ(Call("ds_list_size", {l}).Real(), 3);
    EXPECT_EQ(Call("ds_list_find_value", {l, 0}).Kind(), VALUE_REAL);
    EXPECT_EQ(Call("ds_list_find_value", {l, 0}).Real(), 3);
    EXPECT_EQ(Call("ds_list_find_value", {l, 1}).Kind(), VALUE_REAL);
    EXPECT_EQ(Call("ds_list_find_value", {l, 2}).Text(), "B");
}

} // namespace
