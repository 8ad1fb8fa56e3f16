// The font record, the font table, the "FONT" loader and glyph drawing (see Font_Main.h). No
// host library here.
//
// [SECTION] Record
// [SECTION] Building fonts
// [SECTION] Glyph lookup and widths
// [SECTION] Drawing
// [SECTION] Table
#include "Files/Font/Font_Main.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "Files/Base/QuitRequest.h"
#include "Files/Base/RealConvert.h"
#include "Files/Base/Utf8.h"
#include "Files/Graphics/Graphics_Bitmap32.h"
#include "Files/Graphics/Graphics_Draw.h"
#include "Files/Graphics/Graphics_PageEntries.h"
#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics/ResourceTable.h"
#include "Files/Graphics/TFont.h"
#include "Files/Graphics_API/Graphics_3D.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Sprite/Sprite_Main.h"
#include "Files/Support/FileImage.h"
#include "Platform/MemoryManager.h"

namespace {

const float kDegToRad = PI_F / 180.0f;
// Characters whose quads go to the batch in one reservation (a long line takes several).
const int32_t kChunk = 2048;

struct V24 {
    float x, y, z;
    uint32_t colour;
    float u, v;
};

inline void Put(V24* v, float x, float y, uint32_t c, float u, float t)
{
    v->x = x;
    v->y = y;
    v->z = GR_3D_GetDepth();
    v->colour = c;
    v->u = u;
    v->v = t;
}

// The glyphs measured and drawn, for the quit request.
QuitPoll g_poll;

// Glyph shifts take any 32-bit separation (widths made of them are summed in 64 bits).
int32_t SaturateToInt32(int64_t v) { return (int32_t)std::clamp<int64_t>(v, INT32_MIN, INT32_MAX); }

int32_t Length(const char16_t* text)
{
    int32_t n = 0;
    if (text)
        while (text[n]) ++n;
    return n;
}

} // namespace

// ============================================================================================
// [SECTION] Record
// ============================================================================================
CFontZB::CFontZB()
    : typeface(nullptr), size(0), bold(0), italic(0), charset(0), antialias(0), first(0), last(0), sprite(-1),
      pageWidth(0), pageHeight(0), lineHeight(0), bitmapSize(0), bitmap(nullptr), texture(-1), pageEntry(nullptr),
      glyphCount(0), glyphs(nullptr), xScale(1.0f), yScale(1.0f), ownsPageEntry(0)
{
    Clear();
}

CFontZB::~CFontZB() { Clear(); }

void CFontZB::Clear()
{
    MEM_FREE(typeface);
    typeface = nullptr;
    MEM_FREE(bitmap);
    bitmap = nullptr;
    bitmapSize = 0;
    FreeTexture();
    if (ownsPageEntry) {
        GR_TPE_Unregister(pageEntry);
        MEM_FREE(pageEntry);
    }
    pageEntry = nullptr;
    ownsPageEntry = 0;
    MEM_FREE(glyphs);
    glyphs = nullptr;
    glyphCount = 0;
    size = 12;
    bold = italic = 0;
    charset = 0;
    antialias = 0;
    first = 32;
    last = 128;
    sprite = -1;
    pageWidth = pageHeight = 0;
    lineHeight = 0;
    xScale = yScale = 1.0f;
}

void CFontZB::FreeTexture()
{
    if (texture >= 0) GR_Texture_Free(texture);
    texture = -1;
}

void CFontZB::InitTexture()
{
    FreeTexture();
    if (sprite < 0 && typeface && *typeface && bitmap && pageWidth > 0 && pageHeight > 0)
        texture = GR_Texture_CreateFromAlpha8(pageWidth, pageHeight, bitmap);
}

void CFontZB::SortGlyphs()
{
    std::stable_sort(glyphs, glyphs + glyphCount,
                     [](const FontGlyph& a, const FontGlyph& b) { return a.character < b.character; });
}

bool CFontZB::LoadFromChunk(const FileImage& image, uint32_t entry, const char** name)
{
    Clear();
    FileCursor c(image, entry, image.Size());
    const char* n = c.StringRef();
    const char* face = c.StringRef();
    const int32_t sz = c.I32();
    const uint32_t b = c.U32(), it = c.U32(), packed = c.U32();
    const int32_t lst = c.I32();
    const uint32_t entryAt = c.U32();
    const float xs = c.F32(), ys = c.F32();
    const uint32_t count = c.U32();
    if (!c.ok() || !c.FitsCount(count, 4)) return false;
    TexturePageEntry* e = GR_FilePageEntry(image, entryAt);
    if (!e) return false;
    std::vector<FontGlyph> read(count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t at = c.U32();
        uint16_t f[7];
        for (uint32_t k = 0; k < 7; ++k)
            if (!image.U16(at + 2 * k, f[k]) || at == 0) return false;
        read[i] = FontGlyph{f[0], f[1], f[2], f[3], f[4], (int16_t)f[5], (int16_t)f[6]};
    }
    if (!c.ok()) return false;
    typeface = face ? MEM_STRDUP(face) : nullptr;
    size = sz;
    bold = b != 0;
    italic = it != 0;
    first = (int32_t)(packed & 0xFFFF);
    if ((packed >> 16) & 0xFF) charset = (int32_t)((packed >> 16) & 0xFF);
    if (packed >> 24) antialias = (int32_t)(packed >> 24) - 1;
    last = lst;
    pageEntry = e;
    pageWidth = e->srcWidth;
    pageHeight = e->srcHeight;
    xScale = xs;
    yScale = ys;
    glyphCount = (int32_t)count;
    glyphs = (FontGlyph*)MEM_ALLOC(sizeof(FontGlyph) * (count ? count : 1));
    for (uint32_t i = 0; i < count; ++i) {
        glyphs[i] = read[i];
        if (read[i].height > lineHeight) lineHeight = read[i].height;
    }
    SortGlyphs();
    if (name) *name = n;
    return true;
}

// ============================================================================================
// [SECTION] Building fonts
// ============================================================================================
void CFontZB::CreateDefault(const int16_t (*records)[4], int32_t first_, int32_t last_, int32_t texture_)
{
    Clear();
    typeface = MEM_STRDUP("debug");
    size = 10;
    antialias = 3;
    first = first_;
    last = last_;
    glyphCount = last_ >= first_ ? last_ - first_ + 1 : 0;
    glyphs = (FontGlyph*)MEM_ALLOC(sizeof(FontGlyph) * (size_t)(glyphCount ? glyphCount : 1));
    for (int32_t i = 0; i < glyphCount; ++i) {
        const int16_t* r = records[i];
        glyphs[i] = FontGlyph{(uint16_t)(first_ + i), r[0], r[1], r[2], r[3], r[2], 0};
        if (r[3] > lineHeight) lineHeight = r[3];
    }
    pageWidth = 256;
    pageHeight = 128;
    pageEntry = (TexturePageEntry*)MEM_ALLOC_CLEAR(sizeof(TexturePageEntry));
    *pageEntry = TexturePageEntry{0, 0, 256, 128, 0, 0, 256, 128, 256, 128, (int16_t)(texture_ & 0xFFFF)};
    if (texture_ < 0) pageEntry->texturePage = -1;
    ownsPageEntry = 1;
}

void CFontZB::CreateFromSystemFont(const char* typeface_, int32_t size_, bool bold_, bool italic_, int32_t first_,
                                   int32_t last_)
{
    Clear();
    typeface = typeface_ ? MEM_STRDUP(typeface_) : nullptr;
    size = size_;
    bold = bold_ ? 1 : 0;
    italic = italic_ ? 1 : 0;
    first = first_ > 0 ? first_ : 0;
    last = last_ < 255 ? last_ : 255;
    charset = 0;
    antialias = 3;
    // The platform font is set up in the classic order: name, height, style 0, then bold and
    // italic added one at a time.
    TFont font;
    font.SetName(typeface_);
    font.SetHeight(TFont_HeightForSize(size_));
    font.SetStyle(0);
    if (bold_) font.SetStyle(font.GetStyle() | 1);
    if (italic_) font.SetStyle(font.GetStyle() | 2);
    TFontRaster raster;
    if (TFont_Rasterise(&font, first, last, &raster)) {
        bitmap = raster.page;
        bitmapSize = raster.pageSize;
        raster.page = nullptr;
        pageWidth = raster.pageWidth;
        pageHeight = raster.pageHeight;
        lineHeight = raster.lineHeight;
        glyphCount = raster.glyphCount;
        glyphs = (FontGlyph*)MEM_ALLOC(sizeof(FontGlyph) * (size_t)(glyphCount ? glyphCount : 1));
        for (int32_t i = 0; i < glyphCount; ++i) {
            const TFontGlyph& g = raster.glyphs[i];
            glyphs[i] = FontGlyph{g.character, g.x, g.y, g.width, g.height, g.shift, g.offset};
        }
        SortGlyphs();
    }
    TFont_FreeRaster(&raster);
    InitTexture();
}

void CFontZB::CreateFromSprite(int32_t spriteIndex, const char* utf8, bool proportional, int32_t separation)
{
    Clear();
    CSprite* s = Sprite_Data(spriteIndex);
    if (!s) return;
    sprite = spriteIndex;
    std::vector<uint16_t> chars;
    const char* p = utf8 ? utf8 : "";
    while (*p && (int32_t)chars.size() < s->frameCount) chars.push_back(Utf8_DecodeNext(&p));
    bool added = false;
    if (std::find(chars.begin(), chars.end(), (uint16_t)32) == chars.end()) {
        chars.push_back(32);
        added = true;
    }
    glyphCount = (int32_t)chars.size();
    glyphs = (FontGlyph*)MEM_ALLOC(sizeof(FontGlyph) * (size_t)glyphCount);
    int32_t widest = 0;
    for (int32_t i = 0; i < glyphCount; ++i) {
        int32_t left = 0, right = s->width;
        if (i < s->frameCount && proportional) {
            // The frame's horizontal extent: its opaque pixels when it has a bitmap, else its
            // stored rectangle on the texture page.
            if (s->bitmaps && i < s->bitmapCount && s->bitmaps[i]) {
                int32_t* box = s->bitmaps[i]->OpaqueBounds();
                if (box[0] <= box[2]) {
                    left = box[0];
                    right = box[2] + 1;
                }
                delete[] box;
            } else if (s->pageEntries && s->pageEntries[i]) {
                left = s->pageEntries[i]->xOffset;
                right = s->pageEntries[i]->xOffset + s->pageEntries[i]->targetWidth;
            }
        }
        const int32_t shift = SaturateToInt32((int64_t)right + separation - left);
        glyphs[i] = FontGlyph{chars[(size_t)i], 0, 0, i, s->height, shift, -left};
        if (chars[(size_t)i] != 32 && glyphs[i].shift > widest) widest = glyphs[i].shift;
        if (s->height > lineHeight) lineHeight = s->height;
    }
    if (added) glyphs[glyphCount - 1].shift = widest;
    SortGlyphs();
    first = glyphs[0].character;
    last = first + glyphCount;
}

// ============================================================================================
// [SECTION] Glyph lookup and widths
// ============================================================================================
const FontGlyph* CFontZB::GetGlyph(uint16_t character) const
{
    int32_t lo = 0, hi = glyphCount - 1;
    while (lo <= hi) {
        const int32_t mid = lo + (hi - lo) / 2;
        const uint16_t c = glyphs[mid].character;
        if (c == character) return &glyphs[mid];
        if (character < c) hi = mid - 1;
        else lo = mid + 1;
    }
    return nullptr;
}

int32_t CFontZB::GetShift(uint16_t character) const
{
    if (const FontGlyph* g = GetGlyph(character)) return g->shift;
    return glyphCount > 0 ? glyphs[0].shift : 0; // a font without glyphs is 0 wide
}

int64_t CFontZB::TextWidth(const char16_t* text) const
{
    int64_t w = 0;
    if (text)
        for (; *text && !g_poll.Stop(); ++text) w += GetShift((uint16_t)*text);
    return w;
}

// ============================================================================================
// [SECTION] Drawing
// ============================================================================================
void CFontZB::DrawSpriteLine(float x, float y, const char16_t* text, float xs, float ys, float angle, uint32_t colour,
                             float alpha) const
{
    const CSprite* s = Sprite_Data(sprite);
    if (!s) return;
    const float a = angle * kDegToRad, sn = std::sin(a), cs = std::cos(a);
    float px = x, py = y;
    for (; *text && !g_poll.Stop(); ++text) {
        const FontGlyph* g = GetGlyph((uint16_t)*text);
        if (!g) continue;
        if (g->character != 32)
            s->Draw(g->width, px + cs * xs * (float)g->offset, py - sn * xs * (float)g->offset, xs, ys, angle, colour,
                    alpha);
        px += cs * xs * (float)g->shift;
        py -= sn * xs * (float)g->shift;
    }
}

void CFontZB::Draw(float x, float y, const char16_t* text, uint32_t colour, float alpha) const
{
    DrawLine(x, y, text, xScale, yScale, colour, alpha);
}

void CFontZB::DrawLine(float x, float y, const char16_t* text, float xScale, float yScale, uint32_t colour,
                       float alpha) const
{
    const int32_t n = Length(text);
    if (n == 0 || glyphCount == 0) return;
    if (sprite >= 0) {
        DrawSpriteLine(x, y, text, xScale, yScale, 0, colour, alpha);
        return;
    }
    const TextureSlot* slot = GR_Texture_GetSlot(pageEntry ? pageEntry->texturePage : texture);
    if (!slot) return;
    const uint32_t c = GR_Colour_ToARGB(colour, alpha);
    const float iw = slot->inverseWidth, ih = slot->inverseHeight;
    float pen = x;
    for (int32_t start = 0; start < n; start += kChunk) {
        const int32_t m = std::min(kChunk, n - start);
        if (g_poll.Stop((uint64_t)m)) return;
        V24* v = (V24*)GR_D3D_AllocVertices(4, slot->texture, 24, 6 * m);
        if (!v) return;
        for (int32_t i = 0; i < m; ++i, v += 6) {
            const FontGlyph* g = GetGlyph((uint16_t)text[start + i]);
            if (!g) {
                for (int k = 0; k < 6; ++k) Put(&v[k], pen, y, 0, 0, 0); // collapsed: draws nothing
                continue;
            }
            const float l = pen + (float)g->offset * xScale - 0.5f, t = y - 0.5f;
            const float r = pen + (float)g->offset * xScale + 0.5f + (float)g->width * xScale;
            const float b = y + 0.5f + (float)g->height * yScale;
            float uL, uR, vT, vB;
            if (pageEntry) {
                uL = ((float)pageEntry->srcX + g->x - 0.5f) * iw;
                uR = ((float)pageEntry->srcX + g->x + g->width + 0.5f) * iw;
                vT = ((float)pageEntry->srcY + g->y - 0.5f) * ih;
                vB = ((float)pageEntry->srcY + g->y + g->height + 0.5f) * ih;
            } else {
                uL = (float)g->x * iw;
                uR = (float)(g->x + g->width) * iw;
                vT = (float)g->y * ih;
                vB = (float)(g->y + g->height) * ih;
            }
            Put(&v[0], l, t, c, uL, vT);
            Put(&v[1], r, t, c, uR, vT);
            Put(&v[2], r, b, c, uR, vB);
            Put(&v[3], r, b, c, uR, vB);
            Put(&v[4], l, b, c, uL, vB);
            Put(&v[5], l, t, c, uL, vT);
            pen += (float)g->shift * xScale;
        }
    }
}

void CFontZB::DrawTransformed(float x, float y, const char16_t* text, float xs, float ys, float angle,
                              uint32_t colour, float alpha) const
{
    const int32_t n = Length(text);
    if (n == 0 || glyphCount == 0) return;
    if (sprite >= 0) {
        DrawSpriteLine(x, y, text, xs, ys, angle, colour, alpha);
        return;
    }
    if (std::fabs(angle) < 0.001f) {
        DrawLine(x, y, text, xs, ys, colour, alpha); // as the plain draw with the given scales
        return;
    }
    const TextureSlot* slot = GR_Texture_GetSlot(pageEntry ? pageEntry->texturePage : texture);
    if (!slot) return;
    const uint32_t col = GR_Colour_ToARGB(colour, alpha);
    const float iw = slot->inverseWidth, ih = slot->inverseHeight;
    const float a = angle * kDegToRad, s = std::sin(a), c = std::cos(a);
    float px = x, py = y;
    for (int32_t start = 0; start < n; start += kChunk) {
        const int32_t m = std::min(kChunk, n - start);
        if (g_poll.Stop((uint64_t)m)) return;
        V24* v = (V24*)GR_D3D_AllocVertices(4, slot->texture, 24, 6 * m);
        if (!v) return;
        int32_t missing = 0;
        for (int32_t i = 0; i < m; ++i) {
            const FontGlyph* g = GetGlyph((uint16_t)text[start + i]);
            if (!g) {
                ++missing;
                continue;
            }
            const float w = (float)g->width * xs, h = (float)g->height * ys;
            const float bx = px + c * xs * (float)g->offset, by = py - s * xs * (float)g->offset;
            float uL, uR, vT, vB;
            if (pageEntry) {
                uL = ((float)pageEntry->srcX + g->x - 0.5f) * iw;
                uR = ((float)pageEntry->srcX + g->x + g->width + 0.5f) * iw;
                vT = ((float)pageEntry->srcY + g->y - 0.5f) * ih;
                vB = ((float)pageEntry->srcY + g->y + g->height + 0.5f) * ih;
            } else {
                uL = (float)g->x * iw;
                uR = (float)(g->x + g->width) * iw;
                vT = (float)g->y * ih;
                vB = (float)(g->y + g->height) * ih;
            }
            const float tlx = bx - 0.5f, tly = by - 0.5f;
            const float trx = bx + c * w - 0.5f, try_ = by - s * w - 0.5f;
            const float brx = bx + c * w + s * h + 0.5f, bry = by - s * w + c * h + 0.5f;
            const float blx = bx + s * h + 0.5f, bly = by + c * h + 0.5f;
            Put(&v[0], tlx, tly, col, uL, vT);
            Put(&v[1], trx, try_, col, uR, vT);
            Put(&v[2], brx, bry, col, uR, vB);
            Put(&v[3], brx, bry, col, uR, vB);
            Put(&v[4], blx, bly, col, uL, vB);
            Put(&v[5], tlx, tly, col, uL, vT);
            v += 6;
            px += c * xs * (float)g->shift;
            py -= s * xs * (float)g->shift;
        }
        GR_D3D_ReturnVertices(6 * missing);
    }
}

void CFontZB::DrawColour(float x, float y, const char16_t* text, uint32_t c1, uint32_t c2, uint32_t c3, uint32_t c4,
                         float alpha) const
{
    const int64_t total = TextWidth(text);
    if (total == 0 || !text) return; // nothing to spread the colours over
    const double W = (double)total;
    const CSprite* s = sprite >= 0 ? Sprite_Data(sprite) : nullptr;
    if (sprite >= 0 && !s) return;
    float pen = x;
    int64_t p = 0; // shifts can be any 32-bit value
    for (; *text && !g_poll.Stop(); ++text) {
        const FontGlyph* g = GetGlyph((uint16_t)*text);
        if (!g) continue;
        const uint32_t tl = GR_Colour_Merge(c1, c2, p / W), tr = GR_Colour_Merge(c1, c2, (p + g->shift) / W);
        const uint32_t br = GR_Colour_Merge(c4, c3, (p + g->shift) / W), bl = GR_Colour_Merge(c4, c3, p / W);
        if (s) {
            if (g->character != 32)
                s->DrawGeneral(g->width, 0, 0, (float)s->width, (float)s->height, pen + (float)g->offset, y, xScale,
                               yScale, 0, tl, tr, br, bl, alpha);
        } else if (pageEntry) {
            GR_Texture_DrawGeneralTPE(pageEntry, (float)g->x, (float)g->y, (float)g->width, (float)g->height,
                                      pen + (float)g->offset, y, xScale, yScale, 0, tl, tr, br, bl, alpha);
        } else {
            GR_Texture_DrawGeneral(texture, (float)g->x, (float)g->y, (float)g->width, (float)g->height,
                                   pen + (float)g->offset, y, 1, 1, 0, tl, tr, br, bl, alpha);
        }
        pen += (float)g->shift;
        p += g->shift;
    }
}

void CFontZB::DrawTransformedColour(float x, float y, const char16_t* text, float xs, float ys, float angle,
                                    uint32_t c1, uint32_t c2, uint32_t c3, uint32_t c4, float alpha) const
{
    const int64_t total = TextWidth(text);
    if (total == 0 || !text) return;
    const double W = (double)total;
    const CSprite* spr = sprite >= 0 ? Sprite_Data(sprite) : nullptr;
    if (sprite >= 0 && !spr) return;
    const float a = angle * kDegToRad, s = std::sin(a), c = std::cos(a);
    float px = x, py = y;
    int64_t p = 0; // shifts can be any 32-bit value
    for (; *text && !g_poll.Stop(); ++text) {
        const FontGlyph* g = GetGlyph((uint16_t)*text);
        if (!g) continue;
        const uint32_t tl = GR_Colour_Merge(c1, c2, p / W), tr = GR_Colour_Merge(c1, c2, (p + g->shift) / W);
        const uint32_t br = GR_Colour_Merge(c4, c3, (p + g->shift) / W), bl = GR_Colour_Merge(c4, c3, p / W);
        const float gx = px + c * xs * (float)g->offset, gy = py - s * xs * (float)g->offset;
        if (spr) {
            if (g->character != 32)
                spr->DrawGeneral(g->width, 0, 0, (float)spr->width, (float)spr->height, gx, gy, xs, ys, angle, tl, tr,
                                 br, bl, alpha);
        } else if (pageEntry) {
            GR_Texture_DrawGeneralTPE(pageEntry, (float)g->x, (float)g->y, (float)g->width, (float)g->height, gx, gy,
                                      xs, ys, a, tl, tr, br, bl, alpha);
        } else {
            GR_Texture_DrawGeneral(texture, (float)g->x, (float)g->y, (float)g->width, (float)g->height, gx, gy, xs,
                                   ys, a, tl, tr, br, bl, alpha);
        }
        px += c * xs * (float)g->shift;
        py -= s * xs * (float)g->shift;
        p += g->shift;
    }
}

// ============================================================================================
// [SECTION] Table
// ============================================================================================
namespace {

ResourceTable<CFontZB> g_fonts;
uint16_t g_codePoints[256];
bool g_haveCodePoints = false;

} // namespace

uint16_t Font_CodePoint(int32_t index)
{
    if (index < 0 || index > 255) return 0;
    return g_haveCodePoints ? g_codePoints[index] : (uint16_t)index;
}

bool Font_Load(const FileImage& image, uint32_t begin, uint32_t end)
{
    ChunkList list;
    if (!list.Read(image, begin, end)) return false;
    // The chunk ends with the 512-byte code-point table, which must lie after the list.
    if (end < begin || end - begin < 512) return false;
    const uint32_t table = end - 512;
    if ((uint64_t)list.entries + 4ull * list.count > table) return false;
    for (uint32_t i = 0; i < 256; ++i)
        if (!image.U16(table + 2 * i, g_codePoints[i])) return false;
    g_haveCodePoints = true;
    return g_fonts.LoadChunk(image, list);
}

void Font_Clear()
{
    g_fonts.Clear();
    g_haveCodePoints = false;
}

void Font_Free()
{
    for (int32_t i = 0; i < g_fonts.Count(); ++i)
        if (CFontZB* f = g_fonts.Get(i)) f->FreeTexture();
    Font_Clear();
}

void Font_InitTextures()
{
    for (int32_t i = 0; i < g_fonts.Count(); ++i)
        if (CFontZB* f = g_fonts.Get(i)) f->InitTexture();
}

bool Font_Exists(int32_t index) { return g_fonts.Get(index) != nullptr; }
CFontZB* Font_Data(int32_t index) { return g_fonts.Get(index); }
int32_t Font_Count() { return g_fonts.Count(); }

const char* Font_GetName(int32_t index)
{
    const char* name = g_fonts.Get(index) ? g_fonts.Name(index) : nullptr;
    return name ? name : "<undefined>";
}

int32_t Font_Find(const char* name) { return g_fonts.Find(name); }

int32_t Font_Add(const char* typeface, int32_t size, bool bold, bool italic, int32_t first, int32_t last)
{
    CFontZB* f = new CFontZB();
    f->CreateFromSystemFont(typeface, size, bold, italic, first, last);
    return g_fonts.AppendNumbered(f, "__newfont");
}

// The characters of font_add_sprite: code points first, first + 1, ... of the table, one per
// frame, stopping at the table's end.
static std::string SpriteCharacters(int32_t sprite, int32_t first)
{
    std::string out;
    CSprite* s = Sprite_Data(sprite);
    if (!s) return out;
    for (int32_t i = 0; i < s->frameCount; ++i) {
        const int64_t at = (int64_t)first + i;
        if (at < 0) continue;
        if (at > 255) break;
        char buf[4] = {};
        char* p = buf;
        Utf8_Encode(&p, Font_CodePoint((int32_t)at));
        out.append(buf, (size_t)(p - buf));
    }
    return out;
}

int32_t Font_AddSprite(int32_t sprite, int32_t first, bool proportional, int32_t separation)
{
    return Font_AddSpriteExt(sprite, SpriteCharacters(sprite, first).c_str(), proportional, separation);
}

int32_t Font_AddSpriteExt(int32_t sprite, const char* utf8, bool proportional, int32_t separation)
{
    CFontZB* f = new CFontZB();
    f->CreateFromSprite(sprite, utf8, proportional, separation);
    return g_fonts.AppendNumbered(f, "__newfont");
}

// The new font takes the slot of an existing one (its name stays).
static bool ReplaceWith(int32_t index, CFontZB* f)
{
    g_fonts.Set(index, f, nullptr);
    return true;
}

bool Font_Replace(int32_t index, const char* typeface, int32_t size, bool bold, bool italic, int32_t first,
                  int32_t last)
{
    if (!Font_Exists(index)) return false;
    CFontZB* f = new CFontZB();
    f->CreateFromSystemFont(typeface, size, bold, italic, first, last);
    return ReplaceWith(index, f);
}

bool Font_ReplaceSprite(int32_t index, int32_t sprite, int32_t first, bool proportional, int32_t separation)
{
    return Font_ReplaceSpriteExt(index, sprite, SpriteCharacters(sprite, first).c_str(), proportional, separation);
}

bool Font_ReplaceSpriteExt(int32_t index, int32_t sprite, const char* utf8, bool proportional, int32_t separation)
{
    if (!Font_Exists(index)) return false;
    CFontZB* f = new CFontZB();
    f->CreateFromSprite(sprite, utf8, proportional, separation);
    return ReplaceWith(index, f);
}

bool Font_Delete(int32_t index)
{
    if (!Font_Exists(index)) return false;
    g_fonts.Remove(index);
    return true;
}
