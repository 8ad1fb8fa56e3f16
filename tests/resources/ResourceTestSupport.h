// Shared helpers of the resource tests: a fixture over the recording graphics fake that also
// resets the whole runtime (Runtime_ResetAll: sprites, backgrounds, fonts, surfaces, the game
// file's page entries, the built-in font, ...) around each test; image makers.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/FakeGraphics.h"
#include "support/GameFileTools.h"
#include "support/ScratchFolder.h"

class CBitmap32;
class CSprite;
class TBitmap;

class ResourceFixture : public GraphicsFixture {
protected:
    void SetUp() override;
    void TearDown() override;
    // The vertices drawn since the last call (the batch is flushed first).
    std::vector<FakeDraw> Drawn();
    // Program folder dir/prog, save area dir/save (for Sprite_Add and friends).
    void UseFolders();
    ScratchFolder dir;
};

// A w x h bitmap whose pixel (x, y) is pixel(x, y) (0xAARRGGBB).
template <class F>
CBitmap32* MakeBitmap(int32_t w, int32_t h, F pixel);
// A 32-bit TBitmap of the same.
TBitmap* MakeTBitmap(int32_t w, int32_t h, uint32_t (*pixel)(int32_t, int32_t));

// A sprite of w x h frames with the given masks (each w * h bytes, 1 solid), origin (ox, oy),
// masks built, no textures.
CSprite* MakeMaskSprite(int32_t w, int32_t h, int32_t ox, int32_t oy, const std::vector<std::vector<uint8_t>>& masks);

// A PNG file of w x h pixels given as 0xRRGGBBAA words.
void WritePng(const std::string& path, int32_t w, int32_t h, const std::vector<uint32_t>& rgba);

// The system font file of the tests (fonts-dejavu-core).
extern const char* kTestFontFile;

#include "Files/Graphics/Graphics_Bitmap32.h"

template <class F>
CBitmap32* MakeBitmap(int32_t w, int32_t h, F pixel)
{
    CBitmap32* b = new CBitmap32();
    b->Allocate(w, h);
    b->valid = 1;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) b->pixels[y * w + x] = pixel(x, y);
    return b;
}
