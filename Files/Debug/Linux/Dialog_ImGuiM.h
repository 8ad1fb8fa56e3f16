// What the on-screen dialog host's two files share: the state of one shown dialog (keyboard
// focus, pending keys, where it was drawn), the drawing of a dialog template with Dear ImGui, the
// input fed to ImGui from SDL events in the order it came, and the drawing of ImGui's output
// through the runner's device and vertex batch. Dialog_HostM.cpp runs the dialogs;
// Dialog_DrawM.cpp draws them; Debug_FormM.cpp uses both for the debug form's window.
#pragma once

#include <SDL2/SDL.h>
#include <imgui.h>

#include <cstdint>
#include <deque>
#include <string>

#include "Files/Base/DialogHost.h"

// Makes an ImGui context current for a scope (the game window's, a plain window's, the debug
// form's).
class ContextScope {
public:
    explicit ContextScope(ImGuiContext* c) : m_prev(ImGui::GetCurrentContext()) { ImGui::SetCurrentContext(c); }
    ~ContextScope() { ImGui::SetCurrentContext(m_prev); }
    ContextScope(const ContextScope&) = delete;
    ContextScope& operator=(const ContextScope&) = delete;

private:
    ImGuiContext* m_prev;
};

// Keys that act on a dialog as a whole, taken from the one key event of a frame
// (DialogInputQueue).
struct DialogKeys {
    bool enter = false, space = false, escape = false, tab = false, backTab = false;
    bool left = false, right = false;
    void Clear() { *this = DialogKeys(); }
};

// One dialog on screen.
struct DialogUi {
    IModalDialog* dialog = nullptr;
    int32_t focus = -1;          // control id with the keyboard focus, -1 none
    bool focusMoved = true;      // give an edit field ImGui's focus at the next frame
    bool hasFocus = true;        // (modeless) the dialog takes the keyboard
    DialogKeys keys;
    ImVec2 min{0, 0}, max{0, 0}; // where it was drawn last (window pixels)
    int32_t listSelection = -1;  // the file browser's selected entry
};

// Puts the initial keyboard focus: the first edit field, else the first visible default
// button, else the first visible button.
void DialogUi_Begin(DialogUi& ui, IModalDialog* dialog);
// Records a key that acts on the dialog (Enter, Space, Escape, Tab, arrows); true when it was
// one.
bool DialogUi_Key(DialogUi& ui, const SDL_Event& e);
// Draws the dialog centred in a display of that size (ImGui frame open), sends the commands of
// clicks and of the keys gathered, and moves the focus. `fill` draws it over the whole display
// (a plain window of its own).
void DialogUi_Draw(DialogUi& ui, ImVec2 display, bool fill);

// Keys, typed text, mouse moves, buttons and the wheel: what a dialog may take.
bool DialogInput_IsInput(const SDL_Event& e);
// The pointer left the window (nothing is hovered any more): queued with the input.
inline bool DialogInput_IsLeave(const SDL_Event& e)
{
    return e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_LEAVE;
}
// Feeds one SDL event to the current ImGui context (mouse scaled by sx, sy); true when it was
// input (keys, text, mouse).
bool DialogInput_Feed(const SDL_Event& e, float sx, float sy);
// A new dialog starts with no key or button held (their releases may have gone to the game).
void DialogInput_Reset();
// Sets up the current context's key map, clipboard and style.
void DialogInput_Setup();

// The input events of one ImGui context, kept in the order they came until frames take them.
// ImGui reads keys and buttons as held states once a frame, so two changes within one frame
// would merge (Tab twice, a key's press and release, a click and the move after it): each
// frame takes the moves and wheel turns that came before one key, text or button event, and
// that event; the events after it wait for the next frame. Runs of moves are kept as their
// last; at most kCapacity events wait (more only when no frame runs at all).
class DialogInputQueue {
public:
    static constexpr size_t kCapacity = 8192;
    // taken: the dialogs kept the event from the game; its key acts on the dialog
    // (DialogUi_Key), and it goes back to SDL's queue when no frame took it (ReturnToSdl).
    void Push(const SDL_Event& e, float sx, float sy, bool taken);
    bool Empty() const { return m_events.empty(); }
    // Feeds the next frame's share to the current ImGui context, and its key to ui (null: no
    // dialog takes keys).
    void FeedFrame(DialogUi* ui);
    // Puts the events the dialogs had taken and no frame has back into SDL's queue, ahead of
    // newer ones (the others reached the game already): what came after a dialog ended goes
    // where it would have gone without the dialog.
    void ReturnToSdl();
    void Clear() { m_events.clear(); }

private:
    struct Item {
        SDL_Event e;
        float sx, sy;
        bool taken;
    };
    std::deque<Item> m_events;
};
// The time a frame that only takes input counts (a frame drawn counts the time since the last
// drawn one): held keys do not start repeating over a run of such frames.
constexpr float kInputFrameSeconds = 0.001f;

// Ends the ImGui frame and shows it in a window of its own (the window before the game's, the
// debug form): its GL context is current, width x height its drawable size.
void DialogWindow_Present(SDL_Window* window, int width, int height);

// Before a frame: the font atlas is built and its texture made (first time only).
void DialogRender_NewFrame();
// Draws ImGui's output over the current target through the device's vertex batch, clipping
// each triangle to its command's rectangle; the font atlas texture is made on first use.
void DialogRender_Draw(ImDrawData* data);
// Frees the font texture (before the device goes).
void DialogRender_FreeFont();
