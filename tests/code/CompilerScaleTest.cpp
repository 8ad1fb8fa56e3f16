// The compiler on large units: the byte code of a large generated unit stays what it was (the
// memory work on tokens and trees must not change a bit of it), one compile needs memory in
// proportion to its text, counted through the memory manager, and a unit the machine runs
// keeps no tree.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Files/Base/CRC32.h"
#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Execute.h"
#include "Files/Support/CommandLine.h"
#include "Platform/MemoryManager.h"
#include "code/CompilerTestSupport.h"

namespace {

// Statements of every kind, with distinct strings, locals, arrays, scopes and nesting; n
// rounds of them.
std::string LargeUnit(int n)
{
    std::string s = "var t0, t1; globalvar g0;\n";
    for (int i = 0; i < n; ++i) {
        const std::string k = std::to_string(i);
        s += "t" + std::to_string(i % 2) + " = x * " + k + " + $" + std::to_string(i % 9) + "f - 0." + k + ";\n";
        s += "if (a" + k + " > 1 && !b or c xor d) { s = 'text " + k + "' + \"" + k + "\" } else s = 'same';\n";
        s += "arr[i, " + k + "] = other.arr[" + k + "] | (1 << 3) ^ ~y mod 7 div 2;\n";
        s += "while (w < 3) { w += 1; if (w == 2) continue; break }\n";
        s += "do { d -= 1 } until (d <= -40000 || d >= 3000000000);\n";
        s += "for (i = 0; i < 4; i += 1) repeat (2) with (other) { q *= 2; exit }\n";
        s += "switch (t1) { case " + k + ": case 'k': z = sum2(count(1, 2, 3), concat('a', k)); break; default: z /= 2 }\n";
        s += "g0 &= global.h; self.v = argument0; (obj).w := -t0;\n";
    }
    return s;
}

// The dense kind of text that costs most per byte: short names, arrays and operators.
std::string DenseUnit(size_t bytes)
{
    std::string s;
    while (s.size() < bytes) s += "a[i,j]=b+c*d-e;\nx=1;\n";
    return s;
}

class CompilerScaleTest : public CompilerTest {};

TEST_F(CompilerScaleTest, LargeUnitKeepsItsByteCode)
{
    std::string text = LargeUnit(400);
    CompiledByteCode out;
    ASSERT_TRUE(Code_CompileByteCode(text.c_str(), false, "large", &out)) << out.error;
    uint32_t strings = 0;
    for (const ByteCodeReference& r : out.strings) strings = strings * 31 + uint32_t(r.offset) * 7 + uint32_t(r.id);
    for (int32_t i = 0; i < out.code->m_stringCount; ++i) strings = strings * 31 + CRC32_String(out.code->m_ppStrings[i]);
    // Pinned from the compiler before its token and tree work: a change here is a change of
    // the byte code, to be made on purpose.
    EXPECT_EQ(out.code->m_size, 323192);
    EXPECT_EQ(CRC32_Buffer(out.code->m_pData, out.code->m_size), 4153202495u);
    EXPECT_EQ(CRC32_Buffer(out.debug->m_pData, out.debug->m_size), 1140662548u);
    EXPECT_EQ(out.code->m_stringCount, 403);
    EXPECT_EQ(strings, 3725389780u);
    EXPECT_EQ(out.variables.size() + 1000 * out.functions.size(), 1215600u);
    Code_CompiledByteCode_Free(&out);
}

TEST_F(CompilerScaleTest, CompileMemoryFollowsTheText)
{
    // The memory manager's blocks at the height of a compile, per byte of text, for two sizes:
    // bounded, and not growing with the size.
    double perByte[2];
    const size_t sizes[2] = {100000, 400000};
    for (int k = 0; k < 2; ++k) {
        std::string text = DenseUnit(sizes[k]);
        uint32_t before = MemoryManager::BytesInUse();
        MemoryManager::ResetPeak();
        {
            CCode code(text.c_str(), false);
            ASSERT_TRUE(code.Compile("dense"));
            // A unit the machine runs keeps its byte code and a copy of its text, not its tree
            // (the tree alone is over 40 bytes a byte of this text).
            EXPECT_LT(double(MemoryManager::BytesInUse() - before) / double(text.size()), 15.0);
        }
        perByte[k] = double(MemoryManager::PeakBytes() - before) / double(text.size());
        EXPECT_EQ(MemoryManager::BytesInUse(), before);
    }
    // About 54 here (136 when tokens carried copies of their texts and every plain name a
    // scope node).
    EXPECT_LT(perByte[1], 60.0);
    EXPECT_LT(perByte[1], perByte[0] * 1.2);
}

TEST_F(CompilerScaleTest, UnitWithoutItsTreeStillRunsUnderEitherExecutor)
{
    CCode code("var k; k = 6; return k * 7", false);
    ASSERT_TRUE(code.Compile("answer"));
    EXPECT_EQ(code.m_tree.childCount, 0);
    for (int vm : {1, 0}) {
        g_StartupOptions.byteCodeInterpreter = uint8_t(vm);
        ScriptValue result = Value_Real(0.0);
        EXPECT_TRUE(Code_ExecuteInternal(m_self, m_self, &code, &result)) << vm;
        EXPECT_EQ(result.real, 42.0) << vm;
        Value_FreeString(&result);
    }
    g_StartupOptions.byteCodeInterpreter = 1;
}

TEST_F(CompilerScaleTest, DepthLimitCountsAPlainNameAsBefore)
{
    // first+a+...+a with k operators: the two innermost operands lie at depth k + 3, and the
    // scope of a variable one deeper. A plain name has no scope node now; the limit of 2000
    // still counts it, so the same texts are refused, at the same place (the last operand of
    // the innermost operator, met first).
    auto chain = [](const char* first, int k) {
        std::string s = std::string("x = ") + first;
        for (int i = 0; i < k; ++i) s += "+a";
        return s;
    };
    for (const char* first : {"a", "a[0]"}) {
        EXPECT_EQ(CompileError(chain(first, CODE_MAX_TREE_DEPTH - 4).c_str()), "") << first;
        std::string error = CompileError(chain(first, CODE_MAX_TREE_DEPTH - 3).c_str());
        std::string tail = "\n\nat position " + std::to_string(std::strlen(first) + 6) + ": Code nested too deeply.";
        ASSERT_GT(error.size(), tail.size()) << first;
        EXPECT_EQ(error.substr(error.size() - tail.size()), tail)
            << first;
    }
}

} // namespace
