// The images built into the program, made by our own code: fifteen 64x64 one-byte (alpha)
// particle shapes and a small PNG start-up image, made when the runner is built
// (tools/builtin_images), and the 256x128 debug font page with its glyph table (drawn with
// FreeType from a system monospace face found through fontconfig, Linux/BuiltinImagesM.cpp),
// drawn when the glyphs are first asked for. The table has the layout GR_BuiltinImages_SetTable
// takes (u32 count, then {u32 size, u32 offset} per image, then the data).
#pragma once

#include <cstdint>

// ORDER: image index in the table.
enum : int32_t {
    GR_SHAPE_PIXEL, GR_SHAPE_DISK, GR_SHAPE_SQUARE, GR_SHAPE_LINE, GR_SHAPE_STAR, GR_SHAPE_CIRCLE,
    GR_SHAPE_RING, GR_SHAPE_SPHERE, GR_SHAPE_FLARE, GR_SHAPE_SPARK, GR_SHAPE_EXPLOSION, GR_SHAPE_CLOUD,
    GR_SHAPE_SMOKE, GR_SHAPE_SNOW, GR_SHAPE_SQUARE_SOFT,
    GR_BUILTIN_FONT_PAGE = 15, GR_BUILTIN_STARTUP_PNG = 16, GR_BUILTIN_COUNT = 17
};

// One glyph of the debug font page (characters 32..136; 128..136 are the Windows-1252
// characters of those codes: euro sign, (none), quotes, florin, ellipsis, daggers, circumflex).
// The font draws x, y, w, h of the page and advances by w (shift = w, offset 0).
struct GR_DebugGlyph {
    int16_t x, y, w, h, shift, offset;
};
enum { GR_DEBUG_FIRST_CHAR = 32, GR_DEBUG_LAST_CHAR = 136, GR_DEBUG_GLYPHS = 105, GR_DEBUG_LINE_HEIGHT = 15 };
// 105 entries. The first call draws the font page into the table (image 15 is blank until
// then): ask for the glyphs before making the page's texture.
const GR_DebugGlyph* GR_DebugFont_Glyphs();
int32_t GR_DebugFont_LineHeight();          // 15

// Fills a 256 x 128 alpha page with the glyphs of characters 32..136 in cells one advance wide
// and 15 pixels tall; false when no face could be loaded (the page stays empty, the cells keep
// their places). Linux/BuiltinImagesM.cpp.
bool GR_DebugFont_Render(uint8_t* page, GR_DebugGlyph* glyphs);
