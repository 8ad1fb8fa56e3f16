// What a container does with the values it lets go of (Hash, SLinkedList): keep them, delete
// them as objects, or free them as memory-manager blocks. Header only; needs the memory
// manager.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "Platform/MemoryManager.h"

// ORDER: callers pass these numbers.
enum ContainerDeleteMode : int32_t {
    CONTAINER_KEEP = 0,   // the value stays alive; the caller owns it
    CONTAINER_DELETE = 1, // the value was made with new: delete (its virtual destructor when it has one)
    CONTAINER_FREE = 2,   // the value is a memory-manager block: freed
};

// Releases one value as the mode says. A null value is ignored.
template <class T>
inline void Container_ReleaseValue(T* value, int32_t mode)
{
    if (!value) return;
    if (mode == CONTAINER_DELETE) {
        if constexpr (std::is_void_v<T>) {
            MEM_FREE(value); // nothing to destroy: only a block can sit behind a void pointer
        } else {
            delete value;
        }
    } else if (mode == CONTAINER_FREE) {
        MEM_FREE(const_cast<std::remove_const_t<T>*>(value));
    }
}

// Byte size of n elements of size elem for the memory manager; a size that does not fit its
// 31-bit block size ends the program as running out of memory would.
inline uint32_t Container_ByteSize(int32_t n, size_t elem)
{
    if (n <= 0) return 0;
    uint64_t bytes = uint64_t(uint32_t(n)) * uint64_t(elem);
    if (bytes > 0x7FFFFFFFu) MemoryManager::OutOfMemory();
    return uint32_t(bytes);
}
