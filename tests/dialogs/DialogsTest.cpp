// The dialogs through the scripted host (ZIMBREL_DIALOG_SCRIPT): the modal and asynchronous
// input, question, message and login dialogs with their result maps and the order of the
// queue, the interaction group's rows, the high-score table and "hiscore.dat", splash screens,
// the file dialogs and the message-box dialog.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <fstream>

#include "Files/Base/DialogHost.h"
#include "Files/Base/Value.h"
#include "Files/Code/Code_Function.h"
#include "Files/DS/DS_Map.h"
#include "Files/Debug/FileDialog.h"
#include "Files/Debug/InputQuery.h"
#include "Files/Debug/Score.h"
#include "Files/Debug/Splash.h"
#include "Files/Function/Function_Dialog.h"
#include "Files/Function/Function_Interaction.h"
#include "Files/Graphics_API/Graphics_Host.h"
#include "Files/HTTP/HTTP.h"
#include "Files/Support/LoadSave.h"
#include "support/BuiltinTest.h"
#include "support/CaptureConsole.h"
#include "support/FakeGraphics.h"
#include "support/ScratchFolder.h"

namespace {

// The dialogs answer from a script file written by the test; the interaction group is
// registered on clean tables.
class DialogsTest : public BuiltinTest {
protected:
    void Register() override { InitFunctions_Interaction(); }
    void SetUp() override
    {
        BuiltinTest::SetUp();
        WindowHost_Set(&host); // no real window: leaving full screen only asks the fake
        DialogHost_Set(nullptr);
    }
    void TearDown() override
    {
        HTTP_Shutdown(); // requests left undelivered
        DialogHost_ResetScript();
        WindowHost_Set(nullptr);
        BuiltinTest::TearDown();
    }

    void Script(const std::string& lines)
    {
        Scratch_WriteFile(dir / "script.txt", lines);
        env = std::make_unique<ScopedEnv>("ZIMBREL_DIALOG_SCRIPT", (dir / "script.txt").c_str());
        DialogHost_ResetScript();
    }

    static ScriptValue Key(const char* t) { return ScriptValue{VALUE_STRING, const_cast<char*>(t), 0.0}; }

    // Delivers the finished requests as the asynchronous phase does: each gives its event and
    // map; the map's pairs come back as "key=value" texts in key order.
    std::vector<std::string> Deliver()
    {
        std::vector<std::string> out;
        for (HTTP_REQ_CONTEXT** link = HTTP_RequestListHead(); *link;) {
            HTTP_REQ_CONTEXT* r = *link;
            if (r->state.load() != HTTP_STATE_FINISHED) {
                link = &r->next;
                continue;
            }
            *link = r->next;
            r->next = nullptr;
            int32_t map = -1;
            const int32_t event = r->completion(r, r->user, &map);
            std::string pairs = "event=" + std::to_string(event);
            for (const char* key : {"id", "password", "result", "status", "username", "value"}) {
                CDS_Map* m = DS_Map_Data(map);
                const ScriptValue k = Key(key);
                const CDS_MapEntry* e = m ? m->Find(&k) : nullptr;
                if (!e) continue;
                const ScriptValue& v = e->value;
                pairs += std::string(" ") + key + "=" +
                         (v.kind == VALUE_STRING ? std::string(v.text ? v.text : "") : std::to_string(int64_t(v.real)));
            }
            out.push_back(pairs);
            DS_Map_Destroy(map);
            HTTP_DestroyRequest(r);
            link = HTTP_RequestListHead();
        }
        return out;
    }

    FakeHost host;
    ScratchFolder dir;
    std::unique_ptr<ScopedEnv> env;
};

} // namespace

TEST_F(DialogsTest, ModalDialogsAnswerFromTheScript)
{
    Script("question No\n"
           "input =typed\\stext OK\n"
           "other Whatever\n"
           "input Cancel\n"
           "input =3.6 OK\n");
    std::string answer;
    EXPECT_FALSE(Dialog_ShowQuestion("Game", "Sure?"));
    EXPECT_TRUE(Dialog_InputQuery("Game", "Name?", "default", &answer));
    EXPECT_EQ(answer, "typed text");
    // Cancel gives "" (and get_string returns it), not the default.
    EXPECT_EQ(Str("get_string", {Val("Name?"), Val("default")}), "");
    // get_integer reads the answer as a number.
    EXPECT_DOUBLE_EQ(Num("get_integer", {Val("How many?"), Val(3.7)}), 3.6);
    // Without a line the default answer: OK with the default text, rounded for get_integer.
    EXPECT_DOUBLE_EQ(Num("get_integer", {Val("How many?"), Val(3.7)}), 4.0);
    EXPECT_DOUBLE_EQ(Num("show_question", {Val("Again?")}), 1.0); // the default button is Yes
}

TEST_F(DialogsTest, AnswersAreCutToTheFieldAtACharacterBoundary)
{
    std::string longAnswer(1023, 'a');
    longAnswer += "\xc3\xa9tail"; // a two-byte character across the 1,024-byte limit
    Script("input =" + longAnswer + " OK\n");
    std::string answer;
    ASSERT_TRUE(Dialog_InputQuery("Game", "?", "", &answer));
    EXPECT_EQ(answer, std::string(1023, 'a'));
}

TEST_F(DialogsTest, AsynchronousDialogsQueueAndDeliverTheirMaps)
{
    // The scripted host answers a dialog as soon as it is shown; the second one is shown only
    // once the first answer has been delivered.
    Script("message OK\nmessage OK\nquestion No\ninput =17 OK\ninput Cancel\nmessage OK\n");
    const double first = Call("show_message_async", {Val("one")}).Real();
    const double second = Call("show_message_async", {Val(2.0)}).Real();
    EXPECT_LT(first, second);
    EXPECT_EQ(Dialog_QueueLength(), 2);
    std::vector<std::string> got = Deliver();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], "event=63 id=" + std::to_string(int64_t(first)) + " status=1");
    EXPECT_EQ(got[1], "event=63 id=" + std::to_string(int64_t(second)) + " status=1");
    EXPECT_EQ(Dialog_QueueLength(), 0);

    const int64_t q = int64_t(Call("show_question_async", {Val("Sure?")}).Real());
    const int64_t i = int64_t(Call("get_integer_async", {Val("How many?"), Val(2.5)}).Real());
    const int64_t c = int64_t(Call("get_string_async", {Val("Name?"), Val("x")}).Real());
    got = Deliver();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], "event=63 id=" + std::to_string(q) + " result= status=0 value=0");
    EXPECT_EQ(got[1], "event=63 id=" + std::to_string(i) + " result=17 status=1 value=17");
    EXPECT_EQ(got[2], "event=63 id=" + std::to_string(c) + " result= status=0 value=0");

    // A message without text (how the tree interpreter holds an empty text) is shown as the
    // empty text it is.
    const int64_t empty = int64_t(Num("show_message_async", {NoText()}));
    EXPECT_EQ(Deliver(), std::vector<std::string>{"event=63 id=" + std::to_string(empty) + " status=1"});
}

TEST_F(DialogsTest, LoginKeepsUserNameAndPasswordApartAndWhole)
{
    const std::string user(1000, 'u'), password(1000, 'p');
    Script("login =" + user + " =" + password + " OK\nlogin Cancel\n");
    const int64_t ok = int64_t(Call("get_login_async", {Val("me"), Val("secret")}).Real());
    const int64_t cancelled = int64_t(Call("get_login_async", {Val("me"), Val("secret")}).Real());
    std::vector<std::string> got = Deliver();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], "event=63 id=" + std::to_string(ok) + " password=" + password + " status=1 username=" + user);
    EXPECT_EQ(got[1], "event=63 id=" + std::to_string(cancelled) + " password= status=0 username=");
    // Anything but two texts: no request, the result untouched.
    EXPECT_DOUBLE_EQ(Call("get_login_async", {Val("me"), Val(1.0)}).Real(), 0.0);
    EXPECT_EQ(HTTP_RequestList(), nullptr);
}

namespace {
// A host that shows modeless dialogs and never answers them.
// Keeps the names and texts of what it shows.
class SilentHost : public IDialogHost {
public:
    int32_t RunModal(IModalDialog& d) override
    {
        ++modal;
        texts.push_back(d.DisplayText());
        return d.DefaultResult();
    }
    void SetClipboardText(const char*) override {}
    void ShowModeless(IModalDialog* d) override
    {
        shown.push_back(d->Name());
        texts.push_back(d->DisplayText());
    }
    void CloseModeless(IModalDialog*) override { ++closed; }
    std::vector<std::string> shown, texts;
    int closed = 0, modal = 0;
};
} // namespace

TEST_F(DialogsTest, UndeliveredRequestsAreWithdrawnAndFreed)
{
    SilentHost silent;
    DialogHost_Set(&silent);
    Dialog_MessageAsync("Game", "one");
    Dialog_QuestionAsync("Game", "two");
    EXPECT_EQ(silent.shown, std::vector<std::string>{"message"}); // the second waits
    HTTP_Shutdown();                                             // the game ends unanswered
    EXPECT_EQ(silent.closed, 1);
    EXPECT_EQ(Dialog_QueueLength(), 0);
    EXPECT_EQ(HTTP_RequestList(), nullptr);
    DialogHost_Set(nullptr);
}

TEST_F(DialogsTest, OnlyTheModalMessageBreaksItsLinesAtHashes)
{
    SilentHost silent;
    DialogHost_Set(&silent);
    CaptureBoxes boxes;
    Call("show_message", {Val("left#right")});
    Call("show_message_async", {Val("left#right")});
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0].find('#'), std::string::npos) << "the modal message breaks its line";
    EXPECT_EQ(silent.texts, std::vector<std::string>{"left#right"});
    HTTP_Shutdown();
    DialogHost_Set(nullptr);
}

TEST_F(DialogsTest, InteractionGroupRegistersItsRowsInOrder)
{
    // (name, arguments) in the group's registration order.
    static const std::pair<const char*, int32_t> kRows[] = {
        {"splash_set_caption", 1}, {"splash_set_fullscreen", 1}, {"splash_set_border", 1}, {"splash_set_size", 2},
        {"splash_set_adapt", 1}, {"splash_set_top", 1}, {"splash_set_color", 1}, {"splash_set_main", 1},
        {"splash_set_scale", 1}, {"splash_set_cursor", 1}, {"splash_set_interrupt", 1}, {"splash_set_stop_key", 1},
        {"splash_set_stop_mouse", 1}, {"splash_show_video", 2}, {"splash_show_image", 2}, {"splash_show_text", 2},
        {"show_image", 3}, {"show_video", 3}, {"show_text", 4}, {"show_message", 1}, {"show_question", 1},
        {"show_message_async", 1}, {"show_question_async", 1}, {"show_error", 2}, {"show_info", 0}, {"load_info", 1},
        {"highscore_show", 1}, {"highscore_set_background", 1}, {"highscore_set_border", 1}, {"highscore_set_font", 3},
        {"highscore_set_strings", 3}, {"highscore_set_colors", 3}, {"highscore_show_ext", 7}, {"highscore_clear", 0},
        {"highscore_add", 2}, {"highscore_add_current", 0}, {"highscore_value", 1}, {"highscore_name", 1},
        {"draw_highscore", 4}, {"show_message_ext", 4}, {"message_background", 1}, {"message_button", 1},
        {"message_alpha", 1}, {"message_text_font", 4}, {"message_button_font", 4}, {"message_input_font", 4},
        {"message_mouse_color", 1}, {"message_input_color", 1}, {"message_position", 2}, {"message_size", 2},
        {"message_caption", 2}, {"show_menu", 2}, {"show_menu_pos", 4}, {"get_integer", 2}, {"get_integer_async", 2},
        {"get_string", 2}, {"get_string_async", 2}, {"get_login_async", 2}, {"get_color", 1}, {"get_open_filename", 2},
        {"get_save_filename", 2}, {"get_open_filename_ext", 4}, {"get_save_filename_ext", 4}, {"get_directory", 1},
        {"get_directory_alt", 2}, {"keyboard_get_numlock", 0}, {"keyboard_set_numlock", 1}, {"keyboard_key_press", 1},
        {"keyboard_key_release", 1}, {"keyboard_set_map", 2}, {"keyboard_get_map", 1}, {"keyboard_unset_map", 0},
        {"keyboard_check", 1}, {"keyboard_check_pressed", 1}, {"keyboard_check_released", 1},
        {"keyboard_check_direct", 1}, {"mouse_check_button", 1}, {"mouse_check_button_pressed", 1},
        {"mouse_check_button_released", 1}, {"mouse_wheel_up", 0}, {"mouse_wheel_down", 0}, {"joystick_exists", 1},
        {"joystick_direction", 1}, {"joystick_name", 1}, {"joystick_axes", 1}, {"joystick_buttons", 1},
        {"joystick_has_pov", 1}, {"joystick_check_button", 2}, {"joystick_xpos", 1}, {"joystick_ypos", 1},
        {"joystick_zpos", 1}, {"joystick_rpos", 1}, {"joystick_upos", 1}, {"joystick_vpos", 1}, {"joystick_pov", 1},
        {"keyboard_clear", 1}, {"mouse_clear", 1}, {"io_clear", 0}, {"io_handle", 0},
        {"device_mouse_dbclick_enable", -1}, {"keyboard_wait", 0}, {"mouse_wait", 0},
    };
    static_assert(sizeof kRows / sizeof kRows[0] == 102, "the group's 102 rows");
    int32_t first = -1;
    ASSERT_TRUE(Code_Function_Find(kRows[0].first, &first));
    for (int32_t i = 0; i < 102; ++i) {
        SCOPED_TRACE(kRows[i].first);
        ASSERT_STREQ(Function_GetName(first + i), kRows[i].first);
        EXPECT_EQ(Function_GetArgCount(first + i), kRows[i].second);
    }
    // The usage dump names every row that was called.
    CaptureConsole console;
    for (int32_t i = 0; i < 102; ++i) Function_Row(first + i)->calls = 1;
    Function_DumpUsage();
    for (const auto& row : kRows) EXPECT_TRUE(console.Has(std::string(row.first) + "    1\n")) << row.first;
}

TEST_F(DialogsTest, NumbersAreShownWholeOrWithTwoDecimalsAtAnySize)
{
    EXPECT_EQ(Dialog_FormatNumber(7.0), "7");
    EXPECT_EQ(Dialog_FormatNumber(-2147483648.0), "-2147483648");
    EXPECT_EQ(Dialog_FormatNumber(2147483648.0), "2147483648.00");
    EXPECT_EQ(Dialog_FormatNumber(3.14159), "3.14");
    const std::string big = Dialog_FormatNumber(1e300);
    EXPECT_EQ(big.size(), 304u); // 301 digits, the point and two decimals
    EXPECT_EQ(big.substr(0, 4), "1000");
}

// ---- High scores --------------------------------------------------------------------------
namespace {
std::vector<std::pair<std::string, int32_t>> Table()
{
    std::vector<std::pair<std::string, int32_t>> t;
    for (int32_t p = 1; p <= kScoreEntries; ++p) {
        const char* name;
        int32_t score;
        Score_Get(p, &name, &score);
        t.emplace_back(name ? name : "(none)", score);
    }
    return t;
}
} // namespace

TEST_F(DialogsTest, HighScoresInsertBelowEqualScoresAndKeepTen)
{
    Score_Display() = ScoreDisplay();
    Score_Clear();
    EXPECT_FALSE(Score_Table().changed);
    for (int32_t s = 10; s >= 1; --s) Score_Add(("p" + std::to_string(s)).c_str(), s * 10);
    Score_Add("late", 10); // equal to the tenth: nothing changes
    EXPECT_EQ(Table().back(), std::make_pair(std::string("p1"), 10));
    Score_Add("tie", 50); // below the existing 50
    EXPECT_EQ(Table()[5], std::make_pair(std::string("p5"), 50));
    EXPECT_EQ(Table()[6], std::make_pair(std::string("tie"), 50));
    EXPECT_EQ(Score_Table().lastAdded, 6);
    EXPECT_EQ(Table().back(), std::make_pair(std::string("p2"), 20)); // p1 dropped out
    Score_Add(std::string(300, 'n').c_str(), 1000);                   // cut to the table's limit
    EXPECT_EQ(Table()[0].first.size(), size_t(kScoreNameLimit));
    const char* name;
    int32_t score;
    EXPECT_FALSE(Score_Get(0, &name, &score));
    EXPECT_FALSE(Score_Get(11, &name, &score));
    // Rows of a table taller than the 32-bit range are placed without overflow.
    Score_Draw(0, 0, 100, 1e300);
    Score_Draw(0, -1e300, 100, 1e300);
}

TEST_F(DialogsTest, HighScoreFileRoundTripsAndDamagedFilesAreRefused)
{
    Score_Display() = ScoreDisplay();
    Score_Clear();
    std::vector<uint8_t> cleared = Score_Serialise(Score_Table());
    ASSERT_EQ(cleared.size(), 168u);
    const uint8_t head[] = {'H', 'I', 'S', 'C', 168, 0, 0, 0, 8, 0, 0, 0, '<', 'n', 'o', 'b', 'o', 'd', 'y', '>', 0, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(cleared.begin(), cleared.begin() + 24), std::vector<uint8_t>(std::begin(head), std::end(head)));

    // An entry without a name keeps its score; names and scores come back as written.
    Score_Add("ann", 70);
    Score_Add(nullptr, 5);
    ScoreTable written = Score_Table();
    std::vector<uint8_t> bytes = Score_Serialise(written);
    Score_Clear();
    ScoreTable& t = Score_Table();
    ASSERT_TRUE(Score_Parse(bytes.data(), int32_t(bytes.size()), &t));
    const auto loaded = Table();
    EXPECT_EQ(loaded[0], std::make_pair(std::string("ann"), 70));
    EXPECT_NE(std::find(loaded.begin(), loaded.end(), std::make_pair(std::string("(none)"), 5)), loaded.end());

    const auto before = Table();
    auto refused = [&](std::vector<uint8_t> b) {
        EXPECT_FALSE(Score_Parse(b.data(), int32_t(b.size()), &t));
        EXPECT_EQ(Table(), before);
    };
    std::vector<uint8_t> b = bytes;
    b[4] = uint8_t(bytes.size() + 1); // end offset past the file
    refused(b);
    refused(std::vector<uint8_t>(bytes.begin(), bytes.end() - 1)); // cut short
    b = bytes;
    b[8] = 0x2D; // the first name 301 bytes long
    b[9] = 0x01;
    refused(b);
    b = bytes;
    b[4] = 20; // the end offset leaves the entries out
    refused(b);
    b[4] = 1; // or ends inside the header
    refused(b);
    refused({'H', 'I', 'S', 'X', 8, 0, 0, 0});
}

TEST_F(DialogsTest, HighScoreFileIsKeptInTheSaveArea)
{
    LoadSave_SetFolders((dir / "prog").c_str(), (dir / "save").c_str(), (dir / "prog").c_str());
    Score_Display() = ScoreDisplay();
    Score_Clear();
    Call("highscore_add", {Val("bob"), Val(42.4)});
    Score_SaveIfChanged();
    EXPECT_FALSE(Score_Table().changed);
    EXPECT_EQ(Scratch_ReadFile(dir / "save/hiscore.dat").size(), 168u + 3u - 8u);
    Call("highscore_clear");
    EXPECT_TRUE(Score_Table().changed); // the game's clear is kept too
    Score_Load();                       // back to bob
    EXPECT_EQ(Table()[0], std::make_pair(std::string("bob"), 42));
    EXPECT_EQ(Str("highscore_name", {Val(2.0)}), "<nobody>");
    LoadSave_SetFolders(nullptr, nullptr, nullptr);
}

// ---- Splash screens, file dialogs, message boxes --------------------------------------------
TEST_F(DialogsTest, SplashScreensShowNothingYetKeepTheirSettings)
{
    // Whatever the file (missing, a picture of the game, not a picture at all), a splash or
    // show call shows nothing, reports nothing and leaves the settings its arguments set.
    LoadSave_SetFolders(ZB_SOURCE_DIR "/examples/demo", (dir / "save").c_str(), ZB_SOURCE_DIR "/examples/demo");
    SilentHost silent;
    DialogHost_Set(&silent);
    ClearLog();
    for (const char* file : {"missing.png", "wall.png", "missing.avi", "missing.txt"}) {
        Call("splash_show_image", {Val(file), Val(1500.0)});
        Call("splash_show_video", {Val(file), Val(0.0)});
        Call("splash_show_text", {Val(file), Val(0.0)});
    }
    Call("show_image", {Val("missing.png"), Val(1.0), Val(0.0)});
    EXPECT_TRUE(Splash_Settings().fullscreen);
    EXPECT_FALSE(Splash_Settings().main);
    Call("show_video", {Val("missing.avi"), Val(0.0), Val(0.0)});
    Call("show_text", {Val("missing.txt"), Val(0.0), Val(255.0), Val(0.0)});
    EXPECT_FALSE(Splash_Settings().fullscreen);
    EXPECT_TRUE(Splash_Settings().main);
    EXPECT_EQ(Splash_Settings().colour, 255);
    EXPECT_EQ(Errors(), 0) << Log();
    EXPECT_EQ(silent.modal, 0);
    EXPECT_TRUE(silent.shown.empty());
    DialogHost_Set(nullptr);
    LoadSave_SetFolders(nullptr, nullptr, nullptr);
}

TEST_F(DialogsTest, FileDialogsFilterBrowseAndAllowWhatWasChosen)
{
    Scratch_WriteFile(dir / "files/a.txt", "a");
    Scratch_WriteFile(dir / "files/B.TXT", "b");
    Scratch_WriteFile(dir / "files/c.ini", "c");
    Scratch_WriteFile(dir / "files/sub/d.txt", "d");
    FileDialog d(false, "Texts|*.txt|Settings|*.ini;*.cfg|All|*.*", "", (dir / "files").c_str(), "");
    std::vector<std::string> seen;
    for (int32_t i = 0; i < d.EntryCount(); ++i) seen.push_back(d.Entry(i).name);
    EXPECT_EQ(seen, (std::vector<std::string>{"sub", "a.txt", "B.TXT"})); // folders first, case ignored
    d.SetFilter(1);
    ASSERT_EQ(d.EntryCount(), 2);
    EXPECT_STREQ(d.Entry(1).name, "c.ini");
    d.Choose(0); // into sub/
    EXPECT_EQ(std::string(d.Folder()), dir / "files/sub/");
    d.Up();
    EXPECT_EQ(FileDialog::ParseFilter("").size(), 1u);
    EXPECT_EQ(FileDialog::ParseFilter("Only a name")[0].second, "*.*");

    // The open dialog takes only a file that exists; the path joins the reading list.
    // (The current folder is elsewhere: names under it would be mapped into the game's folders.)
    Script("open =nothing.txt OK\nopen =" + (dir / "files/a.txt") + " OK\nsave =" + (dir / "files/new.sav") + " OK\n");
    Scratch_WriteFile(dir / "cwd/.keep", "");
    ScopedCurrentFolder here(dir / "cwd");
    Val r = Call("get_open_filename", {Val("Texts|*.txt"), Val("")});
    EXPECT_FALSE(r.HasText()); // the script ran out on the missing file: cancelled
    r = Call("get_open_filename", {Val("Texts|*.txt"), Val("")});
    ASSERT_TRUE(r.HasText());
    EXPECT_EQ(r.Text(), dir / "files/a.txt");
    LoadSave_SetFolders((dir / "prog").c_str(), (dir / "save").c_str(), (dir / "prog").c_str());
    EXPECT_EQ(LoadSave_BundlePathOf(r.Text().c_str()), r.Text());
    r = Call("get_save_filename_ext", {Val("Saves|*.sav"), Val("x.sav"), Val(dir.Path()), Val("Save it")});
    ASSERT_TRUE(r.HasText());
    EXPECT_EQ(LoadSave_SavePathOf(r.Text().c_str()), dir / "files/new.sav");
    // Not all texts: no dialog, no text.
    EXPECT_FALSE(Call("get_open_filename", {Val("*.*"), Val(1.0)}).HasText());
    LoadSave_ClearAllowedFiles();
    LoadSave_SetFolders(nullptr, nullptr, nullptr);
}

TEST_F(DialogsTest, MessageBoxDialogHasTheButtonsOfItsFlags)
{
    MessageBoxDialog yesNo("Switch?", "", MB_YESNO_ | MB_ICONINFORMATION_ | MB_DEFBUTTON2_);
    EXPECT_EQ(yesNo.DefaultResult(), IDNO_);
    EXPECT_EQ(yesNo.CancelId(), -1); // no Cancel: Escape does nothing
    EXPECT_EQ(yesNo.ButtonId("Yes"), IDYES_);
    yesNo.Init();
    yesNo.Command(IDYES_);
    int32_t result = 0;
    ASSERT_TRUE(yesNo.Ended(&result));
    EXPECT_EQ(result, IDYES_);
    MessageBoxDialog ok("Out of Memory!", "Fatal Memory Error", MB_OK_);
    EXPECT_EQ(ok.CancelId(), IDOK_);
    MessageBoxDialog three("x", "", MB_YESNOCANCEL_);
    EXPECT_EQ(three.CancelId(), IDCANCEL_);
    EXPECT_EQ(three.Template().count, 4); // the text and three buttons
}
