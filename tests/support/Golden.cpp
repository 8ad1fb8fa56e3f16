// Golden images and the device they are drawn on (tests/support/Golden.h).
#include "support/Golden.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

constexpr int32_t kEdgeRun = 12; // longer than a glyph's stroke

bool Near(uint32_t a, uint32_t b, int channels, int tolerance)
{
    for (int s = 0; s < channels * 8; s += 8)
        if (std::abs(int((a >> s) & 0xFF) - int((b >> s) & 0xFF)) > tolerance) return false;
    return true;
}

// Whether the pixel at (x, y) of `a` has a match within the tolerance among the pixels of
// `b` at most one pixel away.
bool MatchedNearby(const uint32_t* a, const uint32_t* b, int32_t w, int32_t h, int32_t x, int32_t y, int channels,
                   int tolerance)
{
    const uint32_t p = a[int64_t(y) * w + x];
    for (int32_t ny = std::max(0, y - 1); ny <= std::min(h - 1, y + 1); ++ny)
        for (int32_t nx = std::max(0, x - 1); nx <= std::min(w - 1, x + 1); ++nx)
            if (Near(p, b[int64_t(ny) * w + nx], channels, tolerance)) return true;
    return false;
}

} // namespace

GoldenVerdict Golden_Judge(const uint32_t* px, const uint32_t* golden, int32_t w, int32_t h, int channels, int tolerance)
{
    GoldenVerdict v;
    const int64_t count = int64_t(w) * h;
    // 0: agrees; 1: differs (no match within a pixel either way); then the region's mark.
    std::vector<int32_t> mark(size_t(count), 0);
    std::vector<uint8_t> changed(size_t(count), 0); // differs from the golden pixel in its place
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const int64_t i = int64_t(y) * w + x;
            for (int s = 0; s < channels * 8; s += 8)
                v.worst = std::max(v.worst, std::abs(int((px[i] >> s) & 0xFF) - int((golden[i] >> s) & 0xFF)));
            if (Near(px[i], golden[i], channels, tolerance)) continue;
            changed[size_t(i)] = 1;
            if (!MatchedNearby(px, golden, w, h, x, y, channels, tolerance) ||
                !MatchedNearby(golden, px, w, h, x, y, channels, tolerance))
                mark[size_t(i)] = 1;
        }
    // Where each differing pixel lies along an edge: a run of changed pixels at least kEdgeRun
    // long one way and at most two thick the other, long both ways (a corner) or at most two
    // both ways (the end of an edge past a crossing edge). Changed, not differing: the ends
    // of an edge may find their like in a crossing edge nearby. A glyph's strokes are runs of
    // 3 to 11 pixels.
    auto run = [&](int64_t i, int32_t dx, int32_t dy) {
        int32_t x = int32_t(i % w), y = int32_t(i / w), n = 1;
        for (int32_t s = -1; s <= 1; s += 2)
            for (int32_t k = 1;; ++k) {
                const int32_t nx = x + s * k * dx, ny = y + s * k * dy;
                if (nx < 0 || ny < 0 || nx >= w || ny >= h || !changed[size_t(int64_t(ny) * w + nx)]) break;
                ++n;
            }
        return n;
    };
    std::vector<uint8_t> edge(size_t(count), 0);
    for (int64_t i = 0; i < count; ++i)
        if (mark[size_t(i)]) {
            const int32_t across = run(i, 1, 0), down = run(i, 0, 1);
            const bool longAcross = across >= kEdgeRun, longDown = down >= kEdgeRun;
            const bool thinAcross = across <= 2, thinDown = down <= 2;
            edge[size_t(i)] = (longAcross && (thinDown || longDown)) || (longDown && thinAcross) || (thinAcross && thinDown);
        }
    // The differing pixels in regions (touching, diagonals included).
    std::vector<int64_t> stack;
    int32_t next = 2;
    for (int64_t i = 0; i < count; ++i) {
        if (mark[size_t(i)] != 1) continue;
        GoldenRegion r{int32_t(i % w), int32_t(i / w), 0, 0, 0, false};
        int32_t x1 = r.x, y1 = r.y;
        bool alongEdges = true;
        mark[size_t(i)] = next;
        stack.push_back(i);
        while (!stack.empty()) {
            const int64_t j = stack.back();
            stack.pop_back();
            const int32_t x = int32_t(j % w), y = int32_t(j / w);
            ++r.pixels;
            alongEdges = alongEdges && edge[size_t(j)];
            r.x = std::min(r.x, x);
            r.y = std::min(r.y, y);
            x1 = std::max(x1, x);
            y1 = std::max(y1, y);
            for (int32_t ny = std::max(0, y - 1); ny <= std::min(h - 1, y + 1); ++ny)
                for (int32_t nx = std::max(0, x - 1); nx <= std::min(w - 1, x + 1); ++nx) {
                    const int64_t k = int64_t(ny) * w + nx;
                    if (mark[size_t(k)] == 1) {
                        mark[size_t(k)] = next;
                        stack.push_back(k);
                    }
                }
        }
        r.w = x1 - r.x + 1;
        r.h = y1 - r.y + 1;
        // A sliver: straight edges at most two pixels thick (the edges of a rectangle that
        // one rasteriser covers and another leaves), or a speck of antialiasing. Anything
        // else (a glyph's strokes, a button, a band of colour) is a real difference.
        r.sliver = alongEdges || r.pixels <= 4;
        if (r.sliver) v.sliverPixels += r.pixels;
        v.regions.push_back(r);
        ++next;
    }
    // Slivers pass while they stay few: a dialog moved by two pixels leaves slivers all along
    // its edges and its texts.
    v.allowance = std::max<int64_t>(16, count / 200);
    v.same = v.sliverPixels <= v.allowance;
    for (const GoldenRegion& r : v.regions)
        if (!r.sliver) v.same = false;
    v.mask.assign(size_t(count), 0);
    for (int64_t i = 0; i < count; ++i)
        if (mark[size_t(i)] >= 2) {
            const GoldenRegion& r = v.regions[size_t(mark[size_t(i)] - 2)];
            v.mask[size_t(i)] = r.sliver && v.sliverPixels <= v.allowance ? 1 : 2;
        }
    return v;
}

std::string GoldenVerdict::Describe() const
{
    if (same) return "";
    std::vector<GoldenRegion> failing;
    for (const GoldenRegion& r : regions)
        if (!r.sliver || sliverPixels > allowance) failing.push_back(r);
    std::stable_sort(failing.begin(), failing.end(),
                     [](const GoldenRegion& a, const GoldenRegion& b) { return a.pixels > b.pixels; });
    std::string out = std::to_string(failing.size()) + " region(s) differ:";
    for (size_t i = 0; i < failing.size() && i < 6; ++i) {
        const GoldenRegion& r = failing[i];
        out += (i ? ", " : " ") + std::to_string(r.w) + " x " + std::to_string(r.h) + " at (" + std::to_string(r.x) +
               ", " + std::to_string(r.y) + ")";
    }
    if (failing.size() > 6) out += ", ...";
    out += "; worst channel difference " + std::to_string(worst);
    if (sliverPixels > allowance)
        out += "; " + std::to_string(sliverPixels) + " pixels in slivers, more than " + std::to_string(allowance);
    return out;
}

namespace {

// Decodes a PNG file held in memory; empty with w = h = -1 when it does not decode.
std::vector<uint32_t> Decode(const std::string& bytes, int32_t& w, int32_t& h)
{
    uint32_t* block = GR_PNG_DecodeToBlock(bytes.data(), uint32_t(bytes.size()), &w, &h);
    std::vector<uint32_t> out;
    if (block) out.assign(block, block + int64_t(w) * h);
    MEM_FREE(block);
    return out;
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
    GR_PNG_SetSavePathMapper([](const char* file) { return std::string(file); });
    const bool written = write_png_file(path.c_str(), rgba.data(), w, h);
    GR_PNG_SetSavePathMapper(nullptr);
    return written;
}

// The folder that keeps the pictures of failed comparisons: beside ctest's logs, or the test
// temp folder when that cannot be written (a build another user made).
std::string FailureFolder()
{
    auto usable = [](const std::string& folder) {
        for (size_t at = folder.find('/', 1); at != std::string::npos; at = folder.find('/', at + 1))
            mkdir(folder.substr(0, at).c_str(), 0755);
        mkdir(folder.c_str(), 0755);
        return access(folder.c_str(), W_OK) == 0;
    };
#ifdef ZB_GOLDEN_FAILURES
    if (usable(ZB_GOLDEN_FAILURES)) return std::string(ZB_GOLDEN_FAILURES) + "/";
#endif
    const std::string folder = ::testing::TempDir() + "golden";
    usable(folder);
    return folder + "/";
}

// The golden picture dimmed to grey, the pixels that failed red, the slivers forgiven yellow.
std::vector<uint32_t> DifferencePicture(const std::vector<uint32_t>& golden, const GoldenVerdict& v)
{
    std::vector<uint32_t> out(golden.size());
    for (size_t i = 0; i < golden.size(); ++i) {
        const uint32_t g = golden[i];
        const uint32_t grey = (((g >> 16) & 0xFF) + ((g >> 8) & 0xFF) + (g & 0xFF)) / 9;
        out[i] = v.mask[i] == 2 ? 0xFFFF0000u : v.mask[i] == 1 ? 0xFFFFFF00u : 0xFF000000u | grey << 16 | grey << 8 | grey;
    }
    return out;
}

// Compares with the golden file; on a difference keeps the actual picture and the difference
// picture and says where they are.
std::string Compare(const std::vector<uint32_t>& px, int32_t w, int32_t h, const std::string& goldenName, int channels,
                    int tolerance, bool withAlpha, bool keep = true)
{
    const std::string path = Golden_DataPath(goldenName);
    const std::string bytes = Scratch_ReadFile(path);
    std::string why;
    std::vector<uint32_t> golden;
    GoldenVerdict v;
    if (bytes.empty()) {
        why = "missing golden image " + path;
    } else {
        int32_t gw = 0, gh = 0;
        golden = Decode(bytes, gw, gh);
        if (golden.empty())
            why = "the golden image " + path + " does not decode";
        else if (gw != w || gh != h)
            why = "size " + std::to_string(w) + " x " + std::to_string(h) + ", golden " + std::to_string(gw) + " x " +
                  std::to_string(gh);
        else
            why = (v = Golden_Judge(px.data(), golden.data(), w, h, channels, tolerance)).Describe();
    }
    if (why.empty() || !keep) return why;
    std::string stem = goldenName.substr(0, goldenName.rfind('.'));
    std::replace(stem.begin(), stem.end(), '/', '_');
    const std::string folder = FailureFolder();
    if (WritePng(folder + stem + "_actual.png", px, w, h, withAlpha)) why += "; actual picture " + folder + stem + "_actual.png";
    if (!v.mask.empty() && WritePng(folder + stem + "_diff.png", DifferencePicture(golden, v), w, h, false))
        why += ", differences in " + folder + stem + "_diff.png";
    return why;
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
    if (Updating()) {
        const std::string path = Golden_DataPath(golden);
        return WritePng(path, px, w, h, withAlpha) ? "" : "could not write " + path;
    }
    return Compare(px, w, h, golden, withAlpha ? 4 : 3, tolerance, withAlpha);
}

std::string Golden_CompareFile(const std::string& picture, const std::string& golden, int tolerance, bool keep)
{
    const std::string bytes = Scratch_ReadFile(picture);
    if (bytes.empty()) return "no picture " + picture;
    if (Updating()) {
        Scratch_WriteFile(Golden_DataPath(golden), bytes);
        return "";
    }
    int32_t w = 0, h = 0;
    const std::vector<uint32_t> px = Decode(bytes, w, h);
    if (px.empty()) return "the picture " + picture + " does not decode";
    return Compare(px, w, h, golden, 3, tolerance, false, keep);
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
