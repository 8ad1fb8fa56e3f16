// MD5 message digest (RFC 1321) behind md5_string_utf8, md5_string_unicode, md5_file and
// buffer_md5. Backed by Files/Base/MD5.cpp; no host library.
#pragma once

#include <cstdint>

struct MD5Context {
    uint32_t count[2]; // message length in bits, low word first
    uint32_t state[4];
    uint8_t block[64];
};

void MD5_Init(MD5Context* ctx);
void MD5_Update(MD5Context* ctx, const void* bytes, uint32_t length);
// Writes the 16-byte digest; the context must be initialised again before reuse.
void MD5_Final(uint8_t digest[16], MD5Context* ctx);
// The digest as 32 lower-case hexadecimal characters and a terminator (33 bytes).
void MD5_ToHex(const uint8_t digest[16], char out[33]);
