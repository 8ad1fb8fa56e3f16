// The run loop: the run state (room-switch code, pause and draw flags, score, lives, health,
// captions, frame timing, the step counter, the event stamp), game start and game end, one
// frame at the room speed, the step with its event phases, and the pending instance changes
// applied between the phases.
//
// Room-switch codes: -1 stay; -100 end the game; -200 restart the game; -300 load the stored
// game; -400 abort (fatal error, failed room move); 0 and up the room to go to.
//
// Needs: the room table and rooms (Files/Room), objects and events, instances, time lines, the
// timer, the graphics frame, the world's resource hooks. No Linux/ file.
#pragma once

#include <cstdint>

class CInstance;
class CRoom;

enum : int32_t {
    ROOM_STAY = -1,
    ROOM_ENDGAME = -100,
    ROOM_RESTARTGAME = -200,
    ROOM_LOADGAME = -300,
    ROOM_ABORTGAME = -400,
};

struct RunState {
    uint8_t paused = 0;
    uint8_t drawEnabled = 1;
    uint8_t redrawRequest = 0;
    uint8_t windowVisible = 1;
    uint8_t captionSet = 0;
    int32_t roomSwitch = ROOM_STAY;
    int32_t score = 0;
    int32_t lives = -1;
    double health = 100.0;
    uint8_t showScore = 1, showLives = 0, showHealth = 0;
    char* captionScore = nullptr; // owned
    char* captionLives = nullptr;
    char* captionHealth = nullptr;
    int32_t cursorSprite = -1;
    int32_t cursorImage = 0;
    int32_t transitionKind = 0;
    int32_t viewCurrent = 0;
    int32_t stepCounter = 0;
    int32_t fps = 0;
    int32_t asyncLoad = -1;
    int64_t lastStepTime = 0;
    int64_t deltaTime = 0;
    uint64_t eventStamp = 0;
    // Frame timing (microseconds).
    int64_t nextFrameTime = 0;
    int64_t secondStart = 0;
    int32_t framesThisSecond = 0;
    // Mouse position of this and the previous step (room coordinates).
    int32_t mouseX = 0, mouseY = 0, mousePrevX = 0, mousePrevY = 0;
};
RunState& Run_State();

// The current room (null when none) and its index (-1 when none).
CRoom* Run_CurrentRoom();
int32_t Run_CurrentRoomIndex();
void Run_SetCurrentRoom(int32_t index, CRoom* room);

uint64_t Run_NextEventStamp();
uint64_t Run_CurrentEventStamp();

void Run_Global_Init();
// Starts (or restarts) the game; false when it could not start its first room.
bool StartGame();
void EndGame();
void Run_EnterMainLoop();
// One frame; the room speed to keep (60 when stopped or without a room).
int32_t Run_Frame();
void Run_SingleStepFrame();
void Run_StartGameLoop();
void Run_StopGame();
void Run_DebugStep();
void Run_Step();
void Run_FreeArrays();

// The pending instance changes.
void Run_ApplyPendingChanges();
void Run_ClearPendingChanges();
// Queues a depth re-sort of the instance (once).
void Run_QueueDepthChange(CInstance* instance);
int32_t Run_DepthChangeCount();
// Called by the instance destructor: forgets the instance in every queue.
void Run_ForgetInstance(CInstance* instance);
// Something activated or deactivated an instance.
void Run_SetActivationChanged();

// The phases (also used by the tests).
void Run_StepEvent(int32_t subtype);
void Run_Alarms();
void Run_Keyboard();
void Run_Mouse();
void Run_MouseEvent(int32_t subtype, bool hitTest);
bool Run_Motion(bool anyPath);
void Run_OutsideAndBoundary();
void Run_Collisions();
// One dispatch pass over the per-event list (type, subtype).
void Run_Dispatch(int32_t type, int32_t subtype);
void Run_ApplyActivationToCurrentRoom();
