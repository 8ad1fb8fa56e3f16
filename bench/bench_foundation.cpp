// Hot foundation services: the instance table (Hash) by id, CRC-32 of map keys, UTF-8 length,
// the random generator, one line of the log (to the standard output and the "-output" file).
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <string>
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

// One log line as show_debug_message writes it: to the standard output (here /dev/null, a
// device, so the write polls first as for a pipe) and appended to the "-output" file.
struct LogTarget {
    LogTarget() : saved(dup(1)), path("/tmp/zb_bench_log_" + std::to_string(getpid()))
    {
        std::fflush(stdout);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        close(null);
    }
    ~LogTarget()
    {
        dup2(saved, 1);
        close(saved);
        std::remove(path.c_str());
    }
    int saved;
    std::string path;
};

void BM_LogLine(benchmark::State& state)
{
    LogTarget target;
    Console_SetOutputFile(false, target.path.c_str());
    int64_t n = 0;
    for (auto _ : state) Console_Release()->Output("step %d: x = %d, y = %d, hp = %s\n", int(++n), 120, 64, "full");
    Console_SetOutputFile(false, nullptr);
}
BENCHMARK(BM_LogLine);

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
    std::fwrite(buffer, 1, size_t(len), file);
    std::fflush(file);
    std::fflush(stdout);
    va_end(b);
    va_end(a);
}

void BM_LogLineStdio(benchmark::State& state)
{
    LogTarget target;
    FILE* file = std::fopen(target.path.c_str(), "a+");
    int64_t n = 0;
    for (auto _ : state) StdioLine(file, "step %d: x = %d, y = %d, hp = %s\n", int(++n), 120, 64, "full");
    std::fclose(file);
}
BENCHMARK(BM_LogLineStdio);

BENCHMARK_MAIN();
