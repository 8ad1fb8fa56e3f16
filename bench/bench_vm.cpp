// The virtual machine beside Lua 5.4 on the same algorithms. Each ZBL benchmark runs byte
// code as the compiler writes it for the ZBL source in its comment; each Lua benchmark runs
// bench/lua/<name>.lua in the lua5.4 interpreter, which measures its own time (interpreter
// start-up excluded). bench/compare_vm_lua.py turns one run into ratios.
//
//   build/bench/bench_vm                      (both sides)
//   python3 bench/compare_vm_lua.py build/bench/bench_vm
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/VM.h"
#include "Files/Code/VM_Assembler.h"
#include "Files/Code/VM_Format.h"
#include "Files/Object/Object.h"
#include "Files/Run/Instance.h"
#include "Files/Script/Script_Main.h"
#include "Files/Variable/Variable_BuiltIn.h"
#include "Files/Variable/Variable_List.h"
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
}

VMBuffer* Build(const std::string& source)
{
    VMBuffer* code = nullptr;
    std::string error;
    if (!VM_Assemble(source.c_str(), &code, nullptr, &error)) {
        std::fprintf(stderr, "assembly failed: %s\n", error.c_str());
        std::abort();
    }
    return code;
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

// var i, s; s = 0; for (i = 0; i < n; i += 1) s = s + i * 2 - (i mod 7); return s
void BM_ZBL_Loop(benchmark::State& state)
{
    Setup();
    VMBuffer* code = Build(R"(
        push.e 0
        pop.v.i local.s
        push.e 0
        pop.v.i local.i
    start:
        push.v local.i
        push.i )" + std::to_string(kLoopN) + R"(
        slt.i.v
        bf end
        push.v local.s
        push.v local.i
        push.e 2
        mul.i.v
        add.v.v
        push.v local.i
        push.e 7
        mod.i.v
        sub.v.v
        pop.v.v local.s
        push.v local.i
        push.e 1
        add.i.v
        pop.v.v local.i
        b start
    end:
        push.v local.s
        ret.v
    )");
    for (auto _ : state) benchmark::DoNotOptimize(RunUnit(code, nullptr));
    delete code;
}

// script fib: if (argument0 < 2) return argument0; return fib(argument0 - 1) + fib(argument0 - 2);
void BM_ZBL_Fib(benchmark::State& state)
{
    Setup();
    if (Script_Find("fib") < 0) {
        int32_t index = Script_Add("fib", "", -1);
        CScript* s = Script_Data(index);
        s->m_pCode = new CCode(s->GetText(), false);
        s->m_pCode->m_compiled = 1;
        s->m_pCode->m_pCode = Build(R"(
            push.v argument0
            push.e 2
            slt.i.v
            bf recurse
            push.v argument0
            ret.v
        recurse:
            push.v argument0
            push.e 2
            sub.i.v
            call.i fib 1
            push.v argument0
            push.e 1
            sub.i.v
            call.i fib 1
            add.v.v
            ret.v
        )");
    }
    VMBuffer* code = Build("push.e " + std::to_string(kFibN) + "\nconv.i.v\ncall.i fib 1\nret.v\n");
    for (auto _ : state) benchmark::DoNotOptimize(RunUnit(code, nullptr));
    delete code;
}

// var s, i; s = ""; for (i = 0; i < n; i += 1) s = s + "x";
void BM_ZBL_Strings(benchmark::State& state)
{
    Setup();
    VMBuffer* code = Build(R"(
        push.s ""
        pop.v.s local.s
        push.e 0
        pop.v.i local.i
    start:
        push.v local.i
        push.i )" + std::to_string(kStringN) + R"(
        slt.i.v
        bf end
        push.v local.s
        push.s "x"
        add.s.v
        pop.v.v local.s
        push.v local.i
        push.e 1
        add.i.v
        pop.v.v local.i
        b start
    end:
    )");
    for (auto _ : state) benchmark::DoNotOptimize(RunUnit(code, nullptr));
    delete code;
}

// var a, i, s; for (i = 0; i < n; i += 1) a[i] = i; s = 0; for (i = 0; i < n; i += 1) s += a[i];
void BM_ZBL_Arrays(benchmark::State& state)
{
    Setup();
    std::string n = std::to_string(kArrayN);
    VMBuffer* code = Build(R"(
        push.e 0
        pop.v.i local.i
    fill:
        push.v local.i
        push.i )" + n + R"(
        slt.i.v
        bf filled
        push.v local.i
        push.e -7
        push.v local.i
        conv.v.i
        pop.v.v stack.a[]
        push.v local.i
        push.e 1
        add.i.v
        pop.v.v local.i
        b fill
    filled:
        push.e 0
        pop.v.i local.s
        push.e 0
        pop.v.i local.i
    read:
        push.v local.i
        push.i )" + n + R"(
        slt.i.v
        bf done
        push.v local.s
        push.e -7
        push.v local.i
        conv.v.i
        push.v stack.a[]
        add.v.v
        pop.v.v local.s
        push.v local.i
        push.e 1
        add.i.v
        pop.v.v local.i
        b read
    done:
        push.v local.s
        ret.v
    )");
    for (auto _ : state) benchmark::DoNotOptimize(RunUnit(code, nullptr));
    delete code;
}

// for (i = 0; i < n; i += 1) { hp = hp + i; mp = hp - 1; }   (hp and mp: the instance's own)
void BM_ZBL_Instance(benchmark::State& state)
{
    Setup();
    CInstance self(0, 0, 100001, -1, false);
    VMBuffer* code = Build(R"(
        push.e 0
        pop.v.i hp
        push.e 0
        pop.v.i local.i
    start:
        push.v local.i
        push.i )" + std::to_string(kInstanceN) + R"(
        slt.i.v
        bf end
        push.v hp
        push.v local.i
        add.v.v
        pop.v.v hp
        push.v hp
        push.e 1
        sub.i.v
        pop.v.v mp
        push.v local.i
        push.e 1
        add.i.v
        pop.v.v local.i
        b start
    end:
    )");
    for (auto _ : state) benchmark::DoNotOptimize(RunUnit(code, &self));
    delete code;
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
