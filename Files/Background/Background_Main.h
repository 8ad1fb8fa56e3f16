// Backgrounds: full-image resources (room backgrounds, tile sheets, images of the
// draw_background* built-ins). Game-file backgrounds draw from their texture-page entry
// (Graphics_PageEntries, not owned); those made or edited at run time own a CBitmap32 and a
// texture of their own. Owns the CBackground record, the background table (ids grow only, a
// deleted id stays empty), the "BGND" loader, file loading, duplicates, grabs, colours and
// gradients, and the background drawing operations.
//
// Files: Background_Main.cpp (record, table, drawing), Background_Builtins.cpp (background_*,
// draw_background*, action_draw_background). No Linux/ file.
// Needs: the game-file reader, the texture table and quad back ends, CBitmap32/TBitmap, the
// PNG codec, read-back, the save-area file access.
#pragma once

#include <cstdint>

class CBitmap32;
class FileImage;
class IBitmap;
struct TexturePageEntry;

class CBackground {
public:
    CBackground();  // CBackground::Init
    ~CBackground();
    CBackground(const CBackground&) = delete;
    CBackground& operator=(const CBackground&) = delete;

    // Deletes the bitmap, zeroes the size and flags, forgets the page entry, frees the texture.
    void Reset();
    void FreeTexture();
    // The page-entry handle when there is a page entry, else the texture id.
    int64_t GetTexture() const;
    void InitTexture();
    // One "BGND" entry; false when malformed (the record is then reset).
    bool LoadFromChunk(const FileImage& image, uint32_t entry, const char** name);
    void Assign(const CBackground* other);
    // Reads the page-entry image back into a bitmap of the background's size (the stored
    // rectangle at its offset); false without a page entry's pixels or with a bitmap already.
    bool Duplicate();
    void SetFromBitmap(IBitmap* bitmap, bool transparent, bool smooth, bool preload, bool keepAlpha);
    void CreateColor(int32_t w, int32_t h, uint32_t colour, bool preload);
    void CreateGradient(int32_t w, int32_t h, uint32_t colour1, uint32_t colour2, int32_t kind, bool preload);
    void SetAlphaFromBackground(const CBackground* other);
    // Reads a PNG file by its game name (save area, else program folder); false (record
    // unchanged) when it is missing or not a PNG image.
    bool LoadFromFile(const char* name, bool transparent, bool smooth, bool preload, bool keepAlpha);

    int32_t GetWidth() const { return width; }
    int32_t GetHeight() const { return height; }
    bool GetTransparent() const { return transparent != 0; }
    bool GetSmooth() const { return smooth != 0; }
    bool GetPreload() const { return preload != 0; }

    // Drawing (angles in degrees, colours 0xBBGGRR, alpha 0..1).
    void Draw(float x, float y) const;
    void DrawExt(float x, float y, float xscale, float yscale, float angle, uint32_t colour, float alpha) const;
    void DrawStretched(float x, float y, float w, float h, uint32_t colour, float alpha) const;
    void DrawPart(float left, float top, float w, float h, float x, float y, float xscale, float yscale,
                  uint32_t colour, float alpha) const;
    void DrawGeneral(float left, float top, float w, float h, float x, float y, float xscale, float yscale,
                     float angle, uint32_t c1, uint32_t c2, uint32_t c3, uint32_t c4, float alpha) const;
    void DrawTiled(float x, float y, float xscale, float yscale, bool htiled, bool vtiled, float viewX, float viewY,
                   float viewW, float viewH, uint32_t colour, float alpha) const;

    // ORDER: as the record is described.
    int32_t width, height;
    uint8_t transparent; // the bottom-left colour becomes transparent when built from an image
    uint8_t smooth;      // edges next to transparent pixels are softened
    uint8_t preload;     // the texture is made resident when created
    int32_t texture;     // own texture id, -1 = none
    CBitmap32* bitmap;   // owned; null for game-file backgrounds
    TexturePageEntry* pageEntry; // the game file's; null with an own bitmap
};

bool Background_Load(const FileImage& image, uint32_t begin, uint32_t end);
void Background_Clear();
void Background_InitTextures();
bool Background_Exists(int32_t index);
CBackground* Background_Data(int32_t index);
const char* Background_GetName(int32_t index);
int32_t Background_Find(const char* name);
int32_t Background_Count();
int32_t Background_AddEmpty();
int32_t Background_Add(const char* name, bool transparent, bool smooth, bool preload);
bool Background_Replace(int32_t index, const char* name, bool transparent, bool smooth, bool preload);
int32_t Background_AddAlpha(const char* name, bool preload);
bool Background_ReplaceAlpha(int32_t index, const char* name, bool preload);
bool Background_Delete(int32_t index);
int32_t Background_Duplicate(int32_t index);
bool Background_Assign(int32_t dest, int32_t src);
void Background_DeleteAll();
void Background_Free();

// Registers the background built-ins, draw_background* and action_draw_background.
void Background_RegisterBuiltins();
