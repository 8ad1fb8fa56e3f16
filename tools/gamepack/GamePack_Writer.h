// The byte writer of the game packer: one growing image of the whole game file in which every
// position is a file offset, with labels for records that are referred to before they are
// written (offsets are patched when the file is finished), the string pool written as the
// "STRG" chunk, and chunk framing. Tool code: plain C++ containers, no runner services. Below
// it, the packer's file reads and writes (the reads through the runner's safe open).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class GameWriter {
public:
    GameWriter();

    uint32_t Pos() const { return uint32_t(m_data.size()); }
    void U8(uint8_t v) { m_data.push_back(v); }
    void U16(uint16_t v);
    void I16(int16_t v) { U16(uint16_t(v)); }
    void U32(uint32_t v);
    void I32(int32_t v) { U32(uint32_t(v)); }
    void F32(float v);
    void Bytes(const void* data, size_t size);
    void Zeros(size_t n) { m_data.insert(m_data.end(), n, 0); }
    void AlignTo(uint32_t n) { while (Pos() % n) U8(0); }
    void PutU32(uint32_t at, uint32_t v);
    uint32_t GetU32(uint32_t at) const;

    // Labels: a label names a file offset known later. Ref writes a word patched with the
    // label's offset when the file is finished; RefOrZero writes 0 for label -1.
    int NewLabel();
    void Bind(int label);
    void Ref(int label);
    void RefOrZero(int label) { label < 0 ? U32(0) : Ref(label); }
    bool Bound(int label) const { return m_labels[size_t(label)] != kUnbound; }

    // The label of a text of the string pool (interned): the offset of its first byte.
    int String(const std::string& text);
    // Writes a reference to a pooled text.
    void RefString(const std::string& text) { Ref(String(text)); }
    // The text field of a piece of code that is absent: 0, or, once SetAbsentCodeAsEmptyText,
    // the offset of an empty text (as game files from other writers commonly hold it).
    void AbsentCodeText() { m_absentCodeAsEmptyText ? RefString("") : U32(0); }
    void SetAbsentCodeAsEmptyText(bool on) { m_absentCodeAsEmptyText = on; }
    // The index of a text in the "STRG" list (byte-code string operands).
    uint32_t StringIndex(const std::string& text);

    // Chunk framing: Begin writes the tag and a length word patched by End.
    uint32_t BeginChunk(const char* tag);
    void EndChunk(uint32_t at);
    // A ChunkList: count, then count entry offsets (one label per entry; -1 = no entry).
    void List(const std::vector<int>& entries);

    // Writes the string pool as the "STRG" chunk (each entry: u32 length, the bytes, a zero).
    void WriteStrings();
    // Patches every reference and the container's body length; the whole file.
    std::vector<uint8_t> Finish();

private:
    static constexpr uint32_t kUnbound = 0xFFFFFFFFu;
    std::vector<uint8_t> m_data;
    std::vector<uint32_t> m_labels;
    std::vector<std::pair<uint32_t, int>> m_refs; // (position, label)
    std::map<std::string, int> m_stringLabels;
    std::map<std::string, uint32_t> m_stringIndexes;
    std::vector<std::string> m_strings;           // in pool order
    bool m_absentCodeAsEmptyText = false;
};

// Writes a whole file in place (tests and benchmarks). False on failure, with errno telling why.
bool GamePack_WriteFile(const std::string& path, const std::vector<uint8_t>& data);

// Reads a whole input file of the project (the manifest, a ZBL file, an image, a font) with the
// runner's whole-file reader (File_ReadAll, through the safe open): it never waits (a named
// pipe or a device does not hold the packer), takes only a plain file, and checks the size
// before reading: a file of FILE_READ_ALL_LIMIT bytes or more (2 GiB) is refused, as no game
// file holds it. False with
// the reason for a person in why ("a folder, not a plain file", "No such file or directory").
bool GamePack_ReadFile(const std::string& path, std::string& out, std::string& why);

// Why an output name cannot be written over, or "": an existing name that is not a plain file
// (a folder, a device, a named pipe), or a file this user may not write.
std::string GamePack_OutputProblem(const std::string& path);
// The file an output name writes: the name itself or, for a symbolic link, the file at the end
// of its chain of links (there or not yet).
std::string GamePack_OutputTarget(const std::string& path);
// Writes the outputs as wholes: each to a temporary file beside it, then every one renamed into
// place once all are written and closed. On any failure the temporaries are removed and every
// earlier file stays as it was (a file renamed into place before a later rename failed is put
// back); false with "cannot write PATH: reason" in error. A new file gets the mode of the one
// it replaces.
struct PackFile {
    std::string path;
    const std::vector<uint8_t>* data;
};
// A signal that ends the packer while it writes (SIGINT, SIGTERM, SIGHUP; not one it was
// started ignoring) removes the temporary files first; the renames into place run with those
// signals held, so every output is the earlier file or the new one, never a piece.
bool GamePack_WriteFiles(const std::vector<PackFile>& files, std::string& error);
// Test seam: called by GamePack_WriteFiles at stage 0 once every temporary file is written,
// and at stage 1 once the first output is renamed into place (while another follows).
void GamePack_SetWriteHook(void (*hook)(int stage));
