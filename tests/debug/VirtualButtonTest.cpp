// The virtual buttons' options and update without a window of any size: key and button names,
// at most 128 buttons from the sections, buttons beyond the first 32 acting as keys, a window
// of size 0, a click within one step that taps the button under it, and a room end that keeps
// the options' buttons and frees the scripts' ones.
#include <gtest/gtest.h>

#include <string>

#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/IO/IO_Input.h"
#include "Files/IO/IO_VirtualButton.h"
#include "Files/Support/IniFile.h"
#include "support/FakeGraphics.h"

namespace {

bool Lookup(const char* name, int32_t* value)
{
    if (std::string(name) == "VK_SPACE") *value = 32;
    else if (std::string(name) == "MB_RIGHT") *value = 2;
    else if (std::string(name) == "VK_BIG") *value = 0x1234;
    else return false;
    return true;
}

class VirtualButtons : public GraphicsFixture {
protected:
    void SetUp() override
    {
        GraphicsFixture::SetUp(); // a 640 x 480 window
        IO_VirtualButton_Reset();
        IO_SetKeyNameLookup(Lookup);
        IO_ResetState();
        IO_Update();
    }
    void TearDown() override
    {
        IO_SetKeyNameLookup(nullptr);
        IO_VirtualButton_Reset();
        GraphicsFixture::TearDown();
    }
};

TEST_F(VirtualButtons, KeyAndButtonNames)
{
    EXPECT_EQ(IO_ParseKeyName("a"), 97); // the byte, not the capital's key code
    EXPECT_EQ(IO_ParseKeyName("VK_SPACE"), 32);
    EXPECT_EQ(IO_ParseKeyName("VK_BIG"), 0x34); // low 8 bits
    EXPECT_EQ(IO_ParseKeyName("VK_NONE"), 0);
    EXPECT_EQ(IO_ParseKeyName("MB_RIGHT"), 0);
    EXPECT_EQ(IO_ParseKeyName(" x"), 0);
    EXPECT_EQ(IO_ParseButtonName("MB_RIGHT"), 2);
    EXPECT_EQ(IO_ParseButtonName("RIGHT"), 0);
}

TEST_F(VirtualButtons, SectionsBeyondTheTableAreIgnoredAndEveryButtonHasItsBit)
{
    std::string text = "[IO_VIRTUAL_BUTTONS]\nNUM_BUTTONS=200\nTEXTURE=pad.png\n";
    for (int i = 0; i < 200; ++i)
        text += "[IO_BUTTON_" + std::to_string(i) + "]\nX=" + std::to_string(i * 4) + "\nY=0\nW=4\nH=4\nKEY=" +
                (i == 100 ? std::string("VK_SPACE") : std::string("q")) + "\n";
    IniFile ini;
    ini.SetText(text.c_str());
    IO_InitVirtualButtons(&ini);
    EXPECT_EQ(IO_VirtualButton_FindFree(), nullptr); // 128 filled, the rest ignored
    EXPECT_STREQ(IO_VirtualButton_TextureName(), "pad.png");
    EXPECT_EQ(IO_VirtualButton_Get(127)->x, 508);

    IO_VirtualButton_Touch(0, 401, 2); // over button 100
    IO_Update();
    IO_VirtualButton_Touch(0, 401, 2);
    IO_Update();
    EXPECT_TRUE(IO_KeyDown(32));
    EXPECT_FALSE(IO_KeyDown('q'));
}

TEST_F(VirtualButtons, AWindowOfNoSizeTouchesNothing)
{
    IO_VirtualButton* b = IO_VirtualButton_FindFree();
    *b = IO_VirtualButton{IO_VBUTTON_IN_USE, b->index, 0, 0, 100, 100, 100, 100, 0, 0, 0, 2};
    host.clientW = host.clientH = 0;
    IO_VirtualButton_Touch(0, 5, 5);
    IO_Update();
    EXPECT_FALSE(IO_MouseButtonPressed(2, 0));
    host.clientW = 640;
    host.clientH = 480;
    IO_VirtualButton_Touch(0, 5, 5);
    IO_Update();
    EXPECT_TRUE(IO_MouseButtonPressed(2, 0)); // a mouse button of device 0
}

TEST_F(VirtualButtons, AClickWithinOneStepPressesAndReleasesTheButtonUnderIt)
{
    IO_VirtualButton* b = IO_VirtualButton_FindFree();
    *b = IO_VirtualButton{IO_VBUTTON_IN_USE, b->index, 0, 0, 100, 100, 100, 100, 0, 0, 'Z', 0};
    IO_OnMouseMove(5, 5);
    IO_OnMouseDown(1, 5, 5);
    IO_OnMouseUp(1, 5, 5);
    IO_Update();
    EXPECT_TRUE(IO_KeyPressed('Z'));
    EXPECT_TRUE(IO_KeyReleased('Z'));
    EXPECT_FALSE(IO_KeyDown('Z'));
    IO_Update();
    EXPECT_FALSE(IO_KeyPressed('Z') || IO_KeyReleased('Z') || IO_KeyDown('Z')) << "one step only";
}

TEST_F(VirtualButtons, ARoomEndKeepsTheOptionsButtons)
{
    IniFile ini;
    ini.SetText("[IO_VIRTUAL_BUTTONS]\nNUM_BUTTONS=1\n[IO_BUTTON_0]\nX=1\nY=2\nW=3\nH=4\nKEY=z\n");
    IO_InitVirtualButtons(&ini);
    IO_VirtualButton_Get(0)->flags |= IO_VBUTTON_SHOWN;
    IO_VirtualButton* script = IO_VirtualButton_FindFree();
    script->flags = IO_VBUTTON_IN_USE;
    IO_VirtualButton_ClearAll();
    EXPECT_EQ(IO_VirtualButton_Get(0)->flags, IO_VBUTTON_IN_USE | IO_VBUTTON_FROM_OPTIONS); // as read
    EXPECT_EQ(IO_VirtualButton_Get(0)->key, 'z');
    EXPECT_EQ(IO_VirtualButton_Get(1)->flags, 0);
}

} // namespace
