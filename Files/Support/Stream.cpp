// CStream: growable little-endian memory stream, its zlib blocks, hexadecimal text and the
// seed-table byte permutation. Needs the memory manager, the log console (zlib traces),
// zlib itself (a format library, not a platform facility, so it is used here directly) and
// LoadSave for the file forms.
#include "Files/Support/Stream.h"

#include <zlib.h>

#include <cstring>

#include "Files/Base/Console.h"
#include "Files/Support/File.h"
#include "Files/Support/LoadSave.h"
#include "Platform/MemoryManager.h"

namespace {

constexpr uInt kZChunk = 16384; // input and output chunk of the zlib loops

int64_t Min64(int64_t a, int64_t b) { return a < b ? a : b; }
int64_t Max64(int64_t a, int64_t b) { return a > b ? a : b; }

} // namespace

// [SECTION] Construction and blocks

CStream::CStream(int64_t initialSize)
{
    if (initialSize > 0) {
        m_size = Min64(initialSize, kStreamMaxSize);
        m_data = static_cast<uint8_t*>(MEM_ALLOC_CLEAR(uint32_t(m_size)));
    }
}

CStream::~CStream() { Free(); }

void CStream::Free()
{
    if (m_borrowed) return;
    MEM_FREE(m_data);
    m_data = nullptr;
    m_size = 0;
    m_position = 0;
}

void CStream::Delete(CStream* stream) { delete stream; }

// Forgets a borrowed block (never freed here) or frees an owned one: the stream is empty.
void CStream::DropView()
{
    if (!m_borrowed) MEM_FREE(m_data);
    m_borrowed = false;
    m_data = nullptr;
    m_size = 0;
    m_position = 0;
}

// Makes room for the position + needed bytes. The new size is the largest of twice the old
// size, needed, the writer's minimum and position + needed, never above kStreamMaxSize; when
// even position + needed does not fit nothing changes. A view grows into an owned copy.
bool CStream::Grow(int64_t needed, int64_t minimum)
{
    if (needed > kStreamMaxSize - m_position) return false;
    int64_t size = Max64(Max64(m_size * 2, needed), Max64(minimum, m_position + needed));
    size = Min64(size, kStreamMaxSize);
    if (m_borrowed) {
        auto* block = static_cast<uint8_t*>(MEM_ALLOC_CLEAR(uint32_t(size)));
        if (m_size) std::memcpy(block, m_data, size_t(m_size));
        m_data = block;
        m_borrowed = false;
    } else {
        m_data = static_cast<uint8_t*>(MEM_REALLOC(m_data, uint32_t(size)));
    }
    m_size = size;
    return true;
}

void CStream::TrimToPosition()
{
    if (m_borrowed || m_position == m_size) return;
    if (m_position == 0) {
        Free();
        return;
    }
    m_data = static_cast<uint8_t*>(MEM_REALLOC(m_data, uint32_t(m_position)));
    m_size = m_position;
}

// [SECTION] Position

void CStream::Seek(int64_t position) { m_position = Max64(0, Min64(position, m_size)); }

int64_t CStream::Seek(int64_t offset, int32_t origin)
{
    int64_t base;
    switch (origin) {
    case 0: base = 0; break;
    case 1: base = m_position; break;
    case 2: base = m_size; break;
    default: return m_position;
    }
    // Offsets come from scripts and data: keep the sum from overflowing before clamping.
    if (offset > m_size - base) Seek(m_size);
    else if (offset < -base) Seek(0);
    else Seek(base + offset);
    return m_position;
}

// [SECTION] Raw bytes and fixed-size values

int64_t CStream::ReadBuffer(void* destination, int64_t n)
{
    if (!destination || n < 1) return 0;
    int64_t count = Min64(n, m_size - m_position);
    if (count <= 0) return 0;
    std::memcpy(destination, m_data + m_position, size_t(count));
    m_position += count;
    return count;
}

int64_t CStream::WriteBuffer(const void* source, int64_t n)
{
    if (!source || n < 1) return 0;
    if (m_size - m_position < n) {
        // A source inside this block moves with it when the block is resized.
        const auto* from = static_cast<const uint8_t*>(source);
        bool inside = m_data && from >= m_data && from < m_data + m_size;
        int64_t offset = inside ? from - m_data : 0;
        if (!Grow(n, 0)) return 0;
        if (inside) source = m_data + offset;
    }
    std::memmove(m_data + m_position, source, size_t(n));
    m_position += n;
    return n;
}

// Reads n bytes; the part past the end of the data reads as zeros. At the end nothing moves.
void CStream::ReadFixed(void* out, int64_t n)
{
    std::memset(out, 0, size_t(n));
    int64_t count = Min64(n, m_size - m_position);
    if (count <= 0) return;
    std::memcpy(out, m_data + m_position, size_t(count));
    m_position += count;
}

int32_t CStream::ReadInteger()
{
    uint8_t b[4];
    ReadFixed(b, 4);
    uint32_t v = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    return int32_t(v);
}

double CStream::ReadReal()
{
    uint8_t b[8];
    ReadFixed(b, 8);
    uint64_t v = 0;
    for (int i = 7; i >= 0; i--) v = v << 8 | b[i];
    double d;
    std::memcpy(&d, &v, 8);
    return d;
}

bool CStream::ReadBoolean() { return ReadInteger() != 0; }

void CStream::WriteInteger(int32_t value)
{
    uint32_t v = uint32_t(value);
    uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    if (m_size - m_position < 4 && !Grow(4, 4)) return;
    WriteBuffer(b, 4);
}

void CStream::WriteReal(double value)
{
    uint64_t v;
    std::memcpy(&v, &value, 8);
    uint8_t b[8];
    for (int i = 0; i < 8; i++) b[i] = uint8_t(v >> (8 * i));
    if (m_size - m_position < 8 && !Grow(8, 8)) return;
    WriteBuffer(b, 8);
}

void CStream::WriteBoolean(bool value) { WriteInteger(value ? 1 : 0); }

// [SECTION] Length-prefixed forms

int64_t CStream::ReadLength()
{
    if (m_size - m_position < 4) {
        Exhaust();
        return -1;
    }
    int64_t n = int64_t(uint32_t(ReadInteger()));
    if (n > m_size - m_position) {
        Exhaust();
        return -1;
    }
    return n;
}

void CStream::ReadStringTo(char** out)
{
    char* text = nullptr;
    int64_t n = ReadLength();
    if (n > 0) {
        text = static_cast<char*>(MEM_ALLOC_CLEAR(uint32_t(n + 1)));
        ReadBuffer(text, n);
    }
    if (out) *out = text;
    else MEM_FREE(text);
}

char* CStream::ReadString()
{
    char* text = nullptr;
    ReadStringTo(&text);
    return text;
}

void CStream::WriteString(const char* text)
{
    size_t n = text ? std::strlen(text) : 0;
    if (int64_t(n) > kStreamMaxSize) n = 0; // cannot be stored; keep the stream readable
    WriteInteger(int32_t(uint32_t(n)));
    if (n) WriteBuffer(text, int64_t(n));
}

int64_t CStream::CopyFrom(CStream* source, int64_t count, bool borrow)
{
    if (!source || source == this) return 0;
    if (count == 0) {
        source->m_position = 0;
        int64_t written = WriteBuffer(source->m_data, source->m_size);
        source->m_position = source->m_size;
        return written;
    }
    int64_t remaining = source->m_size - source->m_position;
    if (!borrow) {
        int64_t n = Min64(count, remaining);
        if (n <= 0) return 0;
        int64_t written = WriteBuffer(source->m_data + source->m_position, n);
        source->m_position += n;
        return written;
    }
    DropView();
    if (count < 0 || count > remaining) return 0;
    m_borrowed = true;
    m_data = source->m_data + source->m_position;
    m_size = count;
    m_position = count;
    source->m_position += count;
    return count;
}

CStream* CStream::ReadStream()
{
    int64_t n = ReadLength();
    CStream* s = new CStream(n > 0 ? n : 0);
    if (n > 0) ReadBuffer(s->m_data, n);
    return s;
}

// [SECTION] Files

void CStream::LoadFromFile(const char* name, int64_t offset)
{
    DropView();
    int32_t fileSize = 0;
    uint8_t* file = LoadSave_ReadGameFile(name, &fileSize);
    if (!file) return;
    if (offset >= 0 && offset < fileSize) {
        m_size = fileSize - offset;
        m_data = static_cast<uint8_t*>(MEM_ALLOC(uint32_t(m_size)));
        std::memcpy(m_data, file + offset, size_t(m_size));
    }
    MEM_FREE(file);
}

bool CStream::SaveToFile(const char* name)
{
    if (!m_data || !name) return false;
    return File_WriteAll(File_Resolve(name).c_str(), m_data, m_position);
}

// [SECTION] Hexadecimal text

void CStream::ToHexString(char** out) const
{
    if (!out) return;
    *out = nullptr;
    if (m_position <= 0) return;
    static const char kDigits[] = "0123456789ABCDEF";
    char* text = static_cast<char*>(MEM_ALLOC(uint32_t(m_position * 2 + 1)));
    for (int64_t i = 0; i < m_position; i++) {
        text[2 * i] = kDigits[m_data[i] >> 4];
        text[2 * i + 1] = kDigits[m_data[i] & 15];
    }
    text[m_position * 2] = 0;
    *out = text;
}

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

} // namespace

// The text is taken in pairs from its start; a pair counts when both characters are hex
// digits, and each counted pair becomes one byte (high nibble first). An odd last character
// is ignored. An empty text changes nothing; one without a counted pair empties the stream.
void CStream::FromHexString(const char* text)
{
    if (!text || !*text) return;
    size_t length = std::strlen(text);
    int64_t count = 0;
    for (size_t i = 0; i + 1 < length; i += 2)
        if (HexValue(text[i]) >= 0 && HexValue(text[i + 1]) >= 0) count++;
    DropView();
    count = Min64(count, kStreamMaxSize);
    if (count == 0) return;
    m_data = static_cast<uint8_t*>(MEM_ALLOC(uint32_t(count)));
    m_size = count;
    int64_t at = 0;
    for (size_t i = 0; i + 1 < length && at < count; i += 2) {
        int hi = HexValue(text[i]), lo = HexValue(text[i + 1]);
        if (hi >= 0 && lo >= 0) m_data[at++] = uint8_t(hi << 4 | lo);
    }
}

// [SECTION] Seed-table permutation

void Stream_BuildSeedTables(int32_t seed, uint8_t forward[256], uint8_t inverse[256])
{
    int32_t q = seed / 250;
    int32_t r = seed - 250 * q + 6;
    if (r < 0) r += 256;
    if (q < 0) q += 256;
    for (int v = 0; v < 256; v++) forward[v] = inverse[v] = uint8_t(v);
    int64_t k = int64_t(q) + r;
    for (int n = 0; n < 10000; n++) {
        // The remainder is taken into 0..253 so that the swap stays inside 1..255 even for
        // seeds whose running sum is negative; for every other seed it is the plain one.
        int64_t j = ((k % 254) + 254) % 254;
        uint8_t t = forward[j + 1];
        forward[j + 1] = forward[j + 2];
        forward[j + 2] = t;
        k += r;
    }
    for (int v = 1; v < 256; v++) inverse[forward[v]] = uint8_t(v);
}

void CStream::ApplySeedTable(int32_t seed, int64_t start, int64_t length)
{
    uint8_t forward[256], inverse[256];
    Stream_BuildSeedTables(seed, forward, inverse);
    start = Max64(0, Min64(start, m_size));
    if (length < 1 || length > m_size - start) length = m_size - start;
    for (int64_t i = start; i < start + length; i++) m_data[i] = inverse[m_data[i]];
}

// [SECTION] zlib blocks

namespace {

// Inflates n bytes at input into result. 0 at the end of the zlib stream; the zlib error for
// a memory or data error (a dictionary request counts as a data error); -1 when the output
// could not be stored; a data error when the input ends before the zlib stream does.
int Inflate(const uint8_t* input, int64_t n, CStream* result)
{
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    int ret = inflateInit(&zs);
    if (ret != Z_OK) return ret;
    uint8_t out[kZChunk];
    int64_t used = 0;
    do {
        uInt chunk = uInt(Min64(kZChunk, n - used));
        if (chunk == 0) break;
        zs.next_in = const_cast<Bytef*>(input + used);
        zs.avail_in = chunk;
        used += chunk;
        do {
            zs.next_out = out;
            zs.avail_out = kZChunk;
            ret = inflate(&zs, Z_NO_FLUSH);
            if (ret == Z_NEED_DICT || ret == Z_STREAM_ERROR) ret = Z_DATA_ERROR;
            if (ret == Z_DATA_ERROR || ret == Z_MEM_ERROR) {
                inflateEnd(&zs);
                return ret;
            }
            int64_t have = kZChunk - zs.avail_out;
            if (have > 0 && result->WriteBuffer(out, have) != have) {
                inflateEnd(&zs);
                return -1;
            }
        } while (zs.avail_out == 0 && ret != Z_STREAM_END);
    } while (ret != Z_STREAM_END);
    inflateEnd(&zs);
    return ret == Z_STREAM_END ? Z_OK : Z_DATA_ERROR;
}

} // namespace

CStream* ZDecompressStream(CStream* source)
{
    if (!source) return nullptr;
    int64_t start = source->GetPosition();
    // The length word, validated against what remains (the source is left at its end when
    // the block does not fit).
    CStream* result = new CStream(0);
    CStream view(0);
    int32_t n = 0;
    if (source->GetSize() - start >= 4) {
        n = source->ReadInteger();
        if (n > 0 && view.CopyFrom(source, n, true) != n) n = -1;
    }
    if (n <= 0) {
        source->Seek(source->GetSize());
        CStream::Delete(result);
        return nullptr;
    }
    Console_Output("ZDecompressStream %d\n", n);
    int ret = Inflate(view.GetMemory(), view.GetSize(), result);
    Console_Output("Done ZDecompressStream\n");
    if (ret != Z_OK) {
        CStream::Delete(result);
        return nullptr;
    }
    result->TrimToPosition();
    result->Seek(0);
    return result;
}

int32_t ZCompressStream(CStream* dest, CStream* source)
{
    if (!dest || !source) return -1;
    int64_t saved = source->GetPosition();
    const uint8_t* input = source->GetMemory();
    int64_t size = source->GetSize();

    CStream packed(0);
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (deflateInit(&zs, Z_DEFAULT_COMPRESSION) != Z_OK) return -1;
    uint8_t out[kZChunk];
    int64_t used = 0;
    int flush;
    bool ok = true;
    do {
        uInt chunk = uInt(Min64(kZChunk, size - used));
        zs.next_in = const_cast<Bytef*>(input ? input + used : nullptr);
        zs.avail_in = chunk;
        used += chunk;
        flush = used >= size ? Z_FINISH : Z_NO_FLUSH;
        do {
            zs.next_out = out;
            zs.avail_out = kZChunk;
            deflate(&zs, flush);
            int64_t have = kZChunk - zs.avail_out;
            if (have > 0 && packed.WriteBuffer(out, have) != have) ok = false;
        } while (zs.avail_out == 0 && ok);
    } while (flush != Z_FINISH && ok);
    deflateEnd(&zs);
    source->Seek(saved);
    if (!ok) return -1;

    int64_t n = packed.GetPosition();
    int64_t before = dest->GetPosition();
    dest->WriteInteger(int32_t(n));
    if (dest->GetPosition() != before + 4 || dest->WriteBuffer(packed.GetMemory(), n) != n) return -1;
    return 0;
}
