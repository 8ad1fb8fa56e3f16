// The device layer on the recording fake: start-up, frames, resets, letterbox, the pixel
// offset of projections, the render-target stack and creation failures.
#include <gtest/gtest.h>

#include <array>

#include <cstring>

#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Display.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/Support/CommandLine.h"
#include "support/FakeGraphics.h"

namespace {

class DeviceTest : public GraphicsFixture {};

TEST_F(DeviceTest, StartupCreatesScreenTextureAndClears)
{
    GR_DeviceState& st = GR_D3D_State();
    ASSERT_NE(st.device, nullptr);
    ASSERT_NE(st.screenTexture, nullptr);
    EXPECT_EQ(st.screenTexture->Width(), 640);
    EXPECT_EQ(st.screenTexture->Height(), 480);
    EXPECT_EQ(system.behaviours.front(), 0x42u);
    EXPECT_GE(dev()->Count("Clear 7 00000000 1 0"), 1u);
    // Creation applied every render state: alpha blending ends on.
    EXPECT_EQ(dev()->renderState[GFX_RS_ALPHABLENDENABLE], 1u);
}

TEST_F(DeviceTest, SoftwareFlagAndFallbackToD16)
{
    system.failDevices = 1;
    Start(4);
    ASSERT_EQ(system.behaviours.size(), 3u); // first start, then the failed and the fallback attempt
    EXPECT_EQ(system.behaviours[1], 0x22u);
    EXPECT_EQ(system.behaviours[2], 0x22u);
    EXPECT_EQ(GR_D3D_State().params.depthStencilFormat, (uint32_t)GFX_FMT_D16);
    EXPECT_EQ(GR_D3D_State().params.swapEffect, (uint32_t)GFX_SWAPEFFECT_DISCARD);
}

TEST_F(DeviceTest, TwentyFourBitDesktopCountsAsThirtyTwoButEightBitStops)
{
    Stop();
    host.displayBits = 24;
    Start();
    EXPECT_EQ(GR_Display_GetColourDepth(), 32);
    Stop();
    host.displayBits = 8;
    void* w = GR_Window_Create(640, 480);
    EXPECT_FALSE(GR_D3D_Init(w, 640, 480, 0));
}

TEST_F(DeviceTest, FrameOpensOnceDrawsScreenTextureAndPresents)
{
    dev()->ClearLog();
    EXPECT_TRUE(GR_D3D_Start_Frame());
    EXPECT_TRUE(GR_D3D_Start_Frame()); // second call opens nothing
    EXPECT_EQ(dev()->Calls("BeginScene"), 1u);
    EXPECT_EQ(GR_D3D_State().sceneCount, 1);
    EXPECT_EQ(GR_D3D_State().rtDepthCount, 1);
    EXPECT_TRUE(GR_D3D_Finish_Frame(true));
    // Screen and back buffer of one size: the picture is copied, not drawn.
    EXPECT_EQ(dev()->Count("StretchRect 640x480 filter 1"), 1u);
    EXPECT_TRUE(dev()->draws.empty());
    EXPECT_EQ(dev()->presents, 1);
    EXPECT_TRUE(host.shown);
    EXPECT_EQ(GR_D3D_State().rtDepthCount, 0);
    EXPECT_EQ(dev()->CurrentTarget(), dev()->BackBuffer());
    // Finish without present ends the frame only.
    GR_D3D_Start_Frame();
    GR_D3D_Finish_Frame(false);
    EXPECT_EQ(dev()->presents, 1);
}

TEST_F(DeviceTest, ScreenTextureDrawnStretchedOrLetterboxed)
{
    // 640x480 drawing area on a 1920x1080 back buffer.
    auto quad = [&](uint32_t flags) {
        Start(flags);
        GR_D3D_State().backBufferWidth = 1920;
        GR_D3D_State().backBufferHeight = 1080;
        dev()->ClearLog();
        GR_D3D_Start_Frame();
        GR_D3D_Finish_Frame(false);
        for (auto& d : dev()->draws)
            if (d.type == 6) return d;
        return FakeDraw{};
    };
    FakeDraw plain = quad(0);
    ASSERT_EQ(plain.vertexCount(), 4u);
    EXPECT_FLOAT_EQ(plain.F(0, 0), 0.0f);
    EXPECT_FLOAT_EQ(plain.F(2, 0), 1920.0f);
    FakeDraw boxed = quad(16);
    ASSERT_EQ(boxed.vertexCount(), 4u);
    EXPECT_FLOAT_EQ(boxed.F(0, 0), 240.0f);
    EXPECT_FLOAT_EQ(boxed.F(2, 0), 1680.0f); // 1440 wide at left 240
    EXPECT_FLOAT_EQ(boxed.F(0, 1), 0.0f);
    EXPECT_FLOAT_EQ(boxed.F(2, 1), 1080.0f);
    float ox, oy;
    GR_D3D_GetLetterboxOffset(&ox, &oy);
    EXPECT_FLOAT_EQ(ox, 240.0f);
    EXPECT_FLOAT_EQ(oy, 0.0f);
}

namespace OverlayState {
uint32_t begin = 0;
void Begin()
{
    if (begin) g_RenderStateCache.SetRenderState((int32_t)(begin >> 16), begin & 0xFFFF);
}
void End() {}
} // namespace OverlayState

TEST_F(DeviceTest, ScreenTextureCopiedOnlyWhenTheQuadWouldLeaveItUnchanged)
{
    // Draws one frame whose screen texture holds a picture; answers whether the back buffer
    // got it by a copy, checking that a copy gives the picture the quad would.
    auto frame = [&]() {
        GR_D3D_Start_Frame();
        GR_D3D_Clear(0x0000FF, 1.0f, 0, 1);
        dev()->ClearLog();
        GR_D3D_Finish_Frame(false);
        return dev()->Count("StretchRect") == 1 && dev()->Count("DrawUP") == 0;
    };
    EXPECT_TRUE(frame());
    const FakePixels* back = dev()->BackBuffer()->pixels;
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->px[0], 0x00FF0000u);
    EXPECT_EQ(back->px[(size_t)back->w * back->h - 1], 0x00FF0000u);

    // A state the overlay leaves on that would change the texels: the quad is drawn.
    GR_Hooks().overlayBegin = OverlayState::Begin;
    GR_Hooks().overlayEnd = OverlayState::End;
    const uint32_t changing[][2] = {{GR_RS_ALPHATEST, 1}, {GR_RS_FOG, 1}, {GR_RS_LIGHTING, 1},
                                    {GR_RS_COLOURWRITE, 7}, {GR_RS_FILLMODE, 2}, {GR_RS_CULLMODE, 2}};
    for (const auto& c : changing) {
        OverlayState::begin = c[0] << 16 | c[1];
        EXPECT_FALSE(frame()) << "state " << c[0];
        g_RenderStateCache.SetRenderState((int32_t)c[0], c[0] == GR_RS_COLOURWRITE ? 15 : c[0] == GR_RS_FILLMODE ? 3 : 0);
    }
    // Counter-clockwise culling keeps the clockwise fan: still a copy.
    OverlayState::begin = GR_RS_CULLMODE << 16 | 3;
    EXPECT_TRUE(frame());
    g_RenderStateCache.SetRenderState(GR_RS_CULLMODE, 0);
    OverlayState::begin = 0;
    GR_Hooks().overlayBegin = nullptr;
    GR_Hooks().overlayEnd = nullptr;
}

TEST_F(DeviceTest, ScreenCopyBindsAndCountsTheTextureAsTheQuadWould)
{
    GR_D3D_Start_Frame();
    GR_D3D_Finish_Frame(false);
    uint32_t swaps = GR_Batch_Stats().textureSwaps;
    GR_D3D_Start_Frame();
    GR_D3D_Finish_Frame(false);
    // Nothing else was bound: the screen texture stays the last one, no further swap.
    EXPECT_EQ(GR_Batch_Stats().textureSwaps, swaps);
    EXPECT_EQ(dev()->boundTexture, GR_D3D_State().screenTexture->texture);
    // Afterwards the states are those the drawn quad leaves: blending back on.
    EXPECT_EQ(dev()->renderState[GFX_RS_ALPHABLENDENABLE], 1u);
}

TEST_F(DeviceTest, LetterboxBarsTopAndBottomForTallBackBuffer)
{
    Start(16);
    GR_D3D_State().backBufferWidth = 640;
    GR_D3D_State().backBufferHeight = 960;
    float ox, oy;
    GR_D3D_GetLetterboxOffset(&ox, &oy);
    EXPECT_FLOAT_EQ(ox, 0.0f);
    EXPECT_FLOAT_EQ(oy, 240.0f);
}

TEST_F(DeviceTest, PixelOffsetIsHalfAPixelOfTheViewportInForce)
{
    float ortho[16] = {};
    ortho[0] = ortho[5] = ortho[10] = ortho[15] = 1.0f;
    auto shift = [&](float w, float h) {
        EXPECT_FLOAT_EQ(dev()->transform[1][12], -1.0f / w) << w;
        EXPECT_FLOAT_EQ(dev()->transform[1][13], 1.0f / h) << h;
    };
    GR_D3D_Start_Frame();
    GR_D3D_SetMatrix(1, ortho);
    shift(640, 480); // the screen texture's whole viewport
    // A smaller viewport (a view's port) sends the projection again, whatever the room.
    GR_D3D_SetViewPort(0, 0, 320, 200);
    shift(320, 200);
    // A surface brings its whole size; popping back, the screen's whole viewport again.
    TextureRecord* surface = GR_D3D_CreateTexture(1024, 48, 1, 1, 6);
    ASSERT_NE(surface, nullptr);
    GR_D3D_PushRenderTarget();
    GR_D3D_SetRenderTarget(0, surface);
    shift(1024, 48);
    GR_D3D_PopRenderTarget();
    shift(640, 480);
    // The stored projection is the one given; the pair stays whole.
    float back[16];
    GR_D3D_GetMatrix(1, back);
    EXPECT_EQ(std::memcmp(back, ortho, sizeof(back)), 0);
    EXPECT_FLOAT_EQ(GR_D3D_State().pixelOffset[0], 1.0f);
    GR_D3D_Finish_Frame(false);
    GR_D3D_FreeTexture(surface);
}

// The room's first view fades the pair (and with it the projection's half pixel) out as it is
// scaled: whole at 1:1 (or without views), half at 1.005, gone beyond a percent, each way
// apart.
TEST_F(DeviceTest, PixelOffsetFadesOutOnceTheFirstViewIsScaled)
{
    static GR_RoomInfo room;
    GR_SetRoomProvider([](GR_RoomInfo* info) {
        *info = room;
        return true;
    });
    float ortho[16] = {};
    ortho[0] = ortho[5] = ortho[10] = ortho[15] = 1.0f;
    struct Case {
        bool firstView;
        int32_t viewW, viewH, portW, portH;
        float x, y;
    } cases[] = {{false, 640, 480, 1280, 960, 1, 1}, {true, 640, 480, 640, 480, 1, 1}, {true, 640, 480, 1280, 960, 0, 0},
                 {true, 640, 480, 320, 240, 0, 0},   {true, 400, 200, 402, 201, 0.5f, 0.5f}, {true, 640, 480, 640, 960, 1, 0}};
    GR_D3D_Start_Frame();
    for (const Case& c : cases) {
        room = GR_RoomInfo{};
        room.firstView = c.firstView;
        room.viewWidth = c.viewW, room.viewHeight = c.viewH, room.portWidth = c.portW, room.portHeight = c.portH;
        GR_D3D_SetMatrix(1, ortho);
        EXPECT_NEAR(GR_D3D_State().pixelOffset[0], c.x, 1e-4) << c.viewW << " onto " << c.portW;
        EXPECT_NEAR(GR_D3D_State().pixelOffset[1], c.y, 1e-4) << c.viewH << " onto " << c.portH;
        EXPECT_NEAR(dev()->transform[1][12], -c.x / 640.0f, 1e-7);
        EXPECT_NEAR(dev()->transform[1][13], c.y / 480.0f, 1e-7);
    }
    GR_D3D_Finish_Frame(false);
    GR_SetRoomProvider(nullptr);
}

TEST_F(DeviceTest, RenderTargetStackRefusesNinthPush)
{
    for (int i = 0; i < 8; ++i) EXPECT_TRUE(GR_D3D_PushRenderTarget());
    EXPECT_FALSE(GR_D3D_PushRenderTarget());
    EXPECT_EQ(GR_D3D_State().rtDepthCount, 8);
    GR_D3D_PopAllRenderTargets();
    EXPECT_EQ(GR_D3D_State().rtDepthCount, 0);
}

TEST_F(DeviceTest, TargetsLeftPushedAreRestoredAtFrameEnd)
{
    TextureRecord* surface = GR_D3D_CreateTexture(64, 64, 1, 1, 6);
    ASSERT_NE(surface, nullptr);
    GfxSurface* colour = surface->colour;
    int32_t refs = colour->RefCount();
    GR_D3D_Start_Frame();
    GR_D3D_PushRenderTarget();
    GR_D3D_SetRenderTarget(0, surface);
    GR_D3D_PushRenderTarget(); // pushes the surface itself: one more reference
    EXPECT_EQ(colour->RefCount(), refs + 2);
    GR_D3D_Finish_Frame(true);
    // The picture went to the back buffer and every reference was given back.
    EXPECT_EQ(dev()->CurrentTarget(), dev()->BackBuffer());
    EXPECT_EQ(colour->RefCount(), refs);
    EXPECT_EQ(GR_D3D_State().rtDepthCount, 0);
    GR_D3D_FreeTexture(surface);
}

TEST_F(DeviceTest, ResetKeepsPositionOrCentresAndAppliesPendingSize)
{
    host.log.clear();
    GR_Window_SetSize(800, 600);
    EXPECT_EQ(GR_ResetPending, 1);
    host.winX = 10;
    host.winY = 20;
    ASSERT_TRUE(GR_D3D_Reset());
    GR_DeviceState& st = GR_D3D_State();
    EXPECT_EQ(st.screenWidth, 800);
    EXPECT_EQ(st.screenHeight, 600);
    EXPECT_EQ(st.screenTexture->Width(), 800);
    EXPECT_EQ(st.pendingWidth, -1);
    EXPECT_EQ(host.winX, 10); // kept its corner
    EXPECT_EQ(host.winW, 800);
    EXPECT_FALSE(st.keepPosition);
    // A later reset without a size request centres the window.
    ASSERT_TRUE(GR_D3D_Reset());
    EXPECT_EQ(host.winX, (1024 - 800) / 2);
    EXPECT_EQ(host.winY, (768 - 600) / 2);
    // A size the display cannot show is held within it, at least a pixel a side: the window,
    // the screen texture and the device's size are all the size held.
    for (const auto& [w, h, heldW, heldH] : {std::array{3000, 5, 1024, 5}, std::array{0, -5, 1, 1}, std::array{-7, 9000, 1, 768}}) {
        GR_Window_SetSize(w, h);
        ASSERT_TRUE(GR_D3D_Reset());
        EXPECT_EQ(host.winW, heldW) << w << " x " << h;
        EXPECT_EQ(host.winH, heldH) << w << " x " << h;
        EXPECT_EQ(st.screenTexture->Width(), heldW);
        EXPECT_EQ(st.screenTexture->Height(), heldH);
        int32_t dw, dh;
        GR_D3D_GetSize(&dw, &dh);
        EXPECT_EQ(dw, heldW);
        EXPECT_EQ(dh, heldH);
    }
}

TEST_F(DeviceTest, ResetReappliesSettings)
{
    GR_Texture_SetRepeat(true);
    GR_3D_SetCulling(true);
    GR_State_SetBlendModeExt(2, 2);
    GR_D3D_Flush();
    ASSERT_TRUE(GR_D3D_Reset());
    EXPECT_EQ(dev()->renderState[GFX_RS_CULLMODE], 3u);
    EXPECT_EQ(dev()->renderState[GFX_RS_SRCBLEND], 2u);
    EXPECT_EQ(dev()->renderState[GFX_RS_DESTBLEND], 2u);
    EXPECT_EQ(dev()->sampler[GFX_SAMP_ADDRESSU], (uint32_t)GFX_TADDRESS_WRAP);
}

TEST_F(DeviceTest, FailedResetSwitchesToDiscardAndSkipsFrameUntilRecovered)
{
    GR_Display_SetMultisample(4);
    dev()->failResets = 2;
    EXPECT_FALSE(GR_D3D_Reset());
    EXPECT_EQ(GR_D3D_State().wantedSwapEffect, (uint32_t)GFX_SWAPEFFECT_DISCARD);
    EXPECT_EQ(GR_D3D_State().wantedMultisample, 0u);
    EXPECT_EQ(GR_D3D_State().screenTexture, nullptr);
    // The next frame retries the reset, which now succeeds.
    EXPECT_TRUE(GR_D3D_Start_Frame());
    EXPECT_NE(GR_D3D_State().screenTexture, nullptr);
    GR_D3D_Finish_Frame(true);
}

TEST_F(DeviceTest, FullscreenResetUsesDesktopSize)
{
    GR_Window_SetFullscreen(true);
    ASSERT_TRUE(GR_D3D_Reset());
    EXPECT_EQ(host.style, WSTYLE_POPUP | WSTYLE_VISIBLE);
    EXPECT_EQ(GR_D3D_State().params.backBufferWidth, 1024);
    EXPECT_FALSE(GR_D3D_State().params.windowed);
    // Leaving full screen for a dialog resets windowed.
    EXPECT_TRUE(GR_D3D_LeaveFullscreen());
    EXPECT_TRUE(GR_D3D_State().params.windowed);
    EXPECT_EQ(host.style, 0x10CA0000u);
}

TEST_F(DeviceTest, ClearSwapsRedAndBlue)
{
    dev()->ClearLog();
    GR_D3D_Clear(0x80112233u, 1.0f, 0, 1);
    const FakePixels& px = *dev()->CurrentTarget()->pixels;
    EXPECT_EQ(px.px[0], 0x80332211u);
    EXPECT_EQ(px.px.back(), 0x80332211u);
    GR_D3D_Clear(0x112233u, 1.0f, 0, 0); // no flags: nothing
    EXPECT_EQ(px.px[0], 0x80332211u);
    EXPECT_EQ(dev()->Calls("Clear"), 1u);
}

TEST_F(DeviceTest, ScreenTextureFailureFailsTheStartAndEndsTheRun)
{
    Stop();
    system.failDevices = 0;
    void* w = GR_Window_Create(640, 480);
    GfxSystem_Set(&system);
    // The device's first texture creation is the screen texture's.
    struct Failing : FakeSystem {
        IGfxDevice* CreateDevice(int32_t o, void* w, uint32_t b, GfxPresentParams& pp) override
        {
            FakeSystem::CreateDevice(o, w, b, pp);
            device->failTextures = 1;
            return device;
        }
    } failing;
    GfxSystem_Set(&failing);
    const StartupOptions saved = g_StartupOptions;
    EXPECT_FALSE(GR_D3D_Init(w, 640, 480, 0));
    EXPECT_TRUE(Main_ExitRequested()) << "the run ends after the entry's shutdown";
    EXPECT_EQ(g_StartupOptions.exitCode, -1);
    g_StartupOptions = saved;
    GR_D3D_Shutdown();
    GfxSystem_Set(&system);
}

} // namespace
