// The same corpus run by the byte-code machine and by the tree interpreter: identical
// results wherever the two executors agree, and the known differences pinned per executor.
// Also code compiled at run time through the execution entry points, and byte-code units
// under "-oldexec".
#include "code/CompilerTestSupport.h"

#include "Files/Code/Code_Execute.h"
#include "Files/Support/CommandLine.h"

namespace {

class DifferentialTest : public DifferentialFixture {
protected:
    void Same(const char* text, const std::string& self, const char* scripts = nullptr)
    {
        std::string expected = "self: " + self;
        std::string vm = Run(Executor::VM, text, scripts);
        std::string tree = Run(Executor::Tree, text, scripts);
        EXPECT_EQ(vm.substr(0, vm.find("other:")), expected) << "machine: " << text;
        EXPECT_EQ(tree.substr(0, tree.find("other:")), expected) << "tree: " << text;
    }
    std::string SelfOf(Executor e, const char* text, const char* scripts = nullptr)
    {
        std::string r = Run(e, text, scripts);
        return r.substr(0, r.find("other:"));
    }
};

// A built-in like execute_string: compiles its argument as a program and runs it for self.
void ExecString(ScriptValue* result, CInstance* self, CInstance* other, int32_t argc, ScriptValue* args)
{
    if (argc < 1 || args[0].kind != VALUE_STRING) return;
    CCode code(args[0].text, false);
    if (!code.Compile("execute_string")) return;
    Code_ExecuteValue(self, other, &code, result);
}

} // namespace

TEST_F(DifferentialTest, OperatorsAndAssignments)
{
    Same("a = 1 + 2 * 3; b = 'x' + 'y'; c = 7 div 2; d = -7 mod 3; e = 5 / 2; f = 5.5 mod 2; g = 3 * 'ab'",
         "a=7 b='xy' c=3 d=-1 e=2.5 f=1.5 g='ababab' ");
    Same("a = !0; b = !1; c = ~5; d = -(3); e = 1 < 2; f = 2 <= 1; g = 1 == 1; h = 1 != 1; i = 2 >= 2; j = 3 > 4",
         "a=1 b=0 c=-6 d=-3 e=1 f=0 g=1 h=0 i=1 j=0 ");
    Same("a = 1 && 0; b = 1 || 0; c = 1 ^^ 1; d = 5 | 2; e = 5 & 4; f = 5 ^ 1; g = 1 << 4; h = 256 >> 2",
         "a=0 b=1 c=0 d=7 e=4 f=4 g=16 h=64 ");
    // The same operators on values only known when the code runs.
    Same("p = 2; q = 3; s = 'ab'; a = p + q * p; b = s + s; c = q div p; d = -q mod p; e = q / p; f = p * s",
         "a=8 b='abab' c=1 d=-1 e=1.5 f='abab' p=2 q=3 s='ab' ");
    Same("p = 2; q = 3; a = p < q; b = p == q; c = !p; d = ~p; e = -p; f = p | q; g = p & q; h = p ^ q; "
         "i = q << p; j = q >> 1; k = p && q; l = p || 0; m = p ^^ q",
         "a=1 b=0 c=0 d=-3 e=-2 f=3 g=2 h=1 i=12 j=1 k=1 l=1 m=0 p=2 q=3 ");
    Same("v = 6; v |= 1; w = 6; w &= 3; u = 6; u ^= 3; t = 10; t += 5; t -= 1; t *= 2; t /= 4; s = 'a'; s += 'b'",
         "s='ab' t=7 u=5 v=7 w=2 ");
    Same("a[3] = 7; a[1, 2] = 5; b = a[3] + a[1, 2]; c = a[0, 3]", "a=0,0,0,7,0,0,5 b=12 c=7 ");
    Same("a = 5000000000; b = a + 1; c = -2147483648 div -1; d = 2147483648 - 1", "a=5000000000 b=5000000001 "
         "c=2147483648 d=2147483647 ");
    Same("a = 'x' < 'y'; b = 'b' > 'a'; c = 'a' == 'a'; s = 'q'; d = s == 'q'", "a=1 b=1 c=1 d=1 s='q' ");
    // mod of values known when the code runs: a zero is +0 whatever the signs and types, and
    // whole numbers past 2^53 give their exact remainder.
    Same("z = -0; n = -7; r = -7.5; h = 100000000000000000000; a = z mod 7; b = n mod 7; c = (n * 2) mod -7; "
         "d = r mod 2.5; e = n mod 1; f = h mod 7; g = -h mod 3; k = n mod 3; m = r mod -2",
         "a=0 b=0 c=0 d=0 e=0 f=2 g=-1 h=1e+20 k=-1 m=-1.5 n=-7 r=-7.5 z=-0 ");
    // A repeat count that is a typed number (a comparison or a negation) gives a string.
    Same("p = 2; a = (p > 1) * 'ab'; b = !p * 'ab'; c = (p < 1) * 'ab' + 'z'", "a='ab' b='' c='z' p=2 ");
}

TEST_F(DifferentialTest, Statements)
{
    Same("n = 0; repeat (3) n += 1; m = 0; repeat (0) m += 1; k = 0; repeat (-2) k += 1", "k=0 m=0 n=3 ");
    Same("i = 0; s = 0; for (i = 0; i < 3; i += 1) s += i", "i=3 s=3 ");
    Same("n = 0; do n += 1 until n > 3", "n=4 ");
    Same("n = 0; while (1) { n += 1; if n >= 4 break }", "n=4 ");
    Same("n = 0; t = 0; for (n = 0; n < 6; n += 1) { if n mod 2 continue; t += 1 }", "n=6 t=3 ");
    Same("n = 0; t = 0; do { n += 1; if n < 3 continue; t += 1 } until n >= 5", "n=5 t=3 ");
    Same("n = 0; t = 0; repeat (5) { n += 1; if n mod 2 continue; t += 1 }", "n=5 t=2 ");
    Same("n = 0; repeat (5) { n += 1; if n == 2 break }", "n=2 ");
    Same("if 1 a = 1 else a = 2; if 0 b = 1 else b = 2; if (1) ; c = 3; { ; } ; d = 4",
         "a=1 b=2 c=3 d=4 ");
    Same("n = 0; for (; n < 3; n += 1) ;", "n=3 ");
    Same("exit; a = 1", "");
    Same("a = 1; return 2; b = 3", "a=1 ");
}

TEST_F(DifferentialTest, Switches)
{
    Same("k = 1; switch (k) { case 1: a = 1; case 2: a = 2; break; default: a = 3 }", "a=2 k=1 ");
    Same("k = 5; switch (k) { case 1: a = 1; case 2: a = 2; break; default: a = 3 }", "a=3 k=5 ");
    Same("k = 1; a = 0; switch (k) { default: a = 3; case 1: a += 1 }", "a=4 k=1 ");
    Same("k = 2; a = 0; switch (k) { case 1: a = 1; case 2: }", "a=0 k=2 ");
    Same("s = 'b'; r = 0; switch (s) { case 'a': r = 1; break; case 'b': r = 2; break }", "r=2 s='b' ");
    Same("k = 3; j = 1; r = 0; switch (k) { case j + 2: r = 1 }", "j=1 k=3 r=1 ");
    Same("k = 1; r = 0; switch (k) { r = 9; case 1: r += 1 }", "k=1 r=1 ");
    // continue inside a switch reaches the loop, and the loop's state stays whole.
    Same("n = 0; t = 0; repeat (5) { n += 1; switch (n) { case 2: continue; case 4: continue } t += 1 }",
         "n=5 t=3 ");
    Same("n = 0; t = 0; while (n < 5) { n += 1; switch (n mod 2) { case 0: continue } t += 1 }", "n=5 t=3 ");
    Same("n = 0; t = 0; repeat (4) { n += 1; switch (n) { case 1: switch ('a') { case 'a': continue } } "
         "t += 1 }",
         "n=4 t=3 ");
    const char* withSwitch = "global.c = 0; with (all) { switch (global.c) { case 0: global.c += 1; continue } hit = 1 }";
    EXPECT_EQ(Run(Executor::VM, withSwitch), "self: other: hit=1 global: c=1 x=0.000000");
    EXPECT_EQ(Run(Executor::Tree, withSwitch), "self: other: hit=1 global: c=1 x=0.000000");
}

TEST_F(DifferentialTest, VariablesScopesAndCalls)
{
    Same("other.o = 3; self.s = other.o + 1", "s=4 ");
    Same("global.g = 5; h = global.g * 2", "h=10 ");
    Same("globalvar gv; gv = 4; h = global.gv", "h=4 ");
    Same("var l; l = 3; m = l + 1", "m=4 ");
    Same("a = sum2(2, 3); b = count(1, 2, 3); c = concat('a', 1)", "a=5 b=3 c=''a',1' ");
    Same("a = scr(5); b = argument0", "a=10 b=0 ", "scr:return argument0 * 2");
    Same("a = fact(5)", "a=120 ", "fact:if argument0 <= 1 return 1; return argument0 * fact(argument0 - 1)");
    Same("with (other) wo = 1; b = other.wo", "b=1 ");
    Same("with (all) wa = id", "wa=100001 ");
    Same("n = 0; with (all) { n2 = 1; break }", "n2=1 n=0 ");
    Same("with (noone) a = 1; with (123456) b = 2; c = 3", "c=3 ");
    Same("(100002).r = 7; s = (100002).r", "s=7 ");
    // Failures stop the code in both.
    EXPECT_EQ(SelfOf(Executor::VM, "a = 1; b = a.x; c = 1"), "ERR self: a=1 ");
    EXPECT_EQ(SelfOf(Executor::Tree, "a = 1; b = a.x; c = 1"), "ERR self: a=1 ");
    EXPECT_EQ(SelfOf(Executor::VM, "a = 1; b = undefined_one"), "ERR self: a=1 ");
    EXPECT_EQ(SelfOf(Executor::Tree, "a = 1; b = undefined_one"), "ERR self: a=1 ");
}

// Where the executors' rules differ, each case pins what each one does.
TEST_F(DifferentialTest, PinnedDifferences)
{
    // Exact (tree) versus epsilon (machine) equality of reals.
    const char* eq = "a = 1; b = a + 0.000001; c = a == b";
    EXPECT_EQ(SelfOf(Executor::Tree, eq), "self: a=1 b=1.0000009999999999 c=0 ");
    EXPECT_EQ(SelfOf(Executor::VM, eq), "self: a=1 b=1.0000009999999999 c=1 ");
    // Loop conditions in single precision (tree) versus the machine's truth of a real.
    const char* loop = "z = 0.4999999999; y = 0; while (z) { y += 1; z = 0 }";
    EXPECT_EQ(SelfOf(Executor::Tree, loop), "self: y=1 z=0 ");
    EXPECT_EQ(SelfOf(Executor::VM, loop), "self: y=0 z=0.49999999990000005 ");
    // Repeat counts: rounded halves to even (tree) versus the machine's conversion.
    const char* rep = "j = 0; repeat (3.5) j += 1; k = 0; repeat (2.5) k += 1";
    EXPECT_EQ(SelfOf(Executor::Tree, rep), "self: j=4 k=2 ");
    EXPECT_EQ(SelfOf(Executor::VM, rep), "self: j=3 k=2 ");
    // With over three instances: list order (tree) versus last first (machine).
    NewInstance(0);
    const char* order = "global.o = ''; with (all) global.o += 'i' + concat(id)";
    EXPECT_EQ(Run(Executor::Tree, order).substr(Run(Executor::Tree, order).find("global:")),
              "global: o='i100001i100002i100003' x=0.000000");
    EXPECT_EQ(Run(Executor::VM, order).substr(Run(Executor::VM, order).find("global:")),
              "global: o='i100003i100002i100001' x=0.000000");
    // A break outside any loop: nothing (machine) versus the end of the program (tree).
    EXPECT_EQ(SelfOf(Executor::VM, "break; a = 1"), "self: a=1 ");
    EXPECT_EQ(SelfOf(Executor::Tree, "break; a = 1"), "self: ");
    // mod of fractions: fmod's exact remainder of the two binary numbers (machine) versus
    // x - y * trunc(x / y) (tree, and the compiler's folding in both): 0.1 is a little above a
    // tenth, so 7 holds 69 of it and a remainder just short of it.
    const char* frac = "p = 7; q = 0.1; m = p mod q";
    EXPECT_EQ(SelfOf(Executor::Tree, frac), "self: m=0 p=7 q=0.10000000000000001 ");
    EXPECT_EQ(SelfOf(Executor::VM, frac), "self: m=0.099999999999999617 p=7 q=0.10000000000000001 ");
    // globalvar: when compiled (machine) versus when executed (tree).
    const char* gv = "if 0 { globalvar later } later = 1";
    EXPECT_EQ(Run(Executor::Tree, gv).substr(0, 12), "self: later=");
    EXPECT_NE(Run(Executor::VM, gv).find("global: later=1"), std::string::npos);
}

TEST_F(DifferentialTest, CodeCompiledWhileRunning)
{
    Function_Add("exec_str", ExecString, 1);
    Same("exec_str('a = 2; b = a * 3'); c = 1", "a=2 b=6 c=1 ");
    Same("n = 0; repeat (3) exec_str('n += 1')", "n=3 ");
    // Expressions compiled and evaluated through the entry points.
    for (int vm = 0; vm < 2; ++vm) {
        g_StartupOptions.byteCodeInterpreter = uint8_t(vm);
        CCode expr("sum2(2, 3) * 2", true);
        ASSERT_TRUE(expr.Compile("watch"));
        ScriptValue r = Value_Real(0.0);
        EXPECT_TRUE(Code_ExecuteValue(m_self, m_other, &expr, &r));
        EXPECT_EQ(ValueText(&r), "10") << vm;
        CCode constant("'k' + 'm'", true);
        ASSERT_TRUE(constant.Compile("const"));
        EXPECT_TRUE(Code_ExecuteValue(m_self, m_other, &constant, &r));
        EXPECT_EQ(ValueText(&r), "'km'");
        Value_FreeString(&r);
    }
    g_StartupOptions.byteCodeInterpreter = 1;
}

TEST_F(DifferentialTest, ByteCodeUnitsRunInTheMachineUnderOldExec)
{
    // A unit from the game's code table has byte code and no tree.
    CompiledByteCode bc;
    ASSERT_TRUE(Code_CompileByteCode("t = 41 + 1", false, "table", &bc));
    Code_Table_Init(1);
    Code_Table_SetEntry(0, "table", bc.code->m_pData, bc.code->m_size, nullptr, 0, nullptr);
    // The table's copy has no pool of its own: this code has no string operands.
    Code_CompiledByteCode_Free(&bc);
    CCode unit(0, false);
    g_StartupOptions.byteCodeInterpreter = 0;
    ScriptValue r = Value_Real(0.0);
    EXPECT_TRUE(Code_Execute(m_self, m_other, &unit, &r));
    g_StartupOptions.byteCodeInterpreter = 1;
    EXPECT_EQ(SelfVar("t"), "42");
    Value_FreeString(&r);
}

TEST_F(DifferentialTest, ANumberTimesAStringIsAStringWhateverTheNumbersWidth)
{
    // A comparison or a negation gives a bool (an int once converted), as wide as the string:
    // the product is still the repeated string.
    Same("p = 2; a = (p < 3) * 'ab'; b = !0 * 'cd'; d = !p * 'e'; e = (p == 2) * 'x' + 'y'", "a='ab' b='cd' d='' e='xy' p=2 ");
}
