// UTF-8 primitives and the '#' conversion, including text that ends inside a sequence and
// four-byte sequences: no walk may pass the terminator.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Files/Base/Utf8.h"

namespace {

// The characters DecodeNext gives up to the terminator, and where it stopped.
std::vector<uint16_t> DecodeAll(const char* text, const char** end = nullptr)
{
    std::vector<uint16_t> out;
    const char* p = text;
    for (uint16_t c; (c = Utf8_DecodeNext(&p)) != 0;) out.push_back(c);
    if (end) *end = p;
    return out;
}

std::string HashToNewline(const std::string& in, int32_t* count)
{
    std::vector<char> buf(in.begin(), in.end());
    buf.push_back('\0');
    *count = String_HashToNewline(buf.data());
    return std::string(buf.data());
}

} // namespace

TEST(Utf8, EncodeDecodeRoundTripsEveryCharacterOfThePlane)
{
    char buf[4];
    for (uint32_t c = 1; c <= 0xFFFF; ++c) {
        char* w = buf;
        int32_t n = Utf8_Encode(&w, uint16_t(c));
        ASSERT_EQ(n, Utf8_EncodedSize(uint16_t(c)));
        ASSERT_EQ(w - buf, n);
        *w = '\0';
        const char* r = buf;
        ASSERT_EQ(Utf8_DecodeNext(&r), c);
        ASSERT_EQ(r, w);
        ASSERT_EQ(Utf8_Length(buf), 1);
    }
    char* w = buf;
    Utf8_Encode(&w, 0x20AC);
    EXPECT_EQ(std::string(buf, 3), "\xE2\x82\xAC");
}

TEST(Utf8, LengthOfSimpleTexts)
{
    EXPECT_EQ(Utf8_Length(""), 0);
    EXPECT_EQ(Utf8_Length(nullptr), 0);
    EXPECT_EQ(Utf8_Length("\xC3\xA9" "A"), 2);
    EXPECT_EQ(Utf8_Length("a\xE2\x82\xAC" "b"), 3);
}

TEST(Utf8, TruncatedSequencesStopAtTheTerminator)
{
    // Each text sits at the start of a larger buffer whose bytes after the terminator would
    // be read by a walk that steps over it.
    const char* cases[] = {"a\xC3", "a\xE2", "a\xE2\x82", "\xF0", "\xF0\x9F", "\xF0\x9F\x98"};
    for (const char* c : cases) {
        char buf[16];
        std::memset(buf, 'Z', sizeof buf);
        std::memcpy(buf, c, std::strlen(c) + 1);
        const char* end;
        std::vector<uint16_t> chars = DecodeAll(buf, &end);
        EXPECT_EQ(end, buf + std::strlen(c)) << "stopped on the terminator";
        ASSERT_FALSE(chars.empty());
        EXPECT_EQ(chars.back(), UTF8_REPLACEMENT);
        EXPECT_EQ(Utf8_Length(buf), int32_t(chars.size()));
        EXPECT_EQ(Utf8_DecodeNext(&end), 0); // stays put
        EXPECT_EQ(end, buf + std::strlen(c));
    }
}

TEST(Utf8, FourByteSequenceIsOneReplacementCharacter)
{
    const char* text = "x\xF0\x9F\x98\x80y"; // U+1F600 between x and y
    EXPECT_EQ(DecodeAll(text), (std::vector<uint16_t>{'x', UTF8_REPLACEMENT, 'y'}));
    EXPECT_EQ(Utf8_Length(text), 3);
    EXPECT_EQ(Utf8_Compare(text, "x\xEF\xBF\xBDy"), 0);
}

TEST(Utf8, CompareByCharacters)
{
    EXPECT_EQ(Utf8_Compare("abc", "abc"), 0);
    EXPECT_EQ(Utf8_Compare("abc", "abd"), 'c' - 'd');
    EXPECT_EQ(Utf8_Compare("ab", "abc"), -'c'); // the shorter text's terminator counts as 0
    EXPECT_EQ(Utf8_Compare("abc", "ab"), 'c');
    EXPECT_EQ(Utf8_Compare("\xE2\x82\xAC", "\xC3\xA9"), 0x20AC - 0xE9); // characters, not bytes
    EXPECT_EQ(Utf8_Compare(nullptr, ""), 0);
    EXPECT_EQ(Utf8_CompareN("abcX", "abcY", 3), 0);
    EXPECT_NE(Utf8_CompareN("abcX", "abcY", 4), 0);
    EXPECT_EQ(Utf8_CompareN("abc", "xyz", 0), 0);
    char dst[8];
    EXPECT_STREQ(Utf8_Copy(dst, "\xC3\xA9t\xC3\xA9"), "\xC3\xA9t\xC3\xA9");
    EXPECT_STREQ(Utf8_Copy(dst, nullptr), "");
}

TEST(String_HashToNewline, HashesBecomeLineBreaksUnlessEscaped)
{
    int32_t n;
    EXPECT_EQ(HashToNewline("a#b", &n), "a\rb");
    EXPECT_EQ(n, 3);
    EXPECT_EQ(HashToNewline("a\\#b", &n), "a#b");
    EXPECT_EQ(n, 3);
    EXPECT_EQ(HashToNewline("#x", &n), "\rx");
    EXPECT_EQ(n, 2);
    EXPECT_EQ(HashToNewline("\\##", &n), "#\r");
    EXPECT_EQ(n, 2);
    EXPECT_EQ(HashToNewline("\xE2\x82\xAC#\xC3\xA9", &n), "\xE2\x82\xAC\r\xC3\xA9");
    EXPECT_EQ(n, 3);
    EXPECT_EQ(HashToNewline("", &n), "");
    EXPECT_EQ(n, 0);
    EXPECT_EQ(String_HashToNewline(nullptr), 0);
}

TEST(String_HashToNewline, MalformedTextNeverGrowsPastItsTerminator)
{
    int32_t n;
    // A cut-short sequence at the end would need three bytes where one or two were read.
    EXPECT_EQ(HashToNewline("ab\xE2", &n), "ab");
    EXPECT_EQ(n, 2);
    EXPECT_EQ(HashToNewline("a\\#\xE2\x82", &n), "a#\xEF\xBF\xBD");
    EXPECT_EQ(n, 3);
    EXPECT_EQ(HashToNewline("\xF0\x9F\x98\x80#", &n), "\xEF\xBF\xBD\r");
    EXPECT_EQ(n, 2);
}

TEST(String_HashToNewline, TheDecodedFormGivesTheCharactersOfTheInPlaceOne)
{
    // Enough "\#" before a cut-short sequence leave it room in place: then it is kept.
    for (const char* in : {"a#b\\#c", "\\##", "ab\xE2", "a\\#\xE2\x82", "a\\#\\#\xE2", "\xF0\x9F\x98\x80#\xC3",
                           "\xE2\x82\xAC#\xC3\xA9", "x\xC0\x80y", ""}) {
        int32_t n;
        const std::vector<uint16_t> expected = DecodeAll(HashToNewline(in, &n).c_str());
        std::vector<char16_t> out(std::strlen(in) + 1, u'?');
        ASSERT_EQ(String_HashToNewline16(in, out.data()), n) << in;
        EXPECT_EQ(std::vector<uint16_t>(out.begin(), out.begin() + n), expected) << in;
        EXPECT_EQ(out[size_t(n)], 0) << in;
    }
}
