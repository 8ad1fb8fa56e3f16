// VMWriteBuffer: the growable word buffer the byte-code generator writes into; it is also the
// VMBuffer the machine later runs. While writing, the inherited size holds the capacity;
// Finish makes it the number of bytes written. The data block (and the string pool) are
// released by VMBuffer's destructor.
// Needs: the byte-code format (VM_Format.h), the memory manager.
#pragma once

#include <cstdint>

#include "Files/Code/VM_Format.h"

class VMWriteBuffer : public VMBuffer {
public:
    explicit VMWriteBuffer(int32_t capacity);
    ~VMWriteBuffer() override = default;

    // Free room in bytes.
    int32_t GetFree() const { return m_size - m_written; }
    // Doubles the capacity until bytes fit; returns the free room (when it already fit) or
    // the new capacity.
    int32_t Reserve(int32_t bytes);
    // Appends n words (at most 3).
    void Emit(int32_t n, uint32_t w1 = 0, uint32_t w2 = 0, uint32_t w3 = 0);
    void Emit(uint32_t word) { Emit(1, word); }
    void Emit64(uint64_t value) { Emit(2, uint32_t(value), uint32_t(value >> 32)); }
    void EmitReal(double value);
    void EmitBool(bool value) { Emit(1, value ? 1u : 0u); }
    // A float widened to a real.
    void EmitFloat(float value) { EmitReal(double(value)); }

    // The write offset in bytes.
    int32_t GetOffset() const { return m_written; }
    uint32_t WordAt(int32_t offset) const { return VM_Load32(m_pData + offset); }
    void PatchWord(int32_t offset, uint32_t word);
    // The size becomes the number of bytes written.
    void Finish() { m_size = m_written; }

private:
    int32_t m_written = 0; // the write pointer as an offset from the data
};
