// Game save and load: the whole running state (the run-state globals, the global variables,
// every room copy of the per-room array with its instances) written into a binary buffer or a
// file, and read back.
//
// Saving happens at once. Loading is queued and performed at the start of the next step
// (Run_Step), before any event, so that no event runs while rooms and instances are replaced.
//
// Saved-state format (ORDER: every saved game depends on it; all through the buffer's typed
// entries, s32 / f64 / string with the null marker "\x04"):
//   globals: s32 version 850, game_id, current room index, room-switch code, transition_kind,
//            score, show_score, caption-set flag; string caption_score; s32 lives, show_lives;
//            string caption_lives; f64 health; s32 show_health; string caption_health; s32
//            cursor_sprite, step counter, draw-enabled flag;
//   the global variables (Variable_Global_Serialise);
//   rooms:   s32 length of the per-room array, last instance id, last tile id; per slot s32 1
//            and the room's record (CRoom::SaveState), or s32 0.
//
// A load is all or nothing: everything is read aside first, with every count and length
// bounded by the bytes left, and the running state is replaced only when the whole state was
// read, its version is 850 and its current room is among its rooms. A refused load leaves the
// game as it was. After a load only the current room's active instances are live (in their
// objects' lists and the instance table; its deactivated ones in the table only), as after a
// room start; kept rooms hold their instances detached until they are visited again.
//
// Needs: the run state, the rooms and the per-room array, instances, the global variables, the
// buffer table, the save area. No Linux/ file.
#pragma once

#include <cstdint>

class IBuffer;

constexpr int32_t kSaveGameVersion = 850;

// game_save_buffer: false when the index names no buffer, or when the buffer cannot grow and
// the state does not fit it from its position (a wrap buffer: the state is longer than it; a
// fast buffer holds bytes only), the buffer then unchanged; else the state is written at the buffer's position.
bool Run_SaveGameToBuffer(int32_t bufferIndex);
// game_save: the state into a new buffer, the buffer's used bytes into the file (mapped into
// the save area). False when the file could not be written.
bool Run_SaveGame(const char* fileName);
// game_load_buffer: queues a load from that buffer (looked up again when the load is made).
// False, with a warning, when a file load is already queued or the index names no buffer.
bool Run_QueueLoadGame(int32_t bufferIndex);
// game_load: the file (save area first, then the program folder) read into a temporary buffer
// that the queue owns, then queued. A file that does not open queues an empty buffer, which
// the load then refuses. False when the queue refused it (the buffer is then freed).
bool Run_LoadGame(const char* fileName);
// The start of every step: performs the queued load, if any; true when a load was made.
bool Run_PerformQueuedLoad();
// The load file of the room-switch code -300 (stored by whoever sets that code).
void Run_SetLoadFileName(const char* fileName);
const char* Run_LoadFileName();
// Drops a queued load and frees the queue's temporary buffer (game end, shutdown).
void Run_ClearLoadQueue();

// The blocks on a buffer (tests, the fuzz target).
void Run_SaveGlobals(IBuffer* buffer);
void Run_SaveRooms(IBuffer* buffer);
// Reads a whole saved state from the buffer's position and, when all of it was good, makes it
// the running state. False (nothing changed, the reason logged) otherwise.
bool Run_LoadGameFromBuffer(IBuffer* buffer);
