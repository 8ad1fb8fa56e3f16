// Games played in a real window on a private X server: the error dialog, the modal message,
// input and question dialogs and an asynchronous input dialog, answered with real key presses
// and clicks; the window's picture is compared with golden images (tests/data/windowed_golden,
// rewritten with ZB_UPDATE_GOLDEN=1); a game in an endless loop still answers its window's
// close. Skipped only when Xvfb cannot start.
#include <gtest/gtest.h>

#include "e2e/E2EGames.h"
#include "support/ScratchFolder.h"
#include "windowed/XSession.h"

namespace {

constexpr int kTolerance = 8; // per channel

class Windowed : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_x = new XSession(); }
    static void TearDownTestSuite()
    {
        delete s_x;
        s_x = nullptr;
    }
    void SetUp() override
    {
        if (!s_x->Ok()) GTEST_SKIP() << s_x->Why();
    }

    // Packs tests/data/windowed/<name> into the scratch folder.
    std::string Game(const char* name)
    {
        const std::string game = dir / "game.win";
        std::string said;
        EXPECT_TRUE(e2e::Pack(std::string(ZB_SOURCE_DIR) + "/tests/data/windowed/" + name + "/manifest.json", game, "", &said))
            << said;
        return game;
    }
    static std::string Golden(const char* name) { return std::string("windowed_golden/") + name; }

    static XSession* s_x;
    ScratchFolder dir;
};
XSession* Windowed::s_x = nullptr;

} // namespace

TEST_F(Windowed, ErrorDialogIgnoreLetsTheGameGoOn)
{
    WindowedRunner game(*s_x, Game("error"), dir.Path());
    ASSERT_FALSE(game.Window().empty()) << "no window\n" << game.Log() << Scratch_ReadFile(dir / "out.txt");
    EXPECT_EQ(game.WaitForPicture(Golden("error.png"), kTolerance, dir / "shot.png"), "");
    game.Click(235, 536); // Ignore
    EXPECT_TRUE(game.WaitForLog("went on")) << game.Log();
    EXPECT_EQ(game.Wait(), 0);
    EXPECT_NE(game.Log().find("ended\n"), std::string::npos);
}

TEST_F(Windowed, ErrorDialogAbortEndsTheGame)
{
    WindowedRunner game(*s_x, Game("error"), dir.Path());
    ASSERT_FALSE(game.Window().empty()) << "no window\n" << game.Log() << Scratch_ReadFile(dir / "out.txt");
    EXPECT_EQ(game.WaitForPicture(Golden("error.png"), kTolerance, dir / "shot.png"), "");
    game.Keys("Tab Tab Return"); // from Copy over Clear to Abort
    EXPECT_EQ(game.Wait(), 0);
    const std::string log = game.Log();
    EXPECT_NE(log.find("ERROR!!! :: "), std::string::npos);
    EXPECT_EQ(log.find("ended\n"), std::string::npos); // the event ran out, no later step ran
}

TEST_F(Windowed, ModalDialogsAnsweredByKeys)
{
    WindowedRunner game(*s_x, Game("modal"), dir.Path());
    ASSERT_FALSE(game.Window().empty()) << "no window\n" << game.Log() << Scratch_ReadFile(dir / "out.txt");
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

TEST_F(Windowed, AsynchronousInputAnsweredWhileTheGameSteps)
{
    WindowedRunner game(*s_x, Game("async"), dir.Path());
    ASSERT_FALSE(game.Window().empty()) << "no window\n" << game.Log() << Scratch_ReadFile(dir / "out.txt");
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
    WindowedRunner game(*s_x, Game("loop"), dir.Path());
    ASSERT_FALSE(game.Window().empty()) << "no window\n" << game.Log() << Scratch_ReadFile(dir / "out.txt");
    ASSERT_TRUE(game.WaitForLog("looping"));
    ASSERT_TRUE(game.RequestClose());
    EXPECT_EQ(game.Wait(), 0); // the machine's drain saw the close: the loop ends, the game too
    EXPECT_EQ(game.Log().find("next step\n"), std::string::npos);
}

TEST_F(Windowed, ClosingTheWindowUnderTheErrorDialogEndsTheGame)
{
    WindowedRunner game(*s_x, Game("error"), dir.Path());
    ASSERT_FALSE(game.Window().empty()) << "no window\n" << game.Log() << Scratch_ReadFile(dir / "out.txt");
    EXPECT_EQ(game.WaitForPicture(Golden("error.png"), kTolerance, dir / "shot.png"), "");
    ASSERT_TRUE(game.RequestClose()); // answered as Abort, and the close is honoured
    EXPECT_EQ(game.Wait(), 0);
    EXPECT_EQ(game.Log().find("ended\n"), std::string::npos);
}
