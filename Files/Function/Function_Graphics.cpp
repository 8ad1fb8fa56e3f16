// Built-in script functions of the graphics layer (see Graphics_Builtins.h).
#include "Files/Function/Function_Graphics.h"

#include <cstdio>
#include <vector>

#include "Files/Base/RealConvert.h"
#include "Files/Code/Code_Function.h"
#include "Files/Graphics_API/Graphics_3D.h"
#include "Files/Graphics_API/Graphics_PNG.h"
#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Display.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_ReadBack.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/Base/Value.h"
#include "Platform/MemoryManager.h"

namespace {

#define BUILTIN(name) void name(ScriptValue* result, CInstance*, CInstance*, int32_t argc, ScriptValue* args)
#define UNUSED_ARGS (void)argc, (void)args

double Num(const ScriptValue* v) { return v->kind == VALUE_REAL ? v->real : 0.0; }
float F(const ScriptValue* args, int i) { return (float)Num(&args[i]); }
int32_t I(const ScriptValue* args, int i) { return Real_RoundToInt32(Num(&args[i])); }
uint32_t Colour(const ScriptValue* args, int i) { return (uint32_t)Real_RoundToInt32(Num(&args[i])); }
bool B(const ScriptValue* args, int i) { return Num(&args[i]) >= 0.5; }
void Real(ScriptValue* r, double v) { Value_SetReal(r, v); }

// ---- Display ------------------------------------------------------------------------------------
BUILTIN(F_DisplayGetWidth) { UNUSED_ARGS; Real(result, GR_Display_GetWidth()); }
BUILTIN(F_DisplayGetHeight) { UNUSED_ARGS; Real(result, GR_Display_GetHeight()); }
BUILTIN(F_DisplayGetFrequency) { UNUSED_ARGS; Real(result, GR_Display_GetFrequency()); }
BUILTIN(F_DisplayGetColourDepth) { UNUSED_ARGS; Real(result, GR_Display_GetColourDepth()); }
BUILTIN(F_DisplayTestAll) { (void)argc; Real(result, GR_Display_TestAll(I(args, 0), I(args, 1), I(args, 2), I(args, 3)) ? 1 : 0); }
BUILTIN(F_DisplaySetAll)
{
    (void)argc;
    bool ok = GR_Display_SetAll(I(args, 0), I(args, 1), I(args, 2), I(args, 3));
    if (ok) GR_D3D_Reset();
    Real(result, ok ? 1 : 0);
}
BUILTIN(F_DisplaySetSize)
{
    (void)argc;
    bool ok = GR_Display_SetSize(I(args, 0), I(args, 1));
    if (ok) GR_D3D_Reset();
    Real(result, ok ? 1 : 0);
}
BUILTIN(F_DisplaySetFrequency)
{
    (void)argc;
    bool ok = GR_Display_SetFrequency(I(args, 0));
    if (ok) GR_D3D_Reset();
    Real(result, ok ? 1 : 0);
}
BUILTIN(F_DisplaySetColourDepth)
{
    (void)argc;
    bool ok = GR_Display_SetColourDepth(I(args, 0));
    if (ok) GR_D3D_Reset();
    Real(result, ok ? 1 : 0);
}
BUILTIN(F_DisplayReset)
{
    (void)argc;
    (void)result;
    GR_Display_SetMultisample(I(args, 0));
    GR_Display_SetVSync(B(args, 1));
    GR_ResetPending = 1;
}
BUILTIN(F_DisplayMouseGetX) { UNUSED_ARGS; Real(result, GR_Display_GetMouseX()); }
BUILTIN(F_DisplayMouseGetY) { UNUSED_ARGS; Real(result, GR_Display_GetMouseY()); }
BUILTIN(F_DisplayMouseSet) { (void)argc; (void)result; GR_Display_SetMouse(I(args, 0), I(args, 1)); }

// ---- Window --------------------------------------------------------------------------------------
BUILTIN(F_WindowSetFullscreen) { (void)argc; (void)result; GR_Window_SetFullscreen(B(args, 0)); }
BUILTIN(F_WindowGetFullscreen) { UNUSED_ARGS; Real(result, GR_Window_GetFullscreen() ? 1 : 0); }
BUILTIN(F_WindowSetCaption)
{
    (void)argc;
    (void)result;
    char buffer[1025];
    const char* text = Value_Text(&args[0]);
    if (args[0].kind == VALUE_REAL) {
        std::snprintf(buffer, sizeof(buffer), "%g", args[0].real);
        text = buffer;
    }
    GR_Window_SetCaption(text, false);
}
BUILTIN(F_WindowGetCaption) { UNUSED_ARGS; Value_SetString(result, GR_Window_GetCaption()); }
BUILTIN(F_WindowCenter) { UNUSED_ARGS; (void)result; GR_Window_Center(); }
BUILTIN(F_WindowSetPosition) { (void)argc; (void)result; GR_Window_SetPosition(I(args, 0), I(args, 1)); }
BUILTIN(F_WindowSetSize) { (void)argc; (void)result; GR_Window_SetSize(I(args, 0), I(args, 1)); }
BUILTIN(F_WindowSetRectangle)
{
    (void)argc;
    (void)result;
    GR_Window_SetRectangle(I(args, 0), I(args, 1), I(args, 2), I(args, 3));
}
BUILTIN(F_WindowGetX) { UNUSED_ARGS; Real(result, GR_Window_GetX()); }
BUILTIN(F_WindowGetY) { UNUSED_ARGS; Real(result, GR_Window_GetY()); }
BUILTIN(F_WindowGetWidth) { UNUSED_ARGS; Real(result, GR_Window_GetWidth()); }
BUILTIN(F_WindowGetHeight) { UNUSED_ARGS; Real(result, GR_Window_GetHeight()); }
BUILTIN(F_WindowMouseGetX) { UNUSED_ARGS; Real(result, GR_Window_GetMouseX()); }
BUILTIN(F_WindowMouseGetY) { UNUSED_ARGS; Real(result, GR_Window_GetMouseY()); }
BUILTIN(F_WindowMouseSet) { (void)argc; (void)result; GR_Window_SetMouse(I(args, 0), I(args, 1)); }
BUILTIN(F_WindowSetColour) { (void)argc; (void)result; GR_Window_SetColour(Colour(args, 0)); }
BUILTIN(F_WindowGetColour) { UNUSED_ARGS; Real(result, GR_Window_GetColour()); }
BUILTIN(F_WindowSetCursor) { (void)argc; (void)result; GR_Window_SetCursor(I(args, 0)); }
BUILTIN(F_WindowGetCursor) { UNUSED_ARGS; Real(result, GR_Window_GetCursor()); }
BUILTIN(F_WindowViewMouseGetX) { (void)argc; Real(result, GR_Window_ViewMouseGetX(I(args, 0))); }
BUILTIN(F_WindowViewMouseGetY) { (void)argc; Real(result, GR_Window_ViewMouseGetY(I(args, 0))); }
BUILTIN(F_WindowViewsMouseGetX) { UNUSED_ARGS; Real(result, GR_Window_DeviceMouseX(0)); }
BUILTIN(F_WindowViewsMouseGetY) { UNUSED_ARGS; Real(result, GR_Window_DeviceMouseY(0)); }

// ---- Render states and drawing colour -------------------------------------------------------------
BUILTIN(F_DrawSetBlendMode) { (void)argc; (void)result; GR_State_SetBlendMode(I(args, 0)); }
BUILTIN(F_DrawSetBlendModeExt) { (void)argc; (void)result; GR_State_SetBlendModeExt((uint32_t)I(args, 0), (uint32_t)I(args, 1)); }
BUILTIN(F_DrawSetColourWriteEnable)
{
    (void)argc;
    (void)result;
    GR_State_SetColourWriteEnable(B(args, 0), B(args, 1), B(args, 2), B(args, 3));
}
BUILTIN(F_DrawSetAlphaTest) { (void)argc; (void)result; GR_State_SetAlphaTest(B(args, 0)); }
BUILTIN(F_DrawGetAlphaTest) { UNUSED_ARGS; Real(result, GR_State_GetAlphaTest() ? 1 : 0); }
BUILTIN(F_DrawSetAlphaTestRef) { (void)argc; (void)result; GR_State_SetAlphaTestRef((uint32_t)I(args, 0)); }
BUILTIN(F_DrawGetAlphaTestRef) { UNUSED_ARGS; Real(result, GR_State_GetAlphaTestRef()); }
BUILTIN(F_DrawEnableAlphaBlend) { (void)argc; (void)result; GR_State_SetAlphaBlend(B(args, 0)); }
BUILTIN(F_DrawSetColour) { (void)argc; (void)result; GR_Draw_SetColour(Colour(args, 0)); }
BUILTIN(F_DrawSetAlpha) { (void)argc; (void)result; GR_Draw_SetAlpha(F(args, 0)); }
BUILTIN(F_DrawGetColour) { UNUSED_ARGS; Real(result, GR_Draw_GetColour() & 0xFFFFFF); }
BUILTIN(F_DrawGetAlpha) { UNUSED_ARGS; Real(result, GR_Draw_GetAlpha()); }
BUILTIN(F_DrawGetPixel)
{
    (void)argc;
    // Room position to the screen texture through the first view in use.
    int32_t x, y, view = 0;
    while (view < GR_VIEWPORT_COUNT && !GR_ViewPort_Get(view)->inUse) ++view;
    GR_ViewPort_RoomToScreen(view, F(args, 0), F(args, 1), &x, &y);
    Real(result, GR_D3D_GetPixel(x, y));
}

// Writes the screen rectangle as a PNG file (bytes R, G, B, A).
bool SaveScreen(const char* name, int32_t x, int32_t y, int32_t w, int32_t h)
{
    int32_t sw = GR_Window_GetScreenWidth(), sh = GR_Window_GetScreenHeight();
    if (x < 0) {
        w += x;
        x = 0;
    }
    if (y < 0) {
        h += y;
        y = 0;
    }
    if ((int64_t)x + w > sw) w = sw - x;
    if ((int64_t)y + h > sh) h = sh - y;
    if (w < 1 || h < 1) return false;
    uint32_t* px = GR_D3D_ReadBackBufferRect(sw, sh, x, y, w, h);
    if (!px) return false;
    for (int64_t i = 0; i < (int64_t)w * h; ++i) {
        uint32_t c = px[i];
        px[i] = (c & 0xFF00FF00u) | ((c >> 16) & 0xFF) | ((c & 0xFF) << 16); // B G R A -> R G B A bytes
    }
    bool ok = write_png_file(name, px, w, h);
    MEM_FREE(px);
    return ok;
}

BUILTIN(F_ScreenSave)
{
    (void)argc;
    (void)result;
    SaveScreen(Value_Text(&args[0]), 0, 0, GR_Window_GetScreenWidth(), GR_Window_GetScreenHeight());
}
BUILTIN(F_ScreenSavePart)
{
    (void)argc;
    (void)result;
    SaveScreen(Value_Text(&args[0]), I(args, 1), I(args, 2), I(args, 3), I(args, 4));
}

// ---- 3D -------------------------------------------------------------------------------------------
BUILTIN(F_D3DStart) { UNUSED_ARGS; Real(result, GR_3D_SetMode(true) ? 1 : 0); }
BUILTIN(F_D3DEnd) { UNUSED_ARGS; Real(result, GR_3D_SetMode(false) ? 1 : 0); }
BUILTIN(F_D3DSetPerspective) { (void)argc; (void)result; GR_3D_SetPerspective(B(args, 0)); }
BUILTIN(F_D3DSetHidden) { (void)argc; (void)result; GR_3D_SetHidden(B(args, 0)); }
BUILTIN(F_D3DSetZWriteEnable) { (void)argc; (void)result; GR_3D_SetZWriteEnable(B(args, 0)); }
BUILTIN(F_D3DSetCulling) { (void)argc; (void)result; GR_3D_SetCulling(B(args, 0)); }
BUILTIN(F_D3DSetShading) { (void)argc; (void)result; GR_3D_SetShading(B(args, 0)); }
BUILTIN(F_D3DSetLighting) { (void)argc; (void)result; GR_3D_SetLighting(B(args, 0)); }
BUILTIN(F_D3DSetFog)
{
    (void)argc;
    (void)result;
    GR_3D_SetFog(B(args, 0), Colour(args, 1), I(args, 2), I(args, 3));
}
BUILTIN(F_D3DSetDepth) { (void)argc; (void)result; GR_3D_SetDepth(F(args, 0)); }
BUILTIN(F_D3DSetProjection)
{
    (void)argc;
    (void)result;
    GR_3D_SetProjection(F(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), F(args, 6), F(args, 7),
                        F(args, 8));
}
BUILTIN(F_D3DSetProjectionExt)
{
    (void)argc;
    (void)result;
    GR_3D_SetProjectionExt(F(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), F(args, 6), F(args, 7),
                           F(args, 8), F(args, 9), F(args, 10), F(args, 11), F(args, 12));
}
BUILTIN(F_D3DSetProjectionOrtho)
{
    (void)argc;
    (void)result;
    GR_3D_SetProjectionOrtho(F(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4));
}
BUILTIN(F_D3DSetProjectionPerspective)
{
    (void)argc;
    (void)result;
    GR_3D_SetProjectionPerspective(F(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4));
}
BUILTIN(F_D3DLightAmbient) { (void)argc; (void)result; GR_3D_SetAmbient(Colour(args, 0)); }
BUILTIN(F_D3DLightDirection)
{
    (void)argc;
    (void)result;
    GR_3D_DefineDirectionalLight(I(args, 0), F(args, 1), F(args, 2), F(args, 3), Colour(args, 4));
}
BUILTIN(F_D3DLightPoint)
{
    (void)argc;
    (void)result;
    GR_3D_DefinePointLight(I(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), Colour(args, 5));
}
BUILTIN(F_D3DLightEnable) { (void)argc; (void)result; GR_3D_EnableLight(I(args, 0), B(args, 1)); }

BUILTIN(F_TransformSetIdentity) { UNUSED_ARGS; (void)result; GR_3D_TransformSetIdentity(); }
BUILTIN(F_TransformSetTranslation) { (void)argc; (void)result; GR_3D_TransformSetTranslation(F(args, 0), F(args, 1), F(args, 2)); }
BUILTIN(F_TransformSetScaling) { (void)argc; (void)result; GR_3D_TransformSetScaling(F(args, 0), F(args, 1), F(args, 2)); }
BUILTIN(F_TransformSetRotationX) { (void)argc; (void)result; GR_3D_TransformSetRotationX(F(args, 0)); }
BUILTIN(F_TransformSetRotationY) { (void)argc; (void)result; GR_3D_TransformSetRotationY(F(args, 0)); }
BUILTIN(F_TransformSetRotationZ) { (void)argc; (void)result; GR_3D_TransformSetRotationZ(F(args, 0)); }
BUILTIN(F_TransformSetRotationAxis)
{
    (void)argc;
    (void)result;
    GR_3D_TransformSetRotationAxis(F(args, 0), F(args, 1), F(args, 2), F(args, 3));
}
BUILTIN(F_TransformAddTranslation) { (void)argc; (void)result; GR_3D_TransformAddTranslation(F(args, 0), F(args, 1), F(args, 2)); }
BUILTIN(F_TransformAddScaling) { (void)argc; (void)result; GR_3D_TransformAddScaling(F(args, 0), F(args, 1), F(args, 2)); }
BUILTIN(F_TransformAddRotationX) { (void)argc; (void)result; GR_3D_TransformAddRotationX(F(args, 0)); }
BUILTIN(F_TransformAddRotationY) { (void)argc; (void)result; GR_3D_TransformAddRotationY(F(args, 0)); }
BUILTIN(F_TransformAddRotationZ) { (void)argc; (void)result; GR_3D_TransformAddRotationZ(F(args, 0)); }
BUILTIN(F_TransformAddRotationAxis)
{
    (void)argc;
    (void)result;
    GR_3D_TransformAddRotationAxis(F(args, 0), F(args, 1), F(args, 2), F(args, 3));
}
BUILTIN(F_StackClear) { UNUSED_ARGS; (void)result; GR_3D_TransformStackClear(); }
BUILTIN(F_StackEmpty) { UNUSED_ARGS; Real(result, GR_3D_TransformStackEmpty() ? 1 : 0); }
BUILTIN(F_StackPush) { UNUSED_ARGS; Real(result, GR_3D_TransformStackPush() ? 1 : 0); }
BUILTIN(F_StackPop) { UNUSED_ARGS; Real(result, GR_3D_TransformStackPop() ? 1 : 0); }
BUILTIN(F_StackTop) { UNUSED_ARGS; Real(result, GR_3D_TransformStackTop() ? 1 : 0); }
BUILTIN(F_StackDiscard) { UNUSED_ARGS; Real(result, GR_3D_TransformStackDiscard() ? 1 : 0); }

// ---- Textures -------------------------------------------------------------------------------------
BUILTIN(F_TextureSetInterpolation) { (void)argc; (void)result; GR_Texture_SetInterpolation(B(args, 0)); }
BUILTIN(F_TextureSetBlending) { (void)argc; (void)result; GR_Texture_SetBlending(B(args, 0)); }
BUILTIN(F_TextureSetRepeat) { (void)argc; (void)result; GR_Texture_SetRepeat(B(args, 0)); }
BUILTIN(F_TextureExists) { (void)argc; Real(result, GR_Texture_Exists(I(args, 0)) ? 1 : 0); }
BUILTIN(F_TextureGetWidth) { (void)argc; Real(result, GR_Texture_GetWidth(I(args, 0))); }
BUILTIN(F_TextureGetHeight) { (void)argc; Real(result, GR_Texture_GetHeight(I(args, 0))); }
BUILTIN(F_TexturePreload) { (void)argc; (void)result; GR_Texture_Preload(I(args, 0)); }
BUILTIN(F_TextureSetPriority) { (void)argc; (void)result; GR_Texture_SetPriority(I(args, 0), (uint32_t)I(args, 1)); }
BUILTIN(F_DrawTextureFlush)
{
    UNUSED_ARGS;
    (void)result;
    GR_D3D_Flush();
    GR_Texture_FlushAll();
}

struct Row {
    const char* name;
    BuiltinRoutine f;
    int32_t args;
};

// ORDER: registration order (rows are ids; games compiled against this table see them).
const Row kRows[] = {
    {"display_get_width", F_DisplayGetWidth, 0}, {"display_get_height", F_DisplayGetHeight, 0},
    {"display_get_frequency", F_DisplayGetFrequency, 0}, {"display_get_colordepth", F_DisplayGetColourDepth, 0},
    {"display_test_all", F_DisplayTestAll, 4}, {"display_set_all", F_DisplaySetAll, 4},
    {"display_set_size", F_DisplaySetSize, 2}, {"display_set_frequency", F_DisplaySetFrequency, 1},
    {"display_set_colordepth", F_DisplaySetColourDepth, 1}, {"display_reset", F_DisplayReset, 2},
    {"display_mouse_get_x", F_DisplayMouseGetX, 0}, {"display_mouse_get_y", F_DisplayMouseGetY, 0},
    {"display_mouse_set", F_DisplayMouseSet, 2},
    {"window_set_fullscreen", F_WindowSetFullscreen, 1}, {"window_get_fullscreen", F_WindowGetFullscreen, 0},
    {"window_set_caption", F_WindowSetCaption, 1}, {"window_get_caption", F_WindowGetCaption, 0},
    {"window_center", F_WindowCenter, 0}, {"window_set_position", F_WindowSetPosition, 2},
    {"window_set_size", F_WindowSetSize, 2}, {"window_set_rectangle", F_WindowSetRectangle, 4},
    {"window_get_x", F_WindowGetX, 0}, {"window_get_y", F_WindowGetY, 0}, {"window_get_width", F_WindowGetWidth, 0},
    {"window_get_height", F_WindowGetHeight, 0}, {"window_mouse_get_x", F_WindowMouseGetX, 0},
    {"window_mouse_get_y", F_WindowMouseGetY, 0}, {"window_mouse_set", F_WindowMouseSet, 2},
    {"window_set_color", F_WindowSetColour, 1}, {"window_get_color", F_WindowGetColour, 0},
    {"window_set_cursor", F_WindowSetCursor, 1}, {"window_get_cursor", F_WindowGetCursor, 0},
    {"window_view_mouse_get_x", F_WindowViewMouseGetX, 1}, {"window_view_mouse_get_y", F_WindowViewMouseGetY, 1},
    {"window_views_mouse_get_x", F_WindowViewsMouseGetX, 0}, {"window_views_mouse_get_y", F_WindowViewsMouseGetY, 0},
    {"draw_set_blend_mode", F_DrawSetBlendMode, 1}, {"draw_set_blend_mode_ext", F_DrawSetBlendModeExt, 2},
    {"draw_set_color_write_enable", F_DrawSetColourWriteEnable, 4}, {"draw_set_alpha_test", F_DrawSetAlphaTest, 1},
    {"draw_get_alpha_test", F_DrawGetAlphaTest, 0}, {"draw_set_alpha_test_ref_value", F_DrawSetAlphaTestRef, 1},
    {"draw_get_alpha_test_ref_value", F_DrawGetAlphaTestRef, 0}, {"draw_enable_alphablend", F_DrawEnableAlphaBlend, 1},
    {"draw_set_color", F_DrawSetColour, 1}, {"draw_set_colour", F_DrawSetColour, 1}, {"draw_set_alpha", F_DrawSetAlpha, 1},
    {"draw_get_color", F_DrawGetColour, 0}, {"draw_get_colour", F_DrawGetColour, 0}, {"draw_get_alpha", F_DrawGetAlpha, 0},
    {"draw_getpixel", F_DrawGetPixel, 2}, {"screen_save", F_ScreenSave, 1}, {"screen_save_part", F_ScreenSavePart, 5},
    {"d3d_start", F_D3DStart, 0}, {"d3d_end", F_D3DEnd, 0}, {"d3d_set_perspective", F_D3DSetPerspective, 1},
    {"d3d_set_hidden", F_D3DSetHidden, 1}, {"d3d_set_zwriteenable", F_D3DSetZWriteEnable, 1},
    {"d3d_set_culling", F_D3DSetCulling, 1}, {"d3d_set_shading", F_D3DSetShading, 1},
    {"d3d_set_lighting", F_D3DSetLighting, 1}, {"d3d_set_fog", F_D3DSetFog, 4}, {"d3d_set_depth", F_D3DSetDepth, 1},
    {"d3d_set_projection", F_D3DSetProjection, 9}, {"d3d_set_projection_ext", F_D3DSetProjectionExt, 13},
    {"d3d_set_projection_ortho", F_D3DSetProjectionOrtho, 5},
    {"d3d_set_projection_perspective", F_D3DSetProjectionPerspective, 5},
    {"d3d_light_define_ambient", F_D3DLightAmbient, 1}, {"d3d_light_define_direction", F_D3DLightDirection, 5},
    {"d3d_light_define_point", F_D3DLightPoint, 6}, {"d3d_light_enable", F_D3DLightEnable, 2},
    {"d3d_transform_set_identity", F_TransformSetIdentity, 0},
    {"d3d_transform_set_translation", F_TransformSetTranslation, 3},
    {"d3d_transform_set_scaling", F_TransformSetScaling, 3},
    {"d3d_transform_set_rotation_x", F_TransformSetRotationX, 1},
    {"d3d_transform_set_rotation_y", F_TransformSetRotationY, 1},
    {"d3d_transform_set_rotation_z", F_TransformSetRotationZ, 1},
    {"d3d_transform_set_rotation_axis", F_TransformSetRotationAxis, 4},
    {"d3d_transform_add_translation", F_TransformAddTranslation, 3},
    {"d3d_transform_add_scaling", F_TransformAddScaling, 3},
    {"d3d_transform_add_rotation_x", F_TransformAddRotationX, 1},
    {"d3d_transform_add_rotation_y", F_TransformAddRotationY, 1},
    {"d3d_transform_add_rotation_z", F_TransformAddRotationZ, 1},
    {"d3d_transform_add_rotation_axis", F_TransformAddRotationAxis, 4},
    {"d3d_transform_stack_clear", F_StackClear, 0}, {"d3d_transform_stack_empty", F_StackEmpty, 0},
    {"d3d_transform_stack_push", F_StackPush, 0}, {"d3d_transform_stack_pop", F_StackPop, 0},
    {"d3d_transform_stack_top", F_StackTop, 0}, {"d3d_transform_stack_discard", F_StackDiscard, 0},
    {"texture_set_interpolation", F_TextureSetInterpolation, 1}, {"texture_set_blending", F_TextureSetBlending, 1},
    {"texture_set_repeat", F_TextureSetRepeat, 1}, {"texture_exists", F_TextureExists, 1},
    {"texture_get_width", F_TextureGetWidth, 1}, {"texture_get_height", F_TextureGetHeight, 1},
    {"texture_preload", F_TexturePreload, 1}, {"texture_set_priority", F_TextureSetPriority, 2},
    {"draw_texture_flush", F_DrawTextureFlush, 0},
};

} // namespace

void GR_Builtins_Register()
{
    for (const Row& r : kRows) Function_Add(r.name, r.f, r.args);
}
