// The text layer: font and alignment state, line splitting, measuring and drawing (see
// Graphics_Text.h). No host library here.
#include "Files/Font/Font_Text.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Files/Base/QuitRequest.h"
#include "Files/Base/RealConvert.h"
#include "Files/Base/Utf8.h"
#include "Files/Font/Font_Main.h"
#include "Files/Graphics/BuiltinImages.h"
#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Files/Graphics_API/TBitmap.h"

namespace {

struct TextState {
    int32_t font = -1;   // -1: the built-in font
    int32_t halign = 0;  // 0 left, 1 centre, 2 right
    int32_t valign = 0;  // 0 top, 1 middle, 2 bottom
    CFontZB* builtin = nullptr;
    int32_t builtinTexture = -1;
    TextureRecord* builtinRecord = nullptr; // to notice a texture table that was emptied
};
TextState g_text;

// The characters split, for the quit request: a long text stops with no lines, and measuring
// and drawing then stop too (they read the request between lines).
QuitPoll g_poll;
// Characters scanned between two counts of the poll, less one (a mask).
constexpr int32_t kPollRun = 4095;

// Drawing colour (script layout) and alpha.
uint32_t DrawColour() { return GR_Draw_GetColour() & 0xFFFFFF; }
float DrawAlpha() { return (float)GR_Draw_GetAlpha(); }

} // namespace

int32_t Font_WStrLen(const char16_t* text)
{
    int32_t n = 0;
    if (text)
        while (text[n]) ++n;
    return n;
}

// ---- Font and alignment ----------------------------------------------------------------------
void GR_Text_CreateDefaultFont()
{
    const GR_DebugGlyph* glyphs = GR_DebugFont_Glyphs(); // draws the page on first use
    TextureRecord* record = GR_Texture_CreateFromBuiltinImage(GR_BUILTIN_FONT_PAGE);
    const int32_t texture = record ? GR_Texture_AddDeviceTexture(record, 256, 128) : -1;
    int16_t records[GR_DEBUG_GLYPHS][4];
    for (int32_t i = 0; i < GR_DEBUG_GLYPHS; ++i) {
        records[i][0] = glyphs[i].x;
        records[i][1] = glyphs[i].y;
        records[i][2] = glyphs[i].w;
        records[i][3] = glyphs[i].h;
    }
    if (!g_text.builtin) g_text.builtin = new CFontZB();
    g_text.builtin->CreateDefault(records, GR_DEBUG_FIRST_CHAR, GR_DEBUG_LAST_CHAR, texture);
    g_text.builtinTexture = texture;
    g_text.builtinRecord = texture >= 0 ? record : nullptr;
}

void GR_Text_FreeDefaultFont()
{
    if (g_text.builtinTexture >= 0 && GR_Texture_GetPage(g_text.builtinTexture) == g_text.builtinRecord)
        GR_Texture_Free(g_text.builtinTexture);
    delete g_text.builtin;
    g_text.builtin = nullptr;
    g_text.builtinTexture = -1;
    g_text.builtinRecord = nullptr;
}

namespace {
// The built-in font; made again when its texture is gone (made before the device, or the
// texture table was emptied since).
void EnsureBuiltin()
{
    if (!g_text.builtin || g_text.builtinTexture < 0 ||
        GR_Texture_GetPage(g_text.builtinTexture) != g_text.builtinRecord) {
        if (g_text.builtinTexture >= 0 && GR_Texture_GetPage(g_text.builtinTexture) == g_text.builtinRecord &&
            g_text.builtinRecord)
            GR_Texture_Free(g_text.builtinTexture);
        GR_Text_CreateDefaultFont();
    }
}
} // namespace

CFontZB* GR_Text_ActiveFont()
{
    if (CFontZB* f = Font_Data(g_text.font)) return f;
    EnsureBuiltin();
    return g_text.builtin;
}

TextureRecord* GR_Text_DefaultFontRecord()
{
    EnsureBuiltin();
    return g_text.builtinRecord;
}

void GR_Text_SetFont(int32_t index)
{
    if (Font_Exists(index)) {
        g_text.font = index;
        return;
    }
    GR_Text_ActiveFont();
    g_text.font = -1;
}

int32_t GR_Text_GetFont() { return g_text.font; }
void GR_Text_SetHAlign(int32_t value) { g_text.halign = value >= 0 && value <= 2 ? value : 0; }
void GR_Text_SetVAlign(int32_t value) { g_text.valign = value >= 0 && value <= 2 ? value : 0; }
int32_t GR_Text_GetHAlign() { return g_text.halign; }
int32_t GR_Text_GetVAlign() { return g_text.valign; }

// ---- Splitting ---------------------------------------------------------------------------------
namespace {

// Without wrapping, lines end at CR or LF (a CR LF pair leaves an empty line between its
// parts). Each break is written over with 0.
void SplitAtBreaks(TStringList* list, int32_t n)
{
    char16_t* buf = list->buffer.get();
    int32_t breaks = 0;
    for (int32_t i = 0; i < n; ++i) {
        if ((i & kPollRun) == 0 && g_poll.Stop(kPollRun + 1)) return;
        breaks += buf[i] == 13 || buf[i] == 10;
    }
    list->starts.reserve((size_t)breaks + 1);
    int32_t start = 0;
    for (int32_t i = 0; i < n; ++i) {
        if ((i & kPollRun) == 0 && g_poll.Stop(kPollRun + 1)) return;
        if (buf[i] == 13 || buf[i] == 10) {
            buf[i] = 0;
            list->starts.push_back((uint32_t)start);
            start = i + 1;
        }
    }
    if (start < n) list->starts.push_back((uint32_t)start);
}

// Wrapping: only CR ends a line; lines break at spaces before the width is passed. A quit
// request cuts the walks short (the positions stay inside the text) and ends the split.
void SplitWrapped(TStringList* list, int32_t n, int32_t wrap, const CFontZB* font)
{
    char16_t* buf = list->buffer.get();
    int32_t start = 0;
    while (start < n && !QuitRequest_Pending()) {
        int32_t i = start, skipTo = start + 1;
        while (i < n && buf[i] == ' ' && !g_poll.Stop()) ++i; // leading spaces stay but are not measured
        int64_t sum = 0; // shifts can be any 32-bit value
        while (i < n && buf[i] != 13 && sum < wrap && !g_poll.Stop()) {
            sum += font ? font->GetShift((uint16_t)buf[i]) : 0;
            ++i;
        }
        if (sum > wrap) --i;
        if (!(i < n && buf[i] == 13)) {
            if (i == start) return; // not even one character fits: splitting stops here
            if (i != n && buf[i] != ' ') {
                int32_t j = i;
                while (j > start && buf[j] != ' ' && !g_poll.Stop()) --j;
                if (j > start) {
                    i = j;
                    skipTo = j;
                } else {
                    // A word longer than the width stays whole on its line.
                    while (i < n && buf[i] != ' ' && !g_poll.Stop()) ++i;
                }
            }
            if (i < n && buf[i] == ' ' && i > start)
                while (i > start && buf[i - 1] == ' ') --i; // trailing spaces dropped
        }
        if (i == start) {
            // The break falls on the line start: skip it without a line. Walked back to the
            // last of the leading spaces, it would fall on every start up to that space too:
            // those are skipped at once.
            start = skipTo;
            continue;
        }
        buf[i] = 0;
        list->starts.push_back((uint32_t)start);
        start = i + 1;
    }
}

} // namespace

void GR_Text_SplitLines(const char* text, int32_t wrap, TStringList* list, const CFontZB* font)
{
    list->Clear();
    if (!text) return;
    if (wrap < 0) wrap = GR_TEXT_NO_WRAP;
    // The '#' rewrite is decoded into the list's buffer: the caller's (the script's) text
    // stays as it was. A character takes one byte at least; the buffer is not cleared first,
    // so only what is written is touched.
    list->buffer.reset(new char16_t[std::strlen(text) + 1]);
    const int32_t n = String_HashToNewline16(text, list->buffer.get(), &g_poll);
    if (n > 0) {
        if (wrap >= GR_TEXT_NO_WRAP) SplitAtBreaks(list, n);
        else SplitWrapped(list, n, wrap, font);
    }
    if (n <= 0 || QuitRequest_Pending()) list->Clear(); // nothing, or stopped: no lines rather than some
}

// ---- Measuring ---------------------------------------------------------------------------------
int64_t GR_Text_Width(const char* text, int32_t separation, int32_t wrap)
{
    (void)separation;
    CFontZB* font = GR_Text_ActiveFont();
    TStringList lines;
    GR_Text_SplitLines(text, wrap, &lines, font);
    int64_t w = 1;
    for (int32_t i = 0; i < lines.Count() && font && !QuitRequest_Pending(); ++i)
        w = std::max(w, font->TextWidth(lines.Line(i)));
    return w;
}

int64_t GR_Text_Height(const char* text, int32_t separation, int32_t wrap)
{
    CFontZB* font = GR_Text_ActiveFont();
    TStringList lines;
    GR_Text_SplitLines(text, wrap, &lines, font);
    if (lines.Count() == 0 || !font) return 1;
    const int32_t step = separation < 0 ? font->TextHeight() : separation;
    return (int64_t)font->TextHeight() + (int64_t)(lines.Count() - 1) * step;
}

// ---- Drawing -----------------------------------------------------------------------------------
namespace {

// Plain layout: what each line is drawn with.
template <class DrawLine>
void Layout(float x, float y, const char* text, int32_t separation, int32_t wrap, DrawLine draw)
{
    CFontZB* font = GR_Text_ActiveFont();
    if (!font) return;
    TStringList lines;
    GR_Text_SplitLines(text, wrap, &lines, font);
    const int32_t step = separation < 0 ? font->TextHeight() : separation;
    const int32_t k = lines.Count();
    const int64_t block = (int64_t)k * step;
    if (g_text.valign == 1) y -= (float)(block / 2);
    else if (g_text.valign == 2) y -= (float)block;
    for (int32_t i = 0; i < k && !QuitRequest_Pending(); ++i) {
        const char16_t* line = lines.Line(i);
        if (line[0] != 0) {
            const int64_t width = font->TextWidth(line);
            const int64_t offset = g_text.halign == 1 ? -(width / 2) : g_text.halign == 2 ? -(int64_t)width : 0;
            draw(font, x + (float)offset, y, line);
        }
        y += (float)step;
    }
}

template <class DrawLine>
void LayoutTransformed(float x, float y, const char* text, int32_t separation, int32_t wrap, float xscale,
                       float yscale, float angle, DrawLine draw)
{
    CFontZB* font = GR_Text_ActiveFont();
    if (!font) return;
    TStringList lines;
    GR_Text_SplitLines(text, wrap, &lines, font);
    const float a = angle * PI_F / 180.0f, s = std::sin(a), c = std::cos(a);
    const int32_t step = separation < 0 ? font->TextHeight() : separation;
    const float dx = s * yscale * (float)step, dy = c * yscale * (float)step;
    const int32_t k = lines.Count();
    if (g_text.valign == 1) {
        x -= std::round((float)k * dx * 0.5f);
        y -= std::round((float)k * dy * 0.5f);
    } else if (g_text.valign == 2) {
        x -= std::round((float)k * dx);
        y -= std::round((float)k * dy);
    }
    for (int32_t i = 0; i < k && !QuitRequest_Pending(); ++i) {
        const char16_t* line = lines.Line(i);
        if (line[0] != 0) {
            const float width = (float)font->TextWidth(line);
            const float h = g_text.halign == 1 ? std::trunc(width * xscale * -0.5f)
                            : g_text.halign == 2 ? -std::trunc(width * xscale)
                                                 : 0.0f;
            draw(font, x + h * c, y - h * s, line);
        }
        x += dx;
        y += dy;
    }
}

} // namespace

void GR_Text_Draw(float x, float y, const char* text, int32_t separation, int32_t wrap)
{
    const uint32_t colour = DrawColour();
    const float alpha = DrawAlpha();
    Layout(x, y, text, separation, wrap,
           [&](CFontZB* f, float lx, float ly, const char16_t* line) { f->Draw(lx, ly, line, colour, alpha); });
}

void GR_Text_DrawTransformed(float x, float y, const char* text, int32_t separation, int32_t wrap, float xscale,
                             float yscale, float angle)
{
    const uint32_t colour = DrawColour();
    const float alpha = DrawAlpha();
    LayoutTransformed(x, y, text, separation, wrap, xscale, yscale, angle,
                      [&](CFontZB* f, float lx, float ly, const char16_t* line) {
                          f->DrawTransformed(lx, ly, line, xscale, yscale, angle, colour, alpha);
                      });
}

void GR_Text_DrawColour(float x, float y, const char* text, int32_t separation, int32_t wrap, uint32_t c1,
                        uint32_t c2, uint32_t c3, uint32_t c4, float alpha)
{
    Layout(x, y, text, separation, wrap, [&](CFontZB* f, float lx, float ly, const char16_t* line) {
        f->DrawColour(lx, ly, line, c1, c2, c3, c4, alpha);
    });
}

void GR_Text_DrawTransformedColour(float x, float y, const char* text, int32_t separation, int32_t wrap,
                                   float xscale, float yscale, float angle, uint32_t c1, uint32_t c2, uint32_t c3,
                                   uint32_t c4, float alpha)
{
    LayoutTransformed(x, y, text, separation, wrap, xscale, yscale, angle,
                      [&](CFontZB* f, float lx, float ly, const char16_t* line) {
                          f->DrawTransformedColour(lx, ly, line, xscale, yscale, angle, c1, c2, c3, c4, alpha);
                      });
}
