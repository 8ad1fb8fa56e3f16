// The room's part of a saved game (Files/Room/Room.h): settings, the eight background layers,
// the eight views, the tiles, then the active and the deactivated instances, each in the
// instance record of Instance_Save.cpp.
//
// ORDER: the saved-game format. Flags travel as s32 0 or 1 and read back as "not 0"; the
// colour is u32; every other integer s32 and every float f32.
//
// Loading reads into a record that nobody sees yet: the instances are made detached (in no
// object list, not in the instance table), and tiles and instances are made one by one as
// their records are read, so a count that the data cannot back makes nothing for it. The
// caller decides which instances become live.
//
// Needs: the buffer entries, instances, the error reporter, the tile id counter. No Linux/ file.
#include "Files/Base/RealConvert.h"
#include "Files/Buffer/BufferReader.h"
#include "Files/Room/Room.h"
#include "Platform/MemoryManager.h"

namespace {

void WInt(IBuffer* b, int32_t v) { Buffer_WriteNumber(b, eBuffer_S32, v); }
void WFlag(IBuffer* b, uint8_t v) { Buffer_WriteNumber(b, eBuffer_S32, v ? 1 : 0); }
void WFloat(IBuffer* b, float v) { Buffer_WriteNumber(b, eBuffer_F32, v); }

} // namespace

// A room with a physics world has no saved form for its bodies: the game save refuses such
// rooms before it writes anything (Run_Save.cpp), so none reaches here.
void CRoom::SaveState(IBuffer* b)
{
    Buffer_WriteString(b, m_pCaption);
    WInt(b, m_width);
    WInt(b, m_height);
    WInt(b, m_speed);
    WFlag(b, m_persistent);
    Buffer_WriteNumber(b, eBuffer_U32, m_colour);
    WFlag(b, m_showColour);
    Buffer_WriteString(b, m_pCreationCodeText);
    for (const RoomBackground& g : m_backgrounds) {
        WFlag(b, g.visible);
        WFlag(b, g.foreground);
        WInt(b, g.index);
        WFloat(b, g.x);
        WFloat(b, g.y);
        WFlag(b, g.htiled);
        WFlag(b, g.vtiled);
        WFloat(b, g.hspeed);
        WFloat(b, g.vspeed);
        WFloat(b, g.xscale);
        WFloat(b, g.yscale);
        WInt(b, g.blend);
        WFloat(b, g.alpha);
    }
    WFlag(b, m_viewsEnabled);
    for (const RoomView& v : m_views) {
        WFlag(b, v.visible);
        for (int32_t x : {v.xview, v.yview, v.wview, v.hview, v.xport, v.yport, v.wport, v.hport}) WInt(b, x);
        WFloat(b, v.angle);
        for (int32_t x : {v.hborder, v.vborder, v.hspeed, v.vspeed, v.object, v.surfaceId}) WInt(b, x);
    }
    WInt(b, int32_t(m_tiles.size()));
    for (const RoomTile& t : m_tiles) {
        WFloat(b, t.x);
        WFloat(b, t.y);
        for (int32_t x : {t.background, t.left, t.top, t.width, t.height}) WInt(b, x);
        WFloat(b, t.depth);
        WInt(b, t.id);
        WFloat(b, t.xscale);
        WFloat(b, t.yscale);
        WInt(b, t.blend);
        WFloat(b, t.alpha);
        WFlag(b, t.visible);
    }
    WInt(b, m_active.count);
    for (CInstance* i = m_active.head; i; i = i->m_pNext) i->Serialise(b);
    WInt(b, m_deactivated.count);
    for (CInstance* i = m_deactivated.head; i; i = i->m_pNext) i->Serialise(b);
}

bool CRoom::LoadState(IBuffer* b)
{
    BufferReader r{b};
    r.Text(&m_pCaption);
    m_width = r.Int();
    m_height = r.Int();
    m_speed = r.Int();
    m_persistent = r.Flag();
    m_colour = r.U32();
    m_showColour = r.Flag();
    r.Text(&m_pCreationCodeText);
    for (RoomBackground& g : m_backgrounds) {
        g.visible = r.Flag();
        g.foreground = r.Flag();
        g.index = r.Int();
        g.x = r.Float();
        g.y = r.Float();
        g.htiled = r.Flag();
        g.vtiled = r.Flag();
        g.hspeed = r.Float();
        g.vspeed = r.Float();
        g.xscale = r.Float();
        g.yscale = r.Float();
        g.blend = r.Int();
        g.alpha = r.Float();
    }
    m_viewsEnabled = r.Flag();
    for (RoomView& v : m_views) {
        v.visible = r.Flag();
        for (int32_t* x : {&v.xview, &v.yview, &v.wview, &v.hview, &v.xport, &v.yport, &v.wport, &v.hport}) *x = r.Int();
        v.angle = r.Float();
        for (int32_t* x : {&v.hborder, &v.vborder, &v.hspeed, &v.vspeed, &v.object, &v.surfaceId}) *x = r.Int();
    }
    // Tiles keep their saved ids; the tile id counter is not touched.
    const int32_t tiles = r.Count();
    m_tiles.clear();
    m_tilesInOrder = false;
    for (int32_t k = 0; r.ok && k < tiles; ++k) {
        RoomTile t{};
        t.x = r.Float();
        t.y = r.Float();
        for (int32_t* x : {&t.background, &t.left, &t.top, &t.width, &t.height}) *x = r.Int();
        t.depth = r.Float();
        t.id = r.Int();
        t.xscale = r.Float();
        t.yscale = r.Float();
        t.blend = r.Int();
        t.alpha = r.Float();
        t.visible = r.Flag();
        if (r.ok) m_tiles.push_back(t);
    }
    m_lastFoundTile = -1;
    // Instances, detached: active ones by depth, deactivated ones in their order.
    for (InstanceList* list : {&m_active, &m_deactivated}) {
        const int32_t count = r.Count();
        for (int32_t k = 0; r.ok && k < count; ++k) {
            auto* i = new CInstance(0, 0, 0, 0, false);
            if (!i->DeSerialise(b, false)) {
                delete i;
                r.ok = false;
                break;
            }
            if (list == &m_active) {
                i->i_deactivated = 0;
                InstanceList_InsertByDepth(list, i);
            } else {
                i->i_deactivated = 1;
                InstanceList_Append(list, i);
            }
        }
    }
    return r.ok;
}
