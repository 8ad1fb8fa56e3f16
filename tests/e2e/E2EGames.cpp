// Helpers of the end-to-end games (E2EGames.h).
#include "E2EGames.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include <gtest/gtest.h>

#include "support/ScratchFolder.h"

namespace e2e {

std::string Quote(const std::string& s) { return "'" + s + "'"; }

int Shell(const std::string& line)
{
    int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool Pack(const std::string& manifest, const std::string& out, const std::string& mode, std::string* messages)
{
    const std::string said = out + ".pack.txt";
    int code = Shell(Quote(ZB_GAMEPACK_PATH) + " " + Quote(manifest) + " " + Quote(out) + " " + mode + " >" + Quote(said) +
                     " 2>&1");
    if (messages) *messages = Scratch_ReadFile(said);
    return code == 0;
}

std::vector<std::string> GameLines(const std::string& log)
{
    std::vector<std::string> lines;
    std::istringstream in(log);
    bool started = false;
    for (std::string l; std::getline(in, l);) {
        if (l == "StartGame()") {
            started = true;
            continue;
        }
        if (!started || l == "StartGame() - DONE" || l.rfind("Total memory used", 0) == 0 ||
            l == "**********************************." || l == "Entering main loop.")
            continue;
        lines.push_back(l);
    }
    return lines;
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string s;
    for (const std::string& l : lines) s += l + "\n";
    return s;
}

} // namespace e2e
