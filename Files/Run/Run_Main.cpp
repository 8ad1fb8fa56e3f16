// The run state, game start and end, the frame and the main-loop entry points
// (Files/Run/Run_Main.h). The step itself is in Run_Step.cpp.
#include "Files/Run/Run_Main.h"

#include <cstdlib>
#include <string>

#include "Files/Base/Console.h"
#include "Files/Base/QuitRequest.h"
#include "Files/Code/Code_Constant.h"
#include "Files/Code/Code_Error.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/Object/Event.h"
#include "Files/Object/Instance_Pending.h"
#include "Files/Object/Object.h"
#include "Files/Option/Options.h"
#include "Files/Path/Path.h"
#include "Files/Room/Room.h"
#include "Files/Run/Run_Commands.h"
#include "Files/Run/Run_Save.h"
#include "Files/Support/CommandLine.h"
#include "Files/Support/Timing.h"
#include "Files/TimeLine/TimeLine.h"
#include "Files/World/World_Hooks.h"
#include "Platform/MemoryManager.h"

namespace {
RunState& g_run = Run_State();
// Test runs: ZIMBREL_MAX_FRAMES=N ends the main loop after N frames (0: no limit).
int64_t g_maxFrames = 0;
int64_t g_frames = 0;

void ProcessMessages() { Timing_PumpEvents(); }
} // namespace

void Run_ApplyPendingChanges()
{
    Instance_ApplyQueuedChanges();
    if (Run_TakeActivationChanged()) Run_ApplyActivationToCurrentRoom();
}

void Run_ApplyActivationToCurrentRoom()
{
    if (CRoom* room = Run_CurrentRoom()) room->ApplyActivation();
}

// What the lower layers reach of the world: the error reporter's event, names and game
// abort; the compiler's path, time-line and room names; the graphics layer's room.
namespace {
void CurrentEvent(int32_t* type, int32_t* number, int32_t* object, int32_t* action)
{
    const EventState& st = Event_State();
    *type = st.type;
    *number = st.number;
    *object = st.object;
    *action = st.action;
}
void LeaveFullscreen() { GR_D3D_LeaveFullscreen(); }
void UpdateDebugForm()
{
    const WorldHooks& h = World_Hooks();
    if (g_StartupOptions.debugMode && h.debugFormUpdate && h.debugFormExists && h.debugFormExists()) h.debugFormUpdate();
}
void ClearInput()
{
    if (World_Hooks().inputClear) World_Hooks().inputClear();
}
void AbortGame() { Run_State().roomSwitch = ROOM_ABORTGAME; }
bool CreationCode(int32_t* room, int32_t* instance, int32_t* object)
{
    const EventState::Creation& c = Event_State().creation;
    *room = c.room;
    *instance = c.instance;
    *object = c.object;
    return c.room >= 0;
}
// The room being played, for the graphics layer (the area of the tiled drawing).
bool RoomInfo(GR_RoomInfo* info)
{
    const CRoom* room = Run_CurrentRoom();
    if (!room) return false;
    info->roomWidth = room->m_width;
    info->roomHeight = room->m_height;
    const RoomView& first = room->m_views[0];
    info->firstView = room->m_viewsEnabled && first.visible;
    info->viewWidth = first.wview;
    info->viewHeight = first.hview;
    info->portWidth = first.wport;
    info->portHeight = first.hport;
    return true;
}
} // namespace

void Run_InstallHooks()
{
    static const ErrorReportHooks hooks = {CurrentEvent,    Event_GetName, TimeLine_GetName, LeaveFullscreen,
                                           UpdateDebugForm, ClearInput,    AbortGame,    CreationCode,
                                           Room_GetName};
    Code_Error_SetHooks(&hooks);
    GR_SetRoomProvider(RoomInfo);
    // The world's resource names, for the compiler's constants.
    Code_Constant_SetResourceFinder(RESOURCE_PATH, Path_Find);
    Code_Constant_SetResourceFinder(RESOURCE_TIMELINE, TimeLine_Find);
    Code_Constant_SetResourceFinder(RESOURCE_ROOM, Room_Find);
}

void Run_Global_Init()
{
    Run_ResetState();
    g_StartupOptions.running = 0;
    const char* limit = std::getenv("ZIMBREL_MAX_FRAMES");
    g_maxFrames = limit ? std::strtoll(limit, nullptr, 10) : 0;
    g_frames = 0;
    Run_InstallHooks();
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
    WorldHooks& h = World_Hooks();
    if (g_StartupOptions.debugMode && h.debugFormCreate && !(h.debugFormExists && h.debugFormExists())) {
        Console_Output("Create Debug Form\n");
        h.debugFormCreate();
    }
    if (h.virtualButtonsClear) h.virtualButtonsClear();
    Event_RunLibraryInit();
    if (World_Hooks().extensionsStart && !World_Hooks().extensionsStart()) return false;
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
    if (g_StartupOptions.debugMode && World_Hooks().debugFormEnd) World_Hooks().debugFormEnd();
    Room_End(true);
    if (World_Hooks().motionGridsFree) World_Hooks().motionGridsFree();
    Room_FreeKept();
    Room_FreeCarried();
    Room_SetCurrent(-1, nullptr);
    if (World_Hooks().extensionsEnd && World_Hooks().extensionsEnd()) GR_Window_SetCursor(0);
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
        if (World_Hooks().particleResetAll) World_Hooks().particleResetAll();
        if (!StartGame()) {
            g_StartupOptions.running = 0;
            return false;
        }
        return true;
    case ROOM_LOADGAME:
        // The load itself is made at the start of the next step.
        g_run.roomSwitch = ROOM_STAY;
        if (World_Hooks().inputClear) World_Hooks().inputClear();
        Run_LoadGame(Run_LoadFileName());
        return true;
    default:
        Room_End(false);
        Room_Start(code, false);
        return true;
    }
}

// The end-of-frame screenshot: the frame as drawn, before it is presented.
std::string g_screenshot;
bool g_screenshotRequested = false;
void TakeRequestedScreenshot()
{
    if (!g_screenshotRequested) return;
    g_screenshotRequested = false;
    Command_SaveScreen(g_screenshot.c_str());
}

int32_t RoomSpeed()
{
    CRoom* room = Run_CurrentRoom();
    if (!room) return 60;
    if (room->m_speed < 1) room->m_speed = 1;
    return room->m_speed;
}
} // namespace

int32_t Run_Frame()
{
    if (g_maxFrames > 0 && g_frames++ >= g_maxFrames) {
        g_StartupOptions.running = 0;
        return 60;
    }
    MemoryManager::NextFrame();
    int64_t now = Timing_Time();
    if (now < g_run.nextFrameTime) g_run.nextFrameTime = now;
    const int32_t speed = RoomSpeed();
    const int64_t lateness = now - g_run.nextFrameTime;
    double wait = 1000000.0 / double(speed) - double(lateness);
    if (wait < 0) wait = 0;
    if (wait > 1000000.0) wait = 1000000.0;
    Timing_SleepFrame(int64_t(wait));
    // A quit that came before the step (its wait ended it): no further step starts.
    if (QuitRequest_Quitting() || Main_ExitRequested()) return 60;
    g_run.nextFrameTime = now + int64_t(wait);
    if (g_run.nextFrameTime < g_run.secondStart) g_run.secondStart = g_run.nextFrameTime;
    if (g_run.nextFrameTime / 1000000 > g_run.secondStart / 1000000) {
        g_run.fps = g_run.framesThisSecond;
        g_run.framesThisSecond = 0;
        g_run.secondStart = g_run.nextFrameTime;
    }
    ++g_run.framesThisSecond;
    if (World_Hooks().audioUpdate) World_Hooks().audioUpdate();

    if (!Run_CurrentRoom()) {
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
        if (World_Hooks().virtualButtonsDraw) World_Hooks().virtualButtonsDraw();
        TakeRequestedScreenshot();
        GR_D3D_Finish_Frame(g_run.roomSwitch < 0 && g_run.drawEnabled);
        if (!ActOnRoomSwitch()) return 60;
    }
    if (World_Hooks().debugFramePoll) World_Hooks().debugFramePoll();
    return Run_CurrentRoom() ? RoomSpeed() : 60;
}

void Run_SingleStepFrame()
{
    ProcessMessages();
    if (!Run_CurrentRoom()) return;
    Run_Step();
    if (g_run.roomSwitch == ROOM_STAY && g_run.drawEnabled) {
        GR_D3D_Finish_Frame(true);
        GR_D3D_Start_Frame();
    }
    const int32_t code = g_run.roomSwitch;
    if (ActOnRoomSwitch() && code != ROOM_STAY) ProcessMessages();
}

bool Run_StartGameLoop()
{
    bool started = true;
    if (g_StartupOptions.running == 0 && !StartGame()) {
        Console_Output("The game could not start its first room.\n");
        started = false;
    }
    g_StartupOptions.running = 1;
    g_run.paused = 0;
    Run_EnterMainLoop();
    return started;
}

void Run_StopGame()
{
    g_StartupOptions.running = 0;
    g_run.paused = 0;
    if (g_StartupOptions.debugMode) return; // the entry ends the game once its loop has stopped
    EndGame();
    if (World_Hooks().debugFormShow && World_Hooks().debugFormExists && World_Hooks().debugFormExists())
        World_Hooks().debugFormShow(false);
}

void Run_DebugStep()
{
    if (g_StartupOptions.running && g_run.paused) Run_SingleStepFrame();
}

void Run_PauseGame() { g_run.paused = 1; }

void Run_StepPaused() { Run_DebugStep(); }

void Run_RequestScreenshot(const char* fileName)
{
    g_screenshot = fileName ? fileName : "";
    g_screenshotRequested = true;
}

void Run_FreeArrays()
{
    Run_ClearLoadQueue();
    Room_FreeKept();
    Room_FreeCarried();
    Run_ClearPendingChanges();
    MEM_FREE(g_run.captionHealth);
    MEM_FREE(g_run.captionScore);
    MEM_FREE(g_run.captionLives);
    g_run.captionHealth = g_run.captionScore = g_run.captionLives = nullptr;
}
