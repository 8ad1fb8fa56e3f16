// The run state of the game world: the room-switch code, the pause and draw flags, score, lives
// and health with their captions, frame timing, the step counter and the event stamp, and the
// current room. Every world module reads it; the run loop (Files/Run/Run_Main.h) drives it.
//
// Room-switch codes: -1 stay; -100 end the game; -200 restart the game; -300 load the stored
// game; -400 abort (fatal error, failed room move); 0 and up the room to go to.
//
// Needs nothing. No Linux/ file.
#pragma once

#include <cstdint>

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
    int32_t transitionSteps = 80; // the display layer's transition steps (transition_steps)
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

// The current room (null when none) and its index (-1 when none). The room module sets both
// together with the active instance list (Room_SetCurrent).
CRoom* Run_CurrentRoom();
int32_t Run_CurrentRoomIndex();
void Run_SetCurrentRoom(int32_t index, CRoom* room);

uint64_t Run_NextEventStamp();
uint64_t Run_CurrentEventStamp();

// Sets the transition step count (below 1 counts as 1).
void Run_SetTransitionSteps(int32_t steps);

// Resets the run state to its start values ("Health: " as the health caption).
void Run_ResetState();
