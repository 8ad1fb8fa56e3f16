// SLinkedList: a doubly linked list of value pointers with head, tail and count; each object
// keeps two of them for its instances. Header only; nodes come from the memory manager.
//
// Invariants: head->prev and tail->next are null; count is the number of nodes; new values go
// to the tail. Nodes belong to the list, values to the caller unless a delete mode says
// otherwise (Platform/ContainerMode.h). Not thread-safe.
#pragma once

#include <cstdint>

#include "Platform/ContainerMode.h"
#include "Platform/MemoryManager.h"

template <class T>
struct SLinkedListNode {
    SLinkedListNode* next;
    SLinkedListNode* prev;
    T* value;
};

template <class T>
class SLinkedList {
public:
    using Node = SLinkedListNode<T>;

    SLinkedList() = default;
    // The nodes go; the values stay with their owners.
    ~SLinkedList() { Clear(CONTAINER_KEEP); }
    SLinkedList(const SLinkedList&) = delete;
    SLinkedList& operator=(const SLinkedList&) = delete;

    // Appends value at the tail; returns its node.
    Node* Add(T* value)
    {
        auto* n = static_cast<Node*>(MEM_ALLOC(sizeof(Node)));
        n->next = nullptr;
        n->prev = m_tail;
        n->value = value;
        if (m_tail)
            m_tail->next = n;
        else
            m_head = n;
        m_tail = n;
        ++m_count;
        return n;
    }

    // Unlinks the first node (from the head) holding this very pointer and releases the value
    // by mode; false when no node holds it.
    bool Remove(T* value, int32_t mode)
    {
        for (Node* n = m_head; n; n = n->next) {
            if (n->value != value) continue;
            if (n->prev)
                n->prev->next = n->next;
            else
                m_head = n->next;
            if (n->next)
                n->next->prev = n->prev;
            else
                m_tail = n->prev;
            MEM_FREE(n);
            --m_count;
            Container_ReleaseValue(value, mode);
            return true;
        }
        return false;
    }

    // Releases every node from the head, each value by mode; the list is empty afterwards.
    void Clear(int32_t mode)
    {
        Node* n = m_head;
        m_head = m_tail = nullptr;
        m_count = 0;
        while (n) {
            Node* next = n->next;
            T* value = n->value;
            MEM_FREE(n);
            Container_ReleaseValue(value, mode);
            n = next;
        }
    }

    Node* GetHead() const { return m_head; }
    Node* GetTail() const { return m_tail; }
    int32_t GetCount() const { return m_count; }

private:
    Node* m_head = nullptr;
    Node* m_tail = nullptr;
    int32_t m_count = 0;
};
