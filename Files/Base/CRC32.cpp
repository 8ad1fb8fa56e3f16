// CRC-32 without final inversion, table driven. Needs nothing else.
#include "Files/Base/CRC32.h"

#include <array>

namespace {

constexpr std::array<uint32_t, 256> MakeTable()
{
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t[i] = c;
    }
    return t;
}

constexpr std::array<uint32_t, 256> kTable = MakeTable();

} // namespace

void CRC32_BuildTable() {}

uint32_t CRC32_String(const char* text)
{
    uint32_t crc = 0xFFFFFFFFu;
    if (!text) return crc;
    for (auto* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
        crc = (crc >> 8) ^ kTable[(crc ^ *p) & 0xFFu];
    return crc;
}

uint32_t CRC32_Buffer(const void* bytes, int32_t length)
{
    uint32_t crc = 0xFFFFFFFFu;
    if (!bytes || length < 1) return crc;
    auto* p = static_cast<const unsigned char*>(bytes);
    for (int32_t i = 0; i < length; ++i) crc = (crc >> 8) ^ kTable[(crc ^ p[i]) & 0xFFu];
    return crc;
}
