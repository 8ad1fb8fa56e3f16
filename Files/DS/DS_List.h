// CDS_List: the positional sequence of the data-structure family (positions 0..size-1),
// with insertion, deletion, linear search, a sort and a shuffle. Lists built by the JSON
// decoder may hold marked values that own nested lists and maps (DS_Main.h); clearing or
// destroying the list destroys those, deleting or replacing one element does not.
//
// Needs DS_Main.h, the random generator (Files/Base/Random.h). No Linux/ file.
#pragma once

#include <cstdint>
#include <vector>

#include "Files/DS/DS_Main.h"

class CDS_List {
public:
    CDS_List() = default;
    // Clears the list, destroying the structures its marked values own.
    virtual ~CDS_List();
    CDS_List(const CDS_List&) = delete;
    CDS_List& operator=(const CDS_List&) = delete;

    int32_t Size() const { return int32_t(m_items.size()); }
    void Add(const ScriptValue* value);
    // 0 <= pos <= size (size appends); other positions do nothing.
    void Insert(int32_t pos, const ScriptValue* value);
    // 0 <= pos < size; other positions do nothing.
    void Replace(int32_t pos, const ScriptValue* value);
    // 0 <= pos < size; a structure the value marks is not destroyed.
    void Delete(int32_t pos);
    // The first position whose value compares equal (DS_CompareValues), or -1.
    int32_t FindIndex(const ScriptValue* value) const;
    // The stored value at pos (marks included), or null outside the list.
    const ScriptValue* GetValue(int32_t pos) const
    {
        return (pos >= 0 && pos < Size()) ? &m_items[size_t(pos)] : nullptr;
    }
    // The order an insertion sort under DS_CompareValues gives: ascending keeps equal values
    // in their order, descending reverses them. Lists whose comparisons are consistent (only
    // strings, or reals that single precision and the precision keep apart or identical) are
    // sorted by a stable merge sort with the same result, such strings and reals mixed in
    // O(n log n) as well (DS_List.cpp); others by the insertion sort. A quit request stops
    // the sort and the shuffle (the list then holds its values in some order).
    void Sort(bool ascending);
    // size * 8 swaps of two positions drawn with Random_Int.
    void Shuffle();
    // Destroys the marked structures, frees the texts, size 0.
    void Clear();
    // This list := plain copies of source's values (a marked value becomes its plain index:
    // the copy owns nothing). The old values are freed without destroying what they own. Null
    // source: emptied. A copy onto itself does nothing.
    void Copy(const CDS_List* source);

    // The JSON decoder's entry: appends the index of a list (isMap false) or map it made, as a
    // marked value the list owns (the structure records the list as its owner).
    void AddNested(int32_t index, bool isMap);
    // The list or map whose marked value owns this list, or null.
    const void* NestedOwner() const { return m_nestedOwner; }
    void SetNestedOwner(const void* owner) { m_nestedOwner = owner; }

    // Text form: id 301, count, the values.
    char* WriteText() const;
    bool ReadText(const char* text);

private:
    void FreeValues();
    std::vector<ScriptValue> m_items;
    const void* m_nestedOwner = nullptr;
};
