// Helpers of the services tests (tests/services/ServicesSupport.h).
#include "services/ServicesSupport.h"

#include "Files/Physics/Physics.h"
#include "Files/Runner/Runner_Wiring.h"
#include "Files/Support/GameHeader.h"
#include "Files/Support/Timing.h"
#include "Platform/MemoryManager.h"

namespace {

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

} // namespace

void ServicesWorldTest::SetUp()
{
    WorldTest::SetUp();
    Timing_SetHost(&g_clock);
    WorldHooks& h = World_Hooks();
    World_InstallServiceHooks(h);
    Physics_InstallHooks(h);
}

void ServicesWorldTest::TearDown()
{
    WorldTest::TearDown();
    Timing_SetHost(nullptr);
    Physics_FreeFixtures();
}

int32_t ServicesWorldTest::Obj(const char* name, int32_t spriteWidth, int32_t spriteHeight)
{
    const int32_t i = WorldTest::Obj(name);
    CObject* o = Object_Lookup(i);
    o->m_spriteIndex = i;
    o->SetVisible(true);
    g_FakeSprites[i] = FakeSprite(spriteWidth, spriteHeight);
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

int32_t ServicesWorldTest::Room(int32_t speed, float scale, float gx, float gy)
{
    const int32_t r = WorldTest::Room(640, 480, speed);
    CRoom* room = Room_Data(r);
    if (scale > 0) {
        room->m_physicsWorldFlag = 1;
        room->m_pixelsToMetres = scale;
        room->m_gravityX = int32_t(gx);
        room->m_gravityY = int32_t(gy);
        room->m_pPhysicsWorld = World_Hooks().physicsCreateWorld(scale, speed, gx, gy);
    }
    return r;
}

