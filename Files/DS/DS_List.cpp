// CDS_List and its index table. Needs DS_Main and the random generator.
#include "Files/DS/DS_List.h"

#include <algorithm>
#include <cmath>

#include "Files/Base/Random.h"

namespace {

DSTable<CDS_List> g_lists;

// True when DS_CompareValues orders these values consistently (a total preorder), so that a
// stable sort gives exactly what the insertion sort gives.
bool ConsistentOrder(const std::vector<ScriptValue>& items)
{
    bool allStrings = true, allReals = true;
    for (const ScriptValue& v : items) {
        if (v.kind != VALUE_STRING) allStrings = false;
        if (v.kind != VALUE_REAL) allReals = false;
    }
    if (allStrings) return true;
    if (!allReals) return false;
    std::vector<double> reals;
    reals.reserve(items.size());
    for (const ScriptValue& v : items) {
        if (!std::isfinite(float(v.real))) return false; // not-a-number or beyond single range
        reals.push_back(v.real);
    }
    std::sort(reals.begin(), reals.end());
    // Rounding is monotonic, so values further apart than neighbours that compare unequal
    // compare unequal too: checking neighbours is enough.
    for (size_t i = 1; i < reals.size(); i++) {
        ScriptValue a{VALUE_REAL, nullptr, reals[i - 1]};
        ScriptValue b{VALUE_REAL, nullptr, reals[i]};
        int32_t ab = DS_CompareValues(&a, &b), ba = DS_CompareValues(&b, &a);
        if (float(a.real) == float(b.real)) {
            if (ab != 0 || ba != 0) return false;
        } else if (ab != -1 || ba != 1) {
            return false;
        }
    }
    return true;
}

} // namespace

DSTable<CDS_List>& DS_Lists() { return g_lists; }

CDS_List::~CDS_List() { Clear(); }

void CDS_List::FreeValues()
{
    for (ScriptValue& v : m_items) DS_ClearValue(&v);
    m_items.clear();
}

void CDS_List::Add(const ScriptValue* value)
{
    ScriptValue v = DS_EmptyValue();
    DS_StoreValue(&v, value);
    m_items.push_back(v);
}

void CDS_List::AddNested(int32_t index, bool isMap)
{
    m_items.push_back(ScriptValue{isMap ? DS_MARK_MAP : DS_MARK_LIST, nullptr, double(index)});
}

void CDS_List::Insert(int32_t pos, const ScriptValue* value)
{
    if (pos < 0 || pos > Size()) return;
    ScriptValue v = DS_EmptyValue();
    DS_StoreValue(&v, value);
    m_items.insert(m_items.begin() + pos, v);
}

void CDS_List::Replace(int32_t pos, const ScriptValue* value)
{
    if (pos < 0 || pos >= Size()) return;
    DS_StoreValue(&m_items[size_t(pos)], value);
}

void CDS_List::Delete(int32_t pos)
{
    if (pos < 0 || pos >= Size()) return;
    DS_ClearValue(&m_items[size_t(pos)]);
    m_items.erase(m_items.begin() + pos);
}

int32_t CDS_List::FindIndex(const ScriptValue* value) const
{
    for (size_t i = 0; i < m_items.size(); i++)
        if (DS_CompareValues(&m_items[i], value) == 0) return int32_t(i);
    return -1;
}

void CDS_List::Sort(bool ascending)
{
    size_t n = m_items.size();
    if (n < 2) return;
    if (ConsistentOrder(m_items)) {
        if (ascending) {
            std::stable_sort(m_items.begin(), m_items.end(), [](const ScriptValue& a, const ScriptValue& b) {
                return DS_CompareValues(&a, &b) < 0;
            });
        } else {
            // Descending insertion moves each value before the equal ones that precede it.
            std::reverse(m_items.begin(), m_items.end());
            std::stable_sort(m_items.begin(), m_items.end(), [](const ScriptValue& a, const ScriptValue& b) {
                return DS_CompareValues(&a, &b) > 0;
            });
        }
        return;
    }
    for (size_t i = 1; i < n; i++) {
        for (size_t j = i; j >= 1; j--) {
            int32_t c = DS_CompareValues(&m_items[j - 1], &m_items[j]);
            if (ascending ? c < 1 : c > 0) break;
            std::swap(m_items[j - 1], m_items[j]);
        }
    }
}

void CDS_List::Shuffle()
{
    int32_t n = Size();
    int64_t swaps = int64_t(n) * 8;
    if (swaps < 1) return;
    for (int64_t k = 0; k < swaps; k++) {
        uint32_t i = Random_Int(n);
        uint32_t j = Random_Int(n);
        std::swap(m_items[i], m_items[j]);
    }
}

void CDS_List::Clear()
{
    std::vector<ScriptValue> old;
    old.swap(m_items);
    DS_DestroyMarked(old, this);
    for (ScriptValue& v : old) DS_ClearValue(&v);
}

void CDS_List::Copy(const CDS_List* source)
{
    if (source == this) return;
    FreeValues(); // the structures the old values own stay alive
    if (!source) return;
    m_items.resize(source->m_items.size(), DS_EmptyValue());
    for (size_t i = 0; i < m_items.size(); i++) DS_StoreValue(&m_items[i], &source->m_items[i]);
}
