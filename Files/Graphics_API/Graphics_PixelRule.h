// Where points and lines land on a target's pixels (the pixel rule of docs/decisions.md). The
// device this drawing was made for has its pixel centres on whole window coordinates and fills
// a shape with the pixels whose centres lie inside it, a centre on an edge going to the shape
// when the edge is a top edge (level, the shape below it) or a left edge (the shape to its
// right). Thin shapes are filled by the same convention:
// - a coordinate falls in the pixel whose square holds it, one on the edge between two pixels
//   in the left or upper one; a point lights the pixel it falls in;
// - a line is the band one pixel across (along its shorter axis) around the straight line
//   between the centres of the pixels its ends fall in, from the first end's pixel to the
//   last's, which it leaves out: one pixel for each step along its longer axis, the one nearest
//   that straight line. Where the straight line passes exactly half-way between two pixels the
//   band's edge through the upper or left one decides: the left one for a steep line, the upper
//   one for a shallow line rising to the right, the lower one for a shallow line falling to the
//   right.
//
// Pure arithmetic, no host library: the OpenGL device (Linux/Graphics_DeviceM.cpp) moves each
// point to the centre of its pixel and draws each line as the rasteriser's own line along the
// same straight line (GR_Pixel_LineSpan), or fills its band with corners on the rasteriser's
// own grid, or, where neither can be had, the line's runs of pixels.
#pragma once

#include <cstdint>

// A window coordinate this close past a pixel edge still counts as on it: the transforms in
// single precision put a coordinate meant to lie on an edge up to about 1/4000 of a pixel
// either side of it in a window 2048 pixels wide.
constexpr double GR_PIXEL_TIE = 1.0 / 2048.0;

// Window coordinates beyond this many pixels are not turned into pixels (a line's ends are
// first clipped to a square of this half-size; a point there is not drawn).
constexpr double GR_PIXEL_FAR = 268435456.0; // 2^28: products of two line lengths fit 64 bits

// The part [*t0, *t1] of the segment from (ax, ay) to (bx, by) (0 its first end, 1 its last)
// that lies within GR_PIXEL_FAR / 2 of the origin on both axes; false when none does (or a
// coordinate is not finite).
bool GR_Pixel_ClipFar(double ax, double ay, double bx, double by, double* t0, double* t1);

// The pixel coordinate c falls in, ties to the lower index. c must lie within GR_PIXEL_FAR.
inline int64_t GR_Pixel_Of(double c)
{
    // Rounded up: truncated, then one more above a whole number (below 0 truncating rounds up).
    const double v = c - 0.5 - GR_PIXEL_TIE;
    const int64_t t = (int64_t)v;
    return t + (v > (double)t ? 1 : 0);
}

// The line from pixel (x0, y0) to pixel (x1, y1) as a band: four corners (x, y window
// coordinates in order around it) and, for each, how far along the line from its first end it
// lies (0..1, for colours and the like). Filled by the convention, it lights exactly the
// line's pixels. False (no corners) when they would not lie on the rasteriser's grid of 1/256
// of a pixel, which a line drawn towards the left or up that is long and has few common
// factors of its two extents needs; and for a line of no length.
bool GR_Pixel_LineBand(int64_t x0, int64_t y0, int64_t x1, int64_t y1, double corners[8], double along[4]);

// One run of a line: pixels first..last along its longer axis (in the order drawn, so first
// may be the larger), all at minor on the other axis.
struct GR_PixelRun {
    bool xMajor;         // the run is a row (else a column)
    int64_t first, last; // along the longer axis
    int64_t minor;
};

// The runs of the line from pixel (x0, y0) to pixel (x1, y1), its last pixel left out, in the
// order drawn, only those pixels inside [left, right) x [top, bottom). Ends within
// GR_PIXEL_FAR. emit(run, ctx) is called once for each run; the work is bounded by the box's
// extent along the line's longer axis.
void GR_Pixel_LineRuns(int64_t x0, int64_t y0, int64_t x1, int64_t y1, int64_t left, int64_t top, int64_t right,
                       int64_t bottom, void (*emit)(const GR_PixelRun& run, void* ctx), void* ctx);

// The steps of the line from pixel (x0, y0) to pixel (x1, y1) whose pixels lie inside
// [left, right) x [top, bottom): the first and the last (step k is the pixel k steps along the
// longer axis from the first end, 0 <= k < its length). False when none is. Ends within
// GR_PIXEL_FAR; the work grows with the logarithm of the line's length.
bool GR_Pixel_LineSteps(int64_t x0, int64_t y0, int64_t x1, int64_t y1, int64_t left, int64_t top, int64_t right,
                        int64_t bottom, int64_t* first, int64_t* last);

// The rasteriser's own line (Mesa's software rasteriser, one pixel wide) lights, in each
// column (for a line longer across than down; rows otherwise) strictly between its ends, the
// pixel whose centre its band one pixel across holds, by the fill convention: the line's own
// pixel when the band lies along the same straight line. Each end is first moved to a pixel
// edge (and rounded there) unless it stays by the rasteriser's test of which pixels' diamonds
// the line leaves; it stays, and the band's corners are exactly those of the given ends, where
// the line is given from a start in the later half of its pixel along the line (up from its
// centre) and outside the pixel's diamond to an end in the earlier half of another pixel, or the
// other way round: from a start in the earlier half, outside its diamond, back to an end in the
// later half. Its ends are held to 1/256 of a pixel: ends on the straight line exactly, on that
// grid, keep the band exact.
struct GR_PixelSpan {
    int64_t from[2], to[2]; // window coordinates (x, y) in 1/256 of a pixel, in the order given
};

// Such a rasteriser's line along the line from pixel (x0, y0) to pixel (x1, y1) lighting its
// pixels at least from lo to hi along the longer axis (inclusive) and ending just beyond them,
// its ends strictly inside box (left, top, right, bottom, in 1/256 of a pixel); the pixels
// beyond lo and hi are the drawer's to leave out. False when no such ends lie near enough (a
// line whose grid points all lie on pixel centres, a box too tight). Ends within GR_PIXEL_FAR.
bool GR_Pixel_LineSpan(int64_t x0, int64_t y0, int64_t x1, int64_t y1, int64_t lo, int64_t hi, const int64_t box[4],
                       GR_PixelSpan* out);
