// The X display under SDL (see Graphics_EventsM.h): the display lost while the game plays (the
// display library's I/O error handler of our own) and a window of the runner destroyed by
// another program (its error handler); the wait for the server's answer before a window goes
// (GR_Sdl_SyncDisplay); who holds the input focus; windows shown without taking it; GL
// contexts made current under the runner's own error handler. Apart from the other host files
// so that the display library's names stay out of them. SDL2 and Xlib.
#include <GL/glx.h>
#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <X11/Xlib.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "Files/Base/Console.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Linux/Graphics_EventsM.h"

namespace {

// Main thread only: no other thread of the runner touches the display (Mesa's threads draw
// into memory and make no call of the display library's).
std::vector<Window> g_watched;       // the runner's windows (GR_Sdl_WatchWindow)
XErrorHandler g_previousError = nullptr;
int g_glxErrorBase = -1;             // the GLX extension's first error code, once known
constexpr int kGlxBadDrawable = 2;   // GLX's own error for a drawable that is not there

// The X display and window of an SDL window; false for another video driver.
bool X11Of(SDL_Window* window, Display** display, Window* xid)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
    *display = info.info.x11.display;
    *xid = info.info.x11.window;
    return true;
}

// Both handlers run inside the display call that found the trouble, on the main thread; the
// display library requires that they make no call of the display's, and the process ends in
// them: nothing here reaches the window, the device or a dialog.
[[noreturn]] void EndRun(const char* why)
{
    static bool ending = false;
    if (ending) _exit(1); // reached again from inside the ending: nothing more can be done
    ending = true;
    Console_Problem("%s; the run ends", why);
    if (GR_Hooks().displayLost) GR_Hooks().displayLost();
    _exit(1); // as the display library would: what must be written is written
}

int OnDisplayLost(Display* display)
{
    const char* name = display ? DisplayString(display) : nullptr; // the connection's record, no request
    char why[256];
    std::snprintf(why, sizeof why, "the display %s was lost", name && *name ? name : "(unnamed)");
    EndRun(why);
}

// A request about a window of the runner that another program has destroyed (a window closed
// by force, xdotool windowclose) fails with one of these: the window is gone for good, and its
// GL context has nothing left to draw on. Other errors go to the handler before ours.
int OnError(Display* display, XErrorEvent* e)
{
    const bool gone = e->error_code == BadWindow || e->error_code == BadDrawable ||
                      (g_glxErrorBase >= 0 && e->error_code == g_glxErrorBase + kGlxBadDrawable);
    if (gone && std::find(g_watched.begin(), g_watched.end(), Window(e->resourceid)) != g_watched.end())
        EndRun("a window of the game was destroyed by another program");
    return g_previousError ? g_previousError(display, e) : 0;
}

// For a scope, errors about other programs' windows (which may go at any time) are nobody's.
int IgnoreError(Display*, XErrorEvent*) { return 0; }
class ErrorsIgnored {
public:
    explicit ErrorsIgnored(Display* d) : m_display(d) { m_previous = XSetErrorHandler(IgnoreError); }
    ~ErrorsIgnored()
    {
        XSync(m_display, False); // the errors of the scope's requests come in while it lasts
        XSetErrorHandler(m_previous);
    }
    ErrorsIgnored(const ErrorsIgnored&) = delete;
    ErrorsIgnored& operator=(const ErrorsIgnored&) = delete;

private:
    Display* m_display;
    XErrorHandler m_previous;
};

// Holds the server for a scope (a millisecond): no other program's request runs meanwhile
// (a key of an input tool). A stop from the terminal (Ctrl+Z) waits until the server is free
// again: a process stopped while it holds the server would freeze the whole display.
class ServerHeld {
public:
    explicit ServerHeld(Display* d) : m_display(d)
    {
        sigset_t stops;
        sigemptyset(&stops);
        for (int s : {SIGTSTP, SIGTTIN, SIGTTOU}) sigaddset(&stops, s);
        pthread_sigmask(SIG_BLOCK, &stops, &m_signals);
        XGrabServer(d);
    }
    ~ServerHeld()
    {
        XUngrabServer(m_display);
        XFlush(m_display);
        pthread_sigmask(SIG_SETMASK, &m_signals, nullptr);
    }
    ServerHeld(const ServerHeld&) = delete;
    ServerHeld& operator=(const ServerHeld&) = delete;

private:
    Display* m_display;
    sigset_t m_signals;
};

} // namespace

void GR_Sdl_WatchDisplay()
{
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || std::strcmp(driver, "x11") != 0) return;
    XSetIOErrorHandler(OnDisplayLost);
    const XErrorHandler previous = XSetErrorHandler(OnError);
    if (previous != OnError) g_previousError = previous; // SDL's (and, under it, the library's)
}

void GR_Sdl_WatchWindow(SDL_Window* window)
{
    Display* display;
    Window xid;
    if (!X11Of(window, &display, &xid)) return;
    if (g_glxErrorBase < 0) {
        int major = 0, event = 0, error = 0;
        if (XQueryExtension(display, "GLX", &major, &event, &error)) g_glxErrorBase = error;
    }
    if (std::find(g_watched.begin(), g_watched.end(), xid) == g_watched.end()) g_watched.push_back(xid);
}

void GR_Sdl_DestroyWindow(SDL_Window* window)
{
    Display* display;
    Window xid;
    if (!X11Of(window, &display, &xid)) {
        SDL_DestroyWindow(window);
        return;
    }
    SDL_DestroyWindow(window);
    XSync(display, False); // an error about it (destroyed already by another program) is still the runner's
    g_watched.erase(std::remove(g_watched.begin(), g_watched.end(), xid), g_watched.end());
}

void GR_Sdl_SyncDisplay(SDL_Window* window)
{
    Display* display;
    Window xid;
    if (!X11Of(window, &display, &xid)) return;
    XSync(display, False);
    SDL_PumpEvents();
}

bool GR_Sdl_HoldsFocus(SDL_Window* const* windows, int32_t count)
{
    Display* display = nullptr;
    std::vector<Window> ours;
    for (int32_t i = 0; i < count; ++i) {
        Window xid;
        if (X11Of(windows[i], &display, &xid)) ours.push_back(xid);
    }
    if (!display) { // another video driver: SDL's own record of the keyboard's window
        SDL_Window* focus = SDL_GetKeyboardFocus();
        return focus && std::find(windows, windows + count, focus) != windows + count;
    }
    auto isOurs = [&](Window w) { return std::find(ours.begin(), ours.end(), w) != ours.end(); };
    ErrorsIgnored errors(display);
    Window focus = None;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    if (focus == None) return false;
    if (focus != PointerRoot) return isOurs(focus);
    // The focus follows the pointer: the keys go to the window it is in (a window manager's
    // frame first, the runner's window inside it).
    Window at = DefaultRootWindow(display);
    for (int depth = 0; depth < 8; ++depth) {
        Window root = None, child = None;
        int rootX, rootY, x, y;
        unsigned int mask;
        if (!XQueryPointer(display, at, &root, &child, &rootX, &rootY, &x, &y, &mask) || child == None) return false;
        if (isOurs(child)) return true;
        at = child;
    }
    return false;
}

void GR_Sdl_ShowWindow(SDL_Window* window)
{
    Display* display;
    Window xid;
    if (!X11Of(window, &display, &xid)) {
        SDL_ShowWindow(window);
        return;
    }
    // A window manager maps the window and decides on the focus (the server must not be held
    // then: SDL waits for the window manager's map).
    XWindowAttributes root{};
    XGetWindowAttributes(display, DefaultRootWindow(display), &root);
    if (root.all_event_masks & SubstructureRedirectMask) {
        SDL_ShowWindow(window);
        return;
    }
    // Without one, SDL gives the focus to every window it shows: the focus goes back where it
    // was, the server held meanwhile so that no key comes in between.
    ServerHeld held(display);
    Window focus = None;
    int revert = RevertToNone;
    XGetInputFocus(display, &focus, &revert);
    SDL_ShowWindow(window);
    XSetInputFocus(display, focus, revert, CurrentTime);
}

void GR_Sdl_MakeCurrent(SDL_Window* window, SDL_GLContext gl)
{
    Display* display;
    Window xid;
    // SDL's contexts on X are GLX's, unless it was told to use EGL.
    if (!gl || !X11Of(window, &display, &xid) || SDL_GetHintBoolean(SDL_HINT_VIDEO_X11_FORCE_EGL, SDL_FALSE)) {
        SDL_GL_MakeCurrent(window, gl);
        return;
    }
    // SDL takes every error of the display library for itself while it makes a context
    // current, and Mesa's software rasteriser then sizes a window's buffers from a geometry
    // query that failed: its threads drew outside them (a crash) when the window had been
    // destroyed by another program. So the context is made current here first, with the
    // runner's own handler in place (a window gone ends the run at that query: OnError); SDL
    // then only keeps its record (GLX does nothing for a context that is current already).
    glXMakeCurrent(display, xid, static_cast<GLXContext>(gl));
    SDL_GL_MakeCurrent(window, gl);
}
