// Gamepad built-ins (see Function_Gamepad.h).
#include "Files/Function/Function_Gamepad.h"

#include "Files/Base/RealConvert.h"
#include "Files/Base/Value.h"
#include "Files/Code/Code_Builtin.h"
#include "Files/Code/Code_Error.h"
#include "Files/IO/IO_Gamepad.h"

namespace {

using namespace zbargs;

// Reports a missing pad library once, as the built-ins that need it do.
void CheckLoaded()
{
    bool report = false;
    XInput_CheckLoaded(&report);
    if (report) Code_Error_Report("xinput1_3.dll not found. Gamepad support disabled", false);
}

// False (with the report) when fewer than n arguments came.
bool Enough(int32_t argc, int32_t n)
{
    if (argc >= n) return true;
    Code_Error_Report("Wrong number of arguments to function or script.", false);
    return false;
}

IO_Gamepad* Pad(const ScriptValue* args) { return IO_Gamepad_Get(NumRound(args, 0)); }
int32_t Index(const ScriptValue* args) { return IO_Gamepad_Index(NumRound(args, 1)); }

ZB_BUILTIN(F_GamepadIsSupported) { SetReal(result, XInput_Loaded() ? 1 : 0); }
ZB_BUILTIN(F_GamepadGetDeviceCount) { SetReal(result, IO_Gamepad_Count()); }

ZB_BUILTIN(F_GamepadIsConnected)
{
    if (!Enough(argc, 1)) return;
    IO_Gamepad* pad = Pad(args);
    SetReal(result, pad && pad->connected ? 1 : 0);
}

ZB_BUILTIN(F_GamepadGetDescription)
{
    Value_SetString(result, "");
    if (!Enough(argc, 1)) return;
    IO_Gamepad* pad = Pad(args);
    if (pad) Value_SetString(result, pad->description);
}

ZB_BUILTIN(F_GamepadGetButtonThreshold)
{
    if (!Enough(argc, 1)) return;
    IO_Gamepad* pad = Pad(args);
    if (pad) SetReal(result, pad->buttonThreshold);
}

ZB_BUILTIN(F_GamepadSetButtonThreshold)
{
    if (!Enough(argc, 2)) return;
    IO_Gamepad* pad = Pad(args);
    if (!pad) return;
    double v = Num(args, 1);
    if (!(v >= 0.0 && v <= 1.0)) {
        Code_Error_Report("Button threshold is outside the accepted range", false);
        return;
    }
    pad->buttonThreshold = float(v);
}

ZB_BUILTIN(F_GamepadGetAxisDeadzone)
{
    if (!Enough(argc, 1)) return;
    IO_Gamepad* pad = Pad(args);
    if (pad) SetReal(result, pad->axisDeadZone);
}

ZB_BUILTIN(F_GamepadSetAxisDeadzone)
{
    if (!Enough(argc, 2)) return;
    IO_Gamepad* pad = Pad(args);
    if (!pad) return;
    double v = Num(args, 1);
    if (!(v >= 0.0 && v <= 1.0)) {
        Code_Error_Report("Axis dead zone is outside the accepted range", false);
        return;
    }
    pad->axisDeadZone = float(v);
}

ZB_BUILTIN(F_GamepadButtonCount)
{
    if (!Enough(argc, 1)) return;
    IO_Gamepad* pad = Pad(args);
    SetReal(result, pad && pad->connected ? pad->buttonCount : 0);
}

ZB_BUILTIN(F_GamepadAxisCount)
{
    if (!Enough(argc, 1)) return;
    IO_Gamepad* pad = Pad(args);
    SetReal(result, pad && pad->connected ? pad->axisCount : 0);
}

ZB_BUILTIN(F_GamepadButtonCheck)
{
    if (!Enough(argc, 2)) return;
    CheckLoaded();
    SetReal(result, IO_Gamepad_ButtonCheck(Pad(args), Index(args)) ? 1 : 0);
}

ZB_BUILTIN(F_GamepadButtonCheckPressed)
{
    if (!Enough(argc, 2)) return;
    CheckLoaded();
    SetReal(result, IO_Gamepad_ButtonPressed(Pad(args), Index(args)) ? 1 : 0);
}

ZB_BUILTIN(F_GamepadButtonCheckReleased)
{
    if (!Enough(argc, 2)) return;
    CheckLoaded();
    SetReal(result, IO_Gamepad_ButtonReleased(Pad(args), Index(args)) ? 1 : 0);
}

ZB_BUILTIN(F_GamepadButtonValue)
{
    if (!Enough(argc, 2)) return;
    CheckLoaded();
    SetReal(result, IO_Gamepad_ButtonValue(Pad(args), Index(args)));
}

ZB_BUILTIN(F_GamepadAxisValue)
{
    if (!Enough(argc, 2)) return;
    CheckLoaded();
    SetReal(result, IO_Gamepad_AxisValue(Pad(args), Index(args)));
}

ZB_BUILTIN(F_GamepadSetVibration)
{
    if (!Enough(argc, 3)) return;
    CheckLoaded();
    IO_Gamepad_SetVibration(Pad(args), NumFloat(args, 1), NumFloat(args, 2));
}

// ORDER: the group's registration order.
const Row kRows[] = {
    {"gamepad_is_supported", F_GamepadIsSupported, 0},
    {"gamepad_get_device_count", F_GamepadGetDeviceCount, 0},
    {"gamepad_is_connected", F_GamepadIsConnected, 1},
    {"gamepad_get_description", F_GamepadGetDescription, 1},
    {"gamepad_get_button_threshold", F_GamepadGetButtonThreshold, 1},
    {"gamepad_set_button_threshold", F_GamepadSetButtonThreshold, 2},
    {"gamepad_get_axis_deadzone", F_GamepadGetAxisDeadzone, 1},
    {"gamepad_set_axis_deadzone", F_GamepadSetAxisDeadzone, 2},
    {"gamepad_button_count", F_GamepadButtonCount, 1},
    {"gamepad_button_check", F_GamepadButtonCheck, 2},
    {"gamepad_button_check_pressed", F_GamepadButtonCheckPressed, 2},
    {"gamepad_button_check_released", F_GamepadButtonCheckReleased, 2},
    {"gamepad_button_value", F_GamepadButtonValue, 2},
    {"gamepad_axis_count", F_GamepadAxisCount, 1},
    {"gamepad_axis_value", F_GamepadAxisValue, 2},
    {"gamepad_set_vibration", F_GamepadSetVibration, 3},
};

} // namespace

void InitFunctions_Gamepad()
{
    Register(kRows);
    XInput_Init();
}
