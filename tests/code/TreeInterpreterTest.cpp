// The tree interpreter's own rules and run-time messages.
#include "code/CompilerTestSupport.h"

#include "Files/Support/CommandLine.h"

namespace {

class TreeInterpreterTest : public CompilerTest {
protected:
    // The error text of running text, "" when it ran.
    std::string RunError(const char* text)
    {
        Code_Error_ClearRecorded();
        if (RunTree(text) != EXEC_ERROR) return "";
        std::string e = Code_Error_GetText() ? Code_Error_GetText() : "";
        size_t at = e.find(": ", e.find("at position"));
        return at == std::string::npos ? e : e.substr(at + 2);
    }
};

} // namespace

TEST_F(TreeInterpreterTest, RunTimeMessages)
{
    EXPECT_EQ(RunError("a = 1; b = a[0.2]; c = q"), "Unknown variable q");
    EXPECT_EQ(RunError("a[1] = 1; b = a[5]"), "Unknown variable a or array index out of bounds");
    EXPECT_EQ(RunError("a['s'] = 1"), "Wrong type of array index");
    EXPECT_EQ(RunError("a[-1] = 1"), "Negative array index");
    EXPECT_EQ(RunError("a[32000] = 1"), "Array index >= 32000");
    EXPECT_EQ(RunError("a[1, 32000] = 1"), "Array index >= 32000");
    EXPECT_EQ(RunError("s = 'o'; s.x = 1"), "Wrong type of variable index");
    EXPECT_EQ(RunError("id = 3"), "Cannot assign to the variable");
    EXPECT_EQ(RunError("noone.q = 3"), "Cannot assign to the variable");
    EXPECT_EQ(RunError("repeat ('a') {}"), "Repeat count must be a number");
    EXPECT_EQ(RunError("if ('a') {}"), "Expression expected");
    EXPECT_EQ(RunError("while ('a') {}"), "bool expression expected");
    EXPECT_EQ(RunError("do {} until ('a')"), "bool expression expected");
    EXPECT_EQ(RunError("for (i = 0; 'a'; i += 1) {}"), "Expression expected");
    EXPECT_EQ(RunError("with ('a') {}"), "Object id expected");
    EXPECT_EQ(RunError("with (local) {}"), "Cannot use local in with statement.");
    EXPECT_EQ(RunError("with (global) {}"), "Cannot use global in with statement.");
    EXPECT_EQ(RunError("{ case 1: }"), "Case statement only allowed inside switch statement.");
    EXPECT_EQ(RunError("{ default: }"), "Default statement only allowed inside switch statement.");
    EXPECT_EQ(RunError("s = 'a'; t = s - 1"), "Wrong type of arguments to -.");
    EXPECT_EQ(RunError("z = 0; t = 1 / z"), "Division by 0.");
    EXPECT_EQ(RunError("var l; m = l"), "Unknown variable l");
    // The first error of an execution is the one kept.
    EXPECT_EQ(RunError("a = q1 + q2"), "Unknown variable q1");
}

TEST_F(TreeInterpreterTest, UnsetVariablesReadAsZeroWhenAsked)
{
    Variable_SetUnsetReadsZero(true);
    EXPECT_EQ(RunTree("b = 1; c = q + 1; d += 2"), EXEC_OK);
    EXPECT_EQ(SelfVar("c"), "1");
    EXPECT_EQ(SelfVar("d"), "2");
    // An array index out of bounds then reads 0, and a compound write is skipped.
    EXPECT_EQ(RunTree("a[1] = 1; e = a[5]; a[7] += 1"), EXEC_OK);
    EXPECT_EQ(SelfVar("e"), "0");
    Variable_SetUnsetReadsZero(false);
}

TEST_F(TreeInterpreterTest, TruthAndRounding)
{
    EXPECT_EQ(RunTree("a = 0; if (0.5) a = 1; b = 0; if (0.50001) b = 1"), EXEC_OK);
    EXPECT_EQ(SelfVar("a"), "0");
    EXPECT_EQ(SelfVar("b"), "1");
    EXPECT_EQ(RunTree("n = 0; repeat (2.5) n += 1; m = 0; repeat (3.5) m += 1"), EXEC_OK);
    EXPECT_EQ(SelfVar("n"), "2");
    EXPECT_EQ(SelfVar("m"), "4");
    EXPECT_EQ(RunTree("a[0] = 5; b = a[-0.4]"), EXEC_OK);
    EXPECT_EQ(SelfVar("b"), "5");
}

TEST_F(TreeInterpreterTest, EmptyStatementsAndPrograms)
{
    EXPECT_EQ(RunTree(""), EXEC_OK);
    EXPECT_EQ(RunTree("if (1) ; { ; } for (n = 0; n < 2; n += 1) ; var q; ;;;"), EXEC_OK);
    EXPECT_EQ(SelfVar("n"), "2");
    // break and continue at the top end the program without an error.
    EXPECT_EQ(RunTree("break; a = 1"), EXEC_BREAK);
    EXPECT_EQ(SelfVar("a"), "<unset>");
}

TEST_F(TreeInterpreterTest, SwitchLabels)
{
    // An absent text and the empty text are one string.
    EXPECT_EQ(RunTree("s = ''; r = 0; switch (s) { case '': r = 1 }"), EXEC_OK);
    EXPECT_EQ(SelfVar("r"), "1");
    // A real never matches a string.
    EXPECT_EQ(RunTree("r = 0; switch (1) { case '1': r = 1 }"), EXEC_OK);
    EXPECT_EQ(SelfVar("r"), "0");
}

TEST_F(TreeInterpreterTest, WithTargetsAndOther)
{
    EXPECT_EQ(RunTree("with (other) { q = 1; other.back = 2 }"), EXEC_OK);
    EXPECT_EQ(SelfVar("back"), "2");
    CInstance* extra = NewInstance(1);
    EXPECT_EQ(RunTree("with (1) z = 5; with (100002) y = 6"), EXEC_OK);
    ScriptValue v = Value_Real(0.0);
    EXPECT_TRUE(extra->GetVariables()->Get(Code_Variable_FindUser("z"), 0, &v));
    EXPECT_EQ(v.real, 5);
    extra->SetDeactivated(true);
    EXPECT_EQ(RunTree("w = 0; with (1) w = 1"), EXEC_OK);
    EXPECT_EQ(SelfVar("w"), "0");
}

TEST_F(TreeInterpreterTest, ScriptsAndNesting)
{
    Script_Add("deep", "return deep(argument0 + 1)", -1);
    Script_Add("echo", "return argument1", -1);
    g_StartupOptions.byteCodeInterpreter = 0;
    ASSERT_TRUE(Script_Prepare());
    EXPECT_EQ(RunTree("a = echo(1, 'two')"), EXEC_OK);
    EXPECT_EQ(SelfVar("a"), "'two'");
    // Unbounded recursion ends with an error, not a crashed stack. The error and its line stay
    // whole; the stacked "In script" lines are cut in the middle, saying how many were left out.
    EXPECT_EQ(RunTree("a = deep(0)"), EXEC_ERROR);
    std::string five;
    for (int i = 0; i < 5; ++i) five += "In script deep:\n";
    EXPECT_EQ(std::string(Code_Error_GetText()), five + "... 390 more \"In script\" lines ...\n" + five +
                                                     "Error in code at line 1:\n   return deep(argument0 + 1)\n\n"
                                                     "at position 1: Script calls nested too deeply.");
    // Built-in calls are counted.
    int32_t id = -1;
    ASSERT_TRUE(Code_Function_Find("sum2", &id));
    int32_t before = Function_Row(id)->calls;
    EXPECT_EQ(RunTree("repeat 3 sum2(1, 2)"), EXEC_OK);
    EXPECT_EQ(Function_Row(id)->calls, before + 3);
}
