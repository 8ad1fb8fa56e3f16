// The virtual machine beside Lua 5.4 on the same algorithms. Each ZBL benchmark compiles its
// ZBL source with the runner's compiler and runs the byte code; each Lua benchmark runs
// bench/lua/<name>.lua in the lua5.4 interpreter, which measures its own time (interpreter
// start-up excluded). bench/compare_vm_lua.py turns one run into ratios.
//
//   build/bench/bench_vm                      (both sides)
//   python3 bench/compare_vm_lua.py build/bench/bench_vm
#include <benchmark/benchmark.h>

#include <cstdio>
#include <deque>
#include <filesystem>
#include <string>

#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Compile.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/VM.h"
#include "Files/Code/VM_Assembler.h"
#include "Files/Code/VM_Format.h"
#include "Files/Object/Object.h"
#include "Files/Object/Instance.h"
#include "Files/Script/Script_Main.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Code/Variable_List.h"
#include "Platform/MemoryManager.h"

namespace {

constexpr int kLoopN = 2000000;
constexpr int kFibN = 25;
constexpr int kStringN = 20000;
constexpr int kArrayN = 30000;
constexpr int kArrayRounds = 20;
constexpr int kInstanceN = 1000000;

void Setup()
{
    static bool done = false;
    if (done) return;
    done = true;
    Object_InitHash();
    Variable_BuiltIn_Init();
    Variable_BuiltIn_RegisterArguments();
    Variable_Global_Init();
    VM_Init();
    Code_Compiler_Init();
}

double RunUnit(VMBuffer* code, CInstance* self)
{
    ScriptValue result = Value_Real(0.0);
    VM_Execute("bench", self, self, code, &result, nullptr, "");
    double r = result.real;
    Value_FreeString(&result);
    return r;
}

// ---- ZBL ----
// Each unit is compiled from its ZBL source by the runner's own compiler.

CCode* Compile(const std::string& source)
{
    static std::deque<std::string> texts; // a unit keeps a pointer to its text
    texts.push_back(source);
    auto* code = new CCode(texts.back().c_str(), false);
    if (!code->Compile("bench") || !code->m_pCode) {
        std::fprintf(stderr, "compile failed: %s\n", Code_Error_GetText() ? Code_Error_GetText() : "");
        std::abort();
    }
    return code;
}

void RunZBL(benchmark::State& state, const std::string& source, CInstance* self = nullptr)
{
    Setup();
    CCode* code = Compile(source);
    for (auto _ : state) benchmark::DoNotOptimize(RunUnit(code->m_pCode, self));
    delete code;
}

void BM_ZBL_Loop(benchmark::State& state)
{
    RunZBL(state, "var i, s; s = 0; for (i = 0; i < " + std::to_string(kLoopN) +
                      "; i += 1) s = s + i * 2 - (i mod 7); return s;");
}

void BM_ZBL_Fib(benchmark::State& state)
{
    Setup();
    if (Script_Find("fib") < 0) {
        int32_t index = Script_Add("fib", "if (argument0 < 2) return argument0; "
                                          "return fib(argument0 - 1) + fib(argument0 - 2);", -1);
        CScript* s = Script_Data(index);
        s->m_pCode = Compile(s->GetText());
    }
    RunZBL(state, "return fib(" + std::to_string(kFibN) + ");");
}

void BM_ZBL_Strings(benchmark::State& state)
{
    RunZBL(state, "var s, i; s = \"\"; for (i = 0; i < " + std::to_string(kStringN) + "; i += 1) s = s + \"x\";");
}

void BM_ZBL_Arrays(benchmark::State& state)
{
    std::string n = std::to_string(kArrayN);
    RunZBL(state, "var a, i, s; for (i = 0; i < " + n + "; i += 1) a[i] = i; s = 0; for (i = 0; i < " + n +
                      "; i += 1) s += a[i]; return s;");
}

void BM_ZBL_Instance(benchmark::State& state)
{
    CInstance self(0, 0, 100001, -1, false);
    RunZBL(state, "var i; hp = 0; for (i = 0; i < " + std::to_string(kInstanceN) + "; i += 1) { hp = hp + i; mp = hp - 1; }",
           &self);
}

// ---- Lua 5.4 ----

void RunLua(benchmark::State& state, const char* script, const std::string& args, int rounds)
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
        state.SetIterationTime(seconds / rounds);
    }
}

void BM_Lua_Loop(benchmark::State& s) { RunLua(s, "loop.lua", std::to_string(kLoopN), 1); }
void BM_Lua_Fib(benchmark::State& s) { RunLua(s, "fib.lua", std::to_string(kFibN), 1); }
void BM_Lua_Strings(benchmark::State& s) { RunLua(s, "strings.lua", std::to_string(kStringN), 1); }
void BM_Lua_Arrays(benchmark::State& s)
{
    RunLua(s, "arrays.lua", std::to_string(kArrayN) + " " + std::to_string(kArrayRounds), kArrayRounds);
}
void BM_Lua_Instance(benchmark::State& s) { RunLua(s, "instance.lua", std::to_string(kInstanceN), 1); }

} // namespace

BENCHMARK(BM_ZBL_Loop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lua_Loop)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK(BM_ZBL_Fib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lua_Fib)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK(BM_ZBL_Strings)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lua_Strings)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK(BM_ZBL_Arrays)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lua_Arrays)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK(BM_ZBL_Instance)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lua_Instance)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

BENCHMARK_MAIN();
