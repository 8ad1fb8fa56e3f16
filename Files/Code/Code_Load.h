// The byte-code chunks of the game file: the string table ("STRG"), the code bodies ("CODE"),
// the binding of variable and function names ("VARI", "FUNC") into every instruction that
// refers to them, and the debug companion (".kvdebug": source text and byte-code-to-source
// pairs per body). Needs the file reader, the header, the variable-name table and the built-in
// function table (through CodeBindHooks), the error reporter and the log console. No Linux/
// file.
//
// Code body ("CODE" entry): u32 name offset, u32 length, then length bytes of 32-bit
// instruction words, a word with bit 30 set followed by an operand whose size follows the low
// 4 bits of its type byte (bits 16-19): 8 bytes for types 0 and 3, 4 for 1, 2, 4, 5 and 6,
// none otherwise. Every body is walked once at load: an operand that passes the body's end
// fails the load.
//
// "VARI" and "FUNC": records of 12 bytes {u32 name offset, u32 reference count, u32 file
// offset of the first reference}, a trailing partial record ignored. A reference is an
// instruction word that carries a 4-byte operand; before binding the operand holds the
// distance in bytes to the next reference (VARI: the low 29 bits, signed, the top 3 bits
// belonging to the instruction; FUNC: the whole word, added with wrap-around), after binding
// the id. Each reference must be an instruction start of a code body with a 4-byte operand and
// may be bound once: a chain that leaves the bodies, lands between instructions or comes back
// to a bound reference fails the load. A name that cannot be bound ends the program (exit
// code 1, after the entry's shutdown) after "Error on load\nUnable to find variable %s\n" (or
// "function").
//
// A "VARI" record without references whose first offset is CODE_VARI_DECLARED
// (0xFFFFFFFF) names a variable the game declares with globalvar: byte code carries no
// declaration, so the runner declares these names when it prepares the game
// (Code_DeclareGlobals), as compiling the source declares them. Other readers bind nothing
// for a record without references.
//
// The companion may hold a "GAME" chunk, the check of the game file it describes: u32 the
// file's size and a u64 hash of its bytes as written, before any binding (Code_GameFileCheck). A
// companion whose check does not fit the game file describes another game and is not used; one
// without the check (written before the check existed) is used as before.
//
// String operands (type 6) stay indexes into "STRG", checked against its count; the machine
// resolves them (Code_GetString).
#pragma once

#include <cstdint>
#include <vector>

#include "Files/Support/FileImage.h"

// Name lookups used by the binding; default to Code_Variable_Find and Code_Function_Find.
struct CodeBindHooks {
    int32_t (*variableFind)(const char* name);           // the id, negative when unknown
    bool (*functionFind)(const char* name, int32_t* id); // false when unknown
};
void Code_SetBindHooks(const CodeBindHooks* hooks); // null restores the defaults

struct CodeEntry {
    uint32_t at = 0;     // file offset of the entry (0: no body)
    uint32_t name = 0;   // file offset of the name (0: none)
    uint32_t code = 0;   // file offset of the first instruction word
    uint32_t length = 0; // bytes of byte code
};

constexpr uint32_t CODE_VARI_DECLARED = 0xFFFFFFFFu;

// The check of the game file a companion describes ("GAME").
struct DebugCompanionCheck {
    bool present = false;
    uint32_t size = 0;
    uint64_t hash = 0;
};
// The check of a game file's bytes as written.
DebugCompanionCheck Code_GameFileCheck(const uint8_t* bytes, size_t size);
// The check a companion holds (present false without one, or for a malformed container).
DebugCompanionCheck Code_DebugCompanionCheck(const FileImage& companion);

struct CodeChunks {
    bool present = false;          // a "CODE" chunk was met
    ChunkList strings;             // "STRG"
    std::vector<CodeEntry> entries; // "CODE", in order
    uint32_t variOffset = 0;       // the "VARI" chunk data and its length / 4
    uint32_t variWords = 0;
    std::vector<uint8_t> starts;   // bit per file byte: an instruction word starts there
    std::vector<uint8_t> bound;    // bit per file byte: that reference is bound
    uint32_t failedChunk = 0;      // the tag of the chunk Code_Load found malformed (0: none)
    std::vector<int32_t> declaredGlobals; // ids of the names "VARI" declares with globalvar

    // The debug companion.
    bool debugPresent = false;
    FileImage debugImage;
    ChunkList debugStrings, debugInfo, debugSource;
    DebugCompanionCheck debugCheck; // the game file it describes
};

extern CodeChunks g_Code;

// Operand bytes that follow an instruction word (0 when bit 30 is clear).
uint32_t Code_OperandSize(uint32_t word);

// Reads the header ("GEN7", "GEN8", "GENL"; headerRead, when given, runs right after it: the
// runner registers the built-in functions there), the string table, the code bodies and the
// variable names, in file order (a companion read before stays). Nothing for a bad container.
// False for a malformed chunk, and for a variable name that cannot be bound (which also asks
// the run to end with code 1: Main_RequestExit).
bool Code_Load(FileImage& image, void (*headerRead)());
// Checks the string operands of every body against the string table ("CODE" in the
// dispatcher).
bool Code_BindStrings(const FileImage& image);
// Binds the function names of the "FUNC" chunk data [begin, end). A name that cannot be bound
// is shown, fails the load and asks the run to end with code 1.
bool Code_BindFunctions(FileImage& image, uint32_t begin, uint32_t end);
// Binds the variable names of the "VARI" chunk data [begin, end).
bool Code_BindVariables(FileImage& image, uint32_t begin, uint32_t end);
// Reads the debug companion; false (and no companion kept) when it is malformed.
bool Code_LoadDebugCompanion(const FileImage& image);
// Declares (with the value 0) the names "VARI" declares with globalvar; the runner calls it
// when it prepares a byte-code game, before any code runs.
void Code_DeclareGlobals();
// Whether the companion read describes this game file (true without a companion, or for one
// without a check).
bool Code_DebugCompanionFits(const uint8_t* game, size_t size);
// Hands every body to the code table (names, bound byte code, source text and debug pairs of
// the companion).
void Code_FillTable(const FileImage& image);
// Forgets the file's code (Code_Load starts with it); the companion is kept.
void Code_Clear();
// Forgets the companion.
void Code_ClearDebug();

// Strings of the string table: their number and text (null outside the table).
int32_t Code_StringCount();
const char* Code_GetString(const FileImage& image, int32_t index);
// The companion's source text of body index ("" without one) and its debug pairs (count pairs
// of two i32 at *pairs; 0 and null without).
const char* Code_DebugSource(int32_t index);
int32_t Code_DebugPairs(int32_t index, const uint8_t** pairs);
