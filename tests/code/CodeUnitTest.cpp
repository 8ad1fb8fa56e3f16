// Code units: the compile driver over installed compiler phases, the code table, trees and
// recorded errors.
#include "code/CodeTestSupport.h"

#include "Files/Support/CommandLine.h"

namespace {

// A stand-in compiler: "const N" makes a constant tree, "bad" fails at position 2, anything
// else makes an empty program; the generator emits one exit word.
bool FakeTree(CCode* code)
{
    std::string t = code->GetText();
    if (t == "bad") {
        Code_Error_Set(code, 2, "syntax");
        return false;
    }
    if (t.rfind("const ", 0) == 0) {
        code->m_tree.kind = 5;
        code->m_tree.value = Value_Real(std::atof(t.c_str() + 6));
        return true;
    }
    code->m_tree.kind = -2;
    return true;
}

int g_generated = 0;
bool FakeGenerate(CCode*, VMBuffer** code, VMBuffer** debug)
{
    ++g_generated;
    uint32_t word = VM_Word(VMOP_EXIT, VMT_INT, 0, 0);
    *code = new VMBuffer(reinterpret_cast<const uint8_t*>(&word), 4);
    *debug = nullptr;
    return true;
}

const CodeCompilerHooks kFake = {FakeTree, FakeGenerate, nullptr};

class CodeUnitTest : public ScriptTest {
protected:
    void SetUp() override
    {
        ScriptTest::SetUp();
        Code_SetCompilerHooks(&kFake);
        g_generated = 0;
    }
    void TearDown() override
    {
        g_StartupOptions.byteCodeInterpreter = 1;
        ScriptTest::TearDown();
    }
};

} // namespace

TEST_F(CodeUnitTest, CompileNamesAndRefusesRecompiling)
{
    CCode code("x = 1", false);
    ASSERT_TRUE(code.Compile("my script\t1"));
    EXPECT_STREQ(code.GetName(), "my_script_1");
    EXPECT_EQ(code.m_kind, CODE_PROGRAM);
    ASSERT_NE(code.m_pCode, nullptr);
    EXPECT_STREQ(code.m_pSourceCopy, "x = 1");
    EXPECT_FALSE(code.Compile("again"));
    EXPECT_STREQ(Code_Error_GetText(), "Error in code at line 1:\n   x = 1\n\nat position 1: "
                                       "Internal Error: Recompiling compiled code.");
    EXPECT_EQ(code.m_compiled, 1);
    EXPECT_EQ(g_generated, 1);
}

TEST_F(CodeUnitTest, ConstantExpressionGetsNoByteCode)
{
    CCode code("const 7", true);
    ASSERT_TRUE(code.Compile("c"));
    EXPECT_EQ(code.m_kind, CODE_CONSTANT);
    EXPECT_EQ(code.m_constant.real, 7);
    EXPECT_EQ(code.m_pCode, nullptr);
    EXPECT_EQ(g_generated, 0);
}

TEST_F(CodeUnitTest, TreeInterpreterUnitsHaveNoByteCode)
{
    g_StartupOptions.byteCodeInterpreter = 0;
    CCode code("y = 2", false);
    ASSERT_TRUE(code.Compile("t"));
    EXPECT_EQ(code.m_pCode, nullptr);
}

TEST_F(CodeUnitTest, FailedCompileLeavesTheUnitUncompiled)
{
    CCode code("bad", false);
    EXPECT_FALSE(code.Compile("b"));
    EXPECT_EQ(code.m_compiled, 0);
    EXPECT_STREQ(Code_Error_GetText(), "Error in code at line 1:\n   bad\n\nat position 3: syntax");
}

TEST_F(CodeUnitTest, WithoutACompilerCompilingFails)
{
    Code_SetCompilerHooks(nullptr);
    CCode code("x", false);
    EXPECT_FALSE(code.Compile("n"));
    EXPECT_TRUE(Code_Error_Recorded());
}

TEST_F(CodeUnitTest, ErrorPositionsCountLinesAndSkipCarriageReturns)
{
    CCode lf("a = 1\nbb = 2\n", false), crlf("a = 1\r\nbb = 2\r\n", false), expr("1 +", true);
    Code_Error_Set(&lf, 9, "m");
    std::string a = Code_Error_GetText();
    Code_Error_ClearRecorded();
    Code_Error_Set(&crlf, 10, "m");
    std::string b = Code_Error_GetText();
    EXPECT_EQ(a, "Error in code at line 2:\n   bb = 2\n\nat position 4: m");
    EXPECT_EQ(b, a) << "the line's text ends before its carriage return";
    // Only the first error of a run is kept.
    Code_Error_Set(&lf, 0, "second");
    EXPECT_EQ(std::string(Code_Error_GetText()), b);
    Code_Error_ClearRecorded();
    Code_Error_Set(&expr, 99, "end");
    EXPECT_STREQ(Code_Error_GetText(), "Error in expression: 1 +\n position 4: end");
}

TEST_F(CodeUnitTest, TableBuiltUnitsShareTheEntryAndLinkThemselves)
{
    uint32_t words[2] = {VM_Word(VMOP_PUSH, VMT_SHORT, 0, 5), VM_Word(VMOP_POPZ, VMT_INT, 0, 0)};
    int32_t pairs[2] = {0, 3};
    Code_Table_Init(2);
    Code_Table_SetEntry(0, "gml_Object_step", reinterpret_cast<const uint8_t*>(words), 8,
                        reinterpret_cast<const uint8_t*>(pairs), 1, "x = 5");
    {
        CCode a(0, false), b(0, false), none(5, false);
        EXPECT_EQ(Code_List_Count(), 3);
        EXPECT_EQ(Code_List_Head(), &none);
        EXPECT_EQ(a.m_pCode, b.m_pCode);
        EXPECT_EQ(a.m_pCode->m_size, 8);
        ASSERT_NE(a.m_pDebugInfo, nullptr);
        EXPECT_EQ(a.m_pDebugInfo->m_size, 8);
        EXPECT_STREQ(a.GetName(), "gml_Object_step");
        EXPECT_STREQ(a.GetText(), "x = 5");
        EXPECT_EQ(a.m_compiled, 1);
        EXPECT_EQ(none.m_pCode, nullptr);
        EXPECT_STREQ(none.GetText(), "");
    }
    EXPECT_EQ(Code_List_Count(), 0);
    EXPECT_EQ(Code_List_Head(), nullptr);
    std::string why;
    EXPECT_TRUE(Code_Table_Verify(&why)) << why;
    uint32_t bad = VM_Word(VMOP_POPZ, VMT_VAR, 0, 0);
    Code_Table_SetEntry(1, "gml_bad", reinterpret_cast<const uint8_t*>(&bad), 4, nullptr, 0, nullptr);
    EXPECT_FALSE(Code_Table_Verify(&why));
    EXPECT_EQ(why, "gml_bad: at 00000000: a variable is taken from an empty stack");
}

TEST_F(CodeUnitTest, TreeReleaseFreesSharedArraysOnce)
{
    auto* kids = static_cast<CodeNode*>(MEM_ALLOC_CLEAR(sizeof(CodeNode) * 2));
    kids[0].kind = 5;
    Value_SetString(&kids[0].value, "text");
    auto* grand = static_cast<CodeNode*>(MEM_ALLOC_CLEAR(sizeof(CodeNode)));
    kids[1].children = grand;
    kids[1].childCount = 1;
    auto* root = static_cast<CodeNode*>(MEM_ALLOC_CLEAR(sizeof(CodeNode)));
    root->children = kids;
    root->childCount = 2;
    // A second parent sharing the same array.
    grand->children = kids;
    grand->childCount = 2;
    uint32_t before = MemoryManager::BlocksInUse();
    Code_Tree_Free(root, true);
    EXPECT_EQ(MemoryManager::BlocksInUse(), before - 4);
}
