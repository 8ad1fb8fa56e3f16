// A growing in-memory IBuffer with alignment 1, for tests of saved forms: the typed entries
// of the buffer built-ins (u32, s32, f32, f64, strings) in little-endian order. Only Write,
// Read, Seek and Tell are its own; IBuffer's block stays empty.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Files/Buffer/IBuffer.h"

class TestBuffer : public IBuffer {
public:
    TestBuffer() = default;
    // Copies the bytes and the position (the buffer's own block stays empty).
    TestBuffer(const TestBuffer& other) : IBuffer(), bytes(other.bytes), m_pos(other.m_pos) {}
    TestBuffer& operator=(const TestBuffer& other)
    {
        bytes = other.bytes;
        m_pos = other.m_pos;
        return *this;
    }
    int32_t Write(int32_t type, ScriptValue* value) override;
    int32_t Read(int32_t type, ScriptValue* value) override;
    int32_t Seek(int32_t base, int32_t offset) override;
    int32_t Tell() override { return int32_t(m_pos); }

    std::vector<uint8_t> bytes;

private:
    void Put(const void* p, size_t n);
    bool Get(void* p, size_t n);
    size_t m_pos = 0;
};
