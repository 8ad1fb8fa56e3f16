// 3D mode, projections and the world transform with its stack. Every matrix change goes
// through GR_D3D_SetMatrix, which flushes the vertex batch first.
//
// Needs: Graphics_D3D (matrices), Graphics_RenderState (perspective and depth test).
#pragma once

#include <cstdint>

enum { GR_TRANSFORM_STACK_SIZE = 51 };

bool GR_3D_SetMode(bool on);
bool GR_3D_GetMode();
void GR_3D_SetDepth(float depth);
float GR_3D_GetDepth();
void GR_3D_ClearDepth();
extern uint8_t ProjectionIsOrtho;
// 1 while a projection other than the room view's own is in force: set by the d3d projection
// calls and while a surface is the target; the room drawing clears it for each view. Sprite
// drawing does not cull against the room rectangle while it is set.
extern uint8_t GR_CustomProjection;
void GR_3D_SetProjection(float ex, float ey, float ez, float tx, float ty, float tz, float ux, float uy, float uz);
void GR_3D_SetProjectionExt(float ex, float ey, float ez, float tx, float ty, float tz, float ux, float uy,
                            float uz, float angle, float aspect, float znear, float zfar);
void GR_3D_SetProjectionOrtho(float x, float y, float w, float h, float angle);
void GR_3D_SetProjectionPerspective(float x, float y, float w, float h, float angle);
void GR_3D_TransformSetIdentity();
void GR_3D_TransformSetTranslation(float x, float y, float z);
void GR_3D_TransformSetScaling(float x, float y, float z);
void GR_3D_TransformSetRotationX(float angle);
void GR_3D_TransformSetRotationY(float angle);
void GR_3D_TransformSetRotationZ(float angle);
void GR_3D_TransformSetRotationAxis(float x, float y, float z, float angle);
void GR_3D_TransformAddTranslation(float x, float y, float z);
void GR_3D_TransformAddScaling(float x, float y, float z);
void GR_3D_TransformAddRotationX(float angle);
void GR_3D_TransformAddRotationY(float angle);
void GR_3D_TransformAddRotationZ(float angle);
void GR_3D_TransformAddRotationAxis(float x, float y, float z, float angle);
void GR_3D_TransformStackClear();
bool GR_3D_TransformStackEmpty();
bool GR_3D_TransformStackPush();
bool GR_3D_TransformStackPop();
bool GR_3D_TransformStackTop();
bool GR_3D_TransformStackDiscard();
int32_t GR_3D_TransformStackDepth(); // top index + 1
