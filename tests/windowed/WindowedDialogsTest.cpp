// Games played in a real window on a private X server (one a test): the error dialog, the
// modal message, input and question dialogs and an asynchronous input dialog, answered with
// real key presses and clicks, also many at once while the runner is held up; the window's
// picture is compared with golden images (tests/data/windowed_golden, rewritten with
// ZB_UPDATE_GOLDEN=1); a game in an endless loop still answers its window's close; "-debug"
// opens the debug form beside the game; a display lost while the game plays ends the run with
// the game's files written, and so does a window destroyed by another program under a dialog;
// without a game the runner asks for one with keys; a click beside a dialog changes nothing,
// and every character typed reaches it whole. Skipped only when Xvfb cannot start.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <random>
#include <thread>

#include "e2e/E2EGames.h"
#include "support/PropertySeed.h"
#include "support/ScratchFolder.h"
#include "windowed/WindowedTest.h"

namespace {

constexpr int kTolerance = kWindowedTolerance;

using Windowed = WindowedTest;

} // namespace

TEST_F(Windowed, ErrorDialogIgnoreLetsTheGameGoOn)
{
    WindowedRunner game(x, Game("error"), dir.Path());
    ASSERT_FALSE(game.Window().empty()) << game.NoWindow();
    EXPECT_EQ(game.WaitForPicture(Golden("error.png"), kTolerance, dir / "shot.png"), "");
    game.Stall(true); // the click and the pointer's move away from Ignore come in one frame
    game.Click(235, 536); // Ignore
    game.Stall(false);
    EXPECT_TRUE(game.WaitForLog("went on")) << game.Log();
    EXPECT_EQ(game.Wait(), 0);
    EXPECT_NE(game.Log().find("ended\n"), std::string::npos);
}

TEST_F(Windowed, ErrorDialogAbortEndsTheGame)
{
    WindowedRunner game(x, Game("error"), dir.Path());
    ASSERT_FALSE(game.Window().empty()) << game.NoWindow();
    EXPECT_EQ(game.WaitForPicture(Golden("error.png"), kTolerance, dir / "shot.png"), "");
    game.Stall(true); // six key events in one frame: each still counts, in order
    game.Keys("Tab Tab Return", 0); // from Copy over Clear to Abort
    game.Stall(false);
    EXPECT_EQ(game.Wait(), 0);
    const std::string log = game.Log();
    EXPECT_NE(log.find("ERROR!!! :: "), std::string::npos);
    EXPECT_EQ(log.find("ended\n"), std::string::npos); // the event ran out, no later step ran
}

TEST_F(Windowed, ModalDialogsAnsweredByKeys)
{
    WindowedRunner game(x, Game("modal"), dir.Path());
    ASSERT_FALSE(game.Window().empty()) << game.NoWindow();
    EXPECT_EQ(game.WaitForPicture(Golden("message.png"), kTolerance, dir / "shot.png"), "");
    game.Keys("Return");
    EXPECT_EQ(game.WaitForPicture(Golden("integer.png"), kTolerance, dir / "shot.png"), ""); // the default 3.7 shows 4
    game.Keys("ctrl+a");
    game.Type("12");
    game.Keys("Return");
    EXPECT_EQ(game.WaitForPicture(Golden("question.png"), kTolerance, dir / "shot.png"), "");
    game.Keys("Tab Return"); // from Yes to No
    EXPECT_EQ(game.Wait(), 0);
    const std::string log = game.Log();
    EXPECT_NE(log.find("integer 12\n"), std::string::npos) << log;
    EXPECT_NE(log.find("question 0\n"), std::string::npos) << log;
}

TEST_F(Windowed, DialogsWithVeryLongTextsAreDrawnAndAnswered)
{
    // A prompt wrapped over thousands of lines needs more vertices than one 16-bit draw list holds.
    WindowedRunner game(x, Game("longtext"), dir.Path());
    ASSERT_FALSE(game.Window().empty()) << game.NoWindow();
    ASSERT_TRUE(game.WaitForLog("asking")) << game.Log();
    game.Keys("Return");
    EXPECT_TRUE(game.WaitForLog("input 1024")) << game.Log(); // OK: the default, cut to an answer's size
    game.Keys("Return");
    EXPECT_EQ(game.Wait(), 0) << game.Stderr();
    EXPECT_NE(game.Log().find("question 1\n"), std::string::npos) << game.Log();
}

TEST_F(Windowed, AsynchronousInputAnsweredWhileTheGameSteps)
{
    WindowedRunner game(x, Game("async"), dir.Path());
    ASSERT_FALSE(game.Window().empty()) << game.NoWindow();
    EXPECT_EQ(game.WaitForPicture(Golden("async.png"), kTolerance, dir / "shot.png"), "");
    EXPECT_TRUE(game.WaitForLog("still stepping")); // the game goes on under the open dialog
    game.Keys("ctrl+a");
    game.Type("Zed");
    game.Keys("Return");
    EXPECT_TRUE(game.WaitForLog("answer id 1 status 1 result Zed at step 1")) << game.Log();
    EXPECT_EQ(game.Wait(), 0);
}

TEST_F(Windowed, EndlessLoopStillAnswersTheWindowsClose)
{
    WindowedRunner game(x, Game("loop"), dir.Path());
    ASSERT_FALSE(game.Window().empty()) << game.NoWindow();
    ASSERT_TRUE(game.WaitForLog("looping"));
    ASSERT_TRUE(game.RequestClose());
    EXPECT_EQ(game.Wait(), 0); // the machine's drain saw the close: the loop ends, the game too
    EXPECT_EQ(game.Log().find("next step\n"), std::string::npos);
}

TEST_F(Windowed, ClosingTheWindowUnderTheErrorDialogEndsTheGame)
{
    WindowedRunner game(x, Game("error"), dir.Path());
    ASSERT_FALSE(game.Window().empty()) << game.NoWindow();
    EXPECT_EQ(game.WaitForPicture(Golden("error.png"), kTolerance, dir / "shot.png"), "");
    ASSERT_TRUE(game.RequestClose()); // answered as Abort, and the close is honoured
    EXPECT_EQ(game.Wait(), 0);
    EXPECT_EQ(game.Log().find("ended\n"), std::string::npos);
}

// "-debug" opens the debug form in a window of its own beside the game's: its toolbar pauses
// the game, steps it once and lets it run again; a watch added through the form's own question
// shows its value (the form's top compared with its golden picture; the status lines below
// hold the measured frame rate and are left out).
TEST_F(Windowed, DebugFormPausesStepsAndWatches)
{
    WindowedRunner game(x, Game("debugform"), dir.Path(), {"-debug"});
    ASSERT_FALSE(game.Window().empty()) << game.NoWindow();
    const std::string form = game.WindowNamed("Zimbrel Debugger");
    ASSERT_FALSE(form.empty()) << "no debug form";
    game.Move("", 700, 0); // the screen is too narrow for both side by side
    ASSERT_TRUE(game.WaitForLog("step 5"));
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // a frame drawn where it is now
    // Debug mode shows the profiler over the game: the frame's white bar and the markers' bars
    // across the row at y 15 (their lengths follow the time, so only their presence is tested).
    std::vector<uint8_t> px;
    int32_t w = 0, h = 0;
    ASSERT_TRUE(game.Pixels("", &px, &w, &h));
    int white = 0, coloured = 0;
    for (int32_t x = 0; x < w; ++x) {
        const uint8_t* p = &px[(size_t(15) * size_t(w) + size_t(x)) * 4];
        if (p[0] > 240 && p[1] > 240 && p[2] > 240) ++white;
        else if (p[0] + p[1] + p[2] > 60) ++coloured;
    }
    EXPECT_GT(white, 10);
    EXPECT_GT(coloured, 0);
    auto steps = [&] {
        const std::string log = game.Log();
        size_t n = 0;
        for (size_t at = log.find("step "); at != std::string::npos; at = log.find("step ", at + 1)) ++n;
        return n;
    };
    game.ClickIn(form, 66, 37); // Pause
    size_t paused = steps();
    for (int i = 0; i < 20; ++i) { // wait until no step comes any more
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        if (steps() == paused) break;
        paused = steps();
    }
    game.ClickIn(form, 113, 37); // Step
    ASSERT_TRUE(game.WaitForLog("step " + std::to_string(paused + 1)));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(steps(), paused + 1); // exactly one

    game.ClickIn(form, 43, 60); // Add Watch: the question inside the form
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    game.Type("2*21");
    game.Keys("Return");
    EXPECT_EQ(game.WaitForPicture(Golden("debugform.png"), kTolerance, dir / "shot.png", form, 200), "");

    game.ClickIn(form, 22, 37); // Run
    EXPECT_TRUE(game.WaitForLog("step " + std::to_string(paused + 5)));
    ASSERT_TRUE(game.RequestClose());
    EXPECT_EQ(game.Wait(), 0);
    // The game's end saved the watch in the save area.
    const std::string ini = Scratch_ReadFile(dir / "xdg/DebugFormGame/Debug.ini");
    EXPECT_NE(ini.find("Watch0=2*21"), std::string::npos) << ini;
}

// The text of a key that answers a dialog is the answer's: Space pressing OK twice leaves
// nothing typed for the game, and the next dialog's field gets only what was typed into it.
TEST_F(Windowed, SpaceThatAnswersIsNotTyped)
{
    WindowedRunner game(x, Game("space"), dir.Path());
    ASSERT_FALSE(game.Window().empty()) << game.NoWindow();
    ASSERT_TRUE(game.WaitForLog("asking")) << game.Log();
    game.Keys("space space");
    ASSERT_TRUE(game.WaitForLog("typed []")) << game.Log();
    game.Type("ok");
    game.Keys("Return");
    EXPECT_TRUE(game.WaitForLog("name [ok]")) << game.Log();
    EXPECT_EQ(game.Wait(), 0);
}

// Everything typed ahead reaches the dialog it was meant for, in order, while the runner is
// stopped: the error dialog (a window of its own in a 320x240 game), then input dialogs whose
// fields are not ready yet when their keys come, Tabs that must not be undone, a Left before
// the text.
TEST_F(Windowed, KeysTypedAheadReachTheirDialogsInOrder)
{
    WindowedRunner game(x, Game("typeahead"), dir.Path());
    ASSERT_FALSE(game.Window().empty()) << game.NoWindow();
    ASSERT_TRUE(game.WaitForLog("asking")) << game.Log(); // the error comes next
    game.Stall(true);
    game.Keys("Left Return x y Return Tab Return x y z Return Tab Tab Return Left x Return", 0);
    game.Stall(false);
    EXPECT_EQ(game.Wait(), 0) << game.Stderr();
    const std::string log = game.Log();
    EXPECT_NE(log.find("string xy\nquestion 0\nagain xyz\ntab []\nleft xab\n"), std::string::npos) << log;
}

// Each dialog starts afresh, its default text selected: typing replaces it, in file dialogs
// and input dialogs shown one after another.
TEST_F(Windowed, EveryDialogStartsWithItsDefaultSelected)
{
    WindowedRunner game(x, Game("fresh"), dir.Path());
    ASSERT_FALSE(game.Window().empty()) << game.NoWindow();
    for (const char* after : {"asking", "a x", "b x", "c x"}) {
        ASSERT_TRUE(game.WaitForLog(after)) << game.Log();
        game.Type("x");
        game.Keys("Return");
    }
    EXPECT_TRUE(game.WaitForLog("d x")) << game.Log();
    EXPECT_EQ(game.Wait(), 0);
}

// A 320x240 game: the message is laid out for the window, whole glyphs; the error dialog,
// which the window cannot hold, comes in a window of its own and is answered there; a window
// made smaller than the game shows its next dialog in a window of its own too.
TEST_F(Windowed, DialogsOfASmallGameCanBeReadAndAnswered)
{
    WindowedRunner game(x, Game("small"), dir.Path());
    ASSERT_FALSE(game.Window().empty()) << game.NoWindow();
    EXPECT_EQ(game.WaitForPicture(Golden("small_message.png"), kTolerance, dir / "shot.png"), "");
    game.Keys("Return");
    const std::string error = game.WindowNamed("Code Error...");
    ASSERT_FALSE(error.empty()) << game.Log();
    EXPECT_EQ(game.WaitForPicture(Golden("small_error.png"), kTolerance, dir / "shot.png", error), "");
    game.Keys("Left Return"); // from Copy to Ignore
    ASSERT_TRUE(game.WaitForLog("went on")) << game.Log();
    // (A window manager keeps the game's window at the game's size: the player cannot make it
    // smaller there.)
    if (!x.Managed()) game.Resize("", 160, 120);
    // The player types once the game's window holds the keyboard again (a window manager hands
    // it back after the error dialog's window closed), and answers the message once it came.
    ASSERT_TRUE(game.WaitForFocus(game.Window())) << "the game's window never had the keyboard again";
    game.Type("r");
    ASSERT_TRUE(game.WaitForLog("typed [r]")) << game.Log();
    if (!x.Managed()) {
        const std::string own = game.WindowNamed("Small");
        ASSERT_FALSE(own.empty()) << game.Log();
        ASSERT_TRUE(game.WaitForFocus(own));
    }
    game.Keys("Return");
    EXPECT_TRUE(game.WaitForLog("answered")) << game.Log();
    EXPECT_EQ(game.Wait(), 0);
}

// A 200x120 game: the input and question dialogs and an asynchronous input dialog each in a
// window of its own, whole, answered by keys there.
TEST_F(Windowed, DialogsOfATinyGameComeInWindowsOfTheirOwn)
{
    WindowedRunner game(x, Game("tiny"), dir.Path());
    ASSERT_FALSE(game.Window().empty()) << game.NoWindow();
    std::string own = game.WindowNamed("Tiny");
    ASSERT_FALSE(own.empty()) << game.Log();
    EXPECT_EQ(game.WaitForPicture(Golden("tiny_input.png"), kTolerance, dir / "shot.png", own), "");
    game.Type("Zed");
    game.Keys("Return");
    ASSERT_TRUE(game.WaitForLog("string Zed")) << game.Log();
    // Each next dialog's window comes as the last one closes: the player types once it holds
    // the keyboard.
    own = game.WindowNamed("Tiny", {own});
    ASSERT_FALSE(own.empty()) << game.Log();
    EXPECT_EQ(game.WaitForPicture(Golden("tiny_question.png"), kTolerance, dir / "shot.png", own), "");
    ASSERT_TRUE(game.WaitForFocus(own));
    game.Keys("Tab Return");
    ASSERT_TRUE(game.WaitForLog("question 0")) << game.Log();
    own = game.WindowNamed("Tiny", {own});
    ASSERT_FALSE(own.empty()) << game.Log();
    ASSERT_TRUE(game.WaitForFocus(own));
    game.Type("b");
    game.Keys("Return");
    EXPECT_TRUE(game.WaitForLog("async b")) << game.Log();
    EXPECT_EQ(game.Wait(), 0);
}

// The debug form shown beside the game leaves the keyboard to the game (no window manager
// gives it back).
TEST_F(Windowed, DebugFormLeavesTheKeyboardToTheGame)
{
    WindowedRunner game(x, Game("debugform"), dir.Path(), {"-debug"});
    ASSERT_FALSE(game.Window().empty()) << game.NoWindow();
    ASSERT_FALSE(game.WindowNamed("Zimbrel Debugger").empty()) << "no debug form";
    ASSERT_TRUE(game.WaitForLog("step 5"));
    game.Type("abc");
    EXPECT_TRUE(game.WaitForLog("typed abc")) << game.Log();
    ASSERT_TRUE(game.RequestClose());
    EXPECT_EQ(game.Wait(), 0);
}

// A click gives the debug form the keyboard: the question of Add Watch gets everything typed
// ahead, Delete removes the selected watch and Ctrl+C copies the selected messages (pasted
// back as a watch).
TEST_F(Windowed, DebugFormKeysGoWhereThePlayerMeant)
{
    WindowedRunner game(x, Game("debugform"), dir.Path(), {"-debug"});
    ASSERT_FALSE(game.Window().empty()) << game.NoWindow();
    const std::string form = game.WindowNamed("Zimbrel Debugger");
    ASSERT_FALSE(form.empty()) << "no debug form";
    game.Move("", 700, 0);
    ASSERT_TRUE(game.WaitForLog("step 5"));
    game.ClickIn(form, 66, 37); // Pause: no more messages come
    ASSERT_TRUE(game.WaitForFocus(form));
    game.ClickIn(form, 43, 60); // Add Watch
    game.Stall(true);
    game.Type("abc+1");
    game.Keys("Return");
    game.Stall(false);
    game.ClickIn(form, 43, 60);
    game.Type("7");
    game.Keys("Return");
    game.ClickIn(form, 60, 116); // the second watch
    game.Keys("Delete");
    EXPECT_EQ(game.WaitForPicture(Golden("debugform_keys.png"), kTolerance, dir / "shot.png", form, 140), "");
    game.ClickIn(form, 110, 10); // Tools
    game.ClickIn(form, 140, 85); // Show Messages, over the toolbar
    game.ClickIn(form, 100, 66); // its newest message
    game.Keys("ctrl+c");
    game.ClickIn(form, 416, 42); // closed
    game.ClickIn(form, 43, 60); // Add Watch: the message pasted
    game.Keys("ctrl+v Return");
    ASSERT_TRUE(game.RequestClose());
    EXPECT_EQ(game.Wait(), 0);
    const std::string ini = Scratch_ReadFile(dir / "xdg/DebugFormGame/Debug.ini");
    auto value = [&](const std::string& key) {
        const size_t at = ini.find("\n" + key + "=");
        if (at == std::string::npos) return std::string("(none)");
        const size_t from = at + key.size() + 2;
        return ini.substr(from, ini.find_first_of("\r\n", from) - from);
    };
    EXPECT_EQ(value("NumWatches"), "2") << ini;
    EXPECT_EQ(value("Watch0"), "abc+1") << ini;
    EXPECT_NE(value("Watch1"), "") << ini; // the message copied
}

TEST_F(Windowed, ALostDisplayEndsTheRunWithTheGamesFilesWritten)
{
    // The X server ends while the game plays: the INI file the game holds open and its
    // high-score table are written, one line says so, and the run ends with 1.
    WindowedRunner game(x, Game("lost"), dir.Path());
    ASSERT_FALSE(game.Window().empty()) << game.NoWindow();
    ASSERT_TRUE(game.WaitForLog("playing")) << game.Log();
    const std::string display = x.Display();
    x.End();
    EXPECT_EQ(game.Wait(), 1) << game.Stderr();
    const std::string area = dir / "xdg/LostGame";
    EXPECT_NE(Scratch_ReadFile(area + "/run.ini").find("started=1"), std::string::npos) << game.Stderr();
    EXPECT_NE(Scratch_ReadFile(area + "/hiscore.dat").find("kept"), std::string::npos);
    EXPECT_EQ(game.Stderr(), "runner: the display " + display + " was lost; the run ends\n");
}

// Without a game the runner asks for one in the open-file dialog, a window of its own that
// takes its keys: Escape ends the run with 1; a path typed and Return plays that game; a
// signal while it asks ends the run at once, by that signal.
TEST_F(Windowed, OpenFileDialogTakesItsKeysAndEndsAtASignal)
{
    const std::string game = Game("picked");
    auto asking = [&](const char* name) {
        const std::string folder = dir / name;
        std::filesystem::create_directories(folder);
        return std::make_unique<WindowedRunner>(x, "", folder);
    };
    {
        auto run = asking("escape");
        ASSERT_FALSE(run->Window().empty()) << run->NoWindow();
        run->Keys("Escape");
        EXPECT_EQ(run->Wait(), 1) << run->Log();
    }
    {
        auto run = asking("typed");
        ASSERT_FALSE(run->Window().empty()) << run->NoWindow();
        run->Type(game);
        run->Keys("Return");
        EXPECT_TRUE(run->WaitForLog("playing")) << run->Log();
        EXPECT_EQ(run->Wait(), 0) << run->Log();
    }
    {
        const auto spawned = std::chrono::steady_clock::now();
        auto run = asking("signal");
        ASSERT_FALSE(run->Window().empty()) << run->NoWindow();
        const auto sent = std::chrono::steady_clock::now();
        run->MarkLoad();
        run->Kill(SIGTERM);
        run->Wait();
        EXPECT_EQ(run->Signal(), SIGTERM) << run->Log();
        // At once: within the margin the run's start (to its dialog's window) and the load measured.
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count(),
                  e2e::EndMargin(std::chrono::duration<double>(sent - spawned).count(), run->Lost()));
    }
}

// A stop from the terminal (Ctrl+Z, any thread of the runner may take it) or a debugger's, at
// any moment while the dialogs' windows come and go, never leaves the display held: another
// program is answered within two seconds of the runner stopping. A 200x120 game at 1,000
// steps a second asks again as soon as it is answered (each asking in a window of its own),
// the player answers as fast as keys come, and the runner is stopped at random moments (40
// times, and on until its dialogs have been answered 20 times), by SIGTSTP and SIGSTOP in turn (SIGSTOP where a process group without a terminal
// drops SIGTSTP). The server's record shows that the runner never held it.
TEST_F(Windowed, AStopWhileDialogsWindowsComeAndGoNeverHoldsTheDisplay)
{
    const ServerHoldCount holds(x); // never, at any moment: the server's own record
    ASSERT_TRUE(holds.Ok());
    WindowedRunner game(x, Game("stops"), dir.Path());
    ASSERT_FALSE(game.Window().empty()) << game.NoWindow();
    ASSERT_FALSE(game.WindowNamed("Stops").empty()) << game.Log();
    std::atomic<bool> done{false};
    std::thread player([&] {
        while (!done) x.Run("xdotool key --delay 3 --repeat 20 Return");
    });
    auto stopped = [&] {
        return Windowed_WaitUntil([&] {
            const std::string stat = Scratch_ReadFile("/proc/" + std::to_string(game.Pid()) + "/stat");
            const size_t end = stat.rfind(')');
            return end != std::string::npos && end + 2 < stat.size() && stat[end + 2] == 'T';
        }, 1);
    };
    auto answered = [&] {
        const std::string log = game.Log();
        size_t n = 0;
        for (size_t at = 0; (at = log.find("answered ", at)) != std::string::npos; ++at) ++n;
        return n;
    };
    std::mt19937 random(Property_Seed(6300));
    int held = 0, stops = 0;
    for (; stops < 40 || (answered() < 20 && stops < 1000); ++stops) {
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        game.Kill(stops % 2 ? SIGSTOP : SIGTSTP);
        if (!stopped()) game.Kill(SIGSTOP);
        if (!stopped()) {
            ADD_FAILURE() << "the runner did not stop";
            break;
        }
        if (x.Run("timeout 2 xdotool getmouselocation >/dev/null") != 0) ++held;
        game.Kill(SIGCONT);
    }
    done = true;
    player.join();
    EXPECT_EQ(held, 0) << "of " << stops << " stops";
    EXPECT_GE(answered(), 20u) << "the dialogs' windows did not come and go meanwhile";
    EXPECT_EQ(holds.By(game.Window()), 0) << "times the runner held the server";
    game.Kill(SIGTERM);
    game.Wait();
}

// A 640x480 game asks for a name: a click on the game beside the dialog changes nothing (its
// field keeps the keyboard and the default text its selection), so what is typed after it is
// the answer; then characters beyond U+FFFF typed into the next dialog reach the answer whole.
TEST_F(Windowed, AClickBesideADialogChangesNothingAndEveryCharacterArrivesWhole)
{
    ASSERT_TRUE(x.AddKeys({0x1F600, 0x1D11E}));
    WindowedRunner game(x, Game("beside"), dir.Path());
    ASSERT_FALSE(game.Window().empty()) << game.NoWindow();
    ASSERT_TRUE(game.WaitForLog("asking")) << game.Log();
    game.Click(40, 40); // the game beside the dialog
    game.Type("ok");
    game.Keys("Return");
    EXPECT_TRUE(game.WaitForLog("name [ok]")) << game.Log();
    game.Type("a\xF0\x9F\x98\x80" "b\xF0\x9D\x84\x9E");
    game.Keys("Return");
    EXPECT_TRUE(game.WaitForLog("again [a\xF0\x9F\x98\x80" "b\xF0\x9D\x84\x9E]")) << game.Log();
    EXPECT_EQ(game.Wait(), 0);
}

// Another program destroys a window of the runner (xdotool windowclose) while a modal dialog is
// up in a window of its own, at a random moment: the game's window or the dialog's. The run
// ends as a lost display ends it, with 1, one line on stderr and the game's files written, and
// never by a crash. ZB_DESTROY_PLAYS plays (default 8), ZB_DESTROY_JOBS at once (default 4),
// the moments drawn from ZB_PROPERTY_SEED.
TEST(WindowedDestroyed, AWindowDestroyedUnderADialogEndsTheRunAsALostDisplay)
{
    {
        XSession probe;
        if (!probe.Ok()) GTEST_SKIP() << probe.Why();
    }
    const uint32_t seed = Property_Seed(5803);
    const size_t plays = size_t(Windowed_EnvNumber("ZB_DESTROY_PLAYS", 8));
    ScratchFolder dir;
    std::string said;
    const std::string game = dir / "game.win";
    ASSERT_TRUE(e2e::Pack(std::string(ZB_SOURCE_DIR) + "/tests/data/windowed/gone/manifest.json", game, "", &said)) << said;
    const std::vector<std::string> results =
        Windowed_PlayAll(plays, int(Windowed_EnvNumber("ZB_DESTROY_JOBS", 4)), [&](size_t i) -> std::string {
            std::mt19937 random(seed + uint32_t(i));
            const std::string folder = dir / ("play" + std::to_string(i));
            std::filesystem::create_directories(folder);
            XSession x;
            if (!x.Ok()) return "no X server: " + x.Why();
            WindowedRunner run(x, game, folder);
            if (run.Window().empty()) return "no window: " + run.NoWindow();
            const std::string dialog = run.WindowNamed("Gone");
            if (!run.WaitForLog("asking") || dialog.empty()) return "no dialog: " + run.Log();
            const bool gameWindow = random() % 4 != 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(random() % 200)); // the moment
            x.Run("xdotool windowclose " + (gameWindow ? run.Window() : dialog));
            const int code = run.Wait();
            const std::string area = folder + "/xdg/GoneGame/";
            std::string why;
            if (code != 1) why += "ended with " + std::to_string(code) + " (signal " + std::to_string(run.Signal()) + "); ";
            if (run.Stderr() != "runner: a window of the game was destroyed by another program; the run ends\n")
                why += "said [" + run.Stderr() + "]; ";
            if (Scratch_ReadFile(area + "run.ini").find("started=1") == std::string::npos) why += "run.ini not written; ";
            if (Scratch_ReadFile(area + "hiscore.dat").find("kept") == std::string::npos) why += "hiscore.dat not written; ";
            return why.empty() ? why : "seed " + std::to_string(seed + i) + (gameWindow ? ", the game's window: " : ", the dialog's: ") + why;
        });
    size_t right = 0;
    for (const std::string& r : results) right += r.empty();
    std::printf("%zu of %zu plays right (runner %s)\n", right, plays, WindowedRunner::RunnerPath());
    for (const std::string& r : results) EXPECT_EQ(r, "");
}
