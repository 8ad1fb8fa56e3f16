// Drawing particle systems on the recording fake: the shape quad (centre, size, scale, rotation,
// colour and alpha byte, depth, texture), the draw order, additive blending switched per type
// and back to normal at the end, particles that cannot be drawn, sprite particles and their
// frames, the saved interpolation, and the room's drawing by depth (once per pass).
#include <cmath>
#include <string>

#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics_API/Graphics_3D.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_PNG.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Files/Sprite/Sprite_Main.h"
#include "Files/Support/LoadSave.h"
#include "ParticleTestSupport.h"
#include "support/ScratchFolder.h"

namespace {

class Drawing : public ParticleTest {
protected:
    // One particle of type t at (x, y) in system s with the given colour; its index.
    static int32_t One(int32_t s, int32_t t, float x, float y, uint32_t colour = 0xFFFFFF)
    {
        Particle_CreateColour(s, x, y, t, colour, 1);
        return ParticleSystem_Count(s) - 1;
    }
    static size_t Quads(const std::vector<FakeDraw>& d)
    {
        size_t n = 0;
        for (const FakeDraw& x : d) n += x.vertexCount() / 6;
        return n;
    }
};

TEST_F(Drawing, ShapeQuad)
{
    const int32_t s = ParticleSystem_Create();
    const int32_t t = SimpleType(10);
    ParticleType_Shape(t, 5);
    ParticleType_Size(t, 0.5f, 0.5f, 0, 0);
    ParticleType_Scale(t, 2, 1);
    ParticleSystem_Position(s, 5, 0);
    const int32_t i = One(s, t, 10.7f, 20.2f, 0x0000FF);
    At(s, i).alpha = 0.5f;
    ParticleSystem_Draw(s);
    const std::vector<FakeDraw> d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    ASSERT_EQ(d[0].vertexCount(), 6u);
    EXPECT_EQ(d[0].type, 4u) << "a triangle list";
    EXPECT_EQ(d[0].texture, Particle_ShapeTexture(5)->texture);
    // Centre (15, 20) (whole pixels), half-extents 32 x 2 x 0.5 and 32 x 1 x 0.5.
    const float want[6][4] = {{-17, 4, 0, 0}, {47, 4, 1, 0}, {47, 36, 1, 1}, {47, 36, 1, 1}, {-17, 36, 0, 1}, {-17, 4, 0, 0}};
    for (uint32_t v = 0; v < 6; ++v) {
        EXPECT_EQ(d[0].F(v, 0), want[v][0]) << v;
        EXPECT_EQ(d[0].F(v, 1), want[v][1]) << v;
        EXPECT_EQ(d[0].F(v, 2), GR_3D_GetDepth());
        EXPECT_EQ(d[0].Colour(v), 0x7FFF0000u) << "red with alpha byte trunc(0.5 x 255)";
        EXPECT_EQ(d[0].F(v, 4), want[v][2]);
        EXPECT_EQ(d[0].F(v, 5), want[v][3]);
    }
}

TEST_F(Drawing, RotationFollowsOrientationAndDirection)
{
    const int32_t s = ParticleSystem_Create();
    const int32_t t = SimpleType(10);
    ParticleType_Size(t, 0.25f, 0.25f, 0, 0); // half-extent 8
    ParticleType_Scale(t, 2, 1);              // 16 x 8
    ParticleType_Orientation(t, 60, 60, 0, 0, true);
    const int32_t i = One(s, t, 100, 100);
    At(s, i).direction = 30; // 60 + 30 = 90: a quarter turn counter-clockwise
    ParticleSystem_Draw(s);
    const std::vector<FakeDraw> d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    // The top-left corner (-16, -8) turns to (-8, +16).
    EXPECT_NEAR(d[0].F(0, 0), 92.0f, 1e-3);
    EXPECT_NEAR(d[0].F(0, 1), 116.0f, 1e-3);
    // The top-right corner (16, -8) turns to (-8, -16).
    EXPECT_NEAR(d[0].F(1, 0), 92.0f, 1e-3);
    EXPECT_NEAR(d[0].F(1, 1), 84.0f, 1e-3);
    // Alpha bytes: above 1 is 255, below 0 is 0.
    At(s, i).alpha = 3.0f;
    ParticleSystem_Draw(s);
    EXPECT_EQ(Drawn()[0].Colour(0) >> 24, 255u);
    At(s, i).alpha = -1.0f;
    ParticleSystem_Draw(s);
    EXPECT_EQ(Drawn()[0].Colour(0) >> 24, 0u);
}

TEST_F(Drawing, OrderOfTheParticles)
{
    const int32_t s = ParticleSystem_Create();
    const int32_t t = SimpleType(10);
    One(s, t, 0, 0, 0x000001);
    One(s, t, 0, 0, 0x000002);
    One(s, t, 0, 0, 0x000003);
    ParticleSystem_Draw(s);
    std::vector<FakeDraw> d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].Colour(0) & 0xFF0000, 0x010000u) << "oldest first";
    EXPECT_EQ(d[0].Colour(12) & 0xFF0000, 0x030000u);
    ParticleSystem_DrawOrder(s, false);
    ParticleSystem_Draw(s);
    d = Drawn();
    EXPECT_EQ(d[0].Colour(0) & 0xFF0000, 0x030000u) << "newest first";
    EXPECT_EQ(d[0].Colour(12) & 0xFF0000, 0x010000u);
}

TEST_F(Drawing, AdditiveBlendingPerTypeAndBackToNormal)
{
    const int32_t s = ParticleSystem_Create();
    const int32_t normal = SimpleType(10), add = SimpleType(10);
    ParticleType_Blend(add, true);
    One(s, normal, 0, 0);
    One(s, add, 0, 0);
    One(s, add, 0, 0);
    One(s, normal, 0, 0);
    dev()->ClearLog();
    ParticleSystem_Draw(s);
    std::vector<uint32_t> dest;
    for (const FakeDraw& d : Drawn()) dest.push_back(d.destBlend);
    EXPECT_EQ(dest, (std::vector<uint32_t>{6, 2, 6})) << "normal, additive twice, normal";
    GR_D3D_Flush();
    EXPECT_EQ(dev()->renderState[GFX_RS_DESTBLEND], 6u);
    // Ending on an additive particle still leaves normal blending.
    Particle_ClearAll(s);
    One(s, add, 0, 0);
    ParticleSystem_Draw(s);
    GR_D3D_Flush();
    EXPECT_EQ(dev()->renderState[GFX_RS_DESTBLEND], 6u);
}

TEST_F(Drawing, ParticlesThatCannotBeDrawnAreSkipped)
{
    const int32_t s = ParticleSystem_Create();
    const int32_t good = SimpleType(10), bad = SimpleType(10), none = SimpleType(0);
    ParticleType_Shape(bad, 99);
    One(s, good, 0, 0);
    One(s, bad, 0, 0);
    One(s, none, 0, 0); // life 0: never drawn
    One(s, good, 0, 0);
    ParticleSystem_Draw(s);
    EXPECT_EQ(Quads(Drawn()), 2u) << "the particles after them are still drawn";
    // The type of a destroyed slot is drawn with its cleared record (a pixel).
    ParticleType_Destroy(bad);
    ParticleSystem_Draw(s);
    EXPECT_EQ(Quads(Drawn()), 3u);
}

TEST_F(Drawing, InterpolationIsRestored)
{
    const int32_t s = ParticleSystem_Create();
    One(s, SimpleType(10), 0, 0);
    GR_Texture_SetInterpolation(true);
    ParticleSystem_Draw(s);
    EXPECT_TRUE(GR_Texture_GetInterpolation());
    GR_Texture_SetInterpolation(false);
    ParticleSystem_Draw(s);
    EXPECT_FALSE(GR_Texture_GetInterpolation());
}

TEST_F(Drawing, SpriteParticlesAndTheirFrames)
{
    ScratchFolder dir;
    Scratch_WriteFile(dir / "prog/.keep", "");
    Scratch_WriteFile(dir / "save/.keep", "");
    std::vector<uint32_t> px(4 * 8 * 8, 0xFFFFFFFFu);
    GR_PNG_SetSavePathMapper([](const char* file) { return std::string(file); });
    ASSERT_TRUE(write_png_file((dir / "prog/strip.png").c_str(), px.data(), 32, 8));
    GR_PNG_SetSavePathMapper(nullptr);
    LoadSave_SetFolders((dir / "prog").c_str(), (dir / "save").c_str(), nullptr);
    const int32_t sp = Sprite_Add("strip.png", 4, false, false, false, true, 4, 4);
    ASSERT_GE(sp, 0);
    const CSprite* spr = Sprite_Data(sp);
    auto frameOf = [&](const FakeDraw& d) {
        for (int32_t f = 0; f < 4; ++f)
            if (GR_Texture_GetPage(spr->textures[f])->texture == d.texture) return f;
        return -1;
    };
    const int32_t s = ParticleSystem_Create();
    const int32_t t = SimpleType(8);
    ParticleType_Sprite(t, sp, false, false, false);
    One(s, t, 50, 50);
    At(s, 0).imageStart = 2;
    At(s, 0).age = 3;
    ParticleSystem_Draw(s);
    std::vector<FakeDraw> d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(frameOf(d[0]), 2) << "not animated: the start frame";
    ParticleType_Sprite(t, sp, true, false, false);
    ParticleSystem_Draw(s);
    EXPECT_EQ(frameOf(Drawn()[0]), 1) << "animated: start + age, wrapped";
    ParticleType_Sprite(t, sp, true, true, false);
    At(s, 0).age = 6;
    ParticleSystem_Draw(s);
    EXPECT_EQ(frameOf(Drawn()[0]), 1) << "stretched: 2 + 6 x 4 / 8, wrapped";
    // A sprite that is gone: the type's shape is drawn instead.
    Sprite_Delete(sp);
    ParticleSystem_Draw(s);
    d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].texture, Particle_ShapeTexture(0)->texture);
    Sprite_Free();
    LoadSave_SetFolders(nullptr, nullptr, nullptr);
}

TEST_F(Drawing, RoomDrawingByDepthDrawsEachSystemOncePerPass)
{
    const int32_t a = ParticleSystem_Create(), b = ParticleSystem_Create(), c = ParticleSystem_Create();
    const int32_t t = SimpleType(10);
    ParticleSystem_Depth(a, 10);
    ParticleSystem_Depth(b, 10.005f);
    ParticleSystem_Depth(c, 10);
    ParticleSystem_AutomaticDraw(c, false);
    One(a, t, 0, 0);
    One(b, t, 0, 0);
    One(c, t, 0, 0);
    float p = ParticleSystem_MaxDepth();
    EXPECT_EQ(p, 10.005f);
    ParticleSystem_DrawAtDepth(10);
    EXPECT_EQ(Quads(Drawn()), 2u) << "both systems within 0.01 of 10; the one not drawn automatically is not";
    // The room's walk: every depth from the greatest down; each system once.
    p = ParticleSystem_MaxDepth();
    size_t drawn = 0;
    while (p > -1e8f) {
        ParticleSystem_DrawAtDepth(p);
        drawn += Quads(Drawn());
        p = ParticleSystem_NextDepthBelow(p);
    }
    EXPECT_EQ(drawn, 2u);
}

} // namespace
