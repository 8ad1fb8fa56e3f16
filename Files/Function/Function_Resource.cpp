// The built-ins that change the game's resources at run time and ask about them: rooms
// (room_add, room_duplicate, room_assign, room_set_caption), tiles (tile_add), paths
// (path_add, path_delete, path_duplicate, path_assign, path_exists, path_get_name), objects
// (object_add, object_delete, object_event_clear, object_set_parent), time-line moments
// (timeline_moment_add, timeline_moment_clear), asset_get_type, script_execute and
// script_get_text. Thin layers over the resource tables; ids rounded to integers.
//
// Needs: the room, path, object, time-line, script, sprite, background, font and sound tables,
// the function table. No Linux/ file.
#include "Files/Base/RealConvert.h"
#include "Files/Base/Value.h"
#include "Files/Background/Background_Main.h"
#include "Files/Code/Code_Function.h"
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

namespace {

#define BUILTIN(name)                                                                                                  \
    void name([[maybe_unused]] ScriptValue* result, [[maybe_unused]] CInstance* self,                                 \
              [[maybe_unused]] CInstance* other, [[maybe_unused]] int32_t argc, [[maybe_unused]] ScriptValue* args)

inline double R(const ScriptValue& v) { return v.kind == VALUE_REAL ? v.real : 0.0; }
inline float F(const ScriptValue& v) { return float(R(v)); }
inline int32_t I(const ScriptValue& v) { return Real_RoundToInt32(R(v)); }
inline void Ret(ScriptValue* result, double r) { Value_SetReal(result, r); }

// ---- Rooms and tiles ----
BUILTIN(F_RoomAdd) { Ret(result, Room_Add()); }
BUILTIN(F_RoomDuplicate) { Ret(result, Room_Duplicate(I(args[0]))); }
BUILTIN(F_RoomAssign) { Ret(result, Room_Assign(I(args[0]), I(args[1])) ? 1 : 0); }
BUILTIN(F_RoomSetCaption)
{
    Ret(result, 0);
    if (CRoom* room = Room_Data(I(args[0]))) room->SetCaption(Value_Text(&args[1]));
}
// tile_add(background, left, top, width, height, x, y, depth): a visible tile of the current
// room, scale 1, white, opaque; its id (-1 without a current room).
BUILTIN(F_TileAdd)
{
    CRoom* room = Run_CurrentRoom();
    if (!room) return Ret(result, -1);
    RoomTile t{};
    t.background = I(args[0]);
    t.left = I(args[1]);
    t.top = I(args[2]);
    t.width = I(args[3]);
    t.height = I(args[4]);
    t.x = F(args[5]);
    t.y = F(args[6]);
    t.depth = F(args[7]);
    t.xscale = t.yscale = 1;
    t.blend = 0xFFFFFF;
    t.alpha = 1;
    t.visible = 1;
    const int32_t id = room->m_tiles[size_t(room->AddTile(t))].id;
    room->SortTiles();
    Ret(result, id);
}

// ---- Paths ----
BUILTIN(F_PathAdd) { Ret(result, Path_Add()); }
BUILTIN(F_PathDelete)
{
    Ret(result, 0);
    Path_Delete(I(args[0]));
}
BUILTIN(F_PathDuplicate) { Ret(result, Path_Duplicate(I(args[0]))); }
BUILTIN(F_PathAssign) { Ret(result, Path_Assign(I(args[0]), I(args[1])) ? 1 : 0); }
BUILTIN(F_PathExists) { Ret(result, Path_Exists(I(args[0])) ? 1 : 0); }
BUILTIN(F_PathGetName) { Value_SetString(result, Path_GetName(I(args[0]))); }

// ---- Objects ----
BUILTIN(F_ObjectAdd) { Ret(result, Object_Add()); }
BUILTIN(F_ObjectDelete)
{
    Ret(result, 0);
    Object_Delete(I(args[0]));
}
// Removes the object's own event (type, number); the per-event lists are rebuilt.
BUILTIN(F_ObjectEventClear)
{
    Ret(result, 0);
    CObject* o = Object_Lookup(I(args[0]));
    const int32_t type = I(args[1]), number = I(args[2]);
    if (!o || type < 0 || type >= OBJECT_EVENT_TYPES || number < 0 || number >= o->m_events[type].count) return;
    CEvent*& slot = o->m_events[type].events[number];
    if (!slot) return;
    delete slot;
    slot = nullptr;
    Object_EventsChanged();
    Object_Lists_Build();
}
BUILTIN(F_ObjectSetParent)
{
    Ret(result, 0);
    if (!Object_Exists(I(args[0]))) return;
    if (Object_SetParent(I(args[0]), I(args[1]))) Object_Lists_Build();
}

// ---- Time-line moments ----
// Adds the code to the moment at that step (made when missing): after the moment's code when
// it already has text.
BUILTIN(F_TimelineMomentAdd)
{
    Ret(result, 0);
    CTimeLine* t = TimeLine_Data(I(args[0]));
    if (!t) return;
    CEvent* moment = t->AddMoment(I(args[1]));
    const char* code = Value_Text(&args[2]);
    if (moment->m_pText && *moment->m_pText) {
        std::string joined = std::string(moment->m_pText) + "\n" + code;
        moment->SetText(joined.c_str());
    } else {
        moment->m_codeIndex = -1;
        moment->SetText(code);
    }
}
BUILTIN(F_TimelineMomentClear)
{
    Ret(result, 0);
    if (CTimeLine* t = TimeLine_Data(I(args[0]))) t->DeleteMoment(I(args[1]));
}

// ---- Assets and scripts ----
// The kind of the resource with that name: asset_object 0, asset_sprite 1, asset_sound 2,
// asset_room 3, asset_background 4, asset_path 5, asset_script 6, asset_font 7,
// asset_timeline 8; asset_unknown -1.
BUILTIN(F_AssetGetType)
{
    const char* name = Value_Text(&args[0]);
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
    Ret(result, kind);
}
// script_execute(index, arguments...): the script's result.
BUILTIN(F_ScriptExecute)
{
    Ret(result, 0);
    if (argc < 1) return;
    const ScriptArguments a{argc - 1, args + 1};
    Script_Execute(I(args[0]), self, other, argc - 1, result, &a);
}
BUILTIN(F_ScriptGetText)
{
    CScript* s = Script_Data(I(args[0]));
    Value_SetString(result, s && s->GetText() ? s->GetText() : "");
}

// ---- Readers the checks of the changes above need ----
BUILTIN(F_RoomExists) { Ret(result, Room_Exists(I(args[0])) ? 1 : 0); }
BUILTIN(F_RoomGetName) { Value_SetString(result, Room_GetName(I(args[0]))); }
BUILTIN(F_PathGetNumber) { Ret(result, Path_Exists(I(args[0])) ? Path_Data(I(args[0]))->GetNumber() : 0); }
BUILTIN(F_PathGetLength) { Ret(result, Path_Exists(I(args[0])) ? Path_Data(I(args[0]))->GetLength() : 0); }
BUILTIN(F_ObjectExists) { Ret(result, Object_Exists(I(args[0])) ? 1 : 0); }
BUILTIN(F_ObjectGetName) { Value_SetString(result, Object_GetName(I(args[0]))); }
BUILTIN(F_ObjectGetParent)
{
    CObject* o = Object_Lookup(I(args[0]));
    Ret(result, o ? o->m_parentIndex : -1);
}
BUILTIN(F_TimelineExists) { Ret(result, TimeLine_Exists(I(args[0])) ? 1 : 0); }
BUILTIN(F_ScriptExists) { Ret(result, Script_Exists(I(args[0])) ? 1 : 0); }

} // namespace

void Function_Resource_Register()
{
    Function_Add("room_exists", F_RoomExists, 1);
    Function_Add("room_get_name", F_RoomGetName, 1);
    Function_Add("path_get_number", F_PathGetNumber, 1);
    Function_Add("path_get_length", F_PathGetLength, 1);
    Function_Add("object_exists", F_ObjectExists, 1);
    Function_Add("object_get_name", F_ObjectGetName, 1);
    Function_Add("object_get_parent", F_ObjectGetParent, 1);
    Function_Add("timeline_exists", F_TimelineExists, 1);
    Function_Add("script_exists", F_ScriptExists, 1);
    Function_Add("room_add", F_RoomAdd, 0);
    Function_Add("room_duplicate", F_RoomDuplicate, 1);
    Function_Add("room_assign", F_RoomAssign, 2);
    Function_Add("room_set_caption", F_RoomSetCaption, 2);
    Function_Add("tile_add", F_TileAdd, 8);
    Function_Add("path_add", F_PathAdd, 0);
    Function_Add("path_delete", F_PathDelete, 1);
    Function_Add("path_duplicate", F_PathDuplicate, 1);
    Function_Add("path_assign", F_PathAssign, 2);
    Function_Add("path_exists", F_PathExists, 1);
    Function_Add("path_get_name", F_PathGetName, 1);
    Function_Add("object_add", F_ObjectAdd, 0);
    Function_Add("object_delete", F_ObjectDelete, 1);
    Function_Add("object_event_clear", F_ObjectEventClear, 3);
    Function_Add("object_set_parent", F_ObjectSetParent, 2);
    Function_Add("timeline_moment_add", F_TimelineMomentAdd, 3);
    Function_Add("timeline_moment_clear", F_TimelineMomentClear, 2);
    Function_Add("asset_get_type", F_AssetGetType, 1);
    Function_Add("script_execute", F_ScriptExecute, -1);
    Function_Add("script_get_text", F_ScriptGetText, 1);
}
