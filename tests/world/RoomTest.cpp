// Rooms: tiles and their layers, view following, the room draw's order and depths (through
// the drawing hooks), the cursor sprite, the room table and order, room_assign and
// room_duplicate, preparation failures, room commands and their fatal errors.
#include "Files/World/World_Hooks.h"
#include "support/GameWorld.h"

#include <algorithm>
#include <vector>

#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Error.h"
#include "Files/Graphics_API/Graphics_3D.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/Run/Run_Commands.h"
#include "Platform/MemoryManager.h"

namespace {
class RoomWorld : public WorldTest {};

RoomTile Tile(float x, float y, float depth, int32_t w = 10, int32_t h = 10)
{
    return RoomTile{x, y, 0, 0, 0, w, h, depth, 0, 1, 1, 0xFFFFFF, 1, 1};
}

std::vector<std::string> g_draws;
} // namespace

TEST_F(RoomWorld, TilesAddedInOrderSitWhereASortWouldPutThem)
{
    // Depths with repeats and a layer moved half way: after each addition the list is what appending and a stable sort by depth (greatest first)
    // would give.
    CRoom room;
    std::vector<RoomTile> expected;
    auto ids = [](const std::vector<RoomTile>& tiles) {
        std::vector<int32_t> out;
        for (const RoomTile& t : tiles) out.push_back(t.id);
        return out;
    };
    auto add = [&](float depth) {
        const int32_t at = room.AddTileInOrder(Tile(0, 0, depth));
        expected.push_back(room.m_tiles[size_t(at)]);
        std::stable_sort(expected.begin(), expected.end(), [](const RoomTile& a, const RoomTile& b) { return a.depth > b.depth; });
        ASSERT_EQ(ids(room.m_tiles), ids(expected)) << "after adding depth " << depth;
    };
    for (float depth : {5.0f, 10.0f, 5.0f, 0.0f, -3.0f, 10.0f, 7.0f, 5.0f}) add(depth);
    room.SetLayerDepth(5, 20); // the 5s go before the 10s only when the list is next sorted
    for (RoomTile& t : expected)
        if (t.depth == 5) t.depth = 20;
    for (float depth : {6.0f, 20.0f, -5.0f}) add(depth);
}

TEST_F(RoomWorld, TilesAndLayers)
{
    CRoom room;
    const int32_t first = Room_GetLastTileId();
    room.AddTile(Tile(0, 0, 5));
    room.AddTile(Tile(20, 0, 10));
    room.AddTile(Tile(40, 0, 0));
    EXPECT_EQ(room.m_tiles[0].id, first + 1);
    EXPECT_EQ(room.FindTile(first + 2), 1);
    room.SortTiles();
    EXPECT_EQ(room.m_tiles[0].depth, 10.0f) << "greater depth first";
    EXPECT_EQ(room.m_tiles[1].depth, 5.0f);
    EXPECT_EQ(room.FindTileAt(45, 5, false), 2) << "depth 0 is a background tile";
    EXPECT_EQ(room.FindTileAt(45, 5, true), -1);
    EXPECT_EQ(room.FindTileAt(10, 5, false), -1) << "the right edge is outside for finds";
    room.DeleteTilesAt(30, 5, true); // the right edge of the tile at 20 is inside, but depth 10 is behind
    EXPECT_EQ(room.m_tiles.size(), 3u);
    room.DeleteTilesAt(50, 5, true);
    EXPECT_EQ(room.m_tiles.size(), 2u) << "a tile at depth 0 goes in either mode";
    room.ShiftLayer(5, 3, 4);
    EXPECT_EQ(room.m_tiles[1].x, 3.0f);
    room.SetLayerDepth(5, 20);
    room.SortTiles();
    EXPECT_EQ(room.m_tiles[0].depth, 20.0f);
    room.HideLayer(20);
    EXPECT_EQ(room.m_tiles[0].visible, 0);
    room.DeleteLayer(20);
    EXPECT_EQ(room.m_tiles.size(), 1u);
    EXPECT_EQ(room.FindTile(first + 1), -1);
}

TEST_F(RoomWorld, IdCountersAtTheEndOfTheRangeDoNotOverflow)
{
    // A damaged or hostile save can leave either counter at the last id.
    CRoom room;
    Room_SetLastTileId(INT32_MAX);
    room.AddTile(Tile(0, 0, 0));
    EXPECT_EQ(room.m_tiles[0].id, INT32_MAX);
    Room_SetLastInstanceId(INT32_MAX - 1);
    EXPECT_EQ(room.AddInstance(0, 0, -1)->i_id, INT32_MAX);
    EXPECT_EQ(room.AddInstance(0, 0, -1)->i_id, INT32_MAX);
    EXPECT_EQ(Room_GetLastInstanceId(), INT32_MAX);
}

TEST_F(RoomWorld, ViewsFollowTheirInstanceWithinBordersAndSpeed)
{
    int32_t o = Obj("o");
    int32_t r = Room(1000, 1000);
    CRoom* t = Room_Data(r);
    t->m_viewsEnabled = 1;
    t->m_views[0] = RoomView();
    t->m_views[0].visible = 1;
    t->m_views[0].wview = 200;
    t->m_views[0].hview = 100;
    t->m_views[0].object = o;
    t->m_views[0].hspeed = 10;
    int32_t id = Place(r, o, 500, 30);
    Start();
    CRoom* live = Run_CurrentRoom();
    RoomView& v = live->m_views[0];
    v.xview = 0;
    Room_UpdateViews();
    EXPECT_EQ(v.xview, 10) << "limited by the view speed";
    Inst(id)->SetPosition(100, 30);
    v.xview = 0;
    v.hspeed = -1;
    Room_UpdateViews();
    EXPECT_EQ(v.xview, 0) << "inside the border: the view stays";
    Inst(id)->SetPosition(190, 30);
    Room_UpdateViews();
    EXPECT_EQ(v.xview, 22) << "the instance keeps 32 pixels of border";
    v.hborder = 150; // larger than half the view: centred
    Room_UpdateViews();
    EXPECT_EQ(v.xview, 90);
    Inst(id)->SetPosition(990, 30);
    Room_UpdateViews();
    EXPECT_EQ(v.xview, 800) << "kept inside the room";
    v.hspeed = 0;
    Inst(id)->SetPosition(100, 30);
    Room_UpdateViews();
    EXPECT_EQ(v.xview, 800) << "a speed of 0 freezes the view";
}

TEST_F(RoomWorld, DrawOrderMergesInstancesTilesAndParticlesByDepth)
{
    g_FakeSprites[0] = FakeSprite(4, 4);
    WorldHooks& h = World_Hooks();
    h.spriteDrawSimple = [](int32_t, int32_t, float x, float) {
        g_draws.push_back("inst" + std::to_string(int(x)) + "@" + std::to_string(int(GR_3D_GetDepth())));
    };
    h.backgroundSize = [](int32_t b, int32_t* w, int32_t* hh) {
        *w = *hh = 16;
        return b == 0;
    };
    h.backgroundDrawPart = [](int32_t, float, float, float, float, float x, float, float, float, uint32_t, float) {
        g_draws.push_back("tile" + std::to_string(int(x)) + "@" + std::to_string(int(GR_3D_GetDepth())));
    };
    h.backgroundDrawTiled = [](int32_t, float, float, float, float, bool, bool, float, float, float, float, uint32_t, float) {
        g_draws.push_back("layer@" + std::to_string(int(GR_3D_GetDepth())));
    };
    static float depths[] = {50, 10, -1e9f};
    static int next = 0;
    next = 0;
    h.particleMaxDepth = [] { return depths[next = 0]; };
    h.particleNextDepthBelow = [](float) { return depths[++next]; };
    h.particleDrawAtDepth = [](float d) { g_draws.push_back("part@" + std::to_string(int(d))); };
    int32_t a = Obj("a", -1, 0, 20000);
    int32_t b = Obj("b", -1, 0, 10);
    int32_t c = Obj("c", -1, 0, -5);
    int32_t r = Room(100, 100);
    CRoom* t = Room_Data(r);
    t->m_backgrounds[0].visible = 1;
    t->m_backgrounds[0].index = 0;
    t->m_backgrounds[1].visible = 1;
    t->m_backgrounds[1].foreground = 1;
    t->m_backgrounds[1].index = 0;
    t->EntryAddTile(0, 0, 0, 16, 16, 1, 1, 10, 1, 1, 0xFFFFFFFF);
    t->EntryAddTile(0, 0, 0, 16, 16, 2, 2, 30, 1, 1, 0xFFFFFFFF);
    t->EntryAddTile(0, 0, 0, 16, 16, 500, 500, 0, 1, 1, 0xFFFFFFFF); // outside the room
    Place(r, a, 1, 0);
    Place(r, b, 2, 0);
    Place(r, c, 3, 0);
    Start();
    g_draws.clear();
    GR_Settings().mode3D = true; // the depth setter keeps depths only in 3D mode
    Room_DrawAll();
    GR_Settings().mode3D = false;
    EXPECT_EQ(g_draws, (std::vector<std::string>{"layer@12000", "inst1@11000", "part@50", "tile2@30", "inst2@10", "part@10",
                                                 "tile1@10", "inst3@-5", "layer@-12000"}));
}

TEST_F(RoomWorld, CursorSpriteFollowsTheMouseInTheWindowNotThroughTheViews)
{
    // A view of the room far from its origin fills the window; the cursor is drawn where the
    // mouse is in the window, the views' records not counted while it is mapped (and counted
    // again afterwards).
    g_FakeSprites[0] = FakeSprite(4, 4);
    static std::vector<std::pair<float, float>> cursor;
    cursor.clear();
    World_Hooks().spriteDraw = [](int32_t sprite, int32_t, float x, float y, float, float, float, uint32_t, float) {
        if (sprite == 0) cursor.emplace_back(x, y);
    };
    int32_t r = Room(2000, 2000);
    CRoom* t = Room_Data(r);
    t->m_viewsEnabled = 1;
    t->m_views[0] = RoomView();
    t->m_views[0].visible = 1;
    t->m_views[0].xview = 1000;
    t->m_views[0].yview = 1200;
    t->m_views[0].wview = 640;
    t->m_views[0].hview = 480;
    t->m_views[0].wport = 640;
    t->m_views[0].hport = 480;
    Start();
    Run_State().cursorSprite = 0;
    Room_DrawAll();
    ASSERT_EQ(cursor.size(), 1u);
    int32_t wx = 0, wy = 0;
    const int32_t ports = GR_ViewPort_HoldCount(0);
    GR_Window_MouseToRoom(GR_Window_GetMouseX(), GR_Window_GetMouseY(), &wx, &wy);
    GR_ViewPort_HoldCount(ports);
    EXPECT_EQ(cursor[0], std::make_pair(float(wx), float(wy)));
    EXPECT_LT(cursor[0].first, 1000.0f) << "not mapped through the view";
    EXPECT_EQ(GR_ViewPort_Count(), ports);
    EXPECT_GT(ports, 0);
}

TEST_F(RoomWorld, ARotatedViewAtTheEdgeOfTheRangeShowsWhatItCovers)
{
    // The area of a rotated view reaches half its other side past each edge; with fields at the
    // 32-bit limits that is held to the range, not wrapped (wrapped, the area turned inside out
    // and the tile at the origin was left out).
    static int drawn = 0;
    WorldHooks& h = World_Hooks();
    h.backgroundSize = [](int32_t b, int32_t* w, int32_t* hh) {
        *w = *hh = 16;
        return b == 0;
    };
    h.backgroundDrawPart = [](int32_t, float, float, float, float, float, float, float, float, uint32_t, float) { ++drawn; };
    int32_t r = Room(100, 100);
    CRoom* t = Room_Data(r);
    t->EntryAddTile(0, 0, 0, 16, 16, 5, 5, 0, 1, 1, 0xFFFFFFFF);
    t->m_viewsEnabled = 1;
    t->m_views[0] = RoomView();
    t->m_views[0].visible = 1;
    t->m_views[0].xview = t->m_views[0].yview = INT32_MIN;
    t->m_views[0].wview = t->m_views[0].hview = INT32_MAX;
    t->m_views[0].wport = 64;
    t->m_views[0].hport = 48;
    t->m_views[0].angle = 30;
    Start();
    drawn = 0;
    Room_DrawAll();
    EXPECT_EQ(drawn, 1);
}

TEST_F(RoomWorld, TableOrderAndRoomCommands)
{
    int32_t r0 = Room(), r1 = Room(), r2 = Room();
    EXPECT_EQ(Room_First(), r0);
    EXPECT_EQ(Room_Last(), r2);
    EXPECT_EQ(Room_Previous(r0), -1);
    EXPECT_EQ(Room_Next(r2), -1);
    EXPECT_EQ(Room_Next(r0), r1);
    int32_t added = Room_Add();
    EXPECT_EQ(added, 3);
    EXPECT_STREQ(Room_GetName(added), "__newroom3");
    EXPECT_EQ(Room_Next(added), -1) << "not in the order";
    EXPECT_STREQ(Room_GetName(-1), "<undefined>");
    EXPECT_EQ(Room_Duplicate(99), -1);
    EXPECT_EQ(Room_Find("__newroom3"), 3);
    Start();
    Command_GotoPreviousRoom();
    EXPECT_EQ(Run_State().roomSwitch, ROOM_ABORTGAME) << "before the first room";
    Run_State().roomSwitch = ROOM_STAY;
    Command_GotoRoom(77);
    EXPECT_EQ(Run_State().roomSwitch, ROOM_ABORTGAME);
    EXPECT_TRUE(Code_Error_Occurred());
}

TEST_F(RoomWorld, RoomAssignMakesNoLiveInstances)
{
    int32_t o = Obj("o");
    Ev(o, EVENT_CREATE, 0, "test_log('create', room);");
    int32_t r0 = Room(), r1 = Room();
    Place(r0, o, 1, 1);
    Start();
    g_Log.clear();
    const int32_t before = Instance_Count();
    ASSERT_TRUE(Room_Assign(r1, r0));
    EXPECT_EQ(Instance_Count(), before) << "template instances stay out of the table";
    EXPECT_EQ(Object_Lookup(o)->m_instances.GetCount(), 1);
    Frames(1);
    EXPECT_EQ(LogText(), "") << "and receive no events";
    Command_GotoRoom(r1);
    Frames(1);
    EXPECT_EQ(LogText(), "create:1") << "the assigned room makes its instances once, at its start";
    EXPECT_EQ(Object_Lookup(o)->m_instances.GetCount(), 1);
}

TEST_F(RoomWorld, DuplicateOfAnAssignedRoomMakesNoLiveInstances)
{
    // The assigned template holds detached instances; its duplicate holds detached copies of
    // them, not instances in the object's lists and the instance table (which would receive
    // events and answer queries in whatever room runs).
    int32_t o = Obj("o");
    Ev(o, EVENT_STEP, 0, "test_log('step', id);");
    int32_t r0 = Room(), r1 = Room();
    Place(r0, o, 1, 1);
    Start();
    ASSERT_TRUE(Room_Assign(r1, r0));
    const int32_t before = Instance_Count();
    const int32_t copy = Room_Duplicate(r1);
    ASSERT_GE(copy, 0);
    EXPECT_EQ(Room_Data(copy)->m_active.count, 1);
    EXPECT_EQ(Instance_Count(), before);
    EXPECT_EQ(Object_Lookup(o)->m_instances.GetCount(), 1);
    EXPECT_EQ(Command_InstanceNumber(o), 1);
    g_Log.clear();
    Frames(1);
    EXPECT_EQ(LogText(), "step:100001");
}

TEST_F(RoomWorld, PreparationRemembersAnEarlierFailure)
{
    int32_t r0 = Room(), r1 = Room();
    CRoom* a = Room_Data(r0);
    char* bad = MEM_STRDUP("x = ;");
    a->m_pEntry->texts.push_back(bad);
    a->EntryAddInstance(0, 0, 0);
    a->m_pEntry->instances.back().code = new CCode(bad, false);
    CRoom* b = Room_Data(r1);
    char* good = MEM_STRDUP("x = 1;");
    b->m_pEntry->texts.push_back(good);
    b->EntryAddInstance(0, 0, 0);
    b->m_pEntry->instances.back().code = new CCode(good, false);
    EXPECT_FALSE(Room_Prepare()) << "a later success does not hide the failure";
}

TEST_F(RoomWorld, EndingRoomsLeavesNoDanglingInstances)
{
    int32_t o = Obj("o");
    int32_t r0 = Room(), r1 = Room();
    Room_Data(r1)->m_persistent = 1;
    Place(r0, o, 0, 0);
    Place(r1, o, 0, 0);
    Start();
    Command_GotoRoom(r1);
    Frames(1);
    Command_GotoRoom(r0);
    Frames(1);
    EXPECT_EQ(Instance_Count(), 1);
    EndGame();
    EXPECT_EQ(Instance_Count(), 0) << "kept rooms take their instances out of the table";
    EXPECT_EQ(Run_CurrentRoom(), nullptr);
    EXPECT_EQ(Run_Frame(), 60) << "no room: the frame does nothing";
}
