// The window's close and a signal are the run's quit alike: asked while a frame waits at a
// room speed of 1, with the game's INI file locked for ever by another process, the room end
// event reads and writes it at once and the game end event goes on past a program that never
// ends, past keyboard_wait and past a message on the screen; the run is gone within a second.
//
// A quit never cuts a save short, as a property: random games whose steps, alarm, room end and
// game end write files of random sizes (text line by line, text in one piece, buffers; up to
// tens of megabytes) and then a record of what they wrote, some looping for ever after their
// writes, quit by SIGTERM, SIGINT, SIGHUP or the window's close at a random moment, now and
// then two at once. ZB_QUIT_PLAYS plays (default 24), ZB_QUIT_JOBS at once (default 3), drawn
// from ZB_PROPERTY_SEED; ZB_WINDOWED_RUNNER plays another build.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "support/PropertySeed.h"
#include "windowed/WindowedTest.h"

using Windowed = WindowedTest;

namespace {

// Plays the game to "ready", locks its INI file, quits it by quit(game) and checks the end.
void QuitAndCheck(const XSession& x, const ScratchFolder& dir, const std::string& game_file,
                  const std::function<void(WindowedRunner&)>& quit, int code, int signal)
{
    const std::string area = dir / "xdg/QuitWaitsGame";
    Scratch_WriteFile(area + "/f.ini", "[s]\r\nk=old\r\n");
    WindowedRunner game(x, game_file, dir.Path());
    ASSERT_FALSE(game.Window().empty()) << game.NoWindow();
    ASSERT_TRUE(game.WaitForLog("ready"));
    const int lock = open((area + "/f.ini").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    const auto asked = std::chrono::steady_clock::now();
    quit(game);
    EXPECT_EQ(game.Wait(), code);
    EXPECT_EQ(game.Signal(), signal);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
    close(lock);
    if (const int child = std::atoi(Scratch_ReadFile(dir / "child.pid").c_str()); child > 0) kill(child, SIGKILL);
    EXPECT_LT(seconds, 1.0 * e2e::kSanitizerSlower);
    const std::string log = game.Log();
    EXPECT_NE(log.find("read old\n"), std::string::npos) << log;
    EXPECT_NE(log.find("after the program\n"), std::string::npos) << log;
    EXPECT_NE(log.find("game end done\n"), std::string::npos) << log;
    EXPECT_NE(Scratch_ReadFile(area + "/f.ini").find("k=new"), std::string::npos);
}

} // namespace

TEST_F(Windowed, TheWindowsCloseEndsEveryWaitOfTheEndEvents)
{
    QuitAndCheck(x, dir, Game("quitwaits"), [](WindowedRunner& g) { ASSERT_TRUE(g.RequestClose()); }, 0, 0);
}

TEST_F(Windowed, ASignalEndsEveryWaitOfTheEndEvents)
{
    QuitAndCheck(x, dir, Game("quitwaits"), [](WindowedRunner& g) { g.Kill(SIGTERM); }, -1, SIGTERM);
}

namespace {

using Clock = std::chrono::steady_clock;

// One file a writer makes: text of `amount` percent of the lines the game writes in 50 ms (0),
// a buffer of `amount` bytes of 7 (1), or `amount` bytes of 'z' in one piece then an "end" line (2).
struct Write {
    std::string name;
    int kind;
    long amount;
};

// One random game: its room speed, the steps at which its step event writes, the step its
// alarm fires at, what each event writes, and where it loops for ever after its writes ("").
struct QuitGame {
    int speed = 30;
    int steps[2] = {0, 0}, alarm = 0, loopStep = 0;
    std::map<std::string, std::vector<Write>> writes; // "step0", "step1", "alarm", "room end", "game end"
    std::string loop;                                 // one of those, or ""

    explicit QuitGame(std::mt19937& random)
    {
        auto pick = [&](int n) { return int(random() % uint32_t(n)); };
        speed = pick(2) ? 30 : 60;
        steps[0] = 1 + pick(40), steps[1] = 1 + pick(60), alarm = 1 + pick(50);
        loopStep = 10 + pick(40); // after the window is shown (a game looping in its first steps shows none)
        int made = 0;
        for (const char* event : {"step0", "step1", "alarm", "room end", "game end"}) {
            const bool end = std::string(event).find("end") != std::string::npos;
            for (int k = pick(2) + (end ? 1 : 0); k > 0; --k) {
                const int kind = pick(3);
                const long amount = kind == 0 ? 10 + pick(140) : kind == 1 ? 1 + pick(24000000) : 1 + pick(16000000);
                writes[event].push_back({"f" + std::to_string(made++) + (kind == 1 ? ".bin" : ".txt"), kind, amount});
            }
        }
        const char* loops[] = {"step", "alarm", "room end", "game end"};
        if (pick(5) < 2) loop = loops[pick(4)];
    }

    // The event's code: its writes, then their record, then its loop.
    std::string Code(const std::string& event) const
    {
        std::string code, record;
        for (const Write& w : writes.count(event) ? writes.at(event) : std::vector<Write>()) {
            code += "r" + w.name.substr(1, w.name.find('.') - 1) + " = scr_write('" + w.name + "', " + std::to_string(w.kind) +
                    ", " + std::to_string(w.amount) + "); ";
            record += "ini_write_real('files', '" + w.name + "', r" + w.name.substr(1, w.name.find('.') - 1) + "); ";
        }
        if (!record.empty()) code += "ini_open('record.ini'); " + record + "ini_close(); ";
        if (loop == event) code += std::string("show_debug_message('") + (event.find("end") != std::string::npos ? "end " : "") +
                                   "looping'); while (true) {} ";
        return code;
    }

    std::string Manifest() const
    {
        const std::string write =
            "var f, i, b, n; show_debug_message('begin ' + argument0); n = argument2;"
            " if (argument1 == 0) { n = floor(global.k * argument2 / 100); f = file_text_open_write(argument0);"
            " for (i = 0; i < n; i += 1) { file_text_write_string(f, 'line ' + string(i)); file_text_writeln(f); }"
            " file_text_write_string(f, 'end'); file_text_close(f); }"
            " if (argument1 == 1) { b = buffer_create(n, 0, 1); buffer_fill(b, 0, 1, 7, n); buffer_save(b, argument0); buffer_delete(b); }"
            " if (argument1 == 2) { f = file_text_open_write(argument0); file_text_write_string(f, string_repeat('z', n));"
            " file_text_writeln(f); file_text_write_string(f, 'end'); file_text_close(f); }"
            " return n;";
        // The lines this machine writes in 50 ms: the text writes are a share of them, so that
        // none takes near the grace on any machine.
        const std::string create =
            "var t, f; global.k = 0; t = current_time; f = file_text_open_write('cal.txt');"
            " while (current_time - t < 50) { file_text_write_string(f, 'line ' + string(global.k)); file_text_writeln(f); global.k += 1; }"
            " file_text_close(f); n = 0; alarm[0] = " + std::to_string(alarm) + "; show_debug_message('ready');";
        std::string step = "n += 1; if (n == " + std::to_string(steps[0]) + ") { " + Code("step0") + "} if (n == " +
                           std::to_string(steps[1]) + ") { " + Code("step1") + "} ";
        if (loop == "step") step += "if (n == " + std::to_string(loopStep) + ") { show_debug_message('looping'); while (true) {} }";
        auto event = [](const std::string& kind, int number, const std::string& code) {
            return R"({"type": ")" + kind + R"(", "number": )" + std::to_string(number) + R"(, "code": ")" + code + "\"}";
        };
        const std::string speedText = std::to_string(speed);
        return R"({"name": "QuitSaves", "window": {"width": 160, "height": 120}, "objects": [{"name": "obj", "events": [)" +
               event("create", 0, create) + ", " + event("step", 0, step) + ", " + event("alarm", 0, Code("alarm")) + ", " +
               event("other", 5, Code("room end")) + ", " + event("other", 3, Code("game end")) +
               R"(]}], "scripts": [{"name": "scr_write", "code": ")" + write + R"("}],
               "rooms": [{"name": "rm", "width": 160, "height": 120, "speed": )" + speedText + R"(, "instances": [{"object": "obj"}]}]})";
    }
};

// Whether a file holds what its writer makes of `recorded` (lines or bytes).
bool Whole(const Write& w, const std::string& content, long recorded)
{
    if (recorded <= 0) return false;
    if (w.kind == 1) return content.size() == size_t(recorded) && content.find_first_not_of('\x07') == std::string::npos;
    if (w.kind == 2) return content == std::string(size_t(recorded), 'z') + "\r\nend";
    std::string expected;
    for (long i = 0; i < recorded; ++i) expected += "line " + std::to_string(i) + "\r\n";
    return content == expected + "end";
}

const char* QuitName(int quit) { return quit == 0 ? "close" : quit == SIGTERM ? "TERM" : quit == SIGINT ? "INT" : "HUP"; }

} // namespace

// Every file a writer began is whole and recorded, every record matches its file, the game end
// event ran (two quits at once are one request), and the run ends within the running code's
// grace plus a second; when the end events loop, within their grace more after a signal, and
// at once when the player asks again (always after a close: its end has no limit).
TEST(WindowedQuitSaves, AQuitNeverCutsASaveShort)
{
    {
        XSession probe;
        if (!probe.Ok()) GTEST_SKIP() << probe.Why();
    }
    const uint32_t seed = Property_Seed(6402);
    const size_t plays = size_t(Windowed_EnvNumber("ZB_QUIT_PLAYS", 24));
    const double slower = e2e::kSanitizerSlower;
    ScratchFolder dir;
    const std::vector<std::string> results =
        Windowed_PlayAll(plays, int(Windowed_EnvNumber("ZB_QUIT_JOBS", 3)), [&](size_t i) -> std::string {
            std::mt19937 random(seed + uint32_t(i));
            const QuitGame plan(random);
            const int quits[] = {0, SIGTERM, SIGINT, SIGHUP};
            const int first = quits[random() % 4], second = random() % 3 == 0 ? quits[random() % 4] : -1;
            const int delay = int(random() % 1500);
            const bool askAgain = plan.loop.find("end") != std::string::npos && (first == 0 || random() % 2 != 0);
            const std::string folder = dir / ("play" + std::to_string(i)), game = folder + "/game.win";
            std::filesystem::create_directories(folder);
            Scratch_WriteFile(folder + "/game.json", plan.Manifest());
            std::string said;
            if (!e2e::Pack(folder + "/game.json", game, "--bytecode", &said)) return "not packed: " + said;
            XSession x;
            if (!x.Ok()) return "no X server: " + x.Why();
            WindowedRunner run(x, game, folder);
            if (run.Window().empty()) return "no window: " + run.NoWindow();
            if (!run.WaitForLog("ready")) return "not ready: " + run.Log();
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            auto send = [&](int quit) { quit ? run.Kill(quit) : void(run.RequestClose()); };
            const auto sent = Clock::now();
            send(first);
            if (second >= 0) send(second);
            // The running code's grace, then a second; the end's grace more when it loops after a
            // signal; a second after the player asks again.
            const bool endLoops = plan.loop.find("end") != std::string::npos;
            double limit = 1.0 + slower + (endLoops && (first > 0 || second > 0) ? 5.0 : 0.0);
            if (askAgain && run.WaitForLog("end looping", int(10 * slower))) {
                // Past the half second in which requests are one, counted from when the runner
                // took the first (a window's close is taken at the next pump, late on a loaded
                // machine): the player asks again while the game goes on, three times at most.
                std::this_thread::sleep_until(std::max(Clock::now(), sent + std::chrono::milliseconds(1200)));
                for (int k = 0; k < 3 && run.Running(); ++k) {
                    if (k) std::this_thread::sleep_for(std::chrono::milliseconds(600));
                    limit = std::chrono::duration<double>(Clock::now() - sent).count() + slower;
                    if (run.Running()) send(first);
                }
            }
            const int code = run.Wait();
            const double seconds = std::chrono::duration<double>(Clock::now() - sent).count();

            std::string why;
            // Ended by a signal sent (two at once arrive in the kernel's order), else with 0.
            const bool signalled = first > 0 || second > 0;
            if (signalled ? run.Signal() <= 0 || (run.Signal() != first && run.Signal() != second) : run.Signal() != 0 || code != 0)
                why += "ended with " + std::to_string(code) + " (signal " + std::to_string(run.Signal()) + "); ";
            if (seconds > limit) why += "ended after " + std::to_string(seconds) + " s, not within " + std::to_string(limit) + "; ";
            const std::string area = folder + "/xdg/QuitSaves/", log = run.Log(), record = Scratch_ReadFile(area + "record.ini");
            for (const auto& [event, writes] : plan.writes) {
                for (const Write& w : writes) {
                    const bool begun = log.find("begin " + w.name + "\n") != std::string::npos;
                    const size_t at = record.find("\n" + w.name + "=");
                    const long recorded = at == std::string::npos ? -1 : std::atol(record.c_str() + at + w.name.size() + 2);
                    if (event == "game end" && !begun && plan.loop != "room end") why += "the game end event did not write " + w.name + "; ";
                    if (begun && recorded < 0) why += event + " began " + w.name + " and did not record it; ";
                    if (recorded >= 0 && !Whole(w, Scratch_ReadFile(area + w.name), recorded))
                        why += event + " recorded " + w.name + " but it is not whole; ";
                }
            }
            if (why.empty()) {
                std::filesystem::remove_all(folder); // tens of megabytes a play
                return "";
            }
            std::ostringstream note;
            note << "seed " << seed + i << ", " << QuitName(first) << (second >= 0 ? std::string(" + ") + QuitName(second) : "")
                 << " after " << delay << " ms, loop in [" << plan.loop << "]: " << why << "the log's end:\n"
                 << log.substr(log.size() > 400 ? log.size() - 400 : 0);
            return note.str();
        });
    size_t right = 0;
    for (const std::string& r : results) right += r.empty();
    std::printf("%zu of %zu plays right (runner %s)\n", right, plays, WindowedRunner::RunnerPath());
    for (const std::string& r : results) EXPECT_EQ(r, "");
}
