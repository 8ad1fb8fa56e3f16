// The keyboard and mouse built-ins through the function table: the checks, the key map,
// direct key state, Num Lock, injected keys, clearing, and the waits (which return when a key
// or button comes, when the game is closed, and during playback).
#include <gtest/gtest.h>

#include <string>

#include "Files/Function/Function_Interaction.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/IO/IO_Input.h"
#include "Files/IO/IO_Record.h"
#include "Files/Support/CommandLine.h"
#include "Files/Support/Timing.h"
#include "input/InputTestSupport.h"
#include "support/ScratchFolder.h"

namespace {

double Call(const char* name, std::initializer_list<Val> args) { return Input_Call(name, args).Real(); }

class InputBuiltins : public InputFixture {};

TEST_F(InputBuiltins, KeyboardChecksRoundTheirCode)
{
    IO_OnKeyDown(66, 0, false);
    IO_Update();
    EXPECT_EQ(Call("keyboard_check", {66}), 1.0);
    EXPECT_EQ(Call("keyboard_check", {65.5}), 1.0) << "halves go to the even neighbour";
    EXPECT_EQ(Call("keyboard_check", {66.5}), 1.0);
    EXPECT_EQ(Call("keyboard_check", {67.5}), 0.0);
    EXPECT_EQ(Call("keyboard_check_pressed", {1}), 1.0);
    EXPECT_EQ(Call("keyboard_check_released", {0}), 1.0);
    EXPECT_EQ(Call("keyboard_check", {0}), 0.0);
    EXPECT_EQ(Call("keyboard_check", {-190}), 0.0);
    EXPECT_EQ(Call("keyboard_check", {1e300}), 0.0);
    EXPECT_EQ(Input_Call("keyboard_check", {"66"}).Real(), 0.0) << "a text is 0 (vk_nokey), and a key is down";
}

TEST_F(InputBuiltins, KeyMapFunctions)
{
    Call("keyboard_set_map", {65, 66});
    EXPECT_EQ(Call("keyboard_get_map", {65}), 66.0);
    Call("keyboard_set_map", {-1, 66});
    EXPECT_EQ(Call("keyboard_get_map", {-1}), -1.0);
    EXPECT_EQ(Call("keyboard_get_map", {999}), 999.0);
    IO_OnKeyDown(65, 0, false);
    IO_Update();
    EXPECT_EQ(Call("keyboard_check", {66}), 1.0);
    Call("keyboard_unset_map", {});
    EXPECT_EQ(Call("keyboard_get_map", {65}), 65.0);
}

TEST_F(InputBuiltins, DirectStateNumLockAndInjectedKeys)
{
    host.keysDown = {17, 1};
    EXPECT_EQ(Call("keyboard_check_direct", {17}), 1.0);
    EXPECT_EQ(Call("keyboard_check_direct", {1}), 1.0) << "the left mouse button's key";
    EXPECT_EQ(Call("keyboard_check_direct", {18}), 0.0);
    EXPECT_EQ(Call("keyboard_check_direct", {273}), 0.0) << "273 & 255 would be 17";

    EXPECT_EQ(Call("keyboard_get_numlock", {}), 0.0);
    Call("keyboard_set_numlock", {0.4}); // already off: nothing synthesised
    EXPECT_TRUE(host.postedKeys.empty());
    Call("keyboard_set_numlock", {0.5});
    ASSERT_EQ(host.postedKeys.size(), 2u);
    EXPECT_EQ(host.postedKeys[0], std::make_pair(144, true));
    EXPECT_EQ(host.postedKeys[1], std::make_pair(144, false));
    EXPECT_EQ(Call("keyboard_get_numlock", {}), 1.0);
    host.keysDown = {144};
    EXPECT_EQ(Call("keyboard_get_numlock", {}), 0.0) << "held down: the key state is not positive";

    host.postedKeys.clear();
    Call("keyboard_key_press", {87.5});
    Call("keyboard_key_release", {87});
    ASSERT_EQ(host.postedKeys.size(), 2u);
    EXPECT_EQ(host.postedKeys[0], std::make_pair(88, true));
    EXPECT_EQ(host.postedKeys[1], std::make_pair(87, false));
}

TEST_F(InputBuiltins, MouseChecksAndClears)
{
    IO_OnMouseDown(2, 0, 0);
    bool handled;
    IO_OnMouseWheelDown(0, 0, 0, &handled);
    IO_Update();
    EXPECT_EQ(Call("mouse_check_button", {-1}), 1.0);
    EXPECT_EQ(Call("mouse_check_button", {0}), 0.0);
    EXPECT_EQ(Call("mouse_check_button", {2}), 1.0);
    EXPECT_EQ(Call("mouse_check_button", {1}), 0.0);
    EXPECT_EQ(Call("mouse_check_button", {4}), 0.0);
    EXPECT_EQ(Call("mouse_check_button_pressed", {2}), 1.0);
    EXPECT_EQ(Call("mouse_check_button_released", {0}), 1.0);
    EXPECT_EQ(Call("mouse_wheel_down", {}), 1.0);
    EXPECT_EQ(Call("mouse_wheel_up", {}), 0.0);

    static int pumps = 0;
    pumps = 0;
    Timing_SetEventPump([] { ++pumps; });
    Call("mouse_clear", {2});
    EXPECT_EQ(pumps, 1);
    EXPECT_EQ(Call("mouse_check_button", {2}), 0.0);
    IO_Update();
    EXPECT_EQ(Call("mouse_check_button", {2}), 0.0) << "gone from the key-event layer too";

    IO_OnKeyDown(70, 0, false);
    IO_Update();
    Call("keyboard_clear", {70});
    EXPECT_EQ(Call("keyboard_check", {70}), 0.0);
    IO_OnKeyDown(71, 0, false);
    IO_Update();
    Call("io_clear", {});
    EXPECT_EQ(Call("keyboard_check", {1}), 0.0);
    Call("io_handle", {});
    EXPECT_EQ(pumps, 4);
}

TEST_F(InputBuiltins, DoubleClickSettingOnlyFromOneRealArgument)
{
    Call("device_mouse_dbclick_enable", {0.6});
    EXPECT_TRUE(Interaction_MouseDoubleClickEnabled());
    Call("device_mouse_dbclick_enable", {0.4, 1});
    EXPECT_TRUE(Interaction_MouseDoubleClickEnabled());
    Call("device_mouse_dbclick_enable", {0.5});
    EXPECT_FALSE(Interaction_MouseDoubleClickEnabled());
}

// A clock that moves a little at each reading and by the time slept.
class SleepClock : public ITimingHost {
public:
    int64_t NowMicroseconds() override { return now += 10; }
    void SleepMicroseconds(int64_t us) override { now += us; }
    int64_t now = 0;
};

SleepClock* g_clock = nullptr;
int g_pumps = 0;
constexpr int64_t kAt = 1000000; // when the pumps below deliver their event

class InputWaits : public InputFixture {
protected:
    void SetUp() override
    {
        InputFixture::SetUp();
        Timing_SetHost(&clock);
        g_clock = &clock;
        g_pumps = 0;
    }
    // The wait returned within one 50 ms step of the event.
    void ExpectPromptReturn()
    {
        EXPECT_GE(clock.now, kAt);
        EXPECT_LT(clock.now, kAt + 60000);
    }
    SleepClock clock;
};

TEST_F(InputWaits, KeyboardWaitReturnsWhenAKeyGoesDown)
{
    IO_OnKeyDown('A', 0, false); // a key from before the call does not count
    static bool sent;
    sent = false;
    Timing_SetEventPump([] {
        if (!sent && g_clock->now >= kAt) IO_OnKeyDown('S', 0, false), sent = true;
    });
    Call("keyboard_wait", {});
    ExpectPromptReturn();
    EXPECT_EQ(IO_GetState().event.lastKey, 'S');
}

TEST_F(InputWaits, MouseWaitReturnsOnANewButtonDown)
{
    IO_OnMouseDown(1, 0, 0); // already down before the call
    static bool sent;
    sent = false;
    Timing_SetEventPump([] {
        if (!sent && g_clock->now >= kAt) IO_OnMouseDown(1, 0, 0), sent = true;
    });
    Call("mouse_wait", {});
    ExpectPromptReturn();
}

TEST_F(InputWaits, WaitsEndWhenTheWindowIsClosed)
{
    Timing_SetEventPump([] {
        if (g_clock->now >= kAt) GR_Window_Record().quitSeen = true;
    });
    Call("keyboard_wait", {});
    ExpectPromptReturn();
    GR_Window_Record().quitSeen = false;

    clock.now = 0;
    g_StartupOptions.running = 1;
    Timing_SetEventPump([] {
        if (g_clock->now >= kAt) g_StartupOptions.running = 0;
    });
    Call("mouse_wait", {});
    ExpectPromptReturn();
}

TEST_F(InputWaits, WaitsReturnAtOnceDuringPlayback)
{
    ScratchFolder dir;
    Scratch_WriteFile(dir / "empty.rec", "");
    ASSERT_TRUE(IO_Record_Open((dir / "empty.rec").c_str(), true));
    Timing_SetEventPump([] { ++g_pumps; });
    Call("keyboard_wait", {});
    Call("mouse_wait", {});
    EXPECT_EQ(g_pumps, 2);
    IO_Record_Close();
}

} // namespace
