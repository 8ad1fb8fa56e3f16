// Helpers of the end-to-end games (E2EGames.h).
#include "E2EGames.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include <gtest/gtest.h>

#include "Files/Graphics_API/Graphics_PNG.h"
#include "Platform/MemoryManager.h"
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

std::string CompareWithGolden(const std::string& picture, const std::string& golden, int tolerance)
{
    const std::string bytes = Scratch_ReadFile(picture);
    if (bytes.empty()) return "no picture " + picture;
    const char* update = std::getenv("ZB_UPDATE_GOLDEN");
    if (update && *update == '1') {
        Scratch_WriteFile(golden, bytes);
        return "";
    }
    const std::string expected = Scratch_ReadFile(golden);
    if (expected.empty()) return "missing golden image " + golden;
    int32_t w = 0, h = 0, gw = 0, gh = 0;
    uint32_t* px = GR_PNG_DecodeToBlock(bytes.data(), uint32_t(bytes.size()), &w, &h);
    uint32_t* gx = GR_PNG_DecodeToBlock(expected.data(), uint32_t(expected.size()), &gw, &gh);
    std::string result;
    if (!px || !gx) {
        result = "a picture does not decode";
    } else if (w != gw || h != gh) {
        result = "size " + std::to_string(w) + " x " + std::to_string(h) + ", golden " + std::to_string(gw) + " x " +
                 std::to_string(gh);
    } else {
        int worst = 0, bad = 0;
        for (int64_t i = 0; i < int64_t(w) * h; ++i)
            for (int s = 0; s < 24; s += 8) {
                const int d = std::abs(int((px[i] >> s) & 0xFF) - int((gx[i] >> s) & 0xFF));
                worst = std::max(worst, d);
                if (d > tolerance) ++bad;
            }
        if (bad)
            result = std::to_string(bad) + " channels differ by more than " + std::to_string(tolerance) + " (worst " +
                     std::to_string(worst) + ")";
    }
    MEM_FREE(px);
    MEM_FREE(gx);
    if (!result.empty()) {
        const std::string copy = ::testing::TempDir() + "actual_" + golden.substr(golden.find_last_of('/') + 1);
        Scratch_WriteFile(copy, bytes);
        result += "; picture copied to " + copy;
    }
    return result;
}

} // namespace e2e
