// The run state, game start and end, the frame and the main-loop entry points
// (Files/Run/Run_Main.h). The step itself is in Run_Step.cpp.
#include "Files/Run/Run_Main.h"

#include <cstdlib>

#include "Files/Base/Console.h"
#include "Files/Event/Event.h"
#include "Files/Extension/Extension.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/Object/Object.h"
#include "Files/Option/Options.h"
#include "Files/Room/Room.h"
#include "Files/World/World_State.h"
#include "Files/World/World_Hooks.h"
#include "Files/Support/CommandLine.h"
#include "Files/Support/Timing.h"
#include "Platform/MemoryManager.h"

namespace {
RunState g_run;
// Test runs: ZIMBREL_MAX_FRAMES=N ends the main loop after N frames (0: no limit).
int64_t g_maxFrames = 0;
int64_t g_frames = 0;
CRoom* g_room = nullptr;
int32_t g_roomIndex = -1;
WorldHooks g_hooks;

void ProcessMessages() { Timing_PumpEvents(); }
} // namespace

RunState& Run_State() { return g_run; }
WorldHooks& World_Hooks() { return g_hooks; }

bool World_SpriteInfo(int32_t sprite, WorldSpriteInfo* info)
{
    return g_hooks.spriteInfo && g_hooks.spriteInfo(sprite, info);
}

bool World_SpriteExists(int32_t sprite)
{
    WorldSpriteInfo s{};
    return World_SpriteInfo(sprite, &s);
}

bool World_BackgroundSize(int32_t background, int32_t* width, int32_t* height)
{
    return g_hooks.backgroundSize && g_hooks.backgroundSize(background, width, height);
}

CRoom* Run_CurrentRoom() { return g_room; }
int32_t Run_CurrentRoomIndex() { return g_roomIndex; }

void Run_SetCurrentRoom(int32_t index, CRoom* room)
{
    g_roomIndex = room ? index : -1;
    g_room = room;
    Run_SetActiveList(room ? &room->m_active : nullptr);
}

uint64_t Run_NextEventStamp() { return g_run.eventStamp++; }
uint64_t Run_CurrentEventStamp() { return g_run.eventStamp; }

void Run_ApplyActivationToCurrentRoom()
{
    if (g_room) g_room->ApplyActivation();
}

void Run_Global_Init()
{
    MEM_FREE(g_run.captionHealth);
    MEM_FREE(g_run.captionScore);
    MEM_FREE(g_run.captionLives);
    g_run = RunState();
    g_run.captionHealth = MEM_STRDUP("Health: ");
    g_StartupOptions.running = 0;
    const char* limit = std::getenv("ZIMBREL_MAX_FRAMES");
    g_maxFrames = limit ? std::strtoll(limit, nullptr, 10) : 0;
    g_frames = 0;
    Event_InstallHooks();
    Run_ClearPendingChanges();
}

bool StartGame()
{
    Console_Output("StartGame()\n");
    Timing_Init();
    Object_Lists_Build();
    g_run.score = 0;
    g_run.lives = -1;
    g_run.cursorSprite = -1;
    g_run.stepCounter = 0;
    g_run.transitionKind = 0;
    Event_RunLibraryInit();
    if (!Extension_RunInitFunctions()) return false;
    GR_Window_SetCursor(g_Options.cursorShown ? 0 : -1);
    Room_ResetKept(Room_Count());
    const int32_t first = Room_First();
    if (!Room_Exists(first)) {
        // Without a first room there is nothing to play: the loop stops at the first frame.
        Console_Output("StartGame(): no room to start\n");
        g_run.roomSwitch = ROOM_ENDGAME;
        return false;
    }
    Room_Start(first, true);
    Console_Output("StartGame() - DONE\n");
    MemoryManager::Report();
    return true;
}

void EndGame()
{
    Room_End(true);
    Room_FreeKept();
    Room_FreeCarried();
    Run_SetCurrentRoom(-1, nullptr);
    if (Extension_RunFinalFunctions()) GR_Window_SetCursor(0);
}

void Run_EnterMainLoop()
{
    Timing_Init();
    const int64_t now = Timing_Time();
    g_run.nextFrameTime = now;
    g_run.fps = 0;
    g_run.framesThisSecond = 0;
    g_run.secondStart = now;
    ProcessMessages();
    Console_Output("**********************************.\n");
    Console_Output("Entering main loop.\n");
    Console_Output("**********************************.\n");
    MemoryManager::DumpStats(0, "Current Memory Stats");
    g_run.lastStepTime = Timing_Time();
}

namespace {
// Acts on the room-switch code the step left; false when the loop is to stop.
bool ActOnRoomSwitch()
{
    const int32_t code = g_run.roomSwitch;
    switch (code) {
    case ROOM_STAY: return true;
    case ROOM_ENDGAME:
    case ROOM_ABORTGAME: g_StartupOptions.running = 0; return false;
    case ROOM_RESTARTGAME:
        EndGame();
        if (g_hooks.particleResetAll) g_hooks.particleResetAll();
        if (!StartGame()) {
            g_StartupOptions.running = 0;
            return false;
        }
        return true;
    case ROOM_LOADGAME:
        g_run.roomSwitch = ROOM_STAY;
        if (g_hooks.inputClear) g_hooks.inputClear();
        return true;
    default:
        Room_End(false);
        Room_Start(code, false);
        return true;
    }
}

int32_t RoomSpeed()
{
    if (!g_room) return 60;
    if (g_room->m_speed < 1) g_room->m_speed = 1;
    return g_room->m_speed;
}
} // namespace

int32_t Run_Frame()
{
    if (g_maxFrames > 0 && g_frames++ >= g_maxFrames) {
        g_StartupOptions.running = 0;
        return 60;
    }
    int64_t now = Timing_Time();
    if (now < g_run.nextFrameTime) g_run.nextFrameTime = now;
    const int32_t speed = RoomSpeed();
    const int64_t lateness = now - g_run.nextFrameTime;
    double wait = 1000000.0 / double(speed) - double(lateness);
    if (wait < 0) wait = 0;
    if (wait > 1000000.0) wait = 1000000.0;
    Timing_SleepFrame(int64_t(wait));
    g_run.nextFrameTime = now + int64_t(wait);
    if (g_run.nextFrameTime < g_run.secondStart) g_run.secondStart = g_run.nextFrameTime;
    if (g_run.nextFrameTime / 1000000 > g_run.secondStart / 1000000) {
        g_run.fps = g_run.framesThisSecond;
        g_run.framesThisSecond = 0;
        g_run.secondStart = g_run.nextFrameTime;
    }
    ++g_run.framesThisSecond;

    if (!g_room) {
        // Nothing to play (a failed start): the loop ends.
        g_StartupOptions.running = 0;
        return 60;
    }
    if (!g_run.paused) {
        if (GR_ResetPending) {
            GR_D3D_Reset();
            GR_ResetPending = 0;
        }
        GR_D3D_Start_Frame();
        Run_Step();
        if (g_hooks.virtualButtonsDraw) g_hooks.virtualButtonsDraw();
        GR_D3D_Finish_Frame(g_run.roomSwitch < 0 && g_run.drawEnabled);
        if (!ActOnRoomSwitch()) return 60;
    }
    return g_room ? RoomSpeed() : 60;
}

void Run_SingleStepFrame()
{
    ProcessMessages();
    if (!g_room) return;
    Run_Step();
    if (g_run.roomSwitch == ROOM_STAY && g_run.drawEnabled) {
        GR_D3D_Finish_Frame(true);
        GR_D3D_Start_Frame();
    }
    const int32_t code = g_run.roomSwitch;
    if (ActOnRoomSwitch() && code != ROOM_STAY) ProcessMessages();
}

void Run_StartGameLoop()
{
    if (g_StartupOptions.running == 0) {
        if (!StartGame()) Console_Output("The game could not start its first room.\n");
    }
    g_StartupOptions.running = 1;
    g_run.paused = 0;
    Run_EnterMainLoop();
}

void Run_StopGame()
{
    g_StartupOptions.running = 0;
    g_run.paused = 0;
    EndGame();
}

void Run_DebugStep()
{
    if (g_StartupOptions.running && g_run.paused) Run_SingleStepFrame();
}

void Run_FreeArrays()
{
    Room_FreeKept();
    Room_FreeCarried();
    Run_ClearPendingChanges();
    MEM_FREE(g_run.captionHealth);
    MEM_FREE(g_run.captionScore);
    MEM_FREE(g_run.captionLives);
    g_run.captionHealth = g_run.captionScore = g_run.captionLives = nullptr;
}
