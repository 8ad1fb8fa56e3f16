// The "OPTN" chunk reader, the option defaults and the options.ini reader.
#include "Files/Option/Options.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "Files/Code/Code_Error.h"
#include "Files/Code/Variable_List.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/Support/CommandLine.h"
#include "Files/Support/FileImage.h"
#include "Files/Support/IniFile.h"
#include "Platform/MemoryManager.h"

GameOptions g_Options;

namespace {

constexpr uint32_t kOptionWords = 36; // words 0..35; the constant records follow

void FreeConstants()
{
    for (int32_t i = 0; i < g_Options.constantCount; ++i) {
        if (g_Options.constantNames) MEM_FREE(g_Options.constantNames[i]);
        if (g_Options.constantValues) MEM_FREE(g_Options.constantValues[i]);
    }
    MEM_FREE(g_Options.constantNames);
    MEM_FREE(g_Options.constantValues);
    g_Options.constantNames = g_Options.constantValues = nullptr;
    g_Options.constantCount = 0;
}

// Stores a copy of text in slot (freeing what was there); null text leaves the slot null.
void StoreText(char*& slot, const char* text)
{
    MEM_FREE(slot);
    slot = text ? MEM_STRDUP(text) : nullptr;
}

// The integer of a text as atoi reads it (leading blanks, sign, digits), saturated to 32 bits
// instead of overflowing.
int32_t TextToInt(const char* text)
{
    if (!text) return 0;
    long long v = std::strtoll(text, nullptr, 10);
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return int32_t(v);
}

} // namespace

void Options_Free() { FreeConstants(); }

void Options_GameConstants(int32_t* count, const char* const** names, const char* const** values)
{
    *count = g_Options.constantCount;
    *names = g_Options.constantNames;
    *values = g_Options.constantValues;
}

void Options_SetDefaults()
{
    GameOptions keep = g_Options;
    FreeConstants();
    g_Options = GameOptions();
    g_Options.newAudioEngine = keep.newAudioEngine;
    g_Options.createEventFirst = keep.createEventFirst;
    g_StartupOptions.errorsShown = 1; // the flag the error reporter reads
    Code_Error_SetAbortOnAll(false);
    Variable_SetUnsetReadsZero(false);
}

bool Options_LoadChunk(const FileImage& image, uint32_t begin, uint32_t end, uint8_t formatVersion)
{
    FileCursor c(image, begin, end);
    if (!c.FitsCount(kOptionWords, 4)) return false;
    uint32_t w[kOptionWords];
    for (uint32_t i = 0; i < kOptionWords; ++i) w[i] = c.U32();
    const uint32_t n = w[35];
    if (!c.ok() || !c.FitsCount(n, 8) || n > uint32_t(INT32_MAX / 8)) return false;
    if (w[26] != 0 && w[26] >= image.Size()) return false;
    // Every text must be a terminated string before anything is stored.
    for (uint32_t i = 0; i < 2 * n; ++i) {
        uint32_t o = 0;
        image.U32(c.Pos() + 4 * i, o);
        bool ok = true;
        if (o) image.String(o, ok);
        if (!ok) return false;
    }

    GameOptions& o = g_Options;
    auto on = [&](int i) { return uint8_t(w[i] != 0); };
    o.fullScreen = on(0);
    if (g_StartupOptions.inAWindow) o.fullScreen = 0;
    o.word1 = on(1);
    o.newAudioEngine = on(2);
    o.word3 = on(3);
    o.cursorShown = on(4);
    o.word5 = int32_t(w[5]);
    o.word6 = on(6);
    o.word7 = on(7);
    o.windowColour = int32_t(w[8]);
    GR_Window_SetColour(uint32_t(o.windowColour));
    o.setDisplayMode = on(9);
    o.colourDepthCode = int32_t(w[10]);
    o.resolutionCode = int32_t(w[11]);
    o.frequencyCode = int32_t(w[12]);
    o.word13 = on(13);
    o.word14 = int32_t(w[14]);
    o.altEnterFullScreen = on(15);
    o.word16 = on(16);
    o.word17 = on(17);
    o.word18 = on(18);
    o.word19 = on(19);
    o.word20 = on(20);
    o.word21 = int32_t(w[21]);
    o.freezeOnLostFocus = on(22);
    o.word23 = on(23);
    if (o.word23) o.handles[0] = o.handles[1] = 0;
    o.handles[2] = 0;
    o.dataBlock = w[26];
    o.word27 = on(27);
    o.word28 = on(28);
    o.word29 = on(29);
    o.word31 = on(31);
    o.abortOnAllErrors = on(32);
    Code_Error_SetAbortOnAll(o.abortOnAllErrors != 0);
    o.uninitialisedAsZero = on(33);
    Variable_SetUnsetReadsZero(o.uninitialisedAsZero != 0);
    if (formatVersion >= 5) o.createEventFirst = on(34);

    // Constants: both arrays resized to n (kept entries keep their texts, new ones are null).
    const int32_t old = o.constantCount;
    for (int32_t i = int32_t(n); i < old; ++i) {
        MEM_FREE(o.constantNames[i]);
        MEM_FREE(o.constantValues[i]);
    }
    if (n == 0) {
        MEM_FREE(o.constantNames);
        MEM_FREE(o.constantValues);
        o.constantNames = o.constantValues = nullptr;
    } else {
        o.constantNames = static_cast<char**>(MEM_REALLOC(o.constantNames, n * sizeof(char*)));
        o.constantValues = static_cast<char**>(MEM_REALLOC(o.constantValues, n * sizeof(char*)));
        for (uint32_t i = uint32_t(old < 0 ? 0 : old); i < n; ++i) o.constantNames[i] = o.constantValues[i] = nullptr;
    }
    o.constantCount = int32_t(n);
    for (uint32_t i = 0; i < n; ++i) {
        bool ok = true;
        const char* name = image.String(c.U32(), ok);
        const char* value = image.String(c.U32(), ok);
        StoreText(o.constantNames[i], name);
        StoreText(o.constantValues[i], value);
        if (name && std::strcmp(name, "VersionMajor") == 0) o.versionMajor = TextToInt(value);
        if (name && std::strcmp(name, "VersionMinor") == 0) o.versionMinor = TextToInt(value);
    }
    return true;
}

void Options_ReadIni(IniFile* ini)
{
    if (!ini) return;
    auto allowed = [&](const char* key) {
        const char* v = ini->ReadString("DEFAULT", key, nullptr);
        return v == nullptr || TextToInt(v) != 0;
    };
    g_Options.orientLandscape = allowed("OrientLandscape");
    g_Options.orientPortrait = allowed("OrientPortrait");
    g_Options.orientLandscapeFlipped = allowed("OrientLandscapeFlipped");
    g_Options.orientPortraitFlipped = allowed("OrientPortraitFlipped");
    if (const char* v = ini->ReadString("DEFAULT", "Debug", nullptr)) {
        g_StartupOptions.debugMode = TextToInt(v) != 0;
        if (g_StartupOptions.debugMode) {
            g_StartupOptions.debugFormMode = 2;
            g_StartupOptions.physicsDebugMessages = 1; // read when a room makes its physics world
        }
    }
    if (const char* v = ini->ReadString("DEFAULT", "Trace", nullptr)) g_StartupOptions.trace = TextToInt(v) != 0;
}
