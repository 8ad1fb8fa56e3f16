// Error reports: the text console, the report's layout with the call stack, the show path
// and its flags, the dialog text, the error dialog's logic and the scripted dialog host, the
// fatal path of the machine, and reports of code running under each executor (long lines,
// line ends).
#include "code/CompilerTestSupport.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <unistd.h>

#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Compile.h"
#include "Files/Code/Code_ErrorDialog.h"
#include "Files/Code/Code_Execute.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Code/Variable_List.h"
#include "Files/Support/CommandLine.h"
#include "support/CaptureConsole.h"

namespace {

// A host that records what it shows and presses the given buttons.
class TestHost : public IDialogHost {
public:
    std::vector<std::string> press;
    std::vector<std::string> shown;
    std::vector<bool> ignoreShown;
    std::string clipboard;
    int32_t RunModal(IModalDialog& dialog) override
    {
        dialog.Init();
        shown.push_back(dialog.DisplayText());
        auto* e = dynamic_cast<ErrorDialog*>(&dialog);
        ignoreShown.push_back(e && e->IgnoreVisible());
        for (const std::string& b : press) {
            dialog.Command(dialog.ButtonId(b.c_str()));
            int32_t r;
            if (dialog.Ended(&r)) return r;
        }
        return dialog.DefaultResult();
    }
    void SetClipboardText(const char* text) override { clipboard = text; }
};

void CurrentEvent(int32_t* type, int32_t* number, int32_t* object, int32_t* action)
{
    *type = 3;
    *number = 0;
    *object = 0;
    *action = 1;
}
const char* EventName(int32_t type, int32_t number) { return type == 3 && number == 0 ? "Step Event" : "?"; }
void TimeLineEvent(int32_t* type, int32_t* number, int32_t* object, int32_t* action)
{
    *type = 100000;
    *number = 12;
    *object = 2;
    *action = 0;
}
const char* TimeLineName(int32_t index) { return index == 2 ? "tl_intro" : "?"; }
int g_aborts = 0;
void AbortGame() { ++g_aborts; }

void Fail(ScriptValue*, CInstance*, CInstance*, int32_t, ScriptValue*)
{
    Code_Error_Report("something went wrong", false);
}

class ErrorReportTest : public ScriptTest {
protected:
    void SetUp() override
    {
        ScriptTest::SetUp();
        DialogHost_Set(&host);
        g_aborts = 0;
        ErrorReportHooks hooks{};
        hooks.currentEvent = CurrentEvent;
        hooks.eventName = EventName;
        hooks.timeLineName = TimeLineName;
        hooks.abortGame = AbortGame;
        Code_Error_SetHooks(&hooks);
        int32_t o = Object_Add();
        Object_Lookup(o)->SetName("obj_player");
    }
    void TearDown() override
    {
        DialogHost_Set(nullptr);
        Code_Error_SetHooks(nullptr);
        ScriptTest::TearDown();
    }
    TestHost host;
};

} // namespace

TEST_F(ErrorReportTest, ConsoleCutsPiecesAndGrows)
{
    TErrStreamConsole c;
    std::string big(2000, 'x');
    c.Output("%s", big.c_str());
    EXPECT_EQ(std::strlen(c.GetText()), 1023u);
    std::string fill(1000, 'y');
    for (int i = 0; i < 101; ++i) c.Output("%s", fill.c_str());
    c.Output("%.367s", fill.c_str());
    ASSERT_EQ(std::strlen(c.GetText()), 102390u);
    EXPECT_EQ(c.GetCapacity(), 102400);
    c.Output("%s", fill.c_str());
    EXPECT_GT(c.GetCapacity(), 102400);
    EXPECT_EQ(std::strlen(c.GetText()), 103390u);
}

TEST_F(ErrorReportTest, DialogTextBreaksLinesAndExpandsTabs)
{
    auto text = [](const char* t) {
        char* d = Code_Error_DialogText(t);
        std::string s = d;
        MEM_FREE(d);
        return s;
    };
    std::string rule = "\r\n" + std::string(43, '_') + "\r\n";
    EXPECT_EQ(text("a\nb"), rule + "a\r\nb");
    EXPECT_EQ(text("a\r\nb\n\rc\n\nd"), rule + "a\r\nb\r\nc\r\nd");
    EXPECT_EQ(text("\tx"), rule + "       x");
    // Many tabs expand past twice the text's length without overrunning anything.
    std::string tabs(500, '\t');
    EXPECT_EQ(text(tabs.c_str()).size(), rule.size() + 3500);
}

TEST_F(ErrorReportTest, ReportNamesTheEventObjectAndCallStack)
{
    Function_Add("fail", Fail, 0);
    AddAsmScript("inner", ".pos 4\ncall.i fail 0\npopz.v\n", "a\nb\nc");
    VMBuffer* debug = nullptr;
    VMBuffer* code = Assemble(".pos 0\npush.e 1\npopz.i\n.pos 6\ncall.i inner 0\npopz.v\n", &debug);
    RegisterBuiltinVariable("dummy", nullptr, nullptr, false);
    CInstance self(0, 0, 100001, 0, false);
    Value_SetString(&self.m_pVariables->FindOrCreate(Code_Variable_FindOrAdd("name"))->value, "hero");
    host.press = {"Ignore"};
    CaptureConsole log;
    ScriptValue r = Value_Real(0);
    VM_Execute("gml_Object_obj_player_Step_0", &self, &self, code, &r, debug, "x = 1\ny = 2\ninner()");
    ASSERT_EQ(host.shown.size(), 1u);
    std::string shown = host.shown[0];
    std::string hashes(92, '#'), dashes(92, '-');
    std::string expected = hashes + "\nERROR in\naction number 2\nof Step Event\nfor object obj_player:\n\n\n"
                                    "something went wrong\n at inner (line 3) - c\n" +
                           hashes + "\n" + dashes + "\nstack frame is\ninner (line 3)\n"
                                                    "called from - gml_Object_obj_player_Step_0 (line 2) - y = 2\n";
    char* dialog = Code_Error_DialogText(expected.c_str());
    EXPECT_EQ(shown, dialog);
    MEM_FREE(dialog);
    EXPECT_TRUE(host.ignoreShown[0]);
    EXPECT_NE(log.Text().find("ERROR!!! :: " + hashes), std::string::npos);
    EXPECT_NE(log.Text().find("Self Variables : \nname(100000) = \"hero\"\n"), std::string::npos);
    EXPECT_TRUE(Code_Error_Occurred());
    EXPECT_FALSE(Code_Error_Aborting());
    delete code;
    delete debug;
}

TEST_F(ErrorReportTest, TimeLineHeadline)
{
    ErrorReportHooks hooks{};
    hooks.currentEvent = TimeLineEvent;
    hooks.timeLineName = TimeLineName;
    Code_Error_SetHooks(&hooks);
    Code_Error_SetShowErrors(false);
    CaptureConsole log;
    Code_Error_Report("boom", true);
    EXPECT_NE(log.Text().find("FATAL ERROR in\naction number 1\nat time step12\nof time line tl_intro:\n\n\nboom\n"),
              std::string::npos);
}

TEST_F(ErrorReportTest, ShowFlagsAndAborting)
{
    // Without errors shown: no dialog, but the flag, the log line and the last text.
    Code_Error_SetShowErrors(false);
    {
        CaptureConsole log;
        Code_Error_Show("quiet one", false);
        EXPECT_EQ(log.Text(), "ERROR!!! :: quiet one\n");
    }
    EXPECT_TRUE(host.shown.empty());
    EXPECT_TRUE(Code_Error_Occurred());
    EXPECT_STREQ(Code_Error_LastShown(), "quiet one");
    // The player's Abort on an ignorable error stops the game.
    Code_Error_SetShowErrors(true);
    host.press = {"Abort"};
    {
        CaptureConsole log;
        Code_Error_Show("stop it", false);
    }
    EXPECT_TRUE(Code_Error_Aborting());
    EXPECT_EQ(g_aborts, 1);
    // After an abort nothing more is shown.
    Code_Error_Show("later", true);
    EXPECT_EQ(host.shown.size(), 1u);
    EXPECT_STREQ(Code_Error_LastShown(), "stop it");
}

TEST_F(ErrorReportTest, AbortOnAllErrorsOffersNoChoice)
{
    Code_Error_SetAbortOnAll(true);
    host.press = {"Ignore", "Abort"};
    CaptureConsole log;
    Code_Error_Show("minor", false);
    ASSERT_EQ(host.ignoreShown.size(), 1u);
    EXPECT_FALSE(host.ignoreShown[0]);
    EXPECT_TRUE(Code_Error_Aborting());
}

TEST_F(ErrorReportTest, ErrorDialogLogic)
{
    g_ErrorRecord = ErrorRecord{"the text", 0};
    ErrorDialog d;
    d.Init();
    EXPECT_FALSE(d.IgnoreVisible());
    EXPECT_EQ(d.ButtonId("Ignore"), -1);
    EXPECT_STREQ(d.Caption(), "Code Error...");
    EXPECT_EQ(d.Command(ErrorDialog::ID_COPY), 1);
    EXPECT_EQ(host.clipboard, "the text");
    EXPECT_EQ(d.Command(ErrorDialog::ID_CLEAR), 1);
    EXPECT_STREQ(d.DisplayText(), " ");
    EXPECT_EQ(d.Command(ErrorDialog::ID_COPY), 0); // nothing left to copy
    EXPECT_EQ(d.Command(2), 0);                     // Escape is not handled
    int32_t r;
    EXPECT_FALSE(d.Ended(&r));
    d.Command(ErrorDialog::ID_ABORT);
    ASSERT_TRUE(d.Ended(&r));
    EXPECT_EQ(r, 1);
    g_ErrorRecord = ErrorRecord{nullptr, 0};
}

TEST_F(ErrorReportTest, ScriptedHostAnswersFromItsFile)
{
    DialogHost_Set(nullptr);
    std::string path = std::string(::testing::TempDir()) + "dialogs" + std::to_string(getpid());
    {
        std::ofstream f(path);
        f << "message OK\nerror Copy Ignore\nerror Clear\n";
    }
    setenv("ZIMBREL_DIALOG_SCRIPT", path.c_str(), 1);
    DialogHost_ResetScript();
    EXPECT_FALSE(Code_Error_ShowDialog("first", true)); // Copy, Ignore
    EXPECT_NE(std::string(DialogHost_ScriptedClipboard()).find("first"), std::string::npos);
    StartStderrCapture();
    EXPECT_TRUE(Code_Error_ShowDialog("second", true)); // Clear, then the default: Abort
    EXPECT_TRUE(Code_Error_ShowDialog("third", true));  // no line left: Abort
    std::string err = TakeStderr();
    EXPECT_NE(err.find("Code Error...\n"), std::string::npos);
    EXPECT_NE(err.find("third"), std::string::npos);
    unsetenv("ZIMBREL_DIALOG_SCRIPT");
    DialogHost_ResetScript();
    std::remove(path.c_str());
}

TEST_F(ErrorReportTest, FatalMachineErrorEndsTheRunWithMinusOneAndRunsNoMoreCode)
{
    DialogHost_Set(nullptr);
    const StartupOptions saved = g_StartupOptions;
    g_StartupOptions.running = 1;
    VMBuffer* code = Assemble("push.e 1\npush.e 0\ndiv.i.i\npopz.i\n");
    StartStderrCapture();
    ScriptValue r = Value_Real(0);
    VM_Execute("crash", nullptr, nullptr, code, &r, nullptr, "");
    EXPECT_NE(TakeStderr().find("FATAL ERROR in"), std::string::npos);
    EXPECT_TRUE(Main_ExitRequested());
    EXPECT_EQ(g_StartupOptions.exitCode, -1);
    EXPECT_EQ(g_StartupOptions.running, 0) << "the main loop stops";
    // Whatever code comes after does not run.
    Code_Compiler_Init();
    CCode later("global.after = 1", false);
    ASSERT_TRUE(later.Compile("later"));
    EXPECT_TRUE(Code_Execute(nullptr, nullptr, &later, &r));
    EXPECT_EQ(Variable_Global_List()->Find(Code_Variable_Find("after")), nullptr);
    g_StartupOptions = saved;
    Code_Error_Reset();
    delete code;
}

namespace {

// Reports made while code runs under each executor (no dialog): the game's scripts are
// prepared for the executor, then the code runs for self; "fail" reports an error.
class RunningReportTest : public CompilerTest {
protected:
    void SetUp() override
    {
        CompilerTest::SetUp();
        Function_Add("fail", Fail, 0);
        Code_Error_SetShowErrors(false);
    }
    // The last report of running code (prepared() runs after the scripts are prepared).
    std::string Report(bool machine, const char* code, const std::function<void()>& prepared = {})
    {
        g_StartupOptions.byteCodeInterpreter = machine ? 1 : 0;
        EXPECT_TRUE(Script_Prepare());
        if (prepared) prepared();
        CCode unit(code, false);
        EXPECT_TRUE(unit.Compile("entry"));
        CaptureConsole log;
        ScriptValue r = Value_Real(0);
        Code_Execute(m_self, m_self, &unit, &r);
        Value_FreeString(&r);
        return Code_Error_LastShown() ? Code_Error_LastShown() : "";
    }
};

} // namespace

TEST_F(RunningReportTest, ALongLineIsReadAndPrintedOnlyAsFarAsTheReportShowsIt)
{
    // A script of one long line (its code, then a comment of '€') calls itself 40 deep, then a
    // built-in fails. Past its first page the line cannot be read (as if it ran on for
    // megabytes): the report reads no further than it prints. Each piece is cut at 1,023 bytes
    // at a character's start and keeps its line break.
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    std::string text = "if (argument0 < 40) return scr_deep(argument0 + 1); fail(); // ";
    for (size_t i = 0; i < page; ++i) text += "\u20ac";
    Script_Add("scr_deep", text.c_str(), -1);
    auto* guarded = static_cast<char*>(mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(guarded, MAP_FAILED);
    std::memcpy(guarded, text.data(), page);
    ASSERT_EQ(mprotect(guarded + page, page, PROT_NONE), 0);
    for (bool machine : {true, false}) {
        SCOPED_TRACE(machine ? "machine" : "tree");
        const std::string report = Report(machine, "scr_deep(0)", [&] {
            CCode* unit = Script_Data(0)->m_pCode;
            unit->m_pText = guarded; // what the tree interpreter's frames read
            MEM_FREE(unit->m_pSourceCopy); // and the machine's
            unit->m_pSourceCopy = nullptr;
        });
        std::istringstream in(report);
        std::vector<std::string> lines;
        for (std::string l; std::getline(in, l);) lines.push_back(l);
        const std::string at = " at Script.scr_deep (line 1) - ";
        auto first = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(at, 0) == 0; });
        ASSERT_NE(first, lines.end()) << report;
        const size_t shown = first->size() - at.size();
        EXPECT_GT(shown, 950u);
        EXPECT_LE(first->size(), 1022u); // 1,023 bytes with the line break
        EXPECT_EQ(*first, at + text.substr(0, shown));
        EXPECT_NE(uint8_t(text[shown]) & 0xC0, 0x80) << "cut inside a character";
        EXPECT_EQ(*(first + 1), std::string(92, '#'));
        const std::string calledFrom = "called from - Script.scr_deep (line 1) - " + text.substr(0, 30);
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(calledFrom, 0) == 0; }), 40);
        EXPECT_EQ(lines.back(), "called from - entry (line 1) - scr_deep(0)");
    }
    munmap(guarded, 2 * page);
}

TEST_F(RunningReportTest, ALongNameIsCutOnceWhereTheErrorIsMadeAndTheReportKeepsItsBytes)
{
    // Under the tree interpreter a script calls itself 12 deep, then reads a variable never set
    // whose name runs past the headline's limit. The report is what it always was: the
    // headline cut at 32,767 bytes, the stacked "In script" lines cut in the middle before the
    // failure's own text. What the error carries up the levels holds no more than that.
    const std::string name = "v" + std::string(40000, 'n');
    Script_Add("scr_deep", ("if (argument0 < 11) return scr_deep(argument0 + 1);\nreturn " + name + ";").c_str(), -1);
    const std::string report = Report(false, "scr_deep(0)");
    const std::string rule(92, '#');
    const size_t headAt = rule.size() + 1, messageAt = report.find("\n\n\n") + 3;
    ASSERT_EQ(report.substr(0, headAt), rule + "\n");
    std::string five;
    for (int i = 0; i < 5; ++i) five += "In script scr_deep:\n";
    std::string headline = report.substr(headAt, messageAt - headAt) + five +
                           "... 2 more \"In script\" lines ...\n" + five + "Error in code at line 2:\n   " +
                           ("return " + name).substr(0, 1023) + "\n\nat position 8: Unknown variable " + name;
    headline.resize(32767);
    EXPECT_EQ(report, rule + "\n" + headline + "\n" + rule + "\n");
    EXPECT_LT(std::strlen(Code_Error_GetText()), name.size());
}

TEST_F(ErrorReportTest, AScriptsNameIsCutAtACharacterWhenItsLevelIsAdded)
{
    std::string name;
    for (int i = 0; i < 20000; ++i) name += "\u20ac";
    Code_Error_SetText("Error in code at line 1:\n   q\n\nat position 1: x");
    Code_Error_InScript(name.c_str());
    const std::string text = Code_Error_GetText();
    const size_t lineEnd = text.find(":\n");
    ASSERT_NE(lineEnd, std::string::npos);
    EXPECT_EQ(lineEnd - 10, kErrorMessageLimit / 3 * 3) << "cut at the last whole character";
    EXPECT_EQ(text.compare(10, lineEnd - 10, name, 0, lineEnd - 10), 0);
    EXPECT_EQ(text.substr(lineEnd + 2), "Error in code at line 1:\n   q\n\nat position 1: x");
}

TEST_F(RunningReportTest, ACarriageReturnEndsALineAsALineFeedDoes)
{
    Script_Add("scr_cr", "var k;\rk = fail();\rk = 2;\rk = 3;", -1);
    for (bool machine : {true, false})
        EXPECT_NE(Report(machine, "scr_cr()").find("\n at Script.scr_cr (line 2) - k = fail();\n"), std::string::npos)
            << (machine ? "machine" : "tree");
    // A compile error counts its lines, and its column within the line, so.
    EXPECT_EQ(CompileError("a = 1;\rb = ;").rfind("Error in code at line 2:\n   b = ;\n\nat position 5:", 0), 0u);
}
