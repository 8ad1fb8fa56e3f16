// The graphics recorder: array growth and shrinking, every primitive kind normalised into the
// three lists with strips and fans keeping their winding, recolouring only the vertices that
// took the drawing colour, the vertex limit; and the replay on the recording fake (static
// buffers made once, three draws, the world matrix and repeat flag around them).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics_API/Graphics_3D.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "ThreeDTestSupport.h"

namespace {

// n vertices whose x is first + i, colour c.
std::vector<Vertex3D> Verts(int n, float first = 0, uint32_t c = 0xFF000000u)
{
    std::vector<Vertex3D> v((size_t)n);
    for (int i = 0; i < n; ++i) v[(size_t)i] = Vertex3D{first + (float)i, 0, 0, 0, 0, 1, c, 0, 0};
    return v;
}

std::vector<float> Xs(const RecorderGroup& g)
{
    std::vector<float> out;
    for (int32_t i = 0; i < g.count; ++i) out.push_back(g.vertices[i].x);
    return out;
}

TEST(Recorder, ReserveGrowsByDoublingAndShrinksToFit)
{
    GraphicsRecorder r;
    RecorderGroup& g = r.triangles;
    ASSERT_NE(r.Reserve(g, 5), nullptr);
    EXPECT_EQ(g.capacity, 5);
    EXPECT_EQ(g.count, 5);
    Vertex3D* at = r.Reserve(g, 3);
    EXPECT_EQ(g.capacity, 10);
    EXPECT_EQ(g.count, 8);
    EXPECT_EQ(at, g.vertices + 5);
    r.Reserve(g, 0);
    EXPECT_EQ(g.capacity, 10);
    r.Reserve(g, 23);
    EXPECT_EQ(g.capacity, 40);
    r.Reserve(g, -1);
    EXPECT_EQ(g.capacity, 31);
    EXPECT_EQ(g.count, 31);
}

TEST(Recorder, EveryKindGoesIntoTheThreeLists)
{
    GraphicsRecorder r;
    auto v = Verts(5);
    r.Add(4, 3, v.data(), nullptr);                 // triangle list
    r.Add(4, 4, v.data() + 1, nullptr);             // a leftover vertex is left out
    r.Add(5, 4, v.data(), nullptr);                 // strip: (0, 1, 2), (1, 3, 2)
    r.Add(6, 5, v.data(), nullptr);                 // fan: (1, 2, 0), (2, 3, 0), (3, 4, 0)
    r.Add(2, 3, v.data(), nullptr);                 // line list (the odd vertex left out)
    r.Add(3, 3, v.data(), nullptr);                 // line strip: (0, 1), (1, 2)
    r.Add(1, 2, v.data(), nullptr);                 // points
    r.Add(9, 1, v.data() + 4, nullptr);             // any other kind: points
    using F = std::vector<float>;
    EXPECT_EQ(Xs(r.triangles), (F{0, 1, 2, 1, 2, 3, 0, 1, 2, 1, 3, 2, 1, 2, 0, 2, 3, 0, 3, 4, 0}));
    EXPECT_EQ(Xs(r.lines), (F{0, 1, 0, 1, 1, 2}));
    EXPECT_EQ(Xs(r.points), (F{0, 1, 4}));
}

TEST(Recorder, StripTrianglesKeepWindingAndFirstVertex)
{
    // Every triangle of a strip is the strip's own triangle with the same orientation (even
    // triangles as given, odd ones turned), and starts with vertex i.
    for (int32_t i = 0; i < 6; ++i) {
        int32_t t[3];
        GR_TriangleOfStrip(5, i, t);
        EXPECT_EQ(t[0], i);
        int32_t a[3] = {i, i + 1, i + 2};
        // Orientation: the number of steps from a cyclic rotation of (i, i+1, i+2).
        bool same = (t[0] == a[0] && t[1] == a[1]) || (t[0] == a[1] && t[1] == a[2]) || (t[0] == a[2] && t[1] == a[0]);
        EXPECT_EQ(same, (i & 1) == 0) << i;
        GR_TriangleOfStrip(6, i, t);
        EXPECT_EQ(t[0], i + 1) << "fans start with the triangle's first rim vertex";
        EXPECT_EQ(t[1], i + 2);
        EXPECT_EQ(t[2], 0);
    }
}

TEST(Recorder, TooShortStripsAndFansAddNothing)
{
    GraphicsRecorder r;
    auto v = Verts(2);
    r.Add(3, 1, v.data(), nullptr);
    r.Add(5, 2, v.data(), nullptr);
    r.Add(6, 2, v.data(), nullptr);
    r.Add(4, 0, v.data(), nullptr);
    r.Add(4, -5, v.data(), nullptr);
    EXPECT_EQ(r.triangles.count, 0);
    EXPECT_EQ(r.lines.count, 0);
    EXPECT_EQ(r.points.count, 0);
}

TEST(Recorder, SetColourRecoloursOnlyDrawingColourVertices)
{
    GraphicsRecorder r;
    r.colour = 0xFF000000u; // made with black
    // Vertex 1 was given black of its own: it must stay black.
    auto v = Verts(4, 0, 0xFF000000u);
    uint8_t draw[4] = {1, 0, 1, 1};
    r.Add(6, 4, v.data(), draw); // fan: (0, 1, 2), (0, 2, 3)
    r.Add(3, 2, v.data(), draw); // line (0, 1)
    EXPECT_TRUE(r.UsesDrawColour());
    r.SetColour(0xFFFF0000u);
    std::vector<uint32_t> tri, line;
    for (int i = 0; i < r.triangles.count; ++i) tri.push_back(r.triangles.vertices[i].colour);
    for (int i = 0; i < r.lines.count; ++i) line.push_back(r.lines.vertices[i].colour);
    // Triangles (1, 2, 0), (2, 3, 0); line (0, 1).
    EXPECT_EQ(tri, (std::vector<uint32_t>{0xFF000000u, 0xFFFF0000u, 0xFFFF0000u, 0xFFFF0000u, 0xFFFF0000u,
                                          0xFFFF0000u}));
    EXPECT_EQ(line, (std::vector<uint32_t>{0xFFFF0000u, 0xFF000000u}));
    // A second colour reaches exactly the vertices that had turned red.
    r.SetColour(0x800000FFu);
    EXPECT_EQ(r.triangles.vertices[0].colour, 0xFF000000u);
    EXPECT_EQ(r.triangles.vertices[1].colour, 0x800000FFu);
    EXPECT_EQ(r.colour, 0x800000FFu);
    // An independent recording is left alone.
    GraphicsRecorder fixed;
    uint8_t none[4] = {};
    fixed.Add(4, 3, v.data(), none);
    EXPECT_FALSE(fixed.UsesDrawColour());
    fixed.independent = true;
    fixed.SetColour(0xFFFFFFFFu);
    EXPECT_EQ(fixed.triangles.vertices[0].colour, 0xFF000000u);
}

TEST(Recorder, PrimitivesBeyondTheVertexLimitAreLeftOut)
{
    GraphicsRecorder_SetVertexLimit(10);
    GraphicsRecorder r;
    auto v = Verts(12);
    r.Add(4, 9, v.data(), nullptr);
    EXPECT_FALSE(r.overflowed);
    r.Add(5, 4, v.data(), nullptr); // six more triangle vertices: 15 > 10
    EXPECT_TRUE(r.overflowed);
    EXPECT_EQ(r.triangles.count, 9);
    EXPECT_LE(r.triangles.capacity, 10);
    r.Add(2, 10, v.data(), nullptr); // another list still has room
    EXPECT_EQ(r.lines.count, 10);
    GraphicsRecorder_SetVertexLimit(0);
    EXPECT_EQ(GraphicsRecorder_GetVertexLimit(), (int32_t)GR_RECORDER_MAX_VERTICES);
}

class Replay : public ThreeDFixture {
protected:
    void Fill(GraphicsRecorder& r)
    {
        auto v = Verts(6, 10);
        r.Add(4, 6, v.data(), nullptr);
        r.Add(2, 2, v.data(), nullptr);
        r.Add(1, 3, v.data(), nullptr);
    }
};

TEST_F(Replay, ThreeDrawsFromStaticBuffersMadeOnce)
{
    std::vector<uint32_t> px(64 * 64, 0xFFFFFFFFu);
    int32_t id = GR_Texture_CreateFromPixels(64, 64, px.data(), (uint32_t)px.size() * 4);
    GraphicsRecorder r;
    Fill(r);
    r.texture = GR_Texture_GetPage(id);
    GR_3D_TransformSetScaling(2, 2, 2);
    GR_Texture_SetRepeat(false);
    float world[16];
    GR_D3D_GetMatrix(2, world);
    GR_D3D_Flush();
    dev()->ClearLog();

    GR_D3D_DrawRecorded(&r, 5, 6, 7);
    EXPECT_EQ(LogAt("CreateVertexBuffer").size(), 3u);
    for (size_t i : LogAt("CreateVertexBuffer")) EXPECT_NE(dev()->log[i].find("usage 8 pool 1"), std::string::npos);
    auto d = dev()->draws;
    ASSERT_EQ(d.size(), 3u);
    EXPECT_EQ(d[0].type, 4u);
    EXPECT_EQ(d[0].primitives, 2u);
    EXPECT_EQ(d[1].type, 2u);
    EXPECT_EQ(d[1].primitives, 1u);
    EXPECT_EQ(d[2].type, 1u);
    EXPECT_EQ(d[2].primitives, 3u);
    for (auto& x : d) {
        EXPECT_EQ(x.fvf, 0x152u);
        EXPECT_EQ(x.texture, GR_Texture_GetPage(id)->texture);
    }
    EXPECT_EQ(std::memcmp(d[0].vertices.data(), r.triangles.vertices, 6 * 36), 0);
    EXPECT_EQ(r.triangles.capacity, r.triangles.count) << "shrunk to fit before the buffer was made";
    // The world matrix is moved for the draws and given back afterwards; repeat likewise.
    auto worlds = LogAt("SetTransform 256");
    auto draws = LogAt("Draw ");
    ASSERT_EQ(worlds.size(), 2u);
    EXPECT_LT(worlds[0], draws.front());
    EXPECT_GT(worlds[1], draws.back());
    float after[16];
    GR_D3D_GetMatrix(2, after);
    EXPECT_EQ(std::memcmp(after, world, sizeof world), 0);
    EXPECT_EQ(std::memcmp(dev()->transform[2], world, sizeof world), 0);
    for (const FakeDraw& x : d) EXPECT_EQ(x.addressU, (uint32_t)GFX_TADDRESS_WRAP);
    EXPECT_FALSE(GR_Texture_GetRepeat());

    // Again: no new buffers.
    dev()->ClearLog();
    GR_D3D_DrawRecorded(&r, 0, 0, 0);
    EXPECT_TRUE(LogAt("CreateVertexBuffer").empty());
    EXPECT_EQ(dev()->draws.size(), 3u);
    // A new colour or a release makes them again.
    r.colour = 1;
    uint8_t flag = 1;
    Vertex3D extra = Verts(1)[0];
    r.Add(1, 1, &extra, &flag); // a fourth point that takes the drawing colour
    r.SetColour(0xFF00FF00u);
    dev()->ClearLog();
    GR_D3D_DrawRecorded(&r, 0, 0, 0);
    EXPECT_EQ(LogAt("CreateVertexBuffer").size(), 3u);
    ASSERT_EQ(dev()->draws.size(), 3u);
    EXPECT_EQ(dev()->draws[2].primitives, 4u);
    EXPECT_EQ(Vtx(dev()->draws[2], 3).colour, 0xFF00FF00u);
    GR_D3D_ReleaseRecorded(&r);
    dev()->ClearLog();
    GR_D3D_DrawRecorded(&r, 0, 0, 0);
    EXPECT_EQ(LogAt("CreateVertexBuffer").size(), 3u);
    GR_3D_TransformSetIdentity();
}

TEST_F(Replay, WorldTransformAppliesBeforeTheOffset)
{
    // World = rotation by 90 degrees about z; the offset is added afterwards, unrotated: the
    // point (1, 0, 0) lands at (0, 1, 0) + (100, 0, 0).
    GR_3D_TransformSetRotationZ(90);
    GraphicsRecorder r;
    Fill(r);
    dev()->ClearLog();
    GR_D3D_DrawRecorded(&r, 100, 0, 0);
    ASSERT_FALSE(dev()->draws.empty());
    const float* m = dev()->draws[0].world;
    float p[3] = {1, 0, 0}, out[3];
    for (int c = 0; c < 3; ++c) out[c] = p[0] * m[c] + p[1] * m[4 + c] + p[2] * m[8 + c] + m[12 + c];
    EXPECT_NEAR(out[0], 100.0f, 1e-4);
    EXPECT_NEAR(std::fabs(out[1]), 1.0f, 1e-4);
    EXPECT_NEAR(out[2], 0.0f, 1e-4);
    GR_3D_TransformSetIdentity();
}

TEST_F(Replay, NothingWithoutADeviceOrWithEmptyLists)
{
    GraphicsRecorder empty;
    dev()->ClearLog();
    GR_D3D_DrawRecorded(&empty, 0, 0, 0);
    EXPECT_TRUE(dev()->draws.empty());
    EXPECT_TRUE(LogAt("CreateVertexBuffer").empty());
    GR_D3D_DrawRecorded(nullptr, 0, 0, 0);
    EXPECT_EQ(GR_D3D_CreateStaticVertexBuffer(nullptr, 3), nullptr);
    // A failed buffer leaves that list out and the others drawn.
    GraphicsRecorder r;
    Fill(r);
    dev()->failVertexBuffers = 1;
    GR_D3D_DrawRecorded(&r, 0, 0, 0);
    EXPECT_EQ(dev()->draws.size(), 2u);
}

} // namespace
