// The platform bitmap, the bitmap loader and the built-in image table access (see TBitmap.h).
// No host library here.
#include "Files/Graphics_API/TBitmap.h"

#include <cstring>

#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_ImageDecode.h"
#include "Files/Support/Stream.h"
#include "Platform/MemoryManager.h"

static uint32_t Get32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
static void Put32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
static void Put16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }

int32_t GR_ByteReader::ReadInteger()
{
    if (Left() < 4) {
        pos = size;
        return 0;
    }
    int32_t v = (int32_t)Get32(data + pos);
    pos += 4;
    return v;
}

uint32_t GR_ByteReader::ReadBuffer(void* out, uint32_t n)
{
    uint32_t k = n < Left() ? n : Left();
    if (k) std::memcpy(out, data + pos, k);
    pos += k;
    return k;
}

int32_t BitmapFormatFromBitCount(int32_t bits)
{
    switch (bits) {
    case 1: return 1;
    case 4: return 2;
    case 8: return 3;
    case 15: return 4;
    case 16: return 5;
    case 24: return 6;
    default: return 7;
    }
}

int32_t BitmapPitch(int32_t width, int32_t format)
{
    switch (format) {
    case 1: return width / 8;
    case 2: return width / 2;
    case 3: return width;
    case 4:
    case 5: return width * 2;
    case 6: return width * 3;
    default: return width * 4;
    }
}

static int32_t BitCountOf(int32_t format)
{
    static const int32_t kBits[] = {32, 1, 4, 8, 15, 16, 24, 32};
    return (format >= 1 && format <= 7) ? kBits[format] : 32;
}

// A program-built block: 52-byte header and room for the pixels.
static uint8_t* NewBlock(int32_t w, int32_t h, int32_t format, uint32_t pixelBytes, uint32_t* size)
{
    *size = 52 + pixelBytes;
    uint8_t* b = (uint8_t*)MEM_ALLOC_CLEAR(*size);
    Put32(b + 8, 52);
    Put32(b + 12, 40);
    Put32(b + 16, (uint32_t)w);
    Put32(b + 20, (uint32_t)h);
    Put16(b + 24, 1);
    Put16(b + 26, (uint16_t)BitCountOf(format));
    return b;
}

TBitmap* TBitmap::Create() { return new TBitmap(); }

TBitmap::~TBitmap() { MEM_FREE(m_block); }

void TBitmap::SetWidth(int32_t w)
{
    m_width = w;
    m_pitch = BitmapPitch(m_width, m_format);
    ++m_changes;
}

void TBitmap::SetHeight(int32_t h)
{
    m_height = h;
    m_pitch = BitmapPitch(m_width, m_format);
    ++m_changes;
}

void TBitmap::SetPixelFormat(int32_t format)
{
    m_format = format;
    m_pitch = BitmapPitch(m_width, m_format);
    ++m_changes;
}

uint8_t* TBitmap::Lock(int32_t line, uint8_t** linePointer, int32_t* pitch)
{
    if (!m_block) {
        int32_t w = m_width > 0 ? m_width : 0, h = m_height > 0 ? m_height : 0;
        m_pitch = BitmapPitch(w, m_format);
        m_block = NewBlock(w, h, m_format, (uint32_t)m_pitch * (uint32_t)h, &m_blockSize);
        m_pixels = m_block + 52;
    }
    if (pitch) *pitch = m_pitch;
    if (linePointer) *linePointer = m_pixels + (intptr_t)m_pitch * line;
    return m_pixels;
}

void TBitmap::FreeImage()
{
    MEM_FREE(m_block);
    m_block = nullptr;
    m_pixels = nullptr;
    m_blockSize = 0;
    ++m_changes;
}

// Block offsets count from the block's own start (every block here is program-built).
void TBitmap::ParseHeader()
{
    m_pixels = m_block + Get32(m_block + 8);
    m_width = (int32_t)Get32(m_block + 16);
    m_height = (int32_t)Get32(m_block + 20);
    uint16_t bits;
    std::memcpy(&bits, m_block + 26, 2);
    m_format = BitmapFormatFromBitCount(bits);
    m_pitch = BitmapPitch(m_width, m_format);
}

void TBitmap::Assign(IBitmap* source)
{
    FreeImage();
    if (!source) return;
    m_width = source->GetWidth();
    m_height = source->GetHeight();
    m_format = source->GetPixelFormat();
    m_pitch = BitmapPitch(m_width, m_format);
    uint32_t size = 0;
    const uint8_t* block = source->GetBlock(&size);
    if (block && size >= 52) {
        m_block = (uint8_t*)MEM_ALLOC(size);
        std::memcpy(m_block, block, size);
        m_blockSize = size;
        ParseHeader();
    }
    ++m_changes;
}

void TBitmap::AttachBlock(uint8_t* block, uint32_t size)
{
    FreeImage();
    m_block = block;
    m_blockSize = size;
    m_pixels = block + Get32(block + 8);
    m_width = (int32_t)Get32(block + 16);
    m_height = (int32_t)Get32(block + 20);
    m_format = 7;
    m_pitch = m_width * 4;
}

void TBitmap::LoadFromStream(GR_ByteReader* stream)
{
    FreeImage();
    if (!stream || stream->Left() < 2) return;
    const uint8_t* p = stream->data + stream->pos;
    if (p[0] != 'B' || p[1] != 'M') return;
    LoadBMP(p, stream->Left());
}

TBitmap* CStream_ReadBitmap(CStream* stream)
{
    if (!stream || stream->ReadInteger() == 0) return nullptr;
    CStream* block = ZDecompressStream(stream);
    if (!block) return nullptr;
    TBitmap* bitmap = TBitmap::Create();
    bitmap->LoadFromStream(block);
    CStream::Delete(block);
    uint32_t size = 0;
    if (!bitmap->GetBlock(&size) || size == 0) {
        delete bitmap;
        return nullptr;
    }
    return bitmap;
}

void TBitmap::LoadFromStream(CStream* stream)
{
    if (!stream || !stream->GetMemory()) {
        FreeImage();
        return;
    }
    int64_t size = stream->GetSize(), pos = stream->GetPosition();
    if (size > 0xFFFFFFFFll) size = 0xFFFFFFFFll;
    GR_ByteReader r{stream->GetMemory(), (uint32_t)size, (uint32_t)(pos < size ? pos : size)};
    LoadFromStream(&r);
}

bool TBitmap::LoadBMP(const uint8_t* file, uint32_t size)
{
    FreeImage();
    if (!file || size < 54 || file[0] != 'B' || file[1] != 'M') return false;
    uint16_t bits;
    std::memcpy(&bits, file + 28, 2);
    if (bits == 24) {
        // Rows of a BMP file are padded to 4 bytes; in memory they are packed (pitch w * 3).
        GR_Image img;
        if (!GR_Image_DecodeBMP(file, size, &img)) return false;
        m_block = NewBlock(img.width, img.height, 6, (uint32_t)img.width * img.height * 3, &m_blockSize);
        uint8_t* dst = m_block + 52;
        const uint32_t* src = (const uint32_t*)img.data;
        for (int64_t i = 0; i < (int64_t)img.width * img.height; ++i) {
            dst[i * 3] = (uint8_t)src[i];
            dst[i * 3 + 1] = (uint8_t)(src[i] >> 8);
            dst[i * 3 + 2] = (uint8_t)(src[i] >> 16);
        }
        GR_Image_Free(&img);
    } else if (bits == 32) {
        // 32-bit rows keep their fourth byte (alpha) as stored.
        GR_Image img;
        if (!GR_Image_DecodeBMP(file, size, &img)) return false;
        GR_Image_Free(&img);
        uint32_t off = Get32(file + 10);
        int32_t w = (int32_t)Get32(file + 18), hr = (int32_t)Get32(file + 22);
        int32_t h = hr < 0 ? -hr : hr;
        m_block = NewBlock(w, h, 7, (uint32_t)w * h * 4, &m_blockSize);
        for (int32_t y = 0; y < h; ++y)
            std::memcpy(m_block + 52 + (size_t)y * w * 4, file + off + (size_t)(hr < 0 ? y : h - 1 - y) * w * 4,
                        (size_t)w * 4);
    } else {
        // Palette images (1, 4 and 8 bits) become 32-bit with alpha 255; others are refused.
        GR_Image img;
        if (!GR_Image_DecodeBMP(file, size, &img)) return false;
        m_block = NewBlock(img.width, img.height, 7, (uint32_t)img.width * img.height * 4, &m_blockSize);
        std::memcpy(m_block + 52, img.data, (size_t)img.width * img.height * 4);
        GR_Image_Free(&img);
    }
    ParseHeader();
    ++m_changes;
    return true;
}

// ---- BitmapLoader ------------------------------------------------------------------------------
BitmapLoader* BitmapLoader::Create(const void* pixels, int32_t width, int32_t height)
{
    BitmapLoader* l = new BitmapLoader();
    if (!pixels || width < 1 || height < 1) return l;
    uint32_t bytes = (uint32_t)width * (uint32_t)height * 4;
    l->m_block = NewBlock(width, height, 7, bytes, &l->m_blockSize);
    std::memcpy(l->m_block + 52, pixels, bytes);
    l->m_count = 1;
    return l;
}

BitmapLoader::~BitmapLoader() { MEM_FREE(m_block); }

TBitmap* BitmapLoader::GetBitmap(int32_t index)
{
    if (index < 0 || index >= m_count) return nullptr;
    uint8_t* copy = (uint8_t*)MEM_ALLOC(m_blockSize);
    std::memcpy(copy, m_block, m_blockSize);
    TBitmap* b = TBitmap::Create();
    b->AttachBlock(copy, m_blockSize);
    return b;
}

// ---- Built-in images ---------------------------------------------------------------------------
static const uint8_t* g_table = nullptr;

void GR_BuiltinImages_SetTable(const uint8_t* table) { g_table = table; }
const uint8_t* GR_BuiltinImages_GetTable() { return g_table; }

bool GR_BuiltinImages_Get(int32_t index, const uint8_t** data, uint32_t* size)
{
    *data = nullptr;
    *size = 0;
    if (!g_table || index < 0 || (uint32_t)index >= Get32(g_table)) return false;
    *size = Get32(g_table + 4 + index * 8);
    *data = g_table + Get32(g_table + 8 + index * 8);
    return true;
}

TextureRecord* GR_Texture_CreateFromBuiltinImage(int32_t index)
{
    const uint8_t* data;
    uint32_t size;
    GR_BuiltinImages_Get(index, &data, &size);
    TextureInfo info;
    return GR_D3D_CreateTextureFromMemory(data, size, &info, 0);
}
