// The current room's active list pointer and the pending change queues: object changes and
// depth changes (Files/World/World_State.h, Files/Run/Run_Main.h).
#include "Files/Object/Instance_Pending.h"

#include <algorithm>
#include <vector>

#include "Files/Object/Instance.h"
#include "Files/Object/Instance_Index.h"

namespace {
InstanceList* g_active = nullptr;
std::vector<CInstance*> g_objectChanges;
std::vector<CInstance*> g_depthChanges;
bool g_activationChanged = false;

// Queue membership is kept in flags on the instance (m_queued) so that queueing stays O(1).
constexpr int32_t kQueuedObject = 1 << 30;
constexpr int32_t kQueuedDepth = 1 << 29;
} // namespace

InstanceList* Run_GetActiveList() { return g_active; }
void Run_SetActiveList(InstanceList* list)
{
    if (list != g_active) WorldIndex_Reset();
    g_active = list;
}

void Run_QueueObjectChange(CInstance* instance)
{
    if (instance->m_queued & kQueuedObject) return;
    instance->m_queued |= kQueuedObject;
    g_objectChanges.push_back(instance);
}

int32_t Run_ObjectChangeCount() { return int32_t(g_objectChanges.size()); }

CInstance* Run_ObjectChangeAt(int32_t i)
{
    return i >= 0 && size_t(i) < g_objectChanges.size() ? g_objectChanges[size_t(i)] : nullptr;
}

void Run_UnqueueObjectChange(CInstance* instance)
{
    if (!(instance->m_queued & kQueuedObject)) return;
    instance->m_queued &= ~kQueuedObject;
    auto it = std::find(g_objectChanges.begin(), g_objectChanges.end(), instance);
    if (it != g_objectChanges.end()) g_objectChanges.erase(it);
}

void Run_ClearObjectChanges()
{
    for (CInstance* i : g_objectChanges) i->m_queued &= ~kQueuedObject;
    g_objectChanges.clear();
}

void Run_QueueDepthChange(CInstance* instance)
{
    if (instance->m_queued & kQueuedDepth) return;
    instance->m_queued |= kQueuedDepth;
    g_depthChanges.push_back(instance);
}

int32_t Run_DepthChangeCount() { return int32_t(g_depthChanges.size()); }

void Run_ForgetInstance(CInstance* instance)
{
    Run_UnqueueObjectChange(instance);
    if (instance->m_queued & kQueuedDepth) {
        auto it = std::find(g_depthChanges.begin(), g_depthChanges.end(), instance);
        if (it != g_depthChanges.end()) g_depthChanges.erase(it);
        instance->m_queued &= ~kQueuedDepth;
    }
}

void Run_SetActivationChanged() { g_activationChanged = true; }

void Run_ClearPendingChanges()
{
    for (CInstance* i : g_depthChanges) i->m_queued &= ~kQueuedDepth;
    g_depthChanges.clear();
    Run_ClearObjectChanges();
    g_activationChanged = false;
}

bool Run_TakeActivationChanged()
{
    const bool changed = g_activationChanged;
    g_activationChanged = false;
    return changed;
}

void Instance_ApplyQueuedChanges()
{
    if (!g_objectChanges.empty()) {
        // Entries added while applying are applied too.
        for (size_t k = 0; k < g_objectChanges.size(); ++k) {
            CInstance* i = g_objectChanges[k];
            i->m_queued &= ~kQueuedObject;
            i->ApplyObjectChange();
        }
        g_objectChanges.clear();
    }
    if (!g_depthChanges.empty()) {
        std::vector<CInstance*> queue;
        queue.swap(g_depthChanges);
        InstanceList* list = g_active;
        std::vector<CInstance*> moving;
        moving.reserve(queue.size());
        for (CInstance* i : queue) {
            i->m_queued &= ~kQueuedDepth;
            if (i->i_deactivated || !list) continue;
            if (!i->m_pPrev && !i->m_pNext && list->head != i) continue; // not in the room's list
            InstanceList_Unlink(list, i);
            moving.push_back(i);
        }
        if (list) InstanceList_InsertManyByDepth(list, moving.data(), int32_t(moving.size()));
    }
}
