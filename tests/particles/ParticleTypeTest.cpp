// Particle types: the table and its slots, defaults and setters, the random ranges and their
// distributions, the initialisation of a particle (life truncation, random start frame) and
// every colour mode, and alpha over the life.
#include <cmath>

#include "Files/Base/Random.h"
#include "Files/Graphics/Graphics_Draw.h"
#include "ParticleTestSupport.h"

namespace {

using Types = ParticleTest;

TEST_F(Types, TableSlotsAreReusedAndSettersCheckTheIndex)
{
    for (int k = 0; k < 5; ++k) EXPECT_EQ(ParticleType_Create(), k);
    ParticleType_Blend(2, true);
    ParticleType_Destroy(2);
    EXPECT_FALSE(ParticleType_Exists(2));
    EXPECT_TRUE(ParticleType_Exists(3));
    EXPECT_FALSE(ParticleType_Exists(-1));
    EXPECT_FALSE(ParticleType_Exists(5));
    // Setters on a destroyed or unknown type change nothing (and do not crash).
    ParticleType_Life(2, 7, 7);
    ParticleType_Life(99, 7, 7);
    ParticleType_Life(-3, 7, 7);
    EXPECT_EQ(ParticleType_Create(), 2);
    const ParticleType* t = ParticleType_Get(2);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->lifeMin, 100);
    EXPECT_EQ(t->additive, 0) << "a reused slot starts with normal blending";
    EXPECT_EQ(ParticleType_Create(), 5);
}

TEST_F(Types, DefaultsAndClearKeepsAdditive)
{
    const int32_t i = ParticleType_Create();
    ParticleType* t = ParticleType_Get(i);
    EXPECT_EQ(t->sprite, -1);
    EXPECT_EQ(t->animate, 1);
    EXPECT_EQ(t->shape, 0);
    EXPECT_EQ(t->sizeMin, 1.0f);
    EXPECT_EQ(t->lifeMin, 100);
    EXPECT_EQ(t->lifeMax, 100);
    EXPECT_EQ(t->gravDir, 270.0f);
    EXPECT_EQ(t->colour[0], 0xFFFFFFu);
    EXPECT_EQ(t->colour[2], 0xFFFFFFu);
    EXPECT_EQ(t->alphaEnd, 1.0f);
    ParticleType_Blend(i, true);
    ParticleType_ColourRGB(i, 1, 2, 3, 4, 5, 6);
    ParticleType_Speed(i, 1, 2, 3, 4);
    ParticleType_Clear(i);
    EXPECT_EQ(t->additive, 1) << "clearing does not switch additive blending off";
    EXPECT_EQ(t->speedMax, 0.0f);
    EXPECT_EQ(t->colourMode, 0);
    EXPECT_EQ(t->colour[0], 0xFFFFFFu);
    EXPECT_EQ(t->colour[3], 4u) << "c4..c6 are left as they were";
}

TEST_F(Types, SpriteAndShapeReplaceEachOther)
{
    const int32_t i = ParticleType_Create();
    ParticleType_Sprite(i, 3, false, true, true);
    ParticleType_Shape(i, 4);
    const ParticleType* t = ParticleType_Get(i);
    EXPECT_EQ(t->sprite, -1);
    EXPECT_EQ(t->shape, 4);
    ParticleType_Sprite(i, 3, false, true, true);
    EXPECT_EQ(t->sprite, 3);
    EXPECT_EQ(t->animate, 0);
    EXPECT_EQ(t->stretch, 1);
    EXPECT_EQ(t->randomStart, 1);
}

TEST_F(Types, AlphaSetters)
{
    const int32_t i = ParticleType_Create();
    ParticleType_Alpha2(i, 1, 0);
    const ParticleType* t = ParticleType_Get(i);
    EXPECT_EQ(t->alphaMiddle, 0.5f);
    EXPECT_EQ(Particle_AlphaAt(*t, 0, 8), 1.0f);
    EXPECT_EQ(Particle_AlphaAt(*t, 2, 8), 0.75f) << "a quarter of the life";
    EXPECT_EQ(Particle_AlphaAt(*t, 4, 8), 0.5f);
    EXPECT_EQ(Particle_AlphaAt(*t, 6, 8), 0.25f);
    EXPECT_EQ(Particle_AlphaAt(*t, 8, 8), 0.0f);
    EXPECT_EQ(Particle_AlphaAt(*t, 3, 0), 0.5f) << "no life: the middle";
    ParticleType_Alpha3(i, 0.2f, 1.0f, 0.4f);
    EXPECT_FLOAT_EQ(Particle_AlphaAt(*t, 1, 4), 0.6f);
    EXPECT_FLOAT_EQ(Particle_AlphaAt(*t, 3, 4), 0.7f);
    ParticleType_Alpha1(i, 0.3f);
    EXPECT_EQ(t->alphaStart, 0.3f);
    EXPECT_EQ(t->alphaEnd, 0.3f);
}

TEST_F(Types, RandomRangeDistributions)
{
    EXPECT_EQ(Particle_RandomRange(5, 5, 0), 5.0f);
    EXPECT_EQ(Particle_RandomRange(5, 3, 1), 5.0f) << "max below min gives min";
    const int n = 20000;
    int middle[3] = {}, ends[3] = {};
    double sum[3] = {};
    for (int d = 0; d < 3; ++d)
        for (int k = 0; k < n; ++k) {
            const float v = Particle_RandomRange(10, 20, d);
            ASSERT_GE(v, 10.0f);
            ASSERT_LE(v, 20.0f);
            sum[d] += v;
            if (v >= 13.3333f && v < 16.6667f) ++middle[d];
            if (v < 11.0f || v >= 19.0f) ++ends[d];
        }
    for (int d = 0; d < 3; ++d) EXPECT_NEAR(sum[d] / n, 15.0, 0.1) << d;
    EXPECT_NEAR(middle[0], n / 3, n / 50);
    EXPECT_GT(middle[1], n * 0.6) << "gaussian values crowd in the middle";
    EXPECT_LT(ends[1], n * 0.02);
    EXPECT_LT(middle[2], n * 0.1) << "inverse-gaussian values crowd at both ends";
    EXPECT_GT(ends[2], n * 0.35);
}

TEST_F(Types, RandomRangeRepeatsForASeed)
{
    std::vector<float> a, b;
    Random_SetSeed(77);
    for (int k = 0; k < 100; ++k) a.push_back(Particle_RandomRange(0, 1, k % 3));
    Random_SetSeed(77);
    for (int k = 0; k < 100; ++k) b.push_back(Particle_RandomRange(0, 1, k % 3));
    EXPECT_EQ(a, b);
    // The linear value is one draw of the generator, scaled in single precision.
    Random_SetSeed(5);
    const double r = Random_Real(1.0);
    Random_SetSeed(5);
    EXPECT_EQ(Particle_RandomRange(2, 6, 0), 2.0f + (float)r * 4.0f);
}

TEST_F(Types, InitialisationOfAParticle)
{
    const int32_t i = ParticleType_Create();
    ParticleType_Life(i, 10, 20);
    ParticleType_Speed(i, 1, 2, 0, 0);
    ParticleType_Size(i, 0.5f, 0.5f, 0, 0);
    ParticleType_Alpha3(i, 0.25f, 1, 1);
    bool seen[21] = {};
    for (int k = 0; k < 3000; ++k) {
        Particle p{};
        Particle_Init(3, 4, i, &p);
        ASSERT_GE(p.life, 10);
        ASSERT_LE(p.life, 19) << "lives are truncated";
        seen[p.life] = true;
        EXPECT_EQ(p.alive, 1);
        EXPECT_EQ(p.age, 0);
        EXPECT_EQ(p.x, 3.0f);
        EXPECT_EQ(p.yPrev, 4.0f);
        EXPECT_GE(p.speed, 1.0f);
        EXPECT_LT(p.speed, 2.0f);
        EXPECT_EQ(p.size, 0.5f);
        EXPECT_EQ(p.alpha, 0.25f);
        EXPECT_EQ(p.imageStart, 0);
        EXPECT_GE(p.seed, 0);
        EXPECT_LT(p.seed, 100000);
    }
    for (int l = 10; l < 20; ++l) EXPECT_TRUE(seen[l]) << l;
    ParticleType_Life(i, 30, 30);
    Particle p{};
    Particle_Init(0, 0, i, &p);
    EXPECT_EQ(p.life, 30);
    ParticleType_Sprite(i, 0, true, false, true);
    int32_t most = 0;
    for (int k = 0; k < 200; ++k) {
        Particle_Init(0, 0, i, &p);
        ASSERT_GE(p.imageStart, 0);
        ASSERT_LT(p.imageStart, 10000);
        most = std::max(most, p.imageStart);
    }
    EXPECT_GT(most, 5000);
    // No created type: the record is left alone.
    Particle q{};
    q.life = 77;
    Particle_Init(0, 0, 99, &q);
    EXPECT_EQ(q.life, 77);
    EXPECT_EQ(q.alive, 0);
}

TEST_F(Types, ColourModesAtCreation)
{
    const int32_t i = ParticleType_Create();
    Particle p{};
    ParticleType_Colour3(i, 0x112233, 0x445566, 0x778899);
    Particle_Init(0, 0, i, &p);
    EXPECT_EQ(p.colour, 0x112233u);
    ParticleType_ColourRGB(i, 10, 20, 100, 100, 250, 255);
    for (int k = 0; k < 200; ++k) {
        Particle_Init(0, 0, i, &p);
        ASSERT_GE(p.colour & 0xFF, 10u);
        ASSERT_LE(p.colour & 0xFF, 20u);
        ASSERT_EQ((p.colour >> 8) & 0xFF, 100u);
        ASSERT_GE(p.colour >> 16, 250u);
        ASSERT_LE(p.colour >> 16, 255u);
    }
    // A channel beyond 255 is held at 255 instead of spilling into the next one.
    ParticleType_ColourRGB(i, 300, 300, 0, 0, 0, 0);
    Particle_Init(0, 0, i, &p);
    EXPECT_EQ(p.colour, 0x0000FFu);
    ParticleType_ColourRGB(i, 0, 0, 0xFFFFFFFBu, 0xFFFFFFFBu, 0, 0); // -5 as the built-in passes it
    Particle_Init(0, 0, i, &p);
    EXPECT_EQ(p.colour, 0x00FF00u);
    ParticleType_ColourHSV(i, 0, 0, 255, 255, 255, 255);
    Particle_Init(0, 0, i, &p);
    EXPECT_EQ(p.colour, 0x0000FFu) << "hue 0 at full saturation and value is red";
    ParticleType_ColourHSV(i, 0, 255, 0, 0, 128, 128);
    Particle_Init(0, 0, i, &p);
    EXPECT_EQ(p.colour, 0x808080u) << "no saturation: grey of the value";
    ParticleType_ColourMix(i, 0x000000, 0xFF00FF);
    bool low = false, high = false;
    for (int k = 0; k < 200; ++k) {
        Particle_Init(0, 0, i, &p);
        ASSERT_EQ((p.colour >> 8) & 0xFF, 0u);
        ASSERT_EQ(p.colour & 0xFF, p.colour >> 16) << "one mix amount for every channel";
        low |= (p.colour & 0xFF) < 64;
        high |= (p.colour & 0xFF) > 192;
    }
    EXPECT_TRUE(low && high);
}

TEST_F(Types, ColourOverTheLife)
{
    const int32_t i = ParticleType_Create();
    Particle p{};
    ParticleType_Colour2(i, 0x000000, 0x0000FF);
    Particle_Init(0, 0, i, &p);
    p.life = 10;
    p.age = 5;
    Particle_ComputeColour(&p);
    EXPECT_EQ(p.colour, GR_Colour_Merge(0, 0xFF, 0.5));
    p.age = 20;
    Particle_ComputeColour(&p);
    EXPECT_EQ(p.colour, 0x0000FFu) << "capped at the end colour";
    ParticleType_Colour3(i, 0x0000FF, 0x00FF00, 0xFF0000);
    p.age = 0;
    Particle_ComputeColour(&p);
    EXPECT_EQ(p.colour, 0x0000FFu);
    p.age = 5;
    Particle_ComputeColour(&p);
    EXPECT_EQ(p.colour, 0x00FF00u) << "the middle colour at half the life";
    p.age = 2;
    Particle_ComputeColour(&p);
    EXPECT_EQ(p.colour, GR_Colour_Merge(0x0000FF, 0x00FF00, 0.4f));
    p.age = 9;
    Particle_ComputeColour(&p);
    EXPECT_EQ(p.colour, GR_Colour_Merge(0x00FF00, 0xFF0000, 2.0f * 9.0f / 10.0f - 1.0f));
    // Modes 0 and 3..5 keep their colour over the life.
    ParticleType_ColourMix(i, 0, 0xFFFFFF);
    p.colour = 0x123456;
    Particle_ComputeColour(&p);
    EXPECT_EQ(p.colour, 0x123456u);
}

} // namespace
