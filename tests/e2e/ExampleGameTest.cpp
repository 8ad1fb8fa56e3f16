// End to end: the example game (examples/gemrun) packed in both code modes and played headless
// from its recorded play (examples/gemrun/playthrough.rec), as scripts/play.sh plays it without
// a display: the game's log follows the whole play to its end state (the results), and the
// picture the game saves of its results matches tests/data/example/final_screen.png
// (support/Golden.h).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "E2EGames.h"
#include "support/Golden.h"
#include "support/ScratchFolder.h"

using namespace e2e;

namespace {

const int32_t kRecordSize = 2939;

std::string Source(const std::string& relative) { return std::string(ZB_SOURCE_DIR) + "/" + relative; }

class ExampleGame : public ::testing::TestWithParam<const char*> {};

} // namespace

TEST_P(ExampleGame, RecordedPlayReachesTheResultsAndTheirPictureMatches)
{
    ScratchFolder dir;
    const std::string game = dir / "gemrun.win";
    std::string messages;
    ASSERT_TRUE(Pack(Source("examples/gemrun/manifest.json"), game, std::string("--") + GetParam(), &messages)) << messages;

    // As scripts/play.sh does: one step for each record, and a few more.
    const std::string record = Source("examples/gemrun/playthrough.rec");
    struct stat st {};
    ASSERT_EQ(stat(record.c_str(), &st), 0);
    ASSERT_EQ(st.st_size % kRecordSize, 0);
    const int64_t steps = st.st_size / kRecordSize + 20;
    const std::string log = dir / "log.txt";
    int code = Shell(std::string(kHeadless) + "XDG_DATA_HOME=" + Quote(dir / "save") +
                     " ZIMBREL_MAX_FRAMES=" + std::to_string(steps) + " " + Quote(ZB_RUNNER_PATH) + " -game " +
                     Quote(game) + " -playback " + Quote(record) + " -output " + Quote(log) + " >" +
                     Quote(dir / "console.txt") + " 2>&1");
    const std::string said = Scratch_ReadFile(log);
    EXPECT_EQ(code, 0) << said;

    // The play: a gem, R restarts the game, then both levels (a bat costs a life on the way)
    // and the results.
    EXPECT_EQ(Joined(GameLines(said)), "title screen\n"
                                       "level 1: 4 gems, 3 bats, lives 3\n"
                                       "gem at 5,1, score 10\n"
                                       "restart\n"
                                       "title screen\n"
                                       "level 1: 4 gems, 3 bats, lives 3\n"
                                       "gem at 5,1, score 10\n"
                                       "hit by a bat at 9,1, lives 2\n"
                                       "gem at 11,3, score 20\n"
                                       "gem at 18,5, score 30\n"
                                       "gem at 17,9, score 40\n"
                                       "level 1 clear, score 40\n"
                                       "level 2: 4 gems, 2 bats, lives 2\n"
                                       "gem at 8,9, score 50\n"
                                       "gem at 15,11, score 60\n"
                                       "gem at 17,8, score 70\n"
                                       "gem at 19,3, score 80\n"
                                       "level 2 clear, score 80\n"
                                       "results: all gems found, score 80\n"
                                       "final screen saved as final_screen.png\n")
        << said;

    const std::string shot = dir / "save/GemRun/final_screen.png";
    ASSERT_TRUE(Scratch_Exists(shot)) << "the game saves its results into its save folder";
    EXPECT_EQ(Golden_CompareFile(shot, "example/final_screen.png"), "");
}

INSTANTIATE_TEST_SUITE_P(BothModes, ExampleGame, ::testing::Values("source", "bytecode"));
