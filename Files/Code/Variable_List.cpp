// CVariableList: storage, arrays, copy, saved form and text dump of variable lists.
// Needs the variable-name table (Files/Code/Code_Variable.h) and the log console.
#include "Files/Code/Variable_List.h"

#include <cmath>
#include <cstring>

#include "Files/Base/Console.h"
#include "Files/Buffer/IBuffer.h"
#include "Files/Code/Code_Variable.h"
#include "Platform/MemoryManager.h"

ArrayErrorRecord g_ArrayError;

namespace {

CVariable* g_spare = nullptr; // free list, linked through nextAll
bool g_unsetReadsZero = false;

// Limits of the saved form: a row holds at most 32000 elements, and no index above the int
// range can address a row beyond this.
constexpr int32_t kMaxRows = 2147483647 / ARRAY_ROW_LENGTH + 1;

// Large element blocks of rows let go of (a row that grew, or a variable cleared) wait here
// for the next row that grows to their size: code that rebuilds a big local array every run
// then reuses the same blocks instead of asking the heap for fresh pages each time. At most
// kCachedBlocks blocks, each of at least kCachedMin elements.
constexpr int32_t kCachedBlocks = 8;
constexpr int32_t kCachedMin = 1024;
struct CachedBlock {
    ScriptValue* elements;
    int32_t capacity;
};
CachedBlock g_blocks[kCachedBlocks];

void ReleaseBlock(ScriptValue* elements, int32_t capacity)
{
    if (!elements) return;
    if (capacity >= kCachedMin) {
        int32_t smallest = 0;
        for (int32_t i = 0; i < kCachedBlocks; ++i) {
            if (!g_blocks[i].elements) {
                g_blocks[i] = CachedBlock{elements, capacity};
                return;
            }
            if (g_blocks[i].capacity < g_blocks[smallest].capacity) smallest = i;
        }
        if (g_blocks[smallest].capacity < capacity) {
            MEM_FREE(g_blocks[smallest].elements);
            g_blocks[smallest] = CachedBlock{elements, capacity};
            return;
        }
    }
    MEM_FREE(elements);
}

// A block of at least capacity elements: the smallest cached one that fits, else a new one.
ScriptValue* TakeBlock(int32_t& capacity)
{
    if (capacity >= kCachedMin) {
        int32_t best = -1;
        for (int32_t i = 0; i < kCachedBlocks; ++i) {
            if (g_blocks[i].elements && g_blocks[i].capacity >= capacity &&
                (best < 0 || g_blocks[i].capacity < g_blocks[best].capacity))
                best = i;
        }
        if (best >= 0) {
            ScriptValue* e = g_blocks[best].elements;
            capacity = g_blocks[best].capacity;
            g_blocks[best] = CachedBlock{nullptr, 0};
            return e;
        }
    }
    return static_cast<ScriptValue*>(MEM_ALLOC(sizeof(ScriptValue) * size_t(capacity)));
}

void SplitIndex(int32_t index, int32_t& row, int32_t& column)
{
    row = index / ARRAY_ROW_LENGTH;
    column = index - row * ARRAY_ROW_LENGTH;
}

void SetArrayError(int32_t row, int32_t column, int32_t rowCount, int32_t rowLength)
{
    g_ArrayError.error = 1;
    g_ArrayError.row = row;
    g_ArrayError.column = column;
    g_ArrayError.rowCount = rowCount;
    g_ArrayError.rowLength = rowLength;
}

void FreeRows(CVariable* v)
{
    for (int32_t r = 0; r < v->rowCount; ++r) {
        CVariableRow& row = v->rows[r];
        for (int32_t c = 0; c < row.length; ++c) Value_FreeString(&row.elements[c]);
        ReleaseBlock(row.elements, row.capacity);
    }
    MEM_FREE(v->rows);
    v->rows = nullptr;
    v->rowCount = 0;
}

void ReleaseNode(CVariable* v)
{
    Value_FreeString(&v->value);
    FreeRows(v);
    v->nextBucket = nullptr;
    v->nextAll = g_spare;
    g_spare = v;
}

void PrintValue(tagIConsole* console, const ScriptValue* v)
{
    if (v->kind == VALUE_STRING) {
        console->Output("\"%s\"", v->text ? v->text : "");
    } else if (v->kind == VALUE_REAL) {
        double r = v->real;
        double n = std::nearbyint(r);
        if (r == n && std::fabs(r) < 2147483648.0) {
            console->Output("%d", int32_t(n));
        } else {
            console->Output("%f", r);
        }
    }
}

} // namespace

void Variable_SetUnsetReadsZero(bool on) { g_unsetReadsZero = on; }
bool Variable_GetUnsetReadsZero() { return g_unsetReadsZero; }

void Variable_FreeSpareNodes()
{
    for (CachedBlock& b : g_blocks) {
        MEM_FREE(b.elements);
        b = CachedBlock{nullptr, 0};
    }
    while (g_spare) {
        CVariable* next = g_spare->nextAll;
        MEM_FREE(g_spare);
        g_spare = next;
    }
}

CVariableList::CVariableList()
    : m_buckets{}, m_all(nullptr), m_count(0), m_index(nullptr), m_indexCapacity(0), m_indexShift(32)
{
}

CVariableList::~CVariableList() { Clear(); }

CVariable* CVariableList::NewNode(int32_t id)
{
    CVariable* v = g_spare;
    if (v) {
        g_spare = v->nextAll;
    } else {
        v = static_cast<CVariable*>(MEM_ALLOC(sizeof(CVariable)));
    }
    v->nextBucket = nullptr;
    v->nextAll = nullptr;
    v->value = Value_Real(0.0);
    v->id = id;
    v->rowCount = 0;
    v->rows = nullptr;
    return v;
}

void CVariableList::Insert(CVariable* v)
{
    CVariable*& head = m_buckets[uint32_t(v->id) & 63];
    v->nextBucket = head;
    head = v;
    v->nextAll = m_all;
    m_all = v;
    ++m_count;
    if (m_index) {
        if (uint32_t(m_count) * 2 > m_indexCapacity) IndexBuild(m_indexCapacity * 2);
        else IndexPut(v);
    } else if (m_count > kVariableIndexFrom) {
        IndexBuild(4 * kVariableIndexFrom);
    }
}

void CVariableList::IndexPut(CVariable* v)
{
    const uint32_t mask = m_indexCapacity - 1;
    uint32_t i = IndexSlot(v->id);
    while (m_index[i]) i = (i + 1) & mask;
    m_index[i] = v;
}

void CVariableList::IndexBuild(uint32_t capacity)
{
    MEM_FREE(m_index);
    m_index = static_cast<CVariable**>(MEM_ALLOC_CLEAR(sizeof(CVariable*) * size_t(capacity)));
    m_indexCapacity = capacity;
    m_indexShift = 32;
    for (uint32_t c = capacity; c > 1; c >>= 1) --m_indexShift;
    for (CVariable* v = m_all; v; v = v->nextAll) IndexPut(v);
}

CVariable* CVariableList::FindOrCreate(int32_t id)
{
    CVariable* v = Find(id);
    if (v) return v;
    v = NewNode(id);
    Insert(v);
    return v;
}

const ScriptValue* CVariableList::ElementMissing(const CVariable* v, int32_t index)
{
    int32_t row, column;
    SplitIndex(index, row, column);
    if (row < 0 || row >= v->rowCount) {
        SetArrayError(row, column, v->rowCount, -1);
        return nullptr;
    }
    const CVariableRow& r = v->rows[row];
    if (column < 0 || column >= r.length) {
        SetArrayError(row, column, v->rowCount, r.length);
        return nullptr;
    }
    return &r.elements[column];
}

ScriptValue* CVariableList::SlotGrow(CVariable* v, int32_t index)
{
    int32_t row, column;
    SplitIndex(index, row, column);
    if (row < 0) {
        SetArrayError(row, column, v->rowCount, -1);
        return nullptr;
    }
    if (row >= v->rowCount) {
        v->rows = static_cast<CVariableRow*>(
            MEM_REALLOC(v->rows, sizeof(CVariableRow) * size_t(row + 1)));
        for (int32_t r = v->rowCount; r <= row; ++r) v->rows[r] = CVariableRow{0, 0, nullptr};
        v->rowCount = row + 1;
    }
    CVariableRow& r = v->rows[row];
    if (column < 0) {
        SetArrayError(row, column, v->rowCount, r.length);
        return nullptr;
    }
    if (column >= r.length) {
        if (column >= r.capacity) {
            int32_t cap = r.capacity < 4 ? 4 : r.capacity * 2;
            if (cap <= column) cap = column + 1;
            if (cap > ARRAY_ROW_LENGTH && column < ARRAY_ROW_LENGTH) cap = ARRAY_ROW_LENGTH;
            // Only the first length elements are ever read, so the rest is left uncleared.
            ScriptValue* grown = TakeBlock(cap);
            if (r.length) std::memcpy(grown, r.elements, sizeof(ScriptValue) * size_t(r.length));
            ReleaseBlock(r.elements, r.capacity);
            r.elements = grown;
            r.capacity = cap;
        }
        for (int32_t c = r.length; c <= column; ++c) r.elements[c] = Value_Real(0.0);
        r.length = column + 1;
    }
    return &r.elements[column];
}

bool CVariableList::Get(int32_t id, int32_t index, ScriptValue* out)
{
    g_ArrayError.error = 0;
    CVariable* v = Find(id);
    if (!v) return GetMissing(out);
    const ScriptValue* e = Element(v, index);
    if (!e) {
        Value_SetReal(out, 0.0);
        return false;
    }
    Value_Copy(out, e);
    return true;
}

bool CVariableList::Set(int32_t id, int32_t index, const ScriptValue* value)
{
    g_ArrayError.error = 0;
    ScriptValue* slot = Slot(FindOrCreate(id), index);
    if (!slot) return false;
    Value_Copy(slot, value);
    return true;
}

bool CVariableList::SetMove(int32_t id, int32_t index, ScriptValue* value)
{
    g_ArrayError.error = 0;
    ScriptValue* slot = Slot(FindOrCreate(id), index);
    if (!slot) return false;
    Value_Move(slot, value);
    return true;
}

void CVariableList::Ensure(int32_t id) { FindOrCreate(id); }

void CVariableList::Clear()
{
    CVariable* v = m_all;
    while (v) {
        CVariable* next = v->nextAll;
        ReleaseNode(v);
        v = next;
    }
    std::memset(m_buckets, 0, sizeof m_buckets);
    m_all = nullptr;
    m_count = 0;
    MEM_FREE(m_index);
    m_index = nullptr;
    m_indexCapacity = 0;
    m_indexShift = 32;
}

void CVariableList::Assign(const CVariableList* other)
{
    if (other == this) return;
    Clear();
    if (!other) return;
    for (int32_t b = 0; b < 64; ++b) {
        for (CVariable* s = other->m_buckets[b]; s; s = s->nextBucket) InsertCopy(s->id, s);
    }
}

void CVariableList::InsertCopy(int32_t id, const CVariable* s)
{
    CVariable* v = NewNode(id);
    Value_Copy(&v->value, &s->value);
    if (s->rowCount > 0) {
        v->rows = static_cast<CVariableRow*>(MEM_ALLOC_CLEAR(sizeof(CVariableRow) * size_t(s->rowCount)));
        v->rowCount = s->rowCount;
        for (int32_t r = 0; r < s->rowCount; ++r) {
            const CVariableRow& sr = s->rows[r];
            CVariableRow& dr = v->rows[r];
            dr.length = sr.length;
            dr.capacity = sr.length;
            if (sr.length > 0) {
                dr.elements = static_cast<ScriptValue*>(MEM_ALLOC_CLEAR(sizeof(ScriptValue) * size_t(sr.length)));
                for (int32_t c = 0; c < sr.length; ++c) Value_Copy(&dr.elements[c], &sr.elements[c]);
            }
        }
    }
    Insert(v);
}

void CVariableList::ReleaseContents(CVariable* v)
{
    Value_FreeString(&v->value);
    FreeRows(v);
}

bool CVariableList::GetMissing(ScriptValue* out)
{
    Value_SetReal(out, 0.0);
    return g_unsetReadsZero;
}

void CVariableList::Serialise(IBuffer* buffer) const
{
    Buffer_WriteNumber(buffer, eBuffer_S32, m_count);
    for (int32_t b = 0; b < 64; ++b) {
        for (CVariable* v = m_buckets[b]; v; v = v->nextBucket) {
            Buffer_WriteString(buffer, Code_Variable_GetName(v->id));
            Buffer_WriteValue(buffer, &v->value);
            Buffer_WriteNumber(buffer, eBuffer_S32, v->rowCount);
            for (int32_t r = 0; r < v->rowCount; ++r) {
                const CVariableRow& row = v->rows[r];
                Buffer_WriteNumber(buffer, eBuffer_S32, row.length);
                for (int32_t c = 0; c < row.length; ++c) Buffer_WriteValue(buffer, &row.elements[c]);
            }
        }
    }
}

namespace {

// A count entry: a whole number from 0 to limit, else a failure.
bool ReadCount(IBuffer* buffer, int32_t limit, int32_t* out)
{
    double d = 0;
    if (!Buffer_ReadNumber(buffer, eBuffer_S32, &d)) return false;
    if (!(d >= 0 && d <= double(limit))) return false;
    *out = int32_t(d);
    return true;
}

} // namespace

bool CVariableList::DeSerialise(IBuffer* buffer)
{
    Clear();
    int32_t count = 0;
    if (!ReadCount(buffer, 2147483647, &count)) return false;
    for (int32_t i = 0; i < count; ++i) {
        bool ok = true;
        char* name = Buffer_ReadString(buffer, &ok);
        if (!ok) return false;
        int32_t id = name ? Code_Variable_FindUser(name) : -1;
        if (id < 0) {
            Console_Output("WARNING: Load game failed to find variable \"%s\"\n", name ? name : "");
        }
        MEM_FREE(name);
        // Read the record into a node either way, so a skipped record consumes exactly what a
        // kept one would.
        CVariable* v = NewNode(id);
        bool good = Buffer_ReadValue(buffer, &v->value);
        int32_t rows = 0;
        good = good && ReadCount(buffer, kMaxRows, &rows);
        if (good && rows > 0) {
            v->rows = static_cast<CVariableRow*>(MEM_ALLOC_CLEAR(sizeof(CVariableRow) * size_t(rows)));
            v->rowCount = rows;
            for (int32_t r = 0; good && r < rows; ++r) {
                int32_t length = 0;
                good = ReadCount(buffer, ARRAY_ROW_LENGTH, &length);
                if (!good || length == 0) continue;
                CVariableRow& row = v->rows[r];
                row.elements = static_cast<ScriptValue*>(
                    MEM_ALLOC_CLEAR(sizeof(ScriptValue) * size_t(length)));
                row.length = length;
                row.capacity = length;
                for (int32_t c = 0; good && c < length; ++c) {
                    good = Buffer_ReadValue(buffer, &row.elements[c]);
                }
            }
        }
        if (!good || id < 0 || Find(id)) {
            // A duplicate name keeps its first record.
            ReleaseNode(v);
            if (!good) return false;
            continue;
        }
        Insert(v);
    }
    return true;
}

void CVariableList::DebugPrint(tagIConsole* console) const
{
    for (int32_t b = 0; b < 64; ++b) {
        for (CVariable* v = m_buckets[b]; v; v = v->nextBucket) {
            const char* name = Code_Variable_GetName(v->id);
            if (v->rowCount == 0) {
                console->Output("%s(%d) = ", name, v->id);
                PrintValue(console, &v->value);
                console->Output("\n");
                continue;
            }
            console->Output("%s(%d) = { ", name, v->id);
            int32_t rows = v->rowCount < 30 ? v->rowCount : 30;
            for (int32_t r = 0; r < rows; ++r) {
                const CVariableRow& row = v->rows[r];
                console->Output("{ ");
                int32_t n = row.length < 30 ? row.length : 30;
                for (int32_t c = 0; c < n; ++c) {
                    if (c > 0) console->Output(" ,");
                    PrintValue(console, (r == 0 && c == 0) ? &v->value : &row.elements[c]);
                }
                if (row.length > 30) console->Output(" ... ");
                console->Output("},  ");
            }
            if (v->rowCount > 30) console->Output(" ... ");
            console->Output(" }\n");
        }
    }
}
