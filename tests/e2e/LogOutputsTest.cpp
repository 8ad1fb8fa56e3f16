// End to end: the runner's log reaches every kind of output that whoever starts it may give it,
// build/runner played as a process in a forked child with its own descriptors, user and /proc:
//   - a terminal that the run's user may not open again (a plain user's run in root's
//     terminal: su, runuser, sudo -u), and a terminal without /proc (a chroot, a container),
//     get every line, and nothing is said;
//   - the master side of a pseudo-terminal as the standard output (a terminal emulator's or an
//     editor's own) gets every line, and the run never waits on a terminal nobody reads;
//   - the matrix: the standard output and the "-output" log as a plain file, a file appended
//     to (>>) by another writer too, /dev/null, /dev/full, a pipe, a pipe that a program the
//     game starts writes too, a named pipe, a socket, the user's own terminal, another user's
//     terminal, a pseudo-terminal's master side, and closed; as root and as a plain user; with
//     /proc and without. Every line arrives once and in order wherever it can be delivered
//     ("-output /dev/fd/5" through that descriptor), a failed write is said once, and SIGTERM
//     ends each run within the log's half second and the margin its start measured
//     (e2e::EndMargin);
//   - the controlling terminal named /dev/tty as "-output" with the standard output on it gets
//     each line once, as by its /dev/pts name.
// ZB_RUNNER names another runner to play (an older build, to compare); the matrix prints its
// table either way.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "E2EGames.h"
#include "support/ChildProcess.h"
#include "support/RunTime.h"
#include "support/ScratchFolder.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kSlower = e2e::kSanitizerSlower;

constexpr int kLines = 2000;      // the game's numbered lines, about 40 bytes each: more than a terminal holds
constexpr int kChildLines = 30;   // what the program the game starts writes
constexpr double kLogGrace = 0.5; // what a log nobody reads is given after the quit
constexpr int kLogFd = 5; // "-output /dev/fd/5" names what the child has there

enum class Target { File, Appended, Null, Full, Pipe, SharedPipe, Fifo, Socket, OwnTerminal, OtherTerminal, PtyMaster, Closed };
constexpr Target kTargets[] = {Target::File,     Target::Appended, Target::Null,        Target::Full,
                               Target::Pipe,     Target::SharedPipe, Target::Fifo,      Target::Socket,
                               Target::OwnTerminal, Target::OtherTerminal, Target::PtyMaster, Target::Closed};

const char* Name(Target t)
{
    static const char* const names[] = {"plain file", "appended (>>), another appender", "/dev/null", "/dev/full",
                                        "pipe", "pipe shared with the game's child", "named pipe", "socket",
                                        "own terminal", "another user's terminal", "pty master side", "closed"};
    return names[int(t)];
}

// One run: the output under test and where the run is told to write it.
struct Cell {
    Target target;
    bool log;    // the "-output" log rather than the standard output
    bool plain;  // as a plain user rather than root
    bool noProc; // with an empty /proc
    std::string Describe() const
    {
        return std::string(log ? "-output " : "stdout ") + Name(target) + (plain ? ", plain user" : ", root") +
               (noProc ? ", no /proc" : "");
    }
};

// Where the game's lines must arrive: everywhere but the outputs that take nothing, and the
// "-output" path of another user's terminal, which the run's user may not open. "-output
// /dev/fd/5" (a pipe, a socket, a pseudo-terminal's master side) is written through that
// descriptor, as the standard output is, with or without /proc. asOther: the run switched
// from root to the plain user (the test's pipes and terminals are root's).
bool Delivered(const Cell& c, bool asOther)
{
    switch (c.target) {
    case Target::Null: case Target::Full: case Target::Closed: return false;
    case Target::OtherTerminal: return !c.log || !asOther;
    default: return true;
    }
}

struct Outcome {
    bool skipped = false;
    std::string skip;  // why
    std::string got;   // what the output took (line breaks as written; a terminal's \r taken out)
    std::string err;   // the run's stderr
    bool reached = false; // the game wrote every line and went on
    int status = -1;      // the wait status after SIGTERM; -1: it did not end
    bool early = false;   // it ended before the signal (status says how)
    double ended = 0;     // seconds from SIGTERM to the end
    double started = 0;   // seconds from the start to the game's last line (or the signal)
    double lost = 0;      // what the machine's load took from the run after the signal (RunTime)
    double Limit() const { return kLogGrace + e2e::EndMargin(started, lost); }
    // The game's numbered lines and the child's that arrived; inOrder: the numbered ones are
    // 1, 2, 3 ... each once.
    int numbered = 0, child = 0;
    bool inOrder = true;
};

// A new pseudo-terminal, both sides not passed on: *master, *slave and the slave's path.
bool OpenTerminal(int* master, int* slave, std::string* path)
{
    *master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[64];
    if (*master < 0 || grantpt(*master) != 0 || unlockpt(*master) != 0 || ptsname_r(*master, name, sizeof name) != 0)
        return false;
    *path = name;
    *slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    return *slave >= 0;
}

// The first line the run said on stderr, but for the sanitizer build's own notes
// ("==PID==WARNING: ...", as without /proc); "" when none.
std::string FirstSaid(const Outcome& o)
{
    std::istringstream in(o.err);
    for (std::string l; std::getline(in, l);) {
        if (l.rfind("==", 0) != 0) return l;
    }
    return "";
}

// Descriptors are made and children forked under this lock, so that no run inherits another
// run's ends (which would keep its pipes open past its end).
std::mutex g_forkLock;

// The runs of a test: one game, packed once, played by the runner of ZB_RUNNER or this build's.
class LogOutputs : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        suite = new ScratchFolder;
        chmod(suite->Path().c_str(), 0755);
        const char* other = std::getenv("ZB_RUNNER");
        runner = other && *other ? other : ZB_RUNNER_PATH;
        // The program the game starts halfway writes to the descriptor ZB_CHILD_FD where it is set.
        const std::string child = *suite / "child.sh";
        Scratch_WriteFile(child, "[ -n \"$ZB_CHILD_FD\" ] || exit 0\ni=1\nwhile [ $i -le " +
                                     std::to_string(kChildLines) +
                                     " ]; do echo \"child $i\" >&$ZB_CHILD_FD; i=$((i+1)); done\n");
        const std::string create = "for (i = 1; i <= " + std::to_string(kLines) +
                                   "; i += 1) { show_debug_message('line ' + string(i) + ' of the log, forty bytes'); "
                                   "if (i == " + std::to_string(kLines / 2) + ") execute_program('/bin/sh', '" + child +
                                   "', true); } file_text_close(file_text_open_write('reached'));";
        const std::string manifest = R"({"name": "Outputs", "window": {"width": 64, "height": 48},
          "objects": [{"name": "obj", "events": [{"type": "create", "code": ")" + create + R"("},
            {"type": "other", "number": 3, "code": "show_debug_message('game end');"}]}],
          "rooms": [{"name": "rm", "width": 64, "height": 48, "speed": 60, "instances": [{"object": "obj"}]}]})";
        Scratch_WriteFile(*suite / "Outputs.json", manifest);
        game = *suite / "Outputs.win";
        std::string said;
        packed = e2e::Pack(*suite / "Outputs.json", game, "--bytecode", &said);
        if (!packed) std::fprintf(stderr, "%s\n", said.c_str());
        chmod(game.c_str(), 0644);
        plain = Test_PlainUser();
        root = geteuid() == 0;
        canHideProc = root && Test_CanHideProc();
    }
    static void TearDownTestSuite()
    {
        delete suite;
        suite = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(packed); }

    // Plays the game once into the cell's output (in folder), sends SIGTERM once the game wrote
    // its lines, and collects what arrived.
    static Outcome Play(const Cell& c, const std::string& folder);
    // Plays the cells, up to a few at a time; the outcomes in the same order.
    static std::vector<Outcome> PlayAll(const std::vector<Cell>& cells)
    {
        std::vector<Outcome> outcomes(cells.size());
        std::atomic<size_t> next{0};
        const unsigned cores = std::max(2u, std::min(4u, std::thread::hardware_concurrency()));
        std::vector<std::thread> workers;
        for (unsigned w = 0; w < cores; ++w) {
            workers.emplace_back([&] {
                for (size_t i; (i = next++) < cells.size();) {
                    const std::string folder = *suite / ("run" + std::to_string(i) + "_" + std::to_string(counter++));
                    outcomes[i] = Play(cells[i], folder);
                }
            });
        }
        for (std::thread& t : workers) t.join();
        return outcomes;
    }
    // The checks every run must pass: its numbered lines once and in order where they arrived,
    // all of them where the runner has always delivered them, a failure said once, and its end
    // by SIGTERM in time. Empty when all hold.
    static std::string Faults(const Cell& c, const Outcome& o)
    {
        std::string f;
        if (o.skipped) return f;
        if (!o.inOrder) f += " lines repeated or out of order;";
        if (Delivered(c, root && c.plain)) {
            if (!o.reached) f += " the game never got past its lines;";
            if (o.numbered != kLines) f += " " + std::to_string(o.numbered) + " of " + std::to_string(kLines) + " lines;";
            if (c.target == Target::SharedPipe && o.child != kChildLines) f += " the child's lines lost;";
            if (const std::string said = FirstSaid(o); !said.empty()) f += " said: " + said + ";";
        }
        if (o.early) {
            f += " ended before the signal (status " + std::to_string(o.status) + ");";
        } else if (o.status == -1) {
            f += " SIGTERM did not end the run;";
        } else {
            if (o.ended > o.Limit()) f += " ended in " + std::to_string(o.ended) + " s;";
            if (!WIFSIGNALED(o.status) || WTERMSIG(o.status) != SIGTERM) f += " not ended by SIGTERM;";
        }
        std::istringstream in(o.err);
        std::map<std::string, int> said;
        for (std::string l; std::getline(in, l);) {
            if (l.rfind("==", 0) != 0 && ++said[l] == 2) f += " said twice: " + l + ";";
        }
        return f;
    }
    static ScratchFolder* suite;
    static std::string runner, game;
    static bool packed, root, canHideProc;
    static TestUser plain;
    static std::atomic<int> counter;
};

ScratchFolder* LogOutputs::suite = nullptr;
std::string LogOutputs::runner, LogOutputs::game;
bool LogOutputs::packed = false, LogOutputs::root = false, LogOutputs::canHideProc = false;
TestUser LogOutputs::plain{65534, 65534};
std::atomic<int> LogOutputs::counter{0};

// Moves fd to the number at in the child (kept across exec); -1 closes at.
void Place(int fd, int at)
{
    if (fd < 0) {
        close(at);
    } else if (fd == at) {
        fcntl(at, F_SETFD, 0);
    } else {
        dup2(fd, at);
    }
}

Outcome LogOutputs::Play(const Cell& c, const std::string& folder)
{
    Outcome o;
    if (!root && !c.plain) {
        o.skipped = true;
        o.skip = "not root";
        return o;
    }
    if (c.target == Target::OtherTerminal && !root) {
        o.skipped = true;
        o.skip = "another user's terminal needs root";
        return o;
    }
    if (c.noProc && !canHideProc) {
        o.skipped = true;
        o.skip = "/proc cannot be hidden here";
        return o;
    }
    const bool asOther = root && c.plain; // switch to the plain user in the child
    mkdir(folder.c_str(), 0777);
    chmod(folder.c_str(), 0777);
    const std::string data = folder + "/data", reached = data + "/Outputs/reached";
    mkdir(data.c_str(), 0777);
    chmod(data.c_str(), 0777);
    const std::string file = folder + "/out.txt", fifo = folder + "/out.fifo";

    std::vector<std::string> vars{"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy", "ALSOFT_DRIVERS=null",
                                  "XDG_DATA_HOME=" + data, "HOME=" + folder};
    if (c.target == Target::SharedPipe) vars.push_back("ZB_CHILD_FD=" + std::to_string(c.log ? kLogFd : 1));
    for (char** e = environ; *e; ++e) { // the rest of the test's own (the first of a name counts)
        const std::string v = *e;
        if (v.rfind("ZB_CHILD_FD=", 0) != 0 && std::none_of(vars.begin(), vars.end(), [&](const std::string& mine) {
                return v.compare(0, mine.find('=') + 1, mine, 0, mine.find('=') + 1) == 0;
            }))
            vars.push_back(v);
    }
    std::vector<char*> envp;
    for (std::string& v : vars) envp.push_back(v.data());
    envp.push_back(nullptr);

    // out: the descriptor of the output (the child's 1, or its kLogFd for "-output /dev/fd/5");
    // path: what "-output" names; read: the test's end of it; close: the test's copies that go.
    // keep: the test's copies that stay until the run ended (a terminal or named pipe that
    // "-output" opens by its name would end for the reader before the run opened it).
    int out = -1, read = -1, appender = -1, err = -1, null = -1;
    std::string path;
    std::vector<int> drop, keep;
    pid_t pid = -1;
    {
        std::lock_guard<std::mutex> hold(g_forkLock);
        int ends[2] = {-1, -1};
        int master = -1, slave = -1;
        std::string slavePath;
        switch (c.target) {
        case Target::File:
            out = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
            path = file;
            break;
        case Target::Appended:
            Scratch_WriteFile(file, "earlier\n");
            out = open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
            appender = open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
            path = file;
            break;
        case Target::Null: out = open("/dev/null", O_WRONLY | O_CLOEXEC); path = "/dev/null"; break;
        case Target::Full: out = open("/dev/full", O_WRONLY | O_CLOEXEC); path = "/dev/full"; break;
        case Target::Pipe:
        case Target::SharedPipe:
            pipe2(ends, O_CLOEXEC | O_NONBLOCK);
            fcntl(ends[1], F_SETFL, 0); // the writer's end blocks, as a shell's pipe does
            read = ends[0];
            out = ends[1];
            break;
        case Target::Fifo:
            mkfifo(fifo.c_str(), 0666);
            chmod(fifo.c_str(), 0666);
            read = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            out = open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
            path = fifo;
            break;
        case Target::Socket:
            socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends);
            read = ends[0];
            fcntl(read, F_SETFL, O_NONBLOCK);
            out = ends[1];
            break;
        case Target::OwnTerminal:
        case Target::OtherTerminal:
        case Target::PtyMaster: {
            if (!OpenTerminal(&master, &slave, &slavePath)) break;
            termios raw{};
            tcgetattr(slave, &raw);
            cfmakeraw(&raw);
            tcsetattr(slave, TCSANOW, &raw);
            // The run's own terminal is its user's; another user's is root's for a plain user,
            // and the plain user's for root.
            if ((c.target == Target::OwnTerminal) == c.plain && root) {
                (void)!fchown(slave, plain.uid, plain.gid);
            }
            fchmod(slave, 0600);
            if (c.target == Target::PtyMaster) {
                out = master;
                read = slave;
            } else {
                out = slave;
                read = master;
                path = slavePath;
            }
            fcntl(read, F_SETFL, O_NONBLOCK);
            break;
        }
        case Target::Closed: break;
        }
        if (asOther && (c.target == Target::File || c.target == Target::Appended)) (void)!chown(file.c_str(), plain.uid, plain.gid);
        if (c.log && !path.empty()) {
            if (out >= 0) (read >= 0 ? keep : drop).push_back(out);
            out = -1;
        } else if (c.log) {
            path = "/dev/fd/" + std::to_string(kLogFd);
        }
        if (out >= 0) drop.push_back(out);
        err = open((folder + "/err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        std::string flag = "-game", output = "-output", log = c.log ? path : folder + "/log.txt";
        std::string program = runner, played = game;
        char* argv[] = {program.data(), flag.data(), played.data(), output.data(), log.data(), nullptr};
        pid = fork();
        if (pid == 0) {
            // The child: only calls that are safe after fork, then the runner.
            if (c.noProc && !Test_HideProc()) _exit(126);
            Place(err, 2);
            if (c.log) {
                Place(null, 1);
                Place(out, kLogFd);
            } else {
                Place(out, 1);
            }
            if (asOther && !Test_BecomeUser(plain)) _exit(125);
            execve(program.c_str(), argv, envp.data());
            _exit(127);
        }
        for (int fd : drop) close(fd);
        close(err);
        close(null);
    }

    // Reads what the output took, waiting up to waitMs for it; false when nothing came.
    char buffer[65536];
    bool reading = read >= 0;
    auto take = [&](int waitMs) {
        if (!reading) {
            if (waitMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
            return false;
        }
        pollfd p{read, POLLIN, 0};
        if (poll(&p, 1, waitMs) <= 0) return false;
        const ssize_t n = ::read(read, buffer, sizeof buffer);
        if (n > 0) {
            o.got.append(buffer, size_t(n));
            return true;
        }
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) reading = false; // the end (a terminal's: EIO)
        return false;
    };
    auto seconds = [](Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); };
    // The game writes its lines and goes on; the other appender adds lines meanwhile. Where the
    // lines never arrived (a new terminal nobody reads may stop the game), the signal comes sooner.
    const auto start = Clock::now();
    const double patience = (Delivered(c, asOther) ? 6.0 : 2.0) * kSlower;
    int status = 0;
    while (pid > 0 && !(o.reached = Scratch_Exists(reached)) && seconds(start) < patience) {
        if (appender >= 0) (void)!write(appender, "another\n", 8);
        take(10);
        if (waitpid(pid, &status, WNOHANG) == pid) {
            o.early = true;
            o.status = status;
            break;
        }
    }
    // What is on its way is read (a terminal or a pipe holds it until then).
    const std::string last = "line " + std::to_string(kLines) + " ";
    const auto got = Clock::now();
    while (o.reached && reading && o.got.find(last) == std::string::npos && seconds(got) < 1.0 * kSlower) take(10);
    if (pid > 0 && !o.early) {
        o.started = seconds(start);
        RunTime times(pid);
        times.Mark();
        const auto sent = Clock::now();
        kill(pid, SIGTERM);
        for (;;) {
            take(5);
            if (waitpid(pid, &status, WNOHANG) == pid) {
                o.status = status;
                break;
            }
            times.Sample();
            o.lost = times.Lost();
            if (seconds(sent) > o.Limit() + 3.0) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
                break;
            }
        }
        o.ended = seconds(sent);
        o.lost = times.Lost();
    }
    // The rest, until its end or a quiet fifth of a second.
    for (int fd : keep) close(fd);
    for (auto quiet = Clock::now(); reading && seconds(quiet) < 0.2;) {
        if (take(20)) quiet = Clock::now();
    }
    if (read >= 0) close(read);
    if (appender >= 0) close(appender);
    if (c.target == Target::File || c.target == Target::Appended) o.got = Scratch_ReadFile(file);
    o.got.erase(std::remove(o.got.begin(), o.got.end(), '\r'), o.got.end());
    o.err = Scratch_ReadFile(folder + "/err.txt");

    std::istringstream in(o.got);
    int expect = 1;
    for (std::string l; std::getline(in, l);) {
        if (l.rfind("child ", 0) == 0) ++o.child;
        if (l.rfind("line ", 0) != 0) continue;
        ++o.numbered;
        if (l != "line " + std::to_string(expect) + " of the log, forty bytes") o.inOrder = false;
        ++expect;
    }
    return o;
}

// A row of the matrix's table.
std::string Row(const Cell& c, const Outcome& o, bool delivered, const std::string& faults)
{
    char row[512];
    if (o.skipped) {
        std::snprintf(row, sizeof row, "| %-8s | %-34s | %-5s | %-3s | skipped: %s | | | |", c.log ? "-output" : "stdout",
                      Name(c.target), c.plain ? "plain" : "root", c.noProc ? "no" : "yes", o.skip.c_str());
        return row;
    }
    const std::string said = FirstSaid(o);
    std::string lines = std::to_string(o.numbered) + "/" + std::to_string(kLines);
    if (c.target == Target::SharedPipe) lines += " +" + std::to_string(o.child);
    char end[32];
    if (o.status == -1) {
        std::snprintf(end, sizeof end, "no end");
    } else {
        std::snprintf(end, sizeof end, "%.2f s", o.ended);
    }
    std::snprintf(row, sizeof row, "| %-8s | %-34s | %-5s | %-3s | %-11s | %-8s | %s | %s |", c.log ? "-output" : "stdout",
                  Name(c.target), c.plain ? "plain" : "root", c.noProc ? "no" : "yes", lines.c_str(), end,
                  faults.empty() ? (delivered ? "ok" : "ok (never delivered)") : ("FAULT:" + faults).c_str(),
                  said.c_str());
    return row;
}

} // namespace

// Among the cells, what the change of how outputs are learnt broke: a terminal the run cannot
// open again (a plain user's run in root's terminal; any terminal without /proc), which got
// none of the log, and a pseudo-terminal's master side, whose reopening made a new terminal
// nobody read, so that the game stalled on its log.
TEST_F(LogOutputs, EveryOutputGetsEveryLineItAlwaysGotAndSigtermEndsEachRun)
{
    std::vector<Cell> cells;
    for (const bool log : {false, true})
        for (const bool plainUser : {false, true})
            for (const bool noProc : {false, true})
                for (const Target t : kTargets) cells.push_back({t, log, plainUser, noProc});
    const auto start = Clock::now();
    const std::vector<Outcome> outcomes = PlayAll(cells);
    std::printf("runner: %s (%.1f s)\n", runner.c_str(), std::chrono::duration<double>(Clock::now() - start).count());
    std::printf("| to       | output                             | user  | /proc | lines | SIGTERM | verdict | said on stderr |\n"
                "|---|---|---|---|---|---|---|---|\n");
    int faults = 0;
    for (size_t i = 0; i < cells.size(); ++i) {
        const std::string f = Faults(cells[i], outcomes[i]);
        std::printf("%s\n", Row(cells[i], outcomes[i], Delivered(cells[i], root && cells[i].plain), f).c_str());
        if (!f.empty()) {
            ++faults;
            ADD_FAILURE() << cells[i].Describe() << ":" << f << "\nstderr: " << outcomes[i].err;
        }
    }
    std::printf("%d of %zu runs at fault\n", faults, cells.size());
}

// The run's controlling terminal has a second name, /dev/tty, a node apart from the terminal's
// own (/dev/pts/N): "-output /dev/tty" with the standard output on that terminal is the
// standard output itself, and each line reaches the terminal once, as with its /dev/pts name.
// With the standard output on another terminal, each terminal gets every line once. The
// runner is started as a shell starts it: a session of its own, whose controlling terminal
// is its standard input.
TEST_F(LogOutputs, TheControllingTerminalByEitherNameGetsEachLineOnce)
{
    constexpr int kTtyLines = 300;
    const std::string manifest = R"({"name": "TtyLines", "window": {"width": 32, "height": 32},
      "objects": [{"name": "obj", "events": [{"type": "create", "code": "for (i = 1; i <= )" +
                                 std::to_string(kTtyLines) + R"(; i += 1) show_debug_message('tty line ' + string(i)); game_end();"}]}],
      "rooms": [{"name": "rm", "width": 32, "height": 32, "instances": [{"object": "obj"}]}]})";
    Scratch_WriteFile(*suite / "TtyLines.json", manifest);
    const std::string ttyGame = *suite / "TtyLines.win";
    std::string packSaid;
    ASSERT_TRUE(e2e::Pack(*suite / "TtyLines.json", ttyGame, "--bytecode", &packSaid)) << packSaid;

    struct Case {
        const char* label;
        bool stdoutElsewhere; // the standard output on a second terminal, not the controlling one
        bool byItsName;       // "-output /dev/pts/N" rather than "-output /dev/tty"
    };
    const Case cases[] = {
        {"stdout the terminal, -output /dev/tty", false, false},
        {"stdout the terminal, -output its /dev/pts name", false, true},
        {"stdout another terminal, -output /dev/tty", true, false},
    };
    // How often each numbered line arrived, and whether in order.
    auto count = [](std::string text, int* inOrderTimes) {
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        std::istringstream in(text);
        std::vector<int> seen(kTtyLines + 1, 0);
        int expect = 1, rounds = 0;
        for (std::string l; std::getline(in, l);) {
            if (l.rfind("tty line ", 0) != 0) continue;
            const int n = std::atoi(l.c_str() + 9);
            if (n < 1 || n > kTtyLines) continue;
            ++seen[size_t(n)];
            if (n == expect) expect = expect == kTtyLines ? (++rounds, 1) : expect + 1;
        }
        *inOrderTimes = rounds;
        const int least = *std::min_element(seen.begin() + 1, seen.end());
        const int most = *std::max_element(seen.begin() + 1, seen.end());
        return least == most ? least : -1; // -1: some lines more often than others
    };
    std::printf("runner: %s\n| case | at the controlling terminal | at the other terminal | exit |\n|---|---|---|---|\n",
                runner.c_str());
    for (const Case& c : cases) {
        int master[2] = {-1, -1}, slave[2] = {-1, -1};
        std::string path[2];
        pid_t pid = -1;
        const std::string err = *suite / "tty-err.txt";
        {
            std::lock_guard<std::mutex> hold(g_forkLock);
            for (int t = 0; t < (c.stdoutElsewhere ? 2 : 1); ++t) {
                ASSERT_TRUE(OpenTerminal(&master[t], &slave[t], &path[t])) << "no pseudo-terminal here";
                termios raw{};
                tcgetattr(slave[t], &raw);
                cfmakeraw(&raw);
                tcsetattr(slave[t], TCSANOW, &raw);
                fcntl(master[t], F_SETFL, O_NONBLOCK);
            }
            std::vector<std::string> vars{"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy", "ALSOFT_DRIVERS=null",
                                          "XDG_DATA_HOME=" + (*suite / "tty-data"), "HOME=" + suite->Path()};
            for (char** e = environ; *e; ++e)
                if (std::strncmp(*e, "ASAN_OPTIONS=", 13) == 0 || std::strncmp(*e, "UBSAN_OPTIONS=", 14) == 0) vars.emplace_back(*e);
            std::vector<char*> envp;
            for (std::string& v : vars) envp.push_back(v.data());
            envp.push_back(nullptr);
            std::string program = runner, flag = "-game", played = ttyGame, output = "-output",
                        log = c.byItsName ? path[0] : "/dev/tty";
            char* argv[] = {program.data(), flag.data(), played.data(), output.data(), log.data(), nullptr};
            const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
            pid = fork();
            if (pid == 0) {
                if (setsid() < 0 || ioctl(slave[0], TIOCSCTTY, 0) != 0) _exit(126);
                dup2(slave[0], 0);
                dup2(slave[c.stdoutElsewhere ? 1 : 0], 1);
                dup2(errFd, 2);
                execve(program.c_str(), argv, envp.data());
                _exit(127);
            }
            close(errFd);
            for (int& s : slave) {
                if (s >= 0) close(s);
                s = -1;
            }
        }
        ASSERT_GT(pid, 0);
        std::string got[2];
        auto take = [&](int waitMs) {
            pollfd p[2] = {{master[0], POLLIN, 0}, {master[1], POLLIN, 0}};
            if (poll(p, master[1] >= 0 ? 2 : 1, waitMs) <= 0) return false;
            bool any = false;
            char buffer[65536];
            for (int t = 0; t < 2; ++t) {
                if (master[t] < 0 || !(p[t].revents & POLLIN)) continue;
                const ssize_t n = ::read(master[t], buffer, sizeof buffer);
                if (n > 0) got[t].append(buffer, size_t(n)), any = true;
            }
            return any;
        };
        const auto start = Clock::now();
        int status = -1;
        for (;;) {
            take(10);
            int s = 0;
            if (waitpid(pid, &s, WNOHANG) == pid) {
                status = s;
                break;
            }
            if (std::chrono::duration<double>(Clock::now() - start).count() > 20.0 * kSlower) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
                break;
            }
        }
        for (auto quiet = Clock::now(); std::chrono::duration<double>(Clock::now() - quiet).count() < 0.2;)
            if (take(20)) quiet = Clock::now();
        for (int m : master)
            if (m >= 0) close(m);
        int inOrder[2] = {0, 0};
        const int atTerminal = count(got[0], &inOrder[0]), atOther = c.stdoutElsewhere ? count(got[1], &inOrder[1]) : 0;
        const int code = status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::printf("| %s | %d | %s | %d |\n", c.label, atTerminal, c.stdoutElsewhere ? std::to_string(atOther).c_str() : "-",
                    code);
        EXPECT_EQ(code, 0) << c.label << ": " << Scratch_ReadFile(err);
        EXPECT_EQ(atTerminal, 1) << c.label << ": each line at the controlling terminal (-1: not all alike)";
        EXPECT_EQ(inOrder[0], 1) << c.label << ": in order";
        if (c.stdoutElsewhere) {
            EXPECT_EQ(atOther, 1) << c.label << ": each line at the standard output's terminal";
            EXPECT_EQ(inOrder[1], 1) << c.label;
        }
        EXPECT_EQ(Scratch_ReadFile(err), "") << c.label;
    }
}
