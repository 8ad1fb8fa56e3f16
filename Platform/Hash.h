// Hash: a chained hash table keyed by a 32-bit value, holding pointers to values. Used for the
// instance table by id, the object table, the trigger table and each data-structure map (text
// keys go through CRC32_String first). Header only; every block comes from the memory manager.
//
// Invariants: the bucket count is a power of two and a key's bucket is key & mask; within a
// bucket nodes keep their order of insertion (new nodes go to the tail); keys are not unique,
// Find and Delete take the first node with the key. Nodes belong to the table, values to the
// caller unless a delete mode says otherwise (Platform/ContainerMode.h). Not thread-safe.
#pragma once

#include <cstdint>

#include "Platform/ContainerMode.h"
#include "Platform/MemoryManager.h"

template <class T>
struct HashNode {
    HashNode* prev;
    HashNode* next;
    uint32_t key;
    T* value;
};

template <class T>
struct HashBucket {
    HashNode<T>* head;
    HashNode<T>* tail;
};

template <class T>
class Hash;

// Walk state: bucket index (-1 once the walk has ended), current node, the table walked.
template <class T>
struct HashIterator {
    int32_t bucket = 0;
    HashNode<T>* node = nullptr;
    Hash<T>* hash = nullptr;
};

template <class T>
class Hash {
public:
    // A table of n buckets (rounded up to a power of two, at least 1).
    explicit Hash(int32_t buckets = 64) { Init(buckets); }
    ~Hash()
    {
        Clear(CONTAINER_DELETE);
        MEM_FREE(m_buckets);
    }
    Hash(const Hash&) = delete;
    Hash& operator=(const Hash&) = delete;

    // Sets up n empty buckets (n rounded up to a power of two). Nodes of an earlier set-up are
    // released first; their values are kept.
    void Init(int32_t n)
    {
        if (m_buckets) {
            Clear(CONTAINER_KEEP);
            MEM_FREE(m_buckets);
            m_buckets = nullptr;
        }
        int32_t count = 1;
        while (count < n && count < (1 << 30)) count <<= 1;
        m_buckets = static_cast<HashBucket<T>*>(
            MEM_ALLOC_CLEAR(Container_ByteSize(count, sizeof(HashBucket<T>))));
        m_mask = count - 1;
        m_count = 0;
    }

    // Appends {key, value} at the tail of the key's bucket; returns the new node.
    HashNode<T>* Insert(uint32_t key, T* value)
    {
        auto* node = static_cast<HashNode<T>*>(MEM_ALLOC(sizeof(HashNode<T>)));
        HashBucket<T>& b = m_buckets[key & uint32_t(m_mask)];
        node->prev = b.tail;
        node->next = nullptr;
        node->key = key;
        node->value = value;
        if (b.tail)
            b.tail->next = node;
        else
            b.head = node;
        b.tail = node;
        ++m_count;
        return node;
    }

    // The value of the first node with the key; null when there is none.
    T* Find(uint32_t key) const
    {
        HashNode<T>* n = FindNode(key);
        return n ? n->value : nullptr;
    }

    // The first node with the key; null when there is none.
    HashNode<T>* FindNode(uint32_t key) const
    {
        for (HashNode<T>* n = m_buckets[key & uint32_t(m_mask)].head; n; n = n->next)
            if (n->key == key) return n;
        return nullptr;
    }

    // Head of the key's bucket, for callers that walk the chain themselves.
    HashNode<T>* BucketHead(uint32_t key) const { return m_buckets[key & uint32_t(m_mask)].head; }

    // Unlinks the first node with the key and releases its value by mode; false when none.
    bool Delete(uint32_t key, int32_t mode)
    {
        HashNode<T>* n = FindNode(key);
        if (!n) return false;
        DeleteNode(n, mode);
        return true;
    }

    // Unlinks a node of this table (as Insert returned it) and releases its value by mode,
    // without walking its bucket.
    void DeleteNode(HashNode<T>* n, int32_t mode)
    {
        HashBucket<T>& b = m_buckets[n->key & uint32_t(m_mask)];
        if (n->prev)
            n->prev->next = n->next;
        else
            b.head = n->next;
        if (n->next)
            n->next->prev = n->prev;
        else
            b.tail = n->prev;
        T* value = n->value;
        MEM_FREE(n);
        --m_count;
        Container_ReleaseValue(value, mode);
    }

    // Empties every bucket, last bucket first, each from head to tail; values by mode.
    void Clear(int32_t mode)
    {
        if (!m_buckets) return;
        for (int32_t i = m_mask; i >= 0; --i) {
            HashNode<T>* n = m_buckets[i].head;
            m_buckets[i].head = m_buckets[i].tail = nullptr;
            while (n) {
                HashNode<T>* next = n->next;
                T* value = n->value;
                MEM_FREE(n);
                --m_count;
                Container_ReleaseValue(value, mode);
                n = next;
            }
        }
    }

    // From the iterator's bucket on, the first non-empty bucket's head becomes current and its
    // value is returned; past the last bucket the walk ends (bucket -1, node null) with null.
    T* IterateFirst(HashIterator<T>* it)
    {
        it->hash = this;
        if (it->bucket < 0) {
            it->node = nullptr;
            return nullptr;
        }
        for (int32_t i = it->bucket; i <= m_mask; ++i) {
            if (m_buckets[i].head) {
                it->bucket = i;
                it->node = m_buckets[i].head;
                return it->node->value;
            }
        }
        it->bucket = -1;
        it->node = nullptr;
        return nullptr;
    }

    // The next value: the current node's successor in its bucket, else the first value of a
    // later bucket; null (and the walk ended) past the last. A loop that deletes the current
    // value must fetch the next one first.
    T* IterateNext(HashIterator<T>* it)
    {
        if (!it->node) return nullptr;
        it->node = it->node->next;
        if (it->node) return it->node->value;
        ++it->bucket;
        if (it->bucket > m_mask) {
            it->bucket = -1;
            return nullptr;
        }
        return IterateFirst(it);
    }

    // Starts a walk at bucket 0: the first value, or null for an empty table.
    T* IterateStart(HashIterator<T>* it)
    {
        it->bucket = 0;
        it->node = nullptr;
        return IterateFirst(it);
    }

    int32_t Count() const { return m_count; }
    int32_t Mask() const { return m_mask; }

private:
    HashBucket<T>* m_buckets = nullptr;
    int32_t m_mask = 0;
    int32_t m_count = 0;
};
