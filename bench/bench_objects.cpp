// Objects made and deleted at run time.
//
// BM_ObjectAddThenDelete/N: N object_add, then N object_delete (in the order made), from an
// empty table; the time per object must not grow with N, so the 100,000 figure stays near
// ten times the 10,000 one.
//
// BM_ObjectChurn: a new game of one instance whose step event adds 1,000 objects and then
// deletes them; 50 steps an iteration. `heap_kB_per_step` is what the heap in use grew per
// step over the last 49 steps: flat memory under churn keeps it near 0.
//
//   build/bench/bench_objects
#include <benchmark/benchmark.h>

#include <malloc.h>

#include "Files/Code/Code_Compile.h"
#include "Files/Code/Code_Constant.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Function/Function_World.h"
#include "Files/Object/Event.h"
#include "Files/Object/Object.h"
#include "Files/Room/Room.h"
#include "Files/Run/Run_Main.h"
#include "Files/Support/GameHeader.h"
#include "Files/Variable/Variable_World.h"
#include "Files/World/World_Hooks.h"

#include "BenchWorld.h"


namespace {

void BM_ObjectAddThenDelete(benchmark::State& state)
{
    const int32_t n = int32_t(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        Object_InitHash();
        state.ResumeTiming();
        for (int32_t k = 0; k < n; ++k) Object_Add();
        for (int32_t k = 0; k < n; ++k) Object_Delete(k);
        state.PauseTiming();
        Object_Free();
        state.ResumeTiming();
    }
    state.counters["per_object_ns"] = benchmark::Counter(double(n) * double(state.iterations()),
                                                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ObjectAddThenDelete)->Arg(8000)->Arg(16000)->Arg(32000)->Arg(100000)->Unit(benchmark::kMillisecond);

size_t HeapInUse() { return mallinfo2().uordblks; }

// A fresh game of one churning instance: 50 steps make 50,000 objects (indexes are never used
// again and stop below 100,000, so each iteration starts a new game).
void StartChurnGame()
{
    Bench_EmptyWorld();
    const int32_t churner = Object_Add();
    CEvent* e = Object_Lookup(churner)->MakeEvent(EVENT_STEP, 0);
    e->SetText("var k; for (k = 0; k < 1000; k += 1) made[k] = object_add();"
               "for (k = 0; k < 1000; k += 1) object_delete(made[k]);");
    Event_State().object = churner;
    if (!e->Compile()) std::abort();
    const int32_t r = Room_Add();
    Room_Data(r)->EntryAddInstance(0, 0, churner);
    g_GameHeader.roomOrder = {r};
    RoomOrder_Load();
    StartGame();
    Run_State().drawEnabled = 0;
}

void BM_ObjectChurn(benchmark::State& state)
{
    double grown = 0, made = 0;
    for (auto _ : state) {
        state.PauseTiming();
        StartChurnGame();
        state.ResumeTiming();
        Run_Step();
        const size_t before = HeapInUse();
        for (int step = 1; step < 50; ++step) Run_Step();
        grown += double(HeapInUse()) - double(before);
        state.PauseTiming();
        made += double(Object_GetCount() - 1);
        EndGame();
        state.ResumeTiming();
    }
    state.counters["heap_kB_per_step"] = grown / 1024.0 / 49.0 / double(state.iterations());
    state.counters["objects_made"] = made / double(state.iterations());
}
BENCHMARK(BM_ObjectChurn)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
