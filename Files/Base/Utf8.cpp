// UTF-8 decoding, encoding, length, compare and the '#' conversion. Needs the quit request
// (a poll may stop the conversion).
#include "Files/Base/Utf8.h"

#include <cstring>

#include "Files/Base/QuitRequest.h"

namespace {

// Bytes the lead byte b0 announces: 1, 2, 3 or 4 (0xF0-0xF7 only).
int SequenceLength(unsigned char b0)
{
    if (b0 < 0x80) return 1;
    if ((b0 & 0xF8) == 0xF0) return 4;
    if (b0 & 0x20) return 3;
    return 2;
}

} // namespace

uint16_t Utf8_DecodeNext(const char** text)
{
    auto* p = reinterpret_cast<const unsigned char*>(*text);
    unsigned b0 = p[0];
    if (b0 == 0) return 0;
    int len = SequenceLength(static_cast<unsigned char>(b0));
    // Never step over a terminator inside the sequence.
    for (int k = 1; k < len; ++k) {
        if (p[k] == 0) {
            *text += k;
            return UTF8_REPLACEMENT;
        }
    }
    *text += len;
    switch (len) {
    case 1: return uint16_t(b0);
    case 2: return uint16_t(((b0 & 31u) << 6) + (p[1] & 63u));
    case 3: return uint16_t(((b0 << 6) + (p[1] & 63u)) * 64u + (p[2] & 63u));
    default: return UTF8_REPLACEMENT; // outside the plane the runner keeps
    }
}

int32_t Utf8_EncodedSize(uint16_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : 3; }

int32_t Utf8_Encode(char** out, uint16_t c)
{
    auto* p = reinterpret_cast<unsigned char*>(*out);
    if (c < 0x80) {
        p[0] = static_cast<unsigned char>(c);
        *out += 1;
        return 1;
    }
    if (c < 0x800) {
        p[0] = static_cast<unsigned char>(0xC0 | ((c >> 6) & 31));
        p[1] = static_cast<unsigned char>(0x80 | (c & 63));
        *out += 2;
        return 2;
    }
    p[0] = static_cast<unsigned char>(0xE0 | ((c >> 12) & 15));
    p[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 63));
    p[2] = static_cast<unsigned char>(0x80 | (c & 63));
    *out += 3;
    return 3;
}

size_t Utf8_CutLength(const char* text, size_t n)
{
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    return n;
}

int32_t Utf8_Length(const char* text)
{
    if (!text) return 0;
    auto* p = reinterpret_cast<const unsigned char*>(text);
    int32_t count = 0;
    while (*p) {
        int len = SequenceLength(*p);
        int k = 1;
        while (k < len && p[k]) ++k;
        p += k;
        ++count;
    }
    return count;
}

char* Utf8_Copy(char* dest, const char* source)
{
    if (!source) source = "";
    std::memmove(dest, source, std::strlen(source) + 1);
    return dest;
}

int32_t Utf8_CompareN(const char* a, const char* b, int32_t n)
{
    if (!a) a = "";
    if (!b) b = "";
    for (int32_t i = 0; i < n; ++i) {
        int32_t ca = Utf8_DecodeNext(&a), cb = Utf8_DecodeNext(&b);
        if (ca != cb) return ca - cb;
        if (ca == 0) return 0;
    }
    return 0;
}

int32_t Utf8_Compare(const char* a, const char* b) { return Utf8_CompareN(a, b, INT32_MAX); }

namespace {

// The '#' rewrite as one walk over text, writing through sink: Put(c) for each character of
// the result, ReplaceLast('#') when a "\#" turns the backslash just put into the '#'. The
// in-place writer trails the reader by room bytes, so a character fits where it was read;
// only a sequence cut short by the terminator (read as U+FFFD) can need more bytes than it
// came from, and the walk ends before it. Every sink sees that same walk. -1 when a quit
// request (through poll) stopped it, else the characters put.
template <class Sink>
int32_t RewriteHashes(const char* text, QuitPoll* poll, Sink& sink)
{
    if (!text) return 0;
    const char* read = text;
    int64_t room = 0;
    int32_t count = 0;
    uint16_t previous = 0;
    for (;;) {
        if (poll && poll->Stop()) return -1;
        const char* at = read;
        uint16_t c = Utf8_DecodeNext(&read);
        if (c == 0) break;
        room += read - at;
        if (c == '#') {
            if (previous == '\\') {
                sink.ReplaceLast('#');
                previous = '#';
                continue;
            }
            c = 13;
        }
        const int32_t size = Utf8_EncodedSize(c);
        if (size > room) break;
        room -= size;
        sink.Put(c);
        ++count;
        previous = c;
    }
    return count;
}

} // namespace

int32_t String_HashToNewline(char* text, QuitPoll* poll)
{
    struct InPlace {
        char* write;
        void Put(uint16_t c) { Utf8_Encode(&write, c); }
        void ReplaceLast(char c) { write[-1] = c; } // the backslash is one byte
    } sink{text};
    const int32_t count = RewriteHashes(text, poll, sink);
    if (text) *sink.write = '\0';
    return count;
}

int32_t String_HashToNewline16(const char* text, char16_t* out, QuitPoll* poll)
{
    struct Units {
        char16_t* out;
        void Put(uint16_t c) { *out++ = (char16_t)c; }
        void ReplaceLast(char c) { out[-1] = (char16_t)c; }
    } sink{out};
    const int32_t count = RewriteHashes(text, poll, sink);
    *sink.out = 0;
    return count;
}

size_t String_LineFeeds(char* text)
{
    if (!text) return 0;
    char* out = text;
    for (const char* p = text; *p; ++p) {
        if (*p == '\r') {
            *out++ = '\n';
            if (p[1] == '\n') ++p;
        } else {
            *out++ = *p;
        }
    }
    *out = '\0';
    return size_t(out - text);
}
