// The byte-code format: operand sizes, the assembler and the disassembler's text for every
// instruction form.
#include "code/CodeTestSupport.h"

namespace {

void Nop(ScriptValue*, CInstance*, CInstance*, int32_t, ScriptValue*) {}

class FormatTest : public ScriptTest {
protected:
    void SetUp() override
    {
        ScriptTest::SetUp();
        Function_Add("show_message", Nop, 1);
        RegisterBuiltinVariable("x", nullptr, nullptr, false);
    }
    std::string Disassemble(const char* source)
    {
        std::string error;
        VMBuffer* code = nullptr;
        EXPECT_TRUE(VM_Assemble(source, &code, nullptr, &error)) << error;
        if (!code) return "";
        CaptureConsole c;
        VM_DisassembleAll(&c, code);
        delete code;
        return c.text;
    }
};

} // namespace

TEST(FormatSizes, OperandSizeFollowsTheFirstType)
{
    const int sizes[16] = {8, 4, 4, 8, 4, 4, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (int t = 0; t < 16; ++t) EXPECT_EQ(VM_TypeSize(t), sizes[t]) << t;
    EXPECT_EQ(VM_InstructionSize(VM_Word(VMOP_POP, VMT_VAR, VMT_INT, 0)), 8);
    EXPECT_EQ(VM_InstructionSize(VM_Word(VMOP_POP, VMT_SHORT, VMT_VAR, 0)), 4);
    EXPECT_EQ(VM_InstructionSize(VM_Word(VMOP_PUSH, VMT_REAL, 0, 0)), 12);
    EXPECT_EQ(VM_InstructionSize(VM_Word(VMOP_ADD, VMT_REAL, VMT_REAL, 0)), 4); // no bit 6
    EXPECT_EQ(VM_InstructionSize(0x41000000u | (3u << 16)), 12); // unlisted 0x41 forms too
    EXPECT_STREQ(VM_OpcodeName(1), "unknown");
    EXPECT_EQ(VM_BranchOffset(0xB7FFFFFFu), -1);
    EXPECT_EQ(VM_BranchOffset(0xB7000000u), 0);
}

TEST_F(FormatTest, EveryInstructionForm)
{
    Script_Add("scr_a", "", -1);
    std::string out = Disassemble(R"(
start:
    conv.i.d
    mul.d.d
    div.i.i
    rem.v.v
    mod.d.i
    add.s.s
    sub.l.d
    and.b.b
    or.i.i
    xor.i.i
    neg.v
    not.b
    shl.i.i
    shr.d.i
    slt.i.v
    sle.v.i
    seq.s.s
    sne.d.d
    sge.b.i
    sgt.l.l
    push.d 1.5
    push.f 0.25
    push.i 100000
    push.l 5000000000
    push.b true
    push.s "a \"q\""
    push.e -2
    push.v self.x
    push.v other.y[]
    push.v stack.z
    push.v 100003.w
    pop.v.i global.x
    pop.i.v local.y[]
    pop.e.v 4 -2
    dup.i 1
    dup.v
    popz.v
    call.i show_message 1
    call.i 100000 0
    ret.v
    exit.i
    b start
    bt end
    bf start
    pushenv end
    popenv start
    popenv leave
    break 0
    break 65535
    .word 0x01020000
    .word 0xBA000002
end:
)");
    const char* expected =
        "00000000 : 00000203                 conv.i.d  \n"
        "00000004 : 00000004                 mul.d.d   \n"
        "00000008 : 00002205                 div.i.i   \n"
        "0000000c : 00005506                 rem.v.v   \n"
        "00000010 : 00002007                 mod.d.i   \n"
        "00000014 : 00006608                 add.s.s   \n"
        "00000018 : 00000309                 sub.l.d   \n"
        "0000001c : 0000440a                 and.b.b   \n"
        "00000020 : 0000220b                 or.i.i    \n"
        "00000024 : 0000220c                 xor.i.i   \n"
        "00000028 : 0000050d                 neg.v.d   \n"
        "0000002c : 0000040e                 not.b.d   \n"
        "00000030 : 0000220f                 shl.i.i   \n"
        "00000034 : 00002010                 shr.d.i   \n"
        "00000038 : 00005211                 slt.i.v   \n"
        "0000003c : 00002512                 sle.v.i   \n"
        "00000040 : 00006613                 seq.s.s   \n"
        "00000044 : 00000014                 sne.d.d   \n"
        "00000048 : 00002415                 sge.b.i   \n"
        "0000004c : 00003316                 sgt.l.l   \n"
        "00000050 : 000000c0000000000000f83f push.d    1.500000\n"
        "0000005c : 000001c00000803e         push.f    0.250000\n"
        "00000064 : 000002c0a0860100         push.i    100000\n"
        "0000006c : 000003c000f2052a01000000 push.l    5000000000\n"
        "00000078 : 000004c001000000         push.b    true\n"
        "00000080 : 000006c000000000         push.s    \"a \"q\"\"\n"
        "00000088 : feff0fc0                 push.e    -2\n"
        "0000008c : ffff05c0000000a0         push.v    $x$\n"
        "00000094 : feff05c0a0860120         push.v    $y$\n"
        "0000009c : 000005c0a1860180         push.v    $z$\n"
        "000000a4 : 030005c0a28601e0         push.v    $w$\n"
        "000000ac : fbff2541000000a0         pop.v.i   $x$\n"
        "000000b4 : f9ff5241a0860120         pop.i.v   536970912\n"
        "000000bc : 04fe5f41                 pop.e.v   -508\n"
        "000000c0 : 01000282                 dup.i     \n"
        "000000c4 : 00000582                 dup.v     \n"
        "000000c8 : 0000059f                 popz.v    \n"
        "000000cc : 010002da00000000         call.i    show_message\n"
        "000000d4 : 000002daa0860100         call.i    100000\n"
        "000000dc : 0000059d                 ret.v     \n"
        "000000e0 : 0000029e                 exit.i    \n"
        "000000e4 : c7ffffb7                 b         0x00000000\n"
        "000000e8 : 090000b8                 bt        0x0000010c\n"
        "000000ec : c5ffffb9                 bf        0x00000000\n"
        "000000f0 : 070000bb                 pushenv   0x0000010c\n"
        "000000f4 : c3ffffbc                 popenv    0x00000000\n"
        "000000f8 : 0000f0bc                 popenv    0xffc000f8\n"
        "000000fc : 0000ffff                 break     0\n"
        "00000100 : ffffffff                 break     -1\n"
        "00000104 : 00000201                 unknown.i.d\n"
        "00000108 : 020000ba                 unknown   0x00000110\n";
    EXPECT_EQ(out, expected);
}

TEST_F(FormatTest, StringOperandsResolveThroughTheGamesTableWithoutAPool)
{
    VM_StringTable_Set(2);
    VM_StringTable_SetEntry(1, "from the table");
    VMBuffer code;
    uint32_t words[2] = {VM_Word(VMOP_PUSH, VMT_STRING, 0, 0), 1};
    code.m_pData = static_cast<uint8_t*>(MEM_ALLOC(8));
    std::memcpy(code.m_pData, words, 8);
    code.m_size = 8;
    CaptureConsole c;
    EXPECT_EQ(VM_Disassemble(&c, &code, 0), 8);
    EXPECT_EQ(c.text, "00000000 : 000006c001000000         push.s    \"from the table\"\n");
}

TEST_F(FormatTest, TruncatedInstructionShowsWhatIsThere)
{
    VMBuffer code;
    uint32_t word = VM_Word(VMOP_PUSH, VMT_REAL, 0, 0);
    code.m_pData = static_cast<uint8_t*>(MEM_ALLOC(8));
    std::memcpy(code.m_pData, &word, 4);
    std::memset(code.m_pData + 4, 0, 4);
    code.m_size = 8;
    CaptureConsole c;
    EXPECT_EQ(VM_Disassemble(&c, &code, 0), 12);
    EXPECT_EQ(c.text, "00000000 : 000000c000000000         push.d    \n");
}

TEST_F(FormatTest, AssemblerReportsErrorsWithTheirLine)
{
    std::string error;
    VMBuffer* code = nullptr;
    EXPECT_FALSE(VM_Assemble("push.i 1\nfrob.i\n", &code, nullptr, &error));
    EXPECT_EQ(code, nullptr);
    EXPECT_EQ(error, "line 2: unknown instruction 'frob'");
    EXPECT_FALSE(VM_Assemble("b nowhere\n", &code, nullptr, &error));
    EXPECT_EQ(error, "line 1: unknown label 'nowhere'");
    EXPECT_FALSE(VM_Assemble("call.i no_such_function 0\n", &code, nullptr, &error));
    EXPECT_EQ(error, "line 1: unknown function 'no_such_function'");
}

TEST_F(FormatTest, AssemblerWritesDebugPairs)
{
    VMBuffer* code = nullptr;
    VMBuffer* debug = nullptr;
    std::string error;
    ASSERT_TRUE(VM_Assemble("push.e 1\n.pos 7\npush.d 2\n.pos 12\npopz.d\n", &code, &debug, &error));
    ASSERT_NE(debug, nullptr);
    ASSERT_EQ(debug->m_size, 16);
    int32_t pairs[4];
    std::memcpy(pairs, debug->m_pData, 16);
    EXPECT_EQ(pairs[0], 4);
    EXPECT_EQ(pairs[1], 7);
    EXPECT_EQ(pairs[2], 16);
    EXPECT_EQ(pairs[3], 12);
    delete code;
    delete debug;
}
