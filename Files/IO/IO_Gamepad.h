// Gamepads: four pad slots polled once per step by IO_Update and read through the gamepad
// built-ins (Files/Function/Function_Gamepad.cpp). Each pad keeps 16 buttons and 4 axes as
// reals, with the previous poll's values for the pressed and released tests, a button
// threshold, an axis dead zone and the two vibration speeds.
//
// The pads are read through IGamepadBackend, whose readings are in the Windows pad layout
// (button word, 8-bit triggers, 16-bit sticks with Y up-positive). The back end of this
// platform is Linux/IO_ControllersM.cpp: SDL game controllers in place of XInput; tests use
// SDL virtual joysticks or a fake back end.
//
// Button indices: 0 pad up, 1 pad down, 2 pad left, 3 pad right, 4 start, 5 back, 6 left
// stick, 7 right stick, 8 left shoulder, 9 right shoulder, 10 left trigger, 11 right trigger,
// 12 A, 13 B, 14 X, 15 Y. Axes: 0 left stick horizontal, 1 left stick vertical, 2 right stick
// horizontal, 3 right stick vertical. A button index with bit 0x1000 reads axis
// (index without 0x1000, 0x2000, 0x4000) as a button, in the negative direction with 0x2000;
// an axis index with bit 0x1000 reads button (index without 0x1000) as an axis.
//
// Needs the game header's usage flags (bit value 4 enables polling), the log console and the
// run-time error reporter. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int32_t IO_GAMEPAD_SLOTS = 4;
constexpr int32_t IO_GAMEPAD_BUTTONS = 16;
constexpr int32_t IO_GAMEPAD_AXES = 4;
constexpr int32_t IO_GAMEPAD_AXIS_AS_BUTTON = 0x1000;
constexpr int32_t IO_GAMEPAD_NEGATIVE = 0x2000;
constexpr int32_t IO_GAMEPAD_IGNORED = 0x4000;

// One reading of a pad, in the Windows pad layout.
struct GamepadReading {
    uint16_t buttons;                  // bit i: button i (bits 10 and 11 unused)
    uint8_t leftTrigger, rightTrigger; // 0..255
    int16_t thumbLX, thumbLY, thumbRX, thumbRY; // Y positive up
};

class IGamepadBackend {
public:
    virtual ~IGamepadBackend() = default;
    // True when the back end started (the pads can be asked).
    virtual bool Available() = 0;
    // Once per poll, before the pads are asked: notices controllers plugged in and out.
    virtual void Refresh() = 0;
    // The state of a slot; false when no pad is there.
    virtual bool GetState(int32_t pad, GamepadReading* out) = 0;
    // The description of the pad in a slot; false when it cannot be told.
    virtual bool GetDescription(int32_t pad, char* out, size_t capacity) = 0;
    // Motor speeds 0..65535 (left: the low-frequency motor).
    virtual void SetVibration(int32_t pad, uint16_t left, uint16_t right) = 0;
    // Closes what the back end opened.
    virtual void Shutdown() = 0;
};

// Kinds of pad, numbered as the pad's capabilities report their sub-type (ORDER: 7 is unused).
enum GamepadKind : int32_t {
    GAMEPAD_KIND_OTHER = 0,
    GAMEPAD_KIND_GAMEPAD = 1,
    GAMEPAD_KIND_WHEEL = 2,
    GAMEPAD_KIND_ARCADE_STICK = 3,
    GAMEPAD_KIND_FLIGHT_STICK = 4,
    GAMEPAD_KIND_DANCE_PAD = 5,
    GAMEPAD_KIND_GUITAR = 6,
    GAMEPAD_KIND_DRUM_KIT = 8,
};
// The description of a kind of pad ("Xbox 360 Controller (XInput WHEEL)", ...); null for
// GAMEPAD_KIND_OTHER and any number that is not a kind (the device's own name is kept then).
const char* IO_Gamepad_KindDescription(int32_t kind);

// The SDL back end (Linux/IO_ControllersM.cpp); it starts SDL's game-controller subsystem.
IGamepadBackend* IO_GamepadBackend_CreateSDL();
// The back end XInput_Init uses: the one installed, else a new SDL back end. Null restores
// the SDL one.
void IO_Gamepad_SetBackend(IGamepadBackend* backend);

struct IO_Gamepad {
    uint8_t connected;
    int32_t buttonCount;
    int32_t axisCount;
    float previousButtons[IO_GAMEPAD_BUTTONS];
    float buttons[IO_GAMEPAD_BUTTONS];
    float axes[IO_GAMEPAD_AXES];
    float previousAxes[IO_GAMEPAD_AXES];
    float buttonThreshold; // a button counts as down at or above it (default 0.5)
    float axisDeadZone;    // default 0
    float vibrationLeft, vibrationRight; // 0..1
    char description[512]; // "" when unknown
};

// ---- The pad table -------------------------------------------------------------------------
// Starts the back end, makes the four pads (tracing each) and polls once. Called by the
// gamepad registrar.
void XInput_Init();
// Once per step from IO_Update (not during playback).
void XInput_Poll();
// Releases the pads and the back end (count 0).
void XInput_Release();
// True when the back end started.
bool XInput_Loaded();
// For the built-ins that need the back end: returns XInput_Loaded(); when it did not start,
// the first call (until the next release) sets *reportMissing, and the caller reports
// "xinput1_3.dll not found. Gamepad support disabled".
bool XInput_CheckLoaded(bool* reportMissing);
int32_t IO_Gamepad_Count();
// The pad of a device index; null outside the table.
IO_Gamepad* IO_Gamepad_Get(int32_t device);

// ---- One pad --------------------------------------------------------------------------------
bool IO_Gamepad_ButtonCheck(const IO_Gamepad* pad, int32_t index);
bool IO_Gamepad_ButtonPressed(const IO_Gamepad* pad, int32_t index);
bool IO_Gamepad_ButtonReleased(const IO_Gamepad* pad, int32_t index);
float IO_Gamepad_ButtonValue(const IO_Gamepad* pad, int32_t index);
// The axis value after the dead zone.
float IO_Gamepad_AxisValue(const IO_Gamepad* pad, int32_t index);
// Clamped to 0..1; reaches the pad at the next poll.
void IO_Gamepad_SetVibration(IO_Gamepad* pad, float left, float right);
// Converts a reading into values and pushes them (previous <- latest <- new).
void IO_Gamepad_Push(IO_Gamepad* pad, const GamepadReading& reading);

// Script numbers to indices (one table for buttons and axes): gp_face1 (32769) .. gp_padr
// (32784) give button indices, gp_axislh (32785) .. gp_axisrv (32788) axis indices; a number
// below 32768 is the index itself; any other number from 32768 up gives 0.
int32_t IO_Gamepad_Index(int32_t number);
