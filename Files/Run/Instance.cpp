// CInstance construction, the instance table by id and the room-list operations.
// Needs: the object table, the variable list, the pending object-change queue.
#include "Files/Run/Instance.h"

#include "Files/Object/Object.h"
#include "Files/Run/Run_Lists.h"
#include "Files/Variable/Variable_List.h"
#include "Platform/Hash.h"

namespace {
Hash<CInstance>* g_instances = nullptr;
}

CInstance::CInstance(float x, float y, int32_t id, int32_t objectIndex, bool joinObjectList)
    : i_marked(0), i_deactivated(0), i_id(id), i_objindex(0), m_pObject(nullptr), i_x(x), i_y(y),
      i_depth(0), m_listDepth(0), m_pVariables(new CVariableList()), m_pNext(nullptr),
      m_pPrev(nullptr)
{
    SetObject(objectIndex, joinObjectList);
}

CInstance::~CInstance()
{
    if (m_pObject) m_pObject->RemoveInstance(this);
    Run_UnqueueObjectChange(this);
    delete m_pVariables;
}

void CInstance::SetObject(int32_t index, bool joinObjectList)
{
    i_objindex = index;
    if (m_pObject) {
        m_pObject->RemoveInstance(this);
        m_pObject = nullptr;
    }
    if (i_objindex == -1) i_objindex = 0;
    CObject* object = Object_Lookup(index);
    if (!object) return;
    m_pObject = object;
    if (joinObjectList) object->AddInstance(this);
    i_depth = float(object->m_depth);
}

void InstanceList_InsertByDepth(InstanceList* list, CInstance* instance)
{
    ++list->count;
    instance->m_listDepth = instance->i_depth;
    CInstance* at = list->head;
    while (at && !(at->m_listDepth > instance->i_depth)) at = at->m_pNext;
    if (!at) {
        instance->m_pPrev = list->tail;
        instance->m_pNext = nullptr;
        if (list->tail)
            list->tail->m_pNext = instance;
        else
            list->head = instance;
        list->tail = instance;
        return;
    }
    instance->m_pNext = at;
    instance->m_pPrev = at->m_pPrev;
    if (at->m_pPrev)
        at->m_pPrev->m_pNext = instance;
    else
        list->head = instance;
    at->m_pPrev = instance;
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
}

void Instance_InitHash()
{
    if (!g_instances) g_instances = new Hash<CInstance>(512);
}

void InstanceHash_Add(CInstance* instance)
{
    Instance_InitHash();
    g_instances->Insert(uint32_t(instance->i_id), instance);
}

void InstanceHash_Remove(CInstance* instance)
{
    if (g_instances) g_instances->Delete(uint32_t(instance->i_id), CONTAINER_KEEP);
}

CInstance* Instance_Find(int32_t id)
{
    return g_instances ? g_instances->Find(uint32_t(id)) : nullptr;
}

void Instance_FreeAll()
{
    if (!g_instances) return;
    g_instances->Clear(CONTAINER_DELETE);
}

int32_t Instance_Count() { return g_instances ? g_instances->Count() : 0; }
