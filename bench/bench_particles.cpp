// Steps of particle systems holding 10,000 and 100,000 particles in a steady state: an
// emitter streams new particles into an ellipse while as many die of age each step (life 100
// steps). The update alone (ageing, motion with gravity and speed and direction wiggles, looks
// with three colours and alpha over the life), the update with an attractor, a deflector and a
// destroyer added, the drawing of the shape quads into the vertex batch on the OpenGL device
// (headless on Mesa llvmpipe with SDL_VIDEODRIVER=offscreen, small quads so that filling does
// not dominate, each frame ended with glFinish), and update plus drawing as a room step does.
//
//   SDL_VIDEODRIVER=offscreen build/bench/bench_particles
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "Files/Base/Console.h"
#include "Files/Base/Random.h"
#include "Files/Graphics/BuiltinImages.h"
#include "Files/Graphics/Graphics_Draw.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/Graphics_API/TBitmap.h"
#include "Files/Particle/Particle_Main.h"

namespace {

const int kW = 640, kH = 480;
const int kLife = 100;

class Quiet : public tagIConsole {
public:
    bool Query(int, int) override { return true; }
    void Output(const char*, ...) override {}
};
Quiet g_quiet;

bool g_deviceTried = false, g_device = false;

bool Device()
{
    if (g_deviceTried) return g_device;
    g_deviceTried = true;
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    Console_Set(&g_quiet);
    GR_Options().windowWidth = kW;
    GR_Options().windowHeight = kH;
    GR_BuiltinImages_SetTable(GR_BuiltinImages_Default());
    void* w = GR_Window_Create(kW, kH);
    g_device = w && GR_D3D_Init(w, kW, kH, 0);
    if (g_device) Particle_InitShapes();
    return g_device;
}

// A system streaming n / life particles a step, run until it holds n.
int32_t Scene(int32_t n, bool parts)
{
    Console_Set(&g_quiet);
    Particle_ResetAll();
    Random_SetSeed(99);
    const int32_t s = ParticleSystem_Create();
    const int32_t t = ParticleType_Create();
    ParticleType_Shape(t, 1);
    ParticleType_Size(t, 0.08f, 0.12f, -0.0002f, 0.01f);
    ParticleType_Life(t, kLife, kLife);
    ParticleType_Speed(t, 0.5f, 2.0f, -0.005f, 0.2f);
    ParticleType_Direction(t, 0, 360, 0.5f, 5);
    ParticleType_Gravity(t, 0.02f, 270);
    ParticleType_Colour3(t, 0x00FFFF, 0x0080FF, 0x0000FF);
    ParticleType_Alpha3(t, 1, 0.8f, 0);
    const int32_t e = ParticleEmitter_Create(s);
    ParticleEmitter_Region(s, e, 200, 440, 140, 340, PS_SHAPE_ELLIPSE, PS_DISTR_GAUSSIAN);
    ParticleEmitter_Stream(s, e, t, n / kLife);
    if (parts) {
        const int32_t a = ParticleAttractor_Create(s);
        ParticleAttractor_Position(s, a, 320, 240);
        ParticleAttractor_Force(s, a, 0.05f, 200, PS_FORCE_LINEAR, true);
        const int32_t d = ParticleDeflector_Create(s);
        ParticleDeflector_Region(s, d, 0, 640, 400, 480);
        const int32_t k = ParticleDestroyer_Create(s);
        ParticleDestroyer_Region(s, k, 0, 40, 0, 480, PS_SHAPE_RECTANGLE);
    }
    for (int i = 0; i <= kLife; ++i) ParticleSystem_Update(s);
    return s;
}

void BM_Update(benchmark::State& state)
{
    const int32_t s = Scene((int32_t)state.range(0), false);
    for (auto _ : state) ParticleSystem_Update(s);
    state.counters["particles"] = ParticleSystem_Count(s);
    state.counters["particles/s"] =
        benchmark::Counter((double)ParticleSystem_Count(s) * (double)state.iterations(), benchmark::Counter::kIsRate);
    Particle_ResetAll();
}

void BM_UpdateWithParts(benchmark::State& state)
{
    const int32_t s = Scene((int32_t)state.range(0), true);
    for (auto _ : state) ParticleSystem_Update(s);
    state.counters["particles"] = ParticleSystem_Count(s);
    Particle_ResetAll();
}

void Frame(int32_t s, bool update, bool draw)
{
    if (update) ParticleSystem_Update(s);
    if (!draw) return;
    GR_D3D_Start_Frame();
    GR_Draw_Clear(0x202020);
    ParticleSystem_Draw(s);
    GR_D3D_Finish_Frame(true);
    glFinish();
}

void RunFrames(benchmark::State& state, bool update)
{
    if (!Device()) {
        state.SkipWithError("no OpenGL context");
        return;
    }
    const int32_t s = Scene((int32_t)state.range(0), false);
    for (auto _ : state) Frame(s, update, true);
    state.counters["particles"] = ParticleSystem_Count(s);
    state.counters["fps"] = benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
    Particle_ResetAll();
}

void BM_Draw(benchmark::State& state) { RunFrames(state, false); }
void BM_UpdateAndDraw(benchmark::State& state) { RunFrames(state, true); }

BENCHMARK(BM_Update)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UpdateWithParts)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Draw)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_UpdateAndDraw)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
