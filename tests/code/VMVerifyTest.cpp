// Byte code is verified once before it runs: malformed units are refused with a reason, and
// the stack operations measured in the byte code's own slot sizes are translated to the
// native ones.
#include "code/CodeTestSupport.h"

namespace {

void Nop(ScriptValue*, CInstance*, CInstance*, int32_t, ScriptValue*) {}

class VMVerifyTest : public ScriptTest {
protected:
    void SetUp() override
    {
        ScriptTest::SetUp();
        Function_Add("two_args", Nop, 2);
        Function_Add("any_args", Nop, -1);
    }

    // The refusal reason of source, or "" when it is accepted.
    std::string Refusal(const char* source)
    {
        VMBuffer* code = Assemble(source);
        if (!code) return "no code";
        std::string why;
        bool ok = VM_Prepare(code, &why);
        delete code;
        return ok ? "" : why;
    }

    std::string RefusalOfWords(std::initializer_list<uint32_t> words)
    {
        VMBuffer code(reinterpret_cast<const uint8_t*>(std::data(words)), int32_t(words.size() * 4));
        std::string why;
        return VM_Prepare(&code, &why) ? "" : why;
    }
};

} // namespace

TEST_F(VMVerifyTest, StructureOfTheCode)
{
    // An instruction whose operand runs past the end.
    EXPECT_EQ(RefusalOfWords({VM_Word(VMOP_PUSH, VMT_REAL, 0, 0), 0}),
              "at 00000000: the instruction runs past the end of the code");
    // Branches out of the unit, into an operand; a branch to the very end is fine.
    EXPECT_EQ(RefusalOfWords({(uint32_t(VMOP_B) << 24) | 5}), "at 00000000: a branch leaves the code (to 20)");
    EXPECT_EQ(RefusalOfWords({(uint32_t(VMOP_B) << 24) | 0xFFFFFF}), "at 00000000: a branch leaves the code (to -4)");
    EXPECT_EQ(RefusalOfWords({(uint32_t(VMOP_B) << 24) | 2, VM_Word(VMOP_PUSH, VMT_INT, 0, 0), 1}),
              "at 00000000: a branch lands inside an operand (at 00000008)");
    EXPECT_EQ(RefusalOfWords({(uint32_t(VMOP_B) << 24) | 1}), "");
    // A string index outside the pool.
    EXPECT_EQ(RefusalOfWords({VM_Word(VMOP_PUSH, VMT_STRING, 0, 0), 3}), "at 00000000: string 3 does not exist");
    // An unlisted opcode is stepped over with its first type's operand.
    EXPECT_EQ(RefusalOfWords({VM_Word(0x41, VMT_REAL, 0, 0), 1, 2, VM_Word(0x01, 0, 0, 0)}), "");
}

TEST_F(VMVerifyTest, TypesAndPaths)
{
    EXPECT_EQ(Refusal("popz.v\n"), "at 00000000: a variable is taken from an empty stack");
    EXPECT_EQ(Refusal("push.s \"a\"\nadd.i.i\n"), "at 00000008: an int is taken where a string lies");
    // Numbers of one size may stand for one another, as the byte code always read them.
    EXPECT_EQ(Refusal("push.i 1\npopz.f\npush.d 1\npopz.l\n"), "");
    // Two paths that meet with different stacks.
    EXPECT_EQ(Refusal("push.b true\nbt skip\npush.e 1\nskip:\n"), "at 0000000c: two paths meet at 00000010 with different stacks");
    // popenv without pushenv, pushenv that does not lead to a popenv.
    EXPECT_EQ(Refusal("l:\npopenv l\n"), "at 00000000: popenv without a with statement");
    EXPECT_EQ(Refusal("push.e 1\npushenv e\ne:\npopz.i\n"), "at 00000004: pushenv does not lead to a popenv");
    // ret with a type that has no slot.
    EXPECT_EQ(Refusal("ret.e\n"), "at 00000000: ret of type 15");
}

TEST_F(VMVerifyTest, CallsAreChecked)
{
    EXPECT_EQ(Refusal("call.i 7000 0\n"), "at 00000000: call of built-in function 7000, which does not exist");
    EXPECT_EQ(Refusal("call.i -3 0\n"), "at 00000000: call of function id -3");
    EXPECT_EQ(Refusal("push.e 1\nconv.i.v\ncall.i two_args 1\n"), "at 00000008: two_args takes 2 arguments, called with 1");
    std::string many;
    for (int i = 0; i < 17; ++i) many += "push.e 1\nconv.i.v\n";
    EXPECT_EQ(Refusal((many + "call.i any_args 17\n").c_str()), "at 00000088: a call with 17 arguments");
    EXPECT_EQ(Refusal("push.e 1\ncall.i any_args 1\n"), "at 00000004: a variable is taken where an int lies");
    // A call whose first type is not int raises its error when it runs.
    EXPECT_EQ(RunAsm("push.e 1\nconv.i.v\n.word 0xDA050001\n.word 0\n").error, "DoCall :: Execution Engine type error");
}

TEST_F(VMVerifyTest, DupCopiesWholeNumericSlots)
{
    // dup.i 1 copies the two ints on top; dup.d 0 the one real; dup.v 2 three copies.
    RunResult r = RunAsm("push.e 3\npush.e 4\ndup.i 1\nadd.i.i\nadd.i.i\nadd.i.i\nconv.i.v\n");
    EXPECT_EQ(r.value.real, 14);
    r = RunAsm("push.s \"ab\"\nconv.s.v\ndup.v 1\nadd.v.v\nadd.v.v\n");
    EXPECT_EQ(r.text(), "ababab");
    // Copying a string or half a real is refused; a nonzero second type does nothing.
    EXPECT_EQ(Refusal("push.s \"a\"\npush.e 1\ndup.i 1\n"), "at 0000000c: a stack operation copies or drops a string");
    EXPECT_EQ(Refusal("push.d 1\ndup.i 0\n"), "at 0000000c: a stack operation splits a slot");
    EXPECT_EQ(Refusal("push.e 1\ndup.i 3\n"), "at 00000004: a stack operation reaches below the frame");
    EXPECT_EQ(RunAsm("push.e 5\n.word 0x82120000\nconv.i.v\n").value.real, 5);
}

TEST_F(VMVerifyTest, ShuffleRotatesInNativeSizes)
{
    // Stack (bottom first): "a" 7 (variables), then 2.5 (a real) on top. pop.e.d with N = 8
    // words (two variables of the byte code's 16 bytes) sinks the real beneath both.
    RunResult r = RunAsm(R"(
        push.s "a"
        conv.s.v
        push.e 7
        conv.i.v
        push.d 2.5
        pop.e.d 8 0
        popz.v
        popz.v
        conv.d.v
    )");
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(r.value.real, 2.5);
    // N = S exchanges the two top values of one size: 1 2 -> 2 1, and 1 - 2 ... becomes 2 - 1.
    EXPECT_EQ(RunAsm("push.e 1\npush.e 2\npop.e.i 1 0\nsub.i.i\nconv.i.v\n").value.real, 1);
    // D discards (positive) or reserves (negative) words after the rotation.
    EXPECT_EQ(RunAsm("push.e 1\npush.e 2\npush.e 3\npop.e.i 0 1\nadd.i.i\nconv.i.v\n").value.real, 3);
    EXPECT_EQ(RunAsm("push.e 5\npop.e.i 0 -1\nadd.i.i\nconv.i.v\n").value.real, 5);
    // Splitting a slot, dropping a string, or reaching past a with is refused.
    EXPECT_EQ(Refusal("push.e 1\npush.d 2\npush.e 3\npop.e.i 1 0\n"), "at 00000014: a stack operation splits a slot");
    EXPECT_EQ(Refusal("push.s \"a\"\npush.e 3\npop.e.i 0 2\n"), "at 0000000c: a stack operation copies or drops a string");
    EXPECT_EQ(Refusal("push.e 1\npush.e 1\npushenv e\nb:\npush.e 2\npop.e.i 1 0\npopz.i\ne:\npopenv b\npopz.i\n"),
              "at 00000010: a stack operation reaches across a with statement");
}

TEST_F(VMVerifyTest, StaticallyWrongOperatorsRaiseWhenRun)
{
    // Refusing a whole unit for an instruction that may never run would stop code that works:
    // such instructions raise their error when they run, as they always did.
    EXPECT_EQ(Refusal("push.b false\nbf end\npush.f 1\npush.f 2\nadd.f.f\npopz.f\nend:\n"), "");
    EXPECT_EQ(RunAsm("push.e 1\n.word 0x41030000\n.word 0\n.word 0\n").error,
              "Pop :: Execution Error - Instruction malformed");
    EXPECT_EQ(RunAsm("push.f 1\npop.v.f self.x\n").error, "Pop :: Execution Engine");
}
