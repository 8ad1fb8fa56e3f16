// Particle types: the global table of recipes and its setters, the random ranges with their
// three distributions, the initialisation of a new particle and its colour rule, the alpha over
// a particle's life, and the textures of the fourteen built-in shapes (Particle_Main.h).
//
// Needs: the random generator (Files/Base/Random.h), the colour conversions of the drawing
// layer, the built-in images and device textures. No Linux/ file.
#include <cmath>
#include <vector>

#include "Files/Base/Random.h"
#include "Files/Base/RealConvert.h"
#include "Files/Graphics/Graphics_Draw.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/TBitmap.h"
#include "Files/Particle/Particle_Main.h"

namespace {

// Slots whose created byte is 0 are free; a record is never moved while a caller holds it (no
// setter runs during an update).
std::vector<ParticleType> g_types;
FreeSlots g_freedTypes; // destroyed types' indexes, lowest first
TextureRecord* g_shapes[PT_SHAPE_COUNT] = {};

// 1/6 as the single-precision constant the ranges use.
constexpr float kSixth = 0.16666667f;

ParticleType* Created(int32_t index)
{
    if (index < 0 || (size_t)index >= g_types.size() || !g_types[(size_t)index].created) return nullptr;
    return &g_types[(size_t)index];
}

void SetDefaults(ParticleType& t)
{
    t.sprite = -1;
    t.animate = 1;
    t.stretch = 0;
    t.randomStart = 0;
    t.shape = 0;
    t.sizeMin = t.sizeMax = 1.0f;
    t.sizeIncr = t.sizeWiggle = 0.0f;
    t.xScale = t.yScale = 1.0f;
    t.lifeMin = t.lifeMax = 100;
    t.deathType = t.deathNumber = 0;
    t.stepType = t.stepNumber = 0;
    t.speedMin = t.speedMax = t.speedIncr = t.speedWiggle = 0.0f;
    t.dirMin = t.dirMax = t.dirIncr = t.dirWiggle = 0.0f;
    t.gravAmount = 0.0f;
    t.gravDir = 270.0f;
    t.orientMin = t.orientMax = t.orientIncr = t.orientWiggle = 0.0f;
    t.orientRelative = 0;
    t.colourMode = 0;
    t.colour[0] = t.colour[1] = t.colour[2] = 0xFFFFFF; // c4..c6 are left as they are
    t.alphaStart = t.alphaMiddle = t.alphaEnd = 1.0f;
}

// A colour channel from a drawn real: truncated, held in 0..255 (NaN gives 0).
uint32_t Channel(float v)
{
    if (v >= 255.0f) return 255u;
    if (!(v > 0.0f)) return 0u;
    return (uint32_t)v;
}

} // namespace

// =============================================================================================
// [SECTION] Random values, particle initialisation and colour
// =============================================================================================

float Particle_RandomRange(float min, float max, int32_t distribution)
{
    if (max - min <= 0.0f) return min;
    float t;
    if (distribution == PS_DISTR_GAUSSIAN || distribution == PS_DISTR_INVGAUSSIAN) {
        // A normal variate cut to [-3, 3) by rejection.
        float x;
        for (;;) {
            x = (float)((Random_Real(1.0) - 0.5) * 6.0);
            const float p = std::exp(-0.5f * x * x);
            if ((double)p > Random_Real(1.0)) break;
        }
        if (distribution == PS_DISTR_GAUSSIAN) t = (x + 3.0f) * kSixth;
        else t = x >= 0.0f ? x * kSixth : (x + 6.0f) * kSixth; // crowds towards both ends
    } else {
        t = (float)Random_Real(1.0);
    }
    return min + t * (max - min);
}

void Particle_ComputeColour(Particle* p)
{
    const ParticleType* t = ParticleType_Slot(p->type);
    if (!t) return;
    const uint32_t* c = t->colour;
    if (p->age > 0 && p->life > 0) {
        if (t->colourMode == 1) {
            float f = (float)p->age / (float)p->life;
            if (f > 1.0f) f = 1.0f;
            p->colour = GR_Colour_Merge(c[0], c[1], f);
        } else if (t->colourMode == 2) {
            float f = 2.0f * (float)p->age / (float)p->life;
            if (f > 2.0f) f = 2.0f;
            p->colour = f < 1.0f ? GR_Colour_Merge(c[0], c[1], f) : GR_Colour_Merge(c[1], c[2], f - 1.0f);
        }
        return;
    }
    switch (t->colourMode) {
    case 0:
    case 1:
    case 2: p->colour = c[0]; break;
    case 3: {
        const uint32_t r = Channel(Particle_RandomRange((float)c[0], (float)c[1], 0));
        const uint32_t g = Channel(Particle_RandomRange((float)c[2], (float)c[3], 0));
        const uint32_t b = Channel(Particle_RandomRange((float)c[4], (float)c[5], 0));
        p->colour = r | g << 8 | b << 16;
        break;
    }
    case 4: {
        GR_HSV hsv;
        hsv.hue = (uint8_t)Channel(Particle_RandomRange((float)c[0], (float)c[1], 0));
        hsv.saturation = (uint8_t)Channel(Particle_RandomRange((float)c[2], (float)c[3], 0));
        hsv.value = (uint8_t)Channel(Particle_RandomRange((float)c[4], (float)c[5], 0));
        p->colour = GR_Colour_FromHSV(hsv);
        break;
    }
    case 5: p->colour = GR_Colour_Merge(c[0], c[1], Random_Real(1.0)); break;
    default: break;
    }
}

void Particle_Init(float x, float y, int32_t type, Particle* p)
{
    const ParticleType* t = Created(type);
    if (!t) return;
    p->alive = 1;
    p->type = type;
    p->x = p->xPrev = x;
    p->y = p->yPrev = y;
    p->speed = Particle_RandomRange(t->speedMin, t->speedMax, 0);
    p->direction = Particle_RandomRange(t->dirMin, t->dirMax, 0);
    p->orientation = Particle_RandomRange(t->orientMin, t->orientMax, 0);
    p->life = Real_TruncToInt32(Particle_RandomRange((float)t->lifeMin, (float)t->lifeMax, 0));
    p->age = 0;
    Particle_ComputeColour(p);
    p->alpha = t->alphaStart;
    p->size = Particle_RandomRange(t->sizeMin, t->sizeMax, 0);
    p->imageStart = t->randomStart ? (int32_t)Random_Int(10000) : 0;
    p->seed = (int32_t)Random_Int(100000);
}

float Particle_AlphaAt(const ParticleType& t, int32_t age, int32_t life)
{
    const float f = life > 0 ? 2.0f * (float)age / (float)life : 1.0f;
    if (f < 1.0f) return (1.0f - f) * t.alphaStart + f * t.alphaMiddle;
    return (2.0f - f) * t.alphaMiddle + (f - 1.0f) * t.alphaEnd;
}

// =============================================================================================
// [SECTION] The type table
// =============================================================================================

int32_t ParticleType_Create()
{
    const int32_t again = g_freedTypes.Take((int32_t)g_types.size(), [](int32_t i) { return !g_types[(size_t)i].created; });
    const size_t i = again >= 0 ? (size_t)again : g_types.size();
    if (i == g_types.size()) g_types.push_back(ParticleType{});
    ParticleType& t = g_types[i];
    // A reused slot starts as a new record would: normal blending, not the destroyed type's.
    t = ParticleType{};
    t.created = 1;
    SetDefaults(t);
    return (int32_t)i;
}

void ParticleType_Destroy(int32_t index)
{
    if (ParticleType* t = Created(index)) {
        SetDefaults(*t);
        t->created = 0;
        g_freedTypes.Release(index);
    }
}

bool ParticleType_Exists(int32_t index) { return Created(index) != nullptr; }

void ParticleType_Clear(int32_t index)
{
    if (ParticleType* t = Created(index)) SetDefaults(*t);
}

void ParticleType_Shape(int32_t index, int32_t shape)
{
    if (ParticleType* t = Created(index)) {
        t->shape = shape;
        t->sprite = -1;
    }
}

void ParticleType_Sprite(int32_t index, int32_t sprite, bool animate, bool stretch, bool random)
{
    if (ParticleType* t = Created(index)) {
        t->sprite = sprite;
        t->animate = animate ? 1 : 0;
        t->stretch = stretch ? 1 : 0;
        t->randomStart = random ? 1 : 0;
    }
}

void ParticleType_Size(int32_t index, float min, float max, float incr, float wiggle)
{
    if (ParticleType* t = Created(index)) {
        t->sizeMin = min;
        t->sizeMax = max;
        t->sizeIncr = incr;
        t->sizeWiggle = wiggle;
    }
}

void ParticleType_Scale(int32_t index, float x, float y)
{
    if (ParticleType* t = Created(index)) {
        t->xScale = x;
        t->yScale = y;
    }
}

void ParticleType_Life(int32_t index, int32_t min, int32_t max)
{
    if (ParticleType* t = Created(index)) {
        t->lifeMin = min;
        t->lifeMax = max;
    }
}

void ParticleType_Step(int32_t index, int32_t number, int32_t type)
{
    if (ParticleType* t = Created(index)) {
        t->stepNumber = number;
        t->stepType = type;
    }
}

void ParticleType_Death(int32_t index, int32_t number, int32_t type)
{
    if (ParticleType* t = Created(index)) {
        t->deathNumber = number;
        t->deathType = type;
    }
}

void ParticleType_Speed(int32_t index, float min, float max, float incr, float wiggle)
{
    if (ParticleType* t = Created(index)) {
        t->speedMin = min;
        t->speedMax = max;
        t->speedIncr = incr;
        t->speedWiggle = wiggle;
    }
}

void ParticleType_Direction(int32_t index, float min, float max, float incr, float wiggle)
{
    if (ParticleType* t = Created(index)) {
        t->dirMin = min;
        t->dirMax = max;
        t->dirIncr = incr;
        t->dirWiggle = wiggle;
    }
}

void ParticleType_Orientation(int32_t index, float min, float max, float incr, float wiggle, bool relative)
{
    if (ParticleType* t = Created(index)) {
        t->orientMin = min;
        t->orientMax = max;
        t->orientIncr = incr;
        t->orientWiggle = wiggle;
        t->orientRelative = relative ? 1 : 0;
    }
}

void ParticleType_Gravity(int32_t index, float amount, float direction)
{
    if (ParticleType* t = Created(index)) {
        t->gravAmount = amount;
        t->gravDir = direction;
    }
}

void ParticleType_Colour1(int32_t index, uint32_t c1)
{
    if (ParticleType* t = Created(index)) {
        t->colourMode = 0;
        t->colour[0] = c1;
    }
}

void ParticleType_Colour2(int32_t index, uint32_t c1, uint32_t c2)
{
    if (ParticleType* t = Created(index)) {
        t->colourMode = 1;
        t->colour[0] = c1;
        t->colour[1] = c2;
    }
}

void ParticleType_Colour3(int32_t index, uint32_t c1, uint32_t c2, uint32_t c3)
{
    if (ParticleType* t = Created(index)) {
        t->colourMode = 2;
        t->colour[0] = c1;
        t->colour[1] = c2;
        t->colour[2] = c3;
    }
}

static void SetSix(int32_t index, int32_t mode, uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t e, uint32_t f)
{
    if (ParticleType* t = Created(index)) {
        t->colourMode = mode;
        t->colour[0] = a;
        t->colour[1] = b;
        t->colour[2] = c;
        t->colour[3] = d;
        t->colour[4] = e;
        t->colour[5] = f;
    }
}

void ParticleType_ColourRGB(int32_t index, uint32_t rmin, uint32_t rmax, uint32_t gmin, uint32_t gmax, uint32_t bmin,
                            uint32_t bmax)
{
    SetSix(index, 3, rmin, rmax, gmin, gmax, bmin, bmax);
}

void ParticleType_ColourHSV(int32_t index, uint32_t hmin, uint32_t hmax, uint32_t smin, uint32_t smax, uint32_t vmin,
                            uint32_t vmax)
{
    SetSix(index, 4, hmin, hmax, smin, smax, vmin, vmax);
}

void ParticleType_ColourMix(int32_t index, uint32_t c1, uint32_t c2)
{
    if (ParticleType* t = Created(index)) {
        t->colourMode = 5;
        t->colour[0] = c1;
        t->colour[1] = c2;
    }
}

void ParticleType_Alpha1(int32_t index, float a)
{
    if (ParticleType* t = Created(index)) t->alphaStart = t->alphaMiddle = t->alphaEnd = a;
}

void ParticleType_Alpha2(int32_t index, float start, float end)
{
    if (ParticleType* t = Created(index)) {
        t->alphaStart = start;
        t->alphaMiddle = (start + end) * 0.5f;
        t->alphaEnd = end;
    }
}

void ParticleType_Alpha3(int32_t index, float start, float middle, float end)
{
    if (ParticleType* t = Created(index)) {
        t->alphaStart = start;
        t->alphaMiddle = middle;
        t->alphaEnd = end;
    }
}

void ParticleType_Blend(int32_t index, bool additive)
{
    if (ParticleType* t = Created(index)) t->additive = additive ? 1 : 0;
}

void ParticleType_DeleteAll()
{
    g_types.clear();
    g_freedTypes.Clear();
    g_types.shrink_to_fit();
}

ParticleType* ParticleType_Get(int32_t index) { return Created(index); }

const ParticleType* ParticleType_Slot(int32_t index)
{
    if (index < 0 || (size_t)index >= g_types.size()) return nullptr;
    return &g_types[(size_t)index];
}

int32_t ParticleType_Count() { return (int32_t)g_types.size(); }

// =============================================================================================
// [SECTION] Shape textures
// =============================================================================================

// Shape n is built-in image n (the table's first fourteen images).
void Particle_InitShapes()
{
    for (int32_t n = 0; n < PT_SHAPE_COUNT; ++n)
        if (!g_shapes[n]) g_shapes[n] = GR_Texture_CreateFromBuiltinImage(n);
}

void Particle_FreeShapes()
{
    for (TextureRecord*& r : g_shapes) {
        GR_D3D_FreeTexture(r);
        r = nullptr;
    }
}

TextureRecord* Particle_ShapeTexture(int32_t shape)
{
    return shape >= 0 && shape < PT_SHAPE_COUNT ? g_shapes[shape] : nullptr;
}
