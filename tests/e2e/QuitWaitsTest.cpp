// Every wait of the runner ends at the run's quit, build/runner played as processes: the game's
// room end and game end events run after SIGTERM, SIGINT or SIGHUP, and whatever they wait in
// ends at once and goes on as when its time runs out, so that their writes are made and the
// run is gone at once: within the rule's own time (none, or the log's half second) and the
// margin that the same run's start measured on the machine at hand (e2e::EndMargin).
//   - Files that another process holds locked (flock): every whole-file read and write (INI
//     files, buffers, game save and load, text and binary files, the high-score table,
//     file_copy) with the lock held for half a second, three seconds and for ever, under each
//     of the three signals: one property over those axes, its table printed.
//   - The other waits: an HTTP request to a loopback server that never answers (the shutdown
//     joins its worker), a program waited for that never ends and keyboard_wait (both in the
//     game end event), the frame's wait at a room speed of 1 (no step starts after it), the
//     log to a named pipe nobody reads.
//   - No save cut short: a signal while a step writes a file (a quarter of a second of
//     writing on the machine that plays it) and its record, with a game end that writes for a
//     second; two signals back to back (the terminal's close, a supervisor's SIGTERM and
//     SIGHUP) are one request and the end events run; a second signal once they run ends the
//     run at once, and without one their endless loop ends with their grace.
// ZB_QUIT_RUNNER names another runner to play (a build of an earlier commit), this build's by
// default; the tables are printed either way.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "E2EGames.h"
#include "Files/Base/QuitRequest.h"
#include "support/RunTime.h"
#include "support/ScratchFolder.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

using e2e::EndMargin;
// The time the log nobody reads is given after the quit before its lines are given up.
constexpr double kLogGrace = 0.5;
// The grace of the code running when the signal came, and of the end events after it.
constexpr double kGrace = double(kQuitEventGrace) / 1e6, kEndGrace = double(kQuitEndGrace) / 1e6;
// Runs played at once: one for every three cores, three at most (the times measured must be a
// run's own, also while the rest of the suite runs beside them).
unsigned Parallel()
{
    cpu_set_t set;
    const int cores = sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 2;
    return unsigned(std::clamp(cores / 3, 1, 3));
}

const char* Runner()
{
    const char* other = std::getenv("ZB_QUIT_RUNNER");
    return other && *other ? other : ZB_RUNNER_PATH;
}

// The one game (buffers by number: 0 fixed, 11 a zero-terminated text, seek 0 from the start).
// Its step says "ready" (and, with WAIT=frame, every step's number); what its
// room end event (OP) and game end event (WAIT) do is chosen by environment variables.
std::string Manifest()
{
    auto code = [](std::vector<const char*> lines) {
        std::string joined;
        for (const char* line : lines) joined += std::string(line) + " ";
        return joined;
    };
    const std::string create = code({"op = environment_get_variable('OP'); w = environment_get_variable('WAIT');",
                                     "n = 0; requests = 0; if (w == 'frame') room_speed = 1;"});
    // Writes a file of lines for argument1 times the lines written in 50 ms (a time of this
    // machine's, the same for any build), ended by 'end', then records their count.
    const std::string save = code({
        "var f, t, k, i; t = current_time; k = 0; f = file_text_open_write('cal.txt');",
        "while (current_time - t < 50) { file_text_write_string(f, 'line ' + string(k)); file_text_writeln(f); k += 1; }",
        "file_text_close(f); k *= argument1; f = file_text_open_write(argument0);",
        "for (i = 0; i < k; i += 1) { file_text_write_string(f, 'line ' + string(i)); file_text_writeln(f); }",
        "file_text_write_string(f, 'end'); file_text_close(f);",
        "ini_open('record.ini'); ini_write_real('lines', argument0, k); ini_close();",
    });
    const std::string step = code({
        "n += 1;",
        "if (w == 'http' && n % 8 == 1 && requests < 8) { http_get(environment_get_variable('URL')); requests += 1; }",
        "if (w == 'frame') show_debug_message('step ' + string(n));",
        "if ((n == 1 && w != 'http') || n == 64) show_debug_message('ready');",
        "if (w == 'save' && n == 2) { show_debug_message('saving'); scr_save('step.txt', 5); }",
        "if (w == 'loop' && n == 2) { show_debug_message('looping'); while (true) {} }",
        "if (w == 'log') repeat (100) show_debug_message('a line nobody reads, one of many');",
    });
    const std::string roomEnd = code({
        "if (op == 'ini') { ini_open('f.ini'); show_debug_message('read ' + ini_read_string('s', 'k', 'none'));",
        "  ini_write_string('s', 'k', 'new'); ini_close(); }",
        "if (op == 'buffer') { b = buffer_load('f.bin'); if (b >= 0) show_debug_message('read ' + buffer_read(b, 11));",
        "  c = buffer_create(4, 0, 1); buffer_write(c, 11, 'new'); buffer_save(c, 'f.bin'); }",
        "if (op == 'game') { game_load('f.sav'); show_debug_message('read old'); game_save('f.sav'); }",
        "if (op == 'text') { f = file_text_open_read('f.txt'); if (f > 0) { show_debug_message('read ' + file_text_read_string(f));",
        "  file_text_close(f); } f = file_text_open_write('f.txt'); file_text_write_string(f, 'new'); file_text_close(f); }",
        "if (op == 'binary') { f = file_bin_open('f.dat', 0); if (f > 0) { if (file_bin_read_byte(f) == 79) show_debug_message('read old');",
        "  file_bin_close(f); } f = file_bin_open('f.dat', 1); file_bin_write_byte(f, 78); file_bin_close(f); }",
        "if (op == 'highscore') highscore_add('new', 77);",
        "if (op == 'copy') { file_copy('f.txt', 'g.txt'); show_debug_message('read copied'); }",
        "if (op == 'issue') { ini_open('a.ini'); ini_write_string('room', 'end', 'written'); ini_close();",
        "  ini_open('open.ini'); ini_write_string('s', 'changed', 'yes'); }",
        "if (w == 'frame') show_debug_message('steps ' + string(n));",
        "show_debug_message('room end done');",
    });
    const std::string gameEnd = code({
        "if (op == 'issue') { b = buffer_load('b.bin'); s = buffer_get_size(b); c = buffer_create(s + 9, 0, 1);",
        "  buffer_copy(b, 0, s, c, 0); buffer_seek(c, 0, s); buffer_write(c, 11, 'game end');",
        "  buffer_save(c, 'b.bin'); }",
        "if (w == 'child') { execute_program('/bin/sh', '-c \\\"echo $$ > child.pid; exec sleep 1000\\\"', true);",
        "  show_debug_message('after the wait'); }",
        "if (w == 'keyboard') { keyboard_wait(); show_debug_message('after the wait'); }",
        "if (w == 'save') scr_save('end.txt', 20);",
        "if (w == 'loop') { show_debug_message('end looping'); while (true) {} }",
        "show_debug_message('game end done');",
    });
    auto event = [](const char* kind, int number, const std::string& text) {
        return std::string(R"({"type": ")") + kind + R"(", "number": )" + std::to_string(number) + R"(, "code": ")" + text + "\"}";
    };
    return R"({"name": "QuitWaits", "window": {"width": 64, "height": 48}, "objects": [{"name": "obj", "events": [)" +
           event("create", 0, create) + ", " + event("step", 0, step) + ", " + event("other", 5, roomEnd) + ", " +
           event("other", 3, gameEnd) + R"(]}], "scripts": [{"name": "scr_save", "code": ")" + save + R"("}], "rooms": [{"name": "rm", "width": 64, "height": 48, "speed": 60, "instances": [{"object": "obj"}]}]})";
}

// One run: what its end events do, how long the test holds its locks after the signal
// (seconds; negative: until the run has ended), the signal, and a second one (0: none) sent
// after seconds (0: back to back) or, with after < 0, once the end events say they loop.
struct Cell {
    std::string op, wait;
    double hold = -1;
    int signal = SIGTERM;
    int second = 0;
    double after = 0;
};

// How the run ended: seconds from the signal to its end (-1: it did not end within a minute and
// was killed), whether the signal ended it, and its folder's files afterwards.
struct Outcome {
    double started = 0;                       // seconds from the spawn to the game's "ready" (EndMargin)
    double seconds = -1;
    double lost = 0;                          // what the load took from the run past the rule's time (RunTime)
    double second = 0;                        // seconds from the first signal to the second sent late
    bool bySignal = false;
    std::string out;                          // what the game said (its standard output)
    std::map<std::string, std::string> files; // the save area's files by name
};

// The files of an op in the save area before the run (name, content), the first ones locked.
std::vector<std::pair<std::string, std::string>> FilesOf(const std::string& op)
{
    if (op == "ini") return {{"f.ini", "[s]\r\nk=old\r\n"}};
    if (op == "buffer") return {{"f.bin", std::string("old", 4)}};
    if (op == "game") return {{"f.sav", "old"}};
    if (op == "text" || op == "copy") return {{"f.txt", "old"}};
    if (op == "binary") return {{"f.dat", "O"}};
    if (op == "highscore") return {{"hiscore.dat", "old"}};
    if (op == "issue") {
        return {{"a.ini", "[before]\r\nkept=1\r\n"}, {"b.bin", std::string("before", 7)}, {"open.ini", "[before]\r\nkept=1\r\n"}};
    }
    return {};
}

const char* SignalName(int signal) { return signal == SIGTERM ? "TERM" : signal == SIGINT ? "INT" : "HUP"; }

// A loopback server that takes connections (the system completes them) and never answers.
class SilentServer {
public:
    SilentServer()
    {
        m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        if (m_fd >= 0 && bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(m_fd, 64) == 0 &&
            getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &length) == 0)
            m_url = "http://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/never";
    }
    ~SilentServer()
    {
        if (m_fd >= 0) close(m_fd);
    }
    const std::string& Url() const { return m_url; }

private:
    int m_fd = -1;
    std::string m_url;
};

class QuitWaits : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = new ScratchFolder();
        Scratch_WriteFile(*s_dir / "game.json", Manifest());
        std::string said;
        s_packed = e2e::Pack(*s_dir / "game.json", *s_dir / "game.win", "--bytecode", &said);
        if (!s_packed) std::cerr << said;
    }
    static void TearDownTestSuite()
    {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(s_packed); }

    // Plays one cell in folder (made fresh): its files laid, the runner started, the locks
    // taken once the game is ready, the signal sent, the locks let go when the cell says.
    static Outcome Play(const Cell& cell, const std::string& folder, const std::string& url = "")
    {
        Outcome o;
        const std::string area = folder + "/data/QuitWaits";
        for (const auto& [name, content] : FilesOf(cell.op)) Scratch_WriteFile(area + "/" + name, content);
        mkdir(area.c_str(), 0777);
        const std::string log = folder + (cell.wait == "log" ? "/log.fifo" : "/log.txt");
        if (cell.wait == "log") mkfifo(log.c_str(), 0666);

        std::vector<std::string> vars;
        for (char** e = environ; *e; ++e) vars.emplace_back(*e);
        for (const char* v : {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy", "ALSOFT_DRIVERS=null"}) vars.emplace_back(v);
        vars.push_back("XDG_DATA_HOME=" + folder + "/data");
        vars.push_back("OP=" + cell.op);
        vars.push_back("WAIT=" + cell.wait);
        vars.push_back("URL=" + url);
        std::vector<char*> envp;
        for (std::string& v : vars) envp.push_back(v.data());
        envp.push_back(nullptr);
        std::string runner = Runner(), flag = "-game", game = *s_dir / "game.win", output = "-output", logArg = log;
        char* argv[] = {runner.data(), flag.data(), game.data(), output.data(), logArg.data(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, (folder + "/out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        posix_spawn_file_actions_addopen(&actions, 2, (folder + "/err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        pid_t pid = -1;
        const auto spawnedAt = Clock::now();
        const int spawned = posix_spawn(&pid, runner.c_str(), &actions, nullptr, argv, envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) return o;

        auto said = [&] { return Scratch_ReadFile(folder + "/out.txt"); };
        int status = 0;
        bool ended = false;
        auto endedNow = [&] { return ended || (ended = waitpid(pid, &status, WNOHANG) == pid); };
        // Ready: the step said so (with WAIT=frame, a step just ended: the next frame's wait began).
        const std::string ready = cell.wait == "frame" ? "step 1\n" : cell.wait == "save" ? "saving\n"
                                  : cell.wait == "loop"  ? "looping\n"
                                                         : "ready\n";
        for (const auto until = Clock::now() + std::chrono::seconds(60);
             said().find(ready) == std::string::npos && !endedNow() && Clock::now() < until;)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        o.started = std::chrono::duration<double>(Clock::now() - spawnedAt).count();
        // WAIT=log: until the pipe is full and the run waits in a write (it says nothing more).
        for (size_t size = 0, same = 0; cell.wait == "log" && same < 60 && !endedNow(); ++same) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (const size_t now = said().size(); now != size) size = now, same = 0;
        }
        std::vector<int> locks;
        for (const auto& [name, content] : FilesOf(cell.op)) {
            const int fd = open((area + "/" + name).c_str(), O_RDONLY | O_CLOEXEC);
            if (fd >= 0 && flock(fd, LOCK_EX) == 0) locks.push_back(fd);
        }
        // What the load takes from the run counts from the rule's end: the signal, or for an
        // endless loop the graces (the second signal, when one comes).
        RunTime times(pid);
        times.Mark();
        double markAt = cell.wait == "loop" ? kGrace + kEndGrace : 0;
        const auto sent = Clock::now();
        if (!endedNow()) kill(pid, cell.signal);
        bool again = cell.second == 0;
        if (!again && cell.after == 0) again = kill(pid, cell.second) == 0;
        auto release = [&] {
            for (int fd : locks) close(fd);
            locks.clear();
        };
        while (!endedNow()) {
            const double passed = std::chrono::duration<double>(Clock::now() - sent).count();
            if (cell.hold >= 0 && passed >= cell.hold) release();
            if (!again && (cell.after > 0 ? passed >= cell.after : said().find("end looping\n") != std::string::npos)) {
                o.second = std::chrono::duration<double>(Clock::now() - sent).count();
                times.Mark();
                markAt = 0;
                again = kill(pid, cell.second) == 0;
            }
            if (passed > 60) { // stalled
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                break;
            }
            if (markAt > 0 && passed >= markAt) {
                times.Mark();
                markAt = 0;
            }
            times.Sample();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        if (ended) o.seconds = std::chrono::duration<double>(Clock::now() - sent).count();
        o.lost = times.Lost();
        release();
        // Two signals at once arrive in the kernel's order (the lower number first).
        o.bySignal = ended && WIFSIGNALED(status) &&
                     (WTERMSIG(status) == cell.signal || (cell.after == 0 && cell.second && WTERMSIG(status) == cell.second));
        o.out = said() + Scratch_ReadFile(folder + "/err.txt");
        for (const std::string& name : Scratch_List(area)) o.files[name] = Scratch_ReadFile(area + "/" + name);
        // The program a run left waiting (WAIT=child) ends with the test.
        if (const int child = std::atoi(Scratch_ReadFile(folder + "/child.pid").c_str()); child > 0) kill(child, SIGKILL);
        return o;
    }

    // Plays every cell, Parallel() at a time, each in a folder of its own.
    static std::vector<Outcome> PlayAll(const std::vector<Cell>& cells, const std::string& url = "")
    {
        std::vector<Outcome> outcomes(cells.size());
        std::atomic<size_t> next{0};
        std::vector<std::thread> players;
        for (unsigned t = 0; t < Parallel(); ++t) {
            players.emplace_back([&] {
                for (size_t i; (i = next++) < cells.size();) {
                    const std::string folder = *s_dir / ("cell" + std::to_string(i) + "-" + std::to_string(s_played++));
                    mkdir(folder.c_str(), 0777);
                    outcomes[i] = Play(cells[i], folder, url);
                }
            });
        }
        for (std::thread& p : players) p.join();
        return outcomes;
    }

    static inline ScratchFolder* s_dir = nullptr;
    static inline bool s_packed = false;
    static inline std::atomic<int> s_played{0};
};

// What a cell's run must have read and written, checked from its outcome: "" when all is there,
// else what is missing. read and wrote get whether the read and the write happened.
std::string Check(const std::string& op, const Outcome& o, bool* read, bool* wrote)
{
    auto file = [&](const char* name) {
        const auto at = o.files.find(name);
        return at == o.files.end() ? std::string() : at->second;
    };
    const bool said = o.out.find(op == "copy" ? "read copied" : "read old") != std::string::npos;
    *read = true;
    *wrote = false;
    if (op == "ini") *wrote = file("f.ini").find("k=new") != std::string::npos, *read = said;
    if (op == "buffer") *wrote = file("f.bin") == std::string("new", 4), *read = said;
    if (op == "game") *wrote = file("f.sav").size() > 100, *read = said;
    if (op == "text") *wrote = file("f.txt") == "new", *read = said;
    if (op == "binary") *wrote = file("f.dat") == "N", *read = said;
    if (op == "highscore") *wrote = file("hiscore.dat").find("new") != std::string::npos;
    if (op == "copy") *wrote = file("g.txt") == "old", *read = said && *wrote;
    std::string missing;
    if (!*read) missing += " the read";
    if (!*wrote) missing += " the write";
    return missing;
}

// A table of seconds (and, where given, marks) by row and column, printed.
void PrintTable(const std::string& title, const std::vector<std::string>& rows, const std::vector<std::string>& columns,
                const std::function<std::string(size_t, size_t)>& cell)
{
    std::ostringstream t;
    t << "\n" << title << " (" << Runner() << ")\n| |";
    for (const std::string& c : columns) t << " " << c << " |";
    t << "\n|---|";
    for (size_t c = 0; c < columns.size(); ++c) t << "---|";
    t << "\n";
    for (size_t r = 0; r < rows.size(); ++r) {
        t << "| " << rows[r] << " |";
        for (size_t c = 0; c < columns.size(); ++c) t << " " << cell(r, c) << " |";
        t << "\n";
    }
    std::cout << t.str();
}

std::string Seconds(double s)
{
    if (s < 0) return "killed";
    char text[16];
    std::snprintf(text, sizeof text, "%.2f", s);
    return text;
}

} // namespace

// The issue's case: another process holds a.ini, b.bin and open.ini locked for ever; the room
// end event writes a.ini and changes open.ini (left open, written at the shutdown), the game end
// event loads b.bin and saves it longer. SIGTERM: the run ends at once, and every file
// holds what the events wrote on top of what it held.
TEST_F(QuitWaits, FilesLockedForEverAreReadAndWrittenByTheEndEventsAtSigterm)
{
    const std::string folder = *s_dir / "issue";
    mkdir(folder.c_str(), 0777);
    Outcome o = Play({"issue", "", -1, SIGTERM}, folder);
    ASSERT_GE(o.seconds, 0) << "SIGTERM did not end the run\n" << o.out;
    EXPECT_LT(o.seconds, EndMargin(o.started, o.lost)) << o.out;
    EXPECT_TRUE(o.bySignal);
    for (const char* ini : {"a.ini", "open.ini"}) EXPECT_NE(o.files[ini].find("[before]\r\nkept=1\r\n"), std::string::npos) << ini;
    EXPECT_NE(o.files["a.ini"].find("[room]\r\nend=written\r\n"), std::string::npos) << o.out;
    EXPECT_NE(o.files["open.ini"].find("[s]\r\nchanged=yes\r\n"), std::string::npos) << o.out;
    EXPECT_EQ(o.files["b.bin"], std::string("before\0game end", 16)) << o.out;
    std::cout << "a.ini, b.bin, open.ini locked for ever, SIGTERM: ended after " << Seconds(o.seconds) << " s\n";
}

// Every whole-file read and write of the end events, a lock on its file held elsewhere for half
// a second, three seconds or for ever after the signal, under SIGTERM, SIGINT and SIGHUP: the
// run ends at once by the signal, having read the file and written it.
TEST_F(QuitWaits, EveryWholeFileReadAndWriteUnderALockEndsAtTheQuit)
{
    const std::vector<std::string> ops = {"ini", "buffer", "game", "text", "binary", "highscore", "copy"};
    const std::vector<double> holds = {0.5, 3, -1};
    const std::vector<int> signals = {SIGTERM, SIGINT, SIGHUP};
    std::vector<Cell> cells;
    for (const std::string& op : ops)
        for (double hold : holds)
            for (int signal : signals) cells.push_back({op, "", hold, signal});
    const std::vector<Outcome> outcomes = PlayAll(cells);

    std::vector<std::string> columns;
    for (double hold : holds)
        for (int signal : signals)
            columns.push_back(std::string(hold < 0 ? "for ever" : hold < 1 ? "0.5 s" : "3 s") + " " + SignalName(signal));
    std::vector<std::string> marks(cells.size());
    for (size_t i = 0; i < cells.size(); ++i) {
        const Outcome& o = outcomes[i];
        bool read = false, wrote = false;
        const std::string missing = Check(cells[i].op, o, &read, &wrote);
        marks[i] = Seconds(o.seconds) + " " + (read ? "r" : "-") + (wrote ? "w" : "-");
        const std::string where = cells[i].op + ", held " + columns[i % columns.size()] + ": ";
        EXPECT_GE(o.seconds, 0) << where << "the signal did not end the run\n" << o.out;
        EXPECT_LT(o.seconds, EndMargin(o.started, o.lost)) << where << o.out;
        EXPECT_TRUE(o.bySignal) << where;
        EXPECT_EQ(missing, "") << where << "missing:" << missing << "\n" << o.out;
    }
    PrintTable("Seconds from the signal to the end; r: the file was read, w: written", ops, columns,
               [&](size_t r, size_t c) { return marks[r * columns.size() + c]; });
}

// The waits that are no file lock, each under each signal: the run ends at once (or, for the
// log nobody reads, after its half second), and what the event does after the wait is done.
TEST_F(QuitWaits, EveryOtherWaitEndsAtTheQuit)
{
    SilentServer server;
    ASSERT_FALSE(server.Url().empty());
    struct Row {
        const char* wait;
        double rule;       // seconds from the signal to the end the rule gives (EndMargin more)
        bool sayAfter;     // the game end event goes on after the wait
    };
    const std::vector<Row> rows = {
        {"http", 0, false}, {"child", 0, true}, {"keyboard", 0, true}, {"frame", 0, false}, {"log", kLogGrace, false},
    };
    const std::vector<int> signals = {SIGTERM, SIGINT, SIGHUP};
    std::vector<Cell> cells;
    for (const Row& row : rows)
        for (int signal : signals) cells.push_back({"", row.wait, -1, signal});
    const std::vector<Outcome> outcomes = PlayAll(cells, server.Url());

    std::vector<std::string> names, columns, marks(cells.size());
    for (const Row& row : rows) names.push_back(row.wait);
    for (int signal : signals) columns.push_back(SignalName(signal));
    for (size_t i = 0; i < cells.size(); ++i) {
        const Row& row = rows[i / signals.size()];
        const Outcome& o = outcomes[i];
        const bool after = o.out.find("after the wait") != std::string::npos;
        marks[i] = Seconds(o.seconds) + (row.sayAfter ? (after ? " after" : " -") : "");
        const std::string where = std::string(row.wait) + ", SIG" + columns[i % signals.size()] + ": ";
        EXPECT_GE(o.seconds, 0) << where << "the signal did not end the run\n" << o.out;
        EXPECT_LT(o.seconds, row.rule + EndMargin(o.started, o.lost)) << where << o.out;
        EXPECT_TRUE(o.bySignal) << where;
        EXPECT_TRUE(after || !row.sayAfter) << where << "the game end event stopped in its wait\n" << o.out;
        // The signal came while the frame waited after step 1: no step started after it.
        if (std::string(row.wait) == "frame") {
            EXPECT_NE(o.out.find("steps 1\n"), std::string::npos) << where << o.out;
        }
    }
    PrintTable("Seconds from the signal to the end; after: the event went on after its wait", names, columns,
               [&](size_t r, size_t c) { return marks[r * columns.size() + c]; });
}

// The lines a save of scr_save wrote whole: its file holds the count its record gives (and that
// count is above 0), each line in order, then 'end'. "" when so, else what is wrong.
std::string SaveWhole(const Outcome& o, const std::string& name)
{
    const auto file = o.files.find(name), record = o.files.find("record.ini");
    if (file == o.files.end()) return name + " missing";
    if (record == o.files.end()) return "no record";
    const size_t at = record->second.find(name + "=");
    if (at == std::string::npos) return name + " not recorded";
    const long lines = std::atol(record->second.c_str() + at + name.size() + 1);
    std::string expected;
    for (long i = 0; i < lines; ++i) expected += "line " + std::to_string(i) + "\r\n";
    if (lines <= 0 || file->second != expected + "end") return name + " not whole (" + std::to_string(lines) + " recorded)";
    return "";
}

// A signal while a step saves, then a game end that saves for a second: both saves whole and
// recorded. Two signals back to back: one request, the end events run and write. The end
// events' endless loop: ended by their grace, or at once by a second signal sent once they
// loop (the player asking again).
TEST_F(QuitWaits, NoSaveIsCutShortAndSignalsTogetherAreOneRequest)
{
    std::vector<Cell> cells;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) cells.push_back({"", "save", -1, signal});
    for (auto [a, b] : {std::pair{SIGTERM, SIGTERM}, {SIGHUP, SIGHUP}, {SIGTERM, SIGHUP}, {SIGINT, SIGINT}})
        cells.push_back({"ini", "", 0, a, b});
    cells.push_back({"", "loop", -1, SIGTERM});
    cells.push_back({"", "loop", -1, SIGHUP, SIGHUP, -1});
    const std::vector<Outcome> outcomes = PlayAll(cells);
    for (size_t i = 0; i < cells.size(); ++i) {
        const Cell& c = cells[i];
        const Outcome& o = outcomes[i];
        const std::string where = c.wait + " " + c.op + " SIG" + SignalName(c.signal) +
                                  (c.second ? std::string(" + SIG") + SignalName(c.second) : "") + ": ";
        ASSERT_GE(o.seconds, 0) << where << "the signals did not end the run\n" << o.out;
        EXPECT_TRUE(o.bySignal) << where;
        std::cout << where << Seconds(o.seconds) << " s\n";
        if (c.wait == "save") {
            EXPECT_EQ(SaveWhole(o, "step.txt"), "") << where << o.out;
            EXPECT_EQ(SaveWhole(o, "end.txt"), "") << where << o.out;
            EXPECT_NE(o.out.find("game end done\n"), std::string::npos) << where << o.out;
        } else if (c.wait == "loop") {
            // The step's loop stops a grace after the signal, the end's its grace later.
            EXPECT_NE(o.out.find("end looping\n"), std::string::npos) << where << o.out;
            // (The end events begin once the step's loop is stopped: their grace counts from then.)
            const double limit = (c.second ? o.second : kGrace + kEndGrace) + EndMargin(o.started, o.lost);
            EXPECT_LT(o.seconds, limit) << where << o.out;
            if (c.second) {
                EXPECT_GT(o.second, 1.0) << where << "the second signal came before the end events looped";
            }
        } else {
            bool read = false, wrote = false;
            EXPECT_EQ(Check(c.op, o, &read, &wrote), "") << where << o.out;
            EXPECT_NE(o.out.find("game end done\n"), std::string::npos) << where << o.out;
            EXPECT_LT(o.seconds, EndMargin(o.started, o.lost)) << where << o.out;
        }
    }
}
