// The room table: templates, names, the room order, the ROOM chunk reader, the preparation of
// room and instance creation code, and the table operations behind the room built-ins
// (Files/Room/Room.h).
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Files/Base/Console.h"
#include "Files/Base/RealConvert.h"
#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Error.h"
#include "Files/Room/Room.h"
#include "Files/Support/FileImage.h"
#include "Files/Support/GameHeader.h"
#include "Files/World/World_Hooks.h"
#include "Files/World/World_State.h"
#include "Platform/MemoryManager.h"
#include "Platform/NameIndex.h"

namespace {
std::vector<CRoom*> g_rooms;
std::vector<char*> g_names;
NameIndex g_index; // the names of the rooms that exist
std::vector<int32_t> g_order;
std::vector<std::unique_ptr<RoomEntry>> g_entries;
int32_t g_lastTileId = 10000000;
int32_t g_lastInstanceId = 100000;

char* Copy(const char* text) { return text ? MEM_STRDUP(text) : nullptr; }

// A list {u32 count, count u32 offsets} at offset; false when malformed.
bool ReadList(const FileImage& image, uint32_t offset, std::vector<uint32_t>& out)
{
    out.clear();
    if (offset == 0) return true;
    FileCursor c(image);
    if (!c.Seek(offset)) return false;
    uint32_t count = c.U32();
    if (!c.ok() || !c.FitsCount(count, 4)) return false;
    out.resize(count);
    for (uint32_t k = 0; k < count; ++k) out[k] = c.U32();
    return c.ok();
}

// A CCode over a text copied into the entry; with byte code none (the code-table index is
// bound by Room_Prepare, once the table is filled).
CCode* MakeCode(const FileImage& image, uint32_t field, RoomEntry* entry, char** textOut, bool* ok)
{
    if (Code_Table_Present()) return nullptr;
    if (field == 0 || field == 0xFFFFFFFFu) return nullptr;
    bool good = true;
    const char* text = image.String(field, good);
    if (!good) {
        *ok = false;
        return nullptr;
    }
    char* copy = MEM_STRDUP(text ? text : "");
    if (textOut)
        *textOut = copy;
    else
        entry->texts.push_back(copy);
    return new CCode(copy, false);
}
} // namespace

RoomEntry* Room_NewEntry()
{
    g_entries.push_back(std::make_unique<RoomEntry>());
    return g_entries.back().get();
}

int32_t Room_GetLastTileId() { return g_lastTileId; }
void Room_SetLastTileId(int32_t id) { g_lastTileId = id; }
int32_t Room_GetLastInstanceId() { return g_lastInstanceId; }
void Room_SetLastInstanceId(int32_t id) { g_lastInstanceId = id; }

// The next id of a counter. A counter at the end of the range (only a damaged or hostile
// game or save puts it there) hands out its last id again rather than overflow.
static int32_t TakeId(int32_t* last)
{
    if (*last < INT32_MAX) ++*last;
    return *last;
}
int32_t Room_TakeInstanceId() { return TakeId(&g_lastInstanceId); }
int32_t Room_TakeTileId() { return TakeId(&g_lastTileId); }

void Room_InitStartState()
{
    Room_SetCurrent(-1, nullptr);
}

void Room_FreeAll()
{
    Room_FreeKept();
    for (CRoom* r : g_rooms) delete r;
    g_rooms.clear();
    for (char* n : g_names) MEM_FREE(n);
    g_names.clear();
    g_index.Clear();
    g_order.clear();
    g_entries.clear();
}

bool CRoom::LoadFromEntry(const FileImage& image, uint32_t offset, uint8_t version)
{
    FileCursor c(image);
    if (!c.Seek(offset)) return false;
    const char* name = c.StringRef();
    const char* caption = c.StringRef();
    int32_t width = c.I32(), height = c.I32(), speed = c.I32();
    uint32_t persistent = c.U32(), colour = c.U32(), showColour = c.U32(), code = c.U32();
    uint32_t viewsEnabled = c.U32();
    uint32_t backgroundList = c.U32(), viewList = c.U32(), instanceList = c.U32(), tileList = c.U32();
    uint32_t physics = 0;
    float gx = 0, gy = 0, ptm = 0;
    if (version >= 6) {
        physics = c.U32();
        c.Skip(16);
        gx = c.F32();
        gy = c.F32();
        ptm = c.F32();
    }
    if (!c.ok()) return false;
    Clear();
    RoomEntry* entry = Room_NewEntry();
    m_pEntry = entry;
    SetName(name);
    SetCaption(caption);
    m_width = width;
    m_height = height;
    m_speed = speed;
    m_persistent = persistent != 0;
    m_showColour = showColour != 0;
    m_colour = colour;
    bool ok = true;
    char* text = nullptr;
    entry->creationCode = MakeCode(image, code, entry, &text, &ok);
    if (!ok) return false;
    entry->creationIndex = Code_Table_Present() && code < 0x7FFFFFFFu ? int32_t(code) : -1;
    entry->creationText = text;
    m_pCreationCodeText = Code_Table_Present() ? MEM_STRDUP("") : (text ? MEM_STRDUP(text) : nullptr);
    m_pCreationCode = entry->creationCode;
    m_viewsEnabled = viewsEnabled != 0;
    m_physicsWorldFlag = 0;
    if (version >= 6) {
        m_physicsWorldFlag = physics != 0;
        m_gravityX = Real_TruncToInt32(gx);
        m_gravityY = Real_TruncToInt32(gy);
        m_pixelsToMetres = ptm;
        if (m_physicsWorldFlag && World_Hooks().physicsCreateWorld)
            m_pPhysicsWorld = World_Hooks().physicsCreateWorld(ptm, m_speed, float(m_gravityX), float(m_gravityY));
    }
    std::vector<uint32_t> list;
    if (!ReadList(image, backgroundList, list)) return false;
    for (size_t k = 0; k < list.size() && k < size_t(ROOM_LAYERS); ++k) {
        FileCursor b(image);
        if (!b.Seek(list[k])) return false;
        int32_t v[10];
        for (int32_t& x : v) x = b.I32();
        if (!b.ok()) return false;
        RoomBackground& bg = m_backgrounds[k];
        bg.visible = v[0] != 0;
        bg.foreground = v[1] != 0;
        bg.index = v[2];
        bg.x = float(v[3]);
        bg.y = float(v[4]);
        bg.htiled = v[5] != 0;
        bg.vtiled = v[6] != 0;
        bg.hspeed = float(v[7]);
        bg.vspeed = float(v[8]);
        bg.blend = 0xFFFFFF;
        bg.alpha = 1.0f;
        int32_t bw = 0, bh = 0;
        if (v[9] != 0 && World_BackgroundSize(bg.index, &bw, &bh)) {
            if (bw > 0) bg.xscale = float(double(m_width) / double(bw));
            if (bh > 0) bg.yscale = float(double(m_height) / double(bh));
        }
    }
    if (!ReadList(image, viewList, list)) return false;
    for (size_t k = 0; k < list.size() && k < size_t(ROOM_LAYERS); ++k) {
        FileCursor vc(image);
        if (!vc.Seek(list[k])) return false;
        int32_t v[14];
        for (int32_t& x : v) x = vc.I32();
        if (!vc.ok()) return false;
        RoomView& view = m_views[k];
        view.visible = v[0] != 0;
        view.xview = v[1];
        view.yview = v[2];
        view.wview = v[3];
        view.hview = v[4];
        view.xport = v[5];
        view.yport = v[6];
        view.wport = v[7];
        view.hport = v[8];
        view.hborder = v[9];
        view.vborder = v[10];
        view.hspeed = v[11];
        view.vspeed = v[12];
        view.object = v[13];
        view.angle = 0;
    }
    if (!ReadList(image, instanceList, list)) return false;
    entry->instances.reserve(list.size());
    for (uint32_t at : list) {
        FileCursor ic(image);
        if (!ic.Seek(at)) return false;
        RoomInstanceEntry e{};
        e.x = ic.I32();
        e.y = ic.I32();
        e.object = ic.I32();
        e.id = ic.I32();
        uint32_t codeField = ic.U32();
        e.xscale = ic.F32();
        e.yscale = ic.F32();
        e.colour = ic.U32();
        e.rotation = ic.F32();
        if (!ic.ok()) return false;
        e.code = MakeCode(image, codeField, entry, nullptr, &ok);
        if (!ok) return false;
        e.codeIndex = Code_Table_Present() && codeField < 0x7FFFFFFFu ? int32_t(codeField) : -1;
        entry->instances.push_back(e);
    }
    if (!ReadList(image, tileList, list)) return false;
    entry->tiles.reserve(list.size());
    for (uint32_t at : list) {
        FileCursor tc(image);
        if (!tc.Seek(at)) return false;
        RoomTileEntry t{};
        t.x = tc.I32();
        t.y = tc.I32();
        t.background = tc.I32();
        t.left = tc.I32();
        t.top = tc.I32();
        t.width = tc.I32();
        t.height = tc.I32();
        t.depth = tc.I32();
        t.id = tc.I32();
        t.xscale = tc.F32();
        t.yscale = tc.F32();
        t.colour = tc.U32();
        if (!tc.ok()) return false;
        entry->tiles.push_back(t);
    }
    return true;
}

bool Room_LoadChunk(const FileImage& image, uint32_t begin, uint32_t end)
{
    ChunkList chunk;
    if (!chunk.Read(image, begin, end)) return false;
    Room_FreeAll();
    g_rooms.assign(chunk.count, nullptr);
    g_names.assign(chunk.count, nullptr);
    const uint8_t version = g_GameHeader.LayoutVersion();
    for (uint32_t i = 0; i < chunk.count; ++i) {
        uint32_t at = chunk.Offset(image, i);
        if (at == 0) continue;
        auto* r = new CRoom();
        g_rooms[i] = r;
        if (!r->LoadFromEntry(image, at, version)) return false;
        g_names[i] = Copy(r->m_pName);
        g_index.Add(g_names[i], int32_t(i));
    }
    g_lastInstanceId = g_GameHeader.lastInstanceId;
    g_lastTileId = g_GameHeader.lastTileId;
    return RoomOrder_Load();
}

bool RoomOrder_Load()
{
    g_order = g_GameHeader.roomOrder;
    return true;
}

namespace {
// A room's or an instance's creation code does not compile: the text names the unit
// ("Room.NAME", "Instance.ROOM.N"). No event runs while rooms are prepared, so it is shown
// without an event's headline.
void ReportCompileError(const char* unit)
{
    const char* error = Code_Error_GetText();
    const std::string text = std::string("COMPILATION ERROR in room script ") + unit + "\n" + (error ? error : "");
    Code_Error_Show(text.c_str(), false);
}
} // namespace

bool Room_Prepare()
{
    if (Code_Table_Present()) {
        // The byte code of every creation code, bound now that the code table is filled.
        for (CRoom* room : g_rooms) {
            if (!room || !room->m_pEntry) continue;
            RoomEntry* entry = room->m_pEntry;
            if (entry->creationIndex >= 0 && !entry->creationCode) entry->creationCode = new CCode(entry->creationIndex, false);
            room->m_pCreationCode = entry->creationCode;
            for (RoomInstanceEntry& e : entry->instances)
                if (e.codeIndex >= 0 && !e.code) e.code = new CCode(e.codeIndex, false);
        }
        return true;
    }
    bool failed = false;
    char name[1024];
    for (size_t r = 0; r < g_rooms.size(); ++r) {
        CRoom* room = g_rooms[r];
        if (!room || !room->m_pEntry) continue;
        RoomEntry* entry = room->m_pEntry;
        const char* roomName = room->m_pName ? room->m_pName : "";
        if (entry->creationCode && entry->creationText && *entry->creationText && !entry->creationCode->m_compiled) {
            std::snprintf(name, sizeof name, "Room.%s", roomName);
            if (!entry->creationCode->Compile(name)) {
                ReportCompileError(name);
                return false;
            }
        }
        for (size_t n = 0; n < entry->instances.size(); ++n) {
            CCode* code = entry->instances[n].code;
            if (!code || code->m_compiled) continue;
            std::snprintf(name, sizeof name, "Instance.%s.%d", roomName, int32_t(n));
            if (!code->Compile(name)) {
                ReportCompileError(name);
                failed = true; // remembered: a later success does not hide it
                break;
            }
        }
    }
    return !failed;
}

int32_t Room_Count() { return int32_t(g_rooms.size()); }
bool Room_Exists(int32_t index) { return index >= 0 && size_t(index) < g_rooms.size() && g_rooms[size_t(index)]; }
CRoom* Room_Data(int32_t index) { return index >= 0 && size_t(index) < g_rooms.size() ? g_rooms[size_t(index)] : nullptr; }

const char* Room_GetName(int32_t index)
{
    return Room_Exists(index) && g_names[size_t(index)] ? g_names[size_t(index)] : "<undefined>";
}

int32_t Room_Find(const char* name) { return g_index.Find(name); }

int32_t Room_First() { return g_order.empty() ? -1 : g_order.front(); }
int32_t Room_Last() { return g_order.empty() ? -1 : g_order.back(); }

int32_t Room_Previous(int32_t room)
{
    if (g_order.size() < 2) return -1;
    for (size_t k = 1; k < g_order.size(); ++k)
        if (g_order[k] == room) return g_order[k - 1];
    return -1;
}

int32_t Room_Next(int32_t room)
{
    if (g_order.size() < 2) return -1;
    for (size_t k = g_order.size() - 1; k-- > 0;)
        if (g_order[k] == room) return g_order[k + 1];
    return -1;
}

namespace {
int32_t InsertRoom(CRoom* room)
{
    int32_t index = int32_t(g_names.size());
    char name[48];
    std::snprintf(name, sizeof name, "__newroom%d", index);
    room->SetName(name);
    g_names.insert(g_names.begin() + index, MEM_STRDUP(name));
    if (size_t(index) > g_rooms.size()) g_rooms.resize(size_t(index), nullptr);
    g_rooms.insert(g_rooms.begin() + index, room);
    g_index.Add(g_names[size_t(index)], index);
    return index;
}
} // namespace

int32_t Room_Add()
{
    auto* room = new CRoom();
    room->MakeNewEntry();
    return InsertRoom(room);
}

int32_t Room_Duplicate(int32_t index)
{
    if (!Room_Exists(index)) return -1;
    auto* room = new CRoom();
    room->CopyFrom(g_rooms[size_t(index)], false);
    return InsertRoom(room);
}

bool Room_Assign(int32_t destination, int32_t source)
{
    if (!Room_Exists(destination) || !Room_Exists(source) || destination == source) return false;
    auto* room = new CRoom();
    room->CopyFromDetached(g_rooms[size_t(source)]);
    room->SetName(g_names[size_t(destination)]);
    delete g_rooms[size_t(destination)];
    g_rooms[size_t(destination)] = room;
    return true;
}

void Room_Shutdown()
{
    Room_SetCurrent(-1, nullptr);
    Room_FreeAll();
}

void CRoom::MakeNewEntry()
{
    m_pEntry = Room_NewEntry();
    SetName("NewRoom");
    SetCaption("");
    m_speed = 30;
}

int32_t CRoom::EntryAddInstance(float x, float y, int32_t objectIndex)
{
    if (!m_pEntry) MakeNewEntry();
    const int32_t id = Room_TakeInstanceId();
    RoomInstanceEntry e{};
    e.x = Real_TruncToInt32(x);
    e.y = Real_TruncToInt32(y);
    e.object = objectIndex;
    e.id = id;
    e.code = nullptr;
    e.codeIndex = -1;
    e.xscale = 1.0f;
    e.yscale = 1.0f;
    e.colour = 0xFFFFFFFFu;
    e.rotation = 0;
    m_pEntry->instances.push_back(e);
    return id;
}

int32_t CRoom::EntryAddTile(int32_t background, int32_t left, int32_t top, int32_t width, int32_t height, int32_t x,
                            int32_t y, int32_t depth, float xscale, float yscale, uint32_t colour)
{
    if (!m_pEntry) MakeNewEntry();
    const int32_t id = Room_TakeTileId();
    m_pEntry->tiles.push_back(RoomTileEntry{x, y, background, left, top, width, height, depth, id, xscale, yscale, colour});
    return id;
}

void CRoom::EntryClearInstances()
{
    if (!m_pEntry) return;
    // The codes belong to the entry; instances of live rooms may still point at them, so they
    // are kept until the table is freed.
    for (RoomInstanceEntry& e : m_pEntry->instances)
        if (e.code) m_pEntry->retired.push_back(e.code);
    m_pEntry->instances.clear();
}
