// The surface table, target switching, the draw forms and read-back (see
// Graphics_Surface.h). No host library here.
#include "Files/Graphics/Graphics_Surface.h"

#include <cstring>
#include <vector>

#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics_API/Graphics_3D.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_ReadBack.h"
#include "Files/Graphics_API/TBitmap.h"
#include "Platform/FreeSlots.h"
#include "Platform/MemoryManager.h"

namespace {

const float kDegToRad = 0.01745329238474369f;

std::vector<SurfaceSlot> g_slots;
FreeSlots g_freed; // slots emptied by GR_Surface_Free, lowest first

struct TargetState {
    int32_t current = -1;          // surface drawn into, -1 = the screen
    bool intoSurface = false;
    int32_t savedViewport[4] = {};
    float savedView[5] = {};
    uint8_t savedCustomProjection = 0;
};
TargetState g_target;

SurfaceSlot* Slot(int32_t id)
{
    if (id < 0 || id >= (int32_t)g_slots.size() || g_slots[(size_t)id].used != 1) return nullptr;
    return &g_slots[(size_t)id];
}

// Every surface goes at a device reset and at draw_texture_flush.
void InstallHooks()
{
    GR_Hooks().surfaceFreeAll = GR_Surface_FreeAll;
    GR_Hooks().surfaceFlushAll = GR_Surface_FreeAll;
}

} // namespace

int32_t GR_Surface_Create(int32_t width, int32_t height)
{
    InstallHooks();
    int32_t texture = width > 0 && height > 0 ? GR_Texture_CreateBlank(width, height, true) : -1;
    if (texture < 0) return -1; // no slot is taken (nor added)
    const int32_t again = g_freed.Take((int32_t)g_slots.size(), [](int32_t i) { return g_slots[(size_t)i].used != 1; });
    const size_t slot = again >= 0 ? (size_t)again : g_slots.size();
    if (slot == g_slots.size()) g_slots.push_back(SurfaceSlot{-1, 0, 0, 0});
    g_slots[slot] = SurfaceSlot{texture, width, height, 1};
    return (int32_t)slot;
}

bool GR_Surface_Exists(int32_t id) { return Slot(id) != nullptr; }

int32_t GR_Surface_GetWidth(int32_t id)
{
    SurfaceSlot* s = Slot(id);
    return s ? s->width : -1;
}

int32_t GR_Surface_GetHeight(int32_t id)
{
    SurfaceSlot* s = Slot(id);
    return s ? s->height : -1;
}

int32_t GR_Surface_GetTexture(int32_t id)
{
    SurfaceSlot* s = Slot(id);
    return s ? s->texture : -1;
}

int32_t GR_Surface_CurrentTarget() { return g_target.current; }

bool GR_Surface_SetTarget(int32_t id)
{
    GR_DeviceState& st = GR_D3D_State();
    if (!st.device) return false;
    GR_D3D_Flush();
    SurfaceSlot* s = Slot(id);
    if (!s) return false;
    if (g_target.current == id) return true;
    TextureRecord* record = GR_Texture_GetPage(s->texture);
    if (!record) return false;
    if (g_target.current != -1) GR_Surface_ResetTarget();
    std::memcpy(g_target.savedViewport, st.viewport, sizeof(g_target.savedViewport));
    std::memcpy(g_target.savedView, st.view, sizeof(g_target.savedView));
    if (!GR_D3D_PushRenderTarget()) return false;
    if (!GR_D3D_SetRenderTarget(0, record)) {
        GR_D3D_PopRenderTarget();
        return false;
    }
    g_target.savedCustomProjection = GR_CustomProjection;
    GR_D3D_SetView(0, 0, (float)s->width, (float)s->height, 0);
    GR_D3D_SetViewPort(0, 0, s->width, s->height);
    GR_CustomProjection = 1;
    g_target.current = id;
    g_target.intoSurface = true;
    return true;
}

bool GR_Surface_ResetTarget()
{
    GR_DeviceState& st = GR_D3D_State();
    if (!st.device) return false;
    GR_D3D_Flush();
    if (g_target.current == -1) return false; // nothing of ours is pushed
    if (!GR_D3D_PopRenderTarget()) return false;
    const int32_t* vp = g_target.savedViewport;
    GR_D3D_SetViewPort(vp[0], vp[1], vp[2], vp[3]);
    const float* v = g_target.savedView;
    GR_D3D_SetView(v[0], v[1], v[2], v[3], v[4]);
    GR_CustomProjection = g_target.savedCustomProjection;
    g_target.current = -1;
    g_target.intoSurface = false;
    return true;
}

void GR_Surface_Free(int32_t id)
{
    SurfaceSlot* s = Slot(id);
    if (!s) return;
    GR_D3D_Flush();
    if (g_target.current == id) GR_Surface_ResetTarget();
    // A target that could not be popped (no device) must not be left current.
    if (g_target.current == id) {
        g_target.current = -1;
        g_target.intoSurface = false;
    }
    GR_Texture_Free(s->texture);
    s->texture = -1;
    s->used = 0;
    g_freed.Release(id);
}

void GR_Surface_FreeAll()
{
    for (int32_t i = 0; i < (int32_t)g_slots.size(); ++i) GR_Surface_Free(i);
}

int32_t GR_Surface_Count() { return (int32_t)g_slots.size(); }

void GR_Surface_ResetTable()
{
    GR_Surface_FreeAll();
    g_slots.clear();
    g_slots.shrink_to_fit();
    g_freed.Clear();
    g_target = TargetState();
}

// ---- Draw forms ---------------------------------------------------------------------------------
void GR_Surface_Draw(int32_t id, float x, float y)
{
    if (SurfaceSlot* s = Slot(id)) GR_Texture_Draw(s->texture, x, y);
}

void GR_Surface_DrawExt(int32_t id, float x, float y, float xscale, float yscale, float angle, uint32_t colour,
                        float alpha)
{
    if (SurfaceSlot* s = Slot(id))
        GR_Texture_DrawExt(s->texture, 0, 0, x, y, xscale, yscale, angle * kDegToRad, colour, alpha);
}

void GR_Surface_DrawStretched(int32_t id, float x, float y, float w, float h, uint32_t colour, float alpha)
{
    SurfaceSlot* s = Slot(id);
    if (!s || !(w > 0.0f) || !(h > 0.0f) || s->width <= 0 || s->height <= 0) return;
    GR_Texture_DrawExt(s->texture, 0, 0, x, y, w / (float)s->width, h / (float)s->height, 0, colour, alpha);
}

void GR_Surface_DrawPart(int32_t id, float left, float top, float width, float height, float x, float y,
                         float xscale, float yscale, uint32_t colour, float alpha)
{
    if (SurfaceSlot* s = Slot(id))
        GR_Texture_DrawPart(s->texture, left, top, width, height, x, y, xscale, yscale, 0, colour, alpha);
}

void GR_Surface_DrawGeneral(int32_t id, float left, float top, float width, float height, float x, float y,
                            float xscale, float yscale, float angle, uint32_t c1, uint32_t c2, uint32_t c3,
                            uint32_t c4, float alpha)
{
    if (SurfaceSlot* s = Slot(id))
        GR_Texture_DrawGeneral(s->texture, left, top, width, height, x, y, xscale, yscale, angle * kDegToRad, c1, c2,
                               c3, c4, alpha);
}

void GR_Surface_DrawTiled(int32_t id, float x, float y, float xscale, float yscale, bool htiled, bool vtiled,
                          float viewX, float viewY, float viewW, float viewH, uint32_t colour, float alpha)
{
    if (SurfaceSlot* s = Slot(id))
        GR_Texture_DrawTiled(s->texture, 0, 0, x, y, xscale, yscale, htiled, vtiled, viewX, viewY, viewW, viewH,
                             colour, alpha);
}

// ---- Read-back ----------------------------------------------------------------------------------
// The rectangle clamped to the surface; false when nothing of it is left.
static bool ClampRect(const SurfaceSlot* s, int32_t& x, int32_t& y, int32_t& w, int32_t& h)
{
    int64_t l = x, t = y, r = (int64_t)x + w, b = (int64_t)y + h;
    if (l < 0) l = 0;
    if (t < 0) t = 0;
    if (r > s->width) r = s->width;
    if (b > s->height) b = s->height;
    if (r <= l || b <= t) return false;
    x = (int32_t)l;
    y = (int32_t)t;
    w = (int32_t)(r - l);
    h = (int32_t)(b - t);
    return true;
}

uint32_t* GR_Surface_ReadPixels(int32_t id, int32_t x, int32_t y, int32_t width, int32_t height)
{
    if (!GR_D3D_State().device) return nullptr;
    GR_D3D_Flush();
    SurfaceSlot* s = Slot(id);
    if (!s || width < 1 || height < 1) return nullptr;
    TextureRecord* record = GR_Texture_GetPage(s->texture);
    if (!record) return nullptr;
    if (x < 0 || y < 0 || (int64_t)x + width > s->width || (int64_t)y + height > s->height) return nullptr;
    return GR_D3D_ReadTextureRectExact(record, x, y, width, height);
}

TBitmap* GR_Surface_GrabBitmap(int32_t id, int32_t x, int32_t y, int32_t width, int32_t height)
{
    SurfaceSlot* s = Slot(id);
    if (!s || !ClampRect(s, x, y, width, height)) return nullptr;
    uint32_t* block = GR_Surface_ReadPixels(id, x, y, width, height);
    if (!block) return nullptr;
    TBitmap* b = TBitmap::Create();
    b->SetPixelFormat(7);
    b->SetWidth(width);
    b->SetHeight(height);
    int32_t pitch;
    uint8_t* base = b->Lock(0, nullptr, &pitch);
    for (int32_t r = 0; r < height; ++r)
        std::memcpy(base + (size_t)r * pitch, block + (size_t)r * width, (size_t)width * 4);
    b->Unlock(base);
    MEM_FREE(block);
    return b;
}
