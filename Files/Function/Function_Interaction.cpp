// Keyboard, mouse and joystick built-ins of the "Interaction.." group (see
// Function_Interaction.h).
#include "Files/Function/Function_Interaction.h"

#include "Files/Base/RealConvert.h"
#include "Files/Code/Code_Function.h"
#include "Files/Graphics_API/Graphics_Host.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/IO/IO_Input.h"
#include "Files/IO/IO_Joystick.h"
#include "Files/IO/IO_Record.h"
#include "Files/Support/CommandLine.h"
#include "Files/Support/Timing.h"
#include "Files/Base/Value.h"

namespace {

#define BUILTIN(name)                                                                              \
    void name([[maybe_unused]] ScriptValue* result, [[maybe_unused]] CInstance* self,             \
              [[maybe_unused]] CInstance* other, [[maybe_unused]] int32_t argc,                   \
              [[maybe_unused]] ScriptValue* args)

bool g_doubleClick = false;

double Num(const ScriptValue* args, int32_t i) { return args[i].kind == VALUE_REAL ? args[i].real : 0.0; }

// Nearest integer, halves to even (x86 results for NaN and out of range).
int32_t Int(const ScriptValue* args, int32_t i) { return Real_RoundToInt32(Num(args, i)); }

void Real(ScriptValue* result, double v) { Value_SetReal(result, v); }
void Bool(ScriptValue* result, bool v) { Value_SetReal(result, v ? 1.0 : 0.0); }

int32_t Joystick(const ScriptValue* args) { return Joystick_Id(Int(args, 0)); }

// A wait ends when the window was closed or the main loop stopped (the pump clears the
// running flag on quit), and at once during playback.
bool WaitOver(bool wasRunning)
{
    return GR_Window_Record().quitSeen || (wasRunning && g_StartupOptions.running != 1) || Main_ExitRequested() ||
           IO_Record_PlayingBack();
}

constexpr int64_t kWaitStep = 50000; // microseconds between pumps

// ---- Keyboard ---------------------------------------------------------------------------------
BUILTIN(F_KeyboardGetNumlock)
{
    IWindowHost* host = WindowHost_Get();
    // The lock's key state is positive: on, and the key not held.
    Bool(result, host && host->IsNumLockOn() && !host->IsKeyDown(144));
}

BUILTIN(F_KeyboardSetNumlock)
{
    IWindowHost* host = WindowHost_Get();
    if (!host) return;
    bool wish = Num(args, 0) >= 0.5;
    if (wish != host->IsNumLockOn()) {
        host->PostKey(144, true);
        host->PostKey(144, false);
    }
}

BUILTIN(F_KeyboardKeyPress)
{
    IWindowHost* host = WindowHost_Get();
    if (host) host->PostKey(Int(args, 0), true);
}

BUILTIN(F_KeyboardKeyRelease)
{
    IWindowHost* host = WindowHost_Get();
    if (host) host->PostKey(Int(args, 0), false);
}

BUILTIN(F_KeyboardSetMap) { IO_SetKeyMap(Int(args, 0), Int(args, 1)); }
BUILTIN(F_KeyboardGetMap) { Real(result, IO_GetKeyMap(Int(args, 0))); }
BUILTIN(F_KeyboardUnsetMap) { IO_ResetKeyMap(); }
BUILTIN(F_KeyboardCheck) { Bool(result, IO_KeyboardCheck(Int(args, 0))); }
BUILTIN(F_KeyboardCheckPressed) { Bool(result, IO_KeyboardCheckPressed(Int(args, 0))); }
BUILTIN(F_KeyboardCheckReleased) { Bool(result, IO_KeyboardCheckReleased(Int(args, 0))); }

BUILTIN(F_KeyboardCheckDirect)
{
    int32_t key = Int(args, 0);
    IWindowHost* host = WindowHost_Get();
    Bool(result, key >= 0 && key < IO_KEY_COUNT && host && host->IsKeyDown(key));
}

BUILTIN(F_KeyboardClear)
{
    Timing_PumpEvents();
    IO_ClearKey(Int(args, 0));
}

BUILTIN(F_KeyboardWait)
{
    IO_SetLastKey(0);
    bool wasRunning = g_StartupOptions.running == 1;
    for (;;) {
        Timing_PumpEvents();
        if (IO_GetState().event.lastKey != 0 || WaitOver(wasRunning)) break;
        Timing_Sleep(kWaitStep);
    }
}

// ---- Mouse ------------------------------------------------------------------------------------
BUILTIN(F_MouseCheckButton) { Bool(result, IO_MouseCheckButton(Int(args, 0), 0)); }
BUILTIN(F_MouseCheckButtonPressed) { Bool(result, IO_MouseCheckButtonPressed(Int(args, 0), 0)); }
BUILTIN(F_MouseCheckButtonReleased) { Bool(result, IO_MouseCheckButtonReleased(Int(args, 0), 0)); }
BUILTIN(F_MouseWheelUp) { Bool(result, IO_MouseWheelUp(0)); }
BUILTIN(F_MouseWheelDown) { Bool(result, IO_MouseWheelDown(0)); }

BUILTIN(F_MouseClear)
{
    Timing_PumpEvents();
    IO_ClearMouseButton(Int(args, 0), 0);
}

BUILTIN(F_MouseWait)
{
    uint32_t before = IO_GetState().event.mouseDownCount;
    bool wasRunning = g_StartupOptions.running == 1;
    for (;;) {
        Timing_PumpEvents();
        if (IO_GetState().event.mouseDownCount != before || WaitOver(wasRunning)) break;
        Timing_Sleep(kWaitStep);
    }
}

BUILTIN(F_IoClear)
{
    Timing_PumpEvents();
    IO_Clear();
}

BUILTIN(F_IoHandle) { Timing_PumpEvents(); }

BUILTIN(F_DeviceMouseDbclickEnable)
{
    if (argc == 1 && args[0].kind == VALUE_REAL) g_doubleClick = args[0].real > 0.5;
}

// ---- Joysticks --------------------------------------------------------------------------------
BUILTIN(F_JoystickExists) { Bool(result, Joystick_Exists(Joystick(args))); }
BUILTIN(F_JoystickDirection) { Real(result, Joystick_Direction(Joystick(args))); }

BUILTIN(F_JoystickName)
{
    JoystickCaps caps;
    IJoystickBackend* backend = Joystick_GetBackend();
    if (backend && backend->GetCaps(Joystick(args), &caps)) Value_SetString(result, caps.name);
    else Value_SetString(result, nullptr);
}

int32_t CapsField(const ScriptValue* args, int32_t JoystickCaps::*field)
{
    JoystickCaps caps;
    IJoystickBackend* backend = Joystick_GetBackend();
    return backend && backend->GetCaps(Joystick(args), &caps) ? caps.*field : 0;
}

BUILTIN(F_JoystickAxes) { Real(result, CapsField(args, &JoystickCaps::axes)); }
BUILTIN(F_JoystickButtons) { Real(result, CapsField(args, &JoystickCaps::buttons)); }

BUILTIN(F_JoystickHasPov)
{
    JoystickCaps caps;
    IJoystickBackend* backend = Joystick_GetBackend();
    Bool(result, backend && backend->GetCaps(Joystick(args), &caps) && (caps.flags & JOYSTICK_HAS_POV));
}

BUILTIN(F_JoystickCheckButton) { Bool(result, Joystick_Button(Joystick(args), Int(args, 1))); }
BUILTIN(F_JoystickXpos) { Real(result, Joystick_Axis(Joystick(args), 0)); }
BUILTIN(F_JoystickYpos) { Real(result, Joystick_Axis(Joystick(args), 1)); }
BUILTIN(F_JoystickZpos) { Real(result, Joystick_Axis(Joystick(args), 2)); }
BUILTIN(F_JoystickRpos) { Real(result, Joystick_Axis(Joystick(args), 3)); }
BUILTIN(F_JoystickUpos) { Real(result, Joystick_Axis(Joystick(args), 4)); }
BUILTIN(F_JoystickVpos) { Real(result, Joystick_Axis(Joystick(args), 5)); }
BUILTIN(F_JoystickPov) { Real(result, Joystick_Pov(Joystick(args))); }

struct Row {
    const char* name;
    BuiltinRoutine f;
    int32_t args;
};

// ORDER: the group's registration order (the rows of the dialogs, splash, show and high-score
// functions come before these and are added with their modules).
const Row kRows[] = {
    {"keyboard_get_numlock", F_KeyboardGetNumlock, 0},
    {"keyboard_set_numlock", F_KeyboardSetNumlock, 1},
    {"keyboard_key_press", F_KeyboardKeyPress, 1},
    {"keyboard_key_release", F_KeyboardKeyRelease, 1},
    {"keyboard_set_map", F_KeyboardSetMap, 2},
    {"keyboard_get_map", F_KeyboardGetMap, 1},
    {"keyboard_unset_map", F_KeyboardUnsetMap, 0},
    {"keyboard_check", F_KeyboardCheck, 1},
    {"keyboard_check_pressed", F_KeyboardCheckPressed, 1},
    {"keyboard_check_released", F_KeyboardCheckReleased, 1},
    {"keyboard_check_direct", F_KeyboardCheckDirect, 1},
    {"mouse_check_button", F_MouseCheckButton, 1},
    {"mouse_check_button_pressed", F_MouseCheckButtonPressed, 1},
    {"mouse_check_button_released", F_MouseCheckButtonReleased, 1},
    {"mouse_wheel_up", F_MouseWheelUp, 0},
    {"mouse_wheel_down", F_MouseWheelDown, 0},
    {"joystick_exists", F_JoystickExists, 1},
    {"joystick_direction", F_JoystickDirection, 1},
    {"joystick_name", F_JoystickName, 1},
    {"joystick_axes", F_JoystickAxes, 1},
    {"joystick_buttons", F_JoystickButtons, 1},
    {"joystick_has_pov", F_JoystickHasPov, 1},
    {"joystick_check_button", F_JoystickCheckButton, 2},
    {"joystick_xpos", F_JoystickXpos, 1},
    {"joystick_ypos", F_JoystickYpos, 1},
    {"joystick_zpos", F_JoystickZpos, 1},
    {"joystick_rpos", F_JoystickRpos, 1},
    {"joystick_upos", F_JoystickUpos, 1},
    {"joystick_vpos", F_JoystickVpos, 1},
    {"joystick_pov", F_JoystickPov, 1},
    {"keyboard_clear", F_KeyboardClear, 1},
    {"mouse_clear", F_MouseClear, 1},
    {"io_clear", F_IoClear, 0},
    {"io_handle", F_IoHandle, 0},
    // Any count: the setting is taken only from a call with one real argument.
    {"device_mouse_dbclick_enable", F_DeviceMouseDbclickEnable, -1},
    {"keyboard_wait", F_KeyboardWait, 0},
    {"mouse_wait", F_MouseWait, 0},
};

} // namespace

void InitFunctions_Interaction()
{
    for (const Row& r : kRows) Function_Add(r.name, r.f, r.args);
}

bool Interaction_MouseDoubleClickEnabled() { return g_doubleClick; }
