// CStream: stored forms, growth, bounds on reads and lengths, views, hex text, zlib blocks
// (checked against zlib itself) and the seed-table permutation.
#include <gtest/gtest.h>
#include <zlib.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "Files/Support/LoadSave.h"
#include "Files/Support/Stream.h"
#include "Platform/MemoryManager.h"
#include "support/ScratchFolder.h"

namespace {

std::vector<uint8_t> Bytes(const CStream& s, int64_t n)
{
    return std::vector<uint8_t>(s.GetMemory(), s.GetMemory() + n);
}

// A stream holding exactly these bytes, positioned at 0.
CStream* StreamOf(const std::vector<uint8_t>& bytes)
{
    auto* s = new CStream(0);
    s->WriteBuffer(bytes.data(), int64_t(bytes.size()));
    s->Seek(0);
    return s;
}

std::string Hex(const CStream& s)
{
    char* text = nullptr;
    s.ToHexString(&text);
    std::string r = text ? text : "<null>";
    MEM_FREE(text);
    return r;
}

} // namespace

TEST(Stream, IntegersGrowAFreshStreamByDoubling)
{
    CStream s(0);
    s.WriteInteger(1);
    EXPECT_EQ(s.GetSize(), 4);
    EXPECT_EQ(s.GetPosition(), 4);
    EXPECT_EQ(Bytes(s, 4), (std::vector<uint8_t>{1, 0, 0, 0}));
    s.WriteInteger(-2);
    EXPECT_EQ(s.GetSize(), 8);
    s.WriteReal(1.5);
    EXPECT_EQ(s.GetSize(), 16);
    s.WriteBoolean(true);
    s.Seek(0);
    EXPECT_EQ(s.ReadInteger(), 1);
    EXPECT_EQ(s.ReadInteger(), -2);
    EXPECT_EQ(s.ReadReal(), 1.5);
    EXPECT_TRUE(s.ReadBoolean());
}

TEST(Stream, ABufferWrittenAtTheEndLandsInsideTheGrownBlock)
{
    CStream s(4);
    s.Seek(4);
    const char ten[] = "0123456789";
    EXPECT_EQ(s.WriteBuffer(ten, 10), 10);
    EXPECT_EQ(s.GetSize(), 14);
    EXPECT_EQ(std::memcmp(s.GetMemory() + 4, ten, 10), 0);
    EXPECT_EQ(s.WriteBuffer(nullptr, 3), 0);
    EXPECT_EQ(s.WriteBuffer(ten, 0), 0);
}

TEST(Stream, ASourceInsideTheBlockSurvivesGrowth)
{
    CStream s(0);
    s.WriteBuffer("abcd", 4);
    EXPECT_EQ(s.WriteBuffer(s.GetMemory(), 4), 4); // grows while reading its own bytes
    EXPECT_EQ(std::string(reinterpret_cast<char*>(s.GetMemory()), 8), "abcdabcd");
}

TEST(Stream, GrowthPastTheCapFailsAndRecordsNothing)
{
    CStream s(8);
    s.Seek(8);
    const char byte = 'x';
    EXPECT_EQ(s.WriteBuffer(&byte, CStream::kStreamMaxSize), 0);
    EXPECT_EQ(s.WriteBuffer(&byte, INT64_MAX), 0);
    EXPECT_EQ(s.GetSize(), 8);
    EXPECT_EQ(s.GetPosition(), 8);
    s.WriteInteger(7); // still usable
    EXPECT_EQ(s.GetSize(), 16);
}

TEST(Stream, ReadsAtTheEndGiveZerosAndPartialReadsAreZeroFilled)
{
    CStream* s = StreamOf({0x11, 0x22});
    EXPECT_EQ(s->ReadInteger(), 0x2211);
    EXPECT_EQ(s->GetPosition(), 2);
    EXPECT_EQ(s->ReadInteger(), 0);
    EXPECT_EQ(s->ReadReal(), 0.0);
    EXPECT_FALSE(s->ReadBoolean());
    EXPECT_EQ(s->GetPosition(), 2);
    char buffer[4];
    EXPECT_EQ(s->ReadBuffer(buffer, 4), 0);
    s->Seek(1);
    EXPECT_EQ(s->ReadBuffer(buffer, 4), 1);
    EXPECT_EQ(s->ReadBuffer(nullptr, 4), 0);
    CStream::Delete(s);
}

TEST(Stream, SeekIsClampedToTheData)
{
    CStream s(10);
    s.Seek(-5);
    EXPECT_EQ(s.GetPosition(), 0);
    s.Seek(50);
    EXPECT_EQ(s.GetPosition(), 10);
    EXPECT_EQ(s.Seek(-3, 2), 7);
    EXPECT_EQ(s.Seek(2, 1), 9);
    EXPECT_EQ(s.Seek(INT64_MAX, 1), 10);
    EXPECT_EQ(s.Seek(INT64_MIN, 1), 0);
    EXPECT_EQ(s.Seek(4, 9), 0); // unknown origin: unchanged
    s.Free();
    EXPECT_EQ(s.GetSize(), 0);
    EXPECT_EQ(s.GetPosition(), 0);
}

TEST(Stream, StringsOfLengthZeroAndNull)
{
    CStream s(0);
    s.WriteString(nullptr);
    s.WriteString("");
    s.WriteString("abc");
    EXPECT_EQ(s.GetPosition(), 4 + 4 + 7);
    s.Seek(0);
    EXPECT_EQ(s.ReadString(), nullptr);
    char* t = reinterpret_cast<char*>(1);
    s.ReadStringTo(&t);
    EXPECT_EQ(t, nullptr);
    char* abc = s.ReadString();
    EXPECT_STREQ(abc, "abc");
    MEM_FREE(abc);
}

TEST(Stream, LengthsThatDoNotFitReadNothingAndExhaustTheStream)
{
    // A string claiming 100 bytes with 3 present; then a huge and a negative length.
    for (uint32_t length : {100u, 0xFFFFFFFFu, 0x80000000u}) {
        CStream* s = StreamOf({uint8_t(length), uint8_t(length >> 8), uint8_t(length >> 16),
                               uint8_t(length >> 24), 'a', 'b', 'c'});
        EXPECT_EQ(s->ReadString(), nullptr);
        EXPECT_EQ(s->GetPosition(), s->GetSize());
        EXPECT_EQ(s->ReadInteger(), 0);
        s->Seek(0);
        CStream* sub = s->ReadStream();
        ASSERT_NE(sub, nullptr);
        EXPECT_EQ(sub->GetSize(), 0);
        CStream::Delete(sub);
        s->Seek(0);
        EXPECT_EQ(ZDecompressStream(s), nullptr);
        EXPECT_EQ(s->GetPosition(), s->GetSize());
        CStream::Delete(s);
    }
    // A length word cut short.
    CStream* s = StreamOf({5, 0});
    EXPECT_EQ(s->ReadString(), nullptr);
    EXPECT_EQ(s->GetPosition(), 2);
    CStream::Delete(s);
}

TEST(Stream, SubStreamsAreCopiesPositionedAtTheStart)
{
    CStream s(0);
    s.WriteInteger(3);
    s.WriteBuffer("xyz", 3);
    s.WriteInteger(99);
    s.Seek(0);
    CStream* sub = s.ReadStream();
    EXPECT_EQ(sub->GetSize(), 3);
    EXPECT_EQ(sub->GetPosition(), 0);
    EXPECT_FALSE(sub->IsBorrowed());
    EXPECT_EQ(std::memcmp(sub->GetMemory(), "xyz", 3), 0);
    EXPECT_EQ(s.ReadInteger(), 99);
    CStream::Delete(sub);
}

TEST(Stream, CopyFromCopiesOrBorrows)
{
    CStream* src = StreamOf({1, 2, 3, 4, 5, 6});
    CStream whole(0);
    EXPECT_EQ(whole.CopyFrom(src, 0), 6);
    EXPECT_EQ(src->GetPosition(), 6);

    src->Seek(2);
    CStream part(0);
    EXPECT_EQ(part.CopyFrom(src, 100), 4); // cut at the end
    EXPECT_EQ(src->GetPosition(), 6);

    src->Seek(1);
    CStream view(16);
    EXPECT_EQ(view.CopyFrom(src, 3, true), 3);
    EXPECT_TRUE(view.IsBorrowed());
    EXPECT_EQ(view.GetMemory(), src->GetMemory() + 1);
    EXPECT_EQ(view.GetSize(), 3);
    EXPECT_EQ(src->GetPosition(), 4);
    view.Seek(0);
    EXPECT_EQ(view.ReadInteger(), 0x040302); // the byte past the view reads as zero

    // Growing a view makes it an owned copy; the source is untouched.
    view.Seek(3);
    view.WriteInteger(-1);
    EXPECT_FALSE(view.IsBorrowed());
    EXPECT_EQ(src->GetMemory()[4], 5);
    EXPECT_EQ(Bytes(view, 3), (std::vector<uint8_t>{2, 3, 4}));

    // A view longer than what remains takes nothing.
    src->Seek(5);
    CStream bad(0);
    EXPECT_EQ(bad.CopyFrom(src, 2, true), 0);
    EXPECT_EQ(bad.GetMemory(), nullptr);
    EXPECT_EQ(src->GetPosition(), 5);
    EXPECT_EQ(bad.CopyFrom(src, -1, true), 0);
    CStream::Delete(src);
}

TEST(Stream, HexTextBothWays)
{
    CStream s(0);
    s.WriteBuffer("\x0F\xA0", 2);
    EXPECT_EQ(Hex(s), "0FA0");
    s.FromHexString("0fa0");
    EXPECT_EQ(s.GetSize(), 2);
    EXPECT_EQ(s.GetPosition(), 0);
    EXPECT_EQ(Bytes(s, 2), (std::vector<uint8_t>{0x0F, 0xA0}));
    EXPECT_EQ(Hex(s), "<null>"); // position 0

    s.FromHexString("0fa"); // odd length: the last character is ignored
    EXPECT_EQ(Bytes(s, s.GetSize()), (std::vector<uint8_t>{0x0F}));
    s.FromHexString("zz41g0ff"); // pairs with a non-digit are skipped
    EXPECT_EQ(Bytes(s, s.GetSize()), (std::vector<uint8_t>{0x41, 0xFF}));
    s.FromHexString(""); // nothing changes
    EXPECT_EQ(s.GetSize(), 2);
    s.FromHexString("xyz!");
    EXPECT_EQ(s.GetSize(), 0);
    EXPECT_EQ(s.GetMemory(), nullptr);
}

TEST(Stream, CompressedBlocksAreZlibStreams)
{
    std::string text;
    for (int i = 0; i < 5000; i++) text += "block " + std::to_string(i % 37) + ";";
    CStream src(0);
    src.WriteBuffer(text.data(), int64_t(text.size()));
    src.Seek(123);

    CStream packed(0);
    packed.WriteInteger(0x55AA); // something before the block
    ASSERT_EQ(ZCompressStream(&packed, &src), 0);
    EXPECT_EQ(src.GetPosition(), 123);
    int64_t end = packed.GetPosition();
    packed.WriteInteger(77); // and after it

    // zlib reads what the stream wrote.
    int32_t n;
    std::memcpy(&n, packed.GetMemory() + 4, 4);
    EXPECT_EQ(n, end - 8);
    std::vector<uint8_t> out(src.GetSize());
    uLongf outLength = uLongf(out.size());
    ASSERT_EQ(uncompress(out.data(), &outLength, packed.GetMemory() + 8, uLong(n)), Z_OK);
    EXPECT_EQ(int64_t(outLength), src.GetSize());
    EXPECT_EQ(std::memcmp(out.data(), src.GetMemory(), outLength), 0);

    // The stream reads what the stream wrote, and stops just past the block.
    packed.Seek(4);
    CStream* back = ZDecompressStream(&packed);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetPosition(), 0);
    EXPECT_EQ(back->GetSize(), src.GetSize());
    EXPECT_EQ(std::memcmp(back->GetMemory(), src.GetMemory(), size_t(src.GetSize())), 0);
    EXPECT_EQ(packed.GetPosition(), end);
    EXPECT_EQ(packed.ReadInteger(), 77);
    CStream::Delete(back);
}

TEST(Stream, ZlibOutputIsReadAsACompressedBlock)
{
    std::vector<uint8_t> plain(100000);
    for (size_t i = 0; i < plain.size(); i++) plain[i] = uint8_t((i * 7919) >> 5);
    std::vector<uint8_t> z(compressBound(uLong(plain.size())));
    uLongf zLength = uLongf(z.size());
    ASSERT_EQ(compress2(z.data(), &zLength, plain.data(), uLong(plain.size()), 9), Z_OK);

    CStream s(0);
    s.WriteInteger(int32_t(zLength));
    s.WriteBuffer(z.data(), int64_t(zLength));
    s.Seek(0);
    CStream* back = ZDecompressStream(&s);
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->GetSize(), int64_t(plain.size()));
    EXPECT_EQ(std::memcmp(back->GetMemory(), plain.data(), plain.size()), 0);
    CStream::Delete(back);

    // Damaged and cut-short blocks give null.
    z[zLength / 2] ^= 0x5A;
    z[zLength - 1] ^= 0xFF;
    CStream bad(0);
    bad.WriteInteger(int32_t(zLength));
    bad.WriteBuffer(z.data(), int64_t(zLength));
    bad.Seek(0);
    EXPECT_EQ(ZDecompressStream(&bad), nullptr);
    CStream cut(0);
    cut.WriteInteger(10);
    cut.WriteBuffer(z.data(), 10);
    cut.Seek(0);
    EXPECT_EQ(ZDecompressStream(&cut), nullptr);
    EXPECT_EQ(cut.GetPosition(), 14);
}

TEST(Stream, AnEmptySourceCompressesToAValidBlock)
{
    CStream empty(0), packed(0);
    ASSERT_EQ(ZCompressStream(&packed, &empty), 0);
    packed.Seek(0);
    CStream* back = ZDecompressStream(&packed);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetSize(), 0);
    CStream::Delete(back);
}

TEST(Stream, SeedTablesArePermutationsThatKeepZeroForEverySeed)
{
    uint8_t f0[256], i0[256], f250[256], i250[256];
    Stream_BuildSeedTables(0, f0, i0);
    Stream_BuildSeedTables(250, f250, i250);
    EXPECT_NE(std::memcmp(f0, f250, 256), 0);

    for (int32_t seed : {0, 1, 249, 250, -1, -250, -64000, -64250, -1000000, INT_MIN, INT_MAX, 123456789}) {
        uint8_t f[256], inv[256];
        Stream_BuildSeedTables(seed, f, inv);
        bool seen[256] = {};
        for (int v = 0; v < 256; v++) seen[f[v]] = true;
        for (int v = 0; v < 256; v++) EXPECT_TRUE(seen[v]) << "seed " << seed;
        EXPECT_EQ(f[0], 0);
        EXPECT_EQ(inv[0], 0);
        for (int v = 0; v < 256; v++) EXPECT_EQ(inv[f[v]], v) << "seed " << seed;
    }
}

TEST(Stream, ApplySeedTableUndoesTheForwardPermutation)
{
    uint8_t f[256], inv[256];
    Stream_BuildSeedTables(4242, f, inv);
    std::vector<uint8_t> plain = {'h', 'e', 'l', 'l', 'o', 0, 200};
    std::vector<uint8_t> scrambled = plain;
    for (size_t i = 2; i < scrambled.size(); i++) scrambled[i] = f[scrambled[i]];
    CStream* s = StreamOf(scrambled);
    s->ApplySeedTable(4242, 2, 0); // length below 1: to the end
    EXPECT_EQ(Bytes(*s, s->GetSize()), plain);
    s->ApplySeedTable(4242, 100, 5); // outside the data: nothing
    s->ApplySeedTable(4242, -3, INT64_MAX);
    EXPECT_EQ(s->GetMemory()[0], inv['h']);
    CStream::Delete(s);
}

TEST(Stream, FilesLoadFromAnOffsetAndSaveUpToThePosition)
{
    ScratchFolder dir;
    ScopedCurrentFolder cwd(dir.Path());
    LoadSave_SetFolders((dir / "prog").c_str(), (dir / "save").c_str(), nullptr);
    Scratch_WriteFile(dir / "prog/f.bin", "HEADERpayload");
    Scratch_WriteFile(dir / "save/g.bin", "saved");

    CStream s(0);
    s.LoadFromFile("f.bin", 6);
    EXPECT_EQ(s.GetSize(), 7);
    EXPECT_EQ(std::memcmp(s.GetMemory(), "payload", 7), 0);
    s.LoadFromFile("g.bin", 0);
    EXPECT_EQ(s.GetSize(), 5);
    s.LoadFromFile("f.bin", 14); // past the end
    EXPECT_EQ(s.GetSize(), 0);
    EXPECT_EQ(s.GetMemory(), nullptr);
    s.LoadFromFile("f.bin", -1);
    EXPECT_EQ(s.GetSize(), 0);
    s.LoadFromFile("missing.bin", 0);
    EXPECT_EQ(s.GetMemory(), nullptr);

    CStream out(64);
    out.WriteBuffer("abc", 3);
    EXPECT_TRUE(out.SaveToFile((dir / "out.bin").c_str()));
    EXPECT_EQ(Scratch_ReadFile(dir / "out.bin"), "abc");
    EXPECT_FALSE(out.SaveToFile((dir / "no/such/out.bin").c_str()));
    LoadSave_SetFolders(nullptr, nullptr, nullptr);
}
