// CDS_Priority and its index table. Needs DS_Main.
#include "Files/DS/DS_Priority.h"

namespace {

DSTable<CDS_Priority> g_priorities;

} // namespace

DSTable<CDS_Priority>& DS_Priorities() { return g_priorities; }

CDS_Priority::~CDS_Priority() { Clear(); }

void CDS_Priority::Add(const ScriptValue* value, const ScriptValue* priority)
{
    ScriptValue v = DS_EmptyValue(), p = DS_EmptyValue();
    DS_StoreValue(&v, value);
    DS_StoreValue(&p, priority);
    m_values.push_back(v);
    m_priorities.push_back(p);
}

int32_t CDS_Priority::FindValue(const ScriptValue* value) const
{
    for (size_t i = 0; i < m_values.size(); i++)
        if (DS_CompareValues(&m_values[i], value) == 0) return int32_t(i);
    return -1;
}

void CDS_Priority::ChangePriority(const ScriptValue* value, const ScriptValue* priority)
{
    int32_t i = FindValue(value);
    if (i >= 0) DS_StoreValue(&m_priorities[size_t(i)], priority);
}

const ScriptValue* CDS_Priority::FindPriority(const ScriptValue* value) const
{
    int32_t i = FindValue(value);
    return i < 0 ? nullptr : &m_priorities[size_t(i)];
}

void CDS_Priority::RemoveAt(int32_t i)
{
    size_t last = m_values.size() - 1;
    if (size_t(i) != last) {
        std::swap(m_values[size_t(i)], m_values[last]);
        std::swap(m_priorities[size_t(i)], m_priorities[last]);
    }
    DS_ClearValue(&m_values[last]);
    DS_ClearValue(&m_priorities[last]);
    m_values.pop_back();
    m_priorities.pop_back();
}

void CDS_Priority::DeleteValue(const ScriptValue* value)
{
    int32_t i = FindValue(value);
    if (i >= 0) RemoveAt(i);
}

int32_t CDS_Priority::MinIndex() const
{
    if (m_priorities.empty()) return -1;
    int32_t m = 0;
    for (size_t i = 1; i < m_priorities.size(); i++)
        if (DS_CompareValues(&m_priorities[i], &m_priorities[size_t(m)]) < 0) m = int32_t(i);
    return m;
}

int32_t CDS_Priority::MaxIndex() const
{
    if (m_priorities.empty()) return -1;
    int32_t m = 0;
    for (size_t i = 1; i < m_priorities.size(); i++)
        if (DS_CompareValues(&m_priorities[i], &m_priorities[size_t(m)]) > 0) m = int32_t(i);
    return m;
}

void CDS_Priority::Remove(int32_t i, ScriptValue* out)
{
    Value_Move(out, &m_values[size_t(i)]);
    RemoveAt(i);
}

void CDS_Priority::Clear()
{
    for (ScriptValue& v : m_values) DS_ClearValue(&v);
    for (ScriptValue& p : m_priorities) DS_ClearValue(&p);
    m_values.clear();
    m_priorities.clear();
}

void CDS_Priority::Copy(const CDS_Priority* source)
{
    if (source == this) return;
    Clear();
    if (!source) return;
    m_values.resize(source->m_values.size(), DS_EmptyValue());
    m_priorities.resize(source->m_priorities.size(), DS_EmptyValue());
    for (size_t i = 0; i < m_values.size(); i++) {
        DS_StoreValue(&m_values[i], &source->m_values[i]);
        DS_StoreValue(&m_priorities[i], &source->m_priorities[i]);
    }
}
