// ScriptValue copy and release. Needs the memory manager.
#include "Files/Base/Value.h"

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
