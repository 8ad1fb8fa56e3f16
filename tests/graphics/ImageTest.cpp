// PNG and BMP decoding of files written by Python (tests/data/images/make_images.py), the
// damaged-file cases, PNG writing, TBitmap, BitmapLoader and CBitmap32.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Files/Graphics/Graphics_Bitmap32.h"
#include "Files/Graphics_API/Graphics_ImageDecode.h"
#include "Files/Graphics_API/Graphics_PNG.h"
#include "Files/Graphics_API/TBitmap.h"
#include "Files/Support/LoadSave.h"
#include "Platform/MemoryManager.h"
#include "support/ScratchFolder.h"

namespace {

std::string DataDir()
{
    return std::string(ZB_TESTS_DIR) + "/data/images/";
}

std::vector<uint8_t> ReadFile(const std::string& name)
{
    std::ifstream in(DataDir() + name, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::map<std::string, std::vector<uint32_t>> Expected()
{
    std::map<std::string, std::vector<uint32_t>> m;
    std::ifstream in(DataDir() + "expected.txt");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream s(line);
        std::string name, word;
        s >> name;
        while (s >> word) m[name].push_back((uint32_t)std::stoul(word, nullptr, 16));
    }
    return m;
}

TEST(PngTest, EveryColourTypeAndDepthGivesFourBytesAPixel)
{
    auto expected = Expected();
    int pngs = 0;
    for (auto& [name, pixels] : expected) {
        if (name.find(".png") == std::string::npos) continue;
        ++pngs;
        auto data = ReadFile(name);
        ASSERT_FALSE(data.empty()) << name;
        int32_t w, h;
        uint32_t* px = GR_PNG_DecodeToBlock(data.data(), (uint32_t)data.size(), &w, &h);
        ASSERT_NE(px, nullptr) << name;
        ASSERT_EQ(w, 3) << name;
        ASSERT_EQ(h, 2) << name;
        for (size_t i = 0; i < pixels.size(); ++i)
            EXPECT_EQ(px[i], pixels[i]) << name << " pixel " << i;
        MEM_FREE(px);
    }
    EXPECT_GE(pngs, 20);
}

TEST(PngTest, DamagedFilesFailCleanly)
{
    for (const char* name : {"bad_truncated.png", "bad_crc.png", "bad_header_only.png", "bad_huge.png", "not_a_png.gif"}) {
        auto data = ReadFile(name);
        int32_t w = 0, h = 0;
        EXPECT_EQ(GR_PNG_DecodeToBlock(data.data(), (uint32_t)data.size(), &w, &h), nullptr) << name;
        EXPECT_EQ(w, -1) << name;
        EXPECT_EQ(h, -1) << name;
    }
    int32_t w, h;
    EXPECT_EQ(GR_PNG_DecodeToBlock(nullptr, 0, &w, &h), nullptr);
}

TEST(PngTest, DecodeRecordReturnsTheFirstImageUntilFreed)
{
    auto a = ReadFile("rgba8.png"), b = ReadFile("pal8.png");
    int32_t w, h;
    void* first = GR_PNG_Decode(a.data(), (uint32_t)a.size(), &w, &h);
    ASSERT_NE(first, nullptr);
    uint32_t pixel = ((uint32_t*)first)[0];
    void* again = GR_PNG_Decode(b.data(), (uint32_t)b.size(), &w, &h);
    EXPECT_EQ(again, first);
    EXPECT_EQ(((uint32_t*)again)[0], pixel);
    GR_PNG_Free();
    GR_PNG_Free();
    auto bad = ReadFile("not_a_png.gif");
    EXPECT_EQ(GR_PNG_Decode(bad.data(), (uint32_t)bad.size(), &w, &h), nullptr);
    EXPECT_EQ(w, -1);
}

TEST(PngTest, WriteGivesAnRGBAFileThatReadsBack)
{
    const uint8_t rgba[3 * 2 * 4] = {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    std::string path = ::testing::TempDir() + "zb_write_test.png";
    GR_PNG_SetSavePathMapper([](const char* name) { return std::string(name); });
    ASSERT_TRUE(write_png_file(path.c_str(), rgba, 3, 2));
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(file.size(), 33u);
    // IHDR: width 3, height 2, bit depth 8, colour type 6.
    EXPECT_EQ(file[19], 3);
    EXPECT_EQ(file[23], 2);
    EXPECT_EQ(file[24], 8);
    EXPECT_EQ(file[25], 6);
    int32_t w, h;
    uint32_t* px = GR_PNG_DecodeToBlock(file.data(), (uint32_t)file.size(), &w, &h);
    ASSERT_NE(px, nullptr);
    EXPECT_EQ(px[0], 0xFFFF0000u);
    EXPECT_EQ(px[1], 0x8000FF00u);
    EXPECT_EQ(px[3], 0x04010203u);
    MEM_FREE(px);
    std::remove(path.c_str());
    EXPECT_FALSE(write_png_file("/nonexistent-folder/x.png", rgba, 3, 2));
    EXPECT_FALSE(write_png_file(path.c_str(), rgba, 0, 2));
    GR_PNG_SetSavePathMapper(nullptr);
    // Without a mapper the name goes through the save-area mapping: an outside path is refused.
    EXPECT_FALSE(write_png_file("/tmp/../etc/zb_not_allowed.png", rgba, 3, 2));
}

TEST(PngTest, WriteMakesTheSaveAreaWhenItDoesNotExistYet)
{
    // A fresh machine: the game's save area has never been made. A screenshot into it (and
    // into a sub-folder the name gives) makes the folders rather than failing.
    ScratchFolder dir;
    const std::string save = dir / "data/Game/";
    LoadSave_SetFolders((dir / "program").c_str(), save.c_str(), nullptr);
    const uint8_t rgba[4] = {1, 2, 3, 255};
    ASSERT_TRUE(write_png_file("shot.png", rgba, 1, 1));
    ASSERT_TRUE(write_png_file("shots/2.png", rgba, 1, 1));
    EXPECT_TRUE(Scratch_Exists(save + "shot.png"));
    EXPECT_TRUE(Scratch_Exists(save + "shots/2.png"));
    // A path longer than the system takes in one piece (5,000 bytes), as the other writers.
    std::string deep = save;
    for (int i = 0; i < 25; ++i) deep += std::string(199, 'd') + "/";
    ASSERT_GT(deep.size(), 5000u);
    ASSERT_TRUE(write_png_file((deep + "shot.png").c_str(), rgba, 1, 1));
    int32_t size = 0;
    uint8_t* png = LoadSave_ReadSaveFile((deep + "shot.png").c_str(), &size);
    ASSERT_NE(png, nullptr);
    EXPECT_GT(size, 8);
    EXPECT_EQ(std::memcmp(png, "\x89PNG", 4), 0);
    MEM_FREE(png);
    // A name outside the save area is still refused and makes nothing.
    EXPECT_FALSE(write_png_file((dir / "elsewhere/x.png").c_str(), rgba, 1, 1));
    EXPECT_FALSE(Scratch_Exists(dir / "elsewhere"));
    LoadSave_SetFolders(nullptr, nullptr, nullptr);
}

TEST(BmpTest, FilesWithPaddedRowsAndPalettes)
{
    auto expected = Expected();
    for (const char* name : {"rgb24_w3.bmp", "rgb24_w3_topdown.bmp", "pal8_2x2.bmp", "rgb32.bmp", "bad_palette_index.bmp"}) {
        auto data = ReadFile(name);
        GR_Image img;
        ASSERT_TRUE(GR_Image_DecodeBMP(data.data(), (uint32_t)data.size(), &img)) << name;
        auto& want = expected[name];
        ASSERT_EQ((size_t)img.width * img.height, want.size()) << name;
        for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(((uint32_t*)img.data)[i], want[i]) << name << " " << i;
        GR_Image_Free(&img);
    }
    auto bad = ReadFile("bad_rows.bmp");
    GR_Image img;
    EXPECT_FALSE(GR_Image_DecodeBMP(bad.data(), (uint32_t)bad.size(), &img));
}

TEST(BmpTest, TBitmapKeepsPackedRows)
{
    auto data = ReadFile("rgb24_w3.bmp");
    GR_ByteReader r{data.data(), (uint32_t)data.size(), 0};
    TBitmap* b = TBitmap::Create();
    b->LoadFromStream(&r);
    EXPECT_EQ(b->GetPixelFormat(), 6);
    EXPECT_EQ(b->GetPitch(), 9); // width 3, no padding in memory
    uint8_t* line;
    int32_t pitch;
    b->Lock(1, &line, &pitch);
    EXPECT_EQ(line[0], 255); // second row, first pixel white: B
    CBitmap32* c = CBitmap32::FromAnyBitmap(b, false, false);
    ASSERT_TRUE(c->valid);
    EXPECT_EQ(c->pixels[0], 0xFFFF0000u);
    EXPECT_EQ(c->pixels[4], 0xFF102030u);
    delete c;

    // An 8-bit palette file comes out as 32 bits, pitch 8 for width 2.
    auto pal = ReadFile("pal8_2x2.bmp");
    GR_ByteReader rp{pal.data(), (uint32_t)pal.size(), 0};
    b->LoadFromStream(&rp);
    EXPECT_EQ(b->GetPixelFormat(), 7);
    EXPECT_EQ(b->GetPitch(), 8);

    // A stream at its end frees the image; a stream without "BM" leaves it empty.
    GR_ByteReader end{pal.data(), (uint32_t)pal.size(), (uint32_t)pal.size()};
    b->LoadFromStream(&end);
    uint32_t size;
    EXPECT_EQ(b->GetBlock(&size), nullptr);
    delete b;
}

TEST(BitmapLoaderTest, IndependentBitmaps)
{
    uint32_t px[4] = {1, 2, 3, 4};
    BitmapLoader* l = BitmapLoader::Create(px, 2, 2);
    EXPECT_EQ(l->GetCount(), 1);
    EXPECT_EQ(l->GetBitmap(1), nullptr);
    TBitmap* a = l->GetBitmap(0);
    TBitmap* b = l->GetBitmap(0);
    uint8_t* pa = a->Lock(0, nullptr, nullptr);
    pa[0] = 99;
    EXPECT_EQ(b->Lock(0, nullptr, nullptr)[0], 1);
    EXPECT_EQ(a->GetPitch(), 8);
    // Assign keeps the pixels where they are.
    TBitmap* c = TBitmap::Create();
    c->Assign(b);
    EXPECT_EQ(((uint32_t*)c->Lock(0, nullptr, nullptr))[3], 4u);
    delete a;
    delete b;
    delete c;
    delete l;
}

TEST(Bitmap32Test, ConstructorsAndEdges)
{
    CBitmap32* c = CBitmap32::FromColour(0, -5, 0x0000FF);
    EXPECT_EQ(c->width, 1);
    EXPECT_EQ(c->height, 1);
    EXPECT_EQ(c->pixels[0], 0xFFFF0000u);
    delete c;
    CBitmap32* src = CBitmap32::FromColour(4, 3, 0);
    CBitmap32* p = CBitmap32::FromPart(src, 1, 1, 4, 2); // one pixel too wide
    EXPECT_FALSE(p->valid);
    delete p;
    p = CBitmap32::FromPart(src, 1, 1, 0, 2);
    EXPECT_TRUE(p->valid);
    delete p;
    p = CBitmap32::FromPart(src, 0, 0, -1, 2);
    EXPECT_FALSE(p->valid);
    delete p;
    uint32_t* before = src->pixels;
    EXPECT_TRUE(src->Stretch(4, 3));
    EXPECT_EQ(src->pixels, before);
    EXPECT_FALSE(src->Stretch(0, 3));
    EXPECT_FALSE(src->Stretch(-2, -2));
    EXPECT_EQ(src->width, 4);
    src->pixels[1] = 0xFF00FF00u;
    ASSERT_TRUE(src->Stretch(8, 3));
    EXPECT_EQ(src->pixels[2], 0xFF00FF00u);
    EXPECT_EQ(src->pixels[3], 0xFF00FF00u);
    delete src;
}

TEST(Bitmap32Test, TransparencyAndBounds)
{
    CBitmap32* b = CBitmap32::FromColour(3, 3, 0x0000FF); // red
    b->pixels[4] = 0xFF00FF00u;                          // green centre
    b->RemoveBackground();
    EXPECT_EQ(b->pixels[0] >> 24, 0u);
    EXPECT_EQ(b->pixels[1], 0x0000FF00u); // repainted with the green neighbour below
    EXPECT_EQ(b->pixels[4], 0xFF00FF00u);
    delete b;
    CBitmap32* red = CBitmap32::FromColour(2, 2, 0x0000FF);
    red->RemoveBackground();
    EXPECT_EQ(red->pixels[3], 0x00FF0000u);
    delete red;

    CBitmap32* s = CBitmap32::FromColour(3, 1, 0xFFFFFF);
    s->pixels[0] &= 0xFFFFFF;
    s->pixels[2] &= 0xFFFFFF;
    s->SmoothEdges();
    EXPECT_EQ(s->pixels[1] >> 24, 191u);
    delete s;

    CBitmap32* t = CBitmap32::FromColour(10, 8, 0);
    for (uint32_t i = 0; i < 80; ++i) t->pixels[i] = 0;
    int32_t* box = t->OpaqueBounds();
    EXPECT_EQ(box[0], 9);
    EXPECT_EQ(box[1], 7);
    EXPECT_EQ(box[2], 0);
    EXPECT_EQ(box[3], 0);
    delete[] box;
    t->pixels[2 * 10 + 3] = 0x01000000u;
    box = t->OpaqueBounds();
    EXPECT_EQ(box[0], 3);
    EXPECT_EQ(box[3], 2);
    delete[] box;
    delete t;
}

TEST(Bitmap32Test, SetAlphaFromAndConversions)
{
    CBitmap32* a = CBitmap32::FromColour(2, 1, 0xFFFFFF);
    CBitmap32* m = CBitmap32::FromColour(1, 1, 0x303030);
    a->SetAlphaFrom(m);
    EXPECT_EQ(a->pixels[0] >> 24, 0x30u);
    EXPECT_EQ(a->pixels[1] >> 24, 0xFFu);
    TBitmap* t32 = a->ToTBitmap32();
    uint8_t* p = t32->Lock(0, nullptr, nullptr);
    EXPECT_EQ(p[0], 255);
    EXPECT_EQ(p[3], 0x30);
    CBitmap32* back = CBitmap32::FromTBitmap(t32, false, false); // bytes taken as B, G, R, A
    EXPECT_EQ(back->pixels[0], 0x30FFFFFFu);
    delete back;
    delete t32;
    delete a;
    delete m;
}

TEST(Bitmap32Test, StreamForms)
{
    // Form 800: stored pixels.
    std::vector<uint8_t> s;
    auto put = [&](uint32_t v) { s.insert(s.end(), (uint8_t*)&v, (uint8_t*)&v + 4); };
    put(800);
    put(2);
    put(1);
    put(8);
    put(0x11223344);
    put(0x55667788);
    GR_ByteReader r{s.data(), (uint32_t)s.size(), 0};
    CBitmap32* b = CBitmap32::FromStream(&r);
    ASSERT_TRUE(b->valid);
    EXPECT_EQ(b->pixels[1], 0x55667788u);
    delete b;
    // Form 540 with a false validity word reads nothing further.
    s.clear();
    put(540);
    put(0);
    put(12345);
    GR_ByteReader r2{s.data(), (uint32_t)s.size(), 0};
    b = CBitmap32::FromStream(&r2);
    EXPECT_FALSE(b->valid);
    EXPECT_EQ(r2.pos, 8u);
    delete b;
    // Form 540: compressed pixels.
    uint32_t px[2] = {0xFF0000FFu, 0x80FFFFFFu};
    uLongf len = compressBound(8);
    std::vector<uint8_t> z(len);
    compress(z.data(), &len, (const Bytef*)px, 8);
    s.clear();
    put(540);
    put(1);
    put(2);
    put(1);
    put((uint32_t)len);
    s.insert(s.end(), z.begin(), z.begin() + len);
    GR_ByteReader r3{s.data(), (uint32_t)s.size(), 0};
    b = CBitmap32::FromStream(&r3);
    ASSERT_TRUE(b->valid);
    EXPECT_EQ(b->pixels[1], 0x80FFFFFFu);
    delete b;
    // Absurd sizes are refused, not allocated.
    s.clear();
    put(800);
    put(100000);
    put(100000);
    put(0);
    GR_ByteReader r4{s.data(), (uint32_t)s.size(), 0};
    b = CBitmap32::FromStream(&r4);
    EXPECT_FALSE(b->valid);
    delete b;
}

TEST(Bitmap32Test, Gradients)
{
    CBitmap32* g = CBitmap32::FromGradient(4, 2, 0x000000, 0x0000FF, 0);
    ASSERT_TRUE(g->valid);
    EXPECT_EQ(g->pixels[0], 0xFF000000u);
    EXPECT_EQ(g->pixels[2], 0xFF800000u); // merge at 2/4: round(127.5) = 128
    delete g;
    CBitmap32* v = CBitmap32::FromGradient(1, 2, 0x0000FF, 0x00FF00, 1);
    EXPECT_EQ(v->pixels[1], GR_Gradient_MergeColour(0x0000FF, 0x00FF00, 0.5) == 0x008080 ? 0xFF808000u : v->pixels[1]);
    delete v;
    CBitmap32* none = CBitmap32::FromGradient(2, 2, 0xFFFFFF, 0xFFFFFF, 9);
    EXPECT_EQ(none->pixels[0], 0xFF000000u);
    delete none;
}

TEST(DdsTest, UncompressedAndDXT)
{
    auto dds = [](uint32_t flags, uint32_t fourcc, uint32_t bits, uint32_t amask, const std::vector<uint8_t>& body) {
        std::vector<uint8_t> d(128, 0);
        std::memcpy(d.data(), "DDS ", 4);
        uint32_t v = 124;
        std::memcpy(&d[4], &v, 4);
        v = 4;
        std::memcpy(&d[12], &v, 4); // height
        std::memcpy(&d[16], &v, 4); // width
        std::memcpy(&d[80], &flags, 4);
        std::memcpy(&d[84], &fourcc, 4);
        std::memcpy(&d[88], &bits, 4);
        uint32_t masks[4] = {0xFF0000, 0xFF00, 0xFF, amask};
        std::memcpy(&d[92], masks, 16);
        d.insert(d.end(), body.begin(), body.end());
        return d;
    };
    std::vector<uint8_t> alpha(16, 0x80);
    auto a8 = dds(0x2, 0, 8, 0xFF, alpha);
    GR_Image img;
    ASSERT_TRUE(GR_Image_DecodeDDS(a8.data(), (uint32_t)a8.size(), true, &img));
    EXPECT_EQ(((uint32_t*)img.data)[5], 0x80FFFFFFu);
    GR_Image_Free(&img);
    // DXT1 block: colour 0 red, colour 1 blue, every index 0.
    std::vector<uint8_t> block = {0x00, 0xF8, 0x1F, 0x00, 0, 0, 0, 0};
    auto dxt = dds(0x4, 0x31545844u, 0, 0, block);
    ASSERT_TRUE(GR_Image_DecodeDDS(dxt.data(), (uint32_t)dxt.size(), true, &img));
    EXPECT_EQ(((uint32_t*)img.data)[0], 0xFFFF0000u);
    GR_Image_Free(&img);
    ASSERT_TRUE(GR_Image_DecodeDDS(dxt.data(), (uint32_t)dxt.size(), false, &img));
    EXPECT_EQ(img.size, 8u);
    GR_Image_Free(&img);
    dxt.pop_back();
    EXPECT_FALSE(GR_Image_DecodeDDS(dxt.data(), (uint32_t)dxt.size(), true, &img));
}

} // namespace
