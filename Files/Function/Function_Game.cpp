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
#include "Files/Base/RealConvert.h"
#include "Files/Base/Value.h"
#include "Files/Code/Code_Builtin.h"
#include "Files/Code/Code_Error.h"
#include "Files/Function/Function_Dialog.h"
#include "Files/Function/Function_World.h"
#include "Files/Object/Event.h"
#include "Files/Object/Instance.h"
#include "Files/Object/Instance_Pending.h"
#include "Files/Room/Room.h"
#include "Files/Run/Run_Commands.h"
#include "Files/Run/Run_Main.h"
#include "Platform/MemoryManager.h"

namespace {

using namespace zbargs;

inline double Id(const CInstance* i) { return i ? double(i->i_id) : -4.0; }

// ---- Instances ----
ZB_BUILTIN(F_InstanceCreate)
{
    SetReal(result, Id(Command_CreateInstance(NumRound(args, 2), NumFloat(args, 0), NumFloat(args, 1))));
}
ZB_BUILTIN(F_InstanceDestroy)
{
    SetReal(result, 0);
    if (argc == 0) {
        Command_DestroyInstance(self);
        return;
    }
    // With an argument: every instance of the target (an id, an object, or all).
    const int32_t target = NumRound(args, 0);
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
ZB_BUILTIN(F_InstanceChange)
{
    SetReal(result, 0);
    Command_ChangeInstance(self, NumRound(args, 0), NumAboveHalf(args, 1));
}
ZB_BUILTIN(F_InstanceCopy)
{
    SetReal(result, -4);
    CRoom* room = Run_CurrentRoom();
    if (!self || !room) return;
    CInstance* copy = room->AddInstance(self->i_x, self->i_y, self->i_objindex);
    const int32_t id = copy->i_id;
    copy->Assign(self, true);
    copy->i_marked = 0; // a copy of an instance being destroyed is a new, live instance
    copy->SetId(id, false);
    InstanceHash_Remove(copy);
    InstanceHash_Add(copy);
    Run_QueueDepthChange(copy);
    if (NumAboveHalf(args, 0)) Event_Perform(copy, copy, 0, 0);
    SetReal(result, id);
}
ZB_BUILTIN(F_InstanceExists) { SetReal(result, Command_InstanceNumber(NumRound(args, 0)) > 0 ? 1 : 0); }
ZB_BUILTIN(F_InstanceNumber) { SetReal(result, Command_InstanceNumber(NumRound(args, 0))); }
ZB_BUILTIN(F_InstanceFind)
{
    SetReal(result, -4);
    const int32_t target = NumRound(args, 0), n = NumRound(args, 1);
    if (n < 0) return;
    int32_t k = 0;
    CRoom* room = Run_CurrentRoom();
    if (!room) return;
    if (target == -3) {
        for (CInstance* i = room->m_active.head; i; i = i->m_pNext)
            if (i->IsLive() && k++ == n) return SetReal(result, i->i_id);
        return;
    }
    if (target >= 100000) {
        CInstance* i = Instance_Find(target);
        if (n == 0 && i && i->IsLive()) SetReal(result, i->i_id);
        return;
    }
    if (CObject* o = Object_Lookup(target))
        for (ObjectInstanceNode* node = o->m_instancesRecursive.GetHead(); node; node = node->next)
            if (node->value->IsLive() && k++ == n) return SetReal(result, node->value->i_id);
}
ZB_BUILTIN(F_InstanceNearest)
{
    SetReal(result, Id(Command_InstanceNearest(NumFloat(args, 0), NumFloat(args, 1), NumRound(args, 2))));
}
ZB_BUILTIN(F_InstanceFurthest)
{
    SetReal(result, Id(Command_InstanceFurthest(NumFloat(args, 0), NumFloat(args, 1), NumRound(args, 2))));
}
ZB_BUILTIN(F_InstancePosition)
{
    SetReal(result, Id(Command_InstancePosition(NumFloat(args, 0), NumFloat(args, 1), NumRound(args, 2))));
}
ZB_BUILTIN(F_InstancePlace)
{
    SetReal(result, Id(Command_InstancePlace(self, NumFloat(args, 0), NumFloat(args, 1), NumRound(args, 2))));
}

// ---- Positions and places ----
ZB_BUILTIN(F_PositionEmpty)
{
    SetReal(result, Command_InstancePosition(NumFloat(args, 0), NumFloat(args, 1), -3) ? 0 : 1);
}
ZB_BUILTIN(F_PositionMeeting)
{
    SetReal(result, Command_PositionMeeting(NumFloat(args, 0), NumFloat(args, 1), NumRound(args, 2)) ? 1 : 0);
}
ZB_BUILTIN(F_PositionDestroy)
{
    SetReal(result, 0);
    Command_PositionDestroy(NumFloat(args, 0), NumFloat(args, 1));
}
ZB_BUILTIN(F_PositionChange)
{
    SetReal(result, 0);
    Command_PositionChange(NumFloat(args, 0), NumFloat(args, 1), NumRound(args, 2), NumAboveHalf(args, 3));
}
ZB_BUILTIN(F_PlaceFree)
{
    SetReal(result, self && Command_PlaceFree(self, NumFloat(args, 0), NumFloat(args, 1)) ? 1 : 0);
}
ZB_BUILTIN(F_PlaceEmpty)
{
    SetReal(result, self && Command_PlaceEmpty(self, NumFloat(args, 0), NumFloat(args, 1)) ? 1 : 0);
}
ZB_BUILTIN(F_PlaceMeeting)
{
    SetReal(result,
            self && Command_PlaceMeeting(self, NumRound(args, 2), NumFloat(args, 0), NumFloat(args, 1)) ? 1 : 0);
}
ZB_BUILTIN(F_PlaceSnapped)
{
    const float h = NumFloat(args, 0), v = NumFloat(args, 1);
    bool ok = self != nullptr;
    if (ok && h > 0) ok = std::fabs(std::fmod(double(self->i_x), double(h))) < 0.001;
    if (ok && v > 0) ok = std::fabs(std::fmod(double(self->i_y), double(v))) < 0.001;
    SetReal(result, ok ? 1 : 0);
}

// ---- Collisions ----
ZB_BUILTIN(F_CollisionPoint)
{
    SetReal(result, Id(Command_CollisionPoint(self, NumFloat(args, 0), NumFloat(args, 1), NumRound(args, 2),
                                              NumAboveHalf(args, 3), NumAboveHalf(args, 4))));
}
ZB_BUILTIN(F_CollisionRectangle)
{
    SetReal(result, Id(Command_CollisionRectangle(self, NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2),
                                                  NumFloat(args, 3), NumRound(args, 4), NumAboveHalf(args, 5),
                                                  NumAboveHalf(args, 6))));
}
ZB_BUILTIN(F_CollisionEllipse)
{
    SetReal(result, Id(Command_CollisionEllipse(self, NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2),
                                                NumFloat(args, 3), NumRound(args, 4), NumAboveHalf(args, 5),
                                                NumAboveHalf(args, 6))));
}
// collision_circle(x, y, radius, ...): the ellipse test on the circle's square.
ZB_BUILTIN(F_CollisionCircle)
{
    const double x = Num(args, 0), y = Num(args, 1), r = Num(args, 2);
    SetReal(result, Id(Command_CollisionEllipse(self, float(x - r), float(y - r), float(x + r), float(y + r),
                                                NumRound(args, 3), NumAboveHalf(args, 4), NumAboveHalf(args, 5))));
}
ZB_BUILTIN(F_CollisionLine)
{
    SetReal(result,
            Id(Command_CollisionLine(self, NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                                     NumRound(args, 4), NumAboveHalf(args, 5), NumAboveHalf(args, 6))));
}

// ---- Motion ----
ZB_BUILTIN(F_MotionSet)
{
    SetReal(result, 0);
    if (!self) return;
    self->SetDirection(NumFloat(args, 0));
    self->SetSpeed(NumFloat(args, 1));
}
ZB_BUILTIN(F_MotionAdd)
{
    SetReal(result, 0);
    if (self) self->AddMotion(NumFloat(args, 0), NumFloat(args, 1));
}
ZB_BUILTIN(F_MoveTowardsPoint)
{
    SetReal(result, 0);
    if (self) Command_MoveTowardsPoint(self, NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2));
}
ZB_BUILTIN(F_MoveSnap)
{
    SetReal(result, 0);
    if (self) Command_MoveSnap(self, NumFloat(args, 0), NumFloat(args, 1));
}
ZB_BUILTIN(F_MoveWrap)
{
    SetReal(result, 0);
    if (self) Command_MoveWrap(self, NumAboveHalf(args, 0), NumAboveHalf(args, 1));
}
ZB_BUILTIN(F_MoveContactSolid)
{
    SetReal(result, 0);
    if (self) Command_MoveContact(self, NumFloat(args, 0), NumFloat(args, 1), false);
}
ZB_BUILTIN(F_MoveContactAll)
{
    SetReal(result, 0);
    if (self) Command_MoveContact(self, NumFloat(args, 0), NumFloat(args, 1), true);
}
ZB_BUILTIN(F_MoveOutsideSolid)
{
    SetReal(result, 0);
    if (self) Command_MoveOutside(self, NumFloat(args, 0), NumFloat(args, 1), false);
}
ZB_BUILTIN(F_MoveOutsideAll)
{
    SetReal(result, 0);
    if (self) Command_MoveOutside(self, NumFloat(args, 0), NumFloat(args, 1), true);
}
ZB_BUILTIN(F_MoveBounceSolid)
{
    SetReal(result, 0);
    if (self) Command_MoveBounce(self, NumAboveHalf(args, 0), false);
}
ZB_BUILTIN(F_MoveBounceAll)
{
    SetReal(result, 0);
    if (self) Command_MoveBounce(self, NumAboveHalf(args, 0), true);
}
ZB_BUILTIN(F_PathStart)
{
    SetReal(result, 0);
    // (path, speed, end action, absolute)
    if (self)
        self->StartPath(NumRound(args, 0), NumFloat(args, 1), 1.0f, 0.0f, !NumAboveHalf(args, 3), NumRound(args, 2));
}
ZB_BUILTIN(F_PathEnd)
{
    SetReal(result, 0);
    if (self) self->i_pathindex = -1;
}

// ---- Rooms and the game ----
ZB_BUILTIN(F_RoomGoto)
{
    SetReal(result, 0);
    Command_GotoRoom(NumRound(args, 0));
}
ZB_BUILTIN(F_RoomGotoPrevious)
{
    SetReal(result, 0);
    Command_GotoPreviousRoom();
}
ZB_BUILTIN(F_RoomGotoNext)
{
    SetReal(result, 0);
    Command_GotoNextRoom();
}
ZB_BUILTIN(F_RoomRestart)
{
    SetReal(result, 0);
    Command_RestartRoom();
}
ZB_BUILTIN(F_RoomPrevious) { SetReal(result, Room_Previous(NumRound(args, 0))); }
ZB_BUILTIN(F_RoomNext) { SetReal(result, Room_Next(NumRound(args, 0))); }
ZB_BUILTIN(F_GameEnd)
{
    SetReal(result, 0);
    Command_EndGame();
}
ZB_BUILTIN(F_GameRestart)
{
    SetReal(result, 0);
    Command_RestartGame();
}
ZB_BUILTIN(F_DrawEnableDrawEvent)
{
    SetReal(result, 0);
    Run_State().drawEnabled = NumAboveHalf(args, 0) ? 1 : 0;
}
ZB_BUILTIN(F_ShowDebugMessage)
{
    SetReal(result, 0);
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
ZB_BUILTIN(A_CreateObject)
{
    float x = NumFloat(args, 1), y = NumFloat(args, 2);
    if (Relative() && self) {
        x += self->i_x;
        y += self->i_y;
    }
    SetReal(result, Id(Command_CreateInstance(NumRound(args, 0), x, y)));
}
ZB_BUILTIN(A_KillObject)
{
    SetReal(result, 0);
    Command_DestroyInstance(self);
}
ZB_BUILTIN(A_ChangeObject)
{
    SetReal(result, 0);
    Command_ChangeInstance(self, NumRound(args, 0), NumAboveHalf(args, 1));
}
ZB_BUILTIN(A_MoveTo)
{
    SetReal(result, 0);
    if (!self) return;
    float x = NumFloat(args, 0), y = NumFloat(args, 1);
    if (Relative()) {
        x += self->i_x;
        y += self->i_y;
    }
    self->SetPosition(x, y);
}
ZB_BUILTIN(A_SetMotion)
{
    SetReal(result, 0);
    if (!self) return;
    if (Relative())
        self->AddMotion(NumFloat(args, 0), NumFloat(args, 1));
    else {
        self->SetDirection(NumFloat(args, 0));
        self->SetSpeed(NumFloat(args, 1));
    }
}
ZB_BUILTIN(A_SetHSpeed)
{
    SetReal(result, 0);
    if (self) self->SetHSpeed(Relative() ? self->i_hspeed + NumFloat(args, 0) : NumFloat(args, 0));
}
ZB_BUILTIN(A_SetVSpeed)
{
    SetReal(result, 0);
    if (self) self->SetVSpeed(Relative() ? self->i_vspeed + NumFloat(args, 0) : NumFloat(args, 0));
}
ZB_BUILTIN(A_SetGravity)
{
    SetReal(result, 0);
    if (!self) return;
    self->i_gravitydir = NumFloat(args, 0);
    self->i_gravity = Relative() ? self->i_gravity + NumFloat(args, 1) : NumFloat(args, 1);
}
ZB_BUILTIN(A_SetFriction)
{
    SetReal(result, 0);
    if (self) self->i_friction = Relative() ? self->i_friction + NumFloat(args, 0) : NumFloat(args, 0);
}
ZB_BUILTIN(A_SetAlarm)
{
    SetReal(result, 0);
    if (!self) return;
    const int32_t n = NumRound(args, 1);
    // Relative: the sum in 64 bits, held to the range (an alarm may hold any 32-bit value).
    self->SetAlarm(n, Relative() ? Int_HoldToInt32(int64_t(self->GetAlarm(n)) + NumRound(args, 0)) : NumRound(args, 0));
}
ZB_BUILTIN(A_NextRoom) { F_RoomGotoNext(result, self, other, 0, args); }
ZB_BUILTIN(A_PreviousRoom) { F_RoomGotoPrevious(result, self, other, 0, args); }
ZB_BUILTIN(A_CurrentRoom) { F_RoomRestart(result, self, other, 0, args); }
ZB_BUILTIN(A_AnotherRoom) { F_RoomGoto(result, self, other, 1, args); }
ZB_BUILTIN(A_EndGame) { F_GameEnd(result, self, other, 0, args); }
ZB_BUILTIN(A_RestartGame) { F_GameRestart(result, self, other, 0, args); }
ZB_BUILTIN(A_SetCaption)
{
    // (show score, score caption, show lives, lives caption, show health, health caption)
    SetReal(result, 0);
    RunState& st = Run_State();
    st.captionSet = 1;
    st.showScore = NumAboveHalf(args, 0);
    st.showLives = NumAboveHalf(args, 2);
    st.showHealth = NumAboveHalf(args, 4);
    char** fields[3] = {&st.captionScore, &st.captionLives, &st.captionHealth};
    for (int32_t k = 0; k < 3; ++k) {
        MEM_FREE(*fields[k]);
        *fields[k] = MEM_STRDUP(ArgText(args, 2 * k + 1));
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
    InitFunctions_DialogActions();
}
