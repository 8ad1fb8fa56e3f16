// A corpus of broken game files made from packed games (source and byte code): each file cut
// at every chunk boundary and in the middle of every chunk, and every offset and count that the
// loader reads pushed out of range. Every one must fail the load, none may crash or hang.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "Files/Code/Code_Load.h"
#include "Files/Runner/Runner_Game.h"
#include "support/GameFileTools.h"
#include "support/ScratchFolder.h"

namespace {

struct Mutation {
    std::string what;
    std::vector<uint8_t> file;
};

const char* const kListChunks[] = {"EXTN", "SOND", "AUDO", "SPRT", "BGND", "PATH", "SCPT", "FONT",
                                   "TMLN", "OBJT", "ROOM", "DAFL", "TPAG", "TXTR", "CODE", "STRG"};

std::vector<Mutation> Corpus(const std::vector<uint8_t>& f)
{
    std::vector<Mutation> out;
    const uint32_t size = uint32_t(f.size());
    auto push = [&](const std::string& what, uint32_t at, uint32_t value) {
        for (uint32_t v : {value, 0xFFFFFFFFu}) {
            Mutation m{what + " = " + std::to_string(v), f};
            TestPutU32(m.file, at, v);
            out.push_back(std::move(m));
        }
    };
    // Chunk boundaries and chunk lengths.
    uint32_t at = 8;
    while (at + 8 <= size) {
        const std::string tag(reinterpret_cast<const char*>(&f[at]), 4);
        const uint32_t length = TestU32(f, at + 4);
        out.push_back({"cut before " + tag, std::vector<uint8_t>(f.begin(), f.begin() + at)});
        Mutation mid{"cut inside " + tag, std::vector<uint8_t>(f.begin(), f.begin() + at + 8 + length / 2)};
        TestPutU32(mid.file, 4, uint32_t(mid.file.size() - 8));
        out.push_back(std::move(mid));
        push(tag + " length", at + 4, size);
        at += 8 + length;
    }
    // Lists: the count, and every entry offset.
    for (const char* tag : kListChunks) {
        uint32_t data = 0, length = 0;
        if (!TestFindChunk(f, tag, data, length)) continue;
        push(std::string(tag) + " count", data, length / 4);
        const uint32_t count = TestU32(f, data);
        for (uint32_t i = 0; i < count; ++i)
            if (TestU32(f, data + 4 + 4 * i)) push(std::string(tag) + " entry " + std::to_string(i), data + 4 + 4 * i, size);
    }
    uint32_t data = 0, length = 0;
    // Header strings and the room order.
    if (TestFindChunk(f, "GEN8", data, length)) {
        for (uint32_t field : {4u, 8u, 40u, 100u}) push("GEN8 +" + std::to_string(field), data + field, size);
        push("GEN8 room count", data + 124, length / 4);
    }
    // Options: the constant count and every text offset.
    if (TestFindChunk(f, "OPTN", data, length)) {
        push("OPTN constant count", data + 140, length / 8);
        for (uint32_t i = 0; i < 2 * TestU32(f, data + 140); ++i) push("OPTN text " + std::to_string(i), data + 144 + 4 * i, size);
        push("OPTN data block", data + 104, size);
    }
    // Code bodies: names and lengths; each string entry; the texture records' images.
    if (TestFindChunk(f, "CODE", data, length))
        for (uint32_t i = 0; i < TestU32(f, data); ++i) {
            uint32_t e = TestU32(f, data + 4 + 4 * i);
            push("CODE name " + std::to_string(i), e, size);
            push("CODE length " + std::to_string(i), e + 4, size);
        }
    if (TestFindChunk(f, "TXTR", data, length))
        for (uint32_t i = 0; i < TestU32(f, data); ++i) push("TXTR image " + std::to_string(i), TestU32(f, data + 4 + 4 * i) + 4, size);
    if (TestFindChunk(f, "TPAG", data, length))
        for (uint32_t i = 0; i < TestU32(f, data); ++i) {
            // an entry that runs past the end of the file
            Mutation m{"TPAG entry at the end " + std::to_string(i), f};
            TestPutU32(m.file, data + 4 + 4 * i, size - 10);
            out.push_back(std::move(m));
        }
    // Reference records: names, counts and first references.
    for (const char* tag : {"VARI", "FUNC"}) {
        if (!TestFindChunk(f, tag, data, length)) continue;
        for (uint32_t r = data; r + 12 <= data + length; r += 12) {
            push(std::string(tag) + " name", r, size);
            push(std::string(tag) + " count", r + 4, 0x7FFFFFFF);
            push(std::string(tag) + " first", r + 8, size);
        }
    }
    // The container itself.
    push("body length", 4, size);
    Mutation magic{"magic", f};
    magic.file[0] = 'X';
    out.push_back(std::move(magic));
    return out;
}

class BrokenFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestBindHooks_Install();
        GamePack_SetCompiler(TestCompile);
        TestImage_WritePng(dir / "a.png", TestImage(8, 8, 1, 2, 3, 255));
    }
    void TearDown() override
    {
        TestBindHooks_Remove();
        GamePack_SetCompiler(nullptr);
        Header_Clear(g_GameHeader);
        Code_Clear();
    }
    void Check(const std::vector<uint8_t>& good)
    {
        TestLoad load;
        TestLoad_Run(load, good);
        ASSERT_TRUE(load.ok) << "the unbroken file loads";
        std::vector<Mutation> corpus = Corpus(good);
        EXPECT_GT(corpus.size(), 100u);
        for (const Mutation& m : corpus) {
            SCOPED_TRACE(m.what);
            TestLoad_Run(load, m.file);
            EXPECT_FALSE(load.ok);
        }
    }
    ScratchFolder dir;
};

const char* kGame = R"json({
  "name": "Broken", "mode": "%s",
  "constants": {"A": "1", "B": "'two'"},
  "sprites": [{"name": "s", "image": "a.png"}], "backgrounds": [{"name": "b", "image": "a.png"}],
  "paths": [{"name": "p", "points": [[1, 2, 3]]}],
  "scripts": [{"name": "scr", "code": "a = b; string_pos(\"text\", a); return a"}],
  "timelines": [{"name": "t", "moments": [{"time": 1, "code": "c = 2"}]}],
  "objects": [{"name": "o", "sprite": "s", "events": [{"type": "step", "code": "a = c; abs(a)"}]}],
  "rooms": [{"name": "r", "code": "d = \"x\"", "instances": [{"object": "o"}]}]
})json";

std::string Manifest(const char* mode)
{
    char buffer[2048];
    std::snprintf(buffer, sizeof buffer, kGame, mode);
    return buffer;
}

} // namespace

TEST_F(BrokenFiles, SourceModeFileEveryCutAndEveryPushedFieldFails)
{
    Check(TestPack(Manifest("source"), dir.Path()).game);
}

TEST_F(BrokenFiles, ByteCodeFileEveryCutAndEveryPushedFieldFails)
{
    Check(TestPack(Manifest("bytecode"), dir.Path()).game);
}

// Test tooling: with ZB_FUZZ_SEED_DIR set, writes the two packed games (and the byte-code
// game's companion) there as seeds for the loader's fuzz target.
TEST_F(BrokenFiles, WritesFuzzSeedsWhenAsked)
{
    const char* folder = std::getenv("ZB_FUZZ_SEED_DIR");
    if (!folder) GTEST_SKIP() << "ZB_FUZZ_SEED_DIR is not set";
    PackOutput source = TestPack(Manifest("source"), dir.Path());
    PackOutput code = TestPack(Manifest("bytecode"), dir.Path());
    std::string base = folder;
    Scratch_WriteFile(base + "/small_source.win", std::string(source.game.begin(), source.game.end()));
    Scratch_WriteFile(base + "/small_bytecode.win", std::string(code.game.begin(), code.game.end()));
    Scratch_WriteFile(base + "/small_bytecode.kvdebug", std::string(code.debug.begin(), code.debug.end()));
}
