// Names at scale: variable_global_set and variable_local_set with names never seen before (each
// makes a variable name and a variable), at 10,000 and 100,000 in one run of a loop: the time
// per name must not grow with the count, so the second figure stays near ten times the first.
// And finding objects by name (a hit and a miss) with 400 and with 2,000 objects in the table.
// And execute_string of one text 10,000 times in a loop (the text names an object), which
// compiles the text once and reuses it while no name changes.
//
//   build/bench/bench_names
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "BenchRun.h"
#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Execute.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Function/Function_Misc.h"

namespace {

CInstance* Setup()
{
    static CInstance* self = nullptr;
    if (self) return self;
    self = Bench_ScriptInstance();
    Function_Misc_Init();
    return self;
}

// Runs `count` sets of new names in one loop, from an empty table of variable names (as a game
// that makes them all from its start).
void SetNewNames(benchmark::State& state, const char* function)
{
    Setup();
    static std::string text;
    for (auto _ : state) {
        state.PauseTiming();
        text = "var i; for (i = 0; i < " + std::to_string(state.range(0)) + "; i += 1) " + function +
               "('name_' + string(i), i);";
        Code_Variable_Free();
        auto code = std::make_unique<CCode>(text.c_str(), false);
        if (!code->Compile("bench")) {
            state.SkipWithError("the benchmark does not compile");
            return;
        }
        Variable_Global_Init(); // a fresh global scope
        auto* self = new CInstance(0, 0, 100002, -1, false); // a fresh local scope
        state.ResumeTiming();
        ScriptValue result = Value_Real(0.0);
        Code_Execute(self, self, code.get(), &result);
        state.PauseTiming();
        delete self;
        state.ResumeTiming();
    }
    state.counters["per_name_ns"] =
        benchmark::Counter(double(state.range(0)) * double(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_VariableGlobalSetNewNames(benchmark::State& state) { SetNewNames(state, "variable_global_set"); }
void BM_VariableLocalSetNewNames(benchmark::State& state) { SetNewNames(state, "variable_local_set"); }
BENCHMARK(BM_VariableGlobalSetNewNames)->Arg(10000)->Arg(100000)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VariableLocalSetNewNames)->Arg(10000)->Arg(100000)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_ObjectFind(benchmark::State& state)
{
    Setup();
    Object_InitHash();
    for (int64_t i = 0; i < state.range(0); ++i) Object_Lookup(Object_Add())->SetName(("obj_" + std::to_string(i)).c_str());
    const std::string hit = "obj_" + std::to_string(state.range(0) - 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(Object_Find(hit.c_str()));
        benchmark::DoNotOptimize(Object_Find("field_123"));
    }
    Object_InitHash();
}
BENCHMARK(BM_ObjectFind)->Arg(400)->Arg(2000);

void BM_ExecuteStringRepeated(benchmark::State& state)
{
    CInstance* self = Setup();
    Object_InitHash();
    for (int32_t i = 0; i < 400; ++i) Object_Lookup(Object_Add())->SetName(("obj_" + std::to_string(i)).c_str());
    Bench_RunCode(state, self,
                  "var i, s; s = 0; for (i = 0; i < 10000; i += 1) s += execute_string('return obj_7 + argument0', i);"
                  "return s;");
    state.counters["per_call_ns"] = benchmark::Counter(10000.0 * double(state.iterations()),
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    Object_InitHash();
}
BENCHMARK(BM_ExecuteStringRepeated)->Unit(benchmark::kMillisecond);

} // namespace
BENCHMARK_MAIN();
