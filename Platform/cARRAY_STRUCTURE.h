// cARRAY_STRUCTURE: a growable array of records held by value (time-line moment times, room
// records, sound records). Header only; the items block comes from the memory manager.
//
// Invariants: the block holds exactly length records (no spare capacity); records are moved
// by copying their bytes, so T must be trivially copyable; records added by growing are
// zero-filled. Not thread-safe.
#pragma once

#include <cassert>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "Platform/ContainerMode.h"
#include "Platform/MemoryManager.h"

template <class T>
class cARRAY_STRUCTURE {
    static_assert(std::is_trivially_copyable_v<T>, "records are moved as bytes");

public:
    cARRAY_STRUCTURE() = default;
    ~cARRAY_STRUCTURE() { MEM_FREE(m_items); }
    cARRAY_STRUCTURE(const cARRAY_STRUCTURE&) = delete;
    cARRAY_STRUCTURE& operator=(const cARRAY_STRUCTURE&) = delete;

    // Resizes to n records (n below 0 counts as 0): kept records survive, new ones are zero.
    void SetLength(int32_t n)
    {
        if (n < 0) n = 0;
        if (n == 0) {
            MEM_FREE(m_items);
            m_items = nullptr;
            m_length = 0;
            return;
        }
        m_items = static_cast<T*>(MEM_REALLOC(m_items, Container_ByteSize(n, sizeof(T))));
        m_length = n;
    }

    // Removes record i, moving the records behind it down by one; an index out of range does
    // nothing.
    void RemoveAt(int32_t i)
    {
        if (i < 0 || i >= m_length) return;
        if (i + 1 < m_length)
            std::memmove(static_cast<void*>(m_items + i), m_items + i + 1,
                         size_t(m_length - i - 1) * sizeof(T));
        SetLength(m_length - 1);
    }

    T& operator[](int32_t i)
    {
        assert(i >= 0 && i < m_length && "record index in range");
        return m_items[i];
    }
    const T& operator[](int32_t i) const
    {
        assert(i >= 0 && i < m_length && "record index in range");
        return m_items[i];
    }

    int32_t GetLength() const { return m_length; }
    T* GetItems() const { return m_items; }

private:
    int32_t m_length = 0;
    T* m_items = nullptr;
};
