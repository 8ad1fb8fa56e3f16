// Hash, SLinkedList and the growable arrays: ordering, ownership by delete mode, and that
// every node and block goes back to the memory manager.
#include <gtest/gtest.h>

#include <vector>

#include "Platform/Hash.h"
#include "Platform/MemoryManager.h"
#include "Platform/SLinkedList.h"
#include "Platform/cARRAY_CLASS.h"
#include "Platform/cARRAY_CLASS_NO_DELETE.h"
#include "Platform/cARRAY_MEMORY.h"
#include "Platform/cARRAY_STRUCTURE.h"

namespace {

// Counts live objects; the virtual destructor is what mode 1 must reach.
struct Base {
    virtual ~Base() = default;
};
struct Tracked : Base {
    explicit Tracked(int v = 0) : value(v) { ++alive; }
    ~Tracked() override { --alive; }
    int value;
    static int alive;
};
int Tracked::alive = 0;

// A value without a vtable, deleted as its own type.
struct Plain {
    explicit Plain(int v) : value(v) { ++alive; }
    ~Plain() { --alive; }
    int value;
    static int alive;
};
int Plain::alive = 0;

// Checks at the end of a test that nothing the containers allocated is still in use.
class BlockBalance {
public:
    BlockBalance() : m_blocks(MemoryManager::BlocksInUse()) {}
    ~BlockBalance() { EXPECT_EQ(MemoryManager::BlocksInUse(), m_blocks); }

private:
    uint32_t m_blocks;
};

} // namespace

TEST(Hash, DuplicateKeysFindFirstThenSecondAfterDelete)
{
    BlockBalance balance;
    Hash<Plain> h(512);
    Plain a(1), b(2);
    h.Insert(7, &a);
    h.Insert(7, &b);
    EXPECT_EQ(h.Count(), 2);
    EXPECT_EQ(h.Find(7), &a);
    EXPECT_TRUE(h.Delete(7, CONTAINER_KEEP));
    EXPECT_EQ(h.Find(7), &b);
    EXPECT_TRUE(h.Delete(7, CONTAINER_KEEP));
    EXPECT_FALSE(h.Delete(7, CONTAINER_KEEP));
    EXPECT_EQ(h.Find(7), nullptr);
    EXPECT_EQ(h.Count(), 0);
    EXPECT_EQ(Plain::alive, 2);
}

TEST(Hash, KeysSharingABucketKeepInsertionOrderAndUnlinkCleanly)
{
    BlockBalance balance;
    Hash<Plain> h(512);
    Plain v5(5), v517(517), v1029(1029);
    h.Insert(517, &v517);
    h.Insert(5, &v5);
    h.Insert(1029, &v1029);
    HashNode<Plain>* n = h.BucketHead(5);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->key, 517u);
    EXPECT_EQ(n->next->key, 5u);
    EXPECT_EQ(n->next->next->key, 1029u);
    EXPECT_EQ(h.Find(5), &v5);
    // Remove the middle one, then head and tail: links on both sides must stay right.
    EXPECT_TRUE(h.Delete(5, CONTAINER_KEEP));
    EXPECT_EQ(h.BucketHead(5)->next->key, 1029u);
    EXPECT_EQ(h.BucketHead(5)->next->prev->key, 517u);
    EXPECT_TRUE(h.Delete(1029, CONTAINER_KEEP));
    EXPECT_EQ(h.BucketHead(5)->next, nullptr);
    h.Insert(5, &v5); // the tail was mended: appending lands behind 517
    EXPECT_EQ(h.BucketHead(5)->next->value, &v5);
    EXPECT_TRUE(h.Delete(517, CONTAINER_KEEP));
    EXPECT_EQ(h.BucketHead(5)->value, &v5);
    EXPECT_EQ(h.BucketHead(5)->prev, nullptr);
    h.Clear(CONTAINER_KEEP);
}

TEST(Hash, IterationOrderIsBucketsUpwardsThenInsertion)
{
    BlockBalance balance;
    Hash<Plain> h(4);
    std::vector<Plain*> values;
    const uint32_t keys[] = {6, 1, 5, 2, 9, 3};
    for (uint32_t k : keys) values.push_back(new Plain(int(k)));
    for (size_t i = 0; i < values.size(); ++i) h.Insert(keys[i], values[i]);
    std::vector<int> order;
    HashIterator<Plain> it;
    for (Plain* p = h.IterateStart(&it); p; p = h.IterateNext(&it)) order.push_back(p->value);
    EXPECT_EQ(order, (std::vector<int>{1, 5, 9, 6, 2, 3}));
    EXPECT_EQ(it.bucket, -1);
    EXPECT_EQ(h.IterateNext(&it), nullptr);

    // Deleting while walking: fetch the next value first.
    for (Plain* p = h.IterateStart(&it); p;) {
        Plain* next = h.IterateNext(&it);
        if (p->value % 2) h.Delete(uint32_t(p->value), CONTAINER_DELETE);
        p = next;
    }
    EXPECT_EQ(h.Count(), 2);
    EXPECT_EQ(Plain::alive, 2);
    h.Clear(CONTAINER_DELETE);
    EXPECT_EQ(Plain::alive, 0);
}

TEST(Hash, EmptyTableEndsIterationAtOnce)
{
    Hash<Tracked> h(512);
    HashIterator<Tracked> it;
    EXPECT_EQ(h.IterateStart(&it), nullptr);
    EXPECT_EQ(it.bucket, -1);
    EXPECT_EQ(it.node, nullptr);
    EXPECT_EQ(h.Find(123), nullptr);
}

TEST(Hash, ClearModesAndDestructorOwnership)
{
    BlockBalance balance;
    {
        Hash<Tracked> h(512);
        Tracked a, b;
        h.Insert(1, &a);
        h.Insert(2, &b);
        h.Clear(CONTAINER_KEEP);
        EXPECT_EQ(Tracked::alive, 2);
        EXPECT_EQ(h.Count(), 0);
        EXPECT_EQ(h.Find(1), nullptr);
    }
    EXPECT_EQ(Tracked::alive, 0);
    {
        Hash<Base> h(16); // deleted through the base's virtual destructor
        for (uint32_t k = 0; k < 40; ++k) h.Insert(k, new Tracked(int(k)));
        EXPECT_EQ(Tracked::alive, 40);
        EXPECT_TRUE(h.Delete(3, CONTAINER_DELETE));
        EXPECT_EQ(Tracked::alive, 39);
        h.Clear(CONTAINER_DELETE);
        EXPECT_EQ(Tracked::alive, 0);
        h.Insert(1, new Tracked(1));
    } // the destructor deletes what is left
    EXPECT_EQ(Tracked::alive, 0);
    {
        Hash<char> h(8); // mode 2: memory-manager blocks
        h.Insert(1, static_cast<char*>(MEM_ALLOC(10)));
        h.Insert(2, static_cast<char*>(MEM_ALLOC(10)));
        EXPECT_TRUE(h.Delete(1, CONTAINER_FREE));
        h.Clear(CONTAINER_FREE);
    }
}

TEST(Hash, BucketCountRoundsUpToPowerOfTwo)
{
    Hash<Plain> a(512), b(100), c(0);
    EXPECT_EQ(a.Mask(), 511);
    EXPECT_EQ(b.Mask(), 127);
    EXPECT_EQ(c.Mask(), 0);
    Plain p(1);
    c.Insert(0xFFFFFFFFu, &p); // one bucket still takes any key
    EXPECT_EQ(c.Find(0xFFFFFFFFu), &p);
    c.Clear(CONTAINER_KEEP);
}

TEST(SLinkedList, AddRemoveKeepLinksAndCount)
{
    BlockBalance balance;
    SLinkedList<Tracked> list;
    Tracked a(1), b(2), c(3);
    list.Add(&a);
    list.Add(&b);
    list.Add(&c);
    EXPECT_EQ(list.GetCount(), 3);
    EXPECT_TRUE(list.Remove(&b, CONTAINER_KEEP));
    EXPECT_EQ(list.GetHead()->value, &a);
    EXPECT_EQ(list.GetHead()->next->value, &c);
    EXPECT_EQ(list.GetTail()->prev->value, &a);
    EXPECT_FALSE(list.Remove(&b, CONTAINER_KEEP));
    EXPECT_TRUE(list.Remove(&c, CONTAINER_KEEP));
    EXPECT_EQ(list.GetTail()->value, &a);
    EXPECT_EQ(list.GetTail()->next, nullptr);
    EXPECT_TRUE(list.Remove(&a, CONTAINER_KEEP));
    EXPECT_EQ(list.GetHead(), nullptr);
    EXPECT_EQ(list.GetTail(), nullptr);
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(Tracked::alive, 3);
}

TEST(SLinkedList, ModesDeleteOrFreeValues)
{
    BlockBalance balance;
    {
        SLinkedList<Base> list;
        Base* first = new Tracked(1);
        list.Add(first);
        list.Add(new Tracked(2));
        list.Add(new Tracked(3));
        EXPECT_TRUE(list.Remove(first, CONTAINER_DELETE));
        EXPECT_EQ(Tracked::alive, 2);
        list.Clear(CONTAINER_DELETE);
        EXPECT_EQ(Tracked::alive, 0);
        EXPECT_EQ(list.GetCount(), 0);
        list.Add(first = new Tracked(4));
        // the destructor keeps values
        list.Remove(first, CONTAINER_KEEP);
        delete first;
    }
    SLinkedList<void> blocks;
    blocks.Add(MEM_ALLOC(8));
    blocks.Add(MEM_ALLOC(8));
    blocks.Clear(CONTAINER_FREE);
}

namespace {
struct Record {
    int32_t a;
    float b;
};
} // namespace

TEST(cARRAY_STRUCTURE, GrowKeepsRecordsAndZeroFillsNewOnes)
{
    BlockBalance balance;
    cARRAY_STRUCTURE<Record> arr;
    arr.SetLength(2);
    arr[0] = {1, 1.5f};
    arr[1] = {2, 2.5f};
    arr.SetLength(4);
    EXPECT_EQ(arr[0].a, 1);
    EXPECT_EQ(arr[1].b, 2.5f);
    EXPECT_EQ(arr[2].a, 0);
    EXPECT_EQ(arr[3].b, 0.0f);
    EXPECT_EQ(MemoryManager::GetSize(arr.GetItems()), 4 * sizeof(Record));
    arr[3] = {9, 9};
    arr.SetLength(3);
    arr.SetLength(4); // the record cut off comes back as zeros, not as the old bytes
    EXPECT_EQ(arr[3].a, 0);
    arr.SetLength(0);
    EXPECT_EQ(arr.GetItems(), nullptr);
    EXPECT_EQ(arr.GetLength(), 0);
    arr.SetLength(-5);
    EXPECT_EQ(arr.GetLength(), 0);
}

TEST(cARRAY_STRUCTURE, RemoveAtShiftsDown)
{
    BlockBalance balance;
    cARRAY_STRUCTURE<int32_t> arr;
    arr.SetLength(4);
    for (int32_t i = 0; i < 4; ++i) arr[i] = 10 + i;
    arr.RemoveAt(1);
    ASSERT_EQ(arr.GetLength(), 3);
    EXPECT_EQ(arr[0], 10);
    EXPECT_EQ(arr[1], 12);
    EXPECT_EQ(arr[2], 13);
    arr.RemoveAt(2);
    arr.RemoveAt(7);
    arr.RemoveAt(-1);
    ASSERT_EQ(arr.GetLength(), 2);
    EXPECT_EQ(arr[1], 12);
    arr.RemoveAt(0);
    arr.RemoveAt(0);
    EXPECT_EQ(arr.GetLength(), 0);
    EXPECT_EQ(arr.GetItems(), nullptr);
}

TEST(cARRAY_CLASS, ZeroDeletesOwnedObjectsButShrinkingKeepsThem)
{
    BlockBalance balance;
    Tracked* dropped;
    {
        cARRAY_CLASS<Tracked> arr;
        arr.SetLength(3);
        EXPECT_EQ(arr[2], nullptr);
        arr[0] = new Tracked(1);
        arr[2] = new Tracked(3); // slot 1 stays null
        dropped = arr[2];
        arr.SetLength(2); // slot 2 cut off: its object lives on
        EXPECT_EQ(Tracked::alive, 2);
        arr.SetLength(3);
        EXPECT_EQ(arr[2], nullptr);
        arr.SetLength(0);
        EXPECT_EQ(Tracked::alive, 1);
        arr.SetLength(1);
        arr[0] = new Tracked(5);
    } // the destructor deletes the owned object
    EXPECT_EQ(Tracked::alive, 1);
    delete dropped;
}

TEST(cARRAY_CLASS_NO_DELETE, NeverDeletes)
{
    BlockBalance balance;
    Tracked a(1), b(2);
    {
        cARRAY_CLASS_NO_DELETE<Tracked> arr;
        arr.SetLength(2);
        arr[0] = &a;
        arr[1] = &b;
        arr.SetLength(3);
        EXPECT_EQ(arr[0], &a);
        EXPECT_EQ(arr.Get(2), nullptr);
        EXPECT_EQ(arr.Get(3), nullptr);
        arr.SetLength(0);
        arr.SetLength(1);
        arr[0] = &a;
    }
    EXPECT_EQ(Tracked::alive, 2);
}

TEST(cARRAY_MEMORY, ClearFreesEveryBlock)
{
    BlockBalance balance;
    cARRAY_MEMORY<> arr;
    arr.SetLength(3);
    arr[0] = MEM_ALLOC(16);
    arr[2] = MEM_ALLOC(32);
    arr.Clear();
    EXPECT_EQ(arr.GetLength(), 0);
    cARRAY_MEMORY<char> text;
    text.SetLength(1);
    text[0] = MEM_STRDUP("kept until the destructor");
}
