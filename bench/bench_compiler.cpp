// Compile speed of the ZBL compiler on a large generated script (lines per second), with
// tables the size of a real game's: about 1,700 built-in functions, 200 scripts, 300
// built-in variables and the built-in constants. Separate figures for the phases up to the
// checked tree and for the whole compile with byte code.
//
// A size sweep (BM_CompileSize) shows the time per source byte staying flat as the unit grows,
// and BM_CompileMemory the memory one compile needs at its height per source byte, for typical
// and for dense text: the memory manager's peak above what was in use before, what the
// compiled unit keeps (its tree, byte code and copy of the text), and the growth of the
// process's peak resident size (measured in a child process so that earlier runs' freed
// blocks do not hide it).
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Compile.h"
#include "Files/Code/Code_Constant.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Script/Script_Main.h"
#include "Files/Support/CommandLine.h"
#include "Platform/MemoryManager.h"

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
        case 0:
            // Declarations of one unit are bounded (10,001): the largest units stop declaring.
            if (i < 40000) s += "var tmp" + std::to_string(i % 50) + "; ";
            s += "tmp" + std::to_string(i % 50) + " = x * 2 + c_red;\n";
            break;
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

// A call with a text of its own on every line (each a new entry of the unit's string pool).
std::string Strings(size_t bytes)
{
    std::string s;
    for (int i = 0; s.size() < bytes; ++i) s += "draw_text(x, y, 'line " + std::to_string(i) + "');\n";
    return s;
}

// Whole compiles (byte code) of units of 2,000, 20,000 and 200,000 lines of typical code (the
// text stops at 8 MB): about 0.1, 0.8 and 8 MB; with a second argument of 1 the same sizes of
// lines with distinct strings.
void BM_CompileSize(benchmark::State& state)
{
    Setup();
    std::string text = Script(int(state.range(0)));
    if (state.range(1)) text = Strings(text.size());
    g_StartupOptions.byteCodeInterpreter = 1;
    for (auto _ : state) {
        CCode code(text.c_str(), false);
        if (!code.Compile("bench")) state.SkipWithError("compile failed");
    }
    state.counters["bytes"] = double(text.size());
    state.counters["s/byte"] = benchmark::Counter(double(text.size()), benchmark::Counter::kIsIterationInvariantRate |
                                                                           benchmark::Counter::kInvert);
}

long StatusKilobytes(const char* field)
{
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long value = -1;
    size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, field, n) == 0) {
            value = std::atol(line + n);
            break;
        }
    }
    std::fclose(f);
    return value;
}

// The growth of the peak resident size while text compiles, in a fresh child; -1 when the
// system cannot tell.
double PeakResidentGrowth(const std::string& text)
{
    int fds[2];
    if (pipe(fds) != 0) return -1;
    pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        malloc_trim(0);
        double growth = -1;
        long base = StatusKilobytes("VmRSS:");
        FILE* clear = std::fopen("/proc/self/clear_refs", "w");
        if (clear && std::fputs("5", clear) >= 0 && std::fclose(clear) == 0) {
            clear = nullptr;
            {
                CCode code(text.c_str(), false);
                code.Compile("bench");
            }
            long peak = StatusKilobytes("VmHWM:");
            if (base >= 0 && peak >= 0) growth = double(peak - base) * 1024.0;
        }
        if (clear) std::fclose(clear);
        ssize_t written = write(fds[1], &growth, sizeof growth);
        _exit(written == sizeof growth ? 0 : 1);
    }
    close(fds[1]);
    double growth = -1;
    if (child < 0 || read(fds[0], &growth, sizeof growth) != sizeof growth) growth = -1;
    close(fds[0]);
    if (child > 0) waitpid(child, nullptr, 0);
    return growth;
}

// The densest kind of text: short names, arrays and operators, a token every byte or so.
std::string Dense(size_t bytes)
{
    std::string s;
    while (s.size() < bytes) s += "a[i,j]=b+c*d-e;\nx=1;\n";
    return s;
}

// Arguments: lines of typical code (text of about 0.8 and 8 MB), or with a second argument
// of 1 that many times 40 bytes of dense text.
void BM_CompileMemory(benchmark::State& state)
{
    Setup();
    std::string text = state.range(1) ? Dense(size_t(state.range(0)) * 40) : Script(int(state.range(0)));
    g_StartupOptions.byteCodeInterpreter = 1;
    double managed = 0, kept = 0;
    for (auto _ : state) {
        uint32_t before = MemoryManager::BytesInUse();
        MemoryManager::ResetPeak();
        CCode code(text.c_str(), false);
        if (!code.Compile("bench")) state.SkipWithError("compile failed");
        managed = double(MemoryManager::PeakBytes() - before);
        kept = double(MemoryManager::BytesInUse() - before);
    }
    double resident = PeakResidentGrowth(text);
    state.counters["bytes"] = double(text.size());
    state.counters["managed/byte"] = managed / double(text.size());
    state.counters["kept/byte"] = kept / double(text.size());
    state.counters["resident/byte"] = resident / double(text.size());
}

} // namespace

BENCHMARK(BM_CompileTree)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompileByteCode)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompileSize)->ArgsProduct({{2000, 20000, 200000}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompileMemory)->ArgsProduct({{20000, 200000}, {0, 1}})->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
