// POSIX half of the log console (Files/Base/ConsoleHost.h): log files opened for appending,
// and writes chosen by what the output is, learnt once: plain files and /dev/null written
// straight, pipes and terminals through a descriptor of our own that does not block, sockets
// sent to without waiting, so that a pipe nobody reads holds a line only until a signal asks
// the run to end.
#include "Files/Base/ConsoleHost.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "Files/Base/QuitRequest.h"

namespace {

// How an output is written (ConsoleOutput::kind).
enum Kind : int {
    kUnknown = 0,
    kStraight, // a plain file or a memory device (/dev/null, /dev/full): every write is taken or refused at once
    kOwn,      // a descriptor that does not block (own, or fd opened so): write, and poll when it is full
    kSocket,   // a socket: send without waiting, and poll when it is full
    kNoWait,   // a blocking descriptor shared with others whose file takes writes that do not wait (RWF_NOWAIT)
    kShared,   // a blocking descriptor shared with others, nothing of the above: poll, then write PIPE_BUF
};

// The character devices of major 1 (null, zero, full, random, kmsg) never hold a write.
constexpr unsigned kMemoryDevices = 1;

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

// A descriptor of our own, not blocking, onto the pipe, named pipe or terminal of fd, whose
// open file is shared with whoever started the run (its flags are theirs too); -1 when none
// can be had (no /proc, a pipe without a reader, no right to open it).
int OpenOwn(int fd, const struct stat& st)
{
    char path[40];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    const int own = open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (own < 0) return -1;
    struct stat same;
    if (fstat(own, &same) != 0 || same.st_dev != st.st_dev || same.st_ino != st.st_ino) {
        close(own);
        return -1;
    }
    return own;
}

// True when the file of fd takes a write that does not wait however fd was opened (a pipe
// on a recent kernel; an empty write asks).
bool TakesNoWaitWrites(int fd)
{
    iovec none{nullptr, 0};
    return pwritev2(fd, &none, 1, -1, RWF_NOWAIT) >= 0 || errno == EAGAIN;
}

void Learn(ConsoleOutput& out)
{
    struct stat st;
    if (fstat(out.fd, &st) != 0 || S_ISREG(st.st_mode) || (S_ISCHR(st.st_mode) && major(st.st_rdev) == kMemoryDevices)) {
        out.kind = kStraight; // a closed descriptor too: its write says why
    } else if (S_ISSOCK(st.st_mode)) {
        out.kind = kSocket;
    } else if (const int flags = fcntl(out.fd, F_GETFL); flags >= 0 && (flags & O_NONBLOCK)) {
        out.kind = kOwn; // a log file of ours, opened not blocking
    } else if ((out.own = OpenOwn(out.fd, st)) >= 0) {
        out.kind = kOwn;
    } else if (TakesNoWaitWrites(out.fd)) {
        out.kind = kNoWait; // no /proc, or no right to open the pipe again
    } else {
        out.kind = kShared;
    }
}

// Writes what the output takes, done counting the bytes that went.
ConsoleWrite WriteAll(ConsoleOutput& out, const char* data, size_t length, size_t* done, int* error)
{
    const int fd = out.own >= 0 ? out.own : out.fd;
    while (*done < length) {
        const char* at = data + *done;
        const size_t left = length - *done;
        ssize_t n;
        switch (out.kind) {
        case kSocket: n = send(fd, at, left, MSG_DONTWAIT | MSG_NOSIGNAL); break;
        case kNoWait: {
            iovec piece{const_cast<char*>(at), left};
            n = pwritev2(fd, &piece, 1, -1, RWF_NOWAIT);
            break;
        }
        case kShared:
            // A pipe with room takes a piece of PIPE_BUF bytes whole.
            if (!WaitWritable(fd)) return ConsoleWrite::GaveUp;
            n = write(fd, at, std::min(left, size_t(PIPE_BUF)));
            break;
        default: n = write(fd, at, left); break;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) { // full (or made non-blocking by someone else)
            if (out.kind != kShared && !WaitWritable(fd)) return ConsoleWrite::GaveUp;
            continue;
        }
        if (n <= 0) {
            if (error) *error = n < 0 ? errno : EIO;
            return ConsoleWrite::Failed;
        }
        *done += size_t(n);
    }
    return ConsoleWrite::Written;
}

} // namespace

ConsoleWrite ConsoleHost_Write(ConsoleOutput& out, const char* data, size_t length, int* error)
{
    std::lock_guard<std::mutex> hold(out.lock);
    if (out.kind == kUnknown) Learn(out);
    // A line that stopped part way is ended first, in the same write as the next one.
    std::string joined;
    const size_t lead = out.cut ? 1 : 0;
    if (lead) {
        joined.reserve(length + 1);
        joined.append(1, '\n').append(data, length);
        data = joined.data();
        length = joined.size();
    }
    size_t done = 0;
    const ConsoleWrite outcome = WriteAll(out, data, length, &done, error);
    out.cut = outcome != ConsoleWrite::Written && (done > lead || (lead && done == 0));
    if (outcome == ConsoleWrite::Failed) { // the output may have changed: learnt again at the next line
        if (out.own >= 0) close(out.own);
        out.own = -1;
        out.kind = kUnknown;
    }
    return outcome;
}

void ConsoleHost_Forget(ConsoleOutput& out)
{
    std::lock_guard<std::mutex> hold(out.lock);
    if (out.own >= 0) close(out.own);
    out.own = -1;
    out.kind = kUnknown;
    out.cut = false;
}

int ConsoleHost_OpenLog(const char* path)
{
    // Not blocking: a named pipe or a terminal as the log waits in poll, where a signal is seen.
    return open(path, O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
}

bool ConsoleHost_Close(int fd) { return close(fd) == 0; }
