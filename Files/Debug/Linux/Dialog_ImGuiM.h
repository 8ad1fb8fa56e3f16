// What the on-screen dialog host's two files share: the state of one shown dialog (keyboard
// focus, pending keys, where it was drawn), the drawing of a dialog template with Dear ImGui, the
// input fed to ImGui from SDL events in the order it came, and the drawing of ImGui's output
// through the runner's device and vertex batch. Dialog_HostM.cpp runs the dialogs;
// Dialog_DrawM.cpp draws them; Debug_FormM.cpp uses both for the debug form's window.
#pragma once

#include <SDL2/SDL.h>
#include <imgui.h>

#include <bitset>
#include <cstdint>
#include <deque>
#include <string>

#include "Files/Base/DialogHost.h"
#include "Files/Debug/InputQuery.h"

// Every character a player can type reaches a dialog's field whole (ImGui built with 32-bit
// characters: CMakeLists.txt).
static_assert(sizeof(ImWchar) == 4, "Dear ImGui must be built with IMGUI_USE_WCHAR32");

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
    uint32_t serial = 0;         // this showing's own identity: its ImGui ids (caret, selection)
    int32_t focus = -1;          // control id with the keyboard focus, -1 none
    bool focusMoved = true;      // give an edit field ImGui's focus at the next frame
    bool fieldActive = false;    // the focused edit field takes ImGui's keys and text
    bool keepCaret = false;      // the field asked for again gets its caret and selection back
    int32_t caretField = -1;     // the field whose caret is kept (-1 none): caret, selection
    int32_t caret = 0, selectionStart = 0, selectionEnd = 0; // (bytes of its UTF-8 text)
    int32_t heldFrames = 0;      // frames the input has waited for that field
    bool hasFocus = true;        // (modeless) the dialog takes the keyboard
    DialogKeys keys;
    ImVec2 min{0, 0}, max{0, 0}; // where it was drawn last (window pixels)
    ImVec2 fitDisplay{0, 0};     // the display the layout was found for (0 x 0: none yet)
    float fit = 1.0f;            // its scale (DialogUi_LayOut)
    bool holds = true;           // whether the controls hold their texts at that scale
    int32_t listSelection = -1;  // the file browser's selected entry
};

// Puts the initial keyboard focus: the first edit field, else the first visible default
// button, else the first visible button. Each call gives the dialog a new identity: nothing of
// an earlier dialog (a field's caret, selection or scroll) carries over.
void DialogUi_Begin(DialogUi& ui, IModalDialog* dialog);
// The focused field is asked for anew (its dialog gets the keyboard back, a new window, a click
// on the dialog beside its controls), with what was typed into it and the caret where they
// were (ImGui would select its whole text).
void DialogUi_AskFieldAnew(DialogUi& ui);
// True while the input must wait for the next frame: the focused edit field has been asked
// for and ImGui has not made it active yet (it does so frames later), so what was typed ahead
// would be lost or go elsewhere. Counts the frames waited (a field that never comes stops
// holding after a few).
bool DialogUi_HoldsInput(DialogUi& ui);
// Records a key that acts on the dialog (Enter, Space, Escape, Tab, arrows); true when it was
// one.
bool DialogUi_Key(DialogUi& ui, const SDL_Event& e);
// The pixels the dialog takes at its own size (ImGui's font at its own pixels), with its title
// bar or without (`fill`: the window's title is the caption); the current context's style.
ImVec2 DialogUi_Size(const IModalDialog& dialog, bool fill);
// How the dialogs' font (the current context's) lays out a text, in dialog units: the width
// of its widest line and the number of lines it takes, wrapped at wrapWidth (0: at its line
// breaks only) as a static text of that width draws it (MessageBoxDialog's measure).
DialogTextExtent DialogUi_MeasureText(const char* text, float wrapWidth);
// Lays the dialog out for a display of that size (the current context's), once for each size:
// ui.fit, the scale (at most 1), and the result, whether every control still holds its text
// there (a button its label, a text its wrapped lines, a list a few lines) in the font's own
// pixels. A dialog that does not hold goes to a window of its own (the host).
bool DialogUi_LayOut(DialogUi& ui, ImVec2 display);
// Draws the dialog centred in a display of that size (ImGui frame open), sends the commands of
// clicks and of the keys gathered, and moves the focus. `fill` draws it over the whole display
// (a window of its own, at the dialog's own size or more); else it is laid out at
// DialogUi_LayOut's scale. The font is never scaled.
void DialogUi_Draw(DialogUi& ui, ImVec2 display, bool fill);

// Keys, typed text, mouse moves, buttons and the wheel: what a dialog may take.
bool DialogInput_IsInput(const SDL_Event& e);
// The window an event came to (0: none).
uint32_t DialogInput_Window(const SDL_Event& e);
// A key pressed this frame, by ImGui's key name (ImGui takes the application's key index,
// here SDL scancodes: the key map turns one into the other).
bool DialogInput_KeyPressed(ImGuiKey key);
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
// that event; the events after it wait for the next frame, and all wait while the dialog's
// field is not ready for them (DialogUi_HoldsInput).
//
// The text events of a key press belong to that press: when the dialog used the press (a Space
// that pressed a button), its text is the dialog's too, and neither reaches a field nor goes
// back to the game.
//
// Runs of moves are kept as their last. At most kCapacity events wait: past it, new typed
// text, moves, wheel turns and presses of keys that do nothing to a dialog are dropped (a
// dropped press's release with it); a release of a press that is kept, a click or a key that
// acts on a dialog takes the place of the newest of those already waiting, and past them waits
// beyond the capacity, up to kHardCapacity (reached only when no frame runs at all).
class DialogInputQueue {
public:
    static constexpr size_t kCapacity = 8192, kHardCapacity = 4 * kCapacity;
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
    void Clear()
    {
        m_events.clear();
        m_pressUsed = false;
        m_pressDropped.reset();
    }
    size_t Size() const { return m_events.size(); }

private:
    struct Item {
        SDL_Event e;
        float sx, sy;
        bool taken;
    };
    // Makes room for one more event of that kind; false when it is the one to go.
    bool MakeRoom(const SDL_Event& e);
    std::deque<Item> m_events;
    bool m_pressUsed = false; // the last key press fed was the dialog's: its text is too
    std::bitset<SDL_NUM_SCANCODES> m_pressDropped; // keys whose press the full queue dropped
};
// The time a frame that only takes input counts (a frame drawn counts the time since the last
// drawn one): held keys do not start repeating over a run of such frames.
constexpr float kInputFrameSeconds = 0.001f;

// A window of the dialogs' own, beside the game's (a dialog too big for the game window, a
// dialog before the game window exists, the debug form): an SDL window with an OpenGL context
// and an ImGui context of its own, drawn with ImGui's OpenGL 2 back end.
struct DialogWindow {
    SDL_Window* window = nullptr;
    SDL_GLContext gl = nullptr;
    ImGuiContext* context = nullptr;
    uint64_t lastFrame = 0; // milliseconds, of the last frame drawn
};
// Makes the window (flags as SDL_CreateWindow's, OpenGL added) with its contexts; false when
// it cannot be made. The current GL context stays current.
bool DialogWindow_Open(DialogWindow& w, const char* title, int x, int y, int width, int height, uint32_t flags);
// Destroys the window and its contexts (nothing when none).
void DialogWindow_Close(DialogWindow& w);
// Makes the window's GL context current for a scope, and the one before current again after.
class DialogWindowGL {
public:
    explicit DialogWindowGL(const DialogWindow& w);
    ~DialogWindowGL();
    DialogWindowGL(const DialogWindowGL&) = delete;
    DialogWindowGL& operator=(const DialogWindowGL&) = delete;

private:
    SDL_Window* m_window;
    SDL_GLContext m_gl;
};
// Ends the ImGui frame and shows it in a window of its own: its GL context is current, width x
// height its drawable size.
void DialogWindow_Present(SDL_Window* window, int width, int height);

// Before a frame: the font atlas is built and its texture made (first time only).
void DialogRender_NewFrame();
// Draws ImGui's output over the current target through the device's vertex batch, clipping
// each triangle to its command's rectangle; the font atlas texture is made on first use.
void DialogRender_Draw(ImDrawData* data);
// Frees the font texture (before the device goes).
void DialogRender_FreeFont();
