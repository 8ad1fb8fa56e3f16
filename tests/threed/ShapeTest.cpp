// The 3D shapes on the recording fake: the primitives (vertices, normals, texture
// coordinates, colours) of blocks, cylinders, cones, ellipsoids, walls and floors, step
// clamping, closed ends, texture repeat on for each shape and restored after it, and the shape
// built-ins.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "Files/Graphics/Graphics_3D_Primitive.h"
#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "ThreeDTestSupport.h"

namespace {

const uint32_t kGreen = 0xFF00FF00u;

class Shapes : public ThreeDFixture {
protected:
    void SetUp() override
    {
        ThreeDFixture::SetUp();
        GR_Draw_SetColour(0x00FF00);
        GR_Draw_SetAlpha(1.0f);
        GR_Texture_SetRepeat(false);
        GR_D3D_Flush();
        dev()->ClearLog();
        log.Attach();
    }

    // The primitives the shapes submitted since the last call (as built, before the batch).
    std::vector<Submission> Parts() { return log.Take(); }
    // Their kinds and vertex counts.
    std::vector<std::pair<int32_t, int32_t>> Shape() { return log.Shape(); }
    SubmissionLog log;

    // Texture repeat was on for every draw and is off again afterwards (the shape's batch is
    // drawn under repeat, then the restored flag reaches the device), each set once.
    void ExpectRepeatFrame()
    {
        GR_D3D_Flush();
        ASSERT_FALSE(dev()->draws.empty());
        for (const FakeDraw& d : dev()->draws) EXPECT_EQ(d.addressU, (uint32_t)GFX_TADDRESS_WRAP);
        EXPECT_EQ(dev()->sampler[GFX_SAMP_ADDRESSU], (uint32_t)GFX_TADDRESS_CLAMP);
        EXPECT_EQ(dev()->Calls("SetSamplerState"), 4u) << "U and V on, then off";
        EXPECT_FALSE(GR_Texture_GetRepeat());
    }
};

float Len(float x, float y, float z) { return std::sqrt(x * x + y * y + z * z); }

TEST_F(Shapes, BlockHasSixOutwardFacesOfTwoTriangles)
{
    GR_3D_DrawBlock(0, 0, 0, 10, 20, 30, -1, 2, 3);
    auto d = Parts();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].kind, 4);
    auto v = d[0].v;
    ASSERT_EQ(v.size(), 36u);
    for (int f = 0; f < 6; ++f) {
        const Vertex3D* q = &v[f * 6];
        // A, B, C, C, D, A with (0, 0), (0, v), (h, v), (h, v), (h, 0), (0, 0).
        EXPECT_EQ(std::memcmp(&q[2], &q[3], sizeof(Vertex3D)), 0);
        EXPECT_EQ(std::memcmp(&q[0], &q[5], sizeof(Vertex3D)), 0);
        const float uv[6][2] = {{0, 0}, {0, 3}, {2, 3}, {2, 3}, {2, 0}, {0, 0}};
        float cx = 0, cy = 0, cz = 0;
        for (int k = 0; k < 6; ++k) {
            EXPECT_FLOAT_EQ(q[k].u, uv[k][0]);
            EXPECT_FLOAT_EQ(q[k].v, uv[k][1]);
            EXPECT_EQ(q[k].colour, kGreen);
            EXPECT_FLOAT_EQ(q[k].nx, q[0].nx);
            EXPECT_FLOAT_EQ(Len(q[k].nx, q[k].ny, q[k].nz), 1.0f);
            cx += q[k].x / 6;
            cy += q[k].y / 6;
            cz += q[k].z / 6;
        }
        // The normal points from the block's centre through the face.
        float out = (cx - 5) * q[0].nx + (cy - 10) * q[0].ny + (cz - 15) * q[0].nz;
        EXPECT_GT(out, 0) << "face " << f;
        // Every corner lies on the face's plane.
        for (int k = 0; k < 6; ++k) {
            float dist = (q[k].x - cx) * q[0].nx + (q[k].y - cy) * q[0].ny + (q[k].z - cz) * q[0].nz;
            EXPECT_NEAR(dist, 0, 1e-4) << "face " << f;
        }
    }
    // Face 1 lies at z1 from (x1, y1) to (x2, y2): A = (0, 0, 0), B = (0, 20, 0), D = (10, 0, 0).
    EXPECT_FLOAT_EQ(v[1].y, 20.0f);
    EXPECT_FLOAT_EQ(v[4].x, 10.0f);
    EXPECT_FLOAT_EQ(v[0].nz, -1.0f);
    ExpectRepeatFrame();
}

TEST_F(Shapes, CylinderStepsAreClampedAndItsEndsAreFans)
{
    GR_3D_DrawCylinder(-10, -20, 0, 10, 20, 50, -1, 1, 1, true, 2);
    using P = std::vector<std::pair<int32_t, int32_t>>;
    EXPECT_EQ(Shape(), (P{{6, 5}, {5, 8}, {6, 5}})) << "steps 2 draws as 3";
    GR_3D_DrawCylinder(-10, -20, 0, 10, 20, 50, -1, 1, 1, false, 500);
    EXPECT_EQ(Shape(), (P{{5, 258}})) << "steps 500 draws as 128, no ends when open";

    GR_3D_DrawCylinder(-10, -20, 0, 10, 20, 50, -1, 4, 2, true, 8);
    auto d = Parts();
    ASSERT_EQ(d.size(), 3u);
    auto top = d[0].v, side = d[1].v, bottom = d[2].v;
    ASSERT_EQ(top.size(), 10u);
    ASSERT_EQ(side.size(), 18u);
    EXPECT_FLOAT_EQ(top[0].x, 0);
    EXPECT_FLOAT_EQ(top[0].y, 0);
    for (int i = 0; i <= 8; ++i) {
        double a = 2 * 3.1415927410125732 * i / 8;
        float rx = (float)(10 * std::cos((float)a)), ry = (float)(20 * std::sin((float)a));
        // Top fan: centre then rim 0..8 at z2 facing up, uv (0, v).
        EXPECT_NEAR(top[i + 1].x, rx, 1e-4);
        EXPECT_NEAR(top[i + 1].y, ry, 1e-4);
        EXPECT_FLOAT_EQ(top[i + 1].z, 50);
        EXPECT_FLOAT_EQ(top[i + 1].nz, 1);
        EXPECT_FLOAT_EQ(top[i + 1].v, 2);
        // Side: (rim i, z2) then (rim i, z1), normals outward and flat.
        const Vertex3D& hi = side[2 * i];
        const Vertex3D& lo = side[2 * i + 1];
        EXPECT_FLOAT_EQ(hi.z, 50);
        EXPECT_FLOAT_EQ(lo.z, 0);
        EXPECT_FLOAT_EQ(hi.x, lo.x);
        EXPECT_NEAR(hi.u, 4.0 * i / 8, 1e-6);
        EXPECT_FLOAT_EQ(hi.v, 2);
        EXPECT_FLOAT_EQ(lo.v, 0);
        EXPECT_NEAR(Len(hi.nx, hi.ny, hi.nz), 1.0f, 1e-6);
        EXPECT_FLOAT_EQ(hi.nz, 0);
        EXPECT_GE(hi.nx * hi.x + hi.ny * hi.y, 0) << "outward";
        // Bottom fan: centre then the rim from the last point back, facing down.
        EXPECT_NEAR(bottom[i + 1].x, (float)(10 * std::cos((float)(2 * 3.1415927410125732 * (8 - i) / 8))), 1e-4);
        EXPECT_FLOAT_EQ(bottom[i + 1].nz, -1);
        EXPECT_FLOAT_EQ(bottom[i + 1].z, 0);
    }
    // The last rim point closes the ring.
    EXPECT_NEAR(side[16].x, side[0].x, 1e-4);
    EXPECT_NEAR(side[16].y, side[0].y, 1e-4);
    for (auto& x : d)
        for (auto& vx : x.v) EXPECT_EQ(vx.colour, kGreen);
}

TEST_F(Shapes, ConeSideMeetsAtTheApex)
{
    GR_3D_DrawCone(0, 0, 10, 40, 40, 90, -1, 1, 1, true, 6);
    auto d = Parts();
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0].kind, 5);
    EXPECT_EQ(d[1].kind, 6);
    EXPECT_EQ(d[1].v.size(), 8u);
    using P = std::vector<std::pair<int32_t, int32_t>>;
    auto side = d[0].v;
    ASSERT_EQ(side.size(), 14u);
    for (int i = 0; i <= 6; ++i) {
        const Vertex3D& apex = side[2 * i];
        const Vertex3D& rim = side[2 * i + 1];
        EXPECT_FLOAT_EQ(apex.x, 20);
        EXPECT_FLOAT_EQ(apex.y, 20);
        EXPECT_FLOAT_EQ(apex.z, 90);
        EXPECT_FLOAT_EQ(apex.nz, 1);
        EXPECT_FLOAT_EQ(rim.z, 10);
        EXPECT_NEAR(std::hypot(rim.x - 20, rim.y - 20), 20, 1e-3);
        EXPECT_FLOAT_EQ(apex.u, rim.u);
    }
    GR_3D_DrawCone(0, 0, 10, 40, 40, 90, -1, 1, 1, false, 6);
    EXPECT_EQ(Shape(), (P{{5, 14}}));
}

TEST_F(Shapes, EllipsoidIsRingsOfStripsOnItsSurface)
{
    GR_3D_DrawEllipsoid(-10, -20, -30, 10, 20, 30, -1, 1, 2, 24);
    auto d = Parts();
    ASSERT_EQ(d.size(), 12u);
    for (size_t j = 0; j < d.size(); ++j) {
        EXPECT_EQ(d[j].kind, 5);
        ASSERT_EQ(d[j].v.size(), 50u);
        for (auto& v : d[j].v) {
            double s = v.x * v.x / 100.0 + v.y * v.y / 400.0 + v.z * v.z / 900.0;
            EXPECT_NEAR(s, 1.0, 1e-4);
            EXPECT_NEAR(Len(v.nx, v.ny, v.nz), 1.0f, 1e-5);
            EXPECT_GE(v.v, 2.0f * j / 12 - 1e-6);
            EXPECT_LE(v.v, 2.0f * (j + 1) / 12 + 1e-6);
        }
    }
    // The first ring starts at the top (z2), the last ends at the bottom (z1).
    EXPECT_FLOAT_EQ(d[0].v[0].z, 30);
    EXPECT_NEAR(d[11].v[49].z, -30, 1e-4);
    GR_3D_DrawEllipsoid(0, 0, 0, 1, 1, 1, -1, 1, 1, 1);
    EXPECT_EQ(Parts().size(), 2u) << "steps 1 draws as 3: two rings";
}

TEST_F(Shapes, WallNormalIsPerpendicularAndAZeroWallDrawsNothing)
{
    GR_3D_DrawWall(5, 5, 0, 5, 5, 100, -1, 1, 1);
    EXPECT_TRUE(Parts().empty());
    EXPECT_TRUE(Drawn().empty());
    EXPECT_EQ(dev()->Calls("SetSamplerState"), 0u) << "the repeat flag was not touched";
    EXPECT_FALSE(GR_Texture_GetRepeat());

    GR_3D_DrawWall(0, 0, 0, 30, 40, 10, -1, 3, 1);
    GR_D3D_Flush();
    auto d = Parts();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].kind, 6);
    auto v = d[0].v;
    ASSERT_EQ(v.size(), 4u);
    for (auto& x : v) {
        EXPECT_FLOAT_EQ(x.nx, 0.8f);
        EXPECT_FLOAT_EQ(x.ny, -0.6f);
        EXPECT_FLOAT_EQ(x.nz, 0.0f);
        EXPECT_NEAR(x.nx * 30 + x.ny * 40, 0, 1e-5);
    }
    const float expect[4][5] = {{0, 0, 0, 0, 0}, {30, 40, 0, 3, 0}, {30, 40, 10, 3, 1}, {0, 0, 10, 0, 1}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(v[i].x, expect[i][0]);
        EXPECT_FLOAT_EQ(v[i].y, expect[i][1]);
        EXPECT_FLOAT_EQ(v[i].z, expect[i][2]);
        EXPECT_FLOAT_EQ(v[i].u, expect[i][3]);
        EXPECT_FLOAT_EQ(v[i].v, expect[i][4]);
    }
    ExpectRepeatFrame();
}

TEST_F(Shapes, FloorSlopesAlongX)
{
    GR_3D_DrawFloor(0, 0, 5, 10, 20, 15, -1, 2, 4);
    auto d = Parts();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].kind, 6);
    auto v = d[0].v;
    ASSERT_EQ(v.size(), 4u);
    const float expect[4][5] = {{0, 0, 5, 0, 0}, {0, 20, 5, 0, 4}, {10, 20, 15, 2, 4}, {10, 0, 15, 2, 0}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(v[i].x, expect[i][0]);
        EXPECT_FLOAT_EQ(v[i].y, expect[i][1]);
        EXPECT_FLOAT_EQ(v[i].z, expect[i][2]);
        EXPECT_FLOAT_EQ(v[i].u, expect[i][3]);
        EXPECT_FLOAT_EQ(v[i].v, expect[i][4]);
        EXPECT_FLOAT_EQ(v[i].nz, 1.0f);
    }
}

TEST_F(Shapes, RepeatAlreadyOnStaysOn)
{
    GR_Texture_SetRepeat(true);
    GR_3D_DrawBlock(0, 0, 0, 1, 1, 1, -1, 1, 1);
    Drawn();
    EXPECT_TRUE(GR_Texture_GetRepeat());
}

TEST_F(Shapes, RepeatSeparatesShapesFromWhatCameBeforeOnly)
{
    // A primitive gathered with repeat off is drawn before the block, which needs it on; the
    // device sees the change between the two draws.
    GR_3D_PrimitiveBegin(4, -1);
    for (int i = 0; i < 3; ++i) GR_3D_Vertex((float)i, 0, 0);
    GR_3D_PrimitiveEnd();
    GR_3D_DrawBlock(0, 0, 0, 1, 1, 1, -1, 1, 1);
    auto d = Drawn();
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0].vertexCount(), 3u);
    EXPECT_EQ(d[1].vertexCount(), 36u);
    EXPECT_EQ(d[0].addressU, (uint32_t)GFX_TADDRESS_CLAMP) << "the primitive before the shape";
    EXPECT_EQ(d[1].addressU, (uint32_t)GFX_TADDRESS_WRAP) << "the shape under repeat";
    // With repeat already on nothing changes: one draw.
    GR_Texture_SetRepeat(true);
    GR_3D_PrimitiveBegin(4, -1);
    for (int i = 0; i < 3; ++i) GR_3D_Vertex((float)i, 0, 0);
    GR_3D_PrimitiveEnd();
    GR_3D_DrawBlock(0, 0, 0, 1, 1, 1, -1, 1, 1);
    d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].vertexCount(), 39u);
}

TEST_F(Shapes, ShapeBuiltinsAndPageEntries)
{
    std::vector<uint32_t> px(64 * 64, 0xFFFFFFFFu);
    int32_t id = GR_Texture_CreateFromPixels(64, 64, px.data(), (uint32_t)px.size() * 4);
    TexturePageEntry e{0, 32, 32, 32, 0, 0, 32, 32, 32, 32, (int16_t)id};
    int64_t handle = GR_TPE_Register(&e);
    Call("d3d_draw_floor", {0, 0, 0, 10, 10, 0, (double)handle, 1, 1});
    auto d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].texture, GR_Texture_GetPage(id)->texture);
    auto parts = Parts();
    ASSERT_EQ(parts.size(), 1u);
    // (h, v) = (1, 1) maps to the entry's far corner on the page.
    EXPECT_FLOAT_EQ(parts[0].v[2].u, 0.5f);
    EXPECT_FLOAT_EQ(parts[0].v[2].v, 1.0f);
    EXPECT_FLOAT_EQ(parts[0].v[0].v, 0.5f);
    GR_TPE_Unregister(&e);

    using P = std::vector<std::pair<int32_t, int32_t>>;
    Call("d3d_draw_cylinder", {0, 0, 0, 1, 1, 1, -1, 1, 1, 0.5, 3.6}); // closed from 0.5; 4 steps
    EXPECT_EQ(Shape(), (P{{6, 6}, {5, 10}, {6, 6}}));
    Call("d3d_draw_cone", {0, 0, 0, 1, 1, 1, -1, 1, 1, 0.4, 4}); // open
    EXPECT_EQ(Shape(), (P{{5, 10}}));
    Call("d3d_draw_ellipsoid", {0, 0, 0, 1, 1, 1, -1, 1, 1, 8});
    EXPECT_EQ(Parts().size(), 4u);
    Call("d3d_draw_block", {0, 0, 0, 1, 1, 1, (double)id, 1, 1});
    d = Drawn();
    ASSERT_FALSE(d.empty());
    EXPECT_EQ(d.back().texture, GR_Texture_GetPage(id)->texture);
    EXPECT_EQ(d.back().vertexCount(), 36u);
    Parts();
    Call("d3d_draw_wall", {0, 0, 0, 1, 0, 1, -1, 1, 1});
    EXPECT_EQ(Shape(), (P{{6, 4}}));
}

} // namespace
