// 3D primitives and shapes (see Graphics_3D_Primitive.h). No host library here.
//
// [SECTION] Primitive state
// [SECTION] Vertices
// [SECTION] Submission
// [SECTION] Shapes
#include "Files/Graphics/Graphics_3D_Primitive.h"

#include <cmath>
#include <cstring>

#include "Files/Base/RealConvert.h"
#include "Files/Graphics/Graphics_Draw.h"
#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_RenderState.h"

// ============================================================================================
// [SECTION] Primitive state
// ============================================================================================
namespace {

// ORDER: primitive kinds 0..6.
const int32_t kVertexLimit[7] = {0, 1000, 1000, 1000, 999, 1000, 1000};

// pi as single precision holds it, used in double.

// The primitive being built. Invariant: 0 <= count <= limit <= GR_3D_PRIMITIVE_CAPACITY, except
// that kind 0 has limit 0 and holds at most one vertex (each vertex submits the last).
struct PrimState {
    int32_t kind = 0, count = 0, texture = -1, limit = 0;
    bool entry = false;                    // texture coordinates are mapped into a page entry
    float srcX = 0, srcY = 0, targetW = 0, targetH = 0, pageW = 1, pageH = 1;
    Vertex3D v[GR_3D_PRIMITIVE_CAPACITY];
    uint8_t drawColour[GR_3D_PRIMITIVE_CAPACITY]; // 1: took the drawing colour
};
PrimState g_prim;
GraphicsRecorder* g_recorder = nullptr;
GR_3D_SubmitObserver g_observer = nullptr;
void* g_observerUser = nullptr;

void Put(float x, float y, float z, float nx, float ny, float nz, uint32_t colour, float u, float v, bool draw)
{
    if (g_prim.count >= g_prim.limit) GR_3D_FlushVertices();
    if (g_prim.count >= GR_3D_PRIMITIVE_CAPACITY) return;
    Vertex3D& o = g_prim.v[g_prim.count];
    o.x = x;
    o.y = y;
    o.z = z;
    o.nx = nx;
    o.ny = ny;
    o.nz = nz;
    o.colour = colour;
    o.u = u;
    o.v = v;
    g_prim.drawColour[g_prim.count] = draw ? 1 : 0;
    ++g_prim.count;
}

inline float MapU(float u) { return g_prim.entry ? (g_prim.srcX + g_prim.targetW * u) / g_prim.pageW : u; }
inline float MapV(float v) { return g_prim.entry ? (g_prim.srcY + g_prim.targetH * v) / g_prim.pageH : v; }
inline uint32_t Given(uint32_t colour, float alpha) { return GR_Colour_ToARGBByte(colour, GR_Colour_AlphaToByte(alpha)); }
inline uint32_t DrawColour() { return GR_Draw_GetColourARGB(); }

} // namespace

int32_t GR_3D_PrimitiveVertexLimit(int32_t kind)
{
    return kind >= 0 && kind <= 6 ? kVertexLimit[kind] : GR_3D_PRIMITIVE_CAPACITY;
}

void GR_3D_PrimitiveBegin(int32_t kind, int64_t texture)
{
    g_prim.count = 0;
    g_prim.kind = kind;
    g_prim.entry = false;
    g_prim.texture = -1;
    g_prim.limit = GR_3D_PrimitiveVertexLimit(kind);
    int32_t id;
    TexturePageEntry* e;
    if (texture == -1 || !GR_Texture_ResolveArgument(texture, &id, &e)) return;
    if (id >= 0) {
        g_prim.texture = id;
        return;
    }
    // Only the entry's numbers are kept: the entry may be freed before the primitive ends.
    g_prim.entry = true;
    g_prim.texture = e->texturePage;
    g_prim.srcX = e->srcX;
    g_prim.srcY = e->srcY;
    g_prim.targetW = e->targetWidth;
    g_prim.targetH = e->targetHeight;
    TextureRecord* page = GR_Texture_GetPage(e->texturePage);
    g_prim.pageW = page ? (float)page->Width() : 1.0f;
    g_prim.pageH = page ? (float)page->Height() : 1.0f;
}

void GR_3D_SetRecorder(GraphicsRecorder* recorder) { g_recorder = recorder; }
GraphicsRecorder* GR_3D_GetRecorder() { return g_recorder; }

GR_3D_PrimitiveInfo GR_3D_GetPrimitiveInfo() { return {g_prim.kind, g_prim.count, g_prim.texture, g_prim.entry}; }
const Vertex3D* GR_3D_PrimitiveVertices() { return g_prim.v; }

void GR_3D_ResetPrimitive()
{
    g_prim.kind = 0;
    g_prim.count = 0;
    g_prim.texture = -1;
    g_prim.limit = 0;
    g_prim.entry = false;
    g_recorder = nullptr;
    g_observer = nullptr;
    g_observerUser = nullptr;
}

// ============================================================================================
// [SECTION] Vertices
// ============================================================================================
void GR_3D_Vertex(float x, float y, float z) { Put(x, y, z, 0, 0, 0, DrawColour(), 0, 0, true); }

void GR_3D_VertexColour(float x, float y, float z, uint32_t colour, float alpha)
{
    Put(x, y, z, 0, 0, 0, Given(colour, alpha), 0, 0, false);
}

void GR_3D_VertexTexture(float x, float y, float z, float u, float v)
{
    Put(x, y, z, 0, 0, 0, DrawColour(), MapU(u), MapV(v), true);
}

void GR_3D_VertexTextureColour(float x, float y, float z, float u, float v, uint32_t colour, float alpha)
{
    Put(x, y, z, 0, 0, 0, Given(colour, alpha), MapU(u), MapV(v), false);
}

void GR_3D_VertexNormal(float x, float y, float z, float nx, float ny, float nz)
{
    Put(x, y, z, nx, ny, nz, DrawColour(), 0, 0, true);
}

void GR_3D_VertexNormalColour(float x, float y, float z, float nx, float ny, float nz, uint32_t colour, float alpha)
{
    Put(x, y, z, nx, ny, nz, Given(colour, alpha), 0, 0, false);
}

void GR_3D_VertexNormalTexture(float x, float y, float z, float nx, float ny, float nz, float u, float v)
{
    Put(x, y, z, nx, ny, nz, DrawColour(), MapU(u), MapV(v), true);
}

void GR_3D_VertexNormalTextureColour(float x, float y, float z, float nx, float ny, float nz, float u, float v,
                                     uint32_t colour, float alpha)
{
    Put(x, y, z, nx, ny, nz, Given(colour, alpha), MapU(u), MapV(v), false);
}

// ============================================================================================
// [SECTION] Submission
// ============================================================================================
namespace {

// Every kind goes into the batch as a list, so that consecutive primitives and shapes of one
// texture are drawn together: line strips as their lines, triangle strips and fans as their
// triangles, each starting with the vertex flat shading takes its colour from (the same
// triangles as the strip or fan, the same pixels). Lists keep whole primitives only, since a
// leftover vertex would join the next primitive of the batch.
void SubmitToBatch(int32_t kind, int32_t n, const Vertex3D* v, TextureRecord* texture)
{
    int32_t type = kind, count = n;
    switch (kind) {
    case 2: count = n & ~1; break;
    case 3: type = 2; count = n >= 2 ? 2 * (n - 1) : 0; break;
    case 4: count = n - n % 3; break;
    case 5:
    case 6: type = 4; count = n >= 3 ? 3 * (n - 2) : 0; break;
    default: break;
    }
    if (count <= 0) return;
    Vertex3D* out = (Vertex3D*)GR_D3D_AllocVertices(type, texture, (int32_t)sizeof(Vertex3D), count);
    if (!out) return;
    switch (kind) {
    case 3:
        for (int32_t i = 0; i + 1 < n; ++i) {
            out[2 * i] = v[i];
            out[2 * i + 1] = v[i + 1];
        }
        break;
    case 5:
    case 6:
        for (int32_t i = 0; i + 2 < n; ++i) {
            int32_t t[3];
            GR_TriangleOfStrip(kind, i, t);
            out[3 * i] = v[t[0]];
            out[3 * i + 1] = v[t[1]];
            out[3 * i + 2] = v[t[2]];
        }
        break;
    default: std::memcpy(out, v, sizeof(Vertex3D) * (size_t)count); break;
    }
}

} // namespace

void GR_3D_SetSubmitObserver(GR_3D_SubmitObserver observer, void* user)
{
    g_observer = observer;
    g_observerUser = user;
}

void GR_3D_PrimitiveEnd()
{
    if (g_prim.kind < 1 || g_prim.kind > 6 || g_prim.count <= 0) return;
    if (g_observer) g_observer(g_prim.kind, g_prim.count, g_prim.v, g_observerUser);
    if (g_recorder) {
        g_recorder->Add(g_prim.kind, g_prim.count, g_prim.v, g_prim.drawColour);
        return;
    }
    SubmitToBatch(g_prim.kind, g_prim.count, g_prim.v, GR_Texture_GetPage(g_prim.texture));
}

void GR_3D_FlushVertices()
{
    // The vertices a continuation needs (indexes into the full buffer).
    int32_t keep[3], n = 0, c = g_prim.count;
    switch (g_prim.kind) {
    case 3:
        if (c >= 1) keep[n++] = c - 1;
        break;
    case 5:
        if (c >= 2) {
            keep[n++] = c - 2;
            // An odd count repeats the second-last vertex, so the continuation's triangles keep
            // the winding they would have had in one strip.
            if (c & 1) keep[n++] = c - 2;
            keep[n++] = c - 1;
        }
        break;
    case 6:
        if (c >= 1) {
            keep[n++] = 0;
            keep[n++] = c - 1;
        }
        break;
    default:
        break;
    }
    Vertex3D v[3];
    uint8_t f[3];
    for (int32_t i = 0; i < n; ++i) {
        v[i] = g_prim.v[keep[i]];
        f[i] = g_prim.drawColour[keep[i]];
    }
    GR_3D_PrimitiveEnd();
    for (int32_t i = 0; i < n; ++i) {
        g_prim.v[i] = v[i];
        g_prim.drawColour[i] = f[i];
    }
    g_prim.count = n;
}

// ============================================================================================
// [SECTION] Shapes
// ============================================================================================
namespace {

// Every shape is drawn with texture repeat on, and the repeat flag is restored afterwards.
// No flush is needed around it: a change of the flag is pending in the render-state cache,
// so the batch draws what came before under the old flag and the shape under repeat (the
// batch is flushed when a state changed, and a flush draws before it applies). Shapes among
// shapes, where the flag goes back and forth without reaching the device, share one batch.
class ShapeFrame {
public:
    ShapeFrame() : m_repeat(GR_Texture_GetRepeat()) { GR_Texture_SetRepeat(true); }
    ~ShapeFrame() { GR_Texture_SetRepeat(m_repeat); }

private:
    bool m_repeat;
};

int32_t ClampSteps(int32_t steps) { return steps < 3 ? 3 : steps > 128 ? 128 : steps; }

// The angle of rim point i: computed in double, kept as a float.
float RimAngle(int32_t i, int32_t steps) { return (float)(2.0 * PI_FD * i / steps); }

struct Ellipse {
    float cx, cy, rx, ry;
    Ellipse(float x1, float y1, float x2, float y2)
        : cx((x1 + x2) / 2), cy((y1 + y2) / 2), rx((x2 - x1) / 2), ry((y2 - y1) / 2)
    {
    }
};

void Vertex(float x, float y, float z, float nx, float ny, float nz, float u, float v)
{
    GR_3D_VertexNormalTexture(x, y, z, nx, ny, nz, u, v);
}

// The closed end of a cylinder or cone at z1: centre, then the rim from the last point back.
void BottomFan(const Ellipse& e, float z1, int64_t texture, int32_t steps)
{
    GR_3D_PrimitiveBegin(6, texture);
    Vertex(e.cx, e.cy, z1, 0, 0, -1, 0, 0);
    for (int32_t i = steps; i >= 0; --i) {
        float a = RimAngle(i, steps);
        Vertex(e.cx + e.rx * std::cos(a), e.cy + e.ry * std::sin(a), z1, 0, 0, -1, 0, 0);
    }
    GR_3D_PrimitiveEnd();
}

} // namespace

void GR_3D_DrawBlock(float x1, float y1, float z1, float x2, float y2, float z2, int64_t texture, float h, float v)
{
    ShapeFrame frame;
    struct Face {
        float n[3];
        float c[4][3];
    };
    const Face faces[6] = {
        {{0, 0, -1}, {{x1, y1, z1}, {x1, y2, z1}, {x2, y2, z1}, {x2, y1, z1}}},
        {{0, 0, 1}, {{x1, y1, z2}, {x2, y1, z2}, {x2, y2, z2}, {x1, y2, z2}}},
        {{0, 1, 0}, {{x1, y2, z1}, {x1, y2, z2}, {x2, y2, z2}, {x2, y2, z1}}},
        {{1, 0, 0}, {{x2, y2, z1}, {x2, y2, z2}, {x2, y1, z2}, {x2, y1, z1}}},
        {{0, -1, 0}, {{x2, y1, z1}, {x2, y1, z2}, {x1, y1, z2}, {x1, y1, z1}}},
        {{-1, 0, 0}, {{x1, y1, z1}, {x1, y1, z2}, {x1, y2, z2}, {x1, y2, z1}}},
    };
    // Corners A, B, C, C, D, A with their texture coordinates.
    const int32_t order[6] = {0, 1, 2, 2, 3, 0};
    const float uv[4][2] = {{0, 0}, {0, v}, {h, v}, {h, 0}};
    GR_3D_PrimitiveBegin(4, texture);
    for (const Face& f : faces)
        for (int32_t k : order)
            Vertex(f.c[k][0], f.c[k][1], f.c[k][2], f.n[0], f.n[1], f.n[2], uv[k][0], uv[k][1]);
    GR_3D_PrimitiveEnd();
}

void GR_3D_DrawCylinder(float x1, float y1, float z1, float x2, float y2, float z2, int64_t texture, float h,
                        float v, bool closed, int32_t steps)
{
    ShapeFrame frame;
    steps = ClampSteps(steps);
    Ellipse e(x1, y1, x2, y2);
    if (closed) {
        GR_3D_PrimitiveBegin(6, texture);
        Vertex(e.cx, e.cy, z2, 0, 0, 1, 0, v);
        for (int32_t i = 0; i <= steps; ++i) {
            float a = RimAngle(i, steps);
            Vertex(e.cx + e.rx * std::cos(a), e.cy + e.ry * std::sin(a), z2, 0, 0, 1, 0, v);
        }
        GR_3D_PrimitiveEnd();
    }
    GR_3D_PrimitiveBegin(5, texture);
    for (int32_t i = 0; i <= steps; ++i) {
        float a = RimAngle(i, steps), ca = std::cos(a), sa = std::sin(a);
        float px = e.cx + e.rx * ca, py = e.cy + e.ry * sa, u = (float)i * h / (float)steps;
        Vertex(px, py, z2, ca, sa, 0, u, v);
        Vertex(px, py, z1, ca, sa, 0, u, 0);
    }
    GR_3D_PrimitiveEnd();
    if (closed) BottomFan(e, z1, texture, steps);
}

void GR_3D_DrawCone(float x1, float y1, float z1, float x2, float y2, float z2, int64_t texture, float h, float v,
                    bool closed, int32_t steps)
{
    ShapeFrame frame;
    steps = ClampSteps(steps);
    Ellipse e(x1, y1, x2, y2);
    GR_3D_PrimitiveBegin(5, texture);
    for (int32_t i = 0; i <= steps; ++i) {
        float a = RimAngle(i, steps), ca = std::cos(a), sa = std::sin(a);
        float u = (float)i * h / (float)steps;
        Vertex(e.cx, e.cy, z2, 0, 0, 1, u, v);
        Vertex(e.cx + e.rx * ca, e.cy + e.ry * sa, z1, ca, sa, 0, u, 0);
    }
    GR_3D_PrimitiveEnd();
    if (closed) BottomFan(e, z1, texture, steps);
}

void GR_3D_DrawEllipsoid(float x1, float y1, float z1, float x2, float y2, float z2, int64_t texture, float h,
                         float v, int32_t steps)
{
    ShapeFrame frame;
    steps = ClampSteps(steps);
    Ellipse e(x1, y1, x2, y2);
    float cz = (z1 + z2) / 2, rz = (z2 - z1) / 2;
    int32_t rings = (steps + 1) / 2;
    for (int32_t j = 0; j < rings; ++j) {
        float b[2] = {(float)(PI_FD * j / rings), (float)(PI_FD * (j + 1) / rings)};
        float tv[2] = {v * (float)j / (float)rings, v * (float)(j + 1) / (float)rings};
        float sb[2] = {std::sin(b[0]), std::sin(b[1])}, cb[2] = {std::cos(b[0]), std::cos(b[1])};
        GR_3D_PrimitiveBegin(5, texture);
        for (int32_t i = 0; i <= steps; ++i) {
            float a = RimAngle(i, steps), ca = std::cos(a), sa = std::sin(a);
            float u = (float)i * h / (float)steps;
            for (int32_t k = 0; k < 2; ++k) {
                float nx = sb[k] * ca, ny = sb[k] * sa, nz = cb[k];
                Vertex(e.cx + e.rx * nx, e.cy + e.ry * ny, cz + rz * nz, nx, ny, nz, u, tv[k]);
            }
        }
        GR_3D_PrimitiveEnd();
    }
}

void GR_3D_DrawWall(float x1, float y1, float z1, float x2, float y2, float z2, int64_t texture, float h, float v)
{
    float dx = x2 - x1, dy = y2 - y1;
    float length = std::sqrt(dx * dx + dy * dy);
    if (length == 0.0f) return;
    ShapeFrame frame;
    float nx = dy / length, ny = -dx / length;
    GR_3D_PrimitiveBegin(6, texture);
    Vertex(x1, y1, z1, nx, ny, 0, 0, 0);
    Vertex(x2, y2, z1, nx, ny, 0, h, 0);
    Vertex(x2, y2, z2, nx, ny, 0, h, v);
    Vertex(x1, y1, z2, nx, ny, 0, 0, v);
    GR_3D_PrimitiveEnd();
}

void GR_3D_DrawFloor(float x1, float y1, float z1, float x2, float y2, float z2, int64_t texture, float h, float v)
{
    ShapeFrame frame;
    GR_3D_PrimitiveBegin(6, texture);
    Vertex(x1, y1, z1, 0, 0, 1, 0, 0);
    Vertex(x1, y2, z1, 0, 0, 1, 0, v);
    Vertex(x2, y2, z2, 0, 0, 1, h, v);
    Vertex(x2, y1, z2, 0, 0, 1, h, 0);
    GR_3D_PrimitiveEnd();
}
