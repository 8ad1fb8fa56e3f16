// The graphics recorder and its replay (see Graphics_Recorder.h). Device calls go through the
// device of Graphics_D3D (backed by Linux/Graphics_DeviceM.cpp).
#include "Files/Graphics_API/Graphics_Recorder.h"

#include <cstring>
#include <initializer_list>

#include "Files/Base/Console.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Matrix.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Platform/MemoryManager.h"

namespace {

int32_t g_vertexLimit = GR_RECORDER_MAX_VERTICES;

// Copies the first count entries into new blocks of capacity entries (null for 0).
void Resize(RecorderGroup& g, int32_t capacity)
{
    Vertex3D* v = nullptr;
    uint8_t* f = nullptr;
    if (capacity > 0) {
        v = (Vertex3D*)MEM_ALLOC((size_t)capacity * sizeof(Vertex3D));
        f = (uint8_t*)MEM_ALLOC((size_t)capacity);
        if (g.count > 0) {
            std::memcpy(v, g.vertices, (size_t)g.count * sizeof(Vertex3D));
            std::memcpy(f, g.drawColour, (size_t)g.count);
        }
    }
    MEM_FREE(g.vertices);
    MEM_FREE(g.drawColour);
    g.vertices = v;
    g.drawColour = f;
    g.capacity = capacity;
}

void FreeGroup(RecorderGroup& g)
{
    if (g.buffer) g.buffer->Release();
    MEM_FREE(g.vertices);
    MEM_FREE(g.drawColour);
    g = RecorderGroup{};
}

} // namespace

void GR_TriangleOfStrip(int32_t kind, int32_t i, int32_t* t)
{
    if (kind == 6) {
        t[0] = i + 1;
        t[1] = i + 2;
        t[2] = 0;
    } else if ((i & 1) == 0) {
        t[0] = i;
        t[1] = i + 1;
        t[2] = i + 2;
    } else {
        t[0] = i;
        t[1] = i + 2;
        t[2] = i + 1;
    }
}

void GraphicsRecorder_SetVertexLimit(int32_t limit)
{
    g_vertexLimit = limit <= 0 ? GR_RECORDER_MAX_VERTICES : limit > (1 << 24) ? (1 << 24) : limit;
}

int32_t GraphicsRecorder_GetVertexLimit() { return g_vertexLimit; }

GraphicsRecorder::~GraphicsRecorder()
{
    FreeGroup(triangles);
    FreeGroup(lines);
    FreeGroup(points);
}

Vertex3D* GraphicsRecorder::Reserve(RecorderGroup& g, int32_t n)
{
    if (n == -1) {
        if (g.capacity != g.count) Resize(g, g.count);
        return g.vertices;
    }
    if (n <= 0) return g.vertices ? g.vertices + g.count : nullptr;
    int64_t need = (int64_t)g.count + n;
    if (need > g_vertexLimit) {
        if (!overflowed)
            Console_Output("Graphics recording holds more than %d vertices: the rest is left out\n", g_vertexLimit);
        overflowed = true;
        return nullptr;
    }
    if (g.capacity < need) {
        int64_t capacity = g.capacity == 0 ? n : g.capacity;
        while (capacity < need) capacity *= 2;
        if (capacity > g_vertexLimit) capacity = g_vertexLimit;
        Resize(g, (int32_t)capacity);
    }
    Vertex3D* at = g.vertices + g.count;
    g.count = (int32_t)need;
    return at;
}

void GraphicsRecorder::Add(int32_t kind, int32_t n, const Vertex3D* v, const uint8_t* drawColour)
{
    if (n <= 0 || !v) return;
    auto copy = [&](RecorderGroup& g, Vertex3D* out, int32_t at, int32_t from) {
        out[at] = v[from];
        g.drawColour[(out - g.vertices) + at] = drawColour ? drawColour[from] : 0;
    };
    switch (kind) {
    case 2:
    case 4: {
        // Whole primitives only: a leftover vertex would join the next primitive's.
        RecorderGroup& g = kind == 2 ? lines : triangles;
        n -= n % (kind == 2 ? 2 : 3);
        if (n <= 0) return;
        Vertex3D* out = Reserve(g, n);
        if (!out) return;
        for (int32_t i = 0; i < n; ++i) copy(g, out, i, i);
        break;
    }
    case 3: {
        if (n < 2) return;
        Vertex3D* out = Reserve(lines, 2 * (n - 1));
        if (!out) return;
        for (int32_t i = 0; i + 1 < n; ++i) {
            copy(lines, out, 2 * i, i);
            copy(lines, out, 2 * i + 1, i + 1);
        }
        break;
    }
    case 5:
    case 6: {
        if (n < 3) return;
        Vertex3D* out = Reserve(triangles, 3 * (n - 2));
        if (!out) return;
        for (int32_t i = 0; i + 2 < n; ++i) {
            int32_t t[3];
            GR_TriangleOfStrip(kind, i, t);
            copy(triangles, out, 3 * i, t[0]);
            copy(triangles, out, 3 * i + 1, t[1]);
            copy(triangles, out, 3 * i + 2, t[2]);
        }
        break;
    }
    default: {
        Vertex3D* out = Reserve(points, n);
        if (!out) return;
        for (int32_t i = 0; i < n; ++i) copy(points, out, i, i);
        break;
    }
    }
}

void GraphicsRecorder::SetColour(uint32_t c)
{
    if (independent || c == colour) return;
    for (RecorderGroup* g : {&triangles, &lines, &points})
        for (int32_t i = 0; i < g->count; ++i)
            if (g->drawColour[i]) g->vertices[i].colour = c;
    ReleaseBuffers();
    colour = c;
}

bool GraphicsRecorder::UsesDrawColour() const
{
    for (const RecorderGroup* g : {&triangles, &lines, &points})
        for (int32_t i = 0; i < g->count; ++i)
            if (g->drawColour[i]) return true;
    return false;
}

void GraphicsRecorder::ReleaseBuffers()
{
    for (RecorderGroup* g : {&triangles, &lines, &points})
        if (g->buffer) {
            g->buffer->Release();
            g->buffer = nullptr;
        }
}

// ============================================================================================
// Replay
// ============================================================================================
GfxVertexBuffer* GR_D3D_CreateStaticVertexBuffer(const Vertex3D* vertices, int32_t count)
{
    GR_DeviceState& st = GR_D3D_State();
    if (!st.device || !vertices || count <= 0 || count > (1 << 24)) return nullptr;
    uint32_t bytes = (uint32_t)count * (uint32_t)sizeof(Vertex3D);
    GfxVertexBuffer* vb = st.device->CreateVertexBuffer(bytes, GFX_USAGE_WRITEONLY, GFX_FVF_3D,
                                                        st.managedPool ? GFX_POOL_MANAGED : GFX_POOL_DEFAULT);
    if (!vb) {
        Console_Output("Failed to create a vertex buffer of %d vertices\n", count);
        return nullptr;
    }
    void* p = st.device->LockVertexBuffer(vb, 0, bytes, 0);
    if (!p) {
        vb->Release();
        return nullptr;
    }
    std::memcpy(p, vertices, bytes);
    st.device->UnlockVertexBuffer(vb);
    return vb;
}

void GR_D3D_ReleaseRecorded(GraphicsRecorder* recorder)
{
    if (recorder) recorder->ReleaseBuffers();
}

void GR_D3D_DrawRecorded(GraphicsRecorder* recorder, float x, float y, float z)
{
    IGfxDevice* dev = GR_D3D_State().device;
    if (!dev || !recorder) return;
    GR_D3D_Flush();
    float saved[16], moved[16], t[16];
    GR_D3D_GetMatrix(2, saved);
    grm::Translation(t, x, y, z);
    grm::Multiply(moved, saved, t);
    GR_D3D_SetMatrix(2, moved);
    bool repeat = GR_Texture_GetRepeat();
    GR_Texture_SetRepeat(true);
    GR_D3D_Flush(); // no batch is open: this applies the pending states
    GR_D3D_SetTexture(0, recorder->texture);
    struct Pass {
        RecorderGroup* group;
        uint32_t type;
    } passes[3] = {{&recorder->triangles, GFX_PT_TRIANGLELIST},
                   {&recorder->lines, GFX_PT_LINELIST},
                   {&recorder->points, GFX_PT_POINTLIST}};
    GR_BatchStats& stats = GR_Batch_Stats();
    for (const Pass& p : passes) {
        RecorderGroup& g = *p.group;
        if (g.count <= 0) continue;
        if (!g.buffer) {
            recorder->Reserve(g, -1);
            g.buffer = GR_D3D_CreateStaticVertexBuffer(g.vertices, g.count);
            if (!g.buffer) continue;
        }
        uint32_t prims = p.type == GFX_PT_TRIANGLELIST ? (uint32_t)g.count / 3
                         : p.type == GFX_PT_LINELIST   ? (uint32_t)g.count / 2
                                                       : (uint32_t)g.count;
        if (p.type == GFX_PT_TRIANGLELIST) stats.triangles += prims;
        if (prims == 0) continue;
        dev->SetStreamSource(0, g.buffer, 0, (uint32_t)sizeof(Vertex3D));
        dev->SetFVF(GFX_FVF_3D);
        dev->DrawPrimitive(p.type, 0, prims);
        ++stats.batches;
    }
    GR_Texture_SetRepeat(repeat);
    GR_D3D_SetMatrix(2, saved);
}
