// libFuzzer target: json_decode of the input as text, then json_encode of what it made, which
// must decode again; every structure is freed afterwards.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Files/DS/DS_Main.h"
#include "Files/Function/Function_Http.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1 << 16) return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const int32_t map = Json_DecodeText(text.c_str());
    if (map >= 0) {
        const std::string encoded = Json_Encode(map);
        if (encoded.empty()) std::abort();
        if (Json_DecodeText(encoded.c_str()) < 0) std::abort();
    }
    DS_Reset();
    return 0;
}
