// Paths: CPath (control points with a speed factor, straight or smoothed, open or closed, the
// computed points with their distance along the path, the position at a fraction 0..1 of the
// length) and the path table with names and the PATH chunk reader.
//
// Needs: the game-file reader, the error reporter, the graphics layer (path drawing). No
// Linux/ file.
#pragma once

#include <cstdint>
#include <vector>

class FileImage;

struct PathPoint {
    float x, y, speed;
};

struct PathComputedPoint {
    float x, y, speed, distance;
};

class CPath {
public:
    CPath() = default;

    PathPoint GetPoint(int32_t index) const;
    int32_t AddPoint(float x, float y, float speed);
    // Replaces the control points (kind and closure kept); one recomputation for them all.
    void SetPoints(const std::vector<PathPoint>& points);
    void InsertPoint(int32_t index, float x, float y, float speed);
    void ChangePoint(int32_t index, float x, float y, float speed);
    void DeletePoint(int32_t index);
    void Clear();
    void SetKind(int32_t kind);
    void SetClosed(bool closed);
    void SetPrecision(int32_t precision);
    float GetLength() const { return m_length; }
    int32_t GetNumber() const { return int32_t(m_points.size()); }
    int32_t GetKind() const { return m_kind; }
    bool GetClosed() const { return m_closed != 0; }
    int32_t GetPrecision() const { return m_precision; }
    // x, y and speed at fraction t of the length (binary search over the distances).
    PathPoint GetPosition(float t) const;
    float GetX(float t) const { return GetPosition(t).x; }
    float GetY(float t) const { return GetPosition(t).y; }
    float GetSpeed(float t) const { return GetPosition(t).speed; }
    void GetCenter(float* x, float* y) const;
    void Shift(float dx, float dy);
    void Mirror();
    void Flip();
    void Rotate(float degrees);
    void Scale(float xs, float ys);
    void Reverse();
    void Append(const CPath* other);
    void Assign(const CPath* other);
    // Reads a PATH record at offset; false for a malformed record. The precision is clamped to
    // 0..8 and the kind to 0..1 as the setters do.
    bool LoadFromEntry(const FileImage& image, uint32_t offset, char** name);
    void Draw(float x, float y, bool absolute) const;

    const std::vector<PathComputedPoint>& Computed() const { return m_computed; }
    void Recompute();

private:
    void ComputeStraight();
    void ComputeSmooth();
    void ComputeLength();
    void Subdivide(int32_t depth, double ax, double ay, double as, double bx, double by, double bs, double cx, double cy,
                   double cs);

    std::vector<PathPoint> m_points;
    std::vector<PathComputedPoint> m_computed;
    int32_t m_kind = 0;
    uint8_t m_closed = 1;
    int32_t m_precision = 4;
    float m_length = 0;
};

void Path_ResetTable();
void Path_FreeAll();
bool Path_LoadChunk(const FileImage& image, uint32_t begin, uint32_t end);
bool Path_Exists(int32_t index);
CPath* Path_Data(int32_t index);
const char* Path_GetName(int32_t index);
int32_t Path_Find(const char* name);
int32_t Path_Add();
bool Path_Delete(int32_t index);
int32_t Path_Duplicate(int32_t index);
bool Path_Assign(int32_t destination, int32_t source);
int32_t Path_Count();
