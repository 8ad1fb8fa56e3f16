// Built-in variables: the table's order and read-only rows, every settable row written and
// read back, the rows with side effects or their own rules, the operating-system rows.
#include "Files/World/World_Hooks.h"
#include "support/GameWorld.h"

#include <cmath>
#include <set>

#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Object/Instance_Pending.h"
#include "Files/Support/OSInfo.h"

namespace {

class VariablesWorld : public WorldTest {
protected:
    void SetUp() override
    {
        WorldTest::SetUp();
        m_obj = Obj("o");
        Ev(m_obj, EVENT_OTHER, EV_NO_MORE_LIVES, "test_log('nolives');");
        Ev(m_obj, EVENT_OTHER, EV_NO_MORE_HEALTH, "test_log('nohealth');");
        Place(Room(200, 100), m_obj, 10, 20);
        Start();
        self = First(m_obj);
    }
    double Get(const char* name, int32_t index = 0)
    {
        ScriptValue v = Value_Real(0);
        EXPECT_TRUE(Variable_Local_Get(self, Variable_BuiltIn_Find(name), index, &v)) << name;
        double r = v.real;
        Value_FreeString(&v);
        return r;
    }
    std::string GetText(const char* name)
    {
        ScriptValue v = Value_Real(0);
        EXPECT_TRUE(Variable_Local_Get(self, Variable_BuiltIn_Find(name), 0, &v)) << name;
        std::string s = v.kind == VALUE_STRING && v.text ? v.text : "";
        Value_FreeString(&v);
        return s;
    }
    bool Set(const char* name, double value, int32_t index = 0)
    {
        ScriptValue v = Value_Real(value);
        return Variable_Local_Set(self, Variable_BuiltIn_Find(name), index, &v);
    }
    bool SetText(const char* name, const char* text)
    {
        ScriptValue v = Value_Real(0);
        Value_SetString(&v, text);
        bool ok = Variable_Local_Set(self, Variable_BuiltIn_Find(name), 0, &v);
        Value_FreeString(&v);
        return ok;
    }
    int32_t m_obj = 0;
    CInstance* self = nullptr;
};

} // namespace

TEST_F(VariablesWorld, TableOrderAndReadOnlyRows)
{
    EXPECT_EQ(Variable_BuiltIn_Find("x"), 0);
    EXPECT_EQ(Variable_BuiltIn_Find("webgl_enabled"), 77);
    EXPECT_EQ(Variable_BuiltIn_Find("argument_relative"), 78);
    EXPECT_EQ(Variable_BuiltIn_Find("error_last"), 183);
    EXPECT_EQ(Variable_BuiltIn_Find("os_type"), 184);
    EXPECT_EQ(Variable_BuiltIn_Find("browser_height"), Variable_BuiltIn_Count() - 1);
    EXPECT_EQ(Variable_BuiltIn_Count(), 190) << "184 rows of the world and the platform's six";
    const std::set<std::string> readOnly = {
        "object_index", "id", "bbox_left", "bbox_right", "bbox_top", "bbox_bottom", "image_number", "sprite_width",
        "sprite_height", "sprite_xoffset", "sprite_yoffset", "path_index", "async_load", "phy_mass", "phy_inertia",
        "phy_com_x", "phy_com_y", "phy_dynamic", "phy_kinematic", "phy_sleeping", "phy_collision_points",
        "phy_collision_x", "phy_collision_y", "phy_col_normal_x", "phy_col_normal_y", "display_aa", "delta_time",
        "webgl_enabled", "argument_relative", "argument_count", "debug_mode", "room_first", "room_last", "game_id",
        "game_guid", "working_directory", "temp_directory", "program_directory", "instance_count", "instance_id",
        "room_width", "room_height", "background_width", "background_height", "view_current", "mouse_x", "mouse_y",
        "fps", "current_time", "current_year", "current_month", "current_day", "current_weekday", "current_hour",
        "current_minute", "current_second", "event_type", "event_number", "event_object", "event_action", "secure_mode",
        "os_type", "os_device", "os_browser", "os_version", "browser_width", "browser_height"};
    int32_t refused = 0;
    for (int32_t id = 0; id < Variable_BuiltIn_Count(); ++id) {
        const BuiltinVariable* row = Variable_BuiltIn_Row(id);
        const bool ro = readOnly.count(row->name) != 0;
        EXPECT_EQ(row->set == nullptr, ro) << row->name;
        if (ro) {
            ScriptValue v = Value_Real(1);
            EXPECT_FALSE(Variable_Local_Set(self, id, 0, &v)) << row->name << " refuses assignment";
            ++refused;
        }
    }
    EXPECT_EQ(refused, int32_t(readOnly.size()));
}

TEST_F(VariablesWorld, OperatingSystemRowsDescribeADesktopLinux)
{
    auto read = [&](const char* name) {
        ScriptValue v = Value_Real(-99);
        EXPECT_TRUE(Variable_Local_Get(self, Variable_BuiltIn_Find(name), 0, &v)) << name;
        return v.real;
    };
    EXPECT_EQ(read("os_type"), 6.0);     // os_linux
    EXPECT_EQ(read("os_device"), -1.0);  // not an iOS device
    EXPECT_EQ(read("os_browser"), -1.0); // not a browser
    EXPECT_GE(read("os_version"), 2.0 * 65536) << "the kernel's major and minor version";
    EXPECT_GT(read("browser_width"), 0.0);
    EXPECT_GT(read("browser_height"), 0.0);
    EXPECT_EQ(OSInfo_ParseVersion("6.1.0-18-amd64"), 6 * 65536 + 1);
    EXPECT_EQ(OSInfo_ParseVersion("5.15"), 5 * 65536 + 15);
    EXPECT_EQ(OSInfo_ParseVersion("5"), 0);
    EXPECT_EQ(OSInfo_ParseVersion("x.1"), 0);
    EXPECT_EQ(OSInfo_ParseVersion("99999999999.1"), 0);
    EXPECT_EQ(OSInfo_ParseVersion(nullptr), 0);
}

TEST_F(VariablesWorld, EverySettableNumberRowReadsBackWhatWasWritten)
{
    // Rows whose setter stores the value as given (after rounding where they hold integers).
    const char* rows[] = {"x", "y", "xprevious", "yprevious", "xstart", "ystart", "hspeed", "friction", "gravity",
                          "gravity_direction", "depth", "image_index", "image_xscale", "image_yscale", "image_angle",
                          "image_alpha", "image_speed", "mask_index", "path_scale", "path_orientation",
                          "path_speed", "path_endaction", "timeline_index", "timeline_position", "timeline_speed",
                          "score", "lives", "cursor_sprite", "background_x", "background_y", "background_xscale",
                          "background_yscale", "background_hspeed", "background_vspeed", "background_alpha",
                          "background_index", "background_blend", "view_xview", "view_yview", "view_wview",
                          "view_hview", "view_xport", "view_yport", "view_wport", "view_hport", "view_angle",
                          "view_hborder", "view_vborder", "view_hspeed", "view_vspeed", "view_object",
                          "view_surface_id", "background_color", "room_speed", "transition_steps", "image_blend"};
    for (const char* row : rows) {
        ASSERT_TRUE(Set(row, 3, 2)) << row;
        EXPECT_EQ(Get(row, 2), 3.0) << row;
    }
    const char* flags[] = {"solid", "visible", "persistent", "timeline_running", "timeline_loop", "room_persistent",
                           "background_showcolor", "background_visible", "background_foreground",
                           "background_htiled", "background_vtiled", "view_enabled", "view_visible", "show_score",
                           "show_lives", "show_health"};
    for (const char* row : flags) {
        ASSERT_TRUE(Set(row, 1)) << row;
        EXPECT_EQ(Get(row), 1.0) << row;
        ASSERT_TRUE(Set(row, 0)) << row;
        EXPECT_EQ(Get(row), 0.0) << row;
    }
    const char* texts[] = {"room_caption", "caption_score", "caption_lives", "caption_health", "error_last"};
    for (const char* row : texts) {
        ASSERT_TRUE(SetText(row, "hello")) << row;
        EXPECT_EQ(GetText(row), "hello") << row;
    }
}

TEST_F(VariablesWorld, RowsWithTheirOwnRules)
{
    ASSERT_TRUE(Set("alarm", 7, 12));
    EXPECT_EQ(self->i_alarm[0], 7) << "alarm[12] is alarm 0";
    ASSERT_TRUE(Set("visible", -1));
    EXPECT_EQ(self->i_visible, 1) << "-1 rounds to a non-zero integer";
    ASSERT_TRUE(Set("show_score", 0.4));
    EXPECT_EQ(Get("show_score"), 0.0);
    ASSERT_TRUE(Set("show_score", 0.6));
    EXPECT_EQ(Get("show_score"), 1.0);
    ASSERT_TRUE(Set("score", 2.5));
    EXPECT_EQ(Get("score"), 2.0);
    ASSERT_TRUE(Set("score", 3.5));
    EXPECT_EQ(Get("score"), 4.0);
    ASSERT_TRUE(Set("image_single", 3));
    EXPECT_EQ(self->i_imageindex, 3.0f);
    EXPECT_EQ(self->i_imagespeed, 0.0f);
    ASSERT_TRUE(Set("image_single", -1));
    EXPECT_EQ(self->i_imagespeed, 1.0f);
    EXPECT_EQ(self->i_imageindex, 3.0f);
    // Depth: queued once, re-sorted at the pending pass; the same value queues nothing.
    const float depth = self->i_depth;
    ASSERT_TRUE(Set("depth", depth));
    EXPECT_EQ(Run_DepthChangeCount(), 0);
    ASSERT_TRUE(Set("depth", 50));
    ASSERT_TRUE(Set("depth", 60));
    EXPECT_EQ(Run_DepthChangeCount(), 1);
    Run_ApplyPendingChanges();
    EXPECT_EQ(self->m_listDepth, 60.0f);
    // Lives and health fire their events on the crossing only.
    ASSERT_TRUE(Set("lives", 1));
    ASSERT_TRUE(Set("lives", 0));
    ASSERT_TRUE(Set("lives", -1));
    ASSERT_TRUE(Set("health", 5));
    ASSERT_TRUE(Set("health", 5));
    ASSERT_TRUE(Set("health", 0));
    EXPECT_EQ(LogText(), "nolives nohealth");
    // Room speed refuses 0 and below.
    EXPECT_FALSE(Set("room_speed", 0));
    EXPECT_TRUE(Code_Error_Occurred());
    // transition_kind always reads 0 after an assignment.
    ASSERT_TRUE(Set("transition_kind", 5));
    EXPECT_EQ(Get("transition_kind"), 0.0);
    EXPECT_EQ(Get("instance_id", 0), double(self->i_id));
    EXPECT_EQ(Get("instance_id", 1), -4.0) << "instance_id[instance_count]";
    EXPECT_EQ(Get("instance_count"), 1.0);
    EXPECT_EQ(Get("view_xview", 9), Get("view_xview", 0)) << "an index outside 0..7 means 0";
    EXPECT_EQ(Get("room_width"), 200.0);
    EXPECT_EQ(Get("room"), 0.0);
    EXPECT_EQ(Get("room_first"), 0.0);
    // Reading bbox_left after moving gives the new box.
    g_FakeSprites[0] = FakeSprite(4, 4);
    self->SetSprite(0);
    ASSERT_TRUE(Set("x", 40));
    EXPECT_EQ(Get("bbox_left"), 40.0);
    EXPECT_EQ(Get("sprite_width"), 4.0);
    ASSERT_TRUE(Set("image_xscale", -2));
    EXPECT_EQ(Get("sprite_width"), -8.0) << "a mirrored sprite has a negative width";
    // Physics rows fail without a body.
    ScriptValue v = Value_Real(0);
    EXPECT_FALSE(Variable_Local_Get(self, Variable_BuiltIn_Find("phy_mass"), 0, &v));
    // Motion rows keep both pairs in step.
    ASSERT_TRUE(Set("direction", 90));
    ASSERT_TRUE(Set("speed", 4));
    EXPECT_EQ(Get("vspeed"), -4.0);
    ASSERT_TRUE(Set("vspeed", 3));
    EXPECT_EQ(Get("direction"), 270.0);
    ASSERT_TRUE(Set("path_position", 5));
    EXPECT_EQ(Get("path_position"), 1.0);
    // Integer rows hold what they cannot represent: NaN is 0, the infinities the range's ends,
    // and a relative alarm action adds to the greatest alarm without overflow.
    ASSERT_TRUE(Set("score", std::nan("")));
    EXPECT_EQ(Get("score"), 0.0);
    ASSERT_TRUE(Set("view_xport", -INFINITY));
    EXPECT_EQ(Get("view_xport"), double(INT32_MIN));
    EXPECT_TRUE(Set("room_speed", INFINITY)) << "beyond the range is the greatest speed, not a negative one";
    ASSERT_TRUE(Set("alarm", 1e12, 1));
    Function_SetRelative(1);
    Builtin_Call("action_set_alarm", {Val(5), Val(1)}, self, self);
    Function_SetRelative(0);
    EXPECT_EQ(self->i_alarm[1], INT32_MAX);
}

TEST_F(VariablesWorld, KeyboardRowsPassThroughTheInputLayer)
{
    static uint32_t lastChar = 0;
    World_Hooks().setLastChar = [](uint32_t c) { lastChar = c; };
    World_Hooks().getLastChar = [] { return lastChar; };
    ASSERT_TRUE(SetText("keyboard_lastchar", "\xC3\xA9t\xC3\xA9"));
    EXPECT_EQ(lastChar, 0xE9u) << "the first character, decoded";
    EXPECT_EQ(GetText("keyboard_lastchar"), "\xC3\xA9");
    ASSERT_TRUE(SetText("keyboard_lastchar", ""));
    EXPECT_EQ(lastChar, 0xE9u) << "an empty text changes nothing";
}

TEST_F(VariablesWorld, ArgumentsUseSlotZeroOutsideTheirRange)
{
    ASSERT_TRUE(Set("argument", 5, 20));
    EXPECT_EQ(Get("argument0"), 5.0);
    EXPECT_EQ(Get("argument", 20), 5.0);
}
