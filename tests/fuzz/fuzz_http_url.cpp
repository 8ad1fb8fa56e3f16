// libFuzzer target: the URL a script hands to http_get made canonical and checked by the
// request layer (percent-encoding, the scheme, the host), without sending anything; the
// request is then discarded, its clean-up run once.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Files/HTTP/HTTP.h"

namespace {
int g_cleanups = 0;
void CleanUp(HTTP_REQ_CONTEXT*) { ++g_cleanups; }
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1 << 12) return 0;
    const char* message = "";
    if (!HTTPM_Open(&message)) return 0;
    const std::string url(reinterpret_cast<const char*>(data), size);
    g_cleanups = 0;
    HTTP_REQ_CONTEXT* r = HTTPM_NewRequest(url.c_str(), size % 2 ? url.c_str() : nullptr, nullptr, CleanUp, nullptr);
    HTTP_DeleteRequest(r);
    if (g_cleanups != 1 || HTTP_RequestList() != nullptr) std::abort();
    return 0;
}
