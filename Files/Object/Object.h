// CObject: the object resource instances are made from (sprite, mask, depth, flags, parent,
// physics settings and the twelve event lists by type), the object table by index, the OBJT
// chunk reader, the preparation (compilation) of the events and the per-event object lists
// the step dispatches through.
//
// Instance lists: `m_instances` holds the instances whose object is exactly this one, in the
// order they joined; `m_instancesRecursive` those whose object is this one or a descendant.
// Only instances that are not deactivated are in them. The lists are intrusive: the nodes live
// in the instance, so leaving every list costs nothing to look up (CInstance keeps one node for
// its object's own list and one for each recursive list it sits in).
//
// Parent chains never loop: the loader and object_set_parent refuse a parent that would close
// a cycle. Each object also lists its children (the objects whose parent pointer is it), so
// that deleting it touches only them.
//
// Who holds a CObject pointer: the table, its children's parent pointers, and instances
// (m_pObject: every instance made from it, in any list or none, is on its referrer list;
// m_pListObject: the instances in its own list). Object_Delete clears all of these at once;
// per-event lists and collision pairs hold indexes. Code running when an object is deleted
// may still hold the record (a dispatch loop, its running event), so a record deleted under
// running code is freed at the next step's start; one deleted with no code running is freed
// at once.
//
// Needs: the Hash container, the event record (Files/Event/Event.h), the game-file reader.
// No Linux/ file.
#pragma once

#include <cstdint>
#include <vector>

class CEvent;
class CInstance;
class FileImage;
class ObjectInstanceList;
class CObject;
template <class T>
struct HashNode;

// A node of an object's instance list; owned by the instance it names.
struct ObjectInstanceNode {
    ObjectInstanceNode* next;
    ObjectInstanceNode* prev;
    CInstance* value;
    ObjectInstanceList* owner; // the list the node is linked into; null when unlinked
    uint64_t seq;              // grows with every link: ascending along any list (appends only)
};

// An intrusive doubly linked list of instances (head, tail, count). Iterated as
// `for (auto* n = list.GetHead(); n; n = n->next) n->value`.
class ObjectInstanceList {
public:
    ObjectInstanceList() = default;
    ~ObjectInstanceList() { DetachAll(); }
    ObjectInstanceList(const ObjectInstanceList&) = delete;
    ObjectInstanceList& operator=(const ObjectInstanceList&) = delete;

    ObjectInstanceNode* GetHead() const { return m_head; }
    ObjectInstanceNode* GetTail() const { return m_tail; }
    int32_t GetCount() const { return m_count; }

    // Appends a node that is in no list.
    void Link(ObjectInstanceNode* node);
    // Unlinks a node of this list.
    void Unlink(ObjectInstanceNode* node);
    // Unlinks every node (the instances stay alive and know they left).
    void DetachAll();

private:
    ObjectInstanceNode* m_head = nullptr;
    ObjectInstanceNode* m_tail = nullptr;
    int32_t m_count = 0;
};

constexpr int32_t OBJECT_EVENT_TYPES = 12;
// Object indexes lie below this (numbers from here up name instances): the loader refuses an
// object at a higher index, and a collision event's number is the other object's index.
constexpr int32_t OBJECT_MAX_COUNT = 100000;

// The event an object runs for (type, subtype), own or inherited, with the object that
// defines it; cached per object and type, each entry valid while the event generation it was
// resolved under is current (events, parents or the object table unchanged).
struct ResolvedEvent {
    CEvent* event;
    int32_t found;       // the object index that holds the event
    uint64_t generation; // 0 = never resolved
};

class CObject {
public:
    explicit CObject(int32_t index);
    ~CObject();
    CObject(const CObject&) = delete;
    CObject& operator=(const CObject&) = delete;

    // Defaults: visible only, no sprite, depth 0, no parent, no mask, no name, no events,
    // both instance lists emptied (the instances are told they left).
    void Clear();

    void SetName(const char* name);
    void SetNameOwned(char* name);
    const char* GetName() const { return m_pName; }
    int32_t GetIndex() const { return m_index; }
    void SetSolid(bool on) { m_flags = on ? (m_flags | 1u) : (m_flags & ~1u); }
    void SetVisible(bool on) { m_flags = on ? (m_flags | 2u) : (m_flags & ~2u); }
    void SetPersistent(bool on) { m_flags = on ? (m_flags | 4u) : (m_flags & ~4u); }

    // The object's own event (type, subtype): null unless the slot exists and is present.
    // Negative subtypes and types outside 0..11 find nothing.
    CEvent* GetEvent(int32_t type, int32_t subtype) const;
    // Own or inherited, with the collision rule through the other object's ancestors.
    CEvent* FindEvent(int32_t type, int32_t subtype) const;
    // True when this object or an ancestor has the event (no collision rule).
    bool HasEvent(int32_t type, int32_t subtype) const;
    // The event slot (type, subtype), made (and the type's array grown) when missing; null for
    // a type outside 0..11 or a subtype outside 0..65535.
    CEvent* MakeEvent(int32_t type, int32_t subtype);
    bool IsDescendantOf(int32_t index) const;

    // Appends to this object's list and to the recursive list of this object and every
    // ancestor; an instance already in an object's lists leaves them first.
    void AddInstance(CInstance* instance);
    // Takes the instance out of every list it sits in; true when it was in this object's own
    // list.
    bool RemoveInstance(CInstance* instance);

    // Compiles every event; false at the first failure.
    bool CompileEvents();
    // Sets the parent pointer, moving the object from its old parent's children to the new
    // one's (the parent index and the instance lists are the caller's).
    void SetParentObject(CObject* parent);

    // Reads one OBJT entry at offset; false for a malformed entry.
    bool Load(const FileImage& image, uint32_t offset, uint8_t version);

    uint32_t m_flags;      // bit 0 solid, bit 1 visible, bit 2 persistent
    int32_t m_spriteIndex; // -1 none
    int32_t m_depth;
    int32_t m_parentIndex; // -1 none
    int32_t m_maskIndex;   // -1 = use the sprite
    char* m_pName;         // owned
    int32_t m_index;
    uint8_t m_usesPhysics, m_sensor;
    int32_t m_shapeKind;   // 0 circle, 1 box, 2 polygon
    int32_t m_collisionGroup;
    float m_density, m_restitution, m_linearDamping, m_angularDamping, m_friction;
    uint8_t m_awake, m_kinematic;
    int32_t m_pointCount;
    float* m_pPoints;      // owned, m_pointCount (x, y) pairs
    CObject* m_pParent;    // not owned; set through SetParentObject
    int32_t m_childCount = 0; // objects whose m_pParent is this one
    CObject* m_pFirstChild = nullptr;  // those objects, linked through their siblings
    CObject* m_pNextSibling = nullptr;
    CObject* m_pPrevSibling = nullptr;
    struct EventList {
        int32_t count;
        CEvent** events;   // owned array of count slots; null slot = no event
    } m_events[OBJECT_EVENT_TYPES];
    ObjectInstanceList m_instances;
    ObjectInstanceList m_instancesRecursive;
    // Every instance whose m_pObject is this object, whether in its lists or not (deactivated,
    // kept in a persistent room, carried, waiting for an object change).
    ObjectInstanceList m_referrers;

    // Resolution cache (see ResolvedEvent): one lazily made array per type, grown to the
    // subtypes asked for.
    struct ResolvedCache {
        int32_t size;
        ResolvedEvent* entries;
    } m_resolved[OBJECT_EVENT_TYPES];

    // The object table's own: the node holding the record, and when it was inserted (the
    // chain of its bucket keeps insertion order).
    HashNode<CObject>* m_pTableNode = nullptr;
    uint64_t m_tableOrder = 0;
};

// ---- Object table ------------------------------------------------------------------------
// A Hash of 512 buckets keyed by object index, and the count (one more than the highest
// index ever used; indexes of deleted objects are not used again).
void Object_InitHash();
CObject* Object_Lookup(int32_t index);
bool Object_Exists(int32_t index);
const char* Object_GetName(int32_t index);
int32_t Object_GetCount();
int32_t Object_Add();
// Puts an object at its index; false when the index is taken or negative.
bool Object_Insert(CObject* object);
// Removes the object: its instances are taken out of its lists and forget it (they keep their
// object index, which now names nothing), its children lose their parent pointer (keeping
// their parent index), its events are retired and the event resolution is recomputed. The
// cost is its own instances, children and their instances; the per-event lists are not
// rebuilt (they skip indexes that name nothing). False when there is no such object.
bool Object_Delete(int32_t index);
// Frees the records deleted while code was running; called where no code runs and nothing
// holds a record (the step's start, the table's end).
void Object_FreeDeleted();
// The first object with that name in table order (bucket index & 511 upwards, each bucket in
// the order its objects were inserted): one hash look-up; -1 when none.
int32_t Object_Find(const char* name);
// Table order (bucket 0 upwards, each chain from its head).
template <class F> void Object_ForEach(F&& f);
void Object_ForEachImpl(void (*f)(CObject*, void*), void* context);
void Object_Free();

// The OBJT chunk (list checked by the dispatcher); false for any malformed entry.
bool Object_Load(const FileImage& image, uint32_t begin, uint32_t end);
// Links every parent pointer from the parent indexes, refusing a parent that would close a
// loop (the link is then left out and logged).
void Object_LinkParents();
// Sets object's parent to parent (-1 none); false (nothing changed) when that closes a loop.
bool Object_SetParent(int32_t object, int32_t parent);
// Compiles every object's events ("Preparing %d objects:"); false at the first failure.
bool Object_Prepare();

// The event resolution: bumped whenever events or parents change; cached resolutions of an
// older generation are recomputed.
void Object_EventsChanged();
uint64_t Object_EventGeneration();
// The event (type, subtype) of object, own or inherited (collision rule included), through
// the cache; found receives the defining object's index.
CEvent* Object_ResolveEvent(CObject* object, int32_t objectIndex, int32_t type, int32_t subtype,
                            int32_t* found);

// ---- Per-event object lists ---------------------------------------------------------------
constexpr int32_t OBJECT_EVENT_SUBTYPES = 256;
// Rebuilds every list (game start).
void Object_Lists_Build();
// The lists no longer match the objects (a parent or an event changed): they are rebuilt when
// next asked for, once however many changes came before.
void Object_Lists_Invalidate();
void Object_Lists_Free();
// The object indexes whose object has event (type, subtype), ascending; empty outside the
// lists that are built.
const std::vector<int32_t>& Object_Lists_Get(int32_t type, int32_t subtype);
// The collision pairs (a <= b), in the order found.
const std::vector<std::pair<int32_t, int32_t>>& Object_Lists_CollisionPairs();

template <class F>
void Object_ForEach(F&& f)
{
    Object_ForEachImpl([](CObject* o, void* c) { (*static_cast<F*>(c))(o); }, &f);
}
