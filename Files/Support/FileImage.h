// The one reader of the game data file. The file is read whole and stays in memory; its
// records hold 32-bit offsets relative to the start of the file (0 meaning none). Nothing
// keeps a pointer into the image across a load step and no record is cast over the bytes:
// every value is read through these bounds-checked little-endian loads.
//
// FileImage   the bytes of one loaded file and checked reads by absolute offset.
// FileCursor  a position inside a window [begin, end) of the image; every read past the
//             window sets the cursor's failed flag and yields zero, so a loader reads a whole
//             record and checks ok() once.
//
// Loaders turn a malformed record into a failed load ("Failed to load the game"); they must
// also bound every count by the bytes that could hold it before allocating for it
// (FileCursor::FitsCount).
//
// ChunkList   the common shape of a resource chunk (u32 count, count u32 entry offsets, 0 =
//             no entry), read and checked once; entries stay offsets.
//
// Writes: the byte-code binding rewrites operand words of the loaded image in place; an image
// made over a mutable block allows PutU32 (an image over const bytes refuses every write).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

class FileImage {
public:
    FileImage() = default;
    FileImage(const uint8_t* data, uint32_t size) : m_data(data), m_size(size) {}
    FileImage(uint8_t* data, uint32_t size) : m_data(data), m_size(size), m_mutable(data) {}

    const uint8_t* Data() const { return m_data; }
    uint32_t Size() const { return m_size; }
    bool Empty() const { return m_data == nullptr || m_size == 0; }

    // True when [offset, offset + length) lies inside the image.
    bool Contains(uint32_t offset, uint32_t length) const
    {
        return offset <= m_size && length <= m_size - offset;
    }

    bool U8(uint32_t offset, uint8_t& out) const;
    bool U16(uint32_t offset, uint16_t& out) const;
    bool U32(uint32_t offset, uint32_t& out) const;
    bool I32(uint32_t offset, int32_t& out) const;
    bool F32(uint32_t offset, float& out) const;
    bool F64(uint32_t offset, double& out) const;

    // A zero-terminated string at offset: null when the offset is 0, outside the image or
    // the text runs to the end of the image without a terminator. ok is set to false for
    // every case but offset 0.
    const char* String(uint32_t offset, bool& ok) const;

    // Writes a little-endian word; false (nothing written) outside the image or when the image
    // is read-only.
    bool PutU32(uint32_t offset, uint32_t value);
    bool PutU16(uint32_t offset, uint16_t value);
    bool Writable() const { return m_mutable != nullptr; }

    // Pointer to length bytes at offset, or null when they do not all lie in the image.
    const uint8_t* Bytes(uint32_t offset, uint32_t length) const
    {
        return Contains(offset, length) ? m_data + offset : nullptr;
    }

private:
    const uint8_t* m_data = nullptr;
    uint32_t m_size = 0;
    uint8_t* m_mutable = nullptr;
};

class FileCursor {
public:
    FileCursor(const FileImage& image, uint32_t begin, uint32_t end);
    // The whole image.
    explicit FileCursor(const FileImage& image) : FileCursor(image, 0, image.Size()) {}

    const FileImage& Image() const { return *m_image; }
    uint32_t Pos() const { return m_pos; }
    uint32_t Begin() const { return m_begin; }
    uint32_t End() const { return m_end; }
    uint32_t Remaining() const { return m_pos <= m_end ? m_end - m_pos : 0; }
    bool ok() const { return m_ok; }
    void Fail() { m_ok = false; }

    // Moves to an absolute offset inside the window; outside it fails.
    bool Seek(uint32_t offset);
    bool Skip(uint32_t bytes);

    uint8_t U8();
    uint16_t U16();
    int16_t I16() { return int16_t(U16()); }
    uint32_t U32();
    int32_t I32() { return int32_t(U32()); }
    float F32();
    double F64();
    // A string offset read here, resolved through the image (null for 0; failure otherwise
    // when it does not name a terminated string).
    const char* StringRef();

    // True when count records of recordSize bytes fit in what remains (no allocation may be
    // sized from a count before this check).
    bool FitsCount(uint32_t count, uint32_t recordSize) const
    {
        return recordSize == 0 || count <= Remaining() / recordSize;
    }

private:
    const FileImage* m_image;
    uint32_t m_begin, m_end, m_pos;
    bool m_ok = true;
};

// Four-letter chunk tags compared as one little-endian word.
constexpr uint32_t ChunkTag(const char (&t)[5])
{
    return uint32_t(uint8_t(t[0])) | uint32_t(uint8_t(t[1])) << 8 | uint32_t(uint8_t(t[2])) << 16 |
           uint32_t(uint8_t(t[3])) << 24;
}

// A ChunkList read from the chunk data [begin, end): the count, and where its offset array
// starts. Read checks that the array lies inside the chunk and that every non-zero entry offset
// lies inside the file; the records at those offsets are the loaders' to check.
struct ChunkList {
    uint32_t count = 0;
    uint32_t entries = 0; // file offset of the first entry offset

    bool Read(const FileImage& image, uint32_t begin, uint32_t end);
    // Entry i's file offset (0 = no entry); 0 for i >= count.
    uint32_t Offset(const FileImage& image, uint32_t i) const;
};

// The four characters of a tag, for log lines.
struct ChunkTagText {
    char text[5];
    explicit ChunkTagText(uint32_t tag)
    {
        for (int i = 0; i < 4; ++i) {
            char c = char((tag >> (8 * i)) & 0xFF);
            text[i] = (c >= 32 && c < 127) ? c : '?';
        }
        text[4] = 0;
    }
};

// ---- The container ---------------------------------------------------------------------
constexpr uint32_t IFF_MAGIC = 0x4D524F46u;          // "FORM"
constexpr uint32_t IFF_MAGIC_REVERSED = 0x464F524Du; // the same bytes read the other way

// True when the image starts with the magic (either byte order), is longer than 8 bytes and
// its body length is its size - 8.
bool FileImage_CheckContainer(const FileImage& image);
// Why the image cannot be a game file, for a person; "" when its container and the chunk
// lengths are sound. Names an empty file, one that is not a game file (no magic), one cut
// short (the chunk it ends in) and one longer than its header says.
std::string FileImage_ContainerProblem(const FileImage& image);
// Walks the chunks after the container header, calling visit(tag, data offset, data length)
// for each (length 0 included). False when a chunk header or its data passes the end of the
// image, or when visit answers false (the walk stops there).
template <class Visit>
bool FileImage_WalkChunks(const FileImage& image, Visit visit)
{
    uint32_t at = 8;
    while (at < image.Size()) {
        uint32_t tag = 0, length = 0;
        if (!image.U32(at, tag) || !image.U32(at + 4, length)) return false;
        const uint32_t data = at + 8;
        if (!image.Contains(data, length)) return false;
        if (!visit(tag, data, length)) return false;
        at = data + length;
    }
    return true;
}
