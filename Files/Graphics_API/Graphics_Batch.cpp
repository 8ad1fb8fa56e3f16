// The vertex batch and the device textures (see Graphics_Batch.h). Device calls go through
// the device of Graphics_D3D (backed by Linux/Graphics_DeviceM.cpp).
//
// [SECTION] Batch
// [SECTION] Binding
// [SECTION] Texture creation and upload
// [SECTION] Decoding
// [SECTION] Release
#include "Files/Graphics_API/Graphics_Batch.h"

#include <cstring>

#include "Files/Base/Console.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_ImageDecode.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Platform/MemoryManager.h"

// ============================================================================================
// [SECTION] Batch
// ============================================================================================
namespace {

struct BatchState {
    int32_t type = -1;
    TextureRecord* texture = nullptr;
    int32_t vertexSize = 0;
    VertexBufferRecord* current = nullptr;
    uint64_t frame = 10;
    VertexBufferRecord* head = nullptr;
    VertexBufferRecord* tail = nullptr;
    int32_t count = 0;
};
BatchState g_batch;
GR_BatchStats g_stats;
TextureRecord* g_textures = nullptr; // newest first

uint32_t FvfForSize(int32_t size) { return size == 16 ? GFX_FVF_2D : size == 24 ? GFX_FVF_2DTEX : GFX_FVF_3D; }

// A buffer emptied in frame F is taken again from frame F + 4 on, when the device may still
// be reading it meanwhile; a device that has read the vertices when the draw returns gets it
// back the next frame, so the same few buffers stay in the processor's caches.
VertexBufferRecord* FindBuffer(uint32_t fvf, int32_t size, int32_t n)
{
    IGfxDevice* dev = GR_D3D_State().device;
    uint64_t rest = dev->DrawReadsVerticesAtOnce() ? 0 : 3;
    for (VertexBufferRecord* r = g_batch.head; r; r = r->next)
        if (r->fvf == fvf && r->capacity - r->used >= (uint32_t)n && r->frameStamp + rest < g_batch.frame)
            return r;
    uint32_t capacity = n > 16384 ? (uint32_t)n : 16384u;
    uint32_t flags = 2;
    GfxVertexBuffer* vb = dev->CreateVertexBuffer((uint32_t)size * capacity, GFX_USAGE_DYNAMIC, fvf,
                                                  GFX_POOL_SYSTEMMEM);
    if (!vb) {
        flags = 0;
        vb = dev->CreateVertexBuffer((uint32_t)size * capacity, GFX_USAGE_WRITEONLY, fvf,
                                     GFX_POOL_DEFAULT);
    }
    if (!vb) {
        if (GR_Hooks().errorReport) GR_Hooks().errorReport("Fatel Error: Can not create vertex buffer", true);
        else Console_Output("Fatel Error: Can not create vertex buffer\n");
        GR_Fatal(-1);
        return nullptr;
    }
    VertexBufferRecord* r = new VertexBufferRecord{};
    r->flags = flags;
    r->buffer = vb;
    r->fvf = fvf;
    r->vertexSize = (uint32_t)size;
    r->capacity = capacity;
    r->prev = g_batch.tail;
    if (g_batch.tail) g_batch.tail->next = r;
    else g_batch.head = r;
    g_batch.tail = r;
    ++g_batch.count;
    return r;
}

void LockBuffer(VertexBufferRecord* r)
{
    if (r->flags & 1) return;
    r->first = r->used;
    uint32_t lockFlags = ((r->flags & 2) && !(r->flags & 4)) ? uint32_t(GFX_LOCK_DISCARD) : 0u;
    r->locked = (uint8_t*)GR_D3D_State().device->LockVertexBuffer(
        r->buffer, r->used * r->vertexSize, (r->capacity - r->used) * r->vertexSize, lockFlags);
    r->flags |= 1 | 4;
}

} // namespace

GR_BatchStats& GR_Batch_Stats() { return g_stats; }
VertexBufferRecord* GR_D3D_FirstVertexBuffer() { return g_batch.head; }
int32_t GR_D3D_BatchType() { return g_batch.type; }
TextureRecord* GR_D3D_FirstTexture() { return g_textures; }

void* GR_D3D_AllocVertices(int32_t type, TextureRecord* texture, int32_t vertexSize, int32_t n)
{
    if (n < 0) n = 0;
    VertexBufferRecord* cur = g_batch.current;
    if (g_batch.type != -1 && cur && g_batch.type == type && g_batch.texture == texture &&
        g_batch.vertexSize == vertexSize && type != 3 && type != 5 && type != 6 &&
        cur->used + (uint32_t)n <= cur->capacity && !g_RenderStateCache.Dirty()) {
        uint8_t* p = cur->locked + (size_t)(cur->used - cur->first) * (uint32_t)vertexSize;
        cur->used += (uint32_t)n;
        return p;
    }
    GR_D3D_Flush();
    if (!GR_D3D_State().device) return nullptr;
    g_batch.type = type;
    g_batch.texture = texture;
    g_batch.vertexSize = vertexSize;
    cur = FindBuffer(FvfForSize(vertexSize), vertexSize, n);
    g_batch.current = cur;
    if (!cur) { // no buffer could be made: the run is ending, nothing more is drawn
        g_batch.type = -1;
        return nullptr;
    }
    LockBuffer(cur);
    uint8_t* p = cur->locked + (size_t)(cur->used - cur->first) * (uint32_t)vertexSize;
    cur->used += (uint32_t)n;
    return p;
}

void GR_D3D_ReturnVertices(int32_t n)
{
    VertexBufferRecord* cur = g_batch.current;
    if (!cur || n <= 0) return;
    uint32_t open = cur->used - cur->first;
    cur->used -= (uint32_t)n > open ? open : (uint32_t)n;
}

void GR_D3D_Flush()
{
    if (g_batch.type == -1 || !g_batch.current) {
        g_batch.type = -1;
        g_RenderStateCache.Apply();
        return;
    }
    VertexBufferRecord* cur = g_batch.current;
    uint32_t count = cur->used - cur->first;
    if (count > g_stats.largestBatch) g_stats.largestBatch = count;
    GR_D3D_SetTexture(0, g_batch.texture);
    GR_D3D_DrawBatch(g_batch.type, (int32_t)count, cur->locked, g_batch.vertexSize);
    g_batch.type = -1;
    g_RenderStateCache.Apply();
}

static int32_t PrimitiveCount(int32_t type, int32_t n)
{
    switch (type) {
    case 2: return n / 2;
    case 3: return n - 1;
    case 4: return n / 3;
    case 5:
    case 6: return n - 2;
    default: return n;
    }
}

void GR_D3D_DrawBatch(int32_t type, int32_t count, const void* pointer, int32_t vertexSize)
{
    (void)pointer;
    if (type < 1 || type > 6) type = 1;
    int32_t prims = PrimitiveCount(type, count);
    if (type >= 4) g_stats.triangles += prims > 0 ? (uint32_t)prims : 0;
    if (prims < 1) return;
    VertexBufferRecord* cur = g_batch.current;
    IGfxDevice* dev = GR_D3D_State().device;
    if (!cur || !dev) return;
    if (cur->flags & 1) {
        dev->UnlockVertexBuffer(cur->buffer);
        cur->flags &= ~1u;
        cur->locked = nullptr;
    }
    dev->SetFVF(cur->fvf);
    dev->SetStreamSource(0, cur->buffer, cur->first * (uint32_t)vertexSize, (uint32_t)vertexSize);
    dev->DrawPrimitive((uint32_t)type, 0, (uint32_t)prims);
    ++g_stats.batches;
}

void GR_D3D_EndFrameVertexBuffers()
{
    g_stats.triangles = 0;
    IGfxDevice* dev = GR_D3D_State().device;
    for (VertexBufferRecord* r = g_batch.head; r; r = r->next) {
        if ((r->flags & 1) && dev) dev->UnlockVertexBuffer(r->buffer);
        r->flags &= ~1u;
        r->locked = nullptr;
        if (r->flags & 4) {
            r->used = 0;
            r->first = 0;
            r->frameStamp = g_batch.frame;
            r->flags &= ~4u;
        }
    }
    ++g_batch.frame;
    g_batch.type = -1;
    g_batch.current = nullptr;
}

// ============================================================================================
// [SECTION] Binding
// ============================================================================================
void GR_D3D_UpdateRenderTargetTexture(TextureRecord* record)
{
    IGfxDevice* dev = GR_D3D_State().device;
    record->flags &= ~1u;
    if (!dev || !record->texture || !record->colour || record->direct) return;
    GfxSurface* level = dev->GetSurfaceLevel(record->texture, 0);
    if (!level) return;
    if (level != record->colour) {
        GfxRect r{0, 0, record->texture->width, record->texture->height};
        dev->StretchRect(record->colour, &r, level, &r, GFX_TEXF_LINEAR);
    }
    level->Release();
}

void GR_D3D_SetTexture(int32_t stage, TextureRecord* record)
{
    IGfxDevice* dev = GR_D3D_State().device;
    if (!dev) return;
    if (!record) {
        dev->SetTexture((uint32_t)stage, nullptr);
        return;
    }
    if (record->flags & 1) GR_D3D_UpdateRenderTargetTexture(record);
    dev->SetTexture((uint32_t)stage, record->texture);
    if (record->texture != g_stats.lastTexture) {
        ++g_stats.textureSwaps;
        g_stats.lastTexture = record->texture;
    }
}

// ============================================================================================
// [SECTION] Texture creation and upload
// ============================================================================================
int32_t GR_D3D_TextureRound(int32_t size)
{
    // Powers of two from 64 up, large enough for the whole image: one that would be cut to a
    // smaller texture draws its far columns and rows from the wrong pixels, so an image larger
    // than the largest texture gets a texture too large to make and is refused.
    int32_t r = 64;
    while (r < size && r <= GR_TEXTURE_MAX_SIDE) r *= 2;
    return r;
}

uint32_t GR_D3D_MapFormat(int32_t code)
{
    switch (code) {
    case 0: return 0xFFFFFFFFu;
    case 1: return GFX_FMT_DXT1;
    case 2: return GFX_FMT_DXT2;
    case 3: return GFX_FMT_DXT3;
    case 4: return GFX_FMT_DXT4;
    case 5: return GFX_FMT_DXT5;
    case 6: return GFX_FMT_A8R8G8B8;
    case 7: return GFX_FMT_D32;
    case 8: return GFX_FMT_D24S8;
    case 9: return GFX_FMT_R16F;
    case 10: return GFX_FMT_R32F;
    case 11: return GFX_FMT_A4R4G4B4;
    default: return (uint32_t)code;
    }
}

int32_t GR_D3D_MaxTextureSide()
{
    IGfxDevice* dev = GR_D3D_State().device;
    const int32_t device = dev ? dev->GetMaxTextureSide() : GR_TEXTURE_MAX_SIDE;
    return device < GR_TEXTURE_MAX_SIDE ? device : GR_TEXTURE_MAX_SIDE;
}

// A texture larger than its record can keep (its size would wrap, and every image on it would
// be drawn from the wrong pixels) or than the device makes fails as a creation fails.
static bool SidesRefused(int32_t w, int32_t h)
{
    const int32_t most = GR_D3D_MaxTextureSide();
    if (w <= most && h <= most) return false;
    Console_Debug()->Output("CreateTexture failed - %08x\n", 0x8876086Cu);
    Console_Debug()->Output("A texture of %d x %d pixels is larger than %d pixels a side\n", w, h, most);
    return true;
}

static uint32_t PackSize(int32_t w, int32_t h, int32_t levels)
{
    if (levels < 1) levels = 1;
    return ((uint32_t)(w - 1) & 0x1FFF) | (((uint32_t)(h - 1) & 0x1FFF) << 13) |
           (((uint32_t)(levels - 1) & 0x3F) << 26);
}

static TextureRecord* NewRecord(int32_t w, int32_t h, int32_t levels, int32_t code, bool pixelCopy)
{
    TextureRecord* r = new TextureRecord{};
    r->formatCode = code;
    r->packedSize = PackSize(w, h, levels);
    if (pixelCopy) {
        r->pixelBlock = MEM_ALLOC_CLEAR((uint64_t)w * h * 4 + 16);
        r->pixels = (uint8_t*)(((uintptr_t)r->pixelBlock + 15) & ~(uintptr_t)15);
    }
    r->next = g_textures;
    r->prev = nullptr;
    if (g_textures) g_textures->prev = r;
    g_textures = r;
    return r;
}

static void Unlink(TextureRecord* record)
{
    if (record->prev) record->prev->next = record->next;
    else if (g_textures == record) g_textures = record->next;
    else return; // not in the list
    if (record->next) record->next->prev = record->prev;
    record->next = record->prev = nullptr;
}

static void DeleteRecord(TextureRecord* r)
{
    if (r->colour) r->colour->Release();
    if (r->depth) r->depth->Release();
    if (r->texture) r->texture->Release();
    MEM_FREE(r->pixelBlock);
    Unlink(r);
    delete r;
}

TextureRecord* GR_D3D_CreateTexture(int32_t w, int32_t h, int32_t levels, uint32_t flags, int32_t code)
{
    GR_DeviceState& st = GR_D3D_State();
    IGfxDevice* dev = st.device;
    if (!dev || w < 1 || h < 1) return nullptr;
    bool target = (flags & 1) != 0;
    int32_t tw = target ? w : GR_D3D_TextureRound(w), th = target ? h : GR_D3D_TextureRound(h);
    if (SidesRefused(tw, th)) return nullptr;
    uint32_t format = GR_D3D_MapFormat(code);
    if (format == 0xFFFFFFFFu) format = GFX_FMT_A8R8G8B8;
    TextureRecord* r = NewRecord(tw, th, levels, code, true);
    if (target) {
        r->texture = dev->CreateTexture(tw, th, 1, GFX_USAGE_RENDERTARGET, format, GFX_POOL_DEFAULT);
        if (r->texture && st.wantedMultisample == 0) {
            // Without multisampling the texture is drawn into directly: nothing to copy
            // before it is used.
            r->colour = dev->GetSurfaceLevel(r->texture, 0);
            r->direct = 1;
        } else if (r->texture) {
            r->colour = dev->CreateRenderTarget(tw, th, format, st.wantedMultisample);
        }
        if (r->colour)
            r->depth = dev->CreateDepthStencilSurface(tw, th, st.params.depthStencilFormat,
                                                      st.wantedMultisample);
        if (!r->texture || !r->colour || !r->depth) {
            Console_Debug()->Output("CreateTexture failed - %08x\n", 0x8876017Cu);
            DeleteRecord(r);
            return nullptr;
        }
    } else {
        uint32_t pool = st.managedPool ? GFX_POOL_MANAGED : GFX_POOL_DEFAULT;
        r->texture = dev->CreateTexture(tw, th, 1, 0, format, pool);
        if (!r->texture) {
            Console_Debug()->Output("CreateTexture failed - %08x\n", 0x8876017Cu);
            DeleteRecord(r);
            return nullptr;
        }
        r->colour = dev->GetSurfaceLevel(r->texture, 0);
    }
    r->flags = 0;
    return r;
}

bool GR_D3D_FillTexture(TextureRecord* record, int32_t level, int32_t w, int32_t h, const void* pixels)
{
    IGfxDevice* dev = GR_D3D_State().device;
    if (!dev || !record || !record->texture || !pixels || level != 0 || w < 1 || h < 1) return false;
    int32_t tw = record->Width(), th = record->Height();
    // An image larger than its texture is cropped to it.
    int32_t cw = w < tw ? w : tw, ch = h < th ? h : th;
    const uint8_t* src = (const uint8_t*)pixels;
    if (record->formatCode == 11) {
        // 16-bit pixels: the copy keeps rows of the texture's width, 2 bytes a pixel.
        for (int32_t y = 0; y < ch; ++y)
            std::memcpy(record->pixels + (size_t)y * tw * 2, src + (size_t)y * w * 2, (size_t)cw * 2);
        return dev->UpdateTexture(record->texture, 0, record->pixels, (uint32_t)tw * 2);
    }
    for (int32_t y = 0; y < ch; ++y)
        std::memcpy(record->pixels + (size_t)y * tw * 4, src + (size_t)y * w * 4, (size_t)cw * 4);
    return dev->UpdateTexture(record->texture, 0, record->pixels, (uint32_t)tw * 4);
}

TextureRecord* GR_D3D_CreateTextureForImage(const uint32_t* pixels, int32_t w, int32_t h, TextureInfo* info)
{
    if (info) *info = {GR_D3D_TextureRound(w), GR_D3D_TextureRound(h), 32, 0, 6, -1, 6};
    TextureRecord* r = GR_D3D_CreateTexture(w, h, 0, 0, 6);
    if (r && !GR_D3D_FillTexture(r, 0, w, h, pixels)) {
        GR_D3D_FreeTexture(r);
        return nullptr;
    }
    return r;
}

// ============================================================================================
// [SECTION] Decoding
// ============================================================================================
TextureRecord* GR_D3D_CreateTextureFromMemory(const void* data, uint32_t size, TextureInfo* info,
                                              int32_t code)
{
    GR_DeviceState& st = GR_D3D_State();
    if (!st.device || !data || size == 0) return nullptr;
    GR_Image img;
    if (GR_Image_IsRAW(data, size)) {
        if (!GR_Image_DecodeRAW(data, size, &img)) {
            if (info) *info = {img.width, img.height, 0, 0, 0, -1, 0}; // the header's size
            return nullptr;
        }
        int32_t rawCode = img.rawKind == 0 ? 6 : 11;
        if (info) *info = {img.width, img.height, img.rawKind == 0 ? 32 : 16, 0, rawCode, -1, rawCode};
        TextureRecord* r = GR_D3D_CreateTexture(img.width, img.height, 0, 0, rawCode);
        if (r && !GR_D3D_FillTexture(r, 0, img.width, img.height, img.data)) {
            GR_D3D_FreeTexture(r);
            r = nullptr;
        }
        GR_Image_Free(&img);
        return r;
    }
    uint32_t wanted = GR_D3D_MapFormat(code);
    bool keepCompressed = code == 0 || (wanted >= GFX_FMT_DXT1 && wanted <= GFX_FMT_DXT5);
    const bool decoded = GR_Image_Decode(data, size, !keepCompressed, &img);
    if (info) *info = {img.width, img.height, img.bitsPerPixel, 1, code, 3, img.fileFormat};
    if (!decoded || SidesRefused(img.width, img.height)) {
        GR_Image_Free(&img);
        return nullptr;
    }
    TextureRecord* r = NewRecord(img.width, img.height, 1, code, false);
    uint32_t pool = st.managedPool ? GFX_POOL_MANAGED : GFX_POOL_DEFAULT;
    r->texture = st.device->CreateTexture(img.width, img.height, 1, 0, img.format, pool);
    if (!r->texture || !st.device->UpdateTexture(r->texture, 0, img.data, img.pitch)) {
        GR_Image_Free(&img);
        DeleteRecord(r);
        return nullptr;
    }
    r->colour = st.device->GetSurfaceLevel(r->texture, 0);
    GR_Image_Free(&img);
    return r;
}

// ============================================================================================
// [SECTION] Release
// ============================================================================================
void GR_D3D_FreeTexture(TextureRecord* record)
{
    if (!record) return;
    // Vertices gathered for this texture are drawn before it goes.
    if (g_batch.texture == record) {
        if (g_batch.type != -1) GR_D3D_Flush();
        g_batch.texture = nullptr;
    }
    DeleteRecord(record);
}

void GR_D3D_PreloadTexture(TextureRecord* record)
{
    IGfxDevice* dev = GR_D3D_State().device;
    if (dev && record && record->texture) dev->PreLoad(record->texture);
}

void GR_D3D_SetTexturePriority(TextureRecord* record, uint32_t priority)
{
    IGfxDevice* dev = GR_D3D_State().device;
    if (dev && record && record->texture) dev->SetPriority(record->texture, priority);
}

void GR_D3D_ReleaseBatchObjects()
{
    IGfxDevice* dev = GR_D3D_State().device;
    VertexBufferRecord* r = g_batch.head;
    while (r) {
        VertexBufferRecord* next = r->next;
        if ((r->flags & 1) && dev) dev->UnlockVertexBuffer(r->buffer);
        r->buffer->Release();
        delete r;
        r = next;
    }
    g_batch = BatchState{};
    g_stats = GR_BatchStats{};
}
