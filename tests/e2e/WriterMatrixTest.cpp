// The files a game writes whole, written by runners played as processes of a plain user while
// something else reads them: INI files (ini_close), buffer_save, game_save, screen_save,
// file_copy and the high-score table, each step, with contents that tell a file read half of
// one version and half of another, or cut. Where the file lies: the user's own folder and file;
// root's file open to all in a folder open to all; the same in a folder with the sticky bit;
// the user's file with a second name outside the save area (never written there); the user's
// file of root's group (what chown -R leaves after a root run). Who writes: one runner with an
// outside reader that takes no lock, and three runners with it. Every runner checks the INI
// file and the buffer it reads before it writes them again (as games do); under a file-size
// limit of 6,000 bytes about a third of the versions cannot be written at all.
//
// No runner may read a half-written file, none may be left, no earlier file may be cut. An
// outside reader may see a file written in place half new (the sticky folder): counted, shown,
// not failed. The table is printed; ZB_MATRIX_RUNNER names another runner to play (a build of
// an earlier commit), this build's by default. Needs root (files of another user).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "E2EGames.h"
#include "support/ChildProcess.h"
#include "support/ScratchFolder.h"

extern char** environ;

namespace {

constexpr int kSteps = 120;
constexpr rlim_t kFileLimit = 6000;

// ---- What a whole version of each file is ---------------------------------------------------

// "#1xxxxxxx#": the stamp every string of one version carries (10000000 + stamp).
long StampOf(const std::string& s, size_t at) { return std::strtol(s.c_str() + at + 1, nullptr, 10); }
std::vector<size_t> Stamps(const std::string& s)
{
    std::vector<size_t> at;
    for (size_t i = s.find('#'); i != std::string::npos && i + 9 < s.size(); i = s.find('#', i + 1)) {
        bool digits = true;
        for (size_t j = i + 1; j < i + 9; j++) digits &= s[j] >= '0' && s[j] <= '9';
        if (digits && s[i + 9] == '#') at.push_back(i);
    }
    return at;
}

bool WholeIni(const std::string& s)
{
    std::map<std::string, std::string> keys;
    std::string section;
    std::istringstream in(s);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos) return false;
        std::string value = line.substr(eq + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if (!keys.emplace(section + "." + line.substr(0, eq), value).second) return false; // a key twice
    }
    if (s.size() < 2 || s.compare(s.size() - 2, 2, "\r\n") != 0) return false;
    const std::string stamp = keys["h.stamp"];
    const int count = std::atoi(keys["h.count"].c_str());
    if (stamp.empty() || count < 1 || keys["z.end"] != stamp) return false;
    for (int i = 0; i < count; i++)
        if (keys["k.k" + std::to_string(i)] != stamp) return false;
    return keys.size() == size_t(count) + 3;
}

uint32_t U32(const std::string& s, size_t at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; i--) v = (v << 8) | uint8_t(s[at + size_t(i)]);
    return v;
}

bool WholeBuffer(const std::string& s)
{
    if (s.size() < 8 || U32(s, 0) != s.size()) return false;
    const uint32_t stamp = U32(s, 4);
    for (size_t i = 8; i < s.size(); i++)
        if (uint8_t(s[i]) != (stamp + i) % 251) return false;
    return true;
}

// A saved game: its two strings of the stamp alike and its size that of the version.
bool WholeSave(const std::string& s, size_t base)
{
    const std::vector<size_t> at = Stamps(s);
    if (at.size() != 2) return false;
    const long stamp = StampOf(s, at[0]);
    if (StampOf(s, at[1]) != stamp) return false;
    return s.size() == base + size_t(((stamp - 10000000) * 131) % 7000);
}

bool WholePng(const std::string& s)
{
    if (s.size() < 8 || s.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return false;
    for (size_t at = 8; at + 12 <= s.size();) {
        const uint32_t n = (uint32_t(uint8_t(s[at])) << 24) | (uint32_t(uint8_t(s[at + 1])) << 16) |
                           (uint32_t(uint8_t(s[at + 2])) << 8) | uint8_t(s[at + 3]);
        if (n > s.size() - at - 12) return false;
        const auto* p = reinterpret_cast<const Bytef*>(s.data() + at + 4);
        const uint32_t crc = (uint32_t(uint8_t(s[at + 8 + n])) << 24) | (uint32_t(uint8_t(s[at + 9 + n])) << 16) |
                             (uint32_t(uint8_t(s[at + 10 + n])) << 8) | uint8_t(s[at + 11 + n]);
        if (crc32(0, p, uInt(n + 4)) != crc) return false;
        if (s.compare(at + 4, 4, "IEND") == 0) return at + 12 + n == s.size();
        at += 12 + n;
    }
    return false;
}

bool WholeScores(const std::string& s)
{
    if (s.size() < 8 || s.compare(0, 4, "HISC") != 0 || U32(s, 4) != s.size()) return false;
    size_t at = 8;
    for (int i = 0; i < 10; i++) {
        if (at + 4 > s.size()) return false;
        at += 4 + U32(s, at);
        if (at + 4 > s.size()) return false;
        at += 4;
    }
    return at == s.size();
}

struct WriterRow {
    const char* label;
    const char* file;
};
const WriterRow kWriters[] = {{"INI file", "m.ini"},     {"buffer_save", "m.bin"}, {"game_save", "m.sav"},
                              {"screen_save", "m.png"}, {"file_copy", "c.bin"},   {"high scores", "hiscore.dat"}};
constexpr int kWriterCount = int(std::size(kWriters));

bool Whole(int writer, const std::string& s, size_t saveBase)
{
    switch (writer) {
    case 0: return WholeIni(s);
    case 1:
    case 4: return WholeBuffer(s);
    case 2: return WholeSave(s, saveBase);
    case 3: return WholePng(s);
    default: return WholeScores(s);
    }
}

// ---- The game -----------------------------------------------------------------------------

// Each step: the INI file and the buffer read and checked, then every file written again with
// the step's stamp; at the end the counts go to r<writer>.txt.
const char* kCreate =
    "me = real(environment_get_variable('ZB_WRITER')); last = real(environment_get_variable('ZB_STEPS'));"
    " steps = 0; torn_ini = 0; torn_buf = 0; ini_reads = 0; buf_reads = 0; tail = ''; global.tok = ''; global.pad = '';"
    " highscore_add('writer ' + string(me) + string_repeat('w', me * 7), 1000 + me);";
const char* kStep =
    "var tok, st, ok, c, n, i, b, size, s2, f; steps += 1; stamp = me * 100000 + steps; tok = '#' + string(10000000 + stamp) + '#';"
    " ini_open('m.ini'); ini_reads += 1; c = ini_read_real('h', 'count', -1);"
    " if (c < 1) torn_ini += 1; else { st = ini_read_string('h', 'stamp', '?'); ok = ini_read_string('z', 'end', '') == st;"
    "   for (i = 0; i < c; i += 1) if (ini_read_string('k', 'k' + string(i), '') != st) ok = false;"
    "   if (ini_key_exists('k', 'k' + string(c))) ok = false; if (!ok) torn_ini += 1; }"
    " ini_section_delete('k'); n = 20 + (stamp * 37) mod 400;"
    " ini_write_string('h', 'stamp', tok); ini_write_real('h', 'count', n);"
    " for (i = 0; i < n; i += 1) ini_write_string('k', 'k' + string(i), tok);"
    " ini_write_string('z', 'end', tok); ini_close();"
    " b = -1; if (file_exists('m.bin')) b = buffer_load('m.bin'); if (b >= 0) { buf_reads += 1; size = buffer_get_size(b); ok = size >= 8;"
    "   if (ok) { ok = buffer_read(b, 5) == size; s2 = buffer_read(b, 5);"
    "     for (i = 8; ok && i < size; i += 1) if (buffer_read(b, 1) != (s2 + i) mod 251) ok = false; }"
    "   if (!ok) torn_buf += 1; buffer_delete(b); }"
    " size = 256 + (stamp * 53) mod 8000; b = buffer_create(size, 0, 1);"
    " buffer_write(b, 5, size); buffer_write(b, 5, stamp);"
    " for (i = 8; i < size; i += 1) buffer_write(b, 1, (stamp + i) mod 251);"
    " buffer_save(b, 'm.bin'); buffer_delete(b); file_copy('m.bin', 'c.bin');"
    " global.tok = tok; tail = tok; global.pad = string_repeat('p', (stamp * 131) mod 7000); game_save('m.sav');"
    " screen_save('m.png');"
    " if (steps >= last) { f = file_text_open_write('r' + string(me) + '.txt');"
    "   file_text_write_string(f, string(ini_reads) + ' ' + string(torn_ini) + ' ' + string(buf_reads) + ' ' + string(torn_buf));"
    "   file_text_close(f); game_end(); }";
const char* kDraw = "for (i = 0; i < (steps mod 24); i += 1) draw_rectangle(i * 2, i, i * 2 + 3 + me, i + 9, (i mod 2) == 0);";

std::string RunnerUnderTest()
{
    const char* r = std::getenv("ZB_MATRIX_RUNNER");
    return r && *r ? r : ZB_RUNNER_PATH;
}

struct Cell {
    int reads[kWriterCount] = {}, torn[kWriterCount] = {}; // the outside reader's
    bool left[kWriterCount] = {};                           // the file left whole
    int runnerReads = 0, runnerTorn = 0;                    // INI and buffer reads of the runners
    bool ran = true;
};

class WriterMatrix : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (geteuid() != 0) GTEST_SKIP() << "files of another user need root";
        user_ = Test_PlainUser();
        chmod(dir.Path().c_str(), 0755);
        const std::string manifest = R"({"name": "Writers", "window": {"width": 64, "height": 48},
          "objects": [{"name": "obj", "events": [{"type": "create", "code": ")" +
                                     std::string(kCreate) + R"("}, {"type": "step", "code": ")" + kStep +
                                     R"("}, {"type": "draw", "code": ")" + kDraw + R"("}]}],
          "rooms": [{"name": "rm", "width": 64, "height": 48, "speed": 1000, "instances": [{"object": "obj"}]}]})";
        Scratch_WriteFile(dir / "writers.json", manifest);
        std::string said;
        ASSERT_TRUE(e2e::Pack(dir / "writers.json", dir / "writers.win", "--bytecode", &said)) << said;
        chmod((dir / "writers.win").c_str(), 0644);
        // The earlier files: written by a run of the game's own (as root, two steps).
        const std::string seed = dir / "seed";
        mkdir(seed.c_str(), 0755);
        std::vector<pid_t> pids{Start(seed, 0, 2, false)};
        ASSERT_TRUE(WaitAll(pids)) << Scratch_ReadFile(dir / "err0.txt");
        for (const WriterRow& w : kWriters) {
            earlier_.push_back(Scratch_ReadFile(seed + "/Writers/" + w.file));
            ASSERT_FALSE(earlier_.back().empty()) << w.file << Scratch_ReadFile(dir / "err0.txt");
        }
        const std::vector<size_t> at = Stamps(earlier_[2]);
        ASSERT_EQ(at.size(), 2u);
        saveBase_ = earlier_[2].size() - size_t(((StampOf(earlier_[2], at[0]) - 10000000) * 131) % 7000);
        for (int w = 0; w < kWriterCount; w++) ASSERT_TRUE(Whole(w, earlier_[size_t(w)], saveBase_)) << kWriters[w].file;
    }

    // Starts the runner as writer number me for steps steps, its data folder data (the save
    // area data/Writers), as the plain user when asUser, under the file-size limit.
    pid_t Start(const std::string& data, int me, int steps, bool asUser)
    {
        std::vector<std::string> vars = {"PATH=/usr/bin:/bin", "HOME=" + data, "XDG_DATA_HOME=" + data,
                                         "SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy", "ALSOFT_DRIVERS=null",
                                         "MESA_SHADER_CACHE_DISABLE=true", "ZB_WRITER=" + std::to_string(me),
                                         "ZB_STEPS=" + std::to_string(steps)};
        for (char** e = environ; *e; ++e)
            if (std::strncmp(*e, "ASAN_OPTIONS=", 13) == 0 || std::strncmp(*e, "LSAN_OPTIONS=", 13) == 0) vars.emplace_back(*e);
        std::vector<char*> envp;
        for (std::string& v : vars) envp.push_back(v.data());
        envp.push_back(nullptr);
        std::string runner = RunnerUnderTest(), game = dir / "writers.win", log = dir / ("log" + std::to_string(me) + ".txt");
        std::string flag = "-game", output = "-output";
        char* argv[] = {runner.data(), flag.data(), game.data(), output.data(), log.data(), nullptr};
        const std::string err = dir / ("err" + std::to_string(me) + ".txt");
        unlink(log.c_str());
        unlink(err.c_str());
        const pid_t pid = fork();
        if (pid != 0) return pid;
        const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        const int o = open("/dev/null", O_WRONLY);
        if (e < 0 || o < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0) _exit(127);
        fchmod(e, 0666);
        if (asUser && !Test_BecomeUser(user_)) _exit(126);
        const rlimit limit{kFileLimit, kFileLimit};
        if (asUser && setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
        execve(runner.c_str(), argv, envp.data());
        _exit(127);
    }
    static bool WaitAll(const std::vector<pid_t>& pids)
    {
        bool ok = true;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (pid_t pid : pids) {
            int status = 0;
            while (waitpid(pid, &status, WNOHANG) == 0) {
                if (std::chrono::steady_clock::now() > end) kill(pid, SIGKILL);
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            ok &= WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
        return ok;
    }

    // Lays out the save area as kind says, plays writers runners and reads meanwhile.
    Cell Play(const std::string& kind, int writers)
    {
        Cell cell;
        const std::string data = dir / (kind + std::to_string(writers)), area = data + "/Writers",
                          second = dir / (kind + std::to_string(writers) + "-names");
        mkdir(data.c_str(), 0755);
        chown(data.c_str(), user_.uid, user_.gid);
        mkdir(area.c_str(), 0755);
        const bool roots = kind == "open" || kind == "sticky";
        chown(area.c_str(), roots ? 0 : user_.uid, roots ? 0 : user_.gid);
        chmod(area.c_str(), kind == "open" ? 0777 : kind == "sticky" ? 01777 : 0755);
        if (kind == "second") mkdir(second.c_str(), 0755);
        for (int w = 0; w < kWriterCount; w++) {
            const std::string file = area + "/" + kWriters[w].file;
            Scratch_WriteFile(file, earlier_[size_t(w)]);
            chown(file.c_str(), roots ? 0 : user_.uid, roots || kind == "group" ? 0 : user_.gid);
            chmod(file.c_str(), roots ? 0666 : kind == "group" ? 0664 : 0644);
            if (kind == "second") link(file.c_str(), (second + "/" + kWriters[w].file).c_str());
        }
        std::vector<pid_t> pids;
        for (int me = 1; me <= writers; me++) pids.push_back(Start(data, me, kSteps, true));
        // The outside reader: plain reads, no lock, until the runners are gone.
        std::atomic<bool> done{false};
        std::thread reader([&] {
            while (!done.load()) {
                for (int w = 0; w < kWriterCount; w++) {
                    const std::string s = Scratch_ReadFile(area + "/" + kWriters[w].file);
                    cell.reads[w]++;
                    if (!Whole(w, s, saveBase_)) cell.torn[w]++;
                }
            }
        });
        cell.ran = WaitAll(pids);
        done = true;
        reader.join();
        for (int w = 0; w < kWriterCount; w++) cell.left[w] = Whole(w, Scratch_ReadFile(area + "/" + kWriters[w].file), saveBase_);
        for (int me = 1; me <= writers; me++) {
            int iniReads = 0, iniTorn = 0, bufReads = 0, bufTorn = 0;
            const std::string r = Scratch_ReadFile(area + "/r" + std::to_string(me) + ".txt");
            if (std::sscanf(r.c_str(), "%d %d %d %d", &iniReads, &iniTorn, &bufReads, &bufTorn) != 4) cell.ran = false;
            cell.runnerReads += iniReads + bufReads;
            cell.runnerTorn += iniTorn + bufTorn;
        }
        for (const std::string& name : Scratch_List(area))
            if (name[0] == '.') cell.ran = false; // a temporary left
        if (kind == "second")
            for (int w = 0; w < kWriterCount; w++)
                cell.left[w] = cell.left[w] && Scratch_ReadFile(second + "/" + kWriters[w].file) ==
                                                   Scratch_ReadFile(area + "/" + kWriters[w].file);
        return cell;
    }

    ScratchFolder dir;
    TestUser user_{65534, 65534};
    std::vector<std::string> earlier_;
    size_t saveBase_ = 0;
};

} // namespace

TEST_F(WriterMatrix, NoRunnerReadsAHalfWrittenFileAndNoneIsLeftOrCut)
{
    const char* kinds[][2] = {{"own", "own folder"},
                              {"open", "0777 folder, another user's file"},
                              {"sticky", "sticky folder, another user's file"},
                              {"second", "second name"},
                              {"group", "another group"}};
    std::ostringstream table;
    table << "runner " << RunnerUnderTest() << "\n"
          << "| where | runners | runner reads torn (of) | outside reads torn: INI / buffer / save / PNG / copy / scores | left whole |\n"
          << "|---|---|---|---|---|\n";
    for (const auto& kind : kinds) {
        for (int writers : {1, 3}) {
            const Cell c = Play(kind[0], writers);
            table << "| " << kind[1] << " | " << writers << " | " << c.runnerTorn << " (" << c.runnerReads << ") | ";
            int leftWhole = 0;
            for (int w = 0; w < kWriterCount; w++) {
                table << (w ? " / " : "") << c.torn[w] << " (" << c.reads[w] << ")";
                leftWhole += c.left[w];
            }
            table << " | " << leftWhole << " of " << kWriterCount << (c.ran ? "" : ", a run failed or left a temporary") << " |\n";
            const std::string where = std::string(kind[1]) + ", " + std::to_string(writers) + " runner(s)";
            EXPECT_TRUE(c.ran) << where << ": " << Scratch_ReadFile(dir / "err1.txt");
            EXPECT_EQ(c.runnerTorn, 0) << where;
            EXPECT_EQ(leftWhole, kWriterCount) << where;
            // Renamed into place (or refused): an outside reader sees whole files too. Written
            // in place (another user's file in a sticky folder), it may see a mix.
            if (std::string(kind[0]) != "sticky") {
                for (int w = 0; w < kWriterCount; w++) EXPECT_EQ(c.torn[w], 0) << where << ", " << kWriters[w].label;
            }
        }
    }
    std::cout << table.str();
}
