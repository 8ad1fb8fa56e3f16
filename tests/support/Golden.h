// Golden images: a picture compared with a PNG file under tests/data/, forgiving what differs
// between machines and rasteriser versions (rounding within a tolerance, an edge a pixel off
// or drawn by one rasteriser and not another) while a real difference fails (Golden_Judge);
// ZB_UPDATE_GOLDEN=1 writes the picture over the golden file instead (look at it before
// committing). And the OpenGL device the golden scenes are drawn on (Mesa
// llvmpipe without a display, SDL_VIDEODRIVER=offscreen), read back whole.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// tests/data/<relative>.
std::string Golden_DataPath(const std::string& relative);

// Compares w x h pixels (0xAARRGGBB words, as the device reads them back) with the PNG
// tests/data/<golden>: red, green and blue, and alpha too with withAlpha (else the file gets
// alpha 255), as Golden_Judge decides. "" when they match, else the regions that differ; the
// actual picture and a difference picture are then kept (build/Testing/golden/) and the
// message says where.
std::string Golden_Compare(const std::vector<uint32_t>& pixels, int32_t w, int32_t h, const std::string& golden,
                           int tolerance = 2, bool withAlpha = false);
// The same for a PNG file (red, green and blue); keep false: the pictures are not kept (a
// caller that polls until the picture comes).
std::string Golden_CompareFile(const std::string& picture, const std::string& golden, int tolerance = 2,
                               bool keep = true);

// A region of differing pixels (touching ones, diagonals included) and its bounding box.
struct GoldenRegion {
    int32_t x = 0, y = 0, w = 0, h = 0;
    int64_t pixels = 0;
    bool sliver = false; // a speck, or along straight edges
};

// How two pictures compare. A pixel agrees when each channel is within the tolerance of the
// golden one, or of one of the golden pixels around it, and the golden pixel likewise finds
// its like around it in the picture: an edge one pixel off agrees. The pixels that do not
// agree make regions. A region is a sliver when it is a speck (at most 4 pixels) or lies all
// along straight edges at most two pixels thick (runs of at least 12 pixels: an edge or a
// corner of a rectangle that one rasteriser covers and another leaves out). The pictures are
// the same when every region is a sliver and the slivers together are few (at most 1/200 of
// the picture: a dialog moved by two pixels leaves slivers along all its edges). A glyph's
// strokes, a button, a wrong colour over an area fail.
struct GoldenVerdict {
    bool same = true;
    int worst = 0;                   // the largest channel difference, anywhere
    int64_t sliverPixels = 0, allowance = 0;
    std::vector<GoldenRegion> regions;
    std::vector<uint8_t> mask;       // a pixel: 0 agrees, 1 in a forgiven sliver, 2 differs
    std::string Describe() const;    // "" when the same, else the failing regions, largest first
};
GoldenVerdict Golden_Judge(const uint32_t* pixels, const uint32_t* golden, int32_t w, int32_t h, int channels,
                           int tolerance);

// Starts the OpenGL device on a w x h window with the graphics layer's state reset; false
// when no OpenGL context can be made (a suite then skips). For SetUpTestSuite.
bool GoldenDevice_Open(int32_t w, int32_t h);
// Stops it, frees every texture and resets the graphics layer. For TearDownTestSuite.
void GoldenDevice_Close();
// The back buffer after the batch is flushed (w x h words; empty when it cannot be read).
std::vector<uint32_t> GoldenDevice_Read(int32_t w, int32_t h);
