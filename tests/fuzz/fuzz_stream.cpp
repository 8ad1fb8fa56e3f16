// libFuzzer target: every CStream reader on arbitrary bytes. The first bytes (up to 32) pick
// the operations, the rest is the stream's data. Also: hex text of the data, and a zlib
// round trip that must give the data back.
#include <cstdint>
#include <cstring>
#include <string>

#include "Files/Support/Stream.h"
#include "Platform/MemoryManager.h"

namespace {

void ReadEverything(CStream* s, const uint8_t* ops, size_t opCount, int depth)
{
    for (size_t i = 0; i < opCount; i++) {
        uint8_t op = ops[i];
        switch (op % 14) {
        case 0: s->ReadInteger(); break;
        case 1: s->ReadReal(); break;
        case 2: s->ReadBoolean(); break;
        case 3: MEM_FREE(s->ReadString()); break;
        case 4: {
            CStream* sub = s->ReadStream();
            if (depth < 3) ReadEverything(sub, ops + i + 1, opCount - i - 1, depth + 1);
            CStream::Delete(sub);
            break;
        }
        case 5: CStream::Delete(ZDecompressStream(s)); break;
        case 6: {
            uint8_t buffer[300];
            s->ReadBuffer(buffer, op);
            break;
        }
        case 7: s->Seek(int64_t(int8_t(op)) * 3, op % 3); break;
        case 8: {
            CStream view(0);
            view.CopyFrom(s, s->ReadInteger(), true);
            view.Seek(0);
            view.ReadInteger();
            view.WriteInteger(op); // grows into an owned copy
            break;
        }
        case 9: {
            int32_t seed = s->ReadInteger();
            s->ApplySeedTable(seed, s->ReadInteger(), s->ReadInteger());
            break;
        }
        case 10: {
            char* hex = nullptr;
            s->ToHexString(&hex);
            CStream back(0);
            back.FromHexString(hex);
            if (hex && (back.GetSize() != s->GetPosition() ||
                        std::memcmp(back.GetMemory(), s->GetMemory(), size_t(back.GetSize())) != 0))
                __builtin_trap();
            MEM_FREE(hex);
            break;
        }
        case 11: s->Seek(0); break;
        case 12: {
            CStream copy(0);
            copy.CopyFrom(s, s->ReadInteger());
            break;
        }
        case 13: {
            char* text = nullptr;
            s->ReadStringTo(&text);
            MEM_FREE(text);
            break;
        }
        }
        if (s->GetPosition() < 0 || s->GetPosition() > s->GetSize()) __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 16)) return 0;
    size_t opCount = size < 32 ? size : 32;
    const uint8_t* payload = data + opCount;
    size_t payloadSize = size - opCount;

    CStream s(0);
    s.WriteBuffer(payload, int64_t(payloadSize));
    s.Seek(0);
    ReadEverything(&s, data, opCount, 0);

    std::string text(reinterpret_cast<const char*>(payload), payloadSize);
    CStream hex(0);
    hex.FromHexString(text.c_str());

    CStream original(0);
    original.WriteBuffer(payload, int64_t(payloadSize));
    CStream packed(0);
    if (ZCompressStream(&packed, &original) != 0) __builtin_trap();
    packed.Seek(0);
    CStream* back = ZDecompressStream(&packed);
    if (!back || back->GetSize() != original.GetSize() ||
        (back->GetSize() && std::memcmp(back->GetMemory(), original.GetMemory(), size_t(back->GetSize())) != 0))
        __builtin_trap();
    CStream::Delete(back);
    return 0;
}
