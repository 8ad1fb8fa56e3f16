// The system's version on Linux: the kernel release that uname reports (Files/Support/OSInfo.h).
#include <sys/utsname.h>

#include "Files/Support/OSInfo.h"

int32_t OSInfo_Version()
{
    struct utsname u;
    if (uname(&u) != 0) return 0;
    return OSInfo_ParseVersion(u.release);
}
