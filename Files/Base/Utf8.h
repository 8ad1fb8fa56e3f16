// UTF-8 primitives of the string built-ins, and the '#' line-break conversion of text output.
// Backed by Files/Base/Utf8.cpp; no host library.
//
// Text is 8-bit strings holding UTF-8 of the Basic Multilingual Plane: characters are
// unsigned 16-bit values of one to three bytes. Lead bytes are trusted (following bytes are
// not validated) with two exceptions that keep every walk inside the text:
//   - no function reads past a terminating zero: a sequence cut short by the terminator
//     counts as one character, U+FFFD, and the walk stops at the terminator;
//   - a four-byte sequence (lead 0xF0-0xF7) is one character, U+FFFD, of four bytes.
// Decoding at the terminator returns 0 and leaves the pointer on it. (An overlong sequence
// such as C0 80 also decodes to 0; a walk that stops at 0 then ends early, inside the text.)
#pragma once

#include <cstddef>
#include <cstdint>

class QuitPoll;

constexpr uint16_t UTF8_REPLACEMENT = 0xFFFD;

// The character at *text; *text moves past it (not past a terminator).
uint16_t Utf8_DecodeNext(const char** text);
inline uint16_t Utf8_DecodeNext(char** text)
{
    return Utf8_DecodeNext(const_cast<const char**>(text));
}
// Writes c as 1 to 3 bytes at *out and moves *out past them; returns the byte count.
int32_t Utf8_Encode(char** out, uint16_t c);
// Bytes Utf8_Encode writes for c.
int32_t Utf8_EncodedSize(uint16_t c);
// Number of characters; 0 for null.
int32_t Utf8_Length(const char* text);
// Plain copy up to and including the terminator; returns dest. A null source copies "".
char* Utf8_Copy(char* dest, const char* source);
// Character-wise compare: first difference (first minus second), a text that ends first
// counting its terminator as 0; 0 for equal texts. Null reads as empty.
int32_t Utf8_Compare(const char* a, const char* b);
// The same over at most n characters (0 after n equal characters).
int32_t Utf8_CompareN(const char* a, const char* b, int32_t n);
// Where text may be cut to keep at most n bytes without splitting a character: n backed off
// to the start of the character that byte n continues (byte n must be readable).
size_t Utf8_CutLength(const char* text, size_t n);

// Rewrites text in place: '#' becomes CR (13), "\#" becomes '#'; returns the number of
// characters written. Null gives 0. With a poll, a quit request (Files/Base/QuitRequest.h)
// stops the rewrite: -1, the text part rewritten (and terminated).
int32_t String_HashToNewline(char* text, QuitPoll* poll = nullptr);
// The same rewrite decoded into out, which has room for strlen(text) + 1 units: the characters
// String_HashToNewline leaves, then a 0; their number (-1 when a quit request stopped it).
int32_t String_HashToNewline16(const char* text, char16_t* out, QuitPoll* poll = nullptr);

// Rewrites text in place with every line break as one line feed ("\r\n" and a lone "\r", as
// String_HashToNewline leaves it, become "\n"), for what shows text by lines (a terminal,
// ImGui). Returns the new length.
size_t String_LineFeeds(char* text);
