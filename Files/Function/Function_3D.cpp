// Built-in script functions of 3D primitives, shapes and models (see Graphics_3D_Builtins.h).
// Argument conversions (Files/Code/Code_Builtin.h): reals become floats, colours, kinds, steps and model
// ids are rounded to integers, closed flags are true from 0.5 up, texture arguments are texture
// ids or page-entry handles. Model commands keep their values as numbers (colours rounded
// first); the model rounds kinds and steps when it runs them.
//
// [SECTION] Primitives and shapes
// [SECTION] Models
#include "Files/Function/Function_3D.h"

#include <cmath>
#include <string>

#include "Files/Base/Console.h"
#include "Files/Code/Code_Builtin.h"
#include "Files/Graphics/Graphics_3D_Model.h"
#include "Files/Graphics/Graphics_3D_Primitive.h"
#include "Files/Support/LoadSave.h"

using namespace zbargs;

namespace {

// A colour kept in a model: the rounded integer as a number.
float ModelColour(const ScriptValue* a, int i) { return (float)(int32_t)NumRoundU32(a, i); }

// ============================================================================================
// [SECTION] Primitives and shapes
// ============================================================================================
ZB_BUILTIN(F_PrimitiveBegin) { GR_3D_PrimitiveBegin(NumRound(args, 0), -1); }
ZB_BUILTIN(F_PrimitiveBeginTexture) { GR_3D_PrimitiveBegin(NumRound(args, 0), NumRound64(args, 1)); }
ZB_BUILTIN(F_PrimitiveEnd) { GR_3D_PrimitiveEnd(); }
ZB_BUILTIN(F_Vertex) { GR_3D_Vertex(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2)); }
ZB_BUILTIN(F_VertexColour)
{
    GR_3D_VertexColour(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumRoundU32(args, 3),
                       NumFloat(args, 4));
}
ZB_BUILTIN(F_VertexTexture)
{
    GR_3D_VertexTexture(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4));
}
ZB_BUILTIN(F_VertexTextureColour)
{
    GR_3D_VertexTextureColour(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                              NumFloat(args, 4), NumRoundU32(args, 5), NumFloat(args, 6));
}
ZB_BUILTIN(F_VertexNormal)
{
    GR_3D_VertexNormal(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4),
                       NumFloat(args, 5));
}
ZB_BUILTIN(F_VertexNormalColour)
{
    GR_3D_VertexNormalColour(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                             NumFloat(args, 4), NumFloat(args, 5), NumRoundU32(args, 6), NumFloat(args, 7));
}
ZB_BUILTIN(F_VertexNormalTexture)
{
    GR_3D_VertexNormalTexture(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                              NumFloat(args, 4), NumFloat(args, 5), NumFloat(args, 6), NumFloat(args, 7));
}
ZB_BUILTIN(F_VertexNormalTextureColour)
{
    GR_3D_VertexNormalTextureColour(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                                    NumFloat(args, 4), NumFloat(args, 5), NumFloat(args, 6), NumFloat(args, 7),
                                    NumRoundU32(args, 8), NumFloat(args, 9));
}

ZB_BUILTIN(F_DrawBlock)
{
    GR_3D_DrawBlock(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4),
                    NumFloat(args, 5), NumRound64(args, 6), NumFloat(args, 7), NumFloat(args, 8));
}
ZB_BUILTIN(F_DrawCylinder)
{
    GR_3D_DrawCylinder(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4),
                       NumFloat(args, 5), NumRound64(args, 6), NumFloat(args, 7), NumFloat(args, 8),
                       NumFromHalf(args, 9), NumRound(args, 10));
}
ZB_BUILTIN(F_DrawCone)
{
    GR_3D_DrawCone(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4),
                   NumFloat(args, 5), NumRound64(args, 6), NumFloat(args, 7), NumFloat(args, 8), NumFromHalf(args, 9),
                   NumRound(args, 10));
}
ZB_BUILTIN(F_DrawEllipsoid)
{
    GR_3D_DrawEllipsoid(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4),
                        NumFloat(args, 5), NumRound64(args, 6), NumFloat(args, 7), NumFloat(args, 8),
                        NumRound(args, 9));
}
ZB_BUILTIN(F_DrawWall)
{
    GR_3D_DrawWall(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4),
                   NumFloat(args, 5), NumRound64(args, 6), NumFloat(args, 7), NumFloat(args, 8));
}
ZB_BUILTIN(F_DrawFloor)
{
    GR_3D_DrawFloor(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4),
                    NumFloat(args, 5), NumRound64(args, 6), NumFloat(args, 7), NumFloat(args, 8));
}

// ============================================================================================
// [SECTION] Models
// ============================================================================================
ZB_BUILTIN(F_ModelCreate) { SetReal(result, GR_3D_Model_Create()); }
ZB_BUILTIN(F_ModelDestroy) { GR_3D_Model_Destroy(NumRound(args, 0)); }
ZB_BUILTIN(F_ModelClear) { GR_3D_Model_Clear(NumRound(args, 0)); }

// The file is looked for where the player picked it, else in the save area, then in the
// program folder.
ZB_BUILTIN(F_ModelLoad)
{
    ArgAsText name(args, 1);
    const std::string path = LoadSave_ReadPathOf(name.text);
    if (path.empty()) {
        Console_Output("d3d_model_load - unable to find file %s\n", name.text);
        SetReal(result, 0);
        return;
    }
    SetReal(result, GR_3D_Model_Load(NumRound(args, 0), path.c_str()) ? 1 : 0);
}

// The file goes into the save area (or a file the player picked to write).
ZB_BUILTIN(F_ModelSave)
{
    ArgAsText name(args, 1);
    std::string path = LoadSave_SavePathOf(name.text);
    SetReal(result, !path.empty() && GR_3D_Model_Save(NumRound(args, 0), path.c_str()) ? 1 : 0);
}

ZB_BUILTIN(F_ModelDraw)
{
    GR_3D_Model_Draw(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumRound64(args, 4));
}
ZB_BUILTIN(F_ModelPrimitiveBegin) { GR_3D_Model_PrimitiveBegin(NumRound(args, 0), NumFloat(args, 1)); }
ZB_BUILTIN(F_ModelPrimitiveEnd) { GR_3D_Model_PrimitiveEnd(NumRound(args, 0)); }
ZB_BUILTIN(F_ModelVertex)
{
    GR_3D_Model_Vertex(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3));
}
ZB_BUILTIN(F_ModelVertexColour)
{
    GR_3D_Model_VertexColour(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                             ModelColour(args, 4), NumFloat(args, 5));
}
ZB_BUILTIN(F_ModelVertexTexture)
{
    GR_3D_Model_VertexTexture(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                              NumFloat(args, 4), NumFloat(args, 5));
}
ZB_BUILTIN(F_ModelVertexTextureColour)
{
    GR_3D_Model_VertexTextureColour(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                                    NumFloat(args, 4), NumFloat(args, 5), ModelColour(args, 6), NumFloat(args, 7));
}
ZB_BUILTIN(F_ModelVertexNormal)
{
    GR_3D_Model_VertexNormal(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                             NumFloat(args, 4), NumFloat(args, 5), NumFloat(args, 6));
}
ZB_BUILTIN(F_ModelVertexNormalColour)
{
    GR_3D_Model_VertexNormalColour(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                                   NumFloat(args, 4), NumFloat(args, 5), NumFloat(args, 6), ModelColour(args, 7),
                                   NumFloat(args, 8));
}
ZB_BUILTIN(F_ModelVertexNormalTexture)
{
    GR_3D_Model_VertexNormalTexture(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                                    NumFloat(args, 4), NumFloat(args, 5), NumFloat(args, 6), NumFloat(args, 7),
                                    NumFloat(args, 8));
}
ZB_BUILTIN(F_ModelVertexNormalTextureColour)
{
    GR_3D_Model_VertexNormalTextureColour(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                                          NumFloat(args, 4), NumFloat(args, 5), NumFloat(args, 6), NumFloat(args, 7),
                                          NumFloat(args, 8), ModelColour(args, 9), NumFloat(args, 10));
}
ZB_BUILTIN(F_ModelBlock)
{
    GR_3D_Model_Block(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4),
                      NumFloat(args, 5), NumFloat(args, 6), NumFloat(args, 7), NumFloat(args, 8));
}
ZB_BUILTIN(F_ModelCylinder)
{
    GR_3D_Model_Cylinder(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4),
                         NumFloat(args, 5), NumFloat(args, 6), NumFloat(args, 7), NumFloat(args, 8), NumFloat(args, 9),
                         NumFloat(args, 10));
}
ZB_BUILTIN(F_ModelCone)
{
    GR_3D_Model_Cone(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4),
                     NumFloat(args, 5), NumFloat(args, 6), NumFloat(args, 7), NumFloat(args, 8), NumFloat(args, 9),
                     NumFloat(args, 10));
}
ZB_BUILTIN(F_ModelEllipsoid)
{
    GR_3D_Model_Ellipsoid(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4),
                          NumFloat(args, 5), NumFloat(args, 6), NumFloat(args, 7), NumFloat(args, 8),
                          NumFloat(args, 9));
}
ZB_BUILTIN(F_ModelWall)
{
    GR_3D_Model_Wall(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4),
                     NumFloat(args, 5), NumFloat(args, 6), NumFloat(args, 7), NumFloat(args, 8));
}
ZB_BUILTIN(F_ModelFloor)
{
    GR_3D_Model_Floor(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4),
                      NumFloat(args, 5), NumFloat(args, 6), NumFloat(args, 7), NumFloat(args, 8));
}

const Row kRows[] = {
    {"d3d_primitive_begin", F_PrimitiveBegin, 1},
    {"d3d_primitive_begin_texture", F_PrimitiveBeginTexture, 2},
    {"d3d_primitive_end", F_PrimitiveEnd, 0},
    {"d3d_vertex", F_Vertex, 3},
    {"d3d_vertex_color", F_VertexColour, 5},
    {"d3d_vertex_texture", F_VertexTexture, 5},
    {"d3d_vertex_texture_color", F_VertexTextureColour, 7},
    {"d3d_vertex_normal", F_VertexNormal, 6},
    {"d3d_vertex_normal_color", F_VertexNormalColour, 8},
    {"d3d_vertex_normal_texture", F_VertexNormalTexture, 8},
    {"d3d_vertex_normal_texture_color", F_VertexNormalTextureColour, 10},
    {"d3d_draw_block", F_DrawBlock, 9},
    {"d3d_draw_cylinder", F_DrawCylinder, 11},
    {"d3d_draw_cone", F_DrawCone, 11},
    {"d3d_draw_ellipsoid", F_DrawEllipsoid, 10},
    {"d3d_draw_wall", F_DrawWall, 9},
    {"d3d_draw_floor", F_DrawFloor, 9},
    {"d3d_model_create", F_ModelCreate, 0},
    {"d3d_model_destroy", F_ModelDestroy, 1},
    {"d3d_model_clear", F_ModelClear, 1},
    {"d3d_model_save", F_ModelSave, 2},
    {"d3d_model_load", F_ModelLoad, 2},
    {"d3d_model_draw", F_ModelDraw, 5},
    {"d3d_model_primitive_begin", F_ModelPrimitiveBegin, 2},
    {"d3d_model_primitive_end", F_ModelPrimitiveEnd, 1},
    {"d3d_model_vertex", F_ModelVertex, 4},
    {"d3d_model_vertex_color", F_ModelVertexColour, 6},
    {"d3d_model_vertex_texture", F_ModelVertexTexture, 6},
    {"d3d_model_vertex_texture_color", F_ModelVertexTextureColour, 8},
    {"d3d_model_vertex_normal", F_ModelVertexNormal, 7},
    {"d3d_model_vertex_normal_color", F_ModelVertexNormalColour, 9},
    {"d3d_model_vertex_normal_texture", F_ModelVertexNormalTexture, 9},
    {"d3d_model_vertex_normal_texture_color", F_ModelVertexNormalTextureColour, 11},
    {"d3d_model_block", F_ModelBlock, 9},
    {"d3d_model_cylinder", F_ModelCylinder, 11},
    {"d3d_model_cone", F_ModelCone, 11},
    {"d3d_model_ellipsoid", F_ModelEllipsoid, 10},
    {"d3d_model_wall", F_ModelWall, 9},
    {"d3d_model_floor", F_ModelFloor, 9},
};

} // namespace

void GR_3D_RegisterBuiltins() { Register(kRows); }
