// CPhysicsWorld: a room's Box2D world, its bodies' wrappers, the step with the write-back to
// the instances and the collision events of the touching contacts, and the contact being
// reported while those events run.
//
// Needs Box2D, the instances (position, angle, flags), the event dispatch, the run state (the
// room-switch code) and the log console. No Linux/ file.
//
// [SECTION] Construction
// [SECTION] Wrappers
// [SECTION] Bodies and fixtures
// [SECTION] The step
// [SECTION] The contact being reported
#include <box2d/box2d.h>

#include <cmath>
#include <vector>

#include "Files/Base/RealConvert.h"
#include "Files/Object/Event.h"
#include "Files/Object/Instance.h"
#include "Files/Object/Object.h"
#include "Files/Physics/Physics.h"
#include "Files/Physics/Physics_Internal.h"
#include "Files/Support/CommandLine.h"
#include "Files/World/World_State.h"

namespace {

uint64_t g_nextSerial = 1;
// The world whose contacts are being reported, and whether it was deleted by an event.
const CPhysicsWorld* g_reportingWorld = nullptr;
bool g_reportingWorldDeleted = false;

float UsableScale(float scale)
{
    if (std::isfinite(scale) && scale >= PHYSICS_MIN_SCALE && scale <= PHYSICS_MAX_SCALE) return scale;
    Physics_Debug("pixels to metres %g is not usable; %g taken\n", double(scale), double(PHYSICS_DEFAULT_SCALE));
    return PHYSICS_DEFAULT_SCALE;
}

// Whether self's object has a collision event with other's object (own or inherited).
bool HasCollisionEvent(const CInstance* self, const CInstance* other)
{
    CObject* o = self->m_pObject;
    int32_t found = 0;
    return o && Object_ResolveEvent(o, self->i_objindex, EVENT_COLLISION, other->i_objindex, &found) != nullptr;
}

float Material(float v)
{
    if (!std::isfinite(v) || v < 0) return 0.0f;
    return v > PHYSICS_MAX_MATERIAL ? float(PHYSICS_MAX_MATERIAL) : v;
}

float Density(float v)
{
    v = Material(v);
    return v > 0 && v < PHYSICS_MIN_DENSITY ? float(PHYSICS_MIN_DENSITY) : v;
}

} // namespace

// =============================================================================================
// [SECTION] Construction
// =============================================================================================

CPhysicsWorld::CPhysicsWorld(float pixelsToMetres, int32_t stepsPerSecond)
    : m_scale(UsableScale(pixelsToMetres)), m_stepsPerSecond(stepsPerSecond)
{
    Make();
}

CPhysicsWorld::CPhysicsWorld(const CPhysicsWorld& other)
    : m_scale(other.m_scale), m_stepsPerSecond(other.m_stepsPerSecond), m_gravityX(other.m_gravityX),
      m_gravityY(other.m_gravityY)
{
    Make();
}

void CPhysicsWorld::Make()
{
    if (g_StartupOptions.physicsDebugMessages) Physics_EnableDebugMessages();
    m_pWorld = new b2World(b2Vec2(m_gravityX, m_gravityY));
    Physics_Debug("world made: scale %g, %d steps a second\n", double(m_scale), m_stepsPerSecond);
}

CPhysicsWorld::~CPhysicsWorld()
{
    if (g_reportingWorld == this) g_reportingWorldDeleted = true;
    // The bodies go with the engine's world: their wrappers must not reach them afterwards.
    for (auto& [serial, object] : m_objects) {
        object->m_pBody = nullptr;
        object->m_pWorld = nullptr;
    }
    m_objects.clear();
    delete m_pWorld;
    Physics_Debug("world deleted\n");
}

bool CPhysicsWorld::SetGravity(float x, float y)
{
    if (!std::isfinite(x) || !std::isfinite(y) || std::fabs(x) > PHYSICS_MAX_GRAVITY || std::fabs(y) > PHYSICS_MAX_GRAVITY)
        return false;
    m_gravityX = x;
    m_gravityY = y;
    m_pWorld->SetGravity(b2Vec2(x, y));
    return true;
}

int32_t CPhysicsWorld::GetBodyCount() const { return m_pWorld->GetBodyCount(); }

// =============================================================================================
// [SECTION] Wrappers
// =============================================================================================

void CPhysicsWorld::Register(CPhysicsObject* object)
{
    object->m_serial = g_nextSerial++;
    object->m_pWorld = this;
    m_objects[object->m_serial] = object;
}

void CPhysicsWorld::Unregister(CPhysicsObject* object) { m_objects.erase(object->m_serial); }

CPhysicsObject* CPhysicsWorld::FindObject(uint64_t serial) const
{
    auto it = m_objects.find(serial);
    return it == m_objects.end() ? nullptr : it->second;
}

// =============================================================================================
// [SECTION] Bodies and fixtures
// =============================================================================================

bool CPhysicsWorld::BindFixture(const CPhysicsFixture* fixture, CInstance* instance)
{
    if (!fixture || !instance) return false;
    auto* object = static_cast<CPhysicsObject*>(instance->m_pPhysics);
    if (object && object->m_pWorld != this) {
        // A body of another world (the instance was carried over): it leaves that world.
        delete object;
        instance->m_pPhysics = object = nullptr;
    }
    if (!object) {
        const double x = double(instance->i_x) * double(m_scale), y = double(instance->i_y) * double(m_scale);
        const float angle = float(-double(instance->i_imageangle) * PI_FD / 180.0);
        if (!std::isfinite(x) || !std::isfinite(y) || std::fabs(x) > PHYSICS_MAX_COORDINATE ||
            std::fabs(y) > PHYSICS_MAX_COORDINATE || !std::isfinite(angle)) {
            Physics_Debug("no body for instance %d: position (%g, %g) is out of range\n", instance->i_id,
                          double(instance->i_x), double(instance->i_y));
            return false;
        }
        b2BodyDef def;
        const float density = Density(fixture->m_density);
        def.type = fixture->m_kinematic ? b2_kinematicBody : density > 0 ? b2_dynamicBody : b2_staticBody;
        def.position.Set(float(x), float(y));
        def.angle = angle;
        def.linearDamping = Material(fixture->m_linearDamping);
        def.angularDamping = Material(fixture->m_angularDamping);
        def.awake = fixture->m_awake != 0;
        object = new CPhysicsObject();
        object->m_pInstance = instance;
        Register(object);
        def.userData.pointer = reinterpret_cast<uintptr_t>(object);
        object->m_pBody = m_pWorld->CreateBody(&def);
        instance->m_pPhysics = object;
        Physics_Debug("body made for instance %d (type %d)\n", instance->i_id, int(def.type));
    }

    b2CircleShape circle;
    b2PolygonShape polygon;
    b2FixtureDef def;
    switch (fixture->m_shape) {
    case PHYSICS_SHAPE_CIRCLE: {
        const double r = fixture->m_radius;
        if (!(r >= PHYSICS_MIN_RADIUS && r <= PHYSICS_MAX_SHAPE_EXTENT)) {
            Physics_Debug("circle of radius %g left out (instance %d)\n", r, instance->i_id);
            return true;
        }
        circle.m_radius = float(r);
        def.shape = &circle;
        break;
    }
    case PHYSICS_SHAPE_POLYGON: {
        float hull[2 * PHYSICS_MAX_POINTS];
        const int32_t n = Physics_PolygonHull(fixture->m_points, fixture->m_pointCount, hull);
        if (n < 3) {
            Physics_Debug("polygon of %d points left out (instance %d)\n", fixture->m_pointCount, instance->i_id);
            return true;
        }
        b2Vec2 vs[PHYSICS_MAX_POINTS];
        for (int32_t i = 0; i < n; ++i) vs[i].Set(hull[2 * i], hull[2 * i + 1]);
        polygon.Set(vs, n);
        def.shape = &polygon;
        break;
    }
    default: return true; // no shape
    }
    def.density = Density(fixture->m_density);
    def.friction = Material(fixture->m_friction);
    def.restitution = Material(fixture->m_restitution);
    def.isSensor = fixture->m_sensor != 0;
    def.filter.groupIndex = fixture->m_group;
    object->m_pBody->CreateFixture(&def);
    return true;
}

// =============================================================================================
// [SECTION] The step
// =============================================================================================

void CPhysicsWorld::Step(int32_t roomSpeed, [[maybe_unused]] bool anyPath)
{
    if (roomSpeed < 1) return;
    m_pWorld->Step(1.0f / float(roomSpeed), PHYSICS_VELOCITY_ITERATIONS, PHYSICS_POSITION_ITERATIONS);

    // Moving bodies carry their instances along: position and (counter-clockwise) angle.
    for (b2Body* b = m_pWorld->GetBodyList(); b; b = b->GetNext()) {
        if (b->GetType() == b2_staticBody || !b->IsAwake() || !b->IsEnabled()) continue;
        auto* object = reinterpret_cast<CPhysicsObject*>(b->GetUserData().pointer);
        CInstance* i = object ? object->m_pInstance : nullptr;
        if (!i) continue;
        const b2Vec2& p = b->GetPosition();
        i->SetPosition(float(double(p.x) / double(m_scale)), float(double(p.y) / double(m_scale)));
        i->SetImageAngle(-object->GetRotation());
    }

    // The touching contacts that have a collision event either way, taken before any event
    // runs: events may move, destroy or make bodies, so each is found again by its wrappers'
    // serials. The list keeps its room from step to step.
    std::vector<PhysicsContactReport> touching;
    touching.swap(m_touching);
    touching.clear();
    for (b2Contact* c = m_pWorld->GetContactList(); c; c = c->GetNext()) {
        if (!c->IsTouching() || !c->IsEnabled()) continue;
        auto* a = reinterpret_cast<CPhysicsObject*>(c->GetFixtureA()->GetBody()->GetUserData().pointer);
        auto* b = reinterpret_cast<CPhysicsObject*>(c->GetFixtureB()->GetBody()->GetUserData().pointer);
        if (!a || !b || a == b || !a->m_pInstance || !b->m_pInstance) continue;
        if (!HasCollisionEvent(a->m_pInstance, b->m_pInstance) && !HasCollisionEvent(b->m_pInstance, a->m_pInstance))
            continue;
        PhysicsContactReport r;
        r.a = a->m_serial;
        r.b = b->m_serial;
        // Sensors have no manifold: no points (the engine then leaves its world manifold unset).
        const int32_t n = c->GetManifold()->pointCount;
        if (n > 0) {
            b2WorldManifold m;
            c->GetWorldManifold(&m);
            r.pointCount = n > 2 ? 2 : n;
            for (int32_t k = 0; k < r.pointCount; ++k) {
                r.points[2 * k] = m.points[k].x;
                r.points[2 * k + 1] = m.points[k].y;
            }
            r.normal[0] = m.normal.x;
            r.normal[1] = m.normal.y;
        }
        touching.push_back(r);
    }
    if (touching.empty()) {
        m_touching.swap(touching);
        return;
    }

    const CPhysicsWorld* outer = g_reportingWorld;
    const bool outerDeleted = g_reportingWorldDeleted;
    g_reportingWorld = this;
    g_reportingWorldDeleted = false;
    auto live = [this](uint64_t serial) -> CInstance* {
        CPhysicsObject* o = FindObject(serial);
        CInstance* i = o ? o->m_pInstance : nullptr;
        return i && !i->i_marked && !i->i_deactivated ? i : nullptr;
    };
    for (const PhysicsContactReport& r : touching) {
        if (Run_State().roomSwitch != ROOM_STAY) break;
        CInstance* a = live(r.a);
        CInstance* b = live(r.b);
        if (!a || !b) continue;
        m_report = r;
        m_reporting = true;
        PerformEvent(a, b, a->i_objindex, EVENT_COLLISION, b->i_objindex);
        if (g_reportingWorldDeleted) break;
        a = live(r.a);
        b = live(r.b);
        if (a && b) PerformEvent(b, a, b->i_objindex, EVENT_COLLISION, a->i_objindex);
        if (g_reportingWorldDeleted) break;
        m_reporting = false;
    }
    const bool deleted = g_reportingWorldDeleted;
    g_reportingWorld = outer;
    g_reportingWorldDeleted = outerDeleted;
    if (deleted) return;
    m_reporting = false;
    m_touching.swap(touching);
}

// =============================================================================================
// [SECTION] The contact being reported
// =============================================================================================

void CPhysicsWorld::SetReport(const PhysicsContactReport* report)
{
    m_reporting = report != nullptr;
    if (report) m_report = *report;
}

bool CPhysicsWorld::Reporting(const CInstance* instance) const
{
    if (!m_reporting || !instance) return false;
    const auto* o = static_cast<const CPhysicsObject*>(instance->m_pPhysics);
    return o && o->m_pWorld == this && (o->m_serial == m_report.a || o->m_serial == m_report.b);
}

int32_t CPhysicsWorld::GetContactCount(const CInstance* instance) const
{
    return Reporting(instance) ? m_report.pointCount : 0;
}

bool CPhysicsWorld::GetCollisionPoint(const CInstance* instance, int32_t n, float* x, float* y) const
{
    if (!Reporting(instance) || n < 0 || n >= m_report.pointCount) return false;
    *x = float(double(m_report.points[2 * n]) / double(m_scale));
    *y = float(double(m_report.points[2 * n + 1]) / double(m_scale));
    return true;
}

bool CPhysicsWorld::GetCollisionNormal(const CInstance* instance, int32_t n, float* x, float* y) const
{
    if (!Reporting(instance) || n < 0 || n >= m_report.pointCount) return false;
    *x = m_report.normal[0];
    *y = m_report.normal[1];
    return true;
}
