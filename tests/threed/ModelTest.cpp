// 3D models: the id table, the commands, the model file written to the letter and read back
// (and read defensively: wrong versions, short files, missing values, huge numbers, NaN,
// counts that lie, line ends of every kind), and drawing on the recording fake: the recording
// made once per texture and replayed, recolouring with the drawing colour, recordings dropped
// when the model changes, freed textures, and the model built-ins with the save area and the
// program folder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "Files/Graphics/Graphics_3D_Model.h"
#include "Files/Graphics/Graphics_3D_Primitive.h"
#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics_API/Graphics_3D.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Files/Support/LoadSave.h"
#include "Platform/MemoryManager.h"
#include "ThreeDTestSupport.h"
#include "support/CaptureConsole.h"
#include "support/ScratchFolder.h"

namespace {

bool LoadText(int32_t id, const std::string& text)
{
    return GR_3D_Model_LoadData(id, (const uint8_t*)text.data(), text.size());
}

std::string Text(int32_t id)
{
    std::string s;
    EXPECT_TRUE(GR_3D_Model_ToText(id, &s));
    return s;
}

class Models : public ThreeDFixture {
protected:
    void SetUp() override
    {
        ThreeDFixture::SetUp();
        GR_3D_TransformSetIdentity();
        GR_Draw_SetColour(0x0000FF);
        GR_Draw_SetAlpha(1.0f);
    }
};

TEST_F(Models, IdsOfDestroyedModelsAreReusedLowestFirst)
{
    EXPECT_EQ(GR_3D_Model_Create(), 0);
    EXPECT_EQ(GR_3D_Model_Create(), 1);
    EXPECT_EQ(GR_3D_Model_Create(), 2);
    GR_3D_Model_Destroy(1);
    EXPECT_FALSE(GR_3D_Model_Exists(1));
    EXPECT_EQ(GR_3D_Model_Create(), 1);
    EXPECT_EQ(GR_3D_Model_Create(), 3);
    // Bad ids are ignored everywhere.
    for (int32_t bad : {-1, 4, 1 << 30}) {
        GR_3D_Model_Destroy(bad);
        GR_3D_Model_Clear(bad);
        GR_3D_Model_Vertex(bad, 1, 2, 3);
        GR_3D_Model_Draw(bad, 0, 0, 0, -1);
        EXPECT_FALSE(GR_3D_Model_LoadData(bad, (const uint8_t*)"100\n0\n", 6));
        std::string s;
        EXPECT_FALSE(GR_3D_Model_ToText(bad, &s));
    }
    EXPECT_TRUE(Drawn().empty());
}

TEST_F(Models, TheFileIsWrittenToTheLetter)
{
    int32_t m = GR_3D_Model_Create();
    GR_3D_Model_Vertex(m, 1, 2, 3);
    EXPECT_EQ(Text(m), "100\n1\n2     1.0000     2.0000     3.0000     0.0000     0.0000     0.0000     0.0000"
                       "     0.0000     0.0000     0.0000\n");
    GR_3D_Model_Clear(m);
    GR_3D_Model_Vertex(m, 0, 32, 16);
    GR_3D_Model_VertexColour(m, -1.5f, 123456.25f, 0, 16777215, 0.5f);
    std::string t = Text(m);
    EXPECT_NE(t.find("\n2     0.0000    32.0000    16.0000     0.0000"), std::string::npos) << t;
    EXPECT_NE(t.find("\n3    -1.5000 123456.2500     0.0000 16777215.0000     0.5000     0.0000"), std::string::npos)
        << t;
    EXPECT_EQ(t.substr(0, 6), "100\n2\n");
}

TEST_F(Models, EveryCommandRoundTripsThroughTheFile)
{
    ScratchFolder dir;
    int32_t a = GR_3D_Model_Create(), b = GR_3D_Model_Create();
    GR_3D_Model_PrimitiveBegin(a, 4);
    GR_3D_Model_Vertex(a, 1, 2, 3);
    GR_3D_Model_VertexColour(a, 1, 2, 3, 255, 0.25f);
    GR_3D_Model_VertexTexture(a, 1, 2, 3, 0.5f, 0.75f);
    GR_3D_Model_VertexTextureColour(a, 1, 2, 3, 0.5f, 0.75f, 65280, 1);
    GR_3D_Model_VertexNormal(a, 1, 2, 3, 0, 0, -1);
    GR_3D_Model_VertexNormalColour(a, 1, 2, 3, 0, 0, -1, 16711680, 0.5f);
    GR_3D_Model_VertexNormalTexture(a, 1, 2, 3, 0, 0, -1, 2, 3);
    GR_3D_Model_VertexNormalTextureColour(a, 1, 2, 3, 0, 0, -1, 2, 3, 8421504, 0.125f);
    GR_3D_Model_PrimitiveEnd(a);
    GR_3D_Model_Block(a, 0, 0, 0, 10, 10, 10, 1, 2);
    GR_3D_Model_Cylinder(a, 0, 0, 0, 10, 10, 10, 1, 2, 1, 16);
    GR_3D_Model_Cone(a, 0, 0, 0, 10, 10, 10, 1, 2, 0, 12);
    GR_3D_Model_Ellipsoid(a, 0, 0, 0, 10, 10, 10, 1, 2, 24);
    GR_3D_Model_Wall(a, 0, 0, 0, 10, 10, 10, 1, 2);
    GR_3D_Model_Floor(a, 0, 0, 0, 10, 10, 10, 1, 2);
    ASSERT_EQ(GR_3D_Model_RecordCount(a), 16);
    std::string path = dir / "sub/model.txt";
    ASSERT_TRUE(GR_3D_Model_Save(a, path.c_str())) << "folders are made";
    GR_3D_Model_Vertex(b, 9, 9, 9);
    ASSERT_TRUE(GR_3D_Model_Load(b, path.c_str()));
    ASSERT_EQ(GR_3D_Model_RecordCount(b), 16);
    EXPECT_EQ(std::memcmp(GR_3D_Model_Records(a), GR_3D_Model_Records(b), 16 * sizeof(ModelRecord)), 0);
    EXPECT_EQ(Scratch_ReadFile(path), Text(b));
    // Both draw the same vertices, colours included.
    GR_3D_Model_Draw(a, 0, 0, 0, -1);
    auto da = Drawn();
    GR_3D_Model_Draw(b, 0, 0, 0, -1);
    auto db = Drawn();
    ASSERT_EQ(da.size(), db.size());
    for (size_t i = 0; i < da.size(); ++i) EXPECT_EQ(da[i].vertices, db[i].vertices);
    EXPECT_FALSE(GR_3D_Model_Load(b, (dir / "missing.txt").c_str()));
    EXPECT_EQ(GR_3D_Model_RecordCount(b), 0) << "the old contents go even when the read fails";
    EXPECT_FALSE(GR_3D_Model_Save(a, (dir / "nofolder/../../..").c_str()));
}

TEST_F(Models, WrongVersionsAndEmptyFiles)
{
    int32_t m = GR_3D_Model_Create();
    GR_3D_Model_Vertex(m, 1, 2, 3);
    EXPECT_FALSE(LoadText(m, "101\n1\n2 1 2 3\n"));
    EXPECT_EQ(GR_3D_Model_RecordCount(m), 0) << "refused, and left empty";
    EXPECT_TRUE(LoadText(m, "100\n0\n"));
    EXPECT_EQ(GR_3D_Model_RecordCount(m), 0);
    EXPECT_TRUE(LoadText(m, "100"));
    EXPECT_TRUE(LoadText(m, "100\n-5\n2 1 2 3\n"));
    EXPECT_EQ(GR_3D_Model_RecordCount(m), 0);
    EXPECT_FALSE(LoadText(m, " 100\n0\n")) << "the first line must be exactly 100";
    EXPECT_FALSE(LoadText(m, "1000\n0\n"));
    EXPECT_FALSE(LoadText(m, ""));
    EXPECT_FALSE(GR_3D_Model_LoadData(m, nullptr, 5));
}

TEST_F(Models, RecordLinesAreReadDefensively)
{
    int32_t m = GR_3D_Model_Create();
    // Line ends of every kind, blank lines, NUL bytes, a last line without an end.
    const char bytes[] = "100\r\n3\r\n\r\n2 1 2 3\n\n\r3 4 5 6 255 1\0\0" "4 7 8 9 0.5 0.25";
    std::string text(bytes, sizeof bytes - 1);
    ASSERT_TRUE(LoadText(m, text));
    ASSERT_EQ(GR_3D_Model_RecordCount(m), 3);
    const ModelRecord* r = GR_3D_Model_Records(m);
    EXPECT_EQ(r[0].kind, 2);
    EXPECT_FLOAT_EQ(r[0].v[2], 3);
    EXPECT_FLOAT_EQ(r[0].v[3], 0) << "missing values are 0";
    EXPECT_FLOAT_EQ(r[1].v[3], 255);
    EXPECT_FLOAT_EQ(r[2].v[4], 0.25f);

    // Numbers beyond single precision, NaN and infinities, signs, stray text after the values.
    ASSERT_TRUE(LoadText(m, "100\n1\n2 1e39 -1e39 1e-50 nan inf -inf +3.4e38 -0 7e-46 2.5 junk\n"));
    r = GR_3D_Model_Records(m);
    EXPECT_TRUE(std::isinf(r[0].v[0]) && r[0].v[0] > 0);
    EXPECT_TRUE(std::isinf(r[0].v[1]) && r[0].v[1] < 0);
    EXPECT_EQ(r[0].v[2], 0.0f);
    EXPECT_TRUE(std::isnan(r[0].v[3]));
    EXPECT_TRUE(std::isinf(r[0].v[4]));
    EXPECT_TRUE(std::isinf(r[0].v[5]) && r[0].v[5] < 0);
    EXPECT_FLOAT_EQ(r[0].v[6], 3.4e38f);
    EXPECT_TRUE(r[0].v[7] == 0 && std::signbit(r[0].v[7]));
    EXPECT_EQ(r[0].v[8], 0.0f);
    EXPECT_FLOAT_EQ(r[0].v[9], 2.5f);

    // A value that stops reading: the rest of the line is 0.
    ASSERT_TRUE(LoadText(m, "100\n1\n11 1 2 x 4 5\n"));
    r = GR_3D_Model_Records(m);
    EXPECT_EQ(r[0].kind, 11);
    EXPECT_FLOAT_EQ(r[0].v[1], 2);
    EXPECT_FLOAT_EQ(r[0].v[3], 0);
    // Kinds saturate like atoi; unknown kinds are kept (and draw nothing).
    ASSERT_TRUE(LoadText(m, "100\n2\n99999999999 1\n-7\n"));
    EXPECT_EQ(GR_3D_Model_Records(m)[0].kind, INT32_MAX);
    EXPECT_EQ(GR_3D_Model_Records(m)[1].kind, -7);
    GR_3D_Model_Draw(m, 0, 0, 0, -1);
    EXPECT_TRUE(Drawn().empty());

    // A line of many thousand characters is read up to its first 4095.
    std::string longLine = "100\n1\n2 1 2 3" + std::string(20000, ' ') + "4\n";
    ASSERT_TRUE(LoadText(m, longLine));
    EXPECT_FLOAT_EQ(GR_3D_Model_Records(m)[0].v[3], 0);
}

TEST_F(Models, CountsThatLieFailTheLoad)
{
    int32_t m = GR_3D_Model_Create();
    EXPECT_FALSE(LoadText(m, "100\n3\n2 1 2 3\n2 4 5 6\n"));
    EXPECT_EQ(GR_3D_Model_RecordCount(m), 0) << "a file cut short is refused whole";
    EXPECT_FALSE(LoadText(m, "100\n2\n2 1 2 3\nnot a record\n"));
    EXPECT_EQ(GR_3D_Model_RecordCount(m), 0);
    // Huge counts neither allocate for them nor run long.
    uint32_t before = MemoryManager::BytesInUse();
    EXPECT_FALSE(LoadText(m, "100\n2147483647\n2 1 2 3\n"));
    EXPECT_FALSE(LoadText(m, "100\n16000000\n2 1 2 3\n"));
    EXPECT_LE(MemoryManager::BytesInUse(), before + 4096);
    // More lines than the count: the rest is ignored.
    ASSERT_TRUE(LoadText(m, "100\n1\n2 1 2 3\n2 4 5 6\n"));
    EXPECT_EQ(GR_3D_Model_RecordCount(m), 1);
}

TEST_F(Models, DrawRecordsOncePerTextureAndReplays)
{
    int32_t m = GR_3D_Model_Create();
    GR_3D_Model_Block(m, 0, 0, 0, 1, 1, 1, 1, 1);
    dev()->ClearLog();
    GR_3D_Model_Draw(m, 10, 20, 30, -1);
    auto first = Drawn();
    EXPECT_EQ(GR_3D_Model_RecordingCount(m), 1);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].vertexCount(), 36u);
    EXPECT_FLOAT_EQ(first[0].world[12], 10);
    EXPECT_FLOAT_EQ(first[0].world[13], 20);
    EXPECT_FLOAT_EQ(first[0].world[14], 30);
    EXPECT_EQ(LogAt("CreateVertexBuffer").size(), 1u);
    // The block drawn on its own gives the same vertices.
    GR_3D_DrawBlock(0, 0, 0, 1, 1, 1, -1, 1, 1);
    auto direct = Drawn();
    ASSERT_EQ(direct.size(), 1u);
    EXPECT_EQ(direct[0].vertices, first[0].vertices);

    dev()->ClearLog();
    GR_3D_Model_Draw(m, 0, 0, 0, -1);
    auto again = Drawn();
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].vertices, first[0].vertices);
    EXPECT_TRUE(LogAt("CreateVertexBuffer").empty()) << "the recording is replayed";
    // Another texture, another recording.
    std::vector<uint32_t> px(64 * 64, 0xFFFFFFFFu);
    int32_t id = GR_Texture_CreateFromPixels(64, 64, px.data(), (uint32_t)px.size() * 4);
    GR_3D_Model_Draw(m, 0, 0, 0, id);
    EXPECT_EQ(GR_3D_Model_RecordingCount(m), 2);
    auto textured = Drawn();
    ASSERT_EQ(textured.size(), 1u);
    EXPECT_EQ(textured[0].texture, GR_Texture_GetPage(id)->texture);
    // The texture goes: the replay binds none instead of a freed one.
    GR_Texture_Free(id);
    GR_3D_Model_Draw(m, 0, 0, 0, id);
    auto gone = Drawn();
    ASSERT_EQ(gone.size(), 1u);
    EXPECT_EQ(gone[0].texture, nullptr);
    // Arguments that name no texture draw as none and share one recording, however many.
    for (int64_t bad : {int64_t(id), int64_t(5000), int64_t(123456789), int64_t(-7)}) GR_3D_Model_Draw(m, 0, 0, 0, bad);
    EXPECT_EQ(GR_3D_Model_RecordingCount(m), 2);
}

TEST_F(Models, DrawingColourRecoloursOnlyItsOwnVertices)
{
    // Black is the drawing colour at the first draw, and also one vertex's own colour.
    GR_Draw_SetColour(0x000000);
    int32_t m = GR_3D_Model_Create();
    GR_3D_Model_PrimitiveBegin(m, 4);
    GR_3D_Model_Vertex(m, 0, 0, 0);
    GR_3D_Model_VertexColour(m, 1, 0, 0, 0x000000, 1);
    GR_3D_Model_VertexColour(m, 2, 0, 0, 0x00FF00, 1);
    GR_3D_Model_PrimitiveEnd(m);
    GR_3D_Model_Draw(m, 0, 0, 0, -1);
    auto d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(Vtx(d[0], 0).colour, 0xFF000000u);
    GR_Draw_SetColour(0xFF0000); // blue
    GR_Draw_SetAlpha(0.5f);
    GR_3D_Model_Draw(m, 0, 0, 0, -1);
    d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(Vtx(d[0], 0).colour, 0x7F0000FFu);
    EXPECT_EQ(Vtx(d[0], 1).colour, 0xFF000000u) << "its own black stays";
    EXPECT_EQ(Vtx(d[0], 2).colour, 0xFF00FF00u);
    EXPECT_EQ(GR_3D_Model_RecordingCount(m), 1);
}

TEST_F(Models, AModelFirstDrawnInWhiteTakesLaterColours)
{
    GR_Draw_SetColour(0xFFFFFF);
    int32_t m = GR_3D_Model_Create();
    GR_3D_Model_Floor(m, 0, 0, 0, 1, 1, 0, 1, 1);
    GR_3D_Model_Draw(m, 0, 0, 0, -1);
    EXPECT_EQ(Vtx(Drawn()[0], 0).colour, 0xFFFFFFFFu);
    GR_Draw_SetColour(0x0000FF);
    GR_3D_Model_Draw(m, 0, 0, 0, -1);
    auto d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    for (auto& v : Vertices(d[0])) EXPECT_EQ(v.colour, 0xFFFF0000u);
}

TEST_F(Models, ModelsOfOwnColoursAreNeverRecoloured)
{
    int32_t m = GR_3D_Model_Create();
    GR_3D_Model_PrimitiveBegin(m, 2);
    GR_3D_Model_VertexColour(m, 0, 0, 0, 0x00FF00, 1);
    GR_3D_Model_VertexNormalTextureColour(m, 1, 0, 0, 0, 0, 1, 0, 0, 0x00FF00, 1);
    GR_3D_Model_PrimitiveEnd(m);
    GR_3D_Model_Draw(m, 0, 0, 0, -1);
    Drawn();
    EXPECT_TRUE(GR_3D_Model_Recording(m, -1)->independent);
    dev()->ClearLog();
    for (uint32_t c : {0x0000FFu, 0xFF0000u, 0xFFFFFFu}) {
        GR_Draw_SetColour(c);
        GR_3D_Model_Draw(m, 0, 0, 0, -1);
    }
    EXPECT_TRUE(LogAt("CreateVertexBuffer").empty()) << "the same recording, not rebuilt";
    for (auto& x : Drawn()) EXPECT_EQ(Vtx(x, 0).colour, 0xFF00FF00u);
}

TEST_F(Models, ChangesToTheModelReachItsNextDraw)
{
    int32_t m = GR_3D_Model_Create();
    GR_3D_Model_PrimitiveBegin(m, 1);
    GR_3D_Model_Vertex(m, 1, 1, 1);
    GR_3D_Model_PrimitiveEnd(m);
    GR_3D_Model_Draw(m, 0, 0, 0, -1);
    ASSERT_EQ(Drawn()[0].vertexCount(), 1u);
    GR_3D_Model_PrimitiveBegin(m, 1);
    GR_3D_Model_Vertex(m, 2, 2, 2);
    GR_3D_Model_PrimitiveEnd(m);
    EXPECT_EQ(GR_3D_Model_RecordingCount(m), 0);
    GR_3D_Model_Draw(m, 0, 0, 0, -1);
    auto d = Drawn();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].vertexCount(), 2u);
    GR_3D_Model_Clear(m);
    EXPECT_EQ(GR_3D_Model_RecordingCount(m), 0);
    GR_3D_Model_Draw(m, 0, 0, 0, -1);
    EXPECT_TRUE(Drawn().empty());
    GR_3D_Model_Destroy(m);
    GR_3D_Model_Draw(m, 0, 0, 0, -1);
    EXPECT_TRUE(Drawn().empty());
}

TEST_F(Models, BuiltinsUseTheSaveAreaAndTheProgramFolder)
{
    ScratchFolder dir;
    Scratch_WriteFile(dir / "prog/.keep", "");
    Scratch_WriteFile(dir / "save/.keep", "");
    LoadSave_SetFolders((dir / "prog").c_str(), (dir / "save").c_str(), nullptr);
    ScopedCurrentFolder here(dir / "prog");
    int32_t m = (int32_t)Call("d3d_model_create", {});
    Call("d3d_model_vertex_color", {m, 1, 2, 3, 255.4, 0.5});
    Call("d3d_model_cylinder", {m, 0, 0, 0, 1, 1, 1, 1, 1, 1, 12});
    EXPECT_EQ(Call("d3d_model_save", {m, "Models\\one.txt"}), 1.0);
    EXPECT_TRUE(Scratch_Exists(dir / "save/Models/one.txt"));
    EXPECT_EQ(GR_3D_Model_Records(m)[0].v[3], 255.0f) << "the colour is rounded";

    // The program folder has another file of the same name: the save area wins.
    Scratch_WriteFile(dir / "prog/Models/one.txt", "100\n0\n");
    int32_t n = (int32_t)Call("d3d_model_create", {});
    EXPECT_EQ(Call("d3d_model_load", {n, "models/ONE.txt"}), 1.0);
    EXPECT_EQ(GR_3D_Model_RecordCount(n), 2);
    Scratch_WriteFile(dir / "prog/only.txt", "100\n1\n2 5 5 5\n");
    EXPECT_EQ(Call("d3d_model_load", {n, "only.txt"}), 1.0);
    EXPECT_EQ(GR_3D_Model_RecordCount(n), 1);
    {
        CaptureConsole log;
        EXPECT_EQ(Call("d3d_model_load", {n, "nothing.txt"}), 0.0);
        EXPECT_TRUE(log.Has("d3d_model_load - unable to find file nothing.txt\n")) << log.text;
    }
    EXPECT_EQ(GR_3D_Model_RecordCount(n), 1) << "a missing file leaves the model as it was";
    EXPECT_EQ(Call("d3d_model_save", {n, "/elsewhere/x.txt"}), 0.0) << "outside the save area";
    EXPECT_EQ(Call("d3d_model_save", {99, "x.txt"}), 0.0);

    Call("d3d_model_draw", {n, 1, 2, 3, -1});
    auto d = Drawn();
    ASSERT_EQ(d.size(), 0u) << "a lone vertex outside a primitive draws nothing";
    Call("d3d_model_clear", {n});
    Call("d3d_model_primitive_begin", {n, 2});
    Call("d3d_model_vertex", {n, 0, 0, 0});
    Call("d3d_model_vertex_texture", {n, 1, 0, 0, 1, 0});
    Call("d3d_model_vertex_texture_color", {n, 0, 1, 0, 0, 1, 255, 1});
    Call("d3d_model_vertex_normal", {n, 1, 1, 0, 0, 0, 1});
    Call("d3d_model_vertex_normal_color", {n, 0, 0, 1, 0, 0, 1, 65280, 1});
    Call("d3d_model_vertex_normal_texture", {n, 1, 0, 1, 0, 0, 1, 1, 1});
    Call("d3d_model_vertex_normal_texture_color", {n, 0, 1, 1, 0, 0, 1, 0, 0, 0, 1});
    Call("d3d_model_vertex", {n, 1, 1, 1});
    Call("d3d_model_primitive_end", {n});
    Call("d3d_model_block", {n, 0, 0, 0, 1, 1, 1, 1, 1});
    Call("d3d_model_cone", {n, 0, 0, 0, 1, 1, 1, 1, 1, 0, 4});
    Call("d3d_model_ellipsoid", {n, 0, 0, 0, 1, 1, 1, 1, 1, 4});
    Call("d3d_model_wall", {n, 0, 0, 0, 1, 1, 1, 1, 1});
    Call("d3d_model_floor", {n, 0, 0, 0, 1, 1, 1, 1, 1});
    EXPECT_EQ(GR_3D_Model_RecordCount(n), 15);
    Call("d3d_model_draw", {n, 0, 0, 0, -1});
    d = Drawn();
    ASSERT_EQ(d.size(), 2u); // triangles and lines
    EXPECT_EQ(d[1].vertexCount(), 8u);
    Call("d3d_model_destroy", {n});
    EXPECT_FALSE(GR_3D_Model_Exists(n));
    LoadSave_SetFolders(nullptr, nullptr, nullptr);
}

} // namespace
