// Effects: ready-made particle bursts in two ordinary systems of the table, one behind
// everything (depth 100000) and one in front (depth -100000), over 35 particle types made once
// and tuned again on every call; lifetimes and speeds follow the room speed and the measured
// frame rate so that effects look alike at higher room speeds (Particle_Main.h).
//
// Needs: the particle types and systems, the random generator, the current room (speed and
// size) and the run state's frame rate. No Linux/ file.
#include "Files/Base/Random.h"
#include "Files/Base/RealConvert.h"
#include "Files/Particle/Particle_Main.h"
#include "Files/Room/Room.h"
#include "Files/Run/Run_Main.h"

namespace {

// Type slots, grouped by kind (ORDER: the groups below).
enum : int32_t {
    T_EXPLOSION = 0,  // small first, small second, medium first, medium second, large ...
    T_RING = 6,
    T_ELLIPSE = 9,
    T_FIREWORK = 12,
    T_SMOKE = 15,
    T_SMOKEUP = 18,
    T_STAR = 21,
    T_SPARK = 24,
    T_FLARE = 27,
    T_CLOUD = 30,
    T_RAIN = 33,
    T_SNOW = 34,
    T_COUNT = 35
};

struct EffectState {
    int32_t below = -1, above = -1;
    bool typesMade = false;
    int32_t types[T_COUNT] = {};
};
EffectState g_effects;

// 0 small, 2 large, anything else medium.
int32_t SizeIndex(int32_t size) { return size == 0 ? 0 : size == 2 ? 2 : 1; }

int32_t Life(double steps) { return Real_RoundToInt32(steps); }

struct Builder {
    int32_t system;
    float x, y;
    int32_t size; // 0, 1, 2
    uint32_t colour;
    double f;     // speed factor
    float F(double v) const { return (float)(v * f); }
    int32_t L(double steps) const { return Life(steps / f); }
};

void RoomSize(float* w, float* h)
{
    const CRoom* room = Run_CurrentRoom();
    *w = room ? (float)room->m_width : 0.0f;
    *h = room ? (float)room->m_height : 0.0f;
}

void Explosion(const Builder& b)
{
    static const double size[3] = {0.1, 0.3, 0.4}, grow1[3] = {0.05, 0.1, 0.2}, grow2[3] = {0.1, 0.2, 0.4};
    static const double speed[3] = {2, 4, 7}, slow[3] = {-0.1, -0.18, -0.2};
    static const double life1[3] = {10, 12, 15}, life1b[3] = {15, 17, 20}, life2[3] = {15, 17, 20};
    const int32_t k = b.size;
    const int32_t t1 = g_effects.types[T_EXPLOSION + 2 * k], t2 = g_effects.types[T_EXPLOSION + 2 * k + 1];
    ParticleType_Shape(t1, 10);
    ParticleType_Size(t1, (float)size[k], (float)size[k], b.F(grow1[k]), 0);
    ParticleType_Speed(t1, b.F(speed[k]), b.F(speed[k]), b.F(slow[k]), 0);
    ParticleType_Direction(t1, 0, 360, 0, 0);
    ParticleType_Orientation(t1, 0, 360, 0, 0, false);
    ParticleType_Alpha2(t1, 0.6f, 0);
    ParticleType_Life(t1, b.L(life1[k]), b.L(life1b[k]));
    ParticleType_Shape(t2, 10);
    ParticleType_Size(t2, (float)size[k], (float)size[k], b.F(grow2[k]), 0);
    ParticleType_Orientation(t2, 0, 360, 0, 0, false);
    ParticleType_Alpha2(t2, 0.8f, 0);
    ParticleType_Life(t2, b.L(life2[k]), b.L(life2[k]));
    Particle_CreateColour(b.system, b.x, b.y, t1, b.colour, 20);
    Particle_CreateColour(b.system, b.x, b.y, t2, 0, 1);
}

void Ring(const Builder& b, bool ellipse)
{
    static const double ringGrow[3] = {0.15, 0.25, 0.4}, ellipseGrow[3] = {0.2, 0.35, 0.6};
    static const double lifeMin[3] = {10, 13, 18}, lifeMax[3] = {12, 15, 20};
    const int32_t k = b.size;
    const int32_t t = g_effects.types[(ellipse ? T_ELLIPSE : T_RING) + k];
    ParticleType_Shape(t, 6);
    ParticleType_Size(t, 0, 0, b.F(ellipse ? ellipseGrow[k] : ringGrow[k]), 0);
    if (ellipse) ParticleType_Scale(t, 1, 0.5f);
    ParticleType_Alpha2(t, 1, 0);
    ParticleType_Life(t, b.L(lifeMin[k]), b.L(lifeMax[k]));
    Particle_CreateColour(b.system, b.x, b.y, t, b.colour, 1);
}

void Firework(const Builder& b)
{
    static const int32_t count[3] = {75, 150, 250};
    static const double speedMax[3] = {3, 6, 8}, lifeMin[3] = {15, 20, 30}, lifeMax[3] = {25, 30, 40};
    static const double gravity[3] = {0.1, 0.15, 0.17};
    const int32_t k = b.size;
    const int32_t t = g_effects.types[T_FIREWORK + k];
    ParticleType_Shape(t, 8);
    ParticleType_Size(t, 0.1f, 0.2f, 0, 0);
    ParticleType_Speed(t, b.F(0.5), b.F(speedMax[k]), 0, 0);
    ParticleType_Direction(t, 0, 360, 0, 0);
    ParticleType_Alpha2(t, 1, 0.4f);
    ParticleType_Life(t, b.L(lifeMin[k]), b.L(lifeMax[k]));
    ParticleType_Gravity(t, b.F(gravity[k]), 270);
    Particle_CreateColour(b.system, b.x, b.y, t, b.colour, count[k]);
}

void Smoke(const Builder& b, bool up)
{
    static const int32_t count[3] = {6, 11, 16}, spread[3] = {5, 15, 30};
    static const double sizeMin[3] = {0.2, 0.4, 0.4}, sizeMax[3] = {0.4, 0.7, 1.0}, life[3] = {25, 30, 50};
    static const double speedMin[3] = {3, 5, 6}, speedMax[3] = {4, 6, 7};
    const int32_t k = b.size;
    const int32_t t = g_effects.types[(up ? T_SMOKEUP : T_SMOKE) + k];
    ParticleType_Shape(t, 10);
    ParticleType_Size(t, (float)sizeMin[k], (float)sizeMax[k], b.F(-0.01), 0);
    ParticleType_Alpha2(t, 0.4f, 0);
    ParticleType_Life(t, b.L(life[k]), b.L(life[k]));
    if (up) {
        ParticleType_Direction(t, 90, 90, 0, 0);
        ParticleType_Speed(t, b.F(speedMin[k]), b.F(speedMax[k]), 0, 0);
    }
    for (int32_t n = 0; n < count[k]; ++n) {
        const float px = b.x - (float)spread[k] + (float)Random_Int(2 * spread[k]);
        const float py = b.y - (float)spread[k] + (float)Random_Int(2 * spread[k]);
        Particle_CreateColour(b.system, px, py, t, b.colour, 1);
    }
}

// Star, spark and flare: one particle shrinking while it turns.
void Star(const Builder& b, int32_t group, int32_t shape)
{
    static const double size[3] = {0.4, 0.75, 1.2}, shrink[3] = {-0.02, -0.03, -0.04}, life[3] = {20, 25, 30};
    const int32_t k = b.size;
    const int32_t t = g_effects.types[group + k];
    ParticleType_Shape(t, shape);
    ParticleType_Size(t, (float)size[k], (float)size[k], b.F(shrink[k]), 0);
    ParticleType_Orientation(t, 0, 360, 0, 0, false);
    ParticleType_Life(t, b.L(life[k]), b.L(life[k]));
    Particle_CreateColour(b.system, b.x, b.y, t, b.colour, 1);
}

void Cloud(const Builder& b)
{
    static const float size[3] = {2, 4, 8};
    const int32_t k = b.size;
    const int32_t t = g_effects.types[T_CLOUD + k];
    ParticleType_Shape(t, 10);
    ParticleType_Size(t, size[k], size[k], 0, 0);
    ParticleType_Scale(t, 1, 0.5f);
    ParticleType_Alpha3(t, 0, 0.3f, 0);
    ParticleType_Life(t, b.L(100), b.L(100));
    Particle_CreateColour(b.system, b.x, b.y, t, b.colour, 1);
}

// Rain and snow fall over the whole room; the effect's position is not used.
void Rain(const Builder& b)
{
    static const int32_t count[3] = {2, 5, 9};
    float w, h;
    RoomSize(&w, &h);
    const int32_t t = g_effects.types[T_RAIN];
    ParticleType_Shape(t, 3);
    ParticleType_Size(t, 0.2f, 0.3f, 0, 0);
    ParticleType_Orientation(t, 0, 0, 0, 0, true);
    ParticleType_Speed(t, b.F(7), b.F(7), 0, 0);
    ParticleType_Direction(t, 260, 260, 0, 0);
    ParticleType_Alpha1(t, 0.4f);
    ParticleType_Life(t, b.L(h * 0.2), b.L(h * 0.2));
    for (int32_t n = 0; n < count[b.size]; ++n) {
        const float px = (float)(Random_Real(1.0) * 1.2 * w);
        const float py = (float)(Random_Real(20.0) - 30.0);
        Particle_CreateColour(b.system, px, py, t, b.colour, 1);
    }
}

void Snow(const Builder& b)
{
    static const int32_t count[3] = {1, 3, 7};
    float w, h;
    RoomSize(&w, &h);
    const int32_t t = g_effects.types[T_SNOW];
    ParticleType_Shape(t, 13);
    ParticleType_Size(t, 0.1f, 0.25f, 0, 0);
    ParticleType_Alpha1(t, 0.6f);
    ParticleType_Orientation(t, 0, 360, 0, 0, false);
    ParticleType_Speed(t, b.F(2.5), b.F(3), 0, 0);
    ParticleType_Direction(t, 240, 300, 0, 20);
    ParticleType_Life(t, b.L(h * 0.5), b.L(h * 0.5));
    for (int32_t n = 0; n < count[b.size]; ++n) {
        const float px = (float)(Random_Real(1.0) * 1.2 * w - 60.0);
        const float py = (float)(Random_Real(20.0) - 30.0);
        Particle_CreateColour(b.system, px, py, t, b.colour, 1);
    }
}

} // namespace

double Effect_SpeedFactorFor(int32_t roomSpeed, int32_t frameRate)
{
    if (roomSpeed <= 30 || frameRate <= 30) return 1.0;
    if ((double)roomSpeed / (double)frameRate >= 1.2) return 30.0 / (double)frameRate;
    return 30.0 / (double)roomSpeed;
}

double Effect_SpeedFactor()
{
    const CRoom* room = Run_CurrentRoom();
    return Effect_SpeedFactorFor(room ? room->m_speed : 30, Run_State().fps);
}

void Effect_Init()
{
    if (!ParticleSystem_Exists(g_effects.below)) {
        g_effects.below = ParticleSystem_Create();
        ParticleSystem_Depth(g_effects.below, 100000.0f);
    }
    if (!ParticleSystem_Exists(g_effects.above)) {
        g_effects.above = ParticleSystem_Create();
        ParticleSystem_Depth(g_effects.above, -100000.0f);
    }
    // Made once; a type that has gone since (destroyed by the game) is made again.
    for (int32_t k = 0; k < T_COUNT; ++k)
        if (!g_effects.typesMade || !ParticleType_Exists(g_effects.types[k])) g_effects.types[k] = ParticleType_Create();
    g_effects.typesMade = true;
}

void Effect_Create(bool below, int32_t kind, float x, float y, int32_t size, uint32_t colour)
{
    if (kind < 0 || kind >= EF_KIND_COUNT) return;
    Effect_Init();
    const Builder b{below ? g_effects.below : g_effects.above, x, y, SizeIndex(size), colour, Effect_SpeedFactor()};
    switch (kind) {
    case EF_EXPLOSION: Explosion(b); break;
    case EF_RING: Ring(b, false); break;
    case EF_ELLIPSE: Ring(b, true); break;
    case EF_FIREWORK: Firework(b); break;
    case EF_SMOKE: Smoke(b, false); break;
    case EF_SMOKEUP: Smoke(b, true); break;
    case EF_STAR: Star(b, T_STAR, 4); break;
    case EF_SPARK: Star(b, T_SPARK, 9); break;
    case EF_FLARE: Star(b, T_FLARE, 8); break;
    case EF_CLOUD: Cloud(b); break;
    case EF_RAIN: Rain(b); break;
    case EF_SNOW: Snow(b); break;
    default: break;
    }
}

void Effect_Clear()
{
    Particle_ClearAll(g_effects.below);
    Particle_ClearAll(g_effects.above);
}

void Effect_Reset() { g_effects = EffectState(); }

int32_t Effect_System(bool below) { return below ? g_effects.below : g_effects.above; }
