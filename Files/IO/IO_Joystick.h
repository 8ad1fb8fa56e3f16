// Joysticks: the first two joysticks, read directly by the joystick built-ins and polled once
// per step for the joystick events. Positions are in the Windows joystick ranges: axes
// 0..65535 with the centre at 32767 (y grows downwards), the point of view in hundredths of a
// degree clockwise from up (65535 when centred), a mask of up to 32 buttons.
//
// The joysticks are read through IJoystickBackend; the back end of this platform is
// Linux/IO_ControllersM.cpp (SDL joysticks: every joystick SDL sees, game controllers
// included, in SDL's device order). Tests drive SDL virtual joysticks.
//
// Event numbers (fired through the callback the world gives): joystick 1 left 16, right 17,
// up 18, down 19, buttons 1..8 21..28; joystick 2 left 31, right 32, up 33, down 34, buttons
// 36..43. Main thread only.
#pragma once

#include <cstdint>

struct JoystickPosition {
    uint32_t x, y, z, r, u, v; // 0..65535
    uint32_t buttons;          // bit n-1: button n
    uint32_t pov;              // hundredths of a degree; 65535 centred
};

constexpr uint32_t JOYSTICK_POV_CENTRED = 65535;

// Capability flags (Windows numbers).
enum : uint32_t {
    JOYSTICK_HAS_Z = 0x01, JOYSTICK_HAS_R = 0x02, JOYSTICK_HAS_U = 0x04, JOYSTICK_HAS_V = 0x08,
    JOYSTICK_HAS_POV = 0x10, JOYSTICK_POV_4DIR = 0x20, JOYSTICK_POV_CONTINUOUS = 0x40,
};

struct JoystickCaps {
    char name[256];  // product name, terminated
    int32_t axes;    // axes in use (at most 6)
    int32_t buttons; // at most 32
    uint32_t flags;  // JOYSTICK_HAS_*
};

class IJoystickBackend {
public:
    virtual ~IJoystickBackend() = default;
    // Joystick id 0 or 1; false when there is no such joystick.
    virtual bool GetPosition(int32_t id, JoystickPosition* out) = 0;
    virtual bool GetCaps(int32_t id, JoystickCaps* out) = 0;
    // Closes what the back end opened.
    virtual void Shutdown() = 0;
};

// The SDL back end (Linux/IO_ControllersM.cpp); it starts SDL's joystick subsystem on first use.
IJoystickBackend* IO_JoystickBackend_CreateSDL();
// The back end in use: the one installed, else the SDL one (made on first use). Null restores
// the SDL one.
void Joystick_SetBackend(IJoystickBackend* backend);
IJoystickBackend* Joystick_GetBackend();
// Closes the SDL back end's joysticks (game end).
void Joystick_Release();

// The joystick id of a script's joystick number: 2 is the second joystick (1), any other
// number the first (0).
int32_t Joystick_Id(int32_t number);

// Once per step, in the step's joystick phase: for each of the two joysticks that answers,
// fires left / right (x below 20000 / above 44000), up / down (y likewise) and each held
// button 1..8, in that order, through fire(event number).
void Joystick_PollEvents(void (*fire)(int32_t eventNumber));

// Readers of the built-ins (id 0 or 1).
bool Joystick_Exists(int32_t id);
// Numeric-keypad code of the stick's direction (97..105); 101 when the joystick does not answer.
int32_t Joystick_Direction(int32_t id);
// Axis 0..5 (x, y, z, r, u, v) as position / 32767 - 1; 0 when the joystick does not answer.
double Joystick_Axis(int32_t id, int32_t axis);
// Degrees of the point of view; -1 when centred or when the joystick does not answer.
double Joystick_Pov(int32_t id);
// Button n (1..32) held; false for other n.
bool Joystick_Button(int32_t id, int32_t n);
