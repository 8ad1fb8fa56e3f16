// The on-screen dialog host and the choice of hosts (Files/Debug/Dialog_Host.h): modal
// dialogs in a loop of their own over the last game frame, the modeless dialog over every
// frame, message boxes in the window or SDL's own before it exists, and a plain window of its
// own for a dialog shown before the game window (the open-file dialog when no game is given).
//
// Input: the window's event pump hands every SDL event to Filter first. Keys and typed text go
// to the dialog that holds the keyboard, whatever window of the runner they came to: the
// innermost modal dialog; else the debug form while it asks its question; else the modeless
// dialog while it has the focus (from when it is shown until a click outside it, and again
// after a click into it); else the debug form once the player clicked into it; else the game.
// The pointer acts in the window it is in: a modal dialog takes the clicks inside it (a click
// beside it changes nothing: its field keeps the keyboard), a modeless one those inside it. A
// click into a window of the runner gives that window the input focus (there may be no window
// manager to do it), unless a modal dialog is up: that one keeps the keyboard and stays on
// top. Window events (move, resize, focus, close) still
// reach the window procedure, and a close ends a modal dialog with its answer for a closed
// dialog (the game then ends as the close asks). What the dialogs take waits in one queue, in
// the order it came, until the overlay's frames take it (each key, text and click in a frame
// of its own, DialogInputQueue); once a dialog has ended, the input after its answer goes
// back to SDL's queue and is routed afresh.
//
// Needs SDL2, Dear ImGui (and its OpenGL 2 back end for the plain window), the window host,
// the device's held present and window overlay, the dialogs' logic, the debug form's view.
//
// The input focus: the runner moves it only between its own windows, and only while one of
// them holds it (GR_Sdl_FocusOf, asked of the server each time), or where the player clicked
// into one of its windows while nobody held it (the focused window went). A dialog of a runner
// without the focus (the player types into another program, or another game) waits, shown but
// without the keyboard, until the player comes to the runner; its windows are shown without
// the runner moving the focus, the window manager told whether they take it
// (GR_Sdl_ShowWindow), and raised only while the runner holds it (raising asks the window
// manager to activate a window).
//
// A dialog that the game window cannot hold at its own size, or that it would show scaled (a
// window made smaller or larger than the game's picture), gets a window of its own, centred
// over the game's and given the keyboard; the game's window keeps its size and picture. So
// does a modal dialog while the debug form's window or another modal dialog's window covers
// the game window: a modal dialog is always on top. A modeless dialog's own window is hidden
// while a modal dialog is drawn in the game window under it, and comes back after. When a
// dialog ends, the keyboard returns to whoever held it before (the modal dialog under it, the
// modeless dialog, the form or the game): the input focus moves there before the dialog's own
// window goes, the server confirms it, and what the server had already sent to the closing
// window is read while SDL still knows that window, so no key typed meanwhile is lost.
//
// [SECTION] The host
// [SECTION] The keyboard
// [SECTION] Windows of their own
// [SECTION] Modal and modeless dialogs in the window
// [SECTION] A plain window of its own
// [SECTION] Message boxes
// [SECTION] Choice of hosts
#include "Files/Debug/Dialog_Host.h"

#include <SDL2/SDL.h>
#include <backends/imgui_impl_opengl2.h>
#include <imgui.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "Files/Base/Console.h"
#include "Files/Base/QuitRequest.h"
#include "Files/Base/Utf8.h"
#include "Files/Debug/Debug_FormView.h"
#include "Files/Debug/InputQuery.h"
#include "Files/Debug/Linux/Dialog_ImGuiM.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_Host.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/Graphics_API/Linux/Graphics_EventsM.h"
#include "Files/Support/CommandLine.h"
#include "Files/Support/Timing.h"

// =============================================================================================
// [SECTION] The host
// =============================================================================================
namespace {

// One dialog on screen: drawn in the game window, or in a window of its own.
struct Shown {
    DialogUi ui;
    DialogWindow own;    // own.window: the dialog's own window
    bool hidden = false; // (modeless) its window hidden while a modal dialog is in the game window
};

class OnScreenHost : public IDialogHost, public IMessageBoxHost {
public:
    int32_t RunModal(IModalDialog& dialog) override;
    void SetClipboardText(const char* text) override { SDL_SetClipboardText(text ? text : ""); }
    void ShowModeless(IModalDialog* dialog) override;
    void CloseModeless(IModalDialog* dialog) override;
    bool OnScreen() const override { return true; }
    int Show(const char* text, const char* caption, uint32_t flags) override;

    bool attached = false;            // drawn in the game window
    ImGuiContext* context = nullptr;  // the game window's
    std::vector<Shown*> modal;        // innermost last
    Shown modeless;
    bool hasModeless = false;
    DialogInputQueue input;           // what the dialogs took and no frame has yet
    uint64_t lastFrame = 0;           // milliseconds, of the last frame drawn

private:
    int32_t RunStandalone(IModalDialog& dialog);
};

OnScreenHost g_host;
bool g_installed = false;

SDL_Window* GameWindow()
{
    IWindowHost* host = WindowHost_Get();
    return host ? static_cast<SDL_Window*>(host->NativeWindow()) : nullptr;
}

// Back-buffer pixels per window pixel (they differ while a resize waits for its reset).
void MouseScale(float* sx, float* sy)
{
    const GR_DeviceState& st = GR_D3D_State();
    int32_t cw = 0, ch = 0;
    if (IWindowHost* host = WindowHost_Get()) host->GetClientSize(&cw, &ch);
    *sx = cw > 0 ? float(st.backBufferWidth) / float(cw) : 1.0f;
    *sy = ch > 0 ? float(st.backBufferHeight) / float(ch) : 1.0f;
}

float DeltaSeconds(uint64_t* last)
{
    const uint64_t now = SDL_GetTicks64();
    const float dt = *last && now > *last ? float(now - *last) / 1000.0f : 1.0f / 60.0f;
    *last = now;
    return dt;
}

// The game window's ImGui context, made on first use (a message box before the game window is
// measured with its font).
ImGuiContext* HostContext()
{
    if (g_host.context) return g_host.context;
    IMGUI_CHECKVERSION();
    ImGuiContext* prev = ImGui::GetCurrentContext();
    g_host.context = ImGui::CreateContext();
    ImGui::SetCurrentContext(g_host.context);
    DialogInput_Setup();
    // The game window's drawer reads each command's vertex offset: a dialog whose texts need
    // more than 65,536 vertices is drawn in parts rather than refused.
    ImGui::GetIO().BackendFlags |= ImGuiBackendFlags_RendererHasVtxOffset;
    ImGui::SetCurrentContext(prev);
    return g_host.context;
}

bool Ended(const Shown& s)
{
    int32_t result;
    return s.ui.dialog->Ended(&result);
}

// =============================================================================================
// [SECTION] The keyboard
// =============================================================================================
// The dialog whose input the next frame takes: the innermost modal one, else the modeless.
Shown* KeyTarget()
{
    if (!g_host.modal.empty()) return g_host.modal.back();
    return g_host.hasModeless ? &g_host.modeless : nullptr;
}

// The window that takes the keyboard now: the holder's (see the top of this file). A hidden
// window never: the game's stands in for it.
SDL_Window* KeyWindow()
{
    if (!g_host.modal.empty()) {
        SDL_Window* own = g_host.modal.back()->own.window;
        return own ? own : GameWindow();
    }
    if (DebugFormView_Asking() && DebugFormView_Window()) return DebugFormView_Window();
    if (g_host.hasModeless && g_host.modeless.ui.hasFocus)
        return g_host.modeless.own.window && !g_host.modeless.hidden ? g_host.modeless.own.window : GameWindow();
    if (DebugFormView_HasKeyboard()) return DebugFormView_Window();
    return GameWindow();
}

// The runner's windows shown now, and `also` (a window about to close).
std::vector<SDL_Window*> RunnerWindows(SDL_Window* also = nullptr)
{
    std::vector<SDL_Window*> windows;
    auto add = [&](SDL_Window* w) {
        if (w) windows.push_back(w);
    };
    add(GameWindow());
    add(DebugFormView_Window());
    for (const Shown* m : g_host.modal) add(m->own.window);
    if (g_host.hasModeless && !g_host.modeless.hidden) add(g_host.modeless.own.window);
    add(also);
    return windows;
}

// Who holds the input focus now: the runner (any of its windows, or `also`), nobody, the
// pointer or another program.
GR_SdlFocus FocusNow(SDL_Window* also = nullptr)
{
    const std::vector<SDL_Window*> windows = RunnerWindows(also);
    return GR_Sdl_FocusOf(windows.data(), int32_t(windows.size()));
}

// Whether a window of the runner's holds the input focus.
bool HoldsFocus(SDL_Window* also = nullptr) { return FocusNow(also) == GR_SdlFocus::kOurs; }

// Moves the input focus to one of the runner's windows, when the runner holds it (`also`: a
// window of the runner's about to close, that may hold it), or, where the player chose the
// runner (`chosen`: a click into one of its windows), when nobody holds it or it follows the
// pointer: only a focus that another program's window holds stays where it is. A focus that
// follows the pointer is the player's to move: the runner never moves it of its own accord.
void FocusWindow(SDL_Window* w, SDL_Window* also = nullptr, bool chosen = false)
{
    if (!w) return;
    const GR_SdlFocus now = FocusNow(also);
    if (now == GR_SdlFocus::kOurs || (chosen && now != GR_SdlFocus::kOthers)) GR_Sdl_FocusWindow(w);
}

// Gives the holder's window the input focus, as FocusWindow. Always asked for: SDL's idea of
// the focus lags behind the requests not yet answered.
void GiveKeyboard(bool chosen = false) { FocusWindow(KeyWindow(), nullptr, chosen); }

// The modeless dialog takes or loses the keyboard.
void SetModelessFocus(bool on)
{
    DialogUi& ui = g_host.modeless.ui;
    if (on && !ui.hasFocus) DialogUi_AskFieldAnew(ui);
    ui.hasFocus = on;
}

// Whether a window of the runner's other than the game's is shown (the debug form's, a
// dialog's own): only then can a click be meant to move the keyboard between windows.
bool OtherWindowsShown()
{
    if (DebugFormView_Window()) return true;
    for (const Shown* m : g_host.modal)
        if (m->own.window) return true;
    return g_host.hasModeless && g_host.modeless.own.window && !g_host.modeless.hidden;
}

// =============================================================================================
// [SECTION] Windows of their own
// =============================================================================================
// The game window shows the back buffer pixel for pixel and holds the dialog laid out for it
// (DialogUi_LayOut, found once for each window size): else the dialog gets a window of its
// own, where its glyphs keep their pixels whatever the game's picture is scaled to.
bool FitsGameWindow(DialogUi& ui)
{
    const GR_DeviceState& st = GR_D3D_State();
    int32_t cw = 0, ch = 0;
    if (IWindowHost* host = WindowHost_Get()) host->GetClientSize(&cw, &ch);
    if (cw != st.backBufferWidth || ch != st.backBufferHeight) return false;
    const ImVec2 display{float(cw), float(ch)};
    if (ui.fitDisplay.x == display.x && ui.fitDisplay.y == display.y) return ui.holds;
    ContextScope scope(g_host.context);
    DialogRender_NewFrame(); // the font's sizes
    return DialogUi_LayOut(ui, display);
}

bool Overlap(SDL_Window* a, SDL_Window* b)
{
    if (!a || !b) return false;
    int ax, ay, aw, ah, bx, by, bw, bh;
    SDL_GetWindowPosition(a, &ax, &ay);
    SDL_GetWindowSize(a, &aw, &ah);
    SDL_GetWindowPosition(b, &bx, &by);
    SDL_GetWindowSize(b, &bw, &bh);
    return ax < bx + bw && bx < ax + aw && ay < by + bh && by < ay + ah;
}

// True when a modal dialog drawn in the game window could be hidden: the window of another
// modal dialog over it, or the debug form's window over part of it (no window manager keeps
// the game's on top). The modeless dialog's own window is hidden instead (HideModeless).
bool GameWindowCovered()
{
    for (const Shown* m : g_host.modal)
        if (m->own.window) return true;
    return Overlap(DebugFormView_Window(), GameWindow());
}

// Opens the dialog's own window at its own size, centred over `over` (null: the screen) and
// kept on the screen, on top, and gives it the keyboard when it holds it and the runner holds
// the focus (without a window manager nobody else would). A window before the game's (`over`
// null) is the first of a program just started: SDL shows it as it shows the game's (without a
// window manager, with the focus). False when it cannot be made.
bool OpenOwn(Shown& s, SDL_Window* over)
{
    const ImVec2 size = DialogUi_Size(*s.ui.dialog, true);
    const int w = int(size.x), h = int(size.y);
    int x = SDL_WINDOWPOS_CENTERED, y = SDL_WINDOWPOS_CENTERED;
    SDL_Rect screen{0, 0, 0, 0};
    if (over && SDL_GetDisplayUsableBounds(std::max(0, SDL_GetWindowDisplayIndex(over)), &screen) == 0) {
        int gx, gy, gw, gh;
        SDL_GetWindowPosition(over, &gx, &gy);
        SDL_GetWindowSize(over, &gw, &gh);
        x = std::max(screen.x, std::min(gx + (gw - w) / 2, screen.x + screen.w - w));
        y = std::max(screen.y, std::min(gy + (gh - h) / 2, screen.y + screen.h - h));
    }
    if (!DialogWindow_Open(s.own, s.ui.dialog->Caption(), x, y, w, h, over ? SDL_WINDOW_HIDDEN : SDL_WINDOW_SHOWN))
        return false;
    if (over) {
        const bool focused = KeyWindow() == s.own.window && HoldsFocus();
        GR_Sdl_ShowWindow(s.own.window, over, focused);
    }
    Console_Debug()->Output("Dialog \"%s\" in a window of its own (%dx%d)\n", s.ui.dialog->Caption(), w, h);
    return true;
}

// A dialog shown in the game window that the window no longer holds (made smaller) goes on in
// a window of its own; what its fields hold stays (the caret starts again).
void MoveToOwn(Shown& s)
{
    if (!OpenOwn(s, GameWindow())) return;
    ContextScope scope(s.own.context);
    DialogInput_Reset();
    DialogUi_AskFieldAnew(s.ui);
}

// Closes the dialog's own window (its dialog no longer holds the keyboard). The keyboard goes
// to the window that holds it now before the window goes, and once the server has carried
// that out, the events it had sent to the closing window are read into SDL's queue while SDL
// still knows the window: they are routed like any other (keys to the holder), none dropped.
void CloseOwn(Shown& s)
{
    if (!s.own.window) return;
    SDL_Window* next = KeyWindow();
    if (next == s.own.window) next = GameWindow();
    FocusWindow(next, s.own.window);
    GR_Sdl_SyncDisplay(s.own.window);
    DialogWindow_Close(s.own);
    s.hidden = false;
}

// The modeless dialog's own window while a modal dialog is drawn in the game window under it:
// hidden (the keyboard, which the modal dialog holds, at the game's window first), then
// shown again over the game's, with the keyboard when it holds it.
void HideModeless()
{
    Shown& m = g_host.modeless;
    if (!g_host.hasModeless || !m.own.window || m.hidden) return;
    FocusWindow(GameWindow());
    SDL_HideWindow(m.own.window);
    m.hidden = true;
}

void UnhideModeless()
{
    Shown& m = g_host.modeless;
    if (!g_host.hasModeless || !m.own.window || !m.hidden) return;
    const bool holds = HoldsFocus();
    GR_Sdl_ShowWindow(m.own.window, GameWindow(), holds && m.ui.hasFocus);
    m.hidden = false;
    if (holds) GR_Sdl_RaiseWindow(m.own.window);
}

// Frames of a dialog in its own window: with input, until the input that waits is taken (the
// last frame drawn) or the dialog has ended; without, one frame drawn. `keys`: the dialog holds
// the keyboard (the modeless dialog is drawn without the focus while a modal one holds it).
void OwnFrames(Shown& s, DialogInputQueue* input, bool keys)
{
    if (s.hidden) return;
    DialogWindowGL gl(s.own);
    ContextScope scope(s.own.context);
    int dw = 1, dh = 1;
    SDL_GL_GetDrawableSize(s.own.window, &dw, &dh);
    ImGuiIO& io = ImGui::GetIO();
    io.DisplaySize = ImVec2(float(dw), float(dh));
    const bool hadFocus = s.ui.hasFocus;
    if (!keys) s.ui.hasFocus = false;
    bool shown = false;
    while (!shown && !Ended(s)) {
        if (input) input->FeedFrame(&s.ui);
        shown = !input || input->Empty();
        io.DeltaTime = shown ? DeltaSeconds(&s.own.lastFrame) : kInputFrameSeconds;
        ImGui_ImplOpenGL2_NewFrame();
        ImGui::NewFrame();
        DialogUi_Draw(s.ui, io.DisplaySize, true);
        if (!shown) {
            ImGui::EndFrame();
            continue;
        }
        DialogWindow_Present(s.own.window, dw, dh);
    }
    s.ui.hasFocus = hadFocus;
}

// =============================================================================================
// [SECTION] Modal and modeless dialogs in the window
// =============================================================================================
bool DialogEnded()
{
    return (!g_host.modal.empty() && Ended(*g_host.modal.back())) || (g_host.hasModeless && Ended(g_host.modeless));
}

// One frame of the dialogs drawn in the game window (the host's context current): the
// modeless dialog (without the focus under a modal one), then the modal ones; drawn over the
// back buffer when shown, else it only takes its input.
void Frame(bool shown)
{
    ImGuiIO& io = ImGui::GetIO();
    const GR_DeviceState& st = GR_D3D_State();
    io.DisplaySize = ImVec2(float(st.backBufferWidth), float(st.backBufferHeight));
    io.DeltaTime = shown ? DeltaSeconds(&g_host.lastFrame) : kInputFrameSeconds;
    DialogRender_NewFrame();
    ImGui::NewFrame();
    if (!g_host.modal.empty())
        ImGui::GetBackgroundDrawList()->AddRectFilled(ImVec2(0, 0), io.DisplaySize, IM_COL32(0, 0, 0, 80));
    if (g_host.hasModeless && !g_host.modeless.own.window) {
        DialogUi& ui = g_host.modeless.ui;
        const bool hadFocus = ui.hasFocus;
        if (!g_host.modal.empty()) ui.hasFocus = false;
        DialogUi_Draw(ui, io.DisplaySize, false);
        ui.hasFocus = hadFocus;
    }
    for (size_t i = 0; i < g_host.modal.size(); ++i) {
        if (g_host.modal[i]->own.window) continue;
        if (i + 1 == g_host.modal.size()) ImGui::SetNextWindowFocus();
        DialogUi_Draw(g_host.modal[i]->ui, io.DisplaySize, false);
    }
    if (!shown) {
        ImGui::EndFrame();
        return;
    }
    ImGui::Render();
    DialogRender_Draw(ImGui::GetDrawData());
}

// An ended modeless dialog is closed, and the input after its answer goes back to SDL's queue.
void FinishModeless()
{
    int32_t result;
    if (!g_host.hasModeless || !g_host.modeless.ui.dialog->Ended(&result)) return;
    IModalDialog* d = g_host.modeless.ui.dialog;
    g_host.hasModeless = false; // the keyboard is no longer its
    CloseOwn(g_host.modeless);
    g_host.modeless.ui.dialog = nullptr;
    if (g_host.modal.empty()) {
        GiveKeyboard();
        g_host.input.ReturnToSdl();
    }
    d->Closed(result);
}

// Frames until the dialogs have taken all the input that waits, or one of them has ended; the
// last (or, after an end, one more without input) is drawn when shown. The input goes to the
// game window's dialogs only when the dialog that takes it is there.
void RunFrames(bool shown)
{
    if (!g_host.attached || (g_host.modal.empty() && !g_host.hasModeless)) return;
    {
        ContextScope scope(g_host.context);
        Shown* target = KeyTarget();
        const bool here = !target->own.window;
        while (here && !g_host.input.Empty() && !DialogEnded()) {
            g_host.input.FeedFrame(&target->ui);
            if (shown && g_host.input.Empty()) break; // the frame drawn takes the last share
            Frame(false);
        }
        if (shown) Frame(true);
    }
    FinishModeless();
}

// The window overlay: the dialogs over the back buffer.
void DrawOverlay() { RunFrames(true); }

} // namespace

void Dialogs_Frame()
{
    if (!g_host.attached || !g_host.hasModeless || !g_host.modal.empty()) return;
    if (!g_host.modeless.own.window && !FitsGameWindow(g_host.modeless.ui)) MoveToOwn(g_host.modeless);
    if (!g_host.modeless.own.window) return;
    OwnFrames(g_host.modeless, &g_host.input, KeyTarget() == &g_host.modeless);
    FinishModeless();
}

namespace {

bool IsKey(const SDL_Event& e)
{
    return e.type == SDL_KEYDOWN || e.type == SDL_KEYUP || e.type == SDL_TEXTINPUT || e.type == SDL_TEXTEDITING;
}

// A click into a window of the runner is the player choosing it: that window gets the keyboard,
// unless a modal dialog holds it (it keeps it, and its window stays on top). The input focus
// moves where the runner or nobody holds it (a window manager that gives the focus to the
// window clicked has done so by now); one that another program's window holds stays there.
void Clicked(SDL_Window* w)
{
    if (!w) return;
    if (!OtherWindowsShown()) {
        // The game's window alone: SDL's record of the keyboard spares the server a question at
        // each click of a game that has it.
        if (SDL_GetKeyboardFocus() != w) FocusWindow(w, nullptr, true);
        return;
    }
    if (!g_host.modal.empty() || DebugFormView_Asking()) {
        GiveKeyboard(true);
        if (!g_host.modal.empty() && g_host.modal.back()->own.window && HoldsFocus())
            GR_Sdl_RaiseWindow(g_host.modal.back()->own.window);
        return;
    }
    DebugFormView_SetKeyboard(w == DebugFormView_Window());
    if (g_host.hasModeless && (g_host.modeless.own.window || w != GameWindow()))
        SetModelessFocus(w == g_host.modeless.own.window); // a click in the game window: inside it or not (Filter)
    FocusWindow(w, nullptr, true);
}

// Whether a click falls inside the dialog where it was drawn last (the game window's pixels
// scaled to the back buffer's).
bool Inside(const DialogUi& ui, const SDL_Event& e, float sx, float sy)
{
    const float x = float(e.button.x) * sx, y = float(e.button.y) * sy;
    return x >= ui.min.x && x < ui.max.x && y >= ui.min.y && y < ui.max.y;
}

// Keys and typed text: the holder's (see the top of this file). True when a dialog or the
// form took it from the game.
bool RouteKey(const SDL_Event& e)
{
    if (!g_host.modal.empty()) {
        g_host.input.Push(e, 1.0f, 1.0f, true);
        return true;
    }
    if (DebugFormView_Asking()) {
        DebugFormView_TakeKey(e);
        return true;
    }
    if (g_host.hasModeless && g_host.modeless.ui.hasFocus) {
        // The game sees every release, so that no key it saw go down (before the dialog came,
        // or while it had the keyboard) stays down for it.
        const bool release = e.type == SDL_KEYUP;
        g_host.input.Push(e, 1.0f, 1.0f, !release);
        return !release;
    }
    if (DebugFormView_HasKeyboard()) {
        DebugFormView_TakeKey(e);
        return true;
    }
    return false;
}

// The pump's filter: the dialogs take their input first.
bool Filter(const SDL_Event& e)
{
    const uint32_t window = DialogInput_Window(e);
    SDL_Window* from = window ? SDL_GetWindowFromID(window) : nullptr;
    // The last events of a dialog's window that has gone (its focus lost, hidden) are nobody's;
    // its keys are the holder's.
    if (window && !from && !IsKey(e)) return e.type == SDL_WINDOWEVENT || DialogInput_IsInput(e);
    if (!g_host.attached) return DebugFormView_Filter(e);
    if (e.type == SDL_MOUSEBUTTONDOWN) Clicked(from);
    if (IsKey(e)) return RouteKey(e);
    if (DebugFormView_Filter(e)) return true; // the debug form's own window
    if (g_host.modal.empty() && !g_host.hasModeless) return false;
    float sx, sy;
    MouseScale(&sx, &sy);
    const bool input = DialogInput_IsInput(e);
    // A dialog's own window: its events are its own; its close is the dialog's Cancel (a dialog
    // without one stays until answered).
    Shown* own = nullptr;
    for (Shown* s : g_host.modal)
        if (s->own.window && from == s->own.window) own = s;
    if (g_host.hasModeless && g_host.modeless.own.window && from == g_host.modeless.own.window) own = &g_host.modeless;
    if (own) {
        if (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_CLOSE) {
            if (own->ui.dialog->CancelId() >= 0) own->ui.dialog->Command(own->ui.dialog->CancelId());
        } else if ((input || DialogInput_IsLeave(e)) && own == KeyTarget()) {
            g_host.input.Push(e, 1.0f, 1.0f, input);
        }
        return true;
    }
    if (!g_host.modal.empty()) {
        // The pointer acts on the modal dialog where it is drawn; a click beside it changes
        // nothing (ImGui would take the keyboard from its field), and the game gets none.
        const Shown& m = *g_host.modal.back();
        if (e.type == SDL_MOUSEBUTTONDOWN && !Inside(m.ui, e, sx, sy)) return true;
        if ((input || DialogInput_IsLeave(e)) && !m.own.window) g_host.input.Push(e, sx, sy, input);
        return input;
    }
    if (g_host.modeless.own.window) return false; // the game's window is the game's
    DialogUi& ui = g_host.modeless.ui;
    switch (e.type) {
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        const bool inside = Inside(ui, e, sx, sy);
        if (e.type == SDL_MOUSEBUTTONDOWN) SetModelessFocus(inside);
        g_host.input.Push(e, sx, sy, inside);
        return inside;
    }
    case SDL_MOUSEMOTION:
    case SDL_MOUSEWHEEL: g_host.input.Push(e, sx, sy, false); return false;
    default:
        if (DialogInput_IsLeave(e)) g_host.input.Push(e, sx, sy, false);
        return false;
    }
}

// A quit (the window's close, a signal, the game's end) ends every dialog's wait as a close of
// the dialog would: its answer for a closed dialog. A run that was playing when the dialog came
// is quitting once it no longer plays; the run's quit ends a dialog of the end events too.
class QuitWatch {
public:
    bool operator()() const
    {
        return GR_Window_Record().quitSeen || QuitRequest_Pending() || Timing_WaitOver(m_wasRunning);
    }

private:
    bool m_wasRunning = g_StartupOptions.running == 1;
};

// The context that the target's input is fed to starts with no key or button held (their
// releases may have gone to the game).
void ResetInput(Shown& s)
{
    ContextScope scope(s.own.window ? s.own.context : g_host.context);
    DialogInput_Reset();
}

int32_t OnScreenHost::RunModal(IModalDialog& dialog)
{
    if (!attached) return RunStandalone(dialog);
    dialog.Init();
    int32_t result = 0;
    const QuitWatch quitting;
    if (quitting()) return dialog.ClosedResult();
    RunFrames(false); // what the modeless dialog took before this one came
    auto* s = new Shown;
    DialogUi_Begin(s->ui, &dialog);
    const bool own = !FitsGameWindow(s->ui) || GameWindowCovered();
    modal.push_back(s); // the keyboard is its
    if (own) OpenOwn(*s, GameWindow());
    if (!s->own.window) { // drawn as the game window allows, on top
        HideModeless();
        GiveKeyboard();
    }
    ResetInput(*s);
    for (;;) {
        Timing_PumpEvents(); // the one drain: the window's events, then the signals
        if (dialog.Ended(&result)) break;
        if (quitting()) {
            result = dialog.ClosedResult();
            break;
        }
        if (!GR_D3D_PresentHeld()) { // no device to draw with: nobody can answer
            result = dialog.DefaultResult();
            break;
        }
        if (!s->own.window && !FitsGameWindow(s->ui)) MoveToOwn(*s); // the window was made smaller
        if (s->own.window) OwnFrames(*s, &input, true);
        if (hasModeless && modeless.own.window) OwnFrames(modeless, nullptr, false);
        if (dialog.Ended(&result)) break;
        SDL_Delay(10);
    }
    modal.pop_back(); // the keyboard goes back to whoever held it before
    CloseOwn(*s);
    delete s;
    if (modal.empty() && hasModeless) {
        UnhideModeless();
        if (modeless.ui.hasFocus) DialogUi_AskFieldAnew(modeless.ui);
        ResetInput(modeless); // the releases of the keys that answered go to the game
    }
    GiveKeyboard();
    input.ReturnToSdl(); // what came after the answer
    return result;
}

void OnScreenHost::ShowModeless(IModalDialog* dialog)
{
    if (!attached) { // no window to show it beside the game: answered at once
        IDialogHost::ShowModeless(dialog);
        return;
    }
    if (hasModeless) CloseModeless(modeless.ui.dialog);
    dialog->Init();
    DialogUi_Begin(modeless.ui, dialog); // with the keyboard
    hasModeless = true;
    if (!FitsGameWindow(modeless.ui)) OpenOwn(modeless, GameWindow());
    GiveKeyboard();
    ResetInput(modeless);
}

void OnScreenHost::CloseModeless(IModalDialog* dialog)
{
    if (!hasModeless || modeless.ui.dialog != dialog) return;
    hasModeless = false;
    CloseOwn(modeless);
    modeless.ui.dialog = nullptr;
    if (modal.empty()) {
        GiveKeyboard();
        input.ReturnToSdl();
    }
}

// =============================================================================================
// [SECTION] A plain window of its own
// =============================================================================================
// The dialog in a plain window of its own, which holds the keyboard it gets, until it is
// answered, closed or a quit comes (the signals are looked at here: before the game window
// no drain runs); *result its answer. False when no such window can be made.
bool RunPlain(IModalDialog& dialog, int32_t* result)
{
    Shown s;
    DialogUi_Begin(s.ui, &dialog);
    if (!OpenOwn(s, nullptr)) return false;
    const QuitWatch quitting;
    DialogInputQueue queue;
    for (;;) {
        SDL_Event e;
        bool closed = false;
        while (SDL_PollEvent(&e)) {
            if (e.type == SDL_QUIT || (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_CLOSE))
                closed = true;
            else if (DialogInput_IsInput(e) || DialogInput_IsLeave(e)) queue.Push(e, 1.0f, 1.0f, true);
        }
        if (closed || quitting()) {
            *result = dialog.ClosedResult();
            break;
        }
        OwnFrames(s, &queue, true);
        if (dialog.Ended(result)) break;
        SDL_Delay(10);
    }
    DialogWindow_Close(s.own);
    // The window's last events (its close, SDL's quit after it) must not reach the game.
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    return true;
}

int32_t OnScreenHost::RunStandalone(IModalDialog& dialog)
{
    dialog.Init();
    int32_t result = 0;
    if (RunPlain(dialog, &result)) return result;
    // ImGui cannot draw: say what the dialog was about in SDL's own box.
    std::string text = std::string(dialog.Caption()) + "\n" + dialog.DisplayText();
    text.resize(String_LineFeeds(text.data()));
    if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, dialog.Caption(), text.c_str(), nullptr) != 0)
        Console_WriteStderr((text + "\n").c_str());
    return dialog.DefaultResult();
}

// =============================================================================================
// [SECTION] Message boxes
// =============================================================================================
// The box is sized with the font that draws it.
DialogTextExtent MeasureText(const char* text, float wrapWidth)
{
    ContextScope scope(HostContext());
    return DialogUi_MeasureText(text, wrapWidth);
}

int OnScreenHost::Show(const char* text, const char* caption, uint32_t flags)
{
    MessageBoxDialog box(text, caption, flags, MeasureText);
    if (attached) return RunModal(box);
    // Before the game window: a plain window of its own; where none can be made, SDL's own box
    // (which waits for its answer whatever comes).
    box.Init();
    int32_t answer = 0;
    if (RunPlain(box, &answer)) return answer;
    const DialogTemplate& t = box.Template();
    SDL_MessageBoxButtonData buttons[3];
    int n = 0;
    for (int32_t i = 0; i < t.count && n < 3; ++i) {
        const DialogControl& c = t.controls[i];
        if (c.kind != DLGC_BUTTON) continue;
        uint32_t f = 0;
        if (c.isDefault) f |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
        if (c.id == box.CancelId()) f |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
        buttons[n++] = {f, c.id, c.text};
    }
    const uint32_t icon = flags & 0xF0;
    const uint32_t kind = icon == MB_ICONERROR_ ? SDL_MESSAGEBOX_ERROR
                          : icon == MB_ICONWARNING_ ? SDL_MESSAGEBOX_WARNING
                                                    : SDL_MESSAGEBOX_INFORMATION;
    const SDL_MessageBoxData data = {kind, nullptr, caption ? caption : "", text ? text : "", n, buttons, nullptr};
    int id = -1;
    if (SDL_ShowMessageBox(&data, &id) == 0 && id >= 0) return id;
    Console_WriteStderr((std::string(caption ? caption : "") + "\n" + (text ? text : "") + "\n").c_str());
    return MessageBox_DefaultAnswer(flags);
}

} // namespace

// =============================================================================================
// [SECTION] Choice of hosts
// =============================================================================================
bool Dialogs_InstallHosts()
{
    if (g_installed) return true;
    if (!GR_Sdl_StartVideo()) return false;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0) return false;
    DialogHost_Set(&g_host);
    MessageBox_SetHost(&g_host);
    g_installed = true;
    return true;
}

void Dialogs_AttachWindow()
{
    if (!g_installed || g_host.attached) return;
    IWindowHost* window = WindowHost_Get();
    if (!window || !window->NativeWindow() || !GR_D3D_State().device) return;
    HostContext();
    GR_Hooks().windowOverlay = DrawOverlay;
    GR_Sdl_SetEventFilter(Filter);
    g_host.attached = true;
}

void Dialogs_Shutdown()
{
    if (!g_installed) return;
    GR_Hooks().windowOverlay = nullptr;
    GR_Sdl_SetEventFilter(nullptr);
    if (g_host.hasModeless) CloseOwn(g_host.modeless);
    g_host.modeless.ui.dialog = nullptr;
    g_host.hasModeless = false;
    g_host.input.Clear();
    if (g_host.context) {
        ImGuiContext* prev = ImGui::GetCurrentContext();
        ImGui::SetCurrentContext(g_host.context);
        DialogRender_FreeFont();
        ImGui::DestroyContext(g_host.context);
        ImGui::SetCurrentContext(prev == g_host.context ? nullptr : prev);
        g_host.context = nullptr;
    }
    g_host.attached = false;
    DialogHost_Set(nullptr);
    MessageBox_SetHost(nullptr);
    g_installed = false;
}
