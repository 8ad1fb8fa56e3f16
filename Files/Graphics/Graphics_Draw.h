// 2D primitive drawing: clearing, points, lines (thin and wide), triangles, rectangles,
// circles and ellipses, rounded rectangles, arrows, bevelled buttons, health bars and
// primitives collected vertex by vertex; the circle precision table; the colour conversions
// behind make_color_hsv, color_get_*, merge_color. Every primitive takes the drawing colour
// and alpha (Graphics_RenderState), the current depth (Graphics_3D) and the pixel offset
// pair of the projection (Graphics_D3D) and writes straight into the vertex batch.
//
// Colours: script colours are 0x00BBGGRR; device colours 0xAARRGGBB. Thin primitives use the
// 16-byte vertex (x, y, z, colour), the others the 24-byte one (x, y, z, colour, u, v).
// Needs: Graphics_Batch, Graphics_RenderState, Graphics_3D, Graphics_D3D, Graphics_Texture.
// No Linux/ file.
#pragma once

#include <cstdint>

struct TexturePageEntry;

enum { GR_PRIMITIVE_MAX_VERTICES = 1001, GR_CIRCLE_MAX_PRECISION = 64 };

// ---- Colour conversions ---------------------------------------------------------------------
// alpha clamped to 0..1, times 255, truncated (NaN gives 0).
uint32_t GR_Colour_AlphaToByte(float alpha);
// alphaByte << 24 | red << 16 | green << 8 | blue of a script colour.
uint32_t GR_Colour_ToARGBByte(uint32_t colour, uint32_t alphaByte);
uint32_t GR_Colour_SetAlphaByte(uint32_t argb, uint32_t alphaByte);
uint32_t GR_Colour_PackBytes(uint32_t a, uint32_t b, uint32_t c, uint32_t d);
// Per channel round-half-even of c1 * t + c0 * (1 - t); script layout.
uint32_t GR_Colour_Lerp(uint32_t c0, uint32_t c1, float t);
// merge_color: the same mix with (1 - amount) rounded to single precision first.
uint32_t GR_Colour_Merge(uint32_t c1, uint32_t c2, double amount);
struct GR_HSV {
    uint8_t hue, saturation, value;
};
GR_HSV GR_Colour_ToHSV(uint32_t colour);
uint32_t GR_Colour_FromHSV(GR_HSV hsv);

// Largest integer not above v, x86 result (INT32_MIN) for NaN and out of range.
int32_t GR_FloorF(double v);

// ---- Circle table ------------------------------------------------------------------------------
// Precision clamped to 4..64, rounded down to a multiple of 4; fills the table.
void GR_Draw_SetCirclePrecision(int32_t precision);
int32_t GR_Draw_GetCirclePrecision();
// Start-up: precision 24.
void GR_Draw_InitCircleTable();

// ---- Primitives ----------------------------------------------------------------------------
void GR_Draw_Clear(uint32_t colour);
void GR_Draw_ClearAlpha(uint32_t colour, float alpha);
void GR_Draw_Point(float x, float y);
void GR_Draw_PointColour(float x, float y, uint32_t colour);
void GR_Draw_Line(float x1, float y1, float x2, float y2);
void GR_Draw_LineColour(float x1, float y1, float x2, float y2, uint32_t c1, uint32_t c2);
void GR_Draw_LineWidth(float x1, float y1, float x2, float y2, float width);
void GR_Draw_LineWidthColour(float x1, float y1, float x2, float y2, float width, uint32_t c1, uint32_t c2);
void GR_Draw_Triangle(float x1, float y1, float x2, float y2, float x3, float y3, bool outline);
void GR_Draw_TriangleColour(float x1, float y1, float x2, float y2, float x3, float y3, uint32_t c1,
                            uint32_t c2, uint32_t c3, bool outline);
void GR_Draw_Rectangle(float x1, float y1, float x2, float y2, bool outline);
void GR_Draw_RectangleColour(float x1, float y1, float x2, float y2, uint32_t c1, uint32_t c2, uint32_t c3,
                             uint32_t c4, bool outline);
void GR_Draw_Circle(float x, float y, float r, bool outline);
void GR_Draw_CircleColour(float x, float y, float r, uint32_t c1, uint32_t c2, bool outline);
void GR_Draw_Ellipse(float x1, float y1, float x2, float y2, bool outline);
void GR_Draw_EllipseColour(float x1, float y1, float x2, float y2, uint32_t c1, uint32_t c2, bool outline);
// Centre and edge colours are device colours (ARGB) here.
void GR_Draw_EllipseCore(float x1, float y1, float x2, float y2, uint32_t centre, uint32_t edge, bool outline);
void GR_Draw_RoundRect(float x1, float y1, float x2, float y2, float rx, float ry, bool outline);
void GR_Draw_RoundRectColour(float x1, float y1, float x2, float y2, float rx, float ry, uint32_t c1,
                             uint32_t c2, bool outline);
void GR_Draw_RoundRectCore(float x1, float y1, float x2, float y2, float rx, float ry, uint32_t centre,
                           uint32_t edge, bool outline);
void GR_Draw_Arrow(float x1, float y1, float x2, float y2, float size);
void GR_Draw_Button(float x1, float y1, float x2, float y2, bool up);
void GR_Draw_Healthbar(float x1, float y1, float x2, float y2, float amount, uint32_t back, uint32_t minColour,
                       uint32_t midColour, uint32_t maxColour, int32_t direction, bool showBack, bool showBorder);

// ---- Collected primitives ------------------------------------------------------------------
// kind: 1 point list .. 6 triangle fan. texture: a texture id, a page-entry handle, or -1.
void GR_Draw_PrimitiveBegin(int32_t kind, int64_t texture);
void GR_Draw_Vertex(float x, float y);
void GR_Draw_VertexColour(float x, float y, uint32_t colour, float alpha);
void GR_Draw_VertexTexture(float x, float y, float u, float v);
void GR_Draw_VertexTextureColour(float x, float y, float u, float v, uint32_t colour, float alpha);
void GR_Draw_PrimitiveEnd();
int32_t GR_Draw_PrimitiveCount();

