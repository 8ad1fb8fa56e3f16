// Instances: bounding boxes (unrotated, rotated, mirrored, without a sprite), motion with its
// two speed pairs, friction and gravity, direction wrapping, collision tests on the boxes, the
// room list's depth order (one by one and merged) and the instance table.
#include "Files/World/World_Hooks.h"
#include "support/GameWorld.h"

#include <cmath>
#include <limits>

#include "Files/Object/Instance_Pending.h"

namespace {
class InstanceWorld : public WorldTest {
protected:
    CInstance* Make(float x, float y, int32_t sprite = 0)
    {
        auto* i = new CInstance(x, y, m_next++, -1, false);
        i->SetSprite(sprite);
        m_owned.push_back(i);
        return i;
    }
    void TearDown() override
    {
        for (CInstance* i : m_owned) delete i;
        m_owned.clear();
        WorldTest::TearDown();
    }
    std::vector<CInstance*> m_owned;
    int32_t m_next = 200000;
};

std::vector<int32_t> Box(CInstance* i)
{
    i->RefreshBoundingBox();
    return {i->i_bbox_left, i->i_bbox_top, i->i_bbox_right, i->i_bbox_bottom};
}
} // namespace

TEST_F(InstanceWorld, NewInstanceDefaults)
{
    CInstance i(3, 4, 100001, -1, false);
    for (int32_t k = 0; k < 12; ++k) EXPECT_EQ(i.GetAlarm(k), -1);
    EXPECT_EQ(i.GetAlarm(12), -1);
    EXPECT_EQ(i.GetAlarm(-1), -1);
    i.SetAlarm(12, 5);
    EXPECT_EQ(i.i_gravitydir, 270.0f);
    EXPECT_EQ(i.i_imageblend, 0xFFFFFFu);
    EXPECT_TRUE(i.i_bboxDirty);
    EXPECT_EQ(i.i_xstart, 3.0f);
    EXPECT_EQ(i.i_timelineindex, -1);
    EXPECT_EQ(i.i_pathindex, -1);
    i.SetPathPosition(2);
    EXPECT_EQ(i.i_pathposition, 1.0f);
    i.SetPathPositionPrevious(-1);
    EXPECT_EQ(i.i_pathpositionprevious, 0.0f);
}

TEST_F(InstanceWorld, BoundingBoxes)
{
    g_FakeSprites[0] = WorldSpriteInfo{16, 8, 8, 4, 0, 0, 15, 7, 1, 0};
    CInstance* i = Make(100, 50);
    EXPECT_EQ(Box(i), (std::vector<int32_t>{92, 46, 107, 53}));
    i->SetImageXScale(2);
    EXPECT_EQ(Box(i), (std::vector<int32_t>{84, 46, 115, 53}));
    i->SetImageXScale(-1);
    EXPECT_EQ(Box(i), (std::vector<int32_t>{91, 46, 108, 53})) << "a mirrored box has its edges swapped";
    i->SetImageXScale(1);
    i->SetImageAngle(90);
    // A huge scale holds the far edges at the ends of the range, each on its own side.
    i->SetImageAngle(0);
    i->SetImageXScale(1e30f);
    EXPECT_EQ(Box(i), (std::vector<int32_t>{INT32_MIN, 46, INT32_MAX, 53}));
    i->SetImageXScale(1);
    i->SetImageAngle(30);
    i->SetImageYScale(-1e30f);
    const std::vector<int32_t> far = Box(i);
    EXPECT_TRUE(far[0] <= 100 && 100 <= far[2] && far[1] <= 50 && 50 <= far[3]);
    i->SetImageYScale(1);
    i->SetImageAngle(90);
    EXPECT_EQ(Box(i), (std::vector<int32_t>{96, 43, 103, 58})) << "a quarter turn swaps width and height";
    CInstance* none = Make(5, 5, 7);
    EXPECT_EQ(Box(none), (std::vector<int32_t>{-100000, -100000, -100000, -100000}));
    // A mask sprite gives the shape.
    g_FakeSprites[1] = FakeSprite(2, 2);
    none->SetMaskIndex(1);
    EXPECT_EQ(Box(none), (std::vector<int32_t>{5, 5, 6, 6}));
    // Moving marks the box dirty.
    none->SetPosition(10, 10);
    EXPECT_EQ(Box(none), (std::vector<int32_t>{10, 10, 11, 11}));
}

TEST_F(InstanceWorld, SpeedPairsStayInStep)
{
    CInstance* i = Make(0, 0, -1);
    i->SetHSpeed(0);
    i->SetVSpeed(3);
    EXPECT_EQ(i->i_direction, 270.0f);
    EXPECT_EQ(i->i_speed, 3.0f);
    i->SetVSpeed(-1);
    i->SetHSpeed(1);
    EXPECT_EQ(i->i_direction, 45.0f);
    EXPECT_FLOAT_EQ(i->i_speed, 1.4142135f);
    i->SetDirection(90);
    i->SetSpeed(4);
    EXPECT_EQ(i->i_hspeed, 0.0f) << "snapped from a tiny cosine";
    EXPECT_EQ(i->i_vspeed, -4.0f);
    i->SetDirection(-90);
    EXPECT_EQ(i->i_direction, 270.0f);
    i->SetDirection(720);
    EXPECT_EQ(i->i_direction, 0.0f);
    i->SetDirection(360);
    EXPECT_EQ(i->i_direction, 0.0f);
    // Huge and infinite directions finish at once.
    i->SetDirection(1e30f);
    EXPECT_GE(i->i_direction, 0.0f);
    EXPECT_LT(i->i_direction, 360.0f);
    i->SetDirection(std::numeric_limits<float>::infinity());
    i->SetDirection(-3.0e38f);
    EXPECT_LT(i->i_direction, 360.0f);
}

TEST_F(InstanceWorld, FrictionAndGravity)
{
    CInstance* i = Make(0, 0, -1);
    i->SetDirection(0);
    i->SetSpeed(0.3f);
    i->i_friction = 0.5f;
    i->ApplyFrictionGravity();
    EXPECT_EQ(i->i_speed, 0.0f) << "friction never reverses the motion";
    EXPECT_EQ(i->i_hspeed, 0.0f);
    i->ApplyFrictionGravity();
    EXPECT_EQ(i->i_speed, 0.0f);
    i->i_friction = 0;
    i->i_gravity = 0.5f;
    i->i_gravitydir = 270;
    i->ApplyFrictionGravity();
    i->ApplyFrictionGravity();
    EXPECT_FLOAT_EQ(i->i_vspeed, 1.0f);
    EXPECT_EQ(i->i_direction, 270.0f);
    // Negative friction speeds a moving instance up.
    i->i_gravity = 0;
    i->i_friction = -1;
    i->ApplyFrictionGravity();
    EXPECT_FLOAT_EQ(i->i_speed, 2.0f);
}

TEST_F(InstanceWorld, CollisionTestsOnBoxes)
{
    g_FakeSprites[0] = FakeSprite(10, 10);
    CInstance* a = Make(0, 0);
    CInstance* b = Make(9, 9);
    CInstance* c = Make(10, 0);
    EXPECT_TRUE(a->CollisionPoint(9, 9, true)) << "the right edge is inside";
    EXPECT_FALSE(a->CollisionPoint(10, 5, true));
    EXPECT_TRUE(a->CollisionInstance(b, true));
    EXPECT_FALSE(a->CollisionInstance(c, true));
    EXPECT_FALSE(a->CollisionInstance(a, true));
    EXPECT_TRUE(a->CollisionRectangle(9, 9, 20, 20, false));
    EXPECT_FALSE(a->CollisionRectangle(10, 0, 20, 20, false));
    EXPECT_TRUE(a->CollisionLine(-10, 5, 100, 5, false));
    EXPECT_FALSE(a->CollisionLine(-10, 20, 100, 20, false));
    EXPECT_TRUE(a->CollisionEllipse(5, 0, 5, 30, false)) << "a flat ellipse is the rectangle test";
    EXPECT_FALSE(a->CollisionEllipse(10, 10, 30, 30, false)) << "the corner (9, 9) lies outside the ellipse";
    b->SetMarked(true);
    EXPECT_FALSE(a->CollisionInstance(b, true)) << "a marked instance collides with nothing";
    CInstance* none = Make(0, 0, 9);
    EXPECT_FALSE(none->CollisionInstance(a, true));
    EXPECT_FALSE(none->CollisionPoint(-100000, -100000, false));
    // Precise masks ask the sprite.
    g_FakeSprites[1] = FakeSprite(10, 10);
    g_FakeSprites[1].precise = 1;
    CInstance* p = Make(0, 0, 1);
    static int asked = 0;
    World_Hooks().maskSprite = [](const WorldMaskPlacement*, const WorldMaskPlacement*) {
        ++asked;
        return false;
    };
    EXPECT_FALSE(p->CollisionInstance(c = Make(5, 5), true));
    EXPECT_TRUE(p->CollisionInstance(c, false));
    EXPECT_EQ(asked, 1);
}

TEST_F(InstanceWorld, RoomListDepthOrderAndTheMergedReinsert)
{
    for (int round = 0; round < 2; ++round) {
        InstanceList one, many;
        std::vector<CInstance*> a, b;
        const float depths[] = {5, 1, 5, 9, 3, 3, 7, 0, 5, 2, 8, 1};
        for (float d : depths) {
            a.push_back(Make(0, 0, -1));
            a.back()->i_depth = d;
            InstanceList_InsertByDepth(&one, a.back());
            b.push_back(Make(0, 0, -1));
            b.back()->i_depth = d;
            InstanceList_InsertByDepth(&many, b.back());
        }
        // Re-sort a group with new depths: one by one against one merge.
        const int32_t pick[] = {0, 3, 4, 7, 8, 9, 10, 11, 1};
        const float fresh[] = {3, 5, 5, 1, 9, 0, 5, 3, 5};
        std::vector<CInstance*> moved;
        for (int k = 0; k < 9; ++k) {
            InstanceList_Unlink(&one, a[size_t(pick[k])]);
            a[size_t(pick[k])]->i_depth = fresh[k];
            InstanceList_Unlink(&many, b[size_t(pick[k])]);
            b[size_t(pick[k])]->i_depth = fresh[k];
            moved.push_back(b[size_t(pick[k])]);
        }
        for (int k = 0; k < 9; ++k) InstanceList_InsertByDepth(&one, a[size_t(pick[k])]);
        InstanceList_InsertManyByDepth(&many, moved.data(), int32_t(moved.size()));
        std::vector<size_t> orderA, orderB;
        for (CInstance* i = one.head; i; i = i->m_pNext)
            orderA.push_back(size_t(std::find(a.begin(), a.end(), i) - a.begin()));
        for (CInstance* i = many.head; i; i = i->m_pNext)
            orderB.push_back(size_t(std::find(b.begin(), b.end(), i) - b.begin()));
        EXPECT_EQ(orderA, orderB);
        EXPECT_EQ(one.count, many.count);
        EXPECT_EQ(many.tail->m_pNext, nullptr);
        EXPECT_EQ(many.head->m_pPrev, nullptr);
    }
}

TEST_F(InstanceWorld, InstanceTableRemovesByPointer)
{
    CInstance* a = Make(0, 0, -1);
    CInstance* b = Make(0, 0, -1);
    b->i_id = a->i_id;
    InstanceHash_Add(a);
    InstanceHash_Add(b);
    EXPECT_EQ(Instance_Find(a->i_id), a);
    InstanceHash_Remove(b); // the second of two with one id
    EXPECT_EQ(Instance_Find(a->i_id), a);
    InstanceHash_Add(b);
    InstanceHash_Remove(a);
    EXPECT_EQ(Instance_Find(a->i_id), b) << "the next instance of that id takes its place";
    InstanceHash_Remove(b);
    EXPECT_EQ(Instance_Find(a->i_id), nullptr);
}
