// The window host in use (see Graphics_Host.h): the one installed, else the SDL host of
// Linux/Graphics_HostM.cpp, made on first use.
#include "Files/Graphics_API/Graphics_Host.h"

static IWindowHost* g_host = nullptr;
static IWindowHost* g_default = nullptr;

void WindowHost_Set(IWindowHost* host) { g_host = host; }

IWindowHost* WindowHost_Get()
{
    if (g_host) return g_host;
    if (!g_default) g_default = WindowHost_CreateSDL();
    return g_default;
}
