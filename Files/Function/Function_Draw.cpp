// Built-in script functions of 2D primitive drawing, text and surfaces, with the
// action-library drawing and text forms (see Graphics_Draw.h, Graphics_Text.h,
// Graphics_Surface.h for the registrars). Argument conversions: Files/Code/Code_Builtin.h.
//
// [SECTION] Helpers
// [SECTION] Primitives
// [SECTION] Action drawing forms
// [SECTION] Text
// [SECTION] Surfaces
#include <cmath>
#include <cstring>
#include <string>

#include "Files/Code/Code_Builtin.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Font/Font_Text.h"
#include "Files/Graphics/Graphics_Draw.h"
#include "Files/Graphics/Graphics_Surface.h"
#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_PNG.h"
#include "Files/Graphics_API/Graphics_ReadBack.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Files/Object/Instance.h"
#include "Platform/MemoryManager.h"

using namespace zbargs;

// ============================================================================================
// [SECTION] Helpers
// ============================================================================================
namespace {

// The position of a drag-and-drop action: relative to self when the action says so.
float RelX(CInstance* self, float x) { return Function_GetRelative() && self ? x + self->i_x : x; }
float RelY(CInstance* self, float y) { return Function_GetRelative() && self ? y + self->i_y : y; }

// A built-in variable of the game (score, lives, health) as a number; 0 while the game world
// has not registered it.
double GameVariable(CInstance* self, const char* name)
{
    const BuiltinVariable* row = Variable_BuiltIn_Row(Variable_BuiltIn_Find(name));
    ScriptValue v{VALUE_REAL, nullptr, 0.0};
    if (!row || !row->get || !row->get(self, 0, &v)) return 0.0;
    double r = Num(&v, 0);
    Value_FreeString(&v);
    return r;
}

// A number as drawn text: whole numbers without a fraction, others as "%g".
std::string NumberText(double v)
{
    char buffer[64];
    FormatNumber(buffer, sizeof buffer, v);
    return buffer;
}

// ORDER: the colour menu of the action library (after "none" for backgrounds, after the two
// ramps for bars).
const uint32_t kMenuColours[16] = {0x000000, 0x808080, 0xC0C0C0, 0xFFFFFF, 0x000080, 0x008000, 0x008080, 0x800000,
                                   0x800080, 0x808000, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00};

} // namespace

// ============================================================================================
// [SECTION] Primitives
// ============================================================================================
ZB_BUILTIN(F_DrawClear) { GR_Draw_Clear(NumRoundU32(args, 0)); }
ZB_BUILTIN(F_DrawClearAlpha) { GR_Draw_ClearAlpha(NumRoundU32(args, 0), NumFloat(args, 1)); }
ZB_BUILTIN(F_DrawPoint) { GR_Draw_Point(NumFloat(args, 0), NumFloat(args, 1)); }
ZB_BUILTIN(F_DrawPointColour) { GR_Draw_PointColour(NumFloat(args, 0), NumFloat(args, 1), NumRoundU32(args, 2)); }
ZB_BUILTIN(F_DrawLine) { GR_Draw_Line(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3)); }
ZB_BUILTIN(F_DrawLineColour)
{
    GR_Draw_LineColour(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumRoundU32(args, 4),
                       NumRoundU32(args, 5));
}
ZB_BUILTIN(F_DrawLineWidth)
{
    GR_Draw_LineWidth(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4));
}
ZB_BUILTIN(F_DrawLineWidthColour)
{
    GR_Draw_LineWidthColour(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                            NumFloat(args, 4), NumRoundU32(args, 5), NumRoundU32(args, 6));
}
ZB_BUILTIN(F_DrawTriangle)
{
    GR_Draw_Triangle(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4),
                     NumFloat(args, 5), NumFromHalf(args, 6));
}
ZB_BUILTIN(F_DrawTriangleColour)
{
    GR_Draw_TriangleColour(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                           NumFloat(args, 4), NumFloat(args, 5), NumRoundU32(args, 6), NumRoundU32(args, 7),
                           NumRoundU32(args, 8), NumFromHalf(args, 9));
}
ZB_BUILTIN(F_DrawRectangle)
{
    GR_Draw_Rectangle(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFromHalf(args, 4));
}
ZB_BUILTIN(F_DrawRectangleColour)
{
    GR_Draw_RectangleColour(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                            NumRoundU32(args, 4), NumRoundU32(args, 5), NumRoundU32(args, 6), NumRoundU32(args, 7),
                            NumFromHalf(args, 8));
}
ZB_BUILTIN(F_DrawRoundRect)
{
    GR_Draw_RoundRect(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), 10.0f, 10.0f,
                      NumFromHalf(args, 4));
}
ZB_BUILTIN(F_DrawRoundRectColour)
{
    GR_Draw_RoundRectColour(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), 10.0f, 10.0f,
                            NumRoundU32(args, 4), NumRoundU32(args, 5), NumFromHalf(args, 6));
}
ZB_BUILTIN(F_DrawCircle)
{
    GR_Draw_Circle(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFromHalf(args, 3));
}
ZB_BUILTIN(F_DrawCircleColour)
{
    GR_Draw_CircleColour(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumRoundU32(args, 3),
                         NumRoundU32(args, 4), NumFromHalf(args, 5));
}
ZB_BUILTIN(F_DrawEllipse)
{
    GR_Draw_Ellipse(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFromHalf(args, 4));
}
ZB_BUILTIN(F_DrawEllipseColour)
{
    GR_Draw_EllipseColour(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                          NumRoundU32(args, 4), NumRoundU32(args, 5), NumFromHalf(args, 6));
}
ZB_BUILTIN(F_DrawSetCirclePrecision) { GR_Draw_SetCirclePrecision(NumRound(args, 0)); }
ZB_BUILTIN(F_DrawArrow)
{
    GR_Draw_Arrow(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4));
}
ZB_BUILTIN(F_DrawButton)
{
    GR_Draw_Button(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFromHalf(args, 4));
}
ZB_BUILTIN(F_DrawHealthbar)
{
    const uint32_t minColour = NumRoundU32(args, 6), maxColour = NumRoundU32(args, 7);
    GR_Draw_Healthbar(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4),
                      NumRoundU32(args, 5), minColour, GR_Colour_Merge(minColour, maxColour, 0.5), maxColour,
                      NumRound(args, 8), NumFromHalf(args, 9), NumFromHalf(args, 10));
}
ZB_BUILTIN(F_PrimitiveBegin) { GR_Draw_PrimitiveBegin(NumRound(args, 0), -1); }
ZB_BUILTIN(F_PrimitiveBeginTexture) { GR_Draw_PrimitiveBegin(NumRound(args, 0), NumRound64(args, 1)); }
ZB_BUILTIN(F_Vertex) { GR_Draw_Vertex(NumFloat(args, 0), NumFloat(args, 1)); }
ZB_BUILTIN(F_VertexColour)
{
    GR_Draw_VertexColour(NumFloat(args, 0), NumFloat(args, 1), NumRoundU32(args, 2), NumFloat(args, 3));
}
ZB_BUILTIN(F_VertexTexture)
{
    GR_Draw_VertexTexture(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3));
}
ZB_BUILTIN(F_VertexTextureColour)
{
    GR_Draw_VertexTextureColour(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                                NumRoundU32(args, 4), NumFloat(args, 5));
}
ZB_BUILTIN(F_PrimitiveEnd) { GR_Draw_PrimitiveEnd(); }

static uint8_t ByteArg(const ScriptValue* a, int i)
{
    const int32_t v = NumRound(a, i);
    return (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
}
ZB_BUILTIN(F_MakeColourHSV)
{
    SetReal(result, GR_Colour_FromHSV(GR_HSV{ByteArg(args, 0), ByteArg(args, 1), ByteArg(args, 2)}));
}
ZB_BUILTIN(F_ColourGetHue) { SetReal(result, GR_Colour_ToHSV(NumRoundU32(args, 0)).hue); }
ZB_BUILTIN(F_ColourGetSaturation) { SetReal(result, GR_Colour_ToHSV(NumRoundU32(args, 0)).saturation); }
ZB_BUILTIN(F_ColourGetValue) { SetReal(result, GR_Colour_ToHSV(NumRoundU32(args, 0)).value); }
ZB_BUILTIN(F_MergeColour)
{
    SetReal(result, GR_Colour_Merge(NumRoundU32(args, 0), NumRoundU32(args, 1), Num(args, 2)));
}

// ============================================================================================
// [SECTION] Action drawing forms
// ============================================================================================
ZB_BUILTIN(F_ActionDrawLine)
{
    GR_Draw_Line(RelX(self, NumFloat(args, 0)), RelY(self, NumFloat(args, 1)), RelX(self, NumFloat(args, 2)),
                 RelY(self, NumFloat(args, 3)));
}
// "filled" is the menu index of the action: 0 filled, 1 outline.
ZB_BUILTIN(F_ActionDrawRectangle)
{
    GR_Draw_Rectangle(RelX(self, NumFloat(args, 0)), RelY(self, NumFloat(args, 1)), RelX(self, NumFloat(args, 2)),
                      RelY(self, NumFloat(args, 3)), NumFromHalf(args, 4));
}
ZB_BUILTIN(F_ActionDrawEllipse)
{
    GR_Draw_Ellipse(RelX(self, NumFloat(args, 0)), RelY(self, NumFloat(args, 1)), RelX(self, NumFloat(args, 2)),
                    RelY(self, NumFloat(args, 3)), NumFromHalf(args, 4));
}
ZB_BUILTIN(F_ActionDrawEllipseGradient)
{
    GR_Draw_EllipseColour(RelX(self, NumFloat(args, 0)), RelY(self, NumFloat(args, 1)), RelX(self, NumFloat(args, 2)),
                          RelY(self, NumFloat(args, 3)), NumRoundU32(args, 4), NumRoundU32(args, 5), false);
}
ZB_BUILTIN(F_ActionDrawGradientHor)
{
    const uint32_t c1 = NumRoundU32(args, 4), c2 = NumRoundU32(args, 5);
    GR_Draw_RectangleColour(RelX(self, NumFloat(args, 0)), RelY(self, NumFloat(args, 1)), RelX(self, NumFloat(args, 2)),
                            RelY(self, NumFloat(args, 3)), c1, c2, c2, c1, false);
}
ZB_BUILTIN(F_ActionDrawGradientVert)
{
    const uint32_t c1 = NumRoundU32(args, 4), c2 = NumRoundU32(args, 5);
    GR_Draw_RectangleColour(RelX(self, NumFloat(args, 0)), RelY(self, NumFloat(args, 1)), RelX(self, NumFloat(args, 2)),
                            RelY(self, NumFloat(args, 3)), c1, c1, c2, c2, false);
}
ZB_BUILTIN(F_ActionDrawArrow)
{
    GR_Draw_Arrow(RelX(self, NumFloat(args, 0)), RelY(self, NumFloat(args, 1)), RelX(self, NumFloat(args, 2)),
                  RelY(self, NumFloat(args, 3)), NumFloat(args, 4));
}
// The game's health as a bar: back colour menu (0 none), bar colour menu (0 green to red,
// 1 white to black, then the plain colours).
ZB_BUILTIN(F_ActionDrawHealth)
{
    const int32_t back = NumRound(args, 4), bar = NumRound(args, 5);
    uint32_t minColour = 0x0000FF, maxColour = 0x00FF00;
    if (bar == 1) {
        minColour = 0x000000;
        maxColour = 0xFFFFFF;
    } else if (bar >= 2 && bar < 18) {
        minColour = maxColour = kMenuColours[bar - 2];
    }
    const uint32_t backColour = back >= 1 && back <= 16 ? kMenuColours[back - 1] : 0;
    GR_Draw_Healthbar(RelX(self, NumFloat(args, 0)), RelY(self, NumFloat(args, 1)), RelX(self, NumFloat(args, 2)),
                      RelY(self, NumFloat(args, 3)), (float)GameVariable(self, "health"), backColour, minColour,
                      GR_Colour_Merge(minColour, maxColour, 0.5), maxColour, 0, back >= 1 && back <= 16, true);
}

// ============================================================================================
// [SECTION] Text
// ============================================================================================
ZB_BUILTIN(F_DrawSetFont) { GR_Text_SetFont(NumRound(args, 0)); }
ZB_BUILTIN(F_DrawSetHAlign) { GR_Text_SetHAlign(NumRound(args, 0)); }
ZB_BUILTIN(F_DrawSetVAlign) { GR_Text_SetVAlign(NumRound(args, 0)); }
ZB_BUILTIN(F_StringWidth) { SetReal(result, GR_Text_Width(ArgAsText(args, 0).text, -1, -1)); }
ZB_BUILTIN(F_StringHeight) { SetReal(result, GR_Text_Height(ArgAsText(args, 0).text, -1, -1)); }
ZB_BUILTIN(F_StringWidthExt)
{
    SetReal(result, GR_Text_Width(ArgAsText(args, 0).text, NumRound(args, 1), NumRound(args, 2)));
}
ZB_BUILTIN(F_StringHeightExt)
{
    SetReal(result, GR_Text_Height(ArgAsText(args, 0).text, NumRound(args, 1), NumRound(args, 2)));
}
ZB_BUILTIN(F_DrawText) { GR_Text_Draw(NumFloat(args, 0), NumFloat(args, 1), ArgAsText(args, 2).text, -1, -1); }
ZB_BUILTIN(F_DrawTextExt)
{
    GR_Text_Draw(NumFloat(args, 0), NumFloat(args, 1), ArgAsText(args, 2).text, NumRound(args, 3), NumRound(args, 4));
}
ZB_BUILTIN(F_DrawTextTransformed)
{
    GR_Text_DrawTransformed(NumFloat(args, 0), NumFloat(args, 1), ArgAsText(args, 2).text, -1, -1, NumFloat(args, 3),
                            NumFloat(args, 4), NumFloat(args, 5));
}
ZB_BUILTIN(F_DrawTextExtTransformed)
{
    GR_Text_DrawTransformed(NumFloat(args, 0), NumFloat(args, 1), ArgAsText(args, 2).text, NumRound(args, 3),
                            NumRound(args, 4), NumFloat(args, 5), NumFloat(args, 6), NumFloat(args, 7));
}
ZB_BUILTIN(F_DrawTextColour)
{
    GR_Text_DrawColour(NumFloat(args, 0), NumFloat(args, 1), ArgAsText(args, 2).text, -1, -1, NumRoundU32(args, 3),
                       NumRoundU32(args, 4), NumRoundU32(args, 5), NumRoundU32(args, 6), NumFloat(args, 7));
}
ZB_BUILTIN(F_DrawTextExtColour)
{
    GR_Text_DrawColour(NumFloat(args, 0), NumFloat(args, 1), ArgAsText(args, 2).text, NumRound(args, 3),
                       NumRound(args, 4), NumRoundU32(args, 5), NumRoundU32(args, 6), NumRoundU32(args, 7),
                       NumRoundU32(args, 8), NumFloat(args, 9));
}
ZB_BUILTIN(F_DrawTextTransformedColour)
{
    GR_Text_DrawTransformedColour(NumFloat(args, 0), NumFloat(args, 1), ArgAsText(args, 2).text, -1, -1,
                                  NumFloat(args, 3), NumFloat(args, 4), NumFloat(args, 5), NumRoundU32(args, 6),
                                  NumRoundU32(args, 7), NumRoundU32(args, 8), NumRoundU32(args, 9), NumFloat(args, 10));
}
ZB_BUILTIN(F_DrawTextExtTransformedColour)
{
    GR_Text_DrawTransformedColour(NumFloat(args, 0), NumFloat(args, 1), ArgAsText(args, 2).text, NumRound(args, 3),
                                  NumRound(args, 4), NumFloat(args, 5), NumFloat(args, 6), NumFloat(args, 7),
                                  NumRoundU32(args, 8), NumRoundU32(args, 9), NumRoundU32(args, 10),
                                  NumRoundU32(args, 11), NumFloat(args, 12));
}

ZB_BUILTIN(F_ActionDrawText)
{
    GR_Text_Draw(RelX(self, NumFloat(args, 1)), RelY(self, NumFloat(args, 2)), ArgAsText(args, 0).text, -1, -1);
}
ZB_BUILTIN(F_ActionDrawTextTransformed)
{
    GR_Text_DrawTransformed(RelX(self, NumFloat(args, 1)), RelY(self, NumFloat(args, 2)), ArgAsText(args, 0).text, -1,
                            -1, NumFloat(args, 3), NumFloat(args, 4), NumFloat(args, 5));
}
ZB_BUILTIN(F_ActionDrawScore)
{
    const std::string text = ArgAsText(args, 2).text + NumberText(GameVariable(self, "score"));
    GR_Text_Draw(RelX(self, NumFloat(args, 0)), RelY(self, NumFloat(args, 1)), text.c_str(), -1, -1);
}
ZB_BUILTIN(F_ActionDrawLife)
{
    const std::string text = ArgAsText(args, 2).text + NumberText(GameVariable(self, "lives"));
    GR_Text_Draw(RelX(self, NumFloat(args, 0)), RelY(self, NumFloat(args, 1)), text.c_str(), -1, -1);
}
ZB_BUILTIN(F_ActionDrawVariable)
{
    GR_Text_Draw(RelX(self, NumFloat(args, 1)), RelY(self, NumFloat(args, 2)), ArgAsText(args, 0).text, -1, -1);
}
ZB_BUILTIN(F_ActionFont)
{
    GR_Text_SetFont(NumRound(args, 0));
    GR_Text_SetHAlign(NumRound(args, 1));
}

// ============================================================================================
// [SECTION] Surfaces
// ============================================================================================
namespace {

// Writes w x h pixels (0xAARRGGBB words) as a PNG file (bytes R, G, B, A).
bool SavePixels(const char* name, uint32_t* px, int32_t w, int32_t h)
{
    for (int64_t i = 0; i < (int64_t)w * h; ++i) {
        const uint32_t c = px[i];
        px[i] = (c & 0xFF00FF00u) | ((c >> 16) & 0xFF) | ((c & 0xFF) << 16);
    }
    return write_png_file(name, px, w, h);
}

bool SaveSurface(int32_t id, const char* name, int32_t x, int32_t y, int32_t w, int32_t h)
{
    if (!GR_Surface_Exists(id)) return false;
    // The part is cut to the surface.
    int64_t l = x < 0 ? 0 : x, t = y < 0 ? 0 : y;
    int64_t r = (int64_t)x + w, b = (int64_t)y + h;
    if (r > GR_Surface_GetWidth(id)) r = GR_Surface_GetWidth(id);
    if (b > GR_Surface_GetHeight(id)) b = GR_Surface_GetHeight(id);
    if (r <= l || b <= t) return false;
    uint32_t* px = GR_Surface_ReadPixels(id, (int32_t)l, (int32_t)t, (int32_t)(r - l), (int32_t)(b - t));
    if (!px) return false;
    const bool ok = SavePixels(name, px, (int32_t)(r - l), (int32_t)(b - t));
    MEM_FREE(px);
    return ok;
}

// Copies a rectangle of src into dest at (x, y); a surface copied onto itself goes through a
// temporary target so that the rectangles may overlap.
void CopySurface(int32_t dest, int32_t x, int32_t y, int32_t src, int32_t xs, int32_t ys, int32_t ws, int32_t hs)
{
    if (!GR_Surface_Exists(dest) || !GR_Surface_Exists(src) || ws < 1 || hs < 1) return;
    TextureRecord* from = GR_Texture_GetPage(GR_Surface_GetTexture(src));
    TextureRecord* to = GR_Texture_GetPage(GR_Surface_GetTexture(dest));
    if (!from || !to) return;
    if (from != to) {
        GR_D3D_CopyTextureRect(from, xs, ys, to, x, y, ws, hs);
        return;
    }
    if (ws > 8192 || hs > 8192) return;
    const int32_t tmp = GR_Texture_CreateBlank(ws, hs, true);
    TextureRecord* mid = GR_Texture_GetPage(tmp);
    if (mid) {
        GR_D3D_CopyTextureRect(from, xs, ys, mid, 0, 0, ws, hs);
        GR_D3D_CopyTextureRect(mid, 0, 0, to, x, y, ws, hs);
    }
    GR_Texture_Free(tmp);
}

} // namespace

ZB_BUILTIN(F_SurfaceCreate) { SetReal(result, GR_Surface_Create(NumRound(args, 0), NumRound(args, 1))); }
ZB_BUILTIN(F_SurfaceFree) { GR_Surface_Free(NumRound(args, 0)); }
ZB_BUILTIN(F_SurfaceExists) { SetReal(result, GR_Surface_Exists(NumRound(args, 0)) ? 1 : 0); }
ZB_BUILTIN(F_SurfaceGetWidth) { SetReal(result, GR_Surface_GetWidth(NumRound(args, 0))); }
ZB_BUILTIN(F_SurfaceGetHeight) { SetReal(result, GR_Surface_GetHeight(NumRound(args, 0))); }
ZB_BUILTIN(F_SurfaceGetTexture) { SetReal(result, GR_Surface_GetTexture(NumRound(args, 0))); }
ZB_BUILTIN(F_SurfaceSetTarget) { SetReal(result, GR_Surface_SetTarget(NumRound(args, 0)) ? 1 : 0); }
ZB_BUILTIN(F_SurfaceResetTarget) { SetReal(result, GR_Surface_ResetTarget() ? 1 : 0); }
ZB_BUILTIN(F_DrawSurface) { GR_Surface_Draw(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2)); }
ZB_BUILTIN(F_DrawSurfaceExt)
{
    GR_Surface_DrawExt(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4),
                       NumFloat(args, 5), NumRoundU32(args, 6), NumFloat(args, 7));
}
ZB_BUILTIN(F_DrawSurfaceStretched)
{
    GR_Surface_DrawStretched(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                             NumFloat(args, 4), 0xFFFFFF, (float)GR_Draw_GetAlpha());
}
ZB_BUILTIN(F_DrawSurfaceStretchedExt)
{
    GR_Surface_DrawStretched(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                             NumFloat(args, 4), NumRoundU32(args, 5), NumFloat(args, 6));
}
ZB_BUILTIN(F_DrawSurfacePart)
{
    GR_Surface_DrawPart(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4),
                        NumFloat(args, 5), NumFloat(args, 6), 1, 1, 0xFFFFFF, (float)GR_Draw_GetAlpha());
}
ZB_BUILTIN(F_DrawSurfacePartExt)
{
    GR_Surface_DrawPart(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4),
                        NumFloat(args, 5), NumFloat(args, 6), NumFloat(args, 7), NumFloat(args, 8),
                        NumRoundU32(args, 9), NumFloat(args, 10));
}
ZB_BUILTIN(F_DrawSurfaceGeneral)
{
    GR_Surface_DrawGeneral(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                           NumFloat(args, 4), NumFloat(args, 5), NumFloat(args, 6), NumFloat(args, 7),
                           NumFloat(args, 8), NumFloat(args, 9), NumRoundU32(args, 10), NumRoundU32(args, 11),
                           NumRoundU32(args, 12), NumRoundU32(args, 13), NumFloat(args, 14));
}
ZB_BUILTIN(F_DrawSurfaceTiled)
{
    float w, h;
    GR_RoomArea(&w, &h);
    GR_Surface_DrawTiled(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), 1, 1, true, true, 0, 0, w, h,
                         0xFFFFFF, (float)GR_Draw_GetAlpha());
}
ZB_BUILTIN(F_DrawSurfaceTiledExt)
{
    float w, h;
    GR_RoomArea(&w, &h);
    GR_Surface_DrawTiled(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4),
                         true, true, 0, 0, w, h, NumRoundU32(args, 5), NumFloat(args, 6));
}
ZB_BUILTIN(F_SurfaceSave)
{
    const int32_t id = NumRound(args, 0);
    SaveSurface(id, ArgAsText(args, 1).text, 0, 0, GR_Surface_GetWidth(id), GR_Surface_GetHeight(id));
}
ZB_BUILTIN(F_SurfaceSavePart)
{
    SaveSurface(NumRound(args, 0), ArgAsText(args, 1).text, NumRound(args, 2), NumRound(args, 3), NumRound(args, 4),
                NumRound(args, 5));
}
ZB_BUILTIN(F_SurfaceGetPixel)
{
    uint32_t* px = GR_Surface_ReadPixels(NumRound(args, 0), NumRound(args, 1), NumRound(args, 2), 1, 1);
    if (!px) return;
    const uint32_t c = px[0];
    MEM_FREE(px);
    SetReal(result, ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF));
}
ZB_BUILTIN(F_SurfaceCopy)
{
    const int32_t src = NumRound(args, 3);
    CopySurface(NumRound(args, 0), NumRound(args, 1), NumRound(args, 2), src, 0, 0, GR_Surface_GetWidth(src),
                GR_Surface_GetHeight(src));
}
ZB_BUILTIN(F_SurfaceCopyPart)
{
    CopySurface(NumRound(args, 0), NumRound(args, 1), NumRound(args, 2), NumRound(args, 3), NumRound(args, 4),
                NumRound(args, 5), NumRound(args, 6), NumRound(args, 7));
}

// ---- Registration (ORDER: registration order; rows are ids) ---------------------------------
void GR_Draw_RegisterBuiltins()
{
    static const Row rows[] = {
        {"draw_clear", F_DrawClear, 1}, {"draw_clear_alpha", F_DrawClearAlpha, 2}, {"draw_point", F_DrawPoint, 2},
        {"draw_point_color", F_DrawPointColour, 3}, {"draw_line", F_DrawLine, 4},
        {"draw_line_color", F_DrawLineColour, 6}, {"draw_line_width", F_DrawLineWidth, 5},
        {"draw_line_width_color", F_DrawLineWidthColour, 7}, {"draw_triangle", F_DrawTriangle, 7},
        {"draw_triangle_color", F_DrawTriangleColour, 10}, {"draw_rectangle", F_DrawRectangle, 5},
        {"draw_rectangle_color", F_DrawRectangleColour, 9}, {"draw_roundrect", F_DrawRoundRect, 5},
        {"draw_roundrect_color", F_DrawRoundRectColour, 7}, {"draw_circle", F_DrawCircle, 4},
        {"draw_circle_color", F_DrawCircleColour, 6}, {"draw_ellipse", F_DrawEllipse, 5},
        {"draw_ellipse_color", F_DrawEllipseColour, 7}, {"draw_set_circle_precision", F_DrawSetCirclePrecision, 1},
        {"draw_arrow", F_DrawArrow, 5}, {"draw_button", F_DrawButton, 5}, {"draw_healthbar", F_DrawHealthbar, 11},
        {"draw_primitive_begin", F_PrimitiveBegin, 1}, {"draw_primitive_begin_texture", F_PrimitiveBeginTexture, 2},
        {"draw_vertex", F_Vertex, 2}, {"draw_vertex_color", F_VertexColour, 4},
        {"draw_vertex_texture", F_VertexTexture, 4}, {"draw_vertex_texture_color", F_VertexTextureColour, 6},
        {"draw_primitive_end", F_PrimitiveEnd, 0}, {"make_color_hsv", F_MakeColourHSV, 3},
        {"color_get_hue", F_ColourGetHue, 1}, {"color_get_saturation", F_ColourGetSaturation, 1},
        {"color_get_value", F_ColourGetValue, 1}, {"merge_color", F_MergeColour, 3},
        {"action_draw_line", F_ActionDrawLine, 4}, {"action_draw_rectangle", F_ActionDrawRectangle, 5},
        {"action_draw_ellipse", F_ActionDrawEllipse, 5}, {"action_draw_ellipse_gradient", F_ActionDrawEllipseGradient, 6},
        {"action_draw_gradient_hor", F_ActionDrawGradientHor, 6},
        {"action_draw_gradient_vert", F_ActionDrawGradientVert, 6}, {"action_draw_arrow", F_ActionDrawArrow, 5},
        {"action_draw_health", F_ActionDrawHealth, 6},
    };
    Register(rows);
}

void GR_Text_RegisterBuiltins()
{
    static const Row rows[] = {
        {"draw_set_font", F_DrawSetFont, 1}, {"draw_set_halign", F_DrawSetHAlign, 1},
        {"draw_set_valign", F_DrawSetVAlign, 1}, {"string_width", F_StringWidth, 1},
        {"string_height", F_StringHeight, 1}, {"string_width_ext", F_StringWidthExt, 3},
        {"string_height_ext", F_StringHeightExt, 3}, {"draw_text", F_DrawText, 3}, {"draw_text_ext", F_DrawTextExt, 5},
        {"draw_text_transformed", F_DrawTextTransformed, 6},
        {"draw_text_ext_transformed", F_DrawTextExtTransformed, 8}, {"draw_text_color", F_DrawTextColour, 8},
        {"draw_text_ext_color", F_DrawTextExtColour, 10},
        {"draw_text_transformed_color", F_DrawTextTransformedColour, 11},
        {"draw_text_ext_transformed_color", F_DrawTextExtTransformedColour, 13},
        {"action_draw_text", F_ActionDrawText, 3}, {"action_draw_text_transformed", F_ActionDrawTextTransformed, 6},
        {"action_draw_score", F_ActionDrawScore, 3}, {"action_draw_life", F_ActionDrawLife, 3},
        {"action_draw_variable", F_ActionDrawVariable, 3}, {"action_font", F_ActionFont, 2},
    };
    Register(rows);
}

void GR_Surface_RegisterBuiltins()
{
    static const Row rows[] = {
        {"surface_create", F_SurfaceCreate, 2}, {"surface_free", F_SurfaceFree, 1},
        {"surface_exists", F_SurfaceExists, 1}, {"surface_get_width", F_SurfaceGetWidth, 1},
        {"surface_get_height", F_SurfaceGetHeight, 1}, {"surface_get_texture", F_SurfaceGetTexture, 1},
        {"surface_set_target", F_SurfaceSetTarget, 1}, {"surface_reset_target", F_SurfaceResetTarget, 0},
        {"draw_surface", F_DrawSurface, 3}, {"draw_surface_ext", F_DrawSurfaceExt, 8},
        {"draw_surface_stretched", F_DrawSurfaceStretched, 5},
        {"draw_surface_stretched_ext", F_DrawSurfaceStretchedExt, 7}, {"draw_surface_part", F_DrawSurfacePart, 7},
        {"draw_surface_part_ext", F_DrawSurfacePartExt, 11}, {"draw_surface_general", F_DrawSurfaceGeneral, 15},
        {"draw_surface_tiled", F_DrawSurfaceTiled, 3}, {"draw_surface_tiled_ext", F_DrawSurfaceTiledExt, 7},
        {"surface_save", F_SurfaceSave, 2}, {"surface_save_part", F_SurfaceSavePart, 6},
        {"surface_getpixel", F_SurfaceGetPixel, 3}, {"surface_copy", F_SurfaceCopy, 4},
        {"surface_copy_part", F_SurfaceCopyPart, 8},
    };
    Register(rows);
}
