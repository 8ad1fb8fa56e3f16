// Motion planning and game save and load.
//
// mp_grid_path on a 200 x 200 grid with 30 % of its cells blocked (a fixed random pattern;
// corner to corner with the start and goal cells free), with and without diagonal steps: one
// search and the path it gives per iteration.
//
// Save plus load of a room of 5,000 instances, each with two variables: the whole state into
// a growing buffer (Run_SaveGameToBuffer), then read back and made the running state
// (Run_LoadGameFromBuffer).
//
//   build/bench/bench_savegame
#include <benchmark/benchmark.h>

#include <random>

#include "Files/Buffer/IBuffer.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Code/Variable_List.h"
#include "Files/Motion/Motion.h"
#include "Files/Object/Instance.h"
#include "Files/Object/Object.h"
#include "Files/Path/Path.h"
#include "Files/Room/Room.h"
#include "Files/Run/Run_Main.h"
#include "Files/Run/Run_Save.h"
#include "Files/Support/GameHeader.h"

namespace {

void BM_GridPath(benchmark::State& state)
{
    const int32_t id = Motion_Grid_Create(0, 0, 200, 200, 16, 16);
    std::mt19937 random(7);
    for (int32_t h = 0; h < 200; ++h)
        for (int32_t v = 0; v < 200; ++v)
            if (random() % 100 < 30) Motion_Grid_AddCell(id, h, v);
    Motion_Grid_ClearCell(id, 0, 0);
    Motion_Grid_ClearCell(id, 199, 199);
    CPath path;
    const bool diagonal = state.range(0) != 0;
    int64_t found = 0;
    for (auto _ : state) found += Motion_Grid_Path(id, &path, 8, 8, 199 * 16 + 8, 199 * 16 + 8, diagonal) ? 1 : 0;
    state.counters["found"] = double(found) / double(state.iterations());
    state.counters["points"] = path.GetNumber();
    Motion_Grid_Destroy(id);
}
BENCHMARK(BM_GridPath)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_SaveLoad5000(benchmark::State& state)
{
    Variable_BuiltIn_Init();
    Variable_Global_Init();
    Run_Global_Init();
    Object_InitHash();
    Room_FreeAll();
    const int32_t o = Object_Add();
    const int32_t r = Room_Add();
    g_GameHeader.roomOrder = {r};
    RoomOrder_Load();
    StartGame();
    const int32_t hp = Code_Variable_FindOrAdd("hp"), name = Code_Variable_FindOrAdd("name");
    ScriptValue text = Value_Real(0);
    Value_SetString(&text, "instance");
    for (int32_t k = 0; k < 5000; ++k) {
        CInstance* i = Run_CurrentRoom()->AddInstance(float(k % 100) * 8, float(k / 100) * 8, o);
        ScriptValue v = Value_Real(k);
        i->GetVariables()->Set(hp, 0, &v);
        i->GetVariables()->Set(name, 0, &text);
    }
    Value_FreeString(&text);
    const int32_t buffer = Buffer_Create(1 << 20, eBuffer_Grow, 1);
    IBuffer* b = Buffer_Get(buffer);
    for (auto _ : state) {
        b->Seek(eSeek_Start, 0);
        Run_SaveGameToBuffer(buffer);
        b->Seek(eSeek_Start, 0);
        if (!Run_LoadGameFromBuffer(b)) state.SkipWithError("the load was refused");
    }
    state.counters["bytes"] = b->Tell();
    state.counters["instances"] = Run_CurrentRoom()->m_active.count;
    EndGame();
    Buffer_Free(buffer);
}
BENCHMARK(BM_SaveLoad5000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
