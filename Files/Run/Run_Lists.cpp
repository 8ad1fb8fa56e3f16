// The current room's active list pointer and the pending object-change queue.
#include "Files/Run/Run_Lists.h"

#include <algorithm>
#include <vector>

namespace {
InstanceList* g_active = nullptr;
std::vector<CInstance*> g_objectChanges;
} // namespace

InstanceList* Run_GetActiveList() { return g_active; }
void Run_SetActiveList(InstanceList* list) { g_active = list; }

void Run_QueueObjectChange(CInstance* instance)
{
    if (std::find(g_objectChanges.begin(), g_objectChanges.end(), instance) == g_objectChanges.end()) {
        g_objectChanges.push_back(instance);
    }
}

int32_t Run_ObjectChangeCount() { return int32_t(g_objectChanges.size()); }

CInstance* Run_ObjectChangeAt(int32_t i)
{
    return i >= 0 && size_t(i) < g_objectChanges.size() ? g_objectChanges[size_t(i)] : nullptr;
}

void Run_UnqueueObjectChange(CInstance* instance)
{
    auto it = std::find(g_objectChanges.begin(), g_objectChanges.end(), instance);
    if (it != g_objectChanges.end()) g_objectChanges.erase(it);
}

void Run_ClearObjectChanges() { g_objectChanges.clear(); }
