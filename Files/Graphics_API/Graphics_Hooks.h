// What the graphics layer reads from, and calls in, the modules above it (game world, input,
// overlay, surfaces, start-up options). Those modules fill these records and hooks when they
// start; until then the graphics layer sees neutral values (no room, no views, defaults of
// the game header) and calls nothing. Tests fill them with fakes.
#pragma once

#include <cstdint>

// The game header values the window and device read.
struct GR_GameOptions {
    int32_t windowWidth = 640, windowHeight = 480;
    uint32_t optionBits = 32;      // 1 borderless, 32 show the cursor, 64 sizeable window
    bool allowFullscreenSwitch = false; // Alt+Enter
    int32_t captionMode = 2;       // the caption is set only for 2 or 3 unless forced
    uint32_t creationFlags = 0;    // 1 full screen, 2 vsync, 4 software vp, 8 filter, 16 aspect
};
GR_GameOptions& GR_Options();
// The game title ("Zimbrel" until the game data sets it); a copy is kept.
void GR_SetGameTitle(const char* title);
const char* GR_GetGameTitle();

// The room being played, as far as the graphics layer needs it: the area the tiled drawing
// covers, and its first view (when views are on and it is visible: firstView), whose scale
// fades the pixel offset out.
struct GR_RoomInfo {
    int32_t roomWidth = 0, roomHeight = 0;
    bool firstView = false;
    int32_t viewWidth = 0, viewHeight = 0, portWidth = 0, portHeight = 0;
};
// Fills info and returns true when a room is current.
using GR_RoomProvider = bool (*)(GR_RoomInfo* info);
void GR_SetRoomProvider(GR_RoomProvider provider);
bool GR_GetRoomInfo(GR_RoomInfo* info);
// The area the tiled forms of drawing cover: the room's, or the view's without a room.
void GR_RoomArea(float* w, float* h);

// Window state kept by the room drawing and read here (read-back bounds, mouse mapping).
struct GR_WindowStateRecord {
    int32_t drawLeft = 0, drawTop = 0, drawRight = 640, drawBottom = 480; // drawing rectangle
    float roomScaleX = 1.0f, roomScaleY = 1.0f;                           // room scale factors
    int32_t guiWidth = -1, guiHeight = -1;
    int32_t drawTargetSurface = -1;
};
GR_WindowStateRecord& GR_WindowState();

// The graphics-reset-pending flag (set by window and display changes; the frame clears it).
extern uint8_t GR_ResetPending;

// Calls into other modules. Any hook may stay null.
struct GR_HookTable {
    // Input state (window procedure).
    void (*keyDown)(int32_t key, int32_t modifiers, uint32_t data) = nullptr;
    void (*keyUp)(int32_t key, int32_t modifiers) = nullptr;
    void (*character)(uint32_t ch) = nullptr;
    void (*mouseDown)(int32_t button, int32_t x, int32_t y) = nullptr;
    void (*mouseUp)(int32_t button, int32_t x, int32_t y) = nullptr;
    void (*mouseMove)(int32_t x, int32_t y) = nullptr;
    // Wheel: sets *handled when the input state consumed it.
    void (*wheelUp)(int32_t modifiers, int32_t x, int32_t y, bool* handled) = nullptr;
    void (*wheelDown)(int32_t modifiers, int32_t x, int32_t y, bool* handled) = nullptr;
    // Window mouse position of mouse device d (0..4); null: the window procedure's own record.
    bool (*deviceMouse)(int32_t d, int32_t* x, int32_t* y) = nullptr;
    // Run loop quit path (WM_QUIT reached the pump).
    void (*quit)() = nullptr;
    // Pause event raised when the window is deactivated.
    void (*pauseEvent)() = nullptr;
    // The texture table, emptied when a device is made (the table fills it once it holds one).
    void (*textureTableClear)() = nullptr;
    // Surfaces (freed at every reset), overlay and profiler.
    void (*surfaceFreeAll)() = nullptr;
    void (*surfaceFlushAll)() = nullptr; // marks every surface slot unused, textures kept
    void (*overlayDrawFrame)() = nullptr;
    void (*overlayBegin)() = nullptr;
    void (*overlayEnd)() = nullptr;
    void (*overlayStartup)() = nullptr;
    void (*profilerReset)() = nullptr;
    // Drawn over the back buffer after the screen texture, in back-buffer pixels (y down; the
    // view and projection set, the world identity): the dialogs beside the game.
    void (*windowOverlay)() = nullptr;
    void (*fpsStatsPrint)() = nullptr;
    // The display was lost (its server ended): writes what the game would write at its end,
    // without a call of the window, the device or a dialog; the process then ends.
    void (*displayLost)() = nullptr;
    // Fatal error report ("Fatel Error: Can not create vertex buffer").
    void (*errorReport)(const char* message, bool fatal) = nullptr;
};
GR_HookTable& GR_Hooks();

// The window mouse position recorded by the window procedure (device 0).
int32_t GR_Window_RecordedMouseX();
int32_t GR_Window_RecordedMouseY();
