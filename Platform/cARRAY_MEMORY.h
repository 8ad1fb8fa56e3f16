// cARRAY_MEMORY: a growable array of memory-manager blocks the array owns. Header only; the
// slot block and the blocks come from the memory manager.
//
// Invariants: the block holds exactly length slots; new slots are null. Setting the length to
// 0 (or Clear) frees every block; shrinking to a smaller non-zero length drops the cut-off
// slots without freeing them. Not thread-safe.
#pragma once

#include <cassert>
#include <cstdint>

#include "Platform/ContainerMode.h"
#include "Platform/MemoryManager.h"

template <class T = void>
class cARRAY_MEMORY {
public:
    cARRAY_MEMORY() = default;
    ~cARRAY_MEMORY() { SetLength(0); }
    cARRAY_MEMORY(const cARRAY_MEMORY&) = delete;
    cARRAY_MEMORY& operator=(const cARRAY_MEMORY&) = delete;

    void SetLength(int32_t n)
    {
        if (n < 0) n = 0;
        if (n == 0) {
            for (int32_t i = 0; i < m_length; ++i) {
                MEM_FREE(m_items[i]);
                m_items[i] = nullptr;
            }
            MEM_FREE(m_items);
            m_items = nullptr;
            m_length = 0;
            return;
        }
        m_items = static_cast<T**>(MEM_REALLOC(m_items, Container_ByteSize(n, sizeof(T*))));
        m_length = n;
    }

    void Clear() { SetLength(0); }

    T*& operator[](int32_t i)
    {
        assert(i >= 0 && i < m_length && "slot index in range");
        return m_items[i];
    }
    T* Get(int32_t i) const { return (i >= 0 && i < m_length) ? m_items[i] : nullptr; }

    int32_t GetLength() const { return m_length; }
    T** GetItems() const { return m_items; }

private:
    int32_t m_length = 0;
    T** m_items = nullptr;
};
