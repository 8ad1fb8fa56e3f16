// End to end: tests/data/threed_game packed by build/gamepack in both code modes and played
// headless by build/runner. The game builds a model, saves it into its save area, loads it
// into another, asks about transitions, then draws a lit scene of shapes and the loaded model
// in 3D and saves a screenshot. The log, the model file (to the letter) and the picture are
// checked.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "Files/Graphics_API/Graphics_PNG.h"
#include "Platform/MemoryManager.h"
#include "support/ScratchFolder.h"

namespace {

std::string Quote(const std::string& s) { return "'" + s + "'"; }

int Shell(const std::string& line) { return WEXITSTATUS(std::system(line.c_str())); }

std::string Record(int kind, std::initializer_list<float> values)
{
    char buffer[256];
    int n = std::snprintf(buffer, sizeof buffer, "%d", kind);
    size_t i = 0;
    for (float v : values) {
        n += std::snprintf(buffer + n, sizeof buffer - (size_t)n, " %10.4f", (double)v);
        ++i;
    }
    for (; i < 10; ++i) n += std::snprintf(buffer + n, sizeof buffer - (size_t)n, " %10.4f", 0.0);
    return std::string(buffer) + "\n";
}

class ThreeDGame : public ::testing::TestWithParam<const char*> {};

TEST_P(ThreeDGame, DrawsIn3DAndSavesAModel)
{
    ScratchFolder dir;
    const std::string manifest = std::string(ZB_SOURCE_DIR) + "/tests/data/threed_game/manifest.json";
    const std::string game = dir / "game.win";
    int packed = Shell(Quote(ZB_GAMEPACK_PATH) + " " + Quote(manifest) + " " + Quote(game) + " --" + GetParam() + " >" +
                       Quote(dir / "pack.txt") + " 2>&1");
    ASSERT_EQ(packed, 0) << Scratch_ReadFile(dir / "pack.txt");
    const std::string log = dir / "log.txt";
    int code = Shell("SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ALSOFT_DRIVERS=null ZIMBREL_MAX_FRAMES=100 " +
                     std::string("XDG_DATA_HOME=") + Quote(dir / "data") + " " + Quote(ZB_RUNNER_PATH) + " -game " +
                     Quote(game) + " -output " + Quote(log) + " >" + Quote(dir / "out.txt") + " 2>&1");
    std::string all = Scratch_ReadFile(log);
    EXPECT_EQ(code, 0) << all << Scratch_ReadFile(dir / "out.txt");

    std::vector<std::string> said;
    std::istringstream in(all);
    for (std::string l; std::getline(in, l);)
        for (const char* p : {"saved ", "model ", "loaded ", "missing ", "transition ", "steps ", "shot",
                              "d3d_model_load - "})
            if (l.rfind(p, 0) == 0) said.push_back(l);
    std::vector<std::string> expect = {"saved 1",
                                       "model 0",
                                       "loaded 1",
                                       "d3d_model_load - unable to find file models/none.txt",
                                       "missing 0",
                                       "transition 1 0",
                                       "steps 1",
                                       "shot"};
    EXPECT_EQ(said, expect) << all;

    // The model file, to the letter.
    const std::string saveArea = dir / "data/ThreeDGame/";
    std::string text = "100\n6\n" + Record(10, {-10, -10, 0, 10, 10, 20, 1, 1}) + Record(0, {4}) +
                       Record(7, {-10, 10, 20, 0, 1, 0, 255, 1}) + Record(7, {10, 10, 20, 0, 1, 0, 255, 1}) +
                       Record(7, {0, 10, 45.5f, 0, 1, 0, 255, 1}) + Record(1, {});
    EXPECT_EQ(Scratch_ReadFile(saveArea + "models/tower.txt"), text);

    // The picture: the room's colour where nothing was drawn, the lit white floor, the lime
    // tower in the middle, its red roof above it.
    std::string png = Scratch_ReadFile(saveArea + "shot.png");
    ASSERT_FALSE(png.empty()) << all;
    int32_t w = 0, h = 0;
    uint32_t* px = GR_PNG_DecodeToBlock(png.data(), (uint32_t)png.size(), &w, &h);
    ASSERT_NE(px, nullptr);
    ASSERT_EQ(w, 160);
    ASSERT_EQ(h, 120);
    auto at = [&](int x, int y) { return px[y * w + x] & 0xFFFFFF; };
    EXPECT_EQ(at(2, 2), 0x102040u) << "the room colour above the horizon";
    uint32_t floor = at(80, 115);
    EXPECT_GT(floor & 0xFF, 0x60u);
    EXPECT_EQ((floor >> 16) & 0xFF, floor & 0xFF) << "white light on a white floor stays grey";
    int lime = 0, red = 0, blue = 0, yellow = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t c = at(x, y);
            int r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
            // Lit colours carry the grey of the ambient light: count by the leading channels.
            lime += g > r + 0x50 && g > b + 0x50;
            red += r > g + 0x50 && r > b + 0x50;
            blue += b > r + 0x50 && b > g + 0x50;
            yellow += r > b + 0x50 && g > b + 0x50;
        }
    EXPECT_GT(lime, 100) << "the tower";
    EXPECT_GT(red, 20) << "its roof";
    EXPECT_GT(blue, 100) << "the cylinder";
    EXPECT_GT(yellow, 100) << "the ellipsoid";
    MEM_FREE(px);
}

INSTANTIATE_TEST_SUITE_P(Modes, ThreeDGame, ::testing::Values("source", "bytecode"));

} // namespace
