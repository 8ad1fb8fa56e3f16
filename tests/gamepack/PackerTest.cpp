// The game packer in source mode: every chunk it writes is read back field by field in the
// record layouts the runner's loaders read, the images come back from the texture pages pixel
// for pixel, and the runner loads the file.
#include <gtest/gtest.h>

#include <png.h>
#include <zlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

#include "Files/Code/Code_Code.h"
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
    // The texture pages, decoded.
    std::vector<PackImage> Pages() const
    {
        std::vector<PackImage> pages;
        uint32_t data = 0, length = 0;
        EXPECT_TRUE(TestFindChunk(f, "TXTR", data, length));
        for (uint32_t i = 0; i < U(data); ++i) {
            const uint32_t blob = U(U(data + 4 + 4 * i) + 4);
            PackImage page;
            std::string error;
            EXPECT_TRUE(GamePack_DecodePng(&f[blob], f.size() - blob, page, error)) << error;
            pages.push_back(page);
        }
        return pages;
    }
    // Pixel (x, y) of the image of a page entry, as 0xRRGGBBAA.
    uint32_t Pixel(const std::vector<PackImage>& pages, uint32_t entry, int32_t x, int32_t y) const
    {
        const PackImage& page = pages.at(size_t(H(entry + 20)));
        const uint8_t* px = &page.rgba[(size_t(H(entry + 2) + y) * size_t(page.width) + size_t(H(entry) + x)) * 4];
        return uint32_t(px[0]) << 24 | uint32_t(px[1]) << 16 | uint32_t(px[2]) << 8 | px[3];
    }
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

const char* kFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

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
    {"name": "obj_parent", "events": [{"type": "draw", "code": "visible = true;"}]},
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
    const std::vector<PackImage> pages = p.Pages();
    const uint32_t colours[3] = {0xFF0000FFu, 0x00FF00FFu, 0x0000FFFFu};
    for (uint32_t k = 0; k < 3; ++k) {
        uint32_t e = p.U(s + 60 + 4 * k);
        EXPECT_EQ(p.H(e + 4), 8);
        EXPECT_EQ(p.H(e + 16), 8);
        EXPECT_EQ(p.Pixel(pages, e, 4, 4), colours[k]) << "frame " << k << " keeps its colour";
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

TEST_F(Packer, EveryEventNumberTheRecordKeepsIsPackedAndThoseOnlyCodeRunsAreSaid)
{
    // The last numbers the runner dispatches are kept without a word; numbers the run loop
    // never runs (code may, with event_perform) and a moment before 0 are packed with one
    // warning each. An instance's colour is plain and its opacity "alpha" (the record holds
    // the alpha's 0..255 in the top byte); a whole number written as 2.0 is 2; a tile without
    // a size shows its whole background.
    std::string events;
    const std::vector<std::pair<int, int>> edges = {{2, 11}, {3, 2}, {5, 1}, {5, 8}, {9, 255}, {6, 13}, {6, 61},
                                                    {7, 25}, {7, 69}, {8, 64}};
    const std::vector<std::pair<int, int>> codeOnly = {{1, 1}, {2, 12}, {3, 3}, {5, 5}, {6, 14}, {7, 30}, {8, 65}, {11, 7}};
    for (const auto& [type, number] : edges)
        events += std::string(R"({"type": )") + std::to_string(type) + R"(, "number": )" + std::to_string(number) + R"(, "code": ""}, )";
    for (const auto& [type, number] : codeOnly)
        events += std::string(R"({"type": )") + std::to_string(type) + R"(, "number": )" + std::to_string(number) + R"(, "code": ""}, )";
    PackProject project;
    PackOutput out;
    std::string error;
    ASSERT_TRUE(GamePack_ParseProject(R"({"objects": [{"name": "o", "events": [)" + events.substr(0, events.size() - 2) + R"(]}],
        "backgrounds": [{"name": "b", "image": "tiles.png"}],
        "fonts": [{"name": "f", "ttf": ")" + std::string(kFont) + R"(", "first": 19968, "last": 19975}],
        "timelines": [{"name": "t", "moments": [{"time": -4, "code": ""}, {"time": 2.0, "code": ""}]}],
        "rooms": [{"name": "r", "instances": [{"object": "o", "colour": 255, "alpha": 0.5}], "tiles": [{"background": "b"}]}]})",
                                      dir.Path(), project, error))
        << error;
    ASSERT_TRUE(GamePack_Build(project, out, error)) << error;
    ASSERT_EQ(project.warnings.size(), codeOnly.size() + 2);
    // Characters the face has no glyph for would draw as its empty box.
    EXPECT_EQ(project.warnings[0], "font f: " + std::string(kFont) + " has no glyph for 8 of the characters 19968 to 19975 "
                                   "(U+4E00, U+4E01, U+4E02, U+4E03, U+4E04, ...), which draw as the face's empty box; give "
                                   "a \"ttf\" that holds them, or other \"first\" and \"last\"");
    project.warnings.erase(project.warnings.begin());
    EXPECT_EQ(project.warnings[0], "time line t, moment -4: a moment below 0 runs only when code moves the position below 0 "
                                   "(timeline_position set so, or a negative timeline_speed without timeline_loop); a time "
                                   "line starts at 0");
    EXPECT_EQ(project.warnings[6].rfind("object o, other event 30: the run loop never runs it", 0), 0u) << project.warnings[6];
    EXPECT_NE(project.warnings[8].find("only event_perform and event_perform_object do. For an event of the game's own, use a "
                                       "user event: other 10 to 25"),
              std::string::npos);
    Packed p{out.game};
    const uint32_t o = p.Entry("OBJT", 0);
    std::vector<std::pair<int, int>> packed;
    for (uint32_t type = 0; type < 12; ++type) {
        const uint32_t list = p.U(o + 84 + 4 * type);
        for (uint32_t k = 0; k < p.U(list); ++k) packed.emplace_back(int(type), int(p.U(p.U(list + 4 + 4 * k))));
    }
    std::vector<std::pair<int, int>> sorted = edges;
    sorted.insert(sorted.end(), codeOnly.begin(), codeOnly.end());
    std::sort(sorted.begin(), sorted.end());
    std::sort(packed.begin(), packed.end());
    EXPECT_EQ(packed, sorted);
    EXPECT_EQ(p.I(p.Entry("TMLN", 0) + 16), 2) << "the moment's time";
    const uint32_t r = p.Entry("ROOM", 0), tile = p.U(p.U(r + 52) + 4);
    EXPECT_EQ(p.U(p.U(p.U(r + 48) + 4) + 28), 0x800000FFu) << "red at half opacity";
    EXPECT_EQ(p.U(tile + 44), 0xFFFFFFFFu) << "white, opaque by default";
    EXPECT_EQ(p.I(tile + 20), 16) << "the background's width";
    EXPECT_EQ(p.I(tile + 24), 12) << "and height";
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

// An 8-bit palette PNG of 4 x 2 pixels whose palette holds colours (red, green...), written
// byte by byte: libpng's writer refuses an index past the palette.
void WriteIndexedPng(const std::string& path, int colours, const std::vector<uint8_t>& indexes)
{
    auto chunk = [](std::string& out, const char* tag, const std::string& data) {
        auto u32 = [&](uint32_t v) { for (int k = 3; k >= 0; --k) out += char(v >> (8 * k)); };
        u32(uint32_t(data.size()));
        const std::string body = tag + data;
        out += body;
        u32(uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
    };
    std::string raw, out = "\x89PNG\r\n\x1a\n";
    for (size_t y = 0; y < 2; ++y) raw += '\0' + std::string(indexes.begin() + 4 * y, indexes.begin() + 4 * y + 4);
    std::string packed(compressBound(uLong(raw.size())), '\0');
    uLongf size = uLongf(packed.size());
    compress(reinterpret_cast<Bytef*>(&packed[0]), &size, reinterpret_cast<const Bytef*>(raw.data()), uLong(raw.size()));
    chunk(out, "IHDR", std::string("\0\0\0\4\0\0\0\2\x08\x03\0\0\0", 13));
    chunk(out, "PLTE", std::string("\xFF\0\0\0\xFF\0\0\0\xFF", size_t(colours) * 3));
    chunk(out, "IDAT", packed.substr(0, size));
    chunk(out, "IEND", "");
    Scratch_WriteFile(path, out);
}

TEST_F(Packer, MistakesAreRefusedWithWhatWhereAndWhichFile)
{
    // Hostile and mistaken manifests: each is refused with a message that names what is wrong,
    // the resource, the key and the file, never packed into a game that holds something else
    // than was written or that the runner refuses, and never a crash.
    TestImage_WritePng(dir / "wide.png", TestImage(16386, 1, 9, 9, 9, 255));
    Scratch_WriteFile(dir / "ctrl_step.zbl", "x += 1;\nif (x > 3 {\n  game_end();\n}\n");
    Scratch_WriteFile(dir / "latin1.zbl", "x = 1;\nshow_debug_message(\"caf\xE9 ok\");\n");
    Scratch_WriteFile(dir / "utf16.zbl", std::string("\xFF\xFEx\0=\0", 6));
    Scratch_WriteFile(dir / "utf16be.zbl", std::string("\0x\0=\0 \0""1", 8));
    Scratch_WriteFile(dir / "open.zbl", "x = 1;\nglobal.t = 'xyz");
    // A palette of 2 colours, and a pixel of index 5.
    WriteIndexedPng(dir / "indexed.png", 2, {0, 1, 0, 1, 0, 5, 1, 0});
    Scratch_WriteFile(dir / "dash.zbl", "// caf\xC3\xA9 \xE2\x80\x93 in a comment\nv \xE2\x80\x93= 3; s = '\xE2\x80\x9C';\n");
    const std::string room = R"("rooms": [{"name": "r"}])";
    auto with = [&](const std::string& body) { return "{" + body + ", " + room + "}"; };
    auto constant = [&](const std::string& value) { return with(R"("constants": {"K": )" + value + "}"); };
    auto script = [&](const std::string& file) { return with(R"("scripts": [{"name": "s", "file": ")" + file + R"("}])"); };
    auto tile = [&](const std::string& keys) {
        return R"({"backgrounds": [{"name": "b", "image": "tiles.png"}], "rooms": [{"name": "r", "tiles": [{"background": "b", )" +
               keys + "}]}]}";
    };
    const std::string obj = R"("objects": [{"name": "o", "events": [)";
    const std::pair<std::string, std::string> bad[] = {
        // The JSON itself: where the syntax breaks, and an empty or wrong kind of manifest.
        {"{\n  \"rooms\": [1 2]\n}", "not valid JSON at line 2, column 15: array value separator ',' expected"},
        {"{\"rooms\": [", "ends (line 1, column 12) before its JSON is complete"},
        {" \n", "the manifest is empty"},
        {"[]", "must be a JSON object ({...}), not a list"},
        {with(R"("name": "a"} {"b": 1)"), "more text after its JSON object, at line 1, column 15"},
        {"{}", "the project has no rooms"},
        // Limits of the runner's loaders, with the resource's name.
        {with(R"("sprites": [{"name": "spr_wide", "image": "wide.png"}])"),
         "sprite spr_wide: its frames are 16386 x 1 pixels; a sprite's frames are at most 8192 pixels a side"},
        {with(R"("backgrounds": [{"name": "bg_wide", "image": "wide.png"}])"),
         "background bg_wide: its image of 16386 x 1 pixels is more than a texture page holds (at most 8192 pixels a side)"},
        {with(R"("fonts": [{"name": "fnt_ui", "ttf": "/no/such.ttf", "size": 600}])"),
         "font fnt_ui: \"size\" is 600; it must be a whole number from 1 to 512"},
        {with(R"("fonts": [{"name": "fnt_ui", "ttf": "nope.ttf"}])"), "font fnt_ui: cannot read the \"ttf\" file "},
        {with(R"("fonts": [{"name": "fnt_ui", "ttf": "strip.png"}])"), "strip.png is not a font file FreeType reads"},
        {with(R"("fonts": [{"name": "fnt_ui", "size": 9}])"), "font fnt_ui: \"ttf\" is missing"},
        {with(R"("fonts": [{"name": "fnt_ui", "ttf": ")" + std::string(kFont) + R"(", "first": 90, "last": 80}])"),
         "font fnt_ui: \"first\" (90) is above \"last\" (80)"},
        {with(obj + R"({"type": "keypress", "number": 256, "code": ""}]}])"),
         "object o, events[0]: \"number\" is 256; it must be a whole number from 0 to 255"},
        {with(R"("options": {"words": {"26": 99}})"), "word 26"},
        // What the project says, never dropped without a word.
        {with(obj + R"({"type": "step", "code": "a = 1;"}, {"type": "step", "code": "a = 2;"}]}])"),
         "object o: the step event 0 is given twice (events[0] and events[1])"},
        {with(obj + R"({"type": "collision", "number": "o", "code": ""}, {"type": 4, "number": 0, "code": ""}]}])"),
         "object o: the collision event with o is given twice"},
        {with(obj + R"({"type": "step", "fille": "x.zbl"}]}])"), "object o, step event 0: unknown key \"fille\""},
        {with(R"("objects": [{"name": "o", "sprits": "s"}])"), "object o: unknown key \"sprits\" (the keys here are name, sprite"},
        {with(R"("objects": [{"name": "o", "solidd": true}])"), "object o: unknown key \"solidd\""},
        {with(R"("spritess": [])"), "unknown key \"spritess\""},
        {with(obj + R"({"type": "create"}]}])"), "object o, create event: has neither \"file\" nor \"code\""},
        {with(R"("timelines": [{"name": "t", "moments": [{"time": 3}]}])"), "time line t, moment 3: has neither"},
        {with(obj + R"({"type": "create", "code": "", "file": "move.zbl"}]}])"), "both \"file\" and \"code\" are given"},
        {with(R"("sprites": [{"name": "s", "image": "strip.png", "images": ["strip.png"]}])"), "sprite s: \"images\" (one file a frame) and \"image\""},
        {with(R"("sprites": [{"name": "s", "image": "strip.png", "bbox_mode": 1, "bbox": [0, 0, 1, 1]}])"), "\"bbox_mode\" is 1"},
        // Code the runner would refuse at start-up, in both modes: the file, object, event, line.
        {with(R"("objects": [{"name": "obj_controller", "events": [{"type": "step", "file": "ctrl_step.zbl"}]}])"),
         "object obj_controller, step event 0 (file ctrl_step.zbl) does not compile: Error in code at line 2:\n   if (x > 3 {"},
        {R"({"mode": "bytecode", )" + with(R"("objects": [{"name": "obj_controller", "events": [{"type": "step", "file": "ctrl_step.zbl"}]}])").substr(1),
         "object obj_controller, step event 0 (file ctrl_step.zbl) does not compile: Error in code at line 2"},
        {with(R"("constants": {"SPEED": "4 +"})"), "constant SPEED: its value \"4 +\" does not compile"},
        {with(R"("constants": {"SPEED": "x"})"), "constant SPEED: its value \"x\" is not a constant expression"},
        {with(R"("constants": {"my-speed": 4})"), "constants: \"my-speed\" is not a valid constant name"},
        // Names that would hide a built-in, and names of the wrong kind.
        {with(R"("scripts": [{"name": "draw_text", "code": ""}])"), "script draw_text: the name is a built-in function"},
        {with(R"("sprites": [{"name": "repeat", "image": "strip.png"}])"), "sprite repeat: the name is a keyword of ZBL"},
        {with(R"("objects": [{"name": "x"}])"), "object x: the name is a built-in variable"},
        {with(R"("paths": [{"name": "c_red"}])"), "path c_red: the name is a built-in constant"},
        {with(R"("constants": {"os_linux": 3})"), "constant os_linux: the name is a built-in constant"},
        {with(R"("constants": {"r": 3})"), "constant \"r\" has the name of another room"},
        {R"({"sprites": [{"name": "spr", "image": "strip.png"}], "rooms": [{"name": "r", "instances": [{"object": "spr"}]}]})",
         "room r, instances[0]: \"object\" names sprite spr, not an object"},
        {with(R"("objects": [{"name": "o", "sprite": "nope"}])"), "object o: \"sprite\" names no sprite \"nope\""},
        // Files that cannot be read say why.
        {with(R"("scripts": [{"name": "s", "file": "nope.zbl"}])"), "script s: cannot read the ZBL file "},
        {with(R"("sprites": [{"name": "s", "image": "missing.png"}])"), "missing.png: No such file or directory"},
        {with(R"("sprites": [{"name": "s", "image": "move.zbl"}])"), "move.zbl: not a PNG file"},
        {with(obj + R"({"type": "stepp", "code": ""}]}])"),
         "object o, events[0]: \"type\" is \"stepp\"; an event type is a number 0 to 11 or create"},
        {with(R"("timelines": [{"name": "t", "moments": [{"time": 5, "code": ""}, {"time": 5, "code": ""}]}])"), "ascending"},
        {with(R"("options": {"no_such_option": 1})"), "options: unknown option \"no_such_option\" (the options are abort_on_all_errors"},
        // Hostile values.
        {with(R"("constants": {"A": null})"), "\"A\""},
        {with(R"("constants": {"A": [5]})"), "\"A\""},
        {R"({"first_instance_id": 2147483647, "objects": [{"name": "o"}], "rooms": [{"name": "r", "instances": [{"object": "o"}]}]})", "2147483647"},
        {R"({"first_tile_id": 2147483647, "backgrounds": [{"name": "b", "image": "tiles.png"}], "rooms": [{"name": "r", "tiles": [{"background": "b"}]}]})", "2147483647"},
        {with(R"("sprites": [{"name": "s", "image": "strip.png", "frames": 25}])"), "frames"},
        {with(R"("sprites": [{"name": "s", "image": "strip.png", "frames": -3}])"), "frames"},
        {with(R"("format_version": 269)"), "format_version"},
        {with(R"("game_id": 1099511627776)"), "game_id"},
        {with(R"("options": {"words": {"abc": 1}})"), "abc"},
        {with(R"("objects": [{"name": "a"}, {"name": "a"}])"), "\"a\""},
        {with(R"("scripts": [{"name": "r", "code": ""}])"), "\"r\""},
        {with(R"("objects": [{"name": ""}])"), "objects[0]: \"name\" is missing"},
        {with(R"("objects": ["o"])"), "objects[0] must be an object"},
        {with(R"("objects": [{"name": "o\u0000x"}])"), "zero byte"},
        {with(R"("objects": {"name": "o"})"), "objects"},
        {with(R"("objects": [{"name": "a", "parent": "b"}, {"name": "b", "parent": "a"}])"), "parents"},
        {with(R"("objects": [{"name": "a", "parent": "a"}])"), "parents"},
        {with(R"("objects": [{"name": "a", "events": [{"type": "collision", "number": 9, "code": ""}]}])"), "collision"},
        {with(R"("objects": [{"name": "a", "events": [{"type": "create", "code": 5}]}])"), "code"},
        {with(R"("objects": [{"name": "a", "events": [{"type": "step", "number": "a"}]}])"), "number"},
        {with(R"("window": {"width": -7})"), "width"},
        {R"({"rooms": [{"name": "r", "speed": 0}]})", "speed"},
        {R"({"objects": [{"name": "o"}], "rooms": [{"name": "r", "instances": [{"object": "o", "x": 1e300}]}]})", "\"x\""},
        {with(R"("paths": [{"name": "p", "points": [5]}])"), "points"},
        {R"({"rooms": [{"name": "r"}], "room_order": ["r", "r"]})", "^room_order[1] names room r, which an element before it names"},
        {R"({"rooms": [{"name": "r"}], "room_order": ["r", "q"]})", "^room_order[1] names no room \"q\""},
        // The place of a value refused is that of the value, not of a list read before it.
        {R"({"objects": [{"name": "o"}], "rooms": [{"name": "rm_main", "views": [{"x": 0}], "instances": {"object": "o"}}]})",
         "^room rm_main: \"instances\" must be a list"},
        {R"({"objects": [{"name": "o"}], "rooms": [{"name": "rm_main", "instances": [{"object": "o"}], "tiles": {}}]})",
         "^room rm_main: \"tiles\" must be a list"},
        // What would play otherwise than written: ids the runner reads as object indexes,
        // columns of a strip left out, keys read twice, names code cannot write, boxes that
        // are none, cut times, a save area's name, colours as alpha.
        {R"({"first_instance_id": 99998, "rooms": [{"name": "r"}]})",
         "\"first_instance_id\" is 99998, so the first instance would be 99999; instance ids are 100000 and up"},
        {with(R"("sprites": [{"name": "s", "image": "strip.png", "frames": 5}])"),
         "sprite s: \"frames\" is 5, which does not divide the image's width of 24 pixels"},
        {with(obj + R"({"type": "collision", "code": ""}]}])"), "object o, events[0]: a collision event needs \"number\""},
        {with(obj + R"({"type": "keyboard", "number": "vk_left", "code": ""}]}])"),
         "\"number\" is \"vk_left\", but a keyboard event's number is a key code"},
        {"{\"rooms\": [{\"name\": \"r\"}],\n \"objects\": [{\"name\": \"o\", \"events\": [],\n \"events\": []}]}",
         "the manifest gives the key \"events\" twice in one object (line 2 and line 3)"},
        {with(R"("na\u006De": "a", "name": "b")"), "the key \"name\" twice"},
        {"{\"rooms\": [{\"name\": \"r\"}] // the room\n}", "line 1, column 27: a comment"},
        {with(R"("objects": [{"name": "o"},])"), "a comma after the last item"},
        {with(R"("objects": [{"name": "o", "depth": true}])"), "object o: \"depth\" is true; it must be a number"},
        {with(R"("objects": [{"name": "o", "visible": 2}])"), "object o: \"visible\" is 2; it must be true or false"},
        {with(R"("objects": [{"name": "o", "sprite": null}])"), "\"sprite\": null at line 1, column 38; null is no value here"},
        {with(R"('name': "Game")"), "line 1, column 2: a text in single quotes"},
        {with(R"("objects": [{"name": "obj-a"}])"), "objects[0]: \"name\" is \"obj-a\", which code cannot write"},
        {with(R"("sprites": [{"name": "spr_\u00e9", "image": "strip.png"}])"), "which code cannot write"},
        {with(R"("scripts": [{"name": "1up", "code": ""}])"), "which code cannot write"},
        {with(R"("objects": [{"name": "o "}])"), "\"name\" is \"o \", which code cannot write"},
        {with(R"("sprites": [{"name": "s", "image": "strip.png", "bbox_mode": 2}])"), "no \"bbox\" [left, top, right, bottom]"},
        {with(R"("sprites": [{"name": "s", "image": "strip.png", "bbox": [5, 0, 2, 4]}])"), "its right lies left of its left"},
        {with(R"("sprites": [{"name": "s", "image": "strip.png", "bbox": [0, 4, 2, 3]}])"), "its bottom lies above its top"},
        {with(R"("timelines": [{"name": "t", "moments": [{"time": 1.5, "code": ""}, {"time": 1.7, "code": ""}]}])"),
         "time line t, moments[0]: \"time\" is 1.5"},
        {with(R"("name": "AC/DC")"), "\"name\" is \"AC/DC\"; it names the game's save area folder"},
        {with(R"("name": ")" + std::string(256, 'n') + "\""), "(256 bytes); it names the game's save area folder"},
        {R"({"objects": [{"name": "o"}], "rooms": [{"name": "r", "instances": [{"object": "o", "colour": 4278190335}]}]})",
         "\"colour\" is 4278190335; it must be a whole number from 0 to 16777215 (blue * 65536 + green * 256 + red); the opacity is \"alpha\""},
        {R"({"backgrounds": [{"name": "b", "image": "tiles.png"}], "rooms": [{"name": "r", "tiles": [{"background": "b", "alpha": 2}]}]})",
         "room r, tiles[0]: \"alpha\" is 2; it must be 0 to 1"},
        // Images a texture (8192 pixels a side) cannot hold: a frame just over it.
        {with(R"("sprites": [{"name": "spr_over", "image": "wide.png", "frames": 2}])"),
         "sprite spr_over: its frames are 8193 x 1 pixels; a sprite's frames are at most 8192 pixels a side"},
        // Values and code the runner would read otherwise than written: a constant's first
        // expression only, a Latin-1 byte as another character, an en dash as a blank, pixels
        // of another picture of the page; a name that is no folder of its own.
        {constant(R"("1e3")"), "constant K: its value \"1e3\" holds more than one expression: the game reads only \"1\" and passes over \"e3\""},
        {constant(R"("0,5")"), "reads only \"0\" and passes over \",5\""},
        {constant(R"("")"), "constant K: its value \"\" is empty"},
        {constant(R"(" /* none */ ")"), "is empty"},
        {constant("1e300"), "constants: \"K\" is 1e300, which ZBL cannot write so that it reads the same value"},
        {constant("100000000000000000000"), "beyond the 64-bit range"},
        {constant(R"("3 \u2013 1")"), "its value \"3 \u2013 1\": line 1, column 3 holds \"\u2013\" (U+2013)"},
        {script("latin1.zbl"), "script s: the ZBL file " + (dir / "latin1.zbl") + " is not UTF-8 text: line 2, column 24 holds the byte 0xE9"},
        {script("utf16.zbl"), "is UTF-16 text (it begins with a UTF-16 byte-order mark)"},
        {script("utf16be.zbl"), "is UTF-16 text (every other byte is zero)"},
        {script("dash.zbl"), "script s (file dash.zbl): line 2, column 3 holds \"\u2013\" (U+2013) outside a text or comment, where "
                             "the compiler passes over it as a blank, so the code would play otherwise than written (a "
                             "typographic dash or minus: write -)"},
        {with(R"("objects": [{"name": "o", "events": [{"type": "create", "code": "show_debug_message(\u201Chello\u201D);"}]}])"),
         "object o, create event (inline code): line 1, column 20 holds \"\u201C\" (U+201C) outside a text or comment"},
        {script("Move.zbl"), "No such file or directory (there is " + (dir / "move.zbl") + ": letter case counts in names here)"},
        {script("sub\\\\move.zbl"), "No such file or directory (\"\\\" is no folder separator here: write \"/\")"},
        {tile(R"("left": 16)"), "room r, tiles[0]: its region (left 16, top 0) leaves background b, which is 16 x 12 pixels"},
        {tile(R"("top": 4, "width": 2, "height": 9)"), "its region (left 0, top 4, width 2, height 9) leaves background b"},
        {tile(R"("width": 0)"), "room r, tiles[0]: \"width\" is 0; it must be a whole number from 1"},
        {with(R"("name": "")"), "\"name\" is \"\"; it names the game's save area folder, so it is not empty, \".\" or \"..\""},
        {with(R"("name": ".")"), "\"name\" is \".\"; it names the game's save area folder"},
        {with(R"("name": "..")"), "\"name\" is \"..\"; it names the game's save area folder"},
        // Keys left out where no default is plainly meant: which key, button, alarm or other
        // event, which moment, which background.
        {with(obj + R"({"type": "keyboard", "code": ""}]}])"),
         "object o, events[0]: \"number\" is missing: a keyboard event's number is a key code"},
        {with(obj + R"({"type": "other", "code": ""}]}])"), "\"number\" is missing: an other event's number is 0 to 9"},
        {with(R"("timelines": [{"name": "t", "moments": [{"code": ""}]}])"), "time line t, moments[0]: \"time\" is missing"},
        {R"({"rooms": [{"name": "r", "tiles": [{"x": 4}]}]})", "room r, tiles[0]: \"background\" is missing"},
        // Whole numbers ZBL cannot hold, and numbers past the 64-bit range, shown as written.
        {constant("9007199254740993"), "constants: \"K\" is 9007199254740993, a whole number that ZBL cannot hold: its "
                                       "numbers are 64-bit floating point, every whole number up to 9007199254740992 (2^53) and "
                                       "fewer past it, so the game would read 9007199254740992"},
        {constant("12345678901234567"), "so the game would read 12345678901234568"},
        {constant(std::string(400, '7')), "the manifest has the number 7777777777777777777777777777777777777777... (400 digits) "
                                          "at line 1, column 21 (\"K\"), beyond the 64-bit range"},
        {with(R"("objects": [{"name": "o", "depth": -)" + std::string(30, '9') + "}]"), "the number -" + std::string(30, '9') + " at"},
        // A text left open at the end of code or a constant: the runner would read it with
        // two blanks of its own.
        {constant(R"("\"abc")"), "constant K: its value \"\"abc\": line 1, column 1 opens a text with \" that is never closed"},
        {script("open.zbl"), "script s (file open.zbl): line 2, column 12 opens a text with ' that is never closed"},
        // A list of the wrong kind is named itself, whatever was read before it.
        {R"({"scripts": [{"name": "scr_log", "code": ""}], "fonts": {"name": "f"}, "rooms": [{"name": "r"}]})",
         "^\"fonts\" must be a list"},
        {R"({"scripts": [{"name": "scr_log", "code": ""}], "rooms": {"name": "r"}})", "^\"rooms\" must be a list"},
        {with(R"("sprites": [{"name": "s", "images": []}])"), "sprite s: \"images\" is an empty list"},
        {with(R"("sprites": [{"name": "s", "image": "indexed.png"}])"),
         "indexed.png: pixel (1, 1) has the palette index 5, past its palette of 2 colours"},
        {with(R"("objects": [{"name": "o\ud800"}])"), "line 1, column 25: \\ud800 is half of a UTF-16 surrogate pair"},
        // Options of another kind: "words" is an object of words (it had crashed the packer),
        // every option a number or true or false, and so is each word.
        {R"({"name":"W","options":{"words":[1,2]},"rooms":[{"name":"rm"}]})", "^options: \"words\" must be an object"},
        {with(R"("options": {"words": "26"})"), "^options: \"words\" must be an object"},
        {with(R"("options": {"words": 5})"), "^options: \"words\" must be an object"},
        {with(R"("options": {"fullscreen": true, "words": true})"), "^options: \"words\" must be an object"},
        {with(R"("options": {"words": {"3": "on"}})"), "^options, words: \"3\" is \"on\"; it must be a number, or true or false"},
        {with(R"("options": [1])"), "^\"options\" must be an object"},
        {constant("-9223372036854775808"), "constants: \"K\" is -9223372036854775808, which has more digits (19) than a ZBL "
                                           "number holds exactly (every whole number up to 9007199254740992, 2^53): the game "
                                           "reads a number's digits one after another, so \"-9223372036854775808\" would "
                                           "read as -9223372036854777856"},
    };
    PackOutput out;
    std::string error;
    std::string many = R"({"rooms": [{"name": "r"}], "objects": [)";
    for (int k = 0; k <= 100000; ++k) many += (k ? ",{\"name\":\"o" : "{\"name\":\"o") + std::to_string(k) + "\"}";
    EXPECT_FALSE(TestPackTry(many + "]}", dir.Path(), out, error)) << "object numbers from 100000 up are instance ids";
    EXPECT_NE(error.find("100000 objects"), std::string::npos) << error;
    // Each option given a value of another kind: a text, a list, an object, a fraction.
    std::vector<std::pair<std::string, std::string>> options;
    for (const char* option : {"fullscreen", "new_audio", "cursor", "window_colour", "set_display", "colour_depth",
                               "resolution", "frequency", "alt_enter", "freeze_on_lost_focus", "abort_on_all_errors",
                               "uninitialised_zero", "create_event_first"})
        for (const char* value : {R"("1")", "[1]", R"({"a":1})"})
            options.emplace_back(with(R"("options": {")" + std::string(option) + "\": " + value + "}"),
                                 "^options: \"" + std::string(option) + "\" is " + value +
                                     "; it must be a number, or true or false");
    options.emplace_back(with(R"("options": {"alt_enter": 0.5})"),
                         "^options: \"alt_enter\" is 0.5; it must be a whole number from -2147483648 to 4294967295");
    for (const auto& [manifest, message] : options) {
        error.clear();
        EXPECT_FALSE(TestPackTry(manifest, dir.Path(), out, error)) << manifest;
        EXPECT_EQ(error.rfind(message.substr(1), 0), 0u) << manifest << "\n" << error;
    }
    for (const auto& [manifest, message] : bad) { // "^": the message begins so
        error.clear();
        EXPECT_FALSE(TestPackTry(manifest, dir.Path(), out, error)) << manifest;
        if (message[0] == '^') EXPECT_EQ(error.rfind(message.substr(1), 0), 0u) << manifest << "\n" << error;
        else EXPECT_NE(error.find(message), std::string::npos) << manifest << "\n" << error;
    }
    // A leading byte-order mark is only skipped.
    EXPECT_TRUE(TestPackTry("\xEF\xBB\xBF" + with(R"("name": "Bom")"), dir.Path(), out, error)) << error;
}

TEST_F(Packer, NumberConstantsAreSpeltSoThatTheGameReadsTheirValue)
{
    // ZBL numbers have no exponent and their digits are summed as they come (0.3 reads as
    // 0.30000000000000004), so each JSON number is written so that the runner's compiler
    // reads it to the very value: the constant text of each, compiled as start-up compiles it.
    const std::vector<std::pair<std::string, double>> numbers = {
        {"FRICTION", 2.5e-3}, {"THIRD", 0.3}, {"HALF", 0.5}, {"NEG", -7.25}, {"BIG", 1e20}, {"TINY", 1e-7}, {"I", 12}, {"ZERO", 0},
        {"NEGZERO", -0.0}, {"EXACT", 9007199254740994.0}};
    std::string constants;
    for (const auto& [name, value] : numbers) {
        char text[64];
        std::snprintf(text, sizeof text, value == 0 && std::signbit(value) ? "-0.0" : "%.17g", value);
        constants += (constants.empty() ? "\"" : ", \"") + name + "\": " + text;
    }
    Packed p{TestPack(R"({"constants": {)" + constants + R"(}, "rooms": [{"name": "r"}]})", dir.Path()).game};
    uint32_t data = 0, length = 0;
    ASSERT_TRUE(TestFindChunk(p.f, "OPTN", data, length));
    ASSERT_EQ(p.U(data + 140), numbers.size());
    for (size_t k = 0; k < numbers.size(); ++k) {
        const std::string text = p.S(data + 148 + 8 * uint32_t(k));
        CCode unit(text.c_str(), true);
        ASSERT_TRUE(unit.Compile("Constant")) << text;
        ASSERT_EQ(unit.m_kind, CODE_CONSTANT) << text;
        EXPECT_EQ(unit.m_constant.real, numbers[k].second) << numbers[k].first << " written as " << text;
        EXPECT_EQ(std::signbit(unit.m_constant.real), std::signbit(numbers[k].second)) << numbers[k].first << " written as " << text;
    }
    EXPECT_EQ(p.S(data + 148), "0.0025");
    EXPECT_EQ(p.S(data + 148 + 8), "3 / 10");
    EXPECT_EQ(p.S(data + 148 + 8 * 6), "12");
}

// A one-pixel PNG written with libpng itself (the test support writes 8-bit RGBA only): depth 8
// or 16, colour type RGB or RGBA, samples big-endian as the file holds them; gamma, when not 0,
// is stored as a gAMA chunk.
void WritePng(const std::string& path, int depth, int colourType, const std::vector<uint16_t>& samples, double gamma)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, 1, 1, depth, colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (gamma != 0) png_set_gAMA(png, info, gamma);
    png_write_info(png, info);
    std::vector<uint8_t> row;
    for (uint16_t v : samples) {
        if (depth == 16) row.push_back(uint8_t(v >> 8));
        row.push_back(uint8_t(v));
    }
    png_write_row(png, row.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
}

TEST_F(Packer, PngColoursArePackedAsTheFileHoldsThem)
{
    // 16-bit channels keep their high byte (green 0xC8C8 is 200, not a linear value made
    // sRGB), and a gamma chunk changes nothing: the runner's own decoder reads files so.
    WritePng(dir / "deep.png", 16, PNG_COLOR_TYPE_RGB_ALPHA, {0x1234, 0xC8C8, 0xFFFF, 0x8080}, 0);
    WritePng(dir / "linear.png", 8, PNG_COLOR_TYPE_RGB, {10, 200, 30}, 1.0);
    Packed p{TestPack(R"({"sprites": [{"name": "deep", "image": "deep.png"}, {"name": "lin", "image": "linear.png"}],
                         "rooms": [{"name": "r"}]})",
                      dir.Path())
                 .game};
    const std::vector<PackImage> pages = p.Pages();
    EXPECT_EQ(p.Pixel(pages, p.U(p.Entry("SPRT", 0) + 60), 0, 0), 0x12C8FF80u);
    EXPECT_EQ(p.Pixel(pages, p.U(p.Entry("SPRT", 1) + 60), 0, 0), 0x0AC81EFFu);
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

TEST_F(Packer, InputsThatAreNotPlainFilesAreRefusedWithoutWaiting)
{
    // A named pipe, a device or a folder given as a ZBL file, an image, a font or the manifest:
    // refused at once with what it is (the packer neither waits in an open nor reads without
    // end).
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
    ASSERT_EQ(mkdir((dir / "folder").c_str(), 0700), 0);
    const std::pair<std::string, const char*> kinds[] = {{"pipe", "a named pipe, not a plain file"},
                                                         {"/dev/zero", "a device, not a plain file"},
                                                         {"folder", "a folder, not a plain file"}};
    for (const auto& [file, why] : kinds) {
        SCOPED_TRACE(file);
        for (const std::string resource : {R"("scripts": [{"name": "s", "file")", R"("sprites": [{"name": "s", "image")",
                                            R"("fonts": [{"name": "f", "ttf")"}) {
            PackOutput out;
            std::string error;
            EXPECT_FALSE(TestPackTry("{" + resource + ": \"" + file + R"("}], "rooms": [{"name": "r"}]})", dir.Path(), out, error));
            EXPECT_NE(error.find(file + ": " + why), std::string::npos) << error;
        }
        PackProject project;
        std::string error;
        EXPECT_FALSE(GamePack_LoadProject(file[0] == '/' ? file : dir / file, project, error));
        EXPECT_NE(error.find("cannot read the manifest "), std::string::npos) << error;
        EXPECT_NE(error.find(why), std::string::npos) << error;
    }
}

TEST_F(Packer, OutputsAreReplacedWholeOrNotAtAll)
{
    // The game file and its companion go into place together: when the second cannot (a folder
    // stands where it goes), the first is put back as it was, and no temporary file stays.
    ASSERT_EQ(mkdir((dir / "out").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((dir / "out/game.kvdebug").c_str(), 0700), 0);
    Scratch_WriteFile(dir / "out/game.win", "earlier game");
    ASSERT_EQ(chmod((dir / "out/game.win").c_str(), 0640), 0);
    const std::vector<uint8_t> game{'n', 'e', 'w'}, debug{'d', 'b', 'g'};
    const std::vector<PackFile> files{{dir / "out/game.win", &game}, {dir / "out/game.kvdebug", &debug}};
    std::string error;
    EXPECT_FALSE(GamePack_WriteFiles(files, error));
    EXPECT_EQ(error, "cannot write " + dir / "out/game.kvdebug" + ": " + std::strerror(EISDIR));
    EXPECT_EQ(Scratch_ReadFile(dir / "out/game.win"), "earlier game");
    EXPECT_EQ(Scratch_List(dir / "out"), (std::set<std::string>{"game.kvdebug", "game.win"}));

    // Once it can, both are replaced; the game file keeps the earlier one's mode.
    ASSERT_EQ(rmdir((dir / "out/game.kvdebug").c_str()), 0);
    EXPECT_TRUE(GamePack_WriteFiles(files, error)) << error;
    EXPECT_EQ(Scratch_ReadFile(dir / "out/game.win"), "new");
    EXPECT_EQ(Scratch_ReadFile(dir / "out/game.kvdebug"), "dbg");
    struct stat st;
    ASSERT_EQ(stat((dir / "out/game.win").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(Scratch_List(dir / "out"), (std::set<std::string>{"game.kvdebug", "game.win"}));
}

// A font's sheet as the packer renders it: the alpha of pixel (x, y) of glyph c's cell.
struct Sheet {
    PackFont font;
    Sheet(const PackFont& f) : font(f)
    {
        std::string error;
        EXPECT_TRUE(GamePack_RenderFont(font, error)) << error;
    }
    uint8_t Alpha(char c, int32_t x, int32_t y) const
    {
        const PackGlyph& g = font.glyphs.at(size_t(c - font.first));
        return font.image.rgba[(size_t(g.y + y) * size_t(font.image.width) + size_t(g.x + x)) * 4 + 3];
    }
    // The leftmost inked column of glyph c's first and last inked rows.
    std::pair<int32_t, int32_t> Edges(char c) const
    {
        std::vector<int32_t> left;
        const PackGlyph& g = font.glyphs.at(size_t(c - font.first));
        for (int32_t y = 0; y < g.height; ++y)
            for (int32_t x = 0; x < g.width; ++x)
                if (Alpha(c, x, y) > 127) {
                    left.push_back(x);
                    break;
                }
        return left.empty() ? std::pair<int32_t, int32_t>{0, 0} : std::pair{left.front(), left.back()};
    }
};

TEST(PackerFonts, BoldItalicAndAntialiasChangeTheSheet)
{
    // Antialias 0 inks each pixel fully or not at all, bold inks more and advances further,
    // italic leans (an upright I's top is above its bottom).
    PackFont base;
    base.ttf = kFont;
    base.size = 24;
    base.first = 'A';
    base.last = 'Z';
    PackFont bold = base, italic = base, sharp = base;
    bold.bold = true;
    italic.italic = true;
    sharp.antialias = 0;
    const Sheet plain(base), thick(bold), slanted(italic), aliased(sharp);
    auto levels = [](const Sheet& s) {
        std::set<uint8_t> seen;
        for (size_t i = 3; i < s.font.image.rgba.size(); i += 4) seen.insert(s.font.image.rgba[i]);
        return seen;
    };
    auto ink = [](const Sheet& s) {
        int64_t sum = 0;
        for (size_t i = 3; i < s.font.image.rgba.size(); i += 4) sum += s.font.image.rgba[i];
        return sum;
    };
    EXPECT_GT(levels(plain).size(), 16u);
    EXPECT_EQ(levels(aliased), (std::set<uint8_t>{0, 255}));
    EXPECT_GT(ink(thick), ink(plain) * 6 / 5);
    EXPECT_GT(thick.font.glyphs['I' - 'A'].shift, plain.font.glyphs['I' - 'A'].shift);
    EXPECT_EQ(plain.Edges('I').first, plain.Edges('I').second);
    EXPECT_GE(slanted.Edges('I').first - slanted.Edges('I').second, 3);
}

TEST_F(Packer, ASignalWhileWritingLeavesNoTemporaryFiles)
{
    // SIGTERM once the temporary files are written: they are removed and the earlier files
    // stay; SIGTERM between the two renames: it waits until both are in place. Either way the
    // packer then ends by the signal and leaves no other file.
    for (int stage : {0, 1}) {
        SCOPED_TRACE(stage);
        ScratchFolder out;
        Scratch_WriteFile(out / "game.win", "earlier game");
        Scratch_WriteFile(out / "game.kvdebug", "earlier debug");
        const std::vector<uint8_t> game(1 << 20, 'g'), debug{'d'};
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            static int at;
            at = stage;
            GamePack_SetWriteHook([](int reached) {
                if (reached == at) raise(SIGTERM);
            });
            std::string error;
            GamePack_WriteFiles({{out / "game.win", &game}, {out / "game.kvdebug", &debug}}, error);
            _exit(3);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
        EXPECT_EQ(Scratch_List(out.Path()), (std::set<std::string>{"game.kvdebug", "game.win"}));
        EXPECT_EQ(Scratch_ReadFile(out / "game.win"), stage == 0 ? "earlier game" : std::string(game.begin(), game.end()));
        EXPECT_EQ(Scratch_ReadFile(out / "game.kvdebug"), stage == 0 ? "earlier debug" : "d");
    }
}
