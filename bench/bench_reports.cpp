// One run-time error report made deep in a script whose one line is long: a script calls
// itself 300 deep and a built-in then reports an ignorable error, so the report names the
// innermost place and 300 calls, every one of them on that line. The line holds the code and
// a comment of 1 MB (or 100 KB, or an empty one), the comment after the code ("code_first")
// or before it ("comment_first": every place lies 1 MB into the line). Under both executors. A report
// whose cost grows with the line, once per call frame, shows as seconds at 1 MB; one that
// costs what it prints stays at milliseconds whatever the line.
//
// BM_ReportLongName: under the tree interpreter a script calls itself 380 deep and the
// innermost reads a variable that was never set, whose name is 1, 5 or 20 MiB long (0: the
// name "v"). The one report prints about 35 KB (the headline's limit) whatever the name; a
// report that copies the message once per script level grows with the name.
//
//   build/bench/bench_reports
//   build/bench/bench_reports --benchmark_filter='Machine/code_first'
//   build/bench/bench_reports --benchmark_filter=LongName
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "BenchScript.h"
#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Execute.h"
#include "Files/Code/Code_Function.h"
#include "Files/Script/Script_Main.h"
#include "Files/Support/CommandLine.h"

namespace {

class Quiet : public tagIConsole {
public:
    bool Query(int, int) override { return true; }
    void Output(const char*, ...) override {}
};
Quiet g_quiet;

void Fail(ScriptValue* result, CInstance*, CInstance*, int32_t, ScriptValue*)
{
    *result = Value_Real(0.0);
    Code_Error_Report("Data structure with index does not exist.", false);
}

constexpr const char* kCode = "if (argument0 < 300) return scr_deep(argument0 + 1); return bench_fail(); ";

// Runs "NAME(0)" over and over, NAME being a script of the given text, under the machine or the
// tree interpreter; each run ends in the error report that the script's deepest level makes.
void RunFailingScript(benchmark::State& state, const char* name, const std::string& text, bool machine)
{
    CInstance* self = Bench_ScriptInstance();
    g_StartupOptions.byteCodeInterpreter = machine ? 1 : 0;
    Script_Free();
    CScript* s = Script_Data(Script_Add(name, text.c_str(), -1));
    s->m_pCode = new CCode(s->GetText(), false);
    static std::string call, unit; // a unit keeps pointers to its text and its name
    call = std::string(name) + "(0)";
    unit = "Script." + std::string(name);
    auto entry = std::make_unique<CCode>(call.c_str(), false);
    if (!s->m_pCode->Compile(unit.c_str()) || !entry->Compile("entry")) {
        state.SkipWithError("does not compile");
        g_StartupOptions.byteCodeInterpreter = 1;
        return;
    }
    Console_Set(&g_quiet);
    for (auto _ : state) {
        ScriptValue result = Value_Real(0.0);
        Code_Execute(self, self, entry.get(), &result);
        Value_FreeString(&result);
    }
    Console_Set(nullptr);
    entry.reset();
    Script_Free();
    g_StartupOptions.byteCodeInterpreter = 1;
}

void BM_Report(benchmark::State& state, bool machine, bool commentFirst)
{
    const std::string comment = "/*" + std::string(size_t(state.range(0)) * 1024, 'c') + "*/ ";
    static std::string text; // the script keeps a pointer to its text
    text = commentFirst ? comment + kCode : kCode + ("//" + comment);
    RunFailingScript(state, "scr_deep", text, machine);
}

constexpr int32_t kLongNameLevels = 380;

void BM_ReportLongName(benchmark::State& state)
{
    static std::string text;
    text = "if (argument0 < " + std::to_string(kLongNameLevels - 1) + ") return scr_long(argument0 + 1); return v" +
           std::string(size_t(state.range(0)) << 20, 'n') + "; ";
    RunFailingScript(state, "scr_long", text, false);
}

} // namespace

int main(int argc, char** argv)
{
    Bench_ScriptInstance();
    Function_Add("bench_fail", Fail, 0);
    for (int machine = 1; machine >= 0; --machine) {
        for (bool commentFirst : {false, true}) {
            const std::string name = std::string("BM_Report/") + (machine ? "Machine/" : "Tree/") +
                                     (commentFirst ? "comment_first" : "code_first") + "/KiB";
            benchmark::RegisterBenchmark(name.c_str(), BM_Report, machine != 0, commentFirst)
                ->Unit(benchmark::kMillisecond)
                ->Arg(0)
                ->Arg(100)
                ->Arg(1024);
        }
    }
    benchmark::RegisterBenchmark("BM_ReportLongName/Tree/MiB", BM_ReportLongName)
        ->Unit(benchmark::kMillisecond)
        ->Arg(0)
        ->Arg(1)
        ->Arg(5)
        ->Arg(20);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
