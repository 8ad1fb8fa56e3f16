// The built-in variables of instances (x, y, speeds, alarms, sprite and image, path and
// time-line fields, physics) and the registration of the whole built-in variable table in its
// fixed order: the 78 instance rows, then the game rows (Variable_Global.cpp).
//
// Needs: the instance (Files/Object/Instance.h), the run state, the world's resource hooks
// (sprites), the physics layer (bodies and the current room's world), the display layer
// (display_aa). No Linux/ file.
#include <cmath>

#include "Files/Base/RealConvert.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Graphics_API/Graphics_Display.h"
#include "Files/Object/Instance.h"
#include "Files/Object/Instance_Pending.h"
#include "Files/Physics/Physics.h"
#include "Files/Room/Room.h"
#include "Files/Variable/Variable_World.h"
#include "Files/World/World_Hooks.h"
#include "Files/World/World_State.h"

namespace {

#define GETTER(name) bool name([[maybe_unused]] CInstance* self, [[maybe_unused]] int32_t index, [[maybe_unused]] ScriptValue* out)
#define SETTER(name) bool name([[maybe_unused]] CInstance* self, [[maybe_unused]] int32_t index, [[maybe_unused]] ScriptValue* v)

inline bool Real(ScriptValue* out, double r)
{
    Value_SetReal(out, r);
    return true;
}
inline float F(const ScriptValue* v) { return float(v->real); }
// Integers from a script's real: narrowed to single precision (the instance fields are
// floats), rounded and held to the range (NaN gives 0).
inline int32_t I(const ScriptValue* v) { return Real_RoundToInt32Clamped(double(float(v->real))); }
int32_t AlarmIndex(int32_t i) { return i >= 0 && i < 12 ? i : 0; }

// ---- Position and motion ----
GETTER(GetX) { return Real(out, self->i_x); }
SETTER(SetX)
{
    self->SetPosition(F(v), self->i_y);
    return true;
}
GETTER(GetY) { return Real(out, self->i_y); }
SETTER(SetY)
{
    self->SetPosition(self->i_x, F(v));
    return true;
}
#define FIELD_ROW(Get, Set, field)                                                                                     \
    GETTER(Get) { return Real(out, self->field); }                                                                     \
    SETTER(Set)                                                                                                        \
    {                                                                                                                  \
        self->field = F(v);                                                                                            \
        return true;                                                                                                   \
    }
FIELD_ROW(GetXPrevious, SetXPrevious, i_xprevious)
FIELD_ROW(GetYPrevious, SetYPrevious, i_yprevious)
FIELD_ROW(GetXStart, SetXStart, i_xstart)
FIELD_ROW(GetYStart, SetYStart, i_ystart)
FIELD_ROW(GetFriction, SetFriction, i_friction)
FIELD_ROW(GetGravity, SetGravity, i_gravity)
FIELD_ROW(GetGravityDirection, SetGravityDirection, i_gravitydir)
FIELD_ROW(GetImageIndex, SetImageIndex, i_imageindex)
FIELD_ROW(GetImageAlpha, SetImageAlpha, i_imagealpha)
FIELD_ROW(GetImageSpeed, SetImageSpeed, i_imagespeed)
FIELD_ROW(GetPathScale, SetPathScale, i_pathscale)
FIELD_ROW(GetPathOrientation, SetPathOrientation, i_pathorientation)
FIELD_ROW(GetTimelinePosition, SetTimelinePosition, i_timelineposition)
FIELD_ROW(GetTimelineSpeed, SetTimelineSpeed, i_timelinespeed)

GETTER(GetHSpeed) { return Real(out, self->i_hspeed); }
SETTER(SetHSpeed)
{
    self->SetHSpeed(F(v));
    return true;
}
GETTER(GetVSpeed) { return Real(out, self->i_vspeed); }
SETTER(SetVSpeed)
{
    self->SetVSpeed(F(v));
    return true;
}
GETTER(GetDirection) { return Real(out, self->i_direction); }
SETTER(SetDirection)
{
    self->SetDirection(F(v));
    return true;
}
GETTER(GetSpeed) { return Real(out, self->i_speed); }
SETTER(SetSpeed)
{
    self->SetSpeed(F(v));
    return true;
}
GETTER(GetObjectIndex) { return Real(out, self->i_objindex); }
GETTER(GetId) { return Real(out, self->i_id); }
GETTER(GetAlarm) { return Real(out, self->GetAlarm(AlarmIndex(index))); }
SETTER(SetAlarm)
{
    self->SetAlarm(AlarmIndex(index), I(v));
    return true;
}
GETTER(GetSolid) { return Real(out, self->i_solid); }
SETTER(SetSolid)
{
    self->i_solid = I(v) != 0;
    return true;
}
GETTER(GetVisible) { return Real(out, self->i_visible); }
SETTER(SetVisible)
{
    self->i_visible = I(v) != 0;
    return true;
}
GETTER(GetPersistent) { return Real(out, self->i_persistent); }
SETTER(SetPersistent)
{
    self->i_persistent = I(v) != 0;
    return true;
}
GETTER(GetDepth) { return Real(out, self->i_depth); }
SETTER(SetDepth)
{
    const float d = F(v);
    if (d == self->i_depth) return true;
    self->i_depth = d;
    Run_QueueDepthChange(self);
    return true;
}
GETTER(GetBBoxLeft)
{
    self->RefreshBoundingBox();
    return Real(out, self->i_bbox_left);
}
GETTER(GetBBoxRight)
{
    self->RefreshBoundingBox();
    return Real(out, self->i_bbox_right);
}
GETTER(GetBBoxTop)
{
    self->RefreshBoundingBox();
    return Real(out, self->i_bbox_top);
}
GETTER(GetBBoxBottom)
{
    self->RefreshBoundingBox();
    return Real(out, self->i_bbox_bottom);
}

// ---- Sprite and image ----
GETTER(GetSpriteIndex) { return Real(out, self->i_spriteindex); }
SETTER(SetSpriteIndex)
{
    self->SetSprite(I(v));
    return true;
}
GETTER(GetImageSingle) { return Real(out, self->i_imagespeed == 0.0f ? double(self->i_imageindex) : -1.0); }
SETTER(SetImageSingle)
{
    const float f = F(v);
    if (f >= 0) {
        self->i_imageindex = f;
        self->i_imagespeed = 0;
    } else {
        self->i_imagespeed = 1;
    }
    return true;
}
GETTER(GetImageNumber) { return Real(out, self->GetImageNumber()); }
GETTER(GetSpriteWidth)
{
    WorldSpriteInfo s{};
    return Real(out, World_SpriteInfo(self->i_spriteindex, &s) ? double(s.width) * double(self->i_imagescalex) : 0.0);
}
GETTER(GetSpriteHeight)
{
    WorldSpriteInfo s{};
    return Real(out, World_SpriteInfo(self->i_spriteindex, &s) ? double(s.height) * double(self->i_imagescaley) : 0.0);
}
GETTER(GetSpriteXOffset)
{
    WorldSpriteInfo s{};
    return Real(out, World_SpriteInfo(self->i_spriteindex, &s) ? double(s.xorigin) * double(self->i_imagescalex) : 0.0);
}
GETTER(GetSpriteYOffset)
{
    WorldSpriteInfo s{};
    return Real(out, World_SpriteInfo(self->i_spriteindex, &s) ? double(s.yorigin) * double(self->i_imagescaley) : 0.0);
}
GETTER(GetImageXScale) { return Real(out, self->i_imagescalex); }
SETTER(SetImageXScale)
{
    self->SetImageXScale(F(v));
    return true;
}
GETTER(GetImageYScale) { return Real(out, self->i_imagescaley); }
SETTER(SetImageYScale)
{
    self->SetImageYScale(F(v));
    return true;
}
GETTER(GetImageAngle) { return Real(out, self->i_imageangle); }
SETTER(SetImageAngle)
{
    self->SetImageAngle(F(v));
    return true;
}
GETTER(GetImageBlend) { return Real(out, double(self->i_imageblend)); }
SETTER(SetImageBlend)
{
    self->i_imageblend = uint32_t(I(v));
    return true;
}
GETTER(GetMaskIndex) { return Real(out, self->i_maskindex); }
SETTER(SetMaskIndex)
{
    self->SetMaskIndex(I(v));
    return true;
}

// ---- Paths and time lines ----
GETTER(GetPathIndex) { return Real(out, self->i_pathindex); }
GETTER(GetPathPosition) { return Real(out, self->i_pathposition); }
SETTER(SetPathPosition)
{
    self->SetPathPosition(F(v));
    return true;
}
GETTER(GetPathPositionPrevious) { return Real(out, self->i_pathpositionprevious); }
SETTER(SetPathPositionPrevious)
{
    self->SetPathPositionPrevious(F(v));
    return true;
}
GETTER(GetPathSpeed) { return Real(out, self->i_pathspeed); }
SETTER(SetPathSpeed)
{
    self->SetPathSpeed(F(v));
    return true;
}
GETTER(GetPathEndAction) { return Real(out, self->i_pathend); }
SETTER(SetPathEndAction)
{
    self->i_pathend = I(v);
    return true;
}
GETTER(GetTimelineIndex) { return Real(out, self->i_timelineindex); }
SETTER(SetTimelineIndex)
{
    self->i_timelineindex = I(v);
    return true;
}
GETTER(GetTimelineRunning) { return Real(out, self->i_timelinerunning); }
SETTER(SetTimelineRunning)
{
    self->i_timelinerunning = I(v) > 0.5 ? 1 : 0;
    return true;
}
GETTER(GetTimelineLoop) { return Real(out, self->i_timelineloop); }
SETTER(SetTimelineLoop)
{
    self->i_timelineloop = I(v) > 0.5 ? 1 : 0;
    return true;
}

// ---- Rows of the whole run ----
GETTER(GetAsyncLoad) { return Real(out, Run_State().asyncLoad); }
GETTER(GetDisplayAA) { return Real(out, GR_AntiAliasLevel); }
GETTER(GetDeltaTime) { return Real(out, double(Run_State().deltaTime)); }
GETTER(GetWebGL) { return Real(out, 1.0); }

// ---- Physics: every row needs the instance's body; the position and speed rows also the
// current room's world (its scale s converts pixels to world units), the speed rows the room
// speed r as well. Without them the access fails. ----
CPhysicsObject* Body(const CInstance* self)
{
    CPhysicsObject* o = Physics_Object(self);
    return o && o->m_pBody ? o : nullptr;
}
// The body and the world's scale.
bool Scaled(const CInstance* self, CPhysicsObject** o, double* s)
{
    CPhysicsWorld* w = Physics_CurrentWorld();
    *o = Body(self);
    if (!*o || !w) return false;
    *s = w->GetScale();
    return true;
}
// The body, the scale and the room speed.
bool Timed(const CInstance* self, CPhysicsObject** o, double* s, double* r)
{
    CRoom* room = Run_CurrentRoom();
    if (!Scaled(self, o, s) || !room || room->m_speed < 1) return false;
    *r = room->m_speed;
    return true;
}
inline bool Flag(const ScriptValue* v) { return v->real > 0.5; }

GETTER(GetPhyPositionX)
{
    CPhysicsObject* o;
    double s;
    return Scaled(self, &o, &s) && Real(out, o->GetPositionX() / s);
}
SETTER(SetPhyPositionX)
{
    CPhysicsObject* o;
    double s;
    return Scaled(self, &o, &s) && o->SetPosition(float(v->real * s), o->GetPositionY());
}
GETTER(GetPhyPositionY)
{
    CPhysicsObject* o;
    double s;
    return Scaled(self, &o, &s) && Real(out, o->GetPositionY() / s);
}
SETTER(SetPhyPositionY)
{
    CPhysicsObject* o;
    double s;
    return Scaled(self, &o, &s) && o->SetPosition(o->GetPositionX(), float(v->real * s));
}
GETTER(GetPhyRotation)
{
    CPhysicsObject* o = Body(self);
    return o && Real(out, o->GetRotation());
}
SETTER(SetPhyRotation)
{
    CPhysicsObject* o = Body(self);
    return o && o->SetRotation(F(v));
}
GETTER(GetPhyAngularVelocity)
{
    CPhysicsObject* o = Body(self);
    return o && Real(out, o->GetAngularVelocity());
}
SETTER(SetPhyAngularVelocity)
{
    CPhysicsObject* o = Body(self);
    return o && o->SetAngularVelocity(F(v));
}
GETTER(GetPhyVelocityX)
{
    CPhysicsObject* o;
    double s;
    return Scaled(self, &o, &s) && Real(out, o->GetLinearVelocityX() / s);
}
SETTER(SetPhyVelocityX)
{
    CPhysicsObject* o;
    double s;
    return Scaled(self, &o, &s) && o->SetLinearVelocity(float(v->real * s), o->GetLinearVelocityY());
}
GETTER(GetPhyVelocityY)
{
    CPhysicsObject* o;
    double s;
    return Scaled(self, &o, &s) && Real(out, o->GetLinearVelocityY() / s);
}
SETTER(SetPhyVelocityY)
{
    CPhysicsObject* o;
    double s;
    return Scaled(self, &o, &s) && o->SetLinearVelocity(o->GetLinearVelocityX(), float(v->real * s));
}
GETTER(GetPhySpeedX)
{
    CPhysicsObject* o;
    double s, r;
    return Timed(self, &o, &s, &r) && Real(out, o->GetLinearVelocityX() / s / r);
}
SETTER(SetPhySpeedX)
{
    CPhysicsObject* o;
    double s, r;
    return Timed(self, &o, &s, &r) && o->SetLinearVelocity(float(v->real * s * r), o->GetLinearVelocityY());
}
GETTER(GetPhySpeedY)
{
    CPhysicsObject* o;
    double s, r;
    return Timed(self, &o, &s, &r) && Real(out, o->GetLinearVelocityY() / s / r);
}
SETTER(SetPhySpeedY)
{
    CPhysicsObject* o;
    double s, r;
    return Timed(self, &o, &s, &r) && o->SetLinearVelocity(o->GetLinearVelocityX(), float(v->real * s * r));
}
#define PHYSICS_FLAG_ROW(Get, Set, Is, SetFlag)                                                                        \
    GETTER(Get)                                                                                                        \
    {                                                                                                                  \
        CPhysicsObject* o = Body(self);                                                                                \
        return o && Real(out, o->Is() ? 1.0 : 0.0);                                                                    \
    }                                                                                                                  \
    SETTER(Set)                                                                                                        \
    {                                                                                                                  \
        CPhysicsObject* o = Body(self);                                                                                \
        return o && o->SetFlag(Flag(v) ? 1 : 0);                                                                       \
    }
PHYSICS_FLAG_ROW(GetPhyBullet, SetPhyBullet, IsBullet, SetBullet)
PHYSICS_FLAG_ROW(GetPhyFixedRotation, SetPhyFixedRotation, IsFixedRotation, SetFixedRotation)
PHYSICS_FLAG_ROW(GetPhyActive, SetPhyActive, IsActive, SetActive)
#define PHYSICS_READ_ROW(Get, expression)                                                                              \
    GETTER(Get)                                                                                                        \
    {                                                                                                                  \
        CPhysicsObject* o = Body(self);                                                                                \
        return o && Real(out, expression);                                                                             \
    }
PHYSICS_READ_ROW(GetPhyMass, o->GetMass())
PHYSICS_READ_ROW(GetPhyInertia, o->GetInertia())
PHYSICS_READ_ROW(GetPhyDynamic, o->IsDynamic() ? 1.0 : 0.0)
PHYSICS_READ_ROW(GetPhyKinematic, o->IsKinematic() ? 1.0 : 0.0)
PHYSICS_READ_ROW(GetPhySleeping, o->IsSleeping() ? 1.0 : 0.0)
GETTER(GetPhyComX)
{
    CPhysicsObject* o;
    double s;
    return Scaled(self, &o, &s) && Real(out, o->GetWorldCentreX() / s);
}
GETTER(GetPhyComY)
{
    CPhysicsObject* o;
    double s;
    return Scaled(self, &o, &s) && Real(out, o->GetWorldCentreY() / s);
}
GETTER(GetPhyCollisionPoints)
{
    CPhysicsWorld* w = Physics_CurrentWorld();
    return Body(self) && w && Real(out, w->GetContactCount(self));
}
// Contact point (or normal) index of the contact being reported; which = 0 x, 1 y.
bool Contact(CInstance* self, int32_t index, ScriptValue* out, bool normal, int32_t which)
{
    CPhysicsWorld* w = Physics_CurrentWorld();
    float x = 0, y = 0;
    if (!Body(self) || !w) return false;
    const bool ok = normal ? w->GetCollisionNormal(self, index, &x, &y) : w->GetCollisionPoint(self, index, &x, &y);
    return ok && Real(out, which == 0 ? x : y);
}
GETTER(GetPhyCollisionX) { return Contact(self, index, out, false, 0); }
GETTER(GetPhyCollisionY) { return Contact(self, index, out, false, 1); }
GETTER(GetPhyNormalX) { return Contact(self, index, out, true, 0); }
GETTER(GetPhyNormalY) { return Contact(self, index, out, true, 1); }

} // namespace

void Variable_BuiltIn_InitInstance()
{
    RegisterBuiltinVariable("x", GetX, SetX, true);
    RegisterBuiltinVariable("y", GetY, SetY, true);
    RegisterBuiltinVariable("xprevious", GetXPrevious, SetXPrevious, true);
    RegisterBuiltinVariable("yprevious", GetYPrevious, SetYPrevious, true);
    RegisterBuiltinVariable("xstart", GetXStart, SetXStart, true);
    RegisterBuiltinVariable("ystart", GetYStart, SetYStart, true);
    RegisterBuiltinVariable("hspeed", GetHSpeed, SetHSpeed, true);
    RegisterBuiltinVariable("vspeed", GetVSpeed, SetVSpeed, true);
    RegisterBuiltinVariable("direction", GetDirection, SetDirection, true);
    RegisterBuiltinVariable("speed", GetSpeed, SetSpeed, true);
    RegisterBuiltinVariable("friction", GetFriction, SetFriction, true);
    RegisterBuiltinVariable("gravity", GetGravity, SetGravity, true);
    RegisterBuiltinVariable("gravity_direction", GetGravityDirection, SetGravityDirection, true);
    RegisterBuiltinVariable("object_index", GetObjectIndex, nullptr, false);
    RegisterBuiltinVariable("id", GetId, nullptr, false);
    RegisterBuiltinVariable("alarm", GetAlarm, SetAlarm, true);
    RegisterBuiltinVariable("solid", GetSolid, SetSolid, true);
    RegisterBuiltinVariable("visible", GetVisible, SetVisible, true);
    RegisterBuiltinVariable("persistent", GetPersistent, SetPersistent, true);
    RegisterBuiltinVariable("depth", GetDepth, SetDepth, true);
    RegisterBuiltinVariable("bbox_left", GetBBoxLeft, nullptr, false);
    RegisterBuiltinVariable("bbox_right", GetBBoxRight, nullptr, false);
    RegisterBuiltinVariable("bbox_top", GetBBoxTop, nullptr, false);
    RegisterBuiltinVariable("bbox_bottom", GetBBoxBottom, nullptr, false);
    RegisterBuiltinVariable("sprite_index", GetSpriteIndex, SetSpriteIndex, true);
    RegisterBuiltinVariable("image_index", GetImageIndex, SetImageIndex, true);
    RegisterBuiltinVariable("image_single", GetImageSingle, SetImageSingle, true);
    RegisterBuiltinVariable("image_number", GetImageNumber, nullptr, false);
    RegisterBuiltinVariable("sprite_width", GetSpriteWidth, nullptr, false);
    RegisterBuiltinVariable("sprite_height", GetSpriteHeight, nullptr, false);
    RegisterBuiltinVariable("sprite_xoffset", GetSpriteXOffset, nullptr, false);
    RegisterBuiltinVariable("sprite_yoffset", GetSpriteYOffset, nullptr, false);
    RegisterBuiltinVariable("image_xscale", GetImageXScale, SetImageXScale, true);
    RegisterBuiltinVariable("image_yscale", GetImageYScale, SetImageYScale, true);
    RegisterBuiltinVariable("image_angle", GetImageAngle, SetImageAngle, true);
    RegisterBuiltinVariable("image_alpha", GetImageAlpha, SetImageAlpha, true);
    RegisterBuiltinVariable("image_blend", GetImageBlend, SetImageBlend, true);
    RegisterBuiltinVariable("image_speed", GetImageSpeed, SetImageSpeed, true);
    RegisterBuiltinVariable("mask_index", GetMaskIndex, SetMaskIndex, true);
    RegisterBuiltinVariable("path_index", GetPathIndex, nullptr, false);
    RegisterBuiltinVariable("path_position", GetPathPosition, SetPathPosition, true);
    RegisterBuiltinVariable("path_positionprevious", GetPathPositionPrevious, SetPathPositionPrevious, true);
    RegisterBuiltinVariable("path_speed", GetPathSpeed, SetPathSpeed, true);
    RegisterBuiltinVariable("path_scale", GetPathScale, SetPathScale, true);
    RegisterBuiltinVariable("path_orientation", GetPathOrientation, SetPathOrientation, true);
    RegisterBuiltinVariable("path_endaction", GetPathEndAction, SetPathEndAction, true);
    RegisterBuiltinVariable("timeline_index", GetTimelineIndex, SetTimelineIndex, true);
    RegisterBuiltinVariable("timeline_position", GetTimelinePosition, SetTimelinePosition, true);
    RegisterBuiltinVariable("timeline_speed", GetTimelineSpeed, SetTimelineSpeed, true);
    RegisterBuiltinVariable("timeline_running", GetTimelineRunning, SetTimelineRunning, true);
    RegisterBuiltinVariable("timeline_loop", GetTimelineLoop, SetTimelineLoop, true);
    RegisterBuiltinVariable("async_load", GetAsyncLoad, nullptr, true);
    RegisterBuiltinVariable("phy_rotation", GetPhyRotation, SetPhyRotation, true);
    RegisterBuiltinVariable("phy_position_x", GetPhyPositionX, SetPhyPositionX, true);
    RegisterBuiltinVariable("phy_position_y", GetPhyPositionY, SetPhyPositionY, true);
    RegisterBuiltinVariable("phy_angular_velocity", GetPhyAngularVelocity, SetPhyAngularVelocity, true);
    RegisterBuiltinVariable("phy_linear_velocity_x", GetPhyVelocityX, SetPhyVelocityX, true);
    RegisterBuiltinVariable("phy_linear_velocity_y", GetPhyVelocityY, SetPhyVelocityY, true);
    RegisterBuiltinVariable("phy_speed_x", GetPhySpeedX, SetPhySpeedX, true);
    RegisterBuiltinVariable("phy_speed_y", GetPhySpeedY, SetPhySpeedY, true);
    RegisterBuiltinVariable("phy_bullet", GetPhyBullet, SetPhyBullet, true);
    RegisterBuiltinVariable("phy_fixed_rotation", GetPhyFixedRotation, SetPhyFixedRotation, true);
    RegisterBuiltinVariable("phy_active", GetPhyActive, SetPhyActive, true);
    RegisterBuiltinVariable("phy_mass", GetPhyMass, nullptr, false);
    RegisterBuiltinVariable("phy_inertia", GetPhyInertia, nullptr, false);
    RegisterBuiltinVariable("phy_com_x", GetPhyComX, nullptr, false);
    RegisterBuiltinVariable("phy_com_y", GetPhyComY, nullptr, false);
    RegisterBuiltinVariable("phy_dynamic", GetPhyDynamic, nullptr, false);
    RegisterBuiltinVariable("phy_kinematic", GetPhyKinematic, nullptr, false);
    RegisterBuiltinVariable("phy_sleeping", GetPhySleeping, nullptr, false);
    RegisterBuiltinVariable("phy_collision_points", GetPhyCollisionPoints, nullptr, false);
    RegisterBuiltinVariable("phy_collision_x", GetPhyCollisionX, nullptr, false);
    RegisterBuiltinVariable("phy_collision_y", GetPhyCollisionY, nullptr, false);
    RegisterBuiltinVariable("phy_col_normal_x", GetPhyNormalX, nullptr, false);
    RegisterBuiltinVariable("phy_col_normal_y", GetPhyNormalY, nullptr, false);
    RegisterBuiltinVariable("display_aa", GetDisplayAA, nullptr, false);
    RegisterBuiltinVariable("delta_time", GetDeltaTime, nullptr, false);
    RegisterBuiltinVariable("webgl_enabled", GetWebGL, nullptr, false);
}

void World_RegisterVariables()
{
    Variable_BuiltIn_InitInstance();
    Variable_BuiltIn_InitGlobal();
}
