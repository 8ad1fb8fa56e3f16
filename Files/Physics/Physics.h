// The physics layer over Box2D: a room's physics world (CPhysicsWorld), the fixture records
// that describe the shapes of bodies (CPhysicsFixture, kept in one table), and the wrapper
// an instance owns around its body (CPhysicsObject). Rooms with physics step their world
// instead of the instances' motion and collisions; the world writes each body's position
// back to its instance and performs the collision events of the contacts that touch.
//
// Units: Box2D works in world units (metres); a world's pixel scale converts pixels to them
// (world = pixels * scale). The accessors of CPhysicsObject answer world units, unconverted;
// callers apply the scale. Angles: Box2D's radians with y growing downwards; the degree
// forms use pi as the float 3.1415927410125732 (PI_FD, Files/Base/RealConvert.h).
//
// Every value that reaches Box2D is checked first (finite, inside the ranges below; polygon
// shapes convex and not degenerate), because Box2D stops the process on input it cannot
// handle. A refused value changes nothing (setters answer false).
//
// Ownership: a room owns its world (new/delete); an instance owns its wrapper through
// m_pPhysics; a world's bodies belong to it, and deleting a world first detaches every
// wrapper of its bodies (a detached wrapper has no body and answers 0). Fixture records
// belong to the fixture table. Main thread only.
//
// Needs: Box2D 2.4 (libbox2d, used directly: it is the engine, not a platform facility), the
// instances and the event dispatch (collision events), the log console. No Linux/ file.
#pragma once
#include "Files/Base/RealConvert.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

class b2World;
class b2Body;
class CInstance;
class CPhysicsObject;
class CPhysicsFixture;
struct WorldHooks;

// Bits of a body's 16-bit flag word. ORDER: the engine's own flag bits.
enum : uint16_t {
    PHYSICS_FLAG_AWAKE = 0x0002,
    PHYSICS_FLAG_AUTOSLEEP = 0x0004,
    PHYSICS_FLAG_BULLET = 0x0008,
    PHYSICS_FLAG_FIXED_ROTATION = 0x0010,
    PHYSICS_FLAG_ACTIVE = 0x0020,
};

// Body types. ORDER: the engine's numbers, as the phy_dynamic/phy_kinematic rows read them.
enum : int32_t { PHYSICS_BODY_STATIC = 0, PHYSICS_BODY_KINEMATIC = 1, PHYSICS_BODY_DYNAMIC = 2 };

// Shape kinds of a fixture record.
enum : int32_t { PHYSICS_SHAPE_NONE = 0, PHYSICS_SHAPE_CIRCLE = 1, PHYSICS_SHAPE_POLYGON = 2 };

// Limits of what reaches the engine (world units unless said otherwise).
constexpr int32_t PHYSICS_MAX_POINTS = 8;             // points of a polygon shape
constexpr double PHYSICS_MAX_COORDINATE = 1.0e9;      // body positions
constexpr double PHYSICS_MAX_SHAPE_EXTENT = 1.0e4;    // shape points and radii, from the body origin
constexpr double PHYSICS_MIN_RADIUS = 1.0e-3;         // circles
constexpr double PHYSICS_MIN_AREA = 1.0e-5;           // polygons (square world units)
constexpr double PHYSICS_MIN_DENSITY = 1.0e-6;        // a density above 0 is at least this
constexpr double PHYSICS_MAX_MATERIAL = 1.0e9;        // density, friction, restitution, damping
constexpr double PHYSICS_MAX_GRAVITY = 1.0e9;
constexpr double PHYSICS_MIN_SCALE = 1.0e-6;          // pixels to world units
constexpr double PHYSICS_MAX_SCALE = 1.0e6;
constexpr float PHYSICS_DEFAULT_SCALE = 0.1f;         // taken for a scale outside those bounds
constexpr int32_t PHYSICS_VELOCITY_ITERATIONS = 8;
constexpr int32_t PHYSICS_POSITION_ITERATIONS = 3;

// =============================================================================================
// Fixture records
// =============================================================================================

class CPhysicsFixture {
public:
    // A circle of radius r (world units) about the body origin.
    void SetCircleShape(float radius);
    // An empty polygon, to be filled with AddPoint.
    void SetPolygonShape();
    // Appends a point (world units) to the polygon; false (nothing added) when the shape is not
    // a polygon or already holds PHYSICS_MAX_POINTS points.
    bool AddPoint(float x, float y);

    int32_t m_id = -1;             // index in the fixture table
    // Body settings.
    float m_linearDamping = 0, m_angularDamping = 0;
    uint8_t m_awake = 1;           // the body starts awake
    uint8_t m_kinematic = 0;       // the body is kinematic
    // Fixture definition.
    uint8_t m_sensor = 0;
    int16_t m_group = 0;           // collision group: same positive group always collides, same negative never
    float m_density = 0, m_restitution = 0, m_friction = 0.2f;
    int32_t m_shape = PHYSICS_SHAPE_NONE;
    float m_radius = 0;
    int32_t m_pointCount = 0;
    float m_points[2 * PHYSICS_MAX_POINTS] = {};
};

// A new record in the fixture table (never null).
CPhysicsFixture* Physics_CreateFixture();
// The record of id, or null.
CPhysicsFixture* Physics_FixtureFind(int32_t id);
// Frees the record of id (its slot is reused); nothing for an unknown id.
void Physics_DeleteFixture(int32_t id);
int32_t Physics_FixtureCount(); // records in use
void Physics_FreeFixtures();

// The polygon Box2D will be given for the points (x, y pairs, world units): the convex hull,
// counter-clockwise, without points closer than the engine's tolerance or (nearly) on a line.
// Answers the hull's point count (3..8) written to out, or 0 when the points make no usable
// polygon (fewer than three distinct corners, not finite, too large, too thin, or offset so
// far from the body origin that the engine's inertia would round to nothing).
int32_t Physics_PolygonHull(const float* points, int32_t count, float* out);

// =============================================================================================
// Bodies
// =============================================================================================

class CPhysicsWorld;

class CPhysicsObject {
public:
    b2Body* m_pBody = nullptr;           // first field: the body (null once detached)
    int32_t m_collisionCategory = -1;    // collision-category entry index; -1 none
    CPhysicsWorld* m_pWorld = nullptr;   // the world that holds the body
    CInstance* m_pInstance = nullptr;    // the owner
    uint64_t m_serial = 0;               // unique per wrapper, for contacts held across events

    ~CPhysicsObject();
    // Takes the body out of its world (forgets its fixtures, destroys it).
    void RemoveFromWorld();

    // Setters: false, with nothing changed, for a value that is not finite (or out of range)
    // or without a body.
    bool SetPosition(float x, float y);            // angle kept; wakes the body
    bool SetLinearVelocity(float vx, float vy);    // a static body moved becomes kinematic; wakes
    bool SetRotation(float degrees);               // wakes the body
    bool SetAngularVelocity(float degrees);        // static bodies ignore it; wakes when not 0
    bool SetBullet(uint8_t flag);
    bool SetFixedRotation(uint8_t flag);           // then the mass data is computed again
    bool SetActive(uint8_t flag);

    float GetRotation() const;                     // degrees
    float GetAngularVelocity() const;              // degrees per second
    float GetPositionX() const;
    float GetPositionY() const;
    float GetLinearVelocityX() const;
    float GetLinearVelocityY() const;
    float GetWorldCentreX() const;
    float GetWorldCentreY() const;
    float GetMass() const;
    // Rotational inertia about the body origin: f32(|local centre|^2) * mass + own inertia.
    float GetInertia() const;
    // The body's own rotational inertia about its centre of mass.
    float GetOwnInertia() const;
    uint16_t GetFlags() const;
    int32_t GetType() const;                       // PHYSICS_BODY_*; -1 without a body
    bool IsBullet() const { return (GetFlags() & PHYSICS_FLAG_BULLET) != 0; }
    bool IsFixedRotation() const { return (GetFlags() & PHYSICS_FLAG_FIXED_ROTATION) != 0; }
    bool IsActive() const { return (GetFlags() & PHYSICS_FLAG_ACTIVE) != 0; }
    bool IsSleeping() const { return m_pBody && (GetFlags() & PHYSICS_FLAG_AWAKE) == 0; }
    bool IsDynamic() const { return GetType() == PHYSICS_BODY_DYNAMIC; }
    bool IsKinematic() const { return GetType() == PHYSICS_BODY_KINEMATIC; }
};

// =============================================================================================
// Worlds
// =============================================================================================

// The contact whose collision events are being performed.
struct PhysicsContactReport {
    uint64_t a = 0, b = 0;  // serials of the two wrappers
    int32_t pointCount = 0; // 0..2
    float points[4] = {};   // world units
    float normal[2] = {};   // unit vector from a to b
};

class CPhysicsWorld {
public:
    // A world whose scale converts pixels to world units, stepped steps times a second.
    CPhysicsWorld(float pixelsToMetres, int32_t stepsPerSecond);
    // A new empty world with the other's scale, speed and gravity (a live room made from a
    // template that has a world).
    CPhysicsWorld(const CPhysicsWorld& other);
    CPhysicsWorld& operator=(const CPhysicsWorld&) = delete;
    // Destroys the world and its bodies; their wrappers are detached first.
    ~CPhysicsWorld();

    // Gravity in world units per second squared; false (unchanged) when not finite.
    bool SetGravity(float x, float y);
    // One step of 1 / roomSpeed seconds (nothing when the speed is below 1), then every moving
    // body's position and angle go to its instance and the collision events of the touching
    // contacts are performed (both ways, for the instances whose objects have them), with that
    // contact as the one being reported.
    void Step(int32_t roomSpeed, bool anyPath);
    // Binds the fixture to the instance, creating its body (and wrapper) when it has none.
    // False when no body can be made (position not finite or out of range); a shape that
    // cannot be made is left out and the body kept.
    bool BindFixture(const CPhysicsFixture* fixture, CInstance* instance);

    // Contact point n of the contact being reported, in pixels; false when the instance is not
    // part of it or n is outside 0..count-1.
    bool GetCollisionPoint(const CInstance* instance, int32_t n, float* x, float* y) const;
    // The normal of that contact's manifold (a unit vector; not scaled).
    bool GetCollisionNormal(const CInstance* instance, int32_t n, float* x, float* y) const;
    // Points of the contact being reported for the instance; 0 when none or not part of it.
    int32_t GetContactCount(const CInstance* instance) const;

    float GetScale() const { return m_scale; }
    int32_t GetStepsPerSecond() const { return m_stepsPerSecond; }
    float GetGravityX() const { return m_gravityX; }
    float GetGravityY() const { return m_gravityY; }
    int32_t GetBodyCount() const;
    b2World* Box2D() const { return m_pWorld; }

    // Bookkeeping of the wrappers (Physics_World.cpp and the wrapper's own removal).
    void Register(CPhysicsObject* object);
    void Unregister(CPhysicsObject* object);
    CPhysicsObject* FindObject(uint64_t serial) const;

    // Test tooling: the report the collision events see.
    void SetReport(const PhysicsContactReport* report);

private:
    void Make();
    bool Reporting(const CInstance* instance) const;

    b2World* m_pWorld = nullptr;
    float m_scale;
    int32_t m_stepsPerSecond;
    float m_gravityX = 0, m_gravityY = 0;
    std::unordered_map<uint64_t, CPhysicsObject*> m_objects;
    PhysicsContactReport m_report;
    bool m_reporting = false;
    std::vector<PhysicsContactReport> m_touching; // the step's contacts (room kept between steps)
};

// =============================================================================================
// Layer
// =============================================================================================

// Switches the layer's own trace lines on (world and body creation, refused shapes and
// values), on the log console as "Physics: ...". Called for "-debug" and the options.ini
// key "Debug"; worlds also switch it on when the start-up options ask for it.
void Physics_EnableDebugMessages();
bool Physics_DebugMessagesEnabled();
void Physics_DisableDebugMessages(); // tests

// Fills the physics entries of the world's hooks (rooms, instances, the step).
void Physics_InstallHooks(WorldHooks& hooks);

// The world of the current room, or null.
CPhysicsWorld* Physics_CurrentWorld();
// The instance's wrapper, or null.
CPhysicsObject* Physics_Object(const CInstance* instance);

// The "Physics.." group of built-in functions (none on this platform yet).
void InitFunctions_Physics();
