// The window host: our stand-in for the Win32 window calls, display settings, cursor and
// message pump that the window, display and device layers make. It is shaped by those
// callers: the portable code (Graphics_Window, Graphics_Display, Graphics_D3D) keeps the
// Windows logic (styles, centring, the window procedure's message handling) and only asks the
// host to carry it out. Messages keep their Windows numbers so that the window procedure can
// be fed by the SDL event loop (Linux/Graphics_HostM.cpp) or by a test.
//
// Implementations: Linux/Graphics_HostM.cpp (SDL2) and tests/support/FakeHost.
#pragma once

#include <cstdint>

// Window styles (Windows numbers).
enum : uint32_t {
    WSTYLE_POPUP = 0x80000000u, WSTYLE_VISIBLE = 0x10000000u, WSTYLE_CAPTION = 0x00C00000u,
    WSTYLE_SYSMENU = 0x00080000u, WSTYLE_THICKFRAME = 0x00040000u,
    WSTYLE_MINIMIZEBOX = 0x00020000u, WSTYLE_MAXIMIZEBOX = 0x00010000u,
    WSTYLE_OVERLAPPEDWINDOW = 0x00CF0000u, WSTYLE_FIXEDWINDOW = 0x00CA0000u,
};

// Window messages (Windows numbers) and the few parameters the procedure reads.
enum : uint32_t {
    WMSG_DESTROY = 0x0002, WMSG_ACTIVATE = 0x0006, WMSG_SETFOCUS = 0x0007,
    WMSG_KILLFOCUS = 0x0008, WMSG_CLOSE = 0x0010, WMSG_QUIT = 0x0012,
    WMSG_ACTIVATEAPP = 0x001C, WMSG_SETCURSOR = 0x0020, WMSG_KEYDOWN = 0x0100,
    WMSG_KEYUP = 0x0101, WMSG_CHAR = 0x0102, WMSG_SYSKEYDOWN = 0x0104, WMSG_SYSKEYUP = 0x0105,
    WMSG_SYSCOMMAND = 0x0112, WMSG_MOUSEMOVE = 0x0200, WMSG_LBUTTONDOWN = 0x0201,
    WMSG_LBUTTONUP = 0x0202, WMSG_RBUTTONDOWN = 0x0204, WMSG_RBUTTONUP = 0x0205,
    WMSG_MBUTTONDOWN = 0x0207, WMSG_MBUTTONUP = 0x0208, WMSG_MOUSEWHEEL = 0x020A,
    WMSG_SIZING = 0x0214,
    WSC_KEYMENU = 0xF100, WHT_CLIENT = 1,
    // Key-state flags of mouse messages (low word of wParam).
    WMK_LBUTTON = 0x1, WMK_RBUTTON = 0x2, WMK_SHIFT = 0x4, WMK_CONTROL = 0x8, WMK_MBUTTON = 0x10,
};

// Virtual keys the window procedure treats specially.
enum : int32_t {
    VKEY_SHIFT = 16, VKEY_CONTROL = 17, VKEY_MENU = 18, VKEY_RETURN = 13,
    VKEY_LSHIFT = 160, VKEY_RSHIFT = 161, VKEY_LCONTROL = 162, VKEY_RCONTROL = 163,
    VKEY_LMENU = 164, VKEY_RMENU = 165,
};

struct HostDisplayMode {
    int32_t width, height, bitsPerPixel, refreshRate;
    int32_t left, top; // desktop position (current mode only)
};

class IWindowHost {
public:
    virtual ~IWindowHost() = default;

    // ---- window (rectangles are outer rectangles in screen coordinates unless named client)
    // Creates the main window, not yet shown; false on failure.
    virtual bool CreateMainWindow(const char* className, uint32_t style, int32_t x, int32_t y,
                                  int32_t w, int32_t h) = 0;
    virtual void* NativeWindow() = 0; // what the device is created on (null when none)
    virtual void SetStyle(uint32_t style) = 0;
    virtual uint32_t GetStyle() = 0;
    // Grows a client rectangle into the outer rectangle of a window of that style.
    virtual void AdjustWindowRect(uint32_t style, int32_t* left, int32_t* top, int32_t* right,
                                  int32_t* bottom) = 0;
    virtual void SetWindowPos(int32_t x, int32_t y, int32_t w, int32_t h) = 0;
    virtual void MoveWindow(int32_t x, int32_t y, int32_t w, int32_t h) = 0;
    virtual void GetWindowRect(int32_t* x, int32_t* y, int32_t* w, int32_t* h) = 0;
    virtual void GetClientSize(int32_t* w, int32_t* h) = 0;
    virtual void ClientToScreen(int32_t* x, int32_t* y) = 0;
    virtual void ScreenToClient(int32_t* x, int32_t* y) = 0;
    virtual void ShowWindow() = 0;
    virtual void SetCaption(const char* utf8) = 0;
    virtual void Destroy() = 0;
    // A number naming the main window to the host's other programs (window_handle); 0 when
    // there is none.
    virtual uint32_t WindowId() { return 0; }

    // ---- cursor: index into the cursor table (0..14) or -1 for no cursor
    virtual void SetCursor(int32_t tableIndex) = 0;
    virtual bool GetCursorPos(int32_t* x, int32_t* y) = 0;
    virtual void SetCursorPos(int32_t x, int32_t y) = 0;
    // Key state of a virtual key as the window procedure asks for it (down or not); also the
    // key state that keyboard_check_direct reads (mouse buttons 1, 2 and 4 included).
    virtual bool IsKeyDown(int32_t vkey) = 0;
    // Queues a key going down or up, delivered to the window procedure by the pump like a
    // key of the keyboard (keyboard_key_press, keyboard_key_release, keyboard_set_numlock);
    // false when the host cannot.
    virtual bool PostKey(int32_t vkey, bool down)
    {
        (void)vkey;
        (void)down;
        return false;
    }
    // The Num Lock toggle.
    virtual bool IsNumLockOn() { return false; }

    // ---- message pump: delivers every pending event to GR_Window_Proc; false after quit
    virtual bool PumpMessages() = 0;

    // ---- display (primary display unless a display index is given)
    virtual int32_t GetDisplayCount() = 0;
    virtual void GetDisplaySize(int32_t* w, int32_t* h) = 0;
    // No display holds the window (SDL's offscreen or dummy driver): the window takes any size
    // a game asks for, not just the size of the display SDL makes up.
    virtual bool Headless() { return false; }
    virtual bool GetCurrentMode(int32_t display, HostDisplayMode* mode) = 0;
    virtual bool EnumMode(int32_t display, int32_t index, HostDisplayMode* mode) = 0;
    virtual const char* GetDisplayName(int32_t display) = 0;
    // Fields of 0 or below are left out; test only asks whether the change would be accepted.
    virtual bool ChangeMode(int32_t w, int32_t h, int32_t frequency, int32_t bits, bool test) = 0;
};

// The host the graphics layer uses: the one installed, else the SDL host, made on first use.
void WindowHost_Set(IWindowHost* host);
IWindowHost* WindowHost_Get();
IWindowHost* WindowHost_CreateSDL(); // Linux/Graphics_HostM.cpp

// Microseconds of a monotonic clock (frame timing; Linux/Graphics_HostM.cpp).
uint64_t GR_Clock_Micros();
