// Sprite and background drawing on the recording fake: frame wrapping, view culling with the
// bounding radius (and when it is off: surfaces, 3D, custom projections), the forms that draw
// nothing, and backgrounds: names, files, duplicates of cropped page entries, alpha.
#include <gtest/gtest.h>

#include "Files/Background/Background_Main.h"
#include "Files/Graphics/Graphics_Bitmap32.h"
#include "Files/Graphics/Graphics_Surface.h"
#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics_API/Graphics_3D.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Sprite/Sprite_Main.h"
#include "ResourceTestSupport.h"
#include "support/CaptureConsole.h"

namespace {

class Drawing : public ResourceFixture {
protected:
    void SetUp() override
    {
        ResourceFixture::SetUp();
        UseFolders();
    }
    // A sprite of n frames of w x h (each frame a texture of its own), origin (ox, oy).
    CSprite* Frames(int32_t n, int32_t w, int32_t h, int32_t ox, int32_t oy)
    {
        std::vector<uint32_t> px((size_t)(w * n * h), 0xFFFFFFFFu);
        WritePng(dir / "prog/f.png", w * n, h, px);
        CSprite* s = Sprite_Data(Sprite_Add("f.png", n, false, false, false, true, ox, oy));
        EXPECT_NE(s, nullptr);
        return s;
    }
    GfxTexture* Tex(const CSprite* s, int32_t f) { return GR_Texture_GetPage(s->textures[f])->texture; }
    // Quads drawn since the last call (lists of six vertices, or fans of four).
    size_t Count() { return Quads(Drawn()); }
    static size_t Quads(const std::vector<FakeDraw>& d)
    {
        size_t n = 0;
        for (const FakeDraw& x : d) n += x.type == 6 ? x.vertexCount() / 4 : x.vertexCount() / 6;
        return n;
    }
};

TEST_F(Drawing, FramesWrap)
{
    CSprite* s = Frames(4, 2, 2, 0, 0);
    s->DrawSimple(-1, 0, 0);
    std::vector<FakeDraw> d = Drawn();
    EXPECT_EQ(Quads(d), 1u);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].texture, Tex(s, 3));
    s->Draw(9, 0, 0, 1, 1, 0, 0xFFFFFF, 1);
    d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].texture, Tex(s, 1));
    s->DrawStretched(-5, 0, 0, 4, 4, 0xFFFFFF, 1);
    d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].texture, Tex(s, 3));
    // Nothing for stretched sizes of 0, and nothing for a sprite without frames.
    s->DrawStretched(0, 0, 0, 0, 4, 0xFFFFFF, 1);
    s->DrawStretched(0, 0, 0, 4, -1, 0xFFFFFF, 1);
    CSprite empty;
    empty.Draw(0, 0, 0, 1, 1, 0, 0xFFFFFF, 1);
    empty.DrawSimple(0, 0, 0);
    EXPECT_EQ(Count(), 0u);
}

TEST_F(Drawing, ViewCullingByTheBoundingRadius)
{
    CSprite* r40 = Frames(1, 64, 48, 32, 24); // radius 40
    CSprite* r20 = Frames(1, 32, 24, 16, 12); // radius 20
    ASSERT_EQ(r40->boundingRadius, 40);
    ASSERT_EQ(r20->boundingRadius, 20);
    Sprite_SetDrawRect(0, 0, 100, 100);
    r40->DrawSimple(0, -30, 50);
    EXPECT_EQ(Count(), 1u) << "30 pixels left of the view, radius 40";
    r20->DrawSimple(0, -30, 50);
    r20->Draw(0, -30, 50, 1, 1, 0, 0xFFFFFF, 1);
    r20->Draw(0, 50, 125, 1, 1, 0, 0xFFFFFF, 1);
    r20->DrawGeneral(0, 0, 0, 32, 24, 130, 50, 1, 1, 0, 0, 0, 0, 0, 1);
    EXPECT_EQ(Count(), 0u) << "radius 20";
    r20->Draw(0, -30, 50, -2, 1, 0, 0xFFFFFF, 1);
    EXPECT_EQ(Count(), 1u) << "x scale -2 culls with twice the radius";
    r20->DrawGeneral(0, 0, 0, 32, 24, -30, 50, 2, 1, 0, 0, 0, 0, 0, 1);
    EXPECT_EQ(Count(), 1u);
    // The forms that do not cull.
    r20->DrawStretched(0, -300, 50, 4, 4, 0xFFFFFF, 1);
    r20->DrawPart(0, 0, 0, 4, 4, -300, 50, 1, 1, 0xFFFFFF, 1);
    EXPECT_EQ(Count(), 2u);
    // 3D mode: the general draw does not cull; the simple one still does.
    GR_3D_SetMode(true);
    r20->Draw(0, -300, 50, 1, 1, 0, 0xFFFFFF, 1);
    EXPECT_EQ(Count(), 1u);
    GR_3D_SetMode(false);
    // A custom projection switches culling off.
    GR_3D_SetProjectionOrtho(0, 0, 100, 100, 0);
    r20->DrawSimple(0, -300, 50);
    EXPECT_EQ(Count(), 1u);
    GR_CustomProjection = 0;
    // Drawing to a surface never culls.
    const int32_t surface = GR_Surface_Create(16, 16);
    ASSERT_TRUE(GR_Surface_SetTarget(surface));
    GR_CustomProjection = 0; // even with the flag cleared behind its back
    r20->DrawSimple(0, -300, 50);
    r20->DrawGeneral(0, 0, 0, 32, 24, -300, 50, 1, 1, 0, 0, 0, 0, 0, 1);
    EXPECT_EQ(Count(), 2u);
    GR_Surface_ResetTarget();
    Sprite_ResetDrawRect();
    r20->DrawSimple(0, -30000, 50);
    EXPECT_EQ(Count(), 1u) << "without a room rectangle nothing is culled";
}

TEST_F(Drawing, DrawPlacesTheOriginAndPosUsesPageEntries)
{
    CSprite* s = Frames(1, 10, 6, 4, 2);
    s->DrawSimple(0, 100, 50);
    std::vector<FakeDraw> d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_FLOAT_EQ(d[0].F(0, 0), 96.0f);
    EXPECT_FLOAT_EQ(d[0].F(0, 1), 48.0f);
    s->DrawPos(0, 0, 0, 10, 0, 10, 10, 0, 10, 0.5f);
    d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_FLOAT_EQ(d[0].F(2, 0), 10.0f);
    EXPECT_EQ(d[0].Colour(0) >> 24, 127u);
}

// ---- Backgrounds ---------------------------------------------------------------------------------
TEST_F(Drawing, BackgroundNamesAndFailures)
{
    for (int i = 0; i < 5; ++i) Background_AddEmpty();
    WritePng(dir / "prog/b.png", 4, 3, std::vector<uint32_t>(12, 0x808080FFu));
    Scratch_WriteFile(dir / "prog/notpng.png", "GIF89a....");
    EXPECT_EQ(Background_Add("b.png", false, false, true), 5);
    EXPECT_EQ(Background_Add("b.png", true, false, true), 6);
    EXPECT_STREQ(Background_GetName(5), "__newbackground5");
    EXPECT_STREQ(Background_GetName(6), "__newbackground6");
    EXPECT_STREQ(Background_GetName(-1), "<undefined>");
    // A file that is not a PNG image fails (no slot, no name left behind).
    EXPECT_EQ(Background_Add("notpng.png", false, false, true), -1);
    EXPECT_EQ(Background_AddAlpha("missing.png", true), -1);
    EXPECT_EQ(Background_Count(), 7);
    EXPECT_EQ(Background_AddEmpty(), 7);
    EXPECT_FALSE(Background_Replace(5, "notpng.png", false, false, true));
    EXPECT_EQ(Background_Data(5)->GetWidth(), 4) << "left as it was";
    EXPECT_FALSE(Background_Replace(99, "b.png", false, false, true));
    EXPECT_TRUE(Background_Delete(6));
    EXPECT_EQ(Background_Find("__newbackground6"), -1);
    EXPECT_TRUE(Background_ReplaceAlpha(6, "b.png", true)) << "a missing record is made";
    EXPECT_EQ(Background_Data(6)->GetHeight(), 3);
    EXPECT_TRUE(Background_Assign(1, 5));
    EXPECT_EQ(Background_Data(1)->GetWidth(), 4);
    EXPECT_NE(Background_Data(1)->bitmap, Background_Data(5)->bitmap) << "a deep copy";
    EXPECT_TRUE(Background_Assign(5, 5));
    EXPECT_EQ(Background_Data(5)->GetWidth(), 4);
}

TEST_F(Drawing, DuplicateOfACroppedPageEntryKeepsTheFullImage)
{
    // A 6 x 5 image stored cropped: its 3 x 2 opaque part sits at (1, 2) and lies at (2, 1) on
    // the page.
    std::vector<uint32_t> page(8 * 8, 0);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x) page[(size_t)((1 + y) * 8 + 2 + x)] = 0xFF000000u | (uint32_t)(y * 16 + x);
    const int32_t texture = GR_Texture_CreateFromPixels(8, 8, page.data(), (uint32_t)page.size() * 4);
    TexturePageEntry entry{2, 1, 3, 2, 1, 2, 3, 2, 6, 5, (int16_t)texture};
    const int32_t index = Background_AddEmpty();
    CBackground* b = Background_Data(index);
    b->pageEntry = &entry;
    b->width = 6;
    b->height = 5;
    const int32_t copy = Background_Duplicate(index);
    ASSERT_GE(copy, 0);
    const CBackground* c = Background_Data(copy);
    EXPECT_EQ(c->GetWidth(), 6);
    EXPECT_EQ(c->GetHeight(), 5);
    ASSERT_NE(c->bitmap, nullptr);
    EXPECT_EQ(c->bitmap->width, 6);
    EXPECT_EQ(c->bitmap->height, 5);
    EXPECT_EQ(c->bitmap->pixels[2 * 6 + 1], 0xFF000000u);
    EXPECT_EQ(c->bitmap->pixels[3 * 6 + 3], 0xFF000012u);
    EXPECT_EQ(c->bitmap->pixels[0], 0u);
    EXPECT_EQ(c->pageEntry, nullptr);
    EXPECT_TRUE(GR_Texture_Exists(c->texture));
    b->pageEntry = nullptr; // the entry lives on this stack
    // Alpha from another background needs bitmaps on both sides.
    CaptureConsole log;
    CBackground fileLike;
    TexturePageEntry other = entry;
    fileLike.pageEntry = &other;
    Background_Data(copy)->SetAlphaFromBackground(&fileLike);
    EXPECT_TRUE(log.Has("Both bitmaps need to be duplicated first\n"));
    fileLike.pageEntry = nullptr;
}

TEST_F(Drawing, BackgroundForms)
{
    const int32_t index = Background_AddEmpty();
    CBackground* b = Background_Data(index);
    b->CreateColor(8, 4, 0x0000FF, true);
    EXPECT_EQ(b->bitmap->pixels[0], 0xFFFF0000u);
    b->DrawStretched(0, 0, 0, 10, 0xFFFFFF, 1);
    EXPECT_EQ(Count(), 0u) << "stretched to a width of 0";
    b->DrawStretched(0, 0, 16, 8, 0xFFFFFF, 1);
    std::vector<FakeDraw> d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_FLOAT_EQ(d[0].F(2, 0), 16.0f);
    b->DrawTiled(1, 1, 1, 1, true, true, 0, 0, 32, 8, 0xFFFFFF, 1);
    EXPECT_GE(Count(), 4u) << "4 across the area (and the partly covered edge)";
    b->CreateGradient(4, 4, 0x000000, 0xFFFFFF, 0, false);
    EXPECT_EQ(b->GetWidth(), 4);
    EXPECT_FALSE(b->GetPreload());
}

} // namespace
