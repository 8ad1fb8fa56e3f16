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
// point to the centre of its pixel and fills each line's band with corners on the rasteriser's
// own grid, or, where the band's corners cannot lie on that grid, the rectangles of the line's
// runs of pixels, whose edges lie on pixel edges.
#pragma once

#include <cstdint>

// A window coordinate this close past a pixel edge still counts as on it: the transforms in
// single precision put a coordinate meant to lie on an edge up to about 1/4000 of a pixel
// either side of it in a window 2048 pixels wide.
constexpr double GR_PIXEL_TIE = 1.0 / 2048.0;

// Window coordinates beyond this many pixels are not turned into pixels (a line's ends are
// first clipped to a square of this half-size; a point there is not drawn).
constexpr double GR_PIXEL_FAR = 268435456.0; // 2^28: products of two line lengths fit 64 bits

// The pixel coordinate c falls in, ties to the lower index. c must lie within GR_PIXEL_FAR.
int64_t GR_Pixel_Of(double c);

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
