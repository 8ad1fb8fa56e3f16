// CRC-32 without final inversion, checked against zlib's crc32 (the usual CRC-32) as the
// outside reference: every result must be zlib's complement.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>
#include <zlib.h>

#include "Files/Base/CRC32.h"

TEST(CRC32, KnownValueIsTheComplementOfTheUsualCrc)
{
    CRC32_BuildTable();
    EXPECT_EQ(CRC32_String("123456789"), 0x340BC6D9u);
    EXPECT_EQ(CRC32_String("123456789"), ~0xCBF43926u);
}

TEST(CRC32, MatchesComplementOfZlibOnRandomBuffers)
{
    std::mt19937 rng(1234);
    for (int len : {1, 2, 3, 7, 8, 255, 256, 1000, 65537}) {
        std::vector<unsigned char> bytes(static_cast<size_t>(len));
        for (auto& b : bytes) b = static_cast<unsigned char>(rng());
        uint32_t zl = uint32_t(crc32(0L, bytes.data(), uInt(len)));
        EXPECT_EQ(CRC32_Buffer(bytes.data(), len), ~zl) << "length " << len;
    }
}

TEST(CRC32, StringAndBufferAgreeAndEmptyInputsGiveAllOnes)
{
    std::string s = "ds_map key \xC3\xA9\x7F\x80\xFF";
    EXPECT_EQ(CRC32_String(s.c_str()), CRC32_Buffer(s.data(), int32_t(s.size())));
    EXPECT_EQ(CRC32_String(""), 0xFFFFFFFFu);
    EXPECT_EQ(CRC32_String(nullptr), 0xFFFFFFFFu);
    EXPECT_EQ(CRC32_Buffer(s.data(), 0), 0xFFFFFFFFu);
    EXPECT_EQ(CRC32_Buffer(s.data(), -4), 0xFFFFFFFFu);
    EXPECT_EQ(CRC32_Buffer(nullptr, 4), 0xFFFFFFFFu);
    double real = 12.5; // real keys hash their eight bytes
    EXPECT_EQ(CRC32_Buffer(&real, 8), ~uint32_t(crc32(0L, reinterpret_cast<const Bytef*>(&real), 8)));
}
