// End to end: "-output" and "-debugoutput" naming one of the runner's own streams
// (/dev/stderr, /dev/stdout, /dev/fd/N, /proc/self/fd/N) write through that descriptor, as the
// standard output is written: a pseudo-terminal's master side as the standard error (a
// terminal emulator's or an editor's own), whose reopening would make a new terminal nobody
// reads; the standard output a pipe or a file the shell truncated (">"), where a second open
// would write at an offset of its own; an inherited pipe. Each run writes 3,600
// lines to the log named, every one reaches the reader once and in order (where the log is the
// standard output itself too), and the run ends by itself; so does a pipe given at 4164 after
// 64 other descriptors above 4095 (a program that hands many on), with /proc and without
// (where the runner asks each number up to its limit). A descriptor the run was not given
// is none of its streams, whatever the runner opened under that number itself: the log is said
// not to open and the game is played as without it. ZB_RUNNER names another runner to play (an
// older build, to compare); the table is printed either way.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "E2EGames.h"
#include "support/ChildProcess.h"
#include "support/ScratchFolder.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLines = 3600;
constexpr double kRunLimit = 20.0 * e2e::kSanitizerSlower; // a run that stalls is ended here

enum class Kind { PtyMaster, Pipe, TruncatedFile };

struct Case {
    const char* option; // "-output" or "-debugoutput"
    const char* path;   // what it names
    int at;             // the runner's descriptor that holds the output
    Kind kind;
    const char* label;
    bool noProc = false; // started with an empty /proc (needs root; skipped elsewhere)
};

// A descriptor at or above kCrowd is given after kCrowdCount others from kCrowd on.
constexpr int kCrowd = 4100, kCrowdCount = 64;

const Case kCases[] = {
    {"-output", "/dev/stderr", 2, Kind::PtyMaster, "stderr a pty's master side"},
    {"-debugoutput", "/dev/stderr", 2, Kind::PtyMaster, "stderr a pty's master side"},
    {"-output", "/dev/stdout", 1, Kind::Pipe, "stdout a pipe"},
    {"-output", "/dev/stdout", 1, Kind::TruncatedFile, "stdout a file (>)"},
    {"-debugoutput", "/proc/self/fd/5", 5, Kind::Pipe, "an inherited pipe"},
    {"-output", "/dev/fd/4164", kCrowd + kCrowdCount, Kind::Pipe, "a pipe after 64 given above 4095"},
    {"-output", "/dev/fd/4164", kCrowd + kCrowdCount, Kind::Pipe, "a pipe after 64 given above 4095, no /proc", true},
};

struct Outcome {
    int lines = 0;        // the game's lines that reached the reader
    bool inOrder = true;  // each in its place, as often as expected
    bool ended = false;   // the run ended by itself, with 0
    double seconds = 0;   // how long it ran
    std::string err;      // its stderr (where that is not the output)
    std::string skipped;  // why the case could not be played here; empty when it was
};

class OwnStreamLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* other = std::getenv("ZB_RUNNER");
        runner_ = other && *other ? other : ZB_RUNNER_PATH;
        // The release log gets the game's own lines, the debug log a line for every file the
        // game cannot open.
        const std::string create = "for (i = 1; i <= " + std::to_string(kLines) +
                                   "; i += 1) { show_debug_message('line ' + string(i) + ' of the log'); "
                                   "file_bin_open('missing' + string(i), 0); } game_end();";
        const std::string manifest = R"({"name": "OwnStreams", "window": {"width": 32, "height": 32},
          "objects": [{"name": "obj", "events": [{"type": "create", "code": ")" + create + R"("}]}],
          "rooms": [{"name": "rm", "width": 32, "height": 32, "instances": [{"object": "obj"}]}]})";
        Scratch_WriteFile(dir_ / "game.json", manifest);
        std::string said;
        ASSERT_TRUE(e2e::Pack(dir_ / "game.json", dir_ / "game.win", "--bytecode", &said)) << said;
    }

    Outcome Play(const Case& c);

    ScratchFolder dir_;
    bool canHideProc_ = geteuid() == 0 && Test_CanHideProc();
    std::string runner_;
};

// What a line of the case looks like, with its number.
std::string Expected(const Case& c, int i)
{
    return std::strcmp(c.option, "-output") == 0 ? "line " + std::to_string(i) + " of the log"
                                                 : "Error opening binary file missing" + std::to_string(i);
}

Outcome OwnStreamLog::Play(const Case& c)
{
    Outcome o;
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    if (c.at >= kCrowd && limit.rlim_max != RLIM_INFINITY && limit.rlim_max <= rlim_t(c.at)) {
        o.skipped = "descriptors are limited to " + std::to_string(limit.rlim_max);
        return o;
    }
    if (c.noProc && !canHideProc_) {
        o.skipped = "/proc cannot be hidden here";
        return o;
    }
    const std::string file = dir_ / "out.txt", err = dir_ / "err.txt";
    int out = -1, read = -1;
    switch (c.kind) {
    case Kind::PtyMaster: {
        out = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[64];
        if (out < 0 || grantpt(out) != 0 || unlockpt(out) != 0 || ptsname_r(out, name, sizeof name) != 0) break;
        read = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios raw{};
        tcgetattr(read, &raw);
        cfmakeraw(&raw);
        tcsetattr(read, TCSANOW, &raw);
        break;
    }
    case Kind::Pipe: {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) break;
        read = ends[0];
        out = ends[1];
        break;
    }
    case Kind::TruncatedFile:
        Scratch_WriteFile(file, std::string(100000, 'x')); // what ">" empties
        out = open(file.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        break;
    }
    if (out < 0 || (c.kind != Kind::TruncatedFile && read < 0)) {
        ADD_FAILURE() << "no " << c.label << " here";
        return o;
    }
    fcntl(read, F_SETFL, O_NONBLOCK);
    std::vector<std::string> vars{"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy", "ALSOFT_DRIVERS=null",
                                  "XDG_DATA_HOME=" + dir_.Path(), "HOME=" + dir_.Path()};
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "ASAN_OPTIONS=", 13) == 0 || std::strncmp(*e, "UBSAN_OPTIONS=", 14) == 0) vars.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& v : vars) envp.push_back(v.data());
    envp.push_back(nullptr);
    std::string program = runner_, flag = "-game", game = dir_ / "game.win", option = c.option, path = c.path;
    char* argv[] = {program.data(), flag.data(), game.data(), option.data(), path.data(), nullptr};
    const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        if (c.noProc && !Test_HideProc()) _exit(126);
        dup2(null, 1);
        dup2(errFd, 2);
        if (c.at >= kCrowd) {
            rlimit room = limit;
            if (room.rlim_cur != RLIM_INFINITY && room.rlim_cur <= rlim_t(c.at)) room.rlim_cur = rlim_t(c.at) + 1;
            if (setrlimit(RLIMIT_NOFILE, &room) != 0) _exit(124);
            for (int fd = kCrowd; fd < kCrowd + kCrowdCount; ++fd) dup2(null, fd);
        }
        if (out == c.at) fcntl(out, F_SETFD, 0); // kept across exec
        else dup2(out, c.at);                    // the copy is
        execve(program.c_str(), argv, envp.data());
        _exit(127);
    }
    close(out);
    close(errFd);
    close(null);
    std::string got;
    auto seconds = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    auto take = [&](int waitMs) {
        if (read < 0) return false;
        pollfd p{read, POLLIN, 0};
        if (poll(&p, 1, waitMs) <= 0) return false;
        char buffer[65536];
        const ssize_t n = ::read(read, buffer, sizeof buffer);
        if (n > 0) got.append(buffer, size_t(n));
        return n > 0;
    };
    int status = 0;
    for (;;) {
        take(10);
        if (waitpid(pid, &status, WNOHANG) == pid) {
            o.ended = WIFEXITED(status) && WEXITSTATUS(status) == 0;
            // Without /proc the sanitizer build's runtime reads none of its options (it reads
            // them from /proc/self/environ) and its leak check at the end cannot list the
            // threads: it says so and exits with 1, whatever the runner did.
            if (c.noProc && e2e::kSanitizerSlower > 1.0 && WIFEXITED(status) && WEXITSTATUS(status) == 1)
                o.ended = Scratch_ReadFile(err).find("LeakSanitizer has encountered a fatal error") != std::string::npos;
            break;
        }
        if (seconds() > kRunLimit) { // stalled
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            break;
        }
    }
    o.seconds = seconds();
    for (auto quiet = Clock::now(); std::chrono::duration<double>(Clock::now() - quiet).count() < 0.2;)
        if (take(20)) quiet = Clock::now();
    if (read >= 0) close(read);
    if (c.kind == Kind::TruncatedFile) got = Scratch_ReadFile(file);
    got.erase(std::remove(got.begin(), got.end(), '\r'), got.end());
    // But for the sanitizer build's own notes ("==PID==WARNING: ...", as without /proc).
    std::istringstream said(Scratch_ReadFile(err));
    for (std::string l; std::getline(said, l);)
        if (l.rfind("==", 0) != 0) o.err += l + "\n";
    std::istringstream in(got);
    int seen = 0;
    for (std::string l; std::getline(in, l);) {
        if (l.rfind(Expected(c, 1).substr(0, 5), 0) != 0) continue;
        if (l != Expected(c, seen + 1)) o.inOrder = false;
        ++seen;
    }
    o.lines = seen;
    if (seen != kLines) o.inOrder = false;
    return o;
}

} // namespace

TEST_F(OwnStreamLog, EveryLineGoesThroughTheDescriptorNamedAndTheRunEnds)
{
    std::printf("runner: %s\n| option | names | the stream | lines at the reader | run | verdict |\n|---|---|---|---|---|---|\n",
                runner_.c_str());
    for (const Case& c : kCases) {
        const Outcome o = Play(c);
        if (!o.skipped.empty()) {
            std::printf("| %s | %s | %s | skipped: %s | | |\n", c.option, c.path, c.label, o.skipped.c_str());
            continue;
        }
        const int want = kLines;
        const bool said = !o.err.empty() && c.at != 2;
        std::printf("| %s | %s | %s | %d of %d | %s %.1f s | %s |\n", c.option, c.path, c.label, o.lines, want,
                    o.ended ? "ended" : "stalled, killed at", o.seconds,
                    o.ended && o.inOrder && !said ? "ok" : "FAULT");
        const std::string where = std::string(c.option) + " " + c.path + ", " + c.label;
        EXPECT_TRUE(o.ended) << where << ": the run stalled";
        EXPECT_EQ(o.lines, want) << where;
        EXPECT_TRUE(o.inOrder) << where << ": lines lost, repeated or out of order";
        if (c.at != 2) {
            EXPECT_EQ(o.err, "") << where;
        }
    }
}

TEST_F(OwnStreamLog, ADescriptorTheRunWasNotGivenIsNoneOfItsStreams)
{
    // A game of 30 steps at 30 a second, a line each: the frame's pacing holds (nothing of the
    // runner's own is written to), and every line reaches the standard output once.
    const std::string step = "n += 1; show_debug_message('step ' + string(n)); if (n == 1) t = current_time; "
                             "if (n == 30) { show_debug_message('paced ' + string(current_time - t)); game_end(); }";
    const std::string manifest = R"({"name": "NotGiven", "window": {"width": 32, "height": 32},
      "objects": [{"name": "obj", "events": [{"type": "create", "code": "n = 0;"}, {"type": "step", "code": ")" + step + R"("}]}],
      "rooms": [{"name": "rm", "width": 32, "height": 32, "speed": 30, "instances": [{"object": "obj"}]}]})";
    Scratch_WriteFile(dir_ / "paced.json", manifest);
    std::string said;
    ASSERT_TRUE(e2e::Pack(dir_ / "paced.json", dir_ / "paced.win", "--bytecode", &said)) << said;
    const std::string out = dir_ / "paced.txt", err = dir_ / "paced-err.txt";
    // 3>&-: the runner starts without a descriptor 3 (the first one it opens itself takes it).
    // A run that stalls is ended at kRunLimit.
    const int code = e2e::Shell("cd " + e2e::Quote(dir_.Path()) + " && " + e2e::kHeadless + "XDG_DATA_HOME=" +
                                e2e::Quote(dir_.Path()) + " timeout -s KILL " + std::to_string(int(kRunLimit)) + " " +
                                e2e::Quote(runner_) + " -game paced.win -output /dev/fd/3 3>&- >" + e2e::Quote(out) + " 2>" +
                                e2e::Quote(err));
    EXPECT_EQ(code, 0);
    const std::string got = Scratch_ReadFile(out);
    int steps = 0, paced = -1;
    std::istringstream in(got);
    for (std::string l; std::getline(in, l);) {
        if (l == "step " + std::to_string(steps + 1)) ++steps;
        else if (l.rfind("step ", 0) == 0) ADD_FAILURE() << "out of order or repeated: " << l;
        if (l.rfind("paced ", 0) == 0) paced = std::atoi(l.c_str() + 6);
    }
    std::printf("runner: %s\n-output /dev/fd/3 without a descriptor 3: %d of 30 steps on stdout, 29 frames in %d ms; stderr: %s",
                runner_.c_str(), steps, paced, Scratch_ReadFile(err).c_str());
    EXPECT_EQ(steps, 30);
    EXPECT_GE(paced, 29 * 1000 / 30 * 8 / 10) << "the frames were not paced";
    const std::string problems = Scratch_ReadFile(err);
    EXPECT_EQ(problems.rfind("runner: -output /dev/fd/3: ", 0), 0u) << problems;
    EXPECT_NE(problems.find("; the log goes to the standard output only\n"), std::string::npos) << problems;
    EXPECT_EQ(std::count(problems.begin(), problems.end(), '\n'), 1) << problems;
}
