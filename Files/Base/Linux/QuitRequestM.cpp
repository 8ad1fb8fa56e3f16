// POSIX half of Files/Base/QuitRequest.h: the run's quit, the waits it ends, and the clock the
// stage is stamped by. The quit writes an eventfd that nobody reads, so it stays readable for
// the rest of the run; a wait polls it beside what it waits for (ppoll, poll) and so ends the
// moment the quit is noted, from the signal handler or the entry, whichever thread waits.
#include "Files/Base/QuitRequest.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace {

// The eventfd, made before main (the signal handlers are installed in main) above the
// standard descriptors: one the process was started without is left closed for the entry to
// give /dev/null, never taken by this. -1 where none can be had: the waits then look at the
// flag every kLookMs.
int MakeWake()
{
    int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd >= 0 && fd <= 2) {
        const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
        close(fd);
        fd = moved;
    }
    return fd;
}
const int g_wake = MakeWake();
constexpr int kLookMs = 10;

int64_t NowMicroseconds()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

} // namespace

int64_t QuitRequest_Now() { return NowMicroseconds(); }

void QuitRequest_SetStage(QuitStage stage)
{
    if (stage == QuitStage::Ending) quitrequest_detail::g_endAt.store(NowMicroseconds(), std::memory_order_release);
    quitrequest_detail::SetStageWord(stage);
}

void QuitRequest_NoteQuit()
{
    const int saved = errno; // a signal handler leaves errno as the interrupted code had it
    quitrequest_detail::g_quitting.store(1, std::memory_order_release);
    if (g_wake >= 0) {
        const uint64_t one = 1;
        (void)!write(g_wake, &one, sizeof one);
    }
    errno = saved;
}

void QuitRequest_ForgetQuit()
{
    quitrequest_detail::g_quitting.store(0, std::memory_order_release);
    quitrequest_detail::ForgetRequests();
    uint64_t count;
    if (g_wake >= 0) (void)!read(g_wake, &count, sizeof count);
}

void QuitRequest_LeaveSignalsToMain()
{
    sigset_t set;
    sigemptyset(&set);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, signal);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool QuitWait_Sleep(int64_t microseconds)
{
    const int64_t end = NowMicroseconds() + std::max<int64_t>(microseconds, 0);
    for (;;) {
        if (QuitRequest_Quitting()) return false;
        const int64_t left = end - NowMicroseconds();
        if (left <= 0) return true;
        if (g_wake < 0) {
            const int64_t slice = std::min<int64_t>(left, kLookMs * 1000);
            timespec ts{time_t(slice / 1000000), long(slice % 1000000) * 1000};
            nanosleep(&ts, nullptr);
            continue;
        }
        pollfd p{g_wake, POLLIN, 0};
        timespec ts{time_t(left / 1000000), long(left % 1000000) * 1000};
        ppoll(&p, 1, &ts, nullptr); // a signal (EINTR) or the quit: looked at above
    }
}

int QuitWait_Ready(int fd, short events, int milliseconds)
{
    pollfd p[2] = {{fd, events, 0}, {g_wake, POLLIN, 0}};
    if (QuitRequest_Quitting()) return poll(p, 1, milliseconds);
    if (g_wake >= 0) {
        const int r = poll(p, 2, milliseconds);
        if (r > 0) return p[0].revents ? 1 : 0; // else the quit came
        return r;
    }
    // No eventfd: short waits, the flag looked at between them.
    const int64_t end = NowMicroseconds() + int64_t(std::max(milliseconds, 0)) * 1000;
    for (;;) {
        const int64_t left = milliseconds < 0 ? kLookMs + 1 : (end - NowMicroseconds() + 999) / 1000;
        const int r = poll(p, 1, int(std::clamp<int64_t>(left, 0, kLookMs)));
        if (r != 0 || left <= kLookMs || QuitRequest_Quitting()) return r;
    }
}
