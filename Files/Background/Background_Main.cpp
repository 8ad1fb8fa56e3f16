// The background record, the background table, the "BGND" loader and background drawing
// (see Background_Main.h). No host library here.
#include "Files/Background/Background_Main.h"

#include <cstring>

#include "Files/Base/Console.h"
#include "Files/Base/RealConvert.h"
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
const float kDegToRad = PI_F / 180.0f;
ResourceTable<CBackground> g_backgrounds;
} // namespace

// ---- Record ------------------------------------------------------------------------------------
CBackground::CBackground()
    : width(0), height(0), transparent(0), smooth(0), preload(0), texture(-1), bitmap(nullptr), pageEntry(nullptr)
{
}

CBackground::~CBackground() { Reset(); }

void CBackground::Reset()
{
    delete bitmap;
    bitmap = nullptr;
    width = height = 0;
    transparent = smooth = preload = 0;
    pageEntry = nullptr;
    FreeTexture();
}

void CBackground::FreeTexture()
{
    if (texture >= 0) GR_Texture_Free(texture);
    texture = -1;
}

int64_t CBackground::GetTexture() const { return pageEntry ? GR_TPE_Register(pageEntry) : texture; }

void CBackground::InitTexture()
{
    FreeTexture();
    texture = bitmap ? GR_Texture_CreateFromBitmap(bitmap) : -1;
    if (preload && texture >= 0) GR_Texture_Preload(texture);
}

bool CBackground::LoadFromChunk(const FileImage& image, uint32_t entry, const char** name)
{
    Reset();
    FileCursor c(image, entry, image.Size());
    const char* n = c.StringRef();
    const uint32_t tr = c.U32(), sm = c.U32(), pl = c.U32(), at = c.U32();
    if (!c.ok()) return false;
    TexturePageEntry* e = GR_FilePageEntry(image, at);
    if (!e) return false;
    width = e->fullWidth;
    height = e->fullHeight;
    transparent = tr != 0;
    smooth = sm != 0;
    preload = pl != 0;
    pageEntry = e;
    if (name) *name = n;
    return true;
}

void CBackground::Assign(const CBackground* other)
{
    if (!other || other == this) return;
    Reset();
    width = other->width;
    height = other->height;
    transparent = other->transparent;
    smooth = other->smooth;
    preload = other->preload;
    pageEntry = other->pageEntry;
    if (other->bitmap) bitmap = CBitmap32::Copy(other->bitmap);
    InitTexture();
}

bool CBackground::Duplicate()
{
    if (bitmap || !pageEntry) return false;
    const TexturePageEntry* e = pageEntry;
    if (width < 1 || height < 1 || e->srcWidth < 1 || e->srcHeight < 1) return false;
    uint32_t* px = GR_D3D_ReadTextureRectExact(GR_Texture_GetPage(e->texturePage), e->srcX, e->srcY, e->srcWidth,
                                               e->srcHeight);
    if (!px) return false;
    // The whole image: a cropped entry's rectangle goes back to its offset, the rest is clear.
    CBitmap32* b = new CBitmap32();
    if (!b->Allocate(width, height)) {
        delete b;
        MEM_FREE(px);
        return false;
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
    bitmap = b;
    pageEntry = nullptr;
    InitTexture();
    return true;
}

void CBackground::SetFromBitmap(IBitmap* b, bool transparent_, bool smooth_, bool preload_, bool keepAlpha)
{
    Reset();
    transparent = transparent_ ? 1 : 0;
    smooth = smooth_ ? 1 : 0;
    preload = preload_ ? 1 : 0;
    if (!b) return;
    width = b->GetWidth();
    height = b->GetHeight();
    bitmap = keepAlpha ? CBitmap32::FromTBitmap(b, transparent_, smooth_) : CBitmap32::FromAnyBitmap(b, transparent_, smooth_);
    InitTexture();
}

void CBackground::CreateColor(int32_t w, int32_t h, uint32_t colour, bool preload_)
{
    Reset();
    preload = preload_ ? 1 : 0;
    width = w;
    height = h;
    bitmap = CBitmap32::FromColour(w, h, colour);
    InitTexture();
}

void CBackground::CreateGradient(int32_t w, int32_t h, uint32_t colour1, uint32_t colour2, int32_t kind,
                                 bool preload_)
{
    Reset();
    preload = preload_ ? 1 : 0;
    width = w;
    height = h;
    bitmap = CBitmap32::FromGradient(w, h, colour1, colour2, kind);
    InitTexture();
}

void CBackground::SetAlphaFromBackground(const CBackground* other)
{
    if (!bitmap || !other || !other->bitmap) {
        Console_Output("Both bitmaps need to be duplicated first\n");
        return;
    }
    bitmap->SetAlphaFrom(other->bitmap);
    InitTexture();
}

bool CBackground::LoadFromFile(const char* name, bool transparent_, bool smooth_, bool preload_, bool keepAlpha)
{
    if (!name) return false;
    int32_t size = 0;
    uint8_t* data = LoadSave_ReadGameFile(name, &size);
    if (!data) return false;
    int32_t w = 0, h = 0;
    uint32_t* pixels = size > 0 ? GR_PNG_DecodeToBlock(data, (uint32_t)size, &w, &h) : nullptr;
    MEM_FREE(data);
    if (!pixels) return false; // not a PNG image: a failure, and the record is kept as it was
    BitmapLoader* loader = BitmapLoader::Create(pixels, w, h);
    MEM_FREE(pixels);
    TBitmap* b = loader->GetBitmap(0);
    SetFromBitmap(b, transparent_, smooth_, preload_, keepAlpha);
    delete b;
    delete loader;
    return true;
}

// ---- Drawing ------------------------------------------------------------------------------------
void CBackground::Draw(float x, float y) const
{
    if (pageEntry) GR_Texture_DrawTPE(pageEntry, x, y);
    else GR_Texture_Draw(texture, x, y);
}

void CBackground::DrawExt(float x, float y, float xscale, float yscale, float angle, uint32_t colour, float alpha) const
{
    const float a = angle * kDegToRad;
    if (pageEntry) GR_Texture_DrawExtTPE(pageEntry, 0, 0, x, y, xscale, yscale, a, colour, alpha);
    else GR_Texture_DrawExt(texture, 0, 0, x, y, xscale, yscale, a, colour, alpha);
}

void CBackground::DrawStretched(float x, float y, float w, float h, uint32_t colour, float alpha) const
{
    if (!(w > 0.0f) || !(h > 0.0f) || width <= 0 || height <= 0) return;
    const float xs = w / (float)width, ys = h / (float)height;
    if (pageEntry) GR_Texture_DrawExtTPE(pageEntry, 0, 0, x, y, xs, ys, 0, colour, alpha);
    else GR_Texture_DrawExt(texture, 0, 0, x, y, xs, ys, 0, colour, alpha);
}

void CBackground::DrawPart(float left, float top, float w, float h, float x, float y, float xscale, float yscale,
                           uint32_t colour, float alpha) const
{
    if (pageEntry) GR_Texture_DrawPartTPE(pageEntry, left, top, w, h, x, y, xscale, yscale, 0, colour, alpha);
    else GR_Texture_DrawPart(texture, left, top, w, h, x, y, xscale, yscale, 0, colour, alpha);
}

void CBackground::DrawGeneral(float left, float top, float w, float h, float x, float y, float xscale, float yscale,
                              float angle, uint32_t c1, uint32_t c2, uint32_t c3, uint32_t c4, float alpha) const
{
    const float a = angle * kDegToRad;
    if (pageEntry) GR_Texture_DrawGeneralTPE(pageEntry, left, top, w, h, x, y, xscale, yscale, a, c1, c2, c3, c4, alpha);
    else GR_Texture_DrawGeneral(texture, left, top, w, h, x, y, xscale, yscale, a, c1, c2, c3, c4, alpha);
}

void CBackground::DrawTiled(float x, float y, float xscale, float yscale, bool htiled, bool vtiled, float viewX,
                            float viewY, float viewW, float viewH, uint32_t colour, float alpha) const
{
    if (pageEntry)
        GR_Texture_DrawTiledTPE(pageEntry, 0, 0, x, y, xscale, yscale, htiled, vtiled, viewX, viewY, viewW, viewH,
                                colour, alpha);
    else
        GR_Texture_DrawTiled(texture, 0, 0, x, y, xscale, yscale, htiled, vtiled, viewX, viewY, viewW, viewH, colour,
                             alpha);
}

// ---- Table ------------------------------------------------------------------------------------
bool Background_Load(const FileImage& image, uint32_t begin, uint32_t end)
{
    ChunkList list;
    return list.Read(image, begin, end) && g_backgrounds.LoadChunk(image, list);
}

void Background_Clear() { g_backgrounds.Clear(); }
void Background_DeleteAll() { g_backgrounds.Clear(); }

void Background_Free()
{
    for (int32_t i = 0; i < g_backgrounds.Count(); ++i)
        if (CBackground* b = g_backgrounds.Get(i)) b->FreeTexture();
    Background_DeleteAll();
}

void Background_InitTextures()
{
    for (int32_t i = 0; i < g_backgrounds.Count(); ++i)
        if (CBackground* b = g_backgrounds.Get(i)) b->InitTexture();
}

bool Background_Exists(int32_t index) { return g_backgrounds.Get(index) != nullptr; }
CBackground* Background_Data(int32_t index) { return g_backgrounds.Get(index); }
int32_t Background_Count() { return g_backgrounds.Count(); }

const char* Background_GetName(int32_t index)
{
    const char* name = g_backgrounds.Get(index) ? g_backgrounds.Name(index) : nullptr;
    return name ? name : "<undefined>";
}

int32_t Background_Find(const char* name) { return g_backgrounds.Find(name); }

int32_t Background_AddEmpty() { return g_backgrounds.AppendNumbered(new CBackground(), "__newbackground"); }


static int32_t AddFrom(const char* name, bool transparent, bool smooth, bool preload, bool keepAlpha)
{
    if (!name || !LoadSave_GameFileExists(name)) return -1;
    const int32_t index = Background_AddEmpty();
    if (!g_backgrounds.Get(index)->LoadFromFile(name, transparent, smooth, preload, keepAlpha)) {
        g_backgrounds.DropLast(); // record and name go, the counts stay equal
        return -1;
    }
    return index;
}

static bool ReplaceFrom(int32_t index, const char* name, bool transparent, bool smooth, bool preload, bool keepAlpha)
{
    if (!g_backgrounds.InRange(index) || !name || !LoadSave_GameFileExists(name)) return false;
    CBackground* b = g_backgrounds.Get(index);
    const bool created = b == nullptr;
    if (created) b = new CBackground();
    if (!b->LoadFromFile(name, transparent, smooth, preload, keepAlpha)) {
        if (created) delete b;
        return false;
    }
    if (created) g_backgrounds.Revive(index, b, "__newbackground");
    return true;
}

int32_t Background_Add(const char* name, bool transparent, bool smooth, bool preload)
{
    return AddFrom(name, transparent, smooth, preload, !transparent);
}

bool Background_Replace(int32_t index, const char* name, bool transparent, bool smooth, bool preload)
{
    return ReplaceFrom(index, name, transparent, smooth, preload, !transparent);
}

int32_t Background_AddAlpha(const char* name, bool preload) { return AddFrom(name, true, false, preload, true); }

bool Background_ReplaceAlpha(int32_t index, const char* name, bool preload)
{
    return ReplaceFrom(index, name, true, false, preload, true);
}

bool Background_Delete(int32_t index)
{
    if (!Background_Exists(index)) return false;
    g_backgrounds.Remove(index);
    return true;
}

int32_t Background_Duplicate(int32_t index)
{
    CBackground* src = Background_Data(index);
    if (!src) return -1;
    const int32_t copy = Background_AddEmpty();
    CBackground* b = g_backgrounds.Get(copy);
    b->Assign(src);
    b->Duplicate();
    return copy;
}

bool Background_Assign(int32_t dest, int32_t src)
{
    CBackground* from = Background_Data(src);
    if (!from || !g_backgrounds.InRange(dest)) return false;
    if (dest == src) return true; // assigned to itself: nothing to copy
    CBackground* to = g_backgrounds.Get(dest);
    if (!to) {
        to = new CBackground();
        g_backgrounds.Revive(dest, to, "__newbackground");
    }
    to->Assign(from);
    return true;
}
