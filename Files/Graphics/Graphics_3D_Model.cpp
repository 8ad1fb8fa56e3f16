// 3D models (see Graphics_3D_Model.h). Whole files go through Files/Support/File.h
// (Linux/FileM.cpp); no host library here.
//
// [SECTION] Model table
// [SECTION] Commands
// [SECTION] Model file
// [SECTION] Drawing
#include "Files/Graphics/Graphics_3D_Model.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <memory>
#include <vector>

#include "Files/Base/Console.h"
#include "Files/Base/RealConvert.h"
#include "Files/Graphics/Graphics_3D_Primitive.h"
#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_Recorder.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Files/Support/File.h"
#include "Files/Support/LoadSave.h"
#include "Platform/FreeSlots.h"
#include "Platform/MemoryManager.h"

// ============================================================================================
// [SECTION] Model table
// ============================================================================================
namespace {

struct ModelRecording {
    int64_t key;               // the texture argument it was made with
    GraphicsRecorder recorder;
};

// One model. Invariant: 0 <= count <= capacity <= GR_MODEL_MAX_RECORDS; records is a
// memory-manager block of capacity records (null when 0). The recordings reflect every record:
// a change to the records drops them.
struct Model3D {
    ModelRecord* records = nullptr;
    int32_t count = 0, capacity = 0;
    bool fullLogged = false;
    std::vector<std::unique_ptr<ModelRecording>> recordings;

    ~Model3D() { MEM_FREE(records); }
};

// Ids index this table; a null entry is a free id (the lowest is reused first).
std::vector<Model3D*> g_models;
FreeSlots g_freedModels; // destroyed models' ids, lowest first

Model3D* Get(int32_t id)
{
    return id >= 0 && (size_t)id < g_models.size() ? g_models[(size_t)id] : nullptr;
}

void Reset(Model3D* m)
{
    MEM_FREE(m->records);
    m->records = nullptr;
    m->count = m->capacity = 0;
    m->recordings.clear();
}

bool Reserve(Model3D* m, int64_t capacity)
{
    if (capacity <= m->capacity) return true;
    if (capacity > GR_MODEL_MAX_RECORDS) capacity = GR_MODEL_MAX_RECORDS;
    if (capacity <= m->count) return false;
    m->records = (ModelRecord*)MEM_REALLOC(m->records, (size_t)capacity * sizeof(ModelRecord));
    m->capacity = (int32_t)capacity;
    return true;
}

// Appends a record (capacity 32 at first, then twice the count). A model that is full keeps
// its records and says so once.
bool Append(Model3D* m, int32_t kind, const float* values, int32_t n)
{
    if (m->count >= m->capacity && !Reserve(m, m->capacity == 0 ? 32 : (int64_t)m->count * 2)) {
        if (!m->fullLogged) Console_Output("3D model holds %d records: no more can be added\n", m->count);
        m->fullLogged = true;
        return false;
    }
    ModelRecord& r = m->records[m->count++];
    r.kind = kind;
    for (int32_t i = 0; i < 10; ++i) r.v[i] = i < n ? values[i] : 0.0f;
    return true;
}

} // namespace

int32_t GR_3D_Model_Create()
{
    const int32_t again = g_freedModels.Take((int32_t)g_models.size(), [](int32_t i) { return !g_models[(size_t)i]; });
    if (again >= 0) {
        g_models[(size_t)again] = new Model3D();
        return again;
    }
    g_models.push_back(new Model3D());
    return (int32_t)g_models.size() - 1;
}

void GR_3D_Model_Destroy(int32_t id)
{
    Model3D* m = Get(id);
    if (!m) return;
    if (GR_3D_GetRecorder()) {
        // Never the case from scripts (recording runs no script); kept safe all the same.
        for (auto& r : m->recordings)
            if (&r->recorder == GR_3D_GetRecorder()) GR_3D_SetRecorder(nullptr);
    }
    delete m;
    g_models[(size_t)id] = nullptr;
    g_freedModels.Release(id);
}

void GR_3D_Model_Clear(int32_t id)
{
    if (Model3D* m = Get(id)) Reset(m);
}

bool GR_3D_Model_Exists(int32_t id) { return Get(id) != nullptr; }

int32_t GR_3D_Model_RecordCount(int32_t id)
{
    Model3D* m = Get(id);
    return m ? m->count : 0;
}

const ModelRecord* GR_3D_Model_Records(int32_t id)
{
    Model3D* m = Get(id);
    return m ? m->records : nullptr;
}

int32_t GR_3D_Model_RecordingCount(int32_t id)
{
    Model3D* m = Get(id);
    return m ? (int32_t)m->recordings.size() : 0;
}

GraphicsRecorder* GR_3D_Model_Recording(int32_t id, int64_t texture)
{
    if (Model3D* m = Get(id))
        for (auto& r : m->recordings)
            if (r->key == texture) return &r->recorder;
    return nullptr;
}

int32_t GR_3D_Model_TableSize() { return (int32_t)g_models.size(); }

void GR_3D_Model_FreeAll()
{
    GR_3D_SetRecorder(nullptr);
    for (Model3D* m : g_models) delete m;
    g_models.clear();
    g_models.shrink_to_fit();
    g_freedModels.Clear();
}

// ============================================================================================
// [SECTION] Commands
// ============================================================================================
namespace {

// Appends a command. Recordings made before it would leave it out: they are dropped and made
// again at the next draw.
void Command(int32_t id, int32_t kind, std::initializer_list<float> values)
{
    Model3D* m = Get(id);
    if (!m) return;
    if (Append(m, kind, values.begin(), (int32_t)values.size())) m->recordings.clear();
}

} // namespace

void GR_3D_Model_PrimitiveBegin(int32_t id, float kind) { Command(id, GR_MODEL_BEGIN, {kind}); }
void GR_3D_Model_PrimitiveEnd(int32_t id) { Command(id, GR_MODEL_END, {}); }
void GR_3D_Model_Vertex(int32_t id, float x, float y, float z) { Command(id, GR_MODEL_VERTEX, {x, y, z}); }
void GR_3D_Model_VertexColour(int32_t id, float x, float y, float z, float colour, float alpha)
{
    Command(id, GR_MODEL_VERTEX_COLOUR, {x, y, z, colour, alpha});
}
void GR_3D_Model_VertexTexture(int32_t id, float x, float y, float z, float u, float v)
{
    Command(id, GR_MODEL_VERTEX_TEXTURE, {x, y, z, u, v});
}
void GR_3D_Model_VertexTextureColour(int32_t id, float x, float y, float z, float u, float v, float colour,
                                     float alpha)
{
    Command(id, GR_MODEL_VERTEX_TEXTURE_COLOUR, {x, y, z, u, v, colour, alpha});
}
void GR_3D_Model_VertexNormal(int32_t id, float x, float y, float z, float nx, float ny, float nz)
{
    Command(id, GR_MODEL_VERTEX_NORMAL, {x, y, z, nx, ny, nz});
}
void GR_3D_Model_VertexNormalColour(int32_t id, float x, float y, float z, float nx, float ny, float nz,
                                    float colour, float alpha)
{
    Command(id, GR_MODEL_VERTEX_NORMAL_COLOUR, {x, y, z, nx, ny, nz, colour, alpha});
}
void GR_3D_Model_VertexNormalTexture(int32_t id, float x, float y, float z, float nx, float ny, float nz, float u,
                                     float v)
{
    Command(id, GR_MODEL_VERTEX_NORMAL_TEXTURE, {x, y, z, nx, ny, nz, u, v});
}
void GR_3D_Model_VertexNormalTextureColour(int32_t id, float x, float y, float z, float nx, float ny, float nz,
                                           float u, float v, float colour, float alpha)
{
    Command(id, GR_MODEL_VERTEX_NORMAL_TEXTURE_COLOUR, {x, y, z, nx, ny, nz, u, v, colour, alpha});
}
void GR_3D_Model_Block(int32_t id, float x1, float y1, float z1, float x2, float y2, float z2, float h, float v)
{
    Command(id, GR_MODEL_BLOCK, {x1, y1, z1, x2, y2, z2, h, v});
}
void GR_3D_Model_Cylinder(int32_t id, float x1, float y1, float z1, float x2, float y2, float z2, float h, float v,
                          float closed, float steps)
{
    Command(id, GR_MODEL_CYLINDER, {x1, y1, z1, x2, y2, z2, h, v, closed, steps});
}
void GR_3D_Model_Cone(int32_t id, float x1, float y1, float z1, float x2, float y2, float z2, float h, float v,
                      float closed, float steps)
{
    Command(id, GR_MODEL_CONE, {x1, y1, z1, x2, y2, z2, h, v, closed, steps});
}
void GR_3D_Model_Ellipsoid(int32_t id, float x1, float y1, float z1, float x2, float y2, float z2, float h, float v,
                           float steps)
{
    Command(id, GR_MODEL_ELLIPSOID, {x1, y1, z1, x2, y2, z2, h, v, steps});
}
void GR_3D_Model_Wall(int32_t id, float x1, float y1, float z1, float x2, float y2, float z2, float h, float v)
{
    Command(id, GR_MODEL_WALL, {x1, y1, z1, x2, y2, z2, h, v});
}
void GR_3D_Model_Floor(int32_t id, float x1, float y1, float z1, float x2, float y2, float z2, float h, float v)
{
    Command(id, GR_MODEL_FLOOR, {x1, y1, z1, x2, y2, z2, h, v});
}

// ============================================================================================
// [SECTION] Model file
// ============================================================================================
namespace {

const size_t kLineMax = 4095; // longer record lines are read up to here (a written one is < 500)

struct LineReader {
    const uint8_t* data;
    size_t size, pos;

    // Skips CR, LF and NUL, then takes everything up to the next one or the end of the data.
    // False when nothing is left.
    bool Next(const char** start, size_t* length)
    {
        while (pos < size && (data[pos] == '\r' || data[pos] == '\n' || data[pos] == 0)) ++pos;
        if (pos >= size) return false;
        size_t begin = pos;
        while (pos < size && data[pos] != '\r' && data[pos] != '\n' && data[pos] != 0) ++pos;
        *start = (const char*)data + begin;
        *length = pos - begin;
        return true;
    }
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

// As atoi: blanks, a sign, decimal digits; saturated at the 32-bit limits. False without digits.
bool ReadInt(const char*& p, const char* end, int32_t* out)
{
    while (p < end && IsBlank(*p)) ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    if (p >= end || *p < '0' || *p > '9') return false;
    int64_t v = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p)
        if (v <= INT32_MAX) v = v * 10 + (*p - '0');
    if (negative) v = -v;
    *out = v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : (int32_t)v;
    return true;
}

// A real as the C library's "%f" reads it in the "C" locale: blanks, a sign, a decimal number
// (or "inf", "nan"), correctly rounded to single precision; beyond the single range it is
// +/-infinity, below it +/-0. False when there is no number.
bool ReadFloat(const char*& p, const char* end, float* out)
{
    while (p < end && IsBlank(*p)) ++p;
    const char* start = p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    if (p >= end || *p == '+' || *p == '-') return false;
    float v = 0.0f;
    std::from_chars_result r = std::from_chars(p, end, v, std::chars_format::general);
    if (r.ec == std::errc::invalid_argument) return false;
    if (r.ec == std::errc::result_out_of_range) {
        // Overflow or underflow: the double reading of the same characters tells which.
        char token[kLineMax + 1];
        size_t n = (size_t)(r.ptr - start);
        std::memcpy(token, start, n);
        token[n] = 0;
        double d = Real_ParseDecimal(token);
        p = r.ptr;
        *out = std::fabs(d) > (double)std::numeric_limits<float>::max() ? (float)std::copysign((double)INFINITY, d) : (float)d;
        return true;
    }
    p = r.ptr;
    *out = negative ? -v : v;
    return true;
}

// One record line: the kind, then up to ten values (missing ones 0). False without a kind.
bool ParseRecord(const char* line, size_t length, ModelRecord* out)
{
    if (length > kLineMax) length = kLineMax;
    const char* p = line;
    const char* end = line + length;
    if (!ReadInt(p, end, &out->kind)) return false;
    int32_t i = 0;
    for (; i < 10; ++i)
        if (!ReadFloat(p, end, &out->v[i])) break;
    for (; i < 10; ++i) out->v[i] = 0.0f;
    return true;
}

bool Refuse(const char* why)
{
    Console_Output("Model file refused: %s\n", why);
    return false;
}

} // namespace

bool GR_3D_Model_LoadData(int32_t id, const uint8_t* data, size_t size)
{
    Model3D* m = Get(id);
    if (!m) return false;
    Reset(m);
    if (!data || size == 0) return false;
    LineReader in{data, size, 0};
    const char* line;
    size_t length;
    if (!in.Next(&line, &length) || length != 3 || std::memcmp(line, "100", 3) != 0)
        return Refuse("the first line is not \"100\"");
    int32_t count = 0;
    if (in.Next(&line, &length)) {
        const char* p = line;
        if (!ReadInt(p, line + length, &count)) count = 0;
    }
    if (count <= 0) return true;
    if (count > GR_MODEL_MAX_RECORDS) return Refuse("too many records");
    // Room for what the count asks, but never more than the lines the data could hold (two
    // bytes at least each) nor a first step of 65,536: a count that lies costs nothing, and a
    // large model grows by doubling as its records are read.
    int64_t room = (int64_t)(size - in.pos) / 2 + 1;
    if (count < room) room = count;
    Reserve(m, room < 65536 ? room : 65536);
    for (int32_t i = 0; i < count; ++i) {
        ModelRecord r;
        if (!in.Next(&line, &length)) {
            Reset(m);
            return Refuse("fewer records than its count");
        }
        if (!ParseRecord(line, length, &r)) {
            Reset(m);
            return Refuse("a record line without a kind");
        }
        Append(m, r.kind, r.v, 10);
    }
    return true;
}

bool GR_3D_Model_Load(int32_t id, const char* path)
{
    Model3D* m = Get(id);
    if (!m) return false;
    Reset(m);
    int32_t size = 0;
    uint8_t* data = path && *path ? File_ReadAll(File_Resolve(path).c_str(), &size) : nullptr;
    bool ok = data && GR_3D_Model_LoadData(id, data, (size_t)size);
    MEM_FREE(data);
    return ok;
}

bool GR_3D_Model_ToText(int32_t id, std::string* out)
{
    Model3D* m = Get(id);
    if (!m) return false;
    out->clear();
    out->reserve(16 + (size_t)m->count * 112);
    char buffer[640];
    std::snprintf(buffer, sizeof buffer, "%d\n%d\n", 100, m->count);
    *out += buffer;
    for (int32_t i = 0; i < m->count; ++i) {
        const ModelRecord& r = m->records[i];
        int n = std::snprintf(buffer, sizeof buffer, "%d", r.kind);
        for (int32_t k = 0; k < 10; ++k) n += std::snprintf(buffer + n, sizeof buffer - (size_t)n, " %10.4f", (double)r.v[k]);
        *out += buffer;
        *out += '\n';
    }
    return true;
}

bool GR_3D_Model_Save(int32_t id, const char* path)
{
    std::string text;
    if (!path || !*path || !GR_3D_Model_ToText(id, &text)) return false;
    std::string resolved = File_Resolve(path);
    // Beside the name, then renamed into place: a failed write leaves the earlier model whole.
    return LoadSave_ReplaceFile(resolved, text.data(), (int64_t)text.size());
}

// ============================================================================================
// [SECTION] Drawing
// ============================================================================================
namespace {

// The device texture of a texture argument, looked up afresh for each replay (a texture or
// page entry may have been freed since the recording was made).
TextureRecord* DeviceTexture(int64_t texture)
{
    int32_t id;
    TexturePageEntry* entry;
    if (texture == -1 || !GR_Texture_ResolveArgument(texture, &id, &entry)) return nullptr;
    return GR_Texture_GetPage(id >= 0 ? id : entry->texturePage);
}

int32_t Round(float v) { return Real_RoundToInt32((double)v); }
uint32_t Colour(float v) { return (uint32_t)Round(v); }
bool Flag(float v) { return v >= 0.5f; }

void Run(const ModelRecord& r, int64_t texture)
{
    const float* v = r.v;
    switch (r.kind) {
    case GR_MODEL_BEGIN: GR_3D_PrimitiveBegin(Round(v[0]), texture); break;
    case GR_MODEL_END: GR_3D_PrimitiveEnd(); break;
    case GR_MODEL_VERTEX: GR_3D_Vertex(v[0], v[1], v[2]); break;
    case GR_MODEL_VERTEX_COLOUR: GR_3D_VertexColour(v[0], v[1], v[2], Colour(v[3]), v[4]); break;
    case GR_MODEL_VERTEX_TEXTURE: GR_3D_VertexTexture(v[0], v[1], v[2], v[3], v[4]); break;
    case GR_MODEL_VERTEX_TEXTURE_COLOUR:
        GR_3D_VertexTextureColour(v[0], v[1], v[2], v[3], v[4], Colour(v[5]), v[6]);
        break;
    case GR_MODEL_VERTEX_NORMAL: GR_3D_VertexNormal(v[0], v[1], v[2], v[3], v[4], v[5]); break;
    case GR_MODEL_VERTEX_NORMAL_COLOUR:
        GR_3D_VertexNormalColour(v[0], v[1], v[2], v[3], v[4], v[5], Colour(v[6]), v[7]);
        break;
    case GR_MODEL_VERTEX_NORMAL_TEXTURE:
        GR_3D_VertexNormalTexture(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
        break;
    case GR_MODEL_VERTEX_NORMAL_TEXTURE_COLOUR:
        GR_3D_VertexNormalTextureColour(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], Colour(v[8]), v[9]);
        break;
    case GR_MODEL_BLOCK: GR_3D_DrawBlock(v[0], v[1], v[2], v[3], v[4], v[5], texture, v[6], v[7]); break;
    case GR_MODEL_CYLINDER:
        GR_3D_DrawCylinder(v[0], v[1], v[2], v[3], v[4], v[5], texture, v[6], v[7], Flag(v[8]), Round(v[9]));
        break;
    case GR_MODEL_CONE:
        GR_3D_DrawCone(v[0], v[1], v[2], v[3], v[4], v[5], texture, v[6], v[7], Flag(v[8]), Round(v[9]));
        break;
    case GR_MODEL_ELLIPSOID:
        GR_3D_DrawEllipsoid(v[0], v[1], v[2], v[3], v[4], v[5], texture, v[6], v[7], Round(v[8]));
        break;
    case GR_MODEL_WALL: GR_3D_DrawWall(v[0], v[1], v[2], v[3], v[4], v[5], texture, v[6], v[7]); break;
    case GR_MODEL_FLOOR: GR_3D_DrawFloor(v[0], v[1], v[2], v[3], v[4], v[5], texture, v[6], v[7]); break;
    default: break; // unknown kinds (a file may hold them) draw nothing
    }
}

} // namespace

void GR_3D_Model_Draw(int32_t id, float x, float y, float z, int64_t texture)
{
    Model3D* m = Get(id);
    if (!m || GR_3D_GetRecorder()) return;
    // A texture argument that names no texture draws as none: it is recorded under -1, so that
    // made-up arguments (a counter, a stale id) cannot add a recording of the model each.
    int32_t textureId;
    TexturePageEntry* entry;
    if (texture != -1 && !GR_Texture_ResolveArgument(texture, &textureId, &entry)) texture = -1;
    uint32_t colour = GR_Draw_GetColourARGB();
    for (auto& r : m->recordings)
        if (r->key == texture) {
            r->recorder.SetColour(colour);
            r->recorder.texture = DeviceTexture(texture);
            GR_D3D_DrawRecorded(&r->recorder, x, y, z);
            return;
        }
    m->recordings.push_back(std::make_unique<ModelRecording>());
    ModelRecording& rec = *m->recordings.back();
    rec.key = texture;
    rec.recorder.colour = colour;
    GR_3D_SetRecorder(&rec.recorder);
    for (int32_t i = 0; i < m->count; ++i) Run(m->records[i], texture);
    GR_3D_SetRecorder(nullptr);
    rec.recorder.independent = !rec.recorder.UsesDrawColour();
    rec.recorder.texture = DeviceTexture(texture);
    GR_D3D_DrawRecorded(&rec.recorder, x, y, z);
}
