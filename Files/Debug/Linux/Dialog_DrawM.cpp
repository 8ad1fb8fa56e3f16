// The drawing side of the on-screen dialog host (Dialog_ImGuiM.h): a dialog template laid out
// with Dear ImGui (dialog units scaled to ImGui's 13-pixel font, whose glyphs keep their
// pixels), its keyboard focus and keys, the input fed to ImGui from SDL events, the windows of
// the dialogs' own, and ImGui's triangles drawn through the runner's vertex batch.
//
// Keyboard: Tab and Shift+Tab move the focus over the edit fields and buttons in template
// order, Left and Right over the buttons; Space or Enter presses the focused button; Enter in
// an edit field presses the default button (the first visible one of default-button style);
// Escape sends the dialog's cancel command, when it has one.
//
// [SECTION] Focus and keys
// [SECTION] Layout
// [SECTION] Input
// [SECTION] Windows of their own
// [SECTION] Rendering through the vertex batch
#include "Files/Debug/Linux/Dialog_ImGuiM.h"

#include <GL/gl.h>
#include <backends/imgui_impl_opengl2.h>
#include <imgui_internal.h>
#include <imgui_stdlib.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <vector>

#include "Files/Base/Utf8.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_Device.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Files/Graphics_API/Linux/Graphics_EventsM.h"

namespace {

// Pixels per dialog unit with ImGui's 13-pixel font (the resources' font is about 6 x 13
// pixels: 4 horizontal and 8 vertical units to its average character).
constexpr float kUnitX = 1.5f, kUnitY = 1.625f;
const ImVec4 kFocusRing(1.0f, 1.0f, 1.0f, 0.9f);

// ImGui breaks lines at "\n" only.
std::string Lines(const char* text)
{
    std::string out = text ? text : "";
    out.resize(String_LineFeeds(out.data()));
    return out;
}

bool IsEdit(const DialogControl& c) { return c.kind == DLGC_EDIT || c.kind == DLGC_PASSWORD; }

bool Focusable(IModalDialog* d, const DialogControl& c, bool buttonsOnly)
{
    if (!d->ControlVisible(c.id)) return false;
    return c.kind == DLGC_BUTTON || (!buttonsOnly && IsEdit(c));
}

int32_t DefaultButton(IModalDialog* d)
{
    const DialogTemplate& t = d->Template();
    for (int32_t i = 0; i < t.count; ++i)
        if (t.controls[i].kind == DLGC_BUTTON && t.controls[i].isDefault && d->ControlVisible(t.controls[i].id))
            return t.controls[i].id;
    return -1;
}

const DialogControl* Focused(const DialogUi& ui) { return DialogTemplate_Find(ui.dialog->Template(), ui.focus); }

} // namespace

// =============================================================================================
// [SECTION] Focus and keys
// =============================================================================================
void DialogUi_Begin(DialogUi& ui, IModalDialog* dialog)
{
    static uint32_t shown = 0;
    ui.dialog = dialog;
    ui.serial = ++shown;
    ui.focus = -1;
    ui.focusMoved = true;
    ui.fieldActive = false;
    ui.keepCaret = false;
    ui.caretField = -1;
    ui.heldFrames = 0;
    ui.fitDisplay = ImVec2(0, 0); // laid out afresh: the same place may show a dialog of another size
    ui.hasFocus = true;
    ui.keys.Clear();
    ui.listSelection = -1;
    const DialogTemplate& t = dialog->Template();
    for (int32_t i = 0; i < t.count && ui.focus < 0; ++i)
        if (IsEdit(t.controls[i]) && dialog->ControlVisible(t.controls[i].id)) ui.focus = t.controls[i].id;
    if (ui.focus < 0) ui.focus = DefaultButton(dialog);
    for (int32_t i = 0; i < t.count && ui.focus < 0; ++i)
        if (Focusable(dialog, t.controls[i], true)) ui.focus = t.controls[i].id;
}

void DialogUi_AskFieldAnew(DialogUi& ui)
{
    ui.focusMoved = true;
    ui.keepCaret = true;
    ui.fieldActive = false;
    ui.heldFrames = 0;
}

bool DialogUi_HoldsInput(DialogUi& ui)
{
    constexpr int32_t kMostHeld = 8; // ImGui takes two
    if (!ui.dialog || !ui.hasFocus || ui.fieldActive) return false;
    const DialogControl* f = Focused(ui);
    if (!f || !IsEdit(*f) || ui.heldFrames >= kMostHeld) return false;
    ++ui.heldFrames;
    return true;
}

bool DialogUi_Key(DialogUi& ui, const SDL_Event& e)
{
    if (e.type != SDL_KEYDOWN || !ui.dialog) return false;
    const DialogControl* f = Focused(ui);
    const bool onButton = f && f->kind == DLGC_BUTTON;
    switch (e.key.keysym.sym) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER: ui.keys.enter = true; return true;
    case SDLK_ESCAPE: ui.keys.escape = true; return true;
    case SDLK_TAB:
        if (e.key.keysym.mod & KMOD_SHIFT) ui.keys.backTab = true; // as it was when the key went down
        else ui.keys.tab = true;
        return true;
    case SDLK_SPACE:
        if (!onButton) return false; // typed into a field
        ui.keys.space = true;
        return true;
    case SDLK_LEFT:
    case SDLK_RIGHT:
        if (!onButton) return false; // moves a field's caret
        (e.key.keysym.sym == SDLK_LEFT ? ui.keys.left : ui.keys.right) = true;
        return true;
    default: return false;
    }
}

namespace {

void MoveFocus(DialogUi& ui, int32_t step, bool buttonsOnly)
{
    IModalDialog* d = ui.dialog;
    const DialogTemplate& t = d->Template();
    int32_t at = -1;
    for (int32_t i = 0; i < t.count; ++i)
        if (t.controls[i].id == ui.focus) at = i;
    const int32_t start = at >= 0 ? at : step > 0 ? t.count - 1 : 0;
    for (int32_t n = 1; n <= t.count; ++n) {
        const int32_t i = ((start + step * n) % t.count + t.count) % t.count;
        if (Focusable(d, t.controls[i], buttonsOnly)) {
            const bool leavingEdit = Focused(ui) && IsEdit(*Focused(ui));
            ui.focus = t.controls[i].id;
            ui.focusMoved = true;
            ui.fieldActive = false;
            ui.keepCaret = false; // a field tabbed into has its text selected
            ui.heldFrames = 0;
            if (leavingEdit) ImGui::ClearActiveID(); // the field stops taking the keys
            return;
        }
    }
}

// The focused field's caret and selection, kept every frame it is active, and given back once
// when it is asked for again (DialogUi::keepCaret), unless a click put the caret.
struct CaretOf {
    DialogUi* ui;
    int32_t field;
};
int KeepCaret(ImGuiInputTextCallbackData* data)
{
    const CaretOf& of = *static_cast<const CaretOf*>(data->UserData);
    DialogUi& ui = *of.ui;
    if (data->EventFlag != ImGuiInputTextFlags_CallbackAlways || ui.focus != of.field) return 0;
    if (ui.keepCaret && ui.caretField == of.field && !ImGui::GetIO().MouseClicked[0]) {
        data->CursorPos = std::min(ui.caret, data->BufTextLen);
        data->SelectionStart = std::min(ui.selectionStart, data->BufTextLen);
        data->SelectionEnd = std::min(ui.selectionEnd, data->BufTextLen);
    }
    ui.keepCaret = false;
    ui.caretField = of.field;
    ui.caret = data->CursorPos;
    ui.selectionStart = data->SelectionStart;
    ui.selectionEnd = data->SelectionEnd;
    return 0;
}

// The file browser: the folder with an Up button, its entries, the filter list. True when a
// file was double-clicked (the dialog's OK).
bool DrawBrowser(DialogUi& ui, IDialogBrowser* b, ImVec2 size)
{
    if (!b) return false;
    const float line = ImGui::GetFrameHeight();
    const ImVec2 start = ImGui::GetCursorPos();
    bool accept = false;
    if (ImGui::Button("Up", ImVec2(line * 2.0f, line))) {
        b->Up();
        ui.listSelection = -1;
    }
    ImGui::SameLine();
    ImGui::AlignTextToFramePadding();
    ImGui::TextUnformatted(b->Folder());
    ImGui::SetCursorPos(ImVec2(start.x, start.y + line + 4.0f));
    ImGui::BeginChild("##entries", ImVec2(size.x, std::max(line, size.y - 2.0f * line - 8.0f)), true);
    for (int32_t i = 0; i < b->EntryCount(); ++i) {
        const DialogFileEntry e = b->Entry(i);
        std::string label = e.folder ? std::string(e.name) + "/" : std::string(e.name);
        if (ImGui::Selectable(label.c_str(), ui.listSelection == i, ImGuiSelectableFlags_AllowDoubleClick)) {
            const bool twice = ImGui::IsMouseDoubleClicked(ImGuiMouseButton_Left);
            ui.listSelection = i;
            if (!e.folder) {
                b->Choose(i);
                accept = twice;
            } else if (twice) {
                b->Choose(i); // the entries change: stop here
                ui.listSelection = -1;
                break;
            }
        }
    }
    ImGui::EndChild();
    ImGui::SetCursorPos(ImVec2(start.x, start.y + size.y - line));
    ImGui::SetNextItemWidth(size.x);
    if (ImGui::BeginCombo("##filter", b->FilterName(b->Filter()))) {
        for (int32_t i = 0; i < b->FilterCount(); ++i)
            if (ImGui::Selectable(b->FilterName(i), i == b->Filter())) b->SetFilter(i);
        ImGui::EndCombo();
    }
    return accept;
}

// The lines of a text (line feeds break it) wrapped at a width as the dialogs draw it: each(begin,
// end) for each line in order, until it returns false. A word too long for the width is cut
// where it reaches the edge.
template <class Each>
void WrapLines(ImFont* font, float scale, const std::string& text, float width, Each each)
{
    const char* p = text.c_str();
    const char* end = p + text.size();
    while (p < end) {
        const char* lineEnd = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        if (!lineEnd) lineEnd = end;
        const char* cut = width > 0.0f ? font->CalcWordWrapPositionA(scale, p, lineEnd, width) : lineEnd;
        if (cut == p) cut = lineEnd == p ? lineEnd : p + 1;
        if (!each(p, cut)) return;
        p = cut;
        while (p < lineEnd && *p == ' ') ++p;
        if (p == lineEnd && lineEnd < end) ++p;
    }
}

// Static text in its rectangle: wrapped, each line centred when asked. Line by line, so that
// the lines outside the rectangle cost nothing (a prompt of thousands of lines stays within a
// draw list's 65,536 vertices, which the OpenGL 2 back end of the dialogs' own windows needs).
void DrawText(const std::string& text, ImVec2 at, ImVec2 size, bool centred)
{
    const ImVec2 screen = ImGui::GetCursorScreenPos();
    ImGui::PushClipRect(screen, ImVec2(screen.x + size.x, screen.y + size.y), true);
    ImFont* font = ImGui::GetFont();
    float y = at.y;
    WrapLines(font, ImGui::GetFontSize() / font->FontSize, text, size.x, [&](const char* p, const char* cut) {
        if (y >= at.y + size.y) return false;
        const float w = centred ? ImGui::CalcTextSize(p, cut).x : size.x;
        ImGui::SetCursorPos(ImVec2(at.x + std::max(0.0f, (size.x - w) * 0.5f), y));
        ImGui::TextUnformatted(p, cut);
        y += ImGui::GetTextLineHeight();
        return true;
    });
    ImGui::PopClipRect();
}

} // namespace

// =============================================================================================
// [SECTION] Layout
// =============================================================================================
namespace {

// The current context's font (its atlas built), also outside a frame.
ImFont* Font()
{
    ImFontAtlas* atlas = ImGui::GetIO().Fonts;
    if (!atlas->IsBuilt()) {
        unsigned char* pixels = nullptr;
        int w = 0, h = 0;
        atlas->GetTexDataAsRGBA32(&pixels, &w, &h);
    }
    return atlas->Fonts[0];
}

float TitleHeight() { return std::round(Font()->FontSize + ImGui::GetStyle().FramePadding.y * 2.0f); }

ImVec2 TextSize(ImFont* font, const char* text)
{
    const ImVec2 size = font->CalcTextSizeA(font->FontSize, FLT_MAX, 0.0f, text);
    return ImVec2(std::ceil(size.x), size.y);
}

// The lines a text takes wrapped at that width, as DrawText draws it.
int32_t LineCount(ImFont* font, const std::string& text, float width)
{
    int32_t n = 0;
    WrapLines(font, 1.0f, text, width, [&](const char*, const char*) {
        ++n;
        return true;
    });
    return n;
}

// A control's extent along one axis at that scale, as it is drawn: from its rounded start to
// its rounded end.
float Span(int16_t at, int16_t size, float scale) { return std::round(float(at + size) * scale) - std::round(float(at) * scale); }

// True when every visible control, laid out at that scale, still holds what it shows in the
// font's own pixels: a button its label inside ImGui's padding on every side (ImGui clips the
// label at the button's edge), a text its wrapped lines (a text too long for its place even at
// full size is shown only at full size), a list or log four lines of thirty characters.
bool Holds(const IModalDialog& d, float fit)
{
    const DialogTemplate& t = d.Template();
    const ImVec2 pad = ImGui::GetStyle().FramePadding;
    ImFont* font = Font();
    const float line = font->FontSize, column = TextSize(font, "M").x;
    for (int32_t i = 0; i < t.count; ++i) {
        const DialogControl& c = t.controls[i];
        if (!d.ControlVisible(c.id)) continue;
        const float w = Span(c.x, c.w, kUnitX * fit), h = Span(c.y, c.h, kUnitY * fit);
        switch (c.kind) {
        case DLGC_BUTTON: {
            const ImVec2 label = TextSize(font, d.ControlText(c.id));
            if (label.x + 2.0f * pad.x > w || label.y + 2.0f * pad.y > h) return false;
            break;
        }
        case DLGC_EDIT:
        case DLGC_PASSWORD:
            if (w < 8.0f * column + 2.0f * pad.x) return false;
            break;
        case DLGC_TEXT:
        case DLGC_TEXT_CENTRED: {
            if (fit >= 1.0f) break;
            const std::string text = Lines(d.ControlText(c.id));
            if (float(LineCount(font, text, w)) * line > h) return false;
            if (float(LineCount(font, text, Span(c.x, c.w, kUnitX))) * line > Span(c.y, c.h, kUnitY)) return false;
            break;
        }
        case DLGC_LOG:
        case DLGC_FILES:
            if (w < 30.0f * column || h < 4.0f * line) return false;
            break;
        }
    }
    return true;
}

} // namespace

ImVec2 DialogUi_Size(const IModalDialog& dialog, bool fill)
{
    const DialogTemplate& t = dialog.Template();
    const float title = fill ? 0.0f : TitleHeight();
    return ImVec2(std::round(t.width * kUnitX), std::round(t.height * kUnitY) + title);
}

DialogTextExtent DialogUi_MeasureText(const char* text, float wrapWidth)
{
    ImFont* font = Font();
    const std::string lines = Lines(text);
    float widest = 0.0f;
    int32_t count = 0;
    WrapLines(font, 1.0f, lines, std::floor(wrapWidth * kUnitX), [&](const char* p, const char* cut) {
        widest = std::max(widest, std::ceil(font->CalcTextSizeA(font->FontSize, FLT_MAX, 0.0f, p, cut).x));
        ++count;
        return true;
    });
    return DialogTextExtent{widest / kUnitX, std::max(count, 1)};
}

bool DialogUi_LayOut(DialogUi& ui, ImVec2 display)
{
    if (ui.fitDisplay.x == display.x && ui.fitDisplay.y == display.y) return ui.holds;
    const DialogTemplate& t = ui.dialog->Template();
    const float fit = std::min({1.0f, (display.x - 8.0f) / (t.width * kUnitX),
                                (display.y - 8.0f - TitleHeight()) / (t.height * kUnitY)});
    ui.fit = std::max(fit, 0.1f);
    ui.holds = Holds(*ui.dialog, ui.fit);
    ui.fitDisplay = display;
    return ui.holds;
}

void DialogUi_Draw(DialogUi& ui, ImVec2 display, bool fill)
{
    IModalDialog* d = ui.dialog;
    const DialogTemplate& t = d->Template();
    const float title = fill ? 0.0f : TitleHeight();
    // In a window of its own the dialog fills it at its own size or more (a window manager may
    // have made it larger); in the game window it is laid out for the window, down to the
    // size at which its controls still hold their texts (the host gives one that does not
    // hold a window of its own). The glyphs keep their pixels. Every edge on a whole pixel:
    // an edge through pixel centres (a control at 464.75 units of 1.625 pixels, a border half
    // a pixel in from an edge at .5) is covered or not as the rasteriser rounds, and
    // rasterisers round differently.
    float sx = kUnitX, sy = kUnitY;
    if (fill) {
        sx = std::max(kUnitX, display.x / std::max<float>(1.0f, t.width));
        sy = std::max(kUnitY, display.y / std::max<float>(1.0f, t.height));
    } else {
        DialogUi_LayOut(ui, display);
        sx *= ui.fit;
        sy *= ui.fit;
    }
    const ImVec2 size(std::round(t.width * sx), std::round(t.height * sy) + title);
    const ImVec2 pos = fill ? ImVec2(0, 0) : ImVec2(float(int((display.x - size.x) * 0.5f)), float(int((display.y - size.y) * 0.5f)));
    ImGui::SetNextWindowPos(pos);
    ImGui::SetNextWindowSize(size);
    ImGuiWindowFlags flags = ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoCollapse |
                             ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoScrollbar |
                             ImGuiWindowFlags_NoScrollWithMouse;
    if (fill) flags |= ImGuiWindowFlags_NoTitleBar;
    // The ImGui window is the place the dialog is shown in (its DialogUi), so that dialogs one
    // after another reuse one rather than pile up; the items in it are the showing's own
    // (its serial): a new dialog never inherits an earlier one's caret or selection.
    char name[64];
    std::snprintf(name, sizeof name, "###dialog%p", static_cast<void*>(&ui));
    const std::string label = Lines(d->Caption()) + name;
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(0, 0));
    ImGui::Begin(label.c_str(), nullptr, flags);
    ImGui::PopStyleVar();
    ImGui::PushID(int(ui.serial));
    ui.min = pos;
    ui.max = ImVec2(pos.x + size.x, pos.y + size.y);

    int32_t pressed = -1;
    for (int32_t i = 0; i < t.count; ++i) {
        const DialogControl& c = t.controls[i];
        if (!d->ControlVisible(c.id)) continue;
        const ImVec2 at(std::round(c.x * sx), title + std::round(c.y * sy));
        const ImVec2 csize(std::round((c.x + c.w) * sx) - at.x, std::round((c.y + c.h) * sy) - (at.y - title));
        ImGui::SetCursorPos(at);
        ImGui::PushID(i);
        switch (c.kind) {
        case DLGC_BUTTON: {
            const bool focused = ui.focus == c.id && ui.hasFocus;
            int32_t styles = 0, colours = 0;
            if (c.isDefault || focused) {
                ImGui::PushStyleVar(ImGuiStyleVar_FrameBorderSize, 1.0f);
                ++styles;
                ImGui::PushStyleColor(ImGuiCol_Border, focused ? kFocusRing : ImVec4(0.6f, 0.6f, 0.7f, 0.8f));
                ++colours;
            }
            if (ImGui::Button(d->ControlText(c.id), csize)) {
                pressed = c.id;
                ui.focus = c.id;
            }
            if (focused) {
                // The focus ring is two pixels wide: a second one-pixel border inside the
                // first (one line two pixels wide, centred on ImGui's path through pixel
                // centres, would half-cover a pixel on each side).
                const ImVec2 a = ImGui::GetItemRectMin(), b = ImGui::GetItemRectMax();
                ImGui::GetWindowDrawList()->AddRect(ImVec2(a.x + 1.0f, a.y + 1.0f), ImVec2(b.x - 1.0f, b.y - 1.0f),
                                                    ImGui::GetColorU32(kFocusRing));
            }
            ImGui::PopStyleColor(colours);
            ImGui::PopStyleVar(styles);
            break;
        }
        case DLGC_EDIT:
        case DLGC_PASSWORD: {
            std::string s = d->ControlText(c.id);
            if (ui.focus == c.id && ui.focusMoved && ui.hasFocus) {
                ImGui::SetKeyboardFocusHere();
                ui.focusMoved = false;
            }
            ImGui::SetNextItemWidth(csize.x);
            CaretOf caret{&ui, c.id};
            const ImGuiInputTextFlags fieldFlags =
                ImGuiInputTextFlags_CallbackAlways | (c.kind == DLGC_PASSWORD ? ImGuiInputTextFlags_Password : 0);
            if (ImGui::InputText("##field", &s, fieldFlags, KeepCaret, &caret)) d->SetControlText(c.id, s.c_str());
            // A click gives a field the focus; only the dialog's own focus gives it otherwise
            // (a request of an earlier frame that ImGui carries out after a Tab moved on
            // does not take it back).
            const bool clicked = ImGui::IsItemActivated() && ImGui::IsMouseClicked(ImGuiMouseButton_Left);
            if (clicked) {
                ui.focus = c.id;
                ui.focusMoved = false;
            } else if (ImGui::IsItemActive() && (ui.focus != c.id || !ui.hasFocus)) {
                ImGui::ClearActiveID();
            }
            if (ui.focus == c.id) ui.fieldActive = ImGui::IsItemActive();
            break;
        }
        case DLGC_TEXT:
        case DLGC_TEXT_CENTRED: DrawText(Lines(d->ControlText(c.id)), at, csize, c.kind == DLGC_TEXT_CENTRED); break;
        case DLGC_LOG: {
            std::string s = Lines(d->ControlText(c.id));
            ImGui::InputTextMultiline("##log", &s, csize, ImGuiInputTextFlags_ReadOnly);
            break;
        }
        case DLGC_FILES:
            if (DrawBrowser(ui, d->Browser(), csize)) pressed = 1;
            break;
        }
        ImGui::PopID();
    }

    // A click on the dialog that no control takes (on its text, its blank area, its title: a
    // player coming back to it) leaves the keyboard in the field that had it, with its caret;
    // ImGui took it from the field.
    if (ui.hasFocus && pressed < 0 && ImGui::IsMouseClicked(ImGuiMouseButton_Left) && !ImGui::IsAnyItemActive() &&
        ImGui::IsWindowHovered(ImGuiHoveredFlags_ChildWindows)) {
        const DialogControl* f = Focused(ui);
        if (f && IsEdit(*f)) DialogUi_AskFieldAnew(ui);
    }

    // The frame's key acts after the fields took the frame's typing.
    const DialogKeys k = ui.keys;
    ui.keys.Clear();
    if (ui.hasFocus && pressed < 0) {
        if (k.tab || k.backTab) MoveFocus(ui, k.tab ? 1 : -1, false);
        if (k.left || k.right) MoveFocus(ui, k.right ? 1 : -1, true);
        const DialogControl* f = Focused(ui);
        if (k.escape) pressed = d->CancelId();
        else if ((k.space || k.enter) && f && f->kind == DLGC_BUTTON) pressed = f->id;
        else if (k.enter) pressed = DefaultButton(d);
    }
    ImGui::PopID();
    ImGui::End();
    if (pressed >= 0) d->Command(pressed);
}

// =============================================================================================
// [SECTION] Input
// =============================================================================================
namespace {
char* g_clipboard = nullptr;

const char* GetClipboard(void*)
{
    if (g_clipboard) SDL_free(g_clipboard);
    g_clipboard = SDL_GetClipboardText();
    return g_clipboard ? g_clipboard : "";
}
void SetClipboard(void*, const char* text) { SDL_SetClipboardText(text); }

// A key, text or button event: one a frame.
bool OwnFrame(const SDL_Event& e)
{
    switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
    case SDL_TEXTINPUT:
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: return true;
    default: return false;
    }
}
} // namespace

void DialogInput_Setup()
{
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.LogFilename = nullptr;
    io.ConfigFlags |= ImGuiConfigFlags_NoMouseCursorChange;
    io.ConfigInputTextCursorBlink = false; // the same picture from frame to frame
    io.GetClipboardTextFn = GetClipboard;
    io.SetClipboardTextFn = SetClipboard;
    static const struct {
        ImGuiKey key;
        SDL_Scancode code;
    } kMap[] = {
        {ImGuiKey_Tab, SDL_SCANCODE_TAB},         {ImGuiKey_LeftArrow, SDL_SCANCODE_LEFT},
        {ImGuiKey_RightArrow, SDL_SCANCODE_RIGHT}, {ImGuiKey_UpArrow, SDL_SCANCODE_UP},
        {ImGuiKey_DownArrow, SDL_SCANCODE_DOWN},   {ImGuiKey_PageUp, SDL_SCANCODE_PAGEUP},
        {ImGuiKey_PageDown, SDL_SCANCODE_PAGEDOWN}, {ImGuiKey_Home, SDL_SCANCODE_HOME},
        {ImGuiKey_End, SDL_SCANCODE_END},          {ImGuiKey_Insert, SDL_SCANCODE_INSERT},
        {ImGuiKey_Delete, SDL_SCANCODE_DELETE},    {ImGuiKey_Backspace, SDL_SCANCODE_BACKSPACE},
        {ImGuiKey_Space, SDL_SCANCODE_SPACE},      {ImGuiKey_Enter, SDL_SCANCODE_RETURN},
        {ImGuiKey_Escape, SDL_SCANCODE_ESCAPE},    {ImGuiKey_KeyPadEnter, SDL_SCANCODE_KP_ENTER},
        {ImGuiKey_A, SDL_SCANCODE_A},              {ImGuiKey_C, SDL_SCANCODE_C},
        {ImGuiKey_V, SDL_SCANCODE_V},              {ImGuiKey_X, SDL_SCANCODE_X},
        {ImGuiKey_Y, SDL_SCANCODE_Y},              {ImGuiKey_Z, SDL_SCANCODE_Z},
    };
    for (const auto& m : kMap) io.KeyMap[m.key] = m.code;
}

bool DialogInput_IsInput(const SDL_Event& e)
{
    switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
    case SDL_TEXTINPUT:
    case SDL_TEXTEDITING:
    case SDL_MOUSEMOTION:
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
    case SDL_MOUSEWHEEL: return true;
    default: return false;
    }
}

uint32_t DialogInput_Window(const SDL_Event& e)
{
    switch (e.type) {
    case SDL_WINDOWEVENT: return e.window.windowID;
    case SDL_KEYDOWN:
    case SDL_KEYUP: return e.key.windowID;
    case SDL_TEXTINPUT: return e.text.windowID;
    case SDL_TEXTEDITING: return e.edit.windowID;
    case SDL_MOUSEMOTION: return e.motion.windowID;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: return e.button.windowID;
    case SDL_MOUSEWHEEL: return e.wheel.windowID;
    default: return 0;
    }
}

bool DialogInput_KeyPressed(ImGuiKey key) { return ImGui::IsKeyPressed(ImGui::GetKeyIndex(key), false); }

bool DialogInput_Feed(const SDL_Event& e, float sx, float sy)
{
    ImGuiIO& io = ImGui::GetIO();
    switch (e.type) {
    case SDL_MOUSEMOTION: io.MousePos = ImVec2(float(e.motion.x) * sx, float(e.motion.y) * sy); return true;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        const int b = e.button.button == SDL_BUTTON_LEFT ? 0 : e.button.button == SDL_BUTTON_RIGHT ? 1 : e.button.button == SDL_BUTTON_MIDDLE ? 2 : -1;
        io.MousePos = ImVec2(float(e.button.x) * sx, float(e.button.y) * sy);
        if (b >= 0) io.MouseDown[b] = e.type == SDL_MOUSEBUTTONDOWN;
        return true;
    }
    case SDL_MOUSEWHEEL:
        io.MouseWheel += float(e.wheel.y);
        io.MouseWheelH += float(e.wheel.x);
        return true;
    case SDL_TEXTINPUT: io.AddInputCharactersUTF8(e.text.text); return true;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        // Tab moves the dialog's own focus; ImGui does not see it.
        if (e.key.keysym.sym != SDLK_TAB && e.key.keysym.scancode < 512)
            io.KeysDown[e.key.keysym.scancode] = e.type == SDL_KEYDOWN;
        const uint16_t m = e.key.keysym.mod; // the modifiers as they were with this key
        io.KeyShift = (m & KMOD_SHIFT) != 0;
        io.KeyCtrl = (m & KMOD_CTRL) != 0;
        io.KeyAlt = (m & KMOD_ALT) != 0;
        io.KeySuper = (m & KMOD_GUI) != 0;
        return true;
    }
    case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_LEAVE) io.MousePos = ImVec2(-FLT_MAX, -FLT_MAX);
        return false;
    default: return false;
    }
}

void DialogInput_Reset()
{
    ImGuiIO& io = ImGui::GetIO();
    for (bool& k : io.KeysDown) k = false;
    for (int b = 0; b < 3; ++b) io.MouseDown[b] = false;
    io.KeyShift = io.KeyCtrl = io.KeyAlt = io.KeySuper = false;
    io.ClearInputCharacters();
}

namespace {

// What may go when the queue is full: 0 typed text, moves and wheel turns; 1 presses of keys
// that do nothing to a dialog; 2 the rest (releases, clicks, the keys that act on a dialog).
int Worth(const SDL_Event& e)
{
    switch (e.type) {
    case SDL_TEXTINPUT:
    case SDL_TEXTEDITING:
    case SDL_MOUSEMOTION:
    case SDL_MOUSEWHEEL: return 0;
    case SDL_KEYDOWN:
        switch (e.key.keysym.sym) {
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
        case SDLK_ESCAPE:
        case SDLK_TAB:
        case SDLK_SPACE:
        case SDLK_LEFT:
        case SDLK_RIGHT: return 2;
        default: return 1;
        }
    default: return 2;
    }
}

} // namespace

bool DialogInputQueue::MakeRoom(const SDL_Event& e)
{
    const bool release = e.type == SDL_KEYUP && e.key.keysym.scancode < SDL_NUM_SCANCODES;
    if (release && m_pressDropped.test(size_t(e.key.keysym.scancode))) {
        m_pressDropped.reset(size_t(e.key.keysym.scancode)); // nobody saw its press
        return false;
    }
    if (m_events.size() < kCapacity) return true;
    const int worth = Worth(e);
    if (worth < 2) { // the newest of its kind goes
        if (e.type == SDL_KEYDOWN && e.key.keysym.scancode < SDL_NUM_SCANCODES)
            m_pressDropped.set(size_t(e.key.keysym.scancode));
        return false;
    }
    // Room for a release, a click or a key that acts: the newest text or move goes, else the
    // newest press of another key with its release.
    for (int drop = 0; drop < 2; ++drop) {
        for (auto it = m_events.end(); it != m_events.begin();) {
            --it;
            if (Worth(it->e) != drop) continue;
            if (drop == 1) {
                const SDL_Scancode code = it->e.key.keysym.scancode;
                auto up = std::find_if(it + 1, m_events.end(), [&](const Item& i) {
                    return i.e.type == SDL_KEYUP && i.e.key.keysym.scancode == code;
                });
                if (up != m_events.end()) m_events.erase(up);
                else if (code < SDL_NUM_SCANCODES) m_pressDropped.set(size_t(code));
            }
            m_events.erase(it);
            return true;
        }
    }
    return m_events.size() < kHardCapacity;
}

void DialogInputQueue::Push(const SDL_Event& e, float sx, float sy, bool taken)
{
    if (e.type == SDL_MOUSEMOTION && !m_events.empty() && m_events.back().e.type == SDL_MOUSEMOTION &&
        m_events.back().taken == taken) {
        m_events.back() = Item{e, sx, sy, taken}; // only where a run of moves ended counts
        return;
    }
    if (MakeRoom(e)) m_events.push_back(Item{e, sx, sy, taken});
}

void DialogInputQueue::FeedFrame(DialogUi* ui)
{
    if (ui && DialogUi_HoldsInput(*ui)) return;
    while (!m_events.empty()) {
        const Item item = m_events.front();
        m_events.pop_front();
        if (item.e.type == SDL_KEYDOWN) m_pressUsed = ui && item.taken && DialogUi_Key(*ui, item.e);
        else if (item.e.type == SDL_TEXTINPUT && m_pressUsed) continue; // the dialog's, with its key
        DialogInput_Feed(item.e, item.sx, item.sy);
        if (OwnFrame(item.e)) return;
    }
}

void DialogInputQueue::ReturnToSdl()
{
    std::vector<SDL_Event> newer(size_t(std::max(0, SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT))));
    const int taken = newer.empty() ? 0 : SDL_PeepEvents(newer.data(), int(newer.size()), SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
    // The text of the key press that answered (its text events come after it) is the answer's.
    auto answered = [&](const SDL_Event& e) {
        if (e.type == SDL_KEYDOWN) m_pressUsed = false;
        return e.type == SDL_TEXTINPUT && m_pressUsed;
    };
    for (Item& item : m_events)
        if (item.taken && !answered(item.e)) SDL_PeepEvents(&item.e, 1, SDL_ADDEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
    for (int i = 0; i < taken; ++i)
        if (!answered(newer[size_t(i)])) SDL_PeepEvents(&newer[size_t(i)], 1, SDL_ADDEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
    m_events.clear();
    m_pressUsed = false;
}

// =============================================================================================
// [SECTION] Windows of their own
// =============================================================================================
bool DialogWindow_Open(DialogWindow& w, const char* title, int x, int y, int width, int height, uint32_t flags)
{
    SDL_Window* previous = SDL_GL_GetCurrentWindow();
    SDL_GLContext previousGl = SDL_GL_GetCurrentContext();
    w.window = SDL_CreateWindow(title, x, y, width, height, flags | SDL_WINDOW_OPENGL);
    if (w.window) GR_Sdl_WatchWindow(w.window);
    w.gl = w.window ? SDL_GL_CreateContext(w.window) : nullptr;
    if (!w.gl) {
        if (w.window) GR_Sdl_DestroyWindow(w.window);
        w = DialogWindow();
        if (previous) GR_Sdl_MakeCurrent(previous, previousGl);
        return false;
    }
    GR_Sdl_MakeCurrent(w.window, w.gl);
    SDL_GL_SetSwapInterval(0); // the game's frame (or the dialog's loop) keeps the pace
    w.context = ImGui::CreateContext();
    {
        ContextScope scope(w.context);
        DialogInput_Setup();
        ImGui_ImplOpenGL2_Init();
    }
    if (previous) GR_Sdl_MakeCurrent(previous, previousGl);
    return true;
}

void DialogWindow_Close(DialogWindow& w)
{
    if (!w.window) return;
    SDL_Window* current = SDL_GL_GetCurrentWindow();
    SDL_GLContext currentGl = SDL_GL_GetCurrentContext();
    GR_Sdl_MakeCurrent(w.window, w.gl);
    {
        ContextScope scope(w.context);
        ImGui_ImplOpenGL2_Shutdown();
    }
    ImGui::DestroyContext(w.context);
    SDL_GL_MakeCurrent(w.window, nullptr);
    SDL_GL_DeleteContext(w.gl);
    GR_Sdl_DestroyWindow(w.window);
    if (current && current != w.window) GR_Sdl_MakeCurrent(current, currentGl);
    w = DialogWindow();
}

DialogWindowGL::DialogWindowGL(const DialogWindow& w) : m_window(SDL_GL_GetCurrentWindow()), m_gl(SDL_GL_GetCurrentContext())
{
    GR_Sdl_MakeCurrent(w.window, w.gl);
}

DialogWindowGL::~DialogWindowGL()
{
    if (m_window) GR_Sdl_MakeCurrent(m_window, m_gl);
}

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
// [SECTION] Rendering through the vertex batch
// =============================================================================================
namespace {

TextureRecord* g_font = nullptr;
ImVec2 g_fontUv(1, 1); // the atlas's share of its texture (textures are powers of two)

struct Vertex { // GFX_FVF_2DTEX
    float x, y, z;
    uint32_t colour; // 0xAARRGGBB
    float u, v;
};

// A corner being clipped: position, texture and colour channels.
struct Corner {
    float x, y, u, v, c[4];
};

Corner Lerp(const Corner& a, const Corner& b, float t)
{
    Corner r;
    r.x = a.x + (b.x - a.x) * t;
    r.y = a.y + (b.y - a.y) * t;
    r.u = a.u + (b.u - a.u) * t;
    r.v = a.v + (b.v - a.v) * t;
    for (int i = 0; i < 4; ++i) r.c[i] = a.c[i] + (b.c[i] - a.c[i]) * t;
    return r;
}

// Clips a polygon against one edge: keep where sign * (coordinate - limit) >= 0.
int ClipEdge(const Corner* in, int n, Corner* out, bool useX, float limit, float sign)
{
    int m = 0;
    for (int i = 0; i < n; ++i) {
        const Corner& a = in[i];
        const Corner& b = in[(i + 1) % n];
        const float da = sign * ((useX ? a.x : a.y) - limit), db = sign * ((useX ? b.x : b.y) - limit);
        if (da >= 0) out[m++] = a;
        if ((da >= 0) != (db >= 0)) out[m++] = Lerp(a, b, da / (da - db));
    }
    return m;
}

Vertex Emit(const Corner& c)
{
    auto channel = [&](int i) { return uint32_t(std::clamp(c.c[i], 0.0f, 255.0f) + 0.5f); };
    // The overlay's projection already puts ImGui's pixel edges on whole coordinates.
    return {c.x, c.y, 0.0f, channel(3) << 24 | channel(0) << 16 | channel(1) << 8 | channel(2), c.u, c.v};
}

void Take(const ImDrawVert& v, ImVec2 uvScale, Corner* c)
{
    c->x = v.pos.x;
    c->y = v.pos.y;
    c->u = v.uv.x * uvScale.x;
    c->v = v.uv.y * uvScale.y;
    for (int i = 0; i < 4; ++i) c->c[i] = float((v.col >> (8 * i)) & 0xFF); // R, G, B, A
}

void Flush(std::vector<Vertex>& verts, TextureRecord* texture)
{
    size_t done = 0;
    while (done < verts.size()) {
        const size_t n = std::min<size_t>(verts.size() - done, 3000);
        void* p = GR_D3D_AllocVertices(GFX_PT_TRIANGLELIST, texture, int32_t(sizeof(Vertex)), int32_t(n));
        if (!p) break;
        std::memcpy(p, verts.data() + done, n * sizeof(Vertex));
        done += n;
    }
    verts.clear();
}

void EnsureFont()
{
    if (g_font) return;
    ImGuiIO& io = ImGui::GetIO();
    unsigned char* rgba = nullptr;
    int w = 0, h = 0;
    io.Fonts->GetTexDataAsRGBA32(&rgba, &w, &h);
    if (!rgba || w < 1 || h < 1) return;
    std::vector<uint32_t> argb(size_t(w) * size_t(h));
    for (size_t i = 0; i < argb.size(); ++i) {
        const unsigned char* p = rgba + i * 4;
        argb[i] = uint32_t(p[3]) << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }
    g_font = GR_D3D_CreateTextureForImage(argb.data(), w, h, nullptr);
    if (!g_font) return;
    g_fontUv = ImVec2(float(w) / float(g_font->Width()), float(h) / float(g_font->Height()));
    io.Fonts->SetTexID(g_font);
}

} // namespace

void DialogRender_NewFrame() { EnsureFont(); }

void DialogRender_Draw(ImDrawData* data)
{
    if (!data || data->CmdListsCount == 0 || !g_font) return;
    GR_D3D_Flush();
    RenderStateCache& c = g_RenderStateCache;
    const uint32_t src = c.m_wanted[GR_RS_SRCBLEND], dst = c.m_wanted[GR_RS_DESTBLEND];
    const bool interpolation = GR_Texture_GetInterpolation();
    c.SetRenderState(GR_RS_ALPHABLEND, 1);
    c.SetRenderState(GR_RS_SRCBLEND, 5); // source alpha
    c.SetRenderState(GR_RS_DESTBLEND, 6); // inverse source alpha
    // The font atlas is sampled between texels: its pre-drawn lines (thick borders) are made
    // to be, and point sampling at a texel edge under a pixel centre dropped half of a border
    // on one rasteriser and not another; glyphs, drawn texel for pixel, come out the same.
    // Pictures are point-sampled.
    bool smooth = false;
    GR_Texture_SetInterpolation(smooth);

    std::vector<Vertex> verts;
    Corner a[8], b[8];
    for (int l = 0; l < data->CmdListsCount; ++l) {
        const ImDrawList* list = data->CmdLists[l];
        const ImDrawVert* vtx = list->VtxBuffer.Data;
        const ImDrawIdx* idx = list->IdxBuffer.Data;
        for (const ImDrawCmd& cmd : list->CmdBuffer) {
            if (cmd.UserCallback) continue;
            TextureRecord* tex = static_cast<TextureRecord*>(cmd.TextureId);
            const ImVec2 uvScale = tex == g_font ? g_fontUv : ImVec2(1, 1);
            const ImVec4 r = cmd.ClipRect;
            for (unsigned e = 0; e + 2 < cmd.ElemCount; e += 3) {
                for (int k = 0; k < 3; ++k)
                    Take(vtx[cmd.VtxOffset + idx[cmd.IdxOffset + e + unsigned(k)]], uvScale, &a[k]);
                int n = 3;
                bool inside = true;
                for (int k = 0; k < 3; ++k)
                    inside = inside && a[k].x >= r.x && a[k].x <= r.z && a[k].y >= r.y && a[k].y <= r.w;
                if (!inside) {
                    n = ClipEdge(a, n, b, true, r.x, 1.0f);
                    n = ClipEdge(b, n, a, true, r.z, -1.0f);
                    n = ClipEdge(a, n, b, false, r.y, 1.0f);
                    n = ClipEdge(b, n, a, false, r.w, -1.0f);
                }
                for (int k = 1; k + 1 < n; ++k) {
                    verts.push_back(Emit(a[0]));
                    verts.push_back(Emit(a[k]));
                    verts.push_back(Emit(a[k + 1]));
                }
            }
            if ((tex == g_font) != smooth) {
                GR_D3D_Flush();
                smooth = tex == g_font;
                GR_Texture_SetInterpolation(smooth);
            }
            Flush(verts, tex);
        }
    }
    GR_D3D_Flush();
    c.SetRenderState(GR_RS_SRCBLEND, src);
    c.SetRenderState(GR_RS_DESTBLEND, dst);
    GR_Texture_SetInterpolation(interpolation);
}

void DialogRender_FreeFont()
{
    if (g_font) GR_D3D_FreeTexture(g_font);
    g_font = nullptr;
    if (ImGui::GetCurrentContext()) ImGui::GetIO().Fonts->SetTexID(nullptr);
}

