// End to end: input recorded with "-record" and played back with "-playback". The game of
// tests/data/games/record presses and releases keys itself (keyboard_key_press and
// keyboard_key_release reach the window's event queue like real keys) and logs the keyboard
// state and key events of every step; the same game played back from the recording, where
// the window's own keys are ignored, must write exactly the same log.
#include <gtest/gtest.h>

#include "E2EGames.h"
#include "support/ScratchFolder.h"

using namespace e2e;

namespace {

class RecordPlayback : public ::testing::TestWithParam<const char*> {};

} // namespace

TEST_P(RecordPlayback, PlayingARecordingBackReproducesTheLogExactly)
{
    ScratchFolder dir;
    const std::string game = dir / "record.win";
    std::string messages;
    ASSERT_TRUE(Pack(std::string(ZB_SOURCE_DIR) + "/tests/data/games/record/manifest.json", game,
                     std::string("--") + GetParam(), &messages))
        << messages;
    auto run = [&](const std::string& option, const std::string& log) {
        return Shell(std::string(kHeadless) + "ZIMBREL_MAX_FRAMES=100 " + Quote(ZB_RUNNER_PATH) + " -game " + Quote(game) +
                     " " + option + " " + Quote(dir / "input.rec") + " -output " + Quote(log) + " >/dev/null 2>&1");
    };
    ASSERT_EQ(run("-record", dir / "recorded.txt"), 0);
    const std::string recorded = Scratch_ReadFile(dir / "recorded.txt");
    // The keys the game pressed reached it: held, pressed and released, typed text, a key
    // tapped within one step (pressed and released, its press event run, keyboard_key its
    // code for that step), and no key when none is down.
    EXPECT_EQ(Joined(GameLines(recorded)), "step 1: right 000 key 0 last 0 char 0 text []\n"
                                           "no key\n"
                                           "step 2: right 000 key 0 last 0 char 0 text []\n"
                                           "no key\n"
                                           "step 3: right 110 key 39 last 39 char 0 text []\n"
                                           "held right\n"
                                           "press right\n"
                                           "press any 39\n"
                                           "step 4: right 100 key 39 last 39 char 0 text []\n"
                                           "held right\n"
                                           "step 5: right 100 key 39 last 39 char 0 text []\n"
                                           "held right\n"
                                           "step 6: right 001 key 90 last 90 char 122 text [z]\n"
                                           "release right\n"
                                           "press any 90\n"
                                           "step 7: right 000 key 32 last 32 char 32 text [z ]\n"
                                           "press any 32\n"
                                           "step 8: right 000 key 52 last 52 char 52 text [z 4]\n"
                                           "press any 52\n"
                                           "step 9: right 000 key 0 last 52 char 52 text [z 4]\n"
                                           "no key\n"
                                           "step 10: right 000 key 0 last 52 char 52 text [z 4]\n")
        << recorded;
    EXPECT_EQ(Scratch_ReadFile(dir / "input.rec").size(), 10u * 2939u) << "one record a step";

    // The same log, the memory total included (the two log names have the same length).
    ASSERT_EQ(run("-playback", dir / "replayed.txt"), 0);
    EXPECT_EQ(Scratch_ReadFile(dir / "replayed.txt"), recorded);
}

INSTANTIATE_TEST_SUITE_P(BothModes, RecordPlayback, ::testing::Values("source", "bytecode"));
