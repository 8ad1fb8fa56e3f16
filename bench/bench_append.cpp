// Building a string by appending a computed text, n times, in both executors: the time of a
// whole run at 10,000, 30,000, 100,000 and 300,000 appends. Each form appends
// string(i) + "abcdefghi" to a string held by a different kind of variable: a `var` local, an
// instance variable, a global, an element of an instance array, `s = s + x` on an instance
// variable (x computed first), `s = s + string(i) + "abcdefghi"` (a sum that goes on), another
// instance's variable through its id, through its object and through `global.o.t`, an element
// of a two-dimensional array, an element of a `var` local's array; and `s = s + string(i) +
// string(i)` (a sum that goes on with computed operands). Appends that cost the whole string
// each time show as a time that grows with the square of n; in place they grow with n.
//
//   build/bench/bench_append
//   build/bench/bench_append --benchmark_filter='Machine/local'
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "BenchScript.h"
#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Execute.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/Variable_List.h"
#include "Files/Support/CommandLine.h"

namespace {

struct Form {
    const char* name;
    const char* code; // $N: the count of appends; leaves the length in global.result
};

const Form kForms[] = {
    {"local", "var s, i; s = ''; for (i = 0; i < $N; i += 1) s += string(i) + 'abcdefghi'; "
              "global.result = string_length(s)"},
    {"instance", "var i; t = ''; for (i = 0; i < $N; i += 1) t += string(i) + 'abcdefghi'; "
                 "global.result = string_length(t)"},
    {"global", "var i; global.g = ''; for (i = 0; i < $N; i += 1) global.g += string(i) + 'abcdefghi'; "
               "global.result = string_length(global.g)"},
    {"element", "var i; a[3] = ''; for (i = 0; i < $N; i += 1) a[3] += string(i) + 'abcdefghi'; "
                "global.result = string_length(a[3])"},
    {"assign", "var i, x; t = ''; for (i = 0; i < $N; i += 1) { x = string(i) + 'abcdefghi'; t = t + x } "
               "global.result = string_length(t)"},
    {"chain", "var i; t = ''; for (i = 0; i < $N; i += 1) t = t + string(i) + 'abcdefghi'; "
              "global.result = string_length(t)"},
    {"instance_id", "var i; o = 100002; o.t = ''; for (i = 0; i < $N; i += 1) o.t += string(i) + 'abcdefghi'; "
                    "global.result = string_length(o.t)"},
    {"object", "var i; (0).t = ''; for (i = 0; i < $N; i += 1) (0).t += string(i) + 'abcdefghi'; "
               "global.result = string_length((0).t)"},
    {"global_o", "var i; global.o = 100002; global.o.t = ''; for (i = 0; i < $N; i += 1) global.o.t += string(i) + 'abcdefghi'; "
                 "global.result = string_length(global.o.t)"},
    {"element_2d", "var i; a[2, 5] = ''; for (i = 0; i < $N; i += 1) a[2, 5] = a[2, 5] + string(i) + 'abcdefghi'; "
                   "global.result = string_length(a[2, 5])"},
    {"local_array", "var i, la; la[3] = ''; for (i = 0; i < $N; i += 1) la[3] += string(i) + 'abcdefghi'; "
                    "global.result = string_length(la[3])"},
    {"computed", "var i; t = ''; for (i = 0; i < $N; i += 1) t = t + string(i) + string(i); "
                 "global.result = string_length(t)"},
};

std::string WithCount(std::string text, long long n)
{
    for (size_t at; (at = text.find("$N")) != std::string::npos;) text.replace(at, 2, std::to_string(n));
    return text;
}

void BM_Append(benchmark::State& state, const Form* form, bool machine)
{
    CInstance* self = Bench_ScriptInstance();
    const long long n = state.range(0);
    std::string text = WithCount(form->code, n);
    g_StartupOptions.byteCodeInterpreter = machine ? 1 : 0;
    auto code = std::make_unique<CCode>(text.c_str(), false);
    if (!code->Compile(form->name)) {
        state.SkipWithError("does not compile");
        g_StartupOptions.byteCodeInterpreter = 1;
        return;
    }
    double length = 0;
    for (auto _ : state) {
        self->GetVariables()->Clear();
        ScriptValue result = Value_Real(0.0);
        Code_Execute(self, self, code.get(), &result);
        Value_FreeString(&result);
        ScriptValue r = Value_Real(0.0);
        Variable_Global_Get(Code_Variable_Find("result"), 0, &r);
        length = r.real;
        Value_FreeString(&r);
    }
    g_StartupOptions.byteCodeInterpreter = 1;
    self->GetVariables()->Clear();
    Variable_Global_List()->Clear();
    state.counters["length"] = length;
    state.counters["ns/append"] =
        benchmark::Counter(double(n) * double(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

} // namespace

int main(int argc, char** argv)
{
    // Another instance (id 100002, the one instance of object 0) for the forms that reach it.
    Bench_ScriptInstance();
    while (!Object_Lookup(0)) Object_Add();
    InstanceHash_Add(new CInstance(0, 0, 100002, 0, true));
    for (int machine = 1; machine >= 0; --machine) {
        for (const Form& f : kForms) {
            std::string name = std::string(machine ? "BM_Append/Machine/" : "BM_Append/Tree/") + f.name;
            benchmark::RegisterBenchmark(name.c_str(), BM_Append, &f, machine != 0)
                ->Unit(benchmark::kMillisecond)
                ->Arg(10000)
                ->Arg(30000)
                ->Arg(100000)
                ->Arg(300000);
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
