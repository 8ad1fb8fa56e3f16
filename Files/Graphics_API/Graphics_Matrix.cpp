// Matrix helpers of the graphics layer (see Graphics_Matrix.h): float-array forms of the
// foundation's builders (Files/Base/Maths3D), plus translation, scaling and point transforms.
#include "Files/Graphics_API/Graphics_Matrix.h"

#include <cstring>

#include "Files/Base/Maths3D.h"

namespace grm {

namespace {
Matrix44 In(const float* m)
{
    Matrix44 r;
    std::memcpy(r.m, m, sizeof(r.m));
    return r;
}
void Out(float* out, const Matrix44& m) { std::memcpy(out, m.m, sizeof(m.m)); }
Vec3 V(const float* v) { return {v[0], v[1], v[2]}; }
} // namespace

void Identity(float* out)
{
    Matrix44 m;
    Matrix_Identity(&m);
    Out(out, m);
}

void Multiply(float* out, const float* a, const float* b)
{
    Matrix44 x = In(a), y = In(b), r;
    Matrix_Multiply(&r, &x, &y);
    Out(out, r);
}

void LookAt(float* out, const float* eye, const float* target, const float* up)
{
    Vec3 e = V(eye), t = V(target), u = V(up);
    Matrix44 r;
    Matrix_LookAt(&r, &e, &t, &u);
    Out(out, r);
}

void Ortho(float* out, float width, float height, float zn, float zf)
{
    Matrix44 r;
    Matrix_Ortho(&r, width, height, zn, zf);
    Out(out, r);
}

void Perspective(float* out, float width, float height, float zn, float zf)
{
    Matrix44 r;
    Matrix_Perspective(&r, width, height, zn, zf);
    Out(out, r);
}

void PerspectiveFov(float* out, float fov, float aspect, float zn, float zf)
{
    Matrix44 r;
    Matrix_PerspectiveFov(&r, fov, aspect, zn, zf);
    Out(out, r);
}

void RotationX(float* out, float degrees)
{
    Matrix44 r;
    Matrix_RotationX(&r, degrees);
    Out(out, r);
}

void RotationY(float* out, float degrees)
{
    Matrix44 r;
    Matrix_RotationY(&r, degrees);
    Out(out, r);
}

void RotationZ(float* out, float degrees)
{
    Matrix44 r;
    Matrix_RotationZ(&r, degrees);
    Out(out, r);
}

void RotationAxis(float* out, float* axis, float degrees)
{
    Vec3 a = V(axis);
    Matrix44 r;
    Matrix_RotationAxis(&r, &a, degrees);
    axis[0] = a.x;
    axis[1] = a.y;
    axis[2] = a.z;
    Out(out, r);
}

void Translation(float* out, float x, float y, float z)
{
    Identity(out);
    out[12] = x;
    out[13] = y;
    out[14] = z;
}

void Scaling(float* out, float x, float y, float z)
{
    Identity(out);
    out[0] = x;
    out[5] = y;
    out[10] = z;
}

void TransformPoint(float* out, const float* p, const float* m)
{
    float r[4];
    for (int j = 0; j < 4; ++j) r[j] = p[0] * m[j] + p[1] * m[4 + j] + p[2] * m[8 + j] + m[12 + j];
    std::memcpy(out, r, sizeof(r));
}

} // namespace grm
