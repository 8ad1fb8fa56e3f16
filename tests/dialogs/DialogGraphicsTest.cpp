// What the dialogs need of the graphics layer, on the recording device: the held present that
// modal dialogs redraw the window with (the overlay drawn on the back buffer, the game's target
// and states put back), the design size, and bitmaps read from streams.
#include <gtest/gtest.h>

#include <cstring>

#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/Graphics_API/TBitmap.h"
#include "Files/Support/Stream.h"
#include "support/FakeGraphics.h"

namespace {

class DialogGraphics : public GraphicsFixture {};

FakeDevice* g_dev = nullptr;
GfxSurface* g_overlayTarget = nullptr;
int g_overlays = 0;

void Overlay()
{
    ++g_overlays;
    g_overlayTarget = g_dev->CurrentTarget();
}

} // namespace

TEST_F(DialogGraphics, HeldPresentDrawsTheOverlayAndPutsTheGameBack)
{
    g_dev = dev();
    g_overlays = 0;
    GR_Hooks().windowOverlay = Overlay;
    ASSERT_TRUE(GR_D3D_Start_Frame());
    GfxSurface* gameTarget = dev()->CurrentTarget();
    g_RenderStateCache.SetRenderState(GR_RS_SRCBLEND, 2); // the game's own blend
    g_RenderStateCache.Apply();
    float projection[16];
    GR_D3D_GetMatrix(1, projection);
    const int presents = dev()->presents;

    ASSERT_TRUE(GR_D3D_PresentHeld());
    EXPECT_EQ(g_overlays, 1);
    EXPECT_EQ(g_overlayTarget, dev()->BackBuffer()); // drawn over the picture on the back buffer
    EXPECT_EQ(dev()->presents, presents + 1);
    EXPECT_EQ(dev()->CurrentTarget(), gameTarget); // the game draws on where it was
    EXPECT_EQ(g_RenderStateCache.m_wanted[GR_RS_SRCBLEND], 2u);
    float after[16];
    GR_D3D_GetMatrix(1, after);
    EXPECT_EQ(std::memcmp(projection, after, sizeof after), 0);

    // The frame still ends as usual, the overlay drawn once more.
    EXPECT_TRUE(GR_D3D_Finish_Frame(true));
    EXPECT_EQ(g_overlays, 2);
    EXPECT_EQ(dev()->presents, presents + 2);
    GR_Hooks().windowOverlay = nullptr;
}

TEST_F(DialogGraphics, DesignSizeFollowsTheWindowUnlessSet)
{
    int32_t w, h, cw, ch;
    DesignSize(&w, &h, &cw, &ch);
    EXPECT_EQ(w, cw);
    EXPECT_EQ(h, ch);
    GR_SetDesignSize(1024, -1);
    DesignSize(&w, &h, &cw, &ch);
    EXPECT_EQ(w, 1024);
    EXPECT_EQ(h, ch);
    GR_SetDesignSize(-1, -1);
}

TEST(DialogStreams, ReadBitmapTakesACompressedBmpOrNothing)
{
    // A 2 x 1 24-bit BMP file: red, then blue (rows padded to 4 bytes).
    CStream file;
    auto u16 = [&](uint16_t v) { file.WriteBuffer(&v, 2); };
    auto u32 = [&](uint32_t v) { file.WriteBuffer(&v, 4); };
    file.WriteBuffer("BM", 2);
    u32(62), u32(0), u32(54);                   // file size, reserved, pixel offset
    u32(40), u32(2), u32(1), u16(1), u16(24);   // header size, width, height, planes, bits
    u32(0), u32(8), u32(0), u32(0), u32(0), u32(0);
    const uint8_t pixels[] = {0, 0, 255, 255, 0, 0, 0, 0};
    file.WriteBuffer(pixels, 8);
    CStream s;
    s.WriteInteger(0); // no bitmap
    s.WriteInteger(1);
    ASSERT_EQ(ZCompressStream(&s, &file), 0);
    s.WriteInteger(1);
    s.WriteInteger(99); // a damaged block
    s.Seek(0);
    EXPECT_EQ(CStream_ReadBitmap(&s), nullptr);
    TBitmap* b = CStream_ReadBitmap(&s);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->GetWidth(), 2);
    EXPECT_EQ(b->GetHeight(), 1);
    delete b;
    EXPECT_EQ(CStream_ReadBitmap(&s), nullptr);
}
