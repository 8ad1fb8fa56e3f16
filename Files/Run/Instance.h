// CInstance: one instance of an object in the running game (the part the script language
// needs; the game world adds the sprite, motion, path and time-line fields). Also the
// instance table by id and the operations on a room's instance list.
//
// Ownership: the room that holds an instance in its list deletes it; the instance table and
// the object's instance lists only refer to it. The instance owns its variable list.
// Needs: the variable list, the object table (Files/Object/Object.h), the Hash container.
#pragma once

#include <cstdint>

class CObject;
class CVariableList;

class CInstance {
public:
    // An instance at (x, y) with the given id, of the given object (joining that object's
    // instance list when joinObjectList is set).
    CInstance(float x, float y, int32_t id, int32_t objectIndex, bool joinObjectList);
    // Leaves its object's instance lists and deletes its variables. The instance table and
    // the room lists are the caller's to mend first.
    virtual ~CInstance();
    CInstance(const CInstance&) = delete;
    CInstance& operator=(const CInstance&) = delete;

    // object_index := index (-1 stored as 0); leaves the old object's lists; with the flag
    // joins the new object's lists; takes the object's depth.
    void SetObject(int32_t index, bool joinObjectList);

    CVariableList* GetVariables() const { return m_pVariables; }
    int32_t GetID() const { return i_id; }
    int32_t GetObjectIndex() const { return i_objindex; }
    CObject* GetObject() const { return m_pObject; }
    bool IsMarked() const { return i_marked != 0; }
    bool IsDeactivated() const { return i_deactivated != 0; }
    void SetMarked(bool on) { i_marked = on ? 1 : 0; }
    void SetDeactivated(bool on) { i_deactivated = on ? 1 : 0; }
    // Neither marked for deletion nor deactivated: what scope resolution and with-loops visit.
    bool IsLive() const { return !i_marked && !i_deactivated; }

    float GetDepth() const { return i_depth; }
    void SetDepth(float depth) { i_depth = depth; }

    uint8_t i_marked;      // marked for deletion: skipped everywhere, removed in the draw phase
    uint8_t i_deactivated; // on the room's deactivated list instead of the active list
    int32_t i_id;          // unique in the running game, from 100000 up
    int32_t i_objindex;
    CObject* m_pObject;    // not owned; null when the index names no object
    float i_x, i_y;
    float i_depth;         // greater depth lies further back
    float m_listDepth;     // the depth under which the instance is sorted in its room list
    CVariableList* m_pVariables; // owned
    CInstance* m_pNext;    // room list links
    CInstance* m_pPrev;
};

// A room's instance list {head, tail, count}, threaded through the instances' links.
// Invariant of an active list: ascending list depth, equal depths in insertion order.
struct InstanceList {
    CInstance* head = nullptr;
    CInstance* tail = nullptr;
    int32_t count = 0;
};

// Inserts before the first instance whose list depth is greater than the instance's depth,
// else at the tail; the instance's list depth becomes its depth.
void InstanceList_InsertByDepth(InstanceList* list, CInstance* instance);
// Unlinks the instance (kept alive).
void InstanceList_Unlink(InstanceList* list, CInstance* instance);
// Appends at the tail (the deactivated list's order).
void InstanceList_Append(InstanceList* list, CInstance* instance);

// The instance table by id (512 buckets).
void Instance_InitHash();
void InstanceHash_Add(CInstance* instance);
void InstanceHash_Remove(CInstance* instance);
// The instance with that id, or null.
CInstance* Instance_Find(int32_t id);
// Deletes every instance in the table and empties it.
void Instance_FreeAll();
int32_t Instance_Count();
