// Alpha-blended 32x32 sprites at scattered places in a 1024x768 window, frame after frame:
// the runner drawing them as a game does (a ZBL loop of draw_sprite over a sprite of a packed
// game file, compiled by the runner's compiler and run by its machine, between the frame's
// start and its present) beside an SDL_Renderer program drawing the same picture as SDL's
// users write it (SDL_RenderCopy per sprite from one texture; the "opengl" driver with command
// batching on). Both headless on Mesa llvmpipe with SDL_VIDEODRIVER=offscreen, vertical sync
// off, nearest filtering, one clear a frame. Each side makes its own GL context current before
// its frames and ends every frame with glFinish inside the timed loop, so that each measures
// finished pictures of its own, in whichever order the benchmarks run. Items per second are
// sprites per second; frames per second = 1000 / ms per frame.
//
//   SDL_VIDEODRIVER=offscreen build/bench/bench_sprites --benchmark_enable_random_interleaving=true
//
// Frames as a playing game has them (the program going on with the next frame while the last
// one is drawn, no glFinish) are compared by bench/compare_sprites.py, which plays a packed game
// with the runner and this program's SDL side (`bench_sprites --play-sdl N SECONDS`) in turn.
#include <GL/gl.h>
#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "BenchScript.h"
#include "Files/Base/Console.h"
#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Execute.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/Runner/Runner_Game.h"
#include "Files/Sprite/Sprite_Main.h"
#include "GamePack_Project.h"
#include "GamePack_Writer.h"


namespace {

const int kW = 1024, kH = 768, kSize = 32;

// The sprite: a ball whose edge fades out (alpha from 255 to 0), as straight RGBA.
std::vector<uint8_t> BallRGBA()
{
    std::vector<uint8_t> px;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const double d = std::hypot(x - 15.5, y - 15.5);
            const int a = (int)((16 - d) * 64);
            px.insert(px.end(), {uint8_t(x * 8), uint8_t(y * 8), 200, uint8_t(a < 0 ? 0 : a > 255 ? 255 : a)});
        }
    return px;
}

// Sprite i's place: the same scatter on both sides (and in the ZBL below).
int PlaceX(int i) { return (int)(((int64_t)i * 7919) % (kW - kSize)); }
int PlaceY(int i) { return (int)(((int64_t)i * 104729) % (kH - kSize)); }

class Quiet : public tagIConsole {
public:
    bool Query(int, int) override { return true; }
    void Output(const char*, ...) override {}
};
Quiet g_quiet;

struct RunnerSide {
    bool tried = false, ready = false;
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    std::vector<uint8_t> file;
    FileImage image;
    int32_t sprite = -1;
    CInstance* self = nullptr;
};
RunnerSide g_runner;

bool RunnerReady()
{
    RunnerSide& r = g_runner;
    if (r.tried) return r.ready;
    r.tried = true;
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    Console_Set(&g_quiet);
    GR_Options().windowWidth = kW;
    GR_Options().windowHeight = kH;
    r.window = static_cast<SDL_Window*>(GR_Window_Create(kW, kH));
    // Creation flags 0: windowed, vertical sync off, no screen filtering, no letterbox.
    if (!r.window || !GR_D3D_Init(r.window, kW, kH, 0)) return false;
    r.context = SDL_GL_GetCurrentContext();
    char folder[] = "/tmp/zb_bench_sprites_XXXXXX";
    if (!mkdtemp(folder)) return false;
    PackImage ball;
    ball.width = ball.height = kSize;
    ball.rgba = BallRGBA();
    std::vector<uint8_t> png;
    GamePack_EncodePng(ball, png);
    GamePack_WriteFile(std::string(folder) + "/ball.png", png);
    PackProject project;
    PackOutput out;
    std::string error;
    const bool packed = GamePack_ParseProject(R"({"sprites": [{"name": "ball", "image": "ball.png"}], "rooms": [{"name": "rm"}]})", folder, project,
                                              error) &&
                        GamePack_Build(project, out, error);
    unlink((std::string(folder) + "/ball.png").c_str());
    rmdir(folder);
    if (!packed) return false;
    r.self = Bench_ScriptInstance();
    Sprite_RegisterBuiltins();
    r.file = out.game;
    r.image = FileImage(r.file.data(), (uint32_t)r.file.size());
    if (!Runner_LoadFromImage(r.image)) return false;
    r.sprite = Sprite_Find("ball");
    r.ready = r.sprite >= 0;
    return r.ready;
}

// Runs compiled ZBL on the benchmark's instance once.
void RunOnce(CCode* code)
{
    ScriptValue result = Value_Real(0.0);
    Code_Execute(g_runner.self, g_runner.self, code, &result);
    Value_FreeString(&result);
}

void BM_Runner(benchmark::State& state)
{
    if (!RunnerReady()) {
        state.SkipWithError("no OpenGL context or the game could not be packed");
        return;
    }
    const int n = (int)state.range(0);
    const std::string count = std::to_string(n), spr = std::to_string(g_runner.sprite);
    // The unit keeps a pointer to its text.
    static std::string placeText, drawText;
    placeText = "var i; for (i = 0; i < " + count + "; i += 1) { xx[i] = (i * 7919) mod " + std::to_string(kW - kSize) +
                "; yy[i] = (i * 104729) mod " + std::to_string(kH - kSize) + "; }";
    drawText = "var i; for (i = 0; i < " + count + "; i += 1) draw_sprite(" + spr + ", 0, xx[i], yy[i]);";
    auto place = std::make_unique<CCode>(placeText.c_str(), false);
    auto draw = std::make_unique<CCode>(drawText.c_str(), false);
    if (!place->Compile("place") || !draw->Compile("draw")) {
        state.SkipWithError("the drawing loop does not compile");
        return;
    }
    RunOnce(place.get());
    SDL_GL_MakeCurrent(g_runner.window, g_runner.context);
    for (auto _ : state) {
        GR_D3D_Start_Frame();
        GR_D3D_Clear(0xFF000000u, 1.0f, 0, 1); // the room's colour, as a room with one clears
        RunOnce(draw.get());
        GR_D3D_Finish_Frame(true);
        glFinish(); // the picture is finished inside the timed frame
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_Runner)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond)->UseRealTime();

struct SdlSide {
    bool tried = false;
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    char name[32] = "";
};
SdlSide g_sdl;

// SDL as its users set it up: the OpenGL renderer named, its batching asked for.
bool SdlReady()
{
    SdlSide& s = g_sdl;
    if (s.tried) return s.renderer != nullptr;
    s.tried = true;
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    SDL_GL_ResetAttributes(); // SDL's own defaults, whatever the runner's window asked for
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "opengl");
    SDL_SetHint(SDL_HINT_RENDER_BATCHING, "1");
    SDL_SetHint(SDL_HINT_RENDER_VSYNC, "0");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    s.window = SDL_CreateWindow("bench", 0, 0, kW, kH, SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL);
    s.renderer = s.window ? SDL_CreateRenderer(s.window, -1, SDL_RENDERER_ACCELERATED) : nullptr;
    if (!s.renderer) return false;
    s.context = SDL_GL_GetCurrentContext();
    std::vector<uint8_t> rgba = BallRGBA();
    s.texture = SDL_CreateTexture(s.renderer, SDL_PIXELFORMAT_ABGR8888, SDL_TEXTUREACCESS_STATIC, kSize, kSize);
    SDL_UpdateTexture(s.texture, nullptr, rgba.data(), kSize * 4);
    SDL_SetTextureBlendMode(s.texture, SDL_BLENDMODE_BLEND);
    SDL_RendererInfo info;
    SDL_GetRendererInfo(s.renderer, &info);
    std::snprintf(s.name, sizeof(s.name), "%s", info.name);
    return true;
}

void SdlFrame(int n)
{
    SDL_SetRenderDrawColor(g_sdl.renderer, 0, 0, 0, 255);
    SDL_RenderClear(g_sdl.renderer);
    for (int i = 0; i < n; ++i) {
        SDL_Rect dst{PlaceX(i), PlaceY(i), kSize, kSize};
        SDL_RenderCopy(g_sdl.renderer, g_sdl.texture, nullptr, &dst);
    }
    SDL_RenderPresent(g_sdl.renderer);
}

void BM_SDLRenderer(benchmark::State& state)
{
    if (!SdlReady()) {
        state.SkipWithError("no SDL renderer");
        return;
    }
    state.SetLabel(g_sdl.name);
    const int n = (int)state.range(0);
    SDL_GL_MakeCurrent(g_sdl.window, g_sdl.context);
    for (auto _ : state) {
        SdlFrame(n);
        glFinish(); // SDL's context is current: its picture is finished inside the timed frame
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_SDLRenderer)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond)->UseRealTime();

// --play-sdl N SECONDS: SDL's side alone as a program plays, frames not waited for; prints
// "FPS <frames per second>" over SECONDS after 20 frames of warming up. The span starts and
// ends with every frame drawn (glFinish): Mesa's software rasteriser queues frames far ahead
// of the program (dozens of scenes of many frames each), and a span that ended with frames
// still queued would count frames that were never drawn.
int PlaySdl(int n, double seconds)
{
    if (!SdlReady()) return 1;
    int frames = 0;
    Uint64 start = 0;
    for (;;) {
        SDL_Event e;
        while (SDL_PollEvent(&e)) {
        }
        SdlFrame(n);
        if (++frames == 20) {
            glFinish(); // the warm-up frames are drawn before the clock starts
            start = SDL_GetPerformanceCounter();
        }
        if (frames <= 20) continue;
        const double s = (double)(SDL_GetPerformanceCounter() - start) / (double)SDL_GetPerformanceFrequency();
        if (s >= seconds) {
            glFinish(); // the frames counted are drawn, not only queued, when the clock stops
            const double all = (double)(SDL_GetPerformanceCounter() - start) / (double)SDL_GetPerformanceFrequency();
            std::printf("FPS %.2f\n", (frames - 20) / all);
            return 0;
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--play-sdl") == 0) return PlaySdl(std::atoi(argv[2]), std::atof(argv[3]));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
