// The parts of a particle system: emitters (bursts and streams over a region), attractors
// (applied in the motion step of Particle_System.cpp), destroyers, deflectors and changers,
// each kind in its own array of the system, addressed by (system, index) with one management
// family per kind (Particle_Main.h).
//
// Needs: the particle systems and types, the random generator. No Linux/ file.
#include <cmath>
#include <vector>

#include "Files/Base/Console.h"
#include "Files/Base/Random.h"
#include "Files/Base/RealConvert.h"
#include "Files/Particle/Particle_Main.h"

namespace {

// ---- One management family for the five kinds -----------------------------------------------
template <class T>
struct PartKind;

template <>
struct PartKind<ParticleEmitter> {
    static FreeSlots& Freed(ParticleSystem* s) { return s->freedParts[0]; }
    static std::vector<ParticleEmitter>& Of(ParticleSystem* s) { return s->emitters; }
    static void Clear(ParticleEmitter& e)
    {
        e.number = 0;
        e.xmin = e.xmax = e.ymin = e.ymax = 0.0f;
        e.distribution = 0;
        e.shape = 0;
        e.type = 0;
    }
};

template <>
struct PartKind<ParticleAttractor> {
    static FreeSlots& Freed(ParticleSystem* s) { return s->freedParts[1]; }
    static std::vector<ParticleAttractor>& Of(ParticleSystem* s) { return s->attractors; }
    static void Clear(ParticleAttractor& a)
    {
        a.x = a.y = a.force = a.distance = 0.0f;
        a.kind = 0;
        a.additive = 1;
    }
};

template <>
struct PartKind<ParticleDestroyer> {
    static FreeSlots& Freed(ParticleSystem* s) { return s->freedParts[2]; }
    static std::vector<ParticleDestroyer>& Of(ParticleSystem* s) { return s->destroyers; }
    static void Clear(ParticleDestroyer& d)
    {
        d.xmin = d.xmax = d.ymin = d.ymax = 0.0f;
        d.shape = 0;
    }
};

template <>
struct PartKind<ParticleDeflector> {
    static FreeSlots& Freed(ParticleSystem* s) { return s->freedParts[3]; }
    static std::vector<ParticleDeflector>& Of(ParticleSystem* s) { return s->deflectors; }
    static void Clear(ParticleDeflector& d)
    {
        d.xmin = d.xmax = d.ymin = d.ymax = 0.0f;
        d.kind = 0;
        d.friction = 0.0f;
    }
};

template <>
struct PartKind<ParticleChanger> {
    static FreeSlots& Freed(ParticleSystem* s) { return s->freedParts[4]; }
    static std::vector<ParticleChanger>& Of(ParticleSystem* s) { return s->changers; }
    static void Clear(ParticleChanger& c)
    {
        c.xmin = c.xmax = c.ymin = c.ymax = 0.0f;
        c.shape = 0;
        c.typeFrom = c.typeTo = -1;
        c.kind = 0;
    }
};

template <class T>
int32_t CreatePart(int32_t system)
{
    ParticleSystem* s = ParticleSystem_Get(system);
    if (!s) return -1;
    std::vector<T>& v = PartKind<T>::Of(s);
    const int32_t again = PartKind<T>::Freed(s).Take((int32_t)v.size(), [&v](int32_t i) { return v[(size_t)i].created != 1; });
    const size_t i = again >= 0 ? (size_t)again : v.size();
    if (i == v.size()) v.push_back(T{});
    v[i] = T{};
    v[i].created = 1;
    PartKind<T>::Clear(v[i]);
    return (int32_t)i;
}

template <class T>
T* FindPart(int32_t system, int32_t index)
{
    ParticleSystem* s = ParticleSystem_Get(system);
    if (!s) return nullptr;
    std::vector<T>& v = PartKind<T>::Of(s);
    if (index < 0 || (size_t)index >= v.size() || v[(size_t)index].created != 1) return nullptr;
    return &v[(size_t)index];
}

template <class T>
void DestroyPart(int32_t system, int32_t index)
{
    if (T* p = FindPart<T>(system, index)) {
        p->created = 0;
        PartKind<T>::Freed(ParticleSystem_Get(system)).Release(index);
    }
}

template <class T>
void DestroyAllParts(int32_t system)
{
    if (ParticleSystem* s = ParticleSystem_Get(system)) {
        std::vector<T>& v = PartKind<T>::Of(s);
        v.clear();
        v.shrink_to_fit();
        PartKind<T>::Freed(s).Clear();
    }
}

template <class T>
void ClearPart(int32_t system, int32_t index)
{
    if (T* p = FindPart<T>(system, index)) PartKind<T>::Clear(*p);
}

// A region acts only when it has width and height.
template <class R>
bool HasArea(const R& r)
{
    return r.created && r.xmin < r.xmax && r.ymin < r.ymax;
}

template <class R>
bool Inside(const R& r, const Particle& p)
{
    return p.x >= r.xmin && p.x <= r.xmax && p.y >= r.ymin && p.y <= r.ymax;
}

} // namespace

// =============================================================================================
// [SECTION] Emitters
// =============================================================================================

int32_t ParticleEmitter_Create(int32_t system) { return CreatePart<ParticleEmitter>(system); }
void ParticleEmitter_Destroy(int32_t system, int32_t index) { DestroyPart<ParticleEmitter>(system, index); }
void ParticleEmitter_DestroyAll(int32_t system) { DestroyAllParts<ParticleEmitter>(system); }
bool ParticleEmitter_Exists(int32_t system, int32_t index) { return FindPart<ParticleEmitter>(system, index) != nullptr; }
void ParticleEmitter_Clear(int32_t system, int32_t index) { ClearPart<ParticleEmitter>(system, index); }

void ParticleEmitter_Region(int32_t system, int32_t index, float xmin, float xmax, float ymin, float ymax,
                            int32_t shape, int32_t distribution)
{
    if (ParticleEmitter* e = FindPart<ParticleEmitter>(system, index)) {
        e->xmin = xmin;
        e->xmax = xmax;
        e->ymin = ymin;
        e->ymax = ymax;
        e->shape = shape;
        e->distribution = distribution;
    }
}

void ParticleEmitter_Stream(int32_t system, int32_t index, int32_t type, int32_t number)
{
    if (ParticleEmitter* e = FindPart<ParticleEmitter>(system, index)) {
        e->type = type;
        e->number = number;
    }
}

void ParticleEmitter_Burst(int32_t system, int32_t index, int32_t type, int32_t number)
{
    ParticleSystem* s = ParticleSystem_Get(system);
    const ParticleEmitter* e = FindPart<ParticleEmitter>(system, index);
    if (!s || !e) return;
    if (number < 0) {
        if (Random_Int(number) != 0) return; // chance 1 in -number
        number = 1;
    }
    if (number == 0) return;
    // One line for the whole burst (the particle creation would write it for each particle).
    if (!ParticleType_Exists(type)) {
        Console_Output("part_particles_create :: particle type does not exist!\n");
        return;
    }
    const int32_t room = PARTICLE_MAX_PER_SYSTEM - s->count;
    if (number > room) number = room > 0 ? room : 1; // the creation writes the "full" line
    if (s->allocated <= s->count + number) s->allocated = s->count + number;
    const ParticleEmitter em = *e;
    for (int32_t made = 0; made < number;) {
        float u = Particle_RandomRange(0.0f, 1.0f, em.distribution);
        float w = Particle_RandomRange(0.0f, 1.0f, em.distribution);
        if (em.distribution == PS_DISTR_INVGAUSSIAN && em.shape != PS_SHAPE_LINE) {
            // One coordinate linear, so particles gather along the edges, not only in the corners.
            if (Random_Real(1.0) < 0.5) u = Particle_RandomRange(0.0f, 1.0f, PS_DISTR_LINEAR);
            else w = Particle_RandomRange(0.0f, 1.0f, PS_DISTR_LINEAR);
        }
        if (em.shape == PS_SHAPE_ELLIPSE) {
            const float a = u - 0.5f, b = w - 0.5f;
            if (!(a * a + b * b <= 0.25f)) continue;
        } else if (em.shape == PS_SHAPE_DIAMOND) {
            if (!(std::fabs(u - 0.5f) + std::fabs(w - 0.5f) <= 0.5f)) continue;
        }
        const float x = em.xmin + (em.xmax - em.xmin) * u;
        const float y = em.ymin + (em.ymax - em.ymin) * (em.shape == PS_SHAPE_LINE ? u : w);
        Particle_Create(system, x, y, type, 1);
        ++made;
    }
}

// =============================================================================================
// [SECTION] Attractors
// =============================================================================================

int32_t ParticleAttractor_Create(int32_t system) { return CreatePart<ParticleAttractor>(system); }
void ParticleAttractor_Destroy(int32_t system, int32_t index) { DestroyPart<ParticleAttractor>(system, index); }
void ParticleAttractor_DestroyAll(int32_t system) { DestroyAllParts<ParticleAttractor>(system); }
bool ParticleAttractor_Exists(int32_t system, int32_t index)
{
    return FindPart<ParticleAttractor>(system, index) != nullptr;
}
void ParticleAttractor_Clear(int32_t system, int32_t index) { ClearPart<ParticleAttractor>(system, index); }

void ParticleAttractor_Position(int32_t system, int32_t index, float x, float y)
{
    if (ParticleAttractor* a = FindPart<ParticleAttractor>(system, index)) {
        a->x = x;
        a->y = y;
    }
}

void ParticleAttractor_Force(int32_t system, int32_t index, float force, float distance, int32_t kind, bool additive)
{
    if (ParticleAttractor* a = FindPart<ParticleAttractor>(system, index)) {
        a->force = force;
        a->distance = distance;
        a->kind = kind;
        a->additive = additive ? 1 : 0;
    }
}

// =============================================================================================
// [SECTION] Destroyers
// =============================================================================================

int32_t ParticleDestroyer_Create(int32_t system) { return CreatePart<ParticleDestroyer>(system); }
void ParticleDestroyer_Destroy(int32_t system, int32_t index) { DestroyPart<ParticleDestroyer>(system, index); }
void ParticleDestroyer_DestroyAll(int32_t system) { DestroyAllParts<ParticleDestroyer>(system); }
bool ParticleDestroyer_Exists(int32_t system, int32_t index)
{
    return FindPart<ParticleDestroyer>(system, index) != nullptr;
}
void ParticleDestroyer_Clear(int32_t system, int32_t index) { ClearPart<ParticleDestroyer>(system, index); }

void ParticleDestroyer_Region(int32_t system, int32_t index, float xmin, float xmax, float ymin, float ymax,
                              int32_t shape)
{
    if (ParticleDestroyer* d = FindPart<ParticleDestroyer>(system, index)) {
        d->xmin = xmin;
        d->xmax = xmax;
        d->ymin = ymin;
        d->ymax = ymax;
        d->shape = shape;
    }
}

void ParticleSystem_ApplyDestroyers(ParticleSystem* s)
{
    for (const ParticleDestroyer& d : s->destroyers) {
        if (!HasArea(d)) continue;
        const float cx = (d.xmin + d.xmax) * 0.5f, cy = (d.ymin + d.ymax) * 0.5f;
        const float w = d.xmax - d.xmin, h = d.ymax - d.ymin;
        for (int32_t i = 0; i < s->count; ++i) {
            Particle& p = s->particles[i];
            if (!Inside(d, p)) continue;
            const float nx = (p.x - cx) * 2.0f / w, ny = (p.y - cy) * 2.0f / h;
            switch (d.shape) {
            case PS_SHAPE_RECTANGLE: p.alive = 0; break;
            case PS_SHAPE_ELLIPSE:
                if (nx * nx + ny * ny <= 1.0f) p.alive = 0;
                break;
            case PS_SHAPE_DIAMOND:
                if (std::fabs(nx) + std::fabs(ny) <= 1.0f) p.alive = 0;
                break;
            default: break;
            }
        }
    }
}

// =============================================================================================
// [SECTION] Deflectors
// =============================================================================================

int32_t ParticleDeflector_Create(int32_t system) { return CreatePart<ParticleDeflector>(system); }
void ParticleDeflector_Destroy(int32_t system, int32_t index) { DestroyPart<ParticleDeflector>(system, index); }
void ParticleDeflector_DestroyAll(int32_t system) { DestroyAllParts<ParticleDeflector>(system); }
bool ParticleDeflector_Exists(int32_t system, int32_t index)
{
    return FindPart<ParticleDeflector>(system, index) != nullptr;
}
void ParticleDeflector_Clear(int32_t system, int32_t index) { ClearPart<ParticleDeflector>(system, index); }

void ParticleDeflector_Region(int32_t system, int32_t index, float xmin, float xmax, float ymin, float ymax)
{
    if (ParticleDeflector* d = FindPart<ParticleDeflector>(system, index)) {
        d->xmin = xmin;
        d->xmax = xmax;
        d->ymin = ymin;
        d->ymax = ymax;
    }
}

void ParticleDeflector_Kind(int32_t system, int32_t index, int32_t kind)
{
    if (ParticleDeflector* d = FindPart<ParticleDeflector>(system, index)) d->kind = kind;
}

void ParticleDeflector_Friction(int32_t system, int32_t index, float friction)
{
    if (ParticleDeflector* d = FindPart<ParticleDeflector>(system, index)) d->friction = friction;
}

void ParticleSystem_ApplyDeflectors(ParticleSystem* s)
{
    for (const ParticleDeflector& d : s->deflectors) {
        if (!HasArea(d)) continue;
        for (int32_t i = 0; i < s->count; ++i) {
            Particle& p = s->particles[i];
            if (!Inside(d, p)) continue;
            if (d.kind == PS_DEFLECT_HORIZONTAL) {
                p.direction = 180.0f - p.direction;
                if (p.direction < 0.0f) p.direction += 360.0f;
                p.x = p.xPrev - (p.x - p.xPrev);
            } else {
                p.direction = 360.0f - p.direction;
                p.y = p.yPrev - (p.y - p.yPrev);
            }
            p.speed -= d.friction;
            if (p.speed < 0.0f) p.speed = 0.0f;
        }
    }
}

// =============================================================================================
// [SECTION] Changers
// =============================================================================================

int32_t ParticleChanger_Create(int32_t system) { return CreatePart<ParticleChanger>(system); }
void ParticleChanger_Destroy(int32_t system, int32_t index) { DestroyPart<ParticleChanger>(system, index); }
void ParticleChanger_DestroyAll(int32_t system) { DestroyAllParts<ParticleChanger>(system); }
bool ParticleChanger_Exists(int32_t system, int32_t index) { return FindPart<ParticleChanger>(system, index) != nullptr; }
void ParticleChanger_Clear(int32_t system, int32_t index) { ClearPart<ParticleChanger>(system, index); }

void ParticleChanger_Region(int32_t system, int32_t index, float xmin, float xmax, float ymin, float ymax,
                            int32_t shape)
{
    if (ParticleChanger* c = FindPart<ParticleChanger>(system, index)) {
        c->xmin = xmin;
        c->xmax = xmax;
        c->ymin = ymin;
        c->ymax = ymax;
        c->shape = shape;
    }
}

void ParticleChanger_Types(int32_t system, int32_t index, int32_t from, int32_t to)
{
    if (ParticleChanger* c = FindPart<ParticleChanger>(system, index)) {
        c->typeFrom = from;
        c->typeTo = to;
    }
}

void ParticleChanger_Kind(int32_t system, int32_t index, int32_t kind)
{
    if (ParticleChanger* c = FindPart<ParticleChanger>(system, index)) c->kind = kind;
}

namespace {
// The changer's coarse shape test: whole-pixel offsets scaled to the half-size, truncated, so
// only the region's corners (ellipse) or more (diamond) fall outside.
int64_t Cell(float v, float lo, float hi)
{
    const int64_t offset = Real_TruncToInt32(v - (lo + hi) * 0.5f);
    return Real_TruncToInt32((float)(offset * 2) / (hi - lo));
}
} // namespace

void ParticleSystem_ApplyChangers(ParticleSystem* s)
{
    for (const ParticleChanger& c : s->changers) {
        if (!HasArea(c)) continue;
        // A changer towards a type that does not exist changes nothing.
        if (!ParticleType_Exists(c.typeTo)) continue;
        for (int32_t i = 0; i < s->count; ++i) {
            Particle& p = s->particles[i];
            if (!Inside(c, p) || p.type != c.typeFrom) continue;
            const int64_t nx = Cell(p.x, c.xmin, c.xmax), ny = Cell(p.y, c.ymin, c.ymax);
            if (c.shape == PS_SHAPE_ELLIPSE && nx * nx + ny * ny > 1) continue;
            if (c.shape == PS_SHAPE_DIAMOND && (nx < 0 ? -nx : nx) + (ny < 0 ? -ny : ny) > 1) continue;
            Particle fresh{};
            Particle_Init(p.x, p.y, c.typeTo, &fresh);
            p.type = fresh.type;
            switch (c.kind) {
            case PS_CHANGE_ALL: p = fresh; break;
            case PS_CHANGE_SHAPE:
                p.colour = fresh.colour;
                p.alpha = fresh.alpha;
                p.size = fresh.size;
                p.imageStart = fresh.imageStart;
                p.orientation = fresh.orientation;
                break;
            case PS_CHANGE_MOTION:
                p.speed = fresh.speed;
                p.direction = fresh.direction;
                break;
            default: break;
            }
        }
    }
}
