// MD5 against the RFC 1321 test suite, SHA-1 against the RFC 3174 test vectors, base64
// against RFC 4648 section 10.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Files/Base/Base64.h"
#include "Files/Base/MD5.h"
#include "Files/Base/SHA1.h"

namespace {

std::string Md5Hex(const std::string& text, size_t piece = 0)
{
    MD5Context ctx;
    MD5_Init(&ctx);
    if (piece == 0) piece = text.size() ? text.size() : 1;
    for (size_t i = 0; i < text.size(); i += piece)
        MD5_Update(&ctx, text.data() + i, uint32_t(std::min(piece, text.size() - i)));
    uint8_t digest[16];
    MD5_Final(digest, &ctx);
    char hex[33];
    MD5_ToHex(digest, hex);
    return hex;
}

std::string Sha1Hex(const std::string& text, int repeat)
{
    SHA1Context ctx;
    SHA1_Reset(&ctx);
    for (int i = 0; i < repeat; ++i) SHA1_Input(&ctx, text.data(), uint32_t(text.size()));
    EXPECT_TRUE(SHA1_Result(&ctx));
    char hex[41];
    SHA1_ToHex(&ctx, hex);
    return hex;
}

std::string Encode(const std::string& bytes)
{
    std::vector<char> out(Base64_EncodedSize(uint32_t(bytes.size())));
    int32_t n = Base64_Encode(bytes.data(), int32_t(bytes.size()), out.data());
    EXPECT_EQ(size_t(n) + 1, out.size());
    return out.data();
}

std::string Decode(const char* text, int32_t capacity = 256)
{
    std::vector<char> out(size_t(capacity > 0 ? capacity : 1), '\x55');
    int32_t n = Base64_Decode(text, capacity, out.data());
    return std::string(out.data(), size_t(n));
}

} // namespace

TEST(MD5, Rfc1321TestSuite)
{
    EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5Hex("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Md5Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(Md5Hex("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(Md5Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(Md5Hex("1234567890123456789012345678901234567890123456789012345678901234567890"
                     "1234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(MD5, PiecewiseInputGivesTheSameDigest)
{
    std::string text;
    for (int i = 0; i < 300; ++i) text += char('a' + i % 26);
    std::string whole = Md5Hex(text);
    for (size_t piece : {1, 3, 55, 56, 63, 64, 65, 127})
        EXPECT_EQ(Md5Hex(text, piece), whole) << "pieces of " << piece;
}

TEST(SHA1, Rfc3174TestVectors)
{
    EXPECT_EQ(Sha1Hex("abc", 1), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(Sha1Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 1),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    EXPECT_EQ(Sha1Hex("a", 1000000), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
    EXPECT_EQ(Sha1Hex("0123456701234567012345670123456701234567012345670123456701234567", 10),
              "dea356a2cddd90c7a7ecedc5ebb563934f460452");
    EXPECT_EQ(Sha1Hex("", 1), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

TEST(SHA1, InputAfterResultCorruptsTheContext)
{
    SHA1Context ctx;
    SHA1_Reset(&ctx);
    SHA1_Input(&ctx, "abc", 3);
    ASSERT_TRUE(SHA1_Result(&ctx));
    EXPECT_TRUE(SHA1_Result(&ctx)); // asking again is harmless
    SHA1_Input(&ctx, "d", 1);
    EXPECT_TRUE(ctx.corrupted);
    EXPECT_FALSE(SHA1_Result(&ctx));
    SHA1_Reset(&ctx);
    EXPECT_TRUE(SHA1_Result(&ctx));
}

TEST(Base64, Rfc4648Section10)
{
    const char* pairs[][2] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},
                              {"foo", "Zm9v"},  {"foob", "Zm9vYg=="},  {"fooba", "Zm9vYmE="},
                              {"foobar", "Zm9vYmFy"}};
    for (auto& p : pairs) {
        EXPECT_EQ(Encode(p[0]), p[1]);
        EXPECT_EQ(Decode(p[1]), p[0]);
    }
    EXPECT_EQ(Encode("abc"), "YWJj");
    EXPECT_EQ(Encode("ab"), "YWI=");
}

TEST(Base64, AllByteValuesRoundTrip)
{
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += char(i);
    for (size_t n = 0; n <= bytes.size(); n += 37) {
        std::string part = bytes.substr(0, n);
        EXPECT_EQ(Decode(Encode(part).c_str(), 400), part);
    }
}

TEST(Base64, DecodeStopsAtPaddingOrForeignCharactersAndRespectsCapacity)
{
    EXPECT_EQ(Decode("Zm9v YmFy"), "foo");
    EXPECT_EQ(Decode("Zm9v=YmFy"), "foo");
    EXPECT_EQ(Decode("Zm9vY"), "foo"); // a single leftover character gives nothing
    EXPECT_EQ(Decode("Zm9vYmFy", 4), "foo"); // at most capacity - 1 bytes
    EXPECT_EQ(Decode("Zm9vYmFy", 1), "");
    EXPECT_EQ(Decode("Zm9vYmFy", 0), "");
    EXPECT_EQ(Base64_Decode(nullptr, 10, nullptr), 0);
    char out[8];
    std::memset(out, 'Q', sizeof out);
    EXPECT_EQ(Base64_Decode("Zm8=", 8, out, true), 2);
    EXPECT_EQ(std::string(out, 3), std::string("fo\0", 3));
    std::memset(out, 'Q', sizeof out);
    EXPECT_EQ(Base64_Decode("Zm9vYmFy", 3, out, true), 2); // zero still fits
    EXPECT_EQ(std::string(out, 4), std::string("fo\0Q", 4));
}
