// CDS_Grid and its index table. Needs DS_Main and the random generator.
#include "Files/DS/DS_Grid.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Files/Base/QuitRequest.h"
#include "Files/Base/Random.h"
#include "Platform/MemoryManager.h"

namespace {

DSTable<CDS_Grid> g_grids;

int32_t NonNegative(int32_t n) { return n < 0 ? 0 : n; }

} // namespace

DSTable<CDS_Grid>& DS_Grids() { return g_grids; }

bool CDS_Grid::SizeAllowed(int32_t width, int32_t height)
{
    return int64_t(NonNegative(width)) * int64_t(NonNegative(height)) <= kMaxCells;
}

CDS_Grid::CDS_Grid(int32_t width, int32_t height)
{
    width = NonNegative(width);
    height = NonNegative(height);
    if (!SizeAllowed(width, height)) width = height = 0;
    m_width = width;
    m_height = height;
    m_cells.assign(size_t(int64_t(width) * height), DS_EmptyValue());
}

CDS_Grid::~CDS_Grid() { FreeCells(); }

void CDS_Grid::FreeCells()
{
    for (ScriptValue& v : m_cells) DS_ClearValue(&v);
}

bool CDS_Grid::Resize(int32_t width, int32_t height)
{
    width = NonNegative(width);
    height = NonNegative(height);
    if (!SizeAllowed(width, height)) return false;
    if (width == m_width && height == m_height) return true;
    std::vector<ScriptValue> cells(size_t(int64_t(width) * height), DS_EmptyValue());
    for (int32_t x = 0; x < m_width; x++) {
        for (int32_t y = 0; y < m_height; y++) {
            ScriptValue* old = Cell(x, y);
            if (x < width && y < height) {
                cells[size_t(int64_t(x) * height + y)] = *old; // the text moves
                *old = DS_EmptyValue();
            } else {
                DS_ClearValue(old);
            }
        }
    }
    m_cells.swap(cells);
    m_width = width;
    m_height = height;
    return true;
}

void CDS_Grid::Copy(const CDS_Grid* source)
{
    if (source == this || !source) return;
    FreeCells();
    m_width = source->m_width;
    m_height = source->m_height;
    m_cells.assign(source->m_cells.size(), DS_EmptyValue());
    for (size_t i = 0; i < m_cells.size(); i++) DS_StoreValue(&m_cells[i], &source->m_cells[i]);
}

void CDS_Grid::SetAll(const ScriptValue* value)
{
    ScriptValue operand = DS_EmptyValue();
    DS_StoreValue(&operand, value); // the value may be one of the cells
    QuitPoll poll;
    for (ScriptValue& v : m_cells) {
        if (poll.Stop(8)) break; // a quit: the cells set so far stay set
        DS_StoreValue(&v, &operand);
    }
    DS_ClearValue(&operand);
}

// [SECTION] Cell operations

void CDS_Grid::Apply(ScriptValue* cell, int32_t op, const ScriptValue* operand)
{
    bool cellString = cell->kind == VALUE_STRING;
    bool operandString = operand->kind == VALUE_STRING;
    switch (op) {
    case DS_GRID_SET:
        DS_StoreValue(cell, operand);
        break;
    case DS_GRID_ADD:
        if (!cellString && !operandString) {
            cell->real += operand->real;
        } else if (cellString && operandString) {
            const char* a = cell->text ? cell->text : "";
            const char* b = operand->text ? operand->text : "";
            size_t la = std::strlen(a), lb = std::strlen(b);
            char* text = static_cast<char*>(MEM_ALLOC(la + lb + 1));
            std::memcpy(text, a, la);
            std::memcpy(text + la, b, lb + 1); // the operand may be this very cell
            Value_FreeString(cell);
            cell->text = text;
        } else {
            DS_StoreValue(cell, operand);
        }
        break;
    case DS_GRID_MULTIPLY:
        if (!cellString && !operandString) cell->real *= operand->real;
        break;
    default:
        break;
    }
}

DSGridRect CDS_Grid::Region(int32_t x1, int32_t y1, int32_t x2, int32_t y2) const
{
    DSGridRect r;
    r.x1 = std::max(std::min(x1, x2), 0);
    r.x2 = std::min(std::max(x1, x2), m_width - 1);
    r.y1 = std::max(std::min(y1, y2), 0);
    r.y2 = std::min(std::max(y1, y2), m_height - 1);
    return r;
}

DSGridDisk CDS_Grid::Disk(double xm, double ym, double r) const
{
    DSGridDisk d;
    d.xm = xm;
    d.ym = ym;
    d.r = r;
    d.box = DSGridRect{0, 0, -1, -1};
    if (std::isnan(xm) || std::isnan(ym) || std::isnan(r)) return d;
    double x1 = std::max(std::floor(xm - r), 0.0), x2 = std::min(std::ceil(xm + r), double(m_width - 1));
    double y1 = std::max(std::floor(ym - r), 0.0), y2 = std::min(std::ceil(ym + r), double(m_height - 1));
    if (!(x1 <= x2) || !(y1 <= y2)) return d;
    d.box = DSGridRect{int32_t(x1), int32_t(y1), int32_t(x2), int32_t(y2)};
    return d;
}

void CDS_Grid::ApplyRegion(const DSGridRect& rect, int32_t op, const ScriptValue* operand)
{
    if (rect.Empty()) return;
    ScriptValue copy = DS_EmptyValue();
    DS_StoreValue(&copy, operand); // the operand may be one of the cells
    for (int32_t x = rect.x1; x <= rect.x2; x++) {
        ScriptValue* column = Cell(x, 0);
        for (int32_t y = rect.y1; y <= rect.y2; y++) Apply(&column[y], op, &copy);
    }
    DS_ClearValue(&copy);
}

void CDS_Grid::ApplyDisk(const DSGridDisk& disk, int32_t op, const ScriptValue* operand)
{
    if (disk.box.Empty()) return;
    ScriptValue copy = DS_EmptyValue();
    DS_StoreValue(&copy, operand);
    for (int32_t x = disk.box.x1; x <= disk.box.x2; x++) {
        ScriptValue* column = Cell(x, 0);
        for (int32_t y = disk.box.y1; y <= disk.box.y2; y++)
            if (disk.Covers(x, y)) Apply(&column[y], op, &copy);
    }
    DS_ClearValue(&copy);
}

void CDS_Grid::ApplyGridRegion(const CDS_Grid* source, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                               int32_t xpos, int32_t ypos, int32_t op)
{
    int64_t sx1 = std::max(std::min(x1, x2), 0), sx2 = std::min(std::max(x1, x2), source->m_width - 1);
    int64_t sy1 = std::max(std::min(y1, y2), 0), sy2 = std::min(std::max(y1, y2), source->m_height - 1);
    int64_t px = xpos, py = ypos;
    if (px < 0) {
        sx1 -= px;
        px = 0;
    }
    if (py < 0) {
        sy1 -= py;
        py = 0;
    }
    if (sx2 - sx1 + px > int64_t(m_width) - 1) sx2 = int64_t(m_width) - px + sx1 - 1;
    if (sy2 - sy1 + py > int64_t(m_height) - 1) sy2 = int64_t(m_height) - py + sy1 - 1;
    if (sx1 > sx2 || sy1 > sy2) return;
    bool xDown = sx1 < px, yDown = sy1 < py;
    for (int64_t i = 0; i <= sx2 - sx1; i++) {
        int64_t sx = xDown ? sx2 - i : sx1 + i;
        int64_t dx = px + sx - sx1;
        if (sx < 0 || sx >= source->m_width || dx < 0 || dx >= m_width) continue;
        for (int64_t j = 0; j <= sy2 - sy1; j++) {
            int64_t sy = yDown ? sy2 - j : sy1 + j;
            int64_t dy = py + sy - sy1;
            if (sy < 0 || sy >= source->m_height || dy < 0 || dy >= m_height) continue;
            Apply(Cell(int32_t(dx), int32_t(dy)), op, source->Cell(int32_t(sx), int32_t(sy)));
        }
    }
}

// [SECTION] Statistics and searches

DSGridStats CDS_Grid::RegionStats(const DSGridRect& rect) const
{
    DSGridStats s;
    if (rect.Empty()) return s;
    for (int32_t x = rect.x1; x <= rect.x2; x++) {
        const ScriptValue* column = Cell(x, 0);
        for (int32_t y = rect.y1; y <= rect.y2; y++) {
            const ScriptValue& v = column[y];
            if (v.kind != VALUE_REAL) continue;
            s.sum += v.real;
            if (v.real <= s.min) s.min = v.real;
            if (v.real >= s.max) s.max = v.real;
            s.count++;
        }
    }
    return s;
}

DSGridStats CDS_Grid::DiskStats(const DSGridDisk& disk) const
{
    DSGridStats s;
    if (disk.box.Empty()) return s;
    for (int32_t x = disk.box.x1; x <= disk.box.x2; x++) {
        const ScriptValue* column = Cell(x, 0);
        for (int32_t y = disk.box.y1; y <= disk.box.y2; y++) {
            const ScriptValue& v = column[y];
            if (v.kind != VALUE_REAL || !disk.Covers(x, y)) continue;
            s.sum += v.real;
            if (v.real <= s.min) s.min = v.real;
            if (v.real >= s.max) s.max = v.real;
            s.count++;
        }
    }
    return s;
}

bool CDS_Grid::FindInRegion(const DSGridRect& rect, const ScriptValue* value, int32_t* fx, int32_t* fy) const
{
    if (rect.Empty()) return false;
    for (int32_t x = rect.x1; x <= rect.x2; x++) {
        const ScriptValue* column = Cell(x, 0);
        for (int32_t y = rect.y1; y <= rect.y2; y++) {
            if (DS_CompareValues(&column[y], value) == 0) {
                *fx = x;
                *fy = y;
                return true;
            }
        }
    }
    return false;
}

bool CDS_Grid::FindInDisk(const DSGridDisk& disk, const ScriptValue* value, int32_t* fx, int32_t* fy) const
{
    if (disk.box.Empty()) return false;
    for (int32_t x = disk.box.x1; x <= disk.box.x2; x++) {
        const ScriptValue* column = Cell(x, 0);
        for (int32_t y = disk.box.y1; y <= disk.box.y2; y++) {
            if (disk.Covers(x, y) && DS_CompareValues(&column[y], value) == 0) {
                *fx = x;
                *fy = y;
                return true;
            }
        }
    }
    return false;
}

// [SECTION] Shuffle and sort

void CDS_Grid::Shuffle()
{
    int64_t swaps = int64_t(m_width) * m_height * 8;
    if (swaps < 1) return;
    QuitPoll poll;
    for (int64_t k = 0; k < swaps; k++) {
        if (poll.Stop(8)) return;
        int32_t x1 = int32_t(Random_Int(m_width));
        int32_t x2 = int32_t(Random_Int(m_width));
        int32_t y1 = int32_t(Random_Int(m_height));
        int32_t y2 = int32_t(Random_Int(m_height));
        std::swap(*Cell(x1, y1), *Cell(x2, y2));
    }
}

namespace {

// Ascending order of sort keys: strings (byte order) before reals (not-a-number last).
int32_t SortKeyCompare(const ScriptValue& a, const ScriptValue& b)
{
    bool as = a.kind == VALUE_STRING, bs = b.kind == VALUE_STRING;
    if (as != bs) return as ? -1 : 1;
    if (as) {
        int c = std::strcmp(a.text ? a.text : "", b.text ? b.text : "");
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    bool an = std::isnan(a.real), bn = std::isnan(b.real);
    if (an || bn) return an == bn ? 0 : (an ? 1 : -1);
    return a.real < b.real ? -1 : (a.real > b.real ? 1 : 0);
}

} // namespace

void CDS_Grid::SortRows(int32_t column, bool ascending)
{
    if (column < 0 || column >= m_width || m_height < 2) return;
    std::vector<int32_t> rows(static_cast<size_t>(m_height));
    for (int32_t y = 0; y < m_height; y++) rows[size_t(y)] = y;
    const ScriptValue* keys = Cell(column, 0);
    int32_t d = ascending ? 1 : -1;
    auto before = [keys, d](int32_t a, int32_t b) { return d * SortKeyCompare(keys[a], keys[b]) < 0; };
    QuitPoll poll;
    if (!QuitRequest_StableSort(rows.begin(), rows.end(), before, poll)) return;
    std::vector<ScriptValue> scratch(static_cast<size_t>(m_height));
    for (int32_t x = 0; x < m_width; x++) {
        ScriptValue* cells = Cell(x, 0);
        for (int32_t y = 0; y < m_height; y++) scratch[size_t(y)] = cells[rows[size_t(y)]];
        std::memcpy(static_cast<void*>(cells), scratch.data(), sizeof(ScriptValue) * size_t(m_height));
    }
}
