// The run loop: game start and game end, one frame at the room speed, the step with its event
// phases, and the pending instance changes applied between the phases. The run state it
// drives is in Files/World/World_State.h.
//
// Needs: the room table and rooms (Files/Room), objects and events, instances, time lines, the
// timer, the graphics frame, the world's resource hooks. No Linux/ file.
#pragma once

#include <cstdint>

class CInstance;
class CRoom;

#include "Files/World/World_State.h"

void Run_Global_Init();
// Starts (or restarts) the game; false when it could not start its first room.
bool StartGame();
void EndGame();
void Run_EnterMainLoop();
// One frame; the room speed to keep (60 when stopped or without a room).
int32_t Run_Frame();
void Run_SingleStepFrame();
// Starts the game when it is not running, then the loop; false when the game could not start
// its first room (the loop then stops at its first frame).
bool Run_StartGameLoop();
void Run_StopGame();
void Run_DebugStep();
// The pause of the debug form and the remote debugger: frames then run no step.
void Run_PauseGame();
// While running and paused: one step (Run_SingleStepFrame).
void Run_StepPaused();
// Saves the next frame, as drawn, to the file before it is presented (Command_SaveScreen).
void Run_RequestScreenshot(const char* fileName);
void Run_Step();
void Run_FreeArrays();

// The pending instance changes.
void Run_ApplyPendingChanges();

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
// Installs the world's hooks into the error reporter and the compiler's resource names, and
// the current room's size into the graphics layer.
void Run_InstallHooks();
