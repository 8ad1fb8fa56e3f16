// SHA-1 (RFC 3174), written from the RFC's description. Needs nothing else.
#include "Files/Base/SHA1.h"

#include <cstring>

namespace {

inline uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

void ProcessBlock(SHA1Context* ctx)
{
    static const uint32_t K[4] = {0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC, 0xCA62C1D6};
    uint32_t w[80];
    for (int t = 0; t < 16; ++t) {
        const uint8_t* p = ctx->block + 4 * t;
        w[t] = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
    }
    for (int t = 16; t < 80; ++t) w[t] = Rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
    uint32_t a = ctx->hash[0], b = ctx->hash[1], c = ctx->hash[2], d = ctx->hash[3],
             e = ctx->hash[4];
    for (int t = 0; t < 80; ++t) {
        uint32_t f;
        if (t < 20)
            f = (b & c) | (~b & d);
        else if (t < 40)
            f = b ^ c ^ d;
        else if (t < 60)
            f = (b & c) | (b & d) | (c & d);
        else
            f = b ^ c ^ d;
        uint32_t temp = Rotl(a, 5) + f + e + w[t] + K[t / 20];
        e = d;
        d = c;
        c = Rotl(b, 30);
        b = a;
        a = temp;
    }
    ctx->hash[0] += a;
    ctx->hash[1] += b;
    ctx->hash[2] += c;
    ctx->hash[3] += d;
    ctx->hash[4] += e;
    ctx->blockIndex = 0;
}

void PadMessage(SHA1Context* ctx)
{
    ctx->block[ctx->blockIndex++] = 0x80;
    if (ctx->blockIndex > 56) {
        while (ctx->blockIndex < 64) ctx->block[ctx->blockIndex++] = 0;
        ProcessBlock(ctx);
    }
    while (ctx->blockIndex < 56) ctx->block[ctx->blockIndex++] = 0;
    for (int i = 0; i < 4; ++i) {
        ctx->block[56 + i] = uint8_t(ctx->lengthHigh >> (24 - 8 * i));
        ctx->block[60 + i] = uint8_t(ctx->lengthLow >> (24 - 8 * i));
    }
    ProcessBlock(ctx);
}

} // namespace

void SHA1_Reset(SHA1Context* ctx)
{
    std::memset(ctx, 0, sizeof *ctx);
    ctx->hash[0] = 0x67452301;
    ctx->hash[1] = 0xEFCDAB89;
    ctx->hash[2] = 0x98BADCFE;
    ctx->hash[3] = 0x10325476;
    ctx->hash[4] = 0xC3D2E1F0;
}

void SHA1_Input(SHA1Context* ctx, const void* bytes, uint32_t length)
{
    if (!bytes || length == 0) return;
    if (ctx->computed) {
        ctx->corrupted = true;
        return;
    }
    if (ctx->corrupted) return;
    auto* in = static_cast<const uint8_t*>(bytes);
    for (uint32_t i = 0; i < length; ++i) {
        ctx->block[ctx->blockIndex++] = in[i];
        ctx->lengthLow += 8;
        if (ctx->lengthLow == 0 && ++ctx->lengthHigh == 0) {
            ctx->corrupted = true; // 2^64 bits: the length no longer fits
            return;
        }
        if (ctx->blockIndex == 64) ProcessBlock(ctx);
    }
}

bool SHA1_Result(SHA1Context* ctx)
{
    if (ctx->corrupted) return false;
    if (!ctx->computed) {
        PadMessage(ctx);
        std::memset(ctx->block, 0, sizeof ctx->block); // the message may be sensitive
        ctx->lengthLow = ctx->lengthHigh = 0;
        ctx->computed = true;
    }
    return true;
}

void SHA1_ToHex(const SHA1Context* ctx, char out[41])
{
    static const char kHex[] = "0123456789abcdef";
    for (int i = 0; i < 5; ++i)
        for (int k = 0; k < 8; ++k) out[8 * i + k] = kHex[(ctx->hash[i] >> (28 - 4 * k)) & 15];
    out[40] = '\0';
}
