// Async_ProcessRequests and Async_FireEvent (Files/Run/Run_Async.h).
//
// async_load is -1 outside delivery. The map a request builds is destroyed after its event
// only if its slot still holds that very map (DS_Map_Serial before the event,
// DS_Map_DestroyDelivered after): an event may destroy it itself, and a new map may take the
// slot. Its large texts (an HTTP reply of megabytes, handed to the map without a copy) are
// freed on the request layer's releaser thread, so a delivery costs microseconds whatever the
// size of the reply.
//
// Needs the request list (Files/HTTP/HTTP.h), maps (Files/DS/DS_Map.h), the online
// services' queues, the per-event object lists, PerformEvent and the run state. No Linux/ file.
#include "Files/Run/Run_Async.h"

#include "Files/DS/DS_Map.h"
#include "Files/HTTP/HTTP.h"
#include "Files/Object/Event.h"
#include "Files/Object/Instance.h"
#include "Files/Object/Object.h"
#include "Files/Run/Run_Main.h"
#include "Files/World/World_Hooks.h"

void Async_FireEvent(int32_t n)
{
    if (!((n >= 60 && n <= 64) || n == 67 || n == 69)) return;
    const std::vector<int32_t> objects = Object_Lists_Get(EVENT_OTHER, n); // a copy: the events may rebuild the lists
    if (objects.empty()) return;
    const uint64_t stamp = Run_NextEventStamp();
    for (int32_t index : objects) {
        CObject* o = Object_Lookup(index);
        if (!o) continue;
        for (ObjectInstanceNode* node = o->m_instances.GetHead(); node;) {
            ObjectInstanceNode* next = node->next;
            CInstance* i = node->value;
            if (!i->i_marked && !i->i_deactivated && i->m_creationStamp <= stamp)
                PerformEvent(i, i, i->i_objindex, EVENT_OTHER, n);
            node = next;
        }
    }
}

void Async_ProcessRequests()
{
    RunState& st = Run_State();
    // The online services' purchase events and queued callbacks come first.
    if (World_Hooks().servicesAsync) World_Hooks().servicesAsync();
    HTTP_ReapThreads();
    HTTP_REQ_CONTEXT** head = HTTP_RequestListHead();
    for (HTTP_REQ_CONTEXT** link = head; *link;) {
        // Once an event has asked for another room no event is performed until the switch:
        // the finished requests left wait for the next step's delivery instead of being lost.
        if (st.roomSwitch != ROOM_STAY) break;
        HTTP_REQ_CONTEXT* r = *link;
        if (!r->inUse || r->state.load() != HTTP_STATE_FINISHED) {
            link = &r->next;
            continue;
        }
        *link = r->next;
        r->next = nullptr;
        st.asyncLoad = -1;
        int32_t map = -1;
        const int32_t n = r->completion ? r->completion(r, r->user, &map) : 0;
        const uint64_t serial = map >= 0 ? DS_Map_Serial(map) : 0;
        st.asyncLoad = map;
        if (n >= 60) Async_FireEvent(n);
        st.asyncLoad = -1;
        // Large texts (a big reply) are freed off the main thread.
        if (map >= 0) DS_Map_DestroyDelivered(map, serial, HTTP_ReleaseLater);
        HTTP_DestroyRequest(r);
        link = head; // the event may have queued or finished others: walk again from the head
    }
    st.asyncLoad = -1;
}
