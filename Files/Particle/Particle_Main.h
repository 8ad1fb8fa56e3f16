// Particle systems: the particle types (one global table of recipes), the particle systems
// (one global table; each owns its live particles and its emitters, attractors, destroyers,
// deflectors and changers), the update that advances a system by one step, the drawing of a
// system (built-in shapes straight into the vertex batch, or sprites), the room's depth
// interleaving, and the ready-made effects built on two systems of the table.
//
// Files: Particle_Type.cpp (types, random ranges, particle initialisation and colour, the
// shape textures), Particle_System.cpp (systems, particle storage, update, drawing, depth
// queries, life cycle), Particle_Parts.cpp (the five kinds of parts and the region effects),
// Particle_Effect.cpp (effects), Particle_Builtins.cpp (part_*, effect_*, action_effect),
// Particle_Main.cpp (start-up and shutdown).
//
// Every real of the records is single precision and every step of the maths is done in
// single precision, in the order written (the build forbids contraction), so runs repeat
// exactly for one random seed. Random numbers come from the program's one generator
// (Files/Base/Random.h). Main thread only. No Linux/ file.
//
// Needs: the random generator, the vertex batch and render states, the sprite table, the
// built-in images (shape textures), the current room and the measured frame rate (effects).
#pragma once

#include <cstdint>
#include <vector>

#include "Platform/FreeSlots.h"

struct TextureRecord;

// ---- Constants the scripts see (ORDER: the pt_*, ps_* and ef_* built-in constants) -----------
enum : int32_t { PT_SHAPE_COUNT = 14 };                      // pt_shape_pixel 0 .. pt_shape_snow 13
enum : int32_t { PS_DISTR_LINEAR = 0, PS_DISTR_GAUSSIAN = 1, PS_DISTR_INVGAUSSIAN = 2 };
enum : int32_t { PS_SHAPE_RECTANGLE = 0, PS_SHAPE_ELLIPSE = 1, PS_SHAPE_DIAMOND = 2, PS_SHAPE_LINE = 3 };
enum : int32_t { PS_FORCE_CONSTANT = 0, PS_FORCE_LINEAR = 1, PS_FORCE_QUADRATIC = 2 };
enum : int32_t { PS_DEFLECT_VERTICAL = 0, PS_DEFLECT_HORIZONTAL = 1 };
enum : int32_t { PS_CHANGE_ALL = 0, PS_CHANGE_SHAPE = 1, PS_CHANGE_MOTION = 2 };
enum : int32_t {
    EF_EXPLOSION, EF_RING, EF_ELLIPSE, EF_FIREWORK, EF_SMOKE, EF_SMOKEUP, EF_STAR, EF_SPARK, EF_FLARE,
    EF_CLOUD, EF_RAIN, EF_SNOW, EF_KIND_COUNT
};

// Most live particles one system holds. Creation beyond it makes nothing (with one log line per
// system), so a type that spawns itself every step cannot grow a system without bound or keep
// the update's pass from ending.
enum : int32_t { PARTICLE_MAX_PER_SYSTEM = 1000000 };

// ---- Records ---------------------------------------------------------------------------------
// A particle type (angles in degrees, lives in steps, colours 0xBBGGRR).
struct ParticleType {
    uint8_t created;
    int32_t sprite;                              // -1: the built-in shape
    uint8_t animate, stretch, randomStart;
    int32_t shape;                               // pt_shape_*
    float sizeMin, sizeMax, sizeIncr, sizeWiggle;
    float xScale, yScale;
    int32_t lifeMin, lifeMax;
    int32_t deathType, deathNumber;              // number < 0: one particle with chance 1 in -number
    int32_t stepType, stepNumber;
    float speedMin, speedMax, speedIncr, speedWiggle;
    float dirMin, dirMax, dirIncr, dirWiggle;
    float gravAmount, gravDir;
    float orientMin, orientMax, orientIncr, orientWiggle;
    uint8_t orientRelative;                      // orientation is added to the direction
    int32_t colourMode;                          // 0 one, 1 two, 2 three colours, 3 RGB, 4 HSV, 5 mix
    uint32_t colour[6];                          // c1 .. c6
    float alphaStart, alphaMiddle, alphaEnd;
    uint8_t additive;                            // additive blending; clearing keeps it
};

// One particle (64 bytes), held by value in its system's array.
struct Particle {
    uint8_t alive;
    int32_t type;
    int32_t age, life;                           // steps
    float x, y, xPrev, yPrev;
    float speed, direction, orientation;         // pixels per step, degrees, degrees
    uint32_t colour;                             // 0xBBGGRR
    float alpha, size;
    int32_t imageStart;                          // first sprite frame
    int32_t seed;                                // wiggle phase, 0 .. 99999
};
static_assert(sizeof(Particle) == 64, "a particle is 64 bytes");

struct ParticleEmitter {
    uint8_t created;
    int32_t number;                              // stream: particles per step (negative: chance)
    float xmin, xmax, ymin, ymax;
    int32_t distribution;                        // ps_distr_*
    int32_t shape;                               // ps_shape_*
    int32_t type;                                // particle type of the stream
};

struct ParticleAttractor {
    uint8_t created;
    float x, y;
    float force, distance;
    int32_t kind;                                // ps_force_*
    uint8_t additive;                            // adds to the motion (else moves the position)
};

struct ParticleDestroyer {
    uint8_t created;
    float xmin, xmax, ymin, ymax;
    int32_t shape;
};

struct ParticleDeflector {
    uint8_t created;
    float xmin, xmax, ymin, ymax;
    int32_t kind;                                // ps_deflect_*
    float friction;
};

struct ParticleChanger {
    uint8_t created;
    float xmin, xmax, ymin, ymax;
    int32_t shape;
    int32_t typeFrom, typeTo;
    int32_t kind;                                // ps_change_*
};

// A particle system. Particles 0 .. count - 1 are live, oldest first; the array's room beyond
// them is kept for reuse (dead particles are removed by moving the live ones down), so steady
// emission allocates nothing.
struct ParticleSystem {
    uint8_t created;
    int32_t allocated;                           // slots as the growth rule counts them
    int32_t count;
    int32_t capacity;                            // slots of the array actually held (>= allocated)
    Particle* particles;                         // memory-manager block, or null
    std::vector<ParticleEmitter> emitters;       // indexes are per system and never reused ...
    std::vector<ParticleAttractor> attractors;   // ... until destroyed: a slot whose created
    std::vector<ParticleDestroyer> destroyers;   //     byte is 0 is taken by the next create
    std::vector<ParticleDeflector> deflectors;
    std::vector<ParticleChanger> changers;
    FreeSlots freedParts[5];                     // destroyed slots of the five lists above, in order
    uint8_t oldToNew;                            // draw order: oldest first
    float depth;
    float x, y;                                  // drawing offset
    uint8_t autoUpdate, autoDraw;
    uint8_t fullLogged;                          // the "full" line was written
    uint32_t drawnPass;                          // room pass in which it was last drawn
};

// ---- Random values and particle initialisation (Particle_Type.cpp) --------------------------
// A value of [min, max] with the distribution (ps_distr_*); min when max - min <= 0.
float Particle_RandomRange(float min, float max, int32_t distribution);
// Fills a particle of the type at (x, y); nothing when the type is not a created type.
void Particle_Init(float x, float y, int32_t type, Particle* p);
// The colour of a particle: over its life (age > 0 and life > 0) for modes 1 and 2, else the
// creation colour of the type's mode.
void Particle_ComputeColour(Particle* p);
// Alpha of a particle of the type at its age.
float Particle_AlphaAt(const ParticleType& t, int32_t age, int32_t life);

// ---- Particle types (Particle_Type.cpp) --------------------------------------------------------
// Setters do nothing unless the index names a created type.
int32_t ParticleType_Create();
void ParticleType_Destroy(int32_t index);
bool ParticleType_Exists(int32_t index);
void ParticleType_Clear(int32_t index);
void ParticleType_Shape(int32_t index, int32_t shape);
void ParticleType_Sprite(int32_t index, int32_t sprite, bool animate, bool stretch, bool random);
void ParticleType_Size(int32_t index, float min, float max, float incr, float wiggle);
void ParticleType_Scale(int32_t index, float x, float y);
void ParticleType_Life(int32_t index, int32_t min, int32_t max);
void ParticleType_Step(int32_t index, int32_t number, int32_t type);
void ParticleType_Death(int32_t index, int32_t number, int32_t type);
void ParticleType_Speed(int32_t index, float min, float max, float incr, float wiggle);
void ParticleType_Direction(int32_t index, float min, float max, float incr, float wiggle);
void ParticleType_Orientation(int32_t index, float min, float max, float incr, float wiggle, bool relative);
void ParticleType_Gravity(int32_t index, float amount, float direction);
void ParticleType_Colour1(int32_t index, uint32_t c1);
void ParticleType_Colour2(int32_t index, uint32_t c1, uint32_t c2);
void ParticleType_Colour3(int32_t index, uint32_t c1, uint32_t c2, uint32_t c3);
void ParticleType_ColourRGB(int32_t index, uint32_t rmin, uint32_t rmax, uint32_t gmin, uint32_t gmax, uint32_t bmin,
                            uint32_t bmax);
void ParticleType_ColourHSV(int32_t index, uint32_t hmin, uint32_t hmax, uint32_t smin, uint32_t smax, uint32_t vmin,
                            uint32_t vmax);
void ParticleType_ColourMix(int32_t index, uint32_t c1, uint32_t c2);
void ParticleType_Alpha1(int32_t index, float a);
void ParticleType_Alpha2(int32_t index, float start, float end);
void ParticleType_Alpha3(int32_t index, float start, float middle, float end);
void ParticleType_Blend(int32_t index, bool additive);
// Frees every type and the table (game restart, shutdown).
void ParticleType_DeleteAll();
// The record of a created type, or null.
ParticleType* ParticleType_Get(int32_t index);
// The record of any slot of the table (created or not), or null outside it.
const ParticleType* ParticleType_Slot(int32_t index);
int32_t ParticleType_Count();

// The built-in shape textures (made at start-up from built-in images 0..13).
void Particle_InitShapes();
void Particle_FreeShapes();
TextureRecord* Particle_ShapeTexture(int32_t shape);

// ---- Particle systems (Particle_System.cpp) ---------------------------------------------------
// Operations do nothing (or answer 0, -1 or false) for an index that names no created system.
int32_t ParticleSystem_Create();
void ParticleSystem_Destroy(int32_t index);
bool ParticleSystem_Exists(int32_t index);
void ParticleSystem_Clear(int32_t index);
void ParticleSystem_DrawOrder(int32_t index, bool oldToNew);
void ParticleSystem_Depth(int32_t index, float depth);
void ParticleSystem_Position(int32_t index, float x, float y);
void ParticleSystem_AutomaticUpdate(int32_t index, bool on);
void ParticleSystem_AutomaticDraw(int32_t index, bool on);
void ParticleSystem_Update(int32_t index);
void ParticleSystem_Draw(int32_t index);
int32_t ParticleSystem_Count(int32_t index);
ParticleSystem* ParticleSystem_Get(int32_t index); // created systems only
int32_t ParticleSystem_TableSize();

// part_particles_create and part_particles_create_color (log lines for a bad system or type).
void Particle_Create(int32_t system, float x, float y, int32_t type, int32_t number);
void Particle_CreateColour(int32_t system, float x, float y, int32_t type, uint32_t colour, int32_t number);
void Particle_ClearAll(int32_t system);

// Once a step: every created system with automatic update, in index order.
void ParticleSystem_UpdateAll();
// Room interleaving over the created systems with automatic draw. MaxDepth starts a room pass
// (-1e9 when none); DrawAtDepth draws each system within 0.01 of the depth that the pass has
// not drawn yet, in index order.
float ParticleSystem_MaxDepth();
float ParticleSystem_NextDepthBelow(float depth);
void ParticleSystem_DrawAtDepth(float depth);
void ParticleSystem_DestroyAll();
// Game restart: every type and system (and the effects' bookkeeping) goes.
void Particle_ResetAll();
// Shutdown: systems, types and the shape textures.
void Particle_FreeAll();
// Start-up (Particle_Main.cpp): the tables start empty.
void Particle_Init();

// ---- Parts of a system (Particle_Parts.cpp) ----------------------------------------------------
// create: -1 unless the system exists. Every other operation acts only on a created part of a
// created system.
int32_t ParticleEmitter_Create(int32_t system);
void ParticleEmitter_Destroy(int32_t system, int32_t index);
void ParticleEmitter_DestroyAll(int32_t system);
bool ParticleEmitter_Exists(int32_t system, int32_t index);
void ParticleEmitter_Clear(int32_t system, int32_t index);
void ParticleEmitter_Region(int32_t system, int32_t index, float xmin, float xmax, float ymin, float ymax,
                            int32_t shape, int32_t distribution);
void ParticleEmitter_Burst(int32_t system, int32_t index, int32_t type, int32_t number);
void ParticleEmitter_Stream(int32_t system, int32_t index, int32_t type, int32_t number);

int32_t ParticleAttractor_Create(int32_t system);
void ParticleAttractor_Destroy(int32_t system, int32_t index);
void ParticleAttractor_DestroyAll(int32_t system);
bool ParticleAttractor_Exists(int32_t system, int32_t index);
void ParticleAttractor_Clear(int32_t system, int32_t index);
void ParticleAttractor_Position(int32_t system, int32_t index, float x, float y);
void ParticleAttractor_Force(int32_t system, int32_t index, float force, float distance, int32_t kind, bool additive);

int32_t ParticleDestroyer_Create(int32_t system);
void ParticleDestroyer_Destroy(int32_t system, int32_t index);
void ParticleDestroyer_DestroyAll(int32_t system);
bool ParticleDestroyer_Exists(int32_t system, int32_t index);
void ParticleDestroyer_Clear(int32_t system, int32_t index);
void ParticleDestroyer_Region(int32_t system, int32_t index, float xmin, float xmax, float ymin, float ymax,
                              int32_t shape);

int32_t ParticleDeflector_Create(int32_t system);
void ParticleDeflector_Destroy(int32_t system, int32_t index);
void ParticleDeflector_DestroyAll(int32_t system);
bool ParticleDeflector_Exists(int32_t system, int32_t index);
void ParticleDeflector_Clear(int32_t system, int32_t index);
void ParticleDeflector_Region(int32_t system, int32_t index, float xmin, float xmax, float ymin, float ymax);
void ParticleDeflector_Kind(int32_t system, int32_t index, int32_t kind);
void ParticleDeflector_Friction(int32_t system, int32_t index, float friction);

int32_t ParticleChanger_Create(int32_t system);
void ParticleChanger_Destroy(int32_t system, int32_t index);
void ParticleChanger_DestroyAll(int32_t system);
bool ParticleChanger_Exists(int32_t system, int32_t index);
void ParticleChanger_Clear(int32_t system, int32_t index);
void ParticleChanger_Region(int32_t system, int32_t index, float xmin, float xmax, float ymin, float ymax,
                            int32_t shape);
void ParticleChanger_Types(int32_t system, int32_t index, int32_t from, int32_t to);
void ParticleChanger_Kind(int32_t system, int32_t index, int32_t kind);

// The region effects of one update (trusted system pointer).
void ParticleSystem_ApplyDeflectors(ParticleSystem* s);
void ParticleSystem_ApplyChangers(ParticleSystem* s);
void ParticleSystem_ApplyDestroyers(ParticleSystem* s);

// ---- Effects (Particle_Effect.cpp) -------------------------------------------------------------
// Size: 0 small, 2 large, anything else medium. An unknown kind does nothing.
void Effect_Create(bool below, int32_t kind, float x, float y, int32_t size, uint32_t colour);
// Empties both effect systems (effect_clear; every room start).
void Effect_Clear();
// Makes the missing effect systems and the effect types.
void Effect_Init();
// Lifetimes are divided and speeds multiplied by it: 1, or 30 over the frame rate or the room
// speed when both are above 30.
double Effect_SpeedFactor();
double Effect_SpeedFactorFor(int32_t roomSpeed, int32_t frameRate);
// Forgets the effect systems and types (their records went with Particle_ResetAll).
void Effect_Reset();
int32_t Effect_System(bool below); // -1 before the first effect

// ---- Built-ins (Particle_Builtins.cpp) ---------------------------------------------------------
// part_type_*, part_system_*, part_particles_*, part_emitter_*, part_attractor_*,
// part_destroyer_*, part_deflector_*, part_changer_*, effect_*, action_effect.
void Particle_RegisterBuiltins();
