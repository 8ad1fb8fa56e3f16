// SDL events to window messages (see Graphics_EventsM.h).
#include "Files/Graphics_API/Linux/Graphics_EventsM.h"

#include "Files/Graphics_API/Graphics_Host.h"

namespace {

constexpr uint32_t kInjectedDown = 0x100; // user.code: the key in the low byte, this bit when down

// Virtual keys by key code (layout-independent keys and the common layout keys).
int32_t KeyFromKeycode(SDL_Keycode k)
{
    if (k >= SDLK_a && k <= SDLK_z) return 'A' + (k - SDLK_a);
    if (k >= SDLK_0 && k <= SDLK_9) return '0' + (k - SDLK_0);
    if (k >= SDLK_F1 && k <= SDLK_F12) return 112 + (k - SDLK_F1);
    if (k >= SDLK_F13 && k <= SDLK_F24) return 124 + (k - SDLK_F13);
    if (k >= SDLK_KP_1 && k <= SDLK_KP_9) return 97 + (k - SDLK_KP_1);
    switch (k) {
    case SDLK_KP_0: return 96;
    case SDLK_CANCEL: return 3;
    case SDLK_BACKSPACE: return 8;
    case SDLK_TAB: return 9;
    case SDLK_CLEAR: return 12;
    case SDLK_RETURN:
    case SDLK_RETURN2:
    case SDLK_KP_ENTER: return 13;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return VKEY_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return VKEY_CONTROL;
    case SDLK_LALT:
    case SDLK_RALT:
    case SDLK_MODE: return VKEY_MENU;
    case SDLK_PAUSE: return 19;
    case SDLK_CAPSLOCK: return 20;
    case SDLK_ESCAPE: return 27;
    case SDLK_SPACE: return 32;
    case SDLK_PAGEUP: return 33;
    case SDLK_PAGEDOWN: return 34;
    case SDLK_END: return 35;
    case SDLK_HOME: return 36;
    case SDLK_LEFT: return 37;
    case SDLK_UP: return 38;
    case SDLK_RIGHT: return 39;
    case SDLK_DOWN: return 40;
    case SDLK_SELECT: return 41;
    case SDLK_EXECUTE: return 43;
    case SDLK_PRINTSCREEN: return 44;
    case SDLK_INSERT: return 45;
    case SDLK_DELETE: return 46;
    case SDLK_HELP: return 47;
    case SDLK_LGUI: return 91;
    case SDLK_RGUI: return 92;
    case SDLK_APPLICATION:
    case SDLK_MENU: return 93;
    case SDLK_SLEEP: return 95;
    case SDLK_KP_MULTIPLY: return 106;
    case SDLK_KP_PLUS: return 107;
    case SDLK_KP_MINUS: return 109;
    case SDLK_KP_PERIOD:
    case SDLK_KP_DECIMAL: return 110;
    case SDLK_KP_DIVIDE: return 111;
    case SDLK_NUMLOCKCLEAR: return 144;
    case SDLK_SCROLLLOCK: return 145;
    case SDLK_AC_BACK: return 166;
    case SDLK_AC_FORWARD: return 167;
    case SDLK_AC_REFRESH: return 168;
    case SDLK_AC_STOP: return 169;
    case SDLK_AC_SEARCH: return 170;
    case SDLK_AC_BOOKMARKS: return 171;
    case SDLK_AC_HOME: return 172;
    case SDLK_AUDIOMUTE:
    case SDLK_MUTE: return 173;
    case SDLK_VOLUMEDOWN: return 174;
    case SDLK_VOLUMEUP: return 175;
    case SDLK_AUDIONEXT: return 176;
    case SDLK_AUDIOPREV: return 177;
    case SDLK_AUDIOSTOP: return 178;
    case SDLK_AUDIOPLAY: return 179;
    case SDLK_MAIL: return 180;
    case SDLK_MEDIASELECT: return 181;
    case SDLK_COMPUTER: return 182;
    case SDLK_CALCULATOR: return 183;
    case SDLK_SEMICOLON: return 186;
    case SDLK_EQUALS:
    case SDLK_PLUS: return 187;
    case SDLK_COMMA: return 188;
    case SDLK_MINUS: return 189;
    case SDLK_PERIOD: return 190;
    case SDLK_SLASH: return 191;
    case SDLK_BACKQUOTE: return 192;
    case SDLK_LEFTBRACKET: return 219;
    case SDLK_BACKSLASH: return 220;
    case SDLK_RIGHTBRACKET: return 221;
    case SDLK_QUOTE: return 222;
    case SDLK_LESS: return 226;
    default: return 0;
    }
}

// Virtual keys by position, for key codes of other layouts (accented letters and the like):
// the key a US keyboard has there.
int32_t KeyFromScancode(SDL_Scancode s)
{
    if (s >= SDL_SCANCODE_A && s <= SDL_SCANCODE_Z) return 'A' + (s - SDL_SCANCODE_A);
    if (s >= SDL_SCANCODE_1 && s <= SDL_SCANCODE_9) return '1' + (s - SDL_SCANCODE_1);
    switch (s) {
    case SDL_SCANCODE_0: return '0';
    case SDL_SCANCODE_MINUS: return 189;
    case SDL_SCANCODE_EQUALS: return 187;
    case SDL_SCANCODE_LEFTBRACKET: return 219;
    case SDL_SCANCODE_RIGHTBRACKET: return 221;
    case SDL_SCANCODE_BACKSLASH: return 220;
    case SDL_SCANCODE_NONUSHASH: return 222;
    case SDL_SCANCODE_SEMICOLON: return 186;
    case SDL_SCANCODE_APOSTROPHE: return 222;
    case SDL_SCANCODE_GRAVE: return 192;
    case SDL_SCANCODE_COMMA: return 188;
    case SDL_SCANCODE_PERIOD: return 190;
    case SDL_SCANCODE_SLASH: return 191;
    case SDL_SCANCODE_NONUSBACKSLASH: return 226;
    default: return 0;
    }
}

// The left or right form of a modifier key (0 for other keys).
int32_t SideKey(SDL_Keycode k)
{
    switch (k) {
    case SDLK_LSHIFT: return VKEY_LSHIFT;
    case SDLK_RSHIFT: return VKEY_RSHIFT;
    case SDLK_LCTRL: return VKEY_LCONTROL;
    case SDLK_RCTRL: return VKEY_RCONTROL;
    case SDLK_LALT: return VKEY_LMENU;
    case SDLK_RALT:
    case SDLK_MODE: return VKEY_RMENU;
    default: return 0;
    }
}

// The PC scan code (bits 16..23) and extended bit (24) the window procedure reads for the
// modifier keys; other keys carry the low byte of SDL's scan code.
uint32_t KeyScanBits(int32_t side, uint32_t sdlScan)
{
    switch (side) {
    case VKEY_LSHIFT: return 0x2Au << 16;
    case VKEY_RSHIFT: return 0x36u << 16;
    case VKEY_LCONTROL: return 0x1Du << 16;
    case VKEY_RCONTROL: return 0x1Du << 16 | 1u << 24;
    case VKEY_LMENU: return 0x38u << 16;
    case VKEY_RMENU: return 0x38u << 16 | 1u << 24;
    default: return (sdlScan & 0xFF) << 16;
    }
}

bool Held(const GR_SdlInputState& s, int32_t vk) { return s.keyDown[vk] != 0; }

// The character an injected key types (0 for none).
uint32_t InjectedCharacter(const GR_SdlInputState& s, int32_t vk)
{
    if (vk >= 'A' && vk <= 'Z') return Held(s, VKEY_SHIFT) ? uint32_t(vk) : uint32_t(vk - 'A' + 'a');
    if (vk >= '0' && vk <= '9') return Held(s, VKEY_SHIFT) ? 0 : uint32_t(vk);
    if (vk == ' ') return ' ';
    return 0;
}

// One key going down or up: the record first, then the messages.
void Key(GR_SdlInputState& s, int32_t vk, int32_t side, bool down, bool repeat, uint32_t sdlScan, bool injected,
         GR_MessageList& out)
{
    if (side) {
        s.keyDown[side] = down;
        int32_t other = side ^ 1; // 160/161, 162/163, 164/165
        s.keyDown[vk] = down || s.keyDown[other];
    } else {
        s.keyDown[vk] = down;
    }
    bool alt = Held(s, VKEY_MENU);
    uint32_t data = 1u | KeyScanBits(side, sdlScan);
    if (down && repeat) data |= 1u << 30;
    if (!down) data |= 1u << 30 | 1u << 31;
    uint32_t message = down ? (alt ? WMSG_SYSKEYDOWN : WMSG_KEYDOWN) : (alt ? WMSG_SYSKEYUP : WMSG_KEYUP);
    out.Add(message, uint64_t(vk), int64_t(data));
    if (!down) return;
    if (alt && vk == VKEY_RETURN && !repeat) out.Add(WMSG_SYSCOMMAND, WSC_KEYMENU, VKEY_RETURN);
    if (alt) return; // Alt + key types a system character, not text
    if (vk == 8 || vk == 9 || vk == VKEY_RETURN || vk == 27) out.Add(WMSG_CHAR, uint64_t(vk), int64_t(data));
    else if (injected) {
        uint32_t ch = InjectedCharacter(s, vk);
        if (ch) out.Add(WMSG_CHAR, ch, int64_t(data));
    }
}

void InjectedKey(GR_SdlInputState& s, int32_t code, GR_MessageList& out)
{
    int32_t vk = code & 0xFF;
    bool down = (code & int32_t(kInjectedDown)) != 0;
    int32_t side = 0;
    switch (vk) {
    case VKEY_SHIFT: case VKEY_LSHIFT: side = VKEY_LSHIFT; vk = VKEY_SHIFT; break;
    case VKEY_RSHIFT: side = VKEY_RSHIFT; vk = VKEY_SHIFT; break;
    case VKEY_CONTROL: case VKEY_LCONTROL: side = VKEY_LCONTROL; vk = VKEY_CONTROL; break;
    case VKEY_RCONTROL: side = VKEY_RCONTROL; vk = VKEY_CONTROL; break;
    case VKEY_MENU: case VKEY_LMENU: side = VKEY_LMENU; vk = VKEY_MENU; break;
    case VKEY_RMENU: side = VKEY_RMENU; vk = VKEY_MENU; break;
    default: break;
    }
    bool repeat = down && s.keyDown[side ? side : vk];
    Key(s, vk, side, down, repeat, 0, true, out);
}

// UTF-8 text into UTF-16 units, one character message each. Malformed bytes give U+FFFD.
void Text(const char* text, GR_MessageList& out)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
        uint32_t c = *p, need, min;
        if (c < 0x80) need = 0, min = 0;
        else if ((c & 0xE0) == 0xC0) need = 1, min = 0x80, c &= 0x1F;
        else if ((c & 0xF0) == 0xE0) need = 2, min = 0x800, c &= 0x0F;
        else if ((c & 0xF8) == 0xF0) need = 3, min = 0x10000, c &= 0x07;
        else {
            ++p;
            out.Add(WMSG_CHAR, 0xFFFD, 1);
            continue;
        }
        ++p;
        uint32_t got = 0;
        while (got < need && (*p & 0xC0) == 0x80) {
            c = c << 6 | (*p++ & 0x3F);
            ++got;
        }
        if (got < need || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
        if (c >= 0x10000) {
            c -= 0x10000;
            out.Add(WMSG_CHAR, 0xD800 | (c >> 10), 1);
            out.Add(WMSG_CHAR, 0xDC00 | (c & 0x3FF), 1);
        } else {
            out.Add(WMSG_CHAR, c, 1);
        }
    }
}

int64_t PackPoint(int32_t x, int32_t y)
{
    auto clamp16 = [](int32_t v) { return v < -32768 ? -32768 : v > 32767 ? 32767 : v; };
    return int64_t((uint32_t(clamp16(y)) & 0xFFFF) << 16 | (uint32_t(clamp16(x)) & 0xFFFF));
}

uint32_t KeyFlags(const GR_SdlInputState& s)
{
    return s.mouseButtons | (Held(s, VKEY_SHIFT) ? WMK_SHIFT : 0u) | (Held(s, VKEY_CONTROL) ? WMK_CONTROL : 0u);
}

uint32_t ButtonFlag(uint8_t button)
{
    return button == SDL_BUTTON_LEFT ? WMK_LBUTTON : button == SDL_BUTTON_RIGHT ? WMK_RBUTTON
                                                   : button == SDL_BUTTON_MIDDLE ? WMK_MBUTTON : 0u;
}

} // namespace

int32_t GR_Sdl_VirtualKey(SDL_Keycode key, SDL_Scancode scancode)
{
    int32_t vk = KeyFromKeycode(key);
    return vk ? vk : KeyFromScancode(scancode);
}

void GR_Sdl_Translate(GR_SdlInputState& s, const SDL_Event& e, int32_t windowX, int32_t windowY, GR_MessageList& out)
{
    switch (e.type) {
    case SDL_QUIT: out.Add(WMSG_CLOSE, 0, 0); return;
    case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_CLOSE) {
            out.Add(WMSG_CLOSE, 0, 0);
        } else if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) {
            out.Add(WMSG_SETFOCUS, 0, 0);
            out.Add(WMSG_ACTIVATEAPP, 1, 0);
        } else if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
            out.Add(WMSG_KILLFOCUS, 0, 0);
            out.Add(WMSG_ACTIVATEAPP, 0, 0);
            out.Add(WMSG_ACTIVATE, 0, 0);
        }
        return;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        int32_t vk = GR_Sdl_VirtualKey(e.key.keysym.sym, e.key.keysym.scancode);
        if (!vk) return;
        Key(s, vk, SideKey(e.key.keysym.sym), e.type == SDL_KEYDOWN, e.key.repeat != 0,
            uint32_t(e.key.keysym.scancode), false, out);
        return;
    }
    case SDL_TEXTINPUT: Text(e.text.text, out); return;
    case SDL_MOUSEMOTION: out.Add(WMSG_MOUSEMOVE, KeyFlags(s), PackPoint(e.motion.x, e.motion.y)); return;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        bool down = e.type == SDL_MOUSEBUTTONDOWN;
        uint32_t flag = ButtonFlag(e.button.button);
        if (!flag) return;
        if (down) s.mouseButtons |= flag;
        else s.mouseButtons &= ~flag;
        uint32_t message = flag == WMK_LBUTTON ? (down ? WMSG_LBUTTONDOWN : WMSG_LBUTTONUP)
                           : flag == WMK_RBUTTON ? (down ? WMSG_RBUTTONDOWN : WMSG_RBUTTONUP)
                                                 : (down ? WMSG_MBUTTONDOWN : WMSG_MBUTTONUP);
        out.Add(message, KeyFlags(s), PackPoint(e.button.x, e.button.y));
        return;
    }
    case SDL_MOUSEWHEEL: {
        // As SDL reports it (natural scrolling, when the desktop has it, included).
        int32_t y = e.wheel.y;
        if (y == 0) return;
        int32_t delta = y > 273 ? 32760 : y < -273 ? -32760 : y * 120; // one notch is 120
        out.Add(WMSG_MOUSEWHEEL, uint64_t((uint32_t(delta) & 0xFFFF) << 16 | KeyFlags(s)),
                PackPoint(windowX + e.wheel.mouseX, windowY + e.wheel.mouseY));
        return;
    }
    default:
        if (e.type == GR_Sdl_InjectedKeyEvent() && e.type != 0) InjectedKey(s, e.user.code, out);
        return;
    }
}

uint32_t GR_Sdl_InjectedKeyEvent()
{
    static uint32_t type = [] {
        uint32_t t = SDL_RegisterEvents(1);
        return t == uint32_t(-1) ? 0u : t;
    }();
    return type;
}

bool GR_Sdl_PostKey(int32_t vkey, bool down)
{
    uint32_t type = GR_Sdl_InjectedKeyEvent();
    if (vkey < 0 || vkey > 255 || !type) return false;
    SDL_Event e{};
    e.type = type;
    e.user.code = vkey | (down ? int32_t(kInjectedDown) : 0);
    return SDL_PushEvent(&e) == 1;
}
