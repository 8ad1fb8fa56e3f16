// The operating-system facts of the platform layer (Files/Support/OSInfo.h), apart from the
// system call behind the version (Linux/OSInfoM.cpp).
#include "Files/Support/OSInfo.h"

#include <cstdlib>

int32_t OSInfo_Type() { return OS_TYPE_LINUX; }
int32_t OSInfo_Device() { return OS_DEVICE_UNKNOWN; }
int32_t OSInfo_Browser() { return OS_BROWSER_NONE; }

int32_t OSInfo_ParseVersion(const char* release)
{
    if (!release) return 0;
    const char* p = release;
    auto number = [&p](int32_t* out) {
        if (*p < '0' || *p > '9') return false;
        int64_t v = 0;
        while (*p >= '0' && *p <= '9') {
            v = v * 10 + (*p++ - '0');
            if (v > 32767) return false;
        }
        *out = int32_t(v);
        return true;
    };
    int32_t major = 0, minor = 0;
    if (!number(&major) || *p++ != '.' || !number(&minor)) return 0;
    return major * 65536 + minor;
}
