// The parts of a system: the management family (per-system indexes, slot reuse, bad indexes),
// emitter bursts and streams over each region shape and distribution, attractors of each force
// kind, destroyers, deflectors and changers with their regions and shapes.
#include <cmath>

#include "ParticleTestSupport.h"
#include "support/CaptureConsole.h"

namespace {

using Parts = ParticleTest;

TEST_F(Parts, ManagementFamily)
{
    const int32_t a = ParticleSystem_Create(), b = ParticleSystem_Create();
    EXPECT_EQ(ParticleEmitter_Create(a), 0);
    EXPECT_EQ(ParticleEmitter_Create(a), 1);
    EXPECT_EQ(ParticleEmitter_Create(b), 0) << "indexes are per system";
    EXPECT_EQ(ParticleAttractor_Create(a), 0);
    EXPECT_EQ(ParticleDestroyer_Create(a), 0);
    EXPECT_EQ(ParticleDeflector_Create(a), 0);
    EXPECT_EQ(ParticleChanger_Create(a), 0);
    EXPECT_EQ(ParticleEmitter_Create(7), -1);
    EXPECT_EQ(ParticleChanger_Create(-1), -1);
    EXPECT_TRUE(ParticleEmitter_Exists(a, 1));
    EXPECT_FALSE(ParticleEmitter_Exists(a, 2));
    EXPECT_FALSE(ParticleEmitter_Exists(a, -1));
    ParticleEmitter_Destroy(a, 0);
    EXPECT_FALSE(ParticleEmitter_Exists(a, 0));
    EXPECT_EQ(ParticleEmitter_Create(a), 0) << "the destroyed slot is taken again";
    // Defaults after create and clear.
    const ParticleSystem* s = ParticleSystem_Get(a);
    EXPECT_EQ(s->attractors[0].additive, 1);
    EXPECT_EQ(s->changers[0].typeFrom, -1);
    EXPECT_EQ(s->changers[0].typeTo, -1);
    ParticleAttractor_Force(a, 0, 3, 4, 1, false);
    ParticleAttractor_Clear(a, 0);
    EXPECT_EQ(s->attractors[0].force, 0.0f);
    EXPECT_EQ(s->attractors[0].additive, 1);
    ParticleEmitter_DestroyAll(a);
    EXPECT_FALSE(ParticleEmitter_Exists(a, 1));
    EXPECT_EQ(ParticleEmitter_Create(a), 0);
    // A destroyed system has no parts.
    ParticleSystem_Destroy(a);
    EXPECT_FALSE(ParticleDeflector_Exists(a, 0));
    ParticleDeflector_Kind(a, 0, 1);
    ParticleDeflector_DestroyAll(a);
}

TEST_F(Parts, BurstOverRegions)
{
    const int32_t s = ParticleSystem_Create();
    const int32_t t = SimpleType(100);
    const int32_t e = ParticleEmitter_Create(s);
    // A line from (0, 0) to (100, 50): every particle on the segment.
    ParticleEmitter_Region(s, e, 0, 100, 0, 50, PS_SHAPE_LINE, PS_DISTR_LINEAR);
    ParticleEmitter_Burst(s, e, t, 300);
    EXPECT_EQ(ParticleSystem_Count(s), 300);
    EXPECT_EQ(ParticleSystem_Get(s)->allocated, 300) << "the array is made exactly large enough";
    for (const Particle& p : Live(s)) {
        EXPECT_GE(p.x, 0.0f);
        EXPECT_LE(p.x, 100.0f);
        EXPECT_NEAR(p.y, p.x * 0.5f, 1e-4);
    }
    // An ellipse and a diamond in the square (100..200, 100..200).
    Particle_ClearAll(s);
    ParticleEmitter_Region(s, e, 100, 200, 100, 200, PS_SHAPE_ELLIPSE, PS_DISTR_LINEAR);
    ParticleEmitter_Burst(s, e, t, 500);
    ASSERT_EQ(ParticleSystem_Count(s), 500);
    for (const Particle& p : Live(s)) EXPECT_LE(std::hypot(p.x - 150.0f, p.y - 150.0f), 50.001f);
    Particle_ClearAll(s);
    ParticleEmitter_Region(s, e, 100, 200, 100, 200, PS_SHAPE_DIAMOND, PS_DISTR_GAUSSIAN);
    ParticleEmitter_Burst(s, e, t, 500);
    ASSERT_EQ(ParticleSystem_Count(s), 500);
    for (const Particle& p : Live(s)) EXPECT_LE(std::fabs(p.x - 150.0f) + std::fabs(p.y - 150.0f), 50.001f);
    // Inverse gaussian in a rectangle: along the edges, not only in the corners.
    Particle_ClearAll(s);
    ParticleEmitter_Region(s, e, 0, 100, 0, 100, PS_SHAPE_RECTANGLE, PS_DISTR_INVGAUSSIAN);
    ParticleEmitter_Burst(s, e, t, 2000);
    int edge = 0, corner = 0, centre = 0;
    for (const Particle& p : Live(s)) {
        const bool ex = p.x < 15 || p.x > 85, ey = p.y < 15 || p.y > 85;
        edge += ex || ey;
        corner += ex && ey;
        centre += p.x > 35 && p.x < 65 && p.y > 35 && p.y < 65;
    }
    EXPECT_GT(edge, 1300) << "linear would give about 1020";
    EXPECT_LT(corner, 600) << "one coordinate is linear (both inverse-gaussian would give about 800)";
    EXPECT_LT(centre, 60) << "linear would give about 180";
}

TEST_F(Parts, BurstChancesAndBadArguments)
{
    const int32_t s = ParticleSystem_Create();
    const int32_t t = SimpleType(100000);
    const int32_t e = ParticleEmitter_Create(s);
    for (int k = 0; k < 4000; ++k) ParticleEmitter_Burst(s, e, t, -8);
    EXPECT_NEAR(ParticleSystem_Count(s), 500, 90) << "chance 1 in 8";
    Particle_ClearAll(s);
    ParticleEmitter_Burst(s, e + 1, t, 5);
    ParticleEmitter_Burst(s + 1, e, t, 5);
    EXPECT_EQ(ParticleSystem_Count(s), 0);
    CaptureConsole log;
    ParticleEmitter_Burst(s, e, 42, 5);
    EXPECT_EQ(log.text, "part_particles_create :: particle type does not exist!\n") << "once for the burst";
    EXPECT_EQ(ParticleSystem_Count(s), 0);
}

TEST_F(Parts, StreamsEveryStep)
{
    const int32_t s = ParticleSystem_Create();
    const int32_t t = SimpleType(100000);
    const int32_t e = ParticleEmitter_Create(s);
    ParticleEmitter_Region(s, e, 10, 10, 20, 20, PS_SHAPE_RECTANGLE, PS_DISTR_LINEAR);
    ParticleEmitter_Stream(s, e, t, 3);
    ParticleSystem_Update(s);
    ParticleSystem_Update(s);
    EXPECT_EQ(ParticleSystem_Count(s), 6);
    std::vector<Particle> live = Live(s);
    EXPECT_EQ(live[0].age, 1) << "streamed after the ageing of the step";
    EXPECT_EQ(live[5].age, 0);
    EXPECT_EQ(live[5].x, 10.0f);
    EXPECT_EQ(live[5].y, 20.0f);
    // One particle in about ten steps.
    Particle_ClearAll(s);
    ParticleEmitter_Stream(s, e, t, -10);
    for (int k = 0; k < 3000; ++k) ParticleSystem_Update(s);
    EXPECT_NEAR(ParticleSystem_Count(s), 300, 60);
    // A stream on a destroyed system or emitter does nothing.
    ParticleEmitter_Stream(s, 5, t, 3);
    ParticleEmitter_Destroy(s, e);
    Particle_ClearAll(s);
    ParticleSystem_Update(s);
    EXPECT_EQ(ParticleSystem_Count(s), 0);
    ParticleSystem_Destroy(s);
    ParticleEmitter_Stream(s, e, t, 3);
    ParticleSystem_UpdateAll();
}

TEST_F(Parts, AttractorsPullAndPush)
{
    const int32_t s = ParticleSystem_Create();
    const int32_t t = SimpleType(1000);
    const int32_t a = ParticleAttractor_Create(s);
    ParticleAttractor_Position(s, a, 100, 0);
    ParticleAttractor_Force(s, a, 2, 50, PS_FORCE_CONSTANT, true);
    Particle_Create(s, 60, 0, t, 1);  // 40 away: pulled
    Particle_Create(s, 30, 0, t, 1);  // 70 away: out of reach
    Particle_Create(s, 100, 0, t, 1); // on the attractor: no direction to pull in
    ParticleSystem_Update(s);
    std::vector<Particle> p = Live(s);
    EXPECT_FLOAT_EQ(p[0].speed, 2.0f) << "an additive force becomes motion";
    EXPECT_NEAR(p[0].x, 62.0f, 1e-4);
    EXPECT_NEAR(p[0].direction, 0.0f, 1e-3);
    EXPECT_EQ(p[1].x, 30.0f);
    EXPECT_EQ(p[2].x, 100.0f);
    // Linear: the force falls off with the distance; non-additive: the position moves alone.
    ParticleAttractor_Force(s, a, 2, 50, PS_FORCE_LINEAR, false);
    Particle_ClearAll(s);
    Particle_Create(s, 75, 0, t, 1); // 25 of 50 away: half the force
    ParticleSystem_Update(s);
    p = Live(s);
    EXPECT_NEAR(p[0].x, 76.0f, 1e-4);
    EXPECT_EQ(p[0].speed, 0.0f);
    ParticleAttractor_Force(s, a, -2, 50, PS_FORCE_QUADRATIC, false);
    Particle_ClearAll(s);
    Particle_Create(s, 100, 25, t, 1); // straight below, half-way: a quarter of the push
    ParticleSystem_Update(s);
    p = Live(s);
    EXPECT_NEAR(p[0].y, 25.5f, 1e-4);
    EXPECT_NEAR(p[0].x, 100.0f, 1e-4);
    // A destroyed attractor acts no more.
    ParticleAttractor_Destroy(s, a);
    ParticleSystem_Update(s);
    EXPECT_NEAR(Live(s)[0].y, 25.5f, 1e-4);
}

TEST_F(Parts, Destroyers)
{
    const int32_t s = ParticleSystem_Create();
    const int32_t t = SimpleType(1000);
    const int32_t d = ParticleDestroyer_Create(s);
    auto place = [&] {
        Particle_ClearAll(s);
        Particle_Create(s, 50, 50, t, 1); // centre
        Particle_Create(s, 2, 2, t, 1);   // corner
        Particle_Create(s, 90, 50, t, 1); // right edge, middle
        Particle_Create(s, 200, 50, t, 1); // outside
    };
    ParticleDestroyer_Region(s, d, 0, 100, 0, 100, PS_SHAPE_RECTANGLE);
    place();
    ParticleSystem_Update(s);
    EXPECT_EQ(ParticleSystem_Count(s), 1);
    ParticleDestroyer_Region(s, d, 0, 100, 0, 100, PS_SHAPE_ELLIPSE);
    place();
    ParticleSystem_Update(s);
    EXPECT_EQ(ParticleSystem_Count(s), 2) << "the corner lies outside the ellipse";
    ParticleDestroyer_Region(s, d, 0, 100, 0, 100, PS_SHAPE_DIAMOND);
    place();
    ParticleSystem_Update(s);
    EXPECT_EQ(ParticleSystem_Count(s), 2);
    ParticleDestroyer_Region(s, d, 0, 100, 0, 100, PS_SHAPE_LINE);
    place();
    ParticleSystem_Update(s);
    EXPECT_EQ(ParticleSystem_Count(s), 4) << "a line destroys nothing";
    ParticleDestroyer_Region(s, d, 50, 50, 0, 100, PS_SHAPE_RECTANGLE);
    place();
    ParticleSystem_Update(s);
    EXPECT_EQ(ParticleSystem_Count(s), 4) << "a region without width never acts";
}

TEST_F(Parts, Deflectors)
{
    const int32_t s = ParticleSystem_Create();
    const int32_t t = SimpleType(1000, 10, 30);
    const int32_t d = ParticleDeflector_Create(s);
    ParticleDeflector_Region(s, d, 0, 100, 0, 100);
    ParticleDeflector_Kind(s, d, PS_DEFLECT_HORIZONTAL);
    Particle_Create(s, 50, 50, t, 1);
    ParticleSystem_Update(s);
    Particle p = Live(s)[0];
    EXPECT_FLOAT_EQ(p.direction, 150.0f);
    EXPECT_NEAR(p.x, 50.0f - 10.0f * std::cos(30 * 3.14159265 / 180), 1e-3) << "moved back to the mirrored x";
    EXPECT_NEAR(p.y, 45.0f, 1e-3);
    EXPECT_EQ(p.xPrev, 50.0f);
    ParticleDeflector_Kind(s, d, PS_DEFLECT_VERTICAL);
    ParticleDeflector_Friction(s, d, 4);
    Particle_ClearAll(s);
    Particle_Create(s, 50, 50, t, 1);
    ParticleSystem_Update(s);
    p = Live(s)[0];
    EXPECT_FLOAT_EQ(p.direction, 330.0f);
    EXPECT_NEAR(p.y, 55.0f, 1e-3);
    EXPECT_FLOAT_EQ(p.speed, 6.0f);
    ParticleDeflector_Friction(s, d, 50);
    ParticleSystem_Update(s);
    EXPECT_EQ(Live(s)[0].speed, 0.0f) << "friction larger than the speed stops it";
    // A horizontal turn of a direction above 180 stays positive.
    ParticleDeflector_Kind(s, d, PS_DEFLECT_HORIZONTAL);
    ParticleDeflector_Friction(s, d, 0);
    ParticleType_Direction(t, 200, 200, 0, 0);
    Particle_ClearAll(s);
    Particle_Create(s, 50, 50, t, 1);
    ParticleSystem_Update(s);
    EXPECT_FLOAT_EQ(Live(s)[0].direction, 340.0f);
    ParticleDeflector_Region(s, d, 0, 100, 60, 60);
    Particle_ClearAll(s);
    Particle_Create(s, 50, 60, t, 1);
    ParticleSystem_Update(s);
    EXPECT_FLOAT_EQ(Live(s)[0].direction, 200.0f) << "a region without height never acts";
}

TEST_F(Parts, Changers)
{
    const int32_t s = ParticleSystem_Create();
    const int32_t from = SimpleType(1000, 1, 0), to = SimpleType(7, 5, 90), other = SimpleType(1000);
    ParticleType_Colour1(to, 0x00FF00);
    ParticleType_Size(to, 3, 3, 0, 0);
    const int32_t c = ParticleChanger_Create(s);
    ParticleChanger_Region(s, c, 0, 100, 0, 100, PS_SHAPE_RECTANGLE);
    ParticleChanger_Types(s, c, from, to);
    ParticleChanger_Kind(s, c, PS_CHANGE_MOTION);
    Particle_Create(s, 50, 50, from, 1);
    Particle_Create(s, 50, 50, other, 1);
    Particle_Create(s, 150, 50, from, 1);
    ParticleSystem_Update(s);
    std::vector<Particle> p = Live(s);
    EXPECT_EQ(p[0].type, to);
    EXPECT_EQ(p[0].speed, 5.0f);
    EXPECT_EQ(p[0].direction, 90.0f);
    EXPECT_EQ(p[0].colour, 0xFFFFFFu) << "motion only";
    EXPECT_EQ(p[0].age, 1);
    EXPECT_EQ(p[1].type, other);
    EXPECT_EQ(p[2].type, from) << "outside the region";
    ParticleChanger_Kind(s, c, PS_CHANGE_SHAPE);
    Particle_ClearAll(s);
    Particle_Create(s, 50, 50, from, 1);
    ParticleSystem_Update(s);
    p = Live(s);
    EXPECT_EQ(p[0].colour, 0x00FF00u);
    EXPECT_EQ(p[0].size, 3.0f);
    EXPECT_EQ(p[0].speed, 1.0f) << "looks only";
    ParticleChanger_Kind(s, c, PS_CHANGE_ALL);
    Particle_ClearAll(s);
    Particle_Create(s, 50, 50, from, 1);
    ParticleSystem_Update(s);
    p = Live(s);
    EXPECT_EQ(p[0].life, 7);
    EXPECT_EQ(p[0].age, 0) << "a new particle in its place";
    EXPECT_NEAR(p[0].x, 51.0f, 1e-4) << "at the changed particle's position";
    // A changer towards a type that does not exist changes nothing.
    ParticleChanger_Kind(s, c, PS_CHANGE_ALL);
    ParticleChanger_Types(s, c, from, 33);
    Particle_ClearAll(s);
    Particle_Create(s, 50, 50, from, 1);
    ParticleSystem_Update(s);
    EXPECT_EQ(Live(s)[0].type, from);
    EXPECT_EQ(Live(s)[0].life, 1000);
    // Ellipse: the region's corners are outside.
    ParticleChanger_Types(s, c, other, to);
    ParticleChanger_Region(s, c, 0, 100, 0, 100, PS_SHAPE_ELLIPSE);
    Particle_ClearAll(s);
    Particle_Create(s, 0, 0, other, 1);
    Particle_Create(s, 49, 49, other, 1);
    ParticleSystem_Update(s);
    p = Live(s);
    EXPECT_EQ(p[0].type, other);
    EXPECT_EQ(p[1].type, to);
}

} // namespace
