// End to end: images at the runner's texture limit, 8192 pixels a side. A font with more glyphs
// than one row of a texture page holds draws every character as a font of few glyphs does; a
// sprite 8192 pixels wide, packed or added while the game runs, draws its last columns from
// their own pixels; a game file of another
// writer with a page wider than a texture holds plays on without that page and says which.
// Each game saves a picture of its second frame, which the test reads.
#include <gtest/gtest.h>

#include "E2EGames.h"
#include "GamePack_Writer.h"
#include "support/GameFileTools.h"
#include "support/ScratchFolder.h"

using namespace e2e;

namespace {

const char* kFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// The draw event's end: the picture of the second frame is saved and the game ends.
const char* kShootAtSecondFrame = "shown += 1;\nif (shown == 2) { screen_save(\"shot.png\"); game_end(); }\n";

class TextureLimitGames : public ::testing::Test {
protected:
    struct Run {
        int code = -1;
        std::string err;
        PackImage shot;
        // 0xRRGGBB of pixel (x, y).
        uint32_t Rgb(int32_t x, int32_t y) const
        {
            const uint8_t* p = &shot.rgba[(size_t(y) * size_t(shot.width) + size_t(x)) * 4];
            return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
        }
    };

    // Plays the game file headless (its save area in the scratch folder) and reads the picture
    // the game named name saved.
    Run Play(const std::string& game, const std::string& name)
    {
        Run r;
        r.code = Shell("cd " + Quote(dir.Path()) + " && " + kHeadless + "XDG_DATA_HOME=" + Quote(dir / "save") +
                       " ZIMBREL_MAX_FRAMES=60 " + Quote(ZB_RUNNER_PATH) + " -game " + Quote(game) + " -output " +
                       Quote(dir / "log.txt") + " >/dev/null 2>" + Quote(dir / "err.txt"));
        r.err = Scratch_ReadFile(dir / "err.txt");
        std::string error;
        EXPECT_TRUE(GamePack_ReadPng(dir / ("save/" + name + "/shot.png"), r.shot, error)) << error << "\n" << r.err;
        return r;
    }

    ScratchFolder dir;
};

} // namespace

TEST_F(TextureLimitGames, FontsWiderThanAPageAndSpritesAtTheLimitDrawFromTheirOwnPixels)
{
    // Red and green stripes 4 pixels wide over 8192 columns.
    PackImage stripes = TestImage(8192, 4, 0, 0, 0, 255);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 8192; ++x) stripes.rgba[(size_t(y) * 8192 + size_t(x)) * 4 + ((x / 4) % 2 ? 1 : 0)] = 255;
    TestImage_WritePng(dir / "stripes.png", stripes);
    // Characters 32 to 1103 at size 16 need some 12,900 pixels in one row: the sheet wraps.
    // Each line is drawn twice, by that font and by one whose sheet is one short row.
    Scratch_WriteFile(dir / "draw.zbl", std::string("draw_sprite(spr_stripes, 0, 0, 0);\n"
                                                    "draw_sprite(spr_stripes, 0, 320 - 8192, 8);\n"
                                                    "draw_sprite(added, 0, 320 - 8192, 12);\n"
                                                    "draw_set_colour(c_white);\n"
                                                    "draw_set_font(fnt_all); draw_text(4, 16, \"Hello, World! {0123}\");\n"
                                                    "draw_set_font(fnt_ascii); draw_text(4, 46, \"Hello, World! {0123}\");\n"
                                                    "draw_set_font(fnt_all); draw_text(4, 76, \"ПриветМирЁжЯ\");\n"
                                                    "draw_set_font(fnt_cyrillic); draw_text(4, 106, \"ПриветМирЁжЯ\");\n") +
                                            kShootAtSecondFrame);
    const std::string font = std::string(R"("ttf": ")") + kFont + R"(", "size": 16)";
    Scratch_WriteFile(dir / "game.json", R"({"name": "Limits",
      "sprites": [{"name": "spr_stripes", "image": "stripes.png"}],
      "fonts": [{"name": "fnt_all", )" + font + R"(, "first": 32, "last": 1103},
                {"name": "fnt_ascii", )" + font + R"(, "first": 32, "last": 126},
                {"name": "fnt_cyrillic", )" + font + R"(, "first": 1025, "last": 1103}],
      "objects": [{"name": "obj", "events": [{"type": "create", "code": "shown = 0; added = sprite_add(\"stripes.png\", 1, false, false, 0, 0);"},
                                             {"type": "draw", "file": "draw.zbl"}]}],
      "rooms": [{"name": "rm", "width": 320, "height": 136, "colour": 0, "instances": [{"object": "obj"}]}]})");
    std::string said;
    ASSERT_TRUE(Pack(dir / "game.json", dir / "game.win", "", &said)) << said;
    const Run r = Play(dir / "game.win", "Limits");
    ASSERT_EQ(r.code, 0) << r.err;
    ASSERT_EQ(r.shot.width, 320);

    for (int32_t x = 0; x < 320; ++x) {
        EXPECT_EQ(r.Rgb(x, 1), (x / 4) % 2 ? 0x00FF00u : 0xFF0000u) << "first columns, x " << x;
        EXPECT_EQ(r.Rgb(x, 9), ((8192 - 320 + x) / 4) % 2 ? 0x00FF00u : 0xFF0000u) << "last columns, x " << x;
        EXPECT_EQ(r.Rgb(x, 13), ((8192 - 320 + x) / 4) % 2 ? 0x00FF00u : 0xFF0000u) << "added, last columns, x " << x;
    }
    // Each line by the large font, pixel for pixel as the small font draws it.
    for (int32_t line : {16, 76}) {
        int64_t inked = 0, differ = 0;
        for (int32_t y = line; y < line + 30; ++y)
            for (int32_t x = 0; x < 320; ++x) {
                inked += r.Rgb(x, y + 30) != 0;
                differ += r.Rgb(x, y) != r.Rgb(x, y + 30);
            }
        EXPECT_GT(inked, 200) << "line at " << line;
        EXPECT_EQ(differ, 0) << "line at " << line;
    }
}

TEST_F(TextureLimitGames, PageWiderThanATextureHoldsIsLeftOutAndNamed)
{
    // Two pages (a sprite wider than the page size gets its own): the second, the red square's,
    // becomes 8200 pixels of stripes in the file, which no texture holds.
    TestImage_WritePng(dir / "blue.png", TestImage(100, 8, 0, 0, 255, 255));
    TestImage_WritePng(dir / "red.png", TestImage(8, 8, 255, 0, 0, 255));
    Scratch_WriteFile(dir / "draw.zbl", std::string("draw_sprite(spr_blue, 0, 0, 0);\ndraw_sprite(spr_red, 0, 0, 20);\n"
                                                    "draw_set_colour(c_white);\ndraw_rectangle(0, 40, 7, 47, false);\n") +
                                            kShootAtSecondFrame);
    PackOutput packed = TestPack(R"({"name": "Wide", "texture_page_size": 64,
      "sprites": [{"name": "spr_blue", "image": "blue.png"}, {"name": "spr_red", "image": "red.png"}],
      "objects": [{"name": "obj", "events": [{"type": "create", "code": "shown = 0;"}, {"type": "draw", "file": "draw.zbl"}]}],
      "rooms": [{"name": "rm", "width": 64, "height": 64, "colour": 0, "instances": [{"object": "obj"}]}]})",
                                 dir.Path());
    PackImage wide = TestImage(8200, 8, 0, 255, 0, 255);
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 8200; x += 8) wide.rgba[(size_t(y) * 8200 + size_t(x)) * 4] = 255;
    TestReplaceLastPage(packed.game, wide);
    ASSERT_TRUE(GamePack_WriteFile(dir / "wide.win", packed.game));

    const Run r = Play(dir / "wide.win", "Wide");
    EXPECT_EQ(r.code, 0) << r.err;
    ASSERT_EQ(r.shot.width, 64);
    EXPECT_NE(r.err.find("texture page 1 of the game is 8200 x 8 pixels"), std::string::npos) << r.err;
    EXPECT_EQ(r.Rgb(50, 4), 0x0000FFu) << "the other page draws";
    EXPECT_EQ(r.Rgb(4, 44), 0xFFFFFFu) << "the game goes on drawing";
    for (int32_t y = 20; y < 28; ++y)
        for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(r.Rgb(x, y), 0u) << "nothing of the lost page, at " << x << ", " << y;
}
