// The run state the script language reads to reach instances: the current room's active
// instance list, and the queue of instances whose change of object waits for the step's
// pending pass (such an instance still sits in its old object's list and is found for its new
// object through this queue). The room module sets the active list when a room starts.
#pragma once

#include <cstdint>

class CInstance;
struct InstanceList;

// The active list of the current room, or null when no room runs.
InstanceList* Run_GetActiveList();
void Run_SetActiveList(InstanceList* list);

// The pending object-change queue: a set of instances in the order they were queued, without
// duplicates.
void Run_QueueObjectChange(CInstance* instance);
int32_t Run_ObjectChangeCount();
CInstance* Run_ObjectChangeAt(int32_t i);
// Forgets one instance (it is being deleted).
void Run_UnqueueObjectChange(CInstance* instance);
void Run_ClearObjectChanges();
