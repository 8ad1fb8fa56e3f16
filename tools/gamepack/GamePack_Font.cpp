// Renders a font's characters from a TrueType file with FreeType into one glyph sheet: every
// glyph is a cell as tall as the line (ascender to descender) holding its bitmap on the
// baseline, white with the coverage as alpha; shift is the advance, offset the bearing.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>

#include "GamePack_Project.h"
#include "GamePack_Writer.h"

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

    struct Cell {
        uint16_t character;
        int32_t width, left, advance, top;
        std::vector<uint8_t> alpha;
    };
    std::vector<Cell> cells;
    for (int32_t c = font.first; c <= font.last; ++c) {
        if (FT_Load_Char(face, FT_ULong(c), FT_LOAD_RENDER)) continue;
        FT_GlyphSlot g = face->glyph;
        Cell cell{uint16_t(c), int32_t(g->bitmap.width), g->bitmap_left, int32_t(g->advance.x >> 6), g->bitmap_top, {}};
        cell.alpha.assign(size_t(cell.width) * size_t(lineHeight), 0);
        for (int32_t row = 0; row < int32_t(g->bitmap.rows); ++row) {
            int32_t y = ascender - g->bitmap_top + row;
            if (y < 0 || y >= lineHeight) continue;
            for (int32_t x = 0; x < cell.width; ++x)
                cell.alpha[size_t(y) * size_t(cell.width) + size_t(x)] = g->bitmap.buffer[row * g->bitmap.pitch + x];
        }
        cells.push_back(std::move(cell));
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);

    // One row of cells, one pixel apart.
    int32_t width = 1;
    for (const Cell& c : cells) width += std::max(c.width, 1) + 1;
    font.image.width = width;
    font.image.height = lineHeight;
    font.image.rgba.assign(size_t(width) * size_t(lineHeight) * 4, 0);
    font.glyphs.clear();
    int32_t x = 1;
    for (const Cell& c : cells) {
        for (int32_t row = 0; row < lineHeight; ++row)
            for (int32_t col = 0; col < c.width; ++col) {
                uint8_t* p = &font.image.rgba[(size_t(row) * size_t(width) + size_t(x + col)) * 4];
                p[0] = p[1] = p[2] = 255;
                p[3] = c.alpha[size_t(row) * size_t(c.width) + size_t(col)];
            }
        font.glyphs.push_back({c.character, uint16_t(x), 0, uint16_t(c.width), uint16_t(lineHeight), int16_t(c.advance),
                               int16_t(c.left)});
        x += std::max(c.width, 1) + 1;
    }
    return true;
}
