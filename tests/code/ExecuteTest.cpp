// Execution entry points and scripts: the executor choice, constants, failures, the script
// table, script preparation and Script_Execute.
#include "code/CodeTestSupport.h"

#include <vector>

#include "Files/Code/Code_Execute.h"
#include "Files/Support/CommandLine.h"
#include "Files/Support/FileImage.h"

namespace {

// The tree interpreter stand-in: "fail" fails, "args" reports argument0 and argument_count,
// "script:N" runs script N with the arguments 1 and 2.
int32_t FakeExecute(CCode* code, CInstance* self, CInstance* other, ScriptValue* result)
{
    std::string t = code->GetText();
    if (t == "fail") {
        Code_Error_Set(code, 0, "it failed");
        return -1;
    }
    if (t == "args") {
        const ScriptValue& a0 = Code_Arguments()[0];
        std::string s = (a0.kind == VALUE_STRING ? a0.text : std::to_string(int(a0.real))) + "/" +
                        std::to_string(Code_GetArgumentCount());
        Value_SetString(result, s.c_str());
        return 0;
    }
    if (t.rfind("script:", 0) == 0) {
        ScriptValue args[2] = {Value_Real(1), Value_Real(2)};
        ScriptArguments a{2, args};
        return Script_Execute(std::atoi(t.c_str() + 7), self, other, 2, result, &a) ? 0 : -1;
    }
    Value_SetReal(result, 7);
    return 0;
}

bool FakeTree(CCode* code)
{
    std::string t = code->GetText();
    if (t == "syntax error") {
        Code_Error_Set(code, 0, "Unexpected symbol in expression.");
        return false;
    }
    if (t.rfind("'", 0) == 0) {
        code->m_tree.kind = 5;
        Value_SetString(&code->m_tree.value, t.substr(1).c_str());
        return true;
    }
    code->m_tree.kind = 1000;
    return true;
}

const CodeCompilerHooks kHooks = {FakeTree, nullptr, FakeExecute};

class ExecuteTest : public ScriptTest {
protected:
    void SetUp() override
    {
        ScriptTest::SetUp();
        Code_SetCompilerHooks(&kHooks);
        CodeTestTreeMode(true);
    }
    void TearDown() override
    {
        CodeTestTreeMode(false);
        ScriptTest::TearDown();
    }
    static void CodeTestTreeMode(bool on) { g_StartupOptions.byteCodeInterpreter = on ? 0 : 1; }
};

} // namespace

TEST_F(ExecuteTest, ConstantsAreCopiedUnderBothExecutors)
{
    for (bool tree : {true, false}) {
        CodeTestTreeMode(tree);
        CCode c("'hello", true);
        ASSERT_TRUE(c.Compile("c"));
        ASSERT_EQ(c.m_kind, CODE_CONSTANT);
        ScriptValue r = Value_Real(0);
        Value_SetString(&r, "an older and longer text");
        char* block = r.text;
        EXPECT_TRUE(Code_Execute(nullptr, nullptr, &c, &r));
        EXPECT_STREQ(r.text, "hello");
        EXPECT_EQ(r.text, block); // the result's block was large enough
        Value_FreeString(&r);
    }
}

TEST_F(ExecuteTest, TreeInterpreterFailuresAndNilInstances)
{
    CInstance self(0, 0, 100001, -1, false);
    CCode fail("fail", false);
    ASSERT_TRUE(fail.Compile("f"));
    ScriptValue r = Value_Real(0);
    EXPECT_FALSE(Code_ExecuteValue(&self, &self, &fail, &r));
    EXPECT_STREQ(r.text, "ERROR");
    EXPECT_FALSE(Code_Error_Occurred()); // nothing reported
    Code_Error_SetShowErrors(false);
    {
        CaptureConsole log;
        EXPECT_FALSE(Code_Execute(&self, &self, &fail, &r));
        EXPECT_NE(log.Text().find("it failed"), std::string::npos);
    }
    EXPECT_FALSE(Code_Error_Recorded());
    CCode ok("x", false);
    ASSERT_TRUE(ok.Compile("ok"));
    EXPECT_FALSE(Code_ExecuteValue(&self, nullptr, &ok, &r));
    EXPECT_STREQ(Code_Error_GetText(), "Error in code at line 1:\n   x\n\nat position 1: Internal Error: Executing code for nil instance.");
    CCode never("x", false);
    EXPECT_FALSE(Code_ExecuteValue(&self, &self, &never, &r));
    Value_FreeString(&r);
}

TEST_F(ExecuteTest, ByteCodeWithoutCodeSucceeds)
{
    CodeTestTreeMode(false);
    CCode c("", false);
    c.m_compiled = 1;
    ScriptValue r = Value_Real(3);
    EXPECT_TRUE(Code_Execute(nullptr, nullptr, &c, &r));
    EXPECT_EQ(r.real, 3);
}

TEST_F(ExecuteTest, CodeFromAnEmptyTextDoesNothingUnderBothExecutors)
{
    // A room's empty creation code is never compiled; it still runs at every room start.
    CInstance self(0, 0, 100001, -1, false);
    for (bool tree : {true, false}) {
        CodeTestTreeMode(tree);
        for (bool expression : {false, true}) {
            CCode empty("", expression);
            ScriptValue r = Value_Real(3);
            EXPECT_TRUE(Code_Execute(&self, &self, &empty, &r)) << "tree " << tree;
            EXPECT_EQ(r.real, 3);
            EXPECT_FALSE(Code_Error_Occurred()) << Code_Error_GetText();
        }
    }
}

TEST_F(ExecuteTest, ScriptExecuteSavesArgumentsAndNamesFailures)
{
    int32_t a = Script_Add("show_args", "args", -1);
    int32_t f = Script_Add("fails", "fail", -1);
    int32_t outer = Script_Add("outer", ("script:" + std::to_string(f)).c_str(), -1);
    ASSERT_TRUE(Script_Prepare());
    Code_SetArgument(0, VALUE_STRING, 0, "mine");
    Code_SetArgumentCount(1);
    CInstance self(0, 0, 100001, -1, false);
    ScriptValue args[1] = {Value_Real(42)};
    ScriptArguments list{1, args};
    ScriptValue r = Value_Real(0);
    ASSERT_TRUE(Script_Execute(a, &self, &self, 1, &r, &list));
    EXPECT_STREQ(r.text, "42/1");
    EXPECT_STREQ(Code_Arguments()[0].text, "mine");
    EXPECT_EQ(Code_GetArgumentCount(), 1);
    // Two scripts deep: each level adds its line.
    EXPECT_FALSE(Script_Execute(outer, &self, &self, 0, &r, nullptr));
    EXPECT_STREQ(r.text, "ERROR");
    EXPECT_STREQ(Code_Error_GetText(), "In script outer:\nIn script fails:\nError in code at line 1:\n   fail\n\nat position 1: it failed");
    EXPECT_FALSE(Script_Execute(99, &self, &self, 0, &r, nullptr));
    Value_FreeString(&r);
}

TEST_F(ExecuteTest, ScriptPrepareReportsTheFirstCompileError)
{
    Script_Add("good", "x", -1);
    Script_Add("bad one", "syntax error", -1);
    Code_Error_SetShowErrors(false);
    CaptureConsole log;
    EXPECT_FALSE(Script_Prepare());
    EXPECT_NE(log.Text().find("ERROR!!! :: COMPILATION ERROR in Script: bad one\nError in code at line 1"), std::string::npos);
    EXPECT_STREQ(Script_Data(0)->GetCode()->GetName(), "Script.good");
    EXPECT_TRUE(Code_Error_Aborting());
}

TEST_F(ExecuteTest, ScriptTableLookups)
{
    Script_Add("a", "x", -1);
    EXPECT_EQ(Script_Find("a"), 0);
    EXPECT_EQ(Script_Find("A"), -1);
    EXPECT_STREQ(Script_GetName(0), "a");
    EXPECT_STREQ(Script_GetName(1), "<undefined>");
    EXPECT_STREQ(Script_GetName(-1), "<undefined>");
    EXPECT_FALSE(Script_Exists(1));
}

TEST_F(ExecuteTest, ScriptChunkLoads)
{
    // count 3: an entry, an empty slot, an entry; names and texts follow.
    std::vector<uint8_t> f(128, 0);
    auto put = [&](size_t at, uint32_t v) { std::memcpy(&f[at], &v, 4); };
    auto str = [&](size_t at, const char* t) { std::memcpy(&f[at], t, std::strlen(t) + 1); };
    put(0, 3);
    put(4, 40);
    put(8, 0);
    put(12, 48);
    put(40, 64);
    put(44, 80);
    put(48, 72);
    put(52, 0);
    str(64, "first");
    str(72, "second");
    str(80, "x = 1");
    FileImage image(f.data(), uint32_t(f.size()));
    ASSERT_TRUE(Script_Load(image, 0, 16));
    EXPECT_EQ(Script_Count(), 3);
    EXPECT_STREQ(Script_GetName(0), "first");
    EXPECT_FALSE(Script_Exists(1));
    EXPECT_STREQ(Script_Data(0)->GetText(), "x = 1");
    EXPECT_STREQ(Script_Data(2)->GetText(), "");
    // A count that cannot fit and an entry past the end are refused.
    put(0, 1000);
    EXPECT_FALSE(Script_Load(image, 0, 16));
    put(0, 1);
    put(4, 500);
    EXPECT_FALSE(Script_Load(image, 0, 16));
}
