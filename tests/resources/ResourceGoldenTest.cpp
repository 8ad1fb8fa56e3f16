// Golden images of the resource drawing on the OpenGL device (Mesa llvmpipe without a display,
// SDL_VIDEODRIVER=offscreen): every sprite drawing form, backgrounds tiled and stretched, the
// primitives, text in a game font (packed from DejaVu Sans) and in the debug font, and surfaces
// drawn into and drawn. Pictures are compared with tests/data/resources_golden/*.png
// (support/Golden.h).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "Files/Background/Background_Main.h"
#include "Files/Font/Font_Main.h"
#include "Files/Font/Font_Text.h"
#include "Files/Graphics/BuiltinImages.h"
#include "Files/Graphics/Graphics_Draw.h"
#include "Files/Graphics/Graphics_Surface.h"
#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics_API/Graphics_3D.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_Host.h"
#include "Files/Graphics_API/Graphics_PNG.h"
#include "Files/Graphics_API/Graphics_ReadBack.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/Graphics_API/TBitmap.h"
#include "Files/Runner/Runner_Reset.h"
#include "Files/Sprite/Sprite_Main.h"
#include "Files/Support/LoadSave.h"
#include "Platform/MemoryManager.h"
#include "ResourceTestSupport.h"
#include "support/Golden.h"

namespace {

const int32_t W = 160, H = 120;

class ResourceGolden : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ready = GoldenDevice_Open(W, H);
        if (!ready) return;
        GR_Draw_InitCircleTable();
        folder = new ScratchFolder();
        Pack();
    }

    static void TearDownTestSuite()
    {
        delete game;
        game = nullptr;
        Runtime_ResetAll();
        LoadSave_SetFolders(nullptr, nullptr, nullptr);
        delete folder;
        folder = nullptr;
        GoldenDevice_Close();
    }

    // A game with a sprite (two 16 x 16 frames: a ring and a cross, transparent elsewhere), a
    // 24 x 16 background of stripes and a DejaVu Sans font; and a run-time sprite from a file.
    static void Pack()
    {
        const ScratchFolder& dir = *folder;
        std::vector<uint32_t> strip;
        for (int32_t y = 0; y < 16; ++y)
            for (int32_t x = 0; x < 32; ++x) {
                const int32_t fx = x % 16;
                const double r = std::hypot(fx - 7.5, y - 7.5);
                const bool on = x < 16 ? (r > 4.5 && r < 7.5) : (fx == y || fx == 15 - y || fx == 7 || y == 8);
                const uint32_t c = x < 16 ? (uint32_t)(0xF0 - y * 8) << 24 | 0x4000FF : 0xFFD020FFu;
                strip.push_back(on ? c : 0u);
            }
        Scratch_WriteFile(dir / "pack/.keep", "");
        WritePng(dir / "pack/strip.png", 32, 16, strip);
        std::vector<uint32_t> stripes;
        for (int32_t y = 0; y < 16; ++y)
            for (int32_t x = 0; x < 24; ++x) stripes.push_back((x / 4 + y / 4) % 2 ? 0x3070C0FFu : 0xE0E0E0FFu);
        WritePng(dir / "pack/stripes.png", 24, 16, stripes);
        const std::string manifest = R"({"sprites": [{"name": "spr", "image": "strip.png", "frames": 2,
            "origin": [8, 8], "transparent": true, "precise": true}],
            "backgrounds": [{"name": "bg", "image": "stripes.png"}],
            "fonts": [{"name": "fnt", "ttf": ")" + std::string(kTestFontFile) + R"(", "size": 10, "first": 32,
                       "last": 126}], "rooms": [{"name": "rm"}]})";
        game = new TestLoad();
        TestLoad_Run(*game, TestPack(manifest, dir / "pack").game);
        ASSERT_TRUE(game->ok);
        Scratch_WriteFile(dir / "prog/.keep", "");
        Scratch_WriteFile(dir / "save/.keep", "");
        std::vector<uint32_t> gem;
        for (int32_t y = 0; y < 12; ++y)
            for (int32_t x = 0; x < 12; ++x)
                gem.push_back(std::abs(x - 6) + std::abs(y - 6) < 6 ? (uint32_t)(0x20 + x * 18) << 24 | (uint32_t)(0x20 + y * 18) << 16 | 0x80FF : 0u);
        WritePng(dir / "prog/gem.png", 12, 12, gem);
        LoadSave_SetFolders((dir / "prog").c_str(), (dir / "save").c_str(), nullptr);
        runtime = Sprite_Add("gem.png", 1, true, false, false, true, 6, 6);
        ASSERT_GE(runtime, 0);
    }

    void SetUp() override
    {
        if (!ready) GTEST_SKIP() << "no OpenGL context could be made";
        GR_State_SetBlendMode(0);
        GR_Texture_SetInterpolation(false);
        GR_Draw_SetAlpha(1.0f);
        GR_Draw_SetColour(0xFFFFFF);
        GR_Draw_SetCirclePrecision(24);
        GR_Text_SetFont(-1);
        GR_Text_SetHAlign(0);
        GR_Text_SetVAlign(0);
        GR_D3D_Start_Frame();
        GR_D3D_SetView(0, 0, (float)W, (float)H, 0);
        GR_Draw_Clear(0x402010);
    }

    std::vector<uint32_t> Capture()
    {
        std::vector<uint32_t> out = GoldenDevice_Read(W, H);
        GR_D3D_Finish_Frame(true);
        return out;
    }

    void Compare(const std::string& name, const std::vector<uint32_t>& px)
    {
        EXPECT_EQ(Golden_Compare(px, W, H, "resources_golden/" + name + ".png"), "") << name;
    }

    static uint32_t At(const std::vector<uint32_t>& px, int x, int y) { return px[(size_t)y * W + x] & 0xFFFFFF; }

    static bool ready;
    static ScratchFolder* folder;
    static TestLoad* game;
    static int32_t runtime;
};
bool ResourceGolden::ready = false;
ScratchFolder* ResourceGolden::folder = nullptr;
TestLoad* ResourceGolden::game = nullptr;
int32_t ResourceGolden::runtime = -1;

TEST_F(ResourceGolden, SpriteForms)
{
    const CSprite* s = Sprite_Data(Sprite_Find("spr"));
    const CSprite* gem = Sprite_Data(runtime);
    ASSERT_TRUE(s && gem);
    s->DrawSimple(0, 12, 12);                                                  // plain, frame 0
    s->DrawSimple(3, 36, 12);                                                  // frame 3 wraps to 1
    s->Draw(0, 64, 16, 1.5f, 1.5f, 0, 0xFFFFFF, 1);                           // scaled
    s->Draw(1, 100, 16, 1, 1, 30, 0xFFFFFF, 1);                               // rotated
    s->Draw(0, 136, 16, 1, -1, 0, 0x00FFFF, 0.5f);                            // flipped, blended
    s->DrawStretched(1, 4, 36, 40, 12, 0xFFFFFF, 1);                          // stretched
    s->DrawPart(0, 4, 0, 8, 8, 52, 36, 2, 2, 0xFFFFFF, 1);                    // part
    s->DrawGeneral(0, 0, 0, 16, 16, 80, 36, 1.5f, 1, 20, 0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF, 1);
    s->DrawTiled(1, 0, 68, 1, 1, true, false, 0, 60, 160, 16, 0xFFFFFF, 1);  // tiled across
    gem->DrawSimple(0, 20, 96);                                                // run-time frame
    gem->Draw(0, 50, 96, 2, 2, 45, 0xFFFFFF, 1);
    gem->DrawGeneral(0, 0, 0, 12, 12, 80, 88, 2, 1, 0, 0xFF0000, 0xFF0000, 0x0000FF, 0x0000FF, 0.75f);
    GR_State_SetBlendMode(1); // additive
    gem->Draw(0, 130, 96, 3, 3, 0, 0xFFFFFF, 0.6f);
    GR_State_SetBlendMode(0);
    auto px = Capture();
    ASSERT_FALSE(px.empty());
    EXPECT_NE(At(px, 12 + 7 - 8, 12 - 8 + 1), 0x102040u) << "the ring's top reaches row 1 of the frame";
    EXPECT_EQ(At(px, 12, 12), 0x102040u) << "the ring is hollow";
    Compare("sprites", px);
}

TEST_F(ResourceGolden, Backgrounds)
{
    const CBackground* b = Background_Data(Background_Find("bg"));
    ASSERT_NE(b, nullptr);
    b->DrawTiled(10, 3, 1, 1, true, true, 60, 50, 100, 60, 0x808080, 1);
    b->Draw(4, 4);
    b->DrawStretched(36, 4, 60, 24, 0xFFFFFF, 1);
    b->DrawExt(120, 8, 1, 1, 30, 0x80FF80, 1);
    b->DrawPart(4, 4, 12, 8, 4, 34, 2, 2, 0xFFFFFF, 1);
    b->DrawGeneral(0, 0, 24, 16, 4, 64, 1.5f, 2, 0, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 1);
    auto px = Capture();
    ASSERT_FALSE(px.empty());
    EXPECT_EQ(At(px, 4, 4), 0xE0E0E0u);
    Compare("backgrounds", px);
}

TEST_F(ResourceGolden, Primitives)
{
    GR_Draw_SetColour(0xFFFFFF);
    for (int i = 0; i < 8; ++i) GR_Draw_Point(4.0f + i * 2, 4);
    GR_Draw_Line(4, 8, 40, 20);
    GR_Draw_LineColour(4, 24, 40, 24, 0x0000FF, 0x00FF00);
    GR_Draw_LineWidth(46, 4, 80, 20, 4);
    GR_Draw_LineWidthColour(46, 24, 80, 30, 3, 0xFF0000, 0x00FFFF);
    GR_Draw_SetColour(0x20C0F0);
    GR_Draw_Rectangle(86, 4, 100, 14, false);
    GR_Draw_Rectangle(104, 4, 118, 14, true);
    GR_Draw_RectangleColour(122, 4, 156, 14, 0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF, false);
    GR_Draw_SetCirclePrecision(8);
    GR_Draw_Circle(14, 44, 10, false);
    GR_Draw_SetCirclePrecision(24);
    GR_Draw_CircleColour(38, 44, 10, 0xFFFFFF, 0x0000FF, false);
    GR_Draw_SetCirclePrecision(64);
    GR_Draw_Circle(62, 44, 10, true);
    GR_Draw_SetCirclePrecision(24);
    GR_Draw_EllipseColour(76, 36, 110, 52, 0x00FF00, 0x004000, false);
    GR_Draw_RoundRect(114, 34, 156, 54, 10, 10, false);
    GR_Draw_SetColour(0xFFFFFF);
    GR_Draw_RoundRect(114, 58, 156, 74, 10, 10, true);
    GR_Draw_Arrow(4, 64, 40, 70, 10);
    GR_Draw_SetColour(0xA0A0A0);
    GR_Draw_Button(46, 58, 76, 74, true);
    GR_Draw_Button(80, 58, 110, 74, false);
    GR_Draw_Healthbar(4, 80, 74, 88, 75, 0x202020, 0x0000FF, GR_Colour_Merge(0x0000FF, 0x00FF00, 0.5), 0x00FF00, 0,
                      true, true);
    GR_Draw_Healthbar(80, 80, 150, 88, 30, 0x202020, 0x0000FF, GR_Colour_Merge(0x0000FF, 0x00FF00, 0.5), 0x00FF00, 1,
                      true, false);
    GR_Draw_TriangleColour(4, 116, 20, 94, 36, 116, 0x0000FF, 0x00FF00, 0xFF0000, false);
    GR_Draw_PrimitiveBegin(6, -1);
    GR_Draw_VertexColour(60, 104, 0xFFFFFF, 1);
    for (int i = 0; i <= 6; ++i)
        GR_Draw_VertexColour(60 + 14 * std::cos(i * 1.0472f), 104 + 14 * std::sin(i * 1.0472f), i % 2 ? 0xFF00FF : 0x00FFFF, 1);
    GR_Draw_PrimitiveEnd();
    GR_Draw_PrimitiveBegin(3, -1);
    for (int i = 0; i < 10; ++i) GR_Draw_VertexColour(84 + i * 7, i % 2 ? 96 : 114, 0xFFFF00, 1);
    GR_Draw_PrimitiveEnd();
    auto px = Capture();
    ASSERT_FALSE(px.empty());
    EXPECT_EQ(At(px, 92, 8), 0xF0C020u) << "filled rectangle (script colour 0x20C0F0)";
    EXPECT_EQ(At(px, 110, 9), 0x102040u) << "inside the outline";
    Compare("primitives", px);
}

// Text laid out every way, in the font given (the game's or the built-in).
void TextScene(int32_t font)
{
    GR_Text_SetFont(font);
    GR_Draw_SetColour(0xFFFFFF);
    GR_Text_Draw(4, 2, "Left#two\\#", -1, -1);
    GR_Text_SetHAlign(1);
    GR_Text_Draw(120, 2, "Centre", -1, -1);
    GR_Text_SetHAlign(2);
    GR_Text_Draw(156, 16, "Right", -1, -1);
    GR_Text_SetHAlign(0);
    GR_Draw_SetColour(0x80FFFF);
    GR_Text_Draw(4, 34, "wrapped words in a narrow column", 11, 70);
    GR_Text_SetVAlign(1);
    GR_Text_DrawTransformed(84, 62, "Scaled", -1, -1, 1.25f, 2, 0);
    GR_Text_SetVAlign(0);
    GR_Text_DrawTransformed(104, 112, "Turn", -1, -1, 1, 1, 40);
    GR_Text_DrawColour(4, 96, "Gradient text", -1, -1, 0x0000FF, 0x00FF00, 0xFF0000, 0xFFFF00, 1);
    GR_Text_DrawTransformedColour(124, 116, "Up#up", -1, -1, 1.25f, 1.25f, 90, 0xFFFFFF, 0xFF00FF, 0x00FFFF, 0x0000FF, 1);
}

TEST_F(ResourceGolden, TextInAGameFont)
{
    TextScene(Font_Find("fnt"));
    auto px = Capture();
    ASSERT_FALSE(px.empty());
    Compare("text_game", px);
}

TEST_F(ResourceGolden, TextInTheDebugFont)
{
    TextScene(-1);
    auto px = Capture();
    ASSERT_FALSE(px.empty());
    Compare("text_debug", px);
}

TEST_F(ResourceGolden, Surfaces)
{
    const int32_t a = GR_Surface_Create(40, 30);
    ASSERT_GE(a, 0);
    ASSERT_TRUE(GR_Surface_SetTarget(a));
    GR_Draw_ClearAlpha(0x203040, 1);
    GR_Draw_SetColour(0x00FFFF);
    GR_Draw_Circle(20, 15, 12, false);
    GR_Draw_SetColour(0xFFFFFF);
    GR_Text_SetFont(-1);
    GR_Text_Draw(2, 2, "srf", -1, -1);
    Sprite_Data(Sprite_Find("spr"))->DrawSimple(1, 30, 22);
    ASSERT_TRUE(GR_Surface_ResetTarget());
    GR_Surface_Draw(a, 4, 4);
    GR_Surface_DrawStretched(a, 50, 4, 60, 20, 0xFFFFFF, 1);
    GR_Surface_DrawExt(a, 140, 10, 0.75f, 0.75f, 30, 0xFFFFFF, 1);
    GR_Surface_DrawPart(a, 10, 5, 20, 20, 4, 50, 2, 2, 0xFFFFFF, 1);
    GR_Surface_DrawGeneral(a, 0, 0, 40, 30, 60, 50, 1, 1, 15, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0.8f);
    GR_Surface_DrawTiled(a, 0, 100, 0.5f, 0.5f, true, false, 0, 100, 160, 20, 0xFFFFFF, 1);
    auto px = Capture();
    ASSERT_FALSE(px.empty());
    EXPECT_EQ(At(px, 5, 40), 0x102040u) << "outside the surface";
    Compare("surfaces", px);
    GR_Surface_Free(a);
}

} // namespace
