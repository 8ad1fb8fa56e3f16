// CObject: the object resource instances are made from (the part the script language needs:
// name, index, depth, flags, parent and the two instance lists), and the object table by
// index. The game world adds the events, the physics settings and the OBJT chunk reader.
//
// Instance lists: `instances` holds the instances whose object is exactly this one, in the
// order they joined; `instancesRecursive` those whose object is this one or a descendant.
// The lists hold only instances that are not deactivated; nodes are owned, instances not.
// Needs: the Hash and SLinkedList containers.
#pragma once

#include <cstdint>

#include "Platform/SLinkedList.h"

class CInstance;

class CObject {
public:
    explicit CObject(int32_t index);
    ~CObject();
    CObject(const CObject&) = delete;
    CObject& operator=(const CObject&) = delete;

    void SetName(const char* name);
    const char* GetName() const { return m_pName; }
    int32_t GetIndex() const { return m_index; }

    // Appends to this object's list and to the recursive list of this object and every
    // ancestor.
    void AddInstance(CInstance* instance);
    // Removes from the same lists; true when the last removal found it.
    bool RemoveInstance(CInstance* instance);
    bool IsDescendantOf(int32_t index) const;
    void SetParentObject(CObject* parent) { m_pParent = parent; }

    uint32_t m_flags;      // bit 0 solid, bit 1 visible, bit 2 persistent
    int32_t m_spriteIndex; // -1 none
    int32_t m_depth;
    int32_t m_parentIndex; // -1 none
    int32_t m_maskIndex;   // -1 = use the sprite
    char* m_pName;         // owned
    int32_t m_index;
    CObject* m_pParent;    // not owned
    SLinkedList<CInstance> m_instances;
    SLinkedList<CInstance> m_instancesRecursive;
};

// The object table: a Hash of 512 buckets keyed by object index, and the count (one more
// than the highest index ever used).
void Object_InitHash();
// The object with that index, or null.
CObject* Object_Lookup(int32_t index);
bool Object_Exists(int32_t index);
// The object's name, "<undefined>" when there is none.
const char* Object_GetName(int32_t index);
int32_t Object_GetCount();
// A new object at the next index, named "__newobject" and the index; returns the index.
int32_t Object_Add();
// Puts an object at a given index (the OBJT reader); replaces nothing: false when taken.
bool Object_Insert(CObject* object);
bool Object_Delete(int32_t index);
// The first object, in table order, named exactly name; -1 when none.
int32_t Object_Find(const char* name);
// Deletes every object and the table.
void Object_Free();
