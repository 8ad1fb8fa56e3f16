// The connections' reply buffers (Files/Networking/Network_Internal.h): a byte block that grows
// as entries are written, alignment 1, little-endian typed entries in the buffers' numbering.
#include <algorithm>
#include <cstring>
#include <vector>

#include "Files/Base/RealConvert.h"
#include "Files/Networking/Network_Internal.h"
#include "Files/Support/IBuffer.h"
#include "Files/Variable/Variable_Value.h"
#include "Platform/MemoryManager.h"

namespace {

constexpr size_t kLimit = size_t(1) << 30;

class ReplyBuffer : public IBuffer {
public:
    explicit ReplyBuffer(int32_t size) : m_bytes(size_t(size < 1 ? 1 : size), 0) {}

    int32_t Write(int32_t type, ScriptValue* v) override
    {
        const double r = v ? v->real : 0.0;
        switch (type) {
        case 1:
        case 2: return Put(uint8_t(Real_TruncToInt32(r)));
        case 3:
        case 4: return Put(uint16_t(Real_TruncToInt32(r)));
        case eBuffer_U32: return Put(uint32_t(Real_TruncToInt64(r)));
        case eBuffer_S32: return Put(uint32_t(Real_TruncToInt32(r)));
        case eBuffer_F32: return Put(float(r));
        case eBuffer_F64: return Put(r);
        case 10: return Put(uint8_t(r > 0.5 ? 1 : 0));
        case eBuffer_String: {
            const char* t = v && v->kind == VALUE_STRING && v->text ? v->text : "";
            return PutBytes(t, std::strlen(t) + 1);
        }
        default: return -1;
        }
    }

    int32_t Read(int32_t type, ScriptValue* v) override
    {
        Value_SetReal(v, 0.0);
        switch (type) {
        case 1: return Get<uint8_t>(v);
        case 2: return Get<int8_t>(v);
        case 3: return Get<uint16_t>(v);
        case 4: return Get<int16_t>(v);
        case eBuffer_U32: return Get<uint32_t>(v);
        case eBuffer_S32: return Get<int32_t>(v);
        case eBuffer_F32: return Get<float>(v);
        case eBuffer_F64: return Get<double>(v);
        case 10: return Get<uint8_t>(v);
        case eBuffer_String: {
            size_t end = m_position;
            while (end < m_bytes.size() && m_bytes[end]) ++end;
            if (end >= m_bytes.size()) return -2;
            Value_SetString(v, reinterpret_cast<const char*>(&m_bytes[m_position]));
            m_position = end + 1;
            return 0;
        }
        default: return -1;
        }
    }

    int32_t Seek(int32_t base, int32_t offset) override
    {
        int64_t at = base == eSeek_Start ? 0 : base == eSeek_Relative ? int64_t(m_position) : int64_t(m_bytes.size());
        at += offset;
        if (at < 0) at = 0;
        if (at > int64_t(m_bytes.size())) at = int64_t(m_bytes.size());
        m_position = size_t(at);
        return int32_t(at);
    }

    int32_t Tell() override { return int32_t(m_position); }
    const uint8_t* Bytes() const { return m_bytes.data(); }

private:
    template <class T>
    int32_t Put(T value)
    {
        return PutBytes(&value, sizeof value);
    }
    int32_t PutBytes(const void* p, size_t n)
    {
        if (m_position + n > kLimit) return -2;
        if (m_position + n > m_bytes.size()) m_bytes.resize(std::max(m_position + n, m_bytes.size() * 2), 0);
        std::memcpy(&m_bytes[m_position], p, n);
        m_position += n;
        return 0;
    }
    template <class T>
    int32_t Get(ScriptValue* v)
    {
        if (m_position + sizeof(T) > m_bytes.size()) return -2;
        T x;
        std::memcpy(&x, &m_bytes[m_position], sizeof x);
        m_position += sizeof x;
        Value_SetReal(v, double(x));
        return 0;
    }

    std::vector<uint8_t> m_bytes;
    size_t m_position = 0;
};

} // namespace

IBuffer* Network_NewReplyBuffer(int32_t size) { return new ReplyBuffer(size); }

const uint8_t* Network_ReplyBytes(IBuffer* buffer, int32_t* length)
{
    auto* b = static_cast<ReplyBuffer*>(buffer);
    *length = b ? b->Tell() : 0;
    return b ? b->Bytes() : nullptr;
}
