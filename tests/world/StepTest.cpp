// The step and the frame: the order of the event phases, creation at room start, alarms,
// keyboard and mouse events, collisions with solid back-off, outside and boundary events,
// animation end, time lines, paths, room switching with persistence, restart and end.
#include "support/GameWorld.h"

#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Function/Function_Registrars.h"
#include "Files/Option/Options.h"
#include "Files/Path/Path.h"
#include "Files/Run/Run_Commands.h"
#include "Files/Support/CommandLine.h"
#include "Files/TimeLine/TimeLine.h"

namespace {
void TestUser0(ScriptValue* result, CInstance* self, CInstance*, int32_t, ScriptValue*)
{
    Value_SetReal(result, 0);
    if (self) PerformEvent(self, self, self->i_objindex, EVENT_OTHER, EV_USER0);
}
void TestMomentClear(ScriptValue* result, CInstance*, CInstance*, int32_t, ScriptValue* args)
{
    Value_SetReal(result, 0);
    if (CTimeLine* t = TimeLine_Data(int32_t(args[0].real))) t->DeleteMoment(int32_t(args[1].real));
}
void TestTimeLineDelete(ScriptValue* result, CInstance*, CInstance*, int32_t, ScriptValue* args)
{
    Value_SetReal(result, 0);
    TimeLine_Delete(int32_t(args[0].real));
}

class StepTest : public WorldTest {
protected:
    void SetUp() override
    {
        static bool once = false;
        if (!once) {
            once = true;
            Function_Add("test_user0", TestUser0, 0);
            Function_Add("test_moment_clear", TestMomentClear, 2);
            Function_Add("test_timeline_delete", TestTimeLineDelete, 1);
            InitFunctions_Resource(); // timeline_moment_add, object_event_clear
        }
        WorldTest::SetUp();
    }
};
} // namespace

TEST_F(StepTest, PhasesRunInTheirOrderWithinAStep)
{
    int32_t o = Obj("o", -1, -1);
    g_FakeSprites[0] = FakeSprite(4, 4, 0, 0, 1);
    Object_Lookup(o)->m_spriteIndex = 0;
    Ev(o, EVENT_STEP, 1, "test_log('begin');");
    Ev(o, EVENT_ALARM, 0, "test_log('alarm');");
    Ev(o, EVENT_KEYBOARD, 65, "test_log('key');");
    Ev(o, EVENT_MOUSE, 50, "test_log('glob');");
    Ev(o, EVENT_STEP, 0, "test_log('step'); alarm[0] = 1;");
    Ev(o, EVENT_OTHER, EV_OUTSIDE, "test_log('outside');");
    Ev(o, EVENT_STEP, 2, "test_log('end');");
    Ev(o, EVENT_DRAW, 0, "test_log('draw');");
    int32_t r = Room(100, 100);
    Place(r, o, -50, -50);
    Start();
    ASSERT_EQ(First(o)->i_alarm[0], -1) << LogText();
    g_Log.clear();
    g_FakeInput.down[65] = true;
    g_FakeInput.mouseDown[1] = true;
    Frames(1);
    EXPECT_EQ(LogText(), "begin key glob step outside end draw");
    g_FakeInput = FakeInput();
    g_Log.clear();
    Frames(1);
    EXPECT_EQ(LogText(), "begin alarm step outside end draw") << "alarm set to 1 fires in the next alarm phase";
}

TEST_F(StepTest, CreateOrderAtRoomStartFollowsTheOption)
{
    int32_t o = Obj("o");
    Ev(o, EVENT_CREATE, 0, "test_log('create' , id);");
    Ev(o, EVENT_OTHER, EV_GAME_START, "test_log('gamestart', id);");
    Ev(o, EVENT_OTHER, EV_ROOM_START, "test_log('roomstart', id);");
    int32_t r = Room();
    int32_t a = Place(r, o, 0, 0, "test_log('code', id);");
    int32_t b = Place(r, o, 0, 0, "test_log('code', id);");
    const std::string A = std::to_string(a), B = std::to_string(b);
    g_Options.createEventFirst = 0;
    Start();
    EXPECT_EQ(LogText(), "code:" + A + " create:" + A + " code:" + B + " create:" + B + " gamestart:" + A + " gamestart:" + B +
                             " roomstart:" + A + " roomstart:" + B);
    EndGame();
    g_Log.clear();
    g_Options.createEventFirst = 1;
    Start();
    EXPECT_EQ(LogText().rfind("create:" + A + " code:" + A + " create:" + B + " code:" + B + " ", 0), 0u) << LogText();
    g_Options.createEventFirst = 0;
}

TEST_F(StepTest, InstancesCreatedDuringAPassWaitForTheNextPass)
{
    int32_t o = Obj("o");
    Ev(o, EVENT_STEP, 0, "test_log('step', id); if (id == 100001) instance_create(0, 0, 0);");
    Ev(o, EVENT_STEP, 2, "test_log('end', id);");
    int32_t r = Room();
    Place(r, o, 0, 0);
    Start();
    g_Log.clear();
    Frames(1);
    EXPECT_EQ(LogText(), "step:100001 end:100001 end:100002");
}

TEST_F(StepTest, ACopyOfAnInstanceBeingDestroyedLivesOn)
{
    int32_t o = Obj("o");
    Ev(o, EVENT_CREATE, 0, "test_log('create', id);");
    Ev(o, EVENT_STEP, 0, "test_log('step', id); if (id == 100001) { instance_destroy(); instance_copy(true); }");
    Place(Room(), o, 0, 0);
    Start();
    g_Log.clear();
    Frames(2);
    EXPECT_EQ(LogText(), "step:100001 create:100002 step:100002");
    EXPECT_EQ(Inst(100001), nullptr);
}

TEST_F(StepTest, AlarmAtZeroNeverFiresAndRoomSwitchStopsTheStep)
{
    int32_t o = Obj("o");
    Ev(o, EVENT_CREATE, 0, "alarm[0] = 0; alarm[1] = 2;");
    Ev(o, EVENT_ALARM, 0, "test_log('a0');");
    Ev(o, EVENT_ALARM, 1, "test_log('a1'); room_goto(1);");
    Ev(o, EVENT_STEP, 0, "test_log('step');");
    int32_t r = Room();
    int32_t r2 = Room();
    (void)r2;
    Place(r, o, 0, 0);
    Start();
    g_Log.clear();
    Frames(2);
    EXPECT_EQ(LogText(), "step a1") << "alarm 1 fires in the second step, which then ends";
    EXPECT_EQ(Run_CurrentRoomIndex(), 1);
}

TEST_F(StepTest, KeyPressedAndReleasedInOneStepFiresAllThree)
{
    int32_t o = Obj("o");
    Ev(o, EVENT_KEYBOARD, 32, "test_log('held');");
    Ev(o, EVENT_KEYPRESS, 32, "test_log('press');");
    Ev(o, EVENT_KEYRELEASE, 32, "test_log('release');");
    Ev(o, EVENT_KEYPRESS, 1, "test_log('anypress');");
    Ev(o, EVENT_KEYBOARD, 0, "test_log('nokey');");
    Ev(o, EVENT_KEYPRESS, 200, "test_log('press200');");
    Place(Room(), o, 0, 0);
    Start();
    g_Log.clear();
    g_FakeInput.pressed[32] = g_FakeInput.released[32] = true;
    g_FakeInput.pressed[200] = true;
    Frames(1);
    EXPECT_EQ(LogText(), "held press release press200 anypress");
    g_Log.clear();
    Frames(1);
    EXPECT_EQ(LogText(), "nokey");
}

TEST_F(StepTest, CollisionWithSolidReturnsToPreviousPosition)
{
    g_FakeSprites[0] = FakeSprite(10, 10);
    int32_t wall = Obj("wall", -1, 0, 0, true);
    int32_t ball = Obj("ball", -1, 0);
    Ev(ball, EVENT_COLLISION, wall, "test_log('hit', x, other.x); hspeed = -hspeed;");
    Ev(wall, EVENT_COLLISION, ball, "test_log('wall', x);");
    int32_t r = Room();
    int32_t b = Place(r, ball, 0, 0, "hspeed = 4;");
    Place(r, wall, 15, 0);
    Start();
    Frames(1); // ball 0 -> 4 (box 4..13, wall 15..24): no contact
    EXPECT_EQ(LogText(), "");
    Frames(1); // 4 -> 8 (box 8..17): contact; back to 4, events, then moves by the new hspeed
    EXPECT_EQ(LogText(), "wall:15 hit:4:15") << "the pair's lower object index goes first";
    EXPECT_FLOAT_EQ(Inst(b)->i_x, 0.0f);
}

TEST_F(StepTest, OutsideAndBoundaryEvents)
{
    g_FakeSprites[0] = FakeSprite(10, 10);
    int32_t o = Obj("o", -1, 0);
    Ev(o, EVENT_OTHER, EV_OUTSIDE, "test_log('out', x);");
    Ev(o, EVENT_OTHER, EV_BOUNDARY, "test_log('bound', x);");
    int32_t r = Room(100, 100);
    Place(r, o, 50, 50);  // inside
    Place(r, o, 95, 50);  // crosses the right edge
    Place(r, o, 150, 50); // wholly outside
    Start();
    g_Log.clear();
    Frames(1);
    EXPECT_EQ(LogText(), "out:150 bound:95 bound:150");
}

TEST_F(StepTest, AnimationEndWrapsTheImageIndex)
{
    g_FakeSprites[0] = FakeSprite(4, 4, 0, 0, 2);
    int32_t o = Obj("o", -1, 0);
    Ev(o, EVENT_OTHER, EV_ANIMATION_END, "test_log('end', image_index);");
    Place(Room(), o, 0, 0, "image_speed = 0.5;");
    Start();
    Frames(3);
    EXPECT_EQ(LogText(), "");
    Frames(1);
    EXPECT_EQ(LogText(), "end:0");
}

TEST_F(StepTest, TimeLinesForwardLoopAndBackward)
{
    int32_t t = TimeLine_Add();
    CTimeLine* line = TimeLine_Data(t);
    for (int32_t time : {0, 1, 3}) {
        CEvent* e = line->AddMoment(time);
        std::string code = "test_log('m" + std::to_string(time) + "');";
        e->SetText(code.c_str());
        ASSERT_TRUE(e->Compile());
    }
    int32_t o = Obj("o");
    Place(Room(), o, 0, 0, "timeline_index = 0; timeline_running = true; timeline_loop = true;");
    Start();
    Frames(5);
    EXPECT_EQ(LogText(), "m0 m1 m3 m0") << "the position passes 3, then resets to 0";
    CInstance* i = First(o);
    g_Log.clear();
    i->i_timelineposition = 3.5f;
    i->i_timelinespeed = -1;
    i->i_timelineloop = 0;
    Frames(4);
    EXPECT_EQ(LogText(), "m3 m1 m0");
}

TEST_F(StepTest, ALoopingTimeLineLooksAtThePositionItsAdvanceReached)
{
    // Moments that move the position do not change whether the step loops.
    int32_t t = TimeLine_Add();
    TimeLine_Data(t)->AddMoment(0)->SetText("timeline_position = 20;");
    TimeLine_Data(t)->AddMoment(3)->SetText("timeline_position = 1;");
    ASSERT_TRUE(TimeLine_Data(t)->GetMoment(0)->Compile());
    ASSERT_TRUE(TimeLine_Data(t)->GetMoment(1)->Compile());
    int32_t o = Obj("o");
    Place(Room(), o, 0, 0, "timeline_index = 0; timeline_running = true; timeline_loop = true;");
    Start();
    CInstance* i = First(o);
    i->i_timelineposition = 3.0f; // to 4, past the last moment: back to 0
    Frames(1);
    EXPECT_EQ(i->i_timelineposition, 0.0f);
    Frames(1); // to 1, not past it: the moment's 20 stands
    EXPECT_EQ(i->i_timelineposition, 20.0f);
    i->i_timelineposition = 0.5f; // backwards to -0.5, below 0: to the last moment
    i->i_timelinespeed = -1;
    Frames(1);
    EXPECT_EQ(i->i_timelineposition, 3.0f);
}

TEST_F(StepTest, TimeLineCodeThatEditsItsTimeLineIsSeenByTheLaterMoments)
{
    int32_t t = TimeLine_Add();
    for (int32_t time : {0, 1, 2}) {
        CEvent* e = TimeLine_Data(t)->AddMoment(time);
        std::string code = time == 0 ? "test_log('m0'); test_moment_clear(0, 1);" : "test_log('m" + std::to_string(time) + "');";
        e->SetText(code.c_str());
        ASSERT_TRUE(e->Compile());
    }
    int32_t o = Obj("o");
    Place(Room(), o, 0, 0, "timeline_index = 0; timeline_running = true; timeline_speed = 3;");
    Start();
    Frames(1);
    EXPECT_EQ(LogText(), "m0 m2") << "the moment deleted by an earlier moment does not run";
    // A time line deleted by its own moment stops there.
    TimeLine_Data(t)->AddMoment(1)->SetText("test_log('again');");
    TimeLine_Data(t)->GetMoment(0)->SetText("test_log('m0'); test_timeline_delete(0);");
    ASSERT_TRUE(TimeLine_Data(t)->GetMoment(0)->Compile());
    ASSERT_TRUE(TimeLine_Data(t)->GetMoment(1)->Compile());
    First(o)->i_timelineposition = 0;
    g_Log.clear();
    Frames(1);
    EXPECT_EQ(LogText(), "m0");
    EXPECT_FALSE(TimeLine_Exists(t));
}

TEST_F(StepTest, APhaseGoesOnOverTheObjectsItBeganWith)
{
    // A step event that gives its object many new children rebuilds the per-event lists.
    int32_t a = Obj("a");
    int32_t b = Obj("b", a);
    Ev(a, EVENT_STEP, 0, "test_log('step', object_index); if (object_index == a) repeat (40) object_set_parent(object_add(), a);");
    int32_t r = Room();
    Place(r, a, 0, 0);
    Place(r, b, 0, 0);
    Start();
    Frames(1);
    EXPECT_EQ(LogText(), "step:" + std::to_string(a) + " step:" + std::to_string(b));
}

TEST_F(StepTest, EventsAndMomentsChangedByTheirOwnCode)
{
    // Code added to a moment runs from its next performance, after the moment's own code; a
    // moment may add to itself while it runs. Code that does not compile changes nothing.
    int32_t t = TimeLine_Add();
    CEvent* m0 = TimeLine_Data(t)->AddMoment(0);
    m0->SetText("test_log('m0'); timeline_moment_add(0, 0, \"test_log('added');\"); "
                "timeline_moment_add(0, 2, \"test_log('m2');\"); timeline_moment_add(0, 3, \"test_log(\");");
    ASSERT_TRUE(m0->Compile());
    // A step event that removes itself finishes, and is gone from the next step.
    int32_t o = Obj("o");
    Ev(o, EVENT_STEP, 0, "test_log('step'); object_event_clear(object_index, 3, 0); test_log('cleared');");
    Place(Room(), o, 0, 0, "timeline_index = 0; timeline_running = true; timeline_loop = true; timeline_speed = 2;");
    Start();
    Frames(1);
    EXPECT_EQ(LogText(), "m0 step cleared");
    EXPECT_EQ(TimeLine_Data(t)->FindMoment(3), -1) << "the code that does not compile made no moment";
    g_Log.clear();
    Frames(1);
    EXPECT_EQ(LogText(), "m2") << "the new moment, the step event gone";
    g_Log.clear();
    Frames(1);
    EXPECT_EQ(LogText(), "m0 added");
}

TEST_F(StepTest, PathEndActions)
{
    int32_t p = Path_Add();
    CPath* path = Path_Data(p);
    path->SetClosed(false);
    path->AddPoint(0, 0, 100);
    path->AddPoint(10, 0, 100);
    int32_t o = Obj("o");
    Ev(o, EVENT_OTHER, EV_END_OF_PATH, "test_log('end', path_index, path_position);");
    Place(Room(), o, 50, 50, "path_start(0, 4, 0, false);");
    Start();
    CInstance* i = First(o);
    EXPECT_FLOAT_EQ(i->i_x, 50.0f);
    Frames(3);
    EXPECT_EQ(LogText(), "end:-1:1");
    EXPECT_FLOAT_EQ(i->i_x, 60.0f);
    // Reverse (3): 1.05 becomes 0.95 with the speed negated.
    g_Log.clear();
    i->StartPath(p, 4, 1, 0, true, 3);
    i->i_pathposition = 0.9f;
    EXPECT_TRUE(i->AdvancePath());
    EXPECT_NEAR(i->i_pathposition, 0.7f, 1e-5);
    EXPECT_FLOAT_EQ(i->i_pathspeed, -4.0f);
    // Restart (1) and continue (2).
    i->StartPath(p, 5, 1, 0, true, 1);
    i->i_pathposition = 0.8f;
    EXPECT_TRUE(i->AdvancePath());
    EXPECT_NEAR(i->i_pathposition, 0.3f, 1e-5);
    const float ox = i->i_pathxstart;
    i->StartPath(p, 5, 1, 0, true, 2);
    i->i_pathposition = 0.8f;
    const float start = i->i_pathxstart;
    EXPECT_TRUE(i->AdvancePath());
    EXPECT_FLOAT_EQ(i->i_pathxstart, start + 10.0f);
    (void)ox;
}

TEST_F(StepTest, PersistentInstancesAndRoomsAcrossRoomSwitches)
{
    int32_t keep = Obj("keep", -1, -1, 0, false, true);
    int32_t plain = Obj("plain");
    Ev(keep, EVENT_CREATE, 0, "test_log('create keep'); n = 0;");
    Ev(keep, EVENT_OTHER, EV_ROOM_START, "n += 1; test_log('keep room', room, n);");
    Ev(plain, EVENT_CREATE, 0, "test_log('create plain', room);");
    int32_t r0 = Room(), r1 = Room();
    Room_Data(r1)->m_persistent = 1;
    int32_t k = Place(r0, keep, 0, 0);
    Place(r0, plain, 0, 0);
    Place(r1, plain, 0, 0);
    Start();
    EXPECT_EQ(LogText(), "create keep create plain:0 keep room:0:1");
    g_Log.clear();
    Command_GotoRoom(r1);
    Frames(1);
    EXPECT_EQ(LogText(), "create plain:1 keep room:1:2");
    EXPECT_NE(Inst(k), nullptr) << "the carried instance keeps its id";
    EXPECT_EQ(Instance_Count(), 2);
    g_Log.clear();
    Command_GotoRoom(r0);
    Frames(1);
    EXPECT_EQ(LogText(), "create plain:0 keep room:0:3");
    EXPECT_EQ(Instance_Count(), 2) << "the kept room's instances leave the table while it waits";
    g_Log.clear();
    Command_GotoRoom(r1);
    Frames(1);
    EXPECT_EQ(LogText(), "keep room:1:4") << "a persistent room is not created again";
    EXPECT_EQ(Instance_Count(), 2);
}

TEST_F(StepTest, RestartAndEndOfTheGame)
{
    int32_t o = Obj("o");
    Ev(o, EVENT_OTHER, EV_GAME_START, "test_log('start');");
    Ev(o, EVENT_OTHER, EV_GAME_END, "test_log('gameend');");
    Ev(o, EVENT_OTHER, EV_ROOM_END, "test_log('roomend');");
    Place(Room(), o, 0, 0);
    g_StartupOptions.running = 1;
    Start();
    Command_RestartGame();
    Frames(1);
    EXPECT_EQ(LogText(), "start roomend gameend start");
    g_Log.clear();
    Command_EndGame();
    Frames(1);
    EXPECT_EQ(g_StartupOptions.running, 0);
    EXPECT_EQ(Run_Frame(), 60);
}

TEST_F(StepTest, RecursionLimitStopsEndlessEventNesting)
{
    int32_t o = Obj("o");
    Ev(o, EVENT_OTHER, EV_USER0, "global.depth += 1; test_user0();");
    Place(Room(), o, 0, 0, "global.depth = 0;");
    Start();
    CInstance* i = First(o);
    PerformEvent(i, i, o, EVENT_OTHER, EV_USER0);
    ScriptValue v = Value_Real(0);
    ASSERT_TRUE(Variable_Global_Get(Code_Variable_Find("depth"), 0, &v));
    EXPECT_EQ(v.real, 32.0);
    EXPECT_EQ(Event_State().depth, 0);
    EXPECT_EQ(Run_State().roomSwitch, ROOM_ABORTGAME) << "the recursion failure is fatal";
    EXPECT_TRUE(Code_Error_Occurred());
    EXPECT_TRUE(Code_Error_Aborting());
    // It ends the game through the error reporter's abort, as a missing room does, not as the
    // virtual machine's own errors (which ask the entry for -1).
    EXPECT_FALSE(Main_ExitRequested());
}
