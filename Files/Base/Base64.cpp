// Base64 encoding and decoding. Needs the quit request (a poll may stop long work).
#include "Files/Base/Base64.h"

#include "Files/Base/QuitRequest.h"

namespace {

// Bytes (a multiple of 3) or characters handled between two reads of the quit request.
constexpr int32_t kRun = 3 << 15;

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Value of an alphabet character, -1 for anything else.
int Value(unsigned char c)
{
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

} // namespace

int32_t Base64_Encode(const void* bytes, int32_t length, char* out, QuitPoll* poll)
{
    auto* in = static_cast<const unsigned char*>(bytes);
    if (!in || length < 0) length = 0;
    uint32_t o = 0; // output positions can pass INT32_MAX for the largest inputs
    for (int32_t run = 0; run < length; run += kRun) {
        if (poll && run > 0 && poll->Stop(kRun)) {
            out[o] = '\0';
            return -1;
        }
        const int32_t runEnd = length - run > kRun ? run + kRun : length;
        for (int32_t i = run; i < runEnd; i += 3) {
            int32_t left = length - i;
            uint32_t group = uint32_t(in[i]) << 16;
            if (left > 1) group |= uint32_t(in[i + 1]) << 8;
            if (left > 2) group |= in[i + 2];
            out[o++] = kAlphabet[(group >> 18) & 63];
            out[o++] = kAlphabet[(group >> 12) & 63];
            out[o++] = left > 1 ? kAlphabet[(group >> 6) & 63] : '=';
            out[o++] = left > 2 ? kAlphabet[group & 63] : '=';
        }
    }
    out[o] = '\0';
    return int32_t(o);
}

int32_t Base64_Decode(const char* text, int32_t capacity, void* out, bool addZero, QuitPoll* poll)
{
    if (!text || capacity < 1 || !out) return 0;
    auto* dst = static_cast<unsigned char*>(out);
    const int32_t limit = capacity - 1;
    int32_t written = 0;
    uint32_t group = 0;
    int have = 0;
    auto put = [&](uint32_t byte) {
        if (written < limit) dst[written++] = static_cast<unsigned char>(byte);
    };
    int32_t sincePoll = 0;
    for (auto* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (++sincePoll == kRun) {
            sincePoll = 0;
            if (poll && poll->Stop(kRun)) return -1;
        }
        int v = Value(*p);
        if (v < 0) break; // '=' or a character outside the alphabet ends the data
        group = (group << 6) | uint32_t(v);
        if (++have == 4) {
            put(group >> 16);
            put(group >> 8);
            put(group);
            group = 0;
            have = 0;
        }
    }
    if (have == 2) {
        put(group >> 4);
    } else if (have == 3) {
        put(group >> 10);
        put(group >> 2);
    }
    if (addZero) dst[written] = 0;
    return written;
}
