// The core built-ins beside Lua 5.4 on the same work: map set and find, list add and sort,
// grid region operations and string built-ins. Each ZBL benchmark compiles the ZBL source in
// its comment with the runner's compiler and runs it in the virtual machine, as a game would;
// each Lua benchmark runs bench/lua/<name>.lua in the lua5.4 interpreter, which measures its
// own time. bench/compare_vm_lua.py turns one run into ratios:
//
//   build/bench/bench_builtins
//   python3 bench/compare_vm_lua.py build/bench/bench_builtins
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "BenchRun.h"
#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Execute.h"
#include "Files/DS/DS_Main.h"
#include "Files/Function/Function_DS.h"

namespace {

constexpr int kMapN = 100000;
constexpr int kListN = 100000;
constexpr int kGridW = 500;
constexpr int kGridRounds = 20;
constexpr int kStringN = 2000;
constexpr int kStringRounds = 100;

CInstance* Setup()
{
    static CInstance* self = nullptr;
    if (self) return self;
    self = Bench_ScriptInstance();
    Function_DS_Init();
    return self;
}

// Compiles the source once and runs it every iteration.
void RunZBL(benchmark::State& state, const std::string& source)
{
    Bench_RunCode(state, Setup(), source);
    DS_Reset();
}

void BM_ZBL_MapSetFind(benchmark::State& state)
{
    RunZBL(state, "var m, i, s; m = ds_map_create(); s = 0;"
                  "for (i = 0; i < " + std::to_string(kMapN) + "; i += 1) ds_map_add(m, 'key' + string(i), i);"
                  "for (i = 0; i < " + std::to_string(kMapN) + "; i += 1) s += ds_map_find_value(m, 'key' + string(i));"
                  "ds_map_destroy(m); return s;");
}

void BM_ZBL_ListAddSort(benchmark::State& state)
{
    RunZBL(state, "var l, i; l = ds_list_create();"
                  "for (i = 0; i < " + std::to_string(kListN) + "; i += 1) ds_list_add(l, random(1000000));"
                  "ds_list_sort(l, 1); ds_list_destroy(l);");
}

// A list of names and scores side by side, as a game keeps a table: strings and reals mixed.
void BM_ZBL_ListSortMixedKinds(benchmark::State& state)
{
    RunZBL(state, "var l, i; l = ds_list_create();"
                  "for (i = 0; i < " + std::to_string(kListN) + "; i += 1) {"
                  " ds_list_add(l, 'name' + string(irandom(99999))); ds_list_add(l, random(1000000)); }"
                  "ds_list_sort(l, 1); ds_list_sort(l, 0); ds_list_destroy(l);");
}

void BM_ZBL_GridRegions(benchmark::State& state)
{
    int a = kGridW / 5, b = 4 * kGridW / 5 - 1;
    RunZBL(state, "var g, r, s; g = ds_grid_create(" + std::to_string(kGridW) + ", " + std::to_string(kGridW) + "); s = 0;"
                  "for (r = 0; r < " + std::to_string(kGridRounds) + "; r += 1) {"
                  "ds_grid_add_region(g, 0, 0, " + std::to_string(kGridW - 1) + ", " + std::to_string(kGridW - 1) + ", 1);"
                  "s += ds_grid_get_sum(g, " + std::to_string(a) + ", " + std::to_string(a) + ", " + std::to_string(b) +
                      ", " + std::to_string(b) + "); }"
                  "ds_grid_destroy(g); return s;");
}

void BM_ZBL_Strings(benchmark::State& state)
{
    RunZBL(state, "var s, r, t, p, c, u, d, total; s = string_repeat('hello world ', " + std::to_string(kStringN) + ");"
                  "p = 0; c = 0; total = 0;"
                  "for (r = 0; r < " + std::to_string(kStringRounds) + "; r += 1) {"
                  "t = string_replace_all(s, 'world', 'there'); p += string_pos('there', t);"
                  "u = string_upper(t); c += string_count('o', t); d = string_copy(t, 100, 50);"
                  "total += string_length(u) + string_length(d); }"
                  "return p + c + total;");
}

// ---- Lua 5.4 ----

void RunLua(benchmark::State& state, const char* script, const std::string& args)
{
    std::string dir = std::filesystem::path(__FILE__).parent_path().string() + "/lua/";
    std::string cmd = "lua5.4 " + dir + script + " " + args;
    for (auto _ : state) {
        FILE* p = popen(cmd.c_str(), "r");
        double seconds = -1;
        if (p) {
            if (std::fscanf(p, "%lf", &seconds) != 1) seconds = -1;
            pclose(p);
        }
        if (seconds < 0) {
            state.SkipWithError("lua5.4 did not run");
            break;
        }
        state.SetIterationTime(seconds);
    }
}

void BM_Lua_MapSetFind(benchmark::State& s) { RunLua(s, "ds_map.lua", std::to_string(kMapN)); }
void BM_Lua_ListAddSort(benchmark::State& s) { RunLua(s, "ds_list.lua", std::to_string(kListN)); }
void BM_Lua_GridRegions(benchmark::State& s)
{
    RunLua(s, "ds_grid.lua", std::to_string(kGridW) + " " + std::to_string(kGridRounds));
}
void BM_Lua_Strings(benchmark::State& s)
{
    RunLua(s, "ds_strings.lua", std::to_string(kStringN) + " " + std::to_string(kStringRounds));
}

} // namespace

BENCHMARK(BM_ZBL_MapSetFind)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lua_MapSetFind)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK(BM_ZBL_ListAddSort)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lua_ListAddSort)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK(BM_ZBL_ListSortMixedKinds)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZBL_GridRegions)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lua_GridRegions)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK(BM_ZBL_Strings)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lua_Strings)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

BENCHMARK_MAIN();
