// The window, its procedure, the window operations, display modes and the mouse mapping
// through views, on the fake host.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Display.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "support/FakeGraphics.h"

namespace {

struct KeyEvent {
    bool down;
    int32_t key, mods;
    uint32_t data;
};
std::vector<KeyEvent> g_keys;

class WindowTest : public GraphicsFixture {
protected:
    void SetUp() override
    {
        GraphicsFixture::SetUp();
        g_keys.clear();
        GR_Hooks().keyDown = [](int32_t k, int32_t m, uint32_t d) { g_keys.push_back({true, k, m, d}); };
        GR_Hooks().keyUp = [](int32_t k, int32_t m) { g_keys.push_back({false, k, m, 0}); };
    }
};

TEST_F(WindowTest, CreationClampsToTheDisplayAndCentres)
{
    Stop();
    host.borderL = host.borderR = 4;
    host.borderT = 30;
    host.borderB = 4;
    host.displayW = 1280;
    host.displayH = 1024;
    GR_Options().windowWidth = 1920;
    GR_Options().windowHeight = 1200;
    GR_Options().optionBits = 64;
    ASSERT_NE(GR_Window_Create(1920, 1200), nullptr);
    EXPECT_EQ(GR_Window_Record().clientWidth, 1280);
    EXPECT_EQ(GR_Window_Record().clientHeight, 1024);
    EXPECT_EQ(GR_Window_Record().outerWidth, 1288);
    EXPECT_EQ(host.style, (uint32_t)WSTYLE_OVERLAPPEDWINDOW);
    EXPECT_EQ(host.winX, (1280 - 1288) / 2);
    EXPECT_EQ(GR_D3D_State().screenWidth, 1920);
    EXPECT_EQ(host.cursorIndex, -1); // no show-cursor bit
    EXPECT_EQ(host.caption, "Zimbrel");
    EXPECT_FALSE(host.shown);
}

TEST_F(WindowTest, ShiftCtrlAltAndRepeat)
{
    host.keysDown = {VKEY_SHIFT, VKEY_RSHIFT};
    GR_Window_Proc(WMSG_KEYDOWN, VKEY_SHIFT, 0x360001);
    ASSERT_EQ(g_keys.size(), 2u);
    EXPECT_EQ(g_keys[0].key, 16);
    EXPECT_EQ(g_keys[1].key, 161);
    EXPECT_EQ(g_keys[1].mods, 1);
    host.keysDown.clear();
    GR_Window_Proc(WMSG_KEYUP, VKEY_SHIFT, 0x360001);
    EXPECT_EQ(g_keys[3].key, 161); // matched by the remembered scan code
    GR_Window_Proc(WMSG_KEYDOWN, VKEY_SHIFT, 0x2A0001);
    EXPECT_EQ(g_keys[5].key, 160);
    g_keys.clear();
    GR_Window_Proc(WMSG_SYSKEYDOWN, VKEY_MENU, 0x1380001); // extended: right Alt
    EXPECT_EQ(g_keys[1].key, 165);
    GR_Window_Proc(WMSG_KEYDOWN, VKEY_CONTROL, 0x1D0001);
    EXPECT_EQ(g_keys[3].key, 162);
    g_keys.clear();
    GR_Window_Proc(WMSG_KEYDOWN, 'A', (int64_t)(0x1E0001 | (1u << 30)));
    ASSERT_EQ(g_keys.size(), 1u);
    EXPECT_EQ(g_keys[0].data & 0xFF, 1u); // auto-repeat in the low byte
}

TEST_F(WindowTest, AltEnterNeedsTheOption)
{
    GR_Window_Proc(WMSG_SYSCOMMAND, WSC_KEYMENU, VKEY_RETURN);
    EXPECT_FALSE(GR_Window_GetFullscreen());
    GR_Options().allowFullscreenSwitch = true;
    GR_Window_Proc(WMSG_SYSCOMMAND, WSC_KEYMENU, VKEY_RETURN);
    EXPECT_TRUE(GR_Window_GetFullscreen());
    EXPECT_EQ(GR_ResetPending, 1);
}

TEST_F(WindowTest, FocusCloseAndWheel)
{
    static int quits = 0;
    static int wx = 0, wy = 0;
    GR_Hooks().quit = [] { ++quits; };
    GR_Hooks().wheelUp = [](int32_t, int32_t x, int32_t y, bool* handled) {
        wx = x;
        wy = y;
        *handled = false;
    };
    GR_Window_Proc(WMSG_KILLFOCUS, 0, 0);
    EXPECT_FALSE(GR_Window_HasFocus());
    host.cursorX = 7;
    GR_Window_SetMouse(5, 5);
    EXPECT_EQ(host.cursorX, 7); // no focus: nothing
    GR_Display_SetMouse(9, 9);
    EXPECT_EQ(host.cursorX, 7);
    GR_Window_Proc(WMSG_ACTIVATEAPP, 1, 0);
    EXPECT_TRUE(GR_Window_HasFocus());
    // Wheel positions arrive in screen coordinates and are passed on as client ones.
    host.winX = 100;
    host.winY = 50;
    EXPECT_EQ(GR_Window_Proc(WMSG_MOUSEWHEEL, (uint64_t)120 << 16, (int64_t)(60 << 16 | 130)), 1);
    EXPECT_EQ(wx, 30);
    EXPECT_EQ(wy, 10);
    // window_mouse_set uses the client origin, as the getters do.
    GR_Window_SetMouse(5, 6);
    EXPECT_EQ(host.cursorX, 105);
    EXPECT_EQ(host.cursorY, 56);
    GR_Window_Proc(WMSG_CLOSE, 0, 0);
    EXPECT_EQ(quits, 1);
}

TEST_F(WindowTest, CursorConstants)
{
    GR_Window_SetCursor(-20);
    EXPECT_EQ(host.cursorIndex, 13);
    GR_Window_SetCursor(-23);
    EXPECT_EQ(GR_Window_GetCursor(), -23);
    EXPECT_EQ(host.cursorIndex, 13);
    GR_Window_SetCursor(-5);
    EXPECT_EQ(host.cursorIndex, -1);
    GR_Window_Proc(WMSG_SETCURSOR, 0, WHT_CLIENT);
    EXPECT_EQ(host.cursorIndex, -1);
}

TEST_F(WindowTest, CaptionModeAndColour)
{
    GR_Window_SetCaption("", false);
    EXPECT_EQ(host.caption, "");
    GR_Options().captionMode = 1;
    GR_Window_SetCaption("Hello", false);
    EXPECT_EQ(host.caption, "");
    GR_Window_SetCaption("Hello", true);
    EXPECT_STREQ(GR_Window_GetCaption(), "Hello");
    GR_Window_SetColour(0x123456);
    EXPECT_EQ(GR_Window_GetColour(), 0x123456u);
}

TEST_F(WindowTest, DeviceMouseThroughViewsAndRotation)
{
    GR_ViewPort_ClearAll();
    EXPECT_EQ(GR_Window_DeviceMouseX(5), 0);
    // No view: the window scale alone (640 screen on a 1280 client).
    GR_D3D_State().clientWidth = 1280;
    GR_D3D_State().clientHeight = 960;
    GR_Window_Proc(WMSG_MOUSEMOVE, 0, (int64_t)(100 << 16 | 200));
    EXPECT_EQ(GR_Window_DeviceMouseX(0), 100);
    EXPECT_EQ(GR_Window_DeviceMouseY(0), 50);
    // Minimised: a client size of 0 does not divide by zero.
    GR_D3D_State().clientWidth = 0;
    GR_D3D_State().clientHeight = 0;
    EXPECT_EQ(GR_Window_DeviceMouseX(0), 200);
    GR_D3D_State().clientWidth = 640;
    GR_D3D_State().clientHeight = 480;

    // Two views side by side; a point outside every view maps through the lowest one.
    GR_ViewPort_Set(0, 1000, 0, 320, 480, 0, 0, 320, 480, 0, 0);
    GR_ViewPort_Set(1, 5000, 0, 160, 240, 320, 0, 320, 480, 0, 0);
    EXPECT_EQ(GR_ViewPort_Count(), 2);
    int32_t rx, ry;
    GR_Window_MouseToRoom(400, 100, &rx, &ry);
    EXPECT_EQ(rx, 5040);
    EXPECT_EQ(ry, 50);
    GR_Window_MouseToRoom(10, 10, &rx, &ry);
    EXPECT_EQ(rx, 1010);
    GR_ViewPort_Clear(1);
    GR_ViewPort_Clear(1);
    EXPECT_EQ(GR_ViewPort_Count(), 1);

    // A rotated view: window -> room -> window gives the point back.
    GR_ViewPort_Set(0, 100, 100, 320, 240, 0, 0, 640, 480, 10.0f, 0);
    for (int32_t x = 50; x < 640; x += 97)
        for (int32_t y = 30; y < 480; y += 89) {
            GR_Window_MouseToRoomInView(0, x, y, &rx, &ry);
            int32_t bx, by;
            GR_ViewPort_RoomToScreen(0, (float)rx, (float)ry, &bx, &by);
            EXPECT_NEAR(bx, x, 2) << x << "," << y;
            EXPECT_NEAR(by, y, 2) << x << "," << y;
        }
    // An unused record returns the rounded room position.
    GR_ViewPort_RoomToScreen(7, 10.5f, 11.5f, &rx, &ry);
    EXPECT_EQ(rx, 10);
    EXPECT_EQ(ry, 12);
    // A room scale of 0 does not divide by zero.
    GR_WindowState().roomScaleX = 0;
    GR_Window_MouseToRoomInView(0, 10, 10, &rx, &ry);
    GR_WindowState().roomScaleX = 1;
}

TEST_F(WindowTest, SizeAndRectangleWaitForTheReset)
{
    host.winX = 3;
    GR_Window_SetRectangle(40, 50, 300, 200);
    EXPECT_EQ(host.winX, 40);
    EXPECT_EQ(GR_D3D_State().pendingWidth, 300);
    EXPECT_TRUE(GR_D3D_State().keepPosition);
    GR_Window_Center();
    EXPECT_EQ(host.winX, (1024 - host.winW) / 2);
}

TEST_F(WindowTest, DisplayModesAndWishes)
{
    EXPECT_EQ(GR_Display_GetWidth(), 1024);
    EXPECT_EQ(GR_Display_GetFrequency(), 60);
    host.log.clear();
    EXPECT_TRUE(GR_Display_SetAll(0, 0, 75, 0));
    EXPECT_EQ(host.log.back(), "ChangeMode 0 0 75 0");
    EXPECT_EQ(host.displayW, 1024);
    int before = host.modeChanges;
    EXPECT_TRUE(GR_Display_TestAll(800, 600, 60, 32));
    EXPECT_EQ(host.modeChanges, before);
    GR_Display_SetMultisample(3);
    EXPECT_EQ(GR_D3D_State().wantedMultisample, 0u);
    EXPECT_EQ(GR_D3D_State().wantedSwapEffect, (uint32_t)GFX_SWAPEFFECT_COPY);
    GR_Display_SetMultisample(8);
    EXPECT_EQ(GR_D3D_State().wantedSwapEffect, (uint32_t)GFX_SWAPEFFECT_DISCARD);
    // The device refuses 8 samples: the reset lowers the wish.
    ASSERT_TRUE(GR_D3D_Reset());
    EXPECT_EQ(GR_D3D_State().wantedMultisample, 0u);
    // Adapter table: only 16- and 32-bit modes (24 counts as 32); rates above 255 fit.
    const GR_Adapter* a = GR_Display_GetAdapter(0);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->modeCount, 4);
    EXPECT_EQ(a->modes[3].refreshRate, 300);
    EXPECT_EQ(a->modes[0].modeNumber, 1);
}

} // namespace
