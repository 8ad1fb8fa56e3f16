// End to end in this process: packed games played by the runner's own start-up and main loop
// while SDL virtual joysticks and game controllers are driven between the frames. Each game
// runs in a child process of the test (the runner's state is global and made once a run);
// the child writes the game's log ("-output") and the parent reads it.
//  - tests/data/games/joystick: joystick events 16-19, 21-28 (joystick 1) and 31-34, 36-43
//    (joystick 2) and joystick_direction, from two virtual joysticks;
//  - examples/gemrun: the example game played with a virtual gamepad (Start and A, Back, the
//    d-pad and the left stick).
#include <gtest/gtest.h>

#include <SDL2/SDL.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "E2EGames.h"
#include "Files/Base/Console.h"
#include "Files/Run/Run_Main.h"
#include "Files/Support/CommandLine.h"
#include "Platform/MemoryManager.h"
#include "Zimbrel.h"
#include "support/ScratchFolder.h"

using namespace e2e;

namespace {

// Plays the packed game as the runner's entry does, calling drive(frame) before each frame,
// until the game ends or after maxFrames frames. In a child process; the child's exit code:
// 0 the game ended by itself, 2 the frame limit was reached, 1 it did not start, 3 the set-up
// failed.
int PlayInChild(const std::string& game, const std::string& log, const std::function<bool()>& setup,
                const std::function<void(int)>& drive, int maxFrames)
{
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        setenv("ALSOFT_DRIVERS", "null", 1);
        unsetenv("ZIMBREL_MAX_FRAMES");
        int code = 3;
        if (setup()) {
            MemoryManager_Install();
            const char* argv[] = {"runner", "-game", game.c_str(), "-output", log.c_str()};
            Main_TakeCommandLine(5, argv);
            Main_ParseCommandLine(g_StartupOptions.commandLine);
            code = 1;
            if (Main_InitPlatform()) {
                if (Main_Startup()) {
                    int frame = 0;
                    for (; g_StartupOptions.running == 1 && frame < maxFrames; ++frame) {
                        drive(frame);
                        Run_Frame();
                        ProcessMessages();
                    }
                    code = g_StartupOptions.running == 1 ? 2 : 0;
                }
                EndGame();
                Main_StopInput();
                Main_PostQuit();
                Main_Finalise();
            }
            Console_CloseFiles();
        }
        _exit(code);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

SDL_Joystick* AttachVirtual(SDL_JoystickType type, int axes, int buttons, const char* name)
{
    SDL_VirtualJoystickDesc d;
    SDL_zero(d);
    d.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    d.type = uint16_t(type);
    d.naxes = uint16_t(axes);
    d.nbuttons = uint16_t(buttons);
    d.name = name;
    int index = SDL_JoystickAttachVirtualEx(&d);
    if (index < 0) {
        std::fprintf(stderr, "virtual joystick: %s\n", SDL_GetError());
        return nullptr;
    }
    return SDL_JoystickOpen(index);
}

std::string Source(const std::string& relative) { return std::string(ZB_SOURCE_DIR) + "/" + relative; }

} // namespace

TEST(ControllerGames, JoystickEventsAndDirectionFromTwoVirtualJoysticks)
{
    ScratchFolder dir;
    const std::string game = dir / "joystick.win";
    std::string messages;
    ASSERT_TRUE(Pack(Source("tests/data/games/joystick/manifest.json"), game, "", &messages)) << messages;

    static SDL_Joystick* stick[2] = {nullptr, nullptr};
    auto setup = [] {
        if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) return false;
        // Ten buttons: buttons 9 and 10 have no events.
        stick[0] = AttachVirtual(SDL_JOYSTICK_TYPE_FLIGHT_STICK, 2, 10, "Stick One");
        stick[1] = AttachVirtual(SDL_JOYSTICK_TYPE_FLIGHT_STICK, 2, 10, "Stick Two");
        return stick[0] && stick[1];
    };
    // Frame f runs step f + 1; the joystick phase comes after the begin step that logs the
    // directions.
    auto set = [](int j, int x, int y, uint32_t buttons) {
        SDL_JoystickSetVirtualAxis(stick[j], 0, int16_t(x));
        SDL_JoystickSetVirtualAxis(stick[j], 1, int16_t(y));
        for (int b = 0; b < 10; ++b) SDL_JoystickSetVirtualButton(stick[j], b, (buttons >> b) & 1);
    };
    auto drive = [&set](int frame) {
        switch (frame + 1) {
        case 2: set(0, -32768, -32768, 0x001); break;         // left and up, button 1
        case 3: set(0, 32767, 32767, 0x3FE); break;           // right and down, buttons 2..10
        case 4:                                               // joystick 2: left and down
            set(0, 0, 0, 0);
            set(1, -32768, 32767, 0x055);                     // buttons 1, 3, 5, 7
            break;
        case 5: set(1, 32767, -32768, 0x2AA); break;          // right and up, buttons 2, 4, 6, 8, 10
        case 6: set(1, 44000 - 32767, 20000 - 32767, 0); break; // at the edges: the centre still
        default: break;
        }
    };
    const std::string log = dir / "log.txt";
    ASSERT_EQ(PlayInChild(game, log, setup, drive, 50), 0) << Scratch_ReadFile(log);
    EXPECT_EQ(Joined(GameLines(Scratch_ReadFile(log))), "step 1 direction 101 101\n"
                                                        "step 2 direction 103 101\n"
                                                        "joystick 1 left\n"
                                                        "joystick 1 up\n"
                                                        "joystick 1 button 1\n"
                                                        "step 3 direction 99 101\n"
                                                        "joystick 1 right\n"
                                                        "joystick 1 down\n"
                                                        "joystick 1 button 2\n"
                                                        "joystick 1 button 3\n"
                                                        "joystick 1 button 4\n"
                                                        "joystick 1 button 5\n"
                                                        "joystick 1 button 6\n"
                                                        "joystick 1 button 7\n"
                                                        "joystick 1 button 8\n"
                                                        "step 4 direction 101 97\n"
                                                        "joystick 2 left\n"
                                                        "joystick 2 down\n"
                                                        "joystick 2 button 1\n"
                                                        "joystick 2 button 3\n"
                                                        "joystick 2 button 5\n"
                                                        "joystick 2 button 7\n"
                                                        "step 5 direction 101 105\n"
                                                        "joystick 2 right\n"
                                                        "joystick 2 up\n"
                                                        "joystick 2 button 2\n"
                                                        "joystick 2 button 4\n"
                                                        "joystick 2 button 6\n"
                                                        "joystick 2 button 8\n"
                                                        "step 6 direction 101 101\n"
                                                        "step 7 direction 101 101\n")
        << Scratch_ReadFile(log);
}

TEST(ControllerGames, ExampleGamePlayedWithAVirtualGamepad)
{
    ScratchFolder dir;
    const std::string game = dir / "gemrun.win";
    std::string messages;
    ASSERT_TRUE(Pack(Source("examples/gemrun/manifest.json"), game, "", &messages)) << messages;

    static SDL_Joystick* pad = nullptr;
    auto setup = [] {
        if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) return false;
        pad = AttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_AXIS_MAX, SDL_CONTROLLER_BUTTON_DPAD_RIGHT + 1,
                            "Virtual Pad");
        return pad != nullptr;
    };
    // Steps: Start on the title; in level 1 the d-pad, then the left stick, walk four cells
    // to the right onto the first gem; Back restarts the game; A on the title starts level 1.
    auto drive = [](int frame) {
        const int step = frame + 1;
        auto button = [](SDL_GameControllerButton b, bool down) { SDL_JoystickSetVirtualButton(pad, b, down ? 1 : 0); };
        button(SDL_CONTROLLER_BUTTON_START, step == 5);
        button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT, step >= 6 && step < 6 + 16);
        SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_LEFTX, step >= 22 && step < 22 + 16 ? 32767 : 0);
        button(SDL_CONTROLLER_BUTTON_BACK, step == 45);
        button(SDL_CONTROLLER_BUTTON_A, step == 50);
    };
    const std::string log = dir / "log.txt";
    EXPECT_EQ(PlayInChild(game, log, setup, drive, 55), 2) << Scratch_ReadFile(log);
    EXPECT_EQ(Joined(GameLines(Scratch_ReadFile(log))), "title screen\n"
                                                        "level 1: 4 gems, 3 bats, lives 3\n"
                                                        "gem at 5,1, score 10\n"
                                                        "restart\n"
                                                        "title screen\n"
                                                        "level 1: 4 gems, 3 bats, lives 3\n")
        << Scratch_ReadFile(log);
}
