// Fuzz target: arbitrary bytes, made zero-terminated in a block of exactly that size, through
// the UTF-8 decode/length/compare/copy helpers, the '#' conversion and base64 decoding. Any
// read past the terminator is an AddressSanitizer report; broken invariants trap.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "Files/Base/Base64.h"
#include "Files/Base/Utf8.h"

namespace {

void Check(bool ok)
{
    if (!ok) __builtin_trap();
}

std::unique_ptr<char[]> Terminated(const uint8_t* data, size_t size)
{
    std::unique_ptr<char[]> text(new char[size + 1]);
    std::memcpy(text.get(), data, size);
    text[size] = '\0';
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1 << 16) return 0;
    std::unique_ptr<char[]> text = Terminated(data, size);
    const size_t len = std::strlen(text.get());

    // Decoding steps exactly as the length counts, and ends on the terminator.
    int32_t count = 0;
    const char* p = text.get();
    while (*p) {
        const char* before = p;
        Utf8_DecodeNext(&p);
        Check(p > before && p <= text.get() + len);
        ++count;
    }
    Check(p == text.get() + len);
    Check(Utf8_DecodeNext(&p) == 0 && p == text.get() + len);
    Check(Utf8_Length(text.get()) == count);

    // Compare against itself and against a second text made of the input's two halves.
    Check(Utf8_Compare(text.get(), text.get()) == 0);
    std::unique_ptr<char[]> half = Terminated(data + size / 2, size - size / 2);
    (void)Utf8_Compare(text.get(), half.get());
    (void)Utf8_Compare(half.get(), text.get());
    (void)Utf8_CompareN(text.get(), half.get(), int32_t(size % 7));

    std::unique_ptr<char[]> copy(new char[len + 1]);
    Utf8_Copy(copy.get(), text.get());
    Check(std::memcmp(copy.get(), text.get(), len + 1) == 0);

    // The '#' conversion never grows the text; decoded straight from the text it gives the
    // same characters.
    std::unique_ptr<char16_t[]> units(new char16_t[len + 1]);
    const int32_t decoded = String_HashToNewline16(text.get(), units.get());
    int32_t written = String_HashToNewline(copy.get());
    Check(written <= count);
    Check(std::strlen(copy.get()) <= len);
    Check(decoded == written && units[size_t(written)] == 0);
    const char* q = copy.get();
    for (int32_t i = 0; i < written; ++i) Check(Utf8_DecodeNext(&q) == units[size_t(i)]);

    // Base64: the buffer size the buffer built-ins use, then a tight one; re-encoding what was
    // decoded and decoding again gives the same bytes.
    int32_t capacity = int32_t(3 * len / 4 + 4);
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[size_t(capacity)]);
    int32_t n = Base64_Decode(text.get(), capacity, bytes.get(), true);
    Check(n >= 0 && n < capacity && bytes[size_t(n)] == 0);
    std::unique_ptr<char[]> encoded(new char[Base64_EncodedSize(uint32_t(n))]);
    Base64_Encode(bytes.get(), n, encoded.get());
    std::unique_ptr<uint8_t[]> again(new uint8_t[size_t(n) + 1]);
    Check(Base64_Decode(encoded.get(), n + 1, again.get()) == n);
    Check(std::memcmp(again.get(), bytes.get(), size_t(n)) == 0);
    int32_t small = int32_t(size % 5);
    std::unique_ptr<uint8_t[]> tight(new uint8_t[size_t(small) + 1]);
    Check(Base64_Decode(text.get(), small, tight.get(), true) <= (small > 0 ? small - 1 : 0));
    return 0;
}
