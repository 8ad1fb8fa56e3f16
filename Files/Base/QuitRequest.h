// The quit request as long work sees it: one lock-free flag, raised once code is to stop (the
// grace a quit gives running code has run out, the player asked a second time, a signal came
// while the game loads), and cleared by the entry. The long loops of the built-ins, the
// compiler and the data structures read it through a QuitPoll every few thousand units of
// work, stop, and leave what they worked on whole (every value still owned once); the machine
// then sees the quit at the drain that follows the call, so the statement after it does not
// run. Backed by QuitRequest.cpp and,
// for the waits that the run's quit ends, Linux/QuitRequestM.cpp (POSIX: eventfd, ppoll).
//
// Work that stops this way fails quietly: no error is reported for it, the quit is the
// reason. Writes (files, saved games) never stop half done; only work whose result the
// stopped code would have used does. The one exception is output nobody takes any more: a
// log line a stalled pipe does not accept once the run's quit came is given up (ConsoleHost.h).
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <vector>

namespace quitrequest_detail {
extern std::atomic<int32_t> g_raised;
extern std::atomic<int32_t> g_quitting;
extern std::atomic<int64_t> g_endAt;
static_assert(std::atomic<int64_t>::is_always_lock_free, "a signal handler reads the end's start");
static_assert(std::atomic<int32_t>::is_always_lock_free, "a signal handler writes the flag");
} // namespace quitrequest_detail

// Raises the request: async-signal-safe, any thread. Release order: what the raiser wrote
// before (a drain request of the machine) is seen by whoever sees the request.
inline void QuitRequest_Raise() { quitrequest_detail::g_raised.store(1, std::memory_order_release); }
inline void QuitRequest_Clear() { quitrequest_detail::g_raised.store(0, std::memory_order_release); }
inline bool QuitRequest_Pending() { return quitrequest_detail::g_raised.load(std::memory_order_acquire) != 0; }

// The run's quit: a signal (SIGINT, SIGTERM, SIGHUP) or the window's close asked the run to
// end. Noted once (async-signal-safe: the signal handler notes it at once, the entry at the
// window's close) and kept for the rest of the run, through the game's end and the shutdown,
// where the request above is cleared. A game_end is no quit: nobody outside waits for it.
// Every wait of the runner ends at the quit and goes on as it does when its time runs out
// (a file lock held elsewhere: the file is read or written without it; a program waited for:
// not waited for any more; the frame's sleep: over), so that the game's end events run and
// their writes are made. Waits that sleep or poll wait through QuitWait_* below, which the
// quit wakes at once; loops that look between steps read QuitRequest_Quitting.
void QuitRequest_NoteQuit();
inline bool QuitRequest_Quitting() { return quitrequest_detail::g_quitting.load(std::memory_order_acquire) != 0; }
// Forgets the quit and the requests taken, back to Starting (tests that play one in the same
// process).
void QuitRequest_ForgetQuit();

// The player's requests to quit (a signal, the window's close) and the graces of the code
// that runs when they come. The entry tells the stage of the run; each request is taken where
// it arrives (the signal handler, the window's pump) and what it means is decided then, once,
// by the stage it came in, and kept with it (QuitRequest_Take, lock-free; the entry acts on
// what was decided, whenever it next looks):
//   - Starting (the game file loads, nothing of the game has run): a request ends the run at
//     once;
//   - Playing (the game's start and its frames): the first request ends the main loop, no
//     further step starts, and the code running when it came goes on; code that still runs
//     kQuitEventGrace after it is stopped (QuitRequest_Deadline). Later requests while Playing
//     are that one request;
//   - Ending (the room end and game end events, whoever began them: a request, the game's
//     game_end, the frame limit): a request ends the run at once, unless it is part of the
//     burst of a first request taken before (within kQuitSameRequest of it: the terminal's
//     close sends SIGHUP twice, a supervisor SIGTERM and SIGHUP together). The end events of
//     a first request run their code, after a signal for kQuitEndGrace from their start at
//     most, after the window's close alone with no limit (the player can close again);
//   - Closing (the shutdown): requests change nothing, the shutdown is never cut short.
enum class QuitStage : int32_t { Starting, Playing, Ending, Closing };
// What a request means: the first (the main loop ends, running code has its grace), the same
// one again, or the run's end at once (QuitRequest_EndsAtOnce from then on).
enum class QuitTake : int32_t { First, Same, AtOnce };
constexpr int64_t kQuitEventGrace = 1000000;  // microseconds
constexpr int64_t kQuitEndGrace = 5000000;    // below the ten seconds supervisors allow before SIGKILL
constexpr int64_t kQuitSameRequest = 500000;
// The stage; Ending notes now (QuitRequest_Now) as the start of the end events.
void QuitRequest_SetStage(QuitStage stage);
namespace quitrequest_detail {
void SetStageWord(QuitStage stage); // the stage alone (QuitRequest_SetStage stamps the end's start)
void ForgetRequests();              // back to Starting, no request taken (QuitRequest_ForgetQuit)
} // namespace quitrequest_detail
QuitStage QuitRequest_Stage();
// One request at now (QuitRequest_Now): a signal (its number, 1 to 64) or the window's close
// (0). Async-signal-safe. Judged by the stage it comes in, in one step with the stage (a stage
// set meanwhile is either before the request or after it, never half); a request that ends the
// run at once also raises the quit request (QuitRequest_Raise), so that long work stops.
QuitTake QuitRequest_Take(int64_t now, int signal);
// Whether a request was taken (the main loop is to end), whether one ended the run at once,
// and the number of the first signal taken (0: none; the run ends by it).
bool QuitRequest_Asked();
bool QuitRequest_EndsAtOnce();
int QuitRequest_FirstSignal();
// The next signal request the log has not named yet, 0 when none (one reader, the entry):
// each signal taken is named once, by its own number, the first signal's first. Counted per
// signal number (a fixed table), so that no storm of signals grows it.
int QuitRequest_UnsaidSignal();
// For a thread the runner starts (first thing in it): the quit signals (SIGINT, SIGTERM, SIGHUP)
// are left to the main thread, so that their handler runs on one thread only and takes them in
// the order the system hands them over; two handlers on two threads at once could take the
// later first. (The threads the libraries start block them already.)
void QuitRequest_LeaveSignalsToMain();
// When the code of the stage is to be stopped (QuitRequest_Raise; QuitRequest_Now's clock), 0
// while nothing is to be stopped: the first request plus kQuitEventGrace while Playing; the
// later of the end's start and the first request plus kQuitEndGrace while Ending once a signal
// came.
int64_t QuitRequest_Deadline();
// The monotonic clock of the requests, microseconds: async-signal-safe.
int64_t QuitRequest_Now();

// Sleeps microseconds, or less when the quit comes meanwhile: false when the quit ended the
// sleep or had come before it.
bool QuitWait_Sleep(int64_t microseconds);
// Waits until the descriptor fd is ready for events (POLLIN, POLLOUT ...), milliseconds pass
// (-1: no limit) or the quit comes, whichever is first. As poll: 1 ready (or an error or hang-up
// to report), 0 the time passed or the quit came, -1 with errno (EINTR: a signal). Once the
// quit has come this is a plain wait for fd: a wait that goes on past the quit (the log's last
// half second) bounds itself.
int QuitWait_Ready(int fd, short events, int milliseconds);

// Work units between two reads of the request: about a tenth of a millisecond of the
// cheapest work (a byte copied), a few milliseconds of the dearest (a compare of two texts).
constexpr uint32_t kQuitPollWork = 1u << 16;

// The counter of one long loop: Stop(work) adds work (the units one round did) and reads the
// request when kQuitPollWork units have gathered. True once the request is seen.
class QuitPoll {
public:
    bool Stop(uint64_t work = 1)
    {
        m_work += work;
        if (__builtin_expect(m_work < kQuitPollWork, 1)) return false;
        m_work = 0;
        return QuitRequest_Pending();
    }

private:
    uint64_t m_work = 0;
};

// A stable sort of [first, last) (contiguous) that a quit request stops: sorted runs of 4,096
// elements, then merged in pairs, the request read through poll between runs and merges.
// The result is std::stable_sort's. A stopped sort leaves the range a permutation of what it
// held (partly sorted) and returns false.
template <class It, class Less>
bool QuitRequest_StableSort(It first, It last, Less less, QuitPoll& poll)
{
    using T = typename std::iterator_traits<It>::value_type;
    constexpr size_t kRun = 4096;
    const size_t n = size_t(last - first);
    T* const items = std::to_address(first);
    for (size_t at = 0; at < n; at += kRun) {
        const size_t end = std::min(n, at + kRun);
        std::stable_sort(items + at, items + end, less);
        if (poll.Stop(end - at)) return false;
    }
    if (n <= kRun) return true;
    std::vector<T> buffer(n);
    T* from = items;
    T* to = buffer.data();
    bool stopped = false;
    for (size_t width = kRun; width < n && !stopped; width *= 2) {
        size_t at = 0;
        for (; at < n && !stopped; at += 2 * width) {
            const size_t mid = std::min(n, at + width), end = std::min(n, mid + width);
            std::merge(from + at, from + mid, from + mid, from + end, to + at, less);
            stopped = poll.Stop(end - at);
        }
        // Stopped: the runs not merged yet go across as they are, so the pass is whole.
        if (at < n) std::copy(from + at, from + n, to + at);
        std::swap(from, to);
    }
    if (from != items) std::copy(from, from + n, items);
    return !stopped;
}
