// Room start, room end and persistence: the per-room array of kept rooms, the carried
// persistent instances, and the two operations the frame runs in pairs (Files/Room/Room.h).
#include <cstddef>
#include <vector>

#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Execute.h"
#include "Files/Object/Event.h"
#include "Files/Object/Instance_Pending.h"
#include "Files/Option/Options.h"
#include "Files/Room/Room.h"
#include "Files/World/World_Hooks.h"
#include "Files/World/World_State.h"

namespace {
std::vector<CRoom*> g_kept;       // one slot per room index
std::vector<CInstance*> g_carried; // detached copies of persistent instances between rooms

// Creation code runs outside any event: the event state says whose it is (room's index, the
// instance's id and object), so that its errors name it.
void RunCreationCode(CCode* code, CInstance* self, int32_t room, const CInstance* instance)
{
    EventState& st = Event_State();
    const EventState::Creation saved = st.creation;
    st.creation = {room, instance ? instance->i_id : -1, instance ? instance->i_objindex : -1};
    ScriptValue result = Value_Real(0.0);
    Code_Execute(self, self, code, &result);
    Value_FreeString(&result);
    st.creation = saved;
}

void RunCreationCode(CInstance* i, int32_t room)
{
    if (i->m_pCreationCode) RunCreationCode(i->m_pCreationCode, i, room, i);
}
} // namespace

void Room_ResetKept(int32_t count)
{
    Room_FreeKept();
    g_kept.assign(std::size_t(count > 0 ? count : 0), nullptr);
    Room_FreeCarried();
}

void Room_FreeKept()
{
    for (CRoom*& r : g_kept) {
        if (!r) continue;
        if (r == Run_CurrentRoom()) Room_SetCurrent(-1, nullptr);
        delete r; // its instances leave the instance table as they go
        r = nullptr;
    }
    g_kept.clear();
}

void Room_ReplaceKept(std::vector<CRoom*>&& rooms)
{
    Room_SetCurrent(-1, nullptr);
    Room_FreeKept();
    Room_FreeCarried();
    Run_ClearPendingChanges();
    g_kept = std::move(rooms);
}

CRoom* Room_Kept(int32_t index) { return index >= 0 && std::size_t(index) < g_kept.size() ? g_kept[std::size_t(index)] : nullptr; }
int32_t Room_KeptCount() { return int32_t(g_kept.size()); }

void Room_FreeCarried()
{
    for (CInstance* i : g_carried) delete i;
    g_carried.clear();
}

void Room_End(bool gameEnd)
{
    CRoom* room = Run_CurrentRoom();
    if (!room) return;
    room->RemoveMarked();
    RunState& st = Run_State();
    const int32_t kept = st.roomSwitch;
    st.roomSwitch = ROOM_STAY;
    Event_PerformAll(EVENT_OTHER, EV_ROOM_END);
    if (gameEnd) Event_PerformAll(EVENT_OTHER, EV_GAME_END);
    st.roomSwitch = kept;
    if (World_Hooks().virtualButtonsClear) World_Hooks().virtualButtonsClear();

    // Persistent instances are carried out as detached copies; the originals are deleted.
    Room_FreeCarried();
    g_carried.reserve(10);
    for (CInstance* i = room->m_active.head; i;) {
        CInstance* next = i->m_pNext;
        if (!i->i_marked && !i->i_deactivated && i->i_persistent) {
            auto* copy = new CInstance(0, 0, 0, -1, false);
            copy->Assign(i, false);
            g_carried.push_back(copy);
            room->DeleteInstance(i);
        }
        i = next;
    }

    const int32_t index = Run_CurrentRoomIndex();
    if (room->m_persistent) {
        // The room stays in its slot with its instances, out of the lists and the table.
        for (CInstance* i = room->m_active.head; i; i = i->m_pNext) {
            i->LeaveObjectLists();
            InstanceHash_Remove(i);
        }
        for (CInstance* i = room->m_deactivated.head; i; i = i->m_pNext) InstanceHash_Remove(i);
    } else {
        if (index >= 0 && std::size_t(index) < g_kept.size() && g_kept[std::size_t(index)] == room) g_kept[std::size_t(index)] = nullptr;
        delete room;
    }
    Room_SetCurrent(-1, nullptr);
    Run_ClearPendingChanges();
}

void Room_SetCurrent(int32_t index, CRoom* room)
{
    Run_SetCurrentRoom(index, room);
    Run_SetActiveList(room ? &room->m_active : nullptr);
}

void Room_Start(int32_t room, bool gameStart)
{
    RunState& st = Run_State();
    st.roomSwitch = ROOM_STAY;
    if (World_Hooks().inputClear) World_Hooks().inputClear();
    if (World_Hooks().effectClear) World_Hooks().effectClear();
    if (room < 0) room = 0; // only room indexes reach here; a negative one never indexes the array
    if (std::size_t(room) >= g_kept.size()) g_kept.resize(std::size_t(room) + 1, nullptr);

    CRoom* live = g_kept[std::size_t(room)];
    const bool fresh = live == nullptr;
    if (!fresh) {
        for (CInstance* i = live->m_active.head; i; i = i->m_pNext) {
            if (i->m_pObject) i->m_pObject->AddInstance(i);
            InstanceHash_Add(i);
        }
        for (CInstance* i = live->m_deactivated.head; i; i = i->m_pNext) InstanceHash_Add(i);
        Room_SetCurrent(room, live);
    } else {
        live = new CRoom();
        g_kept[std::size_t(room)] = live;
        Room_SetCurrent(room, live);
        live->CopyFrom(Room_Data(room), true);
    }
    Room_FitWindowToViews();

    // Carried instances merge in.
    for (CInstance* c : g_carried) {
        CInstance* match = nullptr;
        for (CInstance* i = live->m_active.head; i; i = i->m_pNext) {
            if (i->i_id == c->i_id) {
                match = i;
                break;
            }
        }
        if (match) {
            match->Assign(c, true);
            match->i_carried = 1;
            Run_QueueDepthChange(match);
        } else {
            CInstance* i = live->AddInstance(c->i_x, c->i_y, c->i_objindex);
            InstanceHash_Remove(i);
            i->Assign(c, true);
            InstanceHash_Add(i);
            i->i_carried = 1;
            Run_QueueDepthChange(i);
        }
        delete c;
    }
    g_carried.clear();

    if (fresh) {
        // The list as it stands, in list order (events may add or move instances meanwhile).
        std::vector<CInstance*> created(std::size_t(live->m_active.count));
        std::size_t k = created.size();
        for (CInstance* i = live->m_active.tail; i && k > 0; i = i->m_pPrev) {
            i->i_created = 0;
            created[--k] = i;
        }
        const bool createFirst = g_Options.createEventFirst != 0;
        for (CInstance* i : created) {
            if (i->i_carried) {
                i->i_carried = 0;
                continue;
            }
            if (i->i_marked || i->i_deactivated) continue;
            if (createFirst) {
                Event_Perform(i, i, EVENT_CREATE, 0);
                RunCreationCode(i, room);
            } else {
                RunCreationCode(i, room);
                Event_Perform(i, i, EVENT_CREATE, 0);
            }
            i->i_created = 1;
        }
    }
    if (gameStart) Event_PerformAll(EVENT_OTHER, EV_GAME_START);
    if (fresh && live->m_pCreationCode && Run_CurrentRoom() == live) {
        CInstance temp(0, 0, 0, 0, false);
        RunCreationCode(live->m_pCreationCode, &temp, room, nullptr);
    }
    Event_PerformAll(EVENT_OTHER, EV_ROOM_START);
    if (st.roomSwitch == ROOM_STAY && st.drawEnabled) Room_DrawAll();
}

void Room_Goto(int32_t room)
{
    Room_End(false);
    Room_Start(room, false);
}
