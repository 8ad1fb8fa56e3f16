// Steps of a running room: N instances of two objects (half each), every one with a step event
// (compiled ZBL), motion by its speeds, and bounding-box collisions between the two objects
// (a collision event that counts). Instances stand on a grid that fills the room, moving one
// pixel a step and turning at the room's edges, so a few pairs meet each step. Drawing is off
// (no device); the measure is Run_Step.
//
//   build/bench/bench_world
#include <benchmark/benchmark.h>

#include <cmath>

#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Constant.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Event/Event.h"
#include "Files/Object/Object.h"
#include "Files/Room/Room.h"
#include "Files/Run/Instance.h"
#include "Files/Run/Run_Main.h"
#include "Files/Run/Run_Resources.h"
#include "Files/Runner/Runner_Game.h"
#include "Files/Runner/Runner_Header.h"
#include "Files/Variable/Variable_BuiltIn.h"
#include "Files/Variable/Variable_World.h"

void Code_Compiler_Init();
void InitFunctions_Game();

namespace {

bool Sprite(int32_t index, WorldSpriteInfo* info)
{
    if (index != 0) return false;
    *info = WorldSpriteInfo{16, 16, 0, 0, 0, 0, 15, 15, 1, 0};
    return true;
}

void AddEvent(int32_t object, int32_t type, int32_t subtype, const char* code)
{
    CEvent* e = Object_Lookup(object)->MakeEvent(type, subtype);
    e->SetText(code);
    Event_State().object = object;
    if (!e->Compile()) std::abort();
}

// A room of n instances, started.
void Build(int32_t n)
{
    static bool once = false;
    if (!once) {
        once = true;
        Code_Compiler_Init();
        Code_Constant_Init();
        InitFunctions_Game();
        Variable_BuiltIn_Init();
        World_RegisterVariables();
    }
    Code_Error_SetShowErrors(false);
    Variable_Global_Init();
    Run_Global_Init();
    World_Hooks() = WorldHooks();
    World_Hooks().spriteInfo = Sprite;
    Object_InitHash();
    Room_FreeAll();
    const int32_t a = Object_Add(), b = Object_Add();
    Object_Lookup(a)->m_spriteIndex = 0;
    Object_Lookup(b)->m_spriteIndex = 0;
    AddEvent(a, EVENT_STEP, 0, "if (x < 8 || x > room_width - 24) hspeed = -hspeed;");
    AddEvent(b, EVENT_STEP, 0, "if (y < 8 || y > room_height - 24) vspeed = -vspeed;");
    AddEvent(a, EVENT_COLLISION, b, "global.hits += 1;");
    AddEvent(a, EVENT_CREATE, 0, "hspeed = 1; global.hits = 0;");
    AddEvent(b, EVENT_CREATE, 0, "vspeed = 1;");
    const int32_t side = int32_t(std::ceil(std::sqrt(double(n))));
    const int32_t size = side * 40 + 40;
    const int32_t r = Room_Add();
    CRoom* room = Room_Data(r);
    room->m_width = size;
    room->m_height = size;
    for (int32_t k = 0; k < n; ++k)
        room->EntryAddInstance(float(20 + (k % side) * 40 + (k % 3) * 7), float(20 + (k / side) * 40), k % 2 ? b : a);
    g_GameHeader.roomOrder = {r};
    RoomOrder_Load();
    Object_LinkParents();
    StartGame();
    Run_State().drawEnabled = 0;
}

void BM_Step(benchmark::State& state)
{
    Build(int32_t(state.range(0)));
    for (auto _ : state) Run_Step();
    state.counters["steps/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    ScriptValue hits = Value_Real(0);
    Variable_Global_Get(Code_Variable_Find("hits"), 0, &hits);
    state.counters["collisions/step"] = hits.real / double(state.iterations());
    EndGame();
}
BENCHMARK(BM_Step)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
