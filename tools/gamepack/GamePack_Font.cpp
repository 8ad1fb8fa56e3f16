// Renders a font's characters from a TrueType file with FreeType into one glyph sheet: every
// glyph is a cell as tall as the line (ascender to descender) holding its bitmap on the
// baseline, white with the coverage as alpha; shift is the advance, offset the bearing. The
// cells run in rows one pixel apart, a row at most as wide as a texture page. "bold" thickens
// the outlines (and the advance), "italic" slants them, "antialias" 0 renders each pixel fully
// inked or empty (any other value: 256 levels of coverage).
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H

#include <algorithm>
#include <cstddef>

#include "GamePack_Project.h"
#include "GamePack_Writer.h"

namespace {

// The coverage of pixel (x, row) of a rendered glyph, 0 to 255.
uint8_t Coverage(const FT_Bitmap& b, int32_t row, int32_t x)
{
    const unsigned char* line = b.buffer + ptrdiff_t(row) * b.pitch;
    if (b.pixel_mode == FT_PIXEL_MODE_MONO) return (line[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0;
    return line[x];
}

} // namespace

bool GamePack_RenderFont(PackFont& font, std::string& error)
{
    // The file is read as every input is (a plain file only, its size checked first); FreeType
    // reads the face from memory, which stays until the face is done.
    std::string bytes, why;
    if (!GamePack_ReadFile(font.ttf, bytes, why)) {
        error = "cannot read the \"ttf\" file " + font.ttf + ": " + why;
        return false;
    }
    FT_Library library;
    if (FT_Init_FreeType(&library)) {
        error = "FreeType does not start";
        return false;
    }
    FT_Face face;
    if (FT_New_Memory_Face(library, reinterpret_cast<const FT_Byte*>(bytes.data()), FT_Long(bytes.size()), 0, &face)) {
        FT_Done_FreeType(library);
        error = "\"ttf\" " + font.ttf + " is not a font file FreeType reads";
        return false;
    }
    FT_Set_Char_Size(face, 0, FT_F26Dot6(font.size) * 64, 96, 96);
    if (font.typeface.empty() && face->family_name) font.typeface = face->family_name;
    const int32_t ascender = int32_t(face->size->metrics.ascender >> 6);
    const int32_t lineHeight = std::max<int32_t>(1, int32_t((face->size->metrics.ascender - face->size->metrics.descender) >> 6));
    const bool mono = font.antialias == 0;

    // Cells are placed as they are rendered: the first row starts one pixel in, each cell is
    // followed by a pixel of space, and a cell that would pass the page's width starts the
    // next row one pixel below. A sheet that would pass the page's height stops at once, so
    // no more is rendered (or held) than a page can take.
    struct Cell {
        PackGlyph glyph;
        std::vector<uint8_t> alpha;
    };
    std::vector<Cell> cells;
    int32_t x = 1, y = 0, width = 1;
    bool fits = lineHeight <= PACK_MAX_PAGE_SIDE;
    font.missing.clear();
    font.missingCount = 0;
    for (int32_t c = font.first; c <= font.last && fits; ++c) {
        // A character the face has no glyph for is drawn as its empty box (control characters
        // draw nothing anyway).
        if (!(c < 32 || (c >= 127 && c < 160)) && FT_Get_Char_Index(face, FT_ULong(c)) == 0 && ++font.missingCount <= 5)
            font.missing.push_back(c);
        if (FT_Load_Char(face, FT_ULong(c), mono ? FT_LOAD_TARGET_MONO : FT_LOAD_DEFAULT)) continue;
        FT_GlyphSlot g = face->glyph;
        if (font.bold) FT_GlyphSlot_Embolden(g);
        if (font.italic) FT_GlyphSlot_Oblique(g);
        if (FT_Render_Glyph(g, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL)) continue;
        const int32_t w = int32_t(g->bitmap.width), room = std::max(w, 1) + 1;
        if (x + room > PACK_MAX_PAGE_SIDE && x > 1) {
            x = 1;
            y += lineHeight + 1;
            if (y + lineHeight > PACK_MAX_PAGE_SIDE) {
                fits = false;
                break;
            }
        }
        Cell cell{{uint16_t(c), uint16_t(x), uint16_t(y), uint16_t(w), uint16_t(lineHeight), int16_t(g->advance.x >> 6),
                   int16_t(g->bitmap_left)},
                  std::vector<uint8_t>(size_t(w) * size_t(lineHeight), 0)};
        for (int32_t row = 0; row < int32_t(g->bitmap.rows); ++row) {
            const int32_t at = ascender - g->bitmap_top + row;
            if (at < 0 || at >= lineHeight) continue;
            for (int32_t col = 0; col < w; ++col) cell.alpha[size_t(at) * size_t(w) + size_t(col)] = Coverage(g->bitmap, row, col);
        }
        cells.push_back(std::move(cell));
        x += room;
        width = std::max(width, x);
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    if (!fits) {
        error = "the glyph sheet of characters " + std::to_string(font.first) + " to " + std::to_string(font.last) +
                " at size " + std::to_string(font.size) + " is more than a texture page holds (at most " +
                std::to_string(PACK_MAX_PAGE_SIDE) + " pixels a side); use a smaller size or fewer characters";
        return false;
    }

    font.image.width = width;
    font.image.height = y + lineHeight;
    font.image.rgba.assign(size_t(font.image.width) * size_t(font.image.height) * 4, 0);
    font.glyphs.clear();
    for (const Cell& c : cells) {
        const PackGlyph& g = c.glyph;
        for (int32_t row = 0; row < g.height; ++row)
            for (int32_t col = 0; col < g.width; ++col) {
                uint8_t* p = &font.image.rgba[(size_t(g.y + row) * size_t(font.image.width) + size_t(g.x + col)) * 4];
                p[0] = p[1] = p[2] = 255;
                p[3] = c.alpha[size_t(row) * size_t(g.width) + size_t(col)];
            }
        font.glyphs.push_back(g);
    }
    return true;
}
