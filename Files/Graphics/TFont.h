// TFont: the platform font behind font_add. It keeps a size, a face name, a height and a style
// and holds an opened face ("handle") that it rebuilds after every setter. Heights follow the
// classic rule: a negative height asks for a character (em) height of |height| pixels, a
// positive one for a cell height (ascent + descent) of height pixels, 0 for the default.
// TFont_Rasterise draws characters first..last of the face into an 8-bit alpha page with a
// glyph table, which the font resource uploads.
//
// Backed by Linux/TFontM.cpp: fontconfig chooses the face (a family such as "Arial" resolves
// to its installed substitute, style bits to weight and slant), FreeType opens and draws it
// (bold and italic are made synthetically when the chosen face lacks them).
#pragma once

#include <cstdint>

struct TFontHandle; // the opened face (Linux/TFontM.cpp)

// ORDER: interface slots.
class IKVFont {
public:
    virtual ~IKVFont() = default;
    virtual int32_t GetSize() = 0;
    virtual void SetSize(int32_t size) = 0;
    // A new copy of the name (memory-manager string the caller frees); null when unset.
    virtual char* GetName() = 0;
    virtual void SetName(const char* name) = 0;
    virtual int32_t GetHeight() = 0;
    virtual void SetHeight(int32_t height) = 0;
    virtual void SetStyle(uint32_t style) = 0; // bit 0 bold, 1 italic, 2 underline, 3 strike-out
    virtual uint32_t GetStyle() = 0;
    virtual void Assign(IKVFont* other) = 0;
    virtual TFontHandle* GetHandle() = 0;
};

class TFont : public IKVFont {
public:
    TFont();
    ~TFont() override;
    TFont(const TFont&) = delete;
    TFont& operator=(const TFont&) = delete;

    int32_t GetSize() override { return m_size; }
    void SetSize(int32_t size) override;
    char* GetName() override;
    void SetName(const char* name) override;
    int32_t GetHeight() override { return m_height; }
    void SetHeight(int32_t height) override;
    void SetStyle(uint32_t style) override;
    uint32_t GetStyle() override { return m_style; }
    void Assign(IKVFont* other) override;
    TFontHandle* GetHandle() override { return m_handle; }

    // Times the face was rebuilt (tests).
    int32_t Rebuilds() const { return m_rebuilds; }

private:
    void Rebuild();

    int32_t m_size = 0;
    char* m_name = nullptr;
    int32_t m_height = 0;
    uint32_t m_style = 0;
    TFontHandle* m_handle = nullptr;
    int32_t m_rebuilds = 0;
};

// The classic height for a point size at 96 dots per inch: -round(size * 96 / 72).
int32_t TFont_HeightForSize(int32_t size);

// ---- Linux/TFontM.cpp -----------------------------------------------------------------------
// Opens the face fontconfig chooses for the name and style at the height; null when no face
// can be opened.
TFontHandle* TFont_OpenHandle(const char* name, int32_t height, uint32_t style);
void TFont_CloseHandle(TFontHandle* handle);
// The chosen face's file and family (for the log and the tests); "" without a handle.
const char* TFont_HandleFile(const TFontHandle* handle);
const char* TFont_HandleFamily(const TFontHandle* handle);
// Pixel size of the em square the handle draws at.
int32_t TFont_HandlePixelSize(const TFontHandle* handle);
// Whether it draws bold: the chosen face is bold, or the regular one is emboldened.
bool TFont_HandleBold(const TFontHandle* handle);

struct TFontGlyph {
    uint16_t character;
    int32_t x, y, width, height; // the glyph's cell on the page
    int32_t shift;               // advance in pixels
    int32_t offset;              // x displacement of the cell from the pen
};

struct TFontRaster {
    int32_t pageWidth = 0, pageHeight = 0, lineHeight = 0;
    uint8_t* page = nullptr;       // pageWidth * pageHeight alpha bytes (memory-manager block)
    uint32_t pageSize = 0;
    TFontGlyph* glyphs = nullptr;  // ascending characters (memory-manager block)
    int32_t glyphCount = 0;
};

// Draws the characters first..last (the face's own ones; characters it lacks are left out)
// into cells as tall as the line, packed row by row on a page at most 4096 pixels square
// (characters that do not fit are left out). False without a handle.
bool TFont_Rasterise(IKVFont* font, int32_t first, int32_t last, TFontRaster* out);
void TFont_FreeRaster(TFontRaster* raster);
