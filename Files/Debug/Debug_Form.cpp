// The debug form's model (Files/Debug/Debug_Form.h).
//
// [SECTION] State
// [SECTION] Values
// [SECTION] Life cycle and settings
// [SECTION] Refresh
// [SECTION] Commands
// [SECTION] Windows
// [SECTION] Messages
#include "Files/Debug/Debug_Form.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>

#include "Files/Base/Console.h"
#include "Files/Base/RealConvert.h"
#include "Files/Base/Utf8.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/VM.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Code/Variable_List.h"
#include "Files/Debug/Debug_Eval.h"
#include "Files/Debug/Debug_Net.h"
#include "Files/Debug/Debug_Overlay.h"
#include "Files/Debug/InputQuery.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/IO/IO_Input.h"
#include "Files/Object/Instance.h"
#include "Files/Object/Object.h"
#include "Files/Room/Room.h"
#include "Files/Run/Run_Main.h"
#include "Files/Sprite/Sprite_Main.h"
#include "Files/Support/CommandLine.h"
#include "Files/Support/IniFile.h"
#include "Platform/MemoryManager.h"

// =============================================================================================
// [SECTION] State
// =============================================================================================
namespace {

struct Watch {
    std::string expression, value;
    std::unique_ptr<DebugExpression> compiled; // made again only when the text changes
};

struct Form {
    std::vector<Watch> watches;
    std::vector<DebugWatchRow> rows{DebugWatchRow{"Expressions", ""}};
    int32_t selected = 0;
    bool settingsLoaded = false, shown = false, fpsVisible = true;
    std::unique_ptr<IniFile> settings;
    DebugInfoWindow windows[DEBUGWIN_COUNT];
    DebugFormStatus status;
    int32_t compiles = 0;
    // A refresh runs the watches, whose code may wait in a dialog while the window's events
    // are pumped: a close or end asked for meanwhile waits until the refresh is over.
    int32_t refreshing = 0;
    bool closeWanted = false, endWanted = false;
};

std::unique_ptr<Form> g_form;

// The log console's form sink: every trace line while a form exists.
class FormConsole : public tagIConsole {
public:
    bool Query(int, int) override { return true; }
    void Output(const char* format, ...) override __attribute__((format(printf, 2, 3)))
    {
        char line[4096];
        va_list args;
        va_start(args, format);
        std::vsnprintf(line, sizeof line, format, args);
        va_end(args);
        DebugConsole_Output(line);
    }
};
FormConsole g_formConsole;
std::deque<std::string> g_messages; // newest first
DebugFormAsk g_ask = nullptr;

bool Ask(const char* caption, const char* prompt, const char* def, std::string* answer)
{
    if (g_ask) return g_ask(caption, prompt, def, answer);
    return Dialog_InputQuery(caption, prompt, def, answer);
}

bool Running() { return g_StartupOptions.running != 0; }
bool Paused() { return Run_State().paused != 0; }

// The value of built-in variable name for the instance; 0 when there is no such variable.
ScriptValue BuiltIn(const char* name, CInstance* self)
{
    ScriptValue v = Value_Real(0.0);
    const BuiltinVariable* row = Variable_BuiltIn_Row(Variable_BuiltIn_Find(name));
    if (row && row->get && self && !row->get(self, 0, &v)) {
        Value_FreeString(&v);
        v = Value_Real(0.0);
    }
    return v;
}

void SetRow(std::vector<DebugRow>& rows, size_t i, const std::string& a, const std::string& b, const std::string& c = "")
{
    if (i >= rows.size()) rows.resize(i + 1);
    DebugRow& r = rows[i];
    if (r.column[0] != a) r.column[0] = a;
    if (r.column[1] != b) r.column[1] = b;
    if (r.column[2] != c) r.column[2] = c;
}

CInstance* ActiveInstance(int32_t id)
{
    CRoom* room = Run_CurrentRoom();
    if (!room) return nullptr;
    for (CInstance* i = room->m_active.head; i; i = i->m_pNext)
        if (i->i_id == id && !i->i_marked && !i->i_deactivated) return i;
    return nullptr;
}

const char* ObjectName(int32_t index)
{
    const char* n = Object_GetName(index);
    return n ? n : "<undefined>";
}

const char* SpriteName(int32_t index)
{
    const char* n = Sprite_GetName(index);
    return n ? n : "<undefined>";
}

} // namespace

// =============================================================================================
// [SECTION] Values
// =============================================================================================
std::string Debug_FormatValue(const ScriptValue& value)
{
    if (value.kind == VALUE_STRING) return value.text ? value.text : "";
    const double v = value.real;
    char text[400];
    auto near = [](double x) { return std::fabs(x - std::round(x)) < 1e-12; };
    const int32_t whole = Real_RoundToInt32(v);
    if (std::fabs(v - double(whole)) < 1e-12) std::snprintf(text, sizeof text, "%d", whole);
    else if (std::fabs(v) < 1e300 && near(v * 100.0)) std::snprintf(text, sizeof text, "%.2f", v);
    else if (std::fabs(v) < 1e300 && near(v * 10000.0)) std::snprintf(text, sizeof text, "%.4f", v);
    else if (std::fabs(v) < 1e300 && near(v * 1000000.0)) std::snprintf(text, sizeof text, "%.6f", v);
    else if (std::fabs(v) < 1e300 && near(v * 100000000.0)) std::snprintf(text, sizeof text, "%.8f", v);
    else std::snprintf(text, sizeof text, "%10.10f", v);
    return text;
}

// =============================================================================================
// [SECTION] Life cycle and settings
// =============================================================================================
bool DebugForm_Exists() { return g_form != nullptr; }

void DebugForm_Create()
{
    if (g_form) return;
    g_form = std::make_unique<Form>();
    Form& f = *g_form;
    if (g_StartupOptions.debugMode) {
        f.settings = std::make_unique<IniFile>();
        f.settings->Load("Debug.ini", false);
    }
    f.fpsVisible = (Overlay_Flags() & OVERLAY_FPS) != 0;
    static const char* const kSections[] = {"GlobalsWindow", "InstancesWindow", "MessagesWindow"};
    static const char* const kTitles[] = {"Globals", "Instances", "Messages"};
    for (int32_t i = 0; i < DEBUGWIN_COUNT; ++i) {
        DebugInfoWindow& w = f.windows[i];
        if (i < DEBUGWIN_LOCALS_FIRST) {
            w.section = kSections[i];
            w.title = kTitles[i];
        } else {
            w.section = "LocalsWindow" + std::to_string(i);
            w.title = "Locals";
        }
    }
    f.shown = true;
    Console_SetFormSink(&g_formConsole);
}

namespace {

void LoadSettings(Form& f)
{
    f.settingsLoaded = true;
    IniFile* ini = f.settings.get();
    if (!ini) return;
    if (const char* v = ini->ReadString("DebugForm", "FPSVisible", nullptr)) {
        if (std::string(v) == "false") DebugForm_SetFpsVisible(false);
    }
    for (int32_t i = 0; i < DEBUGWIN_COUNT; ++i) {
        DebugInfoWindow& w = f.windows[i];
        const char* s = w.section.c_str();
        const char* visible = ini->ReadString(s, "Visible", nullptr);
        if (ini->FindKey(s, "left") && ini->FindKey(s, "top") && ini->FindKey(s, "right") && ini->FindKey(s, "bottom")) {
            w.rect[0] = ini->ReadInt(s, "left", 0);
            w.rect[1] = ini->ReadInt(s, "top", 0);
            w.rect[2] = ini->ReadInt(s, "right", 0);
            w.rect[3] = ini->ReadInt(s, "bottom", 0);
        }
        if (!visible || std::string(visible) != "true") continue;
        if (i < DEBUGWIN_LOCALS_FIRST) {
            w.shown = true;
        } else {
            const int32_t id = ini->ReadInt(s, "InstanceID", 0);
            w.instanceId = id;
            w.shown = true;
        }
    }
    const int32_t n = ini->ReadInt("DebugForm", "NumWatches", 0);
    for (int32_t i = 0; i < n && i < 100000; ++i) {
        char key[32];
        std::snprintf(key, sizeof key, "Watch%d", i);
        if (const char* e = ini->ReadString("DebugForm", key, nullptr)) DebugForm_AddWatch(e);
    }
}

void Destroy()
{
    Console_SetFormSink(nullptr); // trace lines go only to the log again
    g_form.reset();
}

} // namespace

void DebugForm_SaveSettings()
{
    if (!g_form) return;
    Form& f = *g_form;
    f.shown = false;
    IniFile* ini = f.settings.get();
    if (!ini) return;
    ini->DeleteSection("DebugForm");
    ini->WriteString("DebugForm", "FPSVisible", f.fpsVisible ? "true" : "false");
    ini->WriteString("DebugForm", "NumWatches", std::to_string(f.watches.size()).c_str());
    for (size_t i = 0; i < f.watches.size(); ++i)
        ini->WriteString("DebugForm", ("Watch" + std::to_string(i)).c_str(), f.watches[i].expression.c_str());
    for (const DebugInfoWindow& w : f.windows) {
        const char* s = w.section.c_str();
        ini->DeleteSection(s);
        ini->WriteString(s, "Visible", w.shown ? "true" : "false");
        if (!w.shown) continue;
        ini->WriteString(s, "bottom", std::to_string(w.rect[3]).c_str());
        ini->WriteString(s, "top", std::to_string(w.rect[1]).c_str());
        ini->WriteString(s, "left", std::to_string(w.rect[0]).c_str());
        ini->WriteString(s, "right", std::to_string(w.rect[2]).c_str());
        ini->WriteString(s, "InstanceID", std::to_string(w.instanceId).c_str());
    }
    bool saved = true;
    MEM_FREE(ini->Flush(&saved));
    if (!saved) Console_Output("Debug.ini could not be written\n");
}

void DebugForm_End()
{
    if (!g_form) return;
    if (g_form->refreshing > 0) {
        g_form->endWanted = true;
        g_form->shown = false;
        return;
    }
    DebugForm_SaveSettings();
    Destroy();
}

void DebugForm_Close()
{
    if (!g_form) return;
    if (g_form->refreshing > 0) {
        g_form->closeWanted = true;
        g_form->shown = false;
        return;
    }
    DebugForm_SaveSettings();
    // The form goes while the game goes on: a paused game runs again.
    if (Running() && Paused()) Run_State().paused = 0;
    Destroy();
}

void DebugForm_ShowWindow(bool show)
{
    if (g_form) g_form->shown = show;
}

bool DebugForm_Shown() { return g_form && g_form->shown; }

// =============================================================================================
// [SECTION] Refresh
// =============================================================================================
namespace {

void RefreshWatches(Form& f)
{
    f.rows.resize(f.watches.size());
    for (size_t i = 0; i < f.watches.size(); ++i) {
        Watch& w = f.watches[i];
        if (!w.compiled || w.compiled->Text() != w.expression) {
            w.compiled = std::make_unique<DebugExpression>(w.expression, "watch");
            ++f.compiles;
        }
        ScriptValue v = Value_Real(0.0);
        w.value = w.compiled->Evaluate(&v) ? Debug_FormatValue(v) : DEBUG_UNABLE;
        Value_FreeString(&v);
        if (f.rows[i].expression != w.expression) f.rows[i].expression = w.expression;
        if (f.rows[i].value != w.value) f.rows[i].value = w.value;
    }
    if (f.selected >= int32_t(f.rows.size())) f.selected = int32_t(f.rows.size()) - 1;
}

void RefreshStatus(Form& f)
{
    CRoom* room = Run_CurrentRoom();
    DebugFormStatus& s = f.status;
    s.roomSpeed = "Room Speed: " + std::to_string(room ? room->m_speed : 0);
    s.fps = "FPS: " + std::to_string(Run_State().fps);
    const GR_BatchStats& stats = GR_Batch_Stats();
    s.textureSwaps = "Num Tex Swaps: " + std::to_string(stats.textureSwaps);
    s.vertexBatches = "Num Vertex Batches: " + std::to_string(stats.batches);
    s.instances = "inst: " + std::to_string(room ? room->m_active.count : 0);
    // The instance under the mouse (room coordinates through the first view).
    const float mx = float(GR_Window_DeviceMouseX(0)), my = float(GR_Window_DeviceMouseY(0));
    CInstance* hit = nullptr;
    for (CInstance* i = room ? room->m_active.head : nullptr; i && !hit; i = i->m_pNext)
        if (!i->i_marked && !i->i_deactivated && i->CollisionPoint(mx, my, true)) hit = i;
    s.mouse = hit ? "mouse id: " + std::to_string(hit->i_id) : "mouse id: ";
    if (hit && IO_GetMouseButton(0) != 0 && IO_KeyDown(17)) DebugForm_ShowLocalsOf(hit->i_id);
}

void RefreshGlobals(DebugInfoWindow& w)
{
    static const char* const kNames[] = {"mouse_x", "mouse_y", "mouse_button", "mouse_button", "mouse_lastbutton",
                                         "keyboard_key", "keyboard_lastkey", "keyboard_lastchar", "keyboard_string",
                                         "score", "lives", "health", "room", "room_width", "room_height", "room_speed",
                                         "room_persistent", "cursor_sprite", "working_directory", "temp_directory",
                                         "program_directory", "secure_mode", "error_occurred", "error_last"};
    CInstance* scratch = Debug_ScratchInstance();
    size_t n = 0;
    for (const char* name : kNames) {
        ScriptValue v = BuiltIn(name, scratch);
        SetRow(w.rows, n++, name, Debug_FormatValue(v));
        Value_FreeString(&v);
    }
    if (CVariableList* globals = Variable_Global_List()) {
        for (int32_t b = 0; b < 64; ++b)
            for (CVariable* v = globals->Bucket(b); v; v = v->nextBucket) {
                const char* name = Code_Variable_GetName(v->id);
                SetRow(w.rows, n++, name ? name : "", Debug_FormatValue(v->value));
            }
    }
    w.rows.resize(n);
}

void RefreshInstances(DebugInfoWindow& w)
{
    CRoom* room = Run_CurrentRoom();
    size_t n = 0;
    for (CInstance* i = room ? room->m_active.head : nullptr; i; i = i->m_pNext) {
        if (i->i_marked || i->i_deactivated) continue;
        SetRow(w.rows, n++, std::to_string(i->i_id), ObjectName(i->i_objindex), SpriteName(i->i_spriteindex));
    }
    w.rows.resize(n);
}

void RefreshLocals(DebugInfoWindow& w)
{
    static const char* const kNames[] = {
        "x", "y", "direction", "speed", "hspeed", "vspeed", "friction", "gravity", "gravity_direction", "id",
        "object_index", "sprite_index", "image_index", "image_angle", "image_speed", "image_scale", "image_alpha",
        "mask_index", "solid", "visible", "persistent", "depth", "path_index", "path_position", "path_orientation",
        "path_scale", "phy_rotation", "phy_position_x", "phy_position_y", "phy_angular_velocity",
        "phy_linear_velocity_x", "phy_linear_velocity_y", "phy_speed_x", "phy_speed_y", "phy_bullet",
        "phy_fixed_rotation", "phy_active", "phy_mass", "phy_inertia", "phy_com_x", "phy_com_y", "phy_dynamic",
        "phy_kinematic", "phy_sleeping", "phy_collision_points", "phy_collision_x", "phy_collision_y",
        "phy_col_normal_x", "phy_col_normal_y"};
    CInstance* inst = ActiveInstance(w.instanceId);
    w.title = "Instance Var: " + std::string(inst ? ObjectName(inst->i_objindex) : "Unknown") + " (" +
              std::to_string(inst ? inst->i_id : -1) + ")";
    size_t n = 0;
    for (const char* name : kNames) {
        ScriptValue v = BuiltIn(name, inst);
        SetRow(w.rows, n++, name, Debug_FormatValue(v));
        Value_FreeString(&v);
    }
    if (inst && inst->m_pVariables) {
        for (int32_t b = 0; b < 64; ++b)
            for (CVariable* v = inst->m_pVariables->Bucket(b); v; v = v->nextBucket) {
                const char* name = Code_Variable_GetName(v->id);
                SetRow(w.rows, n++, name ? name : "", Debug_FormatValue(v->value));
            }
    }
    w.rows.resize(n);
}

} // namespace

void DebugForm_Update()
{
    if (!g_form || !Running() || !Run_CurrentRoom() || !g_StartupOptions.debugMode) return;
    Form& f = *g_form;
    ++f.refreshing;
    if (!f.settingsLoaded) LoadSettings(f);
    if (f.shown) {
        RefreshStatus(f);
        RefreshWatches(f);
    }
    if (f.windows[DEBUGWIN_GLOBALS].shown) RefreshGlobals(f.windows[DEBUGWIN_GLOBALS]);
    if (f.windows[DEBUGWIN_INSTANCES].shown) RefreshInstances(f.windows[DEBUGWIN_INSTANCES]);
    for (int32_t i = DEBUGWIN_LOCALS_FIRST; i <= DEBUGWIN_LOCALS_LAST; ++i)
        if (f.windows[i].shown) RefreshLocals(f.windows[i]);
    if (--f.refreshing > 0) return;
    if (f.endWanted) DebugForm_End();
    else if (f.closeWanted) DebugForm_Close();
}

const DebugFormStatus& DebugForm_Status()
{
    static const DebugFormStatus none;
    return g_form ? g_form->status : none;
}

// =============================================================================================
// [SECTION] Commands
// =============================================================================================
void DebugForm_SetAsk(DebugFormAsk ask) { g_ask = ask; }

void DebugForm_SetFpsVisible(bool on)
{
    if (g_form) g_form->fpsVisible = on;
    const uint32_t flags = Overlay_Flags();
    Overlay_SetFlags(on ? flags | OVERLAY_FPS : flags & ~OVERLAY_FPS);
}

bool DebugForm_FpsVisible() { return g_form ? g_form->fpsVisible : (Overlay_Flags() & OVERLAY_FPS) != 0; }

void DebugForm_AddWatch(const char* expression)
{
    if (!g_form) return;
    Watch w;
    w.expression = expression ? expression : "";
    g_form->watches.push_back(std::move(w));
}

int32_t DebugForm_WatchCount() { return g_form ? int32_t(g_form->watches.size()) : 0; }

const std::vector<DebugWatchRow>& DebugForm_WatchRows()
{
    static const std::vector<DebugWatchRow> none;
    return g_form ? g_form->rows : none;
}

void DebugForm_SelectWatch(int32_t row)
{
    if (!g_form) return;
    const int32_t n = int32_t(g_form->rows.size());
    g_form->selected = row < 0 ? 0 : row >= n ? n - 1 : row;
}

int32_t DebugForm_SelectedWatch() { return g_form ? g_form->selected : -1; }
int32_t DebugForm_CompileCount() { return g_form ? g_form->compiles : 0; }

void DebugForm_Command(int32_t command)
{
    if (!g_form) return;
    Form& f = *g_form;
    switch (command) {
    // With code on the stack the game is held at a break (a remote debugger's breakpoint or
    // step): a step or a loop run from here would start another step inside the one that is
    // held. Run and Step let the held code go on instead, Step as far as its next line.
    case DEBUGFORM_RUN:
        if (Running() && Paused() && VM_FrameCount() > 0) {
            DebugNet_SetPaused(false);
        } else if (Running() && Paused()) {
            Run_StartGameLoop();
            if (!Running()) Run_StopGame();
        }
        break;
    case DEBUGFORM_PAUSE:
        if (Running() && !Paused()) Run_PauseGame();
        break;
    case DEBUGFORM_STEP:
        if (Running() && Paused() && VM_FrameCount() > 0) DebugNet_Step(true);
        else if (Running() && Paused()) Run_DebugStep();
        break;
    case DEBUGFORM_RESTART:
        if (!Running()) break;
        f.shown = false;
        Run_State().roomSwitch = ROOM_RESTARTGAME;
        if (Paused()) Run_State().paused = 0; // the next frame restarts the game
        break;
    case DEBUGFORM_STOP:
        if (Running()) Run_StopGame();
        break;
    case DEBUGFORM_ADD_WATCH: {
        std::string answer;
        if (Ask("Provide an expression", "Please type in the expression", "", &answer) && g_form) {
            DebugForm_AddWatch(answer.c_str());
            DebugForm_Update();
        }
        break;
    }
    case DEBUGFORM_CHANGE_WATCH: {
        const int32_t i = f.selected;
        if (i < 0 || i >= int32_t(f.watches.size())) break;
        std::string answer;
        const std::string current = f.watches[size_t(i)].expression;
        if (Ask("Provide an expression.", "Please type in the expression", current.c_str(), &answer) && g_form &&
            !answer.empty() && i < int32_t(g_form->watches.size())) {
            g_form->watches[size_t(i)].expression = answer;
            DebugForm_Update();
        }
        break;
    }
    case DEBUGFORM_DELETE_WATCH: {
        const int32_t i = f.selected;
        if (i < 0 || i >= int32_t(f.watches.size())) break;
        f.watches.erase(f.watches.begin() + i);
        f.rows.erase(f.rows.begin() + i);
        if (f.selected >= int32_t(f.rows.size())) f.selected = int32_t(f.rows.size()) - 1;
        if (f.selected < 0) f.selected = 0;
        break;
    }
    case DEBUGFORM_CLEAR_WATCHES:
        f.watches.clear();
        f.rows.clear();
        f.selected = 0;
        break;
    case DEBUGFORM_SHOW_GLOBALS: DebugForm_ShowInfoWindow(DEBUGWIN_GLOBALS, true); break;
    case DEBUGFORM_SHOW_INSTANCES: DebugForm_ShowInfoWindow(DEBUGWIN_INSTANCES, true); break;
    case DEBUGFORM_SHOW_MESSAGES: DebugForm_ShowInfoWindow(DEBUGWIN_MESSAGES, true); break;
    case DEBUGFORM_SHOW_LOCALS: {
        std::string answer;
        if (Ask("Showing Local Variables.", "Please provide the instance id or object name.", "", &answer) && g_form)
            DebugForm_ShowLocals(answer.c_str());
        break;
    }
    default: break;
    }
}

// =============================================================================================
// [SECTION] Windows
// =============================================================================================
DebugInfoWindow& DebugForm_Window(int32_t index)
{
    static DebugInfoWindow none;
    if (!g_form || index < 0 || index >= DEBUGWIN_COUNT) return none = DebugInfoWindow();
    return g_form->windows[index];
}

void DebugForm_ShowInfoWindow(int32_t index, bool show)
{
    if (!g_form || index < 0 || index >= DEBUGWIN_COUNT) return;
    g_form->windows[index].shown = show;
    if (show) DebugForm_Update();
}

void DebugForm_PlaceWindow(int32_t index, int32_t formLeft, int32_t formTop, int32_t* x, int32_t* y)
{
    int32_t n = 1;
    if (g_form) {
        for (int32_t i = 0; i < DEBUGWIN_COUNT; ++i) {
            if (i == index || !g_form->windows[i].shown) continue;
            n += i == DEBUGWIN_GLOBALS ? 2 : 1; // the Globals window counts once more
        }
    }
    *x = formLeft + 8 * n;
    *y = formTop + 32 * n;
}

void DebugForm_ShowLocalsOf(int32_t id)
{
    if (!g_form) return;
    Form& f = *g_form;
    int32_t use = -1;
    for (int32_t i = DEBUGWIN_LOCALS_FIRST; i <= DEBUGWIN_LOCALS_LAST && use < 0; ++i)
        if (f.windows[i].shown && f.windows[i].instanceId == id) use = i;
    for (int32_t i = DEBUGWIN_LOCALS_FIRST; i <= DEBUGWIN_LOCALS_LAST && use < 0; ++i)
        if (!f.windows[i].shown) use = i;
    if (use < 0) use = DEBUGWIN_LOCALS_LAST;
    DebugInfoWindow& w = f.windows[use];
    if (w.instanceId != id) {
        w.rows.clear();
        w.selected = -1;
    }
    w.instanceId = id;
    w.shown = true;
    RefreshLocals(w);
}

void DebugForm_ShowLocals(const char* text)
{
    const std::string t = text ? text : "";
    const char* end = nullptr;
    const double number = Real_ParseDecimal(t.c_str(), &end);
    const bool isNumber = !t.empty() && end && *end == 0;
    int32_t id = isNumber ? Real_TruncToInt32(number) : -1;
    if (!isNumber && t != "0") {
        id = -1;
        CRoom* room = Run_CurrentRoom();
        for (CInstance* i = room ? room->m_active.head : nullptr; i; i = i->m_pNext) {
            if (i->i_marked || i->i_deactivated) continue;
            const char* name = Object_GetName(i->i_objindex);
            if (name && t == name) {
                id = i->i_id;
                break;
            }
        }
    }
    DebugForm_ShowLocalsOf(id);
}

void DebugForm_DoubleClick(int32_t window, int32_t row)
{
    if (!g_form || window < 0 || window >= DEBUGWIN_COUNT) return;
    DebugInfoWindow& w = g_form->windows[window];
    if (row < 0 || row >= int32_t(w.rows.size())) return;
    if (window == DEBUGWIN_GLOBALS) {
        DebugForm_AddWatch(w.rows[size_t(row)].column[0].c_str());
    } else if (window == DEBUGWIN_INSTANCES) {
        DebugForm_ShowLocalsOf(std::atoi(w.rows[size_t(row)].column[0].c_str()));
    } else if (window >= DEBUGWIN_LOCALS_FIRST) {
        DebugForm_AddWatch(("(" + std::to_string(w.instanceId) + ")." + w.rows[size_t(row)].column[0]).c_str());
    } else {
        return;
    }
    DebugForm_Update();
}

// =============================================================================================
// [SECTION] Messages
// =============================================================================================
void DebugConsole_Output(const char* text)
{
    if (!g_form || !text) return;
    // At most 4,096 UTF-16 units of the line are kept, cut at a character.
    const char* p = text;
    int32_t units = 0;
    while (*p && units < DEBUGFORM_MESSAGE_UNITS) {
        Utf8_DecodeNext(&p);
        ++units;
    }
    g_messages.emplace_front(text, size_t(p - text));
    while (g_messages.size() > size_t(DEBUGFORM_MESSAGES)) g_messages.pop_back();
}

int32_t DebugForm_MessageCount() { return int32_t(g_messages.size()); }

const std::string& DebugForm_Message(int32_t i)
{
    static const std::string none;
    return i >= 0 && i < int32_t(g_messages.size()) ? g_messages[size_t(i)] : none;
}

std::string DebugForm_CopyMessages(const std::vector<int32_t>& selected)
{
    std::string out;
    auto add = [&](const std::string& row) {
        for (const char* p = row.c_str(); *p;) out += char(Utf8_DecodeNext(&p) & 0xFF);
        out += '\n';
    };
    if (selected.empty()) {
        for (const std::string& m : g_messages) add(m);
        return out;
    }
    int32_t n = 0;
    for (int32_t i : selected) {
        if (n >= DEBUGFORM_COPY_ROWS) break;
        if (i < 0 || i >= int32_t(g_messages.size())) continue;
        add(g_messages[size_t(i)]);
        ++n;
    }
    return out;
}

void DebugForm_Reset()
{
    Destroy();
    g_messages.clear();
}
