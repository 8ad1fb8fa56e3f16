// Steps of a running room: N instances of two objects (half each), every one with a step event
// (compiled ZBL), motion by its speeds, and bounding-box collisions between the two objects
// (a collision event that counts). Instances stand on a grid that fills the room, moving one
// pixel a step and turning at the room's edges, so a few pairs meet each step. Drawing is off
// (no device); the measure is Run_Step. Also with the second object solid (each collision
// moves both back to their previous places, then on by their speeds).
//
// The place-query steps: the same room without the collision event, where every instance also
// asks one query in its step event (place_meeting against the other object, place_free,
// collision_point or instance_place near a neighbour), counting the answers.
//
//   build/bench/bench_world
#include <benchmark/benchmark.h>

#include <climits>
#include <cmath>
#include <string>

#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Constant.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Object/Event.h"
#include "Files/Object/Instance.h"
#include "Files/Object/Instance_Index.h"
#include "Files/Object/Object.h"
#include "Files/Room/Room.h"
#include "Files/Run/Run_Main.h"
#include "Files/Runner/Runner_Game.h"
#include "Files/Support/GameHeader.h"
#include "Files/Variable/Variable_World.h"
#include "Files/World/World_Hooks.h"

#include "BenchWorld.h"


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

// A room of n instances, started; query (when given) is more code of both step events, and
// the room then has no collision event; solid makes the second object solid.
void Build(int32_t n, const char* query = nullptr, bool solid = false)
{
    Bench_EmptyWorld();
    World_Hooks().spriteInfo = Sprite;
    const int32_t a = Object_Add(), b = Object_Add();
    Object_Lookup(a)->m_spriteIndex = 0;
    Object_Lookup(b)->m_spriteIndex = 0;
    std::string stepA = "if (x < 8 || x > room_width - 24) hspeed = -hspeed;";
    std::string stepB = "if (y < 8 || y > room_height - 24) vspeed = -vspeed;";
    if (query) {
        stepA += query;
        stepB += query;
    }
    AddEvent(a, EVENT_STEP, 0, stepA.c_str());
    AddEvent(b, EVENT_STEP, 0, stepB.c_str());
    if (query || solid) Object_Lookup(b)->SetSolid(true);
    if (!query) AddEvent(a, EVENT_COLLISION, b, "global.hits += 1;");
    AddEvent(a, EVENT_CREATE, 0, "hspeed = 1; global.hits = 0; global.found = 0;");
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
    Build(int32_t(state.range(0)), nullptr, state.range(1) != 0);
    for (auto _ : state) Run_Step();
    state.counters["steps/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    ScriptValue hits = Value_Real(0);
    Variable_Global_Get(Code_Variable_Find("hits"), 0, &hits);
    state.counters["collisions/step"] = hits.real / double(state.iterations());
    EndGame();
}
// Second argument 1: the second object is solid, so every collision moves both instances back.
// 1,000 to 30,000 instances (how the step's cost grows with the count), and the solid rooms.
BENCHMARK(BM_Step)
    ->Args({1000, 0})
    ->Args({3000, 0})
    ->Args({10000, 0})
    ->Args({30000, 0})
    ->Args({1000, 1})
    ->Args({10000, 1})
    ->Unit(benchmark::kMicrosecond);

// One query per instance per step (objects 0 and 1 are the room's two objects; 1 is solid
// in these rooms).
const char* const kQueries[] = {
    "if (place_meeting(x + 30, y + vspeed, 1)) global.found += 1;",
    "if (!place_free(x + 30, y)) global.found += 1;",
    "if (collision_point(x + 40, y + 8, 1, false, true) != noone) global.found += 1;",
    "if (instance_place(x + 36, y, 0) != noone) global.found += 1;",
    "", // no query: the cost of the room itself
};

void BM_PlaceQueries(benchmark::State& state)
{
    // Third argument 0: no spatial index, every query walks its candidates (as before it).
    WorldIndex_SetThreshold(state.range(2) ? 64 : INT32_MAX);
    Build(int32_t(state.range(0)), kQueries[state.range(1)]);
    for (auto _ : state) Run_Step();
    state.counters["steps/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    ScriptValue found = Value_Real(0);
    Variable_Global_Get(Code_Variable_Find("found"), 0, &found);
    state.counters["found/step"] = found.real / double(state.iterations());
    EndGame();
    WorldIndex_SetThreshold(64);
}
// Second argument: 0 place_meeting, 1 place_free, 2 collision_point, 3 instance_place, 4 none.
BENCHMARK(BM_PlaceQueries)
    ->Args({1000, 0, 0})
    ->Args({1000, 0, 1})
    ->Args({10000, 0, 0})
    ->Args({10000, 0, 1})
    ->Args({10000, 1, 0})
    ->Args({10000, 1, 1})
    ->Args({10000, 2, 0})
    ->Args({10000, 2, 1})
    ->Args({10000, 3, 0})
    ->Args({10000, 3, 1})
    ->Args({10000, 4, 1})
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
