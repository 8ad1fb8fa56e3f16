// End to end: build/gamepack packs games (the example's resources), build/runner plays them
// as processes; the start-up and shutdown log, each failure path (a missing or broken file, a
// preparation step, a game without a room) with its exit code and its line on stderr, the
// usage, files of the command line that cannot be opened, options.ini, the '@' moves, a
// relative "-game" path and "data.win" beside the executable.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>

#include "support/GameFileTools.h"
#include "support/ScratchFolder.h"

namespace {

struct ProcessResult {
    std::string out, err;
    int code = -1;
};

std::string Quote(const std::string& s) { return "'" + s + "'"; }

// Runs a shell command line in folder; stdout and stderr are kept apart.
ProcessResult Execute(const std::string& command, const std::string& folder = ".")
{
    ScratchFolder logs;
    std::string line = "cd " + Quote(folder) + " && " + command + " >" + Quote(logs / "out") + " 2>" + Quote(logs / "err");
    ProcessResult r;
    int status = std::system(line.c_str());
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = Scratch_ReadFile(logs / "out");
    r.err = Scratch_ReadFile(logs / "err");
    return r;
}

// The runner without a display or a sound card.
// The runner without a display or a sound card; these games never end by themselves, so the
// main loop stops after one frame.
std::string Runner()
{
    return std::string("SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ALSOFT_DRIVERS=null ZIMBREL_MAX_FRAMES=1 ") +
           Quote(ZB_RUNNER_PATH);
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

// The example's resources without its code: a game that prepares whatever the script
// machine, the compiler and the game world can do yet.
std::string CodeFreeManifest()
{
    const std::string demo = std::string(ZB_SOURCE_DIR) + "/examples/demo/";
    return R"({"name": "Demo", "window": {"width": 320, "height": 240, "caption": "Zimbrel demo"},
      "constants": {"VersionMajor": "1"},
      "sprites": [{"name": "spr_ball", "image": ")" + demo + R"(ball_strip.png", "frames": 4, "precise": true}],
      "backgrounds": [{"name": "bg_sky", "image": ")" + demo + R"(sky.png"}],
      "fonts": [{"name": "fnt", "ttf": "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", "size": 10}],
      "paths": [{"name": "p", "points": [[0, 0, 100], [10, 10, 100]]}],
      "timelines": [{"name": "tl"}],
      "objects": [{"name": "obj_ball", "sprite": "spr_ball"}],
      "rooms": [{"name": "rm", "backgrounds": [{"background": "bg_sky"}], "instances": [{"object": "obj_ball", "x": 5}]}]})";
}

class RunnerProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        game = dir / "game/demo.win";
        mkdir((dir / "game").c_str(), 0777);
        Scratch_WriteFile(dir / "manifest.json", CodeFreeManifest());
        ProcessResult pack = Execute(Quote(ZB_GAMEPACK_PATH) + " " + Quote(dir / "manifest.json") + " " + Quote(game));
        ASSERT_EQ(pack.code, 0) << pack.err;
    }
    std::vector<uint8_t> Bytes() const
    {
        std::string s = Scratch_ReadFile(game);
        return {s.begin(), s.end()};
    }
    void Write(const std::string& path, const std::vector<uint8_t>& bytes) const
    {
        Scratch_WriteFile(path, std::string(bytes.begin(), bytes.end()));
    }
    ScratchFolder dir;
    std::string game;
};

} // namespace

TEST_F(RunnerProcess, PackedGameStartsAndShutsDownWithTheExactLog)
{
    ProcessResult r = Execute(Runner() + " -game " + Quote(game) + " -output " + Quote(dir / "log.txt"));
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    const std::string folder = dir / "game";
    const std::vector<std::string> expected = {
        "RunnerLoadGame: " + game,
        "RunnerLoadGame() - " + game,
        "Checking if INIFile " + folder + "/options.ini Exists",
        "!!!!No INI File " + folder + "/options.ini",
        "Reading File " + game,
        "Loaded File " + game,
        "IFF wad found",
        "Get Resolution",
        "Get Header Information",
        "InitZBLFunctions",
        // The gamepad registrar traces its four pads on the debug console, inside the line.
        "HighScore..Game..Math..Graphic..Action..File..Resource..Interaction..3D..Particle..Misc..DS..Sound..DPlay.."
        "Physics..Gamepad..GAMEPAD: 4 axis values (last) at 0x%",
        "GAMEPAD: 4 axis values (last) at 0x%",
        "GAMEPAD: 4 axis values (last) at 0x%",
        "GAMEPAD: 4 axis values (last) at 0x%",
        "Buffers..Networking..Kovrin..Fini",
        "ID_STRG",
        // The working folder, traced on the debug console between two rules.
        std::string(73, '#'),
        "####!!!!$$$$$$ pwd - " + folder + "/",
        std::string(73, '#'),
        "Create Window",
        "<graphics>",
        "Init Graphics",
        "GR_D3D_Init()",
        "<graphics>",
        "Background_InitTextures()",
        "Sprite_InitTextures()",
        "Font_InitTextures()",
        "IO Init",
        "Process Messages",
        "Splash!",
        "Start Frame",
        "Part Create Textures",
        "Debug Init Remote Interface",
        "VM Init",
        "Create Score Form",
        "Create Load Form",
        "Create Error Form",
        "Do The Work",
        "LoadGameData()",
        "initialise everything!",
        "Process Chunk: GEN8   *", "Process Chunk: OPTN   *", "Process Chunk: EXTN   4", "Process Chunk: SOND   4",
        "Process Chunk: AUDO   4", "Process Chunk: SPRT   *", "Process Chunk: BGND   *", "Process Chunk: PATH   *",
        "Process Chunk: SCPT   4", "Process Chunk: FONT   *", "Process Chunk: TMLN   *", "Process Chunk: OBJT   *",
        "Process Chunk: ROOM   *", "Process Chunk: DAFL   4", "Process Chunk: TPAG   *", "Process Chunk: STRG   *",
        "Process Chunk: TXTR   *",
        "PrepareGame()",
        "Extension_Prepare() ",
        "Code_Constant_Prepare() ",
        "Script_Prepare() ",
        "TimeLine_Prepare() ",
        "Object_Prepare() ",
        "Preparing 1 objects:",
        "\tObjects 0: obj_ball",
        "Room_Prepare() ",
        "Sound_Prepare() ",
        "InitGraphics() ",
        "Finished PrepareGame() ",
        "Run_Start",
        "StartGame()",
        "StartGame() - DONE",
        "<line>",
        "**********************************.",
        "Entering main loop.",
        "**********************************.",
        // The frame-rate statistics at shutdown (no frame counted in so short a run).
        "<graphics>",
        "---------------------------------------------------------------",
        "minFPS, maxFPS, avgFPS",
        "2147483647, -2147483648, 30",
    };
    // "<graphics>": the window and device layer's own lines, up to the next expected line.
    std::vector<std::string> lines = Lines(r.out);
    std::string released; // what the release console wrote: every line but the layer's own
    size_t at = 0;
    for (size_t k = 0; k < expected.size(); ++k) {
        const std::string& e = expected[k];
        if (e == "<graphics>") {
            while (at < lines.size() && lines[at] != expected[k + 1]) ++at;
            continue;
        }
        if (e == "<line>") { // any one line of the release console (the memory total)
            if (at < lines.size()) released += lines[at++] + "\n";
            continue;
        }
        if (at < lines.size()) released += lines[at] + "\n";
        ASSERT_LT(at, lines.size()) << "missing: " << e << "\n" << r.out;
        if (e.size() > 1 && e.back() == '*')
            EXPECT_TRUE(std::regex_match(lines[at], std::regex(e.substr(0, e.size() - 1) + "[0-9]+"))) << lines[at];
        else if (e.size() > 1 && e.back() == '%') // a hexadecimal number
            EXPECT_TRUE(std::regex_match(lines[at], std::regex(std::regex_replace(e.substr(0, e.size() - 1),
                                                                                  std::regex(R"([().])"), R"(\$&)") +
                                                               "[0-9a-f]+")))
                << lines[at];
        else
            EXPECT_EQ(lines[at], e);
        ++at;
    }
    // What follows is the graphics layer's own (the window fitted to the room resets the device).
    // The pads' and the working folder's traces went to the debug console only.
    released = std::regex_replace(released, std::regex(R"(GAMEPAD: 4 axis values \(last\) at 0x[0-9a-f]+\n)"), "");
    released = std::regex_replace(released, std::regex(R"((#{73}|####!!!!\$\$\$\$\$\$ pwd - .*)\n)"), "");
    EXPECT_EQ(Scratch_ReadFile(dir / "log.txt"), released) << "-output gets the release console's lines";
}

TEST_F(RunnerProcess, EachFailedLoadSaysWhyOnStderrAndEndsWithCodeOne)
{
    // Each file, why it does not load, and whether that is known before the window opens (the
    // container and the chunk lengths) or only once its chunk is read.
    struct Case {
        std::string file, why;
        bool beforeWindow;
    };
    std::vector<Case> cases;
    auto add = [&](const std::string& name, const std::vector<uint8_t>& bytes, const std::string& why, bool early) {
        Write(dir / name, bytes);
        cases.push_back({dir / name, why, early});
    };
    cases.push_back({dir / "nothing.win", "No such file or directory", true});
    mkdir((dir / "folder.win").c_str(), 0777);
    cases.push_back({dir / "folder.win", "not a plain file", true});
    add("empty.win", {}, "the file is empty", true);
    const std::string png = Scratch_ReadFile(std::string(ZB_SOURCE_DIR) + "/examples/demo/sky.png");
    add("picture.png", {png.begin(), png.end()}, "not a game file (it does not begin with FORM)", true);
    std::vector<uint8_t> bytes = Bytes();
    uint32_t txtr = 0, length = 0;
    ASSERT_TRUE(TestFindChunk(bytes, "TXTR", txtr, length));
    bytes.resize(txtr + 10); // 10 bytes of the last chunk's data are left
    add("cut.win", bytes, "cut short in chunk TXTR: 10 of its " + std::to_string(length) + " bytes are there", true);
    bytes = Bytes();
    bytes.push_back(0);
    add("long.win", bytes, "1 byte longer than its header says", true);
    bytes = Bytes();
    uint32_t objects = 0;
    ASSERT_TRUE(TestFindChunk(bytes, "OBJT", objects, length));
    TestPutU32(bytes, objects, 0x10000000); // more objects than the chunk can list
    add("objects.win", bytes, "chunk OBJT is damaged", false);
    bytes = Bytes();
    std::memcpy(bytes.data() + objects - 8, "OBJX", 4);
    add("unknown.win", bytes, "unknown chunk OBJX", false);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ProcessResult r = Execute(Runner() + " -game " + Quote(c.file));
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.err, "runner: cannot load the game " + c.file + ": " + c.why + "\n");
        EXPECT_NE(r.out.find("Failed to load the game\n"), std::string::npos);
        EXPECT_EQ(r.out.find("Create Window\n") == std::string::npos, c.beforeWindow) << r.out;
        EXPECT_EQ(r.out.find("PrepareGame()"), std::string::npos);
    }

    // No game at all (the file dialog cancelled): the usage; the help asked for: never a dialog.
    ProcessResult r = Execute(Runner(), dir.Path());
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("usage: runner -game FILE"), std::string::npos) << r.err;
    for (const char* help : {"--help", "-h", "-game x.win -h"}) {
        r = Execute(Runner() + " " + help, dir.Path());
        EXPECT_EQ(r.code, 0) << help;
        EXPECT_EQ(r.out.rfind("usage: runner -game FILE", 0), 0u) << r.out;
        EXPECT_NE(r.out.find("  -playback FILE "), std::string::npos);
        EXPECT_EQ(r.err, "") << help;
    }
    r = Execute(Runner() + " -game -h", dir.Path()); // a game file called -h
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "runner: cannot load the game " + (dir / "-h") + ": No such file or directory\n");
}

TEST_F(RunnerProcess, WhatARunCannotDoIsSaidOnStderr)
{
    // Files the command line names that cannot be opened: the game runs without them.
    const std::string none = dir / "no/such/folder";
    ProcessResult r = Execute(Runner() + " -game " + Quote(game) + " -output " + Quote(none + "/log.txt") +
                              " -debugoutput " + Quote(none + "/debug.txt") + " -record " + Quote(none + "/in.rec"));
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("Entering main loop.\n"), std::string::npos);
    EXPECT_EQ(r.err, "runner: -output " + none + "/log.txt: No such file or directory; the log goes to the standard output only\n"
                     "runner: -debugoutput " + none + "/debug.txt: No such file or directory; the debug log goes to the standard output only\n"
                     "runner: -record " + none + "/in.rec: No such file or directory; the run is not recorded\n");
    for (const std::string& file : {dir / "missing.rec", dir.Path()}) {
        r = Execute(Runner() + " -game " + Quote(game) + " -playback " + Quote(file));
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.err, "runner: -playback " + file + ": " +
                             (file == dir.Path() ? "not a plain file" : "No such file or directory") +
                             "; the game runs on its own input\n");
    }
    // -record with -playback: one file name and one open file for the two, so nothing would be
    // recorded; refused, naming both, before any window and without touching either file.
    Scratch_WriteFile(dir / "old.rec", "kept");
    for (const std::string& pair : {"-record " + Quote(dir / "new.rec") + " -playback " + Quote(dir / "old.rec"),
                                    "-playback " + Quote(dir / "old.rec") + " -record " + Quote(dir / "new.rec")}) {
        r = Execute(Runner() + " -game " + Quote(game) + " " + pair);
        EXPECT_EQ(r.code, 1) << pair;
        EXPECT_EQ(r.err, "runner: -record " + (dir / "new.rec") + " and -playback " + (dir / "old.rec") +
                             " are both given: a run either records its input or plays a recording back; give one\n")
            << pair;
        EXPECT_EQ(r.out.find("Create Window"), std::string::npos) << r.out;
        EXPECT_FALSE(Scratch_Exists(dir / "new.rec"));
        EXPECT_EQ(Scratch_ReadFile(dir / "old.rec"), "kept");
    }
    // One of them given twice is no pair: the last name is recorded into.
    r = Execute(Runner() + " -game " + Quote(game) + " -record " + Quote(dir / "first.rec") + " -record " + Quote(dir / "new.rec"));
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Scratch_ReadFile(dir / "new.rec").size(), 2939u) << "one frame, one record";
    EXPECT_FALSE(Scratch_Exists(dir / "first.rec"));

    // A display that cannot be opened: without a video driver asked for, the runner says so
    // once and plays without a window; asking for the off-screen driver, it says nothing.
    std::string display;
    for (int n = 4711; display.empty(); ++n)
        if (access(("/tmp/.X11-unix/X" + std::to_string(n)).c_str(), F_OK) != 0) display = ":" + std::to_string(n);
    const std::string named = "DISPLAY=" + display +
                              " LSAN_OPTIONS=print_suppressions=0:suppressions=" ZB_SOURCE_DIR "/tests/support/lsan_display.supp ";
    const std::string windowed = Runner().substr(std::strlen("SDL_VIDEODRIVER=offscreen "));
    r = Execute("env -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER " + named + windowed + " -game " + Quote(game));
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("Entering main loop.\n"), std::string::npos);
    const std::string said = "runner: the display " + display + " cannot be opened (";
    const size_t at = r.err.find(said);
    ASSERT_NE(at, std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(said, at + 1), std::string::npos) << r.err; // once
    const size_t lineEnd = r.err.find('\n', at);
    EXPECT_GT(lineEnd, at + said.size() + 1) << r.err; // a reason in the brackets
    EXPECT_EQ(r.err.substr(0, lineEnd).rfind("); playing without a window"), lineEnd - 27) << r.err;
    r = Execute("env -u WAYLAND_DISPLAY " + named + Runner() + " -game " + Quote(game));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");

    // A save area that cannot be made (a file where its folder, or a folder above it, should
    // be): the loss is said once, with the path and the reason, and the game goes on.
    Scratch_WriteFile(dir / "writer.json",
                      R"({"name": "Demo", "rooms": [{"name": "rm", "code": ")"
                      "ini_open('a.ini'); ini_write_real('s', 'k', 1); ini_close(); screen_save('shot.png'); "
                      "ini_open('b.ini'); ini_write_real('s', 'k', 2); ini_close(); show_debug_message('went on'); game_end();"
                      R"("}]})");
    ProcessResult pack = Execute(Quote(ZB_GAMEPACK_PATH) + " " + Quote(dir / "writer.json") + " " + Quote(dir / "writer.win"));
    ASSERT_EQ(pack.code, 0) << pack.err;
    Scratch_WriteFile(dir / "Demo", "a file");
    for (const std::string& area : {dir.Path(), dir / "Demo/data"}) {
        r = Execute("XDG_DATA_HOME=" + Quote(area) + " " + Runner() + " -game " + Quote(dir / "writer.win"));
        EXPECT_EQ(r.code, 0);
        EXPECT_NE(r.out.find("went on\n"), std::string::npos);
        EXPECT_EQ(r.err, "runner: the save area " + area + "/Demo/ cannot be made: Not a directory; what the game writes there is lost\n");
    }

    // A game without a room has nothing to play: a failure. The packer refuses such a
    // project, so the room table of a packed game is emptied.
    Scratch_WriteFile(dir / "empty.json", R"({"rooms": [{"name": "rm"}]})");
    pack = Execute(Quote(ZB_GAMEPACK_PATH) + " " + Quote(dir / "empty.json") + " " + Quote(dir / "empty.win"));
    ASSERT_EQ(pack.code, 0) << pack.err;
    const std::string packed = Scratch_ReadFile(dir / "empty.win");
    std::vector<uint8_t> bytes(packed.begin(), packed.end());
    uint32_t rooms = 0, length = 0;
    ASSERT_TRUE(TestFindChunk(bytes, "ROOM", rooms, length));
    TestPutU32(bytes, rooms, 0);
    Scratch_WriteFile(dir / "empty.win", std::string(bytes.begin(), bytes.end()));
    r = Execute(Runner() + " -game " + Quote(dir / "empty.win"));
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("The game could not start its first room.\n"), std::string::npos);
    EXPECT_EQ(r.err, "runner: cannot start the game " + (dir / "empty.win") + ": it has no room to start\n");
}

TEST_F(RunnerProcess, PreparationFailureShowsItsMessageAndStops)
{
    // The packer refuses code that does not compile: the broken text takes the place of
    // code of the same length in a packed game.
    Scratch_WriteFile(dir / "bad.json", R"({"name": "Bad", "window": {"caption": "Bad game"},
      "scripts": [{"name": "scr_broken", "code": "a = 1;"}], "rooms": [{"name": "rm"}]})");
    ProcessResult pack = Execute(Quote(ZB_GAMEPACK_PATH) + " " + Quote(dir / "bad.json") + " " + Quote(dir / "bad.win"));
    ASSERT_EQ(pack.code, 0) << pack.err;
    std::string game = Scratch_ReadFile(dir / "bad.win");
    ASSERT_NE(game.find("a = 1;"), std::string::npos);
    Scratch_WriteFile(dir / "bad.win", game.replace(game.find("a = 1;"), 6, "if ((("));
    ProcessResult r = Execute(Runner() + " -game " + Quote(dir / "bad.win"));
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("Script_Prepare() \n"), std::string::npos);
    EXPECT_NE(r.out.find("COMPILATION ERROR in Script: scr_broken"), std::string::npos);
    EXPECT_NE(r.err.find("Bad game: Failed to compile the scripts."), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("TimeLine_Prepare()"), std::string::npos);
    EXPECT_EQ(r.out.find("Run_Start"), std::string::npos);
}

TEST_F(RunnerProcess, ByteCodeExampleIsCompiledByThePackerAndBoundByTheRunner)
{
    const std::string out = dir / "bc/demo.win";
    mkdir((dir / "bc").c_str(), 0777);
    ProcessResult pack = Execute(Quote(ZB_GAMEPACK_PATH) + " " + Quote(std::string(ZB_SOURCE_DIR) + "/examples/demo/manifest.json") +
                                 " " + Quote(out) + " --bytecode");
    ASSERT_EQ(pack.code, 0) << pack.err;
    ASSERT_TRUE(Scratch_Exists(dir / "bc/demo.kvdebug"));
    ProcessResult r = Execute(Runner() + " -game " + Quote(out));
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    for (const char* line : {"Process Chunk: DBGI", "Process Chunk: SCPT", "Code_Load()\n", "VARI_Load()\n",
                             "Process Chunk: FUNC", "Script_Prepare() \n", "Run_Start\n", "Entering main loop.\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;

    // The source example prepares as well: its code compiles in the runner.
    pack = Execute(Quote(ZB_GAMEPACK_PATH) + " " + Quote(std::string(ZB_SOURCE_DIR) + "/examples/demo/manifest.json") + " " +
                   Quote(dir / "bc/source.win"));
    ASSERT_EQ(pack.code, 0) << pack.err;
    r = Execute(Runner() + " -game " + Quote(dir / "bc/source.win"));
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Entering main loop.\n"), std::string::npos) << r.out;
}

TEST_F(RunnerProcess, RelativeGamePathOptionsIniAndAtMoves)
{
    Scratch_WriteFile(dir / "game/options.ini", "[DEFAULT]\nDebug=1\n");
    Scratch_WriteFile(dir / "sub@file.txt", "payload");
    // Debug mode saves the debug form's settings in the save area: the test's own.
    ProcessResult r = Execute("XDG_DATA_HOME=" + Quote(dir / "data") + " " + Runner() + " -game game/demo.win", dir.Path());
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("RunnerLoadGame() - " + game), std::string::npos) << "opened by its absolute path";
    EXPECT_EQ(r.out.find("!!!!No INI File"), std::string::npos);
    EXPECT_NE(r.out.find("Checking if INIFile " + (dir / "game/options.ini") + " Exists"), std::string::npos);
    EXPECT_EQ(Scratch_ReadFile(dir / "sub/file.txt"), "payload");
    EXPECT_FALSE(Scratch_Exists(dir / "sub@file.txt"));
    EXPECT_NE(r.out.find("Create Debug Form\n"), std::string::npos) << "the options' debug mode made the form";
    EXPECT_TRUE(Scratch_Exists(dir / "data/Demo/Debug.ini"));
}

TEST_F(RunnerProcess, DataWinBesideTheExecutableWinsOverTheCommandLine)
{
    const std::string exe = dir / "bin/runner";
    mkdir((dir / "bin").c_str(), 0777);
    ASSERT_EQ(Execute("cp " + Quote(ZB_RUNNER_PATH) + " " + Quote(exe)).code, 0);
    Write(dir / "bin/data.win", Bytes());
 ProcessResult r = Execute("SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ZIMBREL_MAX_FRAMES=1 " + Quote(exe) + " -game " + Quote(dir / "nothing.win") + " -output " + Quote(dir / "never.txt"));
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("RunnerLoadGame: " + (dir / "bin/data.win")), std::string::npos);
    EXPECT_FALSE(Scratch_Exists(dir / "never.txt")) << "the command line is not read at all";
}

TEST_F(RunnerProcess, FatalScriptErrorShutsDownInOrderAndExitsWithMinusOne)
{
    // The INI the game wrote is written out by the shutdown; no later code runs.
    Scratch_WriteFile(dir / "fatal.json", R"j({"name": "Fatal",
      "objects": [{"name": "obj", "events": [
        {"type": "create", "code": "ini_open(\"fatal.ini\"); ini_write_real(\"s\", \"k\", 7); z = 0; x = 1 div z; ini_write_real(\"s\", \"after\", 1)"},
        {"type": "step", "code": "ini_write_real(\"s\", \"step\", 1)"}]}],
      "rooms": [{"name": "rm", "instances": [{"object": "obj"}]}]})j");
    ProcessResult pack = Execute(Quote(ZB_GAMEPACK_PATH) + " " + Quote(dir / "fatal.json") + " " + Quote(dir / "fatal.win"));
    ASSERT_EQ(pack.code, 0) << pack.err;
    ProcessResult r = Execute("XDG_DATA_HOME=" + Quote(dir / "data") + " " + Runner() + " -game " + Quote(dir / "fatal.win"));
    EXPECT_EQ(r.code, 255) << r.out << r.err;
    EXPECT_NE(r.out.find("FATAL ERROR in"), std::string::npos) << r.out;
    const std::string ini = Scratch_ReadFile(dir / "data/Fatal/fatal.ini");
    EXPECT_NE(ini.find("k=7"), std::string::npos) << ini;
    EXPECT_EQ(ini.find("after"), std::string::npos) << ini;
    EXPECT_EQ(ini.find("step"), std::string::npos) << ini;
}
