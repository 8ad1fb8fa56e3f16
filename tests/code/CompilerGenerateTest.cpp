// The byte-code generator: disassembly goldens of a corpus covering every statement and
// operator (tests/data/compiler/disasm.golden; ZB_UPDATE_GOLDEN=1 rewrites it), the
// mended jump and operand forms, the write buffer and the packer's entry.
#include "code/CompilerTestSupport.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "Files/Code/VM_WriteBuffer.h"
#include "Files/Support/CommandLine.h"

namespace {

class CompilerGenerateTest : public CompilerTest {};

std::string GoldenPath()
{
    return std::string(ZB_TESTS_DIR) + "/data/compiler/disasm.golden";
}

// "=== program" lines, each followed by its disassembly.
std::vector<std::pair<std::string, std::string>> ReadGolden()
{
    std::ifstream in(GoldenPath());
    std::vector<std::pair<std::string, std::string>> cases;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("=== ", 0) == 0) {
            cases.emplace_back(line.substr(4), "");
        } else if (!cases.empty()) {
            cases.back().second += line + "\n";
        }
    }
    return cases;
}

} // namespace

TEST_F(CompilerGenerateTest, CorpusDisassembly)
{
    auto cases = ReadGolden();
    ASSERT_GT(cases.size(), 20u) << GoldenPath();
    if (std::getenv("ZB_UPDATE_GOLDEN")) {
        std::ofstream out(GoldenPath());
        for (auto& c : cases) out << "=== " << c.first << "\n" << DisasmOf(c.first.c_str());
        return;
    }
    for (auto& c : cases) EXPECT_EQ(DisasmOf(c.first.c_str()), c.second) << c.first;
}

TEST_F(CompilerGenerateTest, ConstantsPickTheirForm)
{
    EXPECT_EQ(DisasmOf("x = 32767; x = -32768; x = 32768; x = -2147483648; x = 2147483648; x = 0.1"),
              "push.e 32767\npop.v.i $x$\npush.e -32768\npop.v.i $x$\npush.i 32768\npop.v.i $x$\n"
              "push.i -2147483648\npop.v.i $x$\npush.d 2147483648.000000\npop.v.d $x$\npush.d 0.100000\n"
              "pop.v.d $x$\n");
}

TEST_F(CompilerGenerateTest, ScopeOperandsFitOrGoOnTheStack)
{
    auto operandOf = [](const char* text, uint32_t* word, uint32_t* operand) {
        CCode code(text, false);
        ASSERT_TRUE(code.Compile("t"));
        ASSERT_NE(code.m_pCode, nullptr);
        // The last instruction is the store: word and operand.
        int32_t n = code.m_pCode->m_size;
        *word = VM_Load32(code.m_pCode->m_pData + n - 8);
        *operand = VM_Load32(code.m_pCode->m_pData + n - 4);
    };
    uint32_t w, op;
    operandOf("other.x = 1", &w, &op);
    EXPECT_EQ(VM_FieldSigned(w), -2);
    EXPECT_EQ(op & (VMREF_SCOPE_IN_WORD | VMREF_NO_INDEX | VMREF_INSTANCE), VMREF_SCOPE_IN_WORD | VMREF_NO_INDEX);
    operandOf("(132767).y = 1", &w, &op);
    EXPECT_EQ(VM_FieldSigned(w), 32767);
    EXPECT_TRUE(op & VMREF_INSTANCE);
    operandOf("(132768).y = 1", &w, &op);
    EXPECT_EQ(op & VMREF_SCOPE_IN_WORD, 0u);
    operandOf("(32768).y = 1", &w, &op);
    EXPECT_EQ(op & VMREF_SCOPE_IN_WORD, 0u);
    operandOf("(99999).y = 1", &w, &op);
    EXPECT_EQ(op & VMREF_SCOPE_IN_WORD, 0u);
    operandOf("(32767).y = 1", &w, &op);
    EXPECT_EQ(VM_FieldSigned(w), 32767);
    EXPECT_EQ(op & VMREF_INSTANCE, 0u);
}

TEST_F(CompilerGenerateTest, ContinueDropsTheSwitchValues)
{
    // Two switches between the continue and its loop: both values are dropped first.
    std::string d = DisasmOf("while 1 { switch a { case 1: switch b { case 's': continue } } }");
    EXPECT_NE(d.find("bt 0x00000048\nb 0x00000054\npopz.v\npopz.v\nb 0x00000000\n"), std::string::npos) << d;
    // Outside any loop, continue and break compile to nothing.
    EXPECT_EQ(DisasmOf("continue; break"), "");
}

TEST_F(CompilerGenerateTest, GlobalvarTakesEffectWhenCompiled)
{
    CCode code("globalvar gv", false);
    ASSERT_TRUE(code.Compile("t"));
    EXPECT_TRUE(Variable_Global_IsDeclared(Code_Variable_FindUser("gv")));
}

TEST_F(CompilerGenerateTest, TreeInterpreterUnitsHaveNoByteCode)
{
    g_StartupOptions.byteCodeInterpreter = 0;
    CCode code("x = 1", false);
    ASSERT_TRUE(code.Compile("t"));
    EXPECT_EQ(code.m_pCode, nullptr);
    g_StartupOptions.byteCodeInterpreter = 1;
}

TEST_F(CompilerGenerateTest, WriteBufferGrowsByDoubling)
{
    VMWriteBuffer b(16);
    for (uint32_t i = 0; i < 5; ++i) b.Emit(i + 1);
    EXPECT_EQ(b.m_size, 32);
    for (int32_t i = 0; i < 5; ++i) EXPECT_EQ(b.WordAt(4 * i), uint32_t(i + 1));
    b.Emit(0, 7u); // n = 0 appends nothing
    EXPECT_EQ(b.GetOffset(), 20);
    b.EmitFloat(0.1f);
    double d;
    std::memcpy(&d, b.m_pData + 20, 8);
    EXPECT_EQ(d, double(0.1f));
    b.Finish();
    EXPECT_EQ(b.m_size, 28);
}

TEST_F(CompilerGenerateTest, PackerEntry)
{
    CompiledByteCode out;
    ASSERT_TRUE(Code_CompileByteCode("a = sum2(b, 'q')\nif a c = 'q'", false, "p", &out)) << out.error;
    ASSERT_NE(out.code, nullptr);
    ASSERT_NE(out.debug, nullptr);
    EXPECT_EQ(out.debug->m_size, 3 * 8); // the assignment, the if and the assignment inside it
    // Every reference points at an operand that holds what it names.
    ASSERT_EQ(out.functions.size(), 1u);
    EXPECT_EQ(int32_t(VM_Load32(out.code->m_pData + out.functions[0].offset)), out.functions[0].id);
    EXPECT_STREQ(Function_GetName(out.functions[0].id), "sum2");
    ASSERT_EQ(out.variables.size(), 4u);
    for (const ByteCodeReference& r : out.variables) {
        EXPECT_EQ(int32_t(VM_Load32(out.code->m_pData + r.offset) & VMREF_ID_MASK), r.id);
    }
    EXPECT_STREQ(Code_Variable_GetName(out.variables[0].id), "b");
    ASSERT_EQ(out.strings.size(), 2u);
    EXPECT_EQ(out.strings[0].id, out.strings[1].id); // one pool entry for the same text
    EXPECT_STREQ(out.code->GetString(out.strings[0].id), "q");
    Code_CompiledByteCode_Free(&out);

    // Constant expressions get code too.
    ASSERT_TRUE(Code_CompileByteCode("1 + 2", true, "e", &out));
    EXPECT_EQ(DisasmText(out.code), "push.e 3\nconv.i.v\n");
    Code_CompiledByteCode_Free(&out);

    EXPECT_FALSE(Code_CompileByteCode("x = ", false, "bad", &out));
    EXPECT_EQ(out.code, nullptr);
    EXPECT_NE(out.error.find("Unexpected symbol in expression."), std::string::npos);
}

TEST_F(CompilerGenerateTest, TheMachineAcceptsTheCorpus)
{
    for (auto& c : ReadGolden()) {
        CCode code(c.first.c_str(), false);
        if (!code.Compile("t") || !code.m_pCode) continue;
        std::string why;
        EXPECT_TRUE(VM_Prepare(code.m_pCode, &why)) << c.first << ": " << why;
    }
}

TEST_F(CompilerGenerateTest, NestedCallsAreBoundedByWhatTheMachineHolds)
{
    // Calls nested in the arguments of calls: the pending arguments of every level lie on the
    // machine's stack at once. Within the parser's nesting limit, code either compiles to byte
    // code the machine accepts or is refused when compiled.
    auto nested = [](int levels) {
        std::string args, text = "1";
        for (int i = 0; i < 15; ++i) args += ", " + std::to_string(i);
        for (int i = 0; i < levels; ++i) text = "count(" + text + args + ")";
        return "x = " + text;
    };
    const std::string text = nested(40); // the unit does not copy its text
    CCode fits(text.c_str(), false);
    ASSERT_TRUE(fits.Compile("t"));
    std::string why;
    EXPECT_TRUE(VM_Prepare(fits.m_pCode, &why)) << why;
    const std::string deep = CompileError(nested(CODE_MAX_NESTING - 8).c_str());
    EXPECT_NE(deep.find("Expression too complex."), std::string::npos) << deep;
}
