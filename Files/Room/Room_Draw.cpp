// The room draw: through each visible view (or the whole room), the background layers behind,
// instances, tiles and particle systems merged by depth, the foreground layers, then the
// draw-GUI events over the whole window and the cursor sprite (Files/Room/Room.h).
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "Files/Base/RealConvert.h"
#include "Files/Graphics_API/Graphics_3D.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Device.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/Object/Event.h"
#include "Files/Room/Room.h"
#include "Files/World/World_Hooks.h"
#include "Files/World/World_State.h"

namespace {
void* g_viewSurface = nullptr;

float ClampDepth(float d) { return d > 11000.0f ? 11000.0f : d; }

// The room area a view shows (for a rotated view, widened by half its other side each way),
// worked out in 64 bits and held to the 32-bit range: a view's fields are any 32-bit values.
RoomRect ViewArea(const RoomView& view)
{
    const int64_t x = view.xview, y = view.yview, w = view.wview, h = view.hview;
    int64_t r[4] = {x, y, x + w, y + h};
    if (!(std::fabs(view.angle) < 0.001f)) {
        r[0] -= h / 2;
        r[1] -= w / 2;
        r[2] += h / 2;
        r[3] += w / 2;
    }
    return RoomRect{Int_HoldToInt32(r[0]), Int_HoldToInt32(r[1]), Int_HoldToInt32(r[2]), Int_HoldToInt32(r[3])};
}

void SetDrawRect(const RoomRect& r)
{
    GR_WindowStateRecord& w = GR_WindowState();
    w.drawLeft = r.left;
    w.drawTop = r.top;
    w.drawRight = r.right;
    w.drawBottom = r.bottom;
}

bool Drawable(const CInstance* i) { return !i->i_marked && !i->i_deactivated && i->i_visible; }

void DrawInstance(CInstance* i)
{
    int32_t found = 0;
    if (Object_ResolveEvent(i->m_pObject, i->i_objindex, EVENT_DRAW, 0, &found)) {
        Event_Perform(i, i, EVENT_DRAW, 0);
        return;
    }
    WorldHooks& h = World_Hooks();
    if (!World_SpriteExists(i->i_spriteindex)) return;
    if (i->i_imagescalex == 1.0f && i->i_imagescaley == 1.0f && i->i_imageangle == 0.0f && i->i_imageblend == 0xFFFFFF &&
        i->i_imagealpha == 1.0f) {
        if (h.spriteDrawSimple) h.spriteDrawSimple(i->i_spriteindex, Real_FloorToInt32Clamped(i->i_imageindex), i->i_x, i->i_y);
    } else if (h.spriteDraw) {
        h.spriteDraw(i->i_spriteindex, Real_FloorToInt32Clamped(i->i_imageindex), i->i_x, i->i_y, i->i_imagescalex,
                     i->i_imagescaley, i->i_imageangle, i->i_imageblend, i->i_imagealpha);
    }
}

void DrawLayers(CRoom* room, bool foreground, const RoomRect& r)
{
    WorldHooks& h = World_Hooks();
    for (const RoomBackground& b : room->m_backgrounds) {
        if (!b.visible || (b.foreground != 0) != foreground) continue;
        int32_t w = 0, hh = 0;
        if (!World_BackgroundSize(b.index, &w, &hh)) continue;
        if (h.backgroundDrawTiled)
            h.backgroundDrawTiled(b.index, b.x, b.y, b.xscale, b.yscale, b.htiled != 0, b.vtiled != 0, float(r.left),
                                  float(r.top), float(r.right - r.left), float(r.bottom - r.top), uint32_t(b.blend),
                                  b.alpha);
    }
}

float ParticleMax()
{
    return World_Hooks().particleMaxDepth ? World_Hooks().particleMaxDepth() : -1e9f;
}

float ParticleNext(float d)
{
    return World_Hooks().particleNextDepthBelow ? World_Hooks().particleNextDepthBelow(d) : -1e9f;
}

void DrawParticles(float d)
{
    if (World_Hooks().particleDrawAtDepth) World_Hooks().particleDrawAtDepth(d);
}

CInstance* PrevDrawable(CInstance* i)
{
    while (i && !Drawable(i)) i = i->m_pPrev;
    return i;
}

// Instances from the back (list tail), tiles from index 0 (descending depth, visible only) and
// particle depths from the greatest, merged.
void DrawDepthMerged(CRoom* room, const RoomRect& r)
{
    float p = ParticleMax();
    CInstance* i = PrevDrawable(room->m_active.tail);
    size_t t = 0;
    auto nextTile = [&]() {
        while (t < room->m_tiles.size() && !room->m_tiles[t].visible) ++t;
    };
    nextTile();
    for (;;) {
        const bool haveP = p > -1e8f;
        const bool haveT = t < room->m_tiles.size();
        if (!haveP && !i && !haveT) break;
        if (haveP && (!i || p > i->m_listDepth) && (!haveT || p >= room->m_tiles[t].depth)) {
            GR_3D_SetDepth(ClampDepth(p));
            DrawParticles(p);
            p = ParticleNext(p);
        } else if (i && (!haveT || !(room->m_tiles[t].depth > i->m_listDepth))) {
            GR_3D_SetDepth(ClampDepth(i->i_depth));
            CInstance* prev = i->m_pPrev;
            DrawInstance(i);
            i = PrevDrawable(prev);
        } else {
            const RoomTile tile = room->m_tiles[t];
            GR_3D_SetDepth(ClampDepth(tile.depth));
            int32_t bw = 0, bh = 0;
            if (World_BackgroundSize(tile.background, &bw, &bh)) {
                double x1 = tile.x, y1 = tile.y;
                double x2 = double(tile.x) + double(tile.width) * double(tile.xscale);
                double y2 = double(tile.y) + double(tile.height) * double(tile.yscale);
                if (x1 > x2) std::swap(x1, x2);
                if (y1 > y2) std::swap(y1, y2);
                if (x2 >= r.left && y2 >= r.top && x1 <= r.right && y1 <= r.bottom && World_Hooks().backgroundDrawPart) {
                    World_Hooks().backgroundDrawPart(tile.background, float(tile.left), float(tile.top), float(tile.width),
                                                     float(tile.height), tile.x, tile.y, tile.xscale, tile.yscale,
                                                     uint32_t(tile.blend), tile.alpha);
                }
            }
            ++t;
            nextTile();
        }
    }
    GR_D3D_Flush();
}

void DrawInstancesAndParticles(CRoom* room)
{
    float p = ParticleMax();
    CInstance* i = PrevDrawable(room->m_active.tail);
    const bool threeD = GR_3D_GetMode();
    while (i || p > -1e8f) {
        if (p > -1e8f && (!i || p > i->m_listDepth)) {
            if (threeD) GR_3D_SetDepth(ClampDepth(p));
            DrawParticles(p);
            p = ParticleNext(p);
        } else {
            if (threeD) GR_3D_SetDepth(ClampDepth(i->i_depth));
            CInstance* prev = i->m_pPrev;
            DrawInstance(i);
            i = PrevDrawable(prev);
        }
    }
    GR_D3D_Flush();
}

void DrawInstances(CRoom* room)
{
    const bool threeD = GR_3D_GetMode();
    for (CInstance* i = PrevDrawable(room->m_active.tail); i;) {
        if (threeD) GR_3D_SetDepth(ClampDepth(i->i_depth));
        CInstance* prev = i->m_pPrev;
        DrawInstance(i);
        i = PrevDrawable(prev);
    }
    GR_D3D_Flush();
}
} // namespace

void* Room_CurrentViewSurface() { return g_viewSurface; }

void Room_DrawInView(const RoomRect& r)
{
    CRoom* room = Run_CurrentRoom();
    if (!room) return;
    SetDrawRect(r);
    GR_3D_ClearDepth();
    if (room->m_showColour) GR_D3D_Clear(room->m_colour | 0xFF000000u, 1.0f, 0, GFX_CLEAR_TARGET);
    GR_3D_SetDepth(12000.0f);
    DrawLayers(room, false, r);
    const bool tiles = !room->m_tiles.empty();
    const bool instances = room->m_active.count > 0;
    if (tiles)
        DrawDepthMerged(room, r);
    else if (instances && ParticleMax() > -1e9f)
        DrawInstancesAndParticles(room);
    else if (!instances)
        DrawDepthMerged(room, r);
    else
        DrawInstances(room);
    GR_3D_SetDepth(-12000.0f);
    DrawLayers(room, true, r);
    GR_3D_SetDepth(-13000.0f);
}

void Room_DrawGUI(const RoomRect& r)
{
    CRoom* room = Run_CurrentRoom();
    if (!room) return;
    SetDrawRect(r);
    for (CInstance* i = room->m_active.tail; i;) {
        CInstance* prev = i->m_pPrev;
        if (Drawable(i)) {
            int32_t found = 0;
            if (Object_ResolveEvent(i->m_pObject, i->i_objindex, EVENT_DRAW, 64, &found)) Event_Perform(i, i, EVENT_DRAW, 64);
        }
        i = prev;
    }
}

void Room_DrawAll()
{
    CRoom* room = Run_CurrentRoom();
    if (!room) return;
    RunState& st = Run_State();
    Room_UpdateViews();
    room->SortTiles();
    g_viewSurface = nullptr;
    const int32_t ww = GR_Window_GetScreenWidth(), wh = GR_Window_GetScreenHeight();
    GR_WindowStateRecord& ws = GR_WindowState();
    if (room->m_viewsEnabled) {
        GR_D3D_Clear(GR_Window_GetColour() | 0xFF000000u, 1.0f, 0, GFX_CLEAR_TARGET);
        const float sx0 = ws.roomScaleX, sy0 = ws.roomScaleY;
        for (int32_t v = 0; v < 8; ++v) {
            st.viewCurrent = v;
            RoomView& view = room->m_views[v];
            if (!view.visible) continue;
            bool pushed = false;
            float sx = sx0, sy = sy0;
            if (view.surfaceId != -1) {
                GR_D3D_Flush();
                WorldHooks& h = World_Hooks();
                if (h.surfaceExists && h.surfaceExists(view.surfaceId) && view.surfaceId != ws.drawTargetSurface &&
                    h.surfaceTexture) {
                    g_viewSurface = h.surfaceTexture(view.surfaceId);
                    GR_D3D_PushRenderTarget();
                    GR_D3D_SetRenderTarget(0, static_cast<TextureRecord*>(g_viewSurface));
                    sx = sy = 1.0f;
                    pushed = true;
                } else {
                    g_viewSurface = nullptr;
                }
            }
            GR_D3D_SetView(float(view.xview), float(view.yview), float(view.wview), float(view.hview), view.angle);
            GR_D3D_SetViewPort(Real_TruncToInt32Clamped(float(view.xport) * sx), Real_TruncToInt32Clamped(float(view.yport) * sy),
                               Real_TruncToInt32Clamped(float(view.wport) * sx), Real_TruncToInt32Clamped(float(view.hport) * sy));
            Room_DrawInView(ViewArea(view));
            if (pushed) {
                g_viewSurface = nullptr;
                GR_D3D_PopRenderTarget();
            }
        }
        GR_D3D_Flush();
        GR_D3D_SetViewPort(0, 0, ww, wh);
        GR_D3D_SetView(0, 0, float(ww), float(wh), 0);
        SetDrawRect(RoomRect{0, 0, ww, wh});
    } else {
        st.viewCurrent = 0;
        GR_D3D_Flush();
        GR_D3D_SetViewPort(0, 0, ww, wh);
        GR_D3D_SetView(0, 0, float(room->m_width), float(room->m_height), 0);
        Room_DrawInView(RoomRect{0, 0, room->m_width, room->m_height});
    }
    // Draw-GUI pass over the whole window.
    const bool threeD = GR_3D_GetMode();
    GR_3D_SetMode(false);
    const int32_t gw = ws.guiWidth < 0 ? ww : ws.guiWidth;
    const int32_t gh = ws.guiHeight < 0 ? wh : ws.guiHeight;
    GR_D3D_SetViewPort(0, 0, ww, wh);
    GR_D3D_SetView(0, 0, float(gw), float(gh), 0);
    Room_DrawGUI(RoomRect{0, 0, gw, gh});
    GR_3D_SetMode(threeD);
    // Cursor sprite: the mouse mapped to the window without the views (no view-port record is
    // counted during the mapping).
    if (World_SpriteExists(st.cursorSprite) && World_Hooks().spriteDraw) {
        int32_t rx = 0, ry = 0;
        const int32_t ports = GR_ViewPort_HoldCount(0);
        GR_Window_MouseToRoom(GR_Window_GetMouseX(), GR_Window_GetMouseY(), &rx, &ry);
        GR_ViewPort_HoldCount(ports);
        World_Hooks().spriteDraw(st.cursorSprite, st.cursorImage, float(rx), float(ry), 1, 1, 0, 0xFFFFFF, 1);
    }
    st.viewCurrent = 0;
}
