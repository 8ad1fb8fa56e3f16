// The high-score table: the ten best scores of the game, kept in "hiscore.dat" in the save
// area between runs, and the settings of its display (stored for the display; the show
// built-ins show no table on this platform).
//
// File "hiscore.dat" (little-endian): "HISC", a u32 end offset (the length of the file as
// written), then the ten entries in table order, each a u32 name length n, n bytes of name
// (no terminator) and an i32 score. An entry without a name has length 0.
//
// Loading bounds every read by the file and its end offset: a file that is not whole (an
// entry past the end, a name longer than the 256-byte limit) is refused as a whole and the
// table stays as it was. Names are cut to that limit when added.
//
// Main thread only. Needs the save area's whole-file reader and writer and the text drawer.
// No Linux/ file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int32_t kScoreEntries = 10;
constexpr int32_t kScoreNameLimit = 256; // bytes of a name

struct ScoreEntry {
    bool hasName;
    std::string name;
    int32_t score;
};

struct ScoreTable {
    ScoreEntry entries[kScoreEntries]; // entry 0 is the best
    int32_t lastAdded = 0;             // position of the latest insertion (0-based)
    bool changed = false;              // set by an insertion or a clear by the game
};
ScoreTable& Score_Table();

// The display settings (set by the highscore_set_* and highscore_show_ext built-ins).
struct ScoreDisplay {
    bool hasCaption = true, hasEmptyName = true, hasHint = true;
    std::string caption = "Top Ten Players", emptyName = "<nobody>", hint = "press <Escape> to close";
    int32_t background = -1;
    bool border = true;
    int32_t colours[3] = {0, 0, 0};
    std::string fontName = "Times New Roman";
    int32_t fontSize = 10;
};
ScoreDisplay& Score_Display();

// Every entry gets the empty-entry name (none when it was set to none) and score 0. A clear the
// game asked for marks the table changed, so that it is saved.
void Score_Clear(bool byGame = false);
// Inserts below the entries with a higher or equal score; nothing when it would come after the
// tenth. Name null: an entry without a name.
void Score_Add(const char* name, int32_t score);
// Position 1..10: name (null when the entry has none) and score; false for other positions.
bool Score_Get(int32_t position, const char** name, int32_t* score);

// The file's bytes for the table, and the table from a file's bytes (false: refused, the table
// unchanged).
std::vector<uint8_t> Score_Serialise(const ScoreTable& table);
bool Score_Parse(const uint8_t* data, int32_t size, ScoreTable* table);

// Reads "hiscore.dat" from the save area (a missing or refused file leaves the table); clears
// "changed".
void Score_Load();
// Writes "hiscore.dat" into the save area; clears "changed" (also when the write fails).
void Score_Save();
// Score_Save when the table changed (shutdown).
void Score_SaveIfChanged();

// draw_highscore: names at x1, scores right-aligned to end at x2, one row per tenth of y1..y2.
void Score_Draw(double x1, double y1, double x2, double y2);
