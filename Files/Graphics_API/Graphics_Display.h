// Display modes and adapters: the display size and colour depth for the device start-up and
// the display built-ins, changing the display mode, the adapter table with each adapter's
// desktop and usable modes, the multisampling and vertical-sync wishes, and the mouse cursor
// in screen coordinates. Backed by the window host (Linux/Graphics_HostM.cpp: SDL display
// API; a desktop of 24 bits per pixel counts as 32).
#pragma once

#include <cstdint>

struct GR_DisplayModeEntry {
    int16_t width, height;
    uint8_t bitsPerPixel;
    uint16_t refreshRate;   // wider than a byte: rates above 255 fit
    int16_t modeNumber;
    uint32_t ordinal;
};

struct GR_Adapter {
    uint32_t flags;          // 1 desktop taller than wide, 2 not the master of its group
    int32_t groupSize;
    int32_t modeCount;
    char driver[64];
    char description[128];
    char16_t deviceName[32];
    GR_DisplayModeEntry* modes; // memory-manager block
    int32_t desktopLeft, desktopTop, desktopWidth, desktopHeight, desktopBits, desktopRefresh;
    int32_t ordinal;
    int32_t masterOrdinal;
    GR_Adapter* master;
};

int32_t GR_Display_GetWidth();
int32_t GR_Display_GetHeight();
int32_t GR_Display_GetFrequency();
int32_t GR_Display_GetColourDepth();
bool GR_Display_TestAll(int32_t w, int32_t h, int32_t frequency, int32_t bits);
bool GR_Display_SetAll(int32_t w, int32_t h, int32_t frequency, int32_t bits);
bool GR_Display_SetSize(int32_t w, int32_t h);
bool GR_Display_SetFrequency(int32_t frequency);
bool GR_Display_SetColourDepth(int32_t bits);
int32_t GR_Display_GetMouseX();
int32_t GR_Display_GetMouseY();
void GR_Display_SetMouse(int32_t x, int32_t y);
void GR_Display_SetMultisample(int32_t samples);
void GR_Display_SetVSync(bool on);
void GR_Display_EnumerateAdapters();
int32_t GR_Display_GetAdapterCount();
const GR_Adapter* GR_Display_GetAdapter(int32_t index);
// At shutdown: frees the adapter table and restores the display mode.
void GR_Display_Restore();
// The anti-aliasing value that display_aa reads.
extern int32_t GR_AntiAliasLevel;
