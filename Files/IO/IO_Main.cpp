// Start-up and shutdown of the input layer (IO_Init, IO_Shutdown in IO_Input.h): the window
// procedure's input hooks, the key map, the record or playback file the command line asked
// for, and the release of the gamepads and joysticks.
#include <cerrno>

#include "Files/Base/Console.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/IO/IO_Gamepad.h"
#include "Files/IO/IO_Input.h"
#include "Files/IO/IO_Joystick.h"
#include "Files/IO/IO_Record.h"
#include "Files/Support/CommandLine.h"
#include "Files/Support/File.h"

namespace {

constexpr uint32_t kRepeatBit = 1u << 30; // the key was already down (key message data)

void InstallHooks()
{
    GR_HookTable& h = GR_Hooks();
    h.keyDown = [](int32_t key, int32_t mods, uint32_t data) { IO_OnKeyDown(key, mods, (data & kRepeatBit) != 0); };
    h.keyUp = IO_OnKeyUp;
    h.character = IO_OnChar;
    h.mouseDown = IO_OnMouseDown;
    h.mouseUp = IO_OnMouseUp;
    h.mouseMove = IO_OnMouseMove;
    h.wheelUp = IO_OnMouseWheelUp;
    h.wheelDown = IO_OnMouseWheelDown;
    h.deviceMouse = [](int32_t d, int32_t* x, int32_t* y) {
        if (d < 0 || d >= IO_MOUSE_DEVICES) return false;
        *x = IO_GetDeviceMouseX(d);
        *y = IO_GetDeviceMouseY(d);
        return true;
    };
}

void RemoveHooks()
{
    GR_HookTable& h = GR_Hooks();
    h.keyDown = nullptr;
    h.keyUp = nullptr;
    h.character = nullptr;
    h.mouseDown = nullptr;
    h.mouseUp = nullptr;
    h.mouseMove = nullptr;
    h.wheelUp = nullptr;
    h.wheelDown = nullptr;
    h.deviceMouse = nullptr;
}

} // namespace

void IO_Init()
{
    IO_Clear();
    IO_ResetKeyMap();
    const StartupOptions& o = g_StartupOptions;
    IO_Record_Close();
    if ((o.record || o.playback) && o.recordFileName && *o.recordFileName &&
        !IO_Record_Open(o.recordFileName, o.playback != 0)) { // playback wins; a failure turns both off
        Console_Problem(o.playback ? "-playback %s: %s; the game runs on its own input" : "-record %s: %s; the run is not recorded",
                        o.recordFileName, File_ErrorText(errno));
    }
    InstallHooks();
}

void IO_Shutdown()
{
    XInput_Release();
    Joystick_Release();
    IO_Record_Close();
    RemoveHooks();
}
