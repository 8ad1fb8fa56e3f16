// Helpers of the end-to-end games: shell commands, packing with build/gamepack, the lines a
// game wrote to its log, and a game played under both executors.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace e2e {

// How much longer a run of the sanitizer build takes to start and end (its leak check at
// exit): limits on how soon a run must be gone are multiplied by it.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZB_E2E_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(ZB_E2E_SANITIZED)
inline constexpr double kSanitizerSlower = 3.0;
#else
inline constexpr double kSanitizerSlower = 1.0;
#endif

// The margin of a bound on how soon a run ends, measured on the machine at hand: started is how
// long the same run took to start (from its spawn to the line the test waited for), on this
// build; lost is what the machine's load took from it past the rule's time (RunTime::Lost). Its
// end (the end events' own work aside: their shutdown, the sanitizer build's leak check at
// exit) does less than its start (loading, the window, the set-up), so it takes no longer than
// that, twice that on a machine whose load changes meanwhile, and a second for what neither
// figure sees (the timed waits of the libraries' threads at their end, the answers of other
// programs). A bound is the rule's own time plus this, never a figure of the machine's speed.
inline double EndMargin(double started, double lost) { return 1.0 + 2.0 * started + lost; }

std::string Quote(const std::string& s);
// Runs a shell command line; the exit code (-1 when it did not exit).
int Shell(const std::string& line);
// The environment of a run without a display or a sound card.
inline const char* kHeadless = "SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ALSOFT_DRIVERS=null ";

// Packs a manifest into out ("--source" or "--bytecode" as mode, "" for the manifest's own);
// the packer's messages on failure. In source mode absent code is written as an empty text, as
// game files from other writers commonly hold it (--absent-code-empty).
bool Pack(const std::string& manifest, const std::string& out, const std::string& mode, std::string* messages);

// What the game said: the lines of a log after "StartGame()", without the start-up's own
// ("StartGame() - DONE", the memory total, the main-loop banner, the frame-rate statistics at
// shutdown).
std::vector<std::string> GameLines(const std::string& log);
std::string Joined(const std::vector<std::string>& lines);

// One play of a game: the runner's exit code, its whole log and what the game said in it.
struct Played {
    int code = -1;
    std::string all;
    std::vector<std::string> lines;
};
// Runs a shell command line that plays a game writing its log to log (removed first).
Played PlayLogged(const std::string& line, const std::string& log);
// Plays a game under the byte-code machine and under the tree interpreter: play(executor)
// plays it once with executor among the runner's options ("" or "-oldexec"). Both plays must
// end alike and say the same; the machine's play is returned.
Played PlayUnderBothExecutors(const std::function<Played(const std::string& executor)>& play);
// Plays game (a file in folder) headless from folder under both executors, with more of the
// runner's options; its log is folder/log.txt, its standard output and error folder/out.txt.
Played PlayInFolder(const std::string& folder, const std::string& game, const std::string& options = "");

} // namespace e2e
