// The run state and the current room (Files/World/World_State.h).
#include "Files/World/World_State.h"

#include "Platform/MemoryManager.h"

namespace {
RunState g_run;
CRoom* g_room = nullptr;
int32_t g_roomIndex = -1;
} // namespace

RunState& Run_State() { return g_run; }

void Run_ResetState()
{
    MEM_FREE(g_run.captionHealth);
    MEM_FREE(g_run.captionScore);
    MEM_FREE(g_run.captionLives);
    g_run = RunState();
    g_run.captionHealth = MEM_STRDUP("Health: ");
}

void Run_SetTransitionSteps(int32_t steps) { g_run.transitionSteps = steps < 1 ? 1 : steps; }

CRoom* Run_CurrentRoom() { return g_room; }
int32_t Run_CurrentRoomIndex() { return g_roomIndex; }

void Run_SetCurrentRoom(int32_t index, CRoom* room)
{
    g_roomIndex = room ? index : -1;
    g_room = room;
}

uint64_t Run_NextEventStamp() { return g_run.eventStamp++; }
uint64_t Run_CurrentEventStamp() { return g_run.eventStamp; }
