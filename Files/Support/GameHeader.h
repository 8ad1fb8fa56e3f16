// The game file's header (chunk "GEN8", also "GEN7" and "GENL"), parsed once into a native
// record: the debug flag and format version, the game and configuration names, the window
// size and information flags, the id counters, the caption, the usage flags, the Steam
// application id and the room order. Needs the file reader and the memory manager. No Linux/
// file.
//
// Which fields exist depends on the format version (byte 1 of word 0):
//   all       +4 string, +8 configuration name, +12 last instance id, +16 last tile id,
//             +20 game id, +24 16 bytes, +72, +76 16 bytes, +92 (kept, no reader)
//   below 8   room order count at +36, list from +40 (+40 is then not the game name)
//   8 and up  +40 game name, +60 window width, +64 height, +68 information flags
//   10 and up +100 caption        11 and up +104 64-bit value
//   12 and up +112 usage flags (all bits set below 12)    13 and up +120 Steam app id
// Room order: 8 and 9 at +100/+104; 10 at +104/+108; 11 at +112/+116; 12 at +120/+124; 13 at
// +124/+128. A version above 13 is read as 13. The chunk must hold every field of its version
// and the whole room order.
#pragma once

#include <cstdint>
#include <vector>

class FileImage;

// Information flags of the header.
constexpr uint32_t HEADER_FLAG_STEAM = 0x1000;   // Steam is switched on, as with "-steam"
constexpr uint32_t HEADER_FLAG_ROAMING = 0x2000; // the save area lies under the roaming folder

struct GameHeader {
    bool present = false;
    uint32_t word0 = 0;
    uint8_t debugFlag = 0;      // byte 0 (the debug_mode built-in variable)
    uint8_t version = 0;        // byte 1: the format version, as stored
    uint32_t stringOffset = 0;  // +4, a checked string offset with no reader here
    char* configName = nullptr; // +8 (owned copy; null when the offset is 0)
    char* gameName = nullptr;   // +40 (owned copy; null below version 8 or when 0)
    char* caption = nullptr;    // +100 from version 10 (owned copy), else null
    int32_t lastInstanceId = 0; // +12: new room instances continue from it
    int32_t lastTileId = 0;     // +16: new tiles continue from it
    int32_t gameId = 0;         // +20
    uint8_t field24[16] = {};
    int32_t windowWidth = 800;  // +60 from version 8
    int32_t windowHeight = 480; // +64 from version 8
    uint32_t infoFlags = 0;     // +68 from version 8
    uint32_t field72 = 0;
    uint8_t field76[16] = {};
    int64_t field92 = 0;        // sign-extended
    uint64_t value104 = 0;      // from version 11
    uint64_t usageFlags = ~uint64_t(0); // from version 12; bit 2: gamepad polling
    int32_t steamAppId = 0;     // from version 13
    std::vector<int32_t> roomOrder;

    // The version used to place fields (above 13 read as 13).
    uint8_t LayoutVersion() const { return version > 13 ? 13 : version; }
};

// The header of the game being run (filled by the code loader, read by every module).
extern GameHeader g_GameHeader;

// Parses the header chunk data [begin, end) into header (whose strings it copies). False,
// with the header left cleared, when the chunk is too short for its version, a string offset
// does not name a terminated string or the room order leaves the chunk.
bool Header_Parse(const FileImage& image, uint32_t begin, uint32_t end, GameHeader& header);
// Frees the copies and resets every field to its default.
void Header_Clear(GameHeader& header);
// The bytes a header chunk of this version must hold before its room order.
uint32_t Header_MinimumLength(uint8_t version);
