// IBuffer, Buffer_Standard and Buffer_Fast: entries, positions, alignment and wrapping, the
// block operations (peek, poke, fill, copy, resize), files, base64 and digests of ranges, and
// the string and number shorthands (Files/Buffer/IBuffer.h). The buffer table lives in
// Buffer_Main.cpp.
//
// Needs the memory manager, Files/Base (base64, MD5, SHA-1, real conversions, the quit
// request), the save-area files of Files/Support/LoadSave.h. No Linux/ file.
//
// Index: [SECTION] Entries, Construction, Write and read, Seek, Peek and poke, Resize, Copy,
//        Fill, Files, Base64 and digests, Fast buffers, Shorthands
#include "Files/Buffer/IBuffer.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "Files/Base/Base64.h"
#include "Files/Base/MD5.h"
#include "Files/Base/QuitRequest.h"
#include "Files/Base/RealConvert.h"
#include "Files/Base/SHA1.h"
#include "Files/Base/Value.h"
#include "Files/Support/LoadSave.h"
#include "Platform/MemoryManager.h"

// =============================================================================================
// [SECTION] Entries
// =============================================================================================
namespace {

// One encoded entry: its bytes (numbers in small, texts in place) and length.
struct Entry {
    uint8_t small[8];
    const uint8_t* bytes;
    int64_t length;
};

char g_emptyText[1] = {0};

inline uint32_t Trunc32(double x) { return uint32_t(Real_TruncToInt32(x)); }

// Encodes value as an entry of type (1..11 but 7): numbers from the real, type 11 from the
// text (a value without text writes the empty text).
void Encode(int32_t type, const ScriptValue* value, Entry* e)
{
    const double x = value->real;
    e->bytes = e->small;
    switch (type) {
    case eBuffer_U8:
    case eBuffer_S8: e->small[0] = uint8_t(Trunc32(x)); e->length = 1; break;
    case eBuffer_U16:
    case eBuffer_S16: {
        const uint16_t v = uint16_t(Trunc32(x));
        std::memcpy(e->small, &v, 2);
        e->length = 2;
        break;
    }
    case eBuffer_U32: {
        const uint32_t v = uint32_t(uint64_t(Real_TruncToInt64(x)));
        std::memcpy(e->small, &v, 4);
        e->length = 4;
        break;
    }
    case eBuffer_S32: {
        const uint32_t v = Trunc32(x);
        std::memcpy(e->small, &v, 4);
        e->length = 4;
        break;
    }
    case eBuffer_F32: {
        const float v = float(x);
        std::memcpy(e->small, &v, 4);
        e->length = 4;
        break;
    }
    case eBuffer_F64: std::memcpy(e->small, &x, 8); e->length = 8; break;
    case eBuffer_Bool: e->small[0] = x > 0.5 ? 1 : 0; e->length = 1; break;
    default: { // eBuffer_String
        const char* t = value->kind == VALUE_STRING && value->text ? value->text : g_emptyText;
        e->bytes = reinterpret_cast<const uint8_t*>(t);
        e->length = int64_t(std::strlen(t)) + 1;
        break;
    }
    }
}

// The number an entry of type (1..6, 8..10) holds.
double Decode(int32_t type, const uint8_t* b)
{
    switch (type) {
    case eBuffer_U8:
    case eBuffer_Bool: return double(b[0]);
    case eBuffer_S8: return double(int8_t(b[0]));
    case eBuffer_U16: {
        uint16_t v;
        std::memcpy(&v, b, 2);
        return double(v);
    }
    case eBuffer_S16: {
        int16_t v;
        std::memcpy(&v, b, 2);
        return double(v);
    }
    case eBuffer_U32: {
        uint32_t v;
        std::memcpy(&v, b, 4);
        return double(v);
    }
    case eBuffer_S32: {
        int32_t v;
        std::memcpy(&v, b, 4);
        return double(v);
    }
    case eBuffer_F32: {
        float v;
        std::memcpy(&v, b, 4);
        return double(v);
    }
    case eBuffer_F64: {
        double v;
        std::memcpy(&v, b, 8);
        return v;
    }
    default: return 0.0;
    }
}

inline bool Writable(int32_t type) { return type >= 1 && type <= 11 && type != eBuffer_F16; }

inline int32_t RoundAlignment(int32_t alignment)
{
    int32_t a = 1;
    while (a < alignment && a < kBufferMaxAlignment) a <<= 1;
    return a;
}

inline uint8_t* AlignedStart(uint8_t* raw, int32_t alignment)
{
    const uintptr_t p = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t a = uintptr_t(alignment);
    return raw + ((a - p % a) % a);
}

// x modulo m in 0..m-1 (m > 0).
inline int64_t Mod(int64_t x, int64_t m)
{
    const int64_t r = x % m;
    return r < 0 ? r + m : r;
}

inline void SetZero(ScriptValue* value)
{
    Value_FreeString(value);
    *value = Value_Real(0.0);
}

} // namespace

int32_t Buffer_SizeOfType(int32_t type)
{
    switch (type) {
    case eBuffer_U8:
    case eBuffer_S8:
    case eBuffer_Bool: return 1;
    case eBuffer_U16:
    case eBuffer_S16:
    case eBuffer_F16: return 2;
    case eBuffer_U32:
    case eBuffer_S32:
    case eBuffer_F32: return 4;
    case eBuffer_F64: return 8;
    default: return 0;
    }
}

// =============================================================================================
// [SECTION] Construction
// =============================================================================================

IBuffer::IBuffer() = default;

IBuffer::IBuffer(int32_t size, int32_t type, int32_t alignment)
{
    m_size = size < 0 ? 0 : size > kBufferMaxSize ? kBufferMaxSize : size;
    m_type = type;
    m_alignment = RoundAlignment(alignment);
    m_blockSize = m_size + m_alignment;
    m_pRawBlock = static_cast<uint8_t*>(MEM_ALLOC_CLEAR(m_blockSize));
    m_pData = AlignedStart(m_pRawBlock, m_alignment);
}

IBuffer::IBuffer(void* memory, int32_t size, int32_t type, int32_t alignment, bool owns)
{
    m_pRawBlock = static_cast<uint8_t*>(memory);
    m_pData = m_pRawBlock;
    m_size = memory && size > 0 ? size : 0;
    m_blockSize = m_size;
    m_type = type;
    m_alignment = RoundAlignment(alignment);
    m_ownsBlock = owns;
}

IBuffer::~IBuffer()
{
    if (m_ownsBlock) MEM_FREE(m_pRawBlock);
}

void IBuffer::WrapBack()
{
    m_wrapPhase = int32_t((int64_t(m_wrapPhase) + m_size) % m_alignment);
    m_position -= m_size;
}

void IBuffer::AlignPosition()
{
    if (m_alignment > 1) {
        int64_t p = int64_t(m_position) + m_wrapPhase + m_alignment - 1;
        p &= ~int64_t(m_alignment - 1);
        m_position = int32_t(p - m_wrapPhase);
    }
    if (IsWrap() && m_size > 0)
        while (m_position >= m_size) WrapBack();
}

bool IBuffer::GrowTo(int64_t needed)
{
    if (needed > kBufferMaxSize) return false;
    int64_t size = m_size < 1 ? 1 : m_size;
    while (size < needed) size *= 2;
    if (size > kBufferMaxSize) size = kBufferMaxSize;
    return Resize(int32_t(size));
}

// =============================================================================================
// [SECTION] Write and read
// =============================================================================================

int32_t IBuffer::Write(int32_t type, ScriptValue* value)
{
    AlignPosition();
    if (m_position >= m_size && !IsGrow()) return -2;
    if (!Writable(type)) return -1;
    Entry e;
    Encode(type, value, &e);
    if (type == eBuffer_U8 || type == eBuffer_S8) {
        // One byte: a grow buffer standing at (or past) its end first grows until the position
        // lies inside; once the byte fills the block, a wrap buffer steps back and a grow
        // buffer doubles.
        if (m_position >= m_size && !GrowTo(int64_t(m_position) + 1)) return -2;
        m_pData[m_position++] = e.bytes[0];
        if (m_position >= m_size) {
            if (IsWrap()) WrapBack();
            else if (IsGrow()) GrowTo(int64_t(m_size) * 2);
        }
        return 0;
    }
    const int64_t end = int64_t(m_position) + e.length;
    if (end > m_size) {
        if (IsGrow()) {
            if (!GrowTo(end)) return -2;
        } else if (!IsWrap()) {
            return -2;
        }
    }
    if (!IsWrap()) {
        std::memcpy(m_pData + m_position, e.bytes, size_t(e.length));
        m_position = int32_t(end);
        return 0;
    }
    // Wrap: only the last `size` bytes of a longer entry stay; the phase counts every wrap.
    const uint8_t* src = e.bytes;
    int64_t left = e.length;
    if (left > m_size) {
        const int64_t skip = left - m_size;
        const int64_t p = int64_t(m_position) + skip;
        const int64_t wraps = p / m_size;
        m_wrapPhase = int32_t((m_wrapPhase + (wraps % m_alignment) * (m_size % m_alignment)) % m_alignment);
        m_position = int32_t(p % m_size);
        src += skip;
        left = m_size;
    }
    while (left > 0) {
        const int64_t chunk = left < m_size - m_position ? left : m_size - m_position;
        std::memcpy(m_pData + m_position, src, size_t(chunk));
        src += chunk;
        left -= chunk;
        m_position += int32_t(chunk);
        if (m_position >= m_size) WrapBack();
    }
    return 0;
}

int32_t IBuffer::Read(int32_t type, ScriptValue* value)
{
    SetZero(value);
    m_lastReadEmpty = false;
    AlignPosition();
    if (m_position >= m_size) {
        value->real = -3.0;
        m_lastReadEmpty = true;
        return 0;
    }
    if (type == eBuffer_String) {
        // Up to the zero byte, or to the end of the block when there is none.
        const uint8_t* start = m_pData + m_position;
        const size_t avail = size_t(m_size - m_position);
        const void* zero = std::memchr(start, 0, avail);
        const size_t length = zero ? size_t(static_cast<const uint8_t*>(zero) - start) : avail;
        Value_SetStringOwned(value, MEM_STRDUPN(reinterpret_cast<const char*>(start), length));
        m_position = zero ? m_position + int32_t(length) + 1 : m_size;
        if (IsWrap() && m_position >= m_size) WrapBack();
        return 0;
    }
    const int32_t n = Buffer_SizeOfType(type);
    if (!IsWrap() && int64_t(m_position) + n > m_size) {
        value->real = -3.0;
        m_lastReadEmpty = true;
        return 0;
    }
    uint8_t b[8];
    if (!IsWrap()) {
        std::memcpy(b, m_pData + m_position, size_t(n));
        m_position += n;
    } else {
        for (int32_t i = 0; i < n; ++i) {
            b[i] = m_pData[m_position++];
            if (m_position >= m_size) WrapBack();
        }
    }
    if (!Writable(type)) return -1;
    value->real = Decode(type, b);
    return 0;
}

int32_t IBuffer::WriteU32(double number)
{
    ScriptValue v = Value_Real(number);
    return Write(eBuffer_U32, &v);
}

// =============================================================================================
// [SECTION] Seek
// =============================================================================================

int32_t IBuffer::Seek(int32_t base, int32_t offset)
{
    const int64_t last = m_size > 0 ? m_size - 1 : 0;
    switch (base) {
    case eSeek_Start: {
        const int64_t p = offset < 0 ? 0 : offset > last ? last : offset;
        m_position = int32_t(p);
        m_wrapPhase = 0;
        break;
    }
    case eSeek_Relative: {
        const int64_t p = int64_t(m_position) + offset;
        if (!IsWrap() || m_size == 0) {
            m_position = int32_t(p < 0 ? 0 : p > last ? last : p);
        } else {
            // Each size gone forward adds the size to the phase; each size gone back takes it
            // off again.
            const int64_t q = (p - Mod(p, m_size)) / m_size;
            m_wrapPhase = int32_t(Mod(m_wrapPhase + Mod(q, m_alignment) * (m_size % m_alignment), m_alignment));
            m_position = int32_t(Mod(p, m_size));
        }
        break;
    }
    case eSeek_End: {
        int64_t o = offset < 0 ? 0 : offset;
        if (o >= int64_t(m_size) - 1) o = int64_t(m_size) - 2;
        int64_t p = int64_t(m_size) - 1 - o;
        m_position = int32_t(p < 0 ? 0 : p > last ? last : p);
        m_wrapPhase = 0;
        break;
    }
    default: break;
    }
    return m_position;
}

// =============================================================================================
// [SECTION] Peek and poke
// =============================================================================================

void IBuffer::Peek(int32_t offset, int32_t type, ScriptValue* value)
{
    SetZero(value);
    const int32_t n = Buffer_SizeOfType(type);
    if (offset < 0 || m_size == 0 || n == 0 || type == eBuffer_F16) return;
    uint8_t b[8];
    if (!IsWrap()) {
        if (int64_t(offset) + n > m_size) return;
        std::memcpy(b, m_pData + offset, size_t(n));
    } else {
        int64_t at = offset % m_size;
        for (int32_t i = 0; i < n; ++i) {
            b[i] = m_pData[at];
            if (++at == m_size) at = 0;
        }
    }
    value->real = Decode(type, b);
}

void IBuffer::Poke(int32_t offset, int32_t type, const ScriptValue* value)
{
    if (offset < 0 || !Writable(type) || m_size == 0) return;
    Entry e;
    Encode(type, value, &e);
    if (!IsWrap()) {
        if (int64_t(offset) + e.length > m_size) return;
        std::memcpy(m_pData + offset, e.bytes, size_t(e.length));
        return;
    }
    // Only the last `size` bytes of a longer entry stay.
    const int64_t first = e.length > m_size ? e.length - m_size : 0;
    int64_t at = (int64_t(offset) + first) % m_size;
    for (int64_t i = first; i < e.length; ++i) {
        m_pData[at] = e.bytes[i];
        if (++at == m_size) at = 0;
    }
}

// =============================================================================================
// [SECTION] Resize
// =============================================================================================

bool IBuffer::Resize(int32_t newSize)
{
    if (newSize < 0 || newSize > kBufferMaxSize) return false;
    uint8_t* raw = static_cast<uint8_t*>(MEM_ALLOC_CLEAR(newSize + m_alignment));
    uint8_t* data = AlignedStart(raw, m_alignment);
    const int32_t keep = m_size < newSize ? m_size : newSize;
    if (keep > 0 && m_pData) std::memcpy(data, m_pData, size_t(keep));
    if (m_ownsBlock) MEM_FREE(m_pRawBlock);
    m_pRawBlock = raw;
    m_blockSize = newSize + m_alignment;
    m_pData = data;
    m_size = newSize;
    m_ownsBlock = true;
    if (m_position >= newSize) {
        m_position = 0;
        m_wrapPhase = 0;
    }
    return true;
}

// =============================================================================================
// [SECTION] Copy
// =============================================================================================

bool Buffer_CopyMemory(IBuffer* destination, const void* source, int32_t sourceSize, int32_t sourceOffset,
                       int32_t count, int32_t destinationOffset, bool grow, bool destinationWraps, bool sourceWraps)
{
    if (!destination || !source || sourceSize < 1) return false;
    int64_t n = count < 0 ? sourceSize : count;
    int64_t so = sourceOffset;
    if (sourceWraps) {
        so = Mod(so, sourceSize);
        if (so + n <= sourceSize) sourceWraps = false;
    } else {
        if (so < 0) so = 0;
        if (so >= sourceSize) so = sourceSize - 1;
        if (n > sourceSize - so) n = sourceSize - so;
    }
    int64_t dof = destinationOffset;
    if (grow) {
        if (dof < 0) dof = 0;
        if (destination->Size() < dof + n) {
            if (dof + n > kBufferMaxSize) return false;
            destination->Resize(int32_t(dof + n));
        }
        destinationWraps = false; // it holds the whole copy now
    } else {
        const int64_t size = destination->Size();
        if (size == 0) return false;
        if (destinationWraps) {
            dof = Mod(dof, size);
        } else if (dof < 0) {
            dof = 0;
            if (n > size) n = size;
        } else if (dof >= size) {
            dof = size - 1;
            if (n > 1) n = 1;
        } else if (n > size - dof) {
            n = size - dof;
        }
    }
    const int64_t dsize = destination->Size();
    uint8_t* dst = destination->Data();
    const uint8_t* src = static_cast<const uint8_t*>(source);
    if (!sourceWraps && !destinationWraps) {
        if (n > 0) std::memmove(dst + dof, src + so, size_t(n));
        return true;
    }
    if (destinationWraps && n > dsize) {
        // Only the last `size` bytes of the copy stay in a wrapping destination.
        const int64_t skip = n - dsize;
        so = sourceWraps ? (so + skip) % sourceSize : so + skip;
        dof = (dof + skip) % dsize;
        n = dsize;
    }
    while (n > 0) {
        int64_t chunk = n;
        if (sourceWraps && chunk > sourceSize - so) chunk = sourceSize - so;
        if (destinationWraps && chunk > dsize - dof) chunk = dsize - dof;
        std::memmove(dst + dof, src + so, size_t(chunk));
        n -= chunk;
        so += chunk;
        dof += chunk;
        if (sourceWraps && so == sourceSize) so = 0;
        if (destinationWraps && dof == dsize) dof = 0;
    }
    return true;
}

bool Buffer_CopyMemory(IBuffer* buffer, const void* source, int32_t size)
{
    return buffer && buffer->CopyFromMemory(source, size, 0, size, 0);
}

bool IBuffer::CopyFromMemory(const void* bytes, int32_t size, int32_t sourceOffset, int32_t count,
                             int32_t destinationOffset)
{
    if (!bytes) return false;
    return Buffer_CopyMemory(this, bytes, size, sourceOffset, count, destinationOffset, IsGrow() || m_size == 0,
                             IsWrap(), false);
}

bool IBuffer::Copy(int32_t sourceOffset, int32_t count, IBuffer* destination, int32_t destinationOffset)
{
    if (!destination) return false;
    const bool grow = destination->IsGrow() || destination->Size() == 0;
    if (destination != this)
        return Buffer_CopyMemory(destination, m_pData, m_size, sourceOffset, count, destinationOffset, grow,
                                 destination->IsWrap(), IsWrap());
    // Onto itself: from a copy, since growing replaces the block.
    if (m_size < 1) return false;
    uint8_t* copy = static_cast<uint8_t*>(MEM_ALLOC(m_size));
    std::memcpy(copy, m_pData, size_t(m_size));
    const bool ok = Buffer_CopyMemory(this, copy, m_size, sourceOffset, count, destinationOffset, grow, IsWrap(),
                                      IsWrap());
    MEM_FREE(copy);
    return ok;
}

uint8_t* IBuffer::GetBytes(int32_t offset, int32_t count, int32_t* length) const
{
    *length = 0;
    if (m_size < 1) return nullptr;
    int64_t o = offset < 0 ? 0 : offset >= m_size ? m_size - 1 : offset;
    int64_t n = count < 0 ? m_size : count;
    if (n > m_size - o) n = m_size - o;
    *length = int32_t(n);
    if (n == 0) return nullptr;
    uint8_t* block = static_cast<uint8_t*>(MEM_ALLOC(n));
    std::memcpy(block, m_pData + o, size_t(n));
    return block;
}

// =============================================================================================
// [SECTION] Fill
// =============================================================================================

void IBuffer::Fill(int32_t offset, int32_t count, int32_t type, const ScriptValue* value, int32_t stride,
                   bool zeroGaps)
{
    if (m_size == 0 || !Writable(type)) return;
    Entry e;
    Encode(type, value, &e);
    const int64_t size = m_size;
    int64_t p = offset;
    int64_t n = count < 0 ? size : count;
    if (IsWrap()) {
        p = Mod(p, size);
    } else {
        if (p < 0 || p >= size) return;
        if (n > size - p) n = size - p;
    }
    const int64_t end = p + n;
    const int64_t entryLength = stride > 0 && e.length > stride ? stride : e.length;
    const int64_t mask = ~int64_t(m_alignment - 1);
    auto alignUp = [&](int64_t x) { return (x + m_alignment - 1) & mask; };
    // Writes bytes at p (positions wrap on a wrap buffer; elsewhere they lie inside).
    auto put = [&](int64_t at, const uint8_t* bytes, int64_t length) {
        int64_t w = at % size;
        while (length > 0) {
            int64_t chunk = length < size - w ? length : size - w;
            if (bytes) {
                std::memcpy(m_pData + w, bytes, size_t(chunk));
                bytes += chunk;
            } else {
                std::memset(m_pData + w, 0, size_t(chunk));
            }
            length -= chunk;
            w = 0;
        }
    };
    auto gap = [&](int64_t from, int64_t to) {
        if (zeroGaps && to > from) put(from, nullptr, to - from);
    };
    if (stride <= 0) {
        const int64_t first = alignUp(p) < end ? alignUp(p) : end;
        gap(p, first);
        p = first;
    }
    const int64_t period = stride > 0 ? stride : alignUp(entryLength);
    if (zeroGaps && IsWrap() && end - p > size + 2 * period) {
        // Everything but the last `size` bytes (and a period) is written over again: skip
        // whole periods of it.
        p += (end - p - size - period) / period * period;
    }
    // A megabyte at a time, then the quit request is read (a quit: the bytes written stay).
    constexpr int64_t kFillRun = int64_t(1) << 20;
    while (p < end) {
        const int64_t runEnd = end - p > kFillRun ? p + kFillRun : end;
        while (p < runEnd) {
            if (end - p < entryLength) {
                gap(p, end);
                p = end;
                break;
            }
            put(p, e.bytes, entryLength);
            int64_t next = stride > 0 ? p + stride : alignUp(p + entryLength);
            if (next > end) next = end;
            gap(p + entryLength, next);
            p = next;
        }
        if (p < end && QuitRequest_Pending()) break;
    }
}

// =============================================================================================
// [SECTION] Files
// =============================================================================================

bool IBuffer::Save(const char* name, int32_t offset, int32_t count)
{
    if (!name) return false;
    int32_t length = 0;
    uint8_t* bytes = GetBytes(offset, count, &length);
    const bool ok = LoadSave_WriteSaveFile(name, bytes ? bytes : reinterpret_cast<uint8_t*>(g_emptyText), length);
    MEM_FREE(bytes);
    return ok;
}

bool IBuffer::Load(const char* name, int32_t sourceOffset, int32_t count, int32_t destinationOffset)
{
    if (!name || std::strncmp(name, "http://", 7) == 0 || std::strncmp(name, "https://", 8) == 0) return false;
    int32_t size = 0;
    uint8_t* data = LoadSave_ReadGameFile(name, &size);
    if (!data) return false;
    const bool ok = CopyFromMemory(data, size, sourceOffset, count, destinationOffset);
    MEM_FREE(data);
    return ok;
}

// =============================================================================================
// [SECTION] Base64 and digests
// =============================================================================================

void IBuffer::Base64Encode(ScriptValue* value, int32_t offset, int32_t count)
{
    int32_t length = 0;
    uint8_t* bytes = GetBytes(offset, count, &length);
    char* text = static_cast<char*>(MEM_ALLOC_CLEAR(Base64_EncodedSize(uint32_t(length))));
    QuitPoll poll;
    if (length > 0 && Base64_Encode(bytes, length, text, &poll) < 0) text[0] = '\0'; // a quit: no text
    MEM_FREE(bytes);
    Value_SetStringOwned(value, text);
}

bool IBuffer::Base64Decode(const char* text, int32_t offset, int32_t count)
{
    if (!text) return false;
    const int64_t n = int64_t(std::strlen(text));
    const int64_t blockSize = 3 * n / 4 + 4;
    if (blockSize > kBufferMaxSize) return false;
    uint8_t* block = static_cast<uint8_t*>(MEM_ALLOC_CLEAR(blockSize));
    QuitPoll poll;
    const bool ok = Base64_Decode(text, int32_t(blockSize), block, false, &poll) >= 0 &&
                    CopyFromMemory(block, int32_t(blockSize), 0, count, offset);
    MEM_FREE(block);
    return ok;
}

namespace {

constexpr int64_t kDigestRun = 65536;

// Calls feed(bytes, length) over the range of a digest (see IBuffer::MD5), a run at a time;
// false when a quit request stopped it.
template <class Feed>
bool DigestRange(const IBuffer* b, int32_t offset, int32_t count, Feed&& whole)
{
    QuitPoll poll;
    bool stopped = false;
    auto feed = [&](const uint8_t* p, uint32_t n) {
        for (uint32_t at = 0; at < n && !stopped; at += uint32_t(kDigestRun)) {
            const uint32_t run = n - at < uint32_t(kDigestRun) ? n - at : uint32_t(kDigestRun);
            whole(p + at, run);
            stopped = poll.Stop(run);
        }
    };
    const int64_t size = b->Size();
    int64_t n = count < 0 ? size : count;
    int64_t o = offset;
    if (b->IsWrap()) {
        o = Mod(o, size);
        if (n > size - o && size < kDigestRun) {
            // A small buffer read round many times: its bytes from the offset, repeated into a
            // run of whole turns, are fed a run at a time.
            const int64_t turns = kDigestRun / size;
            uint8_t* run = static_cast<uint8_t*>(MEM_ALLOC(turns * size));
            for (int64_t i = 0; i < turns * size; ++i) run[i] = b->Data()[(o + i) % size];
            for (; n >= turns * size && !stopped; n -= turns * size) feed(run, uint32_t(turns * size));
            if (n > 0) feed(run, uint32_t(n));
            MEM_FREE(run);
            return !stopped;
        }
        while (n > 0 && !stopped) {
            const int64_t chunk = n < size - o ? n : size - o;
            feed(b->Data() + o, uint32_t(chunk));
            n -= chunk;
            o = 0;
        }
        return !stopped;
    }
    if (o < 0) o = 0;
    if (o >= size) o = size - 1;
    if (n > size - o) n = size - o;
    feed(b->Data() + o, uint32_t(n));
    return !stopped;
}

} // namespace

void IBuffer::MD5(ScriptValue* value, int32_t offset, int32_t count)
{
    if (m_size == 0) return;
    MD5Context ctx;
    MD5_Init(&ctx);
    if (!DigestRange(this, offset, count, [&](const uint8_t* p, uint32_t n) { MD5_Update(&ctx, p, n); })) return;
    uint8_t digest[16];
    MD5_Final(digest, &ctx);
    char hex[33];
    MD5_ToHex(digest, hex);
    Value_SetString(value, hex);
}

void IBuffer::SHA1(ScriptValue* value, int32_t offset, int32_t count)
{
    if (m_size == 0) return;
    SHA1Context ctx;
    SHA1_Reset(&ctx);
    if (!DigestRange(this, offset, count, [&](const uint8_t* p, uint32_t n) { SHA1_Input(&ctx, p, n); })) return;
    SHA1_Result(&ctx);
    char hex[41];
    SHA1_ToHex(&ctx, hex);
    Value_SetString(value, hex);
}

// =============================================================================================
// [SECTION] Fast buffers
// =============================================================================================

int32_t Buffer_Fast::Write(int32_t type, ScriptValue* value)
{
    if (type != eBuffer_U8) return -4;
    if (m_position >= m_size) return -2;
    m_pData[m_position++] = uint8_t(Trunc32(value->real));
    return 0;
}

int32_t Buffer_Fast::Read(int32_t type, ScriptValue* value)
{
    SetZero(value);
    m_lastReadEmpty = false;
    if (type != eBuffer_U8) return -4;
    if (m_position >= m_size) {
        m_lastReadEmpty = true;
        return -2;
    }
    value->real = double(m_pData[m_position++]);
    return 0;
}

void Buffer_Fast::Peek(int32_t offset, int32_t type, ScriptValue* value)
{
    SetZero(value);
    if (type == eBuffer_U8 && offset >= 0 && offset < m_size) value->real = double(m_pData[offset]);
}

void Buffer_Fast::Poke(int32_t offset, int32_t type, const ScriptValue* value)
{
    if (type == eBuffer_U8 && offset >= 0 && offset < m_size) m_pData[offset] = uint8_t(Trunc32(value->real));
}

// =============================================================================================
// [SECTION] Shorthands
// =============================================================================================
namespace {
char g_nullMarker[2] = {4, 0};

// True when the read delivered an entry: a code of 0 or more, and the buffer found something.
inline bool ReadOk(IBuffer* buffer, int32_t rc) { return rc >= 0 && !buffer->LastReadEmpty(); }
} // namespace

int32_t Buffer_WriteString(IBuffer* buffer, const char* text)
{
    ScriptValue v{VALUE_STRING, text ? const_cast<char*>(text) : g_nullMarker, 0.0};
    return buffer->Write(eBuffer_String, &v);
}

char* Buffer_ReadString(IBuffer* buffer, bool* ok)
{
    ScriptValue v{VALUE_REAL, nullptr, 0.0};
    const int32_t rc = buffer->Read(eBuffer_String, &v);
    char* text = v.kind == VALUE_STRING ? v.text : nullptr;
    const bool read = ReadOk(buffer, rc) && v.kind == VALUE_STRING;
    if (ok) *ok = read;
    if (!read) {
        MEM_FREE(text);
        return nullptr;
    }
    if (text && text[0] == 4 && text[1] == 0) {
        MEM_FREE(text);
        return nullptr;
    }
    return text;
}

int32_t Buffer_WriteLengthString(IBuffer* buffer, const char* text)
{
    const char* t = text ? text : "";
    buffer->WriteU32(double(std::strlen(t) + 1));
    return Buffer_WriteString(buffer, t);
}

int32_t Buffer_WriteNumber(IBuffer* buffer, int32_t type, double value)
{
    ScriptValue v{VALUE_REAL, nullptr, value};
    return buffer->Write(type, &v);
}

bool Buffer_ReadNumber(IBuffer* buffer, int32_t type, double* out)
{
    ScriptValue v{VALUE_REAL, nullptr, 0.0};
    const int32_t rc = buffer->Read(type, &v);
    const bool read = ReadOk(buffer, rc) && v.kind == VALUE_REAL;
    *out = read ? v.real : 0.0;
    if (v.kind == VALUE_STRING) MEM_FREE(v.text);
    return read;
}

void Buffer_WriteValue(IBuffer* buffer, const ScriptValue* value)
{
    Buffer_WriteNumber(buffer, eBuffer_S32, double(value->kind));
    Buffer_WriteNumber(buffer, eBuffer_F64, value->real);
    Buffer_WriteString(buffer, value->kind == VALUE_STRING ? value->text : nullptr);
}

bool Buffer_ReadValue(IBuffer* buffer, ScriptValue* value)
{
    Value_FreeString(value);
    *value = Value_Real(0.0);
    double kind = 0, real = 0;
    bool ok = Buffer_ReadNumber(buffer, eBuffer_S32, &kind);
    ok = Buffer_ReadNumber(buffer, eBuffer_F64, &real) && ok;
    bool textOk = true;
    char* text = Buffer_ReadString(buffer, &textOk);
    if (!ok || !textOk) {
        MEM_FREE(text);
        return false;
    }
    // The kind entry holds a whole number; anything outside the int range is no kind we know.
    value->kind = std::isfinite(kind) && std::fabs(kind) < 2147483648.0 ? int32_t(kind) : -1;
    value->real = real;
    if (value->kind == VALUE_STRING) {
        value->text = text;
    } else {
        MEM_FREE(text);
    }
    return true;
}
