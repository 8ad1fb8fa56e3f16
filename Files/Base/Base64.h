// Base64 (RFC 4648, standard alphabet, '=' padding) behind base64_encode/base64_decode and the
// buffer base64 built-ins. Backed by Files/Base/Base64.cpp; no host library.
#pragma once

#include <cstdint>

class QuitPoll;

// Bytes Base64_Encode writes for length input bytes, terminator included.
constexpr uint32_t Base64_EncodedSize(uint32_t length) { return (length + 2) / 3 * 4 + 1; }

// Writes the base64 text of length bytes and a terminating zero into out, which must hold
// Base64_EncodedSize(length) bytes. Returns the number of characters written (no terminator).
// With a poll, a quit request stops the work: -1, out holds part of the text.
int32_t Base64_Encode(const void* bytes, int32_t length, char* out, QuitPoll* poll = nullptr);

// Decodes text until the first '=', the first character outside the alphabet or the end,
// writing at most capacity - 1 bytes to out (nothing for a capacity below 1); a last group of
// two or three characters gives one or two bytes. With addZero a zero byte follows the data
// (there is always room for it). Returns the number of data bytes written; 0 for null text;
// -1 when a quit request stopped the work (with a poll; out holds part of the data).
int32_t Base64_Decode(const char* text, int32_t capacity, void* out, bool addZero = false, QuitPoll* poll = nullptr);
