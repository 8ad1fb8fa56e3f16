// The virtual machine beside Lua 5.4 on five small programs, each written the way its own
// users write it. ZBL (bench/vm/<name>.zbl) as games write it: `var` locals, an instance's own
// variables and arrays, a script that calls itself; the code runs for a real instance of the
// runner, compiled by the runner's compiler. Lua (bench/lua/<name>.lua) as a Lua programmer
// writes it: numeric `for`, locals, one table reused, table.concat to build a string; the
// lua5.4 interpreter times itself (start-up excluded). bench/compare_vm_lua.py turns one run
// into ratios (ZBL / Lua).
//
//   build/bench/bench_vm                               (both sides)
//   python3 bench/compare_vm_lua.py build/bench/bench_vm
//   build/bench/bench_vm --once loop [N]               (one run of one ZBL program, for
//                                                       valgrind --tool=callgrind)
//   build/bench/bench_vm --once FILE.zbl N             (the same for a program of one's own)
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "BenchScript.h"
#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Execute.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/Variable_List.h"
#include "Files/Script/Script_Main.h"

namespace {

// The sizes of the comparison: the loop 50 M rounds, 100 passes over a 30,000-element array,
// fib(35), 100,000 appends, 20 M rounds of instance fields.
struct Program {
    const char* name;
    long long n;
    long long p; // passes ($P), arrays only
};
const Program kPrograms[] = {
    {"loop", 50000000, 0}, {"arrays", 30000, 100}, {"fib", 35, 0}, {"strings", 100000, 0}, {"fields", 20000000, 0},
};

std::string Dir() { return std::filesystem::path(__FILE__).parent_path().string(); }

std::string ReadText(const std::string& path)
{
    std::ifstream in(path);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        std::exit(1);
    }
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Replace(std::string text, const std::string& key, long long value)
{
    for (size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), std::to_string(value));
    return text;
}

// The instance the programs run for, with the script fib added once.
CInstance* Setup()
{
    static CInstance* self = nullptr;
    if (self) return self;
    self = Bench_ScriptInstance();
    static std::string fib = ReadText(Dir() + "/vm/fib_script.zbl");
    CScript* s = Script_Data(Script_Add("fib", fib.c_str(), -1));
    s->m_pCode = new CCode(s->GetText(), false);
    if (!s->m_pCode->Compile("fib")) std::abort();
    return self;
}

// The program's unit (its text kept alive beside it).
struct Unit {
    std::string text;
    std::unique_ptr<CCode> code;
};

std::unique_ptr<Unit> Compile(const Program& p, long long n)
{
    auto u = std::make_unique<Unit>();
    std::string path = std::strchr(p.name, '/') ? std::string(p.name) : Dir() + "/vm/" + p.name + ".zbl";
    u->text = Replace(Replace(ReadText(path), "$N", n), "$P", p.p);
    u->code = std::make_unique<CCode>(u->text.c_str(), false);
    if (!u->code->Compile(p.name)) {
        std::fprintf(stderr, "%s does not compile: %s\n", p.name, Code_Error_GetText() ? Code_Error_GetText() : "");
        std::exit(1);
    }
    return u;
}

// One run of a program from nothing, as a Lua run starts: self's variables (its arrays
// included) are made again by the program.
double RunOnce(CInstance* self, Unit& u)
{
    self->GetVariables()->Clear();
    ScriptValue result = Value_Real(0.0);
    Code_Execute(self, self, u.code.get(), &result);
    Value_FreeString(&result);
    ScriptValue r = Value_Real(0.0);
    Variable_Global_Get(Code_Variable_Find("result"), 0, &r);
    double v = r.real;
    Value_FreeString(&r);
    return v;
}

void BM_ZBL(benchmark::State& state, const Program* p)
{
    CInstance* self = Setup();
    auto u = Compile(*p, p->n);
    double result = 0;
    for (auto _ : state) result = RunOnce(self, *u);
    state.counters["result"] = result;
}

void BM_Lua(benchmark::State& state, const Program* p)
{
    std::string cmd = "lua5.4 " + Dir() + "/lua/" + p->name + ".lua " + std::to_string(p->n);
    if (p->p) cmd += " " + std::to_string(p->p);
    double result = 0;
    for (auto _ : state) {
        FILE* pipe = popen(cmd.c_str(), "r");
        double seconds = -1;
        if (pipe) {
            if (std::fscanf(pipe, "%lf %lf", &seconds, &result) != 2) seconds = -1;
            pclose(pipe);
        }
        if (seconds < 0) {
            state.SkipWithError("lua5.4 did not run");
            break;
        }
        state.SetIterationTime(seconds);
    }
    state.counters["result"] = result;
}

// --once NAME [N]: one run of one ZBL program, its result printed.
int RunOnceFromCommandLine(int argc, char** argv)
{
    for (const Program& p : kPrograms) {
        if (std::strcmp(argv[2], p.name) != 0) continue;
        CInstance* self = Setup();
        auto u = Compile(p, argc > 3 ? std::atoll(argv[3]) : p.n);
        std::printf("%s %.17g\n", p.name, RunOnce(self, *u));
        return 0;
    }
    if (std::strchr(argv[2], '/')) {
        Program p{argv[2], argc > 3 ? std::atoll(argv[3]) : 1, argc > 4 ? std::atoll(argv[4]) : 1};
        CInstance* self = Setup();
        auto u = Compile(p, p.n);
        std::printf("%s %.17g\n", p.name, RunOnce(self, *u));
        return 0;
    }
    std::fprintf(stderr, "no program %s\n", argv[2]);
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 2 && std::strcmp(argv[1], "--once") == 0) return RunOnceFromCommandLine(argc, argv);
    for (const Program& p : kPrograms) {
        // Capitalised test names pair the two sides in compare_vm_lua.py.
        std::string test = p.name;
        test[0] = char(test[0] - 'a' + 'A');
        benchmark::RegisterBenchmark(("BM_ZBL_" + test).c_str(), BM_ZBL, &p)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("BM_Lua_" + test).c_str(), BM_Lua, &p)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(3);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
