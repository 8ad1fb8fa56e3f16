// Placeholders of the rendering layer (window, device, textures) until the graphics module
// lands; start-up, the loader and shutdown call these. Each line says what it stands for.
#include "Files/Runner/Runner_Services.h"

// Stands in for: keeps the table of built-in images.
void GR_BuiltinImages_SetTable(const uint8_t*) {}
// Stands in for: creates and shows the game window.
void* GR_Window_Create(int32_t, int32_t) { static int window; return &window; }
// Stands in for: fills the 24-segment circle table.
void GR_Draw_InitCircleTable() {}
// Stands in for: marks the 32 view ports unset.
void GR_ViewPort_ClearAll() {}
// Stands in for: creates the device.
bool GR_D3D_Init(void*, int32_t, int32_t, uint32_t) { return true; }
// Stands in for: bits per pixel of the display.
int32_t GR_Display_GetColourDepth() { return 32; }
// Stands in for: changes the display mode.
bool GR_Display_SetAll(int32_t, int32_t, int32_t, int32_t) { return true; }
// Stands in for: restores the display mode.
void GR_Display_Restore() {}
// Stands in for: post-start hook of the drawing layer.
void GR_PostInit() {}
// Stands in for: begins a frame.
bool GR_D3D_Start_Frame() { return false; }
// Stands in for: ends and presents a frame.
bool GR_D3D_Finish_Frame(bool) { return false; }
// Stands in for: decodes a texture page (hands out ids only).
int32_t GR_Texture_LoadFromMemory(const void* data, uint32_t size, int32_t, int32_t) { static int32_t next = 0; return data && size ? next++ : -1; }
// Stands in for: frees every texture.
void GR_Texture_FreeAll() {}
// Stands in for: frees the built-in font.
void GR_Text_FreeDefaultFont() {}
// Stands in for: releases the device.
void GR_D3D_Release() {}
// Stands in for: sets the window background colour.
void GR_Window_SetColour(uint32_t) {}
