// Gamepads through SDL virtual game controllers: buttons, triggers and sticks in the pad
// layout, dead zones, thresholds, axes read as buttons, unplugging and plugging back,
// vibration, the usage flag, the gamepad built-ins and a missing back end.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <string>
#include <vector>

#include "Files/Code/Code_Error.h"
#include "Files/IO/IO_Gamepad.h"
#include "Files/IO/IO_Input.h"
#include "Files/Runner/Runner_Game.h"
#include "input/InputTestSupport.h"

namespace {

const std::string kStandard = "Xbox 360 Controller (XInput STANDARD GAMEPAD)";

struct Rumble {
    int calls = 0;
    uint16_t low = 0, high = 0;
};

int SDLCALL OnRumble(void* user, Uint16 low, Uint16 high)
{
    auto* r = static_cast<Rumble*>(user);
    ++r->calls;
    r->low = low;
    r->high = high;
    return 0;
}

// Values of the virtual pad: buttons and axes in SDL's controller order.
class Gamepads : public InputFixture {
protected:
    void SetUp() override
    {
        InputFixture::SetUp();
        Input_StartSDL();
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER), 0) << SDL_GetError();
        g_GameHeader.usageFlags = ~uint64_t(0);
        Attach();
        IO_Gamepad_SetBackend(nullptr);
        XInput_Init();
    }
    void TearDown() override
    {
        XInput_Release();
        Detach();
        SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
        g_GameHeader.usageFlags = ~uint64_t(0);
        InputFixture::TearDown();
    }

    void Attach()
    {
        SDL_VirtualJoystickDesc d;
        SDL_zero(d);
        d.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        d.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        d.naxes = SDL_CONTROLLER_AXIS_MAX;
        d.nbuttons = SDL_CONTROLLER_BUTTON_DPAD_RIGHT + 1;
        d.name = "Virtual Pad";
        d.userdata = &rumble;
        d.Rumble = OnRumble;
        int index = SDL_JoystickAttachVirtualEx(&d);
        ASSERT_GE(index, 0) << SDL_GetError();
        stick = SDL_JoystickOpen(index);
        ASSERT_NE(stick, nullptr);
        instance = SDL_JoystickInstanceID(stick);
    }
    void Detach()
    {
        if (!stick) return;
        for (int i = 0; i < SDL_NumJoysticks(); ++i)
            if (SDL_JoystickGetDeviceInstanceID(i) == instance) SDL_JoystickDetachVirtual(i);
        SDL_JoystickClose(stick);
        stick = nullptr;
    }
    void Button(SDL_GameControllerButton b, bool down) { SDL_JoystickSetVirtualButton(stick, b, down ? 1 : 0); }
    void Axis(SDL_GameControllerAxis a, int16_t v) { SDL_JoystickSetVirtualAxis(stick, a, v); }
    // A trigger reading v (0..32767): SDL maps the virtual axis' whole range onto the trigger's.
    void Trigger(SDL_GameControllerAxis a, int32_t v)
    {
        int32_t raw = int32_t((int64_t(v) * 65535 + 32766) / 32767) - 32768;
        SDL_JoystickSetVirtualAxis(stick, a, int16_t(raw > 32767 ? 32767 : raw));
    }
    // Polls until pad 0 is connected (a free slot is asked once in four polls).
    int ConnectPad()
    {
        for (int polls = 1; polls <= 4; ++polls) {
            XInput_Poll();
            if (IO_Gamepad_Get(0)->connected) return polls;
        }
        return 0;
    }
    double Value(const char* name, double device, double index) { return Input_Call(name, {device, index}).Real(); }

    SDL_Joystick* stick = nullptr;
    SDL_JoystickID instance = -1;
    Rumble rumble;
};

TEST_F(Gamepads, ButtonsTriggersAndSticksInThePadLayout)
{
    ASSERT_GT(ConnectPad(), 0);
    EXPECT_EQ(Input_Call("gamepad_is_supported", {}).Real(), 1.0);
    EXPECT_EQ(Input_Call("gamepad_get_device_count", {}).Real(), 4.0);
    EXPECT_EQ(Input_Call("gamepad_is_connected", {0}).Real(), 1.0);
    EXPECT_EQ(Input_Call("gamepad_is_connected", {1}).Real(), 0.0);
    EXPECT_EQ(Input_Call("gamepad_get_description", {0}).Text(), kStandard);
    EXPECT_EQ(Input_Call("gamepad_button_count", {0}).Real(), 16.0);
    EXPECT_EQ(Input_Call("gamepad_axis_count", {0}).Real(), 4.0);
    EXPECT_EQ(Input_Call("gamepad_button_count", {2}).Real(), 0.0);

    Button(SDL_CONTROLLER_BUTTON_A, true);
    Button(SDL_CONTROLLER_BUTTON_DPAD_UP, true);
    Button(SDL_CONTROLLER_BUTTON_BACK, true);
    Trigger(SDL_CONTROLLER_AXIS_TRIGGERLEFT, 32767);
    Trigger(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 16384);
    Axis(SDL_CONTROLLER_AXIS_LEFTX, 16384);
    Axis(SDL_CONTROLLER_AXIS_LEFTY, -32768); // pushed up
    Axis(SDL_CONTROLLER_AXIS_RIGHTY, 32767); // pushed down
    XInput_Poll();
    EXPECT_EQ(Value("gamepad_button_check", 0, 32769), 1.0);          // gp_face1: A
    EXPECT_EQ(Value("gamepad_button_check_pressed", 0, 32769), 1.0);
    EXPECT_EQ(Value("gamepad_button_check", 0, 32781), 1.0);          // gp_padu
    EXPECT_EQ(Value("gamepad_button_check", 0, 32777), 1.0);          // gp_select
    EXPECT_EQ(Value("gamepad_button_check", 0, 32778), 0.0);          // gp_start
    EXPECT_EQ(Value("gamepad_button_value", 0, 32775), 255.0 / 256);  // a full trigger
    EXPECT_EQ(Value("gamepad_button_value", 0, 32776), 128.0 / 256);  // half: down at the default threshold
    EXPECT_EQ(Value("gamepad_button_check", 0, 32776), 1.0);
    EXPECT_EQ(Value("gamepad_axis_value", 0, 32785), 0.5);
    EXPECT_EQ(Value("gamepad_axis_value", 0, 32786), 32767.0 / 32768) << "up is positive";
    EXPECT_EQ(Value("gamepad_axis_value", 0, 32788), -32767.0 / 32768);
    EXPECT_EQ(Value("gamepad_button_value", 0, 12), 1.0) << "numbers below 32768 are indices";
    EXPECT_EQ(Value("gamepad_button_value", 0, 32789), 1.0) << "past the constants: index 0 (pad up)";

    Trigger(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 16383); // 127 of 255: below the threshold
    Button(SDL_CONTROLLER_BUTTON_A, false);
    XInput_Poll();
    EXPECT_EQ(Value("gamepad_button_check", 0, 32776), 0.0);
    EXPECT_EQ(Value("gamepad_button_check_released", 0, 32776), 1.0);
    EXPECT_EQ(Value("gamepad_button_check_released", 0, 32769), 1.0);
    EXPECT_EQ(Value("gamepad_button_check_pressed", 0, 32769), 0.0);
    XInput_Poll();
    EXPECT_EQ(Value("gamepad_button_check_released", 0, 32769), 0.0) << "one poll only";
}

TEST_F(Gamepads, DeadZoneAndThreshold)
{
    ASSERT_GT(ConnectPad(), 0);
    Input_Call("gamepad_set_axis_deadzone", {0, 0.25});
    EXPECT_EQ(Input_Call("gamepad_get_axis_deadzone", {0}).Real(), 0.25);
    Axis(SDL_CONTROLLER_AXIS_LEFTX, 6554); // 0.2
    Axis(SDL_CONTROLLER_AXIS_RIGHTX, 20480); // 0.625
    Axis(SDL_CONTROLLER_AXIS_LEFTY, 32767);  // down: -0.99997
    XInput_Poll();
    EXPECT_EQ(Value("gamepad_axis_value", 0, 0), 0.0);
    EXPECT_EQ(Value("gamepad_axis_value", 0, 2), 0.5);
    Axis(SDL_CONTROLLER_AXIS_LEFTX, -32768);
    XInput_Poll();
    EXPECT_EQ(Value("gamepad_axis_value", 0, 0), -1.0);
    EXPECT_LT(Value("gamepad_axis_value", 0, 1), -0.9999);

    // A dead zone of 1 covers everything (no division by zero).
    Input_Call("gamepad_set_axis_deadzone", {0, 1.0});
    EXPECT_EQ(Value("gamepad_axis_value", 0, 0), 0.0);

    Input_Call("gamepad_set_axis_deadzone", {0, 1.5});
    EXPECT_NE(std::string(Code_Error_LastShown() ? Code_Error_LastShown() : "").find("Axis dead zone is outside the accepted range"),
              std::string::npos);
    EXPECT_EQ(Input_Call("gamepad_get_axis_deadzone", {0}).Real(), 1.0) << "the old value stays";
    Input_Call("gamepad_set_button_threshold", {0, -0.1});
    EXPECT_NE(std::string(Code_Error_LastShown() ? Code_Error_LastShown() : "").find("Button threshold is outside the accepted range"),
              std::string::npos);
    EXPECT_EQ(Input_Call("gamepad_get_button_threshold", {0}).Real(), 0.5);
    Input_Call("gamepad_set_button_threshold", {0, 0.125});
    Trigger(SDL_CONTROLLER_AXIS_TRIGGERLEFT, 4096); // 32 / 256
    XInput_Poll();
    EXPECT_EQ(Value("gamepad_button_check", 0, 10), 1.0);
    // Devices outside the table: 0 or the empty text, no message.
    Code_Error_Reset();
    EXPECT_EQ(Input_Call("gamepad_get_button_threshold", {4}).Real(), 0.0);
    EXPECT_EQ(Input_Call("gamepad_get_description", {-1}).Text(), "");
    Input_Call("gamepad_set_button_threshold", {9, 5});
    EXPECT_EQ(Code_Error_LastShown(), nullptr);
}

TEST_F(Gamepads, AxesReadAsButtonsAndButtonsAsAxes)
{
    ASSERT_GT(ConnectPad(), 0);
    IO_Gamepad* pad = IO_Gamepad_Get(0);
    pad->axisDeadZone = 0.25f;
    Axis(SDL_CONTROLLER_AXIS_LEFTX, -24576); // -0.75
    Axis(SDL_CONTROLLER_AXIS_RIGHTX, 4096);  // 0.125: inside the dead zone
    Button(SDL_CONTROLLER_BUTTON_B, true);
    XInput_Poll();
    EXPECT_EQ(IO_Gamepad_ButtonValue(pad, 0x1000 | 0), 0.0f);
    EXPECT_EQ(IO_Gamepad_ButtonValue(pad, 0x3000 | 0), 0.75f);
    EXPECT_TRUE(IO_Gamepad_ButtonCheck(pad, 0x3000 | 0));
    EXPECT_TRUE(IO_Gamepad_ButtonPressed(pad, 0x7000 | 0)) << "bit 0x4000 is ignored";
    EXPECT_EQ(IO_Gamepad_ButtonValue(pad, 0x1000 | 2), 0.0f);
    EXPECT_EQ(IO_Gamepad_AxisValue(pad, 0x1000 | 13), 1.0f) << "button B as an axis";
    // Indices past the counts read 0 (never another array).
    EXPECT_EQ(IO_Gamepad_ButtonValue(pad, 0x1000 | 4), 0.0f);
    EXPECT_EQ(IO_Gamepad_ButtonValue(pad, 0x1000 | 0x0FFF), 0.0f);
    EXPECT_EQ(IO_Gamepad_AxisValue(pad, 0x1000 | 16), 0.0f);
    EXPECT_EQ(IO_Gamepad_AxisValue(pad, 0x1000 | 0x2000), 0.0f);
    EXPECT_EQ(IO_Gamepad_ButtonValue(pad, 16), 0.0f);
    EXPECT_EQ(IO_Gamepad_ButtonValue(pad, -1), 0.0f);
    EXPECT_EQ(IO_Gamepad_AxisValue(pad, 4), 0.0f);
    EXPECT_EQ(IO_Gamepad_AxisValue(pad, -4096), 0.0f);
    Axis(SDL_CONTROLLER_AXIS_LEFTX, 0);
    XInput_Poll();
    EXPECT_TRUE(IO_Gamepad_ButtonReleased(pad, 0x3000 | 0));
}

TEST_F(Gamepads, UnpluggedPadKeepsItsValuesAndIsFoundAgainWithinFourPolls)
{
    ASSERT_GT(ConnectPad(), 0);
    Button(SDL_CONTROLLER_BUTTON_Y, true);
    XInput_Poll();
    Detach();
    XInput_Poll();
    IO_Gamepad* pad = IO_Gamepad_Get(0);
    EXPECT_FALSE(pad->connected);
    EXPECT_STREQ(pad->description, "");
    EXPECT_EQ(IO_Gamepad_ButtonValue(pad, 15), 1.0f) << "the last values stay";
    EXPECT_EQ(Input_Call("gamepad_button_count", {0}).Real(), 0.0);
    Attach();
    int polls = ConnectPad();
    EXPECT_GE(polls, 1);
    EXPECT_LE(polls, 4);
    EXPECT_EQ(std::string(pad->description), kStandard);
}

namespace {
// A virtual device of an SDL joystick type, made a game controller by a mapping for its GUID
// (SDL maps only its gamepad type by itself). The GUID is built from a vendor and product of
// the test's own (SDL finds no mapping for a GUID built from a longer name); the mapping's
// name is the controller's name.
SDL_JoystickID AttachKind(SDL_JoystickType type, const std::string& name)
{
    SDL_VirtualJoystickDesc d;
    SDL_zero(d);
    d.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    d.type = type;
    d.vendor_id = 0x1209; // a test vendor: no mapping of SDL's own database
    d.product_id = Uint16(0x7000 + type);
    d.naxes = 2;
    d.nbuttons = 2;
    d.name = name.c_str();
    const int index = SDL_JoystickAttachVirtualEx(&d);
    if (index < 0) return -1;
    char guid[33];
    SDL_JoystickGetGUIDString(SDL_JoystickGetDeviceGUID(index), guid, sizeof guid);
    SDL_GameControllerAddMapping((std::string(guid) + "," + name + ",a:b0,b:b1,leftx:a0,lefty:a1,").c_str());
    return SDL_JoystickGetDeviceInstanceID(index);
}

void DetachInstance(SDL_JoystickID id)
{
    for (int i = 0; i < SDL_NumJoysticks(); ++i)
        if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
}
} // namespace

TEST_F(Gamepads, DescriptionsTellTheKindOfPadOrKeepItsName)
{
    ASSERT_GT(ConnectPad(), 0);
    // Slots 1..3 take three devices at a time; the device types with a text of their own and
    // two without (their controller names stay).
    struct Kind {
        SDL_JoystickType type;
        std::string name, description;
    };
    const std::vector<Kind> kinds = {
        {SDL_JOYSTICK_TYPE_WHEEL, "Wheel", "Xbox 360 Controller (XInput WHEEL)"},
        {SDL_JOYSTICK_TYPE_ARCADE_STICK, "Stick", "Xbox 360 Controller (XInput ARCADE STICK)"},
        {SDL_JOYSTICK_TYPE_FLIGHT_STICK, "Flight", "Xbox 360 Controller (XInput FLIGHT STICK)"},
        {SDL_JOYSTICK_TYPE_DANCE_PAD, "Dance", "Xbox 360 Controller (XInput DANCE PAD)"},
        {SDL_JOYSTICK_TYPE_GUITAR, "Guitar", "Xbox 360 Controller (XInput GUITAR)"},
        {SDL_JOYSTICK_TYPE_DRUM_KIT, "Drums", "Xbox 360 Controller (XInput DRUM KIT)"},
        {SDL_JOYSTICK_TYPE_THROTTLE, "Virtual Throttle", "Virtual Throttle"},
        {SDL_JOYSTICK_TYPE_ARCADE_PAD, "Virtual Arcade Pad", "Virtual Arcade Pad"},
    };
    for (size_t first = 0; first < kinds.size(); first += 3) {
        std::vector<SDL_JoystickID> ids;
        std::vector<std::string> want, got;
        for (size_t k = first; k < kinds.size() && k < first + 3; ++k) {
            ids.push_back(AttachKind(kinds[k].type, kinds[k].name));
            ASSERT_GE(ids.back(), 0) << SDL_GetError();
            want.push_back(kinds[k].description);
        }
        for (int polls = 0; polls < 4; ++polls) XInput_Poll();
        for (size_t slot = 1; slot <= ids.size(); ++slot)
            got.push_back(Input_Call("gamepad_get_description", {double(slot)}).Text());
        EXPECT_EQ(got, want);
        for (SDL_JoystickID id : ids) DetachInstance(id);
        XInput_Poll();
    }
    EXPECT_EQ(Input_Call("gamepad_get_description", {0}).Text(), kStandard);
}

TEST_F(Gamepads, VibrationIsClampedAndSentAtEachPoll)
{
    ASSERT_GT(ConnectPad(), 0);
    Input_Call("gamepad_set_vibration", {0, 1.0, 0.5});
    XInput_Poll();
    EXPECT_EQ(rumble.low, 65535);
    EXPECT_EQ(rumble.high, 32768);
    Input_Call("gamepad_set_vibration", {0, 0.25, 0.75});
    EXPECT_EQ(rumble.low, 65535) << "it reaches the pad at the next poll";
    XInput_Poll();
    EXPECT_EQ(rumble.low, 16384);
    EXPECT_EQ(rumble.high, 49152);
    Input_Call("gamepad_set_vibration", {0, 7.0, -3.0});
    EXPECT_EQ(IO_Gamepad_Get(0)->vibrationLeft, 1.0f);
    EXPECT_EQ(IO_Gamepad_Get(0)->vibrationRight, 0.0f);
    XInput_Poll();
    EXPECT_EQ(rumble.high, 0);
}

TEST_F(Gamepads, NoPollingWithoutTheUsageFlag)
{
    g_GameHeader.usageFlags = ~uint64_t(4);
    for (int i = 0; i < 8; ++i) XInput_Poll();
    EXPECT_FALSE(IO_Gamepad_Get(0)->connected);
    g_GameHeader.usageFlags = 4;
    EXPECT_GT(ConnectPad(), 0);
}

TEST_F(Gamepads, TheStepUpdatePollsThePads)
{
    Button(SDL_CONTROLLER_BUTTON_X, true);
    for (int i = 0; i < 4; ++i) IO_Update(); // the step's update polls the pads
    EXPECT_EQ(IO_Gamepad_ButtonValue(IO_Gamepad_Get(0), 14), 1.0f);
}

TEST(GamepadIndex, ScriptNumbersToIndices)
{
    const int32_t expected[20] = {12, 13, 14, 15, 8, 9, 10, 11, 5, 4, 6, 7, 0, 1, 2, 3, 0, 1, 2, 3};
    for (int32_t i = 0; i < 20; ++i) EXPECT_EQ(IO_Gamepad_Index(32769 + i), expected[i]) << i;
    EXPECT_EQ(IO_Gamepad_Index(32768), 0);
    EXPECT_EQ(IO_Gamepad_Index(40000), 0);
    EXPECT_EQ(IO_Gamepad_Index(0x1003), 0x1003);
    EXPECT_EQ(IO_Gamepad_Index(-7), -7);
}

// A back end that did not start: pads stay unconnected and the message comes once.
class MissingBackend : public IGamepadBackend {
public:
    bool Available() override { return false; }
    void Refresh() override {}
    bool GetState(int32_t, GamepadReading*) override { return false; }
    bool GetDescription(int32_t, char*, size_t) override { return false; }
    void SetVibration(int32_t, uint16_t, uint16_t) override {}
    void Shutdown() override {}
};

class NoGamepads : public InputFixture {};

TEST_F(NoGamepads, MissingSupportIsReportedOnce)
{
    MissingBackend missing;
    IO_Gamepad_SetBackend(&missing);
    XInput_Init();
    EXPECT_EQ(Input_Call("gamepad_is_supported", {}).Real(), 0.0);
    EXPECT_EQ(Input_Call("gamepad_get_device_count", {}).Real(), 4.0);
    EXPECT_EQ(Code_Error_LastShown(), nullptr);
    EXPECT_EQ(Input_Call("gamepad_button_check", {0, 1}).Real(), 0.0);
    ASSERT_NE(Code_Error_LastShown(), nullptr);
    EXPECT_NE(std::string(Code_Error_LastShown()).find("xinput1_3.dll not found. Gamepad support disabled"), std::string::npos);
    Code_Error_Reset();
    Input_Call("gamepad_axis_value", {0, 1});
    Input_Call("gamepad_set_vibration", {0, 1, 1});
    EXPECT_EQ(Code_Error_LastShown(), nullptr) << "once per run";
    XInput_Release();
    IO_Gamepad_SetBackend(nullptr);
}

} // namespace
