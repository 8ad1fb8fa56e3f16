// End to end without a display: the dialog games of tests/data/windowed played headless, their
// dialogs answered by the scripted host from ZIMBREL_DIALOG_SCRIPT; the asynchronous answer is
// delivered by the step's asynchronous phase as event 63 with its map; without a game on the
// command line the runner asks for one with the open-file dialog.
#include <gtest/gtest.h>

#include "e2e/E2EGames.h"
#include "support/ScratchFolder.h"

namespace {

// Plays the game (none: "") with the script, with executor among the runner's options.
e2e::Played Play(ScratchFolder& dir, const std::string& game, const std::string& script, const std::string& executor = "")
{
    Scratch_WriteFile(dir / "script.txt", script);
    const std::string args = game.empty() ? "" : " -game " + e2e::Quote(game);
    return e2e::PlayLogged("cd " + e2e::Quote(dir.Path()) + " && " + e2e::kHeadless +
                               "ZIMBREL_MAX_FRAMES=200 ZIMBREL_DIALOG_SCRIPT=" + e2e::Quote(dir / "script.txt") + " " +
                               e2e::Quote(ZB_RUNNER_PATH) + args + " -output " + e2e::Quote(dir / "log.txt") + " " +
                               executor + " >" + e2e::Quote(dir / "out.txt") + " 2>&1",
                           dir / "log.txt");
}

// The same under both executors.
e2e::Played PlayBoth(ScratchFolder& dir, const std::string& game, const std::string& script)
{
    return e2e::PlayUnderBothExecutors([&](const std::string& executor) { return Play(dir, game, script, executor); });
}

std::string Out(ScratchFolder& dir) { return Scratch_ReadFile(dir / "out.txt"); }

std::string Pack(ScratchFolder& dir, const char* name)
{
    std::string said;
    const std::string game = dir / "game.win";
    EXPECT_TRUE(e2e::Pack(std::string(ZB_SOURCE_DIR) + "/tests/data/windowed/" + name + "/manifest.json", game, "", &said))
        << said;
    return game;
}

} // namespace

TEST(DialogGames, ModalDialogsAnsweredByTheScript)
{
    ScratchFolder dir;
    e2e::Played r = PlayBoth(dir, Pack(dir, "modal"), "message OK\ninput =12 OK\nquestion No\n");
    EXPECT_EQ(r.code, 0) << r.all;
    EXPECT_EQ(e2e::Joined(r.lines), "message\ninteger\ninteger 12\nquestion 0\n");
}

TEST(DialogGames, AMessageWithoutItsLineIsWrittenLineByLine)
{
    ScratchFolder dir;
    e2e::Played r = Play(dir, Pack(dir, "modal"), "input Cancel\nquestion No\n");
    EXPECT_EQ(r.code, 0) << r.all;
    const std::string out = Out(dir);
    EXPECT_NE(out.find("Hello there\nsecond line\n"), std::string::npos) << out;
    EXPECT_EQ(out.find('\r'), std::string::npos) << out;
}

TEST(DialogGames, AsynchronousAnswerArrivesAsEvent63)
{
    ScratchFolder dir;
    e2e::Played r = PlayBoth(dir, Pack(dir, "async"), "input =Zed OK\n");
    EXPECT_EQ(r.code, 0) << r.all;
    EXPECT_NE(r.all.find("asked\nanswer id 1 status 1 result Zed at step 0\n"), std::string::npos) << r.all;
}

TEST(DialogGames, WithoutAGameTheOpenDialogAsksForOne)
{
    ScratchFolder dir;
    const std::string game = Pack(dir, "modal");
    e2e::Played r = Play(dir, "", "open =" + game + " OK\nmessage OK\ninput Cancel\nquestion Yes\n");
    EXPECT_EQ(r.code, 0) << Out(dir);
    EXPECT_NE(r.all.find("RunnerLoadGame() - " + game + "\n"), std::string::npos) << r.all;
    EXPECT_NE(r.all.find("integer 0\nquestion 1\n"), std::string::npos) << r.all;
    // Cancelled: the run ends with code 1.
    r = Play(dir, "", "open Cancel\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(Out(dir).find("usage:"), std::string::npos);
}
