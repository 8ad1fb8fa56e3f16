// The emptied slots of a table whose indexes scripts see as handles: a new entry takes the
// lowest free slot (or goes on the end when none is free), found in logarithmic time instead
// of a walk from slot 0. The table reports each slot it empties (Release); Take asks the table
// whether a candidate is still free and drops the ones that are not (refilled some other way,
// or past a shrunk end), so a slot reported twice or refilled by a loader does no harm.
// Header only; no host library.
#pragma once

#include <cstdint>
#include <functional>
#include <queue>
#include <vector>

class FreeSlots {
public:
    // Slot i has been emptied.
    void Release(int32_t i)
    {
        if (i >= 0) m_heap.push(i);
    }

    // The lowest released slot below size that isFree(i) still says is free, taken out of the
    // set; -1 when there is none (the new entry goes on the end).
    template <class IsFree>
    int32_t Take(int32_t size, IsFree isFree)
    {
        while (!m_heap.empty()) {
            const int32_t i = m_heap.top();
            m_heap.pop();
            if (i < size && isFree(i)) return i;
        }
        return -1;
    }

    // Forgets every slot (the table was emptied or rebuilt).
    void Clear() { m_heap = {}; }

private:
    std::priority_queue<int32_t, std::vector<int32_t>, std::greater<int32_t>> m_heap;
};
