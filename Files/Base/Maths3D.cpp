// Vector and matrix functions of the 3-D drawing layer. Needs nothing else.
#include "Files/Base/Maths3D.h"

#include <cmath>
#include <cstring>

namespace {

constexpr float kDegToRad = 0.01745329238474369f;

void Zero(Matrix44* out) { std::memset(out->m, 0, sizeof out->m); }

} // namespace

Vec3* Vec3_Subtract(Vec3* out, const Vec3* a, const Vec3* b)
{
    out->x = a->x - b->x;
    out->y = a->y - b->y;
    out->z = a->z - b->z;
    return out;
}

float Vec3_Dot(const Vec3* a, const Vec3* b) { return a->x * b->x + a->y * b->y + a->z * b->z; }

void Vec3_Normalise(Vec3* v)
{
    float inv = 1.0f / std::sqrt(Vec3_Dot(v, v));
    v->x *= inv;
    v->y *= inv;
    v->z *= inv;
}

void Vec3_NormaliseTo(const Vec3* v, Vec3* out)
{
    Vec3 t = *v;
    Vec3_Normalise(&t);
    *out = t;
}

void Vec3_Cross(const Vec3* a, Vec3* out, const Vec3* b)
{
    Vec3 r;
    r.x = a->y * b->z - a->z * b->y;
    r.y = a->z * b->x - a->x * b->z;
    r.z = a->x * b->y - a->y * b->x;
    *out = r;
}

void Matrix_Multiply(Matrix44* out, const Matrix44* a, const Matrix44* b)
{
    Matrix44 r;
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) {
            float s = a->m[row * 4 + 0] * b->m[0 * 4 + col];
            s += a->m[row * 4 + 1] * b->m[1 * 4 + col];
            s += a->m[row * 4 + 2] * b->m[2 * 4 + col];
            s += a->m[row * 4 + 3] * b->m[3 * 4 + col];
            r.m[row * 4 + col] = s;
        }
    }
    *out = r;
}

void Matrix_Transpose(Matrix44* out, const Matrix44* m)
{
    Matrix44 r;
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col) r.m[row * 4 + col] = m->m[col * 4 + row];
    *out = r;
}

void Matrix_Identity(Matrix44* out)
{
    Zero(out);
    out->m[0] = out->m[5] = out->m[10] = out->m[15] = 1.0f;
}

void Matrix_RotationX(Matrix44* out, float degrees)
{
    float a = degrees * kDegToRad;
    float c = std::cos(a), s = std::sin(a);
    Matrix_Identity(out);
    out->m[5] = c;
    out->m[6] = -s;
    out->m[9] = s;
    out->m[10] = c;
}

void Matrix_RotationY(Matrix44* out, float degrees)
{
    float a = degrees * kDegToRad;
    float c = std::cos(a), s = std::sin(a);
    Matrix_Identity(out);
    out->m[0] = c;
    out->m[2] = s;
    out->m[8] = -s;
    out->m[10] = c;
}

void Matrix_RotationZ(Matrix44* out, float degrees)
{
    float a = degrees * kDegToRad;
    float c = std::cos(a), s = std::sin(a);
    Matrix_Identity(out);
    out->m[0] = c;
    out->m[1] = -s;
    out->m[4] = s;
    out->m[5] = c;
}

void Matrix_RotationAxis(Matrix44* out, Vec3* axis, float degrees)
{
    Vec3_Normalise(axis);
    float a = degrees * kDegToRad;
    float c = std::cos(a), s = std::sin(a), t = 1.0f - c;
    float x = axis->x, y = axis->y, z = axis->z;
    Zero(out);
    out->m[0] = t * x * x + c;
    out->m[1] = t * x * y + s * z;
    out->m[2] = t * x * z - s * y;
    out->m[4] = t * x * y - s * z;
    out->m[5] = t * y * y + c;
    out->m[6] = t * y * z + s * x;
    out->m[8] = t * x * z + s * y;
    out->m[9] = t * y * z - s * x;
    out->m[10] = t * z * z + c;
    out->m[15] = 1.0f;
}

void Matrix_LookAt(Matrix44* out, const Vec3* eye, const Vec3* target, const Vec3* up)
{
    Vec3 z, u, x, y;
    Vec3_Subtract(&z, target, eye);
    Vec3_Normalise(&z);
    Vec3_NormaliseTo(up, &u);
    Vec3_Cross(&u, &x, &z);
    Vec3_Normalise(&x);
    Vec3_Cross(&z, &y, &x);
    Vec3_Normalise(&y);
    out->m[0] = x.x;
    out->m[1] = y.x;
    out->m[2] = z.x;
    out->m[3] = 0.0f;
    out->m[4] = x.y;
    out->m[5] = y.y;
    out->m[6] = z.y;
    out->m[7] = 0.0f;
    out->m[8] = x.z;
    out->m[9] = y.z;
    out->m[10] = z.z;
    out->m[11] = 0.0f;
    out->m[12] = -Vec3_Dot(&x, eye);
    out->m[13] = -Vec3_Dot(&y, eye);
    out->m[14] = -Vec3_Dot(&z, eye);
    out->m[15] = 1.0f;
}

void Matrix_PerspectiveFov(Matrix44* out, float fovRadians, float aspect, float zNear, float zFar)
{
    float y = 1.0f / std::tan(fovRadians / 2.0f);
    Zero(out);
    out->m[0] = y / aspect;
    out->m[5] = y;
    out->m[10] = zFar / (zFar - zNear);
    out->m[11] = 1.0f;
    out->m[14] = -zNear * zFar / (zFar - zNear);
}

void Matrix_Perspective(Matrix44* out, float width, float height, float zNear, float zFar)
{
    Zero(out);
    out->m[0] = 2.0f * zNear / width;
    out->m[5] = 2.0f * zNear / height;
    out->m[10] = zFar / (zFar - zNear);
    out->m[11] = 1.0f;
    out->m[14] = -zNear * zFar / (zFar - zNear);
}

void Matrix_Ortho(Matrix44* out, float width, float height, float zNear, float zFar)
{
    Zero(out);
    out->m[0] = 2.0f / width;
    out->m[5] = 2.0f / height;
    out->m[10] = 1.0f / (zFar - zNear);
    out->m[14] = zNear / (zNear - zFar);
    out->m[15] = 1.0f;
}
