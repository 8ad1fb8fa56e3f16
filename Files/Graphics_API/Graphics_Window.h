// The main window and its procedure, and the window operations: creation from the game
// header's size and option bits, the window procedure (keyboard, mouse, focus, activation,
// the Alt+Enter switch, quit), position, size, caption, background colour and cursor, and
// the mapping of mouse positions between the window and the room through the view-port
// table that the room drawing fills each frame.
//
// Backed by the window host (Linux/Graphics_HostM.cpp: the SDL window and event loop, which
// feeds GR_Window_Proc with messages in Windows numbering).
#pragma once

#include <cstdint>

// ---- Creation and the procedure ---------------------------------------------------------------
void* GR_Window_Create(int32_t width, int32_t height); // the native window, null on failure
// Handles one message; returns the procedure's result (default processing answers 0).
int64_t GR_Window_Proc(uint32_t message, uint64_t wParam, int64_t lParam);
// The largest client area the window takes: the display's size, no more than the largest
// texture (the screen texture holds the window's picture); headless, where no display holds
// it, the largest texture.
void GR_Window_GetLimit(int32_t* w, int32_t* h);
// Holds a client size within what the window takes: each side from 1 to GR_Window_GetLimit's.
// True when a side had to change. Every size given to the window and the device goes through
// here (creation, window_set_size and the room's fit, the device's requested size).
bool GR_Window_HoldSize(int32_t* w, int32_t* h);
bool GR_Window_ShowRequest();
void GR_Window_ClearShowRequest();
bool GR_Window_HasFocus();
// Pumps the window's pending messages (the run loop's pump and the timer's hook call it);
// false once the quit message was seen.
bool GR_Window_PumpMessages();

struct GR_WindowRecord {
    bool created;
    uint32_t style;
    int32_t clientWidth, clientHeight, outerWidth, outerHeight;
    int32_t cursorIndex;      // cursor-table index, -1 none
    int32_t cursorConstant;
    uint8_t showRequest;      // starts 1
    uint8_t focus;            // starts 1
    uint8_t rightShiftScan;
    int32_t mouseX, mouseY;   // the procedure's own record of the window mouse position
    bool quitSeen;
};
GR_WindowRecord& GR_Window_Record();

// ---- Window operations ---------------------------------------------------------------------
int32_t GR_Window_GetScreenWidth();
int32_t GR_Window_GetScreenHeight();
void GR_Window_SetFullscreen(bool on);
bool GR_Window_GetFullscreen();
void GR_Window_SetCaption(const char* text, bool force);
const char* GR_Window_GetCaption();
void GR_Window_Center();
void GR_Window_SetPosition(int32_t x, int32_t y);
void GR_Window_SetSize(int32_t w, int32_t h);
void GR_Window_SetRectangle(int32_t x, int32_t y, int32_t w, int32_t h);
int32_t GR_Window_GetX();
int32_t GR_Window_GetY();
int32_t GR_Window_GetWidth();
int32_t GR_Window_GetHeight();
int32_t GR_Window_GetMouseX();
int32_t GR_Window_GetMouseY();
void GR_Window_SetMouse(int32_t x, int32_t y);
void GR_Window_SetColour(uint32_t colour);
uint32_t GR_Window_GetColour();
void GR_Window_SetCursor(int32_t constant);
int32_t GR_Window_GetCursor();

// ---- Design size ---------------------------------------------------------------------------
// The game's design size (-1: the window's own size), read with the window's client size by
// the virtual buttons and the overlay. DesignSize gives the design size resolved (a -1 side is
// the client's) and the client size.
void GR_SetDesignSize(int32_t width, int32_t height);
void DesignSize(int32_t* width, int32_t* height, int32_t* clientWidth, int32_t* clientHeight);

// ---- View-port table -------------------------------------------------------------------------
enum { GR_VIEWPORT_COUNT = 32 };
struct GR_ViewPortRecord {
    uint8_t inUse;
    float viewX, viewY, viewW, viewH;   // room coordinates
    float portX, portY, portW, portH;   // window coordinates of the screen texture
    float angle;                        // degrees
    int32_t extra;
};
void GR_ViewPort_Set(int32_t i, float viewX, float viewY, float viewW, float viewH, float portX,
                     float portY, float portW, float portH, float angle, int32_t extra);
void GR_ViewPort_Clear(int32_t i);
void GR_ViewPort_ClearAll();
int32_t GR_ViewPort_Count();
// Sets the count of records in use that the mouse mapping reads (the records stay) and answers
// the count before; the room drawing holds it at 0 while it maps the mouse for the cursor
// sprite and puts it back.
int32_t GR_ViewPort_HoldCount(int32_t count);
const GR_ViewPortRecord* GR_ViewPort_Get(int32_t i);
void GR_Window_MouseToRoomInView(int32_t i, int32_t x, int32_t y, int32_t* roomX, int32_t* roomY);
void GR_ViewPort_RoomToScreen(int32_t i, float roomX, float roomY, int32_t* x, int32_t* y);
void GR_Window_MouseToRoom(int32_t x, int32_t y, int32_t* roomX, int32_t* roomY);
int32_t GR_Window_ViewMouseGetX(int32_t i);
int32_t GR_Window_ViewMouseGetY(int32_t i);
int32_t GR_Window_DeviceMouseX(int32_t d);
int32_t GR_Window_DeviceMouseY(int32_t d);

