// cARRAY_CLASS: a growable array of pointers to objects the array owns (stored rooms,
// time-line moments, audio voices, extension records). Header only; the slot block comes from
// the memory manager, the objects from new.
//
// Invariants: the block holds exactly length slots; new slots are null. Setting the length to
// 0 deletes every object; shrinking to a smaller non-zero length drops the cut-off slots
// WITHOUT deleting their objects (callers move or delete them first). Not thread-safe.
#pragma once

#include <cassert>
#include <cstdint>

#include "Platform/ContainerMode.h"
#include "Platform/MemoryManager.h"

template <class T>
class cARRAY_CLASS {
public:
    cARRAY_CLASS() = default;
    ~cARRAY_CLASS() { SetLength(0); }
    cARRAY_CLASS(const cARRAY_CLASS&) = delete;
    cARRAY_CLASS& operator=(const cARRAY_CLASS&) = delete;

    void SetLength(int32_t n)
    {
        if (n < 0) n = 0;
        if (n == m_length) return;
        if (n == 0) {
            for (int32_t i = 0; i < m_length; ++i) {
                T* object = m_items[i];
                m_items[i] = nullptr;
                delete object;
            }
            MEM_FREE(m_items);
            m_items = nullptr;
            m_length = 0;
            return;
        }
        m_items = static_cast<T**>(MEM_REALLOC(m_items, Container_ByteSize(n, sizeof(T*))));
        m_length = n;
    }

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
