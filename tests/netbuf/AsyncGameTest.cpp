// End to end: a game packed by build/gamepack (in both code modes) and played headless by
// build/runner requests a page, posts a form, loads a sprite from a URL and a large text from
// the loopback server, and logs what its asynchronous events find in async_load; a request
// to a closed port is delivered once, as a failure.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>

#include "netbuf/NetbufSupport.h"
#include "support/ScratchFolder.h"

namespace {

std::string Quote(const std::string& s) { return "'" + s + "'"; }

int Shell(const std::string& line) { return WEXITSTATUS(std::system(line.c_str())); }

void ReplaceAll(std::string& s, const std::string& from, const std::string& to)
{
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) s.replace(at, from.size(), to);
}

const char* kManifest = R"({
  "name": "AsyncGame",
  "window": {"width": 64, "height": 64},
  "objects": [
    {"name": "obj_net", "events": [
      {"type": "create", "code": "global.steps = 0; global.done = 0; global.after = 0; global.get = http_get('URL/hello'); global.post = http_post_string('URL/echo', 'a=1&b=2'); global.spr = sprite_add('URL/image.png', 1, false, false, 0, 0); global.bad = http_get('http://127.0.0.1:CLOSED/x'); global.big = http_get('URL/text/300000'); show_debug_message('queued ' + string(global.get) + ' ' + string(global.post) + ' ' + string(global.bad) + ' ' + string(global.big)); show_debug_message('ftp ' + string(http_get('ftp://127.0.0.1/x')));"},
      {"type": "step", "number": 0, "code": "global.steps += 1; if (global.steps == 1) show_debug_message('step async_load ' + string(async_load)); if (global.done == 5) { global.after += 1; if (global.after == 30) game_end(); } if (global.steps > 600) { show_debug_message('timed out'); game_end(); }"},
      {"type": "other", "number": 62, "code": "global.done += 1; if (ds_map_find_value(async_load, 'id') == global.get) show_debug_message('get ' + ds_map_find_value(async_load, 'result') + ' ' + string(ds_map_find_value(async_load, 'http_status')) + ' ' + string(ds_map_find_value(async_load, 'status')) + ' ' + ds_map_find_value(async_load, 'url')); if (ds_map_find_value(async_load, 'id') == global.post) show_debug_message('post ' + string(string_pos('a=1&b=2', ds_map_find_value(async_load, 'result')) > 0)); if (ds_map_find_value(async_load, 'id') == global.big) show_debug_message('big ' + string(string_length(ds_map_find_value(async_load, 'result')))); if (ds_map_find_value(async_load, 'id') == global.bad) show_debug_message('bad ' + string(ds_map_find_value(async_load, 'status')) + ' ' + string(ds_map_find_value(async_load, 'http_status')) + ' [' + ds_map_find_value(async_load, 'result') + ']');"},
      {"type": "other", "number": 60, "code": "global.done += 1; show_debug_message('image ' + string(ds_map_find_value(async_load, 'id') == global.spr) + ' ' + string(ds_map_find_value(async_load, 'status')) + ' ' + string(sprite_get_width(global.spr)) + 'x' + string(sprite_get_height(global.spr)) + ' ' + ds_map_find_value(async_load, 'filename'));"}
    ]}
  ],
  "rooms": [{"name": "rm", "width": 64, "height": 64, "speed": 60, "instances": [{"object": "obj_net"}]}]
})";

class AsyncGame : public ::testing::TestWithParam<const char*> {};

} // namespace

TEST_P(AsyncGame, EventsSeeTheirResultsInAsyncLoad)
{
    TestServer server;
    ASSERT_TRUE(server.Running());
    ScratchFolder dir;
    std::string manifest = kManifest;
    const std::string base = "http://127.0.0.1:" + std::to_string(server.Port());
    ReplaceAll(manifest, "URL", base);
    ReplaceAll(manifest, "CLOSED", std::to_string(Netbuf_ClosedPort()));
    Scratch_WriteFile(dir / "game.json", manifest);
    const std::string game = dir / "game.win", log = dir / "log.txt";
    ASSERT_EQ(Shell(Quote(ZB_GAMEPACK_PATH) + " " + Quote(dir / "game.json") + " " + Quote(game) + " --" + GetParam() +
                    " >" + Quote(dir / "pack.txt") + " 2>&1"),
              0)
        << Scratch_ReadFile(dir / "pack.txt");
    const int code = Shell("no_proxy='*' SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ALSOFT_DRIVERS=null "
                           "ZIMBREL_MAX_FRAMES=900 " +
                           Quote(ZB_RUNNER_PATH) + " -game " + Quote(game) + " -output " + Quote(log) + " >" +
                           Quote(dir / "out.txt") + " 2>&1");
    const std::string all = Scratch_ReadFile(log);
    EXPECT_EQ(code, 0) << all << Scratch_ReadFile(dir / "out.txt");
    // The game's own lines, after the start.
    std::vector<std::string> lines;
    std::istringstream in(all.substr(std::min(all.size(), all.find("StartGame()"))));
    for (std::string l; std::getline(in, l);)
        if (l.rfind("queued", 0) == 0 || l.rfind("ftp", 0) == 0 || l.rfind("step", 0) == 0 || l.rfind("get", 0) == 0 ||
            l.rfind("post", 0) == 0 || l.rfind("big", 0) == 0 || l.rfind("image", 0) == 0 || l.rfind("bad", 0) == 0 ||
            l.rfind("timed", 0) == 0)
            lines.push_back(l);
    ASSERT_GE(lines.size(), 3u) << all;
    EXPECT_EQ(lines[0], "queued 0 1 3 4");
    EXPECT_EQ(lines[1], "ftp -1");
    EXPECT_EQ(lines[2], "step async_load -1");
    // The deliveries come in whatever order the replies arrived.
    std::vector<std::string> delivered(lines.begin() + 3, lines.end());
    std::sort(delivered.begin(), delivered.end());
    const std::vector<std::string> want = {
        "bad -1 0 []",
        "big 300000",
        "get Hello, world 200 0 " + base + "/hello",
        "image 1 0 4x2 " + base + "/image.png",
        "post 1",
    };
    EXPECT_EQ(delivered, want) << all;
    EXPECT_NE(all.find("HttpError:HttpSendRequest: "), std::string::npos) << all;
}

INSTANTIATE_TEST_SUITE_P(Modes, AsyncGame, ::testing::Values("source", "bytecode"));
