// Parsing of the game file header into GameHeader.
#include "Files/Support/GameHeader.h"

#include "Files/Support/FileImage.h"
#include "Platform/MemoryManager.h"

GameHeader g_GameHeader;

namespace {

char* CopyString(const FileImage& image, uint32_t offset, bool& ok)
{
    const char* s = image.String(offset, ok);
    return s ? MEM_STRDUP(s) : nullptr;
}

// Where the room order's count lies for a layout version.
uint32_t RoomOrderAt(uint8_t v)
{
    if (v < 8) return 36;
    switch (v) {
    case 10: return 104;
    case 11: return 112;
    case 12: return 120;
    case 13: return 124;
    default: return 100; // 8 and 9
    }
}

} // namespace

uint32_t Header_MinimumLength(uint8_t version)
{
    uint8_t v = version > 13 ? 13 : version;
    if (v >= 13) return 124;
    if (v >= 12) return 120;
    if (v >= 11) return 112;
    if (v >= 10) return 104;
    return 96;
}

void Header_Clear(GameHeader& header)
{
    MEM_FREE(header.configName);
    MEM_FREE(header.gameName);
    MEM_FREE(header.caption);
    header = GameHeader();
}

bool Header_Parse(const FileImage& image, uint32_t begin, uint32_t end, GameHeader& header)
{
    Header_Clear(header);
    FileCursor c(image, begin, end);
    GameHeader h;
    h.word0 = c.U32();
    h.debugFlag = uint8_t(h.word0 & 0xFF);
    h.version = uint8_t((h.word0 >> 8) & 0xFF);
    const uint8_t v = h.LayoutVersion();
    if (!c.ok() || end - begin < Header_MinimumLength(h.version)) return false;

    auto word = [&](uint32_t at) {
        uint32_t u = 0;
        image.U32(begin + at, u);
        return u;
    };
    bool ok = true;
    h.stringOffset = word(4);
    if (h.stringOffset) image.String(h.stringOffset, ok);
    h.configName = CopyString(image, word(8), ok);
    h.lastInstanceId = int32_t(word(12));
    h.lastTileId = int32_t(word(16));
    h.gameId = int32_t(word(20));
    for (int i = 0; i < 16; ++i) image.U8(begin + 24 + i, h.field24[i]);
    if (v >= 8) {
        h.gameName = CopyString(image, word(40), ok);
        h.windowWidth = int32_t(word(60));
        h.windowHeight = int32_t(word(64));
        h.infoFlags = word(68);
    }
    h.field72 = word(72);
    for (int i = 0; i < 16; ++i) image.U8(begin + 76 + i, h.field76[i]);
    h.field92 = int64_t(int32_t(word(92)));
    if (v >= 10) h.caption = CopyString(image, word(100), ok);
    if (v >= 11) h.value104 = uint64_t(word(104)) | uint64_t(word(108)) << 32;
    if (v >= 12) h.usageFlags = uint64_t(word(112)) | uint64_t(word(116)) << 32;
    if (v >= 13) h.steamAppId = int32_t(word(120));

    // The room order: its count is bounded by the bytes of the chunk after it.
    FileCursor r(image, begin, end);
    r.Seek(begin + RoomOrderAt(v));
    uint32_t n = r.U32();
    if (!r.ok() || !r.FitsCount(n, 4)) ok = false;
    if (ok) {
        h.roomOrder.resize(n);
        for (uint32_t i = 0; i < n; ++i) h.roomOrder[i] = r.I32();
    }
    if (!ok) {
        Header_Clear(h);
        return false;
    }
    h.present = true;
    header = h;
    h.configName = h.gameName = h.caption = nullptr; // moved into header
    return true;
}
