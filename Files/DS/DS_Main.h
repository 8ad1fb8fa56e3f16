// What the six data-structure kinds share (stack, queue, list, map, priority queue, grid):
// the per-kind index tables, how script values are stored inside structures, the value
// comparison with its precision, the nesting marks of the JSON decoder, the strict reader of
// the binary text form and the bad-index error.
//
// Stored values (every element, cell, priority, map key and value) are ScriptValues owned by
// their structure, with one of these kinds:
//   VALUE_REAL (0): the real; no text;
//   VALUE_STRING (1): the text (an owned memory-manager block, or null for the empty text);
//     the real is kept as given (maps store 0);
//   a marked real (only through the JSON decoder's entry points): 0x40000000 the real is the
//     index of a list this value owns, 0x80000000 (or both bits) of a map.
// Every other store keeps plain kinds (a marked value arriving from a script is stored as a
// plain real), so one structure is owned by at most one value.
//
// Needs: values (Files/Base/Value.h), the error reporter, the memory manager.
// No Linux/ file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Files/Base/Value.h"

constexpr int32_t DS_MARK_LIST = 0x40000000;
constexpr int32_t DS_MARK_MAP = int32_t(0x80000000u);
constexpr int32_t DS_MARK_BITS = int32_t(0xC0000000u);

// A kind carries a nesting mark when its low 16 bits are 0 and bit 30 or 31 is set.
inline bool DS_IsMarked(int32_t kind) { return (kind & 0xFFFF) == 0 && (kind & DS_MARK_BITS) != 0; }
// The marked structure is a map (bit 31), else a list.
inline bool DS_MarkIsMap(int32_t kind) { return (kind & DS_MARK_MAP) != 0; }

// ---- Values ---------------------------------------------------------------------------------
// slot := plain copy of src (a string keeps its real and gets a copy of its text; anything
// else becomes a real). slot's old text is freed. src may be slot itself.
void DS_StoreValue(ScriptValue* slot, const ScriptValue* src);
// Frees slot's text and makes it real 0.
void DS_ClearValue(ScriptValue* slot);
// out := copy of a stored value, its kind as stored (marks included); out's old text freed.
void DS_CopyOut(ScriptValue* out, const ScriptValue* stored);
// A cleared value: real 0, no text.
inline ScriptValue DS_EmptyValue() { return ScriptValue{VALUE_REAL, nullptr, 0.0}; }

// The comparison precision (initially 1e-8), set by ds_set_precision to |prec|.
double DS_GetPrecision();
void DS_SetPrecision(double precision);

// -1, 0 or 1. Both reals (kind 0): equal reals are 0; otherwise both are rounded to single
// precision, their difference taken in double and rounded to single again: 0 when the
// precision is greater than its magnitude, else its sign (1 for not-a-number). A real (or a
// marked real) against anything else: 1 in both orders. Two strings: unsigned byte order, a
// missing text counting as the empty text.
int32_t DS_CompareValues(const ScriptValue* a, const ScriptValue* b);

// ---- Index tables ---------------------------------------------------------------------------
// One per kind, process-wide. A new structure takes the lowest empty slot, else slot count
// (the slot array growing by 16 entries); count is one past the highest slot ever handed out
// and never shrinks. Destroying a structure only empties its slot.
template <class T>
class DSTable {
public:
    DSTable() = default;
    DSTable(const DSTable&) = delete;
    DSTable& operator=(const DSTable&) = delete;

    int32_t Add(T* item)
    {
        int32_t index = m_firstFree;
        while (index < m_count && m_slots[size_t(index)]) index++;
        if (index == m_count) {
            if (m_count >= int32_t(m_slots.size())) m_slots.resize(size_t(m_count) + 16, nullptr);
            m_count++;
        }
        m_slots[size_t(index)] = item;
        m_firstFree = index + 1;
        return index;
    }
    // The structure at index, or null (index outside 0..count-1 or an empty slot).
    T* Get(int32_t index) const
    {
        return (index >= 0 && index < m_count) ? m_slots[size_t(index)] : nullptr;
    }
    bool InRange(int32_t index) const { return index >= 0 && index < m_count; }
    // Empties the slot and hands its structure to the caller (null when none).
    T* Take(int32_t index)
    {
        T* item = Get(index);
        if (item) {
            m_slots[size_t(index)] = nullptr;
            if (index < m_firstFree) m_firstFree = index;
        }
        return item;
    }
    int32_t Count() const { return m_count; }
    int32_t Capacity() const { return int32_t(m_slots.size()); }
    // Deletes every structure and forgets the table (shutdown and tests).
    void Reset()
    {
        for (int32_t i = 0; i < m_count; i++) {
            T* item = Take(i);
            delete item;
        }
        m_slots.clear();
        m_slots.shrink_to_fit();
        m_count = 0;
        m_firstFree = 0;
    }

private:
    std::vector<T*> m_slots; // capacity = size
    int32_t m_count = 0;
    int32_t m_firstFree = 0; // no empty slot below this
};

class CDS_Stack;
class CDS_Queue;
class CDS_List;
class CDS_Map;
class CDS_Priority;
class CDS_Grid;

DSTable<CDS_Stack>& DS_Stacks();
DSTable<CDS_Queue>& DS_Queues();
DSTable<CDS_List>& DS_Lists();
DSTable<CDS_Map>& DS_Maps();
DSTable<CDS_Priority>& DS_Priorities();
DSTable<CDS_Grid>& DS_Grids();

// Destroys every structure of every kind and empties the tables; the precision goes back to
// 1e-8 (game end, tests).
void DS_Reset();

// ---- Nesting --------------------------------------------------------------------------------
// Destroys the structures that the marked values among values own: each slot is emptied
// before its structure is destroyed (which destroys its own marked structures in turn), so a
// structure is destroyed once however the marks point. The structure `owner` (the one whose
// values these are) is never destroyed through its own values.
void DS_DestroyMarked(const std::vector<ScriptValue>& values, const void* owner);
// The list or map that a marked value of `owner` names, when it is still the structure that
// owner's mark was made for (AddNested records the owner in it). A nested structure the game
// destroyed leaves its slot to later structures, which the old mark must neither destroy nor
// encode. Null otherwise.
CDS_List* DS_OwnedList(const ScriptValue& value, const void* owner);
CDS_Map* DS_OwnedMap(const ScriptValue& value, const void* owner);
// Records owner in the list (isMap false) or map at index, when there is one.
void DS_SetNestedOwner(int32_t index, bool isMap, const void* owner);

// ---- Errors ---------------------------------------------------------------------------------
// The non-fatal run-time error "Data structure with index does not exist.".
void DS_ReportBadIndex();

// ---- Text form ------------------------------------------------------------------------------
// Strict reader of the binary record: every field must lie inside the data.
class DSRecordReader {
public:
    DSRecordReader(const uint8_t* data, int64_t size) : m_data(data), m_size(size) {}
    bool ReadInt(int32_t* out);
    // One value record: i32 kind, f64 real, u32 length and the text bytes. The value is stored
    // with plain kinds (DS_StoreValue's rules: marks and unknown kinds become reals, which keep
    // no text); a zero byte in the text ends it. False when the record does not fit.
    bool ReadValue(ScriptValue* out);
    int64_t Remaining() const { return m_size - m_position; }
    // The smallest number of bytes a value record takes.
    static constexpr int64_t kMinRecord = 16;

private:
    const uint8_t* m_data;
    int64_t m_size;
    int64_t m_position = 0;
};

// The bytes of a binary text form (pairs of hex digits). Empty when the text is null.
std::vector<uint8_t> DS_HexToBytes(const char* text);
// Appends one value record (kind as stored, real, text length and bytes).
void DS_WriteRecord(std::vector<uint8_t>* out, const ScriptValue* value);
void DS_WriteInt(std::vector<uint8_t>* out, int32_t value);
// The record as upper-case hex text (a new memory-manager block), or null when the text would
// not fit in one block (with a trace on the log console).
char* DS_BytesToHex(const std::vector<uint8_t>& bytes);
