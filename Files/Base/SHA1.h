// SHA-1 message digest (RFC 3174) behind sha1_string_utf8, sha1_string_unicode, sha1_file
// and buffer_sha1. Backed by Files/Base/SHA1.cpp; no host library.
#pragma once

#include <cstdint>

struct SHA1Context {
    uint32_t hash[5];     // the digest once SHA1_Result has answered true
    uint32_t lengthLow;   // message length in bits
    uint32_t lengthHigh;
    int32_t blockIndex;   // bytes held in block
    uint8_t block[64];
    bool computed;        // SHA1_Result has run: more input corrupts the context
    bool corrupted;       // input after the result, or a message of 2^64 bits or more
};

void SHA1_Reset(SHA1Context* ctx);
void SHA1_Input(SHA1Context* ctx, const void* bytes, uint32_t length);
// Completes the digest into ctx->hash; false when the context is corrupted.
bool SHA1_Result(SHA1Context* ctx);
// The five hash words as 40 lower-case hexadecimal characters and a terminator (41 bytes).
void SHA1_ToHex(const SHA1Context* ctx, char out[41]);
