// Joystick reads and the joystick events of the step (see IO_Joystick.h). The back end is
// Linux/IO_ControllersM.cpp (SDL joysticks).
#include "Files/IO/IO_Joystick.h"

namespace {

IJoystickBackend* g_installed = nullptr;
IJoystickBackend* g_sdl = nullptr;

bool Position(int32_t id, JoystickPosition* out)
{
    IJoystickBackend* backend = Joystick_GetBackend();
    *out = JoystickPosition{32767, 32767, 32767, 32767, 32767, 32767, 0, JOYSTICK_POV_CENTRED};
    return backend && (id == 0 || id == 1) && backend->GetPosition(id, out);
}

} // namespace

void Joystick_SetBackend(IJoystickBackend* backend) { g_installed = backend; }

IJoystickBackend* Joystick_GetBackend()
{
    if (g_installed) return g_installed;
    if (!g_sdl) g_sdl = IO_JoystickBackend_CreateSDL();
    return g_sdl;
}

void Joystick_Release()
{
    if (g_sdl) g_sdl->Shutdown();
}

int32_t Joystick_Id(int32_t number) { return number == 2 ? 1 : 0; }

void Joystick_PollEvents(void (*fire)(int32_t eventNumber))
{
    if (!fire) return;
    for (int32_t id = 0; id < 2; ++id) {
        JoystickPosition pos;
        if (!Position(id, &pos)) continue;
        const int32_t base = id == 0 ? 16 : 31; // left; right +1, up +2, down +3, buttons +5..+12
        if (pos.x < 20000) fire(base);
        if (pos.x > 44000) fire(base + 1);
        if (pos.y < 20000) fire(base + 2);
        if (pos.y > 44000) fire(base + 3);
        for (int32_t n = 1; n <= 8; ++n)
            if (pos.buttons & (1u << (n - 1))) fire(base + 4 + n);
    }
}

bool Joystick_Exists(int32_t id)
{
    JoystickPosition pos;
    return Position(id, &pos);
}

int32_t Joystick_Direction(int32_t id)
{
    JoystickPosition pos;
    if (!Position(id, &pos)) return 101;
    int32_t row = pos.y < 20000 ? 103 : pos.y > 44000 ? 97 : 100;
    int32_t column = pos.x < 20000 ? 0 : pos.x <= 44000 ? 1 : 2;
    return row + column;
}

double Joystick_Axis(int32_t id, int32_t axis)
{
    JoystickPosition pos;
    if (axis < 0 || axis > 5 || !Position(id, &pos)) return 0.0;
    const uint32_t values[6] = {pos.x, pos.y, pos.z, pos.r, pos.u, pos.v};
    return double(values[axis]) / 32767.0 - 1.0;
}

double Joystick_Pov(int32_t id)
{
    JoystickPosition pos;
    if (!Position(id, &pos)) return -1.0;
    double degrees = double(pos.pov) / 100.0;
    return degrees > 360.0 ? -1.0 : degrees;
}

bool Joystick_Button(int32_t id, int32_t n)
{
    JoystickPosition pos;
    if (n < 1 || n > 32 || !Position(id, &pos)) return false;
    return (pos.buttons >> (n - 1)) & 1;
}
