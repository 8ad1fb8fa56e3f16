// 3D drawing per frame on the OpenGL device, headless on Mesa llvmpipe
// (SDL_VIDEODRIVER=offscreen): many shapes drawn one by one (each a primitive of its own,
// between two flushes), the same blocks as one model replayed from its recording, a large
// model replayed, the first draw of a model (its recording), and reading a large model file.
// A 640 x 480 screen, lit, depth-tested, perspective camera; each frame ends with glFinish so
// that it is really drawn. Items per second are shapes (or models, or records) per second.
//
//   SDL_VIDEODRIVER=offscreen build/bench/bench_threed
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Files/Graphics/Graphics_3D_Model.h"
#include "Files/Graphics/Graphics_3D_Primitive.h"
#include "Files/Graphics_API/Graphics_3D.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Files/Graphics_API/Graphics_Window.h"

namespace {

const int kW = 640, kH = 480;

bool Ready()
{
    static int state = 0;
    if (state == 0) {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        GR_Options().windowWidth = kW;
        GR_Options().windowHeight = kH;
        void* w = GR_Window_Create(kW, kH);
        state = w && GR_D3D_Init(w, kW, kH, 0) ? 1 : 2;
    }
    return state == 1;
}

void BeginFrame()
{
    GR_D3D_Start_Frame();
    GR_D3D_Clear(0x302010, 1.0f, 0, 7);
    GR_3D_SetMode(true);
    GR_3D_ClearDepth();
    GR_3D_SetProjectionExt(0, 900, 700, 0, 0, 0, 0, 0, 1, 60, (float)kW / kH, 1, 4000);
    GR_3D_SetLighting(true);
    GR_3D_SetAmbient(0x303030);
    GR_3D_DefineDirectionalLight(0, -0.4f, -0.5f, -1.0f, 0xFFFFFF);
    GR_3D_EnableLight(0, true);
}

void EndFrame()
{
    GR_3D_SetLighting(false);
    GR_3D_SetMode(false);
    GR_D3D_Finish_Frame(true);
    glFinish();
}

// Position of shape i on a grid of the floor (x, y), 16 x 16 blocks.
void Place(int i, float* x, float* y)
{
    *x = (float)((i % 40) * 30 - 600);
    *y = (float)(((i / 40) % 40) * 30 - 600);
}

void BM_Blocks(benchmark::State& state)
{
    if (!Ready()) return state.SkipWithError("no OpenGL context");
    int n = (int)state.range(0);
    for (auto _ : state) {
        BeginFrame();
        for (int i = 0; i < n; ++i) {
            float x, y;
            Place(i, &x, &y);
            GR_3D_DrawBlock(x, y, 0, x + 16, y + 16, 16, -1, 1, 1);
        }
        EndFrame();
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_Blocks)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_Cylinders(benchmark::State& state)
{
    if (!Ready()) return state.SkipWithError("no OpenGL context");
    int n = (int)state.range(0);
    for (auto _ : state) {
        BeginFrame();
        for (int i = 0; i < n; ++i) {
            float x, y;
            Place(i, &x, &y);
            GR_3D_DrawCylinder(x, y, 0, x + 16, y + 16, 24, -1, 1, 1, true, 16);
        }
        EndFrame();
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_Cylinders)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// The same n blocks as one model, replayed from its recording each frame.
void BM_BlocksAsModel(benchmark::State& state)
{
    if (!Ready()) return state.SkipWithError("no OpenGL context");
    int n = (int)state.range(0);
    int32_t m = GR_3D_Model_Create();
    for (int i = 0; i < n; ++i) {
        float x, y;
        Place(i, &x, &y);
        GR_3D_Model_Block(m, x, y, 0, x + 16, y + 16, 16, 1, 1);
    }
    for (auto _ : state) {
        BeginFrame();
        GR_3D_Model_Draw(m, 0, 0, 0, -1);
        EndFrame();
    }
    GR_3D_Model_Destroy(m);
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_BlocksAsModel)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// A large model: n ellipsoids of 32 steps (about 3,000 triangles each), drawn once a frame.
void BM_LargeModel(benchmark::State& state)
{
    if (!Ready()) return state.SkipWithError("no OpenGL context");
    int n = (int)state.range(0);
    int32_t m = GR_3D_Model_Create();
    for (int i = 0; i < n; ++i) {
        float x, y;
        Place(i, &x, &y);
        GR_3D_Model_Ellipsoid(m, x, y, 0, x + 24, y + 24, 24, 1, 1, 32);
    }
    for (auto _ : state) {
        BeginFrame();
        GR_3D_Model_Draw(m, 0, 0, 0, -1);
        EndFrame();
    }
    GR_3D_Model_Destroy(m);
    state.counters["triangles"] = (double)n * 16 * 32 * 2;
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LargeModel)->Arg(100)->Unit(benchmark::kMillisecond);

// The first draw of a model: every command run through the primitives into a recording, and
// its static buffers made (no frame: the device does not draw).
void BM_RecordModel(benchmark::State& state)
{
    if (!Ready()) return state.SkipWithError("no OpenGL context");
    int n = (int)state.range(0);
    int32_t m = GR_3D_Model_Create();
    for (int i = 0; i < n; ++i) {
        float x, y;
        Place(i, &x, &y);
        GR_3D_Model_Block(m, x, y, 0, x + 16, y + 16, 16, 1, 1);
        GR_3D_Model_Cylinder(m, x, y, 16, x + 16, y + 16, 40, 1, 1, 1, 16);
    }
    for (auto _ : state) {
        GR_3D_Model_PrimitiveEnd(m); // a change drops the recording
        GR_3D_Model_Draw(m, 0, 0, 0, -1);
    }
    GR_3D_Model_Destroy(m);
    state.SetItemsProcessed(state.iterations() * n * 2);
}
BENCHMARK(BM_RecordModel)->Arg(1000)->Unit(benchmark::kMillisecond);

// Reading a model file of n records (vertices with normals, texture and colour).
void BM_LoadModelFile(benchmark::State& state)
{
    int n = (int)state.range(0);
    int32_t m = GR_3D_Model_Create();
    for (int i = 0; i < n; ++i)
        GR_3D_Model_VertexNormalTextureColour(m, (float)i, (float)(i * 2), 3.5f, 0, 0, 1, 0.25f, 0.75f, 16777215, 1);
    std::string text;
    GR_3D_Model_ToText(m, &text);
    for (auto _ : state) {
        bool ok = GR_3D_Model_LoadData(m, (const uint8_t*)text.data(), text.size());
        benchmark::DoNotOptimize(ok);
    }
    GR_3D_Model_Destroy(m);
    state.SetItemsProcessed(state.iterations() * n);
    state.SetBytesProcessed(state.iterations() * (int64_t)text.size());
}
BENCHMARK(BM_LoadModelFile)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
