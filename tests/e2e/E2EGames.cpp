// Helpers of the end-to-end games (E2EGames.h).
#include "E2EGames.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <regex>
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
    int code = Shell(Quote(ZB_GAMEPACK_PATH) + " " + Quote(manifest) + " " + Quote(out) + " " + mode +
                     (mode == "--bytecode" ? "" : " --absent-code-empty") + " >" + Quote(said) + " 2>&1");
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
            l == "**********************************." || l == "Entering main loop." ||
            l == std::string(63, '-'))
            continue;
        if (l == "minFPS, maxFPS, avgFPS") { // the frame-rate statistics at shutdown: the run's own
            std::getline(in, l);
            continue;
        }
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

Played PlayLogged(const std::string& line, const std::string& log)
{
    std::remove(log.c_str());
    Played p;
    p.code = Shell(line);
    p.all = Scratch_ReadFile(log);
    p.lines = GameLines(p.all);
    return p;
}

namespace {

// The lines without the running code's place, its calls and its local and self variables:
// the tree interpreter reports an error of its own once its code has stopped, without them
// (the machine reports its own where they happen, with them).
std::vector<std::string> WithoutMachineFrames(const std::vector<std::string>& lines)
{
    static const std::regex at(R"(^ at .* \(line -?\d+\) - .*$)");
    static const std::regex calledFrom(R"(^called from - .*$)");
    static const std::regex variable(R"(^\S+\(\d+\) = .*$)");
    const std::string rule(92, '-');
    std::vector<std::string> out;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (std::regex_match(lines[i], at)) continue;
        const std::string next = i + 1 < lines.size() ? lines[i + 1] : "";
        if (lines[i] == rule && next == "stack frame is") {
            for (i += 3; i < lines.size() && std::regex_match(lines[i], calledFrom); ++i) { // past the running unit
            }
            --i;
        } else if (lines[i] == rule && (next == "Local Variables : " || next == "Self Variables : ")) {
            for (i += 2; i < lines.size() && std::regex_match(lines[i], variable); ++i) {
            }
            --i;
        } else {
            out.push_back(lines[i]);
        }
    }
    return out;
}

} // namespace

Played PlayUnderBothExecutors(const std::function<Played(const std::string& executor)>& play)
{
    Played machine = play("");
    Played tree = play("-oldexec");
    EXPECT_EQ(tree.code, machine.code) << "the tree interpreter's play ends otherwise:\n" << tree.all;
    EXPECT_EQ(Joined(WithoutMachineFrames(tree.lines)), Joined(WithoutMachineFrames(machine.lines)))
        << "the tree interpreter's play says otherwise:\n"
        << tree.all;
    return machine;
}

Played PlayInFolder(const std::string& folder, const std::string& game, const std::string& options)
{
    return PlayUnderBothExecutors([&](const std::string& executor) {
        return PlayLogged("cd " + Quote(folder) + " && " + kHeadless + "ZIMBREL_MAX_FRAMES=30 " + Quote(ZB_RUNNER_PATH) +
                              " -game " + game + " " + executor + " " + options + " -output log.txt >out.txt 2>&1",
                          folder + "/log.txt");
    });
}

} // namespace e2e
