// Readers of the image data that becomes device textures: "RAW " images (32-bit and 16-bit
// 4444), PNG (through the PNG decoder), BMP files and DDS files (uncompressed 32-bit,
// 8-bit alpha or luminance, DXT1 to DXT5). Every reader checks its header against the data
// it was given and refuses what it cannot read; nothing here touches the device.
#pragma once

#include <cstdint>

enum : int32_t { GR_IFF_BMP = 0, GR_IFF_PNG = 3, GR_IFF_DDS = 4, GR_IFF_RAW = -1 };

struct GR_Image {
    int32_t width, height;
    uint32_t format;       // GFX_FMT_A8R8G8B8, GFX_FMT_A4R4G4B4 or GFX_FMT_DXT1..5
    uint32_t pitch;        // bytes per row (per row of 4x4 blocks for DXT)
    int32_t bitsPerPixel;  // of the file
    int32_t fileFormat;    // GR_IFF_*
    int32_t rawKind;       // "RAW " kind (0 or 1), -1 otherwise
    uint8_t* data;         // memory-manager block, owned
    uint32_t size;
};

enum { GR_IMAGE_MAX_SIDE = 8192 };

// "RAW " data: u32 magic, width, height, kind, then pixels (kind 0: bytes R, G, B, A becomes
// 0xAARRGGBB words; kind 1: 16-bit pixels whose four nibbles are reversed into A4R4G4B4).
bool GR_Image_DecodeRAW(const void* data, uint32_t size, GR_Image* out);
bool GR_Image_DecodeBMP(const void* data, uint32_t size, GR_Image* out);
// DDS; when wantARGB is set, DXT images are decompressed to 0xAARRGGBB.
bool GR_Image_DecodeDDS(const void* data, uint32_t size, bool wantARGB, GR_Image* out);
bool GR_Image_DecodePNG(const void* data, uint32_t size, GR_Image* out);
// Any of the above by its signature.
bool GR_Image_Decode(const void* data, uint32_t size, bool wantARGB, GR_Image* out);
void GR_Image_Free(GR_Image* image);
// Bytes of one level of a DXT image.
uint32_t GR_Image_DXTSize(uint32_t format, int32_t w, int32_t h);
bool GR_Image_IsRAW(const void* data, uint32_t size);
