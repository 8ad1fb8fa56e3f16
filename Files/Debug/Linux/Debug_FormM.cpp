// The debug form's view (Files/Debug/Debug_FormView.h): an SDL window of its own ("Zimbrel
// Debugger") with an OpenGL context of its own, drawn with Dear ImGui and its OpenGL 2 back
// end at most 30 times a second, after the game's frame (or while the game is paused or
// stopped at a break). The game's context is made current again after each drawing.
//
// The form fills the window: menu bar, toolbar, the watch lists (expression and value), the
// status lines and the "Display FPS" check box. The information windows float inside it
// (their places are the rectangles Debug.ini keeps). Lists draw only their visible rows.
// Closing the window closes the form (the game goes on).
//
// [SECTION] Window and input
// [SECTION] Questions
// [SECTION] Drawing
#include "Files/Debug/Debug_FormView.h"

#include <GL/gl.h>
#include <SDL2/SDL.h>
#include <backends/imgui_impl_opengl2.h>
#include <imgui.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "Files/Base/DialogHost.h"
#include "Files/Debug/Debug_Form.h"
#include "Files/Debug/InputQuery.h"
#include "Files/Debug/Linux/Dialog_ImGuiM.h"
#include "Files/Graphics_API/Linux/Graphics_EventsM.h"
#include "Files/Support/CommandLine.h"
#include "Files/Support/Timing.h"

namespace {

constexpr int kWidth = 640, kHeight = 600;
constexpr uint64_t kDrawInterval = 33; // milliseconds

struct View {
    DialogWindow w;             // the window and its contexts
    bool failed = false;
    bool visible = false;
    uint64_t lastDraw = 0, lastFrame = 0;
    DialogInputQueue input;     // the window's input, until frames take it
    DialogUi* asking = nullptr; // the question being asked
    bool hasKeyboard = false;   // the player clicked into the form last
    std::set<int32_t> messageSelection;
    int32_t messageAnchor = -1;
};
View g_view;

// =============================================================================================
// [SECTION] Window and input
// =============================================================================================
bool Ensure()
{
    if (g_view.w.window) return true;
    if (g_view.failed) return false;
    // A view only where dialogs are shown to somebody (a real display).
    if (!DialogHost_Get() || !DialogHost_Get()->OnScreen()) {
        g_view.failed = true;
        return false;
    }
    // Beside the game window (its right, else its left), not over it.
    SDL_Window* game = SDL_GL_GetCurrentWindow();
    int x = SDL_WINDOWPOS_UNDEFINED, y = SDL_WINDOWPOS_UNDEFINED;
    SDL_Rect screen{0, 0, 0, 0};
    if (game && SDL_GetDisplayUsableBounds(SDL_GetWindowDisplayIndex(game), &screen) == 0) {
        int gx, gy, gw, gh;
        SDL_GetWindowPosition(game, &gx, &gy);
        SDL_GetWindowSize(game, &gw, &gh);
        if (gx + gw + 8 + kWidth <= screen.x + screen.w) x = gx + gw + 8;
        else if (gx - 8 - kWidth >= screen.x) x = gx - 8 - kWidth;
        else x = screen.x;
        y = std::max(screen.y, std::min(gy, screen.y + screen.h - kHeight));
    }
    g_view.failed = !DialogWindow_Open(g_view.w, "Zimbrel Debugger", x, y, kWidth, kHeight,
                                       SDL_WINDOW_RESIZABLE | SDL_WINDOW_HIDDEN);
    return !g_view.failed;
}

} // namespace

bool DebugFormView_Filter(const SDL_Event& e)
{
    if (!g_view.w.window || DialogInput_Window(e) != SDL_GetWindowID(g_view.w.window)) return false;
    if (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_CLOSE) {
        if (g_view.asking) g_view.asking->dialog->Command(IDC_CANCEL);
        else DebugForm_Close(); // the form goes, the game goes on
        return true;
    }
    if (DialogInput_IsInput(e) || DialogInput_IsLeave(e)) g_view.input.Push(e, 1.0f, 1.0f, true);
    return true;
}

bool DebugFormView_HasKeyboard() { return g_view.visible && g_view.hasKeyboard; }
void DebugFormView_SetKeyboard(bool held) { g_view.hasKeyboard = held && g_view.visible; }
bool DebugFormView_Asking() { return g_view.asking != nullptr; }
void DebugFormView_TakeKey(const SDL_Event& e) { g_view.input.Push(e, 1.0f, 1.0f, true); }
SDL_Window* DebugFormView_Window() { return g_view.visible ? g_view.w.window : nullptr; }

uint32_t DebugFormView_WindowId() { return g_view.w.window ? SDL_GetWindowID(g_view.w.window) : 0; }

void DebugFormView_Shutdown()
{
    if (!g_view.w.window) return;
    DialogWindow_Close(g_view.w);
    g_view = View();
}

// =============================================================================================
// [SECTION] Drawing
// =============================================================================================
namespace {

const struct {
    const char* text;
    int32_t command;
} kToolbar[] = {{"Run", DEBUGFORM_RUN},           {"Pause", DEBUGFORM_PAUSE},
                {"Step", DEBUGFORM_STEP},         {"Restart", DEBUGFORM_RESTART},
                {"Stop", DEBUGFORM_STOP},         {"Add Watch", DEBUGFORM_ADD_WATCH},
                {"Change Watch", DEBUGFORM_CHANGE_WATCH}, {"Delete Watch", DEBUGFORM_DELETE_WATCH},
                {"Clear Watches", DEBUGFORM_CLEAR_WATCHES}};

void MenuBar(int32_t* command)
{
    if (!ImGui::BeginMenuBar()) return;
    if (ImGui::BeginMenu("Run")) {
        if (ImGui::MenuItem("Run")) *command = DEBUGFORM_RUN;
        if (ImGui::MenuItem("Pause")) *command = DEBUGFORM_PAUSE;
        if (ImGui::MenuItem("Step")) *command = DEBUGFORM_STEP;
        ImGui::Separator();
        if (ImGui::MenuItem("Restart")) *command = DEBUGFORM_RESTART;
        if (ImGui::MenuItem("Stop")) *command = DEBUGFORM_STOP;
        ImGui::EndMenu();
    }
    if (ImGui::BeginMenu("Watch")) {
        if (ImGui::MenuItem("Add")) *command = DEBUGFORM_ADD_WATCH;
        if (ImGui::MenuItem("Change")) *command = DEBUGFORM_CHANGE_WATCH;
        if (ImGui::MenuItem("Delete")) *command = DEBUGFORM_DELETE_WATCH;
        if (ImGui::MenuItem("Clear")) *command = DEBUGFORM_CLEAR_WATCHES;
        ImGui::EndMenu();
    }
    if (ImGui::BeginMenu("Tools")) {
        if (ImGui::MenuItem("Show Global Variables")) *command = DEBUGFORM_SHOW_GLOBALS;
        if (ImGui::MenuItem("Show Instance Variables")) *command = DEBUGFORM_SHOW_LOCALS;
        if (ImGui::MenuItem("Show Instances")) *command = DEBUGFORM_SHOW_INSTANCES;
        if (ImGui::MenuItem("Show Messages")) *command = DEBUGFORM_SHOW_MESSAGES;
        ImGui::EndMenu();
    }
    ImGui::EndMenuBar();
}

// A table of rows with one selection; only the visible rows are drawn. Returns the row
// double-clicked, or -1.
int32_t Rows(const char* id, int32_t columns, const char* const* headings, int32_t count,
             const std::string& (*cell)(int32_t row, int32_t column), int32_t* selected, ImVec2 size)
{
    int32_t doubled = -1;
    if (!ImGui::BeginTable(id, columns, ImGuiTableFlags_Borders | ImGuiTableFlags_RowBg | ImGuiTableFlags_ScrollY |
                                            ImGuiTableFlags_Resizable, size))
        return -1;
    ImGui::TableSetupScrollFreeze(0, 1);
    for (int32_t c = 0; c < columns; ++c) ImGui::TableSetupColumn(headings[c]);
    ImGui::TableHeadersRow();
    ImGuiListClipper clipper;
    clipper.Begin(count);
    while (clipper.Step()) {
        for (int32_t r = clipper.DisplayStart; r < clipper.DisplayEnd; ++r) {
            ImGui::TableNextRow();
            ImGui::PushID(r);
            for (int32_t c = 0; c < columns; ++c) {
                ImGui::TableSetColumnIndex(c);
                if (c == 0) {
                    if (ImGui::Selectable(cell(r, 0).c_str(), *selected == r,
                                          ImGuiSelectableFlags_SpanAllColumns | ImGuiSelectableFlags_AllowDoubleClick)) {
                        *selected = r;
                        if (ImGui::IsMouseDoubleClicked(ImGuiMouseButton_Left)) doubled = r;
                    }
                } else {
                    ImGui::TextUnformatted(cell(r, c).c_str());
                }
            }
            ImGui::PopID();
        }
    }
    ImGui::EndTable();
    return doubled;
}

int32_t g_window = 0; // the window whose rows the cell function reads

const std::string& WatchCell(int32_t row, int32_t column)
{
    const DebugWatchRow& r = DebugForm_WatchRows()[size_t(row)];
    return column == 0 ? r.expression : r.value;
}

const std::string& WindowCell(int32_t row, int32_t column)
{
    return DebugForm_Window(g_window).rows[size_t(row)].column[column];
}

void Form(ImVec2 display, int32_t* command)
{
    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(display);
    ImGui::Begin("Zimbrel Debugger", nullptr,
                 ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_MenuBar |
                     ImGuiWindowFlags_NoBringToFrontOnFocus | ImGuiWindowFlags_NoSavedSettings |
                     ImGuiWindowFlags_NoCollapse);
    MenuBar(command);
    for (size_t i = 0; i < sizeof kToolbar / sizeof kToolbar[0]; ++i) {
        if (i > 0 && i != 5) ImGui::SameLine();
        if (ImGui::Button(kToolbar[i].text)) *command = kToolbar[i].command;
    }
    const DebugFormStatus& s = DebugForm_Status();
    const float statusHeight = ImGui::GetTextLineHeightWithSpacing() * 4.0f + ImGui::GetFrameHeightWithSpacing();
    const float listHeight = std::max(60.0f, ImGui::GetContentRegionAvail().y - statusHeight);
    static const char* const kHeadings[] = {"Expression", "Value"};
    int32_t selected = DebugForm_SelectedWatch();
    const int32_t before = selected;
    Rows("##watches", 2, kHeadings, int32_t(DebugForm_WatchRows().size()), WatchCell, &selected, ImVec2(-1, listHeight));
    // Over the watch lists the wheel moves the selection, and Delete removes the selected watch.
    if (ImGui::IsItemHovered() && ImGui::GetIO().MouseWheel != 0.0f)
        selected = std::max(0, selected + (ImGui::GetIO().MouseWheel > 0 ? 1 : -1));
    if (selected != before) DebugForm_SelectWatch(selected);
    if (ImGui::IsWindowFocused(ImGuiFocusedFlags_RootAndChildWindows) && DialogInput_KeyPressed(ImGuiKey_Delete))
        *command = DEBUGFORM_DELETE_WATCH;
    ImGui::TextUnformatted(s.roomSpeed.c_str());
    ImGui::SameLine(220);
    ImGui::TextUnformatted(s.fps.c_str());
    ImGui::TextUnformatted(s.mouse.c_str());
    ImGui::SameLine(220);
    ImGui::TextUnformatted(s.instances.c_str());
    ImGui::TextUnformatted(s.textureSwaps.c_str());
    ImGui::SameLine(220);
    ImGui::TextUnformatted(s.vertexBatches.c_str());
    bool fps = DebugForm_FpsVisible();
    if (ImGui::Checkbox("Display FPS", &fps)) DebugForm_SetFpsVisible(fps);
    ImGui::End();
}

void Messages(DebugInfoWindow& w)
{
    const int32_t n = DebugForm_MessageCount();
    ImGuiListClipper clipper;
    clipper.Begin(n);
    while (clipper.Step()) {
        for (int32_t r = clipper.DisplayStart; r < clipper.DisplayEnd; ++r) {
            ImGui::PushID(r);
            const bool on = g_view.messageSelection.count(r) != 0;
            if (ImGui::Selectable(DebugForm_Message(r).c_str(), on)) {
                const ImGuiIO& io = ImGui::GetIO();
                if (io.KeyShift && g_view.messageAnchor >= 0) {
                    for (int32_t k = std::min(r, g_view.messageAnchor); k <= std::max(r, g_view.messageAnchor); ++k)
                        g_view.messageSelection.insert(k);
                } else if (io.KeyCtrl) {
                    if (on) g_view.messageSelection.erase(r);
                    else g_view.messageSelection.insert(r);
                    g_view.messageAnchor = r;
                } else {
                    g_view.messageSelection = {r};
                    g_view.messageAnchor = r;
                }
            }
            ImGui::PopID();
        }
    }
    (void)w;
    if (ImGui::IsWindowFocused(ImGuiFocusedFlags_RootAndChildWindows) && ImGui::GetIO().KeyCtrl &&
        DialogInput_KeyPressed(ImGuiKey_C)) {
        const std::vector<int32_t> rows(g_view.messageSelection.begin(), g_view.messageSelection.end());
        SDL_SetClipboardText(DebugForm_CopyMessages(rows).c_str());
    }
}

void InfoWindow(int32_t index)
{
    DebugInfoWindow& w = DebugForm_Window(index);
    if (!w.shown) return;
    if (w.rect[2] - w.rect[0] >= 1) {
        ImGui::SetNextWindowPos(ImVec2(float(w.rect[0]), float(w.rect[1])), ImGuiCond_Appearing);
        ImGui::SetNextWindowSize(ImVec2(float(w.rect[2] - w.rect[0]), float(w.rect[3] - w.rect[1])), ImGuiCond_Appearing);
    } else {
        int32_t x, y;
        DebugForm_PlaceWindow(index, 0, 0, &x, &y);
        ImGui::SetNextWindowPos(ImVec2(float(x), float(y)), ImGuiCond_Appearing);
        ImGui::SetNextWindowSize(ImVec2(420, 220), ImGuiCond_Appearing);
    }
    bool open = true;
    const std::string label = w.title + "###" + w.section;
    ImGui::Begin(label.c_str(), &open, ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoCollapse);
    g_window = index;
    if (index == DEBUGWIN_MESSAGES) {
        Messages(w);
    } else {
        static const char* const kTwo[] = {"Name", "Value"};
        static const char* const kThree[] = {"ID", "Object Name", "Sprite Name"};
        const bool instances = index == DEBUGWIN_INSTANCES;
        const int32_t doubled = Rows("##rows", instances ? 3 : 2, instances ? kThree : kTwo, int32_t(w.rows.size()),
                                     WindowCell, &w.selected, ImVec2(-1, -1));
        if (doubled >= 0) DebugForm_DoubleClick(index, doubled);
    }
    const ImVec2 pos = ImGui::GetWindowPos(), size = ImGui::GetWindowSize();
    ImGui::End();
    DebugInfoWindow& after = DebugForm_Window(index); // the double-click may have refreshed it
    after.rect[0] = int32_t(pos.x);
    after.rect[1] = int32_t(pos.y);
    after.rect[2] = int32_t(pos.x + size.x);
    after.rect[3] = int32_t(pos.y + size.y);
    if (!open) DebugForm_ShowInfoWindow(index, false);
}

// The form and its windows, and the question over them, in one ImGui frame; the command its
// author gave (0: none).
int32_t FormFrame(ImVec2 display)
{
    int32_t command = 0;
    Form(display, &command);
    for (int32_t i = 0; i < DEBUGWIN_COUNT && DebugForm_Exists(); ++i) InfoWindow(i);
    if (g_view.asking) {
        ImGui::GetForegroundDrawList()->AddRectFilled(ImVec2(0, 0), display, IM_COL32(0, 0, 0, 80));
        ImGui::SetNextWindowFocus();
        DialogUi_Draw(*g_view.asking, display, false);
        command = 0; // the form waits for the answer
    }
    return command;
}

// Frames until the window's input is taken, the last one drawn; stops early after a frame that
// gave a command or ended the question (the rest of the input waits for the next drawing).
// The command its author gave (0: none).
int32_t DrawOnce()
{
    g_view.lastDraw = SDL_GetTicks64();
    DialogWindowGL gl(g_view.w);
    ContextScope scope(g_view.w.context);
    int dw = kWidth, dh = kHeight;
    SDL_GL_GetDrawableSize(g_view.w.window, &dw, &dh);
    ImGuiIO& io = ImGui::GetIO();
    io.DisplaySize = ImVec2(float(dw), float(dh));
    for (;;) {
        g_view.input.FeedFrame(g_view.asking);
        const bool shown = g_view.input.Empty();
        const uint64_t now = SDL_GetTicks64();
        io.DeltaTime = !shown ? kInputFrameSeconds
                       : g_view.lastFrame && now > g_view.lastFrame ? float(now - g_view.lastFrame) / 1000.0f
                                                                    : 1.0f / 30.0f;
        if (shown) g_view.lastFrame = now;
        ImGui_ImplOpenGL2_NewFrame();
        ImGui::NewFrame();
        const int32_t command = FormFrame(io.DisplaySize);
        if (!shown) {
            ImGui::EndFrame();
            int32_t result;
            if (command || (g_view.asking && g_view.asking->dialog->Ended(&result))) return command;
            continue;
        }
        DialogWindow_Present(g_view.w.window, dw, dh);
        return command;
    }
}

void Draw()
{
    if (!g_view.w.window) return;
    // Commands run once the game's context is current again: they may step the game.
    if (const int32_t command = DrawOnce()) DebugForm_Command(command);
}

// =============================================================================================
// [SECTION] Questions
// =============================================================================================
// Asked inside the form's window; the game's frames wait meanwhile (as for any modal dialog).
bool Ask(const char* caption, const char* prompt, const char* def, std::string* answer)
{
    if (!g_view.w.window || g_view.asking) return Dialog_InputQuery(caption, prompt, def, answer);
    QueryDialog d(DIALOG_INPUT, caption, prompt, def);
    d.Init();
    DialogUi ui;
    DialogUi_Begin(ui, &d);
    g_view.asking = &ui;
    const bool wasRunning = g_StartupOptions.running == 1;
    int32_t result = 0;
    for (;;) {
        Timing_PumpEvents();
        if (d.Ended(&result)) break;
        if (Timing_WaitOver(wasRunning) || !DebugForm_Exists()) {
            result = 0;
            break;
        }
        Draw();
        if (d.Ended(&result)) break;
        SDL_Delay(10);
    }
    g_view.asking = nullptr;
    if (result != 1) return false;
    *answer = d.ControlText(IDC_ANSWER);
    return true;
}

} // namespace

void DebugFormView_Frame()
{
    const bool wanted = DebugForm_Exists() && DebugForm_Shown();
    if (!wanted) {
        if (g_view.w.window && g_view.visible) {
            // The keyboard it held goes back to the game's window before the form's goes
            // (the input focus of a hidden window would be nobody's, and its keys lost), when
            // the player's keys come to the runner.
            SDL_Window* game = SDL_GL_GetCurrentWindow();
            SDL_Window* both[] = {game, g_view.w.window};
            if (g_view.hasKeyboard && game && game != g_view.w.window && GR_Sdl_HoldsFocus(both, 2))
                GR_Sdl_FocusWindow(game);
            SDL_HideWindow(g_view.w.window);
        }
        g_view.visible = false;
        g_view.hasKeyboard = false;
        return;
    }
    if (!Ensure()) return;
    DebugForm_SetAsk(Ask);
    if (!g_view.visible) {
        // The game keeps the keyboard: the form is shown beside it without the focus.
        GR_Sdl_ShowWindow(g_view.w.window, nullptr, false);
        g_view.visible = true;
        g_view.lastDraw = 0;
    }
    if (SDL_GetTicks64() - g_view.lastDraw < kDrawInterval) return;
    Draw();
}
