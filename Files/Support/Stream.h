// CStream: the runner's growable byte block with a read/write position. Loaders read
// records out of it, writers append to it, data structures turn it into hexadecimal text and
// back, and zlib blocks move in and out of it. A stream can also be a borrowed view into
// another stream's block.
//
// Stored forms (all little-endian): integer 4 bytes two's complement; real 8 bytes IEEE 754
// double; boolean an integer (1/0 written, nonzero reads true); string a u32 length n then n
// bytes without terminator; sub-stream a u32 length n then n bytes; compressed block a u32
// length n then n bytes of a zlib stream (header and Adler-32, as deflate writes it).
//
// Invariants: 0 <= position <= size <= kStreamMaxSize; data is null exactly when size is 0
// (except for a borrowed empty view). Reads never leave the block: a read that runs past the
// end yields the bytes there and zeros for the rest; a length read from the data that does
// not fit in what remains reads nothing, yields the empty value (null, 0, an empty stream)
// and moves the position to the end, so every later read yields zeros too.
//
// Needs the memory manager, the log console, zlib, and LoadSave for files.
#pragma once

#include <cstdint>

class CStream {
public:
    // Largest block a stream grows to (just below 2 GB, the memory manager's limit).
    static constexpr int64_t kStreamMaxSize = 0x7FFFFF00;

    // A cleared block of initialSize bytes when it is above 0 (cut to kStreamMaxSize).
    explicit CStream(int64_t initialSize = 0);
    ~CStream();
    CStream(const CStream&) = delete;
    CStream& operator=(const CStream&) = delete;

    uint8_t* GetMemory() const { return m_data; }
    int64_t GetPosition() const { return m_position; }
    int64_t GetSize() const { return m_size; }
    bool IsBorrowed() const { return m_borrowed; }

    // Sets the position, clamped to 0..size.
    void Seek(int64_t position);
    // origin 0: from the start, 1: from the position, 2: from the size (offset added); any
    // other origin leaves the position. Clamped to 0..size. Returns the new position.
    int64_t Seek(int64_t offset, int32_t origin);

    // Copies min(n, size - position) bytes and advances; the count copied (0 for a null
    // destination, n < 1 or nothing left).
    int64_t ReadBuffer(void* destination, int64_t n);
    // Writes n bytes at the position, growing the block when needed; n, or 0 when n < 1, the
    // source is null or the block cannot grow that far (nothing changes then).
    int64_t WriteBuffer(const void* source, int64_t n);

    int32_t ReadInteger();
    double ReadReal();
    bool ReadBoolean();
    void WriteInteger(int32_t value);
    void WriteReal(double value);
    void WriteBoolean(bool value);

    // A new zero-terminated block (length + 1 bytes) stored through out; null for length 0
    // or a length that does not fit.
    void ReadStringTo(char** out);
    char* ReadString();
    // Length (0 for null) then the bytes.
    void WriteString(const char* text);

    // This stream receives count bytes of source (see Stream.cpp). A view (borrow set) needs
    // count <= what remains in source; otherwise it takes nothing and returns 0.
    int64_t CopyFrom(CStream* source, int64_t count, bool borrow);
    int64_t CopyFrom(CStream* source, int64_t count) { return CopyFrom(source, count, false); }
    // A new owned stream holding a copy of the next length-prefixed block, position 0. Never
    // null: a length that does not fit gives an empty stream.
    CStream* ReadStream();

    // Replaces the block with the bytes of a file from offset on (save area first, then the
    // program folder). A missing file or an offset outside 0..file size leaves it empty.
    void LoadFromFile(const char* name, int64_t offset);
    // Writes the first position bytes to the named file; false when it cannot be written.
    bool SaveToFile(const char* name);

    // The first position bytes as upper-case hexadecimal text (new block), or null when the
    // position is 0.
    void ToHexString(char** out) const;
    // Replaces the block with the bytes of the hex pairs of text (see Stream.cpp).
    void FromHexString(const char* text);

    // Replaces every byte of start .. start + length - 1 (length < 1: to the end) by its
    // image under the inverse permutation built from seed.
    void ApplySeedTable(int32_t seed, int64_t start, int64_t length);

    // Frees an owned block (data null, size 0; position kept, clamped). A view is left alone.
    void Free();
    // Free, then the object; null is ignored.
    static void Delete(CStream* stream);

private:
    friend CStream* ZDecompressStream(CStream* source);
    // Cuts the size to the position (the slack that growth left after the last write).
    void TrimToPosition();
    bool Grow(int64_t needed, int64_t minimum);
    void DropView();
    void ReadFixed(void* out, int64_t n);
    void Exhaust() { m_position = m_size; }
    // A u32 length word that fits in what remains; -1 (and the stream exhausted) otherwise.
    int64_t ReadLength();

    bool m_borrowed = false;
    int64_t m_size = 0;
    int64_t m_position = 0;
    uint8_t* m_data = nullptr;
};

// Builds the seed's forward (F) and inverse (I) byte permutations. Both keep 0 in place.
void Stream_BuildSeedTables(int32_t seed, uint8_t forward[256], uint8_t inverse[256]);

// Reads a compressed block at source's position: a new stream (position 0) whose size is
// the number of inflated bytes, the source moved past the block; null when the block is damaged, cut
// short or would inflate past kStreamMaxSize.
CStream* ZDecompressStream(CStream* source);
// Appends the whole of source (up to its size) to dest as a compressed block. 0 on success,
// -1 when the block could not be written whole.
int32_t ZCompressStream(CStream* dest, CStream* source);
