// The linear and potential-field steps and the paths built from them (Files/Motion/Motion.h).
#include <cmath>
#include <vector>

#include "Files/Motion/Motion.h"
#include "Files/Object/Instance.h"
#include "Files/Path/Path.h"
#include "Files/Run/Run_Commands.h"

namespace {

constexpr double kPi = 3.1415927410125732;

// The potential-field settings.
float g_maxRotation = 30, g_rotationStep = 10, g_ahead = 3;
bool g_onSpot = true;

double Distance(float x1, float y1, float x2, float y2) { return std::hypot(double(x2) - x1, double(y2) - y1); }

// Whether a step can be taken from the instance towards the goal: a NaN place or step size
// gives none, and the steps then leave the instance where it is rather than moving it to NaN.
bool HasWay(const CInstance* i, float x, float y, float stepSize)
{
    return !std::isnan(x) && !std::isnan(y) && !std::isnan(i->i_x) && !std::isnan(i->i_y) && !std::isnan(stepSize);
}

// An angle brought into [0, 360).
double Wrap360(double a)
{
    a = std::fmod(a, 360.0);
    return a < 0 ? a + 360.0 : a;
}

// What the path walks change and put back.
struct Kept {
    float x, y, direction, hspeed, vspeed;
    explicit Kept(const CInstance* i)
        : x(i->i_x), y(i->i_y), direction(i->i_direction), hspeed(i->i_hspeed), vspeed(i->i_vspeed)
    {
    }
    void Restore(CInstance* i) const
    {
        i->i_direction = direction;
        i->i_hspeed = hspeed;
        i->i_vspeed = vspeed;
        i->SetPosition(x, y);
    }
};

// The points a walk gathers (from the instance's place) and their length along the way; the
// path receives them at once when the walk ends.
struct Walk {
    std::vector<PathPoint> points;
    double length = 0;
    explicit Walk(const CInstance* i) { points.push_back({i->i_x, i->i_y, 100}); }
    void Add(float x, float y)
    {
        const PathPoint& last = points.back();
        length += Distance(last.x, last.y, x, y);
        points.push_back({x, y, 100});
    }
    void Give(CPath* path) const
    {
        path->Clear();
        path->SetKind(0);
        path->SetClosed(false);
        path->SetPoints(points);
    }
};

// Moves the instance to (x, y) heading there.
void MoveTo(CInstance* i, float x, float y)
{
    i->SetDirection(Motion_PointDirection(i->i_x, i->i_y, x, y));
    i->SetPosition(x, y);
}

bool TryDirection(CInstance* i, double direction, float stepSize, int32_t target, bool checkAll)
{
    double diff = std::fabs(Wrap360(direction) - Wrap360(i->i_direction));
    if (diff > 180) diff = 360 - diff;
    if (diff > g_maxRotation) return false;
    const double c = std::cos(direction * kPi / 180.0), s = std::sin(direction * kPi / 180.0);
    const double ahead = double(g_ahead) * stepSize;
    if (!Motion_IsFree(i, float(i->i_x + ahead * c), float(i->i_y - ahead * s), target, checkAll)) return false;
    const float nx = float(i->i_x + stepSize * c), ny = float(i->i_y - stepSize * s);
    if (!Motion_IsFree(i, nx, ny, target, checkAll)) return false;
    i->SetDirection(float(direction));
    i->SetPosition(nx, ny);
    return true;
}

// The walks' step limit: the steps that moving by stepsize could take to cover the allowed
// length, and a full turn on the spot besides; never above kMaxPlanSteps.
int64_t StepLimit(double length, float stepSize)
{
    const double steps = length / stepSize + 360.0 / double(g_maxRotation) + 2;
    return steps < double(kMaxPlanSteps) ? int64_t(steps) : kMaxPlanSteps;
}

} // namespace

bool Motion_IsFree(CInstance* instance, float x, float y, int32_t target, bool checkAll)
{
    if (target != -3) return !Command_PlaceMeeting(instance, target, x, y);
    return checkAll ? Command_PlaceEmpty(instance, x, y) : Command_PlaceFree(instance, x, y);
}

float Motion_PointDirection(float x1, float y1, float x2, float y2)
{
    const float dx = x2 - x1, dy = y2 - y1;
    if (dx == 0) return dy > 0 ? 270.0f : dy < 0 ? 90.0f : 0.0f;
    const float r = float(std::atan2(double(dy), double(dx)) * 180.0 / kPi);
    return r > 0 ? 360.0f - r : -r;
}

bool Motion_LinearStep(CInstance* i, float x, float y, float stepSize, int32_t target, bool checkAll)
{
    if (!i) return false;
    if (i->i_x == x && i->i_y == y) return true;
    if (!HasWay(i, x, y, stepSize)) return false;
    const double dist = Distance(i->i_x, i->i_y, x, y);
    float nx = x, ny = y;
    const bool reached = stepSize >= dist;
    if (!reached && std::isinf(dist)) {
        // A goal at infinity: stepsize along its direction (the ratio below would be inf / inf).
        const double a = std::atan2(double(y) - i->i_y, double(x) - i->i_x);
        nx = float(i->i_x + stepSize * std::cos(a));
        ny = float(i->i_y + stepSize * std::sin(a));
    } else if (!reached) {
        nx = float(i->i_x + (double(x) - i->i_x) * stepSize / dist);
        ny = float(i->i_y + (double(y) - i->i_y) * stepSize / dist);
    }
    if (Motion_IsFree(i, nx, ny, target, checkAll)) MoveTo(i, nx, ny);
    return reached;
}

bool Motion_LinearPath(CInstance* i, CPath* path, float x, float y, float stepSize, int32_t target, bool checkAll)
{
    if (!i || !path || !(stepSize > 0)) return false;
    const Kept kept(i);
    Walk walk(i);
    const int64_t limit = StepLimit(Distance(i->i_x, i->i_y, x, y), stepSize);
    for (int64_t n = 0;; ++n) {
        const float px = i->i_x, py = i->i_y;
        if (Motion_LinearStep(i, x, y, stepSize, target, checkAll)) break;
        if ((i->i_x == px && i->i_y == py) || n >= limit) {
            kept.Restore(i);
            walk.Give(path);
            return false;
        }
        walk.Add(i->i_x, i->i_y);
    }
    walk.Add(x, y);
    walk.Give(path);
    kept.Restore(i);
    return true;
}

void Motion_PotentialSettings(float maxRotation, float rotationStep, float ahead, bool onSpot)
{
    // Below 1, and NaN, become 1 (a NaN rotation would leave the walks without a turn limit).
    g_maxRotation = !(maxRotation >= 1) ? 1 : maxRotation;
    g_rotationStep = !(rotationStep >= 1) ? 1 : rotationStep;
    g_ahead = !(ahead >= 1) ? 1 : ahead;
    g_onSpot = onSpot;
}

bool Motion_PotentialStep(CInstance* i, float x, float y, float stepSize, int32_t target, bool checkAll)
{
    if (!i) return false;
    if (i->i_x == x && i->i_y == y) return true;
    if (!HasWay(i, x, y, stepSize)) return false;
    const double dist = Distance(i->i_x, i->i_y, x, y);
    if (dist <= stepSize) {
        if (Motion_IsFree(i, x, y, target, checkAll)) MoveTo(i, x, y);
        return true;
    }
    const double goal = Motion_PointDirection(i->i_x, i->i_y, x, y);
    for (double k = 0; k < 180; k += g_rotationStep) {
        if (TryDirection(i, goal - k, stepSize, target, checkAll)) return false;
        if (TryDirection(i, goal + k, stepSize, target, checkAll)) return false;
    }
    if (g_onSpot) i->SetDirection(i->i_direction + g_maxRotation);
    return false;
}

bool Motion_PotentialPath(CInstance* i, CPath* path, float x, float y, float stepSize, float factor, int32_t target,
                          bool checkAll)
{
    if (!i || !path || !(factor >= 1) || !(stepSize > 0)) return false;
    const Kept kept(i);
    Walk walk(i);
    const double allowed = double(factor) * Distance(i->i_x, i->i_y, x, y);
    const int64_t limit = StepLimit(allowed, stepSize);
    // Turning on the spot through a whole turn without moving finds nothing new.
    const int64_t stuckLimit = int64_t(360.0 / double(g_maxRotation)) + 2;
    int64_t stuck = 0;
    for (int64_t n = 0;; ++n) {
        const float px = i->i_x, py = i->i_y;
        if (Motion_PotentialStep(i, x, y, stepSize, target, checkAll)) break;
        walk.Add(i->i_x, i->i_y);
        stuck = (i->i_x == px && i->i_y == py) ? stuck + 1 : 0;
        if (walk.length > allowed || n >= limit || stuck > stuckLimit) {
            kept.Restore(i);
            walk.Give(path);
            return false;
        }
    }
    walk.Add(x, y);
    walk.Give(path);
    kept.Restore(i);
    return true;
}
