// The X display under SDL (see Graphics_EventsM.h): the display lost while the game plays (the
// display library's I/O error handler of our own) and a window of the runner destroyed by
// another program (its error handler); the wait for the server's answer before a window goes
// (GR_Sdl_SyncDisplay); who holds the input focus, and moving it; windows shown and raised
// without the window manager moving the focus; GL contexts made current under the runner's own
// error handler. Apart from the other host files
// so that the display library's names stay out of them. SDL2 and Xlib.
#include <GL/glx.h>
#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
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

namespace {

// The window manager's own window (_NET_SUPPORTING_WM_CHECK), where a window manager puts the
// focus while it gives it to no client; None without one.
Window ManagerWindow(Display* display)
{
    static Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    Window w = None;
    if (XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type, &format, &count,
                           &after, &data) == Success &&
        data && type == XA_WINDOW && format == 32 && count == 1)
        w = Window(reinterpret_cast<unsigned long*>(data)[0]);
    if (data) XFree(data);
    return w;
}

// Whether `outer` is one of the windows or holds one (a window manager's frame around it).
bool HoldsOneOf(Display* display, Window outer, const std::vector<Window>& windows)
{
    for (Window w : windows) {
        for (int depth = 0; depth < 8 && w != None; ++depth) {
            if (w == outer) return true;
            Window root = None, parent = None, *children = nullptr;
            unsigned int n = 0;
            if (!XQueryTree(display, w, &root, &parent, &children, &n)) break;
            if (children) XFree(children);
            if (parent == root) break;
            w = parent;
        }
    }
    return false;
}

} // namespace

GR_SdlFocus GR_Sdl_FocusOf(SDL_Window* const* windows, int32_t count)
{
    Display* display = nullptr;
    std::vector<Window> ours;
    for (int32_t i = 0; i < count; ++i) {
        Window xid;
        if (X11Of(windows[i], &display, &xid)) ours.push_back(xid);
    }
    if (!display) { // another video driver: SDL's own record of the keyboard's window
        SDL_Window* focus = SDL_GetKeyboardFocus();
        if (!focus) return GR_SdlFocus::kNobody;
        return std::find(windows, windows + count, focus) != windows + count ? GR_SdlFocus::kOurs : GR_SdlFocus::kOthers;
    }
    ErrorsIgnored errors(display);
    Window focus = None;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    if (focus == None) return GR_SdlFocus::kNobody; // as after the focused window went
    if (focus == PointerRoot || focus == DefaultRootWindow(display)) return GR_SdlFocus::kPointer;
    if (HoldsOneOf(display, focus, ours)) return GR_SdlFocus::kOurs;
    return focus == ManagerWindow(display) ? GR_SdlFocus::kNobody : GR_SdlFocus::kOthers;
}

bool GR_Sdl_HoldsFocus(SDL_Window* const* windows, int32_t count)
{
    return GR_Sdl_FocusOf(windows, count) == GR_SdlFocus::kOurs;
}

void GR_Sdl_FocusWindow(SDL_Window* window)
{
    Display* display;
    Window xid;
    if (!X11Of(window, &display, &xid)) {
        SDL_SetWindowInputFocus(window);
        return;
    }
    // A window not shown (a window manager has not mapped it yet, or minimised it meanwhile)
    // cannot take the focus: the server's error for it would end the run in SDL's handler.
    ErrorsIgnored errors(display);
    XWindowAttributes a{};
    if (!XGetWindowAttributes(display, xid, &a) || a.map_state != IsViewable) return;
    XSetInputFocus(display, xid, RevertToNone, CurrentTime);
}

void GR_Sdl_RaiseWindow(SDL_Window* window)
{
    Display* display;
    Window xid;
    if (!X11Of(window, &display, &xid)) {
        SDL_RaiseWindow(window);
        return;
    }
    // The stacking alone: SDL's raise also asks the window manager to activate the window (see
    // GR_Sdl_ShowWindow).
    XRaiseWindow(display, xid);
    XFlush(display);
}

void GR_Sdl_ShowWindow(SDL_Window* window, SDL_Window* owner, bool focused)
{
    Display* display;
    Window xid;
    if (!X11Of(window, &display, &xid)) {
        SDL_ShowWindow(window);
        return;
    }
    // The window manager is told what the runner means: a window of the game's (kept over it,
    // which the game's window would otherwise cover once raised, and minimised with it) that it
    // never gives the focus of its own accord (a user time of 0). Where the window is to have
    // the focus, the runner gives it itself once the window is shown, with a request that the
    // server carries out in order with the runner's own: a window manager gives the focus on
    // map, or on an activation asked for, when it gets round to it, which may be after the
    // player typed through the dialog and the runner moved the focus on; the window's close
    // then left the focus to nobody until the window manager chose another, and the keys
    // typed meanwhile were lost.
    Display* ownerDisplay;
    Window ownerXid;
    if (owner && owner != window && X11Of(owner, &ownerDisplay, &ownerXid)) XSetTransientForHint(display, xid, ownerXid);
    static const Atom userTime = XInternAtom(display, "_NET_WM_USER_TIME", False);
    const long never = 0;
    XChangeProperty(display, xid, userTime, XA_CARDINAL, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&never),
                    1);
    // Mapped here rather than by SDL, which without a window manager gives every window it
    // shows the focus (nothing to put back, and no moment in which a key could go to it). SDL
    // learns of the map from the server's notice, awaited a while (a window manager maps the
    // window once it has placed it, or never where it keeps it minimised).
    XMapRaised(display, xid);
    XFlush(display);
    const uint64_t until = SDL_GetTicks64() + 250;
    for (;;) {
        SDL_PumpEvents();
        if ((SDL_GetWindowFlags(window) & SDL_WINDOW_SHOWN) || SDL_GetTicks64() >= until) break;
        SDL_Delay(1);
    }
    if (focused) {
        GR_Sdl_RaiseWindow(window);
        GR_Sdl_FocusWindow(window);
    }
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
