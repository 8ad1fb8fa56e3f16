// Room tiles, view following and the window fit (Files/Room/Room.h).
#include <algorithm>
#include <cstdint>

#include "Files/Base/RealConvert.h"
#include "Files/Graphics_API/Graphics_Display.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/Room/Room.h"
#include "Files/World/World_State.h"

namespace {
// The tile's right and bottom edges (from the integer size and the float scale).
double TileRight(const RoomTile& t) { return double(t.x) + double(t.width) * double(t.xscale); }
double TileBottom(const RoomTile& t) { return double(t.y) + double(t.height) * double(t.yscale); }

bool ContainsInclusive(const RoomTile& t, double x, double y)
{
    return t.x <= x && x <= TileRight(t) && t.y <= y && y <= TileBottom(t);
}
bool ContainsExclusive(const RoomTile& t, double x, double y)
{
    return t.x <= x && x < TileRight(t) && t.y <= y && y < TileBottom(t);
}
} // namespace

int32_t CRoom::AddTile(const RoomTile& tile)
{
    if (!m_tiles.empty() && tile.depth > m_tiles.back().depth) m_tilesInOrder = false;
    m_tiles.push_back(tile);
    const int32_t id = Room_TakeTileId();
    m_tiles.back().id = id;
    m_lastFoundTile = int32_t(m_tiles.size()) - 1;
    return m_lastFoundTile;
}

int32_t CRoom::AddTileInOrder(const RoomTile& tile)
{
    if (!m_tilesInOrder || tile.depth != tile.depth) {
        const int32_t id = m_tiles[size_t(AddTile(tile))].id;
        SortTiles();
        return FindTile(id);
    }
    const auto at = std::partition_point(m_tiles.begin(), m_tiles.end(), [&](const RoomTile& t) { return !(t.depth < tile.depth); });
    const auto placed = m_tiles.insert(at, tile);
    placed->id = Room_TakeTileId();
    m_lastFoundTile = int32_t(placed - m_tiles.begin());
    return m_lastFoundTile;
}

int32_t CRoom::FindTile(int32_t id)
{
    const int32_t n = int32_t(m_tiles.size());
    if (m_lastFoundTile >= 0 && m_lastFoundTile < n && m_tiles[size_t(m_lastFoundTile)].id == id) return m_lastFoundTile;
    for (int32_t k = 0; k < n; ++k) {
        if (m_tiles[size_t(k)].id == id) {
            m_lastFoundTile = k;
            return k;
        }
    }
    return -1;
}

void CRoom::DeleteTile(int32_t index)
{
    if (index < 0 || index >= int32_t(m_tiles.size())) return;
    m_tiles.erase(m_tiles.begin() + index);
}

void CRoom::DeleteTilesAt(float x, float y, bool foreground)
{
    std::erase_if(m_tiles, [&](const RoomTile& t) {
        bool half = foreground ? t.depth <= 0 : t.depth >= 0;
        return half && ContainsInclusive(t, x, y);
    });
}

int32_t CRoom::FindTileAt(float x, float y, bool foreground)
{
    for (size_t k = 0; k < m_tiles.size(); ++k) {
        const RoomTile& t = m_tiles[k];
        bool half = foreground ? t.depth < 0 : t.depth >= 0;
        if (half && ContainsExclusive(t, x, y)) {
            m_lastFoundTile = int32_t(k);
            return m_lastFoundTile;
        }
    }
    return -1;
}

void CRoom::HideLayer(float depth)
{
    for (RoomTile& t : m_tiles)
        if (t.depth == depth) t.visible = 0;
}

void CRoom::ShowLayer(float depth)
{
    for (RoomTile& t : m_tiles)
        if (t.depth == depth) t.visible = 1;
}

void CRoom::DeleteLayer(float depth)
{
    std::erase_if(m_tiles, [&](const RoomTile& t) { return t.depth == depth; });
}

void CRoom::ShiftLayer(float depth, float dx, float dy)
{
    for (RoomTile& t : m_tiles) {
        if (t.depth != depth) continue;
        t.x += dx;
        t.y += dy;
    }
}

int32_t CRoom::FindTileInLayer(float depth, float x, float y)
{
    for (size_t k = 0; k < m_tiles.size(); ++k) {
        const RoomTile& t = m_tiles[k];
        if (t.depth == depth && ContainsExclusive(t, x, y)) {
            m_lastFoundTile = int32_t(k);
            return m_lastFoundTile;
        }
    }
    return -1;
}

void CRoom::DeleteLayerAt(float depth, float x, float y)
{
    std::erase_if(m_tiles, [&](const RoomTile& t) { return t.depth == depth && ContainsExclusive(t, x, y); });
}

void CRoom::SetLayerDepth(float depth, float newDepth)
{
    for (RoomTile& t : m_tiles)
        if (t.depth == depth) t.depth = newDepth;
    m_tilesInOrder = false;
}

void CRoom::ClearTiles()
{
    m_tiles.clear();
    m_tiles.shrink_to_fit();
}

void CRoom::SortTiles()
{
    m_tilesInOrder = true;
    bool sorted = true;
    for (size_t k = 1; k < m_tiles.size() && sorted; ++k)
        if (m_tiles[k].depth > m_tiles[k - 1].depth) sorted = false;
    if (sorted) return;
    // Descending depth; equal depths keep their order (a stable sort is the insertion sort's
    // result).
    std::stable_sort(m_tiles.begin(), m_tiles.end(), [](const RoomTile& a, const RoomTile& b) { return a.depth > b.depth; });
}

// =============================================================================================
// Views
// =============================================================================================

namespace {
CInstance* FollowedInstance(int32_t object)
{
    if (object >= 100000) {
        CInstance* i = Instance_Find(object);
        return i && i->IsLive() ? i : nullptr;
    }
    CObject* o = Object_Lookup(object);
    if (!o) return nullptr;
    for (auto* n = o->m_instances.GetHead(); n; n = n->next)
        if (n->value->IsLive()) return n->value;
    return nullptr;
}

// The view's side moved so that pos keeps border away from its edges. In 64 bits: a view's
// fields and the followed position are any 32-bit values.
void Follow(int64_t pos, int64_t border, int64_t size, int64_t& view)
{
    if (2 * border < size) {
        if (pos - border < view)
            view = pos - border;
        else if (pos + border > view + size)
            view = pos + border - size;
    } else {
        view = pos - size / 2;
    }
}
} // namespace

void Room_UpdateViews()
{
    CRoom* room = Run_CurrentRoom();
    if (!room) return;
    if (!room->m_viewsEnabled) {
        for (int32_t v = 0; v < 8; ++v) GR_ViewPort_Clear(v);
        return;
    }
    for (RoomView& view : room->m_views) {
        if (!view.visible || view.object < 0) continue;
        CInstance* i = FollowedInstance(view.object);
        if (!i) continue;
        i->RefreshBoundingBox();
        const int64_t ix = Real_RoundToInt32Clamped(i->i_x), iy = Real_RoundToInt32Clamped(i->i_y);
        int64_t x = view.xview, y = view.yview;
        Follow(ix, view.hborder, view.wview, x);
        Follow(iy, view.vborder, view.hview, y);
        if (x < 0) x = 0;
        if (x + view.wview > room->m_width) x = int64_t(room->m_width) - view.wview;
        if (y < 0) y = 0;
        if (y + view.hview > room->m_height) y = int64_t(room->m_height) - view.hview;
        if (view.hspeed >= 0) {
            x = std::clamp<int64_t>(x, int64_t(view.xview) - view.hspeed, int64_t(view.xview) + view.hspeed);
        }
        if (view.vspeed >= 0) {
            y = std::clamp<int64_t>(y, int64_t(view.yview) - view.vspeed, int64_t(view.yview) + view.vspeed);
        }
        view.xview = Int_HoldToInt32(x);
        view.yview = Int_HoldToInt32(y);
    }
    int64_t right = -999999, bottom = -999999;
    for (int32_t k = 0; k < 8; ++k) {
        const RoomView& view = room->m_views[k];
        GR_ViewPort_Clear(k);
        if (!view.visible) continue;
        GR_ViewPort_Set(k, float(view.xview), float(view.yview), float(view.wview), float(view.hview), float(view.xport),
                        float(view.yport), float(view.wport), float(view.hport), view.angle, view.surfaceId);
        right = std::max(right, int64_t(view.xport) + view.wport);
        bottom = std::max(bottom, int64_t(view.yport) + view.hport);
    }
    // The ports' coordinates are the window's as Room_FitWindowToViews sizes it, from its corner
    // to the furthest port edge: the factors map that extent onto the window as it is (a port
    // away from the corner stays where it is, not stretched by its distance from the corner).
    if (right > 0 && bottom > 0) {
        GR_WindowState().roomScaleX = float(GR_Window_GetWidth()) / float(right);
        GR_WindowState().roomScaleY = float(GR_Window_GetHeight()) / float(bottom);
    }
}

void Room_FitWindowToViews()
{
    CRoom* room = Run_CurrentRoom();
    if (!room) return;
    // Sums in 64 bits: a loaded game's views may hold any values.
    int64_t width = room->m_width, height = room->m_height;
    if (room->m_viewsEnabled) {
        width = 8;
        height = 8;
        for (const RoomView& v : room->m_views) {
            if (!v.visible) continue;
            width = std::max(width, int64_t(v.xport) + v.wport);
            height = std::max(height, int64_t(v.yport) + v.hport);
        }
    }
    int32_t w = int32_t(std::clamp<int64_t>(width, 1, INT32_MAX)), h = int32_t(std::clamp<int64_t>(height, 1, INT32_MAX));
    GR_Window_HoldSize(&w, &h); // the display's size at most (headless: the largest texture)
    if (w != GR_Window_GetWidth() || h != GR_Window_GetHeight()) GR_Window_SetSize(w, h);
}
