// The drawing side of the on-screen dialog host (Dialog_ImGuiM.h): a dialog template laid out
// with Dear ImGui (dialog units scaled to ImGui's 13-pixel font, shrunk to fit the window),
// its keyboard focus and keys, the input fed to ImGui from SDL events, and ImGui's triangles
// drawn through the runner's vertex batch.
//
// Keyboard: Tab and Shift+Tab move the focus over the edit fields and buttons in template
// order, Left and Right over the buttons; Space or Enter presses the focused button; Enter in
// an edit field presses the default button (the first visible one of default-button style);
// Escape sends the dialog's cancel command, when it has one.
//
// [SECTION] Focus and keys
// [SECTION] Layout
// [SECTION] Input
// [SECTION] Rendering through the vertex batch
#include "Files/Debug/Linux/Dialog_ImGuiM.h"

#include <imgui_internal.h>
#include <imgui_stdlib.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <vector>

#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_Device.h"
#include "Files/Graphics_API/Graphics_RenderState.h"

namespace {

// Pixels per dialog unit with ImGui's 13-pixel font (the resources' font is about 6 x 13
// pixels: 4 horizontal and 8 vertical units to its average character).
constexpr float kUnitX = 1.5f, kUnitY = 1.625f;
const ImVec4 kFocusRing(1.0f, 1.0f, 1.0f, 0.9f);

// "\r\n" and a lone "\r" as "\n" (ImGui breaks lines at "\n" only).
std::string Lines(const char* text)
{
    std::string out;
    for (const char* p = text ? text : ""; *p; ++p) {
        if (*p == '\r') {
            out += '\n';
            if (p[1] == '\n') ++p;
        } else {
            out += *p;
        }
    }
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
    ui.dialog = dialog;
    ui.focus = -1;
    ui.focusMoved = true;
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
            if (leavingEdit) ImGui::ClearActiveID(); // the field stops taking the keys
            return;
        }
    }
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

// Static text in its rectangle: wrapped, each line centred when asked.
void DrawText(const std::string& text, ImVec2 at, ImVec2 size, bool centred)
{
    const ImVec2 screen = ImGui::GetCursorScreenPos();
    ImGui::PushClipRect(screen, ImVec2(screen.x + size.x, screen.y + size.y), true);
    if (!centred) {
        ImGui::PushTextWrapPos(at.x + size.x);
        ImGui::TextUnformatted(text.c_str());
        ImGui::PopTextWrapPos();
    } else {
        ImFont* font = ImGui::GetFont();
        const float scale = ImGui::GetFontSize() / font->FontSize;
        float y = at.y;
        const char* p = text.c_str();
        const char* end = p + text.size();
        while (p < end) {
            const char* lineEnd = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
            if (!lineEnd) lineEnd = end;
            const char* cut = font->CalcWordWrapPositionA(scale, p, lineEnd, size.x);
            if (cut == p) cut = lineEnd == p ? lineEnd : p + 1;
            const float w = ImGui::CalcTextSize(p, cut).x;
            ImGui::SetCursorPos(ImVec2(at.x + std::max(0.0f, (size.x - w) * 0.5f), y));
            ImGui::TextUnformatted(p, cut);
            y += ImGui::GetTextLineHeight();
            p = cut;
            while (p < lineEnd && *p == ' ') ++p;
            if (p == lineEnd && lineEnd < end) ++p;
        }
    }
    ImGui::PopClipRect();
}

} // namespace

// =============================================================================================
// [SECTION] Layout
// =============================================================================================
void DialogUi_Draw(DialogUi& ui, ImVec2 display, bool fill)
{
    IModalDialog* d = ui.dialog;
    const DialogTemplate& t = d->Template();
    const ImGuiStyle& style = ImGui::GetStyle();
    const float title = fill ? 0.0f : std::round(ImGui::GetFontSize() + style.FramePadding.y * 2.0f);
    float sx = kUnitX, sy = kUnitY, fit = 1.0f;
    if (fill) {
        sx = display.x / std::max<float>(1.0f, t.width);
        sy = display.y / std::max<float>(1.0f, t.height);
    } else {
        fit = std::min({1.0f, (display.x - 8.0f) / (t.width * kUnitX), (display.y - 8.0f - title) / (t.height * kUnitY)});
        fit = std::max(fit, 0.1f);
        sx *= fit;
        sy *= fit;
    }
    // Every edge on a whole pixel: an edge through pixel centres (a control at 464.75 units
    // of 1.625 pixels, a border half a pixel in from an edge at .5) is covered or not as the
    // rasteriser rounds, and rasterisers round differently.
    const ImVec2 size(std::round(t.width * sx), std::round(t.height * sy) + title);
    const ImVec2 pos = fill ? ImVec2(0, 0) : ImVec2(float(int((display.x - size.x) * 0.5f)), float(int((display.y - size.y) * 0.5f)));
    ImGui::SetNextWindowPos(pos);
    ImGui::SetNextWindowSize(size);
    ImGuiWindowFlags flags = ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoCollapse |
                             ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoScrollbar |
                             ImGuiWindowFlags_NoScrollWithMouse;
    if (fill) flags |= ImGuiWindowFlags_NoTitleBar;
    char name[64];
    std::snprintf(name, sizeof name, "###dialog%p", static_cast<void*>(d));
    const std::string label = Lines(d->Caption()) + name;
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(0, 0));
    ImGui::Begin(label.c_str(), nullptr, flags);
    ImGui::PopStyleVar();
    // The font keeps its pixels unless the dialog had to shrink much (point-sampled glyphs
    // scaled a little look broken).
    if (fit < 0.8f) ImGui::SetWindowFontScale(std::max(fit, 0.6f));
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
            if (ImGui::InputText("##field", &s, c.kind == DLGC_PASSWORD ? ImGuiInputTextFlags_Password : 0))
                d->SetControlText(c.id, s.c_str());
            if (ImGui::IsItemActivated()) {
                ui.focus = c.id;
                ui.focusMoved = false;
            }
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

void DialogInputQueue::Push(const SDL_Event& e, float sx, float sy, bool taken)
{
    if (e.type == SDL_MOUSEMOTION && !m_events.empty() && m_events.back().e.type == SDL_MOUSEMOTION &&
        m_events.back().taken == taken) {
        m_events.back() = Item{e, sx, sy, taken}; // only where a run of moves ended counts
        return;
    }
    if (m_events.size() >= kCapacity) return;
    m_events.push_back(Item{e, sx, sy, taken});
}

void DialogInputQueue::FeedFrame(DialogUi* ui)
{
    while (!m_events.empty()) {
        const Item item = m_events.front();
        m_events.pop_front();
        if (ui && item.taken) DialogUi_Key(*ui, item.e);
        DialogInput_Feed(item.e, item.sx, item.sy);
        if (OwnFrame(item.e)) return;
    }
}

void DialogInputQueue::ReturnToSdl()
{
    if (m_events.empty()) return;
    std::vector<SDL_Event> newer(size_t(std::max(0, SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT))));
    const int taken = newer.empty() ? 0 : SDL_PeepEvents(newer.data(), int(newer.size()), SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
    for (Item& item : m_events)
        if (item.taken) SDL_PeepEvents(&item.e, 1, SDL_ADDEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
    if (taken > 0) SDL_PeepEvents(newer.data(), taken, SDL_ADDEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
    m_events.clear();
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

