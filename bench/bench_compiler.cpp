// Compile speed of the ZBL compiler on a large generated script (lines per second), with
// tables the size of a real game's: about 1,700 built-in functions, 200 scripts, 300
// built-in variables and the built-in constants. Separate figures for the phases up to the
// checked tree and for the whole compile with byte code.
#include <benchmark/benchmark.h>

#include <string>

#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Compile.h"
#include "Files/Code/Code_Constant.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Script/Script_Main.h"
#include "Files/Support/CommandLine.h"

namespace {

void Nop(ScriptValue*, CInstance*, CInstance*, int32_t, ScriptValue*) {}
bool Get(CInstance*, int32_t, ScriptValue*) { return true; }

void Setup()
{
    static bool done = false;
    if (done) return;
    done = true;
    Code_Compiler_Init();
    Code_Constant_Init();
    Variable_BuiltIn_Init();
    for (int i = 0; i < 300; ++i) RegisterBuiltinVariable(("builtin_var_" + std::to_string(i)).c_str(), Get, nullptr, false);
    Variable_Global_Init();
    for (int i = 0; i < 1700; ++i) Function_Add(("builtin_function_" + std::to_string(i)).c_str(), Nop, -1);
    Function_Add("draw_text", Nop, 3);
    for (int i = 0; i < 200; ++i) Script_Add(("scr_" + std::to_string(i)).c_str(), "", -1);
}

// lines of typical event code.
std::string Script(int lines)
{
    std::string s;
    for (int i = 0; s.size() < size_t(lines) * 40 && i < lines; ++i) {
        switch (i % 8) {
        case 0: s += "var tmp" + std::to_string(i % 50) + "; tmp" + std::to_string(i % 50) + " = x * 2 + c_red;\n"; break;
        case 1: s += "if (health_" + std::to_string(i % 30) + " > 0 && alive) { score += 10; }\n"; break;
        case 2: s += "draw_text(x + 4, y - 8, 'Score: ' + string_" + std::to_string(i % 20) + ");\n"; break;
        case 3: s += "for (i = 0; i < 10; i += 1) total[i] = builtin_function_1650(i, total[i]);\n"; break;
        case 4: s += "with (other) { speed_" + std::to_string(i % 40) + " = max_speed * 0.5; }\n"; break;
        case 5: s += "switch (state) { case 1: state = 2; break; default: state = scr_150(state); }\n"; break;
        case 6: s += "repeat (3) { builtin_var_250 += vk_left; }\n"; break;
        default: s += "global.counter = global.counter mod 7 + $ff div 3; // a comment\n"; break;
        }
    }
    return s;
}

void BM_CompileTree(benchmark::State& state)
{
    Setup();
    const int lines = int(state.range(0));
    std::string text = Script(lines);
    g_StartupOptions.byteCodeInterpreter = 0;
    for (auto _ : state) {
        CCode code(text.c_str(), false);
        if (!code.Compile("bench")) state.SkipWithError("compile failed");
    }
    g_StartupOptions.byteCodeInterpreter = 1;
    state.counters["lines/s"] = benchmark::Counter(double(lines) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_CompileByteCode(benchmark::State& state)
{
    Setup();
    const int lines = int(state.range(0));
    std::string text = Script(lines);
    g_StartupOptions.byteCodeInterpreter = 1;
    for (auto _ : state) {
        CCode code(text.c_str(), false);
        if (!code.Compile("bench")) state.SkipWithError("compile failed");
    }
    state.counters["lines/s"] = benchmark::Counter(double(lines) * double(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(BM_CompileTree)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompileByteCode)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
