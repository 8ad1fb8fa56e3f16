// CDS_Stack and CDS_Queue, their index tables and the queue helpers. Needs DS_Main.
#include "Files/DS/DS_Stack.h"

#include <cstdarg>
#include <cstring>

namespace {

DSTable<CDS_Stack> g_stacks;
DSTable<CDS_Queue> g_queues;

void ClearAll(std::vector<ScriptValue>& items)
{
    for (ScriptValue& v : items) DS_ClearValue(&v);
}

} // namespace

DSTable<CDS_Stack>& DS_Stacks() { return g_stacks; }
DSTable<CDS_Queue>& DS_Queues() { return g_queues; }

// [SECTION] Stack

CDS_Stack::~CDS_Stack() { Clear(); }

void CDS_Stack::Push(const ScriptValue* value)
{
    ScriptValue v = DS_EmptyValue();
    DS_StoreValue(&v, value);
    m_items.push_back(v);
}

bool CDS_Stack::Pop(ScriptValue* out)
{
    if (m_items.empty()) return false;
    Value_Move(out, &m_items.back());
    m_items.pop_back();
    return true;
}

void CDS_Stack::Clear()
{
    ClearAll(m_items);
    m_items.clear();
}

void CDS_Stack::Copy(const CDS_Stack* source)
{
    if (source == this) return;
    Clear();
    if (!source) return;
    m_items.resize(source->m_items.size(), DS_EmptyValue());
    for (size_t i = 0; i < m_items.size(); i++) DS_StoreValue(&m_items[i], &source->m_items[i]);
}

// [SECTION] Queue

CDS_Queue::~CDS_Queue() { ClearAll(m_items); }

void CDS_Queue::Enqueue(const ScriptValue* value)
{
    if (m_tail >= Capacity()) m_items.resize(size_t(m_tail) + 16, DS_EmptyValue());
    DS_StoreValue(&m_items[size_t(m_tail)], value);
    m_tail++;
}

bool CDS_Queue::Dequeue(ScriptValue* out)
{
    if (m_head == m_tail) return false;
    DS_CopyOut(out, &m_items[size_t(m_head)]);
    m_head++;
    if (m_head >= 17 && m_head > m_tail / 2) {
        // The dead prefix goes; every slot keeps exactly one owner.
        for (int32_t i = 0; i < m_head; i++) DS_ClearValue(&m_items[size_t(i)]);
        int32_t live = m_tail - m_head;
        std::memmove(static_cast<void*>(m_items.data()), m_items.data() + m_head, sizeof(ScriptValue) * size_t(live));
        for (int32_t i = live; i < m_tail; i++) m_items[size_t(i)] = DS_EmptyValue();
        m_tail = live;
        m_head = 0;
    }
    return true;
}

void CDS_Queue::Clear()
{
    ClearAll(m_items);
    m_head = m_tail = 0;
}

void CDS_Queue::Copy(const CDS_Queue* source)
{
    if (source == this) return;
    ClearAll(m_items);
    m_head = m_tail = 0;
    if (!source) return;
    m_items.resize(source->m_items.size(), DS_EmptyValue());
    for (size_t i = 0; i < m_items.size(); i++) DS_StoreValue(&m_items[i], &source->m_items[i]);
    m_head = source->m_head;
    m_tail = source->m_tail;
}

// [SECTION] Helpers for other subsystems

int32_t DS_Queue_New() { return g_queues.Add(new CDS_Queue()); }

void DS_Queue_EnqueueValues(int32_t index, int32_t n, ...)
{
    if (index < 0 || n < 1) return;
    va_list args;
    va_start(args, n);
    for (int32_t i = 0; i < n; i++) {
        double real = va_arg(args, double);
        const char* text = va_arg(args, const char*);
        CDS_Queue* queue = g_queues.Get(index);
        if (!queue) {
            DS_ReportBadIndex();
            continue;
        }
        ScriptValue v = text ? ScriptValue{VALUE_STRING, const_cast<char*>(text), real}
                             : ScriptValue{VALUE_REAL, nullptr, real};
        queue->Enqueue(&v);
    }
    va_end(args);
}

void DS_Queue_Dequeue(int32_t index, ScriptValue* result)
{
    if (index < 0) return;
    CDS_Queue* queue = g_queues.Get(index);
    if (!queue) {
        DS_ReportBadIndex();
        return;
    }
    if (!queue->Dequeue(result)) Value_SetReal(result, 0.0);
}

int32_t DS_Queue_Size(int32_t index)
{
    if (index < 0) return index;
    CDS_Queue* queue = g_queues.Get(index);
    if (!queue) {
        DS_ReportBadIndex();
        return 0;
    }
    return queue->Size();
}

void DS_Queue_Clear(int32_t index)
{
    if (index < 0) return;
    CDS_Queue* queue = g_queues.Get(index);
    if (!queue) {
        DS_ReportBadIndex();
        return;
    }
    queue->Clear();
}
