// Fonts: the CFontZB record (metrics, glyph table sorted by character, its image on a texture
// page or in a texture of its own), the font table (ids grow only), the "FONT" loader with the
// code-point table of font_add_sprite, fonts built at run time from a sprite (one frame per
// character) or from a system typeface (TFont), the built-in debug font, glyph lookup, the
// width rules and the glyph drawing the text layer calls.
//
// Files: Font_Main.cpp (record, table, drawing), Font_Builtins.cpp (font_*). No Linux/ file
// (the system typeface comes through Files/Graphics/TFont).
// Needs: the game-file reader, the texture table and quad back ends, the vertex batch, sprites
// (sprite fonts), TFont, the UTF-8 decoder.
#pragma once

#include <cstdint>

class FileImage;
struct TexturePageEntry;

// One glyph. For a sprite font: x = y = 0, width = frame index, height = sprite height.
struct FontGlyph {
    uint16_t character;
    int32_t x, y, width, height; // its rectangle in the font's image
    int32_t shift;               // advance in pixels at scale 1
    int32_t offset;              // x displacement of the drawn glyph from the pen
};

class CFontZB {
public:
    CFontZB();  // CFontZB::Init
    ~CFontZB();
    CFontZB(const CFontZB&) = delete;
    CFontZB& operator=(const CFontZB&) = delete;

    // Frees the typeface, bitmap, texture and glyphs; size 12, first 32, last 128, sprite -1,
    // line height 0, scales 1, texture -1, no page entry.
    void Clear();
    // One "FONT" entry; false when malformed (the font is then cleared).
    bool LoadFromChunk(const FileImage& image, uint32_t entry, const char** name);
    // The built-in font from the debug page's glyph records {x, y, w, h} and its texture.
    void CreateDefault(const int16_t (*glyphs)[4], int32_t first, int32_t last, int32_t texture);
    void CreateFromSystemFont(const char* typeface, int32_t size, bool bold, bool italic, int32_t first, int32_t last);
    void CreateFromSprite(int32_t sprite, const char* utf8, bool proportional, int32_t separation);
    void InitTexture();
    void FreeTexture();

    const FontGlyph* GetGlyph(uint16_t character) const;
    int32_t GetShift(uint16_t character) const;
    // The sum of the shifts (in 64 bits: it may pass the 32-bit range). A quit request stops
    // the sum part way.
    int64_t TextWidth(const char16_t* text) const;
    int32_t TextHeight() const { return lineHeight; }

    // Drawing of one line of UTF-16 text (angles in degrees, colours 0xBBGGRR, alpha 0..1). A
    // quit request stops a long line part way.
    void Draw(float x, float y, const char16_t* text, uint32_t colour, float alpha) const;
    void DrawTransformed(float x, float y, const char16_t* text, float xscale, float yscale, float angle,
                         uint32_t colour, float alpha) const;
    void DrawColour(float x, float y, const char16_t* text, uint32_t c1, uint32_t c2, uint32_t c3, uint32_t c4,
                    float alpha) const;
    void DrawTransformedColour(float x, float y, const char16_t* text, float xscale, float yscale, float angle,
                               uint32_t c1, uint32_t c2, uint32_t c3, uint32_t c4, float alpha) const;

    const char* GetName() const { return typeface; }
    int32_t GetSize() const { return size; }
    bool GetBold() const { return bold != 0; }
    bool GetItalic() const { return italic != 0; }
    int32_t GetFirst() const { return first; }
    int32_t GetLast() const { return last; }

    // ORDER: as the record is described.
    char* typeface;    // owned; "debug" for the built-in font
    int32_t size;
    uint8_t bold, italic;
    int32_t charset;
    int32_t antialias;
    int32_t first, last;
    int32_t sprite;    // sprite index of a sprite font, -1 for a glyph font
    int32_t pageWidth, pageHeight;
    int32_t lineHeight; // tallest glyph: the height of every text line
    uint32_t bitmapSize;
    uint8_t* bitmap;    // 8-bit alpha glyph image (system fonts), owned
    int32_t texture;    // own glyph texture, -1 = none
    TexturePageEntry* pageEntry;
    int32_t glyphCount;
    FontGlyph* glyphs;  // ascending characters (owned)
    float xScale, yScale;
    uint8_t ownsPageEntry; // the built-in font's entry is made in memory

private:
    void DrawLine(float x, float y, const char16_t* text, float xs, float ys, uint32_t colour, float alpha) const;
    void DrawSpriteLine(float x, float y, const char16_t* text, float xs, float ys, float angle, uint32_t colour,
                        float alpha) const;
    void SortGlyphs();
};

bool Font_Load(const FileImage& image, uint32_t begin, uint32_t end);
void Font_Clear();
void Font_Free();
void Font_InitTextures();
bool Font_Exists(int32_t index);
CFontZB* Font_Data(int32_t index);
const char* Font_GetName(int32_t index);
int32_t Font_Find(const char* name);
int32_t Font_Count();
int32_t Font_Add(const char* typeface, int32_t size, bool bold, bool italic, int32_t first, int32_t last);
int32_t Font_AddSprite(int32_t sprite, int32_t first, bool proportional, int32_t separation);
int32_t Font_AddSpriteExt(int32_t sprite, const char* utf8, bool proportional, int32_t separation);
bool Font_Replace(int32_t index, const char* typeface, int32_t size, bool bold, bool italic, int32_t first,
                  int32_t last);
bool Font_ReplaceSprite(int32_t index, int32_t sprite, int32_t first, bool proportional, int32_t separation);
bool Font_ReplaceSpriteExt(int32_t index, int32_t sprite, const char* utf8, bool proportional, int32_t separation);
bool Font_Delete(int32_t index);
// The code point of an 8-bit character for font_add_sprite (the game file's table; itself
// when no game file gave one).
uint16_t Font_CodePoint(int32_t index);

// Registers the font built-ins.
void Font_RegisterBuiltins();
