// Program, window and clipboard built-ins (see Function_Program.h) and the tablet-platform
// stubs. The window's caption goes through the window layer (GR_Window_SetCaption), the
// window's number through the window host; the priority and the clipboard through the host
// functions of Linux/Function_MiscM.cpp.
//
// Needs: the window layer, the debug console, the function table.
#include "Files/Function/Function_Program.h"

#include "Files/Base/Console.h"
#include "Files/Base/RealConvert.h"
#include "Files/Base/Value.h"
#include "Files/Code/Code_Builtin.h"
#include "Files/Graphics_API/Graphics_Host.h"
#include "Files/Graphics_API/Graphics_Window.h"

namespace {

using namespace zbargs;

PriorityHook g_priorityHook = nullptr;

ZB_BUILTIN(F_SetProgramPriority)
{
    Value_SetReal(result, 0.0);
    int32_t nice = Program_NiceOfPriority(ArgRound(argc, args, 0));
    (g_priorityHook ? g_priorityHook : SystemHost_SetNice)(nice);
}

ZB_BUILTIN(F_SetApplicationTitle)
{
    Value_SetReal(result, 0.0);
    if (argc > 0 && Value_IsString(&args[0])) GR_Window_SetCaption(Value_Text(&args[0]), true);
}

ZB_BUILTIN(F_WindowHandle)
{
    uint32_t id = 0;
    if (GR_Window_Record().created)
        if (IWindowHost* host = WindowHost_Get()) id = host->WindowId();
    Value_SetReal(result, double(id));
}

ZB_BUILTIN(F_ClipboardHasText) { Value_SetReal(result, SystemHost_ClipboardHasText() ? 1.0 : 0.0); }

ZB_BUILTIN(F_ClipboardGetText) { Value_SetString(result, SystemHost_ClipboardGetText().c_str()); }

ZB_BUILTIN(F_ClipboardSetText)
{
    Value_SetReal(result, 0.0);
    SystemHost_ClipboardSetText(ArgText(argc, args, 0));
}

ZB_BUILTIN(F_TabletStub)
{
    Value_SetReal(result, 0.0);
    Console_Debug()->Output("Windows8 functionality not supported\n");
}

} // namespace

int32_t Program_NiceOfPriority(int32_t priority)
{
    switch (priority) {
    case -3: return 19;
    case -2: return 10;
    case -1: return 5;
    case 1: return -5;
    case 2: return -10;
    case 3: return -20;
    default: return 0;
    }
}

void Program_SetPriorityHook(PriorityHook hook) { g_priorityHook = hook; }

void Function_Program_Register()
{
    Function_Add("set_program_priority", F_SetProgramPriority, 1);
    Function_Add("set_application_title", F_SetApplicationTitle, 1);
    Function_Add("window_handle", F_WindowHandle, 0);
    Function_Add("clipboard_has_text", F_ClipboardHasText, 0);
    Function_Add("clipboard_get_text", F_ClipboardGetText, 0);
    Function_Add("clipboard_set_text", F_ClipboardSetText, 1);
}

void Function_Program_RegisterTablet()
{
    static const struct {
        const char* name;
        int32_t args;
    } kTablet[] = {
        {"win8_livetile_tile_notification", 4},
        {"win8_livetile_tile_clear", 0},
        {"win8_livetile_badge_notification", 1},
        {"win8_livetile_badge_clear", 0},
        {"win8_livetile_queue_enable", 1},
        {"win8_appbar_enable", 1},
        {"win8_appbar_add_element", 6},
        {"win8_appbar_remove_element", 1},
        {"win8_share_image", 3},
        {"win8_share_screenshot", 2},
        {"win8_share_file", 3},
        {"win8_share_url", 3},
        {"win8_share_text", 3},
        {"win8_settingscharm_add_entry", 2},
        {"win8_settingscharm_add_html_entry", 3},
        {"win8_settingscharm_remove_entry", 1},
        {"win8_search_enable", 1},
        {"win8_search_disable", 0},
        {"win8_search_add_suggestions", 1},
        {"win8_device_touchscreen_available", 0},
        {"win8_secondarytile_pin", 8},
        {"win8_secondarytile_delete", 1},
        {"win8_secondarytile_badge_notification", 2},
        {"win8_livetile_notification_begin", 1},
        {"win8_livetile_notification_secondary_begin", 2},
        {"win8_livetile_notification_expiry", 1},
        {"win8_livetile_notification_tag", 1},
        {"win8_livetile_notification_text_add", 1},
        {"win8_livetile_notification_image_add", 1},
        {"win8_livetile_notification_end", 0},
    };
    for (const auto& f : kTablet) Function_Add(f.name, F_TabletStub, f.args);
}
