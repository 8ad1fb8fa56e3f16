// A model of the device the drawing rule was written for, to judge pictures by: pixel centres
// on whole window coordinates; a triangle lights the pixels whose centres lie inside it, a
// centre on an edge going to the top and left edges; a point is the one-pixel square around
// it by the same convention (it lights the pixel it falls in, ties to the top and left); a
// line runs from the pixel of its first end to the pixel of its last, which it leaves out,
// lighting one pixel for each step along its longer axis, the one nearest the straight line
// between those two pixels' centres: the band one pixel across around that straight line,
// filled by the same convention (half-way between two pixels, the left one for a steep line,
// the upper one for a shallow line rising to the right, the lower one for one falling to the
// right). Room positions reach
// the window through the view (room area -> port), the projection's half pixel and the
// primitives' pixel-offset pair, both faded out once the first view is scaled by more than a
// percent.
//
// Everything is exact: window coordinates are kept as rationals of 128-bit integers, so a
// centre on an edge is found as such at every scale. What a rasteriser working in single
// precision and holding vertices to 1/256 of a pixel cannot decide is not judged: a pixel of
// a filled shape whose centre lies on or within 1/256 of an edge through a vertex off that
// grid may go either way; a thin shape with an end within 1/512 of a pixel edge (not on it) is
// not judged at all. Coordinates in sixteenths reach neither at the scales drawn.
//
// The primitives are built as the drawing layer builds them (the script's coordinates in
// single precision, the pixel offset added to points, lines and outlines, the right and
// bottom edges of filled rectangles, 0.01 past a whole right or bottom of a coloured
// rectangle, ...), then rasterised here.
#pragma once

#include <cstdint>
#include <vector>

namespace pixelmodel {

// One member of the pixel-offset pair for a first view of this size shown in a port of this
// size: 1 at 1:1, 0 beyond a scale of 1.01 either way (in single precision).
float Fade(int32_t view, int32_t port);

// Where room positions land on one target: the room area shown (view), the pixels it is
// shown in (port), and the pixel-offset pair in force. The projection's half pixel is half
// a pixel scaled by the same pair.
struct Mapping {
    int32_t viewX = 0, viewY = 0, viewW = 1, viewH = 1;
    int32_t portX = 0, portY = 0, portW = 1, portH = 1;
    float offsetX = 1.0f, offsetY = 1.0f;
};

// A rectangle of a target's pixels, each holding the set of colour classes (bits 0..15) it
// may show: drawing paints over what is there; a pixel too near an edge to judge keeps what
// was there and may also take the new class. Pixels drawn outside the box are counted.
class Canvas {
public:
    Canvas(int32_t left, int32_t top, int32_t width, int32_t height, int32_t background);
    uint16_t At(int32_t x, int32_t y) const; // 0 outside the box
    int32_t left, top, width, height;
    int64_t outside = 0;    // pixels drawn outside the box
    bool unjudged = false;  // a thin shape's end lay too near a pixel edge

    void Paint(int64_t x, int64_t y, int32_t cls, bool sure);

private:
    std::vector<uint16_t> m_px;
};

// Rasterising on a target through a mapping (room coordinates in single precision).
void Point(Canvas& c, const Mapping& m, float x, float y, int32_t cls);
void Line(Canvas& c, const Mapping& m, float x1, float y1, float x2, float y2, int32_t cls);
void Triangle(Canvas& c, const Mapping& m, const float* xy, int32_t cls); // xy: 6 values

// The script's drawing functions, built as the drawing layer builds them.
void DrawPoint(Canvas& c, const Mapping& m, float x, float y, int32_t cls);
void DrawLine(Canvas& c, const Mapping& m, float x1, float y1, float x2, float y2, int32_t cls);
void DrawLineWidth(Canvas& c, const Mapping& m, float x1, float y1, float x2, float y2, float width, int32_t cls);
void DrawRectangle(Canvas& c, const Mapping& m, float x1, float y1, float x2, float y2, bool outline, int32_t cls);
void DrawRectangleColour(Canvas& c, const Mapping& m, float x1, float y1, float x2, float y2, bool outline,
                         int32_t cls);
void DrawTriangle(Canvas& c, const Mapping& m, float x1, float y1, float x2, float y2, float x3, float y3, bool outline,
                  int32_t cls);
void DrawArrow(Canvas& c, const Mapping& m, float x1, float y1, float x2, float y2, float size, int32_t cls);
// Back and bar of one class each, the border in another; direction 0..3, back and border shown.
void DrawHealthbar(Canvas& c, const Mapping& m, float x1, float y1, float x2, float y2, float amount, int32_t direction,
                   int32_t back, int32_t bar, int32_t border);

} // namespace pixelmodel
