// CRC-32 of the reflected polynomial 0xEDB88320, used to turn text keys (and the bytes of real
// keys) of the data-structure maps into 32-bit hash keys. Pure functions; no host library.
//
// The running value starts at 0xFFFFFFFF and is returned as it stands: there is no final
// inversion, so every result is the bitwise complement of the usual CRC-32 (zlib's crc32).
// Stored maps and scripts see these values: keep them.
#pragma once

#include <cstdint>

// The table is built at compile time; this start-up step is kept for the start-up order and
// does nothing.
void CRC32_BuildTable();
// CRC over the bytes before the terminator; null or empty text gives 0xFFFFFFFF.
uint32_t CRC32_String(const char* text);
// CRC over length bytes; null bytes or a length below 1 give 0xFFFFFFFF.
uint32_t CRC32_Buffer(const void* bytes, int32_t length);
