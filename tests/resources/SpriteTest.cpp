// The sprite table and every way a sprite is filled at run time, on the recording graphics
// fake: names and indexes, PNG files from the save area and the program folder, strips,
// failures that give the slot back, duplicates and grabs of game-file sprites (whose page
// entries belong to the file), alpha from another sprite, merges, precise masks of game-file
// sprites, and loading from a URL.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "Files/Code/Code_Error.h"
#include "Files/Graphics/Graphics_Bitmap32.h"
#include "Files/Graphics/Graphics_PageEntries.h"
#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics_API/TBitmap.h"
#include "Files/Sprite/Sprite_Main.h"
#include "GamePack_Writer.h"
#include "ResourceTestSupport.h"

namespace {

class SpriteTable : public ResourceFixture {
protected:
    void SetUp() override
    {
        ResourceFixture::SetUp();
        UseFolders();
    }
    // A strip w x h in the program folder: column x is red with alpha 0x80 when x is even, else
    // opaque blue; the bottom-left pixel is opaque green (the colour a removed background takes).
    void Strip(const std::string& name, int32_t w, int32_t h, const std::string& folder = "prog")
    {
        std::vector<uint32_t> px;
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                px.push_back(x == 0 && y == h - 1 ? 0x00FF00FFu : (x % 2 == 0 ? 0xFF000080u : 0x0000FFFFu));
        WritePng(dir / (folder + "/" + name), w, h, px);
    }
    // A packed game with one precise sprite of two 4 x 3 frames, loaded.
    void LoadGameSprite(TestLoad& game)
    {
        std::vector<uint32_t> px;
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < 8; ++x) px.push_back(x == y || x == 7 - y ? (0x10u + (uint32_t)x) << 24 | 0x2030FFu : 0u);
        Scratch_WriteFile(dir / "pack/.keep", "");
        WritePng(dir / "pack/strip.png", 8, 3, px);
        const std::string manifest = R"({"sprites": [{"name": "spr_file", "image": "strip.png", "frames": 2,
            "precise": true, "transparent": true, "origin": [1, 1]}], "rooms": [{"name": "rm"}]})";
        TestLoad_Run(game, TestPack(manifest, dir / "pack").game);
        ASSERT_TRUE(game.ok);
        ASSERT_TRUE(Sprite_Data(0)->HasFileFrames());
    }
};

TEST_F(SpriteTable, NamesIndexesAndDeletion)
{
    for (int i = 0; i < 13; ++i) EXPECT_EQ(Sprite_AddEmpty(), i);
    EXPECT_STREQ(Sprite_GetName(12), "__newsprite12");
    EXPECT_EQ(Sprite_Find("__newsprite12"), 12);
    EXPECT_EQ(Sprite_Find("__NEWSPRITE12"), -1);
    EXPECT_TRUE(Sprite_Delete(4));
    EXPECT_FALSE(Sprite_Delete(4));
    EXPECT_FALSE(Sprite_Exists(4));
    EXPECT_EQ(Sprite_Data(4), nullptr);
    EXPECT_STREQ(Sprite_GetName(4), "<undefined>");
    EXPECT_EQ(Sprite_Find("__newsprite4"), -1);
    EXPECT_STREQ(Sprite_GetName(-1), "<undefined>");
    EXPECT_STREQ(Sprite_GetName(13), "<undefined>");
    EXPECT_EQ(Sprite_AddEmpty(), 13) << "deleted slots are not reused";
    // Assigning into the deleted slot brings it back under a name of its own.
    EXPECT_TRUE(Sprite_Assign(4, 0));
    EXPECT_STREQ(Sprite_GetName(4), "__newsprite4");
    EXPECT_FALSE(Sprite_Assign(14, 0));
    EXPECT_FALSE(Sprite_Assign(0, 14));
    EXPECT_TRUE(Sprite_Assign(2, 2)) << "itself";
}

TEST_F(SpriteTable, StripsFromFiles)
{
    Strip("s100.png", 100, 10);
    const int32_t a = Sprite_Add("s100.png", 3, true, false, false, true, 5, 6);
    ASSERT_GE(a, 0);
    const CSprite* s = Sprite_Data(a);
    EXPECT_EQ(s->frameCount, 3);
    EXPECT_EQ(s->width, 33) << "100 / 3";
    EXPECT_EQ(s->height, 10);
    EXPECT_EQ(s->xOrigin, 5);
    EXPECT_EQ(s->yOrigin, 6);
    EXPECT_EQ(s->bitmapCount, 3);
    // Frame 1 starts at column 33 (odd: opaque blue); even columns are red with alpha 0x80.
    EXPECT_EQ(s->bitmaps[1]->pixels[0], 0xFF0000FFu);
    EXPECT_EQ(s->bitmaps[0]->pixels[0], 0x80FF0000u);
    // Textures and local page entries, one each.
    ASSERT_TRUE(s->localPageEntries);
    for (int32_t f = 0; f < 3; ++f) {
        EXPECT_TRUE(GR_Texture_Exists(s->textures[f]));
        EXPECT_EQ(s->pageEntries[f]->texturePage, s->textures[f]);
        EXPECT_EQ(s->pageEntries[f]->srcWidth, 33);
    }
    EXPECT_EQ(Sprite_Data(Sprite_Add("s100.png", 0, true, false, false, true, 0, 0))->frameCount, 1);
    // More frames than columns: one-pixel frames, never empty ones.
    Strip("s4.png", 4, 2);
    const CSprite* thin = Sprite_Data(Sprite_Add("s4.png", 9, true, false, false, true, 0, 0));
    EXPECT_EQ(thin->frameCount, 4);
    EXPECT_EQ(thin->width, 1);
}

TEST_F(SpriteTable, RemovedBackgroundAndKeptAlpha)
{
    Strip("s.png", 4, 2);
    // Transparent: made opaque, then the bottom-left colour (green) becomes clear.
    const CSprite* t = Sprite_Data(Sprite_Add("s.png", 1, true, true, false, true, 0, 0));
    EXPECT_EQ(t->bitmaps[0]->pixels[4] >> 24, 0u);
    EXPECT_EQ(t->bitmaps[0]->pixels[1] >> 24, 0xFFu);
    // Not transparent: the file's alpha is kept (the green pixel has alpha 0xFF).
    const CSprite* k = Sprite_Data(Sprite_Add("s.png", 1, true, false, false, true, 0, 0));
    EXPECT_EQ(k->bitmaps[0]->pixels[4], 0xFF00FF00u);
    const CSprite* a = Sprite_Data(Sprite_AddAlpha("s.png", 1, true, true, 0, 0));
    EXPECT_EQ(a->transparent, 1);
    EXPECT_EQ(a->bitmaps[0]->pixels[4] >> 24, 0xFFu) << "alpha kept";
}

TEST_F(SpriteTable, SaveAreaComesFirst)
{
    Strip("both.png", 6, 2, "prog");
    Strip("both.png", 8, 2, "save");
    EXPECT_EQ(Sprite_Data(Sprite_Add("both.png", 1, true, false, false, true, 0, 0))->width, 8);
}

TEST_F(SpriteTable, FailedAdditionsGiveTheSlotBack)
{
    Sprite_AddEmpty();
    Scratch_WriteFile(dir / "prog/text.png", "this is not a PNG file");
    EXPECT_EQ(Sprite_Add("missing.png", 1, true, false, false, true, 0, 0), -1);
    EXPECT_EQ(Sprite_Add("text.png", 1, true, false, false, true, 0, 0), -1);
    EXPECT_EQ(Sprite_Add(nullptr, 1, true, false, false, true, 0, 0), -1);
    EXPECT_EQ(Sprite_AddAlpha("text.png", 1, true, true, 0, 0), -1);
    EXPECT_EQ(Sprite_Count(), 1);
    EXPECT_EQ(Sprite_AddEmpty(), 1);
    EXPECT_STREQ(Sprite_GetName(1), "__newsprite1");
    // Replacing: out of range, missing or undecodable leave everything as it was.
    Strip("s.png", 4, 2);
    ASSERT_TRUE(Sprite_Replace(0, "s.png", 2, true, false, false, true, 0, 0));
    EXPECT_FALSE(Sprite_Replace(5, "s.png", 1, true, false, false, true, 0, 0));
    EXPECT_FALSE(Sprite_Replace(0, "missing.png", 1, true, false, false, true, 0, 0));
    EXPECT_FALSE(Sprite_Replace(0, "text.png", 1, true, false, false, true, 0, 0));
    EXPECT_EQ(Sprite_Data(0)->frameCount, 2);
    EXPECT_TRUE(Sprite_ReplaceAlpha(1, "s.png", 1, true, true, 0, 0));
    EXPECT_EQ(Sprite_Data(1)->width, 4);
}

TEST_F(SpriteTable, DuplicateOfAGameFileSpriteReadsItsFramesBack)
{
    TestLoad game;
    LoadGameSprite(game);
    const CSprite* file = Sprite_Data(0);
    TexturePageEntry* entry0 = file->pageEntries[0];
    const int32_t copy = Sprite_Duplicate(0);
    ASSERT_EQ(copy, 1);
    const CSprite* s = Sprite_Data(1);
    EXPECT_STREQ(Sprite_GetName(1), "__newsprite1");
    EXPECT_FALSE(s->HasFileFrames());
    ASSERT_EQ(s->bitmapCount, 2);
    EXPECT_EQ(s->width, 4);
    EXPECT_EQ(s->xOrigin, 1);
    // Frame 1 is columns 4..7 of the strip: (3, 0) is column 7, row 0.
    EXPECT_EQ(s->bitmaps[1]->pixels[3], 0xFF172030u);
    EXPECT_EQ(s->bitmaps[1]->pixels[0], 0u);
    ASSERT_TRUE(s->localPageEntries);
    EXPECT_EQ(s->pageEntries[0]->texturePage, s->textures[0]);
    EXPECT_TRUE(s->masksBuilt);
    // The original still draws from the file's entries.
    EXPECT_EQ(file->pageEntries[0], entry0);
    EXPECT_TRUE(GR_FilePageEntries_Owns(entry0));
    EXPECT_EQ(Sprite_Duplicate(7), -1);
}

TEST_F(SpriteTable, AddingAFrameToAGameFileSpriteKeepsTheFileEntries)
{
    TestLoad game;
    LoadGameSprite(game);
    CSprite* s = Sprite_Data(0);
    TexturePageEntry* entry0 = s->pageEntries[0];
    const int16_t srcX = entry0->srcX;
    TBitmap* image = MakeTBitmap(2, 2, [](int32_t, int32_t) { return 0xFFABCDEFu; });
    ASSERT_TRUE(s->AddFrameFromScreen(image, false, false, false));
    delete image;
    EXPECT_EQ(s->frameCount, 3);
    EXPECT_EQ(s->bitmapCount, 3);
    EXPECT_FALSE(s->HasFileFrames());
    EXPECT_EQ(s->bitmaps[2]->width, 4) << "stretched to the sprite";
    EXPECT_EQ(s->bitmaps[2]->pixels[0], 0xFFABCDEFu);
    // The file's record is intact and still owned by the file.
    EXPECT_TRUE(GR_FilePageEntries_Owns(entry0));
    EXPECT_EQ(entry0->srcX, srcX);
    // When the earlier frames cannot be read back nothing changes.
    TestLoad again;
    LoadGameSprite(again);
    CSprite* t = Sprite_Data(0);
    t->pageEntries[1]->texturePage = -1;
    TBitmap* more = MakeTBitmap(2, 2, [](int32_t, int32_t) { return 0xFF000000u; });
    EXPECT_FALSE(t->AddFrameFromScreen(more, false, false, false));
    delete more;
    EXPECT_EQ(t->frameCount, 2);
    EXPECT_TRUE(t->HasFileFrames());
}

TEST_F(SpriteTable, FramesAppendedOneByOneMatchASpriteBuiltWhole)
{
    // A 4 x 4 grab with one opaque pixel, then frames whose opaque pixel lies elsewhere: each
    // new frame gets its own texture, page entry and mask, the earlier ones stay, and the box
    // grows to take the new frame in; a full rebuild finds nothing to change.
    static int32_t px, py;
    auto dot = [](int32_t x0, int32_t y0) {
        px = x0;
        py = y0;
        return MakeTBitmap(4, 4, [](int32_t x, int32_t y) { return x == px && y == py ? 0xFF102030u : 0u; });
    };
    CSprite* s = Sprite_Data(Sprite_AddEmpty());
    TBitmap* first = dot(1, 1);
    s->CreateFromScreen(first, true, true, false, true, 0, 0, true);
    delete first;
    ASSERT_EQ(s->maskCount, 1);
    const int32_t texture0 = s->textures[0];
    const TexturePageEntry* entry0 = s->pageEntries[0];
    const int32_t dots[][2] = {{3, 0}, {0, 3}, {2, 2}, {1, 1}};
    for (const auto& d : dots) {
        TBitmap* more = dot(d[0], d[1]);
        ASSERT_TRUE(s->AddFrameFromScreen(more, false, false, true));
        delete more;
    }
    ASSERT_EQ(s->frameCount, 5);
    EXPECT_EQ(s->bitmapCount, 5);
    EXPECT_EQ(s->textureCount, 5);
    EXPECT_EQ(s->textures[0], texture0);
    EXPECT_EQ(s->pageEntries[0], entry0);
    for (int32_t f = 0; f < 5; ++f) {
        EXPECT_TRUE(GR_Texture_Exists(s->textures[f])) << f;
        for (int32_t g = 0; g < f; ++g) EXPECT_NE(s->textures[f], s->textures[g]);
        EXPECT_EQ(s->pageEntries[f]->texturePage, s->textures[f]) << f;
    }
    EXPECT_EQ((std::array<int32_t, 4>{s->bboxLeft, s->bboxTop, s->bboxRight, s->bboxBottom}), (std::array<int32_t, 4>{0, 0, 3, 3}));
    ASSERT_EQ(s->maskCount, 5);
    std::vector<std::vector<uint8_t>> masks;
    for (int32_t f = 0; f < 5; ++f) masks.emplace_back(s->masks[f].bytes, s->masks[f].bytes + s->masks[f].size);
    EXPECT_EQ(masks[1][0 * 4 + 3], 1);
    EXPECT_EQ(masks[1][1 * 4 + 1], 0);
    s->ComputeBoundingBox();
    s->CreateMask();
    EXPECT_EQ((std::array<int32_t, 4>{s->bboxLeft, s->bboxTop, s->bboxRight, s->bboxBottom}), (std::array<int32_t, 4>{0, 0, 3, 3}));
    for (int32_t f = 0; f < 5; ++f)
        EXPECT_EQ(std::vector<uint8_t>(s->masks[f].bytes, s->masks[f].bytes + s->masks[f].size), masks[(size_t)f]) << f;
}

TEST_F(SpriteTable, AlphaFromAnotherSpriteRebuildsThePageEntries)
{
    Strip("s.png", 4, 2);
    const uint32_t white = 0xFFFFFFFFu;
    const int32_t early = GR_Texture_CreateFromPixels(1, 1, &white, 4);
    CSprite* a = Sprite_Data(Sprite_Add("s.png", 2, true, false, false, true, 0, 0));
    const CSprite* b = Sprite_Data(Sprite_Add("s.png", 1, true, false, false, true, 0, 0));
    const int32_t old = a->textures[0];
    GR_Texture_Free(early); // the new textures take other slots than the old ones
    a->SetAlphaFromSprite(b);
    EXPECT_NE(a->textures[0], old);
    for (int32_t f = 0; f < a->frameCount; ++f) {
        ASSERT_TRUE(GR_Texture_Exists(a->textures[f]));
        EXPECT_EQ(a->pageEntries[f]->texturePage, a->textures[f]) << f;
    }
    // The grey of red (0xFF, 0, 0) is 0x55: alpha becomes min(0x80, 0x55).
    EXPECT_EQ(a->bitmaps[0]->pixels[0] >> 24, 0x55u);
}

TEST_F(SpriteTable, PreciseOffAndOnKeepsTheGameFileMasks)
{
    TestLoad game;
    LoadGameSprite(game);
    CSprite* s = Sprite_Data(0);
    ASSERT_TRUE(s->masksBuilt);
    const std::vector<uint8_t> before(s->masks[1].bytes, s->masks[1].bytes + 12);
    s->SetPrecise(false);
    EXPECT_FALSE(s->masksBuilt);
    const SpriteBox box{0, 0, 10, 10};
    EXPECT_TRUE(s->CheckPointCollision(1, box, 5, 5, 1, 1, 0, 4, 4)) << "box collision now";
    s->SetPrecise(true);
    ASSERT_TRUE(s->masksBuilt);
    EXPECT_EQ(std::vector<uint8_t>(s->masks[1].bytes, s->masks[1].bytes + 12), before);
    // A copy made from it carries them too.
    CSprite copy;
    copy.Assign(s);
    EXPECT_TRUE(copy.masksBuilt);
    EXPECT_EQ(copy.masks[1].bytes[0], before[0]);
}

TEST_F(SpriteTable, MergeNeedsBitmapsOnBothSides)
{
    TestLoad game;
    LoadGameSprite(game);
    Strip("s.png", 4, 3);
    const int32_t run = Sprite_Add("s.png", 1, true, false, false, true, 0, 0);
    Code_Error_SetShowErrors(false);
    CSprite* r = Sprite_Data(run);
    EXPECT_FALSE(r->Merge(Sprite_Data(0)));
    EXPECT_NE(std::strstr(Code_Error_LastShown() ? Code_Error_LastShown() : "", "source sprite"), nullptr);
    EXPECT_FALSE(Sprite_Data(0)->Merge(r));
    EXPECT_EQ(Sprite_Data(0)->frameCount, 2);
    Code_Error_Reset();
    Code_Error_SetShowErrors(true);
    // Merging with itself doubles the frames.
    ASSERT_TRUE(r->Merge(r));
    EXPECT_EQ(r->frameCount, 2);
    EXPECT_EQ(r->pageEntries[1]->texturePage, r->textures[1]);
}

TEST_F(SpriteTable, LoadingFromAUrl)
{
    static std::vector<SpriteAsyncRequest*> queued;
    queued.clear();
    Sprite_SetHttpGet([](const char* url, int32_t kind, SpriteAsyncRequest* record) {
        EXPECT_STREQ(url, "https://example.invalid/s.png");
        EXPECT_EQ(kind, 5);
        queued.push_back(record);
        return true;
    });
    Sprite_AddEmpty();
    const int32_t index = Sprite_Add("https://example.invalid/s.png", 2, true, true, false, true, 1, 2);
    EXPECT_EQ(index, 1) << "the index comes back at once";
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(Sprite_Data(index)->frameCount, 0);
    EXPECT_EQ(queued[0]->flags, 1u | 2u | 8u);

    Strip("s.png", 8, 2);
    const std::string png = Scratch_ReadFile(dir / "prog/s.png");
    SpriteAsyncResult result{};
    SpriteAsyncReply reply{"https://example.invalid/s.png", (const uint8_t*)png.data(), (int32_t)png.size()};
    EXPECT_EQ(Sprite_AsyncLoaded(reply, queued[0], &result), 60);
    EXPECT_EQ(result.id, index);
    EXPECT_EQ(result.status, 0);
    EXPECT_STREQ(result.filename, "https://example.invalid/s.png");
    EXPECT_EQ(Sprite_Data(index)->frameCount, 2);
    EXPECT_EQ(Sprite_Data(index)->xOrigin, 1);

    // Data that does not decode, and no data, fail (the sprite keeps what it had).
    const char junk[] = "not an image";
    SpriteAsyncReply bad{"u", (const uint8_t*)junk, (int32_t)sizeof junk};
    EXPECT_EQ(Sprite_AsyncLoaded(bad, queued[0], &result), 60);
    EXPECT_EQ(result.status, -1);
    SpriteAsyncReply none{"u", nullptr, 0};
    Sprite_AsyncLoaded(none, queued[0], &result);
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(Sprite_Data(index)->frameCount, 2);
    // A sprite deleted before the download ends.
    Sprite_Delete(index);
    Sprite_AsyncLoaded(reply, queued[0], &result);
    EXPECT_EQ(result.status, -1);
    Sprite_AsyncFree(queued[0]);

    // Without the request service the sprite stays empty.
    Sprite_SetHttpGet(nullptr);
    const int32_t empty = Sprite_Add("http://example.invalid/x.png", 1, true, true, false, true, 0, 0);
    EXPECT_EQ(Sprite_Data(empty)->frameCount, 0);
}

TEST_F(SpriteTable, TexturesAndFrameQueries)
{
    Strip("s.png", 8, 2);
    const CSprite* s = Sprite_Data(Sprite_Add("s.png", 4, true, false, false, true, 0, 0));
    const int64_t h = s->GetTexture(-1);
    EXPECT_EQ(GR_TPE_FromHandle(h), s->pageEntries[3]) << "frame -1 is frame 3";
    EXPECT_EQ(GR_TPE_FromHandle(s->GetTexture(9)), s->pageEntries[1]);
    CSprite empty;
    EXPECT_EQ(empty.GetTexture(0), -1);
    EXPECT_EQ(s->GetFrameTBitmap(4), nullptr);
    EXPECT_EQ(s->GetFrameTBitmap(-1), nullptr);
    TBitmap* t = s->GetFrameTBitmap(1);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->GetWidth(), 2);
    delete t;
    int32_t* box = s->GetFrameBox(0);
    EXPECT_EQ(box[2], 2) << "x offset + source width of the local entry";
    delete[] box;
    // A deleted sprite's handles name nothing afterwards.
    Sprite_Delete(0);
    EXPECT_EQ(GR_TPE_FromHandle(h), nullptr);
}

} // namespace
