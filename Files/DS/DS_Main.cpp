// Shared data-structure services: stored values, the comparison, the tables' reset, nested
// destruction, the bad-index error and the binary text form's reader and writer helpers.
// Needs the error reporter, the memory stream (hex decoding), the log console.
#include "Files/DS/DS_Main.h"

#include <cmath>
#include <cstring>

#include "Files/Base/Console.h"
#include "Files/Base/RealConvert.h"
#include "Files/Code/Code_Error.h"
#include "Files/DS/DS_Grid.h"
#include "Files/DS/DS_List.h"
#include "Files/DS/DS_Map.h"
#include "Files/DS/DS_Priority.h"
#include "Files/DS/DS_Stack.h"
#include "Files/Support/Stream.h"
#include "Platform/MemoryManager.h"

namespace {

double g_precision = 0.00000001;

} // namespace

// [SECTION] Values

void DS_StoreValue(ScriptValue* slot, const ScriptValue* src)
{
    if (slot == src) {
        if (slot->kind != VALUE_STRING) {
            slot->kind = VALUE_REAL;
            slot->text = nullptr;
        }
        return;
    }
    if (src->kind == VALUE_STRING) {
        char* text = src->text ? MEM_STRDUP(src->text) : nullptr;
        Value_FreeString(slot);
        slot->kind = VALUE_STRING;
        slot->text = text;
        slot->real = src->real;
    } else {
        Value_FreeString(slot);
        slot->kind = VALUE_REAL;
        slot->text = nullptr;
        slot->real = src->real;
    }
}

void DS_ClearValue(ScriptValue* slot)
{
    Value_FreeString(slot);
    *slot = DS_EmptyValue();
}

void DS_CopyOut(ScriptValue* out, const ScriptValue* stored)
{
    if (out == stored) return;
    char* text = (stored->kind == VALUE_STRING && stored->text) ? MEM_STRDUP(stored->text) : nullptr;
    Value_FreeString(out);
    out->kind = stored->kind;
    out->real = stored->real;
    out->text = text;
}

double DS_GetPrecision() { return g_precision; }
void DS_SetPrecision(double precision) { g_precision = std::fabs(precision); }

int32_t DS_CompareValues(const ScriptValue* a, const ScriptValue* b)
{
    if (a->kind == VALUE_REAL && b->kind == VALUE_REAL) {
        // Equal reals are equal even where single precision cannot tell (beyond its range).
        if (a->real == b->real) return 0;
        float fa = float(a->real);
        float fb = float(b->real);
        float difference = float(double(fa) - double(fb));
        if (g_precision > double(std::fabs(difference))) return 0;
        return difference < 0.0f ? -1 : 1;
    }
    if (a->kind != VALUE_STRING || b->kind != VALUE_STRING) return 1;
    const char* ta = a->text ? a->text : "";
    const char* tb = b->text ? b->text : "";
    int c = std::strcmp(ta, tb); // strcmp compares as unsigned char
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// [SECTION] Tables

void DS_Reset()
{
    DS_Stacks().Reset();
    DS_Queues().Reset();
    DS_Priorities().Reset();
    DS_Grids().Reset();
    // Lists and maps may own each other through marks; each destructor empties the slots of
    // what it destroys, so resetting one table and then the other frees everything once.
    DS_Lists().Reset();
    DS_Maps().Reset();
    g_precision = 0.00000001;
}

void DS_DestroyMarked(const std::vector<ScriptValue>& values, const void* owner)
{
    for (const ScriptValue& v : values) {
        if (!DS_IsMarked(v.kind)) continue;
        int32_t index = Real_TruncToInt32(v.real);
        if (DS_MarkIsMap(v.kind)) {
            if (DS_OwnedMap(v, owner)) delete DS_Maps().Take(index);
        } else {
            if (DS_OwnedList(v, owner)) delete DS_Lists().Take(index);
        }
    }
}

void DS_SetNestedOwner(int32_t index, bool isMap, const void* owner)
{
    if (isMap) {
        if (CDS_Map* map = DS_Maps().Get(index)) map->SetNestedOwner(owner);
    } else if (CDS_List* list = DS_Lists().Get(index)) {
        list->SetNestedOwner(owner);
    }
}

CDS_List* DS_OwnedList(const ScriptValue& value, const void* owner)
{
    CDS_List* list = DS_Lists().Get(Real_TruncToInt32(value.real));
    return list && list != owner && list->NestedOwner() == owner ? list : nullptr;
}

CDS_Map* DS_OwnedMap(const ScriptValue& value, const void* owner)
{
    CDS_Map* map = DS_Maps().Get(Real_TruncToInt32(value.real));
    return map && map != owner && map->NestedOwner() == owner ? map : nullptr;
}

void DS_ReportBadIndex() { Code_Error_Report("Data structure with index does not exist.", false); }

// [SECTION] Text form

bool DSRecordReader::ReadInt(int32_t* out)
{
    if (Remaining() < 4) return false;
    uint32_t u;
    std::memcpy(&u, m_data + m_position, 4);
    m_position += 4;
    *out = int32_t(u);
    return true;
}

bool DSRecordReader::ReadValue(ScriptValue* out)
{
    if (Remaining() < kMinRecord) return false;
    int32_t kind;
    uint32_t length;
    double real;
    std::memcpy(&kind, m_data + m_position, 4);
    std::memcpy(&real, m_data + m_position + 4, 8);
    std::memcpy(&length, m_data + m_position + 12, 4);
    if (int64_t(length) > Remaining() - kMinRecord) return false;
    const char* bytes = reinterpret_cast<const char*>(m_data + m_position + kMinRecord);
    m_position += kMinRecord + int64_t(length);
    Value_FreeString(out);
    if (kind == VALUE_STRING) {
        out->kind = VALUE_STRING;
        out->text = length ? MEM_STRDUPN(bytes, length) : nullptr;
    } else {
        out->kind = VALUE_REAL;
        out->text = nullptr;
    }
    out->real = real;
    return true;
}

std::vector<uint8_t> DS_HexToBytes(const char* text)
{
    std::vector<uint8_t> bytes;
    if (!text || !*text) return bytes;
    CStream stream;
    stream.FromHexString(text);
    if (stream.GetSize() > 0) bytes.assign(stream.GetMemory(), stream.GetMemory() + stream.GetSize());
    return bytes;
}

void DS_WriteInt(std::vector<uint8_t>* out, int32_t value)
{
    uint8_t b[4];
    std::memcpy(b, &value, 4);
    out->insert(out->end(), b, b + 4);
}

void DS_WriteRecord(std::vector<uint8_t>* out, const ScriptValue* value)
{
    DS_WriteInt(out, value->kind);
    uint8_t b[8];
    std::memcpy(b, &value->real, 8);
    out->insert(out->end(), b, b + 8);
    const char* text = (value->kind == VALUE_STRING && value->text) ? value->text : "";
    uint32_t length = uint32_t(std::strlen(text));
    std::memcpy(b, &length, 4);
    out->insert(out->end(), b, b + 4);
    out->insert(out->end(), text, text + length);
}

char* DS_BytesToHex(const std::vector<uint8_t>& bytes)
{
    // One block holds at most 2 GB; two digits a byte.
    if (bytes.size() > size_t(0x3FFFFF00)) {
        Console_Output("Data structure too large to write as text (%lld bytes)\n",
                       static_cast<long long>(bytes.size()));
        return nullptr;
    }
    static const char kDigits[] = "0123456789ABCDEF";
    char* text = static_cast<char*>(MEM_ALLOC(bytes.size() * 2 + 1));
    char* p = text;
    for (uint8_t b : bytes) {
        *p++ = kDigits[b >> 4];
        *p++ = kDigits[b & 15];
    }
    *p = 0;
    return text;
}
