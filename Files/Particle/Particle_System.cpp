// Particle systems: the global table, particle storage and its growth, creation of particles,
// the update of one step (ageing with step and death spawns, motion with gravity, attractors
// and wiggles, the region parts, looks, streams), drawing (shape quads into the vertex batch,
// sprites through the sprite module), the room's depth interleaving and the life cycle
// (Particle_Main.h).
//
// Needs: the particle types (Particle_Type.cpp), the parts (Particle_Parts.cpp), the vertex
// batch, render states and current depth of the graphics layer, the sprite table, the random
// generator. No Linux/ file.
#include <cmath>
#include <cstring>
#include <vector>

#include "Files/Base/Console.h"
#include "Files/Base/Random.h"
#include "Files/Base/RealConvert.h"
#include "Files/Graphics/Graphics_Draw.h"
#include "Files/Graphics_API/Graphics_3D.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Files/Particle/Particle_Main.h"
#include "Files/Sprite/Sprite_Main.h"
#include "Platform/MemoryManager.h"

namespace {

// Systems by index; a record stays where it is until the table is destroyed.
std::vector<ParticleSystem*> g_systems;
FreeSlots g_freedSystems; // destroyed systems' indexes, lowest first
// The room pass of the depth interleaving (0 is never a pass).
uint32_t g_pass = 0;

// Degrees to radians with pi held in single precision.
constexpr float kDegToRad = PI_F / 180.0f;
constexpr float kRadToDeg = 180.0f / PI_F;
constexpr float kNoDepth = -1e9f;

ParticleSystem* Created(int32_t index)
{
    if (index < 0 || (size_t)index >= g_systems.size()) return nullptr;
    ParticleSystem* s = g_systems[(size_t)index];
    return s && s->created == 1 ? s : nullptr;
}

void FreeParticles(ParticleSystem* s)
{
    MEM_FREE(s->particles);
    s->particles = nullptr;
    s->allocated = s->count = s->capacity = 0;
}

void ResetSettings(ParticleSystem* s)
{
    FreeParticles(s);
    s->emitters.clear();
    s->emitters.shrink_to_fit();
    s->attractors.clear();
    s->attractors.shrink_to_fit();
    s->destroyers.clear();
    s->destroyers.shrink_to_fit();
    s->deflectors.clear();
    s->deflectors.shrink_to_fit();
    s->changers.clear();
    s->changers.shrink_to_fit();
    for (FreeSlots& f : s->freedParts) f.Clear();
    s->oldToNew = 1;
    s->depth = 0.0f;
    s->x = s->y = 0.0f;
    s->autoUpdate = 1;
    s->autoDraw = 1;
    s->fullLogged = 0;
}

// Room for `need` particles in the held array (geometric growth, at most the per-system limit).
void EnsureCapacity(ParticleSystem* s, int32_t need)
{
    if (need <= s->capacity) return;
    int64_t cap = (int64_t)s->capacity + s->capacity / 2;
    if (cap < need) cap = need;
    if (cap < s->allocated) cap = s->allocated;
    if (cap < 64) cap = 64;
    if (cap > PARTICLE_MAX_PER_SYSTEM) cap = PARTICLE_MAX_PER_SYSTEM;
    s->particles = (Particle*)MEM_REALLOC(s->particles, (size_t)cap * sizeof(Particle));
    s->capacity = (int32_t)cap;
}

// How many of `number` new particles the system can still take; logs once when it is full.
int32_t Headroom(ParticleSystem* s, int32_t number)
{
    const int32_t room = PARTICLE_MAX_PER_SYSTEM - s->count;
    if (number <= room) return number;
    if (!s->fullLogged) {
        Console_Output("Particle system holds %d particles; no more are made\n", (int32_t)PARTICLE_MAX_PER_SYSTEM);
        s->fullLogged = 1;
    }
    return room < 0 ? 0 : room;
}

// Adds particles of a created type at (x, y): the slot array grows by 100 whenever it is full,
// each new record is cleared and initialised. Answers the first new index (-1: none made).
int32_t AddParticles(ParticleSystem* s, float x, float y, int32_t type, int32_t number)
{
    number = Headroom(s, number);
    if (number <= 0) return -1;
    const int32_t first = s->count;
    for (int32_t k = 0; k < number; ++k) {
        if (s->allocated <= s->count) s->allocated = s->count + 100;
        EnsureCapacity(s, s->count + 1);
        Particle* p = &s->particles[s->count++];
        std::memset(p, 0, sizeof *p);
        Particle_Init(x, y, type, p);
    }
    return first;
}

// Step or death particles of a type: n of them, or for n < 0 one with chance 1 in -n. A type that
// no longer exists makes none (silently: this runs for every particle of every step).
void Spawn(ParticleSystem* s, float x, float y, int32_t type, int32_t n)
{
    if (n == 0) return;
    if (n < 0) {
        if (Real_TruncToInt32(Random_Real(1.0) * -(double)n) != 0) return;
        n = 1;
    }
    if (ParticleType_Exists(type)) AddParticles(s, x, y, type, n);
}

// Live particles moved down in order; the count becomes theirs.
void Compact(ParticleSystem* s)
{
    int32_t n = 0;
    Particle* a = s->particles;
    for (int32_t i = 0; i < s->count; ++i) {
        if (!a[i].alive) continue;
        if (n != i) a[n] = a[i];
        ++n;
    }
    s->count = n;
}

// =============================================================================================
// [SECTION] The update
// =============================================================================================

// Ages every particle (the count is read again each time round, so particles spawned here are
// aged in this pass too), spawns death and step particles, removes the dead.
void AgeParticles(ParticleSystem* s)
{
    for (int32_t i = 0; i < s->count; ++i) {
        Particle& p = s->particles[i];
        ++p.age; // age < life before this, so it cannot overflow
        const ParticleType* t = ParticleType_Slot(p.type);
        const float x = p.x, y = p.y;
        // `p` may move when the array grows: nothing of it is used after a spawn.
        if (p.age >= p.life) {
            p.alive = 0;
            if (t) Spawn(s, x, y, t->deathType, t->deathNumber);
        } else if (t) {
            Spawn(s, x, y, t->stepType, t->stepNumber);
        }
    }
    Compact(s);
}

// Direction (degrees, 0..360) and speed of a velocity.
void VectorToDirection(Particle& p, float vx, float vy)
{
    if (vx != 0.0f) {
        const float a = std::atan2(vy, vx) * kRadToDeg;
        p.direction = a > 0.0f ? 360.0f - a : -a;
    } else if (vy > 0.0f) {
        p.direction = 270.0f;
    } else if (vy < 0.0f) {
        p.direction = 90.0f;
    }
    p.direction = p.direction - std::floor(p.direction / 360.0f) * 360.0f;
    p.speed = std::sqrt(vx * vx + vy * vy);
}

// A triangle wave between -1 and 1: phase 0..4, folded above 2.
inline float Fold(float w) { return (w > 2.0f ? 4.0f - w : w) - 1.0f; }

void Move(ParticleSystem* s)
{
    const bool attractors = !s->attractors.empty();
    // The gravity vector of the last type met (particles of one type usually come together).
    int32_t lastType = -1;
    const ParticleType* t = nullptr;
    float gx = 0.0f, gy = 0.0f;
    for (int32_t i = 0; i < s->count; ++i) {
        Particle& p = s->particles[i];
        if (p.type != lastType) {
            lastType = p.type;
            t = ParticleType_Slot(p.type);
            if (t) {
                const float g = t->gravDir * kDegToRad;
                gx = std::cos(g) * t->gravAmount;
                gy = -std::sin(g) * t->gravAmount;
            }
        }
        if (!t) continue;
        p.xPrev = p.x;
        p.yPrev = p.y;
        p.speed += t->speedIncr;
        if (p.speed < 0.0f) p.speed = 0.0f;
        p.direction += t->dirIncr;
        p.orientation += t->orientIncr;
        float ox = 0.0f, oy = 0.0f;
        if (t->gravAmount != 0.0f || attractors) {
            const float d = p.direction * kDegToRad;
            float vx = std::cos(d) * p.speed;
            float vy = -std::sin(d) * p.speed;
            if (t->gravAmount != 0.0f) {
                vx += gx;
                vy += gy;
            }
            for (const ParticleAttractor& a : s->attractors) {
                if (!a.created) continue;
                const float dx = a.x - p.x, dy = a.y - p.y;
                const float dist = std::sqrt(dx * dx + dy * dy);
                if (!(dist <= a.distance) || dist == 0.0f || a.force == 0.0f || a.distance == 0.0f) continue;
                float fx = a.force * dx / dist, fy = a.force * dy / dist;
                if (a.kind == PS_FORCE_LINEAR) {
                    const float k = (a.distance - dist) / a.distance;
                    fx *= k;
                    fy *= k;
                } else if (a.kind == PS_FORCE_QUADRATIC) {
                    const float k = (a.distance - dist) / a.distance;
                    fx *= k * k;
                    fy *= k * k;
                }
                if (a.additive) {
                    vx += fx;
                    vy += fy;
                } else {
                    ox += fx;
                    oy += fy;
                }
            }
            VectorToDirection(p, vx, vy);
        }
        // Wiggle phases: periods of 20 steps (speed) and 24 steps (direction).
        const int64_t age = p.age, seed = p.seed;
        const float fs = Fold((float)((age + 4 * seed) % 20) / 5.0f);
        const float fd = Fold((float)((age + 3 * seed) % 24) / 6.0f);
        const float sp = fs * t->speedWiggle + p.speed;
        const float a = (fd * t->dirWiggle + p.direction) * kDegToRad;
        p.x += std::cos(a) * sp + ox;
        p.y += -std::sin(a) * sp + oy;
    }
}

void UpdateLooks(ParticleSystem* s)
{
    for (int32_t i = 0; i < s->count; ++i) {
        Particle& p = s->particles[i];
        const ParticleType* t = ParticleType_Slot(p.type);
        if (!t) continue;
        p.size += t->sizeIncr;
        if (p.size < 0.0f) p.size = 0.0f;
        Particle_ComputeColour(&p);
        p.alpha = Particle_AlphaAt(*t, p.age, p.life);
    }
}

void Streams(int32_t index, ParticleSystem* s)
{
    for (size_t e = 0; e < s->emitters.size(); ++e) {
        const ParticleEmitter& em = s->emitters[e];
        if (em.created && em.number != 0) ParticleEmitter_Burst(index, (int32_t)e, em.type, em.number);
    }
}

void Update(int32_t index, ParticleSystem* s)
{
    AgeParticles(s);
    Move(s);
    if (!s->deflectors.empty()) ParticleSystem_ApplyDeflectors(s);
    if (!s->changers.empty()) ParticleSystem_ApplyChangers(s);
    if (!s->destroyers.empty()) {
        ParticleSystem_ApplyDestroyers(s);
        Compact(s);
    }
    UpdateLooks(s);
    Streams(index, s);
}

// =============================================================================================
// [SECTION] Drawing
// =============================================================================================

struct QuadVertex {
    float x, y, z;
    uint32_t colour;
    float u, v;
};
static_assert(sizeof(QuadVertex) == 24, "the batch's textured vertex");

uint32_t AlphaByte(float alpha)
{
    const float a = alpha * 255.0f;
    if (!(a >= 0.0f)) return 0;
    if (a > 255.0f) return 255;
    return (uint32_t)a;
}

// Particles from..to (inclusive, either way round). A particle that cannot be drawn (life below
// 1, a shape outside the fourteen, a sprite without frames) is skipped.
void DrawRange(const ParticleSystem* s, int32_t from, int32_t to)
{
    const int32_t step = from <= to ? 1 : -1;
    bool additive = false;
    const float z = GR_3D_GetDepth();
    // What the last type resolved to.
    int32_t lastType = -1;
    const ParticleType* t = nullptr;
    const CSprite* sprite = nullptr;
    TextureRecord* texture = nullptr;
    bool drawable = false;
    for (int32_t i = from;; i += step) {
        const Particle& p = s->particles[i];
        if (p.type != lastType) {
            lastType = p.type;
            t = ParticleType_Slot(p.type);
            sprite = nullptr;
            texture = nullptr;
            drawable = false;
            if (t) {
                if (Sprite_Exists(t->sprite)) {
                    sprite = Sprite_Data(t->sprite);
                    drawable = sprite && sprite->frameCount > 0;
                } else if (t->shape >= 0 && t->shape < PT_SHAPE_COUNT) {
                    texture = Particle_ShapeTexture(t->shape);
                    drawable = true;
                }
            }
        }
        if (drawable && p.life >= 1) {
            const int64_t age = p.age, seed = p.seed;
            const float fo = Fold((float)((age + 2 * seed) % 16) * 0.25f);
            const float fz = Fold((float)((age + seed) % 16) * 0.25f);
            float angle = fo * t->orientWiggle + p.orientation;
            if (t->orientRelative) angle += p.direction;
            const float size = fz * t->sizeWiggle + p.size;
            if (t->additive && !additive) {
                GR_State_SetBlendMode(1);
                additive = true;
            } else if (!t->additive && additive) {
                GR_State_SetBlendMode(0);
                additive = false;
            }
            if (sprite) {
                int64_t frame = p.imageStart;
                if (t->animate) {
                    if (!t->stretch) frame += age;
                    else frame += age * sprite->frameCount / p.life;
                }
                sprite->Draw((int32_t)(frame % sprite->frameCount), p.x + s->x, p.y + s->y, t->xScale * size,
                             t->yScale * size, angle, p.colour, p.alpha);
            } else {
                const float cx = std::trunc(p.x + s->x), cy = std::trunc(p.y + s->y);
                const float hx = 32.0f * t->xScale * size, hy = 32.0f * t->yScale * size;
                float c[8];
                if (std::fabs(angle) < 0.01f) {
                    c[0] = cx - hx, c[1] = cy - hy;
                    c[2] = cx + hx, c[3] = cy - hy;
                    c[4] = cx + hx, c[5] = cy + hy;
                    c[6] = cx - hx, c[7] = cy + hy;
                } else {
                    const float r = angle * 0.017453292f;
                    const float sn = std::sin(r), cs = std::cos(r);
                    const float lx[4] = {-hx, hx, hx, -hx}, ly[4] = {-hy, -hy, hy, hy};
                    for (int k = 0; k < 4; ++k) {
                        c[2 * k] = cx + lx[k] * cs + ly[k] * sn;
                        c[2 * k + 1] = cy - lx[k] * sn + ly[k] * cs;
                    }
                }
                QuadVertex* v = (QuadVertex*)GR_D3D_AllocVertices(4, texture, 24, 6);
                if (v) {
                    const uint32_t col = GR_Colour_ToARGBByte(p.colour, AlphaByte(p.alpha));
                    v[0] = {c[0], c[1], z, col, 0.0f, 0.0f};
                    v[1] = {c[2], c[3], z, col, 1.0f, 0.0f};
                    v[2] = {c[4], c[5], z, col, 1.0f, 1.0f};
                    v[3] = v[2];
                    v[4] = {c[6], c[7], z, col, 0.0f, 1.0f};
                    v[5] = v[0];
                }
            }
        }
        if (i == to) break;
    }
    GR_State_SetBlendMode(0);
}

void Draw(const ParticleSystem* s)
{
    if (s->count <= 0) return;
    const bool interpolation = GR_Texture_GetInterpolation();
    if (s->oldToNew) DrawRange(s, 0, s->count - 1);
    else DrawRange(s, s->count - 1, 0);
    GR_Texture_SetInterpolation(interpolation);
}

void DeleteSystem(ParticleSystem* s)
{
    if (!s) return;
    FreeParticles(s);
    delete s;
}

} // namespace

// =============================================================================================
// [SECTION] The system table
// =============================================================================================

int32_t ParticleSystem_Create()
{
    const int32_t again = g_freedSystems.Take((int32_t)g_systems.size(), [](int32_t i) {
        return !g_systems[(size_t)i] || g_systems[(size_t)i]->created != 1;
    });
    const size_t i = again >= 0 ? (size_t)again : g_systems.size();
    if (i == g_systems.size()) g_systems.push_back(nullptr);
    if (!g_systems[i]) g_systems[i] = new ParticleSystem{};
    ParticleSystem* s = g_systems[i];
    s->created = 1;
    ResetSettings(s);
    return (int32_t)i;
}

void ParticleSystem_Destroy(int32_t index)
{
    if (ParticleSystem* s = Created(index)) {
        ResetSettings(s);
        s->created = 0;
        g_freedSystems.Release(index);
    }
}

bool ParticleSystem_Exists(int32_t index) { return Created(index) != nullptr; }

void ParticleSystem_Clear(int32_t index)
{
    if (ParticleSystem* s = Created(index)) ResetSettings(s);
}

void ParticleSystem_DrawOrder(int32_t index, bool oldToNew)
{
    if (ParticleSystem* s = Created(index)) s->oldToNew = oldToNew ? 1 : 0;
}

void ParticleSystem_Depth(int32_t index, float depth)
{
    if (ParticleSystem* s = Created(index)) s->depth = depth;
}

void ParticleSystem_Position(int32_t index, float x, float y)
{
    if (ParticleSystem* s = Created(index)) {
        s->x = x;
        s->y = y;
    }
}

void ParticleSystem_AutomaticUpdate(int32_t index, bool on)
{
    if (ParticleSystem* s = Created(index)) s->autoUpdate = on ? 1 : 0;
}

void ParticleSystem_AutomaticDraw(int32_t index, bool on)
{
    if (ParticleSystem* s = Created(index)) s->autoDraw = on ? 1 : 0;
}

void ParticleSystem_Update(int32_t index)
{
    if (ParticleSystem* s = Created(index)) Update(index, s);
}

void ParticleSystem_Draw(int32_t index)
{
    if (ParticleSystem* s = Created(index)) Draw(s);
}

int32_t ParticleSystem_Count(int32_t index)
{
    const ParticleSystem* s = Created(index);
    return s ? s->count : 0;
}

ParticleSystem* ParticleSystem_Get(int32_t index) { return Created(index); }
int32_t ParticleSystem_TableSize() { return (int32_t)g_systems.size(); }

// =============================================================================================
// [SECTION] Particles
// =============================================================================================

namespace {
// The checks and messages of part_particles_create; the system when both are good.
ParticleSystem* CheckCreate(int32_t system, int32_t type)
{
    ParticleSystem* s = Created(system);
    if (!s) {
        Console_Output("part_particles_create :: particle system does not exist!\n");
        return nullptr;
    }
    if (!ParticleType_Exists(type)) {
        Console_Output("part_particles_create :: particle type does not exist!\n");
        return nullptr;
    }
    return s;
}
} // namespace

void Particle_Create(int32_t system, float x, float y, int32_t type, int32_t number)
{
    ParticleSystem* s = CheckCreate(system, type);
    if (s && number >= 1) AddParticles(s, x, y, type, number);
}

void Particle_CreateColour(int32_t system, float x, float y, int32_t type, uint32_t colour, int32_t number)
{
    ParticleSystem* s = CheckCreate(system, type);
    if (!s || number < 1) return;
    const int32_t first = AddParticles(s, x, y, type, number);
    if (first < 0) return;
    for (int32_t i = first; i < s->count; ++i) s->particles[i].colour = colour;
}

void Particle_ClearAll(int32_t system)
{
    if (ParticleSystem* s = Created(system)) FreeParticles(s);
}

// =============================================================================================
// [SECTION] Every system: the step, the room's depth interleaving, the life cycle
// =============================================================================================

void ParticleSystem_UpdateAll()
{
    for (size_t i = 0; i < g_systems.size(); ++i) {
        ParticleSystem* s = g_systems[i];
        if (s && s->created == 1 && s->autoUpdate) Update((int32_t)i, s);
    }
}

float ParticleSystem_MaxDepth()
{
    if (++g_pass == 0) g_pass = 1;
    float best = kNoDepth;
    for (const ParticleSystem* s : g_systems)
        if (s && s->created == 1 && s->autoDraw && s->depth > best) best = s->depth;
    return best;
}

float ParticleSystem_NextDepthBelow(float depth)
{
    float best = kNoDepth;
    for (const ParticleSystem* s : g_systems)
        if (s && s->created == 1 && s->autoDraw && s->depth < depth && s->depth > best) best = s->depth;
    return best;
}

void ParticleSystem_DrawAtDepth(float depth)
{
    for (ParticleSystem* s : g_systems) {
        if (!s || s->created != 1 || !s->autoDraw || !(std::fabs(s->depth - depth) < 0.01f)) continue;
        // A system within 0.01 of two depths of one pass is drawn at the first only.
        if (s->drawnPass == g_pass) continue;
        s->drawnPass = g_pass;
        Draw(s);
    }
}

void ParticleSystem_DestroyAll()
{
    for (ParticleSystem* s : g_systems) DeleteSystem(s);
    g_systems.clear();
    g_systems.shrink_to_fit();
    g_freedSystems.Clear();
}

void Particle_ResetAll()
{
    ParticleType_DeleteAll();
    ParticleSystem_DestroyAll();
    Effect_Reset();
}

void Particle_FreeAll()
{
    Particle_ResetAll();
    Particle_FreeShapes();
}
