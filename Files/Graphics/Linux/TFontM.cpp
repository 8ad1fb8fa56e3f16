// The platform font on Linux: fontconfig chooses the face for a family name and style
// (substitutes included, so "Arial" gives the installed metric-compatible or default sans
// face), FreeType opens it at the asked height and draws the glyph page. See TFont.h.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "Files/Graphics/TFont.h"
#include "Platform/MemoryManager.h"

struct TFontHandle {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    std::string file, family;
    bool syntheticBold = false, bold = false;
    int32_t pixelSize = 0;
};

namespace {

const int32_t kMaxPixelSize = 512;
const int32_t kMaxPage = 4096;
const int32_t kDefaultPixelSize = 16;

struct Match {
    std::string file, family;
    int index = 0;
    int weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
};

bool FindFace(const char* name, uint32_t style, Match* out)
{
    if (!FcInit()) return false;
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, (const FcChar8*)(name && *name ? name : "sans-serif"));
    FcPatternAddInteger(pattern, FC_WEIGHT, (style & 1) ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, (style & 2) ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    bool found = false;
    if (match) {
        FcChar8* file = nullptr;
        FcChar8* family = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
            out->file = (const char*)file;
            found = true;
        }
        if (FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch && family) out->family = (const char*)family;
        FcPatternGetInteger(match, FC_INDEX, 0, &out->index);
        FcPatternGetInteger(match, FC_WEIGHT, 0, &out->weight);
        FcPatternGetInteger(match, FC_SLANT, 0, &out->slant);
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    FcFini(); // nothing of fontconfig is kept between fonts
    return found;
}

// The em size in pixels for a classic height (see TFont.h).
int32_t PixelSizeFor(FT_Face face, int32_t height)
{
    double ppem = kDefaultPixelSize;
    if (height < 0) {
        ppem = -(double)height;
    } else if (height > 0) {
        double cell = (double)face->ascender - (double)face->descender;
        if (const TT_OS2* os2 = (const TT_OS2*)FT_Get_Sfnt_Table(face, FT_SFNT_OS2))
            if (os2->usWinAscent + os2->usWinDescent > 0) cell = (double)os2->usWinAscent + os2->usWinDescent;
        if (cell > 0 && face->units_per_EM > 0) ppem = std::round((double)height * face->units_per_EM / cell);
    }
    if (!(ppem >= 1.0)) ppem = 1.0;
    if (ppem > kMaxPixelSize) ppem = kMaxPixelSize;
    return (int32_t)ppem;
}

} // namespace

TFontHandle* TFont_OpenHandle(const char* name, int32_t height, uint32_t style)
{
    Match m;
    if (!FindFace(name, style, &m)) return nullptr;
    TFontHandle* h = new TFontHandle();
    if (FT_Init_FreeType(&h->library) != 0) {
        delete h;
        return nullptr;
    }
    if (FT_New_Face(h->library, m.file.c_str(), m.index, &h->face) != 0) {
        FT_Done_FreeType(h->library);
        delete h;
        return nullptr;
    }
    h->file = m.file;
    h->family = m.family;
    h->pixelSize = PixelSizeFor(h->face, height);
    FT_Set_Pixel_Sizes(h->face, 0, (FT_UInt)h->pixelSize);
    // Styles the chosen face lacks are drawn synthetically.
    h->syntheticBold = (style & 1) && m.weight < FC_WEIGHT_DEMIBOLD;
    h->bold = m.weight >= FC_WEIGHT_DEMIBOLD || h->syntheticBold;
    if ((style & 2) && m.slant == FC_SLANT_ROMAN) {
        FT_Matrix shear{0x10000, 0x0366A, 0, 0x10000}; // x += 0.21 y
        FT_Set_Transform(h->face, &shear, nullptr);
    }
    return h;
}

void TFont_CloseHandle(TFontHandle* h)
{
    if (!h) return;
    if (h->face) FT_Done_Face(h->face);
    if (h->library) FT_Done_FreeType(h->library);
    delete h;
}

const char* TFont_HandleFile(const TFontHandle* h) { return h ? h->file.c_str() : ""; }
const char* TFont_HandleFamily(const TFontHandle* h) { return h ? h->family.c_str() : ""; }
int32_t TFont_HandlePixelSize(const TFontHandle* h) { return h ? h->pixelSize : 0; }
bool TFont_HandleBold(const TFontHandle* h) { return h && h->bold; }

bool TFont_Rasterise(IKVFont* font, int32_t first, int32_t last, TFontRaster* out)
{
    *out = TFontRaster();
    TFontHandle* h = font ? font->GetHandle() : nullptr;
    if (!h || !h->face) return false;
    FT_Face face = h->face;
    const int32_t ascent = (int32_t)((face->size->metrics.ascender + 63) >> 6);
    const int32_t descent = (int32_t)((-face->size->metrics.descender + 63) >> 6);
    const int32_t line = std::max(1, ascent + descent);
    struct Drawn {
        TFontGlyph glyph;
        int32_t top, rows;
        std::vector<uint8_t> pixels; // width x rows
    };
    std::vector<Drawn> drawn;
    for (int32_t c = std::max(first, 0); c <= last && c <= 0xFFFF; ++c) {
        const FT_UInt index = FT_Get_Char_Index(face, (FT_ULong)c);
        if (index == 0 || FT_Load_Glyph(face, index, FT_LOAD_DEFAULT) != 0) continue;
        FT_GlyphSlot slot = face->glyph;
        if (h->syntheticBold) FT_GlyphSlot_Embolden(slot);
        if (slot->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) continue;
        const FT_Bitmap& bm = slot->bitmap;
        // Grey and one-bit glyphs only (colour and packed grey bitmaps are left out).
        if (bm.pixel_mode != FT_PIXEL_MODE_GRAY && bm.pixel_mode != FT_PIXEL_MODE_MONO) continue;
        if ((int32_t)bm.width > kMaxPage) continue;
        Drawn d;
        d.glyph.character = (uint16_t)c;
        d.glyph.width = (int32_t)bm.width;
        d.glyph.height = line;
        d.glyph.shift = (int32_t)((slot->advance.x + 32) >> 6);
        d.glyph.offset = slot->bitmap_left;
        d.top = slot->bitmap_top;
        d.rows = (int32_t)bm.rows;
        d.pixels.assign((size_t)bm.width * bm.rows, 0);
        for (uint32_t y = 0; y < bm.rows; ++y) {
            const uint8_t* row = bm.buffer + (ptrdiff_t)y * bm.pitch;
            for (uint32_t x = 0; x < bm.width; ++x) {
                uint8_t v = bm.pixel_mode == FT_PIXEL_MODE_MONO ? ((row[x >> 3] >> (7 - (x & 7))) & 1) * 255 : row[x];
                d.pixels[(size_t)y * bm.width + x] = v;
            }
        }
        drawn.push_back(std::move(d));
    }
    // Page width: the smallest power of two (256 up) whose rows are no taller than it is wide.
    int64_t area = 0;
    for (const Drawn& d : drawn) area += (int64_t)(d.glyph.width + 1) * (line + 1);
    int32_t pageW = 256;
    while (pageW < kMaxPage && (int64_t)pageW * pageW < area * 2) pageW *= 2;
    int32_t x = 0, y = 0, used = 0;
    for (Drawn& d : drawn) {
        if (x + d.glyph.width > pageW) {
            x = 0;
            y += line + 1;
        }
        if (y + line > kMaxPage) break; // the page is full: the rest is left out
        d.glyph.x = x;
        d.glyph.y = y;
        x += d.glyph.width + 1;
        ++used;
    }
    const int32_t pageH = used > 0 ? drawn[(size_t)used - 1].glyph.y + line : 1;
    out->pageWidth = pageW;
    out->pageHeight = pageH;
    out->lineHeight = line;
    out->pageSize = (uint32_t)pageW * (uint32_t)pageH;
    out->page = (uint8_t*)MEM_ALLOC_CLEAR(out->pageSize);
    out->glyphCount = used;
    out->glyphs = (TFontGlyph*)MEM_ALLOC(sizeof(TFontGlyph) * (size_t)(used > 0 ? used : 1));
    for (int32_t i = 0; i < used; ++i) {
        const Drawn& d = drawn[(size_t)i];
        out->glyphs[i] = d.glyph;
        // The bitmap sits on the baseline of its cell.
        for (int32_t r = 0; r < d.rows; ++r) {
            const int32_t py = d.glyph.y + ascent - d.top + r;
            if (py < d.glyph.y || py >= d.glyph.y + line) continue;
            std::memcpy(out->page + (size_t)py * pageW + d.glyph.x, d.pixels.data() + (size_t)r * d.glyph.width,
                        (size_t)d.glyph.width);
        }
    }
    return true;
}

void TFont_FreeRaster(TFontRaster* r)
{
    if (!r) return;
    MEM_FREE(r->page);
    MEM_FREE(r->glyphs);
    *r = TFontRaster();
}
