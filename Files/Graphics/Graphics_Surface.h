// Surfaces: off-screen render-target textures that scripts create, draw into (by making one
// the render target) and draw like images. Owns the surface table (a surface id is its slot;
// freed slots are reused), switching the target with its saving and restoring of view and
// view port, the draw forms, reading a surface back into a bitmap, and the loss of every
// surface at a device reset or a texture flush (installed as the graphics layer's
// surfaceFreeAll and surfaceFlushAll hooks).
//
// Surfaces never nest: setting a second target resets the first, so at most one render
// target is pushed for them.
// Needs: Graphics_Texture (render-target textures, quad back ends), Graphics_D3D (target
// stack, view, view port), Graphics_ReadBack, TBitmap. No Linux/ file.
#pragma once

#include <cstdint>

class TBitmap;

struct SurfaceSlot {
    int32_t texture; // texture id of the render-target texture; -1 after freeing
    int32_t width, height;
    uint8_t used;    // 1 while the surface exists
};

int32_t GR_Surface_Create(int32_t width, int32_t height);
bool GR_Surface_Exists(int32_t id);
int32_t GR_Surface_GetWidth(int32_t id);
int32_t GR_Surface_GetHeight(int32_t id);
int32_t GR_Surface_GetTexture(int32_t id);
bool GR_Surface_SetTarget(int32_t id);
bool GR_Surface_ResetTarget();
// The surface drawing goes to, -1 for the screen.
int32_t GR_Surface_CurrentTarget();
void GR_Surface_Free(int32_t id);
void GR_Surface_FreeAll();
void GR_Surface_Draw(int32_t id, float x, float y);
// Angles in degrees.
void GR_Surface_DrawExt(int32_t id, float x, float y, float xscale, float yscale, float angle, uint32_t colour,
                        float alpha);
void GR_Surface_DrawStretched(int32_t id, float x, float y, float w, float h, uint32_t colour, float alpha);
void GR_Surface_DrawPart(int32_t id, float left, float top, float width, float height, float x, float y,
                         float xscale, float yscale, uint32_t colour, float alpha);
void GR_Surface_DrawGeneral(int32_t id, float left, float top, float width, float height, float x, float y,
                            float xscale, float yscale, float angle, uint32_t c1, uint32_t c2, uint32_t c3,
                            uint32_t c4, float alpha);
void GR_Surface_DrawTiled(int32_t id, float x, float y, float xscale, float yscale, bool htiled, bool vtiled,
                          float viewX, float viewY, float viewW, float viewH, uint32_t colour, float alpha);
// A new 32-bit TBitmap holding the rectangle (the caller owns it); null when the surface
// does not exist, the rectangle does not lie inside it or the pixels cannot be read.
TBitmap* GR_Surface_GrabBitmap(int32_t id, int32_t x, int32_t y, int32_t width, int32_t height);
// Pixels of a rectangle (w * h words 0xAARRGGBB, memory-manager block the caller frees), or
// null as for GR_Surface_GrabBitmap.
uint32_t* GR_Surface_ReadPixels(int32_t id, int32_t x, int32_t y, int32_t width, int32_t height);

// The slot count (tests) and a full reset of the table (shutdown, tests).
int32_t GR_Surface_Count();
void GR_Surface_ResetTable();

