// ScriptValue copy, release and serialisation. Needs the memory manager and the buffer
// interface.
#include "Files/Base/Value.h"

#include <cmath>

#include "Files/Buffer/IBuffer.h"
#include "Platform/MemoryManager.h"

void Value_FreeString(ScriptValue* value)
{
    if (value->kind == VALUE_STRING && value->text) {
        MEM_FREE(value->text);
        value->text = nullptr;
    }
}

void Value_Copy(ScriptValue* dst, const ScriptValue* src)
{
    if (dst == src) return;
    char* text = (src->kind == VALUE_STRING && src->text) ? MEM_STRDUP(src->text) : nullptr;
    Value_FreeString(dst);
    dst->kind = src->kind;
    dst->real = src->real;
    dst->text = text;
}

void Value_Move(ScriptValue* dst, ScriptValue* src)
{
    if (dst == src) return;
    Value_FreeString(dst);
    dst->kind = src->kind;
    dst->real = src->real;
    dst->text = src->kind == VALUE_STRING ? src->text : nullptr;
    *src = Value_Real(0.0);
}

void Value_SetReal(ScriptValue* value, double real)
{
    Value_FreeString(value);
    value->kind = VALUE_REAL;
    value->text = nullptr;
    value->real = real;
}

void Value_SetString(ScriptValue* value, const char* text)
{
    Value_SetStringOwned(value, text ? MEM_STRDUP(text) : nullptr);
}

void Value_SetStringOwned(ScriptValue* value, char* text)
{
    Value_FreeString(value);
    value->kind = VALUE_STRING;
    value->text = text;
    value->real = 0.0;
}

void Value_Serialise(IBuffer* buffer, const ScriptValue* value)
{
    Buffer_WriteNumber(buffer, eBuffer_S32, double(value->kind));
    Buffer_WriteNumber(buffer, eBuffer_F64, value->real);
    Buffer_WriteString(buffer, value->kind == VALUE_STRING ? value->text : nullptr);
}

bool Value_DeSerialise(IBuffer* buffer, ScriptValue* value)
{
    Value_FreeString(value);
    *value = Value_Real(0.0);
    double kind = 0, real = 0;
    bool ok = Buffer_ReadNumber(buffer, eBuffer_S32, &kind);
    ok = Buffer_ReadNumber(buffer, eBuffer_F64, &real) && ok;
    bool textOk = true;
    char* text = Buffer_ReadString(buffer, &textOk);
    if (!ok || !textOk) {
        MEM_FREE(text);
        return false;
    }
    // The kind entry holds a whole number; anything outside the int range is no kind we know.
    value->kind = std::isfinite(kind) && std::fabs(kind) < 2147483648.0 ? int32_t(kind) : -1;
    value->real = real;
    if (value->kind == VALUE_STRING) {
        value->text = text;
    } else {
        MEM_FREE(text);
    }
    return true;
}
