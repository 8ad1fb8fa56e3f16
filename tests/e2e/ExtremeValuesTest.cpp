// End to end: every writable built-in variable, taken from the built-in variable table (so a
// new row is covered without touching this test), is set in turn to NaN, the infinities, the
// largest doubles and values beyond the 32-bit range, in a game that then steps and draws with
// two views following an instance that has a sprite, follows a path and runs a time line,
// with a particle system, backgrounds, tiles, a physics body and a view drawn into a surface.
// The game must play every pair to its end: no crash, no hang, no error (its dialog would end
// the game), and (in the sanitizer build, which halts on its first report) no undefined
// behaviour. Also a few built-ins whose integer work on such values needs 64 bits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "E2EGames.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Variable/Variable_World.h"
#include "support/ScratchFolder.h"

namespace {

// Values given to every row: NaN, the infinities, the largest finite doubles (infinite as
// floats), and values a float holds but a 32-bit integer does not.
const char* const kValues[] = {"global.inf - global.inf", "global.inf",   "-global.inf",  "global.big",
                               "-global.big",             "4000000000", "-4000000000"};
constexpr int kValueCount = int(sizeof(kValues) / sizeof(kValues[0]));

// What the game does with the value v (global.v), one statement a form. Every writable row,
// plain and indexed (index 1: the second view and background, alarm 1, argument 1; rows
// without an index ignore it), assigned v in every instance. Left out, as they end the game
// by design: "room" (a room that does not exist) and the physics rows (their layer refuses
// values that are not finite or beyond its range, which fails the assignment); "room_speed"
// gets only positive values (others fail it). Then built-ins whose integer work on such
// values needs 64 bits: tiled drawing, the window moved and the mouse put in it, and a
// window rectangle at the far end of the range (last, as the window stays so).
std::vector<std::string> Forms()
{
    Variable_BuiltIn_Init();
    World_RegisterVariables();
    std::vector<std::string> forms;
    for (int32_t id = 0; id < Variable_BuiltIn_Count(); ++id) {
        const BuiltinVariable* row = Variable_BuiltIn_Row(id);
        const std::string name = row->name;
        if (!row->set || !row->settable || name == "room" || name.rfind("phy_", 0) == 0) continue;
        const std::string guard = name == "room_speed" ? "if (global.v > 0) " : "";
        for (const std::string& form : {name, name + "[1]"}) forms.push_back(guard + "with (all) " + form + " = global.v");
    }
    forms.push_back("with (obj_target) draw_sprite_tiled(sprite_index, 0, global.v, global.v)");
    forms.push_back("window_set_position(global.v, global.v); window_mouse_set(global.v, global.v)");
    forms.push_back("window_set_rectangle(2000000000, 2000000000, 2000000000, 2000000000)");
    return forms;
}

} // namespace

TEST(ExtremeValues, EveryWritableBuiltinVariableStepsAndDraws)
{
    ScratchFolder dir;
    const std::vector<std::string> forms = Forms();
    ASSERT_GT(forms.size(), 200u);
    const size_t pairs = forms.size() * kValueCount;

    std::string script = "switch (argument0) {\n";
    for (size_t i = 0; i < forms.size(); ++i) script += "case " + std::to_string(i) + ": " + forms[i] + "; break;\n";
    script += "}\n";
    std::string values;
    for (int i = 0; i < kValueCount; ++i) values += "global.vals[" + std::to_string(i) + "] = " + kValues[i] + "; ";
    Scratch_WriteFile(dir / "scr_set.zbl", script);

    const std::string demo = std::string(ZB_SOURCE_DIR) + "/examples/demo/";
    const std::string manifest = R"({"name": "extreme", "window": {"width": 128, "height": 48},
  "scripts": [{"name": "scr_set", "file": "scr_set.zbl"}],
  "sprites": [{"name": "spr", "image": ")" + demo + R"(ball_strip.png", "frames": 4, "origin": [8, 8]}],
  "backgrounds": [{"name": "bg", "image": ")" + demo + R"(wall.png"}],
  "paths": [{"name": "pth", "kind": 1, "closed": true, "points": [[40, 40], [200, 60], [120, 200]]}],
  "timelines": [{"name": "tl", "moments": [{"time": 1, "code": "image_angle += 1;"}, {"time": 3, "code": "image_alpha = 0.9;"}]}],
  "objects": [
    {"name": "obj_ctl", "depth": -100, "events": [
      {"type": "create", "code": "if (!variable_global_exists('k')) { global.k = 0; global.big = power(10, 308) * 1.7; global.inf = global.big * 10; )" + values + R"( global.surf = surface_create(32, 32); global.ps = part_system_create(); global.pt = part_type_create(); part_type_shape(global.pt, pt_shape_square); part_type_life(global.pt, 4, 4); part_type_speed(global.pt, 1, 2, 0, 0); global.em = part_emitter_create(global.ps); part_emitter_region(global.ps, global.em, 60, 80, 60, 80, ps_shape_ellipse, ps_distr_linear); part_emitter_stream(global.ps, global.em, global.pt, 1); } n = 0;"},
      {"type": "other", "number": 4, "code": "global.v = global.vals[global.k mod )" + std::to_string(kValueCount) + R"(]; scr_set(global.k div )" + std::to_string(kValueCount) + R"();"},
      {"type": "step", "number": 1, "code": "n += 1; global.m = mouse_x + mouse_y + window_views_mouse_get_x() + window_view_mouse_get_y(1); if (n == 2) { with (all) persistent = false; room_persistent = false; cursor_sprite = -1; global.k += 1; if (global.k >= )" + std::to_string(pairs) + R"() { show_debug_message('played ' + string(global.k)); game_end(); } else room_restart(); }"}
    ]},
    {"name": "obj_target", "sprite": "spr", "events": [
      {"type": "create", "code": "path_start(pth, 3, 1, false); timeline_index = tl; timeline_running = true; timeline_loop = true; image_speed = 0.5; alarm[0] = 2; alarm[1] = 3;"},
      {"type": "alarm", "number": 0, "code": "alarm[0] = 2;"},
      {"type": "alarm", "number": 1, "code": "alarm[1] = 3;"}
    ]},
    {"name": "obj_body", "sprite": "spr",
     "physics": {"shape": 0, "points": [[0, 0], [8, 0]], "density": 1}},
    {"name": "obj_drawn", "sprite": "spr", "events": [
      {"type": "draw", "code": "draw_sprite_ext(sprite_index, image_index, x, y, image_xscale, image_yscale, image_angle, image_blend, image_alpha);"}
    ]}
  ],
  "rooms": [
    {"name": "rm", "width": 400, "height": 300, "speed": 1000000, "views_enabled": true, "physics": true,
     "code": "view_surface_id[1] = global.surf;",
     "backgrounds": [{"background": "bg", "x": 3, "y": 5}, {"background": "bg", "foreground": true, "htiled": false}],
     "views": [
       {"visible": true, "x": 0, "y": 0, "width": 64, "height": 48, "port_x": 0, "port_y": 0, "port_width": 64, "port_height": 48, "hborder": 16, "vborder": 16, "hspeed": -1, "vspeed": -1, "follow": "obj_target"},
       {"visible": true, "x": 0, "y": 0, "width": 64, "height": 48, "port_x": 64, "port_y": 0, "port_width": 64, "port_height": 48, "hborder": 40, "vborder": 30, "hspeed": -1, "vspeed": -1, "follow": "obj_target"}
     ],
     "tiles": [{"background": "bg", "x": 50, "y": 50, "width": 16, "height": 16, "depth": 10}],
     "instances": [{"object": "obj_ctl"}, {"object": "obj_target", "x": 40, "y": 40}, {"object": "obj_body", "x": 100, "y": 100}, {"object": "obj_drawn", "x": 30, "y": 20}]}
  ]})";
    Scratch_WriteFile(dir / "game.json", manifest);
    std::string said;
    ASSERT_TRUE(e2e::Pack(dir / "game.json", dir / "game.win", "--bytecode", &said)) << said;

    const std::string log = dir / "log.txt";
    const int code = e2e::Shell("cd " + e2e::Quote(dir.Path()) + " && " + e2e::kHeadless + "XDG_DATA_HOME=" +
                                e2e::Quote(dir / "data") + " ZIMBREL_MAX_FRAMES=" + std::to_string(pairs * 3 + 100) + " " +
                                e2e::Quote(ZB_RUNNER_PATH) + " -game " + e2e::Quote(dir / "game.win") + " -output " +
                                e2e::Quote(log) + " >" + e2e::Quote(dir / "out.txt") + " 2>&1");
    auto tail = [](const std::string& s) { return s.substr(s.size() > 4000 ? s.size() - 4000 : 0); };
    EXPECT_EQ(code, 0) << tail(Scratch_ReadFile(dir / "out.txt"));
    const std::string all = Scratch_ReadFile(log);
    EXPECT_NE(all.find("played " + std::to_string(pairs) + "\n"), std::string::npos) << tail(all);
}
