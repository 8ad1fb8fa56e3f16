// SDL events through the translator and the window procedure into the input state: left and
// right modifier keys, the repeat bit, Alt+Enter, typed text made from text events and from
// key presses, the mouse, unknown key codes, and keys injected into the event queue.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <cstring>
#include <memory>
#include <string>

#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_Host.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/Graphics_API/Linux/Graphics_EventsM.h"
#include "Files/IO/IO_Input.h"
#include "input/InputTestSupport.h"

namespace {

// A fake host that answers key-state questions from the translator's record, as the SDL
// host does.
class TranslatingHost : public FakeHost {
public:
    GR_SdlInputState state = {};
    bool IsKeyDown(int32_t vkey) override { return vkey >= 0 && vkey < 256 && state.keyDown[vkey]; }
};

class WindowTranslate : public ::testing::Test {
protected:
    void SetUp() override
    {
        Input_StartSDL();
        WindowHost_Set(&host);
        GR_Hooks() = GR_HookTable{};
        GR_Window_Record().quitSeen = false;
        IO_ResetState();
        IO_Init();
        IO_Update(); // past the first update
    }
    void TearDown() override
    {
        IO_Shutdown();
        IO_ResetState();
        WindowHost_Set(nullptr);
        GR_Options().allowFullscreenSwitch = false;
        GR_D3D_State().fullscreen = false;
        GR_ResetPending = 0;
    }

    // Translates and delivers one event; returns its messages.
    GR_MessageList Send(const SDL_Event& e)
    {
        GR_MessageList list;
        GR_Sdl_Translate(host.state, e, 100, 50, list);
        for (int32_t i = 0; i < list.count; ++i)
            GR_Window_Proc(list.items[i].message, list.items[i].wParam, list.items[i].lParam);
        return list;
    }
    GR_MessageList Key(SDL_Keycode sym, bool down, bool repeat = false,
                       SDL_Scancode scan = SDL_SCANCODE_UNKNOWN)
    {
        SDL_Event e{};
        e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.keysym.sym = sym;
        e.key.keysym.scancode = scan != SDL_SCANCODE_UNKNOWN ? scan : SDL_GetScancodeFromKey(sym);
        e.key.repeat = repeat ? 1 : 0;
        e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        return Send(e);
    }
    GR_MessageList Text(const char* utf8)
    {
        SDL_Event e{};
        e.type = SDL_TEXTINPUT;
        std::strncpy(e.text.text, utf8, sizeof e.text.text - 1);
        return Send(e);
    }

    TranslatingHost host;
};

TEST_F(WindowTranslate, RightShiftGivesTheGenericAndTheRightKey)
{
    Key(SDLK_RSHIFT, true);
    IO_Update();
    EXPECT_TRUE(IO_KeyDown(16));
    EXPECT_TRUE(IO_KeyDown(161));
    EXPECT_FALSE(IO_KeyDown(160));
    EXPECT_TRUE(IO_KeyPressed(161));
    Key(SDLK_RSHIFT, false);
    IO_Update();
    EXPECT_TRUE(IO_KeyReleased(16));
    EXPECT_TRUE(IO_KeyReleased(161));
    EXPECT_FALSE(IO_KeyReleased(160));

    Key(SDLK_LSHIFT, true);
    Key(SDLK_LCTRL, true);
    Key(SDLK_RALT, true);
    IO_Update();
    for (int32_t k : {16, 160, 17, 162, 18, 165}) EXPECT_TRUE(IO_KeyDown(k)) << k;
    for (int32_t k : {161, 163, 164}) EXPECT_FALSE(IO_KeyDown(k)) << k;
    Key(SDLK_RCTRL, true);
    Key(SDLK_LCTRL, false);
    IO_Update();
    EXPECT_TRUE(IO_KeyDown(163));
    EXPECT_FALSE(IO_KeyDown(162));
    EXPECT_TRUE(host.state.keyDown[17]) << "the other Control key still holds the generic key";
}

TEST_F(WindowTranslate, RepeatsSetTheRepeatBitAndPressOnce)
{
    GR_MessageList first = Key(SDLK_a, true);
    ASSERT_EQ(first.count, 1);
    EXPECT_EQ(first.items[0].message, uint32_t(WMSG_KEYDOWN));
    EXPECT_EQ(first.items[0].wParam, uint64_t('A'));
    EXPECT_EQ(first.items[0].lParam & (1 << 30), 0);
    IO_Update();
    EXPECT_TRUE(IO_KeyPressed('A'));
    GR_MessageList again = Key(SDLK_a, true, true);
    EXPECT_NE(again.items[0].lParam & (1 << 30), 0);
    IO_Update();
    EXPECT_FALSE(IO_KeyPressed('A'));
    EXPECT_TRUE(IO_KeyDown('A'));
    GR_MessageList up = Key(SDLK_a, false);
    EXPECT_EQ(up.items[0].message, uint32_t(WMSG_KEYUP));
}

TEST_F(WindowTranslate, AltEnterSwitchesFullScreenOnceAndTypesNothing)
{
    GR_Options().allowFullscreenSwitch = true;
    Key(SDLK_LALT, true);
    GR_MessageList enter = Key(SDLK_RETURN, true);
    ASSERT_EQ(enter.count, 2);
    EXPECT_EQ(enter.items[0].message, uint32_t(WMSG_SYSKEYDOWN));
    EXPECT_EQ(enter.items[1].message, uint32_t(WMSG_SYSCOMMAND));
    EXPECT_TRUE(GR_Window_GetFullscreen());
    Key(SDLK_RETURN, true, true); // held: no second switch
    EXPECT_TRUE(GR_Window_GetFullscreen());
    IO_Update();
    for (int32_t k : {18, 164, 13}) EXPECT_TRUE(IO_KeyDown(k)) << k;
    EXPECT_EQ(IO_GetState().event.lastChar, 0) << "Alt+Enter is a system key, not text";
    Key(SDLK_RETURN, false);
    Key(SDLK_LALT, false);
    Key(SDLK_LALT, true);
    Key(SDLK_RETURN, true);
    EXPECT_FALSE(GR_Window_GetFullscreen());

    GR_Options().allowFullscreenSwitch = false;
    Key(SDLK_RETURN, false);
    Key(SDLK_RETURN, true);
    EXPECT_FALSE(GR_Window_GetFullscreen());
}

TEST_F(WindowTranslate, TextEventsAndTypingKeysFillTheTypedText)
{
    Text("h\xc3\xa9");
    Text("\xf0\x9f\x98\x80"); // outside the plane: two units
    Key(SDLK_TAB, true);
    Key(SDLK_ESCAPE, true);
    Key(SDLK_KP_ENTER, true);
    IO_Update();
    EXPECT_EQ(IO_GetState().step.text[0], u'h');
    EXPECT_EQ(IO_GetState().step.text[1], u'\u00e9');
    EXPECT_EQ(IO_GetState().step.text[2], 0xD83D);
    EXPECT_EQ(IO_GetState().step.text[3], 0xDE00);
    EXPECT_EQ(IO_GetState().step.text[4], 0);
    EXPECT_EQ(IO_GetLastChar(), 13);
    // Backspace and its repeats remove one unit each.
    Key(SDLK_BACKSPACE, true);
    Key(SDLK_BACKSPACE, true, true);
    Key(SDLK_BACKSPACE, true, true);
    IO_Update();
    EXPECT_STREQ(IO_GetKeyboardString(), "h");
    // Malformed text: each bad byte is one replacement character.
    GR_MessageList bad = Text("\xff\xc3z");
    ASSERT_EQ(bad.count, 3);
    EXPECT_EQ(bad.items[0].wParam, 0xFFFDu);
    EXPECT_EQ(bad.items[1].wParam, 0xFFFDu);
    EXPECT_EQ(bad.items[2].wParam, uint64_t('z'));
    EXPECT_EQ(Text("\xed\xa0\x80").items[0].wParam, 0xFFFDu) << "an encoded surrogate is not text";
}

TEST_F(WindowTranslate, KeysByCodeThenByPosition)
{
    EXPECT_EQ(GR_Sdl_VirtualKey(SDLK_F13, SDL_SCANCODE_F13), 124);
    EXPECT_EQ(GR_Sdl_VirtualKey(SDLK_KP_5, SDL_SCANCODE_KP_5), 101);
    EXPECT_EQ(GR_Sdl_VirtualKey(SDLK_NUMLOCKCLEAR, SDL_SCANCODE_NUMLOCKCLEAR), 144);
    EXPECT_EQ(GR_Sdl_VirtualKey(SDLK_z, SDL_SCANCODE_Y), 'Z') << "a letter is the letter the layout gives";
    EXPECT_EQ(GR_Sdl_VirtualKey(0xE9, SDL_SCANCODE_2), '2') << "other layouts' characters go by position";
    EXPECT_EQ(GR_Sdl_VirtualKey(0xF6, SDL_SCANCODE_SEMICOLON), 186);
    EXPECT_EQ(GR_Sdl_VirtualKey(0x10FFFF, SDL_SCANCODE_UNKNOWN), 0);
    EXPECT_EQ(Key(0x10FFFF, true, false, SDL_SCANCODE_UNKNOWN).count, 0) << "a key without a code is dropped";
}

TEST_F(WindowTranslate, MousePositionsButtonsAndWheel)
{
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = -5;
    e.motion.y = -70000; // far above: held at the 16-bit limit, still negative
    Send(e);
    e = SDL_Event{};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.button = SDL_BUTTON_RIGHT;
    Send(e);
    e = SDL_Event{};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.y = -2;
    e.wheel.mouseX = 7;
    e.wheel.mouseY = 9;
    GR_MessageList wheel = Send(e);
    ASSERT_EQ(wheel.count, 1);
    EXPECT_EQ(int16_t(wheel.items[0].wParam >> 16), -240);
    EXPECT_EQ(wheel.items[0].wParam & 0xFFFF, uint64_t(WMK_RBUTTON));
    EXPECT_EQ(wheel.items[0].lParam, int64_t(59 << 16 | 107)) << "screen coordinates";
    IO_Update();
    EXPECT_EQ(IO_GetDeviceMouseX(0), -5);
    EXPECT_EQ(IO_GetDeviceMouseY(0), -32768);
    EXPECT_TRUE(IO_MouseButtonPressed(2, 0));
    EXPECT_TRUE(IO_MouseWheelDown(0));
    EXPECT_FALSE(IO_MouseWheelUp(0));
    e = SDL_Event{};
    e.type = SDL_MOUSEBUTTONUP;
    e.button.button = SDL_BUTTON_RIGHT;
    Send(e);
    IO_Update();
    EXPECT_TRUE(IO_MouseButtonReleased(2, 0));
    EXPECT_EQ(host.state.mouseButtons, 0u);
}

TEST_F(WindowTranslate, FocusLossRaisesThePauseEvent)
{
    static int pauses = 0;
    pauses = 0;
    GR_Hooks().pauseEvent = [] { ++pauses; };
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
    Send(e);
    EXPECT_EQ(pauses, 1);
    EXPECT_FALSE(GR_Window_HasFocus());
    e.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
    Send(e);
    EXPECT_TRUE(GR_Window_HasFocus());
}

// Keys injected into SDL's queue come back through the real host's pump.
TEST(WindowInjectedKeys, ComeBackThroughTheSdlHostsPump)
{
    Input_StartSDL();
    std::unique_ptr<IWindowHost> sdl(WindowHost_CreateSDL());
    WindowHost_Set(sdl.get());
    GR_Hooks() = GR_HookTable{};
    IO_ResetState();
    IO_Init();
    IO_Update();
    sdl->PumpMessages(); // whatever the video driver had queued

    EXPECT_TRUE(sdl->PostKey('G', true));
    EXPECT_TRUE(sdl->PostKey(161, true));
    EXPECT_FALSE(sdl->PostKey(256, true));
    EXPECT_FALSE(sdl->PostKey(-1, true));
    sdl->PumpMessages();
    EXPECT_TRUE(sdl->IsKeyDown('G'));
    EXPECT_TRUE(sdl->IsKeyDown(16));
    IO_Update();
    EXPECT_TRUE(IO_KeyPressed('G'));
    EXPECT_TRUE(IO_KeyDown(16));
    EXPECT_TRUE(IO_KeyDown(161));
    EXPECT_STREQ(IO_GetKeyboardString(), "g") << "typed before Shift went down";

    sdl->PostKey(161, false);
    sdl->PostKey('G', false);
    sdl->PostKey(8, true); // a typing key types when injected too
    sdl->PumpMessages();
    IO_Update();
    EXPECT_TRUE(IO_KeyReleased('G'));
    EXPECT_TRUE(IO_KeyReleased(161));
    EXPECT_FALSE(sdl->IsKeyDown(16));
    EXPECT_STREQ(IO_GetKeyboardString(), "");

    bool numLock = sdl->IsNumLockOn();
    sdl->PostKey(144, true);
    sdl->PostKey(144, false);
    EXPECT_NE(sdl->IsNumLockOn(), numLock) << "the lock follows the injected press";
    sdl->PumpMessages();

    IO_Shutdown();
    IO_ResetState();
    WindowHost_Set(nullptr);
}

} // namespace
