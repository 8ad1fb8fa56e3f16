// Hot foundation services: the instance table (Hash) by id, CRC-32 of map keys, UTF-8 length,
// the random generator, one line of the log (to a plain file, to /dev/null and the "-output"
// file, to a pipe).
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "Files/Base/CRC32.h"
#include "Files/Base/Console.h"
#include "Files/Base/Random.h"
#include "Files/Base/Utf8.h"
#include "Platform/Hash.h"

namespace {

struct Item {
    int32_t id;
};

void BM_HashFindInstance(benchmark::State& state)
{
    const int32_t n = int32_t(state.range(0));
    Hash<Item> table(512);
    std::vector<Item> items(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
        items[size_t(i)].id = 100000 + i;
        table.Insert(uint32_t(100000 + i), &items[size_t(i)]);
    }
    uint32_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(table.Find(uint32_t(100000 + int32_t(k % uint32_t(n)))));
        k += 7;
    }
    table.Clear(CONTAINER_KEEP);
}
BENCHMARK(BM_HashFindInstance)->Arg(100)->Arg(2000)->Arg(20000);

void BM_HashInsertDelete(benchmark::State& state)
{
    Hash<Item> table(512);
    Item item{0};
    uint32_t k = 0;
    for (auto _ : state) {
        table.Insert(k, &item);
        table.Delete(k, CONTAINER_KEEP);
        ++k;
    }
}
BENCHMARK(BM_HashInsertDelete);

void BM_CRC32String(benchmark::State& state)
{
    std::string key(static_cast<size_t>(state.range(0)), 'k');
    for (auto _ : state) benchmark::DoNotOptimize(CRC32_String(key.c_str()));
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_CRC32String)->Arg(16)->Arg(1024);

void BM_Utf8Length(benchmark::State& state)
{
    std::string text;
    while (text.size() < 1024) text += "abc \xC3\xA9\xE2\x82\xAC ";
    for (auto _ : state) benchmark::DoNotOptimize(Utf8_Length(text.c_str()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_Utf8Length);

void BM_NextRandom(benchmark::State& state)
{
    Random_SetSeed(1);
    for (auto _ : state) benchmark::DoNotOptimize(NextRandom());
}
BENCHMARK(BM_NextRandom);

} // namespace

// One log line as show_debug_message writes it, with the log going to each kind of output
// (the benchmark's argument): 0 the standard output a plain file; 1 the standard output
// /dev/null and "-output" a plain file; 2 the standard output a pipe that a thread empties.
struct LogTarget {
    explicit LogTarget(int kind)
        : saved(dup(1)), path("/tmp/zb_bench_log_" + std::to_string(getpid())), stdoutPath(path + ".out")
    {
        std::fflush(stdout);
        int target = -1;
        if (kind == 0) target = open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (kind == 1) target = open("/dev/null", O_WRONLY);
        if (kind == 2) {
            int ends[2];
            if (pipe(ends) == 0) {
                target = ends[1];
                reader = std::thread([fd = ends[0]] {
                    char buffer[65536];
                    while (read(fd, buffer, sizeof buffer) > 0) {
                    }
                    close(fd);
                });
            }
        }
        dup2(target, 1);
        close(target);
        Console_StandardOutputsMoved();
        if (kind == 1) Console_SetOutputFile(false, path.c_str());
    }
    ~LogTarget()
    {
        Console_SetOutputFile(false, nullptr);
        std::fflush(stdout);
        dup2(saved, 1); // the pipe's last writer gone: its reader ends
        close(saved);
        Console_StandardOutputsMoved();
        if (reader.joinable()) reader.join();
        std::remove(path.c_str());
        std::remove(stdoutPath.c_str());
    }
    int saved;
    std::string path, stdoutPath;
    std::thread reader;
};

void BM_LogLine(benchmark::State& state)
{
    LogTarget target(int(state.range(0)));
    int64_t n = 0;
    for (auto _ : state) Console_Release()->Output("step %d: x = %d, y = %d, hp = %s\n", int(++n), 120, 64, "full");
}
BENCHMARK(BM_LogLine)->Arg(0)->Arg(1)->Arg(2);

// The same line written the way the log wrote it through stdio: printed and flushed, then cut
// into a buffer and appended to a file kept open and flushed (the baseline of BM_LogLine).
void StdioLine(FILE* file, const char* format, ...)
{
    va_list a, b;
    va_start(a, format);
    va_copy(b, a);
    std::vfprintf(stdout, format, a);
    char buffer[4096];
    const int len = std::vsnprintf(buffer, sizeof buffer, format, b);
    if (file) {
        std::fwrite(buffer, 1, size_t(len), file);
        std::fflush(file);
    }
    std::fflush(stdout);
    va_end(b);
    va_end(a);
}

void BM_LogLineStdio(benchmark::State& state)
{
    const int kind = int(state.range(0));
    LogTarget target(kind == 1 ? 0 : kind); // the console's own file stays shut
    FILE* file = kind == 1 ? std::fopen(target.path.c_str(), "a+") : nullptr;
    if (kind == 1) { // the standard output /dev/null, as for BM_LogLine/1
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        close(null);
    }
    int64_t n = 0;
    for (auto _ : state) StdioLine(file, "step %d: x = %d, y = %d, hp = %s\n", int(++n), 120, 64, "full");
    if (file) std::fclose(file);
}
BENCHMARK(BM_LogLineStdio)->Arg(0)->Arg(1)->Arg(2);

BENCHMARK_MAIN();
