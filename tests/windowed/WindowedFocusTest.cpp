// Keys go only where the player meant, played for real as a property: two games and windows of
// the test's own (the player's terminal, and another that comes and goes) on one X server,
// without a window manager and under one (openbox), as players' desktops have. Over a random
// sequence of the player's moves (giving a window the focus through the window manager or as
// one would, clicking on a window, on a dialog's field, text or blank area or beside it, typing,
// answering the dialog that holds the game's keyboard, a focus that nobody holds or that
// follows the pointer, a window closed, unmapped and mapped again or minimised) and the games'
// (showing a modal string or message dialog, or an asynchronous string dialog, whatever has the
// focus then), every key typed reaches the window the player last chose and nothing else: the
// test's windows record exactly what was typed into them, each dialog answers exactly what was
// typed into it while it held its game's keyboard, and each game gets the rest of what was
// typed into it. One game is 200x150 (its dialogs come in windows of their own), the other
// 640x480 (dialogs in the game window).
//
// The model is the rule. The player chooses a window by giving it the focus, or by clicking it:
// a window manager gives the focus to the window clicked; without one, the test's windows take
// it, and a runner takes it where it holds it already, nobody holds it or it follows the
// pointer (another program's focus stays where it is). Where the server or the window manager
// decides (a focus set to None or to the pointer, a window closed, unmapped or minimised), the
// model reads where the focus went. A focus that follows the pointer sends the keys to the
// window the pointer is in. In the game that owns that window: the modal dialog, else the
// asynchronous one while it has the game's keyboard (from when it comes until a click in the
// game outside it, and again after a click on it), else the game.
//
// ZB_PROPERTY_SEED sets the first sequence's seed (each failure names its own), ZB_FOCUS_PLAYS the
// sequences played in each column (each on a server of its own, ZB_FOCUS_JOBS at once).
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
constexpr int kOutside = -1, kNobody = -2, kOther = -3;           // whose keys, beside a game's index

// One game as the model has it.
struct Game {
    std::string name;             // "small", "large"
    std::unique_ptr<WindowedRunner> run;
    std::string area;             // its save area, where the commands go
    std::string modal;            // the modal dialog up: "", "string", "message"
    bool async = false;           // an asynchronous dialog is up
    bool asyncKeys = true;        // it has the game's keyboard (no modal over it)
    bool minimised = false;
    std::string modalText, asyncText, gameText;
    std::vector<std::string> answers;
    int shown = 0;

    bool DialogHolds() const { return !modal.empty() || (async && asyncKeys); }
    // Who takes a key typed to this game.
    std::string* Holder() { return !modal.empty() ? &modalText : async && asyncKeys ? &asyncText : &gameText; }
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
    // The window a string dialog is drawn in and where its text field starts (client pixels):
    // the small game's in a window of its own (the newest: a modal one over the asynchronous),
    // the large game's in the middle of the game window under a title bar. "" for none.
    std::string StringDialog(int* x, int* y)
    {
        if (modal == "message" || (modal.empty() && !async)) return "";
        const std::vector<std::string> windows = run->Windows();
        if (name == "large") {
            *x = (640 - 479) / 2;
            *y = (480 - 139) / 2 + 19;
            return windows.empty() ? "" : windows[0];
        }
        *x = *y = 0;
        std::string newest;
        for (size_t i = 1; i < windows.size(); ++i)
            if (newest.empty() || std::stoul(windows[i]) > std::stoul(newest)) newest = windows[i];
        return newest;
    }
};

// Waits until the game's log satisfies done; false after kWait seconds.
template <class Done>
bool WaitFor(Game& g, Done done)
{
    return Windowed_WaitUntil([&] { return done(Windowed_EchoSaid(g.run->Log())); }, kWait);
}

// Plays one sequence; "" when every key went where the model says.
std::string Play(uint32_t seed, const std::string& folder, bool managed)
{
    std::mt19937 random(seed);
    auto pick = [&](int n) { return int(random() % uint32_t(n)); };
    XSession x(managed ? XSession::kManaged : XSession::kBare);
    if (!x.Ok()) return "no X server: " + x.Why();
    OutsideWindow outside(x);
    if (outside.Id().empty()) return "no outside window";
    std::unique_ptr<OutsideWindow> other; // the window that comes and goes
    std::string outsideText, otherText;
    Game games[2];
    const int sizes[2][2] = {{200, 150}, {640, 480}};
    const int places[2][2] = {{800, 10}, {10, 250}}; // apart: a click lands on the window meant
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
        g.run->Move("", places[i][0], places[i][1]);
        if (!WaitFor(g, [](const EchoSaid& s) { return s.step > 2; })) return g.name + " never stepped";
    }
    std::string trace = managed ? "(openbox) " : "(no window manager) "; // the moves so far
    auto fail = [&](const std::string& what) {
        std::string said;
        for (Game& g : games) {
            said += "\n--- " + g.name + " said:";
            for (const std::string& line : e2e::GameLines(g.run->Log()))
                if (line.rfind("step ", 0) != 0) said += " " + line + ";";
        }
        return "seed " + std::to_string(seed) + ": " + what + "\nmoves: " + trace + said;
    };

    // Whose a window is (the window or one inside it), kNobody for the background and others'.
    auto ownerOf = [&](unsigned long w) {
        if (w <= 1) return kNobody; // None, PointerRoot
        if (x.Within(w, std::stoul(outside.Id()))) return kOutside;
        if (other && x.Within(w, std::stoul(other->Id()))) return kOther;
        for (int i = 0; i < 2; ++i)
            for (const std::string& id : games[i].run->Windows())
                if (x.Within(w, std::stoul(id))) return i;
        return kNobody;
    };
    int chosen = kOutside;  // whose window has the focus the player (or the server) gave
    bool pointer = false;   // the focus follows the pointer
    // Each window at its place, apart from the others: a click lands on the window meant.
    auto place = [&](const std::string& w) {
        for (int i = 0; i < 2; ++i)
            if (w == games[i].run->Window()) games[i].run->Move("", places[i][0], places[i][1]);
        if (w == outside.Id() || (other && w == other->Id()))
            x.Run("xdotool windowmove --sync " + w + (w == outside.Id() ? " 10 10" : " 200 10"));
    };
    place(outside.Id());
    x.Focus(outside.Id());
    // Where a key typed now goes.
    auto destination = [&] { return pointer ? ownerOf(x.UnderPointer()) : chosen; };
    // The input focus once it stays.
    auto settled = [&] {
        unsigned long now = x.FocusNow(), seen = ~0ul;
        for (int same = 0; same < 3; seen = now, now = x.FocusNow()) {
            same = now == seen ? same + 1 : 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return now;
    };
    // Where the server or the window manager put the focus.
    auto observe = [&] {
        const unsigned long now = settled();
        pointer = now == 1;
        if (!pointer) chosen = ownerOf(now);
        trace += std::string("(focus ") + (pointer ? "pointer" : chosen >= 0 ? games[chosen].name : chosen == kOutside ? "outside" : chosen == kOther ? "other" : "nobody's") + ") ";
    };
    auto choose = [&](int owner) {
        chosen = owner;
        pointer = false;
        if (owner >= 0) games[owner].minimised = false;
    };
    // Every answer given so far is in the game's log, as the model has them.
    auto answered = [&](Game& g) {
        if (!WaitFor(g, [&](const EchoSaid& s) { return s.answers.size() >= g.answers.size(); })) return false;
        return Windowed_EchoSaid(g.run->Log()).answers == g.answers;
    };
    auto typeInto = [&](const std::string& keys, bool letters) {
        x.Run(std::string("xdotool ") + (letters ? "type --delay 20 " : "key ") + keys);
    };
    // A click in a window of a game: the window manager, or the runner where the model lets it,
    // gives it the focus, and the keys go there once it has it. "" when it does.
    auto clickGame = [&](int i, const std::string& window, int cx, int cy, bool onDialog) -> std::string {
        Game& g = games[i];
        g.run->ClickIn(window, cx, cy);
        trace += "click " + g.name + (onDialog ? " dialog " : " ") + std::to_string(cx) + "," + std::to_string(cy) + "; ";
        if (g.modal.empty() && g.async) g.asyncKeys = onDialog;
        if (managed || pointer || chosen == i || chosen == kNobody) choose(i);
        // (The keys typed after it reach the game after it.)
        if (chosen != i || Windowed_WaitUntil([&] { return ownerOf(x.FocusNow()) == i; }, kWait)) return "";
        return "the click gave " + g.name + " no keyboard (the focus is at " + std::to_string(x.FocusNow()) + ", " +
               x.Output("xdotool getwindowname " + std::to_string(x.FocusNow())) + ")";
    };

    for (int step = 0; step < kSteps; ++step) {
        const int to = destination();
        Game* at = to >= 0 ? &games[to] : nullptr;
        const int move = pick(managed ? 9 : 8);
        if (move == 0) { // the player gives a window the focus (as a click on its task does)
            const int who = pick(other ? 4 : 3) - 1;
            if (who == 2) {
                x.Focus(other->Id());
                choose(kOther);
                trace += "focus other; ";
            } else if (who < 0) {
                x.Focus(outside.Id());
                choose(kOutside);
                trace += "focus outside; ";
            } else {
                const std::vector<std::string> windows = games[who].run->Windows();
                if (windows.empty()) return fail(games[who].name + " has no window");
                const size_t w = size_t(pick(int(windows.size())));
                x.Focus(windows[w]);
                choose(who);
                // A window manager may bring back a minimised game's dialog window alone.
                games[who].minimised = !x.Viewable(windows[0]);
                trace += "focus " + games[who].name + (w ? " dialog window; " : "; ");
            }
        } else if (move == 1) { // the player types
            std::string text;
            for (int n = 1 + pick(3); n > 0; --n) text += char('a' + pick(26));
            typeInto(text, true);
            trace += "type " + text + "; ";
            if (to == kOutside || to == kOther) {
                std::string& expected = to == kOutside ? outsideText : otherText;
                const OutsideWindow& w = to == kOutside ? outside : *other;
                expected += text;
                if (!w.WaitForTyped(expected, kWait))
                    return fail(std::string(to == kOutside ? "the outside" : "the other") + " window got [" + w.Typed() + "], not [" + expected + "]");
            } else if (!at || at->modal == "message") {
                // nobody's keys, or a message box's (it has no field): they reach no text
            } else {
                *at->Holder() += text;
                if (at->modal.empty() && at->async && at->asyncKeys) { // taken in the game's frames: two of them pass
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
            // The player stopped typing a moment before: a window manager lets a new window
            // take the focus then (it keeps it for a window typed into in the last half second).
            if (managed) std::this_thread::sleep_for(std::chrono::milliseconds(600));
            Scratch_WriteFile(g.area + kind, "");
            ++g.shown;
            if (!WaitFor(g, [&](const EchoSaid& s) { return s.shown >= g.shown; })) return fail(g.name + " did not show " + kind);
            if (kind == "async") {
                g.async = true;
                g.asyncKeys = true;
                g.asyncText.clear();
            } else {
                g.modal = kind;
                g.modalText.clear();
            }
            trace += g.name + " shows " + kind + "; ";
            // The focus stays where the player put it (a window of the game's may take it from
            // another of its windows).
            if (const unsigned long now = settled(); !pointer && ownerOf(now) != chosen)
                return fail("the dialog took the focus (now at " + std::to_string(now) + ")");
        } else if (move == 3) { // the player answers the dialog that holds the keyboard of the game
            if (!at || !at->DialogHolds()) continue;
            typeInto("Return", false);
            trace += "Return; ";
            at->Answer();
            if (!answered(*at)) return fail(at->name + " answered otherwise");
            // A minimised game's dialog window closed: its game cannot take the focus back, and
            // the window manager gives it to another.
            if (at->minimised) observe();
        } else if (move == 4) { // a click: on a window of the test's, beside a dialog, on a dialog
            const int where = pick(4);
            if (where == 0) {
                OutsideWindow& w = other && pick(2) ? *other : outside;
                x.Run("xdotool mousemove --window " + w.Id() + " 80 45 click 1");
                choose(&w == &outside ? kOutside : kOther);
                trace += std::string("click ") + (&w == &outside ? "outside; " : "other; ");
                if (!Windowed_WaitUntil([&] { return ownerOf(x.FocusNow()) == chosen; }, kWait)) return fail("the click gave no focus");
                continue;
            }
            const int i = pick(2);
            Game& g = games[i];
            if (g.minimised) continue;
            int dx = 0, dy = 0;
            const std::string dialog = where == 1 ? "" : g.StringDialog(&dx, &dy);
            if (where == 1 || dialog.empty()) { // the game's window, beside any dialog
                if (const std::string why = clickGame(i, g.run->Window(), 5, 5, false); !why.empty()) return fail(why);
                continue;
            }
            // On the dialog: its text or blank area (the keyboard stays in its field), or the
            // end of its field while its text is short (the caret stays at the end).
            static const int kSpots[3][2] = {{60, 24}, {150, 101}, {450, 68}};
            const int spot = pick(g.Holder()->size() < 30 ? 3 : 2);
            if (const std::string why = clickGame(i, dialog, dx + kSpots[spot][0], dy + kSpots[spot][1], true); !why.empty())
                return fail(why);
        } else if (move == 5) { // a focus nobody holds, or one that follows the pointer
            if (pick(2)) {
                x.SetFocus(0);
                trace += "focus None; ";
            } else {
                const int i = pick(2);
                if (!games[i].minimised) x.Run("xdotool mousemove --window " + games[i].run->Window() + " 5 5");
                x.SetFocus(1);
                trace += "focus PointerRoot, pointer on " + games[i].name + "; ";
            }
            observe();
        } else if (move == 6) { // the other window comes, or closes
            if (!other) {
                other = std::make_unique<OutsideWindow>(x);
                if (other->Id().empty()) return fail("no other window");
                place(other->Id());
                otherText.clear();
                trace += "other comes; ";
                observe(); // a window manager gives a new window the focus
            } else {
                if (other->Typed() != otherText) return fail("the other window got [" + other->Typed() + "], not [" + otherText + "]");
                other.reset();
                trace += "other closes; ";
                observe();
            }
        } else if (move == 7) { // a window unmapped and mapped again
            const std::vector<std::string> small = games[0].run->Windows();
            std::string w = outside.Id();
            if (pick(2) && !small.empty() && !games[0].minimised) w = small[size_t(pick(int(small.size())))];
            else if (other && pick(2)) w = other->Id();
            x.Run("xdotool windowunmap --sync " + w + " windowmap --sync " + w);
            place(w); // a window manager places a window mapped again as it likes
            trace += "unmap and map " + w + "; ";
            observe();
        } else { // the small game minimised (its dialogs with it); the focus brings it back
            if (games[0].minimised) continue;
            x.Run("xdotool windowminimize --sync " + games[0].run->Window());
            games[0].minimised = true;
            trace += "minimise small; ";
            observe();
        }
    }
    // Every dialog left is answered in its game, then the games end.
    for (int i = 0; i < 2; ++i) {
        Game& g = games[i];
        while (g.DialogHolds() || g.async) {
            x.Focus(g.run->Window());
            choose(i);
            trace += "focus " + g.name + "; ";
            int dx = 0, dy = 0;
            std::string dialog;
            if (!g.DialogHolds() && !Windowed_WaitUntil([&] { return !(dialog = g.StringDialog(&dx, &dy)).empty(); }, kWait))
                return fail(g.name + "'s dialog is not shown");
            if (const std::string why = dialog.empty() ? "" : clickGame(i, dialog, dx + 150, dy + 101, true); !why.empty())
                return fail(why);
            typeInto("Return", false);
            trace += "Return; ";
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
    if (other && other->Typed() != otherText) return fail("the other window got [" + other->Typed() + "], not [" + otherText + "]");
    return "";
}

} // namespace

TEST(WindowedFocus, KeysReachTheWindowThePlayerChoseAndNothingElseWhateverTheGamesShow)
{
    {
        XSession probe(XSession::kManaged);
        if (!probe.Ok()) GTEST_SKIP() << probe.Why();
    }
    const uint32_t seed = Property_Seed(5800);
    const size_t plays = size_t(Windowed_EnvNumber("ZB_FOCUS_PLAYS", 8));
    ScratchFolder dir;
    // Each seed is played without a window manager and under one.
    const std::vector<std::string> results =
        Windowed_PlayAll(2 * plays, int(Windowed_EnvNumber("ZB_FOCUS_JOBS", 3)), [&](size_t i) {
            const std::string folder = dir / ("play" + std::to_string(i));
            std::filesystem::create_directories(folder);
            return Play(seed + uint32_t(i / 2), folder, i % 2 == 1);
        });
    size_t right[2] = {0, 0};
    for (size_t i = 0; i < results.size(); ++i) right[i % 2] += results[i].empty();
    std::printf("%zu of %zu sequences right without a window manager, %zu of %zu under openbox (seeds %u..%u, runner %s)\n",
                right[0], plays, right[1], plays, seed, seed + uint32_t(plays) - 1, WindowedRunner::RunnerPath());
    for (const std::string& r : results) EXPECT_EQ(r, "");
}
