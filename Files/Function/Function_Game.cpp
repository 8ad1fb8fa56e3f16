// The "Game.." group of built-in functions over the game world: instance creation,
// destruction and change, position, place, motion and collision queries, instance counts and
// searches, paths started on instances, room switching, game end and restart, the draw-event
// switch and show_debug_message. Also the "Action.." group's wrappers of the same operations.
// Thin layers: arguments converted to numbers, then the run-time commands
// (Files/Run/Run_Commands.h).
//
// Needs: the commands, instances, the run state, the log consoles. No Linux/ file.
#include <cmath>
#include <cstdio>

#include "Files/Base/Console.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Function.h"
#include "Files/Function/Function_World.h"
#include "Files/Object/Event.h"
#include "Files/Object/Instance_Pending.h"
#include "Platform/MemoryManager.h"
#include "Files/Room/Room.h"
#include "Files/Object/Instance.h"
#include "Files/Run/Run_Commands.h"
#include "Files/Run/Run_Main.h"
#include "Files/Base/RealConvert.h"
#include "Files/Base/Value.h"

namespace {

#define BUILTIN(name)                                                                                                  \
    void name([[maybe_unused]] ScriptValue* result, [[maybe_unused]] CInstance* self,                                 \
              [[maybe_unused]] CInstance* other, [[maybe_unused]] int32_t argc, [[maybe_unused]] ScriptValue* args)

inline double R(const ScriptValue& v) { return v.kind == VALUE_REAL ? v.real : 0.0; }
inline float F(const ScriptValue& v) { return float(R(v)); }
inline int32_t I(const ScriptValue& v) { return Real_RoundToInt32(R(v)); }
inline bool B(const ScriptValue& v) { return R(v) > 0.5; }
inline void Ret(ScriptValue* result, double r) { Value_SetReal(result, r); }
inline double Id(const CInstance* i) { return i ? double(i->i_id) : -4.0; }

// ---- Instances ----
BUILTIN(F_InstanceCreate) { Ret(result, Id(Command_CreateInstance(I(args[2]), F(args[0]), F(args[1])))); }
BUILTIN(F_InstanceDestroy)
{
    Ret(result, 0);
    if (argc == 0) {
        Command_DestroyInstance(self);
        return;
    }
    // With an argument: every instance of the target (an id, an object, or all).
    const int32_t target = I(args[0]);
    CRoom* room = Run_CurrentRoom();
    if (!room) return;
    for (CInstance* i = room->m_active.head; i;) {
        CInstance* next = i->m_pNext;
        if (!i->i_marked && !i->i_deactivated &&
            (target == -3 || i->i_id == target || i->i_objindex == target ||
             (i->m_pObject && target >= 0 && target < 100000 && i->m_pObject->IsDescendantOf(target))))
            Command_DestroyInstance(i);
        i = next;
    }
}
BUILTIN(F_InstanceChange)
{
    Ret(result, 0);
    Command_ChangeInstance(self, I(args[0]), B(args[1]));
}
BUILTIN(F_InstanceCopy)
{
    Ret(result, -4);
    CRoom* room = Run_CurrentRoom();
    if (!self || !room) return;
    CInstance* copy = room->AddInstance(self->i_x, self->i_y, self->i_objindex);
    const int32_t id = copy->i_id;
    copy->Assign(self, true);
    copy->SetId(id, false);
    InstanceHash_Remove(copy);
    InstanceHash_Add(copy);
    Run_QueueDepthChange(copy);
    if (B(args[0])) Event_Perform(copy, copy, 0, 0);
    Ret(result, id);
}
BUILTIN(F_InstanceExists) { Ret(result, Command_InstanceNumber(I(args[0])) > 0 ? 1 : 0); }
BUILTIN(F_InstanceNumber) { Ret(result, Command_InstanceNumber(I(args[0]))); }
BUILTIN(F_InstanceFind)
{
    Ret(result, -4);
    const int32_t target = I(args[0]), n = I(args[1]);
    if (n < 0) return;
    int32_t k = 0;
    CRoom* room = Run_CurrentRoom();
    if (!room) return;
    if (target == -3) {
        for (CInstance* i = room->m_active.head; i; i = i->m_pNext)
            if (i->IsLive() && k++ == n) return Ret(result, i->i_id);
        return;
    }
    if (target >= 100000) {
        CInstance* i = Instance_Find(target);
        if (n == 0 && i && i->IsLive()) Ret(result, i->i_id);
        return;
    }
    if (CObject* o = Object_Lookup(target))
        for (ObjectInstanceNode* node = o->m_instancesRecursive.GetHead(); node; node = node->next)
            if (node->value->IsLive() && k++ == n) return Ret(result, node->value->i_id);
}
BUILTIN(F_InstanceNearest) { Ret(result, Id(Command_InstanceNearest(F(args[0]), F(args[1]), I(args[2])))); }
BUILTIN(F_InstanceFurthest) { Ret(result, Id(Command_InstanceFurthest(F(args[0]), F(args[1]), I(args[2])))); }
BUILTIN(F_InstancePosition) { Ret(result, Id(Command_InstancePosition(F(args[0]), F(args[1]), I(args[2])))); }
BUILTIN(F_InstancePlace) { Ret(result, Id(Command_InstancePlace(self, F(args[0]), F(args[1]), I(args[2])))); }

// ---- Positions and places ----
BUILTIN(F_PositionEmpty) { Ret(result, Command_InstancePosition(F(args[0]), F(args[1]), -3) ? 0 : 1); }
BUILTIN(F_PositionMeeting) { Ret(result, Command_PositionMeeting(F(args[0]), F(args[1]), I(args[2])) ? 1 : 0); }
BUILTIN(F_PositionDestroy)
{
    Ret(result, 0);
    Command_PositionDestroy(F(args[0]), F(args[1]));
}
BUILTIN(F_PositionChange)
{
    Ret(result, 0);
    Command_PositionChange(F(args[0]), F(args[1]), I(args[2]), B(args[3]));
}
BUILTIN(F_PlaceFree) { Ret(result, self && Command_PlaceFree(self, F(args[0]), F(args[1])) ? 1 : 0); }
BUILTIN(F_PlaceEmpty) { Ret(result, self && Command_PlaceEmpty(self, F(args[0]), F(args[1])) ? 1 : 0); }
BUILTIN(F_PlaceMeeting) { Ret(result, self && Command_PlaceMeeting(self, I(args[2]), F(args[0]), F(args[1])) ? 1 : 0); }
BUILTIN(F_PlaceSnapped)
{
    const float h = F(args[0]), v = F(args[1]);
    bool ok = self != nullptr;
    if (ok && h > 0) ok = std::fabs(std::fmod(double(self->i_x), double(h))) < 0.001;
    if (ok && v > 0) ok = std::fabs(std::fmod(double(self->i_y), double(v))) < 0.001;
    Ret(result, ok ? 1 : 0);
}

// ---- Collisions ----
BUILTIN(F_CollisionPoint)
{
    Ret(result, Id(Command_CollisionPoint(self, F(args[0]), F(args[1]), I(args[2]), B(args[3]), B(args[4]))));
}
BUILTIN(F_CollisionRectangle)
{
    Ret(result, Id(Command_CollisionRectangle(self, F(args[0]), F(args[1]), F(args[2]), F(args[3]), I(args[4]),
                                              B(args[5]), B(args[6]))));
}
BUILTIN(F_CollisionEllipse)
{
    Ret(result, Id(Command_CollisionEllipse(self, F(args[0]), F(args[1]), F(args[2]), F(args[3]), I(args[4]),
                                            B(args[5]), B(args[6]))));
}
// collision_circle(x, y, radius, ...): the ellipse test on the circle's square.
BUILTIN(F_CollisionCircle)
{
    const double x = R(args[0]), y = R(args[1]), r = R(args[2]);
    Ret(result, Id(Command_CollisionEllipse(self, float(x - r), float(y - r), float(x + r), float(y + r), I(args[3]),
                                            B(args[4]), B(args[5]))));
}
BUILTIN(F_CollisionLine)
{
    Ret(result, Id(Command_CollisionLine(self, F(args[0]), F(args[1]), F(args[2]), F(args[3]), I(args[4]), B(args[5]),
                                         B(args[6]))));
}

// ---- Motion ----
BUILTIN(F_MotionSet)
{
    Ret(result, 0);
    if (!self) return;
    self->SetDirection(F(args[0]));
    self->SetSpeed(F(args[1]));
}
BUILTIN(F_MotionAdd)
{
    Ret(result, 0);
    if (self) self->AddMotion(F(args[0]), F(args[1]));
}
BUILTIN(F_MoveTowardsPoint)
{
    Ret(result, 0);
    if (self) Command_MoveTowardsPoint(self, F(args[0]), F(args[1]), F(args[2]));
}
BUILTIN(F_MoveSnap)
{
    Ret(result, 0);
    if (self) Command_MoveSnap(self, F(args[0]), F(args[1]));
}
BUILTIN(F_MoveWrap)
{
    Ret(result, 0);
    if (self) Command_MoveWrap(self, B(args[0]), B(args[1]));
}
BUILTIN(F_MoveContactSolid)
{
    Ret(result, 0);
    if (self) Command_MoveContact(self, F(args[0]), F(args[1]), false);
}
BUILTIN(F_MoveContactAll)
{
    Ret(result, 0);
    if (self) Command_MoveContact(self, F(args[0]), F(args[1]), true);
}
BUILTIN(F_MoveOutsideSolid)
{
    Ret(result, 0);
    if (self) Command_MoveOutside(self, F(args[0]), F(args[1]), false);
}
BUILTIN(F_MoveOutsideAll)
{
    Ret(result, 0);
    if (self) Command_MoveOutside(self, F(args[0]), F(args[1]), true);
}
BUILTIN(F_MoveBounceSolid)
{
    Ret(result, 0);
    if (self) Command_MoveBounce(self, B(args[0]), false);
}
BUILTIN(F_MoveBounceAll)
{
    Ret(result, 0);
    if (self) Command_MoveBounce(self, B(args[0]), true);
}
BUILTIN(F_PathStart)
{
    Ret(result, 0);
    // (path, speed, end action, absolute)
    if (self) self->StartPath(I(args[0]), F(args[1]), 1.0f, 0.0f, !B(args[3]), I(args[2]));
}
BUILTIN(F_PathEnd)
{
    Ret(result, 0);
    if (self) self->i_pathindex = -1;
}

// ---- Rooms and the game ----
BUILTIN(F_RoomGoto)
{
    Ret(result, 0);
    Command_GotoRoom(I(args[0]));
}
BUILTIN(F_RoomGotoPrevious)
{
    Ret(result, 0);
    Command_GotoPreviousRoom();
}
BUILTIN(F_RoomGotoNext)
{
    Ret(result, 0);
    Command_GotoNextRoom();
}
BUILTIN(F_RoomRestart)
{
    Ret(result, 0);
    Command_RestartRoom();
}
BUILTIN(F_RoomPrevious) { Ret(result, Room_Previous(I(args[0]))); }
BUILTIN(F_RoomNext) { Ret(result, Room_Next(I(args[0]))); }
BUILTIN(F_GameEnd)
{
    Ret(result, 0);
    Command_EndGame();
}
BUILTIN(F_GameRestart)
{
    Ret(result, 0);
    Command_RestartGame();
}
BUILTIN(F_DrawEnableDrawEvent)
{
    Ret(result, 0);
    Run_State().drawEnabled = B(args[0]) ? 1 : 0;
}
BUILTIN(F_ShowDebugMessage)
{
    Ret(result, 0);
    const ScriptValue& v = args[0];
    if (v.kind == VALUE_STRING) {
        Console_Release()->Output("%s\n", v.text ? v.text : "");
    } else {
        // A number is shown as the language prints reals.
        char buffer[64];
        if (v.real == std::floor(v.real) && std::fabs(v.real) < 1e15)
            std::snprintf(buffer, sizeof buffer, "%.0f", v.real);
        else
            std::snprintf(buffer, sizeof buffer, "%.2f", v.real);
        Console_Release()->Output("%s\n", buffer);
    }
}

// ---- Actions ----
bool Relative() { return Function_GetRelative(); }
BUILTIN(A_CreateObject)
{
    float x = F(args[1]), y = F(args[2]);
    if (Relative() && self) {
        x += self->i_x;
        y += self->i_y;
    }
    Ret(result, Id(Command_CreateInstance(I(args[0]), x, y)));
}
BUILTIN(A_KillObject)
{
    Ret(result, 0);
    Command_DestroyInstance(self);
}
BUILTIN(A_ChangeObject)
{
    Ret(result, 0);
    Command_ChangeInstance(self, I(args[0]), B(args[1]));
}
BUILTIN(A_MoveTo)
{
    Ret(result, 0);
    if (!self) return;
    float x = F(args[0]), y = F(args[1]);
    if (Relative()) {
        x += self->i_x;
        y += self->i_y;
    }
    self->SetPosition(x, y);
}
BUILTIN(A_SetMotion)
{
    Ret(result, 0);
    if (!self) return;
    if (Relative())
        self->AddMotion(F(args[0]), F(args[1]));
    else {
        self->SetDirection(F(args[0]));
        self->SetSpeed(F(args[1]));
    }
}
BUILTIN(A_SetHSpeed)
{
    Ret(result, 0);
    if (self) self->SetHSpeed(Relative() ? self->i_hspeed + F(args[0]) : F(args[0]));
}
BUILTIN(A_SetVSpeed)
{
    Ret(result, 0);
    if (self) self->SetVSpeed(Relative() ? self->i_vspeed + F(args[0]) : F(args[0]));
}
BUILTIN(A_SetGravity)
{
    Ret(result, 0);
    if (!self) return;
    self->i_gravitydir = F(args[0]);
    self->i_gravity = Relative() ? self->i_gravity + F(args[1]) : F(args[1]);
}
BUILTIN(A_SetFriction)
{
    Ret(result, 0);
    if (self) self->i_friction = Relative() ? self->i_friction + F(args[0]) : F(args[0]);
}
BUILTIN(A_SetAlarm)
{
    Ret(result, 0);
    if (!self) return;
    const int32_t n = I(args[1]);
    self->SetAlarm(n, Relative() ? self->GetAlarm(n) + I(args[0]) : I(args[0]));
}
BUILTIN(A_NextRoom) { F_RoomGotoNext(result, self, other, 0, args); }
BUILTIN(A_PreviousRoom) { F_RoomGotoPrevious(result, self, other, 0, args); }
BUILTIN(A_CurrentRoom) { F_RoomRestart(result, self, other, 0, args); }
BUILTIN(A_AnotherRoom) { F_RoomGoto(result, self, other, 1, args); }
BUILTIN(A_EndGame) { F_GameEnd(result, self, other, 0, args); }
BUILTIN(A_RestartGame) { F_GameRestart(result, self, other, 0, args); }
BUILTIN(A_SetCaption)
{
    // (show score, score caption, show lives, lives caption, show health, health caption)
    Ret(result, 0);
    RunState& st = Run_State();
    st.captionSet = 1;
    st.showScore = B(args[0]);
    st.showLives = B(args[2]);
    st.showHealth = B(args[4]);
    char** fields[3] = {&st.captionScore, &st.captionLives, &st.captionHealth};
    for (int32_t k = 0; k < 3; ++k) {
        const ScriptValue& v = args[2 * k + 1];
        MEM_FREE(*fields[k]);
        *fields[k] = MEM_STRDUP(v.kind == VALUE_STRING && v.text ? v.text : "");
    }
}

} // namespace

void InitFunctions_Game()
{
    static bool done = false;
    if (done) return;
    done = true;
    Function_Add("instance_create", F_InstanceCreate, 3);
    Function_Add("instance_destroy", F_InstanceDestroy, -1);
    Function_Add("instance_change", F_InstanceChange, 2);
    Function_Add("instance_copy", F_InstanceCopy, 1);
    Function_Add("instance_exists", F_InstanceExists, 1);
    Function_Add("instance_number", F_InstanceNumber, 1);
    Function_Add("instance_find", F_InstanceFind, 2);
    Function_Add("instance_nearest", F_InstanceNearest, 3);
    Function_Add("instance_furthest", F_InstanceFurthest, 3);
    Function_Add("instance_position", F_InstancePosition, 3);
    Function_Add("instance_place", F_InstancePlace, 3);
    Function_Add("position_empty", F_PositionEmpty, 2);
    Function_Add("position_meeting", F_PositionMeeting, 3);
    Function_Add("position_destroy", F_PositionDestroy, 2);
    Function_Add("position_change", F_PositionChange, 4);
    Function_Add("place_free", F_PlaceFree, 2);
    Function_Add("place_empty", F_PlaceEmpty, 2);
    Function_Add("place_meeting", F_PlaceMeeting, 3);
    Function_Add("place_snapped", F_PlaceSnapped, 2);
    Function_Add("collision_point", F_CollisionPoint, 5);
    Function_Add("collision_rectangle", F_CollisionRectangle, 7);
    Function_Add("collision_circle", F_CollisionCircle, 6);
    Function_Add("collision_ellipse", F_CollisionEllipse, 7);
    Function_Add("collision_line", F_CollisionLine, 7);
    Function_Add("motion_set", F_MotionSet, 2);
    Function_Add("motion_add", F_MotionAdd, 2);
    Function_Add("move_towards_point", F_MoveTowardsPoint, 3);
    Function_Add("move_snap", F_MoveSnap, 2);
    Function_Add("move_wrap", F_MoveWrap, 3);
    Function_Add("move_contact_solid", F_MoveContactSolid, 2);
    Function_Add("move_contact_all", F_MoveContactAll, 2);
    Function_Add("move_outside_solid", F_MoveOutsideSolid, 2);
    Function_Add("move_outside_all", F_MoveOutsideAll, 2);
    Function_Add("move_bounce_solid", F_MoveBounceSolid, 1);
    Function_Add("move_bounce_all", F_MoveBounceAll, 1);
    Function_Add("path_start", F_PathStart, 4);
    Function_Add("path_end", F_PathEnd, 0);
    Function_Add("room_goto", F_RoomGoto, 1);
    Function_Add("room_goto_previous", F_RoomGotoPrevious, 0);
    Function_Add("room_goto_next", F_RoomGotoNext, 0);
    Function_Add("room_restart", F_RoomRestart, 0);
    Function_Add("room_previous", F_RoomPrevious, 1);
    Function_Add("room_next", F_RoomNext, 1);
    Function_Add("game_end", F_GameEnd, 0);
    Function_Add("game_restart", F_GameRestart, 0);
    Function_Add("draw_enable_drawevent", F_DrawEnableDrawEvent, 1);
    Function_Add("show_debug_message", F_ShowDebugMessage, 1);
    Function_Save_Register();
    Function_Motion_Register();
    Function_Device_Register();
}

void InitFunctions_Action()
{
    static bool done = false;
    if (done) return;
    done = true;
    Function_Add("action_create_object", A_CreateObject, 3);
    Function_Add("action_kill_object", A_KillObject, 0);
    Function_Add("action_change_object", A_ChangeObject, 2);
    Function_Add("action_move_to", A_MoveTo, 2);
    Function_Add("action_set_motion", A_SetMotion, 2);
    Function_Add("action_set_hspeed", A_SetHSpeed, 1);
    Function_Add("action_set_vspeed", A_SetVSpeed, 1);
    Function_Add("action_set_gravity", A_SetGravity, 2);
    Function_Add("action_set_friction", A_SetFriction, 1);
    Function_Add("action_set_alarm", A_SetAlarm, 2);
    Function_Add("action_next_room", A_NextRoom, 0);
    Function_Add("action_previous_room", A_PreviousRoom, 0);
    Function_Add("action_current_room", A_CurrentRoom, 0);
    Function_Add("action_another_room", A_AnotherRoom, 1);
    Function_Add("action_end_game", A_EndGame, 0);
    Function_Add("action_restart_game", A_RestartGame, 0);
    Function_Add("action_set_caption", A_SetCaption, 6);
    Function_Save_RegisterActions();
    Function_Device_RegisterActions();
}
