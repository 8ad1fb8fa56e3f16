// The graphics recorder: 3D primitives captured once and replayed many times. A 3D model is
// turned into a recording the first time it is drawn with a texture; later draws replay it
// through static vertex buffers. Every primitive kind is normalised into three lists
// (triangles, lines, points), so a replay needs at most three draw calls; a replay draws the
// very triangles the primitives would have drawn themselves. Also here: the
// 36-byte 3D vertex every 3D drawing uses, and the device side of the replay.
//
// Recolouring: each recorded vertex carries a flag saying whether it took the drawing colour
// when it was made (the others were given a colour of their own). SetColour gives the flagged
// vertices a new drawing colour and leaves the others exactly as they were.
//
// Needs: Graphics_D3D (device, world matrix), Graphics_Batch (flush, texture binding),
// Graphics_RenderState (texture repeat). No Linux/ file; the device is
// Linux/Graphics_DeviceM.cpp.
#pragma once

#include <cstdint>

class GfxVertexBuffer;
struct TextureRecord;

// x, y, z; normal x, y, z; device colour 0xAARRGGBB; u, v. Flexible vertex format 0x152.
struct Vertex3D {
    float x, y, z;
    float nx, ny, nz;
    uint32_t colour;
    float u, v;
};
static_assert(sizeof(Vertex3D) == 36, "the 3D vertex is 36 bytes");

// One list of a recording. Invariants: 0 <= count <= capacity; vertices and drawColour hold
// capacity entries (memory-manager blocks, null when capacity is 0); buffer, when set, holds
// exactly the count vertices as they are now.
struct RecorderGroup {
    Vertex3D* vertices = nullptr;
    uint8_t* drawColour = nullptr; // 1: the vertex took the drawing colour
    GfxVertexBuffer* buffer = nullptr;
    int32_t count = 0, capacity = 0;
};

// Triangle i of a triangle strip (kind 5) or fan (kind 6) as three vertex indexes of a list:
// the same triangle with the same winding (strips alternate it), starting with the vertex
// whose colour flat shading takes (strips: vertex i; fans: the first rim vertex, i + 1).
void GR_TriangleOfStrip(int32_t kind, int32_t i, int32_t* t);

// The most vertices one list of a recording holds (about 150 MB); a primitive that would go
// beyond it is left out (logged once per recording). Tests may lower it.
enum : int32_t { GR_RECORDER_MAX_VERTICES = 1 << 22 };
void GraphicsRecorder_SetVertexLimit(int32_t limit); // <= 0: the default
int32_t GraphicsRecorder_GetVertexLimit();

class GraphicsRecorder {
public:
    GraphicsRecorder() = default;
    ~GraphicsRecorder();
    GraphicsRecorder(const GraphicsRecorder&) = delete;
    GraphicsRecorder& operator=(const GraphicsRecorder&) = delete;

    // Appends one primitive of kind 1..6 (point list, line list, line strip, triangle list,
    // triangle strip, triangle fan) with n vertices; any other kind is taken as points. Lists
    // keep whole lines and triangles only; strips and fans become their triangles
    // (GR_TriangleOfStrip) and line strips their lines.
    // drawColour (may be null: none) flags the vertices that took the drawing colour.
    void Add(int32_t kind, int32_t n, const Vertex3D* v, const uint8_t* drawColour);
    // Gives the vertices that took the drawing colour the colour (device order) and drops the
    // cached buffers; nothing when the recording is independent of the drawing colour or
    // already has that colour.
    void SetColour(uint32_t colour);
    // Grows the group so that n more vertices fit and returns where they go (count grows by
    // n); null (nothing changes) when they would pass the vertex limit. n = -1 shrinks the
    // arrays to count and returns the array; n = 0 returns the end of the vertices.
    Vertex3D* Reserve(RecorderGroup& group, int32_t n);
    // True when some recorded vertex took the drawing colour.
    bool UsesDrawColour() const;
    void ReleaseBuffers();

    uint32_t colour = 0;        // drawing colour the drawing-colour vertices have now
    bool independent = false;   // no vertex took the drawing colour: SetColour does nothing
    bool overflowed = false;    // a primitive was left out at the vertex limit
    TextureRecord* texture = nullptr; // bound at replay (set by the owner before each replay)
    RecorderGroup triangles, lines, points;
};

// Replays a recording: the world matrix becomes the current one times a translation by
// (x, y, z) (the current transform applies first), texture repeat is on, the recording's
// texture is bound, then triangles, lines and points are drawn from static vertex buffers
// made on first use (the lists are shrunk to fit first). World matrix and repeat flag are
// restored afterwards. Nothing without a device.
void GR_D3D_DrawRecorded(GraphicsRecorder* recorder, float x, float y, float z);
// Releases the recording's static vertex buffers (made again at the next replay).
void GR_D3D_ReleaseRecorded(GraphicsRecorder* recorder);
// A write-only vertex buffer of count 3D vertices holding a copy of them; null on failure.
GfxVertexBuffer* GR_D3D_CreateStaticVertexBuffer(const Vertex3D* vertices, int32_t count);
