// Loading a large packed game: tens of MB of texture pages and thousands of byte-code bodies
// with their variable and function chains. Compares a plain read of the file with the read
// plus the whole load (container, header, strings, code walk, binding, dispatch, page
// records). The file is packed once, by the game packer, into the temporary folder.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "Files/Base/Console.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/Code_Load.h"
#include "Files/Runner/Runner_Game.h"
#include "Files/Support/File.h"
#include "GamePack_Compile.h"
#include "GamePack_Project.h"
#include "GamePack_Writer.h"
#include "Platform/MemoryManager.h"

namespace {

constexpr int kUnits = 4000;      // code bodies
constexpr int kImages = 6;        // 1024 x 1024 noise images (about 24 MB of PNG)

// A stand-in compiler: per unit 40 statements, each a variable read and write, every fourth a
// call and every eighth a string (byte code the machine's verifier accepts).
bool BenchCompile(const std::string& source, const std::string&, CompiledUnit& out, std::string&)
{
    auto put = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) out.code.push_back(uint8_t(v >> (8 * i)));
    };
    const int seed = std::atoi(source.c_str());
    for (int s = 0; s < 40; ++s) {
        out.variables.push_back({uint32_t(out.code.size()), "v" + std::to_string((seed * 7 + s) % 300)});
        put(0xC0050000u | 0xFFFF);
        put(0xA0000000u);
        out.variables.push_back({uint32_t(out.code.size()), "v" + std::to_string((seed + s * 13) % 300)});
        put(0x4155FFFFu);
        put(0xA0000000u);
        if (s % 4 == 0) {
            out.functions.push_back({uint32_t(out.code.size()), "fn" + std::to_string((seed + s) % 120)});
            put(0xDA020000u); // call.i with no arguments
            put(0);
            put(0x9F050000u); // popz.v
        }
        if (s % 8 == 0) {
            out.strings.push_back({uint32_t(out.code.size()), "text " + std::to_string(s)});
            put(0xC0060000u);
            put(0);
            put(0x9F060000u); // popz.s
        }
        out.debug.insert(out.debug.end(), {int32_t(out.code.size()), s});
    }
    put(0x9E020000u);
    return true;
}

void Dummy(ScriptValue*, CInstance*, CInstance*, int32_t, ScriptValue*) {}

// The 120 functions the bodies call, as built-ins that do nothing.
void RegisterFunctions()
{
    static bool done = false;
    if (done) return;
    done = true;
    for (int i = 0; i < 120; ++i) Function_Add(("fn" + std::to_string(i)).c_str(), Dummy, -1);
}

class Quiet : public tagIConsole {
public:
    bool Query(int, int) override { return true; }
    void Output(const char*, ...) override {}
};
Quiet g_Quiet;

const std::string& GamePath()
{
    static std::string path;
    if (!path.empty()) return path;
    PackProject p;
    p.byteCode = true;
    uint32_t noise = 12345;
    for (int i = 0; i < kImages; ++i) {
        PackSprite s;
        s.name = "spr" + std::to_string(i);
        PackImage img;
        img.width = img.height = 1024;
        img.rgba.resize(size_t(1024) * 1024 * 4);
        for (uint8_t& b : img.rgba) b = uint8_t((noise = noise * 1664525u + 1013904223u) >> 24);
        s.frames.push_back(std::move(img));
        p.sprites.push_back(std::move(s));
    }
    p.pageSize = 2048;
    for (int i = 0; i < kUnits; ++i) {
        PackScript s;
        s.name = "scr" + std::to_string(i);
        s.code.present = true;
        s.code.text = std::to_string(i);
        p.scripts.push_back(std::move(s));
    }
    RegisterFunctions();
    GamePack_SetCompiler(BenchCompile);
    PackOutput out;
    std::string error;
    if (!GamePack_Build(p, out, error)) {
        std::fprintf(stderr, "bench: %s\n", error.c_str());
        std::abort();
    }
    char folder[] = "/tmp/zb_bench_XXXXXX";
    path = std::string(mkdtemp(folder)) + "/large.win";
    GamePack_WriteFile(path, out.game);
    return path;
}

void BM_ReadFileOnly(benchmark::State& state)
{
    const std::string& path = GamePath();
    int32_t size = 0;
    for (auto _ : state) {
        uint8_t* block = File_ReadAll(path.c_str(), &size);
        benchmark::DoNotOptimize(block);
        MEM_FREE(block);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * size);
    state.counters["MB"] = double(size) / 1e6;
}
BENCHMARK(BM_ReadFileOnly)->Unit(benchmark::kMillisecond);

void BM_ReadAndLoad(benchmark::State& state)
{
    const std::string& path = GamePath();
    Console_Set(&g_Quiet);
    int32_t size = 0;
    for (auto _ : state) {
        uint8_t* block = File_ReadAll(path.c_str(), &size);
        FileImage image(block, uint32_t(size));
        if (!Runner_LoadFromImage(image)) state.SkipWithError("the large game does not load");
        MEM_FREE(block);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * size);
    state.counters["bodies"] = double(g_Code.entries.size());
    Console_Set(nullptr);
}
BENCHMARK(BM_ReadAndLoad)->Unit(benchmark::kMillisecond);

} // namespace
BENCHMARK_MAIN();
