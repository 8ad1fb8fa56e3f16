// End to end: build/gamepack as a new user meets it. A project with every resource at the
// edge of what the runner's loaders accept packs, and build/runner plays it in both code
// modes; the command says nothing on its standard output, and never writes over a file the
// project reads, nor anything when it refuses the project.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "E2EGames.h"
#include "support/GameFileTools.h"
#include "support/ScratchFolder.h"

using namespace e2e;

namespace {

const char* kFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

struct Outcome {
    int code = -1;
    std::string out, err;
};

// A command line in folder, stdout and stderr kept apart.
Outcome Execute(const ScratchFolder& dir, const std::string& command)
{
    Outcome r;
    r.code = Shell("cd " + Quote(dir.Path()) + " && " + command + " >" + Quote(dir / "out.txt") + " 2>" + Quote(dir / "err.txt"));
    r.out = Scratch_ReadFile(dir / "out.txt");
    r.err = Scratch_ReadFile(dir / "err.txt");
    return r;
}

std::string Packer() { return Quote(ZB_GAMEPACK_PATH); }

class PackerGames : public ::testing::TestWithParam<const char*> {
protected:
    ScratchFolder dir;
};

} // namespace

TEST_P(PackerGames, ProjectAtEveryLimitPacksAndPlays)
{
    // Frame and background sides of 8192 (1 pixel across, to stay small), as many frames as
    // the strip is wide, the largest font size, charset and antialias, the last event number
    // of a key, 8 background layers and views, the path's top precision, the outermost
    // moment times and instance ids.
    TestImage_WritePng(dir / "wide.png", TestImage(8192, 1, 200, 10, 10, 255));
    TestImage_WritePng(dir / "tall.png", TestImage(1, 8192, 10, 200, 10, 255));
    TestImage_WritePng(dir / "strip.png", TestImage(32, 2, 10, 10, 200, 255));
    std::string layers, views;
    for (int k = 0; k < 8; ++k) {
        layers += std::string(k ? ", " : "") + R"({"background": "bg_wide", "y": )" + std::to_string(k) + "}";
        views += std::string(k ? ", " : "") + R"({"visible": true, "x": )" + std::to_string(k) + R"(, "width": 64, "height": 48,
                  "port_x": )" + std::to_string(64 * k) + R"(, "port_width": 64, "port_height": 48})";
    }
    Scratch_WriteFile(dir / "ctl_create.zbl",
                      "show_debug_message(string(sprite_get_width(spr_wide)) + \" \" + string(sprite_get_height(spr_tall)) + \" \" +\n"
                      "    string(sprite_get_number(spr_strip)) + \" \" + string(background_get_width(bg_wide)) + \" \" +\n"
                      "    string(font_get_size(fnt_edge)) + \" \" + string(id) + \" \" + string(EDGE) + \" \" + string(os_android));\n");
    Scratch_WriteFile(dir / "limits.json", R"({"name": "Limits", "first_instance_id": 2147483645,
      "constants": {"EDGE": "2147483647"},
      "sprites": [{"name": "spr_wide", "image": "wide.png"}, {"name": "spr_tall", "image": "tall.png", "precise": true},
                  {"name": "spr_strip", "image": "strip.png", "frames": 32}],
      "backgrounds": [{"name": "bg_wide", "image": "wide.png"}],
      "fonts": [{"name": "fnt_edge", "ttf": ")" + std::string(kFont) + R"(", "size": 512, "first": 65, "last": 65,
                 "charset": 255, "antialias": 254}],
      "paths": [{"name": "pth", "kind": 1, "closed": true, "precision": 8, "points": [[0, 0], [10, 10, 50]]}],
      "timelines": [{"name": "tl", "moments": [{"time": -2147483648, "code": ""}, {"time": 2147483647, "code": ""}]}],
      "objects": [{"name": "obj_other", "sprite": "spr_strip"},
                  {"name": "obj_ctl", "events": [{"type": "create", "file": "ctl_create.zbl"},
                                                 {"type": "keypress", "number": 255, "code": "show_debug_message(\"key\");"},
                                                 {"type": "collision", "number": "obj_other", "code": ""},
                                                 {"type": "alarm", "number": 11, "code": ""},
                                                 {"type": "step", "number": 2, "code": "game_end();"}]}],
      "rooms": [{"name": "rm", "views_enabled": true, "backgrounds": [)" + layers + R"(], "views": [)" + views + R"(],
                 "instances": [{"object": "obj_ctl"}, {"object": "obj_other", "x": 300}]}]})");
    std::string said;
    ASSERT_TRUE(Pack(dir / "limits.json", dir / "limits.win", std::string("--") + GetParam(), &said)) << said;
    EXPECT_EQ(said, "gamepack: " + (dir / "limits.json") + ": warning: time line tl, moment -2147483648: a moment below 0 runs "
                    "only when code moves the position below 0 (timeline_position set so, or a negative timeline_speed "
                    "without timeline_loop); a time line starts at 0\n");
    Outcome r = Execute(dir, std::string(kHeadless) + "ZIMBREL_MAX_FRAMES=30 " + Quote(ZB_RUNNER_PATH) + " -game limits.win -output log.txt");
    EXPECT_EQ(r.code, 0) << r.err;
    const std::string log = Scratch_ReadFile(dir / "log.txt");
    EXPECT_EQ(Joined(GameLines(log)), "8192 8192 32 8192 512 2147483646 2147483647 4\n") << log;
}

TEST_P(PackerGames, WhatOnlyCodeRunsPacksWithAWordAndRunsAndTilesShowTheirRegion)
{
    // Events the run loop never runs and a moment below 0 pack with one warning each (exit 0)
    // and run when the game's code asks: event_perform, event_perform_object, a time line
    // played backwards. A tile without a size shows its whole background, from "left" the
    // rest of it, read back by pixels: red at 2, green at 12, green from 8 at 34, nothing at 42.
    PackImage two = TestImage(16, 16, 255, 0, 0, 255);
    for (size_t px = 0; px < 16 * 16; ++px)
        if (px % 16 >= 8) two.rgba[px * 4] = 0, two.rgba[px * 4 + 1] = 255;
    TestImage_WritePng(dir / "two.png", two);
    TestImage_WritePng(dir / "blue.png", TestImage(16, 16, 0, 0, 255, 255));
    Scratch_WriteFile(dir / "game.json", R"({"name": "CodeRuns",
      "backgrounds": [{"name": "bg_two", "image": "two.png"}, {"name": "bg_blue", "image": "blue.png"}],
      "timelines": [{"name": "tl", "moments": [{"time": -3, "code": "show_debug_message('moment -3');"}]}],
      "objects": [{"name": "obj_ctl", "depth": -10, "events": [
        {"type": "create", "code": "n = 0; event_perform(ev_other, ev_close_button); event_perform_object(obj_ctl, ev_alarm, 12); event_perform(11, 7); timeline_index = tl; timeline_speed = -1; timeline_running = true;"},
        {"type": "other", "number": 30, "code": "show_debug_message('close button');"},
        {"type": "alarm", "number": 12, "code": "show_debug_message('alarm 12');"},
        {"type": 11, "number": 7, "code": "show_debug_message('list 11');"},
        {"type": "step", "code": "n += 1; if (n == 5) game_end();"},
        {"type": "draw", "code": "if (n == 1) show_debug_message('pixels ' + string(draw_getpixel(2, 2)) + ' ' + string(draw_getpixel(12, 2)) + ' ' + string(draw_getpixel(34, 2)) + ' ' + string(draw_getpixel(42, 2)));"}]}],
      "rooms": [{"name": "rm", "width": 64, "height": 32, "instances": [{"object": "obj_ctl"}],
                 "tiles": [{"background": "bg_two"}, {"background": "bg_two", "x": 32, "left": 8}, {"background": "bg_blue", "y": 16}]}]})");
    std::string said;
    ASSERT_TRUE(Pack(dir / "game.json", dir / "game.win", std::string("--") + GetParam(), &said)) << said;
    const std::string warning = "gamepack: " + (dir / "game.json") + ": warning: ";
    const std::string lines[] = {"time line tl, moment -3: a moment below 0 runs only when code moves the position below 0",
                                 "object obj_ctl, other event 30: the run loop never runs it (an other event's number is",
                                 "object obj_ctl, alarm event 12: the run loop never runs it (an alarm event's number",
                                 "object obj_ctl, event 7 of type 11: the run loop never runs it"};
    size_t at = 0;
    for (const std::string& line : lines) {
        EXPECT_EQ(said.compare(at, warning.size() + line.size(), warning + line), 0) << said;
        at = said.find('\n', at) + 1;
    }
    EXPECT_EQ(at, said.size()) << "one line each: " << said;
    Outcome r = Execute(dir, std::string(kHeadless) + "ZIMBREL_MAX_FRAMES=30 " + Quote(ZB_RUNNER_PATH) + " -game game.win -output log.txt");
    EXPECT_EQ(r.code, 0) << r.err;
    const std::string log = Scratch_ReadFile(dir / "log.txt");
    EXPECT_EQ(Joined(GameLines(log)), "close button\nalarm 12\nlist 11\npixels 255 65280 65280 0\nmoment -3\n") << log;
}

TEST_P(PackerGames, DeclaredGlobalsAndNegativeZeroPlayAlikeInEveryModeAndExecutor)
{
    // A name declared with globalvar exists with the value 0 before any code sets it, as the
    // runner compiling the source makes it: byte code carries the declaration for the runner.
    // A negative zero keeps its sign wherever code makes one: a literal, a negated whole
    // constant, a value stored and read back in every kind of variable and passed to a script,
    // a game constant given as a JSON number or as text, the negation of what a comparison or a
    // bitwise operator gives; arctan2(-0, -1) is -pi, arctan2(+0, -1) pi. The text of -0 and
    // the comparisons with 0 stay those of 0.
    Scratch_WriteFile(dir / "zero.zbl",
                      "var z, a, b, c;\n"
                      "a = 1; b = 2; c = 0;\n"
                      "z = -0.0; global.g = -0.0; inst = -0.0; arr[2] = -0.0;\n"
                      "show_debug_message(\"literal \" + string(arctan2(-0.0, -1)));\n"
                      "show_debug_message(\"whole \" + string(arctan2(-0, -1)) + \" \" + string(arctan2(-0 * 5, -1)));\n"
                      "show_debug_message(\"stored \" + string(arctan2(z, -1)) + \" \" + string(arctan2(global.g, -1)) + \" \" +\n"
                      "    string(arctan2(inst, -1)) + \" \" + string(arctan2(arr[2], -1)) + \" \" + string(scr_atan(-0.0)));\n"
                      "show_debug_message(\"constant \" + string(arctan2(NZ, -1)) + \" \" + string(arctan2(NZJ, -1)));\n"
                      "show_debug_message(\"negated \" + string(arctan2(-c, -1)) + \" \" + string(arctan2(-(a & b), -1)) + \" \" +\n"
                      "    string(arctan2(-(a == b), -1)));\n"
                      "show_debug_message(\"positive \" + string(arctan2(0.0, -1)) + \" \" + string(arctan2(-0.0 + 0, -1)) + \" \" +\n"
                      "    string(arctan2(a & b, -1)));\n"
                      "show_debug_message(\"text \" + string(-0.0) + \" \" + string(z));\n"
                      "show_debug_message(\"compare \" + string(z == 0) + string(-0.0 == 0) + string(z < 0) + string(z >= 0) +\n"
                      "    string(z == c) + string(-0.0 != 0));\n"
                      "switch (z) { case 0: show_debug_message(\"case 0\"); break; default: show_debug_message(\"default\"); }\n"
                      "game_end();\n");
    Scratch_WriteFile(dir / "game.json", R"({"name": "Declared", "constants": {"NZ": "-0.0", "NZJ": -0.0},
      "scripts": [{"name": "scr_atan", "code": "return arctan2(argument0, -1);"}],
      "objects": [{"name": "obj_a", "events": [{"type": "create", "code": "globalvar gv, gw;\nshow_debug_message(string(gv) + ' ' + string(global.gw));\ngv = 5;"}]},
                  {"name": "obj_b", "events": [{"type": "create", "code": "show_debug_message(string(gv + 1) + ' ' + string(gw));"}]},
                  {"name": "obj_zero", "events": [{"type": "create", "file": "zero.zbl"}]}],
      "rooms": [{"name": "rm", "instances": [{"object": "obj_a"}, {"object": "obj_b"}, {"object": "obj_zero"}]}]})");
    std::string said;
    ASSERT_TRUE(Pack(dir / "game.json", dir / "game.win", std::string("--") + GetParam(), &said)) << said;
    const Played p = PlayInFolder(dir.Path(), "game.win");
    EXPECT_EQ(p.code, 0) << Scratch_ReadFile(dir / "out.txt");
    EXPECT_EQ(Joined(p.lines), "0 0\n6 0\n"
                               "literal -3.14\n"
                               "whole -3.14 -3.14\n"
                               "stored -3.14 -3.14 -3.14 -3.14 -3.14\n"
                               "constant -3.14 -3.14\n"
                               "negated -3.14 -3.14 -3.14\n"
                               "positive 3.14 3.14 3.14\n"
                               "text 0 0\n"
                               "compare 110110\n"
                               "case 0\n")
        << p.all;
}

INSTANTIATE_TEST_SUITE_P(Modes, PackerGames, ::testing::Values("source", "bytecode"));

TEST(PackerCommand, AnErrorReportShowsOnlyTheCodeOfTheGameItHappensIn)
{
    // Two byte-code games packed into one folder share a companion name (game.win, game.dat):
    // the second pack says it replaced the first game's companion, and the first game's error
    // report then shows no line rather than the other game's code; its debug log says why. A
    // pack through a symbolic link writes the companion beside the file the link names, where
    // the runner playing that file finds it.
    ScratchFolder dir;
    Scratch_WriteFile(dir / "a.json", R"({"objects": [{"name": "obj", "events": [{"type": "create",
      "code": "a = 1;\nb = 2;\nc = 3;\nd = 4;\nx = ds_list_add(-7, 1);"}]}],
      "rooms": [{"name": "rm", "instances": [{"object": "obj"}]}]})");
    Scratch_WriteFile(dir / "b.json", R"({"objects": [{"name": "obj", "events": [{"type": "create",
      "code": "show_debug_message('the other game');"}]}], "rooms": [{"name": "rm", "instances": [{"object": "obj"}]}]})");
    auto play = [&](const std::string& game) {
        std::remove((dir / "debug.txt").c_str());
        return PlayInFolder(dir.Path(), game, "-debugoutput debug.txt");
    };
    const std::string report = " at Object.obj.Create.0 (line 5) - x = ds_list_add(-7, 1);";
    ASSERT_EQ(Execute(dir, Packer() + " a.json game.win --bytecode").code, 0);
    Played p = play("game.win");
    EXPECT_NE(p.all.find(report), std::string::npos) << p.all;

    Outcome r = Execute(dir, Packer() + " b.json game.dat --bytecode");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "gamepack: b.json: warning: replaced game.kvdebug, the debug companion of game.win: its error reports "
                     "now carry no lines; give the two outputs names that differ before their extensions\n");
    EXPECT_EQ(Execute(dir, Packer() + " b.json game.dat --bytecode").err, "") << "its own companion is replaced silently";
    p = play("game.win");
    EXPECT_NE(p.all.find(" at Object.obj.Create.0 (line -1) - "), std::string::npos) << p.all;
    EXPECT_EQ(p.all.find("the other game"), std::string::npos) << p.all;
    EXPECT_NE(Scratch_ReadFile(dir / "debug.txt").find("Debug information " + (dir / "game.kvdebug") +
                                                        " belongs to another game file and was not read\n"),
              std::string::npos);

    ASSERT_EQ(mkdir((dir / "out").c_str(), 0755), 0);
    ASSERT_EQ(symlink("out/real.win", (dir / "link.win").c_str()), 0);
    ASSERT_EQ(Execute(dir, Packer() + " a.json link.win --bytecode").code, 0);
    EXPECT_FALSE(Scratch_Exists(dir / "link.kvdebug"));
    for (const char* game : {"out/real.win", "link.win"}) {
        p = play(game);
        EXPECT_NE(p.all.find(report), std::string::npos) << game << "\n" << p.all;
    }
}

TEST(PackerCommand, QuietAndNeverWritesOverWhatItReads)
{
    ScratchFolder dir;
    TestImage_WritePng(dir / "a.png", TestImage(4, 4, 1, 2, 3, 255));
    const std::string manifest = R"({"sprites": [{"name": "spr", "image": "a.png"}],
      "objects": [{"name": "obj", "sprite": "spr", "events": [{"type": "step", "code": "x += 1;"}]}],
      "rooms": [{"name": "rm", "instances": [{"object": "obj"}]}]})";
    Scratch_WriteFile(dir / "game.json", manifest);

    // Both modes say nothing on the standard output (the runner's registration traces stay
    // out of the tool), nothing on the error output, and write the game.
    for (const char* mode : {"--source", "--bytecode"}) {
        Outcome r = Execute(dir, Packer() + " game.json game.win " + mode);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out, "") << mode;
        EXPECT_EQ(r.err, "") << mode;
        EXPECT_TRUE(Scratch_Exists(dir / "game.win"));
    }

    // An output that is one of the project's own files is refused, and the file stays.
    for (const char* output : {"game.json", "./a.png"}) {
        const std::string before = Scratch_ReadFile(dir / output);
        Outcome r = Execute(dir, Packer() + " game.json " + output);
        EXPECT_EQ(r.code, 1) << output;
        EXPECT_NE(r.err.find("which the project reads; give another output name"), std::string::npos) << r.err;
        EXPECT_EQ(Scratch_ReadFile(dir / output), before) << output;
    }

    // A refused project writes nothing; a manifest error names the file and the place.
    Scratch_WriteFile(dir / "broken.json", "{\n  \"rooms\": [{\"name\": \"r\"}\n");
    Outcome r = Execute(dir, Packer() + " broken.json new.win");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "gamepack: broken.json: the manifest ends (line 3, column 1) before its JSON is complete\n");
    EXPECT_FALSE(Scratch_Exists(dir / "new.win"));
    r = Execute(dir, Packer() + " --bytcode game.json new.win");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("gamepack: unknown option --bytcode"), std::string::npos) << r.err;
    EXPECT_FALSE(Scratch_Exists(dir / "new.win"));
}

TEST(PackerCommand, FailuresLeaveTheEarlierOutputAndCompanion)
{
    // After a good byte-code pack, each failure exits with 1 and one message naming the file,
    // and leaves the game file and its companion byte for byte, and no other file, behind: a
    // write cut short by a file-size limit, a folder where the companion goes, a named pipe as
    // the output (never waited on), an output that would be its own companion.
    ScratchFolder dir;
    TestImage_WritePng(dir / "a.png", TestImage(16, 16, 1, 2, 3, 255));
    Scratch_WriteFile(dir / "game.json", R"({"sprites": [{"name": "spr", "image": "a.png"}],
      "objects": [{"name": "obj", "sprite": "spr", "events": [{"type": "step", "code": "x += 1;"}]}],
      "rooms": [{"name": "rm", "instances": [{"object": "obj"}]}]})");
    ASSERT_EQ(Execute(dir, Packer() + " game.json game.win --bytecode").code, 0);
    const std::string game = Scratch_ReadFile(dir / "game.win"), debug = Scratch_ReadFile(dir / "game.kvdebug");
    ASSERT_GT(game.size(), 1024u) << "the file-size limit below must cut the write short";
    ASSERT_EQ(mkfifo((dir / "pipe.win").c_str(), 0600), 0);
    ASSERT_EQ(mkdir((dir / "other.kvdebug").c_str(), 0700), 0);
    const std::pair<std::string, const char*> failures[] = {
        {"ulimit -f 2 && " + Packer() + " game.json game.win --bytecode", "gamepack: cannot write game.win: "},
        {Packer() + " game.json other.win --bytecode",
         "gamepack: cannot write other.kvdebug: a folder, not a plain file\n"},
        {Packer() + " game.json pipe.win", "gamepack: cannot write pipe.win: a named pipe, not a plain file\n"},
        {Packer() + " game.json game.kvdebug --bytecode", "gamepack: the output game.kvdebug is its own debug companion"},
    };
    for (const auto& [command, message] : failures) {
        SCOPED_TRACE(command);
        const std::set<std::string> before = Scratch_List(dir.Path());
        Outcome r = Execute(dir, command);
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.err.rfind(message, 0), 0u) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line";
        EXPECT_EQ(Scratch_ReadFile(dir / "game.win"), game);
        EXPECT_EQ(Scratch_ReadFile(dir / "game.kvdebug"), debug);
        EXPECT_EQ(Scratch_List(dir.Path()), before);
    }
}

TEST(PackerCommand, HelpModesAndOutputsThroughLinksAndFolders)
{
    ScratchFolder dir;
    Scratch_WriteFile(dir / "game.json", R"({"rooms": [{"name": "rm"}]})");
    // The usage on the standard output with exit 0, as the runner's; both modes at once are a
    // command-line error.
    for (const char* help : {" --help", " -h"}) {
        Outcome r = Execute(dir, Packer() + help);
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.out.rfind("usage: gamepack MANIFEST.json OUTPUT.win", 0), 0u) << r.out;
        EXPECT_EQ(r.err, "");
    }
    Outcome r = Execute(dir, Packer() + " game.json game.win --source --bytecode");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err.rfind("gamepack: --source and --bytecode are both given; give one\n", 0), 0u) << r.err;
    EXPECT_FALSE(Scratch_Exists(dir / "game.win"));
    // Byte code has no text for absent code: the option with it is a mistake, given on the
    // command line or in the manifest.
    Scratch_WriteFile(dir / "bytecode.json", R"({"mode": "bytecode", "rooms": [{"name": "rm"}]})");
    for (const char* command : {" game.json game.win --bytecode --absent-code-empty", " bytecode.json game.win --absent-code-empty"}) {
        r = Execute(dir, Packer() + command);
        EXPECT_EQ(r.code, 2) << command;
        EXPECT_EQ(r.err.rfind("gamepack: --absent-code-empty writes absent code as an empty text, which byte code has none "
                              "of; give it with --source only\n",
                              0),
                  0u)
            << r.err;
        EXPECT_FALSE(Scratch_Exists(dir / "game.win"));
    }

    // A link to a file not there yet is written through, as a live one: the link stays.
    ASSERT_EQ(mkdir((dir / "out").c_str(), 0755), 0);
    ASSERT_EQ(symlink("out/real.win", (dir / "link.win").c_str()), 0);
    EXPECT_EQ(Execute(dir, Packer() + " game.json link.win").code, 0);
    struct stat st;
    ASSERT_EQ(lstat((dir / "link.win").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(Scratch_ReadFile(dir / "out/real.win").substr(0, 4), "FORM");

    // A folder in another letter case is named; so is a folder that takes no new file, though
    // the output itself may be written (root is held to the permissions through setpriv).
    r = Execute(dir, Packer() + " game.json OUT/game.win");
    EXPECT_EQ(r.err, "gamepack: cannot write OUT/game.win: there is no folder OUT (there is out: letter case counts in names here)\n");
    ASSERT_EQ(chmod((dir / "out").c_str(), 0555), 0);
    const std::string held = geteuid() == 0 ? "setpriv --bounding-set=-dac_override,-dac_read_search " : "";
    if (geteuid() == 0 && Shell(held + "true") != 0) GTEST_SKIP() << "setpriv cannot drop the capabilities here";
    r = Execute(dir, held + Packer() + " game.json out/real.win");
    chmod((dir / "out").c_str(), 0755);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "gamepack: cannot write out/real.win: its folder out is not writable (Permission denied): the packer "
                     "writes the new file beside it and renames it into place\n");
}
