// Golden images of particle scenes on the OpenGL device (Mesa llvmpipe without a display,
// SDL_VIDEODRIVER=offscreen): the fourteen built-in shapes with colours, sizes, scales and
// rotations; alpha and additive blending over a life of colours; effects after a few steps; an
// emitter's stream under gravity and an attractor, drawn by the room's depth walk. Scenes with
// motion start from a fixed random seed, so a change in the update's maths changes the picture.
// Pictures are compared with tests/data/particles_golden/*.png (support/Golden.h).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "Files/Base/Random.h"
#include "Files/Graphics/BuiltinImages.h"
#include "Files/Graphics/Graphics_Draw.h"
#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_Host.h"
#include "Files/Graphics_API/Graphics_PNG.h"
#include "Files/Graphics_API/Graphics_ReadBack.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/Graphics_API/TBitmap.h"
#include "Files/Particle/Particle_Main.h"
#include "Platform/MemoryManager.h"
#include "support/Golden.h"

namespace {

const int32_t W = 160, H = 120;

class ParticleGolden : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ready = GoldenDevice_Open(W, H);
        if (!ready) return;
        Particle_InitShapes();
    }

    static void TearDownTestSuite()
    {
        Particle_FreeAll();
        GoldenDevice_Close();
    }

    void SetUp() override
    {
        if (!ready) GTEST_SKIP() << "no OpenGL context could be made";
        Particle_ResetAll();
        Random_SetSeed(2024);
        GR_State_SetBlendMode(0);
        GR_Texture_SetInterpolation(false);
        GR_D3D_Start_Frame();
        GR_D3D_SetView(0, 0, (float)W, (float)H, 0);
        GR_Draw_Clear(0x302018);
    }

    void TearDown() override { Particle_ResetAll(); }

    std::vector<uint32_t> Capture()
    {
        std::vector<uint32_t> out = GoldenDevice_Read(W, H);
        GR_D3D_Finish_Frame(true);
        return out;
    }

    void Compare(const std::string& name, const std::vector<uint32_t>& px)
    {
        EXPECT_EQ(Golden_Compare(px, W, H, "particles_golden/" + name + ".png"), "") << name;
    }

    // The room's walk over the automatically drawn systems, deepest first.
    static void DrawByDepth()
    {
        for (float d = ParticleSystem_MaxDepth(); d > -1e8f; d = ParticleSystem_NextDepthBelow(d))
            ParticleSystem_DrawAtDepth(d);
    }

    static uint32_t At(const std::vector<uint32_t>& px, int x, int y) { return px[(size_t)y * W + x] & 0xFFFFFF; }

    static bool ready;
};
bool ParticleGolden::ready = false;

TEST_F(ParticleGolden, Shapes)
{
    const int32_t s = ParticleSystem_Create();
    const uint32_t colours[7] = {0xFFFFFF, 0x4040FF, 0x40FF40, 0xFF4040, 0x40FFFF, 0xFF40FF, 0xFFFF40};
    for (int32_t shape = 0; shape < PT_SHAPE_COUNT; ++shape) {
        const int32_t t = ParticleType_Create();
        ParticleType_Shape(t, shape);
        ParticleType_Size(t, 0.3f, 0.3f, 0, 0);
        ParticleType_Colour1(t, colours[shape % 7]);
        Particle_Create(s, 12.0f + (float)(shape % 7) * 22.0f, 14.0f + (float)(shape / 7) * 26.0f, t, 1);
    }
    // Scaled, rotated and faded forms below.
    const int32_t t = ParticleType_Create();
    ParticleType_Shape(t, 2);
    ParticleType_Size(t, 0.25f, 0.25f, 0, 0);
    ParticleType_Scale(t, 2, 0.5f);
    ParticleType_Orientation(t, 30, 30, 0, 0, false);
    ParticleType_Colour1(t, 0x80C0FF);
    Particle_Create(s, 30, 80, t, 1);
    const int32_t star = ParticleType_Create();
    ParticleType_Shape(star, 4);
    ParticleType_Size(star, 0.6f, 0.6f, 0, 0);
    ParticleType_Orientation(star, 45, 45, 0, 0, false);
    ParticleType_Colour1(star, 0x20E0FF);
    ParticleType_Alpha1(star, 0.5f);
    Particle_Create(s, 90, 85, star, 1);
    const int32_t ring = ParticleType_Create();
    ParticleType_Shape(ring, 6);
    ParticleType_Size(ring, 0.5f, 0.5f, 0, 0);
    ParticleType_Scale(ring, 1, 0.5f);
    Particle_Create(s, 135, 90, ring, 1);
    ParticleSystem_Draw(s);
    const auto px = Capture();
    ASSERT_FALSE(px.empty());
    EXPECT_EQ(At(px, 34, 14), 0xFF4040u) << "the disk's centre in its colour (BGR 0x4040FF)";
    EXPECT_EQ(At(px, 0, 119), 0x182030u) << "the background (BGR 0x302018) at a corner";
    Compare("shapes", px);
}

TEST_F(ParticleGolden, BlendingOverTheLife)
{
    const int32_t s = ParticleSystem_Create();
    const int32_t normal = ParticleType_Create(), add = ParticleType_Create();
    for (int32_t t : {normal, add}) {
        ParticleType_Shape(t, 1);
        ParticleType_Size(t, 0.5f, 0.5f, 0, 0);
        ParticleType_Life(t, 45, 45);
        ParticleType_Colour3(t, 0x0000FF, 0x00FF00, 0xFF0000);
        ParticleType_Alpha2(t, 1, 0.2f);
    }
    ParticleType_Blend(add, true);
    // One row of each kind, each particle ten steps older than the one before.
    for (int32_t k = 0; k < 4; ++k) {
        Particle_Create(s, 25.0f + (float)k * 35.0f, 32, normal, 1);
        Particle_Create(s, 25.0f + (float)k * 35.0f + 12.0f, 40, normal, 1);
        Particle_Create(s, 25.0f + (float)k * 35.0f, 84, add, 1);
        Particle_Create(s, 25.0f + (float)k * 35.0f + 12.0f, 92, add, 1);
        for (int32_t step = 0; step < 10; ++step) ParticleSystem_Update(s);
    }
    ParticleSystem_Draw(s);
    const auto px = Capture();
    ASSERT_FALSE(px.empty());
    Compare("blending", px);
}

TEST_F(ParticleGolden, EffectsAfterAFewSteps)
{
    Effect_Create(true, EF_FIREWORK, 40, 50, 0, 0x40C0FF);
    Effect_Create(false, EF_EXPLOSION, 110, 50, 1, 0x2080FF);
    Effect_Create(false, EF_RING, 60, 95, 1, 0xFFFF80);
    Effect_Create(true, EF_SMOKEUP, 120, 100, 0, 0xC0C0C0);
    Effect_Create(false, EF_STAR, 20, 100, 1, 0x80FFFF);
    for (int32_t step = 0; step < 6; ++step) ParticleSystem_UpdateAll();
    DrawByDepth();
    const auto px = Capture();
    ASSERT_FALSE(px.empty());
    Compare("effects", px);
}

TEST_F(ParticleGolden, StreamUnderGravityAndAttractor)
{
    const int32_t s = ParticleSystem_Create();
    ParticleSystem_Depth(s, 5);
    const int32_t t = ParticleType_Create();
    ParticleType_Shape(t, 8);
    ParticleType_Size(t, 0.1f, 0.2f, 0, 0.05f);
    ParticleType_Speed(t, 1.5f, 2.5f, 0, 0);
    ParticleType_Direction(t, 60, 120, 0, 10);
    ParticleType_Gravity(t, 0.08f, 270);
    ParticleType_Life(t, 30, 45);
    ParticleType_Colour2(t, 0x00FFFF, 0x0000FF);
    ParticleType_Alpha2(t, 1, 0);
    ParticleType_Blend(t, true);
    const int32_t e = ParticleEmitter_Create(s);
    ParticleEmitter_Region(s, e, 20, 60, 100, 110, PS_SHAPE_ELLIPSE, PS_DISTR_GAUSSIAN);
    ParticleEmitter_Stream(s, e, t, 3);
    const int32_t a = ParticleAttractor_Create(s);
    ParticleAttractor_Position(s, a, 130, 40);
    ParticleAttractor_Force(s, a, 0.3f, 120, PS_FORCE_LINEAR, true);
    const int32_t d = ParticleDestroyer_Create(s);
    ParticleDestroyer_Region(s, d, 120, 140, 30, 50, PS_SHAPE_ELLIPSE);
    for (int32_t step = 0; step < 40; ++step) ParticleSystem_UpdateAll();
    DrawByDepth();
    const auto px = Capture();
    ASSERT_FALSE(px.empty());
    Compare("stream", px);
}

} // namespace
