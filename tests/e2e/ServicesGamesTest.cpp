// End to end: the physics game of tests/data/games/physics packed in both code modes and played
// headless by build/runner: the room's world is made from the room record, the bodies from the
// objects' physics fields; a ball falls onto a static floor, reports the contact from its
// collision event (points, point, normal) and, once asleep, its resting place.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "E2EGames.h"
#include "support/ScratchFolder.h"

using namespace e2e;

namespace {

class ServicesGames : public ::testing::TestWithParam<const char*> {};

} // namespace

TEST_P(ServicesGames, ABallFallsOntoTheFloorAndSleeps)
{
    ScratchFolder dir;
    const std::string manifest = std::string(ZB_SOURCE_DIR) + "/tests/data/games/physics/manifest.json";
    const std::string game = dir / "game.win";
    std::string messages;
    ASSERT_TRUE(Pack(manifest, game, std::string("--") + GetParam(), &messages)) << messages;
    auto play = [&](const std::string& executor) {
        return PlayLogged("cd " + Quote(dir.Path()) + " && " + kHeadless + "ZIMBREL_MAX_FRAMES=300 " + Quote(ZB_RUNNER_PATH) +
                              " -game " + Quote(game) + " -output " + Quote(dir / ("log" + executor + ".txt")) + " " + executor + " >" +
                              Quote(dir / ("out" + executor + ".txt")) + " 2>&1",
                          dir / ("log" + executor + ".txt"));
    };
    const Played p = std::strcmp(GetParam(), "source") == 0 ? PlayUnderBothExecutors(play) : play("");
    EXPECT_EQ(p.code, 0) << Scratch_ReadFile(dir / "out.txt");
    std::vector<std::string> said;
    std::istringstream in(p.all);
    for (std::string l; std::getline(in, l);)
        if (l.rfind("floor ", 0) == 0 || l.rfind("landed ", 0) == 0 || l.rfind("asleep ", 0) == 0) said.push_back(l);
    // The floor is static (no mass); the ball meets its top (y = 200) at one point with the
    // normal pointing up from the floor, and comes to rest with its centre 8 pixels above it.
    EXPECT_EQ(said, (std::vector<std::string>{"floor 0 0", "landed 1 200 -1", "asleep 192 1"})) << p.all;
}

INSTANTIATE_TEST_SUITE_P(Modes, ServicesGames, ::testing::Values("source", "bytecode"));
