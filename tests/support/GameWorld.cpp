// The game-world fixture (tests/support/GameWorld.h).
#include "support/GameWorld.h"

#include "Files/Code/Code_Compile.h"
#include "Files/Code/Code_Constant.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Function/Function_Registrars.h"
#include "Files/Function/Function_World.h"
#include "Files/Runner/Runner_Reset.h"
#include "Files/Support/CommandLine.h"
#include "Files/Support/GameHeader.h"
#include "Files/Variable/Variable_World.h"
#include "Platform/MemoryManager.h"

std::map<int32_t, WorldSpriteInfo> g_FakeSprites;
FakeInput g_FakeInput;

void FakeInput::ClearStep()
{
    for (int k = 0; k < 256; ++k) pressed[k] = released[k] = false;
    for (int k = 0; k < 4; ++k) mousePressed[k] = mouseReleased[k] = false;
}

WorldSpriteInfo FakeSprite(int32_t w, int32_t h, int32_t ox, int32_t oy, int32_t frames)
{
    return WorldSpriteInfo{w, h, ox, oy, 0, 0, w - 1, h - 1, frames, 0};
}

namespace {

bool SpriteInfo(int32_t sprite, WorldSpriteInfo* info)
{
    auto it = g_FakeSprites.find(sprite);
    if (it == g_FakeSprites.end()) return false;
    *info = it->second;
    return true;
}

bool KeyDown(int32_t k) { return g_FakeInput.down[k & 255]; }
bool KeyPressed(int32_t k) { return g_FakeInput.pressed[k & 255]; }
bool KeyReleased(int32_t k) { return g_FakeInput.released[k & 255]; }
bool MouseDown(int32_t b) { return g_FakeInput.mouseDown[b & 3]; }
bool MousePressed(int32_t b) { return g_FakeInput.mousePressed[b & 3]; }
bool MouseReleased(int32_t b) { return g_FakeInput.mouseReleased[b & 3]; }

} // namespace

void World_InitLanguage()
{
    static bool once = false;
    if (once) return;
    once = true;
    Code_Compiler_Init();
    Code_Constant_Init();
    InitFunctions_Game();
    InitFunctions_Action();
    InitFunctions_Math();
    Function_Resource_Register();
    TestLog_Register();
}

void WorldTest::SetUp()
{
    Runtime_ResetAll();
    World_InitLanguage();
    g_StartupOptions.byteCodeInterpreter = 1;
    Code_Error_SetShowErrors(false);
    Variable_BuiltIn_Init();
    World_RegisterVariables();
    g_FakeSprites.clear();
    g_FakeInput = FakeInput();
    WorldHooks& h = World_Hooks();
    h.spriteInfo = SpriteInfo;
    h.keyDown = KeyDown;
    h.keyPressed = KeyPressed;
    h.keyReleased = KeyReleased;
    h.mouseDown = MouseDown;
    h.mousePressed = MousePressed;
    h.mouseReleased = MouseReleased;
    h.inputUpdate = [] {};
    g_Log.clear();
    m_order.clear();
}

void WorldTest::TearDown()
{
    EndGame();
    Runtime_ResetAll();
}

int32_t WorldTest::Obj(const char* name, int32_t parent, int32_t sprite, int32_t depth, bool solid, bool persistent)
{
    int32_t i = Object_Add();
    CObject* o = Object_Lookup(i);
    o->SetName(name);
    o->m_parentIndex = parent;
    o->m_spriteIndex = sprite;
    o->m_depth = depth;
    o->SetSolid(solid);
    o->SetPersistent(persistent);
    Object_LinkParents();
    return i;
}

bool WorldTest::Ev(int32_t o, int32_t type, int32_t subtype, const char* code)
{
    CEvent* e = Object_Lookup(o)->MakeEvent(type, subtype);
    e->SetText(code);
    Event_State().object = o;
    Event_State().type = type;
    Event_State().number = subtype;
    return e->Compile();
}

int32_t WorldTest::Room(int32_t w, int32_t h, int32_t speed)
{
    int32_t r = Room_Add();
    CRoom* room = Room_Data(r);
    room->m_width = w;
    room->m_height = h;
    room->m_speed = speed;
    m_order.push_back(r);
    g_GameHeader.roomOrder = m_order;
    RoomOrder_Load();
    return r;
}

int32_t WorldTest::Place(int32_t room, int32_t object, float x, float y, const char* creationCode)
{
    CRoom* r = Room_Data(room);
    int32_t id = r->EntryAddInstance(x, y, object);
    if (creationCode) {
        char* text = MEM_STRDUP(creationCode);
        r->m_pEntry->texts.push_back(text); // the entry owns its texts and codes
        auto* code = new CCode(text, false);
        r->m_pEntry->instances.back().code = code;
        EXPECT_TRUE(code->Compile("Instance.test"));
    }
    return id;
}

void WorldTest::Start()
{
    Object_LinkParents();
    StartGame();
}

void WorldTest::Frames(int32_t n)
{
    for (int32_t k = 0; k < n; ++k) {
        Run_Frame();
        g_FakeInput.ClearStep();
    }
}

CInstance* WorldTest::First(int32_t o)
{
    CObject* obj = Object_Lookup(o);
    for (auto* n = obj ? obj->m_instances.GetHead() : nullptr; n; n = n->next)
        if (n->value->IsLive()) return n->value;
    return nullptr;
}

double WorldTest::Get(CInstance* self, const char* variable, int32_t index)
{
    ScriptValue v = Value_Real(-12345);
    if (!Variable_Local_Get(self, Variable_BuiltIn_Find(variable), index, &v)) return -99999;
    double r = v.real;
    Value_FreeString(&v);
    return r;
}

bool WorldTest::Set(CInstance* self, const char* variable, double value)
{
    ScriptValue v = Value_Real(value);
    return Variable_Local_Set(self, Variable_BuiltIn_Find(variable), 0, &v);
}
