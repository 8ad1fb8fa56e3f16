// POSIX half of Files/Support/Timing.h: the system clock (CLOCK_MONOTONIC) and the system
// sleep (clock_nanosleep).
#include "Files/Support/Timing.h"

#include <time.h>

#include <cerrno>

namespace {

class SystemTimingHost : public ITimingHost {
public:
    int64_t NowMicroseconds() override
    {
        timespec ts;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
    }

    void SleepMicroseconds(int64_t us) override
    {
        if (us <= 0) return;
        timespec ts{time_t(us / 1000000), long(us % 1000000) * 1000};
        while (clock_nanosleep(CLOCK_MONOTONIC, 0, &ts, &ts) == EINTR) {
        }
    }
};

SystemTimingHost g_system;
} // namespace

ITimingHost* Timing_SystemHost() { return &g_system; }
