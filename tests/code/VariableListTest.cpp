// Values and variable lists: copy rules, arrays and their error record, the unset-variable
// option, copies, the saved form and the text dump.
#include "code/CodeTestSupport.h"
#include "support/TestBuffer.h"

#include <string>
#include <vector>

#include "Platform/MemoryManager.h"

namespace {

ScriptValue Str(const char* t)
{
    ScriptValue v = Value_Real(0);
    Value_SetString(&v, t);
    return v;
}

class VariableListTest : public ScriptTest {};

} // namespace

TEST_F(VariableListTest, CopyGivesOwnTextAndFreeKeepsKind)
{
    ScriptValue a = Str("abc"), b = Value_Real(3);
    Value_Copy(&b, &a);
    ASSERT_NE(a.text, b.text);
    EXPECT_STREQ(b.text, "abc");
    Value_FreeString(&a);
    EXPECT_EQ(a.kind, VALUE_STRING);
    EXPECT_EQ(a.text, nullptr);
    Value_Move(&a, &b);
    EXPECT_STREQ(a.text, "abc");
    EXPECT_EQ(b.kind, VALUE_REAL);
    Value_FreeString(&a);
    // A real's text pointer is never looked at.
    ScriptValue r{VALUE_REAL, reinterpret_cast<char*>(0x1), 1.0};
    Value_FreeString(&r);
    EXPECT_EQ(r.text, reinterpret_cast<char*>(0x1));
}

TEST_F(VariableListTest, ScalarAndArrayElementZeroAreOne)
{
    CVariableList l;
    int32_t id = Code_Variable_FindOrAdd("a");
    ScriptValue v = Value_Real(7);
    l.Set(id, 0, &v);
    ScriptValue out = Value_Real(0);
    ASSERT_TRUE(l.Get(id, 0, &out));
    EXPECT_EQ(out.real, 7);
    // a[5] on the variable: row 0 grows to 6 elements, 1..4 are real 0, the scalar stays.
    v.real = 9;
    ASSERT_TRUE(l.Set(id, 5, &v));
    CVariable* node = l.Find(id);
    ASSERT_EQ(node->rowCount, 1);
    EXPECT_EQ(node->rows[0].length, 6);
    for (int i = 1; i < 5; ++i) {
        ASSERT_TRUE(l.Get(id, i, &out));
        EXPECT_EQ(out.real, 0);
    }
    ASSERT_TRUE(l.Get(id, 0, &out));
    EXPECT_EQ(out.real, 7);
}

TEST_F(VariableListTest, TwoDimensionalWriteCreatesRows)
{
    CVariableList l;
    int32_t id = Code_Variable_FindOrAdd("g");
    ScriptValue v = Str("x");
    ASSERT_TRUE(l.Set(id, 2 * 32000 + 3, &v));
    CVariable* node = l.Find(id);
    ASSERT_EQ(node->rowCount, 3);
    EXPECT_EQ(node->rows[0].length, 0);
    EXPECT_EQ(node->rows[0].elements, nullptr);
    EXPECT_EQ(node->rows[1].length, 0);
    EXPECT_EQ(node->rows[2].length, 4);
    ScriptValue out = Value_Real(0);
    ASSERT_TRUE(l.Get(id, 2 * 32000 + 3, &out));
    EXPECT_STREQ(out.text, "x");
    Value_FreeString(&out);
    Value_FreeString(&v);
}

TEST_F(VariableListTest, OutOfRangeReadsAndNegativeWritesSetTheRecord)
{
    CVariableList l;
    int32_t id = Code_Variable_FindOrAdd("a");
    ScriptValue v = Value_Real(1), out = Str("old");
    l.Set(id, 0, &v);
    EXPECT_FALSE(l.Get(id, 1, &out));
    EXPECT_EQ(out.kind, VALUE_REAL);
    EXPECT_EQ(out.real, 0);
    EXPECT_EQ(g_ArrayError.error, 1);
    EXPECT_EQ(g_ArrayError.row, 0);
    EXPECT_EQ(g_ArrayError.column, 1);
    EXPECT_EQ(g_ArrayError.rowCount, 0);
    EXPECT_EQ(g_ArrayError.rowLength, -1);

    l.Set(id, 3, &v);
    EXPECT_FALSE(l.Get(id, 7, &out));
    EXPECT_EQ(g_ArrayError.rowLength, 4);
    EXPECT_TRUE(l.Get(id, 3, &out));
    EXPECT_EQ(g_ArrayError.error, 0);

    EXPECT_FALSE(l.Set(id, -5, &v));
    EXPECT_EQ(g_ArrayError.error, 1);
    EXPECT_EQ(g_ArrayError.column, -5);
    EXPECT_FALSE(l.Set(id, -32001, &v));
    EXPECT_EQ(g_ArrayError.row, -1);
    EXPECT_EQ(g_ArrayError.rowLength, -1);
}

TEST_F(VariableListTest, UnsetVariablesFailUnlessTheOptionSaysZero)
{
    CVariableList l;
    int32_t id = Code_Variable_FindOrAdd("never");
    ScriptValue out = Str("old");
    EXPECT_FALSE(l.Get(id, 0, &out));
    EXPECT_EQ(out.kind, VALUE_REAL);
    EXPECT_EQ(out.real, 0);
    Variable_SetUnsetReadsZero(true);
    out.real = 5;
    EXPECT_TRUE(l.Get(id, 0, &out));
    EXPECT_EQ(out.real, 0);
}

TEST_F(VariableListTest, NullStringStaysNull)
{
    CVariableList l;
    int32_t id = Code_Variable_FindOrAdd("s");
    ScriptValue v{VALUE_STRING, nullptr, 0};
    l.Set(id, 0, &v);
    ScriptValue out = Value_Real(4);
    ASSERT_TRUE(l.Get(id, 0, &out));
    EXPECT_EQ(out.kind, VALUE_STRING);
    EXPECT_EQ(out.text, nullptr);
}

TEST_F(VariableListTest, ClearRecyclesNodesAndAssignCopiesDeeply)
{
    CVariableList a;
    int32_t x = Code_Variable_FindOrAdd("x"), y = Code_Variable_FindOrAdd("y");
    ScriptValue s = Str("text");
    a.Set(x, 0, &s);
    a.Set(y, 32000 + 2, &s);
    CVariableList b;
    b.Assign(&a);
    EXPECT_EQ(b.Count(), 2);
    ScriptValue out = Value_Real(0);
    ASSERT_TRUE(b.Get(y, 32000 + 2, &out));
    EXPECT_STREQ(out.text, "text");
    EXPECT_NE(b.Find(y)->rows[1].elements[2].text, a.Find(y)->rows[1].elements[2].text);
    EXPECT_EQ(b.Find(y)->rows[0].elements, nullptr);
    a.Clear();
    EXPECT_EQ(a.Count(), 0);
    EXPECT_EQ(a.Find(x), nullptr);
    ASSERT_TRUE(b.Get(x, 0, &out));
    EXPECT_STREQ(out.text, "text");
    Value_FreeString(&out);
    Value_FreeString(&s);
}

TEST_F(VariableListTest, LargeListsFindEveryVariableThroughGrowthCopyAndClear)
{
    // Thousands of names, as variable_global_set with new names makes: the list passes the
    // size at which it indexes its variables and grows that index several times.
    std::vector<int32_t> ids;
    for (int32_t k = 0; k < 5000; ++k) ids.push_back(Code_Variable_FindOrAdd(("many" + std::to_string(k)).c_str()));
    CVariableList a;
    for (int32_t k = 0; k < 5000; ++k) {
        ScriptValue v = Value_Real(k);
        ASSERT_TRUE(a.Set(ids[size_t(k)], 0, &v));
    }
    EXPECT_EQ(a.Count(), 5000);
    // Each variable is found, once: a second write changes it in place.
    ScriptValue out = Value_Real(0);
    for (int32_t k = 0; k < 5000; ++k) {
        ASSERT_TRUE(a.Get(ids[size_t(k)], 0, &out)) << k;
        ASSERT_EQ(out.real, double(k));
    }
    ScriptValue again = Value_Real(-1);
    a.Set(ids[4321], 0, &again);
    EXPECT_EQ(a.Count(), 5000);
    EXPECT_EQ(a.Find(ids[4321])->value.real, -1.0);
    EXPECT_EQ(a.Find(Code_Variable_FindOrAdd("never_set")), nullptr);
    // A copy, and a list read back from the saved form, find every one of them too.
    CVariableList b;
    b.Assign(&a);
    TestBuffer saved;
    a.Serialise(&saved);
    saved.Seek(eSeek_Start, 0);
    CVariableList c;
    ASSERT_TRUE(c.DeSerialise(&saved));
    for (CVariableList* copy : {&b, &c}) {
        EXPECT_EQ(copy->Count(), 5000);
        for (int32_t k = 0; k < 5000; ++k) {
            ASSERT_TRUE(copy->Get(ids[size_t(k)], 0, &out)) << k;
            ASSERT_EQ(out.real, k == 4321 ? -1.0 : double(k));
        }
    }
    // Cleared, the list forgets the index with its variables and builds up again.
    a.Clear();
    EXPECT_EQ(a.Find(ids[10]), nullptr);
    for (int32_t k = 0; k < 300; ++k) a.Set(ids[size_t(k) * 7], 0, &again);
    EXPECT_EQ(a.Count(), 300);
    EXPECT_NE(a.Find(ids[7 * 299]), nullptr);
    EXPECT_EQ(a.Find(ids[1]), nullptr);
}

TEST_F(VariableListTest, SavedFormRoundTripsAndSkipsUnknownNames)
{
    CVariableList a;
    int32_t keep = Code_Variable_FindOrAdd("keep"), arr = Code_Variable_FindOrAdd("arr");
    int32_t gone = Code_Variable_FindOrAdd("gone");
    ScriptValue s = Str("hello"), r = Value_Real(2.5);
    a.Set(keep, 0, &s);
    a.Set(gone, 0, &r);
    a.Set(arr, 3, &r);
    a.Set(arr, 32000 + 1, &s);
    TestBuffer buf;
    a.Serialise(&buf);

    // A game that no longer knows "gone".
    Code_Variable_Free();
    int32_t keep2 = Code_Variable_FindOrAdd("arr");
    int32_t arr2 = Code_Variable_FindOrAdd("keep");
    (void)keep2;
    (void)arr2;
    buf.Seek(eSeek_Start, 0);
    CVariableList b;
    CaptureConsole log;
    ASSERT_TRUE(b.DeSerialise(&buf));
    EXPECT_EQ(log.Text(), "WARNING: Load game failed to find variable \"gone\"\n");
    EXPECT_EQ(b.Count(), 2);
    ScriptValue out = Value_Real(0);
    ASSERT_TRUE(b.Get(Code_Variable_FindUser("keep"), 0, &out));
    EXPECT_STREQ(out.text, "hello");
    ASSERT_TRUE(b.Get(Code_Variable_FindUser("arr"), 3, &out));
    EXPECT_EQ(out.kind, VALUE_REAL);
    EXPECT_EQ(out.real, 2.5);
    ASSERT_TRUE(b.Get(Code_Variable_FindUser("arr"), 32001, &out));
    EXPECT_STREQ(out.text, "hello");
    Value_FreeString(&out);
    Value_FreeString(&s);
}

TEST_F(VariableListTest, DeSerialiseRefusesBadCountsAndTruncatedData)
{
    int32_t id = Code_Variable_FindOrAdd("v");
    (void)id;
    auto withCounts = [](int32_t count, int32_t rows, int32_t length) {
        TestBuffer b;
        Buffer_WriteNumber(&b, eBuffer_S32, count);
        Buffer_WriteString(&b, "v");
        Buffer_WriteNumber(&b, eBuffer_S32, 0);
        Buffer_WriteNumber(&b, eBuffer_F64, 1);
        Buffer_WriteString(&b, nullptr);
        Buffer_WriteNumber(&b, eBuffer_S32, rows);
        Buffer_WriteNumber(&b, eBuffer_S32, length);
        b.Seek(eSeek_Start, 0);
        return b;
    };
    CVariableList l;
    TestBuffer neg = withCounts(-1, 0, 0);
    EXPECT_FALSE(l.DeSerialise(&neg));
    TestBuffer negRows = withCounts(1, -3, 0);
    EXPECT_FALSE(l.DeSerialise(&negRows));
    TestBuffer longRow = withCounts(1, 1, 32001);
    EXPECT_FALSE(l.DeSerialise(&longRow));
    // A row of 5 elements announced but none present: the read stops, nothing is kept.
    TestBuffer truncated = withCounts(1, 1, 5);
    EXPECT_FALSE(l.DeSerialise(&truncated));
    EXPECT_EQ(l.Count(), 0);
    // Many variables announced, one present.
    TestBuffer many = withCounts(2000000000, 0, 0);
    EXPECT_FALSE(l.DeSerialise(&many));
    EXPECT_EQ(l.Count(), 1);
}

TEST_F(VariableListTest, DumpPrintsValuesAndCutsBigArrays)
{
    CVariableList l;
    int32_t a = Code_Variable_FindOrAdd("a"), s = Code_Variable_FindOrAdd("s");
    ScriptValue v = Value_Real(3), t = Str("q"), h = Value_Real(0.5);
    l.Set(a, 0, &v);
    l.Set(s, 0, &t);
    CaptureConsole c;
    l.DebugPrint(&c);
    // Buckets in order: a is 100000 (bucket 32), s 100001 (bucket 33).
    EXPECT_EQ(c.text, "a(100000) = 3\ns(100001) = \"q\"\n");

    CVariableList big;
    int32_t g = Code_Variable_FindOrAdd("grid");
    for (int i = 0; i < 40; ++i)
        for (int j = 0; j < 40; ++j) big.Set(g, i * 32000 + j, &h);
    CaptureConsole d;
    big.DebugPrint(&d);
    // Element [0, 0] is the scalar.
    EXPECT_EQ(d.text.find("grid(100002) = { { 0.500000 ,0.500000"), 0u);
    size_t rows = 0, pos = 0;
    while ((pos = d.text.find(" ... },  ", pos)) != std::string::npos) {
        ++rows;
        ++pos;
    }
    EXPECT_EQ(rows, 30u);
    EXPECT_NE(d.text.find("},   ...  }\n"), std::string::npos);
    Value_FreeString(&t);
}
