// Frames of a room's drawing: 5,000 animated sprites (8 frames of 32 x 32 on the game file's
// texture page, each instance at its own frame, a quarter of them scaled and rotated) and
// 2,000 characters of text (20 lines of 100) in a game font, through the sprite and text
// drawing into the runner's vertex batch on the OpenGL device (headless on Mesa llvmpipe with
// SDL_VIDEODRIVER=offscreen, vertical sync off, each frame ended with glFinish). Also each half
// alone and the text in the debug font. Frames per second = 1000 / ms per frame. Then
// measuring without a frame: string_width and string_height of a text of 1,000,000 characters
// (10,000 lines of 100, words of 8) in the game font, unwrapped and wrapped at 300 pixels.
//
//   SDL_VIDEODRIVER=offscreen build/bench/bench_resources
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "Files/Base/Console.h"
#include "Files/Font/Font_Main.h"
#include "Files/Font/Font_Text.h"
#include "Files/Graphics/BuiltinImages.h"
#include "Files/Graphics/Graphics_Draw.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/Graphics_API/TBitmap.h"
#include "Files/Runner/Runner_Game.h"
#include "Files/Sprite/Sprite_Main.h"
#include "GamePack_Project.h"
#include "GamePack_Writer.h"

namespace {

const int kW = 640, kH = 480;
const int kSprites = 5000, kFrames = 8;

class Quiet : public tagIConsole {
public:
    bool Query(int, int) override { return true; }
    void Output(const char*, ...) override {}
};
Quiet g_quiet;

struct Scene {
    bool ready = false;
    std::vector<uint8_t> file;
    FileImage image;
    int32_t sprite = -1, font = -1;
    std::vector<float> x, y;
    std::vector<std::string> lines;
};
Scene g_scene;

bool Prepare()
{
    if (g_scene.ready) return true;
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    Console_Set(&g_quiet);
    GR_Options().windowWidth = kW;
    GR_Options().windowHeight = kH;
    GR_BuiltinImages_SetTable(GR_BuiltinImages_Default());
    void* w = GR_Window_Create(kW, kH);
    if (!w || !GR_D3D_Init(w, kW, kH, 0)) return false;
    GR_Draw_InitCircleTable();
    // The game: an 8-frame strip of 32 x 32 rings and a DejaVu Sans font of 12 points.
    char folder[] = "/tmp/zb_bench_resources_XXXXXX";
    if (!mkdtemp(folder)) return false;
    PackImage strip;
    strip.width = 32 * kFrames;
    strip.height = 32;
    for (int32_t py = 0; py < 32; ++py)
        for (int32_t px = 0; px < strip.width; ++px) {
            const int f = px / 32;
            const double r = std::hypot(px % 32 - 15.5, py - 15.5);
            const bool on = r > 6 + f && r < 12 + f;
            strip.rgba.insert(strip.rgba.end(), {uint8_t(40 * f), uint8_t(255 - 20 * f), 200, uint8_t(on ? 255 : 0)});
        }
    std::vector<uint8_t> png;
    GamePack_EncodePng(strip, png);
    GamePack_WriteFile(std::string(folder) + "/strip.png", png);
    const std::string manifest = R"({"sprites": [{"name": "ring", "image": "strip.png", "frames": 8, "origin": [16, 16],
        "transparent": true, "precise": true}], "fonts": [{"name": "text", "ttf":
        "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", "size": 12}], "rooms": [{"name": "rm"}]})";
    PackProject project;
    PackOutput out;
    std::string error;
    const bool packed = GamePack_ParseProject(manifest, folder, project, error) && GamePack_Build(project, out, error);
    unlink((std::string(folder) + "/strip.png").c_str());
    rmdir(folder);
    if (!packed) return false;
    g_scene.file = out.game;
    g_scene.image = FileImage(g_scene.file.data(), (uint32_t)g_scene.file.size());
    if (!Runner_LoadFromImage(g_scene.image)) return false;
    g_scene.sprite = Sprite_Find("ring");
    g_scene.font = Font_Find("text");
    uint32_t seed = 12345;
    for (int i = 0; i < kSprites; ++i) {
        seed = seed * 1103515245u + 12345u;
        g_scene.x.push_back((float)((seed >> 8) % kW));
        seed = seed * 1103515245u + 12345u;
        g_scene.y.push_back((float)((seed >> 8) % kH));
    }
    for (int l = 0; l < 20; ++l) {
        std::string line;
        for (int c = 0; c < 100; ++c) line += (char)('!' + (l * 7 + c * 13) % 90);
        g_scene.lines.push_back(line);
    }
    g_scene.ready = true;
    return true;
}

void DrawSprites(int frame)
{
    const CSprite* s = Sprite_Data(g_scene.sprite);
    for (int i = 0; i < kSprites; ++i) {
        if (i % 4 == 0)
            s->Draw(frame + i, g_scene.x[i], g_scene.y[i], 1.5f, 1.5f, (float)((frame + i) % 360), 0xFFFFFF, 1);
        else
            s->DrawSimple(frame + i, g_scene.x[i], g_scene.y[i]);
    }
}

void DrawText(int32_t font)
{
    GR_Text_SetFont(font);
    GR_Draw_SetColour(0xFFFFFF);
    for (size_t l = 0; l < g_scene.lines.size(); ++l) GR_Text_Draw(4, 4.0f + 22.0f * (float)l, g_scene.lines[l].c_str(), -1, -1);
}

void Run(benchmark::State& state, bool sprites, bool text, bool gameFont)
{
    if (!Prepare()) {
        state.SkipWithError("no OpenGL context or the game could not be packed");
        return;
    }
    const int32_t font = gameFont ? g_scene.font : -1;
    int frame = 0;
    for (auto _ : state) {
        GR_D3D_Start_Frame();
        GR_Draw_Clear(0x202020);
        if (sprites) DrawSprites(frame);
        if (text) DrawText(font);
        GR_D3D_Finish_Frame(true);
        glFinish();
        ++frame;
    }
    state.counters["fps"] = benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
}

void BM_RoomSpritesAndText(benchmark::State& state) { Run(state, true, true, true); }
void BM_SpritesOnly(benchmark::State& state) { Run(state, true, false, false); }
void BM_TextOnlyGameFont(benchmark::State& state) { Run(state, false, true, true); }
void BM_TextOnlyDebugFont(benchmark::State& state) { Run(state, false, true, false); }
void BM_EmptyFrame(benchmark::State& state) { Run(state, false, false, false); }

void BM_TextMeasure(benchmark::State& state)
{
    if (!Prepare()) {
        state.SkipWithError("no OpenGL context or the game could not be packed");
        return;
    }
    std::string text;
    for (int k = 0; k < 500; ++k)
        for (const std::string& line : g_scene.lines) {
            text += line;
            text.back() = '#';
        }
    for (size_t i = 8; i < text.size(); i += 9)
        if (text[i] != '#') text[i] = ' ';
    GR_Text_SetFont(g_scene.font);
    const int32_t wrap = state.range(0) ? 300 : -1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(GR_Text_Width(text.c_str(), -1, wrap));
        benchmark::DoNotOptimize(GR_Text_Height(text.c_str(), -1, wrap));
    }
    state.SetItemsProcessed((int64_t)state.iterations() * 2 * (int64_t)text.size());
}

BENCHMARK(BM_RoomSpritesAndText)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SpritesOnly)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TextOnlyGameFont)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TextOnlyDebugFont)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EmptyFrame)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TextMeasure)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
