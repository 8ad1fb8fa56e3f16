// Shared helpers of the resource tests (see ResourceTestSupport.h).
#include "ResourceTestSupport.h"

#include <cstring>

#include "Files/Background/Background_Main.h"
#include "Files/Font/Font_Main.h"
#include "Files/Font/Font_Text.h"
#include "Files/Graphics/BuiltinImages.h"
#include "Files/Graphics/Graphics_PageEntries.h"
#include "Files/Graphics/Graphics_Surface.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/TBitmap.h"
#include "Files/Runner/Runner_Reset.h"
#include "Files/Sprite/Sprite_Main.h"
#include "Files/Support/LoadSave.h"
#include "GamePack_Writer.h"
#include "Platform/MemoryManager.h"

const char* kTestFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

void ResourceFixture::SetUp()
{
    GraphicsFixture::SetUp();
    GR_BuiltinImages_SetTable(GR_BuiltinImages_Default());
    Runtime_ResetAll();
    Sprite_SetHttpGet(nullptr);
    dev()->ClearLog();
}

void ResourceFixture::TearDown()
{
    Runtime_ResetAll();
    LoadSave_SetFolders(nullptr, nullptr, nullptr);
    GraphicsFixture::TearDown();
}

std::vector<FakeDraw> ResourceFixture::Drawn()
{
    GR_D3D_Flush();
    std::vector<FakeDraw> out = dev()->draws;
    dev()->draws.clear();
    return out;
}

void ResourceFixture::UseFolders()
{
    Scratch_WriteFile(dir / "prog/.keep", "");
    Scratch_WriteFile(dir / "save/.keep", "");
    LoadSave_SetFolders((dir / "prog").c_str(), (dir / "save").c_str(), nullptr);
}

TBitmap* MakeTBitmap(int32_t w, int32_t h, uint32_t (*pixel)(int32_t, int32_t))
{
    TBitmap* t = TBitmap::Create();
    t->SetPixelFormat(7);
    t->SetWidth(w);
    t->SetHeight(h);
    int32_t pitch;
    uint8_t* base = t->Lock(0, nullptr, &pitch);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t c = pixel(x, y);
            std::memcpy(base + y * pitch + x * 4, &c, 4); // bytes B, G, R, A
        }
    t->Unlock(base);
    return t;
}

CSprite* MakeMaskSprite(int32_t w, int32_t h, int32_t ox, int32_t oy, const std::vector<std::vector<uint8_t>>& masks)
{
    CSprite* s = new CSprite();
    s->width = w;
    s->height = h;
    s->xOrigin = ox;
    s->yOrigin = oy;
    s->frameCount = (int32_t)masks.size();
    s->maskCount = (int32_t)masks.size();
    s->masks = (SpriteMask*)MEM_ALLOC(sizeof(SpriteMask) * masks.size());
    for (size_t i = 0; i < masks.size(); ++i) {
        s->masks[i].size = (uint32_t)(w * h);
        s->masks[i].bytes = (uint8_t*)MEM_ALLOC((size_t)(w * h));
        std::memcpy(s->masks[i].bytes, masks[i].data(), (size_t)(w * h));
    }
    s->masksBuilt = 1;
    s->ComputeBoundingBox();
    return s;
}

void WritePng(const std::string& path, int32_t w, int32_t h, const std::vector<uint32_t>& rgba)
{
    PackImage img;
    img.width = w;
    img.height = h;
    for (uint32_t c : rgba) img.rgba.insert(img.rgba.end(), {uint8_t(c >> 24), uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
    TestImage_WritePng(path, img);
}
