// The flags behind Files/Base/QuitRequest.h and the judgement of the player's requests (its
// waits, its clock and the stage it stamps: Linux/QuitRequestM.cpp).
#include "Files/Base/QuitRequest.h"

#include <algorithm>

namespace quitrequest_detail {
std::atomic<int32_t> g_raised{0};
std::atomic<int32_t> g_quitting{0};
std::atomic<int64_t> g_endAt{0};
} // namespace quitrequest_detail

using namespace quitrequest_detail;

namespace {

// The requests and the stage in one word, so that a request is judged by the stage it came in
// and a stage set meanwhile is either wholly before it or wholly after (every change is one
// compare-and-swap):
//   bits 0-1   the stage (QuitStage)
//   bit 2      a request ended the run at once
//   bits 3-9   the first signal's number (0: none yet)
//   bits 10-63 the first request's time plus 1 (QuitRequest_Now's microseconds; 0: none yet)
std::atomic<uint64_t> g_state{0};
static_assert(std::atomic<uint64_t>::is_always_lock_free, "a signal handler takes requests");
constexpr uint64_t kStageMask = 3, kAtOnce = 4;
constexpr int kSignalShift = 3, kFirstShift = 10;
constexpr uint64_t kSignalMask = 127;
constexpr int64_t kFirstMax = (int64_t(1) << (64 - kFirstShift)) - 2;

QuitStage StageOf(uint64_t w) { return QuitStage(w & kStageMask); }
int SignalOf(uint64_t w) { return int((w >> kSignalShift) & kSignalMask); }
int64_t FirstOf(uint64_t w) { return int64_t(w >> kFirstShift) - 1; } // -1: none yet
bool HasFirst(uint64_t w) { return (w >> kFirstShift) != 0; }

// Signal requests taken, per signal number, and those the log named (its one reader's).
constexpr int kSignals = 65;
std::atomic<uint32_t> g_signalsTaken[kSignals];
std::atomic<uint32_t> g_signalsTakenAll{0};
uint32_t g_signalsSaid[kSignals];
uint32_t g_signalsSaidAll = 0;

} // namespace

namespace quitrequest_detail {

void SetStageWord(QuitStage stage)
{
    uint64_t w = g_state.load(std::memory_order_acquire);
    while (!g_state.compare_exchange_weak(w, (w & ~kStageMask) | uint64_t(stage), std::memory_order_acq_rel)) {
    }
}

void ForgetRequests()
{
    g_state.store(0, std::memory_order_release);
    for (auto& taken : g_signalsTaken) taken.store(0, std::memory_order_relaxed);
    g_signalsTakenAll.store(0, std::memory_order_release);
    std::fill(std::begin(g_signalsSaid), std::end(g_signalsSaid), 0u);
    g_signalsSaidAll = 0;
}

} // namespace quitrequest_detail

QuitStage QuitRequest_Stage() { return StageOf(g_state.load(std::memory_order_acquire)); }
bool QuitRequest_Asked() { return HasFirst(g_state.load(std::memory_order_acquire)); }
bool QuitRequest_EndsAtOnce() { return (g_state.load(std::memory_order_acquire) & kAtOnce) != 0; }
int QuitRequest_FirstSignal() { return SignalOf(g_state.load(std::memory_order_acquire)); }

QuitTake QuitRequest_Take(int64_t now, int signal)
{
    if (signal < 0 || signal >= kSignals) signal = 0;
    now = std::clamp<int64_t>(now, 0, kFirstMax);
    QuitTake take = QuitTake::Same;
    uint64_t w = g_state.load(std::memory_order_acquire);
    for (;;) {
        const QuitStage stage = StageOf(w);
        uint64_t next = w;
        if (signal && !SignalOf(w)) next |= uint64_t(signal) << kSignalShift;
        if (!HasFirst(w)) {
            next |= uint64_t(now + 1) << kFirstShift;
            // Nothing of the game has run, or its end runs already: nothing to let finish.
            take = stage == QuitStage::Starting || stage == QuitStage::Ending ? QuitTake::AtOnce : QuitTake::First;
        } else {
            // Once the end events run, only the first request's own burst is that request.
            take = stage == QuitStage::Ending && now - FirstOf(w) >= kQuitSameRequest ? QuitTake::AtOnce : QuitTake::Same;
        }
        if (stage == QuitStage::Closing && take == QuitTake::AtOnce) take = QuitTake::Same; // the shutdown runs whole
        if (take == QuitTake::AtOnce) next |= kAtOnce;
        if (g_state.compare_exchange_weak(w, next, std::memory_order_acq_rel)) break;
    }
    // Counted after the take, so that whoever sees the count sees the first signal too.
    if (signal) {
        g_signalsTaken[signal].fetch_add(1, std::memory_order_relaxed);
        g_signalsTakenAll.fetch_add(1, std::memory_order_release);
    }
    if (take == QuitTake::AtOnce) QuitRequest_Raise();
    return take;
}

int QuitRequest_UnsaidSignal()
{
    if (g_signalsTakenAll.load(std::memory_order_acquire) == g_signalsSaidAll) return 0;
    const int first = QuitRequest_FirstSignal();
    auto say = [](int signal) {
        if (g_signalsSaid[signal] == g_signalsTaken[signal].load(std::memory_order_relaxed)) return false;
        ++g_signalsSaid[signal];
        ++g_signalsSaidAll;
        return true;
    };
    if (first && say(first)) return first;
    for (int signal = 1; signal < kSignals; ++signal)
        if (say(signal)) return signal;
    return 0; // a handler between its two counts: named at the next look
}

int64_t QuitRequest_Deadline()
{
    const uint64_t w = g_state.load(std::memory_order_acquire);
    if (!HasFirst(w)) return 0;
    const int64_t first = FirstOf(w);
    switch (StageOf(w)) {
    case QuitStage::Playing: return first + kQuitEventGrace;
    case QuitStage::Ending:
        if (!SignalOf(w)) return 0; // a window's close: the player can close again
        return std::max(first, g_endAt.load(std::memory_order_acquire)) + kQuitEndGrace;
    default: return 0;
    }
}
