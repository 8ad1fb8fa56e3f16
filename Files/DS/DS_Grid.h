// CDS_Grid: a width x height array of script values with cell, rectangle ("region") and disk
// operations, region copies between grids, statistics, searches, a shuffle and a row sort.
//
// Storage is column-major in one block: cell (x, y) is cells[x * height + y], so a column is
// contiguous and region and disk loops walk it in their inner loop. A grid holds at most
// kMaxCells cells; sizes below 0 count as 0.
//
// Needs DS_Main.h, the random generator, the release console (out-of-bounds lines). No Linux/
// file.
#pragma once

#include <cstdint>
#include <vector>

#include "Files/DS/DS_Main.h"

// Cell operations. ORDER: the op codes of the set/add/multiply built-in families.
enum : int32_t { DS_GRID_SET = 1, DS_GRID_ADD = 2, DS_GRID_MULTIPLY = 3 };

// A clipped rectangle of cells, bounds inclusive; empty when x1 > x2 or y1 > y2.
struct DSGridRect {
    int32_t x1, y1, x2, y2;
    bool Empty() const { return x1 > x2 || y1 > y2; }
};

// A disk's bounding box (clipped) with its centre and radius.
struct DSGridDisk {
    DSGridRect box;
    double xm, ym, r;
    bool Covers(int32_t x, int32_t y) const
    {
        double dx = x - xm, dy = y - ym;
        return dx * dx + dy * dy <= r * r;
    }
};

// Statistics over the real cells of a region or disk.
struct DSGridStats {
    double sum = 0.0;
    double min = 100000000.0;  // start values: a region of strings yields them
    double max = -100000000.0;
    int64_t count = 0;         // real cells seen
};

class CDS_Grid {
public:
    static constexpr int64_t kMaxCells = int64_t(1) << 26;

    // A grid of real 0 cells; a size that is negative counts as 0. False from Valid() when the
    // cell count passed kMaxCells (the grid is then 0 x 0).
    CDS_Grid(int32_t width = 0, int32_t height = 0);
    virtual ~CDS_Grid();
    CDS_Grid(const CDS_Grid&) = delete;
    CDS_Grid& operator=(const CDS_Grid&) = delete;

    static bool SizeAllowed(int32_t width, int32_t height);

    int32_t Width() const { return m_width; }
    int32_t Height() const { return m_height; }
    bool Inside(int32_t x, int32_t y) const { return x >= 0 && x < m_width && y >= 0 && y < m_height; }
    ScriptValue* Cell(int32_t x, int32_t y) { return &m_cells[size_t(int64_t(x) * m_height + y)]; }
    const ScriptValue* Cell(int32_t x, int32_t y) const { return &m_cells[size_t(int64_t(x) * m_height + y)]; }

    // Keeps the cells inside both sizes; new cells real 0. False (unchanged) past kMaxCells.
    bool Resize(int32_t width, int32_t height);
    // This grid := a copy of source (size and cells). A copy onto itself does nothing.
    void Copy(const CDS_Grid* source);
    // Every cell set to value.
    void SetAll(const ScriptValue* value);

    // Applies op with the operand to one cell (which must be inside).
    static void Apply(ScriptValue* cell, int32_t op, const ScriptValue* operand);
    // The region (x1, y1, x2, y2) in either corner order, clipped to the grid.
    DSGridRect Region(int32_t x1, int32_t y1, int32_t x2, int32_t y2) const;
    // The disk's clipped bounding box; empty for a not-a-number centre or radius.
    DSGridDisk Disk(double xm, double ym, double r) const;
    void ApplyRegion(const DSGridRect& rect, int32_t op, const ScriptValue* operand);
    void ApplyDisk(const DSGridDisk& disk, int32_t op, const ScriptValue* operand);
    // Source region (x1, y1, x2, y2) of source applied with op at (xpos, ypos) of this grid;
    // the visit order makes a copy within one grid read each cell before overwriting it.
    void ApplyGridRegion(const CDS_Grid* source, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t xpos,
                         int32_t ypos, int32_t op);
    DSGridStats RegionStats(const DSGridRect& rect) const;
    DSGridStats DiskStats(const DSGridDisk& disk) const;
    // The first cell (x ascending, then y) comparing equal to value; false when none.
    bool FindInRegion(const DSGridRect& rect, const ScriptValue* value, int32_t* x, int32_t* y) const;
    bool FindInDisk(const DSGridDisk& disk, const ScriptValue* value, int32_t* x, int32_t* y) const;
    // 8 * width * height swaps of two cells drawn with Random_Int (x1, x2, y1, y2).
    void Shuffle();
    // Rows reordered by the values of one column: ascending puts strings (byte order, a
    // missing text as the empty text) before reals (not-a-number last); descending is the
    // exact reverse; rows with equal keys keep their order. A column outside does nothing.
    // A quit request stops the shuffle (cells swapped so far stay swapped) and the sort
    // (the rows as they were).
    void SortRows(int32_t column, bool ascending);

    // Text form: id 601, width, height, the cells column by column.
    char* WriteText() const;
    bool ReadText(const char* text);

private:
    void FreeCells();
    int32_t m_width = 0;
    int32_t m_height = 0;
    std::vector<ScriptValue> m_cells; // column-major, width * height
};
