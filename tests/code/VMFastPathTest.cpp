// The machine's fast paths against the rules they stand in for: `var` locals in frame slots,
// arguments left on the stack, instruction groups (loops, x op= k, compare and branch, in-place
// appends, a[i] with a constant scope), integer paths of mod and div. Programs are run by the
// machine and by the tree interpreter and must leave the same variables; the rest is checked
// against what the general forms give.
#include "code/CompilerTestSupport.h"

#include <cmath>
#include <random>

#include "Files/Code/Code_Execute.h"
#include "Files/Code/VM_Debug.h"

namespace {

// Runs its argument as code for self and other (as execute_string does).
void RunText(ScriptValue* result, CInstance* self, CInstance* other, int32_t argc, ScriptValue* args)
{
    if (argc < 1 || args[0].kind != VALUE_STRING) return;
    CCode code(args[0].text, false);
    if (code.Compile("run_text")) Code_ExecuteValue(self, other, &code, result);
}

class VMFastPathTest : public DifferentialFixture {
protected:
    void SetUp() override
    {
        DifferentialFixture::SetUp();
        Function_Add("run_text", RunText, 1);
    }
    // Both executors leave the same variables (and fail alike).
    void Agree(const char* text, const char* scripts = nullptr)
    {
        std::string vm = Run(Executor::VM, text, scripts);
        std::string tree = Run(Executor::Tree, text, scripts);
        EXPECT_EQ(vm, tree) << text;
    }
};

} // namespace

TEST_F(VMFastPathTest, LoopsOverLocalsAgreeWithTheTreeInterpreter)
{
    Agree("var i, s; s = 0; for (i = 0; i < 20; i += 1) s += (i * 3) mod 7; r = s; q = i");
    Agree("var i, s; s = 0; for (i = 10; i > -10; i -= 3) s += i div 4 + i mod -3 + (i * 0.5) mod 2; r = s");
    Agree("var i, s; s = 0.5; for (i = 0; i <= 2.5; i += 0.5) s *= 1.5; r = s; q = i");
    Agree("var i, t; t = 0; for (i = 0; i < 10; i += 1) { if (i == 3) continue; if (i == 7) break; t += i } r = t; q = i");
    Agree("var i, j, c; c = 0; for (i = 0; i < 4; i += 1) for (j = i; j != 4; j += 1) c += i * j; r = c");
    Agree("var n; n = 0; repeat (5) { n += 2; if (n > 6) break } r = n");
    Agree("var a, b; a = 0; b = 5; while (a < b) a += 1; do b -= 2 until b <= a - 4; r = a; q = b");
    Agree("var a, b, c; a = 3; b = 4; c = a * b - a / b; c /= 2; c -= b; r = c; q = a mod b");
    Agree("var a; a[3] = 1; a[1] = 2; a[2, 1] = 5; r = a[3] + a[1] + a[0] + a[2, 1]");
    // x = y op z and x = y op k into locals and into self's variables, numbers and texts.
    Agree("var a, b, c; a = 3; b = 4; c = a * b; d = a - b; e = b / a; f = a mod 2; g = b * 1.5; c = c div 5; "
          "h = d mod -3; r = c; var s, t; s = 'a'; t = 'b'; u = s + t; s = t + s; v = s");
    Agree("var a, b; a = 1; b = 0; c = a / b");
    // The counter of a for loop turns into a string: the loop's own op gives way to the
    // general ones, which fail in both.
    Agree("var i, n; n = 0; for (i = 0; i < 3; i += 1) { n += 1; if (n == 2) i = 'x' } r = n");
    // An unset local read fails in both; a local is not self's variable.
    Agree("var u; r = 1; r = u + 1");
    Agree("var l; l = 4; self.l = 9; r = l; q = self.l");
}

TEST_F(VMFastPathTest, StringsAppendedInPlaceStayValues)
{
    Agree("var s; s = ''; repeat (50) s += 'ab'; r = s");
    // The copy taken before the append keeps its text.
    Agree("var s, t; s = 'x'; t = s; s += 'y'; s = s + 'z'; r = s; q = t; p = t + s");
    Agree("var s; s = 'q'; repeat (3) s += ''; r = s");
    Agree("var s; s = 5; s += 'a'");
    Agree("var s, i; s = concat(1); for (i = 0; i < 40; i += 1) s += 'abcdefgh'; r = s");
    // Self's string appends the general way.
    Agree("w = 'a'; repeat (4) w += 'b'; r = w");
}

TEST_F(VMFastPathTest, InstanceVariablesAndArraysAgree)
{
    Agree("for (i = 0; i < 10; i += 1) a[i] = i mod 4; var s, k; s = 0; for (k = 0; k < 10; k += 1) s += a[k]; r = s");
    Agree("px = 0; vx = 1.5; repeat (10) { px += vx; if (px > 5) px = 0 } r = px");
    Agree("b[2] = 'p'; var s; s = 0; s += b[2]");
    Agree("var s; s = 1; s *= c[5]; r = s");
    Agree("d[0] = 3; var s; s = 10; s -= d[0]; s /= d[0]; r = s; s += d[1]");
    Agree("globalvar g; g = 2; g += 3; h = g * 2; global.m[1] = 4; var s; s = 2; s += global.m[1]; r = s");
    Agree("x = 3; x += 2; r = x; x = -x; q = x");
}

TEST_F(VMFastPathTest, ScriptArgumentsAgree)
{
    Agree("r = s3(1, 2, 3)", "s3:return argument0 * 100 + argument1 * 10 + argument2");
    Agree("a = cnt(); b = cnt(1, 2)", "cnt:return argument_count");
    Agree("a = ix(1, 7, 8); b = ix(0, 'w')", "ix:return argument[argument0]");
    Agree("a = wr(1, 2); b = argument0", "wr:argument0 = 5; argument[1] = 6; return argument0 + argument1");
    Agree("a = nest(1, 2, 3)", "nest:return count(argument0, argument1) + argument2");
    Agree("r = cat(5, 'x')", "cat:if argument0 <= 0 return argument1; return cat(argument0 - 1, argument1 + 'a')");
    Agree("a = z(1); b = z()", "z:return argument5 + argument0");
    Agree("a = outer(3)", "outer:var t; t = inner(argument0 + 1); return argument0 * 1000 + t|inner:return argument0 * 2");
    // Code run by a built-in sees the running script's arguments.
    Agree("a = viaexec(41)", "viaexec:return run_text('return argument0 + 1')");
    Agree("a = viaexec(41)", "viaexec:var k; k = argument0; return run_text('return argument_count') + k");
}

TEST_F(VMFastPathTest, ModAndDivOfWholeNumbersMatchTheRealForms)
{
    // The integer paths give VM_ModReal's and the truncated quotient's results, the sign of a
    // zero included (+0 for mod, whatever the signs).
    std::mt19937 random(7);
    const double special[] = {0.0, -0.0, 1, -1, 7, -7, 2147483647.0, -2147483648.0, 2147483648.0, -2147483649.0,
                              1e15, -1e15, 0.5, -2.5, 1e300, NAN, INFINITY, -INFINITY};
    std::vector<double> values(std::begin(special), std::end(special));
    for (int i = 0; i < 300; ++i) values.push_back(double(int32_t(random())) / double(1 << (random() % 24)));
    for (double x : values) {
        for (int32_t d : {1, -1, 2, -2, 3, 7, -7, 1000, 65536, 2147483647, -2147483647 - 1}) {
            double want = VM_ModReal(x, double(d));
            uint32_t ad = d < 0 ? 0u - uint32_t(d) : uint32_t(d);
            double magic = VM_ModByMagic(x, ad, VM_ModMagic(ad), double(d));
            double fast = VM_ModFast(x, double(d));
            if (std::isnan(want)) {
                EXPECT_TRUE(std::isnan(magic) && std::isnan(fast)) << x << " mod " << d;
                continue;
            }
            EXPECT_EQ(magic, want) << x << " mod " << d;
            EXPECT_EQ(std::signbit(magic), std::signbit(want)) << x << " mod " << d;
            EXPECT_EQ(fast, want) << x << " mod " << d;
            EXPECT_EQ(std::signbit(fast), std::signbit(want)) << x << " mod " << d;
        }
    }
    // The same through code, with constants and with variables on either side.
    Agree("var i, a, b; a = 0; b = 0; for (i = -9; i < 9; i += 1) { a += (i * 37) mod 5 + (i * 37) div -3; "
          "b += (i + 0.25) mod 2 + 7 mod (i + 10) + i div (i + 20) } r = a; q = b; t = (-4) mod 2");
    Agree("var a; a = 13; r = a & 6; q = a | 16; p = a ^ 5; s = a << 2; t = -a >> 1; u = 5.5 & 3; v = -0 mod 3");
}

TEST_F(VMFastPathTest, ANameDeclaredGlobalWhileCodeRunsIsTakenAtOnce)
{
    // The machine remembers per instruction that a plain name is not a global; a declaration
    // made while the code runs must still be seen by the next run of the same instruction.
    struct Declare {
        static void Run(ScriptValue*, CInstance*, CInstance*, int32_t, ScriptValue*)
        {
            Variable_Global_Declare(Code_Variable_FindOrAdd("q"));
        }
    };
    Function_Add("declare_q", Declare::Run, 0);
    std::string out = Run(Executor::VM, "var k; for (k = 0; k < 3; k += 1) { if (k == 1) declare_q(); q = k; q += 10 }");
    EXPECT_EQ(out, "self: q=10 other: global: q=12 x=0.000000");
}

TEST_F(VMFastPathTest, ScriptsReplacedBetweenCallsRunTheirNewCode)
{
    int32_t index = AddAsmScript("swap", "push.e 1\nconv.i.v\nret.v\n");
    VMBuffer* caller = Assemble("call.i swap 0\n");
    ScriptValue r = Value_Real(0);
    VM_Execute("caller", nullptr, nullptr, caller, &r, nullptr, "");
    EXPECT_EQ(r.real, 1);
    // The script gets another unit (as preparing the scripts again does).
    CScript* s = Script_Data(index);
    delete s->m_pCode;
    s->m_pCode = new CCode(s->GetText(), false);
    s->m_pCode->m_compiled = 1;
    s->m_pCode->m_pCode = Assemble("push.e 2\nconv.i.v\nret.v\n");
    VM_Execute("caller", nullptr, nullptr, caller, &r, nullptr, "");
    EXPECT_EQ(r.real, 2);
    delete caller;
}

TEST_F(VMFastPathTest, TheDebuggerSeesLocalsInTheOrderTheyWereMade)
{
    // Slots b, a, then a local reached only through a computed scope, then c.
    static std::string seen;
    struct Snapshot {
        static void Take(ScriptValue*, CInstance*, CInstance*, int32_t, ScriptValue*)
        {
            VMFrameInfo f;
            seen = VM_GetFrame(0, &f) ? DumpList(f.locals) : "no frame";
        }
    };
    Function_Add("snapshot_locals", Snapshot::Take, 0);
    RunResult r = RunAsm(R"(
        push.e 2
        pop.v.i local.b
        push.s "one"
        pop.v.s local.a
        push.e -7
        push.e 9
        pop.i.i stack.only_computed
        push.e 3
        push.e 4
        pop.v.i local.c
        push.e 5
        pop.v.i local.c
        popz.i
        call.i snapshot_locals 0
        popz.v
        push.e -7
        push.v stack.only_computed
        push.v local.c
        add.v.v
    )");
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(r.value.real, 14);
    CVariableList expected;
    ScriptValue v = Value_Real(2);
    expected.Set(Code_Variable_Find("b"), 0, &v);
    Value_SetString(&v, "one");
    expected.Set(Code_Variable_Find("a"), 0, &v);
    Value_SetReal(&v, 9);
    expected.Set(Code_Variable_Find("only_computed"), 0, &v);
    Value_SetReal(&v, 5);
    expected.Set(Code_Variable_Find("c"), 0, &v);
    Value_FreeString(&v);
    EXPECT_EQ(seen, DumpList(&expected));
}

TEST_F(VMFastPathTest, BreakpointsInsideALoopsOpAndSteppingThroughIt)
{
    static std::vector<uint32_t> stops;
    static bool restep = false;
    struct Hook {
        static void Stop()
        {
            VMFrameInfo f;
            if (VM_GetFrame(0, &f)) stops.push_back(uint32_t(f.offset));
            if (restep) VM_Debug_SetStepping(true); // on to the next line
        }
    };
    VM_Init();
    VM_Debug_SetBreakHook(Hook::Stop);
    // for (i = 0; i < 3; i += 1) s += i, a line each for the start, the test, the body, the
    // step and the end: the step, the jump back and the test run as one op.
    const char* loop = R"(
        .pos 0
        push.e 0
        pop.v.i local.s
        push.e 0
        pop.v.i local.i
    start:
        .pos 2
        push.v local.i
        push.e 3
        slt.i.v
        bf end
        .pos 4
        push.v local.s
        push.v local.i
        add.v.v
        pop.v.v local.s
        .pos 6
        push.v local.i
        push.e 1
        add.i.v
        pop.v.v local.i
        b start
    end:
        .pos 8
        push.v local.s
    )";
    VMBuffer* debug = nullptr;
    VMBuffer* code = Assemble(loop, &debug);
    ASSERT_TRUE(VM_Prepare(code));
    // A breakpoint on the jump back, which the loop's op covers, and one on the test's branch.
    stops.clear();
    VM_Debug_AddBreakpoint(code->m_address + 0x60);
    VM_Debug_AddBreakpoint(code->m_address + 0x28);
    VM_Debug_SetBreakpoints();
    ScriptValue r = Value_Real(0);
    VM_Execute("loop", nullptr, nullptr, code, &r, debug, "a\nb\nc\nd\ne");
    EXPECT_EQ(r.real, 3);
    EXPECT_EQ(stops, (std::vector<uint32_t>{0x28, 0x60, 0x28, 0x60, 0x28, 0x60, 0x28}));
    VM_Debug_RestoreBreakpoints();
    VM_Debug_ClearBreakpoints();

    // Stepping from a break at the start stops before the first instruction of every line met,
    // the test, the body and the step of each round included.
    stops.clear();
    restep = true;
    VM_Debug_RequestBreak();
    VM_Execute("loop", nullptr, nullptr, code, &r, debug, "a\nb\nc\nd\ne");
    restep = false;
    VM_Debug_SetStepping(false);
    EXPECT_EQ(r.real, 3);
    EXPECT_EQ(stops, (std::vector<uint32_t>{0x00, 0x18, 0x2c, 0x48, 0x18, 0x2c, 0x48, 0x18, 0x2c, 0x48, 0x18, 0x64}));
    VM_Debug_SetBreakHook(nullptr);
    delete code;
    delete debug;
}

TEST_F(VMFastPathTest, AnEndlessLoopEndsWhenTheDrainStopsTheRun)
{
    static int drains = 0;
    struct Drain {
        static void Pump()
        {
            if (++drains == 3) VM_AbortRunning();
        }
    };
    drains = 0;
    VM_SetProcessMessagesHook(Drain::Pump);
    // while (true) n += 1, with a local counter: the loop's branch back is the only tick.
    RunResult r = RunAsm(R"(
        push.e 0
        pop.v.i local.n
    top:
        push.v local.n
        push.e 1
        add.i.v
        pop.v.v local.n
        b top
    )");
    VM_SetProcessMessagesHook(nullptr);
    EXPECT_EQ(drains, 3);
    EXPECT_FALSE(r.failed); // stopped, not an error
    EXPECT_EQ(VM_EntryDepth(), 0);
    EXPECT_EQ(VM_LocalsDepth(), 0);
}

TEST_F(VMFastPathTest, AStackThatMovesAtEveryCheckLeavesNoStalePointer)
{
    // Every frame's slots, arguments and operand stack move with the block: with a fresh
    // block at every growth check, a pointer kept across a call shows (under the sanitizer).
    VM_SetMoveStackAlways(true);
    Agree("var i, s; s = ''; for (i = 0; i < 5; i += 1) s += concat(deep(i, 'a'), i); r = s",
          "deep:var k; k = argument1 + 'b'; if (argument0 <= 0) return k; "
          "return run_text('return argument0') + deep(argument0 - 1, k) + string_of(argument_count)|"
          "string_of:return concat(argument0)");
    Agree("a = outer(3); b = outer(1)", "outer:var t, u; t = inner(argument0 + 1); u = run_text('var q; q = 2; return q'); "
                                        "return argument0 * 1000 + t + u|inner:var w; w = argument0 * 2; return w");
    VM_SetMoveStackAlways(false);
}
