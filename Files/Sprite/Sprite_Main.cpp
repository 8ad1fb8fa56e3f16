// The sprite record, the sprite table, the "SPRT" loader and every way a sprite is filled
// (see Sprite_Main.h). No host library here.
//
// [SECTION] Record
// [SECTION] Loading from the game file
// [SECTION] Loading images
// [SECTION] Copies, merges and grabs
// [SECTION] Textures and page entries
// [SECTION] Table
// [SECTION] Loading from a URL
#include "Files/Sprite/Sprite_Main.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "Files/Base/Console.h"
#include "Files/Code/Code_Error.h"
#include "Files/Graphics/Graphics_Bitmap32.h"
#include "Files/Graphics/Graphics_PageEntries.h"
#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics/ResourceTable.h"
#include "Files/Graphics_API/Graphics_PNG.h"
#include "Files/Graphics_API/Graphics_ReadBack.h"
#include "Files/Graphics_API/TBitmap.h"
#include "Files/Support/FileImage.h"
#include "Files/Support/LoadSave.h"
#include "Platform/MemoryManager.h"

namespace {

void FreeMaskArray(SpriteMask*& masks, int32_t& count)
{
    for (int32_t i = 0; i < count; ++i) MEM_FREE(masks[i].bytes);
    MEM_FREE(masks);
    masks = nullptr;
    count = 0;
}

SpriteMask* CopyMaskArray(const SpriteMask* from, int32_t count)
{
    if (!from || count <= 0) return nullptr;
    SpriteMask* out = (SpriteMask*)MEM_ALLOC(sizeof(SpriteMask) * (size_t)count);
    for (int32_t i = 0; i < count; ++i) {
        out[i].size = from[i].size;
        out[i].bytes = (uint8_t*)MEM_ALLOC(from[i].size ? from[i].size : 1);
        if (from[i].size) std::memcpy(out[i].bytes, from[i].bytes, from[i].size);
    }
    return out;
}

// Room in a memory-manager array for n elements, keeping what it holds: the block doubles
// when it is full, so appending one element at a time stays linear.
template <class T>
void GrowFor(T*& array, int32_t n)
{
    const uint64_t need = sizeof(T) * (uint64_t)n;
    if (array && MemoryManager::GetSize(array) >= need) return;
    array = (T*)MEM_REALLOC(array, need < 64 ? 64 : need * 2);
}

void FreeLocalEntries(TexturePageEntry**& entries, int32_t count)
{
    for (int32_t i = 0; i < count; ++i) {
        GR_TPE_Unregister(entries[i]);
        MEM_FREE(entries[i]);
    }
    MEM_FREE(entries);
    entries = nullptr;
}

// A page entry of the sprite's own: the whole bitmap on its own texture.
TexturePageEntry* LocalEntry(const CBitmap32* b, int32_t texture)
{
    TexturePageEntry* e = (TexturePageEntry*)MEM_ALLOC_CLEAR(sizeof(TexturePageEntry));
    const int16_t w = (int16_t)(b ? b->width : 0), h = (int16_t)(b ? b->height : 0);
    *e = TexturePageEntry{0, 0, w, h, 0, 0, w, h, w, h, (int16_t)(texture & 0xFFFF)};
    if (texture < 0) e->texturePage = -1;
    return e;
}

} // namespace

// ============================================================================================
// [SECTION] Record
// ============================================================================================
CSprite::CSprite()
{
    maskCount = 0;
    masks = nullptr;
    masksBuilt = 0;
    bitmapCount = 0;
    bitmaps = nullptr;
    textureCount = 0;
    textures = nullptr;
    pageEntries = nullptr;
    localPageEntries = 0;
    fileMaskCount = 0;
    fileMasks = nullptr;
    frameCount = 0;
    Clear();
}

CSprite::~CSprite() { Clear(); }

void CSprite::Clear()
{
    FreeTextures();
    for (int32_t i = 0; i < bitmapCount; ++i) delete bitmaps[i];
    MEM_FREE(bitmaps);
    bitmaps = nullptr;
    bitmapCount = 0;
    if (localPageEntries) FreeLocalEntries(pageEntries, frameCount);
    MEM_FREE(pageEntries);
    pageEntries = nullptr;
    localPageEntries = 0;
    FreeMasks();
    FreeMaskArray(fileMasks, fileMaskCount);
    frameCount = 0;
    bboxLeft = bboxTop = bboxRight = bboxBottom = 0;
    xOrigin = yOrigin = 0;
    width = height = 1;
    boundingRadius = 0;
    bboxMode = 0;
    smooth = 0;
    transparent = 1;
    preload = 1;
    precise = 1;
}

int32_t CSprite::WrapFrame(int32_t frame) const
{
    if (frameCount <= 0) return 0;
    int32_t f = frame % frameCount;
    return f < 0 ? f + frameCount : f;
}

// ============================================================================================
// [SECTION] Loading from the game file
// ============================================================================================
bool CSprite::LoadFromChunk(const FileImage& image, uint32_t entry, const char** name)
{
    Clear();
    FileCursor c(image, entry, image.Size());
    const char* n = c.StringRef();
    const int32_t w = c.I32(), h = c.I32();
    const int32_t left = c.I32(), right = c.I32(), bottom = c.I32(), top = c.I32();
    const uint32_t tr = c.U32(), sm = c.U32(), pl = c.U32();
    const int32_t mode = c.I32();
    const uint32_t pr = c.U32();
    const int32_t ox = c.I32(), oy = c.I32();
    const uint32_t frames = c.U32();
    if (!c.ok() || w < 1 || h < 1 || w > SPRITE_MAX_SIDE || h > SPRITE_MAX_SIDE || !c.FitsCount(frames, 4)) return false;
    std::vector<TexturePageEntry*> entries(frames, nullptr);
    for (uint32_t i = 0; i < frames; ++i) {
        entries[i] = GR_FilePageEntry(image, c.U32());
        if (!entries[i]) return false; // every frame names a page entry inside the file
    }
    const uint32_t maskTotal = c.U32();
    const uint64_t rowBytes = (uint64_t)(w + 7) / 8, storedBytes = rowBytes * (uint64_t)h;
    if (!c.ok() || !c.FitsCount(maskTotal, (uint32_t)storedBytes)) return false;
    std::vector<SpriteMask> loaded;
    loaded.reserve(maskTotal);
    for (uint32_t m = 0; m < maskTotal; ++m) {
        const uint8_t* stored = image.Bytes(c.Pos(), (uint32_t)storedBytes);
        if (!stored || !c.Skip((uint32_t)storedBytes)) {
            for (SpriteMask& k : loaded) MEM_FREE(k.bytes);
            return false;
        }
        SpriteMask mask{(uint32_t)w * (uint32_t)h, nullptr};
        mask.bytes = (uint8_t*)MEM_ALLOC(mask.size);
        // Each row: (width + 7) / 8 bytes, the leftmost pixel in the top bit; set = solid.
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* row = stored + (size_t)y * rowBytes;
            uint8_t* out = mask.bytes + (size_t)y * (size_t)w;
            for (int32_t x = 0; x < w; ++x) out[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
        }
        loaded.push_back(mask);
    }
    width = w;
    height = h;
    bboxLeft = left;
    bboxTop = top;
    bboxRight = right;
    bboxBottom = bottom;
    transparent = tr != 0;
    smooth = sm != 0;
    preload = pl != 0;
    bboxMode = mode;
    precise = pr != 0;
    xOrigin = ox;
    yOrigin = oy;
    frameCount = (int32_t)frames;
    if (frames > 0) {
        pageEntries = (TexturePageEntry**)MEM_ALLOC(sizeof(TexturePageEntry*) * frames);
        std::memcpy(pageEntries, entries.data(), sizeof(TexturePageEntry*) * frames);
    }
    if (maskTotal > 0) {
        fileMaskCount = (int32_t)maskTotal;
        fileMasks = (SpriteMask*)MEM_ALLOC(sizeof(SpriteMask) * maskTotal);
        std::memcpy(fileMasks, loaded.data(), sizeof(SpriteMask) * maskTotal);
        masks = fileMasks; // the working masks are the file's own until something rebuilds them
        maskCount = fileMaskCount;
        masksBuilt = 1;
    }
    // Only the radius: the box is kept as the file gives it.
    const int32_t mode2 = bboxMode;
    bboxMode = 2;
    ComputeBoundingBox();
    bboxMode = mode2;
    if (name) *name = n;
    return true;
}

// ============================================================================================
// [SECTION] Loading images
// ============================================================================================
bool CSprite::LoadFromFile(const char* name, int32_t imageCount, bool precise_, bool transparent_, bool smooth_,
                           int32_t xOrigin_, int32_t yOrigin_, bool keepAlpha)
{
    if (!name) return false;
    int32_t size = 0;
    uint8_t* data = LoadSave_ReadGameFile(name, &size);
    if (!data) return false;
    bool ok = size > 0 && LoadFromImageData(data, (uint32_t)size, imageCount, precise_, transparent_, smooth_,
                                            xOrigin_, yOrigin_, keepAlpha);
    MEM_FREE(data);
    return ok;
}

bool CSprite::LoadFromImageData(const void* data, uint32_t size, int32_t imageCount, bool precise_,
                                bool transparent_, bool smooth_, int32_t xOrigin_, int32_t yOrigin_, bool keepAlpha)
{
    int32_t w = 0, h = 0;
    uint32_t* pixels = data && size ? GR_PNG_DecodeToBlock(data, size, &w, &h) : nullptr;
    if (!pixels) return false;
    BitmapLoader* loader = BitmapLoader::Create(pixels, w, h);
    MEM_FREE(pixels);
    // PNG data always gives one image: a strip.
    LoadStrip(loader->GetBitmap(0), transparent_, smooth_, imageCount, keepAlpha);
    delete loader;
    precise = precise_ ? 1 : 0;
    bboxMode = 0;
    preload = 1;
    xOrigin = xOrigin_;
    yOrigin = yOrigin_;
    InitTextures();
    InitLocalTPE();
    ComputeBoundingBox();
    CreateMask();
    return true;
}

void CSprite::LoadStrip(TBitmap* image, bool transparent_, bool smooth_, int32_t imageCount, bool keepAlpha)
{
    TConsole* out = Console_Debug();
    out->Output("calling pLoader->Create\n");
    out->Output("calling Clear()\n");
    Clear();
    transparent = transparent_ ? 1 : 0;
    smooth = smooth_ ? 1 : 0;
    if (!image) {
        out->Output("CSprite::LoadStrip :: Unable to load sprite data\n");
        return;
    }
    out->Output("About to get widths and heights\n");
    const int32_t iw = image->GetWidth(), ih = image->GetHeight();
    int32_t count = imageCount < 1 ? 1 : imageCount;
    if (iw >= 1 && count > iw) count = iw; // no frame narrower than one pixel
    out->Output("TBitmap has w=%d, h=%d\n", iw, ih);
    CBitmap32* strip = keepAlpha ? CBitmap32::FromTBitmap(image, false, false)
                                 : CBitmap32::FromAnyBitmap(image, transparent_, smooth_);
    delete image;
    if (!strip->valid || strip->width < 1 || strip->height < 1) {
        delete strip;
        return;
    }
    const int32_t fw = strip->width / count, fh = strip->height;
    frameCount = bitmapCount = count;
    bitmaps = (CBitmap32**)MEM_ALLOC(sizeof(CBitmap32*) * (size_t)count);
    for (int32_t i = 0; i < count; ++i) bitmaps[i] = CBitmap32::FromPart(strip, i * fw, 0, fw, fh);
    width = fw;
    height = fh;
    delete strip;
}

// ============================================================================================
// [SECTION] Copies, merges and grabs
// ============================================================================================
static CBitmap32* ConvertGrab(TBitmap* image, bool transparent, bool smooth, bool keepAlpha)
{
    return keepAlpha ? CBitmap32::FromTBitmap(image, false, false) : CBitmap32::FromAnyBitmap(image, transparent, smooth);
}

void CSprite::CreateFromScreen(TBitmap* image, bool precise_, bool transparent_, bool smooth_, bool preload_,
                               int32_t xOrigin_, int32_t yOrigin_, bool keepAlpha)
{
    Clear();
    transparent = transparent_ ? 1 : 0;
    smooth = smooth_ ? 1 : 0;
    preload = preload_ ? 1 : 0;
    precise = precise_ ? 1 : 0;
    xOrigin = xOrigin_;
    yOrigin = yOrigin_;
    bboxMode = 0;
    if (!image) return;
    CBitmap32* b = ConvertGrab(image, transparent_, smooth_, keepAlpha);
    if (!b->valid) {
        delete b;
        return;
    }
    width = b->width;
    height = b->height;
    frameCount = bitmapCount = 1;
    bitmaps = (CBitmap32**)MEM_ALLOC(sizeof(CBitmap32*));
    bitmaps[0] = b;
    TConsole* out = Console_Debug();
    out->Output("Init Texture\n");
    InitTextures();
    out->Output("Init local TPE\n");
    InitLocalTPE();
    out->Output("Compute Bounding Box\n");
    ComputeBoundingBox();
    out->Output("Create Mask\n");
    CreateMask();
}

// Drops game-file page entries (the records belong to the game file) after their frames
// became bitmaps.
static void DropFileEntries(CSprite* s)
{
    if (!s->HasFileFrames()) return;
    MEM_FREE(s->pageEntries);
    s->pageEntries = nullptr;
}

bool CSprite::AddFrameFromScreen(TBitmap* image, bool transparent_, bool smooth_, bool keepAlpha)
{
    if (!image) return false;
    // Frames on the game file's texture pages become bitmaps first; the file's page entries
    // are never freed.
    if (HasFileFrames()) {
        if (!BitmapsFromTextures()) return false;
        DropFileEntries(this);
    }
    CBitmap32* b = ConvertGrab(image, transparent_, smooth_, keepAlpha);
    if (!b->valid) {
        delete b;
        return false;
    }
    if (frameCount == 0) {
        width = b->width;
        height = b->height;
    }
    if (!b->Stretch(width, height)) {
        delete b;
        return false;
    }
    // A sprite whose every frame has its bitmap, texture and page entry (and mask, when it
    // has masks) gets the new frame's alone; the others stay as they are.
    const bool precise_ = precise == 1 && transparent == 1;
    if (frameCount > 0 && bitmapCount == frameCount && textureCount == frameCount && localPageEntries &&
        (precise_ ? masksBuilt && masks != fileMasks && maskCount == frameCount : maskCount == 0)) {
        GrowFor(bitmaps, bitmapCount + 1);
        bitmaps[bitmapCount++] = b;
        GrowFor(textures, textureCount + 1);
        textures[textureCount] = GR_Texture_CreateFromBitmap(b);
        if (preload && textures[textureCount] >= 0) GR_Texture_Preload(textures[textureCount]);
        ++textureCount;
        GrowFor(pageEntries, frameCount + 1);
        pageEntries[frameCount] = LocalEntry(b, textures[frameCount]);
        if (precise_) {
            GrowFor(masks, maskCount + 1);
            masks[maskCount++] = Sprite_MaskOf(b, width, height);
        }
        ++frameCount;
        if (bboxMode == 0 && transparent) {
            int32_t* box = b->OpaqueBounds();
            if (box[0] <= box[2] && box[1] <= box[3]) {
                bboxLeft = std::min(bboxLeft, box[0]);
                bboxTop = std::min(bboxTop, box[1]);
                bboxRight = std::max(bboxRight, box[2]);
                bboxBottom = std::max(bboxBottom, box[3]);
            }
            delete[] box;
        }
        return true;
    }
    FreeTextures();
    if (localPageEntries) FreeLocalEntries(pageEntries, frameCount);
    localPageEntries = 0;
    bitmaps = (CBitmap32**)MEM_REALLOC(bitmaps, sizeof(CBitmap32*) * (size_t)(bitmapCount + 1));
    bitmaps[bitmapCount++] = b;
    frameCount = bitmapCount;
    InitTextures();
    InitLocalTPE();
    ComputeBoundingBox();
    CreateMask();
    return true;
}

void CSprite::Assign(const CSprite* other)
{
    if (!other || other == this) return;
    Clear();
    width = other->width;
    height = other->height;
    bboxLeft = other->bboxLeft;
    bboxTop = other->bboxTop;
    bboxRight = other->bboxRight;
    bboxBottom = other->bboxBottom;
    transparent = other->transparent;
    smooth = other->smooth;
    preload = other->preload;
    bboxMode = other->bboxMode;
    precise = other->precise;
    xOrigin = other->xOrigin;
    yOrigin = other->yOrigin;
    frameCount = other->frameCount;
    boundingRadius = other->boundingRadius;
    if (other->HasFileFrames() && other->frameCount > 0) {
        // The same game-file records: the array is copied, the entries stay the file's.
        pageEntries = (TexturePageEntry**)MEM_ALLOC(sizeof(TexturePageEntry*) * (size_t)other->frameCount);
        std::memcpy(pageEntries, other->pageEntries, sizeof(TexturePageEntry*) * (size_t)other->frameCount);
        localPageEntries = 0;
    }
    fileMaskCount = other->fileMaskCount;
    fileMasks = CopyMaskArray(other->fileMasks, other->fileMaskCount);
    bitmapCount = other->bitmapCount;
    if (bitmapCount > 0) {
        bitmaps = (CBitmap32**)MEM_ALLOC(sizeof(CBitmap32*) * (size_t)bitmapCount);
        for (int32_t i = 0; i < bitmapCount; ++i) bitmaps[i] = CBitmap32::Copy(other->bitmaps[i]);
    }
    InitTextures();
    if (!HasFileFrames()) InitLocalTPE();
    CreateMask();
}

bool CSprite::Merge(const CSprite* other)
{
    if (!other) return false;
    if (HasFileFrames() || (frameCount > 0 && bitmapCount < frameCount)) {
        Code_Error_Report("sprite_merge() requires the destination sprite to have been duplicated", false);
        return false;
    }
    if (other->HasFileFrames() || (other->frameCount > 0 && other->bitmapCount < other->frameCount)) {
        Code_Error_Report("sprite_merge() requires the source sprite to have been duplicated", false);
        return false;
    }
    if (frameCount == 0) {
        width = other->width;
        height = other->height;
    }
    // Copies first: the other sprite may be this one.
    std::vector<CBitmap32*> added;
    for (int32_t i = 0; i < other->bitmapCount; ++i) {
        CBitmap32* b = CBitmap32::Copy(other->bitmaps[i]);
        if (!b->valid || !b->Stretch(width, height)) {
            delete b;
            b = CBitmap32::FromColour(width, height, 0);
            std::memset(b->pixels, 0, b->size); // an unreadable frame merges as a clear one
        }
        added.push_back(b);
    }
    if (added.empty()) return true;
    FreeTextures();
    if (localPageEntries) FreeLocalEntries(pageEntries, frameCount);
    localPageEntries = 0;
    bitmaps = (CBitmap32**)MEM_REALLOC(bitmaps, sizeof(CBitmap32*) * (size_t)(bitmapCount + (int32_t)added.size()));
    for (CBitmap32* b : added) bitmaps[bitmapCount++] = b;
    frameCount = bitmapCount;
    InitTextures();
    InitLocalTPE();
    ComputeBoundingBox();
    CreateMask();
    return true;
}

void CSprite::SetAlphaFromSprite(const CSprite* other)
{
    if (!other || other->frameCount == 0 || other->bitmapCount == 0 || HasFileFrames() || other->HasFileFrames())
        return;
    for (int32_t i = 0; i < bitmapCount; ++i)
        bitmaps[i]->SetAlphaFrom(other->bitmaps[i % other->bitmapCount]);
    InitTextures();
    // The page entries name the textures: made again for the new ids.
    InitLocalTPE();
}

bool CSprite::BitmapsFromTextures()
{
    if (!HasFileFrames()) return bitmapCount == frameCount;
    std::vector<CBitmap32*> made;
    auto fail = [&made]() {
        for (CBitmap32* b : made) delete b;
        return false;
    };
    for (int32_t i = 0; i < frameCount; ++i) {
        const TexturePageEntry* e = pageEntries[i];
        if (!e || e->srcWidth < 1 || e->srcHeight < 1) return fail();
        uint32_t* px = GR_D3D_ReadTextureRectExact(GR_Texture_GetPage(e->texturePage), e->srcX, e->srcY, e->srcWidth,
                                                   e->srcHeight);
        if (!px) return fail();
        // A frame of the sprite's size, clear, with the stored rectangle at its offset.
        CBitmap32* b = new CBitmap32();
        if (!b->Allocate(width, height)) {
            delete b;
            MEM_FREE(px);
            return fail();
        }
        b->valid = 1;
        for (int32_t y = 0; y < e->srcHeight; ++y) {
            const int32_t ty = e->yOffset + y;
            if (ty < 0 || ty >= height) continue;
            for (int32_t x = 0; x < e->srcWidth; ++x) {
                const int32_t tx = e->xOffset + x;
                if (tx >= 0 && tx < width) b->pixels[(size_t)ty * width + tx] = px[(size_t)y * e->srcWidth + x];
            }
        }
        MEM_FREE(px);
        made.push_back(b);
    }
    for (int32_t i = 0; i < bitmapCount; ++i) delete bitmaps[i];
    MEM_FREE(bitmaps);
    bitmaps = nullptr;
    bitmapCount = frameCount;
    if (frameCount > 0) {
        bitmaps = (CBitmap32**)MEM_ALLOC(sizeof(CBitmap32*) * (size_t)frameCount);
        for (int32_t i = 0; i < frameCount; ++i) bitmaps[i] = made[(size_t)i];
    }
    return true;
}

// ============================================================================================
// [SECTION] Textures and page entries
// ============================================================================================
void CSprite::FreeTextures()
{
    for (int32_t i = 0; i < textureCount; ++i)
        if (textures[i] >= 0) GR_Texture_Free(textures[i]);
    MEM_FREE(textures);
    textures = nullptr;
    textureCount = 0;
}

void CSprite::InitTextures()
{
    FreeTextures();
    if (HasFileFrames() || frameCount <= 0) return;
    textureCount = frameCount;
    textures = (int32_t*)MEM_ALLOC(sizeof(int32_t) * (size_t)frameCount);
    for (int32_t i = 0; i < frameCount; ++i) {
        textures[i] = i < bitmapCount ? GR_Texture_CreateFromBitmap(bitmaps[i]) : -1;
        if (preload && textures[i] >= 0) GR_Texture_Preload(textures[i]);
    }
}

void CSprite::InitLocalTPE()
{
    if (HasFileFrames()) return;
    if (localPageEntries) FreeLocalEntries(pageEntries, frameCount);
    MEM_FREE(pageEntries);
    pageEntries = nullptr;
    localPageEntries = 0;
    if (frameCount <= 0 || bitmapCount <= 0) return;
    pageEntries = (TexturePageEntry**)MEM_ALLOC(sizeof(TexturePageEntry*) * (size_t)frameCount);
    for (int32_t i = 0; i < frameCount; ++i)
        pageEntries[i] = LocalEntry(i < bitmapCount ? bitmaps[i] : nullptr, textures && i < textureCount ? textures[i] : -1);
    localPageEntries = 1;
}

int64_t CSprite::GetTexture(int32_t frame) const
{
    if (frameCount <= 0) return -1;
    const int32_t f = WrapFrame(frame);
    if (pageEntries && pageEntries[f]) return GR_TPE_Register(pageEntries[f]);
    if (textures && f < textureCount) return textures[f];
    return -1;
}

TBitmap* CSprite::GetFrameTBitmap(int32_t frame) const
{
    if (!bitmaps || frame < 0 || frame >= bitmapCount || !bitmaps[frame]) return nullptr;
    return bitmaps[frame]->ToTBitmap32();
}

int32_t* CSprite::GetFrameBox(int32_t frame) const
{
    const int32_t f = WrapFrame(frame);
    if (pageEntries && f < frameCount && pageEntries[f]) {
        const TexturePageEntry* e = pageEntries[f];
        return new int32_t[4]{e->xOffset, e->yOffset, e->xOffset + e->srcWidth, e->yOffset + e->srcHeight};
    }
    if (bitmaps && f < bitmapCount && bitmaps[f]) return bitmaps[f]->OpaqueBounds();
    return new int32_t[4]{0, 0, -1, -1};
}

// ============================================================================================
// [SECTION] Table
// ============================================================================================
namespace {

ResourceTable<CSprite> g_sprites;

bool IsUrl(const char* name) { return std::strncmp(name, "http://", 7) == 0 || std::strncmp(name, "https://", 8) == 0; }


SpriteHttpGet g_httpGet = nullptr;

} // namespace

bool Sprite_Load(const FileImage& image, uint32_t begin, uint32_t end)
{
    ChunkList list;
    return list.Read(image, begin, end) && g_sprites.LoadChunk(image, list);
}

void Sprite_Clear() { g_sprites.Clear(); }

void Sprite_DeleteAll() { g_sprites.Clear(); }

void Sprite_Free()
{
    for (int32_t i = 0; i < g_sprites.Count(); ++i)
        if (CSprite* s = g_sprites.Get(i)) s->FreeTextures();
    Sprite_DeleteAll();
}

void Sprite_InitTextures()
{
    for (int32_t i = 0; i < g_sprites.Count(); ++i)
        if (CSprite* s = g_sprites.Get(i)) {
            s->InitTextures();
            s->InitLocalTPE();
        }
}

bool Sprite_Exists(int32_t index) { return g_sprites.Get(index) != nullptr; }
CSprite* Sprite_Data(int32_t index) { return g_sprites.Get(index); }
int32_t Sprite_Count() { return g_sprites.Count(); }

const char* Sprite_GetName(int32_t index)
{
    const char* name = g_sprites.Get(index) ? g_sprites.Name(index) : nullptr;
    return name ? name : "<undefined>";
}

int32_t Sprite_Find(const char* name) { return g_sprites.Find(name); }

int32_t Sprite_AddEmpty() { return g_sprites.AppendNumbered(new CSprite(), "__newsprite"); }

int32_t Sprite_Add(const char* name, int32_t imageCount, bool precise, bool transparent, bool smooth, bool preload,
                   int32_t xOrigin, int32_t yOrigin)
{
    if (!name) return -1;
    const int32_t index = Sprite_AddEmpty();
    if (IsUrl(name)) {
        SpriteAsyncRequest* record = new SpriteAsyncRequest{
            index, imageCount, xOrigin, yOrigin,
            (precise ? 1u : 0u) | (transparent ? 2u : 0u) | (smooth ? 4u : 0u) | (preload ? 8u : 0u)};
        // Without the request service the sprite stays empty, as after a failed download.
        if (!g_httpGet || !g_httpGet(name, 5, record)) Sprite_AsyncFree(record);
        return index;
    }
    CSprite* s = g_sprites.Get(index);
    if (!LoadSave_GameFileExists(name) || !s->LoadFromFile(name, imageCount, precise, transparent, smooth, xOrigin, yOrigin,
                                             !transparent)) {
        g_sprites.DropLast(); // the record and its name go with the slot
        return -1;
    }
    return index;
}

int32_t Sprite_AddAlpha(const char* name, int32_t imageCount, bool precise, bool preload, int32_t xOrigin,
                        int32_t yOrigin)
{
    (void)preload; // run-time sprites always preload
    if (!name || !LoadSave_GameFileExists(name)) return -1;
    const int32_t index = Sprite_AddEmpty();
    if (!g_sprites.Get(index)->LoadFromFile(name, imageCount, precise, true, false, xOrigin, yOrigin, true)) {
        g_sprites.DropLast();
        return -1;
    }
    return index;
}

static bool ReplaceFrom(int32_t index, const char* name, int32_t imageCount, bool precise, bool transparent,
                        bool smooth, int32_t xOrigin, int32_t yOrigin, bool keepAlpha)
{
    if (!g_sprites.InRange(index) || !name || !LoadSave_GameFileExists(name)) return false;
    CSprite* s = g_sprites.Get(index);
    const bool created = s == nullptr;
    if (created) s = new CSprite();
    // Undecodable data leaves the sprite as it was.
    if (!s->LoadFromFile(name, imageCount, precise, transparent, smooth, xOrigin, yOrigin, keepAlpha)) {
        if (created) delete s;
        return false;
    }
    if (created) g_sprites.Revive(index, s, "__newsprite");
    return true;
}

bool Sprite_Replace(int32_t index, const char* name, int32_t imageCount, bool precise, bool transparent, bool smooth,
                    bool preload, int32_t xOrigin, int32_t yOrigin)
{
    (void)preload;
    return ReplaceFrom(index, name, imageCount, precise, transparent, smooth, xOrigin, yOrigin, !transparent);
}

bool Sprite_ReplaceAlpha(int32_t index, const char* name, int32_t imageCount, bool precise, bool preload,
                         int32_t xOrigin, int32_t yOrigin)
{
    (void)preload;
    return ReplaceFrom(index, name, imageCount, precise, true, false, xOrigin, yOrigin, true);
}

bool Sprite_Delete(int32_t index)
{
    if (!Sprite_Exists(index)) return false;
    g_sprites.Remove(index);
    return true;
}

int32_t Sprite_Duplicate(int32_t index)
{
    CSprite* src = Sprite_Data(index);
    if (!src) return -1;
    const int32_t copy = Sprite_AddEmpty();
    CSprite* s = g_sprites.Get(copy);
    s->Assign(src);
    if (s->HasFileFrames() && s->BitmapsFromTextures()) {
        DropFileEntries(s);
        s->InitTextures();
        s->InitLocalTPE();
    }
    return copy;
}

bool Sprite_Assign(int32_t dest, int32_t src)
{
    CSprite* from = Sprite_Data(src);
    if (!from || !g_sprites.InRange(dest)) return false;
    if (dest == src) return true; // a sprite assigned to itself stays as it is
    CSprite* to = g_sprites.Get(dest);
    if (!to) {
        to = new CSprite();
        g_sprites.Revive(dest, to, "__newsprite");
    }
    to->Assign(from);
    return true;
}

// ============================================================================================
// [SECTION] Loading from a URL
// ============================================================================================
void Sprite_SetHttpGet(SpriteHttpGet get) { g_httpGet = get; }

int32_t Sprite_AsyncLoaded(const SpriteAsyncReply& reply, SpriteAsyncRequest* record, SpriteAsyncResult* result)
{
    result->filename = reply.url;
    result->id = record ? record->index : -1;
    result->status = reply.received < 1 || !reply.data ? -1 : 0;
    if (result->status == 0 && record) {
        CSprite* s = Sprite_Data(record->index);
        const uint32_t f = record->flags;
        const bool transparent = (f & 2) != 0;
        // Data that does not decode is a failed load, reported as such.
        if (!s || !s->LoadFromImageData(reply.data, (uint32_t)reply.received, record->imageCount, (f & 1) != 0,
                                        transparent, (f & 4) != 0, record->xOrigin, record->yOrigin, !transparent))
            result->status = -1;
    }
    return 60;
}

void Sprite_AsyncFree(SpriteAsyncRequest* record) { delete record; }
