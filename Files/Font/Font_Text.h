// Text drawing: the current font and alignment, measuring (string_width, string_height and
// their wrapped forms) and drawing with line separation, wrapping, scaling, rotation and
// colour gradients. Text arrives as UTF-8; '#' ends a line (a backslash before it gives a
// literal '#'), the text is split into lines of UTF-16 characters and each line goes to the
// active font's glyph drawing. Without a valid font the built-in debug font is used, made on
// first need. The caller's text is never changed (the '#' rewrite works on a copy).
//
// Measures are the true sums in 64 bits (glyph shifts and separations take any 32-bit value):
// a width or height never wraps and is never held at a limit. A quit request
// (Files/Base/QuitRequest.h) stops splitting, measuring and drawing a long text part way: the
// split gives no lines, a measure is then 1 and a drawing stops where it was.
//
// Needs: fonts (Files/Font), the drawing colour and alpha, the built-in image table (the
// debug font page), the UTF-8 helpers. No Linux/ file.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct TextureRecord;

class CFontZB;

// The lines of one call over one UTF-16 buffer the list owns.
struct TStringList {
    std::unique_ptr<char16_t[]> buffer; // the rewritten text, each line ended by a 0
    std::vector<uint32_t> starts;       // where each line begins in the buffer
    int32_t Count() const { return (int32_t)starts.size(); }
    const char16_t* Line(int32_t i) const { return buffer.get() + starts[(size_t)i]; }
    void Clear()
    {
        buffer.reset();
        starts.clear();
    }
};

enum { GR_TEXT_NO_WRAP = 10000000 };

void GR_Text_SetFont(int32_t index);
int32_t GR_Text_GetFont();
void GR_Text_SetHAlign(int32_t value);
void GR_Text_SetVAlign(int32_t value);
int32_t GR_Text_GetHAlign();
int32_t GR_Text_GetVAlign();
// The font measuring and drawing use: the current font, else the built-in one.
CFontZB* GR_Text_ActiveFont();

// Separation or wrap width below 0: the font's line height, no wrapping. At least 1.
int64_t GR_Text_Width(const char* text, int32_t separation, int32_t wrap);
int64_t GR_Text_Height(const char* text, int32_t separation, int32_t wrap);
void GR_Text_Draw(float x, float y, const char* text, int32_t separation, int32_t wrap);
void GR_Text_DrawTransformed(float x, float y, const char* text, int32_t separation, int32_t wrap, float xscale,
                             float yscale, float angle);
void GR_Text_DrawColour(float x, float y, const char* text, int32_t separation, int32_t wrap, uint32_t c1,
                        uint32_t c2, uint32_t c3, uint32_t c4, float alpha);
void GR_Text_DrawTransformedColour(float x, float y, const char* text, int32_t separation, int32_t wrap,
                                   float xscale, float yscale, float angle, uint32_t c1, uint32_t c2, uint32_t c3,
                                   uint32_t c4, float alpha);
void GR_Text_SplitLines(const char* text, int32_t wrap, TStringList* list, const CFontZB* font);

void GR_Text_CreateDefaultFont();
void GR_Text_FreeDefaultFont();
// The device texture of the built-in font's page (built-in image 15), shared with the debug
// overlay's text (made when it is gone, as for drawing); null without a device.
TextureRecord* GR_Text_DefaultFontRecord();
// Number of 16-bit units before the terminating 0.
int32_t Font_WStrLen(const char16_t* text);

