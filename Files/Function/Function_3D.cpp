// Built-in script functions of 3D primitives, shapes and models (see Graphics_3D_Builtins.h).
// Argument conversions (Graphics_Args.h): reals become floats, colours, kinds, steps and model
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
#include "Files/Graphics/Graphics_3D_Model.h"
#include "Files/Graphics/Graphics_3D_Primitive.h"
#include "Files/Graphics/Graphics_Args.h"
#include "Files/Support/LoadSave.h"

using namespace zbargs;

namespace {

// A texture argument: texture id or page-entry handle (-1 for anything out of range).
int64_t Texture(const ScriptValue* a, int i)
{
    const double v = Num(a, i);
    return std::fabs(v) < 9.0e15 ? (int64_t)std::nearbyint(v) : -1;
}

// A colour kept in a model: the rounded integer as a number.
float ModelColour(const ScriptValue* a, int i) { return (float)(int32_t)Colour(a, i); }

// ============================================================================================
// [SECTION] Primitives and shapes
// ============================================================================================
ZB_BUILTIN(F_PrimitiveBegin) { ZB_UNUSED; GR_3D_PrimitiveBegin(I(args, 0), -1); }
ZB_BUILTIN(F_PrimitiveBeginTexture) { ZB_UNUSED; GR_3D_PrimitiveBegin(I(args, 0), Texture(args, 1)); }
ZB_BUILTIN(F_PrimitiveEnd) { ZB_UNUSED; GR_3D_PrimitiveEnd(); }
ZB_BUILTIN(F_Vertex) { ZB_UNUSED; GR_3D_Vertex(F(args, 0), F(args, 1), F(args, 2)); }
ZB_BUILTIN(F_VertexColour)
{
    ZB_UNUSED;
    GR_3D_VertexColour(F(args, 0), F(args, 1), F(args, 2), Colour(args, 3), F(args, 4));
}
ZB_BUILTIN(F_VertexTexture)
{
    ZB_UNUSED;
    GR_3D_VertexTexture(F(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4));
}
ZB_BUILTIN(F_VertexTextureColour)
{
    ZB_UNUSED;
    GR_3D_VertexTextureColour(F(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), Colour(args, 5), F(args, 6));
}
ZB_BUILTIN(F_VertexNormal)
{
    ZB_UNUSED;
    GR_3D_VertexNormal(F(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5));
}
ZB_BUILTIN(F_VertexNormalColour)
{
    ZB_UNUSED;
    GR_3D_VertexNormalColour(F(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), Colour(args, 6),
                             F(args, 7));
}
ZB_BUILTIN(F_VertexNormalTexture)
{
    ZB_UNUSED;
    GR_3D_VertexNormalTexture(F(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), F(args, 6),
                              F(args, 7));
}
ZB_BUILTIN(F_VertexNormalTextureColour)
{
    ZB_UNUSED;
    GR_3D_VertexNormalTextureColour(F(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), F(args, 6),
                                    F(args, 7), Colour(args, 8), F(args, 9));
}

ZB_BUILTIN(F_DrawBlock)
{
    ZB_UNUSED;
    GR_3D_DrawBlock(F(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), Texture(args, 6),
                    F(args, 7), F(args, 8));
}
ZB_BUILTIN(F_DrawCylinder)
{
    ZB_UNUSED;
    GR_3D_DrawCylinder(F(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), Texture(args, 6),
                       F(args, 7), F(args, 8), B(args, 9), I(args, 10));
}
ZB_BUILTIN(F_DrawCone)
{
    ZB_UNUSED;
    GR_3D_DrawCone(F(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), Texture(args, 6),
                   F(args, 7), F(args, 8), B(args, 9), I(args, 10));
}
ZB_BUILTIN(F_DrawEllipsoid)
{
    ZB_UNUSED;
    GR_3D_DrawEllipsoid(F(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), Texture(args, 6),
                        F(args, 7), F(args, 8), I(args, 9));
}
ZB_BUILTIN(F_DrawWall)
{
    ZB_UNUSED;
    GR_3D_DrawWall(F(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), Texture(args, 6),
                   F(args, 7), F(args, 8));
}
ZB_BUILTIN(F_DrawFloor)
{
    ZB_UNUSED;
    GR_3D_DrawFloor(F(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), Texture(args, 6),
                    F(args, 7), F(args, 8));
}

// ============================================================================================
// [SECTION] Models
// ============================================================================================
ZB_BUILTIN(F_ModelCreate) { ZB_UNUSED; Real(result, GR_3D_Model_Create()); }
ZB_BUILTIN(F_ModelDestroy) { ZB_UNUSED; GR_3D_Model_Destroy(I(args, 0)); }
ZB_BUILTIN(F_ModelClear) { ZB_UNUSED; GR_3D_Model_Clear(I(args, 0)); }

// The file is looked for in the save area first, then in the program folder.
ZB_BUILTIN(F_ModelLoad)
{
    ZB_UNUSED;
    TextArg name(args, 1);
    std::string path;
    if (LoadSave_SaveFileExists(name.text)) path = LoadSave_SavePathOf(name.text);
    else if (LoadSave_BundleFileExists(name.text)) path = LoadSave_BundlePathOf(name.text);
    if (path.empty()) {
        Console_Output("d3d_model_load - unable to find file %s\n", name.text);
        Real(result, 0);
        return;
    }
    Real(result, GR_3D_Model_Load(I(args, 0), path.c_str()) ? 1 : 0);
}

// The file goes into the save area (or a file the player picked to write).
ZB_BUILTIN(F_ModelSave)
{
    ZB_UNUSED;
    TextArg name(args, 1);
    std::string path = LoadSave_SavePathOf(name.text);
    Real(result, !path.empty() && GR_3D_Model_Save(I(args, 0), path.c_str()) ? 1 : 0);
}

ZB_BUILTIN(F_ModelDraw)
{
    ZB_UNUSED;
    GR_3D_Model_Draw(I(args, 0), F(args, 1), F(args, 2), F(args, 3), Texture(args, 4));
}
ZB_BUILTIN(F_ModelPrimitiveBegin) { ZB_UNUSED; GR_3D_Model_PrimitiveBegin(I(args, 0), F(args, 1)); }
ZB_BUILTIN(F_ModelPrimitiveEnd) { ZB_UNUSED; GR_3D_Model_PrimitiveEnd(I(args, 0)); }
ZB_BUILTIN(F_ModelVertex) { ZB_UNUSED; GR_3D_Model_Vertex(I(args, 0), F(args, 1), F(args, 2), F(args, 3)); }
ZB_BUILTIN(F_ModelVertexColour)
{
    ZB_UNUSED;
    GR_3D_Model_VertexColour(I(args, 0), F(args, 1), F(args, 2), F(args, 3), ModelColour(args, 4), F(args, 5));
}
ZB_BUILTIN(F_ModelVertexTexture)
{
    ZB_UNUSED;
    GR_3D_Model_VertexTexture(I(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5));
}
ZB_BUILTIN(F_ModelVertexTextureColour)
{
    ZB_UNUSED;
    GR_3D_Model_VertexTextureColour(I(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5),
                                    ModelColour(args, 6), F(args, 7));
}
ZB_BUILTIN(F_ModelVertexNormal)
{
    ZB_UNUSED;
    GR_3D_Model_VertexNormal(I(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), F(args, 6));
}
ZB_BUILTIN(F_ModelVertexNormalColour)
{
    ZB_UNUSED;
    GR_3D_Model_VertexNormalColour(I(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), F(args, 6),
                                   ModelColour(args, 7), F(args, 8));
}
ZB_BUILTIN(F_ModelVertexNormalTexture)
{
    ZB_UNUSED;
    GR_3D_Model_VertexNormalTexture(I(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), F(args, 6),
                                    F(args, 7), F(args, 8));
}
ZB_BUILTIN(F_ModelVertexNormalTextureColour)
{
    ZB_UNUSED;
    GR_3D_Model_VertexNormalTextureColour(I(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5),
                                          F(args, 6), F(args, 7), F(args, 8), ModelColour(args, 9), F(args, 10));
}
ZB_BUILTIN(F_ModelBlock)
{
    ZB_UNUSED;
    GR_3D_Model_Block(I(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), F(args, 6), F(args, 7),
                      F(args, 8));
}
ZB_BUILTIN(F_ModelCylinder)
{
    ZB_UNUSED;
    GR_3D_Model_Cylinder(I(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), F(args, 6),
                         F(args, 7), F(args, 8), F(args, 9), F(args, 10));
}
ZB_BUILTIN(F_ModelCone)
{
    ZB_UNUSED;
    GR_3D_Model_Cone(I(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), F(args, 6), F(args, 7),
                     F(args, 8), F(args, 9), F(args, 10));
}
ZB_BUILTIN(F_ModelEllipsoid)
{
    ZB_UNUSED;
    GR_3D_Model_Ellipsoid(I(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), F(args, 6),
                          F(args, 7), F(args, 8), F(args, 9));
}
ZB_BUILTIN(F_ModelWall)
{
    ZB_UNUSED;
    GR_3D_Model_Wall(I(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), F(args, 6), F(args, 7),
                     F(args, 8));
}
ZB_BUILTIN(F_ModelFloor)
{
    ZB_UNUSED;
    GR_3D_Model_Floor(I(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), F(args, 6), F(args, 7),
                      F(args, 8));
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
