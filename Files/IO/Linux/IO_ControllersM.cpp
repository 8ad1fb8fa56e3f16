// SDL back ends of the gamepads (IO_Gamepad.h) and joysticks (IO_Joystick.h).
//
// Gamepads are SDL game controllers in place of XInput: the first four controllers SDL knows
// take the lowest free slots as they appear, a slot is emptied when its controller goes away.
// A pad's description comes from SDL's joystick and controller types (gamepad, wheel, arcade
// stick, flight stick, dance pad, guitar, drum kit), SDL's name for any other.
// Readings are turned into the Windows pad layout: triggers 0..32767 to 0..255 (value >> 7,
// so a half-pressed trigger is 128), stick Y inverted so that up is positive, each motor's
// rumble sent again at every poll for a little over a second (a game that stops polling stops
// shaking the pad).
//
// Joysticks are SDL joysticks, game controllers included, in SDL's device order: axes from
// -32768..32767 to 0..65535 with the centre at 32767, the first hat as a point-of-view angle.
// Axes beyond the device's own read as centred.
//
// Both turn SDL's joystick and controller events off and update the devices themselves when
// asked (once per poll or query), so nothing piles up in the event queue of a run without a
// window and the values are current however the window's events are pumped.
#include <SDL2/SDL.h>

#include <cstring>

#include "Files/IO/IO_Gamepad.h"
#include "Files/IO/IO_Joystick.h"

namespace {

void IgnoreDeviceEvents()
{
    SDL_JoystickEventState(SDL_IGNORE);
    SDL_GameControllerEventState(SDL_IGNORE);
}

void CopyName(const char* name, char* out, size_t capacity)
{
    if (!capacity) return;
    size_t n = name ? std::strlen(name) : 0;
    if (n >= capacity) {
        n = capacity - 1;
        // Never cut a UTF-8 sequence in two.
        while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80) --n;
    }
    if (n) std::memcpy(out, name, n);
    out[n] = 0;
}

// =============================================================================================
// Gamepads
// =============================================================================================

// SDL's game-controller subsystem (a scan of the input devices) starts at the first poll, not
// when the pads are set up: a game that never reads a gamepad never pays for it. A subsystem
// that cannot start leaves every pad unplugged.
class SDLGamepads : public IGamepadBackend {
public:
    bool Available() override { return true; }

    void Refresh() override
    {
        if (!m_tried) {
            m_tried = true;
            SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
            m_started = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
            if (m_started) IgnoreDeviceEvents();
        }
        if (!m_started) return;
        SDL_GameControllerUpdate();
        for (int32_t i = 0; i < IO_GAMEPAD_SLOTS; ++i)
            if (m_pads[i] && !SDL_GameControllerGetAttached(m_pads[i])) Close(i);
        int n = SDL_NumJoysticks();
        for (int d = 0; d < n; ++d) {
            if (!SDL_IsGameController(d)) continue;
            SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(d);
            if (id < 0 || Holds(id)) continue;
            int32_t slot = FreeSlot();
            if (slot < 0) break;
            m_pads[slot] = SDL_GameControllerOpen(d);
            m_ids[slot] = m_pads[slot] ? id : -1;
        }
    }

    bool GetState(int32_t pad, GamepadReading* out) override
    {
        if (pad < 0 || pad >= IO_GAMEPAD_SLOTS || !m_pads[pad]) return false;
        SDL_GameController* gc = m_pads[pad];
        // ORDER: bits 0..9 and 12..15 of the pad's button word.
        static const SDL_GameControllerButton kButtons[16] = {
            SDL_CONTROLLER_BUTTON_DPAD_UP, SDL_CONTROLLER_BUTTON_DPAD_DOWN, SDL_CONTROLLER_BUTTON_DPAD_LEFT,
            SDL_CONTROLLER_BUTTON_DPAD_RIGHT, SDL_CONTROLLER_BUTTON_START, SDL_CONTROLLER_BUTTON_BACK,
            SDL_CONTROLLER_BUTTON_LEFTSTICK, SDL_CONTROLLER_BUTTON_RIGHTSTICK, SDL_CONTROLLER_BUTTON_LEFTSHOULDER,
            SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, SDL_CONTROLLER_BUTTON_INVALID, SDL_CONTROLLER_BUTTON_INVALID,
            SDL_CONTROLLER_BUTTON_A, SDL_CONTROLLER_BUTTON_B, SDL_CONTROLLER_BUTTON_X, SDL_CONTROLLER_BUTTON_Y};
        GamepadReading r{};
        for (int i = 0; i < 16; ++i)
            if (kButtons[i] != SDL_CONTROLLER_BUTTON_INVALID && SDL_GameControllerGetButton(gc, kButtons[i]))
                r.buttons = uint16_t(r.buttons | 1u << i);
        r.leftTrigger = Trigger(SDL_GameControllerGetAxis(gc, SDL_CONTROLLER_AXIS_TRIGGERLEFT));
        r.rightTrigger = Trigger(SDL_GameControllerGetAxis(gc, SDL_CONTROLLER_AXIS_TRIGGERRIGHT));
        r.thumbLX = SDL_GameControllerGetAxis(gc, SDL_CONTROLLER_AXIS_LEFTX);
        r.thumbLY = Up(SDL_GameControllerGetAxis(gc, SDL_CONTROLLER_AXIS_LEFTY));
        r.thumbRX = SDL_GameControllerGetAxis(gc, SDL_CONTROLLER_AXIS_RIGHTX);
        r.thumbRY = Up(SDL_GameControllerGetAxis(gc, SDL_CONTROLLER_AXIS_RIGHTY));
        *out = r;
        return true;
    }

    // The text of the pad's kind when SDL's types tell one, else SDL's name for the pad.
    bool GetDescription(int32_t pad, char* out, size_t capacity) override
    {
        if (pad < 0 || pad >= IO_GAMEPAD_SLOTS || !m_pads[pad]) return false;
        const char* name = IO_Gamepad_KindDescription(Kind(m_pads[pad]));
        if (!name) name = SDL_GameControllerName(m_pads[pad]);
        if (!name) return false;
        CopyName(name, out, capacity);
        return true;
    }

    void SetVibration(int32_t pad, uint16_t left, uint16_t right) override
    {
        if (pad < 0 || pad >= IO_GAMEPAD_SLOTS || !m_pads[pad]) return;
        SDL_GameControllerRumble(m_pads[pad], left, right, 1100);
    }

    void Shutdown() override
    {
        for (int32_t i = 0; i < IO_GAMEPAD_SLOTS; ++i) Close(i);
        if (m_started) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
        m_started = false;
        m_tried = false;
    }

private:
    static uint8_t Trigger(int16_t v) { return v > 0 ? uint8_t(v >> 7) : 0; }

    // The joystick's type names the kind (SDL types an opened controller it cannot place as a
    // game controller). Arcade pads and throttles have no kind.
    static int32_t Kind(SDL_GameController* gc)
    {
        switch (SDL_JoystickGetType(SDL_GameControllerGetJoystick(gc))) {
        case SDL_JOYSTICK_TYPE_GAMECONTROLLER: return GAMEPAD_KIND_GAMEPAD;
        case SDL_JOYSTICK_TYPE_WHEEL: return GAMEPAD_KIND_WHEEL;
        case SDL_JOYSTICK_TYPE_ARCADE_STICK: return GAMEPAD_KIND_ARCADE_STICK;
        case SDL_JOYSTICK_TYPE_FLIGHT_STICK: return GAMEPAD_KIND_FLIGHT_STICK;
        case SDL_JOYSTICK_TYPE_DANCE_PAD: return GAMEPAD_KIND_DANCE_PAD;
        case SDL_JOYSTICK_TYPE_GUITAR: return GAMEPAD_KIND_GUITAR;
        case SDL_JOYSTICK_TYPE_DRUM_KIT: return GAMEPAD_KIND_DRUM_KIT;
        default: return GAMEPAD_KIND_OTHER;
        }
    }
    static int16_t Up(int16_t v) { return v == -32768 ? int16_t(32767) : int16_t(-v); }

    bool Holds(SDL_JoystickID id) const
    {
        for (int32_t i = 0; i < IO_GAMEPAD_SLOTS; ++i)
            if (m_pads[i] && m_ids[i] == id) return true;
        return false;
    }

    int32_t FreeSlot() const
    {
        for (int32_t i = 0; i < IO_GAMEPAD_SLOTS; ++i)
            if (!m_pads[i]) return i;
        return -1;
    }

    void Close(int32_t i)
    {
        if (m_pads[i]) SDL_GameControllerClose(m_pads[i]);
        m_pads[i] = nullptr;
        m_ids[i] = -1;
    }

    bool m_tried = false;   // the subsystem was asked to start
    bool m_started = false;
    SDL_GameController* m_pads[IO_GAMEPAD_SLOTS] = {};
    SDL_JoystickID m_ids[IO_GAMEPAD_SLOTS] = {-1, -1, -1, -1};
};

// =============================================================================================
// Joysticks
// =============================================================================================

class SDLJoysticks : public IJoystickBackend {
public:
    bool GetPosition(int32_t id, JoystickPosition* out) override
    {
        SDL_Joystick* j = Open(id);
        if (!j) return false;
        int axes = SDL_JoystickNumAxes(j);
        uint32_t values[6];
        for (int a = 0; a < 6; ++a) values[a] = a < axes ? Position(SDL_JoystickGetAxis(j, a)) : 32767;
        int buttons = SDL_JoystickNumButtons(j);
        uint32_t mask = 0;
        for (int b = 0; b < buttons && b < 32; ++b)
            if (SDL_JoystickGetButton(j, b)) mask |= 1u << b;
        uint32_t pov = JOYSTICK_POV_CENTRED;
        if (SDL_JoystickNumHats(j) > 0) pov = Pov(SDL_JoystickGetHat(j, 0));
        *out = JoystickPosition{values[0], values[1], values[2], values[3], values[4], values[5], mask, pov};
        return true;
    }

    bool GetCaps(int32_t id, JoystickCaps* out) override
    {
        SDL_Joystick* j = Open(id);
        if (!j) return false;
        int axes = SDL_JoystickNumAxes(j), buttons = SDL_JoystickNumButtons(j), hats = SDL_JoystickNumHats(j);
        JoystickCaps caps{};
        CopyName(SDL_JoystickName(j), caps.name, sizeof caps.name);
        caps.axes = axes < 0 ? 0 : axes > 6 ? 6 : axes;
        caps.buttons = buttons < 0 ? 0 : buttons > 32 ? 32 : buttons;
        if (axes > 2) caps.flags |= JOYSTICK_HAS_Z;
        if (axes > 3) caps.flags |= JOYSTICK_HAS_R;
        if (axes > 4) caps.flags |= JOYSTICK_HAS_U;
        if (axes > 5) caps.flags |= JOYSTICK_HAS_V;
        if (hats > 0) caps.flags |= JOYSTICK_HAS_POV | JOYSTICK_POV_CONTINUOUS;
        *out = caps;
        return true;
    }

    void Shutdown() override
    {
        for (int i = 0; i < 2; ++i) Close(i);
        if (m_started) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
        m_started = false;
    }

private:
    static uint32_t Position(int16_t v)
    {
        int32_t p = int32_t(v) + 32767;
        return uint32_t(p < 0 ? 0 : p);
    }

    static uint32_t Pov(uint8_t hat)
    {
        switch (hat) {
        case SDL_HAT_UP: return 0;
        case SDL_HAT_RIGHTUP: return 4500;
        case SDL_HAT_RIGHT: return 9000;
        case SDL_HAT_RIGHTDOWN: return 13500;
        case SDL_HAT_DOWN: return 18000;
        case SDL_HAT_LEFTDOWN: return 22500;
        case SDL_HAT_LEFT: return 27000;
        case SDL_HAT_LEFTUP: return 31500;
        default: return JOYSTICK_POV_CENTRED;
        }
    }

    bool Start()
    {
        if (!m_started) {
            m_started = SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0;
            if (m_started) IgnoreDeviceEvents();
        }
        return m_started;
    }

    // The open joystick of an id (0 or 1), opened again when another device took its place.
    SDL_Joystick* Open(int32_t id)
    {
        if (id < 0 || id > 1 || !Start()) return nullptr;
        SDL_JoystickUpdate();
        if (id >= SDL_NumJoysticks()) {
            Close(id);
            return nullptr;
        }
        SDL_JoystickID instance = SDL_JoystickGetDeviceInstanceID(id);
        if (m_open[id] && m_ids[id] == instance && SDL_JoystickGetAttached(m_open[id])) return m_open[id];
        Close(id);
        m_open[id] = SDL_JoystickOpen(id);
        m_ids[id] = m_open[id] ? instance : -1;
        return m_open[id];
    }

    void Close(int32_t id)
    {
        if (m_open[id]) SDL_JoystickClose(m_open[id]);
        m_open[id] = nullptr;
        m_ids[id] = -1;
    }

    bool m_started = false;
    SDL_Joystick* m_open[2] = {};
    SDL_JoystickID m_ids[2] = {-1, -1};
};

} // namespace

IGamepadBackend* IO_GamepadBackend_CreateSDL() { return new SDLGamepads(); }
IJoystickBackend* IO_JoystickBackend_CreateSDL() { return new SDLJoysticks(); }
