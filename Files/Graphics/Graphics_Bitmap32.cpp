// CBitmap32 (see Graphics_Bitmap32.h). No host library here.
#include "Files/Graphics/Graphics_Bitmap32.h"

#include <zlib.h>

#include <cmath>
#include <cstring>

#include "Files/Graphics_API/TBitmap.h"
#include "Files/Support/Stream.h"
#include "Platform/MemoryManager.h"

// Largest image a stream or a stretch may ask for (sides and bytes).
static const int32_t kMaxSide = 16384;
static const uint64_t kMaxBytes = 256ull * 1024 * 1024;

CBitmap32::CBitmap32() : valid(0), width(0), height(0), size(0), pixels(nullptr) {}
CBitmap32::~CBitmap32() { MEM_FREE(pixels); }

bool CBitmap32::Allocate(int32_t w, int32_t h)
{
    if (w < 0 || h < 0 || w > kMaxSide || h > kMaxSide || (uint64_t)w * h * 4 > kMaxBytes) return false;
    MEM_FREE(pixels);
    width = w;
    height = h;
    size = (uint32_t)w * (uint32_t)h * 4;
    pixels = (uint32_t*)MEM_ALLOC_CLEAR(size);
    return true;
}

static uint32_t SwapRB(uint32_t c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }

// ---- Constructors ---------------------------------------------------------------------------
CBitmap32* CBitmap32::FromStream(GR_ByteReader* s)
{
    CBitmap32* b = new CBitmap32();
    if (!s) return b;
    int32_t form = s->ReadInteger();
    if (form == 540) {
        if (s->ReadInteger() == 0) return b;
        int32_t w = s->ReadInteger(), h = s->ReadInteger();
        uint32_t len = (uint32_t)s->ReadInteger();
        if (w < 1 || h < 1 || !b->Allocate(w, h)) return b;
        if (len > s->Left()) len = s->Left();
        z_stream z{};
        if (inflateInit(&z) == Z_OK) {
            z.next_in = (Bytef*)(s->data + s->pos);
            z.avail_in = len;
            z.next_out = (Bytef*)b->pixels;
            z.avail_out = b->size;
            inflate(&z, Z_FINISH); // a short or damaged block leaves the rest cleared
            inflateEnd(&z);
        }
        s->pos += len;
        b->valid = 1;
    } else if (form == 800) {
        int32_t w = s->ReadInteger(), h = s->ReadInteger();
        uint32_t len = (uint32_t)s->ReadInteger();
        if (w < 1 || h < 1 || !b->Allocate(w, h)) return b;
        if (len > s->Left()) len = s->Left();
        std::memcpy(b->pixels, s->data + s->pos, len < b->size ? len : b->size);
        s->pos += len;
        b->valid = 1;
    }
    return b;
}

CBitmap32* CBitmap32::FromStream(CStream* stream)
{
    if (!stream || !stream->GetMemory()) return new CBitmap32();
    int64_t size = stream->GetSize(), pos = stream->GetPosition();
    if (size > 0xFFFFFFFFll) size = 0xFFFFFFFFll;
    GR_ByteReader r{stream->GetMemory(), (uint32_t)size, (uint32_t)(pos < size ? pos : size)};
    CBitmap32* b = FromStream(&r);
    stream->Seek((int64_t)r.pos);
    return b;
}

CBitmap32* CBitmap32::Copy(const CBitmap32* src)
{
    CBitmap32* b = new CBitmap32();
    if (!src) return b;
    b->valid = src->valid;
    b->width = src->width;
    b->height = src->height;
    if (src->valid && src->pixels) {
        b->size = src->size;
        b->pixels = (uint32_t*)MEM_ALLOC(src->size);
        std::memcpy(b->pixels, src->pixels, src->size);
    }
    return b;
}

CBitmap32* CBitmap32::FromPart(const CBitmap32* src, int32_t x, int32_t y, int32_t w, int32_t h)
{
    CBitmap32* b = new CBitmap32();
    if (!src || !src->valid || x < 0 || y < 0 || w < 0 || h < 0) return b;
    if ((int64_t)src->width < (int64_t)x + w || (int64_t)src->height < (int64_t)y + h) return b;
    b->Allocate(w, h);
    for (int32_t r = 0; w > 0 && r < h; ++r)
        std::memcpy(b->pixels + (size_t)r * w, src->pixels + (size_t)(y + r) * src->width + x, (size_t)w * 4);
    b->valid = 1;
    return b;
}

CBitmap32* CBitmap32::FromColour(int32_t w, int32_t h, uint32_t colour)
{
    CBitmap32* b = new CBitmap32();
    if (w < 1) w = 1;
    if (h < 1) h = 1;
    if (!b->Allocate(w, h)) return b;
    uint32_t c = 0xFF000000u | SwapRB(colour);
    for (uint32_t i = 0; i < b->size / 4; ++i) b->pixels[i] = c;
    b->valid = 1;
    return b;
}

static CBitmap32* Convert(IBitmap* bmp, bool keepAlpha, bool transparent, bool smooth)
{
    CBitmap32* b = new CBitmap32();
    if (!bmp) return b;
    int32_t format = bmp->GetPixelFormat();
    if (!(format == 7 || (!keepAlpha && format == 6))) return b;
    int32_t w = bmp->GetWidth(), h = bmp->GetHeight();
    if (w < 1 || h < 1 || !b->Allocate(w, h)) return b;
    int32_t pitch = 0;
    uint8_t* base = bmp->Lock(0, nullptr, &pitch);
    if (!base) return b;
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* row = base + (size_t)y * pitch;
        uint32_t* dst = b->pixels + (size_t)y * w;
        for (int32_t x = 0; x < w; ++x) {
            const uint8_t* p = row + x * (format == 6 ? 3 : 4);
            uint32_t a = keepAlpha ? p[3] : 0xFF;
            dst[x] = a << 24 | (uint32_t)p[2] << 16 | (uint32_t)p[1] << 8 | p[0];
        }
    }
    bmp->Unlock(base);
    b->valid = 1;
    if (transparent) {
        b->RemoveBackground();
        if (smooth) b->SmoothEdges();
    }
    return b;
}

CBitmap32* CBitmap32::FromBitmapOpaque(IBitmap* bmp, bool transparent, bool smooth)
{
    return Convert(bmp, false, transparent, smooth);
}

CBitmap32* CBitmap32::FromTBitmap(IBitmap* bmp, bool transparent, bool smooth)
{
    return Convert(bmp, true, transparent, smooth);
}

CBitmap32* CBitmap32::FromAnyBitmap(IBitmap* bmp, bool transparent, bool smooth)
{
    CBitmap32* result = new CBitmap32();
    if (!bmp) return result;
    CBitmap32* tmp;
    int32_t format = bmp->GetPixelFormat();
    if (format == 6 || format == 7) {
        tmp = FromBitmapOpaque(bmp, transparent, smooth);
    } else {
        TBitmap* copy = TBitmap::Create();
        copy->Assign(bmp);
        tmp = FromBitmapOpaque(copy, transparent, smooth);
        delete copy;
    }
    result->Assign(tmp);
    delete tmp;
    return result;
}

CBitmap32* CBitmap32::FromImage(IBitmap* bmp, bool transparent, bool smooth, bool keepAlpha)
{
    CBitmap32* tmp = keepAlpha ? FromTBitmap(bmp, transparent, smooth) : FromAnyBitmap(bmp, transparent, smooth);
    CBitmap32* b = new CBitmap32();
    b->Assign(tmp);
    delete tmp;
    return b;
}

uint32_t GR_Gradient_MergeColour(uint32_t a, uint32_t b, double t)
{
    uint32_t r = 0;
    for (int s = 0; s < 24; s += 8) {
        double v = ((a >> s) & 0xFF) * (1.0 - t) + ((b >> s) & 0xFF) * t;
        double n = std::nearbyint(v);
        if (!(n >= 0)) n = 0;
        if (n > 255) n = 255;
        r |= (uint32_t)n << s;
    }
    return r;
}

CBitmap32* CBitmap32::FromGradient(int32_t w, int32_t h, uint32_t c1, uint32_t c2, int32_t kind)
{
    if (w < 1) w = 1;
    if (h < 1) h = 1;
    CBitmap32* result = new CBitmap32();
    if (w > kMaxSide || h > kMaxSide || (uint64_t)w * h * 4 > kMaxBytes) return result;
    TBitmap* bmp = TBitmap::Create();
    bmp->SetPixelFormat(6);
    bmp->SetWidth(w);
    bmp->SetHeight(h);
    int32_t pitch;
    uint8_t* base = bmp->Lock(0, nullptr, &pitch);
    auto put = [&](int32_t x, int32_t y, uint32_t script) {
        uint8_t* p = base + (size_t)y * pitch + (size_t)x * 3;
        p[0] = (uint8_t)(script >> 16); // B
        p[1] = (uint8_t)(script >> 8);  // G
        p[2] = (uint8_t)script;         // R
    };
    double half = std::fmin(w, h) * 0.5;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            uint32_t c = 0;
            switch (kind) {
            case 0: c = GR_Gradient_MergeColour(c1, c2, (double)x / w); break;
            case 1: c = GR_Gradient_MergeColour(c1, c2, (double)y / h); break;
            case 2: {
                double d = std::fmin(std::fmin(x, w - 1 - x), std::fmin(y, h - 1 - y));
                c = GR_Gradient_MergeColour(c1, c2, d / half);
                break;
            }
            case 3: c = c1; break;
            case 4: c = GR_Gradient_MergeColour(c1, c2, std::fmin(x, w - 1 - x) / (w * 0.5)); break;
            case 5: c = GR_Gradient_MergeColour(c1, c2, std::fmin(y, h - 1 - y) / (h * 0.5)); break;
            default: continue; // nothing is drawn
            }
            put(x, y, c);
        }
    if (kind == 3) {
        for (int32_t i = 0; i < half; ++i) {
            double rx = (w - 2.0 * i) * 0.5, ry = (h - 2.0 * i) * 0.5;
            uint32_t c = GR_Gradient_MergeColour(c1, c2, i / half);
            for (int32_t y = i; y <= h - i - 1; ++y)
                for (int32_t x = i; x <= w - i - 1; ++x) {
                    double dx = x - w * 0.5, dy = y - h * 0.5;
                    if (dx * dx / (rx * rx) + dy * dy / (ry * ry) <= 1.0) put(x, y, c);
                }
        }
    }
    bmp->Unlock(base);
    CBitmap32* tmp = FromBitmapOpaque(bmp, false, false);
    result->Assign(tmp);
    delete tmp;
    delete bmp;
    return result;
}

// ---- Operations ---------------------------------------------------------------------------------
void CBitmap32::Assign(const CBitmap32* other)
{
    if (!other || other == this) return;
    valid = other->valid;
    width = other->width;
    height = other->height;
    size = other->size;
    MEM_FREE(pixels);
    pixels = nullptr;
    if (other->pixels && size) {
        pixels = (uint32_t*)MEM_ALLOC(size);
        std::memcpy(pixels, other->pixels, size);
    }
}

void CBitmap32::SetAlphaFrom(const CBitmap32* other)
{
    if (!valid || !other || !other->valid || !pixels || !other->pixels) return;
    int32_t w = width < other->width ? width : other->width, h = height < other->height ? height : other->height;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            uint32_t& p = pixels[(size_t)y * width + x];
            uint32_t o = other->pixels[(size_t)y * other->width + x];
            uint32_t grey = (((o >> 16) & 0xFF) + ((o >> 8) & 0xFF) + (o & 0xFF)) / 3;
            uint32_t a = p >> 24;
            if (grey < a) a = grey;
            p = (p & 0xFFFFFF) | a << 24;
        }
}

bool CBitmap32::Stretch(int32_t nw, int32_t nh)
{
    if (!valid) return false;
    if (nw <= 0 || nh <= 0 || nw > kMaxSide || nh > kMaxSide || (uint64_t)nw * nh * 4 > kMaxBytes) return false;
    if (nw == width && nh == height) return true;
    uint32_t* np = (uint32_t*)MEM_ALLOC((uint64_t)nw * nh * 4);
    for (int32_t y = 0; y < nh; ++y)
        for (int32_t x = 0; x < nw; ++x)
            np[(size_t)y * nw + x] =
                pixels[(size_t)((int64_t)height * y / nh) * width + (size_t)((int64_t)width * x / nw)];
    MEM_FREE(pixels);
    pixels = np;
    width = nw;
    height = nh;
    size = (uint32_t)nw * nh * 4;
    return true;
}

int32_t* CBitmap32::OpaqueBounds()
{
    // An invalid or empty image gives {0, 0, -1, -1}: left above right, nothing opaque.
    int32_t* box = new int32_t[4]{0, 0, -1, -1};
    if (!valid || !pixels || width < 1 || height < 1) return box;
    box[0] = width - 1;
    box[1] = height - 1;
    box[2] = 0;
    box[3] = 0;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            if (pixels[(size_t)y * width + x] >> 24) {
                if (x < box[0]) box[0] = x;
                if (y < box[1]) box[1] = y;
                if (x > box[2]) box[2] = x;
                if (y > box[3]) box[3] = y;
            }
    return box;
}

TBitmap* CBitmap32::ToTBitmap24()
{
    if (!valid) return nullptr;
    TBitmap* t = TBitmap::Create();
    t->SetPixelFormat(6);
    t->SetWidth(width);
    t->SetHeight(height);
    int32_t pitch;
    uint8_t* base = t->Lock(0, nullptr, &pitch);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            uint32_t c = pixels[(size_t)y * width + x];
            uint8_t* p = base + (size_t)y * pitch + (size_t)x * 3;
            p[0] = (uint8_t)c;
            p[1] = (uint8_t)(c >> 8);
            p[2] = (uint8_t)(c >> 16);
        }
    t->Unlock(base);
    return t;
}

TBitmap* CBitmap32::ToTBitmap32()
{
    if (!valid) return nullptr;
    TBitmap* t = TBitmap::Create();
    t->SetPixelFormat(7);
    t->SetWidth(width);
    t->SetHeight(height);
    int32_t pitch;
    uint8_t* base = t->Lock(0, nullptr, &pitch);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            uint32_t c = pixels[(size_t)y * width + x];
            uint8_t* p = base + (size_t)y * pitch + (size_t)x * 4;
            p[0] = (uint8_t)(c >> 16); // R
            p[1] = (uint8_t)(c >> 8);  // G
            p[2] = (uint8_t)c;         // B
            p[3] = (uint8_t)(c >> 24); // A
        }
    t->Unlock(base);
    return t;
}

void CBitmap32::RemoveBackground()
{
    if (!valid || !pixels || width < 1 || height < 1) return;
    uint32_t key = pixels[(size_t)(height - 1) * width] & 0xFFFFFF;
    for (uint32_t i = 0; i < size / 4; ++i)
        if ((pixels[i] & 0xFFFFFF) == key) pixels[i] &= 0xFFFFFF;
    FillTransparentColours();
}

void CBitmap32::FillTransparentColours()
{
    if (!valid || !pixels) return;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            uint32_t& p = pixels[(size_t)y * width + x];
            if (p >> 24) continue;
            const int dx[4] = {-1, 1, 0, 0}, dy[4] = {0, 0, -1, 1};
            for (int k = 0; k < 4; ++k) {
                int32_t nx = x + dx[k], ny = y + dy[k];
                if (nx < 0 || ny < 0 || nx >= width || ny >= height) continue;
                uint32_t n = pixels[(size_t)ny * width + nx];
                if (n >> 24) {
                    p = n & 0xFFFFFF;
                    break;
                }
            }
        }
}

void CBitmap32::SmoothEdges()
{
    if (!valid || !pixels) return;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            if (pixels[(size_t)y * width + x] >> 24) continue;
            for (int32_t ny = y - 1; ny <= y + 1; ++ny)
                for (int32_t nx = x - 1; nx <= x + 1; ++nx) {
                    if (nx < 0 || ny < 0 || nx >= width || ny >= height) continue;
                    uint32_t& n = pixels[(size_t)ny * width + nx];
                    uint32_t a = n >> 24;
                    if (a >= 32) n = (n & 0xFFFFFF) | (a - 32) << 24;
                }
        }
}
