// Bounding boxes, bounding radius, collision masks and the five per-pixel tests of a sprite
// frame placed in the room (see Sprite_Main.h). No host library here.
//
// A room point (x, y) maps into the frame of an instance at (ix, iy) with origin (ox, oy),
// scales (sx, sy) and angle a (degrees, counter-clockwise on screen) as
//   r = -a * pi / 180 (single precision), s = sin r, c = cos r, dx = x - ix, dy = y - iy,
//   px = (dy * s + dx * c) / sx + ox,   py = (dy * c - dx * s) / sy + oy,
// and counts only when 0 <= px < width and 0 <= py < height. The point, rectangle, ellipse
// and line tests round the mapped point down; the sprite-against-sprite test truncates toward
// zero. Every scan is first cut to the room rectangle that can map into the frame (a bound
// that changes no answer), so huge instance boxes do not cost more than the frame covers.
//
// [SECTION] Boxes and masks
// [SECTION] Mapping
// [SECTION] Tests
#include <cmath>
#include <cstring>

#include "Files/Base/RealConvert.h"
#include "Files/Graphics/Graphics_Bitmap32.h"
#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/Sprite/Sprite_Main.h"
#include "Platform/MemoryManager.h"

// ============================================================================================
// [SECTION] Boxes and masks
// ============================================================================================
void CSprite::ComputeBoundingBox()
{
    // Radius: the farthest frame corner from the origin, single precision, rounded up.
    const int32_t cx[4] = {0, width, 0, width}, cy[4] = {0, 0, height, height};
    int32_t radius = 0;
    for (int i = 0; i < 4; ++i) {
        float dx = (float)((int64_t)cx[i] - xOrigin), dy = (float)((int64_t)cy[i] - yOrigin);
        int32_t r = Real_TruncToInt32(std::ceil(std::sqrt(dx * dx + dy * dy)));
        if (r > radius) radius = r;
    }
    boundingRadius = radius;
    if (bboxMode == 2) return;
    if (bboxMode == 1 || !transparent) {
        bboxLeft = 0;
        bboxTop = 0;
        bboxRight = width - 1;
        bboxBottom = height - 1;
        return;
    }
    int32_t l = width - 1, t = height - 1, r = 0, b = 0;
    for (int32_t f = 0; f < frameCount; ++f) {
        int32_t* box = nullptr;
        if (f < bitmapCount && bitmaps && bitmaps[f]) {
            box = bitmaps[f]->OpaqueBounds();
        } else if (pageEntries && pageEntries[f]) {
            // A game-file frame: its stored rectangle is where its opaque pixels lie.
            const TexturePageEntry* e = pageEntries[f];
            box = new int32_t[4]{e->xOffset, e->yOffset, e->xOffset + e->srcWidth - 1, e->yOffset + e->srcHeight - 1};
        }
        if (!box) continue;
        if (box[0] <= box[2] && box[1] <= box[3]) {
            if (box[0] < l) l = box[0];
            if (box[1] < t) t = box[1];
            if (box[2] > r) r = box[2];
            if (box[3] > b) b = box[3];
        }
        delete[] box;
    }
    bboxLeft = l;
    bboxTop = t;
    bboxRight = r;
    bboxBottom = b;
}

void CSprite::FreeMasks()
{
    // The working masks may be the game file's own (kept in fileMasks).
    if (masks != fileMasks) {
        for (int32_t i = 0; i < maskCount; ++i) MEM_FREE(masks[i].bytes);
        MEM_FREE(masks);
    }
    masks = nullptr;
    maskCount = 0;
    masksBuilt = 0;
}

void CSprite::CreateMask()
{
    FreeMasks();
    if (precise != 1 || frameCount <= 0) return;
    if (HasFileFrames() || bitmapCount == 0) {
        // No frame bitmaps to build from: the game file's masks come back when it gave some.
        if (fileMaskCount > 0) {
            masks = fileMasks;
            maskCount = fileMaskCount;
            masksBuilt = 1;
        }
        return;
    }
    if (transparent != 1) return;
    masks = (SpriteMask*)MEM_ALLOC(sizeof(SpriteMask) * (size_t)frameCount);
    maskCount = frameCount;
    for (int32_t f = 0; f < frameCount; ++f) masks[f] = Sprite_MaskOf(f < bitmapCount ? bitmaps[f] : nullptr, width, height);
    masksBuilt = 1;
}

SpriteMask Sprite_MaskOf(const CBitmap32* b, int32_t width, int32_t height)
{
    SpriteMask m;
    m.size = (uint32_t)width * (uint32_t)height;
    m.bytes = (uint8_t*)MEM_ALLOC_CLEAR(m.size ? m.size : 1);
    if (!b || !b->valid || !b->pixels) return m;
    const int32_t w = b->width < width ? b->width : width, h = b->height < height ? b->height : height;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            m.bytes[(size_t)y * width + x] = b->pixels[(size_t)y * b->width + x] >= 0x01000000u ? 1 : 0;
    return m;
}

void CSprite::SetBBoxMode(int32_t mode)
{
    if (mode < 0 || mode > 2 || mode == bboxMode) return;
    bboxMode = mode;
    ComputeBoundingBox();
}

void CSprite::SetBBox(const SpriteBox& box)
{
    if (bboxMode != 2) return;
    bboxLeft = box.left;
    bboxTop = box.top;
    bboxRight = box.right;
    bboxBottom = box.bottom;
}

void CSprite::SetPrecise(bool on)
{
    const uint8_t value = on ? 1 : 0;
    if (value == precise) return;
    precise = value;
    CreateMask();
}

uint8_t CSprite::MaskAt(int32_t frame, int32_t px, int32_t py) const
{
    if (px < 0 || py < 0 || px >= width || py >= height) return 0;
    if (!masksBuilt || maskCount <= 0) return 1;
    int32_t m = frame % maskCount;
    if (m < 0) m += maskCount;
    const SpriteMask& mask = masks[m];
    const size_t at = (size_t)py * (size_t)width + (size_t)px;
    return at < mask.size ? mask.bytes[at] : 0;
}

// ============================================================================================
// [SECTION] Mapping
// ============================================================================================
namespace {


bool ZeroScale(float sx, float sy) { return !(sx != 0.0f) || !(sy != 0.0f); } // also NaN

struct Rect {
    int64_t left, top, right, bottom; // inclusive
    bool Empty() const { return left > right || top > bottom; }
};

Rect Intersect(const Rect& a, const Rect& b)
{
    return Rect{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
                a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
}

Rect FromBox(const SpriteBox& b) { return Rect{b.left, b.top, b.right, b.bottom}; }

// The room rectangle whose points can map into the frame (frame area widened by a pixel on
// every side for the rounding, plus a room pixel).
Rect Reach(const CSprite* s, int32_t ix, int32_t iy, float sx, float sy, float angle)
{
    const double r = (double)(-angle * PI_F / 180.0f);
    const double sn = std::sin(r), cs = std::cos(r);
    const double pxs[2] = {-1.0, (double)s->width + 1.0}, pys[2] = {-1.0, (double)s->height + 1.0};
    double l = INFINITY, t = INFINITY, rr = -INFINITY, b = -INFINITY;
    for (double px : pxs)
        for (double py : pys) {
            const double u = (px - s->xOrigin) * sx, v = (py - s->yOrigin) * sy;
            const double dx = cs * u - sn * v, dy = sn * u + cs * v;
            l = std::fmin(l, ix + dx);
            rr = std::fmax(rr, ix + dx);
            t = std::fmin(t, iy + dy);
            b = std::fmax(b, iy + dy);
        }
    auto clamp = [](double v) {
        if (!(v > -4e18)) return (int64_t)-4e18;
        if (v > 4e18) return (int64_t)4e18;
        return (int64_t)v;
    };
    return Rect{clamp(std::floor(l)) - 1, clamp(std::floor(t)) - 1, clamp(std::ceil(rr)) + 1, clamp(std::ceil(b)) + 1};
}

// The rotated mapping rounded down.
struct FloorMap {
    float s, c, sx, sy, ox, oy;
    int32_t ix, iy;
    FloorMap(const CSprite* sp, int32_t x, int32_t y, float xs, float ys, float angle)
    {
        const float r = -angle * PI_F / 180.0f;
        s = std::sin(r);
        c = std::cos(r);
        sx = xs;
        sy = ys;
        ox = (float)sp->xOrigin;
        oy = (float)sp->yOrigin;
        ix = x;
        iy = y;
    }
    void Map(double x, double y, int32_t* px, int32_t* py) const
    {
        const float dx = (float)(x - ix), dy = (float)(y - iy);
        *px = GR_FloorInt((dy * s + dx * c) / sx + ox);
        *py = GR_FloorInt((dy * c - dx * s) / sy + oy);
    }
    static int32_t GR_FloorInt(float v)
    {
        const float f = std::floor(v);
        return f >= -2147483648.0f && f < 2147483648.0f ? (int32_t)f : INT32_MIN;
    }
};

// The ellipse membership of the ellipse test, with a zero radius read as the ellipse's
// line (or point).
bool InEllipse(int64_t x, int64_t y, int64_t cx, int64_t cy, int64_t rx, int64_t ry)
{
    auto term = [](int64_t d, int64_t r) {
        if (r == 0) return d == 0 ? 0.0 : INFINITY;
        const double q = (double)d / (double)r;
        return q * q;
    };
    return term(x - cx, rx) + term(y - cy, ry) <= 1.0;
}

} // namespace

// ============================================================================================
// [SECTION] Tests
// ============================================================================================
bool CSprite::CheckPointCollision(int32_t frame, const SpriteBox& box, int32_t x, int32_t y, float xscale,
                                  float yscale, float angle, int32_t px, int32_t py) const
{
    (void)box; // the caller tested the instance box
    if (ZeroScale(xscale, yscale)) return false;
    if (!masksBuilt) return true;
    if (frameCount <= 0) return false;
    int32_t fx, fy;
    if (std::fabs(angle) < 0.0001f) {
        fx = FloorMap::GR_FloorInt((float)((int64_t)px - x) / xscale + (float)xOrigin);
        fy = FloorMap::GR_FloorInt((float)((int64_t)py - y) / yscale + (float)yOrigin);
    } else {
        FloorMap(this, x, y, xscale, yscale, angle).Map(px, py, &fx, &fy);
    }
    return MaskAt(frame, fx, fy) != 0;
}

bool CSprite::CheckMaskCollision(int32_t frame, const SpriteBox& box, int32_t x, int32_t y, float xscale,
                                 float yscale, float angle, const SpriteBox& rect) const
{
    if (ZeroScale(xscale, yscale)) return false;
    if (!masksBuilt) return true;
    if (frameCount <= 0) return false;
    Rect area = Intersect(FromBox(box), FromBox(rect));
    if (area.Empty()) return false;
    area = Intersect(area, Reach(this, x, y, xscale, yscale, angle));
    const bool plain = xscale == 1.0f && yscale == 1.0f && std::fabs(angle) < 0.0001f;
    const FloorMap map(this, x, y, xscale, yscale, angle);
    for (int64_t ry = area.top; ry <= area.bottom; ++ry)
        for (int64_t rx = area.left; rx <= area.right; ++rx) {
            int32_t fx, fy;
            if (plain) {
                fx = (int32_t)(rx - x + xOrigin);
                fy = (int32_t)(ry - y + yOrigin);
            } else {
                map.Map((double)rx, (double)ry, &fx, &fy);
            }
            if (MaskAt(frame, fx, fy)) return true;
        }
    return false;
}

bool CSprite::CheckEllipseCollision(int32_t frame, const SpriteBox& box, int32_t x, int32_t y, float xscale,
                                    float yscale, float angle, const SpriteBox& rect) const
{
    if (ZeroScale(xscale, yscale)) return false;
    if (!masksBuilt) return true;
    if (frameCount <= 0) return false;
    Rect area = Intersect(FromBox(box), FromBox(rect));
    if (area.Empty()) return false;
    area = Intersect(area, Reach(this, x, y, xscale, yscale, angle));
    const int64_t cx = ((int64_t)rect.left + rect.right) / 2, cy = ((int64_t)rect.top + rect.bottom) / 2;
    const int64_t erx = ((int64_t)rect.right - rect.left) / 2, ery = ((int64_t)rect.bottom - rect.top) / 2;
    const bool plain = xscale == 1.0f && yscale == 1.0f && std::fabs(angle) < 0.0001f;
    const FloorMap map(this, x, y, xscale, yscale, angle);
    for (int64_t ry = area.top; ry <= area.bottom; ++ry)
        for (int64_t rx = area.left; rx <= area.right; ++rx) {
            if (!InEllipse(rx, ry, cx, cy, erx, ery)) continue;
            int32_t fx, fy;
            if (plain) {
                fx = (int32_t)(rx - x + xOrigin);
                fy = (int32_t)(ry - y + yOrigin);
            } else {
                map.Map((double)rx, (double)ry, &fx, &fy);
            }
            if (MaskAt(frame, fx, fy)) return true;
        }
    return false;
}

bool CSprite::CheckLineCollision(int32_t frame, const SpriteBox& box, int32_t x, int32_t y, float xscale,
                                 float yscale, float angle, int32_t x1, int32_t y1, int32_t x2, int32_t y2) const
{
    if (ZeroScale(xscale, yscale)) return false;
    if (!masksBuilt) return true;
    if (frameCount <= 0) return false;
    if (x1 == x2 || y1 == y2) {
        SpriteBox r{x1 < x2 ? x1 : x2, y1 < y2 ? y1 : y2, x1 > x2 ? x1 : x2, y1 > y2 ? y1 : y2};
        return CheckMaskCollision(frame, box, x, y, xscale, yscale, angle, r);
    }
    const Rect reach = Intersect(FromBox(box), Reach(this, x, y, xscale, yscale, angle));
    const FloorMap map(this, x, y, xscale, yscale, angle);
    const int64_t dx = (int64_t)x2 - x1, dy = (int64_t)y2 - y1;
    if ((dx < 0 ? -dx : dx) < (dy < 0 ? -dy : dy)) {
        // Walked in y from the upper end point.
        const int64_t ux = dy > 0 ? x1 : x2, uy = dy > 0 ? y1 : y2, ly = dy > 0 ? y2 : y1;
        const int64_t sdx = dy > 0 ? dx : -dx, sdy = dy > 0 ? dy : -dy;
        const int64_t from = reach.top > uy ? reach.top : uy, to = reach.bottom < ly ? reach.bottom : ly;
        for (int64_t ry = from; ry <= to; ++ry) {
            const double rx = (double)ux + (double)(ry - uy) * (double)sdx / (double)sdy;
            int32_t fx, fy;
            map.Map(rx, (double)ry, &fx, &fy);
            if (MaskAt(frame, fx, fy)) return true;
        }
        return false;
    }
    // Walked in x from the left end point.
    const int64_t lx = dx > 0 ? x1 : x2, ly = dx > 0 ? y1 : y2, rxEnd = dx > 0 ? x2 : x1;
    const int64_t sdx = dx > 0 ? dx : -dx, sdy = dx > 0 ? dy : -dy;
    const int64_t from = reach.left > lx ? reach.left : lx, to = reach.right < rxEnd ? reach.right : rxEnd;
    for (int64_t rx = from; rx <= to; ++rx) {
        const double ry = (double)ly + (double)(rx - lx) * (double)sdy / (double)sdx;
        int32_t fx, fy;
        map.Map((double)rx, ry, &fx, &fy);
        if (MaskAt(frame, fx, fy)) return true;
    }
    return false;
}

bool CSprite::CheckSpriteCollision(int32_t frame, const SpriteBox& box, int32_t x, int32_t y, float xscale,
                                   float yscale, float angle, const CSprite* other, int32_t otherFrame,
                                   const SpriteBox& otherBox, int32_t otherX, int32_t otherY, float otherXScale,
                                   float otherYScale, float otherAngle) const
{
    if (!other || frameCount <= 0 || other->frameCount <= 0) return false;
    if (ZeroScale(xscale, yscale) || ZeroScale(otherXScale, otherYScale)) return false;
    Rect area = Intersect(FromBox(box), FromBox(otherBox));
    if (area.Empty()) return false;
    area = Intersect(area, Reach(this, x, y, xscale, yscale, angle));
    area = Intersect(area, Reach(other, otherX, otherY, otherXScale, otherYScale, otherAngle));
    if (area.Empty()) return false;
    const float r1x = 1.0f / xscale, r1y = 1.0f / yscale, r2x = 1.0f / otherXScale, r2y = 1.0f / otherYScale;
    const bool unrotated = angle == 0.0f && otherAngle == 0.0f;
    const bool plain = unrotated && r1x == 1.0f && r1y == 1.0f && r2x == 1.0f && r2y == 1.0f;
    const float a1 = -angle * PI_F / 180.0f, a2 = -otherAngle * PI_F / 180.0f;
    const float s1 = std::sin(a1), c1 = std::cos(a1), s2 = std::sin(a2), c2 = std::cos(a2);
    const float o1x = (float)xOrigin, o1y = (float)yOrigin, o2x = (float)other->xOrigin, o2y = (float)other->yOrigin;
    for (int64_t rx = area.left; rx <= area.right; ++rx)
        for (int64_t ry = area.top; ry <= area.bottom; ++ry) {
            int32_t p1x, p1y, p2x, p2y;
            if (plain) {
                p1x = (int32_t)(rx - x + xOrigin);
                p1y = (int32_t)(ry - y + yOrigin);
                p2x = (int32_t)(rx - otherX + other->xOrigin);
                p2y = (int32_t)(ry - otherY + other->yOrigin);
            } else {
                const float d1x = (float)(rx - x), d1y = (float)(ry - y);
                const float d2x = (float)(rx - otherX), d2y = (float)(ry - otherY);
                if (unrotated) {
                    p1x = Real_TruncToInt32(d1x * r1x + o1x);
                    p1y = Real_TruncToInt32(d1y * r1y + o1y);
                    p2x = Real_TruncToInt32(d2x * r2x + o2x);
                    p2y = Real_TruncToInt32(d2y * r2y + o2y);
                } else {
                    p1x = Real_TruncToInt32((d1y * s1 + d1x * c1) * r1x + o1x);
                    p1y = Real_TruncToInt32((d1y * c1 - d1x * s1) * r1y + o1y);
                    p2x = Real_TruncToInt32((d2y * s2 + d2x * c2) * r2x + o2x);
                    p2y = Real_TruncToInt32((d2y * c2 - d2x * s2) * r2y + o2y);
                }
            }
            if (!MaskAt(frame, p1x, p1y)) continue;
            if (p2x < 0 || p2y < 0 || p2x >= other->width || p2y >= other->height) continue;
            if (other->MaskAt(otherFrame, p2x, p2y)) return true;
        }
    return false;
}
