// Running a piece of ZBL as a benchmark's measured work. Header only; apart from BenchScript.h
// because the fuzz targets share that one and have no benchmark library.
#pragma once

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Execute.h"
#include "BenchScript.h"

// Compiles source once and runs it for self every iteration (the result freed each time).
inline void Bench_RunCode(benchmark::State& state, CInstance* self, const std::string& source)
{
    static std::string text; // the unit keeps a pointer to its text
    text = source;
    auto code = std::make_unique<CCode>(text.c_str(), false);
    if (!code->Compile("bench")) {
        state.SkipWithError("the benchmark does not compile");
        return;
    }
    for (auto _ : state) {
        ScriptValue result = Value_Real(0.0);
        Code_Execute(self, self, code.get(), &result);
        benchmark::DoNotOptimize(result.real);
        Value_FreeString(&result);
    }
}

