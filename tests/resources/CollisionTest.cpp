// Collision masks and the five tests on hand-made masks: every test, rotated and scaled,
// against a plain double-precision reference that scans the whole area (answers are compared
// where the reference is certain: a point within 1e-3 of a pixel edge between differing mask
// values may go either way), then the edge cases of boxes, radii, frame wrapping and degenerate
// shapes and scales.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

#include "Files/Graphics_API/TBitmap.h"
#include "Files/Sprite/Sprite_Main.h"
#include "ResourceTestSupport.h"

namespace {

const double kPiF = 3.1415927410125732; // the single-precision pi the mapping uses

std::vector<uint8_t> RandomMask(std::mt19937& rng, int32_t w, int32_t h, int percent)
{
    std::vector<uint8_t> m((size_t)(w * h));
    for (auto& b : m) b = (int)(rng() % 100) < percent ? 1 : 0;
    return m;
}

// One placed frame for the reference.
struct Placed {
    const CSprite* s;
    int32_t frame;
    int32_t x, y;
    double sx, sy, angle;
    // The mask value at an integer pixel (0 outside).
    int Value(int64_t px, int64_t py) const
    {
        if (px < 0 || py < 0 || px >= s->width || py >= s->height) return 0;
        if (!s->masksBuilt) return 1;
        int32_t m = frame % s->maskCount;
        if (m < 0) m += s->maskCount;
        return s->masks[m].bytes[py * s->width + px];
    }
    void Map(double rx, double ry, double* px, double* py) const
    {
        const double r = -angle * kPiF / 180.0, sn = std::sin(r), cs = std::cos(r);
        const double dx = rx - x, dy = ry - y;
        *px = (dy * sn + dx * cs) / sx + s->xOrigin;
        *py = (dy * cs - dx * sn) / sy + s->yOrigin;
    }
    // Lowest and highest mask value a room point may read, with the given rounding.
    void Range(double rx, double ry, bool truncate, int* lo, int* hi) const
    {
        double px, py;
        Map(rx, ry, &px, &py);
        const double e = 1e-3;
        *lo = 1;
        *hi = 0;
        for (double ex : {-e, e})
            for (double ey : {-e, e}) {
                const double qx = truncate ? std::trunc(px + ex) : std::floor(px + ex);
                const double qy = truncate ? std::trunc(py + ey) : std::floor(py + ey);
                const int v = Value((int64_t)qx, (int64_t)qy);
                *lo = std::min(*lo, v);
                *hi = std::max(*hi, v);
            }
    }
};

// The reference's verdict: 1 certainly hit, 0 certainly not, -1 uncertain.
struct Verdict {
    bool sure = false, any = false;
    void Add(int lo, int hi)
    {
        if (lo) sure = true;
        if (hi) any = true;
    }
    int Result() const { return sure ? 1 : any ? -1 : 0; }
};

SpriteBox FrameBox(const Placed& p)
{
    // The room rectangle of the transformed frame, as the instance code's box would cover it.
    const double r = -p.angle * kPiF / 180.0, sn = std::sin(r), cs = std::cos(r);
    double l = 1e18, t = 1e18, rr = -1e18, b = -1e18;
    for (double fx : {0.0, (double)p.s->width})
        for (double fy : {0.0, (double)p.s->height}) {
            const double u = (fx - p.s->xOrigin) * p.sx, v = (fy - p.s->yOrigin) * p.sy;
            const double X = p.x + cs * u - sn * v, Y = p.y + sn * u + cs * v;
            l = std::min(l, X);
            rr = std::max(rr, X);
            t = std::min(t, Y);
            b = std::max(b, Y);
        }
    return SpriteBox{(int32_t)std::floor(l), (int32_t)std::floor(t), (int32_t)std::ceil(rr), (int32_t)std::ceil(b)};
}

class Collision : public ::testing::Test {
protected:
    void SetUp() override { rng.seed(20240611); }
    std::unique_ptr<CSprite> Sprite(int32_t w, int32_t h, int frames)
    {
        std::vector<std::vector<uint8_t>> masks;
        for (int i = 0; i < frames; ++i) masks.push_back(RandomMask(rng, w, h, 45));
        return std::unique_ptr<CSprite>(
            MakeMaskSprite(w, h, (int32_t)(rng() % (uint32_t)w), (int32_t)(rng() % (uint32_t)h), masks));
    }
    Placed Place(const CSprite* s, bool rotate)
    {
        static const double scales[] = {1, 1, 2, 0.5, -1, 1.5, -2.5, 3};
        Placed p{s, (int32_t)(rng() % 7) - 3, (int32_t)(rng() % 40), (int32_t)(rng() % 40), scales[rng() % 8],
                 scales[rng() % 8], rotate ? (double)(rng() % 3600) / 10.0 : 0.0};
        return p;
    }
    std::mt19937 rng;
};

TEST_F(Collision, PointRectangleEllipseAndLineAgreeWithTheReference)
{
    int compared = 0;
    for (int round = 0; round < 1500; ++round) {
        auto sprite = Sprite(9, 7, 3);
        const Placed p = Place(sprite.get(), round % 3 != 0);
        const SpriteBox box = FrameBox(p);
        const float sx = (float)p.sx, sy = (float)p.sy, angle = (float)p.angle;
        // Point.
        const int32_t qx = box.left + (int32_t)(rng() % 30) - 5, qy = box.top + (int32_t)(rng() % 30) - 5;
        {
            int lo, hi;
            p.Range(qx, qy, false, &lo, &hi);
            if (lo == hi) {
                EXPECT_EQ(sprite->CheckPointCollision(p.frame, box, p.x, p.y, sx, sy, angle, qx, qy), lo == 1)
                    << "round " << round;
                ++compared;
            }
        }
        // Rectangle and ellipse.
        SpriteBox rect{qx, qy, qx + (int32_t)(rng() % 12), qy + (int32_t)(rng() % 12)};
        Verdict inRect, inEllipse;
        const int64_t cx = ((int64_t)rect.left + rect.right) / 2, cy = ((int64_t)rect.top + rect.bottom) / 2;
        const int64_t rx = ((int64_t)rect.right - rect.left) / 2, ry = ((int64_t)rect.bottom - rect.top) / 2;
        for (int64_t y = std::max(box.top, rect.top); y <= std::min(box.bottom, rect.bottom); ++y)
            for (int64_t x = std::max(box.left, rect.left); x <= std::min(box.right, rect.right); ++x) {
                int lo, hi;
                p.Range((double)x, (double)y, false, &lo, &hi);
                inRect.Add(lo, hi);
                auto term = [](int64_t d, int64_t r) { return r == 0 ? (d == 0 ? 0.0 : 1e9) : (double)d * d / ((double)r * r); };
                if (term(x - cx, rx) + term(y - cy, ry) <= 1.0) inEllipse.Add(lo, hi);
            }
        if (inRect.Result() >= 0) {
            EXPECT_EQ(sprite->CheckMaskCollision(p.frame, box, p.x, p.y, sx, sy, angle, rect), inRect.Result() == 1)
                << "round " << round;
            ++compared;
        }
        if (inEllipse.Result() >= 0) {
            EXPECT_EQ(sprite->CheckEllipseCollision(p.frame, box, p.x, p.y, sx, sy, angle, rect), inEllipse.Result() == 1)
                << "round " << round;
            ++compared;
        }
        // A sloped line: walked along its longer axis inside the box.
        const int32_t x1 = qx, y1 = qy, x2 = qx + (int32_t)(rng() % 25) - 12, y2 = qy + (int32_t)(rng() % 25) - 12;
        if (x1 != x2 && y1 != y2) {
            Verdict onLine;
            const int64_t dx = x2 - x1, dy = y2 - y1;
            if (std::llabs(dx) < std::llabs(dy)) {
                const int64_t ux = dy > 0 ? x1 : x2, uy = dy > 0 ? y1 : y2, ly = dy > 0 ? y2 : y1;
                const double slope = (double)(dy > 0 ? dx : -dx) / (double)(dy > 0 ? dy : -dy);
                for (int64_t y = std::max<int64_t>(box.top, uy); y <= std::min<int64_t>(box.bottom, ly); ++y) {
                    int lo, hi;
                    p.Range(ux + (double)(y - uy) * slope, (double)y, false, &lo, &hi);
                    onLine.Add(lo, hi);
                }
            } else {
                const int64_t lx = dx > 0 ? x1 : x2, ly = dx > 0 ? y1 : y2, rx2 = dx > 0 ? x2 : x1;
                const double slope = (double)(dx > 0 ? dy : -dy) / (double)(dx > 0 ? dx : -dx);
                for (int64_t x = std::max<int64_t>(box.left, lx); x <= std::min<int64_t>(box.right, rx2); ++x) {
                    int lo, hi;
                    p.Range((double)x, ly + (double)(x - lx) * slope, false, &lo, &hi);
                    onLine.Add(lo, hi);
                }
            }
            if (onLine.Result() >= 0) {
                EXPECT_EQ(sprite->CheckLineCollision(p.frame, box, p.x, p.y, sx, sy, angle, x1, y1, x2, y2),
                          onLine.Result() == 1)
                    << "round " << round;
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, 4000) << "most cases are away from mask edges";
}

TEST_F(Collision, SpriteAgainstSpriteAgreesWithTheReference)
{
    int compared = 0, hits = 0;
    for (int round = 0; round < 1500; ++round) {
        auto a = Sprite(8, 6, 2), b = Sprite(7, 9, 3);
        const bool rotate = round % 2 == 0;
        const Placed pa = Place(a.get(), rotate), pb = Place(b.get(), rotate && round % 4 == 0);
        const SpriteBox ba = FrameBox(pa), bb = FrameBox(pb);
        Verdict v;
        for (int64_t x = std::max(ba.left, bb.left); x <= std::min(ba.right, bb.right); ++x)
            for (int64_t y = std::max(ba.top, bb.top); y <= std::min(ba.bottom, bb.bottom); ++y) {
                int la, ha, lb, hb;
                pa.Range((double)x, (double)y, true, &la, &ha);
                pb.Range((double)x, (double)y, true, &lb, &hb);
                v.Add(la && lb, ha && hb);
            }
        if (v.Result() < 0) continue;
        const bool got = a->CheckSpriteCollision(pa.frame, ba, pa.x, pa.y, (float)pa.sx, (float)pa.sy, (float)pa.angle,
                                                 b.get(), pb.frame, bb, pb.x, pb.y, (float)pb.sx, (float)pb.sy,
                                                 (float)pb.angle);
        EXPECT_EQ(got, v.Result() == 1) << "round " << round;
        ++compared;
        hits += got;
    }
    EXPECT_GT(compared, 1000);
    EXPECT_GT(hits, 100);
    EXPECT_LT(hits, compared - 100);
}

TEST_F(Collision, FrameIndicesWrapModuloTheMaskCount)
{
    // Mask k is solid only at pixel (k, 0).
    std::vector<std::vector<uint8_t>> masks(4, std::vector<uint8_t>(16, 0));
    for (int k = 0; k < 4; ++k) masks[(size_t)k][(size_t)k] = 1;
    std::unique_ptr<CSprite> s(MakeMaskSprite(4, 4, 0, 0, masks));
    const SpriteBox box{0, 0, 3, 3};
    EXPECT_TRUE(s->CheckPointCollision(5, box, 0, 0, 1, 1, 0, 1, 0)) << "frame 5 of 4 masks uses mask 1";
    EXPECT_FALSE(s->CheckPointCollision(5, box, 0, 0, 1, 1, 0, 0, 0));
    EXPECT_TRUE(s->CheckPointCollision(-1, box, 0, 0, 1, 1, 0, 3, 0)) << "frame -1 uses mask 3";
    std::unique_ptr<CSprite> one(MakeMaskSprite(4, 4, 0, 0, {masks[2]}));
    for (int f : {0, 1, 7, -3}) EXPECT_TRUE(one->CheckPointCollision(f, box, 0, 0, 1, 1, 0, 2, 0)) << f;
}

TEST_F(Collision, WithoutMasksEveryShapeCollidesByBox)
{
    std::unique_ptr<CSprite> s(MakeMaskSprite(4, 4, 0, 0, {std::vector<uint8_t>(16, 0)}));
    s->FreeMasks();
    const SpriteBox box{10, 10, 13, 13};
    EXPECT_TRUE(s->CheckPointCollision(0, box, 10, 10, 1, 1, 0, 100, 100));
    EXPECT_TRUE(s->CheckMaskCollision(0, box, 10, 10, 1, 1, 0, SpriteBox{0, 0, 1, 1}));
    EXPECT_TRUE(s->CheckEllipseCollision(0, box, 10, 10, 1, 1, 0, SpriteBox{0, 0, 1, 1}));
    EXPECT_TRUE(s->CheckLineCollision(0, box, 10, 10, 1, 1, 0, 0, 0, 5, 9));
    // Sprite against sprite: the two frame rectangles must overlap inside both boxes.
    std::unique_ptr<CSprite> t(MakeMaskSprite(4, 4, 0, 0, {std::vector<uint8_t>(16, 0)}));
    t->FreeMasks();
    EXPECT_TRUE(s->CheckSpriteCollision(0, box, 10, 10, 1, 1, 0, t.get(), 0, SpriteBox{12, 12, 15, 15}, 12, 12, 1, 1, 0));
    EXPECT_FALSE(s->CheckSpriteCollision(0, box, 10, 10, 1, 1, 0, t.get(), 0, SpriteBox{14, 14, 17, 17}, 14, 14, 1, 1, 0));
    // A sprite without frames collides with nothing (masks built or not).
    CSprite empty;
    EXPECT_FALSE(empty.CheckSpriteCollision(0, box, 10, 10, 1, 1, 0, t.get(), 0, box, 10, 10, 1, 1, 0));
}

TEST_F(Collision, AlmostUnrotatedCountsAsUnrotatedExceptSpriteAgainstSprite)
{
    // One solid pixel at (1, 0) of a 2 x 1 frame, origin (0, 0), at (10, 10). At angle 0.00005
    // the mapped point of (11, 10) lies a hair above row 0: unrotated (as the point test
    // takes it) it is solid; so it is for the reference too. The sprite test takes the
    // rotated path (and truncates).
    std::unique_ptr<CSprite> s(MakeMaskSprite(2, 1, 0, 0, {{0, 1}}));
    const SpriteBox box{10, 10, 11, 10};
    EXPECT_TRUE(s->CheckPointCollision(0, box, 10, 10, 1, 1, 0.00005f, 11, 10));
    EXPECT_TRUE(s->CheckMaskCollision(0, box, 10, 10, 1, 1, 0.00005f, SpriteBox{11, 10, 11, 10}));
    EXPECT_TRUE(s->CheckEllipseCollision(0, box, 10, 10, 1, 1, 0.00005f, SpriteBox{11, 10, 11, 10}));
    std::unique_ptr<CSprite> dot(MakeMaskSprite(1, 1, 0, 0, {{1}}));
    EXPECT_TRUE(s->CheckSpriteCollision(0, box, 10, 10, 1, 1, 0.00005f, dot.get(), 0, SpriteBox{11, 10, 11, 10}, 11, 10, 1,
                                        1, 0));
}

TEST_F(Collision, ZeroScalesAndDegenerateEllipses)
{
    std::unique_ptr<CSprite> s(MakeMaskSprite(4, 4, 0, 0, {std::vector<uint8_t>(16, 1)}));
    const SpriteBox box{0, 0, 3, 3};
    for (float zero : {0.0f, -0.0f, NAN}) {
        EXPECT_FALSE(s->CheckPointCollision(0, box, 0, 0, zero, 1, 0, 1, 1));
        EXPECT_FALSE(s->CheckMaskCollision(0, box, 0, 0, 1, zero, 0, box));
        EXPECT_FALSE(s->CheckEllipseCollision(0, box, 0, 0, zero, zero, 30, box));
        EXPECT_FALSE(s->CheckLineCollision(0, box, 0, 0, zero, 1, 0, 0, 0, 3, 2));
        EXPECT_FALSE(s->CheckSpriteCollision(0, box, 0, 0, 1, 1, 0, s.get(), 0, box, 0, 0, zero, 1, 0));
    }
    // An ellipse box one or two pixels wide is its centre column (no division by a zero radius).
    std::vector<uint8_t> column(16, 0);
    column[2 * 4 + 2] = 1; // pixel (2, 2)
    std::unique_ptr<CSprite> c(MakeMaskSprite(4, 4, 0, 0, {column}));
    EXPECT_TRUE(c->CheckEllipseCollision(0, box, 0, 0, 1, 1, 0, SpriteBox{2, 0, 2, 3}));
    EXPECT_TRUE(c->CheckEllipseCollision(0, box, 0, 0, 1, 1, 0, SpriteBox{2, 0, 3, 3}));
    EXPECT_FALSE(c->CheckEllipseCollision(0, box, 0, 0, 1, 1, 0, SpriteBox{1, 0, 2, 3})) << "centre column 1";
    EXPECT_TRUE(c->CheckEllipseCollision(0, box, 0, 0, 1, 1, 0, SpriteBox{0, 2, 3, 2})) << "a row";
    EXPECT_TRUE(c->CheckEllipseCollision(0, box, 0, 0, 1, 1, 0, SpriteBox{2, 2, 2, 2})) << "a point";
    // Vertical and horizontal lines are rectangles.
    EXPECT_TRUE(c->CheckLineCollision(0, box, 0, 0, 1, 1, 0, 2, 3, 2, 0));
    EXPECT_FALSE(c->CheckLineCollision(0, box, 0, 0, 1, 1, 0, 1, 3, 1, 0));
}

TEST_F(Collision, HugeScalesStayBounded)
{
    // A box millions of pixels wide: the scans only visit what the frames can cover.
    std::unique_ptr<CSprite> s(MakeMaskSprite(4, 4, 2, 2, {std::vector<uint8_t>(16, 0)}));
    s->masks[0].bytes[5] = 1;
    const SpriteBox huge{-2000000000, -2000000000, 2000000000, 2000000000};
    EXPECT_TRUE(s->CheckMaskCollision(0, huge, 0, 0, 1, 1, 0, huge));
    EXPECT_FALSE(s->CheckMaskCollision(0, huge, 0, 0, 1, 1, 0, SpriteBox{100, 100, 2000000000, 2000000000}));
    EXPECT_TRUE(s->CheckLineCollision(0, huge, 0, 0, 1, 1, 0, -2000000000, -2000000000, 2000000000, 2000000000));
    EXPECT_TRUE(s->CheckSpriteCollision(0, huge, 0, 0, 1, 1, 0, s.get(), 0, huge, 0, 0, 1, 1, 0));
}

TEST_F(Collision, BoxesRadiiAndSetters)
{
    // Box mode 0 of a transparent sprite whose frames are clear but for pixel (3, 4).
    CSprite s;
    TBitmap* image = MakeTBitmap(8, 8, [](int32_t x, int32_t y) { return x == 3 && y == 4 ? 0xFF102030u : 0u; });
    s.CreateFromScreen(image, true, true, false, true, 0, 0, true); // alpha kept
    delete image;
    EXPECT_EQ(s.bboxLeft, 3);
    EXPECT_EQ(s.bboxTop, 4);
    EXPECT_EQ(s.bboxRight, 3);
    EXPECT_EQ(s.bboxBottom, 4);
    s.SetBBox(SpriteBox{0, 0, 1, 1});
    EXPECT_EQ(s.bboxLeft, 3) << "only in mode 2";
    s.SetBBoxMode(3);
    EXPECT_EQ(s.bboxMode, 0);
    s.SetBBoxMode(1);
    EXPECT_EQ(s.bboxRight, 7);
    s.SetBBox(SpriteBox{0, 0, 1, 1});
    EXPECT_EQ(s.bboxRight, 7);
    s.SetBBoxMode(2);
    s.SetBBox(SpriteBox{1, 2, 3, 4});
    EXPECT_EQ(s.bboxTop, 2);
    EXPECT_EQ(s.bboxBottom, 4);
    // The radius of a 32 x 32 sprite with origin (16, 16) is 23 (ceiling of 22.63).
    std::unique_ptr<CSprite> r(MakeMaskSprite(32, 32, 16, 16, {std::vector<uint8_t>(1024, 0)}));
    EXPECT_EQ(r->boundingRadius, 23);
    // Masks from the frames: alpha of at least 1 is solid; precise off frees them.
    ASSERT_TRUE(s.masksBuilt);
    EXPECT_EQ(s.masks[0].bytes[4 * 8 + 3], 1);
    EXPECT_EQ(s.masks[0].bytes[4 * 8 + 4], 0);
    s.SetPrecise(false);
    EXPECT_FALSE(s.masksBuilt);
    s.SetPrecise(true);
    EXPECT_TRUE(s.masksBuilt);
    s.transparent = 0;
    s.CreateMask();
    EXPECT_FALSE(s.masksBuilt) << "an opaque sprite has no masks";
}

} // namespace
