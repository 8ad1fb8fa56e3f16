// 2D primitives, colour conversions and surfaces on the recording fake, partly through the
// registered built-ins (argument conversions, the fixed radii and middle colour): vertex
// counts and places with the pixel offset, the circle table, the collected primitives; the
// surface table, target switching, loss at a reset or a texture flush, read-back and copies.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "Files/Code/Code_Function.h"
#include "Files/Font/Font_Text.h"
#include "Files/Function/Function_Draw.h"
#include "Files/Function/Function_Graphics.h"
#include "Files/Graphics/Graphics_Draw.h"
#include "Files/Graphics/Graphics_Surface.h"
#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_PNG.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Files/Graphics_API/TBitmap.h"
#include "Platform/MemoryManager.h"
#include "ResourceTestSupport.h"

namespace {

// Registers the built-ins of this group once a process.
void Register()
{
    static bool registered = false;
    if (!registered) {
        GR_Draw_RegisterBuiltins();
        GR_Text_RegisterBuiltins();
        GR_Surface_RegisterBuiltins();
        registered = true;
    }
}

// Calls a registered built-in by name with real arguments; the result as a real.
double Call(const char* name, std::initializer_list<double> values)
{
    Register();
    int32_t id = -1;
    EXPECT_TRUE(Code_Function_Find(name, &id)) << name;
    const BuiltinFunction* row = Function_Get(id);
    if (!row) return 0;
    std::vector<ScriptValue> args;
    for (double v : values) args.push_back(Value_Real(v));
    EXPECT_TRUE(row->argCount < 0 || row->argCount == (int32_t)args.size()) << name;
    ScriptValue result = Value_Real(0);
    row->f(&result, nullptr, nullptr, (int32_t)args.size(), args.data());
    return result.real;
}

class Primitives : public ResourceFixture {
protected:
    void SetUp() override
    {
        ResourceFixture::SetUp();
        GR_Draw_InitCircleTable();
        GR_Draw_SetColour(0x0000FF);
        GR_Draw_SetAlpha(1.0f);
    }
    float OX() { return GR_D3D_State().pixelOffset[0]; }
};

TEST_F(Primitives, CirclePrecisionAndEllipses)
{
    Call("draw_set_circle_precision", {30});
    EXPECT_EQ(GR_Draw_GetCirclePrecision(), 28);
    GR_Draw_SetCirclePrecision(3);
    EXPECT_EQ(GR_Draw_GetCirclePrecision(), 4);
    GR_Draw_SetCirclePrecision(100);
    EXPECT_EQ(GR_Draw_GetCirclePrecision(), 64);
    GR_Draw_SetCirclePrecision(24);
    Call("draw_circle", {50, 40, 10, 0});
    std::vector<FakeDraw> d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].type, 4u);
    EXPECT_EQ(d[0].vertexCount(), 72u) << "24 triangles";
    EXPECT_FLOAT_EQ(d[0].F(0, 0), 50.0f);
    EXPECT_FLOAT_EQ(d[0].F(1, 0), 60.0f);
    EXPECT_EQ(d[0].Colour(1), 0xFFFF0000u);
    Call("draw_circle", {50, 40, 10, 1});
    d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].type, 3u);
    ASSERT_EQ(d[0].vertexCount(), 25u);
    EXPECT_FLOAT_EQ(d[0].F(24, 0), d[0].F(0, 0));
    EXPECT_NEAR(d[0].F(24, 1), d[0].F(0, 1), 1e-4);
    // An ellipse of corners given either way round.
    Call("draw_ellipse_color", {70, 60, 30, 40, 0x00FF00, 0xFF0000, 0});
    d = Drawn();
    EXPECT_FLOAT_EQ(d[0].F(0, 0), 50.0f);
    EXPECT_EQ(d[0].Colour(0), 0xFF00FF00u);
    EXPECT_FLOAT_EQ(d[0].F(1, 0), 70.0f);
    EXPECT_EQ(d[0].Colour(1), 0xFF0000FFu);
}

TEST_F(Primitives, RectanglesLinesAndThePixelOffset)
{
    const float o = OX();
    Call("draw_rectangle", {10, 10, 20, 20, 0});
    std::vector<FakeDraw> d = Drawn();
    ASSERT_EQ(d[0].vertexCount(), 6u);
    EXPECT_FLOAT_EQ(d[0].F(0, 0), 10.0f);
    EXPECT_FLOAT_EQ(d[0].F(1, 0), 20.0f + o);
    EXPECT_FLOAT_EQ(d[0].F(2, 1), 20.0f + o);
    Call("draw_rectangle", {20, 20, 10, 10, 1});
    d = Drawn();
    ASSERT_EQ(d.size(), 2u) << "outline strip, then the corner points";
    EXPECT_EQ(d[0].vertexCount(), 5u);
    EXPECT_EQ(d[1].type, 1u);
    EXPECT_EQ(d[1].vertexCount(), 4u);
    EXPECT_FLOAT_EQ(d[0].F(0, 0), 10.0f + o);
    Call("draw_rectangle_color", {10, 10, 20, 20, 1, 2, 3, 4, 0});
    d = Drawn();
    ASSERT_EQ(d[0].vertexCount(), 5u);
    const float right = 20.0f + o;
    EXPECT_FLOAT_EQ(d[0].F(1, 0), std::floor(right) == right ? right + 0.01f : right);
    EXPECT_EQ(d[0].Colour(1), 0xFF020000u);
    // Wide lines: a fan of four, nothing when both ends are the same (also coloured).
    Call("draw_line_width", {0, 0, 10, 0, 4});
    d = Drawn();
    ASSERT_EQ(d[0].vertexCount(), 4u);
    EXPECT_FLOAT_EQ(d[0].F(0, 1) - d[0].F(3, 1), 4.0f);
    Call("draw_line_width", {5, 5, 5, 5, 4});
    Call("draw_line_width_color", {5, 5, 5, 5, 4, 1, 2});
    Call("draw_arrow", {5, 5, 5, 5, 10});
    EXPECT_TRUE(Drawn().empty());
    Call("draw_arrow", {0, 0, 20, 0, 8});
    d = Drawn();
    ASSERT_EQ(d.size(), 2u);
    EXPECT_FLOAT_EQ(d[1].F(1, 0), 20.0f) << "the head's tip";
    EXPECT_FLOAT_EQ(d[1].F(0, 0), 12.0f);
    Call("draw_point", {3, 4});
    d = Drawn();
    EXPECT_FLOAT_EQ(d[0].F(0, 0), 3.0f + o);
}

TEST_F(Primitives, RoundRectsButtonsAndHealthBars)
{
    Call("draw_roundrect", {10, 10, 50, 30, 0});
    std::vector<FakeDraw> d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].type, 6u);
    EXPECT_EQ(d[0].vertexCount(), 24u + 6u);
    // The first arc point: centre (30, 20) + (40 / 2 - 10 / 2) + 10 / 2 across.
    EXPECT_NEAR(d[0].F(1, 0), 30.005f + 20.005f, 1e-3);
    Call("draw_roundrect", {10, 10, 50, 30, 1});
    d = Drawn();
    EXPECT_EQ(d[0].type, 3u);
    EXPECT_FLOAT_EQ(d[0].F(0, 0), d[0].F(1, 0)) << "outline starts on the arc";
    GR_Draw_SetColour(0x123456);
    Call("draw_button", {0, 0, 20, 10, 1});
    d = Drawn();
    ASSERT_GE(d.size(), 1u);
    EXPECT_EQ(d[0].Colour(0), 0xFFFFFFFFu);
    EXPECT_EQ(d[0].Colour(5), 0xFF808080u);
    EXPECT_EQ(d[0].Colour(6), 0xFF563412u) << "the face in the drawing colour";
    EXPECT_FLOAT_EQ(d[0].F(6, 0), 2.0f);
    // Health bar at 75 from red to green: the middle is merge(red, green, 0.5), the bar
    // lerp(middle, green, 0.5).
    Call("draw_healthbar", {0, 0, 100, 10, 75, 0, 0x0000FF, 0x00FF00, 0, 0, 0});
    d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    const uint32_t mid = GR_Colour_Merge(0x0000FF, 0x00FF00, 0.5);
    EXPECT_EQ(mid, 0x008080u);
    const uint32_t bar = GR_Colour_Lerp(mid, 0x00FF00, 0.5f);
    EXPECT_EQ(d[0].Colour(0), GR_Colour_ToARGBByte(bar, 255));
    const float right = 75.0f + OX();
    EXPECT_FLOAT_EQ(d[0].F(1, 0), std::floor(right) == right ? right + 0.01f : right);
    Call("draw_healthbar", {0, 0, 100, 10, 0, 0, 1, 2, 0, 1, 1});
    EXPECT_EQ(Drawn().size(), 3u) << "back and border only (the border an outline strip and its corner points)";
}

TEST_F(Primitives, CollectedPrimitives)
{
    Call("draw_primitive_begin", {1});
    for (int i = 0; i < 1002; ++i) Call("draw_vertex", {(double)i, 0});
    EXPECT_EQ(GR_Draw_PrimitiveCount(), 1001);
    Call("draw_primitive_end", {});
    std::vector<FakeDraw> d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].vertexCount(), 1001u);
    Call("draw_primitive_begin", {9});
    Call("draw_vertex", {0, 0});
    Call("draw_primitive_end", {});
    EXPECT_TRUE(Drawn().empty()) << "an unknown kind draws nothing";
    // A page entry maps u and v into its rectangle of the page.
    const uint32_t px[64 * 64] = {};
    const int32_t tex = GR_Texture_CreateFromPixels(64, 64, px, sizeof px);
    TexturePageEntry e{16, 32, 8, 8, 0, 0, 8, 8, 8, 8, (int16_t)tex};
    const int64_t handle = GR_TPE_Register(&e);
    Call("draw_primitive_begin_texture", {4, (double)handle});
    Call("draw_vertex_texture", {0, 0, 0, 0});
    Call("draw_vertex_texture", {1, 0, 1, 0});
    Call("draw_vertex_texture_color", {1, 1, 1, 1, 0x00FF00, 0.5});
    Call("draw_primitive_end", {});
    d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].texture, GR_Texture_GetPage(tex)->texture);
    EXPECT_FLOAT_EQ(d[0].F(0, 4), 16.0f / 64.0f);
    EXPECT_FLOAT_EQ(d[0].F(1, 4), 24.0f / 64.0f);
    EXPECT_FLOAT_EQ(d[0].F(2, 5), 40.0f / 64.0f);
    EXPECT_EQ(d[0].Colour(2), 0x7F00FF00u);
    GR_TPE_Unregister(&e);
}

TEST_F(Primitives, ColourConversions)
{
    EXPECT_EQ(Call("make_color_hsv", {0, 0, 255}), (double)0xFFFFFF);
    EXPECT_EQ(Call("color_get_hue", {(double)0x00FF00}), 85);
    EXPECT_EQ(Call("color_get_saturation", {(double)0x00FF00}), 255);
    EXPECT_EQ(Call("color_get_value", {(double)0x008000}), 128);
    EXPECT_EQ(Call("make_color_hsv", {0, 255, 255}), (double)0x0000FF);
    EXPECT_EQ(Call("make_color_hsv", {85, 255, 255}), (double)0x00FF00);
    EXPECT_EQ(Call("merge_color", {(double)0x000000, (double)0xFFFFFF, 0.25}), (double)0x404040);
    EXPECT_EQ(GR_Colour_AlphaToByte(0.5f), 127u);
    EXPECT_EQ(GR_Colour_AlphaToByte(NAN), 0u);
    EXPECT_EQ(GR_Colour_PackBytes(1, 2, 3, 4), 0x04010203u);
    EXPECT_EQ(GR_FloorF(-0.5), -1);
    EXPECT_EQ(GR_FloorF(NAN), INT32_MIN);
    EXPECT_EQ(GR_FloorF(1e20), INT32_MIN);
}

TEST_F(Primitives, ClearDrawsWhatCameBeforeIt)
{
    Call("draw_point", {1, 1});
    dev()->ClearLog();
    Call("draw_clear_alpha", {(double)0x0000FF, 0.5});
    EXPECT_EQ(dev()->draws.size(), 1u) << "the point went to the device before the clear";
    EXPECT_EQ(dev()->Calls("Clear"), 1u);
    EXPECT_EQ(dev()->CurrentTarget()->pixels->px[0], 0x7FFF0000u) << "red at half alpha, in device order";
}

// ---- Surfaces ------------------------------------------------------------------------------------
class Surfaces : public ResourceFixture {
protected:
    int32_t Depth() { return GR_D3D_State().rtDepthCount; }
};

TEST_F(Surfaces, SlotsAreReused)
{
    EXPECT_EQ(Call("surface_create", {8, 8}), 0);
    EXPECT_EQ(Call("surface_create", {8, 8}), 1);
    EXPECT_EQ(Call("surface_create", {8, 8}), 2);
    Call("surface_free", {0});
    EXPECT_EQ(Call("surface_exists", {0}), 0);
    EXPECT_EQ(Call("surface_get_width", {0}), -1);
    EXPECT_EQ(Call("surface_create", {4, 6}), 0);
    EXPECT_EQ(Call("surface_get_height", {0}), 6);
    EXPECT_GE(Call("surface_get_texture", {0}), 0);
    dev()->failTextures = 1;
    EXPECT_EQ(Call("surface_create", {8, 8}), -1);
    EXPECT_EQ(GR_Surface_Count(), 3);
    EXPECT_EQ(Call("surface_create", {0, 8}), -1);
}

TEST_F(Surfaces, TargetsNeverNest)
{
    GR_D3D_Start_Frame();
    const int32_t frameDepth = Depth();
    const int32_t a = GR_Surface_Create(16, 16), b = GR_Surface_Create(8, 8);
    EXPECT_FALSE(GR_Surface_ResetTarget()) << "no surface is the target: nothing is popped";
    EXPECT_EQ(Depth(), frameDepth);
    ASSERT_TRUE(GR_Surface_SetTarget(a));
    EXPECT_EQ(Depth(), frameDepth + 1);
    EXPECT_EQ(GR_D3D_State().viewport[2], 16);
    EXPECT_TRUE(GR_Surface_SetTarget(a)) << "the current one again";
    EXPECT_EQ(Depth(), frameDepth + 1);
    ASSERT_TRUE(GR_Surface_SetTarget(b));
    EXPECT_EQ(Depth(), frameDepth + 1) << "the first was reset";
    EXPECT_EQ(GR_Surface_CurrentTarget(), b);
    EXPECT_EQ(GR_D3D_State().viewport[2], 8);
    EXPECT_FALSE(GR_Surface_SetTarget(99));
    GR_Surface_Free(b);
    EXPECT_EQ(GR_Surface_CurrentTarget(), -1) << "freeing the target goes back to the screen";
    EXPECT_EQ(Depth(), frameDepth);
    EXPECT_EQ(GR_D3D_State().viewport[2], 640);
    GR_D3D_Finish_Frame(false);
}

TEST_F(Surfaces, LostAtAResetAndAtATextureFlush)
{
    const int32_t a = GR_Surface_Create(16, 16);
    const int32_t texture = GR_Surface_GetTexture(a);
    GR_D3D_Reset();
    EXPECT_FALSE(GR_Surface_Exists(a));
    EXPECT_FALSE(GR_Texture_Exists(texture));
    // draw_texture_flush: every surface goes, its texture freed and the target popped.
    GR_D3D_Start_Frame();
    const int32_t frameDepth = GR_D3D_State().rtDepthCount;
    const int32_t b = GR_Surface_Create(16, 16);
    const int32_t tb = GR_Surface_GetTexture(b);
    ASSERT_TRUE(GR_Surface_SetTarget(b));
    GR_Texture_FlushAll();
    EXPECT_FALSE(GR_Surface_Exists(b));
    EXPECT_FALSE(GR_Texture_Exists(tb));
    EXPECT_EQ(GR_Surface_CurrentTarget(), -1);
    EXPECT_EQ(GR_D3D_State().rtDepthCount, frameDepth);
    GR_D3D_Finish_Frame(false);
}

TEST_F(Surfaces, DrawFormsAndReadBack)
{
    GR_D3D_Start_Frame();
    const int32_t a = GR_Surface_Create(8, 4);
    ASSERT_TRUE(GR_Surface_SetTarget(a));
    GR_Draw_Clear(0x00FF00);
    GR_Surface_ResetTarget();
    EXPECT_EQ(Call("surface_getpixel", {(double)a, 3, 2}), (double)0x00FF00);
    EXPECT_EQ(Call("surface_getpixel", {(double)a, 8, 0}), 0) << "outside";
    TBitmap* grab = GR_Surface_GrabBitmap(a, 6, 2, 10, 10);
    ASSERT_NE(grab, nullptr);
    EXPECT_EQ(grab->GetWidth(), 2) << "cut to the surface";
    EXPECT_EQ(grab->GetHeight(), 2);
    delete grab;
    EXPECT_EQ(GR_Surface_GrabBitmap(a, 9, 0, 2, 2), nullptr);
    EXPECT_EQ(GR_Surface_GrabBitmap(42, 0, 0, 2, 2), nullptr);
    // Copies: another surface, and a surface onto itself.
    const int32_t b = GR_Surface_Create(8, 4);
    Call("surface_copy_part", {(double)b, 1, 1, (double)a, 0, 0, 2, 2});
    EXPECT_EQ(Call("surface_getpixel", {(double)b, 2, 2}), (double)0x00FF00);
    EXPECT_EQ(Call("surface_getpixel", {(double)b, 0, 0}), 0);
    Call("surface_copy_part", {(double)b, 4, 0, (double)b, 1, 1, 3, 3});
    EXPECT_EQ(Call("surface_getpixel", {(double)b, 4, 0}), (double)0x00FF00);
    // Draw forms.
    dev()->ClearLog();
    Call("draw_surface_stretched", {(double)a, 0, 0, 0, 10});
    Call("draw_surface_stretched_ext", {(double)a, 0, 0, 10, 0, 0xFFFFFF, 1});
    EXPECT_TRUE(Drawn().empty()) << "a width or height of 0 draws nothing";
    Call("draw_surface_stretched", {(double)a, 0, 0, 16, 8});
    std::vector<FakeDraw> d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_FLOAT_EQ(d[0].F(2, 0), 16.0f);
    Call("draw_surface_ext", {(double)a, 10, 10, 2, 2, 90, 0xFFFFFF, 1});
    d = Drawn();
    EXPECT_NEAR(d[0].F(1, 1), 10.0f - 16.0f, 1e-3) << "90 degrees counter-clockwise";
    Call("draw_surface", {99, 0, 0});
    EXPECT_TRUE(Drawn().empty());
    GR_D3D_Finish_Frame(false);
}

TEST_F(Surfaces, SavingWritesPngFiles)
{
    UseFolders();
    GR_D3D_Start_Frame();
    const int32_t a = GR_Surface_Create(4, 3);
    GR_Surface_SetTarget(a);
    GR_Draw_Clear(0x0000FF);
    GR_Surface_ResetTarget();
    GR_PNG_SetSavePathMapper(nullptr);
    ScriptValue args[2] = {Value_Real(a), ScriptValue{VALUE_STRING, MEM_STRDUP("shot.png"), 0}};
    int32_t id = -1;
    Register();
    ASSERT_TRUE(Code_Function_Find("surface_save", &id));
    ScriptValue result = Value_Real(0);
    Function_Get(id)->f(&result, nullptr, nullptr, 2, args);
    Value_FreeString(&args[1]);
    const std::string png = Scratch_ReadFile(dir / "save/shot.png");
    ASSERT_GT(png.size(), 8u);
    int32_t w = 0, h = 0;
    uint32_t* px = GR_PNG_DecodeToBlock(png.data(), (uint32_t)png.size(), &w, &h);
    ASSERT_NE(px, nullptr);
    EXPECT_EQ(w, 4);
    EXPECT_EQ(h, 3);
    EXPECT_EQ(px[0] & 0xFFFFFF, 0xFF0000u) << "red";
    MEM_FREE(px);
    // screen_save_part keeps the part of the rectangle on the screen, for corners anywhere.
    static bool graphicsRegistered = false;
    if (!graphicsRegistered) GR_Builtins_Register();
    graphicsRegistered = true;
    ASSERT_TRUE(Code_Function_Find("screen_save_part", &id));
    auto savePart = [&](const char* name, double x, double y, double w, double h) {
        ScriptValue part[5] = {ScriptValue{VALUE_STRING, MEM_STRDUP(name), 0}, Value_Real(x), Value_Real(y),
                               Value_Real(w), Value_Real(h)};
        Function_Get(id)->f(&result, nullptr, nullptr, 5, part);
        Value_FreeString(&part[0]);
    };
    savePart("none.png", -2147483648.0, -2147483648.0, -2147483648.0, 1e300);
    EXPECT_FALSE(Scratch_Exists(dir / "save/none.png"));
    savePart("corner.png", -2, -1, 4, 3);
    const std::string corner = Scratch_ReadFile(dir / "save/corner.png");
    px = GR_PNG_DecodeToBlock(corner.data(), (uint32_t)corner.size(), &w, &h);
    ASSERT_NE(px, nullptr);
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 2);
    MEM_FREE(px);
    GR_D3D_Finish_Frame(false);
}

} // namespace
