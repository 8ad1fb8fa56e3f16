// Shared set-up of the input tests (see InputTestSupport.h).
#include "input/InputTestSupport.h"

#include <SDL2/SDL.h>

#include <cstdlib>

#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Function.h"
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

ScriptValue Input_CallValues(const char* name, ScriptValue* args, int32_t argc)
{
    Input_RegisterBuiltins();
    int32_t id = -1;
    EXPECT_TRUE(Code_Function_Find(name, &id)) << name;
    const BuiltinFunction* row = Function_Get(id);
    ScriptValue r = Value_Real(0);
    if (!row) return r;
    if (row->argCount >= 0) {
        EXPECT_EQ(row->argCount, argc) << name;
    }
    row->f(&r, nullptr, nullptr, argc, args);
    return r;
}

ScriptValue Input_Call(const char* name, std::initializer_list<double> args)
{
    ScriptValue a[16];
    int32_t n = 0;
    for (double d : args) a[n++] = Value_Real(d);
    return Input_CallValues(name, a, n);
}

std::string Input_Text(ScriptValue value)
{
    std::string s = Value_Text(&value);
    Value_FreeString(&value);
    return s;
}
