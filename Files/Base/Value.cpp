// ScriptValue copy and release. Needs the memory manager.
#include "Files/Base/Value.h"

#include <cstring>

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

void Value_Share(ScriptValue* dst, const ScriptValue* src)
{
    if (dst == src) return;
    if (src->kind != VALUE_STRING || !src->text || !MemoryManager::Share(src->text)) {
        Value_Copy(dst, src);
        return;
    }
    Value_FreeString(dst);
    *dst = *src;
}

void Value_Append(ScriptValue* value, const char* add, size_t n)
{
    char* t = value->text;
    const int32_t known = t ? MemoryManager::TextLength(t) : 0;
    const size_t len = known >= 0 ? size_t(known) : std::strlen(t);
    if (len + n >= 0x7FFFFFF0u) MemoryManager::OutOfMemory();
    const size_t need = len + n + 1;
    const size_t cap = MemoryManager::GetSize(t);
    if (need > cap || MemoryManager::IsShared(t)) {
        size_t grown = need <= cap ? cap : cap * 2 > need ? cap * 2 : need;
        if (grown < 32) grown = 32;
        if (grown >= 0x7FFFFFF0u) grown = need;
        // add may point into the block, which may move.
        const uintptr_t at = reinterpret_cast<uintptr_t>(add), start = reinterpret_cast<uintptr_t>(t);
        const bool inside = t && at >= start && at - start < cap;
        const size_t offset = inside ? size_t(at - start) : 0;
        if (inside && MemoryManager::IsShared(t)) {
            // The other holder keeps the old block: read from it, then let it go.
            char* block = static_cast<char*>(MEM_ALLOC(grown));
            std::memcpy(block, t, len);
            std::memcpy(block + len, add, n);
            MEM_FREE(t);
            t = block;
            add = nullptr;
        } else {
            t = static_cast<char*>(MEM_RESIZE(t, grown)); // a shared block: a copy, the other keeps it
            if (inside) add = t + offset;
        }
    }
    if (add && n) std::memcpy(t + len, add, n);
    t[len + n] = 0;
    MemoryManager::SetTextLength(t, uint32_t(len + n));
    value->kind = VALUE_STRING;
    value->text = t;
    value->real = 0.0;
}

namespace {
size_t TextLengthOf(const char* t)
{
    if (!t) return 0;
    const int32_t known = MemoryManager::TextLength(t);
    return known >= 0 ? size_t(known) : std::strlen(t);
}
} // namespace

char* Value_SumAdd(char* acc, const char* add, size_t n)
{
    ScriptValue v{VALUE_STRING, acc, 0.0};
    Value_Append(&v, add, n);
    return v.text;
}

char* Value_SumJoin(char* left, char* acc)
{
    const size_t a = TextLengthOf(left), b = TextLengthOf(acc);
    if (a + b >= 0x7FFFFFF0u) MemoryManager::OutOfMemory();
    char* t = static_cast<char*>(MEM_ALLOC(a + b + 1));
    if (a) std::memcpy(t, left, a);
    if (b) std::memcpy(t + a, acc, b);
    t[a + b] = 0;
    MEM_FREE(left);
    MEM_FREE(acc);
    return t;
}

bool Value_SumStore(ScriptValue* w, char* left, char* acc)
{
    if (!w || w->kind != VALUE_STRING || w->text != left || (left && !MemoryManager::IsShared(left))) return false;
    MEM_FREE(left); // the sum's share: w holds the block alone now
    Value_Append(w, acc, TextLengthOf(acc));
    MEM_FREE(acc);
    return true;
}
