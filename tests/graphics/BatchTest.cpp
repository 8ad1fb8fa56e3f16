// The vertex batch and device textures on the recording fake: when a batch continues and
// when it breaks, buffer sizes and reuse, texture sizes and the "RAW " decoder.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "support/FakeGraphics.h"

namespace {

class BatchTest : public GraphicsFixture {
protected:
    void Quad(TextureRecord* t, float x)
    {
        float* v = (float*)GR_D3D_AllocVertices(4, t, 24, 6);
        for (int i = 0; i < 6; ++i) {
            v[i * 6] = x;
            v[i * 6 + 1] = (float)i;
            v[i * 6 + 2] = 0;
            uint32_t c = 0xFFFFFFFF;
            std::memcpy(&v[i * 6 + 3], &c, 4);
            v[i * 6 + 4] = v[i * 6 + 5] = 0;
        }
    }
};

TEST_F(BatchTest, SameTextureQuadsMakeOneDraw)
{
    TextureRecord* page = GR_D3D_CreateTexture(64, 64, 0, 0, 6);
    dev()->ClearLog();
    Quad(page, 1);
    Quad(page, 2);
    GR_D3D_Flush();
    ASSERT_EQ(dev()->draws.size(), 1u);
    EXPECT_EQ(dev()->draws[0].primitives, 4u);
    EXPECT_EQ(dev()->draws[0].texture, page->texture);
    EXPECT_FLOAT_EQ(dev()->draws[0].F(6, 0), 2.0f);
    GR_D3D_FreeTexture(page);
}

TEST_F(BatchTest, TextureTypeOrStateChangeBreaksTheBatch)
{
    TextureRecord* a = GR_D3D_CreateTexture(64, 64, 0, 0, 6);
    TextureRecord* b = GR_D3D_CreateTexture(64, 64, 0, 0, 6);
    dev()->ClearLog();
    Quad(a, 1);
    Quad(b, 2);
    GR_D3D_AllocVertices(2, b, 24, 2);
    GR_D3D_Flush();
    EXPECT_EQ(dev()->draws.size(), 3u);

    // A blend mode between two quads: the first is drawn with the old state.
    dev()->ClearLog();
    Quad(a, 1);
    GR_State_SetBlendMode(1);
    Quad(a, 2);
    GR_D3D_Flush();
    ASSERT_EQ(dev()->draws.size(), 2u);
    EXPECT_NE(dev()->draws[0].destBlend, 2u) << "the first quad in the normal mode";
    EXPECT_EQ(dev()->draws[1].destBlend, 2u) << "the second one additive";
    GR_State_SetBlendMode(0);
    GR_D3D_FreeTexture(a);
    GR_D3D_FreeTexture(b);
}

TEST_F(BatchTest, StripsAndFansNeverContinue)
{
    dev()->ClearLog();
    GR_D3D_AllocVertices(5, nullptr, 16, 4);
    GR_D3D_AllocVertices(5, nullptr, 16, 4);
    GR_D3D_AllocVertices(6, nullptr, 16, 4);
    GR_D3D_AllocVertices(6, nullptr, 16, 4);
    GR_D3D_Flush();
    ASSERT_EQ(dev()->draws.size(), 4u);
    EXPECT_EQ(dev()->draws[0].primitives, 2u);
    EXPECT_EQ(dev()->draws[0].fvf, (uint32_t)GFX_FVF_2D);
}

TEST_F(BatchTest, BufferSizesLocksAndRest)
{
    dev()->ClearLog();
    GR_D3D_AllocVertices(4, nullptr, 36, 20000);
    EXPECT_EQ(dev()->log[0], "CreateVertexBuffer 720000 usage 512 pool 2");
    GR_D3D_Flush();
    GR_D3D_AllocVertices(4, nullptr, 24, 3);
    EXPECT_EQ(dev()->Count("CreateVertexBuffer 393216"), 1u); // 16384 vertices of 24 bytes
    EXPECT_EQ(dev()->Count("Lock 0 393216 8192"), 1u);          // first lock of the frame discards
    GR_D3D_Flush();
    GR_D3D_AllocVertices(4, nullptr, 24, 3);
    EXPECT_EQ(dev()->Count("Lock 72 393144 0"), 1u); // appended after the first batch, no discard
    GR_D3D_Flush();
    GR_D3D_EndFrameVertexBuffers();
    // Emptied this frame: rests three frames, so a new buffer is made next frame.
    GR_D3D_AllocVertices(4, nullptr, 24, 3);
    GR_D3D_Flush();
    GR_D3D_EndFrameVertexBuffers();
    EXPECT_EQ(dev()->Count("CreateVertexBuffer 393216"), 2u);
    for (int i = 0; i < 3; ++i) GR_D3D_EndFrameVertexBuffers();
    GR_D3D_AllocVertices(4, nullptr, 24, 3);
    GR_D3D_Flush();
    EXPECT_EQ(dev()->Count("CreateVertexBuffer 393216"), 2u); // the first one is taken again
}

TEST_F(BatchTest, DeviceReadingVerticesAtOnceGetsTheBufferBackNextFrame)
{
    dev()->readsVerticesAtOnce = true;
    dev()->ClearLog();
    for (int frame = 0; frame < 3; ++frame) {
        GR_D3D_AllocVertices(4, nullptr, 24, 3);
        GR_D3D_Flush();
        GR_D3D_EndFrameVertexBuffers();
    }
    EXPECT_EQ(dev()->Count("CreateVertexBuffer 393216"), 1u);
    EXPECT_EQ(dev()->Count("Lock 0 393216 8192"), 3u); // each frame's first lock still discards
    // Within the frame a buffer too full for the batch still gives way to a new one.
    GR_D3D_AllocVertices(4, nullptr, 24, 16000);
    GR_D3D_Flush();
    GR_D3D_AllocVertices(4, nullptr, 24, 1000);
    GR_D3D_Flush();
    EXPECT_EQ(dev()->Count("CreateVertexBuffer 393216"), 2u);
}

TEST_F(BatchTest, FullBufferStartsAnother)
{
    dev()->ClearLog();
    GR_D3D_AllocVertices(4, nullptr, 24, 16380);
    GR_D3D_AllocVertices(4, nullptr, 24, 6);
    GR_D3D_Flush();
    EXPECT_EQ(dev()->draws.size(), 2u);
    EXPECT_EQ(dev()->Count("CreateVertexBuffer"), 2u);
}

TEST_F(BatchTest, ReturnVerticesShortensTheBatch)
{
    dev()->ClearLog();
    GR_D3D_AllocVertices(4, nullptr, 16, 9);
    GR_D3D_ReturnVertices(3);
    GR_D3D_Flush();
    ASSERT_EQ(dev()->draws.size(), 1u);
    EXPECT_EQ(dev()->draws[0].primitives, 2u);
}

TEST_F(BatchTest, FreeingTheOpenBatchTextureDrawsItFirst)
{
    TextureRecord* a = GR_D3D_CreateTexture(64, 64, 0, 0, 6);
    GfxTexture* device = a->texture;
    dev()->ClearLog();
    Quad(a, 1);
    GR_D3D_FreeTexture(a);
    ASSERT_EQ(dev()->draws.size(), 1u);
    EXPECT_EQ(dev()->draws[0].texture, device);
    GR_D3D_Flush();
    EXPECT_EQ(dev()->draws.size(), 1u);
}

TEST_F(BatchTest, TextureSizesRoundToPowersOfTwoThatHoldTheImageOrAreRefused)
{
    TextureInfo info;
    std::vector<uint32_t> px(5000 * 10, 0xFF102030u);
    TextureRecord* r = GR_D3D_CreateTextureForImage(px.data(), 5000, 10, &info);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->Width(), 8192);
    EXPECT_EQ(r->Height(), 64);
    EXPECT_EQ(info.width, 8192);
    EXPECT_EQ(info.height, 64);
    // The whole image is in the texture, nothing past it.
    auto* tex = static_cast<FakeTexture*>(r->texture);
    EXPECT_EQ(tex->pixels.px[4999], 0xFF102030u);
    EXPECT_EQ(tex->pixels.px[5000], 0u);
    EXPECT_EQ(tex->pixels.px[8192 * 9 + 4999], 0xFF102030u);
    GR_D3D_FreeTexture(r);
    TextureRecord* small = GR_D3D_CreateTexture(100, 100, 0, 0, 6);
    EXPECT_EQ(small->Width(), 128);
    EXPECT_EQ(GR_D3D_TextureRound(1), 64);
    GR_D3D_FreeTexture(small);
    TextureRecord* target = GR_D3D_CreateTexture(100, 30, 1, 1, 6);
    EXPECT_EQ(target->Width(), 100); // render targets keep their exact size
    EXPECT_NE(target->depth, nullptr);
    GR_D3D_FreeTexture(target);

    // A record keeps 8192 pixels a side, and a device may make less: a larger texture fails as a
    // creation fails, before the device is asked (its size would wrap in the record).
    dev()->ClearLog();
    EXPECT_EQ(GR_D3D_CreateTexture(8193, 1, 1, 1, 6), nullptr);
    r = GR_D3D_CreateTexture(8192, 1, 1, 1, 6);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->Width(), 8192);
    GR_D3D_FreeTexture(r);
    // A plain texture holds its whole image (5000 gets 8192), or is not made at all: a cut
    // one would draw its far columns from the wrong pixels.
    r = GR_D3D_CreateTexture(5000, 1, 1, 0, 6);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->Width(), 8192);
    GR_D3D_FreeTexture(r);
    EXPECT_EQ(GR_D3D_CreateTexture(8193, 1, 1, 0, 6), nullptr);
    dev()->maxTextureSide = 4096;
    EXPECT_EQ(GR_D3D_CreateTexture(5000, 1, 1, 1, 6), nullptr);
    EXPECT_EQ(GR_D3D_CreateTexture(5000, 1, 1, 0, 6), nullptr);
    EXPECT_EQ(dev()->Calls("CreateTexture"), 2u);
}

TEST_F(BatchTest, RenderTargetCreationChecksEachStep)
{
    dev()->failDepth = 1;
    EXPECT_EQ(GR_D3D_CreateTexture(32, 32, 1, 1, 6), nullptr);
    dev()->failTextures = 1;
    EXPECT_EQ(GR_D3D_CreateTexture(32, 32, 1, 1, 6), nullptr);
    // With multisampling the target surface is a separate one, checked as well.
    GR_D3D_State().wantedMultisample = 4;
    dev()->failRenderTargets = 1;
    EXPECT_EQ(GR_D3D_CreateTexture(32, 32, 1, 1, 6), nullptr);
    TextureRecord* ms = GR_D3D_CreateTexture(32, 32, 1, 1, 6);
    ASSERT_NE(ms, nullptr);
    EXPECT_EQ(ms->direct, 0u);
    GR_D3D_FreeTexture(ms);
    GR_D3D_State().wantedMultisample = 0;
    // Nothing half-made stays on the record list beyond the screen texture.
    int n = 0;
    for (TextureRecord* r = GR_D3D_FirstTexture(); r; r = r->next) ++n;
    EXPECT_EQ(n, 1);
}

static std::vector<uint8_t> Raw(uint32_t w, uint32_t h, uint32_t kind, size_t pixelBytes)
{
    std::vector<uint8_t> d(16 + pixelBytes, 0);
    uint32_t head[4] = {0x20574152u, w, h, kind};
    std::memcpy(d.data(), head, 16);
    return d;
}

TEST_F(BatchTest, RawImagesAreCheckedAndConverted)
{
    TextureInfo info;
    auto raw = Raw(2, 1, 0, 8);
    const uint8_t px[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}; // R G B A
    std::memcpy(raw.data() + 16, px, 8);
    std::vector<uint8_t> copy = raw;
    TextureRecord* r = GR_D3D_CreateTextureFromMemory(raw.data(), (uint32_t)raw.size(), &info, 6);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(raw, copy); // the source data is left alone
    EXPECT_EQ(info.formatCode, 6);
    EXPECT_EQ(info.resourceType, -1);
    auto* tex = static_cast<FakeTexture*>(r->texture);
    EXPECT_EQ(tex->pixels.px[0], 0x44112233u);
    GR_D3D_FreeTexture(r);

    // Kind 1: 16-bit pixels with their nibbles reversed into A4R4G4B4.
    auto raw16 = Raw(1, 1, 1, 2);
    raw16[16] = 0x21;
    raw16[17] = 0x43; // 0x4321 -> 0x1234
    r = GR_D3D_CreateTextureFromMemory(raw16.data(), (uint32_t)raw16.size(), &info, 6);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(info.formatCode, 11);
    tex = static_cast<FakeTexture*>(r->texture);
    EXPECT_EQ(tex->format, (uint32_t)GFX_FMT_A4R4G4B4);
    uint16_t first;
    std::memcpy(&first, tex->raw.data(), 2);
    EXPECT_EQ(first, 0x1234);
    GR_D3D_FreeTexture(r);

    auto kind2 = Raw(1, 1, 2, 4);
    EXPECT_EQ(GR_D3D_CreateTextureFromMemory(kind2.data(), (uint32_t)kind2.size(), &info, 6), nullptr);
    auto shortData = Raw(100, 100, 0, 64); // header promises 40000 bytes
    EXPECT_EQ(GR_D3D_CreateTextureFromMemory(shortData.data(), (uint32_t)shortData.size(), &info, 6), nullptr);
    const char junk[] = "not an image at all";
    EXPECT_EQ(GR_D3D_CreateTextureFromMemory(junk, sizeof(junk), &info, 6), nullptr);
}

TEST_F(BatchTest, TextureSwapsAreCounted)
{
    TextureRecord* a = GR_D3D_CreateTexture(64, 64, 0, 0, 6);
    TextureRecord* b = GR_D3D_CreateTexture(64, 64, 0, 0, 6);
    uint32_t before = GR_Batch_Stats().textureSwaps;
    GR_D3D_SetTexture(0, a);
    GR_D3D_SetTexture(0, a);
    GR_D3D_SetTexture(0, b);
    EXPECT_EQ(GR_Batch_Stats().textureSwaps - before, 2u);
    GR_D3D_FreeTexture(a);
    GR_D3D_FreeTexture(b);
}

} // namespace
