// Fuzz target: arbitrary bytes as the saved form of a variable list and of the globals (the
// variables of a saved game). Loading must stop cleanly on bad counts, lengths and
// truncation, and a loaded list must save again.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Files/Buffer/IBuffer.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Code/Variable_List.h"
#include "Platform/MemoryManager.h"

namespace {

// The buffer entries of a save, packed, read back in order.
class Bytes : public IBuffer {
public:
    Bytes(const uint8_t* d, size_t n) : m_data(d, d + n) {}
    int32_t Write(int32_t type, ScriptValue* v) override
    {
        if (type == eBuffer_String) {
            const char* t = v->text ? v->text : "";
            m_data.insert(m_data.end(), t, t + std::strlen(t) + 1);
        } else {
            double r = v->real;
            const uint8_t* p = reinterpret_cast<const uint8_t*>(&r);
            m_data.insert(m_data.end(), p, p + (type == eBuffer_F64 ? 8 : 4));
        }
        return 0;
    }
    int32_t Read(int32_t type, ScriptValue* v) override
    {
        if (type == eBuffer_String) {
            size_t end = m_pos;
            while (end < m_data.size() && m_data[end]) ++end;
            if (end >= m_data.size()) return -1;
            *v = ScriptValue{VALUE_STRING, MEM_STRDUPN(reinterpret_cast<const char*>(&m_data[m_pos]), end - m_pos), 0};
            m_pos = end + 1;
            return 0;
        }
        size_t n = type == eBuffer_F64 ? 8 : 4;
        if (m_pos + n > m_data.size()) return -1;
        if (n == 8) {
            double d;
            std::memcpy(&d, &m_data[m_pos], 8);
            *v = ScriptValue{VALUE_REAL, nullptr, d};
        } else {
            int32_t i;
            std::memcpy(&i, &m_data[m_pos], 4);
            *v = ScriptValue{VALUE_REAL, nullptr, double(i)};
        }
        m_pos += n;
        return 0;
    }
    int32_t Seek(int32_t, int32_t offset) override
    {
        m_pos = size_t(offset < 0 ? 0 : offset);
        return int32_t(m_pos);
    }
    int32_t Tell() override { return int32_t(m_pos); }

private:
    std::vector<uint8_t> m_data;
    size_t m_pos = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1 << 16) return 0;
    static bool names = false;
    if (!names) {
        names = true;
        for (const char* n : {"a", "b", "score", "x"}) Code_Variable_FindOrAdd(n);
        Variable_Global_Init();
    }
    Bytes in(data, size);
    CVariableList list;
    list.DeSerialise(&in);
    Bytes out(nullptr, 0);
    list.Serialise(&out);
    Bytes again(data, size);
    Variable_Global_DeSerialise(&again);
    return 0;
}
