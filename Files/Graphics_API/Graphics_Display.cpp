// Display modes and adapters (see Graphics_Display.h). Host calls go through the window host
// (Linux/Graphics_HostM.cpp); the adapter capabilities come from the device system.
#include "Files/Graphics_API/Graphics_Display.h"

#include <cstring>

#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Host.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Platform/MemoryManager.h"

int32_t GR_AntiAliasLevel = 0;

static GR_Adapter* g_adapters = nullptr;
static int32_t g_adapterCount = 0;
static bool g_modeChanged = false;

static bool CurrentMode(HostDisplayMode* m)
{
    IWindowHost* host = WindowHost_Get();
    return host && host->GetCurrentMode(0, m);
}

int32_t GR_Display_GetWidth()
{
    IWindowHost* host = WindowHost_Get();
    int32_t w = 640, h = 480;
    if (host) host->GetDisplaySize(&w, &h);
    return w;
}

int32_t GR_Display_GetHeight()
{
    IWindowHost* host = WindowHost_Get();
    int32_t w = 640, h = 480;
    if (host) host->GetDisplaySize(&w, &h);
    return h;
}

int32_t GR_Display_GetFrequency()
{
    HostDisplayMode m;
    return CurrentMode(&m) ? m.refreshRate : -1;
}

int32_t GR_Display_GetColourDepth()
{
    HostDisplayMode m;
    if (!CurrentMode(&m)) return -1;
    return m.bitsPerPixel == 24 ? 32 : m.bitsPerPixel;
}

static bool Change(int32_t w, int32_t h, int32_t f, int32_t b, bool test)
{
    IWindowHost* host = WindowHost_Get();
    if (!host) return false;
    bool ok = host->ChangeMode(w > 0 ? w : 0, h > 0 ? h : 0, f > 0 ? f : 0, b > 0 ? b : 0, test);
    if (ok && !test) g_modeChanged = true;
    return ok;
}

bool GR_Display_TestAll(int32_t w, int32_t h, int32_t f, int32_t b) { return Change(w, h, f, b, true); }
bool GR_Display_SetAll(int32_t w, int32_t h, int32_t f, int32_t b) { return Change(w, h, f, b, false); }
bool GR_Display_SetSize(int32_t w, int32_t h) { return Change(w, h, 0, 0, false); }
bool GR_Display_SetFrequency(int32_t f) { return Change(0, 0, f, 0, false); }
bool GR_Display_SetColourDepth(int32_t b) { return Change(0, 0, 0, b, false); }

int32_t GR_Display_GetMouseX()
{
    IWindowHost* host = WindowHost_Get();
    int32_t x = 0, y = 0;
    if (host) host->GetCursorPos(&x, &y);
    return x;
}

int32_t GR_Display_GetMouseY()
{
    IWindowHost* host = WindowHost_Get();
    int32_t x = 0, y = 0;
    if (host) host->GetCursorPos(&x, &y);
    return y;
}

void GR_Display_SetMouse(int32_t x, int32_t y)
{
    IWindowHost* host = WindowHost_Get();
    if (host && GR_Window_HasFocus()) host->SetCursorPos(x, y);
}

void GR_Display_SetMultisample(int32_t samples)
{
    GR_DeviceState& st = GR_D3D_State();
    if (samples == 2 || samples == 4 || samples == 8 || samples == 16) {
        st.wantedMultisample = (uint32_t)samples;
        st.wantedSwapEffect = GFX_SWAPEFFECT_DISCARD;
    } else {
        st.wantedMultisample = 0;
        st.wantedSwapEffect = GFX_SWAPEFFECT_COPY;
    }
    GR_AntiAliasLevel = (int32_t)st.wantedMultisample;
}

void GR_Display_SetVSync(bool on) { GR_D3D_State().vsync = on; }

static void FreeTable()
{
    for (int32_t i = 0; i < g_adapterCount; ++i) MEM_FREE(g_adapters[i].modes);
    delete[] g_adapters;
    g_adapters = nullptr;
    g_adapterCount = 0;
}

void GR_Display_EnumerateAdapters()
{
    FreeTable();
    IGfxSystem* sys = GR_D3D_State().system ? GR_D3D_State().system : GfxSystem_Get();
    IWindowHost* host = WindowHost_Get();
    int32_t n = sys ? sys->GetAdapterCount() : 0;
    if (n <= 0) return;
    g_adapters = new GR_Adapter[n];
    int32_t kept = 0;
    for (int32_t ordinal = 0; ordinal < n; ++ordinal) {
        GR_Adapter& a = g_adapters[kept];
        std::memset(&a, 0, sizeof(a));
        GfxAdapterInfo info{};
        if (!sys->GetAdapterInfo(ordinal, &info) || !info.hal) continue;
        std::memcpy(a.driver, info.driver, sizeof(a.driver));
        a.driver[sizeof(a.driver) - 1] = 0;
        std::memcpy(a.description, info.description, sizeof(a.description));
        a.description[sizeof(a.description) - 1] = 0;
        for (int i = 0; i < 31 && info.deviceName[i]; ++i) a.deviceName[i] = (char16_t)(uint8_t)info.deviceName[i];
        a.groupSize = info.groupSize;
        a.ordinal = ordinal;
        HostDisplayMode m;
        if (host && host->GetCurrentMode(ordinal, &m)) {
            a.desktopLeft = m.left;
            a.desktopTop = m.top;
            a.desktopWidth = m.width;
            a.desktopHeight = m.height;
            a.desktopBits = m.bitsPerPixel == 24 ? 32 : m.bitsPerPixel;
            a.desktopRefresh = m.refreshRate;
        } else {
            a.desktopWidth = 640;
            a.desktopHeight = 480;
            a.desktopBits = 8;
            a.desktopRefresh = 60;
        }
        int32_t count = 0;
        for (int32_t i = 0; host && i < 4096 && host->EnumMode(ordinal, i, &m); ++i) {
            int32_t bits = m.bitsPerPixel == 24 ? 32 : m.bitsPerPixel;
            if (bits == 16 || bits == 32) ++count;
        }
        if (count > 0) {
            a.modes = (GR_DisplayModeEntry*)MEM_ALLOC_CLEAR(sizeof(GR_DisplayModeEntry) * count);
            int32_t k = 0;
            for (int32_t i = 0; k < count && host->EnumMode(ordinal, i, &m); ++i) {
                int32_t bits = m.bitsPerPixel == 24 ? 32 : m.bitsPerPixel;
                if (bits != 16 && bits != 32) continue;
                a.modes[k++] = {(int16_t)m.width, (int16_t)m.height, (uint8_t)bits,
                                (uint16_t)m.refreshRate, (int16_t)i, (uint32_t)ordinal};
            }
            a.modeCount = k;
        }
        if (a.desktopWidth < a.desktopHeight) a.flags |= 1;
        if (a.groupSize == 0) {
            a.flags |= 2;
            a.masterOrdinal = info.masterOrdinal;
        }
        ++kept;
    }
    g_adapterCount = kept;
    for (int32_t i = 0; i < kept; ++i)
        if (g_adapters[i].flags & 2)
            for (int32_t j = 0; j < kept; ++j)
                if (g_adapters[j].ordinal == g_adapters[i].masterOrdinal) g_adapters[i].master = &g_adapters[j];
}

int32_t GR_Display_GetAdapterCount() { return g_adapterCount; }

const GR_Adapter* GR_Display_GetAdapter(int32_t index)
{
    return (index >= 0 && index < g_adapterCount) ? &g_adapters[index] : nullptr;
}

void GR_Display_Restore()
{
    FreeTable();
    if (g_modeChanged) {
        IWindowHost* host = WindowHost_Get();
        if (host) host->ChangeMode(0, 0, 0, 0, false); // all fields left out: back to the desktop mode
        g_modeChanged = false;
    }
}
