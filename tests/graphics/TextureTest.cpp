// The texture table and the quad back ends on the recording fake: vertices, uvs, colours,
// orders, cropping of page entries, tiling starts and page-entry handles.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "Files/Graphics/Graphics_Bitmap32.h"
#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics_API/Graphics_3D.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "support/FakeGraphics.h"

namespace {

class TextureTest : public GraphicsFixture {
protected:
    int32_t Image(int32_t w, int32_t h)
    {
        std::vector<uint32_t> px((size_t)w * h, 0xFFFFFFFFu);
        return GR_Texture_CreateFromPixels(w, h, px.data(), (uint32_t)px.size() * 4);
    }
    const FakeDraw& Drawn()
    {
        dev()->draws.clear();
        GR_D3D_Flush();
        EXPECT_FALSE(dev()->draws.empty());
        return dev()->draws.back();
    }
};

TEST_F(TextureTest, TableSlotsAndSizes)
{
    int32_t a = Image(100, 50);
    ASSERT_GE(a, 0);
    EXPECT_TRUE(GR_Texture_Exists(a));
    EXPECT_FLOAT_EQ(GR_Texture_GetWidth(a), 0.78125f);
    EXPECT_FLOAT_EQ(GR_Texture_GetHeight(a), 50.0f / 64.0f);
    GR_Texture_Free(a);
    EXPECT_FALSE(GR_Texture_Exists(a));
    EXPECT_FLOAT_EQ(GR_Texture_GetWidth(a), 1.0f);
    EXPECT_FLOAT_EQ(GR_Texture_GetWidth(-5), 1.0f);
    int32_t b = Image(8, 8);
    EXPECT_EQ(b, a); // the freed slot is reused
    EXPECT_EQ(GR_Texture_CreateFromBitmap(nullptr), -1);
    uint8_t alpha[4] = {0, 64, 128, 255};
    int32_t c = GR_Texture_CreateFromAlpha8(2, 2, alpha);
    ASSERT_GE(c, 0);
    auto* tex = static_cast<FakeTexture*>(GR_Texture_GetPage(c)->texture);
    EXPECT_EQ(tex->pixels.px[1], 0x40FFFFFFu);
    dev()->failTextures = 1;
    EXPECT_EQ(GR_Texture_CreateFromAlpha8(2, 2, alpha), -1);
}

TEST_F(TextureTest, ColourConversion)
{
    EXPECT_EQ(GR_Colour_ToARGB(0x0000FF, 1.0f), 0xFFFF0000u);
    EXPECT_EQ(GR_Colour_ToARGB(0xFF0000, 0.5f), 0x7F0000FFu);
    EXPECT_EQ(GR_Colour_ToARGB(0x00FF00, 2.0f) >> 24, 255u);
    EXPECT_EQ(GR_Colour_ToARGB(0x00FF00, -1.0f) >> 24, 0u);
}

TEST_F(TextureTest, DrawIsAListOfSixWithTheDrawingAlpha)
{
    int32_t t = Image(100, 50);
    GR_Draw_SetAlpha(0.5f);
    GR_Texture_Draw(t, 10, 20);
    const FakeDraw& d = Drawn();
    ASSERT_EQ(d.type, 4u);
    ASSERT_EQ(d.vertexCount(), 6u);
    // TL, TR, BR, BR, BL, TL
    const float xs[6] = {10, 110, 110, 110, 10, 10}, ys[6] = {20, 20, 70, 70, 70, 20};
    for (uint32_t i = 0; i < 6; ++i) {
        EXPECT_FLOAT_EQ(d.F(i, 0), xs[i]);
        EXPECT_FLOAT_EQ(d.F(i, 1), ys[i]);
        EXPECT_EQ(d.Colour(i), 0x7FFFFFFFu);
    }
    EXPECT_FLOAT_EQ(d.F(2, 4), 100.0f / 128.0f);
    EXPECT_FLOAT_EQ(d.F(2, 5), 50.0f / 64.0f);
}

TEST_F(TextureTest, DrawExtRotatesAboutTheAnchorAboveTheThreshold)
{
    int32_t t = Image(64, 64);
    GR_Texture_DrawExt(t, 32, 32, 100, 100, 1, 1, 0.0005f, 0xFFFFFF, 1);
    const FakeDraw& flat = Drawn();
    ASSERT_EQ(flat.type, 6u);
    EXPECT_FLOAT_EQ(flat.F(0, 0), 68.0f);
    EXPECT_FLOAT_EQ(flat.F(0, 1), 68.0f);
    GR_Texture_DrawExt(t, 0, 0, 100, 100, 2, 1, (float)M_PI / 2, 0x0000FF, 1);
    const FakeDraw& rot = Drawn();
    // TR corner (128, 0) turned a quarter counter-clockwise on a y-down screen: (0, -128).
    EXPECT_NEAR(rot.F(1, 0), 100.0f, 1e-3);
    EXPECT_NEAR(rot.F(1, 1), -28.0f, 1e-3);
    EXPECT_EQ(rot.Colour(0), 0xFFFF0000u);
}

TEST_F(TextureTest, DrawExtOnAnEmptySlotMakesIt8x8)
{
    int32_t t = Image(16, 16);
    GR_Texture_GetSlot(t)->width = 0;
    GR_Texture_DrawExt(t, 0, 0, 0, 0, 1, 1, 0, 0xFFFFFF, 1);
    EXPECT_EQ(GR_Texture_GetSlot(t)->width, 8);
    EXPECT_FLOAT_EQ(GR_Texture_GetWidth(t), 1.0f);
}

TEST_F(TextureTest, PageEntryFormsUseTheSourceRectangleAndCrop)
{
    int32_t page = Image(256, 256);
    TexturePageEntry e{10, 20, 30, 40, 5, 6, 0, 40, 50, 60, (int16_t)page};
    GR_Texture_DrawTPE(&e, 100, 200);
    EXPECT_EQ(e.targetWidth, 1); // written back
    const FakeDraw& d = Drawn();
    EXPECT_FLOAT_EQ(d.F(0, 0), 105.0f);
    EXPECT_FLOAT_EQ(d.F(1, 0), 106.0f);
    EXPECT_FLOAT_EQ(d.F(0, 4), 10.0f / 256.0f);
    EXPECT_FLOAT_EQ(d.F(2, 4), 40.0f / 256.0f);
    EXPECT_FLOAT_EQ(d.F(2, 5), 60.0f / 256.0f);

    // Part with its left edge inside the cropped-away border.
    TexturePageEntry p{0, 0, 20, 20, 4, 0, 20, 20, 30, 30, (int16_t)page};
    GR_Texture_DrawPartTPE(&p, 0, 0, 10, 10, 50, 50, 2, 2, 0, 0xFFFFFF, 1);
    const FakeDraw& part = Drawn();
    // Anchor moved by the border (4 * 2); width shortened to 6: 12 pixels at scale 2.
    EXPECT_FLOAT_EQ(part.F(0, 0), 58.0f); // TL
    EXPECT_FLOAT_EQ(part.F(1, 0), 70.0f); // TR
    EXPECT_FLOAT_EQ(part.F(2, 1), 70.0f); // BL (order TL, TR, BL, TR, BR, BL)
    EXPECT_FLOAT_EQ(part.F(1, 4), 6.0f / 256.0f);

    TexturePageEntry bad{0, 0, 20, 20, 0, 0, 20, 20, 30, 30, 999};
    dev()->draws.clear();
    GR_Texture_DrawTPE(&bad, 0, 0);
    GR_D3D_Flush();
    EXPECT_TRUE(dev()->draws.empty());
}

TEST_F(TextureTest, GeneralFormsCarryFourColours)
{
    int32_t t = Image(64, 64);
    GR_Texture_DrawGeneral(t, 0, 0, 32, 32, 10, 10, 1, 1, 0.005f, 0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF, 0.5f);
    const FakeDraw& d = Drawn();
    ASSERT_EQ(d.type, 6u);
    EXPECT_FLOAT_EQ(d.F(0, 0), 10.0f); // unrotated below 0.01
    EXPECT_EQ(d.Colour(0), 0x7FFF0000u);
    EXPECT_EQ(d.Colour(1), 0x7F00FF00u);
    EXPECT_EQ(d.Colour(2), 0x7F0000FFu);
    TexturePageEntry e{0, 0, 64, 64, 0, 0, 64, 64, 64, 64, (int16_t)t};
    GR_Texture_DrawGeneralTPE(&e, 0, 0, 32, 32, 0, 0, 1, 1, 0, 0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF, 0.5f);
    const FakeDraw& g = Drawn();
    ASSERT_EQ(g.vertexCount(), 6u);
    EXPECT_EQ(g.Colour(0) >> 24, 128u); // rounded, not truncated
    EXPECT_EQ(g.Colour(3), g.Colour(2)); // corner 3 twice
}

TEST_F(TextureTest, PosFormPlacesCornersAndDepth)
{
    int32_t t = Image(64, 64);
    GR_3D_SetMode(true);
    GR_3D_SetDepth(20000);
    EXPECT_FLOAT_EQ(GR_3D_GetDepth(), 16000.0f);
    TexturePageEntry e{0, 0, 64, 64, 3, 3, 64, 64, 64, 64, (int16_t)t};
    GR_Texture_DrawPosTPE(&e, 1, 2, 3, 4, 5, 6, 7, 8, 0xFFFFFF, 1);
    const FakeDraw& d = Drawn();
    EXPECT_FLOAT_EQ(d.F(0, 0), 1.0f);
    EXPECT_FLOAT_EQ(d.F(4, 0), 7.0f);
    EXPECT_FLOAT_EQ(d.F(0, 2), 16000.0f);
    GR_3D_SetMode(false);
    GR_3D_SetDepth(5);
    EXPECT_FLOAT_EQ(GR_3D_GetDepth(), 0.0f);
}

TEST_F(TextureTest, TiledStartsOneStepLeftOfTheView)
{
    int32_t t = Image(32, 32);
    dev()->draws.clear();
    GR_Texture_DrawTiled(t, 0, 0, 37, 0, 1, 1, true, false, 0, 0, 100, 100, 0xFFFFFF, 1);
    GR_D3D_Flush();
    // Columns at -27, 5, 37, 69: four fans.
    ASSERT_EQ(dev()->draws.size(), 4u);
    EXPECT_FLOAT_EQ(dev()->draws[0].F(0, 0), -27.0f);
    EXPECT_FLOAT_EQ(dev()->draws[3].F(0, 0), 69.0f);
    dev()->draws.clear();
    GR_Texture_DrawTiled(t, 0, 0, 0, 0, 1, 1, true, true, 0, 0, 64, 64, 0xFFFFFF, 1);
    GR_D3D_Flush();
    EXPECT_EQ(dev()->draws.size(), 4u); // 2 x 2
    // An absurd view is bounded.
    dev()->draws.clear();
    GR_Texture_DrawTiled(t, 0, 0, 0, 0, 1, 1, true, true, 0, 0, 1e30f, 1e30f, 0xFFFFFF, 1);
    GR_D3D_Flush();
    EXPECT_LE(dev()->draws.size(), (size_t)(1 << 21));
}

TEST_F(TextureTest, TiledPageEntries)
{
    int32_t t = Image(64, 64);
    TexturePageEntry e{0, 0, 32, 32, 0, 0, 32, 32, 32, 32, (int16_t)t};
    dev()->draws.clear();
    GR_Texture_DrawTiledTPE(&e, 0, 0, 10, 0, 1, 1, true, false, 0, 0, 64, 32, 0xFFFFFF, 1);
    GR_D3D_Flush();
    ASSERT_EQ(dev()->draws.size(), 1u); // lists join one batch
    const FakeDraw& d = dev()->draws[0];
    // Phase: fmod(10, 32) = 10 -> -22, then one full width further left: -54.
    EXPECT_FLOAT_EQ(d.F(1, 0), -54.0f); // order BL, TL, TR, ...: vertex 1 is TL
    EXPECT_EQ(d.vertexCount() % 6, 0u);
}

TEST_F(TextureTest, TilingReachesAFarViewInOneStep)
{
    // A view two million tiles from the origin: both forms start next to it (the page-entry
    // form used to stop at the tile limit short of it and draw nothing in view).
    const float far = 67108864.0f; // 2^26
    int32_t t = Image(32, 32);
    dev()->draws.clear();
    GR_Texture_DrawTiled(t, 0, 0, 0, 0, 1, 1, true, true, far, far, 64, 64, 0xFFFFFF, 1);
    GR_D3D_Flush();
    ASSERT_EQ(dev()->draws.size(), 9u);
    EXPECT_FLOAT_EQ(dev()->draws[0].F(0, 0), far - 32);
    EXPECT_FLOAT_EQ(dev()->draws[0].F(0, 1), far - 32);
    TexturePageEntry e{0, 0, 32, 32, 0, 0, 32, 32, 32, 32, (int16_t)t};
    dev()->draws.clear();
    GR_Texture_DrawTiledTPE(&e, 0, 0, 0, 0, 1, 1, true, true, far, far, 64, 64, 0xFFFFFF, 1);
    GR_D3D_Flush();
    ASSERT_EQ(dev()->draws.size(), 1u);
    EXPECT_EQ(dev()->draws[0].vertexCount(), 6u * 4 * 4);
    EXPECT_FLOAT_EQ(dev()->draws[0].F(1, 0), far - 64) << "one full width left of the phase";
    EXPECT_FLOAT_EQ(dev()->draws[0].F(1, 1), far - 64);
    // Nothing for an area beyond any tile position.
    dev()->draws.clear();
    GR_Texture_DrawTiled(t, 0, 0, 0, 0, 1, 1, true, true, 1e30f, 0, 64, 64, 0xFFFFFF, 1);
    GR_D3D_Flush();
    EXPECT_TRUE(dev()->draws.empty());
}

TEST_F(TextureTest, PageEntryHandlesAreValidated)
{
    int32_t t = Image(8, 8);
    TexturePageEntry e{0, 0, 8, 8, 0, 0, 8, 8, 8, 8, (int16_t)t};
    int64_t h = GR_TPE_Register(&e);
    EXPECT_GT(h, 0x10000);
    EXPECT_EQ(GR_TPE_Register(&e), h);
    int32_t id;
    TexturePageEntry* entry;
    EXPECT_TRUE(GR_Texture_ResolveArgument(t, &id, &entry));
    EXPECT_EQ(id, t);
    EXPECT_TRUE(GR_Texture_ResolveArgument(h, &id, &entry));
    EXPECT_EQ(entry, &e);
    EXPECT_FALSE(GR_Texture_ResolveArgument(-1, &id, &entry));
    EXPECT_FALSE(GR_Texture_ResolveArgument(h + 1, &id, &entry));
    EXPECT_FALSE(GR_Texture_ResolveArgument(123456789, &id, &entry));
    EXPECT_FALSE(GR_Texture_ResolveArgument(77, &id, &entry));
}

TEST_F(TextureTest, LoadFromMemoryReportsTheDecodedSize)
{
    std::vector<uint8_t> raw(16 + 3 * 5 * 4, 0xFF);
    uint32_t head[4] = {0x20574152u, 3, 5, 0};
    std::memcpy(raw.data(), head, 16);
    int32_t id = GR_Texture_LoadFromMemory(raw.data(), (uint32_t)raw.size(), 0, 0);
    ASSERT_GE(id, 0);
    EXPECT_EQ(GR_Texture_GetSlot(id)->width, 3);
    EXPECT_FLOAT_EQ(GR_Texture_GetSlot(id)->inverseWidth, 1.0f / 64.0f);
    EXPECT_EQ(GR_Texture_LoadFromMemory("junk", 4, 0, 0), -1);
}

} // namespace

#include "Files/Graphics/BuiltinImages.h"
#include "Files/Graphics_API/TBitmap.h"

namespace {

class BuiltinImageTest : public GraphicsFixture {};

TEST_F(BuiltinImageTest, TableDecodesIntoTextures)
{
    GR_BuiltinImages_SetTable(GR_BuiltinImages_Default());
    for (int32_t i = 0; i < GR_BUILTIN_COUNT; ++i) {
        TextureRecord* r = GR_Texture_CreateFromBuiltinImage(i);
        ASSERT_NE(r, nullptr) << i;
        EXPECT_EQ(r->Width(), i == GR_BUILTIN_FONT_PAGE ? 256 : i == GR_BUILTIN_STARTUP_PNG ? 16 : 64) << i;
        GR_D3D_FreeTexture(r);
    }
    // Past the count the decoder gets no data.
    EXPECT_EQ(GR_Texture_CreateFromBuiltinImage(GR_BUILTIN_COUNT), nullptr);
    // The disk is opaque in its middle and clear in its corner; the font page has ink.
    const uint8_t* data;
    uint32_t size;
    ASSERT_TRUE(GR_BuiltinImages_Get(GR_SHAPE_DISK, &data, &size));
    EXPECT_EQ(size, 4224u);
    EXPECT_EQ(data[128 + 32 * 64 + 32], 255);
    EXPECT_EQ(data[128], 0);
    // The font page is drawn when the glyphs are first asked for.
    EXPECT_GT(GR_DebugFont_Glyphs()['A' - 32].shift, 0);
    ASSERT_TRUE(GR_BuiltinImages_Get(GR_BUILTIN_FONT_PAGE, &data, &size));
    int ink = 0;
    for (uint32_t i = 128; i < size; ++i) ink += data[i] != 0;
    EXPECT_GT(ink, 500);
}

} // namespace
