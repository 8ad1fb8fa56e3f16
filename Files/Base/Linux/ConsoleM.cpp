// POSIX half of the log console (Files/Base/ConsoleHost.h): log files opened for appending,
// and writes chosen by what the output is, learnt once: plain files and /dev/null written
// straight, pipes and named pipes through a descriptor of our own that does not block (or a
// write that does not wait), sockets sent to without waiting, terminals and other devices
// polled and then written, so that a pipe nobody reads holds a line only until the run's quit
// (a signal, the window's close).
#include "Files/Base/ConsoleHost.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <dirent.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Files/Base/QuitRequest.h"

namespace {

// How an output is written (ConsoleOutput::kind).
enum Kind : int {
    kUnknown = 0,
    kStraight, // a plain file or a memory device (/dev/null, /dev/full): every write is taken or refused at once
    kOwn,      // a descriptor that does not block (own, or fd opened so): write, and poll when it is full
    kSocket,   // a socket: send without waiting, and poll when it is full
    kNoWait,   // a shared pipe: writes that do not wait (RWF_NOWAIT) until one is refused, and poll when it is full
    kShared,   // anything else (a terminal, a device, a pipe of neither kind above): poll, then write PIPE_BUF
};

// The character devices of major 1 (null, zero, full, random, kmsg) never hold a write.
constexpr unsigned kMemoryDevices = 1;

// How long, in all, the writes may still wait once the run's quit came.
constexpr int64_t kQuitWaitMs = 500;

int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// When the writes stop waiting (steady milliseconds); 0 until the quit is seen. Any thread may log.
std::atomic<int64_t> g_waitEnd{0};

// Milliseconds a poll may wait now: no limit (-1) until the run's quit, which ends the poll;
// then what is left of the time after it, 0 once it is used up.
int PollTimeout()
{
    if (!QuitRequest_Quitting()) return -1;
    int64_t end = g_waitEnd.load();
    if (end == 0) {
        int64_t none = 0;
        g_waitEnd.compare_exchange_strong(none, NowMs() + kQuitWaitMs);
        end = g_waitEnd.load();
    }
    return int(std::clamp<int64_t>(end - NowMs(), 0, kQuitWaitMs));
}

// True when the descriptor takes bytes now (or reports an error, which the write then gives);
// false when the run's quit came and it took nothing in the time left.
bool WaitWritable(int fd)
{
    for (;;) {
        const int timeout = PollTimeout();
        const int r = QuitWait_Ready(fd, POLLOUT, timeout);
        if (r > 0 || (r < 0 && errno != EINTR)) return true;
        if (r == 0 && timeout == 0) return false;
    }
}

// A descriptor of our own, not blocking, onto the pipe or named pipe of fd, whose open file is
// shared with whoever started the run (its flags are theirs too); -1 when none can be had (no
// /proc, a pipe without a reader, no right to open it). Only a pipe is opened again: what
// /proc/self/fd/N opens is the same pipe, and that is checked, whereas the same open of a
// terminal's master side (/dev/ptmx) would make a new terminal that nobody reads.
int OpenOwn(int fd, const struct stat& st)
{
    if (!S_ISFIFO(st.st_mode)) return -1;
    char path[40];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    const int own = open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (own < 0) return -1;
    struct stat same;
    if (fstat(own, &same) != 0 || !S_ISFIFO(same.st_mode) || same.st_dev != st.st_dev || same.st_ino != st.st_ino) {
        close(own);
        return -1;
    }
    return own;
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
    } else if (S_ISFIFO(st.st_mode)) {
        // No /proc, or no right to open the pipe again. Whether the system takes writes that
        // do not wait for this pipe, only a write of some bytes tells (an empty one is always
        // taken): one it refuses goes again the other way (WayRefused).
        out.kind = kNoWait;
    } else {
        out.kind = kShared; // a terminal (which refuses writes that do not wait), a device
    }
}

// True when a write of the output's kind was refused as a way of writing it does not take (a
// named pipe or a kernel without writes that do not wait): it is then written as a terminal is.
bool WayRefused(const ConsoleOutput& out, int error)
{
    return (out.kind == kNoWait && (error == EOPNOTSUPP || error == EINVAL || error == ENOSYS)) ||
           (out.kind == kSocket && (error == EOPNOTSUPP || error == ENOTSOCK));
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
        if (n < 0 && WayRefused(out, errno)) { // the same bytes go again, the other way
            out.kind = kShared;
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

// [SECTION] The descriptors the run was given
// The runner's own streams are the descriptors open when the process started, noted before
// anything in it opens one: from the executable's .preinit_array, which runs before every
// library's initialisers and every constructor (the quit's eventfd is made in one). A
// descriptor the process opened itself is never one of them, whatever number it took.
// Only system calls and plain globals here, nothing instrumented: the sanitizers' runtime may
// not be started yet.

// The given descriptors, ascending, one int each in memory mapped straight from the system
// (no allocator may be ready yet): as many as were open, whatever their numbers.
int* g_given = nullptr;
size_t g_givenCount = 0, g_givenRoom = 0; // ints held, ints the mapping has room for
bool g_givenNoted = false;                // the list is whole (else: the standard descriptors only)

__attribute__((no_sanitize("address", "undefined"))) bool NoteGiven(int fd)
{
    if (fd < 0) return true;
    if (g_givenCount == g_givenRoom) {
        const size_t room = g_givenRoom ? g_givenRoom * 2 : 1024, bytes = room * sizeof(int);
        const long at = g_given ? syscall(SYS_mremap, g_given, g_givenRoom * sizeof(int), bytes, MREMAP_MAYMOVE)
                                : syscall(SYS_mmap, nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (at == -1) return false;
        g_given = reinterpret_cast<int*>(at);
        g_givenRoom = room;
    }
    // The folder lists them ascending; one out of order is put in its place all the same.
    size_t i = g_givenCount;
    for (; i > 0 && g_given[i - 1] >= fd; i--) {
        if (g_given[i - 1] == fd) return true;
    }
    for (size_t j = g_givenCount; j > i; j--) g_given[j] = g_given[j - 1];
    g_given[i] = fd;
    g_givenCount++;
    return true;
}

__attribute__((no_sanitize("address", "undefined"))) void NoteGivenDescriptors(int, char**, char**)
{
    bool whole = true;
    const int dir = int(syscall(SYS_openat, AT_FDCWD, "/proc/self/fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir >= 0) {
        alignas(8) char buffer[4096];
        for (long n; whole && (n = syscall(SYS_getdents64, dir, buffer, sizeof buffer)) > 0;) {
            for (long at = 0; whole && at < n;) {
                const auto* e = reinterpret_cast<const dirent64*>(buffer + at);
                int fd = e->d_name[0] ? 0 : -1;
                for (const char* c = e->d_name; *c && fd >= 0; c++)
                    fd = *c >= '0' && *c <= '9' && fd < 100000000 ? fd * 10 + (*c - '0') : -1;
                if (fd != dir) whole = NoteGiven(fd);
                at += e->d_reclen;
            }
        }
        syscall(SYS_close, dir);
    } else {
        // No /proc: every number up to the limit of open descriptors asked, a block at a time
        // (poll marks each one that is not open).
        rlimit limit{};
        syscall(SYS_getrlimit, RLIMIT_NOFILE, &limit);
        const long top = limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > INT_MAX ? INT_MAX : long(limit.rlim_cur);
        pollfd block[256];
        const long size = top < 256 ? top : 256;
        for (long first = 0; whole && first < top; first += size) {
            const long count = top - first < size ? top - first : size;
            for (long i = 0; i < count; i++) block[i] = {int(first + i), 0, 0};
            if (syscall(SYS_poll, block, count, 0) < 0) {
                whole = false;
                break;
            }
            for (long i = 0; whole && i < count; i++)
                if (!(block[i].revents & POLLNVAL)) whole = NoteGiven(block[i].fd);
        }
    }
    g_givenNoted = whole;
}

__attribute__((section(".preinit_array"), used)) void (*g_noteGivenDescriptors)(int, char**, char**) =
    NoteGivenDescriptors;

// True when fd was open when the process started (where that could not be noted: the
// standard descriptors only).
bool GivenAtStart(int fd)
{
    if (!g_givenNoted) return fd >= 0 && fd <= 2;
    return std::binary_search(g_given, g_given + g_givenCount, fd);
}

// N when text is all decimal digits naming a descriptor number; -1 otherwise.
int DescriptorNumber(const std::string& text)
{
    if (text.empty() || text.size() > 9) return -1;
    int n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

// True when folder (absolute, no links) is this process's descriptor folder in /proc:
// /proc/PID/fd, or /proc/PID/task/TID/fd of one of its threads.
bool OwnDescriptorFolder(const std::string& folder)
{
    const std::string mine = "/proc/" + std::to_string(getpid());
    if (folder == mine + "/fd") return true;
    const std::string task = mine + "/task/";
    return folder.size() > task.size() + 3 && folder.compare(0, task.size(), task) == 0 &&
           folder.compare(folder.size() - 3, 3, "/fd") == 0 &&
           DescriptorNumber(folder.substr(task.size(), folder.size() - 3 - task.size())) >= 0;
}

// The descriptor number a path names when it is one of this process's open descriptors:
// /dev/stdin, /dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N, /proc/PID/fd/N of this
// process (its threads' too), or a link that leads to one of them; -1 for any other path.
// The standard names are known without /proc (a mount namespace may hide it).
int OwnDescriptorNamed(const char* path)
{
    std::string p = path ? path : "";
    for (int hops = 0; hops < 40 && !p.empty(); hops++) {
        if (p == "/dev/stdin") return 0;
        if (p == "/dev/stdout") return 1;
        if (p == "/dev/stderr") return 2;
        const size_t slash = p.rfind('/');
        if (slash == std::string::npos) { // a relative name: from the current folder
            p = "./" + p;
            continue;
        }
        const std::string folder = slash == 0 ? "/" : p.substr(0, slash), last = p.substr(slash + 1);
        const int n = DescriptorNumber(last);
        if (n >= 0 && (folder == "/dev/fd" || folder == "/proc/self/fd" || folder == "/proc/thread-self/fd"))
            return n;
        if (n >= 0) {
            char* real = realpath(folder.c_str(), nullptr);
            const bool own = real && OwnDescriptorFolder(real);
            std::free(real);
            if (own) return n;
        }
        // A link is followed one step; anything else is a file of its own.
        char target[4096];
        const ssize_t length = readlink(p.c_str(), target, sizeof target - 1);
        if (length <= 0) return -1;
        target[length] = 0;
        p = target[0] == '/' ? std::string(target) : folder + "/" + target;
    }
    return -1;
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
    // What the output is stays learnt after a failed write: the next line is written the same
    // way (space may come back), without asking the system again.
    out.cut = outcome != ConsoleWrite::Written && (done > lead || (lead && done == 0));
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
    // One of the runner's own streams is written through that descriptor, as the standard
    // output is: opened again, a terminal's master side would be a new terminal that nobody
    // reads, a socket would not open, and a file would be written at an offset of its own.
    // Only a descriptor the run was given is such a stream: any other of that number is one the
    // runner opened itself (the quit's eventfd, a file of the game), never the log's, and the
    // path is said as a log that does not open.
    const int own = OwnDescriptorNamed(path);
    if (own >= 0 && !GivenAtStart(own)) {
        errno = EBADF;
        return -1;
    }
    if (own >= 0) return fcntl(own, F_DUPFD_CLOEXEC, 3);
    // Not blocking: a named pipe or a terminal as the log waits in poll, which the run's quit ends.
    return open(path, O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
}

bool ConsoleHost_Close(int fd) { return close(fd) == 0; }

namespace {

// True when fd is the run's controlling terminal, by whichever name it was opened: /dev/tty, a
// node of its own, or the terminal's (/dev/pts/N, /dev/ttyN). Its session is asked for, which a
// terminal answers only to the processes it controls; a terminal's master side is not the
// terminal (what is written there is its input).
bool ControllingTerminal(int fd, const struct stat& st)
{
    int number = 0;
    pid_t session = 0;
    return S_ISCHR(st.st_mode) && isatty(fd) && ioctl(fd, TIOCGPTN, &number) != 0 && ioctl(fd, TIOCGSID, &session) == 0;
}

} // namespace

bool ConsoleHost_SameOutput(int a, int b)
{
    struct stat sa, sb;
    if (fstat(a, &sa) != 0 || fstat(b, &sb) != 0) return false;
    if (sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino) return true;
    return ControllingTerminal(a, sa) && ControllingTerminal(b, sb);
}
