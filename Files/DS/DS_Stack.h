// CDS_Stack (last in, first out) and CDS_Queue (first in, first out): the two sequence
// structures of the data-structure family, and the C-level queue helpers networking uses to
// hand received values to scripts. Values are stored with the rules of DS_Main.h.
//
// Needs DS_Main.h. No Linux/ file.
#pragma once

#include <cstdint>
#include <vector>

#include "Files/DS/DS_Main.h"

class CDS_Stack {
public:
    CDS_Stack() = default;
    virtual ~CDS_Stack();
    CDS_Stack(const CDS_Stack&) = delete;
    CDS_Stack& operator=(const CDS_Stack&) = delete;

    int32_t Size() const { return int32_t(m_items.size()); }
    void Push(const ScriptValue* value);
    // Moves the top value into out (its old text freed); false, out untouched, when empty.
    bool Pop(ScriptValue* out);
    // The top value, or null when empty.
    const ScriptValue* Top() const { return m_items.empty() ? nullptr : &m_items.back(); }
    const ScriptValue* Item(int32_t i) const { return &m_items[size_t(i)]; }
    void Clear();
    // This stack := copies of source's values (null source: cleared). A copy onto itself does
    // nothing.
    void Copy(const CDS_Stack* source);

    // Text form: id 101, count, the values bottom first.
    char* WriteText() const;
    // Replaces the content from a text form; false (content unchanged) for another kind's text
    // or malformed data.
    bool ReadText(const char* text);

private:
    std::vector<ScriptValue> m_items; // bottom first
};

// The queue keeps every slot it has allocated, the values already dequeued included (they are
// part of its text form), until compaction moves the live values to the front.
// Invariant: 0 <= head <= tail <= capacity = m_items.size(); slots from tail on hold no live value.
class CDS_Queue {
public:
    CDS_Queue() = default;
    virtual ~CDS_Queue();
    CDS_Queue(const CDS_Queue&) = delete;
    CDS_Queue& operator=(const CDS_Queue&) = delete;

    int32_t Size() const { return m_tail - m_head; }
    int32_t HeadIndex() const { return m_head; }
    int32_t TailIndex() const { return m_tail; }
    int32_t Capacity() const { return int32_t(m_items.size()); }
    // Appends a copy; the slot array grows by 16 slots when full.
    void Enqueue(const ScriptValue* value);
    // out := copy of the oldest value, which leaves the queue; false, out untouched, when
    // empty. Once at least 17 values have left and more than half of the used part is dead,
    // the live values move to the front.
    bool Dequeue(ScriptValue* out);
    const ScriptValue* Head() const { return m_head == m_tail ? nullptr : &m_items[size_t(m_head)]; }
    const ScriptValue* Tail() const { return m_head == m_tail ? nullptr : &m_items[size_t(m_tail - 1)]; }
    void Clear();
    void Copy(const CDS_Queue* source);

    // Text form: id 201, tail, head, capacity, then every slot.
    char* WriteText() const;
    bool ReadText(const char* text);

private:
    std::vector<ScriptValue> m_items; // size is the capacity
    int32_t m_head = 0;
    int32_t m_tail = 0;
};

// ---- Helpers for other subsystems (main thread) ---------------------------------------------
// A new queue; its index.
int32_t DS_Queue_New();
// Nothing when index < 0 or n < 1. Otherwise n entries follow, each a double and a
// const char* (null for none): the text's copy is enqueued as a string, else the real.
// A bad index reports the bad-index error once per entry.
void DS_Queue_EnqueueValues(int32_t index, int32_t n, ...);
// For index >= 0: result := the dequeued value (real 0 when empty; bad index: error, result
// unchanged).
void DS_Queue_Dequeue(int32_t index, ScriptValue* result);
// For index >= 0: the size (bad index: the error and 0); a negative index is returned as it is.
int32_t DS_Queue_Size(int32_t index);
// For index >= 0: clears the queue.
void DS_Queue_Clear(int32_t index);
