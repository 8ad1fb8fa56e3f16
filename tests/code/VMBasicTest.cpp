// The dispatch loop's basics: constants, results, branches, the stack operations.
#include "code/CodeTestSupport.h"

namespace {
class VMBasicTest : public ScriptTest {};
} // namespace

TEST_F(VMBasicTest, ExpressionUnitLeavesItsValue)
{
    RunResult r = RunAsm("push.e 3\npush.e 4\nadd.i.i\nconv.i.v\n");
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(r.value.kind, VALUE_REAL);
    EXPECT_EQ(r.value.real, 7);
}

TEST_F(VMBasicTest, EmptyUnitLeavesTheResultAlone)
{
    VMBuffer code;
    ScriptValue result = Value_Real(42);
    VM_Execute("empty", nullptr, nullptr, &code, &result, nullptr, "");
    EXPECT_EQ(result.real, 42);
}

TEST_F(VMBasicTest, StringsConcatenate)
{
    RunResult r = RunAsm("push.s \"ab\"\npush.s \"cd\"\nadd.s.s\nconv.s.v\n");
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(r.text(), "abcd");
}

TEST_F(VMBasicTest, LoopCountsDown)
{
    // local.i = 10; local.s = 0; while (i > 0) { s += i; i -= 1 }  -> 55
    RunResult r = RunAsm(R"(
        push.e 10
        pop.v.i local.i
        push.e 0
        pop.v.i local.s
    top:
        push.v local.i
        push.e 0
        sgt.i.v
        bf done
        push.v local.s
        push.v local.i
        add.v.v
        pop.v.v local.s
        push.v local.i
        push.e 1
        sub.i.v
        pop.v.v local.i
        b top
    done:
        push.v local.s
    )");
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(r.value.real, 55);
}
