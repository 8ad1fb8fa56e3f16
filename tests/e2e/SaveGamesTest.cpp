// End to end: a packed game saves itself to a file and a buffer, changes, goes to another room
// and loads itself back (both code modes): globals, global variables and arrays, rooms,
// instances with their variables, alarms, paths and time lines come back at the next step; a
// file of another version and a cut buffer are refused with the game going on unchanged; the
// warnings of the load queue. A second game calls each world built-in registered with the save
// and load work once and checks what it did.
#include <gtest/gtest.h>

#include <cstring>

#include "e2e/E2EGames.h"
#include "support/ScratchFolder.h"

namespace {

class SaveGames : public ::testing::TestWithParam<const char*> {
protected:
    std::string Game(const char* name) { return std::string(ZB_SOURCE_DIR) + "/tests/data/games/" + name + "/manifest.json"; }

    // Packs and plays the game in the scratch folder (a source-mode game under both executors,
    // each with a save area of its own); the log's game lines.
    std::vector<std::string> Play(const char* name, std::string* all)
    {
        const std::string game = dir / "game.win";
        std::string messages;
        EXPECT_TRUE(e2e::Pack(Game(name), game, std::string("--") + GetParam(), &messages)) << messages;
        auto play = [&](const std::string& executor) {
            return e2e::PlayLogged("cd " + e2e::Quote(dir.Path()) + " && HOME=" + e2e::Quote(dir.Path()) +
                                       " XDG_DATA_HOME=" + e2e::Quote(dir / ("data" + executor)) + " " + e2e::kHeadless +
                                       "ZIMBREL_MAX_FRAMES=100 " + e2e::Quote(ZB_RUNNER_PATH) + " -game " + e2e::Quote(game) +
                                       " -output " + e2e::Quote(dir / ("log" + executor + ".txt")) + " " + executor + " >/dev/null 2>&1",
                                   dir / ("log" + executor + ".txt"));
        };
        e2e::Played p = std::strcmp(GetParam(), "source") == 0 ? e2e::PlayUnderBothExecutors(play) : play("");
        EXPECT_EQ(p.code, 0);
        *all = p.all;
        return p.lines;
    }

    ScratchFolder dir;
};

} // namespace

TEST_P(SaveGames, SaveChangeAndLoadBack)
{
    std::string all;
    const std::string lines = e2e::Joined(Play("savegame", &all));
    EXPECT_EQ(lines,
              "#! GAME_SAVE\n"
              "#! GAME_SAVE\n"
              "save buffer 1 0\n"
              "in room 1 g 99\n"
              "WARNING: Load game being ignored due to load game already queued\n"
              "WARNING: Load game being ignored due to load game already queued\n"
              "queued 0\n"
              "#! GAME_LOAD\n"
              "loaded room 0 g 5 saved 7\n"
              "score 42 lives 3 health 55 things 2\n"
              "thing 10 20 hp 10 alarm 50 path 0 tl 0 3\n"
              "thing 30 40 hp 30 alarm 50 path 0 tl 0 3\n"
              "#! GAME_LOAD\n"
              "Load game refused: the saved data is of another version; the game goes on as it was\n"
              "after bad g 77 room 0\n"
              "#! GAME_LOAD\n"
              "Load game refused: the global variables are damaged; the game goes on as it was\n"
              "after cut g 77\n"
              "#! GAME_LOAD\n"
              "from buffer g 5 things 2\n")
        << all;
}

TEST_P(SaveGames, WorldBuiltinsDoWhatTheySay)
{
    std::string all;
    const std::string lines = e2e::Joined(Play("world_builtins", &all));
    EXPECT_EQ(lines,
              "grid 0 path 1 5\n"
              "grid path after destroy 0\n"
              "linear 1 1 1 1\n"
              "potential 1 1 1 1\n"
              "rooms 1 2 assign 1 0\n"
              "tile 1\n"
              "paths 1 pth 1 10\n"
              "deleted 0 <undefined>\n"
              "object 2 __newobject2 parent 1\n" // and no "user 0": the event was cleared
              "deleted object 0\n"
              "assets 0 3 5 6 8 -1\n"
              "script 5 text 1\n"
              "window 1 mouse 0 0 config Release\n"
              "#! GAME_SAVE\n"
              "#! GAME_SAVE\n"
              "saved 1 1\n"
              "#! GAME_LOAD\n"
              "step\n")
        << all;
}

INSTANTIATE_TEST_SUITE_P(BothModes, SaveGames, ::testing::Values("source", "bytecode"));
