// Joysticks through SDL virtual joysticks: positions, direction, point of view, buttons,
// capabilities, the joystick numbers, and the joystick events of both joysticks.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <vector>

#include "Files/IO/IO_Joystick.h"
#include "input/InputTestSupport.h"

namespace {

std::vector<int32_t> g_fired;
void Fire(int32_t number) { g_fired.push_back(number); }

class Joysticks : public InputFixture {
protected:
    void SetUp() override
    {
        InputFixture::SetUp();
        Input_StartSDL();
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
        Joystick_SetBackend(nullptr);
        g_fired.clear();
    }
    void TearDown() override
    {
        for (SDL_Joystick* j : sticks) {
            SDL_JoystickID id = SDL_JoystickInstanceID(j);
            for (int i = 0; i < SDL_NumJoysticks(); ++i)
                if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
            SDL_JoystickClose(j);
        }
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
        InputFixture::TearDown();
    }
    SDL_Joystick* Attach(const char* name, int axes, int buttons, int hats)
    {
        SDL_VirtualJoystickDesc d;
        SDL_zero(d);
        d.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        d.type = SDL_JOYSTICK_TYPE_FLIGHT_STICK;
        d.naxes = uint16_t(axes);
        d.nbuttons = uint16_t(buttons);
        d.nhats = uint16_t(hats);
        d.name = name;
        int index = SDL_JoystickAttachVirtualEx(&d);
        EXPECT_GE(index, 0) << SDL_GetError();
        SDL_Joystick* j = SDL_JoystickOpen(index);
        EXPECT_NE(j, nullptr);
        sticks.push_back(j);
        return j;
    }
    double Call1(const char* name, double joystick) { return Input_Call(name, {joystick}).Real(); }

    std::vector<SDL_Joystick*> sticks;
};

TEST_F(Joysticks, NoJoystickGivesTheDefaults)
{
    EXPECT_EQ(Call1("joystick_exists", 1), 0.0);
    EXPECT_EQ(Call1("joystick_direction", 1), 101.0);
    EXPECT_EQ(Call1("joystick_pov", 1), -1.0);
    EXPECT_EQ(Call1("joystick_xpos", 1), 0.0);
    EXPECT_EQ(Call1("joystick_axes", 1), 0.0);
    EXPECT_EQ(Call1("joystick_has_pov", 2), 0.0);
    Val name = Input_Call("joystick_name", {1});
    EXPECT_TRUE(name.IsString());
    EXPECT_FALSE(name.HasText()) << "no text";
    Joystick_PollEvents(Fire);
    EXPECT_TRUE(g_fired.empty());
}

TEST_F(Joysticks, PositionsDirectionPovAndButtons)
{
    SDL_Joystick* j = Attach("Stick One", 6, 12, 1);
    EXPECT_EQ(Call1("joystick_exists", 1), 1.0);
    EXPECT_EQ(Call1("joystick_exists", 7), 1.0) << "any number but 2 is the first joystick";
    EXPECT_EQ(Call1("joystick_exists", 2), 0.0);
    EXPECT_EQ(Input_Call("joystick_name", {1}).Text(), "Stick One");
    EXPECT_EQ(Call1("joystick_axes", 1), 6.0);
    EXPECT_EQ(Call1("joystick_buttons", 1), 12.0);
    EXPECT_EQ(Call1("joystick_has_pov", 1), 1.0);

    EXPECT_EQ(Call1("joystick_direction", 1), 101.0) << "centred";
    EXPECT_EQ(Call1("joystick_xpos", 1), 0.0);
    SDL_JoystickSetVirtualAxis(j, 0, -32768);
    SDL_JoystickSetVirtualAxis(j, 1, -32768);
    SDL_JoystickSetVirtualAxis(j, 5, 32767);
    SDL_JoystickSetVirtualHat(j, 0, SDL_HAT_RIGHTUP);
    SDL_JoystickSetVirtualButton(j, 0, 1);
    SDL_JoystickSetVirtualButton(j, 11, 1);
    EXPECT_EQ(Call1("joystick_direction", 1), 103.0) << "up-left";
    EXPECT_EQ(Call1("joystick_xpos", 1), -1.0);
    EXPECT_EQ(Call1("joystick_vpos", 1), 1.0);
    EXPECT_EQ(Call1("joystick_zpos", 1), 0.0);
    EXPECT_EQ(Call1("joystick_pov", 1), 45.0);
    EXPECT_EQ(Input_Call("joystick_check_button", {1, 1}).Real(), 1.0);
    EXPECT_EQ(Input_Call("joystick_check_button", {1, 12}).Real(), 1.0);
    EXPECT_EQ(Input_Call("joystick_check_button", {1, 2}).Real(), 0.0);
    EXPECT_EQ(Input_Call("joystick_check_button", {1, 0}).Real(), 0.0);
    EXPECT_EQ(Input_Call("joystick_check_button", {1, 33}).Real(), 0.0);

    SDL_JoystickSetVirtualAxis(j, 0, 32767);
    SDL_JoystickSetVirtualAxis(j, 1, 32767);
    SDL_JoystickSetVirtualHat(j, 0, SDL_HAT_LEFT);
    EXPECT_EQ(Call1("joystick_direction", 1), 99.0) << "down-right";
    EXPECT_EQ(Call1("joystick_ypos", 1), 1.0);
    EXPECT_EQ(Call1("joystick_pov", 1), 270.0);
    // The row and column edges: 20000 and 44000 belong to the middle.
    SDL_JoystickSetVirtualAxis(j, 0, 20000 - 32767);
    SDL_JoystickSetVirtualAxis(j, 1, 44000 - 32767);
    EXPECT_EQ(Call1("joystick_direction", 1), 101.0);
    SDL_JoystickSetVirtualAxis(j, 0, 44001 - 32767);
    EXPECT_EQ(Call1("joystick_direction", 1), 102.0);
}

TEST_F(Joysticks, CapabilitiesOfASmallStick)
{
    Attach("Stick One", 2, 4, 0);
    Attach("Stick Two", 3, 40, 0);
    EXPECT_EQ(Call1("joystick_axes", 2), 3.0);
    EXPECT_EQ(Call1("joystick_buttons", 2), 32.0) << "the button mask holds 32";
    EXPECT_EQ(Call1("joystick_has_pov", 2), 0.0) << "a third axis is no point of view";
    EXPECT_EQ(Call1("joystick_pov", 2), -1.0);
    EXPECT_EQ(Call1("joystick_zpos", 1), 0.0) << "missing axes read centred";
}

TEST_F(Joysticks, EventsOfBothJoysticks)
{
    SDL_Joystick* one = Attach("Stick One", 2, 10, 0);
    SDL_Joystick* two = Attach("Stick Two", 2, 10, 0);
    SDL_JoystickSetVirtualAxis(one, 0, -32768); // left
    SDL_JoystickSetVirtualAxis(one, 1, 32767);  // down
    for (int b = 0; b < 10; ++b) SDL_JoystickSetVirtualButton(one, b, 1); // 9 and 10 have no event
    SDL_JoystickSetVirtualAxis(two, 0, 32767);  // right
    SDL_JoystickSetVirtualAxis(two, 1, -32768); // up
    SDL_JoystickSetVirtualButton(two, 0, 1);
    SDL_JoystickSetVirtualButton(two, 7, 1);
    Joystick_PollEvents(Fire);
    const std::vector<int32_t> expected = {16, 19, 21, 22, 23, 24, 25, 26, 27, 28, 32, 33, 36, 43};
    EXPECT_EQ(g_fired, expected);

    g_fired.clear();
    SDL_JoystickSetVirtualAxis(one, 0, 32767);
    SDL_JoystickSetVirtualAxis(one, 1, -32768);
    for (int b = 0; b < 10; ++b) SDL_JoystickSetVirtualButton(one, b, 0);
    SDL_JoystickSetVirtualAxis(two, 0, -32768);
    SDL_JoystickSetVirtualAxis(two, 1, 32767);
    SDL_JoystickSetVirtualButton(two, 0, 0);
    SDL_JoystickSetVirtualButton(two, 7, 0);
    Joystick_PollEvents(Fire);
    EXPECT_EQ(g_fired, (std::vector<int32_t>{17, 18, 31, 34}));

    g_fired.clear();
    SDL_JoystickSetVirtualAxis(one, 0, 0);
    SDL_JoystickSetVirtualAxis(one, 1, 0);
    SDL_JoystickSetVirtualAxis(two, 0, 0);
    SDL_JoystickSetVirtualAxis(two, 1, 0);
    Joystick_PollEvents(Fire);
    EXPECT_TRUE(g_fired.empty());
    Joystick_PollEvents(nullptr); // nothing to fire through
}

} // namespace
