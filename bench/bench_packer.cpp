// Packing time by object count: the game packer reads a manifest of N objects (each with a
// create and a step event whose code names other objects, a script and variables of its own,
// as a large game's code does) and one room holding an instance of every object, and builds
// the game file in memory (no disk write), in source and in byte-code mode. A name costs one
// hashed look-up, so 64,000 objects cost about four times what 16,000 cost, never sixteen.
//
//   build/bench/bench_packer
#include <benchmark/benchmark.h>

#include <string>

#include "GamePack_Project.h"

namespace {

std::string Manifest(int objects, bool byteCode)
{
    std::string m;
    m.reserve(size_t(objects) * 260);
    m += std::string(R"({"name": "Many", "mode": ")") + (byteCode ? "bytecode" : "source") + R"(",)";
    m += R"( "scripts": [{"name": "scr_hit", "code": "argument0.hp -= argument1; return argument0.hp;"}],)";
    m += R"( "objects": [)";
    for (int i = 0; i < objects; ++i) {
        const std::string n = std::to_string(i);
        const std::string target = std::to_string((i * 7 + 1) % objects);
        m += std::string(i ? "," : "") + R"({"name": "obj_)" + n + R"(", "depth": )" + std::to_string(i % 50) +
             R"(, "events": [{"type": "create", "code": "hp = 3; target = obj_)" + target + R"(; speed_)" + std::to_string(i % 97) +
             R"( = 2;"}, {"type": "step", "code": "if (instance_exists(target)) scr_hit(id, 1); x += speed_)" +
             std::to_string(i % 97) + R"(; if (hp <= 0) instance_destroy();"}]})";
    }
    m += R"(], "rooms": [{"name": "rm", "instances": [)";
    for (int i = 0; i < objects; ++i)
        m += std::string(i ? "," : "") + R"({"object": "obj_)" + std::to_string(i) + R"(", "x": )" + std::to_string(i % 640) + "}";
    m += "]}]}";
    return m;
}

void BM_PackObjects(benchmark::State& state)
{
    const int objects = int(state.range(0));
    const std::string manifest = Manifest(objects, state.range(1) != 0);
    size_t bytes = 0;
    for (auto _ : state) {
        PackProject project;
        PackOutput out;
        std::string error;
        if (!GamePack_ParseProject(manifest, ".", project, error) || !GamePack_Build(project, out, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        bytes = out.game.size();
        benchmark::DoNotOptimize(out.game.data());
    }
    state.counters["objects"] = double(objects);
    state.counters["file_MB"] = double(bytes) / 1e6;
}
// Arguments: objects, byte code (0 source, 1 byte code).
BENCHMARK(BM_PackObjects)
    ->ArgsProduct({{16000, 64000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

} // namespace

BENCHMARK_MAIN();
