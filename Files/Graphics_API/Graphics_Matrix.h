// Left-handed 4x4 float matrices, row-major, used with row vectors (translation in elements
// 12, 13, 14; a * b applies a first). The graphics layer's own copy of the matrix helpers:
// float-array forms of the foundation's builders (Files/Base/Maths3D.h) and a few more.
#pragma once

namespace grm {

void Identity(float* out);
void Multiply(float* out, const float* a, const float* b);
void LookAt(float* out, const float* eye, const float* target, const float* up);
void Ortho(float* out, float width, float height, float zn, float zf);
void Perspective(float* out, float width, float height, float zn, float zf);
void PerspectiveFov(float* out, float fovRadians, float aspect, float zn, float zf);
void RotationX(float* out, float degrees);
void RotationY(float* out, float degrees);
void RotationZ(float* out, float degrees);
void RotationAxis(float* out, float* axis, float degrees); // normalises axis in place
void Translation(float* out, float x, float y, float z);
void Scaling(float* out, float x, float y, float z);
// Row vector times matrix (w = 1); out[3] receives w.
void TransformPoint(float* out, const float* p, const float* m);

} // namespace grm
