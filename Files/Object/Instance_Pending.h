// The instances the run reaches between the step's phases: the current room's active instance
// list, and the queues of the pending changes the step applies after each phase
// (Run_ApplyPendingChanges): instances whose change of object waits (such an instance still
// sits in its old object's list and is found for its new object through this queue), depth
// re-sorts, and whether anything was activated or deactivated. The room module sets the active
// list when a room starts. Queue membership is a flag on the instance, so queueing is O(1).
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

// Queues a depth re-sort of the instance (once).
void Run_QueueDepthChange(CInstance* instance);
int32_t Run_DepthChangeCount();
// Called by the instance destructor: forgets the instance in every queue.
void Run_ForgetInstance(CInstance* instance);
// Something activated or deactivated an instance.
void Run_SetActivationChanged();
// The flag, cleared.
bool Run_TakeActivationChanged();
// Empties every queue and the flag.
void Run_ClearPendingChanges();
// Applies the queued object changes (those queued meanwhile too), then re-sorts the queued
// instances of the active list by depth.
void Instance_ApplyQueuedChanges();
