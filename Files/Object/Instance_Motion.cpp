// Instance motion: the polar (direction, speed) and Cartesian (hspeed, vspeed) pairs kept in
// step, position, friction and gravity, and path following (Files/Object/Instance.h). Angles in
// degrees with y growing downwards; every result is rounded to single precision where the
// fields are floats.
#include <cmath>
#include <cstdio>

#include "Files/Code/Code_Error.h"

#include "Files/Base/RealConvert.h"
#include "Files/Object/Instance.h"
#include "Files/Path/Path.h"
#include "Files/World/World_Hooks.h"

namespace {
// 0.0001 as a float.
const double kSnap = double(0.0001f);

float Snap(float v)
{
    const double n = std::nearbyint(double(v));
    if (float(std::fabs(double(v) - n)) < kSnap) return float(n);
    return v;
}
} // namespace

void CInstance::UpdateDirectionSpeed()
{
    if (i_hspeed == 0.0f) {
        i_direction = i_vspeed > 0 ? 270.0f : (i_vspeed < 0 ? 90.0f : 0.0f);
    } else {
        const float r = float(std::atan2(double(i_vspeed), double(i_hspeed)));
        const float a = float(double(r) * 180.0 / PI_FD);
        i_direction = a > 0 ? float(360.0 - double(a)) : -a;
    }
    i_direction = Snap(i_direction);
    i_direction = float(std::fmod(double(i_direction), 360.0));
    const float sum = float(double(i_vspeed) * double(i_vspeed) + double(i_hspeed) * double(i_hspeed));
    i_speed = Snap(float(std::sqrt(double(sum))));
    MarkBBoxDirty();
}

void CInstance::UpdateHVSpeed()
{
    const float a = float(double(i_direction) * PI_FD / 180.0);
    i_hspeed = float(double(float(std::cos(double(a)))) * double(i_speed));
    i_vspeed = float(double(float(std::sin(double(a)))) * -double(i_speed));
    i_hspeed = Snap(i_hspeed);
    i_vspeed = Snap(i_vspeed);
    MarkBBoxDirty();
}

void CInstance::SetDirection(float d)
{
    // Reduced with fmod first, so huge values finish at once; ordinary values give what
    // adding or subtracting 360 one turn at a time gives.
    double v = d;
    if (std::isfinite(v)) {
        if (v < -360.0 || v > 720.0) v = std::fmod(v, 360.0);
        while (v < 0) v = float(v + 360.0);
        while (v > 360.0) v = float(v - 360.0);
    }
    i_direction = float(std::fmod(v, 360.0));
    UpdateHVSpeed();
}

void CInstance::SetSpeed(float s)
{
    if (s == i_speed) return;
    i_speed = s;
    UpdateHVSpeed();
}

void CInstance::SetHSpeed(float h)
{
    if (h == i_hspeed) return;
    i_hspeed = h;
    UpdateDirectionSpeed();
}

void CInstance::SetVSpeed(float v)
{
    if (v == i_vspeed) return;
    i_vspeed = v;
    UpdateDirectionSpeed();
}

void CInstance::SetPosition(float x, float y)
{
    if (x == i_x && y == i_y) return;
    i_x = x;
    i_y = y;
    MarkBBoxDirty();
}

void CInstance::AddMotion(float direction, float length)
{
    const float a = float(double(direction) * PI_FD / 180.0);
    i_hspeed = float(double(i_hspeed) + double(float(std::cos(double(a)))) * double(length));
    i_vspeed = float(double(i_vspeed) - double(float(std::sin(double(a)))) * double(length));
    UpdateDirectionSpeed();
}

void CInstance::ApplyFrictionGravity()
{
    if (i_friction != 0.0f) {
        const float s = i_speed;
        const float s2 = s > 0 ? float(double(s) - double(i_friction)) : float(double(s) + double(i_friction));
        if ((s > 0 && s2 < 0) || (s < 0 && s2 > 0)) {
            i_speed = 0;
            UpdateHVSpeed();
        } else if (s != 0.0f && s2 != s) {
            i_speed = s2;
            UpdateHVSpeed();
        }
    }
    if (i_gravity != 0.0f) AddMotion(i_gravitydir, i_gravity);
}

void CInstance::StartPath(int32_t path, float speed, float scale, float orientation, bool relative, int32_t endAction)
{
    i_pathindex = path;
    if (path < 0) return;
    CPath* p = Path_Data(path);
    if (!p || !(p->GetLength() > 0)) {
        i_pathindex = -1;
        return;
    }
    i_pathspeed = speed;
    i_pathposition = speed >= 0 ? 0.0f : 1.0f;
    i_pathpositionprevious = i_pathposition;
    i_pathscale = scale;
    if (scale < 0) {
        i_pathindex = -1;
        return;
    }
    i_pathorientation = orientation;
    i_pathend = endAction;
    if (!relative) {
        PathPoint at = p->GetPosition(speed >= 0 ? 0.0f : 1.0f);
        SetPosition(at.x, at.y);
    }
    i_pathxstart = i_x;
    i_pathystart = i_y;
}

bool CInstance::AdvancePath()
{
    if (i_pathindex < 0) return false;
    CPath* p = Path_Data(i_pathindex);
    if (!p || !(p->GetLength() > 0)) return false;
    const float o = float(double(i_pathorientation) * PI_FD / 180.0);
    const PathPoint here = p->GetPosition(i_pathposition);
    const float k = float(double(here.speed) / (double(i_pathscale) * 100.0));
    i_pathposition = float(double(i_pathposition) + double(i_pathspeed) * double(k) / double(p->GetLength()));
    bool ended = false;
    const PathPoint start = p->GetPosition(0), end = p->GetPosition(1);
    // An end is reached only while the path moves. The start end is position 0 or below (a
    // backwards run that lands on 0 exactly), the far end 1 or above.
    if ((i_pathposition >= 1.0f || i_pathposition <= 0.0f) && i_pathspeed != 0.0f) {
        ended = true;
        const bool atStart = i_pathposition <= 0.0f;
        switch (i_pathend) {
        case 0:
            i_pathposition = 1.0f;
            i_pathindex = -1;
            break;
        case 1:
            i_pathposition = atStart ? float(double(i_pathposition) + 1.0) : float(double(i_pathposition) - 1.0);
            break;
        case 2: {
            const double dx = double(end.x) - double(start.x), dy = double(end.y) - double(start.y);
            const double c = float(std::cos(double(o))), s = float(std::sin(double(o)));
            const float rx = float((s * dy + c * dx) * double(i_pathscale));
            const float ry = float((c * dy - s * dx) * double(i_pathscale));
            if (atStart) {
                i_pathxstart = float(double(i_pathxstart) - rx);
                i_pathystart = float(double(i_pathystart) - ry);
                i_pathposition = float(double(i_pathposition) + 1.0);
            } else {
                i_pathxstart = float(double(i_pathxstart) + rx);
                i_pathystart = float(double(i_pathystart) + ry);
                i_pathposition = float(double(i_pathposition) - 1.0);
            }
            break;
        }
        case 3: {
            const float a = std::fabs(i_pathspeed);
            if (atStart) {
                i_pathposition = -i_pathposition;
                i_pathspeed = a;
            } else {
                i_pathposition = float(2.0 - double(i_pathposition));
                i_pathspeed = -a;
            }
            break;
        }
        default:
            i_pathposition = 1.0f;
            i_pathindex = -1;
            break;
        }
    }
    const PathPoint now = p->GetPosition(i_pathposition);
    const double dx = double(now.x) - double(start.x), dy = double(now.y) - double(start.y);
    const double c = float(std::cos(double(o))), s = float(std::sin(double(o)));
    const float nx = float((c * dx + s * dy) * double(i_pathscale) + double(i_pathxstart));
    const float ny = float((c * dy - s * dx) * double(i_pathscale) + double(i_pathystart));
    const float h = float(double(nx) - double(i_x));
    if (h != i_hspeed) {
        i_hspeed = h;
        UpdateDirectionSpeed();
    }
    const float v = float(double(ny) - double(i_y));
    if (v != i_vspeed) {
        i_vspeed = v;
        UpdateDirectionSpeed();
    }
    if (i_speed != 0.0f) {
        i_speed = 0;
        UpdateHVSpeed();
    }
    if (nx != i_x || ny != i_y) {
        i_x = nx;
        i_y = ny;
        MarkBBoxDirty();
    }
    return ended;
}

// =============================================================================================
// Physics body
// =============================================================================================

void CInstance::CreatePhysicsBody(void* world)
{
    CObject* o = m_pObject;
    WorldHooks& h = World_Hooks();
    if (!o || !o->m_usesPhysics || !world || !World_SpriteExists(i_spriteindex) ||
        !h.physicsBindFixture)
        return;
    const float scale = h.physicsScale ? h.physicsScale(world) : 1.0f;
    WorldPhysicsFixture f{};
    switch (o->m_shapeKind) {
    case 0:
        if (o->m_pointCount < 2) {
            // Corrupt shape data: reported, and no shape made.
            char message[512];
            std::snprintf(message, sizeof message, "Corrupt shape data for %s\n", o->m_pName ? o->m_pName : "");
            Code_Error_Show(message, false);
            break;
        }
        f.shape = 1;
        f.radius = float(double(o->m_pPoints[2]) * double(scale));
        if (std::fabs(double(i_imagescalex) - double(i_imagescaley)) >= 0.0001) {
            char message[512];
            std::snprintf(message, sizeof message,
                          "Image scale for physics object using circle collision should not vary across axes: %s\n",
                          o->m_pName ? o->m_pName : "");
            Code_Error_Show(message, false);
        } else {
            f.radius = float(std::fabs(double(i_imagescalex)) * double(f.radius));
        }
        break;
    case 1:
    case 2: {
        f.shape = 2;
        const int32_t n = o->m_pointCount < 8 ? o->m_pointCount : 8;
        const bool reverse = double(i_imagescalex) * double(i_imagescaley) < 0;
        for (int32_t k = 0; k < n; ++k) {
            const int32_t src = reverse ? n - 1 - k : k;
            f.points[2 * k] = float(double(o->m_pPoints[2 * src]) * scale * i_imagescalex);
            f.points[2 * k + 1] = float(double(o->m_pPoints[2 * src + 1]) * scale * i_imagescaley);
        }
        f.pointCount = n;
        break;
    }
    default: break;
    }
    f.linearDamping = o->m_linearDamping;
    f.angularDamping = o->m_angularDamping;
    f.sensor = o->m_sensor;
    f.collisionGroup = o->m_collisionGroup;
    f.density = o->m_density;
    f.restitution = o->m_restitution;
    f.friction = o->m_friction;
    f.awake = o->m_awake;
    f.kinematic = o->m_kinematic;
    h.physicsBindFixture(world, &f, this);
}
