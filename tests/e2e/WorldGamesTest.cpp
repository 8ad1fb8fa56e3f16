// End to end: games of tests/data/games packed by build/gamepack in both code modes and played
// headless by build/runner; each game writes what happens with show_debug_message, and the
// log ("-output") must hold exactly those lines in order: the event phases of a step, creation
// at room start with either order option, room switching with persistent objects and rooms,
// restart and end of the game, collisions with solid back-off, outside and boundary events,
// animation end, time lines both ways, paths with each end action, and keyboard and mouse
// events from a playback file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "support/ScratchFolder.h"

namespace {

std::string Quote(const std::string& s) { return "'" + s + "'"; }

int Shell(const std::string& line) { return WEXITSTATUS(std::system(line.c_str())); }

struct Played {
    int code = -1;
    std::vector<std::string> lines; // what the game said (the log after "StartGame()")
    std::string all;
};

class WorldGames : public ::testing::TestWithParam<const char*> {
protected:
    std::string Game(const char* name) { return std::string(ZB_SOURCE_DIR) + "/tests/data/games/" + name + "/manifest.json"; }

    // Packs the game in the mode of the test's parameter and plays it.
    Played Play(const std::string& manifest, const std::string& extra = "")
    {
        const std::string game = dir / "game.win";
        const std::string mode = std::string("--") + GetParam();
        int packed = Shell(Quote(ZB_GAMEPACK_PATH) + " " + Quote(manifest) + " " + Quote(game) + " " + mode + " >" +
                           Quote(dir / "pack.txt") + " 2>&1");
        EXPECT_EQ(packed, 0) << Scratch_ReadFile(dir / "pack.txt");
        Played p;
        const std::string log = dir / "log.txt";
        std::remove(log.c_str());
        p.code = Shell("SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ALSOFT_DRIVERS=null ZIMBREL_MAX_FRAMES=300 " +
                       Quote(ZB_RUNNER_PATH) + " -game " + Quote(game) + " -output " + Quote(log) + " " + extra + " >" +
                       Quote(dir / "out.txt") + " 2>&1");
        p.all = Scratch_ReadFile(log);
        std::istringstream in(p.all);
        bool started = false;
        for (std::string l; std::getline(in, l);) {
            if (l == "StartGame()") {
                started = true;
                continue;
            }
            if (!started || l == "StartGame() - DONE" || l.rfind("Total memory used", 0) == 0 ||
                l == "**********************************." || l == "Entering main loop.")
                continue;
            p.lines.push_back(l);
        }
        return p;
    }

    ScratchFolder dir;
};

std::string Joined(const std::vector<std::string>& v)
{
    std::string s;
    for (const std::string& l : v) s += l + "\n";
    return s;
}

} // namespace

TEST_P(WorldGames, EventPhasesOfEachStep)
{
    Played p = Play(Game("phases"));
    EXPECT_EQ(p.code, 0) << p.all;
    EXPECT_EQ(Joined(p.lines), "create\ngame start\nroom start\ndraw\n"
                               "begin 1\nstep\nend\ndraw\n"
                               "begin 2\nalarm\nstep\nend\ndraw\n"
                               "begin 3\nstep\nend\n"
                               "room end\ngame end\n")
        << p.all;
}

TEST_P(WorldGames, CreationAtRoomStartInBothOrders)
{
    Played p = Play(Game("create_order"));
    EXPECT_EQ(Joined(p.lines), "code 1\ncreate 1\ncode 2\ncreate 2\nroom code\nroom start 1\nroom start 2\n") << p.all;
    // The same game with the create event first.
    std::string manifest = Scratch_ReadFile(Game("create_order"));
    const std::string off = "\"create_event_first\": false";
    manifest.replace(manifest.find(off), off.size(), "\"create_event_first\": true");
    Scratch_WriteFile(dir / "first.json", manifest);
    p = Play(dir / "first.json");
    EXPECT_EQ(Joined(p.lines), "create 1\ncode 1\ncreate 2\ncode 2\nroom code\nroom start 1\nroom start 2\n") << p.all;
}

TEST_P(WorldGames, RoomsPersistenceRestartAndEnd)
{
    Played p = Play(Game("rooms"));
    EXPECT_EQ(p.code, 0);
    EXPECT_EQ(Joined(p.lines), "ctl create 1\nthing create 0\nroom 0 things 1\n"
                               "thing room end 0\nthing create 1\nroom 1 things 1\n"
                               "thing room end 1\nthing create 0\nroom 0 things 1\n"
                               "thing room end 0\nroom 1 things 1\n"
                               "thing room end 1\n"
                               "ctl create 2\nthing create 0\nroom 0 things 1\n"
                               "thing room end 0\n")
        << p.all;
}

TEST_P(WorldGames, CollisionsOutsideBoundaryAndAnimation)
{
    Played p = Play(Game("collide"));
    EXPECT_EQ(Joined(p.lines), "boundary 630\nboundary 640\noutside 650\nanim\nanim\nhit 180 200\nanim\n") << p.all;
}

TEST_P(WorldGames, TimeLinesBothWaysAndPathEndActions)
{
    Played p = Play(Game("timeline_path"));
    EXPECT_EQ(Joined(p.lines), "m0\nm2\n"
                               "end 0 40 -1\nend 1 0 0\nend 2 40 0\nend 3 40 0\n"
                               "m5\nm5\n"
                               "end 1 0 0\nend 2 80 0\nend 3 0 0\n"
                               "m2\n"
                               "end 1 0 0\nend 2 120 0\nend 3 40 0\n"
                               "m0\n")
        << p.all;
}

TEST_P(WorldGames, KeyboardAndMouseFromAPlaybackFile)
{
    // One record a step (layout of the input layer's record files): step 2 presses A and the
    // left button at (10, 10) over the button, step 3 holds both, step 4 releases both.
    constexpr size_t kSize = 2939, kKeyDown = 2060, kKeyReleased = 2316, kKeyPressed = 2572;
    constexpr size_t kMouseDown = 2868, kMouseReleased = 2883, kMousePressed = 2898, kMouseX = 2931;
    std::vector<uint8_t> file(kSize * 6, 0);
    auto put32 = [&](size_t at, int32_t v) { std::memcpy(&file[at], &v, 4); };
    for (size_t s = 0; s < 6; ++s) {
        put32(s * kSize + kMouseX, 10);
        put32(s * kSize + kMouseX + 4, 10);
    }
    file[1 * kSize + kKeyDown + 65] = file[1 * kSize + kKeyPressed + 65] = 1;
    file[2 * kSize + kKeyDown + 65] = 1;
    file[3 * kSize + kKeyReleased + 65] = 1;
    file[1 * kSize + kMouseDown] = file[1 * kSize + kMousePressed] = 1;
    file[2 * kSize + kMouseDown] = 1;
    file[3 * kSize + kMouseReleased] = 1;
    std::ofstream(dir / "input.rec", std::ios::binary).write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    Played p = Play(Game("input"), "-playback " + Quote(dir / "input.rec"));
    EXPECT_EQ(Joined(p.lines), "step 1\n"
                               "step 2\nheld A\npress A\nleft held on button\nleft pressed on button\nglobal left pressed\n"
                               "step 3\nheld A\nleft held on button\n"
                               "step 4\nrelease A\nleft released on button\n"
                               "step 5\nstep 6\n")
        << p.all;
}

INSTANTIATE_TEST_SUITE_P(BothModes, WorldGames, ::testing::Values("source", "bytecode"));
