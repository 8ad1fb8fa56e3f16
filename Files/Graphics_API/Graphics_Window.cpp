// The main window, its procedure and the window operations (see Graphics_Window.h). Host
// calls go through the window host (Linux/Graphics_HostM.cpp).
//
// [SECTION] Creation
// [SECTION] Window procedure
// [SECTION] Window operations and cursor
// [SECTION] Design size
// [SECTION] View-port table and mouse mapping
#include "Files/Graphics_API/Graphics_Window.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Files/Base/Console.h"
#include "Files/Base/RealConvert.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Display.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_Host.h"
#include "Files/Support/Timing.h"
#include "Platform/MemoryManager.h"

static GR_WindowRecord g_win = {false, 0, 640, 480, 640, 480, 0, 0, 1, 1, 0, 0, 0, false};
GR_WindowRecord& GR_Window_Record() { return g_win; }

// Each side from 1 to its limit (a limit below 1 counts as 1); true when one changed.
static bool HoldWithin(int32_t* w, int32_t* h, int32_t mostW, int32_t mostH)
{
    const int32_t hw = std::clamp(*w, 1, std::max(mostW, 1)), hh = std::clamp(*h, 1, std::max(mostH, 1));
    const bool changed = hw != *w || hh != *h;
    *w = hw, *h = hh;
    return changed;
}

// ============================================================================================
// [SECTION] Creation
// ============================================================================================
void* GR_Window_Create(int32_t w, int32_t h)
{
    IWindowHost* host = WindowHost_Get();
    if (!host) return nullptr;
    int32_t dw, dh;
    host->GetDisplaySize(&dw, &dh);
    GR_Window_HoldSize(&w, &h);
    g_win.clientWidth = g_win.outerWidth = w;
    g_win.clientHeight = g_win.outerHeight = h;
    g_win.created = false;
    uint32_t bits = GR_Options().optionBits;
    g_win.style = (bits & 1) ? WSTYLE_POPUP : (bits & 64) ? WSTYLE_OVERLAPPEDWINDOW : WSTYLE_FIXEDWINDOW;
    // The game's drawing area keeps the game's size where the window is held to a smaller
    // display (the picture is scaled into the window), within the largest texture, which
    // holds it.
    GR_DeviceState& st = GR_D3D_State();
    st.screenWidth = GR_Options().windowWidth;
    st.screenHeight = GR_Options().windowHeight;
    HoldWithin(&st.screenWidth, &st.screenHeight, GR_D3D_MaxTextureSide(), GR_D3D_MaxTextureSide());
    int32_t left = (dw - g_win.clientWidth) / 2, top = (dh - g_win.clientHeight) / 2;
    int32_t r = left + g_win.clientWidth, b = top + g_win.clientHeight;
    Console_Debug()->Output("AdjustWindowRectEx\n");
    host->AdjustWindowRect(g_win.style, &left, &top, &r, &b);
    g_win.outerWidth = r - left;
    g_win.outerHeight = b - top;
    Console_Debug()->Output("RegisterClassEx\n");
    Console_Debug()->Output("CreateWindowEx\n");
    if (!host->CreateMainWindow("KVZimbrelKV", g_win.style, (dw - g_win.outerWidth) / 2,
                                (dh - g_win.outerHeight) / 2, g_win.outerWidth, g_win.outerHeight))
        return nullptr;
    g_win.created = true;
    g_win.showRequest = 1;
    // Waits of the timer pump the window's messages.
    Timing_SetEventPump([] { GR_Window_PumpMessages(); });
    GR_Window_SetCaption(GR_GetGameTitle(), true);
    if (bits & 32) {
        g_win.cursorConstant = 0;
        g_win.cursorIndex = 0;
    } else {
        g_win.cursorConstant = -1;
        g_win.cursorIndex = -1;
    }
    host->SetCursor(g_win.cursorIndex);
    return host->NativeWindow();
}

void GR_Window_GetLimit(int32_t* w, int32_t* h)
{
    IWindowHost* host = WindowHost_Get();
    *w = 640, *h = 480;
    if (!host) return;
    const int32_t most = GR_D3D_MaxTextureSide(); // the screen texture holds the window's picture
    *w = *h = most;
    if (host->Headless()) return;
    int32_t dw, dh;
    host->GetDisplaySize(&dw, &dh);
    *w = dw < most ? dw : most;
    *h = dh < most ? dh : most;
}

bool GR_Window_HoldSize(int32_t* w, int32_t* h)
{
    int32_t lw, lh;
    GR_Window_GetLimit(&lw, &lh);
    return HoldWithin(w, h, lw, lh);
}

bool GR_Window_ShowRequest() { return g_win.showRequest != 0; }
void GR_Window_ClearShowRequest() { g_win.showRequest = 0; }
bool GR_Window_HasFocus() { return g_win.focus != 0; }

bool GR_Window_PumpMessages()
{
    IWindowHost* host = WindowHost_Get();
    if (!host) return true;
    return host->PumpMessages();
}

// ============================================================================================
// [SECTION] Window procedure
// ============================================================================================
static int32_t KeyModifiers()
{
    IWindowHost* host = WindowHost_Get();
    if (!host) return 0;
    return (host->IsKeyDown(VKEY_SHIFT) ? 1 : 0) | (host->IsKeyDown(VKEY_MENU) ? 2 : 0) |
           (host->IsKeyDown(VKEY_CONTROL) ? 4 : 0);
}

static void KeyDown(int32_t key, int32_t mods, uint32_t data)
{
    if (GR_Hooks().keyDown) GR_Hooks().keyDown(key, mods, data);
}

static void KeyUp(int32_t key, int32_t mods)
{
    if (GR_Hooks().keyUp) GR_Hooks().keyUp(key, mods);
}

static void OnKeyDown(int32_t key, int64_t lParam)
{
    uint32_t data = ((uint32_t)lParam & ~0xFFu) | (((uint32_t)lParam >> 30) & 1);
    int32_t mods = KeyModifiers();
    bool extended = (lParam >> 24) & 1;
    KeyDown(key, mods, data);
    if (key == VKEY_MENU) KeyDown(extended ? VKEY_RMENU : VKEY_LMENU, mods, data);
    else if (key == VKEY_CONTROL) KeyDown(extended ? VKEY_RCONTROL : VKEY_LCONTROL, mods, data);
    else if (key == VKEY_SHIFT) {
        IWindowHost* host = WindowHost_Get();
        if (host && host->IsKeyDown(VKEY_RSHIFT)) {
            g_win.rightShiftScan = (uint8_t)((lParam >> 16) & 0xFF);
            KeyDown(VKEY_RSHIFT, mods, data);
        } else {
            KeyDown(VKEY_LSHIFT, mods, data);
        }
    }
}

static void OnKeyUp(int32_t key, int64_t lParam)
{
    int32_t mods = KeyModifiers();
    bool extended = (lParam >> 24) & 1;
    KeyUp(key, mods);
    if (key == VKEY_MENU) KeyUp(extended ? VKEY_RMENU : VKEY_LMENU, mods);
    else if (key == VKEY_CONTROL) KeyUp(extended ? VKEY_RCONTROL : VKEY_LCONTROL, mods);
    else if (key == VKEY_SHIFT)
        KeyUp(((lParam >> 16) & 0xFF) == g_win.rightShiftScan ? VKEY_RSHIFT : VKEY_LSHIFT, mods);
}

int64_t GR_Window_Proc(uint32_t message, uint64_t wParam, int64_t lParam)
{
    GR_HookTable& hooks = GR_Hooks();
    int32_t xLow = (int32_t)(int16_t)(lParam & 0xFFFF); // client positions are signed
    int32_t yHigh = (int32_t)(int16_t)((lParam >> 16) & 0xFFFF);
    switch (message) {
    case WMSG_DESTROY:
        g_win.quitSeen = true;
        if (hooks.quit) hooks.quit();
        return 0;
    case WMSG_ACTIVATE:
        if ((wParam & 0xFFFF) == 0 && lParam == 0) {
            Console_Debug()->Output("OS has raised a pause event\n");
            if (hooks.pauseEvent) hooks.pauseEvent();
        }
        return 0;
    case WMSG_SETFOCUS: g_win.focus = 1; return 0;
    case WMSG_KILLFOCUS: g_win.focus = 0; return 0;
    case WMSG_CLOSE:
        return GR_Window_Proc(WMSG_DESTROY, 0, 0), 0;
    case WMSG_ACTIVATEAPP: g_win.focus = wParam != 0; return 0;
    case WMSG_SETCURSOR:
        if ((lParam & 0xFFFF) == WHT_CLIENT) {
            IWindowHost* host = WindowHost_Get();
            if (host) host->SetCursor(g_win.cursorIndex);
            return 1;
        }
        return 0;
    case WMSG_KEYDOWN:
    case WMSG_SYSKEYDOWN: OnKeyDown((int32_t)(wParam & 0xFF), lParam); return 0;
    case WMSG_KEYUP:
    case WMSG_SYSKEYUP: OnKeyUp((int32_t)(wParam & 0xFF), lParam); return 0;
    case WMSG_CHAR:
        if (hooks.character) hooks.character((uint32_t)wParam);
        return 0;
    case WMSG_SYSCOMMAND:
        if ((wParam & 0xFFF0) == WSC_KEYMENU && lParam == VKEY_RETURN && GR_Options().allowFullscreenSwitch)
            GR_Window_SetFullscreen(!GR_Window_GetFullscreen());
        return 0;
    case WMSG_MOUSEMOVE:
        g_win.mouseX = (int32_t)(int16_t)(lParam & 0xFFFF);
        g_win.mouseY = yHigh;
        if (hooks.mouseMove) hooks.mouseMove(g_win.mouseX, g_win.mouseY);
        return 0;
    case WMSG_LBUTTONDOWN:
    case WMSG_RBUTTONDOWN:
    case WMSG_MBUTTONDOWN: {
        int32_t button = message == WMSG_LBUTTONDOWN ? 1 : message == WMSG_RBUTTONDOWN ? 2 : 3;
        if (hooks.mouseDown) hooks.mouseDown(button, xLow, yHigh);
        return 0;
    }
    case WMSG_LBUTTONUP:
    case WMSG_RBUTTONUP:
    case WMSG_MBUTTONUP: {
        int32_t button = message == WMSG_LBUTTONUP ? 1 : message == WMSG_RBUTTONUP ? 2 : 3;
        if (hooks.mouseUp) hooks.mouseUp(button, xLow, yHigh);
        return 0;
    }
    case WMSG_MOUSEWHEEL: {
        uint32_t keys = (uint32_t)(wParam & 0xFFFF);
        int32_t mods = ((keys & WMK_SHIFT) ? 1 : 0) | (KeyModifiers() & 2) | ((keys & WMK_CONTROL) ? 4 : 0) |
                       ((keys & WMK_LBUTTON) ? 8 : 0) | ((keys & WMK_RBUTTON) ? 16 : 0) |
                       ((keys & WMK_MBUTTON) ? 32 : 0);
        int32_t delta = (int32_t)(int16_t)((wParam >> 16) & 0xFFFF);
        // The message carries screen coordinates; the input state wants client ones.
        int32_t x = (int32_t)(int16_t)(lParam & 0xFFFF), y = yHigh;
        IWindowHost* host = WindowHost_Get();
        if (host) host->ScreenToClient(&x, &y);
        bool handled = false;
        if (delta > 0 && hooks.wheelUp) hooks.wheelUp(mods, x, y, &handled);
        else if (delta < 0 && hooks.wheelDown) hooks.wheelDown(mods, x, y, &handled);
        return handled ? 0 : 1;
    }
    case WMSG_SIZING: return 0;
    default: return 0;
    }
}

int32_t GR_Window_RecordedMouseX() { return g_win.mouseX; }
int32_t GR_Window_RecordedMouseY() { return g_win.mouseY; }

// ============================================================================================
// [SECTION] Window operations and cursor
// ============================================================================================
static char* g_caption = nullptr;
static uint32_t g_windowColour = 0xFF000000u;

int32_t GR_Window_GetScreenWidth() { return GR_D3D_State().screenWidth; }
int32_t GR_Window_GetScreenHeight() { return GR_D3D_State().screenHeight; }

void GR_Window_SetFullscreen(bool on)
{
    GR_D3D_State().fullscreen = on;
    GR_ResetPending = 1;
}

bool GR_Window_GetFullscreen() { return GR_D3D_State().fullscreen; }

void GR_Window_SetCaption(const char* text, bool force)
{
    if (!force && GR_Options().captionMode != 2 && GR_Options().captionMode != 3) return;
    if (!text) text = "";
    MEM_FREE(g_caption);
    g_caption = MEM_STRDUP(text);
    MessageBox_SetCaption(g_caption);
    IWindowHost* host = WindowHost_Get();
    if (host && g_win.created) host->SetCaption(g_caption);
}

const char* GR_Window_GetCaption() { return g_caption ? g_caption : ""; }

void GR_Window_Center()
{
    IWindowHost* host = WindowHost_Get();
    if (!host) return;
    int32_t x, y, w, h;
    host->GetWindowRect(&x, &y, &w, &h);
    const GR_Adapter* a = GR_Display_GetAdapter(0);
    int32_t dw = a ? a->desktopWidth : GR_Display_GetWidth();
    int32_t dh = a ? a->desktopHeight : GR_Display_GetHeight();
    host->MoveWindow((dw - w) / 2, (dh - h) / 2, w, h);
}

void GR_Window_SetPosition(int32_t x, int32_t y)
{
    IWindowHost* host = WindowHost_Get();
    if (!host) return;
    int32_t ox, oy, w, h;
    host->GetWindowRect(&ox, &oy, &w, &h);
    host->MoveWindow(x, y, w, h);
}

void GR_Window_SetSize(int32_t w, int32_t h)
{
    // A size the window cannot take is held to one it can, and said once: the game reads back
    // the size it got (window_get_width), and its picture is the window's.
    static int32_t saidW = 0, saidH = 0;
    const int32_t askedW = w, askedH = h;
    if (GR_Window_HoldSize(&w, &h) && (askedW != saidW || askedH != saidH)) {
        saidW = askedW, saidH = askedH;
        int32_t lw, lh;
        GR_Window_GetLimit(&lw, &lh);
        Console_Output("The window cannot be %d x %d (at most %d x %d): it is %d x %d\n", askedW, askedH, lw, lh, w, h);
    }
    GR_DeviceState& st = GR_D3D_State();
    st.pendingWidth = w;
    st.pendingHeight = h;
    st.keepPosition = true;
    GR_ResetPending = 1;
}

void GR_Window_SetRectangle(int32_t x, int32_t y, int32_t w, int32_t h)
{
    GR_Window_SetPosition(x, y);
    GR_Window_SetSize(w, h);
}

int32_t GR_Window_GetX()
{
    IWindowHost* host = WindowHost_Get();
    int32_t x = 0, y = 0, w, h;
    if (host) host->GetWindowRect(&x, &y, &w, &h);
    return x;
}

int32_t GR_Window_GetY()
{
    IWindowHost* host = WindowHost_Get();
    int32_t x = 0, y = 0, w, h;
    if (host) host->GetWindowRect(&x, &y, &w, &h);
    return y;
}

int32_t GR_Window_GetWidth()
{
    IWindowHost* host = WindowHost_Get();
    int32_t w = 0, h = 0;
    if (host) host->GetClientSize(&w, &h);
    return w;
}

int32_t GR_Window_GetHeight()
{
    IWindowHost* host = WindowHost_Get();
    int32_t w = 0, h = 0;
    if (host) host->GetClientSize(&w, &h);
    return h;
}

static void DeviceWindowMouse(int32_t d, int32_t* x, int32_t* y)
{
    *x = *y = 0;
    if (GR_Hooks().deviceMouse && GR_Hooks().deviceMouse(d, x, y)) return;
    if (d == 0) {
        *x = g_win.mouseX;
        *y = g_win.mouseY;
    }
}

int32_t GR_Window_GetMouseX()
{
    int32_t x, y;
    DeviceWindowMouse(0, &x, &y);
    return x;
}

int32_t GR_Window_GetMouseY()
{
    int32_t x, y;
    DeviceWindowMouse(0, &x, &y);
    return y;
}

void GR_Window_SetMouse(int32_t x, int32_t y)
{
    IWindowHost* host = WindowHost_Get();
    if (!host || !g_win.focus) return;
    // Client coordinates, as the getters report them.
    host->ClientToScreen(&x, &y);
    host->SetCursorPos(x, y);
}

void GR_Window_SetColour(uint32_t colour) { g_windowColour = colour | 0xFF000000u; }
uint32_t GR_Window_GetColour() { return g_windowColour & 0xFFFFFFu; }

void GR_Window_SetCursor(int32_t constant)
{
    int32_t index;
    switch (constant) {
    case 0: case -2: index = 0; break;
    case -1: case -5: index = -1; break;
    case -3: index = 2; break;
    case -4: index = 3; break;
    case -6: index = 4; break;
    case -7: index = 5; break;
    case -8: index = 6; break;
    case -9: index = 7; break;
    case -10: index = 8; break;
    case -11: index = 9; break;
    case -12: case -21: index = 10; break;
    case -13: case -14: case -15: case -16: case -17: case -18: index = 11; break;
    case -19: index = 12; break;
    case -20: index = 13; break;
    case -22: index = 14; break;
    default:
        g_win.cursorConstant = constant;
        return;
    }
    g_win.cursorConstant = constant;
    g_win.cursorIndex = index;
    IWindowHost* host = WindowHost_Get();
    if (host) host->SetCursor(index);
}

int32_t GR_Window_GetCursor() { return g_win.cursorConstant; }

// ============================================================================================
// [SECTION] Design size
// ============================================================================================
static int32_t g_designWidth = -1, g_designHeight = -1;

void GR_SetDesignSize(int32_t width, int32_t height)
{
    g_designWidth = width;
    g_designHeight = height;
}

void DesignSize(int32_t* width, int32_t* height, int32_t* clientWidth, int32_t* clientHeight)
{
    int32_t cw = g_win.clientWidth, ch = g_win.clientHeight;
    if (IWindowHost* host = WindowHost_Get(); host && g_win.created) host->GetClientSize(&cw, &ch);
    *clientWidth = cw;
    *clientHeight = ch;
    *width = g_designWidth == -1 ? cw : g_designWidth;
    *height = g_designHeight == -1 ? ch : g_designHeight;
}

// ============================================================================================
// [SECTION] View-port table and mouse mapping
// ============================================================================================
static GR_ViewPortRecord g_ports[GR_VIEWPORT_COUNT];
static int32_t g_portCount = 0;

void GR_ViewPort_Set(int32_t i, float vx, float vy, float vw, float vh, float px, float py, float pw,
                     float ph, float angle, int32_t extra)
{
    if (i < 0 || i >= GR_VIEWPORT_COUNT) return;
    GR_ViewPortRecord& r = g_ports[i];
    if (!r.inUse) ++g_portCount;
    r = {1, vx, vy, vw, vh, px, py, pw, ph, angle, extra};
}

void GR_ViewPort_Clear(int32_t i)
{
    if (i < 0 || i >= GR_VIEWPORT_COUNT) return;
    if (g_ports[i].inUse) --g_portCount;
    g_ports[i].inUse = 0;
}

void GR_ViewPort_ClearAll()
{
    for (auto& r : g_ports) r.inUse = 0;
    g_portCount = 0;
}

int32_t GR_ViewPort_Count() { return g_portCount; }

int32_t GR_ViewPort_HoldCount(int32_t count)
{
    const int32_t before = g_portCount;
    g_portCount = count;
    return before;
}
const GR_ViewPortRecord* GR_ViewPort_Get(int32_t i)
{
    return (i >= 0 && i < GR_VIEWPORT_COUNT) ? &g_ports[i] : nullptr;
}

// Window pixels per client pixel; 1 when the client area has no size (minimised).
static float WindowScale(int32_t screen, int32_t client, float offset)
{
    float denom = (float)client - 2.0f * offset;
    if (!(denom > 0.0f)) return 1.0f;
    return (float)screen / denom;
}

static float Scale(float s) { return (s == 0.0f || s != s) ? 1.0f : s; }

// The mappings below work on view-port records a script filled: any value, NaN and the
// infinities included. Their integer steps are held conversions and 64-bit differences.
void GR_Window_MouseToRoomInView(int32_t i, int32_t x, int32_t y, int32_t* roomX, int32_t* roomY)
{
    if (i < 0 || i >= GR_VIEWPORT_COUNT) return;
    const GR_ViewPortRecord& r = g_ports[i];
    if (!r.inUse || r.portW == 0.0f || r.portH == 0.0f) return;
    GR_DeviceState& st = GR_D3D_State();
    float ox, oy;
    GR_D3D_GetLetterboxOffset(&ox, &oy);
    GR_WindowStateRecord& ws = GR_WindowState();
    int64_t mx = Real_TruncToInt32Clamped((float)x * WindowScale(st.screenWidth, st.clientWidth, ox) / Scale(ws.roomScaleX));
    int64_t my = Real_TruncToInt32Clamped((float)y * WindowScale(st.screenHeight, st.clientHeight, oy) / Scale(ws.roomScaleY));
    mx -= Real_TruncToInt32Clamped(r.portX);
    my -= Real_TruncToInt32Clamped(r.portY);
    float vx = (float)mx * r.viewW / r.portW, vy = (float)my * r.viewH / r.portH;
    if (std::fabs(r.angle) < 0.01f) {
        *roomX = Real_RoundToInt32Clamped(r.viewX + vx);
        *roomY = Real_RoundToInt32Clamped(r.viewY + vy);
        return;
    }
    float a = -r.angle * 0.01745329238474369f;
    float dx = vx - r.viewW / 2, dy = vy - r.viewH / 2, c = std::cos(a), s = std::sin(a);
    *roomX = Real_RoundToInt32Clamped(r.viewX + r.viewW / 2 + c * dx + s * dy);
    *roomY = Real_RoundToInt32Clamped(r.viewY + r.viewH / 2 - s * dx + c * dy);
}

void GR_ViewPort_RoomToScreen(int32_t i, float roomX, float roomY, int32_t* x, int32_t* y)
{
    *x = Real_RoundToInt32Clamped(roomX);
    *y = Real_RoundToInt32Clamped(roomY);
    if (i < 0 || i >= GR_VIEWPORT_COUNT) return;
    const GR_ViewPortRecord& r = g_ports[i];
    if (!r.inUse || r.viewW == 0.0f || r.viewH == 0.0f) return;
    float px = (roomX - r.viewX) * r.portW / r.viewW, py = (roomY - r.viewY) * r.portH / r.viewH;
    if (std::fabs(r.angle) < 0.01f) {
        *x = Real_RoundToInt32Clamped(r.portX + px);
        *y = Real_RoundToInt32Clamped(r.portY + py);
        return;
    }
    float a = r.angle * 0.01745329238474369f;
    float dx = px - r.portW / 2, dy = py - r.portH / 2, c = std::cos(a), s = std::sin(a);
    *x = Real_RoundToInt32Clamped(r.portX + r.portW / 2 + c * dx + s * dy);
    *y = Real_RoundToInt32Clamped(r.portY + r.portH / 2 - s * dx + c * dy);
}

void GR_Window_MouseToRoom(int32_t x, int32_t y, int32_t* roomX, int32_t* roomY)
{
    float ox, oy;
    GR_D3D_GetLetterboxOffset(&ox, &oy);
    x -= Real_TruncToInt32(ox);
    y -= Real_TruncToInt32(oy);
    GR_DeviceState& st = GR_D3D_State();
    if (g_portCount == 0) {
        *roomX = Real_TruncToInt32Clamped((float)x * WindowScale(st.screenWidth, st.clientWidth, ox));
        *roomY = Real_TruncToInt32Clamped((float)y * WindowScale(st.screenHeight, st.clientHeight, oy));
        return;
    }
    for (int32_t i = GR_VIEWPORT_COUNT - 1; i >= 0; --i) {
        const GR_ViewPortRecord& r = g_ports[i];
        if (!r.inUse) continue;
        GR_Window_MouseToRoomInView(i, x, y, roomX, roomY);
        if (r.viewX <= (float)*roomX && (float)*roomX < r.viewX + r.viewW && r.viewY <= (float)*roomY &&
            (float)*roomY < r.viewY + r.viewH)
            return;
    }
}

// The window mouse position through record i, with the letterbox offsets taken off as the
// mapping through all views does.
static void ViewMouse(int32_t i, int32_t* rx, int32_t* ry)
{
    int32_t x, y;
    DeviceWindowMouse(0, &x, &y);
    float ox, oy;
    GR_D3D_GetLetterboxOffset(&ox, &oy);
    *rx = *ry = 0;
    GR_Window_MouseToRoomInView(i, x - Real_TruncToInt32(ox), y - Real_TruncToInt32(oy), rx, ry);
}

int32_t GR_Window_ViewMouseGetX(int32_t i)
{
    int32_t x, y;
    ViewMouse(i, &x, &y);
    return x;
}

int32_t GR_Window_ViewMouseGetY(int32_t i)
{
    int32_t x, y;
    ViewMouse(i, &x, &y);
    return y;
}

int32_t GR_Window_DeviceMouseX(int32_t d)
{
    if (d < 0 || d > 4) return 0;
    int32_t x, y, rx = 0, ry = 0;
    DeviceWindowMouse(d, &x, &y);
    GR_Window_MouseToRoom(x, y, &rx, &ry);
    return rx;
}

int32_t GR_Window_DeviceMouseY(int32_t d)
{
    if (d < 0 || d > 4) return 0;
    int32_t x, y, rx = 0, ry = 0;
    DeviceWindowMouse(d, &x, &y);
    GR_Window_MouseToRoom(x, y, &rx, &ry);
    return ry;
}
