// POSIX half of Files/Support/Timing.h: the system clock (CLOCK_MONOTONIC) and the system
// sleep, which the run's quit ends (QuitWait_Sleep).
#include "Files/Support/Timing.h"

#include <time.h>

#include "Files/Base/QuitRequest.h"

namespace {

class SystemTimingHost : public ITimingHost {
public:
    int64_t NowMicroseconds() override
    {
        timespec ts;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
    }

    void SleepMicroseconds(int64_t us) override { QuitWait_Sleep(us); } // the run's quit ends it
};

SystemTimingHost g_system;
} // namespace

ITimingHost* Timing_SystemHost() { return &g_system; }
