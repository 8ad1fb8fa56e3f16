// Helpers of the particle tests (tests/particles/ParticleTestSupport.h).
#include "ParticleTestSupport.h"

#include "Files/Base/Random.h"
#include "Files/Code/Code_Function.h"
#include "Files/Graphics/BuiltinImages.h"
#include "Files/Graphics_API/Graphics_3D.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Files/Graphics_API/TBitmap.h"
#include "support/BuiltinTest.h"

void ParticleTest::SetUp()
{
    GraphicsFixture::SetUp();
    GR_BuiltinImages_SetTable(GR_BuiltinImages_Default());
    Particle_ResetAll();
    Particle_InitShapes();
    Random_SetSeed(12345);
    GR_3D_SetDepth(0.0f);
    GR_State_SetBlendMode(0);
    dev()->ClearLog();
}

void ParticleTest::TearDown()
{
    Particle_FreeAll();
    GraphicsFixture::TearDown();
}

std::vector<Particle> ParticleTest::Live(int32_t system)
{
    const ParticleSystem* s = ParticleSystem_Get(system);
    if (!s || s->count == 0) return {};
    return std::vector<Particle>(s->particles, s->particles + s->count);
}

std::vector<FakeDraw> ParticleTest::Drawn()
{
    GR_D3D_Flush();
    std::vector<FakeDraw> out = dev()->draws;
    dev()->draws.clear();
    return out;
}

double CallBuiltin(const char* name, std::initializer_list<double> args)
{
    int32_t id = -1;
    if (!Code_Function_Find(name, &id)) Particle_RegisterBuiltins();
    return Builtin_Call(name, std::vector<Val>(args.begin(), args.end()), nullptr, nullptr, true).Real();
}

int32_t SimpleType(int32_t life, float speed, float direction)
{
    const int32_t t = ParticleType_Create();
    ParticleType_Life(t, life, life);
    ParticleType_Speed(t, speed, speed, 0, 0);
    ParticleType_Direction(t, direction, direction, 0, 0);
    return t;
}
