// Extension packages: function ids beside scripts and built-ins, calls of library functions
// (the test library) and of ZBL code functions from both executors, the argument slots and
// error texts of code functions, "-ext", preparation (constants, binding, compiling), the
// initialisation and finalisation functions, and the "EXTN" chunk.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Constant.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Execute.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/DLL/DLL.h"
#include "Files/Extension/Extension.h"
#include "Files/Object/Instance.h"
#include "Files/Run/Run_Main.h"
#include "Files/Runner/Runner_Reset.h"
#include "Files/Script/Script_Main.h"
#include "Files/Support/CommandLine.h"
#include "Files/Support/FileImage.h"
#include "Files/Support/LoadSave.h"
#include "Files/Variable/Variable_World.h"
#include "services/ServicesSupport.h"
#include "support/CaptureConsole.h"

namespace {

// The test library, found in the program folder (the tests make it ZB_TESTEXT_DIR).
const std::string kLibrary = "zbtestext.dll";

class Extensions : public ::testing::Test {
protected:
    void SetUp() override
    {
        Runtime_ResetAll();
        World_InitLanguage();
        Variable_BuiltIn_Init();
        World_RegisterVariables();
        Extension_InstallHooks();
        g_StartupOptions.extensionsOff = 0;
        g_StartupOptions.byteCodeInterpreter = 1;
        Code_Error_SetShowErrors(false);
        g_Log.clear();
        LoadSave_SetFolders(ZB_TESTEXT_DIR, ZB_TESTEXT_DIR, nullptr);
    }
    void TearDown() override
    {
        LoadSave_SetFolders(nullptr, nullptr, nullptr);
        Code_Constant_Init(); // the packages' constants go (their texts with them)
        Runtime_ResetAll();
        Function_SetExtensionHooks(nullptr);
        g_StartupOptions.extensionsOff = 0;
    }

    // The test library as a package: ext_add(a, b), ext_concat(s, t) -> string, ext_const().
    CExtensionFile* Library(const char* init = "", const char* final = "")
    {
        CExtensionFile* f = Extension_AddFile(Extension_AddPackage("native"), kLibrary.c_str(), EXTENSION_FILE_LIBRARY,
                                              init, final);
        Extension_AddFunction(f, "ext_add", "zbt_add", 0, 2, nullptr, DLL_KIND_REAL);
        const int32_t strings[2] = {DLL_KIND_STRING, DLL_KIND_STRING};
        Extension_AddFunction(f, "ext_concat", "zbt_concat", 0, 2, strings, DLL_KIND_STRING);
        Extension_AddFunction(f, "ext_const", "zbt_const", 1, 0, nullptr, DLL_KIND_REAL);
        return f;
    }
    // A package of ZBL functions.
    CExtensionFile* Code(const char* init = "", const char* final = "")
    {
        CExtensionFile* f = Extension_AddFile(Extension_AddPackage("zbl"), "code.zbl", EXTENSION_FILE_CODE, init, final);
        Extension_AddFunction(f, "ext_scale", "", 0, -1, nullptr, DLL_KIND_REAL,
                              "return argument0 * 10 + argument_count;");
        Extension_AddFunction(f, "ext_join", "", 0, -1, nullptr, DLL_KIND_REAL,
                              "return string(argument0) + '/' + string(argument1);");
        return f;
    }
    // Compiles and runs text for self = other = a scratch instance, in the executor chosen.
    std::string Run(const char* text, bool vm)
    {
        g_StartupOptions.byteCodeInterpreter = vm ? 1 : 0;
        CCode code(text, false);
        EXPECT_TRUE(code.Compile("test")) << (Code_Error_GetText() ? Code_Error_GetText() : "");
        CInstance self(0, 0, 100001, -1, false);
        ScriptValue result = Value_Real(0);
        g_Log.clear();
        Code_Execute(&self, &self, &code, &result);
        Value_FreeString(&result);
        g_StartupOptions.byteCodeInterpreter = 1;
        return LogText();
    }
};

} // namespace

TEST_F(Extensions, IdsComeInOrderAndShadowBuiltIns)
{
    Library();
    Code();
    CExtensionFile* again = Extension_AddFile(Extension_AddPackage("late"), "x.dll", EXTENSION_FILE_LIBRARY);
    Extension_AddFunction(again, "ext_add", "zbt_add", 0, 1, nullptr, DLL_KIND_REAL);
    Extension_AddFunction(again, "abs", "abs", 0, 1, nullptr, DLL_KIND_REAL);
    EXPECT_EQ(Extension_Function_Count(), 7);
    EXPECT_EQ(Extension_Function_Find("ext_add"), 0) << "the first package's function wins";
    EXPECT_EQ(Extension_Function_Find("ext_scale"), 3);
    EXPECT_EQ(Extension_Function_Find("nothing"), -1);
    EXPECT_EQ(Extension_Function_Find(""), -1);
    EXPECT_EQ(Extension_Function_Find(nullptr), -1);
    EXPECT_EQ(Extension_Function_GetArgCount(0), 2);
    EXPECT_EQ(Extension_Function_GetArgCount(3), -1) << "code functions take any number";
    EXPECT_EQ(Extension_Function_GetArgCount(7), -100);
    EXPECT_EQ(Extension_Function_GetArgCount(-1), -100);
    EXPECT_STREQ(Extension_Function_GetName(4), "ext_join");
    EXPECT_EQ(Extension_Function_GetName(99), nullptr);
    int32_t id = -1;
    ASSERT_TRUE(Code_Function_Find("ext_concat", &id));
    EXPECT_EQ(id, FUNCTION_EXTENSION_BASE + 1);
    EXPECT_STREQ(Function_GetName(id), "ext_concat");
    EXPECT_EQ(Function_GetArgCount(id), 2);
    ASSERT_TRUE(Code_Function_Find("abs", &id));
    EXPECT_EQ(id, FUNCTION_EXTENSION_BASE + 6) << "an extension function wins over a built-in";
    // No packages: nothing is found.
    Extension_Free();
    EXPECT_EQ(Extension_Function_Find("ext_add"), -1);
    EXPECT_EQ(Extension_Function_GetArgCount(0), -100);
}

TEST_F(Extensions, LibraryFunctionsRunFromBothExecutors)
{
    Library();
    ASSERT_TRUE(Extension_Prepare());
    for (bool vm : {true, false}) {
        EXPECT_EQ(Run("test_log(ext_add(2, 3.5), ext_concat('ab', 'cd'), ext_const());", vm), "5.5:abcd:42.5")
            << (vm ? "machine" : "tree");
    }
    // Direct calls: the values and the result as a built-in gets them.
    ScriptValue args[2] = {Value_Real(1), Value_Real(2)};
    ScriptValue result = Value_Real(0);
    EXPECT_TRUE(Extension_CallDLL(0, 2, args, &result));
    EXPECT_EQ(result.real, 3.0);
    result = Value_Real(0);
    EXPECT_TRUE(Extension_CallDLL(0, 1, args, &result)) << "a library function, even with a wrong count";
    EXPECT_EQ(result.real, 0.0) << "the external call refused the count";
    EXPECT_FALSE(Extension_CallDLL(3, 0, args, &result));
    EXPECT_FALSE(Extension_CallDLL(-1, 0, args, &result));
    ScriptArguments list{2, args};
    EXPECT_FALSE(Extension_Call(3, nullptr, nullptr, 2, &list, &result)) << "outside the table";
}

TEST_F(Extensions, ExtensionsOffMakesLibraryCallsDoNothing)
{
    g_StartupOptions.extensionsOff = 1;
    CExtensionFile* f = Library();
    ASSERT_TRUE(Extension_Prepare());
    EXPECT_EQ(f->functions[0]->definition, -1) << "the library is not even loaded";
    EXPECT_EQ(Run("test_log(ext_add(2, 3), ext_const());", true), "0:0");
    EXPECT_EQ(Run("test_log(ext_add(2, 3), ext_const());", false), "0:0");
    ScriptValue args[2] = {Value_Real(1), Value_Real(2)};
    ScriptValue result = Value_Real(0);
    EXPECT_TRUE(Extension_CallDLL(0, 2, args, &result));
    EXPECT_EQ(result.real, 0.0);
}

TEST_F(Extensions, CodeFunctionsRunWithTheirOwnArgumentSlots)
{
    Code();
    ASSERT_TRUE(Extension_Prepare());
    for (bool vm : {true, false}) {
        EXPECT_EQ(Run("test_log(ext_scale(4), ext_scale(1, 2, 3), ext_join('a', 7));", vm), "41:13:a/7")
            << (vm ? "machine" : "tree");
    }
    // The caller's slots come back: a script's arguments survive the call.
    Script_Free();
    Script_Add("caller", "var r; r = ext_scale(5); return string(argument0) + ':' + string(r) + ':' + string(argument_count);",
               -1);
    ASSERT_TRUE(Script_Prepare());
    for (bool vm : {true, false}) EXPECT_EQ(Run("test_log(caller('x', 'y'));", vm), "x:51:2") << (vm ? "machine" : "tree");
    // Direct call with a record of arguments; more than 16 pass 16.
    ScriptValue args[20];
    for (int k = 0; k < 20; ++k) args[k] = Value_Real(k + 1);
    ScriptArguments list{20, args};
    ScriptValue result = Value_Real(0);
    CInstance self(0, 0, 100001, -1, false);
    ASSERT_TRUE(Extension_Call(0 + 0 * 1 + Extension_Function_Find("ext_scale"), &self, &self, 20, &list, &result));
    EXPECT_EQ(result.real, 26.0);
    ScriptArguments shorter{1, args};
    ASSERT_TRUE(Extension_Call(Extension_Function_Find("ext_scale"), &self, &self, 3, &shorter, &result));
    EXPECT_EQ(result.real, 11.0) << "the record's own count limits what is passed";
    Script_Free();
}

TEST_F(Extensions, FailingCodeNamesTheExtensionFunction)
{
    CExtensionFile* f = Extension_AddFile(Extension_AddPackage("p"), "c.zbl", EXTENSION_FILE_CODE);
    Extension_AddFunction(f, "ext_bad", "", 0, -1, nullptr, DLL_KIND_REAL, "return argument0 + 'text';");
    Extension_AddFunction(f, "ext_empty", "", 0, -1, nullptr, DLL_KIND_REAL, "");
    CExtensionFile* other = Extension_AddFile(Extension_Package(0), "notes.txt", EXTENSION_FILE_OTHER);
    Extension_AddFunction(other, "ext_other", "", 0, 0, nullptr, DLL_KIND_REAL);
    g_StartupOptions.byteCodeInterpreter = 0;
    ASSERT_TRUE(Extension_Prepare());
    CInstance self(0, 0, 100001, -1, false);
    ScriptValue args[1] = {Value_Real(1)};
    ScriptArguments list{1, args};
    ScriptValue result = Value_Real(0);
    Code_SetArgument(0, 0, 77, nullptr);
    EXPECT_FALSE(Extension_Call(0, &self, &self, 1, &list, &result));
    ASSERT_NE(Code_Error_GetText(), nullptr);
    EXPECT_EQ(std::string(Code_Error_GetText()).rfind("In extension function ext_bad: \n", 0), 0u) << Code_Error_GetText();
    // A long name is cut with the text at 1,023 bytes, never inside a character.
    std::string euros;
    for (int i = 0; i < 400; ++i) euros += "\xE2\x82\xAC";
    Extension_AddFunction(f, euros.c_str(), "", 0, -1, nullptr, DLL_KIND_REAL, "return argument0 + 'text';");
    ASSERT_TRUE(Extension_Prepare());
    EXPECT_FALSE(Extension_Call(Extension_Function_Find(euros.c_str()), &self, &self, 1, &list, &result));
    const std::string cut = Code_Error_GetText();
    EXPECT_EQ(cut, "In extension function " + euros.substr(0, 999));
    int32_t kind = -1;
    double real = 0;
    char* text = nullptr;
    Code_GetArgument(0, &kind, &real, &text);
    EXPECT_EQ(real, 77.0) << "the slots were restored after the failure";
    Value_FreeString(&result);
    result = Value_Real(0);
    EXPECT_FALSE(Extension_Call(1, &self, &self, 0, &list, &result)) << "no code";
    EXPECT_FALSE(Extension_Call(2, &self, &self, 0, &list, &result)) << "neither library nor code";
    // The tree interpreter reports the failure at the call.
    Code_Error_Reset();
    Code_Error_SetShowErrors(false);
    g_StartupOptions.byteCodeInterpreter = 0;
    CCode code("x = ext_empty();", false);
    ASSERT_TRUE(code.Compile("t"));
    EXPECT_FALSE(Code_ExecuteValue(&self, &self, &code, &result));
    Value_FreeString(&result);
    g_StartupOptions.byteCodeInterpreter = 1;
}

TEST_F(Extensions, PreparationDefinesConstantsBindsAndCompiles)
{
    CExtensionFile* f = Library();
    Extension_AddConstant(f, "EXT_FIVE", "2 + 3");
    Extension_AddConstant(f, " ext_name ", "'text'");
    ASSERT_TRUE(Extension_Prepare());
    EXPECT_GE(f->functions[0]->definition, 0);
    EXPECT_EQ(Run("test_log(EXT_FIVE, ext_name);", true), "5:text");
    // Preparing again binds nothing twice.
    const int32_t definition = f->functions[0]->definition;
    ASSERT_TRUE(Extension_Prepare());
    EXPECT_EQ(f->functions[0]->definition, definition);

    // A bad constant name fails the preparation.
    Extension_Free();
    CExtensionFile* bad = Code();
    Extension_AddConstant(bad, "3lives", "3");
    CaptureBoxes boxes;
    EXPECT_FALSE(Extension_Prepare());
    EXPECT_TRUE(boxes.Has("Constant name 3lives  is not valid."));

    // A code function that does not compile fails it too.
    Extension_Free();
    CExtensionFile* broken = Extension_AddFile(Extension_AddPackage("p"), "c.zbl", EXTENSION_FILE_CODE);
    Extension_AddFunction(broken, "ext_broken", "", 0, -1, nullptr, DLL_KIND_REAL, "return (;");
    EXPECT_FALSE(Extension_Prepare());
    EXPECT_EQ(broken->functions[0]->compiled, nullptr);
}

TEST_F(Extensions, MissingLibrariesAreLoggedAndTheirFunctionsGiveZero)
{
    CExtensionFile* f = Extension_AddFile(Extension_AddPackage("gone"), "nowhere_at_all.dll", EXTENSION_FILE_LIBRARY);
    Extension_AddFunction(f, "ext_gone", "gone", 0, 1, nullptr, DLL_KIND_REAL);
    CExtensionFile* g = Extension_AddFile(Extension_Package(0), kLibrary.c_str(), EXTENSION_FILE_LIBRARY);
    Extension_AddFunction(g, "ext_nosymbol", "zbt_does_not_exist", 0, 0, nullptr, DLL_KIND_REAL);
    CaptureConsole log;
    ASSERT_TRUE(Extension_Prepare());
    EXPECT_TRUE(log.Has("Extension function ext_gone could not be bound to gone in nowhere_at_all.dll\n")) << log.text;
    EXPECT_TRUE(log.Has("Extension function ext_nosymbol could not be bound")) << log.text;
    EXPECT_EQ(Run("test_log(ext_gone(4), ext_nosymbol());", true), "0:0");
}

TEST_F(Extensions, InitialisationAndFinalisationFunctions)
{
    CExtensionFile* code = Code("ext_init", "ext_final");
    Extension_AddFunction(code, "ext_init", "", 0, -1, nullptr, DLL_KIND_REAL, "test_log('init', argument_count);");
    Extension_AddFunction(code, "ext_final", "", 0, -1, nullptr, DLL_KIND_REAL, "test_log('final');");
    Extension_AddFile(Extension_AddPackage("plain"), kLibrary.c_str(), EXTENSION_FILE_LIBRARY, "ext_init");
    ASSERT_TRUE(Extension_Prepare());
    for (bool vm : {true, false}) {
        g_StartupOptions.byteCodeInterpreter = vm ? 1 : 0;
        g_Log.clear();
        EXPECT_TRUE(Extension_RunInitFunctions());
        EXPECT_EQ(LogText(), "init:0 init:0") << "each file names its own";
        g_Log.clear();
        EXPECT_TRUE(Extension_RunFinalFunctions());
        EXPECT_EQ(LogText(), "final");
    }
    g_StartupOptions.byteCodeInterpreter = 1;

    // A name that is no extension function stops the start; at the end the others still run.
    CExtensionFile* missing = Extension_AddFile(Extension_AddPackage("broken"), "x.zbl", EXTENSION_FILE_CODE, "no_init",
                                                "no_final");
    (void)missing;
    CaptureBoxes boxes;
    g_Log.clear();
    EXPECT_FALSE(Extension_RunInitFunctions());
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], "Could not locate initialization function no_init");
    g_Log.clear();
    EXPECT_FALSE(Extension_RunFinalFunctions());
    ASSERT_EQ(boxes.texts.size(), 2u);
    EXPECT_EQ(boxes.texts[1], "Could not locate finalization function no_final");
    EXPECT_EQ(LogText(), "final");
}

TEST_F(Extensions, TheChunkIsAcceptedAndItsPackagesNotRead)
{
    // A list chunk of two entries (count, offsets) whose records are not read.
    std::vector<uint8_t> bytes = {2, 0, 0, 0, 12, 0, 0, 0, 16, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8};
    FileImage image(bytes.data(), uint32_t(bytes.size()));
    CaptureConsole log;
    EXPECT_TRUE(Extension_Load(image, 0, uint32_t(bytes.size())));
    EXPECT_TRUE(log.Has("Extension packages of the game file are not read (2 in the file)\n")) << log.text;
    EXPECT_EQ(Extension_PackageCount(), 0);
    std::vector<uint8_t> empty = {0, 0, 0, 0};
    FileImage none(empty.data(), 4);
    EXPECT_TRUE(Extension_Load(none, 0, 4));
    EXPECT_TRUE(Extension_Load(none, 0, 0));
}

// The game's start runs the initialisation functions before the first room, its end the
// finalisation functions after the last; a missing initialisation function stops the start.
class ExtensionGame : public ServicesWorldTest {
protected:
    void TearDown() override
    {
        ServicesWorldTest::TearDown();
        Function_SetExtensionHooks(nullptr);
    }
};

TEST_F(ExtensionGame, StartAndEndRunThePackagesFunctions)
{
    Extension_InstallHooks();
    CExtensionFile* f = Extension_AddFile(Extension_AddPackage("p"), "c.zbl", EXTENSION_FILE_CODE, "ext_init", "ext_final");
    Extension_AddFunction(f, "ext_init", "", 0, -1, nullptr, DLL_KIND_REAL, "test_log('init', instance_count);");
    Extension_AddFunction(f, "ext_final", "", 0, -1, nullptr, DLL_KIND_REAL, "test_log('final');");
    ASSERT_TRUE(Extension_Prepare());
    const int32_t o = Obj("thing");
    ASSERT_TRUE(Ev(o, 0, 0, "test_log('create');"));
    Place(Room(), o, 0, 0);
    Start();
    EndGame();
    EXPECT_EQ(LogText(), "init:0 create final");

    // An initialisation function that is not there: no room starts.
    g_Log.clear();
    Extension_AddFile(Extension_AddPackage("q"), "d.zbl", EXTENSION_FILE_CODE, "missing_init");
    CaptureBoxes boxes;
    EXPECT_FALSE(StartGame());
    EXPECT_EQ(Run_CurrentRoom(), nullptr);
    EXPECT_EQ(LogText(), "init:0");
    EXPECT_TRUE(boxes.Has("Could not locate initialization function missing_init"));
}
