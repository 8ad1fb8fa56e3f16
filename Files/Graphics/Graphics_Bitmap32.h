// CBitmap32: the program's own editable 32-bit image (pixels 0xAARRGGBB, rows top first, no
// padding). Sprites and backgrounds keep one per frame whenever images are built or edited at
// run time; the texture table uploads it. Converts from and to the platform bitmap TBitmap.
// No host library here (zlib for the compressed stream form).
#pragma once

#include <cstdint>

class IBitmap;
class TBitmap;
struct GR_ByteReader;
class CStream;

class CBitmap32 {
public:
    CBitmap32();
    virtual ~CBitmap32();

    // Constructors (static: each returns a new bitmap, valid or not).
    static CBitmap32* FromStream(GR_ByteReader* stream);
    // The same from a memory stream at its position; the position moves past what was read.
    static CBitmap32* FromStream(CStream* stream);
    static CBitmap32* Copy(const CBitmap32* src);
    static CBitmap32* FromPart(const CBitmap32* src, int32_t x, int32_t y, int32_t w, int32_t h);
    static CBitmap32* FromColour(int32_t w, int32_t h, uint32_t colour);
    static CBitmap32* FromBitmapOpaque(IBitmap* bmp, bool transparent, bool smooth);
    static CBitmap32* FromTBitmap(IBitmap* bmp, bool transparent, bool smooth);
    static CBitmap32* FromAnyBitmap(IBitmap* bmp, bool transparent, bool smooth);
    static CBitmap32* FromImage(IBitmap* bmp, bool transparent, bool smooth, bool keepAlpha);
    static CBitmap32* FromGradient(int32_t w, int32_t h, uint32_t colour1, uint32_t colour2, int32_t kind);

    void Assign(const CBitmap32* other);
    void SetAlphaFrom(const CBitmap32* other);
    // False (and nothing changed) for a size of 0 or below.
    bool Stretch(int32_t newWidth, int32_t newHeight);
    int32_t* OpaqueBounds(); // new i32[4] {left, top, right, bottom}; caller deletes[]
    TBitmap* ToTBitmap24();
    TBitmap* ToTBitmap32();
    void RemoveBackground();
    void FillTransparentColours();
    void SmoothEdges();

    int32_t GetWidth() const { return width; }
    int32_t GetHeight() const { return height; }
    const uint32_t* GetPixels() const { return pixels; }

    uint8_t valid;
    int32_t width, height;
    uint32_t size;     // bytes in the pixel array
    uint32_t* pixels;  // memory-manager block

    // Replaces the pixels with a cleared w x h array; false (nothing changed) when too large.
    bool Allocate(int32_t w, int32_t h);
};

// Per byte: round-to-nearest(a * (1 - t) + b * t) of two script colours.
uint32_t GR_Gradient_MergeColour(uint32_t a, uint32_t b, double t);
