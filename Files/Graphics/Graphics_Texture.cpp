// The texture table and the quad back ends (see Graphics_Texture.h). No host library here;
// device work goes through Graphics_Batch.
//
// [SECTION] Table
// [SECTION] Page-entry handles
// [SECTION] Vertex helpers
// [SECTION] Back ends
// [SECTION] Tiling
#include "Files/Graphics/Graphics_Texture.h"

#include <cmath>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "Files/Base/RealConvert.h"
#include "Files/Graphics/Graphics_Bitmap32.h"
#include "Files/Graphics_API/Graphics_3D.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Platform/FreeSlots.h"
#include "Platform/MemoryManager.h"

// ============================================================================================
// [SECTION] Table
// ============================================================================================
static std::vector<TextureSlot*> g_slots;
static FreeSlots g_freedSlots; // slots emptied by GR_Texture_Free, lowest first

int32_t GR_Texture_Count() { return (int32_t)g_slots.size(); }

TextureSlot* GR_Texture_GetSlot(int32_t id)
{
    if (id < 0 || id >= (int32_t)g_slots.size() || !g_slots[id]->valid) return nullptr;
    return g_slots[id];
}

uint32_t GR_Colour_ToARGB(uint32_t colour, float alpha)
{
    float f = alpha * 255.0f;
    uint32_t a = f > 255.0f ? 255u : (f >= 0.0f ? (uint32_t)f : 0u);
    return a << 24 | (colour & 0xFF) << 16 | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
}

int32_t GR_Texture_AllocSlot()
{
    const int32_t again = g_freedSlots.Take((int32_t)g_slots.size(), [](int32_t i) { return !g_slots[i]->valid; });
    if (again >= 0) return again;
    TextureSlot* s = new TextureSlot{};
    g_slots.push_back(s);
    GR_Hooks().textureTableClear = GR_Texture_ClearTable; // a new device starts with no textures
    return (int32_t)g_slots.size() - 1;
}

static int32_t Fill(int32_t id, TextureRecord* r, int32_t w, int32_t h)
{
    TextureSlot* s = g_slots[id];
    s->texture = r;
    s->width = (int16_t)w;
    s->height = (int16_t)h;
    s->inverseWidth = 1.0f / (float)r->Width();
    s->inverseHeight = 1.0f / (float)r->Height();
    s->valid = 1;
    return id;
}

int32_t GR_Texture_CreateBlank(int32_t width, int32_t height, bool target)
{
    TextureRecord* r = GR_D3D_CreateTexture(width, height, 1, target ? 1 : 0, 6);
    if (!r) return -1;
    return Fill(GR_Texture_AllocSlot(), r, width, height);
}

int32_t GR_Texture_CreateFromPixels(int32_t width, int32_t height, const void* data, uint32_t size)
{
    if (!data || width < 1 || height < 1) return -1;
    TextureRecord* r;
    TextureInfo info;
    if ((uint64_t)size == (uint64_t)width * height * 4)
        r = GR_D3D_CreateTextureForImage((const uint32_t*)data, width, height, &info);
    else
        r = GR_D3D_CreateTextureFromMemory(data, size, &info, 6);
    if (!r) return -1;
    return Fill(GR_Texture_AllocSlot(), r, width, height);
}

int32_t GR_Texture_CreateFromBitmap(CBitmap32* bitmap)
{
    if (!bitmap || !bitmap->valid || !bitmap->pixels) return -1;
    return GR_Texture_CreateFromPixels(bitmap->width, bitmap->height, bitmap->pixels,
                                       (uint32_t)bitmap->width * bitmap->height * 4);
}

int32_t GR_Texture_LoadFromMemory(const void* blob, uint32_t size, int32_t unused, int32_t flag, GR_PageImage* image)
{
    (void)unused;
    (void)flag;
    TextureInfo info{-1, -1, 0, 0, 0, 0, 0};
    TextureRecord* r = GR_D3D_CreateTextureFromMemory(blob, size, &info, 6);
    if (image) *image = {info.width, info.height};
    if (!r) return -1;
    return Fill(GR_Texture_AllocSlot(), r, info.width, info.height);
}

int32_t GR_Texture_MaxSide() { return GR_D3D_MaxTextureSide(); }

int32_t GR_Texture_AddDeviceTexture(TextureRecord* texture, int32_t width, int32_t height)
{
    if (!texture || width < 1 || height < 1) return -1;
    int32_t id = GR_Texture_AllocSlot();
    TextureSlot* s = g_slots[id];
    s->texture = texture;
    s->width = (int16_t)width;
    s->height = (int16_t)height;
    s->inverseWidth = 1.0f / (float)width;
    s->inverseHeight = 1.0f / (float)height;
    s->valid = 1;
    return id;
}

int32_t GR_Texture_CreateFromAlpha8(int32_t width, int32_t height, const uint8_t* pixels)
{
    if (!pixels || width < 1 || height < 1) return -1;
    uint32_t* image = (uint32_t*)MEM_ALLOC((uint64_t)width * height * 4);
    for (int64_t i = 0; i < (int64_t)width * height; ++i) image[i] = 0x00FFFFFFu | (uint32_t)pixels[i] << 24;
    int32_t id = -1;
    TextureRecord* r = GR_D3D_CreateTexture(width, height, 0, 0, 6);
    if (r) {
        if (GR_D3D_FillTexture(r, 0, width, height, image)) id = Fill(GR_Texture_AllocSlot(), r, width, height);
        else GR_D3D_FreeTexture(r);
    }
    MEM_FREE(image);
    return id;
}

bool GR_Texture_Exists(int32_t id) { return GR_Texture_GetSlot(id) != nullptr; }

void GR_Texture_Free(int32_t id)
{
    TextureSlot* s = GR_Texture_GetSlot(id);
    if (!s) return;
    GR_D3D_FreeTexture(s->texture);
    s->texture = nullptr;
    s->valid = 0;
    g_freedSlots.Release(id);
}

TextureRecord* GR_Texture_GetPage(int32_t id)
{
    TextureSlot* s = GR_Texture_GetSlot(id);
    return s ? s->texture : nullptr;
}

float GR_Texture_GetWidth(int32_t id)
{
    TextureSlot* s = GR_Texture_GetSlot(id);
    return s ? (float)s->width * s->inverseWidth : 1.0f;
}

float GR_Texture_GetHeight(int32_t id)
{
    TextureSlot* s = GR_Texture_GetSlot(id);
    return s ? (float)s->height * s->inverseHeight : 1.0f;
}

void GR_Texture_Preload(int32_t id) { GR_D3D_PreloadTexture(GR_Texture_GetPage(id)); }
void GR_Texture_SetPriority(int32_t id, uint32_t priority) { GR_D3D_SetTexturePriority(GR_Texture_GetPage(id), priority); }

void GR_Texture_ClearTable()
{
    for (TextureSlot* s : g_slots) delete s;
    g_slots.clear();
    g_freedSlots.Clear();
}

void GR_Texture_FreeAll()
{
    for (TextureSlot* s : g_slots)
        if (s->valid) GR_D3D_FreeTexture(s->texture);
    GR_Texture_ClearTable();
}

void GR_Texture_FlushAll()
{
    // The eviction operation of the device textures has nothing to do on this platform.
    if (GR_Hooks().surfaceFlushAll) GR_Hooks().surfaceFlushAll();
}

// ============================================================================================
// [SECTION] Page-entry handles
// ============================================================================================
static std::vector<TexturePageEntry*> g_entries;
// Each registered entry's index in g_entries (an entry is registered once).
static std::unordered_map<const TexturePageEntry*, size_t> g_entryIndex;

int64_t GR_TPE_Register(TexturePageEntry* entry)
{
    if (!entry) return -1;
    const auto [at, added] = g_entryIndex.try_emplace(entry, g_entries.size());
    if (added) g_entries.push_back(entry);
    return GR_TPE_HANDLE_BASE + (int64_t)at->second;
}

TexturePageEntry* GR_TPE_FromHandle(int64_t handle)
{
    if (handle < GR_TPE_HANDLE_BASE || handle - GR_TPE_HANDLE_BASE >= (int64_t)g_entries.size()) return nullptr;
    return g_entries[(size_t)(handle - GR_TPE_HANDLE_BASE)];
}

void GR_TPE_Unregister(const TexturePageEntry* entry)
{
    if (!entry) return;
    const auto at = g_entryIndex.find(entry);
    if (at == g_entryIndex.end()) return;
    g_entries[at->second] = nullptr;
    g_entryIndex.erase(at);
}

void GR_TPE_ClearRegistry()
{
    g_entries.clear();
    g_entryIndex.clear();
}

bool GR_Texture_ResolveArgument(int64_t value, int32_t* id, TexturePageEntry** entry)
{
    *id = -1;
    *entry = nullptr;
    if (value >= 0 && value < (int64_t)g_slots.size() && g_slots[(size_t)value]->valid) {
        *id = (int32_t)value;
        return true;
    }
    *entry = GR_TPE_FromHandle(value);
    return *entry != nullptr;
}

// ============================================================================================
// [SECTION] Vertex helpers
// ============================================================================================
namespace {

struct V24 {
    float x, y, z;
    uint32_t colour;
    float u, v;
};

inline void Put(V24* v, float x, float y, uint32_t c, float u, float t)
{
    v->x = x;
    v->y = y;
    v->z = GR_3D_GetDepth();
    v->colour = c;
    v->u = u;
    v->v = t;
}

// Rotation of a local point about the anchor.
inline void Rot(float ax, float ay, float px, float py, float s, float c, float* X, float* Y)
{
    *X = ax + c * px + s * py;
    *Y = ay - s * px + c * py;
}

// Corners TL, TR, BR, BL of a local rectangle about the anchor, rotated when |angle| reaches
// the threshold.
void Corners(float ax, float ay, float l, float t, float r, float b, float angle, float threshold, float* out)
{
    if (std::fabs(angle) < threshold) {
        out[0] = ax + l; out[1] = ay + t;
        out[2] = ax + r; out[3] = ay + t;
        out[4] = ax + r; out[5] = ay + b;
        out[6] = ax + l; out[7] = ay + b;
        return;
    }
    float s = std::sin(angle), c = std::cos(angle);
    Rot(ax, ay, l, t, s, c, &out[0], &out[1]);
    Rot(ax, ay, r, t, s, c, &out[2], &out[3]);
    Rot(ax, ay, r, b, s, c, &out[4], &out[5]);
    Rot(ax, ay, l, b, s, c, &out[6], &out[7]);
}

uint32_t DrawAlphaByte()
{
    double a = GR_Draw_GetAlpha() * 255.0;
    return a > 255.0 ? 255u : (a >= 0.0 ? (uint32_t)a : 0u);
}

uint32_t RoundedAlphaByte(float alpha)
{
    float f = alpha * 255.0f;
    if (!(f >= 0.0f)) f = 0.0f;
    if (f > 255.0f) f = 255.0f;
    return (uint32_t)std::nearbyint(f);
}

uint32_t WithAlpha(uint32_t colour, uint32_t alphaByte)
{
    return alphaByte << 24 | (colour & 0xFF) << 16 | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
}

V24* Alloc(int32_t type, TextureRecord* t, int32_t n) { return (V24*)GR_D3D_AllocVertices(type, t, 24, n); }

// Six vertices in the order TL, TR, BR, BR, BL, TL.
void List6(TextureRecord* t, const float* p, float uL, float vT, float uR, float vB, uint32_t c)
{
    V24* v = Alloc(4, t, 6);
    if (!v) return;
    Put(&v[0], p[0], p[1], c, uL, vT);
    Put(&v[1], p[2], p[3], c, uR, vT);
    Put(&v[2], p[4], p[5], c, uR, vB);
    Put(&v[3], p[4], p[5], c, uR, vB);
    Put(&v[4], p[6], p[7], c, uL, vB);
    Put(&v[5], p[0], p[1], c, uL, vT);
}

// Fan TL, TR, BR, BL with a colour per corner.
void Fan4(TextureRecord* t, const float* p, float uL, float vT, float uR, float vB, const uint32_t* c)
{
    V24* v = Alloc(6, t, 4);
    if (!v) return;
    Put(&v[0], p[0], p[1], c[0], uL, vT);
    Put(&v[1], p[2], p[3], c[1], uR, vT);
    Put(&v[2], p[4], p[5], c[2], uR, vB);
    Put(&v[3], p[6], p[7], c[3], uL, vB);
}

TextureSlot* PageSlot(TexturePageEntry* e) { return e ? GR_Texture_GetSlot(e->texturePage) : nullptr; }

void FixTarget(TexturePageEntry* e)
{
    if (e->targetWidth == 0) e->targetWidth = 1;
    if (e->targetHeight == 0) e->targetHeight = 1;
}

} // namespace

void GR_Texture_EmitQuad(TextureRecord* texture, const float* p, float uL, float vT, float uR, float vB,
                         const uint32_t* c)
{
    V24* v = Alloc(4, texture, 6);
    if (!v) return;
    Put(&v[0], p[0], p[1], c[0], uL, vT);
    Put(&v[1], p[2], p[3], c[1], uR, vT);
    Put(&v[2], p[4], p[5], c[2], uR, vB);
    Put(&v[3], p[4], p[5], c[2], uR, vB);
    Put(&v[4], p[6], p[7], c[3], uL, vB);
    Put(&v[5], p[0], p[1], c[0], uL, vT);
}

// ============================================================================================
// [SECTION] Back ends
// ============================================================================================
void GR_Texture_Draw(int32_t id, float x, float y)
{
    TextureSlot* s = GR_Texture_GetSlot(id);
    if (!s) return;
    float p[8];
    Corners(x, y, 0, 0, (float)s->width, (float)s->height, 0, 1, p);
    List6(s->texture, p, 0, 0, s->width * s->inverseWidth, s->height * s->inverseHeight,
          WithAlpha(0xFFFFFF, DrawAlphaByte()));
}

void GR_Texture_DrawTPE(TexturePageEntry* e, float x, float y)
{
    TextureSlot* s = PageSlot(e);
    if (!s) return;
    FixTarget(e);
    float l = x + e->xOffset, t = y + e->yOffset;
    float p[8] = {l, t, l + e->targetWidth, t, l + e->targetWidth, t + e->targetHeight, l, t + e->targetHeight};
    List6(s->texture, p, e->srcX * s->inverseWidth, e->srcY * s->inverseHeight,
          (e->srcX + e->srcWidth) * s->inverseWidth, (e->srcY + e->srcHeight) * s->inverseHeight,
          WithAlpha(0xFFFFFF, DrawAlphaByte()));
}

void GR_Texture_DrawPosTPE(TexturePageEntry* e, float x1, float y1, float x2, float y2, float x3, float y3,
                           float x4, float y4, uint32_t colour, float alpha)
{
    TextureSlot* s = PageSlot(e);
    if (!s) return;
    float p[8] = {x1, y1, x2, y2, x3, y3, x4, y4};
    List6(s->texture, p, e->srcX * s->inverseWidth, e->srcY * s->inverseHeight,
          (e->srcX + e->srcWidth) * s->inverseWidth, (e->srcY + e->srcHeight) * s->inverseHeight,
          GR_Colour_ToARGB(colour, alpha));
}

void GR_Texture_DrawExt(int32_t id, float xorig, float yorig, float x, float y, float xscale, float yscale,
                        float angle, uint32_t colour, float alpha)
{
    TextureSlot* s = GR_Texture_GetSlot(id);
    if (!s) return;
    if (s->width == 0 || s->height == 0) {
        s->width = s->height = 8;
        s->inverseWidth = s->inverseHeight = 0.125f;
    }
    float l = -xscale * xorig, t = -yscale * yorig;
    float r = l + xscale * s->width, b = t + yscale * s->height;
    float p[8];
    Corners(x, y, l, t, r, b, angle, 0.001f, p);
    uint32_t c = GR_Colour_ToARGB(colour, alpha);
    uint32_t cs[4] = {c, c, c, c};
    Fan4(s->texture, p, 0, 0, s->width * s->inverseWidth, s->height * s->inverseHeight, cs);
}

void GR_Texture_DrawExtTPE(TexturePageEntry* e, float xorig, float yorig, float x, float y, float xscale,
                           float yscale, float angle, uint32_t colour, float alpha)
{
    TextureSlot* s = PageSlot(e);
    if (!s) return;
    FixTarget(e);
    float l = -(xorig - e->xOffset) * xscale, t = -(yorig - e->yOffset) * yscale;
    float r = l + xscale * e->targetWidth, b = t + yscale * e->targetHeight;
    float p[8];
    Corners(x, y, l, t, r, b, angle, 0.001f, p);
    List6(s->texture, p, e->srcX * s->inverseWidth, e->srcY * s->inverseHeight,
          (e->srcX + e->srcWidth) * s->inverseWidth, (e->srcY + e->srcHeight) * s->inverseHeight,
          GR_Colour_ToARGB(colour, alpha));
}

void GR_Texture_DrawPart(int32_t id, float left, float top, float width, float height, float x, float y,
                         float xscale, float yscale, float angle, uint32_t colour, float alpha)
{
    TextureSlot* s = GR_Texture_GetSlot(id);
    if (!s) return;
    float p[8];
    Corners(x, y, 0, 0, xscale * width, yscale * height, angle, 0.001f, p);
    uint32_t c = GR_Colour_ToARGB(colour, alpha);
    uint32_t cs[4] = {c, c, c, c};
    Fan4(s->texture, p, left * s->inverseWidth, top * s->inverseHeight, (left + width) * s->inverseWidth,
         (top + height) * s->inverseHeight, cs);
}

// Cropping of a part given in uncropped-image coordinates (shared by the part and general
// forms of page entries): moves the anchor past the cropped-away border and shortens the part.
static void CropPart(const TexturePageEntry* e, float left, float top, float* width, float* height,
                     float* x, float* y, float xscale, float yscale, float s, float c, float* sx, float* sy)
{
    if (e->xOffset > left) {
        float d = e->xOffset - left;
        *x += (float)Real_TruncToInt32(d * c * xscale);
        *y -= (float)Real_TruncToInt32(d * s * yscale);
        *width -= d;
        *sx = 0;
    } else {
        *sx = left - e->xOffset;
    }
    if (e->yOffset > top) {
        float d = e->yOffset - top;
        *x += (float)Real_TruncToInt32(d * s * xscale);
        *y += (float)Real_TruncToInt32(d * c * yscale);
        *height -= d;
        *sy = 0;
    } else {
        *sy = top - e->yOffset;
    }
    if (*width > e->targetWidth) *width = e->targetWidth;
    if (*height > e->targetHeight) *height = e->targetHeight;
}

void GR_Texture_DrawPartTPE(TexturePageEntry* e, float left, float top, float width, float height, float x,
                            float y, float xscale, float yscale, float angle, uint32_t colour, float alpha)
{
    TextureSlot* st = PageSlot(e);
    if (!st) return;
    FixTarget(e); // the uv factors divide by the target size
    float s = std::sin(angle), c = std::cos(angle), sx, sy;
    CropPart(e, left, top, &width, &height, &x, &y, xscale, yscale, s, c, &sx, &sy);
    float p[8];
    Corners(x, y, 0, 0, width * xscale, height * yscale, angle, 0.001f, p);
    float rx = (float)e->srcWidth / (float)e->targetWidth, ry = (float)e->srcHeight / (float)e->targetHeight;
    float uL = (e->srcX + rx * sx) * st->inverseWidth, vT = (e->srcY + ry * sy) * st->inverseHeight;
    float uR = (e->srcX + rx * sx + rx * width) * st->inverseWidth;
    float vB = (e->srcY + ry * sy + ry * height) * st->inverseHeight;
    uint32_t col = GR_Colour_ToARGB(colour, alpha);
    V24* v = Alloc(4, st->texture, 6);
    if (!v) return;
    // TL, TR, BL, TR, BR, BL
    Put(&v[0], p[0], p[1], col, uL, vT);
    Put(&v[1], p[2], p[3], col, uR, vT);
    Put(&v[2], p[6], p[7], col, uL, vB);
    Put(&v[3], p[2], p[3], col, uR, vT);
    Put(&v[4], p[4], p[5], col, uR, vB);
    Put(&v[5], p[6], p[7], col, uL, vB);
}

void GR_Texture_DrawGeneral(int32_t id, float left, float top, float width, float height, float x, float y,
                            float xscale, float yscale, float angle, uint32_t c1, uint32_t c2, uint32_t c3,
                            uint32_t c4, float alpha)
{
    TextureSlot* s = GR_Texture_GetSlot(id);
    if (!s) return;
    float f = alpha * 255.0f;
    uint32_t a = f > 255.0f ? 255u : (f >= 0.0f ? (uint32_t)f : 0u);
    uint32_t cs[4] = {WithAlpha(c1, a), WithAlpha(c2, a), WithAlpha(c3, a), WithAlpha(c4, a)};
    float p[8];
    float w = width * xscale, h = height * yscale;
    if (std::fabs(angle) < 0.01f) {
        Corners(x, y, 0, 0, w, h, 0, 1, p);
    } else {
        float sn = std::sin(angle), cn = std::cos(angle);
        Rot(x, y, -0.5f, -0.5f, sn, cn, &p[0], &p[1]);
        Rot(x, y, w, -0.5f, sn, cn, &p[2], &p[3]);
        Rot(x, y, w, h, sn, cn, &p[4], &p[5]);
        Rot(x, y, -0.5f, h, sn, cn, &p[6], &p[7]);
    }
    Fan4(s->texture, p, left * s->inverseWidth, top * s->inverseHeight, (left + width) * s->inverseWidth,
         (top + height) * s->inverseHeight, cs);
}

void GR_Texture_DrawGeneralTPE(TexturePageEntry* e, float left, float top, float width, float height, float x,
                               float y, float xscale, float yscale, float angle, uint32_t c1, uint32_t c2,
                               uint32_t c3, uint32_t c4, float alpha)
{
    TextureSlot* st = PageSlot(e);
    if (!st) return;
    FixTarget(e);
    uint32_t a = RoundedAlphaByte(alpha);
    float s = std::sin(angle), c = std::cos(angle), sx, sy;
    CropPart(e, left, top, &width, &height, &x, &y, xscale, yscale, s, c, &sx, &sy);
    float p[8];
    Corners(x, y, 0, 0, width * xscale, height * yscale, angle, 0.01f, p);
    uint32_t cs[4] = {WithAlpha(c1, a), WithAlpha(c2, a), WithAlpha(c3, a), WithAlpha(c4, a)};
    GR_Texture_EmitQuad(st->texture, p, (e->srcX + sx) * st->inverseWidth, (e->srcY + sy) * st->inverseHeight,
                        (e->srcX + sx + width) * st->inverseWidth, (e->srcY + sy + height) * st->inverseHeight, cs);
}

// ============================================================================================
// [SECTION] Tiling
// ============================================================================================
// Tiles drawn by one call at most (a view of absurd size must not hang the frame).
static const int64_t kMaxTiles = 1 << 20;

// The first of p, p + step, p + 2 step, ... that reaches past edge (p + step >= edge), found
// in one step however far away the edge lies (a view near 2^31 with 1-pixel tiles).
static double StepUpTo(double p, double step, double edge)
{
    if (edge > p + step) p += std::ceil((edge - step - p) / step) * step;
    return p;
}

// An area tiles can be placed in: finite, within 2^52 of the origin.
static bool TileableArea(float x, float y, float w, float h)
{
    const double limit = 4503599627370496.0;
    return std::fabs(x) < limit && std::fabs(y) < limit && std::fabs(w) < limit && std::fabs(h) < limit;
}

// The first of p, p - step, p - 2 step, ... below edge.
static double StepDownBelow(double p, double step, double edge)
{
    if (p >= edge) p -= (std::floor((p - edge) / step) + 1) * step;
    return p;
}

void GR_Texture_DrawTiled(int32_t id, float xorig, float yorig, float x, float y, float xscale, float yscale,
                          bool htiled, bool vtiled, float viewX, float viewY, float viewW, float viewH,
                          uint32_t colour, float alpha)
{
    TextureSlot* s = GR_Texture_GetSlot(id);
    if (!s || !TileableArea(viewX, viewY, viewW, viewH)) return;
    int32_t w = Real_TruncToInt32(s->width * xscale), h = Real_TruncToInt32(s->height * yscale);
    if (w < 1 || h < 1) return;
    float left = -xscale * xorig, right = left + s->width * xscale;
    float top = -yscale * yorig, bottom = top + s->height * yscale;
    uint32_t col = WithAlpha(colour, RoundedAlphaByte(alpha));
    uint32_t cs[4] = {col, col, col, col};
    float uR = s->width * s->inverseWidth, vB = s->height * s->inverseHeight;
    int64_t ix = Real_RoundToInt32(x);
    if (htiled) {
        ix %= w;
        if (ix > 0) ix -= w;
        ix = (int64_t)StepUpTo((double)ix, w, viewX);
    }
    if (viewX + viewW <= (float)ix) return;
    int64_t tiles = 0;
    for (;;) {
        int64_t iy = Real_RoundToInt32(y);
        if (vtiled) {
            iy %= h;
            if (iy > 0) iy -= h;
            iy = (int64_t)StepUpTo((double)iy, h, viewY);
        }
        while (viewY + viewH > (float)iy) {
            float p[8] = {ix + left, iy + top, ix + right, iy + top, ix + right, iy + bottom, ix + left, iy + bottom};
            Fan4(s->texture, p, 0, 0, uR, vB, cs);
            if (!vtiled || ++tiles >= kMaxTiles) break;
            iy += h;
        }
        if (!htiled || viewX + viewW <= (float)(ix + w) || ++tiles >= kMaxTiles) break;
        ix += w;
    }
}

void GR_Texture_DrawTiledTPE(TexturePageEntry* e, float xorig, float yorig, float x, float y, float xscale,
                             float yscale, bool htiled, bool vtiled, float viewX, float viewY, float viewW,
                             float viewH, uint32_t colour, float alpha)
{
    TextureSlot* st = PageSlot(e);
    if (!st || !TileableArea(viewX, viewY, viewW, viewH)) return;
    int32_t sw = Real_TruncToInt32(xscale * e->fullWidth), sh = Real_TruncToInt32(yscale * e->fullHeight);
    if (sw <= 0 || sh <= 0) return;
    uint32_t col = GR_Colour_ToARGB(colour, alpha);
    float qw = e->targetWidth * xscale, qh = e->targetHeight * yscale;
    // The sums in 64 bits: a layer's position and scale are any floats a game set.
    float x0 = (float)(int64_t(Real_TruncToInt32Clamped((xorig - e->xOffset) * -xscale)) + Real_TruncToInt32Clamped(x));
    float y0 = (float)(int64_t(Real_TruncToInt32Clamped((yorig - e->yOffset) * -yscale)) + Real_TruncToInt32Clamped(y));
    float uL = e->srcX * st->inverseWidth, vT = e->srcY * st->inverseHeight;
    float uR = (e->srcX + e->srcWidth) * st->inverseWidth, vB = (e->srcY + e->srcHeight) * st->inverseHeight;
    if (htiled) {
        float p = std::fmod(x0, (float)sw);
        if (p > 0) p -= sw;
        p = (float)StepDownBelow(StepUpTo(p, sw, viewX), sw, (double)viewX + viewW);
        x0 = p - e->fullWidth;
    }
    if (viewX + viewW <= x0) return;
    int64_t tiles = 0;
    for (;;) {
        float ty = y0;
        if (vtiled) {
            float p = std::fmod(y0, (float)sh);
            if (p > 0) p -= sh;
            p = (float)StepDownBelow(StepUpTo(p, sh, viewY), sh, (double)viewY + viewH);
            ty = p - e->fullHeight;
        }
        while (viewY + viewH > ty) {
            float p[8] = {x0, ty, x0 + qw, ty, x0 + qw, ty + qh, x0, ty + qh};
            V24* v = Alloc(4, st->texture, 6);
            if (!v) return;
            // BL, TL, TR, TR, BR, BL
            Put(&v[0], p[6], p[7], col, uL, vB);
            Put(&v[1], p[0], p[1], col, uL, vT);
            Put(&v[2], p[2], p[3], col, uR, vT);
            Put(&v[3], p[2], p[3], col, uR, vT);
            Put(&v[4], p[4], p[5], col, uR, vB);
            Put(&v[5], p[6], p[7], col, uL, vB);
            if (!vtiled || ++tiles >= kMaxTiles) break;
            ty += sh;
        }
        x0 += sw;
        if (!htiled || viewX + viewW <= x0 || ++tiles >= kMaxTiles) break;
    }
}
