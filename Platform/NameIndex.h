// NameIndex: the name-to-index map a table keeps beside its records, so that finding a record
// by name costs one hash look-up however many records the table holds. Header only.
//
// Invariants: the index holds exactly the (name, index) pairs its table counts as findable;
// the table adds a pair when a record gets a name and removes it before the name or the
// record goes. Names may repeat: Find answers the index that comes first in the table's own
// walk, given to the index as a rank with each pair (lower first; the rank of a pair stays the
// same while it is held; by default the rank is the index, for tables walked in index order).
// Removing the answer makes the next in rank the answer. Names are compared byte for byte.
//
// Name generation: the compiler resolves names once, when text is compiled; a unit kept from
// an earlier compile is still right while no look-up it made could answer differently. Every
// tracked index moves NameGeneration on whenever the answer for a name changes (a first pair
// for a name, a pair that comes before the answer, the answer removed, the index cleared);
// other tables whose look-ups the compiler makes move it themselves. An index whose answers
// never change a compile (the variable-name table, which adds what it does not hold) is made
// untracked.
//
// Layout: one flat array of slots, open addressing with linear probing, at most half full
// (doubled as it fills); a removal shifts the following entries back, so no slot is ever a
// tombstone. Each slot keeps its name's 64-bit hash, so a probe that misses (most look-ups
// at compile time miss: an identifier is tried against every table in turn) compares no text.
// A slot owns a copy of its name, and the other pairs of a repeated name in a side list.
// Not thread-safe.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

// The generation of the names code resolves when it is compiled (see above). Main thread only.
class NameGeneration {
public:
    static uint64_t Current() { return s_current; }
    static void Advance() { ++s_current; }

private:
    static inline uint64_t s_current = 1;
};

class NameIndex {
public:
    enum Tracking { kTracked, kUntracked };
    explicit NameIndex(Tracking tracking = kTracked) : m_tracked(tracking == kTracked) {}
    ~NameIndex() { Clear(); }
    NameIndex(const NameIndex&) = delete;
    NameIndex& operator=(const NameIndex&) = delete;

    // Adds index under name at rank (a null name adds nothing; a pair already held is not
    // doubled).
    void Add(const char* name, int32_t index) { Add(name, index, uint64_t(uint32_t(index))); }
    void Add(const char* name, int32_t index, uint64_t rank)
    {
        if (!name) return;
        if ((m_count + 1) * 2 > m_slots.size()) Grow(m_slots.size() * 2);
        const uint64_t h = HashOf(name);
        const Entry e{rank, index};
        for (size_t i = h & m_mask;; i = (i + 1) & m_mask) {
            Slot& s = m_slots[i];
            if (!s.name) {
                const size_t n = std::strlen(name) + 1;
                s.name = new char[n];
                std::memcpy(s.name, name, n);
                s.hash = h;
                s.first = e;
                s.more = nullptr;
                ++m_count;
                Changed();
                return;
            }
            if (s.hash == h && std::strcmp(s.name, name) == 0) {
                if (AddTo(s, e)) Changed();
                return;
            }
        }
    }

    // Removes index (held at rank) from under name; nothing happens when the pair is not held.
    void Remove(const char* name, int32_t index) { Remove(name, index, uint64_t(uint32_t(index))); }
    void Remove(const char* name, int32_t index, uint64_t rank)
    {
        const size_t i = SlotOf(name);
        if (i == kNone) return;
        Slot& s = m_slots[i];
        const Entry e{rank, index};
        if (!(s.first == e)) {
            if (!s.more) return;
            auto at = std::lower_bound(s.more->begin(), s.more->end(), e);
            if (at != s.more->end() && *at == e) s.more->erase(at);
            return;
        }
        Changed();
        if (s.more && !s.more->empty()) {
            s.first = s.more->front();
            s.more->erase(s.more->begin());
            return;
        }
        EraseAt(i);
    }

    // The index of the first pair (lowest rank) held under name; -1 when none (or name is
    // null).
    int32_t Find(const char* name) const
    {
        const size_t i = SlotOf(name);
        return i == kNone ? -1 : m_slots[i].first.index;
    }

    // Empties the index and gives its memory back.
    void Clear()
    {
        if (m_count) Changed();
        for (Slot& s : m_slots) Release(s);
        std::vector<Slot>().swap(m_slots);
        m_mask = 0;
        m_count = 0;
    }
    // Distinct names held.
    size_t Size() const { return m_count; }
    // Makes room for names distinct names without growing again.
    void Reserve(size_t names)
    {
        if (names * 2 > m_slots.size()) Grow(names * 2);
    }

private:
    struct Entry {
        uint64_t rank;
        int32_t index;
        bool operator==(const Entry& o) const { return rank == o.rank && index == o.index; }
        bool operator<(const Entry& o) const { return rank != o.rank ? rank < o.rank : index < o.index; }
    };
    struct Slot {
        uint64_t hash = 0;
        char* name = nullptr;            // owned; null = empty slot
        std::vector<Entry>* more = nullptr; // owned; the other pairs, ascending
        Entry first{0, -1};              // the answer: the pair of lowest rank
    };
    static constexpr size_t kNone = ~size_t(0);

    void Changed() const
    {
        if (m_tracked) NameGeneration::Advance();
    }

    // FNV-1a over the bytes, finished by a mix so the low bits (the home slot) use them all.
    static uint64_t HashOf(const char* name)
    {
        uint64_t h = 14695981039346656037ull;
        for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p)
            h = (h ^ *p) * 1099511628211ull;
        h ^= h >> 31;
        h *= 0xBF58476D1CE4E5B9ull;
        return h ^ (h >> 29);
    }

    size_t SlotOf(const char* name) const
    {
        if (!name || m_count == 0) return kNone;
        const uint64_t h = HashOf(name);
        for (size_t i = h & m_mask;; i = (i + 1) & m_mask) {
            const Slot& s = m_slots[i];
            if (!s.name) return kNone;
            if (s.hash == h && std::strcmp(s.name, name) == 0) return i;
        }
    }

    // Adds e to a slot that holds its name; true when e became the answer.
    static bool AddTo(Slot& s, Entry e)
    {
        if (e == s.first) return false;
        const bool first = e < s.first;
        if (first) std::swap(e, s.first);
        if (!s.more) s.more = new std::vector<Entry>();
        auto at = std::lower_bound(s.more->begin(), s.more->end(), e);
        if (at == s.more->end() || !(*at == e)) s.more->insert(at, e);
        return first;
    }

    static void Release(Slot& s)
    {
        delete[] s.name;
        delete s.more;
        s = Slot{};
    }

    // Empties slot i and moves back every later entry of its run that may sit closer to home.
    void EraseAt(size_t i)
    {
        Release(m_slots[i]);
        for (size_t j = (i + 1) & m_mask; m_slots[j].name; j = (j + 1) & m_mask) {
            const size_t home = m_slots[j].hash & m_mask;
            const bool stays = i <= j ? (i < home && home <= j) : (i < home || home <= j);
            if (stays) continue;
            m_slots[i] = m_slots[j];
            m_slots[j] = Slot{};
            i = j;
        }
        --m_count;
    }

    void Grow(size_t atLeast)
    {
        size_t capacity = 16;
        while (capacity < atLeast) capacity *= 2;
        std::vector<Slot> old;
        old.swap(m_slots);
        m_slots.resize(capacity);
        m_mask = capacity - 1;
        for (Slot& s : old) {
            if (!s.name) continue;
            size_t i = s.hash & m_mask;
            while (m_slots[i].name) i = (i + 1) & m_mask;
            m_slots[i] = s;
        }
    }

    std::vector<Slot> m_slots; // a power of two in size, or empty
    size_t m_mask = 0;
    size_t m_count = 0;        // slots in use
    bool m_tracked;            // moves NameGeneration on
};
