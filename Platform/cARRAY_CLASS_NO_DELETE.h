// cARRAY_CLASS_NO_DELETE: a growable array of pointers the array does not own (the carried
// persistent instances at room end). Header only; the slot block comes from the memory
// manager.
//
// Invariants: the block holds exactly length slots; new slots are null; no operation deletes
// an object. Not thread-safe.
#pragma once

#include <cassert>
#include <cstdint>

#include "Platform/ContainerMode.h"
#include "Platform/MemoryManager.h"

template <class T>
class cARRAY_CLASS_NO_DELETE {
public:
    cARRAY_CLASS_NO_DELETE() = default;
    ~cARRAY_CLASS_NO_DELETE() { SetLength(0); }
    cARRAY_CLASS_NO_DELETE(const cARRAY_CLASS_NO_DELETE&) = delete;
    cARRAY_CLASS_NO_DELETE& operator=(const cARRAY_CLASS_NO_DELETE&) = delete;

    void SetLength(int32_t n)
    {
        if (n < 0) n = 0;
        if (n == 0) {
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
