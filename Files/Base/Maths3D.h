// Single-precision 3-vectors and 4x4 matrices for the 3-D drawing layer (projection, view and
// world matrices). Pure functions; no host library.
//
// Matrices are row-major: element r*4 + c is row r, column c. Points are row vectors
// multiplied on the left, so a translation lies in elements 12, 13, 14 and element 15 is 1;
// in a * b the transform a applies first. All builders are left-handed. Rotation angles are
// degrees (times 0.01745329238474369, pi/180 in single precision); the field of view of
// Matrix_PerspectiveFov is radians. Every step is single precision, in the order written.
#pragma once

struct Vec3 {
    float x, y, z;
};

struct Matrix44 {
    float m[16];
};

// out = a - b; returns out.
Vec3* Vec3_Subtract(Vec3* out, const Vec3* a, const Vec3* b);
float Vec3_Dot(const Vec3* a, const Vec3* b);
// v = v * (1 / sqrt(v.v)); the zero vector becomes non-finite (no guard).
void Vec3_Normalise(Vec3* v);
// out = v normalised; v unchanged.
void Vec3_NormaliseTo(const Vec3* v, Vec3* out);
// out = a x b (out may be a or b).
void Vec3_Cross(const Vec3* a, Vec3* out, const Vec3* b);

// out = a * b (out may be a or b).
void Matrix_Multiply(Matrix44* out, const Matrix44* a, const Matrix44* b);
// out[r][c] = m[c][r] (out may be m).
void Matrix_Transpose(Matrix44* out, const Matrix44* m);
void Matrix_Identity(Matrix44* out);
void Matrix_RotationX(Matrix44* out, float degrees);
void Matrix_RotationY(Matrix44* out, float degrees);
void Matrix_RotationZ(Matrix44* out, float degrees);
// Rotation about axis; normalises the caller's axis in place.
void Matrix_RotationAxis(Matrix44* out, Vec3* axis, float degrees);
// View matrix looking from eye towards target; up is not changed.
void Matrix_LookAt(Matrix44* out, const Vec3* eye, const Vec3* target, const Vec3* up);
void Matrix_PerspectiveFov(Matrix44* out, float fovRadians, float aspect, float zNear, float zFar);
void Matrix_Perspective(Matrix44* out, float width, float height, float zNear, float zFar);
void Matrix_Ortho(Matrix44* out, float width, float height, float zNear, float zFar);
