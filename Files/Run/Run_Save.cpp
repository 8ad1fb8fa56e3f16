// Game save and load (Files/Run/Run_Save.h).
//
// [SECTION] Saving        the three blocks
// [SECTION] Reading aside the staged state: everything read and checked before any change
// [SECTION] Committing    the staged state becomes the running state
// [SECTION] The queue     game_load, game_load_buffer and the load at the start of a step
#include <string>
#include <utility>
#include <vector>

#include "Files/Base/Console.h"
#include "Files/Base/RealConvert.h"
#include "Files/Buffer/BufferReader.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Object/Instance.h"
#include "Files/Room/Room.h"
#include "Files/Run/Run_Save.h"
#include "Files/Support/GameHeader.h"
#include "Files/Support/LoadSave.h"
#include "Files/World/World_State.h"
#include "Platform/MemoryManager.h"

namespace {

// The queue: the buffer index of the pending load (-1 none) and the temporary buffer that a
// file load made (-1 none). Indexes, not pointers: a script may free a buffer meanwhile.
int32_t g_pendingIndex = -1;
int32_t g_temporaryIndex = -1;
std::string g_loadFileName;

void WInt(IBuffer* b, int32_t v) { Buffer_WriteNumber(b, eBuffer_S32, v); }
void WFlag(IBuffer* b, uint8_t v) { Buffer_WriteNumber(b, eBuffer_S32, v ? 1 : 0); }

} // namespace

// [SECTION] Saving

void Run_SaveGlobals(IBuffer* b)
{
    const RunState& st = Run_State();
    WInt(b, kSaveGameVersion);
    WInt(b, g_GameHeader.gameId);
    WInt(b, Run_CurrentRoomIndex());
    WInt(b, st.roomSwitch);
    WInt(b, st.transitionKind);
    WInt(b, st.score);
    WFlag(b, st.showScore);
    WFlag(b, st.captionSet);
    Buffer_WriteString(b, st.captionScore);
    WInt(b, st.lives);
    WFlag(b, st.showLives);
    Buffer_WriteString(b, st.captionLives);
    Buffer_WriteNumber(b, eBuffer_F64, st.health);
    WFlag(b, st.showHealth);
    Buffer_WriteString(b, st.captionHealth);
    WInt(b, st.cursorSprite);
    WInt(b, st.stepCounter);
    WFlag(b, st.drawEnabled);
}

void Run_SaveRooms(IBuffer* b)
{
    const int32_t count = Room_KeptCount();
    WInt(b, count);
    WInt(b, Room_GetLastInstanceId());
    WInt(b, Room_GetLastTileId());
    for (int32_t k = 0; k < count; ++k) {
        CRoom* room = Room_Kept(k);
        WInt(b, room ? 1 : 0);
        if (room) room->SaveState(b);
    }
}

namespace {
void WriteState(IBuffer* b)
{
    Run_SaveGlobals(b);
    Variable_Global_Serialise(b);
    Run_SaveRooms(b);
}

void SaveAll(IBuffer* b)
{
    Console_Output("#! GAME_SAVE\n");
    WriteState(b);
}

// Whether the state fits a buffer that cannot grow: it is written first into a growing buffer
// of the same size and alignment from the same place (a wrap buffer: from 0), which must not
// have grown. A buffer of bytes only (type fast) holds no saved game.
bool StateFits(IBuffer* b)
{
    if (b->IsGrow()) return true;
    if (b->Type() == eBuffer_Fast) return false;
    Buffer_Standard scratch(b->Size() > 0 ? b->Size() : 1, eBuffer_Grow, b->Alignment());
    const int32_t size = scratch.Size();
    scratch.Seek(eSeek_Start, b->IsWrap() ? 0 : b->Tell());
    WriteState(&scratch);
    return scratch.Size() == size && size <= b->Size();
}

// A room with a physics world cannot be saved (its bodies have no saved form). The save is
// refused before anything is written, so no file or buffer is left holding a world that would
// load back without them, and the caller hears that it failed.
bool RoomsCanBeSaved()
{
    for (int32_t k = 0; k < Room_KeptCount(); ++k) {
        CRoom* room = Room_Kept(k);
        if (room && room->m_physicsWorldFlag) {
            Code_Error_Report("ERROR: game_save unavailable for rooms using physics", true);
            return false;
        }
    }
    return true;
}
} // namespace

bool Run_SaveGameToBuffer(int32_t bufferIndex)
{
    IBuffer* b = Buffer_Get(bufferIndex);
    if (!b || !RoomsCanBeSaved()) return false;
    if (!StateFits(b)) {
        Console_Output("game_save_buffer: the saved game does not fit buffer %d\n", bufferIndex);
        return false;
    }
    SaveAll(b);
    return true;
}

bool Run_SaveGame(const char* fileName)
{
    if (!RoomsCanBeSaved()) return false;
    const int32_t index = Buffer_Create(0x20000, eBuffer_Grow, 1);
    IBuffer* b = Buffer_Get(index);
    if (!b) return false;
    SaveAll(b);
    const bool ok = LoadSave_WriteSaveFile(fileName ? fileName : "", b->Data(), b->Tell());
    if (!ok) Console_Output("game_save: could not write \"%s\"\n", fileName ? fileName : "");
    Buffer_Free(index);
    return ok;
}

// [SECTION] Reading aside

namespace {

// Everything a saved game holds, read but not yet applied.
struct Staged {
    int32_t currentRoom = -1, roomSwitch = ROOM_STAY, transitionKind = 0, score = 0, lives = -1;
    uint8_t showScore = 0, captionSet = 0, showLives = 0, showHealth = 0, drawEnabled = 1;
    char* captionScore = nullptr; // owned
    char* captionLives = nullptr;
    char* captionHealth = nullptr;
    double health = 0;
    int32_t cursorSprite = -1, stepCounter = 0;
    SavedGlobals variables;
    int32_t lastInstanceId = 0, lastTileId = 0;
    std::vector<CRoom*> rooms; // owned until committed

    Staged() = default;
    Staged(const Staged&) = delete;
    Staged& operator=(const Staged&) = delete;
    ~Staged()
    {
        MEM_FREE(captionScore);
        MEM_FREE(captionLives);
        MEM_FREE(captionHealth);
        Variable_Global_FreeSaved(&variables);
        for (CRoom* r : rooms) delete r;
    }
};

// Why a load was refused (null: it was not).
const char* ReadGlobals(IBuffer* b, Staged* s)
{
    BufferReader r{b};
    const int32_t version = r.Int();
    if (!r.ok) return "the saved data is empty";
    if (version != kSaveGameVersion) return "the saved data is of another version";
    r.Int(); // game_id: the running game's own stays
    s->currentRoom = r.Int();
    s->roomSwitch = r.Int();
    s->transitionKind = r.Int();
    s->score = r.Int();
    s->showScore = r.Flag();
    s->captionSet = r.Flag();
    r.Text(&s->captionScore);
    s->lives = r.Int();
    s->showLives = r.Flag();
    r.Text(&s->captionLives);
    s->health = r.Number(eBuffer_F64);
    s->showHealth = r.Flag();
    r.Text(&s->captionHealth);
    s->cursorSprite = r.Int();
    s->stepCounter = r.Int();
    s->drawEnabled = r.Flag();
    return r.ok ? nullptr : "the globals are cut short";
}

// The saved room change is carried out after the load: it must be no change, one of the
// game's own codes, or a room that this game has or that the saved game keeps. Anything else
// would start a room that nothing describes (a huge number would size the room array to it).
bool SwitchIsSound(const Staged& s)
{
    const int32_t code = s.roomSwitch;
    if (code == ROOM_STAY || code == ROOM_ENDGAME || code == ROOM_RESTARTGAME || code == ROOM_LOADGAME ||
        code == ROOM_ABORTGAME)
        return true;
    if (code < 0) return false;
    return Room_Exists(code) || (size_t(code) < s.rooms.size() && s.rooms[size_t(code)]);
}

const char* ReadRooms(IBuffer* b, Staged* s)
{
    BufferReader r{b};
    const double count = r.Number(eBuffer_S32);
    s->lastInstanceId = r.Int();
    s->lastTileId = r.Int();
    if (!r.ok || !(count >= 0 && count <= 2147483647.0)) return "the room count is damaged";
    // Slots are made as their presence flags are read: a count the data cannot back makes
    // nothing for it.
    for (int32_t k = 0; k < int32_t(count); ++k) {
        const int32_t present = r.Int();
        if (!r.ok) return "the rooms are cut short";
        s->rooms.push_back(present ? new CRoom() : nullptr);
        if (present && !s->rooms.back()->LoadState(b)) return "a room is damaged";
    }
    const int32_t current = s->currentRoom;
    if (current < 0 || size_t(current) >= s->rooms.size() || !s->rooms[size_t(current)])
        return "the saved game has no current room";
    if (!SwitchIsSound(*s)) return "the saved room change names no room";
    return nullptr;
}

// [SECTION] Committing

// The highest id of the staged instances: the id counter never falls below it, so new
// instances cannot take a loaded one's id.
int32_t HighestId(const Staged& s)
{
    int32_t high = s.lastInstanceId;
    for (CRoom* room : s.rooms) {
        if (!room) continue;
        for (InstanceList* list : {&room->m_active, &room->m_deactivated})
            for (CInstance* i = list->head; i; i = i->m_pNext)
                if (i->i_id > high) high = i->i_id;
    }
    return high;
}

void Commit(Staged* s)
{
    RunState& st = Run_State();
    const int32_t current = s->currentRoom;
    CRoom* room = s->rooms[size_t(current)];
    Room_SetLastInstanceId(HighestId(*s));
    Room_SetLastTileId(s->lastTileId);
    Room_ReplaceKept(std::move(s->rooms));
    s->rooms.clear();

    st.roomSwitch = s->roomSwitch;
    st.transitionKind = s->transitionKind;
    st.score = s->score;
    st.showScore = s->showScore;
    st.captionSet = s->captionSet;
    st.lives = s->lives;
    st.showLives = s->showLives;
    st.health = s->health;
    st.showHealth = s->showHealth;
    st.cursorSprite = s->cursorSprite;
    st.stepCounter = s->stepCounter;
    st.drawEnabled = s->drawEnabled;
    std::swap(st.captionScore, s->captionScore);
    std::swap(st.captionLives, s->captionLives);
    std::swap(st.captionHealth, s->captionHealth);
    Variable_Global_CommitSaved(&s->variables);

    // The current room's instances become live, as after a room start.
    Room_SetCurrent(current, room);
    for (CInstance* i = room->m_active.head; i; i = i->m_pNext) {
        if (i->m_pObject) i->m_pObject->AddInstance(i);
        if (!Instance_Find(i->i_id)) InstanceHash_Add(i);
    }
    for (CInstance* i = room->m_deactivated.head; i; i = i->m_pNext)
        if (!Instance_Find(i->i_id)) InstanceHash_Add(i);
    Room_FitWindowToViews();
}

} // namespace

bool Run_LoadGameFromBuffer(IBuffer* b)
{
    Staged s;
    const char* why = ReadGlobals(b, &s);
    if (!why && !Variable_Global_ReadSaved(b, &s.variables)) why = "the global variables are damaged";
    if (!why) why = ReadRooms(b, &s);
    if (why) {
        Console_Output("Load game refused: %s; the game goes on as it was\n", why);
        return false;
    }
    Commit(&s);
    return true;
}

// [SECTION] The queue

bool Run_QueueLoadGame(int32_t bufferIndex)
{
    if (g_temporaryIndex >= 0) {
        Console_Output("WARNING: Load game being ignored due to load game already queued\n");
        return false;
    }
    if (!Buffer_Get(bufferIndex)) {
        Console_Output("WARNING: No buffer available for %d\n", bufferIndex);
        return false;
    }
    g_pendingIndex = bufferIndex;
    return true;
}

bool Run_LoadGame(const char* fileName)
{
    const int32_t index = Buffer_Create(0x20000, eBuffer_Grow, 1);
    IBuffer* b = Buffer_Get(index);
    if (!b) return false;
    int32_t size = 0;
    if (uint8_t* data = LoadSave_ReadGameFile(fileName ? fileName : "", &size)) {
        if (size > 0) Buffer_CopyMemory(b, data, size);
        MEM_FREE(data);
    }
    if (!Run_QueueLoadGame(index)) {
        Buffer_Free(index);
        return false;
    }
    g_temporaryIndex = index;
    return true;
}

bool Run_PerformQueuedLoad()
{
    if (g_pendingIndex < 0) return false;
    const int32_t index = g_pendingIndex;
    g_pendingIndex = -1;
    Console_Output("#! GAME_LOAD\n");
    bool ok = false;
    if (IBuffer* b = Buffer_Get(index)) ok = Run_LoadGameFromBuffer(b);
    else Console_Output("WARNING: No buffer available for %d\n", index);
    if (g_temporaryIndex >= 0) {
        Buffer_Free(g_temporaryIndex);
        g_temporaryIndex = -1;
    }
    return ok;
}

void Run_SetLoadFileName(const char* fileName) { g_loadFileName = fileName ? fileName : ""; }
const char* Run_LoadFileName() { return g_loadFileName.c_str(); }

void Run_ClearLoadQueue()
{
    g_pendingIndex = -1;
    if (g_temporaryIndex >= 0) Buffer_Free(g_temporaryIndex);
    g_temporaryIndex = -1;
}
