// The game data file: finding it, reading it whole, checking its container, walking its
// chunks and handing each to the loader of the subsystem that owns it; the header record; the
// texture pages ("TPAG", "TXTR"); "options.ini" and the debug companion beside the game file.
// Needs the file reader, the file layer (Files/Support/File.h), the INI file, the options,
// the byte-code chunks (Runner_Code.h) and the loaders of the other subsystems
// (Runner_Services.h). No Linux/ file.
//
// Container (little-endian): "FORM" (or its byte-reversed form), u32 body length = file size -
// 8, then chunks back to back: 4-byte tag, u32 data length, data. A file whose magic or body
// length is wrong, a chunk whose header or data passes the end, a malformed record, offset,
// count or chain, and an unknown tag all fail the load: LoadGameData answers false and
// start-up logs "Failed to load the game".
//
// The block is kept for the whole run; nothing keeps a pointer into it across a load step.
// The byte-code binding rewrites operand words inside it, and the texture-page loader the page
// index of every page entry.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Files/Support/FileImage.h"
#include "Files/Support/GameHeader.h"

class IniFile;


struct GameFileState {
    uint8_t* block = nullptr;  // the whole game file (owned), null when it could not be read
    uint32_t size = 0;
    FileImage image;           // over block, writable
    bool containerOk = false;  // magic and body length were right
    bool broken = false;       // a chunk read before the dispatcher (Code_Load) was malformed
    std::string problem;       // why the file does not load, for a person ("" while nothing failed)
    int64_t sizePlus128 = 0;   // shown by the debug overlay
    int32_t dataFileVersion = 800; // 700 when a "GEN7" chunk is met
    char* optionsIniPath = nullptr;
    char* debugPath = nullptr;
    IniFile* ini = nullptr;    // options.ini when it was found
    uint8_t* debugBlock = nullptr; // the debug companion, whole (owned)
    uint32_t debugSize = 0;
    std::vector<int32_t> textureIds; // texture id per "TXTR" entry
    bool tpagPresent = false;
    ChunkList tpag;            // the "TPAG" entries (records of 22 bytes)
};

extern GameFileState g_GameFile;

// Finds and reads the game file (the name in g_StartupOptions), options.ini beside it and the
// debug companion. False only when there is no game file name at all (the caller then stops
// with a usage line); a file that cannot be read or is not a sound container is logged, its
// problem noted, and fails at Runner_CanLoad (LoadGameData refuses it too).
bool RunnerLoadGame();
// Whether the file read by RunnerLoadGame and Code_Load can go on to its chunks: it was read,
// its container and chunk lengths are sound and the code loader took its chunks. Otherwise
// the problem is noted. Start-up asks before it opens the window.
bool Runner_CanLoad();
// Keeps why the game file does not load (the first reason given wins).
void Runner_NoteProblem(const std::string& why);
// What start-up does once the code loader has read the header: the data-file version and the
// registration of the built-in functions (logged "InitZBLFunctions").
void Runner_HeaderRead();
// Logs "LoadGameData()" and runs the chunk dispatcher. False for a missing or malformed file.
bool LoadGameData();
// The chunk dispatcher over an image: resets every resource table, then hands each chunk to
// its loader. False for a malformed container, chunk or record, or an unknown tag.
bool Runner_ProcessChunks(FileImage& image);
// Reads a whole image as start-up does (Code_Load, then the dispatcher): the header, the code
// and every chunk. The image must stay alive while the game uses it. False when it is
// malformed. (Tools, tests and the fuzz target; start-up runs the same steps in order.)
bool Runner_LoadFromImage(FileImage& image);
// Releases everything Runner_LoadFromImage made, and whatever the game did since: the whole
// runtime goes back to its start state (Runtime_ResetAll). (Tools, tests and the fuzz target.)
void Runner_ReleaseLoaded();
// Hands the bound bodies, the companion's source and the strings to the machine's tables and
// has the machine verify every body; false (logged) when it refuses one.
bool Runner_FinishCode(const FileImage& image);
// Frees the file, the companion, the ini object, the header and the texture table.
void Runner_FreeGame();

// "options.ini" beside the game file: the path with everything from its last '/' (else '\')
// replaced by "/options.ini"; a new string, or null when the path has no separator.
char* Runner_OptionsIniPath(const char* gamePath);
// The debug companion: the extension of the file name (from its last '.', never one in a
// folder name) replaced by ".kvdebug", or ".kvdebug" appended when the name has none; a new
// string.
char* Runner_DebugCompanionPath(const char* gamePath);

// The texture chunk ("TXTR"): records {u32 flags, u32 image offset}; each image runs to the
// next image of the chunk or the chunk's end. Creates one texture per page and rewrites the
// page index of every "TPAG" entry into the low 16 bits of its texture id. A page whose
// texture cannot be made (an image that is none, or larger than a texture holds) gets no
// texture: its entries draw nothing, and the log and the standard error say which page and
// why.
bool Texture_LoadChunk(FileImage& image, uint32_t begin, uint32_t end);
// The image of every "TXTR" record as (offset, length); (0, 0) for a record without one. False
// when a record or an image offset lies outside the chunk.
bool Texture_Blobs(const FileImage& image, uint32_t begin, uint32_t end,
                   std::vector<std::pair<uint32_t, uint32_t>>& blobs, std::vector<uint32_t>& flags);
