// The X display lost while the game plays (see GR_Sdl_WatchDisplay in Graphics_EventsM.h):
// the display library's I/O error handler of our own; and the wait for the server's answer
// before a window goes (GR_Sdl_SyncDisplay). Apart from the other host files so that
// the display library's names stay out of them. SDL2 and Xlib.
#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <X11/Xlib.h>
#include <unistd.h>

#include <cstring>

#include "Files/Base/Console.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Linux/Graphics_EventsM.h"

namespace {

// Runs inside the display call that found the connection gone, on the thread that made it
// (the main thread: no other thread of the runner touches the display). The display library
// ends the process when this returns, and its connection (and the GL context on it) must not
// be used again: nothing here reaches the window, the device or a dialog.
int OnDisplayLost(Display* display)
{
    static bool lost = false;
    if (lost) _exit(1); // reached again from inside the ending: nothing more can be done
    lost = true;
    const char* name = display ? DisplayString(display) : nullptr; // the connection's record, no request
    Console_Problem("the display %s was lost; the run ends", name && *name ? name : "(unnamed)");
    if (GR_Hooks().displayLost) GR_Hooks().displayLost();
    _exit(1); // as the display library would: what must be written is written
}

} // namespace

void GR_Sdl_WatchDisplay()
{
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver && std::strcmp(driver, "x11") == 0) XSetIOErrorHandler(OnDisplayLost);
}

void GR_Sdl_SyncDisplay(SDL_Window* window)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
    XSync(info.info.x11.display, False);
    SDL_PumpEvents();
}
