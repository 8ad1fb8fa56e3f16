// libFuzzer target: shapes, materials and values from the input reach the physics layer,
// which must refuse what the engine cannot take (the engine stops the process on it). The
// input gives a world's scale and gravity, two fixtures (circle or polygon of up to 9 points,
// density, friction, restitution, damping, flags), the instances' positions and angles, and
// values for every setter between steps. An accepted polygon must be convex and
// counter-clockwise.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Files/Object/Instance.h"
#include "Files/Physics/Physics.h"
#include "Files/World/World_Hooks.h"

namespace {

struct Reader {
    const uint8_t* p;
    size_t n;
    float F()
    {
        float v = 0;
        if (n >= 4) {
            std::memcpy(&v, p, 4);
            p += 4;
            n -= 4;
        } else {
            n = 0;
        }
        return v;
    }
    uint8_t B()
    {
        if (!n) return 0;
        --n;
        return *p++;
    }
};

void CheckHull(const float* points, int32_t count)
{
    float out[2 * PHYSICS_MAX_POINTS];
    const int32_t m = Physics_PolygonHull(points, count, out);
    if (m == 0) return;
    if (m < 3 || m > PHYSICS_MAX_POINTS) std::abort();
    for (int32_t i = 0; i < m; ++i) {
        const float* a = out + 2 * i;
        const float* b = out + 2 * ((i + 1) % m);
        const float* c = out + 2 * ((i + 2) % m);
        const double cross = (double(b[0]) - a[0]) * (double(c[1]) - b[1]) - (double(b[1]) - a[1]) * (double(c[0]) - b[0]);
        if (!(cross > 0)) std::abort();
    }
}

CPhysicsFixture* Fixture(Reader& r)
{
    CPhysicsFixture* f = Physics_CreateFixture();
    const uint8_t kind = r.B();
    if (kind & 1) {
        f->SetCircleShape(r.F());
    } else {
        f->SetPolygonShape();
        const int32_t n = r.B() % 10;
        float points[20];
        for (int32_t i = 0; i < n; ++i) {
            points[2 * i] = r.F();
            points[2 * i + 1] = r.F();
            f->AddPoint(points[2 * i], points[2 * i + 1]);
        }
        CheckHull(points, n);
    }
    f->m_density = r.F();
    f->m_friction = r.F();
    f->m_restitution = r.F();
    f->m_linearDamping = r.F();
    f->m_angularDamping = r.F();
    f->m_sensor = kind & 2;
    f->m_kinematic = kind & 4;
    f->m_awake = kind & 8;
    f->m_group = int16_t(r.B() - 128);
    return f;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool once = false;
    if (!once) {
        once = true;
        Physics_InstallHooks(World_Hooks());
    }
    Reader r{data, size};
    CPhysicsWorld world(r.F(), 30);
    world.SetGravity(r.F(), r.F());
    CInstance a(r.F(), r.F(), 100001, -1, false), b(r.F(), r.F(), 100002, -1, false);
    a.i_imageangle = r.F();
    b.i_imageangle = r.F();
    world.BindFixture(Fixture(r), &a);
    world.BindFixture(Fixture(r), &b);
    if (r.B() & 1) world.BindFixture(Fixture(r), &a); // a second fixture on one body
    for (int step = 0; step < 6 && r.n > 0; ++step) {
        for (CInstance* i : {&a, &b}) {
            CPhysicsObject* o = Physics_Object(i);
            if (!o) continue;
            switch (r.B() % 8) {
            case 0: o->SetPosition(r.F(), r.F()); break;
            case 1: o->SetLinearVelocity(r.F(), r.F()); break;
            case 2: o->SetRotation(r.F()); break;
            case 3: o->SetAngularVelocity(r.F()); break;
            case 4: o->SetBullet(r.B()); break;
            case 5: o->SetFixedRotation(r.B()); break;
            case 6: o->SetActive(r.B()); break;
            default: break;
            }
            (void)o->GetInertia();
            (void)o->GetRotation();
        }
        world.Step(int32_t(r.B()) - 10, false);
    }
    Physics_FreeFixtures();
    return 0;
}
