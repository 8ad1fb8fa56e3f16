// The physics layer: bodies stepped against Box2D itself, the degree and inertia conversions,
// the flag word, refused values and shapes, worlds deleted before their instances, and rooms
// with physics: bodies made from objects, positions written back, collision events with the
// contact being reported, the phy_* variables.
#include <box2d/box2d.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "Files/Base/Console.h"
#include "Files/Base/RealConvert.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Object/Event.h"
#include "Files/Object/Instance.h"
#include "Files/Physics/Physics.h"
#include "Files/Run/Run_Main.h"
#include "Files/World/World_Hooks.h"
#include "services/ServicesSupport.h"
#include "support/CaptureConsole.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Bare worlds and instances with the physics hooks installed (an instance's destructor
// releases its body through them).
class PhysicsLayer : public ::testing::Test {
protected:
    void SetUp() override
    {
        World_Hooks() = WorldHooks();
        Physics_InstallHooks(World_Hooks());
    }
    void TearDown() override
    {
        World_Hooks() = WorldHooks();
        Physics_FreeFixtures();
        Physics_DisableDebugMessages();
    }
    // A fixture record the test fills; freed at the end.
    static CPhysicsFixture* Circle(float r, float density)
    {
        CPhysicsFixture* f = Physics_CreateFixture();
        f->SetCircleShape(r);
        f->m_density = density;
        return f;
    }
    static CPhysicsFixture* Box(float x0, float y0, float x1, float y1, float density)
    {
        CPhysicsFixture* f = Physics_CreateFixture();
        f->SetPolygonShape();
        f->AddPoint(x0, y0);
        f->AddPoint(x1, y0);
        f->AddPoint(x1, y1);
        f->AddPoint(x0, y1);
        f->m_density = density;
        return f;
    }
};

float Scaled(float pixels, float scale) { return float(double(pixels) * double(scale)); }

} // namespace

// =============================================================================================
// Stepping against the engine
// =============================================================================================

TEST_F(PhysicsLayer, FallingBodiesFollowTheEngineExactly)
{
    const float scale = 0.1f;
    CPhysicsWorld world(scale, 30);
    ASSERT_TRUE(world.SetGravity(0, 10));
    CInstance circle(100, 50, 100001, -1, false);
    CInstance box(300, 20, 100002, -1, false);
    box.i_imageangle = 30;
    CPhysicsFixture* fc = Circle(1.5f, 2);
    fc->m_friction = 0.3f;
    fc->m_restitution = 0.25f;
    fc->m_linearDamping = 0.1f;
    ASSERT_TRUE(world.BindFixture(fc, &circle));
    CPhysicsFixture* fb = Box(-1, -0.5f, 1, 0.5f, 1);
    fb->m_angularDamping = 0.5f;
    ASSERT_TRUE(world.BindFixture(fb, &box));
    CPhysicsObject* oc = Physics_Object(&circle);
    CPhysicsObject* ob = Physics_Object(&box);
    ASSERT_TRUE(oc && ob);
    ASSERT_TRUE(ob->SetAngularVelocity(45));

    // The same scene made directly.
    b2World raw(b2Vec2(0, 10));
    b2BodyDef cd;
    cd.type = b2_dynamicBody;
    cd.position.Set(Scaled(100, scale), Scaled(50, scale));
    cd.linearDamping = 0.1f;
    b2Body* rc = raw.CreateBody(&cd);
    b2CircleShape cs;
    cs.m_radius = 1.5f;
    b2FixtureDef cf;
    cf.shape = &cs;
    cf.density = 2;
    cf.friction = 0.3f;
    cf.restitution = 0.25f;
    rc->CreateFixture(&cf);
    b2BodyDef bd;
    bd.type = b2_dynamicBody;
    bd.position.Set(Scaled(300, scale), Scaled(20, scale));
    bd.angle = float(-30.0 * PI_FD / 180.0);
    bd.angularDamping = 0.5f;
    b2Body* rb = raw.CreateBody(&bd);
    b2PolygonShape ps;
    ps.SetAsBox(1, 0.5f);
    b2FixtureDef bf;
    bf.shape = &ps;
    bf.density = 1;
    bf.friction = 0.2f;
    rb->CreateFixture(&bf);
    rb->SetAngularVelocity(float(45.0 * PI_FD / 180.0));

    for (int step = 0; step < 90; ++step) {
        world.Step(30, false);
        raw.Step(1.0f / 30.0f, 8, 3);
        ASSERT_EQ(oc->GetPositionX(), rc->GetPosition().x) << "step " << step;
        ASSERT_EQ(oc->GetPositionY(), rc->GetPosition().y) << "step " << step;
        ASSERT_EQ(oc->GetLinearVelocityY(), rc->GetLinearVelocity().y) << "step " << step;
        ASSERT_EQ(ob->GetPositionX(), rb->GetPosition().x) << "step " << step;
        ASSERT_EQ(ob->GetPositionY(), rb->GetPosition().y) << "step " << step;
        ASSERT_EQ(ob->GetRotation(), float(double(rb->GetAngle()) * 180.0 / PI_FD)) << "step " << step;
    }
    // After 3 seconds under 10 m/s^2 the circle fell about 45 m less its damping.
    EXPECT_GT(oc->GetPositionY(), 5 + 30);
    EXPECT_LT(oc->GetPositionY(), 5 + 46);
    // The instances follow their bodies, in pixels, and the box's angle turns counter-clockwise.
    EXPECT_EQ(circle.i_x, float(double(rc->GetPosition().x) / double(scale)));
    EXPECT_EQ(circle.i_y, float(double(rc->GetPosition().y) / double(scale)));
    EXPECT_EQ(box.i_imageangle, -ob->GetRotation());
    EXPECT_EQ(world.GetBodyCount(), 2);
}

TEST_F(PhysicsLayer, StepsLastOneFrameOfTheRoomSpeedAndNothingBelowOne)
{
    CPhysicsWorld world(1, 60);
    ASSERT_TRUE(world.SetGravity(0, 9));
    CInstance a(0, 0, 100001, -1, false);
    ASSERT_TRUE(world.BindFixture(Circle(0.5f, 1), &a));
    CPhysicsObject* o = Physics_Object(&a);
    world.Step(0, false);
    world.Step(-5, false);
    EXPECT_EQ(o->GetLinearVelocityY(), 0.0f) << "a speed below 1 does not step";
    world.Step(60, false);
    EXPECT_FLOAT_EQ(o->GetLinearVelocityY(), 9.0f / 60.0f);
    world.Step(10, false);
    EXPECT_FLOAT_EQ(o->GetLinearVelocityY(), 9.0f / 60.0f + 9.0f / 10.0f);
}

TEST_F(PhysicsLayer, CopiedWorldsKeepScaleSpeedAndGravityButNoBodies)
{
    CPhysicsWorld world(0.25f, 40);
    ASSERT_TRUE(world.SetGravity(1, -2));
    CInstance a(0, 0, 100001, -1, false);
    ASSERT_TRUE(world.BindFixture(Circle(0.5f, 1), &a));
    CPhysicsWorld copy(world);
    EXPECT_EQ(copy.GetScale(), 0.25f);
    EXPECT_EQ(copy.GetStepsPerSecond(), 40);
    EXPECT_EQ(copy.GetGravityX(), 1.0f);
    EXPECT_EQ(copy.GetGravityY(), -2.0f);
    EXPECT_EQ(copy.GetBodyCount(), 0);
    EXPECT_EQ(copy.Box2D()->GetGravity().y, -2.0f);
}

TEST_F(PhysicsLayer, UnusableScalesAndGravityAreRefused)
{
    EXPECT_EQ(CPhysicsWorld(0, 30).GetScale(), PHYSICS_DEFAULT_SCALE);
    EXPECT_EQ(CPhysicsWorld(-1, 30).GetScale(), PHYSICS_DEFAULT_SCALE);
    EXPECT_EQ(CPhysicsWorld(kNaN, 30).GetScale(), PHYSICS_DEFAULT_SCALE);
    EXPECT_EQ(CPhysicsWorld(kInf, 30).GetScale(), PHYSICS_DEFAULT_SCALE);
    EXPECT_EQ(CPhysicsWorld(0.03f, 30).GetScale(), 0.03f);
    CPhysicsWorld world(1, 30);
    ASSERT_TRUE(world.SetGravity(0, 10));
    EXPECT_FALSE(world.SetGravity(kNaN, 0));
    EXPECT_FALSE(world.SetGravity(0, kInf));
    EXPECT_FALSE(world.SetGravity(0, 3e38f));
    EXPECT_EQ(world.GetGravityY(), 10.0f) << "a refused gravity leaves the old one";
}

// =============================================================================================
// Conversions and flags
// =============================================================================================

TEST_F(PhysicsLayer, DegreesUseTheSinglePrecisionPi)
{
    CPhysicsWorld world(1, 30);
    CInstance a(0, 0, 100001, -1, false);
    ASSERT_TRUE(world.BindFixture(Circle(1, 1), &a));
    CPhysicsObject* o = Physics_Object(&a);
    for (float deg : {90.0f, 33.3f, -720.5f, 0.1f}) {
        ASSERT_TRUE(o->SetRotation(deg));
        const float radians = float(double(deg) * 3.1415927410125732 / 180.0);
        EXPECT_EQ(o->m_pBody->GetAngle(), radians) << deg;
        EXPECT_EQ(o->GetRotation(), float(double(radians) * 180.0 / 3.1415927410125732)) << deg;
        ASSERT_TRUE(o->SetAngularVelocity(deg));
        EXPECT_EQ(o->m_pBody->GetAngularVelocity(), radians) << deg;
        EXPECT_EQ(o->GetAngularVelocity(), float(double(radians) * 180.0 / 3.1415927410125732)) << deg;
    }
    // Not the double pi: 180 degrees is the float pi exactly, so the angle reads back 180.
    ASSERT_TRUE(o->SetRotation(180));
    EXPECT_EQ(o->m_pBody->GetAngle(), 3.1415927410125732f);
    EXPECT_EQ(o->GetRotation(), 180.0f);
}

TEST_F(PhysicsLayer, InertiaAboutTheOriginFollowsItsFormula)
{
    CPhysicsWorld world(1, 30);
    CInstance a(0, 0, 100001, -1, false);
    // A box away from the body origin, so the centre of mass is off the origin.
    ASSERT_TRUE(world.BindFixture(Box(1, 2, 3.5f, 2.75f, 1.3f), &a));
    CPhysicsObject* o = Physics_Object(&a);
    const b2Vec2 c = o->m_pBody->GetLocalCenter();
    EXPECT_NEAR(c.x, 2.25f, 1e-6);
    EXPECT_NEAR(c.y, 2.375f, 1e-6);
    const float own = o->GetOwnInertia();
    // Own inertia of a w x h box about its centre: m (w^2 + h^2) / 12.
    const double m = 1.3 * 2.5 * 0.75;
    EXPECT_NEAR(own, m * (2.5 * 2.5 + 0.75 * 0.75) / 12.0, 1e-5);
    EXPECT_NEAR(o->GetMass(), m, 1e-5);
    // The engine's own figure is exactly the own inertia plus mass times |centre|^2 in float.
    EXPECT_EQ(o->m_pBody->GetInertia(), own + o->GetMass() * b2Dot(c, c));
    const float squared = float(double(c.x) * c.x + double(c.y) * c.y);
    EXPECT_EQ(o->GetInertia(), float(double(squared) * double(o->GetMass()) + double(own)));
    // Fixed rotation: no own inertia; the formula keeps the offset term.
    ASSERT_TRUE(o->SetFixedRotation(1));
    EXPECT_EQ(o->GetOwnInertia(), 0.0f);
    EXPECT_EQ(o->GetInertia(), float(double(squared) * double(o->GetMass())));
    ASSERT_TRUE(o->SetFixedRotation(0));
    EXPECT_EQ(o->GetOwnInertia(), own);
}

TEST_F(PhysicsLayer, FlagWordBitsAndTheirSetters)
{
    CPhysicsWorld world(1, 30);
    CInstance a(0, 0, 100001, -1, false);
    ASSERT_TRUE(world.BindFixture(Circle(1, 1), &a));
    CPhysicsObject* o = Physics_Object(&a);
    EXPECT_EQ(o->GetFlags(), PHYSICS_FLAG_AWAKE | PHYSICS_FLAG_AUTOSLEEP | PHYSICS_FLAG_ACTIVE);
    EXPECT_TRUE(o->IsDynamic());
    EXPECT_FALSE(o->IsKinematic());
    EXPECT_FALSE(o->IsSleeping());

    ASSERT_TRUE(o->SetBullet(7));
    EXPECT_EQ(o->GetFlags() & 0x0008, 0x0008);
    EXPECT_TRUE(o->IsBullet());
    ASSERT_TRUE(o->SetBullet(0));
    EXPECT_FALSE(o->IsBullet());
    EXPECT_EQ(o->GetFlags(), PHYSICS_FLAG_AWAKE | PHYSICS_FLAG_AUTOSLEEP | PHYSICS_FLAG_ACTIVE) << "nothing else changed";

    ASSERT_TRUE(o->SetFixedRotation(1));
    EXPECT_EQ(o->GetFlags() & 0x0010, 0x0010);
    EXPECT_TRUE(o->IsFixedRotation());

    // Deactivated: no bit 0x0020, and the body stops taking part in the step.
    ASSERT_TRUE(world.SetGravity(0, 10));
    ASSERT_TRUE(o->SetActive(0));
    EXPECT_EQ(o->GetFlags() & 0x0020, 0);
    EXPECT_FALSE(o->IsActive());
    world.Step(30, false);
    EXPECT_EQ(o->GetPositionY(), 0.0f);
    ASSERT_TRUE(o->SetActive(0)) << "already inactive: nothing to do";
    ASSERT_TRUE(o->SetActive(1));
    world.Step(30, false);
    EXPECT_GT(o->GetPositionY(), 0.0f);

    // Asleep: the awake bit is clear; moving the body wakes it.
    o->m_pBody->SetAwake(false);
    EXPECT_TRUE(o->IsSleeping());
    EXPECT_EQ(o->GetFlags() & 0x0002, 0);
    ASSERT_TRUE(o->SetPosition(5, 5));
    EXPECT_FALSE(o->IsSleeping());
}

TEST_F(PhysicsLayer, BodyTypesFromDensityAndTheKinematicFlag)
{
    CPhysicsWorld world(1, 30);
    CInstance s(0, 0, 100001, -1, false), k(0, 0, 100002, -1, false), d(0, 0, 100003, -1, false);
    ASSERT_TRUE(world.BindFixture(Circle(1, 0), &s));
    CPhysicsFixture* kf = Circle(1, 1);
    kf->m_kinematic = 1;
    ASSERT_TRUE(world.BindFixture(kf, &k));
    ASSERT_TRUE(world.BindFixture(Circle(1, 1), &d));
    EXPECT_EQ(Physics_Object(&s)->GetType(), PHYSICS_BODY_STATIC);
    EXPECT_EQ(Physics_Object(&k)->GetType(), PHYSICS_BODY_KINEMATIC);
    EXPECT_EQ(Physics_Object(&d)->GetType(), PHYSICS_BODY_DYNAMIC);

    // A static body given a velocity becomes kinematic; a zero velocity leaves it static.
    CPhysicsObject* o = Physics_Object(&s);
    ASSERT_TRUE(o->SetLinearVelocity(0, 0));
    EXPECT_EQ(o->GetType(), PHYSICS_BODY_STATIC);
    ASSERT_TRUE(o->SetAngularVelocity(90));
    EXPECT_EQ(o->GetAngularVelocity(), 0.0f) << "static bodies do not turn";
    ASSERT_TRUE(o->SetLinearVelocity(2, -1));
    EXPECT_TRUE(o->IsKinematic());
    EXPECT_EQ(o->GetLinearVelocityX(), 2.0f);
    EXPECT_EQ(o->GetLinearVelocityY(), -1.0f);
    EXPECT_FALSE(o->IsSleeping());
    world.Step(10, false);
    EXPECT_EQ(o->GetPositionX(), 0.2f);
    EXPECT_EQ(s.i_x, 0.2f) << "the moving body carries its instance";
}

TEST_F(PhysicsLayer, ValuesTheEngineCannotTakeAreRefused)
{
    CPhysicsWorld world(1, 30);
    CInstance a(10, 20, 100001, -1, false);
    ASSERT_TRUE(world.BindFixture(Circle(1, 1), &a));
    CPhysicsObject* o = Physics_Object(&a);
    EXPECT_FALSE(o->SetPosition(kNaN, 0));
    EXPECT_FALSE(o->SetPosition(0, kInf));
    EXPECT_FALSE(o->SetPosition(3e38f, 0));
    EXPECT_FALSE(o->SetLinearVelocity(kNaN, 0));
    EXPECT_FALSE(o->SetLinearVelocity(0, -kInf));
    EXPECT_FALSE(o->SetRotation(kNaN));
    EXPECT_FALSE(o->SetRotation(-kInf));
    EXPECT_FALSE(o->SetAngularVelocity(kInf));
    EXPECT_EQ(o->GetPositionX(), 10.0f);
    EXPECT_EQ(o->GetPositionY(), 20.0f);
    EXPECT_EQ(o->GetRotation(), 0.0f);
    world.Step(30, false);

    // An instance at an unusable position gets no body.
    CInstance far(kInf, 0, 100002, -1, false);
    EXPECT_FALSE(world.BindFixture(Circle(1, 1), &far));
    EXPECT_EQ(far.m_pPhysics, nullptr);
    CInstance nan(0, kNaN, 100003, -1, false);
    EXPECT_FALSE(world.BindFixture(Circle(1, 1), &nan));
    // Damping and materials out of range are held to what the engine takes.
    CInstance odd(0, 0, 100004, -1, false);
    CPhysicsFixture* f = Circle(1, kNaN);
    f->m_linearDamping = -5;
    f->m_angularDamping = kInf;
    f->m_friction = -1;
    f->m_restitution = kNaN;
    ASSERT_TRUE(world.BindFixture(f, &odd));
    b2Body* b = Physics_Object(&odd)->m_pBody;
    EXPECT_EQ(b->GetLinearDamping(), 0.0f);
    EXPECT_EQ(b->GetAngularDamping(), 0.0f);
    EXPECT_EQ(b->GetType(), b2_staticBody) << "a density that is not a number counts as 0";
    EXPECT_EQ(b->GetFixtureList()->GetFriction(), 0.0f);
    world.Step(30, false);
}

TEST_F(PhysicsLayer, ShapesTheEngineCannotTakeAreLeftOut)
{
    CPhysicsWorld world(1, 30);
    auto fixtures = [](CInstance& i) {
        CPhysicsObject* o = Physics_Object(&i);
        int n = 0;
        for (b2Fixture* f = o->m_pBody->GetFixtureList(); f; f = f->GetNext()) ++n;
        return n;
    };
    CInstance tiny(0, 0, 100001, -1, false), huge(0, 0, 100002, -1, false), nan(0, 0, 100003, -1, false);
    ASSERT_TRUE(world.BindFixture(Circle(1e-6f, 1), &tiny));
    ASSERT_TRUE(world.BindFixture(Circle(1e30f, 1), &huge));
    ASSERT_TRUE(world.BindFixture(Circle(kNaN, 1), &nan));
    EXPECT_EQ(fixtures(tiny), 0) << "the body stays, without the shape";
    EXPECT_EQ(fixtures(huge), 0);
    EXPECT_EQ(fixtures(nan), 0);
    CInstance line(0, 0, 100004, -1, false);
    CPhysicsFixture* f = Physics_CreateFixture();
    f->SetPolygonShape();
    f->AddPoint(0, 0);
    f->AddPoint(1, 0);
    f->AddPoint(2, 0);
    f->m_density = 1;
    ASSERT_TRUE(world.BindFixture(f, &line));
    EXPECT_EQ(fixtures(line), 0);
    // A second good fixture on the same body is added.
    ASSERT_TRUE(world.BindFixture(Box(0, 0, 1, 1, 1), &line));
    EXPECT_EQ(fixtures(line), 1);
    EXPECT_EQ(world.GetBodyCount(), 4);
    for (int k = 0; k < 10; ++k) world.Step(30, false);
}

TEST(PhysicsPolygon, HullsAreConvexCounterClockwiseAndClean)
{
    float out[16];
    // A square given clockwise with a point inside and a duplicate: the four corners.
    const float square[] = {0, 0, 0, 2, 2, 2, 1, 1, 2, 0, 0, 0.001f};
    ASSERT_EQ(Physics_PolygonHull(square, 6, out), 4);
    double area = 0;
    for (int i = 0; i < 4; ++i) {
        const int j = (i + 1) % 4;
        area += double(out[2 * i]) * out[2 * j + 1] - double(out[2 * j]) * out[2 * i + 1];
    }
    EXPECT_DOUBLE_EQ(area / 2, 4.0) << "counter-clockwise with the full area";
    // A point on an edge (collinear) is dropped.
    const float edge[] = {0, 0, 1, 0, 2, 0, 2, 1};
    EXPECT_EQ(Physics_PolygonHull(edge, 4, out), 3);
}

TEST(PhysicsPolygon, DegenerateOrUnsafePointsGiveNoPolygon)
{
    float out[16];
    const float two[] = {0, 0, 1, 1};
    EXPECT_EQ(Physics_PolygonHull(two, 2, out), 0);
    const float line[] = {0, 0, 1, 1, 2, 2, 3, 3};
    EXPECT_EQ(Physics_PolygonHull(line, 4, out), 0);
    const float same[] = {1, 1, 1, 1, 1.001f, 1, 1, 1.001f};
    EXPECT_EQ(Physics_PolygonHull(same, 4, out), 0) << "points within the engine's tolerance weld";
    const float nan[] = {0, 0, 1, 0, kNaN, 1};
    EXPECT_EQ(Physics_PolygonHull(nan, 3, out), 0);
    const float big[] = {0, 0, 1e5f, 0, 0, 1e5f};
    EXPECT_EQ(Physics_PolygonHull(big, 3, out), 0);
    const float sliver[] = {0, 0, 10, 0, 5, 1e-5f};
    EXPECT_EQ(Physics_PolygonHull(sliver, 3, out), 0);
    const float tiny[] = {0, 0, 0.1f, 0, 0.05f, 0.00015f};
    EXPECT_EQ(Physics_PolygonHull(tiny, 3, out), 0) << "area below the minimum";
    // Small shape far from the body origin: the engine's inertia would cancel to nothing.
    const float offset[] = {5000, 5000, 5000.5f, 5000, 5000.5f, 5000.5f, 5000, 5000.5f};
    EXPECT_EQ(Physics_PolygonHull(offset, 4, out), 0);
    const float nine[18] = {};
    EXPECT_EQ(Physics_PolygonHull(nine, 9, out), 0);
}

TEST(PhysicsFixtures, TableReusesFreedSlotsAndPolygonsHoldEightPoints)
{
    CPhysicsFixture* a = Physics_CreateFixture();
    CPhysicsFixture* b = Physics_CreateFixture();
    EXPECT_EQ(Physics_FixtureFind(a->m_id), a);
    EXPECT_EQ(Physics_FixtureCount(), 2);
    const int32_t freed = a->m_id;
    Physics_DeleteFixture(freed);
    EXPECT_EQ(Physics_FixtureFind(freed), nullptr);
    Physics_DeleteFixture(freed);
    Physics_DeleteFixture(-1);
    Physics_DeleteFixture(1000);
    CPhysicsFixture* c = Physics_CreateFixture();
    EXPECT_EQ(c->m_id, freed);
    EXPECT_FALSE(b->AddPoint(1, 1)) << "not a polygon";
    b->SetPolygonShape();
    for (int k = 0; k < 8; ++k) EXPECT_TRUE(b->AddPoint(float(k), float(k * k)));
    EXPECT_FALSE(b->AddPoint(9, 9));
    EXPECT_EQ(b->m_pointCount, 8);
    b->SetCircleShape(2);
    EXPECT_EQ(b->m_pointCount, 0);
    EXPECT_EQ(b->m_radius, 2.0f);
    Physics_FreeFixtures();
    EXPECT_EQ(Physics_FixtureCount(), 0);
}

// =============================================================================================
// Lifetimes
// =============================================================================================

TEST_F(PhysicsLayer, DeletingAWorldDetachesTheWrappersOfItsBodies)
{
    auto* world = new CPhysicsWorld(1, 30);
    auto* a = new CInstance(0, 0, 100001, -1, false);
    ASSERT_TRUE(world->BindFixture(Circle(1, 1), a));
    CPhysicsObject* o = Physics_Object(a);
    delete world; // as a room frees its world before its instances
    EXPECT_EQ(o->m_pBody, nullptr);
    EXPECT_EQ(o->m_pWorld, nullptr);
    EXPECT_EQ(o->GetMass(), 0.0f);
    EXPECT_FALSE(o->SetPosition(1, 1));
    EXPECT_FALSE(o->IsSleeping());
    delete a; // releases the detached wrapper without reaching the engine
}

TEST_F(PhysicsLayer, AnInstanceLeavesItsWorldWhenDeleted)
{
    CPhysicsWorld world(1, 30);
    auto* a = new CInstance(0, 0, 100001, -1, false);
    CInstance b(5, 0, 100002, -1, false);
    ASSERT_TRUE(world.BindFixture(Circle(1, 1), a));
    ASSERT_TRUE(world.BindFixture(Circle(1, 1), &b));
    EXPECT_EQ(world.GetBodyCount(), 2);
    const uint64_t serial = Physics_Object(a)->m_serial;
    delete a;
    EXPECT_EQ(world.GetBodyCount(), 1);
    EXPECT_EQ(world.FindObject(serial), nullptr);
    world.Step(30, false);
    // Binding into another world moves the instance's body there.
    CPhysicsWorld other(1, 30);
    ASSERT_TRUE(other.BindFixture(Circle(1, 1), &b));
    EXPECT_EQ(world.GetBodyCount(), 0);
    EXPECT_EQ(other.GetBodyCount(), 1);
    EXPECT_EQ(Physics_Object(&b)->m_pWorld, &other);
}

TEST_F(PhysicsLayer, DebugMessagesGoToTheConsoleOnceSwitchedOn)
{
    CaptureConsole log;
    { CPhysicsWorld quiet(1, 30); }
    EXPECT_EQ(log.text.find("Physics:"), std::string::npos);
    Physics_EnableDebugMessages();
    EXPECT_TRUE(Physics_DebugMessagesEnabled());
    { CPhysicsWorld loud(0, 30); }
    EXPECT_NE(log.text.find("Physics: pixels to metres 0 is not usable; 0.1 taken\n"), std::string::npos) << log.text;
    EXPECT_NE(log.text.find("Physics: world made: scale 0.1, 30 steps a second\n"), std::string::npos);
    EXPECT_NE(log.text.find("Physics: world deleted\n"), std::string::npos);
}

// =============================================================================================
// The contact being reported
// =============================================================================================

TEST_F(PhysicsLayer, TheReportAnswersOnlyForItsOwnInstances)
{
    CPhysicsWorld world(0.5f, 30);
    CInstance a(0, 0, 100001, -1, false), b(10, 0, 100002, -1, false), c(20, 0, 100003, -1, false);
    for (CInstance* i : {&a, &b, &c}) ASSERT_TRUE(world.BindFixture(Circle(1, 1), i));
    PhysicsContactReport r;
    r.a = Physics_Object(&a)->m_serial;
    r.b = Physics_Object(&b)->m_serial;
    r.pointCount = 2;
    const float points[4] = {1, 2, 3, 4};
    std::memcpy(r.points, points, sizeof points);
    r.normal[0] = 0;
    r.normal[1] = -1;
    float x = 0, y = 0;
    EXPECT_FALSE(world.GetCollisionPoint(&a, 0, &x, &y)) << "nothing is being reported";
    EXPECT_EQ(world.GetContactCount(&a), 0);
    world.SetReport(&r);
    EXPECT_EQ(world.GetContactCount(&a), 2);
    EXPECT_EQ(world.GetContactCount(&b), 2);
    EXPECT_EQ(world.GetContactCount(&c), 0);
    ASSERT_TRUE(world.GetCollisionPoint(&b, 1, &x, &y));
    EXPECT_EQ(x, 6.0f) << "points in pixels";
    EXPECT_EQ(y, 8.0f);
    ASSERT_TRUE(world.GetCollisionNormal(&a, 0, &x, &y));
    EXPECT_EQ(x, 0.0f);
    EXPECT_EQ(y, -1.0f) << "normals stay unit vectors";
    EXPECT_FALSE(world.GetCollisionPoint(&a, 2, &x, &y));
    EXPECT_FALSE(world.GetCollisionPoint(&a, -1, &x, &y));
    EXPECT_FALSE(world.GetCollisionNormal(&c, 0, &x, &y));
    world.SetReport(nullptr);
    EXPECT_EQ(world.GetContactCount(&a), 0);
}

// =============================================================================================
// Rooms with physics
// =============================================================================================

class PhysicsRoom : public ServicesWorldTest {};

TEST_F(PhysicsRoom, BodiesComeFromObjectsAndCollideWithEvents)
{
    const int32_t ball = Obj("ball", 16, 16);
    const int32_t ground = Obj("ground", 200, 20);
    PhysicsBox(ball, 16, 16, 1);
    PhysicsBox(ground, 200, 20, 0);
    ASSERT_TRUE(Ev(ball, EVENT_COLLISION, ground,
                   "test_log('hit', other.object_index, phy_collision_points, round(phy_collision_y[0]), "
                   "phy_col_normal_y[0]);"));
    ASSERT_TRUE(Ev(ground, EVENT_COLLISION, ball, "test_log('ground', other.object_index, phy_collision_points);"));
    const int32_t r = Room(30, 0.1f, 0, 10);
    Place(r, ball, 100, 0);
    Place(r, ground, 0, 100);
    Start();
    CInstance* b = First(ball);
    CInstance* g = First(ground);
    ASSERT_TRUE(b && g);
    ASSERT_NE(b->m_pPhysics, nullptr);
    EXPECT_EQ(Get(b, "phy_dynamic"), 1.0);
    EXPECT_EQ(Get(g, "phy_dynamic"), 0.0);
    EXPECT_NEAR(Get(b, "phy_mass"), 1.6 * 1.6, 1e-5) << "16 px at 0.1 is 1.6 m a side, density 1";
    EXPECT_NEAR(Get(b, "phy_com_x"), 108, 1e-3);
    EXPECT_NEAR(Get(b, "phy_position_y"), 0, 1e-6);

    for (int k = 0; k < 60 && g_Log.empty(); ++k) Frames(1);
    ASSERT_FALSE(g_Log.empty()) << "the ball reached the ground";
    // Both sides got the event, with two contact points on the ground's top (y = 100), and
    // the normal from the ball down to the ground.
    EXPECT_EQ(g_Log[0], "hit:" + std::to_string(ground) + ":2:100:1") << LogText();
    ASSERT_GE(g_Log.size(), 2u);
    EXPECT_EQ(g_Log[1], "ground:" + std::to_string(ball) + ":2");
    EXPECT_GT(b->i_y, 80.0f) << "the instance followed its body";
    EXPECT_EQ(Get(b, "phy_collision_points"), 0.0) << "no contact is being reported outside the events";
    ScriptValue v = Value_Real(0);
    EXPECT_FALSE(Variable_Local_Get(b, Variable_BuiltIn_Find("phy_collision_x"), 0, &v));
    // The ground does not move.
    EXPECT_EQ(g->i_x, 0.0f);
    EXPECT_EQ(g->i_y, 100.0f);
}

TEST_F(PhysicsRoom, CollisionEventsOfOrdinaryRoomsAreNotDispatchedHere)
{
    // In a room with a world, overlapping instances without bodies get no collision event:
    // only the physics contacts report.
    const int32_t a = Obj("a", 16, 16);
    const int32_t b = Obj("b", 16, 16);
    ASSERT_TRUE(Ev(a, EVENT_COLLISION, b, "test_log('box');"));
    const int32_t r = Room(30, 0.1f, 0, 0);
    Place(r, a, 10, 10);
    Place(r, b, 12, 12);
    Start();
    Frames(3);
    EXPECT_EQ(LogText(), "");
}

TEST_F(PhysicsRoom, VariablesReadAndWriteThroughTheBody)
{
    const int32_t box = Obj("box", 10, 10);
    PhysicsBox(box, 10, 10, 2);
    const int32_t r = Room(40, 0.5f, 0, 0);
    Place(r, box, 20, 30);
    Start();
    CInstance* i = First(box);
    ASSERT_NE(i, nullptr);
    CPhysicsObject* o = Physics_Object(i);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(Get(i, "phy_position_x"), 20.0);
    ASSERT_TRUE(Set(i, "phy_position_x", 100));
    EXPECT_EQ(o->GetPositionX(), 50.0f);
    EXPECT_EQ(o->GetPositionY(), 15.0f) << "the other axis is unchanged";
    ASSERT_TRUE(Set(i, "phy_linear_velocity_y", 8));
    EXPECT_EQ(o->GetLinearVelocityY(), 4.0f);
    EXPECT_EQ(Get(i, "phy_linear_velocity_y"), 8.0);
    EXPECT_EQ(Get(i, "phy_speed_y"), 8.0 / 40.0) << "velocity / scale / room speed";
    ASSERT_TRUE(Set(i, "phy_speed_x", 1));
    EXPECT_EQ(o->GetLinearVelocityX(), 20.0f);
    ASSERT_TRUE(Set(i, "phy_rotation", 45));
    EXPECT_EQ(Get(i, "phy_rotation"), double(o->GetRotation()));
    EXPECT_EQ(o->m_pBody->GetAngle(), float(45 * 3.1415927410125732 / 180));
    ASSERT_TRUE(Set(i, "phy_angular_velocity", -30));
    EXPECT_FLOAT_EQ(float(Get(i, "phy_angular_velocity")), -30.0f);
    ASSERT_TRUE(Set(i, "phy_bullet", 0.6));
    EXPECT_EQ(Get(i, "phy_bullet"), 1.0);
    ASSERT_TRUE(Set(i, "phy_bullet", 0.5));
    EXPECT_EQ(Get(i, "phy_bullet"), 0.0) << "true only above 0.5";
    ASSERT_TRUE(Set(i, "phy_fixed_rotation", 1));
    EXPECT_EQ(Get(i, "phy_fixed_rotation"), 1.0);
    EXPECT_EQ(Get(i, "phy_inertia"), double(o->GetInertia()));
    ASSERT_TRUE(Set(i, "phy_active", 0));
    EXPECT_EQ(Get(i, "phy_active"), 0.0);
    EXPECT_EQ(Get(i, "phy_kinematic"), 0.0);
    EXPECT_EQ(Get(i, "phy_sleeping"), 0.0);
    // Refused values fail the assignment and change nothing.
    EXPECT_FALSE(Set(i, "phy_position_y", std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(Set(i, "phy_position_y", 1e300));
    EXPECT_EQ(o->GetPositionY(), 15.0f);
    // Read-only rows have no setter.
    EXPECT_FALSE(Set(i, "phy_mass", 3));
}

TEST_F(PhysicsRoom, InstancesDestroyedInACollisionEventAreSafe)
{
    const int32_t ball = Obj("ball", 8, 8);
    const int32_t ground = Obj("ground", 100, 10);
    PhysicsCircle(ball, 4, 1);
    PhysicsBox(ground, 100, 10, 0);
    ASSERT_TRUE(Ev(ball, EVENT_COLLISION, ground, "test_log('gone'); instance_destroy();"));
    ASSERT_TRUE(Ev(ground, EVENT_COLLISION, ball, "test_log('ground'); with (other) instance_destroy();"));
    const int32_t r = Room(30, 0.1f, 0, 20);
    for (int k = 0; k < 5; ++k) Place(r, ball, float(10 + 15 * k), 0);
    Place(r, ground, 0, 40);
    Start();
    Frames(60);
    EXPECT_EQ(First(ball), nullptr) << LogText();
    // Whichever side the engine reports first destroys the ball; its partner's event is then
    // skipped (a destroyed instance is not live).
    EXPECT_EQ(g_Log.size(), 5u) << LogText();
    EXPECT_EQ(Physics_CurrentWorld()->GetBodyCount(), 1);
}

TEST_F(PhysicsRoom, RoomEndFreesTheWorldBeforeTheInstances)
{
    const int32_t ball = Obj("ball", 8, 8);
    PhysicsCircle(ball, 4, 1);
    const int32_t r1 = Room(30, 0.1f, 0, 10);
    const int32_t r2 = Room(30, 0.1f, 0, 10);
    Place(r1, ball, 10, 10);
    Place(r2, ball, 20, 20);
    Start();
    Frames(2);
    ASSERT_NE(First(ball), nullptr);
    Run_State().roomSwitch = r2;
    Frames(2);
    CInstance* i = First(ball);
    ASSERT_NE(i, nullptr);
    EXPECT_EQ(Physics_Object(i)->m_pWorld, Physics_CurrentWorld());
    EXPECT_EQ(Physics_CurrentWorld()->GetBodyCount(), 1);
}

TEST_F(PhysicsRoom, SensorsReportWithoutContactPoints)
{
    const int32_t ball = Obj("ball", 8, 8);
    const int32_t zone = Obj("zone", 100, 100);
    PhysicsCircle(ball, 4, 1);
    PhysicsBox(zone, 100, 100, 0, true);
    ASSERT_TRUE(Ev(ball, EVENT_COLLISION, zone, "test_log('in', phy_collision_points);"));
    const int32_t r = Room(30, 0.1f, 0, 0);
    Place(r, ball, 50, 50);
    Place(r, zone, 0, 0);
    Start();
    Frames(2);
    ASSERT_FALSE(g_Log.empty());
    EXPECT_EQ(g_Log[0], "in:0");
    EXPECT_EQ(First(ball)->i_x, 50.0f) << "a sensor does not push";
}
