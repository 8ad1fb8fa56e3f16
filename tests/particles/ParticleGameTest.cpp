// End to end: the game of tests/data/games/particles packed by build/gamepack in both code modes
// and played headless by build/runner. What it writes with show_debug_message must come in
// order: a system, types, one particle and an emitter's stream counted step by step (the
// update runs once a step, after the step events), the system drawn between the instances by
// depth (one behind sees the background, one in front sees the particle), effects below and
// above (the above system is drawn after every instance, so only the GUI event sees it), the
// effects emptied at the next room's start while the game's own system goes on, and after a
// game restart every system and type gone, so the game makes them again at index 0.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <sstream>

#include "support/ScratchFolder.h"

namespace {

std::string Quote(const std::string& s) { return "'" + s + "'"; }

int Shell(const std::string& line) { return WEXITSTATUS(std::system(line.c_str())); }

class ParticleGame : public ::testing::TestWithParam<const char*> {
protected:
    ScratchFolder dir;
};

TEST_P(ParticleGame, PlaysHeadless)
{
    const std::string manifest = std::string(ZB_SOURCE_DIR) + "/tests/data/games/particles/manifest.json";
    const std::string game = dir / "game.win", log = dir / "log.txt";
    ASSERT_EQ(Shell(Quote(ZB_GAMEPACK_PATH) + " " + Quote(manifest) + " " + Quote(game) + " --" + GetParam() + " >" +
                    Quote(dir / "pack.txt") + " 2>&1"),
              0)
        << Scratch_ReadFile(dir / "pack.txt");
    const int code = Shell("SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ALSOFT_DRIVERS=null ZIMBREL_MAX_FRAMES=300 "
                           "XDG_DATA_HOME=" + Quote(dir / "xdg") + " " + Quote(ZB_RUNNER_PATH) + " -game " + Quote(game) +
                           " -output " + Quote(log) + " >" + Quote(dir / "out.txt") + " 2>&1");
    const std::string all = Scratch_ReadFile(log);
    EXPECT_EQ(code, 0) << all;
    std::string said;
    std::istringstream in(all);
    bool started = false;
    for (std::string l; std::getline(in, l);) {
        if (l == "StartGame()") started = true;
        if (l == std::string(63, '-')) break; // the frame-rate statistics at shutdown
        if (!started || l.rfind("StartGame()", 0) == 0 || l.rfind("Total memory used", 0) == 0 ||
            l == "**********************************." || l == "Entering main loop.")
            continue;
        said += l + "\n";
    }
    EXPECT_EQ(said, "create run 1 system 0 type 0\n"
                    "made 0 0 1 0\n"
                    "room start 0 effects 0 count 1\n"
                    "step 1 count 1\n"
                    "step 2 count 3\n"
                    "behind sees 0\n"
                    "in front sees 255\n"
                    "step 3 count 5\n"
                    "effects below 1 above 22\n"
                    "below drawn 1, above not yet 1\n"
                    "above drawn 1\n"
                    "step 20 count 21\n"
                    "room start 1 effects 0 count 21\n"
                    "create run 2 system 0 type 0\n"
                    "made 0 0 1 0\n"
                    "room start 0 effects 0 count 1\n"
                    "step 1 count 1\n"
                    "step 2 count 3\n"
                    "step 3 count 5\n")
        << all;
}

INSTANTIATE_TEST_SUITE_P(Modes, ParticleGame, ::testing::Values("source", "bytecode"));

} // namespace
