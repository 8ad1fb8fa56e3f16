// Host parts of the program entry on Linux: the standard descriptors kept open, the executable's
// path, the current folder's files for the '@' moves, the handlers of SIGINT, SIGTERM and
// SIGHUP, and SIGXFSZ and SIGPIPE ignored. POSIX, and SDL's hint that keeps SDL's own signal
// handlers out.
#include "Zimbrel.h"

#include <SDL2/SDL.h>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

#include "Files/Base/QuitRequest.h"
#include "Files/Code/VM.h"

namespace {

// Each signal is one request, taken and judged here (Files/Base/QuitRequest.h keeps it and its
// number); the entry acts on it at its next look.
void OnSignal(int signal)
{
    QuitRequest_NoteQuit(); // every wait ends: a file lock, a sleep, a log nobody reads
    QuitRequest_Take(QuitRequest_Now(), signal); // raises the quit request when the run ends at once
    VM_RequestDrain(); // a running loop drains (and so sees the request) at its next branch back
}

// Held by the clock while it raises the quit request, and by a change of stage.
std::mutex g_clockLock;

} // namespace

void MainHost_KeepStandardDescriptors()
{
    // A descriptor of 0-2 left closed would be taken by the next file opened (a log file, a
    // library's socket), which would then get what is meant for the standard output.
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // It takes the lowest free number, fd itself (0 to fd - 1 are open by now).
        const int null = open("/dev/null", O_RDWR);
        if (null > fd) { // not expected; moved where it belongs all the same
            dup2(null, fd);
            close(null);
        }
    }
}

void MainHost_InstallSignalHandlers()
{
    // SDL would turn these signals into a quit event, seen only when events are pumped, and
    // indistinguishable from a window close: the runner counts them itself.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // Nor a quit event of its own after the close of its last window: the window's close is one
    // quit request (a second one ends the run at once, without the game's end events).
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    struct sigaction action {};
    action.sa_handler = OnSignal;
    // None of the three interrupts the handler of another on its thread: a later signal that
    // came while the handler of the first was being entered would else be taken first.
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, signal);
    action.sa_flags = SA_RESTART;
    // SIGHUP (the terminal that started the run closed) ends the run in order as they do.
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        // A signal the runner was started with ignored (a background job of a script) stays so.
        if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
    }
    // Under a file-size limit (ulimit -f) a write past it would kill the runner before the
    // game's end, and so would a write to a pipe whose reader left (| head): ignored, the
    // write fails with EFBIG or EPIPE and is said like any failed write. (Programs the game
    // starts get the defaults back: Linux/File_ProcessM.cpp.)
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, nullptr);
    sigaction(SIGPIPE, &ignore, nullptr);
}

void MainHost_StartDrainClock()
{
    // A loop whose body is slow (built-ins that take milliseconds) reaches its 4,096th branch
    // rarely; this clock asks for a drain ten times a second, so a window close is pumped
    // (and a quit seen) within a tenth of a second of running code.
    // It also raises the quit request when the grace of the running code has run out.
    std::thread([] {
        QuitRequest_LeaveSignalsToMain();
        for (;;) {
            int64_t wait = 100000;
            // Up to the deadline when it comes sooner (one passed was raised already).
            const int64_t due = QuitRequest_Deadline(), now = QuitRequest_Now();
            if (due > now) wait = std::min(due - now, wait);
            std::this_thread::sleep_for(std::chrono::microseconds(wait));
            {
                const std::lock_guard<std::mutex> hold(g_clockLock);
                const int64_t due = QuitRequest_Deadline();
                if (due && QuitRequest_Now() >= due) QuitRequest_Raise();
            }
            VM_RequestDrain();
        }
    }).detach();
}

void MainHost_SetQuitStage(QuitStage stage)
{
    const std::lock_guard<std::mutex> hold(g_clockLock);
    // Cleared before the stage changes: a second request taken in the new stage stays raised.
    if (stage >= QuitStage::Ending) QuitRequest_Clear();
    QuitRequest_SetStage(stage);
}

void MainHost_EndBySignal()
{
    const int signal = QuitRequest_FirstSignal();
    if (!signal) return;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    raise(signal);
}

std::string MainHost_ExecutablePath()
{
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return std::string();
    buffer[n] = 0;
    return std::string(buffer);
}

std::vector<std::string> MainHost_MovableFiles()
{
    std::vector<std::string> names;
    DIR* dir = opendir(".");
    if (!dir) return names;
    while (dirent* e = readdir(dir)) {
        const char* name = e->d_name;
        if (name[0] == '.') continue; // hidden
        struct stat st;
        if (lstat(name, &st) != 0 || !S_ISREG(st.st_mode)) continue; // folders, links, devices
        if (!(st.st_mode & S_IWUSR)) continue;                         // read-only (the owner's write bit)
        names.emplace_back(name);
    }
    closedir(dir);
    return names;
}

namespace {

// The folders of a path in the current folder (all but its last name), each opened from the
// one before without following a link: a descriptor (O_PATH) of the last folder, and *last
// the last name. -1 with errno (ENOTDIR for a link or a file in the way).
int OpenFoldersOf(const std::string& path, std::string* last)
{
    int dfd = open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    size_t i = 0;
    for (size_t j; dfd >= 0 && (j = path.find('/', i)) != std::string::npos; i = j + 1) {
        const int next = openat(dfd, path.substr(i, j - i).c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int saved = errno;
        close(dfd);
        errno = saved;
        dfd = next;
    }
    *last = path.substr(i);
    return dfd;
}

} // namespace

bool MainHost_MakeFolder(const std::string& path)
{
    std::string last;
    const int dfd = OpenFoldersOf(path, &last);
    if (dfd < 0) return false;
    const bool made = mkdirat(dfd, last.c_str(), 0777) == 0 || errno == EEXIST;
    close(dfd);
    return made;
}

bool MainHost_Rename(const std::string& from, const std::string& to)
{
    // Into folders of the current folder, never through a link, never over a file there.
    std::string last;
    const int dfd = OpenFoldersOf(to, &last);
    if (dfd < 0) return false;
    bool moved = renameat2(AT_FDCWD, from.c_str(), dfd, last.c_str(), RENAME_NOREPLACE) == 0;
    if (!moved && (errno == EINVAL || errno == ENOSYS)) { // a file system without the no-replace rename
        struct stat st;
        moved = fstatat(dfd, last.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 &&
                renameat(AT_FDCWD, from.c_str(), dfd, last.c_str()) == 0;
    }
    close(dfd);
    return moved;
}
