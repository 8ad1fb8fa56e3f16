// Binary buffers: every data type against Python's struct, the edges of each buffer kind
// (alignment, the wrap phase, growing, fixed overflow, fast buffers, size 0), seeking,
// peek/poke, fill and copy against a byte-by-byte model, resizing, digests and base64 against
// Python, files, and the string entries the saved forms rely on.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <sstream>

#include "Files/Base/Value.h"
#include "Files/Buffer/IBuffer.h"
#include "Files/Support/LoadSave.h"
#include "Platform/MemoryManager.h"
#include "netbuf/NetbufSupport.h"
#include "support/ScratchFolder.h"

namespace {

std::string Hex(const uint8_t* p, size_t n)
{
    static const char* d = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += d[p[i] >> 4];
        s += d[p[i] & 15];
    }
    return s;
}
std::string Hex(const IBuffer& b) { return Hex(b.Data(), size_t(b.Size())); }

int32_t W(IBuffer& b, int32_t type, double x) { return Buffer_WriteNumber(&b, type, x); }

double R(IBuffer& b, int32_t type)
{
    ScriptValue v = Value_Real(0);
    b.Read(type, &v);
    double r = v.real;
    Value_FreeString(&v);
    return r;
}

double PeekAt(IBuffer& b, int32_t offset, int32_t type)
{
    ScriptValue v = Value_Real(0);
    b.Peek(offset, type, &v);
    return v.real;
}

std::string Fmt(double x)
{
    char s[64];
    std::snprintf(s, sizeof s, "%.17g", x);
    return s;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

// The byte-by-byte reading of the copy rules: the model the optimised engine must match.
void ModelCopy(std::vector<uint8_t>& dst, bool dstWraps, const std::vector<uint8_t>& src, bool srcWraps, int64_t so,
               int64_t n, int64_t dof)
{
    const int64_t ss = int64_t(src.size()), ds = int64_t(dst.size());
    if (n < 0) n = ss;
    if (srcWraps) {
        so = ((so % ss) + ss) % ss;
    } else {
        so = so < 0 ? 0 : so >= ss ? ss - 1 : so;
        n = std::min(n, ss - so);
    }
    if (dstWraps) {
        dof = ((dof % ds) + ds) % ds;
    } else if (dof < 0) {
        dof = 0;
        n = std::min(n, ds);
    } else if (dof >= ds) {
        dof = ds - 1;
        n = std::min<int64_t>(n, 1);
    } else {
        n = std::min(n, ds - dof);
    }
    for (int64_t i = 0; i < n; ++i) dst[size_t((dof + i) % ds)] = src[size_t((so + i) % ss)];
}

} // namespace

TEST(Buffer, EveryNumberTypeStoresAndReadsWhatPythonsStructDoes)
{
    const double values[] = {0,    1,     -1,     0.5,        0.51,        -0.7,        255,         256,
                             300,  -129,  65535,  65536,      -32769,      2147483647,  2147483648.0, -2147483649.0,
                             4294967295.0, 4294967296.0, 1e20, -1e20, 3.25, 1e-45, NAN};
    const struct {
        int32_t type;
        char fmt;
    } types[] = {{eBuffer_U8, 'B'},  {eBuffer_S8, 'b'},  {eBuffer_U16, 'H'}, {eBuffer_S16, 'h'}, {eBuffer_U32, 'I'},
                 {eBuffer_S32, 'i'}, {eBuffer_F32, 'f'}, {eBuffer_F64, 'd'}, {eBuffer_Bool, '?'}};
    std::string packs, unpacks;
    std::vector<std::string> written;
    std::vector<double> readBack;
    for (auto t : types)
        for (double x : values) {
            if (t.fmt == 'f' && std::fabs(x) > 3e38) continue; // Python refuses to narrow these
            Buffer_Standard b(8, eBuffer_Fixed, 1);
            ASSERT_EQ(W(b, t.type, x), 0);
            EXPECT_EQ(b.Tell(), Buffer_SizeOfType(t.type));
            written.push_back(Hex(b.Data(), size_t(Buffer_SizeOfType(t.type))));
            b.Seek(eSeek_Start, 0);
            readBack.push_back(R(b, t.type));
            packs += std::string("pack ") + t.fmt + " " + Fmt(x) + "\n";
            unpacks += std::string("unpack ") + (t.fmt == '?' ? 'B' : t.fmt) + " " + written.back() + "\n";
        }
    const std::vector<std::string> expectBytes = Lines(Netbuf_Oracle(packs));
    const std::vector<std::string> expectValues = Lines(Netbuf_Oracle(unpacks));
    ASSERT_EQ(expectBytes.size(), written.size());
    ASSERT_EQ(expectValues.size(), readBack.size());
    for (size_t i = 0; i < written.size(); ++i) {
        EXPECT_EQ(written[i], expectBytes[i]) << Lines(packs)[i];
        const double want = std::strtod(expectValues[i].c_str(), nullptr);
        if (std::isnan(want)) EXPECT_TRUE(std::isnan(readBack[i])) << Lines(unpacks)[i];
        else EXPECT_EQ(readBack[i], want) << Lines(unpacks)[i];
    }
}

TEST(Buffer, SmallFixedExamples)
{
    Buffer_Standard b(8, eBuffer_Fixed, 1);
    W(b, eBuffer_U8, 300);
    W(b, eBuffer_U32, -1);
    W(b, eBuffer_Bool, 0.5);
    W(b, eBuffer_Bool, 0.51);
    EXPECT_EQ(Hex(b), "2cffffffff000100");
    b.Seek(eSeek_Start, 1);
    EXPECT_EQ(R(b, eBuffer_U32), 4294967295.0);
    ScriptValue ff = Value_Real(255);
    b.Poke(0, eBuffer_U8, &ff);
    EXPECT_EQ(PeekAt(b, 0, eBuffer_U8), 255);
    EXPECT_EQ(PeekAt(b, 0, eBuffer_S8), -1);
    // f16 is not supported: -1, nothing written, the alignment step done.
    EXPECT_EQ(W(b, eBuffer_F16, 1), -1);
    EXPECT_EQ(W(b, 0, 1), -1);
    EXPECT_EQ(W(b, 12, 1), -1);
}

TEST(Buffer, AlignmentPutsEntriesOnTheGrid)
{
    Buffer_Standard b(16, eBuffer_Fixed, 4);
    EXPECT_EQ(b.Alignment(), 4);
    W(b, eBuffer_U8, 1);
    W(b, eBuffer_U16, 2);
    EXPECT_EQ(b.Tell(), 6);
    EXPECT_EQ(PeekAt(b, 4, eBuffer_U16), 2);
    b.Seek(eSeek_Start, 1);
    EXPECT_EQ(R(b, eBuffer_U16), 2); // the read aligns too
    EXPECT_EQ(b.Tell(), 6);
    // Alignments round up to a power of two, at most 1024.
    EXPECT_EQ(Buffer_Standard(1, 0, 3).Alignment(), 4);
    EXPECT_EQ(Buffer_Standard(1, 0, 600).Alignment(), 1024);
    EXPECT_EQ(Buffer_Standard(1, 0, 1024).Alignment(), 1024);
    EXPECT_EQ(Buffer_Standard(1, 0, 5000).Alignment(), 1024);
    // The data lies on the grid in memory too.
    Buffer_Standard big(10, 0, 512);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(big.Data()) % 512, 0u);
}

TEST(Buffer, FixedBufferRefusesWhatDoesNotFit)
{
    Buffer_Standard b(4, eBuffer_Fixed, 1);
    b.Seek(eSeek_Start, 3);
    EXPECT_EQ(W(b, eBuffer_U16, 0x1234), -2);
    EXPECT_EQ(Hex(b), "00000000");
    EXPECT_EQ(W(b, eBuffer_U8, 7), 0);
    EXPECT_EQ(W(b, eBuffer_U8, 8), -2);
    EXPECT_EQ(Hex(b), "00000007");
    // A string that would cross the end writes nothing.
    b.Seek(eSeek_Start, 1);
    EXPECT_EQ(Buffer_WriteString(&b, "abc"), -2);
    EXPECT_EQ(Buffer_WriteString(&b, "ab"), 0);
    EXPECT_EQ(Hex(b), "00616200");
    // Reading at the end gives -3 and says so.
    EXPECT_EQ(R(b, eBuffer_U8), -3);
    EXPECT_TRUE(b.LastReadEmpty());
    b.Seek(eSeek_Start, 2);
    EXPECT_EQ(R(b, eBuffer_U32), -3); // would cross the end
    double d = 5;
    EXPECT_FALSE(Buffer_ReadNumber(&b, eBuffer_U32, &d));
    EXPECT_EQ(d, 0);
}

TEST(Buffer, GrowBufferDoublesAndNeverLosesAByte)
{
    Buffer_Standard b(4, eBuffer_Grow, 1);
    for (int i = 0; i < 4; ++i) W(b, eBuffer_U8, i);
    EXPECT_EQ(b.Size(), 8); // doubled as soon as the fourth byte filled it
    W(b, eBuffer_U8, 4);
    EXPECT_EQ(b.Size(), 8);
    EXPECT_EQ(Hex(b), "0001020304000000");

    Buffer_Standard c(4, eBuffer_Grow, 1);
    c.Seek(eSeek_Start, 3);
    W(c, eBuffer_U32, 0x01020304);
    EXPECT_EQ(c.Size(), 8);
    EXPECT_EQ(Hex(c), "0000000403020100");

    // A long string grows by doubling until it fits.
    Buffer_Standard s(2, eBuffer_Grow, 1);
    std::string text(100, 'x');
    EXPECT_EQ(Buffer_WriteString(&s, text.c_str()), 0);
    EXPECT_EQ(s.Size(), 128);
    EXPECT_EQ(s.Tell(), 101);

    // The loaders' default buffer starts at size 0 and grows from there.
    Buffer_Standard d;
    EXPECT_EQ(d.Size(), 0);
    EXPECT_EQ(W(d, eBuffer_U16, 0xBEEF), 0);
    EXPECT_EQ(d.Size(), 2);
    EXPECT_EQ(W(d, eBuffer_U8, 1), 0);
    EXPECT_EQ(W(d, eBuffer_F64, 1.5), 0);
    d.Seek(eSeek_Start, 0);
    EXPECT_EQ(R(d, eBuffer_U16), 0xBEEF);
    EXPECT_EQ(R(d, eBuffer_U8), 1);
    EXPECT_EQ(R(d, eBuffer_F64), 1.5);
}

TEST(Buffer, WrapBufferKeepsEntriesAlignedAcrossTheEnd)
{
    Buffer_Standard b(10, eBuffer_Wrap, 4);
    W(b, eBuffer_U32, 0x11111111);
    W(b, eBuffer_U32, 0x22222222);
    W(b, eBuffer_U32, 0x44332211);
    EXPECT_EQ(b.WrapPhase(), 2);
    EXPECT_EQ(b.Tell(), 2);
    EXPECT_EQ(Hex(b), "33441111222222221122"); // the third entry: bytes 8, 9, 0, 1
    EXPECT_EQ(b.Data()[8], 0x11);
    EXPECT_EQ(b.Data()[9], 0x22);
    EXPECT_EQ(b.Data()[0], 0x33);
    EXPECT_EQ(b.Data()[1], 0x44);
    W(b, eBuffer_U32, 0xAAAAAAAA);
    EXPECT_EQ(b.Tell(), 6); // started at 2
    W(b, eBuffer_U32, 0xBBBBBBBB);
    EXPECT_EQ(b.Tell(), 0); // 6..9, then back to the start
    EXPECT_EQ(b.WrapPhase(), 0);
    // Reading wraps the same way: the entry across the end comes back whole.
    EXPECT_EQ(Hex(b), "3344aaaaaaaabbbbbbbb");
    b.Seek(eSeek_Start, 8);
    EXPECT_EQ(R(b, eBuffer_U32), double(0x4433BBBBu));
    EXPECT_EQ(b.Tell(), 2);
}

TEST(Buffer, WrapReadsAcrossTheEndAndLongEntriesKeepTheirTail)
{
    Buffer_Standard b(10, eBuffer_Wrap, 1);
    b.Seek(eSeek_Start, 8);
    W(b, eBuffer_U32, 0x44332211);
    EXPECT_EQ(b.Tell(), 2);
    b.Seek(eSeek_Start, 8);
    EXPECT_EQ(R(b, eBuffer_U32), double(0x44332211u));
    EXPECT_EQ(PeekAt(b, 8, eBuffer_U32), double(0x44332211u));
    EXPECT_EQ(PeekAt(b, 18, eBuffer_U32), double(0x44332211u)); // offsets reduce below the size

    // A string longer than the buffer: the last ten bytes stay, the position and phase move
    // as if every byte had been written.
    Buffer_Standard w(10, eBuffer_Wrap, 4);
    w.Seek(eSeek_Start, 3);
    std::string text = "abcdefghijklmnopqrstuvwxy"; // 25 bytes and the zero: 26
    Buffer_WriteString(&w, text.c_str());
    // Written from 4 (aligned) over bytes 4..29: three wraps of 10, so the position is 0 and
    // the phase 30 % 4 = 2.
    std::string expect(10, '\0');
    for (int k = 0; k < 26; ++k) expect[size_t((4 + k) % 10)] = k < 25 ? text[size_t(k)] : '\0';
    EXPECT_EQ(std::string(reinterpret_cast<char*>(w.Data()), 10), expect);
    EXPECT_EQ(w.Tell(), 0);
    EXPECT_EQ(w.WrapPhase(), 2);

    // Poke across the end.
    Buffer_Standard p(10, eBuffer_Wrap, 1);
    ScriptValue v = Value_Real(-1234.5678);
    p.Poke(16, eBuffer_F64, &v); // at 6: 6..9, 0..3
    EXPECT_EQ(PeekAt(p, 6, eBuffer_F64), v.real);
    EXPECT_EQ(p.Data()[4], 0);
}

TEST(Buffer, SeekClampsAndWrapsWithThePhase)
{
    Buffer_Standard b(10, eBuffer_Fixed, 1);
    EXPECT_EQ(b.Seek(eSeek_End, 0), 9);
    EXPECT_EQ(b.Seek(eSeek_End, 9), 1);
    EXPECT_EQ(b.Seek(eSeek_End, 1000), 1);
    EXPECT_EQ(b.Seek(eSeek_End, -5), 9);
    EXPECT_EQ(b.Seek(eSeek_Start, 50), 9);
    EXPECT_EQ(b.Seek(eSeek_Start, -50), 0);
    EXPECT_EQ(b.Seek(eSeek_Relative, 4), 4);
    EXPECT_EQ(b.Seek(eSeek_Relative, 100), 9);
    EXPECT_EQ(b.Seek(eSeek_Relative, -2000000000), 0);
    EXPECT_EQ(b.Seek(7, 3), 0); // another base moves nothing

    Buffer_Standard w(10, eBuffer_Wrap, 4);
    EXPECT_EQ(w.Seek(eSeek_Relative, 12), 2); // one wrap forward: phase 10 % 4 = 2
    EXPECT_EQ(w.WrapPhase(), 2);
    EXPECT_EQ(w.Seek(eSeek_Relative, -4), 8); // one back: the phase returns
    EXPECT_EQ(w.WrapPhase(), 0);
    EXPECT_EQ(w.Seek(eSeek_Relative, 2000000000), (8 + 2000000000) % 10);
    // Far seeks finish at once and keep the phase consistent with single steps.
    Buffer_Standard one(10, eBuffer_Wrap, 4);
    for (int k = 0; k < 37; ++k) one.Seek(eSeek_Relative, 7);
    Buffer_Standard far(10, eBuffer_Wrap, 4);
    far.Seek(eSeek_Relative, 37 * 7);
    EXPECT_EQ(far.Tell(), one.Tell());
    EXPECT_EQ(far.WrapPhase(), one.WrapPhase());
    EXPECT_EQ(w.Seek(eSeek_Start, 3), 3);
    EXPECT_EQ(w.WrapPhase(), 0);

    // A buffer of one byte (or none) never seeks past its end.
    Buffer_Standard tiny(1, eBuffer_Fixed, 1);
    EXPECT_EQ(tiny.Seek(eSeek_End, 0), 0);
    Buffer_Standard empty;
    EXPECT_EQ(empty.Seek(eSeek_End, 0), 0);
    EXPECT_EQ(empty.Seek(eSeek_Relative, 5), 0);
}

TEST(Buffer, PeekAndPokeStayInsideAndLeaveThePosition)
{
    Buffer_Standard b(6, eBuffer_Grow, 1);
    ScriptValue v = Value_Real(0x01020304);
    b.Poke(2, eBuffer_U32, &v);
    b.Poke(3, eBuffer_U32, &v); // would cross the end: nothing (a grow buffer does not grow)
    b.Poke(-1, eBuffer_U8, &v);
    b.Poke(0, eBuffer_F16, &v);
    EXPECT_EQ(Hex(b), "000004030201");
    EXPECT_EQ(b.Size(), 6);
    EXPECT_EQ(b.Tell(), 0);
    EXPECT_EQ(PeekAt(b, 2, eBuffer_U32), 0x01020304);
    EXPECT_EQ(PeekAt(b, 3, eBuffer_U32), 0);
    EXPECT_EQ(PeekAt(b, -1, eBuffer_U8), 0);
    EXPECT_EQ(PeekAt(b, 0, eBuffer_String), 0);
    EXPECT_EQ(PeekAt(b, 0, eBuffer_F16), 0);
    ScriptValue s{VALUE_STRING, const_cast<char*>("hi"), 0};
    b.Poke(0, eBuffer_String, &s);
    EXPECT_EQ(Hex(b), "686900030201");
}

TEST(Buffer, StringEntriesAndTheNullMarker)
{
    Buffer_Standard b(64, eBuffer_Fixed, 1);
    Buffer_WriteString(&b, "caf\xc3\xa9");
    Buffer_WriteString(&b, nullptr);
    Buffer_WriteString(&b, "\x04");
    Buffer_WriteString(&b, "");
    Buffer_WriteLengthString(&b, "abc");
    b.Seek(eSeek_Start, 0);
    bool ok = false;
    char* t = Buffer_ReadString(&b, &ok);
    EXPECT_TRUE(ok);
    EXPECT_STREQ(t, "caf\xc3\xa9");
    MEM_FREE(t);
    EXPECT_EQ(Buffer_ReadString(&b, &ok), nullptr);
    EXPECT_TRUE(ok);
    EXPECT_EQ(Buffer_ReadString(&b, &ok), nullptr); // the byte 4 alone is the null marker
    EXPECT_TRUE(ok);
    t = Buffer_ReadString(&b, &ok);
    EXPECT_STREQ(t, "");
    MEM_FREE(t);
    EXPECT_EQ(R(b, eBuffer_U32), 4);
    t = Buffer_ReadString(&b, &ok);
    EXPECT_STREQ(t, "abc");
    MEM_FREE(t);

    // A string without its zero byte stops at the end of the block.
    Buffer_Standard c(3, eBuffer_Fixed, 1);
    std::memcpy(c.Data(), "xyz", 3);
    ScriptValue v = Value_Real(0);
    EXPECT_EQ(c.Read(eBuffer_String, &v), 0);
    EXPECT_STREQ(v.text, "xyz");
    EXPECT_EQ(c.Tell(), 3);
    Value_FreeString(&v);
    // Nothing left: null and not ok.
    EXPECT_EQ(Buffer_ReadString(&c, &ok), nullptr);
    EXPECT_FALSE(ok);

    // A real written as a string entry writes the empty text.
    Buffer_Standard r(4, eBuffer_Fixed, 1);
    ScriptValue real = Value_Real(12);
    EXPECT_EQ(r.Write(eBuffer_String, &real), 0);
    EXPECT_EQ(r.Tell(), 1);
}

TEST(Buffer, SavedValuesRoundTripAtAnyAlignment)
{
    for (int32_t alignment : {1, 2, 8, 64}) {
        Buffer_Standard b(1, eBuffer_Grow, alignment);
        ScriptValue in[3] = {Value_Real(-2.5), ScriptValue{VALUE_STRING, MEM_STRDUP("text"), 7.0},
                             ScriptValue{VALUE_STRING, nullptr, 0.0}};
        for (const ScriptValue& v : in) Buffer_WriteValue(&b, &v);
        b.Resize(b.Tell()); // exactly what was written (the position returns to 0)
        for (ScriptValue& v : in) {
            ScriptValue out = Value_Real(0);
            ASSERT_TRUE(Buffer_ReadValue(&b, &out)) << alignment;
            EXPECT_EQ(out.kind, v.kind);
            EXPECT_EQ(out.real, v.real);
            if (v.kind == VALUE_STRING && v.text) EXPECT_STREQ(out.text, v.text);
            else EXPECT_EQ(out.kind == VALUE_STRING ? out.text : nullptr, nullptr);
            Value_FreeString(&out);
            Value_FreeString(&v);
        }
        // Past the end the reads fail instead of inventing values.
        ScriptValue out = Value_Real(0);
        EXPECT_FALSE(Buffer_ReadValue(&b, &out)) << alignment;
    }
}

TEST(Buffer, FastBufferIsAByteStream)
{
    Buffer_Fast b(3, 8);
    EXPECT_EQ(W(b, eBuffer_U16, 1), -4);
    EXPECT_EQ(W(b, eBuffer_U8, 1), 0);
    EXPECT_EQ(W(b, eBuffer_U8, 258), 0); // no alignment: next byte
    EXPECT_EQ(W(b, eBuffer_U8, -1), 0);
    EXPECT_EQ(W(b, eBuffer_U8, 4), -2);
    EXPECT_EQ(Hex(b), "0102ff");
    b.Seek(eSeek_Start, 0);
    ScriptValue v = Value_Real(9);
    EXPECT_EQ(b.Read(eBuffer_U16, &v), -4);
    EXPECT_EQ(v.real, 0);
    EXPECT_EQ(R(b, eBuffer_U8), 1);
    EXPECT_EQ(R(b, eBuffer_U8), 2);
    EXPECT_EQ(R(b, eBuffer_U8), 255);
    EXPECT_EQ(b.Read(eBuffer_U8, &v), -2);
    EXPECT_EQ(v.real, 0); // the end of a fast buffer reads 0
    EXPECT_EQ(PeekAt(b, 2, eBuffer_U8), 255);
    EXPECT_EQ(PeekAt(b, 2, eBuffer_U16), 0);
    EXPECT_EQ(PeekAt(b, 3, eBuffer_U8), 0);
    ScriptValue seven = Value_Real(7);
    b.Poke(0, eBuffer_U8, &seven);
    b.Poke(3, eBuffer_U8, &seven);
    EXPECT_EQ(Hex(b), "0702ff");
}

TEST(Buffer, ResizeKeepsBytesAndBringsThePositionBack)
{
    Buffer_Standard b(4, eBuffer_Fixed, 1);
    W(b, eBuffer_U32, 0x04030201);
    EXPECT_TRUE(b.Resize(8));
    EXPECT_EQ(Hex(b), "0102030400000000");
    EXPECT_EQ(b.Tell(), 4);
    EXPECT_TRUE(b.Resize(2));
    EXPECT_EQ(Hex(b), "0102");
    EXPECT_EQ(b.Tell(), 0);
    EXPECT_FALSE(b.Resize(-1));
    EXPECT_FALSE(b.Resize(kBufferMaxSize + 1));
    EXPECT_EQ(b.Size(), 2);
    // Size 0: nothing fits, nothing is touched.
    EXPECT_TRUE(b.Resize(0));
    EXPECT_EQ(W(b, eBuffer_U8, 1), -2);
    EXPECT_EQ(R(b, eBuffer_U8), -3);
    ScriptValue preset{VALUE_STRING, nullptr, 0};
    b.MD5(&preset, 0, -1);
    EXPECT_EQ(preset.text, nullptr);
    b.SHA1(&preset, 0, -1);
    EXPECT_EQ(preset.text, nullptr);
    ScriptValue one = Value_Real(1);
    b.Fill(0, -1, eBuffer_U8, &one, -1, true);
    b.Poke(0, eBuffer_U8, &one);
    EXPECT_EQ(PeekAt(b, 0, eBuffer_U8), 0);
    ScriptValue text = Value_Real(0);
    b.Base64Encode(&text, 0, -1);
    EXPECT_STREQ(text.text, "");
    Value_FreeString(&text);
    Buffer_Standard w(4, eBuffer_Wrap, 4);
    w.Resize(0);
    EXPECT_EQ(W(w, eBuffer_U32, 1), -2);
    EXPECT_EQ(w.Seek(eSeek_Relative, 5), 0);
}

TEST(Buffer, FillPutsEntriesOnTheGridWithZeroGaps)
{
    Buffer_Standard b(10, eBuffer_Fixed, 1);
    std::memset(b.Data(), 0xEE, 10);
    ScriptValue v = Value_Real(0x44332211);
    b.Fill(0, -1, eBuffer_U32, &v, -1, true);
    EXPECT_EQ(Hex(b), "11223344112233440000");

    Buffer_Standard a(12, eBuffer_Fixed, 4);
    std::memset(a.Data(), 0xEE, 12);
    ScriptValue byte = Value_Real(7);
    a.Fill(1, 10, eBuffer_U8, &byte, -1, true); // a gap up to 4, then one byte every 4
    EXPECT_EQ(Hex(a), "ee00000007000000070000ee");
    a.Fill(0, 12, eBuffer_U8, &byte, 3, false); // stride 3, gaps left alone
    EXPECT_EQ(Hex(a), "0700000707000700070700ee");
    // Offsets outside a non-wrap buffer fill nothing.
    Buffer_Standard c(4, eBuffer_Fixed, 1);
    c.Fill(4, -1, eBuffer_U8, &byte, -1, true);
    c.Fill(-1, -1, eBuffer_U8, &byte, -1, true);
    EXPECT_EQ(Hex(c), "00000000");
    // A string longer than the stride is cut to it.
    ScriptValue s{VALUE_STRING, const_cast<char*>("abcdef"), 0};
    Buffer_Standard d(8, eBuffer_Fixed, 1);
    d.Fill(0, -1, eBuffer_String, &s, 4, true);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(d.Data()), 8), "abcdabcd");
}

TEST(Buffer, WrapFillOfAHugeCountMatchesTheByteByByteWalk)
{
    // The fill skips whole periods it would write over again; the result must be the walk's.
    for (int32_t size : {1, 5, 10, 64}) {
        for (int32_t alignment : {1, 4}) {
            for (int32_t stride : {-1, 3}) {
                Buffer_Standard fast(size, eBuffer_Wrap, alignment);
                ScriptValue v = Value_Real(0x05040302);
                const int32_t count = 1000 + size * 7;
                fast.Fill(3, count, eBuffer_U32, &v, stride, true);
                // The walk of the rules, byte by byte.
                std::vector<uint8_t> model(size_t(size), 0);
                const int64_t entry = stride > 0 && 4 > stride ? stride : 4;
                auto up = [&](int64_t x) { return (x + alignment - 1) / alignment * alignment; };
                int64_t p = 3 % size, end = p + count;
                if (stride <= 0) {
                    for (int64_t q = p; q < std::min(up(p), end); ++q) model[size_t(q % size)] = 0;
                    p = std::min(up(p), end);
                }
                const uint8_t bytes[4] = {2, 3, 4, 5};
                while (p < end) {
                    if (end - p < entry) {
                        for (; p < end; ++p) model[size_t(p % size)] = 0;
                        break;
                    }
                    for (int64_t k = 0; k < entry; ++k) model[size_t((p + k) % size)] = bytes[k];
                    int64_t next = stride > 0 ? p + stride : up(p + entry);
                    if (next > end) next = end;
                    for (int64_t q = p + entry; q < next; ++q) model[size_t(q % size)] = 0;
                    p = next;
                }
                EXPECT_EQ(Hex(fast), Hex(model.data(), model.size()))
                    << "size " << size << " alignment " << alignment << " stride " << stride;
            }
        }
    }
    // Two billion bytes finish quickly.
    Buffer_Standard w(7, eBuffer_Wrap, 1);
    ScriptValue v = Value_Real(1);
    w.Fill(0, 2000000000, eBuffer_U8, &v, -1, true);
    EXPECT_EQ(Hex(w), "01010101010101");
}

TEST(Buffer, CopyMatchesTheByteByByteModelForEveryKind)
{
    std::mt19937 rng(12345);
    for (int round = 0; round < 3000; ++round) {
        const int32_t ss = 1 + int32_t(rng() % 12), ds = 1 + int32_t(rng() % 12);
        const bool sw = rng() % 2, dw = rng() % 2;
        const int32_t so = int32_t(rng() % 40) - 15, n = int32_t(rng() % 40) - 3, dof = int32_t(rng() % 40) - 15;
        Buffer_Standard src(ss, sw ? eBuffer_Wrap : eBuffer_Fixed, 1), dst(ds, dw ? eBuffer_Wrap : eBuffer_Fixed, 1);
        std::vector<uint8_t> s(static_cast<size_t>(ss)), d(static_cast<size_t>(ds));
        for (int32_t i = 0; i < ss; ++i) s[size_t(i)] = src.Data()[i] = uint8_t(1 + i);
        for (int32_t i = 0; i < ds; ++i) d[size_t(i)] = dst.Data()[i] = uint8_t(100 + i);
        EXPECT_TRUE(src.Copy(so, n, &dst, dof));
        ModelCopy(d, dw, s, sw, so, n, dof);
        ASSERT_EQ(Hex(dst), Hex(d.data(), d.size()))
            << "src " << ss << (sw ? "w" : "") << " dst " << ds << (dw ? "w" : "") << " so " << so << " n " << n
            << " dof " << dof;
    }
}

TEST(Buffer, CopyIntoGrowBuffersResizesExactly)
{
    Buffer_Standard src(6, eBuffer_Fixed, 1);
    std::memcpy(src.Data(), "abcdef", 6);
    Buffer_Standard g(2, eBuffer_Grow, 1);
    EXPECT_TRUE(src.Copy(1, 3, &g, 4));
    EXPECT_EQ(g.Size(), 7);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(g.Data()), 7), std::string("\0\0\0\0bcd", 7));
    // Onto itself (C callers only; the built-in refuses): copied from a snapshot.
    EXPECT_TRUE(g.Copy(4, 3, &g, 8));
    EXPECT_EQ(g.Size(), 11);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(g.Data()) + 8, 3), "bcd");
    // A fixed destination of size 0 takes nothing; a source of size 0 gives nothing.
    Buffer_Standard none;
    EXPECT_FALSE(none.Copy(0, -1, &g, 0));
    EXPECT_TRUE(Buffer_CopyMemory(&src, "x", 1, 0, 1, 0, false, false, false));
    // Growing past the limit is refused.
    EXPECT_FALSE(Buffer_CopyMemory(&g, "x", 1, 0, 1, kBufferMaxSize, true, false, false));
    // Loading a saved game: the bytes at the start, the buffer grown.
    Buffer_Standard save(4, eBuffer_Grow, 1);
    EXPECT_TRUE(Buffer_CopyMemory(&save, "0123456789", 10));
    EXPECT_EQ(save.Size(), 10);
}

TEST(Buffer, DigestsAndBase64MatchPython)
{
    Buffer_Standard b(300, eBuffer_Fixed, 1);
    for (int i = 0; i < 300; ++i) b.Data()[i] = uint8_t(i * 31 + 7);
    std::string all = Hex(b);
    ScriptValue md5 = Value_Real(0), sha = Value_Real(0), b64 = Value_Real(0);
    std::string input;
    std::vector<std::string> got;
    auto range = [&](int32_t o, int32_t n) {
        b.MD5(&md5, o, n);
        b.SHA1(&sha, o, n);
        b.Base64Encode(&b64, o, n);
        int32_t oo = o < 0 ? 0 : o >= 300 ? 299 : o, nn = n < 0 ? 300 : n;
        if (nn > 300 - oo) nn = 300 - oo;
        const std::string bytes = all.substr(size_t(oo) * 2, size_t(nn) * 2);
        input += "md5 " + bytes + "\nsha1 " + bytes + "\nb64 " + bytes + "\n";
        got.push_back(md5.text);
        got.push_back(sha.text);
        got.push_back(b64.text);
    };
    range(0, -1);
    range(0, 0);
    range(10, 55);
    range(299, 100);
    range(-5, 3);
    range(500, 2);
    range(1, 299);
    range(2, 1);
    range(3, 2);
    const std::vector<std::string> want = Lines(Netbuf_Oracle(input));
    ASSERT_EQ(want.size(), got.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], want[i]) << Lines(input)[i];
    EXPECT_EQ(got[3], "d41d8cd98f00b204e9800998ecf8427e"); // nothing at all
    Value_FreeString(&md5);
    Value_FreeString(&sha);
    Value_FreeString(&b64);

    // A wrap buffer's range wraps as often as the count asks.
    Buffer_Standard w(3, eBuffer_Wrap, 1);
    std::memcpy(w.Data(), "abc", 3);
    ScriptValue d = Value_Real(0);
    w.MD5(&d, 4, 7); // "bcabcab"
    EXPECT_EQ(std::string(d.text), Lines(Netbuf_Oracle("md5 " + Hex(reinterpret_cast<const uint8_t*>("bcabcab"), 7)))[0]);
    // Round many times (fed in runs of whole turns).
    std::string round(200001, '\0');
    for (size_t i = 0; i < round.size(); ++i) round[i] = "abc"[(i + 4) % 3];
    w.MD5(&d, 4, int32_t(round.size()));
    const std::string roundHex = Hex(reinterpret_cast<const uint8_t*>(round.data()), round.size());
    EXPECT_EQ(std::string(d.text), Lines(Netbuf_Oracle("md5 " + roundHex))[0]);
    w.SHA1(&d, -2, int32_t(round.size()));
    EXPECT_EQ(std::string(d.text), Lines(Netbuf_Oracle("sha1 " + roundHex))[0]);
    Value_FreeString(&d);
}

TEST(Buffer, Base64DecodeFillsTheWholeBlock)
{
    Buffer_Standard d;
    EXPECT_TRUE(d.Base64Decode("TWFu", 0, -1));
    EXPECT_EQ(d.Size(), 7); // (3 * 4) / 4 + 4
    EXPECT_EQ(Hex(d), "4d616e00000000");
    Buffer_Standard e;
    const std::string text = "SGVsbG8sIHdvcmxkIQ=="; // "Hello, world!"
    EXPECT_TRUE(e.Base64Decode(text.c_str(), 0, -1));
    const std::string want = Lines(Netbuf_Oracle("unb64 " + text))[0];
    EXPECT_EQ(Hex(e).substr(0, want.size()), want);
    EXPECT_EQ(e.Size(), int32_t(3 * text.size() / 4 + 4));
    EXPECT_FALSE(e.Base64Decode(nullptr, 0, -1));
    // Into a fixed buffer at an offset: cut at its end.
    Buffer_Standard f(5, eBuffer_Fixed, 1);
    EXPECT_TRUE(f.Base64Decode("TWFu", 2, -1));
    EXPECT_EQ(Hex(f), "00004d616e");
    // Decoding stops at a character outside the alphabet.
    Buffer_Standard g;
    g.Base64Decode("TW!u", 0, -1);
    EXPECT_EQ(g.Data()[0], 0x4d);
    EXPECT_EQ(g.Data()[1], 0);
}

TEST(Buffer, FilesRoundTripThroughTheSaveArea)
{
    ScratchFolder dir;
    ScopedCurrentFolder here(dir.Path());
    const std::string save = dir / "save", program = dir / "program";
    Scratch_WriteFile(program + "/bundled.bin", "BUNDLED");
    LoadSave_SetFolders(program.c_str(), save.c_str(), dir.Path().c_str());

    Buffer_Standard b(16, eBuffer_Fixed, 1);
    for (int i = 0; i < 16; ++i) b.Data()[i] = uint8_t(i);
    EXPECT_TRUE(b.Save("all.bin", 0, -1));
    EXPECT_TRUE(b.Save("dir/part.bin", 4, 3));
    EXPECT_TRUE(b.Save("tail.bin", 14, 100));
    EXPECT_EQ(Scratch_ReadFile(save + "/dir/part.bin"), std::string("\x04\x05\x06", 3));
    EXPECT_EQ(Scratch_ReadFile(save + "/tail.bin"), std::string("\x0e\x0f", 2));

    Buffer_Standard l;
    EXPECT_TRUE(l.Load("all.bin", 0, -1, 0));
    EXPECT_EQ(Hex(l), Hex(b));
    // From the program folder when the save area lacks it.
    Buffer_Standard p;
    EXPECT_TRUE(p.Load("bundled.bin", 0, -1, 0));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(p.Data()), size_t(p.Size())), "BUNDLED");
    // Into a fixed buffer at an offset: cut; into a wrap buffer: wraps.
    Buffer_Standard f(4, eBuffer_Fixed, 1);
    EXPECT_TRUE(f.Load("all.bin", 0, -1, 2));
    EXPECT_EQ(Hex(f), "00000001");
    Buffer_Standard w(4, eBuffer_Wrap, 1);
    EXPECT_TRUE(w.Load("all.bin", 0, 6, 2));
    EXPECT_EQ(Hex(w), "02030405"); // 0..5 at 2, 3, 0, 1, 2, 3
    // Missing files, web addresses and empty files fail.
    EXPECT_FALSE(l.Load("missing.bin", 0, -1, 0));
    EXPECT_FALSE(l.Load("https://example.com/x", 0, -1, 0));
    EXPECT_FALSE(l.Load("http://example.com/x", 0, -1, 0));
    Buffer_Standard empty;
    EXPECT_TRUE(empty.Save("empty.bin", 0, -1));
    EXPECT_FALSE(l.Load("empty.bin", 0, -1, 0));
    // A name outside the save area is refused.
    EXPECT_FALSE(b.Save("/etc/zimbrel_refused.bin", 0, -1));
    LoadSave_SetFolders(nullptr, nullptr, nullptr);
}

TEST(Buffer, TableReusesTheFirstEmptySlotAndDoubles)
{
    Buffer_FreeAll();
    EXPECT_EQ(Buffer_Create(4, eBuffer_Fixed, 1), 0);
    EXPECT_EQ(Buffer_SlotCount(), 32);
    EXPECT_EQ(Buffer_Create(4, eBuffer_Fast, 1), 1);
    EXPECT_NE(dynamic_cast<Buffer_Fast*>(Buffer_Get(1)), nullptr);
    Buffer_Free(0);
    EXPECT_EQ(Buffer_Get(0), nullptr);
    EXPECT_EQ(Buffer_Create(4, 7, 1), 0); // an unknown type behaves as fixed
    EXPECT_EQ(W(*Buffer_Get(0), eBuffer_U32, 1), 0);
    EXPECT_EQ(W(*Buffer_Get(0), eBuffer_U8, 1), -2);
    for (int i = 2; i < 33; ++i) EXPECT_EQ(Buffer_Create(1, 0, 1), i);
    EXPECT_EQ(Buffer_SlotCount(), 64);
    EXPECT_EQ(Buffer_Get(-1), nullptr);
    EXPECT_EQ(Buffer_Get(64), nullptr);
    uint8_t* mine = static_cast<uint8_t*>(MEM_ALLOC_CLEAR(3));
    const int32_t over = Buffer_CreateOverMemory(mine, 3, true);
    EXPECT_EQ(Buffer_Get(over)->Data(), mine);
    EXPECT_EQ(Buffer_Get(over)->Type(), eBuffer_Fixed);
    Buffer_FreeAll();
    EXPECT_EQ(Buffer_SlotCount(), 0);
}
