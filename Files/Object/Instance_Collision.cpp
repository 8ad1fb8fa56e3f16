// Instance collision tests: bounding box first, then, when precise checking applies, the
// sprite's per-pixel mask test through the world's resource hooks (Files/Object/Instance.h).
// Box edges are inclusive: a box covers x from bbox_left up to, not including, bbox_right + 1.
#include <algorithm>
#include <cmath>

#include "Files/Base/RealConvert.h"
#include "Files/Object/Instance.h"
#include "Files/World/World_Hooks.h"

namespace {
// The mask sprite when it exists and has frames.
bool UsableMask(const CInstance* i, WorldSpriteInfo* info)
{
    return World_SpriteInfo(i->MaskSprite(), info) && info->frames > 0;
}

WorldMaskPlacement Placement(const CInstance* i)
{
    WorldMaskPlacement p{};
    p.sprite = i->MaskSprite();
    p.frame = Real_TruncToInt32(i->i_imageindex);
    p.bboxLeft = i->i_bbox_left;
    p.bboxTop = i->i_bbox_top;
    p.bboxRight = i->i_bbox_right;
    p.bboxBottom = i->i_bbox_bottom;
    p.x = Real_RoundToInt32(i->i_x);
    p.y = Real_RoundToInt32(i->i_y);
    p.xscale = i->i_imagescalex;
    p.yscale = i->i_imagescaley;
    p.angle = i->i_imageangle;
    return p;
}

bool BoxRejects(CInstance* i, float x1, float y1, float x2, float y2)
{
    i->RefreshBoundingBox();
    const float xl = std::min(x1, x2), xr = std::max(x1, x2), yt = std::min(y1, y2), yb = std::max(y1, y2);
    return !(xl < float(int64_t(i->i_bbox_right) + 1) && float(i->i_bbox_left) <= xr && yt < float(int64_t(i->i_bbox_bottom) + 1) &&
             float(i->i_bbox_top) <= yb) ||
           i->i_marked;
}
} // namespace

bool PointInEllipse(int32_t left, int32_t top, int32_t right, int32_t bottom, double px, double py)
{
    const int32_t cx = int32_t((int64_t(left) + right) / 2), rx = int32_t((int64_t(right) - left) / 2);
    const int32_t cy = int32_t((int64_t(top) + bottom) / 2), ry = int32_t((int64_t(bottom) - top) / 2);
    const double u = (px - cx) / double(rx), v = (py - cy) / double(ry);
    return u * u + v * v <= 1.0;
}

bool CInstance::CollisionPoint(float x, float y, bool precise)
{
    RefreshBoundingBox();
    if (!(float(i_bbox_left) <= x && x < float(int64_t(i_bbox_right) + 1) && float(i_bbox_top) <= y && y < float(int64_t(i_bbox_bottom) + 1)))
        return false;
    WorldSpriteInfo info{};
    if (i_marked || !UsableMask(this, &info)) return false;
    if (!precise || !info.precise) return true;
    const WorldMaskPlacement p = Placement(this);
    return World_Hooks().maskPoint && World_Hooks().maskPoint(&p, Real_RoundToInt32(x), Real_RoundToInt32(y));
}

bool CInstance::CollisionRectangle(float x1, float y1, float x2, float y2, bool precise)
{
    if (BoxRejects(this, x1, y1, x2, y2)) return false;
    if (!precise || !i_precise) return true;
    WorldSpriteInfo info{};
    if (!UsableMask(this, &info)) return false;
    const WorldMaskPlacement p = Placement(this);
    return World_Hooks().maskRectangle &&
           World_Hooks().maskRectangle(&p, Real_RoundToInt32(std::min(x1, x2)), Real_RoundToInt32(std::min(y1, y2)),
                                       Real_RoundToInt32(std::max(x1, x2)), Real_RoundToInt32(std::max(y1, y2)));
}

bool CInstance::CollisionEllipse(float x1, float y1, float x2, float y2, bool precise)
{
    if (BoxRejects(this, x1, y1, x2, y2)) return false;
    if (Real_RoundToInt32(x1) == Real_RoundToInt32(x2) || Real_RoundToInt32(y1) == Real_RoundToInt32(y2))
        return CollisionRectangle(x1, y1, x2, y2, precise);
    const int32_t l = Real_RoundToInt32(std::min(x1, x2)), t = Real_RoundToInt32(std::min(y1, y2));
    const int32_t r = Real_RoundToInt32(std::max(x1, x2)), b = Real_RoundToInt32(std::max(y1, y2));
    const double cx = (double(x1) + double(x2)) / 2, cy = (double(y1) + double(y2)) / 2;
    bool overlap = (cx >= i_bbox_left && cx <= i_bbox_right) || (cy >= i_bbox_top && cy <= i_bbox_bottom);
    if (!overlap) {
        overlap = PointInEllipse(l, t, r, b, i_bbox_left, i_bbox_top) || PointInEllipse(l, t, r, b, i_bbox_left, i_bbox_bottom) ||
                  PointInEllipse(l, t, r, b, i_bbox_right, i_bbox_top) || PointInEllipse(l, t, r, b, i_bbox_right, i_bbox_bottom);
    }
    if (!overlap) return false;
    if (!precise || !i_precise) return true;
    WorldSpriteInfo info{};
    if (!UsableMask(this, &info)) return false;
    const WorldMaskPlacement p = Placement(this);
    return World_Hooks().maskEllipse && World_Hooks().maskEllipse(&p, l, t, r, b);
}

bool CInstance::CollisionLine(float x1, float y1, float x2, float y2, bool precise)
{
    if (BoxRejects(this, x1, y1, x2, y2)) return false;
    double ax = x1, ay = y1, bx = x2, by = y2;
    if (ax > bx) {
        std::swap(ax, bx);
        std::swap(ay, by);
    }
    const double left = i_bbox_left, right1 = double(i_bbox_right) + 1.0;
    if (ax < left && bx != ax) {
        ay = (left - ax) * (by - ay) / (bx - ax) + ay;
        ax = left;
    }
    if (bx > right1 && bx != ax) {
        by = (right1 - bx) * (by - ay) / (bx - ax) + by;
        bx = right1;
    }
    const double top = i_bbox_top, bottom1 = double(i_bbox_bottom) + 1.0;
    if ((ay < top && by < top) || (ay >= bottom1 && by >= bottom1)) return false;
    if (!precise || !i_precise) return true;
    WorldSpriteInfo info{};
    if (!UsableMask(this, &info)) return false;
    const WorldMaskPlacement p = Placement(this);
    return World_Hooks().maskLine && World_Hooks().maskLine(&p, Real_RoundToInt32(ax), Real_RoundToInt32(ay), Real_RoundToInt32(bx), Real_RoundToInt32(by));
}

bool CInstance::CollisionInstance(CInstance* other, bool precise)
{
    if (other == this || i_marked || other->i_marked) return false;
    RefreshBoundingBox();
    other->RefreshBoundingBox();
    if (!(int64_t(other->i_bbox_left) < int64_t(i_bbox_right) + 1 && int64_t(other->i_bbox_right) + 1 > i_bbox_left &&
          int64_t(other->i_bbox_top) < int64_t(i_bbox_bottom) + 1 && int64_t(other->i_bbox_bottom) + 1 > i_bbox_top))
        return false;
    WorldSpriteInfo a{}, b{};
    if (!UsableMask(this, &a) || !UsableMask(other, &b)) return false;
    if (!precise || (!a.precise && !b.precise)) return true;
    const WorldMaskPlacement pa = Placement(this), pb = Placement(other);
    return World_Hooks().maskSprite && World_Hooks().maskSprite(&pa, &pb);
}
