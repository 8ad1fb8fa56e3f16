// Textured 32x32 sprites per frame through the runner's vertex batch on the OpenGL device,
// beside an SDL_Renderer program drawing the same quads in the same run (both headless on
// Mesa llvmpipe with SDL_VIDEODRIVER=offscreen). The two are set up alike: windows of the same
// size made with the same GL attributes (no depth or stencil buffer, double-buffered),
// vertical sync off on both, nearest filtering, alpha blending, a clear then the sprites then
// the present, and each frame ends with glFinish so that both really draw it. The runner's
// frame does its own extra work: the sprites go into the screen texture, which is then put
// on the window. Items per second are sprites per second; divide by 60 for the sprites a
// 60 fps frame can hold.
//
//   SDL_VIDEODRIVER=offscreen build/bench/bench_sprites
#include <GL/gl.h>
#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_Window.h"

namespace {

const int kW = 640, kH = 480;

struct Positions {
    std::vector<float> x, y;
    explicit Positions(int n)
    {
        uint32_t seed = 12345;
        for (int i = 0; i < n; ++i) {
            seed = seed * 1103515245u + 12345u;
            x.push_back((float)((seed >> 8) % (kW - 32)));
            seed = seed * 1103515245u + 12345u;
            y.push_back((float)((seed >> 8) % (kH - 32)));
        }
    }
};

std::vector<uint32_t> SpritePixels()
{
    std::vector<uint32_t> px(64 * 64);
    for (int i = 0; i < 64 * 64; ++i) px[i] = 0xFF000000u | (uint32_t)(i * 2654435761u >> 8);
    return px;
}

void BM_RunnerBatch(benchmark::State& state)
{
    static bool ready = false;
    static int32_t page = -1;
    if (!ready) {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        GR_Options().windowWidth = kW;
        GR_Options().windowHeight = kH;
        void* w = GR_Window_Create(kW, kH);
        // Creation flags 0: windowed, vertical sync off, no screen filtering, no letterbox.
        if (!w || !GR_D3D_Init(w, kW, kH, 0)) {
            state.SkipWithError("no OpenGL context");
            return;
        }
        auto px = SpritePixels();
        page = GR_Texture_CreateFromPixels(64, 64, px.data(), 64 * 64 * 4);
        ready = true;
    }
    int n = (int)state.range(0);
    Positions pos(n);
    TexturePageEntry e{0, 0, 32, 32, 0, 0, 32, 32, 32, 32, (int16_t)page};
    for (auto _ : state) {
        GR_D3D_Start_Frame();
        GR_D3D_Clear(0, 1.0f, 0, 1);
        for (int i = 0; i < n; ++i) GR_Texture_DrawTPE(&e, pos.x[i], pos.y[i]);
        GR_D3D_Finish_Frame(true);
        glFinish(); // the picture is complete before the next frame, as on a real display
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_RunnerBatch)->Arg(0)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SDLRenderer(benchmark::State& state)
{
    static SDL_Window* window = nullptr;
    static SDL_Renderer* renderer = nullptr;
    static SDL_Texture* texture = nullptr;
    static char name[32] = "";
    if (!renderer) {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        SDL_InitSubSystem(SDL_INIT_VIDEO);
        // The runner's window attributes (Graphics_HostM.cpp), whichever benchmark runs first.
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
        SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        // SDL's first choice here is its "opengl" renderer; naming it in the driver hint would
        // switch SDL's command batching off, so batching is asked for instead.
        SDL_SetHint(SDL_HINT_RENDER_BATCHING, "1");
        SDL_SetHint(SDL_HINT_RENDER_VSYNC, "0");
        SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
        window = SDL_CreateWindow("bench", 0, 0, kW, kH, SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL);
        renderer = window ? SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED) : nullptr;
        if (!renderer) {
            state.SkipWithError("no SDL renderer");
            return;
        }
        auto px = SpritePixels();
        texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, 64, 64);
        SDL_UpdateTexture(texture, nullptr, px.data(), 64 * 4);
        SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_BLEND);
        SDL_RendererInfo info;
        SDL_GetRendererInfo(renderer, &info);
        std::snprintf(name, sizeof(name), "%s", info.name);
    }
    state.SetLabel(name);
    int n = (int)state.range(0);
    Positions pos(n);
    SDL_Rect src{0, 0, 32, 32};
    for (auto _ : state) {
        SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
        SDL_RenderClear(renderer);
        for (int i = 0; i < n; ++i) {
            SDL_FRect dst{pos.x[i], pos.y[i], 32, 32};
            SDL_RenderCopyF(renderer, texture, &src, &dst);
        }
        SDL_RenderPresent(renderer);
        glFinish(); // SDL's context is current here
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_SDLRenderer)->Arg(0)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
