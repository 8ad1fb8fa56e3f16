// The two layers of the input state: what the window handlers record, what one step sees,
// typed text, the key map, the writers and IO_Clear.
#include <gtest/gtest.h>

#include <string>

#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/IO/IO_Input.h"
#include "input/InputTestSupport.h"

namespace {

class InputState : public InputFixture {};

void Down(int32_t key, bool repeat = false) { IO_OnKeyDown(key, 0, repeat); }
void Up(int32_t key) { IO_OnKeyUp(key, 0); }
void Type(const std::u16string& s)
{
    for (char16_t c : s) IO_OnChar(c);
}

TEST_F(InputState, PressedAndReleasedLastOneStepAndRepeatsDoNotPressAgain)
{
    Down('A');
    EXPECT_FALSE(IO_KeyDown('A')) << "nothing reaches the step before the update";
    IO_Update();
    EXPECT_TRUE(IO_KeyDown('A'));
    EXPECT_TRUE(IO_KeyPressed('A'));
    EXPECT_EQ(IO_GetCurrentKey(), 'A');
    EXPECT_EQ(IO_GetLastKey(), 'A');

    Down('B');
    Down('A', true); // auto-repeat of A: keys move, nothing is pressed again
    IO_Update();
    EXPECT_FALSE(IO_KeyPressed('A'));
    EXPECT_TRUE(IO_KeyPressed('B'));
    EXPECT_EQ(IO_GetCurrentKey(), 'A');
    EXPECT_EQ(IO_GetLastKey(), 'A');

    Up('B'); // not the current key: the current key stays
    IO_Update();
    EXPECT_TRUE(IO_KeyReleased('B'));
    EXPECT_FALSE(IO_KeyDown('B'));
    EXPECT_EQ(IO_GetCurrentKey(), 'A');
    Up('A');
    IO_Update();
    EXPECT_EQ(IO_GetCurrentKey(), 0);
    EXPECT_EQ(IO_GetLastKey(), 'A');
    IO_Update();
    EXPECT_FALSE(IO_KeyReleased('A'));
    EXPECT_FALSE(IO_KeyPressed('B'));
    EXPECT_EQ(IO_GetState().stepCount, 6) << "five and the fixture's";
}

TEST_F(InputState, KeyboardChecksOfNoKeyAndAnyKey)
{
    IO_Update();
    EXPECT_TRUE(IO_KeyboardCheck(0));
    EXPECT_FALSE(IO_KeyboardCheck(1));
    EXPECT_FALSE(IO_KeyboardCheckPressed(1));
    Down(200);
    IO_Update();
    EXPECT_FALSE(IO_KeyboardCheck(0));
    EXPECT_TRUE(IO_KeyboardCheck(1));
    EXPECT_TRUE(IO_KeyboardCheckPressed(1));
    EXPECT_FALSE(IO_KeyboardCheckReleased(1));
    EXPECT_TRUE(IO_KeyboardCheckReleased(0));
    EXPECT_TRUE(IO_KeyboardCheck(200));
    EXPECT_FALSE(IO_KeyboardCheck(256));
    EXPECT_FALSE(IO_KeyboardCheck(-56)); // -56 & 255 == 200
}

TEST_F(InputState, CodesOutsideTheKeyRangeAreIgnoredEverywhere)
{
    Down(-1);
    Down(-200);
    Down(256);
    Up(-1);
    IO_SetKeyMap(-3, 65);
    IO_SetKeyMap(300, 65);
    EXPECT_EQ(IO_GetKeyMap(-3), -3);
    EXPECT_EQ(IO_GetKeyMap(300), 300);
    IO_ClearKey(-1);
    IO_Update();
    EXPECT_FALSE(IO_KeyboardCheck(1));
    EXPECT_EQ(IO_GetCurrentKey(), 0);
    EXPECT_FALSE(IO_KeyDown(-1));
    EXPECT_FALSE(IO_KeyPressed(1000));
    IO_SetCurrentKey(-5);
    IO_SetLastKey(256);
    EXPECT_EQ(IO_GetCurrentKey(), 0);
    EXPECT_EQ(IO_GetLastKey(), 0);
}

TEST_F(InputState, KeyMapRoutesKeysAndMutesValuesOutsideTheRange)
{
    IO_SetKeyMap('W', 38);
    IO_SetKeyMap('X', 256);
    IO_SetKeyMap('Y', -1);
    Down('W');
    Down('X');
    Down('Y');
    IO_Update();
    EXPECT_TRUE(IO_KeyDown(38));
    EXPECT_FALSE(IO_KeyDown('W'));
    EXPECT_EQ(IO_GetLastKey(), 38) << "keys mapped away leave no trace at all";
    EXPECT_FALSE(IO_KeyDown('X'));
    EXPECT_EQ(IO_GetKeyMap('X'), 256);
    IO_ResetKeyMap();
    EXPECT_EQ(IO_GetKeyMap('X'), 'X');
    Up('W'); // now itself: W goes up, 38 stays down
    IO_Update();
    EXPECT_TRUE(IO_KeyDown(38));
    EXPECT_TRUE(IO_KeyReleased('W'));
}

TEST_F(InputState, TypedTextBackspaceAndControlCharacters)
{
    Type(u"ab\tc\r\x1b");
    IO_OnChar(8);
    IO_Update();
    EXPECT_STREQ(IO_GetKeyboardString(), "ab");
    EXPECT_EQ(IO_GetLastChar(), 8);
    for (int i = 0; i < 5; ++i) IO_OnChar(8); // more backspaces than characters
    IO_Update();
    EXPECT_STREQ(IO_GetKeyboardString(), "");
    Type(u"\u00e9\u20ac");
    IO_Update();
    EXPECT_STREQ(IO_GetKeyboardString(), "\xc3\xa9\xe2\x82\xac");
    EXPECT_EQ(IO_GetLastChar(), 0x20AC) << "the whole character, not its low byte";
}

TEST_F(InputState, FullTextRestartsWithItsLastCharacter)
{
    std::u16string text;
    for (int i = 0; i < 1023; ++i) text += char16_t(u'a' + i % 26);
    Type(text);
    EXPECT_EQ(IO_GetState().event.textLength, 1023);
    IO_OnChar(u'!');
    IO_Update();
    std::string expected(1, char('a' + 1022 % 26));
    EXPECT_EQ(std::string(IO_GetKeyboardString()), expected + "!");
    // A backspace at the limit restarts first, then removes.
    Type(std::u16string(1021, u'x'));
    EXPECT_EQ(IO_GetState().event.textLength, 1023);
    IO_OnChar(8);
    IO_Update();
    EXPECT_STREQ(IO_GetKeyboardString(), "");
}

TEST_F(InputState, KeyboardStringKeepsAtMost1024CharactersAndNeverReadsPastItsEnd)
{
    std::string text(1500, 'q');
    IO_SetKeyboardString(text.c_str());
    EXPECT_EQ(std::string(IO_GetKeyboardString()), std::string(1024, 'q'));
    EXPECT_EQ(IO_GetState().event.textLength, 1024);
    IO_Update();
    EXPECT_EQ(std::string(IO_GetKeyboardString()).size(), 1024u);
    IO_OnChar(u'z'); // over the limit: restarts with the last one
    IO_Update();
    EXPECT_STREQ(IO_GetKeyboardString(), "qz");

    // A sequence cut by the terminator and a four-byte one.
    IO_SetKeyboardString("a\xe2\x82");
    EXPECT_STREQ(IO_GetKeyboardString(), "a\xef\xbf\xbd");
    IO_SetKeyboardString("\xf0\x9f\x98\x80z");
    EXPECT_STREQ(IO_GetKeyboardString(), "\xef\xbf\xbdz");
    IO_SetKeyboardString(nullptr);
    EXPECT_STREQ(IO_GetKeyboardString(), "");
    // Surrogates typed one unit at a time read back as they came.
    IO_OnChar(0xD83D);
    IO_OnChar(0xDE00);
    IO_Update();
    EXPECT_STREQ(IO_GetKeyboardString(), "\xed\xa0\xbd\xed\xb8\x80");
}

TEST_F(InputState, WritersOfTheKeyVariables)
{
    Down('K');
    IO_Update();
    IO_SetLastKey(0); // forgets the pending keys as well
    IO_Update();
    EXPECT_EQ(IO_GetLastKey(), 0);
    EXPECT_EQ(IO_GetCurrentKey(), 0);
    EXPECT_TRUE(IO_KeyDown('K'));
    IO_SetCurrentKey(90);
    EXPECT_EQ(IO_GetCurrentKey(), 90);
    IO_Update();
    EXPECT_EQ(IO_GetCurrentKey(), 0) << "the next step takes the window's again";
    IO_SetLastChar(u'\u00e9');
    IO_Update();
    EXPECT_EQ(IO_GetLastChar(), 0xE9) << "kept until the next character is typed";
    IO_OnChar(u'x');
    IO_Update();
    EXPECT_EQ(IO_GetLastChar(), u'x');
}

TEST_F(InputState, WhatScriptsSetBeforeTheFirstStepIsKept)
{
    IO_ResetState();
    IO_SetCurrentKey(65);
    IO_SetMouseLastButton(2, 0);
    IO_GetState().step.keyDown[70] = 1;
    IO_Update();
    EXPECT_EQ(IO_GetCurrentKey(), 65);
    EXPECT_EQ(IO_GetMouseLastButton(0), 2);
    EXPECT_TRUE(IO_KeyDown(70));
    IO_SetCurrentKey(66);
    IO_Update();
    EXPECT_EQ(IO_GetCurrentKey(), 65) << "only the first update copies the step layer back";
}

TEST_F(InputState, WindowInputBeforeTheFirstStepIsDropped)
{
    IO_ResetState();
    IO_OnKeyDown('P', 0, false);
    IO_OnChar(u'p');
    IO_Update();
    EXPECT_FALSE(IO_KeyboardCheck(1));
    EXPECT_STREQ(IO_GetKeyboardString(), "");
}

TEST_F(InputState, MouseButtonsWheelAndPosition)
{
    IO_OnMouseMove(-12, -3);
    IO_OnMouseDown(1, 0, 0);
    IO_OnMouseDown(3, 0, 0);
    bool handled = false;
    IO_OnMouseWheelUp(0, 0, 0, &handled);
    EXPECT_TRUE(handled);
    IO_Update();
    EXPECT_EQ(IO_GetDeviceMouseX(0), -12) << "left of the window is negative";
    EXPECT_EQ(IO_GetDeviceMouseY(0), -3);
    EXPECT_EQ(IO_GetMouseButton(0), 3);
    EXPECT_EQ(IO_GetMouseLastButton(0), 3);
    EXPECT_TRUE(IO_MouseButtonPressed(1, 0));
    EXPECT_TRUE(IO_MouseCheckButton(-1, 0));
    EXPECT_FALSE(IO_MouseCheckButton(0, 0));
    EXPECT_TRUE(IO_MouseCheckButton(3, 0));
    EXPECT_FALSE(IO_MouseCheckButton(2, 0));
    EXPECT_TRUE(IO_MouseWheelUp(0));
    EXPECT_FALSE(IO_MouseWheelDown(0));

    IO_OnMouseUp(1, 0, 0);
    IO_Update();
    EXPECT_EQ(IO_GetMouseButton(0), 0) << "any release leaves no button held";
    EXPECT_TRUE(IO_MouseButtonReleased(1, 0));
    EXPECT_TRUE(IO_MouseCheckButtonReleased(-1, 0));
    EXPECT_TRUE(IO_MouseButtonDown(3, 0));
    EXPECT_FALSE(IO_MouseWheelUp(0));

    // Outside the ranges.
    IO_OnMouseDown(4, 0, 0);
    IO_OnMouseDown(0, 0, 0);
    IO_Update();
    EXPECT_FALSE(IO_MouseCheckButton(4, 0));
    EXPECT_FALSE(IO_MouseButtonDown(3, 5));
    EXPECT_FALSE(IO_MouseButtonDown(3, -1));
    EXPECT_EQ(IO_GetMouseButton(7), 0);
    EXPECT_FALSE(IO_MouseCheckButton(0, 9));
    IO_SetMouseButton(4, 0);
    IO_SetMouseButton(2, 5);
    EXPECT_EQ(IO_GetMouseButton(0), 0);
    IO_SetMouseButton(2, 4);
    EXPECT_EQ(IO_GetMouseButton(4), 2);
}

TEST_F(InputState, ScreenCursorComesFromTheHostEachStep)
{
    host.cursorX = 1234;
    host.cursorY = -20;
    IO_Update();
    EXPECT_EQ(IO_GetState().step.cursorX, 1234);
    EXPECT_EQ(IO_GetState().step.cursorY, -20);
}

TEST_F(InputState, ClearingKeysButtonsAndEverything)
{
    Down('A');
    Down('B');
    IO_OnMouseDown(2, 0, 0);
    IO_Update();
    IO_ClearKey('A');
    IO_ClearMouseButton(2, 0);
    EXPECT_FALSE(IO_KeyDown('A'));
    EXPECT_FALSE(IO_MouseButtonDown(2, 0));
    IO_Update();
    EXPECT_FALSE(IO_KeyDown('A')) << "cleared in the key-event layer too";
    EXPECT_TRUE(IO_KeyDown('B'));
    EXPECT_FALSE(IO_MouseButtonDown(2, 0));

    IO_State& s = IO_GetState();
    s.step.mouseDown[1 * 3 + 0] = 1; // device 1, left
    s.step.mouseButton[1] = 1;
    s.step.wheelDown[2] = 1;
    Type(u"hello");
    IO_SetLastChar(u'h');
    IO_OnMouseDown(1, 0, 0);
    IO_Update();
    IO_Clear();
    EXPECT_FALSE(IO_KeyboardCheck(1));
    EXPECT_STREQ(IO_GetKeyboardString(), "");
    EXPECT_EQ(IO_GetLastChar(), 0);
    EXPECT_EQ(IO_GetLastKey(), 0);
    EXPECT_EQ(IO_GetMouseButton(0), 0);
    EXPECT_FALSE(IO_MouseButtonDown(1, 0));
    EXPECT_TRUE(IO_MouseButtonDown(1, 1)) << "devices 1..4 keep their state";
    EXPECT_EQ(IO_GetMouseButton(1), 1);
    IO_Update();
    EXPECT_FALSE(IO_KeyDown('B'));
    EXPECT_STREQ(IO_GetKeyboardString(), "");
    EXPECT_FALSE(IO_MouseButtonDown(1, 0));
}

TEST_F(InputState, WindowHooksReachTheInputState)
{
    GR_HookTable& h = GR_Hooks();
    ASSERT_NE(h.keyDown, nullptr);
    h.keyDown('Q', 0, 1u << 30); // already down: a repeat, so not pressed
    h.character(u'q');
    h.mouseMove(5, 6);
    IO_Update();
    EXPECT_TRUE(IO_KeyDown('Q'));
    EXPECT_FALSE(IO_KeyPressed('Q'));
    EXPECT_STREQ(IO_GetKeyboardString(), "q");
    int32_t x = 0, y = 0;
    ASSERT_TRUE(h.deviceMouse(0, &x, &y));
    EXPECT_EQ(x, 5);
    EXPECT_EQ(y, 6);
    EXPECT_FALSE(h.deviceMouse(5, &x, &y));
    IO_Shutdown();
    EXPECT_EQ(GR_Hooks().keyDown, nullptr);
}

} // namespace
