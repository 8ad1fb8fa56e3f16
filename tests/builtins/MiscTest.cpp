// Events through the world's dispatch hooks, executed code (strings and files) with the
// argument save and restore, variables by name, and external calls into the test library
// (tests/builtins/extlib, built as libzbtestext.so).
#include "builtins/BuiltinsTestSupport.h"

#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Code/Code_Error.h"
#include "Files/Function/Function_Misc.h"
#include "Files/Function/Function_World.h"
#include "Files/Function/Function_Registrars.h"
#include "Files/Object/Instance.h"
#include "Files/Object/Object.h"
#include "Files/Script/Script_Main.h"
#include "Files/Support/CommandLine.h"
#include "Files/Support/LoadSave.h"
#include "support/ScratchFolder.h"

namespace {

struct Performed {
    CInstance* self;
    CInstance* other;
    int object, type, number;
};
std::vector<Performed> g_performed;
int g_currentObject = -1, g_currentType = 0, g_currentNumber = 0;

void FakePerform(CInstance* self, CInstance* other, int32_t object, int32_t type, int32_t number)
{
    g_performed.push_back({self, other, object, type, number});
}
void FakeCurrent(int32_t* object, int32_t* type, int32_t* number)
{
    *object = g_currentObject;
    *type = g_currentType;
    *number = g_currentNumber;
}

class MiscBuiltins : public BuiltinsTest {
protected:
    void SetUp() override
    {
        BuiltinsTest::SetUp();
        g_performed.clear();
        static const EventDispatchHooks hooks = {FakePerform, FakeCurrent};
        Function_Misc_SetEventHooks(&hooks);
    }
};

// [SECTION] Events

TEST_F(MiscBuiltins, EventsGoToTheDispatchOfSelfsObject)
{
    Object_Add(); // object 1
    m_self->SetObject(1, false);
    Call("event_user", {3});
    Call("event_perform", {2, 5.5});
    Call("event_perform_object", {4, 3, 1});
    ASSERT_EQ(g_performed.size(), 3u);
    EXPECT_EQ(g_performed[0].object, 1);
    EXPECT_EQ(g_performed[0].type, 7);
    EXPECT_EQ(g_performed[0].number, 13);
    EXPECT_EQ(g_performed[0].self, m_self);
    EXPECT_EQ(g_performed[1].type, 2);
    EXPECT_EQ(g_performed[1].number, 6); // rounded half to even
    EXPECT_EQ(g_performed[2].object, 4);
    EXPECT_EQ(g_performed[2].type, 3);
    EXPECT_EQ(g_performed[2].number, 1);
}

TEST_F(MiscBuiltins, EventInheritedRunsTheParentsEvent)
{
    int parent = Object_Add();
    int child = Object_Add();
    Object_Lookup(child)->m_parentIndex = parent;
    g_currentObject = child;
    g_currentType = 3;
    g_currentNumber = 2;
    Call("event_inherited");
    ASSERT_EQ(g_performed.size(), 1u);
    EXPECT_EQ(g_performed[0].object, parent);
    EXPECT_EQ(g_performed[0].type, 3);
    EXPECT_EQ(g_performed[0].number, 2);
    g_currentObject = parent; // no parent
    Call("event_inherited");
    Object_Lookup(child)->m_parentIndex = 55; // a parent that does not exist
    g_currentObject = child;
    Call("event_inherited");
    g_currentObject = -1; // no event runs
    Call("event_inherited");
    EXPECT_EQ(g_performed.size(), 1u);
    Function_Misc_SetEventHooks(nullptr);
    Call("event_user", {0});
    EXPECT_EQ(g_performed.size(), 1u);
}

// [SECTION] Executed code

TEST_F(MiscBuiltins, ExecuteStringWithArguments)
{
    Code_SetArgument(0, VALUE_REAL, 7, nullptr);
    Code_SetArgument(1, VALUE_STRING, 0, "caller");
    EXPECT_EQ(Call("execute_string", {"return argument0 + 1", 41}).Real(), 42);
    EXPECT_EQ(Call("execute_string", {"return argument1", 41}).Real(), 0);
    EXPECT_EQ(Call("execute_string", {"return argument0 + argument1", "a", "b"}).Text(), "ab");
    EXPECT_EQ(Code_Arguments()[0].real, 7);
    EXPECT_STREQ(Code_Arguments()[1].text, "caller");
    EXPECT_EQ(Call("execute_string").Real(), 0);
    EXPECT_EQ(Errors(), 0);
    // The same text again runs the kept unit; results stay right.
    for (int i = 0; i < 3; i++) EXPECT_EQ(Call("execute_string", {"return argument0 * 2", i}).Real(), i * 2);
}

TEST_F(MiscBuiltins, ExecuteStringCompileError)
{
    Code_SetArgument(0, VALUE_REAL, 9, nullptr);
    Val r = Call("execute_string", {"x = (;", 1});
    EXPECT_EQ(r.Real(), 0);
    EXPECT_TRUE(Logged("COMPILATION ERROR in string to be executed\n")) << Log();
    EXPECT_EQ(Errors(), 1);
    EXPECT_EQ(Code_Arguments()[0].real, 9);
}

TEST_F(MiscBuiltins, ExecuteStringNestedAndRecursive)
{
    EXPECT_EQ(Call("execute_string", {"return execute_string('return 5') + 1"}).Real(), 6);
    // A text that runs itself: the running unit is not shared with the nested run.
    const char* text = "if (argument0 > 0) return execute_string(global.t, argument0 - 1) + 1; return 0;";
    Call("variable_global_set", {"t", text});
    EXPECT_EQ(Call("execute_string", {text, 4}).Real(), 4);
    EXPECT_EQ(Call("execute_string", {text, 2}).Real(), 2);
    EXPECT_EQ(Errors(), 0);
    // Many different texts: the kept units are bounded and still right.
    for (int i = 0; i < 200; i++) EXPECT_EQ(Call("execute_string", {"return " + std::to_string(i)}).Real(), i);
}

// Executed text resolves names as they are when it runs: a word that names no object reads
// the variable, and reads the object's index once one has that name (added, renamed to it),
// and the variable again once it is gone. While no name changes, the text is compiled once.
TEST_F(MiscBuiltins, ExecuteStringResolvesTheNamesOfNow)
{
    Function_Resource_Register();
    const int32_t next = Object_GetCount();
    const std::string added = "__newobject" + std::to_string(next);
    Call("variable_local_set", {"thing", -1});
    Call("variable_local_set", {added, -1});
    auto run = [&](const std::string& text) { return Call("execute_string", {"return " + text}).Real(); };

    EXPECT_EQ(run("thing"), -1);
    EXPECT_EQ(run(added), -1);
    int64_t compiles = Function_Misc_ExecuteCompiles();
    EXPECT_EQ(run("thing"), -1);
    EXPECT_EQ(Function_Misc_ExecuteCompiles(), compiles) << "the same text under the same names is reused";

    ASSERT_EQ(Call("object_add").Real(), next);
    EXPECT_EQ(run(added), next) << "an object added since";
    EXPECT_EQ(run("thing"), -1);
    Object_Lookup(next)->SetName("thing");
    EXPECT_EQ(run("thing"), next) << "an object renamed since";
    EXPECT_EQ(run(added), -1) << "its old name is gone";
    compiles = Function_Misc_ExecuteCompiles();
    EXPECT_EQ(run("thing"), next);
    EXPECT_EQ(Function_Misc_ExecuteCompiles(), compiles);

    Call("object_delete", {next});
    EXPECT_EQ(run("thing"), -1) << "an object deleted since";
    EXPECT_EQ(Errors(), 0) << Log();
}

TEST_F(MiscBuiltins, ExecuteStringUnderTheTreeInterpreter)
{
    g_StartupOptions.byteCodeInterpreter = 0;
    EXPECT_EQ(Call("execute_string", {"return argument0 * 3", 5}).Real(), 15);
    g_StartupOptions.byteCodeInterpreter = 1;
}

TEST_F(MiscBuiltins, ScriptExecuteReportsAFailingScriptUnderTheTreeInterpreter)
{
    Function_Resource_Register();
    g_StartupOptions.byteCodeInterpreter = 0;
    Script_Add("scr_fails", "return argument0 + undefined_name;", -1);
    Script_Add("scr_sum", "return argument0 + argument1;", -1);
    ASSERT_TRUE(Script_Prepare());
    EXPECT_EQ(Call("script_execute", {1, 40, 2}).Real(), 42);
    EXPECT_EQ(Errors(), 0);
    EXPECT_EQ(Call("script_execute", {0, 1}).Text(), "ERROR");
    EXPECT_EQ(Errors(), 1);
    EXPECT_TRUE(Logged("In script scr_fails:\n")) << Log();
    EXPECT_TRUE(Logged("Unknown variable undefined_name")) << Log();
    EXPECT_FALSE(Code_Error_Recorded()); // the next error of the same code is not swallowed
    // A script that does not exist is no error.
    EXPECT_EQ(Call("script_execute", {7}).Real(), 0);
    EXPECT_EQ(Errors(), 1);
    g_StartupOptions.byteCodeInterpreter = 1;
}

TEST_F(MiscBuiltins, ExecuteFile)
{
    // The game's folders: the scratch folder is the current and the program folder.
    ScratchFolder folder;
    ScopedCurrentFolder cwd(folder.Path());
    LoadSave_SetFolders(folder.Path().c_str(), (folder / "save").c_str(), folder.Path().c_str());
    Scratch_WriteFile(folder / "code.txt", "var a;\na = argument0;\nreturn a * 2;\n");
    Scratch_WriteFile(folder / "bad.txt", "return (;\n");
    EXPECT_EQ(Call("execute_file", {folder / "code.txt", 21}).Real(), 42);
    EXPECT_EQ(Call("execute_file", {"bad.txt"}).Real(), 0);
    EXPECT_TRUE(Logged("COMPILATION ERROR in file to be executed\n"));
    EXPECT_EQ(Call("execute_file", {folder / "missing.txt"}).Real(), 0);
    EXPECT_TRUE(Logged("Trying to execute non-existing file."));
    EXPECT_EQ(Call("execute_file", {folder.Path()}).Real(), 0); // a folder
    EXPECT_EQ(Errors(), 3);
    // Long files are cut at 5119 bytes of code text: a statement beyond never runs.
    std::string text = "global.hit = 1;\n" + std::string(6000, ' ') + "\nglobal.hit = 2;\n";
    Scratch_WriteFile(folder / "long.txt", text);
    Call("execute_file", {folder / "long.txt"});
    EXPECT_EQ(Call("variable_global_get", {"hit"}).Real(), 1);
    LoadSave_SetFolders(nullptr, nullptr, nullptr);
}

// [SECTION] Variables

TEST_F(MiscBuiltins, GlobalVariablesByName)
{
    EXPECT_EQ(Call("variable_global_exists", {"a"}).Real(), 0);
    Call("variable_global_set", {"a", 5});
    EXPECT_EQ(Call("variable_global_exists", {"a"}).Real(), 1);
    EXPECT_EQ(Call("variable_global_get", {"a"}).Real(), 5);
    Call("variable_global_array2_set", {"m", 1, 2, "cell"});
    ScriptValue v = Value_Real(0.0);
    EXPECT_TRUE(Variable_Global_Get(Code_Variable_Find("m"), 32002, &v));
    EXPECT_STREQ(v.text, "cell");
    Value_FreeString(&v);
    EXPECT_EQ(Call("variable_global_array2_get", {"m", 1, 2}).Text(), "cell");
    Call("variable_global_array_set", {"v", 3, 9});
    EXPECT_EQ(Call("variable_global_array_get", {"v", 3}).Real(), 9);
    EXPECT_EQ(Errors(), 0);
    EXPECT_EQ(Call("variable_global_array_get", {"a", 32000}).Real(), 0);
    EXPECT_TRUE(Logged("Array index >= 32000"));
    Call("variable_global_array2_set", {"m", 1, 32000, 1});
    EXPECT_EQ(Errors(), 2);
    // Negative indexes store nothing.
    Call("variable_global_array_set", {"n", -1, 3});
    Call("variable_global_array2_set", {"n", -70000, 5, 3});
    EXPECT_EQ(Call("variable_global_array_get", {"n", -1}).Real(), 0);
    EXPECT_EQ(Call("variable_global_exists", {"n"}).Real(), 0);
    EXPECT_EQ(Call("variable_global_get", {5}).Real(), 0); // not a name
}

TEST_F(MiscBuiltins, LocalVariablesOfSelf)
{
    EXPECT_EQ(Call("variable_local_exists", {"never"}).Real(), 0);
    Call("variable_local_set", {"hp", 3});
    EXPECT_EQ(Call("variable_local_get", {"hp"}).Real(), 3);
    EXPECT_EQ(Call("variable_local_exists", {"hp"}).Real(), 1);
    Call("variable_local_array_set", {"row", 2, "x"});
    EXPECT_EQ(Call("variable_local_array_get", {"row", 2}).Text(), "x");
    Call("variable_local_array2_set", {"grid", 3, 4, 7});
    EXPECT_EQ(Call("variable_local_array2_get", {"grid", 3, 4}).Real(), 7);
    EXPECT_EQ(Call("variable_global_exists", {"hp"}).Real(), 0);
    EXPECT_EQ(Call("variable_local_array_get", {"row", 40000}).Real(), 0);
    EXPECT_EQ(Errors(), 1);
}

// [SECTION] External calls

class ExternalCalls : public MiscBuiltins {
protected:
    void SetUp() override
    {
        MiscBuiltins::SetUp();
        LoadSave_SetFolders(ZB_TESTEXT_DIR, m_save.Path().c_str(), nullptr);
    }
    void TearDown() override
    {
        LoadSave_SetFolders(nullptr, nullptr, nullptr);
        MiscBuiltins::TearDown();
    }
    ScratchFolder m_save;
    ScopedCurrentFolder m_current{ZB_TESTEXT_DIR};
};

TEST_F(ExternalCalls, RealsUpToSixteen)
{
    double id = Call("external_define", {"zbtestext.dll", "zbt_add", 0, 0, 2, 0, 0}).Real();
    ASSERT_GE(id, 0) << Log();
    EXPECT_EQ(Call("external_call", {id, 2, 3.5}).Real(), 5.5);
    double c = Call("external_define0", {"ZBTestExt.DLL", "zbt_const", 0}).Real();
    EXPECT_EQ(Call("external_call0", {c}).Real(), 42.5);
    std::vector<Val> define = {"zbtestext.dll", "zbt_sum16", 1, 0, 16};
    std::vector<Val> call;
    double weighted = 0;
    for (int i = 1; i <= 16; i++) {
        define.emplace_back(0);
        weighted += i * i;
    }
    double sum16 = CallV("external_define", define).Real();
    ASSERT_GE(sum16, 0);
    call.emplace_back(sum16);
    for (int i = 1; i <= 16; i++) call.emplace_back(i);
    EXPECT_EQ(CallV("external_call", call).Real(), weighted);
    double sum8 = Call("external_define8", {"zbtestext.dll", "zbt_sum8", 0}).Real();
    EXPECT_EQ(Call("external_call8", {sum8, 1, 1, 1, 1, 1, 1, 1, 1}).Real(), 36);
    EXPECT_EQ(Errors(), 0);
}

TEST_F(ExternalCalls, StringsInAndOut)
{
    double len4 = Call("external_define4", {"zbtestext.dll", "zbt_len4", 1, 1, 1, 1, 0}).Real();
    EXPECT_EQ(Call("external_call4", {len4, "a", "bb", "ccc", "dddd"}).Real(), 4321);
    EXPECT_EQ(Call("external_call4", {len4, 5, NoText(), "ccc", ""}).Real(), 300); // no text: ""
    double mixed = Call("external_define", {"zbtestext.dll", "zbt_mixed", 0, 0, 4, 0, 1, 0, 1}).Real();
    EXPECT_EQ(Call("external_call", {mixed, 2, "abc", 3, "de"}).Real(), 2332);
    double concat = Call("external_define2", {"zbtestext.dll", "zbt_concat", 1, 1, 1}).Real();
    Val joined = Call("external_call2", {concat, "ab", "cd"});
    EXPECT_EQ(joined.Text(), "abcd");
    double none = Call("external_define0", {"zbtestext.dll", "zbt_null", 1}).Real();
    Val empty = Call("external_call0", {none});
    EXPECT_TRUE(empty.IsString());
    EXPECT_EQ(empty.Text(), "");
    double scribble = Call("external_define1", {"zbtestext.dll", "zbt_scribble", 1, 0}).Real();
    Val mine("mine");
    EXPECT_EQ(Call("external_call1", {scribble, mine}).Real(), 4);
    EXPECT_EQ(mine.Text(), "mine");
}

TEST_F(ExternalCalls, DefinitionErrors)
{
    // Each refused definition answers -1, never an id an earlier definition holds (0 here).
    ASSERT_EQ(Call("external_define2", {"zbtestext.dll", "zbt_add", 0, 0, 0}).Real(), 0);
    EXPECT_EQ(Call("external_define", {"zbtestext.dll", "zbt_add", 0, 0, 2, 0}).Real(), -1);
    EXPECT_TRUE(Logged("Wrong number of arguments to external_define()"));
    std::vector<Val> many = {"zbtestext.dll", "f", 0, 0, 17};
    for (int i = 0; i < 17; i++) many.emplace_back(0);
    EXPECT_EQ(CallV("external_define", many).Real(), -1);
    EXPECT_TRUE(Logged("DLL functions can have at most 16 arguments"));
    EXPECT_EQ(Call("external_define", {"zbtestext.dll", "zbt_sum8", 0, 0, 5, 0, 0, 1, 0, 0}).Real(), -1);
    EXPECT_TRUE(Logged("DLL functions with more than 4 arguments cannot have string arguments"));
    EXPECT_EQ(Errors(), 3);
    EXPECT_EQ(Call("external_define", {"zbtestext.dll", "no_such_function", 0, 0, 0}).Real(), -1);
    EXPECT_TRUE(Logged("Error defining an external function."));
    // A game that ships a Windows library only.
    Scratch_WriteFile(m_save / "windows.dll", "MZ\x90\x00");
    EXPECT_EQ(Call("external_define0", {"windows.dll", "f", 0}).Real(), -1);
    EXPECT_EQ(Call("external_define0", {"", "f", 0}).Real(), -1);
    EXPECT_EQ(Errors(), 6);
}

TEST_F(ExternalCalls, CallsRefusedAndFree)
{
    double add = Call("external_define2", {"zbtestext.dll", "zbt_add", 0, 0, 0}).Real();
    EXPECT_EQ(Call("external_call", {add, 1}).Real(), 0);        // wrong count
    EXPECT_EQ(Call("external_call", {add + 50, 1, 2}).Real(), 0); // unknown id
    EXPECT_EQ(Call("external_call2", {add, 1, 2}).Real(), 3);
    Call("external_free", {"zbtestext.dll"});
    EXPECT_EQ(Call("external_call2", {add, 1, 2}).Real(), 0);
    double again = Call("external_define2", {"zbtestext.dll", "zbt_add", 0, 0, 0}).Real();
    EXPECT_NE(again, add);
    EXPECT_EQ(Call("external_call2", {again, 1, 2}).Real(), 3);
    EXPECT_EQ(Errors(), 0);
}

TEST_F(MiscBuiltins, ForbiddenExternalCodeIsNotRegistered)
{
    Function_Free();
    Function_Misc_Init(true);
    int32_t id;
    EXPECT_TRUE(Code_Function_Find("event_inherited", &id));
    EXPECT_TRUE(Code_Function_Find("variable_local_set", &id));
    for (const char* name : {"external_define", "external_call8", "execute_string", "execute_file"})
        EXPECT_FALSE(Code_Function_Find(name, &id)) << name;
    // The start-up's registrar keeps them for Steam games too: header bit 0x1000 only switches
    // Steam on.
    Function_Free();
    g_StartupOptions.steam = 1;
    InitFunctions_Misc();
    g_StartupOptions.steam = 0;
    EXPECT_TRUE(Code_Function_Find("execute_string", &id));
    Function_Free();
    InitFunctions_Misc();
    EXPECT_TRUE(Code_Function_Find("execute_string", &id));
    Function_Free();
    Function_Misc_Init(false);
    // 41 of events, external calls, executed code and variables; 47 dates; 6 program, window
    // and clipboard built-ins.
    EXPECT_EQ(Function_Count(), 41 + 47 + 6);
    EXPECT_STREQ(Function_Get(0)->name, "event_inherited");
    EXPECT_STREQ(Function_Get(4)->name, "external_define");
    EXPECT_STREQ(Function_Get(25)->name, "execute_string");
}

} // namespace
