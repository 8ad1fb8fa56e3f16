// Start-up of large games as a player meets it: build/runner started as a process on a packed
// game whose first room ends the game, timed from exec to exit. Four games, packed once into
// the temporary folder from projects made here (source mode: the runner compiles the ZBL):
//   empty       one room, one object; what every game pays (the process, SDL, the device);
//   code400     1,500 scripts (about 6.7 MB of ZBL naming objects, sprites, scripts and
//               variables), 400 objects, one room;
//   code2000    the same code with 1,600 more objects (no events, never named by the code);
//   whole       code400's code and objects, 20 rooms of 5,000 instances, four 1000x1000
//               sprites (about 27 MB);
//   rooms       the whole game without its 1,500 scripts.
// ZB_BENCH_RUNNER=path times another build's runner on the same games (before and after).
// BM_RawRead reads the whole game file once: the floor the start-up is set against.
// docs/performance.md gives the figures as ratios to the raw read and to the empty game.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "GamePack_Project.h"
#include "GamePack_Writer.h"

extern char** environ;

namespace {

constexpr int kScripts = 1500;
constexpr int kCodeObjects = 400; // the objects the code names
constexpr int kRooms = 20;
constexpr int kInstances = 5000; // per room
constexpr int kSprites = 4;      // 1000 x 1000 noise

// About 4.5 KB of ZBL for script s: 38 lines, each naming an object, a sprite, another script
// and a few variables, as a large game's code does.
std::string ScriptText(int s)
{
    std::string t;
    t.reserve(4800);
    t += "var total, k;\ntotal = 0;\n";
    for (int line = 0; line < 38; ++line) {
        const int o = (s * 7 + line * 13) % kCodeObjects;
        const int other = (s + line + 1) % kScripts;
        const int v = (s * 3 + line) % 700;
        t += "if (instance_number(obj_" + std::to_string(o) + ") > " + std::to_string(line % 5) +
             ") { field_" + std::to_string(v) + " = scr_" + std::to_string(other) + "(spr_" +
             std::to_string(line % kSprites) + ", total) + global.count_" + std::to_string(v % 97) +
             "; total += field_" + std::to_string(v) + " * " + std::to_string(line) + "; }\n";
    }
    t += "return total;\n";
    return t;
}

PackImage Noise(int w, int h, uint32_t seed)
{
    PackImage img;
    img.width = w;
    img.height = h;
    img.rgba.resize(size_t(w) * size_t(h) * 4);
    for (uint8_t& b : img.rgba) b = uint8_t((seed = seed * 1664525u + 1013904223u) >> 24);
    return img;
}

// A project with one object and one room whose creation code ends the game.
PackProject EmptyProject()
{
    PackProject p;
    p.byteCode = false;
    PackObject o;
    o.name = "obj_run";
    p.objects.push_back(o);
    PackRoom r;
    r.name = "rm_start";
    r.code.present = true;
    r.code.text = "game_end();";
    PackInstance in;
    in.object = 0;
    r.instances.push_back(in);
    p.rooms.push_back(r);
    return p;
}

// Every room in the room order, in the order made: a game plays its rooms from the order (the
// first in it is the first room), and one without an order has no room to start.
void OrderRooms(PackProject& p)
{
    p.roomOrder.clear();
    for (size_t i = 0; i < p.rooms.size(); ++i) p.roomOrder.push_back(int32_t(i));
}

void AddCode(PackProject& p, int objects, bool scripts = true)
{
    for (int s = 0; s < (scripts ? kScripts : 0); ++s) {
        PackScript sc;
        sc.name = "scr_" + std::to_string(s);
        sc.code.present = true;
        sc.code.text = ScriptText(s);
        p.scripts.push_back(std::move(sc));
    }
    p.objects.clear();
    for (int i = 0; i < objects; ++i) {
        PackObject o;
        o.name = "obj_" + std::to_string(i);
        if (i < kCodeObjects && i % 4 == 0) {
            PackEvent e; // a create event that names resources too
            e.type = 0;
            e.code.present = true;
            e.code.text = "hp = 100; target = obj_" + std::to_string((i + 1) % kCodeObjects) + "; image = spr_0;";
            o.events.push_back(std::move(e));
        }
        p.objects.push_back(std::move(o));
    }
    for (int k = 0; k < kSprites; ++k) {
        PackSprite s;
        s.name = "spr_" + std::to_string(k);
        s.frames.push_back(Noise(2, 2, uint32_t(k + 1)));
        p.sprites.push_back(std::move(s));
    }
}

std::string Pack(PackProject& p, const char* name)
{
    OrderRooms(p);
    static std::string folder;
    if (folder.empty()) {
        char templ[] = "/tmp/zb_bench_startup_XXXXXX";
        folder = mkdtemp(templ);
        std::atexit([] { std::filesystem::remove_all(folder); }); // about 60 MB of games
    }
    PackOutput out;
    std::string error;
    if (!GamePack_Build(p, out, error)) {
        std::fprintf(stderr, "bench_startup: %s: %s\n", name, error.c_str());
        std::abort();
    }
    std::string path = folder + "/" + name + ".win";
    GamePack_WriteFile(path, out.game);
    return path;
}

const std::string& Game(int which)
{
    static std::string paths[5];
    std::string& path = paths[which];
    if (!path.empty()) return path;
    PackProject p = EmptyProject();
    switch (which) {
    case 0:
        path = Pack(p, "empty");
        break;
    case 1:
        AddCode(p, kCodeObjects);
        path = Pack(p, "code400");
        break;
    case 2:
        AddCode(p, kCodeObjects + 1600);
        path = Pack(p, "code2000");
        break;
    default: {
        AddCode(p, kCodeObjects, which == 3);
        p.sprites.clear();
        for (int k = 0; k < kSprites; ++k) {
            PackSprite s;
            s.name = "spr_" + std::to_string(k);
            s.frames.push_back(Noise(1000, 1000, uint32_t(k + 1)));
            p.sprites.push_back(std::move(s));
        }
        p.pageSize = 1024;
        p.rooms.clear();
        for (int r = 0; r < kRooms; ++r) {
            PackRoom room;
            room.name = "rm_" + std::to_string(r);
            room.width = 4000;
            room.height = 4000;
            if (r == 0) {
                room.code.present = true;
                room.code.text = "game_end();";
            }
            room.instances.reserve(kInstances);
            for (int i = 0; i < kInstances; ++i) {
                PackInstance in;
                in.object = (i * 31 + r) % kCodeObjects;
                in.x = (i * 37) % 4000;
                in.y = (i * 53) % 4000;
                room.instances.push_back(in);
            }
            p.rooms.push_back(std::move(room));
        }
        path = Pack(p, which == 3 ? "whole" : "rooms");
    }
    }
    return path;
}

// Runs the runner on the game, headless; false when it could not start or did not exit 0, with
// why in *why (the runner's standard error, which says why it did not start a game). cpuSeconds
// receives the processor time the run used (user and system, all its threads): the figure
// least disturbed by other work on a busy machine.
bool Play(const std::string& game, double* cpuSeconds, std::string* why)
{
    const std::string errors = game + ".stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const char* other = std::getenv("ZB_BENCH_RUNNER"); // another build's runner, to compare
    std::string runner = other && *other ? other : ZB_RUNNER_PATH;
    std::vector<char*> argv = {runner.data(), const_cast<char*>("-game"), const_cast<char*>(game.c_str()), nullptr};
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, runner.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        *why = runner + " does not start: " + std::strerror(rc);
        return false;
    }
    int status = 0;
    struct rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid) return false;
    *cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                  double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    *why = "the runner did not play the game to its end (" +
           (WIFEXITED(status) ? "exit " + std::to_string(WEXITSTATUS(status)) : "signal " + std::to_string(WTERMSIG(status))) + ")";
    if (FILE* f = std::fopen(errors.c_str(), "r")) {
        char line[512];
        if (std::fgets(line, sizeof(line), f)) *why += ": " + std::string(line, std::strcspn(line, "\n"));
        std::fclose(f);
    }
    return false;
}

void Headless()
{
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("ALSOFT_DRIVERS", "null", 1);
}

void BM_RawRead(benchmark::State& state)
{
    const std::string& path = Game(3);
    std::vector<char> data(size_t(64) << 20);
    size_t size = 0;
    for (auto _ : state) {
        FILE* f = std::fopen(path.c_str(), "rb");
        size = f ? std::fread(data.data(), 1, data.size(), f) : 0;
        if (f) std::fclose(f);
        benchmark::DoNotOptimize(data.data());
    }
    state.counters["MB"] = double(size) / 1e6;
}
BENCHMARK(BM_RawRead)->Unit(benchmark::kMillisecond);

void BM_Startup(benchmark::State& state)
{
    Headless();
    const std::string& path = Game(int(state.range(0)));
    double cpu = 0;
    for (auto _ : state) {
        double one = 0;
        std::string why;
        if (!Play(path, &one, &why)) {
            state.SkipWithError(why.c_str());
            break;
        }
        cpu += one;
    }
    state.counters["cpu_ms"] = 1000.0 * cpu / double(state.iterations());
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f) {
        std::fseek(f, 0, SEEK_END);
        state.counters["MB"] = double(std::ftell(f)) / 1e6;
        std::fclose(f);
    }
}
// 0 empty, 1 code with 400 objects, 2 the same code with 2,000 objects, 3 the whole game,
// 4 the whole game without its scripts (the rooms, instances and sprites alone).
BENCHMARK(BM_Startup)->ArgName("game")->DenseRange(0, 4)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
BENCHMARK_MAIN();
