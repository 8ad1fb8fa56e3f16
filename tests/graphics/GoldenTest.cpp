// Golden images drawn by the OpenGL device on Mesa llvmpipe without a display
// (SDL_VIDEODRIVER=offscreen): textured quads at each blend mode, the alpha test, depth, fog
// and a lit 3D scene, read back from the screen texture and compared with the PNG files in
// tests/data/graphics_golden/ (alpha too; support/Golden.h). Also on the real device: the
// picture presented on the window (copied or drawn), drawing on the window itself, depth clears
// kept for a detached depth buffer, and perspective-correct texturing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics_API/Graphics_3D.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_Host.h"
#include "Files/Graphics_API/Graphics_PNG.h"
#include "Files/Graphics_API/Graphics_ReadBack.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/Graphics_API/TBitmap.h"
#include "Platform/MemoryManager.h"
#include "support/FakeGraphics.h"
#include "support/Golden.h"

namespace {

const int32_t W = 128, H = 96;

class GoldenTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ready = GoldenDevice_Open(W, H);
    }

    static void TearDownTestSuite()
    {
        if (texture >= 0) GR_Texture_Free(texture);
        texture = -1;
        GoldenDevice_Close();
    }

    void SetUp() override
    {
        if (!ready) GTEST_SKIP() << "no OpenGL context could be made";
        // Every scene starts from the default drawing settings.
        GR_State_SetBlendMode(0);
        GR_State_SetAlphaTest(false);
        GR_3D_SetFog(false, 0, 0, 0);
        GR_3D_SetLighting(false);
        GR_3D_SetCulling(false);
        GR_Texture_SetInterpolation(false);
        GR_Draw_SetAlpha(1.0f);
        if (texture < 0) texture = MakeTexture();
        GR_D3D_Start_Frame();
        GR_D3D_SetView(0, 0, (float)W, (float)H, 0);
        GR_D3D_Clear(0x402010, 1.0f, 0, 7); // script colour: blue 0x40, green 0x20, red 0x10
    }

    // A 32x32 texture: red to green across, alpha 255 on the left half, 96 on the right,
    // with a transparent 8x8 checker in the top-left quarter.
    static int32_t MakeTexture()
    {
        std::vector<uint32_t> px(32 * 32);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                uint32_t a = x < 16 ? 255 : 96;
                if (x < 16 && y < 16 && ((x / 8 + y / 8) & 1)) a = 0;
                px[y * 32 + x] = a << 24 | (uint32_t)(255 - x * 8) << 16 | (uint32_t)(x * 8) << 8 | (uint32_t)(y * 8);
            }
        return GR_Texture_CreateFromPixels(32, 32, px.data(), 32 * 32 * 4);
    }

    std::vector<uint32_t> Capture()
    {
        std::vector<uint32_t> out = GoldenDevice_Read(W, H);
        GR_D3D_Finish_Frame(true);
        return out;
    }

    // Alpha too: the screen texture keeps the drawing's alpha.
    void Compare(const std::string& name, const std::vector<uint32_t>& px)
    {
        EXPECT_EQ(Golden_Compare(px, W, H, "graphics_golden/" + name + ".png", 2, true), "") << name;
    }

    static uint32_t At(const std::vector<uint32_t>& px, int x, int y) { return px[(size_t)y * W + x]; }

    static std::vector<uint32_t> ReadScreen() { return GoldenDevice_Read(W, H); }

    // The back buffer (the window's picture before it is shown), rows from the top.
    static std::vector<uint32_t> ReadWindow()
    {
        GR_D3D_Flush();
        IGfxDevice* dev = GR_D3D_State().device;
        GfxSurface* back = dev->GetRenderTarget(0);
        std::vector<uint32_t> out((size_t)W * H);
        bool ok = back && dev->ReadSurface(back, GfxRect{0, 0, W, H}, out.data());
        if (back) back->Release();
        if (!ok) out.clear();
        return out;
    }

    // Pixels whose colour (the window keeps no alpha) differs.
    static int ColourDifferences(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
    {
        if (a.size() != b.size()) return -1;
        int bad = 0;
        for (size_t i = 0; i < a.size(); ++i) bad += ((a[i] ^ b[i]) & 0xFFFFFF) != 0;
        return bad;
    }

    static bool ready;
    static int32_t texture;
};
bool GoldenTest::ready = false;
int32_t GoldenTest::texture = -1;

TEST_F(GoldenTest, PixelExactQuadAndReadBack)
{
    // A 32x32 texture drawn at (10, 20) covers pixels 10..41 and 20..51 exactly, texel
    // centre on pixel centre.
    GR_Texture_Draw(texture, 10, 20);
    auto px = Capture();
    ASSERT_FALSE(px.empty());
    EXPECT_EQ(At(px, 9, 40), 0x00102040u);  // background (device order)
    EXPECT_EQ(At(px, 42, 40), 0x00102040u);
    EXPECT_EQ(At(px, 10, 40) & 0xFFFFFF, (uint32_t)(255 << 16 | 0 << 8 | 20 * 8)); // texel (0, 20)
    EXPECT_EQ(At(px, 11, 40) & 0xFFFFFF, (uint32_t)(247 << 16 | 8 << 8 | 20 * 8)); // texel (1, 20)
    EXPECT_EQ(At(px, 30, 19), 0x00102040u);
    EXPECT_NE(At(px, 30, 20), 0x00102040u);
    EXPECT_NE(At(px, 30, 51), 0x00102040u);
    EXPECT_EQ(At(px, 30, 52), 0x00102040u);
    Compare("quad", px);
}

TEST_F(GoldenTest, HeadlessFramesDrawnIntoTheWindowGiveTheScreenTexturesPicture)
{
    // Headless, a frame that fits the window is drawn straight into it. What needs the screen
    // texture (a read between frames or during one) gets the picture drawn so far, and drawing
    // goes on there: the same texture over the same background gives the same pixels, alpha
    // too, wherever it was drawn. (A shown window keeps the screen texture: the same pixels.)
    const bool direct = GR_D3D_State().device->PresentKeepsBackBuffer();
    EXPECT_EQ(GR_D3D_State().frameOnWindow, direct);
    GR_Texture_Draw(texture, 8, 8);   // A: into the window
    GR_D3D_Finish_Frame(true);
    auto between = ReadScreen();      // the last frame's picture, between frames
    GR_D3D_Start_Frame();
    EXPECT_EQ(GR_D3D_State().frameOnWindow, direct);
    GR_D3D_SetView(0, 0, (float)W, (float)H, 0);
    GR_Texture_Draw(texture, 48, 8);  // B: over the last picture, into the window
    auto during = ReadScreen();       // the frame moves to the screen texture
    EXPECT_FALSE(GR_D3D_State().frameOnWindow);
    GR_Texture_Draw(texture, 88, 48); // C: into the screen texture
    auto px = Capture();
    ASSERT_EQ(px.size(), (size_t)W * H);
    ASSERT_EQ(between.size(), px.size());
    ASSERT_EQ(during.size(), px.size());
    int differences = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const uint32_t c = At(px, 88 + x, 48 + y);
            differences += At(px, 8 + x, 8 + y) != c;
            differences += At(between, 8 + x, 8 + y) != c;
            differences += At(px, 48 + x, 8 + y) != c;
            differences += At(during, 48 + x, 8 + y) != c;
        }
    EXPECT_EQ(differences, 0);
    EXPECT_EQ(At(px, 8, 39) & 0xFFFFFF, (uint32_t)(255 << 16 | 0 << 8 | 31 * 8)); // texel (0, 31), A's last row
    EXPECT_EQ(At(px, 8, 40), 0x00102040u);   // below A: the background
    EXPECT_EQ(At(during, 88, 48), 0x00102040u); // C came after the read
    EXPECT_EQ(At(between, 48, 8), 0x00102040u); // B came after the last frame
}

TEST_F(GoldenTest, BlendModes)
{
    for (int mode = 0; mode < 4; ++mode) {
        GR_State_SetBlendMode(mode);
        GR_Texture_DrawExt(texture, 0, 0, 4.0f + mode * 30, 4, 0.875f, 1, 0, 0xFFFFFF, 0.75f);
    }
    GR_State_SetBlendModeExt(9, 1); // destination colour, zero: multiply
    GR_Texture_DrawExt(texture, 0, 0, 4, 50, 1, 1, 0, 0xFFFFFF, 1);
    GR_State_SetBlendMode(0);
    GR_State_SetColourWriteEnable(true, false, true, true);
    GR_Texture_DrawExt(texture, 0, 0, 50, 50, 1, 1, 0, 0xFFFFFF, 1);
    GR_State_SetColourWriteEnable(true, true, true, true);
    g_RenderStateCache.SetRenderState(GR_RS_ALPHABLEND, 0);
    GR_Texture_DrawExt(texture, 0, 0, 90, 50, 1, 1, 0.3f, 0x00FFFF, 1);
    g_RenderStateCache.SetRenderState(GR_RS_ALPHABLEND, 1);
    auto px = Capture();
    // Additive over the background can only brighten.
    uint32_t added = At(px, 34 + 8, 30), bg = 0x00102040u;
    EXPECT_GE((added >> 16) & 0xFF, (bg >> 16) & 0xFF);
    Compare("blend", px);
}

TEST_F(GoldenTest, AlphaTest)
{
    GR_State_SetAlphaTest(true);
    GR_State_SetAlphaTestRef(128);
    GR_Texture_DrawExt(texture, 0, 0, 10, 10, 2, 2, 0, 0xFFFFFF, 1);
    GR_State_SetAlphaTestRef(50);
    GR_Texture_DrawExt(texture, 0, 0, 80, 10, 1, 1, 0, 0xFFFFFF, 1);
    auto px = Capture();
    EXPECT_EQ(At(px, 10 + 2 * 20, 10 + 2 * 4), 0x00102040u); // alpha 96 fails ref 128
    EXPECT_NE(At(px, 80 + 20, 14), 0x00102040u);              // and passes ref 50 (blended)
    EXPECT_EQ(At(px, 10 + 2 * 12, 10 + 2 * 4), 0x00102040u); // checker hole
    Compare("alphatest", px);
}

struct V36 {
    float x, y, z, nx, ny, nz;
    uint32_t c;
    float u, v;
};

void Quad3D(float x1, float y1, float x2, float y2, float z, uint32_t colour, float nz = -1)
{
    V36* v = (V36*)GR_D3D_AllocVertices(4, nullptr, 36, 6);
    V36 tl{x1, y1, z, 0, 0, nz, colour, 0, 0}, tr{x2, y1, z, 0, 0, nz, colour, 1, 0};
    V36 br{x2, y2, z, 0, 0, nz, colour, 1, 1}, bl{x1, y2, z, 0, 0, nz, colour, 0, 1};
    v[0] = tl;
    v[1] = tr;
    v[2] = br;
    v[3] = br;
    v[4] = bl;
    v[5] = tl;
}

TEST_F(GoldenTest, DepthTest)
{
    GR_3D_SetMode(true);
    GR_D3D_SetView(0, 0, (float)W, (float)H, 0);
    GR_3D_ClearDepth();
    Quad3D(20, 20, 80, 70, 10, 0xFF00FF00u);   // near, drawn first
    Quad3D(40, 30, 110, 90, 100, 0xFFFF0000u); // far, drawn over it
    auto px = Capture();
    GR_3D_SetMode(false);
    EXPECT_EQ(At(px, 60, 50), 0xFF00FF00u);  // the near quad wins the overlap
    EXPECT_EQ(At(px, 85, 40), 0xFFFF0000u);  // the far quad, smaller, where the near one is not
    Compare("depth", px);
}

TEST_F(GoldenTest, CullingKeepsClockwiseFaces)
{
    // Culling on culls counter-clockwise triangles (on the y-down screen), as Direct3D does.
    GR_3D_SetCulling(true);
    struct V16 {
        float x, y, z;
        uint32_t c;
    };
    V16* v = (V16*)GR_D3D_AllocVertices(4, nullptr, 16, 6);
    V16 cw[3] = {{10, 10, 0, 0xFF00FF00u}, {50, 10, 0, 0xFF00FF00u}, {50, 50, 0, 0xFF00FF00u}};
    V16 ccw[3] = {{70, 10, 0, 0xFFFF0000u}, {70, 50, 0, 0xFFFF0000u}, {110, 50, 0, 0xFFFF0000u}};
    for (int i = 0; i < 3; ++i) {
        v[i] = cw[i];
        v[3 + i] = ccw[i];
    }
    auto px = Capture();
    GR_3D_SetCulling(false);
    EXPECT_EQ(At(px, 45, 20), 0xFF00FF00u);
    EXPECT_EQ(At(px, 75, 45), 0x00102040u);
}

TEST_F(GoldenTest, FogAndLitScene)
{
    GR_3D_SetMode(true);
    GR_3D_ClearDepth();
    GR_3D_SetProjectionExt(0, 0, -200, 0, 0, 0, 0, -1, 0, 60, (float)W / H, 1, 1000);
    GR_3D_SetFog(true, 0xFFFFFF, 150, 400);
    Quad3D(-120, -60, -40, 0, 0, 0xFF0000FFu);
    Quad3D(-30, -60, 50, 0, 150, 0xFF0000FFu);
    Quad3D(60, -60, 140, 0, 300, 0xFF0000FFu);
    GR_D3D_Flush();
    GR_3D_SetFog(false, 0, 0, 0);
    GR_3D_SetLighting(true);
    GR_3D_SetAmbient(0x202020);
    GR_3D_DefineDirectionalLight(0, 0.5f, 0.0f, 1.0f, 0xFFFFFF);
    GR_3D_EnableLight(0, true);
    // Faces turned towards and away from the light.
    Quad3D(-100, 10, -20, 60, 0, 0xFFFFFFFFu, -1);
    Quad3D(0, 10, 80, 60, 0, 0xFFFFFFFFu, 1);
    auto px = Capture();
    GR_3D_EnableLight(0, false);
    GR_3D_SetLighting(false);
    GR_3D_SetMode(false);
    GR_D3D_SetView(0, 0, (float)W, (float)H, 0);
    Compare("fog_lit", px);
}

TEST_F(GoldenTest, GetPixelAndScreenSave)
{
    GR_D3D_Clear(0x0000FF, 1.0f, 0, 1); // red in script order
    GR_D3D_Flush();
    EXPECT_EQ(GR_D3D_GetPixel(5, 5), 255u);
    uint32_t* part = GR_D3D_ReadBackBufferRect(W, H, -4, H - 5, 13, 5);
    ASSERT_NE(part, nullptr);
    MEM_FREE(part);
    EXPECT_EQ(GR_D3D_ReadBackBufferRect(W, H, W, 0, 5, 5), nullptr);
    // Bounds larger than the screen texture: the block still has the size asked for, and what
    // lies beyond the screen reads as 0.
    uint32_t* wide = GR_D3D_ReadBackBufferRect(2 * W, 2 * H, W - 2, 0, 6, 3);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(wide[0] & 0xFFFFFFu, 0xFF0000u);
    EXPECT_EQ(wide[6 * 3 - 1], 0u);
    MEM_FREE(wide);
    // A drawing rectangle larger than the screen (as before the first room is drawn): the
    // bitmap holds only what the screen has.
    GR_WindowStateRecord& ws = GR_WindowState();
    const GR_WindowStateRecord saved = ws;
    ws.drawLeft = ws.drawTop = 0;
    ws.drawRight = 4 * W;
    ws.drawBottom = 4 * H;
    TBitmap* grab = GR_D3D_ScreenToBitmap(-10, 0, 4 * W, 4 * H);
    ws = saved;
    ASSERT_NE(grab, nullptr);
    EXPECT_EQ(grab->GetWidth(), W);
    EXPECT_EQ(grab->GetHeight(), H);
    delete grab;
    GR_D3D_Finish_Frame(true);
}

namespace WriteMask {
void Begin() { g_RenderStateCache.SetRenderState(GR_RS_COLOURWRITE, 7); }
void End() { g_RenderStateCache.SetRenderState(GR_RS_COLOURWRITE, 15); }
} // namespace WriteMask

TEST_F(GoldenTest, WindowShowsTheScreenTextureTheRightWayUp)
{
    GR_Texture_Draw(texture, 10, 20);
    GR_D3D_Clear(0x0000FF, 1.0f, 0, 1); // nothing yet: the clear covers it
    GR_Texture_Draw(texture, 10, 20);
    GR_Texture_DrawExt(texture, 0, 0, 80, 60, 1, -1, 0, 0xFFFFFF, 1); // turned over near the bottom
    auto screen = ReadScreen();
    ASSERT_FALSE(screen.empty());
    GR_D3D_Finish_Frame(false); // copied: the quad would change nothing
    auto copied = ReadWindow();
    ASSERT_FALSE(copied.empty());
    EXPECT_EQ(ColourDifferences(screen, copied), 0);
    EXPECT_EQ(At(copied, 30, 5) & 0xFFFFFF, 0xFF0000u); // red clear at the top
    GR_D3D_Present();

    // The same picture drawn as the textured quad (a write mask without alpha forces it).
    GR_Hooks().overlayBegin = WriteMask::Begin;
    GR_Hooks().overlayEnd = WriteMask::End;
    GR_D3D_Start_Frame();
    GR_D3D_Clear(0x0000FF, 1.0f, 0, 1);
    GR_Texture_Draw(texture, 10, 20);
    GR_Texture_DrawExt(texture, 0, 0, 80, 60, 1, -1, 0, 0xFFFFFF, 1);
    screen = ReadScreen();
    GR_D3D_Finish_Frame(false);
    GR_Hooks().overlayBegin = nullptr;
    GR_Hooks().overlayEnd = nullptr;
    auto drawn = ReadWindow();
    ASSERT_FALSE(drawn.empty());
    EXPECT_EQ(ColourDifferences(screen, drawn), 0);
    GR_D3D_Present();
}

TEST_F(GoldenTest, DrawingOnTheWindowKeepsRectanglesAndFacing)
{
    GR_D3D_Finish_Frame(false); // the back buffer is the target now
    GR_D3D_Clear(0x402010, 1.0f, 0, 1);
    GR_D3D_SetViewPort(8, 4, 40, 30);
    GR_D3D_Clear(0x00FF00, 1.0f, 0, 1);
    GR_D3D_SetViewPort(0, 0, W, H);
    GR_D3D_SetView(0, 0, (float)W, (float)H, 0);
    GR_3D_SetCulling(true);
    struct V16 {
        float x, y, z;
        uint32_t c;
    };
    V16* v = (V16*)GR_D3D_AllocVertices(4, nullptr, 16, 6);
    V16 cw[3] = {{60, 40, 0, 0xFF0000FFu}, {100, 40, 0, 0xFF0000FFu}, {100, 80, 0, 0xFF0000FFu}};
    V16 ccw[3] = {{10, 50, 0, 0xFFFF0000u}, {10, 90, 0, 0xFFFF0000u}, {50, 90, 0, 0xFFFF0000u}};
    for (int i = 0; i < 3; ++i) {
        v[i] = cw[i];
        v[3 + i] = ccw[i];
    }
    auto px = ReadWindow();
    GR_3D_SetCulling(false);
    ASSERT_FALSE(px.empty());
    const uint32_t bg = 0x102040u, green = 0x00FF00u;
    EXPECT_EQ(At(px, 8, 4) & 0xFFFFFF, green);
    EXPECT_EQ(At(px, 47, 33) & 0xFFFFFF, green);
    EXPECT_EQ(At(px, 7, 4) & 0xFFFFFF, bg);
    EXPECT_EQ(At(px, 8, 3) & 0xFFFFFF, bg);
    EXPECT_EQ(At(px, 48, 33) & 0xFFFFFF, bg);
    EXPECT_EQ(At(px, 47, 34) & 0xFFFFFF, bg);
    // The clockwise triangle is kept, its right angle at the top right: the right way up.
    EXPECT_EQ(At(px, 95, 45) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(At(px, 65, 42) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(At(px, 65, 53) & 0xFFFFFF, bg);
    EXPECT_EQ(At(px, 65, 75) & 0xFFFFFF, bg);
    EXPECT_EQ(At(px, 15, 85) & 0xFFFFFF, bg);        // counter-clockwise culled
    GR_D3D_Present();
}

TEST_F(GoldenTest, DepthClearsWaitForTheDepthBufferInOrder)
{
    // With depth testing off the depth buffer is not attached: its clears are kept, then made
    // in order when testing starts. Five distinct rectangles overflow what is kept.
    GR_D3D_Clear(0, 0.0f, 0, 2);
    const int32_t hw = W / 2, hh = H / 2;
    const int32_t rects[4][4] = {{0, 0, hw, hh}, {hw, 0, hw, hh}, {0, hh, hw, hh}, {hw + 20, hh + 10, 16, 12}};
    for (const auto& r : rects) {
        GR_D3D_SetViewPort(r[0], r[1], r[2], r[3]);
        GR_D3D_Clear(0, 1.0f, 0, 2);
    }
    GR_D3D_SetViewPort(0, 0, W, H);
    GR_3D_SetMode(true);
    GR_D3D_SetView(0, 0, (float)W, (float)H, 0);
    Quad3D(0, 0, (float)W, (float)H, 10, 0xFF00FF00u);
    auto px = ReadScreen();
    GR_3D_SetMode(false);
    ASSERT_FALSE(px.empty());
    EXPECT_EQ(At(px, 5, 5), 0xFF00FF00u);
    EXPECT_EQ(At(px, hw + 5, 5), 0xFF00FF00u);
    EXPECT_EQ(At(px, 5, hh + 5), 0xFF00FF00u);
    EXPECT_EQ(At(px, hw + 25, hh + 15), 0xFF00FF00u);
    EXPECT_EQ(At(px, hw + 5, hh + 5), 0x00102040u); // still at depth 0: nothing passes
    EXPECT_EQ(At(px, W - 2, H - 2), 0x00102040u);
    // Depth off again: a clear is kept once more and made before the next test.
    GR_D3D_Clear(0, 0.0f, 0, 2);
    GR_3D_SetMode(true);
    GR_D3D_SetView(0, 0, (float)W, (float)H, 0);
    Quad3D(0, 0, (float)W, (float)H, 10, 0xFFFF0000u);
    px = ReadScreen();
    GR_3D_SetMode(false);
    EXPECT_EQ(At(px, 5, 5), 0xFF00FF00u);
    GR_D3D_Finish_Frame(true);
}

TEST_F(GoldenTest, PerspectiveTexturingStaysPerspectiveCorrect)
{
    // A quad receding from depth 200 (left edge) to 600 (right edge), texture u from 0 to
    // 0.5 (texels 0..31, green = 8 * texel). Halfway across on the screen, a perspective-
    // correct u is a quarter of the way (texel 8), an affine one halfway (texel 16).
    GR_3D_SetMode(true);
    GR_3D_ClearDepth();
    GR_3D_SetProjectionExt(0, 0, -200, 0, 0, 0, 0, -1, 0, 60, (float)W / H, 1, 1000);
    g_RenderStateCache.SetRenderState(GR_RS_ALPHABLEND, 0);
    V36* v = (V36*)GR_D3D_AllocVertices(4, GR_Texture_GetPage(texture), 36, 6);
    V36 tl{-60, -30, 0, 0, 0, -1, 0xFFFFFFFFu, 0, 0}, tr{60, -30, 400, 0, 0, -1, 0xFFFFFFFFu, 0.5f, 0};
    V36 br{60, 30, 400, 0, 0, -1, 0xFFFFFFFFu, 0.5f, 0.5f}, bl{-60, 30, 0, 0, 0, -1, 0xFFFFFFFFu, 0, 0.5f};
    v[0] = tl;
    v[1] = tr;
    v[2] = br;
    v[3] = br;
    v[4] = bl;
    v[5] = tl;
    auto px = ReadScreen();
    g_RenderStateCache.SetRenderState(GR_RS_ALPHABLEND, 1);
    GR_3D_SetMode(false);
    GR_D3D_SetView(0, 0, (float)W, (float)H, 0);
    ASSERT_FALSE(px.empty());
    int first = -1, last = -1;
    for (int x = 0; x < W; ++x)
        if (At(px, x, H / 2) != 0x00102040u) {
            if (first < 0) first = x;
            last = x;
        }
    ASSERT_GT(last - first, 20);
    uint32_t green = (At(px, (first + last) / 2, H / 2) >> 8) & 0xFF;
    EXPECT_GE(green, 6u * 8);
    EXPECT_LE(green, 10u * 8);
    GR_D3D_Finish_Frame(true);
}

} // namespace
