// End to end: a negative zero keeps its sign wherever code makes one, in both code modes and
// under both executors: a literal, a negated whole constant, a value stored and read back in
// every kind of variable and passed to a script, a game constant, the negation of what a
// comparison or a bitwise operator gives. arctan2(-0, -1) is -pi, arctan2(+0, -1) pi. The
// text of -0 and the comparisons with 0 stay those of 0.
#include <gtest/gtest.h>

#include <cstring>

#include "E2EGames.h"
#include "support/ScratchFolder.h"

using namespace e2e;

namespace {

const char* kCreate = "var z, a, b, c;\n"
                      "a = 1; b = 2; c = 0;\n"
                      "z = -0.0; global.g = -0.0; inst = -0.0; arr[2] = -0.0;\n"
                      "show_debug_message(\"literal \" + string(arctan2(-0.0, -1)));\n"
                      "show_debug_message(\"whole \" + string(arctan2(-0, -1)) + \" \" + string(arctan2(-0 * 5, -1)));\n"
                      "show_debug_message(\"stored \" + string(arctan2(z, -1)) + \" \" + string(arctan2(global.g, -1)) + \" \" +\n"
                      "    string(arctan2(inst, -1)) + \" \" + string(arctan2(arr[2], -1)) + \" \" + string(scr_atan(-0.0)));\n"
                      "show_debug_message(\"constant \" + string(arctan2(NZ, -1)));\n"
                      "show_debug_message(\"negated \" + string(arctan2(-c, -1)) + \" \" + string(arctan2(-(a & b), -1)) + \" \" +\n"
                      "    string(arctan2(-(a == b), -1)));\n"
                      "show_debug_message(\"positive \" + string(arctan2(0.0, -1)) + \" \" + string(arctan2(-0.0 + 0, -1)) + \" \" +\n"
                      "    string(arctan2(a & b, -1)));\n"
                      "show_debug_message(\"text \" + string(-0.0) + \" \" + string(z));\n"
                      "show_debug_message(\"compare \" + string(z == 0) + string(-0.0 == 0) + string(z < 0) + string(z >= 0) +\n"
                      "    string(z == c) + string(-0.0 != 0));\n"
                      "switch (z) { case 0: show_debug_message(\"case 0\"); break; default: show_debug_message(\"default\"); }\n"
                      "game_end();\n";

class NegativeZeroGames : public ::testing::TestWithParam<const char*> {
protected:
    ScratchFolder dir;
};

} // namespace

TEST_P(NegativeZeroGames, KeepsItsSignUnderBothExecutors)
{
    Scratch_WriteFile(dir / "create.zbl", kCreate);
    Scratch_WriteFile(dir / "game.json", R"({"name": "NegativeZero", "constants": {"NZ": "-0.0"},
      "scripts": [{"name": "scr_atan", "code": "return arctan2(argument0, -1);"}],
      "objects": [{"name": "obj", "events": [{"type": "create", "file": "create.zbl"}]}],
      "rooms": [{"name": "rm", "instances": [{"object": "obj"}]}]})");
    std::string said;
    ASSERT_TRUE(Pack(dir / "game.json", dir / "game.win", std::string("--") + GetParam(), &said)) << said;
    const Played p = PlayUnderBothExecutors([&](const std::string& executor) {
        return PlayLogged("cd " + Quote(dir.Path()) + " && " + kHeadless + "ZIMBREL_MAX_FRAMES=30 " + Quote(ZB_RUNNER_PATH) +
                              " -game game.win -output log.txt " + executor + " >out.txt 2>&1",
                          dir / "log.txt");
    });
    EXPECT_EQ(p.code, 0) << Scratch_ReadFile(dir / "out.txt");
    EXPECT_EQ(Joined(p.lines), "literal -3.14\n"
                               "whole -3.14 -3.14\n"
                               "stored -3.14 -3.14 -3.14 -3.14 -3.14\n"
                               "constant -3.14\n"
                               "negated -3.14 -3.14 -3.14\n"
                               "positive 3.14 3.14 3.14\n"
                               "text 0 0\n"
                               "compare 110110\n"
                               "case 0\n");
}

INSTANTIATE_TEST_SUITE_P(BothModes, NegativeZeroGames, ::testing::Values("source", "bytecode"));
