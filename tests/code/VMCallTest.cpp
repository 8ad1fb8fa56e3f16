// Calls of built-ins, scripts and extension functions; returns, exits and results;
// recursion to the stack limit; nested entries; unwinding after errors.
#include "code/CodeTestSupport.h"

#include <vector>

namespace {

std::vector<std::string> g_seen;

// join(a, b, ...): the arguments' texts joined by commas (numbers with %g).
void Join(ScriptValue* r, CInstance*, CInstance*, int32_t argc, ScriptValue* args)
{
    std::string out;
    for (int32_t i = 0; i < argc; ++i) {
        if (i) out += ",";
        if (args[i].kind == VALUE_STRING) {
            out += args[i].text ? args[i].text : "";
        } else {
            char b[32];
            std::snprintf(b, sizeof b, "%g", args[i].real);
            out += b;
        }
    }
    Value_SetString(r, out.c_str());
}

// args(): argument_count and argument0..3 of the running script as text.
void Args(ScriptValue* r, CInstance*, CInstance*, int32_t, ScriptValue*)
{
    std::string out = std::to_string(Code_GetArgumentCount()) + ":";
    for (int i = 0; i < 4; ++i) {
        const ScriptValue& v = Code_Arguments()[i];
        out += (i ? "," : "") + (v.kind == VALUE_STRING ? std::string(v.text ? v.text : "") : std::to_string(int(v.real)));
    }
    g_seen.push_back(out);
    r->real = 0;
}

// run_unit(): runs the unit kept in g_nested as a nested entry and returns its result.
VMBuffer* g_nested = nullptr;
void RunUnit(ScriptValue* r, CInstance* self, CInstance* other, int32_t, ScriptValue*)
{
    VM_Execute("nested", self, other, g_nested, r, nullptr, "");
}

int g_pumps = 0;
void Pump() { ++g_pumps; }

int32_t ExtFind(const char*) { return -1; }
int32_t ExtArgs(int32_t) { return -1; }
const char* ExtName(int32_t) { return "ext"; }
int32_t ExtCount() { return 1; }
int g_extCalls = 0;
bool ExtCall(int32_t index, int32_t argc, ScriptValue* args, ScriptValue* result)
{
    ++g_extCalls;
    result->real = index * 100 + argc * 10 + args[0].real;
    return true;
}

class VMCallTest : public ScriptTest {
protected:
    void SetUp() override
    {
        ScriptTest::SetUp();
        g_seen.clear();
        Function_Add("join", Join, -1);
        Function_Add("args", Args, 0);
        Function_Add("run_unit", RunUnit, 0);
        Variable_BuiltIn_RegisterArguments();
    }
    void TearDown() override
    {
        VM_SetMoveStackAlways(false);
        ScriptTest::TearDown();
    }
};

} // namespace

TEST_F(VMCallTest, BuiltinArgumentsArriveInOrderAndResultIsAVariable)
{
    // join("a", 2, "c"): arguments are pushed last to first.
    RunResult r = RunAsm(R"(
        push.s "c"
        conv.s.v
        push.e 2
        conv.i.v
        push.s "a"
        conv.s.v
        call.i join 3
    )");
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(r.text(), "a,2,c");
}

TEST_F(VMCallTest, ScriptsGetTheirOwnArgumentsAndTheCallersComeBack)
{
    AddAsmScript("show", "call.i args 0\npopz.v\n");
    // The caller's arguments are 7 and "x"; the callee gets 1 and 2; then the caller's again.
    Code_Arguments()[0] = Value_Real(7);
    Value_SetString(&Code_Arguments()[1], "x");
    Code_SetArgumentCount(2);
    RunResult r = RunAsm(R"(
        call.i args 0
        popz.v
        push.e 2
        conv.i.v
        push.e 1
        conv.i.v
        call.i show 2
        popz.v
        call.i show 0
        popz.v
        call.i args 0
    )");
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(g_seen, (std::vector<std::string>{"2:7,x,0,0", "2:1,2,0,0", "0:0,0,0,0", "2:7,x,0,0"}));
    EXPECT_STREQ(Code_Arguments()[1].text, "x");
    Code_Arguments_PopWindow(); // frees the window's texts
}

TEST_F(VMCallTest, RecursionSeesItsOwnArgumentsAfterTheInnerCall)
{
    // down(n): if (n > 0) down(n - 1); args()
    AddAsmScript("down", R"(
        push.v argument0
        push.e 0
        sgt.i.v
        bf show
        push.v argument0
        push.e 1
        sub.i.v
        call.i down 1
        popz.v
    show:
        call.i args 0
        popz.v
    )");
    RunResult r = RunAsm("push.e 2\nconv.i.v\ncall.i down 1\n");
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(g_seen, (std::vector<std::string>{"1:0,0,0,0", "1:1,0,0,0", "1:2,0,0,0"}));
}

TEST_F(VMCallTest, ReturnsExitsAndTheEndOfCode)
{
    AddAsmScript("ret7", "push.e 7\nconv.i.v\nret.v\n");
    AddAsmScript("retd", "push.d 2.5\nret.d\n");
    AddAsmScript("noret", "push.e 7\npopz.i\n");
    AddAsmScript("quits", "push.s \"left\"\nexit.i\n");
    EXPECT_EQ(RunAsm("call.i ret7 0\n").value.real, 7);
    EXPECT_EQ(RunAsm("call.i retd 0\n").value.real, 2.5);
    EXPECT_EQ(RunAsm("push.e 3\nconv.i.v\ncall.i noret 0\nadd.v.v\n").value.real, 3);
    EXPECT_EQ(RunAsm("push.e 4\nconv.i.v\ncall.i quits 0\nadd.v.v\n").value.real, 4);
    // exit at the outermost level keeps the result as it was, whatever lies on the stack.
    VMBuffer* code = Assemble("push.e 5\npush.s \"junk\"\nconv.s.v\nexit.i\n");
    ScriptValue result = Value_Real(99);
    uint32_t blocks = MemoryManager::BlocksInUse();
    VM_Execute("exit", nullptr, nullptr, code, &result, nullptr, "");
    EXPECT_EQ(result.real, 99);
    EXPECT_EQ(MemoryManager::BlocksInUse(), blocks); // the string left on the stack is freed
    // ret at the outermost level gives its value.
    VMBuffer* ret = Assemble("push.s \"r\"\nconv.s.v\nret.v\n");
    VM_Execute("ret", nullptr, nullptr, ret, &result, nullptr, "");
    EXPECT_STREQ(result.text, "r");
    Value_FreeString(&result);
    delete code;
    delete ret;
}

TEST_F(VMCallTest, ScriptWithoutByteCodeGivesZero)
{
    int32_t index = Script_Add("empty", "", -1); // no code at all
    (void)index;
    RunResult r = RunAsm("push.s \"a\"\nconv.s.v\npush.e 1\nconv.i.v\ncall.i empty 2\n");
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(r.value.real, 0);
}

TEST_F(VMCallTest, MissingScriptAndExtensionFunctions)
{
    EXPECT_EQ(RunAsm("call.i 100005 0\n").error, "call to non-existent script\n");
    ExtensionHooks ext{ExtFind, ExtArgs, ExtName, ExtCount, ExtCall, nullptr}; // no full call: library functions only
    Function_SetExtensionHooks(&ext);
    g_extCalls = 0;
    RunResult r = RunAsm("push.e 3\nconv.i.v\ncall.i 500000 1\n");
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(r.value.real, 13);
    EXPECT_EQ(g_extCalls, 1);
}

TEST_F(VMCallTest, DeepRecursionEndsWithStackOverflowAndUnwinds)
{
    AddAsmScript("forever", "push.s \"held\"\nconv.s.v\ncall.i forever 0\npopz.v\npopz.v\n");
    uint32_t blocks = MemoryManager::BlocksInUse();
    RunResult r = RunAsm("call.i forever 0\n");
    EXPECT_TRUE(r.failed);
    EXPECT_EQ(r.error, "Stack overflow...");
    EXPECT_EQ(VM_EntryDepth(), 0);
    EXPECT_EQ(VM_LocalsDepth(), 0);
    EXPECT_EQ(Code_Arguments_Window(), 0);
    EXPECT_EQ(VM_WithDepth(), 0);
    // Every string that the frames held was released (the locals pool may have grown).
    EXPECT_LE(MemoryManager::BlocksInUse(), blocks + 700);
    uint32_t after = MemoryManager::BlocksInUse();
    RunAsm("call.i forever 0\n");
    EXPECT_EQ(MemoryManager::BlocksInUse(), after);
}

TEST_F(VMCallTest, RecursionDepthIsBounded)
{
    // count(n): return n <= 0 ? 0 : 1 + count(n - 1)
    AddAsmScript("count", R"(
        push.v argument0
        push.e 0
        sle.i.v
        bf more
        push.e 0
        conv.i.v
        ret.v
    more:
        push.e 1
        conv.i.v
        push.v argument0
        push.e 1
        sub.i.v
        call.i count 1
        add.v.v
        ret.v
    )");
    EXPECT_EQ(RunAsm("push.i 300\nconv.i.v\ncall.i count 1\n").value.real, 300);
    EXPECT_EQ(RunAsm("push.i 5000\nconv.i.v\ncall.i count 1\n").error, "Stack overflow...");
}

TEST_F(VMCallTest, NestedEntriesAndAMovingStack)
{
    AddAsmScript("twice", "push.v argument0\npush.e 2\nmul.i.v\nret.v\n");
    g_nested = Assemble("push.e 21\nconv.i.v\ncall.i twice 1\n");
    for (bool move : {false, true}) {
        VM_SetMoveStackAlways(move);
        RunResult r = RunAsm("push.e 1\nconv.i.v\ncall.i run_unit 0\nadd.v.v\ncall.i twice 1\n");
        ASSERT_FALSE(r.failed) << r.error;
        EXPECT_EQ(r.value.real, 86);
    }
    // An error in a nested entry stops only that entry (quiet mode).
    delete g_nested;
    g_nested = Assemble("push.v local.nothing\n");
    RunResult r = RunAsm("call.i run_unit 0\npopz.v\npush.e 5\nconv.i.v\n");
    EXPECT_EQ(r.value.real, 5);
    EXPECT_TRUE(r.failed);
    delete g_nested;
    g_nested = nullptr;
}

TEST_F(VMCallTest, EveryFourThousandNinetySixthBranchPumpsMessages)
{
    VM_SetProcessMessagesHook(Pump);
    g_pumps = 0;
    // 10000 backward branches.
    RunResult r = RunAsm(R"(
        push.i 10000
        pop.v.i local.n
    top:
        push.v local.n
        push.e 1
        sub.i.v
        pop.v.v local.n
        push.v local.n
        push.e 0
        sgt.i.v
        bt top
    )");
    VM_SetProcessMessagesHook(nullptr);
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_GE(g_pumps, 2);
    EXPECT_LE(g_pumps, 3);
}

TEST_F(VMCallTest, QuietErrorsInsideScriptsGiveTheCallerItsArgumentsBack)
{
    struct Raiser {
        static void Raise(ScriptValue*, CInstance*, CInstance*, int32_t, ScriptValue*) { VM_Error("raised %d", 7); }
    };
    Function_Add("raise", Raiser::Raise, 0);
    AddAsmScript("deep", "push.s \"held\"\nconv.s.v\ncall.i raise 0\npopz.v\npopz.v\n");
    AddAsmScript("middle", "push.e 5\nconv.i.v\ncall.i deep 1\npopz.v\n");
    Code_SetArgument(0, VALUE_STRING, 0, "caller");
    Code_SetArgumentCount(1);
    uint32_t blocks = MemoryManager::BlocksInUse();
    RunResult r = RunAsm("push.e 9\nconv.i.v\ncall.i middle 1\npopz.v\ncall.i args 0\n");
    EXPECT_TRUE(r.failed);
    EXPECT_EQ(r.error, "raised 7");
    EXPECT_TRUE(g_seen.empty()); // the entry stopped at the error
    EXPECT_STREQ(Code_Arguments()[0].text, "caller");
    EXPECT_EQ(Code_GetArgumentCount(), 1);
    EXPECT_EQ(Code_Arguments_Window(), 0);
    EXPECT_EQ(VM_LocalsDepth(), 0);
    EXPECT_LE(MemoryManager::BlocksInUse(), blocks + 3); // at most the local lists made on the way
}

TEST_F(VMCallTest, RefusedUnitsNeverRun)
{
    RunResult r = RunAsm("push.i 1\npopz.d\n");
    EXPECT_TRUE(r.failed);
    EXPECT_EQ(r.error, "Invalid byte code in test: at 00000008: a real is taken where an int lies");
}
