// Clock, sleep and the event-pump hook; the splitting of program arguments. Needs a timing
// host: Linux/TimingM.cpp supplies the system one (and the program starters).
#include "Files/Support/Timing.h"

#include <algorithm>

#include "Files/Base/QuitRequest.h"
#include "Files/Support/CommandLine.h"

ITimingHost* Timing_SystemHost(); // Linux/TimingM.cpp

namespace {

constexpr int64_t kLongestSleep = 3000000; // microseconds
constexpr int64_t kSleepSlice = 100000;    // the longest system sleep between two pumps

ITimingHost* g_host = nullptr;
int64_t g_start = 0;

void NoPump() {}
TimingPumpFunction g_pump = NoPump;
TimingPumpFunction g_quitCheck = nullptr;

ITimingHost* Host() { return g_host ? g_host : Timing_SystemHost(); }

} // namespace

void Timing_SetHost(ITimingHost* host) { g_host = host; }
ITimingHost* Timing_GetHost() { return Host(); }

void Timing_SetEventPump(TimingPumpFunction pump) { g_pump = pump ? pump : NoPump; }
void Timing_SetQuitCheck(TimingPumpFunction check) { g_quitCheck = check; }
void Timing_PumpEvents()
{
    g_pump();
    if (g_quitCheck) g_quitCheck();
}

void Timing_Init() { g_start = Host()->NowMicroseconds(); }

int64_t Timing_Time() { return Host()->NowMicroseconds() - g_start; }

void Timing_Sleep(int64_t us)
{
    if (us <= 0 || QuitRequest_Quitting()) return;
    if (us > kLongestSleep) us = kLongestSleep;
    int64_t begin = Timing_Time();
    int64_t end = begin + us;
    // The system sleep in slices, the events pumped between them: a window closed meanwhile is
    // seen within a slice at any room speed. The run's quit ends the system host's sleep.
    for (int64_t rest = us >= 2000 ? (us - 1000) / 1000 * 1000 : 0; rest > 0 && !QuitRequest_Quitting();) {
        const int64_t slice = std::min(rest, kSleepSlice);
        Host()->SleepMicroseconds(slice);
        rest -= slice;
        if (rest > 0) Timing_PumpEvents();
    }
    for (;;) {
        Timing_PumpEvents();
        int64_t now = Timing_Time();
        if (now >= end || now < begin || QuitRequest_Quitting()) break;
    }
}

void Timing_SleepFrame(int64_t us) { Timing_Sleep(us); }

bool Timing_WaitOver(bool startedInFrames)
{
    return QuitRequest_Quitting() || Main_ExitRequested() || (startedInFrames && g_StartupOptions.running != 1);
}

std::vector<std::string> Timing_SplitArguments(const char* arguments)
{
    std::vector<std::string> out;
    if (!arguments) return out;
    const char* p = arguments;
    for (;;) {
        while (*p == ' ' || *p == '\t') p++;
        if (!*p) break;
        std::string arg;
        bool quoted = false;
        while (*p && (quoted || (*p != ' ' && *p != '\t'))) {
            if (*p == '\\') {
                size_t n = 0;
                while (*p == '\\') {
                    n++;
                    p++;
                }
                if (*p == '"') {
                    arg.append(n / 2, '\\');
                    if (n % 2) {
                        arg += '"';
                        p++;
                    }
                } else {
                    arg.append(n, '\\');
                }
            } else if (*p == '"') {
                quoted = !quoted;
                p++;
            } else {
                arg += *p++;
            }
        }
        out.push_back(std::move(arg));
    }
    return out;
}
