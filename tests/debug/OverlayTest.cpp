// The overlay on the recording device: what a frame draws with the frame-rate display on and
// off, the profiler's markers, the frame-rate statistics (zero-length frames, the line at
// shutdown), the text of large values, the banner's click sequence, and the shown virtual
// buttons.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "Files/Debug/Debug_Main.h"
#include "Files/Debug/Debug_Overlay.h"
#include "Files/Font/Font_Text.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/Graphics_API/TBitmap.h"
#include "Files/IO/IO_Input.h"
#include "Files/IO/IO_VirtualButton.h"
#include "Files/Support/CommandLine.h"
#include "Files/World/World_Hooks.h"
#include "support/CaptureConsole.h"
#include "support/FakeGraphics.h"

namespace {

class Overlay : public GraphicsFixture {
protected:
    void SetUp() override
    {
        GraphicsFixture::SetUp();
        WorldHooks hooks;
        Debug_InstallHooks(hooks);
        Overlay_Reset();
        GR_BuiltinImages_SetTable(GR_BuiltinImages_Default());
        GR_Text_CreateDefaultFont();
        g_StartupOptions.debugFormMode = 0;
        IO_ResetState();
        IO_Update(); // past the first update, which takes the step layer back
    }
    void TearDown() override
    {
        GR_Text_FreeDefaultFont();
        GR_Hooks().profilerReset = nullptr;
        GR_Hooks().overlayDrawFrame = nullptr;
        GR_Hooks().fpsStatsPrint = nullptr;
        g_StartupOptions.debugFormMode = 0;
        GraphicsFixture::TearDown();
    }
    // One frame; the draws it made.
    std::vector<FakeDraw> Frame()
    {
        dev()->draws.clear();
        EXPECT_TRUE(GR_D3D_Start_Frame());
        EXPECT_TRUE(GR_D3D_Finish_Frame(true));
        return dev()->draws;
    }
    static int Count(const std::vector<FakeDraw>& draws, float z)
    {
        int n = 0;
        for (const FakeDraw& d : draws)
            for (uint32_t v = 0; v < d.vertexCount(); ++v) n += d.stride == 24 && d.F(v, 2) == z ? 1 : 0;
        return n;
    }
};

TEST_F(Overlay, DrawsTheBandAndTheFrameRateOnlyWhenShown)
{
    const std::vector<FakeDraw> off = Frame();
    EXPECT_EQ(Count(off, 0.5f), 0);
    EXPECT_EQ(Count(off, 0.7f), 0);

    g_StartupOptions.debugFormMode = OVERLAY_FPS; // as "-debug" leaves it
    Frame(); // a first frame to have a frame time
    const std::vector<FakeDraw> on = Frame();
    // The band: the frame's white bar and one bar per marker ("Total"), six vertices each.
    EXPECT_EQ(Count(on, 0.5f), 2 * 6);
    // The line "<n>fps\t\t(<swaps>)(<batches>)" drawn five times (four shadows), six vertices a glyph.
    const int glyphs = Count(on, 0.7f);
    EXPECT_GT(glyphs, 0);
    EXPECT_EQ(glyphs % (5 * 6), 0);
    // The glyphs carry texture coordinates inside the 256 x 128 font page.
    for (const FakeDraw& d : on)
        for (uint32_t v = 0; v < d.vertexCount(); ++v)
            if (d.F(v, 2) == 0.7f) {
                EXPECT_GE(d.F(v, 4), 0.0f);
                EXPECT_LE(d.F(v, 4), 1.0f);
            }
}

TEST_F(Overlay, MarkersNestCloseAndStopAtTheLimit)
{
    Profiler_Reset();
    Profiler_Begin(0xFF00FF00u, "Update");
    Profiler_Begin(0xFFFF0000u, "Draw");
    Profiler_End();
    Profiler_End();
    Profiler_End(); // "Total"
    Profiler_End(); // nothing open: nothing happens
    ASSERT_EQ(Profiler_Count(), 3);
    EXPECT_STREQ(Profiler_Marker(0)->name, "Total");
    EXPECT_STREQ(Profiler_Marker(2)->name, "Draw");
    for (int32_t i = 0; i < 3; ++i) EXPECT_GE(Profiler_Marker(i)->end, Profiler_Marker(i)->start);
    for (int32_t i = 0; i < 2000; ++i) Profiler_Begin(0, "many");
    EXPECT_EQ(Profiler_Count(), PROFILER_MARKERS);
}

TEST_F(Overlay, ZeroLengthFramesAndLargeValuesAreSafe)
{
    EXPECT_EQ(Overlay_FrameRate(0), 0);
    EXPECT_EQ(Overlay_FrameRate(-5), 0);
    EXPECT_EQ(Overlay_FrameRate(1), 1000000);
    EXPECT_EQ(Overlay_FrameRate(16667), 59);
    char text[96];
    Overlay_FrameRateText(INT_MAX, 4294967295u, 4294967295u, text, int32_t(sizeof text));
    EXPECT_STREQ(text, "2147483647fps\t\t(4294967295)(4294967295)");
    char small[8];
    Overlay_FrameRateText(123456, 1, 2, small, int32_t(sizeof small));
    EXPECT_STREQ(small, "123456f"); // cut, terminated
}

TEST_F(Overlay, StatisticsStartAfterAHundredFramesAndArePrinted)
{
    for (int i = 0; i < 100; ++i) FpsStats_Count(1000); // not counted yet
    FpsStats_Count(20);
    FpsStats_Count(60);
    const FpsStats& s = Overlay_FpsStats();
    EXPECT_EQ(s.minimum, 20);
    EXPECT_EQ(s.maximum, 60);
    EXPECT_EQ(s.average, ((30 + 20) / 2 + 60) / 2);
    CaptureConsole log;
    GR_D3D_FreeScreenTexture(); // the graphics shutdown prints them
    EXPECT_NE(log.Text().find("minFPS, maxFPS, avgFPS\n20, 60, 42\n"), std::string::npos) << log.Text();
}

TEST_F(Overlay, TheClickSequenceShowsTheBannerAndCloseHidesIt)
{
    const uint8_t(*show)[3];
    const uint8_t(*fps)[3];
    int32_t n, m;
    Overlay_ClickSequences(&show, &n, &fps, &m);
    const GR_DeviceState& st = GR_D3D_State();
    auto click = [&](int32_t x, int32_t y) {
        IO_GetState().event.mouseX = x;
        IO_GetState().event.mouseY = y;
        IO_OnMouseDown(1, x, y);
        IO_OnMouseUp(1, x, y);
        IO_Update();
        Frame();
    };
    for (int32_t i = 0; i < n; ++i)
        click(show[i][0] * st.clientWidth / 10 + 2, show[i][1] * st.clientHeight / 10 + 2);
    EXPECT_TRUE(Overlay_Flags() & OVERLAY_BANNER);
    const std::vector<FakeDraw> banner = Frame();
    EXPECT_GT(Count(banner, 0.7f), 0); // its texts
    click(st.clientWidth - 40, 88); // CLOSE
    EXPECT_FALSE(Overlay_Flags() & OVERLAY_BANNER);
}

} // namespace

// The shown virtual buttons, drawn in the overlay's state over a frame: six white vertices a
// button, scaled from the design size to the window.
TEST_F(Overlay, ShownVirtualButtonsAreDrawnScaledToTheWindow)
{
    IO_VirtualButton_Reset();
    GR_SetDesignSize(320, 240); // the window is 640 x 480
    IO_VirtualButton* hidden = IO_VirtualButton_FindFree();
    *hidden = IO_VirtualButton{IO_VBUTTON_IN_USE, hidden->index, 0, 0, 10, 10, 10, 10, 0, 0, 65, 0};
    IO_VirtualButton* shown = IO_VirtualButton_FindFree();
    *shown = IO_VirtualButton{IO_VBUTTON_IN_USE | IO_VBUTTON_SHOWN, shown->index, 10, 20, 40, 60, 30, 40, 0, 0, 66, 0};
    dev()->draws.clear();
    ASSERT_TRUE(GR_D3D_Start_Frame());
    Overlay_Begin();
    IO_VirtualButton_DrawAll();
    Overlay_End();
    ASSERT_TRUE(GR_D3D_Finish_Frame(true));
    std::vector<std::pair<float, float>> corners;
    for (const FakeDraw& d : dev()->draws)
        for (uint32_t v = 0; v < d.vertexCount(); ++v)
            if (d.stride == 24 && d.F(v, 2) == 0.5f) {
                EXPECT_EQ(d.Colour(v), 0xFFFFFFFFu);
                corners.emplace_back(d.F(v, 0), d.F(v, 1));
            }
    ASSERT_EQ(corners.size(), 6u);
    EXPECT_EQ(corners[0], std::make_pair(20.0f, 40.0f));
    EXPECT_EQ(corners[2], std::make_pair(80.0f, 120.0f));
    GR_SetDesignSize(-1, -1);
    IO_VirtualButton_Reset();
}
