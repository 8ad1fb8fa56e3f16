// The physics layer's start-up pieces: the debug trace, the "Physics.." registrar, and the
// world's hooks (rooms make, copy, step and delete their worlds; instances bind their
// fixtures and release their bodies through them).
//
// Needs the world's hook table and rooms, the log console. No Linux/ file.
#include <cstdarg>
#include <cstdio>

#include "Files/Base/Console.h"
#include "Files/Object/Instance.h"
#include "Files/Physics/Physics.h"
#include "Files/Physics/Physics_Internal.h"
#include "Files/Room/Room.h"
#include "Files/World/World_Hooks.h"
#include "Files/World/World_State.h"

namespace {

bool g_debugMessages = false;

// ---- Hooks of the world ----
void* CreateWorld(float pixelsToMetres, int32_t speed, float gx, float gy)
{
    auto* w = new CPhysicsWorld(pixelsToMetres, speed);
    if (!w->SetGravity(gx, gy)) Physics_Debug("gravity (%g, %g) refused\n", double(gx), double(gy));
    return w;
}

void* CopyWorld(void* world) { return new CPhysicsWorld(*static_cast<CPhysicsWorld*>(world)); }
void DeleteWorld(void* world) { delete static_cast<CPhysicsWorld*>(world); }
void StepWorld(void* world, int32_t speed, bool anyPath) { static_cast<CPhysicsWorld*>(world)->Step(speed, anyPath); }
float WorldScale(void* world) { return static_cast<CPhysicsWorld*>(world)->GetScale(); }

void RemoveBody(CInstance* instance)
{
    delete static_cast<CPhysicsObject*>(instance->m_pPhysics);
    instance->m_pPhysics = nullptr;
}

// The world builds the shape from the object; a fixture record carries it to the body and
// is freed once bound (nothing refers to it afterwards).
void BindFixture(void* world, const WorldPhysicsFixture* f, CInstance* instance)
{
    CPhysicsFixture* fixture = Physics_CreateFixture();
    if (f->shape == 1) {
        fixture->SetCircleShape(f->radius);
    } else if (f->shape == 2) {
        fixture->SetPolygonShape();
        const int32_t n = f->pointCount < 0 ? 0 : f->pointCount > PHYSICS_MAX_POINTS ? PHYSICS_MAX_POINTS : f->pointCount;
        for (int32_t k = 0; k < n; ++k) fixture->AddPoint(f->points[2 * k], f->points[2 * k + 1]);
    }
    fixture->m_linearDamping = f->linearDamping;
    fixture->m_angularDamping = f->angularDamping;
    fixture->m_sensor = f->sensor;
    fixture->m_group = int16_t(f->collisionGroup); // the engine's group is 16 bits: the low bits are kept
    fixture->m_density = f->density;
    fixture->m_restitution = f->restitution;
    fixture->m_friction = f->friction;
    fixture->m_awake = f->awake;
    if (f->kinematic) fixture->m_kinematic = 1;
    static_cast<CPhysicsWorld*>(world)->BindFixture(fixture, instance);
    Physics_DeleteFixture(fixture->m_id);
}

} // namespace

void Physics_Debug(const char* format, ...)
{
    if (!g_debugMessages) return;
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    Console_Output("Physics: %s", text);
}

void Physics_EnableDebugMessages() { g_debugMessages = true; }
bool Physics_DebugMessagesEnabled() { return g_debugMessages; }
void Physics_DisableDebugMessages() { g_debugMessages = false; }

// The "Physics.." group: the built-in names of the physics functions are not part of this
// runner's function list, so the group registers none; rooms with physics run through the
// world's hooks and the phy_* built-in variables.
void InitFunctions_Physics() {}

void Physics_InstallHooks(WorldHooks& h)
{
    h.physicsBindFixture = BindFixture;
    h.physicsCreateWorld = CreateWorld;
    h.physicsCopyWorld = CopyWorld;
    h.physicsDeleteWorld = DeleteWorld;
    h.physicsStep = StepWorld;
    h.physicsRemoveBody = RemoveBody;
    h.physicsScale = WorldScale;
}

CPhysicsWorld* Physics_CurrentWorld()
{
    CRoom* room = Run_CurrentRoom();
    return room ? static_cast<CPhysicsWorld*>(room->m_pPhysicsWorld) : nullptr;
}

CPhysicsObject* Physics_Object(const CInstance* instance)
{
    return instance ? static_cast<CPhysicsObject*>(instance->m_pPhysics) : nullptr;
}
