// Matrix helpers of the graphics layer (see Graphics_Matrix.h). Single precision throughout;
// angles in degrees use pi/180 rounded to single precision.
#include "Files/Graphics_API/Graphics_Matrix.h"

#include <cmath>
#include <cstring>

namespace grm {

static const float kDegToRad = 0.01745329238474369f;

void Identity(float* out)
{
    std::memset(out, 0, 16 * sizeof(float));
    out[0] = out[5] = out[10] = out[15] = 1.0f;
}

void Multiply(float* out, const float* a, const float* b)
{
    float r[16];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float s = 0.0f;
            for (int k = 0; k < 4; ++k) s += a[i * 4 + k] * b[k * 4 + j];
            r[i * 4 + j] = s;
        }
    std::memcpy(out, r, sizeof(r));
}

static void Normalise(float* v)
{
    float len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    float inv = 1.0f / len;
    v[0] *= inv;
    v[1] *= inv;
    v[2] *= inv;
}

static void Cross(float* out, const float* a, const float* b)
{
    float r0 = a[1] * b[2] - a[2] * b[1];
    float r1 = a[2] * b[0] - a[0] * b[2];
    float r2 = a[0] * b[1] - a[1] * b[0];
    out[0] = r0;
    out[1] = r1;
    out[2] = r2;
}

static float Dot(const float* a, const float* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void LookAt(float* out, const float* eye, const float* target, const float* up)
{
    float z[3] = {target[0] - eye[0], target[1] - eye[1], target[2] - eye[2]};
    Normalise(z);
    float u[3] = {up[0], up[1], up[2]};
    Normalise(u);
    float x[3], y[3];
    Cross(x, u, z);
    Normalise(x);
    Cross(y, z, x);
    Normalise(y);
    out[0] = x[0]; out[1] = y[0]; out[2] = z[0]; out[3] = 0.0f;
    out[4] = x[1]; out[5] = y[1]; out[6] = z[1]; out[7] = 0.0f;
    out[8] = x[2]; out[9] = y[2]; out[10] = z[2]; out[11] = 0.0f;
    out[12] = -Dot(x, eye); out[13] = -Dot(y, eye); out[14] = -Dot(z, eye); out[15] = 1.0f;
}

void Ortho(float* out, float width, float height, float zn, float zf)
{
    std::memset(out, 0, 16 * sizeof(float));
    out[0] = 2.0f / width;
    out[5] = 2.0f / height;
    out[10] = 1.0f / (zf - zn);
    out[14] = zn / (zn - zf);
    out[15] = 1.0f;
}

void Perspective(float* out, float width, float height, float zn, float zf)
{
    std::memset(out, 0, 16 * sizeof(float));
    out[0] = 2.0f * zn / width;
    out[5] = 2.0f * zn / height;
    out[10] = zf / (zf - zn);
    out[11] = 1.0f;
    out[14] = -zn * zf / (zf - zn);
}

void PerspectiveFov(float* out, float fov, float aspect, float zn, float zf)
{
    std::memset(out, 0, 16 * sizeof(float));
    float y = 1.0f / std::tan(fov / 2.0f);
    out[0] = y / aspect;
    out[5] = y;
    out[10] = zf / (zf - zn);
    out[11] = 1.0f;
    out[14] = -zn * zf / (zf - zn);
}

void RotationX(float* out, float degrees)
{
    float a = degrees * kDegToRad, c = std::cos(a), s = std::sin(a);
    Identity(out);
    out[5] = c; out[6] = -s; out[9] = s; out[10] = c;
}

void RotationY(float* out, float degrees)
{
    float a = degrees * kDegToRad, c = std::cos(a), s = std::sin(a);
    Identity(out);
    out[0] = c; out[2] = s; out[8] = -s; out[10] = c;
}

void RotationZ(float* out, float degrees)
{
    float a = degrees * kDegToRad, c = std::cos(a), s = std::sin(a);
    Identity(out);
    out[0] = c; out[1] = -s; out[4] = s; out[5] = c;
}

void RotationAxis(float* out, float* axis, float degrees)
{
    Normalise(axis);
    float x = axis[0], y = axis[1], z = axis[2];
    float a = degrees * kDegToRad, c = std::cos(a), s = std::sin(a), t = 1.0f - c;
    Identity(out);
    out[0] = t * x * x + c;     out[1] = t * x * y + s * z; out[2] = t * x * z - s * y;
    out[4] = t * x * y - s * z; out[5] = t * y * y + c;     out[6] = t * y * z + s * x;
    out[8] = t * x * z + s * y; out[9] = t * y * z - s * x; out[10] = t * z * z + c;
}

void Translation(float* out, float x, float y, float z)
{
    Identity(out);
    out[12] = x; out[13] = y; out[14] = z;
}

void Scaling(float* out, float x, float y, float z)
{
    Identity(out);
    out[0] = x; out[5] = y; out[10] = z;
}

void TransformPoint(float* out, const float* p, const float* m)
{
    float r[4];
    for (int j = 0; j < 4; ++j) r[j] = p[0] * m[j] + p[1] * m[4 + j] + p[2] * m[8 + j] + m[12 + j];
    std::memcpy(out, r, sizeof(r));
}

} // namespace grm
