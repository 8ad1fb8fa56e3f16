// The buffer table: buffers by index for the buffer built-ins, the saved game and the network
// layer (Files/Buffer/IBuffer.h). An array of owned IBuffer pointers; a new buffer takes the
// first empty slot, and a full table doubles (32 slots at first). Slots are never given back.
// Emptied slots are kept in a FreeSlots set and the slots never used start at g_used, so
// finding the first empty slot does not walk the table.
//
// Main thread only. Needs the memory manager. No Linux/ file.
#include <cstring>

#include "Files/Buffer/IBuffer.h"
#include "Platform/FreeSlots.h"
#include "Platform/MemoryManager.h"

namespace {
IBuffer** g_buffers = nullptr; // memory-manager block of g_slotCount pointers
int32_t g_slotCount = 0;
int32_t g_used = 0; // slots from here on have never held a buffer
FreeSlots g_freed;  // emptied slots below g_used
} // namespace

int32_t Buffer_FindFreeSlot()
{
    const int32_t again = g_freed.Take(g_used, [](int32_t i) { return g_buffers[i] == nullptr; });
    if (again >= 0) return again;
    if (g_used < g_slotCount) return g_used++;
    const int32_t first = g_slotCount;
    const int32_t count = g_slotCount == 0 ? 32 : g_slotCount * 2;
    // ReAlloc clears the new part, so the new slots are empty.
    MemoryManager::ReAllocPtr(&g_buffers, uint32_t(count) * uint32_t(sizeof(IBuffer*)), __FILE__, __LINE__);
    g_slotCount = count;
    g_used = first + 1;
    return first;
}

int32_t Buffer_Add(IBuffer* buffer)
{
    const int32_t index = Buffer_FindFreeSlot();
    g_buffers[index] = buffer;
    return index;
}

int32_t Buffer_Create(int32_t size, int32_t type, int32_t alignment)
{
    if (type == eBuffer_Fast) return Buffer_Add(new Buffer_Fast(size, alignment));
    return Buffer_Add(new Buffer_Standard(size, type, alignment));
}

int32_t Buffer_CreateOverMemory(void* memory, int32_t size, bool owns)
{
    return Buffer_Add(new Buffer_Standard(memory, size, eBuffer_Fixed, 1, owns));
}

IBuffer* Buffer_Get(int32_t index)
{
    if (index < 0 || index >= g_slotCount) return nullptr;
    return g_buffers[index];
}

void Buffer_Free(int32_t index)
{
    IBuffer* b = Buffer_Get(index);
    if (!b) return;
    g_buffers[index] = nullptr;
    g_freed.Release(index);
    delete b;
}

int32_t Buffer_SlotCount() { return g_slotCount; }

void Buffer_FreeAll()
{
    for (int32_t i = 0; i < g_slotCount; ++i) Buffer_Free(i);
    MEM_FREE(g_buffers);
    g_buffers = nullptr;
    g_slotCount = 0;
    g_used = 0;
    g_freed.Clear();
}
