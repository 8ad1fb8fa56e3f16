// The built-in variables of the game state: rooms and room switching, score, lives and health,
// the current room's backgrounds and views, mouse and keyboard, captions, the clock, the event
// being run and the error state (registered after the instance rows, Variable_Instance.cpp),
// then the six operating-system rows of the platform layer.
//
// Needs: the run state and the current room, the room table, the event state, the error
// reporter, the input hooks, the window (mouse), the display (size), the file layer
// (folders), the timer, the platform layer (operating system). No Linux/ file.
#include <cstring>
#include <ctime>
#include <string>

#include "Files/Base/RealConvert.h"
#include "Files/Base/Utf8.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Graphics_API/Graphics_Display.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/Object/Event.h"
#include "Files/Room/Room.h"
#include "Files/Run/Run_Commands.h"
#include "Files/Support/File.h"
#include "Files/Support/GameHeader.h"
#include "Files/Support/LoadSave.h"
#include "Files/Support/OSInfo.h"
#include "Files/Support/Timing.h"
#include "Files/Variable/Variable_World.h"
#include "Files/World/World_Hooks.h"
#include "Files/World/World_State.h"
#include "Platform/MemoryManager.h"

namespace {

#define GETTER(name) bool name([[maybe_unused]] CInstance* self, [[maybe_unused]] int32_t index, ScriptValue* out)
#define SETTER(name) bool name([[maybe_unused]] CInstance* self, [[maybe_unused]] int32_t index, ScriptValue* v)

inline bool Real(ScriptValue* out, double r)
{
    Value_SetReal(out, r);
    return true;
}
inline bool Text(ScriptValue* out, const char* t)
{
    Value_SetString(out, t ? t : "");
    return true;
}
// Integers from a script's real: rounded and held to the range (NaN gives 0), so what the
// run state keeps is a defined number whatever the script stored.
inline int32_t I(const ScriptValue* v) { return Real_RoundToInt32Clamped(v->real); }
inline bool Flag(const ScriptValue* v) { return I(v) > 0.5; }
int32_t Slot(int32_t i) { return i >= 0 && i < 8 ? i : 0; }
RunState& S() { return Run_State(); }

void SetOwned(char** field, const ScriptValue* v)
{
    MEM_FREE(*field);
    const char* t = Value_IsString(v) ? v->text : nullptr;
    *field = MEM_STRDUP(t ? t : "");
}

// ---- Game ----
GETTER(GetDebugMode) { return Real(out, (g_GameHeader.debugFlag & 1) ? 0.0 : 1.0); }
GETTER(GetRoom) { return Real(out, Run_CurrentRoomIndex()); }
SETTER(SetRoom)
{
    Command_GotoRoom(I(v));
    return true;
}
GETTER(GetRoomFirst) { return Real(out, Room_First()); }
GETTER(GetRoomLast) { return Real(out, Room_Last()); }
GETTER(GetTransitionKind) { return Real(out, S().transitionKind); }
SETTER(SetTransitionKind)
{
    S().transitionKind = I(v);
    Console_Output("BUG: Room transitions don't function well - setting to 0 - look at Variable_BuiltIn SV_TransitionKind() .\n");
    S().transitionKind = 0;
    return true;
}
GETTER(GetTransitionSteps) { return Real(out, S().transitionSteps); }
SETTER(SetTransitionSteps)
{
    Run_SetTransitionSteps(I(v));
    return true;
}
GETTER(GetScore) { return Real(out, S().score); }
SETTER(SetScore)
{
    S().score = I(v);
    return true;
}
GETTER(GetLives) { return Real(out, S().lives); }
SETTER(SetLives)
{
    const int32_t old = S().lives;
    S().lives = I(v);
    if (old >= 1 && S().lives <= 0) Event_PerformAll(EVENT_OTHER, EV_NO_MORE_LIVES);
    return true;
}
GETTER(GetHealth) { return Real(out, S().health); }
SETTER(SetHealth)
{
    const double old = S().health;
    S().health = v->real;
    if (old > 0 && S().health <= 0) Event_PerformAll(EVENT_OTHER, EV_NO_MORE_HEALTH);
    return true;
}
GETTER(GetGameId) { return Real(out, g_GameHeader.gameId); }
GETTER(GetGameGuid) { return Text(out, ""); }
GETTER(GetWorkingDirectory) { return Text(out, LoadSave_WorkingFolder()); }
GETTER(GetTempDirectory) { return Text(out, File_TempDirectoryPath()); }
GETTER(GetProgramDirectory)
{
    std::string d = LoadSave_ProgramFolder() ? LoadSave_ProgramFolder() : "";
    if (!d.empty() && (d.back() == '/' || d.back() == '\\')) d.pop_back();
    return Text(out, d.c_str());
}
GETTER(GetInstanceCount)
{
    CRoom* r = Run_CurrentRoom();
    return Real(out, r ? r->m_active.count : 0);
}
GETTER(GetInstanceId)
{
    CRoom* r = Run_CurrentRoom();
    if (!r || index < 0 || index >= r->m_active.count) return Real(out, -4);
    CInstance* i = r->m_active.head;
    for (int32_t k = 0; k < index && i; ++k) i = i->m_pNext;
    return Real(out, i ? i->i_id : -4);
}

// ---- Room ----
#define ROOM_GET(name, expr)                                                                                           \
    GETTER(name)                                                                                                       \
    {                                                                                                                  \
        CRoom* r = Run_CurrentRoom();                                                                                  \
        return r ? Real(out, double(expr)) : Real(out, 0);                                                             \
    }
ROOM_GET(GetRoomWidth, r->m_width)
ROOM_GET(GetRoomHeight, r->m_height)
ROOM_GET(GetRoomSpeed, r->m_speed)
ROOM_GET(GetRoomPersistent, r->m_persistent)
ROOM_GET(GetBackgroundColor, r->m_colour)
ROOM_GET(GetBackgroundShowColor, r->m_showColour)
ROOM_GET(GetViewEnabled, r->m_viewsEnabled)
SETTER(SetRoomSpeed)
{
    const int32_t n = I(v);
    if (n <= 0) {
        Code_Error_Report("Trying to set the room speed to a value <= 0.", false);
        return false;
    }
    if (CRoom* r = Run_CurrentRoom()) r->m_speed = n;
    return true;
}
GETTER(GetRoomCaption)
{
    CRoom* r = Run_CurrentRoom();
    return Text(out, r ? r->m_pCaption : nullptr);
}
SETTER(SetRoomCaption)
{
    if (CRoom* r = Run_CurrentRoom()) r->SetCaption(Value_IsString(v) && v->text ? v->text : "");
    return true;
}
#define ROOM_FLAG_SET(name, field)                                                                                     \
    SETTER(name)                                                                                                       \
    {                                                                                                                  \
        if (CRoom* r = Run_CurrentRoom()) r->field = Flag(v) ? 1 : 0;                                                  \
        return true;                                                                                                   \
    }
ROOM_FLAG_SET(SetRoomPersistent, m_persistent)
ROOM_FLAG_SET(SetBackgroundShowColor, m_showColour)
ROOM_FLAG_SET(SetViewEnabled, m_viewsEnabled)
SETTER(SetBackgroundColor)
{
    if (CRoom* r = Run_CurrentRoom()) r->m_colour = uint32_t(I(v));
    return true;
}

// ---- Background layers ----
#define BG_ROW(Get, Set, getExpr, setStmt)                                                                             \
    GETTER(Get)                                                                                                        \
    {                                                                                                                  \
        CRoom* r = Run_CurrentRoom();                                                                                  \
        if (!r) return Real(out, 0);                                                                                   \
        RoomBackground& b = r->m_backgrounds[Slot(index)];                                                             \
        return Real(out, double(getExpr));                                                                             \
    }                                                                                                                  \
    SETTER(Set)                                                                                                        \
    {                                                                                                                  \
        CRoom* r = Run_CurrentRoom();                                                                                  \
        if (!r) return true;                                                                                           \
        RoomBackground& b = r->m_backgrounds[Slot(index)];                                                             \
        setStmt;                                                                                                       \
        return true;                                                                                                   \
    }
BG_ROW(GetBgVisible, SetBgVisible, b.visible, b.visible = Flag(v))
BG_ROW(GetBgForeground, SetBgForeground, b.foreground, b.foreground = Flag(v))
BG_ROW(GetBgIndex, SetBgIndex, b.index, b.index = I(v))
BG_ROW(GetBgX, SetBgX, b.x, b.x = float(v->real))
BG_ROW(GetBgY, SetBgY, b.y, b.y = float(v->real))
BG_ROW(GetBgHTiled, SetBgHTiled, b.htiled, b.htiled = Flag(v))
BG_ROW(GetBgVTiled, SetBgVTiled, b.vtiled, b.vtiled = Flag(v))
BG_ROW(GetBgXScale, SetBgXScale, b.xscale, b.xscale = float(v->real))
BG_ROW(GetBgYScale, SetBgYScale, b.yscale, b.yscale = float(v->real))
BG_ROW(GetBgHSpeed, SetBgHSpeed, b.hspeed, b.hspeed = float(v->real))
BG_ROW(GetBgVSpeed, SetBgVSpeed, b.vspeed, b.vspeed = float(v->real))
BG_ROW(GetBgBlend, SetBgBlend, b.blend, b.blend = I(v))
BG_ROW(GetBgAlpha, SetBgAlpha, b.alpha, b.alpha = float(v->real))
GETTER(GetBgWidth)
{
    CRoom* r = Run_CurrentRoom();
    int32_t w = 0, h = 0;
    if (r) World_BackgroundSize(r->m_backgrounds[Slot(index)].index, &w, &h);
    return Real(out, w);
}
GETTER(GetBgHeight)
{
    CRoom* r = Run_CurrentRoom();
    int32_t w = 0, h = 0;
    if (r) World_BackgroundSize(r->m_backgrounds[Slot(index)].index, &w, &h);
    return Real(out, h);
}

// ---- Views ----
GETTER(GetViewCurrent) { return Real(out, S().viewCurrent); }
#define VIEW_ROW(Get, Set, field, setExpr)                                                                             \
    GETTER(Get)                                                                                                        \
    {                                                                                                                  \
        CRoom* r = Run_CurrentRoom();                                                                                  \
        return Real(out, r ? double(r->m_views[Slot(index)].field) : 0.0);                                             \
    }                                                                                                                  \
    SETTER(Set)                                                                                                        \
    {                                                                                                                  \
        if (CRoom* r = Run_CurrentRoom()) r->m_views[Slot(index)].field = setExpr;                                     \
        return true;                                                                                                   \
    }
VIEW_ROW(GetViewVisible, SetViewVisible, visible, uint8_t(Flag(v) ? 1 : 0))
VIEW_ROW(GetViewXView, SetViewXView, xview, I(v))
VIEW_ROW(GetViewYView, SetViewYView, yview, I(v))
VIEW_ROW(GetViewWView, SetViewWView, wview, I(v))
VIEW_ROW(GetViewHView, SetViewHView, hview, I(v))
VIEW_ROW(GetViewXPort, SetViewXPort, xport, I(v))
VIEW_ROW(GetViewYPort, SetViewYPort, yport, I(v))
VIEW_ROW(GetViewWPort, SetViewWPort, wport, I(v))
VIEW_ROW(GetViewHPort, SetViewHPort, hport, I(v))
VIEW_ROW(GetViewAngle, SetViewAngle, angle, float(v->real))
VIEW_ROW(GetViewHBorder, SetViewHBorder, hborder, I(v))
VIEW_ROW(GetViewVBorder, SetViewVBorder, vborder, I(v))
VIEW_ROW(GetViewHSpeed, SetViewHSpeed, hspeed, I(v))
VIEW_ROW(GetViewVSpeed, SetViewVSpeed, vspeed, I(v))
VIEW_ROW(GetViewObject, SetViewObject, object, I(v))
VIEW_ROW(GetViewSurface, SetViewSurface, surfaceId, I(v))

// ---- Input ----
GETTER(GetMouseX) { return Real(out, GR_Window_DeviceMouseX(0)); }
GETTER(GetMouseY) { return Real(out, GR_Window_DeviceMouseY(0)); }
WorldHooks& H() { return World_Hooks(); }
GETTER(GetMouseButton) { return Real(out, H().getMouseButton ? H().getMouseButton() : 0); }
SETTER(SetMouseButton)
{
    if (H().setMouseButton) H().setMouseButton(I(v));
    return true;
}
GETTER(GetMouseLastButton) { return Real(out, H().getMouseLastButton ? H().getMouseLastButton() : 0); }
SETTER(SetMouseLastButton)
{
    if (H().setMouseLastButton) H().setMouseLastButton(I(v));
    return true;
}
GETTER(GetKeyboardKey) { return Real(out, H().getCurrentKey ? H().getCurrentKey() : 0); }
SETTER(SetKeyboardKey)
{
    if (H().setCurrentKey) H().setCurrentKey(I(v));
    return true;
}
GETTER(GetKeyboardLastKey) { return Real(out, H().getLastKey ? H().getLastKey() : 0); }
SETTER(SetKeyboardLastKey)
{
    if (H().setLastKey) H().setLastKey(I(v));
    return true;
}
GETTER(GetKeyboardLastChar)
{
    const uint32_t c = H().getLastChar ? H().getLastChar() : 0;
    char buffer[8] = {};
    char* p = buffer;
    if (c) Utf8_Encode(&p, uint16_t(c));
    return Text(out, buffer);
}
SETTER(SetKeyboardLastChar)
{
    // The first character of the text (decoded from UTF-8, not its first byte).
    const char* t = Value_IsString(v) ? v->text : nullptr;
    if (t && *t && H().setLastChar) H().setLastChar(Utf8_DecodeNext(&t));
    return true;
}
GETTER(GetKeyboardString) { return Text(out, H().getKeyboardString ? H().getKeyboardString() : ""); }
SETTER(SetKeyboardString)
{
    if (H().setKeyboardString) H().setKeyboardString(Value_IsString(v) && v->text ? v->text : "");
    return true;
}
GETTER(GetCursorSprite) { return Real(out, S().cursorSprite); }
SETTER(SetCursorSprite)
{
    S().cursorSprite = I(v);
    return true;
}

// ---- Score display and captions ----
GETTER(GetShowScore) { return Real(out, S().showScore); }
SETTER(SetShowScore)
{
    S().showScore = Flag(v);
    S().captionSet = 1;
    return true;
}
GETTER(GetShowLives) { return Real(out, S().showLives); }
SETTER(SetShowLives)
{
    S().showLives = Flag(v);
    return true;
}
GETTER(GetShowHealth) { return Real(out, S().showHealth); }
SETTER(SetShowHealth)
{
    S().showHealth = Flag(v);
    return true;
}
GETTER(GetCaptionScore) { return Text(out, S().captionScore); }
SETTER(SetCaptionScore)
{
    SetOwned(&S().captionScore, v);
    return true;
}
GETTER(GetCaptionLives) { return Text(out, S().captionLives); }
SETTER(SetCaptionLives)
{
    SetOwned(&S().captionLives, v);
    return true;
}
GETTER(GetCaptionHealth) { return Text(out, S().captionHealth); }
SETTER(SetCaptionHealth)
{
    SetOwned(&S().captionHealth, v);
    return true;
}

// ---- Clock ----
GETTER(GetFps) { return Real(out, S().fps); }
GETTER(GetCurrentTime) { return Real(out, double(Timing_Time() / 1000)); }
std::tm Now()
{
    std::time_t t = std::time(nullptr);
    std::tm* tm = std::localtime(&t);
    return tm ? *tm : std::tm{};
}
GETTER(GetCurrentYear) { return Real(out, Now().tm_year + 1900); }
GETTER(GetCurrentMonth) { return Real(out, Now().tm_mon + 1); }
GETTER(GetCurrentDay) { return Real(out, Now().tm_mday); }
GETTER(GetCurrentWeekday) { return Real(out, Now().tm_wday); }
GETTER(GetCurrentHour) { return Real(out, Now().tm_hour); }
GETTER(GetCurrentMinute) { return Real(out, Now().tm_min); }
GETTER(GetCurrentSecond) { return Real(out, Now().tm_sec); }

// ---- Event and errors ----
GETTER(GetEventType) { return Real(out, Event_State().type); }
GETTER(GetEventNumber) { return Real(out, Event_State().number); }
GETTER(GetEventObject) { return Real(out, Event_State().object); }
GETTER(GetEventAction) { return Real(out, Event_State().action); }
GETTER(GetSecureMode) { return Real(out, 0); }
GETTER(GetErrorOccurred) { return Real(out, Code_Error_Occurred() ? 1 : 0); }
SETTER(SetErrorOccurred)
{
    Code_Error_SetOccurred(v->real >= 0.5);
    return true;
}
GETTER(GetErrorLast) { return Text(out, Code_Error_LastShown()); }
SETTER(SetErrorLast)
{
    const char* t = Value_IsString(v) ? v->text : nullptr;
    Code_Error_SetLastShown(t && *t ? t : nullptr);
    return true;
}

// ---- Operating system (the platform layer) ----
GETTER(GetOSType) { return Real(out, OSInfo_Type()); }
GETTER(GetOSDevice) { return Real(out, OSInfo_Device()); }
GETTER(GetOSBrowser) { return Real(out, OSInfo_Browser()); }
GETTER(GetOSVersion) { return Real(out, OSInfo_Version()); }
// A desktop game's "browser" is the display it runs on.
GETTER(GetBrowserWidth) { return Real(out, GR_Display_GetWidth()); }
GETTER(GetBrowserHeight) { return Real(out, GR_Display_GetHeight()); }

} // namespace

void Variable_BuiltIn_InitGlobal()
{
    Variable_BuiltIn_RegisterArguments();
    RegisterBuiltinVariable("debug_mode", GetDebugMode, nullptr, true);
    RegisterBuiltinVariable("room", GetRoom, SetRoom, true);
    RegisterBuiltinVariable("room_first", GetRoomFirst, nullptr, false);
    RegisterBuiltinVariable("room_last", GetRoomLast, nullptr, false);
    RegisterBuiltinVariable("transition_kind", GetTransitionKind, SetTransitionKind, true);
    RegisterBuiltinVariable("transition_steps", GetTransitionSteps, SetTransitionSteps, true);
    RegisterBuiltinVariable("score", GetScore, SetScore, true);
    RegisterBuiltinVariable("lives", GetLives, SetLives, true);
    RegisterBuiltinVariable("health", GetHealth, SetHealth, true);
    RegisterBuiltinVariable("game_id", GetGameId, nullptr, false);
    RegisterBuiltinVariable("game_guid", GetGameGuid, nullptr, false);
    RegisterBuiltinVariable("working_directory", GetWorkingDirectory, nullptr, false);
    RegisterBuiltinVariable("temp_directory", GetTempDirectory, nullptr, false);
    RegisterBuiltinVariable("program_directory", GetProgramDirectory, nullptr, false);
    RegisterBuiltinVariable("instance_count", GetInstanceCount, nullptr, false);
    RegisterBuiltinVariable("instance_id", GetInstanceId, nullptr, false);
    RegisterBuiltinVariable("room_width", GetRoomWidth, nullptr, false);
    RegisterBuiltinVariable("room_height", GetRoomHeight, nullptr, false);
    RegisterBuiltinVariable("room_caption", GetRoomCaption, SetRoomCaption, true);
    RegisterBuiltinVariable("room_speed", GetRoomSpeed, SetRoomSpeed, true);
    RegisterBuiltinVariable("room_persistent", GetRoomPersistent, SetRoomPersistent, true);
    RegisterBuiltinVariable("background_color", GetBackgroundColor, SetBackgroundColor, true);
    RegisterBuiltinVariable("background_showcolor", GetBackgroundShowColor, SetBackgroundShowColor, true);
    RegisterBuiltinVariable("background_visible", GetBgVisible, SetBgVisible, true);
    RegisterBuiltinVariable("background_foreground", GetBgForeground, SetBgForeground, true);
    RegisterBuiltinVariable("background_index", GetBgIndex, SetBgIndex, true);
    RegisterBuiltinVariable("background_x", GetBgX, SetBgX, true);
    RegisterBuiltinVariable("background_y", GetBgY, SetBgY, true);
    RegisterBuiltinVariable("background_width", GetBgWidth, nullptr, false);
    RegisterBuiltinVariable("background_height", GetBgHeight, nullptr, false);
    RegisterBuiltinVariable("background_htiled", GetBgHTiled, SetBgHTiled, true);
    RegisterBuiltinVariable("background_vtiled", GetBgVTiled, SetBgVTiled, true);
    RegisterBuiltinVariable("background_xscale", GetBgXScale, SetBgXScale, true);
    RegisterBuiltinVariable("background_yscale", GetBgYScale, SetBgYScale, true);
    RegisterBuiltinVariable("background_hspeed", GetBgHSpeed, SetBgHSpeed, true);
    RegisterBuiltinVariable("background_vspeed", GetBgVSpeed, SetBgVSpeed, true);
    RegisterBuiltinVariable("background_blend", GetBgBlend, SetBgBlend, true);
    RegisterBuiltinVariable("background_alpha", GetBgAlpha, SetBgAlpha, true);
    RegisterBuiltinVariable("view_enabled", GetViewEnabled, SetViewEnabled, true);
    RegisterBuiltinVariable("view_current", GetViewCurrent, nullptr, false);
    RegisterBuiltinVariable("view_visible", GetViewVisible, SetViewVisible, true);
    RegisterBuiltinVariable("view_xview", GetViewXView, SetViewXView, true);
    RegisterBuiltinVariable("view_yview", GetViewYView, SetViewYView, true);
    RegisterBuiltinVariable("view_wview", GetViewWView, SetViewWView, true);
    RegisterBuiltinVariable("view_hview", GetViewHView, SetViewHView, true);
    RegisterBuiltinVariable("view_xport", GetViewXPort, SetViewXPort, true);
    RegisterBuiltinVariable("view_yport", GetViewYPort, SetViewYPort, true);
    RegisterBuiltinVariable("view_wport", GetViewWPort, SetViewWPort, true);
    RegisterBuiltinVariable("view_hport", GetViewHPort, SetViewHPort, true);
    RegisterBuiltinVariable("view_angle", GetViewAngle, SetViewAngle, true);
    RegisterBuiltinVariable("view_hborder", GetViewHBorder, SetViewHBorder, true);
    RegisterBuiltinVariable("view_vborder", GetViewVBorder, SetViewVBorder, true);
    RegisterBuiltinVariable("view_hspeed", GetViewHSpeed, SetViewHSpeed, true);
    RegisterBuiltinVariable("view_vspeed", GetViewVSpeed, SetViewVSpeed, true);
    RegisterBuiltinVariable("view_object", GetViewObject, SetViewObject, true);
    RegisterBuiltinVariable("view_surface_id", GetViewSurface, SetViewSurface, true);
    RegisterBuiltinVariable("mouse_x", GetMouseX, nullptr, false);
    RegisterBuiltinVariable("mouse_y", GetMouseY, nullptr, false);
    RegisterBuiltinVariable("mouse_button", GetMouseButton, SetMouseButton, true);
    RegisterBuiltinVariable("mouse_lastbutton", GetMouseLastButton, SetMouseLastButton, true);
    RegisterBuiltinVariable("keyboard_key", GetKeyboardKey, SetKeyboardKey, true);
    RegisterBuiltinVariable("keyboard_lastkey", GetKeyboardLastKey, SetKeyboardLastKey, true);
    RegisterBuiltinVariable("keyboard_lastchar", GetKeyboardLastChar, SetKeyboardLastChar, true);
    RegisterBuiltinVariable("keyboard_string", GetKeyboardString, SetKeyboardString, true);
    RegisterBuiltinVariable("cursor_sprite", GetCursorSprite, SetCursorSprite, true);
    RegisterBuiltinVariable("show_score", GetShowScore, SetShowScore, true);
    RegisterBuiltinVariable("show_lives", GetShowLives, SetShowLives, true);
    RegisterBuiltinVariable("show_health", GetShowHealth, SetShowHealth, true);
    RegisterBuiltinVariable("caption_score", GetCaptionScore, SetCaptionScore, true);
    RegisterBuiltinVariable("caption_lives", GetCaptionLives, SetCaptionLives, true);
    RegisterBuiltinVariable("caption_health", GetCaptionHealth, SetCaptionHealth, true);
    RegisterBuiltinVariable("fps", GetFps, nullptr, false);
    RegisterBuiltinVariable("current_time", GetCurrentTime, nullptr, false);
    RegisterBuiltinVariable("current_year", GetCurrentYear, nullptr, false);
    RegisterBuiltinVariable("current_month", GetCurrentMonth, nullptr, false);
    RegisterBuiltinVariable("current_day", GetCurrentDay, nullptr, false);
    RegisterBuiltinVariable("current_weekday", GetCurrentWeekday, nullptr, false);
    RegisterBuiltinVariable("current_hour", GetCurrentHour, nullptr, false);
    RegisterBuiltinVariable("current_minute", GetCurrentMinute, nullptr, false);
    RegisterBuiltinVariable("current_second", GetCurrentSecond, nullptr, false);
    RegisterBuiltinVariable("event_type", GetEventType, nullptr, false);
    RegisterBuiltinVariable("event_number", GetEventNumber, nullptr, false);
    RegisterBuiltinVariable("event_object", GetEventObject, nullptr, false);
    RegisterBuiltinVariable("event_action", GetEventAction, nullptr, false);
    RegisterBuiltinVariable("secure_mode", GetSecureMode, nullptr, false);
    RegisterBuiltinVariable("error_occurred", GetErrorOccurred, SetErrorOccurred, true);
    RegisterBuiltinVariable("error_last", GetErrorLast, SetErrorLast, true);
    // The platform layer's operating-system rows, last (read-only).
    RegisterBuiltinVariable("os_type", GetOSType, nullptr, false);
    RegisterBuiltinVariable("os_device", GetOSDevice, nullptr, false);
    RegisterBuiltinVariable("os_browser", GetOSBrowser, nullptr, false);
    RegisterBuiltinVariable("os_version", GetOSVersion, nullptr, false);
    RegisterBuiltinVariable("browser_width", GetBrowserWidth, nullptr, false);
    RegisterBuiltinVariable("browser_height", GetBrowserHeight, nullptr, false);
}
