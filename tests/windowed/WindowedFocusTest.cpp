// Keys go only where the player meant, played for real as a property: two games and a window
// of the test's own (the player's terminal) on one X server, no window manager. Over a random
// sequence of the player's moves (giving a window the focus as a window manager would, typing,
// answering the dialog that holds the game's keyboard) and the games' (showing a modal string
// or message dialog, or an asynchronous string dialog, whatever has the focus then), every key
// typed reaches the window that had the focus and nothing else: the outside window records
// exactly what was typed into it, each dialog answers exactly what was typed into it while it
// held its game's keyboard, and each game gets the rest of what was typed into it. One game is
// 200x150 (its dialogs come in windows of their own), the other 640x480 (dialogs in the game
// window). The model is the rule: the runner that owns the focused window takes the key; in it,
// the modal dialog, else the asynchronous one, else the game.
//
// ZB_PROPERTY_SEED sets the first sequence's seed (each failure names its own), ZB_FOCUS_PLAYS the
// sequences played (each on a server of its own, ZB_FOCUS_JOBS at once).
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <random>

#include "e2e/E2EGames.h"
#include "support/PropertySeed.h"
#include "support/ScratchFolder.h"
#include "windowed/WindowedTest.h"

namespace {

constexpr int kSteps = 24;                                        // moves of one sequence
const int kWait = int(10 * e2e::kSanitizerSlower);                // seconds for each thing awaited

// One game as the model has it.
struct Game {
    std::string name;             // "small", "large"
    std::unique_ptr<WindowedRunner> run;
    std::string area;             // its save area, where the commands go
    std::string modal;            // the modal dialog up: "", "string", "message"
    bool async = false;           // an asynchronous dialog is up
    std::string modalText, asyncText, gameText;
    std::vector<std::string> answers;
    int shown = 0;

    // Who takes a key typed to this game.
    std::string* Holder() { return !modal.empty() ? &modalText : async ? &asyncText : &gameText; }
    // Return answers the dialog that holds the keyboard: the answer its log will show.
    void Answer()
    {
        if (!modal.empty()) {
            answers.push_back("modal [" + (modal == "string" ? modalText : std::string("ok")) + "]");
            modal.clear();
        } else {
            answers.push_back("async [" + asyncText + "]");
            async = false;
        }
    }
};

// Waits until the game's log satisfies done; false after kWait seconds.
template <class Done>
bool WaitFor(Game& g, Done done)
{
    return Windowed_WaitUntil([&] { return done(Windowed_EchoSaid(g.run->Log())); }, kWait);
}

// Plays one sequence; "" when every key went where the model says.
std::string Play(uint32_t seed, const std::string& folder)
{
    std::mt19937 random(seed);
    auto pick = [&](int n) { return int(random() % uint32_t(n)); };
    XSession x;
    if (!x.Ok()) return "no X server: " + x.Why();
    OutsideWindow outside(x);
    if (outside.Id().empty()) return "no outside window";
    std::string outsideText;
    Game games[2];
    const int sizes[2][2] = {{200, 150}, {640, 480}};
    for (int i = 0; i < 2; ++i) {
        Game& g = games[i];
        g.name = i == 0 ? "small" : "large";
        const std::string dir = folder + "/" + g.name;
        std::filesystem::create_directories(dir);
        Scratch_WriteFile(dir + "/manifest.json", Windowed_EchoGame(sizes[i][0], sizes[i][1]));
        std::string said;
        if (!e2e::Pack(dir + "/manifest.json", dir + "/game.win", "", &said)) return "not packed: " + said;
        g.run = std::make_unique<WindowedRunner>(x, dir + "/game.win", dir);
        g.area = dir + "/xdg/EchoGame/";
        if (g.run->Window().empty()) return "no window: " + g.run->NoWindow();
        if (!WaitFor(g, [](const EchoSaid& s) { return s.step > 2; })) return g.name + " never stepped";
    }
    std::string trace; // the moves so far, for a failure's message
    auto fail = [&](const std::string& what) {
        std::string said;
        for (Game& g : games) {
            said += "\n--- " + g.name + " said:";
            for (const std::string& line : e2e::GameLines(g.run->Log()))
                if (line.rfind("step ", 0) != 0) said += " " + line + ";";
        }
        return "seed " + std::to_string(seed) + ": " + what + "\nmoves: " + trace + said;
    };
    int focused = -1; // the game that owns the focused window; -1: the outside window
    x.Focus(outside.Id());

    // Every answer given so far is in the game's log, as the model has them.
    auto answered = [&](Game& g) {
        if (!WaitFor(g, [&](const EchoSaid& s) { return s.answers.size() >= g.answers.size(); })) return false;
        return Windowed_EchoSaid(g.run->Log()).answers == g.answers;
    };
    auto typeInto = [&](const std::string& keys, bool letters) {
        x.Run(std::string("xdotool ") + (letters ? "type --delay 20 " : "key ") + keys);
    };
    for (int step = 0; step < kSteps; ++step) {
        Game* at = focused >= 0 ? &games[focused] : nullptr;
        const bool canAnswer = at && (!at->modal.empty() || at->async);
        const int move = pick(canAnswer ? 4 : 3);
        if (move == 0) { // the player gives a window the focus
            const int to = pick(3) - 1;
            if (to < 0) {
                x.Focus(outside.Id());
                trace += "focus outside; ";
            } else {
                const std::vector<std::string> windows = games[to].run->Windows();
                if (windows.empty()) return fail(games[to].name + " has no window");
                const size_t w = size_t(pick(int(windows.size())));
                x.Focus(windows[w]);
                trace += "focus " + games[to].name + (w ? " dialog window; " : "; ");
            }
            focused = to;
        } else if (move == 1) { // the player types
            std::string text;
            for (int n = 1 + pick(3); n > 0; --n) text += char('a' + pick(26));
            typeInto(text, true);
            trace += "type " + text + "; ";
            if (!at) {
                outsideText += text;
                if (!outside.WaitForTyped(outsideText, kWait))
                    return fail("the outside window got [" + outside.Typed() + "], not [" + outsideText + "]");
            } else if (at->modal == "message") {
                // a message box has no field: its keys are its own
            } else {
                *at->Holder() += text;
                if (at->modal.empty() && at->async) { // taken in the game's frames: two of them pass
                    const long now = Windowed_EchoSaid(at->run->Log()).step;
                    if (!WaitFor(*at, [&](const EchoSaid& s) { return s.step >= now + 2; })) return fail(at->name + " stopped");
                } else if (at->modal.empty()) {
                    if (!WaitFor(*at, [&](const EchoSaid& s) { return s.game == at->gameText; }))
                        return fail(at->name + " got [" + Windowed_EchoSaid(at->run->Log()).game + "], not [" + at->gameText + "]");
                }
            }
        } else if (move == 2) { // a game shows a dialog
            Game& g = games[pick(2)];
            if (!g.modal.empty()) continue; // it waits for its answer: no step runs
            static const char* const kKinds[] = {"string", "message", "async"};
            const std::string kind = kKinds[pick(g.async ? 2 : 3)];
            Scratch_WriteFile(g.area + kind, "");
            ++g.shown;
            if (!WaitFor(g, [&](const EchoSaid& s) { return s.shown >= g.shown; })) return fail(g.name + " did not show " + kind);
            if (kind == "async") {
                g.async = true;
                g.asyncText.clear();
            } else {
                g.modal = kind;
                g.modalText.clear();
            }
            trace += g.name + " shows " + kind + "; ";
        } else { // the player answers the dialog that holds the keyboard of the focused game
            typeInto("Return", false);
            trace += "Return; ";
            at->Answer();
            if (!answered(*at)) return fail(at->name + " answered otherwise");
        }
    }
    // Every dialog left is answered in its game, then the games end.
    for (Game& g : games) {
        while (!g.modal.empty() || g.async) {
            x.Focus(g.run->Window());
            typeInto("Return", false);
            trace += "focus " + g.name + "; Return; ";
            g.Answer();
            if (!answered(g)) return fail(g.name + " answered otherwise");
        }
        Scratch_WriteFile(g.area + "end", "");
        if (g.run->Wait() != 0) return fail(g.name + " did not end");
        const EchoSaid said = Windowed_EchoSaid(g.run->Log());
        if (said.game != g.gameText) return fail(g.name + " got [" + said.game + "], not [" + g.gameText + "]");
        if (said.answers != g.answers) return fail(g.name + " answered otherwise");
    }
    if (outside.Typed() != outsideText) return fail("the outside window got [" + outside.Typed() + "], not [" + outsideText + "]");
    return "";
}

} // namespace

TEST(WindowedFocus, KeysReachTheFocusedWindowAndNothingElseWhateverTheGamesShow)
{
    {
        XSession probe;
        if (!probe.Ok()) GTEST_SKIP() << probe.Why();
    }
    const uint32_t seed = Property_Seed(5800);
    const size_t plays = size_t(Windowed_EnvNumber("ZB_FOCUS_PLAYS", 8));
    ScratchFolder dir;
    const std::vector<std::string> results =
        Windowed_PlayAll(plays, int(Windowed_EnvNumber("ZB_FOCUS_JOBS", 3)), [&](size_t i) {
            const std::string folder = dir / ("play" + std::to_string(i));
            std::filesystem::create_directories(folder);
            return Play(seed + uint32_t(i), folder);
        });
    size_t right = 0;
    for (const std::string& r : results) right += r.empty();
    std::printf("%zu of %zu sequences right (seeds %u..%u, runner %s)\n", right, plays, seed, seed + uint32_t(plays) - 1,
                WindowedRunner::RunnerPath());
    for (const std::string& r : results) EXPECT_EQ(r, "");
}
