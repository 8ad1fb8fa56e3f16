// The instances and objects the script language stands on: room lists by depth, the
// instance table, objects' instance lists and the object table.
#include <gtest/gtest.h>

#include <vector>

#include "Files/Code/Variable_List.h"
#include "Files/Object/Instance.h"
#include "Files/Object/Instance_Pending.h"
#include "Files/Object/Object.h"

namespace {

std::vector<int32_t> Ids(const InstanceList& l)
{
    std::vector<int32_t> ids;
    for (CInstance* i = l.head; i; i = i->m_pNext) ids.push_back(i->i_id);
    return ids;
}

std::vector<int32_t> Ids(const ObjectInstanceList& l)
{
    std::vector<int32_t> ids;
    for (auto* n = l.GetHead(); n; n = n->next) ids.push_back(n->value->i_id);
    return ids;
}

class InstanceTest : public ::testing::Test {
protected:
    void SetUp() override { Object_InitHash(); }
    void TearDown() override
    {
        Instance_FreeAll();
        Run_ClearObjectChanges();
        Object_Free();
    }
};

} // namespace

TEST_F(InstanceTest, RoomListKeepsAscendingDepthAndInsertionOrder)
{
    InstanceList room;
    CInstance a(0, 0, 1, -1, false), b(0, 0, 2, -1, false), c(0, 0, 3, -1, false), d(0, 0, 4, -1, false);
    a.SetDepth(5);
    b.SetDepth(1);
    c.SetDepth(5);
    d.SetDepth(9);
    for (CInstance* i : {&a, &b, &c, &d}) InstanceList_InsertByDepth(&room, i);
    EXPECT_EQ(Ids(room), (std::vector<int32_t>{2, 1, 3, 4}));
    EXPECT_EQ(room.count, 4);
    InstanceList_Unlink(&room, &b);
    InstanceList_Unlink(&room, &d);
    EXPECT_EQ(Ids(room), (std::vector<int32_t>{1, 3}));
    EXPECT_EQ(room.tail, &c);
    // Re-inserted behind the ones of equal depth.
    b.SetDepth(5);
    InstanceList_InsertByDepth(&room, &b);
    EXPECT_EQ(Ids(room), (std::vector<int32_t>{1, 3, 2}));
    InstanceList_Append(&room, &d);
    EXPECT_EQ(room.tail, &d);
}

TEST_F(InstanceTest, InstancesJoinTheirObjectsAndAncestors)
{
    int32_t parent = Object_Add(), child = Object_Add();
    CObject* p = Object_Lookup(parent);
    CObject* c = Object_Lookup(child);
    c->m_parentIndex = parent;
    c->SetParentObject(p);
    c->m_depth = 7;
    auto* i = new CInstance(1, 2, 100001, child, true);
    InstanceHash_Add(i);
    EXPECT_EQ(i->GetDepth(), 7.0f);
    EXPECT_EQ(Ids(c->m_instances), std::vector<int32_t>{100001});
    EXPECT_EQ(Ids(p->m_instancesRecursive), std::vector<int32_t>{100001});
    EXPECT_TRUE(Ids(p->m_instances).empty());
    EXPECT_TRUE(c->IsDescendantOf(parent));
    EXPECT_EQ(Instance_Find(100001), i);
    // Changing object leaves the old lists.
    i->SetObject(parent, true);
    EXPECT_TRUE(Ids(c->m_instances).empty());
    EXPECT_EQ(Ids(p->m_instances), std::vector<int32_t>{100001});
    // An object index of -1 is kept as 0 and names no object here.
    CInstance none(0, 0, 5, -1, true);
    EXPECT_EQ(none.i_objindex, 0);
    EXPECT_EQ(none.GetObject(), nullptr);
    InstanceHash_Remove(i);
    EXPECT_EQ(Instance_Find(100001), nullptr);
    delete i;
    EXPECT_TRUE(Ids(p->m_instances).empty());
}

TEST_F(InstanceTest, ObjectTable)
{
    for (int k = 0; k < 5; ++k) Object_Add();
    EXPECT_EQ(Object_Add(), 5);
    EXPECT_STREQ(Object_GetName(5), "__newobject5");
    EXPECT_TRUE(Object_Delete(5));
    EXPECT_FALSE(Object_Exists(5));
    EXPECT_STREQ(Object_GetName(5), "<undefined>");
    EXPECT_EQ(Object_Add(), 6);
    EXPECT_EQ(Object_Find("__newobject3"), 3);
    EXPECT_EQ(Object_Find("nothing"), -1);
    auto* o = new CObject(40);
    o->SetName("obj_wall");
    EXPECT_TRUE(Object_Insert(o));
    EXPECT_FALSE(Object_Insert(o));
    EXPECT_EQ(Object_GetCount(), 41);
    EXPECT_EQ(Object_Find("obj_wall"), 40);
}

TEST_F(InstanceTest, PendingObjectChangesAreASet)
{
    CInstance a(0, 0, 1, -1, false), b(0, 0, 2, -1, false);
    Run_QueueObjectChange(&a);
    Run_QueueObjectChange(&b);
    Run_QueueObjectChange(&a);
    EXPECT_EQ(Run_ObjectChangeCount(), 2);
    Run_UnqueueObjectChange(&a);
    EXPECT_EQ(Run_ObjectChangeAt(0), &b);
    EXPECT_EQ(Run_ObjectChangeAt(1), nullptr);
}
