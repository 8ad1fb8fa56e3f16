// Taps played with real events on the test's own X server, as touchpads, fast players and
// tools send them: letters, arrows, Space, Return, Shift, Control and Alt, and the three mouse
// buttons, each pressed and released back to back (mostly within one step of the game). Every
// tap is pressed and released in the game and its press and release events run (the mouse's
// over the instance and the global ones), 20 of 20; the same run recorded with -record plays
// back with -playback to the same counts. Skipped only when Xvfb cannot start.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "windowed/WindowedTest.h"

namespace {

using WindowedTaps = WindowedTest;

constexpr int kRounds = 20;
// A round: every key and button tapped once, in one burst. The game counts the releases of 14
// key codes (the modifiers' general and left codes) and 3 buttons.
constexpr int kReleasesPerRound = 17;
const char* const kBurst = "xdotool key --delay 0 a z Left Up Right Down space Return Shift_L Control_L Alt_L "
                           "mousedown 1 mouseup 1 mousedown 2 mouseup 2 mousedown 3 mouseup 3";

// The game's counts at its end: a line a key, a line a button and one for the buttons together.
std::string Counts(const std::string& log)
{
    std::istringstream lines(log);
    std::string out;
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("key ", 0) == 0 || line.rfind("button ", 0) == 0 || line.rfind("any button ", 0) == 0)
            out += line + "\n";
    return out;
}

// The taps seen within one step (pressed and released in it, not down), over all the lines.
int TapsWithinOneStep(const std::string& counts)
{
    int taps = 0;
    for (size_t at = counts.find(" taps "); at != std::string::npos; at = counts.find(" taps ", at + 1))
        taps += std::stoi(counts.substr(at + 6));
    return taps;
}

} // namespace

TEST_F(WindowedTaps, EveryTapIsPressedAndReleasedWithItsEventsAndPlaysBackAlike)
{
    const std::string game = Game("taps"), record = dir / "taps.rec";
    std::string counts;
    {
        WindowedRunner run(x, game, dir.Path(), {"-record", record});
        ASSERT_FALSE(run.Window().empty()) << run.NoWindow(); // the pointer rests over the game's pad
        for (int round = 1; round <= kRounds; ++round) {
            x.Run(kBurst);
            // The next round once the game has seen this one's releases: no key is tapped twice
            // in one step.
            ASSERT_TRUE(run.WaitForLog("r " + std::to_string(round * kReleasesPerRound))) << run.Log();
        }
        ASSERT_EQ(run.Wait(), 0) << run.Log();
        counts = Counts(run.Log());
    }
    const std::string twenty = ": pressed 20 released 20 press events 20 release events 20 ";
    std::string short20; // the keys and buttons not seen 20 of 20
    for (const char* key : {"65", "90", "37", "38", "39", "40", "32", "13", "16", "160", "17", "162", "18", "164"})
        if (counts.find(std::string("key ") + key + twenty) == std::string::npos) short20 += std::string("key ") + key + " ";
    for (const char* button : {"1", "2", "3"})
        if (counts.find(std::string("button ") + button + twenty + "global 20 20 ") == std::string::npos)
            short20 += std::string("button ") + button + " ";
    if (counts.find("any button pressed 60 released 60; presses without their key 0, without their button 0\n") ==
        std::string::npos)
        short20 += "any button";
    EXPECT_EQ(short20, "") << counts;
    const int taps = TapsWithinOneStep(counts);
    EXPECT_GT(taps, 0) << "no tap came within one step: the test tells nothing\n" << counts;
    std::printf("taps within one step: %d of %d\n", taps, kRounds * kReleasesPerRound);

    const std::string apart = dir / "played"; // a log of its own (the runner's log is appended to)
    ASSERT_EQ(mkdir(apart.c_str(), 0700), 0);
    WindowedRunner played(x, game, apart, {"-playback", record});
    ASSERT_FALSE(played.Window().empty()) << played.NoWindow();
    ASSERT_EQ(played.Wait(), 0) << played.Log();
    EXPECT_EQ(Counts(played.Log()), counts);
}
