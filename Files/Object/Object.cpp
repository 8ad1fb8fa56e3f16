// CObject records and the object table by index (Files/Object/Object.h).
#include "Files/Object/Object.h"

#include <cstdio>
#include <cstring>

#include "Files/Run/Instance.h"
#include "Platform/Hash.h"

namespace {
Hash<CObject>* g_objects = nullptr;
int32_t g_objectCount = 0;
} // namespace

CObject::CObject(int32_t index)
    : m_flags(2), m_spriteIndex(-1), m_depth(0), m_parentIndex(-1), m_maskIndex(-1),
      m_pName(nullptr), m_index(index), m_pParent(nullptr)
{
}

CObject::~CObject()
{
    MEM_FREE(m_pName);
    m_instances.Clear(CONTAINER_KEEP);
    m_instancesRecursive.Clear(CONTAINER_KEEP);
}

void CObject::SetName(const char* name)
{
    MEM_FREE(m_pName);
    m_pName = (name && *name) ? MEM_STRDUP(name) : nullptr;
}

void CObject::AddInstance(CInstance* instance)
{
    m_instances.Add(instance);
    // The parent chain is walked with a bound so that a cycle in bad data cannot hang.
    int32_t guard = 0;
    for (CObject* o = this; o && guard < 10000; o = o->m_pParent, ++guard) {
        o->m_instancesRecursive.Add(instance);
    }
}

bool CObject::RemoveInstance(CInstance* instance)
{
    m_instances.Remove(instance, CONTAINER_KEEP);
    bool found = false;
    int32_t guard = 0;
    for (CObject* o = this; o && guard < 10000; o = o->m_pParent, ++guard) {
        found = o->m_instancesRecursive.Remove(instance, CONTAINER_KEEP);
    }
    return found;
}

bool CObject::IsDescendantOf(int32_t index) const
{
    int32_t guard = 0;
    for (int32_t p = m_parentIndex; p >= 0 && guard < 10000; ++guard) {
        if (p == index) return true;
        CObject* o = Object_Lookup(p);
        if (!o) return false;
        p = o->m_parentIndex;
    }
    return false;
}

void Object_InitHash()
{
    Object_Free();
    g_objects = new Hash<CObject>(512);
    g_objectCount = 0;
}

CObject* Object_Lookup(int32_t index)
{
    return g_objects ? g_objects->Find(uint32_t(index)) : nullptr;
}

bool Object_Exists(int32_t index) { return Object_Lookup(index) != nullptr; }

const char* Object_GetName(int32_t index)
{
    CObject* o = Object_Lookup(index);
    return o && o->m_pName ? o->m_pName : "<undefined>";
}

int32_t Object_GetCount() { return g_objectCount; }

int32_t Object_Add()
{
    if (!g_objects) Object_InitHash();
    int32_t index = g_objectCount;
    auto* o = new CObject(index);
    char name[32];
    std::snprintf(name, sizeof name, "__newobject%d", index);
    o->SetName(name);
    g_objects->Insert(uint32_t(index), o);
    ++g_objectCount;
    return index;
}

bool Object_Insert(CObject* object)
{
    if (!g_objects) Object_InitHash();
    if (object->m_index < 0 || Object_Lookup(object->m_index)) return false;
    g_objects->Insert(uint32_t(object->m_index), object);
    if (object->m_index >= g_objectCount) g_objectCount = object->m_index + 1;
    return true;
}

bool Object_Delete(int32_t index)
{
    return g_objects && g_objects->Delete(uint32_t(index), CONTAINER_DELETE);
}

int32_t Object_Find(const char* name)
{
    if (!g_objects || !name) return -1;
    HashIterator<CObject> it;
    for (CObject* o = g_objects->IterateStart(&it); o; o = g_objects->IterateNext(&it)) {
        if (o->m_pName && std::strcmp(o->m_pName, name) == 0) return o->m_index;
    }
    return -1;
}

void Object_Free()
{
    delete g_objects;
    g_objects = nullptr;
    g_objectCount = 0;
}
