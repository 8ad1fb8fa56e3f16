// Event records, dispatch and names (Files/Event/Event.h).
#include "Files/Object/Event.h"

#include <cstdio>
#include <cstring>

#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Constant.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Execute.h"
#include "Files/Code/Code_Function.h"
#include "Files/Object/Instance.h"
#include "Files/Object/Instance_Pending.h"
#include "Files/Object/Object.h"
#include "Files/Support/FileImage.h"
#include "Files/World/World_Hooks.h"
#include "Files/World/World_State.h"
#include "Platform/MemoryManager.h"

namespace {
EventState g_state;
int32_t g_executing = 0;         // CEvent::Execute calls running
std::vector<CEvent*> g_retired; // events taken out while code ran

void FreeRetired()
{
    std::vector<CEvent*> retired;
    retired.swap(g_retired);
    for (CEvent* e : retired) delete e;
}

void FreeAction(CEvent::Action& a)
{
    delete a.code;
    MEM_FREE(a.text);
    a = {};
}
} // namespace

EventState& Event_State() { return g_state; }

// =============================================================================================
// CEvent
// =============================================================================================

CEvent::~CEvent()
{
    delete m_pCode;
    MEM_FREE(m_pText);
    for (Action& a : m_more) FreeAction(a);
}

bool CEvent::Load(const FileImage& image, uint32_t actionList)
{
    FileCursor c(image);
    if (!c.Seek(actionList)) return false;
    uint32_t actions = c.U32();
    uint32_t first = actions ? c.U32() : 0;
    if (!c.ok()) return false;
    if (actions == 0) return true; // no action: the event stays absent
    uint32_t codeIndex = 0, textOffset = 0;
    if (!image.U32(first + 32, codeIndex) || !image.U32(first + 60, textOffset)) return false;
    delete m_pCode;
    m_pCode = nullptr;
    MEM_FREE(m_pText);
    m_pText = nullptr;
    m_codeIndex = -1;
    if (Code_Table_Present()) {
        m_pText = MEM_STRDUP("");
        if (codeIndex != 0xFFFFFFFFu && codeIndex < 0x7FFFFFFFu) m_codeIndex = int32_t(codeIndex);
    } else {
        bool ok = true;
        const char* text = textOffset ? image.String(textOffset, ok) : nullptr;
        if (!ok) return false;
        m_pText = MEM_STRDUP(text ? text : "");
        m_pCode = new CCode(m_pText, false);
    }
    m_present = 1;
    return true;
}

void CEvent::SetText(const char* text)
{
    delete m_pCode;
    MEM_FREE(m_pText);
    m_pText = MEM_STRDUP(text ? text : "");
    m_pCode = new CCode(m_pText, false);
    m_present = 1;
}

bool CEvent::Compile(const char* unitName)
{
    if (m_codeIndex >= 0) {
        if (!m_pCode) m_pCode = new CCode(m_codeIndex, false);
        return true;
    }
    if (Code_Table_Present() || !m_pCode) return true;
    if (m_pCode->m_compiled) return true;
    char name[1024];
    if (!unitName) {
        std::snprintf(name, sizeof name, "Object.%s.%s.%d", Object_GetName(g_state.object),
                      Event_GetShortName(g_state.type, g_state.number), g_state.action);
        unitName = name;
    }
    if (m_pCode->Compile(unitName)) return true;
    char message[1024];
    const char* error = Code_Error_GetText();
    std::snprintf(message, sizeof message, "COMPILATION ERROR in code action\n%s", error ? error : "");
    Code_Error_Report(message, true);
    return false;
}

bool CEvent::Execute(CInstance* self, CInstance* other)
{
    bool relative = Function_GetRelative();
    Function_SetRelative(0);
    ++g_executing; // this event stays alive until the count falls back to 0
    const size_t more = m_more.size();
    ScriptValue result = Value_Real(0.0);
    bool ok = Code_Execute(self, other, m_pCode, &result);
    Value_FreeString(&result);
    for (size_t k = 0; k < more; ++k) {
        ScriptValue r = Value_Real(0.0);
        ok = Code_Execute(self, other, m_more[k].code, &r) && ok;
        Value_FreeString(&r);
    }
    Function_SetRelative(relative ? 1 : 0);
    if (--g_executing == 0 && !g_retired.empty()) FreeRetired(); // may delete this event
    return ok;
}

void CEvent::AddAction(Action action)
{
    if (m_present) {
        m_more.push_back(action);
        return;
    }
    delete m_pCode;
    MEM_FREE(m_pText);
    m_pCode = action.code;
    m_pText = action.text;
    m_codeIndex = -1;
    m_present = 1;
}

bool Event_CompileAction(const char* text, const char* name, CEvent::Action* out)
{
    CEvent::Action a;
    a.text = MEM_STRDUP(text ? text : "");
    a.code = new CCode(a.text, false);
    Code_Error_ClearRecorded();
    if (!a.code->Compile(name)) {
        FreeAction(a);
        return false;
    }
    *out = a;
    return true;
}

void Event_Retire(CEvent* e)
{
    if (!e) return;
    if (g_executing > 0)
        g_retired.push_back(e);
    else
        delete e;
}

// =============================================================================================
// Dispatch
// =============================================================================================

CEvent* Event_Find(int32_t o, int32_t type, int32_t subtype, int32_t* found)
{
    *found = o;
    if (type < 0 || type >= OBJECT_EVENT_TYPES || subtype < 0) return nullptr;
    for (CObject* x = Object_Lookup(o); x; x = x->m_pParent) {
        if (CEvent* e = x->GetEvent(type, subtype)) {
            *found = x->m_index;
            return e;
        }
    }
    if (type == EVENT_COLLISION) {
        CObject* s = Object_Lookup(subtype);
        for (CObject* p = s ? s->m_pParent : nullptr; p; p = p->m_pParent) {
            for (CObject* x = Object_Lookup(o); x; x = x->m_pParent) {
                if (CEvent* e = x->GetEvent(EVENT_COLLISION, p->m_index)) {
                    *found = x->m_index;
                    return e;
                }
            }
        }
    }
    *found = o;
    return nullptr;
}

void PerformEvent(CInstance* self, CInstance* other, int32_t o, int32_t type, int32_t subtype)
{
    if (Run_State().roomSwitch != ROOM_STAY) return;
    int32_t found = o;
    CEvent* e = Object_ResolveEvent(Object_Lookup(o), o, type, subtype, &found);
    if (!e) return;
    if (++g_state.depth > EVENT_MAX_NESTING) {
        // The error reporter's fatal path ends the game, as every fatal report of the world does
        // (a missing room, moving past the last room): the loop stops at the frame's end and the
        // run ends with 0. Only the virtual machine's own errors end it with -1.
        Code_Error_Report("PerformEvent recursion depth failure - check for infinite loops, check objects for parenting",
                          true);
        --g_state.depth;
        return;
    }
    const int32_t savedObject = g_state.object, savedType = g_state.type, savedNumber = g_state.number;
    const EventState::Creation savedCreation = g_state.creation;
    g_state.object = found;
    g_state.type = type;
    g_state.number = subtype;
    g_state.creation = {};
    e->Execute(self, other);
    --g_state.depth;
    g_state.object = savedObject;
    g_state.type = savedType;
    g_state.number = savedNumber;
    g_state.creation = savedCreation;
}

void Event_Perform(CInstance* self, CInstance* other, int32_t type, int32_t subtype)
{
    if (!self) return;
    PerformEvent(self, other, self->i_objindex, type, subtype);
}

void Event_PerformAll(int32_t type, int32_t subtype)
{
    if (Run_State().roomSwitch != ROOM_STAY) return;
    InstanceList* list = Run_GetActiveList();
    if (!list) return;
    for (CInstance* i = list->head; i;) {
        CInstance* next = i->m_pNext;
        if (i->IsLive()) PerformEvent(i, i, i->i_objindex, type, subtype);
        i = next;
    }
}

bool Event_RunLibraryInit() { return false; }
void Library_FreeInitCode() {}

// =============================================================================================
// Names
// =============================================================================================

const char* Event_GetStepPrefix(int32_t n)
{
    if (n == 1) return "Begin";
    if (n == 2) return "End";
    return "";
}

const char* Event_GetKeyName(int32_t key)
{
    static char buffer[64];
    switch (key) {
    case 0: return "<no key>";
    case 1: return "<any key>";
    case 8: return "<Backspace>";
    case 9: return "<Tab>";
    case 13: return "<Enter>";
    case 16: return "<Shift>";
    case 17: return "<Ctrl>";
    case 18: return "<Alt>";
    case 27: return "<Escape>";
    case 32: return "<Space>";
    case 33: return "<Page Up>";
    case 34: return "<Page Down>";
    case 35: return "<End>";
    case 36: return "<Home>";
    case 37: return "<Left>";
    case 38: return "<Up>";
    case 39: return "<Right>";
    case 40: return "<Down>";
    case 45: return "<Insert>";
    case 46: return "<Delete>";
    case 106: return "Keypad *";
    case 107: return "Keypad +";
    case 109: return "Keypad -";
    case 110: return "Keypad .";
    case 111: return "Keypad /";
    default: break;
    }
    if ((key >= 48 && key <= 57) || (key >= 65 && key <= 90)) {
        std::snprintf(buffer, sizeof buffer, "%c-key", char(key));
    } else if (key >= 96 && key <= 105) {
        std::snprintf(buffer, sizeof buffer, "Keypad-%d", key - 96);
    } else if (key >= 112 && key <= 123) {
        std::snprintf(buffer, sizeof buffer, "F%d", key - 111);
    } else {
        return "<unknown>";
    }
    return buffer;
}

const char* Event_GetMouseName(int32_t n)
{
    static char buffer[64];
    static const char* const fixed[] = {"Left Button",    "Right Button",    "Middle Button",  "No Button",
                                        "Left Pressed",   "Right Pressed",   "Middle Pressed", "Left Released",
                                        "Right Released", "Middle Released", "Mouse Enter",    "Mouse Leave"};
    if (n >= 0 && n <= 11) return fixed[n];
    static const char* const stick[] = {"Left", "Right", "Up", "Down"};
    if (n >= 16 && n <= 19) {
        std::snprintf(buffer, sizeof buffer, "Joystick 1 %s", stick[n - 16]);
        return buffer;
    }
    if (n >= 21 && n <= 28) {
        std::snprintf(buffer, sizeof buffer, "Joystick 1 Button %d", n - 20);
        return buffer;
    }
    if (n >= 31 && n <= 34) {
        std::snprintf(buffer, sizeof buffer, "Joystick 2 %s", stick[n - 31]);
        return buffer;
    }
    if (n >= 36 && n <= 43) {
        std::snprintf(buffer, sizeof buffer, "Joystick 2 Button %d", n - 35);
        return buffer;
    }
    static const char* const glob[] = {"Glob Left Button",    "Glob Right Button",   "Glob Middle Button",
                                       "Glob Left Pressed",   "Glob Right Pressed",  "Glob Middle Pressed",
                                       "Glob Left Released",  "Glob Right Released", "Glob Middle Released"};
    if (n >= 50 && n <= 58) return glob[n - 50];
    if (n == 60) return "Mouse Wheel Up";
    if (n == 61) return "Mouse Wheel Down";
    return "<unknown>";
}

const char* Event_GetOtherName(int32_t n)
{
    static char buffer[64];
    static const char* const fixed[] = {"Outside Room", "Intersect Boundary", "Game Start",  "Game End",
                                        "Room Start",   "Room End",           "No More Lives", "Animation End",
                                        "End Of Path",  "No More Health"};
    if (n >= 0 && n <= 9) return fixed[n];
    if (n >= 10 && n <= 25) {
        std::snprintf(buffer, sizeof buffer, "User Defined %d", n - 10);
        return buffer;
    }
    if (n == 30) return "Close Button";
    if (n >= 40 && n <= 47) {
        std::snprintf(buffer, sizeof buffer, "Outside View %d", n - 40);
        return buffer;
    }
    if (n >= 50 && n <= 57) {
        std::snprintf(buffer, sizeof buffer, "Boundary View %d", n - 50);
        return buffer;
    }
    return "<unknown>";
}

const char* Event_GetAsyncName(int32_t n)
{
    switch (n) {
    case 60: return "Image Loaded";
    case 61: return "Sound Loaded";
    case 62: return "HTTP";
    case 63: return "Dialog";
    case 66: return "IAP";
    case 67: return "Cloud";
    case 68: return "Networking";
    case 69: return "Steam";
    default: return "<unknown>";
    }
}

const char* Event_GetName(int32_t type, int32_t subtype)
{
    static char buffer[512];
    switch (type) {
    case EVENT_CREATE: return "Create Event";
    case EVENT_DESTROY: return "Destroy Event";
    case EVENT_ALARM: std::snprintf(buffer, sizeof buffer, "Alarm Event for alarm %d", subtype); break;
    case EVENT_STEP: std::snprintf(buffer, sizeof buffer, " Step Event%d", subtype); break;
    case EVENT_COLLISION: std::snprintf(buffer, sizeof buffer, "%s%s", " Step Event", Object_GetName(subtype)); break;
    case EVENT_KEYBOARD:
        std::snprintf(buffer, sizeof buffer, "%s%s%s", "Keyboard Event for ", Event_GetKeyName(subtype), " Key");
        break;
    case EVENT_MOUSE: std::snprintf(buffer, sizeof buffer, "%s%s", "Mouse Event for ", Event_GetMouseName(subtype)); break;
    case EVENT_OTHER:
        if (subtype >= 60)
            std::snprintf(buffer, sizeof buffer, "%s%s", "Web Event: ", Event_GetAsyncName(subtype));
        else
            std::snprintf(buffer, sizeof buffer, "%s%s", "Other Event: ", Event_GetOtherName(subtype));
        break;
    case EVENT_DRAW: return "Draw Event";
    case EVENT_KEYPRESS:
        std::snprintf(buffer, sizeof buffer, "%s%s%s", "Key Press Event for ", Event_GetKeyName(subtype), " Key");
        break;
    case EVENT_KEYRELEASE:
        std::snprintf(buffer, sizeof buffer, "%s%s%s", "Key Release Event for ", Event_GetKeyName(subtype), " Key");
        break;
    default: return "<Unknown Event>";
    }
    return buffer;
}

const char* Event_GetShortName(int32_t type, int32_t subtype)
{
    static char buffer[512];
    switch (type) {
    case EVENT_CREATE: return "Create";
    case EVENT_DESTROY: return "Destroy";
    case EVENT_ALARM: std::snprintf(buffer, sizeof buffer, "Alarm %d", subtype); break;
    case EVENT_STEP: std::snprintf(buffer, sizeof buffer, "%sStep", Event_GetStepPrefix(subtype)); break;
    case EVENT_COLLISION: std::snprintf(buffer, sizeof buffer, "%s", Object_GetName(subtype)); break;
    case EVENT_KEYBOARD: std::snprintf(buffer, sizeof buffer, "%s", Event_GetKeyName(subtype)); break;
    case EVENT_MOUSE: std::snprintf(buffer, sizeof buffer, "%s", Event_GetMouseName(subtype)); break;
    case EVENT_OTHER:
        std::snprintf(buffer, sizeof buffer, "%s", subtype >= 60 ? Event_GetAsyncName(subtype) : Event_GetOtherName(subtype));
        break;
    case EVENT_DRAW: return "Draw";
    case EVENT_KEYPRESS: std::snprintf(buffer, sizeof buffer, "press %s", Event_GetKeyName(subtype)); break;
    case EVENT_KEYRELEASE: std::snprintf(buffer, sizeof buffer, "release %s", Event_GetKeyName(subtype)); break;
    default: return "<Unknown Event>";
    }
    return buffer;
}
