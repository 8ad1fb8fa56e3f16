// SPRT, BGND and FONT chunks written by the game packer, read back field by field through the
// start-up loader (on the recording graphics fake, so the texture pages get real ids), and
// malformed chunks that must fail the load.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "Files/Background/Background_Main.h"
#include "Files/Font/Font_Main.h"
#include "Files/Graphics/Graphics_PageEntries.h"
#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Sprite/Sprite_Main.h"
#include "GamePack_Writer.h"
#include "ResourceTestSupport.h"

namespace {

// Frame f of the strip: pixel (x, y) is opaque when (x + 2y + f) % 3 == 0 (asymmetric, so a
// mirrored or shifted mask cannot pass).
bool Solid(int32_t f, int32_t x, int32_t y) { return (x + 2 * y + f) % 3 == 0; }

class ChunkLoad : public ResourceFixture {
protected:
    std::vector<uint8_t> Pack(const std::string& extra = "")
    {
        // spr_strip: 3 frames of 10 x 4 (a row of 10 pixels spans two mask bytes).
        std::vector<uint32_t> strip;
        for (int32_t y = 0; y < 4; ++y)
            for (int32_t x = 0; x < 30; ++x) strip.push_back(Solid(x / 10, x % 10, y) ? 0xFF0000FFu : 0x00000000u);
        WritePng(dir / "strip.png", 30, 4, strip);
        WritePng(dir / "sky.png", 20, 10, std::vector<uint32_t>(200, 0x3366CCFFu));
        WritePng(dir / "block.png", 6, 5, std::vector<uint32_t>(30, 0x00FF00FFu));
        const std::string manifest = R"({"name": "Res",
          "sprites": [
            {"name": "spr_strip", "image": "strip.png", "frames": 3, "origin": [2, 1], "precise": true, "transparent": true},
            {"name": "spr_full", "image": "block.png", "bbox_mode": 1, "precise": false, "transparent": false},
            {"name": "spr_manual", "image": "block.png", "bbox_mode": 2, "bbox": [1, 1, 3, 2], "precise": true}],
          "backgrounds": [{"name": "bg_sky", "image": "sky.png", "transparent": true, "smooth": true, "preload": false}],
          "fonts": [{"name": "fnt_main", "ttf": ")" + std::string(kTestFontFile) + R"(", "size": 12, "bold": true,
                     "first": 32, "last": 90}], "rooms": [{"name": "rm"}])" + extra + "}";
        return TestPack(manifest, dir.Path()).game;
    }
};

// The file offset of entry i of a chunk's list.
uint32_t Entry(const std::vector<uint8_t>& file, const char* tag, uint32_t i)
{
    uint32_t data = 0, length = 0;
    EXPECT_TRUE(TestFindChunk(file, tag, data, length));
    return TestU32(file, data + 4 + 4 * i);
}

TEST_F(ChunkLoad, SpritesFieldByField)
{
    TestLoad game;
    TestLoad_Run(game, Pack());
    ASSERT_TRUE(game.ok);
    ASSERT_EQ(Sprite_Count(), 3);
    EXPECT_EQ(Sprite_Find("spr_manual"), 2);
    EXPECT_EQ(Sprite_Find("SPR_MANUAL"), -1);
    EXPECT_STREQ(Sprite_GetName(0), "spr_strip");

    const CSprite* s = Sprite_Data(0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->width, 10);
    EXPECT_EQ(s->height, 4);
    EXPECT_EQ(s->frameCount, 3);
    EXPECT_EQ(s->xOrigin, 2);
    EXPECT_EQ(s->yOrigin, 1);
    EXPECT_EQ(s->bboxMode, 0);
    EXPECT_EQ(s->precise, 1);
    EXPECT_EQ(s->transparent, 1);
    EXPECT_EQ(s->preload, 1);
    // Automatic box: the opaque pixels of all frames ((0, 0) is solid in frame 0, (9, 3) in 2).
    EXPECT_EQ(s->bboxLeft, 0);
    EXPECT_EQ(s->bboxTop, 0);
    EXPECT_EQ(s->bboxRight, 9);
    EXPECT_EQ(s->bboxBottom, 3);
    // Radius from (2, 1) to (10, 4): ceil(sqrt(64 + 9)) = 9.
    EXPECT_EQ(s->boundingRadius, 9);
    ASSERT_TRUE(s->masksBuilt);
    ASSERT_EQ(s->maskCount, 3);
    for (int32_t f = 0; f < 3; ++f)
        for (int32_t y = 0; y < 4; ++y)
            for (int32_t x = 0; x < 10; ++x)
                EXPECT_EQ(s->masks[f].bytes[y * 10 + x], Solid(f, x, y) ? 1 : 0) << f << " " << x << " " << y;
    // Frames draw through the game file's page entries, which name the page's texture.
    ASSERT_TRUE(s->HasFileFrames());
    for (int32_t f = 0; f < 3; ++f) {
        const TexturePageEntry* e = s->pageEntries[f];
        ASSERT_NE(e, nullptr);
        EXPECT_TRUE(GR_FilePageEntries_Owns(e));
        EXPECT_EQ(e->srcWidth, 10);
        EXPECT_EQ(e->fullHeight, 4);
        EXPECT_TRUE(GR_Texture_Exists(e->texturePage)) << "page index rewritten to the texture id";
    }

    const CSprite* full = Sprite_Data(1);
    EXPECT_EQ(full->bboxMode, 1);
    EXPECT_EQ(full->bboxRight, 5);
    EXPECT_EQ(full->bboxBottom, 4);
    EXPECT_EQ(full->transparent, 0);
    EXPECT_FALSE(full->masksBuilt) << "mask count 0: box collisions";
    EXPECT_EQ(full->boundingRadius, 8); // ceil(sqrt(36 + 25))
    const CSprite* manual = Sprite_Data(2);
    EXPECT_EQ(manual->bboxMode, 2);
    EXPECT_EQ(manual->bboxLeft, 1);
    EXPECT_EQ(manual->bboxTop, 1);
    EXPECT_EQ(manual->bboxRight, 3);
    EXPECT_EQ(manual->bboxBottom, 2);
}

TEST_F(ChunkLoad, MaskRowsAreReadMostSignificantBitFirst)
{
    std::vector<uint8_t> file = Pack();
    // spr_manual: 6 x 5, all solid; one stored byte per row. Row 0 becomes 0x80 | 0x04 (pixels
    // 0 and 5), row 1 becomes 0x00.
    const uint32_t entry = Entry(file, "SPRT", 2);
    const uint32_t frames = TestU32(file, entry + 14 * 4);
    const uint32_t masks = entry + (15 + frames + 1) * 4;
    ASSERT_EQ(TestU32(file, entry + (15 + frames) * 4), 1u);
    file[masks] = 0x84;
    file[masks + 1] = 0x00;
    TestLoad game;
    TestLoad_Run(game, file);
    ASSERT_TRUE(game.ok);
    const CSprite* s = Sprite_Data(2);
    const uint8_t row0[6] = {1, 0, 0, 0, 0, 1};
    EXPECT_EQ(std::memcmp(s->masks[0].bytes, row0, 6), 0);
    for (int32_t x = 0; x < 6; ++x) EXPECT_EQ(s->masks[0].bytes[6 + x], 0);
    EXPECT_EQ(s->masks[0].bytes[12], 1);
}

TEST_F(ChunkLoad, BackgroundsAndFonts)
{
    TestLoad game;
    TestLoad_Run(game, Pack());
    ASSERT_TRUE(game.ok);
    ASSERT_EQ(Background_Count(), 1);
    const CBackground* b = Background_Data(0);
    EXPECT_STREQ(Background_GetName(0), "bg_sky");
    EXPECT_EQ(b->GetWidth(), 20);
    EXPECT_EQ(b->GetHeight(), 10);
    EXPECT_TRUE(b->GetTransparent());
    EXPECT_TRUE(b->GetSmooth());
    EXPECT_FALSE(b->GetPreload());
    EXPECT_EQ(b->bitmap, nullptr);
    ASSERT_NE(b->pageEntry, nullptr);
    EXPECT_GE(b->GetTexture(), GR_TPE_HANDLE_BASE) << "a page-entry handle";

    ASSERT_EQ(Font_Count(), 1);
    const CFontZB* f = Font_Data(0);
    EXPECT_STREQ(Font_GetName(0), "fnt_main");
    EXPECT_EQ(Font_Find("fnt_main"), 0);
    EXPECT_STREQ(f->GetName(), "DejaVu Sans");
    EXPECT_EQ(f->GetSize(), 12);
    EXPECT_TRUE(f->GetBold());
    EXPECT_FALSE(f->GetItalic());
    EXPECT_EQ(f->GetFirst(), 32);
    EXPECT_EQ(f->GetLast(), 90);
    EXPECT_EQ(f->sprite, -1);
    EXPECT_FLOAT_EQ(f->xScale, 1.0f);
    ASSERT_EQ(f->glyphCount, 59);
    for (int32_t i = 1; i < f->glyphCount; ++i) EXPECT_LT(f->glyphs[i - 1].character, f->glyphs[i].character);
    int32_t tallest = 0;
    for (int32_t i = 0; i < f->glyphCount; ++i) tallest = std::max(tallest, f->glyphs[i].height);
    EXPECT_EQ(f->lineHeight, tallest);
    const FontGlyph* a = f->GetGlyph('A');
    ASSERT_NE(a, nullptr);
    EXPECT_GT(a->shift, 5);
    EXPECT_EQ(f->GetGlyph('z'), nullptr) << "past the last character";
    EXPECT_EQ(f->pageWidth, f->pageEntry->srcWidth);
    // The code-point table (identity as the packer writes it).
    EXPECT_EQ(Font_CodePoint(65), 65);
    EXPECT_EQ(Font_CodePoint(255), 255);
}

TEST_F(ChunkLoad, GlyphTablesAreSortedWhateverTheFileOrder)
{
    std::vector<uint8_t> file = Pack();
    // Swap the first and last glyph offsets of the font.
    const uint32_t entry = Entry(file, "FONT", 0);
    const uint32_t count = TestU32(file, entry + 40);
    const uint32_t firstAt = entry + 44, lastAt = entry + 44 + 4 * (count - 1);
    const uint32_t a = TestU32(file, firstAt), z = TestU32(file, lastAt);
    TestPutU32(file, firstAt, z);
    TestPutU32(file, lastAt, a);
    TestLoad game;
    TestLoad_Run(game, file);
    ASSERT_TRUE(game.ok);
    const CFontZB* f = Font_Data(0);
    for (int32_t i = 1; i < f->glyphCount; ++i) EXPECT_LE(f->glyphs[i - 1].character, f->glyphs[i].character);
    EXPECT_NE(f->GetGlyph(' '), nullptr);
    EXPECT_NE(f->GetGlyph('Z'), nullptr);
}

// Each damage fails the load cleanly (the loader answers false; nothing crashes or leaks).
TEST_F(ChunkLoad, MalformedRecordsFailTheLoad)
{
    const std::vector<uint8_t> good = Pack();
    struct Damage {
        const char* what;
        void (*apply)(std::vector<uint8_t>& f, ChunkLoad* t);
    };
    const Damage damages[] = {
        {"sprite frame count past the chunk",
         [](std::vector<uint8_t>& f, ChunkLoad*) { TestPutU32(f, Entry(f, "SPRT", 0) + 14 * 4, 0x7FFFFFFF); }},
        {"sprite page entry outside the file",
         [](std::vector<uint8_t>& f, ChunkLoad*) { TestPutU32(f, Entry(f, "SPRT", 0) + 15 * 4, 0xFFFFFFF0u); }},
        {"sprite page entry 0",
         [](std::vector<uint8_t>& f, ChunkLoad*) { TestPutU32(f, Entry(f, "SPRT", 0) + 15 * 4, 0); }},
        {"sprite mask count past the file",
         [](std::vector<uint8_t>& f, ChunkLoad*) { TestPutU32(f, Entry(f, "SPRT", 0) + 18 * 4, 100000000); }},
        {"sprite width 0", [](std::vector<uint8_t>& f, ChunkLoad*) { TestPutU32(f, Entry(f, "SPRT", 0) + 4, 0); }},
        {"sprite height huge",
         [](std::vector<uint8_t>& f, ChunkLoad*) { TestPutU32(f, Entry(f, "SPRT", 0) + 8, 0x40000000); }},
        {"sprite name outside the file",
         [](std::vector<uint8_t>& f, ChunkLoad*) { TestPutU32(f, Entry(f, "SPRT", 1), 0xFFFFFF00u); }},
        {"background page entry outside",
         [](std::vector<uint8_t>& f, ChunkLoad*) { TestPutU32(f, Entry(f, "BGND", 0) + 16, 0xFFFFFFF0u); }},
        {"font glyph count past the chunk",
         [](std::vector<uint8_t>& f, ChunkLoad*) { TestPutU32(f, Entry(f, "FONT", 0) + 40, 0x10000000); }},
        {"font glyph offset outside",
         [](std::vector<uint8_t>& f, ChunkLoad*) { TestPutU32(f, Entry(f, "FONT", 0) + 44, 0xFFFFFFF8u); }},
        {"font typeface outside",
         [](std::vector<uint8_t>& f, ChunkLoad*) { TestPutU32(f, Entry(f, "FONT", 0) + 4, 0xFFFFFF00u); }},
    };
    for (const Damage& d : damages) {
        std::vector<uint8_t> file = good;
        d.apply(file, this);
        TestLoad game;
        TestLoad_Run(game, file);
        EXPECT_FALSE(game.ok) << d.what;
    }
}

// A FONT chunk too short for its 512-byte code-point table (or whose table would overlap its
// list) fails instead of reading before the chunk.
TEST_F(ChunkLoad, FontChunkShorterThanItsCodePointTable)
{
    GameWriter w;
    uint32_t chunk = w.BeginChunk("FONT");
    w.U32(0); // no fonts, and only 200 bytes of table
    w.Zeros(200);
    w.EndChunk(chunk);
    std::vector<uint8_t> file = w.Finish();
    uint32_t data = 0, length = 0;
    ASSERT_TRUE(TestFindChunk(file, "FONT", data, length));
    FileImage image(file.data(), (uint32_t)file.size());
    EXPECT_FALSE(Font_Load(image, data, data + length));

    GameWriter ok;
    chunk = ok.BeginChunk("FONT");
    ok.U32(0);
    for (uint32_t c = 0; c < 256; ++c) ok.U16((uint16_t)(255 - c));
    ok.EndChunk(chunk);
    file = ok.Finish();
    ASSERT_TRUE(TestFindChunk(file, "FONT", data, length));
    FileImage image2(file.data(), (uint32_t)file.size());
    EXPECT_TRUE(Font_Load(image2, data, data + length));
    EXPECT_EQ(Font_CodePoint(0), 255);
    EXPECT_EQ(Font_CodePoint(300), 0);
}

// A sprite that shares one page entry with another names the same native record.
TEST_F(ChunkLoad, PageEntriesAreSharedAndOutliveTheFileBytes)
{
    std::vector<uint8_t> file = Pack();
    const uint32_t a = Entry(file, "SPRT", 1), b = Entry(file, "SPRT", 2);
    TestPutU32(file, b + 15 * 4, TestU32(file, a + 15 * 4));
    {
        TestLoad game;
        TestLoad_Run(game, file);
        ASSERT_TRUE(game.ok);
        EXPECT_EQ(Sprite_Data(1)->pageEntries[0], Sprite_Data(2)->pageEntries[0]);
        const int32_t before = GR_FilePageEntries_Count();
        std::fill(game.bytes.begin(), game.bytes.end(), 0xEE); // the image is gone; the copies are not
        EXPECT_EQ(Sprite_Data(1)->pageEntries[0]->srcWidth, 6);
        EXPECT_EQ(GR_FilePageEntries_Count(), before);
    }
}

// Seeds of fuzz_resource_chunks: a loader byte, the chunk's offset and length, then the
// packed file.
TEST_F(ChunkLoad, WritesFuzzSeedsWhenAsked)
{
    const char* folder = std::getenv("ZB_FUZZ_SEED_DIR");
    if (!folder) GTEST_SKIP() << "ZB_FUZZ_SEED_DIR is not set";
    const std::vector<uint8_t> file = Pack();
    const char* tags[3] = {"SPRT", "BGND", "FONT"};
    for (uint8_t k = 0; k < 3; ++k) {
        uint32_t data = 0, length = 0;
        ASSERT_TRUE(TestFindChunk(file, tags[k], data, length));
        std::string seed(1, char(k));
        for (uint32_t v : {data, length})
            for (int i = 0; i < 4; ++i) seed += char((v >> (8 * i)) & 0xFF);
        seed.append(file.begin(), file.end());
        Scratch_WriteFile(std::string(folder) + "/" + tags[k] + ".seed", seed);
    }
}

} // namespace
