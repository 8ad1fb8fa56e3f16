// The SDL2 window host (see Graphics_Host.h): the main window (made hidden, with an OpenGL
// context profile of compatibility), styles, position and size, cursor, key state, the event
// loop that feeds the window procedure with messages in Windows numbering, and the display
// modes. The window manager draws the frame, so outer and client rectangles coincide.
#include <SDL2/SDL.h>

#include <ctime>
#include <cstring>

#include "Files/Graphics_API/Graphics_Host.h"
#include "Files/Graphics_API/Graphics_Window.h"

namespace {

// SDL key codes to Windows virtual keys (0 = none).
int32_t VirtualKey(SDL_Keycode k)
{
    if (k >= SDLK_a && k <= SDLK_z) return 'A' + (k - SDLK_a);
    if (k >= SDLK_0 && k <= SDLK_9) return '0' + (k - SDLK_0);
    if (k >= SDLK_F1 && k <= SDLK_F12) return 112 + (k - SDLK_F1);
    if (k >= SDLK_KP_1 && k <= SDLK_KP_9) return 97 + (k - SDLK_KP_1);
    switch (k) {
    case SDLK_KP_0: return 96;
    case SDLK_LEFT: return 37;
    case SDLK_UP: return 38;
    case SDLK_RIGHT: return 39;
    case SDLK_DOWN: return 40;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return 13;
    case SDLK_ESCAPE: return 27;
    case SDLK_BACKSPACE: return 8;
    case SDLK_TAB: return 9;
    case SDLK_SPACE: return 32;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return 16;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return 17;
    case SDLK_LALT:
    case SDLK_RALT: return 18;
    case SDLK_PAUSE: return 19;
    case SDLK_CAPSLOCK: return 20;
    case SDLK_PAGEUP: return 33;
    case SDLK_PAGEDOWN: return 34;
    case SDLK_END: return 35;
    case SDLK_HOME: return 36;
    case SDLK_PRINTSCREEN: return 44;
    case SDLK_INSERT: return 45;
    case SDLK_DELETE: return 46;
    case SDLK_LGUI: return 91;
    case SDLK_RGUI: return 92;
    case SDLK_APPLICATION: return 93;
    case SDLK_KP_MULTIPLY: return 106;
    case SDLK_KP_PLUS: return 107;
    case SDLK_KP_MINUS: return 109;
    case SDLK_KP_PERIOD: return 110;
    case SDLK_KP_DIVIDE: return 111;
    case SDLK_NUMLOCKCLEAR: return 144;
    case SDLK_SCROLLLOCK: return 145;
    case SDLK_SEMICOLON: return 186;
    case SDLK_EQUALS: return 187;
    case SDLK_COMMA: return 188;
    case SDLK_MINUS: return 189;
    case SDLK_PERIOD: return 190;
    case SDLK_SLASH: return 191;
    case SDLK_BACKQUOTE: return 192;
    case SDLK_LEFTBRACKET: return 219;
    case SDLK_BACKSLASH: return 220;
    case SDLK_RIGHTBRACKET: return 221;
    case SDLK_QUOTE: return 222;
    default: return 0;
    }
}

// The message data of a key: PC scan code in bits 16-23, extended bit 24, repeat bit 30.
int64_t KeyData(const SDL_KeyboardEvent& e)
{
    uint32_t scan = (uint32_t)e.keysym.scancode & 0xFF, ext = 0;
    switch (e.keysym.sym) {
    case SDLK_LSHIFT: scan = 0x2A; break;
    case SDLK_RSHIFT: scan = 0x36; break;
    case SDLK_LCTRL: scan = 0x1D; break;
    case SDLK_RCTRL: scan = 0x1D; ext = 1; break;
    case SDLK_LALT: scan = 0x38; break;
    case SDLK_RALT: scan = 0x38; ext = 1; break;
    default: break;
    }
    return (int64_t)(1 | scan << 16 | ext << 24 | (e.repeat ? 1u << 30 : 0u));
}

class SDLHost : public IWindowHost {
public:
    SDLHost()
    {
        if (!SDL_WasInit(SDL_INIT_VIDEO)) SDL_InitSubSystem(SDL_INIT_VIDEO);
    }

    bool CreateMainWindow(const char*, uint32_t style, int32_t x, int32_t y, int32_t w, int32_t h) override
    {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
        SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        uint32_t flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
        m_window = SDL_CreateWindow("", x, y, w, h, flags);
        if (!m_window) return false;
        SetStyle(style);
        SDL_StartTextInput();
        return true;
    }

    void* NativeWindow() override { return m_window; }

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

    void ClientToScreen(int32_t* x, int32_t* y) override
    {
        int ix = 0, iy = 0;
        if (m_window) SDL_GetWindowPosition(m_window, &ix, &iy);
        *x += ix;
        *y += iy;
    }

    void ScreenToClient(int32_t* x, int32_t* y) override
    {
        int ix = 0, iy = 0;
        if (m_window) SDL_GetWindowPosition(m_window, &ix, &iy);
        *x -= ix;
        *y -= iy;
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
        if (m_window) SDL_DestroyWindow(m_window);
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
        SDL_Keymod m = SDL_GetModState();
        switch (vkey) {
        case VKEY_SHIFT: return (m & KMOD_SHIFT) != 0;
        case VKEY_CONTROL: return (m & KMOD_CTRL) != 0;
        case VKEY_MENU: return (m & KMOD_ALT) != 0;
        case VKEY_LSHIFT: return (m & KMOD_LSHIFT) != 0;
        case VKEY_RSHIFT: return (m & KMOD_RSHIFT) != 0;
        default: return false;
        }
    }

    bool PumpMessages() override
    {
        SDL_Event e;
        while (SDL_PollEvent(&e)) Deliver(e);
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
        switch (e.type) {
        case SDL_QUIT: GR_Window_Proc(WMSG_CLOSE, 0, 0); break;
        case SDL_WINDOWEVENT:
            if (e.window.event == SDL_WINDOWEVENT_CLOSE) GR_Window_Proc(WMSG_CLOSE, 0, 0);
            else if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) {
                GR_Window_Proc(WMSG_SETFOCUS, 0, 0);
                GR_Window_Proc(WMSG_ACTIVATEAPP, 1, 0);
            } else if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
                GR_Window_Proc(WMSG_KILLFOCUS, 0, 0);
                GR_Window_Proc(WMSG_ACTIVATEAPP, 0, 0);
                GR_Window_Proc(WMSG_ACTIVATE, 0, 0);
            }
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            int32_t vk = VirtualKey(e.key.keysym.sym);
            if (!vk) break;
            bool alt = (SDL_GetModState() & KMOD_ALT) != 0;
            bool down = e.type == SDL_KEYDOWN;
            uint32_t msg = down ? (alt ? WMSG_SYSKEYDOWN : WMSG_KEYDOWN) : (alt ? WMSG_SYSKEYUP : WMSG_KEYUP);
            GR_Window_Proc(msg, (uint64_t)vk, KeyData(e.key));
            if (down && alt && vk == VKEY_RETURN) GR_Window_Proc(WMSG_SYSCOMMAND, WSC_KEYMENU, VKEY_RETURN);
            // Keys that type a control character.
            if (down && (vk == 8 || vk == 9 || vk == 13 || vk == 27)) GR_Window_Proc(WMSG_CHAR, (uint64_t)vk, 0);
            break;
        }
        case SDL_TEXTINPUT: {
            // UTF-8 into UTF-16 units.
            const unsigned char* s = (const unsigned char*)e.text.text;
            while (*s) {
                uint32_t c = *s++, extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
                c &= extra == 3 ? 0x07 : extra == 2 ? 0x0F : extra == 1 ? 0x1F : 0x7F;
                for (uint32_t i = 0; i < extra && (*s & 0xC0) == 0x80; ++i) c = c << 6 | (*s++ & 0x3F);
                if (c >= 0x10000) {
                    c -= 0x10000;
                    GR_Window_Proc(WMSG_CHAR, 0xD800 | (c >> 10), 0);
                    GR_Window_Proc(WMSG_CHAR, 0xDC00 | (c & 0x3FF), 0);
                } else {
                    GR_Window_Proc(WMSG_CHAR, c, 0);
                }
            }
            break;
        }
        case SDL_MOUSEMOTION:
            GR_Window_Proc(WMSG_MOUSEMOVE, 0, (int64_t)(((uint32_t)e.motion.y & 0xFFFF) << 16 | ((uint32_t)e.motion.x & 0xFFFF)));
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            bool down = e.type == SDL_MOUSEBUTTONDOWN;
            uint32_t msg;
            if (e.button.button == SDL_BUTTON_LEFT) msg = down ? WMSG_LBUTTONDOWN : WMSG_LBUTTONUP;
            else if (e.button.button == SDL_BUTTON_RIGHT) msg = down ? WMSG_RBUTTONDOWN : WMSG_RBUTTONUP;
            else if (e.button.button == SDL_BUTTON_MIDDLE) msg = down ? WMSG_MBUTTONDOWN : WMSG_MBUTTONUP;
            else break;
            GR_Window_Proc(msg, 0, (int64_t)(((uint32_t)e.button.y & 0xFFFF) << 16 | ((uint32_t)e.button.x & 0xFFFF)));
            break;
        }
        case SDL_MOUSEWHEEL: {
            int gx = 0, gy = 0;
            uint32_t buttons = SDL_GetGlobalMouseState(&gx, &gy);
            SDL_Keymod m = SDL_GetModState();
            uint32_t keys = ((buttons & SDL_BUTTON_LMASK) ? WMK_LBUTTON : 0) | ((buttons & SDL_BUTTON_RMASK) ? WMK_RBUTTON : 0) |
                            ((buttons & SDL_BUTTON_MMASK) ? WMK_MBUTTON : 0) | ((m & KMOD_SHIFT) ? WMK_SHIFT : 0) |
                            ((m & KMOD_CTRL) ? WMK_CONTROL : 0);
            int32_t delta = e.wheel.y * 120;
            GR_Window_Proc(WMSG_MOUSEWHEEL, (uint64_t)(((uint32_t)delta & 0xFFFF) << 16 | keys),
                           (int64_t)(((uint32_t)gy & 0xFFFF) << 16 | ((uint32_t)gx & 0xFFFF)));
            break;
        }
        default: break;
        }
    }

    SDL_Window* m_window = nullptr;
    uint32_t m_style = 0;
    SDL_Cursor* m_cursors[15] = {};
};

} // namespace

IWindowHost* WindowHost_CreateSDL() { return new SDLHost(); }

uint64_t GR_Clock_Micros()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000000ull + (uint64_t)ts.tv_nsec / 1000;
}
