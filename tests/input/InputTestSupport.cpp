// Shared set-up of the input tests (see InputTestSupport.h).
#include "input/InputTestSupport.h"

#include <SDL2/SDL.h>

#include <cstdlib>

#include "Files/Code/Code_Error.h"
#include "Files/Function/Function_Gamepad.h"
#include "Files/Function/Function_Interaction.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/IO/IO_Input.h"
#include "Files/IO/IO_Record.h"
#include "Files/Support/CommandLine.h"
#include "Files/Support/Timing.h"

void InputFixture::SetUp()
{
    Input_RegisterBuiltins();
    WindowHost_Set(&host);
    GR_Hooks() = GR_HookTable{};
    GR_Window_Record().quitSeen = false;
    IO_Record_Close();
    IO_ResetState();
    g_StartupOptions.record = g_StartupOptions.playback = 0;
    g_StartupOptions.running = 0;
    IO_Init();
    IO_Update(); // past the first update, which copies the step layer back (a running game)
    Code_Error_Reset();
    Code_Error_SetShowErrors(false);
}

void InputFixture::TearDown()
{
    IO_Shutdown();
    IO_ResetState();
    Timing_SetEventPump(nullptr);
    Timing_SetHost(nullptr);
    GR_Hooks() = GR_HookTable{};
    WindowHost_Set(nullptr);
}

void Input_StartSDL()
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (!SDL_WasInit(SDL_INIT_EVENTS)) {
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_EVENTS), 0) << SDL_GetError();
    }
}

void Input_RegisterBuiltins()
{
    static bool done = false;
    if (done) return;
    done = true;
    InitFunctions_Interaction();
    InitFunctions_Gamepad();
}

Val Input_Call(const char* name, std::initializer_list<Val> args)
{
    Input_RegisterBuiltins();
    return Builtin_Call(name, std::vector<Val>(args), nullptr, nullptr, true);
}
