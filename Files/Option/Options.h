// The game options: the option words of the "OPTN" chunk with their defaults, the game's
// constants (names and value texts) and the game version, and the "DEFAULT" keys of
// "options.ini" (orientations, debug, trace). Needs the file reader, the INI file, the memory
// manager, the start-up options, the window colour of the graphics layer and the script
// machine's switches (errors shown, abort on all errors, unset variables read as 0). No
// Linux/ file.
//
// "OPTN" chunk: u32 words (a word is "on" when not 0); word 35 is the constant count n, then
// n records {u32 name offset, u32 value offset} (0 = no text). The chunk must hold all 36
// words and the n records; a shorter chunk fails the load.
#pragma once

#include <cstdint>

class FileImage;
class IniFile;

struct GameOptions {
    uint8_t fullScreen = 0;        // word 0 (forced 0 by "-inawindow")
    uint8_t word1 = 0;
    uint8_t newAudioEngine = 0;    // word 2: SOND/AUDO readers and every sound operation (not reset)
    uint8_t word3 = 0;
    uint8_t cursorShown = 1;       // word 4
    int32_t word5 = 100;
    uint8_t word6 = 0;
    uint8_t word7 = 0;
    int32_t windowColour = 0xFFFFFF; // word 8, applied to the window at once
    uint8_t setDisplayMode = 0;    // word 9
    int32_t colourDepthCode = 0;   // word 10: 1 = 16 bits, 2 = 32 bits
    int32_t resolutionCode = 0;    // word 11: 1..6 = 320x240 .. 1600x1200
    int32_t frequencyCode = 0;     // word 12: 1..5 = 60 .. 120 Hz
    uint8_t word13 = 0;
    int32_t word14 = 0;
    uint8_t altEnterFullScreen = 1; // word 15
    uint8_t word16 = 1, word17 = 1, word18 = 1, word19 = 1, word20 = 1;
    int32_t word21 = 0;
    uint8_t freezeOnLostFocus = 0; // word 22
    uint8_t word23 = 1;            // when on, the first two handle words are cleared
    uint32_t handles[3] = {};      // handle words kept with the options
    uint32_t dataBlock = 0;        // word 26: checked file offset of a data block (0 = none)
    uint8_t word27 = 0;
    int32_t word28 = 255;          // 0 or 1 once read
    uint8_t word29 = 1;
    uint8_t word31 = 0;
    uint8_t abortOnAllErrors = 0;  // word 32
    uint8_t uninitialisedAsZero = 0; // word 33
    uint8_t createEventFirst = 0;  // word 34, read from format version 5 (not reset)

    // The game's constants (owned strings; an entry is null when its offset was 0).
    int32_t constantCount = 0;
    char** constantNames = nullptr;
    char** constantValues = nullptr;

    // The orientations options.ini allows (its "DEFAULT" keys; all allowed without them), handed
    // to the online services as soon as the file is read.
    uint8_t orientLandscape = 1, orientPortrait = 1, orientLandscapeFlipped = 1, orientPortraitFlipped = 1;

    int32_t versionMajor = 0;      // constant "VersionMajor"
    int32_t versionMinor = 0;      // constant "VersionMinor"
};

extern GameOptions g_Options;

// The defaults (before any chunk is read): also shows errors again and empties the constants.
void Options_SetDefaults();
// Reads the "OPTN" chunk data [begin, end); formatVersion decides whether word 34 is read.
// False for a chunk too short for its words or its constants, or a text offset that names no
// terminated string.
bool Options_LoadChunk(const FileImage& image, uint32_t begin, uint32_t end, uint8_t formatVersion);
// Applies the "DEFAULT" keys of options.ini: the allowed orientations (kept in g_Options for
// the online services), "Debug" and "Trace".
void Options_ReadIni(IniFile* ini);
// Frees the constants (shutdown, tests).
void Options_Free();
// Hands the game's constants to the constant table when it defines them (the source that
// Code_Constant_Prepare reads).
void Options_GameConstants(int32_t* count, const char* const** names, const char* const** values);
