// CPhysicsObject: the wrapper an instance owns around its body, with the accessors and setters
// the built-in variables and the debugger's state record use.
//
// Needs Box2D and the world's wrapper bookkeeping (Physics_World.cpp). No Linux/ file.
#include <box2d/box2d.h>

#include <cmath>

#include "Files/Base/RealConvert.h"
#include "Files/Physics/Physics.h"

namespace {

bool Finite(float v) { return std::isfinite(v); }

// Degrees to radians and back, with pi as the float the game uses; double arithmetic,
// multiplied first and divided second, narrowed at the end.
float ToRadians(float degrees) { return float(double(degrees) * PI_FD / 180.0); }
float ToDegrees(float radians) { return float(double(radians) * 180.0 / PI_FD); }

} // namespace

CPhysicsObject::~CPhysicsObject() { RemoveFromWorld(); }

void CPhysicsObject::RemoveFromWorld()
{
    if (m_pWorld) {
        if (m_pBody) m_pWorld->Box2D()->DestroyBody(m_pBody);
        m_pWorld->Unregister(this);
    }
    m_pBody = nullptr;
    m_pWorld = nullptr;
}

// =============================================================================================
// Setters
// =============================================================================================

bool CPhysicsObject::SetPosition(float x, float y)
{
    if (!m_pBody || !Finite(x) || !Finite(y) || std::fabs(x) > PHYSICS_MAX_COORDINATE ||
        std::fabs(y) > PHYSICS_MAX_COORDINATE)
        return false;
    m_pBody->SetTransform(b2Vec2(x, y), m_pBody->GetAngle());
    m_pBody->SetAwake(true);
    return true;
}

bool CPhysicsObject::SetLinearVelocity(float vx, float vy)
{
    if (!m_pBody || !Finite(vx) || !Finite(vy)) return false;
    if (m_pBody->GetType() == b2_staticBody && (vx != 0 || vy != 0)) m_pBody->SetType(b2_kinematicBody);
    m_pBody->SetLinearVelocity(b2Vec2(vx, vy));
    m_pBody->SetAwake(true);
    return true;
}

bool CPhysicsObject::SetRotation(float degrees)
{
    const float a = ToRadians(degrees);
    if (!m_pBody || !Finite(a)) return false;
    m_pBody->SetTransform(m_pBody->GetPosition(), a);
    m_pBody->SetAwake(true);
    return true;
}

bool CPhysicsObject::SetAngularVelocity(float degrees)
{
    const float w = ToRadians(degrees);
    if (!m_pBody || !Finite(w)) return false;
    m_pBody->SetAngularVelocity(w); // static bodies keep 0; a non-zero value wakes the body
    return true;
}

bool CPhysicsObject::SetBullet(uint8_t flag)
{
    if (!m_pBody) return false;
    m_pBody->SetBullet(flag != 0);
    return true;
}

bool CPhysicsObject::SetFixedRotation(uint8_t flag)
{
    if (!m_pBody) return false;
    m_pBody->SetFixedRotation(flag != 0);
    m_pBody->ResetMassData(); // also when the flag did not change
    return true;
}

bool CPhysicsObject::SetActive(uint8_t flag)
{
    if (!m_pBody) return false;
    if (m_pBody->IsEnabled() != (flag != 0)) m_pBody->SetEnabled(flag != 0);
    return true;
}

// =============================================================================================
// Getters
// =============================================================================================

float CPhysicsObject::GetRotation() const { return m_pBody ? ToDegrees(m_pBody->GetAngle()) : 0.0f; }
float CPhysicsObject::GetAngularVelocity() const { return m_pBody ? ToDegrees(m_pBody->GetAngularVelocity()) : 0.0f; }
float CPhysicsObject::GetPositionX() const { return m_pBody ? m_pBody->GetTransform().p.x : 0.0f; }
float CPhysicsObject::GetPositionY() const { return m_pBody ? m_pBody->GetTransform().p.y : 0.0f; }
float CPhysicsObject::GetLinearVelocityX() const { return m_pBody ? m_pBody->GetLinearVelocity().x : 0.0f; }
float CPhysicsObject::GetLinearVelocityY() const { return m_pBody ? m_pBody->GetLinearVelocity().y : 0.0f; }
float CPhysicsObject::GetWorldCentreX() const { return m_pBody ? m_pBody->GetWorldCenter().x : 0.0f; }
float CPhysicsObject::GetWorldCentreY() const { return m_pBody ? m_pBody->GetWorldCenter().y : 0.0f; }
float CPhysicsObject::GetMass() const { return m_pBody ? m_pBody->GetMass() : 0.0f; }

// The engine keeps the inertia about the centre of mass to itself and answers only the
// inertia about the origin, so it is computed again from the fixtures exactly as the engine
// computes it when it resets the mass data (same order, same single-precision steps).
float CPhysicsObject::GetOwnInertia() const
{
    if (!m_pBody || m_pBody->GetType() != b2_dynamicBody) return 0.0f;
    float mass = 0.0f, inertia = 0.0f;
    b2Vec2 centre = b2Vec2_zero;
    for (const b2Fixture* f = m_pBody->GetFixtureList(); f; f = f->GetNext()) {
        if (f->GetDensity() == 0.0f) continue;
        b2MassData md;
        f->GetMassData(&md);
        mass += md.mass;
        centre += md.mass * md.center;
        inertia += md.I;
    }
    if (mass > 0.0f) centre *= 1.0f / mass;
    if (inertia > 0.0f && !m_pBody->IsFixedRotation()) return inertia - mass * b2Dot(centre, centre);
    return 0.0f;
}

float CPhysicsObject::GetInertia() const
{
    if (!m_pBody) return 0.0f;
    const b2Vec2 c = m_pBody->GetLocalCenter();
    const float squared = float(double(c.x) * double(c.x) + double(c.y) * double(c.y));
    return float(double(squared) * double(m_pBody->GetMass()) + double(GetOwnInertia()));
}

uint16_t CPhysicsObject::GetFlags() const
{
    if (!m_pBody) return 0;
    uint16_t f = 0;
    if (m_pBody->IsAwake()) f |= PHYSICS_FLAG_AWAKE;
    if (m_pBody->IsSleepingAllowed()) f |= PHYSICS_FLAG_AUTOSLEEP;
    if (m_pBody->IsBullet()) f |= PHYSICS_FLAG_BULLET;
    if (m_pBody->IsFixedRotation()) f |= PHYSICS_FLAG_FIXED_ROTATION;
    if (m_pBody->IsEnabled()) f |= PHYSICS_FLAG_ACTIVE;
    return f;
}

int32_t CPhysicsObject::GetType() const
{
    if (!m_pBody) return -1;
    switch (m_pBody->GetType()) {
    case b2_staticBody: return PHYSICS_BODY_STATIC;
    case b2_kinematicBody: return PHYSICS_BODY_KINEMATIC;
    default: return PHYSICS_BODY_DYNAMIC;
    }
}
