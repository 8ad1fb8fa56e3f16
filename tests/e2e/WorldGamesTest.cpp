// End to end: games of tests/data/games packed by build/gamepack in both code modes and played
// headless by build/runner (in the test's scratch folder); each game writes what happens with
// show_debug_message, and the log ("-output") must hold exactly those lines in order: the
// event phases of a step, creation at room start with either order option, room switching
// with persistent objects and rooms, restart and end of the game, collisions with solid
// back-off, outside and boundary events, animation end, time lines both ways, paths with each
// end action, keyboard and mouse events from a playback file, precise collision masks
// (rotated, scaled, mask index, switched at run time) against box collisions in every query
// and in collision events, events run directly (event_perform, event_user,
// event_perform_object, event_inherited through a parent chain), executed code and variables
// by name, with the error reports they make, and the line, the code and the calls an error
// names under both executors.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "E2EGames.h"
#include "support/ScratchFolder.h"

using namespace e2e;

namespace {

class WorldGames : public ::testing::TestWithParam<const char*> {
protected:
    std::string Game(const char* name) { return std::string(ZB_SOURCE_DIR) + "/tests/data/games/" + name + "/manifest.json"; }

    // Packs the game in the mode of the test's parameter and plays it in the scratch folder
    // (source-mode games under both executors); env is put before the runner's command
    // (NAME=value ...); patch, when given, changes the packed file before it plays.
    Played Play(const std::string& manifest, const std::string& extra = "", const std::string& env = "",
                const std::function<void(const std::string& game)>& patch = {})
    {
        const std::string game = dir / "game.win";
        std::string said;
        EXPECT_TRUE(Pack(manifest, game, std::string("--") + GetParam(), &said)) << said;
        if (patch) patch(game);
        auto play = [&](const std::string& executor) {
            return PlayLogged("cd " + Quote(dir.Path()) + " && " + env + " " + kHeadless + "ZIMBREL_MAX_FRAMES=300 " +
                                  Quote(ZB_RUNNER_PATH) + " -game " + Quote(game) + " -output " + Quote(dir / ("log" + executor + ".txt")) +
                                  " " + extra + " " + executor + " >" + Quote(dir / ("out" + executor + ".txt")) + " 2>&1",
                              dir / ("log" + executor + ".txt"));
        };
        return ByteCode() ? play("") : PlayUnderBothExecutors(play);
    }

    bool ByteCode() const { return std::strcmp(GetParam(), "bytecode") == 0; }

    ScratchFolder dir;
};

} // namespace

TEST_P(WorldGames, EventPhasesOfEachStep)
{
    Played p = Play(Game("phases"));
    EXPECT_EQ(p.code, 0) << p.all;
    EXPECT_EQ(Joined(p.lines), "create\ngame start\nroom start\ndraw\n"
                               "begin 1\nstep\nend\ndraw\n"
                               "begin 2\nalarm\nstep\nend\ndraw\n"
                               "begin 3\nstep\nend\n"
                               "room end\ngame end\n")
        << p.all;
}

TEST_P(WorldGames, CreationAtRoomStartInBothOrders)
{
    Played p = Play(Game("create_order"));
    EXPECT_EQ(Joined(p.lines), "code 1\ncreate 1\ncode 2\ncreate 2\nroom code\nroom start 1\nroom start 2\n") << p.all;
    // The same game with the create event first.
    std::string manifest = Scratch_ReadFile(Game("create_order"));
    const std::string off = "\"create_event_first\": false";
    manifest.replace(manifest.find(off), off.size(), "\"create_event_first\": true");
    Scratch_WriteFile(dir / "first.json", manifest);
    p = Play(dir / "first.json");
    EXPECT_EQ(Joined(p.lines), "create 1\ncode 1\ncreate 2\ncode 2\nroom code\nroom start 1\nroom start 2\n") << p.all;
}

TEST_P(WorldGames, RoomsPersistenceRestartAndEnd)
{
    Played p = Play(Game("rooms"));
    EXPECT_EQ(p.code, 0);
    EXPECT_EQ(Joined(p.lines), "ctl create 1\nthing create 0\nroom 0 things 1\n"
                               "thing room end 0\nthing create 1\nroom 1 things 1\n"
                               "thing room end 1\nthing create 0\nroom 0 things 1\n"
                               "thing room end 0\nroom 1 things 1\n"
                               "thing room end 1\n"
                               "ctl create 2\nthing create 0\nroom 0 things 1\n"
                               "thing room end 0\n")
        << p.all;
}

TEST_P(WorldGames, CollisionsOutsideBoundaryAndAnimation)
{
    Played p = Play(Game("collide"));
    EXPECT_EQ(Joined(p.lines), "boundary 630\nboundary 640\noutside 650\nanim\nanim\nhit 180 200\nanim\n") << p.all;
}

TEST_P(WorldGames, TimeLinesBothWaysAndPathEndActions)
{
    Played p = Play(Game("timeline_path"));
    EXPECT_EQ(Joined(p.lines), "m0\nm2\n"
                               "end 0 40 -1\nend 1 0 0\nend 2 40 0\nend 3 40 0\n"
                               "m5\nm5\n"
                               "end 1 0 0\nend 2 80 0\nend 3 0 0\n"
                               "m2\n"
                               "end 1 0 0\nend 2 120 0\nend 3 40 0\n"
                               "m0\n")
        << p.all;
}

TEST_P(WorldGames, KeyboardAndMouseFromAPlaybackFile)
{
    // One record a step (layout of the input layer's record files): step 2 presses A and the
    // left button at (10, 10) over the button, step 3 holds both, step 4 releases both.
    constexpr size_t kSize = 2939, kKeyDown = 2060, kKeyReleased = 2316, kKeyPressed = 2572;
    constexpr size_t kMouseDown = 2868, kMouseReleased = 2883, kMousePressed = 2898, kMouseX = 2931;
    std::vector<uint8_t> file(kSize * 6, 0);
    auto put32 = [&](size_t at, int32_t v) { std::memcpy(&file[at], &v, 4); };
    for (size_t s = 0; s < 6; ++s) {
        put32(s * kSize + kMouseX, 10);
        put32(s * kSize + kMouseX + 4, 10);
    }
    file[1 * kSize + kKeyDown + 65] = file[1 * kSize + kKeyPressed + 65] = 1;
    file[2 * kSize + kKeyDown + 65] = 1;
    file[3 * kSize + kKeyReleased + 65] = 1;
    file[1 * kSize + kMouseDown] = file[1 * kSize + kMousePressed] = 1;
    file[2 * kSize + kMouseDown] = 1;
    file[3 * kSize + kMouseReleased] = 1;
    std::ofstream(dir / "input.rec", std::ios::binary).write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    Played p = Play(Game("input"), "-playback " + Quote(dir / "input.rec"));
    EXPECT_EQ(Joined(p.lines), "step 1\n"
                               "step 2\nheld A\npress A\nleft held on button\nleft pressed on button\nglobal left pressed\n"
                               "step 3\nheld A\nleft held on button\n"
                               "step 4\nrelease A\nleft released on button\n"
                               "step 5\nstep 6\n")
        << p.all;
}

TEST_P(WorldGames, VirtualButtonsOfOptionsIniActAsKeysInAPlayedRecord)
{
    // Button 0 is key "a" (its byte code, 97); buttons 1..39 lie off the window; button 40 (a
    // bit beyond the first 32) is vk_space. The held left button is the touch point.
    std::ofstream ini(dir / "options.ini");
    ini << "[IO_VIRTUAL_BUTTONS]\r\nNUM_BUTTONS=41\r\n[IO_BUTTON_0]\r\nX=0\r\nY=0\r\nW=10\r\nH=10\r\nKEY=a\r\n";
    for (int i = 1; i < 40; ++i) ini << "[IO_BUTTON_" << i << "]\r\nX=1000\r\nY=1000\r\nW=5\r\nH=5\r\nKEY=b\r\n";
    ini << "[IO_BUTTON_40]\r\nX=100\r\nY=100\r\nW=20\r\nH=20\r\nKEY=VK_SPACE\r\n";
    ini.close();
    constexpr size_t kSize = 2939, kMouseDown = 2868, kMouseX = 2931;
    std::vector<uint8_t> file(kSize * 8, 0);
    auto hold = [&](size_t step, int32_t x, int32_t y) { // step 1.. of the record
        const size_t at = (step - 1) * kSize;
        std::memcpy(&file[at + kMouseX], &x, 4);
        std::memcpy(&file[at + kMouseX + 4], &y, 4);
        file[at + kMouseDown] = 1;
    };
    hold(2, 110, 110);
    hold(3, 110, 110);
    hold(4, 110, 110); // in the second room: the options' buttons stay
    hold(6, 5, 5);
    std::ofstream(dir / "input.rec", std::ios::binary).write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    Played p = Play(Game("vbuttons"), "-playback " + Quote(dir / "input.rec"));
    EXPECT_EQ(p.code, 0) << p.all;
    EXPECT_EQ(Joined(p.lines), "step 1 room 0\n"
                               "step 2 room 0 space pressed\n" // the first step of a touch: pressed, not yet down
                               "step 3 room 0 space down\n"
                               "step 4 room 1 space down\n"
                               "step 5 room 1 space released\n"
                               "step 6 room 1 a pressed\n"
                               "step 7 room 1 a released\n"
                               "step 8 room 1\n")
        << p.all;
}

TEST_P(WorldGames, PreciseMasksAgainstBoxesInQueriesAndCollisionEvents)
{
    // Each query line: the answer for precise shapes, then for the same shapes without masks.
    Played p = Play(Game("precise"));
    EXPECT_EQ(p.code, 0);
    EXPECT_EQ(Joined(p.lines), "place_meeting 0 1\n"
                               "place_meeting nearer 1 1\n"
                               "instance_place none qb\n"
                               "instance_place nearer q qb\n"
                               "place_free 1 0\n"
                               "place_empty 1 0\n"
                               "position_meeting 0 1\n"
                               "position_meeting inside 1 1\n"
                               "instance_position none qb\n"
                               "collision_point none qb\n"
                               "collision_point not precise q qb\n"
                               "collision_rectangle none qb\n"
                               "collision_rectangle not precise q qb\n"
                               "collision_circle none qb\n"
                               "collision_circle inside q qb\n"
                               "collision_ellipse none qb\n"
                               "collision_line none qb\n"
                               "collision_line across q qb\n"
                               "collision_point not me none none\n"
                               "collision_point me q qb\n"
                               "rotated off the bar none rb\n"
                               "rotated on the bar r rb\n"
                               "rotated line none rb\n"
                               "scaled corner none sb\n"
                               "scaled inside s sb\n"
                               "scaled rectangle none sb\n"
                               "masked box 684 84 715 115 1\n"
                               "masked points m none none\n"
                               "precise off 1 1\n"
                               "collision mask again 0 0\n"
                               // Discs approaching along a diagonal: the boxes meet at step 19,
                               // the discs nine steps later; a turned bar passing a disc meets
                               // its box at step 20 and the disc at step 62.
                               "box hit at step 19 x 269\n"
                               "bar box hit at step 20 x 560\n"
                               "disc hit at step 28 x 78\n"
                               "bar hit at step 62 x 602\n")
        << p.all;
}

TEST_P(WorldGames, EventsRunDirectlyThroughTheParentChain)
{
    // show_debug_message writes to the release console ("-output"), not to the debug console.
    Played p = Play(Game("events"), "-debugoutput " + Quote(dir / "debug.txt"));
    EXPECT_EQ(p.code, 0);
    const std::string debug = Scratch_ReadFile(dir / "debug.txt");
    EXPECT_NE(debug, "");
    EXPECT_EQ(debug.find("user0"), std::string::npos) << debug;
    EXPECT_EQ(Joined(p.lines), "-- event_user through the chain\n"
                               "leaf user0 leaf\nmid user0 leaf\nbase user0 leaf other ctl\nmid user0 done\nleaf user0 done\n"
                               "-- event_user of a middle object\n"
                               "mid user0 mid\nbase user0 mid other ctl\nmid user0 done\n"
                               "-- event_user inherited without event_inherited\n"
                               "base user2 leaf\n"
                               "-- event_inherited without a parent\n"
                               "orphan user0 orphan\norphan user0 done\n"
                               "-- alarm, inherited past a parent without it\n"
                               "leaf alarm0 leaf\nbase alarm0 leaf\n"
                               "-- keyboard and end step\n"
                               "leaf left key leaf\nbase end step leaf\n"
                               "-- another object event\n"
                               "mid user0 leaf\nbase user0 leaf other ctl\nmid user0 done\n"
                               "-- collision event with other\n"
                               "watcher collision other ctl\n"
                               "-- an event nobody has\n"
                               "-- inherited outside an event of a parent\n"
                               "-- done\n"
                               // The collision phase: event_perform inside a collision event
                               // keeps its other.
                               "step 1\n"
                               "leaf meets watcher\nleaf user3 leaf other watcher\nbase end step leaf\n"
                               "watcher collision other leaf\n"
                               "base end step mid\nbase end step leaf\n"
                               "step 2\n")
        << p.all;
}

TEST_P(WorldGames, ExecutedCodeAndVariablesByName)
{
    const std::string folder = std::string(ZB_SOURCE_DIR) + "/tests/data/games/execute/";
    for (const char* name : {"exec_ok.txt", "exec_bad.txt"}) Scratch_WriteFile(dir / name, Scratch_ReadFile(folder + name));
    // Every non-fatal error shows the error dialog (the game's options show errors); Ignore
    // goes on with the game.
    Scratch_WriteFile(dir / "dialogs.txt", "error Ignore\nerror Ignore\nerror Ignore\nerror Ignore\nerror Ignore\n");
    Played p = Play(Game("execute"), "", "ZIMBREL_DIALOG_SCRIPT=" + Quote(dir / "dialogs.txt"));
    EXPECT_EQ(p.code, 0);
    // The body, the line and its text, alike in both modes.
    auto at = [&](int line, const char* text) {
        return " at Object.obj_ctl.Room_Start.0 (line " + std::to_string(line) + ") - " + text + "\n";
    };
    const std::string hashes(92, '#'), dashes(92, '-');
    auto report = [&](const std::string& message, const std::string& where) {
        return "ERROR!!! :: " + hashes + "\nERROR in\naction number 1\nof Other Event: Room Start\nfor object obj_ctl:\n\n\n" +
               message + "\n" + where + hashes + "\n\n";
    };
    const std::string globals = dashes +
                                "\nGlobal Variables : \n"
                                "level(100000) = 5\n"
                                "speed2(100001) = \"fast\"\n"
                                "grid(100002) = { { },  { 0 ,0 ,5},   }\n"
                                "row(100003) = { { 0 ,0 ,0 ,0 ,0 ,0 ,0 ,0 ,0 ,0 ,0 ,0 ,0 ,0 ,0 ,0 ,0 ,0 ,0 ,0 ,0 ,0 ,0 ,0 ,0 "
                                ",0 ,0 ,0 ,0 ,0 ... },   }\n";
    EXPECT_EQ(Joined(p.lines),
              "sum 42\n"
              "outer before 7 8 2\ninner 41 0\nouter after 7 8 2\nfile 5 0\nouter after file 7 8\n"
              "nested 42\n"
              "self 1\n"
              "ERROR!!! :: COMPILATION ERROR in string to be executed\nError in code at line 1:\n   x = ;\n\n"
              "at position 5: Unexpected symbol in expression.\n"
              "bad 0\n"
              "file 6 0\nfile 18\n"
              "ERROR!!! :: COMPILATION ERROR in file to be executed\nError in code at line 3:\n   x = (;\n\n"
              "at position 6: Unexpected symbol in expression.\n"
              "bad file 0\n" +
                  report("Trying to execute non-existing file.",
                         at(10, "show_debug_message('missing file ' + string(execute_file('no_such_file.txt')));")) +
                  "missing file 0\n"
                  "global 5 5\nglobal exists 1 0\nglobal get fast\nglobal array2 5 5\nglobal array last 0\n" +
                  report("Array index >= 32000",
                         at(20, "show_debug_message('too far ' + string(variable_global_array_get('grid', 32000)));")) +
                  globals + "too far 0\n" +
                  report("Array index >= 32000", at(21, "variable_global_array2_set('grid', 0, 32000, 9);")) + globals +
                  "not stored 0\n"
                  "local 11 1 0\nlocal array two two\nlocal array2 34\n"
                  "done\n")
        << p.all;
}

TEST_P(WorldGames, ErrorsNameTheSameLineAndTextUnderBothExecutors)
{
    // A built-in's error in a script called from an event: the report names the script's line
    // and its caller's, counted from 1 as the editor counts them, whichever executor runs the
    // code (the text before the line holds characters of more than one byte). The event, an
    // alarm and a time-line moment are named alike in both modes.
    Scratch_WriteFile(dir / "lines.json", R"j({"name": "Lines",
      "scripts": [{"name": "scr_inner", "code": "var s;\ns = \"héllo wörld, ça va\";\nds_list_add(12345, 1);\nreturn 1;"}],
      "timelines": [{"name": "tl_err", "moments": [{"time": 0, "code": "ds_list_add(777, 1);"}]}],
      "objects": [{"name": "obj_ctl", "events": [
        {"type": "create", "code": "a = \"é\";\n\nb = scr_inner();\nshow_debug_message(\"after \" + string(b));\nalarm[0] = 3; timeline_index = tl_err; timeline_running = true;"},
        {"type": "alarm", "number": 0, "code": "ds_list_add(54321, 1);\ngame_end();"}]}],
      "rooms": [{"name": "rm", "instances": [{"object": "obj_ctl"}]}]})j");
    for (const char* executor : {"", "-oldexec"}) {
        SCOPED_TRACE(executor);
        Scratch_WriteFile(dir / "dialogs.txt", "error Ignore\nerror Ignore\nerror Ignore\n");
        Played p = Play(dir / "lines.json", executor, "ZIMBREL_DIALOG_SCRIPT=" + Quote(dir / "dialogs.txt"));
        EXPECT_EQ(p.code, 0);
        EXPECT_NE(p.all.find("Data structure with index does not exist.\n"
                             " at Script.scr_inner (line 3) - ds_list_add(12345, 1);\n" +
                             std::string(92, '#') + "\n" + std::string(92, '-') +
                             "\nstack frame is\nScript.scr_inner (line 3)\n"
                             "called from - Object.obj_ctl.Create.0 (line 3) - b = scr_inner();\n"),
                  std::string::npos)
            << p.all;
        EXPECT_NE(p.all.find("after 1\n"), std::string::npos);
        EXPECT_NE(p.all.find(" at TimeLine.tl_err.0 (line 1) - ds_list_add(777, 1);\n"), std::string::npos) << p.all;
        EXPECT_NE(p.all.find(" at Object.obj_ctl.Alarm_0.0 (line 1) - ds_list_add(54321, 1);\n"), std::string::npos) << p.all;
    }
    if (ByteCode()) return; // the packer compiles the creation code and refuses it

    // Creation code that does not compile names its room or instance, under both executors.
    // The packer refuses such code, so it takes the place of code of the same length.
    Scratch_WriteFile(dir / "room.json", R"j({"name": "Room", "objects": [{"name": "obj", "events": [{"type": "draw", "code": "x = 1;"}]}],
      "rooms": [{"name": "rm_play", "instances": [{"object": "obj"}, {"object": "obj", "code": "a = 1;\nb = 2;"}]}]})j");
    const auto breakCode = [](const std::string& game) {
        std::string bytes = Scratch_ReadFile(game);
        const size_t at = bytes.find("b = 2;");
        ASSERT_NE(at, std::string::npos);
        Scratch_WriteFile(game, bytes.replace(at, 6, "b = ;;"));
    };
    for (const char* executor : {"", "-oldexec"}) {
        SCOPED_TRACE(executor);
        Played p = Play(dir / "room.json", executor, "", breakCode);
        EXPECT_EQ(p.code, 1);
        EXPECT_NE(p.all.find("Room_Prepare() \nERROR!!! :: COMPILATION ERROR in room script Instance.rm_play.1\n"
                             "Error in code at line 2:\n   b = ;;\n"),
                  std::string::npos)
            << p.all;
    }
}

TEST_P(WorldGames, ReportsNameTheCodeThatRanAndEveryCallUnderBothExecutors)
{
    // Errors of built-ins in creation code, in a time-line moment, in a script run by
    // execute_string and in code a script runs through execute_string: each report names the
    // code that ran and every call that led there, whichever executor runs each unit (under
    // -oldexec the tree interpreter runs the text and the machine a byte-code game's units).
    Scratch_WriteFile(dir / "calls.json", R"j({"name": "Calls",
      "scripts": [{"name": "scr_e", "code": "var a;\na = 1;\nds_list_find_value(99999, 0);\nreturn a;"},
                  {"name": "scr_x", "code": "var b;\nexecute_string(\"k = 1; ds_list_find_value(99998, 0);\");\nreturn 2;"}],
      "timelines": [{"name": "tl_boom", "moments": [{"time": 1, "code": "t = 1;\nds_list_find_value(99997, 0);"}]}],
      "objects": [{"name": "obj_ctl", "events": [
        {"type": "create", "code": "execute_string(\"scr_e();\");\nscr_x();\ntimeline_index = tl_boom; timeline_running = true; alarm[0] = 3;"},
        {"type": "alarm", "number": 0, "code": "game_end();"}]}],
      "rooms": [{"name": "rm_first", "code": "q = 1;\nds_list_find_value(99996, 0);",
                 "instances": [{"object": "obj_ctl", "code": "c = 1;\nds_list_find_value(99995, 0);"}]}]})j");
    const std::string create = "Object.obj_ctl.Create.0"; // the same name in both modes
    const std::string failed = "Data structure with index does not exist.\n";
    const std::string frames = std::string(92, '#') + "\n" + std::string(92, '-') + "\nstack frame is\n";
    for (const char* executor : {"", "-oldexec"}) {
        SCOPED_TRACE(executor);
        Scratch_WriteFile(dir / "dialogs.txt", "error Ignore\nerror Ignore\nerror Ignore\nerror Ignore\nerror Ignore\n");
        Played p = Play(dir / "calls.json", executor, "ZIMBREL_DIALOG_SCRIPT=" + Quote(dir / "dialogs.txt"));
        EXPECT_EQ(p.code, 0);
        for (const std::string& report :
             {"ERROR in\ncreation code\nof instance 100001\nfor object obj_ctl\nin room rm_first:\n\n\n" + failed +
                  " at Instance.rm_first.0 (line 2) - ds_list_find_value(99995, 0);\n",
              "ERROR in\ncreation code\nof room rm_first:\n\n\n" + failed + " at Room.rm_first (line 2) - ds_list_find_value(99996, 0);\n",
              failed + " at Script.scr_e (line 3) - ds_list_find_value(99999, 0);\n" + frames +
                  "Script.scr_e (line 3)\ncalled from - Execute.0 (line 1) - scr_e();\n"
                  "called from - " + create + " (line 1) - execute_string(\"scr_e();\");\n",
              failed + " at Execute.1 (line 1) - k = 1; ds_list_find_value(99998, 0);\n" + frames +
                  "Execute.1 (line 1)\ncalled from - Script.scr_x (line 2) - execute_string(\"k = 1; ds_list_find_value(99998, 0);\");\n"
                  "called from - " + create + " (line 2) - scr_x();\n",
              "of time line tl_boom:\n\n\n" + failed + " at TimeLine.tl_boom.1 (line 2) - ds_list_find_value(99997, 0);\n"})
            EXPECT_NE(p.all.find(report), std::string::npos) << report << "\nnot in:\n" << p.all;
    }
}

INSTANTIATE_TEST_SUITE_P(BothModes, WorldGames, ::testing::Values("source", "bytecode"));
