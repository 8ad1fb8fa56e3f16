// The machine's side of the debugger: code addresses, breakpoints, stepping by line, source
// lines and the machine-state record.
#include "code/CodeTestSupport.h"
#include "support/TestBuffer.h"

#include "Files/Code/Code_Error.h"
#include "Files/Code/VM_Debug.h"

namespace {

int g_calls = 0;
std::vector<uint32_t> g_stops; // the code offset of each stop
void Count(ScriptValue*, CInstance*, CInstance*, int32_t, ScriptValue*) { ++g_calls; }
void OnBreak()
{
    VMFrameInfo f;
    if (VM_GetFrame(0, &f)) g_stops.push_back(uint32_t(f.offset));
}

TestBuffer g_state;
void Snapshot(ScriptValue*, CInstance*, CInstance*, int32_t, ScriptValue*)
{
    g_state = TestBuffer();
    VM_WriteDebugState(&g_state);
}

bool GetSprite(CInstance*, int32_t, ScriptValue* out)
{
    out->real = -1;
    return true;
}
bool GetX(CInstance*, int32_t, ScriptValue* out)
{
    out->real = 12.5;
    return true;
}
bool GetAlarm(CInstance*, int32_t index, ScriptValue* out)
{
    out->real = index == 3 ? 30 : -1;
    return true;
}

uint32_t U32At(const TestBuffer& b, size_t at)
{
    uint32_t v;
    std::memcpy(&v, b.bytes.data() + at, 4);
    return v;
}

class VMDebugTest : public ScriptTest {
protected:
    void SetUp() override
    {
        ScriptTest::SetUp();
        VM_Init();
        g_calls = 0;
        g_stops.clear();
        Function_Add("count", Count, 0);
        Function_Add("snapshot", Snapshot, 0);
        VM_Debug_SetBreakHook(OnBreak);
    }
    void TearDown() override
    {
        VM_Debug_ClearBreakpoints();
        VM_Debug_SetStepping(false);
        VM_Debug_SetBreakHook(nullptr);
        ScriptTest::TearDown();
    }
    void Run(VMBuffer* code, VMBuffer* debug = nullptr, const char* source = "")
    {
        ScriptValue r = Value_Real(0);
        VM_Execute("unit", nullptr, nullptr, code, &r, debug, source);
        Value_FreeString(&r);
    }
};

} // namespace

TEST_F(VMDebugTest, BreakpointsOnlyAtInstructionStartsOfKnownUnits)
{
    VMBuffer* code = Assemble("push.d 1\npopz.d\ncall.i count 0\npopz.v\n");
    ASSERT_TRUE(VM_Prepare(code));
    uint32_t base = code->m_address;
    ASSERT_NE(base, 0u);
    EXPECT_EQ(VM_Debug_AddBreakpoint(base + 4), VM_BREAKPOINT_NONE);  // inside push.d's operand
    EXPECT_EQ(VM_Debug_AddBreakpoint(base + 2), VM_BREAKPOINT_NONE);  // not a word
    EXPECT_EQ(VM_Debug_AddBreakpoint(base + 100), VM_BREAKPOINT_NONE); // past the unit
    EXPECT_EQ(VM_Debug_AddBreakpoint(12345), VM_BREAKPOINT_NONE);      // no unit there
    EXPECT_EQ(VM_Debug_AddBreakpoint(base + 16), 0);
    EXPECT_EQ(VM_Debug_AddBreakpoint(base + 16), 0); // the same address uses one entry
    EXPECT_EQ(VM_Debug_BreakpointWord(0), VM_Word(VMOP_CALL, VMT_INT, 0, 0));
    EXPECT_EQ(VM_Debug_AddBreakpoint(base + 12), 1);
    EXPECT_EQ(VM_Debug_RemoveBreakpoint(base + 16), 0);
    EXPECT_EQ(VM_Debug_RemoveBreakpoint(base + 16), VM_BREAKPOINT_NONE);
    delete code;
    // A destroyed unit is no longer known.
    EXPECT_EQ(VM_Debug_AddBreakpoint(base), VM_BREAKPOINT_NONE);
}

TEST_F(VMDebugTest, TheTableHoldsTwoHundredFiftyFiveEntries)
{
    std::string src;
    for (int i = 0; i < 300; ++i) src += ".word 0\n";
    VMBuffer* code = Assemble(src.c_str());
    ASSERT_TRUE(VM_Prepare(code));
    for (int i = 0; i < 255; ++i) ASSERT_EQ(VM_Debug_AddBreakpoint(code->m_address + 4 * i), i);
    EXPECT_EQ(VM_Debug_AddBreakpoint(code->m_address + 4 * 255), VM_BREAKPOINT_NONE);
    delete code;
}

TEST_F(VMDebugTest, ABreakpointStopsAndTheInstructionStillRuns)
{
    VMBuffer* code = Assemble("push.e 1\npopz.i\ncall.i count 0\npopz.v\n");
    ASSERT_TRUE(VM_Prepare(code));
    VM_Debug_AddBreakpoint(code->m_address + 8);
    VM_Debug_SetBreakpoints();
    Run(code);
    EXPECT_EQ(g_calls, 1);
    EXPECT_EQ(g_stops, (std::vector<uint32_t>{8}));
    // The breakpoint is back in after the call; restored, the code runs without stopping.
    Run(code);
    EXPECT_EQ(g_stops.size(), 2u);
    VM_Debug_RestoreBreakpoints();
    Run(code);
    EXPECT_EQ(g_calls, 3);
    EXPECT_EQ(g_stops.size(), 2u);
    delete code;
}

TEST_F(VMDebugTest, BreakpointsInsideFusedGroupsStillStop)
{
    // i += 1 and a compare-and-branch: groups that run as one op until a breakpoint splits them.
    VMBuffer* code = Assemble(R"(
        push.e 0
        pop.v.i local.i
    top:
        push.v local.i
        push.e 1
        add.i.v
        pop.v.v local.i
        push.v local.i
        push.e 3
        slt.i.v
        bt top
    )");
    ASSERT_TRUE(VM_Prepare(code));
    VM_Debug_AddBreakpoint(code->m_address + 20); // add.i.v inside the increment group
    VM_Debug_AddBreakpoint(code->m_address + 36); // bt behind the comparison
    VM_Debug_SetBreakpoints();
    Run(code);
    EXPECT_EQ(g_stops, (std::vector<uint32_t>{20, 36, 20, 36, 20, 36}));
    VM_Debug_RestoreBreakpoints();
    delete code;
}

TEST_F(VMDebugTest, UnitsPreparedWhileBreakpointsAreInGetTheirs)
{
    Code_Table_Init(1);
    uint32_t words[3] = {VM_Word(VMOP_CALL, VMT_INT, 0, 0), 0, VM_Word(VMOP_POPZ, VMT_VAR, 0, 0)};
    Code_Table_SetEntry(0, "late", reinterpret_cast<const uint8_t*>(words), 12, nullptr, 0, nullptr);
    VMBuffer* late = Code_Table_Code(0);
    ASSERT_NE(late->m_address, 0u); // table units have addresses before they are prepared
    VM_Debug_SetBreakpoints();
    EXPECT_EQ(VM_Debug_AddBreakpoint(late->m_address), 0);
    Run(late);
    EXPECT_EQ(g_stops, (std::vector<uint32_t>{0}));
    EXPECT_EQ(g_calls, 1);
    VM_Debug_RestoreBreakpoints();
}

TEST_F(VMDebugTest, SteppingStopsAtTheNextLineAlsoInACalledScript)
{
    // Source lines: 0 "a", 1 "b", 2 "c"; the script's own text is another unit's.
    const char* source = "a\nb\nc";
    AddAsmScript("callee", ".pos 0\ncall.i count 0\npopz.v\n", "inside");
    VMBuffer* debug = nullptr;
    // Stepping starts while the code stands on line 1 (position 2); stops come before the
    // first instruction of another line or of another unit.
    struct Starter {
        static void Step(ScriptValue*, CInstance*, CInstance*, int32_t, ScriptValue*) { VM_Debug_SetStepping(true); }
    };
    Function_Add("step_here", Starter::Step, 0);
    VMBuffer* code = Assemble(R"(
        .pos 2
        call.i step_here 0
        popz.v
        call.i callee 0
        popz.v
    )", &debug);
    Run(code, debug, source);
    // All of the unit's code stands on line 1: the first stop is the script's first
    // instruction, in another unit.
    EXPECT_EQ(g_stops, (std::vector<uint32_t>{0}));
    EXPECT_FALSE(VM_Debug_GetStepping());
    delete code;
    delete debug;
}

TEST_F(VMDebugTest, ABreakRequestStopsBeforeTheNextInstruction)
{
    struct Requester {
        static void Request(ScriptValue*, CInstance*, CInstance*, int32_t, ScriptValue*) { VM_Debug_RequestBreak(); }
    };
    Function_Add("request", Requester::Request, 0);
    VMBuffer* code = Assemble("call.i request 0\npopz.v\ncall.i count 0\npopz.v\n");
    Run(code);
    EXPECT_EQ(g_stops, (std::vector<uint32_t>{8}));
    EXPECT_EQ(g_calls, 1);
    delete code;
}

TEST_F(VMDebugTest, SourceLines)
{
    int32_t pairs[6] = {0, 0, 8, 3, 16, 9};
    VMBuffer debug(reinterpret_cast<const uint8_t*>(pairs), 24);
    EXPECT_FALSE(VM_FindLineEntry(nullptr, 4).valid);
    EXPECT_EQ(VM_FindLineEntry(&debug, 4).position, 0);
    EXPECT_EQ(VM_FindLineEntry(&debug, 8).position, 3);
    EXPECT_EQ(VM_FindLineEntry(&debug, 100).position, 9);
    int32_t late[2] = {8, 1};
    VMBuffer lateDebug(reinterpret_cast<const uint8_t*>(late), 8);
    EXPECT_FALSE(VM_FindLineEntry(&lateDebug, 4).valid);

    const char* text = "\nfirst\nsecond line\r\nthird";
    EXPECT_EQ(VM_LineOfPosition(VMLineEntry{true, 0, 0}, text), 0); // index 0 is not counted
    EXPECT_EQ(VM_LineOfPosition(VMLineEntry{true, 0, 3}, text), 0);
    EXPECT_EQ(VM_LineOfPosition(VMLineEntry{true, 0, 9}, text), 1);
    EXPECT_EQ(VM_LineOfPosition(VMLineEntry{true, 0, 999}, text), 2);
    EXPECT_EQ(VM_LineOfPosition(VMLineEntry{false, 0, 0}, text), -1);
    EXPECT_EQ(VM_LineOfPosition(VMLineEntry{true, 0, 4}, "a\rb\r\nc"), 2); // a CR ends a line, CR LF once
    // The line an error report shows for a position: counted from 1, its text without the
    // line break, a position past the end on the last line, a long line whole.
    EXPECT_EQ(Code_Error_Place(text, 9).text, "second line");
    EXPECT_EQ(Code_Error_Place(text, 9).line, 3);
    EXPECT_EQ(Code_Error_Place(text, 2).text, "first");
    EXPECT_EQ(Code_Error_Place(text, 999).text, "third");
    EXPECT_EQ(Code_Error_Place(text, 999).line, 4);
    std::string longLine(400, 'x');
    EXPECT_EQ(Code_Error_Place(longLine.c_str(), 5).text.size(), 400u);
}

TEST_F(VMDebugTest, StateRecord)
{
    TestBuffer idle;
    VM_WriteDebugState(&idle);
    EXPECT_EQ(idle.bytes, (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));

    RegisterBuiltinVariable("sprite_index", GetSprite, nullptr, false);
    RegisterBuiltinVariable("x", GetX, nullptr, false);
    RegisterBuiltinVariable("alarm", GetAlarm, nullptr, false);
    Object_Add();
    CInstance self(0, 0, 100005, 0, false), other(0, 0, 100006, 0, false);
    Value_SetString(&Variable_Global_List()->FindOrCreate(Code_Variable_FindOrAdd("g"))->value, "text");
    VMBuffer* code = Assemble("push.e 4\npop.v.i local.n\npush.s \"hi\"\npop.v.s local.s\ncall.i snapshot 0\npopz.v\n");
    ScriptValue r = Value_Real(0);
    VM_Execute("unit", &self, &other, code, &r, nullptr, "");
    const TestBuffer& b = g_state;
    size_t at = 0;
    EXPECT_EQ(U32At(b, at), code->m_address);
    EXPECT_EQ(U32At(b, at + 4), 28u); // the call's offset
    EXPECT_EQ(U32At(b, at + 8), 100005u);
    EXPECT_EQ(U32At(b, at + 12), 100006u);
    at = 16;
    // Locals: count, then (id, kind, value) in bucket order: n (real), s (string).
    EXPECT_EQ(U32At(b, at), 2u);
    size_t localsEnd = at + 4 + (4 + 4 + 8) + (4 + 4 + 4 + 3);
    // Globals: one string.
    EXPECT_EQ(U32At(b, localsEnd), 1u);
    size_t self0 = localsEnd + 4 + 4 + 4 + 4 + 5;
    EXPECT_EQ(U32At(b, self0), 100005u);
    EXPECT_EQ(U32At(b, self0 + 4), 0u); // object_index
    float x;
    std::memcpy(&x, b.bytes.data() + self0 + 8, 4);
    EXPECT_EQ(x, 12.5f);
    EXPECT_EQ(U32At(b, self0 + 8 + 11 * 4), 4294967295u); // sprite_index -1
    EXPECT_EQ(U32At(b, self0 + 8 + 20 * 4 + 3 * 4), 30u);  // alarm[3]
    // 64 fields of four bytes each.
    EXPECT_EQ(b.bytes.size(), self0 + 64 * 4);
    delete code;
}
