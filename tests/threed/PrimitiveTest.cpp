// 3D primitives built vertex by vertex on the recording fake: the fields each vertex kind
// writes, texture coordinates mapped into page entries, long primitives split at their limits
// with the continuations strips and fans need, strips and fans reaching the batch as lists of
// the same triangles, kinds that submit nothing, submissions going to an active recording,
// and the built-ins' argument conversions.
#include <gtest/gtest.h>

#include <cstring>

#include "Files/Graphics/Graphics_3D_Primitive.h"
#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "ThreeDTestSupport.h"

namespace {

class Primitive3D : public ThreeDFixture {
protected:
    void SetUp() override
    {
        ThreeDFixture::SetUp();
        GR_Draw_SetColour(0x0000FF); // red
        GR_Draw_SetAlpha(1.0f);
    }

    // A 64 x 64 texture of one colour.
    int32_t MakeTexture()
    {
        std::vector<uint32_t> px(64 * 64, 0xFF808080u);
        return GR_Texture_CreateFromPixels(64, 64, px.data(), (uint32_t)px.size() * 4);
    }
};

const uint32_t kRed = 0xFFFF0000u;

void ExpectVertex(const Vertex3D& v, float x, float y, float z, float nx, float ny, float nz, uint32_t c, float u,
                  float t)
{
    EXPECT_FLOAT_EQ(v.x, x);
    EXPECT_FLOAT_EQ(v.y, y);
    EXPECT_FLOAT_EQ(v.z, z);
    EXPECT_FLOAT_EQ(v.nx, nx);
    EXPECT_FLOAT_EQ(v.ny, ny);
    EXPECT_FLOAT_EQ(v.nz, nz);
    EXPECT_EQ(v.colour, c);
    EXPECT_FLOAT_EQ(v.u, u);
    EXPECT_FLOAT_EQ(v.v, t);
}

TEST_F(Primitive3D, EveryVertexKindWritesItsFields)
{
    GR_3D_PrimitiveBegin(1, -1);
    GR_3D_Vertex(1, 2, 3);
    GR_3D_VertexColour(4, 5, 6, 0x00FF00, 0.5f);
    GR_3D_VertexTexture(7, 8, 9, 0.25f, 0.75f);
    GR_3D_VertexTextureColour(1, 1, 1, 0.5f, 0.5f, 0xFF0000, 1.0f);
    GR_3D_VertexNormal(2, 2, 2, 0, 0, 1);
    GR_3D_VertexNormalColour(3, 3, 3, 1, 0, 0, 0x123456, 0.0f);
    GR_3D_VertexNormalTexture(4, 4, 4, 0, 1, 0, 2, 3);
    GR_3D_VertexNormalTextureColour(5, 5, 5, 0, -1, 0, 4, 5, 0xFFFFFF, 2.0f);
    GR_3D_PrimitiveEnd();
    auto d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].type, 1u);
    EXPECT_EQ(d[0].fvf, 0x152u);
    EXPECT_EQ(d[0].texture, nullptr);
    ASSERT_EQ(d[0].vertexCount(), 8u);
    auto v = Vertices(d[0]);
    ExpectVertex(v[0], 1, 2, 3, 0, 0, 0, kRed, 0, 0);
    ExpectVertex(v[1], 4, 5, 6, 0, 0, 0, 0x7F00FF00u, 0, 0); // alpha 0.5 -> 127 (truncated)
    ExpectVertex(v[2], 7, 8, 9, 0, 0, 0, kRed, 0.25f, 0.75f);
    ExpectVertex(v[3], 1, 1, 1, 0, 0, 0, 0xFF0000FFu, 0.5f, 0.5f); // script blue
    ExpectVertex(v[4], 2, 2, 2, 0, 0, 1, kRed, 0, 0);
    ExpectVertex(v[5], 3, 3, 3, 1, 0, 0, 0x00563412u, 0, 0);
    ExpectVertex(v[6], 4, 4, 4, 0, 1, 0, kRed, 2, 3);
    ExpectVertex(v[7], 5, 5, 5, 0, -1, 0, 0xFFFFFFFFu, 4, 5); // alpha clamped to 1
}

TEST_F(Primitive3D, DrawingColourAndAlphaAreTakenPerVertex)
{
    GR_3D_PrimitiveBegin(2, -1);
    GR_3D_Vertex(0, 0, 0);
    GR_Draw_SetColour(0x00FF00);
    GR_Draw_SetAlpha(0.25f);
    GR_3D_Vertex(1, 1, 1);
    GR_3D_PrimitiveEnd();
    auto d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(Vtx(d[0], 0).colour, kRed);
    EXPECT_EQ(Vtx(d[0], 1).colour, 0x3F00FF00u);
}

TEST_F(Primitive3D, TextureIdsBindAndPageEntriesMapCoordinates)
{
    int32_t id = MakeTexture();
    ASSERT_GE(id, 0);
    GR_3D_PrimitiveBegin(4, id);
    GR_3D_VertexTexture(0, 0, 0, 0.5f, 2.0f); // a texture id: coordinates as given
    GR_3D_Vertex(0, 0, 0);
    GR_3D_Vertex(0, 0, 0);
    GR_3D_PrimitiveEnd();
    auto d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].texture, GR_Texture_GetPage(id)->texture);
    EXPECT_FLOAT_EQ(Vtx(d[0], 0).u, 0.5f);
    EXPECT_FLOAT_EQ(Vtx(d[0], 0).v, 2.0f);

    // An entry at (16, 8), 32 x 16 on the 64 x 64 page: (u, v) -> ((16 + 32u) / 64, (8 + 16v) / 64).
    TexturePageEntry e{16, 8, 32, 16, 0, 0, 32, 16, 32, 16, (int16_t)id};
    int64_t handle = GR_TPE_Register(&e);
    GR_3D_PrimitiveBegin(4, handle);
    EXPECT_TRUE(GR_3D_GetPrimitiveInfo().pageEntry);
    EXPECT_EQ(GR_3D_GetPrimitiveInfo().texture, id);
    GR_3D_VertexTexture(0, 0, 0, 0.5f, 1.0f);
    GR_3D_VertexNormalTexture(0, 0, 0, 0, 0, 1, 1.0f, 0.0f);
    // The entry goes before the primitive ends: its numbers were kept.
    GR_TPE_Unregister(&e);
    GR_3D_VertexNormalTextureColour(0, 0, 0, 0, 0, 1, 0.0f, 0.5f, 0xFFFFFF, 1);
    GR_3D_Vertex(0, 0, 0); // no coordinates given: 0, not mapped
    GR_3D_PrimitiveEnd();
    d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    auto v = Vertices(d[0]);
    ASSERT_EQ(v.size(), 3u) << "the fourth vertex is not a whole triangle";
    EXPECT_EQ(d[0].texture, GR_Texture_GetPage(id)->texture);
    EXPECT_FLOAT_EQ(v[0].u, 0.5f);
    EXPECT_FLOAT_EQ(v[0].v, 0.375f);
    EXPECT_FLOAT_EQ(v[1].u, 0.75f);
    EXPECT_FLOAT_EQ(v[1].v, 0.125f);
    EXPECT_FLOAT_EQ(v[2].u, 0.25f);
    EXPECT_FLOAT_EQ(v[2].v, 0.25f);

    // A handle that names nothing (the entry above is gone) is no texture.
    GR_3D_PrimitiveBegin(1, handle);
    EXPECT_EQ(GR_3D_GetPrimitiveInfo().texture, -1);
    GR_3D_VertexTexture(1, 1, 1, 0.5f, 0.5f);
    GR_3D_PrimitiveEnd();
    d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].texture, nullptr);
    EXPECT_FLOAT_EQ(Vtx(d[0], 0).u, 0.5f);
}

TEST_F(Primitive3D, TriangleListsAreSplitIntoWholeTriangles)
{
    GR_3D_PrimitiveBegin(4, -1);
    for (int i = 0; i < 1500; ++i) GR_3D_Vertex((float)i, 0, 0);
    // The first 999 went at the 1000th vertex; 501 wait.
    EXPECT_EQ(GR_3D_GetPrimitiveInfo().count, 501);
    GR_3D_PrimitiveEnd();
    auto d = Drawn();
    uint32_t total = 0;
    for (auto& x : d) {
        EXPECT_EQ(x.type, 4u);
        for (uint32_t i = 0; i < x.vertexCount(); ++i) EXPECT_FLOAT_EQ(Vtx(x, i).x, (float)(total + i));
        total += x.vertexCount();
    }
    EXPECT_EQ(total, 1500u);
}

TEST_F(Primitive3D, StripsFansAndLineStripsContinueAcrossParts)
{
    struct Case {
        int32_t kind;
        std::vector<float> second; // x of the second part's vertices
    } cases[] = {
        {5, {998, 999, 1000}},  // strip: vertices 999 and 1,000 again, then 1,001
        {6, {0, 999, 1000}},    // fan: the centre and vertex 1,000, then 1,001
        {3, {999, 1000}},       // line strip: the last vertex, then the new one
        {2, {1000}},            // line list: nothing carried over
    };
    SubmissionLog log;
    for (const Case& c : cases) {
        GR_3D_PrimitiveBegin(c.kind, -1);
        for (int i = 0; i < 1001; ++i) GR_3D_Vertex((float)i, 0, 0);
        GR_3D_PrimitiveEnd();
        auto parts = log.Take();
        ASSERT_EQ(parts.size(), 2u) << c.kind;
        EXPECT_EQ(parts[0].v.size(), 1000u);
        ASSERT_EQ(parts[1].v.size(), c.second.size()) << c.kind;
        for (size_t i = 0; i < c.second.size(); ++i) EXPECT_FLOAT_EQ(parts[1].v[i].x, c.second[i]) << c.kind;
    }
    // The batch drew them all as lists: the line list's odd last vertex is left out.
    auto d = Drawn();
    ASSERT_FALSE(d.empty());
    EXPECT_EQ(d.back().type, 2u);
}

TEST_F(Primitive3D, TheBatchGetsListsOfTheSameTriangles)
{
    // Strips and fans reach the batch as triangle lists, line strips as line lists: each
    // triangle keeps its winding and starts with the vertex flat shading takes its colour from.
    auto run = [](int32_t kind, int n) {
        GR_3D_PrimitiveBegin(kind, -1);
        for (int i = 0; i < n; ++i) GR_3D_Vertex((float)i, 0, 0);
        GR_3D_PrimitiveEnd();
    };
    using F = std::vector<float>;
    auto xs = [](const FakeDraw& d) {
        F out;
        for (uint32_t i = 0; i < d.vertexCount(); ++i) out.push_back(Vtx(d, i).x);
        return out;
    };
    run(5, 5);
    auto d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].type, 4u);
    EXPECT_EQ(xs(d[0]), (F{0, 1, 2, 1, 3, 2, 2, 3, 4}));
    run(6, 4);
    d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(xs(d[0]), (F{1, 2, 0, 2, 3, 0}));
    run(3, 3);
    d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].type, 2u);
    EXPECT_EQ(xs(d[0]), (F{0, 1, 1, 2}));
    // A list with a vertex left over does not shift the next primitive of the batch.
    run(4, 4);
    run(4, 3);
    d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(xs(d[0]), (F{0, 1, 2, 0, 1, 2}));
    // Strips too short for a triangle draw nothing.
    run(5, 2);
    run(6, 1);
    EXPECT_TRUE(Drawn().empty());
}

TEST_F(Primitive3D, ConsecutiveShapesShareOneDraw)
{
    for (int i = 0; i < 10; ++i) GR_3D_DrawCylinder((float)i, 0, 0, i + 1.0f, 1, 1, -1, 1, 1, true, 8);
    auto d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].type, 4u);
    EXPECT_EQ(d[0].primitives, 10u * (8 + 16 + 8));
}

TEST_F(Primitive3D, AnOddStripKeepsItsWindingAcrossAFlush)
{
    // One strip of six, and the same strip cut after five vertices: the triangles (leaving out
    // the degenerate one the cut makes) are the same, with the same winding.
    GraphicsRecorder whole, cut;
    GR_3D_SetRecorder(&whole);
    GR_3D_PrimitiveBegin(5, -1);
    for (int i = 0; i < 6; ++i) GR_3D_Vertex((float)i, (float)(i * i), 0);
    GR_3D_PrimitiveEnd();
    GR_3D_SetRecorder(&cut);
    GR_3D_PrimitiveBegin(5, -1);
    for (int i = 0; i < 5; ++i) GR_3D_Vertex((float)i, (float)(i * i), 0);
    GR_3D_FlushVertices();
    EXPECT_EQ(GR_3D_GetPrimitiveInfo().count, 3);
    GR_3D_Vertex(5, 25, 0);
    GR_3D_PrimitiveEnd();
    GR_3D_SetRecorder(nullptr);
    std::vector<std::vector<float>> a, b;
    auto triangles = [](const RecorderGroup& g, std::vector<std::vector<float>>& out) {
        for (int32_t t = 0; t + 2 < g.count; t += 3) {
            const Vertex3D* v = g.vertices + t;
            if (v[0].x == v[1].x || v[1].x == v[2].x || v[0].x == v[2].x) continue; // degenerate
            out.push_back({v[0].x, v[1].x, v[2].x});
        }
    };
    triangles(whole.triangles, a);
    triangles(cut.triangles, b);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.size(), 4u);
    EXPECT_TRUE(Drawn().empty()) << "a recording takes the submissions";
}

TEST_F(Primitive3D, KindsOutsideOneToSixSubmitNothing)
{
    for (int32_t kind : {0, 7, -3, 100}) {
        GR_3D_PrimitiveBegin(kind, -1);
        for (int i = 0; i < 2500; ++i) GR_3D_Vertex(0, 0, 0);
        GR_3D_PrimitiveEnd();
        EXPECT_LE(GR_3D_GetPrimitiveInfo().count, GR_3D_PRIMITIVE_CAPACITY);
    }
    EXPECT_TRUE(Drawn().empty());
    // No vertex at all: nothing either.
    GR_3D_PrimitiveBegin(4, -1);
    GR_3D_PrimitiveEnd();
    EXPECT_TRUE(Drawn().empty());
}

TEST_F(Primitive3D, EndWithoutNewVerticesSubmitsTheSameOnesAgain)
{
    SubmissionLog log;
    GR_3D_PrimitiveBegin(5, -1);
    for (int i = 0; i < 4; ++i) GR_3D_Vertex((float)i, 0, 0);
    GR_3D_PrimitiveEnd();
    GR_3D_PrimitiveEnd();
    auto parts = log.Take();
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(std::memcmp(parts[0].v.data(), parts[1].v.data(), 4 * sizeof(Vertex3D)), 0);
    auto d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].primitives, 4u);
}

TEST_F(Primitive3D, BuiltinsConvertTheirArguments)
{
    int32_t id = MakeTexture();
    SubmissionLog log;
    Call("d3d_primitive_begin_texture", {5.4, (double)id});
    EXPECT_EQ(GR_3D_GetPrimitiveInfo().kind, 5);
    EXPECT_EQ(GR_3D_GetPrimitiveInfo().texture, id);
    Call("d3d_vertex_color", {1, 2, 3, 254.6, 0.5});
    Call("d3d_vertex_texture", {1, 2, 3, 0.25, 0.5});
    Call("d3d_vertex_texture_color", {1, 2, 3, 0.25, 0.5, 65280.0, 1.0});
    Call("d3d_vertex_normal_color", {1, 2, 3, 0, 0, 1, 16711680.0, 1.0});
    Call("d3d_vertex_normal_texture", {1, 2, 3, 0, 0, 1, 0.5, 0.5});
    Call("d3d_vertex_normal_texture_color", {1, 2, 3, 0, 0, 1, 0.5, 0.5, 0, 1});
    Call("d3d_vertex_normal", {"text", 2, 3, 0, 1, 0});
    Call("d3d_vertex", {1, 2, 3});
    Call("d3d_primitive_end", {});
    auto parts = log.Take();
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(parts[0].kind, 5);
    auto v = parts[0].v;
    ASSERT_EQ(v.size(), 8u);
    EXPECT_EQ(v[0].colour, 0x7FFF0000u); // 254.6 rounds to 255 (red)
    EXPECT_FLOAT_EQ(v[1].u, 0.25f);
    EXPECT_EQ(v[2].colour, 0xFF00FF00u);
    EXPECT_EQ(v[3].colour, 0xFF0000FFu);
    EXPECT_FLOAT_EQ(v[4].nz, 1.0f);
    EXPECT_EQ(v[5].colour, 0xFF000000u);
    EXPECT_FLOAT_EQ(v[6].x, 0.0f) << "a text where a number is wanted counts as 0";
    EXPECT_FLOAT_EQ(v[6].ny, 1.0f);
    EXPECT_EQ(v[7].colour, kRed);
    Call("d3d_primitive_begin", {2});
    EXPECT_EQ(GR_3D_GetPrimitiveInfo().texture, -1);
}

} // namespace
