// The render-state cache, the device-side shadow and the setters behind the drawing
// built-ins, on the recording fake.
#include <gtest/gtest.h>

#include "Files/Graphics_API/Graphics_3D.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "support/FakeGraphics.h"

namespace {

class RenderStateTest : public GraphicsFixture {};

TEST_F(RenderStateTest, RestoringAValueBeforeTheFlushSendsNothing)
{
    dev()->ClearLog();
    g_RenderStateCache.SetRenderState(GR_RS_ALPHABLEND, 0);
    EXPECT_TRUE(g_RenderStateCache.Dirty());
    g_RenderStateCache.SetRenderState(GR_RS_ALPHABLEND, 1);
    EXPECT_FALSE(g_RenderStateCache.Dirty());
    GR_D3D_Flush();
    EXPECT_EQ(dev()->Calls("SetRenderState"), 0u);
}

TEST_F(RenderStateTest, SwitchingOffReachesTheDevice)
{
    // Every switch-off after start-up must arrive (no stale zeroed shadow swallows it).
    GR_3D_SetZWriteEnable(false);
    GR_State_SetAlphaBlend(false);
    GR_State_SetColourWriteEnable(false, false, false, false);
    GR_D3D_Flush();
    EXPECT_EQ(dev()->renderState[GFX_RS_ZWRITEENABLE], 0u);
    EXPECT_EQ(dev()->renderState[GFX_RS_ALPHABLENDENABLE], 0u);
    EXPECT_EQ(dev()->renderState[GFX_RS_COLORWRITEENABLE], 0u);
}

TEST_F(RenderStateTest, DeviceShadowDropsRepeatedValues)
{
    dev()->ClearLog();
    GR_State_SetRenderState(GR_RS_FOG, 1);
    GR_State_SetRenderState(GR_RS_FOG, 1);
    EXPECT_EQ(dev()->renderState[GFX_RS_FOGENABLE], 1u);
    EXPECT_EQ(dev()->Calls("SetRenderState"), 1u);
    GR_State_SetRenderState(9, 5); // no device state behind index 9
    GR_State_SetRenderState(30, 5);
    EXPECT_EQ(dev()->Calls("SetRenderState"), 1u);
}

TEST_F(RenderStateTest, Conversions)
{
    GR_State_SetRenderState(GR_RS_FILLMODE, 7);
    EXPECT_EQ(dev()->renderState[GFX_RS_FILLMODE], 3u);
    GR_State_SetRenderState(GR_RS_SRCBLEND, 18);
    EXPECT_EQ(dev()->renderState[GFX_RS_SRCBLEND], 1u);
    GR_State_SetRenderState(GR_RS_CULLMODE, 1);
    EXPECT_EQ(dev()->renderState[GFX_RS_CULLMODE], 2u);
    GR_State_SetRenderState(GR_RS_CULLMODE, 9);
    EXPECT_EQ(dev()->renderState[GFX_RS_CULLMODE], 1u);
    GR_State_SetRenderState(GR_RS_ALPHAFUNC, 0);
    EXPECT_EQ(dev()->renderState[GFX_RS_ALPHAFUNC], 8u);
    GR_State_SetRenderState(GR_RS_FOGTABLEMODE, 6);
    EXPECT_EQ(dev()->renderState[GFX_RS_FOGTABLEMODE], 3u);
    GR_State_SetRenderState(GR_RS_COLOURWRITE, 0x1F);
    EXPECT_EQ(dev()->renderState[GFX_RS_COLORWRITEENABLE], 15u);
}

TEST_F(RenderStateTest, BlendModes)
{
    const uint32_t expect[5][2] = {{5, 6}, {5, 2}, {5, 4}, {1, 4}, {5, 6}};
    const int modes[5] = {0, 1, 2, 3, 7};
    for (int i = 0; i < 5; ++i) {
        GR_State_SetBlendMode(modes[i]);
        GR_D3D_Flush();
        EXPECT_EQ(dev()->renderState[GFX_RS_SRCBLEND], expect[i][0]) << modes[i];
        EXPECT_EQ(dev()->renderState[GFX_RS_DESTBLEND], expect[i][1]) << modes[i];
    }
}

TEST_F(RenderStateTest, HiddenOnlyIn3DMode)
{
    GR_3D_SetHidden(true);
    GR_D3D_Flush();
    EXPECT_EQ(dev()->renderState[GFX_RS_ZENABLE], 0u);
    GR_3D_SetMode(true);
    GR_D3D_Flush();
    EXPECT_EQ(dev()->renderState[GFX_RS_ZENABLE], 1u);
}

TEST_F(RenderStateTest, FogNeedsDeviceSupportAndWrapsTo16Bits)
{
    GR_3D_SetFog(true, 0x0000FF, 10, 40000);
    GR_D3D_Flush();
    EXPECT_TRUE(GR_Settings().fog);
    EXPECT_EQ(GR_Settings().fogEnd, -25536.0f);
    EXPECT_EQ(dev()->renderState[GFX_RS_FOGENABLE], 1u);
    EXPECT_EQ(dev()->renderState[GFX_RS_FOGTABLEMODE], 3u);
    EXPECT_EQ(dev()->renderState[GFX_RS_FOGCOLOR], 0xFFFF0000u);
    dev()->rasterCaps = 0;
    GR_3D_SetFog(true, 0, 0, 100);
    GR_D3D_Flush();
    EXPECT_FALSE(GR_Settings().fog);
    EXPECT_EQ(dev()->renderState[GFX_RS_FOGENABLE], 0u);
    dev()->rasterCaps = GFX_PRASTERCAPS_FOGVERTEX;
    GR_3D_SetFog(true, 0, 0, 100);
    GR_D3D_Flush();
    EXPECT_EQ(dev()->renderState[GFX_RS_FOGVERTEXMODE], 3u);
    EXPECT_EQ(dev()->renderState[GFX_RS_RANGEFOGENABLE], 1u);
}

TEST_F(RenderStateTest, SamplerSettings)
{
    GR_Texture_SetInterpolation(false);
    GR_Texture_SetRepeat(true);
    GR_D3D_Flush();
    EXPECT_EQ(dev()->sampler[GFX_SAMP_MAGFILTER], (uint32_t)GFX_TEXF_POINT);
    EXPECT_EQ(dev()->sampler[GFX_SAMP_MINFILTER], (uint32_t)GFX_TEXF_POINT);
    EXPECT_EQ(dev()->sampler[GFX_SAMP_ADDRESSV], (uint32_t)GFX_TADDRESS_WRAP);
    GR_Texture_SetBlending(false);
    EXPECT_EQ(dev()->stageState[GFX_TSS_COLOROP], (uint32_t)GFX_TOP_SELECTARG1);
}

TEST_F(RenderStateTest, DrawingColourAndAlpha)
{
    GR_Draw_SetColour(0x0000FF); // red
    GR_Draw_SetAlpha(0.5f);
    EXPECT_EQ(GR_Draw_GetColourARGB(), 0x7FFF0000u);
    EXPECT_EQ(GR_Draw_GetColour() & 0xFFFFFF, 0x0000FFu);
    GR_Draw_SetAlpha(1.5f);
    EXPECT_EQ(GR_Draw_GetColourARGB() >> 24, 255u);
    GR_Draw_SetAlpha(-0.2f);
    EXPECT_EQ(GR_Draw_GetColourARGB() >> 24, 0u);
    EXPECT_DOUBLE_EQ(GR_Draw_GetAlpha(), 0.0);
    EXPECT_EQ(GR_Colour_FromRGB(1, 2, 3), 0x030201u);
}

TEST_F(RenderStateTest, LightsAndAlphaTest)
{
    GR_3D_DefinePointLight(9, 1, 2, 3, 50, 0x00FF00);
    EXPECT_EQ(dev()->lights[1].type, (uint32_t)GFX_LIGHT_POINT);
    EXPECT_FLOAT_EQ(dev()->lights[1].attenuation1, 1.0f / 50.0f);
    EXPECT_FLOAT_EQ(dev()->lights[1].diffuse.g, 1.0f);
    GR_3D_EnableLight(1, true);
    EXPECT_TRUE(dev()->lightOn[1]);
    GR_State_SetAlphaTest(true);
    GR_State_SetAlphaTestRef(40);
    GR_D3D_Flush();
    EXPECT_EQ(dev()->renderState[GFX_RS_ALPHATESTENABLE], 1u);
    EXPECT_EQ(dev()->renderState[GFX_RS_ALPHAREF], 40u);
    EXPECT_EQ(dev()->renderState[GFX_RS_ALPHAFUNC], 5u);
}

} // namespace
