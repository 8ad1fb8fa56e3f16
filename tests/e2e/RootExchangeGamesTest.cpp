// End to end: a game played as root over a user's save area that is missing, partly missing
// or there, while the user swaps a folder on the way (~/.local, share, the save area itself or
// a folder in it, each in turn) with a link to a folder of root's, flat out
// (tests/support/ExchangeRace.h).
// The game reaches every writer of the runner (ini_close, buffer_save, file_text_open_write,
// file_bin_open, game_save, screen_save, file_copy, directory_create, the high-score table at
// the game's end), one a step for 36 steps, the one that makes the folders chosen at random,
// so most writes come after the save area was opened. No folder outside the save area may
// change owner or mode, or get anything written into it, in any run.
// ZB_PROPERTY_SEED changes the seed, ZB_EXCHANGE_RUNS the number of runs (100), ZB_RUNNER the runner played
// (an older build, to compare).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "E2EGames.h"
#include "support/ExchangeRace.h"
#include "support/ScratchFolder.h"

extern char** environ;

namespace {

// The writers, each a statement of the game; the run starts with writer ZB_FIRST.
const char* const kWriters[] = {
    "ini_open('sub/deeper/a.ini'); ini_write_real('s', 'k', 1); ini_close();",
    "b = buffer_create(16, 0, 1); buffer_write(b, 5, 7); buffer_save(b, 'sub/deeper/b.bin'); buffer_delete(b);",
    "f = file_text_open_write('sub/deeper/t.txt'); file_text_write_string(f, 'x'); file_text_close(f);",
    "f = file_bin_open('sub/deeper/u.bin', 1); file_bin_write_byte(f, 1); file_bin_close(f);",
    "game_save('sub/deeper/g.sav');",
    "screen_save('sub/deeper/s.png');",
    "file_copy('sub/deeper/b.bin', 'sub/deeper/c.bin');",
    "directory_create('sub/deeper/dir');",
    "highscore_add('me', 5); highscore_clear(); highscore_add('me', 6);",
};
constexpr int kWriterCount = int(std::size(kWriters));

} // namespace

TEST(RootExchangeGames, NothingOutsideTheSaveAreaIsWrittenOrGivenInAHundredRuns)
{
    if (geteuid() != 0) GTEST_SKIP() << "a run as root over a user's folders needs root";
    ScratchFolder dir;
    chmod(dir.Path().c_str(), 0755);
    const std::string create = "first = real(environment_get_variable('ZB_FIRST')); n = 0;";
    std::string step = "w = (first + n) mod " + std::to_string(kWriterCount) + ";";
    for (int w = 0; w < kWriterCount; w++) step += " if (w == " + std::to_string(w) + ") { " + kWriters[w] + " }";
    step += " n += 1; if (n == " + std::to_string(4 * kWriterCount) + ") game_end();";
    const std::string manifest = R"({"name": "Game", "window": {"width": 32, "height": 32},
      "objects": [{"name": "obj", "events": [{"type": "create", "code": ")" + create + R"("},
                                            {"type": "step", "code": ")" + step + R"("}]}],
      "rooms": [{"name": "rm", "width": 32, "height": 32, "speed": 240, "instances": [{"object": "obj"}]}]})";
    mkdir((dir / "prog").c_str(), 0755);
    Scratch_WriteFile(dir / "prog/game.json", manifest);
    std::string said;
    ASSERT_TRUE(e2e::Pack(dir / "prog/game.json", dir / "prog/game.win", "--bytecode", &said)) << said;
    ExchangeRace race(dir.Path(), Test_PlainUser());
    if (!race.Running()) GTEST_SKIP() << "no racer of the plain user's here";

    const char* other = std::getenv("ZB_RUNNER");
    std::string runner = other && *other ? other : ZB_RUNNER_PATH;
    const unsigned seed = ExchangeRace::Seed(5701);
    std::mt19937 random(seed);
    int given = 0, outside = 0, written = 0;
    int runsAt[ExchangeRace::kSwappable + 1] = {}, damagedAt[ExchangeRace::kSwappable + 1] = {};
    const char* runsText = std::getenv("ZB_EXCHANGE_RUNS");
    // A hundred runs; a third of them in the sanitizer build, whose runs are slower.
    const int runs = runsText && *runsText ? std::atoi(runsText) : int(100 / e2e::kSanitizerSlower);
    for (int n = 0; n < runs; n++) {
        // Each level in turn: a quarter of the runs swap the save area itself.
        const auto [swap, missingFrom] = ExchangeRace::PickAt(1 + n % ExchangeRace::kSwappable, random);
        const int writer = int(random() % kWriterCount);
        std::vector<std::string> vars = {"PATH=/usr/bin:/bin", "HOME=" + race.Level(0),
                                         "XDG_DATA_HOME=" + race.Level(2), "SDL_VIDEODRIVER=offscreen",
                                         "SDL_AUDIODRIVER=dummy", "ALSOFT_DRIVERS=null", "ZB_FIRST=" + std::to_string(writer)};
        for (char** e = environ; *e; ++e)
            if (std::strncmp(*e, "ASAN_OPTIONS=", 13) == 0 || std::strncmp(*e, "UBSAN_OPTIONS=", 14) == 0) vars.emplace_back(*e);
        std::vector<char*> envp;
        for (std::string& v : vars) envp.push_back(v.data());
        envp.push_back(nullptr);
        std::string flag = "-game", game = dir / "prog/game.win";
        char* argv[] = {runner.data(), flag.data(), game.data(), nullptr};
        race.Prepare(swap, missingFrom);
        const pid_t pid = fork();
        if (pid == 0) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            if (chdir((dir / "prog").c_str()) != 0) _exit(126);
            execve(runner.c_str(), argv, envp.data());
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        const ExchangeRace::Damage d = race.Settle();
        written += Scratch_Exists(race.Area() + "/sub/deeper/a.ini");
        given += d.given;
        outside += d.written;
        runsAt[swap]++;
        damagedAt[swap] += d.given || d.written;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "run " << n << " ended with status " << status;
        if (d.given || d.written)
            ADD_FAILURE() << "run " << n << " (seed " << seed << "): level " << swap << " swapped, folders from level "
                          << missingFrom << " missing, writer " << writer << " first: " << d.given
                          << " folder(s) of root's outside the save area changed owner or mode, " << d.written
                          << " written into them";
    }
    std::printf("runner %s, seed %u: %d runs, %ld swaps, %d folders of root's given away, %d files or folders written "
                "into them, the save area written in %d runs\n",
                runner.c_str(), seed, runs, race.Swaps(), given, outside, written);
    const char* levels[] = {"", "~/.local", "share", "the save area", "a folder in it"};
    std::printf("| swapped | runs | runs that gave or wrote outside |\n|---|---|---|\n");
    for (int k = 1; k <= ExchangeRace::kSwappable; k++) std::printf("| %s | %d | %d |\n", levels[k], runsAt[k], damagedAt[k]);
    EXPECT_GT(race.Swaps(), 0);
}
