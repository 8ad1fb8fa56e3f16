// String and number shorthands over the IBuffer interface (Files/Support/IBuffer.h).
#include "Files/Support/IBuffer.h"

#include <cstring>

#include "Files/Variable/Variable_Value.h"
#include "Platform/MemoryManager.h"

namespace {
char g_nullMarker[2] = {4, 0};
}

int32_t Buffer_WriteString(IBuffer* buffer, const char* text)
{
    ScriptValue v{VALUE_STRING, text ? const_cast<char*>(text) : g_nullMarker, 0.0};
    return buffer->Write(eBuffer_String, &v);
}

char* Buffer_ReadString(IBuffer* buffer, bool* ok)
{
    ScriptValue v{VALUE_REAL, nullptr, 0.0};
    int32_t rc = buffer->Read(eBuffer_String, &v);
    char* text = v.kind == VALUE_STRING ? v.text : nullptr;
    if (ok) *ok = rc >= 0;
    if (rc < 0) {
        MEM_FREE(text);
        return nullptr;
    }
    if (text && text[0] == 4 && text[1] == 0) {
        MEM_FREE(text);
        return nullptr;
    }
    return text;
}

int32_t Buffer_WriteNumber(IBuffer* buffer, int32_t type, double value)
{
    ScriptValue v{VALUE_REAL, nullptr, value};
    return buffer->Write(type, &v);
}

bool Buffer_ReadNumber(IBuffer* buffer, int32_t type, double* out)
{
    ScriptValue v{VALUE_REAL, nullptr, 0.0};
    int32_t rc = buffer->Read(type, &v);
    *out = rc >= 0 && v.kind == VALUE_REAL ? v.real : 0.0;
    if (v.kind == VALUE_STRING) MEM_FREE(v.text);
    return rc >= 0;
}
