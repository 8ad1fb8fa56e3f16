// Image readers for device textures (see Graphics_ImageDecode.h). Pure code over byte
// ranges: every field is read with bounds-checked little-endian loads.
#include "Files/Graphics_API/Graphics_ImageDecode.h"

#include <cstdint>
#include <cstring>

#include "Files/Graphics_API/Graphics_Device.h"
#include "Files/Graphics_API/Graphics_PNG.h"
#include "Platform/MemoryManager.h"

namespace {

uint32_t U32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
uint16_t U16(const uint8_t* p)
{
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

bool Alloc(GR_Image* out, uint64_t bytes)
{
    if (bytes == 0 || bytes > 0x7FFFFFFFull) return false;
    out->data = (uint8_t*)MEM_ALLOC(bytes);
    out->size = (uint32_t)bytes;
    return true;
}

void Clear(GR_Image* out)
{
    std::memset(out, 0, sizeof(*out));
    out->rawKind = -1;
}

bool SideOK(int64_t w, int64_t h) { return w >= 1 && h >= 1 && w <= GR_IMAGE_MAX_SIDE && h <= GR_IMAGE_MAX_SIDE; }

// The size the header gives, kept also when the image is refused (so that a caller can say
// how large it was).
void NoteSize(GR_Image* out, int64_t w, int64_t h)
{
    out->width = (int32_t)(w < 0 ? 0 : w > INT32_MAX ? INT32_MAX : w);
    out->height = (int32_t)(h < 0 ? 0 : h > INT32_MAX ? INT32_MAX : h);
}

} // namespace

void GR_Image_Free(GR_Image* image)
{
    if (!image) return;
    MEM_FREE(image->data);
    image->data = nullptr;
    image->size = 0;
}

bool GR_Image_IsRAW(const void* data, uint32_t size)
{
    return data && size >= 4 && U32((const uint8_t*)data) == 0x20574152u;
}

// ---- "RAW " ----------------------------------------------------------------------------------
bool GR_Image_DecodeRAW(const void* data, uint32_t size, GR_Image* out)
{
    Clear(out);
    const uint8_t* p = (const uint8_t*)data;
    if (!p || size < 16 || U32(p) != 0x20574152u) return false;
    uint32_t w = U32(p + 4), h = U32(p + 8), kind = U32(p + 12);
    NoteSize(out, w, h);
    if (!SideOK(w, h) || kind > 1) return false;
    uint64_t bpp = kind == 0 ? 4 : 2;
    uint64_t bytes = (uint64_t)w * h * bpp;
    if (bytes > size - 16) return false; // the header promises more pixels than there are
    if (!Alloc(out, bytes)) return false;
    std::memcpy(out->data, p + 16, bytes);
    out->width = (int32_t)w;
    out->height = (int32_t)h;
    out->pitch = (uint32_t)(w * bpp);
    out->rawKind = (int32_t)kind;
    out->fileFormat = GR_IFF_RAW;
    if (kind == 0) {
        // Bytes R, G, B, A: the first and third are swapped to give 0xAARRGGBB words.
        for (uint64_t i = 0; i < bytes; i += 4) {
            uint8_t t = out->data[i];
            out->data[i] = out->data[i + 2];
            out->data[i + 2] = t;
        }
        out->format = GFX_FMT_A8R8G8B8;
        out->bitsPerPixel = 32;
    } else {
        // The four 4-bit groups of each pixel are reversed into A4R4G4B4 order.
        for (uint64_t i = 0; i < bytes; i += 2) {
            uint16_t v = U16(out->data + i);
            v = (uint16_t)(((v & 0xF) << 12) | ((v & 0xF0) << 4) | ((v >> 4) & 0xF0) | (v >> 12));
            std::memcpy(out->data + i, &v, 2);
        }
        out->format = GFX_FMT_A4R4G4B4;
        out->bitsPerPixel = 16;
    }
    return true;
}

// ---- BMP -------------------------------------------------------------------------------------
bool GR_Image_DecodeBMP(const void* data, uint32_t size, GR_Image* out)
{
    Clear(out);
    const uint8_t* p = (const uint8_t*)data;
    if (!p || size < 54 || p[0] != 'B' || p[1] != 'M') return false;
    uint32_t offBits = U32(p + 10), infoSize = U32(p + 14);
    if (infoSize < 40 || infoSize > size - 14) return false;
    int32_t w = (int32_t)U32(p + 18), hRaw = (int32_t)U32(p + 22);
    uint16_t bits = U16(p + 28);
    uint32_t compression = U32(p + 30), clrUsed = U32(p + 46);
    bool topDown = hRaw < 0;
    int64_t h = topDown ? -(int64_t)hRaw : hRaw;
    NoteSize(out, w, h);
    if (!SideOK(w, h)) return false;
    if (compression != 0 && !(compression == 3 && bits == 32)) return false;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return false;
    uint64_t stride = (((uint64_t)w * bits + 31) / 32) * 4;
    if (offBits > size || stride * (uint64_t)h > size - offBits) return false;
    uint32_t paletteCount = 0;
    const uint8_t* palette = p + 14 + infoSize;
    if (bits <= 8) {
        paletteCount = clrUsed ? clrUsed : (1u << bits);
        if (paletteCount > 256) return false;
        if ((uint64_t)(14 + infoSize) + (uint64_t)paletteCount * 4 > offBits) return false;
    }
    if (!Alloc(out, (uint64_t)w * h * 4)) return false;
    uint32_t* px = (uint32_t*)out->data;
    for (int64_t y = 0; y < h; ++y) {
        const uint8_t* row = p + offBits + stride * (uint64_t)(topDown ? y : h - 1 - y);
        uint32_t* dst = px + y * w;
        for (int32_t x = 0; x < w; ++x) {
            uint32_t c;
            if (bits == 24) {
                const uint8_t* s = row + x * 3;
                c = 0xFF000000u | (uint32_t)s[2] << 16 | (uint32_t)s[1] << 8 | s[0];
            } else if (bits == 32) {
                const uint8_t* s = row + x * 4;
                c = 0xFF000000u | (uint32_t)s[2] << 16 | (uint32_t)s[1] << 8 | s[0];
            } else {
                uint32_t index;
                if (bits == 8) index = row[x];
                else if (bits == 4) index = (row[x / 2] >> ((x & 1) ? 0 : 4)) & 0xF;
                else index = (row[x / 8] >> (7 - (x & 7))) & 1;
                if (index >= paletteCount) index = 0; // out-of-range index: entry 0
                const uint8_t* e = palette + index * 4;
                c = 0xFF000000u | (uint32_t)e[2] << 16 | (uint32_t)e[1] << 8 | e[0];
            }
            dst[x] = c;
        }
    }
    out->width = w;
    out->height = (int32_t)h;
    out->pitch = (uint32_t)w * 4;
    out->format = GFX_FMT_A8R8G8B8;
    out->bitsPerPixel = bits;
    out->fileFormat = GR_IFF_BMP;
    return true;
}

// ---- DDS -------------------------------------------------------------------------------------
uint32_t GR_Image_DXTSize(uint32_t format, int32_t w, int32_t h)
{
    uint32_t bw = (uint32_t)(w + 3) / 4, bh = (uint32_t)(h + 3) / 4;
    if (bw == 0) bw = 1;
    if (bh == 0) bh = 1;
    return bw * bh * (format == GFX_FMT_DXT1 ? 8u : 16u);
}

static uint32_t Rgb565(uint16_t c)
{
    uint32_t r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
    r = (r << 3) | (r >> 2);
    g = (g << 2) | (g >> 4);
    b = (b << 3) | (b >> 2);
    return r << 16 | g << 8 | b;
}

static uint32_t Mix(uint32_t a, uint32_t b, int wa, int wb, int d)
{
    uint32_t r = 0;
    for (int s = 0; s < 24; s += 8) {
        uint32_t ca = (a >> s) & 0xFF, cb = (b >> s) & 0xFF;
        r |= ((ca * wa + cb * wb) / d) << s;
    }
    return r;
}

static void DecodeColourBlock(const uint8_t* b, bool dxt1, uint32_t* colours)
{
    uint16_t c0 = U16(b), c1 = U16(b + 2);
    uint32_t p0 = Rgb565(c0), p1 = Rgb565(c1);
    colours[0] = 0xFF000000u | p0;
    colours[1] = 0xFF000000u | p1;
    if (!dxt1 || c0 > c1) {
        colours[2] = 0xFF000000u | Mix(p0, p1, 2, 1, 3);
        colours[3] = 0xFF000000u | Mix(p0, p1, 1, 2, 3);
    } else {
        colours[2] = 0xFF000000u | Mix(p0, p1, 1, 1, 2);
        colours[3] = 0; // transparent black
    }
}

static void DecompressDXT(const uint8_t* src, uint32_t format, int32_t w, int32_t h, uint32_t* dst)
{
    int32_t bw = (w + 3) / 4, bh = (h + 3) / 4;
    bool dxt1 = format == GFX_FMT_DXT1;
    for (int32_t by = 0; by < bh; ++by)
        for (int32_t bx = 0; bx < bw; ++bx) {
            const uint8_t* blk = src + (size_t)(by * bw + bx) * (dxt1 ? 8 : 16);
            uint8_t alpha[16];
            const uint8_t* colourBlock = blk;
            if (!dxt1) {
                colourBlock = blk + 8;
                if (format == GFX_FMT_DXT2 || format == GFX_FMT_DXT3) {
                    for (int i = 0; i < 16; ++i) {
                        uint32_t nib = (blk[i / 2] >> ((i & 1) * 4)) & 0xF;
                        alpha[i] = (uint8_t)(nib * 17);
                    }
                } else {
                    uint32_t a0 = blk[0], a1 = blk[1], table[8];
                    table[0] = a0;
                    table[1] = a1;
                    if (a0 > a1)
                        for (int i = 2; i < 8; ++i) table[i] = ((8 - i) * a0 + (i - 1) * a1) / 7;
                    else {
                        for (int i = 2; i < 6; ++i) table[i] = ((6 - i) * a0 + (i - 1) * a1) / 5;
                        table[6] = 0;
                        table[7] = 255;
                    }
                    uint64_t bitsA = 0;
                    for (int i = 0; i < 6; ++i) bitsA |= (uint64_t)blk[2 + i] << (8 * i);
                    for (int i = 0; i < 16; ++i) alpha[i] = (uint8_t)table[(bitsA >> (3 * i)) & 7];
                }
            }
            uint32_t colours[4];
            DecodeColourBlock(colourBlock, dxt1, colours);
            uint32_t indices = U32(colourBlock + 4);
            for (int i = 0; i < 16; ++i) {
                int32_t x = bx * 4 + (i & 3), y = by * 4 + (i >> 2);
                if (x >= w || y >= h) continue;
                uint32_t c = colours[(indices >> (2 * i)) & 3];
                if (!dxt1) c = (c & 0xFFFFFF) | (uint32_t)alpha[i] << 24;
                dst[(size_t)y * w + x] = c;
            }
        }
}

bool GR_Image_DecodeDDS(const void* data, uint32_t size, bool wantARGB, GR_Image* out)
{
    Clear(out);
    const uint8_t* p = (const uint8_t*)data;
    if (!p || size < 128 || std::memcmp(p, "DDS ", 4) != 0 || U32(p + 4) != 124) return false;
    NoteSize(out, U32(p + 16), U32(p + 12));
    int32_t h = (int32_t)U32(p + 12), w = (int32_t)U32(p + 16);
    if (!SideOK(w, h)) return false;
    const uint8_t* pf = p + 76;
    uint32_t pfFlags = U32(pf + 4), fourCC = U32(pf + 8), bitCount = U32(pf + 12);
    uint32_t rMask = U32(pf + 16), gMask = U32(pf + 20), bMask = U32(pf + 24), aMask = U32(pf + 28);
    const uint8_t* src = p + 128;
    uint32_t avail = size - 128;
    out->width = w;
    out->height = h;
    out->fileFormat = GR_IFF_DDS;
    if (pfFlags & 0x4) { // four-character code
        if (fourCC < GFX_FMT_DXT1 || fourCC > GFX_FMT_DXT5) return false;
        uint32_t bytes = GR_Image_DXTSize(fourCC, w, h);
        if (bytes > avail) return false;
        out->bitsPerPixel = fourCC == GFX_FMT_DXT1 ? 4 : 8;
        if (wantARGB) {
            if (!Alloc(out, (uint64_t)w * h * 4)) return false;
            DecompressDXT(src, fourCC, w, h, (uint32_t*)out->data);
            out->format = GFX_FMT_A8R8G8B8;
            out->pitch = (uint32_t)w * 4;
        } else {
            if (!Alloc(out, bytes)) return false;
            std::memcpy(out->data, src, bytes);
            out->format = fourCC;
            out->pitch = (uint32_t)((w + 3) / 4) * (fourCC == GFX_FMT_DXT1 ? 8 : 16);
        }
        return true;
    }
    if (bitCount != 8 && bitCount != 32) return false;
    uint64_t bytes = (uint64_t)w * h * (bitCount / 8);
    if (bytes > avail) return false;
    if (!Alloc(out, (uint64_t)w * h * 4)) return false;
    uint32_t* dst = (uint32_t*)out->data;
    uint64_t n = (uint64_t)w * h;
    out->bitsPerPixel = (int32_t)bitCount;
    if (bitCount == 8) {
        bool alphaOnly = (pfFlags & 0x2) != 0 && (pfFlags & 0x20000) == 0;
        for (uint64_t i = 0; i < n; ++i) {
            uint32_t v = src[i];
            dst[i] = alphaOnly ? (v << 24 | 0xFFFFFF) : (0xFF000000u | v << 16 | v << 8 | v);
        }
    } else {
        // Masks decide the channel order; no alpha mask means opaque.
        auto shiftOf = [](uint32_t m) {
            int s = 0;
            if (!m) return -1;
            while (!(m & 1)) {
                m >>= 1;
                ++s;
            }
            return s;
        };
        int rs = shiftOf(rMask), gs = shiftOf(gMask), bs = shiftOf(bMask);
        int as = (pfFlags & 0x1) ? shiftOf(aMask) : -1;
        if (rs < 0 || gs < 0 || bs < 0) {
            GR_Image_Free(out);
            return false;
        }
        for (uint64_t i = 0; i < n; ++i) {
            uint32_t v = U32(src + i * 4);
            uint32_t a = as >= 0 ? (v >> as) & 0xFF : 0xFF;
            dst[i] = a << 24 | ((v >> rs) & 0xFF) << 16 | ((v >> gs) & 0xFF) << 8 | ((v >> bs) & 0xFF);
        }
    }
    out->format = GFX_FMT_A8R8G8B8;
    out->pitch = (uint32_t)w * 4;
    return true;
}

// ---- PNG and dispatch ------------------------------------------------------------------------
bool GR_Image_DecodePNG(const void* data, uint32_t size, GR_Image* out)
{
    Clear(out);
    int32_t w = -1, h = -1;
    uint32_t* px = GR_PNG_DecodeToBlock(data, size, &w, &h);
    if (!px) {
        const uint8_t* p = (const uint8_t*)data;
        if (p && size >= 24 && std::memcmp(p + 12, "IHDR", 4) == 0) // the header's size, big-endian
            NoteSize(out, (int64_t)p[16] << 24 | p[17] << 16 | p[18] << 8 | p[19],
                     (int64_t)p[20] << 24 | p[21] << 16 | p[22] << 8 | p[23]);
        return false;
    }
    out->data = (uint8_t*)px;
    out->size = (uint32_t)w * (uint32_t)h * 4;
    out->width = w;
    out->height = h;
    out->pitch = (uint32_t)w * 4;
    out->format = GFX_FMT_A8R8G8B8;
    out->bitsPerPixel = 32;
    out->fileFormat = GR_IFF_PNG;
    return true;
}

bool GR_Image_Decode(const void* data, uint32_t size, bool wantARGB, GR_Image* out)
{
    Clear(out);
    const uint8_t* p = (const uint8_t*)data;
    if (!p || size < 4) return false;
    if (GR_Image_IsRAW(p, size)) return GR_Image_DecodeRAW(p, size, out);
    if (size >= 8 && std::memcmp(p, "\x89PNG\r\n\x1a\n", 8) == 0) return GR_Image_DecodePNG(p, size, out);
    if (std::memcmp(p, "DDS ", 4) == 0) return GR_Image_DecodeDDS(p, size, wantARGB, out);
    if (p[0] == 'B' && p[1] == 'M') return GR_Image_DecodeBMP(p, size, out);
    return false;
}
