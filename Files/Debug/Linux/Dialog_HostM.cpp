// The on-screen dialog host and the choice of hosts (Files/Debug/Dialog_Host.h): modal
// dialogs in a loop of their own over the last game frame, the modeless dialog over every
// frame, message boxes in the window or SDL's own before it exists, and a plain window of its
// own for a dialog shown before the game window (the open-file dialog when no game is given).
//
// Input: the window's event pump hands every SDL event to Filter first. While a modal dialog
// is up it takes every key, character and mouse event; window events (move, resize, focus,
// close) still reach the window procedure, and a close ends the dialog with its answer for a
// closed dialog (the game then ends as the close asks). A modeless dialog takes the keys while
// it has the focus (from when it is shown until a click outside it) and the clicks inside it.
// What the dialogs take waits in one queue, in the order it came, until the overlay's frames
// take it (each key, text and click in a frame of its own, DialogInputQueue); once a dialog
// has ended, the input after its answer goes back to SDL's queue and is routed afresh.
//
// Needs SDL2, Dear ImGui (and its OpenGL 2 back end for the plain window), the window host,
// the device's held present and window overlay, the dialogs' logic.
//
// [SECTION] The host
// [SECTION] Modal and modeless dialogs in the window
// [SECTION] A plain window of its own
// [SECTION] Message boxes
// [SECTION] Choice of hosts
#include "Files/Debug/Dialog_Host.h"

#include <GL/gl.h>
#include <SDL2/SDL.h>
#include <backends/imgui_impl_opengl2.h>
#include <imgui.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "Files/Base/Console.h"
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

void DialogWindow_Present(SDL_Window* window, int width, int height)
{
    ImGui::Render();
    glViewport(0, 0, width, height);
    glClearColor(0.06f, 0.06f, 0.06f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
    SDL_GL_SwapWindow(window);
}

// =============================================================================================
// [SECTION] The host
// =============================================================================================
namespace {

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
    std::vector<DialogUi*> modal;     // innermost last
    DialogUi modeless;
    bool hasModeless = false;
    DialogInputQueue input;           // what the dialogs took and no frame has yet
    uint64_t lastFrame = 0;           // milliseconds, of the last frame drawn

private:
    int32_t RunStandalone(IModalDialog& dialog);
};

OnScreenHost g_host;
bool g_installed = false;

void ReleaseUi(DialogUi& ui)
{
    ui.dialog = nullptr;
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

// =============================================================================================
// [SECTION] Modal and modeless dialogs in the window
// =============================================================================================
// The dialog whose keys the next frame's input is: the innermost modal one, else the modeless.
DialogUi* KeyTarget()
{
    if (!g_host.modal.empty()) return g_host.modal.back();
    return g_host.hasModeless ? &g_host.modeless : nullptr;
}

bool DialogEnded()
{
    int32_t result;
    return (!g_host.modal.empty() && g_host.modal.back()->dialog->Ended(&result)) ||
           (g_host.hasModeless && g_host.modeless.dialog->Ended(&result));
}

// One frame of the dialogs (the host's context current): the modeless dialog, then the modal
// ones; drawn over the back buffer when shown, else it only takes its input.
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
    if (g_host.hasModeless) {
        if (!g_host.modal.empty()) g_host.modeless.hasFocus = false;
        DialogUi_Draw(g_host.modeless, io.DisplaySize, false);
    }
    for (size_t i = 0; i < g_host.modal.size(); ++i) {
        if (i + 1 == g_host.modal.size()) ImGui::SetNextWindowFocus();
        DialogUi_Draw(*g_host.modal[i], io.DisplaySize, false);
    }
    if (!shown) {
        ImGui::EndFrame();
        return;
    }
    ImGui::Render();
    DialogRender_Draw(ImGui::GetDrawData());
}

// Frames until the dialogs have taken all the input that waits, or one of them has ended; the
// last (or, after an end, one more without input) is drawn when shown. An ended modeless
// dialog is then closed, and the input after its answer goes back to SDL's queue.
void RunFrames(bool shown)
{
    if (!g_host.attached || (g_host.modal.empty() && !g_host.hasModeless)) return;
    ContextScope scope(g_host.context);
    while (!g_host.input.Empty() && !DialogEnded()) {
        g_host.input.FeedFrame(KeyTarget());
        if (shown && g_host.input.Empty()) break; // the frame drawn takes the last share
        Frame(false);
    }
    if (shown) Frame(true);
    int32_t result;
    if (g_host.hasModeless && g_host.modeless.dialog->Ended(&result)) {
        IModalDialog* d = g_host.modeless.dialog;
        ReleaseUi(g_host.modeless);
        g_host.hasModeless = false;
        if (g_host.modal.empty()) g_host.input.ReturnToSdl();
        d->Closed(result);
    }
}

// The window overlay: the dialogs over the back buffer.
void DrawOverlay() { RunFrames(true); }

// The pump's filter: the dialogs take their input first.
bool Filter(const SDL_Event& e)
{
    if (DebugFormView_Filter(e)) return true; // the debug form's own window
    if (!g_host.attached || (g_host.modal.empty() && !g_host.hasModeless)) return false;
    float sx, sy;
    MouseScale(&sx, &sy);
    const bool input = DialogInput_IsInput(e);
    if (!g_host.modal.empty()) {
        if (input || DialogInput_IsLeave(e)) g_host.input.Push(e, sx, sy, input);
        return input;
    }
    DialogUi& ui = g_host.modeless;
    switch (e.type) {
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        const float x = float(e.button.x) * sx, y = float(e.button.y) * sy;
        const bool inside = x >= ui.min.x && x < ui.max.x && y >= ui.min.y && y < ui.max.y;
        if (e.type == SDL_MOUSEBUTTONDOWN) ui.hasFocus = inside;
        g_host.input.Push(e, sx, sy, inside);
        return inside;
    }
    case SDL_MOUSEMOTION:
    case SDL_MOUSEWHEEL: g_host.input.Push(e, sx, sy, false); return false;
    case SDL_KEYUP:
        // The game sees every release, so that no key it saw go down stays down for it.
        if (ui.hasFocus) g_host.input.Push(e, sx, sy, false);
        return false;
    case SDL_KEYDOWN:
    case SDL_TEXTINPUT:
    case SDL_TEXTEDITING:
        if (!ui.hasFocus) return false;
        g_host.input.Push(e, sx, sy, true);
        return true;
    default:
        if (DialogInput_IsLeave(e)) g_host.input.Push(e, sx, sy, false);
        return false;
    }
}

int32_t OnScreenHost::RunModal(IModalDialog& dialog)
{
    if (!attached) return RunStandalone(dialog);
    dialog.Init();
    int32_t result = 0;
    // A quit (the window's close, a signal) ends the dialog as a close of the dialog would.
    const bool wasRunning = g_StartupOptions.running == 1;
    auto quitting = [&] {
        return GR_Window_Record().quitSeen || Main_ExitRequested() || (wasRunning && g_StartupOptions.running != 1);
    };
    if (quitting()) return dialog.ClosedResult();
    RunFrames(false); // what the modeless dialog took before this one came
    auto* ui = new DialogUi;
    DialogUi_Begin(*ui, &dialog);
    modal.push_back(ui);
    {
        ContextScope scope(context);
        DialogInput_Reset();
    }
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
        if (dialog.Ended(&result)) break;
        SDL_Delay(10);
    }
    modal.pop_back();
    ReleaseUi(*ui);
    delete ui;
    input.ReturnToSdl(); // what came after the answer
    if (hasModeless && modal.empty()) {
        modeless.hasFocus = false;
        ContextScope scope(context);
        DialogInput_Reset(); // the releases of the keys that answered go to the game
    }
    return result;
}

void OnScreenHost::ShowModeless(IModalDialog* dialog)
{
    if (!attached) { // no window to show it beside the game: answered at once
        IDialogHost::ShowModeless(dialog);
        return;
    }
    if (hasModeless) CloseModeless(modeless.dialog);
    dialog->Init();
    DialogUi_Begin(modeless, dialog);
    hasModeless = true;
    ContextScope scope(context);
    DialogInput_Reset();
}

void OnScreenHost::CloseModeless(IModalDialog* dialog)
{
    if (!hasModeless || modeless.dialog != dialog) return;
    ReleaseUi(modeless);
    hasModeless = false;
    if (modal.empty()) input.ReturnToSdl();
}

// =============================================================================================
// [SECTION] A plain window of its own
// =============================================================================================
int32_t OnScreenHost::RunStandalone(IModalDialog& dialog)
{
    dialog.Init();
    const DialogTemplate& t = dialog.Template();
    const int w = int(t.width * 1.5f), h = int(t.height * 1.625f);
    SDL_Window* window = SDL_CreateWindow(dialog.Caption(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, w, h,
                                          SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
    SDL_GLContext gl = window ? SDL_GL_CreateContext(window) : nullptr;
    if (!gl) {
        // ImGui cannot draw: say what the dialog was about in SDL's own box.
        if (window) SDL_DestroyWindow(window);
        std::string text = std::string(dialog.Caption()) + "\n" + dialog.DisplayText();
        if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, dialog.Caption(), text.c_str(), nullptr) != 0)
            Console_WriteStderr((text + "\n").c_str());
        return dialog.DefaultResult();
    }
    SDL_GL_MakeCurrent(window, gl);
    ImGuiContext* context = ImGui::CreateContext();
    int32_t result = 0;
    {
        ContextScope scope(context);
        DialogInput_Setup();
        ImGui_ImplOpenGL2_Init();
        DialogUi ui;
        DialogUi_Begin(ui, &dialog);
        DialogInputQueue input;
        uint64_t last = 0;
        for (;;) {
            SDL_Event e;
            bool closed = false;
            while (SDL_PollEvent(&e)) {
                if (e.type == SDL_QUIT || (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_CLOSE))
                    closed = true;
                else if (DialogInput_IsInput(e) || DialogInput_IsLeave(e)) input.Push(e, 1.0f, 1.0f, true);
            }
            if (closed) {
                result = dialog.ClosedResult();
                break;
            }
            // Frames until the input is taken (the last one drawn) or the dialog has ended.
            bool shown = false;
            while (!shown && !dialog.Ended(&result)) {
                input.FeedFrame(&ui);
                shown = input.Empty();
                int dw = w, dh = h;
                SDL_GL_GetDrawableSize(window, &dw, &dh);
                ImGuiIO& io = ImGui::GetIO();
                io.DisplaySize = ImVec2(float(dw), float(dh));
                io.DeltaTime = shown ? DeltaSeconds(&last) : kInputFrameSeconds;
                ImGui_ImplOpenGL2_NewFrame();
                ImGui::NewFrame();
                DialogUi_Draw(ui, io.DisplaySize, true);
                if (!shown) {
                    ImGui::EndFrame();
                    continue;
                }
                DialogWindow_Present(window, dw, dh);
            }
            if (dialog.Ended(&result)) break;
            SDL_Delay(10);
        }
        ImGui_ImplOpenGL2_Shutdown();
    }
    ImGui::DestroyContext(context);
    SDL_GL_MakeCurrent(window, nullptr);
    SDL_GL_DeleteContext(gl);
    SDL_DestroyWindow(window);
    // The window's last events (its close, SDL's quit after it) must not reach the game.
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    return result;
}

// =============================================================================================
// [SECTION] Message boxes
// =============================================================================================
int OnScreenHost::Show(const char* text, const char* caption, uint32_t flags)
{
    MessageBoxDialog box(text, caption, flags);
    if (attached) return RunModal(box);
    // Before the game window: SDL's own box.
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
    IMGUI_CHECKVERSION();
    if (!g_host.context) {
        ImGuiContext* prev = ImGui::GetCurrentContext();
        g_host.context = ImGui::CreateContext();
        ImGui::SetCurrentContext(g_host.context);
        DialogInput_Setup();
        // The game window's drawer reads each command's vertex offset: a dialog whose texts
        // need more than 65,536 vertices is drawn in parts rather than refused.
        ImGui::GetIO().BackendFlags |= ImGuiBackendFlags_RendererHasVtxOffset;
        ImGui::SetCurrentContext(prev);
    }
    GR_Hooks().windowOverlay = DrawOverlay;
    GR_Sdl_SetEventFilter(Filter);
    g_host.attached = true;
}

void Dialogs_Shutdown()
{
    if (!g_installed) return;
    GR_Hooks().windowOverlay = nullptr;
    GR_Sdl_SetEventFilter(nullptr);
    if (g_host.hasModeless) ReleaseUi(g_host.modeless);
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
