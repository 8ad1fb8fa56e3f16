// The game packer in source mode: every chunk it writes is read back field by field in the
// record layouts the runner's loaders read, the images come back from the texture pages pixel
// for pixel, and the runner loads the file.
#include <gtest/gtest.h>

#include <cstring>

#include "Files/Code/Code_Load.h"
#include "Files/Option/Options.h"
#include "Files/Runner/Runner_Game.h"
#include "GamePack_Writer.h"
#include "support/GameFileTools.h"
#include "support/ScratchFolder.h"

namespace {

struct Packed {
    std::vector<uint8_t> f;
    uint32_t U(uint32_t at) const { return TestU32(f, at); }
    int32_t I(uint32_t at) const { return int32_t(TestU32(f, at)); }
    float F(uint32_t at) const
    {
        uint32_t u = U(at);
        float v;
        std::memcpy(&v, &u, 4);
        return v;
    }
    int16_t H(uint32_t at) const { return int16_t(f[at] | f[at + 1] << 8); }
    std::string S(uint32_t at) const { return TestString(f, U(at)); }
    // Entry i of a list chunk.
    uint32_t Entry(const char* tag, uint32_t i) const
    {
        uint32_t data = 0, length = 0;
        EXPECT_TRUE(TestFindChunk(f, tag, data, length)) << tag;
        EXPECT_LT(i, U(data)) << tag;
        return U(data + 4 + 4 * i);
    }
};

class Packer : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A 3-frame strip: red, green, blue squares of 8 x 8, the blue one with a clear corner.
        PackImage strip = TestImage(24, 8, 0, 0, 0, 0);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 24; ++x) {
                uint8_t* p = &strip.rgba[size_t(y * 24 + x) * 4];
                p[x / 8] = 255;
                p[3] = (x >= 16 && x < 18 && y < 2) ? 0 : 255;
            }
        TestImage_WritePng(dir / "strip.png", strip);
        TestImage_WritePng(dir / "tiles.png", TestImage(16, 12, 10, 20, 30, 255));
        Scratch_WriteFile(dir / "move.zbl", "x += 1;\n");
    }
    void TearDown() override
    {
        Header_Clear(g_GameHeader);
        Code_Clear();
    }
    ScratchFolder dir;
};

const char* kManifest = R"json({
  "name": "Packed", "config": "Release", "game_id": 99, "format_version": 13,
  "window": {"width": 320, "height": 200, "flags": 8192, "caption": "Hello"},
  "steam_app_id": 480,
  "options": {"fullscreen": true, "window_colour": 255, "words": {"21": 7}},
  "constants": {"VersionMajor": "2", "SPEED": 4},
  "sprites": [{"name": "spr", "image": "strip.png", "frames": 3, "origin": [4, 4], "precise": true}],
  "backgrounds": [{"name": "bg", "image": "tiles.png", "transparent": true}],
  "fonts": [{"name": "fnt", "ttf": "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", "size": 9, "first": 65, "last": 70}],
  "paths": [{"name": "pth", "kind": 1, "closed": true, "precision": 6, "points": [[1, 2, 3], [4, 5, 6]]}],
  "scripts": [{"name": "scr_move", "file": "move.zbl"}],
  "timelines": [{"name": "tl", "moments": [{"time": 3, "code": "a = 1;"}, {"time": 9, "code": "a = 2;"}]}],
  "objects": [
    {"name": "obj_parent", "events": [{"type": "draw", "code": "draw_self();"}]},
    {"name": "obj", "sprite": "spr", "parent": "obj_parent", "depth": -5, "solid": true,
     "events": [{"type": "collision", "number": "obj_parent", "code": "hit = 1;"},
                {"type": "alarm", "number": 3, "code": "a = 3;"}]}
  ],
  "rooms": [
    {"name": "rm_a", "width": 200, "height": 100, "speed": 60, "colour": 123, "code": "start = 1;",
     "backgrounds": [{"background": "bg", "x": 5, "stretch": 1}],
     "views": [{"visible": 1, "width": 160, "height": 100, "follow": "obj"}],
     "instances": [{"object": "obj", "x": 10.75, "y": 20, "xscale": 2, "code": "b = 1;"}, {"object": "obj_parent", "x": 1, "y": 2}],
     "tiles": [{"background": "bg", "x": 3, "y": 4, "left": 1, "top": 2, "width": 5, "height": 6, "depth": 7}]},
    {"name": "rm_b"}
  ],
  "room_order": ["rm_b", "rm_a"]
})json";

} // namespace

TEST_F(Packer, SourceModeRecordsReadBackAsWritten)
{
    Packed p{TestPack(kManifest, dir.Path()).game};
    ASSERT_FALSE(p.f.empty());
    uint32_t data = 0, length = 0;
    EXPECT_FALSE(TestFindChunk(p.f, "CODE", data, length)) << "source mode carries no byte code";

    // Header.
    ASSERT_TRUE(TestFindChunk(p.f, "GEN8", data, length));
    EXPECT_EQ(p.U(data) >> 8 & 0xFF, 13u);
    EXPECT_EQ(p.S(data + 8), "Release");
    EXPECT_EQ(p.I(data + 12), 100002) << "last instance id after two instances";
    EXPECT_EQ(p.I(data + 16), 10000001);
    EXPECT_EQ(p.I(data + 20), 99);
    EXPECT_EQ(p.S(data + 40), "Packed");
    EXPECT_EQ(p.I(data + 60), 320);
    EXPECT_EQ(p.U(data + 68), 0x2000u);
    EXPECT_EQ(p.S(data + 100), "Hello");
    EXPECT_EQ(p.I(data + 120), 480);
    EXPECT_EQ(p.U(data + 124), 2u);
    EXPECT_EQ(p.I(data + 128), 1);
    EXPECT_EQ(p.I(data + 132), 0);

    // Options.
    ASSERT_TRUE(TestFindChunk(p.f, "OPTN", data, length));
    EXPECT_EQ(p.U(data + 0), 1u);
    EXPECT_EQ(p.U(data + 16), 1u) << "cursor shown by default";
    EXPECT_EQ(p.U(data + 32), 255u);
    EXPECT_EQ(p.U(data + 84), 7u);
    EXPECT_EQ(p.U(data + 140), 2u);
    EXPECT_EQ(p.S(data + 144), "VersionMajor");
    EXPECT_EQ(p.S(data + 148), "2");
    EXPECT_EQ(p.S(data + 156), "4") << "a number constant is its JSON text";

    // Sprite: box stored left, right, bottom, top; frames' page entries; one mask per frame.
    uint32_t s = p.Entry("SPRT", 0);
    EXPECT_EQ(p.S(s), "spr");
    EXPECT_EQ(p.I(s + 4), 8);
    EXPECT_EQ(p.I(s + 8), 8);
    EXPECT_EQ(p.I(s + 12), 0);
    EXPECT_EQ(p.I(s + 16), 7);
    EXPECT_EQ(p.I(s + 20), 7);
    EXPECT_EQ(p.I(s + 24), 0);
    EXPECT_EQ(p.U(s + 44), 1u) << "precise";
    EXPECT_EQ(p.I(s + 48), 4);
    EXPECT_EQ(p.U(s + 56), 3u);
    EXPECT_EQ(p.U(s + 72), 3u) << "mask count";
    const uint32_t masks = s + 76;
    EXPECT_EQ(p.f[masks], 0xFF);
    EXPECT_EQ(p.f[masks + 2 * 8], 0x3F) << "frame 3 row 0: two clear pixels at the left";

    // Page entries and the pages: each frame comes back pixel for pixel.
    ASSERT_TRUE(TestFindChunk(p.f, "TXTR", data, length));
    std::vector<PackImage> pages;
    for (uint32_t i = 0; i < p.U(data); ++i) {
        uint32_t rec = p.U(data + 4 + 4 * i);
        uint32_t blob = p.U(rec + 4);
        PackImage page;
        ASSERT_TRUE(GamePack_DecodePng(&p.f[blob], p.f.size() - blob, page));
        pages.push_back(page);
    }
    for (uint32_t k = 0; k < 3; ++k) {
        uint32_t e = p.U(s + 60 + 4 * k);
        ASSERT_GE(p.H(e + 20), 0);
        const PackImage& page = pages[size_t(p.H(e + 20))];
        EXPECT_EQ(p.H(e + 4), 8);
        EXPECT_EQ(p.H(e + 16), 8);
        const uint8_t* px = &page.rgba[(size_t(p.H(e + 2) + 4) * size_t(page.width) + size_t(p.H(e) + 4)) * 4];
        EXPECT_EQ(px[k], 255) << "frame " << k << " keeps its colour";
        EXPECT_EQ(px[(k + 1) % 3], 0);
    }

    // Background: flags and its page entry's full size.
    uint32_t b = p.Entry("BGND", 0);
    EXPECT_EQ(p.S(b), "bg");
    EXPECT_EQ(p.U(b + 4), 1u);
    uint32_t be = p.U(b + 16);
    EXPECT_EQ(p.H(be + 16), 16);
    EXPECT_EQ(p.H(be + 18), 12);

    // Font: packed first/charset/antialias, glyphs, and the code-point table at the end.
    uint32_t fe = p.Entry("FONT", 0);
    EXPECT_EQ(p.S(fe), "fnt");
    EXPECT_EQ(p.S(fe + 4), "DejaVu Sans");
    EXPECT_EQ(p.U(fe + 20) & 0xFFFF, 65u);
    EXPECT_EQ(p.U(fe + 20) >> 24, 2u);
    EXPECT_EQ(p.I(fe + 24), 70);
    EXPECT_EQ(p.F(fe + 32), 1.0f);
    ASSERT_EQ(p.U(fe + 40), 6u);
    uint32_t g = p.U(fe + 44);
    EXPECT_EQ(p.f[g] | p.f[g + 1] << 8, 'A');
    EXPECT_GT(p.H(g + 10), 0) << "advance";
    ASSERT_TRUE(TestFindChunk(p.f, "FONT", data, length));
    EXPECT_EQ(p.f[data + length - 512 + 2 * 'Z'], 'Z');

    // Path.
    uint32_t pa = p.Entry("PATH", 0);
    EXPECT_EQ(p.S(pa), "pth");
    EXPECT_EQ(p.U(pa + 4), 1u);
    EXPECT_EQ(p.U(pa + 8), 1u);
    EXPECT_EQ(p.U(pa + 12), 6u);
    EXPECT_EQ(p.U(pa + 16), 2u);
    EXPECT_EQ(p.F(pa + 20 + 12 + 8), 6.0f);

    // Script: its source text.
    uint32_t sc = p.Entry("SCPT", 0);
    EXPECT_EQ(p.S(sc), "scr_move");
    EXPECT_EQ(p.S(sc + 4), "x += 1;\n");

    // Time line: moments and their action lists.
    uint32_t t = p.Entry("TMLN", 0);
    EXPECT_EQ(p.U(t + 4), 2u);
    EXPECT_EQ(p.I(t + 16), 9);
    uint32_t list = p.U(t + 20);
    EXPECT_EQ(p.U(list), 1u);
    EXPECT_EQ(p.S(p.U(list + 4) + 60), "a = 2;");

    // Objects: fields, physics of version 9+, 12 event types, collision by index.
    uint32_t o = p.Entry("OBJT", 1);
    EXPECT_EQ(p.S(o), "obj");
    EXPECT_EQ(p.I(o + 4), 0);
    EXPECT_EQ(p.U(o + 12), 1u);
    EXPECT_EQ(p.I(o + 16), -5);
    EXPECT_EQ(p.I(o + 24), 0);
    EXPECT_EQ(p.I(o + 28), -1);
    EXPECT_EQ(p.F(o + 68), 0.2f);
    EXPECT_EQ(p.U(o + 80), 12u);
    uint32_t collision = p.U(o + 84 + 4 * 4);
    ASSERT_EQ(p.U(collision), 1u);
    uint32_t ev = p.U(collision + 4);
    EXPECT_EQ(p.U(ev), 0u) << "collision with object 0";
    EXPECT_EQ(p.U(ev + 4), 1u);
    EXPECT_EQ(p.S(p.U(ev + 8) + 60), "hit = 1;");
    EXPECT_EQ(p.U(p.U(p.U(o + 84 + 2 * 4) + 4)), 3u) << "alarm 3";
    EXPECT_EQ(p.U(p.U(o + 84)), 0u) << "no create event";

    // Rooms: entry, 8 background layers, 8 views, instances, tiles.
    uint32_t r = p.Entry("ROOM", 0);
    EXPECT_EQ(p.S(r), "rm_a");
    EXPECT_EQ(p.U(r + 4), 0u) << "no caption";
    EXPECT_EQ(p.I(r + 16), 60);
    EXPECT_EQ(p.U(r + 24), 123u);
    EXPECT_EQ(p.S(r + 32), "start = 1;");
    EXPECT_EQ(p.F(r + 80), 10.0f);
    uint32_t bgs = p.U(r + 40), views = p.U(r + 44), insts = p.U(r + 48), tiles = p.U(r + 52);
    EXPECT_EQ(p.U(bgs), 8u);
    EXPECT_EQ(p.I(p.U(bgs + 4) + 8), 0) << "background index";
    EXPECT_EQ(p.I(p.U(bgs + 4) + 36), 1) << "stretch";
    EXPECT_EQ(p.I(p.U(bgs + 8)), 0) << "unused layers invisible";
    EXPECT_EQ(p.U(views), 8u);
    EXPECT_EQ(p.I(p.U(views + 4) + 52), 1) << "follows obj";
    ASSERT_EQ(p.U(insts), 2u);
    uint32_t in = p.U(insts + 4);
    EXPECT_EQ(p.I(in), 10) << "a fraction is cut to its whole part";
    EXPECT_EQ(p.I(in + 8), 1);
    EXPECT_EQ(p.I(in + 12), 100001);
    EXPECT_EQ(p.S(in + 16), "b = 1;");
    EXPECT_EQ(p.F(in + 20), 2.0f);
    EXPECT_EQ(p.U(in + 28), 0xFFFFFFFFu);
    EXPECT_EQ(p.U(p.U(insts + 8) + 16), 0u) << "no creation code";
    ASSERT_EQ(p.U(tiles), 1u);
    uint32_t tile = p.U(tiles + 4);
    EXPECT_EQ(p.I(tile + 28), 7);
    EXPECT_EQ(p.I(tile + 32), 10000001);
    EXPECT_EQ(p.U(p.Entry("ROOM", 1) + 32), 0u);

    // And the runner reads it.
    TestLoad load;
    TestLoad_Run(load, p.f);
    EXPECT_TRUE(load.ok);
    EXPECT_EQ(g_GameHeader.roomOrder, (std::vector<int32_t>{1, 0}));
    EXPECT_EQ(g_Options.fullScreen, 1);
    EXPECT_EQ(g_Options.versionMajor, 2);
}

TEST_F(Packer, AbsentCodeCanBeWrittenAsAnEmptyText)
{
    const char* manifest = R"({"objects": [{"name": "o"}], "rooms": [{"name": "a", "instances": [{"object": "o"}]}]})";
    for (bool empty : {false, true}) {
        PackProject project;
        std::string error;
        ASSERT_TRUE(GamePack_ParseProject(manifest, dir.Path(), project, error)) << error;
        project.absentCodeAsEmptyText = empty;
        PackOutput out;
        ASSERT_TRUE(GamePack_Build(project, out, error)) << error;
        Packed p{out.game};
        const uint32_t r = p.Entry("ROOM", 0), in = p.U(p.U(r + 48) + 4);
        for (uint32_t field : {r + 32, in + 16}) {
            if (empty) {
                EXPECT_NE(p.U(field), 0u);
                EXPECT_EQ(p.S(field), "");
            } else {
                EXPECT_EQ(p.U(field), 0u);
            }
        }
        TestLoad load;
        TestLoad_Run(load, p.f);
        EXPECT_TRUE(load.ok);
    }
}

TEST_F(Packer, OlderFormatVersionsPlaceTheRoomOrderAndPhysicsFields)
{
    for (int v : {8, 10, 11, 12}) {
        SCOPED_TRACE(v);
        std::string m = R"({"format_version": )" + std::to_string(v) +
                        R"(, "objects": [{"name": "o"}], "rooms": [{"name": "a"}, {"name": "b"}]})";
        Packed p{TestPack(m, dir.Path()).game};
        TestLoad load;
        TestLoad_Run(load, p.f);
        ASSERT_TRUE(load.ok);
        EXPECT_EQ(g_GameHeader.roomOrder, (std::vector<int32_t>{0, 1}));
        uint32_t o = p.Entry("OBJT", 0);
        EXPECT_EQ(p.U(o + 64), 0u) << "point count";
        EXPECT_EQ(p.U(o + (v >= 9 ? 80 : 68)), 12u) << "event types follow the physics fields";
    }
}

TEST_F(Packer, BadManifestsAreRefusedWithAReason)
{
    PackOutput out;
    std::string error;
    EXPECT_FALSE(TestPackTry("{", dir.Path(), out, error));
    EXPECT_FALSE(TestPackTry(R"({"objects": [{"name": "o", "sprite": "nope"}]})", dir.Path(), out, error));
    EXPECT_NE(error.find("nope"), std::string::npos);
    EXPECT_FALSE(TestPackTry(R"({"sprites": [{"name": "s", "image": "missing.png"}]})", dir.Path(), out, error));
    EXPECT_FALSE(TestPackTry(R"({"mode": "bytecode", "scripts": [{"name": "s", "code": "if ((("}]})", dir.Path(), out, error))
        << "code that does not compile";
    EXPECT_FALSE(TestPackTry(R"({"timelines": [{"name": "t", "moments": [{"time": 5}, {"time": 5}]}]})", dir.Path(), out, error));
    EXPECT_FALSE(TestPackTry(R"({"options": {"no_such_option": 1}})", dir.Path(), out, error));

    // Hostile and mistaken manifests: each is refused with a message that names what is wrong,
    // never packed into a game that holds something else than was written, and never a crash.
    const char* room = R"("rooms": [{"name": "r"}])";
    const std::pair<std::string, const char*> bad[] = {
        {R"({"constants": {"A": null}, )" + std::string(room) + "}", "\"A\""},
        {R"({"constants": {"A": [5]}, )" + std::string(room) + "}", "\"A\""},
        {R"({"first_instance_id": 2147483647, "objects": [{"name": "o"}], "rooms": [{"name": "r", "instances": [{"object": "o"}]}]})", "2147483647"},
        {R"({"first_tile_id": 2147483647, "backgrounds": [{"name": "b", "image": "tiles.png"}], "rooms": [{"name": "r", "tiles": [{"background": "b"}]}]})", "2147483647"},
        {R"({"sprites": [{"name": "s", "image": "strip.png", "frames": 25}], )" + std::string(room) + "}", "frames"},
        {R"({"sprites": [{"name": "s", "image": "strip.png", "frames": -3}], )" + std::string(room) + "}", "frames"},
        {R"({"format_version": 269, )" + std::string(room) + "}", "format_version"},
        {R"({"game_id": 1099511627776, )" + std::string(room) + "}", "game_id"},
        {R"({"options": {"words": {"abc": 1}}, )" + std::string(room) + "}", "abc"},
        {R"({"objects": [{"name": "a"}, {"name": "a"}], )" + std::string(room) + "}", "\"a\""},
        {R"({"scripts": [{"name": "r", "code": ""}], )" + std::string(room) + "}", "\"r\""},
        {R"({"objects": [{"name": ""}], )" + std::string(room) + "}", "name"},
        {R"({"objects": [{"name": "o\u0000x"}], )" + std::string(room) + "}", "zero byte"},
        {R"({"objects": {"name": "o"}, )" + std::string(room) + "}", "objects"},
        {R"({"objects": [{"name": "a", "parent": "b"}, {"name": "b", "parent": "a"}], )" + std::string(room) + "}", "parents"},
        {R"({"objects": [{"name": "a", "parent": "a"}], )" + std::string(room) + "}", "parents"},
        {R"({"objects": [{"name": "a", "events": [{"type": "collision", "number": 9}]}], )" + std::string(room) + "}", "collision"},
        {R"({"objects": [{"name": "a", "events": [{"type": "create", "code": 5}]}], )" + std::string(room) + "}", "code"},
        {R"({"objects": [{"name": "a", "events": [{"type": "step", "number": "a"}]}], )" + std::string(room) + "}", "number"},
        {R"({"window": {"width": -7}, )" + std::string(room) + "}", "width"},
        {R"({"rooms": [{"name": "r", "speed": 0}]})", "speed"},
        {R"({"objects": [{"name": "o"}], "rooms": [{"name": "r", "instances": [{"object": "o", "x": 1e300}]}]})", "\"x\""},
        {R"({"paths": [{"name": "p", "points": [5]}], )" + std::string(room) + "}", "points"},
        {R"({"rooms": [{"name": "r"}], "room_order": ["r", "r"]})", "twice"},
    };
    std::string many = R"({"rooms": [{"name": "r"}], "objects": [)";
    for (int k = 0; k <= 100000; ++k) many += (k ? ",{\"name\":\"o" : "{\"name\":\"o") + std::to_string(k) + "\"}";
    EXPECT_FALSE(TestPackTry(many + "]}", dir.Path(), out, error)) << "object numbers from 100000 up are instance ids";
    EXPECT_NE(error.find("100000 objects"), std::string::npos) << error;
    for (const auto& [manifest, word] : bad) {
        error.clear();
        EXPECT_FALSE(TestPackTry(manifest, dir.Path(), out, error)) << manifest;
        EXPECT_NE(error.find(word), std::string::npos) << manifest << "\n" << error;
    }
}

TEST_F(Packer, ManyImagesSpreadOverSeveralPages)
{
    std::vector<PackImage> imgs;
    for (int i = 0; i < 40; ++i) imgs.push_back(TestImage(30 + i % 7, 20 + i % 5, uint32_t(i), 0, 0, 255));
    std::vector<const PackImage*> ptrs;
    for (auto& i : imgs) ptrs.push_back(&i);
    PackedPages pages = GamePack_PackPages(ptrs, 128);
    EXPECT_GT(pages.pages.size(), 1u);
    for (size_t i = 0; i < imgs.size(); ++i) {
        const PagePlacement& at = pages.placements[i];
        const PackImage& page = pages.pages[size_t(at.page)];
        ASSERT_LE(at.x + imgs[i].width, page.width);
        ASSERT_LE(at.y + imgs[i].height, page.height);
        EXPECT_EQ(page.rgba[(size_t(at.y) * size_t(page.width) + size_t(at.x)) * 4], uint8_t(i)) << i;
        for (size_t k = 0; k < i; ++k) { // no two images overlap
            const PagePlacement& o = pages.placements[k];
            if (o.page != at.page) continue;
            bool apart = o.x + imgs[k].width <= at.x || at.x + imgs[i].width <= o.x || o.y + imgs[k].height <= at.y ||
                         at.y + imgs[i].height <= o.y;
            ASSERT_TRUE(apart) << i << " and " << k;
        }
    }
}
