// The fixture of the windowed games: the test's own X server and a scratch folder, games
// packed from tests/data/windowed/<name>, golden pictures from tests/data/windowed_golden/.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "e2e/E2EGames.h"
#include "support/ScratchFolder.h"
#include "windowed/XSession.h"

constexpr int kWindowedTolerance = 8; // per channel, of a golden picture

// A game of the given size that the test commands through files in its save area
// (folder/xdg/EchoGame/<command>, looked at every step): "string" shows get_string, "message"
// show_message, "async" get_string_async, "end" ends the game. It logs "step N" every step,
// "game [text]" for what was typed into it since the last step, "shown <command>" when a
// dialog comes, "modal [answer]" and "async [answer]" when one is answered.
inline std::string Windowed_EchoGame(int width, int height)
{
    const std::string w = std::to_string(width), h = std::to_string(height);
    return R"({"name": "EchoGame", "window": {"width": )" + w + R"(, "height": )" + h + R"(, "caption": "Echo"},
  "objects": [{"name": "obj_echo", "events": [
    {"type": "create", "code": "n = 0; asked = -10;"},
    {"type": "step", "code": "n += 1; show_debug_message('step ' + string(n)); if (keyboard_string != '') { show_debug_message('game [' + keyboard_string + ']'); keyboard_string = ''; } if (file_exists('string')) { file_delete('string'); show_debug_message('shown string'); show_debug_message('modal [' + get_string('String?', '') + ']'); } if (file_exists('message')) { file_delete('message'); show_debug_message('shown message'); show_message('Message'); show_debug_message('modal [ok]'); } if (file_exists('async')) { file_delete('async'); asked = get_string_async('Async?', ''); show_debug_message('shown async'); } if (file_exists('end')) { file_delete('end'); game_end(); }"},
    {"type": "other", "number": 63, "code": "if (ds_map_find_value(async_load, 'id') == asked) show_debug_message('async [' + ds_map_find_value(async_load, 'result') + ']');"}]}],
  "rooms": [{"name": "rm", "width": )" + w + R"(, "height": )" + h + R"(, "speed": 30, "instances": [{"object": "obj_echo"}]}]})";
}

// What the echo game's log says: what was typed into the game, the answers in order, its last
// step, the dialogs shown.
struct EchoSaid {
    std::string game;
    std::vector<std::string> answers;
    long step = 0;
    int shown = 0;
};
inline EchoSaid Windowed_EchoSaid(const std::string& log)
{
    EchoSaid said;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        auto inner = [&](size_t from) { return line.substr(from, line.size() - from - 1); };
        if (line.rfind("game [", 0) == 0 && line.back() == ']') said.game += inner(6);
        else if ((line.rfind("modal [", 0) == 0 || line.rfind("async [", 0) == 0) && line.back() == ']') said.answers.push_back(line);
        else if (line.rfind("step ", 0) == 0) said.step = std::atol(line.c_str() + 5);
        else if (line.rfind("shown ", 0) == 0) ++said.shown;
    }
    return said;
}

class WindowedTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!x.Ok()) GTEST_SKIP() << x.Why();
    }

    // Packs tests/data/windowed/<name> into the scratch folder.
    std::string Game(const char* name)
    {
        const std::string game = dir / "game.win";
        std::string said;
        EXPECT_TRUE(e2e::Pack(std::string(ZB_SOURCE_DIR) + "/tests/data/windowed/" + name + "/manifest.json", game, "", &said))
            << said;
        return game;
    }
    static std::string Golden(const char* name) { return std::string("windowed_golden/") + name; }

    XSession x; // the test's own server
    ScratchFolder dir;
};
