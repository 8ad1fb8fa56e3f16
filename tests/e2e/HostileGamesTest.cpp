// End to end against hostile surroundings, build/runner played as a process:
//   - a save area holding links (to a file and to a folder outside it) and named pipes before
//     the game runs: in a run as root, INI files, buffer_save and buffer_load, screen_save,
//     surface_save, d3d_model_save and d3d_model_load, sprite_add and background_add neither
//     follow them nor wait on them, and the game plays on to its end; in a plain user's run the
//     user's own links lead where they point and another's are refused;
//   - SIGTERM and SIGINT: a game in an endless loop ends within a second of the running
//     code's grace in order (its INI written) and then ends by the signal, also when each
//     round calls built-ins that take milliseconds (few branches back a second); so does a
//     game inside one long built-in (sorts, string_replace_all, json_decode, execute_string,
//     text measured or drawn), or whose room or game end loops after the signal (within the
//     end's grace more); so does a loop in the first room's code;
//   - a fatal error in the first room's code ends the run without a frame limit, and a fatal
//     error and a name that cannot be bound leave no leak report (in the sanitizer build); a
//     fatal report of the world (a missing room, events nested too deep) ends the game as
//     Abort does, with 0 after its game end event, the machine's own errors with 255;
//   - a file-size limit: every write past it fails (the runner is not killed), the game goes
//     on, the INI file, game save, buffer and high-score table written before stay whole, and
//     each file is named once on stderr; a log nobody reads (a named pipe as "-output", or the
//     standard output a pipe) holds no SIGTERM off, nor does a pipe that another writer fills
//     whenever its reader takes a little;
//   - the ends of a run as whoever started it meets them: a reader that leaves (| head), the
//     terminal closed (SIGHUP), the standard output closed, a log whose disk filled part way
//     through a line and was freed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "E2EGames.h"
#include "Files/Base/QuitRequest.h"
#include "support/ChildProcess.h"
#include "support/RunTime.h"
#include "support/ScratchFolder.h"

extern char** environ;

namespace {

using e2e::Quote;
using Clock = std::chrono::steady_clock;

// The grace of the code running when the signal came, and of the end events after it; the time
// a log nobody reads is given after the quit. How soon a signalled game must be gone is the
// rule's time (these) plus the margin the run's own start measured (e2e::EndMargin).
constexpr double kGrace = double(kQuitEventGrace) / 1e6, kEndGrace = double(kQuitEndGrace) / 1e6, kLogGrace = 0.5;

// A packed game in a scratch folder, its save area under <scratch>/data.
class HostileGames : public ::testing::Test {
protected:
    // Packs a one-object game (events as JSON) named name; mode as e2e::Pack takes it.
    void PackGame(const std::string& name, const std::string& events, const std::string& mode = "--bytecode")
    {
        game = dir / (name + ".win");
        area = dir / ("data/" + name);
        const std::string manifest = R"({"name": ")" + name + R"(", "window": {"width": 64, "height": 48},
          "objects": [{"name": "obj", "events": [)" + events + R"(]}],
          "rooms": [{"name": "rm", "width": 64, "height": 48, "speed": 60, "instances": [{"object": "obj"}]}]})";
        Scratch_WriteFile(dir / (name + ".json"), manifest);
        std::string said;
        ASSERT_TRUE(e2e::Pack(dir / (name + ".json"), game, mode, &said)) << said;
        mkdir((dir / "data").c_str(), 0777);
        mkdir(area.c_str(), 0777);
    }
    // How a run is started: env adds a variable, option (when given) one command-line option;
    // the log goes to log (default <scratch>/log.txt), the standard output to the descriptor out
    // (default <scratch>/out.txt), stderr to <scratch>/err.txt; fileLimit (bytes, 0: none) is
    // the child's file-size limit (ulimit -f).
    // closeOut starts it with its standard output closed; hideProc with an empty /proc (in a
    // mount namespace of its own: the child exits with 126 where none can be made).
    // plainUser: as the plain user (Test_PlainUser) when the test runs as root, with its home
    // in the scratch folder.
    struct Launch {
        std::string env, option, log;
        int out = -1;
        rlim_t fileLimit = 0;
        bool closeOut = false, hideProc = false, plainUser = false;
    };
    pid_t Start(const std::string& env = "", std::string option = "")
    {
        Launch how;
        how.env = env;
        how.option = std::move(option);
        return Start(how);
    }
    pid_t Start(Launch how)
    {
        std::vector<std::string> vars;
        for (char** e = environ; *e; ++e)
            if (!how.plainUser || std::strncmp(*e, "HOME=", 5) != 0) vars.emplace_back(*e);
        for (const char* v : {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy", "ALSOFT_DRIVERS=null"}) vars.emplace_back(v);
        vars.push_back("XDG_DATA_HOME=" + (dir / "data"));
        if (how.plainUser) vars.push_back("HOME=" + dir.Path());
        if (!how.env.empty()) vars.push_back(how.env);
        std::vector<char*> envp;
        for (std::string& v : vars) envp.push_back(v.data());
        envp.push_back(nullptr);
        const char* other = std::getenv("ZB_RUNNER"); // another build, to compare
        std::string runner = other && *other ? other : ZB_RUNNER_PATH, flag = "-game", output = "-output";
        if (how.log.empty()) how.log = dir / "log.txt";
        char* argv[] = {runner.data(), flag.data(), game.data(), output.data(), how.log.data(), nullptr, nullptr};
        if (!how.option.empty()) argv[5] = how.option.data();
        const std::string out = dir / "out.txt", err = dir / "err.txt";
        startedAt = Clock::now();
        started = 0;
        const pid_t pid = fork();
        if (pid != 0) return pid;
        // The child: only calls that are safe after fork, then the runner.
        const int o = how.out >= 0 ? how.out : open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (o < 0 || e < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0) _exit(127);
        if (how.closeOut) close(1);
        if (how.hideProc && !Test_HideProc()) _exit(126);
        if (how.plainUser && geteuid() == 0 && !Test_BecomeUser(Test_PlainUser())) _exit(125);
        if (how.fileLimit) {
            // The hard limit stays, so that the test may raise the limit again (prlimit).
            rlimit limit{};
            getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = how.fileLimit;
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(127);
        }
        execve(runner.c_str(), argv, envp.data());
        _exit(127);
    }
    // Starts a run whose standard output is a new pipe: *reader gets its read end, *writer its
    // write end (to close once nothing more of the test's own writes there).
    pid_t StartIntoPipe(int* reader, int* writer, bool hideProc = false)
    {
        int ends[2] = {-1, -1};
        if (pipe2(ends, O_CLOEXEC) != 0) return -1;
        *reader = ends[0];
        *writer = ends[1];
        Launch how;
        how.out = ends[1];
        how.hideProc = hideProc;
        return Start(how);
    }
    // Waits up to seconds for the child; its wait status, or -1 (then it is killed).
    static int Wait(pid_t pid, double seconds)
    {
        const auto end = Clock::now() + std::chrono::duration<double>(seconds);
        for (;;) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) return status;
            if (Clock::now() > end) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    // Waits until the log (or another file of the scratch folder) holds text (the game reached
    // its loop); false after 60 seconds. The run's start is then measured (Started).
    bool WaitForLog(const std::string& text, const char* file = "log.txt")
    {
        const auto end = Clock::now() + std::chrono::seconds(60);
        while (Clock::now() < end) {
            const auto look = Clock::now();
            if (Scratch_ReadFile(dir / file).find(text) != std::string::npos) {
                Started();
                return true;
            }
            lastLook = look;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    // The run reached what the test waited for: how long its start took (the margin of the
    // bound on its end).
    void Started() { started = std::chrono::duration<double>(Clock::now() - startedAt).count(); }
    double Margin() const { return e2e::EndMargin(started, lost); }
    std::string Log() const
    {
        return Scratch_ReadFile(dir / "log.txt") + Scratch_ReadFile(dir / "out.txt") + Scratch_ReadFile(dir / "err.txt");
    }
    // Sends signal and times the end: the wait status and the seconds it took. What the
    // machine's load took from the run from markAfter seconds on (the rule's time) is kept
    // (lost), for the bound's margin.
    std::pair<int, double> SignalAndWait(pid_t pid, int signal, double limit, double markAfter = 0)
    {
        RunTime times(pid);
        times.Mark();
        const auto sent = Clock::now();
        kill(pid, signal);
        int status = 0;
        for (bool marked = markAfter <= 0;;) {
            if (waitpid(pid, &status, WNOHANG) == pid) break;
            const double passed = std::chrono::duration<double>(Clock::now() - sent).count();
            if (passed > limit) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                status = -1;
                break;
            }
            if (!marked && passed >= markAfter) times.Mark(), marked = true;
            times.Sample();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        lost = times.Lost();
        return {status, std::chrono::duration<double>(Clock::now() - sent).count()};
    }

    // Sends SIGTERM: the game must end by it, in order, within the graces given and the margin
    // its start and the load measured.
    void EndsPromptlyBySigterm(pid_t pid, double limit, double graces)
    {
        const auto [status, seconds] = SignalAndWait(pid, SIGTERM, limit, graces);
        ASSERT_NE(status, -1) << "SIGTERM did not end the game\n" << Log();
        EXPECT_LT(seconds, graces + Margin());
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    }

    void PlaysOnPastFailedWrites(Launch how, const std::string& reason, bool logFails);
    // True when the main thread of the run has been inside one write for 50 ms (the system
    // call its /proc entry shows; false where that cannot be read).
    static bool WaitsInAWrite(pid_t pid)
    {
        const std::string path = "/proc/" + std::to_string(pid) + "/syscall";
        auto inWrite = [&] { return Scratch_ReadFile(path).rfind(std::to_string(SYS_write) + " ", 0) == 0; };
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (!inWrite()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return inWrite();
    }
    // The lines the run wrote to stderr, sorted, but for the sanitizer build's own notes
    // ("==PID==WARNING: ...", as without /proc).
    std::vector<std::string> StderrLines() const
    {
        std::vector<std::string> lines;
        std::istringstream in(Scratch_ReadFile(dir / "err.txt"));
        for (std::string l; std::getline(in, l);) {
            if (l.rfind("==", 0) != 0) lines.push_back(l);
        }
        std::sort(lines.begin(), lines.end());
        return lines;
    }

    ScratchFolder dir;
    std::string game, area;
    Clock::time_point startedAt{}, lastLook{}; // the last run's start; WaitForLog's last look that missed
    double started = 0;                        // seconds from the start to what WaitForLog found
    double lost = 0;                           // what the load took from the last run signalled (RunTime)
};

// A game that writes its INI, then loops for ever where it is told to, running body each round.
std::string LoopingEvents(const char* where, const std::string& body = "")
{
    const std::string loop = "ini_write_real('s', 'looped', 1); show_debug_message('looping'); while (true) {" + body + "}";
    const std::string create = "ini_open('run.ini'); ini_write_real('s', 'started', 1);";
    std::string events = R"({"type": "create", "code": ")" + create + (std::string(where) == "create" ? loop : "") + "\"}";
    if (std::string(where) != "create") {
        events += R"(, {"type": "step", "code": ")" + loop + "\"}";
    }
    if (std::string(where) == "end") {
        // The game's end (other event 3) loops too, after noting that it ran.
        events += R"(, {"type": "other", "number": 3, "code": "ini_write_real('s', 'ended', 1); show_debug_message('end looping'); while (true) {}"})";
    }
    return events;
}

} // namespace

TEST_F(HostileGames, LinksAndPipesInTheSaveAreaHoldNothing)
{
    // The links are this process's user's: only a run as root refuses them all.
    if (geteuid() != 0) GTEST_SKIP() << "a plain user's run follows its own links (the test after this one)";
    const char* code[] = {
        "ini_open('link.ini'); show_debug_message('ini read ' + ini_read_string('s', 'k', 'none'));",
        "ini_write_real('s', 'k', 1); ini_close();",
        "ini_open('pipe.ini'); ini_write_real('s', 'k', 1); ini_close();",
        "ini_open('dl/new.ini'); ini_write_real('s', 'k', 1); ini_close();",
        "b = buffer_create(16, 1, 1); buffer_write(b, 1, 7);",
        "buffer_save(b, 'link.bin'); buffer_save(b, 'pipe.bin'); buffer_save(b, 'dl/new.bin');",
        "show_debug_message('buffer_load ' + string(buffer_load('link.bin')) + ' ' + string(buffer_load('pipe.bin'))"
        " + ' ' + string(buffer_load('dl/victim.txt')));",
        "screen_save('link.png'); screen_save('pipe.png'); screen_save('dl/new.png');",
        "s = surface_create(8, 8); surface_save(s, 'link.png'); surface_save(s, 'pipe.png'); surface_save(s, 'dl/news.png');",
        "m = d3d_model_create(); d3d_model_block(m, 0, 0, 0, 1, 1, 1, 1, 1);",
        "show_debug_message('model ' + string(d3d_model_save(m, 'link.mdl')) + ' ' + string(d3d_model_save(m, 'pipe.mdl'))"
        " + ' ' + string(d3d_model_save(m, 'dl/new.mdl')) + ' ' + string(d3d_model_load(m, 'pipe.mdl'))"
        " + ' ' + string(d3d_model_load(m, 'link.mdl')));",
        "show_debug_message('images ' + string(sprite_add('pipe.png', 1, false, false, 0, 0))"
        " + ' ' + string(sprite_add('link.png', 1, false, false, 0, 0)) + ' ' + string(background_add('dl/image.png', false, false)));",
        "show_debug_message('done'); game_end();",
    };
    std::string all;
    for (const char* line : code) all += std::string(line) + " ";
    PackGame("Hostile", R"({"type": "create", "code": ")" + all + "\"}");
    const std::string outside = dir / "outside";
    mkdir(outside.c_str(), 0777);
    Scratch_WriteFile(outside + "/victim.txt", "[s]\nk=outside\n");
    // A real image outside, so that following a link would load it.
    Scratch_WriteFile(outside + "/image.png", Scratch_ReadFile(std::string(ZB_SOURCE_DIR) + "/examples/demo/sky.png"));
    for (const char* name : {"link.ini", "link.bin", "link.mdl"})
        ASSERT_EQ(symlink((outside + "/victim.txt").c_str(), (area + "/" + name).c_str()), 0);
    ASSERT_EQ(symlink((outside + "/image.png").c_str(), (area + "/link.png").c_str()), 0);
    ASSERT_EQ(symlink(outside.c_str(), (area + "/dl").c_str()), 0);
    for (const char* name : {"pipe.ini", "pipe.bin", "pipe.png", "pipe.mdl"})
        ASSERT_EQ(mkfifo((area + "/" + name).c_str(), 0666), 0);

    const pid_t pid = Start("ZIMBREL_MAX_FRAMES=30");
    ASSERT_GT(pid, 0);
    const int status = Wait(pid, 120); // a pipe that held an open would hold the game here
    ASSERT_NE(status, -1) << "the game never ended\n" << Log();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << Log();
    const std::string log = Log();
    EXPECT_NE(log.find("ini read none\n"), std::string::npos) << log;
    EXPECT_NE(log.find("buffer_load -1 -1 -1\n"), std::string::npos) << log;
    EXPECT_NE(log.find("model 0 0 0 0 0\n"), std::string::npos) << log;
    EXPECT_NE(log.find("images -1 -1 -1\n"), std::string::npos) << log;
    EXPECT_NE(log.find("done\n"), std::string::npos) << log;
    // Outside: nothing changed, nothing new.
    EXPECT_EQ(Scratch_ReadFile(outside + "/victim.txt"), "[s]\nk=outside\n");
    for (const char* made : {"new.ini", "new.bin", "new.png", "news.png", "new.mdl"})
        EXPECT_FALSE(Scratch_Exists(outside + "/" + made)) << made;
    // The links and pipes are as they were.
    struct stat st;
    for (const char* name : {"link.ini", "link.bin", "link.png", "link.mdl", "dl"}) {
        EXPECT_EQ(lstat((area + "/" + name).c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode)) << name;
    }
    for (const char* name : {"pipe.ini", "pipe.bin", "pipe.png", "pipe.mdl"}) {
        EXPECT_EQ(lstat((area + "/" + name).c_str(), &st), 0);
        EXPECT_TRUE(S_ISFIFO(st.st_mode)) << name;
    }
}

TEST_F(HostileGames, APlainUsersOwnLinksInTheSaveAreaAreFollowedAndNoOneElses)
{
    // The player's own link to a folder elsewhere: written and read back through it. A link of
    // someone else's (root's, where the test is root) to a folder the player may write: refused.
    const std::string code = "ini_open('levels/x.ini'); ini_write_string('s', 'k', 'saved'); ini_close(); "
                             "ini_open('levels/x.ini'); show_debug_message('levels ' + ini_read_string('s', 'k', 'none')); "
                             "ini_close(); show_debug_message('mine ' + string(file_exists('mine.txt'))); "
                             "f = file_text_open_write('theirs/y.txt'); show_debug_message('theirs ' + string(f)); "
                             "if (f >= 0) file_text_close(f); game_end();";
    PackGame("OwnLinks", R"({"type": "create", "code": ")" + code + "\"}");
    const std::string outside = dir / "outside";
    for (const char* folder : {"", "/levels", "/other"}) mkdir((outside + folder).c_str(), 0755);
    Scratch_WriteFile(outside + "/mine.txt", "mine");
    ASSERT_EQ(symlink((outside + "/levels").c_str(), (area + "/levels").c_str()), 0);
    ASSERT_EQ(symlink((outside + "/mine.txt").c_str(), (area + "/mine.txt").c_str()), 0);
    const bool root = geteuid() == 0;
    if (root) {
        // Everything the player's: the scratch folder, the save area, outside and the links;
        // then a link of root's.
        const TestUser user = Test_PlainUser();
        chown(dir.Path().c_str(), user.uid, user.gid);
        chmod(dir.Path().c_str(), 0755);
        for (const std::string& p : {dir / "data", area, outside, outside + "/levels", outside + "/other", outside + "/mine.txt"})
            chown(p.c_str(), user.uid, user.gid);
        for (const char* name : {"/levels", "/mine.txt"}) lchown((area + name).c_str(), user.uid, user.gid);
        ASSERT_EQ(symlink((outside + "/other").c_str(), (area + "/theirs").c_str()), 0);
    }
    Launch how;
    how.env = "ZIMBREL_MAX_FRAMES=30";
    how.plainUser = true;
    const pid_t pid = Start(how);
    ASSERT_GT(pid, 0);
    const int status = Wait(pid, 120);
    ASSERT_NE(status, -1) << "the game never ended\n" << Log();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << Log();
    const std::string log = Log();
    EXPECT_NE(log.find("levels saved\n"), std::string::npos) << log;
    EXPECT_NE(Scratch_ReadFile(outside + "/levels/x.ini").find("saved"), std::string::npos);
    EXPECT_NE(log.find("mine 1\n"), std::string::npos) << log;
    if (root) {
        EXPECT_NE(log.find("theirs -1\n"), std::string::npos) << log;
        EXPECT_FALSE(Scratch_Exists(outside + "/other/y.txt"));
    }
    struct stat st;
    EXPECT_EQ(lstat((area + "/levels").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST_F(HostileGames, ASaveAreaMovedRemovedOrReplacedDuringTheRunIsWrittenWhereItsPathIs)
{
    // Each phase starts when the test puts go<phase>.txt into the program folder: the game
    // says which of the files of the phase before it sees, then writes an INI file and a text
    // file. Between phases the save area is moved aside with a fresh folder made in its place,
    // removed, and replaced by a link of the player's to a folder of the player's.
    const std::string step = "if (file_exists('go' + string(phase) + '.txt')) { "
                             "show_debug_message('phase ' + string(phase) + ' sees ' + string(file_exists('p' + string(phase - 1) + '.ini'))); "
                             "ini_open('p' + string(phase) + '.ini'); ini_write_real('s', 'k', phase); ini_close(); "
                             "f = file_text_open_write('t' + string(phase) + '.txt'); file_text_write_string(f, 'x'); file_text_close(f); "
                             "show_debug_message('wrote ' + string(phase)); phase += 1; if (phase == 4) game_end(); }";
    PackGame("Moved", R"({"type": "create", "code": "phase = 0;"}, {"type": "step", "code": ")" + step + "\"}");
    const bool root = geteuid() == 0;
    const TestUser user = root ? Test_PlainUser() : TestUser{geteuid(), getegid()};
    chown(dir.Path().c_str(), user.uid, user.gid); // the player's, for the plain user's log
    chmod(dir.Path().c_str(), 0755);
    // As the plain user, then (where the test is root) as root over that user's save area.
    for (const bool asRoot : root ? std::vector<bool>{false, true} : std::vector<bool>{false}) {
        SCOPED_TRACE(asRoot ? "a run as root" : "a plain user's run");
        namespace fs = std::filesystem;
        for (const char* old : {"/data", "/moved", "/mine"}) fs::remove_all(dir / old);
        for (int phase = 0; phase < 4; phase++) unlink((dir / ("go" + std::to_string(phase) + ".txt")).c_str());
        for (const std::string& folder : {dir / "data", area, dir / "moved", dir / "mine"}) {
            mkdir(folder.c_str(), 0755);
            chown(folder.c_str(), user.uid, user.gid);
        }
        const std::string log = asRoot ? "root.txt" : "user.txt";
        Launch how;
        how.env = "ZIMBREL_MAX_FRAMES=100000";
        how.plainUser = !asRoot;
        how.log = dir / log;
        const pid_t pid = Start(how);
        ASSERT_GT(pid, 0);
        auto next = [&](int phase) {
            Scratch_WriteFile(dir / ("go" + std::to_string(phase) + ".txt"), "go");
            return WaitForLog("wrote " + std::to_string(phase) + "\n", log.c_str());
        };
        // Each phase's files where the path named the area then, and nowhere else; whoever
        // ran it, the player's.
        auto holds = [&](const std::string& folder, int phase) {
            std::set<std::string> files;
            for (const char* kind : {"p%d.ini", "t%d.txt"}) {
                char name[16];
                std::snprintf(name, sizeof name, kind, phase);
                files.insert(name);
                struct stat st;
                EXPECT_EQ(stat((folder + "/" + name).c_str(), &st), 0) << folder << "/" << name;
                EXPECT_EQ(st.st_uid, user.uid) << folder << "/" << name;
            }
            EXPECT_EQ(Scratch_List(folder), files) << folder;
        };
        ASSERT_TRUE(next(0)) << Log();
        holds(area, 0);
        ASSERT_EQ(rename(area.c_str(), (dir / "moved/area").c_str()), 0);
        mkdir(area.c_str(), 0755);
        chown(area.c_str(), user.uid, user.gid);
        ASSERT_TRUE(next(1)) << Log();
        holds(area, 1);
        fs::remove_all(area);
        ASSERT_TRUE(next(2)) << Log();
        holds(area, 2);
        ASSERT_EQ(rename(area.c_str(), (dir / "moved/again").c_str()), 0);
        ASSERT_EQ(symlink((dir / "mine").c_str(), area.c_str()), 0);
        lchown(area.c_str(), user.uid, user.gid);
        ASSERT_TRUE(next(3)) << Log();
        const int status = Wait(pid, 60);
        ASSERT_NE(status, -1) << "the game never ended\n" << Log();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << Log();
        holds(dir / "mine", 3);
        holds(dir / "moved/area", 0);
        holds(dir / "moved/again", 2);
        // Nothing of a phase is seen in the folder that took the place of the one before.
        const std::string said = Scratch_ReadFile(dir / log);
        for (int phase = 1; phase < 4; phase++)
            EXPECT_NE(said.find("phase " + std::to_string(phase) + " sees 0\n"), std::string::npos) << said;
        unlink(area.c_str());
    }
}

TEST_F(HostileGames, SigtermEndsAnEndlessLoopInOrder)
{
    // Byte code run by the machine, then source run by the tree interpreter ("-oldexec"); an
    // empty loop, then one whose rounds take a millisecond or more each (100 KB filled byte by
    // byte): the 4,096th branch back would come only after several seconds.
    const std::string slow = "b = buffer_create(100000, 0, 1); buffer_fill(b, 0, 1, 7, 100000); buffer_delete(b);";
    for (const auto& [mode, body] : {std::pair<const char*, std::string>{"--bytecode", ""}, {"--source", ""},
                                     {"--bytecode", slow}, {"--source", slow}}) {
        SCOPED_TRACE(std::string(mode) + " " + body);
        const bool tree = std::string(mode) == "--source";
        PackGame(tree ? "EndlessTree" : "Endless", LoopingEvents("step", body), mode);
        const pid_t pid = Start("", tree ? "-oldexec" : "");
        ASSERT_GT(pid, 0);
        ASSERT_TRUE(WaitForLog("looping\n")) << Log();
        std::this_thread::sleep_for(std::chrono::milliseconds(200)); // well inside the loop
        // The shutdown ran (the INI is written), then the process ended by the signal.
        ASSERT_NO_FATAL_FAILURE(EndsPromptlyBySigterm(pid, 30, kGrace));
        const std::string ini = Scratch_ReadFile(area + "/run.ini");
        EXPECT_NE(ini.find("started=1"), std::string::npos) << ini << Log();
        EXPECT_NE(ini.find("looped=1"), std::string::npos) << ini;
        Scratch_WriteFile(dir / "log.txt", "");
    }
}

TEST_F(HostileGames, OneSignalEndsLongBuiltInsAndTheGamesEnd)
{
    // Each call below runs past the grace of running code on its own on most machines (its
    // input made by the set-up, in the same event); one SIGTERM ends the game within the grace
    // (and the margin its start measured) all the same, the statement after the call runs only
    // where the call ended within the grace (the game times the call itself; the rule lets
    // such work finish), and the shutdown writes the INI. In the step the call runs once; in
    // the room's or the game's end it runs after the signal's grace ended a step that loops,
    // and is stopped when the end's grace is up.
    const struct {
        const char* where; // "step", or the other-event number of the end event
        const char* mode;
        std::string setup, call;
    } cases[] = {
        {"step", "--bytecode", "l = ds_list_create(); repeat (100000) ds_list_add(l, random(1));", "ds_list_sort(l, true);"},
        {"step", "--source", "l = ds_list_create(); repeat (100000) ds_list_add(l, random(1));", "ds_list_sort(l, true);"},
        {"step", "--bytecode", "l = ds_list_create(); repeat (5000000) ds_list_add(l, irandom(1000000));",
         "ds_list_sort(l, true);"},
        {"step", "--bytecode", "s = string_repeat('a', 3000000); f = string_repeat('a', 200) + 'b';",
         "s = string_replace_all(s, f, 'x');"},
        {"step", "--bytecode", "s = '{' + string_repeat('\\\"a\\\":1.5,', 6000000) + '\\\"a\\\":1}';", "m = json_decode(s);"},
        {"step", "--bytecode", "s = string_repeat('a = 1; ', 4000000);", "execute_string(s);"},
        // Text measured and drawn: one long line, many lines, a line drawn again and again.
        {"step", "--bytecode", "s = string_repeat('a', 200000000);", "w = string_width(s);"},
        {"step", "--source", "s = string_repeat('#', 250000000);", "h = string_height(s);"},
        {"step", "--bytecode", "s = string_repeat('a', 20000000);", "repeat (5) draw_text(0, 0, s);"},
        {"5", "--bytecode", "", "while (true) {}"},
        {"3", "--bytecode", "l = ds_list_create(); repeat (150000) ds_list_add(l, random(1));", "ds_list_sort(l, true);"},
    };
    const std::string create = R"({"type": "create", "code": "ini_open('run.ini'); ini_write_real('s', 'started', 1);"})";
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.where) + " " + c.mode + " " + c.call);
        const std::string work = c.setup + " show_debug_message('long work'); t = current_time; " + c.call +
                                 " show_debug_message('after ' + string(current_time - t));";
        std::string events = create;
        if (std::string(c.where) == "step") {
            events += R"(, {"type": "step", "code": "if (!variable_local_exists('once')) { once = 1; )" + work + " }\"}";
        } else {
            events += R"(, {"type": "step", "code": "show_debug_message('long work'); while (true) {}"})";
            events += R"(, {"type": "other", "number": )" + std::string(c.where) +
                      R"(, "code": "ini_write_real('s', 'ended', 1); )" + work + "\"}";
        }
        PackGame("LongWork", events, c.mode);
        const pid_t pid = Start("", std::string(c.mode) == "--source" ? "-oldexec" : "");
        ASSERT_GT(pid, 0);
        ASSERT_TRUE(WaitForLog("long work\n")) << Log();
        const auto missed = lastLook; // the call began after this (its line was not there yet)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const double sinceBegun = std::chrono::duration<double>(Clock::now() - missed).count();
        ASSERT_NO_FATAL_FAILURE(EndsPromptlyBySigterm(pid, 60, std::string(c.where) == "step" ? kGrace : kGrace + kEndGrace));
        // Work that ran on past the grace is stopped: the statement after it runs only when the
        // call took no longer than from its start to the signal and the grace (and half a
        // second, and what the load took from the run past the grace, for the clock that raises
        // the request and the call that sees it). In an end event the call began after the
        // signal, when the step's grace ran out.
        const std::string log = Log();
        if (const size_t at = log.find("after "); at != std::string::npos) {
            const double took = std::atof(log.c_str() + at + 6) / 1000;
            EXPECT_LT(took, (std::string(c.where) == "step" ? sinceBegun + kGrace : kEndGrace) + 0.5 + lost) << log;
        }
        const std::string ini = Scratch_ReadFile(area + "/run.ini");
        EXPECT_NE(ini.find("started=1"), std::string::npos) << ini << Log();
        if (std::string(c.where) != "step") {
            EXPECT_NE(ini.find("ended=1"), std::string::npos) << ini;
        }
        Scratch_WriteFile(dir / "log.txt", "");
        Scratch_WriteFile(area + "/run.ini", "");
    }
}

TEST_F(HostileGames, ASignalWhileTheFirstRoomsCodeLoopsEndsItWithinTheGrace)
{
    // The loop is in the first room's code: the frames have not begun, the code has its grace.
    PackGame("EndlessStart", LoopingEvents("create"));
    const pid_t pid = Start();
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitForLog("looping\n")) << Log();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_NO_FATAL_FAILURE(EndsPromptlyBySigterm(pid, 30, kGrace));
    const std::string ini = Scratch_ReadFile(area + "/run.ini");
    EXPECT_NE(ini.find("looped=1"), std::string::npos) << ini << Log();
}

TEST_F(HostileGames, FatalErrorsAndUnboundNamesEndInOrderWithoutLeaks)
{
    // A fatal error in the first room's code, without a frame limit: the run ends (the loop
    // does not start) with -1, its INI written.
    PackGame("FatalStart", R"({"type": "create", "code": "ini_open('f.ini'); ini_write_real('s', 'k', 7); z = 0; x = 1 div z;"})");
    pid_t pid = Start();
    ASSERT_GT(pid, 0);
    int status = Wait(pid, 60);
    ASSERT_NE(status, -1) << "the run went on after the fatal error\n" << Log();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 255) << status << Log();
    EXPECT_NE(Scratch_ReadFile(area + "/f.ini").find("k=7"), std::string::npos);
    EXPECT_EQ(Log().find("LeakSanitizer"), std::string::npos) << Log();

    // A function name the runner does not know: the load fails, the run ends with 1.
    std::string bytes = Scratch_ReadFile(game);
    size_t at = 0, patched = 0;
    while ((at = bytes.find("ini_write_real", at)) != std::string::npos) {
        bytes[at + 13] = 'X'; // "ini_write_reaX"
        ++patched;
    }
    ASSERT_GT(patched, 0u);
    Scratch_WriteFile(game, bytes);
    pid = Start();
    ASSERT_GT(pid, 0);
    status = Wait(pid, 60);
    ASSERT_NE(status, -1) << Log();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status << Log();
    EXPECT_NE(Log().find("Unable to find function ini_write_reaX"), std::string::npos) << Log();
    EXPECT_EQ(Log().find("LeakSanitizer"), std::string::npos) << Log();
}

TEST_F(HostileGames, AFatalReportOfTheWorldEndsTheGameAsAbortDoes)
{
    // The error reporter's fatal path (a missing room, a move past the last room, an epsilon
    // out of range, a chain of events past the nesting limit) ends the game at the frame's end:
    // its game end event runs and the run ends with 0. Only the virtual machine's own errors
    // (a division by zero) end it at once with -1 (255).
    struct Case {
        const char* what;
        const char* code; // run in the second step
        const char* said; // in the report
        int exit;
        bool gameEnd;
    };
    const Case cases[] = {
        {"missing room", "room_goto(7);", "Unexisting room number: 7", 0, true},
        {"past the last room", "room_goto_next();", "Moving to next room after the last room.", 0, true},
        {"epsilon out of range", "math_set_epsilon(1);", "math_set_epsilon :: value should be between 0 and 1", 0, true},
        {"event nesting", "event_user(0);",
         "PerformEvent recursion depth failure - check for infinite loops, check objects for parenting", 0, true},
        {"machine's own error", "z = 0; x = 1 / z;", "DoDiv :: Divide by zero", 255, false},
    };
    std::printf("| fatal report | exit | game end ran |\n|---|---|---|\n");
    for (const Case& c : cases) {
        const std::string events =
            R"({"type": "create", "code": "n = 0;"},
               {"type": "step", "code": "n += 1; if (n == 2) { )" + std::string(c.code) + R"( }"},
               {"type": "other", "number": 10, "code": "event_user(0);"},
               {"type": "other", "number": 3, "code": "show_debug_message('game end');"})";
        PackGame("FatalWorld", events);
        Scratch_WriteFile(dir / "log.txt", "");
        const int status = Wait(Start(), 60);
        const std::string log = Log();
        const bool ended = log.find("\ngame end\n") != std::string::npos;
        std::printf("| %s | %d | %s |\n", c.what, WIFEXITED(status) ? WEXITSTATUS(status) : -1, ended ? "yes" : "no");
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == c.exit) << c.what << ": status " << status << "\n" << log;
        EXPECT_NE(log.find(c.said), std::string::npos) << c.what << "\n" << log;
        EXPECT_EQ(ended, c.gameEnd) << c.what << "\n" << log;
    }
}

// Plays a game twice: the first run writes its files small, the second (started as how says)
// large. Every large write fails with reason, and the second run goes on to its end all the
// same: the INI file, game save, buffer and high-score table of the first run stay whole, no
// temporary file is left, and each file that failed is named once on stderr (the log too when
// logFails).
void HostileGames::PlaysOnPastFailedWrites(Launch how, const std::string& reason, bool logFails)
{
    const std::string code =
        "n = 10; if (file_exists('keep.ini')) n = 100000; s = string_repeat('x', n);"
        " ini_open('keep.ini'); ini_write_string('s', 'k', s); ini_close();"
        " b = buffer_create(n, 0, 1); buffer_fill(b, 0, 1, 7, n); buffer_save(b, 'buf.bin');"
        " global.pad = s; game_save('save.dat'); repeat (10) highscore_add(s, n);"
        " repeat (20) show_debug_message(s);"
        " f = file_text_open_write('after.txt'); file_text_write_string(f, 'went on ' + string(n)); file_text_close(f);"
        " f = file_text_open_write('text.txt'); file_text_write_string(f, s); file_text_close(f);"
        " game_end();";
    PackGame("Limited", R"({"type": "create", "code": ")" + code + "\"}");
    ASSERT_EQ(Wait(Start(), 60), 0) << Log();
    const char* kept[] = {"keep.ini", "buf.bin", "save.dat", "hiscore.dat"};
    std::vector<std::string> earlier;
    for (const char* name : kept) earlier.push_back(Scratch_ReadFile(area + "/" + name));

    const pid_t pid = Start(how);
    const int status = Wait(pid, 60);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << Log();
    EXPECT_EQ(Scratch_ReadFile(area + "/after.txt"), "went on 100000");
    for (size_t i = 0; i < std::size(kept); ++i) {
        EXPECT_FALSE(earlier[i].empty()) << kept[i];
        EXPECT_EQ(Scratch_ReadFile(area + "/" + kept[i]), earlier[i]) << kept[i];
    }
    std::vector<std::string> expected;
    for (const char* name : {"buf.bin", "hiscore.dat", "keep.ini", "save.dat", "text.txt"})
        expected.push_back("runner: cannot write " + area + "/" + name + ": " + reason);
    if (logFails) expected.push_back("runner: cannot write " + (dir / "log.txt") + ": " + reason);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(StderrLines(), expected);
    for (const std::string& name : Scratch_List(area)) EXPECT_NE(name[0], '.') << name; // temporaries begin so
}

TEST_F(HostileGames, AFileSizeLimitFailsWritesButNotTheGameNorItsEarlierFiles)
{
    // Under a 2 KiB limit (ten names of 256 bytes make the high-score table 2,648 bytes).
    Launch how;
    how.out = open("/dev/null", O_WRONLY | O_CLOEXEC);
    how.fileLimit = 2048;
    PlaysOnPastFailedWrites(how, "File too large", true);
    close(how.out);
}

TEST_F(HostileGames, AFullDiskFailsWritesButNotTheGameNorItsEarlierFiles)
{
    // The save area on a 64 KiB tmpfs, in a mount namespace of this test's own.
    const std::string data = dir / "data";
    mkdir(data.c_str(), 0777);
    if (!Test_OwnMounts() || mount("tmpfs", data.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here: " << std::strerror(errno);
    PlaysOnPastFailedWrites(Launch{}, "No space left on device", false);
    umount2(data.c_str(), MNT_DETACH);
}

TEST_F(HostileGames, ALogNobodyReadsHoldsNoSignalOff)
{
    // The game logs without end; its end notes that it ran.
    PackGame("Chatty", R"({"type": "create", "code": "ini_open('run.ini'); ini_write_real('s', 'started', 1);"},
        {"type": "step", "code": "show_debug_message('looping'); while (true) show_debug_message(string_repeat('y', 1000));"},
        {"type": "other", "number": 3, "code": "ini_write_real('s', 'ended', 1);"})");
    const std::string fifo = dir / "log.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
    for (const bool toStdout : {false, true}) {
        SCOPED_TRACE(toStdout ? "the standard output a pipe" : "-output a named pipe");
        // The reader is there but stops reading: the pipe fills and the log's write waits.
        int ends[2] = {-1, -1};
        Launch how;
        if (toStdout) {
            ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
            how.out = ends[1];
        } else {
            ends[0] = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            how.log = fifo;
        }
        const pid_t pid = Start(how);
        ASSERT_GT(pid, 0);
        if (ends[1] >= 0) close(ends[1]);
        ASSERT_TRUE(WaitForLog("looping\n", toStdout ? "log.txt" : "out.txt")) << Log();
        std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the pipe is full by now
        const auto [status, seconds] = SignalAndWait(pid, SIGTERM, 60, kGrace + kLogGrace);
        close(ends[0]);
        ASSERT_NE(status, -1) << "SIGTERM did not end the run\n" << Log();
        EXPECT_LT(seconds, kGrace + kLogGrace + Margin());
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
        EXPECT_NE(Scratch_ReadFile(area + "/run.ini").find("ended=1"), std::string::npos) << Log();
        EXPECT_EQ(StderrLines(), std::vector<std::string>{"runner: cannot write " +
                                                          (toStdout ? std::string("the standard output") : fifo) +
                                                          ": nobody is reading it"});
        Scratch_WriteFile(area + "/run.ini", "");
    }
}

TEST_F(HostileGames, AStandardOutputPipeFilledByAnotherWriterHoldsNoSignalOff)
{
    // The runner's standard output pipe is written by two other processes as well, and its
    // reader takes a little now and then before it stalls: each time it makes room the other
    // writers may fill it between the runner's look and its write. One SIGTERM ends the run
    // all the same, in order; also where the pipe cannot be opened again (no /proc).
    PackGame("Shared", R"({"type": "create", "code": "ini_open('run.ini'); ini_write_real('s', 'started', 1);"},
        {"type": "step", "code": "show_debug_message('looping'); while (true) show_debug_message(string_repeat('y', 100));"},
        {"type": "other", "number": 3, "code": "ini_write_real('s', 'ended', 1);"})");
    for (int run = 0; run < 4; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        const bool hideProc = run == 3;
        if (hideProc && !Test_CanHideProc()) break;
        int ends[2] = {-1, -1};
        const pid_t pid = StartIntoPipe(&ends[0], &ends[1], hideProc);
        ASSERT_GT(pid, 0);
        pid_t writers[2];
        for (pid_t& w : writers) {
            if ((w = fork()) == 0) {
                static char block[65536];
                std::memset(block, 'z', sizeof block);
                for (;;) (void)!write(ends[1], block, sizeof block);
            }
        }
        close(ends[1]);
        std::string tail;
        char buffer[4096];
        const auto end = Clock::now() + std::chrono::seconds(60);
        while (tail.find("looping\n") == std::string::npos && Clock::now() < end) {
            const ssize_t n = read(ends[0], buffer, sizeof buffer);
            if (n > 0) tail = tail.substr(tail.size() > 64 ? tail.size() - 64 : 0) + std::string(buffer, size_t(n));
        }
        Started();
        // A trickle, until the runner is seen waiting in a write (the other writers took the
        // room that poll promised it), then nothing.
        for (int i = 0; i < 50 && !WaitsInAWrite(pid); ++i) (void)!read(ends[0], buffer, sizeof buffer);
        const auto [status, seconds] = SignalAndWait(pid, SIGTERM, 60, kGrace + kLogGrace);
        for (pid_t w : writers) {
            kill(w, SIGKILL);
            waitpid(w, nullptr, 0);
        }
        close(ends[0]);
        ASSERT_NE(status, -1) << "SIGTERM did not end the run\n" << Log();
        EXPECT_LT(seconds, kGrace + kLogGrace + Margin());
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
        EXPECT_NE(Scratch_ReadFile(area + "/run.ini").find("ended=1"), std::string::npos) << Log();
        // The pipe's last page may still have had room for the last lines (the other writers'
        // whole pages do not fill it): then nothing was lost, and nothing is said.
        const std::vector<std::string> said = StderrLines();
        EXPECT_LE(said.size(), 1u);
        for (const std::string& line : said) EXPECT_EQ(line, "runner: cannot write the standard output: nobody is reading it");
        Scratch_WriteFile(area + "/run.ini", "");
    }
}

TEST_F(HostileGames, AReaderThatLeavesCostsOnlyItsOwnLines)
{
    // As `runner | head -c 300`: the reader takes 300 bytes and leaves. The game plays on to
    // its own end (once it sees that the reader is gone), its game end event runs, its INI is
    // written, the "-output" log has every line, and the standard output is said once.
    PackGame("Headed", R"({"type": "create", "code": "ini_open('run.ini'); ini_write_real('s', 'started', 1);"},
        {"type": "step", "code": "show_debug_message('step'); if (file_exists('gone')) game_end();"},
        {"type": "other", "number": 3, "code": "show_debug_message('game end'); ini_write_real('s', 'ended', 1);"})");
    int ends[2] = {-1, -1};
    const pid_t pid = StartIntoPipe(&ends[0], &ends[1]);
    ASSERT_GT(pid, 0);
    close(ends[1]);
    char head[300];
    for (size_t got = 0; got < sizeof head;) {
        const ssize_t n = read(ends[0], head + got, sizeof head - got);
        if (n <= 0) break;
        got += size_t(n);
    }
    close(ends[0]);
    Scratch_WriteFile(area + "/gone", "");
    const int status = Wait(pid, 60);
    ASSERT_NE(status, -1) << Log();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << Log();
    EXPECT_NE(Scratch_ReadFile(area + "/run.ini").find("ended=1"), std::string::npos) << Log();
    EXPECT_NE(Scratch_ReadFile(dir / "log.txt").find("step\ngame end\n"), std::string::npos) << Log();
    EXPECT_EQ(StderrLines(), std::vector<std::string>{"runner: cannot write the standard output: Broken pipe"});
}

TEST_F(HostileGames, SighupEndsTheRunInOrderAndLeavesNoTemporaryFile)
{
    // The terminal closed: the game, rewriting its INI without end (each close writes it
    // beside its name and renames it into place), ends as after SIGTERM: its game end event
    // writes the INI, no temporary file is left, and the process ends by SIGHUP.
    PackGame("Hangup", R"({"type": "create", "code": "n = 0;"},
        {"type": "step", "code": "show_debug_message('looping'); while (true) { n += 1; ini_open('run.ini'); ini_write_real('s', 'n', n); ini_close(); }"},
        {"type": "other", "number": 3, "code": "ini_open('run.ini'); ini_write_real('s', 'ended', 1); ini_close();"})");
    const pid_t pid = Start();
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitForLog("looping\n")) << Log();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto [status, seconds] = SignalAndWait(pid, SIGHUP, 30, kGrace);
    ASSERT_NE(status, -1) << "SIGHUP did not end the game\n" << Log();
    EXPECT_LT(seconds, kGrace + Margin());
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGHUP) << status;
    EXPECT_NE(Scratch_ReadFile(area + "/run.ini").find("ended=1"), std::string::npos) << Log();
    for (const std::string& name : Scratch_List(area)) EXPECT_NE(name[0], '.') << name;
}

TEST_F(HostileGames, AClosedStandardOutputLendsItsNumberToNoFile)
{
    // Started with the standard output closed (>&-): the "-output" log, opened later, must not
    // take descriptor 1, or every line would land in it twice.
    PackGame("Closed", R"({"type": "create", "code": "show_debug_message('once'); game_end();"})");
    Launch how;
    how.closeOut = true;
    const int status = Wait(Start(how), 60);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << Log();
    const std::string log = Scratch_ReadFile(dir / "log.txt");
    size_t count = 0;
    for (size_t at = log.find("once\n"); at != std::string::npos; at = log.find("once\n", at + 1)) ++count;
    EXPECT_EQ(count, 1u) << log;
    EXPECT_EQ(StderrLines(), std::vector<std::string>{});
}

TEST_F(HostileGames, ALineCutPartWayIsEndedBeforeTheNext)
{
    // The log reaches a file-size limit part way through a line; the limit is raised again
    // (as a full disk that is freed). The fragment is ended, so the lines after it stand on
    // lines of their own.
    PackGame("Cut", R"({"type": "step", "code": "if (file_exists('freed')) { show_debug_message('after'); game_end(); } else show_debug_message(string_repeat('y', 100));"})");
    Launch how;
    how.out = open("/dev/null", O_WRONLY | O_CLOEXEC);
    how.fileLimit = 3000;
    const pid_t pid = Start(how);
    close(how.out);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitForLog("File too large", "err.txt")) << Log();
    rlimit limit{};
    ASSERT_EQ(prlimit(pid, RLIMIT_FSIZE, nullptr, &limit), 0);
    limit.rlim_cur = limit.rlim_max;
    ASSERT_EQ(prlimit(pid, RLIMIT_FSIZE, &limit, nullptr), 0);
    Scratch_WriteFile(area + "/freed", "");
    const int status = Wait(pid, 60);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << Log();
    const std::string log = Scratch_ReadFile(dir / "log.txt");
    EXPECT_NE(log.find("\nafter\n"), std::string::npos) << log;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        if (line[0] == 'y') { EXPECT_LE(line.size(), 100u) << line; } // a fragment, or a whole line
    }
    EXPECT_EQ(StderrLines(), std::vector<std::string>{"runner: cannot write " + (dir / "log.txt") + ": File too large"});
}
