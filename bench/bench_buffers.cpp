// Binary buffers and JSON: typed writes and reads of a million entries into grow, fixed and
// wrap buffers, the fast buffer's byte stream, string entries, fill and copy of a megabyte,
// MD5 and base64 of a megabyte, json_decode / json_encode of a 1,000-record document, and the
// delivery of a finished 60 MB HTTP reply by the step's asynchronous phase.
//
//   build/bench/bench_buffers
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <string>

#include "Files/Base/Value.h"
#include "Files/Buffer/IBuffer.h"
#include "Files/DS/DS_Main.h"
#include "Files/Function/Function_Http.h"
#include "Files/HTTP/HTTP.h"
#include "Files/Run/Run_Async.h"
#include "Platform/MemoryManager.h"

namespace {

constexpr int kEntries = 1000000;

void BM_WriteReadU32Grow(benchmark::State& state)
{
    for (auto _ : state) {
        Buffer_Standard b(1024, eBuffer_Grow, 4);
        ScriptValue v = Value_Real(0);
        for (int i = 0; i < kEntries; ++i) {
            v.real = i;
            b.Write(eBuffer_U32, &v);
        }
        b.Seek(eSeek_Start, 0);
        double sum = 0;
        for (int i = 0; i < kEntries; ++i) {
            b.Read(eBuffer_U32, &v);
            sum += v.real;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kEntries * 2);
}
BENCHMARK(BM_WriteReadU32Grow)->Unit(benchmark::kMillisecond);

void BM_WriteF64Wrap(benchmark::State& state)
{
    Buffer_Standard b(4096 + 4, eBuffer_Wrap, 8);
    ScriptValue v = Value_Real(0.5);
    for (auto _ : state) {
        for (int i = 0; i < kEntries; ++i) b.Write(eBuffer_F64, &v);
        benchmark::DoNotOptimize(b.Tell());
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_WriteF64Wrap)->Unit(benchmark::kMillisecond);

void BM_FastBytes(benchmark::State& state)
{
    Buffer_Fast b(kEntries, 1);
    ScriptValue v = Value_Real(7);
    for (auto _ : state) {
        b.Seek(eSeek_Start, 0);
        for (int i = 0; i < kEntries; ++i) b.Write(eBuffer_U8, &v);
        b.Seek(eSeek_Start, 0);
        for (int i = 0; i < kEntries; ++i) b.Read(eBuffer_U8, &v);
    }
    state.SetItemsProcessed(state.iterations() * kEntries * 2);
}
BENCHMARK(BM_FastBytes)->Unit(benchmark::kMillisecond);

void BM_StringEntries(benchmark::State& state)
{
    const int n = 100000;
    for (auto _ : state) {
        Buffer_Standard b(1024, eBuffer_Grow, 1);
        for (int i = 0; i < n; ++i) Buffer_WriteString(&b, "a string entry of some length");
        b.Seek(eSeek_Start, 0);
        for (int i = 0; i < n; ++i) MEM_FREE(Buffer_ReadString(&b));
    }
    state.SetItemsProcessed(state.iterations() * n * 2);
}
BENCHMARK(BM_StringEntries)->Unit(benchmark::kMillisecond);

void BM_FillCopyMegabyte(benchmark::State& state)
{
    Buffer_Standard a(1 << 20, eBuffer_Fixed, 4), b(1 << 20, eBuffer_Wrap, 1);
    ScriptValue v = Value_Real(0x01020304);
    for (auto _ : state) {
        a.Fill(0, -1, eBuffer_U32, &v, -1, true);
        a.Copy(0, -1, &b, 12345);
    }
    state.SetBytesProcessed(state.iterations() * (2 << 20));
}
BENCHMARK(BM_FillCopyMegabyte)->Unit(benchmark::kMillisecond);

void BM_DigestBase64Megabyte(benchmark::State& state)
{
    Buffer_Standard a(1 << 20, eBuffer_Fixed, 1);
    for (int i = 0; i < (1 << 20); ++i) a.Data()[i] = uint8_t(i * 31);
    ScriptValue out = Value_Real(0);
    for (auto _ : state) {
        a.MD5(&out, 0, -1);
        a.Base64Encode(&out, 0, -1);
    }
    Value_FreeString(&out);
    state.SetBytesProcessed(state.iterations() * (2 << 20));
}
BENCHMARK(BM_DigestBase64Megabyte)->Unit(benchmark::kMillisecond);

void BM_JsonDecodeEncode(benchmark::State& state)
{
    std::string doc = "{\"records\": [";
    for (int i = 0; i < 1000; ++i) {
        if (i) doc += ", ";
        doc += "{\"id\": " + std::to_string(i) + ", \"name\": \"player " + std::to_string(i) +
               "\", \"score\": " + std::to_string(i * 3.25) + ", \"tags\": [\"a\", \"b\"], \"alive\": true}";
    }
    doc += "]}";
    for (auto _ : state) {
        const int32_t m = Json_DecodeText(doc.c_str());
        benchmark::DoNotOptimize(Json_Encode(m).size());
        DS_Reset();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(doc.size()));
}
BENCHMARK(BM_JsonDecodeEncode)->Unit(benchmark::kMillisecond);

// One asynchronous phase delivering a finished request whose reply is 60 MB (as a worker leaves
// it): the result map is built, the HTTP event finds no instance, the map and the request go.
// The reply's block becomes the "result" text without a copy on the main thread.
void BM_DeliverLargeHttpReply(benchmark::State& state)
{
    const int32_t size = 60 * 1024 * 1024;
    for (auto _ : state) {
        HTTP_Shutdown(); // the last reply is given back to the system before the next
        auto* r = new HTTP_REQ_CONTEXT("http://127.0.0.1/big", 0, HTTP_OnComplete, nullptr, nullptr);
        r->buffer = static_cast<uint8_t*>(MEM_ALLOC(size + 1));
        std::memset(r->buffer, 'a', size_t(size));
        r->buffer[size] = 0;
        r->bufferSize = size + 1;
        r->received = size;
        r->state.store(HTTP_STATE_FINISHED);
        const auto start = std::chrono::steady_clock::now();
        Async_ProcessRequests();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    HTTP_Shutdown();
}
BENCHMARK(BM_DeliverLargeHttpReply)->Unit(benchmark::kMicrosecond)->Iterations(20)->UseManualTime();

} // namespace

BENCHMARK_MAIN();
