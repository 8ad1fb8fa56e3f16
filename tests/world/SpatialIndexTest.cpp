// The spatial index of the place, position and collision queries answers exactly as a walk of
// the candidates in list order: random rooms are changed at random (moves to near and far
// places, scales, angles, sprites and masks, creation, destruction, depth and object changes,
// deactivation, whole steps) and after each change every kind of query is asked with the
// index and again with the walk, for all instances, objects with and without descendants, and
// single ids. The index's own bookkeeping is checked as it goes.
#include <cmath>
#include <limits>
#include <random>

#include "Files/Object/Instance_Index.h"
#include "Files/Object/Instance_Pending.h"
#include "Files/Run/Run_Commands.h"
#include "Files/World/World_Hooks.h"
#include "support/GameWorld.h"

namespace {

class SpatialIndexTest : public WorldTest {
protected:
    void TearDown() override
    {
        WorldIndex_SetEnabled(true);
        WorldIndex_SetThreshold(64);
        WorldTest::TearDown();
    }
};

// Per-pixel answers that depend on the placement and the point, so precise and box answers
// differ and every query shape reaches its mask test.
bool MaskPoint(const WorldMaskPlacement* p, int32_t x, int32_t y) { return ((x - p->x) * 7 + (y - p->y) * 3) % 4 != 0; }
bool MaskRect(const WorldMaskPlacement* p, int32_t l, int32_t t, int32_t, int32_t) { return (l + t + p->x) % 3 != 0; }
bool MaskLine(const WorldMaskPlacement* p, int32_t x1, int32_t y1, int32_t, int32_t) { return (x1 ^ y1 ^ p->y) & 1; }
bool MaskSprite(const WorldMaskPlacement* a, const WorldMaskPlacement* b) { return ((a->x - b->x) + (a->y - b->y)) % 5 != 0; }

struct Rng {
    std::mt19937 gen;
    explicit Rng(uint32_t seed) : gen(seed) {}
    int32_t Int(int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(gen); }
    float Real(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(gen); }
    bool Chance(int32_t percent) { return Int(0, 99) < percent; }
    // Mostly room coordinates (some with fractions), sometimes far away or not a number.
    float Coord()
    {
        const int32_t k = Int(0, 99);
        if (k < 70) return float(Int(-50, 1050));
        if (k < 90) return Real(-50, 1050);
        if (k < 93) return Real(-1e9f, 1e9f);
        // Where floats are spaced by one pixel and by two (box edges and points stop being
        // exact there), a cluster of nearby places.
        if (k < 95) return float(Int(8388600, 8388620)) * (Chance(50) ? 1.0f : -1.0f);
        if (k < 98) return float(Int(16777200, 16777240)) + (Chance(50) ? 0.5f : 0.0f);
        return std::numeric_limits<float>::quiet_NaN();
    }
};

} // namespace

TEST_F(SpatialIndexTest, QueriesAnswerAsTheListWalkThroughRandomChanges)
{
    WorldIndex_SetThreshold(0);
    g_FakeSprites[0] = FakeSprite(16, 16);
    g_FakeSprites[1] = FakeSprite(40, 8, 20, 4);
    g_FakeSprites[2] = FakeSprite(4, 4, 2, 2, 3);
    g_FakeSprites[3] = FakeSprite(300, 300, 150, 150); // covers many cells
    WorldSpriteInfo precise = FakeSprite(24, 24, 12, 12);
    precise.precise = 1;
    g_FakeSprites[4] = precise;
    WorldHooks& h = World_Hooks();
    h.maskPoint = MaskPoint;
    h.maskRectangle = MaskRect;
    h.maskEllipse = MaskRect;
    h.maskLine = MaskLine;
    h.maskSprite = MaskSprite;

    const int32_t base = Obj("base", -1, 0);
    const int32_t child = Obj("child", base, 1, 5);
    const int32_t grand = Obj("grand", child, 4, -5, true);
    const int32_t wall = Obj("wall", -1, 3, 10, true);
    const int32_t dot = Obj("dot", -1, 2, 0, true);
    const int32_t none = Obj("none");
    const int32_t objects[] = {base, child, grand, wall, dot, none};
    const int32_t r = Room(1000, 1000);
    Rng rng(12345);
    for (int32_t k = 0; k < 150; ++k) Place(r, objects[rng.Int(0, 5)], float(rng.Int(0, 1000)), float(rng.Int(0, 1000)));
    Start();
    CRoom* room = Run_CurrentRoom();
    ASSERT_NE(room, nullptr);

    auto any = [&]() -> CInstance* {
        if (!room->m_active.count) return nullptr;
        int32_t n = rng.Int(0, room->m_active.count - 1);
        CInstance* i = room->m_active.head;
        while (n-- > 0) i = i->m_pNext;
        return i;
    };
    auto target = [&]() -> int32_t {
        const int32_t k = rng.Int(0, 9);
        if (k < 3) return -3;
        if (k < 9) return objects[rng.Int(0, 5)];
        CInstance* i = any();
        return i ? i->i_id : -4;
    };

    int32_t asked = 0, found = 0;
    const int64_t answeredBefore = WorldIndex_Answered();
    auto compare = [&](const char* what, auto&& query) {
        WorldIndex_SetEnabled(false);
        const auto walked = query();
        WorldIndex_SetEnabled(true);
        const auto indexed = query();
        ++asked;
        if (walked) ++found;
        EXPECT_EQ(indexed, walked) << what << " after " << asked << " queries";
        return indexed == walked;
    };

    for (int32_t round = 0; round < 1500; ++round) {
        CInstance* i = any();
        switch (rng.Int(0, 11)) {
        case 0:
        case 1:
            if (i) i->SetPosition(rng.Coord(), rng.Coord());
            break;
        case 2:
            if (i) i->SetPosition(i->i_x + rng.Real(-20, 20), i->i_y + rng.Real(-20, 20));
            break;
        case 3:
            if (i) {
                i->SetImageXScale(rng.Chance(80) ? rng.Real(-3, 3) : 1e7f);
                i->SetImageYScale(rng.Real(-3, 3));
            }
            break;
        case 4:
            if (i) i->SetImageAngle(rng.Chance(90) ? rng.Real(0, 360) : 0.0f);
            break;
        case 5:
            if (i) {
                if (rng.Chance(50)) i->SetSprite(rng.Int(-1, 4));
                else i->SetMaskIndex(rng.Int(-1, 4));
            }
            break;
        case 6:
            Command_CreateInstance(objects[rng.Int(0, 5)], rng.Coord(), rng.Coord());
            break;
        case 7:
            if (i) Command_DestroyInstance(i);
            if (rng.Chance(30)) room->RemoveMarked();
            break;
        case 8:
            if (i) {
                i->SetDepth(float(rng.Int(-10, 10)));
                Run_QueueDepthChange(i);
            }
            if (rng.Chance(50)) Run_ApplyPendingChanges();
            break;
        case 9:
            if (i) Command_ChangeInstance(i, objects[rng.Int(0, 5)], false);
            if (rng.Chance(50)) Run_ApplyPendingChanges();
            break;
        case 10:
            if (i) {
                i->SetDeactivated(!i->IsDeactivated());
                Run_SetActivationChanged();
            }
            if (rng.Chance(20)) {
                for (CInstance* d = room->m_deactivated.head; d; d = d->m_pNext) d->SetDeactivated(false);
                Run_SetActivationChanged();
            }
            Run_ApplyPendingChanges();
            break;
        default:
            if (rng.Chance(20)) Frames(1);
            break;
        }
        for (int32_t q = 0; q < 6; ++q) {
            CInstance* self = any();
            const float x1 = rng.Coord(), y1 = rng.Coord();
            const float x2 = rng.Chance(80) ? x1 + rng.Real(-60, 60) : rng.Coord();
            const float y2 = rng.Chance(80) ? y1 + rng.Real(-60, 60) : rng.Coord();
            const int32_t t = target();
            const bool precise = rng.Chance(50), notMe = rng.Chance(50);
            bool same = compare("point", [&] { return Command_CollisionPoint(self, x1, y1, t, precise, notMe); }) &&
                        compare("rectangle", [&] { return Command_CollisionRectangle(self, x1, y1, x2, y2, t, precise, notMe); }) &&
                        compare("ellipse", [&] { return Command_CollisionEllipse(self, x1, y1, x2, y2, t, precise, notMe); }) &&
                        compare("line", [&] { return Command_CollisionLine(self, x1, y1, x2, y2, t, precise, notMe); }) &&
                        compare("position", [&] { return Command_InstancePosition(x1, y1, t); });
            if (self) {
                const float px = rng.Chance(70) ? self->i_x + rng.Real(-30, 30) : x1;
                const float py = rng.Chance(70) ? self->i_y + rng.Real(-30, 30) : y1;
                same = same && compare("place", [&] { return Command_InstancePlace(self, px, py, t); }) &&
                       compare("empty", [&] { return Command_PlaceEmpty(self, px, py); }) &&
                       compare("free", [&] { return Command_PlaceFree(self, px, py); });
            }
            ASSERT_TRUE(same) << "round " << round;
        }
        if (round % 50 == 0) {
            ASSERT_TRUE(WorldIndex_Check()) << "round " << round;
        }
    }
    ASSERT_TRUE(WorldIndex_Check());
    EXPECT_GT(found, asked / 20);                                 // the queries do meet things
    EXPECT_GT(WorldIndex_Answered() - answeredBefore, asked / 2); // and most went through the index
}

TEST_F(SpatialIndexTest, FollowsRoomSwitchesAndIsDroppedWithItsRoom)
{
    WorldIndex_SetThreshold(0);
    g_FakeSprites[0] = FakeSprite(16, 16);
    const int32_t o = Obj("o", -1, 0);
    const int32_t r0 = Room(), r1 = Room();
    Place(r0, o, 10, 10);
    Place(r0, o, 100, 100);
    Place(r1, o, 200, 200);
    Start();
    EXPECT_NE(Command_InstancePosition(12, 12, -3), nullptr);
    EXPECT_TRUE(WorldIndex_Check());
    Command_GotoRoom(r1);
    Frames(1);
    // The old room's instances are gone from the answers; the new room's are found.
    EXPECT_EQ(Command_InstancePosition(12, 12, -3), nullptr);
    CInstance* there = Command_InstancePosition(205, 205, -3);
    ASSERT_NE(there, nullptr);
    EXPECT_EQ(there->i_x, 200.0f);
    EXPECT_TRUE(WorldIndex_Check());
    // Moved by a script-level setter, found at the new place only.
    there->SetPosition(500, 500);
    EXPECT_EQ(Command_InstancePosition(205, 205, -3), nullptr);
    EXPECT_EQ(Command_InstancePosition(505, 505, -3), there);
    EXPECT_TRUE(WorldIndex_Check());
}

TEST_F(SpatialIndexTest, EqualBoxesAnswerTheFirstInListOrderAfterReordering)
{
    WorldIndex_SetThreshold(0);
    g_FakeSprites[0] = FakeSprite(16, 16);
    const int32_t o = Obj("o", -1, 0);
    const int32_t r = Room();
    for (int32_t k = 0; k < 40; ++k) Place(r, o, 50, 50);
    Start();
    CRoom* room = Run_CurrentRoom();
    EXPECT_EQ(Command_InstancePosition(55, 55, -3), room->m_active.head);
    EXPECT_EQ(Command_InstancePosition(55, 55, o), room->m_active.head);
    // Many insertions at the same place in the list exhaust the gaps between order keys.
    for (int32_t k = 0; k < 100; ++k) {
        CInstance* last = room->m_active.tail;
        last->SetDepth(-1.0f - float(k) / 1000.0f); // each goes in front of the previous ones
        Run_QueueDepthChange(last);
        Run_ApplyPendingChanges();
        ASSERT_EQ(Command_InstancePosition(55, 55, -3), room->m_active.head) << k;
    }
    EXPECT_TRUE(WorldIndex_Check());
    // The object's own order is the order its instances joined it, not the room's.
    CInstance* firstJoined = nullptr;
    for (ObjectInstanceNode* n = Object_Lookup(o)->m_instancesRecursive.GetHead(); n; n = n->next)
        if (!firstJoined) firstJoined = n->value;
    EXPECT_EQ(Command_InstancePosition(55, 55, o), firstJoined);
}

TEST_F(SpatialIndexTest, FarBoxesAnswerAsTheTestsFloatComparisonsDo)
{
    // Beyond 2^24 a box edge converted to float may move: an instance whose left edge is
    // 16777217 covers the point 16777216 for the point test (float(16777217) is 16777216).
    WorldIndex_SetThreshold(0);
    g_FakeSprites[0] = FakeSprite(4, 4, 2, 2);
    const int32_t o = Obj("o", -1, 0);
    const int32_t r = Room();
    for (int32_t k = 0; k < 20; ++k) Place(r, o, float(10 * k), 10);
    Start();
    CInstance* far = Command_CreateInstance(o, 16777220.0f, 100.0f);
    ASSERT_NE(far, nullptr);
    far->SetImageXScale(1.5f);
    far->RefreshBoundingBox();
    ASSERT_EQ(far->i_bbox_left, 16777217);
    WorldIndex_SetEnabled(false);
    EXPECT_EQ(Command_InstancePosition(16777216.0f, 99.0f, -3), far);
    WorldIndex_SetEnabled(true);
    EXPECT_EQ(Command_InstancePosition(16777216.0f, 99.0f, -3), far);
    EXPECT_EQ(Command_CollisionRectangle(nullptr, 16777200.0f, 99.0f, 16777216.0f, 99.0f, -3, false, false), far);
}

TEST_F(SpatialIndexTest, CollisionPhaseMeetsTheSamePairsInTheSameOrderAsTheListWalk)
{
    // The same crowded game twice, its collision events writing who met whom where: once with
    // the index, once walking the lists. Solid instances are moved back and on, events move,
    // create and destroy instances, so the candidates change under the phase.
    auto play = [&](bool indexed) {
        WorldIndex_SetThreshold(0);
        WorldIndex_SetEnabled(indexed);
        g_FakeSprites[0] = FakeSprite(16, 16);
        g_FakeSprites[1] = FakeSprite(24, 10, 12, 5);
        const int32_t a = Obj("a", -1, 0);
        const int32_t b = Obj("b", -1, 1, 0, true);
        const int32_t c = Obj("c", b, 0);
        EXPECT_TRUE(Ev(a, EVENT_CREATE, 0, "hspeed = (id mod 7) - 3; vspeed = (id mod 5) - 2;"));
        EXPECT_TRUE(Ev(b, EVENT_CREATE, 0, "hspeed = (id mod 3) - 1; vspeed = (id mod 4) - 2; image_angle = (id mod 4) * 30; depth = id mod 3;"));
        const char* wrap = "if (x < 0) x += 400; if (x > 400) x -= 400; if (y < 0) y += 400; if (y > 400) y -= 400;";
        EXPECT_TRUE(Ev(a, EVENT_STEP, 0, wrap));
        EXPECT_TRUE(Ev(b, EVENT_STEP, 0, wrap));
        EXPECT_TRUE(Ev(a, EVENT_COLLISION, b,
                       "test_log(id - 100000, other.id - 100000, x, y);"
                       "if ((id + other.id) mod 11 == 0) other.x += 7;"
                       "if ((id + other.id) mod 13 == 0) instance_create(x + 5, y, object_index);"
                       "if ((id + other.id) mod 17 == 0) instance_destroy();"));
        EXPECT_TRUE(Ev(b, EVENT_COLLISION, a, "if ((id * 3 + other.id) mod 19 == 0) image_xscale = 2;"));
        const int32_t r = Room(400, 400);
        Rng rng(777);
        for (int32_t k = 0; k < 240; ++k) {
            const int32_t which = rng.Int(0, 2);
            Place(r, which == 0 ? a : which == 1 ? b : c, float(rng.Int(0, 400)), float(rng.Int(0, 400)));
        }
        Start();
        Frames(25);
        EXPECT_TRUE(WorldIndex_Check());
        std::vector<std::string> log = g_Log;
        TearDown();
        SetUp();
        return log;
    };
    const int64_t before = WorldIndex_Answered();
    const std::vector<std::string> walked = play(false);
    const std::vector<std::string> indexed = play(true);
    EXPECT_GT(walked.size(), 500u);
    EXPECT_GT(WorldIndex_Answered() - before, 1000);
    ASSERT_EQ(indexed.size(), walked.size());
    for (size_t k = 0; k < walked.size(); ++k) ASSERT_EQ(indexed[k], walked[k]) << "event " << k;
}
