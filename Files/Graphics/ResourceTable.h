// The table shape shared by sprites, backgrounds and fonts: an array of owned records and a
// parallel array of owned names (memory-manager strings), one count for both. The index is
// the id scripts see; a deleted entry leaves null in both arrays and its index is not reused;
// run-time additions append. Capacity grows by doubling, so appending many resources stays
// linear. A name index holds every entry that has both a record and a name, so Find is one
// hash look-up; every change below keeps it in step.
// Needs: the memory manager, the game-file reader (the chunk loader). No Linux/ file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "Files/Support/FileImage.h"
#include "Platform/NameIndex.h"
#include "Platform/MemoryManager.h"

template <class T>
class ResourceTable {
public:
    int32_t Count() const { return m_count; }
    bool InRange(int32_t i) const { return i >= 0 && i < m_count; }
    T* Get(int32_t i) const { return InRange(i) ? m_records[i] : nullptr; }
    const char* Name(int32_t i) const { return InRange(i) ? m_names[i] : nullptr; }

    // Deletes every record and name; count 0, arrays freed.
    void Clear()
    {
        for (int32_t i = 0; i < m_count; ++i) {
            delete m_records[i];
            MEM_FREE(m_names[i]);
        }
        MEM_FREE(m_records);
        MEM_FREE(m_names);
        m_index.Clear();
        m_records = nullptr;
        m_names = nullptr;
        m_count = m_capacity = 0;
    }

    // Empties the table and gives it n null entries.
    void Reset(int32_t n)
    {
        Clear();
        Reserve(n);
        m_count = n;
    }

    // Fills the table from a resource chunk's entry list: one record per entry, read by
    // T::LoadFromChunk(image, entry offset, &name); an entry offset of 0 leaves a null entry.
    // False at the first malformed record (the table keeps what was read before it).
    bool LoadChunk(const FileImage& image, const ChunkList& list)
    {
        Reset((int32_t)list.count);
        for (uint32_t i = 0; i < list.count; ++i) {
            const uint32_t at = list.Offset(image, i);
            if (at == 0) continue;
            T* record = new T();
            const char* name = nullptr;
            if (!record->LoadFromChunk(image, at, &name)) {
                delete record;
                return false;
            }
            Set((int32_t)i, record, name);
        }
        return true;
    }

    // Appends a record under a copy of name; returns its index.
    int32_t Append(T* record, const char* name)
    {
        Reserve(m_count + 1);
        m_records[m_count] = record;
        m_names[m_count] = name ? MEM_STRDUP(name) : nullptr;
        Index(m_count);
        return m_count++;
    }

    // Appends a record named prefix + its index in decimal ("__newsprite12").
    int32_t AppendNumbered(T* record, const char* prefix)
    {
        char name[64];
        std::snprintf(name, sizeof name, "%s%d", prefix, m_count);
        return Append(record, name);
    }

    // Removes the last entry (a failed addition), deleting its record and name.
    void DropLast()
    {
        if (m_count == 0) return;
        --m_count;
        Unindex(m_count);
        delete m_records[m_count];
        MEM_FREE(m_names[m_count]);
        m_records[m_count] = nullptr;
        m_names[m_count] = nullptr;
    }

    // Stores a record (the old one is deleted) and, when name is given, a copy of it.
    void Set(int32_t i, T* record, const char* name)
    {
        if (!InRange(i)) return;
        Unindex(i);
        if (m_records[i] != record) delete m_records[i];
        m_records[i] = record;
        if (name) {
            MEM_FREE(m_names[i]);
            m_names[i] = MEM_STRDUP(name);
        }
        Index(i);
    }

    // Puts a record into an empty entry (a deleted one); it is named prefix + index when the
    // entry has no name.
    void Revive(int32_t i, T* record, const char* prefix)
    {
        if (!InRange(i)) return;
        Set(i, record, nullptr);
        if (!m_names[i]) {
            char name[64];
            std::snprintf(name, sizeof name, "%s%d", prefix, i);
            m_names[i] = MEM_STRDUP(name);
            Index(i);
        }
    }

    // Deletes the record and the name of entry i; both become null.
    void Remove(int32_t i)
    {
        if (!InRange(i)) return;
        Unindex(i);
        delete m_records[i];
        MEM_FREE(m_names[i]);
        m_records[i] = nullptr;
        m_names[i] = nullptr;
    }

    // The first entry holding a record whose name equals name byte for byte; -1 when none.
    int32_t Find(const char* name) const { return m_index.Find(name); }

private:
    // The index holds entry i while it has both a record and a name.
    void Index(int32_t i)
    {
        if (m_records[i] && m_names[i]) m_index.Add(m_names[i], i);
    }
    void Unindex(int32_t i)
    {
        if (m_names[i]) m_index.Remove(m_names[i], i);
    }

    void Reserve(int32_t n)
    {
        if (n <= m_capacity) return;
        int32_t capacity = m_capacity < 8 ? 8 : m_capacity;
        while (capacity < n) capacity *= 2;
        m_records = (T**)MEM_REALLOC(m_records, sizeof(T*) * (size_t)capacity);
        m_names = (char**)MEM_REALLOC(m_names, sizeof(char*) * (size_t)capacity);
        for (int32_t i = m_capacity; i < capacity; ++i) {
            m_records[i] = nullptr;
            m_names[i] = nullptr;
        }
        m_capacity = capacity;
    }

    T** m_records = nullptr;
    char** m_names = nullptr;
    int32_t m_count = 0, m_capacity = 0;
    NameIndex m_index;
};
