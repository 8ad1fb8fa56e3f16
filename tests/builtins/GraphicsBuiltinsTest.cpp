// The graphics built-ins called through the built-in function table, on the recording fake:
// registration, argument conversions and the transform stack.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Files/Base/Value.h"
#include "Files/Code/Code_Function.h"
#include "Files/Function/Function_Graphics.h"
#include "Files/Graphics_API/Graphics_3D.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Matrix.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "support/BuiltinTest.h"
#include "support/FakeGraphics.h"

namespace {

class GraphicsBuiltins : public GraphicsFixture {
protected:
    void SetUp() override
    {
        GraphicsFixture::SetUp();
        static bool registered = false;
        if (!registered) GR_Builtins_Register();
        registered = true;
    }
    static Val Call(const char* name, std::initializer_list<double> args)
    {
        return Builtin_Call(name, std::vector<Val>(args.begin(), args.end()), nullptr, nullptr, true);
    }
};

TEST_F(GraphicsBuiltins, ColoursRoundAndBooleansFromHalf)
{
    Call("draw_set_color", {254.6});
    EXPECT_EQ(Call("draw_get_color", {}).Real(), 255.0);
    Call("draw_set_alpha", {0.5});
    EXPECT_NEAR(Call("draw_get_alpha", {}).Real(), 127.0 / 255.0, 1e-12);
    EXPECT_EQ(Call("draw_get_color", {}).Real(), 255.0); // the alpha is masked off
    Call("draw_set_alpha_test", {0.49});
    EXPECT_EQ(Call("draw_get_alpha_test", {}).Real(), 0.0);
    Call("draw_set_alpha_test", {0.5});
    EXPECT_EQ(Call("draw_get_alpha_test", {}).Real(), 1.0);
    Call("draw_set_alpha_test_ref_value", {2.5}); // half to even
    EXPECT_EQ(Call("draw_get_alpha_test_ref_value", {}).Real(), 2.0);
}

TEST_F(GraphicsBuiltins, BlendAndColourWrite)
{
    Call("draw_set_blend_mode_ext", {9, 1});
    Call("draw_set_color_write_enable", {1, 0, 1, 0});
    GR_D3D_Flush();
    EXPECT_EQ(dev()->renderState[GFX_RS_SRCBLEND], 9u);
    EXPECT_EQ(dev()->renderState[GFX_RS_COLORWRITEENABLE], 5u);
    Call("draw_enable_alphablend", {0});
    GR_D3D_Flush();
    EXPECT_EQ(dev()->renderState[GFX_RS_ALPHABLENDENABLE], 0u);
}

TEST_F(GraphicsBuiltins, WindowAndDisplay)
{
    Call("window_set_size", {320, 200});
    EXPECT_EQ(GR_D3D_State().pendingWidth, 320);
    Call("window_set_cursor", {-3});
    EXPECT_EQ(Call("window_get_cursor", {}).Real(), -3.0);
    EXPECT_EQ(Call("display_get_width", {}).Real(), 1024.0);
    EXPECT_EQ(Call("display_get_colordepth", {}).Real(), 32.0);
    int resets = dev()->resets;
    EXPECT_EQ(Call("display_set_frequency", {75}).Real(), 1.0);
    EXPECT_EQ(dev()->resets, resets + 1); // a mode change resets the device
    Builtin_Call("window_set_caption", {Val("Title")});
    EXPECT_EQ(Call("window_get_caption", {}).Text(), "Title");
}

TEST_F(GraphicsBuiltins, TransformStack)
{
    Call("d3d_transform_set_translation", {10, 0, 0});
    Call("d3d_transform_add_scaling", {2, 2, 2});
    float world[16], origin[3] = {0, 0, 0}, out[4];
    GR_D3D_GetMatrix(2, world);
    grm::TransformPoint(out, origin, world);
    EXPECT_FLOAT_EQ(out[0], 20.0f);
    for (int i = 0; i < 51; ++i) EXPECT_EQ(Call("d3d_transform_stack_push", {}).Real(), 1.0);
    EXPECT_EQ(Call("d3d_transform_stack_push", {}).Real(), 0.0);
    EXPECT_EQ(Call("d3d_transform_stack_top", {}).Real(), 1.0);
    EXPECT_EQ(GR_3D_TransformStackDepth(), 51);
    for (int i = 0; i < 51; ++i) EXPECT_EQ(Call("d3d_transform_stack_pop", {}).Real(), 1.0);
    EXPECT_EQ(Call("d3d_transform_stack_pop", {}).Real(), 0.0);
    EXPECT_EQ(Call("d3d_transform_stack_discard", {}).Real(), 0.0);
    EXPECT_EQ(Call("d3d_transform_stack_empty", {}).Real(), 1.0);
    // Rotation about an axis turns the other way.
    Call("d3d_transform_set_rotation_axis", {0, 0, 1, 90});
    float expect[16], axis[3] = {0, 0, 1};
    grm::RotationAxis(expect, axis, -90);
    GR_D3D_GetMatrix(2, world);
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(world[i], expect[i]);
}

TEST_F(GraphicsBuiltins, ModeSwitchFlushesOnce)
{
    dev()->ClearLog();
    GR_D3D_AllocVertices(4, nullptr, 16, 3);
    Call("d3d_start", {});
    size_t draws = dev()->draws.size();
    GR_D3D_AllocVertices(4, nullptr, 16, 3);
    Call("d3d_start", {}); // unchanged: no flush
    EXPECT_EQ(dev()->draws.size(), draws);
    Call("d3d_set_depth", {20000});
    EXPECT_FLOAT_EQ(GR_3D_GetDepth(), 16000.0f);
    Call("d3d_set_fog", {1, 255, 0, 40000});
    EXPECT_FLOAT_EQ(GR_Settings().fogEnd, -25536.0f);
    Call("d3d_end", {});
    EXPECT_FALSE(GR_3D_GetMode());
}

TEST_F(GraphicsBuiltins, ScreenReadBack)
{
    GR_D3D_Start_Frame();
    GR_D3D_Clear(0x0000FF, 1.0f, 0, 1);
    EXPECT_EQ(Call("draw_getpixel", {5, 5}).Real(), 255.0);
    GR_D3D_Finish_Frame(false);
    EXPECT_EQ(Call("texture_exists", {-1}).Real(), 0.0);
    EXPECT_EQ(Call("texture_get_width", {12345}).Real(), 1.0);
    Call("draw_texture_flush", {});
}

} // namespace
