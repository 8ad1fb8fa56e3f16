// Screen and texture read-back (see Graphics_ReadBack.h).
#include "Files/Graphics_API/Graphics_ReadBack.h"

#include <cstring>

#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/TBitmap.h"
#include "Platform/MemoryManager.h"

// Reads exactly w x h pixels from a surface of the given size (the rectangle already lies
// inside it).
static uint32_t* ReadSurface(GfxSurface* surface, int32_t x, int32_t y, int32_t w, int32_t h)
{
    IGfxDevice* dev = GR_D3D_State().device;
    if (!dev || !surface) return nullptr;
    uint32_t* block = (uint32_t*)MEM_ALLOC((uint64_t)w * h * 4);
    GfxRect r{x, y, x + w, y + h};
    if (!dev->ReadSurface(surface, r, block)) {
        MEM_FREE(block);
        return nullptr;
    }
    return block;
}

namespace {

// Reads the screen texture: a rectangle left of or above the screen moves to 0 keeping its size,
// then it is cut at the bound and at the texture's own size. The size actually read is written
// to *readW and *readH; null when nothing of the rectangle can be read.
uint32_t* ReadScreen(int32_t boundW, int32_t boundH, int32_t x, int32_t y, int32_t w, int32_t h, int32_t* readW,
                     int32_t* readH)
{
    GR_DeviceState& st = GR_D3D_State();
    GR_D3D_Flush();
    GR_D3D_MoveFrameToScreenTexture();
    if (x < 0) x = 0;
    if (y < 0) y = 0;
    if ((int64_t)x + w > boundW) w = boundW - x;
    if ((int64_t)y + h > boundH) h = boundH - y;
    if (w < 1 || h < 1 || !st.device || !st.screenTexture) return nullptr;
    GfxDisplayMode mode;
    if (!st.device->GetDisplayMode(&mode)) return nullptr;
    TextureRecord* s = st.screenTexture;
    int32_t tw = s->Width(), th = s->Height();
    if ((int64_t)x + w > tw) w = tw - x;
    if ((int64_t)y + h > th) h = th - y;
    if (w < 1 || h < 1) return nullptr;
    *readW = w;
    *readH = h;
    return ReadSurface(s->colour, x, y, w, h);
}

} // namespace

uint32_t* GR_D3D_ReadBackBufferRect(int32_t boundW, int32_t boundH, int32_t x, int32_t y, int32_t w, int32_t h)
{
    if (w < 1 || h < 1 || (int64_t)w * h > INT32_MAX / 4) return nullptr;
    int32_t rw = 0, rh = 0;
    uint32_t* block = ReadScreen(boundW, boundH, x, y, w, h, &rw, &rh);
    if (!block || (rw == w && rh == h)) return block;
    // Callers index the block as w x h: what lies beyond the screen comes back as 0.
    uint32_t* whole = (uint32_t*)MEM_ALLOC_CLEAR((uint64_t)w * h * 4);
    for (int32_t r = 0; r < rh; ++r) std::memcpy(whole + (size_t)r * w, block + (size_t)r * rw, (size_t)rw * 4);
    MEM_FREE(block);
    return whole;
}

uint32_t* GR_D3D_ReadTextureRect(TextureRecord* record, int32_t x, int32_t y, int32_t w, int32_t h)
{
    GR_D3D_Flush();
    if (!record || !record->colour) return nullptr;
    if (x < 0) x = 0;
    if (y < 0) y = 0;
    int32_t tw = record->Width(), th = record->Height();
    if ((int64_t)x + w > tw) w = tw - x;
    if ((int64_t)y + h > th) h = th - y;
    if (w < 1 || h < 1) return nullptr;
    return ReadSurface(record->colour, x, y, w, h);
}

uint32_t* GR_D3D_ReadTextureRectExact(TextureRecord* record, int32_t x, int32_t y, int32_t w, int32_t h)
{
    GR_D3D_Flush();
    if (!record || x < 0 || y < 0 || w < 1 || h < 1) return nullptr;
    const int32_t tw = record->Width(), th = record->Height();
    if ((int64_t)x + w > tw || (int64_t)y + h > th) return nullptr;
    if (record->colour) return ReadSurface(record->colour, x, y, w, h);
    if (record->formatCode != 6 || !record->pixels) return nullptr;
    uint32_t* block = (uint32_t*)MEM_ALLOC((uint64_t)w * h * 4);
    for (int32_t r = 0; r < h; ++r)
        std::memcpy(block + (size_t)r * w, record->pixels + ((size_t)(y + r) * tw + x) * 4, (size_t)w * 4);
    return block;
}

void GR_D3D_CopyTextureRect(TextureRecord* src, int32_t sx, int32_t sy, TextureRecord* dst, int32_t x, int32_t y,
                            int32_t w, int32_t h)
{
    IGfxDevice* dev = GR_D3D_State().device;
    GR_D3D_Flush();
    if (!dev || !src || !dst || !src->colour || !dst->colour) return;
    if (x < 0) x = 0;
    if (y < 0) y = 0;
    if (sx < 0) sx = 0;
    if (sy < 0) sy = 0;
    if (w <= 0 || h <= 0) return;
    if ((int64_t)sx + w > src->Width()) w = src->Width() - sx;
    if ((int64_t)sy + h > src->Height()) h = src->Height() - sy;
    if ((int64_t)x + w > dst->Width()) w = dst->Width() - x;
    if ((int64_t)y + h > dst->Height()) h = dst->Height() - y;
    if (w < 1 || h < 1) return;
    GfxRect a{sx, sy, sx + w, sy + h}, b{x, y, x + w, y + h};
    dev->StretchRect(src->colour, &a, dst->colour, &b, GFX_TEXF_LINEAR);
    dst->flags |= 1;
}

TBitmap* GR_D3D_ScreenToBitmap(int32_t x, int32_t y, int32_t w, int32_t h)
{
    GR_WindowStateRecord& ws = GR_WindowState();
    int32_t rw = 0, rh = 0;
    // The bitmap has the size read: the drawing rectangle can be larger than the screen texture
    // (before the first room is drawn, or with views larger than the window).
    uint32_t* block = ReadScreen(ws.drawRight - ws.drawLeft, ws.drawBottom - ws.drawTop, x, y, w, h, &rw, &rh);
    if (!block) return nullptr; // no uninitialised picture
    TBitmap* b = TBitmap::Create();
    b->SetPixelFormat(7);
    b->SetWidth(rw);
    b->SetHeight(rh);
    int32_t pitch;
    uint8_t* base = b->Lock(0, nullptr, &pitch);
    for (int32_t r = 0; r < rh; ++r) std::memcpy(base + (size_t)r * pitch, block + (size_t)r * rw, (size_t)rw * 4);
    b->Unlock(base);
    MEM_FREE(block);
    return b;
}

uint32_t GR_D3D_GetPixel(int32_t x, int32_t y)
{
    GR_DeviceState& st = GR_D3D_State();
    uint32_t* block = GR_D3D_ReadBackBufferRect(st.requestedWidth, st.requestedHeight, x, y, 1, 1);
    if (!block) return 0;
    uint32_t c = block[0];
    MEM_FREE(block);
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}
