// The runner's one microsecond clock and the sleep that keeps the window responsive. The clock and the system sleep sit behind
// ITimingHost (Linux/TimingM.cpp: CLOCK_MONOTONIC and a sleep that the run's quit ends; tests
// install a fake).
// While waiting, the window's event pump runs through a settable hook, which the window
// layer installs once it exists (until then it does nothing).
//
// Timing_PumpEvents is the runner's one drain of outside events: the window's events, then
// the quit check the program entry installs (a signal asking the process to end). Every wait
// drains through it (the frame's sleep, the input waits, a program waited for, the modal
// dialogs), and the virtual machine calls it every 4,096th branch, so a quit is seen even by
// a game that never returns from its code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class ITimingHost {
public:
    virtual ~ITimingHost() = default;
    // A monotonic count of microseconds.
    virtual int64_t NowMicroseconds() = 0;
    // Sleeps the thread for at least that many microseconds.
    virtual void SleepMicroseconds(int64_t us) = 0;
};

// The host of the clock; null restores the system host.
void Timing_SetHost(ITimingHost* host);
ITimingHost* Timing_GetHost();

// The event pump run while waiting; null restores the default, which does nothing.
using TimingPumpFunction = void (*)();
void Timing_SetEventPump(TimingPumpFunction pump);
// Run after the event pump by every drain; null: none.
void Timing_SetQuitCheck(TimingPumpFunction check);
// The drain: the event pump, then the quit check.
void Timing_PumpEvents();

// Takes the start of the clock (game start).
void Timing_Init();
// Microseconds since Timing_Init.
int64_t Timing_Time();
// Waits us microseconds (nothing for 0 or less; at most 3 seconds): a system sleep of
// (us - 1000) / 1000 whole milliseconds when us >= 2000 (in slices of at most a tenth of a
// second, the events pumped between them), then pumping events until the time has come (or
// the clock went backwards). The run's quit ends it at once (QuitRequest.h), and a sleep
// after the quit returns at once.
void Timing_Sleep(int64_t us);
// The same wait, the entry the frame loop uses.
void Timing_SleepFrame(int64_t us);
// Whether a wait that pumps the events (a program waited for, keyboard_wait, a dialog) is to
// end now: the run's quit came, the run is to end, or the main loop it was started in
// (startedInFrames: the running flag was 1) has stopped. Such a wait then goes on as when
// its time runs out.
bool Timing_WaitOver(bool startedInFrames);

// Splits an argument text as the Windows command line does: blanks separate; double quotes
// group (and are removed); 2n backslashes before a quote give n backslashes and the quote
// acts, 2n + 1 give n and a literal quote; other backslashes are literal.
std::vector<std::string> Timing_SplitArguments(const char* arguments);
