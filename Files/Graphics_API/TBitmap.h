// The platform bitmap TBitmap (interface IBitmap): a BMP-shaped memory block through which
// images cross the program (BMP data of the game file, decoded PNG files wrapped by the
// BitmapLoader, screen and surface grabs, conversions to and from CBitmap32). Also the table
// of images built into the program (particle shapes, the debug font page, a start-up image),
// which Files/Graphics/BuiltinImages.cpp makes at start-up.
//
// Block layout (a BMP file without its two magic bytes): +0 file size, +4 reserved, +8 pixel
// offset from the block's start, +12 a 40-byte BITMAPINFOHEADER (width +16, height +20,
// planes +24, bit count +26, compression +28), +52 pixels, rows top first, no padding.
// No host library here.
#pragma once

#include <cstdint>

class CStream;

// Little-endian byte reader over memory (the stream forms read through it).
struct GR_ByteReader {
    const uint8_t* data;
    uint32_t size;
    uint32_t pos;
    uint32_t Left() const { return pos < size ? size - pos : 0; }
    int32_t ReadInteger(); // 0 past the end
    // Copies up to n bytes; returns the number copied.
    uint32_t ReadBuffer(void* out, uint32_t n);
};

// PixelFormat: 1 = 1 bit, 2 = 4 bits, 3 = 8 bits (palette), 4 = 15 bits, 5 = 16 bits,
// 6 = 24 bits (B, G, R), 7 = 32 bits (B, G, R, A).
int32_t BitmapFormatFromBitCount(int32_t bits);
int32_t BitmapPitch(int32_t width, int32_t format);

class IBitmap {
public:
    virtual ~IBitmap() = default;
    virtual void LoadFromStream(GR_ByteReader* stream) = 0;
    virtual void SetWidth(int32_t w) = 0;
    virtual int32_t GetWidth() = 0;
    virtual void SetHeight(int32_t h) = 0;
    virtual int32_t GetHeight() = 0;
    virtual void SetPixelFormat(int32_t format) = 0;
    virtual int32_t GetPixelFormat() = 0;
    virtual uint8_t* Lock(int32_t line, uint8_t** linePointer, int32_t* pitch) = 0;
    virtual void Unlock(uint8_t* value) = 0;
    virtual void Assign(IBitmap* source) = 0;
    virtual void FreeImage() = 0;
    virtual int32_t GetAuxWord() = 0;
    virtual void AttachBlock(uint8_t* block, uint32_t size) = 0;
    virtual const uint8_t* GetBlock(uint32_t* size) = 0; // the block (for Assign)
};

class TBitmap : public IBitmap {
public:
    static TBitmap* Create();
    ~TBitmap() override;
    void LoadFromStream(GR_ByteReader* stream) override;
    // The same from a memory stream at its position.
    void LoadFromStream(CStream* stream);
    void SetWidth(int32_t w) override;
    int32_t GetWidth() override { return m_width; }
    void SetHeight(int32_t h) override;
    int32_t GetHeight() override { return m_height; }
    void SetPixelFormat(int32_t format) override;
    int32_t GetPixelFormat() override { return m_format; }
    uint8_t* Lock(int32_t line, uint8_t** linePointer, int32_t* pitch) override;
    void Unlock(uint8_t*) override {}
    void Assign(IBitmap* source) override;
    void FreeImage() override;
    int32_t GetAuxWord() override { return m_aux; }
    void AttachBlock(uint8_t* block, uint32_t size) override;
    const uint8_t* GetBlock(uint32_t* size) override
    {
        *size = m_blockSize;
        return m_block;
    }
    // Reads a BMP file (whole, with its "BM"); false when it is refused.
    bool LoadBMP(const uint8_t* file, uint32_t size);
    int32_t GetPitch() const { return m_pitch; }
    int32_t GetChangeCounter() const { return m_changes; }

private:
    TBitmap() = default;
    void ParseHeader();

    uint8_t* m_block = nullptr;
    int32_t m_aux = 0;
    uint8_t* m_pixels = nullptr;
    uint32_t m_blockSize = 0;
    int32_t m_format = 7;
    int32_t m_width = 0, m_height = 0, m_pitch = 0;
    int32_t m_changes = -1;
};

// CStream::ReadBitmap: reads a 32-bit word at the stream's position; 0 gives no bitmap (null);
// otherwise the compressed block after it holds a BMP file, loaded into a new TBitmap that the
// caller deletes. Null when the block is damaged or holds no BMP file.
TBitmap* CStream_ReadBitmap(CStream* stream);

class IBitmapLoader {
public:
    virtual ~IBitmapLoader() = default;
    virtual bool GetFlag() = 0;
    virtual int32_t GetCount() = 0;
    virtual TBitmap* GetBitmap(int32_t index) = 0;
};

class BitmapLoader : public IBitmapLoader {
public:
    // One 32-bit image of w x h pixels copied as given.
    static BitmapLoader* Create(const void* pixels, int32_t width, int32_t height);
    ~BitmapLoader() override;
    bool GetFlag() override { return false; }
    int32_t GetCount() override { return m_count; }
    TBitmap* GetBitmap(int32_t index) override;

private:
    BitmapLoader() = default;
    uint8_t* m_block = nullptr;
    uint32_t m_blockSize = 0;
    int32_t m_count = 0;
};

// ---- Built-in images ------------------------------------------------------------------------
// Table: u32 count, then per image {u32 size, u32 offset from the table's start}, then data.
struct TextureRecord;
void GR_BuiltinImages_SetTable(const uint8_t* table);
const uint8_t* GR_BuiltinImages_GetTable();
// Image index of the table as (data, size); false past the count.
bool GR_BuiltinImages_Get(int32_t index, const uint8_t** data, uint32_t* size);
TextureRecord* GR_Texture_CreateFromBuiltinImage(int32_t index);
// The program's own table (made once; see BuiltinImages.cpp).
const uint8_t* GR_BuiltinImages_Default();
