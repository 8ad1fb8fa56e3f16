// The device system in use (see Graphics_Device.h): the one installed, else the OpenGL one
// of Linux/Graphics_DeviceM.cpp, made on first use.
#include "Files/Graphics_API/Graphics_Device.h"

static IGfxSystem* g_system = nullptr;
static IGfxSystem* g_default = nullptr;

void GfxSystem_Set(IGfxSystem* system) { g_system = system; }

IGfxSystem* GfxSystem_Get()
{
    if (g_system) return g_system;
    if (!g_default) g_default = GfxSystem_CreateGL();
    return g_default;
}
