// CInstance: one live instance of an object in the running game: its sprite and image fields,
// position and motion, bounding box, alarms, path and time-line fields, flags and variables.
// Also the instance table by id and the operations that keep a room's instance list in depth
// order. Motion and path following are in Instance_Motion.cpp, the collision tests in
// Instance_Collision.cpp.
//
// Ownership: the room that holds an instance in its list deletes it; the instance table and
// the object's instance lists only refer to it. The instance owns its variable list and the
// nodes through which it sits in its object's lists.
//
// Needs: the object table, the variable list, the run state (event stamp, pending queues), the
// world's resource hooks (sprites). No Linux/ file.
#pragma once

#include <cstdint>

#include "Files/Object/Object.h"

class CObject;
class CRoom;
class CVariableList;
class CCode;
class IBuffer;
class tagIConsole;

// Sprite facts the instance reads (filled by the sprite module through the resource hooks).
struct WorldSpriteInfo;

class CInstance {
public:
    // An instance at (x, y) with the given id, of the given object (joining that object's
    // instance lists when joinObjectList is set).
    CInstance(float x, float y, int32_t id, int32_t objectIndex, bool joinObjectList);
    // Leaves its object's instance lists, leaves the pending queues, releases its physics body
    // and deletes its variables. The instance table and the room lists are the caller's.
    virtual ~CInstance();
    CInstance(const CInstance&) = delete;
    CInstance& operator=(const CInstance&) = delete;

    // ---- Object ----
    void SetObject(int32_t index, bool joinObjectList);
    // instance_change: queued; the lists change at the pending pass.
    void ChangeObject(int32_t index);
    void ApplyObjectChange();
    // Copies other (persistent carry, instance_copy); see the field list in Instance.cpp.
    void Assign(const CInstance* other, bool joinObjectList);
    // Takes the instance out of whatever object lists hold it.
    void LeaveObjectLists();
    bool InObjectLists() const { return m_pListObject != nullptr; }
    // Leaves the recursive lists and joins those of its list object's current parent chain
    // (its place in its own object's list is kept).
    void RelinkRecursive();
    // The one writer of m_pObject: moves the instance from the old object's referrer list to
    // the new one's (lists of instances are left as they are).
    void BindObject(CObject* object);

    // ---- Bounding box and image ----
    void ComputeBoundingBox();
    void RefreshBoundingBox()
    {
        if (i_bboxDirty) ComputeBoundingBox();
    }
    void SetSprite(int32_t sprite);
    void SetMaskIndex(int32_t mask);
    void SetImageXScale(float v);
    void SetImageYScale(float v);
    void SetImageAngle(float v);
    int32_t GetImageNumber() const;
    // The sprite that gives the collision shape (mask, else sprite), or -1.
    int32_t MaskSprite() const { return i_maskindex >= 0 ? i_maskindex : i_spriteindex; }

    // ---- Alarms and paths ----
    int32_t GetAlarm(int32_t index) const { return uint32_t(index) < 12u ? i_alarm[index] : -1; }
    void SetAlarm(int32_t index, int32_t value)
    {
        if (uint32_t(index) < 12u) i_alarm[index] = value;
    }
    void SetPathPosition(float v);
    void SetPathPositionPrevious(float v);
    void SetPathSpeed(float v) { i_pathspeed = v; }

    // ---- Motion (Instance_Motion.cpp) ----
    void UpdateDirectionSpeed();
    void UpdateHVSpeed();
    void SetDirection(float d);
    void SetSpeed(float s);
    void SetHSpeed(float h);
    void SetVSpeed(float v);
    void SetPosition(float x, float y);
    void AddMotion(float direction, float length);
    void ApplyFrictionGravity();
    void StartPath(int32_t path, float speed, float scale, float orientation, bool relative, int32_t endAction);
    bool AdvancePath();

    // ---- Collision tests (Instance_Collision.cpp) ----
    bool CollisionPoint(float x, float y, bool precise);
    bool CollisionRectangle(float x1, float y1, float x2, float y2, bool precise);
    bool CollisionEllipse(float x1, float y1, float x2, float y2, bool precise);
    bool CollisionLine(float x1, float y1, float x2, float y2, bool precise);
    bool CollisionInstance(CInstance* other, bool precise);

    // ---- Physics ----
    // Binds the object's fixture to the instance in a room's physics world (nothing for null).
    void CreatePhysicsBody(void* world);

    // ---- Id ----
    void SetId(int32_t id, bool rehash);

    // ---- Saved game (Instance_Save.cpp) ----
    // Writes the instance's record (the box recomputed first when stale) and its variables.
    void Serialise(IBuffer* buffer);
    // Reads a record into this freshly made instance: its object is set through SetObject
    // (joining the object's lists only when joinObjectList is set), the fields read after it
    // overwrite the object's defaults, the box stays marked stale. False when the record is cut
    // short or its variables are malformed (the instance then holds what was read).
    bool DeSerialise(IBuffer* buffer, bool joinObjectList);
    // One line per field (a diagnostic aid).
    void Dump(tagIConsole* console);

    // ---- Accessors the script language uses ----
    CVariableList* GetVariables() const { return m_pVariables; }
    int32_t GetID() const { return i_id; }
    int32_t GetObjectIndex() const { return i_objindex; }
    CObject* GetObject() const { return m_pObject; }
    bool IsMarked() const { return i_marked != 0; }
    bool IsDeactivated() const { return i_deactivated != 0; }
    void SetMarked(bool on) { i_marked = on ? 1 : 0; }
    void SetDeactivated(bool on) { i_deactivated = on ? 1 : 0; }
    bool IsLive() const { return !i_marked && !i_deactivated; }
    float GetDepth() const { return i_depth; }
    void SetDepth(float depth) { i_depth = depth; }
    // Marks the bounding box for recomputation and counts the change (World_ShapeChanges).
    void MarkBBoxDirty();

    // ---- Fields ----
    uint8_t i_bboxDirty;
    uint8_t i_visible, i_solid, i_persistent;
    uint8_t i_marked;       // marked for deletion: skipped everywhere, removed in the draw phase
    uint8_t i_deactivated;  // on the room's deactivated list instead of the active list
    uint8_t i_destroying;   // the destroy event has been fired once
    uint8_t i_carried;      // a carried persistent copy: creation code and create event skipped once
    uint8_t i_created;      // the create event has run
    uint64_t m_creationStamp;
    int32_t i_id;           // unique in the running game, from 100000 up
    int32_t i_objindex;
    CObject* m_pObject;     // not owned; null when the index names no object (BindObject)
    void* m_pPhysics;       // the physics body (owned by the physics layer); null without physics
    int32_t i_spriteindex;
    float i_imageindex, i_imagespeed, i_imagescalex, i_imagescaley, i_imageangle, i_imagealpha;
    uint32_t i_imageblend;
    int32_t i_maskindex;    // -1 = use the sprite
    uint8_t i_precise;
    float i_x, i_y, i_xstart, i_ystart, i_xprevious, i_yprevious;
    float i_direction, i_speed, i_friction, i_gravitydir, i_gravity, i_hspeed, i_vspeed;
    int32_t i_bbox_left, i_bbox_top, i_bbox_right, i_bbox_bottom;
    int32_t i_alarm[12];
    CVariableList* m_pVariables; // owned
    int32_t i_pathindex;
    float i_pathposition, i_pathpositionprevious, i_pathspeed, i_pathscale, i_pathorientation;
    int32_t i_pathend;
    float i_pathxstart, i_pathystart;
    int32_t i_timelineindex;
    float i_timelineposition, i_timelinespeed;
    uint8_t i_timelinerunning, i_timelineloop;
    CCode* m_pCreationCode; // not owned
    uint8_t m_objectChangePending; // an object change is queued and the instance had an object
    CInstance* m_pNext;     // room list links
    CInstance* m_pPrev;
    float i_depth;          // greater depth lies further back
    float m_listDepth;      // the depth under which the instance is sorted in its room list

    // Object-list membership (intrusive nodes).
    CObject* m_pListObject = nullptr; // the object whose lists hold this instance
    ObjectInstanceNode m_ownNode{};
    ObjectInstanceNode m_referrerNode{}; // in m_pObject's referrer list
    int32_t m_recursiveCount = 0;
    ObjectInstanceNode m_recursiveInline[4]{};
    ObjectInstanceNode* m_pRecursiveExtra = nullptr; // owned, beyond the inline nodes
    int32_t m_recursiveCapacity = 4;
    ObjectInstanceNode* RecursiveNode(int32_t i)
    {
        return i < 4 ? &m_recursiveInline[i] : &m_pRecursiveExtra[i - 4];
    }
    // The spatial index of the active list (Run_Index.cpp): membership and queue stamps, the
    // order key (ascending along the list), the cells the box is filed under (x0 > x1: none),
    // the slot in the list of boxes every query takes (-1: none), the place in the queue, the
    // last query that took it.
    uint64_t m_idxGen = 0;
    uint64_t m_idxQueuedGen = 0;
    int64_t m_idxOrder = 0;
    int32_t m_idxX0 = 1, m_idxY0 = 0, m_idxX1 = 0, m_idxY1 = 0;
    int32_t m_idxSlot = -1;
    int32_t m_idxQueueSlot = 0;
    uint32_t m_idxMark = 0;
    // Which pending queues hold the instance (Run_Lists.cpp).
    int32_t m_queued = 0;
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
// Unlinks, then 0 keeps the instance, 1 deletes it.
void InstanceList_Remove(InstanceList* list, CInstance* instance, int32_t mode);
// Re-inserts the given instances (already unlinked, each with its new depth) by depth, in
// their order: the same list as inserting them one after the other, in one merge.
void InstanceList_InsertManyByDepth(InstanceList* list, CInstance** items, int32_t count);

// Counts every change of an instance's position or shape (each bounding-box invalidation).
uint64_t World_ShapeChanges();

// Gives the script language its view of instances and objects (Code_SetWorldAccess): run by
// the object table's start and by every new instance.
void Instance_InstallCodeAccess();

// The instance table by id.
void Instance_InitHash();
void InstanceHash_Add(CInstance* instance);
void InstanceHash_Remove(CInstance* instance);
CInstance* Instance_Find(int32_t id);
// Deletes every instance still in the table and empties it. The rooms remove their own
// instances from the table when they delete them, so at game end and shutdown only instances
// no room owns are left here.
void Instance_FreeAll();
int32_t Instance_Count();
