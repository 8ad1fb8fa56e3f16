// Built-in script functions of the graphics layer (see Graphics_Builtins.h).
#include "Files/Function/Function_Graphics.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "Files/Base/RealConvert.h"
#include "Files/Base/Value.h"
#include "Files/Code/Code_Builtin.h"
#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics_API/Graphics_3D.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Display.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_PNG.h"
#include "Files/Graphics_API/Graphics_ReadBack.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Platform/MemoryManager.h"

namespace {

using namespace zbargs;

// ---- Display ------------------------------------------------------------------------------------
ZB_BUILTIN(F_DisplayGetWidth) { SetReal(result, GR_Display_GetWidth()); }
ZB_BUILTIN(F_DisplayGetHeight) { SetReal(result, GR_Display_GetHeight()); }
ZB_BUILTIN(F_DisplayGetFrequency) { SetReal(result, GR_Display_GetFrequency()); }
ZB_BUILTIN(F_DisplayGetColourDepth) { SetReal(result, GR_Display_GetColourDepth()); }
ZB_BUILTIN(F_DisplayTestAll)
{
    SetReal(result,
            GR_Display_TestAll(NumRound(args, 0), NumRound(args, 1), NumRound(args, 2), NumRound(args, 3)) ? 1 : 0);
}
ZB_BUILTIN(F_DisplaySetAll)
{
    bool ok = GR_Display_SetAll(NumRound(args, 0), NumRound(args, 1), NumRound(args, 2), NumRound(args, 3));
    if (ok) GR_D3D_Reset();
    SetReal(result, ok ? 1 : 0);
}
ZB_BUILTIN(F_DisplaySetSize)
{
    bool ok = GR_Display_SetSize(NumRound(args, 0), NumRound(args, 1));
    if (ok) GR_D3D_Reset();
    SetReal(result, ok ? 1 : 0);
}
ZB_BUILTIN(F_DisplaySetFrequency)
{
    bool ok = GR_Display_SetFrequency(NumRound(args, 0));
    if (ok) GR_D3D_Reset();
    SetReal(result, ok ? 1 : 0);
}
ZB_BUILTIN(F_DisplaySetColourDepth)
{
    bool ok = GR_Display_SetColourDepth(NumRound(args, 0));
    if (ok) GR_D3D_Reset();
    SetReal(result, ok ? 1 : 0);
}
ZB_BUILTIN(F_DisplayReset)
{
    GR_Display_SetMultisample(NumRound(args, 0));
    GR_Display_SetVSync(NumFromHalf(args, 1));
    GR_ResetPending = 1;
}
ZB_BUILTIN(F_DisplayMouseGetX) { SetReal(result, GR_Display_GetMouseX()); }
ZB_BUILTIN(F_DisplayMouseGetY) { SetReal(result, GR_Display_GetMouseY()); }
ZB_BUILTIN(F_DisplayMouseSet) { GR_Display_SetMouse(NumRound(args, 0), NumRound(args, 1)); }

// ---- Window --------------------------------------------------------------------------------------
ZB_BUILTIN(F_WindowSetFullscreen) { GR_Window_SetFullscreen(NumFromHalf(args, 0)); }
ZB_BUILTIN(F_WindowGetFullscreen) { SetReal(result, GR_Window_GetFullscreen() ? 1 : 0); }
ZB_BUILTIN(F_WindowSetCaption)
{
    char buffer[1025];
    const char* text = Value_Text(&args[0]);
    if (args[0].kind == VALUE_REAL) {
        std::snprintf(buffer, sizeof(buffer), "%g", args[0].real);
        text = buffer;
    }
    GR_Window_SetCaption(text, false);
}
ZB_BUILTIN(F_WindowGetCaption) { Value_SetString(result, GR_Window_GetCaption()); }
ZB_BUILTIN(F_WindowCenter) { GR_Window_Center(); }
ZB_BUILTIN(F_WindowSetPosition) { GR_Window_SetPosition(NumRound(args, 0), NumRound(args, 1)); }
ZB_BUILTIN(F_WindowSetSize) { GR_Window_SetSize(NumRound(args, 0), NumRound(args, 1)); }
ZB_BUILTIN(F_WindowSetRectangle)
{
    GR_Window_SetRectangle(NumRound(args, 0), NumRound(args, 1), NumRound(args, 2), NumRound(args, 3));
}
ZB_BUILTIN(F_WindowGetX) { SetReal(result, GR_Window_GetX()); }
ZB_BUILTIN(F_WindowGetY) { SetReal(result, GR_Window_GetY()); }
ZB_BUILTIN(F_WindowGetWidth) { SetReal(result, GR_Window_GetWidth()); }
ZB_BUILTIN(F_WindowGetHeight) { SetReal(result, GR_Window_GetHeight()); }
ZB_BUILTIN(F_WindowMouseGetX) { SetReal(result, GR_Window_GetMouseX()); }
ZB_BUILTIN(F_WindowMouseGetY) { SetReal(result, GR_Window_GetMouseY()); }
ZB_BUILTIN(F_WindowMouseSet) { GR_Window_SetMouse(NumRound(args, 0), NumRound(args, 1)); }
ZB_BUILTIN(F_WindowSetColour) { GR_Window_SetColour(NumRoundU32(args, 0)); }
ZB_BUILTIN(F_WindowGetColour) { SetReal(result, GR_Window_GetColour()); }
ZB_BUILTIN(F_WindowSetCursor) { GR_Window_SetCursor(NumRound(args, 0)); }
ZB_BUILTIN(F_WindowGetCursor) { SetReal(result, GR_Window_GetCursor()); }
ZB_BUILTIN(F_WindowViewMouseGetX) { SetReal(result, GR_Window_ViewMouseGetX(NumRound(args, 0))); }
ZB_BUILTIN(F_WindowViewMouseGetY) { SetReal(result, GR_Window_ViewMouseGetY(NumRound(args, 0))); }
ZB_BUILTIN(F_WindowViewsMouseGetX) { SetReal(result, GR_Window_DeviceMouseX(0)); }
ZB_BUILTIN(F_WindowViewsMouseGetY) { SetReal(result, GR_Window_DeviceMouseY(0)); }

// ---- Render states and drawing colour -------------------------------------------------------------
ZB_BUILTIN(F_DrawSetBlendMode) { GR_State_SetBlendMode(NumRound(args, 0)); }
ZB_BUILTIN(F_DrawSetBlendModeExt)
{
    GR_State_SetBlendModeExt((uint32_t)NumRound(args, 0), (uint32_t)NumRound(args, 1));
}
ZB_BUILTIN(F_DrawSetColourWriteEnable)
{
    GR_State_SetColourWriteEnable(NumFromHalf(args, 0), NumFromHalf(args, 1), NumFromHalf(args, 2),
                                  NumFromHalf(args, 3));
}
ZB_BUILTIN(F_DrawSetAlphaTest) { GR_State_SetAlphaTest(NumFromHalf(args, 0)); }
ZB_BUILTIN(F_DrawGetAlphaTest) { SetReal(result, GR_State_GetAlphaTest() ? 1 : 0); }
ZB_BUILTIN(F_DrawSetAlphaTestRef) { GR_State_SetAlphaTestRef((uint32_t)NumRound(args, 0)); }
ZB_BUILTIN(F_DrawGetAlphaTestRef) { SetReal(result, GR_State_GetAlphaTestRef()); }
ZB_BUILTIN(F_DrawEnableAlphaBlend) { GR_State_SetAlphaBlend(NumFromHalf(args, 0)); }
ZB_BUILTIN(F_DrawSetColour) { GR_Draw_SetColour(NumRoundU32(args, 0)); }
ZB_BUILTIN(F_DrawSetAlpha) { GR_Draw_SetAlpha(NumFloat(args, 0)); }
ZB_BUILTIN(F_DrawGetColour) { SetReal(result, GR_Draw_GetColour() & 0xFFFFFF); }
ZB_BUILTIN(F_DrawGetAlpha) { SetReal(result, GR_Draw_GetAlpha()); }
ZB_BUILTIN(F_DrawGetPixel)
{
    // Room position to the screen texture through the first view in use.
    int32_t x, y, view = 0;
    while (view < GR_VIEWPORT_COUNT && !GR_ViewPort_Get(view)->inUse) ++view;
    GR_ViewPort_RoomToScreen(view, NumFloat(args, 0), NumFloat(args, 1), &x, &y);
    SetReal(result, GR_D3D_GetPixel(x, y));
}

// Writes the screen rectangle as a PNG file (bytes R, G, B, A). A picture that cannot be had
// is said as a write that failed.
bool SaveScreen(const char* name, int32_t x, int32_t y, int32_t w, int32_t h)
{
    const int32_t sw = GR_Window_GetScreenWidth(), sh = GR_Window_GetScreenHeight();
    // The part of the rectangle on the screen, worked out in 64 bits (any 32-bit corners).
    const int64_t left = std::max<int64_t>(x, 0), top = std::max<int64_t>(y, 0);
    const int64_t right = std::min<int64_t>((int64_t)x + w, sw), bottom = std::min<int64_t>((int64_t)y + h, sh);
    char why[160];
    if (right - left < 1 || bottom - top < 1) {
        std::snprintf(why, sizeof(why), "the part at %d, %d of %d x %d pixels shows nothing of the screen (%d x %d)", x, y, w,
                      h, sw, sh);
        GR_PNG_SayNotWritten(name, why);
        return false;
    }
    x = (int32_t)left;
    y = (int32_t)top;
    w = (int32_t)(right - left);
    h = (int32_t)(bottom - top);
    uint32_t* px = GR_D3D_ReadBackBufferRect(sw, sh, x, y, w, h);
    if (!px) {
        std::snprintf(why, sizeof(why), "the screen's picture (%d x %d) cannot be read", sw, sh);
        GR_PNG_SayNotWritten(name, why);
        return false;
    }
    for (int64_t i = 0; i < (int64_t)w * h; ++i) {
        uint32_t c = px[i];
        px[i] = (c & 0xFF00FF00u) | ((c >> 16) & 0xFF) | ((c & 0xFF) << 16); // B G R A -> R G B A bytes
    }
    bool ok = write_png_file(name, px, w, h);
    MEM_FREE(px);
    return ok;
}

ZB_BUILTIN(F_ScreenSave)
{
    SaveScreen(Value_Text(&args[0]), 0, 0, GR_Window_GetScreenWidth(), GR_Window_GetScreenHeight());
}
ZB_BUILTIN(F_ScreenSavePart)
{
    SaveScreen(Value_Text(&args[0]), NumRound(args, 1), NumRound(args, 2), NumRound(args, 3), NumRound(args, 4));
}

// ---- 3D -------------------------------------------------------------------------------------------
ZB_BUILTIN(F_D3DStart) { SetReal(result, GR_3D_SetMode(true) ? 1 : 0); }
ZB_BUILTIN(F_D3DEnd) { SetReal(result, GR_3D_SetMode(false) ? 1 : 0); }
ZB_BUILTIN(F_D3DSetPerspective) { GR_3D_SetPerspective(NumFromHalf(args, 0)); }
ZB_BUILTIN(F_D3DSetHidden) { GR_3D_SetHidden(NumFromHalf(args, 0)); }
ZB_BUILTIN(F_D3DSetZWriteEnable) { GR_3D_SetZWriteEnable(NumFromHalf(args, 0)); }
ZB_BUILTIN(F_D3DSetCulling) { GR_3D_SetCulling(NumFromHalf(args, 0)); }
ZB_BUILTIN(F_D3DSetShading) { GR_3D_SetShading(NumFromHalf(args, 0)); }
ZB_BUILTIN(F_D3DSetLighting) { GR_3D_SetLighting(NumFromHalf(args, 0)); }
ZB_BUILTIN(F_D3DSetFog)
{
    GR_3D_SetFog(NumFromHalf(args, 0), NumRoundU32(args, 1), NumRound(args, 2), NumRound(args, 3));
}
ZB_BUILTIN(F_D3DSetDepth) { GR_3D_SetDepth(NumFloat(args, 0)); }
ZB_BUILTIN(F_D3DSetProjection)
{
    GR_3D_SetProjection(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4),
                        NumFloat(args, 5), NumFloat(args, 6), NumFloat(args, 7), NumFloat(args, 8));
}
ZB_BUILTIN(F_D3DSetProjectionExt)
{
    GR_3D_SetProjectionExt(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                           NumFloat(args, 4), NumFloat(args, 5), NumFloat(args, 6), NumFloat(args, 7),
                           NumFloat(args, 8), NumFloat(args, 9), NumFloat(args, 10), NumFloat(args, 11),
                           NumFloat(args, 12));
}
ZB_BUILTIN(F_D3DSetProjectionOrtho)
{
    GR_3D_SetProjectionOrtho(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                             NumFloat(args, 4));
}
ZB_BUILTIN(F_D3DSetProjectionPerspective)
{
    GR_3D_SetProjectionPerspective(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                                   NumFloat(args, 4));
}
ZB_BUILTIN(F_D3DLightAmbient) { GR_3D_SetAmbient(NumRoundU32(args, 0)); }
ZB_BUILTIN(F_D3DLightDirection)
{
    GR_3D_DefineDirectionalLight(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                                 NumRoundU32(args, 4));
}
ZB_BUILTIN(F_D3DLightPoint)
{
    GR_3D_DefinePointLight(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                           NumFloat(args, 4), NumRoundU32(args, 5));
}
ZB_BUILTIN(F_D3DLightEnable) { GR_3D_EnableLight(NumRound(args, 0), NumFromHalf(args, 1)); }

ZB_BUILTIN(F_TransformSetIdentity) { GR_3D_TransformSetIdentity(); }
ZB_BUILTIN(F_TransformSetTranslation)
{
    GR_3D_TransformSetTranslation(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2));
}
ZB_BUILTIN(F_TransformSetScaling)
{
    GR_3D_TransformSetScaling(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2));
}
ZB_BUILTIN(F_TransformSetRotationX) { GR_3D_TransformSetRotationX(NumFloat(args, 0)); }
ZB_BUILTIN(F_TransformSetRotationY) { GR_3D_TransformSetRotationY(NumFloat(args, 0)); }
ZB_BUILTIN(F_TransformSetRotationZ) { GR_3D_TransformSetRotationZ(NumFloat(args, 0)); }
ZB_BUILTIN(F_TransformSetRotationAxis)
{
    GR_3D_TransformSetRotationAxis(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3));
}
ZB_BUILTIN(F_TransformAddTranslation)
{
    GR_3D_TransformAddTranslation(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2));
}
ZB_BUILTIN(F_TransformAddScaling)
{
    GR_3D_TransformAddScaling(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2));
}
ZB_BUILTIN(F_TransformAddRotationX) { GR_3D_TransformAddRotationX(NumFloat(args, 0)); }
ZB_BUILTIN(F_TransformAddRotationY) { GR_3D_TransformAddRotationY(NumFloat(args, 0)); }
ZB_BUILTIN(F_TransformAddRotationZ) { GR_3D_TransformAddRotationZ(NumFloat(args, 0)); }
ZB_BUILTIN(F_TransformAddRotationAxis)
{
    GR_3D_TransformAddRotationAxis(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3));
}
ZB_BUILTIN(F_StackClear) { GR_3D_TransformStackClear(); }
ZB_BUILTIN(F_StackEmpty) { SetReal(result, GR_3D_TransformStackEmpty() ? 1 : 0); }
ZB_BUILTIN(F_StackPush) { SetReal(result, GR_3D_TransformStackPush() ? 1 : 0); }
ZB_BUILTIN(F_StackPop) { SetReal(result, GR_3D_TransformStackPop() ? 1 : 0); }
ZB_BUILTIN(F_StackTop) { SetReal(result, GR_3D_TransformStackTop() ? 1 : 0); }
ZB_BUILTIN(F_StackDiscard) { SetReal(result, GR_3D_TransformStackDiscard() ? 1 : 0); }

// ---- Textures -------------------------------------------------------------------------------------
ZB_BUILTIN(F_TextureSetInterpolation) { GR_Texture_SetInterpolation(NumFromHalf(args, 0)); }
ZB_BUILTIN(F_TextureSetBlending) { GR_Texture_SetBlending(NumFromHalf(args, 0)); }
ZB_BUILTIN(F_TextureSetRepeat) { GR_Texture_SetRepeat(NumFromHalf(args, 0)); }
ZB_BUILTIN(F_TextureExists) { SetReal(result, GR_Texture_Exists(NumRound(args, 0)) ? 1 : 0); }
ZB_BUILTIN(F_TextureGetWidth) { SetReal(result, GR_Texture_GetWidth(NumRound(args, 0))); }
ZB_BUILTIN(F_TextureGetHeight) { SetReal(result, GR_Texture_GetHeight(NumRound(args, 0))); }
ZB_BUILTIN(F_TexturePreload) { GR_Texture_Preload(NumRound(args, 0)); }
ZB_BUILTIN(F_TextureSetPriority) { GR_Texture_SetPriority(NumRound(args, 0), (uint32_t)NumRound(args, 1)); }
ZB_BUILTIN(F_DrawTextureFlush)
{
    GR_D3D_Flush();
    GR_Texture_FlushAll();
}

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

void GR_Builtins_Register() { Register(kRows); }
