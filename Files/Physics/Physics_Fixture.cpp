// The fixture records and their table, and the check that turns a fixture's polygon points
// into a polygon the engine accepts (Physics_PolygonHull).
//
// The table: records by id; a freed slot is reused by the next record. Needs nothing beyond
// the standard library. No Linux/ file.
#include <algorithm>
#include <cmath>
#include <vector>

#include "Files/Physics/Physics.h"
#include "Platform/FreeSlots.h"

namespace {

std::vector<CPhysicsFixture*> g_fixtures; // by id; null = free slot
FreeSlots g_freedFixtures;                 // emptied ids, lowest first
int32_t g_inUse = 0;

} // namespace

// =============================================================================================
// Records
// =============================================================================================

void CPhysicsFixture::SetCircleShape(float radius)
{
    m_shape = PHYSICS_SHAPE_CIRCLE;
    m_radius = radius;
    m_pointCount = 0;
}

void CPhysicsFixture::SetPolygonShape()
{
    m_shape = PHYSICS_SHAPE_POLYGON;
    m_radius = 0;
    m_pointCount = 0;
}

bool CPhysicsFixture::AddPoint(float x, float y)
{
    if (m_shape != PHYSICS_SHAPE_POLYGON || m_pointCount >= PHYSICS_MAX_POINTS) return false;
    m_points[2 * m_pointCount] = x;
    m_points[2 * m_pointCount + 1] = y;
    ++m_pointCount;
    return true;
}

CPhysicsFixture* Physics_CreateFixture()
{
    auto* f = new CPhysicsFixture();
    const int32_t again = g_freedFixtures.Take(int32_t(g_fixtures.size()), [](int32_t i) { return !g_fixtures[size_t(i)]; });
    if (again < 0) {
        f->m_id = int32_t(g_fixtures.size());
        g_fixtures.push_back(f);
    } else {
        f->m_id = again;
        g_fixtures[size_t(again)] = f;
    }
    ++g_inUse;
    return f;
}

CPhysicsFixture* Physics_FixtureFind(int32_t id)
{
    return id >= 0 && size_t(id) < g_fixtures.size() ? g_fixtures[size_t(id)] : nullptr;
}

void Physics_DeleteFixture(int32_t id)
{
    CPhysicsFixture* f = Physics_FixtureFind(id);
    if (!f) return;
    g_fixtures[size_t(id)] = nullptr;
    g_freedFixtures.Release(id);
    delete f;
    --g_inUse;
}

int32_t Physics_FixtureCount() { return g_inUse; }

void Physics_FreeFixtures()
{
    for (CPhysicsFixture* f : g_fixtures) delete f;
    g_fixtures.clear();
    g_freedFixtures.Clear();
    g_inUse = 0;
}

// =============================================================================================
// Polygon check
// =============================================================================================
//
// The engine builds its own hull of the points (welding points nearer than half its linear
// slop, 0.0025) and stops the process when fewer than three corners remain or the area is
// below its epsilon. It also stops when a body's inertia about its centre of mass rounds to
// 0 or below, which happens for a small shape far from the body origin (the inertia about the
// origin, minus mass times the squared distance of the centre, cancels in single precision).
// So the points go in already as a clean convex hull: corners at least one linear slop (0.005)
// apart, each turning by a clear angle, with an area and a centred inertia well above what
// single-precision rounding can lose.

namespace {

constexpr double kWeld = 0.005;          // the engine's linear slop
constexpr double kMinTurn = 1.0e-4;      // sine of the smallest corner turn kept
constexpr double kInertiaMargin = 1.0e-4; // centred inertia against mass * |centre|^2

struct P {
    double x, y;
};

double Cross(const P& o, const P& a, const P& b) { return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x); }

} // namespace

int32_t Physics_PolygonHull(const float* points, int32_t count, float* out)
{
    if (!points || count < 3 || count > PHYSICS_MAX_POINTS) return 0;
    std::vector<P> ps;
    for (int32_t i = 0; i < count; ++i) {
        const double x = points[2 * i], y = points[2 * i + 1];
        if (!std::isfinite(x) || !std::isfinite(y) || std::fabs(x) > PHYSICS_MAX_SHAPE_EXTENT ||
            std::fabs(y) > PHYSICS_MAX_SHAPE_EXTENT)
            return 0;
        bool unique = true;
        for (const P& q : ps) {
            if ((q.x - x) * (q.x - x) + (q.y - y) * (q.y - y) < kWeld * kWeld) {
                unique = false;
                break;
            }
        }
        if (unique) ps.push_back(P{x, y});
    }
    if (ps.size() < 3) return 0;

    // Monotone chain: lower then upper hull, counter-clockwise, collinear points dropped.
    std::sort(ps.begin(), ps.end(), [](const P& a, const P& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
    std::vector<P> hull(2 * ps.size());
    size_t k = 0;
    for (size_t i = 0; i < ps.size(); ++i) {
        while (k >= 2 && Cross(hull[k - 2], hull[k - 1], ps[i]) <= 0) --k;
        hull[k++] = ps[i];
    }
    for (size_t i = ps.size() - 1, lower = k + 1; i-- > 0;) {
        while (k >= lower && Cross(hull[k - 2], hull[k - 1], ps[i]) <= 0) --k;
        hull[k++] = ps[i];
    }
    hull.resize(k - 1);

    // Drop corners that barely turn, until every corner turns clearly.
    for (bool changed = true; changed && hull.size() >= 3;) {
        changed = false;
        for (size_t i = 0; i < hull.size(); ++i) {
            const P& a = hull[(i + hull.size() - 1) % hull.size()];
            const P& b = hull[i];
            const P& c = hull[(i + 1) % hull.size()];
            const double l1 = std::hypot(b.x - a.x, b.y - a.y), l2 = std::hypot(c.x - b.x, c.y - b.y);
            if (Cross(a, b, c) <= kMinTurn * l1 * l2) {
                hull.erase(hull.begin() + std::ptrdiff_t(i));
                changed = true;
                break;
            }
        }
    }
    if (hull.size() < 3) return 0;

    // Area, centroid and centred inertia (unit density), as the engine computes them.
    double area = 0, cx = 0, cy = 0, inertia = 0;
    const P& s = hull[0];
    for (size_t i = 1; i + 1 < hull.size(); ++i) {
        const double e1x = hull[i].x - s.x, e1y = hull[i].y - s.y;
        const double e2x = hull[i + 1].x - s.x, e2y = hull[i + 1].y - s.y;
        const double d = e1x * e2y - e1y * e2x;
        const double a = 0.5 * d;
        area += a;
        cx += a * (e1x + e2x) / 3.0;
        cy += a * (e1y + e2y) / 3.0;
        const double intx2 = e1x * e1x + e2x * e1x + e2x * e2x;
        const double inty2 = e1y * e1y + e2y * e1y + e2y * e2y;
        inertia += (0.25 / 3.0 * d) * (intx2 + inty2);
    }
    if (!(area > PHYSICS_MIN_AREA)) return 0;
    cx /= area;
    cy /= area;
    // inertia is about s; move it to the centroid, then compare with the offset term about
    // the body origin.
    const double centred = inertia - area * (cx * cx + cy * cy);
    const double ox = s.x + cx, oy = s.y + cy;
    if (!(centred > kInertiaMargin * area * (ox * ox + oy * oy)) || !(centred > 0)) return 0;

    for (size_t i = 0; i < hull.size(); ++i) {
        out[2 * i] = float(hull[i].x);
        out[2 * i + 1] = float(hull[i].y);
    }
    return int32_t(hull.size());
}
