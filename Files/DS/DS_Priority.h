// CDS_Priority: pairs of a value and its priority, both script values, in order of addition
// (changed only by deletions, which move the last pair into the hole). Minimum and maximum
// are linear scans under DS_CompareValues; among equal priorities the earliest pair wins.
//
// Needs DS_Main.h. No Linux/ file.
#pragma once

#include <cstdint>
#include <vector>

#include "Files/DS/DS_Main.h"

class CDS_Priority {
public:
    CDS_Priority() = default;
    virtual ~CDS_Priority();
    CDS_Priority(const CDS_Priority&) = delete;
    CDS_Priority& operator=(const CDS_Priority&) = delete;

    int32_t Size() const { return int32_t(m_values.size()); }
    void Add(const ScriptValue* value, const ScriptValue* priority);
    // The first pair whose value compares equal takes a copy of priority.
    void ChangePriority(const ScriptValue* value, const ScriptValue* priority);
    // The priority of the first pair whose value compares equal, or null.
    const ScriptValue* FindPriority(const ScriptValue* value) const;
    // The first pair whose value compares equal is replaced by the last pair.
    void DeleteValue(const ScriptValue* value);
    // The pair of the smallest / largest priority, or -1 when empty.
    int32_t MinIndex() const;
    int32_t MaxIndex() const;
    // out := the value of pair i (moved out); the last pair moves into its place.
    void Remove(int32_t i, ScriptValue* out);
    const ScriptValue* Value(int32_t i) const { return &m_values[size_t(i)]; }
    const ScriptValue* Priority(int32_t i) const { return &m_priorities[size_t(i)]; }
    void Clear();
    void Copy(const CDS_Priority* source);

    // Text form: id 501, count, the priorities, then the values.
    char* WriteText() const;
    bool ReadText(const char* text);

private:
    int32_t FindValue(const ScriptValue* value) const;
    void RemoveAt(int32_t i);
    std::vector<ScriptValue> m_values;
    std::vector<ScriptValue> m_priorities; // same length
};
