// The texture table and texture-page drawing. Every image the game draws lives on a device
// texture held in one table; a texture id indexes it. Images packed onto texture pages are
// described by TexturePageEntry records, which reach scripts only as handles (numbers from
// GR_TPE_HANDLE_BASE up, validated on every use). The quad back ends turn a texture or a page
// entry plus position, scale, rotation, colour and alpha into vertices of the batch.
//
// Needs: Graphics_Batch (device textures, vertex batch), Graphics_RenderState (drawing
// alpha), Graphics_3D (current depth).
#pragma once

#include <cstdint>

class CBitmap32;
struct TextureRecord;

struct TextureSlot {
    TextureRecord* texture;
    int16_t width, height;
    float inverseWidth, inverseHeight;
    uint8_t valid;
};

// A texture-page entry (eleven 16-bit fields; texturePage is the texture id once loaded).
struct TexturePageEntry {
    int16_t srcX, srcY, srcWidth, srcHeight, xOffset, yOffset, targetWidth, targetHeight,
        fullWidth, fullHeight, texturePage;
};

enum : int64_t { GR_TPE_HANDLE_BASE = 0x100000 };
// Page entries as script handles.
int64_t GR_TPE_Register(TexturePageEntry* entry);
TexturePageEntry* GR_TPE_FromHandle(int64_t handle);
// Forgets an entry about to be freed: its handle then names no entry (a freed slot is not
// given to another entry, so an old handle never reaches a newer one).
void GR_TPE_Unregister(const TexturePageEntry* entry);
void GR_TPE_ClearRegistry();
// A "texture" argument: a valid texture id first, then a page-entry handle; anything else
// (and -1) is no texture. Returns false for no texture.
bool GR_Texture_ResolveArgument(int64_t value, int32_t* id, TexturePageEntry** entry);

uint32_t GR_Colour_ToARGB(uint32_t colour, float alpha);

int32_t GR_Texture_AllocSlot();
int32_t GR_Texture_CreateBlank(int32_t width, int32_t height, bool target);
int32_t GR_Texture_CreateFromPixels(int32_t width, int32_t height, const void* data, uint32_t size);
int32_t GR_Texture_CreateFromBitmap(CBitmap32* bitmap);
// What became of a texture page's image: the size its header gives (also when it cannot be
// made); -1 x -1 when it was not looked at (no device), 0 x 0 when it is no image the device
// layer knows.
struct GR_PageImage {
    int32_t width = -1, height = -1;
};
// A texture page's texture from its image blob; -1 when none can be made (the page's entries
// then draw nothing). image, when given, says what became of the image.
int32_t GR_Texture_LoadFromMemory(const void* blob, uint32_t size, int32_t unused, int32_t flag,
                                  GR_PageImage* image = nullptr);
// The largest width and height of a texture (what a texture record holds, or less when the
// device makes no larger one).
int32_t GR_Texture_MaxSide();
int32_t GR_Texture_AddDeviceTexture(TextureRecord* texture, int32_t width, int32_t height);
int32_t GR_Texture_CreateFromAlpha8(int32_t width, int32_t height, const uint8_t* pixels);
bool GR_Texture_Exists(int32_t id);
void GR_Texture_Free(int32_t id);
TextureRecord* GR_Texture_GetPage(int32_t id);
float GR_Texture_GetWidth(int32_t id);
float GR_Texture_GetHeight(int32_t id);
void GR_Texture_Preload(int32_t id);
void GR_Texture_SetPriority(int32_t id, uint32_t priority);
void GR_Texture_ClearTable();
void GR_Texture_FreeAll();
void GR_Texture_FlushAll();
TextureSlot* GR_Texture_GetSlot(int32_t id); // null when not valid
int32_t GR_Texture_Count();

// ---- Quad back ends (angles in radians) -------------------------------------------------------
void GR_Texture_Draw(int32_t id, float x, float y);
void GR_Texture_DrawTPE(TexturePageEntry* e, float x, float y);
void GR_Texture_DrawPosTPE(TexturePageEntry* e, float x1, float y1, float x2, float y2, float x3,
                           float y3, float x4, float y4, uint32_t colour, float alpha);
void GR_Texture_DrawExt(int32_t id, float xorig, float yorig, float x, float y, float xscale,
                        float yscale, float angle, uint32_t colour, float alpha);
void GR_Texture_DrawExtTPE(TexturePageEntry* e, float xorig, float yorig, float x, float y,
                           float xscale, float yscale, float angle, uint32_t colour, float alpha);
void GR_Texture_DrawPart(int32_t id, float left, float top, float width, float height, float x,
                         float y, float xscale, float yscale, float angle, uint32_t colour, float alpha);
void GR_Texture_DrawPartTPE(TexturePageEntry* e, float left, float top, float width, float height,
                            float x, float y, float xscale, float yscale, float angle,
                            uint32_t colour, float alpha);
void GR_Texture_DrawGeneral(int32_t id, float left, float top, float width, float height, float x,
                            float y, float xscale, float yscale, float angle, uint32_t c1,
                            uint32_t c2, uint32_t c3, uint32_t c4, float alpha);
void GR_Texture_DrawGeneralTPE(TexturePageEntry* e, float left, float top, float width,
                               float height, float x, float y, float xscale, float yscale,
                               float angle, uint32_t c1, uint32_t c2, uint32_t c3, uint32_t c4,
                               float alpha);
void GR_Texture_DrawTiled(int32_t id, float xorig, float yorig, float x, float y, float xscale,
                          float yscale, bool htiled, bool vtiled, float viewX, float viewY,
                          float viewW, float viewH, uint32_t colour, float alpha);
void GR_Texture_DrawTiledTPE(TexturePageEntry* e, float xorig, float yorig, float x, float y,
                             float xscale, float yscale, bool htiled, bool vtiled, float viewX,
                             float viewY, float viewW, float viewH, uint32_t colour, float alpha);
// Six vertices: corner 1, 2, 3, 3, 4, 1 (corners as x, y pairs).
void GR_Texture_EmitQuad(TextureRecord* texture, const float* corners, float uL, float vT,
                         float uR, float vB, const uint32_t* colours);
