// The high-score table and "hiscore.dat" (Files/Debug/Score.h).
#include "Files/Debug/Score.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "Files/Base/RealConvert.h"
#include "Files/Font/Font_Text.h"
#include "Files/Support/LoadSave.h"
#include "Platform/MemoryManager.h"

namespace {

ScoreTable g_table;
ScoreDisplay g_display;
const char* const kFileName = "hiscore.dat";

void PutU32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

uint32_t GetU32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// At most limit bytes, cut where a character starts.
std::string Cut(const char* text, size_t limit)
{
    size_t n = std::strlen(text);
    if (n > limit) {
        n = limit;
        while (n > 0 && (uint8_t(text[n]) & 0xC0) == 0x80) --n;
    }
    return std::string(text, n);
}

} // namespace

ScoreTable& Score_Table() { return g_table; }
ScoreDisplay& Score_Display() { return g_display; }

void Score_Clear(bool byGame)
{
    for (ScoreEntry& e : g_table.entries) {
        e.hasName = g_display.hasEmptyName;
        e.name = g_display.hasEmptyName ? g_display.emptyName : std::string();
        e.score = 0;
    }
    if (byGame) g_table.changed = true;
}

void Score_Add(const char* name, int32_t score)
{
    int32_t i = 0;
    while (i < kScoreEntries && g_table.entries[i].score >= score) ++i;
    if (i == kScoreEntries) return;
    g_table.lastAdded = i;
    for (int32_t j = kScoreEntries - 1; j > i; --j) g_table.entries[j] = g_table.entries[j - 1];
    ScoreEntry& e = g_table.entries[i];
    e.hasName = name != nullptr;
    e.name = name ? Cut(name, kScoreNameLimit) : std::string();
    e.score = score;
    g_table.changed = true;
}

bool Score_Get(int32_t position, const char** name, int32_t* score)
{
    if (position < 1 || position > kScoreEntries) return false;
    const ScoreEntry& e = g_table.entries[position - 1];
    *name = e.hasName ? e.name.c_str() : nullptr;
    *score = e.score;
    return true;
}

std::vector<uint8_t> Score_Serialise(const ScoreTable& table)
{
    std::vector<uint8_t> out = {'H', 'I', 'S', 'C'};
    PutU32(out, 0);
    for (const ScoreEntry& e : table.entries) {
        // An entry without a name keeps its score (length 0, then the score).
        const std::string& name = e.hasName ? e.name : std::string();
        PutU32(out, uint32_t(name.size()));
        out.insert(out.end(), name.begin(), name.end());
        PutU32(out, uint32_t(e.score));
    }
    const uint32_t end = uint32_t(out.size());
    for (int i = 0; i < 4; ++i) out[4 + size_t(i)] = uint8_t(end >> (8 * i));
    return out;
}

bool Score_Parse(const uint8_t* data, int32_t size, ScoreTable* table)
{
    if (!data || size < 8 || std::memcmp(data, "HISC", 4) != 0) return false;
    const uint32_t end = GetU32(data + 4);
    if (end > uint32_t(size) || end < 8) return false; // past the file, or inside the header
    ScoreEntry entries[kScoreEntries];
    uint32_t pos = 8;
    for (ScoreEntry& e : entries) {
        if (end - pos < 4) return false;
        const uint32_t n = GetU32(data + pos);
        pos += 4;
        if (n > uint32_t(kScoreNameLimit) || end - pos < n + 4) return false;
        e.hasName = n > 0;
        // The name ends at its first zero byte, as a C text would.
        const char* name = reinterpret_cast<const char*>(data + pos);
        e.name = n > 0 ? std::string(name, strnlen(name, n)) : std::string();
        pos += n;
        e.score = int32_t(GetU32(data + pos));
        pos += 4;
    }
    for (int32_t i = 0; i < kScoreEntries; ++i) table->entries[i] = entries[i];
    return true;
}

void Score_Load()
{
    int32_t size = 0;
    uint8_t* data = LoadSave_ReadSaveFile(kFileName, &size);
    if (data) Score_Parse(data, size, &g_table);
    MEM_FREE(data);
    g_table.changed = false;
}

void Score_Save()
{
    const std::vector<uint8_t> bytes = Score_Serialise(g_table);
    LoadSave_WriteSaveFile(kFileName, bytes.data(), int32_t(bytes.size()));
    g_table.changed = false;
}

void Score_SaveIfChanged()
{
    if (g_table.changed) Score_Save();
}

void Score_Draw(double x1, double y1, double x2, double y2)
{
    const int32_t row = Real_RoundToInt32((y2 - y1) / 10.0);
    const double right = x1 + Real_RoundToInt32(x2 - x1);
    for (int32_t p = 1; p <= kScoreEntries; ++p) {
        const ScoreEntry& e = g_table.entries[p - 1];
        const double y = y1 + double(p - 1) * double(row); // a tall table's rows pass the 32-bit range
        if (e.hasName) GR_Text_Draw(float(x1), float(y), e.name.c_str(), -1, -1);
        char score[16];
        std::snprintf(score, sizeof score, "%d", e.score);
        const double w = double(GR_Text_Width(score, -1, -1));
        GR_Text_Draw(float(right - w), float(y), score, -1, -1);
    }
}
