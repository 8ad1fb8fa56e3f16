// End to end without a display: the dialog games of tests/data/windowed played headless, their
// dialogs answered by the scripted host from ZIMBREL_DIALOG_SCRIPT; the asynchronous answer is
// delivered by the step's asynchronous phase as event 63 with its map; without a game on the
// command line the runner asks for one with the open-file dialog.
#include <gtest/gtest.h>

#include "e2e/E2EGames.h"
#include "support/ScratchFolder.h"

namespace {

struct Played {
    int code;
    std::string log, out;
};

// Plays the game (none: "") with the script; the log and what the runner printed.
Played Play(ScratchFolder& dir, const std::string& game, const std::string& script)
{
    Scratch_WriteFile(dir / "script.txt", script);
    const std::string args = game.empty() ? "" : " -game " + e2e::Quote(game);
    Played r;
    r.code = e2e::Shell("cd " + e2e::Quote(dir.Path()) + " && " + e2e::kHeadless + "ZIMBREL_MAX_FRAMES=200 ZIMBREL_DIALOG_SCRIPT=" +
                        e2e::Quote(dir / "script.txt") + " " + e2e::Quote(ZB_RUNNER_PATH) + args + " -output " +
                        e2e::Quote(dir / "log.txt") + " >" + e2e::Quote(dir / "out.txt") + " 2>&1");
    r.log = Scratch_ReadFile(dir / "log.txt");
    r.out = Scratch_ReadFile(dir / "out.txt");
    return r;
}

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
    Played r = Play(dir, Pack(dir, "modal"), "message OK\ninput =12 OK\nquestion No\n");
    EXPECT_EQ(r.code, 0) << r.out;
    const std::vector<std::string> said = e2e::GameLines(r.log);
    EXPECT_EQ(e2e::Joined(said), "message\ninteger\ninteger 12\nquestion 0\n");
}

TEST(DialogGames, AsynchronousAnswerArrivesAsEvent63)
{
    ScratchFolder dir;
    Played r = Play(dir, Pack(dir, "async"), "input =Zed OK\n");
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.log.find("asked\nanswer id 1 status 1 result Zed at step 0\n"), std::string::npos) << r.log;
}

TEST(DialogGames, WithoutAGameTheOpenDialogAsksForOne)
{
    ScratchFolder dir;
    const std::string game = Pack(dir, "modal");
    Played r = Play(dir, "", "open =" + game + " OK\nmessage OK\ninput Cancel\nquestion Yes\n");
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.log.find("RunnerLoadGame() - " + game + "\n"), std::string::npos) << r.log;
    EXPECT_NE(r.log.find("integer 0\nquestion 1\n"), std::string::npos) << r.log;
    // Cancelled: the run ends with code 1.
    r = Play(dir, "", "open Cancel\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("usage:"), std::string::npos);
}
