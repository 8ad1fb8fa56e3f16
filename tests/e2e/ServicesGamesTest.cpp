// End to end: the physics game of tests/data/games/physics packed in both code modes and played
// headless by build/runner: the room's world is made from the room record, the bodies from the
// objects' physics fields; a ball falls onto a static floor, reports the contact from its
// collision event (points, point, normal) and, once asleep, its resting place.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "support/ScratchFolder.h"

namespace {

std::string Quote(const std::string& s) { return "'" + s + "'"; }
int Shell(const std::string& line) { return WEXITSTATUS(std::system(line.c_str())); }

class ServicesGames : public ::testing::TestWithParam<const char*> {};

} // namespace

TEST_P(ServicesGames, ABallFallsOntoTheFloorAndSleeps)
{
    ScratchFolder dir;
    const std::string manifest = std::string(ZB_SOURCE_DIR) + "/tests/data/games/physics/manifest.json";
    const std::string game = dir / "game.win";
    ASSERT_EQ(Shell(Quote(ZB_GAMEPACK_PATH) + " " + Quote(manifest) + " " + Quote(game) + " --" + GetParam() + " >" +
                    Quote(dir / "pack.txt") + " 2>&1"),
              0)
        << Scratch_ReadFile(dir / "pack.txt");
    const std::string log = dir / "log.txt";
    const int code = Shell("cd " + Quote(dir.Path()) +
                           " && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ALSOFT_DRIVERS=null ZIMBREL_MAX_FRAMES=300 " +
                           Quote(ZB_RUNNER_PATH) + " -game " + Quote(game) + " -output " + Quote(log) + " >" +
                           Quote(dir / "out.txt") + " 2>&1");
    EXPECT_EQ(code, 0) << Scratch_ReadFile(dir / "out.txt");
    std::vector<std::string> said;
    std::istringstream in(Scratch_ReadFile(log));
    for (std::string l; std::getline(in, l);)
        if (l.rfind("floor ", 0) == 0 || l.rfind("landed ", 0) == 0 || l.rfind("asleep ", 0) == 0) said.push_back(l);
    // The floor is static (no mass); the ball meets its top (y = 200) at one point with the
    // normal pointing up from the floor, and comes to rest with its centre 8 pixels above it.
    EXPECT_EQ(said, (std::vector<std::string>{"floor 0 0", "landed 1 200 -1", "asleep 192 1"})) << Scratch_ReadFile(log);
}

INSTANTIATE_TEST_SUITE_P(Modes, ServicesGames, ::testing::Values("source", "bytecode"));
