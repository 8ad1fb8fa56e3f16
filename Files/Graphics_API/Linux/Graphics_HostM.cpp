// The SDL2 window host (see Graphics_Host.h): the main window (made hidden, with an OpenGL
// context profile of compatibility), styles, position and size, cursor, key state, the event
// loop that feeds the window procedure with messages in Windows numbering (translated by
// Graphics_EventsM.cpp, whose record of the keys held answers the key-state questions),
// injected keys, and the display modes. The window manager draws the frame, so outer and
// client rectangles coincide.
#include <SDL2/SDL.h>

#include <cstdlib>
#include <ctime>
#include <cstring>
#include <string>

#include "Files/Base/Console.h"
#include "Files/Base/RealConvert.h"
#include "Files/Graphics_API/Graphics_Host.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/Graphics_API/Linux/Graphics_EventsM.h"

namespace {

GR_SdlEventFilter g_filter = nullptr;

class SDLHost : public IWindowHost {
public:
    SDLHost() { GR_Sdl_StartVideo(); }

    bool CreateMainWindow(const char*, uint32_t style, int32_t x, int32_t y, int32_t w, int32_t h) override
    {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
        SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        // The headless window keeps alpha as the screen texture does, so that a frame can be
        // drawn straight into it (the device's PresentKeepsBackBuffer); a shown window does not
        // (a compositor would take it for the window's own transparency).
        const char* driver = SDL_GetCurrentVideoDriver();
        SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, driver && std::strcmp(driver, "offscreen") == 0 ? 8 : 0);
        uint32_t flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
        m_window = SDL_CreateWindow("", x, y, w, h, flags);
        if (!m_window) return false;
        GR_Sdl_WatchDisplay(); // again: the window's making may have set the display library's own
        GR_Sdl_WatchWindow(m_window);
        SetStyle(style);
        SDL_StartTextInput();
        return true;
    }

    void* NativeWindow() override { return m_window; }
    uint32_t WindowId() override { return m_window ? SDL_GetWindowID(m_window) : 0; }

    void SetStyle(uint32_t style) override
    {
        m_style = style;
        if (!m_window) return;
        SDL_SetWindowBordered(m_window, (style & WSTYLE_CAPTION) ? SDL_TRUE : SDL_FALSE);
        SDL_SetWindowResizable(m_window, (style & WSTYLE_THICKFRAME) ? SDL_TRUE : SDL_FALSE);
    }

    uint32_t GetStyle() override { return m_style; }
    void AdjustWindowRect(uint32_t, int32_t*, int32_t*, int32_t*, int32_t*) override {}

    void SetWindowPos(int32_t x, int32_t y, int32_t w, int32_t h) override
    {
        if (!m_window) return;
        SDL_SetWindowSize(m_window, w, h);
        SDL_SetWindowPosition(m_window, x, y);
    }

    void MoveWindow(int32_t x, int32_t y, int32_t w, int32_t h) override { SetWindowPos(x, y, w, h); }

    void GetWindowRect(int32_t* x, int32_t* y, int32_t* w, int32_t* h) override
    {
        int ix = 0, iy = 0, iw = 0, ih = 0;
        if (m_window) {
            SDL_GetWindowPosition(m_window, &ix, &iy);
            SDL_GetWindowSize(m_window, &iw, &ih);
        }
        *x = ix;
        *y = iy;
        *w = iw;
        *h = ih;
    }

    void GetClientSize(int32_t* w, int32_t* h) override
    {
        int iw = 0, ih = 0;
        if (m_window && !(SDL_GetWindowFlags(m_window) & SDL_WINDOW_MINIMIZED)) SDL_GetWindowSize(m_window, &iw, &ih);
        *w = iw;
        *h = ih;
    }

    // In 64 bits, held to the 32-bit range: a game may put the window and the mouse anywhere.
    void ClientToScreen(int32_t* x, int32_t* y) override
    {
        int ix = 0, iy = 0;
        if (m_window) SDL_GetWindowPosition(m_window, &ix, &iy);
        *x = Int_HoldToInt32(int64_t(*x) + ix);
        *y = Int_HoldToInt32(int64_t(*y) + iy);
    }

    void ScreenToClient(int32_t* x, int32_t* y) override
    {
        int ix = 0, iy = 0;
        if (m_window) SDL_GetWindowPosition(m_window, &ix, &iy);
        *x = Int_HoldToInt32(int64_t(*x) - ix);
        *y = Int_HoldToInt32(int64_t(*y) - iy);
    }

    void ShowWindow() override
    {
        if (m_window) SDL_ShowWindow(m_window);
    }

    void SetCaption(const char* utf8) override
    {
        if (m_window) SDL_SetWindowTitle(m_window, utf8 ? utf8 : "");
    }

    void Destroy() override
    {
        if (m_window) GR_Sdl_DestroyWindow(m_window);
        m_window = nullptr;
    }

    void SetCursor(int32_t index) override
    {
        // Cursor table (ORDER: the window's cursor indices 0..14); SDL lacks up arrow, the
        // two arrow-with-badge cursors and falls back to its nearest.
        static const SDL_SystemCursor kTable[15] = {
            SDL_SYSTEM_CURSOR_ARROW, SDL_SYSTEM_CURSOR_ARROW, SDL_SYSTEM_CURSOR_CROSSHAIR, SDL_SYSTEM_CURSOR_IBEAM,
            SDL_SYSTEM_CURSOR_SIZENESW, SDL_SYSTEM_CURSOR_SIZENS, SDL_SYSTEM_CURSOR_SIZENWSE, SDL_SYSTEM_CURSOR_SIZEWE,
            SDL_SYSTEM_CURSOR_ARROW, SDL_SYSTEM_CURSOR_WAIT, SDL_SYSTEM_CURSOR_HAND, SDL_SYSTEM_CURSOR_NO,
            SDL_SYSTEM_CURSOR_WAITARROW, SDL_SYSTEM_CURSOR_ARROW, SDL_SYSTEM_CURSOR_SIZEALL};
        if (index < 0 || index > 14) {
            SDL_ShowCursor(SDL_DISABLE);
            return;
        }
        if (!m_cursors[index]) m_cursors[index] = SDL_CreateSystemCursor(kTable[index]);
        if (m_cursors[index]) SDL_SetCursor(m_cursors[index]);
        SDL_ShowCursor(SDL_ENABLE);
    }

    bool GetCursorPos(int32_t* x, int32_t* y) override
    {
        int ix = 0, iy = 0;
        SDL_GetGlobalMouseState(&ix, &iy);
        *x = ix;
        *y = iy;
        return true;
    }

    void SetCursorPos(int32_t x, int32_t y) override { SDL_WarpMouseGlobal(x, y); }

    bool IsKeyDown(int32_t vkey) override
    {
        // Mouse buttons from the pointer's global state; keys from what the events told
        // (SDL knows no key state outside its windows).
        if (vkey == 1 || vkey == 2 || vkey == 4) {
            uint32_t b = SDL_GetGlobalMouseState(nullptr, nullptr);
            uint32_t mask = vkey == 1 ? SDL_BUTTON_LMASK : vkey == 2 ? SDL_BUTTON_RMASK : SDL_BUTTON_MMASK;
            return (b & mask) != 0;
        }
        return vkey >= 0 && vkey < 256 && m_input.keyDown[vkey];
    }

    bool PostKey(int32_t vkey, bool down) override
    {
        if (!GR_Sdl_PostKey(vkey, down)) return false;
        // The lock toggles at the press, as the system's lock state does.
        if (down && vkey == 144) SDL_SetModState(SDL_Keymod(SDL_GetModState() ^ KMOD_NUM));
        return true;
    }

    bool IsNumLockOn() override { return (SDL_GetModState() & KMOD_NUM) != 0; }

    bool PumpMessages() override
    {
        SDL_Event e;
        while (SDL_PollEvent(&e)) {
            if (g_filter && g_filter(e)) continue;
            Deliver(e);
        }
        return !GR_Window_Record().quitSeen;
    }

    int32_t GetDisplayCount() override { return SDL_GetNumVideoDisplays(); }

    void GetDisplaySize(int32_t* w, int32_t* h) override
    {
        SDL_DisplayMode m;
        if (SDL_GetDesktopDisplayMode(0, &m) == 0) {
            *w = m.w;
            *h = m.h;
        } else {
            *w = 640;
            *h = 480;
        }
    }

    bool Headless() override
    {
        const char* driver = SDL_GetCurrentVideoDriver();
        return driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
    }

    bool GetCurrentMode(int32_t display, HostDisplayMode* mode) override
    {
        SDL_DisplayMode m;
        if (SDL_GetDesktopDisplayMode(display, &m) != 0) return false;
        SDL_Rect r{0, 0, m.w, m.h};
        SDL_GetDisplayBounds(display, &r);
        *mode = {m.w, m.h, (int32_t)SDL_BITSPERPIXEL(m.format), m.refresh_rate, r.x, r.y};
        return true;
    }

    bool EnumMode(int32_t display, int32_t index, HostDisplayMode* mode) override
    {
        SDL_DisplayMode m;
        if (index < 0 || index >= SDL_GetNumDisplayModes(display) || SDL_GetDisplayMode(display, index, &m) != 0)
            return false;
        *mode = {m.w, m.h, (int32_t)SDL_BITSPERPIXEL(m.format), m.refresh_rate, 0, 0};
        return true;
    }

    const char* GetDisplayName(int32_t display) override { return SDL_GetDisplayName(display); }

    // SDL changes modes only for full-screen windows: the mode is kept as the window's
    // full-screen mode and takes effect when the game runs full screen.
    bool ChangeMode(int32_t w, int32_t h, int32_t f, int32_t b, bool test) override
    {
        SDL_DisplayMode want{}, got{};
        SDL_GetDesktopDisplayMode(0, &want);
        if (w > 0) want.w = w;
        if (h > 0) want.h = h;
        if (f > 0) want.refresh_rate = f;
        if (!SDL_GetClosestDisplayMode(0, &want, &got)) return false;
        if (got.w != want.w || got.h != want.h) return false;
        if (b > 0 && b != 16 && b != 32 && b != 24) return false;
        if (test) return true;
        return m_window && SDL_SetWindowDisplayMode(m_window, &got) == 0;
    }

private:
    void Deliver(const SDL_Event& e)
    {
        int wx = 0, wy = 0;
        if (m_window && e.type == SDL_MOUSEWHEEL) SDL_GetWindowPosition(m_window, &wx, &wy);
        GR_MessageList list;
        GR_Sdl_Translate(m_input, e, wx, wy, list);
        for (int32_t i = 0; i < list.count; ++i)
            GR_Window_Proc(list.items[i].message, list.items[i].wParam, list.items[i].lParam);
    }

    SDL_Window* m_window = nullptr;
    uint32_t m_style = 0;
    SDL_Cursor* m_cursors[15] = {};
    GR_SdlInputState m_input = {};
};

} // namespace

IWindowHost* WindowHost_CreateSDL() { return new SDLHost(); }

void GR_Sdl_SetEventFilter(GR_SdlEventFilter filter) { g_filter = filter; }

bool GR_Sdl_StartVideo()
{
    if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
    // A click that gives a window the input focus is a click in it too (SDL drops a click that
    // comes within 10 ms of its window's focus, and the runner gives its windows the focus
    // itself: a click on a window just shown or just given the focus was lost).
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    const char* driver = SDL_GetCurrentVideoDriver();
    if ((asked && *asked) || !driver || (std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0)) {
        GR_Sdl_WatchDisplay();
        return true;
    }
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const bool hasX11 = x11 && *x11, hasWayland = wayland && *wayland;
    if (!hasX11 && !hasWayland) return true; // no display named: headless as meant
    // A display is named but its driver did not start (no server there, or the server closed
    // the connection while it was being made): once more with that driver alone, which also
    // gives SDL's reason when it fails again; then back to the driver that did start.
    const std::string fallback = driver;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    SDL_SetHint(SDL_HINT_VIDEODRIVER, hasX11 ? "x11" : "wayland");
    const bool started = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    std::string reason = started ? "" : SDL_GetError();
    if (!started) {
        if (reason.empty()) reason = "no display server answered";
        Console_Problem("the display %s cannot be opened (%s); playing without a window", hasX11 ? x11 : wayland,
                        reason.c_str());
        SDL_SetHint(SDL_HINT_VIDEODRIVER, fallback.c_str());
    }
    const bool ok = started || SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    SDL_ResetHint(SDL_HINT_VIDEODRIVER);
    if (ok) GR_Sdl_WatchDisplay();
    return ok;
}

uint64_t GR_Clock_Micros()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000000ull + (uint64_t)ts.tv_nsec / 1000;
}
