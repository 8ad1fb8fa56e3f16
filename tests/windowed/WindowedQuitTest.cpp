// The window's close and a signal are the run's quit alike: asked while a frame waits at a
// room speed of 1, with the game's INI file locked for ever by another process, the room end
// event reads and writes it at once and the game end event goes on past a program that never
// ends, past keyboard_wait and past a message on the screen; the run is gone at once (within the
// margin its start measured: e2e::EndMargin).
//
// A quit never cuts a save short, as a property: random games whose steps, alarm, room end and
// game end write files of random sizes (text line by line, text in one piece, buffers; shares
// of what the machine writes in 50 ms, up to tens of megabytes) and then a record of what they
// wrote, some looping for ever after their writes, quit by SIGTERM, SIGINT, SIGHUP or the
// window's close at a random moment while they play, by a signal while they load, or once the
// end events run that the game began itself (game_end, the frame limit); now and then two at
// once (two different signals among them). ZB_QUIT_PLAYS plays (default 24), ZB_QUIT_JOBS at
// once (default 3), drawn from ZB_PROPERTY_SEED; ZB_WINDOWED_RUNNER plays another build.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "Files/Base/QuitRequest.h"
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
    const auto spawned = std::chrono::steady_clock::now();
    WindowedRunner game(x, game_file, dir.Path());
    ASSERT_FALSE(game.Window().empty()) << game.NoWindow();
    ASSERT_TRUE(game.WaitForLog("ready"));
    const double started = std::chrono::duration<double>(std::chrono::steady_clock::now() - spawned).count();
    const int lock = open((area + "/f.ini").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    const auto asked = std::chrono::steady_clock::now();
    game.MarkLoad();
    quit(game);
    EXPECT_EQ(game.Wait(), code);
    EXPECT_EQ(game.Signal(), signal);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
    close(lock);
    if (const int child = std::atoi(Scratch_ReadFile(dir / "child.pid").c_str()); child > 0) kill(child, SIGKILL);
    EXPECT_LT(seconds, e2e::EndMargin(started, game.Lost())); // every wait ends at once
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
using e2e::EndMargin;
// The grace of the code running when the first request came, and of the end events after a
// signal.
constexpr double kGrace = double(kQuitEventGrace) / 1e6, kEndGrace = double(kQuitEndGrace) / 1e6;

// One file a writer makes, `amount` percent (1 to 150) of what this machine writes of its kind
// in 50 ms (measured by the game at its start, on the build that plays it, so that no write takes
// near a grace on any build): text line by line (0), a buffer of 7s (1, at most 24 MB), or 'z's
// in one piece then an "end" line (2, at most 16 MB).
struct Write {
    std::string name;
    int kind;
    long amount;
};

// When the player quits: while the game plays (its steps), while it loads (a signal at a
// random moment after the runner's start), or once the end events run that the game began
// itself (game_end at step endStep, or the frame limit at that frame).
enum class When { Playing, Loading, GameEnd, FrameLimit };

// One random game: its room speed, the steps at which its step event writes, the step its
// alarm fires at, what each event writes, and where it loops for ever after its writes ("").
struct QuitGame {
    int speed = 30;
    int steps[2] = {0, 0}, alarm = 0, loopStep = 0, endStep = 0;
    When when = When::Playing;
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
                writes[event].push_back({"f" + std::to_string(made++) + (kind == 1 ? ".bin" : ".txt"), kind, 1 + pick(150)});
            }
        }
        const char* loops[] = {"step", "alarm", "room end", "game end"};
        if (pick(5) < 2) loop = loops[pick(4)];
        const int when_ = pick(8);
        when = when_ < 4 ? When::Playing : when_ < 6 ? When::Loading : when_ < 7 ? When::GameEnd : When::FrameLimit;
        endStep = 5 + pick(40);
        if (when == When::Loading) loop = "";
        // The game ends by itself and its end events loop: the player's quit comes while they run.
        if (when == When::GameEnd || when == When::FrameLimit) loop = pick(2) ? "room end" : "game end";
    }

    // Writes of the end events, and how long they take at most at the pace the game measured.
    double EndWork() const
    {
        double seconds = 0;
        for (const char* event : {"room end", "game end"})
            if (writes.count(event))
                for (const Write& w : writes.at(event)) seconds += 0.05 * double(w.amount) / 100;
        return seconds;
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
        // argument2 percent of what global.k[kind] measured.
        const std::string write =
            "var f, i, b, n; show_debug_message('begin ' + argument0); n = max(1, floor(global.k[argument1] * argument2 / 100));"
            " if (argument1 == 1) n = min(n, 24000000); if (argument1 == 2) n = min(n, 16000000);"
            " if (argument1 == 0) { f = file_text_open_write(argument0);"
            " for (i = 0; i < n; i += 1) { file_text_write_string(f, 'line ' + string(i)); file_text_writeln(f); }"
            " file_text_write_string(f, 'end'); file_text_close(f); }"
            " if (argument1 == 1) { b = buffer_create(n, 0, 1); buffer_fill(b, 0, 1, 7, n); buffer_save(b, argument0); buffer_delete(b); }"
            " if (argument1 == 2) { f = file_text_open_write(argument0); file_text_write_string(f, string_repeat('z', n));"
            " file_text_writeln(f); file_text_write_string(f, 'end'); file_text_close(f); }"
            " return n;";
        // What this machine writes of each kind in 50 ms, written as the writes do: lines,
        // buffers of 64 KB saved, texts of 64 KB in one piece (never more than the caps).
        const std::string create =
            "var t, f, b; show_debug_message('create'); global.k[0] = 0; t = current_time; f = file_text_open_write('cal.txt');"
            " while (current_time - t < 50) { file_text_write_string(f, 'line ' + string(global.k[0])); file_text_writeln(f); global.k[0] += 1; }"
            " file_text_close(f); global.k[1] = 0; b = buffer_create(65536, 0, 1); t = current_time;"
            " while (current_time - t < 50 && global.k[1] < 24000000) { buffer_fill(b, 0, 1, 7, 65536); buffer_save(b, 'cal.bin'); global.k[1] += 65536; }"
            " buffer_delete(b); global.k[2] = 0; t = current_time;"
            " while (current_time - t < 50 && global.k[2] < 16000000) { f = file_text_open_write('cal.txt'); file_text_write_string(f, string_repeat('z', 65536));"
            " file_text_close(f); global.k[2] += 65536; }"
            " n = 0; alarm[0] = " + std::to_string(alarm) + "; show_debug_message('ready');";
        std::string step = "n += 1; if (n == " + std::to_string(steps[0]) + ") { " + Code("step0") + "} if (n == " +
                           std::to_string(steps[1]) + ") { " + Code("step1") + "} ";
        if (loop == "step") step += "if (n == " + std::to_string(loopStep) + ") { show_debug_message('looping'); while (true) {} }";
        if (when == When::GameEnd) step += "if (n == " + std::to_string(endStep) + ") game_end();";
        auto event = [](const std::string& kind, int number, const std::string& code) {
            return R"({"type": ")" + kind + R"(", "number": )" + std::to_string(number) + R"(, "code": ")" + code + "\"}";
        };
        const std::string speedText = std::to_string(speed);
        return R"({"name": "QuitSaves", "window": {"width": 160, "height": 120}, "objects": [{"name": "obj", "events": [)" +
               event("create", 0, create) + ", " + event("step", 0, step) + ", " + event("alarm", 0, Code("alarm")) + ", " +
               event("other", 5, "show_debug_message('end begins'); " + Code("room end")) + ", " +
               event("other", 3, Code("game end")) + R"(]}], "scripts": [{"name": "scr_write", "code": ")" + write + R"("}],
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
const char* WhenName(When when)
{
    return when == When::Playing ? "playing" : when == When::Loading ? "loading" : when == When::GameEnd ? "game_end" : "frame limit";
}

// The signals the log names: each "Quit requested by signal N" line's N, in order.
std::vector<int> SaidSignals(const std::string& log)
{
    std::vector<int> said;
    const std::string line = "Quit requested by signal ";
    for (size_t at = 0; (at = log.find(line, at)) != std::string::npos; at += line.size()) said.push_back(std::atoi(log.c_str() + at + line.size()));
    return said;
}

} // namespace

// Every file a writer began is whole and recorded, every record matches its file, the game end
// event ran (two quits at once are one request), and the run ends within the running code's
// grace, the end events' writes and the margin its start measured; when the end events loop,
// within their grace more after a signal, and at once when the player asks again (always
// after a close: its end has no limit). A signal while the game loads ends the run before any
// of its code, or, once its code ran, as while it plays. A quit once the end events run that
// the game began itself (game_end, the frame limit) ends the run at once: what their writes
// recorded is whole, and nothing more is asked of them. The run ends by the first signal sent
// (of two back to back, the system hands the lower number over first when both came before
// the runner took either), and the log names each signal's request by its own number, the
// first's first.
TEST(WindowedQuitSaves, AQuitNeverCutsASaveShort)
{
    {
        XSession probe;
        if (!probe.Ok()) GTEST_SKIP() << probe.Why();
    }
    const uint32_t seed = Property_Seed(6402);
    const size_t plays = size_t(Windowed_EnvNumber("ZB_QUIT_PLAYS", 24));
    ScratchFolder dir;
    std::atomic<int> byWhen[4] = {}, beforeCode{0}; // plays by When; loading plays ended before any game code
    const std::vector<std::string> results =
        Windowed_PlayAll(plays, int(Windowed_EnvNumber("ZB_QUIT_JOBS", 3)), [&](size_t i) -> std::string {
            std::mt19937 random(seed + uint32_t(i));
            const QuitGame plan(random);
            const int quits[] = {0, SIGTERM, SIGINT, SIGHUP};
            const bool loading = plan.when == When::Loading, ending = plan.when == When::GameEnd || plan.when == When::FrameLimit;
            // While it loads the game has no window to close yet; two quits back to back are
            // now and then another signal.
            const int first = quits[loading ? 1 + random() % 3 : random() % 4];
            const int second = random() % 3 == 0 ? quits[random() % 4] : -1;
            const int delay = int(random() % (loading ? 300 : ending ? 300 : 1500));
            const bool askAgain = plan.when == When::Playing && plan.loop.find("end") != std::string::npos &&
                                  (first == 0 || random() % 2 != 0);
            const std::string folder = dir / ("play" + std::to_string(i)), game = folder + "/game.win";
            std::filesystem::create_directories(folder);
            Scratch_WriteFile(folder + "/game.json", plan.Manifest());
            std::string said;
            if (!e2e::Pack(folder + "/game.json", game, "--bytecode", &said)) return "not packed: " + said;
            XSession x;
            if (!x.Ok()) return "no X server: " + x.Why();
            std::vector<std::string> env;
            if (plan.when == When::FrameLimit) env.push_back("ZIMBREL_MAX_FRAMES=" + std::to_string(plan.endStep));
            WindowedRunner run(x, game, folder, {}, env);
            double started = 0;
            if (!loading) {
                if (run.Window().empty()) return "no window: " + run.NoWindow();
                if (!run.WaitForLog("ready")) return "not ready: " + run.Log();
                started = run.SinceStart();
                if (ending && !run.WaitForLog("end begins")) return "the end events did not begin: " + run.Log();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            auto send = [&](int quit) { quit ? run.Kill(quit) : void(run.RequestClose()); };
            const auto sent = Clock::now();
            send(first);
            if (second >= 0) send(second);
            // The rule's time: the running code's grace and the end events' writes; the end's
            // grace more when it loops after a signal; none once the end events run already, or
            // after the player asks again. What the machine's load takes from the run counts
            // from its end on (the margin).
            const bool endLoops = plan.loop.find("end") != std::string::npos;
            double rule = (ending ? 0.0 : kGrace + 2 * plan.EndWork()) +
                          (plan.when == When::Playing && endLoops && (first > 0 || second > 0) ? kEndGrace : 0.0);
            bool marked = false;
            if (askAgain && run.WaitForLog("end looping")) {
                // Past the half second in which requests are one, counted from when the runner
                // took the first (a window's close is taken at the next pump, late on a loaded
                // machine): the player asks again while the game goes on, three times at most.
                std::this_thread::sleep_until(std::max(Clock::now(), sent + std::chrono::milliseconds(1200)));
                for (int k = 0; k < 3 && run.Running(); ++k) {
                    if (k) std::this_thread::sleep_for(std::chrono::milliseconds(600));
                    rule = std::chrono::duration<double>(Clock::now() - sent).count();
                    run.MarkLoad();
                    marked = true;
                    if (run.Running()) send(first);
                }
            }
            if (!marked) {
                // Marked where the rule's time ends (the load before it is the rule's to bear).
                while (run.Running() && std::chrono::duration<double>(Clock::now() - sent).count() < rule)
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                run.MarkLoad();
            }
            const int code = run.Wait();
            const double seconds = std::chrono::duration<double>(Clock::now() - sent).count();
            const double limit = rule + EndMargin(started, run.Lost());

            std::string why;
            // Ended by the first signal sent (of two different ones sent back to back, the lower
            // number may have come first), else with 0.
            std::vector<int> signals;
            for (int q : {first, second})
                if (q > 0) signals.push_back(q);
            std::set<int> by;
            if (!signals.empty()) by.insert(signals[0]);
            if (signals.size() == 2 && signals[1] < signals[0]) by.insert(signals[1]);
            if (signals.empty() ? run.Signal() != 0 || code != 0 : !by.count(run.Signal()))
                why += "ended with " + std::to_string(code) + " (signal " + std::to_string(run.Signal()) + "); ";
            // Loading plays have no margin measured: the patience of the wait bounds them.
            if (!loading && seconds > limit) why += "ended after " + std::to_string(seconds) + " s, not within " + std::to_string(limit) + "; ";
            const std::string area = folder + "/xdg/QuitSaves/", log = run.Log(), record = Scratch_ReadFile(area + "record.ini");
            // Each signal's request named by its own number (a signal sent, no more often than
            // sent), the one the run ended by first.
            const std::vector<int> named = SaidSignals(log);
            for (int s : named)
                if (std::count(named.begin(), named.end(), s) > std::count(signals.begin(), signals.end(), s) + (askAgain ? 3 : 0))
                    why += "the log named signal " + std::to_string(s) + " more often than it was sent; ";
            if (!named.empty() && run.Signal() > 0 && named[0] != run.Signal())
                why += "the log named signal " + std::to_string(named[0]) + " first; ";
            const bool created = log.find("create\n") != std::string::npos;
            ++byWhen[int(plan.when)];
            if (loading && !created) ++beforeCode;
            if (loading && !created) {
                // Taken while the game loaded: none of its code ran.
                if (log.find("begin ") != std::string::npos || log.find("end begins") != std::string::npos ||
                    Scratch_Exists(area + "record.ini"))
                    why += "the game's code ran after a signal while it loaded; ";
            } else if (created && log.find("ready\n") == std::string::npos) {
                why += "the create code began and was cut short; ";
            }
            for (const auto& [event, writes] : plan.writes) {
                const bool endEvent = event.find("end") != std::string::npos;
                for (const Write& w : writes) {
                    const bool begun = log.find("begin " + w.name + "\n") != std::string::npos;
                    const size_t at = record.find("\n" + w.name + "=");
                    const long recorded = at == std::string::npos ? -1 : std::atol(record.c_str() + at + w.name.size() + 2);
                    // A quit while the end events run that the game began cuts them where they are.
                    const bool mayBeCut = ending && endEvent;
                    if (event == "game end" && created && !begun && plan.loop != "room end" && !mayBeCut)
                        why += "the game end event did not write " + w.name + "; ";
                    if (begun && recorded < 0 && !mayBeCut) why += event + " began " + w.name + " and did not record it; ";
                    if (recorded >= 0 && !Whole(w, Scratch_ReadFile(area + w.name), recorded))
                        why += event + " recorded " + w.name + " but it is not whole; ";
                }
            }
            if (why.empty()) {
                std::filesystem::remove_all(folder); // tens of megabytes a play
                return "";
            }
            std::ostringstream note;
            note << "seed " << seed + i << ", " << WhenName(plan.when) << ", " << QuitName(first)
                 << (second >= 0 ? std::string(" + ") + QuitName(second) : "") << " after " << delay << " ms, loop in ["
                 << plan.loop << "]: " << why << "the log's end:\n"
                 << log.substr(log.size() > 400 ? log.size() - 400 : 0);
            return note.str();
        });
    size_t right = 0;
    for (const std::string& r : results) right += r.empty();
    std::printf("%zu of %zu plays right (runner %s): %d playing, %d loading (%d of them ended before any of the game's code), "
                "%d after game_end, %d after the frame limit\n",
                right, plays, WindowedRunner::RunnerPath(), byWhen[0].load(), byWhen[1].load(), beforeCode.load(), byWhen[2].load(),
                byWhen[3].load());
    for (const std::string& r : results) EXPECT_EQ(r, "");
}
