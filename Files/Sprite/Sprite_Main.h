// Sprites: the CSprite record (frames, origin, bounding box and radius, collision masks,
// textures and page entries), the sprite table, the "SPRT" chunk loader, every way a sprite is
// filled at run time (PNG files, URLs, screen and surface grabs, duplicates, merges,
// assignments), the collision-mask tests the instance code calls, and sprite drawing.
//
// Frames of game-file sprites live on texture pages and draw through the page entries of
// Graphics_PageEntries (not owned); run-time frames are CBitmap32 images, one texture each,
// drawn through page entries the sprite makes and owns (local page entries).
//
// Files: Sprite_Main.cpp (record, table, loading, filling), Sprite_Collision.cpp (boxes,
// masks, the five tests), Sprite_Draw.cpp (drawing and view culling), Sprite_Builtins.cpp
// (sprite_* and draw_sprite*). No Linux/ file.
// Needs: the game-file reader, the texture table and quad back ends, CBitmap32/TBitmap, the
// PNG decoder, read-back, surfaces, the save-area file access (LoadSave), the run-time error
// reporter.
#pragma once

#include <cstdint>

class CBitmap32;
class FileImage;
class TBitmap;
struct TexturePageEntry;

// The largest frame side the "SPRT" loader accepts (the bitmap and texture limits lie there).
constexpr int32_t SPRITE_MAX_SIDE = 16384;

// An instance's bounding box in room pixels, inclusive.
struct SpriteBox {
    int32_t left, top, right, bottom;
};

// One collision mask: width x height bytes, row-major, 1 solid, 0 empty.
struct SpriteMask {
    uint32_t size;
    uint8_t* bytes; // memory-manager block
};

// The collision mask of a frame bitmap in a sprite of width x height (1 where alpha is above
// 0); all 0 without a bitmap.
SpriteMask Sprite_MaskOf(const CBitmap32* b, int32_t width, int32_t height);

class CSprite {
public:
    CSprite();          // CSprite::Init
    virtual ~CSprite(); // CSprite::Clear
    CSprite(const CSprite&) = delete;
    CSprite& operator=(const CSprite&) = delete;

    // Every array freed, counts 0, box 0,0,0,0, origin 0,0, size 1 x 1, box mode 0, smooth 0,
    // transparent 1, preload 1, precise 1, no masks, no local page entries.
    void Clear();

    // ---- Loading and filling ----------------------------------------------------------------
    // One "SPRT" entry at file offset `entry`; false when the record is malformed (the sprite is
    // then cleared).
    bool LoadFromChunk(const FileImage& image, uint32_t entry, const char** name);
    // Reads a file from the save area or else the program folder (by its game name).
    bool LoadFromFile(const char* name, int32_t imageCount, bool precise, bool transparent, bool smooth,
                      int32_t xOrigin, int32_t yOrigin, bool keepAlpha);
    // Decodes PNG data and fills the sprite; false (sprite unchanged) when it does not decode.
    bool LoadFromImageData(const void* data, uint32_t size, int32_t imageCount, bool precise, bool transparent,
                           bool smooth, int32_t xOrigin, int32_t yOrigin, bool keepAlpha);
    // A horizontal strip cut into imageCount frames (below 1 counts as 1; more frames than
    // the strip has columns are clamped to its width, so no frame is empty).
    void LoadStrip(TBitmap* image, bool transparent, bool smooth, int32_t imageCount, bool keepAlpha);
    void CreateFromScreen(TBitmap* image, bool precise, bool transparent, bool smooth, bool preload,
                          int32_t xOrigin, int32_t yOrigin, bool keepAlpha);
    // False (nothing changed) when earlier game-file frames could not be read back.
    bool AddFrameFromScreen(TBitmap* image, bool transparent, bool smooth, bool keepAlpha);
    void Assign(const CSprite* other);
    // False with the run-time error reported when either sprite lacks frame bitmaps.
    bool Merge(const CSprite* other);
    void SetAlphaFromSprite(const CSprite* other);
    // Reads game-file frames back into frame bitmaps of the sprite's size.
    bool BitmapsFromTextures();
    void InitTextures();
    void InitLocalTPE();
    void FreeTextures();
    // Page-entry handle or texture id for sprite_get_texture; -1 without frames.
    int64_t GetTexture(int32_t frame) const;
    // A 32-bit copy of frame bitmap `frame`; null out of range or without bitmaps.
    TBitmap* GetFrameTBitmap(int32_t frame) const;
    // {left, top, right, bottom} of a frame (new int32_t[4], caller deletes[]).
    int32_t* GetFrameBox(int32_t frame) const;
    bool HasFileFrames() const { return pageEntries != nullptr && !localPageEntries; }

    // ---- Boxes and masks (Sprite_Collision.cpp) ------------------------------------------------
    void ComputeBoundingBox();
    void CreateMask();
    void FreeMasks();
    void SetBBoxMode(int32_t mode);
    void SetBBox(const SpriteBox& box);
    void SetPrecise(bool on);
    // The tests of the instance code (positions are integers, angles degrees). A zero scale
    // collides with nothing; a frame index wraps modulo the mask count.
    bool CheckSpriteCollision(int32_t frame, const SpriteBox& box, int32_t x, int32_t y, float xscale, float yscale,
                              float angle, const CSprite* other, int32_t otherFrame, const SpriteBox& otherBox,
                              int32_t otherX, int32_t otherY, float otherXScale, float otherYScale,
                              float otherAngle) const;
    bool CheckPointCollision(int32_t frame, const SpriteBox& box, int32_t x, int32_t y, float xscale, float yscale,
                             float angle, int32_t px, int32_t py) const;
    bool CheckMaskCollision(int32_t frame, const SpriteBox& box, int32_t x, int32_t y, float xscale, float yscale,
                            float angle, const SpriteBox& rect) const;
    bool CheckEllipseCollision(int32_t frame, const SpriteBox& box, int32_t x, int32_t y, float xscale,
                               float yscale, float angle, const SpriteBox& rect) const;
    bool CheckLineCollision(int32_t frame, const SpriteBox& box, int32_t x, int32_t y, float xscale, float yscale,
                            float angle, int32_t x1, int32_t y1, int32_t x2, int32_t y2) const;
    // The mask byte of frame at pixel (px, py); 1 without masks; 0 outside the frame.
    uint8_t MaskAt(int32_t frame, int32_t px, int32_t py) const;

    // ---- Drawing (Sprite_Draw.cpp; angles in degrees, colours 0xBBGGRR, alpha 0..1) ------------
    void Draw(int32_t frame, float x, float y, float xscale, float yscale, float angle, uint32_t colour,
              float alpha) const;
    void DrawSimple(int32_t frame, float x, float y) const;
    void DrawStretched(int32_t frame, float x, float y, float width, float height, uint32_t colour,
                       float alpha) const;
    void DrawPart(int32_t frame, float left, float top, float width, float height, float x, float y, float xscale,
                  float yscale, uint32_t colour, float alpha) const;
    void DrawGeneral(int32_t frame, float left, float top, float width, float height, float x, float y,
                     float xscale, float yscale, float angle, uint32_t c1, uint32_t c2, uint32_t c3, uint32_t c4,
                     float alpha) const;
    void DrawTiled(int32_t frame, float x, float y, float xscale, float yscale, bool htiled, bool vtiled,
                   float areaLeft, float areaTop, float areaWidth, float areaHeight, uint32_t colour,
                   float alpha) const;
    void DrawPos(int32_t frame, float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                 float alpha) const;
    // Frame index wrapped modulo the frame count (0 without frames).
    int32_t WrapFrame(int32_t frame) const;

    // ---- Fields (ORDER: as the record is described) ------------------------------------------
    int32_t bboxMode;   // 0 automatic, 1 full image, 2 manual
    int32_t bboxLeft, bboxTop, bboxRight, bboxBottom; // frame pixels, inclusive
    int32_t frameCount;
    int32_t width, height;
    int32_t xOrigin, yOrigin;
    int32_t boundingRadius; // pixels from the origin to the farthest frame corner, rounded up
    uint8_t precise;        // per-pixel collision wanted
    uint8_t masksBuilt;     // the mask array holds valid masks
    uint8_t transparent;
    uint8_t smooth;
    uint8_t preload;
    uint8_t localPageEntries; // the page entries are the sprite's own
    int32_t maskCount;
    SpriteMask* masks;
    int32_t bitmapCount;
    CBitmap32** bitmaps;
    int32_t textureCount;
    int32_t* textures;          // texture ids, -1 = none
    TexturePageEntry** pageEntries; // frameCount entries; the array is always the sprite's own
    // The masks the game file gave (kept so that switching precise collision off and on
    // again brings them back; they cannot be rebuilt without frame bitmaps).
    int32_t fileMaskCount;
    SpriteMask* fileMasks;
};

// ---- The sprite table ------------------------------------------------------------------------
bool Sprite_Load(const FileImage& image, uint32_t begin, uint32_t end);
void Sprite_Clear();
void Sprite_Free();
void Sprite_DeleteAll();
void Sprite_InitTextures();
bool Sprite_Exists(int32_t index);
CSprite* Sprite_Data(int32_t index);
const char* Sprite_GetName(int32_t index);
int32_t Sprite_Find(const char* name);
int32_t Sprite_Count();
int32_t Sprite_Add(const char* name, int32_t imageCount, bool precise, bool transparent, bool smooth, bool preload,
                   int32_t xOrigin, int32_t yOrigin);
int32_t Sprite_AddAlpha(const char* name, int32_t imageCount, bool precise, bool preload, int32_t xOrigin,
                        int32_t yOrigin);
bool Sprite_Replace(int32_t index, const char* name, int32_t imageCount, bool precise, bool transparent,
                    bool smooth, bool preload, int32_t xOrigin, int32_t yOrigin);
bool Sprite_ReplaceAlpha(int32_t index, const char* name, int32_t imageCount, bool precise, bool preload,
                         int32_t xOrigin, int32_t yOrigin);
int32_t Sprite_AddEmpty();
bool Sprite_Delete(int32_t index);
int32_t Sprite_Duplicate(int32_t index);
bool Sprite_Assign(int32_t dest, int32_t src);

// ---- Loading from a URL ----------------------------------------------------------------------
// The record a sprite download carries (owned by its request).
struct SpriteAsyncRequest {
    int32_t index, imageCount, xOrigin, yOrigin;
    uint32_t flags; // bit 0 precise, 1 transparent, 2 smooth, 3 preload
};
// What a finished download hands over, and the result the "image loaded" event (60) gets as
// its map: "filename" (the URL), "id" (the sprite index), "status" (0 loaded, -1 failed).
struct SpriteAsyncReply {
    const char* url;
    const uint8_t* data;
    int32_t received; // bytes; below 1 means nothing arrived
};
struct SpriteAsyncResult {
    const char* filename;
    int32_t id;
    int32_t status;
};
// The request service of the HTTP layer: queues a GET of the URL (kind 5) whose completion is
// Sprite_AsyncLoaded and whose discarding frees the record with Sprite_AsyncFree; false when
// it could not be queued. Installed by the HTTP layer; until then URL sprites stay empty.
using SpriteHttpGet = bool (*)(const char* url, int32_t kind, SpriteAsyncRequest* record);
void Sprite_SetHttpGet(SpriteHttpGet get);
// Fills the sprite from the reply and the result; returns the event number (60).
int32_t Sprite_AsyncLoaded(const SpriteAsyncReply& reply, SpriteAsyncRequest* record, SpriteAsyncResult* result);
void Sprite_AsyncFree(SpriteAsyncRequest* record);

// ---- Drawing state ---------------------------------------------------------------------------
// The room rectangle being drawn (set by the room drawing for each view); sprites outside it
// by more than their bounding radius are skipped. Without a room nothing is culled.
void Sprite_SetDrawRect(float left, float top, float right, float bottom);
void Sprite_ResetDrawRect();

// Registers the sprite built-ins and draw_sprite*.
void Sprite_RegisterBuiltins();
