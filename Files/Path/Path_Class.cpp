// CPath: control points, the computed straight or smooth points, positions along the path and
// the transformations (Files/Path/Path.h).
#include <algorithm>
#include <cmath>
#include <utility>

#include "Files/Base/RealConvert.h"
#include "Files/Path/Path.h"
#include "Files/Support/FileImage.h"
#include "Files/World/World_Hooks.h"
#include "Platform/MemoryManager.h"

PathPoint CPath::GetPoint(int32_t index) const
{
    if (index < 0 || index >= int32_t(m_points.size())) return PathPoint{0, 0, 1.0f};
    return m_points[size_t(index)];
}

int32_t CPath::AddPoint(float x, float y, float speed)
{
    InsertPoint(int32_t(m_points.size()), x, y, speed);
    return int32_t(m_points.size()) - 1;
}

void CPath::SetPoints(const std::vector<PathPoint>& points)
{
    m_points = points;
    Recompute();
}

void CPath::InsertPoint(int32_t index, float x, float y, float speed)
{
    if (index < 0 || index > int32_t(m_points.size())) return;
    m_points.insert(m_points.begin() + index, PathPoint{x, y, speed});
    Recompute();
}

void CPath::ChangePoint(int32_t index, float x, float y, float speed)
{
    if (index < 0 || index >= int32_t(m_points.size())) return;
    m_points[size_t(index)] = PathPoint{x, y, speed};
    Recompute();
}

void CPath::DeletePoint(int32_t index)
{
    if (index < 0 || index >= int32_t(m_points.size())) return;
    m_points.erase(m_points.begin() + index);
    Recompute();
}

void CPath::Clear()
{
    m_points.clear();
    m_computed.clear();
    m_length = 0;
}

void CPath::SetKind(int32_t kind)
{
    m_kind = uint32_t(kind) > 1u ? 0 : kind;
    Recompute();
}

void CPath::SetClosed(bool closed)
{
    m_closed = closed ? 1 : 0;
    Recompute();
}

void CPath::SetPrecision(int32_t precision)
{
    m_precision = std::clamp(precision, 0, 8);
    Recompute();
}

void CPath::Recompute()
{
    if (m_kind == 1)
        ComputeSmooth();
    else
        ComputeStraight();
    ComputeLength();
}

void CPath::ComputeStraight()
{
    m_computed.clear();
    for (const PathPoint& p : m_points) m_computed.push_back(PathComputedPoint{p.x, p.y, p.speed, 0});
    if (m_closed && !m_points.empty()) {
        const PathPoint& p = m_points.front();
        m_computed.push_back(PathComputedPoint{p.x, p.y, p.speed, 0});
    }
}

void CPath::Subdivide(int32_t depth, double ax, double ay, double as, double bx, double by, double bs, double cx,
                      double cy, double cs)
{
    if (depth == 0) return;
    const float mx = float((ax + 2 * bx + cx) / 4), my = float((ay + 2 * by + cy) / 4), ms = float((as + 2 * bs + cs) / 4);
    if ((ax - bx) * (ax - bx) + (ay - by) * (ay - by) > 16.0) {
        Subdivide(depth - 1, ax, ay, as, float((ax + bx) / 2), float((ay + by) / 2), float((as + bs) / 2), mx, my, ms);
    }
    m_computed.push_back(PathComputedPoint{mx, my, ms, 0});
    if ((bx - cx) * (bx - cx) + (by - cy) * (by - cy) > 16.0) {
        Subdivide(depth - 1, mx, my, ms, float((bx + cx) / 2), float((by + cy) / 2), float((bs + cs) / 2), cx, cy, cs);
    }
}

void CPath::ComputeSmooth()
{
    m_computed.clear();
    const int32_t n = int32_t(m_points.size());
    if (n <= 0) return;
    if (!m_closed) m_computed.push_back(PathComputedPoint{m_points[0].x, m_points[0].y, m_points[0].speed, 0});
    const int32_t last = m_closed ? n : n - 2;
    for (int32_t i = 1; i <= last; ++i) {
        const PathPoint& p = m_points[size_t((i - 1) % n)];
        const PathPoint& c = m_points[size_t(i % n)];
        const PathPoint& q = m_points[size_t((i + 1) % n)];
        const double ax = float((double(p.x) + c.x) / 2), ay = float((double(p.y) + c.y) / 2),
                     as = float((double(p.speed) + c.speed) / 2);
        const double cx = float((double(c.x) + q.x) / 2), cy = float((double(c.y) + q.y) / 2),
                     cs = float((double(c.speed) + q.speed) / 2);
        Subdivide(m_precision, ax, ay, as, c.x, c.y, c.speed, cx, cy, cs);
    }
    if (m_closed) {
        if (!m_computed.empty()) m_computed.push_back(m_computed.front());
    } else {
        const PathPoint& e = m_points[size_t(n - 1)];
        m_computed.push_back(PathComputedPoint{e.x, e.y, e.speed, 0});
    }
}

void CPath::ComputeLength()
{
    m_length = 0;
    if (m_computed.empty()) return;
    m_computed[0].distance = 0;
    for (size_t k = 1; k < m_computed.size(); ++k) {
        const double dx = double(m_computed[k].x) - m_computed[k - 1].x;
        const double dy = double(m_computed[k].y) - m_computed[k - 1].y;
        const float sum = float(dx * dx + dy * dy);
        m_length = float(double(m_length) + std::sqrt(double(sum)));
        m_computed[k].distance = m_length;
    }
}

PathPoint CPath::GetPosition(float t) const
{
    if (m_computed.empty()) return PathPoint{0, 0, 100};
    const PathComputedPoint& first = m_computed.front();
    if (m_computed.size() == 1 || m_length == 0) return PathPoint{first.x, first.y, first.speed};
    if (!(t > 0)) return PathPoint{first.x, first.y, first.speed};
    if (t >= 1) {
        const PathComputedPoint& l = m_computed.back();
        return PathPoint{l.x, l.y, l.speed};
    }
    const float d = float(double(m_length) * double(t));
    // The greatest i in 0..count-2 with every distance of points 1..i at most d.
    const size_t count = m_computed.size();
    auto it = std::upper_bound(m_computed.begin() + 1, m_computed.begin() + ptrdiff_t(count - 1), d,
                               [](float v, const PathComputedPoint& p) { return v < p.distance; });
    const size_t i = size_t(it - m_computed.begin()) - 1;
    const PathComputedPoint& a = m_computed[i];
    const PathComputedPoint& b = m_computed[i + 1];
    PathPoint r{a.x, a.y, a.speed};
    const double seg = double(b.distance) - double(a.distance);
    if (seg != 0) {
        const double f = (double(d) - double(a.distance)) / seg;
        r.x = float(double(r.x) + (double(b.x) - double(a.x)) * f);
        r.y = float(double(r.y) + (double(b.y) - double(a.y)) * f);
        r.speed = float(double(r.speed) + (double(b.speed) - double(a.speed)) * f);
    }
    return r;
}

void CPath::GetCenter(float* x, float* y) const
{
    if (m_points.empty()) {
        *x = *y = 0;
        return;
    }
    float minX = 1e8f, maxX = -1e8f, minY = 1e8f, maxY = -1e8f;
    for (const PathPoint& p : m_points) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    *x = float((double(maxX) + minX) / 2);
    *y = float((double(maxY) + minY) / 2);
}

void CPath::Shift(float dx, float dy)
{
    for (PathPoint& p : m_points) {
        p.x += dx;
        p.y += dy;
    }
    Recompute();
}

void CPath::Mirror()
{
    float cx, cy;
    GetCenter(&cx, &cy);
    for (PathPoint& p : m_points) p.x = -(p.x - cx) + cx;
    Recompute();
}

void CPath::Flip()
{
    float cx, cy;
    GetCenter(&cx, &cy);
    for (PathPoint& p : m_points) p.y = -(p.y - cy) + cy;
    Recompute();
}

void CPath::Rotate(float degrees)
{
    float cx, cy;
    GetCenter(&cx, &cy);
    const float r = float(double(degrees) * PI_FD / 180.0);
    const double c = std::cos(double(r)), s = std::sin(double(r));
    for (PathPoint& p : m_points) {
        const double x = p.x - cx, y = p.y - cy;
        p.x = float(c * x + s * y) + cx;
        p.y = float(c * y - s * x) + cy;
    }
    Recompute();
}

void CPath::Scale(float xs, float ys)
{
    float cx, cy;
    GetCenter(&cx, &cy);
    for (PathPoint& p : m_points) {
        p.x = (p.x - cx) * xs + cx;
        p.y = (p.y - cy) * ys + cy;
    }
    Recompute();
}

void CPath::Reverse()
{
    if (m_points.size() < 2) return;
    std::reverse(m_points.begin(), m_points.end());
    Recompute();
}

void CPath::Append(const CPath* other)
{
    if (!other || other->m_points.empty()) return;
    std::vector<PathPoint> add = other->m_points; // other may be this path
    m_points.insert(m_points.end(), add.begin(), add.end());
    Recompute();
}

void CPath::Assign(const CPath* other)
{
    if (!other || other == this) return;
    m_kind = other->m_kind;
    m_closed = other->m_closed;
    m_precision = other->m_precision;
    m_points = other->m_points;
    Recompute();
}

bool CPath::LoadFromEntry(const FileImage& image, uint32_t offset, char** name)
{
    FileCursor c(image);
    if (!c.Seek(offset)) return false;
    const char* n = c.StringRef();
    uint32_t kind = c.U32(), closed = c.U32(), precision = c.U32(), count = c.U32();
    if (!c.ok() || !c.FitsCount(count, 12)) return false;
    m_points.resize(count);
    for (uint32_t k = 0; k < count; ++k) {
        m_points[k].x = c.F32();
        m_points[k].y = c.F32();
        m_points[k].speed = c.F32();
    }
    if (!c.ok()) return false;
    *name = MEM_STRDUP(n ? n : "");
    m_kind = kind > 1 ? 0 : int32_t(kind);
    m_closed = closed != 0;
    m_precision = precision > 8 ? 8 : int32_t(precision);
    Recompute();
    return true;
}

void CPath::Draw(float x, float y, bool absolute) const
{
    const PathPoint p0 = GetPosition(0);
    const float ox = absolute ? x : x - p0.x, oy = absolute ? y : y - p0.y;
    const int32_t steps = Real_RoundToInt32(double(m_length) * 0.25);
    if (steps <= 0 || !World_Hooks().drawLineStrip) return;
    std::vector<float> xy;
    xy.reserve(size_t(steps + 1) * 2);
    for (int32_t k = 0; k <= steps; ++k) {
        const PathPoint p = GetPosition(float(double(k) / steps));
        xy.push_back(p.x + ox);
        xy.push_back(p.y + oy);
    }
    World_Hooks().drawLineStrip(xy.data(), steps + 1);
}
