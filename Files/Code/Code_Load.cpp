// The byte-code chunks: strings, code bodies, name binding, the debug companion.
#include "Files/Code/Code_Load.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Files/Base/Console.h"
#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/VM_Format.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Support/CommandLine.h"
#include "Files/Support/GameHeader.h"

CodeChunks g_Code;

namespace {

const CodeBindHooks kDefaultHooks = {Code_Variable_Find, Code_Function_Find};
const CodeBindHooks* g_Hooks = &kDefaultHooks;

constexpr uint32_t kOperandFlag = 1u << 30;
constexpr uint32_t kStringType = 6;
constexpr uint32_t kRecordSize = 12;

bool TestBit(const std::vector<uint8_t>& bits, uint32_t at)
{
    return (at >> 3) < bits.size() && (bits[at >> 3] >> (at & 7) & 1) != 0;
}

void SetBit(std::vector<uint8_t>& bits, uint32_t at) { bits[at >> 3] |= uint8_t(1u << (at & 7)); }

// Walks one body, calling visit(word offset, word) for each instruction; false when an operand
// passes the end of the body or the body is not whole words.
template <class Visit>
bool WalkBody(const FileImage& image, const CodeEntry& e, Visit visit)
{
    if (e.length % 4 != 0) return false;
    uint32_t at = e.code;
    const uint32_t end = e.code + e.length;
    while (at < end) {
        uint32_t word = 0;
        if (!image.U32(at, word)) return false;
        const uint32_t operand = Code_OperandSize(word);
        if (end - at - 4 < operand) return false;
        if (!visit(at, word)) return false;
        at += 4 + operand;
    }
    return true;
}

bool LoadCodeList(const FileImage& image, uint32_t begin, uint32_t end)
{
    ChunkList list;
    if (!list.Read(image, begin, end)) return false;
    g_Code.entries.assign(list.count, CodeEntry());
    g_Code.starts.assign((size_t(image.Size()) + 7) / 8, 0);
    g_Code.bound.assign(g_Code.starts.size(), 0);
    for (uint32_t i = 0; i < list.count; ++i) {
        CodeEntry& e = g_Code.entries[i];
        e.at = list.Offset(image, i);
        if (e.at == 0) continue;
        bool ok = image.U32(e.at, e.name) && image.U32(e.at + 4, e.length);
        if (ok && e.name) image.String(e.name, ok);
        if (!ok || e.at > UINT32_MAX - 8 || !image.Contains(e.at + 8, e.length)) return false;
        e.code = e.at + 8;
        if (!WalkBody(image, e, [](uint32_t at, uint32_t) {
                if (TestBit(g_Code.starts, at)) return false; // two bodies share bytes
                SetBit(g_Code.starts, at);
                return true;
            }))
            return false;
    }
    return true;
}

// Checks one reference of a chain: an instruction start with a 4-byte operand, not bound yet.
bool CheckReference(const FileImage& image, uint32_t at, uint32_t& operand)
{
    uint32_t word = 0;
    if (!TestBit(g_Code.starts, at) || TestBit(g_Code.bound, at) || !image.U32(at, word)) return false;
    if (Code_OperandSize(word) != 4) return false;
    return image.U32(at + 4, operand);
}

// A name the runner cannot bind ends the run: the error is shown, the load fails and the entry
// ends the process with code 1 after its shutdown.
bool FailBinding(const char* kind, const char* name)
{
    char text[1024];
    std::snprintf(text, sizeof text, "Error on load\nUnable to find %s %s\n", kind, name);
    Code_Error_Show(text, true);
    Main_RequestExit(1);
    return false;
}

bool LoadStrings(const FileImage& image, uint32_t begin, uint32_t end)
{
    if (!g_Code.strings.Read(image, begin, end)) return false;
    for (uint32_t i = 0; i < g_Code.strings.count; ++i) {
        uint32_t at = g_Code.strings.Offset(image, i);
        if (at == 0) continue;
        bool ok = at <= UINT32_MAX - 4;
        if (ok) image.String(at + 4, ok);
        if (!ok) return false;
    }
    return true;
}

bool ReadHeader(const FileImage& image, uint32_t begin, uint32_t end, void (*headerRead)())
{
    Console_Output("Get Header Information\n");
    if (g_GameHeader.present) return false; // one header a file
    if (!Header_Parse(image, begin, end, g_GameHeader)) return false;
    if (g_GameHeader.infoFlags & HEADER_FLAG_STEAM) g_StartupOptions.steam = 1;
    MessageBox_SetCaption(g_GameHeader.caption ? g_GameHeader.caption : "Zimbrel");
    if (headerRead) headerRead();
    return true;
}

} // namespace

void Code_SetBindHooks(const CodeBindHooks* hooks) { g_Hooks = hooks ? hooks : &kDefaultHooks; }

uint32_t Code_OperandSize(uint32_t word)
{
    if (!(word & kOperandFlag)) return 0;
    switch ((word >> 16) & 15) {
    case 0:
    case 3: return 8;
    case 1:
    case 2:
    case 4:
    case 5:
    case 6: return 4;
    default: return 0;
    }
}

void Code_Clear()
{
    g_Code.present = false;
    g_Code.strings = ChunkList();
    g_Code.entries.clear();
    g_Code.variOffset = g_Code.variWords = 0;
    g_Code.starts.clear();
    g_Code.bound.clear();
    g_Code.failedChunk = 0;
    g_Code.declaredGlobals.clear();
}

void Code_ClearDebug()
{
    g_Code.debugPresent = false;
    g_Code.debugImage = FileImage();
    g_Code.debugStrings = g_Code.debugInfo = g_Code.debugSource = ChunkList();
    g_Code.debugCheck = DebugCompanionCheck();
}

bool Code_Load(FileImage& image, void (*headerRead)())
{
    Code_Clear();
    Code_Table_Free();
    Header_Clear(g_GameHeader);
    if (!FileImage_CheckContainer(image)) return true; // LoadGameData reports the bad container
    const bool read = FileImage_WalkChunks(image, [&](uint32_t tag, uint32_t data, uint32_t length) {
        if (length == 0) return true;
        const uint32_t end = data + length;
        g_Code.failedChunk = tag; // until the chunk has been read
        if (tag == ChunkTag("STRG")) {
            Console_Output("ID_STRG\n");
            return LoadStrings(image, data, end);
        }
        if (tag == ChunkTag("CODE")) {
            Console_Output("Code_Load()\n");
            g_Code.present = true;
            if (!LoadCodeList(image, data, end)) return false;
            // The code-present flag the loaders read (scripts, events and rooms then carry code
            // indexes); the bodies are handed over once they are bound (Code_FillTable).
            Code_Table_Init(int32_t(g_Code.entries.size()));
            return true;
        }
        if (tag == ChunkTag("VARI")) {
            Console_Output("VARI_Load()\n");
            g_Code.variOffset = data;
            g_Code.variWords = length / 4;
            return Code_BindVariables(image, data, end);
        }
        if (tag == ChunkTag("GEN7") || tag == ChunkTag("GEN8") || tag == ChunkTag("GENL"))
            return ReadHeader(image, data, end, headerRead);
        return true;
    });
    if (read) g_Code.failedChunk = 0;
    return read;
}

namespace {

// The binding records of "VARI" and "FUNC": for each name with references, its id (find), then
// the chain of references, each checked and rewritten (bind: writes the operand and answers the
// distance to the next reference).
template <class Find, class Bind>
bool BindRecords(FileImage& image, uint32_t begin, uint32_t end, const char* kind, Find find, Bind bind)
{
    for (uint32_t r = begin; end - r >= kRecordSize; r += kRecordSize) {
        uint32_t nameAt = 0, count = 0, first = 0;
        image.U32(r, nameAt);
        image.U32(r + 4, count);
        image.U32(r + 8, first);
        bool ok = true;
        const char* name = image.String(nameAt, ok);
        if (!ok || !name) return false;
        if (count == 0) continue;
        if (g_Code.starts.empty()) return false; // references need the code bodies first
        int32_t id = -1;
        if (!find(name, &id)) return FailBinding(kind, name);
        uint32_t at = first;
        for (uint32_t k = 0; k < count; ++k) {
            uint32_t w = 0;
            if (!CheckReference(image, at, w)) return false;
            const uint32_t step = bind(at, w, id);
            SetBit(g_Code.bound, at);
            at += step;
        }
    }
    return true;
}

} // namespace

bool Code_BindVariables(FileImage& image, uint32_t begin, uint32_t end)
{
    // The names declared with globalvar: records without references (BindRecords passes over
    // them) whose first offset is the mark.
    for (uint32_t r = begin; end - r >= kRecordSize; r += kRecordSize) {
        uint32_t nameAt = 0, count = 1, first = 0;
        bool ok = image.U32(r, nameAt) && image.U32(r + 4, count) && image.U32(r + 8, first);
        if (!ok || count != 0 || first != CODE_VARI_DECLARED) continue;
        const char* name = image.String(nameAt, ok);
        if (!ok || !name) return false;
        const int32_t id = g_Hooks->variableFind(name);
        if (id < 0) return FailBinding("variable", name);
        g_Code.declaredGlobals.push_back(id);
    }
    return BindRecords(
        image, begin, end, "variable",
        [](const char* name, int32_t* id) {
            *id = g_Hooks->variableFind(name);
            return *id >= 0;
        },
        [&image](uint32_t at, uint32_t w, int32_t id) {
            image.PutU32(at + 4, (w & 0xE0000000u) | (uint32_t(id) & 0x1FFFFFFFu));
            return uint32_t(int32_t(w << 3) >> 3); // the low 29 bits, signed
        });
}

bool Code_BindFunctions(FileImage& image, uint32_t begin, uint32_t end)
{
    return BindRecords(image, begin, end, "function", [](const char* name, int32_t* id) { return g_Hooks->functionFind(name, id); },
                       [&image](uint32_t at, uint32_t w, int32_t id) {
                           image.PutU32(at + 4, uint32_t(id));
                           return w; // the whole word, added with wrap-around
                       });
}

bool Code_BindStrings(const FileImage& image)
{
    for (const CodeEntry& e : g_Code.entries) {
        if (e.at == 0) continue;
        bool ok = WalkBody(image, e, [&](uint32_t at, uint32_t word) {
            if (!(word & kOperandFlag) || ((word >> 16) & 15) != kStringType) return true;
            uint32_t index = 0;
            return image.U32(at + 4, index) && index < g_Code.strings.count;
        });
        if (!ok) return false;
    }
    return true;
}

int32_t Code_StringCount() { return int32_t(g_Code.strings.count); }

const char* Code_GetString(const FileImage& image, int32_t index)
{
    if (index < 0 || uint32_t(index) >= g_Code.strings.count) return nullptr;
    uint32_t at = g_Code.strings.Offset(image, uint32_t(index));
    bool ok = true;
    return at ? image.String(at + 4, ok) : nullptr;
}

void Code_DeclareGlobals()
{
    for (int32_t id : g_Code.declaredGlobals) Variable_Global_Declare(id);
}

DebugCompanionCheck Code_GameFileCheck(const uint8_t* bytes, size_t size)
{
    // Four lanes of 8-byte words, each word mixed in by a multiply: a game file of tens of
    // megabytes is checked at every start that finds a companion (and at every byte-code
    // pack), at about the speed the memory gives it.
    constexpr uint64_t kPrime = 0x9E3779B97F4A7C15ull;
    uint64_t lane[4] = {0x243F6A8885A308D3ull, 0x13198A2E03707344ull, 0xA4093822299F31D0ull, 0x082EFA98EC4E6C89ull};
    size_t at = 0;
    for (; size - at >= 32; at += 32)
        for (int k = 0; k < 4; ++k) {
            uint64_t word;
            std::memcpy(&word, bytes + at + 8 * k, 8);
            lane[k] = (lane[k] ^ word) * kPrime;
            lane[k] ^= lane[k] >> 31;
        }
    for (; at < size; ++at) lane[at & 3] = (lane[at & 3] ^ bytes[at]) * kPrime;
    uint64_t hash = uint64_t(size);
    for (uint64_t l : lane) {
        hash = (hash ^ l) * kPrime;
        hash ^= hash >> 29;
    }
    DebugCompanionCheck check;
    check.present = true;
    check.size = uint32_t(size);
    check.hash = hash;
    return check;
}

DebugCompanionCheck Code_DebugCompanionCheck(const FileImage& companion)
{
    DebugCompanionCheck check;
    if (companion.Size() < 9 || !FileImage_CheckContainer(companion)) return check;
    FileImage_WalkChunks(companion, [&](uint32_t tag, uint32_t data, uint32_t length) {
        if (tag != ChunkTag("GAME") || length < 12) return true;
        uint32_t low = 0, high = 0;
        check.present = companion.U32(data, check.size) && companion.U32(data + 4, low) && companion.U32(data + 8, high);
        check.hash = uint64_t(high) << 32 | low;
        return false;
    });
    return check;
}

bool Code_DebugCompanionFits(const uint8_t* game, size_t size)
{
    if (!g_Code.debugPresent || !g_Code.debugCheck.present) return true;
    if (g_Code.debugCheck.size != size) return false; // the bytes only when the size fits
    return Code_GameFileCheck(game, size).hash == g_Code.debugCheck.hash;
}

bool Code_LoadDebugCompanion(const FileImage& image)
{
    g_Code.debugPresent = false;
    if (image.Size() < 9 || !FileImage_CheckContainer(image)) return false;
    ChunkList strings, info, source;
    bool ok = FileImage_WalkChunks(image, [&](uint32_t tag, uint32_t data, uint32_t length) {
        Console_Output("Process Chunk: %s   %d\n", ChunkTagText(tag).text, int32_t(length));
        if (length == 0) return true;
        const uint32_t end = data + length;
        if (tag == ChunkTag("STRG")) return strings.Read(image, data, end);
        if (tag == ChunkTag("DBGI")) {
            if (!info.Read(image, data, end)) return false;
            for (uint32_t i = 0; i < info.count; ++i) {
                uint32_t at = info.Offset(image, i), n = 0;
                if (at == 0) continue;
                if (!image.U32(at, n) || n > UINT32_MAX / 8 || !image.Contains(at + 4, n * 8)) return false;
            }
            return true;
        }
        if (tag == ChunkTag("SCPT")) {
            if (!source.Read(image, data, end)) return false;
            for (uint32_t i = 0; i < source.count; ++i) {
                uint32_t at = source.Offset(image, i), text = 0;
                if (at == 0) continue;
                bool good = image.U32(at, text);
                if (good && text) image.String(text, good);
                if (!good) return false;
            }
            return true;
        }
        return true;
    });
    if (!ok) return false;
    g_Code.debugPresent = true;
    g_Code.debugImage = image;
    g_Code.debugStrings = strings;
    g_Code.debugInfo = info;
    g_Code.debugSource = source;
    g_Code.debugCheck = Code_DebugCompanionCheck(image);
    return true;
}

const char* Code_DebugSource(int32_t index)
{
    if (!g_Code.debugPresent || index < 0) return "";
    uint32_t at = g_Code.debugSource.Offset(g_Code.debugImage, uint32_t(index)), text = 0;
    if (at == 0 || !g_Code.debugImage.U32(at, text)) return "";
    bool ok = true;
    const char* s = g_Code.debugImage.String(text, ok);
    return s ? s : "";
}

int32_t Code_DebugPairs(int32_t index, const uint8_t** pairs)
{
    *pairs = nullptr;
    if (!g_Code.debugPresent || index < 0) return 0;
    uint32_t at = g_Code.debugInfo.Offset(g_Code.debugImage, uint32_t(index)), n = 0;
    if (at == 0 || !g_Code.debugImage.U32(at, n) || n == 0) return 0;
    *pairs = g_Code.debugImage.Bytes(at + 4, n * 8);
    return *pairs ? int32_t(n) : 0;
}

void Code_FillTable(const FileImage& image)
{
    // The machine's copy of the string table (push.s operands of the game's code index it).
    VM_StringTable_Set(int32_t(g_Code.strings.count));
    for (uint32_t i = 0; i < g_Code.strings.count; ++i) VM_StringTable_SetEntry(int32_t(i), Code_GetString(image, int32_t(i)));
    if (!g_Code.present) return;
    for (size_t i = 0; i < g_Code.entries.size(); ++i) {
        const CodeEntry& e = g_Code.entries[i];
        if (e.at == 0) continue;
        bool ok = true;
        const char* name = image.String(e.name, ok);
        const uint8_t* pairs = nullptr;
        int32_t pairCount = Code_DebugPairs(int32_t(i), &pairs);
        Code_Table_SetEntry(int32_t(i), name ? name : "", image.Bytes(e.code, e.length), int32_t(e.length), pairs,
                            pairCount, Code_DebugSource(int32_t(i)));
    }
}
