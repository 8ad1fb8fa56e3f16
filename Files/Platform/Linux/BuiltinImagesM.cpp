// The debug font page drawn with FreeType from the system's monospace face (fontconfig
// chooses it; DejaVu Sans Mono from fonts-dejavu-core on Debian). See BuiltinImages.h.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstring>
#include <string>

#include "Files/Platform/BuiltinImages.h"

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

bool GR_DebugFont_Render(uint8_t* page, GR_DebugGlyph* glyphs)
{
    const int cellW = 16, cellH = 21, columns = 16;
    std::memset(glyphs, 0, sizeof(GR_DebugGlyph) * (GR_DEBUG_LAST_CHAR - GR_DEBUG_FIRST_CHAR + 1));
    std::string file = MonospaceFile();
    FT_Library lib;
    if (file.empty() || FT_Init_FreeType(&lib)) return false;
    FT_Face face;
    bool ok = FT_New_Face(lib, file.c_str(), 0, &face) == 0;
    if (ok) {
        FT_Set_Pixel_Sizes(face, 0, 16);
        int ascender = (int)(face->size->metrics.ascender >> 6);
        for (int c = GR_DEBUG_FIRST_CHAR; c <= GR_DEBUG_LAST_CHAR; ++c) {
            int i = c - GR_DEBUG_FIRST_CHAR, cx = (i % columns) * cellW, cy = (i / columns) * cellH;
            GR_DebugGlyph& g = glyphs[i];
            g = {(int16_t)cx, (int16_t)cy, (int16_t)cellW, (int16_t)cellH, 10, 0};
            if (FT_Load_Char(face, (FT_ULong)c, FT_LOAD_RENDER)) continue;
            FT_GlyphSlot s = face->glyph;
            g.shift = (int16_t)(s->advance.x >> 6);
            for (unsigned y = 0; y < s->bitmap.rows; ++y)
                for (unsigned x = 0; x < s->bitmap.width; ++x) {
                    int px = cx + s->bitmap_left + (int)x, py = cy + ascender - s->bitmap_top + (int)y;
                    if (px < cx || py < cy || px >= cx + cellW || py >= cy + cellH || px >= 256 || py >= 128) continue;
                    page[py * 256 + px] = s->bitmap.buffer[y * s->bitmap.pitch + x];
                }
        }
        FT_Done_Face(face);
    }
    FT_Done_FreeType(lib);
    return ok;
}
