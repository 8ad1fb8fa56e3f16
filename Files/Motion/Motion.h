// Motion planning: moving an instance towards a goal while avoiding others, or building a path
// (CPath) that does so without moving it. Three methods: linear (straight steps that stop at
// obstacles), potential field (steps that turn away from obstacles within set limits) and grid
// (a breadth-first search over a grid of free and blocked cells, CGrid).
//
// Grids: cell (h, v) at index h * rows + v (column-major); 0 free, -1 blocked, positive values
// only during a search (distance marks, reset to 0 before it returns). Grids are addressed by
// id; a destroyed grid leaves an empty slot that the next creation takes. Sizes are checked at
// creation: cells at least 1 x 1 pixel, at least one column and row, at most kMaxGridCells
// cells, and the grid's extent inside the 32-bit range.
//
// Bounds: the searches and walks here always end. A grid search visits each cell once; the
// linear and potential path walks stop after kMaxPlanSteps steps (failing) even when the
// instance keeps turning on the spot.
//
// Needs: instances (positions, boxes, the precise rectangle test), paths, the place tests of
// the run-time commands, the error reporter. No Linux/ file.
#pragma once

#include <cstdint>
#include <vector>

class CInstance;
class CPath;

constexpr int32_t kMaxGridCells = 1 << 24;
constexpr int32_t kMaxPlanSteps = 1000000;

class CGrid {
public:
    CGrid(int32_t left, int32_t top, int32_t columns, int32_t rows, int32_t cellWidth, int32_t cellHeight);
    virtual ~CGrid() = default;

    int32_t Cell(int32_t h, int32_t v) const { return m_cells[size_t(h) * size_t(m_rows) + size_t(v)]; }
    bool Inside(int32_t h, int32_t v) const { return h >= 0 && h < m_columns && v >= 0 && v < m_rows; }

    int32_t m_left, m_top;
    int32_t m_cellWidth, m_cellHeight;
    int32_t m_columns, m_rows;
    std::vector<int32_t> m_cells; // columns * rows
};

// ---- Grids ------------------------------------------------------------------------------
// The id (the first empty slot, or a new one); -1 with a reported error for sizes that are
// refused (see above).
int32_t Motion_Grid_Create(int32_t left, int32_t top, int32_t hcells, int32_t vcells, int32_t cellWidth,
                           int32_t cellHeight);
// Null for an id outside the table or an empty slot (every operation below then does nothing).
CGrid* Motion_Grid_Get(int32_t id);
void Motion_Grid_Destroy(int32_t id);
void Motion_Grid_Clear(int32_t id);
void Motion_Grid_ClearCell(int32_t id, int32_t h, int32_t v);
void Motion_Grid_AddCell(int32_t id, int32_t h, int32_t v);
// The cells of the room rectangle (corners in any order), clamped to the grid.
void Motion_Grid_ClearRectangle(int32_t id, float x1, float y1, float x2, float y2);
void Motion_Grid_AddRectangle(int32_t id, float x1, float y1, float x2, float y2);
// Blocks the cells of the instance's bounding box; precise: only those whose rectangle the
// instance's shape meets.
void Motion_Grid_AddInstances(int32_t id, CInstance* instance, bool precise);
// Breadth-first search from the start's cell to the goal's; on success the path becomes the
// straight open path start, cell centres, goal. False (the path untouched) when the id or the
// path is missing, start or goal lies outside the grid or on a blocked cell, or no way exists.
// Diagonal steps (allowdiag) never cut a blocked corner, neither in the search nor on the way
// back.
bool Motion_Grid_Path(int32_t id, CPath* path, float xstart, float ystart, float xgoal, float ygoal, bool allowDiag);
int32_t Motion_Grid_Count();
void Motion_Grid_FreeAll();

// ---- Steps and paths ---------------------------------------------------------------------
// Target -3: free means place empty (checkall) or place free; otherwise no instance of the
// target (object or id) meets the instance placed there.
bool Motion_IsFree(CInstance* instance, float x, float y, int32_t target, bool checkAll);
// Degrees, y growing downwards (90 points up).
float Motion_PointDirection(float x1, float y1, float x2, float y2);
// One straight step of stepsize towards (x, y); true when the goal was within the step.
bool Motion_LinearStep(CInstance* instance, float x, float y, float stepSize, int32_t target, bool checkAll);
bool Motion_LinearPath(CInstance* instance, CPath* path, float x, float y, float stepSize, int32_t target,
                       bool checkAll);
// Maximum rotation, rotation step and ahead distance below 1 become 1.
void Motion_PotentialSettings(float maxRotation, float rotationStep, float ahead, bool onSpot);
bool Motion_PotentialStep(CInstance* instance, float x, float y, float stepSize, int32_t target, bool checkAll);
bool Motion_PotentialPath(CInstance* instance, CPath* path, float x, float y, float stepSize, float factor,
                          int32_t target, bool checkAll);
