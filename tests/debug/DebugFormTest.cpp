// The debug form's model without a display: values as the lists show them, watches (compiled
// once per change, "Unable to evaluate" for code that does not compile or fails), "Debug.ini"
// written and read back, the run commands, the form's end at game end leaving the loop alone,
// the bounded message ring and its copy, and the Locals windows.
#include <gtest/gtest.h>

#include <algorithm>

#include "Files/Base/DialogHost.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/VM_Debug.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Code/Variable_List.h"
#include "Files/Debug/Debug_Form.h"
#include "Files/Debug/Debug_Main.h"
#include "Files/Debug/InputQuery.h"
#include "Files/Support/CommandLine.h"
#include "Files/Support/IniFile.h"
#include "Files/Support/LoadSave.h"
#include "support/GameWorld.h"
#include "support/ScratchFolder.h"

namespace {

std::vector<std::string> g_answers; // what the questions of the form get, in order

bool Answer(const char*, const char*, const char*, std::string* answer)
{
    if (g_answers.empty()) return false; // Cancel
    *answer = g_answers.front();
    g_answers.erase(g_answers.begin());
    return true;
}

class DebugForm : public WorldTest {
protected:
    void SetUp() override
    {
        WorldTest::SetUp();
        LoadSave_SetFolders((dir / "prog").c_str(), (dir / "save").c_str(), nullptr);
        Debug_InstallHooks(World_Hooks());
        g_StartupOptions.debugMode = 1;
        g_StartupOptions.debugFormMode = 2;
        DebugForm_SetAsk(Answer);
        g_answers.clear();
    }
    void TearDown() override
    {
        WorldTest::TearDown();
        DebugForm_SetAsk(nullptr);
        g_StartupOptions.debugMode = 0;
        g_StartupOptions.debugFormMode = 0;
        g_StartupOptions.running = 0;
        LoadSave_SetFolders(nullptr, nullptr, nullptr);
    }
    // A room with one instance of obj_ctl (its step counts n); the game started and running.
    void Play(const char* step = "n += 1;")
    {
        const int32_t o = Obj("obj_ctl");
        ASSERT_TRUE(Ev(o, EVENT_CREATE, 0, "n = 0; label = 'ctl';"));
        ASSERT_TRUE(Ev(o, EVENT_STEP, 0, step));
        m_ctl = Place(Room(), o, 10, 20);
        Start();
        g_StartupOptions.running = 1;
    }
    std::vector<std::string> Values()
    {
        std::vector<std::string> v;
        for (const DebugWatchRow& r : DebugForm_WatchRows()) v.push_back(r.value);
        return v;
    }
    ScratchFolder dir;
    int32_t m_ctl = 0;
};

ScriptValue Real(double v) { return Value_Real(v); }

// The user variable n of an instance (-1 when it has none).
double N(CInstance* i)
{
    CVariable* v = i && i->m_pVariables ? i->m_pVariables->Find(Code_Variable_FindUser("n")) : nullptr;
    return v ? v->value.real : -1;
}

TEST(DebugFormValues, RealsShowTheDecimalsTheyNeed)
{
    EXPECT_EQ(Debug_FormatValue(Real(7)), "7");
    EXPECT_EQ(Debug_FormatValue(Real(-3)), "-3");
    EXPECT_EQ(Debug_FormatValue(Real(0.5)), "0.50");
    EXPECT_EQ(Debug_FormatValue(Real(0.125)), "0.1250");
    EXPECT_EQ(Debug_FormatValue(Real(1.0 / 3.0)), "0.3333333333");
    EXPECT_EQ(Debug_FormatValue(Real(1e10)), "10000000000.00"); // past 32 bits: no wrap
    EXPECT_EQ(Debug_FormatValue(Real(1e300)).size(), 312u);  // very large: whole, no overflow
    ScriptValue s{VALUE_STRING, const_cast<char*>("text"), 0};
    EXPECT_EQ(Debug_FormatValue(s), "text");
}

TEST_F(DebugForm, WatchesAreCompiledOncePerChangeAndFailuresSayUnableToEvaluate)
{
    Play();
    ASSERT_TRUE(DebugForm_Exists()); // made by the game's start in debug mode
    EXPECT_EQ(DebugForm_WatchRows().size(), 1u);
    EXPECT_EQ(DebugForm_WatchRows()[0].expression, "Expressions");
    g_answers = {"1 + 1", "(1 +", "(" + std::to_string(m_ctl) + ").n", "undefined_thing + 1"};
    for (int i = 0; i < 4; ++i) DebugForm_Command(DEBUGFORM_ADD_WATCH);
    Frames(3);
    EXPECT_EQ(Values(), (std::vector<std::string>{"2", "Unable to evaluate", "3", "Unable to evaluate"}));
    EXPECT_EQ(DebugForm_CompileCount(), 4); // three more refreshes compiled nothing again
    EXPECT_TRUE(g_Log.empty()); // no error reached the log or a dialog

    DebugForm_SelectWatch(2);
    g_answers = {"n"};
    DebugForm_Command(DEBUGFORM_CHANGE_WATCH);
    EXPECT_EQ(DebugForm_CompileCount(), 5);
    EXPECT_EQ(Values()[2], "Unable to evaluate"); // the scratch instance has no n
    DebugForm_Command(DEBUGFORM_DELETE_WATCH);
    EXPECT_EQ(DebugForm_WatchCount(), 3);
    DebugForm_Command(DEBUGFORM_CLEAR_WATCHES);
    EXPECT_EQ(DebugForm_WatchCount(), 0);
}

TEST_F(DebugForm, SettingsRoundTripThroughDebugIni)
{
    Play();
    for (const char* w : {"1", "score", "room_speed * 2"}) DebugForm_AddWatch(w);
    DebugForm_SetFpsVisible(false);
    DebugForm_ShowInfoWindow(DEBUGWIN_INSTANCES, true);
    DebugInfoWindow& inst = DebugForm_Window(DEBUGWIN_INSTANCES);
    inst.rect[0] = 10, inst.rect[1] = 20, inst.rect[2] = 300, inst.rect[3] = 200;
    EndGame(); // the form saves and goes
    EXPECT_FALSE(DebugForm_Exists());

    IniFile ini;
    ini.Load("Debug.ini", false);
    EXPECT_STREQ(ini.ReadString("DebugForm", "NumWatches", ""), "3");
    EXPECT_STREQ(ini.ReadString("DebugForm", "Watch0", ""), "1");
    EXPECT_STREQ(ini.ReadString("DebugForm", "Watch2", ""), "room_speed * 2");
    EXPECT_STREQ(ini.ReadString("DebugForm", "FPSVisible", ""), "false");
    EXPECT_STREQ(ini.ReadString("InstancesWindow", "Visible", ""), "true");
    EXPECT_STREQ(ini.ReadString("GlobalsWindow", "Visible", ""), "false");

    g_StartupOptions.debugFormMode = 2;
    StartGame(); // a new form reads them at its first refresh
    Frames(1);
    ASSERT_EQ(DebugForm_WatchCount(), 3);
    EXPECT_EQ(DebugForm_WatchRows()[2].expression, "room_speed * 2");
    EXPECT_FALSE(DebugForm_FpsVisible());
    EXPECT_EQ(g_StartupOptions.debugFormMode & 2, 0);
    const DebugInfoWindow& back = DebugForm_Window(DEBUGWIN_INSTANCES);
    EXPECT_TRUE(back.shown);
    EXPECT_EQ(back.rect[2], 300);
    ASSERT_EQ(back.rows.size(), 1u);
    EXPECT_EQ(back.rows[0].column[1], "obj_ctl");
    EXPECT_EQ(back.rows[0].column[2], "<undefined>");
}

TEST_F(DebugForm, PauseStepRestartAndStop)
{
    Play();
    Frames(2);
    DebugForm_Command(DEBUGFORM_PAUSE);
    Frames(3); // paused: no step
    EXPECT_EQ(N(Inst(m_ctl)), 2);
    DebugForm_Command(DEBUGFORM_STEP);
    EXPECT_EQ(N(Inst(m_ctl)), 3);
    DebugForm_Command(DEBUGFORM_RUN);
    Frames(1);
    EXPECT_EQ(N(Inst(m_ctl)), 4);
    DebugForm_Command(DEBUGFORM_RESTART);
    EXPECT_FALSE(DebugForm_Shown());
    Frames(1); // the game ends and starts again: a new form
    ASSERT_TRUE(DebugForm_Exists());
    EXPECT_TRUE(DebugForm_Shown());
    CInstance* fresh = First(Object_Find("obj_ctl"));
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(N(fresh), 0);
    DebugForm_Command(DEBUGFORM_STOP);
    EXPECT_EQ(g_StartupOptions.running, 0); // the loop ends; the entry ends the game
}

TEST_F(DebugForm, EndingTheGameWhilePausedLeavesTheLoopStopped)
{
    Play();
    DebugForm_Command(DEBUGFORM_PAUSE);
    g_StartupOptions.running = 0; // the window was closed
    EndGame();
    EXPECT_FALSE(DebugForm_Exists());
    EXPECT_EQ(g_StartupOptions.running, 0); // saving the settings did not set it again
}

TEST_F(DebugForm, ClosingTheFormWhilePausedLetsTheGameGoOn)
{
    Play();
    DebugForm_Command(DEBUGFORM_PAUSE);
    DebugForm_Close();
    EXPECT_FALSE(DebugForm_Exists());
    EXPECT_EQ(Run_State().paused, 0);
    EXPECT_EQ(g_StartupOptions.running, 1);
}

// A host whose modal dialogs see the form's window closed while they wait (the window's
// events are pumped inside a dialog), then answer.
class ClosingHost : public IDialogHost {
public:
    int32_t RunModal(IModalDialog& d) override
    {
        ++shown;
        DebugForm_Close();
        return d.DefaultResult();
    }
    void SetClipboardText(const char*) override {}
    int shown = 0;
};

// test_ask(): a modal question, as show_question asks it.
void TestAsk(ScriptValue* result, CInstance*, CInstance*, int32_t, ScriptValue*)
{
    *result = Value_Real(Dialog_ShowQuestion("Game", "sure?") ? 1.0 : 0.0);
}

TEST_F(DebugForm, ClosingTheFormWhileAWatchWaitsInADialogEndsItAfterTheRefresh)
{
    Play();
    static const bool registered = (Function_Add("test_ask", TestAsk, 0), true);
    (void)registered;
    ClosingHost host;
    DialogHost_Set(&host);
    DebugForm_AddWatch("test_ask()");
    DebugForm_AddWatch("1 + 1");
    Frames(2);
    DialogHost_Set(nullptr);
    EXPECT_EQ(host.shown, 1);
    EXPECT_FALSE(DebugForm_Exists());
    EXPECT_EQ(N(Inst(m_ctl)), 2); // the game went on
    IniFile ini;
    ini.Load("Debug.ini", false);
    EXPECT_STREQ(ini.ReadString("DebugForm", "NumWatches", ""), "2");
}

// The form's Run and Step while the machine is held at a break (the idle hook draws the form
// then) let the held code go on: neither starts a step of its own inside the held one.
int g_formCommand = 0;
void CommandAtBreak()
{
    if (!g_formCommand) return;
    Run_State().paused = 1;
    const int command = g_formCommand;
    g_formCommand = 0;
    DebugForm_Command(command);
}

TEST_F(DebugForm, RunAndStepAtABreakLetTheHeldCodeGoOn)
{
    // The held instance goes away in its step: a step run inside the held one would free it
    // under the held code.
    Play("global.steps += 1; instance_destroy(); instance_create(0, 0, object_index);");
    const ScriptValue zero = Value_Real(0.0);
    Variable_Global_List()->Set(Code_Variable_FindUser("steps"), 0, &zero);
    auto steps = [] {
        CVariable* v = Variable_Global_List()->Find(Code_Variable_FindUser("steps"));
        return v ? v->value.real : -1;
    };
    VM_Debug_SetBreakHook(CommandAtBreak);
    for (int command : {DEBUGFORM_STEP, DEBUGFORM_RUN}) {
        SCOPED_TRACE(command);
        const double before = steps();
        g_formCommand = command;
        VM_Debug_RequestBreak();
        Frames(1);
        VM_Debug_SetStepping(false);
        EXPECT_EQ(g_formCommand, 0); // the break was taken
        EXPECT_EQ(Run_State().paused, 0);
        EXPECT_EQ(steps(), before + 1); // the frame's own step only
    }
    VM_Debug_SetBreakHook(nullptr);
}

TEST_F(DebugForm, MessagesAreABoundedRingNewestFirstAndCopyAsBytes)
{
    Play();
    for (int i = 0; i < DEBUGFORM_MESSAGES + 10; ++i) DebugConsole_Output(("line " + std::to_string(i)).c_str());
    EXPECT_EQ(DebugForm_MessageCount(), DEBUGFORM_MESSAGES);
    EXPECT_EQ(DebugForm_Message(0), "line " + std::to_string(DEBUGFORM_MESSAGES + 9));
    DebugConsole_Output("caf\xC3\xA9"); // é: one UTF-16 unit, copied as its low byte
    EXPECT_EQ(DebugForm_CopyMessages({0, 1}), "caf\xE9\nline " + std::to_string(DEBUGFORM_MESSAGES + 9) + "\n");
    std::vector<int32_t> many;
    for (int i = 0; i < 600; ++i) many.push_back(i);
    std::string copied = DebugForm_CopyMessages(many);
    EXPECT_EQ(std::count(copied.begin(), copied.end(), '\n'), DEBUGFORM_COPY_ROWS);
}

TEST_F(DebugForm, LocalsWindowsFindByIdOrNameAndReuseTheLast)
{
    Play();
    Frames(1);
    DebugForm_ShowLocals("obj_ctl");
    const DebugInfoWindow& first = DebugForm_Window(DEBUGWIN_LOCALS_FIRST);
    EXPECT_TRUE(first.shown);
    EXPECT_EQ(first.instanceId, m_ctl);
    EXPECT_EQ(first.title, "Instance Var: obj_ctl (" + std::to_string(m_ctl) + ")");
    ASSERT_GE(first.rows.size(), 49u);
    EXPECT_EQ(first.rows[0].column[0], "x");
    EXPECT_EQ(first.rows[0].column[1], "10");
    DebugForm_ShowLocals("0"); // the id 0, not an object called "0"
    EXPECT_EQ(DebugForm_Window(DEBUGWIN_LOCALS_FIRST + 1).title, "Instance Var: Unknown (-1)");
    for (int i = 0; i < 5; ++i) DebugForm_ShowLocalsOf(900000 + i); // fills the rest, then the last again
    EXPECT_EQ(DebugForm_Window(DEBUGWIN_LOCALS_LAST).instanceId, 900004);
    DebugForm_DoubleClick(DEBUGWIN_LOCALS_FIRST, 0);
    EXPECT_EQ(DebugForm_WatchRows().back().expression, "(" + std::to_string(m_ctl) + ").x");
    EXPECT_EQ(DebugForm_WatchRows().back().value, "10");
}

} // namespace
