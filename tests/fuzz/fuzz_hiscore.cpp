// libFuzzer target: the high-score file reader on arbitrary bytes. A file it takes must write
// back to the same table; a file it refuses must leave the table as it was.
#include <cstdint>
#include <vector>

#include "Files/Debug/Score.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 16)) return 0;
    ScoreTable table;
    for (int32_t i = 0; i < kScoreEntries; ++i) table.entries[i] = {true, "before", i};
    const std::vector<uint8_t> before = Score_Serialise(table);
    if (!Score_Parse(data, int32_t(size), &table)) {
        if (Score_Serialise(table) != before) __builtin_trap();
        return 0;
    }
    for (const ScoreEntry& e : table.entries)
        if (e.name.size() > size_t(kScoreNameLimit)) __builtin_trap();
    const std::vector<uint8_t> written = Score_Serialise(table);
    ScoreTable again;
    if (!Score_Parse(written.data(), int32_t(written.size()), &again) || Score_Serialise(again) != written)
        __builtin_trap();
    return 0;
}
