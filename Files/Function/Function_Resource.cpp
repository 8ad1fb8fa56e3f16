// The built-ins that change the game's resources at run time and ask about them: rooms
// (room_add, room_duplicate, room_assign, room_set_caption), tiles (tile_add), paths
// (path_add, path_delete, path_duplicate, path_assign, path_exists, path_get_name), objects
// (object_add, object_delete, object_event_clear, object_set_parent), time-line moments
// (timeline_moment_add, timeline_moment_clear), asset_get_type, script_execute and
// script_get_text. Thin layers over the resource tables; ids rounded to integers.
//
// Needs: the room, path, object, time-line, script, sprite, background, font and sound tables,
// the function table. No Linux/ file.
#include "Files/Background/Background_Main.h"
#include "Files/Code/Code_Builtin.h"
#include "Files/Code/Code_Error.h"
#include "Files/Font/Font_Main.h"
#include "Files/Function/Function_World.h"
#include "Files/Object/Event.h"
#include "Files/Object/Object.h"
#include "Files/Path/Path.h"
#include "Files/Room/Room.h"
#include "Files/Script/Script_Main.h"
#include "Files/Sound/Sound_Main.h"
#include "Files/Sprite/Sprite_Main.h"
#include "Files/TimeLine/TimeLine.h"
#include "Files/World/World_State.h"
#include "Platform/MemoryManager.h"

#include <string>

using namespace zbargs;

namespace {

// ---- Rooms and tiles ----
ZB_BUILTIN(F_RoomAdd) { SetReal(result, Room_Add()); }
ZB_BUILTIN(F_RoomDuplicate) { SetReal(result, Room_Duplicate(NumRound(args, 0))); }
ZB_BUILTIN(F_RoomAssign) { SetBool(result, Room_Assign(NumRound(args, 0), NumRound(args, 1))); }
ZB_BUILTIN(F_RoomSetCaption)
{
    SetReal(result, 0);
    if (CRoom* room = Room_Data(NumRound(args, 0))) room->SetCaption(ArgText(args, 1));
}
// tile_add(background, left, top, width, height, x, y, depth): a visible tile of the current
// room, scale 1, white, opaque; its id (-1 without a current room).
ZB_BUILTIN(F_TileAdd)
{
    CRoom* room = Run_CurrentRoom();
    if (!room) return SetReal(result, -1);
    RoomTile t{};
    t.background = NumRound(args, 0);
    t.left = NumRound(args, 1);
    t.top = NumRound(args, 2);
    t.width = NumRound(args, 3);
    t.height = NumRound(args, 4);
    t.x = NumFloat(args, 5);
    t.y = NumFloat(args, 6);
    t.depth = NumFloat(args, 7);
    t.xscale = t.yscale = 1;
    t.blend = 0xFFFFFF;
    t.alpha = 1;
    t.visible = 1;
    SetReal(result, room->m_tiles[size_t(room->AddTileInOrder(t))].id);
}

// ---- Paths ----
ZB_BUILTIN(F_PathAdd) { SetReal(result, Path_Add()); }
ZB_BUILTIN(F_PathDelete)
{
    SetReal(result, 0);
    Path_Delete(NumRound(args, 0));
}
ZB_BUILTIN(F_PathDuplicate) { SetReal(result, Path_Duplicate(NumRound(args, 0))); }
ZB_BUILTIN(F_PathAssign) { SetBool(result, Path_Assign(NumRound(args, 0), NumRound(args, 1))); }
ZB_BUILTIN(F_PathExists) { SetBool(result, Path_Exists(NumRound(args, 0))); }
ZB_BUILTIN(F_PathGetName) { SetText(result, Path_GetName(NumRound(args, 0))); }

// ---- Objects ----
ZB_BUILTIN(F_ObjectAdd) { SetReal(result, Object_Add()); }
ZB_BUILTIN(F_ObjectDelete)
{
    SetReal(result, 0);
    Object_Delete(NumRound(args, 0));
}
// Removes the object's own event (type, number); the per-event lists are rebuilt.
ZB_BUILTIN(F_ObjectEventClear)
{
    SetReal(result, 0);
    CObject* o = Object_Lookup(NumRound(args, 0));
    const int32_t type = NumRound(args, 1), number = NumRound(args, 2);
    if (!o || type < 0 || type >= OBJECT_EVENT_TYPES || number < 0 || number >= o->m_events[type].count) return;
    CEvent*& slot = o->m_events[type].events[number];
    if (!slot) return;
    Event_Retire(slot); // it may be the event running now
    slot = nullptr;
    Object_EventsChanged();
    Object_Lists_Invalidate();
}
ZB_BUILTIN(F_ObjectSetParent)
{
    SetReal(result, 0);
    if (!Object_Exists(NumRound(args, 0))) return;
    if (Object_SetParent(NumRound(args, 0), NumRound(args, 1))) Object_Lists_Invalidate();
}

// ---- Time-line moments ----
// Adds the code as one more action of the moment at that step (made when missing). Code that
// does not compile is reported and nothing changes.
ZB_BUILTIN(F_TimelineMomentAdd)
{
    SetReal(result, 0);
    const int32_t index = NumRound(args, 0), time = NumRound(args, 1);
    CTimeLine* t = TimeLine_Data(index);
    if (!t) return;
    const std::string name = "TimeLine." + std::string(TimeLine_GetName(index)) + "." + std::to_string(time);
    CEvent::Action action;
    if (!Event_CompileAction(ArgText(args, 2), name.c_str(), &action)) {
        const char* error = Code_Error_GetText();
        const std::string message = std::string("COMPILATION ERROR in code action\n") + (error ? error : "");
        Code_Error_Show(message.c_str(), false);
        return;
    }
    t->AddMoment(time)->AddAction(action);
}
ZB_BUILTIN(F_TimelineMomentClear)
{
    SetReal(result, 0);
    if (CTimeLine* t = TimeLine_Data(NumRound(args, 0))) t->DeleteMoment(NumRound(args, 1));
}

// ---- Assets and scripts ----
// The kind of the resource with that name: asset_object 0, asset_sprite 1, asset_sound 2,
// asset_room 3, asset_background 4, asset_path 5, asset_script 6, asset_font 7,
// asset_timeline 8; asset_unknown -1.
ZB_BUILTIN(F_AssetGetType)
{
    const char* name = ArgText(args, 0);
    int32_t kind = -1;
    if (Object_Find(name) >= 0) kind = 0;
    else if (Sprite_Find(name) >= 0) kind = 1;
    else if (Sound_Find(name) >= 0 || Audio_Find(name) >= 0) kind = 2;
    else if (Room_Find(name) >= 0) kind = 3;
    else if (Background_Find(name) >= 0) kind = 4;
    else if (Path_Find(name) >= 0) kind = 5;
    else if (Script_Find(name) >= 0) kind = 6;
    else if (Font_Find(name) >= 0) kind = 7;
    else if (TimeLine_Find(name) >= 0) kind = 8;
    SetReal(result, kind);
}
// script_execute(index, arguments...): the script's result. A script that fails (under the
// tree interpreter; the machine reports its own errors) is reported here, as a failing call
// of the script by name is, and gives "ERROR".
ZB_BUILTIN(F_ScriptExecute)
{
    SetReal(result, 0);
    if (argc < 1) return;
    const ScriptArguments a{argc - 1, args + 1};
    const int32_t index = NumRound(args, 0);
    if (!Script_Execute(index, self, other, argc - 1, result, &a) && Script_Exists(index)) {
        Code_Error_Report(Code_Error_GetText(), false);
        Code_Error_ClearRecorded();
    }
}
ZB_BUILTIN(F_ScriptGetText)
{
    CScript* s = Script_Data(NumRound(args, 0));
    SetText(result, s && s->GetText() ? s->GetText() : "");
}

// ---- Readers the checks of the changes above need ----
ZB_BUILTIN(F_RoomExists) { SetBool(result, Room_Exists(NumRound(args, 0))); }
ZB_BUILTIN(F_RoomGetName) { SetText(result, Room_GetName(NumRound(args, 0))); }
ZB_BUILTIN(F_PathGetNumber) { SetReal(result, Path_Exists(NumRound(args, 0)) ? Path_Data(NumRound(args, 0))->GetNumber() : 0); }
ZB_BUILTIN(F_PathGetLength) { SetReal(result, Path_Exists(NumRound(args, 0)) ? Path_Data(NumRound(args, 0))->GetLength() : 0); }
ZB_BUILTIN(F_ObjectExists) { SetBool(result, Object_Exists(NumRound(args, 0))); }
ZB_BUILTIN(F_ObjectGetName) { SetText(result, Object_GetName(NumRound(args, 0))); }
ZB_BUILTIN(F_ObjectGetParent)
{
    CObject* o = Object_Lookup(NumRound(args, 0));
    SetReal(result, o ? o->m_parentIndex : -1);
}
ZB_BUILTIN(F_TimelineExists) { SetBool(result, TimeLine_Exists(NumRound(args, 0))); }
ZB_BUILTIN(F_ScriptExists) { SetBool(result, Script_Exists(NumRound(args, 0))); }

} // namespace

void Function_Resource_Register()
{
    static const Row kRows[] = {
        {"room_exists", F_RoomExists, 1},
        {"room_get_name", F_RoomGetName, 1},
        {"path_get_number", F_PathGetNumber, 1},
        {"path_get_length", F_PathGetLength, 1},
        {"object_exists", F_ObjectExists, 1},
        {"object_get_name", F_ObjectGetName, 1},
        {"object_get_parent", F_ObjectGetParent, 1},
        {"timeline_exists", F_TimelineExists, 1},
        {"script_exists", F_ScriptExists, 1},
        {"room_add", F_RoomAdd, 0},
        {"room_duplicate", F_RoomDuplicate, 1},
        {"room_assign", F_RoomAssign, 2},
        {"room_set_caption", F_RoomSetCaption, 2},
        {"tile_add", F_TileAdd, 8},
        {"path_add", F_PathAdd, 0},
        {"path_delete", F_PathDelete, 1},
        {"path_duplicate", F_PathDuplicate, 1},
        {"path_assign", F_PathAssign, 2},
        {"path_exists", F_PathExists, 1},
        {"path_get_name", F_PathGetName, 1},
        {"object_add", F_ObjectAdd, 0},
        {"object_delete", F_ObjectDelete, 1},
        {"object_event_clear", F_ObjectEventClear, 3},
        {"object_set_parent", F_ObjectSetParent, 2},
        {"timeline_moment_add", F_TimelineMomentAdd, 3},
        {"timeline_moment_clear", F_TimelineMomentClear, 2},
        {"asset_get_type", F_AssetGetType, 1},
        {"script_execute", F_ScriptExecute, -1},
        {"script_get_text", F_ScriptGetText, 1},
    };
    Register(kRows);
}
