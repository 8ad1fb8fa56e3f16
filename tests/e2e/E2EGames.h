// Helpers of the end-to-end games: shell commands, packing with build/gamepack, the lines a
// game wrote to its log.
#pragma once

#include <string>
#include <vector>

namespace e2e {

std::string Quote(const std::string& s);
// Runs a shell command line; the exit code (-1 when it did not exit).
int Shell(const std::string& line);
// The environment of a run without a display or a sound card.
inline const char* kHeadless = "SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ALSOFT_DRIVERS=null ";

// Packs a manifest into out ("--source" or "--bytecode" as mode, "" for the manifest's own);
// the packer's messages on failure.
bool Pack(const std::string& manifest, const std::string& out, const std::string& mode, std::string* messages);

// What the game said: the lines of a log after "StartGame()", without the start-up's own
// ("StartGame() - DONE", the memory total, the main-loop banner).
std::vector<std::string> GameLines(const std::string& log);
std::string Joined(const std::vector<std::string>& lines);

} // namespace e2e
