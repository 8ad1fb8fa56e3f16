// The gamepad table, its poll and the reads of one pad (see IO_Gamepad.h). The back end is
// Linux/IO_ControllersM.cpp (SDL game controllers).
#include "Files/IO/IO_Gamepad.h"

#include <cmath>
#include <cstring>

#include "Files/Base/Console.h"
#include "Files/Support/GameHeader.h"
#include "Platform/MemoryManager.h"

namespace {

IGamepadBackend* g_installed = nullptr; // set by tests
IGamepadBackend* g_sdl = nullptr;       // made on first use
IGamepadBackend* g_backend = nullptr;   // the one in use while loaded
IO_Gamepad* g_pads[IO_GAMEPAD_SLOTS] = {};
int32_t g_padCount = 0;
int32_t g_probe = 0;
bool g_loaded = false;
bool g_missingReported = false;

// The value of a button index from a pad's button and axis arrays (latest or previous).
float ValueOf(const IO_Gamepad* pad, int32_t index, const float* buttons, const float* axes)
{
    if (!pad || index < 0) return 0.0f;
    if (index & IO_GAMEPAD_AXIS_AS_BUTTON) {
        int32_t axis = index & ~(IO_GAMEPAD_AXIS_AS_BUTTON | IO_GAMEPAD_NEGATIVE | IO_GAMEPAD_IGNORED);
        if (axis >= pad->axisCount || axis >= IO_GAMEPAD_AXES) return 0.0f;
        float v = axes[axis], d = pad->axisDeadZone;
        if (index & IO_GAMEPAD_NEGATIVE) return v < -d ? std::fabs(v) : 0.0f;
        return v > d ? v : 0.0f;
    }
    if (index >= pad->buttonCount || index >= IO_GAMEPAD_BUTTONS) return 0.0f;
    return buttons[index];
}

uint16_t MotorSpeed(float v)
{
    float speed = v * 65536.0f;
    if (!(speed > 0.0f)) return 0;
    return speed >= 65535.0f ? 65535 : uint16_t(speed);
}

} // namespace

void IO_Gamepad_SetBackend(IGamepadBackend* backend) { g_installed = backend; }

// =============================================================================================
// The pad table
// =============================================================================================

void XInput_Init()
{
    XInput_Release();
    IGamepadBackend* backend = g_installed;
    if (!backend) {
        if (!g_sdl) g_sdl = IO_GamepadBackend_CreateSDL();
        backend = g_sdl;
    }
    g_loaded = backend && backend->Available();
    g_backend = g_loaded ? backend : nullptr;
    g_padCount = IO_GAMEPAD_SLOTS;
    for (int32_t i = 0; i < IO_GAMEPAD_SLOTS; ++i) {
        IO_Gamepad* pad = static_cast<IO_Gamepad*>(MEM_ALLOC_CLEAR(sizeof(IO_Gamepad)));
        pad->buttonCount = IO_GAMEPAD_BUTTONS;
        pad->axisCount = IO_GAMEPAD_AXES;
        pad->buttonThreshold = 0.5f;
        g_pads[i] = pad;
        Console_Debug()->Output("GAMEPAD: %d axis values (last) at 0x%x\n", pad->axisCount,
                                uint32_t(reinterpret_cast<uintptr_t>(pad->previousAxes)));
    }
    XInput_Poll();
}

void XInput_Poll()
{
    if (!g_loaded || !g_backend) return;
    if (!(g_GameHeader.usageFlags & 4)) return;
    g_probe = (g_probe + 1) % IO_GAMEPAD_SLOTS;
    g_backend->Refresh();
    for (int32_t p = 0; p < g_padCount; ++p) {
        IO_Gamepad* pad = g_pads[p];
        if (!pad || (!pad->connected && p != g_probe)) continue;
        GamepadReading reading{};
        if (!g_backend->GetState(p, &reading)) {
            if (pad->connected) {
                pad->description[0] = 0;
                pad->connected = 0;
            }
            continue;
        }
        if (!pad->connected) {
            char text[sizeof pad->description];
            if (g_backend->GetDescription(p, text, sizeof text)) {
                text[sizeof text - 1] = 0;
                std::memcpy(pad->description, text, sizeof text);
            }
            pad->connected = 1;
        }
        IO_Gamepad_Push(pad, reading);
        g_backend->SetVibration(p, MotorSpeed(pad->vibrationLeft), MotorSpeed(pad->vibrationRight));
    }
}

void XInput_Release()
{
    for (int32_t i = 0; i < IO_GAMEPAD_SLOTS; ++i) {
        MEM_FREE(g_pads[i]);
        g_pads[i] = nullptr;
    }
    g_padCount = 0;
    g_probe = 0;
    if (g_backend) g_backend->Shutdown();
    g_backend = nullptr;
    g_loaded = false;
    g_missingReported = false;
}

bool XInput_Loaded() { return g_loaded; }

bool XInput_CheckLoaded(bool* reportMissing)
{
    *reportMissing = !g_loaded && !g_missingReported;
    if (*reportMissing) g_missingReported = true;
    return g_loaded;
}

int32_t IO_Gamepad_Count() { return g_padCount; }

const char* IO_Gamepad_KindDescription(int32_t kind)
{
    switch (kind) {
    case GAMEPAD_KIND_GAMEPAD: return "Xbox 360 Controller (XInput STANDARD GAMEPAD)";
    case GAMEPAD_KIND_WHEEL: return "Xbox 360 Controller (XInput WHEEL)";
    case GAMEPAD_KIND_ARCADE_STICK: return "Xbox 360 Controller (XInput ARCADE STICK)";
    case GAMEPAD_KIND_FLIGHT_STICK: return "Xbox 360 Controller (XInput FLIGHT STICK)";
    case GAMEPAD_KIND_DANCE_PAD: return "Xbox 360 Controller (XInput DANCE PAD)";
    case GAMEPAD_KIND_GUITAR: return "Xbox 360 Controller (XInput GUITAR)";
    case GAMEPAD_KIND_DRUM_KIT: return "Xbox 360 Controller (XInput DRUM KIT)";
    default: return nullptr;
    }
}

IO_Gamepad* IO_Gamepad_Get(int32_t device)
{
    if (device < 0 || device >= g_padCount) return nullptr;
    return g_pads[device];
}

// =============================================================================================
// One pad
// =============================================================================================

void IO_Gamepad_Push(IO_Gamepad* pad, const GamepadReading& r)
{
    if (!pad) return;
    float buttons[IO_GAMEPAD_BUTTONS];
    for (int32_t i = 0; i < IO_GAMEPAD_BUTTONS; ++i) buttons[i] = (r.buttons >> i) & 1 ? 1.0f : 0.0f;
    buttons[10] = float(r.leftTrigger) / 256.0f;
    buttons[11] = float(r.rightTrigger) / 256.0f;
    float axes[IO_GAMEPAD_AXES] = {float(r.thumbLX) / 32768.0f, float(r.thumbLY) / 32768.0f,
                                   float(r.thumbRX) / 32768.0f, float(r.thumbRY) / 32768.0f};
    std::memcpy(pad->previousButtons, pad->buttons, sizeof pad->buttons);
    std::memcpy(pad->previousAxes, pad->axes, sizeof pad->axes);
    std::memcpy(pad->buttons, buttons, sizeof buttons);
    std::memcpy(pad->axes, axes, sizeof axes);
}

float IO_Gamepad_ButtonValue(const IO_Gamepad* pad, int32_t index)
{
    return pad ? ValueOf(pad, index, pad->buttons, pad->axes) : 0.0f;
}

bool IO_Gamepad_ButtonCheck(const IO_Gamepad* pad, int32_t index)
{
    return pad && ValueOf(pad, index, pad->buttons, pad->axes) >= pad->buttonThreshold;
}

bool IO_Gamepad_ButtonPressed(const IO_Gamepad* pad, int32_t index)
{
    if (!pad) return false;
    float now = ValueOf(pad, index, pad->buttons, pad->axes);
    float before = ValueOf(pad, index, pad->previousButtons, pad->previousAxes);
    return now >= pad->buttonThreshold && before < pad->buttonThreshold;
}

bool IO_Gamepad_ButtonReleased(const IO_Gamepad* pad, int32_t index)
{
    if (!pad) return false;
    float now = ValueOf(pad, index, pad->buttons, pad->axes);
    float before = ValueOf(pad, index, pad->previousButtons, pad->previousAxes);
    return now < pad->buttonThreshold && before >= pad->buttonThreshold;
}

float IO_Gamepad_AxisValue(const IO_Gamepad* pad, int32_t index)
{
    if (!pad || index < 0) return 0.0f;
    if (index & IO_GAMEPAD_AXIS_AS_BUTTON) {
        int32_t button = index & ~IO_GAMEPAD_AXIS_AS_BUTTON;
        if (button >= pad->buttonCount || button >= IO_GAMEPAD_BUTTONS) return 0.0f;
        return pad->buttons[button];
    }
    if (index >= pad->axisCount || index >= IO_GAMEPAD_AXES) return 0.0f;
    float v = pad->axes[index], d = pad->axisDeadZone;
    if (d <= 0.0f) return v;
    float magnitude = std::fabs(v);
    // A dead zone of 1 covers the whole range (its scale would divide by zero).
    if (magnitude < d || d >= 1.0f) return 0.0f;
    float scaled = (magnitude - d) / (1.0f - d);
    return v < 0.0f ? -scaled : scaled;
}

void IO_Gamepad_SetVibration(IO_Gamepad* pad, float left, float right)
{
    if (!pad) return;
    auto clamp = [](float v) { return v > 1.0f ? 1.0f : v > 0.0f ? v : 0.0f; }; // NaN gives 0
    pad->vibrationLeft = clamp(left);
    pad->vibrationRight = clamp(right);
}

int32_t IO_Gamepad_Index(int32_t number)
{
    // ORDER: gp_face1 .. gp_axisrv (32769 .. 32788).
    static const int8_t kIndex[20] = {12, 13, 14, 15, 8, 9, 10, 11, 5, 4, 6, 7, 0, 1, 2, 3, 0, 1, 2, 3};
    if (number < 32768) return number;
    if (number >= 32769 && number <= 32788) return kIndex[number - 32769];
    return 0;
}
