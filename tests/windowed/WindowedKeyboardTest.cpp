// Where the keys go when dialogs come in windows of their own, played with real key presses
// on the test's own X server: a modal dialog shown while a modeless one has a window of its
// own is seen and answered, and the modeless one gets the keyboard back after it; keys typed
// quickly through dialogs whose windows close and open lose nothing; what is typed after a
// click on the debug form's Add Watch is the question's, even typed while the runner was
// stopped. And what small windows show: a dialog is drawn in the game window only where
// every button label is whole, and a long message line is read whole. Skipped only when Xvfb
// cannot start.
#include <gtest/gtest.h>

#include "e2e/E2EGames.h"
#include "support/ScratchFolder.h"
#include "windowed/WindowedTest.h"

namespace {

constexpr int kTolerance = kWindowedTolerance;

using WindowedKeyboard = WindowedTest;

// The debug form's watches as its save area keeps them.
std::string IniValue(const std::string& ini, const std::string& key)
{
    const size_t at = ini.find("\n" + key + "=");
    if (at == std::string::npos) return "(none)";
    const size_t from = at + key.size() + 2;
    return ini.substr(from, ini.find_first_of("\r\n", from) - from);
}

} // namespace

// A 320x240 game: the asynchronous input dialog in a window of its own over the game window,
// then a message that the game window holds: it is answered by Return, the game steps on, and
// the asynchronous dialog has the keyboard again.
TEST_F(WindowedKeyboard, ModalDialogOverAModelessOnesWindowIsAnswered)
{
    WindowedRunner game(x, Game("ontop"), dir.Path());
    ASSERT_FALSE(game.Window().empty()) << game.NoWindow();
    ASSERT_TRUE(game.WaitForLog("async asked")) << game.Log();
    ASSERT_FALSE(game.WindowNamed("OnTop").empty()) << game.Log();
    ASSERT_TRUE(game.WaitForLog("modal")) << game.Log();
    game.Keys("Return");
    ASSERT_TRUE(game.WaitForLog("stepped on")) << game.Log();
    game.Keys("x Return");
    EXPECT_TRUE(game.WaitForLog("async [x] typed []")) << game.Log();
    EXPECT_EQ(game.Wait(), 0);
}

// A 320x240 game: the asynchronous dialog's window, then a modal integer dialog in a window of
// its own; once it is answered, a click into the asynchronous dialog's field and the keys
// typed answer it, and nothing reaches the game.
TEST_F(WindowedKeyboard, ModelessDialogGetsTheKeyboardBackAfterAModalOne)
{
    WindowedRunner game(x, Game("backtoasync"), dir.Path());
    ASSERT_FALSE(game.Window().empty()) << game.NoWindow();
    ASSERT_TRUE(game.WaitForLog("async asked")) << game.Log();
    const std::string async = game.WindowNamed("BackToAsync");
    ASSERT_FALSE(async.empty()) << game.Log();
    ASSERT_TRUE(game.WaitForLog("asking integer")) << game.Log();
    ASSERT_FALSE(game.WindowNamed("BackToAsync", {async}).empty()) << game.Log();
    game.Keys("7 Return");
    ASSERT_TRUE(game.WaitForLog("integer 7")) << game.Log();
    game.ClickIn(async, 100, 68); // its field
    game.Keys("ctrl+a x Return");
    EXPECT_TRUE(game.WaitForLog("result [x] typed []")) << game.Log();
    EXPECT_EQ(game.Wait(), 0);
}

// Four dialogs in a row, each in a window of its own, typed through 5 ms apart, five times:
// every key reaches the dialog it was meant for while one window closes and the next opens.
TEST_F(WindowedKeyboard, KeysTypedQuicklyThroughDialogsInWindowsOfTheirOwnAreAllTaken)
{
    WindowedRunner game(x, Game("fast"), dir.Path());
    ASSERT_FALSE(game.Window().empty()) << game.NoWindow();
    for (int round = 0; round < 5; ++round) {
        const std::string r = std::to_string(round);
        ASSERT_TRUE(game.WaitForLog("asking " + r)) << game.Log();
        ASSERT_FALSE(game.WindowNamed("Fast").empty()) << game.Log();
        game.Keys("a Return b Return 7 Return d Return", 5);
        ASSERT_TRUE(game.WaitForLog("answers " + r + " [a] [b] [7] [d]", 20)) << game.Log();
    }
    EXPECT_TRUE(game.WaitForLog("typed []")) << game.Log();
    EXPECT_EQ(game.Wait(), 0);
}

// With the runner stopped, a click on Add Watch and the keys typed after it: the question the
// click opens gets them (the watch is added) and the game none.
TEST_F(WindowedKeyboard, KeysTypedAfterAClickOnTheFormAreItsQuestions)
{
    WindowedRunner game(x, Game("debugform"), dir.Path(), {"-debug"});
    ASSERT_FALSE(game.Window().empty()) << game.NoWindow();
    const std::string form = game.WindowNamed("Zimbrel Debugger");
    ASSERT_FALSE(form.empty()) << "no debug form";
    game.Move("", 700, 0);
    ASSERT_TRUE(game.WaitForLog("step 5"));
    game.Stall(true);
    const std::string log = game.Log();
    size_t steps = 0;
    for (size_t at = log.find("step "); at != std::string::npos; at = log.find("step ", at + 1)) ++steps;
    game.ClickIn(form, 43, 60); // Add Watch
    game.Type("abc+1");
    game.Keys("Return");
    game.Type("7*6");
    game.Keys("Return");
    game.Stall(false);
    // The game waits while the question is up: its steps go on once it is answered.
    ASSERT_TRUE(game.WaitForLog("step " + std::to_string(steps + 10))) << game.Log();
    ASSERT_TRUE(game.RequestClose());
    EXPECT_EQ(game.Wait(), 0);
    const std::string ini = Scratch_ReadFile(dir / "xdg/DebugFormGame/Debug.ini");
    EXPECT_EQ(IniValue(ini, "NumWatches"), "1") << ini;
    EXPECT_EQ(IniValue(ini, "Watch0"), "abc+1") << ini;
    EXPECT_EQ(game.Log().find("typed "), std::string::npos) << game.Log();
}

// Buttons whose labels the game window would cut (320x240, 360x270) come in windows of their
// own, whole; at 400x300 the game window holds them whole.
TEST_F(WindowedKeyboard, DialogsAreDrawnInTheGameWindowOnlyWithTheirLabelsWhole)
{
    WindowedRunner game(x, Game("labels"), dir.Path());
    ASSERT_FALSE(game.Window().empty()) << game.NoWindow();
    std::string own = game.WindowNamed("Labels");
    ASSERT_FALSE(own.empty()) << game.Log();
    EXPECT_EQ(game.WaitForPicture(Golden("labels_question.png"), kTolerance, dir / "shot.png", own), "");
    game.Keys("Tab Return");
    ASSERT_TRUE(game.WaitForLog("question 0")) << game.Log();
    own = game.WindowNamed("Labels", {own});
    ASSERT_FALSE(own.empty()) << game.Log();
    // The player types once the window that came as the last one closed holds the keyboard.
    ASSERT_TRUE(game.WaitForFocus(own));
    game.Keys("Return");
    ASSERT_TRUE(game.WaitForLog("async 1")) << game.Log();
    EXPECT_EQ(game.WaitForPicture(Golden("labels_400.png"), kTolerance, dir / "shot.png"), "");
    ASSERT_TRUE(game.WaitForFocus(game.Window()));
    game.Keys("Return");
    EXPECT_TRUE(game.WaitForLog("question at 400 1")) << game.Log();
    EXPECT_EQ(game.Wait(), 0);
}

// A message box is as wide as its line in the font drawn, and a line longer than the widest
// box wraps, the box as high as its lines: read whole in a 640x480 game window and, made
// 320x240, in a window of its own.
TEST_F(WindowedKeyboard, ALongMessageLineIsReadWhole)
{
    WindowedRunner game(x, Game("longline"), dir.Path());
    ASSERT_FALSE(game.Window().empty()) << game.NoWindow();
    EXPECT_EQ(game.WaitForPicture(Golden("longline.png"), kTolerance, dir / "shot.png"), "");
    game.Keys("Return");
    ASSERT_TRUE(game.WaitForLog("first")) << game.Log();
    EXPECT_EQ(game.WaitForPicture(Golden("longline_wrapped.png"), kTolerance, dir / "shot.png"), "");
    game.Keys("Return");
    ASSERT_TRUE(game.WaitForLog("wrapped")) << game.Log();
    const std::string own = game.WindowNamed("LongLine");
    ASSERT_FALSE(own.empty()) << game.Log();
    EXPECT_EQ(game.WaitForPicture(Golden("longline_own.png"), kTolerance, dir / "shot.png", own), "");
    game.Keys("Return");
    EXPECT_TRUE(game.WaitForLog("second")) << game.Log();
    EXPECT_EQ(game.Wait(), 0) << game.Stderr();
}
