// Bounds-checked little-endian reads of the game file image.
#include "Files/Support/FileImage.h"

#include <cstdio>

bool FileImage::U8(uint32_t offset, uint8_t& out) const
{
    if (!Contains(offset, 1)) return false;
    out = m_data[offset];
    return true;
}

bool FileImage::U16(uint32_t offset, uint16_t& out) const
{
    if (!Contains(offset, 2)) return false;
    out = uint16_t(m_data[offset] | m_data[offset + 1] << 8);
    return true;
}

bool FileImage::U32(uint32_t offset, uint32_t& out) const
{
    if (!Contains(offset, 4)) return false;
    const uint8_t* p = m_data + offset;
    out = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    return true;
}

bool FileImage::I32(uint32_t offset, int32_t& out) const
{
    uint32_t u;
    if (!U32(offset, u)) return false;
    out = int32_t(u);
    return true;
}

bool FileImage::F32(uint32_t offset, float& out) const
{
    uint32_t u;
    if (!U32(offset, u)) return false;
    std::memcpy(&out, &u, 4);
    return true;
}

bool FileImage::F64(uint32_t offset, double& out) const
{
    uint32_t lo, hi;
    if (!U32(offset, lo) || !U32(offset + 4, hi) || offset > UINT32_MAX - 4) return false;
    uint64_t u = uint64_t(hi) << 32 | lo;
    std::memcpy(&out, &u, 8);
    return true;
}

const char* FileImage::String(uint32_t offset, bool& ok) const
{
    if (offset == 0) return nullptr;
    if (offset >= m_size) {
        ok = false;
        return nullptr;
    }
    const void* z = std::memchr(m_data + offset, 0, m_size - offset);
    if (!z) {
        ok = false;
        return nullptr;
    }
    return reinterpret_cast<const char*>(m_data + offset);
}

FileCursor::FileCursor(const FileImage& image, uint32_t begin, uint32_t end)
    : m_image(&image), m_begin(begin), m_end(end), m_pos(begin)
{
    if (begin > end || end > image.Size()) {
        m_begin = m_end = m_pos = 0;
        m_ok = false;
    }
}

bool FileCursor::Seek(uint32_t offset)
{
    if (offset < m_begin || offset > m_end) {
        m_ok = false;
        return false;
    }
    m_pos = offset;
    return true;
}

bool FileCursor::Skip(uint32_t bytes)
{
    if (bytes > Remaining()) {
        m_ok = false;
        m_pos = m_end;
        return false;
    }
    m_pos += bytes;
    return true;
}

uint8_t FileCursor::U8()
{
    uint8_t v = 0;
    if (Remaining() < 1 || !m_image->U8(m_pos, v)) {
        m_ok = false;
        return 0;
    }
    m_pos += 1;
    return v;
}

uint16_t FileCursor::U16()
{
    uint16_t v = 0;
    if (Remaining() < 2 || !m_image->U16(m_pos, v)) {
        m_ok = false;
        return 0;
    }
    m_pos += 2;
    return v;
}

uint32_t FileCursor::U32()
{
    uint32_t v = 0;
    if (Remaining() < 4 || !m_image->U32(m_pos, v)) {
        m_ok = false;
        return 0;
    }
    m_pos += 4;
    return v;
}

float FileCursor::F32()
{
    uint32_t u = U32();
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

double FileCursor::F64()
{
    double d = 0;
    if (Remaining() < 8 || !m_image->F64(m_pos, d)) {
        m_ok = false;
        return 0;
    }
    m_pos += 8;
    return d;
}

const char* FileCursor::StringRef()
{
    uint32_t offset = U32();
    if (!m_ok) return nullptr;
    return m_image->String(offset, m_ok);
}

bool FileImage::PutU32(uint32_t offset, uint32_t value)
{
    if (!m_mutable || !Contains(offset, 4)) return false;
    uint8_t* p = m_mutable + offset;
    p[0] = uint8_t(value);
    p[1] = uint8_t(value >> 8);
    p[2] = uint8_t(value >> 16);
    p[3] = uint8_t(value >> 24);
    return true;
}

bool FileImage::PutU16(uint32_t offset, uint16_t value)
{
    if (!m_mutable || !Contains(offset, 2)) return false;
    m_mutable[offset] = uint8_t(value);
    m_mutable[offset + 1] = uint8_t(value >> 8);
    return true;
}

bool ChunkList::Read(const FileImage& image, uint32_t begin, uint32_t end)
{
    count = 0;
    entries = 0;
    FileCursor c(image, begin, end);
    uint32_t n = c.U32();
    if (!c.ok() || !c.FitsCount(n, 4)) return false;
    uint32_t at = c.Pos();
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t o = c.U32();
        if (o != 0 && o >= image.Size()) return false;
    }
    count = n;
    entries = at;
    return true;
}

uint32_t ChunkList::Offset(const FileImage& image, uint32_t i) const
{
    uint32_t o = 0;
    if (i >= count || !image.U32(entries + 4 * i, o)) return 0;
    return o;
}

bool FileImage_CheckContainer(const FileImage& image)
{
    uint32_t magic = 0, body = 0;
    if (image.Size() <= 8 || !image.U32(0, magic) || !image.U32(4, body)) return false;
    return (magic == IFF_MAGIC || magic == IFF_MAGIC_REVERSED) && body == image.Size() - 8;
}

std::string FileImage_ContainerProblem(const FileImage& image)
{
    const uint32_t size = image.Size();
    uint32_t magic = 0, body = 0;
    if (size == 0) return "the file is empty";
    if (!image.U32(0, magic) || (magic != IFF_MAGIC && magic != IFF_MAGIC_REVERSED))
        return "not a game file (it does not begin with FORM)";
    if (!image.U32(4, body) || size == 8) return "cut short in its first 8 bytes";
    char text[160];
    if (body < size - 8) {
        const uint32_t more = size - 8 - body;
        std::snprintf(text, sizeof text, "%u byte%s longer than its header says", more, more == 1 ? "" : "s");
        return text;
    }
    // The chunks as far as they go: the first one that passes the end is where the file was cut
    // (or, when its header is whole, which chunk is broken).
    const bool cut = body > size - 8;
    uint32_t tag = 0, length = 0;
    for (uint32_t at = 8; at < size; at += 8 + length) {
        if (!image.U32(at, tag) || !image.U32(at + 4, length)) {
            std::snprintf(text, sizeof text, cut ? "cut short in the header of the chunk at byte %u"
                                                 : "damaged: no room for the header of the chunk at byte %u",
                          at);
            return text;
        }
        if (length > size - at - 8) {
            if (cut)
                std::snprintf(text, sizeof text, "cut short in chunk %s: %u of its %u bytes are there",
                              ChunkTagText(tag).text, size - at - 8, length);
            else
                std::snprintf(text, sizeof text, "chunk %s is longer than the rest of the file", ChunkTagText(tag).text);
            return text;
        }
    }
    if (!cut) return "";
    std::snprintf(text, sizeof text, "cut short after chunk %s: the file has %u of its %u bytes", ChunkTagText(tag).text,
                  size, body + 8);
    return text;
}
