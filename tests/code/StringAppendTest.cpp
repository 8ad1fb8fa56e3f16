// Strings appended in place (x += y and x = x + y + ...) by both executors, for every form of
// x: a `var` local and its array, an instance variable, a global, through an instance id, an
// object or `global.o.s`, an element of a one- or two-dimensional array: every other holder of
// the old text (a copy in another variable, an array element, a data structure, an argument,
// a return value) keeps seeing it, code that changes x while the rest of the sum is computed
// gives what it always gave, an error in a sum is raised where a sum stored elsewhere raises
// it, and a long run of appends keeps no copies of the string.
#include "code/CompilerTestSupport.h"

#include <cstring>

#include "Files/Code/Code_Execute.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/VM_Debug.h"
#include "Files/Code/VM_Internal.h"
#include "Platform/MemoryManager.h"

namespace {

// What a data structure does with a value: keep(v) stores a copy, kept() gives a copy back.
ScriptValue g_kept = {VALUE_REAL, nullptr, 0.0};
void Keep(ScriptValue*, CInstance*, CInstance*, int32_t argc, ScriptValue* args)
{
    if (argc > 0) Value_Copy(&g_kept, &args[0]);
}
void Kept(ScriptValue* result, CInstance*, CInstance*, int32_t, ScriptValue*) { Value_Copy(result, &g_kept); }
// pause(): asks the debugger to stop before the next instruction, as a pause would.
void Pause(ScriptValue* result, CInstance*, CInstance*, int32_t, ScriptValue*)
{
    VM_Debug_RequestBreak();
    Value_SetString(result, "p");
}

// mark(n): global.m gains the digit n (which operands of a sum ran).
void Mark(ScriptValue* result, CInstance*, CInstance*, int32_t argc, ScriptValue* args)
{
    const int32_t id = Code_Variable_Find("m");
    ScriptValue m = Value_Real(0.0);
    Variable_Global_Get(id, 0, &m);
    m.real = m.real * 10 + (argc > 0 ? args[0].real : 0);
    Variable_Global_Set(id, 0, &m);
    Value_SetString(result, "k");
}

struct Kind {
    const char* name;
    const char* declare; // put before the program
    const char* var;     // what $ stands for
    const char* twin;    // another variable written as long (what @ stands for)
};
// (1) is an object with one instance; o and global.o hold other's id.
const Kind kKinds[] = {
    {"local", "var s; ", "s", "t"},
    {"instance", "", "s", "t"},
    {"global", "", "global.s", "global.t"},
    {"element", "a[5] = 0; ", "a[2]", "b[2]"},
    {"instance id", "o = other.id; ", "o.s", "o.t"},
    {"object", "", "(1).s", "(1).t"},
    {"global.o.s", "global.o = other.id; ", "global.o.s", "global.o.t"},
    {"2D element", "a[1, 5] = 0; ", "a[1, 2]", "b[1, 2]"},
    {"local array", "var la; la[5] = 0; ", "la[2]", "lb[2]"},
};

std::string Fill(const char* text, const Kind& k)
{
    std::string s = text;
    for (size_t at; (at = s.find('$')) != std::string::npos;) s.replace(at, 1, k.var);
    for (size_t at; (at = s.find('@')) != std::string::npos;) s.replace(at, 1, k.twin);
    return k.declare + s;
}

class StringAppendTest : public DifferentialFixture {
protected:
    void SetUp() override
    {
        DifferentialFixture::SetUp();
        Function_Add("keep", Keep, 1);
        Function_Add("kept", Kept, 0);
        Function_Add("pause", Pause, 0);
        Function_Add("mark", Mark, 1);
        m_single = NewInstance(1);
    }
    void TearDown() override
    {
        Value_FreeString(&g_kept);
        DifferentialFixture::TearDown();
    }
    // self's r after text (with $ the variable of kind k) ran under executor e.
    std::string R(Executor e, const Kind& k, const char* text, const char* scripts = nullptr)
    {
        std::string p = Fill(text, k), s = scripts ? Fill(scripts, Kind{"", "", k.var, k.twin}) : "";
        m_single->GetVariables()->Clear();
        std::string all = Run(e, p.c_str(), scripts ? s.c_str() : nullptr);
        return (all.rfind("ERR", 0) == 0 ? "ERR " : "") + SelfVar("r");
    }
    // What text left (every variable, (1)'s too) and the point of its error: the message and,
    // for the tree interpreter, its position.
    std::string Outcome(Executor e, const Kind& k, const char* text)
    {
        m_single->GetVariables()->Clear();
        std::string error;
        std::string all = Run(e, Fill(text, k).c_str(), nullptr, &error);
        const size_t at = error.rfind("\n\n");
        return all + " (1): " + DumpList(m_single->GetVariables()) + " error: " + error.substr(at == std::string::npos ? 0 : at + 2);
    }
    // Each executor gives its want for every kind of variable (with scripts that reach it, a
    // local aside).
    void Check(const char* text, const char* vm, const char* tree, const char* scripts = nullptr)
    {
        for (const Kind& k : kKinds) {
            if (scripts && std::strchr(scripts, '$') && k.declare[0] == 'v') continue;
            EXPECT_EQ(R(Executor::VM, k, text, scripts), vm) << "machine, " << k.name << ": " << text;
            EXPECT_EQ(R(Executor::Tree, k, text, scripts), tree) << "tree, " << k.name << ": " << text;
        }
    }
    void Both(const char* text, const char* want, const char* scripts = nullptr) { Check(text, want, want, scripts); }

    CInstance* m_single = nullptr;
};

} // namespace

TEST_F(StringAppendTest, EveryOtherHolderKeepsTheOldText)
{
    // Another variable's copy, before and between appends of both forms.
    Both("$ = 'ab'; t = $; repeat (3) $ += 'c'; u = $; $ = $ + 'd'; r = $ + '|' + t + '|' + u", "'abcccd|ab|abccc'");
    // An array element and a data structure holding copies.
    Both("$ = 'x'; b[0] = $; keep($); $ += 'y'; b[1] = $; $ = $ + concat(1); r = $ + '|' + b[0] + '|' + b[1] + '|' + kept()",
         "'xy1|x|xy|x'");
    // Arguments: the script's copy, appended to there, and the caller's text.
    Both("$ = 'p'; t = app($); $ += 'q'; u = app($); r = $ + '|' + t + '|' + u", "'pq|p!|pq!'",
         "app:argument0 += '!'; return argument0");
    // Return values, and the value of a script's last statement (the tree interpreter returns it).
    Check("$ = 'm'; t = cur(); $ += 'n'; $ = $ + 'o'; u = last(); $ += 'p'; r = $ + '|' + t + '|' + concat(u)",
          "'mnoxp|m|0'", "'mnoxp|m|'mnox''", "cur:return $|last:$ += 'x'");
    // Sums that go on with computed operands, x itself among them.
    Both("$ = 'x'; t = $; $ = $ + concat(1) + concat(2) + $ + concat(3) + ''; r = $ + '|' + t", "'x12x3|x'");
    // Itself, and empty texts.
    Both("$ = 'ab'; $ += $; $ = $ + $; t = ''; t += ''; $ = $ + t; r = $ + t", "'abababab'");
    Both("$ = 5; $ += 'a'; r = 1", "ERR <unset>");
}

TEST_F(StringAppendTest, ChangesToTheVariableWhileTheRightSideRunsGiveWhatTheyAlwaysGave)
{
    const char* scripts = "set:$ = argument0; return 'b'|inner:$ += 'in'; return 'out'|num:$ = 3; return 'b'";
    // x = x + f(): the left operand is read first in both executors; x += f(): the machine
    // reads x first, the tree interpreter after f.
    Both("$ = 'a'; $ = $ + set('z'); r = $", "'ab'", scripts);
    Both("$ = 'a'; $ = $ + num(); r = $", "'ab'", scripts);
    Both("$ = 'a'; $ = $ + inner() + inner(); r = $", "'aoutout'", scripts);
    Both("$ = 'a'; $ = $ + look() + look(); r = $", "'aaa'", "look:return $");
    Check("$ = 'a'; $ += set('z'); r = $", "'ab'", "'zb'", scripts);
    Check("$ = 'a'; $ += inner(); r = $", "'aout'", "'ainout'", scripts);
    // An array that grows while its element is appended to.
    Both("a[2] = 'x'; a[2] = a[2] + grow(); a[2] += grow(); r = a[2] + concat(a[900])", "'xyy1'",
         "grow:a[900] = 1; return 'y'");
}

TEST_F(StringAppendTest, AnErrorInASumIsRaisedWhereTheSameSumStoredElsewhereRaisesIt)
{
    // $ = sum appends; @ = sum takes the general way. Each must stop at the same operator
    // with the same message (the tree interpreter: at the same position), the operands before
    // it run and those after it not, and leave every variable as the other does.
    const char* const cases[] = {
        "$ = 'a'; # + mark(1) + 5 + mark(2)",                      // a number in the middle
        "$ = 'a'; # + mark(1) + concat(1 div global.z) + mark(2)", // inside an operand
        "$ = 'a'; # + mark(1) + mark(2) + global.z",               // at the end
        "$ = 5; # + mark(1) + mark(2)",                            // at the first add
    };
    for (const Kind& k : kKinds) {
        for (const char* c : cases) {
            std::string text = std::string("global.m = 0; global.z = 0; ") + c;
            const size_t at = text.find('#');
            std::string appended = text, elsewhere = text;
            appended.replace(at, 1, "$ = $");
            elsewhere.replace(at, 1, "@ = $");
            for (Executor e : {Executor::VM, Executor::Tree}) {
                const std::string want = Outcome(e, k, elsewhere.c_str());
                EXPECT_EQ(want.rfind("ERR", 0), 0u) << want;
                EXPECT_EQ(Outcome(e, k, appended.c_str()), want)
                    << (e == Executor::VM ? "machine, " : "tree, ") << k.name << ": " << c;
            }
        }
    }
}

TEST_F(StringAppendTest, ALongRunOfAppendsKeepsNoCopiesOfTheString)
{
    // 40,000 appends of ten characters: the string, grown by doubling, is the only large
    // block; a copy of it for each append would take three times its length at once.
    const char* forms[] = {"$ += '0123456789'", "$ = $ + '0123456789'", "$ += concat(i mod 10) + '123456789'",
                           "$ = $ + concat(i mod 10) + '123456789'",
                           "$ = $ + concat(i mod 10) + concat(i mod 7) + '12345678'"};
    R(Executor::VM, kKinds[0], "r = 1"); // what a first run makes once
    for (const char* form : forms) {
        std::string text = std::string("var i; $ = ''; for (i = 0; i < 40000; i += 1) ") + form + "; $ = 0; r = 0";
        for (const Kind& k : kKinds) {
            for (Executor e : {Executor::VM, Executor::Tree}) {
                MemoryManager::ResetPeak();
                const uint32_t before = MemoryManager::BytesInUse();
                EXPECT_EQ(R(e, k, text.c_str()), "0");
                EXPECT_LT(MemoryManager::PeakBytes() - before, 1000000u)
                    << (e == Executor::VM ? "machine, " : "tree, ") << k.name << ": " << form;
            }
        }
    }
}

TEST_F(StringAppendTest, TheDebuggerStoppingAnywhereInAnAppendChangesNothing)
{
    // A stop runs the instructions' own handlers from there on: a left operand pushed as a
    // share is then added the long way, and an append's groups give way one by one.
    static bool step = false;
    struct Hook {
        static void Stop()
        {
            if (step) VM_Debug_SetStepping(true); // on to the next line
        }
    };
    VM_Debug_SetBreakHook(Hook::Stop);
    CCode code("var i, s, l; s = ''; t = ''; a[2] = ''; global.g = ''; o = other.id; o.u = ''; b[1, 2] = ''; l[1] = '';\n"
               "for (i = 0; i < 3; i += 1) {\n"
               "  s = s + concat(i) + '.'; t += concat(i) + pause(); a[2] = a[2] + concat(i) + 'e'; global.g += 'g'\n"
               "  o.u = o.u + concat(i) + pause() + concat(i); b[1, 2] += concat(i) + 'b'; l[1] = l[1] + concat(i) + concat(i)\n"
               "}\n"
               "r = s + '|' + t + '|' + a[2] + '|' + global.g + '|' + o.u + '|' + b[1, 2] + '|' + l[1]",
               false);
    ASSERT_TRUE(code.Compile("debugged"));
    ASSERT_TRUE(VM_Prepare(code.m_pCode));
    auto run = [&] {
        m_self->GetVariables()->Clear();
        Variable_Global_Init();
        ScriptValue r = Value_Real(0.0);
        Code_Execute(m_self, m_other, &code, &r);
        Value_FreeString(&r);
        return SelfVar("r");
    };
    const std::string want = "'0.1.2.|0p1p2p|0e1e2e|ggg|0p01p12p2|0b1b2b|001122'";
    EXPECT_EQ(run(), want);
    step = true;
    EXPECT_EQ(run(), want) << "stepping from each pause";
    step = false;
    // A breakpoint on each instruction in turn.
    const VMProgram* prog = code.m_pCode->m_pProgram;
    for (const VMOp& op : prog->ops) {
        if (op.code == VMI_END) continue;
        VM_Debug_ClearBreakpoints();
        ASSERT_NE(VM_Debug_AddBreakpoint(code.m_pCode->m_address + op.off), VM_BREAKPOINT_NONE);
        VM_Debug_SetBreakpoints();
        const int32_t stops = VM_Debug_BreakCount();
        EXPECT_EQ(run(), want) << "a breakpoint at " << op.off;
        EXPECT_GT(VM_Debug_BreakCount(), stops);
        VM_Debug_RestoreBreakpoints();
    }
    VM_Debug_ClearBreakpoints();
    VM_Debug_SetBreakHook(nullptr);
}
