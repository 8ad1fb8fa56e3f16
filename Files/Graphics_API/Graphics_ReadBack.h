// Screen and texture read-back: pixels of the screen texture or of a render-target texture
// copied into memory (pixel blocks of w * h words 0xAARRGGBB, rows top first, from the memory
// manager; the caller frees them), into another texture, or into a platform bitmap. Every
// read flushes the vertex batch first.
//
// Needs: Graphics_D3D, Graphics_Batch, TBitmap. The device's ReadSurface is backed by
// Linux/Graphics_DeviceM.cpp.
#pragma once

#include <cstdint>

class TBitmap;
struct TextureRecord;

// Always w * h words when not null: the rectangle moves to 0 when it starts left of or above the
// screen, and what lies beyond the bound or the screen texture reads as 0. Null when nothing of
// it can be read.
uint32_t* GR_D3D_ReadBackBufferRect(int32_t boundW, int32_t boundH, int32_t x, int32_t y, int32_t w, int32_t h);
uint32_t* GR_D3D_ReadTextureRect(TextureRecord* record, int32_t x, int32_t y, int32_t w, int32_t h);
// Exactly the rectangle (w * h words) or null: null when it does not lie wholly inside the
// texture or cannot be read. Render targets are read from their surface; other 32-bit
// textures from the pixel copy their record keeps (no device read needed).
uint32_t* GR_D3D_ReadTextureRectExact(TextureRecord* record, int32_t x, int32_t y, int32_t w, int32_t h);
void GR_D3D_CopyTextureRect(TextureRecord* src, int32_t sx, int32_t sy, TextureRecord* dst, int32_t x, int32_t y,
                            int32_t w, int32_t h);
// A bitmap of the part of the rectangle that lies inside both the drawing rectangle and the
// screen texture, or null.
TBitmap* GR_D3D_ScreenToBitmap(int32_t x, int32_t y, int32_t w, int32_t h);
uint32_t GR_D3D_GetPixel(int32_t x, int32_t y);
