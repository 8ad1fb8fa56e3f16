// Fonts and text: sprite fonts, system fonts through fontconfig and FreeType (any installed
// face; fonts-dejavu-core at least),
// the platform font record, the built-in debug font, the font table, widths of missing
// characters and empty fonts; then text: line splitting with '#' and wrapping, measuring,
// alignment, and a caller's text that must come back unchanged.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/stat.h>

#include "Files/Base/QuitRequest.h"
#include "Files/Font/Font_Main.h"
#include "Files/Font/Font_Text.h"
#include "Files/Graphics/BuiltinImages.h"
#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics/TFont.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Sprite/Sprite_Main.h"
#include "Platform/MemoryManager.h"
#include "ResourceTestSupport.h"

namespace {

class Fonts : public ResourceFixture {
protected:
    void SetUp() override
    {
        ResourceFixture::SetUp();
        UseFolders();
    }
    // A sprite of frames of w x h: frame 0 opaque in columns 2..5, the others fully opaque.
    int32_t GlyphSprite(int32_t frames, int32_t w, int32_t h)
    {
        std::vector<uint32_t> px;
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w * frames; ++x)
                px.push_back(x >= w || (x >= 2 && x <= 5) ? 0xFFFFFFFFu : 0xFFFFFF00u);
        WritePng(dir / "prog/glyphs.png", w * frames, h, px);
        return Sprite_Add("glyphs.png", frames, true, false, false, true, 0, 0);
    }
};

TEST_F(Fonts, SpriteFontsAddASpaceAndSortTheirGlyphs)
{
    const int32_t sprite = GlyphSprite(2, 10, 12);
    const int32_t f = Font_AddSpriteExt(sprite, "ABC", true, 1);
    const CFontZB* font = Font_Data(f);
    ASSERT_NE(font, nullptr);
    ASSERT_EQ(font->glyphCount, 3) << "A, B and an added space (C has no frame)";
    EXPECT_EQ(font->glyphs[0].character, ' ');
    const FontGlyph* a = font->GetGlyph('A');
    const FontGlyph* b = font->GetGlyph('B');
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->width, 0) << "frame index";
    EXPECT_EQ(b->width, 1);
    EXPECT_EQ(a->shift, 6 + 1 - 2) << "proportional: opaque columns 2..5, separation 1";
    EXPECT_EQ(a->offset, -2);
    EXPECT_EQ(b->shift, 11);
    EXPECT_EQ(font->GetGlyph(' ')->shift, 11) << "the widest non-space glyph";
    EXPECT_EQ(font->GetGlyph('C'), nullptr);
    EXPECT_EQ(font->GetFirst(), 32);
    EXPECT_EQ(font->GetLast(), 35);
    EXPECT_EQ(font->lineHeight, 12);
    // Not proportional: every glyph the sprite's width plus the separation.
    const CFontZB* fixed = Font_Data(Font_AddSpriteExt(sprite, "AB ", false, 2));
    EXPECT_EQ(fixed->GetGlyph('A')->shift, 12);
    EXPECT_EQ(fixed->GetGlyph(' ')->shift, 12) << "a space given in the text keeps its own width";
    // Separations at the ends of 32 bits: shifts and widths stay in range, and the text lays
    // out and draws in every alignment.
    for (int32_t sep : {INT32_MAX, INT32_MIN}) {
        const int32_t huge = Font_AddSpriteExt(sprite, "AB", false, sep);
        EXPECT_EQ(Font_Data(huge)->GetGlyph('A')->shift, sep > 0 ? INT32_MAX : INT32_MIN + 10);
        GR_Text_SetFont(huge);
        EXPECT_EQ(GR_Text_Width("ABAB", -1, -1), sep > 0 ? 4 * (int64_t)INT32_MAX : 1) << "the true width";
        for (int32_t align : {0, 1, 2}) {
            GR_Text_SetHAlign(align);
            GR_Text_Draw(0, 0, "ABAB", -1, -1);
            GR_Text_DrawColour(0, 0, "ABAB", -1, -1, 0xFF, 0xFF00, 0xFF0000, 0, 1);
            GR_Text_DrawTransformedColour(0, 0, "ABAB", -1, -1, 1, 1, 30, 0xFF, 0xFF00, 0xFF0000, 0, 1);
        }
        EXPECT_EQ(GR_Text_Height("A B A B", -1, 8), sep > 0 ? 1 : 12) << "nothing fits, or everything does";
    }
    GR_Text_SetHAlign(0);
    GR_Text_SetFont(-1);
    // A sprite that does not exist gives an empty font at a new index.
    const int32_t none = Font_AddSprite(99, 32, true, 0);
    EXPECT_TRUE(Font_Exists(none));
    EXPECT_EQ(Font_Data(none)->glyphCount, 0);
}

TEST_F(Fonts, CodePointsOfFontAddSpriteStopAtTheTable)
{
    const int32_t sprite = GlyphSprite(5, 4, 4);
    const CFontZB* f = Font_Data(Font_AddSprite(sprite, 253, false, 0));
    ASSERT_EQ(f->glyphCount, 4) << "253, 254, 255 and the space";
    EXPECT_NE(f->GetGlyph(255), nullptr);
    EXPECT_EQ(f->GetGlyph(256), nullptr);
    const CFontZB* g = Font_Data(Font_AddSprite(sprite, 65, false, 0));
    EXPECT_NE(g->GetGlyph('E'), nullptr);
    EXPECT_EQ(g->GetGlyph('F'), nullptr);
}

TEST_F(Fonts, TableNamesAndLookups)
{
    Font_AddSpriteExt(-1, "", false, 0);
    Font_AddSpriteExt(-1, "", false, 0);
    EXPECT_EQ(Font_AddSpriteExt(-1, "", false, 0), 2);
    EXPECT_STREQ(Font_GetName(2), "__newfont2");
    EXPECT_EQ(Font_Find("__newfont1"), 1);
    EXPECT_EQ(Font_Find("__NewFont1"), -1);
    EXPECT_TRUE(Font_Delete(1));
    EXPECT_FALSE(Font_Delete(1));
    EXPECT_EQ(Font_Find("__newfont1"), -1);
    EXPECT_STREQ(Font_GetName(1), "<undefined>");
    EXPECT_FALSE(Font_ReplaceSpriteExt(1, -1, "", false, 0)) << "deleted";
    EXPECT_FALSE(Font_ReplaceSpriteExt(7, -1, "", false, 0));
    const int32_t sprite = GlyphSprite(1, 4, 4);
    EXPECT_TRUE(Font_ReplaceSpriteExt(2, sprite, "x", false, 0));
    EXPECT_STREQ(Font_GetName(2), "__newfont2") << "the name stays";
    EXPECT_NE(Font_Data(2)->GetGlyph('x'), nullptr);
}

TEST_F(Fonts, MissingCharactersAndEmptyFonts)
{
    const int32_t sprite = GlyphSprite(2, 10, 12);
    const CFontZB* f = Font_Data(Font_AddSpriteExt(sprite, "AB", false, 0));
    // The width counts a missing character with the first glyph's shift (the space, 10).
    const char16_t text[] = {'A', 0x263A, 'B', 0};
    EXPECT_EQ(f->TextWidth(text), 30);
    EXPECT_EQ(f->TextWidth(nullptr), 0);
    // A font without glyphs is 0 wide and draws nothing, in any form.
    const CFontZB* empty = Font_Data(Font_Add("DejaVu Sans", 12, false, false, 100, 50));
    ASSERT_EQ(empty->glyphCount, 0);
    const char16_t hello[] = {'h', 'i', 0};
    EXPECT_EQ(empty->TextWidth(hello), 0);
    EXPECT_EQ(empty->GetShift('h'), 0);
    empty->Draw(0, 0, hello, 0xFFFFFF, 1);
    empty->DrawColour(0, 0, hello, 1, 2, 3, 4, 1);
    empty->DrawTransformed(0, 0, hello, 2, 2, 30, 0xFFFFFF, 1);
    empty->DrawTransformedColour(0, 0, hello, 2, 2, 30, 1, 2, 3, 4, 1);
    EXPECT_TRUE(Drawn().empty());
}

// Whatever face fontconfig substitutes for a family (DejaVu, Liberation, Nimbus, Noto,
// FreeFont...), what the runner decides holds: the glyphs have ink, a bold face is asked for
// and drawn bold, a family that is not installed falls back to one that is.
TEST_F(Fonts, SystemFontsThroughFontconfigAndFreeType)
{
    auto ink = [](const CFontZB* f, const char* text) {
        uint64_t sum = 0;
        for (const char* c = text; *c; ++c) {
            const FontGlyph* g = f->GetGlyph(uint8_t(*c));
            if (!g) continue;
            for (int32_t y = g->y; y < g->y + g->height; ++y)
                for (int32_t x = g->x; x < g->x + g->width; ++x) sum += f->bitmap[y * f->pageWidth + x];
        }
        return sum;
    };
    const int32_t index = Font_Add("Arial", 12, false, false, -5, 300);
    const CFontZB* f = Font_Data(index);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->GetFirst(), 0);
    EXPECT_EQ(f->GetLast(), 255);
    EXPECT_STREQ(f->GetName(), "Arial");
    EXPECT_EQ(f->antialias, 3);
    const FontGlyph* a = f->GetGlyph('A');
    ASSERT_NE(a, nullptr) << "Arial resolves to an installed substitute";
    EXPECT_GT(a->width, 5);
    EXPECT_GT(a->shift, 5);
    EXPECT_GE(f->lineHeight, 16) << "12 points are 16 pixels at 96 dpi";
    EXPECT_TRUE(GR_Texture_Exists(f->texture)) << "the 8-bit page was uploaded";
    EXPECT_GT(ink(f, "A"), 255u * 10) << "the glyph's cell holds ink";
    // Bold is asked for, chosen (a bold face or the regular one emboldened) and drawn heavier,
    // for every family a game may name and whatever face fontconfig gives for it here.
    for (const char* family : {"Arial", "Helvetica", "Times New Roman", "Nimbus Sans", "FreeSans", "Noto Sans",
                               "Liberation Sans", "DejaVu Sans"}) {
        TFont regular, heavy;
        regular.SetName(family);
        heavy.SetName(family);
        heavy.SetStyle(1);
        ASSERT_TRUE(regular.GetHandle() && heavy.GetHandle()) << family;
        SCOPED_TRACE(std::string(family) + ": " + TFont_HandleFile(regular.GetHandle()) + ", bold " +
                     TFont_HandleFile(heavy.GetHandle()));
        EXPECT_FALSE(TFont_HandleBold(regular.GetHandle()));
        EXPECT_TRUE(TFont_HandleBold(heavy.GetHandle()));
        const CFontZB* plain = Font_Data(Font_Add(family, 12, false, false, 32, 127));
        const CFontZB* bold = Font_Data(Font_Add(family, 12, true, false, 32, 127));
        EXPECT_GT(ink(plain, "A"), 255u * 10);
        EXPECT_GT(ink(bold, "ABCDEFGHIJKLMNOPQRSTUVWXYZ"), ink(plain, "ABCDEFGHIJKLMNOPQRSTUVWXYZ"));
    }
    // A family that is not installed falls back to a face that draws.
    const CFontZB* fallback = Font_Data(Font_Add("Zimbrel No Such Family", 12, false, false, 32, 127));
    ASSERT_NE(fallback->GetGlyph('A'), nullptr);
    EXPECT_GT(ink(fallback, "A"), 255u * 10);
    // Replacing draws the new face.
    EXPECT_TRUE(Font_Replace(index, "DejaVu Sans Mono", 20, false, true, 32, 127));
    EXPECT_EQ(Font_Data(index)->GetGlyph('i')->shift, Font_Data(index)->GetGlyph('W')->shift) << "monospace";
}

TEST_F(Fonts, PlatformFontRecord)
{
    TFont font;
    EXPECT_EQ(font.GetName(), nullptr);
    EXPECT_EQ(font.GetHandle(), nullptr);
    font.SetName("Arial");
    char* name = font.GetName();
    EXPECT_STREQ(name, "Arial");
    MEM_FREE(name);
    ASSERT_NE(font.GetHandle(), nullptr);
    struct stat st;
    EXPECT_EQ(stat(TFont_HandleFile(font.GetHandle()), &st), 0) << TFont_HandleFile(font.GetHandle());
    EXPECT_STRNE(TFont_HandleFamily(font.GetHandle()), "");
    // Heights: negative asks for the character height, positive for the cell.
    font.SetHeight(TFont_HeightForSize(12));
    EXPECT_EQ(font.GetHeight(), -16);
    EXPECT_EQ(TFont_HandlePixelSize(font.GetHandle()), 16);
    font.SetHeight(TFont_HeightForSize(-20));
    EXPECT_EQ(font.GetHeight(), 27);
    EXPECT_LT(TFont_HandlePixelSize(font.GetHandle()), 27) << "the cell holds the em square and the leading";
    EXPECT_GT(TFont_HandlePixelSize(font.GetHandle()), 18);
    // Every setter makes the face again; the size is only stored.
    const int32_t before = font.Rebuilds();
    const int32_t pixels = TFont_HandlePixelSize(font.GetHandle());
    font.SetSize(40);
    EXPECT_EQ(font.Rebuilds(), before + 1);
    EXPECT_EQ(font.GetSize(), 40);
    EXPECT_EQ(TFont_HandlePixelSize(font.GetHandle()), pixels);
    font.SetStyle(3);
    EXPECT_EQ(font.GetStyle(), 3u);
    ASSERT_NE(font.GetHandle(), nullptr) << "bold italic (made synthetically when the face lacks it)";
    TFont copy;
    copy.Assign(&font);
    EXPECT_EQ(copy.GetStyle(), 3u);
    EXPECT_EQ(copy.GetHeight(), 27);
    EXPECT_EQ(copy.GetSize(), 40);
    font.SetName(nullptr);
    EXPECT_EQ(font.GetName(), nullptr);
    // A name reused in place when it fits.
    copy.SetName("DejaVu Serif");
    copy.SetName("Serif");
    char* serif = copy.GetName();
    EXPECT_STREQ(serif, "Serif");
    MEM_FREE(serif);
}

TEST_F(Fonts, TheDebugFont)
{
    CFontZB* f = GR_Text_ActiveFont();
    ASSERT_NE(f, nullptr);
    EXPECT_STREQ(f->GetName(), "debug");
    EXPECT_EQ(f->glyphCount, 105);
    EXPECT_EQ(f->GetFirst(), 32);
    EXPECT_EQ(f->GetLast(), 136);
    EXPECT_EQ(f->lineHeight, 15);
    EXPECT_EQ(f->GetSize(), 10);
    ASSERT_NE(f->pageEntry, nullptr);
    EXPECT_EQ(f->pageEntry->srcWidth, 256);
    EXPECT_EQ(f->pageEntry->fullHeight, 128);
    EXPECT_TRUE(GR_Texture_Exists(f->pageEntry->texturePage));
    const FontGlyph* g = f->GetGlyph(136);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->shift, g->width);
    EXPECT_EQ(g->offset, 0);
    EXPECT_EQ(f->GetGlyph(137), nullptr);
    // Every glyph lies on the page.
    for (int32_t i = 0; i < f->glyphCount; ++i) {
        EXPECT_LE(f->glyphs[i].x + f->glyphs[i].width, 256);
        EXPECT_LE(f->glyphs[i].y + f->glyphs[i].height, 128);
    }
    // A character without a glyph is a collapsed quad and does not move the pen.
    const char16_t text[] = {'A', 0x263A, 'B', 0};
    f->Draw(10, 20, text, 0xFFFFFF, 1);
    std::vector<FakeDraw> d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    ASSERT_EQ(d[0].vertexCount(), 18u);
    EXPECT_FLOAT_EQ(d[0].F(12, 0), 10.0f + (float)f->GetShift('A') - 0.5f) << "B follows A directly";
    EXPECT_FLOAT_EQ(d[0].F(6, 0), d[0].F(8, 0)) << "collapsed";
    // The transformed form hands the missing character's vertices back.
    f->DrawTransformed(10, 20, text, 1, 1, 90, 0xFFFFFF, 1);
    d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].vertexCount(), 12u);
}

// ---- Text ----------------------------------------------------------------------------------------
class Text : public ResourceFixture {
protected:
    std::vector<std::u16string> Lines(const char* text, int32_t wrap)
    {
        TStringList list;
        GR_Text_SplitLines(text, wrap, &list, GR_Text_ActiveFont());
        std::vector<std::u16string> out;
        for (int32_t i = 0; i < list.Count(); ++i) out.push_back(list.Line(i));
        return out;
    }
    int32_t W(char c) { return GR_Text_ActiveFont()->GetShift((uint16_t)c); }
};

TEST_F(Text, HashesAndLineBreaks)
{
    EXPECT_EQ(Lines("a#b", -1), (std::vector<std::u16string>{u"a", u"b"}));
    EXPECT_EQ(Lines("a\\#b", -1), (std::vector<std::u16string>{u"a#b"}));
    EXPECT_EQ(Lines("a\r\nb", -1), (std::vector<std::u16string>{u"a", u"", u"b"})) << "CR LF leaves an empty line";
    EXPECT_EQ(Lines("a\nb", -1).size(), 2u) << "without wrapping LF ends a line";
    EXPECT_EQ(Lines("a\nb", 1000).size(), 1u) << "with wrapping it does not";
    EXPECT_EQ(Lines("a#b", 1000).size(), 2u) << "'#' ends a line in both";
    EXPECT_TRUE(Lines("", -1).empty());
    EXPECT_TRUE(Lines(nullptr, -1).empty());
    EXPECT_EQ(Lines("end#", -1).size(), 1u);
}

TEST_F(Text, Wrapping)
{
    const int32_t w = W('a');
    ASSERT_GT(w, 0);
    // Breaks at spaces; trailing spaces at a break are dropped.
    EXPECT_EQ(Lines("aaa bbb ccc", w * 7 + 1), (std::vector<std::u16string>{u"aaa bbb", u"ccc"}));
    EXPECT_EQ(Lines("aaa  bbb", w * 5), (std::vector<std::u16string>{u"aaa", u" bbb"}));
    // A word longer than the width stays whole.
    EXPECT_EQ(Lines("aaaaaaaaaa b", w * 4), (std::vector<std::u16string>{u"aaaaaaaaaa", u"b"}));
    EXPECT_EQ(Lines("    aaaaaaaaaa b", w * 4), (std::vector<std::u16string>{u" aaaaaaaaaa", u"b"}))
        << "spaces before it: the starts up to the last are skipped";
    // A width smaller than the first character stops the splitting there.
    EXPECT_TRUE(Lines("abc def", w - 1).empty());
    EXPECT_EQ(Lines("ab cd#ef", w * 2 + 1), (std::vector<std::u16string>{u"ab", u"cd", u"ef"}));
}

TEST_F(Text, Measuring)
{
    EXPECT_EQ(GR_Text_Width("", -1, -1), 1);
    EXPECT_EQ(GR_Text_Height("", -1, -1), 1);
    EXPECT_EQ(GR_Text_Height("a\rb", -1, -1), 30) << "15-pixel lines";
    EXPECT_EQ(GR_Text_Height("a#b", 20, -1), 35);
    EXPECT_EQ(GR_Text_Width("ab#abcd", -1, -1), 4 * W('a'));
    EXPECT_EQ(GR_Text_Width("aaaa aaaa", -1, W('a') * 5), 4 * W('a'));
    // Past 2^31 a height is the true sum, never wrapped.
    EXPECT_EQ(GR_Text_Height("a#b#c", 2000000000, -1), 15 + 4000000000LL);
    EXPECT_EQ(GR_Text_Height("a#b", INT32_MAX, -1), 15 + (int64_t)INT32_MAX);
}

TEST_F(Text, AQuitRequestStopsLongTextsPartWay)
{
    const int32_t n = 200000;
    const std::string line(n, 'a');
    std::string lines;
    for (int32_t i = 0; i < n / 2; ++i) lines += "a#";
    const std::u16string wide(n, u'a');
    CFontZB* font = GR_Text_ActiveFont();
    struct Lowered {
        ~Lowered() { QuitRequest_Clear(); }
    } lowered;
    QuitRequest_Raise();
    EXPECT_TRUE(Lines(lines.c_str(), -1).empty()) << "no lines rather than some";
    EXPECT_EQ(GR_Text_Width(line.c_str(), -1, -1), 1);
    EXPECT_EQ(GR_Text_Height(lines.c_str(), -1, -1), 1);
    EXPECT_LT(font->TextWidth(wide.c_str()), (int64_t)n * W('a'));
    // Each glyph loop stops part way.
    for (int form = 0; form < 3; ++form) {
        SCOPED_TRACE(form);
        if (form == 0) font->Draw(0, 0, wide.c_str(), 0xFFFFFF, 1);
        else if (form == 1) font->DrawTransformed(0, 0, wide.c_str(), 1, 1, 30, 0xFFFFFF, 1);
        else font->DrawColour(0, 0, wide.c_str(), 1, 2, 3, 4, 1);
        size_t vertices = 0;
        for (const FakeDraw& d : Drawn()) vertices += d.vertexCount();
        EXPECT_GT(vertices, 0u);
        EXPECT_LT(vertices, 6u * (size_t)n);
    }
    // Lowered again, the same texts split and measure whole.
    QuitRequest_Clear();
    EXPECT_EQ(Lines(lines.c_str(), -1).size(), (size_t)n / 2);
    EXPECT_EQ(GR_Text_Width(line.c_str(), -1, -1), (int64_t)n * W('a'));
}

TEST_F(Text, AlignmentAndTheCallersText)
{
    // A sprite font whose 'x' is 15 pixels wide: centred, it moves by -7.
    UseFolders();
    WritePng(dir / "prog/x.png", 15, 4, std::vector<uint32_t>(60, 0xFFFFFFFFu));
    const int32_t font = Font_AddSpriteExt(Sprite_Add("x.png", 1, false, false, false, true, 0, 0), "x", false, 0);
    GR_Text_SetFont(font);
    EXPECT_EQ(GR_Text_GetFont(), font);
    GR_Text_SetHAlign(1);
    GR_Text_Draw(100, 50, "x", -1, -1);
    std::vector<FakeDraw> d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_FLOAT_EQ(d[0].F(0, 0), 93.0f);
    GR_Text_SetHAlign(2);
    GR_Text_Draw(100, 50, "x", -1, -1);
    d = Drawn();
    EXPECT_FLOAT_EQ(d[0].F(0, 0), 85.0f);
    GR_Text_SetHAlign(7);
    EXPECT_EQ(GR_Text_GetHAlign(), 0) << "anything else is left";
    GR_Text_SetVAlign(2);
    GR_Text_Draw(100, 50, "x#x", -1, -1);
    d = Drawn();
    EXPECT_FLOAT_EQ(d[0].F(0, 1), 42.0f) << "bottom: up by two lines of 4";
    GR_Text_SetVAlign(0);
    // The caller's text keeps its '#' (the rewrite works on a copy).
    char text[] = "a#b\\#c";
    GR_Text_Draw(0, 0, text, -1, -1);
    GR_Text_Draw(0, 0, text, -1, -1);
    EXPECT_STREQ(text, "a#b\\#c");
    // A font that goes away falls back to the built-in one; setting it stores -1.
    Font_Delete(font);
    EXPECT_STREQ(GR_Text_ActiveFont()->GetName(), "debug");
    GR_Text_SetFont(font);
    EXPECT_EQ(GR_Text_GetFont(), -1);
}

TEST_F(Text, ColourGradientsSpreadOverEachLine)
{
    // Debug font: corner colours of the first and last glyph of "ab".
    GR_Text_DrawColour(0, 0, "ab", -1, -1, 0x0000FF, 0x00FF00, 0xFF0000, 0x000000, 1);
    std::vector<FakeDraw> d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    ASSERT_EQ(d[0].vertexCount(), 12u);
    EXPECT_EQ(d[0].Colour(0), 0xFFFF0000u) << "top left of the line: c1";
    EXPECT_EQ(d[0].Colour(7), 0xFF00FF00u) << "top right of the last glyph: c2";
    EXPECT_EQ(d[0].Colour(8), 0xFF0000FFu) << "bottom right: c3";
    // Half way along the line the colours are mixed.
    const uint32_t mid = d[0].Colour(1);
    EXPECT_NE(mid, 0xFFFF0000u);
    EXPECT_NE(mid, 0xFF00FF00u);
}

} // namespace
