// The byte-code write buffer (Files/Code/VM_WriteBuffer.h).
#include "Files/Code/VM_WriteBuffer.h"

#include <cstring>

#include "Platform/MemoryManager.h"

VMWriteBuffer::VMWriteBuffer(int32_t capacity)
{
    if (capacity < 4) capacity = 4;
    m_pData = static_cast<uint8_t*>(MEM_ALLOC(uint32_t(capacity)));
    m_size = capacity;
}

int32_t VMWriteBuffer::Reserve(int32_t bytes)
{
    if (GetFree() >= bytes) return GetFree();
    int64_t capacity = m_size;
    while (capacity - m_written < bytes) capacity *= 2;
    if (capacity > 0x7FFFFFF0) capacity = 0x7FFFFFF0; // the memory manager's limit ends the program first
    m_pData = static_cast<uint8_t*>(MEM_RESIZE(m_pData, uint32_t(capacity)));
    m_size = int32_t(capacity);
    return m_size;
}

void VMWriteBuffer::Emit(int32_t n, uint32_t w1, uint32_t w2, uint32_t w3)
{
    if (n <= 0) return;
    if (n > 3) n = 3;
    Reserve(4 * n);
    const uint32_t words[3] = {w1, w2, w3};
    std::memcpy(m_pData + m_written, words, size_t(4 * n));
    m_written += 4 * n;
}

void VMWriteBuffer::EmitReal(double value)
{
    uint64_t bits;
    std::memcpy(&bits, &value, 8);
    Emit64(bits);
}

void VMWriteBuffer::PatchWord(int32_t offset, uint32_t word)
{
    if (offset >= 0 && offset + 4 <= m_written) std::memcpy(m_pData + offset, &word, 4);
}
