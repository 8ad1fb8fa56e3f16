// 3D mode, projections and transforms (see Graphics_3D.h). No host library here.
#include "Files/Graphics_API/Graphics_3D.h"

#include <cmath>
#include <cstring>

#include "Files/Base/RealConvert.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Matrix.h"
#include "Files/Graphics_API/Graphics_RenderState.h"

uint8_t ProjectionIsOrtho = 0;
uint8_t GR_CustomProjection = 0;
static float g_depth = 0.0f;
static int32_t g_top = -1;
static float g_stack[GR_TRANSFORM_STACK_SIZE][16];

bool GR_3D_SetMode(bool on)
{
    GR_DrawSettings& s = GR_Settings();
    if (s.mode3D == on) return true;
    GR_D3D_Flush();
    s.mode3D = on;
    GR_3D_SetPerspective(on);
    GR_3D_SetHidden(on);
    return true;
}

bool GR_3D_GetMode() { return GR_Settings().mode3D; }

void GR_3D_SetDepth(float depth)
{
    if (!GR_Settings().mode3D) {
        g_depth = 0.0f;
        return;
    }
    if (!(depth >= -16000.0f)) depth = -16000.0f; // also NaN
    if (depth > 16000.0f) depth = 16000.0f;
    g_depth = depth;
}

float GR_3D_GetDepth() { return g_depth; }

void GR_3D_ClearDepth() { GR_D3D_Clear(0, 1.0f, 0, 6); }

void GR_3D_SetProjection(float ex, float ey, float ez, float tx, float ty, float tz, float ux, float uy, float uz)
{
    GR_CustomProjection = 1;
    float eye[3] = {ex, ey, ez}, target[3] = {tx, ty, tz}, up[3] = {ux, uy, uz}, view[16];
    grm::LookAt(view, eye, target, up);
    GR_D3D_SetMatrix(0, view);
}

void GR_3D_SetProjectionExt(float ex, float ey, float ez, float tx, float ty, float tz, float ux, float uy,
                            float uz, float angle, float aspect, float znear, float zfar)
{
    GR_CustomProjection = 1;
    GR_3D_SetProjection(ex, ey, ez, tx, ty, tz, ux, uy, uz);
    float proj[16];
    grm::PerspectiveFov(proj, angle * 0.01745329238474369f, aspect, znear, zfar);
    GR_D3D_SetMatrix(1, proj);
    ProjectionIsOrtho = 0;
}

void GR_3D_SetProjectionOrtho(float x, float y, float w, float h, float angle)
{
    GR_CustomProjection = 1;
    double a = -(double)angle * PI_FD / 180.0;
    float cx = x + w * 0.5f, cy = y + h * 0.5f;
    float eye[3] = {cx, cy, -16000.0f}, target[3] = {cx, cy, 0.0f};
    float up[3] = {(float)std::sin(a), (float)std::cos(a), 0.0f};
    float view[16], proj[16];
    grm::LookAt(view, eye, target, up);
    grm::Ortho(proj, w, -h, 1.0f, 32000.0f);
    GR_D3D_SetMatrix(0, view);
    GR_D3D_SetMatrix(1, proj);
    ProjectionIsOrtho = 1;
}

void GR_3D_SetProjectionPerspective(float x, float y, float w, float h, float angle)
{
    GR_CustomProjection = 1;
    float a = -angle * 0.01745329238474369f;
    float cx = x + w * 0.5f, cy = y + h * 0.5f;
    float eye[3] = {cx, cy, -w}, target[3] = {cx, cy, 0.0f}, up[3] = {std::sin(a), std::cos(a), 0.0f};
    float view[16], proj[16];
    grm::LookAt(view, eye, target, up);
    // A negative height, as the orthographic projection has: room y runs down the screen.
    grm::Perspective(proj, w / w, -h / w, 1.0f, 32000.0f);
    GR_D3D_SetMatrix(0, view);
    GR_D3D_SetMatrix(1, proj);
    ProjectionIsOrtho = 0;
}

static void SetWorld(const float* m) { GR_D3D_SetMatrix(2, m); }

static void AddWorld(const float* m)
{
    float world[16], r[16];
    GR_D3D_GetMatrix(2, world);
    grm::Multiply(r, world, m);
    SetWorld(r);
}

void GR_3D_TransformSetIdentity()
{
    float m[16];
    grm::Identity(m);
    SetWorld(m);
}

void GR_3D_TransformSetTranslation(float x, float y, float z)
{
    float m[16];
    grm::Translation(m, x, y, z);
    SetWorld(m);
}

void GR_3D_TransformSetScaling(float x, float y, float z)
{
    float m[16];
    grm::Scaling(m, x, y, z);
    SetWorld(m);
}

void GR_3D_TransformSetRotationX(float angle)
{
    float m[16];
    grm::RotationX(m, angle);
    SetWorld(m);
}

void GR_3D_TransformSetRotationY(float angle)
{
    float m[16];
    grm::RotationY(m, angle);
    SetWorld(m);
}

void GR_3D_TransformSetRotationZ(float angle)
{
    float m[16];
    grm::RotationZ(m, angle);
    SetWorld(m);
}

void GR_3D_TransformSetRotationAxis(float x, float y, float z, float angle)
{
    float m[16], axis[3] = {x, y, z};
    grm::RotationAxis(m, axis, -angle);
    SetWorld(m);
}

void GR_3D_TransformAddTranslation(float x, float y, float z)
{
    float m[16];
    grm::Translation(m, x, y, z);
    AddWorld(m);
}

void GR_3D_TransformAddScaling(float x, float y, float z)
{
    float m[16];
    grm::Scaling(m, x, y, z);
    AddWorld(m);
}

void GR_3D_TransformAddRotationX(float angle)
{
    float m[16];
    grm::RotationX(m, angle);
    AddWorld(m);
}

void GR_3D_TransformAddRotationY(float angle)
{
    float m[16];
    grm::RotationY(m, angle);
    AddWorld(m);
}

void GR_3D_TransformAddRotationZ(float angle)
{
    float m[16];
    grm::RotationZ(m, angle);
    AddWorld(m);
}

void GR_3D_TransformAddRotationAxis(float x, float y, float z, float angle)
{
    float m[16], axis[3] = {x, y, z};
    grm::RotationAxis(m, axis, -angle);
    AddWorld(m);
}

void GR_3D_TransformStackClear() { g_top = -1; }
bool GR_3D_TransformStackEmpty() { return g_top < 0; }
int32_t GR_3D_TransformStackDepth() { return g_top + 1; }

bool GR_3D_TransformStackPush()
{
    if (g_top >= GR_TRANSFORM_STACK_SIZE - 1) return false;
    ++g_top;
    GR_D3D_GetMatrix(2, g_stack[g_top]);
    return true;
}

bool GR_3D_TransformStackPop()
{
    if (g_top < 0) return false;
    SetWorld(g_stack[g_top]);
    --g_top;
    return true;
}

bool GR_3D_TransformStackTop()
{
    if (g_top < 0) return false;
    SetWorld(g_stack[g_top]);
    return true;
}

bool GR_3D_TransformStackDiscard()
{
    if (g_top < 0) return false;
    --g_top;
    return true;
}
