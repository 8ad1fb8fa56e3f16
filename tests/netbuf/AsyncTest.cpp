// Delivery of asynchronous results: the "other" event of a finished request runs on every
// instance that has it with async_load naming the result map, the map is destroyed afterwards
// (only if its slot still holds it), 66 and 68 are consumed without an event, requests that
// are not finished stay, and the walk follows the list from its head.
#include "Files/Code/Code_Compile.h"
#include "Files/Code/Code_Constant.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/DS/DS_Main.h"
#include "Files/DS/DS_Map.h"
#include "Files/Function/Function_DS.h"
#include "Files/HTTP/HTTP.h"
#include "Files/Object/Event.h"
#include "Files/Object/Instance.h"
#include "Files/Object/Object.h"
#include "Files/Run/Run_Async.h"
#include "Files/Run/Run_Main.h"
#include "Files/Support/CommandLine.h"
#include "Files/Variable/Variable_World.h"
#include "netbuf/NetbufSupport.h"

namespace {

std::vector<std::string> g_order; // completions and clean-ups as they ran

// A request finished by its owner: its completion makes a map {"name": name} and answers n.
struct Finished : HTTP_REQ_CONTEXT {
    Finished(const char* name_, int32_t n_, int32_t state_ = HTTP_STATE_FINISHED)
        : HTTP_REQ_CONTEXT(nullptr, 0, Complete, CleanUp, nullptr), name(name_), n(n_)
    {
        state.store(state_);
    }
    static int32_t Complete(HTTP_REQ_CONTEXT* r, void*, int32_t* map)
    {
        Finished* f = static_cast<Finished*>(r);
        *map = DS_Map_CreateFromPairs(1, "name", 0.0, f->name.c_str());
        f->map = *map;
        g_order.push_back("complete " + f->name);
        return f->n;
    }
    static void CleanUp(HTTP_REQ_CONTEXT* r) { g_order.push_back("clean " + static_cast<Finished*>(r)->name); }
    std::string name;
    int32_t n;
    int32_t map = -1;
};

} // namespace

class Async : public ::testing::Test {
protected:
    void SetUp() override
    {
        Script_ResetTables();
        Code_Compiler_Init();
        Code_Constant_Init();
        g_StartupOptions.byteCodeInterpreter = 1;
        Code_Error_SetShowErrors(false);
        Function_DS_Init();
        TestLog_Register();
        Variable_BuiltIn_Init();
        World_RegisterVariables();
        Run_Global_Init();
        Run_State().roomSwitch = ROOM_STAY;
        Run_State().asyncLoad = -1;
        g_Log.clear();
        g_order.clear();
    }
    void TearDown() override
    {
        HTTP_Shutdown();
        for (CInstance* i : m_instances) {
            InstanceHash_Remove(i);
            delete i;
        }
        Code_Constant_Free();
        Script_ResetTables();
        Object_Free();
        Code_Error_SetShowErrors(true);
        Run_State().roomSwitch = ROOM_STAY; // a test's event may have asked for another room
    }
    int32_t Obj() { return Object_Add(); }
    void Ev(int32_t o, int32_t n, const char* code)
    {
        CEvent* e = Object_Lookup(o)->MakeEvent(EVENT_OTHER, n);
        e->SetText(code);
        Event_State().object = o;
        Event_State().type = EVENT_OTHER;
        Event_State().number = n;
        ASSERT_TRUE(e->Compile()) << code;
    }
    CInstance* Inst(int32_t o)
    {
        CInstance* i = new CInstance(0, 0, 100001 + int32_t(m_instances.size()), o, true);
        InstanceHash_Add(i);
        m_instances.push_back(i);
        return i;
    }
    void Build()
    {
        Object_LinkParents();
        Object_Lists_Build();
    }
    std::string Log() const { return LogText(); }
    std::string Order() const
    {
        std::string s;
        for (const std::string& l : g_order) s += (s.empty() ? "" : ", ") + l;
        return s;
    }

    std::vector<CInstance*> m_instances;
};

TEST_F(Async, EventSeesTheMapWhichIsDestroyedAfterwards)
{
    const int32_t a = Obj(), quiet = Obj();
    Ev(a, 62, "test_log(id, async_load, ds_map_find_value(async_load, 'name'));");
    Inst(a);
    Inst(quiet);
    Inst(a);
    Build();
    new Finished("web", 62);
    Async_ProcessRequests();
    EXPECT_EQ(Log(), "100001:0:web 100003:0:web");
    EXPECT_EQ(DS_Map_Data(0), nullptr);
    EXPECT_EQ(Run_State().asyncLoad, -1);
    EXPECT_EQ(HTTP_RequestList(), nullptr);
    EXPECT_EQ(Order(), "complete web, clean web");
}

TEST_F(Async, AsyncLoadIsMinusOneOutsideDelivery)
{
    const int32_t a = Obj();
    Ev(a, 62, "test_log(async_load);");
    Inst(a);
    Build();
    Async_FireEvent(62);
    EXPECT_EQ(Log(), "-1");
}

TEST_F(Async, OnlyTheDeliveredMapIsDestroyed)
{
    // The event destroys the map itself and makes a new one, which takes the same slot.
    const int32_t a = Obj();
    Ev(a, 63, "ds_map_destroy(async_load); global.kept = ds_map_create(); test_log(global.kept);");
    Inst(a);
    Build();
    new Finished("dialog", 63);
    Async_ProcessRequests();
    EXPECT_EQ(Log(), "0");
    ASSERT_NE(DS_Map_Data(0), nullptr); // the event's own map survives
    EXPECT_EQ(DS_Map_Data(0)->Size(), 0);
}

TEST_F(Async, OnlyTheAsynchronousNumbersFire)
{
    const int32_t a = Obj();
    for (int32_t n : {59, 60, 61, 62, 63, 64, 65, 66, 67, 68, 69}) {
        const std::string code = "test_log(" + std::to_string(n) + ");";
        Ev(a, n, code.c_str());
    }
    Inst(a);
    Build();
    for (int32_t n = 55; n <= 72; ++n) Async_FireEvent(n);
    EXPECT_EQ(Log(), "60 61 62 63 64 67 69");
    // Requests answering 66 or 68 (or below 60) are consumed without an event: map destroyed,
    // clean-up run.
    g_Log.clear();
    new Finished("purchase", 66);
    new Finished("network", 68);
    new Finished("nothing", 12);
    Async_ProcessRequests();
    EXPECT_EQ(Log(), "");
    EXPECT_EQ(HTTP_RequestList(), nullptr);
    for (int32_t m = 0; m < 3; ++m) EXPECT_EQ(DS_Map_Data(m), nullptr);
    EXPECT_EQ(Order(), "complete nothing, clean nothing, complete network, clean network, complete purchase, clean purchase");
}

TEST_F(Async, FinishedRequestsGoInListOrderAndOthersStay)
{
    const int32_t a = Obj();
    Ev(a, 62, "test_log(ds_map_find_value(async_load, 'name'));");
    Inst(a);
    Build();
    new Finished("first", 62);
    Finished* waiting = new Finished("waiting", 62, HTTP_STATE_WAIT_GET);
    new Finished("second", 62);
    Finished* sent = new Finished("sent", 62, HTTP_STATE_SENT);
    Finished* unused = new Finished("unused", 62);
    unused->inUse = 0;
    new Finished("third", 62);
    Async_ProcessRequests();
    // The list is newest first.
    EXPECT_EQ(Log(), "third second first");
    int left = 0;
    for (HTTP_REQ_CONTEXT* r = HTTP_RequestList(); r; r = r->next) ++left;
    EXPECT_EQ(left, 3);
    EXPECT_EQ(HTTP_RequestList(), unused);
    EXPECT_EQ(unused->next, sent);
    EXPECT_EQ(sent->next, waiting);
    // Shutdown (TearDown) cleans up the rest: HTTP_Shutdown destroys them with their clean-up.
    g_order.clear();
    sent->state.store(HTTP_STATE_CREATED); // not a running thread of the layer
    waiting->state.store(HTTP_STATE_CREATED);
    HTTP_Shutdown();
    EXPECT_EQ(Order(), "clean unused, clean sent, clean waiting");
}

TEST_F(Async, AnEventMayQueueAndFinishMoreWork)
{
    // The walk starts again from the head after each delivery, so a request the event finishes
    // is delivered in the same pass.
    const int32_t a = Obj();
    Ev(a, 62, "test_log(ds_map_find_value(async_load, 'name'));");
    Inst(a);
    Build();
    Finished* later = new Finished("later", 62, HTTP_STATE_CREATED);
    struct Chain : Finished {
        Chain(Finished* next) : Finished("chain", 62), then(next) {}
        Finished* then;
    };
    Chain* c = new Chain(later);
    c->completion = [](HTTP_REQ_CONTEXT* r, void* u, int32_t* map) {
        static_cast<Chain*>(r)->then->state.store(HTTP_STATE_FINISHED);
        return Finished::Complete(r, u, map);
    };
    Async_ProcessRequests();
    EXPECT_EQ(Log(), "chain later");
}

TEST_F(Async, RequestsFinishedAfterAnEventAskedForAnotherRoomWaitForIt)
{
    // No event is performed between the request for another room and the switch: the results
    // left are delivered in the new room, not dropped.
    static const bool registered = (Function_Add("test_goto",
                                                 [](ScriptValue*, CInstance*, CInstance*, int32_t, ScriptValue*) {
                                                     Run_State().roomSwitch = 0; // another room asked for
                                                 },
                                                 0),
                                    true);
    (void)registered;
    const int32_t a = Obj();
    Ev(a, 62, "test_log(ds_map_find_value(async_load, 'name')); test_goto();");
    Inst(a);
    Build();
    new Finished("older", 62);
    new Finished("newer", 62);
    Async_ProcessRequests();
    EXPECT_EQ(Log(), "newer");
    ASSERT_NE(HTTP_RequestList(), nullptr);
    Run_State().roomSwitch = ROOM_STAY; // the room has changed
    Async_ProcessRequests();
    EXPECT_EQ(Log(), "newer older");
    EXPECT_EQ(HTTP_RequestList(), nullptr);
}
