// 3D models: lists of recorded 3D drawing commands (primitive begin and end, the eight vertex
// kinds, the six shapes) that scripts build, save to and load from a small text format, and
// draw at a position with a texture. The first draw with a texture replays the commands
// through Graphics_3D_Primitive into a GraphicsRecorder kept with the model; later draws with
// that texture replay the recording (recoloured when the drawing colour changed).
//
// Model file (text, one line feed per line): "100"; the record count; one line per record:
// the kind ("%d") and ten values (" %10.4f" each). Reading is defensive: the count only bounds
// the lines read, missing values of a line are 0, a line cut short of its count fails the
// load, and a model holds at most GR_MODEL_MAX_RECORDS records.
//
// Needs: Graphics_3D_Primitive, Graphics_Recorder, Graphics_Texture, Graphics_RenderState
// (drawing colour), Files/Support/File.h for whole files. No Linux/ file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// ORDER: the kinds of the model file.
enum : int32_t {
    GR_MODEL_BEGIN = 0, GR_MODEL_END = 1, GR_MODEL_VERTEX = 2, GR_MODEL_VERTEX_COLOUR = 3,
    GR_MODEL_VERTEX_TEXTURE = 4, GR_MODEL_VERTEX_TEXTURE_COLOUR = 5, GR_MODEL_VERTEX_NORMAL = 6,
    GR_MODEL_VERTEX_NORMAL_COLOUR = 7, GR_MODEL_VERTEX_NORMAL_TEXTURE = 8,
    GR_MODEL_VERTEX_NORMAL_TEXTURE_COLOUR = 9, GR_MODEL_BLOCK = 10, GR_MODEL_CYLINDER = 11,
    GR_MODEL_CONE = 12, GR_MODEL_ELLIPSOID = 13, GR_MODEL_WALL = 14, GR_MODEL_FLOOR = 15,
};

enum : int32_t { GR_MODEL_MAX_RECORDS = 1 << 24 };

// One command: kind and ten values (unused ones 0). Integers (kinds, colours, steps) are kept
// as numbers and rounded where the command runs.
struct ModelRecord {
    int32_t kind;
    float v[10];
};

int32_t GR_3D_Model_Create();
void GR_3D_Model_Destroy(int32_t id);
void GR_3D_Model_Clear(int32_t id);
bool GR_3D_Model_Exists(int32_t id);
// Reads a model file at a host path (resolved case-insensitively); false for a bad id, a
// missing file or bad contents. The old contents go in every case with a valid id.
bool GR_3D_Model_Load(int32_t id, const char* path);
// The same from bytes in memory.
bool GR_3D_Model_LoadData(int32_t id, const uint8_t* data, size_t size);
// Writes the model file at a host path (resolved case-insensitively, its folders made), beside
// it and renamed into place; false for a bad id or when the file cannot be written whole (then
// said once on stderr, the earlier file as it was).
bool GR_3D_Model_Save(int32_t id, const char* path);
// The model file's text; false for a bad id.
bool GR_3D_Model_ToText(int32_t id, std::string* out);
// texture: texture id, page-entry handle, or -1.
void GR_3D_Model_Draw(int32_t id, float x, float y, float z, int64_t texture);

void GR_3D_Model_PrimitiveBegin(int32_t id, float kind);
void GR_3D_Model_PrimitiveEnd(int32_t id);
void GR_3D_Model_Vertex(int32_t id, float x, float y, float z);
void GR_3D_Model_VertexColour(int32_t id, float x, float y, float z, float colour, float alpha);
void GR_3D_Model_VertexTexture(int32_t id, float x, float y, float z, float u, float v);
void GR_3D_Model_VertexTextureColour(int32_t id, float x, float y, float z, float u, float v, float colour,
                                     float alpha);
void GR_3D_Model_VertexNormal(int32_t id, float x, float y, float z, float nx, float ny, float nz);
void GR_3D_Model_VertexNormalColour(int32_t id, float x, float y, float z, float nx, float ny, float nz,
                                    float colour, float alpha);
void GR_3D_Model_VertexNormalTexture(int32_t id, float x, float y, float z, float nx, float ny, float nz, float u,
                                     float v);
void GR_3D_Model_VertexNormalTextureColour(int32_t id, float x, float y, float z, float nx, float ny, float nz,
                                           float u, float v, float colour, float alpha);
void GR_3D_Model_Block(int32_t id, float x1, float y1, float z1, float x2, float y2, float z2, float h, float v);
void GR_3D_Model_Cylinder(int32_t id, float x1, float y1, float z1, float x2, float y2, float z2, float h, float v,
                          float closed, float steps);
void GR_3D_Model_Cone(int32_t id, float x1, float y1, float z1, float x2, float y2, float z2, float h, float v,
                      float closed, float steps);
void GR_3D_Model_Ellipsoid(int32_t id, float x1, float y1, float z1, float x2, float y2, float z2, float h, float v,
                           float steps);
void GR_3D_Model_Wall(int32_t id, float x1, float y1, float z1, float x2, float y2, float z2, float h, float v);
void GR_3D_Model_Floor(int32_t id, float x1, float y1, float z1, float x2, float y2, float z2, float h, float v);

// Inspection (tests, benchmarks).
int32_t GR_3D_Model_RecordCount(int32_t id);
const ModelRecord* GR_3D_Model_Records(int32_t id);
int32_t GR_3D_Model_RecordingCount(int32_t id);
class GraphicsRecorder;
GraphicsRecorder* GR_3D_Model_Recording(int32_t id, int64_t texture);
int32_t GR_3D_Model_TableSize();
// Destroys every model (shutdown, tests).
void GR_3D_Model_FreeAll();
