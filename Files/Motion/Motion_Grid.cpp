// Motion-planning grids and the grid search (Files/Motion/Motion.h).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "Files/Code/Code_Error.h"
#include "Files/Motion/Motion.h"
#include "Files/Object/Instance.h"
#include "Files/Path/Path.h"
#include "Platform/FreeSlots.h"

namespace {

std::vector<CGrid*> g_grids; // owned; null = empty slot
FreeSlots g_freedGrids;      // emptied slots, lowest first

// The cell range of the rectangle on one axis, clamped to 0 .. count - 1 (lo > hi: none).
void Range(float a, float b, int32_t origin, int32_t size, int32_t count, int32_t* lo, int32_t* hi)
{
    const double from = std::trunc((double(std::min(a, b)) - origin) / size);
    const double to = std::trunc((double(std::max(a, b)) - origin) / size);
    *lo = 1;
    *hi = 0;
    if (!(from <= double(count - 1) && to >= 0)) return; // also NaN
    *lo = int32_t(std::max(from, 0.0));
    *hi = int32_t(std::min(to, double(count - 1)));
}

void FillRectangle(int32_t id, float x1, float y1, float x2, float y2, int32_t value)
{
    CGrid* g = Motion_Grid_Get(id);
    if (!g) return;
    int32_t h0, h1, v0, v1;
    Range(x1, x2, g->m_left, g->m_cellWidth, g->m_columns, &h0, &h1);
    Range(y1, y2, g->m_top, g->m_cellHeight, g->m_rows, &v0, &v1);
    for (int32_t h = h0; h <= h1; ++h)
        for (int32_t v = v0; v <= v1; ++v) g->m_cells[size_t(h) * size_t(g->m_rows) + size_t(v)] = value;
}

void SetCell(int32_t id, int32_t h, int32_t v, int32_t value)
{
    CGrid* g = Motion_Grid_Get(id);
    if (g && g->Inside(h, v)) g->m_cells[size_t(h) * size_t(g->m_rows) + size_t(v)] = value;
}

// The cell of a room position, false outside the grid.
bool CellOf(const CGrid* g, float x, float y, int32_t* h, int32_t* v)
{
    const double dx = double(x) - g->m_left, dy = double(y) - g->m_top;
    if (!(dx >= 0 && dx < double(g->m_columns) * g->m_cellWidth)) return false;
    if (!(dy >= 0 && dy < double(g->m_rows) * g->m_cellHeight)) return false;
    *h = int32_t(dx / g->m_cellWidth);
    *v = int32_t(dy / g->m_cellHeight);
    return true;
}

// The eight neighbours in the order the search marks them; the first four are orthogonal.
// For a diagonal, the two orthogonal neighbours it passes between (indexes into this table).
struct Step {
    int32_t dh, dv;
    int32_t sideA, sideB;
};
constexpr Step kSearchOrder[8] = {{-1, 0, -1, -1}, {1, 0, -1, -1}, {0, -1, -1, -1}, {0, 1, -1, -1},
                                  {-1, 1, 3, 0},   {-1, -1, 2, 0}, {1, 1, 3, 1},   {1, -1, 2, 1}};
// The walk back's order: the orthogonal four, then (-1, +1), (+1, +1), (-1, -1), (+1, -1).
constexpr int32_t kWalkOrder[8] = {0, 1, 2, 3, 4, 6, 5, 7};

} // namespace

CGrid::CGrid(int32_t left, int32_t top, int32_t columns, int32_t rows, int32_t cellWidth, int32_t cellHeight)
    : m_left(left), m_top(top), m_cellWidth(cellWidth), m_cellHeight(cellHeight), m_columns(columns), m_rows(rows),
      m_cells(size_t(columns) * size_t(rows), 0)
{
}

int32_t Motion_Grid_Create(int32_t left, int32_t top, int32_t hcells, int32_t vcells, int32_t cellWidth,
                           int32_t cellHeight)
{
    const int64_t cells = int64_t(hcells) * vcells;
    const int64_t right = int64_t(left) + int64_t(hcells) * cellWidth;
    const int64_t bottom = int64_t(top) + int64_t(vcells) * cellHeight;
    if (cellWidth < 1 || cellHeight < 1 || hcells < 1 || vcells < 1 || cells > kMaxGridCells || right > INT32_MAX ||
        bottom > INT32_MAX) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "mp_grid_create: refused grid of %d x %d cells of %d x %d pixels (cells at least 1 x 1, "
                      "at most %d cells)",
                      hcells, vcells, cellWidth, cellHeight, kMaxGridCells);
        Code_Error_Report(text, false);
        return -1;
    }
    auto* grid = new CGrid(left, top, hcells, vcells, cellWidth, cellHeight);
    const int32_t again = g_freedGrids.Take(int32_t(g_grids.size()), [](int32_t k) { return !g_grids[size_t(k)]; });
    if (again >= 0) {
        g_grids[size_t(again)] = grid;
        return again;
    }
    g_grids.push_back(grid);
    return int32_t(g_grids.size()) - 1;
}

CGrid* Motion_Grid_Get(int32_t id) { return id >= 0 && size_t(id) < g_grids.size() ? g_grids[size_t(id)] : nullptr; }

void Motion_Grid_Destroy(int32_t id)
{
    if (!Motion_Grid_Get(id)) return;
    delete g_grids[size_t(id)];
    g_grids[size_t(id)] = nullptr;
    g_freedGrids.Release(id);
}

void Motion_Grid_Clear(int32_t id)
{
    if (CGrid* g = Motion_Grid_Get(id)) std::fill(g->m_cells.begin(), g->m_cells.end(), 0);
}

void Motion_Grid_ClearCell(int32_t id, int32_t h, int32_t v) { SetCell(id, h, v, 0); }
void Motion_Grid_AddCell(int32_t id, int32_t h, int32_t v) { SetCell(id, h, v, -1); }
void Motion_Grid_ClearRectangle(int32_t id, float x1, float y1, float x2, float y2) { FillRectangle(id, x1, y1, x2, y2, 0); }
void Motion_Grid_AddRectangle(int32_t id, float x1, float y1, float x2, float y2) { FillRectangle(id, x1, y1, x2, y2, -1); }

void Motion_Grid_AddInstances(int32_t id, CInstance* instance, bool precise)
{
    CGrid* g = Motion_Grid_Get(id);
    if (!g || !instance) return;
    instance->RefreshBoundingBox();
    int32_t h0, h1, v0, v1;
    Range(float(instance->i_bbox_left), float(instance->i_bbox_right), g->m_left, g->m_cellWidth, g->m_columns, &h0, &h1);
    Range(float(instance->i_bbox_top), float(instance->i_bbox_bottom), g->m_top, g->m_cellHeight, g->m_rows, &v0, &v1);
    for (int32_t h = h0; h <= h1; ++h) {
        for (int32_t v = v0; v <= v1; ++v) {
            int32_t& cell = g->m_cells[size_t(h) * size_t(g->m_rows) + size_t(v)];
            if (!precise) {
                cell = -1;
                continue;
            }
            if (cell == -1) continue;
            const float x1 = float(int64_t(g->m_left) + int64_t(h) * g->m_cellWidth);
            const float y1 = float(int64_t(g->m_top) + int64_t(v) * g->m_cellHeight);
            if (instance->CollisionRectangle(x1, y1, x1 + float(g->m_cellWidth - 1), y1 + float(g->m_cellHeight - 1), true))
                cell = -1;
        }
    }
}

bool Motion_Grid_Path(int32_t id, CPath* path, float xstart, float ystart, float xgoal, float ygoal, bool allowDiag)
{
    CGrid* g = Motion_Grid_Get(id);
    if (!g || !path) return false;
    int32_t hs, vs, hg, vg;
    if (!CellOf(g, xstart, ystart, &hs, &vs) || g->Cell(hs, vs) != 0) return false;
    if (!CellOf(g, xgoal, ygoal, &hg, &vg) || g->Cell(hg, vg) != 0) return false;

    const int32_t rows = g->m_rows;
    std::vector<int32_t>& cells = g->m_cells;
    auto at = [rows](int32_t h, int32_t v) { return size_t(h) * size_t(rows) + size_t(v); };
    std::vector<int32_t> queue; // cell indexes; each cell enters once
    queue.reserve(4096);
    cells[at(hs, vs)] = 1;
    queue.push_back(int32_t(at(hs, vs)));
    bool found = false;
    const int32_t directions = allowDiag ? 8 : 4;
    for (size_t head = 0; head < queue.size(); ++head) {
        const int32_t h = queue[head] / rows, v = queue[head] % rows;
        if (h == hg && v == vg) {
            found = true;
            break;
        }
        const int32_t d = cells[size_t(queue[head])] + 1;
        bool open[8];
        for (int32_t k = 0; k < 8; ++k) {
            const int32_t nh = h + kSearchOrder[k].dh, nv = v + kSearchOrder[k].dv;
            open[k] = g->Inside(nh, nv) && cells[at(nh, nv)] == 0;
        }
        for (int32_t k = 0; k < directions; ++k) {
            const Step& s = kSearchOrder[k];
            if (!open[k] || (s.sideA >= 0 && !(open[s.sideA] && open[s.sideB]))) continue;
            const size_t n = at(h + s.dh, v + s.dv);
            cells[n] = d;
            queue.push_back(int32_t(n));
        }
    }

    if (found) {
        // Gathered from the goal back, then reversed and given to the path at once.
        std::vector<PathPoint> points{{xgoal, ygoal, 100}};
        int32_t h = hg, v = vg;
        while (!(h == hs && v == vs)) {
            const int32_t c = cells[at(h, v)];
            bool moved = false;
            for (int32_t w = 0; w < directions && !moved; ++w) {
                const Step& s = kSearchOrder[kWalkOrder[w]];
                const int32_t nh = h + s.dh, nv = v + s.dv;
                if (!g->Inside(nh, nv) || cells[at(nh, nv)] != c - 1) continue;
                // The corner rule on the way back: never between two cells of which one is blocked.
                if (s.sideA >= 0 && (cells[at(h + kSearchOrder[s.sideA].dh, v + kSearchOrder[s.sideA].dv)] == -1 ||
                                     cells[at(h + kSearchOrder[s.sideB].dh, v + kSearchOrder[s.sideB].dv)] == -1))
                    continue;
                h = nh;
                v = nv;
                moved = true;
            }
            if (!moved) break; // cannot happen: the search reached every marked cell from a neighbour
            if (!(h == hs && v == vs))
                points.push_back({float(int64_t(g->m_left) + int64_t(h) * g->m_cellWidth + g->m_cellWidth / 2),
                                  float(int64_t(g->m_top) + int64_t(v) * g->m_cellHeight + g->m_cellHeight / 2), 100});
        }
        points.push_back({xstart, ystart, 100});
        std::reverse(points.begin(), points.end());
        path->Clear();
        path->SetKind(0);
        path->SetClosed(false);
        path->SetPoints(points);
    }
    for (int32_t q : queue) cells[size_t(q)] = 0;
    return found;
}

int32_t Motion_Grid_Count() { return int32_t(g_grids.size()); }

void Motion_Grid_FreeAll()
{
    for (CGrid* g : g_grids) delete g;
    g_grids.clear();
    g_freedGrids.Clear();
}
