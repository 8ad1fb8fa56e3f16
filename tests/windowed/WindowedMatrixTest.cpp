// The dialogs' neighbourhood played for real: every kind of dialog (message, question, string,
// integer, error, login) x where it is shown (the game window, a window of its own) x what is
// up beside it (nothing, an asynchronous dialog in the game window, one in a window of its
// own, the debug form holding the keyboard) x how the keys come (slowly, 5 ms apart, typed
// while the runner is stopped) x where the input focus is when the dialog comes (the runner
// holds it; another game does; a window of the test's own does, a terminal the player types
// into), each value of each column meeting each value of every other at least once. Each row is
// a game made for it, played on an X server of its own, several at once: the answer is the one
// typed, the game steps on after it, the dialog beside gets the keyboard back (its answer typed
// right after the row's), and nothing typed reaches the game. Where another window has the
// focus when the dialog comes, what the player types there reaches that window alone; then
// the player comes to the game (gives its window the focus, as a window manager would) and
// answers.
//
// The rows' results are printed as a table. ZB_WINDOWED_RUNNER names another runner to play
// (another build's, to compare); ZB_MATRIX_JOBS the rows played at once (default 4).
//
// A login dialog is asynchronous: beside another asynchronous dialog it waits in the queue, so
// that one is answered first and the login comes after it, in the same place kind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "e2e/E2EGames.h"
#include "support/ScratchFolder.h"
#include "windowed/WindowedTest.h"

namespace {

enum Kind { kMessage, kQuestion, kString, kInteger, kError, kLogin, kKinds };
enum Beside { kNothing, kModelessInGame, kModelessOwn, kForm, kBesides };
enum Keying { kSlowly, kQuickly, kStopped, kKeyings };
enum Where { kInGame, kOwn };
enum Focus { kRunnerHolds, kOtherGame, kOutside, kFocuses };

const char* const kKindNames[] = {"message", "question", "string", "integer", "error", "login"};
const char* const kBesideNames[] = {"nothing", "modeless in game", "modeless own", "debug form"};
const char* const kKeyingNames[] = {"slowly", "5 ms apart", "runner stopped"};
const char* const kWhereNames[] = {"game window", "own window"};
const char* const kFocusNames[] = {"the runner", "another game", "an outside window"};

struct Row {
    Kind kind;
    Where where;
    Beside beside;
    Keying keys;
    Focus focus;
};

// Every kind beside every neighbour once; where and how the keys come run along so that each
// pair of columns meets in every combination (a login beside a dialog in the game window is
// itself in the game window: both are asynchronous, and the place is the game's size).
std::vector<Row> Rows()
{
    std::vector<Row> rows;
    for (int k = 0; k < kKinds; ++k)
        for (int b = 0; b < kBesides; ++b)
            rows.push_back(Row{Kind(k), Where((k + b) % 2), Beside(b), Keying((k + b) % 3), Focus((k + 2 * b) % 3)});
    return rows;
}

// The game window's size: 640x480 holds every dialog, 200x150 none; at 320x240 the login
// dialog is held (the asynchronous one in the game window beside a dialog of its own), the
// others are not. An asynchronous dialog in a window of its own beside a dialog in the game
// window: asked at 320x240, then the window is made 640x480.
struct Sizes {
    int width, height;
    bool grow;
};
Sizes SizesOf(const Row& r)
{
    if (r.where == kInGame) return r.beside == kModelessOwn ? Sizes{320, 240, true} : Sizes{640, 480, false};
    return r.beside == kModelessInGame ? Sizes{320, 240, false} : Sizes{200, 150, false};
}

const char* const kLongLine = "This message line is fifty characters long, truly.";

std::string Manifest(const Row& r)
{
    const Sizes s = SizesOf(r);
    std::string beside;
    if (r.beside == kModelessInGame && r.where == kOwn) beside = "beside = get_login_async('bu', 'bp');";
    else if (r.beside == kModelessInGame || r.beside == kModelessOwn) beside = "beside = get_string_async('Beside?', 'bdef');";
    if (!beside.empty()) beside += " show_debug_message('beside up');";
    std::string ask;
    switch (r.kind) {
    case kMessage: ask = "show_debug_message('asking'); show_message('" + std::string(kLongLine) + "'); Answered('ok');"; break;
    case kQuestion: ask = "show_debug_message('asking'); Answered(string(show_question('Sure?')));"; break;
    case kString: ask = "show_debug_message('asking'); Answered(get_string('Name?', 'def'));"; break;
    case kInteger: ask = "show_debug_message('asking'); Answered(string(get_integer('Number?', 5)));"; break;
    case kError: ask = "show_debug_message('asking'); ds_list_add(12345, 1); Answered('went on');"; break;
    case kLogin: ask = "login = get_login_async('', ''); show_debug_message('asking');"; break;
    default: break;
    }
    // Answered(text) stands for: log the answer, note the step.
    auto expand = [](std::string code) {
        for (size_t at; (at = code.find("Answered(")) != std::string::npos;) {
            const size_t open = at + 9;
            int depth = 1;
            size_t close = open;
            while (depth > 0) {
                if (code[close] == '(') ++depth;
                if (code[close] == ')') --depth;
                ++close;
            }
            const std::string arg = code.substr(open, close - 1 - open);
            code.replace(at, close - at, "show_debug_message('answer ' + " + arg + "); answered = 1; at = n");
        }
        return code;
    };
    const bool waitsBeside = r.beside == kModelessInGame || r.beside == kModelessOwn;
    const std::string step =
        "n += 1; "
        "if (n == 2) { " + beside + " } " +
        (s.grow ? "if (n == 4) window_set_size(640, 480); " : "") +
        "if (phase == 0 && n >= 8" + (s.grow ? " && window_get_width() == 640" : "") +
        ") { phase = 1; show_debug_message('ready'); } "
        "if (phase == 1 && mouse_wheel_up()) { phase = 2; " + expand(ask) + " } "
        "if (answered && n == at + 5) show_debug_message('after'); "
        "if (phase == 2 && answered && besideDone && n >= at + 15) { phase = 3; show_debug_message('typed [' + keyboard_string + ']'); game_end(); }";
    const std::string besideAnswer = r.beside == kModelessInGame && r.where == kOwn ? "username" : "result";
    const std::string async =
        "if (ds_map_find_value(async_load, 'id') == beside) { besideDone = 1; show_debug_message('beside [' + "
        "ds_map_find_value(async_load, '" + besideAnswer + "') + ']'); } else if (ds_map_find_value(async_load, 'id') == login) { "
        "show_debug_message('answer ' + ds_map_find_value(async_load, 'username') + '/' + "
        "ds_map_find_value(async_load, 'password')); answered = 1; at = n; }";
    std::string json = R"({"name": "MatrixGame", "window": {"width": )" + std::to_string(s.width) + R"(, "height": )" +
                       std::to_string(s.height) + R"(, "caption": "Matrix"}, "objects": [{"name": "obj_ctl", "events": [)";
    json += R"({"type": "create", "code": "n = 0; phase = 0; answered = 0; at = 0; beside = -10; login = -10; besideDone = )" +
            std::string(waitsBeside ? "0" : "1") + R"(;"},)";
    json += R"({"type": "step", "code": ")" + step + R"("},)";
    json += R"({"type": "other", "number": 63, "code": ")" + async + R"("},)";
    json += R"({"type": "draw", "code": "draw_set_color(c_blue); draw_rectangle(10, 10, 100, 60, false);"}]}],)";
    json += R"("rooms": [{"name": "rm", "width": )" + std::to_string(s.width) + R"(, "height": )" + std::to_string(s.height) +
            R"(, "speed": 30, "instances": [{"object": "obj_ctl"}]}]})";
    return json;
}

const char* AnswerKeys(Kind k)
{
    switch (k) {
    case kMessage: return "space"; // pressing OK: its text is the dialog's
    case kQuestion: return "Tab Return"; // No
    case kString: return "x y z Return";
    case kInteger: return "4 2 Return";
    case kError: return "Left Return"; // from Copy to Ignore
    case kLogin: return "u Tab p Return";
    default: return "";
    }
}

const char* Answer(Kind k)
{
    switch (k) {
    case kMessage: return "answer ok";
    case kQuestion: return "answer 0";
    case kString: return "answer xyz";
    case kInteger: return "answer 42";
    case kError: return "answer went on";
    case kLogin: return "answer u/p";
    default: return "";
    }
}

const char* Caption(Kind k) { return k == kError ? "Code Error..." : k == kLogin ? "Login" : "Matrix"; }

// Plays one row; "" when everything came right, else what did not.
std::string Play(const Row& r, const std::string& folder)
{
    constexpr int kWait = 30; // seconds for each thing awaited
    XSession x(2048, 1536);   // room for the debug form beside a 640x480 game
    if (!x.Ok()) return "no X server: " + x.Why();
    // The window that has the focus when the dialog comes, when it is not the runner's: another
    // game (started first: a game's window takes the focus when it comes) or the test's own.
    std::unique_ptr<WindowedRunner> other;
    std::unique_ptr<OutsideWindow> outside;
    std::string elsewhere;
    if (r.focus == kOtherGame) {
        const std::string dir = folder + "/other";
        std::filesystem::create_directories(dir);
        Scratch_WriteFile(dir + "/manifest.json", Windowed_EchoGame(320, 240));
        std::string said;
        if (!e2e::Pack(dir + "/manifest.json", dir + "/game.win", "", &said)) return "not packed: " + said;
        other = std::make_unique<WindowedRunner>(x, dir + "/game.win", dir);
        elsewhere = other->Window();
        if (elsewhere.empty() || !other->WaitForLog("step 2", kWait)) return "the other game did not start";
        other->Move("", 1600, 1200); // clear of the game (a window manager raises the window it focuses)
    } else if (r.focus == kOutside) {
        outside = std::make_unique<OutsideWindow>(x);
        elsewhere = outside->Id();
        if (elsewhere.empty()) return "no outside window";
        x.Run("xdotool windowmove --sync " + elsewhere + " 0 0");
    }
    const std::string game = folder + "/game.win", manifest = folder + "/manifest.json";
    Scratch_WriteFile(manifest, Manifest(r));
    std::string said;
    if (!e2e::Pack(manifest, game, "", &said)) return "not packed: " + said;
    std::vector<std::string> extra;
    if (r.beside == kForm) extra.push_back("-debug");
    WindowedRunner run(x, game, folder, extra);
    const std::string window = run.Window();
    if (window.empty()) return "no window: " + run.NoWindow();
    auto fail = [&](const std::string& what) { return what + "\n--- log:\n" + run.Log(); };
    if (r.beside == kForm) {
        const std::string form = run.WindowNamed("Zimbrel Debugger");
        if (form.empty()) return fail("no debug form");
        run.ClickIn(form, 300, 300); // the form holds the keyboard
        if (!run.WaitForFocus(form)) return fail("the form never had the keyboard");
    }
    const bool asyncBeside = r.beside == kModelessInGame || r.beside == kModelessOwn;
    std::string besideWindow;
    if (asyncBeside) {
        if (!run.WaitForLog("beside up", kWait)) return fail("no dialog beside");
        if (r.beside == kModelessOwn) {
            besideWindow = run.WindowNamed("Matrix");
            if (besideWindow.empty()) return fail("the dialog beside has no window of its own");
        }
    }
    if (!run.WaitForLog("ready", kWait)) return fail("never ready");
    if (!elsewhere.empty()) x.Focus(elsewhere);
    x.Run("xdotool mousemove --window " + window + " 5 5 click 4"); // the wheel asks
    if (!run.WaitForLog("asking", kWait)) return fail("not asked");
    if (!elsewhere.empty()) {
        // The dialog is up (its own window shown); what is typed goes where the focus is.
        if (r.where == kOwn && !(r.kind == kLogin && asyncBeside) && run.WindowNamed(Caption(r.kind), {besideWindow}).empty())
            return fail("no window of its own");
        x.Run("xdotool type --delay 20 qw");
        const bool there = other ? Windowed_WaitUntil([&] { return Windowed_EchoSaid(other->Log()).game == "qw"; }, kWait)
                                 : outside->WaitForTyped("qw", kWait);
        if (!there) return fail("the keys typed elsewhere did not reach " + std::string(kFocusNames[r.focus]));
        x.Focus(window); // the player comes to the game
    }
    std::string keys = AnswerKeys(r.kind);
    if (r.kind == kLogin && asyncBeside) { // the login waits behind the dialog beside
        run.Keys("b Return");
        if (!run.WaitForLog("beside [b]", kWait)) return fail("the dialog beside not answered before the login");
        // Its window closed as the login came: the player types once the login holds the keyboard.
        const std::string login = r.where == kOwn ? run.WindowNamed(Caption(r.kind), {besideWindow}) : window;
        if (login.empty() || !run.WaitForFocus(login)) return fail("the login never had the keyboard");
    } else if (asyncBeside) {
        keys += " b Return"; // back to the dialog beside
    } else if (r.beside == kForm) {
        keys += " z"; // back to the form: not the game's
    }
    if (r.where == kOwn && run.WindowNamed(Caption(r.kind), {besideWindow}).empty()) return fail("no window of its own");
    if (r.keys == kStopped) run.Stall(true);
    run.Keys(keys, r.keys == kSlowly ? 40 : 5);
    if (r.keys == kStopped) run.Stall(false);
    if (!run.WaitForLog(Answer(r.kind), kWait)) return fail(std::string("not answered \"") + Answer(r.kind) + "\"");
    if (!run.WaitForLog("after", kWait)) return fail("the game did not step on");
    if (asyncBeside && !run.WaitForLog("beside [b]", kWait)) return fail("the dialog beside did not get the keyboard back");
    if (!run.WaitForLog("typed []", kWait)) return fail("keys reached the game");
    const int code = run.Wait();
    if (code != 0) return fail("ended with " + std::to_string(code));
    return "";
}

} // namespace

TEST(WindowedMatrix, EveryDialogAnsweredWhereverItIsWhateverIsBesideItHoweverTheKeysCome)
{
    {
        XSession probe;
        if (!probe.Ok()) GTEST_SKIP() << probe.Why();
    }
    const std::vector<Row> rows = Rows();
    // Each pair of columns meets in all its combinations.
    std::set<std::string> pairs;
    for (const Row& r : rows) {
        const int v[5] = {r.kind, r.where, r.beside, r.keys, r.focus};
        for (int a = 0; a < 5; ++a)
            for (int b = a + 1; b < 5; ++b) pairs.insert(std::to_string(a) + std::to_string(v[a]) + std::to_string(b) + std::to_string(v[b]));
    }
    const int sizes[5] = {kKinds, 2, kBesides, kKeyings, kFocuses};
    size_t all = 0;
    for (int a = 0; a < 5; ++a)
        for (int b = a + 1; b < 5; ++b) all += size_t(sizes[a] * sizes[b]);
    ASSERT_EQ(pairs.size(), all);
    const char* jobsText = std::getenv("ZB_MATRIX_JOBS");
    const int jobs = std::max(1, jobsText && *jobsText ? std::atoi(jobsText) : 4);
    std::set<size_t> only; // ZB_MATRIX_ROWS=3,7: only those rows (the others count as right)
    if (const char* list = std::getenv("ZB_MATRIX_ROWS"))
        for (const char* p = list; *p;) {
            char* end = nullptr;
            only.insert(size_t(std::strtoul(p, &end, 10)));
            p = *end ? end + 1 : end;
        }
    ScratchFolder dir;
    const std::vector<std::string> results = Windowed_PlayAll(rows.size(), jobs, [&](size_t i) {
        const std::string folder = dir / ("row" + std::to_string(i));
        std::filesystem::create_directories(folder);
        return only.empty() || only.count(i) ? Play(rows[i], folder) : std::string();
    });

    std::string table = "| kind | where | beside | keys | focus | result |\n|---|---|---|---|---|---|\n";
    int right = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        const std::string& why = results[i];
        right += why.empty();
        table += std::string("| ") + kKindNames[r.kind] + " | " + kWhereNames[r.where] + " | " + kBesideNames[r.beside] +
                 " | " + kKeyingNames[r.keys] + " | " + kFocusNames[r.focus] + " | " +
                 (why.empty() ? "right" : why.substr(0, why.find('\n'))) + " |\n";
    }
    std::printf("%s%d of %zu rows right (runner %s)\n", table.c_str(), right, rows.size(), WindowedRunner::RunnerPath());
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(results[i], "") << "row " << i << ": " << kKindNames[rows[i].kind] << ", " << kWhereNames[rows[i].where]
                                  << ", " << kBesideNames[rows[i].beside] << ", " << kKeyingNames[rows[i].keys] << ", "
                                  << kFocusNames[rows[i].focus];
}
