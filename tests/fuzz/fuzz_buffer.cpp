// libFuzzer target: the input drives buffers of every kind through every operation with
// arguments taken from the input (typed writes and reads, peek, poke, seek, fill, copy,
// resize, base64, digests, strings), and is itself loaded into buffers as bytes (as a file
// or a received packet is) and read back as the saved forms read it. Nothing may touch memory
// outside a block; positions stay within the data.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Files/Base/Value.h"
#include "Files/Buffer/IBuffer.h"
#include "Platform/MemoryManager.h"

namespace {

struct Input {
    const uint8_t* p;
    size_t n;
    bool Empty() const { return n == 0; }
    uint8_t Byte()
    {
        if (!n) return 0;
        --n;
        return *p++;
    }
    int32_t Int()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | Byte();
        return int32_t(v);
    }
    // Small numbers mostly, with the edges sometimes. Counts that make the work itself long
    // (a digest or a fill wrapping round a small buffer two billion times) stay below the
    // limit: that time is what the script asked for.
    int32_t Arg(int32_t limit, bool huge = true)
    {
        const uint8_t k = Byte();
        if (k < 200) return int32_t(Byte()) - 64;
        if (k < 250) return Int() % limit;
        if (k == 251) return huge ? 0x7FFFFFFF : limit;
        return k == 250 ? -1 : k == 252 ? int32_t(0x80000000u) : limit;
    }
    double Real()
    {
        double d;
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v = (v << 8) | Byte();
        std::memcpy(&d, &v, 8);
        return d;
    }
};

void CheckInvariants(IBuffer* b)
{
    if (b->Size() < 0 || b->Alignment() < 1 || b->Alignment() > 1024) std::abort();
    if (b->IsWrap() && b->Size() > 0 && (b->Tell() < 0 || b->Tell() >= b->Size())) std::abort();
    if (b->WrapPhase() < 0 || b->WrapPhase() >= b->Alignment()) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1 << 14) return 0;
    // The input as a loaded file: strings and numbers read back until nothing is left.
    {
        Buffer_Standard loaded;
        loaded.CopyFromMemory(data, int32_t(size), 0, -1, 0);
        for (int k = 0; k < 64; ++k) {
            bool ok;
            char* t = Buffer_ReadString(&loaded, &ok);
            MEM_FREE(t);
            double d;
            Buffer_ReadNumber(&loaded, eBuffer_F64, &d);
            ScriptValue v = Value_Real(0);
            Buffer_ReadValue(&loaded, &v);
            Value_FreeString(&v);
            if (!ok) break;
        }
    }

    Input in{data, size};
    IBuffer* buffers[3];
    for (IBuffer*& b : buffers) {
        const int32_t kind = in.Byte() % 5, alignment = 1 << (in.Byte() % 11), length = in.Byte() % 64;
        if (kind == 4) b = new Buffer_Standard();
        else if (kind == 3) b = new Buffer_Fast(length, alignment);
        else b = new Buffer_Standard(length, kind, alignment);
    }
    for (int steps = 0; steps < 200 && !in.Empty(); ++steps) {
        IBuffer* b = buffers[in.Byte() % 3];
        const int32_t type = in.Byte() % 13;
        ScriptValue v = Value_Real(in.Real());
        char text[17] = {};
        switch (in.Byte() % 14) {
        case 0: b->Write(type, &v); break;
        case 1: b->Read(type, &v); break;
        case 2: b->Peek(in.Arg(1 << 20), type, &v); break;
        case 3: b->Poke(in.Arg(1 << 20), type, &v); break;
        case 4: b->Seek(in.Byte() % 4, in.Arg(1 << 30)); break;
        case 5: {
            const bool zero = in.Byte() & 1;
            b->Fill(in.Arg(1 << 20), zero ? in.Arg(1 << 30) : in.Arg(1 << 16, false), type, &v, in.Arg(64), zero);
            break;
        }
        case 6: b->Copy(in.Arg(1 << 20), in.Arg(1 << 20), buffers[in.Byte() % 3], in.Arg(1 << 20)); break;
        case 7: b->Resize(in.Arg(1 << 12)); break;
        case 8: b->Base64Encode(&v, in.Arg(1 << 20), in.Arg(1 << 20)); break;
        case 9:
            for (char& c : text) c = c == 0 && !in.Empty() ? char(in.Byte() % 96 + 32) : c;
            text[16] = 0;
            b->Base64Decode(text, in.Arg(1 << 20), in.Arg(1 << 20));
            break;
        case 10: b->MD5(&v, in.Arg(1 << 20), in.Arg(1 << 20, false)); break;
        case 11: b->SHA1(&v, in.Arg(1 << 20), in.Arg(1 << 20, false)); break;
        case 12: {
            for (int i = 0; i < 16; ++i) text[i] = char(in.Byte() | 1);
            text[in.Byte() % 17] = 0;
            ScriptValue s{VALUE_STRING, text, 0};
            b->Write(eBuffer_String, &s);
            b->Fill(in.Arg(64), in.Arg(1 << 16, false), eBuffer_String, &s, in.Arg(64), in.Byte() & 1);
            b->Poke(in.Arg(64), eBuffer_String, &s);
            break;
        }
        default: {
            const int32_t from = in.Arg(size ? int32_t(size) : 1);
            b->CopyFromMemory(data, int32_t(size), from, in.Arg(1 << 20), in.Arg(1 << 20));
            break;
        }
        }
        Value_FreeString(&v);
        CheckInvariants(b);
    }
    for (IBuffer* b : buffers) delete b;
    return 0;
}
