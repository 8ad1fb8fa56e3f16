// Rooms: CRoom is both a room resource (the template, read from the ROOM chunk, holding no
// instances) and a running room (a live copy made at room start, holding the active and the
// deactivated instance lists and the tiles). Also the room table with names and the room
// order, room start and room end with persistence, the tiles and view following, and the room
// draw.
//
// Files: Room_Class.cpp (record, lists, copy), Room_Tiles.cpp (tiles, views, window fit),
// Room_Main.cpp (table, ROOM chunk, preparation), Room_Start.cpp (start, end, persistence),
// Room_Draw.cpp (drawing).
//
// Room entries: the ROOM chunk's records are parsed into RoomEntry records (the instances and
// tiles to create at room start, with their creation code). Entries are owned by the room
// table and shared by a template, its live copies and its duplicates.
//
// Needs: instances, objects and events, the run state, code units, the graphics layer (draw),
// the world's resource hooks. No Linux/ file.
#pragma once

#include <cstdint>
#include <vector>

#include "Files/Object/Instance.h"

class CCode;
class FileImage;
class IBuffer;

// Background layers and views of a room: the loader reads at most this many of each.
constexpr int32_t ROOM_LAYERS = 8;

struct RoomBackground {
    uint8_t visible = 0, foreground = 0;
    int32_t index = -1;
    float x = 0, y = 0;
    uint8_t htiled = 1, vtiled = 1;
    float hspeed = 0, vspeed = 0, xscale = 1, yscale = 1;
    int32_t blend = 0xFFFFFF;
    float alpha = 1;
};

struct RoomView {
    uint8_t visible = 0;
    int32_t xview = 0, yview = 0, wview = 640, hview = 480;
    int32_t xport = 0, yport = 0, wport = 640, hport = 480;
    float angle = 0;
    int32_t hborder = 32, vborder = 32, hspeed = -1, vspeed = -1;
    int32_t object = -1;    // followed object index, or instance id when 100000 or more
    int32_t surfaceId = -1; // set only by the record's constructor
};

struct RoomTile {
    float x, y;
    int32_t background, left, top, width, height;
    float depth;
    int32_t id;
    float xscale, yscale;
    int32_t blend;
    float alpha;
    uint8_t visible;
};

struct RoomInstanceEntry {
    int32_t x, y, object, id;
    CCode* code; // owned by the entry; null = none
    int32_t codeIndex; // byte code: the code-table entry bound by Room_Prepare; -1 = none
    float xscale, yscale;
    uint32_t colour;
    float rotation;
};

struct RoomTileEntry {
    int32_t x, y, background, left, top, width, height, depth, id;
    float xscale, yscale;
    uint32_t colour;
};

struct RoomEntry {
    RoomEntry() = default;
    ~RoomEntry();
    RoomEntry(const RoomEntry&) = delete;
    RoomEntry& operator=(const RoomEntry&) = delete;
    std::vector<RoomInstanceEntry> instances;
    std::vector<RoomTileEntry> tiles;
    CCode* creationCode = nullptr; // owned
    int32_t creationIndex = -1;    // byte code: the code-table entry bound by Room_Prepare
    char* creationText = nullptr;  // owned copy of the creation code text
    std::vector<char*> texts;      // owned copies of the instances' creation code texts
    std::vector<CCode*> retired;   // codes of cleared instance records (live instances may hold them)
};

class CRoom {
public:
    CRoom();
    ~CRoom();
    CRoom(const CRoom&) = delete;
    CRoom& operator=(const CRoom&) = delete;

    void Clear();
    // Deletes every instance of both lists (each taken out of the instance table first), the
    // physics world, the caption and the creation code text.
    void Free();
    void SetCaption(const char* text);
    void SetName(const char* text);

    // ---- Instances ----
    CInstance* AddInstance(float x, float y, int32_t objectIndex);
    void DeleteInstance(CInstance* instance);
    void RemoveMarked();
    void ApplyActivation();
    void ClearActive();
    void ClearDeactivated();
    // Fills this record from the template (null: defaults); with createFromEntry the entry's
    // instances and tiles are made (a starting room). Without it (room_duplicate) the
    // source's own instances are copied detached.
    void CopyFrom(const CRoom* source, bool createFromEntry);
    // As CopyFrom with instances, but the instances made are detached: they join no object
    // list, the instance table or the event stamps' world, and receive no events (a template
    // filled by room_assign).
    void CopyFromDetached(const CRoom* source);
    void ScrollBackgrounds();
    // The room's part of a saved game (Room_Save.cpp). A room with a physics world reports a
    // fatal error before it writes (the record is still written).
    void SaveState(IBuffer* buffer);
    // Reads a saved room into this new record: instances are made detached (in no object list
    // and not in the instance table; the caller makes the live ones join), tiles keep their
    // saved ids without moving the tile id counter, no creation code is compiled. Every count
    // is bounded by the bytes left. False when the data is cut short or malformed.
    bool LoadState(IBuffer* buffer);
    RoomBackground* GetBackground(int32_t i) { return i >= 0 && i < ROOM_LAYERS ? &m_backgrounds[i] : nullptr; }
    RoomView* GetView(int32_t i) { return i >= 0 && i < ROOM_LAYERS ? &m_views[i] : nullptr; }

    // ---- Tiles (Room_Tiles.cpp) ----
    int32_t AddTile(const RoomTile& tile);
    // Adds a tile where SortTiles would put it (after every tile of its depth or a greater
    // one); its index. Constant time plus the move when the list is known to be in order.
    int32_t AddTileInOrder(const RoomTile& tile);
    int32_t FindTile(int32_t id);
    void DeleteTile(int32_t index);
    void DeleteTilesAt(float x, float y, bool foreground);
    int32_t FindTileAt(float x, float y, bool foreground);
    void HideLayer(float depth);
    void ShowLayer(float depth);
    void DeleteLayer(float depth);
    void ShiftLayer(float depth, float dx, float dy);
    int32_t FindTileInLayer(float depth, float x, float y);
    void DeleteLayerAt(float depth, float x, float y);
    void SetLayerDepth(float depth, float newDepth);
    void ClearTiles();
    void SortTiles();

    // ---- Loading (Room_Main.cpp) ----
    bool LoadFromEntry(const FileImage& image, uint32_t offset, uint8_t version);
    void MakeNewEntry();
    int32_t EntryAddInstance(float x, float y, int32_t objectIndex);
    int32_t EntryAddTile(int32_t background, int32_t left, int32_t top, int32_t width, int32_t height, int32_t x,
                         int32_t y, int32_t depth, float xscale, float yscale, uint32_t colour);
    void EntryClearInstances();

    int32_t m_lastFoundTile = -1;
    // m_tiles is known to be in drawing order: set by SortTiles, cleared by whatever refills
    // the list or changes a depth (a stale true only makes tile_add insert by a wrong order
    // until the next drawing sorts the list again).
    bool m_tilesInOrder = false;
    char* m_pCaption = nullptr;
    int32_t m_speed = 30;
    int32_t m_width = 640, m_height = 480;
    uint8_t m_persistent = 0;
    uint32_t m_colour = 0xC0C0C0;
    uint8_t m_showColour = 1;
    RoomBackground m_backgrounds[ROOM_LAYERS];
    uint8_t m_viewsEnabled = 0;
    RoomView m_views[ROOM_LAYERS];
    char* m_pCreationCodeText = nullptr; // owned
    CCode* m_pCreationCode = nullptr;    // not owned (the entry's)
    uint8_t m_physicsWorldFlag = 0;
    int32_t m_gravityX = 0, m_gravityY = 0;
    float m_pixelsToMetres = 0;
    InstanceList m_active;
    InstanceList m_deactivated;
    RoomEntry* m_pEntry = nullptr; // not owned
    void* m_pPhysicsWorld = nullptr;
    std::vector<RoomTile> m_tiles;
    char* m_pName = nullptr;
};

// ---- Room table (Room_Main.cpp) ----------------------------------------------------------
void Room_InitStartState();
void Room_FreeAll();
bool Room_LoadChunk(const FileImage& image, uint32_t begin, uint32_t end);
bool RoomOrder_Load();
bool Room_Prepare();
int32_t Room_Count();
bool Room_Exists(int32_t index);
CRoom* Room_Data(int32_t index);
const char* Room_GetName(int32_t index);
int32_t Room_Find(const char* name);
// The first and last rooms of the room order; -1 when the order is empty.
int32_t Room_First();
int32_t Room_Last();
int32_t Room_Previous(int32_t room);
int32_t Room_Next(int32_t room);
int32_t Room_Add();
int32_t Room_Duplicate(int32_t index);
bool Room_Assign(int32_t destination, int32_t source);
void Room_Shutdown();
int32_t Room_GetLastTileId();
void Room_SetLastTileId(int32_t id);
int32_t Room_GetLastInstanceId();
void Room_SetLastInstanceId(int32_t id);
// The next instance or tile id (the counter moves on; held at the end of the range).
int32_t Room_TakeInstanceId();
int32_t Room_TakeTileId();
// Keeps an entry alive until the table is freed.
RoomEntry* Room_NewEntry();

// ---- Start, end, persistence (Room_Start.cpp) ----------------------------------------------
// Makes room (index) the current room and its active list the run's active list; (-1, null)
// for none.
void Room_SetCurrent(int32_t index, CRoom* room);
void Room_Start(int32_t room, bool gameStart);
void Room_End(bool gameEnd);
void Room_Goto(int32_t room);
void Room_FreeCarried();
// The per-room array: sized at game start, emptied (every kept copy freed) at game end.
void Room_ResetKept(int32_t count);
void Room_FreeKept();
CRoom* Room_Kept(int32_t index);
int32_t Room_KeptCount();
// A loaded game's rooms replace the per-room array whole: every room copy held so far is
// freed (its instances leave the instance table), the carried instances and the pending
// changes go, then rooms (owned from now on) take the array's place. Which room becomes
// current is the caller's.
void Room_ReplaceKept(std::vector<CRoom*>&& rooms);

// ---- Views and window (Room_Tiles.cpp) -----------------------------------------------------
void Room_UpdateViews();
void Room_FitWindowToViews();

// ---- Drawing (Room_Draw.cpp) ------------------------------------------------------------------
struct RoomRect {
    int32_t left, top, right, bottom;
};
void Room_DrawAll();
void Room_DrawInView(const RoomRect& rect);
void Room_DrawGUI(const RoomRect& rect);
// The run-state values the drawing keeps.
void* Room_CurrentViewSurface();


