// TestBuffer (tests/support/TestBuffer.h).
#include "support/TestBuffer.h"

#include <cmath>
#include <cstring>

#include "Files/Base/Value.h"
#include "Platform/MemoryManager.h"

void TestBuffer::Put(const void* p, size_t n)
{
    if (m_pos + n > bytes.size()) bytes.resize(m_pos + n);
    std::memcpy(bytes.data() + m_pos, p, n);
    m_pos += n;
}

bool TestBuffer::Get(void* p, size_t n)
{
    if (m_pos + n > bytes.size()) return false;
    std::memcpy(p, bytes.data() + m_pos, n);
    m_pos += n;
    return true;
}

int32_t TestBuffer::Write(int32_t type, ScriptValue* v)
{
    switch (type) {
    case eBuffer_U32: {
        uint32_t x = uint32_t(int64_t(v->real));
        Put(&x, 4);
        return 0;
    }
    case eBuffer_S32: {
        int32_t x = int32_t(v->real);
        Put(&x, 4);
        return 0;
    }
    case eBuffer_F32: {
        float x = float(v->real);
        Put(&x, 4);
        return 0;
    }
    case eBuffer_F64: Put(&v->real, 8); return 0;
    case eBuffer_String: {
        const char* t = v->kind == VALUE_STRING && v->text ? v->text : "";
        Put(t, std::strlen(t) + 1);
        return 0;
    }
    default: return -1;
    }
}

int32_t TestBuffer::Read(int32_t type, ScriptValue* v)
{
    switch (type) {
    case eBuffer_U32: {
        uint32_t x;
        if (!Get(&x, 4)) return -1;
        *v = Value_Real(double(x));
        return 0;
    }
    case eBuffer_S32: {
        int32_t x;
        if (!Get(&x, 4)) return -1;
        *v = Value_Real(double(x));
        return 0;
    }
    case eBuffer_F32: {
        float x;
        if (!Get(&x, 4)) return -1;
        *v = Value_Real(double(x));
        return 0;
    }
    case eBuffer_F64: {
        double x;
        if (!Get(&x, 8)) return -1;
        *v = Value_Real(x);
        return 0;
    }
    case eBuffer_String: {
        size_t end = m_pos;
        while (end < bytes.size() && bytes[end]) ++end;
        if (end >= bytes.size()) return -1;
        v->kind = VALUE_STRING;
        v->text = MEM_STRDUPN(reinterpret_cast<const char*>(bytes.data() + m_pos), end - m_pos);
        v->real = 0;
        m_pos = end + 1;
        return 0;
    }
    default: return -1;
    }
}

int32_t TestBuffer::Seek(int32_t base, int32_t offset)
{
    int64_t p = base == eSeek_Start ? 0 : base == eSeek_Relative ? int64_t(m_pos) : int64_t(bytes.size());
    p += offset;
    if (p < 0) return -1;
    m_pos = size_t(p);
    return int32_t(m_pos);
}
