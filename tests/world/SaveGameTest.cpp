// Game save and load in the world: the saved bytes of a fixed game against a fixture written
// from the record layout, a load that replaces rooms, instances, variables and globals, the
// refusals (another version, every cut of a saved game, no current room, a room change to no
// room) that leave the game as it was, a physics room that is not saved at all, the kept
// rooms' instances staying detached, the load queue's buffers, and the text dump of an
// instance.
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "support/GameWorld.h"

#include "Files/Buffer/IBuffer.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Code/Variable_List.h"
#include "Files/Run/Run_Save.h"
#include "Files/Support/GameHeader.h"
#include "Files/Support/LoadSave.h"
#include "Files/TimeLine/TimeLine.h"
#include "support/CaptureConsole.h"
#include "support/ScratchFolder.h"

namespace {

// The saved form written by hand: little-endian entries of alignment 1.
struct Bytes {
    std::vector<uint8_t> b;
    void Raw(const void* p, size_t n) { b.insert(b.end(), (const uint8_t*)p, (const uint8_t*)p + n); }
    Bytes& S32(int32_t v) { Raw(&v, 4); return *this; }
    Bytes& U32(uint32_t v) { Raw(&v, 4); return *this; }
    Bytes& F32(float v) { Raw(&v, 4); return *this; }
    Bytes& F64(double v) { Raw(&v, 8); return *this; }
    Bytes& Str(const char* t)
    {
        if (!t) t = "\x04";
        Raw(t, std::strlen(t) + 1);
        return *this;
    }
};

class SaveGame : public WorldTest {
protected:
    int32_t NewBuffer() { return Buffer_Create(64, eBuffer_Grow, 1); }
    std::vector<uint8_t> Saved(int32_t index)
    {
        IBuffer* b = Buffer_Get(index);
        return std::vector<uint8_t>(b->Data(), b->Data() + b->Tell());
    }
    // A fresh buffer holding bytes, position 0.
    int32_t BufferOf(const std::vector<uint8_t>& bytes)
    {
        const int32_t index = NewBuffer();
        if (!bytes.empty()) Buffer_CopyMemory(Buffer_Get(index), bytes.data(), int32_t(bytes.size()));
        Buffer_Get(index)->Seek(eSeek_Start, 0);
        return index;
    }
    // What a load must not change: every live instance's id and place, in list order.
    std::string Snapshot()
    {
        std::string s = "room " + std::to_string(Run_CurrentRoomIndex()) + ":";
        for (CInstance* i = Run_CurrentRoom()->m_active.head; i; i = i->m_pNext)
            s += " " + std::to_string(i->i_id) + "@" + std::to_string(int(i->i_x)) + "," + std::to_string(int(i->i_y));
        ScriptValue v{};
        Variable_Global_Get(Code_Variable_FindUser("g"), 0, &v);
        s += " g=" + std::to_string(v.real) + " score=" + std::to_string(Run_State().score);
        Value_FreeString(&v);
        return s;
    }
    void TearDown() override
    {
        Run_ClearLoadQueue();
        Buffer_FreeAll();
        WorldTest::TearDown();
    }
};

} // namespace

TEST_F(SaveGame, SavedBytesFollowTheRecordLayout)
{
    const int32_t o = Obj("o");
    const int32_t r = Room(320, 240, 30);
    Room_Data(r)->SetCaption("hello");
    Place(r, o, 10, 20);
    Start();
    CInstance* i = First(o);
    ASSERT_NE(i, nullptr);
    i->RefreshBoundingBox();
    const int32_t buffer = NewBuffer();
    CaptureConsole log;
    ASSERT_TRUE(Run_SaveGameToBuffer(buffer));
    EXPECT_NE(log.text.find("#! GAME_SAVE\n"), std::string::npos);

    Bytes want;
    // Globals.
    want.S32(850).S32(g_GameHeader.gameId).S32(r).S32(-1).S32(0).S32(0).S32(1).S32(0).Str(nullptr);
    want.S32(-1).S32(0).Str(nullptr).F64(100.0).S32(0).Str("Health: ").S32(-1).S32(0).S32(1);
    // Global variables: none, then the declaration flags.
    want.S32(0).S32(Variable_Global_DeclaredLength());
    for (int32_t k = 0; k < Variable_Global_DeclaredLength(); ++k) want.S32(0);
    // Rooms.
    want.S32(Room_KeptCount()).S32(Room_GetLastInstanceId()).S32(Room_GetLastTileId());
    for (int32_t k = 0; k < Room_KeptCount(); ++k) {
        want.S32(k == r ? 1 : 0);
        if (k != r) continue;
        want.Str("hello").S32(320).S32(240).S32(30).S32(0).U32(0xC0C0C0).S32(1).Str(nullptr);
        for (int32_t g = 0; g < 8; ++g)
            want.S32(0).S32(0).S32(-1).F32(0).F32(0).S32(1).S32(1).F32(0).F32(0).F32(1).F32(1).S32(0xFFFFFF).F32(1);
        want.S32(0);
        for (int32_t v = 0; v < 8; ++v)
            want.S32(0).S32(0).S32(0).S32(640).S32(480).S32(0).S32(0).S32(640).S32(480).F32(0).S32(32).S32(32)
                .S32(-1).S32(-1).S32(-1).S32(Room_Data(r)->m_views[v].surfaceId);
        want.S32(0); // tiles
        want.S32(1); // active instances
        want.S32(i->i_id).S32(o).S32(-1).F32(0).F32(1).F32(1).F32(1).F32(0).F32(1).U32(0xFFFFFF).S32(-1).F32(0).S32(0);
        want.F32(10).F32(20).F32(10).F32(20).F32(10).F32(20).F32(0).F32(0).F32(0).F32(270).F32(0).F32(0).F32(0);
        want.S32(i->i_bbox_left).S32(i->i_bbox_right).S32(i->i_bbox_top).S32(i->i_bbox_bottom);
        want.S32(i->i_visible).S32(0).S32(0);
        for (int32_t a = 0; a < 12; ++a) want.S32(-1);
        want.S32(0).S32(0).S32(-1).F32(0).F32(0).F32(0).F32(1).F32(0).S32(0).F32(0).F32(0);
        want.S32(-1).F32(0).F32(1).S32(0).S32(0);
        want.S32(0); // no variables
        want.S32(0); // deactivated instances
    }
    EXPECT_EQ(Saved(buffer), want.b);
}

TEST_F(SaveGame, LoadReplacesTheStateAtTheNextStep)
{
    const int32_t o = Obj("o");
    const int32_t a = Room(320, 240), b = Room(320, 240);
    Place(a, o, 10, 20);
    Place(b, o, 50, 60);
    Start();
    Code_Variable_FindOrAdd("g");
    Code_Variable_FindOrAdd("hp");
    ScriptValue five = Value_Real(5);
    Variable_Global_Set(Code_Variable_FindUser("g"), 0, &five);
    CInstance* i = First(o);
    i->GetVariables()->Set(Code_Variable_FindUser("hp"), 0, &five);
    i->SetAlarm(3, 7);
    Run_State().score = 42;
    const std::string before = Snapshot();
    const int32_t buffer = NewBuffer();
    ASSERT_TRUE(Run_SaveGameToBuffer(buffer));
    const int32_t id = i->i_id;

    // Change everything, then load.
    Room_Goto(b);
    ScriptValue nine = Value_Real(9);
    Variable_Global_Set(Code_Variable_FindUser("g"), 0, &nine);
    Run_State().score = 0;
    ASSERT_NE(Snapshot(), before);
    Buffer_Get(buffer)->Seek(eSeek_Start, 0);
    ASSERT_TRUE(Run_QueueLoadGame(buffer));
    EXPECT_EQ(Run_CurrentRoomIndex(), b) << "the load waits for the next step";
    CaptureConsole log;
    ASSERT_TRUE(Run_PerformQueuedLoad());
    EXPECT_NE(log.text.find("#! GAME_LOAD\n"), std::string::npos);
    EXPECT_EQ(Snapshot(), before);
    CInstance* back = Instance_Find(id);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetAlarm(3), 7);
    ScriptValue hp{};
    EXPECT_TRUE(back->GetVariables()->Get(Code_Variable_FindUser("hp"), 0, &hp));
    EXPECT_EQ(hp.real, 5);
    EXPECT_EQ(First(o), back) << "the loaded instance is in its object's list";
    EXPECT_FALSE(Run_PerformQueuedLoad()) << "a load is made once";
}

TEST_F(SaveGame, RefusedLoadsLeaveTheGameAsItWas)
{
    const int32_t o = Obj("o");
    const int32_t a = Room(320, 240), b = Room(320, 240);
    Place(a, o, 10, 20);
    Place(a, o, 30, 40);
    Place(b, o, 50, 60);
    Start();
    Code_Variable_FindOrAdd("g");
    const int32_t buffer = NewBuffer();
    ASSERT_TRUE(Run_SaveGameToBuffer(buffer));
    const std::vector<uint8_t> good = Saved(buffer);
    Room_Goto(b);
    Run_State().score = 3;
    const std::string now = Snapshot();
    const int32_t instances = Instance_Count();

    auto refused = [&](const std::vector<uint8_t>& bytes, const char* what) {
        const int32_t index = BufferOf(bytes);
        CaptureConsole log;
        EXPECT_FALSE(Run_LoadGameFromBuffer(Buffer_Get(index))) << what;
        EXPECT_NE(log.text.find("Load game refused"), std::string::npos) << what;
        EXPECT_EQ(Snapshot(), now) << what;
        EXPECT_EQ(Instance_Count(), instances) << what;
        Buffer_Free(index);
    };
    std::vector<uint8_t> other = good;
    other[0] = 0x53; // version 851
    refused(other, "another version");
    refused({}, "an empty file");
    // Every cut of the saved game, at a stride that lands in every block and record.
    for (size_t n = 1; n < good.size(); n += (n < 200 || n > good.size() - 2000) ? 1 : 97)
        refused(std::vector<uint8_t>(good.begin(), good.begin() + long(n)), "cut");
    // The current room index pointing at a room the saved game does not hold.
    std::vector<uint8_t> lost = good;
    const int32_t missing = 7;
    std::memcpy(&lost[8], &missing, 4);
    refused(lost, "no current room");
    // A pending room change to a room neither the game nor the saved game has, or to a code
    // the game never uses (the room change is the fourth word).
    for (const int32_t code : {7, 2000000000, -2, -150}) {
        std::vector<uint8_t> nowhere = good;
        std::memcpy(&nowhere[12], &code, 4);
        refused(nowhere, "room change");
    }
    // A count far beyond the bytes: the last word is the current (last) room's deactivated count.
    std::vector<uint8_t> huge = good;
    const int32_t big = 0x7FFFFFFF;
    std::memcpy(&huge[good.size() - 4], &big, 4);
    refused(huge, "deactivated count");
}

TEST_F(SaveGame, ABufferThatCannotHoldTheStateIsLeftAsItWas)
{
    Place(Room(), Obj("o"), 10, 20);
    Start();
    const int32_t grow = NewBuffer();
    ASSERT_TRUE(Run_SaveGameToBuffer(grow));
    const std::vector<uint8_t> good = Saved(grow);
    const int32_t length = int32_t(good.size());
    // Fixed buffers: one byte short from the position is refused, untouched; exactly enough fits.
    for (int32_t spare : {-1, 0}) {
        const int32_t index = Buffer_Create(8 + length + spare, eBuffer_Fixed, 1);
        IBuffer* b = Buffer_Get(index);
        b->Seek(eSeek_Start, 8);
        EXPECT_EQ(Run_SaveGameToBuffer(index), spare == 0) << spare;
        EXPECT_EQ(b->Tell(), spare == 0 ? 8 + length : 8) << spare;
        const std::vector<uint8_t> bytes(b->Data() + 8, b->Data() + b->Size());
        if (spare == 0) EXPECT_EQ(bytes, good);
        else EXPECT_EQ(bytes, std::vector<uint8_t>(size_t(length - 1), 0));
    }
    EXPECT_FALSE(Run_SaveGameToBuffer(Buffer_Create(length - 1, eBuffer_Wrap, 1))) << "it would write over its start";
    EXPECT_FALSE(Run_SaveGameToBuffer(Buffer_Create(4 * length, eBuffer_Fast, 1))) << "bytes only";
}

TEST_F(SaveGame, ARoomWithAPhysicsWorldIsNotSavedAndTheSaveSaysSo)
{
    const int32_t o = Obj("o");
    const int32_t a = Room(320, 240);
    Place(a, o, 10, 20);
    Start();
    Run_CurrentRoom()->m_physicsWorldFlag = 1;
    ScratchFolder dir;
    LoadSave_SetFolders(dir.Path().c_str(), (dir / "save").c_str(), dir.Path().c_str());
    const int32_t buffer = NewBuffer();
    CaptureConsole log;
    EXPECT_FALSE(Run_SaveGameToBuffer(buffer));
    EXPECT_EQ(Buffer_Get(buffer)->Tell(), 0) << "nothing written";
    EXPECT_FALSE(Run_SaveGame("phys.sav"));
    EXPECT_FALSE(LoadSave_SaveFileExists("phys.sav")) << "no file left behind";
    EXPECT_NE(log.text.find("game_save unavailable for rooms using physics"), std::string::npos);
    LoadSave_SetFolders(nullptr, nullptr, nullptr);
}

TEST_F(SaveGame, KeptRoomsInstancesStayDetachedAfterALoad)
{
    const int32_t o = Obj("o");
    const int32_t a = Room(320, 240), b = Room(320, 240);
    Room_Data(b)->m_persistent = 1;
    Place(a, o, 10, 20);
    Place(b, o, 50, 60);
    Place(b, o, 70, 80);
    Start();
    Room_Goto(b);
    Room_Goto(a); // b is kept with its two instances
    First(o)->SetDeactivated(true);
    Run_ApplyActivationToCurrentRoom();
    CInstance* live = Run_CurrentRoom()->AddInstance(5, 5, o);
    const int32_t liveId = live->i_id;
    const int32_t buffer = NewBuffer();
    ASSERT_TRUE(Run_SaveGameToBuffer(buffer));
    Buffer_Get(buffer)->Seek(eSeek_Start, 0);
    ASSERT_TRUE(Run_LoadGameFromBuffer(Buffer_Get(buffer)));
    // Only the current room's active instance is in the object's list; the deactivated one is
    // in the table only; the kept room's are in neither.
    int32_t listed = 0;
    for (auto* n = Object_Lookup(o)->m_instances.GetHead(); n; n = n->next) ++listed;
    EXPECT_EQ(listed, 1);
    EXPECT_EQ(First(o)->i_id, liveId);
    EXPECT_EQ(Instance_Count(), 2);
    // Visiting the kept room brings its instances back.
    Room_Goto(b);
    EXPECT_EQ(Run_CurrentRoom()->m_active.count, 2);
    EXPECT_EQ(Instance_Count(), 2);
}

TEST_F(SaveGame, TheQueueLooksBuffersUpAtLoadTimeAndFreesItsOwn)
{
    const int32_t o = Obj("o");
    const int32_t a = Room(320, 240);
    Place(a, o, 10, 20);
    Start();
    CaptureConsole log;
    EXPECT_FALSE(Run_QueueLoadGame(999));
    EXPECT_NE(log.text.find("WARNING: No buffer available for 999\n"), std::string::npos);
    // A buffer freed between the queue and the load.
    const int32_t gone = NewBuffer();
    ASSERT_TRUE(Run_SaveGameToBuffer(gone));
    ASSERT_TRUE(Run_QueueLoadGame(gone));
    Buffer_Free(gone);
    EXPECT_FALSE(Run_PerformQueuedLoad());
    // Two file loads: the second is refused and its buffer freed; the first is made once.
    ASSERT_TRUE(Run_LoadGame("no_such_save.dat"));
    const int32_t slots = Buffer_SlotCount();
    int32_t used = 0;
    for (int32_t k = 0; k < slots; ++k) used += Buffer_Get(k) ? 1 : 0;
    EXPECT_FALSE(Run_LoadGame("no_such_save.dat"));
    EXPECT_NE(log.text.find("WARNING: Load game being ignored due to load game already queued\n"), std::string::npos);
    int32_t usedAfter = 0;
    for (int32_t k = 0; k < Buffer_SlotCount(); ++k) usedAfter += Buffer_Get(k) ? 1 : 0;
    EXPECT_EQ(usedAfter, used) << "the refused load's buffer is freed";
    EXPECT_FALSE(Run_PerformQueuedLoad()) << "an empty file is refused";
    int32_t usedEnd = 0;
    for (int32_t k = 0; k < Buffer_SlotCount(); ++k) usedEnd += Buffer_Get(k) ? 1 : 0;
    EXPECT_EQ(usedEnd, used - 1) << "the queue's buffer goes after the load";
    EXPECT_EQ(Run_CurrentRoomIndex(), a);
}

TEST_F(SaveGame, AnInstanceDumpsItsFieldsOneALineInTheirOrder)
{
    const int32_t t = TimeLine_Add();
    TimeLine_Data(t)->AddMoment(100); // never reached here
    const int32_t o = Obj("o");
    Place(Room(), o, 12, -3, "hp = 7; label = 'x'; row[2] = 5;"
                             "timeline_index = 0; timeline_speed = 2; timeline_running = true;");
    Start();
    Frames(1);
    CInstance* i = First(o);
    ASSERT_NE(i, nullptr);
    ASSERT_GT(i->GetVariables()->Count(), 0);
    i->i_spriteindex = 4;
    i->i_x = 12.5f;
    i->i_alarm[3] = 8;
    const auto savedName = World_Hooks().spriteName;
    World_Hooks().spriteName = [](int32_t s) -> const char* { return s == 4 ? "spr_hero" : nullptr; };
    CaptureConsole out;
    i->Dump(&out);
    World_Hooks().spriteName = savedName;

    std::vector<std::string> names = {
        "i_id", "i_spriteindex", "i_imageindex", "i_imagespeed", "i_imagescalex", "i_imagescaley", "i_imageangle",
        "i_imagealpha", "i_imageblend", "i_maskindex", "i_depth", "i_precise", "i_x", "i_y", "i_xstart", "i_ystart",
        "i_xprevious", "i_yprevious", "i_direction", "i_speed", "i_friction", "i_gravitydir", "i_gravity", "i_hspeed",
        "i_vspeed", "i_bbox.left", "i_bbox.right", "i_bbox.top", "i_bbox.bottom", "i_visible", "i_solid",
        "i_persistent", "i_objindex"};
    for (int k = 0; k < 12; ++k) names.push_back("i_timer[" + std::to_string(k) + "]");
    for (const char* n : {"i_marked", "i_deactivated", "i_pathindex", "i_pathposition", "i_pathpositionprevious",
                          "i_pathspeed", "i_pathscale", "i_pathorientation", "i_pathend", "i_pathxstart",
                          "i_pathystart", "i_timelineindex", "i_timelineposition", "i_timelinespeed",
                          "i_timelinerunning", "i_timelineloop"})
        names.push_back(n);

    // Each line is "name = value" with the '=' in column 23; the alarms' lines are narrower.
    ASSERT_FALSE(out.text.empty());
    EXPECT_EQ(out.text.back(), '\n');
    std::vector<std::string> got;
    std::map<std::string, std::string> value;
    size_t start = 0;
    for (size_t end; (end = out.text.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = out.text.substr(start, end - start);
        const size_t eq = line.find(" = ");
        ASSERT_NE(eq, std::string::npos) << line;
        std::string name = line.substr(0, eq);
        name.erase(name.find_last_not_of(" \t") + 1);
        const size_t column = name.rfind("i_timer[", 0) == 0 ? name.size() + 11 : 23;
        EXPECT_EQ(eq + 1, column) << line;
        got.push_back(name);
        value[name] = line.substr(eq + 3);
    }
    EXPECT_EQ(got, names);
    EXPECT_EQ(value["i_id"], std::to_string(i->i_id));
    EXPECT_EQ(value["i_spriteindex"], "4(spr_hero)");
    EXPECT_EQ(value["i_x"], "12.500000");
    EXPECT_EQ(value["i_y"], "-3.000000");
    EXPECT_EQ(value["i_objindex"], std::to_string(o));
    EXPECT_EQ(value["i_timer[3]"], "8");
    EXPECT_EQ(value["i_timer[4]"], "-1");
    EXPECT_EQ(value["i_timelineindex"], std::to_string(t));
    EXPECT_EQ(value["i_timelineposition"], "2.000000");
    EXPECT_EQ(value["i_timelinespeed"], "2.000000");
    EXPECT_EQ(value["i_timelinerunning"], "1");
    EXPECT_EQ(value["i_timelineloop"], "0");
}
