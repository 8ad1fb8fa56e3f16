// Effects: the speed factor from the room speed and the frame rate, the two effect systems and
// their depths, each kind's particle counts per size and its telling parameters, lifetimes and
// speeds scaled by the factor, clearing, and the effects after a game restart.
#include <cmath>

#include "Files/Room/Room.h"
#include "Files/Run/Run_Main.h"
#include "ParticleTestSupport.h"

namespace {

class Effects : public ParticleTest {
protected:
    void SetUp() override
    {
        ParticleTest::SetUp();
        room = Room_Add();
        CRoom* r = Room_Data(room);
        r->m_width = 400;
        r->m_height = 300;
        r->m_speed = 30;
        Room_SetCurrent(room, r);
        Run_State().fps = 30;
    }
    void TearDown() override
    {
        Room_SetCurrent(-1, nullptr);
        Room_FreeAll();
        Run_State().fps = 0;
        ParticleTest::TearDown();
    }
    void Speeds(int32_t speed, int32_t fps)
    {
        Room_Data(room)->m_speed = speed;
        Run_State().fps = fps;
    }
    static int32_t Count(bool below) { return ParticleSystem_Count(Effect_System(below)); }
    static std::vector<Particle> Made(bool below) { return Live(Effect_System(below)); }
    int32_t room = -1;
};

TEST_F(Effects, SpeedFactor)
{
    EXPECT_EQ(Effect_SpeedFactorFor(60, 60), 0.5);
    EXPECT_EQ(Effect_SpeedFactorFor(60, 40), 0.75) << "ratio 1.5: by the frame rate";
    EXPECT_EQ(Effect_SpeedFactorFor(60, 55), 0.5) << "ratio below 1.2: by the room speed";
    EXPECT_EQ(Effect_SpeedFactorFor(30, 60), 1.0);
    EXPECT_EQ(Effect_SpeedFactorFor(30, 10), 1.0);
    EXPECT_EQ(Effect_SpeedFactorFor(120, 20), 1.0) << "a frame rate of 30 or less";
    Speeds(60, 60);
    EXPECT_EQ(Effect_SpeedFactor(), 0.5);
    Room_SetCurrent(-1, nullptr);
    EXPECT_EQ(Effect_SpeedFactor(), 1.0) << "no room";
}

TEST_F(Effects, SystemsAndTheMediumExplosion)
{
    EXPECT_EQ(Effect_System(true), -1);
    Effect_Create(true, EF_EXPLOSION, 100, 120, 1, 0x00FF00);
    const int32_t below = Effect_System(true), above = Effect_System(false);
    ASSERT_TRUE(ParticleSystem_Exists(below));
    ASSERT_TRUE(ParticleSystem_Exists(above));
    EXPECT_EQ(ParticleSystem_Get(below)->depth, 100000.0f);
    EXPECT_EQ(ParticleSystem_Get(above)->depth, -100000.0f);
    std::vector<Particle> p = Made(true);
    ASSERT_EQ(p.size(), 21u);
    EXPECT_EQ(Count(false), 0);
    for (int k = 0; k < 20; ++k) {
        EXPECT_EQ(p[k].colour, 0x00FF00u);
        EXPECT_EQ(p[k].x, 100.0f);
        EXPECT_EQ(p[k].speed, 4.0f);
        EXPECT_FLOAT_EQ(p[k].size, 0.3f);
        EXPECT_GE(p[k].life, 12);
        EXPECT_LT(p[k].life, 17);
    }
    EXPECT_EQ(p[20].colour, 0u) << "one black particle";
    EXPECT_EQ(p[20].life, 17);
    const ParticleType* t = ParticleType_Get(p[0].type);
    EXPECT_EQ(t->shape, 10);
    EXPECT_FLOAT_EQ(t->speedIncr, -0.18f);
    EXPECT_FLOAT_EQ(t->alphaMiddle, 0.3f);
    // Another effect reuses the systems and the types.
    const int32_t types = ParticleType_Count();
    Effect_Create(false, EF_EXPLOSION, 0, 0, 1, 0xFF);
    EXPECT_EQ(Effect_System(true), below);
    EXPECT_EQ(ParticleType_Count(), types);
    EXPECT_EQ(types, 35);
    EXPECT_EQ(Count(false), 21);
}

TEST_F(Effects, FasterRoomsScaleLivesAndSpeeds)
{
    Speeds(60, 60); // factor 0.5
    Effect_Create(false, EF_EXPLOSION, 0, 0, 1, 0xFFFFFF);
    const std::vector<Particle> p = Made(false);
    ASSERT_EQ(p.size(), 21u);
    for (int k = 0; k < 20; ++k) {
        EXPECT_EQ(p[k].speed, 2.0f) << "speeds halved";
        EXPECT_GE(p[k].life, 24) << "lives doubled";
        EXPECT_LT(p[k].life, 34);
    }
    EXPECT_EQ(p[20].life, 34);
    EXPECT_FLOAT_EQ(ParticleType_Get(p[0].type)->sizeIncr, 0.05f);
    // Lives are rounded: 10 / 0.75 = 13.33 -> 13, 15 / 0.75 = 20.
    Effect_Clear();
    Speeds(60, 40);
    Effect_Create(false, EF_EXPLOSION, 0, 0, 0, 0xFFFFFF);
    const ParticleType* t = ParticleType_Get(Made(false)[0].type);
    EXPECT_EQ(t->lifeMin, 13);
    EXPECT_EQ(t->lifeMax, 20);
}

TEST_F(Effects, CountsOfEveryKindAndSize)
{
    const int32_t counts[EF_KIND_COUNT][3] = {
        {21, 21, 21}, {1, 1, 1}, {1, 1, 1}, {75, 150, 250}, {6, 11, 16}, {6, 11, 16},
        {1, 1, 1},    {1, 1, 1}, {1, 1, 1}, {1, 1, 1},      {2, 5, 9},   {1, 3, 7}};
    for (int32_t kind = 0; kind < EF_KIND_COUNT; ++kind)
        for (int32_t size = 0; size < 3; ++size) {
            Effect_Clear();
            Effect_Create(true, kind, 200, 150, size, 0xFF);
            EXPECT_EQ(Count(true), counts[kind][size]) << "kind " << kind << " size " << size;
        }
    // Any size other than 0 and 2 is medium; an unknown kind does nothing.
    Effect_Clear();
    Effect_Create(true, EF_FIREWORK, 0, 0, 7, 0);
    EXPECT_EQ(Count(true), 150);
    Effect_Clear();
    Effect_Create(true, 12, 0, 0, 1, 0);
    Effect_Create(true, -1, 0, 0, 1, 0);
    EXPECT_EQ(Count(true), 0);
}

TEST_F(Effects, TellingParameters)
{
    Effect_Create(true, EF_SMOKE, 100, 100, 0, 0xFF);
    for (const Particle& p : Made(true)) {
        EXPECT_GE(p.x, 95.0f);
        EXPECT_LT(p.x, 105.0f);
        EXPECT_EQ(p.x, std::floor(p.x)) << "whole-pixel offsets";
        EXPECT_GE(p.y, 95.0f);
        EXPECT_LT(p.y, 105.0f);
        EXPECT_EQ(p.speed, 0.0f);
    }
    Effect_Clear();
    Effect_Create(true, EF_SMOKEUP, 100, 100, 2, 0xFF);
    for (const Particle& p : Made(true)) {
        EXPECT_GE(p.x, 70.0f);
        EXPECT_LT(p.x, 130.0f);
        EXPECT_EQ(p.direction, 90.0f);
        EXPECT_GE(p.speed, 6.0f);
        EXPECT_LE(p.speed, 7.0f);
        EXPECT_EQ(p.life, 50);
    }
    Effect_Clear();
    Effect_Create(true, EF_RAIN, 5, 5, 2, 0xFF);
    for (const Particle& p : Made(true)) {
        EXPECT_GE(p.x, 0.0f);
        EXPECT_LT(p.x, 480.0f) << "1.2 x the room's width";
        EXPECT_GE(p.y, -30.0f);
        EXPECT_LT(p.y, -10.0f);
        EXPECT_EQ(p.life, 60) << "0.2 x the room's height";
        EXPECT_EQ(p.direction, 260.0f);
        EXPECT_EQ(p.alpha, 0.4f);
    }
    EXPECT_EQ(ParticleType_Get(Made(true)[0].type)->orientRelative, 1);
    Effect_Clear();
    Effect_Create(true, EF_SNOW, 5, 5, 2, 0xFF);
    for (const Particle& p : Made(true)) {
        EXPECT_GE(p.x, -60.0f);
        EXPECT_LT(p.x, 420.0f);
        EXPECT_EQ(p.life, 150);
        EXPECT_GE(p.direction, 240.0f);
        EXPECT_LE(p.direction, 300.0f);
    }
    Effect_Clear();
    Effect_Create(true, EF_ELLIPSE, 5, 5, 2, 0xFF);
    const ParticleType* t = ParticleType_Get(Made(true)[0].type);
    EXPECT_EQ(t->shape, 6);
    EXPECT_EQ(t->yScale, 0.5f);
    EXPECT_FLOAT_EQ(t->sizeIncr, 0.6f);
    Effect_Clear();
    Effect_Create(true, EF_CLOUD, 5, 5, 2, 0xFF);
    t = ParticleType_Get(Made(true)[0].type);
    EXPECT_EQ(Made(true)[0].size, 8.0f);
    EXPECT_EQ(t->alphaStart, 0.0f);
    EXPECT_FLOAT_EQ(t->alphaMiddle, 0.3f);
    EXPECT_EQ(Made(true)[0].life, 100);
    Effect_Clear();
    Effect_Create(true, EF_FIREWORK, 5, 5, 0, 0xFF);
    t = ParticleType_Get(Made(true)[0].type);
    EXPECT_FLOAT_EQ(t->gravAmount, 0.1f);
    EXPECT_EQ(t->gravDir, 270.0f);
    EXPECT_EQ(t->shape, 8);
}

TEST_F(Effects, ClearAndRestart)
{
    Effect_Create(true, EF_RING, 5, 5, 1, 0xFF);
    Effect_Create(false, EF_STAR, 5, 5, 1, 0xFF);
    Effect_Clear();
    EXPECT_EQ(Count(true), 0);
    EXPECT_EQ(Count(false), 0);
    // A game restart takes every system and type; the next effect makes them again.
    Particle_ResetAll();
    EXPECT_EQ(Effect_System(true), -1);
    const int32_t game = ParticleType_Create(); // the game's own type takes slot 0
    Effect_Create(false, EF_STAR, 5, 5, 1, 0xFF);
    EXPECT_EQ(Count(false), 1);
    EXPECT_NE(Made(false)[0].type, game);
    EXPECT_EQ(ParticleType_Count(), 36);
    // An effect type destroyed by the game is made again.
    const int32_t star = Made(false)[0].type;
    ParticleType_Destroy(star);
    Effect_Create(false, EF_STAR, 5, 5, 1, 0xFF);
    EXPECT_EQ(Count(false), 2);
    // An effect system destroyed by the game is made again, with its depth.
    ParticleSystem_Destroy(Effect_System(true));
    Effect_Create(true, EF_STAR, 5, 5, 1, 0xFF);
    EXPECT_EQ(Count(true), 1);
    EXPECT_EQ(ParticleSystem_Get(Effect_System(true))->depth, 100000.0f);
}

} // namespace
