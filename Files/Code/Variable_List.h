// CVariableList: the user variables of one instance, of the global scope or of one running
// piece of code (its `var` locals). Each variable is a scalar ScriptValue and optionally a
// two-level array of them addressed by one 32-bit index: 0 is the scalar; otherwise
// row = index / 32000 and column = index - row * 32000 (truncated toward zero), so [i, j]
// arrives as i * 32000 + j and element [0, 0] is the scalar itself (row 0's element 0 is never
// used).
//
// Storage: 64 buckets keyed by id & 63, each a chain; plus one chain of all variables, newest
// first. The chains give the order of every walk (saving, dumps, the debugger). A list that
// grows past kVariableIndexFrom variables also gets an open-addressed index by id (at most
// half full, doubled as it fills), so finding a variable stays one probe or two however many a
// game adds (variable_global_set with new names in a loop). Nodes come from a program-wide free list and go back to it when a list is cleared;
// they are never handed back to the memory manager while the program runs.
//
// Needs: the variable-name table (names for saving and dumps), the buffer interface, the log
// console.
#pragma once

#include <cstdint>

#include "Files/Base/Value.h"

class IBuffer;
class tagIConsole;

constexpr int32_t ARRAY_ROW_LENGTH = 32000; // the second dimension's stride and limit
constexpr int32_t kVariableIndexFrom = 256;   // variables in a list before its index is made

struct CVariableRow {
    int32_t length;        // elements in this row (0 = empty row)
    int32_t capacity;      // elements allocated (rows filled one element at a time grow by
                           // doubling; only length is ever seen)
    ScriptValue* elements; // owned; null when capacity is 0
};

struct CVariable {
    CVariable* nextBucket; // chain of the bucket id & 63
    CVariable* nextAll;    // chain of all variables of the list (also the free-list link)
    ScriptValue value;     // the scalar, also element [0, 0]
    int32_t id;
    int32_t rowCount; // 0 = no array
    CVariableRow* rows;
};

// The last array access that went out of range. Every Get and Set clears the flag first.
struct ArrayErrorRecord {
    uint8_t error;
    int32_t row, column, rowCount;
    int32_t rowLength; // -1 when the row itself was out of range
};
extern ArrayErrorRecord g_ArrayError;

// The game option "uninitialised variables read as 0": when set, reading a variable that was
// never set yields real 0 and succeeds; when clear (the default) the read fails with real 0 in
// the out value, and the executors report it.
void Variable_SetUnsetReadsZero(bool on);
bool Variable_GetUnsetReadsZero();

class CVariableList {
public:
    CVariableList();
    virtual ~CVariableList();
    CVariableList(const CVariableList&) = delete;
    CVariableList& operator=(const CVariableList&) = delete;

    // out := copy of the variable's value at index; false for an index out of range (out real
    // 0, the array-error record set) or an unset variable (see Variable_SetUnsetReadsZero).
    // out's old text is freed.
    bool Get(int32_t id, int32_t index, ScriptValue* out);
    // Stores a copy of value at index, creating the variable and growing its array as needed;
    // a negative row or column stores nothing and sets the array-error record (false).
    bool Set(int32_t id, int32_t index, const ScriptValue* value);
    // As Set, but the value's text moves into the list (value becomes real 0 on success).
    bool SetMove(int32_t id, int32_t index, ScriptValue* value);
    // Creates the variable (real 0) when missing.
    void Ensure(int32_t id);
    void Clear();
    // This list := a copy of other (cleared first).
    void Assign(const CVariableList* other);

    void Serialise(IBuffer* buffer) const;
    // Clears the list and reads the saved form. Variables whose name this game does not know
    // are skipped with a warning on the log console. False (and whatever was read kept) when
    // the data is truncated or a count or length is out of range.
    bool DeSerialise(IBuffer* buffer);
    void DebugPrint(tagIConsole* console) const;

    // The node of id, or null. Lookup is one bucket walk, or a probe of the index.
    __attribute__((always_inline)) CVariable* Find(int32_t id) const
    {
        if (m_index) {
            const uint32_t mask = m_indexCapacity - 1;
            for (uint32_t i = IndexSlot(id); CVariable* v = m_index[i]; i = (i + 1) & mask)
                if (v->id == id) return v;
            return nullptr;
        }
        CVariable* v = m_buckets[uint32_t(id) & 63];
        while (v && v->id != id) v = v->nextBucket;
        return v;
    }
    // The node of id, created (real 0) when missing.
    CVariable* FindOrCreate(int32_t id);
    // The element slot of index in v, growing the array; null for a negative row or column
    // (array-error record set). Index 0 is the scalar.
    static ScriptValue* Slot(CVariable* v, int32_t index)
    {
        if (index == 0) return &v->value;
        if (uint32_t(index) < uint32_t(ARRAY_ROW_LENGTH) && v->rowCount > 0) { // row 0: a[i]
            CVariableRow& r = v->rows[0];
            if (index < r.length) return &r.elements[index];
            if (index == r.length && index < r.capacity) { // appending within the room
                r.elements[index] = ScriptValue{VALUE_REAL, nullptr, 0.0};
                ++r.length;
                return &r.elements[index];
            }
        }
        return SlotGrow(v, index);
    }
    // The element of index in v for reading; null when out of range (array-error record set).
    static const ScriptValue* Element(const CVariable* v, int32_t index)
    {
        if (index == 0) return &v->value;
        if (uint32_t(index) < uint32_t(ARRAY_ROW_LENGTH) && v->rowCount > 0 && index < v->rows[0].length)
            return &v->rows[0].elements[index]; // row 0: a[i]
        int32_t row = index / ARRAY_ROW_LENGTH, column = index - row * ARRAY_ROW_LENGTH;
        if (row >= 0 && row < v->rowCount && column >= 0 && column < v->rows[row].length)
            return &v->rows[row].elements[column];
        return ElementMissing(v, index);
    }

    // The element of index in v, or null when out of range; no array-error record.
    static ScriptValue* ElementAt(CVariable* v, int32_t index)
    {
        if (index == 0) return &v->value;
        const int32_t row = index / ARRAY_ROW_LENGTH, column = index - row * ARRAY_ROW_LENGTH;
        if (row < 0 || row >= v->rowCount || column < 0 || column >= v->rows[row].length) return nullptr;
        return &v->rows[row].elements[column];
    }
    static const ScriptValue* ElementAt(const CVariable* v, int32_t index)
    {
        return ElementAt(const_cast<CVariable*>(v), index);
    }

    // Inserts a copy of s (value, rows, texts) as variable id; id must not be in the list.
    void InsertCopy(int32_t id, const CVariable* s);
    // Frees what v holds (its text, rows and their texts) and leaves it an empty array-less
    // node; v itself is not touched otherwise (a node kept outside any list).
    static void ReleaseContents(CVariable* v);
    // What reading a variable that does not exist gives: out real 0, and whether that counts
    // as success (Variable_SetUnsetReadsZero).
    static bool GetMissing(ScriptValue* out);

    int32_t Count() const { return m_count; }
    CVariable* Bucket(int32_t i) const { return m_buckets[i]; }
    CVariable* All() const { return m_all; }

private:
    static ScriptValue* SlotGrow(CVariable* v, int32_t index);
    static const ScriptValue* ElementMissing(const CVariable* v, int32_t index);
    CVariable* NewNode(int32_t id);
    void Insert(CVariable* v);
    // The index: the home slot of id, placing a node, (re)building at a capacity.
    uint32_t IndexSlot(int32_t id) const { return (uint32_t(id) * 0x9E3779B1u) >> m_indexShift; }
    void IndexPut(CVariable* v);
    void IndexBuild(uint32_t capacity);

    CVariable* m_buckets[64];
    CVariable* m_all; // newest first
    int32_t m_count;
    CVariable** m_index;       // null until the list passes kVariableIndexFrom; owned
    uint32_t m_indexCapacity;  // slots, a power of two
    uint32_t m_indexShift;     // 32 - log2(m_indexCapacity)
};

// Returns every spare node to the memory manager (shutdown and tests).
void Variable_FreeSpareNodes();
