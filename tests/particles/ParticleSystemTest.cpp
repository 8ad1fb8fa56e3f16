// Particle systems: the table, particle creation and storage growth, the update (ageing, step
// and death spawns, speed, direction, gravity, wiggles, size, colour and alpha over the life,
// streams), the system limit, and the room's depth queries.
#include <cmath>

#include "Files/Base/Random.h"
#include "ParticleTestSupport.h"
#include "support/CaptureConsole.h"

namespace {

using Systems = ParticleTest;

TEST_F(Systems, TableAndSettings)
{
    EXPECT_EQ(ParticleSystem_Create(), 0);
    EXPECT_EQ(ParticleSystem_Create(), 1);
    EXPECT_EQ(ParticleSystem_Create(), 2);
    const ParticleSystem* s = ParticleSystem_Get(1);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->oldToNew, 1);
    EXPECT_EQ(s->depth, 0.0f);
    EXPECT_EQ(s->autoUpdate, 1);
    EXPECT_EQ(s->autoDraw, 1);
    ParticleSystem_Depth(1, -50);
    ParticleSystem_Position(1, 3, 4);
    ParticleSystem_DrawOrder(1, false);
    ParticleSystem_AutomaticDraw(1, false);
    ParticleSystem_AutomaticUpdate(1, false);
    EXPECT_EQ(s->depth, -50.0f);
    EXPECT_EQ(s->y, 4.0f);
    EXPECT_EQ(s->oldToNew, 0);
    ParticleSystem_Destroy(1);
    EXPECT_FALSE(ParticleSystem_Exists(1));
    EXPECT_EQ(ParticleSystem_Get(1), nullptr);
    ParticleSystem_Depth(1, 7); // a destroyed system takes no settings
    EXPECT_EQ(ParticleSystem_Create(), 1);
    EXPECT_EQ(ParticleSystem_Get(1)->depth, 0.0f) << "a reused slot starts with the defaults";
    EXPECT_EQ(ParticleSystem_Get(1)->autoDraw, 1);
    EXPECT_FALSE(ParticleSystem_Exists(-1));
    EXPECT_FALSE(ParticleSystem_Exists(3));
    EXPECT_EQ(ParticleSystem_Count(17), 0);
    ParticleSystem_Update(17);
    ParticleSystem_Draw(-4);
}

TEST_F(Systems, StorageGrowsByAHundredSlots)
{
    const int32_t s = ParticleSystem_Create();
    const int32_t t = SimpleType(10);
    Particle_Create(s, 0, 0, t, 1);
    EXPECT_EQ(ParticleSystem_Get(s)->allocated, 100);
    for (int k = 1; k < 100; ++k) Particle_Create(s, 0, 0, t, 1);
    EXPECT_EQ(ParticleSystem_Get(s)->allocated, 100);
    Particle_Create(s, 0, 0, t, 1);
    EXPECT_EQ(ParticleSystem_Get(s)->allocated, 200) << "after the 101st";
    for (int k = 101; k < 150; ++k) Particle_Create(s, 0, 0, t, 1);
    EXPECT_EQ(ParticleSystem_Count(s), 150);
    EXPECT_EQ(ParticleSystem_Get(s)->allocated, 200);
    Particle_Create(s, 0, 0, t, 0);
    Particle_Create(s, 0, 0, t, -5);
    EXPECT_EQ(ParticleSystem_Count(s), 150) << "a number below 1 makes nothing";
    Particle_ClearAll(s);
    EXPECT_EQ(ParticleSystem_Count(s), 0);
    EXPECT_EQ(ParticleSystem_Get(s)->allocated, 0);
    EXPECT_EQ(ParticleSystem_Get(s)->particles, nullptr);
}

TEST_F(Systems, CreationMessages)
{
    const int32_t s = ParticleSystem_Create();
    const int32_t t = SimpleType(10);
    {
        CaptureConsole log;
        Particle_Create(5, 0, 0, t, 3);
        EXPECT_EQ(log.text, "part_particles_create :: particle system does not exist!\n");
    }
    {
        CaptureConsole log;
        Particle_CreateColour(s, 0, 0, 9, 0xFF, 3);
        EXPECT_EQ(log.text, "part_particles_create :: particle type does not exist!\n");
    }
    EXPECT_EQ(ParticleSystem_Count(s), 0);
    Particle_CreateColour(s, 1, 2, t, 0x00FF00, 3);
    for (const Particle& p : Live(s)) EXPECT_EQ(p.colour, 0x00FF00u);
}

TEST_F(Systems, MotionSpeedAndDirection)
{
    const int32_t s = ParticleSystem_Create();
    const int32_t t = SimpleType(100, 2, 0);
    Particle_Create(s, 10, 20, t, 1);
    ParticleSystem_Update(s);
    Particle p = Live(s)[0];
    EXPECT_EQ(p.age, 1);
    EXPECT_EQ(p.x, 12.0f);
    EXPECT_EQ(p.y, 20.0f);
    EXPECT_EQ(p.xPrev, 10.0f);
    // Straight up (90 is up on the y-down screen).
    ParticleType_Direction(t, 90, 90, 0, 0);
    Particle_Create(s, 0, 0, t, 1);
    ParticleSystem_Update(s);
    p = Live(s)[1];
    EXPECT_NEAR(p.x, 0.0f, 1e-5);
    EXPECT_FLOAT_EQ(p.y, -2.0f);
    // Speed increments stop at 0; direction and orientation increments add up.
    ParticleType_Speed(t, 1, 1, -0.4f, 0);
    ParticleType_Direction(t, 0, 0, 10, 0);
    ParticleType_Orientation(t, 5, 5, 3, 0, false);
    Particle_ClearAll(s);
    Particle_Create(s, 0, 0, t, 1);
    for (int k = 0; k < 4; ++k) ParticleSystem_Update(s);
    p = Live(s)[0];
    EXPECT_EQ(p.speed, 0.0f);
    EXPECT_FLOAT_EQ(p.direction, 40.0f);
    EXPECT_FLOAT_EQ(p.orientation, 17.0f);
}

TEST_F(Systems, GravityTurnsTheMotion)
{
    const int32_t s = ParticleSystem_Create();
    const int32_t t = SimpleType(100, 2, 0);
    ParticleType_Gravity(t, 0.5f, 270);
    Particle_Create(s, 0, 0, t, 1);
    ParticleSystem_Update(s);
    const Particle p = Live(s)[0];
    EXPECT_FLOAT_EQ(p.speed, std::sqrt(4.25f));
    EXPECT_NEAR(p.direction, 345.96, 0.01);
    EXPECT_NEAR(p.x, 2.0, 1e-5);
    EXPECT_NEAR(p.y, 0.5, 1e-5) << "gravity towards 270 pulls down";
    // Falling straight down from rest: direction 270.
    ParticleType_Speed(t, 0, 0, 0, 0);
    Particle_ClearAll(s);
    Particle_Create(s, 0, 0, t, 1);
    ParticleSystem_Update(s);
    EXPECT_NEAR(Live(s)[0].direction, 270.0, 1e-3);
    EXPECT_NEAR(Live(s)[0].y, 0.5, 1e-5);
}

TEST_F(Systems, LifeDeathAndStepSpawns)
{
    const int32_t s = ParticleSystem_Create();
    const int32_t a = SimpleType(3), b = SimpleType(50), c = SimpleType(50);
    ParticleType_Death(a, 2, b);
    Particle_Create(s, 7, 8, a, 5);
    ParticleSystem_Update(s);
    ParticleSystem_Update(s);
    EXPECT_EQ(ParticleSystem_Count(s), 5);
    ParticleSystem_Update(s);
    std::vector<Particle> live = Live(s);
    ASSERT_EQ(live.size(), 10u) << "each death makes two";
    for (const Particle& p : live) {
        EXPECT_EQ(p.type, b);
        EXPECT_EQ(p.x, 7.0f);
        EXPECT_EQ(p.age, 1) << "spawned in this pass and aged in it";
    }
    // Step particles: every step while alive; those made by a step particle are aged at once.
    Particle_ClearAll(s);
    ParticleType_Step(b, 1, c);
    Particle_Create(s, 0, 0, b, 1);
    ParticleSystem_Update(s);
    live = Live(s);
    ASSERT_EQ(live.size(), 2u);
    EXPECT_EQ(live[1].type, c);
    EXPECT_EQ(live[1].age, 1);
    ParticleSystem_Update(s);
    EXPECT_EQ(ParticleSystem_Count(s), 3);
    // A step type that no longer exists makes nothing.
    ParticleType_Destroy(c);
    ParticleSystem_Update(s);
    EXPECT_EQ(ParticleSystem_Count(s), 3);
}

TEST_F(Systems, DeathChanceOneIn)
{
    const int32_t s = ParticleSystem_Create();
    const int32_t a = SimpleType(1), b = SimpleType(1000);
    ParticleType_Death(a, -4, b);
    Particle_Create(s, 0, 0, a, 8000);
    ParticleSystem_Update(s);
    EXPECT_NEAR(ParticleSystem_Count(s), 2000, 200) << "about one death particle in four deaths";
}

TEST_F(Systems, ASelfSpawningTypeStopsAtTheSystemLimit)
{
    const int32_t s = ParticleSystem_Create();
    const int32_t a = SimpleType(1000);
    ParticleType_Step(a, 1, a);
    Particle_Create(s, 0, 0, a, 1);
    CaptureConsole log;
    ParticleSystem_Update(s); // each new particle is aged in the pass and spawns again
    EXPECT_EQ(ParticleSystem_Count(s), (int32_t)PARTICLE_MAX_PER_SYSTEM);
    EXPECT_TRUE(log.Has("no more are made"));
    const size_t length = log.text.size();
    ParticleSystem_Update(s);
    EXPECT_EQ(log.text.size(), length) << "the line is written once";
    Particle_Create(s, 0, 0, a, 2000000000);
    EXPECT_EQ(ParticleSystem_Count(s), (int32_t)PARTICLE_MAX_PER_SYSTEM);
}

TEST_F(Systems, LooksOverTheLife)
{
    const int32_t s = ParticleSystem_Create();
    const int32_t t = SimpleType(8);
    ParticleType_Alpha2(t, 1, 0);
    ParticleType_Size(t, 1, 1, -0.3f, 0);
    ParticleType_Colour2(t, 0x000000, 0x0000FF);
    Particle_Create(s, 0, 0, t, 1);
    ParticleSystem_Update(s);
    ParticleSystem_Update(s);
    Particle p = Live(s)[0];
    EXPECT_EQ(p.alpha, 0.75f) << "a quarter of the life";
    EXPECT_FLOAT_EQ(p.size, 0.4f);
    EXPECT_EQ(p.colour, 0x40u) << "a quarter of the way to red";
    for (int k = 0; k < 5; ++k) ParticleSystem_Update(s);
    p = Live(s)[0];
    EXPECT_EQ(p.size, 0.0f) << "size stops at 0";
    EXPECT_FLOAT_EQ(p.alpha, 0.125f);
    ParticleSystem_Update(s);
    EXPECT_EQ(ParticleSystem_Count(s), 0) << "dead at age 8";
}

TEST_F(Systems, SpeedWiggleIsATriangleWaveOfTwentySteps)
{
    const int32_t s = ParticleSystem_Create();
    const int32_t t = SimpleType(1000, 0, 0);
    ParticleType_Speed(t, 0, 0, 0, 1);
    Particle_Create(s, 100, 0, t, 1);
    float lo = 0, hi = 0;
    for (int k = 0; k < 20; ++k) {
        const float before = Live(s)[0].x;
        ParticleSystem_Update(s);
        const float step = Live(s)[0].x - before;
        lo = std::min(lo, step);
        hi = std::max(hi, step);
    }
    EXPECT_NEAR(Live(s)[0].x, 100.0f, 1e-4) << "back where it started after a whole period";
    EXPECT_NEAR(lo, -1.0f, 1e-5);
    EXPECT_NEAR(hi, 1.0f, 1e-5);
    EXPECT_EQ(Live(s)[0].speed, 0.0f) << "the wiggle does not change the speed itself";
}

TEST_F(Systems, UpdateAllFollowsTheAutomaticFlag)
{
    const int32_t a = ParticleSystem_Create(), b = ParticleSystem_Create();
    const int32_t t = SimpleType(100);
    Particle_Create(a, 0, 0, t, 1);
    Particle_Create(b, 0, 0, t, 1);
    ParticleSystem_AutomaticUpdate(b, false);
    ParticleSystem_UpdateAll();
    ParticleSystem_UpdateAll();
    EXPECT_EQ(Live(a)[0].age, 2);
    EXPECT_EQ(Live(b)[0].age, 0);
    ParticleSystem_Destroy(a);
    ParticleSystem_UpdateAll();
    EXPECT_EQ(ParticleSystem_Count(a), 0);
}

TEST_F(Systems, DepthQueriesForTheRoom)
{
    EXPECT_EQ(ParticleSystem_MaxDepth(), -1e9f);
    const int32_t a = ParticleSystem_Create(), b = ParticleSystem_Create(), c = ParticleSystem_Create();
    const int32_t d = ParticleSystem_Create();
    ParticleSystem_Depth(a, 10);
    ParticleSystem_Depth(b, 10.005f);
    ParticleSystem_Depth(c, -20);
    ParticleSystem_Depth(d, 500);
    ParticleSystem_AutomaticDraw(d, false);
    EXPECT_EQ(ParticleSystem_MaxDepth(), 10.005f);
    EXPECT_EQ(ParticleSystem_NextDepthBelow(10.005f), 10.0f);
    EXPECT_EQ(ParticleSystem_NextDepthBelow(10.0f), -20.0f);
    EXPECT_EQ(ParticleSystem_NextDepthBelow(-20.0f), -1e9f);
    EXPECT_EQ(ParticleSystem_NextDepthBelow(1e9f), 10.005f);
    ParticleSystem_Destroy(c);
    EXPECT_EQ(ParticleSystem_NextDepthBelow(10.0f), -1e9f);
}

TEST_F(Systems, ResetAndFreeEmptyEverything)
{
    const int32_t s = ParticleSystem_Create();
    const int32_t t = SimpleType(100);
    Particle_Create(s, 0, 0, t, 10);
    ParticleEmitter_Create(s);
    Particle_ResetAll();
    EXPECT_EQ(ParticleSystem_TableSize(), 0);
    EXPECT_EQ(ParticleType_Count(), 0);
    EXPECT_FALSE(ParticleSystem_Exists(s));
    EXPECT_EQ(ParticleSystem_Create(), 0);
    EXPECT_EQ(ParticleType_Create(), 0);
}

} // namespace
