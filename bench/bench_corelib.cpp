// The file and date built-ins on the work games give them: a save file of 10,000 lines read
// line by line, 64 KB read byte by byte from a binary file, 10,000 lines written, a folder of
// 1,000 files searched by pattern, 1,000 file_exists of files in the save area (each enters the
// area: its held folder checked against its path), and the local parts and text of 10,000 dates. Built-ins are
// called directly, as the virtual machine calls them.
//
//   build/bench/bench_corelib
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Files/Base/Value.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Function.h"
#include "Files/Function/Function_Date.h"
#include "Files/Function/Function_File.h"
#include "Files/Function/Function_Misc.h"
#include "Files/Support/File.h"
#include "Files/Support/LoadSave.h"

namespace {

std::string g_folder;

void Setup()
{
    if (!g_folder.empty()) return;
    Code_Error_SetShowErrors(false);
    Function_File_Init();
    Function_Misc_Init(false);
    char pattern[] = "/tmp/zb_bench_corelib_XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    g_folder = pattern;
    if (chdir(g_folder.c_str()) != 0) std::abort();
    LoadSave_SetFolders(g_folder.c_str(), g_folder.c_str(), g_folder.c_str());
    std::string lines;
    for (int i = 0; i < 10000; i++) lines += "level " + std::to_string(i) + " score " + std::to_string(i * 37) + "\r\n";
    File_WriteAll((g_folder + "/save.txt").c_str(), lines.data(), int64_t(lines.size()));
    std::string bytes(65536, 'b');
    File_WriteAll((g_folder + "/data.bin").c_str(), bytes.data(), int64_t(bytes.size()));
    File_CreateDirectory((g_folder + "/many").c_str());
    for (int i = 0; i < 1000; i++) {
        std::string name = g_folder + "/many/file" + std::to_string(i) + (i % 2 ? ".sav" : ".txt");
        File_WriteAll(name.c_str(), "x", 1);
    }
}

BuiltinRoutine Routine(const char* name)
{
    int32_t id = -1;
    if (!Code_Function_Find(name, &id)) std::abort();
    return Function_Get(id)->f;
}

double Call(BuiltinRoutine f, std::initializer_list<ScriptValue> args, bool keepText = false, std::string* text = nullptr)
{
    std::vector<ScriptValue> a(args);
    ScriptValue r = Value_Real(0.0);
    f(&r, nullptr, nullptr, int32_t(a.size()), a.data());
    if (keepText && text) *text = Value_Text(&r);
    double real = r.real;
    Value_FreeString(&r);
    return real;
}

ScriptValue S(const char* text) { return ScriptValue{VALUE_STRING, const_cast<char*>(text), 0.0}; }

void BM_TextReadLines(benchmark::State& state)
{
    Setup();
    auto open = Routine("file_text_open_read"), readString = Routine("file_text_read_string"),
         readln = Routine("file_text_readln"), eof = Routine("file_text_eof"), close = Routine("file_text_close");
    int64_t lines = 0;
    for (auto _ : state) {
        double h = Call(open, {S("save.txt")});
        ScriptValue hv = Value_Real(h);
        while (Call(eof, {hv}) == 0) {
            Call(readString, {hv});
            Call(readln, {hv});
            lines++;
        }
        Call(close, {hv});
    }
    state.SetItemsProcessed(lines);
}
BENCHMARK(BM_TextReadLines)->Unit(benchmark::kMillisecond);

void BM_BinaryReadBytes(benchmark::State& state)
{
    Setup();
    auto open = Routine("file_bin_open"), read = Routine("file_bin_read_byte"), close = Routine("file_bin_close");
    int64_t bytes = 0;
    for (auto _ : state) {
        ScriptValue h = Value_Real(Call(open, {S("data.bin"), Value_Real(0)}));
        for (int i = 0; i < 65536; i++) Call(read, {h});
        Call(close, {h});
        bytes += 65536;
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_BinaryReadBytes)->Unit(benchmark::kMillisecond);

void BM_TextWriteLines(benchmark::State& state)
{
    Setup();
    auto open = Routine("file_text_open_write"), write = Routine("file_text_write_string"),
         writeReal = Routine("file_text_write_real"), writeln = Routine("file_text_writeln"),
         close = Routine("file_text_close");
    int64_t lines = 0;
    for (auto _ : state) {
        ScriptValue h = Value_Real(Call(open, {S("out.txt")}));
        for (int i = 0; i < 10000; i++) {
            Call(write, {h, S("score ")});
            Call(writeReal, {h, Value_Real(i * 1.5)});
            Call(writeln, {h});
        }
        Call(close, {h});
        lines += 10000;
    }
    state.SetItemsProcessed(lines);
}
BENCHMARK(BM_TextWriteLines)->Unit(benchmark::kMillisecond);

void BM_FindInAFolderOf1000(benchmark::State& state)
{
    Setup();
    auto first = Routine("file_find_first"), next = Routine("file_find_next"), close = Routine("file_find_close");
    for (auto _ : state) {
        std::string name;
        int found = 0;
        Call(first, {S("many/*.sav"), Value_Real(0)}, true, &name);
        while (!name.empty()) {
            found++;
            Call(next, {}, true, &name);
        }
        Call(close, {});
        if (found != 500) std::abort();
    }
}
BENCHMARK(BM_FindInAFolderOf1000)->Unit(benchmark::kMillisecond);

void BM_FileExistsInTheSaveArea(benchmark::State& state)
{
    Setup();
    auto exists = Routine("file_exists");
    std::vector<std::string> names;
    for (int i = 1; i < 2000; i += 2) names.push_back("many/file" + std::to_string(i % 1000) + ".sav");
    int64_t calls = 0;
    for (auto _ : state) {
        int found = 0;
        for (const std::string& name : names) found += Call(exists, {S(name.c_str())}) != 0;
        if (found != 1000) std::abort(); // each there (a missing name is looked for ignoring case)
        calls += int64_t(names.size());
    }
    state.SetItemsProcessed(calls);
}
BENCHMARK(BM_FileExistsInTheSaveArea)->Unit(benchmark::kMillisecond);

void BM_DatePartsAndText(benchmark::State& state)
{
    Setup();
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    auto year = Routine("date_get_year"), hour = Routine("date_get_hour"), dayOfYear = Routine("date_get_day_of_year"),
         text = Routine("date_datetime_string"), inc = Routine("date_inc_month");
    int64_t dates = 0;
    for (auto _ : state) {
        for (int i = 0; i < 10000; i++) {
            ScriptValue v = Value_Real(Date_FromSeconds(int64_t(i) * 86399 * 3));
            Call(year, {v});
            Call(hour, {v});
            Call(dayOfYear, {v});
            Call(text, {v});
            Call(inc, {v, Value_Real(1)});
        }
        dates += 10000;
    }
    state.SetItemsProcessed(dates);
}
BENCHMARK(BM_DatePartsAndText)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
