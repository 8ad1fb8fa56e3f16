// String built-ins: conversions between reals and text, and taking UTF-8 text apart and
// putting it together. Registered with the maths family (group "Math..").
//
// Text is UTF-8 of 1- to 3-byte characters (Files/Base/Utf8.h, which never walks past a
// terminator). Positions given by game code are 1-based and rounded half to even to 32-bit
// integers (the arithmetic on them is 64-bit). A string argument without text is the empty
// string; a real where text is expected is a missing text. String results are new blocks; the
// empty result is a string value without text. Numbers format and parse in the "C" locale,
// decimal only, into buffers sized from the number (Files/Base/RealConvert.h). A quit request
// stops the walks over long texts (the result is then not used: the calling code stops).
//
// Needs the UTF-8 helpers, the conversions, the error reporter.
//
// Index: [SECTION] Helpers, Conversions, Characters and bytes, Editing, Searching,
//        Registration
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "Files/Base/QuitRequest.h"
#include "Files/Base/RealConvert.h"
#include "Files/Base/Utf8.h"
#include "Files/Code/Code_Builtin.h"
#include "Files/Code/Code_Error.h"
#include "Files/Function/Function_Math.h"
#include "Platform/MemoryManager.h"

namespace {

using namespace zbargs;

// [SECTION] Helpers

// The longest text a string built-in makes (one memory-manager block must hold it).
constexpr size_t kMaxResultBytes = size_t(1) << 30;

// The characters walked by every string built-in, for the quit request.
QuitPoll g_poll;

// The pointer n characters into text (stopping at the terminator, or short when a quit
// stopped the walk).
const char* Advance(const char* text, int64_t n)
{
    while (n-- > 0 && *text && !g_poll.Stop()) Utf8_DecodeNext(&text);
    return text;
}

// Appends characters from p to the terminator, each decoded and encoded again.
void AppendReencoded(std::string* out, const char* p)
{
    while (*p && !g_poll.Stop()) {
        uint16_t c = Utf8_DecodeNext(&p);
        char buffer[4];
        char* q = buffer;
        int32_t n = Utf8_Encode(&q, c);
        out->append(buffer, size_t(n));
    }
}

void AppendChar(std::string* out, uint16_t c)
{
    char buffer[4];
    char* q = buffer;
    out->append(buffer, size_t(Utf8_Encode(&q, c)));
}

// The first character position (0-based, as a pointer) at or after p where the n characters
// of sub occur, or null (also when a quit stopped the search). Characters compare by their
// decoded codes.
const char* FindChars(const char* p, const char* sub, int32_t n)
{
    if (!*sub) return nullptr;
    while (*p && !g_poll.Stop()) {
        if (Utf8_CompareN(p, sub, n) == 0) return p;
        Utf8_DecodeNext(&p);
    }
    return nullptr;
}

void ReportTooLong(const char* function)
{
    char message[128];
    std::snprintf(message, sizeof message, "%s : result too long", function);
    Code_Error_Report(message, false);
}

// [SECTION] Conversions

ZB_BUILTIN(F_Real)
{
    Value_SetReal(result, 0.0);
    if (argc < 1) return;
    const char* text = ArgStringText(args, 0);
    if (!text) {
        Value_SetReal(result, args[0].real);
        return;
    }
    // Only the ASCII characters count; then blanks and controls go from both ends.
    std::string ascii;
    for (const char* p = text; *p && !g_poll.Stop();) {
        uint16_t c = Utf8_DecodeNext(&p);
        if (c > 0 && c < 128) ascii.push_back(char(c));
    }
    size_t begin = 0, end = ascii.size();
    while (begin < end && uint8_t(ascii[begin]) < 33) begin++;
    while (end > begin && uint8_t(ascii[end - 1]) < 33) end--;
    if (begin == end) return;
    std::string trimmed = ascii.substr(begin, end - begin);
    Value_SetReal(result, Real_ParseDecimal(trimmed.c_str()));
}

// A real as `string` prints it: a whole 32-bit number with "%d", anything else with two
// decimals.
std::string RealText(double x)
{
    int32_t n = Real_RoundToInt32(x);
    if (x == double(n)) return std::to_string(n);
    std::string s(size_t(Real_FixedLength(x, 2)) + 1, '\0');
    int32_t length = Real_FormatFixed(s.data(), s.size(), x, 2);
    s.resize(size_t(length));
    return s;
}

ZB_BUILTIN(F_String)
{
    SetNoText(result);
    if (argc < 1) return;
    if (args[0].kind == VALUE_STRING) Value_Copy(result, &args[0]);
    else
        SetBytes(result, RealText(args[0].real));
}

// Widths beyond this are cut (printf-style padding of a number).
constexpr int32_t kMaxFormatWidth = 1024;

ZB_BUILTIN(F_StringFormat)
{
    SetNoText(result);
    if (argc < 3) return;
    if (args[0].kind == VALUE_STRING) {
        Value_Copy(result, &args[0]);
        return;
    }
    // "%W.Df" with W = total - decimals and D = decimals, both truncated; a negative W pads on
    // the right ("%-W.Df"); a negative D counts as 0.
    int64_t width = Real_TruncToInt32(args[1].real - args[2].real);
    int32_t decimals = Real_TruncToInt32(args[2].real);
    bool left = width < 0;
    if (left) width = -width;
    if (width > kMaxFormatWidth) width = kMaxFormatWidth;
    std::string body(size_t(Real_FixedLength(args[0].real, decimals)) + 1, '\0');
    body.resize(size_t(Real_FormatFixed(body.data(), body.size(), args[0].real, decimals)));
    if (int64_t(body.size()) < width) {
        std::string pad(size_t(width) - body.size(), ' ');
        body = left ? body + pad : pad + body;
    }
    SetBytes(result, body);
}

ZB_BUILTIN(F_Chr)
{
    SetNoText(result);
    if (argc < 1) return;
    int32_t n = Real_TruncToInt32(args[0].real);
    char bytes[3];
    size_t length;
    if (n <= 127) {
        bytes[0] = char(n & 0x7F);
        length = bytes[0] ? 1 : 0;
    } else if (n <= 2047) {
        bytes[0] = char(0xC0 | ((n >> 6) & 31));
        bytes[1] = char(0x80 | (n & 63));
        length = 2;
    } else {
        bytes[0] = char(0xE0 | ((n >> 12) & 15));
        bytes[1] = char(0x80 | ((n >> 6) & 63));
        bytes[2] = char(0x80 | (n & 63));
        length = 3;
    }
    SetBytes(result, bytes, length);
}

ZB_BUILTIN(F_AnsiChar)
{
    SetNoText(result);
    if (argc < 1) return;
    char byte = char(Real_RoundToInt32(args[0].real) & 0xFF);
    SetBytes(result, &byte, byte ? 1 : 0);
}

ZB_BUILTIN(F_Ord)
{
    Value_SetReal(result, 0.0);
    const char* text = argc >= 1 ? ArgStringText(args, 0) : nullptr;
    if (text && *text) Value_SetReal(result, Utf8_DecodeNext(&text));
}

// [SECTION] Characters and bytes

ZB_BUILTIN(F_StringLength)
{
    Value_SetReal(result, 0.0);
    const char* text = argc >= 1 ? ArgStringText(args, 0) : nullptr;
    if (text) Value_SetReal(result, Utf8_Length(text));
}

ZB_BUILTIN(F_StringByteLength)
{
    Value_SetReal(result, 0.0);
    const char* text = argc >= 1 ? ArgStringText(args, 0) : nullptr;
    if (text) Value_SetReal(result, double(std::strlen(text)));
}

ZB_BUILTIN(F_StringCopy)
{
    SetNoText(result);
    if (argc != 3 || !ArgIsString(argc, args, 0) || !ArgIsNotString(argc, args, 1) || !ArgIsNotString(argc, args, 2))
        return;
    const char* text = ArgStringText(args, 0);
    int32_t position = Real_RoundToInt32(args[1].real), count = Real_RoundToInt32(args[2].real);
    int64_t s = std::max<int64_t>(position, 1) - 1;
    int64_t c = std::max<int64_t>(count, 0);
    int64_t length = Utf8_Length(text);
    if (s + c > length) c = length - s;
    if (c < 0) {
        std::string message(std::strlen(text) + 96, '\0');
        int n = std::snprintf(message.data(), message.size(), "string_copy(%s, %d, %d): Index is out of bounds", text,
                              position, count);
        message.resize(size_t(n));
        Code_Error_Report(message.c_str(), false);
        return;
    }
    const char* begin = Advance(text, s);
    const char* end = Advance(begin, c);
    SetBytes(result, begin, size_t(end - begin));
}

ZB_BUILTIN(F_StringCharAt)
{
    SetNoText(result);
    if (argc != 2 || !ArgIsString(argc, args, 0) || !ArgIsNotString(argc, args, 1)) return;
    const char* text = ArgStringText(args, 0);
    int64_t i = std::max<int64_t>(int64_t(ArgRound(args, 1)) - 1, 0);
    const char* p = Advance(text, i);
    if (!*p) return;
    const char* q = p;
    Utf8_DecodeNext(&q);
    SetBytes(result, p, size_t(q - p));
}

ZB_BUILTIN(F_StringByteAt)
{
    Value_SetReal(result, 0.0);
    if (argc != 2 || !ArgIsString(argc, args, 0) || !ArgIsNotString(argc, args, 1)) return;
    const char* text = ArgStringText(args, 0);
    int64_t length = int64_t(std::strlen(text));
    if (length == 0) return;
    int64_t i = int64_t(ArgRound(args, 1)) - 1;
    if (i < 0) i = 0;
    if (i > length - 1) i = length - 1;
    Value_SetReal(result, double(int8_t(uint8_t(text[i]))));
}

ZB_BUILTIN(F_StringSetByteAt)
{
    SetNoText(result);
    if (argc < 1 || !ArgIsString(argc, args, 0)) return;
    Value_Copy(result, &args[0]);
    if (argc != 3 || !ArgIsNotString(argc, args, 1) || !ArgIsNotString(argc, args, 2)) return;
    int64_t length = result->text ? int64_t(std::strlen(result->text)) : 0;
    int64_t i = int64_t(ArgRound(args, 1)) - 1;
    if (i < 0 || i >= length) {
        Code_Error_Report("string_set_byte_at : index beyond end of string", false);
        return;
    }
    result->text[i] = char(Real_TruncToInt32(args[2].real) & 0xFF);
}

// [SECTION] Editing

ZB_BUILTIN(F_StringDelete)
{
    SetNoText(result);
    const char* text = argc >= 1 ? ArgStringText(args, 0) : nullptr;
    if (!text) return;
    SetBytes(result, text, std::strlen(text));
    if (argc < 3) return;
    int64_t length = Utf8_Length(text);
    int64_t s = int64_t(ArgRound(args, 1)) - 1;
    int64_t count = ArgRound(args, 2);
    if (s < 0 || s >= length || count <= 0) return;
    int64_t e = s + std::min(length - s, count);
    const char* cut = Advance(text, s);
    std::string out(text, size_t(cut - text));
    if (e < length) AppendReencoded(&out, Advance(cut, e - s));
    SetBytes(result, out);
}

ZB_BUILTIN(F_StringInsert)
{
    SetNoText(result);
    if (argc < 3) return;
    const char* sub = ArgStringText(args, 0);
    const char* text = ArgStringText(args, 1);
    if (!sub || !text) return;
    if (!*sub) {
        SetBytes(result, text, std::strlen(text));
        return;
    }
    int64_t length = Utf8_Length(text);
    int64_t p = int64_t(ArgRound(args, 2)) - 1;
    if (p < 0) p = 0;
    if (p > length) p = length;
    const char* at = Advance(text, p);
    std::string out(text, size_t(at - text));
    out += sub;
    out += at;
    SetBytes(result, out);
}

void ChangeCase(ScriptValue* result, int32_t argc, ScriptValue* args, bool upper)
{
    SetNoText(result);
    if (!ArgIsString(argc, args, 0)) return;
    std::string out;
    for (const char* p = ArgStringText(args, 0); *p && !g_poll.Stop();) {
        uint16_t c = Utf8_DecodeNext(&p);
        if (upper && c >= 'a' && c <= 'z') c = uint16_t(c - 'a' + 'A');
        if (!upper && c >= 'A' && c <= 'Z') c = uint16_t(c - 'A' + 'a');
        AppendChar(&out, c);
    }
    SetBytes(result, out);
}
ZB_BUILTIN(F_StringLower) { ChangeCase(result, argc, args, false); }
ZB_BUILTIN(F_StringUpper) { ChangeCase(result, argc, args, true); }

ZB_BUILTIN(F_StringRepeat)
{
    SetNoText(result);
    if (argc < 2) return;
    const char* text = ArgStringText(args, 0);
    int64_t count = ArgRound(args, 1);
    if (!text || !*text || count < 1) return;
    size_t length = std::strlen(text);
    if (uint64_t(length) * uint64_t(count) > kMaxResultBytes) {
        ReportTooLong("string_repeat");
        return;
    }
    size_t total = length * size_t(count);
    char* out = static_cast<char*>(MEM_ALLOC(total + 1));
    for (int64_t i = 0; i < count; i++) {
        if (g_poll.Stop(length)) {
            MEM_FREE(out); // the calling code stops: no result
            return;
        }
        std::memcpy(out + size_t(i) * length, text, length);
    }
    out[total] = 0;
    Value_SetStringOwned(result, out);
}

enum CharClass { kLetters = 1, kDigits = 2 };

void KeepClass(ScriptValue* result, const char* text, int classes)
{
    std::string out;
    for (const char* p = text; *p && !g_poll.Stop();) {
        uint16_t c = Utf8_DecodeNext(&p);
        bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        bool digit = c >= '0' && c <= '9';
        if (((classes & kLetters) && letter) || ((classes & kDigits) && digit)) AppendChar(&out, c);
    }
    SetBytes(result, out);
}
ZB_BUILTIN(F_StringLetters)
{
    SetNoText(result);
    if (ArgIsString(argc, args, 0)) KeepClass(result, ArgStringText(args, 0), kLetters);
}
ZB_BUILTIN(F_StringDigits)
{
    SetNoText(result);
    if (argc == 1 && ArgIsString(argc, args, 0)) KeepClass(result, ArgStringText(args, 0), kDigits);
}
ZB_BUILTIN(F_StringLettersDigits)
{
    SetNoText(result);
    if (ArgIsString(argc, args, 0)) KeepClass(result, ArgStringText(args, 0), kLetters | kDigits);
}

// [SECTION] Searching

ZB_BUILTIN(F_StringPos)
{
    Value_SetReal(result, 0.0);
    if (argc < 2) return;
    const char* sub = ArgStringText(args, 0);
    const char* text = ArgStringText(args, 1);
    if (!sub || !text || !*sub || !*text) return;
    int32_t n = Utf8_Length(sub);
    int64_t position = 1;
    for (const char* p = text; *p && !g_poll.Stop(); Utf8_DecodeNext(&p), position++) {
        if (Utf8_CompareN(p, sub, n) == 0) {
            Value_SetReal(result, double(position));
            return;
        }
    }
}

void Replace(ScriptValue* result, int32_t argc, ScriptValue* args, bool all)
{
    SetNoText(result);
    if (argc < 3) return;
    const char* text = ArgStringText(args, 0);
    if (!text) return;
    const char* find = ArgStringText(args, 1);
    const char* replacement = ArgStringText(args, 2);
    if (!find) find = "";
    if (!replacement) replacement = "";
    size_t replacementLength = std::strlen(replacement);
    int32_t n = Utf8_Length(find);
    std::string out;
    const char* rest = text;
    while (*rest) {
        const char* at = FindChars(rest, find, n);
        if (!at) break;
        if (out.size() + size_t(at - rest) + replacementLength > kMaxResultBytes) {
            ReportTooLong(all ? "string_replace_all" : "string_replace");
            return;
        }
        out.append(rest, size_t(at - rest));
        out.append(replacement, replacementLength);
        rest = Advance(at, n);
        if (!all) break;
    }
    if (QuitRequest_Pending()) return; // the search was stopped: no result
    out += rest;
    SetBytes(result, out);
}
ZB_BUILTIN(F_StringReplace) { Replace(result, argc, args, false); }
ZB_BUILTIN(F_StringReplaceAll) { Replace(result, argc, args, true); }

ZB_BUILTIN(F_StringCount)
{
    Value_SetReal(result, 0.0);
    if (argc < 2) return;
    const char* sub = ArgStringText(args, 0);
    const char* text = ArgStringText(args, 1);
    if (!sub || !text || !*sub || !*text) return;
    const char* end = text + std::strlen(text);
    int64_t count = 0;
    for (const char* p = text; p < end;) {
        const char* at = std::strstr(p, sub);
        if (!at || g_poll.Stop(uint64_t(at - p) + 1)) break;
        count++;
        p = at + 1; // overlapping occurrences count
    }
    Value_SetReal(result, double(count));
}

} // namespace

// [SECTION] Registration

void Function_String_Register()
{
    Function_Add("real", F_Real, 1);
    Function_Add("string", F_String, 1);
    Function_Add("string_format", F_StringFormat, 3);
    Function_Add("chr", F_Chr, 1);
    Function_Add("ansi_char", F_AnsiChar, 1);
    Function_Add("ord", F_Ord, 1);
    Function_Add("string_length", F_StringLength, 1);
    Function_Add("string_byte_length", F_StringByteLength, 1);
    Function_Add("string_pos", F_StringPos, 2);
    Function_Add("string_copy", F_StringCopy, 3);
    Function_Add("string_char_at", F_StringCharAt, 2);
    Function_Add("string_byte_at", F_StringByteAt, 2);
    Function_Add("string_set_byte_at", F_StringSetByteAt, 3);
    Function_Add("string_delete", F_StringDelete, 3);
    Function_Add("string_insert", F_StringInsert, 3);
    Function_Add("string_lower", F_StringLower, 1);
    Function_Add("string_upper", F_StringUpper, 1);
    Function_Add("string_repeat", F_StringRepeat, 2);
    Function_Add("string_letters", F_StringLetters, 1);
    Function_Add("string_digits", F_StringDigits, 1);
    Function_Add("string_lettersdigits", F_StringLettersDigits, 1);
    Function_Add("string_replace", F_StringReplace, 3);
    Function_Add("string_replace_all", F_StringReplaceAll, 3);
    Function_Add("string_count", F_StringCount, 2);
}
