// Keyboard, mouse and joystick built-ins of the "Interaction.." group (see
// Function_Interaction.h).
#include "Files/Function/Function_Interaction.h"

#include "Files/Base/RealConvert.h"
#include "Files/Base/Value.h"
#include "Files/Code/Code_Builtin.h"
#include "Files/Function/Function_Dialog.h"
#include "Files/Graphics_API/Graphics_Host.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/IO/IO_Input.h"
#include "Files/IO/IO_Joystick.h"
#include "Files/IO/IO_Record.h"
#include "Files/Support/CommandLine.h"
#include "Files/Support/Timing.h"

namespace {

using namespace zbargs;

bool g_doubleClick = false;

int32_t Joystick(const ScriptValue* args) { return Joystick_Id(NumRound(args, 0)); }

// A wait ends at the run's quit (the window closed, a signal), when the run is to end or the
// main loop it started in stopped, and at once during playback.
bool WaitOver(bool wasRunning)
{
    return GR_Window_Record().quitSeen || Timing_WaitOver(wasRunning) || IO_Record_PlayingBack();
}

constexpr int64_t kWaitStep = 50000; // microseconds between pumps

// ---- Keyboard ---------------------------------------------------------------------------------
ZB_BUILTIN(F_KeyboardGetNumlock)
{
    IWindowHost* host = WindowHost_Get();
    // The lock's key state is positive: on, and the key not held.
    SetBool(result, host && host->IsNumLockOn() && !host->IsKeyDown(144));
}

ZB_BUILTIN(F_KeyboardSetNumlock)
{
    IWindowHost* host = WindowHost_Get();
    if (!host) return;
    bool wish = NumFromHalf(args, 0);
    if (wish != host->IsNumLockOn()) {
        host->PostKey(144, true);
        host->PostKey(144, false);
    }
}

ZB_BUILTIN(F_KeyboardKeyPress)
{
    IWindowHost* host = WindowHost_Get();
    if (host) host->PostKey(NumRound(args, 0), true);
}

ZB_BUILTIN(F_KeyboardKeyRelease)
{
    IWindowHost* host = WindowHost_Get();
    if (host) host->PostKey(NumRound(args, 0), false);
}

ZB_BUILTIN(F_KeyboardSetMap) { IO_SetKeyMap(NumRound(args, 0), NumRound(args, 1)); }
ZB_BUILTIN(F_KeyboardGetMap) { SetReal(result, IO_GetKeyMap(NumRound(args, 0))); }
ZB_BUILTIN(F_KeyboardUnsetMap) { IO_ResetKeyMap(); }
ZB_BUILTIN(F_KeyboardCheck) { SetBool(result, IO_KeyboardCheck(NumRound(args, 0))); }
ZB_BUILTIN(F_KeyboardCheckPressed) { SetBool(result, IO_KeyboardCheckPressed(NumRound(args, 0))); }
ZB_BUILTIN(F_KeyboardCheckReleased) { SetBool(result, IO_KeyboardCheckReleased(NumRound(args, 0))); }

ZB_BUILTIN(F_KeyboardCheckDirect)
{
    int32_t key = NumRound(args, 0);
    IWindowHost* host = WindowHost_Get();
    SetBool(result, key >= 0 && key < IO_KEY_COUNT && host && host->IsKeyDown(key));
}

ZB_BUILTIN(F_KeyboardClear)
{
    Timing_PumpEvents();
    IO_ClearKey(NumRound(args, 0));
}

ZB_BUILTIN(F_KeyboardWait)
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
ZB_BUILTIN(F_MouseCheckButton) { SetBool(result, IO_MouseCheckButton(NumRound(args, 0), 0)); }
ZB_BUILTIN(F_MouseCheckButtonPressed) { SetBool(result, IO_MouseCheckButtonPressed(NumRound(args, 0), 0)); }
ZB_BUILTIN(F_MouseCheckButtonReleased) { SetBool(result, IO_MouseCheckButtonReleased(NumRound(args, 0), 0)); }
ZB_BUILTIN(F_MouseWheelUp) { SetBool(result, IO_MouseWheelUp(0)); }
ZB_BUILTIN(F_MouseWheelDown) { SetBool(result, IO_MouseWheelDown(0)); }

ZB_BUILTIN(F_MouseClear)
{
    Timing_PumpEvents();
    IO_ClearMouseButton(NumRound(args, 0), 0);
}

ZB_BUILTIN(F_MouseWait)
{
    uint32_t before = IO_GetState().event.mouseDownCount;
    bool wasRunning = g_StartupOptions.running == 1;
    for (;;) {
        Timing_PumpEvents();
        if (IO_GetState().event.mouseDownCount != before || WaitOver(wasRunning)) break;
        Timing_Sleep(kWaitStep);
    }
}

ZB_BUILTIN(F_IoClear)
{
    Timing_PumpEvents();
    IO_Clear();
}

ZB_BUILTIN(F_IoHandle) { Timing_PumpEvents(); }

ZB_BUILTIN(F_DeviceMouseDbclickEnable)
{
    if (argc == 1 && args[0].kind == VALUE_REAL) g_doubleClick = ArgAboveHalf(args, 0);
}

// ---- Joysticks --------------------------------------------------------------------------------
ZB_BUILTIN(F_JoystickExists) { SetBool(result, Joystick_Exists(Joystick(args))); }
ZB_BUILTIN(F_JoystickDirection) { SetReal(result, Joystick_Direction(Joystick(args))); }

ZB_BUILTIN(F_JoystickName)
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

ZB_BUILTIN(F_JoystickAxes) { SetReal(result, CapsField(args, &JoystickCaps::axes)); }
ZB_BUILTIN(F_JoystickButtons) { SetReal(result, CapsField(args, &JoystickCaps::buttons)); }

ZB_BUILTIN(F_JoystickHasPov)
{
    JoystickCaps caps;
    IJoystickBackend* backend = Joystick_GetBackend();
    SetBool(result, backend && backend->GetCaps(Joystick(args), &caps) && (caps.flags & JOYSTICK_HAS_POV));
}

ZB_BUILTIN(F_JoystickCheckButton) { SetBool(result, Joystick_Button(Joystick(args), NumRound(args, 1))); }
ZB_BUILTIN(F_JoystickXpos) { SetReal(result, Joystick_Axis(Joystick(args), 0)); }
ZB_BUILTIN(F_JoystickYpos) { SetReal(result, Joystick_Axis(Joystick(args), 1)); }
ZB_BUILTIN(F_JoystickZpos) { SetReal(result, Joystick_Axis(Joystick(args), 2)); }
ZB_BUILTIN(F_JoystickRpos) { SetReal(result, Joystick_Axis(Joystick(args), 3)); }
ZB_BUILTIN(F_JoystickUpos) { SetReal(result, Joystick_Axis(Joystick(args), 4)); }
ZB_BUILTIN(F_JoystickVpos) { SetReal(result, Joystick_Axis(Joystick(args), 5)); }
ZB_BUILTIN(F_JoystickPov) { SetReal(result, Joystick_Pov(Joystick(args))); }

// ORDER: the group's registration order (the rows of the dialogs, splash, show and high-score
// functions come before these: Function_Dialog.cpp).
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
    InitFunctions_InteractionDialogs(); // the group's first 65 rows
    Register(kRows);
}

bool Interaction_MouseDoubleClickEnabled() { return g_doubleClick; }
