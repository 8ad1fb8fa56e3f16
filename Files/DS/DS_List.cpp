// CDS_List and its index table. Needs DS_Main and the random generator.
#include "Files/DS/DS_List.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <iterator>
#include <set>

#include "Files/Base/QuitRequest.h"
#include "Files/Base/Random.h"

namespace {

DSTable<CDS_List> g_lists;

// How DS_CompareValues orders a list's values. It is a total preorder within the strings
// and within reals that single precision and the precision keep apart or identical; a real
// against a string compares 1 both ways. Anything else (not-a-number, reals the precision
// blurs, marked values) has no order a sort can use.
enum class ListOrder { Consistent, MixedKinds, None, Stopped };

ListOrder OrderOf(const std::vector<ScriptValue>& items, QuitPoll& poll)
{
    bool strings = false, reals = false;
    std::vector<double> sorted;
    for (const ScriptValue& v : items) {
        if (v.kind == VALUE_STRING) {
            strings = true;
            continue;
        }
        if (v.kind != VALUE_REAL || !std::isfinite(float(v.real))) return ListOrder::None;
        reals = true;
        sorted.push_back(v.real);
    }
    if (!QuitRequest_StableSort(sorted.begin(), sorted.end(), std::less<double>(), poll)) return ListOrder::Stopped;
    // Rounding is monotonic, so values further apart than neighbours that compare unequal
    // compare unequal too: checking neighbours is enough.
    for (size_t i = 1; i < sorted.size(); i++) {
        if (poll.Stop(2)) return ListOrder::Stopped;
        ScriptValue a{VALUE_REAL, nullptr, sorted[i - 1]};
        ScriptValue b{VALUE_REAL, nullptr, sorted[i]};
        int32_t ab = DS_CompareValues(&a, &b), ba = DS_CompareValues(&b, &a);
        if (float(a.real) == float(b.real)) {
            if (ab != 0 || ba != 0) return ListOrder::None;
        } else if (ab != -1 || ba != 1) {
            return ListOrder::None;
        }
    }
    return strings && reals ? ListOrder::MixedKinds : ListOrder::Consistent;
}

bool Before(const ScriptValue& a, const ScriptValue& b) { return DS_CompareValues(&a, &b) < 0; }
bool After(const ScriptValue& a, const ScriptValue& b) { return DS_CompareValues(&a, &b) > 0; }

// The insertion sort's result for values of one consistent kind: stable ascending, and
// descending with equal values in reverse (each moves before the equal ones ahead of it).
// False when a quit stopped it.
bool SortConsistent(std::vector<ScriptValue>::iterator first, std::vector<ScriptValue>::iterator last,
                    bool ascending, QuitPoll& poll)
{
    if (ascending) return QuitRequest_StableSort(first, last, Before, poll);
    std::reverse(first, last);
    return QuitRequest_StableSort(first, last, After, poll);
}

// The insertion sort's result for strings mixed with reals, in O(n log n). Descending, a
// value never passes one of the other kind, so each run of one kind sorts on its own.
// Ascending, a value passes every value of the other kind and those of its own kind that are
// greater, so it lands right after the last value of its kind that is not greater (an
// ordered set per kind finds it), or first of all when there is none.
void SortMixedKinds(std::vector<ScriptValue>& items, bool ascending, QuitPoll& poll)
{
    size_t n = items.size();
    if (!ascending) {
        for (size_t start = 0; start < n;) {
            size_t end = start + 1;
            while (end < n && items[end].kind == items[start].kind) end++;
            if (!SortConsistent(items.begin() + ptrdiff_t(start), items.begin() + ptrdiff_t(end), false, poll)) return;
            start = end;
        }
        return;
    }
    auto less = [&items](size_t a, size_t b) { return Before(items[a], items[b]); };
    std::multiset<size_t, decltype(less)> strings(less), reals(less);
    constexpr size_t kNone = SIZE_MAX;
    std::vector<size_t> next(n, kNone);
    size_t head = kNone;
    for (size_t i = 0; i < n; i++) {
        if (poll.Stop(32)) return; // nothing moved yet
        auto& same = items[i].kind == VALUE_STRING ? strings : reals;
        auto at = same.upper_bound(i); // equal values go after the ones inserted before
        if (at == same.begin()) {
            next[i] = head;
            head = i;
        } else {
            size_t before = *std::prev(at);
            next[i] = next[before];
            next[before] = i;
        }
        same.insert(at, i);
    }
    std::vector<ScriptValue> sorted;
    sorted.reserve(n);
    for (size_t i = head; i != kNone; i = next[i]) sorted.push_back(items[i]);
    items.swap(sorted);
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
    DS_SetNestedOwner(index, isMap, this);
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
    QuitPoll poll;
    switch (OrderOf(m_items, poll)) {
    case ListOrder::Stopped:
        return;
    case ListOrder::Consistent:
        SortConsistent(m_items.begin(), m_items.end(), ascending, poll);
        return;
    case ListOrder::MixedKinds:
        SortMixedKinds(m_items, ascending, poll);
        return;
    case ListOrder::None:
        break;
    }
    for (size_t i = 1; i < n; i++) {
        size_t j = i;
        for (; j >= 1; j--) {
            int32_t c = DS_CompareValues(&m_items[j - 1], &m_items[j]);
            if (ascending ? c < 1 : c > 0) break;
            std::swap(m_items[j - 1], m_items[j]);
        }
        if (poll.Stop(i - j + 1)) return; // the compares this value took
    }
}

void CDS_List::Shuffle()
{
    int32_t n = Size();
    int64_t swaps = int64_t(n) * 8;
    if (swaps < 1) return;
    QuitPoll poll;
    for (int64_t k = 0; k < swaps; k++) {
        if (poll.Stop(8)) return;
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
