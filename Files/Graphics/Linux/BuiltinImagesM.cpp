// The debug font page drawn with FreeType from the system's monospace face (fontconfig
// chooses it; DejaVu Sans Mono from fonts-dejavu-core on Debian). See BuiltinImages.h.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstring>
#include <string>

#include "Files/Graphics/BuiltinImages.h"

static std::string MonospaceFile()
{
    std::string path;
    if (!FcInit()) return path;
    FcPattern* pattern = FcNameParse((const FcChar8*)"DejaVu Sans Mono");
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcChar8* file = nullptr;
    if (match && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) path = (const char*)file;
    if (match) FcPatternDestroy(match);
    FcPatternDestroy(pattern);
    FcFini(); // nothing of fontconfig is kept
    return path;
}

// The character a code of the page stands for: 32..127 themselves, 128..136 the
// Windows-1252 characters of those codes (129 has none).
static FT_ULong PageCharacter(int c)
{
    static const FT_ULong high[9] = {0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6};
    return c < 128 ? (FT_ULong)c : high[c - 128];
}

bool GR_DebugFont_Render(uint8_t* page, GR_DebugGlyph* glyphs)
{
    // Cells one advance wide and one line (15 pixels) tall, packed row by row.
    const int cellH = GR_DEBUG_LINE_HEIGHT;
    int cellW = 8;
    std::memset(glyphs, 0, sizeof(GR_DebugGlyph) * GR_DEBUG_GLYPHS);
    std::string file = MonospaceFile();
    FT_Library lib = nullptr;
    FT_Face face = nullptr;
    bool ok = !file.empty() && FT_Init_FreeType(&lib) == 0;
    if (ok) ok = FT_New_Face(lib, file.c_str(), 0, &face) == 0;
    int ascender = 11;
    if (ok) {
        // The largest pixel size whose line fits the cell height.
        for (int px = 14; px >= 8; --px) {
            FT_Set_Pixel_Sizes(face, 0, (FT_UInt)px);
            int a = (int)((face->size->metrics.ascender + 63) >> 6), d = (int)((-face->size->metrics.descender + 63) >> 6);
            if (a + d <= cellH || px == 8) {
                ascender = a;
                if (FT_Load_Char(face, 'M', FT_LOAD_DEFAULT) == 0) cellW = (int)((face->glyph->advance.x + 32) >> 6);
                break;
            }
        }
        if (cellW < 1) cellW = 8;
    }
    const int columns = 256 / cellW;
    for (int c = GR_DEBUG_FIRST_CHAR; c <= GR_DEBUG_LAST_CHAR; ++c) {
        int i = c - GR_DEBUG_FIRST_CHAR, cx = (i % columns) * cellW, cy = (i / columns) * cellH;
        glyphs[i] = {(int16_t)cx, (int16_t)cy, (int16_t)cellW, (int16_t)cellH, (int16_t)cellW, 0};
        FT_ULong ch = PageCharacter(c);
        if (!ok || ch == 0 || FT_Load_Char(face, ch, FT_LOAD_RENDER)) continue;
        FT_GlyphSlot s = face->glyph;
        for (unsigned y = 0; y < s->bitmap.rows; ++y)
            for (unsigned x = 0; x < s->bitmap.width; ++x) {
                int px = cx + s->bitmap_left + (int)x, py = cy + ascender - s->bitmap_top + (int)y;
                if (px < cx || py < cy || px >= cx + cellW || py >= cy + cellH || px >= 256 || py >= 128) continue;
                page[py * 256 + px] = s->bitmap.buffer[y * s->bitmap.pitch + x];
            }
    }
    if (face) FT_Done_Face(face);
    if (lib) FT_Done_FreeType(lib);
    return ok;
}
