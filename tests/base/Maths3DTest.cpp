// Vector and matrix builders: checked through what they do to points, not restated formulas.
#include <gtest/gtest.h>

#include <cmath>

#include "Files/Base/Maths3D.h"

namespace {

// Row vector (x, y, z, 1) times m, divided by w.
Vec3 Transform(const Matrix44& m, Vec3 p, float* wOut = nullptr)
{
    float r[4];
    for (int c = 0; c < 4; ++c) r[c] = p.x * m.m[c] + p.y * m.m[4 + c] + p.z * m.m[8 + c] + m.m[12 + c];
    if (wOut) *wOut = r[3];
    return {r[0] / r[3], r[1] / r[3], r[2] / r[3]};
}

void ExpectNear(Vec3 a, Vec3 b, float eps = 1e-5f)
{
    EXPECT_NEAR(a.x, b.x, eps);
    EXPECT_NEAR(a.y, b.y, eps);
    EXPECT_NEAR(a.z, b.z, eps);
}

void ExpectMatrixNear(const Matrix44& a, const Matrix44& b, float eps = 1e-5f)
{
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(a.m[i], b.m[i], eps) << "element " << i;
}

Matrix44 Translation(float x, float y, float z)
{
    Matrix44 m;
    Matrix_Identity(&m);
    m.m[12] = x;
    m.m[13] = y;
    m.m[14] = z;
    return m;
}

} // namespace

TEST(Vec3, NormaliseCrossAndTheUnguardedZeroVector)
{
    Vec3 v{3, 0, 4};
    Vec3 n;
    Vec3_NormaliseTo(&v, &n);
    ExpectNear(n, {0.6f, 0, 0.8f});
    EXPECT_EQ(v.x, 3.0f); // source unchanged
    Vec3 x{1, 0, 0}, y{0, 1, 0}, z;
    Vec3_Cross(&x, &z, &y);
    ExpectNear(z, {0, 0, 1});
    Vec3_Cross(&x, &x, &y); // output may alias an input
    ExpectNear(x, {0, 0, 1});
    Vec3 zero{0, 0, 0};
    Vec3_Normalise(&zero);
    EXPECT_FALSE(std::isfinite(zero.x));
    Vec3 d;
    Vec3_Subtract(&d, &v, &y);
    EXPECT_EQ(Vec3_Dot(&d, &d), 9.0f + 1.0f + 16.0f);
}

TEST(Matrix, RotationsTurnPointsTheWayTheGameExpects)
{
    Matrix44 m;
    Matrix_RotationZ(&m, 90);
    ExpectNear(Transform(m, {1, 0, 0}), {0, -1, 0});
    Matrix_RotationX(&m, 90);
    ExpectNear(Transform(m, {0, 1, 0}), {0, 0, -1});
    Matrix_RotationY(&m, 90);
    ExpectNear(Transform(m, {0, 0, 1}), {-1, 0, 0});
    Matrix_RotationY(&m, 0);
    Matrix44 id;
    Matrix_Identity(&id);
    ExpectMatrixNear(m, id, 0);
}

TEST(Matrix, RotationAxisNormalisesTheCallersAxis)
{
    Vec3 axis{0, 0, 2};
    Matrix44 a, z;
    Matrix_RotationAxis(&a, &axis, 30);
    EXPECT_FLOAT_EQ(axis.z, 1.0f);
    Matrix_RotationZ(&z, -30); // same turn, opposite sense of the z builder
    ExpectMatrixNear(a, z);
    Vec3 diag{1, 1, 1};
    Matrix_RotationAxis(&a, &diag, 120); // a third of a turn about the diagonal cycles the axes
    ExpectNear(Transform(a, {1, 0, 0}), {0, 1, 0});
    EXPECT_NEAR(Vec3_Dot(&diag, &diag), 1.0f, 1e-6f);
}

TEST(Matrix, MultiplyAppliesLeftFirstAndMayAlias)
{
    Matrix44 t = Translation(10, 0, 0), r, tr, rt;
    Matrix_RotationZ(&r, 90);
    Matrix_Multiply(&tr, &t, &r); // translate, then rotate
    Matrix_Multiply(&rt, &r, &t); // rotate, then translate
    ExpectNear(Transform(tr, {0, 0, 0}), {0, -10, 0});
    ExpectNear(Transform(rt, {0, 0, 0}), {10, 0, 0});
    Matrix_Multiply(&t, &t, &r);
    ExpectMatrixNear(t, tr, 0);
    Matrix44 tt;
    Matrix_Transpose(&tt, &tr);
    Matrix_Transpose(&tt, &tt);
    ExpectMatrixNear(tt, tr, 0);
    EXPECT_EQ(tt.m[3 * 4 + 1], tr.m[13]);
}

TEST(Matrix, LookAtPutsTheEyeAtTheOriginFacingPlusZ)
{
    Vec3 eye{3, -2, 7}, target{-1, 4, 2}, up{0, 0, 5};
    Matrix44 v;
    Matrix_LookAt(&v, &eye, &target, &up);
    EXPECT_EQ(up.z, 5.0f); // the caller's up is a copy
    ExpectNear(Transform(v, eye), {0, 0, 0}, 1e-4f);
    Vec3 d;
    Vec3_Subtract(&d, &target, &eye);
    ExpectNear(Transform(v, target), {0, 0, std::sqrt(Vec3_Dot(&d, &d))}, 1e-4f);

    Vec3 e2{0, 0, -10}, t2{0, 0, 0}, u2{0, 1, 0};
    Matrix_LookAt(&v, &e2, &t2, &u2);
    ExpectNear(Transform(v, {1, 2, 0}), {1, 2, 10}); // left-handed: x right, y up
}

TEST(Matrix, ProjectionsMapNearToZeroAndFarToOne)
{
    Matrix44 p;
    float w;
    Matrix_Perspective(&p, 2, 1, 1, 100);
    Vec3 n = Transform(p, {1, 0.5f, 1}, &w);
    ExpectNear(n, {1, 1, 0});
    EXPECT_NEAR(Transform(p, {0, 0, 100}).z, 1.0f, 1e-5f);

    const float fov = 1.5707963f;
    Matrix_PerspectiveFov(&p, fov, 2, 1, 100);
    ExpectNear(Transform(p, {2, 1, 1}), {1, 1, 0}); // 90 degrees: the edge at distance 1 is y = 1
    EXPECT_NEAR(Transform(p, {0, 0, 100}).z, 1.0f, 1e-5f);

    Matrix_Ortho(&p, 640, -480, 1, 32000); // a negative height turns y downwards
    ExpectNear(Transform(p, {320, 240, 1}), {1, -1, 0});
    EXPECT_NEAR(Transform(p, {0, 0, 32000}).z, 1.0f, 1e-5f);
}
