// Helpers of the services tests (tests/services/ServicesSupport.h).
#include "services/ServicesSupport.h"

#include <cstdio>

#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Constant.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Function.h"
#include "Files/Object/Event.h"
#include "Files/Path/Path.h"
#include "Files/Physics/Physics.h"
#include "Files/Object/Instance_Pending.h"
#include "Files/Run/Run_Main.h"
#include "Files/Support/CommandLine.h"
#include "Files/Support/GameHeader.h"
#include "Files/Runner/Runner_Game.h"
#include "Files/Support/Timing.h"
#include "Files/TimeLine/TimeLine.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Variable/Variable_World.h"
#include "Files/Runner/Runner_Wiring.h"
#include "Files/World/World_Hooks.h"
#include "Platform/MemoryManager.h"

void Code_Compiler_Init();
void InitFunctions_Game();
void InitFunctions_Action();
void InitFunctions_Math();

std::vector<std::string> g_ServicesLog;

std::string ServicesLogText()
{
    std::string s;
    for (const std::string& e : g_ServicesLog) s += (s.empty() ? "" : " ") + e;
    return s;
}

namespace {

std::map<int32_t, WorldSpriteInfo>* g_sprites = nullptr;

void TestLog(ScriptValue* result, CInstance*, CInstance*, int32_t argc, ScriptValue* args)
{
    Value_SetReal(result, 0);
    std::string line;
    for (int32_t k = 0; k < argc; ++k) {
        if (k) line += ":";
        if (args[k].kind == VALUE_STRING) {
            line += args[k].text ? args[k].text : "";
        } else {
            char b[64];
            std::snprintf(b, sizeof b, "%g", args[k].real);
            line += b;
        }
    }
    g_ServicesLog.push_back(line);
}

// A clock that moves by the sleeps asked of it and 1 ms at each reading, so frames at any
// room speed run at once.
class FastClock : public ITimingHost {
public:
    int64_t NowMicroseconds() override { return m_now += 1000; }
    void SleepMicroseconds(int64_t us) override { m_now += us > 0 ? us : 0; }

private:
    int64_t m_now = 1000000;
};
FastClock g_clock;

bool SpriteInfo(int32_t sprite, WorldSpriteInfo* info)
{
    if (!g_sprites) return false;
    auto it = g_sprites->find(sprite);
    if (it == g_sprites->end()) return false;
    *info = it->second;
    return true;
}

} // namespace

void Services_InitLanguage()
{
    static bool once = false;
    if (once) return;
    once = true;
    Code_Compiler_Init();
    Code_Constant_Init();
    InitFunctions_Game();
    InitFunctions_Action();
    InitFunctions_Math();
    Function_Add("test_log", TestLog, -1);
}

void ServicesWorldTest::SetUp()
{
    Services_InitLanguage();
    g_StartupOptions.byteCodeInterpreter = 1;
    Code_Error_Reset();
    Code_Error_SetShowErrors(false);
    Variable_BuiltIn_Init();
    World_RegisterVariables();
    Variable_Global_Init();
    Run_Global_Init();
    Object_InitHash();
    Room_FreeAll();
    Path_FreeAll();
    TimeLine_Init();
    Room_SetLastInstanceId(100000);
    Room_SetLastTileId(10000000);
    g_GameHeader.roomOrder.clear();
    g_sprites = &m_sprites;
    Timing_SetHost(&g_clock);
    World_Hooks() = WorldHooks();
    WorldHooks& h = World_Hooks();
    h.spriteInfo = SpriteInfo;
    h.inputUpdate = [] {};
    World_InstallServiceHooks(h);
    Physics_InstallHooks(h);
    g_ServicesLog.clear();
    Event_State() = EventState();
}

void ServicesWorldTest::TearDown()
{
    EndGame();
    Run_ClearPendingChanges();
    Room_FreeAll();
    Instance_FreeAll();
    Object_Free();
    Path_FreeAll();
    TimeLine_Free();
    World_Hooks() = WorldHooks();
    g_sprites = nullptr;
    Timing_SetHost(nullptr);
    g_GameHeader.roomOrder.clear();
    Run_State().roomSwitch = ROOM_STAY;
    Physics_FreeFixtures();
}

int32_t ServicesWorldTest::Obj(const char* name, int32_t spriteWidth, int32_t spriteHeight)
{
    int32_t i = Object_Add();
    CObject* o = Object_Lookup(i);
    o->SetName(name);
    o->m_spriteIndex = i;
    o->SetVisible(true);
    m_sprites[i] = WorldSpriteInfo{spriteWidth, spriteHeight, 0, 0, 0, 0, spriteWidth - 1, spriteHeight - 1, 1, 0};
    Object_LinkParents();
    return i;
}

void ServicesWorldTest::PhysicsBox(int32_t index, float w, float h, float density, bool sensor)
{
    CObject* o = Object_Lookup(index);
    o->m_usesPhysics = 1;
    o->m_sensor = sensor ? 1 : 0;
    o->m_shapeKind = 1;
    o->m_density = density;
    o->m_friction = 0.5f;
    o->m_restitution = 0;
    o->m_awake = 1;
    MEM_FREE(o->m_pPoints);
    o->m_pointCount = 4;
    o->m_pPoints = static_cast<float*>(MEM_ALLOC(sizeof(float) * 8));
    const float p[8] = {0, 0, w, 0, w, h, 0, h};
    for (int k = 0; k < 8; ++k) o->m_pPoints[k] = p[k];
}

void ServicesWorldTest::PhysicsCircle(int32_t index, float r, float density)
{
    CObject* o = Object_Lookup(index);
    o->m_usesPhysics = 1;
    o->m_shapeKind = 0;
    o->m_density = density;
    o->m_friction = 0.5f;
    o->m_awake = 1;
    MEM_FREE(o->m_pPoints);
    o->m_pointCount = 2;
    o->m_pPoints = static_cast<float*>(MEM_ALLOC(sizeof(float) * 4));
    o->m_pPoints[0] = 0;
    o->m_pPoints[1] = 0;
    o->m_pPoints[2] = r;
    o->m_pPoints[3] = 0;
}

bool ServicesWorldTest::Ev(int32_t o, int32_t type, int32_t subtype, const char* code)
{
    CEvent* e = Object_Lookup(o)->MakeEvent(type, subtype);
    e->SetText(code);
    Event_State().object = o;
    Event_State().type = type;
    Event_State().number = subtype;
    return e->Compile();
}

int32_t ServicesWorldTest::Room(int32_t speed, float scale, float gx, float gy)
{
    int32_t r = Room_Add();
    CRoom* room = Room_Data(r);
    room->m_width = 640;
    room->m_height = 480;
    room->m_speed = speed;
    if (scale > 0) {
        room->m_physicsWorldFlag = 1;
        room->m_pixelsToMetres = scale;
        room->m_gravityX = int32_t(gx);
        room->m_gravityY = int32_t(gy);
        room->m_pPhysicsWorld = World_Hooks().physicsCreateWorld(scale, speed, gx, gy);
    }
    m_order.push_back(r);
    g_GameHeader.roomOrder = m_order;
    RoomOrder_Load();
    return r;
}

int32_t ServicesWorldTest::Place(int32_t room, int32_t object, float x, float y)
{
    return Room_Data(room)->EntryAddInstance(x, y, object);
}

void ServicesWorldTest::Start()
{
    Object_LinkParents();
    StartGame();
}

void ServicesWorldTest::Frames(int32_t n)
{
    for (int32_t k = 0; k < n; ++k) Run_Frame();
}

CInstance* ServicesWorldTest::First(int32_t o)
{
    CObject* obj = Object_Lookup(o);
    for (auto* n = obj ? obj->m_instances.GetHead() : nullptr; n; n = n->next)
        if (n->value->IsLive()) return n->value;
    return nullptr;
}

double ServicesWorldTest::Get(CInstance* self, const char* variable, int32_t index)
{
    ScriptValue v = Value_Real(-12345);
    if (!Variable_Local_Get(self, Variable_BuiltIn_Find(variable), index, &v)) return -99999;
    double r = v.real;
    Value_FreeString(&v);
    return r;
}

bool ServicesWorldTest::Set(CInstance* self, const char* variable, double value)
{
    ScriptValue v = Value_Real(value);
    return Variable_Local_Set(self, Variable_BuiltIn_Find(variable), 0, &v);
}
