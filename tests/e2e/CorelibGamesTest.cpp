// End to end: a game (tests/data/games/corelib) packed in both code modes and played twice by
// build/runner with its save area in a scratch folder: text and binary files, a file shipped
// beside the game, the older single file on a save area that does not exist yet, the find list
// over both folders, a refused name, an INI file that counts the runs, the key store, dates in
// UTC, the command line and the environment, and empty texts as arguments. The log must hold
// the game's lines, and the save area the files it wrote, with the text streams' CR LF.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "E2EGames.h"
#include "support/ScratchFolder.h"

using namespace e2e;

namespace {

class CorelibGames : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        const std::string manifest = std::string(ZB_SOURCE_DIR) + "/tests/data/games/corelib/manifest.json";
        Scratch_WriteFile(dir / "game/readme.txt", "Shipped with the game\r\n");
        std::string said;
        ASSERT_TRUE(Pack(manifest, dir / "game.win", std::string("--") + GetParam(), &said)) << said;
        ASSERT_EQ(std::rename((dir / "game.win").c_str(), (dir / "game/game.win").c_str()), 0);
    }

    // Plays the game (a source-mode game under both executors, each with a save area of its
    // own); the lines it logged after the game started.
    std::string Play()
    {
        auto play = [&](const std::string& executor) {
            return PlayLogged("cd " + Quote(dir / "game") + " && XDG_DATA_HOME=" + Quote(dir / ("data" + executor)) +
                                  " TZ=UTC ZB_CORELIB_E2E=hello " + kHeadless + "ZIMBREL_MAX_FRAMES=30 " +
                                  Quote(ZB_RUNNER_PATH) + " -game game.win -output " + Quote(dir / ("log" + executor + ".txt")) + " " +
                                  executor + " >" + Quote(dir / ("out" + executor + ".txt")) + " 2>&1",
                              dir / ("log" + executor + ".txt"));
        };
        Played p = std::strcmp(GetParam(), "source") == 0 ? PlayUnderBothExecutors(play) : play("");
        EXPECT_EQ(p.code, 0) << Scratch_ReadFile(dir / "out.txt");
        return Joined(p.lines);
    }

    std::string Saved(const std::string& name) { return Scratch_ReadFile(dir / ("data/Corelib Test/" + name)); }

    ScratchFolder dir;
};

std::string Expected(int run)
{
    return "older onetwo\n"
           "text level3 |hero|1\n"
           "shipped Shipped with the game\n"
           "bytes 0 100 200 44 \n"
           "found readme.txt 10\n"
           "outside -1\n"
           "runs " + std::to_string(run) + "\n"
           "registry 0\n"
           "registry yes\n"
           "date 29/02/2024 12:30:15 01/03/2025 4 60\n"
           "parameters -game -output\n"
           "environment hello\n"
           "empty [x][..a][y]\n"
           "empty map 0 buffer 4\n";
}

TEST_P(CorelibGames, FilesIniDatesAndTheCommandLine)
{
    EXPECT_EQ(Play(), Expected(1));
    EXPECT_EQ(Saved("old.dat"), "onetwo");
    EXPECT_EQ(Saved("saves/progress.txt"), "level3 \r\nhero");
    EXPECT_EQ(Saved("data.bin"), std::string("\x00\x64\xc8\x2c", 4));
    EXPECT_EQ(Saved("settings.ini"), "[game]\r\nname=Corelib\r\nruns=1.000000\r\n");
    EXPECT_FALSE(Scratch_Exists(dir / "escape.txt"));
    EXPECT_FALSE(Scratch_Exists(dir / "game/saves"));

    // The second run reads what the first one wrote; the key store starts empty again.
    EXPECT_EQ(Play(), Expected(2));
    EXPECT_NE(Saved("settings.ini").find("runs=2.000000\r\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(BothModes, CorelibGames, ::testing::Values("source", "bytecode"));

} // namespace
