// POSIX half of the program starters of Files/Support/File.h: posix_spawn, waitpid(WNOHANG)
// polling while the events are pumped (a sleep that the run's quit ends), xdg-open. Children
// not waited for are reaped at the next start.
#include "Files/Support/File.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "Files/Base/QuitRequest.h"
#include "Files/Support/CommandLine.h"
#include "Files/Support/Timing.h"

extern char** environ;

namespace {

std::vector<pid_t> g_unwaited; // started without waiting; reaped later

void ReapFinished()
{
    for (size_t i = 0; i < g_unwaited.size();) {
        int status;
        pid_t r = waitpid(g_unwaited[i], &status, WNOHANG);
        if (r == 0) {
            i++;
        } else {
            g_unwaited[i] = g_unwaited.back();
            g_unwaited.pop_back();
        }
    }
}

// Starts argv[0] (a path when it holds '/', else looked up in PATH) in folder. The pid, or
// -1 when it could not be started.
pid_t Spawn(std::vector<std::string> args, const char* folder)
{
    ReapFinished();
    if (args.empty() || args[0].empty()) return -1;
    bool isPath = args[0].find('/') != std::string::npos || args[0].find('\\') != std::string::npos;
    // A path is made absolute before the child changes folder.
    if (isPath) args[0] = File_Resolve(File_FullPath(args[0].c_str()).c_str());

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    std::string dir;
    if (folder && *folder) {
        dir = File_Resolve(File_FullPath(folder).c_str());
        posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // The runner ignores SIGXFSZ and SIGPIPE (a write past a file-size limit or into a pipe
    // without a reader fails instead of killing it); the program it starts has the defaults,
    // as it would started any other way.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGXFSZ);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    int rc = isPath ? posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ)
                    : posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

bool IsExecutableFile(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

} // namespace

bool File_ExecuteProgram(const char* program, const char* arguments, const char* folder, bool wait)
{
    if (!program) return false;
    std::vector<std::string> args{File_NormaliseSeparators(program)};
    for (std::string& a : Timing_SplitArguments(arguments)) args.push_back(std::move(a));
    pid_t pid = Spawn(std::move(args), folder);
    if (pid < 0) return false;
    if (!wait) {
        g_unwaited.push_back(pid);
        return true;
    }
    // A quit (the window closed, a signal; also in the game's end events) ends the wait; the
    // program is then not waited for.
    const bool wasRunning = g_StartupOptions.running == 1;
    for (;;) {
        int status;
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno != EINTR)) break;
        Timing_PumpEvents();
        if (Timing_WaitOver(wasRunning)) {
            g_unwaited.push_back(pid);
            break;
        }
        QuitWait_Sleep(50000);
    }
    return true;
}

bool File_ShellExecute(const char* file, const char* parameters, const char* folder)
{
    if (!file || !*file) return false;
    bool url = std::strstr(file, "://") != nullptr;
    if (!url) {
        std::string path = File_Resolve(File_FullPath(file).c_str());
        if (IsExecutableFile(path)) return File_ExecuteProgram(path.c_str(), parameters, folder, false);
        if (!path.empty() && access(path.c_str(), F_OK) == 0) {
            pid_t pid = Spawn({"xdg-open", path}, folder);
            if (pid >= 0) g_unwaited.push_back(pid);
            return pid >= 0;
        }
    }
    pid_t pid = Spawn({"xdg-open", file}, folder);
    if (pid >= 0) g_unwaited.push_back(pid);
    return pid >= 0;
}
