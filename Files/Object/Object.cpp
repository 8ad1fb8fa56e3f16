// CObject records, the object table by index, the OBJT reader, parents, preparation, the
// event resolution cache and the per-event object lists (Files/Object/Object.h).
#include "Files/Object/Object.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

#include "Files/Base/Console.h"
#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Execute.h"
#include "Files/Object/Event.h"
#include "Files/Object/Instance.h"
#include "Files/Object/Instance_Pending.h"
#include "Files/Support/FileImage.h"
#include "Files/Support/GameHeader.h"
#include "Platform/Hash.h"
#include "Platform/MemoryManager.h"
#include "Platform/NameIndex.h"

// =============================================================================================
// Intrusive instance lists
// =============================================================================================

namespace {
uint64_t g_linkSequence = 0;
}

void ObjectInstanceList::Link(ObjectInstanceNode* node)
{
    node->seq = ++g_linkSequence;
    node->owner = this;
    node->next = nullptr;
    node->prev = m_tail;
    if (m_tail)
        m_tail->next = node;
    else
        m_head = node;
    m_tail = node;
    ++m_count;
}

void ObjectInstanceList::Unlink(ObjectInstanceNode* node)
{
    if (node->owner != this) return;
    if (node->prev)
        node->prev->next = node->next;
    else
        m_head = node->next;
    if (node->next)
        node->next->prev = node->prev;
    else
        m_tail = node->prev;
    node->next = node->prev = nullptr;
    node->owner = nullptr;
    --m_count;
}

void ObjectInstanceList::DetachAll()
{
    // Each instance leaves all of its lists (its own and its ancestors' recursive lists).
    while (ObjectInstanceNode* head = m_head) {
        CInstance* i = head->value;
        if (i && i->m_pListObject) i->LeaveObjectLists();
        if (m_head == head) Unlink(head);
    }
}

// =============================================================================================
// Object records
// =============================================================================================

namespace {

Hash<CObject>* g_objects = nullptr;
std::vector<CObject*> g_byIndex;     // direct look-up by index
std::vector<CObject*> g_deleted;     // deleted while code ran: freed by Object_FreeDeleted
NameIndex g_names;                   // the names of the objects in the table, ranked in table order
int32_t g_objectCount = 0;
uint64_t g_tableOrder = 0;           // insertions into the table so far
uint64_t g_eventGeneration = 1;

std::vector<int32_t> g_lists[OBJECT_EVENT_TYPES][OBJECT_EVENT_SUBTYPES];
std::vector<std::pair<int32_t, int32_t>> g_collisionPairs;
bool g_listsStale = false; // rebuilt before the next read
const std::vector<int32_t> g_emptyList;

// True when the object is the one the table holds at its index (its name is then indexed).
bool InTable(const CObject* o)
{
    return o->m_index >= 0 && size_t(o->m_index) < g_byIndex.size() && g_byIndex[size_t(o->m_index)] == o;
}

// The object's place in table order: its bucket, then its insertion into the table.
uint64_t TableRank(const CObject* o) { return (uint64_t(uint32_t(o->m_index) & 511u) << 48) | o->m_tableOrder; }

} // namespace

CObject::CObject(int32_t index)
    : m_flags(2), m_spriteIndex(-1), m_depth(0), m_parentIndex(-1), m_maskIndex(-1), m_pName(nullptr),
      m_index(index), m_usesPhysics(0), m_sensor(0), m_shapeKind(0), m_collisionGroup(0), m_density(0),
      m_restitution(0), m_linearDamping(0), m_angularDamping(0), m_friction(0), m_awake(0),
      m_kinematic(0), m_pointCount(0), m_pPoints(nullptr), m_pParent(nullptr), m_events{}, m_resolved{}
{
}

CObject::~CObject()
{
    Clear();
    // Nothing keeps pointing here: children lose their parent, instances their object.
    while (m_pFirstChild) m_pFirstChild->SetParentObject(nullptr);
    while (ObjectInstanceNode* n = m_referrers.GetHead()) n->value->BindObject(nullptr);
    MEM_FREE(m_pPoints);
    for (ResolvedCache& c : m_resolved) MEM_FREE(c.entries);
}

void CObject::SetParentObject(CObject* parent)
{
    if (parent == m_pParent) return;
    if (CObject* old = m_pParent) {
        if (m_pPrevSibling)
            m_pPrevSibling->m_pNextSibling = m_pNextSibling;
        else
            old->m_pFirstChild = m_pNextSibling;
        if (m_pNextSibling) m_pNextSibling->m_pPrevSibling = m_pPrevSibling;
        m_pPrevSibling = m_pNextSibling = nullptr;
        --old->m_childCount;
    }
    m_pParent = parent;
    if (parent) {
        m_pNextSibling = parent->m_pFirstChild;
        if (m_pNextSibling) m_pNextSibling->m_pPrevSibling = this;
        parent->m_pFirstChild = this;
        ++parent->m_childCount;
    }
}

void CObject::Clear()
{
    m_flags = 2;
    m_spriteIndex = -1;
    m_depth = 0;
    m_parentIndex = -1;
    m_maskIndex = -1;
    SetParentObject(nullptr);
    if (m_pName && InTable(this)) g_names.Remove(m_pName, m_index, TableRank(this));
    MEM_FREE(m_pName);
    m_pName = nullptr;
    for (EventList& l : m_events) {
        for (int32_t k = 0; k < l.count; ++k) delete l.events[k];
        MEM_FREE(l.events);
        l.events = nullptr;
        l.count = 0;
    }
    m_instances.DetachAll();
    m_instancesRecursive.DetachAll();
    Object_EventsChanged();
}

void CObject::SetName(const char* name) { SetNameOwned((name && *name) ? MEM_STRDUP(name) : nullptr); }

void CObject::SetNameOwned(char* name)
{
    const bool indexed = InTable(this);
    if (indexed && m_pName) g_names.Remove(m_pName, m_index, TableRank(this));
    MEM_FREE(m_pName);
    m_pName = name;
    if (indexed && m_pName) g_names.Add(m_pName, m_index, TableRank(this));
}

CEvent* CObject::GetEvent(int32_t type, int32_t subtype) const
{
    if (type < 0 || type >= OBJECT_EVENT_TYPES || subtype < 0) return nullptr;
    const EventList& l = m_events[type];
    if (subtype >= l.count) return nullptr;
    CEvent* e = l.events[subtype];
    return e && e->IsPresent() ? e : nullptr;
}

CEvent* CObject::MakeEvent(int32_t type, int32_t subtype)
{
    if (type < 0 || type >= OBJECT_EVENT_TYPES || subtype < 0 || subtype > 65535) return nullptr;
    EventList& l = m_events[type];
    if (subtype >= l.count) {
        l.events = static_cast<CEvent**>(MEM_REALLOC(l.events, sizeof(CEvent*) * size_t(subtype + 1)));
        for (int32_t k = l.count; k <= subtype; ++k) l.events[k] = nullptr;
        l.count = subtype + 1;
    }
    if (!l.events[subtype]) l.events[subtype] = new CEvent();
    Object_EventsChanged();
    return l.events[subtype];
}

CEvent* CObject::FindEvent(int32_t type, int32_t subtype) const
{
    int32_t found = 0;
    return Event_Find(m_index, type, subtype, &found);
}

bool CObject::HasEvent(int32_t type, int32_t subtype) const
{
    for (const CObject* o = this; o; o = o->m_pParent)
        if (o->GetEvent(type, subtype)) return true;
    return false;
}

bool CObject::IsDescendantOf(int32_t index) const
{
    for (const CObject* o = m_pParent; o; o = o->m_pParent)
        if (o->m_index == index) return true;
    return false;
}

bool CObject::CompileEvents()
{
    EventState& st = Event_State();
    for (int32_t t = 0; t < OBJECT_EVENT_TYPES; ++t) {
        for (int32_t s = 0; s < m_events[t].count; ++s) {
            CEvent* e = m_events[t].events[s];
            if (!e || !e->IsPresent()) continue;
            st.type = t;
            st.number = s;
            if (!e->Compile()) return false;
        }
    }
    return true;
}

bool CObject::Load(const FileImage& image, uint32_t offset, uint8_t version)
{
    FileCursor c(image);
    if (!c.Seek(offset)) return false;
    const char* name = c.StringRef();
    uint32_t spriteWord = c.U32();
    uint32_t visible = c.U32();
    uint32_t solid = c.U32();
    int32_t depth = c.I32();
    uint32_t persistent = c.U32();
    int32_t parent = c.I32();
    int32_t mask = c.I32();
    if (!c.ok()) return false;
    Clear();
    SetName(name);
    // Bits 28-30 clear: the index is the word without bit 31; otherwise the word whole.
    m_spriteIndex = (spriteWord & 0x70000000u) == 0 ? int32_t(spriteWord & 0x7FFFFFFFu) : int32_t(spriteWord);
    SetSolid(solid != 0);
    SetVisible(visible != 0);
    m_depth = depth;
    SetPersistent(persistent != 0);
    m_parentIndex = parent;
    m_maskIndex = mask;
    m_usesPhysics = 0;
    m_pointCount = 0;
    MEM_FREE(m_pPoints);
    m_pPoints = nullptr;
    if (version >= 6) {
        m_usesPhysics = c.U32() != 0;
        m_sensor = c.U32() != 0;
        m_shapeKind = c.I32();
        m_density = c.F32();
        m_restitution = c.F32();
        m_collisionGroup = c.I32();
        m_linearDamping = c.F32();
        m_angularDamping = c.F32();
        uint32_t points = c.U32();
        if (version >= 9) {
            m_friction = c.F32();
            m_awake = c.U32() != 0;
            m_kinematic = c.U32() != 0;
        } else {
            m_friction = 0.2f;
            m_awake = 1;
            m_kinematic = 0;
        }
        if (!c.ok() || !c.FitsCount(points, 8)) return false;
        if (points) {
            m_pPoints = static_cast<float*>(MEM_ALLOC(sizeof(float) * 2 * size_t(points)));
            for (uint32_t k = 0; k < points; ++k) {
                m_pPoints[2 * k] = c.F32();
                m_pPoints[2 * k + 1] = c.F32();
            }
            m_pointCount = int32_t(points);
        }
    }
    uint32_t types = c.U32();
    if (!c.ok() || !c.FitsCount(types, 4)) return false;
    std::vector<uint32_t> typeOffsets(types);
    for (uint32_t t = 0; t < types; ++t) typeOffsets[t] = c.U32();
    if (!c.ok()) return false;
    // Valid data has 12 types; any beyond the twelve list slots are not read.
    for (uint32_t t = 0; t < types && t < uint32_t(OBJECT_EVENT_TYPES); ++t) {
        if (typeOffsets[t] == 0) continue;
        FileCursor tc(image);
        if (!tc.Seek(typeOffsets[t])) return false;
        uint32_t count = tc.U32();
        if (!tc.ok() || !tc.FitsCount(count, 4)) return false;
        std::vector<uint32_t> eventOffsets(count);
        for (uint32_t k = 0; k < count; ++k) eventOffsets[k] = tc.U32();
        if (!tc.ok()) return false;
        for (uint32_t k = 0; k < count; ++k) {
            FileCursor ec(image);
            if (!ec.Seek(eventOffsets[k])) return false;
            uint32_t number = ec.U32();
            uint32_t actions = ec.U32();
            if (!ec.ok()) return false;
            // An event number beyond what the run loop can dispatch, or an event without an
            // action, is skipped.
            const uint32_t limit = uint32_t(t == uint32_t(EVENT_COLLISION) ? OBJECT_MAX_COUNT : OBJECT_EVENT_SUBTYPES);
            if (number >= limit || actions == 0) {
                Console_Output("Object %s: event %u/%u skipped\n", m_pName ? m_pName : "", t, number);
                continue;
            }
            CEvent* e = MakeEvent(int32_t(t), int32_t(number));
            if (!e || !e->Load(image, eventOffsets[k] + 4)) return false;
        }
    }
    Object_EventsChanged();
    return true;
}

// =============================================================================================
// Object table
// =============================================================================================

namespace {
void RelinkAllRecursive();
}

void Object_FreeDeleted()
{
    std::vector<CObject*> deleted;
    deleted.swap(g_deleted);
    for (CObject* o : deleted) delete o;
}

void Object_Free()
{
    Object_Lists_Free();
    g_names.Clear();
    if (g_objects) {
        g_objects->Clear(CONTAINER_DELETE);
        delete g_objects;
        g_objects = nullptr;
    }
    Object_FreeDeleted();
    g_byIndex.clear();
    g_objectCount = 0;
    Object_EventsChanged();
}

void Object_InitHash()
{
    Object_Free();
    g_objects = new Hash<CObject>(512);
    g_objectCount = 0;
    Instance_InstallCodeAccess();
}

CObject* Object_Lookup(int32_t index)
{
    return index >= 0 && size_t(index) < g_byIndex.size() ? g_byIndex[size_t(index)] : nullptr;
}

bool Object_Exists(int32_t index) { return Object_Lookup(index) != nullptr; }

const char* Object_GetName(int32_t index)
{
    CObject* o = Object_Lookup(index);
    return o && o->m_pName ? o->m_pName : "<undefined>";
}

int32_t Object_GetCount() { return g_objectCount; }

bool Object_Insert(CObject* object)
{
    if (!g_objects) Object_InitHash();
    if (object->m_index < 0 || object->m_index >= OBJECT_MAX_COUNT || Object_Lookup(object->m_index)) return false;
    object->m_pTableNode = g_objects->Insert(uint32_t(object->m_index), object);
    object->m_tableOrder = ++g_tableOrder;
    if (size_t(object->m_index) >= g_byIndex.size()) g_byIndex.resize(size_t(object->m_index) + 1, nullptr);
    g_byIndex[size_t(object->m_index)] = object;
    if (object->m_pName) g_names.Add(object->m_pName, object->m_index, TableRank(object));
    if (object->m_index >= g_objectCount) g_objectCount = object->m_index + 1;
    Object_EventsChanged();
    return true;
}

int32_t Object_Add()
{
    if (!g_objects) Object_InitHash();
    int32_t index = g_objectCount;
    auto* o = new CObject(index);
    char name[32];
    std::snprintf(name, sizeof name, "__newobject%d", index);
    o->SetName(name);
    if (!Object_Insert(o)) {
        delete o;
        return -1;
    }
    return index;
}

bool Object_Delete(int32_t index)
{
    CObject* o = Object_Lookup(index);
    if (!o) return false;
    // Out of the table: the index names nothing from now on.
    if (o->m_pName) g_names.Remove(o->m_pName, index, TableRank(o));
    g_objects->DeleteNode(o->m_pTableNode, CONTAINER_KEEP);
    o->m_pTableNode = nullptr;
    g_byIndex[size_t(index)] = nullptr;
    // Its instances leave its lists (and their ancestors'); every instance made from it, in a
    // list or not, forgets it.
    o->m_instances.DetachAll();
    while (ObjectInstanceNode* n = o->m_referrers.GetHead()) n->value->BindObject(nullptr);
    // Children keep their parent index (which names nothing now) but lose the pointer; the
    // instances of its descendants, left in its recursive list, rejoin their shorter chains.
    while (o->m_pFirstChild) o->m_pFirstChild->SetParentObject(nullptr);
    o->SetParentObject(nullptr);
    while (ObjectInstanceNode* n = o->m_instancesRecursive.GetHead()) n->value->RelinkRecursive();
    // Its events may be running now: they go when no event runs.
    for (CObject::EventList& l : o->m_events) {
        for (int32_t k = 0; k < l.count; ++k) Event_Retire(l.events[k]);
        MEM_FREE(l.events);
        l.events = nullptr;
        l.count = 0;
    }
    Object_EventsChanged();
    if (Code_RunningDepth() > 0) {
        g_deleted.push_back(o); // a loop under the running code may still hold the record
    } else {
        delete o;
        Object_FreeDeleted(); // nothing runs: those deleted earlier are free to go too
    }
    return true;
}

int32_t Object_Find(const char* name) { return g_names.Find(name); }

void Object_ForEachImpl(void (*f)(CObject*, void*), void* context)
{
    if (!g_objects) return;
    HashIterator<CObject> it;
    for (CObject* o = g_objects->IterateStart(&it); o;) {
        CObject* next = g_objects->IterateNext(&it);
        f(o, context);
        o = next;
    }
}

// =============================================================================================
// Loading, parents and preparation
// =============================================================================================

bool Object_Load(const FileImage& image, uint32_t begin, uint32_t end)
{
    ChunkList list;
    if (!list.Read(image, begin, end)) return false;
    if (!g_objects) Object_InitHash();
    const uint8_t version = g_GameHeader.LayoutVersion();
    for (uint32_t i = 0; i < list.count; ++i) {
        uint32_t at = list.Offset(image, i);
        if (at == 0) continue;
        auto* o = new CObject(int32_t(i));
        if (!o->Load(image, at, version) || !Object_Insert(o)) {
            delete o;
            return false;
        }
    }
    if (int32_t(list.count) > g_objectCount) g_objectCount = int32_t(list.count);
    Object_LinkParents();
    return true;
}

namespace {
// Every instance in an object's lists joins the recursive lists of its object's current chain
// again (its place in its own object's list is kept).
void RelinkAllRecursive()
{
    for (CObject* o : g_byIndex) {
        if (!o) continue;
        for (auto* n = o->m_instances.GetHead(); n; n = n->next) n->value->RelinkRecursive();
    }
}

// True when making parent the parent of child would close a loop.
bool ClosesLoop(const CObject* child, const CObject* parent)
{
    for (const CObject* p = parent; p; p = p->m_pParent)
        if (p == child) return true;
    return false;
}
} // namespace

void Object_LinkParents()
{
    // Pointers first cleared, then linked in index order; a link that would close a loop is
    // refused (the parent index then becomes -1).
    Object_ForEach([](CObject* o) { o->SetParentObject(nullptr); });
    for (CObject* o : g_byIndex) {
        if (!o) continue;
        if (o->m_parentIndex < 0 || o->m_parentIndex >= 100000) continue;
        CObject* p = Object_Lookup(o->m_parentIndex);
        if (!p) continue;
        if (ClosesLoop(o, p)) {
            Console_Output("Object %s: parent %d would make a loop; ignored\n", o->m_pName ? o->m_pName : "",
                           o->m_parentIndex);
            o->m_parentIndex = -1;
            continue;
        }
        o->SetParentObject(p);
    }
    RelinkAllRecursive();
    Object_EventsChanged();
}

bool Object_SetParent(int32_t object, int32_t parent)
{
    CObject* o = Object_Lookup(object);
    if (!o) return false;
    CObject* p = parent >= 0 ? Object_Lookup(parent) : nullptr;
    // Only an object with children can be an ancestor of the new parent.
    if (p && (p == o || (o->m_childCount > 0 && ClosesLoop(o, p)))) return false;
    o->m_parentIndex = parent;
    o->SetParentObject(p);
    if (o->m_childCount == 0) {
        // Only this object's chain changed: its own instances rejoin the recursive lists.
        for (auto* n = o->m_instances.GetHead(); n; n = n->next) n->value->RelinkRecursive();
    } else {
        RelinkAllRecursive();
    }
    Object_EventsChanged();
    return true;
}

bool Object_Prepare()
{
    Console_Output("Preparing %d objects:\n", g_objectCount);
    bool ok = true;
    EventState& st = Event_State();
    if (g_objects) {
        HashIterator<CObject> it;
        for (CObject* o = g_objects->IterateStart(&it); o && ok; o = g_objects->IterateNext(&it)) {
            Console_Output("\tObjects %d: %s\n", o->m_index, o->m_pName ? o->m_pName : "");
            st.object = o->m_index;
            ok = o->CompileEvents();
        }
    }
    st.object = -1;
    if (!ok) return false;
    Object_LinkParents();
    return true;
}

// =============================================================================================
// Event resolution cache
// =============================================================================================

void Object_EventsChanged() { ++g_eventGeneration; }
uint64_t Object_EventGeneration() { return g_eventGeneration; }

CEvent* Object_ResolveEvent(CObject* object, int32_t objectIndex, int32_t type, int32_t subtype, int32_t* found)
{
    // Collision subtypes are object indexes (below 100,000); the other types have 256.
    const int32_t limit = type == EVENT_COLLISION ? 100000 : OBJECT_EVENT_SUBTYPES;
    if (!object || type < 0 || type >= OBJECT_EVENT_TYPES || subtype < 0 || subtype >= limit) {
        return Event_Find(objectIndex, type, subtype, found);
    }
    CObject::ResolvedCache& c = object->m_resolved[type];
    if (subtype >= c.size) {
        // Grown to the subtypes asked for (doubling); new entries are unresolved.
        int32_t size = c.size < 16 ? 16 : c.size;
        while (size <= subtype) size *= 2;
        if (size > limit) size = limit;
        c.entries = static_cast<ResolvedEvent*>(MEM_REALLOC(c.entries, sizeof(ResolvedEvent) * size_t(size)));
        for (int32_t k = c.size; k < size; ++k) c.entries[k] = ResolvedEvent{nullptr, 0, 0};
        c.size = size;
    }
    ResolvedEvent& r = c.entries[subtype];
    if (r.generation != g_eventGeneration) {
        int32_t f = objectIndex;
        r.event = Event_Find(objectIndex, type, subtype, &f);
        r.found = f;
        r.generation = g_eventGeneration;
    }
    *found = r.found;
    return r.event;
}

// =============================================================================================
// Per-event object lists
// =============================================================================================

namespace {
// The subtypes of each type that have a list (the others stay empty): the last listed
// subtype of the type, or -1 for none.
int32_t LastListed(int32_t type)
{
    switch (type) {
    case EVENT_CREATE:
    case EVENT_DESTROY:
    case EVENT_DRAW: return 0;
    case EVENT_ALARM: return 12;
    case EVENT_STEP: return 16;
    case EVENT_MOUSE:
    case EVENT_OTHER: return 128;
    case EVENT_KEYBOARD:
    case EVENT_KEYPRESS:
    case EVENT_KEYRELEASE: return OBJECT_EVENT_SUBTYPES - 1;
    default: return -1;
    }
}
} // namespace

void Object_Lists_Invalidate() { g_listsStale = true; }

// Objects are taken parents first, so that what an object inherits is its parent's answer
// plus its own: an object joins the list of every (type, subtype) that it or an ancestor has
// an event for (exactly the objects whose event look-up finds one), in ascending order.
// Collision pairs: object a collides with b when its chain has an event for b or for an
// ancestor of b; those b are found from the collision event numbers of a's chain and the
// descendants of each, so the work follows the pairs that exist rather than every pair.
void Object_Lists_Build()
{
    g_listsStale = false;
    for (auto& type : g_lists)
        for (auto& l : type) l.clear();
    const size_t n = size_t(g_objectCount > 0 ? g_objectCount : 0);
    std::vector<std::vector<int32_t>> children(n);
    std::vector<int32_t> order; // parents before children
    order.reserve(n);
    for (int32_t i = 0; i < g_objectCount; ++i) {
        CObject* o = Object_Lookup(i);
        if (!o) continue;
        const int32_t parent = o->m_pParent ? o->m_pParent->m_index : -1;
        if (parent >= 0 && parent < g_objectCount && Object_Lookup(parent) == o->m_pParent)
            children[size_t(parent)].push_back(i);
        else
            order.push_back(i); // a root
    }
    for (size_t k = 0; k < order.size(); ++k)
        for (int32_t child : children[size_t(order[k])]) order.push_back(child);
    auto parentOf = [](int32_t i) {
        const CObject* p = Object_Lookup(i)->m_pParent;
        return p ? p->m_index : -1;
    };

    std::vector<uint8_t> has(n, 0);
    for (int32_t type = 0; type < OBJECT_EVENT_TYPES; ++type) {
        const int32_t last = LastListed(type);
        for (int32_t sub = 0; sub <= last; ++sub) {
            bool any = false;
            for (int32_t i : order) {
                const int32_t parent = parentOf(i);
                has[size_t(i)] = Object_Lookup(i)->GetEvent(type, sub) != nullptr ||
                                 (parent >= 0 && size_t(parent) < n && has[size_t(parent)]);
                any = any || has[size_t(i)];
            }
            if (!any) continue;
            std::vector<int32_t>& l = g_lists[type][sub];
            for (size_t i = 0; i < n; ++i)
                if (has[i] && Object_Lookup(int32_t(i))) l.push_back(int32_t(i));
        }
    }

    // Whether an object's chain has any collision event, parents first as above.
    std::vector<uint8_t> collides(n, 0);
    for (int32_t i : order) {
        const CObject* o = Object_Lookup(i);
        bool own = false;
        for (int32_t sub = 0; sub < o->m_events[EVENT_COLLISION].count && !own; ++sub)
            own = o->GetEvent(EVENT_COLLISION, sub) != nullptr;
        const int32_t parent = parentOf(i);
        collides[size_t(i)] = own || (parent >= 0 && size_t(parent) < n && collides[size_t(parent)]);
    }
    g_collisionPairs.clear();
    std::set<std::pair<int32_t, int32_t>> seen;
    std::vector<int32_t> others, stack;
    std::vector<uint8_t> isOther(n, 0);
    for (int32_t a = 0; a < g_objectCount; ++a) {
        CObject* o = Object_Lookup(a);
        if (!o || !collides[size_t(a)]) continue;
        // The objects a collides with: each event number below the object count, and the
        // descendants of each number that is an object.
        others.clear();
        for (CObject* x = o; x; x = x->m_pParent) {
            for (int32_t c = 0; c < x->m_events[EVENT_COLLISION].count && c < g_objectCount; ++c) {
                if (!x->GetEvent(EVENT_COLLISION, c)) continue;
                stack.assign(1, c);
                while (!stack.empty()) {
                    const int32_t b = stack.back();
                    stack.pop_back();
                    if (isOther[size_t(b)]) continue;
                    isOther[size_t(b)] = 1;
                    others.push_back(b);
                    for (int32_t child : children[size_t(b)]) stack.push_back(child);
                }
            }
        }
        std::sort(others.begin(), others.end());
        for (int32_t b : others) {
            isOther[size_t(b)] = 0;
            std::pair<int32_t, int32_t> p(a < b ? a : b, a < b ? b : a);
            if (seen.insert(p).second) g_collisionPairs.push_back(p);
        }
    }
}

void Object_Lists_Free()
{
    for (auto& type : g_lists)
        for (auto& l : type) std::vector<int32_t>().swap(l);
    std::vector<std::pair<int32_t, int32_t>>().swap(g_collisionPairs);
    g_listsStale = false;
}

const std::vector<int32_t>& Object_Lists_Get(int32_t type, int32_t subtype)
{
    if (type < 0 || type >= OBJECT_EVENT_TYPES || subtype < 0 || subtype >= OBJECT_EVENT_SUBTYPES) return g_emptyList;
    if (g_listsStale) Object_Lists_Build();
    return g_lists[type][subtype];
}

const std::vector<std::pair<int32_t, int32_t>>& Object_Lists_CollisionPairs()
{
    if (g_listsStale) Object_Lists_Build();
    return g_collisionPairs;
}
