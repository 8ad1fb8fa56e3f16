// The spatial index of the current room's active list, for the place, position and collision
// queries (Run_Commands.cpp) and the collision phase of the step (Run_Step.cpp): a hashed
// uniform grid of the instances' bounding boxes, and an
// order key per instance that grows along the room list, so that the candidates of a query
// are tested in list order and the first match is the one a walk of the list would find.
//
// The index follows the list through the room-list operations (Instance.cpp calls the hooks
// below when it links or unlinks an instance of the indexed list) and follows the boxes through
// the instances' shape changes (CInstance::MarkBBoxDirty queues the instance; the queue is
// filed again, boxes brought up to date, at the next query). It is made at the first query of
// a room with enough instances and dropped when the active list changes.
//
// Exactness: a candidate is every instance whose filed box can meet the query's box by the
// tests' own comparisons; boxes that are inverted or lie beyond 2^23 pixels (where the tests'
// float conversions are inexact) and boxes that cover many cells are candidates of every
// query. Queries the index cannot answer exactly (regions that are not finite or too large)
// answer null, and the caller walks the list.
//
// Needs: instances and their room-list links, objects (the inclusive instance lists). No
// Linux/ file.
#pragma once

#include <cstdint>
#include <vector>

class CInstance;
class CObject;
struct InstanceList;

// An inclusive rectangle of room pixels (integers).
struct WorldRegion {
    int64_t left, top, right, bottom;
};

// The pixels a float rectangle can reach in the box tests (floor of each edge); false when the
// rectangle is not finite or lies beyond the exact range.
bool WorldRegion_FromFloats(float x1, float y1, float x2, float y2, WorldRegion* out);
// The instance's box brought up to date; false when it is inverted or beyond the exact range.
bool WorldRegion_FromInstance(CInstance* instance, WorldRegion* out);

// The candidates of a query over region for the target (-3: the active list in its order; an
// object index: that object's inclusive instance list in its order), before the candidate,
// "not me" and shape tests, which the caller makes in the order given. Null when the index
// does not answer this query (the caller walks the list). The vector is the index's own and
// stays valid until the next query.
const std::vector<CInstance*>* WorldIndex_Candidates(int32_t target, const WorldRegion& region);
// The same for the object's own instance list (not its descendants'), in that list's order:
// the collision phase's candidates.
const std::vector<CInstance*>* WorldIndex_OwnCandidates(const CObject* object, const WorldRegion& region);

// ---- Hooks of the room-list operations and the instances ----
namespace world_index {
// The membership stamp of the index in use (an instance is a member when its m_idxGen holds
// it); UINT64_MAX while there is none, a value no instance holds.
extern uint64_t g_generation;
} // namespace world_index
// After instance was linked into list (its neighbours set).
void WorldIndex_Inserted(InstanceList* list, CInstance* instance);
// After instance was unlinked from list.
void WorldIndex_Unlinked(InstanceList* list, CInstance* instance);
// After a merge re-linked list with count new items (InstanceList_InsertManyByDepth).
void WorldIndex_Merged(InstanceList* list, CInstance** items, int32_t count);
// The instance's box may have changed (its box is read again at the next query). Callers
// check membership first (CInstance::MarkBBoxDirty).
void WorldIndex_Queue(CInstance* instance);
// The instance is being deleted.
void WorldIndex_Forget(CInstance* instance);
// Drops the index (the active list changed, or its room is freed).
void WorldIndex_Reset();

// Test tooling: the least number of instances a room needs for the index to be made (64 by
// default); 0 makes it for every room.
void WorldIndex_SetThreshold(int32_t instances);
// Test tooling: false makes every query walk its list (the index is still kept up to date).
void WorldIndex_SetEnabled(bool on);
// Test tooling: how many queries the index has answered.
int64_t WorldIndex_Answered();
// Test tooling: the index agrees with its list (members, order keys, filed boxes).
bool WorldIndex_Check();
