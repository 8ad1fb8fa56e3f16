// The translation of SDL's input events into the window procedure's messages (Windows
// numbering), as a pure function of the event and the translator's own record of the keys and
// buttons held. The SDL window host (Graphics_HostM.cpp) hands every event to it and delivers
// the messages to GR_Window_Proc; tests feed it events directly.
//
// Keyboard: SDL key codes, else the key's position (scan code), become virtual keys 0..255;
// Shift, Control and Alt arrive as 16, 17 and 18, and the translator keeps the left and right
// keys (160..165) in its record, which the host answers the window procedure's key-state
// questions from (so right Shift reports 16 and 161). Keys go down and up as
// WM_KEYDOWN/WM_KEYUP, or WM_SYSKEYDOWN/WM_SYSKEYUP while Alt is held; an auto-repeat sets
// bit 30 of the message data; Alt+Enter adds WM_SYSCOMMAND(SC_KEYMENU, VK_RETURN) (not on
// repeats). Typed text: SDL text input is split into UTF-16 units (one WM_CHAR each);
// backspace (repeats included), tab, return and escape give their WM_CHAR from the key press,
// since SDL sends no text for them (not while Alt is held: that is a system character).
//
// Keys injected by GR_Sdl_PostKey (keyboard_key_press and keyboard_key_release) come back as
// events of the translator's own type and are translated as the keys they name; the typing
// keys among them (letters, digits, space and the four above) also give their character.
//
// Mouse: moves and buttons carry client coordinates (signed: left of or above the window is
// negative); the wheel carries screen coordinates and the buttons and modifier keys held.
#pragma once

#include <SDL2/SDL.h>

#include <cstdint>

struct GR_SdlInputState {
    uint8_t keyDown[256]; // virtual keys held, generic and left/right forms
    uint32_t mouseButtons; // WMK_LBUTTON, WMK_RBUTTON, WMK_MBUTTON of the buttons held
};

struct GR_WindowMessage {
    uint32_t message;
    uint64_t wParam;
    int64_t lParam;
};

struct GR_MessageList {
    static constexpr int32_t kCapacity = 48; // one text event gives at most 31 units
    GR_WindowMessage items[kCapacity];
    int32_t count = 0;
    void Add(uint32_t message, uint64_t wParam, int64_t lParam)
    {
        if (count < kCapacity) items[count++] = GR_WindowMessage{message, wParam, lParam};
    }
};

// The virtual key of an SDL key: from its key code, else from its position; 0 when none.
// Shift, Control and Alt give 16, 17 and 18.
int32_t GR_Sdl_VirtualKey(SDL_Keycode key, SDL_Scancode scancode);

// Translates one event into messages (appended to out), updating state first, so that the
// state answers for the moment the messages describe. windowX, windowY: the client area's
// screen position (for the wheel message).
void GR_Sdl_Translate(GR_SdlInputState& state, const SDL_Event& e, int32_t windowX, int32_t windowY,
                      GR_MessageList& out);

// The event type of injected keys (registered with SDL once; 0 when SDL has none left).
uint32_t GR_Sdl_InjectedKeyEvent();
// Queues a key (0..255) going down or up; false when the key is out of range or SDL's queue
// refused it.
bool GR_Sdl_PostKey(int32_t vkey, bool down);

// A filter that sees every SDL event of the pump before the window procedure (the dialogs
// drawn in the window take their input here): true keeps the event from the procedure. One
// filter at a time; null removes it (Graphics_HostM.cpp).
using GR_SdlEventFilter = bool (*)(const SDL_Event& e);
void GR_Sdl_SetEventFilter(GR_SdlEventFilter filter);

// Starts SDL's video once for the window host, the device and the dialog hosts; false when
// no driver starts. When none was asked for (SDL_VIDEODRIVER) and SDL fell back to its
// off-screen or dummy driver although DISPLAY or WAYLAND_DISPLAY names a display, that
// display's driver is tried once more: a window when the display answers now, else one line
// on stderr ("the display ... cannot be opened (why); playing without a window").
bool GR_Sdl_StartVideo();

// Watches the X display SDL plays on (when its driver is x11): once the connection is lost
// (the server ended, the connection broken) the display library would print a line and end
// the process at once. Instead the handler says "runner: the display NAME was lost; the run
// ends" on stderr, calls the display-lost hook (GR_Hooks().displayLost: what the game would
// write at its end) and ends the process with 1. It never returns and makes no call of the
// display's, as the display library requires (Graphics_DisplayM.cpp). A window of the
// runner's (GR_Sdl_WatchWindow) that another program destroys ends the run the same way,
// with "runner: a window of the game was destroyed by another program; the run ends": the
// first request that finds it gone (the game's next frame, a dialog's) says so.
void GR_Sdl_WatchDisplay();
// A window the runner made (the game's, a dialog's, the debug form's) is watched from now on;
// GR_Sdl_DestroyWindow destroys it and ends the watch.
void GR_Sdl_WatchWindow(SDL_Window* window);
void GR_Sdl_DestroyWindow(SDL_Window* window);
// Makes the GL context current on the window (null context: none current); on X under the
// runner's own error handler (a window gone ends the run as above): under SDL's, which takes
// every error for itself, a context made current on a window another program had destroyed
// made Mesa's software rasteriser draw outside its buffers.
void GR_Sdl_MakeCurrent(SDL_Window* window, SDL_GLContext gl);

// Who holds the keyboard's input focus now, asked of the server (its answer takes the focus
// requests made so far into account): one of these windows (or a window manager's frame
// around one); nobody (the focus is None, as after the focused window went, or it rests on the
// window manager's own window while it gives it to no client); the pointer (PointerRoot or the
// screen's root: the keys go to the window the pointer is in, whichever it is); or another
// client's window. On other video drivers, SDL's record of the keyboard's window.
enum class GR_SdlFocus { kOurs, kNobody, kPointer, kOthers };
GR_SdlFocus GR_Sdl_FocusOf(SDL_Window* const* windows, int32_t count);
bool GR_Sdl_HoldsFocus(SDL_Window* const* windows, int32_t count); // FocusOf is kOurs
// Gives the window the input focus; nothing when it is not shown (not yet mapped by a window
// manager, or minimised meanwhile), where the server's refusal would end the run.
void GR_Sdl_FocusWindow(SDL_Window* window);
// Shows a hidden window, on top of its owner (the game's window; null: none) and kept there.
// The window manager, where one runs, is told never to give it the focus of its own accord (a
// user time of 0); with `focused`, the window is raised and given the focus here once shown,
// else the focus stays where it is (SDL would give it to the window where no window manager
// runs). So every move of the focus onto a window of the runner's is the runner's own request,
// which the server carries out in order with its others, and none comes after the runner has
// moved the focus away from a window it is closing. The server is never held.
void GR_Sdl_ShowWindow(SDL_Window* window, SDL_Window* owner, bool focused);
// Raises a window over the others, without asking the window manager to activate it (as SDL's
// raise does: it gives the window the focus whenever it gets round to it).
void GR_Sdl_RaiseWindow(SDL_Window* window);

// Waits until the display server has carried out every request made so far (a change of the
// input focus) and reads what it sent meanwhile into SDL's queue, while SDL still knows the
// windows those events came to (it drops the events of a window it no longer knows). Nothing
// without an X display (Graphics_DisplayM.cpp).
void GR_Sdl_SyncDisplay(SDL_Window* window);
