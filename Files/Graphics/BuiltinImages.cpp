// The built-in image table (see BuiltinImages.h). The shapes and the start-up image are made
// when the runner is built (tools/builtin_images writes BuiltinImagesTable.inc); the debug font
// page is drawn into the table the first time the glyphs are asked for. No host library here
// except through GR_DebugFont_Render (Linux/BuiltinImagesM.cpp).
#include "Files/Graphics/BuiltinImages.h"

#include <cstring>
#include <vector>

#include "Files/Graphics_API/TBitmap.h"

namespace {

#include "BuiltinImagesTable.inc"

std::vector<uint8_t> g_table;
GR_DebugGlyph g_glyphs[GR_DEBUG_GLYPHS];

uint32_t Get32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

constexpr uint32_t kDDSHeader = 128; // "DDS " and the 124-byte header before the pixels

} // namespace

// The debug font page is drawn when the glyphs are first asked for (GR_DebugFont_Glyphs, which
// the text layer calls before it makes the page's texture), not with the table: finding a
// face through fontconfig and drawing it takes longer than the rest of start-up's own work.
const GR_DebugGlyph* GR_DebugFont_Glyphs()
{
    static bool drawn = false;
    GR_BuiltinImages_Default();
    if (!drawn) {
        drawn = true;
        uint8_t* dds = g_table.data() + Get32(g_table.data() + 8 + 8 * GR_BUILTIN_FONT_PAGE);
        GR_DebugFont_Render(dds + kDDSHeader, g_glyphs);
    }
    return g_glyphs;
}

int32_t GR_DebugFont_LineHeight() { return GR_DEBUG_LINE_HEIGHT; }

const uint8_t* GR_BuiltinImages_Default()
{
    if (g_table.empty()) g_table.assign(kBuiltinImageTable, kBuiltinImageTable + sizeof kBuiltinImageTable);
    return g_table.data();
}
