// Golden images and the device they are drawn on (tests/support/Golden.h).
#include "support/Golden.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "Files/Graphics/BuiltinImages.h"
#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_Host.h"
#include "Files/Graphics_API/Graphics_PNG.h"
#include "Files/Graphics_API/Graphics_ReadBack.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/Graphics_API/TBitmap.h"
#include "Platform/MemoryManager.h"
#include "support/FakeGraphics.h"
#include "support/ScratchFolder.h"

namespace {

bool Updating()
{
    const char* update = std::getenv("ZB_UPDATE_GOLDEN");
    return update && *update == '1';
}

std::string FileName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

// Compares two blocks of w x h words channel by channel (the low `channels` bytes).
std::string Differences(const uint32_t* px, const uint32_t* golden, int64_t count, int channels, int tolerance)
{
    int worst = 0, bad = 0;
    for (int64_t i = 0; i < count; ++i)
        for (int s = 0; s < channels * 8; s += 8) {
            const int d = std::abs(int((px[i] >> s) & 0xFF) - int((golden[i] >> s) & 0xFF));
            worst = std::max(worst, d);
            if (d > tolerance) ++bad;
        }
    if (!bad) return "";
    return std::to_string(bad) + " channels differ by more than " + std::to_string(tolerance) + " (worst " +
           std::to_string(worst) + ")";
}

// Decodes a PNG file held in memory; empty with w = h = -1 when it does not decode.
std::vector<uint32_t> Decode(const std::string& bytes, int32_t& w, int32_t& h)
{
    uint32_t* block = GR_PNG_DecodeToBlock(bytes.data(), uint32_t(bytes.size()), &w, &h);
    std::vector<uint32_t> out;
    if (block) out.assign(block, block + int64_t(w) * h);
    MEM_FREE(block);
    return out;
}

std::string Compare(const std::vector<uint32_t>& px, int32_t w, int32_t h, const std::string& path, int channels,
                    int tolerance)
{
    const std::string bytes = Scratch_ReadFile(path);
    if (bytes.empty()) return "missing golden image " + path;
    int32_t gw = 0, gh = 0;
    const std::vector<uint32_t> golden = Decode(bytes, gw, gh);
    if (golden.empty()) return "the golden image " + path + " does not decode";
    if (gw != w || gh != h)
        return "size " + std::to_string(w) + " x " + std::to_string(h) + ", golden " + std::to_string(gw) + " x " +
               std::to_string(gh);
    return Differences(px.data(), golden.data(), int64_t(w) * h, channels, tolerance);
}

bool WritePng(const std::string& path, const std::vector<uint32_t>& px, int32_t w, int32_t h, bool withAlpha)
{
    std::vector<uint8_t> rgba(px.size() * 4);
    for (size_t i = 0; i < px.size(); ++i) {
        rgba[i * 4] = uint8_t(px[i] >> 16);
        rgba[i * 4 + 1] = uint8_t(px[i] >> 8);
        rgba[i * 4 + 2] = uint8_t(px[i]);
        rgba[i * 4 + 3] = withAlpha ? uint8_t(px[i] >> 24) : 0xFF; // the screen's alpha is the drawing's
    }
    GR_PNG_SetSavePathMapper([](char* out, size_t cap, const char* file) {
        std::snprintf(out, cap, "%s", file);
        return true;
    });
    const bool written = write_png_file(path.c_str(), rgba.data(), w, h);
    GR_PNG_SetSavePathMapper(nullptr);
    return written;
}

} // namespace

std::string Golden_DataPath(const std::string& relative)
{
    return std::string(ZB_TESTS_DIR) + "/data/" + relative;
}

std::string Golden_Compare(const std::vector<uint32_t>& px, int32_t w, int32_t h, const std::string& golden,
                           int tolerance, bool withAlpha)
{
    if (px.size() != size_t(w) * size_t(h)) return "no picture of " + std::to_string(w) + " x " + std::to_string(h);
    const std::string path = Golden_DataPath(golden);
    if (Updating()) return WritePng(path, px, w, h, withAlpha) ? "" : "could not write " + path;
    std::string result = Compare(px, w, h, path, withAlpha ? 4 : 3, tolerance);
    if (!result.empty()) {
        const std::string actual = ::testing::TempDir() + "actual_" + FileName(golden);
        WritePng(actual, px, w, h, withAlpha);
        result += "; picture written to " + actual;
    }
    return result;
}

std::string Golden_CompareFile(const std::string& picture, const std::string& golden, int tolerance)
{
    const std::string bytes = Scratch_ReadFile(picture);
    if (bytes.empty()) return "no picture " + picture;
    const std::string path = Golden_DataPath(golden);
    if (Updating()) {
        Scratch_WriteFile(path, bytes);
        return "";
    }
    int32_t w = 0, h = 0;
    const std::vector<uint32_t> px = Decode(bytes, w, h);
    std::string result = px.empty() ? "the picture does not decode" : Compare(px, w, h, path, 3, tolerance);
    if (!result.empty()) {
        const std::string copy = ::testing::TempDir() + "actual_" + FileName(golden);
        Scratch_WriteFile(copy, bytes);
        result += "; picture copied to " + copy;
    }
    return result;
}

bool GoldenDevice_Open(int32_t w, int32_t h)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    GraphicsTest_ResetGlobals();
    GfxSystem_Set(nullptr);
    WindowHost_Set(nullptr);
    GR_Options().windowWidth = w;
    GR_Options().windowHeight = h;
    GR_BuiltinImages_SetTable(GR_BuiltinImages_Default());
    void* window = GR_Window_Create(w, h);
    return window && GR_D3D_Init(window, w, h, 0);
}

void GoldenDevice_Close()
{
    GR_D3D_Shutdown();
    GR_Texture_FreeAll();
    GraphicsTest_ResetGlobals();
}

std::vector<uint32_t> GoldenDevice_Read(int32_t w, int32_t h)
{
    GR_D3D_Flush();
    uint32_t* block = GR_D3D_ReadBackBufferRect(w, h, 0, 0, w, h);
    std::vector<uint32_t> out;
    if (block) out.assign(block, block + int64_t(w) * h);
    MEM_FREE(block);
    return out;
}
