// The built-in function table, the built-in variable table, globals and globalvar, and the
// variable-name table.
#include "code/CodeTestSupport.h"
#include "support/TestBuffer.h"

namespace {

void Nop(ScriptValue*, CInstance*, CInstance*, int32_t, ScriptValue*) {}
void Nop2(ScriptValue*, CInstance*, CInstance*, int32_t, ScriptValue*) {}

int g_setterCalls = 0;
bool GetSeven(CInstance*, int32_t, ScriptValue* out)
{
    out->real = 7;
    return true;
}
bool CountingSetter(CInstance*, int32_t, ScriptValue*)
{
    ++g_setterCalls;
    return true;
}

int32_t ExtFind(const char* name) { return std::string(name) == "ext_fn" ? 3 : -1; }
int32_t ExtArgs(int32_t id) { return id == 3 ? 2 : -100; }
const char* ExtName(int32_t id) { return id == 3 ? "ext_fn" : nullptr; }
int32_t ExtCount() { return 4; }
bool ExtCall(int32_t, int32_t, ScriptValue*, ScriptValue*) { return true; }

class TablesTest : public ScriptTest {};

} // namespace

TEST_F(TablesTest, FunctionLookupOrderAndFirstRowWins)
{
    Function_Add("twice", Nop, 1);
    Function_Add("twice", Nop2, 2);
    Function_Add("ext_fn", Nop, 0);
    Function_Add("shadowed", Nop, 0);
    int32_t id;
    ASSERT_TRUE(Code_Function_Find("twice", &id));
    EXPECT_EQ(id, 0);
    EXPECT_EQ(Function_Get(id)->f, Nop);
    EXPECT_FALSE(Code_Function_Find("", &id));
    EXPECT_EQ(id, -1);
    EXPECT_FALSE(Code_Function_Find("Twice", &id));

    Script_Add("shadowed", "", -1);
    ASSERT_TRUE(Code_Function_Find("shadowed", &id));
    EXPECT_EQ(id, FUNCTION_SCRIPT_BASE + 0);

    ExtensionHooks ext{ExtFind, ExtArgs, ExtName, ExtCount, ExtCall, nullptr}; // no full call: library functions only
    Function_SetExtensionHooks(&ext);
    ASSERT_TRUE(Code_Function_Find("ext_fn", &id));
    EXPECT_EQ(id, FUNCTION_EXTENSION_BASE + 3);
    EXPECT_EQ(Function_GetArgCount(id), 2);
    EXPECT_EQ(Function_GetArgCount(FUNCTION_SCRIPT_BASE + 7), -1);
    EXPECT_EQ(Function_GetArgCount(1), 2);
    EXPECT_EQ(Function_GetArgCount(99), -100);
    EXPECT_EQ(Function_GetArgCount(-1), -100);
}

TEST_F(TablesTest, FunctionTableGrowsBy500WithoutMovingIds)
{
    char name[32];
    for (int i = 0; i < 500; ++i) {
        std::snprintf(name, sizeof name, "f%d", i);
        Function_Add(name, Nop, 0);
    }
    EXPECT_EQ(Function_Capacity(), 500);
    Function_Add("f500", Nop, 0);
    EXPECT_EQ(Function_Capacity(), 1000);
    int32_t id;
    ASSERT_TRUE(Code_Function_Find("f250", &id));
    EXPECT_EQ(id, 250);
    ASSERT_TRUE(Code_Function_Find("f500", &id));
    EXPECT_EQ(id, 500);
    // A long name is cut at 63 characters.
    Function_Add(std::string(80, 'n').c_str(), Nop, 0);
    EXPECT_EQ(std::string(Function_Get(501)->name), std::string(63, 'n'));
}

TEST_F(TablesTest, UsageDumpListsMostCalledFirst)
{
    Function_Add("a", Nop, 0);
    Function_Add("b", Nop, 0);
    Function_Add("c", Nop, 0);
    Function_Row(0)->calls = 3;
    Function_Row(1)->calls = 9;
    CaptureConsole log;
    Function_DumpUsage();
    EXPECT_EQ(log.Text(), "b    9\na    3\n");
    EXPECT_EQ(Function_Get(1)->calls, -1);
}

TEST_F(TablesTest, BuiltinVariablesFindAndLimit)
{
    RegisterBuiltinVariable("x", GetSeven, nullptr, false);
    RegisterBuiltinVariable("x", GetSeven, CountingSetter, true);
    EXPECT_EQ(Variable_BuiltIn_Find("x"), 0);
    EXPECT_EQ(Variable_BuiltIn_Find("X"), -1);
    EXPECT_STREQ(Variable_BuiltIn_GetName(5), "<unknown built-in variable>");
    for (int i = 2; i < BUILTIN_VARIABLE_MAX; ++i) RegisterBuiltinVariable("filler", GetSeven, nullptr, false);
    EXPECT_EQ(Variable_BuiltIn_Count(), 500);
    RegisterBuiltinVariable("one_too_many", GetSeven, nullptr, false);
    EXPECT_EQ(Variable_BuiltIn_Count(), 500);
    EXPECT_EQ(Variable_BuiltIn_Find("one_too_many"), -1);
    // The name table gives built-in names their row.
    EXPECT_EQ(Code_Variable_Find("x"), 0);
    EXPECT_EQ(Code_Variable_Find("y"), VARIABLE_USER_BASE);
    EXPECT_EQ(Code_Variable_Find("y"), VARIABLE_USER_BASE);
    EXPECT_STREQ(Code_Variable_GetName(VARIABLE_USER_BASE), "y");
    EXPECT_STREQ(Code_Variable_GetName(VARIABLE_USER_BASE + 1), "<unknown variable>");
}

TEST_F(TablesTest, LocalAccessRefusesReadOnlyAndSetterlessRows)
{
    RegisterBuiltinVariable("ro", GetSeven, CountingSetter, false);
    RegisterBuiltinVariable("nosetter", GetSeven, nullptr, true);
    RegisterBuiltinVariable("rw", GetSeven, CountingSetter, true);
    CInstance inst(0, 0, 100001, -1, false);
    ScriptValue v = Value_Real(1), out = Value_Real(0);
    g_setterCalls = 0;
    EXPECT_FALSE(Variable_Local_Set(&inst, 0, 0, &v));
    EXPECT_FALSE(Variable_Local_Set(&inst, 1, 0, &v));
    EXPECT_EQ(g_setterCalls, 0);
    EXPECT_TRUE(Variable_Local_Set(&inst, 2, 0, &v));
    EXPECT_EQ(g_setterCalls, 1);
    ASSERT_TRUE(Variable_Local_Get(&inst, 1, 0, &out));
    EXPECT_EQ(out.real, 7);
    // Built-in ids at or beyond the rows in use fail both ways.
    EXPECT_FALSE(Variable_Local_Get(&inst, 3, 0, &out));
    EXPECT_FALSE(Variable_Local_Set(&inst, 3, 0, &v));
    EXPECT_FALSE(Variable_Local_Get(&inst, 9999, 0, &out));
    EXPECT_FALSE(Variable_Local_Get(nullptr, 2, 0, &out));
    // User ids go to the instance's list.
    int32_t u = Code_Variable_FindOrAdd("mine");
    EXPECT_TRUE(Variable_Local_Set(&inst, u, 0, &v));
    ASSERT_TRUE(Variable_Local_Get(&inst, u, 0, &out));
    EXPECT_EQ(out.real, 1);
}

TEST_F(TablesTest, GlobalvarDeclarationsGrowInSteps)
{
    EXPECT_EQ(Variable_Global_DeclaredLength(), 10000);
    Variable_Global_Declare(5); // built-in ids are ignored
    EXPECT_FALSE(Variable_Global_IsDeclared(5));
    Variable_Global_Declare(VARIABLE_USER_BASE + 10000 + 500);
    EXPECT_EQ(Variable_Global_DeclaredLength(), 11000);
    Variable_Global_Declare(VARIABLE_USER_BASE + 10000 + 2500);
    EXPECT_EQ(Variable_Global_DeclaredLength(), 13000);
    EXPECT_TRUE(Variable_Global_IsDeclared(VARIABLE_USER_BASE + 12500));
    EXPECT_FALSE(Variable_Global_IsDeclared(VARIABLE_USER_BASE + 12499));
    EXPECT_FALSE(Variable_Global_IsDeclared(VARIABLE_USER_BASE + 20000));
    // Declaring makes the global exist as real 0.
    ScriptValue out = Value_Real(3);
    EXPECT_TRUE(Variable_Global_Get(VARIABLE_USER_BASE + 12500, 0, &out));
    EXPECT_EQ(out.real, 0);
}

TEST_F(TablesTest, SavedGlobalsRestoreDeclarations)
{
    int32_t g = Code_Variable_FindOrAdd("g");
    Variable_Global_Declare(g);
    ScriptValue v = Value_Real(42);
    Variable_Global_Set(g, 0, &v);
    TestBuffer buf;
    Variable_Global_Serialise(&buf);
    Variable_Global_Init();
    EXPECT_FALSE(Variable_Global_IsDeclared(g));
    buf.Seek(eSeek_Start, 0);
    ASSERT_TRUE(Variable_Global_DeSerialise(&buf));
    EXPECT_TRUE(Variable_Global_IsDeclared(g));
    ScriptValue out = Value_Real(0);
    ASSERT_TRUE(Variable_Global_Get(g, 0, &out));
    EXPECT_EQ(out.real, 42);
    // A truncated declaration array leaves the declarations as they were.
    TestBuffer bad;
    Variable_Global_List()->Serialise(&bad);
    Buffer_WriteNumber(&bad, eBuffer_S32, 50);
    bad.Seek(eSeek_Start, 0);
    EXPECT_FALSE(Variable_Global_DeSerialise(&bad));
    EXPECT_TRUE(Variable_Global_IsDeclared(g));
}

TEST_F(TablesTest, ArgumentRowsReadAndWriteTheSlots)
{
    Variable_BuiltIn_RegisterArguments();
    EXPECT_EQ(Variable_BuiltIn_Find("argument_relative"), 0);
    EXPECT_EQ(Variable_BuiltIn_Find("argument"), 1);
    EXPECT_EQ(Variable_BuiltIn_Find("argument0"), 2);
    EXPECT_EQ(Variable_BuiltIn_Find("argument15"), 17);
    EXPECT_EQ(Variable_BuiltIn_Find("argument_count"), 18);
    CInstance inst(0, 0, 100001, -1, false);
    ScriptValue v = Value_Real(0), out = Value_Real(0);
    Value_SetString(&v, "hi");
    ASSERT_TRUE(Variable_Local_Set(&inst, Variable_BuiltIn_Find("argument3"), 0, &v));
    ASSERT_TRUE(Variable_Local_Get(&inst, Variable_BuiltIn_Find("argument"), 3, &out));
    EXPECT_STREQ(out.text, "hi");
    // An index outside 0..15 means slot 0.
    ASSERT_TRUE(Variable_Local_Set(&inst, Variable_BuiltIn_Find("argument"), 20, &v));
    ASSERT_TRUE(Variable_Local_Get(&inst, Variable_BuiltIn_Find("argument0"), 0, &out));
    EXPECT_STREQ(out.text, "hi");
    // argument_count and argument_relative cannot be assigned.
    EXPECT_FALSE(Variable_Local_Set(&inst, Variable_BuiltIn_Find("argument_count"), 0, &v));
    EXPECT_FALSE(Variable_Local_Set(&inst, Variable_BuiltIn_Find("argument_relative"), 0, &v));
    Code_SetArgumentCount(4);
    ASSERT_TRUE(Variable_Local_Get(&inst, Variable_BuiltIn_Find("argument_count"), 0, &out));
    EXPECT_EQ(out.real, 4);
    Value_FreeString(&v);
}

TEST_F(TablesTest, ArgumentSlotCopies)
{
    Code_SetArgument(2, VALUE_STRING, 0, "abc");
    int32_t kind = 0;
    double real = 0;
    char* text = nullptr;
    Code_GetArgument(2, &kind, &real, &text);
    EXPECT_EQ(kind, VALUE_STRING);
    EXPECT_STREQ(text, "abc");
    Code_SetArgument(2, VALUE_REAL, 5, nullptr);
    Code_GetArgument(2, &kind, &real, &text);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(real, 5);
    Code_SetArgument(16, VALUE_STRING, 0, "sixteen");
    Code_GetArgument(16, &kind, &real, &text);
    EXPECT_STREQ(text, "sixteen");
    Code_SetArgument(17, VALUE_REAL, 1, nullptr); // ignored
    Code_GetArgument(17, &kind, &real, &text);
    EXPECT_STREQ(text, "sixteen");
    MEM_FREE(text);
}
