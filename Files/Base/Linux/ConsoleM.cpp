// POSIX half of the log console (Files/Base/ConsoleHost.h): log files opened for appending,
// and writes that poll before they write, so that a pipe nobody reads holds a line only until
// a signal asks the run to end.
#include "Files/Base/ConsoleHost.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>

#include "Files/Base/QuitRequest.h"

namespace {

// How long, in all, the writes may still wait once a signal asked the run to end.
constexpr int64_t kSignalledWaitMs = 500;
// Between two looks at the signal while a reader takes nothing.
constexpr int kPollMs = 100;

int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// When the writes stop waiting (steady milliseconds); 0 until a signal is seen. Any thread may log.
std::atomic<int64_t> g_waitEnd{0};

// Milliseconds a poll may wait now; 0 once the time after a signal is used up.
int PollTimeout()
{
    if (!QuitRequest_Signalled()) return kPollMs;
    int64_t end = g_waitEnd.load();
    if (end == 0) {
        int64_t none = 0;
        g_waitEnd.compare_exchange_strong(none, NowMs() + kSignalledWaitMs);
        end = g_waitEnd.load();
    }
    return int(std::clamp<int64_t>(end - NowMs(), 0, kPollMs));
}

// True when the descriptor takes bytes now (or reports an error, which the write then gives);
// false when a signal asked the run to end and it took nothing in the time left.
bool WaitWritable(int fd)
{
    for (;;) {
        const int timeout = PollTimeout();
        pollfd p{fd, POLLOUT, 0};
        const int r = poll(&p, 1, timeout);
        if (r > 0 || (r < 0 && errno != EINTR)) return true;
        if (r == 0 && timeout == 0) return false;
    }
}

} // namespace

int ConsoleHost_IsPlainFile(int fd)
{
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? 1 : 0;
}

ConsoleWrite ConsoleHost_Write(int fd, const char* data, size_t length, int* error, int plainKnown)
{
    // A pipe takes a piece of PIPE_BUF bytes whole once poll says it has room; a file any size.
    const bool plain = (plainKnown < 0 ? ConsoleHost_IsPlainFile(fd) : plainKnown) != 0;
    const size_t piece = plain ? length : size_t(PIPE_BUF);
    size_t done = 0;
    while (done < length) {
        if (!plain && !WaitWritable(fd)) return ConsoleWrite::GaveUp;
        const ssize_t n = write(fd, data + done, std::min(length - done, piece));
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue; // EAGAIN: made non-blocking by someone else
        if (n <= 0) {
            if (error) *error = n < 0 ? errno : EIO;
            return ConsoleWrite::Failed;
        }
        done += size_t(n);
    }
    return ConsoleWrite::Written;
}

int ConsoleHost_OpenLog(const char* path)
{
    return open(path, O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0666);
}

bool ConsoleHost_Close(int fd) { return close(fd) == 0; }
