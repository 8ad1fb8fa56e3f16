// CInstance construction, object membership and change, copy, bounding box, the instance
// table by id and the room-list operations (Files/Object/Instance.h).
#include "Files/Object/Instance.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <vector>

#include "Files/Base/RealConvert.h"
#include "Files/Code/Code_World.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Code/Variable_List.h"
#include "Files/Object/Instance_Index.h"
#include "Files/Object/Instance_Pending.h"
#include "Files/Object/Object.h"
#include "Files/World/World_Hooks.h"
#include "Files/World/World_State.h"
#include "Platform/MemoryManager.h"

// =============================================================================================
// Construction
// =============================================================================================

namespace {

// The script language's view of instances and objects (Files/Code/Code_World.h).
void InstancesOf(int32_t scope, bool queued, std::vector<CInstance*>* out)
{
    if (scope == SCOPE_ALL) {
        if (InstanceList* list = Run_GetActiveList())
            for (CInstance* i = list->head; i; i = i->m_pNext) out->push_back(i);
        return;
    }
    if (CObject* object = Object_Lookup(scope))
        for (auto* n = object->m_instances.GetHead(); n; n = n->next) out->push_back(n->value);
    if (!queued) return;
    for (int32_t k = 0; k < Run_ObjectChangeCount(); ++k) {
        CInstance* i = Run_ObjectChangeAt(k);
        if (i && i->i_objindex == scope) out->push_back(i);
    }
}

const CodeWorldAccess kCodeAccess = {
    [](CInstance* i) { return i->GetVariables(); },
    [](CInstance* i) { return i->GetID(); },
    [](CInstance* i) { return i->GetObjectIndex(); },
    [](CInstance* i) { return i->IsLive(); },
    [](CInstance* i) { return i->IsMarked(); },
    Instance_Find,
    InstancesOf,
    Object_GetName,
    Object_Find,
};

} // namespace

void Instance_InstallCodeAccess() { Code_SetWorldAccess(&kCodeAccess); }

CInstance::CInstance(float x, float y, int32_t id, int32_t objectIndex, bool joinObjectList)
    : i_bboxDirty(1), i_visible(0), i_solid(0), i_persistent(0), i_marked(0), i_deactivated(0),
      i_destroying(0), i_carried(0), i_created(0), m_creationStamp(Run_CurrentEventStamp()),
      i_id(0), i_objindex(0), m_pObject(nullptr), m_pPhysics(nullptr), i_spriteindex(-1),
      i_imageindex(0), i_imagespeed(1), i_imagescalex(1), i_imagescaley(1), i_imageangle(0),
      i_imagealpha(1), i_imageblend(0xFFFFFF), i_maskindex(-1), i_precise(0), i_x(x), i_y(y),
      i_xstart(x), i_ystart(y), i_xprevious(x), i_yprevious(y), i_direction(0), i_speed(0),
      i_friction(0), i_gravitydir(270), i_gravity(0), i_hspeed(0), i_vspeed(0), i_bbox_left(0),
      i_bbox_top(0), i_bbox_right(0), i_bbox_bottom(0), i_alarm{}, m_pVariables(nullptr),
      i_pathindex(-1), i_pathposition(0), i_pathpositionprevious(0), i_pathspeed(0),
      i_pathscale(1), i_pathorientation(0), i_pathend(0), i_pathxstart(0), i_pathystart(0),
      i_timelineindex(-1), i_timelineposition(0), i_timelinespeed(1), i_timelinerunning(0),
      i_timelineloop(0), m_pCreationCode(nullptr), m_objectChangePending(0), m_pNext(nullptr),
      m_pPrev(nullptr), i_depth(0), m_listDepth(0)
{
    SetObject(objectIndex, joinObjectList);
    i_x = x;
    i_y = y;
    i_id = id;
    i_imageindex = 0;
    for (int32_t& a : i_alarm) a = -1;
    m_pVariables = new CVariableList();
    MarkBBoxDirty();
    Instance_InstallCodeAccess(); // the script language reaches instances once there is one
}

CInstance::~CInstance()
{
    WorldIndex_Forget(this);
    LeaveObjectLists();
    BindObject(nullptr);
    Run_ForgetInstance(this);
    if (m_pPhysics && World_Hooks().physicsRemoveBody) World_Hooks().physicsRemoveBody(this);
    m_pPhysics = nullptr;
    MEM_FREE(m_pRecursiveExtra);
    delete m_pVariables;
}

namespace {
uint64_t g_shapeChanges = 0;
}

uint64_t World_ShapeChanges() { return g_shapeChanges; }

void CInstance::MarkBBoxDirty()
{
    i_bboxDirty = 1;
    ++g_shapeChanges;
    if (m_idxGen == world_index::g_generation) WorldIndex_Queue(this);
}

// =============================================================================================
// Object membership
// =============================================================================================

void CInstance::LeaveObjectLists()
{
    if (!m_pListObject) return;
    if (m_ownNode.owner) m_ownNode.owner->Unlink(&m_ownNode);
    for (int32_t i = 0; i < m_recursiveCount; ++i) {
        ObjectInstanceNode* n = RecursiveNode(i);
        if (n->owner) n->owner->Unlink(n);
    }
    m_recursiveCount = 0;
    m_pListObject = nullptr;
}

void CInstance::RelinkRecursive()
{
    for (int32_t i = 0; i < m_recursiveCount; ++i) {
        ObjectInstanceNode* n = RecursiveNode(i);
        if (n->owner) n->owner->Unlink(n);
    }
    m_recursiveCount = 0;
    if (!m_pListObject) return;
    // The recursive list of the object and of every ancestor (chains never loop).
    int32_t n = 0;
    for (CObject* o = m_pListObject; o; o = o->m_pParent) ++n;
    if (n > m_recursiveCapacity) {
        MEM_FREE(m_pRecursiveExtra);
        m_pRecursiveExtra = static_cast<ObjectInstanceNode*>(MEM_ALLOC_CLEAR(sizeof(ObjectInstanceNode) * size_t(n - 4)));
        m_recursiveCapacity = n;
    }
    int32_t k = 0;
    for (CObject* o = m_pListObject; o; o = o->m_pParent, ++k) {
        ObjectInstanceNode* node = RecursiveNode(k);
        node->value = this;
        o->m_instancesRecursive.Link(node);
    }
    m_recursiveCount = n;
}

void CInstance::BindObject(CObject* object)
{
    if (m_pObject == object) return;
    if (m_referrerNode.owner) m_referrerNode.owner->Unlink(&m_referrerNode);
    m_pObject = object;
    if (!object) return;
    m_referrerNode.value = this;
    object->m_referrers.Link(&m_referrerNode);
}

void CObject::AddInstance(CInstance* instance)
{
    instance->LeaveObjectLists();
    instance->m_pListObject = this;
    instance->m_ownNode.value = instance;
    m_instances.Link(&instance->m_ownNode);
    instance->RelinkRecursive();
}

bool CObject::RemoveInstance(CInstance* instance)
{
    bool own = instance->m_ownNode.owner == &m_instances;
    instance->LeaveObjectLists();
    return own;
}

void CInstance::SetObject(int32_t index, bool joinObjectList)
{
    i_objindex = index;
    if (m_pObject) {
        LeaveObjectLists();
        BindObject(nullptr);
    }
    if (i_objindex == -1) i_objindex = 0;
    CObject* object = Object_Lookup(index);
    if (!object) return;
    BindObject(object);
    if (joinObjectList) object->AddInstance(this);
    i_maskindex = object->m_maskIndex;
    i_depth = float(object->m_depth);
    i_solid = (object->m_flags & 1) ? 1 : 0;
    i_visible = (object->m_flags & 2) ? 1 : 0;
    i_persistent = (object->m_flags & 4) ? 1 : 0;
    i_spriteindex = object->m_spriteIndex;
    if (Real_TruncToInt32(i_imageindex) >= GetImageNumber()) i_imageindex = 0;
    MarkBBoxDirty();
}

void CInstance::ChangeObject(int32_t index)
{
    Run_QueueObjectChange(this);
    if (m_pObject) m_objectChangePending = 1;
    i_objindex = index;
    CObject* object = Object_Lookup(index);
    BindObject(object);
    if (!object) return;
    i_maskindex = object->m_maskIndex;
    i_depth = float(object->m_depth);
    i_solid = (object->m_flags & 1) ? 1 : 0;
    i_visible = (object->m_flags & 2) ? 1 : 0;
    i_persistent = (object->m_flags & 4) ? 1 : 0;
    i_spriteindex = object->m_spriteIndex;
    if (Real_TruncToInt32(i_imageindex) >= GetImageNumber()) i_imageindex = 0;
    MarkBBoxDirty();
    Run_QueueDepthChange(this);
}

void CInstance::ApplyObjectChange()
{
    if (m_objectChangePending) {
        LeaveObjectLists();
        m_objectChangePending = 0;
    }
    if (i_deactivated) {
        // A deactivated instance joins its object's lists when it is activated again.
        LeaveObjectLists();
        return;
    }
    if (m_pObject) m_pObject->AddInstance(this);
    InstanceList* list = Run_GetActiveList();
    if (list && !i_deactivated && (m_pNext || m_pPrev || list->head == this)) {
        InstanceList_Unlink(list, this);
        InstanceList_InsertByDepth(list, this);
    }
}

void CInstance::Assign(const CInstance* other, bool joinObjectList)
{
    if (m_pObject || m_pListObject) {
        LeaveObjectLists();
        BindObject(nullptr);
    }
    i_carried = 0;
    i_id = other->i_id;
    i_spriteindex = other->i_spriteindex;
    i_imageindex = other->i_imageindex;
    i_imagespeed = other->i_imagespeed;
    i_imagescalex = other->i_imagescalex;
    i_imagescaley = other->i_imagescaley;
    i_imageangle = other->i_imageangle;
    i_imagealpha = other->i_imagealpha;
    i_imageblend = other->i_imageblend;
    i_maskindex = other->i_maskindex;
    i_depth = other->i_depth;
    i_precise = other->i_precise;
    i_x = other->i_x;
    i_y = other->i_y;
    i_xstart = other->i_xstart;
    i_ystart = other->i_ystart;
    i_xprevious = other->i_xprevious;
    i_yprevious = other->i_yprevious;
    i_direction = other->i_direction;
    i_speed = other->i_speed;
    i_friction = other->i_friction;
    i_gravitydir = other->i_gravitydir;
    i_gravity = other->i_gravity;
    i_hspeed = other->i_hspeed;
    i_vspeed = other->i_vspeed;
    i_bboxDirty = other->i_bboxDirty;
    i_bbox_left = other->i_bbox_left;
    i_bbox_top = other->i_bbox_top;
    i_bbox_right = other->i_bbox_right;
    i_bbox_bottom = other->i_bbox_bottom;
    i_visible = other->i_visible;
    i_solid = other->i_solid;
    i_persistent = other->i_persistent;
    i_objindex = other->i_objindex;
    BindObject(other->m_pObject);
    if (joinObjectList && m_pObject) m_pObject->AddInstance(this);
    for (int32_t k = 0; k < 12; ++k) i_alarm[k] = other->i_alarm[k];
    m_pVariables->Assign(other->m_pVariables);
    i_marked = other->i_marked;
    i_deactivated = other->i_deactivated;
    i_pathindex = other->i_pathindex;
    i_pathposition = other->i_pathposition;
    i_pathpositionprevious = other->i_pathpositionprevious;
    i_pathspeed = other->i_pathspeed;
    i_pathscale = other->i_pathscale;
    i_pathorientation = other->i_pathorientation;
    i_pathend = other->i_pathend;
    i_timelineindex = other->i_timelineindex;
    i_timelineposition = other->i_timelineposition;
    i_timelinespeed = other->i_timelinespeed;
    i_timelinerunning = other->i_timelinerunning;
    i_timelineloop = other->i_timelineloop;
    m_pCreationCode = other->m_pCreationCode;
    // Position, shape and box were copied: the spatial index files the instance again.
    WorldIndex_Queue(this);
}

// =============================================================================================
// Bounding box and image
// =============================================================================================

void CInstance::ComputeBoundingBox()
{
    WorldSpriteInfo s{};
    if (!World_SpriteInfo(MaskSprite(), &s)) {
        i_precise = 0;
        i_bboxDirty = 0;
        i_bbox_left = i_bbox_top = i_bbox_right = i_bbox_bottom = -100000;
        return;
    }
    if (i_imageangle == 0.0f) {
        int32_t left = Real_RoundToInt32Held(double(float(s.bboxLeft - s.xorigin)) * double(i_imagescalex) + double(i_x));
        int32_t right = Real_RoundToInt32Held(double(float(s.bboxRight - s.bboxLeft + 1)) * double(i_imagescalex) +
                                    double(left) - 1.0);
        if (left > right) std::swap(left, right);
        int32_t top = Real_RoundToInt32Held(double(float(s.bboxTop - s.yorigin)) * double(i_imagescaley) + double(i_y));
        int32_t bottom = Real_RoundToInt32Held(double(float(s.bboxBottom - s.bboxTop + 1)) * double(i_imagescaley) +
                                     double(top) - 1.0);
        if (top > bottom) std::swap(top, bottom);
        i_bbox_left = left;
        i_bbox_right = right;
        i_bbox_top = top;
        i_bbox_bottom = bottom;
    } else {
        const double xs = i_imagescalex, ys = i_imagescaley;
        const double x1 = (double(std::min(s.bboxLeft, s.bboxRight)) - s.xorigin) * xs;
        const double x2 = (double(std::max(s.bboxLeft, s.bboxRight)) - s.xorigin + 1.0) * xs - 1.0;
        const double y1 = (double(std::min(s.bboxTop, s.bboxBottom)) - s.yorigin) * ys;
        const double y2 = (double(std::max(s.bboxTop, s.bboxBottom)) - s.yorigin + 1.0) * ys - 1.0;
        const float a = float(double(i_imageangle) * PI_FD / 180.0);
        const double c = float(std::cos(double(a)));
        const double sn = float(std::sin(double(a)));
        const double cx1 = float(c * x1), cx2 = float(c * x2), sy1 = float(sn * y1), sy2 = float(sn * y2);
        const double cy1 = float(c * y1), cy2 = float(c * y2), sx1 = float(sn * x1), sx2 = float(sn * x2);
        i_bbox_left = Real_RoundToInt32Held(double(i_x) + std::min(cx1, cx2) + std::min(sy1, sy2));
        i_bbox_right = Real_RoundToInt32Held(double(i_x) + std::max(cx1, cx2) + std::max(sy1, sy2));
        i_bbox_top = Real_RoundToInt32Held(double(i_y) + std::min(cy1, cy2) - std::max(sx1, sx2));
        i_bbox_bottom = Real_RoundToInt32Held(double(i_y) + std::max(cy1, cy2) - std::min(sx1, sx2));
    }
    i_precise = s.precise;
    i_bboxDirty = 0;
}

int32_t CInstance::GetImageNumber() const
{
    WorldSpriteInfo s{};
    return World_SpriteInfo(i_spriteindex, &s) ? s.frames : 0;
}

void CInstance::SetSprite(int32_t sprite)
{
    i_spriteindex = sprite;
    MarkBBoxDirty();
    if (Real_TruncToInt32(i_imageindex) >= GetImageNumber()) i_imageindex = 0;
}

void CInstance::SetMaskIndex(int32_t mask)
{
    if (mask == i_maskindex) return;
    i_maskindex = mask;
    MarkBBoxDirty();
}

void CInstance::SetImageXScale(float v)
{
    if (v == i_imagescalex) return;
    i_imagescalex = v;
    MarkBBoxDirty();
}

void CInstance::SetImageYScale(float v)
{
    if (v == i_imagescaley) return;
    i_imagescaley = v;
    MarkBBoxDirty();
}

void CInstance::SetImageAngle(float v)
{
    // NaN never equals itself, so it is stored (and the box recomputed) every time.
    if (v == i_imageangle) return;
    i_imageangle = v;
    MarkBBoxDirty();
}

void CInstance::SetPathPosition(float v) { i_pathposition = v < 0 ? 0.0f : (v > 1 ? 1.0f : v); }

void CInstance::SetPathPositionPrevious(float v)
{
    i_pathpositionprevious = v < 0 ? 0.0f : (v > 1 ? 1.0f : v);
}

// =============================================================================================
// Instance table
// =============================================================================================

namespace {
// The first instance under each id, and (rarely) further instances sharing an id, in the
// order they were added.
std::unordered_map<int32_t, CInstance*>* g_instances = nullptr;
std::vector<CInstance*>* g_duplicates = nullptr;
} // namespace

void Instance_InitHash()
{
    if (!g_instances) {
        g_instances = new std::unordered_map<int32_t, CInstance*>();
        g_instances->reserve(1024);
        g_duplicates = new std::vector<CInstance*>();
    }
}

void InstanceHash_Add(CInstance* instance)
{
    Instance_InitHash();
    auto [it, inserted] = g_instances->try_emplace(instance->i_id, instance);
    if (!inserted) g_duplicates->push_back(instance);
}

void InstanceHash_Remove(CInstance* instance)
{
    if (!g_instances) return;
    auto it = g_instances->find(instance->i_id);
    if (it != g_instances->end() && it->second == instance) {
        // Promote the next instance of the same id, if any.
        for (auto d = g_duplicates->begin(); d != g_duplicates->end(); ++d) {
            if ((*d)->i_id == instance->i_id) {
                it->second = *d;
                g_duplicates->erase(d);
                return;
            }
        }
        g_instances->erase(it);
        return;
    }
    auto d = std::find(g_duplicates->begin(), g_duplicates->end(), instance);
    if (d != g_duplicates->end()) g_duplicates->erase(d);
}

CInstance* Instance_Find(int32_t id)
{
    if (!g_instances) return nullptr;
    auto it = g_instances->find(id);
    return it == g_instances->end() ? nullptr : it->second;
}

void Instance_FreeAll()
{
    if (!g_instances) return;
    std::vector<CInstance*> all;
    for (auto& [id, i] : *g_instances) all.push_back(i);
    all.insert(all.end(), g_duplicates->begin(), g_duplicates->end());
    g_instances->clear();
    g_duplicates->clear();
    for (CInstance* i : all) delete i;
}

int32_t Instance_Count()
{
    return g_instances ? int32_t(g_instances->size() + g_duplicates->size()) : 0;
}

void CInstance::SetId(int32_t id, bool rehash)
{
    if (rehash) InstanceHash_Remove(this);
    i_id = id;
    if (rehash) InstanceHash_Add(this);
}

// =============================================================================================
// Room lists
// =============================================================================================

void InstanceList_InsertByDepth(InstanceList* list, CInstance* instance)
{
    ++list->count;
    instance->m_listDepth = instance->i_depth;
    // Nothing deeper than the tail: the place is the end (the common case of equal depths).
    CInstance* at = list->tail && !(list->tail->m_listDepth > instance->i_depth) ? nullptr : list->head;
    while (at && !(at->m_listDepth > instance->i_depth)) at = at->m_pNext;
    if (!at) {
        instance->m_pPrev = list->tail;
        instance->m_pNext = nullptr;
        if (list->tail)
            list->tail->m_pNext = instance;
        else
            list->head = instance;
        list->tail = instance;
        WorldIndex_Inserted(list, instance);
        return;
    }
    instance->m_pNext = at;
    instance->m_pPrev = at->m_pPrev;
    if (at->m_pPrev)
        at->m_pPrev->m_pNext = instance;
    else
        list->head = instance;
    at->m_pPrev = instance;
    WorldIndex_Inserted(list, instance);
}

void InstanceList_Append(InstanceList* list, CInstance* instance)
{
    ++list->count;
    instance->m_pPrev = list->tail;
    instance->m_pNext = nullptr;
    if (list->tail)
        list->tail->m_pNext = instance;
    else
        list->head = instance;
    list->tail = instance;
    WorldIndex_Inserted(list, instance);
}

void InstanceList_Unlink(InstanceList* list, CInstance* instance)
{
    if (instance->m_pPrev)
        instance->m_pPrev->m_pNext = instance->m_pNext;
    else if (list->head == instance)
        list->head = instance->m_pNext;
    if (instance->m_pNext)
        instance->m_pNext->m_pPrev = instance->m_pPrev;
    else if (list->tail == instance)
        list->tail = instance->m_pPrev;
    instance->m_pNext = instance->m_pPrev = nullptr;
    --list->count;
    WorldIndex_Unlinked(list, instance);
}

void InstanceList_Remove(InstanceList* list, CInstance* instance, int32_t mode)
{
    InstanceList_Unlink(list, instance);
    if (mode == 1) delete instance;
}

void InstanceList_InsertManyByDepth(InstanceList* list, CInstance** items, int32_t count)
{
    if (count <= 0) return;
    if (count < 8) {
        for (int32_t k = 0; k < count; ++k) InstanceList_InsertByDepth(list, items[k]);
        return;
    }
    // Inserting one after the other puts an item before the first list element of greater
    // depth; items of equal depth keep their order and follow list elements of equal depth.
    // So: a stable sort of the items by depth, then a merge in which a list element goes first
    // unless its depth is greater than the item's.
    std::vector<CInstance*> sorted(items, items + count);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const CInstance* a, const CInstance* b) { return a->i_depth < b->i_depth; });
    CInstance* at = list->head;
    CInstance* prev = nullptr;
    CInstance* newHead = nullptr;
    auto link = [&](CInstance* i) {
        i->m_pPrev = prev;
        if (prev)
            prev->m_pNext = i;
        else
            newHead = i;
        prev = i;
    };
    size_t k = 0;
    while (at || k < sorted.size()) {
        if (k < sorted.size() && (!at || at->m_listDepth > sorted[k]->i_depth)) {
            CInstance* i = sorted[k++];
            i->m_listDepth = i->i_depth;
            link(i);
        } else {
            CInstance* next = at->m_pNext;
            link(at);
            at = next;
        }
    }
    if (prev) prev->m_pNext = nullptr;
    list->head = newHead;
    list->tail = prev;
    list->count += count;
    WorldIndex_Merged(list, items, count);
}
