// Golden images of 3D drawing on the OpenGL device (Mesa llvmpipe without a display,
// SDL_VIDEODRIVER=offscreen): a lit scene of every shape, textured and plain, with a model
// drawn twice at other places and colours; 3D primitives built vertex by vertex; and the
// default perspective view of the room the right way up. Pictures are read back from the screen
// texture and compared with tests/data/threed_golden/*.png (support/Golden.h).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "Files/Graphics/Graphics_3D_Model.h"
#include "Files/Graphics/Graphics_3D_Primitive.h"
#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics_API/Graphics_3D.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_Host.h"
#include "Files/Graphics_API/Graphics_PNG.h"
#include "Files/Graphics_API/Graphics_ReadBack.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Platform/MemoryManager.h"
#include "ThreeDTestSupport.h"
#include "support/Golden.h"

namespace {

const int32_t W = 160, H = 120;
const uint32_t kBackground = 0x00302010u; // device order of script colour 0x102030

class ThreeDGolden : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ThreeD_ResetAll();
        ready = GoldenDevice_Open(W, H);
        if (ready) texture = MakeTexture();
    }

    static void TearDownTestSuite()
    {
        ThreeD_ResetAll();
        if (texture >= 0) GR_Texture_Free(texture);
        texture = -1;
        GoldenDevice_Close();
    }

    void SetUp() override
    {
        if (!ready) GTEST_SKIP() << "no OpenGL context could be made";
        GR_State_SetBlendMode(0);
        GR_3D_SetLighting(false);
        GR_3D_SetCulling(false);
        GR_3D_SetFog(false, 0, 0, 0);
        GR_Texture_SetInterpolation(false);
        GR_Texture_SetRepeat(false);
        GR_Draw_SetColour(0xFFFFFF);
        GR_Draw_SetAlpha(1.0f);
        GR_3D_TransformSetIdentity();
        GR_D3D_Start_Frame();
        GR_D3D_SetView(0, 0, (float)W, (float)H, 0);
        GR_D3D_Clear(0x102030, 1.0f, 0, 7);
    }

    void TearDown() override
    {
        if (!ready) return;
        GR_3D_SetLighting(false);
        GR_3D_EnableLight(0, false);
        GR_3D_SetMode(false);
        GR_3D_TransformSetIdentity();
        GR_D3D_SetView(0, 0, (float)W, (float)H, 0);
        GR_D3D_Finish_Frame(true);
        ThreeD_ResetAll();
    }

    // A 64 x 64 checker of blue and yellow, 16 pixels a square (the whole texture, so that
    // repeated coordinates repeat the checker).
    static int32_t MakeTexture()
    {
        std::vector<uint32_t> px(64 * 64);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) px[y * 64 + x] = ((x / 16 + y / 16) & 1) ? 0xFFF0D020u : 0xFF2040E0u;
        return GR_Texture_CreateFromPixels(64, 64, px.data(), 64 * 64 * 4);
    }

    static std::vector<uint32_t> Read() { return GoldenDevice_Read(W, H); }

    static uint32_t At(const std::vector<uint32_t>& px, int x, int y) { return px[(size_t)y * W + x]; }

    void Compare(const std::string& name, const std::vector<uint32_t>& px)
    {
        EXPECT_EQ(Golden_Compare(px, W, H, "threed_golden/" + name + ".png"), "") << name;
    }

    // A camera above and in front of the origin looking at it, z up (the usual 3D game set-up).
    static void Camera()
    {
        GR_3D_SetMode(true);
        GR_3D_ClearDepth();
        GR_3D_SetProjectionExt(0, 170, 130, 0, 0, 0, 0, 0, 1, 60, (float)W / H, 1, 2000);
    }

    static void Lights()
    {
        GR_3D_SetLighting(true);
        GR_3D_SetAmbient(0x303030);
        GR_3D_DefineDirectionalLight(0, -0.4f, -0.5f, -1.0f, 0xFFFFFF);
        GR_3D_EnableLight(0, true);
    }

    static bool ready;
    static int32_t texture;
};
bool ThreeDGolden::ready = false;
int32_t ThreeDGolden::texture = -1;

TEST_F(ThreeDGolden, LitShapesAndAModel)
{
    Camera();
    Lights();
    // The ground: a textured floor repeating the checker four times each way.
    GR_3D_DrawFloor(-120, -120, 0, 120, 120, 0, texture, 4, 4);
    GR_Draw_SetColour(0x4080FF); // orange
    GR_3D_DrawBlock(-90, -20, 0, -50, 20, 40, -1, 1, 1);
    GR_Draw_SetColour(0xFFFFFF);
    GR_3D_DrawCylinder(-30, -20, 0, 10, 20, 60, texture, 2, 1, true, 16);
    GR_Draw_SetColour(0x40FF40);
    GR_3D_DrawCone(30, -20, 0, 70, 20, 50, -1, 1, 1, true, 24);
    GR_Draw_SetColour(0xFF8080);
    GR_3D_DrawEllipsoid(80, -15, 5, 110, 15, 35, -1, 1, 1, 24);
    GR_Draw_SetColour(0xFFFFFF);
    GR_3D_DrawWall(-110, -100, 0, 110, -100, 50, texture, 6, 1);
    // A model: a pyramid of coloured vertices on a block taking the drawing colour, drawn at
    // two places in two colours (the second replays and recolours the recording).
    int32_t m = GR_3D_Model_Create();
    GR_3D_Model_Block(m, -12, -12, 0, 12, 12, 8, 1, 1);
    GR_3D_Model_PrimitiveBegin(m, 4);
    const float apex[3] = {0, 0, 30};
    const float base[5][2] = {{-12, -12}, {12, -12}, {12, 12}, {-12, 12}, {-12, -12}};
    const float colours[4] = {0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF};
    for (int i = 0; i < 4; ++i) {
        float ax = base[i][0], ay = base[i][1], bx = base[i + 1][0], by = base[i + 1][1];
        // The face's normal points away from the pyramid's axis.
        float nx = (ax + bx) / 24, ny = (ay + by) / 24;
        GR_3D_Model_VertexNormalColour(m, ax, ay, 8, nx, ny, 0.5f, colours[i], 1);
        GR_3D_Model_VertexNormalColour(m, bx, by, 8, nx, ny, 0.5f, colours[i], 1);
        GR_3D_Model_VertexNormalColour(m, apex[0], apex[1], apex[2], nx, ny, 0.5f, colours[i], 1);
    }
    GR_3D_Model_PrimitiveEnd(m);
    GR_Draw_SetColour(0xC0C0C0);
    GR_3D_Model_Draw(m, -40, 60, 0, -1);
    GR_Draw_SetColour(0x2020A0);
    GR_3D_Model_Draw(m, 40, 60, 0, -1);
    EXPECT_EQ(GR_3D_Model_RecordingCount(m), 1);
    auto px = Read();
    ASSERT_FALSE(px.empty());
    Compare("lit_shapes_model", px);
}

TEST_F(ThreeDGolden, PrimitivesOfEveryKind)
{
    Camera();
    GR_3D_PrimitiveBegin(6, texture);
    GR_3D_VertexTexture(-100, -100, 0, 0, 0);
    GR_3D_VertexTexture(0, -100, 0, 2, 0);
    GR_3D_VertexTexture(0, 0, 0, 2, 2);
    GR_3D_VertexTexture(-100, 0, 0, 0, 2);
    GR_Texture_SetRepeat(true);
    GR_3D_PrimitiveEnd();
    GR_3D_PrimitiveBegin(5, -1);
    for (int i = 0; i <= 8; ++i) {
        GR_3D_VertexColour(10 + i * 12, -60, (i & 1) ? 30 : 0, (uint32_t)(0x000040 + i * 0x001820), 1);
        GR_3D_VertexColour(10 + i * 12, 20, (i & 1) ? 30 : 0, (uint32_t)(0x400000 + i * 0x000818), 1);
    }
    GR_3D_PrimitiveEnd();
    GR_3D_PrimitiveBegin(3, -1);
    for (int i = 0; i <= 20; ++i) GR_3D_VertexColour(-100 + i * 10, 60, 20 + (i % 2) * 20, 0xFFFFFF, 1);
    GR_3D_PrimitiveEnd();
    GR_3D_PrimitiveBegin(1, -1);
    for (int i = 0; i < 10; ++i) GR_3D_VertexColour(-50 + i * 10, 90, 0, 0x00FFFF, 1);
    GR_3D_PrimitiveEnd();
    auto px = Read();
    GR_Texture_SetRepeat(false);
    ASSERT_FALSE(px.empty());
    Compare("primitives", px);
}

TEST_F(ThreeDGolden, DefaultPerspectiveViewShowsTheRoomTheRightWayUp)
{
    // 3D mode without a projection of the game's own: the room view in perspective. A red
    // square at the room's top left and a green one at its bottom right, at depth 0, stay there
    // on the screen, as in the orthographic view; a blue one nearer the eye (depth -40) grows.
    GR_3D_SetMode(true);
    GR_D3D_SetView(0, 0, (float)W, (float)H, 0);
    GR_3D_ClearDepth();
    auto square = [](float x1, float y1, float x2, float y2, float z, uint32_t c) {
        GR_3D_PrimitiveBegin(6, -1);
        GR_3D_VertexColour(x1, y1, z, c, 1);
        GR_3D_VertexColour(x2, y1, z, c, 1);
        GR_3D_VertexColour(x2, y2, z, c, 1);
        GR_3D_VertexColour(x1, y2, z, c, 1);
        GR_3D_PrimitiveEnd();
    };
    square(4, 4, 24, 24, 0, 0x0000FF);
    square(W - 24, H - 24, W - 4, H - 4, 0, 0x00FF00);
    square(70, 50, 90, 70, -40, 0xFF0000);
    auto px = Read();
    ASSERT_FALSE(px.empty());
    EXPECT_EQ(At(px, 10, 10), 0xFFFF0000u) << "red at the top left";
    EXPECT_EQ(At(px, W - 10, H - 10), 0xFF00FF00u) << "green at the bottom right";
    EXPECT_EQ(At(px, 10, H - 10) & 0xFFFFFF, kBackground);
    // The near square covers more than its 20 pixels.
    int blue = 0;
    for (int x = 0; x < W; ++x) blue += At(px, x, 60) == 0xFF0000FFu;
    EXPECT_GT(blue, 24);
    Compare("room_perspective", px);
}

} // namespace
