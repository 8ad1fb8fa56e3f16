// CRoom: the record, its instance lists, activation, the template-to-live copy and the
// background scroll (Files/Room/Room.h).
#include <cstring>

#include "Files/Code/Code_Code.h"
#include "Files/Object/Instance_Pending.h"
#include "Files/Room/Room.h"
#include "Files/World/World_Hooks.h"
#include "Files/World/World_State.h"
#include "Platform/MemoryManager.h"

RoomEntry::~RoomEntry()
{
    for (RoomInstanceEntry& e : instances) delete e.code;
    delete creationCode;
    MEM_FREE(creationText);
    for (char* t : texts) MEM_FREE(t);
    for (CCode* c : retired) delete c;
}

CRoom::CRoom() { Clear(); }

CRoom::~CRoom()
{
    Free();
    MEM_FREE(m_pName);
}

void CRoom::Clear()
{
    m_pEntry = nullptr;
    MEM_FREE(m_pCaption);
    m_pCaption = nullptr;
    m_speed = 30;
    m_width = 640;
    m_height = 480;
    m_persistent = 0;
    m_colour = 0xC0C0C0;
    m_showColour = 1;
    for (RoomBackground& b : m_backgrounds) b = RoomBackground();
    m_viewsEnabled = 0;
    for (RoomView& v : m_views) {
        int32_t surface = v.surfaceId;
        v = RoomView();
        v.surfaceId = surface;
    }
    MEM_FREE(m_pCreationCodeText);
    m_pCreationCodeText = nullptr;
    m_pCreationCode = nullptr;
    m_physicsWorldFlag = 0;
    ClearActive();
    ClearDeactivated();
    m_lastFoundTile = -1;
    m_tiles.clear();
    m_tiles.shrink_to_fit();
}

void CRoom::Free()
{
    if (m_pPhysicsWorld && World_Hooks().physicsDeleteWorld) World_Hooks().physicsDeleteWorld(m_pPhysicsWorld);
    m_pPhysicsWorld = nullptr;
    if (Run_GetActiveList() == &m_active) Run_SetActiveList(nullptr);
    Clear();
}

void CRoom::SetCaption(const char* text)
{
    if (!text) {
        MEM_FREE(m_pCaption);
        m_pCaption = nullptr;
        return;
    }
    size_t n = std::strlen(text) + 1;
    if (MemoryManager::Reuse(m_pCaption, uint32_t(n))) {
        std::memmove(m_pCaption, text, n);
        return;
    }
    char* copy = static_cast<char*>(MEM_ALLOC(n));
    std::memcpy(copy, text, n);
    MEM_FREE(m_pCaption);
    m_pCaption = copy;
}

void CRoom::SetName(const char* text)
{
    MEM_FREE(m_pName);
    m_pName = text ? MEM_STRDUP(text) : nullptr;
}

// =============================================================================================
// Instances
// =============================================================================================

CInstance* CRoom::AddInstance(float x, float y, int32_t objectIndex)
{
    const int32_t id = Room_TakeInstanceId();
    auto* i = new CInstance(x, y, id, objectIndex, true);
    i->CreatePhysicsBody(m_pPhysicsWorld);
    InstanceList_InsertByDepth(&m_active, i);
    InstanceHash_Add(i);
    return i;
}

void CRoom::DeleteInstance(CInstance* instance)
{
    InstanceHash_Remove(instance);
    InstanceList_Unlink(instance->i_deactivated ? &m_deactivated : &m_active, instance);
    delete instance;
}

void CRoom::RemoveMarked()
{
    for (CInstance* i = m_active.head; i;) {
        CInstance* next = i->m_pNext;
        if (i->i_marked) DeleteInstance(i);
        i = next;
    }
}

void CRoom::ApplyActivation()
{
    for (CInstance* i = m_deactivated.head; i;) {
        CInstance* next = i->m_pNext;
        if (!i->i_deactivated) {
            InstanceList_Unlink(&m_deactivated, i);
            InstanceList_InsertByDepth(&m_active, i);
            if (i->m_pObject) i->m_pObject->AddInstance(i);
        }
        i = next;
    }
    for (CInstance* i = m_active.head; i;) {
        CInstance* next = i->m_pNext;
        if (i->i_deactivated) {
            InstanceList_Unlink(&m_active, i);
            InstanceList_Append(&m_deactivated, i);
            i->LeaveObjectLists();
        }
        i = next;
    }
}

namespace {
void DeleteList(InstanceList* list)
{
    for (CInstance* i = list->head; i;) {
        CInstance* next = i->m_pNext;
        InstanceHash_Remove(i);
        i->m_pNext = i->m_pPrev = nullptr;
        delete i;
        i = next;
    }
    list->head = list->tail = nullptr;
    list->count = 0;
}
} // namespace

void CRoom::ClearActive() { DeleteList(&m_active); }
void CRoom::ClearDeactivated() { DeleteList(&m_deactivated); }

void CRoom::ScrollBackgrounds()
{
    for (RoomBackground& b : m_backgrounds) {
        b.x = float(double(b.x) + double(b.hspeed));
        b.y = float(double(b.y) + double(b.vspeed));
    }
}

// =============================================================================================
// Copy
// =============================================================================================

namespace {
void CopySettings(CRoom* to, const CRoom* from)
{
    MEM_FREE(to->m_pCaption);
    to->m_pCaption = from->m_pCaption ? MEM_STRDUP(from->m_pCaption) : nullptr;
    MEM_FREE(to->m_pCreationCodeText);
    to->m_pCreationCodeText = from->m_pCreationCodeText ? MEM_STRDUP(from->m_pCreationCodeText) : nullptr;
    to->m_width = from->m_width;
    to->m_height = from->m_height;
    to->m_speed = from->m_speed;
    to->m_persistent = from->m_persistent;
    to->m_colour = from->m_colour;
    to->m_showColour = from->m_showColour;
    to->m_pCreationCode = from->m_pCreationCode;
    to->m_physicsWorldFlag = from->m_physicsWorldFlag;
    to->m_gravityX = from->m_gravityX;
    to->m_gravityY = from->m_gravityY;
    to->m_pixelsToMetres = from->m_pixelsToMetres;
    for (int32_t k = 0; k < 8; ++k) {
        to->m_backgrounds[k] = from->m_backgrounds[k];
        int32_t surface = to->m_views[k].surfaceId;
        to->m_views[k] = from->m_views[k];
        to->m_views[k].surfaceId = surface;
    }
    to->m_viewsEnabled = from->m_viewsEnabled;
    if (from->m_pPhysicsWorld && World_Hooks().physicsCopyWorld)
        to->m_pPhysicsWorld = World_Hooks().physicsCopyWorld(from->m_pPhysicsWorld);
    to->m_pEntry = from->m_pEntry;
}

void MakeEntryTiles(CRoom* room, const RoomEntry* entry)
{
    room->m_tiles.clear();
    room->m_tilesInOrder = false;
    room->m_tiles.reserve(entry->tiles.size());
    for (const RoomTileEntry& t : entry->tiles) {
        RoomTile tile{};
        tile.x = float(t.x);
        tile.y = float(t.y);
        tile.background = t.background;
        tile.left = t.left;
        tile.top = t.top;
        tile.width = t.width;
        tile.height = t.height;
        tile.depth = float(t.depth);
        tile.id = t.id;
        tile.xscale = t.xscale;
        tile.yscale = t.yscale;
        tile.blend = int32_t(t.colour & 0xFFFFFF);
        tile.alpha = float(double(t.colour >> 24) / 255.0);
        tile.visible = 1;
        room->m_tiles.push_back(tile);
    }
}

// One instance of an entry record: placed, scaled, tinted, rotated.
CInstance* MakeEntryInstance(const RoomInstanceEntry& e, bool join)
{
    auto* i = new CInstance(float(e.x), float(e.y), e.id, e.object, join);
    i->m_pCreationCode = e.code;
    i->SetImageXScale(e.xscale);
    i->SetImageYScale(e.yscale);
    i->i_imageblend = e.colour & 0xFFFFFF;
    i->i_imagealpha = float(double(e.colour >> 24) / 255.0);
    i->SetImageAngle(e.rotation);
    return i;
}
} // namespace

void CRoom::CopyFrom(const CRoom* source, bool createFromEntry)
{
    Clear();
    if (!source) return;
    CopySettings(this, source);
    bool fromEntry = createFromEntry && m_pEntry;
    if (fromEntry) {
        for (const RoomInstanceEntry& e : m_pEntry->instances) {
            if (e.object < 0) continue;
            CInstance* i = MakeEntryInstance(e, true);
            i->CreatePhysicsBody(m_pPhysicsWorld);
            InstanceList_InsertByDepth(&m_active, i);
            InstanceHash_Add(i);
        }
        MakeEntryTiles(this, m_pEntry);
    } else {
        m_tiles = source->m_tiles;
        m_tilesInOrder = false;
    }
    // A template's own instances (room_assign) are made from the same entry at room start;
    // they are copied only into a room that did not make its instances from the entry. A
    // duplicated template (createFromEntry clear) gets detached copies, as its source's are:
    // only a starting room's instances join the objects' lists and the instance table.
    if (!fromEntry) {
        const bool live = createFromEntry;
        for (CInstance* s = source->m_active.head; s; s = s->m_pNext) {
            auto* i = new CInstance(0, 0, 0, -1, false);
            i->Assign(s, live);
            InstanceList_InsertByDepth(&m_active, i);
            if (live) InstanceHash_Add(i);
        }
        for (CInstance* s = source->m_deactivated.head; s; s = s->m_pNext) {
            auto* i = new CInstance(0, 0, 0, -1, false);
            i->Assign(s, false);
            InstanceList_Append(&m_deactivated, i);
            if (live) InstanceHash_Add(i);
        }
    }
}

void CRoom::CopyFromDetached(const CRoom* source)
{
    Clear();
    if (!source) return;
    CopySettings(this, source);
    if (!m_pEntry) {
        m_tiles = source->m_tiles;
        m_tilesInOrder = false;
        return;
    }
    for (const RoomInstanceEntry& e : m_pEntry->instances) {
        if (e.object < 0) continue;
        CInstance* i = MakeEntryInstance(e, false);
        InstanceList_InsertByDepth(&m_active, i);
    }
    MakeEntryTiles(this, m_pEntry);
}
