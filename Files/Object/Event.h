// Events: CEvent (one event's compiled code), how the event for (object, type, subtype) is
// found through the parent chain, PerformEvent with its nesting limit and the current-event
// state it keeps (event_type, event_number, event_object, event_action), the performances on
// one instance or on every instance, a time-line moment's performance, and the texts that name
// events, keys and mouse buttons in messages and code names.
//
// Event types: 0 create, 1 destroy, 2 alarm, 3 step (0 step, 1 begin, 2 end), 4 collision
// (subtype = other object), 5 keyboard, 6 mouse, 7 other, 8 draw, 9 key press, 10 key
// release, 11 (loaded and compiled, never dispatched).
//
// Needs: code units and the execution entry points, the error reporter, the object table, the
// run state (room-switch code). No Linux/ file.
#pragma once

#include <cstdint>
#include <vector>

class CCode;
class CInstance;
class FileImage;

enum : int32_t {
    EVENT_CREATE = 0, EVENT_DESTROY = 1, EVENT_ALARM = 2, EVENT_STEP = 3, EVENT_COLLISION = 4,
    EVENT_KEYBOARD = 5, EVENT_MOUSE = 6, EVENT_OTHER = 7, EVENT_DRAW = 8, EVENT_KEYPRESS = 9,
    EVENT_KEYRELEASE = 10, EVENT_TRIGGER = 11,
};
// Other-event subtypes used by the run loop.
enum : int32_t {
    EV_OUTSIDE = 0, EV_BOUNDARY = 1, EV_GAME_START = 2, EV_GAME_END = 3, EV_ROOM_START = 4,
    EV_ROOM_END = 5, EV_NO_MORE_LIVES = 6, EV_ANIMATION_END = 7, EV_END_OF_PATH = 8,
    EV_NO_MORE_HEALTH = 9, EV_USER0 = 10, EV_OUTSIDE_VIEW0 = 40, EV_BOUNDARY_VIEW0 = 50,
};
// The event type that marks time-line code in the current-event state.
constexpr int32_t EVENT_TIMELINE_MARK = 100000;
// Nested performances allowed (the 33rd is refused with the recursion message).
constexpr int32_t EVENT_MAX_NESTING = 32;

class CEvent {
public:
    CEvent() = default;
    virtual ~CEvent();
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    // Reads the event from an action list record {action count, action offsets...}: the first
    // action's code (byte code: the code-table index at +32; source: the text at +60, copied).
    // An action count of 0 loads nothing and leaves the event absent. False for a malformed
    // record.
    bool Load(const FileImage& image, uint32_t actionList);
    // An event of code text given at run time (copied).
    void SetText(const char* text);
    // Compiles the code under name, or (null) "Object.%s.%s.%d" of the current event; with
    // byte code, binds the code-table entry (the table is filled after the chunks are read) and
    // answers true. A failure is reported as fatal ("COMPILATION ERROR in code action\n%s") and
    // answers false.
    bool Compile(const char* name = nullptr);
    // Runs the code for self and other (the relative flag cleared meanwhile), then the actions
    // added at run time; an action added while these run waits for the next performance.
    bool Execute(CInstance* self, CInstance* other);
    // One more action of code compiled at run time (Event_CompileAction), owned from now on;
    // the event's first when it has none.
    struct Action {
        CCode* code = nullptr;
        char* text = nullptr; // the code's text (the unit reads it)
    };
    void AddAction(Action action);
    // Present once loaded (or given text).
    bool IsPresent() const { return m_present != 0; }

    CCode* m_pCode = nullptr; // owned
    char* m_pText = nullptr;  // owned copy of the source text ("" for byte code)
    int32_t m_codeIndex = -1; // byte code: the code-table entry, bound when compiled
    uint8_t m_present = 0;
    std::vector<Action> m_more; // the actions after the first (owned)
};

// Compiles code text given at run time under name into an action; false (nothing made) when
// it does not compile, with the compiler's message recorded (Code_Error_GetText).
bool Event_CompileAction(const char* text, const char* name, CEvent::Action* out);
// Deletes an event taken out of its object or time line; while any event code runs (it may be
// this event's own) the deletion waits until the outermost performance ends.
void Event_Retire(CEvent* e);

// ---- Current-event state ------------------------------------------------------------------
struct EventState {
    int32_t type = 0;
    int32_t number = 0;
    int32_t object = -1;
    int32_t action = 0;
    int32_t depth = 0; // PerformEvent calls running
    // Creation code running outside any event (a room's, or an instance's at room start): the
    // room's index (-1 when none) and, for an instance's code, its id and object (-1 for the
    // room's own). An event or a time-line moment run inside it clears it while it runs. Error
    // reports name it; event_type and its kin keep what they had.
    struct Creation {
        int32_t room = -1;
        int32_t instance = -1;
        int32_t object = -1;
    } creation;
};
EventState& Event_State();

// ---- Dispatch ------------------------------------------------------------------------------
// The event of object o (own or inherited; collisions also through the other object's
// ancestors); found names the object holding it. Null when none.
CEvent* Event_Find(int32_t o, int32_t type, int32_t subtype, int32_t* found);
// Runs event (type, subtype) of object o for self and other; nothing while a room switch is
// pending or when there is no such event; refused (fatal report) past 32 nested calls.
void PerformEvent(CInstance* self, CInstance* other, int32_t o, int32_t type, int32_t subtype);
// PerformEvent with the instance's own object; nothing for a null instance.
void Event_Perform(CInstance* self, CInstance* other, int32_t type, int32_t subtype);
// On every live instance of the current room's active list.
void Event_PerformAll(int32_t type, int32_t subtype);
// The library initialisation texts: nothing fills them; both do nothing.
bool Event_RunLibraryInit();
void Library_FreeInitCode();

// ---- Names (each into its own static buffer, overwritten by the next call) -----------------
const char* Event_GetName(int32_t type, int32_t subtype);
const char* Event_GetShortName(int32_t type, int32_t subtype);
const char* Event_GetStepPrefix(int32_t n);
const char* Event_GetKeyName(int32_t key);
const char* Event_GetMouseName(int32_t n);
const char* Event_GetOtherName(int32_t n);
const char* Event_GetAsyncName(int32_t n);
