// The vertex batch and the device textures. Every primitive is written into one pending
// batch: a caller asks for room for n vertices of a type, texture and vertex size, writes them
// and goes on; the batch is drawn only when something forces it (another type, texture or
// size, a strip or fan, a pending render-state change, a full buffer, a matrix or target
// change, the end of the frame). Also here: the texture record (one device texture, its
// render-target surfaces and a copy of its pixels), creation, upload and release, the
// in-memory image decoder ("RAW ", PNG, BMP, DDS) and binding with the swap counter.
//
// Needs: Graphics_D3D (device), Graphics_RenderState (applied at each flush), the image
// readers (Graphics_ImageDecode.h) and the PNG decoder.
#pragma once

#include <cstdint>

#include "Files/Graphics_API/Graphics_Device.h"

struct VertexBufferRecord {
    VertexBufferRecord* prev;
    VertexBufferRecord* next;
    uint32_t flags;            // 1 locked, 2 created dynamic, 4 locked this frame
    GfxVertexBuffer* buffer;
    uint32_t fvf, vertexSize;
    uint32_t first, used, capacity; // in vertices
    uint8_t* locked;           // first vertex of the open batch while locked
    uint64_t frameStamp;       // frame in which it was last emptied
};

// A texture record keeps its width and height in 13 bits each: no texture is larger than
// this a side (a larger one is refused as a failed creation).
constexpr int32_t GR_TEXTURE_MAX_SIDE = 8192;

struct TextureRecord {
    int32_t formatCode;
    uint32_t packedSize;       // w-1 bits 0-12, h-1 bits 13-25, levels-1 bits 26-31
    uint32_t flags;            // 1: render-target surface drawn into since the last update
    GfxTexture* texture;
    GfxSurface* colour;
    GfxSurface* depth;
    void* pixelBlock;          // memory-manager block of w * h * 4 + 16 bytes
    uint8_t* pixels;           // its first 16-byte-aligned byte
    uint32_t direct;           // 1: the render-target surface is the texture's own level 0
    uint32_t spare1;
    TextureRecord* next;
    TextureRecord* prev;       // so that a record leaves the list in constant time

    int32_t Width() const { return (int32_t)(packedSize & 0x1FFF) + 1; }
    int32_t Height() const { return (int32_t)((packedSize >> 13) & 0x1FFF) + 1; }
};

// Seven fields the decoder fills.
struct TextureInfo {
    int32_t width, height, bitsPerPixel, mipLevels, formatCode, resourceType, fileFormat;
};

struct GR_BatchStats {
    uint32_t largestBatch, triangles, batches, textureSwaps;
    GfxTexture* lastTexture;
};
GR_BatchStats& GR_Batch_Stats();

void* GR_D3D_AllocVertices(int32_t type, TextureRecord* texture, int32_t vertexSize, int32_t n);
void GR_D3D_ReturnVertices(int32_t n);
void GR_D3D_Flush();
void GR_D3D_DrawBatch(int32_t type, int32_t count, const void* pointer, int32_t vertexSize);
void GR_D3D_EndFrameVertexBuffers();
void GR_D3D_SetTexture(int32_t stage, TextureRecord* record);
TextureRecord* GR_D3D_CreateTexture(int32_t w, int32_t h, int32_t levels, uint32_t flags,
                                    int32_t formatCode);
bool GR_D3D_FillTexture(TextureRecord* record, int32_t level, int32_t w, int32_t h,
                        const void* pixels);
TextureRecord* GR_D3D_CreateTextureForImage(const uint32_t* pixels, int32_t w, int32_t h,
                                            TextureInfo* info);
// Data is not changed (the swaps work on a copy). Null when the data cannot be decoded or its
// texture cannot be made (one larger than GR_D3D_MaxTextureSide among them). With a device,
// info's width and height are the size the image's header gives, also when it is refused;
// 0 x 0 when the data is no image the decoder knows.
TextureRecord* GR_D3D_CreateTextureFromMemory(const void* data, uint32_t size,
                                              TextureInfo* info, int32_t formatCode);
void GR_D3D_FreeTexture(TextureRecord* record);
void GR_D3D_PreloadTexture(TextureRecord* record);
void GR_D3D_SetTexturePriority(TextureRecord* record, uint32_t priority);
// Brings a render target's texture up to date (after drawing into its surface).
void GR_D3D_UpdateRenderTargetTexture(TextureRecord* record);
// Every texture record (newest first) for the eviction pass and tests.
TextureRecord* GR_D3D_FirstTexture();
// The size of a plain texture for an image side: the power of two from 64 up that holds it
// (above GR_TEXTURE_MAX_SIDE for a side larger than a texture holds, so that its creation fails).
int32_t GR_D3D_TextureRound(int32_t size);
// The largest width and height a texture can have: GR_TEXTURE_MAX_SIDE, or less when the
// device makes no larger one.
int32_t GR_D3D_MaxTextureSide();
uint32_t GR_D3D_MapFormat(int32_t code);
// Drops every vertex buffer and texture record (device shutdown; tests).
void GR_D3D_ReleaseBatchObjects();
// Vertex buffers on the list (tests).
VertexBufferRecord* GR_D3D_FirstVertexBuffer();
int32_t GR_D3D_BatchType();
