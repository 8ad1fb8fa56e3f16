// 3D primitives built vertex by vertex and the ready-made 3D shapes (block, cylinder, cone,
// ellipsoid, wall, floor). Vertices go into one fixed buffer; a primitive longer than its
// kind's limit is submitted in parts (strips and fans carry the vertices their continuation
// needs), so no submission allocates. A submission goes to the vertex batch as a list (strips
// and fans as their triangles, so that primitives and shapes of one texture share a draw), or,
// while a recording is active (3D models), to that GraphicsRecorder.
//
// Texture arguments are texture ids or page-entry handles (Graphics_Texture); with a page
// entry, given texture coordinates are mapped into its rectangle on the page. Nothing of the
// entry is kept but those numbers, so a resource freed between begin and end is harmless.
//
// Needs: Graphics_Batch, Graphics_RenderState (drawing colour, texture repeat),
// Graphics_Texture, Graphics_Recorder. No Linux/ file.
#pragma once

#include <cstdint>

#include "Files/Graphics_API/Graphics_Recorder.h"

enum { GR_3D_PRIMITIVE_CAPACITY = 1000 };

// Vertices a submission of each kind holds at most (0..6; 999 for triangle lists so that a
// part holds whole triangles).
int32_t GR_3D_PrimitiveVertexLimit(int32_t kind);

// kind: 1 point list, 2 line list, 3 line strip, 4 triangle list, 5 triangle strip,
// 6 triangle fan. texture: texture id, page-entry handle, or -1 for none.
void GR_3D_PrimitiveBegin(int32_t kind, int64_t texture);
void GR_3D_Vertex(float x, float y, float z);
// colour: script colour 0xBBGGRR; alpha 0..1.
void GR_3D_VertexColour(float x, float y, float z, uint32_t colour, float alpha);
void GR_3D_VertexTexture(float x, float y, float z, float u, float v);
void GR_3D_VertexTextureColour(float x, float y, float z, float u, float v, uint32_t colour, float alpha);
void GR_3D_VertexNormal(float x, float y, float z, float nx, float ny, float nz);
void GR_3D_VertexNormalColour(float x, float y, float z, float nx, float ny, float nz, uint32_t colour,
                              float alpha);
void GR_3D_VertexNormalTexture(float x, float y, float z, float nx, float ny, float nz, float u, float v);
void GR_3D_VertexNormalTextureColour(float x, float y, float z, float nx, float ny, float nz, float u, float v,
                                     uint32_t colour, float alpha);
// Submits the vertices gathered (kinds 1..6 only; the vertices stay, as after a part).
void GR_3D_PrimitiveEnd();
// The buffer is full: submits it and keeps what a continuation of the kind needs.
void GR_3D_FlushVertices();

// Shapes. h and v are the texture repeats; steps are clamped to 3..128.
void GR_3D_DrawBlock(float x1, float y1, float z1, float x2, float y2, float z2, int64_t texture, float h,
                     float v);
void GR_3D_DrawCylinder(float x1, float y1, float z1, float x2, float y2, float z2, int64_t texture, float h,
                        float v, bool closed, int32_t steps);
void GR_3D_DrawCone(float x1, float y1, float z1, float x2, float y2, float z2, int64_t texture, float h,
                    float v, bool closed, int32_t steps);
void GR_3D_DrawEllipsoid(float x1, float y1, float z1, float x2, float y2, float z2, int64_t texture, float h,
                         float v, int32_t steps);
void GR_3D_DrawWall(float x1, float y1, float z1, float x2, float y2, float z2, int64_t texture, float h,
                    float v);
void GR_3D_DrawFloor(float x1, float y1, float z1, float x2, float y2, float z2, int64_t texture, float h,
                     float v);

// Sees every submission as it is made (kind, vertices), before it goes to the batch or the
// recording (tests; null: none).
using GR_3D_SubmitObserver = void (*)(int32_t kind, int32_t n, const Vertex3D* v, void* user);
void GR_3D_SetSubmitObserver(GR_3D_SubmitObserver observer, void* user);

// The recording that submissions go to instead of the batch (null: the batch).
void GR_3D_SetRecorder(GraphicsRecorder* recorder);
GraphicsRecorder* GR_3D_GetRecorder();

// The state of the primitive being built (tests).
struct GR_3D_PrimitiveInfo {
    int32_t kind, count, texture;
    bool pageEntry;
};
GR_3D_PrimitiveInfo GR_3D_GetPrimitiveInfo();
const Vertex3D* GR_3D_PrimitiveVertices();
// Back to the start-up state (no primitive, recording or observer; tests).
void GR_3D_ResetPrimitive();
